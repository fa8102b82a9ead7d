#pragma once

#include "QuendelKit/Entities/PersonAddressBookBridge.h"
#include "QuendelKit/Settings/SettingsServices.h"

#include "platform/contacts/AddressBook.h"

#include <QByteArray>

#include <memory>
#include <optional>

class Emails;
class NSManagedObjectQDBase;
class Phones;

namespace platform::store {
class ManagedObjectContext;
}

// The link between the journal's contacts and the user's address book folder: lookup and linking of a
// contact's record, import of a record into a contact, reconciliation of phones, e-mails, addresses and
// web addresses, write-back of every edit, record creation and privacy, and the custom hash that
// recognises one person on both sides.
class VCardAddressBookBridge : public PersonAddressBookBridge
{
public:
    using Record = platform::contacts::ContactRecord;
    using SearchElement = platform::contacts::SearchElement;

    explicit VCardAddressBookBridge(std::shared_ptr<platform::contacts::AddressBook> book);
    std::shared_ptr<platform::contacts::AddressBook> addressBook() const { return m_book; }

    // Installs a bridge over `book` as the kit's bridge and as the settings object's contacts bridge.
    static std::shared_ptr<VCardAddressBookBridge> installFor(std::shared_ptr<platform::contacts::AddressBook> book);
    // The installed bridge of this kind, or null.
    static std::shared_ptr<VCardAddressBookBridge> installed();

    // ---- Lookup and linking
    QString macUniqueIdentifier(const Person &person) override;
    void setMacUniqueIdentifier(Person &person, const QString &identifier) override;
    // The linked record, looked up (and linked) on first use.
    std::optional<Record> abRecordPerson(Person &person);
    std::optional<Record> findRecordByName(Person &person);
    void loadRecordID(Person &person);
    void loadImageRecord(Person &person);
    void findABRecordIdentifier(Person &person);
    void linkABRecordIdentifier(Person &person);
    static QList<SearchElement> getSearchPropertiesForName(const Person &person);
    static QList<SearchElement> getSearchElementsForPhones(const Person &person);
    static QList<SearchElement> getSearchElementsForEmails(const Person &person);
    static QList<SearchElement> getSearchElementsForWebsites(const Person &person);
    static SearchElement searchForCompanies();
    static bool isRecordFromCompany(const Record &record);

    // ---- Hashes
    // FNV-1a 64 over the UTF-16 code units; the empty and the null text hash to 0.
    static quint64 textHash(const QString &text);
    static quint64 customHashForPerson(const Person &person);
    static quint64 customHashForABRecord(const Record &record);

    // ---- Import and change check
    bool updatePersonWithABRecord(Person &person, const std::optional<Record> &record);
    void setupCommonPropertiesWithRecord(Person &person, const Record &record);
    static bool shouldCreatePersonInfo(const std::optional<Record> &record);
    bool checkAndUpdateContactInfo(Person &person);

    // ---- Multi-values from the record (kind: Phone, Email, Website, Address)
    void setupDetails(Person &person, const Record &record, DetailKind kind);
    bool updateDetailsOnFile(Person &person, const Record &record, DetailKind kind);

    // ---- Record creation, removal, privacy and the picture
    bool createABPersonRecord(Person &person, bool isNewContact, bool saveContext) override;
    void populateRecordWithPersonData(Person &person, Record &record);
    bool convertContactToPrivate(Person &person);
    bool convertContactToPublic(Person &person);
    void deleteRecordFromAddressBook(Person &person);
    bool updateContactImage(Person &person, const QByteArray &image, bool isInCreateContact);

    // ---- Matching by display name through the contact store (the contact's contactIdentifier)
    // The store's contact for a contact without an identifier: by display name, then narrowed by the
    // hash, the name fields and the details; contacts chosen on the wider roads enter the de-duplication
    // set that later matches avoid.
    std::optional<Record> findContactRecordByDisplayName(Person &person);
    std::optional<Record> findContactByHashes(const Person &person, const QList<Record> &contacts) const;
    QList<Record> filterMatchingContactsList(const Person &person, const QList<Record> &contacts,
                                             const QString &name) const;
    // Whether a contact's text (a property name of the record) equals the contact's at a key path;
    // two empty texts are equal.
    static bool matchContact(const Record &contact, const QString &property, const Person &person,
                             const QString &personKeyPath);
    std::optional<Record> filterMatchingContactsListByRecordDetails(const Person &person,
                                                                    const QList<Record> &contacts) const;
    static bool contactPhonesMatchSavedPhones(const Record &contact, const QList<Phones *> &phones);
    static bool contactEmailsMatchSavedEmails(const Record &contact, const QList<Emails *> &emails);
    // The full name the store shows for a contact (its company's name for a company).
    static QString formattedFullName(const Record &contact);

