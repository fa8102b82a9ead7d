#include "CoreDataControllerShared.h"

#include "QuendelKit/Entities/FormFieldType.h"
#include "QuendelKit/Entities/FormFields.h"
#include "QuendelKit/Entities/LogTitle.h"
#include "QuendelKit/Entities/PersonImage.h"
#include "QuendelKit/Entities/ToDoTitle.h"
#include "QuendelKit/Infra/QDLog.h"
#include "QuendelKit/Settings/DataPlistValues.h"
#include "QuendelKit/Settings/QDAlertDisplay.h"
#include "QuendelKit/Settings/SharedSettingController.h"

#include "platform/core/UserDefaults.h"
#include "platform/store/FetchRequest.h"
#include "platform/store/ManagedObject.h"
#include "platform/store/ManagedObjectContext.h"
#include "platform/store/SortDescriptor.h"

#include <QDir>
#include <QFileInfo>

using platform::core::QDError;
using platform::core::UserDefaults;
using platform::store::ContextPtr;
using platform::store::FetchRequest;
using platform::store::ManagedObject;
using platform::store::PersistentStore;
using platform::store::Predicate;
using platform::store::SortDescriptor;
using platform::store::StoreCoordinator;

namespace {

using StorePtr = std::shared_ptr<PersistentStore>;

// The store's metadata, or nothing when there is no store to read it from.
std::optional<QVariantMap> metadataOf(const std::shared_ptr<StoreCoordinator> &coordinator, const StorePtr &store)
{
    if (!coordinator || !store)
        return std::nullopt;
    return coordinator->metadataForPersistentStore(store);
}

bool isReadOnly(const StorePtr &store)
{
    return store && store->isReadOnly();
}

} // namespace

// ---- Titles ----

bool CoreDataControllerShared::removeAddOtherFromTitles(int which)
{
    const ContextPtr context = managedObjectContext();
    if (!context)
        return false;
    bool saved = true;
    const QString entityName = which == 0 ? LogTitle::EntityName : ToDoTitle::EntityName;
    context->performAndWait([&] {
        FetchRequest matching(entityName);
        matching.setPredicate(
            Predicate::equal(QStringLiteral("title"), AddOtherTitle, platform::store::StringOption::CaseInsensitive));
        const QList<ManagedObject *> found = context->executeFetchRequest(matching);
        if (found.isEmpty())
            return;
        // Only the first: a list that holds it twice keeps the other, numbered with the rest.
        context->deleteObject(found.first());
        FetchRequest all(entityName);
        all.setSortDescriptors({SortDescriptor(QStringLiteral("displayOrder"))});
        qint64 order = 0;
        for (ManagedObject *title : context->executeFetchRequest(all))
            title->setValue(QStringLiteral("displayOrder"), order++);
        QDError error;
        saved = context->save(&error);
        if (!saved)
            QDAlertDisplay::sharedAlert()->showCoreDataError(QStringLiteral("removeAddOtherFromTitles"), error);
    });
    return saved;
}

// ---- Passes over a loaded store ----

void CoreDataControllerShared::customPostProcessingForStoreWithNameNormalization(const StorePtr &store)
{
    if (isReadOnly(store)) {
        QDLogInfo(QStringLiteral("CDC: customPostProcessingForStoreWithNameNormalization - READ-ONLY ... return"));
        return;
    }
    const std::optional<QVariantMap> metadata = metadataOf(loadedPersistentStoreCoordinator(), store);
    // The launch counter lives in the user defaults, raised after each load: the mark is made on the second
    // launch of a store's life, once.
    if (metadata && metadata->value(NormalizePersonNameAndLetterKey).toLongLong() < 1 &&
        UserDefaults::standardUserDefaults()->integerForKey(CountAppLaunchKey) == 1)
        processNormalizePersonAndLetterKeyForStore(store, managedObjectContext());
    customPostProcessingForStore(store);
}

void CoreDataControllerShared::customPostProcessingForStore(const StorePtr &store)
{
    customPostProcessingForStoreForFieldTypes(store);
    customPostProcessingForPinColor(store);
    customPostProcessingForMigratingPrivateImages(store);
}

void CoreDataControllerShared::processNormalizePersonAndLetterKeyForStore(const StorePtr &store,
                                                                         const ContextPtr &context)
{
    const std::shared_ptr<StoreCoordinator> coordinator = loadedPersistentStoreCoordinator();
    if (coordinator && store) {
        QVariantMap metadata = coordinator->metadataForPersistentStore(store);
        metadata.insert(NormalizePersonNameAndLetterKey, qint64(1));
        QDError error;
        if (!coordinator->setMetadata(metadata, store, &error))
            QDLogError(QStringLiteral("🚨🚨 CDC: processNormalizePersonAndLetterKeyForStore - %1 🚨🚨").arg(error.toString()));
    }
    if (context)
        context->performAndWait([&] {
            if (context->hasChanges())
                context->save(nullptr);
        });
}

