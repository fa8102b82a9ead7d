#pragma once

#include "Quendel/FreshHome.h"

#include "AppDelegate.h"
#include "SharedAppGlobals.h"

#include "Classes/LaunchServices.h"
#include "Mac/Shell/CoreDataControllerMac.h"
#include "Mac/Shell/MainWindow.h"

#include "QuendelKit/Settings/DataPlistValues.h"
#include "QuendelKit/Settings/SharedSettingController.h"

#include "platform/core/UserDefaults.h"
#include "platform/ui/AlertPresenter.h"
#include "platform/ui/Sheet.h"

#include <QCoreApplication>
#include <QTest>
#include <gtest/gtest.h>

#include <mutex>

namespace shell_test {

// The analytics events sent while a test runs.
class EventLog
{
public:
    EventLog()
    {
        SharedAppGlobals::sharedAppGlobals().setEventSink([this](const QString &text) {
            std::lock_guard lock(m_mutex);
            m_events.append(text);
        });
    }
    ~EventLog() { SharedAppGlobals::sharedAppGlobals().setEventSink(nullptr); }
    QStringList events() const
    {
        std::lock_guard lock(m_mutex);
        return m_events;
    }

private:
    mutable std::mutex m_mutex;
    QStringList m_events;
};

class RecordingUserNotifications : public UserNotificationService
{
public:
    void setDelegateInstalled(bool) override { calls << QStringLiteral("setDelegate"); }
    void removeAllDeliveredNotifications() override { calls << QStringLiteral("removeDelivered"); }
    void removeAllScheduledNotifications() override { calls << QStringLiteral("removeScheduled"); }
    void registerForRemoteNotifications() override { calls << QStringLiteral("registerRemote"); }
    void scheduleAllToDoAlertsWithContext(const platform::store::ContextPtr &context) override
    {
        calls << (context ? QStringLiteral("schedule") : QStringLiteral("schedule:null"));
    }
    QStringList calls;
};

class RecordingDropbox : public PlaceholderDropboxManager
{
public:
    explicit RecordingDropbox(bool enabled) : m_enabled(enabled) {}
    bool isDropBoxSyncEnabled() const override { return m_enabled; }
    void checkDropBoxFileRevisionAtLaunch(bool atLaunch) override { calls << QStringLiteral("check:%1").arg(atLaunch); }
    void setupRepeatTimer() override { calls << QStringLiteral("timer"); }
    QStringList calls;

private:
    bool m_enabled;
};

// A pre-update backup sheet that stays on the window until the test ends it.
class HeldDatabaseUpdateSheet : public DatabaseUpdateSheetService
{
public:
    void beginSheet(QWidget *window, std::function<void(quint32)> completedBackup, std::function<void()> ended) override
    {
        m_completed = std::move(completedBackup);
        m_ended = std::move(ended);
        m_sheet = new platform::ui::Sheet;
        m_sheet->setObjectName(QStringLiteral("databaseUpdateSheet"));
        m_sheet->beginSheet(window, [this](int) {
            if (m_completed)
                m_completed(0);
            if (m_ended)
                m_ended();
        });
    }
    bool isAttached() const override { return m_sheet && m_sheet->isActive(); }
    QWidget *sheetWindow() const override { return m_sheet; }
    void finish()
    {
        if (m_sheet)
            m_sheet->endSheet(platform::ui::ModalResponseOK);
    }
    platform::ui::Sheet *sheet() const { return m_sheet; }

private:
    QPointer<platform::ui::Sheet> m_sheet;
    std::function<void(quint32)> m_completed;
    std::function<void()> m_ended;
};

// Each test process starts with empty folders; these set up what a test needs before the launch.
inline void markDataModelUpdateDone()
{
    SharedSettingController::sharedSettings();
    dataPlistValues().setValue(SharedAppGlobals::MigrationCompleteKey, true);
    // An installation that ran before: its first-run clean-up is behind it.
    dataPlistValues().setValue(QDSettingsKeys::FirstTimeDownloadKey, false);
    // ... and the messages of its first start and of the last update.
    dataPlistValues().setValue(AppDelegate::WhatsNew410Key, 1);
    dataPlistValues().setValue(QStringLiteral("has_shown_whats_new:3.9.4_VERSION"), 1);
}

inline bool waitForStep(const AppDelegate &delegate, const QString &step, int count = 1, int timeoutMs = 10000)
{
    return QTest::qWaitFor([&] { return delegate.launchSteps().count(step) >= count; }, timeoutMs);
}

// Every listed step ran, in the listed order (other steps may come between).
inline ::testing::AssertionResult ranInOrder(const QStringList &steps, const QStringList &expected)
{
    qsizetype from = 0;
    for (const QString &step : expected) {
        const qsizetype at = steps.indexOf(step, from);
        if (at < 0)
            return ::testing::AssertionFailure()
                   << "step \"" << step.toStdString() << "\" missing or out of order in: "
                   << steps.join(QLatin1String(", ")).toStdString();
        from = at + 1;
    }
    return ::testing::AssertionSuccess();
}

// Every test answers its alerts ahead; an unexpected blocking alert answers with its default button.
class ShellTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        // Whatever an earlier test of this process left in the home is gone.
        quendel::test::startWithEmptyHome();
        auto &presenter = platform::ui::AlertPresenter::shared();
        presenter.setBlockingForbidden(true);
        presenter.clearAnswers();
        presenter.clearShownAlerts();
    }
    void TearDown() override
    {
        // Let queued launch work finish before the delegate goes.
        QTest::qWait(20);
    }

    LaunchServiceFactory factory()
    {
        LaunchServiceFactory services = LaunchServiceFactory::placeholders();
        services.userNotifications = notifications;
        return services;
    }

    std::shared_ptr<RecordingUserNotifications> notifications = std::make_shared<RecordingUserNotifications>();
    QList<int> exits;
};

} // namespace shell_test
