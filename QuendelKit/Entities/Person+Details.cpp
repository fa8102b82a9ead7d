// The contact's details as its page shows and edits them: the Info rows, new details, the optional fields,
// the writes to the linked address-book record, and the fetches of sets of contacts.

#include "QuendelKit/Entities/ContactDetailSupport.h"
#include "QuendelKit/Entities/Emails.h"
#include "QuendelKit/Entities/EntityValues.h"
#include "QuendelKit/Entities/Person.h"
#include "QuendelKit/Entities/PersonAddress.h"
#include "QuendelKit/Entities/PersonAddressBookBridge.h"
#include "QuendelKit/Entities/PersonInfo.h"
#include "QuendelKit/Entities/PersonWebsite.h"
#include "QuendelKit/Entities/Phones.h"
#include "QuendelKit/Entities/PrivateGroups.h"
#include "QuendelKit/Infra/QDLog.h"
#include "QuendelKit/Settings/DataPlistValues.h"

#include "platform/core/Clock.h"
#include "platform/store/SortDescriptor.h"

#include <QLocale>
#include <QUuid>

#include <algorithm>

using platform::store::ManagedObjectContext;
using platform::store::Predicate;
using platform::store::SortDescriptor;
using namespace contact_info;

namespace {

const QString PersonInfoPrefix = QStringLiteral("personinfo.");

// Details not marked as deleted on another device, oldest first.
template <typename T> QList<ContactInfoRowPtr> liveDetailRows(const QList<T *> &records)
{
    QList<T *> kept;
    for (T *record : records) {
        if (!record->cloudKitRemotelyDeleted())
            kept.append(record);
    }
    std::stable_sort(kept.begin(), kept.end(), [](T *a, T *b) {
        const QDateTime da = a->createdAt();
        const QDateTime db = b->createdAt();
        if (!da.isValid() || !db.isValid())
            return da.isValid() < db.isValid();
        return da < db;
    });
    QList<ContactInfoRowPtr> rows;
    for (T *record : kept)
        rows.append(ContactInfoRow::forRecord(record));
    return rows;
}

QString mediumDateText(const QDateTime &date)
{
    return QLocale().toString(date.toLocalTime().date(), QStringLiteral("MMM d, yyyy"));
}

QString namesOrNone(const QStringList &names)
{
    return names.isEmpty() ? QStringLiteral("None") : names.join(QStringLiteral(", "));
}

void performOn(const Person &person, const std::function<void()> &work)
{
    if (ManagedObjectContext *context = person.managedObjectContext())
        context->performAndWait(work);
    else
        work();
}

} // namespace

// ---- Info page rows

void Person::addContactDetailsInfoToDictionary(ContactInfoDictionary &dictionary, QStringList &sortedKeys)
{
    performOn(*this, [&] {
        const auto addSection = [&](const QString &key, const QList<ContactInfoRowPtr> &rows) {
            if (rows.isEmpty())
                return;
            dictionary.insert(key, rows);
            sortedKeys.append(key);
        };
        addSection(PhonesKey, liveDetailRows(phones()));
        addSection(EmailsKey, liveDetailRows(emails()));
        addSection(AddressesKey, liveDetailRows(addresses()));
        addSection(URLsKey, liveDetailRows(websites()));

        QList<ContactInfoRowPtr> groups;
        if (!isContactPrivate())
            groups.append(ContactInfoRow::entry(PublicGroupsKey, namesOrNone(loadGroupsListFromContacts())));
        groups.append(ContactInfoRow::entry(PrivateGroupsKey, namesOrNone(privateGroupNames())));
        dictionary.insert(GroupsKey, groups);
        sortedKeys.append(GroupsKey);

        dictionary.insert(NotesKey, {ContactInfoRow::entry(NotesKey, notesField().isEmpty() ? QString(QLatin1String(""))
                                                                                            : notesField())});
        sortedKeys.append(NotesKey);

        QList<ContactInfoRowPtr> other;
        if (PersonInfo *info = personinfo()) {
            if (info->birthday().isValid())
                other.append(ContactInfoRow::entry(BirthdayTitle, mediumDateText(info->birthday())));
            if (!info->jobDescription().isNull())
                other.append(ContactInfoRow::entry(QStringLiteral("Job Title"), info->jobDescription()));
            if (!info->departmentName().isNull())
                other.append(ContactInfoRow::entry(QStringLiteral("Department"), info->departmentName()));
            if (!info->nickname().isNull())
                other.append(ContactInfoRow::entry(QStringLiteral("Nickname"), info->nickname()));
        }
        if (!other.isEmpty()) {
            dictionary.insert(OtherInfoKey, other);
            sortedKeys.append(OtherInfoKey);
        }
    });
}

