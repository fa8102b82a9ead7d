#include "QuendelKit/AddressBook/VCardAddressBookBridge.h"

#include "QuendelKit/Entities/Emails.h"
#include "QuendelKit/Entities/Person.h"
#include "QuendelKit/Entities/PersonAddress.h"
#include "QuendelKit/Entities/PersonImage.h"
#include "QuendelKit/Entities/PersonInfo.h"
#include "QuendelKit/Entities/PersonWebsite.h"
#include "QuendelKit/Entities/Phones.h"
#include "QuendelKit/Infra/QDLog.h"
#include "QuendelKit/Settings/DataPlistValues.h"
#include "QuendelKit/Settings/SharedSettingController.h"

#include "platform/core/Clock.h"
#include "platform/store/ManagedObjectContext.h"

namespace ab = platform::contacts;
using platform::core::QDError;

namespace {

std::mutex installedMutex;
std::weak_ptr<VCardAddressBookBridge> installedBridge;

using DetailKind = PersonAddressBookBridge::DetailKind;

QString propertyFor(DetailKind kind)
{
    switch (kind) {
    case DetailKind::Phone: return ab::property::Phone;
    case DetailKind::Email: return ab::property::Email;
    case DetailKind::Website: return ab::property::URLs;
    case DetailKind::Address: return ab::property::Address;
    }
    return {};
}

QVariantMap withoutEmpty(const QVariantMap &map)
{
    QVariantMap out;
    for (auto it = map.cbegin(); it != map.cend(); ++it)
        if (!it.value().toString().isEmpty())
            out.insert(it.key(), it.value());
    return out;
}

// Uniform access to the four detail entities.
struct Detail
{
    DetailKind kind;
    NSManagedObjectQDBase *object;

    QString text() const
    {
        switch (kind) {
        case DetailKind::Phone: return static_cast<Phones *>(object)->phoneNumber();
        case DetailKind::Email: return static_cast<Emails *>(object)->emailAddress();
        case DetailKind::Website: return static_cast<PersonWebsite *>(object)->websiteURL();
        case DetailKind::Address: return static_cast<PersonAddress *>(object)->addressString();
        }
        return {};
    }
    // The value an entry of the record holds for it.
    QVariant entryValue() const
    {
        if (kind == DetailKind::Address)
            return withoutEmpty(static_cast<PersonAddress *>(object)->addressInDictionaryFormat());
        return text();
    }
    QString label() const
    {
        switch (kind) {
        case DetailKind::Phone: return static_cast<Phones *>(object)->label();
        case DetailKind::Email: return static_cast<Emails *>(object)->label();
        case DetailKind::Website: return static_cast<PersonWebsite *>(object)->websiteLabel();
        case DetailKind::Address: return static_cast<PersonAddress *>(object)->addressLabel();
        }
        return {};
    }
    void setLabel(const QString &label) const
    {
        switch (kind) {
        case DetailKind::Phone: static_cast<Phones *>(object)->setLabel(label); break;
        case DetailKind::Email: static_cast<Emails *>(object)->setLabel(label); break;
        case DetailKind::Website: static_cast<PersonWebsite *>(object)->setWebsiteLabel(label); break;
        case DetailKind::Address: static_cast<PersonAddress *>(object)->setAddressLabel(label); break;
        }
    }
    QString localIdentifier() const
    {
        switch (kind) {
        case DetailKind::Phone: return static_cast<Phones *>(object)->localIdentifier();
        case DetailKind::Email: return static_cast<Emails *>(object)->localIdentifier();
        case DetailKind::Website: return static_cast<PersonWebsite *>(object)->localIdentifier();
        case DetailKind::Address: return object->value(QStringLiteral("localIdentifier")).toString();
        }
        return {};
    }
    void setLocalIdentifier(const QString &identifier) const
    {
        switch (kind) {
        case DetailKind::Phone: static_cast<Phones *>(object)->setLocalIdentifier(identifier); break;
        case DetailKind::Email: static_cast<Emails *>(object)->setLocalIdentifier(identifier); break;
        case DetailKind::Website: static_cast<PersonWebsite *>(object)->setLocalIdentifier(identifier); break;
        case DetailKind::Address: object->setValue(QStringLiteral("localIdentifier"), identifier); break;
        }
    }
    // Value, label and identifier of an entry, as a reused or new detail takes them.
    void fill(const ab::MultiValueEntry &entry, const QString &label) const
    {
        switch (kind) {
        case DetailKind::Phone:
            static_cast<Phones *>(object)->updatePhoneWithPhoneNumber(entry.value.toString(), label, entry.identifier);
            break;
        case DetailKind::Email:
            static_cast<Emails *>(object)->updateEmailWithEmailAddress(entry.value.toString(), label, entry.identifier);
            break;
        case DetailKind::Website: {
            auto *site = static_cast<PersonWebsite *>(object);
            site->setWebsiteLabel(label);
            site->setWebsiteURL(entry.value.toString());
            site->setLocalIdentifier(entry.identifier);
            break;
        }
        case DetailKind::Address: {
            auto *address = static_cast<PersonAddress *>(object);
            fillAddress(address, entry.value.toMap(), entry.identifier);
            address->setAddressLabel(label);
            break;
        }
        }
    }
    static void fillAddress(PersonAddress *address, const QVariantMap &map, const QString &identifier)
    {
        address->setStreet(map.value(ab::address_key::Street).toString());
        address->setCity(map.value(ab::address_key::City).toString());
        address->setState(map.value(ab::address_key::State).toString());
        address->setZip(map.value(ab::address_key::ZIP).toString());
        address->setCountry(map.value(ab::address_key::Country).toString());
        address->setCountryCode(map.value(ab::address_key::CountryCode).toString());
        address->setValue(QStringLiteral("longitude"), 0.000001);
        address->setValue(QStringLiteral("latitude"), 0.000001);
        address->setValue(QStringLiteral("localIdentifier"), identifier);
    }
    // The text an entry's value is compared with.
    static QString entryText(DetailKind kind, const QVariant &value)
    {
        if (kind == DetailKind::Address)
            return PersonAddress::makeAddressStringFromRecord(value.toMap());
        return value.toString();
    }
};

QList<Detail> detailsOf(const Person &person, DetailKind kind)
{
    QList<Detail> out;
    switch (kind) {
    case DetailKind::Phone:
        for (Phones *p : person.phones())
            out << Detail{kind, p};
        break;
    case DetailKind::Email:
        for (Emails *e : person.emails())
            out << Detail{kind, e};
        break;
    case DetailKind::Website:
        for (PersonWebsite *w : person.websites())
            out << Detail{kind, w};
        break;
    case DetailKind::Address:
        for (PersonAddress *a : person.addresses())
            out << Detail{kind, a};
        break;
    }
    // A stable order: by object identifier, so the same details are matched the same way every time.
    std::stable_sort(out.begin(), out.end(), [](const Detail &a, const Detail &b) {
        return a.object->objectID().URIRepresentation().toString() < b.object->objectID().URIRepresentation().toString();
    });
    return out;
}

Detail createDetail(Person &person, DetailKind kind, const ab::MultiValueEntry &entry, const QString &label)
{
    platform::store::ManagedObjectContext *context = person.managedObjectContext();
    switch (kind) {
    case DetailKind::Phone: {
        Phones *p = Phones::createPhoneWithPhoneNumber(entry.value.toString(), label, entry.identifier, context);
        p->setPerson(&person);
        return {kind, p};
    }
    case DetailKind::Email: {
        Emails *e = Emails::createEmailWithEmailAddress(entry.value.toString(), label, entry.identifier, context);
        e->setPerson(&person);
        return {kind, e};
    }
    case DetailKind::Website:
        return {kind, PersonWebsite::createPersonWebsiteWithURL(entry.value.toString(), label, entry.identifier, &person)};
    case DetailKind::Address: {
        auto *address = context->insertNewObject<PersonAddress>(PersonAddress::EntityName);
        address->setAddressLabel(label);
        address->setPerson(&person);
        Detail::fillAddress(address, entry.value.toMap(), entry.identifier);
        QDLogInfo(QStringLiteral("Person_Mac: setupAddresses: address = %1, localID = %2")
                      .arg(address->addressString(), entry.identifier));
        return {kind, address};
    }
    }
    return {kind, nullptr};
}

// "None" and "" are one label; in an identifier match two labels without characters are one as well.
bool sameLabel(const QString &a, const QString &b, bool identifierMatch)
{
    if (identifierMatch && a.isEmpty() && b.isEmpty())
        return true;
    if (a.isNull() != b.isNull() && !(a == QLatin1String("None") || b == QLatin1String("None")))
        return false;
    if (a == b)
        return true;
    return (a == QLatin1String("None") && b.isEmpty() && !b.isNull()) ||
           (b == QLatin1String("None") && a.isEmpty() && !a.isNull());
}

QString digitsOnly(const QString &text)
{
    QString out;
    for (const QChar c : text)
        if (c.isDigit())
            out += c;
    return out;
}

QDateTime birthdayDate(const ab::PartialDate &date)
{
    // A birthday without a year keeps the year the address books of other programs use for "no year".
    return QDateTime(QDate(date.hasYear() ? date.year : 1604, date.month, date.day), QTime(12, 0), Qt::UTC);
}

std::optional<ab::PartialDate> partialDate(const QDateTime &date)
{
    if (!date.isValid())
        return std::nullopt;
    const QDate d = date.toUTC().date();
    return ab::PartialDate{d.year() == 1604 ? 0 : d.year(), d.month(), d.day()};
}

bool isTemporary(const Person &person)
{
    return person.objectID().isNull() || person.objectID().isTemporaryID();
}

} // namespace

// ---------------------------------------------------------------------------------------------------------

VCardAddressBookBridge::VCardAddressBookBridge(std::shared_ptr<ab::AddressBook> book) : m_book(std::move(book)) {}

std::shared_ptr<VCardAddressBookBridge> VCardAddressBookBridge::installFor(std::shared_ptr<ab::AddressBook> book)
{
    auto bridge = std::make_shared<VCardAddressBookBridge>(book);
    PersonAddressBookBridge::install(bridge);
    SharedSettingController::setContactsBridge(std::make_shared<VCardSettingsContactsBridge>(book));
    std::lock_guard lock(installedMutex);
    installedBridge = bridge;
    return bridge;
}

std::shared_ptr<VCardAddressBookBridge> VCardAddressBookBridge::installed()
{
    std::lock_guard lock(installedMutex);
    return installedBridge.lock();
}

