#include "Mac/Contacts/VCardFileImport.h"

#include "Classes/QDAlertDisplayMac.h"

#include "QuendelKit/AddressBook/VCardAddressBookBridge.h"
#include "QuendelKit/Entities/Person.h"
#include "QuendelKit/Infra/QDLog.h"

#include "platform/contacts/VCard.h"
#include "platform/ui/AlertPresenter.h"
#include "platform/ui/FilePanel.h"

#include <QFile>
#include <QFileInfo>

namespace ab = platform::contacts;

VCardFileImport::VCardFileImport(platform::store::ContextPtr context, std::shared_ptr<VCardAddressBookBridge> bridge,
                                 QWidget *window, Imported imported)
    : m_context(std::move(context)), m_bridge(std::move(bridge)), m_window(window), m_imported(std::move(imported))
{
}

bool VCardFileImport::readContacts(const QByteArray &data, QList<ab::ContactRecord> *contacts, int *errorCode)
{
    platform::core::QDError error;
    const QList<ab::VCard> cards = ab::VCardCodec::read(data, &error);
    if (!error.isNull() || (cards.isEmpty() && !data.trimmed().isEmpty())) {
        if (errorCode)
            *errorCode = error.isNull() ? 1 : int(error.code());
        return false;
    }
    for (const ab::VCard &card : cards) {
        const ab::ContactRecord record = ab::ContactRecord::fromVCard(card);
        // Groups in the file are not contacts.
        if (!record.isGroup())
            contacts->append(record);
    }
    return true;
}

void VCardFileImport::importvCardFileSelected()
{
    platform::ui::FilePanelSpec spec;
    spec.title = QStringLiteral("Import vCard File");
    spec.prompt = QStringLiteral("Import vCard");
    spec.allowedExtensions = {QStringLiteral("vcf"), QStringLiteral("vcard"), QStringLiteral("VCF")};
    // The import object lives on in the completion, as long as the panel is open.
    auto self = std::make_shared<VCardFileImport>(*this);
    platform::ui::FilePanelPresenter::shared().runOpenPanel(
        spec, m_window, [self](const platform::ui::FilePanelAnswer &answer) {
            if (!answer.accepted || answer.path.isEmpty())
                return;
            QFile file(answer.path);
            QByteArray data;
            if (file.size() <= ab::VCardCodec::MaximumFileSize && file.open(QIODevice::ReadOnly))
                data = file.readAll();
            QList<ab::ContactRecord> contacts;
            int code = 0;
            if (!file.isOpen() || !readContacts(data, &contacts, &code)) {
                QDLogError(QStringLiteral("vCard import: %1 not read (%2)").arg(answer.path, file.errorString()));
                QDAlertDisplayMac::sharedAlert()->showAlertWithTitle(
                    QStringLiteral("Error"),
                    QStringLiteral("There was an error importing contacts from vcard - %1").arg(code ? code : 1),
                    self->m_window);
                return;
            }
            self->askHowToImport(contacts);
        });
}

void VCardFileImport::askHowToImport(const QList<ab::ContactRecord> &contacts)
{
    platform::ui::AlertSpec spec;
    spec.messageText = QStringLiteral("Import %1 contacts from vCard").arg(contacts.size());
    spec.informativeText =
        QStringLiteral("Would you like to create them as Private Contacts, or add them to your Contacts app?");
    spec.buttonTitles = {QStringLiteral("Add Private Contacts"), QStringLiteral("Add Public Contacts"),
                         QStringLiteral("Cancel")};
    auto self = std::make_shared<VCardFileImport>(*this);
    platform::ui::AlertPresenter::shared().beginSheet(
        spec, m_window ? m_window->window() : nullptr, [self, contacts](const platform::ui::AlertResult &result) {
            QList<Person *> imported;
            if (result.returnCode() == platform::ui::AlertFirstButtonReturn)
                imported = self->importvCardListForPrivateContacts(contacts);
            else if (result.returnCode() == platform::ui::AlertFirstButtonReturn + 1)
                imported = self->importvCardListForPublicContacts(contacts);
            else
                return;
            if (self->m_imported && !imported.isEmpty())
                self->m_imported(imported);
        });
}

QList<Person *> VCardFileImport::importvCardListForPrivateContacts(const QList<ab::ContactRecord> &contacts)
{
    QList<Person *> people;
    platform::core::QDError error;
    bool saved = false;
    m_context->performAndWait([&] {
        for (const ab::ContactRecord &contact : contacts) {
            auto *person = m_context->insertNewObject<Person>(Person::EntityName);
            person->setIsContactPrivate(true);
            m_bridge->updatePersonWithContact(*person, contact);
            people << person;
        }
        saved = m_context->save(&error);
        if (!saved) {
            // Nothing half-imported stays behind the error.
            for (Person *person : std::as_const(people))
                m_context->deleteObject(person);
            m_context->processPendingChanges();
        }
    });
    if (!saved) {
        QDAlertDisplayMac::sharedAlert()->showAlertWithTitle(
            QStringLiteral("Error"),
            QStringLiteral("There was an error importing contacts from vcard - %1").arg(int(error.code())), m_window);
        return {};
    }
    return people;
}

QList<Person *> VCardFileImport::importvCardListForPublicContacts(const QList<ab::ContactRecord> &contacts)
{
    QList<Person *> people;
    platform::core::QDError error;
    bool saved = false;
    m_context->performAndWait([&] {
        for (const ab::ContactRecord &contact : contacts) {
            auto *person = m_context->insertNewObject<Person>(Person::EntityName);
            person->setIsContactPrivate(false);
            m_bridge->updatePersonWithContact(*person, contact);
            person->setContactIdentifier(QString());
            people << person;
        }
        // Saved first, so that each new card is linked under the contact's stored identifier.
        saved = m_context->save(&error);
        if (!saved) {
            for (Person *person : std::as_const(people))
                m_context->deleteObject(person);
            m_context->processPendingChanges();
            return;
        }
        for (Person *person : std::as_const(people)) {
            platform::core::QDError recordError;
            if (!person->savingNewPersonRecordWithSaveContext(false, &recordError))
                QDLogError(QStringLiteral("vCard import: no address-book card for %1").arg(person->displayName()));
        }
        saved = m_context->save(&error);
    });
    if (!saved) {
        QDAlertDisplayMac::sharedAlert()->showAlertWithTitle(
            QStringLiteral("Error"),
            QStringLiteral("There was an error in adding new contacts - %1").arg(int(error.code())), m_window);
        return {};
    }
    return people;
}
