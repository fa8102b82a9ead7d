#include "QuendelKit/Entities/NSManagedObjectQDBase.h"

#include "QuendelKit/Entities/EntityValues.h"
#include "QuendelKit/Entities/ManagedObjectContextCloudKit.h"
#include "QuendelKit/Entities/NSManagedObject_Category.h"

#include "platform/core/Clock.h"

using namespace entity_values;

NSManagedObjectQDBase::NSManagedObjectQDBase() = default;
// NSManagedObjectQDBase+CloudFiles.cpp: a record that is gone is not reached by its pending downloads.
void forgetCloudFileDownloads(const NSManagedObjectQDBase *record);

NSManagedObjectQDBase::~NSManagedObjectQDBase()
{
    forgetCloudFileDownloads(this);
}

QString NSManagedObjectQDBase::entityName() const
{
    return entity() ? entity()->name() : QString();
}

QString NSManagedObjectQDBase::cloudKitID() const
{
    return string(*this, CloudKitIDKey);
}
void NSManagedObjectQDBase::setCloudKitID(const QString &cloudKitID)
{
    setValue(CloudKitIDKey, fromString(cloudKitID));
}
QByteArray NSManagedObjectQDBase::cloudKitFields() const
{
    return data(*this, CloudKitFieldsKey);
}
void NSManagedObjectQDBase::setCloudKitFields(const QByteArray &fields)
{
    setValue(CloudKitFieldsKey, fromData(fields));
}
bool NSManagedObjectQDBase::cloudKitRemotelyDeleted() const
{
    return boolean(*this, CloudKitRemotelyDeletedKey);
}
void NSManagedObjectQDBase::setCloudKitRemotelyDeleted(bool deleted)
{
    setValue(CloudKitRemotelyDeletedKey, deleted);
}
QDateTime NSManagedObjectQDBase::createdAt() const
{
    return date(*this, CreatedAtKey);
}
void NSManagedObjectQDBase::setCreatedAt(const QDateTime &createdAt)
{
    setValue(CreatedAtKey, fromDate(createdAt));
}
QDateTime NSManagedObjectQDBase::modifiedAt() const
{
    return date(*this, ModifiedAtKey);
}
void NSManagedObjectQDBase::setModifiedAt(const QDateTime &modifiedAt)
{
    setValue(ModifiedAtKey, fromDate(modifiedAt));
}

bool NSManagedObjectQDBase::isInMigrateStoreDestinationContext() const
{
    const platform::store::ManagedObjectContext *context = managedObjectContext();
    return context && context->name() == MigrateStoreDestinationContextName;
}

void NSManagedObjectQDBase::willSave()
{
    // A whole-store copy must reproduce the source exactly, empty identities and dates included.
    if (!isDeleted() && !isInMigrateStoreDestinationContext()) {
        // Primitive writes: stamping inside a save must not make the record changed again.
        if (primitiveValue(CloudKitIDKey).toString().isEmpty())
            setPrimitiveValue(CloudKitIDKey,
                              ManagedObjectContextCloudKit::generateCloudKitIDForEntityName(entityName()));
        const QDateTime now = platform::core::Clock::now().toUTC();
        setPrimitiveValue(ModifiedAtKey, now);
        if (!primitiveValue(CreatedAtKey).toDateTime().isValid())
            setPrimitiveValue(CreatedAtKey, now);
    }
    ManagedObject::willSave();
}

QString NSManagedObjectQDBase::escapeString(const QString &value)
{
    QString escaped = value;
    if (escaped.contains(QLatin1Char('"')))
        escaped.replace(QLatin1String("\""), QLatin1String("\"\""));
    if (escaped.contains(QLatin1Char(',')) || escaped.contains(QLatin1Char('"')) || escaped.contains(QLatin1Char('\n')))
        return QLatin1Char('"') + escaped + QLatin1Char('"');
    return escaped;
}

NSManagedObjectQDBase *
NSManagedObjectQDBase::makeCloneOfObjectWithContext(platform::store::ManagedObjectContext *context) const
{
    return dynamic_cast<NSManagedObjectQDBase *>(
        NSManagedObject_Category::makeCloneOfObjectWithContext(*this, context));
}

void NSManagedObjectQDBase::reassignToPerson(Person *)
{
    NSManagedObject_Category::logReassignFallback();
}