std::optional<VCardAddressBookBridge::Record> VCardAddressBookBridge::recordFor(const Person &person) const
{
    const QString id = const_cast<VCardAddressBookBridge *>(this)->macUniqueIdentifier(person);
    if (id.isEmpty())
        return std::nullopt;
    return m_book->recordForUniqueId(id);
}

bool VCardAddressBookBridge::saveBook(const QString &what)
{
    if (!m_book->hasUnsavedChanges())
        return false;
    QDLogInfo(what + QStringLiteral(" - saving AddressBook"));
    QDError error;
    if (!m_book->save(&error)) {
        QDLogError(QStringLiteral("AddressBook error = %1").arg(error.localizedDescription()));
        m_book->revert();
        return false;
    }
    return true;
}

// ---- Lookup and linking

QString VCardAddressBookBridge::macUniqueIdentifier(const Person &person)
{
    if (const auto cached = person.macUniqueIdentifierCache(); cached && !cached->isNull())
        return *cached;
    if (isTemporary(person))
        return QString();
    const QString stored = SharedSettingController::sharedSettings().contactReferenceIDForObjectID(person.objectID());
    if (!stored.isEmpty())
        const_cast<Person &>(person).setMacUniqueIdentifierCache(stored);
    return stored.isEmpty() ? QString() : stored;
}

void VCardAddressBookBridge::setMacUniqueIdentifier(Person &person, const QString &identifier)
{
    person.setMacUniqueIdentifierCache(identifier.isEmpty() ? QString() : identifier);
    if (isTemporary(person))
        return;
    if (!identifier.isEmpty())
        SharedSettingController::sharedSettings().setContactReferenceID(identifier, person.objectID());
    else
        SharedSettingController::sharedSettings().cleanupContactReferenceIDWithObjectID(person.objectID());
}

std::optional<VCardAddressBookBridge::Record> VCardAddressBookBridge::abRecordPerson(Person &person)
{
    if (person.dontReloadRecord() || person.isContactPrivate() || isTemporary(person))
        return std::nullopt;
    const QString id = macUniqueIdentifier(person);
    if (!id.isEmpty())
        if (auto record = m_book->recordForUniqueId(id))
            return record;
    person.setMacUniqueIdentifierCache(QString());
    auto found = findRecordByName(person);
    if (found) {
        setMacUniqueIdentifier(person, found->uniqueId());
        loadImageRecord(person);
        return found;
    }
    setMacUniqueIdentifier(person, QString());
    person.setDontReloadRecord(true);
    return std::nullopt;
}

QList<ab::SearchElement> VCardAddressBookBridge::getSearchPropertiesForName(const Person &person)
{
    QList<SearchElement> elements;
    const QList<QPair<QString, QString>> parts = {{ab::property::LastName, person.lastName()},
                                                  {ab::property::FirstName, person.firstName()},
                                                  {ab::property::Title, person.prefixName()},
                                                  {ab::property::Suffix, person.suffixName()},
                                                  {ab::property::Organization, person.companyName()}};
    for (const auto &[property, value] : parts)
        if (!value.isNull())
            elements << SearchElement{property, value};
    return elements;
}

QList<ab::SearchElement> VCardAddressBookBridge::getSearchElementsForPhones(const Person &person)
{
    QList<SearchElement> elements;
    for (Phones *phone : person.phones())
        elements << SearchElement{ab::property::Phone, phone->phoneNumber()};
    return elements;
}

QList<ab::SearchElement> VCardAddressBookBridge::getSearchElementsForEmails(const Person &person)
{
    QList<SearchElement> elements;
    for (Emails *email : person.emails())
        elements << SearchElement{ab::property::Email, email->emailAddress()};
    return elements;
}

QList<ab::SearchElement> VCardAddressBookBridge::getSearchElementsForWebsites(const Person &person)
{
    QList<SearchElement> elements;
    for (PersonWebsite *site : person.websites())
        elements << SearchElement{ab::property::URLs, site->websiteURL()};
    return elements;
}

ab::SearchElement VCardAddressBookBridge::searchForCompanies()
{
    return SearchElement{ab::property::Flags, 1, SearchElement::BitsSet};
}

bool VCardAddressBookBridge::isRecordFromCompany(const Record &record)
{
    return (record.flags() & 7) == 1;
}

std::optional<VCardAddressBookBridge::Record> VCardAddressBookBridge::findRecordByName(Person &person)
{
    if (isTemporary(person))
        return std::nullopt;
    const QList<SearchElement> names = getSearchPropertiesForName(person);
    const QList<SearchElement> contactDetails = getSearchElementsForPhones(person) + getSearchElementsForEmails(person);
    if (!names.isEmpty()) {
        QList<Record> found = m_book->search(names);
        if (found.size() == 1)
            return found.first();
        if (found.size() >= 2 && !contactDetails.isEmpty())
            found = m_book->search(names + contactDetails);
        else if (found.isEmpty() && !contactDetails.isEmpty())
            found = m_book->search(contactDetails);
        if (found.size() == 1)
            return found.first();
    }
    const QVariant byHash = SharedSettingController::sharedSettings().abRecordFromAllHashesListWithPersonHash(
        customHashForPerson(person));
    if (!byHash.isValid())
        return std::nullopt;
    return m_book->recordForUniqueId(byHash.toString());
}

void VCardAddressBookBridge::loadRecordID(Person &person)
{
    if (abRecordPerson(person))
        return;
    const QString id = macUniqueIdentifier(person);
    if (person.isContactPrivate() || id.isEmpty())
        return;
    if (m_book->recordForUniqueId(id))
        return;
    person.setMacUniqueIdentifierCache(QString());
    if (auto found = findRecordByName(person)) {
        setMacUniqueIdentifier(person, found->uniqueId());
        loadImageRecord(person);
    } else {
        person.setDontReloadRecord(true);
    }
}

void VCardAddressBookBridge::loadImageRecord(Person &person)
{
    const QString id = person.macUniqueIdentifierCache().value_or(QString());
    if (!person.dontReloadRecord() && !person.isContactPrivate() && !id.isEmpty()) {
        if (auto record = m_book->recordForUniqueId(id); record && !record->imageData().isEmpty())
            person.setPersonImage(record->imageData());
        return;
    }
    // The default picture: the page draws its own when the contact has none.
    person.setPersonImage(QByteArray());
}

void VCardAddressBookBridge::findABRecordIdentifier(Person &person)
{
    QDLogInfo(QStringLiteral("start findABRecordIdentifier for %1").arg(person.displayName()));
    QList<SearchElement> elements = getSearchPropertiesForName(person) + getSearchElementsForPhones(person) +
                                    getSearchElementsForEmails(person) + getSearchElementsForWebsites(person);
    const QList<Record> found = m_book->search(elements);
    std::optional<Record> result;
    if (found.size() == 1) {
        result = found.first();
    } else if (found.size() > 1) {
        const quint64 hash = customHashForPerson(person);
        for (const Record &record : found) {
            if (customHashForABRecord(record) == hash) {
                QDLogInfo(QStringLiteral("found matching record with custom hash"));
                result = record;
                break;
            }
        }
    }
    setMacUniqueIdentifier(person, result ? result->uniqueId() : QString());
    QDLogInfo(QStringLiteral("found matching macUniqueIdentifier = %1, main id = %2")
                  .arg(person.macUniqueIdentifierCache().value_or(QString()), person.contactIdentifier()));
}

void VCardAddressBookBridge::linkABRecordIdentifier(Person &person)
{
    const auto found = findRecordByName(person);
    setMacUniqueIdentifier(person, found ? found->uniqueId() : QString());
}

// ---- Hashes

quint64 VCardAddressBookBridge::textHash(const QString &text)
{
    if (text.isEmpty())
        return 0;
    quint64 hash = 14695981039346656037ULL;
    for (const QChar c : text) {
        hash ^= c.unicode();
        hash *= 1099511628211ULL;
    }
    return hash;
}

quint64 VCardAddressBookBridge::customHashForPerson(const Person &person)
{
    PersonInfo *info = person.personinfo();
    quint64 hash = textHash(person.firstName()) ^ textHash(person.lastName()) ^ textHash(person.companyName()) ^
                   textHash(person.suffixName()) ^ textHash(person.prefixName()) ^ textHash(person.notesField()) ^
                   textHash(info ? info->nickname() : QString());
    for (DetailKind kind : {DetailKind::Phone, DetailKind::Email, DetailKind::Address, DetailKind::Website})
        for (const Detail &d : detailsOf(person, kind))
            hash ^= textHash(d.label()) ^ textHash(d.text());
    return hash;
}

quint64 VCardAddressBookBridge::customHashForABRecord(const Record &record)
{
    quint64 hash = 0;
    for (const QString &p : {ab::property::FirstName, ab::property::LastName, ab::property::Organization,
                             ab::property::Suffix, ab::property::Title, ab::property::Note, ab::property::Nickname})
        hash ^= textHash(record.stringValue(p));
    for (DetailKind kind : {DetailKind::Phone, DetailKind::Email, DetailKind::Address, DetailKind::Website})
        for (const ab::MultiValueEntry &entry : record.multiValue(propertyFor(kind)).entries)
            hash ^= textHash(Record::localizedLabel(entry.label)) ^ textHash(Detail::entryText(kind, entry.value));
    return hash;
}

// ---- Import and change check

namespace {

// The string rule: true when the attribute took the record's value.
bool checkAndUpdateString(Person &person, const QString &key, const QString &incoming)
{
    const QString current = person.value(key).toString();
    if (incoming.isEmpty() && current.isEmpty())
        return false;
    if (incoming == current)
        return false;
    QDLogInfo(QStringLiteral("checkAndUpdateStringProperty: update propertyKey for %1 - %2 with value = %3, with new "
                             "value: %4")
                  .arg(person.displayName(), key, current, incoming));
    const QString value = incoming.isEmpty() ? QString() : incoming;
    if (key == QLatin1String("firstName"))
        person.setFirstName(value);
    else if (key == QLatin1String("lastName"))
        person.setLastName(value);
    else if (key == QLatin1String("companyName"))
        person.setCompanyName(value);
    else if (key == QLatin1String("suffixName"))
        person.setSuffixName(value);
    else if (key == QLatin1String("prefixName"))
        person.setPrefixName(value);
    else if (key == QLatin1String("notesField"))
        person.setNotesField(value);
    return true;
}

QVariantMap personInfoValues(const ab::ContactRecord &record)
{
    QVariantMap map;
    for (const QString &p : {ab::property::MiddleName, ab::property::Nickname, ab::property::Department,
                             ab::property::JobTitle})
        if (!record.stringValue(p).isNull())
            map.insert(p, record.stringValue(p));
    return map;
}

bool personInfoHasData(PersonInfo *info)
{
    if (!info)
        return false;
    for (const QString &key : {QStringLiteral("middleName"), QStringLiteral("nickname"), QStringLiteral("departmentName"),
                               QStringLiteral("jobDescription"), QStringLiteral("phoneticFirstName"),
                               QStringLiteral("phoneticMiddleName"), QStringLiteral("phoneticLastName"),
                               QStringLiteral("previousFamilyName")})
        if (!info->value(key).toString().isEmpty())
            return true;
    return info->birthday().isValid();
}

PersonInfo *insertPersonInfo(Person &person)
{
    auto *info = person.managedObjectContext()->insertNewObject<PersonInfo>(PersonInfo::EntityName);
    info->setPerson(&person);
    person.setPersoninfo(info);
    return info;
}

const QList<QPair<QString, QString>> &infoStringMap()
{
    static const QList<QPair<QString, QString>> map = {{QStringLiteral("middleName"), ab::property::MiddleName},
                                                       {QStringLiteral("nickname"), ab::property::Nickname},
                                                       {QStringLiteral("departmentName"), ab::property::Department},
                                                       {QStringLiteral("jobDescription"), ab::property::JobTitle}};
    return map;
}

} // namespace

