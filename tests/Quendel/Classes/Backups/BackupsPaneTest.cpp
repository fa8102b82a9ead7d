#include "BackupFixture.h"

#include "Classes/Backups/QDAutomaticBackupController.h"
#include "Mac/Preferences/BackupsPreferencesPane.h"
#include "Mac/Preferences/PreferencesControllerWindowController.h"

#include "platform/core/KeyedArchive.h"
#include "platform/ui/AlertPresenter.h"

#include <QCheckBox>
#include <QComboBox>
#include <QPushButton>
#include <QTest>

using namespace backup_test;
using platform::core::DateComponents;

namespace {

template <typename T> T *named(QWidget *root, const QString &name)
{
    for (T *widget : root->findChildren<T *>()) {
        if (widget->accessibleName() == name)
            return widget;
    }
    ADD_FAILURE() << "no widget " << name.toStdString();
    return nullptr;
}

QByteArray interval(qint64 hour, qint64 day, qint64 week)
{
    DateComponents c;
    c.setHour(hour);
    c.setDay(day);
    c.setWeekOfYear(week);
    return platform::core::KeyedArchive::archive(c.toVariant());
}

using BackupsPaneTest = BackupTest;

TEST_F(BackupsPaneTest, ThePaneShowsTheStoredChoicesAndLeavesUnknownOnesUnselected)
{
    struct Case
    {
        QByteArray interval;
        qint64 limit;
        bool enabled;
        QString intervalText;
        QString limitText;
    };
    const QList<Case> cases = {
        {interval(1, 0, 0), 5, true, QStringLiteral("Hourly"), QStringLiteral("5 backups")},
        {interval(0, 0, 1), 20, false, QStringLiteral("Weekly"), QStringLiteral("20 backups")},
        // All zero and an unknown number: the boxes keep what they showed (the first item of a new window).
        {interval(0, 0, 0), 15, true, QStringLiteral("Hourly"), QStringLiteral("5 backups")},
    };
    for (const Case &c : cases) {
        dataPlistValues().setValue(QDAutomaticBackupController::IntervalKey, c.interval);
        dataPlistValues().setValue(QDAutomaticBackupController::MaximumLimitKey, c.limit);
        dataPlistValues().setValue(QDAutomaticBackupController::EnabledKey, c.enabled);
        PreferencesControllerWindowController window(nullptr);
        EXPECT_EQ(named<QComboBox>(&window, QStringLiteral("Backup interval"))->currentText(), c.intervalText);
        EXPECT_EQ(named<QComboBox>(&window, QStringLiteral("Backups to keep"))->currentText(), c.limitText);
        EXPECT_EQ(named<QCheckBox>(&window, QStringLiteral("Back up automatically"))->isChecked(), c.enabled);
        EXPECT_EQ(named<QComboBox>(&window, QStringLiteral("Backup interval"))->isEnabled(), c.enabled);
        EXPECT_EQ(named<QPushButton>(&window, QStringLiteral("Last backup"))->text(), QStringLiteral("None"));
    }
}

TEST_F(BackupsPaneTest, BackUpNowWithoutAnOpenStoreSaysNoBackupWasMade)
{
    PreferencesControllerWindowController window(nullptr);
    window.show();
    auto &presenter = platform::ui::AlertPresenter::shared();
    presenter.setBlockingForbidden(true);
    presenter.setNextAnswer(platform::ui::AlertAnswer::button(0));
    QTest::mouseClick(named<QPushButton>(&window, QStringLiteral("Back Up Now")), Qt::LeftButton);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !presenter.shownAlerts().isEmpty(); }, 5000));
    EXPECT_EQ(presenter.shownAlerts().first().spec.messageText, BackupsPreferencesPane::CannotCreateBackupTitle);
    EXPECT_FALSE(window.backupsPane()->isWorking());
}

} // namespace
