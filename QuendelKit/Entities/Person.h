#pragma once

#include "QuendelKit/Entities/ContactInfoRow.h"
#include "QuendelKit/Entities/NSManagedObjectQDBase.h"

#include "platform/store/FetchRequest.h"

#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>
#include <QVariant>

#include <atomic>
#include <mutex>
#include <optional>

class Emails;
class FileAttachments;
class FormFields;
class FormFieldsList;
class Log;
class PersonAddress;
class PersonDate;
class PersonImage;
class PersonInfo;
class PersonRelationships;
class PersonSocial;
class PersonWebsite;
class Phones;
class PrivateGroups;
class ToDo;
class UserFields;

// A contact: a person or a company, with its name parts, derived names, details and journal.
class Person : public NSManagedObjectQDBase
{
public:
    static inline const QString EntityName = QStringLiteral("Person");

    // A new request for every record of the entity: no predicate, order or limit.
    static platform::store::FetchRequest fetchRequest();

    // ---- Identity, derived names and lifecycle (Person+Names.cpp) ----
    // setFirstName and setLastName also store the display name made from the new parts; setDisplayName also
    // stores the normalised sorting name, and setNormalizedDisplayName the list section derived from it.

    // Data-plist settings the names follow: display order 0 first name first, 1 last name first; sort order 0
    // by first name, 1 by last name, 2 by display name with the list sectioned by company.
    static inline const QString DisplayOrderSettingKey = QStringLiteral("display_setting_displayOrder");
    static inline const QString SortOrderSettingKey = QStringLiteral("display_setting_sortOrder");
    static constexpr qint64 SortByDisplayNameInCompanies = 2;
    static inline const QString NoNameText = QStringLiteral("No Name");
    // The section of names that do not begin with a plain capital letter, and the sorting name of last resort.
    static inline const QString OtherSection = QStringLiteral("#");

    // A new identity: an upper-case UUID with hyphens.
    static QString makePersonGUID();
    // The first contact with exactly this guid; null when there is none or the fetch fails.
    static Person *getContactByGUID(const QString &guid, platform::store::ManagedObjectContext *context);

    // The names the current settings give; neither changes anything.
    QString makeDisplayName() const;
    QString makeSortingName() const;
    // Stores the display name only when it differs from the stored one.
    void remakeDisplayName();
    // Stores the normalised sorting name (and its section) always.
    void remakeSortingName();

    // The first e-mail address, kept once found.
    QString primaryEmail() const;
    void setPrimaryEmail(const QString &email);

    // The linked system contact's identifier, read once from the settings object's identifier cache; a saved
    // contact's new value is written back to that cache (null removes its entries).
    QString contactIdentifier() const;
    void setContactIdentifier(const QString &identifier);
    // The key a contact is known by outside the store: its system-contacts identifier where a contacts store
    // is available, else its address-book identifier.
    QString personReferenceKey() const;

    // A new contact in `context` with this contact's attributes, further fields, phones, e-mails and
    // addresses, and a guid of its own.
    Person *cloneObjectWithContext(platform::store::ManagedObjectContext *context) const;
    // Forgets the contact in the settings object's identifier caches and in the picture cache.
    void cleanupReferences();

    QString firstName() const;
    void setFirstName(const QString &value);
    QString lastName() const;
    void setLastName(const QString &value);
    QString prefixName() const;
    void setPrefixName(const QString &value);
    QString suffixName() const;
    void setSuffixName(const QString &value);
    QString companyName() const;
    void setCompanyName(const QString &value);
    QString compositeName() const;
    void setCompositeName(const QString &value);
    QString displayName() const;
    void setDisplayName(const QString &value);
    QString normalizedDisplayName() const;
    void setNormalizedDisplayName(const QString &value);
    QString normalizedSectionLetter() const;
    void setNormalizedSectionLetter(const QString &value);
    QString sectionLetter() const;
    void setSectionLetter(const QString &value);
    QString normalizedCompanyName() const;
    void setNormalizedCompanyName(const QString &value);
    QString notesField() const;
    void setNotesField(const QString &value);
    QString guid() const;
    void setGuid(const QString &value);
    bool isContactPrivate() const;
    void setIsContactPrivate(bool value);
    QString localIdentifier() const;
    void setLocalIdentifier(const QString &value);
    QVariant privateImage() const;
    void setPrivateImage(const QVariant &value);
    QDateTime recordAddedDate() const;
    void setRecordAddedDate(const QDateTime &value);
    QDateTime recordModifiedDate() const;
    void setRecordModifiedDate(const QDateTime &value);
    qint64 flags() const;
    void setFlags(qint64 value);
    qint64 personFlags() const;
    void setPersonFlags(qint64 value);