bool VCardAddressBookBridge::shouldCreatePersonInfo(const std::optional<Record> &record)
{
    if (!record)
        return false;
    return !personInfoValues(*record).isEmpty() || record->birthday().has_value();
}

void VCardAddressBookBridge::setupCommonPropertiesWithRecord(Person &person, const Record &record)
{
    checkAndUpdateString(person, QStringLiteral("firstName"), record.stringValue(ab::property::FirstName));
    checkAndUpdateString(person, QStringLiteral("lastName"), record.stringValue(ab::property::LastName));
    checkAndUpdateString(person, QStringLiteral("companyName"), record.stringValue(ab::property::Organization));
    checkAndUpdateString(person, QStringLiteral("suffixName"), record.stringValue(ab::property::Suffix));
    checkAndUpdateString(person, QStringLiteral("prefixName"), record.stringValue(ab::property::Title));
    checkAndUpdateString(person, QStringLiteral("notesField"), record.stringValue(ab::property::Note));
    for (DetailKind kind : {DetailKind::Phone, DetailKind::Email, DetailKind::Address, DetailKind::Website}) {
        if (!detailsOf(person, kind).isEmpty())
            updateDetailsOnFile(person, record, kind);
        else
            setupDetails(person, record, kind);
    }
    if (person.guid().isEmpty())
        person.setGuid(Person::makePersonGUID());
    if (!person.personinfo() && shouldCreatePersonInfo(record))
        insertPersonInfo(person);
    if (PersonInfo *info = person.personinfo()) {
        const QVariantMap values = personInfoValues(record);
        for (const auto &[attribute, property] : infoStringMap())
            info->checkAndUpdateStringProperty(attribute, property, values);
        const auto birthday = record.birthday();
        if (birthday && birthday->isValid()) {
            if (partialDate(info->birthday()) != birthday)
                info->setBirthday(birthdayDate(*birthday));
        } else if (info->birthday().isValid()) {
            info->setBirthday(QDateTime());
        }
        if (!personInfoHasData(info)) {
            QDLogInfo(QStringLiteral("setupCommonPropertiesWithRecord: deleting PersonInfo since it is empty"));
            person.setPersoninfo(nullptr);
            person.managedObjectContext()->deleteObject(info);
        }
    }
    if (person.displayName().isNull())
        person.setDisplayName(person.makeDisplayName());
    person.setCompositeName(person.displayName());
}

bool VCardAddressBookBridge::updatePersonWithABRecord(Person &person, const std::optional<Record> &record)
{
    if (!record)
        return false;
    setupCommonPropertiesWithRecord(person, *record);
    if (person.displayName().isEmpty()) {
        QDLogInfo(QStringLiteral("displayName is completely nil, no name / email / company. Ignore from list"));
        return false;
    }
    PersonInfo *info = person.personinfo();
    if (!person.compositeName().isEmpty() && person.firstName().isEmpty() && person.lastName().isEmpty() &&
        person.companyName().isEmpty() && (!info || info->middleName().isEmpty()) && person.suffixName().isEmpty() &&
        person.prefixName().isEmpty()) {
        const QStringList words =
            person.compositeName().split(QRegularExpression(QStringLiteral("[ \\t]+")), Qt::SkipEmptyParts);
        if (words.size() == 1) {
            if (dataPlistValues().integerValue(Person::DisplayOrderSettingKey) != 0)
                person.setLastName(words.first());
            else
                person.setFirstName(words.first());
        } else if (words.size() >= 2) {
            person.setFirstName(words.at(0));
            person.setLastName(words.at(1));
        }
    }
    person.setIsContactPrivate(false);
    setMacUniqueIdentifier(person, record->uniqueId());
    person.setRecordAddedDate(record->creationDate());
    person.setRecordModifiedDate(record->modificationDate());
    return true;
}

bool VCardAddressBookBridge::checkAndUpdateContactInfo(Person &person)
{
    platform::store::ManagedObjectContext *context = person.managedObjectContext();
    if (!context || person.isDeleted())
        return false;
    bool exists = false;
    context->performAndWait([&] {
        QDError error;
        exists = context->existingObjectWithID(person.objectID(), &error) != nullptr && error.isNull();
    });
    if (!exists)
        return false;
    std::optional<Record> record;
    if (!person.isContactPrivate() && !person.dontReloadRecord()) {
        record = abRecordPerson(person);
        if (!record)
            return false;
        const qint64 recordTime = record->modificationDate().isValid() ? record->modificationDate().toSecsSinceEpoch() : 0;
        const qint64 stored = person.recordModifiedDate().isValid() ? person.recordModifiedDate().toSecsSinceEpoch() : 0;
        if (recordTime <= stored)
            return false;
        bool nameChanged = false;
        nameChanged |= checkAndUpdateString(person, QStringLiteral("firstName"), record->stringValue(ab::property::FirstName));
        nameChanged |= checkAndUpdateString(person, QStringLiteral("lastName"), record->stringValue(ab::property::LastName));
        nameChanged |=
            checkAndUpdateString(person, QStringLiteral("companyName"), record->stringValue(ab::property::Organization));
        nameChanged |= checkAndUpdateString(person, QStringLiteral("suffixName"), record->stringValue(ab::property::Suffix));
        nameChanged |= checkAndUpdateString(person, QStringLiteral("prefixName"), record->stringValue(ab::property::Title));
        checkAndUpdateString(person, QStringLiteral("notesField"), record->stringValue(ab::property::Note));
        for (DetailKind kind : {DetailKind::Address, DetailKind::Email, DetailKind::Phone, DetailKind::Website})
            updateDetailsOnFile(person, *record, kind);
        PersonInfo *info = person.personinfo();
        if (!info && shouldCreatePersonInfo(record)) {
            QDLogInfo(QStringLiteral("checkAndUpdateIfNameChanged: create new PersonInfo"));
            info = insertPersonInfo(person);
        }
        if (info) {
            const QVariantMap values = personInfoValues(*record);
            for (const auto &[attribute, property] : infoStringMap()) {
                const bool changed = info->checkAndUpdateStringProperty(attribute, property, values);
                if (changed && attribute == QLatin1String("middleName"))
                    nameChanged = true;
            }
            // A changed birthday is taken; a birthday is never added or removed by the check.
            const auto birthday = record->birthday();
            if (birthday && birthday->isValid() && info->birthday().isValid() && partialDate(info->birthday()) != birthday)
                info->setBirthday(birthdayDate(*birthday));
            if (!personInfoHasData(info)) {
                QDLogInfo(QStringLiteral("checkAndUpdateIfNameChanged: deleting personInfo since it is now empty"));
                person.setPersoninfo(nullptr);
                context->deleteObject(info);
            }
        }
        if (nameChanged)
            person.remakeDisplayName();
    }
    PersonInfo *info = person.personinfo();
    if (person.hasChanges() || (info && info->hasChanges())) {
        QDLogInfo(QStringLiteral("Person_Mac: checkAndUpdateIfNameChanged - change modificationDate for %1")
                      .arg(person.displayName()));
        person.setRecordModifiedDate(record ? record->modificationDate() : QDateTime());
    }
    return true;
}

// ---- Multi-values from the record

void VCardAddressBookBridge::setupDetails(Person &person, const Record &record, DetailKind kind)
{
    for (const ab::MultiValueEntry &entry : record.multiValue(propertyFor(kind)).entries)
        createDetail(person, kind, entry, Record::localizedLabel(entry.label));
}

bool VCardAddressBookBridge::updateDetailsOnFile(Person &person, const Record &record, DetailKind kind)
{
    const QList<ab::MultiValueEntry> entries = record.multiValue(propertyFor(kind)).entries;
    QList<Detail> existing = detailsOf(person, kind);
    QStringList values;
    QStringList identifiers;
    for (const Detail &d : existing) {
        values << d.text();
        if (!d.localIdentifier().isEmpty())
            identifiers << d.localIdentifier();
    }
    const bool cloudOn = SharedSettingController::sharedSettings().isCloudKitEnabled();
    QList<qsizetype> toInsert;
    bool changed = false;
    for (qsizetype i = 0; i < entries.size(); ++i) {
        const ab::MultiValueEntry &entry = entries.at(i);
        const QString label = Record::localizedLabel(entry.label);
        const QString text = Detail::entryText(kind, entry.value);
        if (identifiers.size() == existing.size() && identifiers.contains(entry.identifier)) {
            const qsizetype k = identifiers.indexOf(entry.identifier);
            const Detail d = existing.at(k);
            if (d.text() != text) {
                if (kind == DetailKind::Address)
                    static_cast<PersonAddress *>(d.object)->updateAddressWithAddressDictionary(entry.value.toMap());
                else
                    d.fill(ab::MultiValueEntry{entry.identifier, d.label(), entry.value}, d.label());
                changed = true;
            }
            if (!sameLabel(d.label(), label, true)) {
                d.setLabel(label);
                changed = true;
            }
            values.removeAt(k);
            existing.removeAt(k);
            identifiers.removeAt(k);
            continue;
        }
        const qsizetype k = values.indexOf(text);
        if (k < 0) {
            if (kind == DetailKind::Phone)
                QDLogInfo(QStringLiteral("Person: updatePhonesOnFile: didn't find phone for %1; insert: %2")
                              .arg(person.displayName(), text));
            toInsert << i;
            changed = true;
            continue;
        }
        const Detail d = existing.at(k);
        if (!sameLabel(d.label(), label, false)) {
            d.setLabel(label);
            changed = true;
        }
        values.removeAt(k);
        existing.removeAt(k);
        if (d.localIdentifier().isEmpty() || (d.localIdentifier() != entry.identifier && cloudOn))
            d.setLocalIdentifier(entry.identifier);
    }
    for (qsizetype i : toInsert) {
        const ab::MultiValueEntry &entry = entries.at(i);
        const QString label = Record::localizedLabel(entry.label);
        if (!existing.isEmpty()) {
            existing.takeFirst().fill(entry, label);
        } else {
            createDetail(person, kind, entry, label);
        }
    }
    for (const Detail &d : existing) {
        if (kind == DetailKind::Phone)
            QDLogInfo(QStringLiteral("Person: updatePhonesOnFile: remaining address; delete: %1").arg(d.text()));
        if (kind == DetailKind::Address)
            QDLogInfo(QStringLiteral("Person_Mac: updateAddresses: remaining address; delete: %1, localID = %2")
                          .arg(d.text(), d.localIdentifier()));
        // The record already lost it: nothing to write back.
        d.object->setDeleteFromAddressBook(false);
        person.managedObjectContext()->deleteObject(d.object);
        changed = true;
    }
    return changed;
}

