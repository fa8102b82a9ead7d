#include "Mac/Contacts/VCardFileImport.h"

#include "QuendelKit/AddressBook/VCardAddressBookBridge.h"
#include "QuendelKit/Entities/Person.h"

#include "platform/contacts/VCard.h"
#include "platform/store/ManagedObjectContext.h"

#include <QFile>

namespace ab = platform::contacts;
using platform::core::QDError;

bool VCardFileImport::readContactsFromFile(const QString &path, QList<ab::ContactRecord> *contacts, QDError *error)
{
    QFile file(path);
    QDError failure;
    if (file.size() > ab::VCardCodec::MaximumFileSize)
        failure = QDError(ErrorDomain, ab::VCardCodec::TooLargeError);
    else if (!file.open(QIODevice::ReadOnly))
        failure = QDError(ErrorDomain, qint64(file.error()));
    else
        return readContacts(file.readAll(), contacts, error);
    if (error)
        *error = failure;
    return false;
}

bool VCardFileImport::readContacts(const QByteArray &data, QList<ab::ContactRecord> *contacts, QDError *error)
{
    // A file of nothing but blank lines holds no contacts; that is no error.
    if (data.trimmed().isEmpty())
        return true;
    QDError failure;
    const QList<ab::VCard> cards = ab::VCardCodec::read(data, &failure);
    if (!failure.isNull() || cards.isEmpty()) {
        if (error)
            *error = failure.isNull() ? QDError(ErrorDomain, ab::VCardCodec::NoCardError) : failure;
        return false;
    }
    for (const ab::VCard &card : cards) {
        ab::ContactRecord record = ab::ContactRecord::fromVCard(card);
        if (!record.isGroup() && contacts)
            contacts->append(std::move(record));
    }
    return true;
}

QList<Person *> VCardFileImport::insertPeople(platform::store::ManagedObjectContext *context,
                                              VCardAddressBookBridge *bridge, const QList<ab::ContactRecord> &cards,
                                              bool isPrivate)
{
    QList<Person *> people;
    if (!context || !bridge)
        return people;
    for (const ab::ContactRecord &card : cards) {
        auto *person = context->insertNewObject<Person>(Person::EntityName);
        if (!person)
            continue;
        person->setIsContactPrivate(isPrivate);
        // A card without any name is not a contact: it is dropped rather than stored nameless.
        if (!bridge->updatePersonWithABRecord(*person, card)) {
            context->deleteObject(person);
            continue;
        }
        person->setIsContactPrivate(isPrivate);
        bridge->setMacUniqueIdentifier(*person, QString());
        people << person;
    }
    return people;
}
