#pragma once

#include "Mac/ContactPage/ContactPageDelegate.h"
#include "Mac/ContactPage/ContactTabButton.h"
#include "Mac/Contacts/ContactsListDisplaySource.h"
#include "Mac/Shell/KeyRouting.h"
#include "Mac/Shell/MainWindowManagerViewController.h"

#include "platform/core/NotificationCenter.h"
#include "platform/store/ManagedObject.h"

#include <QPointer>
#include <QSet>
#include <QVariantMap>

#include <array>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

class ContactsCustomFieldMenu;
class ContactsListItemModel;
class ContactsListRowDelegate;
class CustomNSOutlineViewWithDelegates;
class QAbstractItemView;
class QAction;
class QFrame;
class QItemSelection;
class QLabel;
class QMenu;
class QPushButton;
class QToolButton;

namespace platform::core {
class DispatchQueue;
}
namespace platform::contacts {
class ContactRecord;
}

// What the Contacts section asks of a tab of the contact page (the Logs, ToDos, Files, Fields and Info
// controllers implement the operations of their tab).
class ContactPageTab
{
public:
    virtual ~ContactPageTab() = default;
    virtual QWidget *view() = 0;
    virtual void setContactsDelegate(ContactPageDelegate *controller) {}
    virtual void showAddLogContactSheet(QObject *sender) {}
    virtual void showAddTodoContactSheet(QObject *sender) {}
    virtual void showAddFilesOptions(QObject *sender) {}
    virtual void showAddFieldsOptions(QObject *sender) {}
    // Whether the tab's add button has something to open; the button is disabled when it has not.
    virtual bool canAddRecords() const { return false; }
    // The tab's list, where the keyboard goes from the tab's button; null for a tab without one.
    virtual QAbstractItemView *listView() const { return nullptr; }
    // The Delete command while the tab's list has the focus.
    virtual void deleteSelectedRecord() {}
    // The Paste command while the tab is on show.
    virtual bool canPaste() const { return false; }
    virtual void paste(QObject *sender) {}
    // The Info tab.
    virtual void editButtonSelected(QObject *sender) {}
    virtual bool isEditing() const { return false; }
    virtual void stopEditingContact() {}
    virtual void setBoxWidth(int width) {}
};

