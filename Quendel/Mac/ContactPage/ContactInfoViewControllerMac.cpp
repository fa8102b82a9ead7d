#include "Mac/ContactPage/ContactInfoViewControllerMac.h"

#include "Classes/Sync/ContactsSyncController.h"

#include "QuendelKit/AddressBook/VCardAddressBookBridge.h"

#include "Mac/Contacts/ContactDataCellView.h"

#include "Classes/QDAlertDisplayMac.h"
#include "Mac/ContactPage/ContactInfoTableCellViewMac.h"
#include "Mac/Shell/CustomNSOutlineView.h"
#include "Mac/Shell/PlainTextLabel.h"
#include "Mac/Shell/QDCustomTextField.h"
#include "SharedAppGlobals.h"

#include "QuendelKit/Entities/Emails.h"
#include "QuendelKit/Entities/Person.h"
#include "QuendelKit/Entities/PersonAddress.h"
#include "QuendelKit/Entities/PersonWebsite.h"
#include "QuendelKit/Entities/PrivateGroups.h"
#include "QuendelKit/Entities/Phones.h"
#include "QuendelKit/Infra/QDLog.h"

#include "platform/core/UserDefaults.h"
#include "platform/store/ManagedObjectContext.h"
#include "platform/ui/AlertPresenter.h"
#include "platform/ui/FilePanel.h"
#include "platform/ui/Popover.h"
#include "platform/ui/Sheet.h"

#include <algorithm>

#include <QAction>
#include <QMouseEvent>
#include <QApplication>
#include <QCalendarWidget>
#include <QClipboard>
#include <QCursor>
#include <QFileInfo>
#include <QFile>
#include <QImageReader>
#include <QBuffer>
#include <QToolButton>
#include <QWidgetAction>
#include <QCheckBox>
#include <QComboBox>
#include <QDesktopServices>
#include <QFontMetrics>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QStandardItemModel>
#include <QTimer>
#include <QVBoxLayout>

using namespace contact_info;

namespace {

constexpr int RowPointerRole = Qt::UserRole + 0x7300;
constexpr int SectionRole = Qt::UserRole + 0x7301;

ContactInfoViewControllerMac::UrlOpener &urlOpener()
{
    static ContactInfoViewControllerMac::UrlOpener opener = [](const QUrl &url) {
        return QDesktopServices::openUrl(url);
    };
    return opener;
}

// A value field covers its whole row, so a mouse action on it reaches the page as one on the row: a double
// click on a read-only value (it would only select a word in it), and a click on a group row's field (only
// a view of the groups, it opens the row's membership popover).
class RowMouseForwarder : public QObject
{
public:
    enum class Trigger { DoubleClickWhileReadOnly, LeftClick };

    RowMouseForwarder(QLineEdit *field, Trigger trigger, std::function<void()> action)
        : QObject(field)
        , m_field(field)
        , m_trigger(trigger)
        , m_action(std::move(action))
    {
        field->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (watched == m_field && triggers(event)) {
            m_action();
            return true;
        }
        return QObject::eventFilter(watched, event);
    }

private:
    bool triggers(QEvent *event) const
    {
        if (m_trigger == Trigger::DoubleClickWhileReadOnly)
            return event->type() == QEvent::MouseButtonDblClick && m_field->isReadOnly();
        if (event->type() != QEvent::MouseButtonRelease)
            return false;
        const auto *mouse = static_cast<QMouseEvent *>(event);
        return mouse->button() == Qt::LeftButton && m_field->rect().contains(mouse->position().toPoint());
    }

    QLineEdit *m_field;
    Trigger m_trigger;
    std::function<void()> m_action;
};

QWidget *viewWithTag(QWidget *cell, int tag)
{
    if (!cell)
        return nullptr;
    for (QWidget *child : cell->findChildren<QWidget *>()) {
        if (child->property("tag").toInt() == tag)
            return child;
    }
    return nullptr;
}

// The picture a stored or new contact takes, on the side that keeps it: a private contact in the store, a
// linked public one in its address-book card (and only once the card is saved), a new public one until it
// gets its card. False when nothing was stored.
bool storeContactImage(Person &person, const QByteArray &image, bool isInCreateContact)
{
    if (auto bridge = VCardAddressBookBridge::installed())
        return bridge->updateContactImage(person, image, isInCreateContact);
    if (person.isContactPrivate()) {
        person.setPrivateImage(image);
        return true;
    }
    if (isInCreateContact && person.macUniqueIdentifier().isEmpty()) {
        person.setPersonImage(image);
        person.setPrivateImage(QVariant());
        return true;
    }
    return false;
}

void showErrorAlert(const QString &message, QWidget *window)
{
    QDAlertDisplayMac::sharedAlert()->showAlertWithTitle(QStringLiteral("Error"), message, window);
}

void setBreadcrumb(const QString &key, qint64 value)
{
    if (auto defaults = platform::core::UserDefaults::standardUserDefaults())
        defaults->setInteger(value, key);
}

} // namespace

QStringList ContactInfoViewControllerMac::labelTitlesForSection(const QString &section)
{
    if (section == PhonesKey)
        return {QStringLiteral("work"),     QStringLiteral("home"),     QStringLiteral("iPhone"),
                QStringLiteral("mobile"),   QStringLiteral("main"),     QStringLiteral("home fax"),
                QStringLiteral("work fax"), QStringLiteral("pager")};
    if (section == EmailsKey)
        return {QStringLiteral("work"), QStringLiteral("home"), QStringLiteral("other")};
    if (section == AddressesKey)
        return {QStringLiteral("home"), QStringLiteral("work"), QStringLiteral("other")};
    if (section == URLsKey)
        return {QStringLiteral("home page"), QStringLiteral("work"), QStringLiteral("home"), QStringLiteral("other")};
    return {};
}

ContactInfoViewControllerMac::ContactInfoViewControllerMac(Person *person, bool addContactPage, bool isPrivate,
                                                           ContextPtr mainContext, QWidget *parent)
    : CommonListViewMac(NibName, person, parent), m_pageKind(addContactPage ? PageKind::AddContact : PageKind::Contact),
      m_mainContext(mainContext ? std::move(mainContext) : appMainManagedObjectContext()), m_isPrivateContact(isPrivate)
{
    buildViews();
    awakeFromNibSetup();
    loadView();
    // The contact on show may change elsewhere: its private groups or details on another device, or its
    // card in the address book.
    if (m_pageKind == PageKind::Contact) {
        const QPointer<ContactInfoViewControllerMac> self(this);
        const auto observe = [&](const QString &name, void (ContactInfoViewControllerMac::*handler)(
                                                          const platform::core::Notification &)) {
            m_changeObservers.emplace_back(name, nullptr, [self, handler](const platform::core::Notification &n) {
                if (self)
                    (self.data()->*handler)(n);
            });
        };
        observe(PrivateGroupCloudChangedNotification, &ContactInfoViewControllerMac::reloadAfterPrivateGroupsUpdate);
        observe(PersonContactInfoCloudChangeNotification, &ContactInfoViewControllerMac::reloadAfterContactInfoCloudUpdate);
        observe(SyncWithAddressBookChangeNotification, &ContactInfoViewControllerMac::syncWithAddressBookDone);
    }
}

namespace {
bool sameObject(const platform::store::ManagedObject *a, const platform::store::ManagedObject *b)
{
    return a && b && a->objectID() == b->objectID();
}
bool holdsObject(const platform::store::ManagedObject::ObjectList &objects, const platform::store::ManagedObject *target)
{
    return std::any_of(objects.cbegin(), objects.cend(),
                       [&](const platform::store::ManagedObject *object) { return sameObject(object, target); });
}
} // namespace

void ContactInfoViewControllerMac::reloadAfterContactChange()
{
    // In editing mode the edits are stored first; leaving the mode shows the contact as it now is.
    if (m_showTopView)
        editButtonSelected();
    else
        loadContactsDataDictionary();
    reloadOutline();
}

void ContactInfoViewControllerMac::reloadAfterPrivateGroupsUpdate(const platform::core::Notification &notification)
{
    const auto *group = dynamic_cast<const PrivateGroups *>(static_cast<const platform::store::ManagedObject *>(notification.object));
    if (!group || !detailPerson())
        return;
    const QList<Person *> members = group->members();
    if (!std::any_of(members.cbegin(), members.cend(), [&](const Person *member) { return sameObject(member, detailPerson()); }))
        return;
    reloadAfterContactChange();
}

void ContactInfoViewControllerMac::reloadAfterContactInfoCloudUpdate(const platform::core::Notification &notification)
{
    const auto *person = static_cast<const platform::store::ManagedObject *>(notification.object);
    if (!sameObject(person, detailPerson()))
        return;
    reloadAfterContactChange();
}

void ContactInfoViewControllerMac::syncWithAddressBookDone(const platform::core::Notification &notification)
{
    if (notification.userInfo.isEmpty() || !detailPerson())
        return;
    using List = platform::store::ManagedObject::ObjectList;
    const List deleted = notification.userInfo.value(DeletedRecordsKey).value<List>();
    if (holdsObject(deleted, detailPerson())) {
        // The card went: the page says the contact is no longer linked, even in the middle of an edit.
        setupMessageButton();
        if (m_showTopView)
            editButtonSelected();
        reloadOutline();
        return;
    }
    // Changes from the card are not shown over the user's own edits.
    if (m_isEditing)
        return;
    const List updated = notification.userInfo.value(UpdatedRecordsKey).value<List>();
    if (!holdsObject(updated, detailPerson()))
        return;
    reloadAfterContactChange();
    setupNameFields();
}