QStringList Person::privateGroupNames() const
{
    QList<PrivateGroups *> privateGroups = privategroup();
    std::stable_sort(privateGroups.begin(), privateGroups.end(), [](PrivateGroups *a, PrivateGroups *b) {
        return a->groupDisplayOrder() < b->groupDisplayOrder();
    });
    QStringList names;
    for (PrivateGroups *group : privateGroups)
        names.append(group->groupName());
    return names;
}

void Person::updateContactDictionaryForGroupChanges(ContactInfoDictionary &dictionary, bool isPrivate) const
{
    const QString key = isPrivate ? PrivateGroupsKey : PublicGroupsKey;
    performOn(*this, [&] {
        const QString text = namesOrNone(isPrivate ? privateGroupNames() : loadGroupsListFromContacts());
        for (const ContactInfoRowPtr &row : dictionary.value(GroupsKey)) {
            if (row && row->isEntry() && row->key == key)
                row->text = text;
        }
    });
}

QStringList Person::loadGroupsListFromContacts() const
{
    return PersonAddressBookBridge::shared().loadPublicGroupsListWithNamesForContact(*this);
}

QStringList Person::loadPublicGroupsListForContact() const
{
    return PersonAddressBookBridge::shared().loadPublicGroupsListForContact(*this);
}

// ---- New details

Phones *Person::addPhoneNumberWithNumber(const QString &number, const QString &label, ManagedObjectContext *context)
{
    Phones *phone = nullptr;
    if (!context)
        return nullptr;
    context->performAndWait([&] {
        phone = context->insertNewObject<Phones>(Phones::EntityName);
        if (!phone)
            return;
        phone->setCreatedAt(platform::core::Clock::now().toUTC());
        phone->setPerson(this);
        phone->setPhoneNumber(number);
        phone->setLabel(label);
        if (!isContactPrivate() && !addPersonPhoneToAddressBook(phone))
            QDLogInfo(QStringLiteral("AddressBook save didn't work - newPhone"));
    });
    return phone;
}

Emails *Person::addEmailWithEmail(const QString &email, const QString &label, ManagedObjectContext *context)
{
    Emails *record = nullptr;
    if (!context)
        return nullptr;
    context->performAndWait([&] {
        record = context->insertNewObject<Emails>(Emails::EntityName);
        if (!record)
            return;
        record->setCreatedAt(platform::core::Clock::now().toUTC());
        record->setPerson(this);
        record->setEmailAddress(email);
        record->setLabel(label);
        if (!isContactPrivate() && !addPersonEmailToAddressBook(record))
            QDLogInfo(QStringLiteral("AddressBook save didn't work - newEmail"));
    });
    return record;
}

PersonWebsite *Person::addWebsiteWithURLString(const QString &url, const QString &label, ManagedObjectContext *context)
{
    PersonWebsite *website = nullptr;
    if (!context)
        return nullptr;
    context->performAndWait([&] {
        website = context->insertNewObject<PersonWebsite>(PersonWebsite::EntityName);
        if (!website)
            return;
        website->setCreatedAt(platform::core::Clock::now().toUTC());
        website->setPerson(this);
        website->setWebsiteURL(url);
        website->setWebsiteLabel(label);
        if (!isContactPrivate() && !addPersonWebsiteToAddressBook(website))
            QDLogInfo(QStringLiteral("AddressBook save didn't work - newWebsite"));
    });
    return website;
}

PersonAddress *Person::addAddressWithText(const QString &text, const QString &fieldKey, const QString &label,
                                          const QString &defaultCountry, ManagedObjectContext *context)
{
    static const QStringList fieldKeys = {QStringLiteral("street"), QStringLiteral("city"), QStringLiteral("state"),
                                          QStringLiteral("zip"), QStringLiteral("country")};
    PersonAddress *address = nullptr;
    if (!context)
        return nullptr;
    context->performAndWait([&] {
        address = context->insertNewObject<PersonAddress>(PersonAddress::EntityName);
        if (!address)
            return;
        address->setCreatedAt(platform::core::Clock::now().toUTC());
        address->setPerson(this);
        address->setAddressLabel(label);
        address->setCountry(defaultCountry);
        if (fieldKeys.contains(fieldKey)) {
            if (fieldKey == QLatin1String("country"))
                address->setCountry(text);
            else
                address->setValue(fieldKey, text);
        }
        if (!isContactPrivate() && !addPersonAddressToAddressBook(address))
            QDLogInfo(QStringLiteral("AddressBook save didn't work - newAddress"));
    });
    return address;
}

