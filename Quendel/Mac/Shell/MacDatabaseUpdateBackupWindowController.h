#pragma once

#include "Classes/Backups/BackupFile.h"
#include "Classes/LaunchServices.h"

#include "platform/core/OperationQueue.h"
#include "platform/core/Timer.h"

#include <QDateTime>
#include <QPointer>

#include <memory>

class QLabel;
class QProgressBar;
class QPushButton;

namespace platform::ui {
class Sheet;
}

// The sheet that makes a full backup before the store is updated or replaced, with its progress; then it
// hands control back. The first sheet ever cannot be cancelled; later ones can, during their first three
// seconds. A backup that made no archive says so: the update is not marked as backed up and the sheet comes
// back at the next start.
class MacDatabaseUpdateBackupWindowController : public DatabaseUpdateSheetService,
                                                public std::enable_shared_from_this<MacDatabaseUpdateBackupWindowController>
{
public:
    static inline const QString UpdateBackupCountKey = QStringLiteral("UpdateBackupCount");
    static inline const QString AnalyticsEvent = QStringLiteral("DatabaseBackupOnUpdateProcess");
    static constexpr qint64 StartDelayMs = 3000;

    explicit MacDatabaseUpdateBackupWindowController(quint32 backupType);
    ~MacDatabaseUpdateBackupWindowController() override;

    void beginSheet(QWidget *window, std::function<void(quint32 type)> completedBackup,
                    std::function<void()> ended) override;
    bool isAttached() const override;
    QWidget *sheetWindow() const override;

    void windowDidLoad();
    void startBackupForUpdate();
    void backupProcessComplete();
    void cancelBackupButtonPressed();

    // Progress, each on the main thread.
    void backupFileStartWithTotalFiles(quint64 total);
    void backupFileAddedMainDB();
    void backupFileUpdateStatusWithLocalFiles(quint64 handled);
    void backupFileUpdateStatusWithDownloadIncrementalProgress(double fraction, quint64 completed);

    quint32 backupType() const { return m_backupType; }
    QString progressText() const;
    int progressValue() const;
    bool cancelButtonVisible() const;
    bool cancelButtonEnabled() const;
    QString title() const;

private:
    void backupDone(const QString &path);

    quint32 m_backupType;
    QPointer<platform::ui::Sheet> m_sheet;
    QProgressBar *m_progressBar = nullptr;
    QLabel *m_progressText = nullptr;
    QLabel *m_titleMessage = nullptr;
    QPushButton *m_cancelButton = nullptr;
    std::function<void(quint32)> m_completedBackup;
    std::function<void()> m_ended;
    std::shared_ptr<BackupFile> m_cloudBackupFile;
    std::shared_ptr<platform::store::StoreCoordinator> m_coordinator;
    std::shared_ptr<platform::core::Timer> m_timer;
    platform::core::OperationQueue m_queue;
    QDateTime m_viewStartTime;
    bool m_cancelBackup = false;
    bool m_backupFailed = false;
    bool m_started = false;
    quint64 m_backupFileAttachmentsCount = 0;
    float m_totalProgressCount = 1;
};