// ---- Record creation, removal, privacy, picture

void VCardAddressBookBridge::populateRecordWithPersonData(Person &person, Record &record)
{
    auto put = [&](const QString &property, const QString &value) {
        if (!value.isNull())
            record.setStringValue(property, value);
    };
    put(ab::property::FirstName, person.firstName());
    put(ab::property::LastName, person.lastName());
    put(ab::property::Organization, person.companyName());
    put(ab::property::Suffix, person.suffixName());
    put(ab::property::Title, person.prefixName());
    put(ab::property::Note, person.notesField());
    if (PersonInfo *info = person.personinfo()) {
        put(ab::property::MiddleName, info->middleName());
        put(ab::property::Nickname, info->nickname());
        put(ab::property::Department, info->departmentName());
        put(ab::property::JobTitle, info->jobDescription());
        if (info->birthday().isValid())
            record.setBirthday(partialDate(info->birthday()));
    }
    // A contact that is only a company is one in the address book too.
    if (person.firstName().isEmpty() && person.lastName().isEmpty() && !person.companyName().isEmpty())
        record.setCompany(true);
    for (DetailKind kind : {DetailKind::Website, DetailKind::Phone, DetailKind::Email, DetailKind::Address}) {
        const QList<Detail> details = detailsOf(person, kind);
        if (details.isEmpty())
            continue;
        ab::MultiValue mv = record.multiValue(propertyFor(kind));
        for (const Detail &d : details) {
            const QVariant value = kind == DetailKind::Address ? d.entryValue() : QVariant(d.text().isNull() ? QString(QLatin1String("")) : d.text());
            const QString id = mv.add(value, d.label().isNull() ? QString(QLatin1String("")) : d.label());
            d.setLocalIdentifier(id);
        }
        record.setMultiValue(propertyFor(kind), mv);
    }
}

bool VCardAddressBookBridge::createABPersonRecord(Person &person, bool isNewContact, bool saveContext)
{
    platform::store::ManagedObjectContext *context = person.managedObjectContext();
    // The journal's contact is saved first: a record made for a contact whose save then fails would be left
    // in the address book with nothing pointing at it.
    if (saveContext && context && context->hasChanges()) {
        QDError error;
        if (!context->save(&error)) {
            QDLogError(QStringLiteral("Unresolved error %1, %2").arg(error.localizedDescription(), error.toString()));
            return false;
        }
    }
    // Names are settled before the record is filled, so that it carries them.
    PersonInfo *info = person.personinfo();
    if (!person.compositeName().isEmpty() && person.firstName().isEmpty() && person.lastName().isEmpty() &&
        person.companyName().isEmpty() && (!info || info->middleName().isEmpty()) && person.suffixName().isEmpty() &&
        person.prefixName().isEmpty()) {
        const QStringList parts = person.compositeName().split(QRegularExpression(QStringLiteral("[ \\t]")));
        if (parts.size() == 1) {
            if (dataPlistValues().integerValue(Person::DisplayOrderSettingKey) != 0)
                person.setLastName(parts.first());
            else
                person.setFirstName(parts.first());
        } else if (parts.size() >= 2) {
            person.setFirstName(parts.at(0));
            person.setLastName(parts.at(1));
        }
    }
    Record record;
    populateRecordWithPersonData(person, record);
    PersonImage *pictureRecord = person.fullimage();
    if (isNewContact)
        record.setImageData(person.personImage());
    else
        record.setImageData(person.privateImage().toByteArray());
    m_book->setRecord(record);
    if (!saveBook(QStringLiteral("Person-createABPersonRecordWithIsNewContact"))) {
        QDLogError(QStringLiteral("error adding record"));
        return false;
    }
    // The picture moves to the record only now that the record holds it.
    if (isNewContact) {
        if (pictureRecord) {
            person.setFullimage(nullptr);
            context->deleteObject(pictureRecord);
            person.setPrivateImage(QVariant());
        }
    } else {
        person.setPersonImage(record.imageData());
        if (pictureRecord) {
            person.setFullimage(nullptr);
            context->deleteObject(pictureRecord);
        }
    }
    setMacUniqueIdentifier(person, record.uniqueId());
    SharedSettingController::sharedSettings().savePersonObjectToRecentKVSContacts({customHashForPerson(person)});
    person.setIsContactPrivate(false);
    const QDateTime now = platform::core::Clock::now();
    person.setRecordAddedDate(now);
    person.setRecordModifiedDate(now);
    if (saveContext && context) {
        QDError error;
        if (!context->save(&error)) {
            QDLogError(QStringLiteral("Unresolved error %1, %2").arg(error.localizedDescription(), error.toString()));
            return false;
        }
    }
    return true;
}

bool VCardAddressBookBridge::convertContactToPrivate(Person &person)
{
    const QString id = macUniqueIdentifier(person);
    if (person.isContactPrivate() || id.isEmpty())
        return false;
    const std::optional<Record> record = m_book->recordForUniqueId(id);
    const QVariant previousImage = person.privateImage();
    if (record && !record->imageData().isEmpty())
        person.setPrivateImage(record->imageData());
    person.setIsContactPrivate(true);
    if (platform::store::ManagedObjectContext *context = person.managedObjectContext()) {
        QDError error;
        if (!context->save(&error)) {
            // Nothing is deleted: the contact stays public and linked.
            QDLogError(QStringLiteral("Unresolved error %1, %2").arg(error.localizedDescription(), error.toString()));
            person.setIsContactPrivate(false);
            person.setPrivateImage(previousImage);
            return false;
        }
    }
    if (record && m_book->removeRecord(id) && !saveBook(QStringLiteral("Person-convertContactToPrivate")))
        QDLogError(QStringLiteral("error in deleting record = %1").arg(id));
    setMacUniqueIdentifier(person, QString());
    person.setPersonImage(QByteArray());
    return true;
}

bool VCardAddressBookBridge::convertContactToPublic(Person &person)
{
    if (!person.isContactPrivate())
        return false;
    return createABPersonRecord(person, false, true);
}

void VCardAddressBookBridge::deleteRecordFromAddressBook(Person &person)
{
    const QString id = macUniqueIdentifier(person);
    if (id.isEmpty() || !m_book->recordForUniqueId(id))
        return;
    m_book->removeRecord(id);
    QDError error;
    if (!m_book->save(&error)) {
        QDLogError(QStringLiteral("error in deleting record = %1").arg(error.localizedDescription()));
        m_book->revert();
        return;
    }
    person.cleanupReferences();
}

bool VCardAddressBookBridge::updateContactImage(Person &person, const QByteArray &image, bool isInCreateContact)
{
    if (person.isContactPrivate()) {
        person.setPrivateImage(image);
        return true;
    }
    const QString id = macUniqueIdentifier(person);
    if (!id.isEmpty()) {
        std::optional<Record> record = m_book->recordForUniqueId(id);
        if (!record)
            return false;
        record->setImageData(image);
        m_book->setRecord(*record);
        // The picture shown changes only once the record holds it.
        if (!saveBook(QStringLiteral("Person-updateContactImage")))
            return false;
        person.setPersonImage(image);
        return true;
    }
    if (isInCreateContact) {
        person.setPersonImage(image);
        if (PersonImage *pictureRecord = person.fullimage()) {
            person.setFullimage(nullptr);
            person.managedObjectContext()->deleteObject(pictureRecord);
            person.setPrivateImage(QVariant());
        }
        return true;
    }
    return false;
}

// ---- What the kit reads of the linked record

std::optional<QList<PersonAddressBookBridge::Entry>> VCardAddressBookBridge::multiValueEntries(const Person &person,
                                                                                                DetailKind kind)
{
    const auto record = recordFor(person);
    if (!record)
        return std::nullopt;
    QList<Entry> entries;
    for (const ab::MultiValueEntry &e : record->multiValue(propertyFor(kind)).entries)
        entries << Entry{Record::localizedLabel(e.label), Detail::entryText(kind, e.value), e.identifier};
    return entries;
}

QStringList VCardAddressBookBridge::loadPublicGroupsListWithNamesForContact(const Person &person)
{
    const QString id = const_cast<VCardAddressBookBridge *>(this)->macUniqueIdentifier(person);
    QStringList names;
    if (id.isEmpty() || person.isContactPrivate())
        return names;
    for (const Record &group : m_book->parentGroups(id))
        names << group.groupName();
    return names;
}

QStringList VCardAddressBookBridge::loadPublicGroupsListForContact(const Person &person)
{
    const QString id = const_cast<VCardAddressBookBridge *>(this)->macUniqueIdentifier(person);
    QStringList ids;
    if (id.isEmpty() || person.isContactPrivate())
        return ids;
    for (const Record &group : m_book->parentGroups(id))
        ids << group.uniqueId();
    return ids;
}

// ---- Write-back of edits

bool VCardAddressBookBridge::addDetail(Person &person, NSManagedObjectQDBase &object, DetailKind kind)
{
    if (person.isContactPrivate() || macUniqueIdentifier(person).isEmpty())
        return false;
    std::optional<Record> record = recordFor(person);
    if (!record)
        return false;
    const Detail d{kind, &object};
    ab::MultiValue mv = record->multiValue(propertyFor(kind));
    const QString id = mv.add(kind == DetailKind::Address ? d.entryValue() : QVariant(d.text()), d.label());
    record->setMultiValue(propertyFor(kind), mv);
    m_book->setRecord(*record);
    d.setLocalIdentifier(id);
    return saveBook(QStringLiteral("Person-add"));
}