    PersonInfo *personinfo() const;
    void setPersoninfo(PersonInfo *object);
    PersonImage *fullimage() const;
    void setFullimage(PersonImage *object);
    QList<Emails *> emails() const;
    void setEmails(const QList<Emails *> &objects);
    void addEmailsObject(Emails *object);
    void removeEmailsObject(Emails *object);
    QList<Phones *> phones() const;
    void setPhones(const QList<Phones *> &objects);
    void addPhonesObject(Phones *object);
    void removePhonesObject(Phones *object);
    QList<PersonAddress *> addresses() const;
    void setAddresses(const QList<PersonAddress *> &objects);
    void addAddressesObject(PersonAddress *object);
    void removeAddressesObject(PersonAddress *object);
    QList<PersonWebsite *> websites() const;
    void setWebsites(const QList<PersonWebsite *> &objects);
    void addWebsitesObject(PersonWebsite *object);
    void removeWebsitesObject(PersonWebsite *object);
    QList<PersonDate *> personDates() const;
    void setPersonDates(const QList<PersonDate *> &objects);
    void addPersonDatesObject(PersonDate *object);
    void removePersonDatesObject(PersonDate *object);
    QList<PersonSocial *> socialLinks() const;
    void setSocialLinks(const QList<PersonSocial *> &objects);
    void addSocialLinksObject(PersonSocial *object);
    void removeSocialLinksObject(PersonSocial *object);
    QList<PersonRelationships *> relationships() const;
    void setRelationships(const QList<PersonRelationships *> &objects);
    void addRelationshipsObject(PersonRelationships *object);
    void removeRelationshipsObject(PersonRelationships *object);
    QList<UserFields *> userfields() const;
    void setUserfields(const QList<UserFields *> &objects);
    void addUserfieldsObject(UserFields *object);
    void removeUserfieldsObject(UserFields *object);
    QList<Log *> logs() const;
    void setLogs(const QList<Log *> &objects);
    void addLogsObject(Log *object);
    void removeLogsObject(Log *object);
    QList<ToDo *> todos() const;
    void setTodos(const QList<ToDo *> &objects);
    void addTodosObject(ToDo *object);
    void removeTodosObject(ToDo *object);
    QList<FileAttachments *> attachments() const;
    void setAttachments(const QList<FileAttachments *> &objects);
    void addAttachmentsObject(FileAttachments *object);
    void removeAttachmentsObject(FileAttachments *object);
    QList<PrivateGroups *> privategroup() const;
    void setPrivategroup(const QList<PrivateGroups *> &objects);
    void addPrivategroupObject(PrivateGroups *object);
    void removePrivategroupObject(PrivateGroups *object);
    QList<ToDo *> completedtodos() const;
    void setCompletedtodos(const QList<ToDo *> &objects);
    void addCompletedtodosObject(ToDo *object);
    void removeCompletedtodosObject(ToDo *object);

    // ---- Details: the Info page's rows, adding details, optional fields, the address-book link
    // (Person+Details.cpp). Each runs on the queue of the contact's context.

    // Appends the Info page's sections and rows: "Phones", "Emails", "Addresses", "URLs" (each when it has
    // details not deleted elsewhere, oldest first), "Groups", "Notes", and "Other Info" when a field is set.
    void addContactDetailsInfoToDictionary(ContactInfoDictionary &dictionary, QStringList &sortedKeys);
    // The group row of one kind takes the names of the groups the contact is in now.
    void updateContactDictionaryForGroupChanges(ContactInfoDictionary &dictionary, bool isPrivate) const;
    // The private groups holding the contact, by display order.
    QStringList privateGroupNames() const;
    QStringList loadGroupsListFromContacts() const;
    QStringList loadPublicGroupsListForContact() const;

    // A new detail of this contact in `context` (created now), added to the linked record of a public
    // contact; nothing is saved.
    Phones *addPhoneNumberWithNumber(const QString &number, const QString &label,
                                     platform::store::ManagedObjectContext *context);
    Emails *addEmailWithEmail(const QString &email, const QString &label, platform::store::ManagedObjectContext *context);
    PersonWebsite *addWebsiteWithURLString(const QString &url, const QString &label,
                                           platform::store::ManagedObjectContext *context);
    // The text goes under the field key ("street", "city", "state", "zip" or "country").
    PersonAddress *addAddressWithText(const QString &text, const QString &fieldKey, const QString &label,
                                      const QString &defaultCountry, platform::store::ManagedObjectContext *context);

