#include "QuendelKit/Entities/NSManagedObject_Category.h"

#include "QuendelKit/Entities/NSManagedObjectQDBase.h"
#include "QuendelKit/Infra/QDLog.h"

#include "platform/core/Clock.h"

using platform::store::ManagedObject;
using platform::store::ManagedObjectContext;

ManagedObject *NSManagedObject_Category::makeCloneOfObjectWithContext(const ManagedObject &source,
                                                                      ManagedObjectContext *context)
{
    if (!context || !source.entity())
        return nullptr;
    ManagedObject *clone = context->insertNewObject(source.entity()->name());
    if (!clone)
        return nullptr;
    for (const platform::store::AttributeDescription &attribute : clone->entity()->attributes())
        clone->setValue(attribute.name, source.value(attribute.name));

    const platform::store::EntityDescription *entity = clone->entity();
    if (entity->attribute(NSManagedObjectQDBase::CreatedAtKey))
        clone->setValue(NSManagedObjectQDBase::CreatedAtKey, platform::core::Clock::now().toUTC());
    for (const QString &key : {NSManagedObjectQDBase::CloudKitIDKey, NSManagedObjectQDBase::CloudKitFieldsKey,
                               NSManagedObjectQDBase::CloudKitRemotelyDeletedKey}) {
        if (entity->attribute(key))
            clone->setValue(key, QVariant());
    }
    return clone;
}

void NSManagedObject_Category::reassignToPerson(ManagedObject &object, Person *person)
{
    if (auto *record = dynamic_cast<NSManagedObjectQDBase *>(&object))
        record->reassignToPerson(person);
    else
        logReassignFallback();
}

void NSManagedObject_Category::logReassignFallback()
{
    QDLogInfo(ReassignFallbackLogLine);
}
