#include "QuendelKit/Entities/PersonWebsite.h"

#include "QuendelKit/Entities/ContactDetailSupport.h"
#include "QuendelKit/Entities/EntityValues.h"
#include "QuendelKit/Entities/Person.h"
#include "QuendelKit/Infra/QDLog.h"

#include <QRegularExpression>

using namespace entity_values;
using platform::store::Predicate;

platform::store::FetchRequest PersonWebsite::fetchRequest()
{
    return platform::store::FetchRequest(EntityName);
}

PersonWebsite *PersonWebsite::createPersonWebsiteWithURL(const QString &url, const QString &label,
                                                         const QString &identifier, Person *person)
{
    if (!person || !person->managedObjectContext())
        return nullptr;
    auto *record = person->managedObjectContext()->insertNewObject<PersonWebsite>(EntityName);
    if (!record)
        return nullptr;
    record->setPerson(person);
    record->setWebsiteLabel(label);
    record->setWebsiteURL(url);
    record->setLocalIdentifier(identifier);
    return record;
}

QString PersonWebsite::websiteURL() const
{
    return string(*this, QStringLiteral("websiteURL"));
}
void PersonWebsite::setWebsiteURL(const QString &value)
{
    const QString previous = websiteURL();
    setValue(QStringLiteral("websiteURL"), fromString(value));
    Person *owner = person();
    if (updateValueInAddressBook() && contact_detail::wasSaved(*this) && contact_detail::isLinkedPublic(owner)) {
        PersonAddressBookBridge::shared().updatePersonWebsiteInAddressBook(*owner, *this, previous);
        setUpdateValueInAddressBook(false);
    }
}
QString PersonWebsite::websiteLabel() const
{
    return string(*this, QStringLiteral("websiteLabel"));
}
void PersonWebsite::setWebsiteLabel(const QString &value)
{
    const QString previous = websiteLabel();
    setValue(QStringLiteral("websiteLabel"), fromString(value));
    Person *owner = person();
    if (contact_detail::wasSaved(*this) && contact_detail::isLinkedPublic(owner))
        PersonAddressBookBridge::shared().updatePersonWebsiteLabelInAddressBook(*owner, *this, previous);
}
QString PersonWebsite::localIdentifier() const
{
    return string(*this, QStringLiteral("localIdentifier"));
}
void PersonWebsite::setLocalIdentifier(const QString &value)
{
    setValue(QStringLiteral("localIdentifier"), fromString(value));
}

Person *PersonWebsite::person() const
{
    return toOne<Person>(*this, QStringLiteral("person"));
}
void PersonWebsite::setPerson(Person *object)
{
    setRelatedObject(QStringLiteral("person"), object);
}

QString PersonWebsite::checkAleternativeSpellingForLabel(const QString &label)
{
    if (label == QLatin1String("home page"))
        return QStringLiteral("homepage");
    if (label == QLatin1String("homepage"))
        return QStringLiteral("home page");
    return QString();
}

QUrl PersonWebsite::browsableURLFromString(const QString &text)
{
    const QString trimmed = text.trimmed();
    if (trimmed.isEmpty())
        return QUrl();
    // A scheme is letters, digits, "+", "-" or "." after a letter, then ":"; "example.com:8080" has none.
    static const QRegularExpression schemePattern(QStringLiteral("^([A-Za-z][A-Za-z0-9+.-]*):(?!\\d+(/|$))"));
    QString candidate = trimmed;
    const QRegularExpressionMatch match = schemePattern.match(trimmed);
    if (!match.hasMatch())
        candidate = QStringLiteral("http://") + trimmed;
    const QUrl url(candidate, QUrl::StrictMode);
    const QString scheme = url.scheme().toLower();
    if (!url.isValid() || (scheme != QLatin1String("http") && scheme != QLatin1String("https")) || url.host().isEmpty())
        return QUrl();
    return url;
}

void PersonWebsite::prepareForDeletion()
{
    NSManagedObjectQDBase::prepareForDeletion();
    Person *owner = person();
    if (!deleteFromAddressBook() || !owner)
        return;
    QDLogInfo(QStringLiteral("PersonWebsite - prepareForDeletion for %1").arg(websiteURL()));
    PersonAddressBookBridge::shared().deletePersonWebsiteFromAddressBook(*owner, *this);
}

void PersonWebsite::handleCloudKitInserted()
{
    Person *owner = person();
    if (!owner || owner->isContactPrivate() || owner->contactIdentifier().isEmpty())
        return;
    const auto entries =
        PersonAddressBookBridge::shared().multiValueEntries(*owner, PersonAddressBookBridge::DetailKind::Website);
    if (!entries)
        return;
    for (const PersonAddressBookBridge::Entry &entry : *entries) {
        if (entry.value == websiteURL() && entry.label == websiteLabel()) {
            setLocalIdentifier(entry.identifier);
            QDLogInfo(
                QStringLiteral("websiteURL and websitelabel matching; setting local id = %1").arg(entry.identifier));
            return;
        }
    }
}

bool PersonWebsite::checkIfDuplicateRecord()
{
    Person *owner = person();
    if (!owner)
        return false;
    const QString alternative = checkAleternativeSpellingForLabel(websiteLabel());
    for (PersonWebsite *other : owner->websites()) {
        if (other == this || other->objectID() == objectID())
            continue;
        if (!contact_detail::sameText(other->websiteURL(), websiteURL()))
            continue;
        if (contact_detail::sameText(other->websiteLabel(), websiteLabel()) ||
            contact_detail::sameText(other->websiteLabel(), alternative)) {
            QDLogInfo(QStringLiteral("PersonWebsite - checkIfDuplicateRecord returning YES - url = %1 for %2")
                          .arg(other->websiteURL(), owner->displayName()));
            return true;
        }
    }
    return false;
}

platform::store::ManagedObject *PersonWebsite::duplicateRecordToRemove()
{
    const QString alternative = checkAleternativeSpellingForLabel(websiteLabel());
    Predicate labels = contact_detail::equalOrNil(QStringLiteral("websiteLabel"), websiteLabel());
    if (!alternative.isEmpty())
        labels = labels || Predicate::equal(QStringLiteral("websiteLabel"), alternative);
    const Predicate predicate =
        Predicate::andOf({Predicate::equal(QStringLiteral("person"), person()),
                          contact_detail::equalOrNil(QStringLiteral("websiteURL"), websiteURL()), labels});
    return contact_detail::newestOfDuplicates(*this, predicate);
}
