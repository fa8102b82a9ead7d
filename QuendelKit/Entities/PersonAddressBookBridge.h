#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <QVariant>

#include <memory>
#include <optional>

class Emails;
class Person;
class PersonAddress;
class PersonWebsite;
class Phones;

// Names of the address-book properties a contact's fields are written to.
namespace address_book {
inline const QString FirstNameProperty = QStringLiteral("First");
inline const QString LastNameProperty = QStringLiteral("Last");
inline const QString MiddleNameProperty = QStringLiteral("Middle");
inline const QString OrganizationProperty = QStringLiteral("Organization");
inline const QString TitleProperty = QStringLiteral("Title");
inline const QString SuffixProperty = QStringLiteral("Suffix");
inline const QString BirthdayProperty = QStringLiteral("Birthday");
inline const QString NoteProperty = QStringLiteral("Note");

// Keys of one address entry of an address-book record.
inline const QString AddressStreetKey = QStringLiteral("Street");
inline const QString AddressCityKey = QStringLiteral("City");
inline const QString AddressStateKey = QStringLiteral("State");
inline const QString AddressZIPKey = QStringLiteral("ZIP");
inline const QString AddressCountryKey = QStringLiteral("Country");
inline const QString AddressCountryCodeKey = QStringLiteral("CountryCode");
} // namespace address_book

// The link between the kit's contacts and the system address book. The kit calls it for every write that a
// linked contact mirrors (a detail added, changed, relabelled or deleted; a name, note or other field
// changed) and for what it reads of the linked record. The application installs the real bridge once the
// address book exists; until then the default links nothing and writes nothing: every write answers false and
// every contact counts as unlinked.
class PersonAddressBookBridge
{
public:
    enum class DetailKind { Phone, Email, Website, Address };

    // One entry of a multi-value of the linked record: its label as the address book shows it, its value
    // (for an address, the joined text of its fields) and its identifier.
    struct Entry
    {
        QString label;
        QString value;
        QString identifier;
    };

    virtual ~PersonAddressBookBridge() = default;

    // The installed bridge, or the default that does nothing.
    static PersonAddressBookBridge &shared();
    // Null goes back to the default.
    static void install(std::shared_ptr<PersonAddressBookBridge> bridge);

    // The identifier of the linked record; null when the contact is not linked.
    virtual QString macUniqueIdentifier(const Person &) { return QString(); }
    virtual void setMacUniqueIdentifier(Person &, const QString &) {}
    // The entries of the linked record's multi-value of that kind; none when there is no linked record.
    virtual std::optional<QList<Entry>> multiValueEntries(const Person &, DetailKind) { return std::nullopt; }
    // The names of the address-book groups that hold the linked record.
    virtual QStringList loadPublicGroupsListWithNamesForContact(const Person &) { return {}; }
    // The unique identifiers of those groups (collection folders left out).
    virtual QStringList loadPublicGroupsListForContact(const Person &) { return {}; }

    virtual bool addPersonPhoneToAddressBook(Person &, Phones &) { return false; }
    virtual bool deletePersonPhoneFromAddressBook(Person &, Phones &) { return false; }
    virtual bool updatePersonPhoneInAddressBook(Person &, Phones &, const QString &) { return false; }
    virtual bool updatePhoneLabelInAddressBook(Person &, Phones &, const QString &) { return false; }
    virtual bool addPersonEmailToAddressBook(Person &, Emails &) { return false; }
    virtual bool deletePersonEmailFromAddressBook(Person &, Emails &) { return false; }
    virtual bool updatePersonEmailInAddressBook(Person &, Emails &, const QString &) { return false; }
    virtual bool updateEmailLabelInAddressBook(Person &, Emails &, const QString &) { return false; }
    virtual bool addPersonAddressToAddressBook(Person &, PersonAddress &) { return false; }
    virtual bool deletePersonAddressFromAddressBook(Person &, PersonAddress &) { return false; }
    virtual bool updatePersonAddressInAddressBook(Person &, PersonAddress &, const QString &) { return false; }
    virtual bool updatePersonAddressLabelInAddressBook(Person &, PersonAddress &, const QString &) { return false; }
    virtual bool addPersonWebsiteToAddressBook(Person &, PersonWebsite &) { return false; }
    virtual bool deletePersonWebsiteFromAddressBook(Person &, PersonWebsite &) { return false; }
    virtual bool updatePersonWebsiteInAddressBook(Person &, PersonWebsite &, const QString &) { return false; }
    virtual bool updatePersonWebsiteLabelInAddressBook(Person &, PersonWebsite &, const QString &) { return false; }

    // A name part (one of the properties above), a note or another field of the linked record: set, or
    // removed when the value is null or empty. The address book is saved.
    virtual bool setRecordProperty(Person &, const QString &, const QVariant &) { return false; }

    // Creates a record in the address book from the contact and links the contact to it.
    virtual bool createABPersonRecord(Person &, bool, bool) { return false; }
};
