#include "Classes/Backups/QDAutomaticBackupController.h"

#include "Classes/CoreDataControllerShared.h"
#include "SharedAppGlobals.h"

#include "QuendelKit/Entities/Person.h"
#include "QuendelKit/Infra/QDLog.h"
#include "QuendelKit/Infra/QDReachability.h"
#include "QuendelKit/Settings/DataPlistValues.h"
#include "QuendelKit/Settings/SharedSettingController.h"

#include "platform/core/Clock.h"
#include "platform/core/Dispatch.h"
#include "platform/core/KeyedArchive.h"
#include "platform/core/UserDefaults.h"

#include <QDir>
#include <QFileInfo>

#include <algorithm>

using platform::core::Clock;
using platform::core::DateComponents;
using platform::core::Notification;
using platform::core::NotificationCenter;
using platform::core::ScopedObserver;
using platform::core::UserDefaults;

std::shared_ptr<QDAutomaticBackupController> QDAutomaticBackupController::create(platform::store::ContextPtr context)
{
    std::shared_ptr<QDAutomaticBackupController> controller(new QDAutomaticBackupController(std::move(context)));
    controller->setupRepeatTimer();
    controller->startListeners();
    return controller;
}

QDAutomaticBackupController::QDAutomaticBackupController(platform::store::ContextPtr context)
    : m_context(std::move(context)), m_queue(QueueName)
{
    QDLogInfo(QStringLiteral("QDAutomaticBackupController - initWithContext called"));
    m_queue.setMaxConcurrentOperationCount(1);
}

QDAutomaticBackupController::~QDAutomaticBackupController()
{
    stopListeners();
    if (m_repeatTimer)
        m_repeatTimer->invalidate();
}

void QDAutomaticBackupController::setupRepeatTimer()
{
    if (m_repeatTimer)
        m_repeatTimer->invalidate();
    std::weak_ptr<QDAutomaticBackupController> weak = weak_from_this();
    m_repeatTimer = platform::core::Timer::scheduledTimer(CheckIntervalMs, true, [weak](platform::core::Timer &) {
        if (auto self = weak.lock())
            self->checkForAutomaticBackupTime();
    });
}

void QDAutomaticBackupController::startListeners()
{
    std::weak_ptr<QDAutomaticBackupController> weak = weak_from_this();
    m_restoreObserver = ScopedObserver(CoreDataControllerShared::RestoreDBNotification, nullptr, [weak](const Notification &n) {
        if (auto self = weak.lock())
            self->restored_local_database(n);
    });
    m_preparationObserver =
        ScopedObserver(CoreDataControllerShared::RestoreDBPreparationNotification, nullptr, [weak](const Notification &n) {
            if (auto self = weak.lock())
                self->prepareForDBRestore(n);
        });
}

void QDAutomaticBackupController::stopListeners()
{
    m_restoreObserver.reset();
    m_preparationObserver.reset();
}

void QDAutomaticBackupController::prepareForDBRestore(const Notification &)
{
    m_context.reset();
    if (m_repeatTimer)
        m_repeatTimer->invalidate();
    m_repeatTimer.reset();
}

void QDAutomaticBackupController::restored_local_database(const Notification &notification)
{
    auto *context = static_cast<platform::store::ManagedObjectContext *>(const_cast<void *>(notification.object));
    m_context = context ? context->shared_from_this() : nullptr;
    setupRepeatTimer();
}

DateComponents QDAutomaticBackupController::storedInterval()
{
    const QVariant stored = dataPlistValues().value(IntervalKey);
    if (const auto value = platform::core::KeyedArchive::unarchive(stored.toByteArray())) {
        if (DateComponents::isDateComponents(*value))
            return value->value<DateComponents>();
    }
    DateComponents daily;
    daily.setHour(0);
    daily.setDay(1);
    daily.setWeekOfYear(0);
    return daily;
}

QDateTime QDAutomaticBackupController::dueDate(const QDateTime &last, const DateComponents &interval)
{
    // Calendar arithmetic in local time: a daily backup stays at the same hour across a change of clocks.
    QDateTime due = last.toLocalTime();
    auto field = [&](qint64 value) { return value == DateComponents::Undefined ? 0 : value; };
    due = due.addDays(field(interval.day()) + 7 * field(interval.weekOfYear()));
    due = due.addSecs(3600 * field(interval.hour()));
    return due.toUTC();
}