// ---- Address-book writes

bool Person::addPersonPhoneToAddressBook(Phones *phone)
{
    return phone && PersonAddressBookBridge::shared().addPersonPhoneToAddressBook(*this, *phone);
}
bool Person::deletePersonPhoneFromAddressBook(Phones *phone)
{
    return phone && PersonAddressBookBridge::shared().deletePersonPhoneFromAddressBook(*this, *phone);
}
bool Person::updatePersonPhoneInAddressBook(Phones *phone, const QString &existingValue)
{
    return phone && PersonAddressBookBridge::shared().updatePersonPhoneInAddressBook(*this, *phone, existingValue);
}
bool Person::updatePhoneLabelInAddressBook(Phones *phone, const QString &existingLabel)
{
    return phone && PersonAddressBookBridge::shared().updatePhoneLabelInAddressBook(*this, *phone, existingLabel);
}
bool Person::addPersonEmailToAddressBook(Emails *email)
{
    return email && PersonAddressBookBridge::shared().addPersonEmailToAddressBook(*this, *email);
}
bool Person::deletePersonEmailFromAddressBook(Emails *email)
{
    return email && PersonAddressBookBridge::shared().deletePersonEmailFromAddressBook(*this, *email);
}
bool Person::updatePersonEmailInAddressBook(Emails *email, const QString &existingValue)
{
    return email && PersonAddressBookBridge::shared().updatePersonEmailInAddressBook(*this, *email, existingValue);
}
bool Person::updateEmailLabelInAddressBook(Emails *email, const QString &existingLabel)
{
    return email && PersonAddressBookBridge::shared().updateEmailLabelInAddressBook(*this, *email, existingLabel);
}
bool Person::addPersonAddressToAddressBook(PersonAddress *address)
{
    return address && PersonAddressBookBridge::shared().addPersonAddressToAddressBook(*this, *address);
}
bool Person::deletePersonAddressFromAddressBook(PersonAddress *address)
{
    return address && PersonAddressBookBridge::shared().deletePersonAddressFromAddressBook(*this, *address);
}
bool Person::updatePersonAddressInAddressBook(PersonAddress *address, const QString &fieldKey)
{
    if (!address)
        return false;
    bool written = false;
    if (contact_detail::isLinkedPublic(this)) {
        written = PersonAddressBookBridge::shared().updatePersonAddressInAddressBook(*this, *address, fieldKey);
        // A field that matched no entry of the linked record leaves the position alone.
        if (written)
            address->discardPosition();
    } else {
        address->discardPosition();
    }
    return written;
}
bool Person::updatePersonAddressLabelInAddressBook(PersonAddress *address, const QString &existingLabel)
{
    return address &&
           PersonAddressBookBridge::shared().updatePersonAddressLabelInAddressBook(*this, *address, existingLabel);
}
bool Person::addPersonWebsiteToAddressBook(PersonWebsite *website)
{
    return website && PersonAddressBookBridge::shared().addPersonWebsiteToAddressBook(*this, *website);
}
bool Person::deletePersonWebsiteFromAddressBook(PersonWebsite *website)
{
    return website && PersonAddressBookBridge::shared().deletePersonWebsiteFromAddressBook(*this, *website);
}
bool Person::updatePersonWebsiteInAddressBook(PersonWebsite *website, const QString &existingValue)
{
    return website &&
           PersonAddressBookBridge::shared().updatePersonWebsiteInAddressBook(*this, *website, existingValue);
}
bool Person::updatePersonWebsiteInAddressBookWithExistingLabel(PersonWebsite *website, const QString &existingLabel)
{
    return website &&
           PersonAddressBookBridge::shared().updatePersonWebsiteLabelInAddressBook(*this, *website, existingLabel);
}
QString Person::macUniqueIdentifier() const
{
    return PersonAddressBookBridge::shared().macUniqueIdentifier(*this);
}
void Person::setMacUniqueIdentifier(const QString &identifier)
{
    PersonAddressBookBridge::shared().setMacUniqueIdentifier(*this, identifier);
}
bool Person::createABPersonRecordWithIsNewContact(bool isNewContact, bool saveContext)
{
    return PersonAddressBookBridge::shared().createABPersonRecord(*this, isNewContact, saveContext);
}
std::optional<QString> Person::macUniqueIdentifierCache() const
{
    std::lock_guard lock(m_linkMutex);
    return m_macUniqueIdentifierCache;
}
void Person::setMacUniqueIdentifierCache(const std::optional<QString> &identifier)
{
    std::lock_guard lock(m_linkMutex);
    m_macUniqueIdentifierCache = identifier;
}
QByteArray Person::personImage() const
{
    std::lock_guard lock(m_linkMutex);
    return m_personImage;
}
void Person::setPersonImage(const QByteArray &image)
{
    std::lock_guard lock(m_linkMutex);
    m_personImage = image;
}

