#pragma once

#include "platform/core/NotificationCenter.h"

#include "Mac/ContactPage/CommonListViewMac.h"
#include "Mac/ContactPage/ContactGroupsSelectionViewControllerMac.h"
#include "Mac/ContactPage/ContactInfoViewModel.h"
#include "Mac/ContactPage/CountrySelectionViewControllerMac.h"

#include "platform/store/ManagedObjectID.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QUrl>

#include <functional>
#include <memory>
#include <vector>

class ContactInfoTableCellViewMac;
class CustomNSOutlineView;
class QLabel;
class QMenu;
class QModelIndex;
class QStandardItemModel;
class QDCustomTextField;

namespace platform::store {
class ManagedObjectContext;
}

// The receiver of a contact made on the add-contact or clone page, once it is stored.
class QDAddContactDelegate
{
public:
    virtual ~QDAddContactDelegate() = default;
    virtual void addedNewContactWithPerson(Person *person) = 0;
};

// The Info tab of a contact's page, and the add-contact and clone pages. The contact page edits the stored
// contact in the main context and saves after each stored edit; the add-contact and clone pages build a
// new contact in a private child context and store it only when "Add" is pressed, so "Cancel" leaves the
// store as it was.
class ContactInfoViewControllerMac : public CommonListViewMac,
                                     public CountrySelectionDelegate,
                                     public GroupSelectionChangesDelegate
{
    Q_OBJECT
public:
    using ContextPtr = std::shared_ptr<platform::store::ManagedObjectContext>;
    enum class PageKind { Contact, AddContact, Clone };

    static inline const QString NibName = QStringLiteral("ContactInfoViewControllerMac");
    // Changes to the contact on show made elsewhere. The private-group one carries the group, the details
    // one the contact; the address-book one lists the contacts refreshed from and unlinked from their cards.
    static inline const QString PrivateGroupCloudChangedNotification = QStringLiteral("PrivateGroupCloudChangedNotification");
    static inline const QString PersonContactInfoCloudChangeNotification =
        QStringLiteral("PersonContactInfoCloudChangeNotification");
    static inline const QString SyncWithAddressBookChangeNotification = QStringLiteral("SyncWithAddressBookChangeNotification");
    static inline const QString UpdatedRecordsKey = QStringLiteral("kABUpdatedRecords");
    static inline const QString DeletedRecordsKey = QStringLiteral("kABDeletedRecords");
    static inline const QString PrivateContextName = QStringLiteral("ContactInfoViewControllerMacPrivateContext");
    static constexpr int TopViewEditingHeight = 110;
    static constexpr int MessageButtonViewingOffset = 20;
    static constexpr int MessageButtonEditingOffset = 75;
    static constexpr int StandardRowHeight = 24;
    static constexpr int HeaderRowHeight = 30;
    static constexpr int AddressEditingRowHeight = 120;

    // The Info tab of `person` (addContactPage false), or the add-contact page (person null, addContactPage
    // true) whose new contact starts private or not. `mainContext` is the store's main context (the
    // application's when null).
    ContactInfoViewControllerMac(Person *person, bool addContactPage, bool isPrivate, ContextPtr mainContext = {},
                                 QWidget *parent = nullptr);
    // The clone page: a copy of `source`, linked to no address-book record.
    static ContactInfoViewControllerMac *createWithCloningPerson(Person *source, ContextPtr mainContext = {},
                                                                 QWidget *parent = nullptr);
    ~ContactInfoViewControllerMac() override;

    KeyDelegateKinds keyDelegateKinds() const override
    {
        return KeyDelegateKinds(KeyDelegateKind::ContactInfoViewControllerMac) | KeyDelegateKind::CommonListViewMac;
    }

    PageKind pageKind() const { return m_pageKind; }
    bool isAddContactPage() const { return m_pageKind != PageKind::Contact; }
    Person *originalCloneObject() const { return m_originalCloneObject; }
    ContactInfoViewModel &model() { return *m_model; }
    // The context of every read and write of the page.
    platform::store::ManagedObjectContext *privateContext() const { return m_privateContext; }

    QDAddContactDelegate *addContactDelegate() const { return m_addContactDelegate; }
    void setAddContactDelegate(QDAddContactDelegate *delegate) { m_addContactDelegate = delegate; }
    double boxWidth() const { return m_boxWidth; }
    void setBoxWidth(double width) { m_boxWidth = width; }

    // ---- Widgets (found by tests and the host).
    CustomNSOutlineView *outlineView() const { return m_outlineView; }
    QWidget *topView() const { return m_topView; }
    QPushButton *editButton() const { return m_editButton; }
    QPushButton *cancelButton() const { return m_cancelButton; }
    QPushButton *addFieldsButton() const { return m_addFieldsButton; }
    QPushButton *removeFieldButton() const { return m_removeFieldButton; }
    QPushButton *messageLabelButton() const { return m_messageLabelButton; }
    QCheckBox *isPrivateButton() const { return m_isPrivateButton; }
    QLineEdit *firstNameTextfield() const { return m_firstNameTextfield; }
    QLineEdit *lastNameTextfield() const { return m_lastNameTextfield; }
    QLineEdit *companyNameTextfield() const;
    QLineEdit *middleNameTextField() const { return m_middleNameTextField; }
    QLineEdit *prefixNameTextField() const { return m_prefixNameTextField; }
    QLineEdit *suffixNameTextField() const { return m_suffixNameTextField; }
    int topViewConstraint() const { return m_topViewConstraint; }
    int messageButtonConstraint() const { return m_messageButtonConstraint; }
    // "e" or "s", with Ctrl as the modifier.
    QString editButtonKeyEquivalent() const { return m_keyEquivalent; }

    // ---- State
    bool isEditingContact() const { return m_isEditing; }
    bool showTopView() const { return m_showTopView; }
    bool hasTableviewFirstSelection() const override;

    // ---- Operations of the page
    void editButtonSelected();
    void stopEditingContact();
    void loadContactsDataDictionary();
    void setupNameFields();
    void setupMessageButton();
    void setupContactImage();
    void addMiddleNameTextField();
    void addPrefixNameTextField();
    void addSuffixNameTextField();
    void removeNameFieldsOnClose();

    // "Add" on the add-contact and clone pages: stores the new contact; false when it was not stored (the
    // page stays open and the user was told why).
    bool doneAddNewContact();
    void cancelButtonPressed();
    void unlinkedContactButtonPressed();

    // The add-field menu ("Add Field": one item per optional field without a value, tags 0, 1, ...).
    QMenu *buildAddFieldMenu();
    void addFieldsButtonPressed();
    void addPersonField(const QString &title);
    void selectRowForThisKey(const QString &title);
    void removeFieldsButtonPressed();

    void singleClickAction(const QModelIndex &index);
    void doubleClickAction(const QModelIndex &index);
    // Opens an http or https address in the browser; any other scheme is refused (false).
    bool openWebsiteInBrowserWithString(const QString &text);
    using UrlOpener = std::function<bool(const QUrl &)>;
    static void setUrlOpener(UrlOpener opener);

    // ---- Labels, country, picture, privacy and birthday
    // The labels the label pop-up of a section offers, in their order (none for other sections).
    static QStringList labelTitlesForSection(const QString &section);
    // A label chosen in a row's pop-up: a stored detail takes it and the context is saved.
    void popupButtonChanged(const ContactInfoRowPtr &row, const QString &title);
    // The country button of an address row opens the country popover, or closes the one on show.
    void countryFieldButtonSelected(const ContactInfoRowPtr &row);
    void changedCountryWithNewCountry(const QString &country) override;
    CountrySelectionViewControllerMac *countrySelectionController() const;
    // A group row opens the membership popover of its kind; a public-groups row of a contact without a
    // card in the address book is refused with an alert.
    void showGroupMemebershipPageWithItem(const ContactInfoRowPtr &row);
    void changedGroupSelectionWithIsPrivate(bool isPrivate) override;
    ContactGroupsSelectionViewControllerMac *groupsSelectionController() const;
    QPushButton *contactImageButton() const { return m_contactImageButton; }
    // Opens the picture panel; the chosen file becomes the contact's picture.
    void contactImageButtonPressed();
    void pictureTakerDidEnd(bool accepted, const QString &path);
    // Stores a picture (any format Qt reads); false, and the user told why, when it is not stored.
    bool changeContactImage(const QByteArray &imageData);
    void isContactPrivateButtonPressed();
    // The birthday row's button shows the date menu (editing mode only); a date chosen there is stored.
    void birthdayButtonSelected(const ContactInfoRowPtr &row, QWidget *button);
    void dateSelected(const QDate &date);
    QMenu *dateMenu() const { return m_dateMenu; }

    // ---- Changes made elsewhere
    void reloadAfterPrivateGroupsUpdate(const platform::core::Notification &notification);
    void reloadAfterContactInfoCloudUpdate(const platform::core::Notification &notification);
    void syncWithAddressBookDone(const platform::core::Notification &notification);

    // ---- Keys, copy and the context menu
    bool canHandleDownButton() const;
    QMenu *menuForOutlineViewRightClickOnSelectedOnRow(int row) override;
    int rightClickRow() const { return m_rightClickRow; }
    // Whether Copy may act: from the "Options" menu on the right-clicked row, otherwise on the selection.
    bool validateCopy(bool fromOptionsMenu) const;
    // Puts the row's value on the clipboard; false when there was nothing to copy.
    bool copy(bool fromOptionsMenu);
    QString copyTextForRow(int row) const;

    // ---- The outline
    void reloadOutline();
    // The outline's item of a row, and the row of an item.
    QModelIndex indexForRow(const ContactInfoRowPtr &row) const;
    ContactInfoRowPtr rowForIndex(const QModelIndex &index) const;
    QString sectionForIndex(const QModelIndex &index) const;
    // The cell widget of a row ("DataCell", "DataEditingCell", ... as its object name).
    QWidget *cellForRow(const ContactInfoRowPtr &row) const;
    QString cellIdentifierForIndex(const QModelIndex &index) const;
    int heightOfRowByItem(const QModelIndex &index) const;
    // The height of a data row measured as its cell would show it.
    int calculateIdealHeightForRow(const QString &section, const ContactInfoRow &row) const;
    // The text of a row's value field as typed so far, stored at the end of the edit.
    void persistValueForRow(const ContactInfoRowPtr &row, const QString &text, const QString &label);
    void persistAddressItem(const ContactInfoRowPtr &row, ContactInfoTableCellViewMac *cell, QLineEdit *field);

signals:
    // The add-contact or clone page closed; `added` when its contact was stored.
    void pageFinished(bool added);

private:
    void buildViews();
    void awakeFromNibSetup();
    void loadView();
    void toggleEditingMode(bool leaving);
    void setValueFieldsEditable(bool editable);
    void saveAfterEdit();
    QWidget *makeCell(const ContactInfoViewModel::Item &item);
    void populatePopupButton(class QComboBox *popup, const QString &section, const QString &selected);
    QLineEdit *addNameField(QPointer<QLineEdit> &field, const QString &fieldKey, const QString &placeholder);
    void finishPage(bool added);
    void discardPushedObjects();
    void applyConstraints();
    void reloadAfterContactChange();
    void finishPrivacyConversion();

    PageKind m_pageKind = PageKind::Contact;
    ContextPtr m_mainContext;
    ContextPtr m_childContext; // add and clone pages only
    platform::store::ManagedObjectContext *m_privateContext = nullptr;
    Person *m_originalCloneObject = nullptr;
    std::unique_ptr<ContactInfoViewModel> m_model;
    QDAddContactDelegate *m_addContactDelegate = nullptr;
    double m_boxWidth = 600;
    bool m_isPrivateContact = false;
    bool m_showTopView = false;
    bool m_isEditing = false;
    std::vector<platform::core::ScopedObserver> m_changeObservers;
    ContactInfoRowPtr m_editingPersonAddressItem;
    ContactInfoRowPtr m_dateRow;
    QMenu *m_dateMenu = nullptr;
    class QCalendarWidget *m_datePicker = nullptr;
    QPushButton *m_contactImageButton = nullptr;
    bool m_pushedToMainContext = false;
    int m_rightClickRow = -1;
    int m_topViewConstraint = TopViewEditingHeight;
    int m_messageButtonConstraint = MessageButtonViewingOffset;
    QString m_keyEquivalent;
    quint64 m_cellGeneration = 0;
    QList<platform::store::ManagedObjectID> m_pushedObjectIDs;

    CustomNSOutlineView *m_outlineView = nullptr;
    QStandardItemModel *m_itemModel = nullptr;
    QWidget *m_topView = nullptr;
    QWidget *m_buttonToolbarView = nullptr;
    QWidget *m_namesStackView = nullptr;
    QLabel *m_contactImage = nullptr;
    QCheckBox *m_isPrivateButton = nullptr;
    QPointer<QLineEdit> m_firstNameTextfield;
    QPointer<QLineEdit> m_lastNameTextfield;
    QDCustomTextField *m_companyNameTextfield = nullptr;
    QPointer<QLineEdit> m_middleNameTextField;
    QPointer<QLineEdit> m_prefixNameTextField;
    QPointer<QLineEdit> m_suffixNameTextField;
    QPushButton *m_editButton = nullptr;
    QPushButton *m_cancelButton = nullptr;
    QPushButton *m_addFieldsButton = nullptr;
    QPushButton *m_removeFieldButton = nullptr;
    QPushButton *m_messageLabelButton = nullptr;
    QWidget *m_messageSpacer = nullptr;
    QPointer<QLineEdit> m_editingNotesField;
};
