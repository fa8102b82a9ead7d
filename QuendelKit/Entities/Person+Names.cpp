#include "QuendelKit/Entities/Person.h"

#include "QuendelKit/Entities/Emails.h"
#include "QuendelKit/Entities/EntityValues.h"
#include "QuendelKit/Entities/PersonAddress.h"
#include "QuendelKit/Entities/PersonInfo.h"
#include "QuendelKit/Entities/Phones.h"
#include "QuendelKit/Infra/NormalizedStringTransformer.h"
#include "QuendelKit/Infra/QDLog.h"
#include "QuendelKit/Settings/DataPlistValues.h"
#include "QuendelKit/Settings/SharedSettingController.h"

#include "platform/store/Predicate.h"

#include <QUuid>

using namespace entity_values;
using platform::store::ManagedObjectContext;

namespace {

QString joinedNonEmpty(std::initializer_list<QString> parts)
{
    QStringList kept;
    for (const QString &part : parts) {
        if (!part.isEmpty())
            kept.append(part);
    }
    return kept.join(QLatin1Char(' '));
}

qint64 setting(const QString &key)
{
    return dataPlistValues().integerValue(key);
}

// A section is a single capital (or title-case) letter; anything else a name may begin with (a digit,
// punctuation, an accent left after the base letter, a letter capitalisation could not raise) is "#".
bool isSectionLetter(const QString &letter)
{
    if (letter.isEmpty())
        return false;
    for (const char32_t codePoint : letter.toUcs4()) {
        const QChar::Category category = QChar::category(codePoint);
        if (category != QChar::Letter_Uppercase && category != QChar::Letter_Titlecase)
            return false;
    }
    return true;
}

} // namespace

void Person::setFirstName(const QString &value)
{
    setValue(QStringLiteral("firstName"), fromString(value));
    setDisplayName(makeDisplayName());
}

void Person::setLastName(const QString &value)
{
    setValue(QStringLiteral("lastName"), fromString(value));
    setDisplayName(makeDisplayName());
}

void Person::setDisplayName(const QString &value)
{
    setValue(QStringLiteral("displayName"), fromString(value));
    setNormalizedDisplayName(NormalizedStringTransformer::normalizeString(makeSortingName()));
}

void Person::setNormalizedDisplayName(const QString &value)
{
    setValue(QStringLiteral("normalizedDisplayName"), fromString(value));

    QString section;
    if (setting(SortOrderSettingKey) == SortByDisplayNameInCompanies) {
        const QString company = companyName();
        section = company.isEmpty() ? OtherSection : company;
    } else {
        const QString letter = NormalizedStringTransformer::normalizeStringForFirstLetter(value);
        section = isSectionLetter(letter) ? letter : OtherSection;
    }
    setNormalizedSectionLetter(section);
}

QString Person::makePersonGUID()
{
    return QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper();
}

Person *Person::getContactByGUID(const QString &guid, ManagedObjectContext *context)
{
    if (!context || guid.isEmpty())
        return nullptr;
    // Equality rather than a pattern: a guid is matched as it stands, never as wildcards.
    platform::store::FetchRequest request = fetchRequest();
    request.setPredicate(platform::store::Predicate::equal(QStringLiteral("guid"), guid));
    request.setFetchLimit(1);
    platform::core::QDError error;
    const QList<platform::store::ManagedObject *> found = context->executeFetchRequest(request, &error);
    return found.isEmpty() ? nullptr : dynamic_cast<Person *>(found.first());
}

QString Person::makeDisplayName() const
{
    const PersonInfo *info = personinfo();
    const QString middle = info ? info->middleName() : QString();
    QString name;
    switch (setting(DisplayOrderSettingKey)) {
    case 0:
        name = joinedNonEmpty({prefixName(), firstName(), middle, lastName(), suffixName()});
        break;
    case 1:
        name = joinedNonEmpty({prefixName(), lastName(), middle, firstName(), suffixName()});
        break;
    default:
        break;
    }
    if (!name.isEmpty())
        return name;
    if (const QString company = companyName(); !company.isEmpty())
        return company;
    if (const QString email = primaryEmail(); !email.isEmpty())
        return email;
    return NoNameText;
}