// The Contacts section of the main window: the contacts list in letter sections on the left and the
// selected contact's page on the right (header, five tab buttons with labels and add buttons, and the
// current tab's view).
class MacContactsViewController : public MainWindowManagerViewController,
                                  public ContactPageDelegate,
                                  public ContactsListDisplaySourceDelegate,
                                  public ContactTabButtonDelegate
{
    Q_OBJECT
public:
    static constexpr int TabCount = 5;
    enum Tab { LogsTab = 1, ToDosTab = 2, FilesTab = 3, FieldsTab = 4, InfoTab = 5 };

    static inline const QString NoContactSelectedToolTip = QStringLiteral("No contact selected");
    static inline const QString ManualSelectName = QStringLiteral("ManualSelect");
    static inline const QString FirstContactCreatedKey = QStringLiteral("first_contact_created");
    static inline const QString DeleteContactDefaultsKey = QStringLiteral("defaults_delete_contact");
    static inline const QString WelcomeText = QStringLiteral(
        "Welcome to Quendel.\n\n You can start by creating new contacts, or importing your existing Contacts, by "
        "pressing the + button on the top-right. You can then add Logs, ToDos, Documents and User Fields for each "
        "contact.\n");

    // Makes a tab's controller for a contact; the section owns what it returns. Tab numbers 1-5.
    using TabFactory = std::function<ContactPageTab *(int tab, Person *person)>;
    using AnalyticsLogger = std::function<void(const QString &name, const QVariantMap &parameters)>;

    explicit MacContactsViewController(ContextPtr context, QWidget *parent = nullptr);
    ~MacContactsViewController() override;

    // ---- Wiring (by the application's delegate) ----
    // The store controller's filter queue; searches and group filters are worked out there.
    void setFilterQueue(std::shared_ptr<platform::core::DispatchQueue> queue);
    void setTabFactory(TabFactory factory) { m_tabFactory = std::move(factory); }
    void setAnalyticsLogger(AnalyticsLogger logger) { m_analytics = std::move(logger); }

    // ---- Entry points ----
    void selectContactPageWithPerson(Person *person, int tabIndex);
    // Another part of the program shows a contact: the search is emptied first, so the contact is listed.
    void showContactFromElsewhere(Person *person, int tabIndex);
    // Empties the toolbar's search field (the section's own search follows it).
    void setSearchFieldClearer(std::function<void()> clearer) { m_clearSearchField = std::move(clearer); }
    void reloadAllContactsAndOutlineView();
    void reloadContactsListWithNewPersons(const QList<Person *> &persons, bool selectFirst);
    void selectPersonInOutlineView(Person *person);
    void searchResultsWithString(const QString &text) override;
    QString getFooterTextMessage() const;
    void tabButtonSelected(int index);
    void disableContactDetailsPage();
    void enableContactDetailsPage();
    void removeCurrentOutlineViews();
    void updateLargeContactImage();
    void contactUpdateListView() override;
    void contactUpdateName() override;
    void addTextFieldForFillerText(QWidget *field, QWidget *mainView);
    // A click on the list (the outline's action).
    void selectItemAtSelectedRow();

    // Tab buttons and add buttons.
    void logsAddButtonPressed(QObject *sender);
    void todosAddButtonPressed(QObject *sender);
    void filesAddButtonPressed(QObject *sender);
    void fieldsAddButtonPressed(QObject *sender);
    void infoEditButtonPressed(QObject *sender);

    // ---- The list model's delegate ----
    bool respondsToUpdatedSourceDictionary() const override { return true; }
    void updatedSourceDictionaryWithPreserveSelection(bool keep) override;
    bool respondsToRemoveRow() const override { return true; }
    void removeRowWithIndex(qsizetype row, const QString &parentKey, qsizetype sectionIndex) override;
    bool respondsToSelectPersonRow() const override { return true; }
    void selectPersonRow(qsizetype row) override;

    // ---- Keys ----
    KeyDelegateKinds keyDelegateKinds() const override { return KeyDelegateKind::MacContactsViewController; }
    void upKeyWasPressed() override;
    void downKeyWasPressed() override;
    void leftKeyWasPressed() override;
    void rightKeyWasPressed() override;
    void enterPressedOnContacts() override;
    void addButtonWasKeyed() override;
    void recalculateResponders() override;
    void subviewPressedDownButton() override;
    void subviewPressedLeftButton() override;
    void subviewPressedUpButton() override;

    // ---- Adding contacts ----
    // What the Add menu's commands open; the application's delegate supplies them.
    struct AddActions
    {
        std::function<void()> importContacts;                  // the address-book import window
        std::function<void(bool isPrivate)> createContact;      // the add-contact page in a sheet
        std::function<void(Person *source)> cloneContact;       // the clone page in a sheet
        // The import window listing only the address-book people just offered.
        std::function<void(const QList<platform::contacts::ContactRecord> &offered)> importOfferedContacts;
    };
    void setAddActions(AddActions actions) { m_addActions = std::move(actions); }
    // The toolbar's Add: drops down the "Add Contact" menu under `anchor`.
    void addContactsButtonPressed(QWidget *anchor);
    QMenu *addContactMenu() const { return m_addContactMenu; }
    void importContactSelected();
    void createContactsButtonSelected(bool isPrivateContact);
    // The vCard import: an open panel, then the question how to add what the file holds.
    void importvCardFileSelected();
    void importvCardFile(const QString &path);
    // Each returns the new contacts (stored unless the save failed, in which case nothing is kept).
    QList<Person *> importvCardListForPrivateContacts(const QList<platform::contacts::ContactRecord> &cards,
                                                     const QString &groupName);
    void promptForGroupNameForImportWithList(const QList<platform::contacts::ContactRecord> &cards,
                                             const QString &fileName);
    QList<Person *> importvCardListForPublicContacts(const QList<platform::contacts::ContactRecord> &cards);
    void checkUpdateContactCreatedFlag();
    // The private-groups menu is rebuilt after an import made a group.
    void setPrivateGroupsChangedHandler(std::function<void()> handler) { m_privateGroupsChanged = std::move(handler); }

    // The list's context menu's "Duplicate": the clone page of the contact the menu was opened on.
    void cloneMenuItemSelected();

    // ---- Changes announced elsewhere ----
    static inline const QString PersonCloudChangeNotification = QStringLiteral("PersonCloudChangeNotification");
    static inline const QString AddedContactsKey = QStringLiteral("AddedContacts");
    static inline const QString DeletedContactsKey = QStringLiteral("DeletedContacts");
    static inline const QString UpdatedContactsKey = QStringLiteral("UpdatedContacts");
    void personCloudUpdateNotification(const platform::core::Notification &notification);
    void sortOrderChanged(const platform::core::Notification &notification);
    void displayOrderChanged(const platform::core::Notification &notification);
    void syncWithAddressBookChangeNotification(const platform::core::Notification &notification);
    void contactsInitialLinkAndImageLoadNotification(const platform::core::Notification &notification);
    void contactsInformationSyncedNotification(const platform::core::Notification &notification);
    // The list found address-book people not in the journal: offered for import when the user asked so.
    void newContactsAvailable(const QList<platform::contacts::ContactRecord> &records) override;

    // ---- Group choice ----
    void groupChangedNotification(const platform::core::Notification &notification) override;

    // ---- Commands ----
    // The Edit menu's Delete: the selected contacts from the list, or the selected record of the tab whose
    // list has the focus.
    void performDelete(QObject *sender) override;
    bool validateMenuItem(QAction *item) override;
    // The Edit menu's Paste: the files on the clipboard go to the contact on show while its Files tab is.
    bool canPaste() const;
    void paste(QObject *sender);
    void deleteSingleContactSelectionWithRow(int row);
    void deleteMultipleSelectedContacts();

    // ---- State ----
    ContactsListDisplaySource *contactsListSource() const { return m_contactsListSource; }
    ContactsListItemModel *contactsListModel() const { return m_model; }
    // The list's context menu with its custom-field submenu.
    ContactsCustomFieldMenu *fieldsMenu() const { return m_fieldsMenu; }
    CustomNSOutlineViewWithDelegates *contactsOutlineView() const { return m_contactsOutlineView; }
    int currentSegmentState() const { return m_currentSegmentState; }
    ContactPageTab *tabController(int tab) const;
    QWidget *currentView() const { return m_currentView; }
    QPushButton *currentAddButton() const { return m_currentAddButton; }
    QLabel *currentTabLabel() const { return m_currentTabLabel; }
    ContactTabButton *tabButton(int tab) const;
    QPushButton *addButton(int tab) const;
    QLabel *tabLabel(int tab) const;
    QToolButton *callButton() const { return m_callButton; }
    QToolButton *emailButton() const { return m_emailButton; }
    QToolButton *messageButton() const { return m_messageButton; }
    QLabel *contactLargeImage() const { return m_contactLargeImage; }
    QLabel *displayNameLabel() const { return m_displayNameLabel; }
    QLabel *companyNameLabel() const { return m_companyNameLabel; }
    QLabel *nameField() const { return m_nameField; }
    QFrame *dividerImage() const { return m_dividerImage; }
    QWidget *boxView() const { return m_boxView; }
    QWidget *mainContentView() const { return m_mainContentView; }
    QString tabStripImageName() const { return m_tabStripImage; }
    QString tabStripToolTip() const;
    // The height of the footer row for the list's width.
    int footerRowHeight() const;

    // ---- E-mail, messages and calls (MacContactsViewController+Email.cpp) ----
    void emailButtonPressed();
    void messageButtonPressed();
    void callButtonPressed();
    // Pops up the choice of an address or number: `title` is "Email", "Message" or "Phone"; each item
    // carries its value, so a label holding ": " cannot change what is dialled.
    void showMenuForContactOptionsWithTitle(const QString &title, const QList<platform::store::ManagedObject *> &records,
                                            QWidget *button);
    void selectedRecipientForContact(const QString &menuTitle, const QString &value);
    void showEmailDraftPageWithEmails(const QStringList &emails) override;
    void finishedEmailDraftViewControllerDelegate(class MacEmailDraftViewController *draft, bool wasDonePressed);
    void showSharingEmailWithRecipients(const QStringList &recipients, const QString &subject, const QString &body,
                                        const QList<class FileAttachments *> &attachments, const QString &templateName);
    void showSharingMessagesWithRecipients(const QStringList &recipients);
    void makeCallUsingNumber(const QString &number) override;
    // Adds the automatic log entry for `person`; false (and the user told) when it could not be saved.
    bool addAutoLogForContact(Person *person, const QString &text, const QString &titleText);
    void setupTooltipForPhoneButton();
    static QString phonePreferenceString();
    // A contact by identity: a hand-off ends later, when the contact may have gone.
    static std::optional<platform::store::ManagedObjectID> contactIdentifier(Person *person);
    Person *contactWithIdentifier(const std::optional<platform::store::ManagedObjectID> &id) const;
    // The choice menu on show, if any (tests pick from it as the user does).
    QMenu *contactOptionsMenu() const { return m_contactOptionsMenu; }

    // ---- Messages shown once (MacContactsViewController+FirstRun.cpp) ----
    static inline const QString WhatsNew394Key = QStringLiteral("has_shown_whats_new:3.9.4_VERSION");
    static inline const QString FirstTimeDownloadDateKey = QStringLiteral("first_time_download_date");
    static inline const QString WelcomeAlertTitle = QStringLiteral("Quendel for Mac");
    static inline const QString WhatsNewAlertTitle = QStringLiteral("What's New in Quendel v1.2.2");
    static QString welcomeAlertMessage();
    // The launch says whether this start is an installation's first; the messages belong to a launch,
    // so a section made without this (or made again in the same run) shows none.
    void setFirstRunLaunch(std::optional<bool> firstRun) { m_firstRunLaunch = firstRun; }
    void checkAndShowFirstTimeAlert();
    void checkWhatsNewMessageWithVerison(const QString &key);
    // "Review Now" of the what's-new message.
    void setReviewHandler(std::function<void()> handler) { m_reviewHandler = std::move(handler); }

    void awakeFromNib() override;
    void prepareForDBRestore(const platform::core::Notification &notification) override;
    void databaseRestoredNotification(const platform::core::Notification &notification) override;

protected:
    void loadView() override;
    void resizeEvent(QResizeEvent *event) override;

private:
    struct TabParts
    {
        ContactTabButton *button = nullptr;
        QLabel *label = nullptr;
        QPushButton *addButton = nullptr;
        QString stripImage;
        QString controllerClass;
        ContactPageTab *controller = nullptr;
    };

    void outlineSelectionChanged(bool fromList);
    void selectDetailPersonWithItem(Person *person);
    void selectDetailPersonWithMultipleItems(const QList<Person *> &people);
    ContactPageTab *makeTab(int tab, Person *person);
    void setupContactScrollview(QWidget *view);
    void logEvent(const QString &name, const QVariantMap &parameters);
    void refreshHeaderTexts();
    QList<Person *> selectedContactsInList() const;
    void deleteContacts(const QList<Person *> &people);
    void refreshAddButtons();
    Person *personAtRow(int row) const;

    ContactsListDisplaySource *m_contactsListSource = nullptr;
    ContactsListItemModel *m_model = nullptr;
    ContactsCustomFieldMenu *m_fieldsMenu = nullptr;
    ContactsListRowDelegate *m_rowDelegate = nullptr;
    CustomNSOutlineViewWithDelegates *m_contactsOutlineView = nullptr;
    QWidget *m_boxView = nullptr;
    QWidget *m_mainContentView = nullptr;
    QWidget *m_contactOptionsView = nullptr;
    QLabel *m_contactLargeImage = nullptr;
    QLabel *m_displayNameLabel = nullptr;
    QLabel *m_companyNameLabel = nullptr;
    QLabel *m_nameField = nullptr;
    QFrame *m_dividerImage = nullptr;
    QWidget *m_coloredTabSwitches = nullptr;
    QToolButton *m_callButton = nullptr;
    QToolButton *m_emailButton = nullptr;
    QToolButton *m_messageButton = nullptr;
    QPointer<QMenu> m_contactOptionsMenu;
    QPointer<class AddContactWindowController> m_emailDraftWindowController;
    std::array<TabParts, TabCount> m_tabs;
    QPointer<QWidget> m_currentView;
    QPushButton *m_currentAddButton = nullptr;
    QLabel *m_currentTabLabel = nullptr;
    QString m_tabStripImage;
    int m_currentSegmentState = 0;
    bool m_usingTypeSelect = false;
    bool m_selectionIsChanging = false;
    bool m_reloading = false;
    bool m_awoken = false;
    std::optional<bool> m_firstRunLaunch;
    std::function<void()> m_reviewHandler;
    TabFactory m_tabFactory;
    AnalyticsLogger m_analytics;
    AddActions m_addActions;
    std::function<void()> m_privateGroupsChanged;
    QMenu *m_addContactMenu = nullptr;
    platform::core::ScopedObserver m_groupChangeObserver;
    std::vector<platform::core::ScopedObserver> m_observers;
    QSet<QString> m_offeredRecordIds;
    std::function<void()> m_clearSearchField;
};
