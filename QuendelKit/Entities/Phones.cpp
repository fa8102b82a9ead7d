#include "QuendelKit/Entities/Phones.h"

#include "QuendelKit/Entities/ContactDetailSupport.h"
#include "QuendelKit/Entities/EntityValues.h"
#include "QuendelKit/Entities/Person.h"
#include "QuendelKit/Infra/QDLog.h"

using namespace entity_values;
using platform::store::Predicate;

platform::store::FetchRequest Phones::fetchRequest()
{
    return platform::store::FetchRequest(EntityName);
}

Phones *Phones::createPhoneWithPhoneNumber(const QString &value, const QString &label, const QString &identifier,
                                           platform::store::ManagedObjectContext *context)
{
    if (!context)
        return nullptr;
    auto *record = context->insertNewObject<Phones>(EntityName);
    if (record)
        record->updatePhoneWithPhoneNumber(value, label, identifier);
    return record;
}

void Phones::updatePhoneWithPhoneNumber(const QString &value, const QString &label, const QString &identifier)
{
    setPhoneNumber(value);
    setLabel(label);
    setLocalIdentifier(identifier);
}

QString Phones::phoneNumber() const
{
    return string(*this, QStringLiteral("phoneNumber"));
}
void Phones::setPhoneNumber(const QString &value)
{
    const QString previous = phoneNumber();
    setValue(QStringLiteral("phoneNumber"), fromString(value));
    Person *owner = person();
    if (updateValueInAddressBook() && contact_detail::wasSaved(*this) && contact_detail::isLinkedPublic(owner)) {
        PersonAddressBookBridge::shared().updatePersonPhoneInAddressBook(*owner, *this, previous);
        setUpdateValueInAddressBook(false);
    }
}
QString Phones::label() const
{
    return string(*this, QStringLiteral("label"));
}
void Phones::setLabel(const QString &value)
{
    const QString previous = label();
    setValue(QStringLiteral("label"), fromString(value));
    Person *owner = person();
    if (contact_detail::wasSaved(*this) && contact_detail::isLinkedPublic(owner))
        PersonAddressBookBridge::shared().updatePhoneLabelInAddressBook(*owner, *this, previous);
}
QString Phones::localIdentifier() const
{
    return string(*this, QStringLiteral("localIdentifier"));
}
void Phones::setLocalIdentifier(const QString &value)
{
    setValue(QStringLiteral("localIdentifier"), fromString(value));
}

Person *Phones::person() const
{
    return toOne<Person>(*this, QStringLiteral("person"));
}
void Phones::setPerson(Person *object)
{
    setRelatedObject(QStringLiteral("person"), object);
}

void Phones::prepareForDeletion()
{
    NSManagedObjectQDBase::prepareForDeletion();
    Person *owner = person();
    if (!deleteFromAddressBook() || !owner)
        return;
    QDLogInfo(QStringLiteral("Phones - prepareForDeletion"));
    PersonAddressBookBridge::shared().deletePersonPhoneFromAddressBook(*owner, *this);
}

void Phones::handleCloudKitInserted()
{
    Person *owner = person();
    if (!owner || owner->isContactPrivate() || owner->contactIdentifier().isEmpty())
        return;
    const auto entries =
        PersonAddressBookBridge::shared().multiValueEntries(*owner, PersonAddressBookBridge::DetailKind::Phone);
    if (!entries)
        return;
    for (const PersonAddressBookBridge::Entry &entry : *entries) {
        if (entry.value == phoneNumber() && entry.label == label()) {
            setLocalIdentifier(entry.identifier);
            QDLogInfo(QStringLiteral("phone and label matching; setting local id = %1").arg(entry.identifier));
            return;
        }
    }
}

bool Phones::checkIfDuplicateRecord()
{
    Person *owner = person();
    if (!owner)
        return false;
    for (Phones *other : owner->phones()) {
        if (other == this || other->objectID() == objectID())
            continue;
        if (contact_detail::sameText(other->phoneNumber(), phoneNumber()) &&
            contact_detail::sameText(other->label(), label())) {
            QDLogInfo(QStringLiteral("Phones - checkIfDuplicateRecord returning YES"));
            return true;
        }
    }
    return false;
}

platform::store::ManagedObject *Phones::duplicateRecordToRemove()
{
    const Predicate predicate =
        Predicate::andOf({Predicate::equal(QStringLiteral("person"), person()),
                          contact_detail::equalOrNil(QStringLiteral("phoneNumber"), phoneNumber()),
                          contact_detail::equalOrNil(QStringLiteral("label"), label())});
    return contact_detail::newestOfDuplicates(*this, predicate);
}
