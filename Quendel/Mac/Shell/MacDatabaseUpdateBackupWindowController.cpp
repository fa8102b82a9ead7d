#include "Mac/Shell/MacDatabaseUpdateBackupWindowController.h"

#include "SharedAppGlobals.h"

#include "QuendelKit/Infra/QDLog.h"
#include "QuendelKit/Settings/DataPlistValues.h"
#include "QuendelKit/Settings/SharedSettingController.h"

#include "platform/core/Clock.h"
#include "platform/core/Dispatch.h"
#include "platform/core/UserDefaults.h"
#include "platform/ui/Sheet.h"

#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

using platform::core::Clock;
using platform::core::UserDefaults;

namespace {

// Hands the archive writer's progress to the sheet on the main thread.
class SheetProgress : public BackupFileDelegate
{
public:
    explicit SheetProgress(std::weak_ptr<MacDatabaseUpdateBackupWindowController> sheet) : m_sheet(std::move(sheet)) {}
    void backupFileStartWithTotalFiles(quint64 total) override
    {
        post([total](auto &s) { s.backupFileStartWithTotalFiles(total); });
    }
    void backupFileAddedMainDB() override
    {
        post([](auto &s) { s.backupFileAddedMainDB(); });
    }
    void backupFileUpdateStatusWithLocalFiles(quint64 handled) override
    {
        post([handled](auto &s) { s.backupFileUpdateStatusWithLocalFiles(handled); });
    }
    void backupFileUpdateStatusWithDownloadIncrementalProgress(double fraction, quint64 completed) override
    {
        post([fraction, completed](auto &s) { s.backupFileUpdateStatusWithDownloadIncrementalProgress(fraction, completed); });
    }

private:
    template <typename F> void post(F f)
    {
        std::weak_ptr<MacDatabaseUpdateBackupWindowController> weak = m_sheet;
        platform::core::dispatchAsyncMain([weak, f] {
            if (auto sheet = weak.lock())
                f(*sheet);
        });
    }
    std::weak_ptr<MacDatabaseUpdateBackupWindowController> m_sheet;
};

void analytics(const QString &key, const QString &value)
{
    SharedAppGlobals::sharedAppGlobals().logAnalyticsEvent(MacDatabaseUpdateBackupWindowController::AnalyticsEvent,
                                                           {{key, value}});
}

} // namespace

MacDatabaseUpdateBackupWindowController::MacDatabaseUpdateBackupWindowController(quint32 backupType)
    : m_backupType(backupType), m_queue(QStringLiteral("DatabaseUpdateBackupQueue"))
{
    m_queue.setMaxConcurrentOperationCount(1);
}

MacDatabaseUpdateBackupWindowController::~MacDatabaseUpdateBackupWindowController()
{
    if (m_timer)
        m_timer->invalidate();
    m_queue.waitUntilAllOperationsAreFinished();
    delete m_sheet.data();
}

bool MacDatabaseUpdateBackupWindowController::isAttached() const
{
    return m_sheet && m_sheet->isActive();
}

QWidget *MacDatabaseUpdateBackupWindowController::sheetWindow() const
{
    return m_sheet;
}

QString MacDatabaseUpdateBackupWindowController::progressText() const
{
    return m_progressText ? m_progressText->text() : QString();
}

int MacDatabaseUpdateBackupWindowController::progressValue() const
{
    return m_progressBar ? m_progressBar->value() : 0;
}

bool MacDatabaseUpdateBackupWindowController::cancelButtonVisible() const
{
    return m_cancelButton && !m_cancelButton->isHidden();
}

bool MacDatabaseUpdateBackupWindowController::cancelButtonEnabled() const
{
    return m_cancelButton && m_cancelButton->isEnabled();
}

QString MacDatabaseUpdateBackupWindowController::title() const
{
    return m_titleMessage ? m_titleMessage->text() : QString();
}