bool VCardAddressBookBridge::deleteDetail(Person &person, NSManagedObjectQDBase &object, DetailKind kind)
{
    static const QStringList notFound = {
        QStringLiteral("Person-deletePersonPhoneFromAddressBook - didn't find the reference"),
        QStringLiteral("Person-deletePersonEmailFromAddressBook - didn't find the reference"),
        QStringLiteral("Person-deletePersonWebsiteFromAddressBook_Mac - didn't find the reference"),
        QStringLiteral("Person-deletePersonAddressFromAddressBook - didn't find the reference")};
    const QString &line = notFound.at(int(kind));
    std::optional<Record> record;
    if (!person.isContactPrivate() && !macUniqueIdentifier(person).isEmpty())
        record = recordFor(person);
    if (record) {
        const Detail d{kind, &object};
        ab::MultiValue mv = record->multiValue(propertyFor(kind));
        for (qsizetype i = 0; i < mv.count(); ++i) {
            const ab::MultiValueEntry &e = mv.entries.at(i);
            const bool sameValue = kind == DetailKind::Address ? withoutEmpty(e.value.toMap()) == d.entryValue()
                                                               : e.value.toString() == d.text();
            if (sameValue && Record::localizedLabel(e.label) == d.label()) {
                mv.remove(i);
                record->setMultiValue(propertyFor(kind), mv);
                m_book->setRecord(*record);
                return saveBook(QStringLiteral("Person-delete"));
            }
        }
    }
    QDLogInfo(line);
    return false;
}

bool VCardAddressBookBridge::changeDetailValue(Person &person, NSManagedObjectQDBase &object, DetailKind kind,
                                               const QString &previous)
{
    if (person.isContactPrivate() || macUniqueIdentifier(person).isEmpty())
        return false;
    std::optional<Record> record = recordFor(person);
    if (!record)
        return false;
    const Detail d{kind, &object};
    ab::MultiValue mv = record->multiValue(propertyFor(kind));
    for (qsizetype i = 0; i < mv.count(); ++i) {
        const ab::MultiValueEntry &e = mv.entries.at(i);
        if (e.value.toString() == previous && Record::localizedLabel(e.label) == d.label()) {
            mv.replaceValue(i, d.text());
            record->setMultiValue(propertyFor(kind), mv);
            m_book->setRecord(*record);
            return saveBook(QStringLiteral("Person-update"));
        }
    }
    return false;
}

bool VCardAddressBookBridge::changeDetailLabel(Person &person, NSManagedObjectQDBase &object, DetailKind kind,
                                               const QString &previous)
{
    if (person.isContactPrivate() || macUniqueIdentifier(person).isEmpty())
        return false;
    std::optional<Record> record = recordFor(person);
    if (!record)
        return false;
    const Detail d{kind, &object};
    ab::MultiValue mv = record->multiValue(propertyFor(kind));
    for (qsizetype i = 0; i < mv.count(); ++i) {
        const ab::MultiValueEntry &e = mv.entries.at(i);
        const bool sameValue = kind == DetailKind::Address ? withoutEmpty(e.value.toMap()) == d.entryValue()
                                                           : e.value.toString() == d.text();
        if (sameValue && Record::localizedLabel(e.label) == previous) {
            mv.replaceLabel(i, d.label());
            record->setMultiValue(propertyFor(kind), mv);
            m_book->setRecord(*record);
            return saveBook(QStringLiteral("Person-updateLabel"));
        }
    }
    return false;
}

bool VCardAddressBookBridge::addPersonPhoneToAddressBook(Person &p, Phones &d) { return addDetail(p, d, DetailKind::Phone); }
bool VCardAddressBookBridge::deletePersonPhoneFromAddressBook(Person &p, Phones &d) { return deleteDetail(p, d, DetailKind::Phone); }
bool VCardAddressBookBridge::updatePersonPhoneInAddressBook(Person &p, Phones &d, const QString &v) { return changeDetailValue(p, d, DetailKind::Phone, v); }
bool VCardAddressBookBridge::updatePhoneLabelInAddressBook(Person &p, Phones &d, const QString &l) { return changeDetailLabel(p, d, DetailKind::Phone, l); }
bool VCardAddressBookBridge::addPersonEmailToAddressBook(Person &p, Emails &d) { return addDetail(p, d, DetailKind::Email); }
bool VCardAddressBookBridge::deletePersonEmailFromAddressBook(Person &p, Emails &d) { return deleteDetail(p, d, DetailKind::Email); }
bool VCardAddressBookBridge::updatePersonEmailInAddressBook(Person &p, Emails &d, const QString &v) { return changeDetailValue(p, d, DetailKind::Email, v); }
bool VCardAddressBookBridge::updateEmailLabelInAddressBook(Person &p, Emails &d, const QString &l) { return changeDetailLabel(p, d, DetailKind::Email, l); }
bool VCardAddressBookBridge::addPersonAddressToAddressBook(Person &p, PersonAddress &d) { return addDetail(p, d, DetailKind::Address); }
bool VCardAddressBookBridge::deletePersonAddressFromAddressBook(Person &p, PersonAddress &d) { return deleteDetail(p, d, DetailKind::Address); }
bool VCardAddressBookBridge::updatePersonAddressLabelInAddressBook(Person &p, PersonAddress &d, const QString &l) { return changeDetailLabel(p, d, DetailKind::Address, l); }
bool VCardAddressBookBridge::addPersonWebsiteToAddressBook(Person &p, PersonWebsite &d) { return addDetail(p, d, DetailKind::Website); }
bool VCardAddressBookBridge::deletePersonWebsiteFromAddressBook(Person &p, PersonWebsite &d) { return deleteDetail(p, d, DetailKind::Website); }
bool VCardAddressBookBridge::updatePersonWebsiteInAddressBook(Person &p, PersonWebsite &d, const QString &v) { return changeDetailValue(p, d, DetailKind::Website, v); }
bool VCardAddressBookBridge::updatePersonWebsiteLabelInAddressBook(Person &p, PersonWebsite &d, const QString &l) { return changeDetailLabel(p, d, DetailKind::Website, l); }

bool VCardAddressBookBridge::updatePersonAddressInAddressBook(Person &person, PersonAddress &address,
                                                              const QString &fieldKey)
{
    if (person.isContactPrivate() || macUniqueIdentifier(person).isEmpty())
        return false;
    std::optional<Record> record = recordFor(person);
    if (!record)
        return false;
    ab::MultiValue mv = record->multiValue(ab::property::Address);
    if (mv.count() == 0)
        return false;
    const QString key = PersonAddress::addressBookKeyForProperty(fieldKey);
    // The address as it was before this edit.
    QVariantMap comparison = address.addressInDictionaryFormat();
    const QVariantMap committed = address.committedValues({fieldKey});
    if (committed.contains(fieldKey)) {
        const QString before = committed.value(fieldKey).toString();
        if (before.isEmpty())
            comparison.remove(key);
        else
            comparison.insert(key, before);
    }
    comparison = withoutEmpty(comparison);
    QDLogInfo(QStringLiteral("comparisonDictionary = %1").arg(PersonAddress::makeAddressStringFromRecord(comparison)));
    const QString ownId = address.value(QStringLiteral("localIdentifier")).toString();
    for (qsizetype i = 0; i < mv.count(); ++i) {
        const ab::MultiValueEntry &e = mv.entries.at(i);
        const bool sameEntry = (!ownId.isEmpty() && e.identifier == ownId) || withoutEmpty(e.value.toMap()) == comparison;
        if (!sameEntry)
            continue;
        if (Record::localizedLabel(e.label) != address.addressLabel() && e.identifier != ownId) {
            QDLogInfo(QStringLiteral("dictionary match but labels are different?? %1 vs %2")
                          .arg(e.label, address.addressLabel()));
            continue;
        }
        QVariantMap value = e.value.toMap();
        const QString now = address.value(fieldKey).toString();
        if (now.isEmpty())
            value.remove(key);
        else
            value.insert(key, now);
        mv.replaceValue(i, value);
        record->setMultiValue(ab::property::Address, mv);
        m_book->setRecord(*record);
        return saveBook(QStringLiteral("Person-updatePersonAddress"));
    }
    return false;
}

bool VCardAddressBookBridge::setRecordProperty(Person &person, const QString &property, const QVariant &value)
{
    if (person.isContactPrivate() || macUniqueIdentifier(person).isEmpty())
        return property == address_book::NoteProperty; // nothing to write for an unlinked contact
    std::optional<Record> record = recordFor(person);
    if (!record)
        return property == address_book::NoteProperty;
    static const QHash<QString, QString> keyPaths = {
        {QStringLiteral("prefixName"), ab::property::Title},
        {QStringLiteral("suffixName"), ab::property::Suffix},
        {QStringLiteral("notesField"), ab::property::Note},
        {QStringLiteral("personinfo.departmentName"), ab::property::Department},
        {QStringLiteral("personinfo.jobDescription"), ab::property::JobTitle},
        {QStringLiteral("personinfo.middleName"), ab::property::MiddleName},
        {QStringLiteral("personinfo.nickname"), ab::property::Nickname},
        {QStringLiteral("personinfo.birthday"), ab::property::Birthday},
    };
    const QString name = keyPaths.value(property, property);
    if (name == ab::property::Birthday) {
        const QDateTime date = value.toDateTime();
        record->setBirthday(date.isValid() ? partialDate(date) : std::nullopt);
    } else {
        record->setStringValue(name, value.toString());
    }
    m_book->setRecord(*record);
    if (!m_book->hasUnsavedChanges())
        return false;
    QDError error;
    if (!m_book->save(&error)) {
        QDLogError(QStringLiteral("AddressBook error = %1").arg(error.localizedDescription()));
        m_book->revert();
        return false;
    }
    return true;
}

// ---- Settings bridge

qint64 VCardSettingsContactsBridge::addressBookPeopleCount()
{
    return m_book->people().size();
}

QList<QPair<quint64, QString>> VCardSettingsContactsBridge::addressBookHashes()
{
    QList<QPair<quint64, QString>> hashes;
    for (const ab::ContactRecord &record : m_book->people())
        hashes << qMakePair(VCardAddressBookBridge::customHashForABRecord(record), record.uniqueId());
    return hashes;
}

QVariantList VCardSettingsContactsBridge::addressBookPeopleWithUniqueID(const QString &uniqueID)
{
    QVariantList out;
    for (const ab::ContactRecord &record : m_book->people())
        if (record.uniqueId().compare(uniqueID, Qt::CaseInsensitive) == 0)
            out << record.uniqueId();
    return out;
}

// ---- Matching by display name through the contact store

