#pragma once

#include "Classes/CoreDataControllerShared.h"

// The desktop store controller: the one the application delegate makes at launch and keeps for the life of
// the process. It supplies the store-swap hooks; the progress hooks of the older shared cloud store show
// nothing on the desktop.
class CoreDataControllerMac : public CoreDataControllerShared
{
public:
    using CoreDataControllerShared::CoreDataControllerShared;

    void loadPersistentStores() override;

    void updateVisualsWithAddUbiquityStart(bool isStart, bool isForcedChange) override;
    void updateVisualsWithAddUbiquityFinish(bool isFinish) override;
    void updateVisualsFallbackStore() override;
    void handleDeleteAll() override;
    void cleanUpViewsBeforeRestoreWithDebugKey(const QString &debugKey) override;
    void reInitializePSCAfterCloudSettingChangeAndShowAlert(bool showAlert) override;
};
