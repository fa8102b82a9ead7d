// The Contacts section's ways of adding contacts (the Add menu, the vCard import, cloning), its list's
// context menu and its answer to a group choice.

#include "Mac/Contacts/MacContactsViewController.h"

#include "Classes/QDAlertDisplayMac.h"
#include "Mac/Contacts/ContactsCustomFieldMenu.h"
#include "Mac/Contacts/ContactsListItemModel.h"
#include "Mac/Contacts/VCardFileImport.h"
#include "Mac/Shell/CustomNSOutlineViewWithDelegates.h"

#include "QuendelKit/AddressBook/VCardAddressBookBridge.h"
#include "QuendelKit/Entities/Person.h"
#include "QuendelKit/Entities/PrivateGroups.h"
#include "QuendelKit/Infra/QDLog.h"
#include "QuendelKit/Settings/DataPlistValues.h"
#include "QuendelKit/Settings/SharedSettingController.h"

#include "platform/contacts/AddressBook.h"
#include "platform/contacts/ContactRecord.h"
#include "platform/ui/AlertPresenter.h"
#include "platform/ui/FilePanel.h"

#include <QCursor>
#include <QFileInfo>
#include <QMenu>
#include <QScopeGuard>

using platform::contacts::ContactRecord;

namespace {

const QString GroupChangePrivateKey = QStringLiteral("GroupChangePrivate");
const QString GroupChangePublicKey = QStringLiteral("GroupChangePublic");
const QString GroupChangePublicIdKey = QStringLiteral("GroupChangePublicIdentifier");

QString importErrorText(qint64 code)
{
    return QStringLiteral("There was an error importing contacts from vcard - %1").arg(code);
}

} // namespace

// ---- The Add menu ----

void MacContactsViewController::addContactsButtonPressed(QWidget *anchor)
{
    if (!m_addContactMenu) {
        m_addContactMenu = new QMenu(QStringLiteral("Add Contact"), this);
        m_addContactMenu->setAccessibleName(QStringLiteral("Add Contact"));
        m_addContactMenu->setToolTipsVisible(true);
        const auto item = [this](const QString &title, const QString &tip, std::function<void()> action) {
            QAction *added = m_addContactMenu->addAction(title);
            added->setToolTip(tip);
            connect(added, &QAction::triggered, this, std::move(action));
        };
        item(QStringLiteral("Import Contacts"), QStringLiteral("Import Contacts from the Contacts app"),
             [this] { importContactSelected(); });
        item(QStringLiteral("Create Contact"),
             QStringLiteral("Create new contacts; these will also be saved in the Contacts app"),
             [this] { createContactsButtonSelected(false); });
        item(QStringLiteral("Create Private Contact"),
             QStringLiteral("Create Private contacts; these will not be saved in the Contacts app, only inside Quendel"),
             [this] { createContactsButtonSelected(true); });
        item(QStringLiteral("Import vCard File"), QStringLiteral("Import contacts from a vCard or VCF file"),
             [this] { importvCardFileSelected(); });
    }
    // The menu drops down from the button without a nested event loop.
    const QPoint at = anchor ? anchor->mapToGlobal(QPoint(0, anchor->height())) : QCursor::pos();
    m_addContactMenu->popup(at);
}

void MacContactsViewController::importContactSelected()
{
    if (!VCardAddressBookBridge::installed()) {
        QDAlertDisplayMac::sharedAlert()->showAlertWithTitle(
            QStringLiteral("Quendel needs permissions to access Contacts"),
            QStringLiteral("To import contacts from the Contacts app, you will have to change the setting from System "
                           "Preferences -> Security & Privacy -> Privacy -> Contacts -> Quendel"),
            window());
        return;
    }
    if (m_addActions.importContacts)
        m_addActions.importContacts();
}

void MacContactsViewController::createContactsButtonSelected(bool isPrivateContact)
{
    if (!isPrivateContact && !VCardAddressBookBridge::installed()) {
        QDAlertDisplayMac::sharedAlert()->showAlertWithTitle(
            QStringLiteral("Quendel needs permissions to create Contacts"),
            QStringLiteral("To create contacts and sync with the Contacts app, you will have to change the setting "
                           "from System Preferences -> Security & Privacy -> Privacy -> Contacts -> Quendel\n\nYou "
                           "can also use Private Contacts if you don't wish to grant access to your contacts data"),
            window());
        return;
    }
    if (m_addActions.createContact)
        m_addActions.createContact(isPrivateContact);
}