ContactInfoViewControllerMac *
ContactInfoViewControllerMac::createWithCloningPerson(Person *source, ContextPtr mainContext, QWidget *parent)
{
    bool isPrivate = false;
    if (source && source->managedObjectContext())
        source->managedObjectContext()->performAndWait([&] { isPrivate = source->isContactPrivate(); });
    // The clone's set-up needs the source before the page is built: a page of the clone kind is made with
    // the source as its shown contact, which the set-up replaces by the copy.
    auto *page = new ContactInfoViewControllerMac(source, true, isPrivate, std::move(mainContext), parent);
    return page;
}

ContactInfoViewControllerMac::~ContactInfoViewControllerMac()
{
    if (auto defaults = platform::core::UserDefaults::standardUserDefaults()) {
        defaults->removeObjectForKey(QStringLiteral("HockeyDebug-ContactsPage-A"));
        defaults->removeObjectForKey(QStringLiteral("HockeyDebug-ContactsPage-B"));
    }
    ++m_cellGeneration;
}

QLineEdit *ContactInfoViewControllerMac::companyNameTextfield() const
{
    return m_companyNameTextfield;
}

void ContactInfoViewControllerMac::buildViews()
{
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    m_topView = new QWidget(this);
    m_topView->setObjectName(QStringLiteral("topView"));
    m_topView->setAutoFillBackground(true);
    auto *topLayout = new QHBoxLayout(m_topView);
    m_contactImage = new PlainTextLabel(m_topView);
    m_contactImage->setObjectName(QStringLiteral("contactImage"));
    m_contactImage->setFixedSize(80, 80);
    auto *imageColumn = new QVBoxLayout;
    imageColumn->setSpacing(2);
    imageColumn->addWidget(m_contactImage);
    m_contactImageButton = new QPushButton(QStringLiteral("Picture\u2026"), m_topView);
    m_contactImageButton->setObjectName(QStringLiteral("contactImageButton"));
    m_contactImageButton->setAccessibleName(QStringLiteral("Change picture"));
    m_contactImageButton->setToolTip(QStringLiteral("Choose a picture for this contact"));
    // Return in a name field of the add sheet must not open the picture panel.
    m_contactImageButton->setAutoDefault(false);
    imageColumn->addWidget(m_contactImageButton);
    topLayout->addLayout(imageColumn);
    connect(m_contactImageButton, &QPushButton::clicked, this, &ContactInfoViewControllerMac::contactImageButtonPressed);
    auto *namesColumn = new QVBoxLayout;
    m_namesStackView = new QWidget(m_topView);
    m_namesStackView->setObjectName(QStringLiteral("namesStackView"));
    auto *namesLayout = new QHBoxLayout(m_namesStackView);
    namesLayout->setContentsMargins(0, 0, 0, 0);
    m_firstNameTextfield = new QLineEdit(m_namesStackView);
    m_firstNameTextfield->setObjectName(QStringLiteral("firstNameTextfield"));
    m_firstNameTextfield->setAccessibleName(QStringLiteral("First name"));
    m_firstNameTextfield->setPlaceholderText(QStringLiteral("First"));
    m_lastNameTextfield = new QLineEdit(m_namesStackView);
    m_lastNameTextfield->setObjectName(QStringLiteral("lastNameTextfield"));
    m_lastNameTextfield->setAccessibleName(QStringLiteral("Last name"));
    m_lastNameTextfield->setPlaceholderText(QStringLiteral("Last"));
    m_companyNameTextfield = new QDCustomTextField(m_namesStackView);
    m_companyNameTextfield->setObjectName(QStringLiteral("companyNameTextfield"));
    m_companyNameTextfield->setAccessibleName(QStringLiteral("Company"));
    m_companyNameTextfield->setPlaceholderText(QStringLiteral("Company"));
    namesLayout->addWidget(m_firstNameTextfield);
    namesLayout->addWidget(m_lastNameTextfield);
    namesColumn->addWidget(m_namesStackView);
    namesColumn->addWidget(m_companyNameTextfield);
    m_isPrivateButton = new QCheckBox(QStringLiteral("Private"), m_topView);
    m_isPrivateButton->setObjectName(QStringLiteral("isPrivateButton"));
    m_isPrivateButton->setAccessibleName(QStringLiteral("Private"));
    namesColumn->addWidget(m_isPrivateButton);
    // Only a click of the user converts: setting the box from the contact's state is silent.
    connect(m_isPrivateButton, &QCheckBox::clicked, this, &ContactInfoViewControllerMac::isContactPrivateButtonPressed);
    topLayout->addLayout(namesColumn, 1);
    layout->addWidget(m_topView);

    const QList<std::pair<QLineEdit *, QString>> names = {{m_firstNameTextfield, QStringLiteral("firstName")},
                                                          {m_lastNameTextfield, QStringLiteral("lastName")},
                                                          {m_companyNameTextfield, QStringLiteral("companyName")}};
    for (const auto &[field, key] : names) {
        connect(field, &QLineEdit::editingFinished, this, [this, field = field, key = key] {
            m_model->storeNameField(key, field->text());
            if (contactsDelegate())
                contactsDelegate()->contactUpdateName();
        });
    }

    m_messageSpacer = new QWidget(this);
    auto *messageLayout = new QHBoxLayout(m_messageSpacer);
    m_messageLabelButton = new QPushButton(m_messageSpacer);
    m_messageLabelButton->setObjectName(QStringLiteral("messageLabelButton"));
    m_messageLabelButton->setAccessibleName(QStringLiteral("Address book link"));
    m_messageLabelButton->setFlat(true);
    // The program does not reach an address book, so it cannot make a record there: the button is disabled.
    m_messageLabelButton->setEnabled(false);
    messageLayout->addWidget(m_messageLabelButton);
    messageLayout->addStretch();
    layout->addWidget(m_messageSpacer);
    connect(m_messageLabelButton, &QPushButton::clicked, this,
            &ContactInfoViewControllerMac::unlinkedContactButtonPressed);

    m_outlineView = new CustomNSOutlineView(this);
    m_outlineView->setObjectName(QStringLiteral("outlineView"));
    m_outlineView->setAccessibleName(QStringLiteral("Contact details"));
    m_outlineView->setHeaderHidden(true);
    m_outlineView->setRootIsDecorated(false);
    m_outlineView->setItemsExpandable(false);
    m_outlineView->setUniformRowHeights(false);
    m_outlineView->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_outlineView->setSelectionMode(QAbstractItemView::SingleSelection);
    m_itemModel = new QStandardItemModel(this);
    m_outlineView->setModel(m_itemModel);
    m_outlineView->setDelegate(this);
    setScrollView(m_outlineView);
    layout->addWidget(m_outlineView, 1);
    connect(m_outlineView, &QAbstractItemView::clicked, this, &ContactInfoViewControllerMac::singleClickAction);
    auto *copyAction = new QAction(QStringLiteral("Copy"), m_outlineView);
    copyAction->setShortcut(QKeySequence::Copy);
    copyAction->setShortcutContext(Qt::WidgetShortcut);
    m_outlineView->addAction(copyAction);
    connect(copyAction, &QAction::triggered, this, [this] {
        if (validateCopy(false))
            copy(false);
    });

    m_buttonToolbarView = new QWidget(this);
    m_buttonToolbarView->setObjectName(QStringLiteral("buttonToolbarView"));
    auto *buttons = new QHBoxLayout(m_buttonToolbarView);
    m_addFieldsButton = new QPushButton(QStringLiteral("+"), m_buttonToolbarView);
    m_addFieldsButton->setObjectName(QStringLiteral("addFieldsButton"));
    m_addFieldsButton->setAccessibleName(QStringLiteral("Add field"));
    m_removeFieldButton = new QPushButton(QStringLiteral("-"), m_buttonToolbarView);
    m_removeFieldButton->setObjectName(QStringLiteral("removeFieldButton"));
    m_removeFieldButton->setAccessibleName(QStringLiteral("Remove field"));
    m_cancelButton = new QPushButton(QStringLiteral("Cancel"), m_buttonToolbarView);
    m_cancelButton->setObjectName(QStringLiteral("cancelButton"));
    m_cancelButton->setAccessibleName(QStringLiteral("Cancel"));
    m_editButton = new QPushButton(QStringLiteral("Edit"), m_buttonToolbarView);
    m_editButton->setObjectName(QStringLiteral("editButton"));
    m_editButton->setAccessibleName(QStringLiteral("Edit"));
    buttons->addWidget(m_addFieldsButton);
    buttons->addWidget(m_removeFieldButton);
    buttons->addStretch();
    buttons->addWidget(m_cancelButton);
    buttons->addWidget(m_editButton);
    layout->addWidget(m_buttonToolbarView);
    connect(m_addFieldsButton, &QPushButton::clicked, this, &ContactInfoViewControllerMac::addFieldsButtonPressed);
    connect(m_removeFieldButton, &QPushButton::clicked, this, &ContactInfoViewControllerMac::removeFieldsButtonPressed);
    connect(m_cancelButton, &QPushButton::clicked, this, &ContactInfoViewControllerMac::cancelButtonPressed);
}