    // ---- Import and refresh from the contact store
    // Refresh results.
    enum RefreshResult { RefreshNothing = 0, RefreshChanged = 1, RefreshDetailsAddedOrRemoved = 2,
                         RefreshPictureOnly = 3, RefreshNoIdentifier = 4 };
    Person *makeNewPersonWithContact(const Record &contact, bool isPrivate, platform::store::ManagedObjectContext *context);
    bool updatePersonWithContact(Person &person, const Record &contact);
    void setupCommonPropertiesWithContact(Person &person, const Record &contact);
    // The string rule of the name parts and the note: an emptied value is taken too.
    static bool checkAndUpdateStringProperty(Person &person, const QString &attribute, const Record &contact,
                                             const QString &property);
    static bool shouldCreatePersonInfoWithContact(const std::optional<Record> &contact);
    static bool doesPersonInfoHaveData(const Person &person);
    // A year before 1900 counts as no year.
    static platform::contacts::PartialDate relevantBirthdayDateComponentsFromComponent(
        const platform::contacts::PartialDate &components);
    // The refresh's birthday rule: a changed or removed birthday is taken, a new one is not added.
    static bool checkUpdateBirthdayPropertyWithContactDateComponent(
        Person &person, const std::optional<platform::contacts::PartialDate> &components);
    int checkAndUpdateContactRecordWithImageCheck(Person &person, bool imageCheck);
    void loadReferenceImageForContactFramework(Person &person);
    static QByteArray thumbnailImageForContact(const Record &contact) { return contact.thumbnailImageData(); }
    static QByteArray fullImageForContact(const Record &contact) { return contact.imageData(); }

    // ---- Detail lists from a store contact: first import, and reconciliation answering 0 (nothing
    // changed), 1 (an entry changed in place) or 2 (entries created or deleted)
    void setupDetailsForContact(Person &person, const Record &contact, DetailKind kind);
    int updateDetailsForContact(Person &person, const Record &contact, DetailKind kind);
    // Street, city, state, postal code and country, the nonempty ones joined by ", ", each line break one
    // blank.
    static QString makeAddressStringFromPostalAddress(const QVariantMap &address);

    // ---- A new store contact filled from a contact (nothing saved, the contact unchanged)
    static void populatePersonDataIntoMutableContact(Person &person, Record &contact);

    // ---- What the kit asks of the linked record
    std::optional<QList<Entry>> multiValueEntries(const Person &person, DetailKind kind) override;
    QStringList loadPublicGroupsListWithNamesForContact(const Person &person) override;
    QStringList loadPublicGroupsListForContact(const Person &person) override;

    // ---- Write-back of edits
    bool addPersonPhoneToAddressBook(Person &, Phones &) override;
    bool deletePersonPhoneFromAddressBook(Person &, Phones &) override;
    bool updatePersonPhoneInAddressBook(Person &, Phones &, const QString &) override;
    bool updatePhoneLabelInAddressBook(Person &, Phones &, const QString &) override;
    bool addPersonEmailToAddressBook(Person &, Emails &) override;
    bool deletePersonEmailFromAddressBook(Person &, Emails &) override;
    bool updatePersonEmailInAddressBook(Person &, Emails &, const QString &) override;
    bool updateEmailLabelInAddressBook(Person &, Emails &, const QString &) override;
    bool addPersonAddressToAddressBook(Person &, PersonAddress &) override;
    bool deletePersonAddressFromAddressBook(Person &, PersonAddress &) override;
    bool updatePersonAddressInAddressBook(Person &, PersonAddress &, const QString &) override;
    bool updatePersonAddressLabelInAddressBook(Person &, PersonAddress &, const QString &) override;
    bool addPersonWebsiteToAddressBook(Person &, PersonWebsite &) override;
    bool deletePersonWebsiteFromAddressBook(Person &, PersonWebsite &) override;
    bool updatePersonWebsiteInAddressBook(Person &, PersonWebsite &, const QString &) override;
    bool updatePersonWebsiteLabelInAddressBook(Person &, PersonWebsite &, const QString &) override;
    bool setRecordProperty(Person &, const QString &, const QVariant &) override;

private:
    std::optional<Record> recordFor(const Person &person) const;
    bool saveBook(const QString &what);
    bool addDetail(Person &person, NSManagedObjectQDBase &detail, DetailKind kind);
    bool deleteDetail(Person &person, NSManagedObjectQDBase &detail, DetailKind kind);
    bool changeDetailValue(Person &person, NSManagedObjectQDBase &detail, DetailKind kind, const QString &previous);
    bool changeDetailLabel(Person &person, NSManagedObjectQDBase &detail, DetailKind kind, const QString &previous);

    std::shared_ptr<platform::contacts::AddressBook> m_book;
};

// What the settings object asks of the address book: counts, the hash map and lookups by identifier.
class VCardSettingsContactsBridge : public SettingsContactsBridge
{
public:
    explicit VCardSettingsContactsBridge(std::shared_ptr<platform::contacts::AddressBook> book) : m_book(std::move(book)) {}
    bool isContactsAccessAuthorized() const override { return true; }
    qint64 addressBookPeopleCount() override;
    QList<QPair<quint64, QString>> addressBookHashes() override;
    QVariantList addressBookPeopleWithUniqueID(const QString &uniqueID) override;

private:
    std::shared_ptr<platform::contacts::AddressBook> m_book;
};
