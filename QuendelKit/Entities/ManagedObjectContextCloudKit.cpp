#include "QuendelKit/Entities/ManagedObjectContextCloudKit.h"

#include "QuendelKit/Entities/NSManagedObjectQDBase.h"
#include "QuendelKit/Infra/QDLog.h"

#include "platform/store/FetchRequest.h"
#include "platform/store/Predicate.h"
#include "platform/store/StoreCoordinator.h"

#include <QUuid>

using platform::store::FetchRequest;
using platform::store::ManagedObject;
using platform::store::ManagedObjectContext;
using platform::store::Predicate;

QString ManagedObjectContextCloudKit::generateCloudKitIDForEntityName(const QString &entityName)
{
    return QStringLiteral("%1.%2").arg(entityName, QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper());
}

QString ManagedObjectContextCloudKit::entityNameForCloudID(const QString &cloudID)
{
    const qsizetype point = cloudID.indexOf(QLatin1Char('.'));
    return point < 0 ? cloudID : cloudID.left(point);
}

namespace {
const platform::store::ManagedObjectModel *modelOf(ManagedObjectContext *context)
{
    if (auto coordinator = context->persistentStoreCoordinator())
        return coordinator->managedObjectModel().get();
    for (auto parent = context->parentContext(); parent; parent = parent->parentContext()) {
        if (auto coordinator = parent->persistentStoreCoordinator())
            return coordinator->managedObjectModel().get();
    }
    return nullptr;
}
} // namespace

ManagedObject *ManagedObjectContextCloudKit::objectWithCloudID(ManagedObjectContext *context, const QString &cloudID)
{
    if (!context || cloudID.isEmpty())
        return nullptr;
    ManagedObject *found = nullptr;
    context->performAndWait([&] {
        const QString entityName = entityNameForCloudID(cloudID);
        const platform::store::ManagedObjectModel *model = modelOf(context);
        // An identifier from another device may name an entity this model lacks; that is "not found".
        if (!model || !model->entity(entityName))
            return;
        FetchRequest request(entityName);
        request.setPredicate(
            std::make_shared<Predicate>(Predicate::equal(NSManagedObjectQDBase::CloudKitIDKey, cloudID)));
        request.setFetchLimit(1);
        platform::core::QDError error;
        const QList<ManagedObject *> results = context->executeFetchRequest(request, &error);
        if (error)
            QDLogError(QStringLiteral("objectWithCloudID: fetch failed for %1: %2").arg(cloudID, error.toString()));
        if (!results.isEmpty())
            found = results.first();
    });
    return found;
}