void ContactInfoViewControllerMac::awakeFromNibSetup()
{
    CommonListViewMac::awakeFromNib();
    setBreadcrumb(QStringLiteral("HockeyDebug-ContactsPage-B"), 1);
    if (m_loadedArrayController)
        return;
    m_loadedArrayController = true;
    m_rightClickRow = -1;

    if (isAddContactPage()) {
        setBreadcrumb(QStringLiteral("HockeyDebug-ContactsPage-A"), 1);
        m_childContext = platform::store::ManagedObjectContext::create(
            platform::store::ManagedObjectContext::ConcurrencyType::PrivateQueue);
        m_childContext->setParentContext(m_mainContext);
        m_childContext->setName(PrivateContextName);
        m_privateContext = m_childContext.get();
        Person *source = detailPerson();
        if (source)
            m_pageKind = PageKind::Clone;
        Person *created = nullptr;
        m_privateContext->performAndWait([&] {
            if (m_pageKind == PageKind::Clone) {
                m_originalCloneObject = source;
                created = source->cloneObjectWithContext(m_privateContext);
                if (created) {
                    created->setContactIdentifier(QString());
                    created->setMacUniqueIdentifier(QString());
                }
            } else {
                created = m_privateContext->insertNewObject<Person>(Person::EntityName);
                if (created)
                    created->setGuid(Person::makePersonGUID());
            }
            if (created)
                created->setIsContactPrivate(m_isPrivateContact);
        });
        setDetailPerson(created);
        m_isEditing = true;
        m_showTopView = true;
        m_topViewConstraint = TopViewEditingHeight;
        m_boxWidth = width();
        QTimer::singleShot(500, this, [this] {
            if (window() && window()->isVisible() && m_firstNameTextfield)
                m_firstNameTextfield->setFocus();
        });
    } else {
        setBreadcrumb(QStringLiteral("HockeyDebug-ContactsPage-A"), 2);
        m_privateContext = detailPerson() ? detailPerson()->managedObjectContext() : m_mainContext.get();
        m_topViewConstraint = 0;
        if (detailPerson())
            m_privateContext->performAndWait([&] { m_isPrivateContact = detailPerson()->isContactPrivate(); });
    }
    m_model = std::make_unique<ContactInfoViewModel>(m_privateContext, detailPerson());
    m_isPrivateButton->setChecked(m_isPrivateContact);
    setupNameFields();
    setupMessageButton();
    setupContactImage();
    setBreadcrumb(QStringLiteral("HockeyDebug-ContactsPage-B"), 2);
}

void ContactInfoViewControllerMac::loadView()
{
    setBreadcrumb(QStringLiteral("HockeyDebug-ContactsPage-B"), 3);
    loadContactsDataDictionary();
    if (isAddContactPage()) {
        m_model->addEmptyValuesToDictionary();
        m_editButton->setText(QStringLiteral("Add"));
        m_editButton->setAccessibleName(QStringLiteral("Add"));
        connect(m_editButton, &QPushButton::clicked, this, [this] { doneAddNewContact(); });
        m_keyEquivalent = QStringLiteral("s");
    } else {
        m_cancelButton->hide();
        m_cancelButton->setParent(nullptr);
        m_cancelButton->deleteLater();
        m_cancelButton = nullptr;
        m_removeFieldButton->hide();
        m_addFieldsButton->hide();
        connect(m_editButton, &QPushButton::clicked, this, &ContactInfoViewControllerMac::editButtonSelected);
        m_keyEquivalent = QStringLiteral("e");
        connect(m_outlineView, &QAbstractItemView::doubleClicked, this,
                &ContactInfoViewControllerMac::doubleClickAction);
    }
    m_editButton->setShortcut(QKeySequence(QStringLiteral("Ctrl+") + m_keyEquivalent.toUpper()));
    setBreadcrumb(QStringLiteral("HockeyDebug-ContactsPage-B"), 4);
    applyConstraints();
    reloadOutline();
    setBreadcrumb(QStringLiteral("HockeyDebug-ContactsPage-B"), 5);
}

void ContactInfoViewControllerMac::applyConstraints()
{
    m_topView->setFixedHeight(m_topViewConstraint);
    m_topView->setVisible(m_topViewConstraint > 0);
    m_messageSpacer->layout()->setContentsMargins(8, m_messageButtonConstraint - MessageButtonViewingOffset, 8, 0);
}

// ---- Names row and the band above the list

void ContactInfoViewControllerMac::setupNameFields()
{
    const auto fill = [this](QLineEdit *field, const QString &key) {
        const QString value = m_model->nameFieldValue(key);
        if (field && !value.isEmpty())
            field->setText(value);
    };
    fill(m_firstNameTextfield, QStringLiteral("firstName"));
    fill(m_lastNameTextfield, QStringLiteral("lastName"));
    fill(m_companyNameTextfield, QStringLiteral("companyName"));
    if (!m_model->nameFieldValue(QStringLiteral("personinfo.middleName")).isEmpty())
        addMiddleNameTextField();
    if (!m_model->nameFieldValue(QStringLiteral("prefixName")).isEmpty())
        addPrefixNameTextField();
    if (!m_model->nameFieldValue(QStringLiteral("suffixName")).isEmpty())
        addSuffixNameTextField();
}

QLineEdit *ContactInfoViewControllerMac::addNameField(QPointer<QLineEdit> &field, const QString &fieldKey,
                                                      const QString &placeholder)
{
    if (field)
        return field;
    field = new QLineEdit(m_namesStackView);
    field->setPlaceholderText(placeholder);
    field->setText(m_model->nameFieldValue(fieldKey));
    auto *layout = static_cast<QHBoxLayout *>(m_namesStackView->layout());
    if (fieldKey == QLatin1String("prefixName"))
        layout->insertWidget(0, field);
    else if (fieldKey == QLatin1String("personinfo.middleName"))
        layout->insertWidget(layout->indexOf(m_lastNameTextfield), field);
    else
        layout->addWidget(field);
    QLineEdit *created = field;
    connect(created, &QLineEdit::editingFinished, this, [this, created, fieldKey] {
        m_model->storeNameField(fieldKey, created->text());
        if (contactsDelegate())
            contactsDelegate()->contactUpdateName();
    });
    return field;
}

void ContactInfoViewControllerMac::addMiddleNameTextField()
{
    addNameField(m_middleNameTextField, QStringLiteral("personinfo.middleName"), QStringLiteral("Middle"))
        ->setObjectName(QStringLiteral("middleNameTextField"));
}

void ContactInfoViewControllerMac::addPrefixNameTextField()
{
    addNameField(m_prefixNameTextField, QStringLiteral("prefixName"), QStringLiteral("Prefix"))
        ->setObjectName(QStringLiteral("prefixNameTextField"));
}

void ContactInfoViewControllerMac::addSuffixNameTextField()
{
    addNameField(m_suffixNameTextField, QStringLiteral("suffixName"), QStringLiteral("Suffix"))
        ->setObjectName(QStringLiteral("suffixNameTextField"));
}

void ContactInfoViewControllerMac::removeNameFieldsOnClose()
{
    // An optional name field left empty goes away with editing mode.
    for (QPointer<QLineEdit> *field : {&m_middleNameTextField, &m_prefixNameTextField, &m_suffixNameTextField}) {
        if (*field && (*field)->text().isEmpty()) {
            (*field)->hide();
            (*field)->deleteLater();
            *field = nullptr;
        }
    }
}

void ContactInfoViewControllerMac::setupMessageButton()
{
    bool unlinked = false;
    if (!isAddContactPage() && detailPerson()) {
        m_privateContext->performAndWait(
            [&] { unlinked = !detailPerson()->isContactPrivate() && detailPerson()->macUniqueIdentifier().isNull(); });
    }
    if (unlinked) {
        m_messageLabelButton->setText(QStringLiteral("Contact is not linked to any record in the Address Book"));
        m_messageLabelButton->setToolTip(
            QStringLiteral("Contact might have been deleted in the Address Book. Making edits will not result in "
                           "changes getting saved in the Address Book"));
    } else {
        m_messageLabelButton->setText(QString());
    }
}

void ContactInfoViewControllerMac::setupContactImage()
{
    // The contact's own picture, or the default one while there is none.
    QImage picture;
    if (detailPerson() && m_privateContext)
        m_privateContext->performAndWait([&] { picture = ContactDataCellView::pictureForPerson(detailPerson()); });
    else
        picture = ContactDataCellView::pictureForPerson(nullptr);
    m_contactImage->setPixmap(QPixmap::fromImage(picture).scaled(m_contactImage->size(), Qt::KeepAspectRatio,
                                                                 Qt::SmoothTransformation));
}

void ContactInfoViewControllerMac::unlinkedContactButtonPressed()
{
    platform::ui::AlertSpec spec;
    spec.messageText = QStringLiteral("Contact is not linked to any record in the Address Book");
    spec.informativeText = QStringLiteral("Do you want to create a new contact with this information?");
    spec.buttonTitles = {QStringLiteral("Create Contact"), QStringLiteral("Cancel")};
    QPointer<ContactInfoViewControllerMac> self(this);
    platform::ui::AlertPresenter::shared().beginSheet(spec, window(), [self](const platform::ui::AlertResult &result) {
        if (!self || result.returnCode() != platform::ui::AlertFirstButtonReturn || !self->detailPerson())
            return;
        bool created = false;
        self->m_privateContext->performAndWait(
            [&] { created = self->detailPerson()->createABPersonRecordWithIsNewContact(true, true); });
        if (created)
            self->m_messageLabelButton->setText(QString());
    });
}