// ---- Optional fields

QStringList Person::supportedPersonFieldKeys()
{
    return {QStringLiteral("prefixName"),
            QStringLiteral("suffixName"),
            QStringLiteral("notesField"),
            QStringLiteral("personinfo.birthday"),
            QStringLiteral("personinfo.departmentName"),
            QStringLiteral("personinfo.jobDescription"),
            QStringLiteral("personinfo.middleName"),
            QStringLiteral("personinfo.nickname")};
}

namespace {
const QStringList &fieldDescriptions()
{
    static const QStringList titles = {QStringLiteral("Prefix"),      QStringLiteral("Suffix"),
                                       QStringLiteral("Notes"),       QStringLiteral("Birthday"),
                                       QStringLiteral("Department"),  QStringLiteral("Job Title"),
                                       QStringLiteral("Middle Name"), QStringLiteral("Nickname")};
    return titles;
}
} // namespace

QString Person::descriptionForKey(const QString &keyPath)
{
    const int index = supportedPersonFieldKeys().indexOf(keyPath);
    return index < 0 ? QString() : fieldDescriptions().at(index);
}

QString Person::infoKeyForDescription(const QString &description)
{
    const int index = fieldDescriptions().indexOf(description);
    return index < 0 ? QString() : supportedPersonFieldKeys().at(index);
}

QVariant Person::valueForFieldKeyPath(const QString &keyPath) const
{
    if (keyPath.startsWith(PersonInfoPrefix)) {
        PersonInfo *info = personinfo();
        return info ? info->value(keyPath.mid(PersonInfoPrefix.size())) : QVariant();
    }
    return value(keyPath);
}

QStringList Person::fieldNotAddedToPerson() const
{
    QStringList missing;
    performOn(*this, [&] {
        for (const QString &keyPath : supportedPersonFieldKeys()) {
            const QVariant current = valueForFieldKeyPath(keyPath);
            if (!current.isValid() || current.isNull() ||
                (current.typeId() == QMetaType::QString && current.toString().isEmpty()))
                missing.append(keyPath);
        }
    });
    return missing;
}

namespace {
PersonInfo *ensurePersonInfo(Person &person)
{
    if (PersonInfo *info = person.personinfo())
        return info;
    ManagedObjectContext *context = person.managedObjectContext();
    auto *info = context ? context->insertNewObject<PersonInfo>(PersonInfo::EntityName) : nullptr;
    if (info) {
        info->setPerson(&person);
        person.setPersoninfo(info);
    }
    return info;
}

void setFieldValue(Person &person, const QString &keyPath, const QVariant &value)
{
    if (keyPath.startsWith(PersonInfoPrefix)) {
        if (PersonInfo *info = ensurePersonInfo(person))
            info->setValue(keyPath.mid(PersonInfoPrefix.size()), value);
        return;
    }
    person.setValue(keyPath, value);
}
} // namespace

void Person::setNewFieldForKey(const QString &keyPath)
{
    performOn(*this, [&] { setFieldValue(*this, keyPath, QString(QLatin1String(""))); });
}

void Person::setBirthdayFieldWithDate(const QDateTime &date)
{
    performOn(*this,
              [&] { setFieldValue(*this, QStringLiteral("personinfo.birthday"), entity_values::fromDate(date)); });
}

void Person::updateContactDictionaryWithOtherKey(const QString &keyPath, ContactInfoDictionary &dictionary,
                                                 QStringList &sortedKeys)
{
    QString text;
    if (keyPath == QLatin1String("personinfo.birthday")) {
        // A missing birthday is no entry, not today's date.
        const QDateTime birthday = valueForFieldKeyPath(keyPath).toDateTime();
        if (!birthday.isValid())
            return;
        text = mediumDateText(birthday);
    } else {
        const QVariant stored = valueForFieldKeyPath(keyPath);
        if (!stored.isValid() || stored.isNull())
            return;
        text = stored.toString();
    }
    const QString label = descriptionForKey(keyPath);
    QList<ContactInfoRowPtr> rows = dictionary.value(OtherInfoKey);
    for (const ContactInfoRowPtr &row : rows) {
        if (row->key == label) {
            row->text = text;
            dictionary.insert(OtherInfoKey, rows);
            return;
        }
    }
    rows.append(ContactInfoRow::entry(label, text));
    if (rows.size() == 1 && !sortedKeys.contains(OtherInfoKey))
        sortedKeys.append(OtherInfoKey);
    dictionary.insert(OtherInfoKey, rows);
}

