#pragma once

#include "Mac/Contacts/ContactsListDisplaySource.h"
#include "Mac/Shell/KeyRouting.h"

#include "platform/contacts/AddressBook.h"
#include "platform/store/ManagedObjectID.h"

#include <QList>
#include <QModelIndex>
#include <QPointer>
#include <QWidget>

#include <functional>

#include <memory>
#include <optional>

class ContactsListItemModel;
class CustomNSOutlineViewWithMultipleSelection;
class Person;
class PrivateGroups;
class QLabel;
class QLineEdit;
class QPushButton;
class SelectContactsViewControllerMac;

// Who hears the contacts chosen in the picker: their object identifiers, in the order of choice.
class SelectContactPopoverDelegate
{
public:
    virtual ~SelectContactPopoverDelegate() = default;
    virtual void finishedSelectPopoverController(SelectContactsViewControllerMac *picker,
                                                 const QList<platform::store::ManagedObjectID> &selectedContactIDs,
                                                 bool changesMade) = 0;
};

// The contacts list in letter sections with a search field, for choosing one contact (the contact of a
// new log or to-do, or the one a record goes to) or several (report contacts, group members). It changes
// no record: it reports the chosen contacts' identifiers to its delegate. In a sheet it has Done and
// Cancel buttons and reports only when one of them is pressed.
class SelectContactsViewControllerMac : public QWidget,
                                        public KeyRoutingDelegate,
                                        public ContactsListDisplaySourceDelegate
{
    Q_OBJECT
public:
    using ContextPtr = platform::store::ContextPtr;
    using ObjectID = platform::store::ManagedObjectID;

    static inline const QString NibName = QStringLiteral("SelectContactsViewControllerMac");
    static inline const QString EmptyGroupText = QStringLiteral("No contacts in selected group");
    static inline const QString EmptyListText = QStringLiteral("No Contacts");
    static constexpr int SingleChoice = 1;
    static constexpr int MultipleChoice = 2;
    static constexpr int ToolbarHeight = 40;

    SelectContactsViewControllerMac(const QString &nibName, ContextPtr context, QWidget *parent = nullptr);
    SelectContactsViewControllerMac(ContextPtr context, int selectionStyle, QWidget *parent = nullptr);
    ~SelectContactsViewControllerMac() override;

    ContextPtr managedObjectContext() const { return m_context; }
    int selectionStyle() const { return m_selectionStyle; }
    bool changesWereMade() const { return m_changesWereMade; }

    // ---- Set by the caller before the picker is shown ----
    SelectContactPopoverDelegate *delegate() const { return m_delegate; }
    void setDelegate(SelectContactPopoverDelegate *delegate) { m_delegate = delegate; }
    const QList<ObjectID> &selectedIdentifiers() const { return m_selectedIdentifiers; }
    void setSelectedIdentifiers(const QList<ObjectID> &identifiers) { m_selectedIdentifiers = identifiers; }
    bool showDoneToolbar() const { return m_showDoneToolbar; }
    void setShowDoneToolbar(bool show) { m_showDoneToolbar = show; }
    PrivateGroups *editPrivateGroup() const { return m_editPrivateGroup; }
    void setEditPrivateGroup(PrivateGroups *group) { m_editPrivateGroup = group; }
    // The address-book group whose members are edited: only the contacts whose card lives in the group's
    // account are listed, and its members start chosen.
    const std::optional<platform::contacts::ContactRecord> &editPublicGroup() const { return m_editPublicGroup; }
    void setEditPublicGroup(std::shared_ptr<platform::contacts::AddressBook> book,
                            const platform::contacts::ContactRecord &group);
    // The group chosen in the main window narrows the list (when no group's members are edited); set by
    // whoever owns that menu. A private group, or an address-book group by its members' identifiers.
    void setContactsGroupFilter(PrivateGroups *group) { m_groupFilter = group; }
    void setContactsGroupFilter(const AddressBookGroupRecord &group) { m_publicGroupFilter = group; }
    // Where pickers made anywhere learn the main window's chosen group: sets the filter of a new picker.
    using GroupFilterProvider = std::function<void(SelectContactsViewControllerMac *picker)>;
    static void setGroupFilterProvider(GroupFilterProvider provider);

    // Runs once, when the picker is first shown (or by the caller once its properties are set).
    void awakeFromNib();

    // ---- Actions ----
    void singleClickAction(const QModelIndex &index);
    void enterKeyWasPressed() override;
    void selectedPersonItem(Person *person);
    void doneToolbarButtonPressed();
    void cancelButtonPressed();
    void reloadAllContactsAndOutlineView();
    void searchResultsWithString(const QString &text);

    bool isChosen(const Person *person) const;

    // ---- Widgets ----
    QLineEdit *searchField() const { return m_searchField; }
    CustomNSOutlineViewWithMultipleSelection *contactsOutlineView() const { return m_outline; }
    ContactsListDisplaySource *contactsListSource() const { return m_source; }
    QLabel *fillerTextField() const { return m_textField; }
    QWidget *toolbar() const { return m_toolbar; }

    KeyDelegateKinds keyDelegateKinds() const override { return KeyDelegateKind::SelectContactsViewControllerMac; }

    // ContactsListDisplaySourceDelegate
    bool respondsToUpdatedSourceDictionary() const override { return true; }
    void updatedSourceDictionaryWithPreserveSelection(bool keep) override;

protected:
    void showEvent(QShowEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void buildView();
    void report(bool changes);
    void endSheetIfAny();
    void refreshFiller();
    Person *personAt(const QModelIndex &index) const;

    ContextPtr m_context;
    QList<ObjectID> m_selectedIdentifiers;
    int m_selectionStyle = SingleChoice;
    bool m_alreadyInit = false;
    bool m_changesWereMade = false;
    SelectContactPopoverDelegate *m_delegate = nullptr;
    bool m_showDoneToolbar = false;
    PrivateGroups *m_editPrivateGroup = nullptr;
    PrivateGroups *m_groupFilter = nullptr;
    std::optional<AddressBookGroupRecord> m_publicGroupFilter;
    std::optional<platform::contacts::ContactRecord> m_editPublicGroup;
    std::shared_ptr<platform::contacts::AddressBook> m_book;

    ContactsListDisplaySource *m_source = nullptr;
    ContactsListItemModel *m_model = nullptr;
    QLineEdit *m_searchField = nullptr;
    CustomNSOutlineViewWithMultipleSelection *m_outline = nullptr;
    QLabel *m_textField = nullptr;
    QWidget *m_toolbar = nullptr;
    QPushButton *m_doneButton = nullptr;
    QPushButton *m_cancelButton = nullptr;
};