// ---- Row model and outline

void ContactInfoViewControllerMac::loadContactsDataDictionary()
{
    if (m_model)
        m_model->loadContactsDataDictionary();
}

void ContactInfoViewControllerMac::reloadOutline()
{
    // Cells of the previous build may still report the end of an edit while they go; they are not heard.
    ++m_cellGeneration;
    m_itemModel->clear();
    QList<std::pair<QStandardItem *, ContactInfoViewModel::Item>> rows;
    QStandardItem *section = nullptr;
    for (const ContactInfoViewModel::Item &item : m_model->items()) {
        auto *standardItem = new QStandardItem;
        standardItem->setData(item.section, SectionRole);
        if (item.isHeader()) {
            standardItem->setText(item.section);
            standardItem->setData(true, CustomNSOutlineView::ItemIsTitleRole);
            standardItem->setFlags(Qt::ItemIsEnabled);
            standardItem->setSizeHint(QSize(0, HeaderRowHeight));
            m_itemModel->appendRow(standardItem);
            section = standardItem;
            continue;
        }
        standardItem->setData(QVariant::fromValue(quintptr(item.row.get())), RowPointerRole);
        standardItem->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
        standardItem->setSizeHint(QSize(0, calculateIdealHeightForRow(item.section, *item.row)));
        section->appendRow(standardItem);
        rows.append({standardItem, item});
    }
    m_outlineView->expandAll();
    for (const auto &[standardItem, item] : rows)
        m_outlineView->setIndexWidget(standardItem->index(), makeCell(item));
}

QModelIndex ContactInfoViewControllerMac::indexForRow(const ContactInfoRowPtr &row) const
{
    if (!row)
        return QModelIndex();
    for (int s = 0; s < m_itemModel->rowCount(); ++s) {
        QStandardItem *section = m_itemModel->item(s);
        for (int r = 0; r < section->rowCount(); ++r) {
            if (section->child(r)->data(RowPointerRole).value<quintptr>() == quintptr(row.get()))
                return section->child(r)->index();
        }
    }
    return QModelIndex();
}

ContactInfoRowPtr ContactInfoViewControllerMac::rowForIndex(const QModelIndex &index) const
{
    const auto pointer = index.data(RowPointerRole).value<quintptr>();
    if (!pointer)
        return nullptr;
    for (const ContactInfoRowPtr &row : m_model->rows(index.data(SectionRole).toString())) {
        if (quintptr(row.get()) == pointer)
            return row;
    }
    return nullptr;
}

QString ContactInfoViewControllerMac::sectionForIndex(const QModelIndex &index) const
{
    return index.data(SectionRole).toString();
}

QWidget *ContactInfoViewControllerMac::cellForRow(const ContactInfoRowPtr &row) const
{
    const QModelIndex index = indexForRow(row);
    return index.isValid() ? m_outlineView->indexWidget(index) : nullptr;
}

QString ContactInfoViewControllerMac::cellIdentifierForIndex(const QModelIndex &index) const
{
    if (!index.isValid())
        return QString();
    if (index.data(CustomNSOutlineView::ItemIsTitleRole).toBool())
        return QStringLiteral("HeaderCell");
    QWidget *cell = m_outlineView->indexWidget(index);
    return cell ? cell->objectName() : QString();
}

int ContactInfoViewControllerMac::heightOfRowByItem(const QModelIndex &index) const
{
    if (index.data(CustomNSOutlineView::ItemIsTitleRole).toBool())
        return HeaderRowHeight;
    const ContactInfoRowPtr row = rowForIndex(index);
    return row ? calculateIdealHeightForRow(sectionForIndex(index), *row) : 1;
}

int ContactInfoViewControllerMac::calculateIdealHeightForRow(const QString &section, const ContactInfoRow &row) const
{
    const auto measured = [this](const QString &text) {
        const QFontMetrics metrics(font());
        const int width = std::max(50, int(m_boxWidth) - 250);
        const QRect bounds = metrics.boundingRect(QRect(0, 0, width, 100000), Qt::TextWordWrap,
                                                  text.isEmpty() ? QStringLiteral(" ") : text);
        return bounds.height() + 25;
    };
    if (dynamic_cast<Emails *>(row.record) || dynamic_cast<Phones *>(row.record) ||
        dynamic_cast<PersonWebsite *>(row.record))
        return StandardRowHeight;
    if (section == AddressesKey) {
        if (m_showTopView)
            return AddressEditingRowHeight;
        if (dynamic_cast<PersonAddress *>(row.record)) {
            const QString text = m_model->valueText(row);
            return measured(text.isEmpty() ? QStringLiteral("None") : text);
        }
        return StandardRowHeight;
    }
    if (row.isEntry() || row.placeholder)
        return row.placeholder && section != NotesKey && section != OtherInfoKey ? StandardRowHeight
                                                                                 : measured(row.text);
    return 1;
}

void ContactInfoViewControllerMac::populatePopupButton(QComboBox *popup, const QString &section,
                                                       const QString &selected)
{
    popup->clear();
    popup->addItems(labelTitlesForSection(section));
    if (!selected.isEmpty()) {
        if (popup->findText(selected) < 0)
            popup->addItem(selected);
        popup->setCurrentText(selected);
    }
}

QWidget *ContactInfoViewControllerMac::makeCell(const ContactInfoViewModel::Item &item)
{
    const QString identifier = ContactInfoViewModel::cellIdentifier(item, m_showTopView);
    const ContactInfoRowPtr row = item.row;
    const quint64 generation = m_cellGeneration;

    if (identifier == QLatin1String("DataEditingCell") || identifier == QLatin1String("AddressEditingCell")) {
        auto *cell = new ContactInfoTableCellViewMac(identifier);
        // A screen reader names the fields after their section and label ("Phones work", "Phones new").
        const QString fieldName =
            item.section + (row->placeholder ? QStringLiteral(" new") : QStringLiteral(" ") + m_model->labelText(*row));
        cell->popupTitleButton()->setAccessibleName(fieldName + QStringLiteral(" label"));
        const QStringList parts = {QStringLiteral("street"), QStringLiteral("city"), QStringLiteral("state"),
                                   QStringLiteral("postal code"), QStringLiteral("country")};
        const QList<QLineEdit *> addressFields = cell->addressFields();
        for (int i = 0; i < addressFields.size() && i < parts.size(); ++i)
            addressFields[i]->setAccessibleName(fieldName + QLatin1Char(' ') + parts[i]);
        if (cell->valueField())
            cell->valueField()->setAccessibleName(fieldName);
        populatePopupButton(cell->popupTitleButton(), item.section, row->record ? m_model->labelText(*row) : QString());
        connect(cell->popupTitleButton(), &QComboBox::activated, this, [this, row, cell, generation](int) {
            if (generation == m_cellGeneration)
                popupButtonChanged(row, cell->popupTitleButton()->currentText());
        });
        if (identifier == QLatin1String("DataEditingCell")) {
            QLineEdit *value = cell->valueField();
            if (row->placeholder) {
                value->clear();
                value->setPlaceholderText(QStringLiteral("Add"));
            } else {
                value->setText(m_model->valueText(*row));
            }
            connect(value, &QLineEdit::editingFinished, this, [this, row, cell, value, generation] {
                if (generation == m_cellGeneration)
                    persistValueForRow(row, value->text(), cell->popupTitleButton()->currentText());
            });
            return cell;
        }
        if (row->placeholder) {
            cell->formatAddressFieldsForEmptyCell();
        } else if (auto *address = dynamic_cast<PersonAddress *>(row->record)) {
            cell->formatAddressFieldsWithAddress(address);
            cell->updateTextFieldsForCountry(cell->addressCountryField()->text());
        }
        for (QLineEdit *field : cell->addressFields()) {
            connect(field, &QLineEdit::editingFinished, this, [this, row, cell, field, generation] {
                if (generation == m_cellGeneration)
                    persistAddressItem(row, cell, field);
            });
        }
        connect(cell->addressCountryField(), &QLineEdit::textEdited, cell,
                [cell](const QString &name) { cell->updateTextFieldsForCountry(name); });
        cell->countryFieldButton()->setAccessibleName(fieldName + QStringLiteral(" choose country"));
        connect(cell->countryFieldButton(), &QToolButton::clicked, this, [this, row, generation] {
            if (generation == m_cellGeneration)
                countryFieldButtonSelected(row);
        });
        return cell;
    }

    auto *cell = new QWidget;
    cell->setObjectName(identifier);
    auto *layout = new QHBoxLayout(cell);
    layout->setContentsMargins(4, 0, 4, 0);
    auto *label = new PlainTextLabel(cell);
    label->setProperty("tag", 1);
    label->setObjectName(QStringLiteral("labelField"));
    label->setMinimumWidth(110);
    layout->addWidget(label);
    if (identifier == QLatin1String("DateEditingCell")) {
        label->setText(BirthdayTitle);
        auto *button = new QPushButton(row->text, cell);
        button->setProperty("tag", 2);
        button->setObjectName(QStringLiteral("dateButton"));
        button->setAccessibleName(BirthdayTitle);
        button->setEnabled(m_showTopView);
        button->setAutoDefault(false);
        connect(button, &QPushButton::clicked, this, [this, row, button, generation] {
            if (generation == m_cellGeneration)
                birthdayButtonSelected(row, button);
        });
        layout->addWidget(button, 1);
        return cell;
    }
    auto *value = new QLineEdit(cell);
    value->setProperty("tag", 2);
    value->setObjectName(QStringLiteral("valueField"));
    value->setFrame(false);
    value->setAccessibleName(item.section + QLatin1Char(' ') + m_model->labelText(*row));
    layout->addWidget(value, 1);
    label->setText(m_model->labelText(*row));
    value->setText(m_model->valueText(*row));
    value->setReadOnly(!m_showTopView || item.section == GroupsKey);
    new RowMouseForwarder(value, RowMouseForwarder::Trigger::DoubleClickWhileReadOnly, [this, row, generation] {
        if (generation == m_cellGeneration)
            doubleClickAction(indexForRow(row));
    });
    if (item.section == NotesKey) {
        connect(value, &QLineEdit::textEdited, this, [this, row, generation](const QString &text) {
            if (generation != m_cellGeneration)
                return;
            row->text = text;
            const QModelIndex index = indexForRow(row);
            if (auto *standardItem = m_itemModel->itemFromIndex(index))
                standardItem->setSizeHint(QSize(0, calculateIdealHeightForRow(NotesKey, *row)));
            m_outlineView->scrollTo(index);
        });
    }
    if (item.section == GroupsKey) {
        value->setCursor(Qt::PointingHandCursor);
        value->setToolTip(QStringLiteral("Click to change the contact's %1").arg(row->key.toLower()));
        new RowMouseForwarder(value, RowMouseForwarder::Trigger::LeftClick, [this, row, generation] {
            if (generation == m_cellGeneration)
                showGroupMemebershipPageWithItem(row);
        });
    }
    if (item.section != GroupsKey) {
        connect(value, &QLineEdit::editingFinished, this, [this, row, value, generation] {
            if (generation != m_cellGeneration)
                return;
            if (!value->isReadOnly())
                persistValueForRow(row, value->text(), QString());
            if (m_editingNotesField == value) {
                value->setReadOnly(true);
                m_editingNotesField = nullptr;
                QDLogInfo(QStringLiteral("ContactInfo: finished editing notes field"));
            }
        });
    }
    return cell;
}

