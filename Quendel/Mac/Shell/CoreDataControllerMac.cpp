#include "Mac/Shell/CoreDataControllerMac.h"

#include "QuendelKit/Infra/QDLog.h"
#include "QuendelKit/Settings/QDAlertDisplay.h"
#include "QuendelKit/Settings/SharedSettingController.h"

#include "platform/core/NotificationCenter.h"
#include "platform/store/ManagedObjectContext.h"

using platform::core::NotificationCenter;
using platform::store::ContextPtr;

void CoreDataControllerMac::loadPersistentStores()
{
    CoreDataControllerShared::loadPersistentStores();
}

void CoreDataControllerMac::updateVisualsWithAddUbiquityStart(bool, bool) {}

void CoreDataControllerMac::updateVisualsWithAddUbiquityFinish(bool) {}

void CoreDataControllerMac::updateVisualsFallbackStore() {}

void CoreDataControllerMac::handleDeleteAll() {}

void CoreDataControllerMac::cleanUpViewsBeforeRestoreWithDebugKey(const QString &)
{
    NotificationCenter::defaultCenter().post(RestoreDBPreparationNotification, nullptr);
    SharedSettingController::sharedSettings().cleanUpCaches();
    // Through the accessor, so the objects of a context that was never asked for are dropped the same way.
    if (const ContextPtr context = managedObjectContext())
        context->performAndWait([&] { context->reset(); });
    setManagedObjectContext(nullptr);
    setManagedObjectModel(nullptr);
}

void CoreDataControllerMac::reInitializePSCAfterCloudSettingChangeAndShowAlert(bool showAlert)
{
    // A coordinator that stayed keeps its model; the controller hands out that same model again, so entity
    // descriptions never come from two models at once.
    if (const auto coordinator = loadedPersistentStoreCoordinator())
        setManagedObjectModel(coordinator->managedObjectModel());

    const ContextPtr context = managedObjectContext();
    const auto coordinator = loadedPersistentStoreCoordinator();
    if (context && coordinator && !coordinator->persistentStores().isEmpty())
        NotificationCenter::defaultCenter().post(RestoreDBNotification, context.get());

    if (showAlert && !iCloudEnabledInApp())
        QDAlertDisplay::sharedAlert()->showAlertWithTitle(CloudTurnedOffAlertTitle, CloudTurnedOffAlertMessage);
}
