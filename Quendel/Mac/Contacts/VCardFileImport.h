#pragma once

#include "platform/contacts/ContactRecord.h"
#include "platform/core/QDError.h"

#include <QList>
#include <QString>

class Person;
class VCardAddressBookBridge;

namespace platform::store {
class ManagedObjectContext;
}

// The parts of a vCard file import that need no window: reading the file the user chose, and making its
// cards into new contacts. The Contacts section asks the questions around them.
class VCardFileImport
{
public:
    static inline const QString ErrorDomain = QStringLiteral("com.quendel.contacts.vcard");

    // The contact cards of the file, in file order; group cards are no contacts and are left out. False,
    // with `error` set, when the file cannot be read or holds no vCard data. The file is only read, so a
    // damaged one stays as it is.
    static bool readContactsFromFile(const QString &path, QList<platform::contacts::ContactRecord> *contacts,
                                     platform::core::QDError *error);
    static bool readContacts(const QByteArray &data, QList<platform::contacts::ContactRecord> *contacts,
                             platform::core::QDError *error);

    // A new contact in `context` for every card that names someone, private or public, linked to no
    // address-book record yet (the card's own identifier names none of ours). Nothing is saved.
    static QList<Person *> insertPeople(platform::store::ManagedObjectContext *context, VCardAddressBookBridge *bridge,
                                        const QList<platform::contacts::ContactRecord> &cards, bool isPrivate);
};