// ---- Storing edits

void ContactInfoViewControllerMac::saveAfterEdit()
{
    // The add and clone pages keep every edit in their own context until "Add": nothing of a contact that
    // may yet be cancelled reaches the main context.
    if (isAddContactPage())
        return;
    m_model->save();
}

void ContactInfoViewControllerMac::persistValueForRow(const ContactInfoRowPtr &row, const QString &text,
                                                      const QString &label)
{
    const QString section = m_model->sectionOfRow(row.get());
    if (section.isEmpty() || section == AddressesKey)
        return;
    NSManagedObjectQDBase *created = m_model->persistValue(row, text, label);
    saveAfterEdit();
    if (created) {
        QPointer<ContactInfoViewControllerMac> self(this);
        // The cell that reported the edit is still on the stack: rebuild once it has returned.
        QTimer::singleShot(0, this, [self, row] {
            if (!self)
                return;
            self->reloadOutline();
            const QModelIndex placeholder = self->indexForRow(row);
            if (placeholder.isValid())
                self->m_outlineView->selectionModel()->select(placeholder, QItemSelectionModel::ClearAndSelect);
        });
        ++m_cellGeneration;
        return;
    }
    const QModelIndex index = indexForRow(row);
    if (auto *standardItem = m_itemModel->itemFromIndex(index))
        standardItem->setSizeHint(QSize(0, calculateIdealHeightForRow(section, *row)));
}

void ContactInfoViewControllerMac::persistAddressItem(const ContactInfoRowPtr &row, ContactInfoTableCellViewMac *cell,
                                                      QLineEdit *field)
{
    if (!row || !cell || !field)
        return;
    const QString key = cell->personAddressKeyForTextField(field);
    if (key.isNull())
        return;
    if (row->record) {
        bool changed = false;
        m_model->persistAddressField(row, key, field->text(), QString(), QString(), &changed);
        if (changed) {
            saveAfterEdit();
            if (QLineEdit *next = cell->nextTextFieldWithCurrentField(field))
                next->setFocus();
        }
        return;
    }
    if (field->text().isEmpty())
        return;
    QLineEdit *next = cell->nextTextFieldWithCurrentField(field);
    const QString nextPlaceholder = next ? next->placeholderText() : QString();
    PersonAddress *created = m_model->persistAddressField(
        row, key, field->text(), cell->popupTitleButton()->currentText(), cell->addressCountryField()->text());
    if (!created)
        return;
    ++m_cellGeneration;
    QPointer<ContactInfoViewControllerMac> self(this);
    QTimer::singleShot(0, this, [self, created, nextPlaceholder] {
        if (!self)
            return;
        self->reloadOutline();
        for (const ContactInfoRowPtr &candidate : self->m_model->rows(AddressesKey)) {
            if (candidate->record != created)
                continue;
            if (auto *newCell = dynamic_cast<ContactInfoTableCellViewMac *>(self->cellForRow(candidate))) {
                if (QLineEdit *target = newCell->textFieldForPlaceholder(nextPlaceholder))
                    target->setFocus();
            }
        }
    });
}

// ---- Editing mode

void ContactInfoViewControllerMac::editButtonSelected()
{
    toggleEditingMode(m_showTopView);
}

void ContactInfoViewControllerMac::setValueFieldsEditable(bool editable)
{
    for (int s = 0; s < m_itemModel->rowCount(); ++s) {
        QStandardItem *section = m_itemModel->item(s);
        const bool groups = section->data(SectionRole).toString() == GroupsKey;
        for (int r = 0; r < section->rowCount(); ++r) {
            auto *value =
                qobject_cast<QLineEdit *>(viewWithTag(m_outlineView->indexWidget(section->child(r)->index()), 2));
            if (value)
                value->setReadOnly(!editable || groups);
        }
    }
}

void ContactInfoViewControllerMac::toggleEditingMode(bool leaving)
{
    m_topViewConstraint = m_showTopView ? 0 : TopViewEditingHeight;
    m_messageButtonConstraint = m_showTopView ? MessageButtonViewingOffset : MessageButtonEditingOffset;
    if (m_showTopView) {
        m_editButton->setText(QStringLiteral("Edit"));
        m_addFieldsButton->hide();
        m_removeFieldButton->hide();
        m_keyEquivalent = QStringLiteral("e");
    } else {
        m_editButton->setText(QStringLiteral("Done"));
        m_keyEquivalent = QStringLiteral("s");
        m_addFieldsButton->show();
        m_removeFieldButton->show();
    }
    m_editButton->setShortcut(QKeySequence(QStringLiteral("Ctrl+") + m_keyEquivalent.toUpper()));
    m_editButton->setAccessibleName(m_editButton->text());

    if (leaving) {
        m_isEditing = false;
        // The field being edited ends its edit, and stores it, before the save.
        if (QWidget *focused = QApplication::focusWidget(); focused && isAncestorOf(focused)) {
            if (auto *line = qobject_cast<QLineEdit *>(focused))
                emit line->editingFinished();
        }
        m_outlineView->setFocus();
        setValueFieldsEditable(false);
        platform::core::QDError error;
        if (!m_model->save(&error)) {
            // The edits stay in the context and go with its next save; the user learns why they are not
            // stored yet.
            const QString reason =
                error.localizedDescription().isEmpty() ? error.toString() : error.localizedDescription();
            QDLogError(QStringLiteral("ContactInfo: the contact's changes could not be saved: %1").arg(reason));
            QDAlertDisplayMac::sharedAlert()->showAlertWithTitle(
                QStringLiteral("Could not save contact"),
                QStringLiteral("The changes could not be saved: %1. They are kept and will be saved again.")
                    .arg(reason),
                window());
        }
        removeNameFieldsOnClose();
        m_model->removeEmptyValuesFromDictionary();
        loadContactsDataDictionary();
        m_showTopView = false;
        applyConstraints();
        reloadOutline();
        if (contactsDelegate())
            contactsDelegate()->subviewPressedUpButton();
        return;
    }
    m_model->addEmptyValuesToDictionary();
    m_showTopView = true;
    m_isEditing = true;
    applyConstraints();
    reloadOutline();
    setupContactImage();
    setValueFieldsEditable(true);
}

void ContactInfoViewControllerMac::stopEditingContact()
{
    if (!m_showTopView)
        return;
    m_topViewConstraint = 0;
    m_showTopView = false;
    applyConstraints();
    m_editButton->setText(QStringLiteral("Edit"));
}

bool ContactInfoViewControllerMac::hasTableviewFirstSelection() const
{
    const QModelIndexList selected = m_outlineView->selectionModel()->selectedIndexes();
    return !isAddContactPage() && !m_isEditing && !selected.isEmpty() &&
           m_outlineView->rowForIndex(selected.first()) == 1;
}

// ---- Add field, remove field

QMenu *ContactInfoViewControllerMac::buildAddFieldMenu()
{
    auto *menu = new QMenu(QStringLiteral("Add Field"), this);
    menu->setObjectName(QStringLiteral("addFieldMenu"));
    int tag = 0;
    for (const QString &title : m_model->addFieldMenuTitles()) {
        QAction *action = menu->addAction(title);
        action->setData(tag++);
        connect(action, &QAction::triggered, this, [this, title] { addPersonField(title); });
    }
    return menu;
}