namespace {

// The contact order of the store's formatter: given name first.
constexpr int StoreNameOrder = 1;

bool equalIgnoringCase(const QString &a, const QString &b)
{
    return a.compare(b, Qt::CaseInsensitive) == 0;
}

// The contact's text at a key path of the matching tables.
QString personText(const Person &person, const QString &keyPath)
{
    PersonInfo *info = person.personinfo();
    if (keyPath == QLatin1String("personinfo.nickname"))
        return info ? info->nickname() : QString();
    if (keyPath == QLatin1String("personinfo.middleName"))
        return info ? info->middleName() : QString();
    return person.value(keyPath).toString();
}

bool inDedupeSet(const ab::ContactRecord &contact)
{
    return dedupeMatchingIDs().contains(contact.uniqueId());
}

QStringList multiValueTexts(const ab::ContactRecord &contact, const QString &property)
{
    QStringList texts;
    for (const ab::MultiValueEntry &entry : contact.multiValue(property).entries)
        texts << entry.value.toString();
    return texts;
}

} // namespace

QString VCardAddressBookBridge::formattedFullName(const Record &contact)
{
    return contact.fullName(StoreNameOrder);
}

bool VCardAddressBookBridge::matchContact(const Record &contact, const QString &property, const Person &person,
                                          const QString &personKeyPath)
{
    const QString theirs = contact.stringValue(property);
    const QString ours = personText(person, personKeyPath);
    if (theirs.isEmpty() && ours.isEmpty())
        return true;
    return theirs == ours;
}

bool VCardAddressBookBridge::contactPhonesMatchSavedPhones(const Record &contact, const QList<Phones *> &phones)
{
    QStringList saved;
    for (Phones *phone : phones)
        saved << phone->phoneNumber();
    for (const QString &value : multiValueTexts(contact, ab::property::Phone))
        if (!saved.contains(value))
            return false;
    return true;
}

bool VCardAddressBookBridge::contactEmailsMatchSavedEmails(const Record &contact, const QList<Emails *> &emails)
{
    QStringList saved;
    for (Emails *email : emails)
        saved << email->emailAddress();
    for (const QString &value : multiValueTexts(contact, ab::property::Email))
        if (!saved.contains(value))
            return false;
    return true;
}

std::optional<VCardAddressBookBridge::Record> VCardAddressBookBridge::findContactByHashes(const Person &person,
                                                                                          const QList<Record> &contacts) const
{
    const quint64 hash = customHashForPerson(person);
    for (const Record &contact : contacts)
        if (customHashForABRecord(contact) == hash && !inDedupeSet(contact))
            return contact;
    for (const Record &contact : contacts)
        if (customHashForABRecord(contact) == hash)
            return contact;
    return std::nullopt;
}

QList<VCardAddressBookBridge::Record> VCardAddressBookBridge::filterMatchingContactsList(const Person &person,
                                                                                        const QList<Record> &contacts,
                                                                                        const QString &name) const
{
    QList<Record> kept;
    for (const Record &contact : contacts) {
        const QString full = formattedFullName(contact);
        if (full.size() == name.size() && equalIgnoringCase(full, name))
            kept << contact;
    }
    if (kept.size() == 1)
        return kept;
    if (kept.isEmpty())
        return contacts;
    static const QList<QPair<QString, QString>> pairs = {
        {ab::property::FirstName, QStringLiteral("firstName")},
        {ab::property::LastName, QStringLiteral("lastName")},
        {ab::property::Organization, QStringLiteral("companyName")},
        {ab::property::Note, QStringLiteral("notesField")},
        {ab::property::Nickname, QStringLiteral("personinfo.nickname")},
        {ab::property::MiddleName, QStringLiteral("personinfo.middleName")},
        {ab::property::Title, QStringLiteral("prefixName")},
        {ab::property::Suffix, QStringLiteral("suffixName")}};
    QList<Record> exact;
    for (const Record &contact : std::as_const(kept)) {
        if (inDedupeSet(contact))
            continue;
        bool all = true;
        for (const auto &[property, keyPath] : pairs)
            all = all && matchContact(contact, property, person, keyPath);
        if (all)
            exact << contact;
    }
    return exact.size() == 1 ? exact : kept;
}

std::optional<VCardAddressBookBridge::Record>
VCardAddressBookBridge::filterMatchingContactsListByRecordDetails(const Person &person, const QList<Record> &contacts) const
{
    const quint64 hash = customHashForPerson(person);
    for (const Record &contact : contacts)
        if (!inDedupeSet(contact) && customHashForABRecord(contact) == hash)
            return contact;
    const QVariant byHash = SharedSettingController::sharedSettings().abRecordFromAllHashesListWithPersonHash(hash);
    if (byHash.isValid())
        if (auto found = m_book->recordForUniqueId(byHash.toString()))
            return found;

    const QList<Phones *> phones = person.phones();
    const QList<Emails *> emails = person.emails();
    const QString notes = person.notesField();
    for (const Record &contact : contacts) {
        if (!inDedupeSet(contact)) {
            const QString note = contact.stringValue(ab::property::Note);
            const bool notesAgree = (note.isEmpty() && notes.isEmpty()) || note == notes;
            if (contact.multiValue(ab::property::Phone).count() == phones.size() &&
                contact.multiValue(ab::property::Email).count() == emails.size() &&
                contact.multiValue(ab::property::Address).count() == person.addresses().size() &&
                contactPhonesMatchSavedPhones(contact, phones) && contactEmailsMatchSavedEmails(contact, emails) &&
                notesAgree) {
                QDLogInfo(QStringLiteral("filterByRecordDetails: 1st pass - returning exact match"));
                return contact;
            }
        }
        if (isRecordFromCompany(contact) && !person.companyName().isEmpty() &&
            person.companyName() == formattedFullName(contact)) {
            QDLogInfo(QStringLiteral("filterByRecordDetails: 1st pass - exact match on companyName"));
            return contact;
        }
    }
    for (const Record &contact : contacts) {
        if (inDedupeSet(contact))
            continue;
        const QString note = contact.stringValue(ab::property::Note);
        if (!note.isEmpty() && note.size() == notes.size() && note == notes) {
            QDLogInfo(QStringLiteral("filterByRecordDetails: 2nd pass - returning with notes match"));
            return contact;
        }
        const qsizetype phoneCount = contact.multiValue(ab::property::Phone).count();
        if (phoneCount > 0 && phoneCount == phones.size() && contactPhonesMatchSavedPhones(contact, phones)) {
            QDLogInfo(QStringLiteral("filterByRecordDetails: 2nd pass - match by total phones"));
            return contact;
        }
        const qsizetype emailCount = contact.multiValue(ab::property::Email).count();
        if (emailCount > 0 && emailCount == emails.size() && contactEmailsMatchSavedEmails(contact, emails)) {
            QDLogInfo(QStringLiteral("filterByRecordDetails: 2nd pass -  match by total emails"));
            return contact;
        }
    }
    std::optional<Record> best;
    for (const Record &contact : contacts) {
        if (inDedupeSet(contact))
            continue;
        if (!emails.isEmpty() && contact.multiValue(ab::property::Email).count() > 0 &&
            multiValueTexts(contact, ab::property::Email).contains(emails.first()->emailAddress())) {
            QDLogInfo(QStringLiteral("filterByRecordDetails: 3rd pass - found by emailAddress"));
            best = contact;
        }
        if (!phones.isEmpty() && contact.multiValue(ab::property::Phone).count() > 0 &&
            multiValueTexts(contact, ab::property::Phone).contains(phones.first()->phoneNumber())) {
            QDLogInfo(QStringLiteral("filterByRecordDetails: 3rd pass - found by phoneNumber"));
            best = contact;
        }
    }
    return best;
}

std::optional<VCardAddressBookBridge::Record> VCardAddressBookBridge::findContactRecordByDisplayName(Person &person)
{
    const QString displayName = person.displayName();
    if (displayName.isEmpty())
        return std::nullopt;
    QString name = displayName;
    const QString prefix = person.prefixName();
    if (!prefix.isEmpty() && name.startsWith(prefix))
        name.remove(0, prefix.size());
    const QString suffix = person.suffixName();
    if (!suffix.isEmpty() && name.endsWith(suffix)) {
        const bool longer = name.size() > suffix.size();
        name.chop(suffix.size());
        if (longer)
            name.chop(1);
    }
    const quint64 hash = customHashForPerson(person);
    const auto fromHashMap = [&]() -> std::optional<Record> {
        const QVariant byHash = SharedSettingController::sharedSettings().abRecordFromAllHashesListWithPersonHash(hash);
        return byHash.isValid() ? m_book->recordForUniqueId(byHash.toString()) : std::nullopt;
    };
    if (name.isEmpty())
        return fromHashMap();

    const QList<Record> results = m_book->peopleMatchingName(name);
    std::optional<Record> candidate;
    if (results.isEmpty()) {
        candidate = fromHashMap();
        if (candidate)
            QDLogInfo(QStringLiteral("FindContactsByName: found 0 results - returning a matched contact from allHashes"));
    }
    if (results.size() == 1) {
        const Record &only = results.first();
        if (customHashForABRecord(only) == hash)
            return only;
        const int displayOrder = int(dataPlistValues().integerValue(Person::DisplayOrderSettingKey));
        if (displayOrder == StoreNameOrder - 1) {
            if (equalIgnoringCase(formattedFullName(only), displayName)) {
                candidate = only;
            } else {
                const QString given = only.stringValue(ab::property::FirstName);
                const QString family = only.stringValue(ab::property::LastName);
                if (given.size() == person.firstName().size() && equalIgnoringCase(given, person.firstName()) &&
                    family.size() == person.lastName().size() && equalIgnoringCase(family, person.lastName()))
                    return only;
                return std::nullopt;
            }
        } else {
            const auto differ = [](const QString &a, const QString &b) {
                return !a.isEmpty() && !b.isEmpty() && !equalIgnoringCase(a, b);
            };
            PersonInfo *info = person.personinfo();
            if (differ(only.stringValue(ab::property::FirstName), person.firstName()) ||
                differ(only.stringValue(ab::property::LastName), person.lastName()) ||
                differ(only.stringValue(ab::property::Organization), person.companyName()) ||
                differ(only.stringValue(ab::property::MiddleName), info ? info->middleName() : QString()))
                return std::nullopt;
            candidate = only;
        }
    } else if (!candidate) {
        if (auto byHashes = findContactByHashes(person, results)) {
            candidate = byHashes;
        } else {
            const QList<Record> byName = filterMatchingContactsList(person, results, displayName);
            if (byName.size() == 1)
                candidate = byName.first();
            else if (byName.size() >= 2)
                candidate = filterMatchingContactsListByRecordDetails(person, byName);
        }
    }
    if (candidate && !candidate->uniqueId().isEmpty())
        dedupeMatchingIDs().insert(candidate->uniqueId());
    return candidate;
}