void Person::updateOtherFieldsWithValue(const QVariant &value, const QString &keyPath)
{
    setFieldValue(*this, keyPath, value);
    if (!contact_detail::isLinkedPublic(this))
        return;
    if (keyPath == QLatin1String("personinfo.birthday"))
        PersonAddressBookBridge::shared().setRecordProperty(*this, address_book::BirthdayProperty, value);
    else
        PersonAddressBookBridge::shared().setRecordProperty(*this, keyPath, value);
}

void Person::updateNotesFieldWithText(const QString &text)
{
    setNotesField(text);
    if (contact_detail::isLinkedPublic(this))
        PersonAddressBookBridge::shared().setRecordProperty(*this, address_book::NoteProperty, text);
}

void Person::updateNameFieldWithKey(const QString &property, const QString &value)
{
    QDLogInfo(QStringLiteral("updateNameField to call remakeDisplayName"));
    remakeDisplayName();
    if (property == address_book::OrganizationProperty &&
        dataPlistValues().integerValue(SortOrderSettingKey) == SortByDisplayNameInCompanies)
        remakeSortingName();
    if (contact_detail::isLinkedPublic(this))
        PersonAddressBookBridge::shared().setRecordProperty(*this, property, value);
}

bool Person::savingNewPersonRecordWithSaveContext(bool saveContext, platform::core::QDError *error)
{
    const QString name = makeDisplayName();
    if (name != displayName()) {
        setDisplayName(name);
        setCompositeName(name);
    }
    if (primitiveValue(QStringLiteral("guid")).toString().isEmpty())
        setGuid(makePersonGUID());
    // The contact is saved before its address-book record is made, so a failed save leaves no record behind.
    if (saveContext && managedObjectContext() && !managedObjectContext()->save(error))
        return false;
    if (!isContactPrivate())
        createABPersonRecordWithIsNewContact(true, saveContext);
    return true;
}

// ---- Fetches

QList<Person *> Person::getAllContactsInDBWithMOC(ManagedObjectContext *context)
{
    QList<Person *> result;
    if (!context)
        return result;
    context->performAndWait([&] {
        platform::store::FetchRequest request = fetchRequest();
        request.setSortDescriptors({SortDescriptor(QStringLiteral("normalizedSectionLetter"), true,
                                                   SortDescriptor::Comparator::LocalizedCaseInsensitive),
                                    SortDescriptor(QStringLiteral("normalizedDisplayName"), true,
                                                   SortDescriptor::Comparator::LocalizedCaseInsensitive)});
        platform::core::QDError error;
        for (platform::store::ManagedObject *object : context->executeFetchRequest(request, &error)) {
            if (auto *person = dynamic_cast<Person *>(object))
                result.append(person);
        }
    });
    return result;
}

QList<Person *> Person::getAllPersonsWithContext(ManagedObjectContext *context)
{
    QList<Person *> result;
    if (!context)
        return result;
    platform::store::FetchRequest request = fetchRequest();
    request.setIncludesPendingChanges(false);
    platform::core::QDError error;
    const QList<platform::store::ManagedObject *> found = context->executeFetchRequest(request, &error);
    if (!error.isNull())
        return result;
    for (platform::store::ManagedObject *object : found) {
        if (auto *person = dynamic_cast<Person *>(object))
            result.append(person);
    }
    return result;
}

qint64 Person::countForAllPersonsWithContext(ManagedObjectContext *context)
{
    if (!context)
        return 0;
    platform::store::FetchRequest request = fetchRequest();
    request.setIncludesPendingChanges(false);
    return context->countForFetchRequest(request);
}

QList<Person *> Person::getAllNonPrivatePersonsWithContext(ManagedObjectContext *context)
{
    QList<Person *> result;
    if (!context)
        return result;
    context->performAndWait([&] {
        QDLogInfo(QStringLiteral("getAllNonPrivatePersonsWithContext - going to fetch in backgroundContext"));
        platform::store::FetchRequest request = fetchRequest();
        request.setPredicate(Predicate::equal(QStringLiteral("isContactPrivate"), false));
        platform::core::QDError error;
        for (platform::store::ManagedObject *object : context->executeFetchRequest(request, &error)) {
            if (auto *person = dynamic_cast<Person *>(object))
                result.append(person);
        }
        QDLogInfo(QStringLiteral("getAllNonPrivatePersonsWithContext - fetched = %1 objects").arg(result.size()));
    });
    return result;
}
