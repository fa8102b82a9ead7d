#pragma once

#include "support/TempHome.h"

#include "QuendelKit/Settings/DataPlistValues.h"
#include "QuendelKit/Settings/QDAlertDisplay.h"
#include "QuendelKit/Settings/SharedSettingController.h"

#include "platform/core/PropertyList.h"

#include "platform/core/UserDefaults.h"
#include "platform/ui/AlertPresenter.h"

#include <QCoreApplication>
#include <QDir>
#include <QTest>

namespace quendel::test {

// Empties the process's home (the data folder with the store, the settings, the keychain file, caches and
// documents) and drops what the process holds in memory of it, so that a test starts as on a new
// installation whatever ran before it in the same process.
inline void startWithEmptyHome()
{
    // Work queued by an earlier test (deferred deletes, timers due now) runs before its files go.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QCoreApplication::processEvents();
    const TempHome &home = processHome();
    for (const QString &folder : {home.dataHome(), home.cacheHome(), home.configHome(), home.documents()}) {
        QDir(folder).removeRecursively();
        QDir().mkpath(folder);
    }
    platform::core::UserDefaults::setStandardUserDefaults(nullptr);
    dataPlistValues().replace({});
    // The settings object starts once per process; what its start-up puts into an empty home is put in again.
    SharedSettingController &settings = SharedSettingController::sharedSettings();
    settings.setIsDropboxEnabled(false);
    settings.initAttachmentsDirectory();
    settings.addValuesToPlist();
    platform::core::UserDefaults::standardUserDefaults()->registerDefaults(dataPlistValues().snapshot());
    QDAlertDisplay::setSharedAlert(nullptr);
    auto &presenter = platform::ui::AlertPresenter::shared();
    presenter.clearAnswers();
    presenter.clearShownAlerts();
}

// What a new process would know of the home: the settings as stored in their files, nothing kept in memory.
inline void forgetSettingsInMemory()
{
    platform::core::UserDefaults::setStandardUserDefaults(nullptr);
    const QString path =
        SharedSettingController::sharedSettings().dataFilePath(QDSettingsKeys::DataPlistFileName);
    dataPlistValues().replace(platform::core::PropertyList::readDictionaryFile(path).value_or(QVariantMap()));
    platform::core::UserDefaults::standardUserDefaults()->registerDefaults(dataPlistValues().snapshot());
}

} // namespace quendel::test