void ContactInfoViewControllerMac::addFieldsButtonPressed()
{
    m_outlineView->setFocus();
    QMenu *menu = buildAddFieldMenu();
    connect(menu, &QMenu::aboutToHide, menu, &QObject::deleteLater);
    menu->popup(m_addFieldsButton->mapToGlobal(QPoint(0, m_addFieldsButton->height())));
}

void ContactInfoViewControllerMac::addPersonField(const QString &title)
{
    const QString keyPath = m_model->addPersonField(title);
    if (keyPath.isNull())
        return;
    if (keyPath == QLatin1String("prefixName")) {
        addPrefixNameTextField();
        return;
    }
    if (keyPath == QLatin1String("suffixName")) {
        addSuffixNameTextField();
        return;
    }
    if (keyPath == QLatin1String("personinfo.middleName")) {
        addMiddleNameTextField();
        return;
    }
    reloadOutline();
    QPointer<ContactInfoViewControllerMac> self(this);
    QTimer::singleShot(200, this, [self, title] {
        if (self)
            self->selectRowForThisKey(title);
    });
}

void ContactInfoViewControllerMac::selectRowForThisKey(const QString &title)
{
    const QString section = title == NotesKey ? NotesKey : OtherInfoKey;
    for (const ContactInfoRowPtr &row : m_model->rows(section)) {
        if (section == OtherInfoKey && row->key != title)
            continue;
        const QModelIndex index = indexForRow(row);
        if (!index.isValid())
            continue;
        if (section == NotesKey)
            m_outlineView->selectionModel()->select(index, QItemSelectionModel::ClearAndSelect);
        if (title != BirthdayTitle) {
            if (auto *value = qobject_cast<QLineEdit *>(viewWithTag(m_outlineView->indexWidget(index), 2))) {
                value->setReadOnly(false);
                value->setFocus();
                value->selectAll();
            }
        }
        m_outlineView->scrollTo(index);
        return;
    }
}

void ContactInfoViewControllerMac::removeFieldsButtonPressed()
{
    if (!m_isEditing)
        return;
    const QModelIndexList selected = m_outlineView->selectionModel()->selectedIndexes();
    if (selected.isEmpty())
        return;
    const ContactInfoRowPtr row = rowForIndex(selected.first());
    if (!m_model->removeRow(row))
        return;
    saveAfterEdit();
    reloadOutline();
}

// ---- Clicks

void ContactInfoViewControllerMac::singleClickAction(const QModelIndex &index)
{
    if (!index.isValid()) {
        m_outlineView->clearSelection();
        return;
    }
    if (sectionForIndex(index) == GroupsKey) {
        if (const ContactInfoRowPtr row = rowForIndex(index); row && row->isEntry())
            showGroupMemebershipPageWithItem(row);
        return;
    }
    if (!m_isEditing || !rowForIndex(index))
        return;
    if (auto *value = qobject_cast<QLineEdit *>(viewWithTag(m_outlineView->indexWidget(index), 2)))
        value->setFocus();
}

void ContactInfoViewControllerMac::doubleClickAction(const QModelIndex &index)
{
    if (m_isEditing)
        return;
    const ContactInfoRowPtr row = rowForIndex(index);
    if (!row)
        return;
    const QString section = sectionForIndex(index);
    if (section == AddressesKey) {
        if (contactsDelegate())
            contactsDelegate()->switchToMapWithPersonAddress(dynamic_cast<PersonAddress *>(row->record));
    } else if (section == EmailsKey) {
        const QString address = m_model->valueText(*row);
        if (!address.isEmpty() && contactsDelegate())
            contactsDelegate()->showEmailDraftPageWithEmails({address});
    } else if (section == PhonesKey) {
        const QString number = m_model->valueText(*row);
        if (!number.isEmpty() && contactsDelegate())
            contactsDelegate()->makeCallUsingNumber(number);
    } else if (section == URLsKey) {
        openWebsiteInBrowserWithString(m_model->valueText(*row));
    } else if (section == NotesKey) {
        if (auto *value = qobject_cast<QLineEdit *>(viewWithTag(m_outlineView->indexWidget(index), 2))) {
            QDLogInfo(QStringLiteral("ContactInfo: make notes field editable"));
            m_editingNotesField = value;
            value->setReadOnly(false);
            value->setFocus();
        }
    }
}

bool ContactInfoViewControllerMac::openWebsiteInBrowserWithString(const QString &text)
{
    const QUrl url = PersonWebsite::browsableURLFromString(text);
    if (!url.isValid()) {
        QDLogInfo(QStringLiteral("ContactInfo: website not opened, not an http or https address: %1").arg(text));
        return false;
    }
    return urlOpener() ? urlOpener()(url) : false;
}

void ContactInfoViewControllerMac::setUrlOpener(UrlOpener opener)
{
    urlOpener() = opener ? std::move(opener) : [](const QUrl &url) { return QDesktopServices::openUrl(url); };
}

// ---- Add-contact and clone pages

bool ContactInfoViewControllerMac::doneAddNewContact()
{
    if (!isAddContactPage() || !detailPerson())
        return false;
    if (auto defaults = platform::core::UserDefaults::standardUserDefaults())
        defaults->setInteger(defaults->integerForKey(QStringLiteral("HockeyDebug-AddContactCount")) + 1,
                             QStringLiteral("HockeyDebug-AddContactCount"));
    // The field being edited stores its text first.
    if (QWidget *focused = QApplication::focusWidget(); focused && isAncestorOf(focused)) {
        if (auto *line = qobject_cast<QLineEdit *>(focused))
            emit line->editingFinished();
    }
    setFocus();

    Person *person = detailPerson();
    const bool makePrivate = m_isPrivateButton->isChecked();
    bool sameNameAsSource = false;
    bool childSaved = true;
    platform::core::QDError error;
    m_privateContext->performAndWait([&] {
        if (m_pageKind == PageKind::Clone && m_originalCloneObject) {
            QString sourceName;
            if (auto *sourceContext = m_originalCloneObject->managedObjectContext())
                sourceContext->performAndWait([&] { sourceName = m_originalCloneObject->displayName(); });
            person->remakeDisplayName();
            if (sourceName == person->displayName()) {
                sameNameAsSource = true;
                return;
            }
        }
        person->setIsContactPrivate(makePrivate);
        if (!m_pushedToMainContext) {
            for (platform::store::ManagedObject *object : m_privateContext->insertedObjects())
                m_pushedObjectIDs.append(object->objectID());
        }
        childSaved = person->savingNewPersonRecordWithSaveContext(true, &error);
    });
    if (sameNameAsSource) {
        QDAlertDisplayMac::sharedAlert()->showAlertWithTitle(
            QStringLiteral("Could not clone contact"),
            QStringLiteral("Please enter a different name for the new contact"), window());
        return false;
    }
    bool mainSaved = false;
    if (childSaved) {
        m_pushedToMainContext = true;
        // The link to the new address-book card is kept by the contact under its identifier in the store,
        // which it only gets with this save: it is handed to the stored contact then.
        const auto bridge = VCardAddressBookBridge::installed();
        QString cardIdentifier;
        platform::store::ManagedObjectID childID;
        m_privateContext->performAndWait([&] {
            childID = person->objectID();
            if (bridge && !person->isContactPrivate())
                cardIdentifier = bridge->macUniqueIdentifier(*person);
        });
        m_mainContext->performAndWait([&] {
            auto *stored = dynamic_cast<Person *>(m_mainContext->objectRegisteredForID(childID));
            mainSaved = m_mainContext->save(&error);
            if (mainSaved && stored && bridge && !cardIdentifier.isEmpty())
                bridge->setMacUniqueIdentifier(*stored, cardIdentifier);
        });
    }
    if (!childSaved || !mainSaved) {
        // Everything typed stays on the page; "Add" tries again, "Cancel" takes it all back.
        const QString reason = error.localizedDescription().isEmpty() ? error.toString() : error.localizedDescription();
        QDLogError(QStringLiteral("ContactInfo: the new contact could not be saved: %1").arg(reason));
        QDAlertDisplayMac::sharedAlert()->showAlertWithTitle(
            QStringLiteral("Could not save contact"),
            QStringLiteral("The contact could not be saved: %1. Your entries are kept; please try again.").arg(reason),
            window());
        return false;
    }
    m_isEditing = false;
    m_pushedObjectIDs.clear();
    if (m_addContactDelegate)
        m_addContactDelegate->addedNewContactWithPerson(person);
    finishPage(true);
    return true;
}

void ContactInfoViewControllerMac::discardPushedObjects()
{
    if (!m_pushedToMainContext || !m_mainContext)
        return;
    m_mainContext->performAndWait([&] {
        for (const platform::store::ManagedObjectID &id : m_pushedObjectIDs) {
            platform::store::ManagedObject *object = m_mainContext->objectRegisteredForID(id);
            if (object && object->isInserted())
                m_mainContext->deleteObject(object);
        }
        m_mainContext->processPendingChanges();
    });
    m_pushedToMainContext = false;
    m_pushedObjectIDs.clear();
}

void ContactInfoViewControllerMac::cancelButtonPressed()
{
    ++m_cellGeneration;
    discardPushedObjects();
    if (m_childContext)
        m_childContext->performAndWait([&] { m_childContext->rollback(); });
    finishPage(false);
}