void QDAutomaticBackupController::checkForAutomaticBackupTime()
{
    SharedSettingController &settings = SharedSettingController::sharedSettings();
    if (iCloudEnabledInApp() || settings.isDropboxEnabled()) {
        const auto reachability = settings.reachabilityStatus();
        if (reachability && reachability->currentReachabilityStatus() == NotReachable)
            return;
    }
    const DataPlistValues &plist = dataPlistValues();
    if (!plist.boolValue(EnabledKey) || UserDefaults::standardUserDefaults()->boolForKey(TemporaryDisableKey)
        || m_startedBackup)
        return;

    QDateTime last = plist.dateValue(LastBackupTimestampKey);
    if (!last.isValid())
        last = plist.dateValue(FirstTimeDownloadDateKey);
    qint64 contacts = 1;
    if (m_context) {
        contacts = Person::countForAllPersonsWithContext(m_context.get());
    }
    if (contacts == 0)
        return;
    if (last.isValid()) {
        const QDateTime due = dueDate(last, storedInterval());
        if (!(due.toSecsSinceEpoch() < Clock::now().toSecsSinceEpoch()))
            return;
    }
    startAutomaticBackupProcessWithIsAutomatic(true);
}

void QDAutomaticBackupController::startAutomaticBackupProcessWithIsAutomatic(bool isAutomatic)
{
    QDLogInfo(QStringLiteral("QDAutomaticBackupController - startAutomaticBackupProcess - isAutomatic = %1").arg(int(isAutomatic)));
    UserDefaults::standardUserDefaults()->setObject(QStringLiteral("startAutomaticBackupProcessWithIsAutomatic:"),
                                                    BackupStartedKey);
    SharedAppGlobals::sharedAppGlobals().showNetworkActivityIndicator();
    m_startedBackup = true;
    auto backupFile = std::make_shared<BackupFile>();
    m_backupFile = backupFile;
    const auto coordinator = SharedAppGlobals::sharedAppGlobals().persistentCoordinatorForDatabaseUpdate();
    const qint64 limit = dataPlistValues().integerValue(MaximumLimitKey);

    std::shared_ptr<QDAutomaticBackupController> self = shared_from_this();
    m_queue.addOperation([self, backupFile, coordinator, limit] {
        QDLogInfo(QStringLiteral("QDAutomaticBackupController - begin createBackup operation"));
        QString made;
        backupFile->createBackupForBackupType(BackupTypeFull, coordinator,
                                              [&made](const QString &path, qint64, qint64) { made = path; });
        QDLogInfo(QStringLiteral("QDAutomaticBackupController - backup done - file = %1").arg(made));
        // Only once the new archive exists do older ones go; the folder keeps the limit and the new one.
        if (!made.isEmpty() && limit > 0)
            checkBackupFilesCountLimit(quint64(limit) + 1, QFileInfo(made).absolutePath());
        std::weak_ptr<QDAutomaticBackupController> weak = self;
        platform::core::dispatchAsyncMain([weak, made] {
            if (auto controller = weak.lock())
                controller->backupFinished(made);
            else
                NotificationCenter::defaultCenter().post(NewBackupAvailableNotification, nullptr, {{PathKey, made}});
        });
    });
}

void QDAutomaticBackupController::backupFinished(const QString &path)
{
    SharedAppGlobals::sharedAppGlobals().hideNetworkActivityIndicator();
    m_startedBackup = false;
    m_backupFile.reset();
    if (!path.isEmpty()) {
        dataPlistValues().setValue(LastBackupTimestampKey, Clock::now());
        SharedSettingController::sharedSettings().saveDataPlist();
    }
    NotificationCenter::defaultCenter().post(NewBackupAvailableNotification, nullptr, {{PathKey, path}});
    const auto defaults = UserDefaults::standardUserDefaults();
    defaults->removeObjectForKey(BackupStartedKey);
    defaults->setInteger(defaults->integerForKey(BackupCountKey) + 1, BackupCountKey);
}

QStringList QDAutomaticBackupController::checkBackupFilesCountLimit(quint64 keep, const QString &folder)
{
    QStringList removed;
    if (folder.isEmpty())
        return removed;
    QFileInfoList archives;
    for (const QFileInfo &entry : QDir(folder).entryInfoList(QDir::Files | QDir::NoDotAndDotDot)) {
        if (!entry.isSymLink() && BackupFile::isFullArchiveName(entry.fileName()))
            archives << entry;
    }
    if (quint64(archives.size()) <= keep)
        return removed;
    auto made = [](const QFileInfo &info) {
        const QDateTime birth = info.birthTime();
        return birth.isValid() ? birth : info.lastModified();
    };
    std::stable_sort(archives.begin(), archives.end(),
                     [&](const QFileInfo &a, const QFileInfo &b) { return made(a) > made(b); });
    while (quint64(archives.size()) > keep) {
        const QFileInfo oldest = archives.takeLast();
        if (oldest.exists() && QFile::remove(oldest.absoluteFilePath()))
            removed << oldest.fileName();
    }
    return removed;
}
