// Files of records in the older shared store's container: waiting for a file another machine added, and
// deleting one with its record.

#include "QuendelKit/Entities/CloudFileWatch.h"
#include "QuendelKit/Entities/NSManagedObjectQDBase.h"
#include "QuendelKit/Infra/QDLog.h"

#include "platform/core/Dispatch.h"
#include "platform/core/NotificationCenter.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>

#include <mutex>

namespace {

using Base = NSManagedObjectQDBase;

void postCompletion(NSManagedObjectQDBase *record, const QString &errorValue = {})
{
    QVariantMap info{{Base::DownloadedFileKey, QVariant::fromValue(record)}};
    if (!errorValue.isNull())
        info.insert(Base::FileDownloadErrorKey, errorValue);
    platform::core::NotificationCenter::defaultCenter().post(Base::CloudFileDownloadedNotification, nullptr, info);
}

// A watch lives on the main thread and goes there when the record lets it go.
std::shared_ptr<QObject> makeWatch(const QString &folder, const QString &name)
{
    return std::shared_ptr<QObject>(new CloudFileWatch(folder, name), [](QObject *watch) {
        // Its record is gone or done with it: nothing may reach the record from it any more.
        QObject::disconnect(watch, nullptr, nullptr, nullptr);
        if (platform::core::isMainThread())
            delete watch;
        else
            watch->deleteLater();
    });
}

// The records with a download asked for, each with the ticket of its latest request; a record leaves when it
// is destroyed, so work queued for it never reaches a record that is gone (nor a new one at its address).
// Never destroyed: records may outlive static destruction.
struct WaitingRecords
{
    std::mutex mutex;
    QHash<const NSManagedObjectQDBase *, quint64> tickets;
    quint64 last = 0;
};

WaitingRecords &waiting()
{
    static auto *records = new WaitingRecords;
    return *records;
}

quint64 registerDownload(const NSManagedObjectQDBase *record)
{
    WaitingRecords &w = waiting();
    std::lock_guard lock(w.mutex);
    w.tickets.insert(record, ++w.last);
    return w.last;
}

bool isWaiting(const NSManagedObjectQDBase *record, quint64 ticket)
{
    WaitingRecords &w = waiting();
    std::lock_guard lock(w.mutex);
    const auto it = w.tickets.constFind(record);
    return it != w.tickets.cend() && it.value() >= ticket;
}

} // namespace

void forgetCloudFileDownloads(const NSManagedObjectQDBase *record)
{
    WaitingRecords &w = waiting();
    std::lock_guard lock(w.mutex);
    w.tickets.remove(record);
}

void NSManagedObjectQDBase::downloadFileWithURL(const QUrl &url, const QString &localFilename)
{
    NSManagedObjectQDBase *record = this;
    const quint64 ticket = registerDownload(record);
    platform::core::detail::runOnWorker([record, ticket, url, localFilename] {
        // A record that is gone has nobody left to tell.
        if (!isWaiting(record, ticket))
            return;
        const QString path = url.isLocalFile() ? url.toLocalFile() : QString();
        const QString folder = path.isEmpty() ? QString() : QFileInfo(path).absolutePath();
        // A plain name only: the watch looks for exactly this file in exactly that folder.
        const bool plainName = !localFilename.isEmpty() && !localFilename.contains(QLatin1Char('/')) &&
                               localFilename != QLatin1String("..") && localFilename != QLatin1String(".");
        if (folder.isEmpty() || !QFileInfo(folder).isDir() || !plainName) {
            QDLogError(QStringLiteral("downloadFileFromCloud error in resourceValuesForKeys = %1").arg(url.toString()));
            postCompletion(record, DownloadFileError);
            return;
        }
        if (QFileInfo(path).isFile()) {
            QDLogInfo(QStringLiteral("downloadFileFromCloud - fileURL already downloaded"));
            postCompletion(record);
            return;
        }
        QDLogInfo(QStringLiteral("downloadFileFromCloud: starting metadata query"));
        platform::core::dispatchAsyncMain([record, ticket, folder, localFilename] {
            if (!isWaiting(record, ticket))
                return;
            if (auto *previous = dynamic_cast<CloudFileWatch *>(record->m_fileDownloadMonitorQuery.get()))
                previous->stop();
            std::shared_ptr<QObject> watch = makeWatch(folder, localFilename);
            auto *fileWatch = static_cast<CloudFileWatch *>(watch.get());
            QObject::connect(fileWatch, &CloudFileWatch::didUpdate, fileWatch,
                             [record, fileWatch] { record->liveUpdate(fileWatch); });
            record->m_fileDownloadMonitorQuery = watch;
            fileWatch->start();
            QDLogInfo(QStringLiteral("self.fileDownloadMonitorQuery = %1, started = %2")
                          .arg(localFilename)
                          .arg(fileWatch->isStarted() ? 1 : 0));
            // The file may have arrived between the look and the start of the watch.
            if (fileWatch->isCurrent())
                record->liveUpdate(fileWatch);
        });
    });
}

void NSManagedObjectQDBase::liveUpdate(QObject *query)
{
    QDLogInfo(QStringLiteral("liveUpdate for metadataQuery"));
    auto *watch = dynamic_cast<CloudFileWatch *>(query);
    if (!watch || query != m_fileDownloadMonitorQuery.get()) {
        QDLogInfo(QStringLiteral("liveUpdate for metadataQuery - different query?"));
        postCompletion(this, DownloadFileMissing);
        return;
    }
    if (watch->resultCount() == 0) {
        QDLogInfo(QStringLiteral("liveUpdate for metadataQuery - file not found"));
        return;
    }
    const double percent = watch->percentDownloaded();
    QDLogInfo(QStringLiteral("download progress for file = %1").arg(percent, 0, 'f', 6));
    platform::core::NotificationCenter::defaultCenter().post(
        CloudFileDownloadUpdateProgressNotification, nullptr,
        {{DownloadedFileKey, QVariant::fromValue(this)}, {FileDownloadProgressKey, percent}});
    if (watch->isCurrent()) {
        QDLogInfo(QStringLiteral("liveUpdate: file has downloaded ... stop query"));
        watch->stop();
        // The watch may be running this very call: it goes once the call is over.
        std::shared_ptr<QObject> done = std::move(m_fileDownloadMonitorQuery);
        QObject::disconnect(watch, nullptr, nullptr, nullptr);
        platform::core::dispatchAsyncMain([done] {});
        postCompletion(this);
    }
}

void NSManagedObjectQDBase::stopFileDownloadWatch()
{
    if (auto *watch = dynamic_cast<CloudFileWatch *>(m_fileDownloadMonitorQuery.get()); watch && watch->isStarted()) {
        QDLogInfo(QStringLiteral("NSManagedObjectBase: prepareForDeletion - stopQuery"));
        platform::core::dispatchSyncMain([watch] { watch->stop(); });
    }
}

void NSManagedObjectQDBase::deleteCloudFileWithURL(const QUrl &url)
{
    stopFileDownloadWatch();
    const QString path = url.isLocalFile() ? url.toLocalFile() : QString();
    if (path.isEmpty() || !QFileInfo::exists(path))
        return;
    QDLogInfo(QStringLiteral("NSManagedObjectBase: prepareForDeletion: deleting file from iCloud - %1").arg(path));
    if (!QFile::remove(path))
        QDLogError(QStringLiteral("saveDeletedFile: setUbiquitous ERROR: %1").arg(path));
}