void ContactInfoViewControllerMac::finishPage(bool added)
{
    emit pageFinished(added);
    QWidget *host = window();
    if (auto *sheet = qobject_cast<platform::ui::Sheet *>(host)) {
        sheet->endSheet(added ? platform::ui::ModalResponseOK : platform::ui::ModalResponseCancel);
        sheet->close();
    } else if (host && host == this) {
        close();
    }
}

// ---- Labels, country, picture, privacy and birthday

void ContactInfoViewControllerMac::popupButtonChanged(const ContactInfoRowPtr &row, const QString &title)
{
    // A new row not stored yet takes the chosen label when it is stored.
    if (row && row->record && !row->placeholder)
        m_model->setRowLabel(row, title);
    platform::core::QDError error;
    if (!m_model->save(&error))
        QDLogError(QStringLiteral("ContactInfo: the label change could not be saved: %1").arg(error.toString()));
}

CountrySelectionViewControllerMac *ContactInfoViewControllerMac::countrySelectionController() const
{
    platform::ui::Popover *popover = mypopover();
    return popover ? qobject_cast<CountrySelectionViewControllerMac *>(popover->contentWidget()) : nullptr;
}

void ContactInfoViewControllerMac::countryFieldButtonSelected(const ContactInfoRowPtr &row)
{
    if (platform::ui::Popover *shown = mypopover(); shown && shown->isShown()) {
        shown->closePopover();
        return;
    }
    auto *cell = dynamic_cast<ContactInfoTableCellViewMac *>(cellForRow(row));
    if (!row || !cell)
        return;
    QString current;
    if (auto *address = dynamic_cast<PersonAddress *>(row->record))
        m_privateContext->performAndWait([&] { current = address->country(); });
    else
        current = cell->addressCountryField()->text();
    m_editingPersonAddressItem = row;
    auto *picker = new CountrySelectionViewControllerMac(current);
    picker->setDelegate(this);
    platform::ui::Popover *popover = createPopoverWithViewController(picker);
    popover->setContentSize(picker->size());
    setMypopover(popover);
    popover->showRelativeTo(cell->addressCountryField()->geometry(), cell, platform::ui::Popover::Edge::Bottom);
    picker->searchField()->setFocus();
}

ContactGroupsSelectionViewControllerMac *ContactInfoViewControllerMac::groupsSelectionController() const
{
    platform::ui::Popover *popover = mypopover();
    return popover ? qobject_cast<ContactGroupsSelectionViewControllerMac *>(popover->contentWidget()) : nullptr;
}

void ContactInfoViewControllerMac::showGroupMemebershipPageWithItem(const ContactInfoRowPtr &row)
{
    if (platform::ui::Popover *shown = mypopover(); shown && shown->isShown())
        shown->closePopover();
    Person *person = detailPerson();
    if (!row || !person)
        return;
    const bool isPrivate = row->key == PrivateGroupsKey;
    bool unlinked = true;
    m_privateContext->performAndWait([&] { unlinked = person->macUniqueIdentifier().isEmpty(); });
    if (!isPrivate && unlinked) {
        QDAlertDisplayMac::sharedAlert()->showAlertWithTitle(
            QStringLiteral("Unlinked Contact"), QStringLiteral("Contact is not linked to any record in the Address Book"),
            window());
        return;
    }
    auto *picker = new ContactGroupsSelectionViewControllerMac(person, isPrivate);
    picker->setDelegate(this);
    picker->setDefersSave(isAddContactPage());
    platform::ui::Popover *popover = createPopoverWithViewController(picker);
    setMypopover(popover);
    const int height = std::clamp(ContactGroupsSelectionViewControllerMac::RowHeight * picker->groupCount() + 30, 100, 450);
    popover->setContentSize(QSize(350, height));
    picker->awakeFromNib();
    const QModelIndex index = indexForRow(row);
    QWidget *cell = m_outlineView->indexWidget(index);
    QRect anchor = m_outlineView->visualRect(index);
    if (QWidget *value = cell ? viewWithTag(cell, 2) : nullptr)
        anchor.setLeft(anchor.left() + value->geometry().x());
    anchor.setWidth(100);
    popover->showRelativeTo(anchor, m_outlineView->viewport(), platform::ui::Popover::Edge::Bottom);
}

void ContactInfoViewControllerMac::changedGroupSelectionWithIsPrivate(bool isPrivate)
{
    Person *person = detailPerson();
    if (!person)
        return;
    person->updateContactDictionaryForGroupChanges(m_model->contactDataDictionary(), isPrivate);
    const QString key = isPrivate ? PrivateGroupsKey : PublicGroupsKey;
    for (const ContactInfoRowPtr &row : m_model->rows(GroupsKey)) {
        if (!row || row->key != key)
            continue;
        if (auto *value = qobject_cast<QLineEdit *>(viewWithTag(cellForRow(row), 2)))
            value->setText(m_model->valueText(*row));
    }
}

void ContactInfoViewControllerMac::changedCountryWithNewCountry(const QString &country)
{
    const ContactInfoRowPtr row = m_editingPersonAddressItem;
    auto *cell = dynamic_cast<ContactInfoTableCellViewMac *>(cellForRow(row));
    if (row && row->record) {
        if (auto *address = dynamic_cast<PersonAddress *>(row->record)) {
            bool changed = false;
            m_model->persistAddressField(row, QStringLiteral("country"), country, QString(), QString(), &changed);
            Q_UNUSED(address);
            if (changed)
                saveAfterEdit();
        }
    }
    if (cell) {
        if (!country.isEmpty())
            cell->addressCountryField()->setText(country);
        cell->updateTextFieldsForCountry(country);
    }
    // The popover goes on a later turn: the hand-over may come from a click inside it.
    if (platform::ui::Popover *shown = mypopover(); shown && shown->isShown())
        QTimer::singleShot(0, shown, &platform::ui::Popover::closePopover);
}

void ContactInfoViewControllerMac::contactImageButtonPressed()
{
    platform::ui::FilePanelSpec spec;
    spec.title = QStringLiteral("Choose a Picture");
    spec.prompt = QStringLiteral("Choose");
    spec.allowedExtensions = {QStringLiteral("png"), QStringLiteral("jpg"), QStringLiteral("jpeg"),
                              QStringLiteral("gif"), QStringLiteral("bmp"), QStringLiteral("tif"),
                              QStringLiteral("tiff"), QStringLiteral("webp")};
    QPointer<ContactInfoViewControllerMac> self(this);
    platform::ui::FilePanelPresenter::shared().runOpenPanel(spec, window(),
                                                            [self](const platform::ui::FilePanelAnswer &answer) {
                                                                if (self)
                                                                    self->pictureTakerDidEnd(answer.accepted,
                                                                                             answer.path);
                                                            });
}

void ContactInfoViewControllerMac::pictureTakerDidEnd(bool accepted, const QString &path)
{
    if (!accepted || path.isEmpty())
        return;
    QImageReader reader(path);
    reader.setAutoTransform(true);
    const QImage image = reader.read();
    if (image.isNull()) {
        QDLogError(QStringLiteral("ContactInfo: picture not read from %1: %2").arg(path, reader.errorString()));
        QDAlertDisplayMac::sharedAlert()->showAlertWithTitle(
            QStringLiteral("Could not read the picture"),
            QStringLiteral("\"%1\" is not a picture this program can read.").arg(QFileInfo(path).fileName()),
            window());
        return;
    }
    // Stored as PNG whatever the file was, at a size that keeps the store and the card small.
    const QImage scaled = image.width() > 512 || image.height() > 512
                              ? image.scaled(512, 512, Qt::KeepAspectRatio, Qt::SmoothTransformation)
                              : image;
    QByteArray data;
    QBuffer buffer(&data);
    buffer.open(QIODevice::WriteOnly);
    scaled.save(&buffer, "PNG");
    changeContactImage(data);
}

bool ContactInfoViewControllerMac::changeContactImage(const QByteArray &imageData)
{
    Person *person = detailPerson();
    if (!person)
        return false;
    bool stored = false;
    m_privateContext->performAndWait([&] { stored = storeContactImage(*person, imageData, isAddContactPage()); });
    if (!stored) {
        QDAlertDisplayMac::sharedAlert()->showAlertWithTitle(QStringLiteral("Unlinked Contact"),
                                                             QStringLiteral("Could not change the contact's image"),
                                                             window());
        return false;
    }
    if (!isAddContactPage()) {
        platform::core::QDError error;
        if (!m_model->save(&error))
            QDLogError(QStringLiteral("ContactInfo: the picture could not be saved: %1").arg(error.toString()));
    }
    setupContactImage();
    if (!isAddContactPage() && contactsDelegate())
        contactsDelegate()->contactUpdateListView();
    return true;
}