void CoreDataControllerShared::customPostProcessingForStoreForFieldTypes(const StorePtr &store)
{
    if (isReadOnly(store))
        return;
    const std::optional<QVariantMap> metadata = metadataOf(loadedPersistentStoreCoordinator(), store);
    if (!metadata || metadata->value(FormFieldType::AddFormFieldTypeValuesKey).toLongLong() > 0) {
        QDLogInfo(QStringLiteral("** CDC: customPostProcessingForStoreFor FieldTypes - no updates needed"));
        return;
    }
    QDLogInfo(QStringLiteral("** CDC: customPostProcessingForStoreForFieldTypes for store = %1 **")
                  .arg(store->URL().toString()));
    const ContextPtr context = managedObjectContext();
    if (context)
        context->performAndWait([&] { FormFieldType::createFormFieldTypesIfNoneExistsInContext(context.get()); });
}

void CoreDataControllerShared::customPostProcessingForPinColor(const StorePtr &store)
{
    if (isReadOnly(store))
        return;
    const std::optional<QVariantMap> metadata = metadataOf(loadedPersistentStoreCoordinator(), store);
    const qint64 done = metadata ? metadata->value(FormFields::PinColorFormFieldKey).toLongLong() : 0;
    const bool due = (done == 0 || done == 1) &&
                     (!iCloudEnabledInApp() || !dataPlistValues().contains(FormFields::PinColorChangesPlistKey));
    if (!due) {
        QDLogInfo(QStringLiteral("** CDC: customPostProcessingFor PinColor - no updates needed"));
        return;
    }
    QDLogInfo(QStringLiteral("** CDC: customPostProcessingForPinColor - calling createPinColor **"));
    const ContextPtr context = managedObjectContext();
    if (context)
        context->performAndWait([&] { FormFields::createPinColorFieldIfNoneExistsWithContext(context.get(), false); });
}

void CoreDataControllerShared::customPostProcessingForMigratingPrivateImages(const StorePtr &store)
{
    if (isReadOnly(store))
        return;
    const std::optional<QVariantMap> metadata = metadataOf(loadedPersistentStoreCoordinator(), store);
    bool due = metadata && metadata->value(MigratePrivateImagesKey).toLongLong() <= 0;
    if (!due) {
        // A Dropbox archive not fetched since the tokens changed may bring pictures kept the old way.
        const DataPlistValues &plist = dataPlistValues();
        due = !plist.stringValue(DropBoxParentRevKey).isEmpty() && !plist.contains(DropboxV2MigrateTokensDoneKey);
    }
    if (!due) {
        QDLogInfo(QStringLiteral("** CDC: customPostProcessingFor MigratingPrivateImages - no updates needed"));
        return;
    }
    QDLogInfo(QStringLiteral("** CDC: customPostProcessingForMigratingPrivateImages for store = %1 **")
                  .arg(store ? store->URL().toString() : QString()));
    oneTimeMigrationForPrivateImagesForStore(store);
}

void CoreDataControllerShared::oneTimeMigrationForPrivateImagesForStore(const StorePtr &store)
{
    SharedSettingController &settings = SharedSettingController::sharedSettings();
    if (settings.isDropboxEnabled())
        settings.cleanupFileAttachmentsFileWithFilesToLoad({});
    const auto defaults = UserDefaults::standardUserDefaults();
    defaults->setInteger(1, PersonImageMigrationStartedKey);
    const ContextPtr context = managedObjectContext();
    if (context) {
        context->performAndWait([&] {
            // Identities only: each record reads its values when its turn comes.
            FetchRequest request = PersonImage::fetchRequest();
            request.setReturnsObjectsAsFaults(true);
            QDError error;
            const QList<ManagedObject *> records = context->executeFetchRequest(request, &error);
            bool touch = true;
            if (iCloudEnabledInApp()) {
                const QString folder = settings.urlForCloudPersonImageReferenceWithName(QString()).toLocalFile();
                const bool existed = !folder.isEmpty() && QFileInfo::exists(folder);
                if (!existed && !folder.isEmpty())
                    QDir().mkpath(folder);
                // The shared store's pictures are there already when its folder was.
                touch = !existed;
            }
            if (touch) {
                for (ManagedObject *record : records) {
                    if (auto *image = dynamic_cast<PersonImage *>(record))
                        image->migratePersonImage();
                    context->refreshObject(record, true);
                }
            }
            if (const std::shared_ptr<StoreCoordinator> coordinator = loadedPersistentStoreCoordinator();
                coordinator && store) {
                QVariantMap metadata = coordinator->metadataForPersistentStore(store);
                metadata.insert(MigratePrivateImagesKey, qint64(1));
                QDError metadataError;
                if (!coordinator->setMetadata(metadata, store, &metadataError))
                    QDLogError(QStringLiteral("🚨🚨 CDC: oneTimeMigrationForPrivateImagesForStore - %1 🚨🚨")
                                   .arg(metadataError.toString()));
            }
            // One error slot serves the fetch and the save: the count grows only when both went well.
            if (error.isNull() && context->hasChanges())
                context->save(&error);
            if (error.isNull()) {
                DataPlistValues &plist = dataPlistValues();
                plist.setValue(CountDropboxUnsavedChangesKey,
                               plist.integerValue(CountDropboxUnsavedChangesKey) + qint64(records.size()));
            }
        });
    }
    defaults->setInteger(2, PersonImageMigrationStartedKey);
}
