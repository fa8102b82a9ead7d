#pragma once

#include "QuendelKit/Entities/PersonAddressBookBridge.h"
#include "QuendelKit/Settings/SettingsServices.h"

#include "platform/contacts/AddressBook.h"

#include <QByteArray>

#include <memory>
#include <optional>

class NSManagedObjectQDBase;

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