// ---- Detail lists from a store contact

QString VCardAddressBookBridge::makeAddressStringFromPostalAddress(const QVariantMap &address)
{
    QStringList parts;
    for (const QString &key : {ab::address_key::Street, ab::address_key::City, ab::address_key::State,
                               ab::address_key::ZIP, ab::address_key::Country}) {
        const QString part = address.value(key).toString();
        if (!part.isEmpty())
            parts << part;
    }
    QString joined = parts.join(QStringLiteral(", "));
    for (QChar &c : joined)
        if (c == QLatin1Char('\n') || c == QLatin1Char('\r') || c == QChar(0x2028) || c == QChar(0x2029))
            c = QLatin1Char(' ');
    return joined;
}

namespace {

QString contactCompared(DetailKind kind, const QVariant &value)
{
    return kind == DetailKind::Address ? VCardAddressBookBridge::makeAddressStringFromPostalAddress(value.toMap())
                                       : value.toString();
}

QString storedCompared(const Detail &detail)
{
    if (detail.kind == DetailKind::Address) {
        auto *address = static_cast<PersonAddress *>(detail.object);
        QVariantMap map;
        map.insert(ab::address_key::Street, address->street());
        map.insert(ab::address_key::City, address->city());
        map.insert(ab::address_key::State, address->state());
        map.insert(ab::address_key::ZIP, address->zip());
        map.insert(ab::address_key::Country, address->country());
        return VCardAddressBookBridge::makeAddressStringFromPostalAddress(map);
    }
    return detail.text();
}

// Whether the stored label stays against the contact's: `identifierMatch` tells the two variants apart.
bool labelStays(const QString &stored, const QString &localized, const QString &raw, bool identifierMatch,
                DetailKind kind)
{
    if (identifierMatch) {
        if (stored.isEmpty() && raw.isEmpty())
            return true;
    } else if (kind == DetailKind::Address) {
        if (localized.isEmpty() && stored.isNull())
            return true;
    } else if (stored.isEmpty() && localized.isEmpty()) {
        return true;
    }
    if (!stored.isNull() && stored == localized)
        return true;
    if (stored == QLatin1String("None") && localized.isEmpty() && !localized.isNull())
        return true;
    if (!stored.isNull() && stored.isEmpty() && localized == QLatin1String("None"))
        return true;
    return false;
}

void logCreation(DetailKind kind, const ab::MultiValueEntry &entry)
{
    const char *format = kind == DetailKind::Phone   ? "createPhone: label = %1, value = %2, identifier = %3"
                         : kind == DetailKind::Email ? "createEmail: label = %1, value = %2, identifier = %3"
                         : kind == DetailKind::Website ? "createURL: label = %1, value = %2, identifier = %3"
                                                       : nullptr;
    if (format)
        QDLogInfo(QString::fromLatin1(format).arg(entry.label, entry.value.toString(), entry.identifier));
}

} // namespace

void VCardAddressBookBridge::setupDetailsForContact(Person &person, const Record &contact, DetailKind kind)
{
    for (const ab::MultiValueEntry &entry : contact.multiValue(propertyFor(kind)).entries) {
        logCreation(kind, entry);
        createDetail(person, kind, entry, Record::localizedLabel(entry.label));
    }
}

int VCardAddressBookBridge::updateDetailsForContact(Person &person, const Record &contact, DetailKind kind)
{
    const QList<ab::MultiValueEntry> entries = contact.multiValue(propertyFor(kind)).entries;
    QList<Detail> existing = detailsOf(person, kind);
    QStringList values;
    QStringList identifiers;
    for (const Detail &d : existing) {
        values << storedCompared(d);
        if (!d.localIdentifier().isEmpty())
            identifiers << d.localIdentifier();
    }
    const bool cloudOn = SharedSettingController::sharedSettings().isCloudKitEnabled();
    QList<ab::MultiValueEntry> toPlace;
    int result = 0;
    const auto changedInPlace = [&] {
        if (result == 0)
            result = 1;
    };
    for (const ab::MultiValueEntry &entry : entries) {
        const QString label = Record::localizedLabel(entry.label);
        const QString value = contactCompared(kind, entry.value);
        if (identifiers.size() == existing.size() && identifiers.contains(entry.identifier)) {
            const qsizetype k = identifiers.indexOf(entry.identifier);
            const Detail d = existing.at(k);
            if (storedCompared(d) != value) {
                bool store = true;
                if (kind == DetailKind::Phone)
                    store = digitsOnly(d.text()) != digitsOnly(value);
                if (store) {
                    if (kind == DetailKind::Address)
                        static_cast<PersonAddress *>(d.object)->updateAddressWithAddressDictionary(entry.value.toMap());
                    else
                        d.fill(ab::MultiValueEntry{d.localIdentifier(), QString(), entry.value}, d.label());
                    changedInPlace();
                }
            }
            if (!labelStays(d.label(), label, entry.label, true, kind)) {
                d.setLabel(label);
                changedInPlace();
            }
            values.removeAt(k);
            existing.removeAt(k);
            identifiers.removeAt(k);
            continue;
        }
        const qsizetype k = values.indexOf(value);
        if (k >= 0) {
            const Detail d = existing.at(k);
            if (!labelStays(d.label(), label, entry.label, false, kind)) {
                d.setLabel(label);
                changedInPlace();
            }
            values.removeAt(k);
            existing.removeAt(k);
            if (d.localIdentifier().isEmpty() || (d.localIdentifier() != entry.identifier && cloudOn))
                d.setLocalIdentifier(entry.identifier);
            continue;
        }
        toPlace << entry;
    }
    for (const ab::MultiValueEntry &entry : std::as_const(toPlace)) {
        const QString label = Record::localizedLabel(entry.label);
        if (!existing.isEmpty()) {
            existing.takeFirst().fill(entry, label);
            changedInPlace();
        } else {
            logCreation(kind, entry);
            createDetail(person, kind, entry, label);
            result = 2;
        }
    }
    for (const Detail &d : std::as_const(existing)) {
        // The contact already lost it: nothing to write back.
        d.object->setDeleteFromAddressBook(false);
        person.managedObjectContext()->deleteObject(d.object);
        result = 2;
    }
    return result;
}

// ---- Import and refresh from the contact store

namespace {

const QList<QPair<QString, QString>> &personStringMap()
{
    static const QList<QPair<QString, QString>> map = {{QStringLiteral("firstName"), ab::property::FirstName},
                                                       {QStringLiteral("lastName"), ab::property::LastName},
                                                       {QStringLiteral("companyName"), ab::property::Organization},
                                                       {QStringLiteral("suffixName"), ab::property::Suffix},
                                                       {QStringLiteral("prefixName"), ab::property::Title},
                                                       {QStringLiteral("notesField"), ab::property::Note}};
    return map;
}

// The PersonInfo rule: an emptied value in the store leaves the stored one.
bool updateInfoStrings(PersonInfo *info, const ab::ContactRecord &contact)
{
    if (!info)
        return false;
    bool changed = false;
    for (const auto &[attribute, property] : infoStringMap()) {
        const QString incoming = contact.stringValue(property);
        if (incoming.isEmpty() || info->value(attribute).toString() == incoming)
            continue;
        info->setValue(attribute, incoming);
        changed = true;
    }
    return changed;
}

void deletePersonInfo(Person &person)
{
    if (PersonInfo *info = person.personinfo()) {
        person.setPersoninfo(nullptr);
        person.managedObjectContext()->deleteObject(info);
    }
}

} // namespace

bool VCardAddressBookBridge::checkAndUpdateStringProperty(Person &person, const QString &attribute,
                                                          const Record &contact, const QString &property)
{
    return checkAndUpdateString(person, attribute, contact.stringValue(property));
}

bool VCardAddressBookBridge::shouldCreatePersonInfoWithContact(const std::optional<Record> &contact)
{
    if (!contact)
        return false;
    if (contact->birthday().has_value())
        return true;
    for (const QString &p : {ab::property::Department, ab::property::JobTitle, ab::property::MiddleName,
                             ab::property::Nickname})
        if (!contact->stringValue(p).isEmpty())
            return true;
    return false;
}

bool VCardAddressBookBridge::doesPersonInfoHaveData(const Person &person)
{
    PersonInfo *info = person.personinfo();
    if (!info)
        return false;
    for (const QString &key : {QStringLiteral("middleName"), QStringLiteral("nickname"), QStringLiteral("departmentName"),
                               QStringLiteral("jobDescription"), QStringLiteral("phoneticFirstName"),
                               QStringLiteral("phoneticMiddleName"), QStringLiteral("phoneticLastName"),
                               QStringLiteral("previousFamilyName")}) {
        const QVariant value = info->value(key);
        if (value.isValid() && !value.isNull())
            return true;
    }
    return info->birthday().isValid();
}

ab::PartialDate VCardAddressBookBridge::relevantBirthdayDateComponentsFromComponent(const ab::PartialDate &components)
{
    return ab::PartialDate{components.year > 1899 ? components.year : 0, components.month, components.day};
}

bool VCardAddressBookBridge::checkUpdateBirthdayPropertyWithContactDateComponent(
    Person &person, const std::optional<ab::PartialDate> &components)
{
    PersonInfo *info = person.personinfo();
    const QDateTime stored = info ? info->birthday() : QDateTime();
    if (components && stored.isValid()) {
        const ab::PartialDate a = relevantBirthdayDateComponentsFromComponent(*components);
        const QDate storedDate = stored.toUTC().date();
        const ab::PartialDate b =
            relevantBirthdayDateComponentsFromComponent({storedDate.year(), storedDate.month(), storedDate.day()});
        const bool sameYear = !a.hasYear() || (b.hasYear() && a.year == b.year);
        if (a.day == b.day && a.month == b.month && sameYear)
            return false;
        if (!a.isValid())
            return false;
        const QDateTime updated = birthdayDate(a);
        QDLogInfo(QStringLiteral("checkAndUpdateIfNameChanged: update birthday from %1 to %2")
                      .arg(stored.toString(Qt::ISODate), updated.toString(Qt::ISODate)));
        info->setBirthday(updated);
        return true;
    }
    if (!components && stored.isValid()) {
        QDLogInfo(QStringLiteral("checkAndUpdateIfNameChanged - self.person.birthday exists but empty contacts ... "
                                 "removed birthday"));
        info->setBirthday(QDateTime());
        return true;
    }
    return false;
}