void MacContactsViewController::checkUpdateContactCreatedFlag()
{
    if (dataPlistValues().contains(FirstContactCreatedKey))
        return;
    dataPlistValues().setValue(FirstContactCreatedKey, true);
    if (!plistFilePath().isEmpty())
        dataPlistValues().writeToFile(plistFilePath());
}

// ---- vCard import ----

void MacContactsViewController::importvCardFileSelected()
{
    platform::ui::FilePanelSpec panel;
    panel.title = QStringLiteral("Import vCard File");
    panel.prompt = QStringLiteral("Import vCard");
    panel.allowedExtensions = {QStringLiteral("vCard"), QStringLiteral("vcf"), QStringLiteral("VCF"), QStringLiteral("vcard")};
    QPointer<MacContactsViewController> self(this);
    platform::ui::FilePanelPresenter::shared().runOpenPanel(panel, window(), [self](const platform::ui::FilePanelAnswer &answer) {
        if (self && answer.accepted && !answer.path.isEmpty())
            self->importvCardFile(answer.path);
    });
}

void MacContactsViewController::importvCardFile(const QString &path)
{
    QList<ContactRecord> cards;
    platform::core::QDError error;
    if (!VCardFileImport::readContactsFromFile(path, &cards, &error)) {
        QDLogError(QStringLiteral("MacContacts: vCard import failed: %1").arg(error.toString()));
        QDAlertDisplayMac::sharedAlert()->showAlertWithTitle(QStringLiteral("Error"), importErrorText(error.code()), window());
        return;
    }
    platform::ui::AlertSpec alert;
    alert.messageText = QStringLiteral("Import %1 contacts from vCard").arg(cards.size());
    alert.informativeText = QStringLiteral("Would you like to create them as Private Contacts, or add them to your Contacts app?");
    alert.buttonTitles = {QStringLiteral("Add Private Contacts"), QStringLiteral("Add Private Contacts (new group)"),
                          QStringLiteral("Add Public Contacts"), QStringLiteral("Cancel")};
    QPointer<MacContactsViewController> self(this);
    const QString fileName = QFileInfo(path).fileName();
    platform::ui::AlertPresenter::shared().beginSheet(alert, window(), [self, cards, fileName](const platform::ui::AlertResult &result) {
        if (!self)
            return;
        switch (result.buttonIndex) {
        case 0:
            self->importvCardListForPrivateContacts(cards, QString());
            break;
        case 1:
            self->promptForGroupNameForImportWithList(cards, fileName);
            break;
        case 2:
            self->importvCardListForPublicContacts(cards);
            break;
        default:
            break;
        }
    });
}

void MacContactsViewController::promptForGroupNameForImportWithList(const QList<ContactRecord> &cards, const QString &fileName)
{
    platform::ui::AlertSpec alert;
    alert.messageText = QStringLiteral("Enter name for new group");
    alert.hasAccessoryTextField = true;
    alert.accessoryText = fileName;
    alert.buttonTitles = {QStringLiteral("Create Private Group"), QStringLiteral("Cancel")};
    QPointer<MacContactsViewController> self(this);
    platform::ui::AlertPresenter::shared().beginSheet(alert, window(), [self, cards, fileName](const platform::ui::AlertResult &result) {
        if (!self || result.returnCode() != platform::ui::AlertFirstButtonReturn)
            return;
        const QString name = result.accessoryText;
        const auto again = [self, cards, fileName](const QString &title, const QString &message) {
            QDAlertDisplayMac::sharedAlert()->showAlertWithTitle(title, message, [self, cards, fileName](const platform::ui::AlertResult &) {
                if (self)
                    self->promptForGroupNameForImportWithList(cards, fileName);
            });
        };
        if (name.isEmpty()) {
            again(QStringLiteral("Empty Group Name"), QStringLiteral("Please enter a valid name"));
            return;
        }
        for (const PrivateGroups *group : PrivateGroups::loadAllPrivateGroupsWithMOC(self->managedObjectContext().get())) {
            if (group->groupName() == name) {
                again(QStringLiteral("Group Name Exists"), QStringLiteral("Please enter a unique name"));
                return;
            }
        }
        self->importvCardListForPrivateContacts(cards, name);
    });
}