QString Person::makeSortingName() const
{
    const qint64 order = setting(SortOrderSettingKey);
    const QString display = displayName();
    if (order == SortByDisplayNameInCompanies)
        return display.isEmpty() ? OtherSection : display;

    const QString company = companyName();
    if (!company.isEmpty() && display == company)
        return company;

    const PersonInfo *info = personinfo();
    const QString middle = info ? info->middleName() : QString();
    const QString nickname = info ? info->nickname() : QString();
    QString name = order == 0 ? joinedNonEmpty({firstName(), middle, lastName(), nickname})
                              : joinedNonEmpty({lastName(), middle, firstName(), nickname});
    if (name.isEmpty()) {
        for (const QString &fallback : {company, primaryEmail(), display, NoNameText}) {
            if (!fallback.isEmpty()) {
                name = fallback;
                break;
            }
        }
    }
    return name.isEmpty() ? OtherSection : name;
}

void Person::remakeDisplayName()
{
    const QString name = makeDisplayName();
    if (name != displayName())
        setDisplayName(name);
}

void Person::remakeSortingName()
{
    const QString previous = normalizedDisplayName();
    const QString sortingName = NormalizedStringTransformer::normalizeString(makeSortingName());
    setNormalizedDisplayName(sortingName);
    QDLogInfo(QStringLiteral("remakeSortingName: sortingName %1 changed to %2").arg(previous, sortingName));
}

QString Person::primaryEmail() const
{
    if (m_primaryEmail.isEmpty()) {
        const QList<Emails *> all = emails();
        if (!all.isEmpty())
            m_primaryEmail = all.first()->emailAddress();
    }
    return m_primaryEmail;
}

void Person::setPrimaryEmail(const QString &email)
{
    m_primaryEmail = email;
}

QString Person::contactIdentifier() const
{
    if (m_contactIdentifier.isNull())
        m_contactIdentifier = SharedSettingController::sharedSettings().contactUniqueIdentiferForObjectID(objectID());
    return m_contactIdentifier;
}

void Person::setContactIdentifier(const QString &identifier)
{
    m_contactIdentifier = identifier;
    if (objectID().isNull() || objectID().isTemporaryID())
        return;
    SharedSettingController &settings = SharedSettingController::sharedSettings();
    if (identifier.isNull())
        settings.cleanupContactReferenceIDWithObjectID(objectID());
    else
        settings.setContactUniqueIdentifer(identifier, objectID());
}

QString Person::personReferenceKey() const
{
    if (SharedSettingController::sharedSettings().globalContactStore())
        return contactIdentifier();
    return macUniqueIdentifier();
}

Person *Person::cloneObjectWithContext(ManagedObjectContext *context) const
{
    auto *clone = dynamic_cast<Person *>(makeCloneOfObjectWithContext(context));
    if (!clone)
        return nullptr;
    if (const PersonInfo *info = personinfo())
        clone->setPersoninfo(dynamic_cast<PersonInfo *>(info->makeCloneOfObjectWithContext(context)));
    for (const Phones *phone : phones()) {
        if (auto *copy = dynamic_cast<Phones *>(phone->makeCloneOfObjectWithContext(context)))
            clone->addPhonesObject(copy);
    }
    for (const Emails *email : emails()) {
        if (auto *copy = dynamic_cast<Emails *>(email->makeCloneOfObjectWithContext(context)))
            clone->addEmailsObject(copy);
    }
    for (const PersonAddress *address : addresses()) {
        if (auto *copy = dynamic_cast<PersonAddress *>(address->makeCloneOfObjectWithContext(context)))
            clone->addAddressesObject(copy);
    }
    clone->setGuid(makePersonGUID());
    return clone;
}

void Person::cleanupReferences()
{
    const platform::store::ManagedObjectID id = objectID();
    if (id.isNull())
        return;
    SharedSettingController &settings = SharedSettingController::sharedSettings();
    settings.cleanupContactReferenceIDWithObjectID(id);
    const QString pictureKey = id.URIRepresentation().toString();
    const auto removePicture = [pictureKey] { imageCacheApp().remove(pictureKey); };
    if (const std::shared_ptr<platform::core::DispatchQueue> queue = settings.imageCacheQueue())
        queue->syncBarrier(removePicture);
    else
        removePicture();
}

void Person::awakeFromInsert()
{
    NSManagedObjectQDBase::awakeFromInsert();
    const ManagedObjectContext *context = managedObjectContext();
    // Editors, imports and the address-book bridge work in child contexts and give their new contacts a
    // guid themselves, so a discarded draft never takes one.
    if (!context || context->parentContext() || isInMigrateStoreDestinationContext())
        return;
    if (guid().isEmpty())
        setGuid(makePersonGUID());
}

void Person::prepareForDeletion()
{
    QDLogInfo(QStringLiteral("Person - prepareForDeletion - %1").arg(displayName()));
    cleanupReferences();
    NSManagedObjectQDBase::prepareForDeletion();
}