void ContactInfoViewControllerMac::isContactPrivateButtonPressed()
{
    Person *person = detailPerson();
    if (!person)
        return;
    const bool makePrivate = m_isPrivateButton->isChecked();
    if (isAddContactPage()) {
        // The new contact is not in the address book yet: only the flag and where its picture waits change.
        m_privateContext->performAndWait([&] {
            person->setIsContactPrivate(makePrivate);
            if (makePrivate) {
                const QByteArray picture = person->personImage();
                if (!picture.isEmpty()) {
                    storeContactImage(*person, picture, true);
                    person->setPersonImage(QByteArray());
                }
            } else {
                const QByteArray picture = person->privateImage().toByteArray();
                if (!picture.isEmpty() && storeContactImage(*person, picture, true))
                    person->setPrivateImage(QVariant());
            }
        });
        m_isPrivateContact = makePrivate;
        setupContactImage();
        return;
    }

    bool isPrivate = false;
    bool linked = false;
    m_privateContext->performAndWait([&] {
        isPrivate = person->isContactPrivate();
        linked = !person->macUniqueIdentifier().isEmpty();
    });
    const auto bridge = VCardAddressBookBridge::installed();
    if (isPrivate) {
        bool converted = false;
        if (bridge)
            m_privateContext->performAndWait([&] { converted = bridge->convertContactToPublic(*person); });
        if (!converted) {
            showErrorAlert(QStringLiteral("Error converting Private Contact to public"), window());
            m_isPrivateButton->setChecked(true);
            return;
        }
        finishPrivacyConversion();
        return;
    }
    if (!linked || !bridge) {
        showErrorAlert(QStringLiteral("Contact is not linked, so cannot be converted"), window());
        m_isPrivateButton->setChecked(false);
        return;
    }
    // The address-book card is deleted by the conversion, which cannot be undone: the user confirms first.
    m_isPrivateButton->setChecked(false);
    platform::ui::AlertSpec spec;
    spec.messageText = QStringLiteral("Make this contact private?");
    spec.informativeText = QStringLiteral("Its card will be removed from the address book. The contact keeps its "
                                          "details, log entries and picture here.");
    spec.buttonTitles = {QStringLiteral("Make Private"), QStringLiteral("Cancel")};
    QPointer<ContactInfoViewControllerMac> self(this);
    platform::ui::AlertPresenter::shared().beginSheet(spec, window(), [self, person](const platform::ui::AlertResult &result) {
        if (!self || result.returnCode() != platform::ui::AlertFirstButtonReturn || self->detailPerson() != person)
            return;
        const auto bridge = VCardAddressBookBridge::installed();
        bool converted = false;
        if (bridge)
            self->m_privateContext->performAndWait([&] { converted = bridge->convertContactToPrivate(*person); });
        if (!converted) {
            showErrorAlert(QStringLiteral("Error converting contact to Private"), self->window());
            self->m_isPrivateButton->setChecked(false);
            return;
        }
        self->m_isPrivateButton->setChecked(true);
        self->finishPrivacyConversion();
    });
}

void ContactInfoViewControllerMac::finishPrivacyConversion()
{
    if (detailPerson())
        m_privateContext->performAndWait([&] { m_isPrivateContact = detailPerson()->isContactPrivate(); });
    m_isPrivateButton->setChecked(m_isPrivateContact);
    setupMessageButton();
    setupContactImage();
    if (!m_isEditing) {
        loadContactsDataDictionary();
        reloadOutline();
    }
    if (contactsDelegate())
        contactsDelegate()->contactUpdateListView();
}

void ContactInfoViewControllerMac::birthdayButtonSelected(const ContactInfoRowPtr &row, QWidget *button)
{
    if (!m_showTopView || !row)
        return;
    const QModelIndex index = indexForRow(row);
    if (index.isValid())
        m_outlineView->selectionModel()->select(index, QItemSelectionModel::ClearAndSelect);
    m_dateRow = row;
    if (!m_dateMenu) {
        m_dateMenu = new QMenu(this);
        m_dateMenu->setObjectName(QStringLiteral("dateMenu"));
        m_datePicker = new QCalendarWidget;
        m_datePicker->setObjectName(QStringLiteral("datePicker"));
        m_datePicker->setAccessibleName(QStringLiteral("Birthday date"));
        m_datePicker->setGridVisible(true);
        m_datePicker->setMaximumDate(QDate(9999, 12, 31));
        auto *holder = new QWidgetAction(m_dateMenu);
        holder->setDefaultWidget(m_datePicker);
        m_dateMenu->addAction(holder);
        const auto choose = [this](QDate date) {
            m_dateMenu->close();
            dateSelected(date);
        };
        connect(m_datePicker, &QCalendarWidget::clicked, this, choose);
        connect(m_datePicker, &QCalendarWidget::activated, this, choose);
    }
    QDateTime stored;
    if (detailPerson())
        m_privateContext->performAndWait(
            [&] { stored = detailPerson()->valueForFieldKeyPath(QStringLiteral("personinfo.birthday")).toDateTime(); });
    m_datePicker->setSelectedDate(stored.isValid() ? stored.toLocalTime().date() : QDate::currentDate());
    m_dateMenu->popup(button ? button->mapToGlobal(QPoint(0, 0)) : QCursor::pos());
    m_datePicker->setFocus();
}

void ContactInfoViewControllerMac::dateSelected(const QDate &date)
{
    Person *person = detailPerson();
    if (!person || !date.isValid())
        return;
    const QString keyPath = Person::infoKeyForDescription(BirthdayTitle);
    m_privateContext->performAndWait([&] {
        // Noon keeps the day the same in every time zone the date is later shown in.
        person->updateOtherFieldsWithValue(QDateTime(date, QTime(12, 0)), keyPath);
        person->updateContactDictionaryWithOtherKey(keyPath, m_model->contactDataDictionary(), m_model->sortedKeys());
    });
    reloadOutline();
    setValueFieldsEditable(m_isEditing);
}

// ---- Keys, copy and the context menu

bool ContactInfoViewControllerMac::canHandleDownButton() const
{
    return !isAddContactPage() && !m_isEditing;
}

QString ContactInfoViewControllerMac::copyTextForRow(int rowNumber) const
{
    const QModelIndex index = m_outlineView->indexForRow(rowNumber);
    const ContactInfoRowPtr row = rowForIndex(index);
    if (!row)
        return QString();
    const QString section = sectionForIndex(index);
    if (section == PhonesKey || section == EmailsKey || section == AddressesKey || section == URLsKey)
        return row->record ? m_model->valueText(*row) : QString();
    if (section == NotesKey) {
        const QList<ContactInfoRowPtr> notes = m_model->rows(NotesKey);
        return notes.isEmpty() ? QString() : notes.first()->text;
    }
    if (section == OtherInfoKey)
        return row->text;
    return QString();
}

bool ContactInfoViewControllerMac::validateCopy(bool fromOptionsMenu) const
{
    if (m_isEditing)
        return false;
    int row = m_rightClickRow;
    if (!fromOptionsMenu) {
        const QModelIndexList selected = m_outlineView->selectionModel()->selectedIndexes();
        row = selected.isEmpty() ? -1 : m_outlineView->rowForIndex(selected.first());
    }
    if (row <= 0)
        return false;
    const QString section = sectionForIndex(m_outlineView->indexForRow(row));
    static const QStringList copyable = {AddressesKey, EmailsKey, PhonesKey, NotesKey, OtherInfoKey, URLsKey};
    return copyable.contains(section) && rowForIndex(m_outlineView->indexForRow(row));
}

bool ContactInfoViewControllerMac::copy(bool fromOptionsMenu)
{
    int row = m_rightClickRow;
    if (!fromOptionsMenu) {
        const QModelIndexList selected = m_outlineView->selectionModel()->selectedIndexes();
        row = selected.isEmpty() ? -1 : m_outlineView->rowForIndex(selected.first());
    }
    const QString text = copyTextForRow(row);
    if (text.isEmpty())
        return false;
    QApplication::clipboard()->setText(text);
    return true;
}

QMenu *ContactInfoViewControllerMac::menuForOutlineViewRightClickOnSelectedOnRow(int row)
{
    if (m_showTopView)
        return nullptr;
    m_rightClickRow = row;
    const QModelIndex index = m_outlineView->indexForRow(row);
    const ContactInfoRowPtr item = rowForIndex(index);
    const QString section = item ? sectionForIndex(index) : QString();
    auto *menu = new QMenu(QStringLiteral("Options"), this);
    menu->setObjectName(QStringLiteral("Options"));
    menu->setAccessibleName(QStringLiteral("Options"));
    connect(menu, &QMenu::aboutToHide, menu, [menu] { QTimer::singleShot(0, menu, &QObject::deleteLater); });
    QAction *copyItem = menu->addAction(QStringLiteral("Copy"));
    copyItem->setEnabled(validateCopy(true));
    connect(copyItem, &QAction::triggered, this, [this] { copy(true); });
    if (!item || !item->record)
        return menu;
    NSManagedObjectQDBase *record = item->record;
    const QString value = m_model->valueText(*item);
    if (section == URLsKey) {
        connect(menu->addAction(QStringLiteral("Open URL")), &QAction::triggered, this,
                [this, value] { openWebsiteInBrowserWithString(value); });
    } else if (section == EmailsKey) {
        connect(menu->addAction(QStringLiteral("Email")), &QAction::triggered, this, [this, value] {
            if (!value.isEmpty() && contactsDelegate())
                contactsDelegate()->showEmailDraftPageWithEmails({value});
        });
    } else if (section == PhonesKey) {
        connect(menu->addAction(QStringLiteral("Call")), &QAction::triggered, this, [this, value] {
            if (!value.isEmpty() && contactsDelegate())
                contactsDelegate()->makeCallUsingNumber(value);
        });
    } else if (section == AddressesKey) {
        connect(menu->addAction(QStringLiteral("Open in Map View")), &QAction::triggered, this, [this, record] {
            if (contactsDelegate())
                contactsDelegate()->switchToMapWithPersonAddress(dynamic_cast<PersonAddress *>(record));
        });
    }
    return menu;
}