    // The writes to the linked address-book record (PersonAddressBookBridge); true when written.
    bool addPersonPhoneToAddressBook(Phones *phone);
    bool deletePersonPhoneFromAddressBook(Phones *phone);
    bool updatePersonPhoneInAddressBook(Phones *phone, const QString &existingValue);
    bool updatePhoneLabelInAddressBook(Phones *phone, const QString &existingLabel);
    bool addPersonEmailToAddressBook(Emails *email);
    bool deletePersonEmailFromAddressBook(Emails *email);
    bool updatePersonEmailInAddressBook(Emails *email, const QString &existingValue);
    bool updateEmailLabelInAddressBook(Emails *email, const QString &existingLabel);
    bool addPersonAddressToAddressBook(PersonAddress *address);
    bool deletePersonAddressFromAddressBook(PersonAddress *address);
    // Also discards the address's position, so it is geocoded again.
    bool updatePersonAddressInAddressBook(PersonAddress *address, const QString &fieldKey);
    bool updatePersonAddressLabelInAddressBook(PersonAddress *address, const QString &existingLabel);
    bool addPersonWebsiteToAddressBook(PersonWebsite *website);
    bool deletePersonWebsiteFromAddressBook(PersonWebsite *website);
    bool updatePersonWebsiteInAddressBook(PersonWebsite *website, const QString &existingValue);
    bool updatePersonWebsiteInAddressBookWithExistingLabel(PersonWebsite *website, const QString &existingLabel);
    QString macUniqueIdentifier() const;
    void setMacUniqueIdentifier(const QString &identifier);
    bool createABPersonRecordWithIsNewContact(bool isNewContact, bool saveContext);

    // The optional fields the Info page offers ("prefixName", "suffixName", "notesField",
    // "personinfo.birthday", "personinfo.departmentName", "personinfo.jobDescription", "personinfo.middleName",
    // "personinfo.nickname"), their titles both ways, and those without a value yet.
    static QStringList supportedPersonFieldKeys();
    static QString descriptionForKey(const QString &keyPath);
    static QString infoKeyForDescription(const QString &description);
    QStringList fieldNotAddedToPerson() const;
    QVariant valueForFieldKeyPath(const QString &keyPath) const;
    void setNewFieldForKey(const QString &keyPath);
    void setBirthdayFieldWithDate(const QDateTime &date);
    void updateContactDictionaryWithOtherKey(const QString &keyPath, ContactInfoDictionary &dictionary,
                                             QStringList &sortedKeys);
    void updateOtherFieldsWithValue(const QVariant &value, const QString &keyPath);
    void updateNotesFieldWithText(const QString &text);
    void updateNameFieldWithKey(const QString &property, const QString &value);
    // Names a new contact, gives it a guid when it has none, and links a public one to a new address-book
    // record; saves the context when asked (false when that save fails).
    bool savingNewPersonRecordWithSaveContext(bool saveContext, platform::core::QDError *error = nullptr);

    // Fetches.
    static QList<Person *> getAllContactsInDBWithMOC(platform::store::ManagedObjectContext *context);
    static QList<Person *> getAllPersonsWithContext(platform::store::ManagedObjectContext *context);
    static qint64 countForAllPersonsWithContext(platform::store::ManagedObjectContext *context);
    static QList<Person *> getAllNonPrivatePersonsWithContext(platform::store::ManagedObjectContext *context);

    // Exports of one contact (Person+Exports.cpp), each appended to the caller's text: an HTML block for an
    // e-mail body (values escaped), one CSV row for the given custom fields (with `mailingType` e-mails,
    // phones and addresses take two columns each), and a plain-text card that replaces the text.
    void addPersonDataToEmailBody(QString &body) const;
    void addPersonToCSVBody(QString &body, const QList<FormFields *> &allFields, bool mailingType) const;
    void addPersonInfoToMutableString(QString &text) const;
    // Gives the contact the "Pin Color" choice (making its value when it has none) and saves the context;
    // true when an existing value was changed, false when one was made. A failed save is only logged.
    bool updateWithPinColorListItem(FormFieldsList *item);
    // The text without any white space or line break.
    static QString normalizedStringFromNumberForReporting(const QString &number);

    // Kept on the object only, read and written from any thread: no system contact could be found for this
    // contact, so the address-book bridge does not search again.
    bool dontReloadRecord() const { return m_dontReloadRecord.load(); }
    void setDontReloadRecord(bool dontReload) { m_dontReloadRecord.store(dontReload); }

    // The address-book link kept on the object for its life in memory (the bridge reads and writes them):
    // the cached record identifier (nullopt: not looked up yet) and the picture shown for the contact.
    std::optional<QString> macUniqueIdentifierCache() const;
    void setMacUniqueIdentifierCache(const std::optional<QString> &identifier);
    QByteArray personImage() const;
    void setPersonImage(const QByteArray &image);

private:
    std::atomic<bool> m_dontReloadRecord{false};
    mutable std::mutex m_linkMutex;
    std::optional<QString> m_macUniqueIdentifierCache;
    QByteArray m_personImage;
    mutable QString m_primaryEmail;
    mutable QString m_contactIdentifier;

protected:
    // A contact made in a root context gets its guid at once (not in a whole-store copy, which keeps the
    // copied one).
    void awakeFromInsert() override;
    // Logs the deletion and clears the caches that refer to the contact.
    void prepareForDeletion() override;
};