void MacDatabaseUpdateBackupWindowController::beginSheet(QWidget *window, std::function<void(quint32)> completedBackup,
                                                         std::function<void()> ended)
{
    m_completedBackup = std::move(completedBackup);
    m_ended = std::move(ended);
    m_sheet = new platform::ui::Sheet;
    m_sheet->setObjectName(QStringLiteral("MacDatabaseUpdateBackupWindowController"));
    m_sheet->setAccessibleName(QStringLiteral("Backing up before the update"));
    m_sheet->setDeleteOnEnd(false);
    auto *content = new QWidget;
    auto *column = new QVBoxLayout(content);
    m_titleMessage = new QLabel(content);
    m_titleMessage->setTextFormat(Qt::PlainText);
    QFont bold = m_titleMessage->font();
    bold.setBold(true);
    m_titleMessage->setFont(bold);
    m_progressBar = new QProgressBar(content);
    m_progressBar->setRange(0, 100);
    m_progressBar->setAccessibleName(QStringLiteral("Backup progress"));
    m_progressBar->setMinimumWidth(360);
    m_progressText = new QLabel(content);
    m_progressText->setTextFormat(Qt::PlainText);
    m_progressText->setAccessibleName(QStringLiteral("Backup status"));
    m_cancelButton = new QPushButton(QStringLiteral("Cancel"), content);
    m_cancelButton->setAccessibleName(QStringLiteral("Cancel backup"));
    QObject::connect(m_cancelButton, &QPushButton::clicked, m_sheet, [this] { cancelBackupButtonPressed(); });
    column->addWidget(m_titleMessage);
    column->addWidget(m_progressBar);
    column->addWidget(m_progressText);
    column->addWidget(m_cancelButton, 0, Qt::AlignRight);
    m_sheet->setContentWidget(content);
    windowDidLoad();
    std::weak_ptr<MacDatabaseUpdateBackupWindowController> weak = weak_from_this();
    m_sheet->beginSheet(window, [weak](int) {
        auto self = weak.lock();
        if (self && self->m_ended) {
            auto ended = std::move(self->m_ended);
            self->m_ended = nullptr;
            ended();
        }
    });
}

void MacDatabaseUpdateBackupWindowController::windowDidLoad()
{
    m_viewStartTime = Clock::now();
    m_progressBar->setValue(5);
    m_progressText->setText(QStringLiteral("Starting backup ..."));
    if (m_backupType == 1)
        m_titleMessage->setText(QStringLiteral("Backing Up Data"));
    else if (m_backupType == 2)
        m_titleMessage->setText(QStringLiteral("Backing Up Data Before Migartion"));
    else
        m_titleMessage->setText(QStringLiteral("Backing up your data before the update"));

    const auto defaults = UserDefaults::standardUserDefaults();
    const qint64 count = defaults->integerForKey(UpdateBackupCountKey);
    // The very first backup before an update cannot be skipped.
    if (count == 0)
        m_cancelButton->hide();
    defaults->setInteger(count + 1, UpdateBackupCountKey);
    analytics(QStringLiteral("Count"), QStringLiteral("%1i").arg(count + 1));

    std::weak_ptr<MacDatabaseUpdateBackupWindowController> weak = weak_from_this();
    m_timer = platform::core::Timer::scheduledTimer(StartDelayMs, false, [weak](platform::core::Timer &) {
        if (auto self = weak.lock())
            self->startBackupForUpdate();
    });
}

void MacDatabaseUpdateBackupWindowController::cancelBackupButtonPressed()
{
    if (m_started)
        return;
    m_cancelBackup = true;
    m_progressText->setText(QStringLiteral("Canceling Backup ..."));
    analytics(QStringLiteral("State"), QStringLiteral("Cancelled"));
}

void MacDatabaseUpdateBackupWindowController::startBackupForUpdate()
{
    if (m_cancelBackup) {
        backupProcessComplete();
        return;
    }
    m_started = true;
    m_cancelButton->setEnabled(false);
    SharedAppGlobals::sharedAppGlobals().showNetworkActivityIndicator();
    analytics(QStringLiteral("State"), QStringLiteral("Started"));
    m_coordinator = SharedAppGlobals::sharedAppGlobals().persistentCoordinatorForDatabaseUpdate();
    if (!m_coordinator) {
        SharedAppGlobals::sharedAppGlobals().hideNetworkActivityIndicator();
        m_cancelBackup = true;
        backupProcessComplete();
        return;
    }
    m_cloudBackupFile = std::make_shared<BackupFile>();
    m_cloudBackupFile->setDelegate(std::make_shared<SheetProgress>(weak_from_this()));
    std::weak_ptr<MacDatabaseUpdateBackupWindowController> weak = weak_from_this();
    auto backup = m_cloudBackupFile;
    auto coordinator = m_coordinator;
    m_queue.addOperation([weak, backup, coordinator] {
        QString made;
        backup->createBackupForBackupType(BackupTypeFull, coordinator,
                                          [&made](const QString &path, qint64, qint64) { made = path; });
        platform::core::dispatchAsyncMain([weak, made] {
            if (auto self = weak.lock())
                self->backupDone(made);
        });
    });
}

