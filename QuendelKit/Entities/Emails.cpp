#include "QuendelKit/Entities/Emails.h"

#include "QuendelKit/Entities/ContactDetailSupport.h"
#include "QuendelKit/Entities/EntityValues.h"
#include "QuendelKit/Entities/Person.h"
#include "QuendelKit/Infra/QDLog.h"

using namespace entity_values;
using platform::store::Predicate;

platform::store::FetchRequest Emails::fetchRequest()
{
    return platform::store::FetchRequest(EntityName);
}

Emails *Emails::createEmailWithEmailAddress(const QString &value, const QString &label, const QString &identifier,
                                            platform::store::ManagedObjectContext *context)
{
    if (!context)
        return nullptr;
    auto *record = context->insertNewObject<Emails>(EntityName);
    if (record)
        record->updateEmailWithEmailAddress(value, label, identifier);
    return record;
}

void Emails::updateEmailWithEmailAddress(const QString &value, const QString &label, const QString &identifier)
{
    setEmailAddress(value);
    setLabel(label);
    setLocalIdentifier(identifier);
}

QString Emails::emailAddress() const
{
    return string(*this, QStringLiteral("emailAddress"));
}
void Emails::setEmailAddress(const QString &value)
{
    const QString previous = emailAddress();
    setValue(QStringLiteral("emailAddress"), fromString(value));
    Person *owner = person();
    if (updateValueInAddressBook() && contact_detail::wasSaved(*this) && contact_detail::isLinkedPublic(owner)) {
        PersonAddressBookBridge::shared().updatePersonEmailInAddressBook(*owner, *this, previous);
        setUpdateValueInAddressBook(false);
    }
}
QString Emails::label() const
{
    return string(*this, QStringLiteral("label"));
}
void Emails::setLabel(const QString &value)
{
    const QString previous = label();
    setValue(QStringLiteral("label"), fromString(value));
    Person *owner = person();
    if (contact_detail::wasSaved(*this) && contact_detail::isLinkedPublic(owner))
        PersonAddressBookBridge::shared().updateEmailLabelInAddressBook(*owner, *this, previous);
}
QString Emails::localIdentifier() const
{
    return string(*this, QStringLiteral("localIdentifier"));
}
void Emails::setLocalIdentifier(const QString &value)
{
    setValue(QStringLiteral("localIdentifier"), fromString(value));
}

Person *Emails::person() const
{
    return toOne<Person>(*this, QStringLiteral("person"));
}
void Emails::setPerson(Person *object)
{
    setRelatedObject(QStringLiteral("person"), object);
}

void Emails::prepareForDeletion()
{
    NSManagedObjectQDBase::prepareForDeletion();
    Person *owner = person();
    if (!deleteFromAddressBook() || !owner)
        return;
    QDLogInfo(QStringLiteral("Emails - prepareForDeletion"));
    PersonAddressBookBridge::shared().deletePersonEmailFromAddressBook(*owner, *this);
}

void Emails::handleCloudKitInserted()
{
    Person *owner = person();
    if (!owner || owner->isContactPrivate() || owner->contactIdentifier().isEmpty())
        return;
    const auto entries =
        PersonAddressBookBridge::shared().multiValueEntries(*owner, PersonAddressBookBridge::DetailKind::Email);
    if (!entries)
        return;
    for (const PersonAddressBookBridge::Entry &entry : *entries) {
        if (entry.value == emailAddress() && entry.label == label()) {
            setLocalIdentifier(entry.identifier);
            QDLogInfo(QStringLiteral("email and label matching; setting local id = %1").arg(entry.identifier));
            return;
        }
    }
}

bool Emails::checkIfDuplicateRecord()
{
    Person *owner = person();
    if (!owner)
        return false;
    for (Emails *other : owner->emails()) {
        if (other == this || other->objectID() == objectID())
            continue;
        if (contact_detail::sameText(other->emailAddress(), emailAddress()) &&
            contact_detail::sameText(other->label(), label())) {
            return true;
        }
    }
    return false;
}

platform::store::ManagedObject *Emails::duplicateRecordToRemove()
{
    const Predicate predicate =
        Predicate::andOf({Predicate::equal(QStringLiteral("person"), person()),
                          contact_detail::equalOrNil(QStringLiteral("emailAddress"), emailAddress()),
                          contact_detail::equalOrNil(QStringLiteral("label"), label())});
    return contact_detail::newestOfDuplicates(*this, predicate);
}