void VCardAddressBookBridge::setupCommonPropertiesWithContact(Person &person, const Record &contact)
{
    person.setCompositeName(formattedFullName(contact));
    QDLogInfo(QStringLiteral("settingCommonProperties, contact composite name = %1").arg(person.compositeName()));
    for (const auto &[attribute, property] : personStringMap())
        checkAndUpdateStringProperty(person, attribute, contact, property);
    if (person.guid().isEmpty())
        person.setGuid(Person::makePersonGUID());
    for (DetailKind kind : {DetailKind::Phone, DetailKind::Email, DetailKind::Address, DetailKind::Website}) {
        if (detailsOf(person, kind).isEmpty())
            setupDetailsForContact(person, contact, kind);
        else
            updateDetailsForContact(person, contact, kind);
    }
    if (!person.personinfo() && shouldCreatePersonInfoWithContact(contact)) {
        PersonInfo *info = insertPersonInfo(person);
        info->setValue(QStringLiteral("createdAt"), platform::core::Clock::now());
    }
    updateInfoStrings(person.personinfo(), contact);
    if (PersonInfo *info = person.personinfo()) {
        if (const auto birthday = contact.birthday()) {
            if (birthday->isValid()) {
                const QDateTime date = birthdayDate(*birthday);
                if (info->birthday() != date)
                    info->setBirthday(date);
            } else if (info->birthday().isValid()) {
                info->setBirthday(QDateTime());
            }
        }
        if (!doesPersonInfoHaveData(person)) {
            QDLogInfo(QStringLiteral("setupCommonPropertiesWithRecord: deleting PersonInfo since it is empty"));
            deletePersonInfo(person);
        }
    }
    person.setDisplayName(person.makeDisplayName());
}

bool VCardAddressBookBridge::updatePersonWithContact(Person &person, const Record &contact)
{
    person.setContactIdentifier(contact.uniqueId());
    if (!person.value(QStringLiteral("createdAt")).toDateTime().isValid())
        person.setValue(QStringLiteral("createdAt"), platform::core::Clock::now());
    setupCommonPropertiesWithContact(person, contact);
    PersonInfo *info = person.personinfo();
    if (!person.compositeName().isEmpty() && person.firstName().isNull() && person.lastName().isNull() &&
        person.companyName().isNull() && (!info || info->middleName().isNull()) && person.suffixName().isNull() &&
        person.prefixName().isNull()) {
        const QStringList words =
            person.compositeName().split(QRegularExpression(QStringLiteral("[ \\t]+")), Qt::SkipEmptyParts);
        if (words.size() == 1) {
            if (dataPlistValues().integerValue(Person::DisplayOrderSettingKey) != 0)
                person.setLastName(words.first());
            else
                person.setFirstName(words.first());
        } else if (words.size() >= 2) {
            person.setFirstName(words.at(0));
            person.setLastName(words.at(1));
        }
    }
    if (!person.isContactPrivate()) {
        person.setPersonImage(thumbnailImageForContact(contact));
    } else {
        const QByteArray thumbnail = thumbnailImageForContact(contact);
        const QByteArray full = fullImageForContact(contact);
        if (!thumbnail.isEmpty())
            person.setPrivateImage(thumbnail);
        else if (!full.isEmpty())
            person.setPrivateImage(full);
        // A contact without a picture gets no empty picture record, and a picture file it has stays.
        if (!full.isEmpty()) {
            PersonImage *picture = person.fullimage();
            if (!picture) {
                picture = person.managedObjectContext()->insertNewObject<PersonImage>(PersonImage::EntityName);
                picture->setPerson(&person);
                person.setFullimage(picture);
            }
            if (!picture->saveImageReferenceForData(full))
                QDLogError(QStringLiteral("updatePersonWithContact: the picture file was not written"));
        }
    }
    findABRecordIdentifier(person);
    return true;
}

Person *VCardAddressBookBridge::makeNewPersonWithContact(const Record &contact, bool isPrivate,
                                                         platform::store::ManagedObjectContext *context)
{
    auto *person = context->insertNewObject<Person>(Person::EntityName);
    person->setIsContactPrivate(isPrivate);
    updatePersonWithContact(*person, contact);
    QDError error;
    if (!context->save(&error))
        QDLogError(QStringLiteral("Unresolved error %1, %2").arg(error.localizedDescription(), error.toString()));
    return person;
}

int VCardAddressBookBridge::checkAndUpdateContactRecordWithImageCheck(Person &person, bool imageCheck)
{
    platform::store::ManagedObjectContext *context = person.managedObjectContext();
    if (!context || person.isDeleted())
        return RefreshNothing;
    QDError fetchError;
    if (!context->existingObjectWithID(person.objectID(), &fetchError) || !fetchError.isNull())
        return RefreshNothing;
    const QString identifier = person.contactIdentifier();
    if (identifier.isEmpty()) {
        person.setDontReloadRecord(true);
        return RefreshNoIdentifier;
    }
    const std::optional<Record> contact = m_book->recordForUniqueId(identifier);
    if (!contact) {
        person.setDontReloadRecord(true);
        return RefreshNothing;
    }
    if (person.isContactPrivate() || person.dontReloadRecord())
        return RefreshNothing;

    int result = RefreshNothing;
    if (imageCheck) {
        // Compared with what the contact would take, so that an unchanged picture is not reported again.
        const QByteArray full = fullImageForContact(*contact);
        if ((!thumbnailImageForContact(*contact).isEmpty() || !person.personImage().isEmpty()) &&
            person.personImage() != full) {
            QDLogInfo(QStringLiteral("checkContactInfo - picture changed!"));
            person.setPersonImage(full);
            result = RefreshPictureOnly;
        }
    }
    const struct
    {
        DetailKind kind;
        const char *log;
    } lists[] = {{DetailKind::Address, "updateAddressForContact is true - %1"},
                 {DetailKind::Email, "updateEmailsForContact is true - %1"},
                 {DetailKind::Phone, "updatePhonesForContact is true - %1"},
                 {DetailKind::Website, "updateURLSForContact is true - %1"}};
    for (const auto &list : lists) {
        const int changed = updateDetailsForContact(person, *contact, list.kind);
        if (changed == 0)
            continue;
        if (list.kind == DetailKind::Address || result != RefreshChanged) {
            result = changed;
            QDLogInfo(QString::fromLatin1(list.log).arg(person.displayName()));
        }
    }
    if (person.guid().isEmpty()) {
        person.setGuid(Person::makePersonGUID());
        result = RefreshChanged;
    }
    const QString fullName = formattedFullName(*contact);
    if (!fullName.isEmpty() && fullName != person.compositeName()) {
        QDLogInfo(QStringLiteral("name for %1 changed to %2").arg(person.compositeName(), fullName));
        person.setCompositeName(fullName);
        result = RefreshChanged;
    }
    for (const auto &[attribute, property] : personStringMap())
        if (checkAndUpdateStringProperty(person, attribute, *contact, property))
            result = RefreshChanged;
    if (!person.personinfo() && shouldCreatePersonInfoWithContact(contact)) {
        QDLogInfo(QStringLiteral("checkAndUpdateIfNameChanged: create new PersonInfo"));
        PersonInfo *info = insertPersonInfo(person);
        info->setValue(QStringLiteral("createdAt"), platform::core::Clock::now());
        result = RefreshChanged;
    }
    if (updateInfoStrings(person.personinfo(), *contact))
        result = RefreshChanged;
    const bool birthdayChanged = checkUpdateBirthdayPropertyWithContactDateComponent(person, contact->birthday());
    if (person.personinfo() && !doesPersonInfoHaveData(person)) {
        deletePersonInfo(person);
    } else if (result != RefreshChanged && !birthdayChanged) {
        if (result == RefreshDetailsAddedOrRemoved)
            person.setRecordModifiedDate(platform::core::Clock::now());
        return result;
    }
    person.remakeDisplayName();
    return RefreshChanged;
}

void VCardAddressBookBridge::loadReferenceImageForContactFramework(Person &person)
{
    if (person.dontReloadRecord() || person.isContactPrivate())
        return;
    const QString identifier = person.contactIdentifier();
    if (!identifier.isEmpty()) {
        const std::optional<Record> contact = m_book->recordForUniqueId(identifier);
        if (!contact) {
            QDLogInfo(QStringLiteral("loadImageRecord: contactIdentifier there but doesn't match ... %1")
                          .arg(person.displayName()));
            person.setContactIdentifier(QString());
            return;
        }
        const QByteArray thumbnail = thumbnailImageForContact(*contact);
        person.setPersonImage(!thumbnail.isEmpty() ? thumbnail : fullImageForContact(*contact));
        return;
    }
    if (const std::optional<Record> match = findContactRecordByDisplayName(person)) {
        person.setContactIdentifier(match->uniqueId());
        if (const std::optional<Record> contact = m_book->recordForUniqueId(match->uniqueId()))
            person.setPersonImage(thumbnailImageForContact(*contact));
        return;
    }
    person.setDontReloadRecord(true);
}

// ---- A new store contact filled from a contact

void VCardAddressBookBridge::populatePersonDataIntoMutableContact(Person &person, Record &contact)
{
    for (const auto &[attribute, property] : personStringMap())
        contact.setStringValue(property, person.value(attribute).toString());
    PersonInfo *info = person.personinfo();
    if (info && info->birthday().isValid()) {
        const QDate date = info->birthday().toLocalTime().date();
        contact.setBirthday(ab::PartialDate{date.year(), date.month(), date.day()});
    }
    for (const auto &[attribute, property] : infoStringMap())
        contact.setStringValue(property, info ? info->value(attribute).toString() : QString());
    for (DetailKind kind : {DetailKind::Phone, DetailKind::Email, DetailKind::Address, DetailKind::Website}) {
        const QList<Detail> details = detailsOf(person, kind);
        if (details.isEmpty())
            continue;
        ab::MultiValue list;
        for (const Detail &d : details) {
            QVariant value = d.text();
            if (kind == DetailKind::Address) {
                auto *address = static_cast<PersonAddress *>(d.object);
                QVariantMap map;
                map.insert(ab::address_key::City, address->city());
                map.insert(ab::address_key::Street, address->street());
                map.insert(ab::address_key::State, address->state());
                map.insert(ab::address_key::Country, address->country());
                map.insert(ab::address_key::CountryCode, address->countryCode());
                map.insert(ab::address_key::ZIP, address->zip());
                value = map;
            }
            list.add(value, d.label());
        }
        contact.setMultiValue(propertyFor(kind), list);
    }
    if (person.isContactPrivate())
        if (PersonImage *picture = person.fullimage())
            contact.setImageData(picture->dataFromImageReference());
}