void MacDatabaseUpdateBackupWindowController::backupDone(const QString &path)
{
    SharedAppGlobals::sharedAppGlobals().hideNetworkActivityIndicator();
    if (m_coordinator) {
        for (const auto &store : m_coordinator->persistentStores())
            m_coordinator->removePersistentStore(store);
    }
    m_coordinator.reset();
    m_backupFailed = path.isEmpty();
    if (!m_backupFailed) {
        DataPlistValues &plist = dataPlistValues();
        plist.setValue(QStringLiteral("AutoBackupLastBackupTimestamp"), Clock::now());
        plist.setValue(SharedAppGlobals::MigrationCompleteKey, true);
        SharedSettingController::sharedSettings().saveDataPlist();
    } else {
        QDLogError(QStringLiteral("🚨🚨 MacDatabaseUpdateBackupWindowController: no backup was made before the update 🚨🚨"));
    }
    analytics(QStringLiteral("State"), m_backupFailed ? QStringLiteral("Failed") : QStringLiteral("Finished"));
    const auto defaults = UserDefaults::standardUserDefaults();
    defaults->removeObjectForKey(QStringLiteral("HockeyDebug-BackupStarted"));
    defaults->setInteger(defaults->integerForKey(QStringLiteral("HockeyDebug-AutoBackupCount")) + 1,
                         QStringLiteral("HockeyDebug-AutoBackupCount"));
    backupProcessComplete();
}

void MacDatabaseUpdateBackupWindowController::backupProcessComplete()
{
    const qint64 elapsedMs = m_viewStartTime.addMSecs(StartDelayMs).msecsTo(Clock::now());
    qint64 waitMs;
    if (m_cancelBackup) {
        m_progressText->setText(QStringLiteral("Backup Canceled"));
        waitMs = 500;
    } else if (m_backupFailed) {
        m_progressText->setText(QStringLiteral("Backup Failed"));
        waitMs = 2000;
    } else {
        m_progressBar->setValue(100);
        m_progressText->setText(QStringLiteral("Backup Finished"));
        waitMs = elapsedMs > 3000 ? 1000 : 2000;
    }
    std::weak_ptr<MacDatabaseUpdateBackupWindowController> weak = weak_from_this();
    m_timer = platform::core::Timer::scheduledTimer(waitMs, false, [weak](platform::core::Timer &) {
        auto self = weak.lock();
        if (!self)
            return;
        if (self->m_completedBackup)
            self->m_completedBackup(self->m_backupType);
        if (self->m_sheet)
            self->m_sheet->endSheet(platform::ui::ModalResponseOK);
    });
}

void MacDatabaseUpdateBackupWindowController::backupFileStartWithTotalFiles(quint64 total)
{
    m_backupFileAttachmentsCount = total;
    m_totalProgressCount = float(total + 1);
    m_progressText->setText(QStringLiteral("Started Backup ..."));
}

void MacDatabaseUpdateBackupWindowController::backupFileAddedMainDB()
{
    m_progressBar->setValue(int(1.0f / m_totalProgressCount * 100.0f));
    m_progressText->setText(QStringLiteral("Backed up main database ..."));
}

void MacDatabaseUpdateBackupWindowController::backupFileUpdateStatusWithLocalFiles(quint64 handled)
{
    if (handled == 0)
        return;
    const float p = float(handled + 1) / m_totalProgressCount * 100.0f;
    m_progressBar->setValue(int(p));
    m_progressText->setText(QStringLiteral("%1 % Complete (%2 out of %3 files)")
                                .arg(qint64(p))
                                .arg(handled)
                                .arg(m_backupFileAttachmentsCount));
}

void MacDatabaseUpdateBackupWindowController::backupFileUpdateStatusWithDownloadIncrementalProgress(double fraction,
                                                                                                   quint64 completed)
{
    const float p = (float(completed) + 1.0f + float(fraction)) / m_totalProgressCount * 100.0f;
    m_progressBar->setValue(int(p));
    m_progressText->setText(QStringLiteral("%1 % Complete (%2 out of %3 files)")
                                .arg(qint64(p))
                                .arg(completed)
                                .arg(m_backupFileAttachmentsCount));
}