QList<Person *> MacContactsViewController::importvCardListForPrivateContacts(const QList<ContactRecord> &cards,
                                                                            const QString &groupName)
{
    const ContextPtr context = managedObjectContext();
    const auto bridge = VCardAddressBookBridge::installed();
    if (!context)
        return {};
    QList<Person *> people = VCardFileImport::insertPeople(context.get(), bridge.get(), cards, true);
    for (Person *person : std::as_const(people))
        person->savingNewPersonRecordWithSaveContext(false);
    if (!groupName.isEmpty())
        PrivateGroups::actuallyCreateNewPrivateContactsGroupWithName(groupName, people, context.get());
    platform::core::QDError error;
    if (!context->save(&error)) {
        // Nothing of a failed import is kept: no half-stored contacts, no group without them.
        context->rollback();
        QDAlertDisplayMac::sharedAlert()->showAlertWithTitle(QStringLiteral("Error"), importErrorText(error.code()), window());
        people.clear();
    }
    reloadContactsListWithNewPersons(people, true);
    if (m_privateGroupsChanged)
        m_privateGroupsChanged();
    return people;
}

QList<Person *> MacContactsViewController::importvCardListForPublicContacts(const QList<ContactRecord> &cards)
{
    const ContextPtr context = managedObjectContext();
    const auto bridge = VCardAddressBookBridge::installed();
    if (!context || !bridge) {
        createContactsButtonSelected(false); // tells the user why nothing can be added
        return {};
    }
    const QList<Person *> people = VCardFileImport::insertPeople(context.get(), bridge.get(), cards, false);
    // The contacts are stored before their address-book records are made, so a failed save leaves no
    // record behind.
    platform::core::QDError error;
    if (!context->save(&error)) {
        context->rollback();
        QDAlertDisplayMac::sharedAlert()->showAlertWithTitle(
            QStringLiteral("Error"), QStringLiteral("There was an error in adding new contacts - %1").arg(error.code()), window());
        reloadAllContactsAndOutlineView();
        return {};
    }
    for (Person *person : people)
        person->savingNewPersonRecordWithSaveContext(false);
    if (context->hasChanges() && !context->save(&error)) {
        QDLogError(QStringLiteral("MacContacts: links of imported contacts not saved: %1").arg(error.toString()));
        context->rollback();
    }
    const std::shared_ptr<platform::contacts::AddressBook> book = bridge->addressBook();
    if (book && book->hasUnsavedChanges())
        book->save();
    SharedSettingController::sharedSettings().writeToContactsReferenceFile();
    reloadContactsListWithNewPersons(people, true);
    return people;
}

// ---- Cloning ----

void MacContactsViewController::cloneMenuItemSelected()
{
    logEvent(QStringLiteral("MacContactsPage"), {{QStringLiteral("Action"), QStringLiteral("ContactContact")}});
    // A right click selects the row it lands on, so the contact clicked is the one selected.
    const QList<Person *> selected = selectedContactsInList();
    if (!m_fieldsMenu || m_fieldsMenu->clickedRow() < 0 || selected.size() != 1)
        return;
    Person *source = selected.first();
    if (m_addActions.cloneContact)
        m_addActions.cloneContact(source);
}

// ---- Group choice ----

void MacContactsViewController::groupChangedNotification(const platform::core::Notification &notification)
{
    const QVariantMap &info = notification.userInfo;
    if (info.isEmpty()) {
        m_contactsListSource->setContactsFilterPredicateByPrivateGroup(nullptr);
    } else if (info.contains(GroupChangePrivateKey)) {
        auto *group = dynamic_cast<PrivateGroups *>(info.value(GroupChangePrivateKey).value<platform::store::ManagedObject *>());
        if (group)
            m_contactsListSource->setContactsFilterPredicateByPrivateGroup(group);
        else
            m_contactsListSource->setContactsFilterPredicateByPublicGroup({}); // a group that is gone lists nobody
    } else if (info.contains(GroupChangePublicKey)) {
        m_contactsListSource->setContactsFilterPredicateByPublicGroup(
            {info.value(GroupChangePublicIdKey).toString(), info.value(GroupChangePublicKey).toStringList()});
    }
    // Whatever was chosen, no contact stays selected and the page empties.
    m_contactsListSource->setSelectContactInSource({});
    if (m_contactsOutlineView && m_contactsOutlineView->selectionModel()) {
        m_reloading = true;
        m_contactsOutlineView->selectionModel()->clearSelection();
        m_reloading = false;
    }
    disableContactDetailsPage();
}
