// The passcode lock: the prompt's judgement of entries, the lock at launch and the relock after an absence,
// measured on a clock moved by hand.

#include "ShellFixture.h"

#include "Classes/PasscodeLock.h"
#include "Mac/Shell/MacEnterPasswordController.h"

#include "QuendelKit/Infra/QDSSKeychain.h"
#include "QuendelKit/Settings/PasscodeLaunchCheck.h"

#include "platform/core/Clock.h"

#include <QLineEdit>

using namespace shell_test;
using platform::ui::AlertAnswer;
using platform::ui::AlertPresenter;

namespace {

class PasscodeTest : public ShellTest
{
protected:
    static void storePasscode(const QString &passcode)
    {
        ASSERT_TRUE(QDSSKeychain::setPassword(passcode, QDSSKeychain::PasscodeService, QDSSKeychain::ItemAccount));
    }

    // The lock screen's prompt of `delegate`, when it is up.
    static MacEnterPasswordController *prompt(const AppDelegate &delegate)
    {
        auto *controller = dynamic_cast<MacEnterPasswordController *>(delegate.passwordController().get());
        return controller && controller->isAttached() ? controller : nullptr;
    }

    static void enter(MacEnterPasswordController *controller, const QString &text)
    {
        ASSERT_NE(controller, nullptr);
        controller->passcodeEnterField()->setText(text);
        QTest::keyClick(controller->passcodeEnterField(), Qt::Key_Return);
    }
};

TEST_F(PasscodeTest, TheRelockWaitsForTheChosenIntervalOnly)
{
    struct Case
    {
        QVariant interval; // invalid: never chosen
        qint64 awayMs;
        bool locks;
    };
    const Case cases[] = {
        {0, 0, false},        {0, 1000, true},           {QVariant(), 1000, true}, {60, 60'000, false},
        {60, 61'000, true},   {120, 119'000, false},     {300, 301'000, true},     {900, 899'999, false},
        {900, 900'001, true}, {-5, 1000, true},
    };
    markDataModelUpdateDone();
    storePasscode(QStringLiteral("2468"));
    auto clock = std::make_shared<platform::core::ManualClock>();
    platform::core::ScopedClock scopedClock(clock);
    AppDelegate delegate(factory());
    delegate.applicationWillFinishLaunching();
    delegate.applicationDidFinishLaunching();
    delegate.applicationDidBecomeActive();
    ASSERT_NE(prompt(delegate), nullptr);
    enter(prompt(delegate), QStringLiteral("2468"));
    ASSERT_TRUE(delegate.isLaunchComplete());
    ASSERT_FALSE(delegate.showingPasswordScreen());

    auto defaults = platform::core::UserDefaults::standardUserDefaults();
    for (const Case &c : cases) {
        SCOPED_TRACE(QStringLiteral("interval %1, away %2 ms").arg(c.interval.toString()).arg(c.awayMs).toStdString());
        if (c.interval.isValid())
            defaults->setInteger(c.interval.toLongLong(), PasscodeLock::IntervalKey);
        else
            defaults->removeObjectForKey(PasscodeLock::IntervalKey);
        delegate.applicationWillResignActive();
        clock->advance(c.awayMs);
        delegate.applicationDidBecomeActive();
        EXPECT_EQ(delegate.showingPasswordScreen(), c.locks);
        if (c.locks) {
            // A second activation under the lock stacks nothing.
            auto first = delegate.passwordController();
            delegate.applicationDidBecomeActive();
            EXPECT_EQ(delegate.passwordController(), first);
            enter(prompt(delegate), QStringLiteral("2468"));
            EXPECT_FALSE(delegate.showingPasswordScreen());
        }
    }
}

TEST_F(PasscodeTest, WrongEntriesAreCountedAndTheHintComesAtTheFifth)
{
    markDataModelUpdateDone();
    storePasscode(QStringLiteral("Secret"));
    auto defaults = platform::core::UserDefaults::standardUserDefaults();
    defaults->setObject(QStringLiteral("the dog's name"), PasscodeLock::HintKey);
    AppDelegate delegate(factory());
    delegate.applicationWillFinishLaunching();
    MacEnterPasswordController *controller = prompt(delegate);
    ASSERT_NE(controller, nullptr);
    AlertPresenter &presenter = AlertPresenter::shared();

    // Letter case counts, nothing is trimmed, an empty entry is an entry.
    const QStringList wrong{QStringLiteral("secret"), QStringLiteral("Secret "), QString(), QStringLiteral("SECRET"),
                            QStringLiteral("1234")};
    for (qsizetype i = 0; i < wrong.size(); ++i) {
        presenter.setNextAnswer(AlertAnswer::button(0));
        enter(controller, wrong[i]);
        EXPECT_EQ(controller->retryCount(), i + 1);
        EXPECT_TRUE(controller->passcodeEnterField()->text().isEmpty());
        EXPECT_EQ(controller->hintShown(), i + 1 >= 5) << "after " << i + 1 << " wrong entries";
        ASSERT_FALSE(presenter.shownAlerts().isEmpty());
        EXPECT_EQ(presenter.shownAlerts().last().spec.messageText, MacEnterPasswordController::IncorrectPasswordTitle);
    }
    EXPECT_TRUE(delegate.showingPasswordScreen());
    EXPECT_FALSE(delegate.isLaunchComplete());

    enter(controller, QStringLiteral("Secret"));
    EXPECT_FALSE(delegate.showingPasswordScreen());
    EXPECT_TRUE(delegate.isLaunchComplete());
}

TEST_F(PasscodeTest, AnEmptyHintIsNeverShownAndNoStoredPasscodeMeansEveryEntryIsWrong)
{
    PasscodeLock::EntryCheck check;
    for (int i = 0; i < 8; ++i)
        EXPECT_EQ(check.check(QStringLiteral("any"), QString()), PasscodeLock::Entry::Rejected);
    EXPECT_EQ(check.retryCount(), 8);
    EXPECT_FALSE(check.showsHint(QString()));
    EXPECT_TRUE(check.showsHint(QStringLiteral("hint")));
    EXPECT_EQ(check.check(QString(), QString()), PasscodeLock::Entry::Rejected);
    EXPECT_EQ(check.check(QStringLiteral("x"), QStringLiteral("x")), PasscodeLock::Entry::Accepted);
}

TEST_F(PasscodeTest, RestoreModeHandsEveryEntryOnUnchecked)
{
    storePasscode(QStringLiteral("2468"));
    QWidget window;
    window.show();
    auto controller = std::make_shared<MacEnterPasswordController>();
    controller->setShowCancelButton(true);
    controller->setIsFileRestore(true);
    QStringList handed;
    controller->setRestoreBlock([&handed](const QString &typed) { handed << typed; });
    bool ended = false;
    controller->beginSheet(&window, [&ended] { ended = true; });
    enter(controller.get(), QStringLiteral("2468"));
    enter(controller.get(), QStringLiteral("wrong"));
    EXPECT_EQ(handed, (QStringList{QStringLiteral("2468"), QStringLiteral("wrong")}));
    EXPECT_EQ(controller->retryCount(), 0);
    EXPECT_TRUE(controller->isAttached());
    EXPECT_TRUE(AlertPresenter::shared().shownAlerts().isEmpty());
    controller->cancelButtonPressed();
    EXPECT_TRUE(ended);
}

TEST_F(PasscodeTest, TheLockScreenCannotBeSentAwayWithEscape)
{
    markDataModelUpdateDone();
    storePasscode(QStringLiteral("2468"));
    AppDelegate delegate(factory());
    delegate.applicationWillFinishLaunching();
    MacEnterPasswordController *controller = prompt(delegate);
    ASSERT_NE(controller, nullptr);
    QTest::keyClick(controller->sheetWindow(), Qt::Key_Escape);
    controller->sheetWindow()->close();
    EXPECT_TRUE(controller->isAttached());
    EXPECT_TRUE(delegate.showingPasswordScreen());
}

TEST_F(PasscodeTest, CreatingAPasscodeChecksBothFieldsAndKeepsTheLaunchFlagInStep)
{
    struct Case
    {
        QString first, second;
        bool saved;
        QString message;
    };
    const Case cases[] = {
        {QString(), QStringLiteral("1"), false, QStringLiteral("Passcode field is empty")},
        {QStringLiteral("1"), QString(), false, QStringLiteral("Passcode field is empty")},
        {QStringLiteral("abc"), QStringLiteral("abC"), false, QStringLiteral("Passcodes don't match")},
        {QStringLiteral("a&b=c"), QStringLiteral("a&b=c"), true, QString()},
    };
    for (const Case &c : cases) {
        const PasscodeLock::CreateResult result = PasscodeLock::createPasscode(c.first, c.second, QString());
        EXPECT_EQ(result.saved, c.saved);
        EXPECT_EQ(result.errorText, c.message);
    }
    EXPECT_EQ(PasscodeLock::storedPasscode(), QStringLiteral("a&b=c"));
    // The hint is stored even when left empty.
    EXPECT_TRUE(platform::core::UserDefaults::standardUserDefaults()->objectForKey(PasscodeLock::HintKey).isValid());
    EXPECT_TRUE(dataPlistValues().boolValue(PasscodeLaunchCheck::PinEnabledKey));

    ASSERT_TRUE(PasscodeLock::removePasscode());
    EXPECT_FALSE(PasscodeLock::passcodeExists());
    // The next launch sees an ordinary unlocked program, not a passcode gone missing.
    EXPECT_FALSE(dataPlistValues().boolValue(PasscodeLaunchCheck::PinEnabledKey));
    markDataModelUpdateDone();
    AppDelegate delegate(factory());
    delegate.applicationWillFinishLaunching();
    EXPECT_TRUE(delegate.launchSteps().contains(QStringLiteral("passcode:no")));
    EXPECT_TRUE(AlertPresenter::shared().shownAlerts().isEmpty());
}

TEST_F(PasscodeTest, AFreshInstallationIsMarkedAsAFirstRunAndClearsItOnce)
{
    // No settings file: the first run of an installation.
    SharedSettingController &settings = SharedSettingController::sharedSettings();
    QFile::remove(settings.dataFilePath(QDSettingsKeys::DataPlistFileName));
    settings.loadDataPlist();
    EXPECT_TRUE(dataPlistValues().boolValue(QDSettingsKeys::FirstTimeDownloadKey));
    settings.addValuesToPlist();
    dataPlistValues().setValue(SharedAppGlobals::MigrationCompleteKey, true);
    storePasscode(QStringLiteral("from an earlier installation"));

    {
        AppDelegate delegate(factory());
        delegate.applicationWillFinishLaunching();
        EXPECT_FALSE(delegate.showingPasswordScreen());
        EXPECT_TRUE(delegate.launchSteps().contains(QStringLiteral("firstRun")));
    }
    EXPECT_FALSE(PasscodeLock::passcodeExists());
    EXPECT_FALSE(dataPlistValues().boolValue(QDSettingsKeys::FirstTimeDownloadKey));

    // A passcode set after the first run locks the next start.
    ASSERT_TRUE(PasscodeLock::createPasscode(QStringLiteral("1"), QStringLiteral("1"), QString()).saved);
    settings.loadDataPlist();
    AppDelegate delegate(factory());
    delegate.applicationWillFinishLaunching();
    EXPECT_TRUE(delegate.showingPasswordScreen());
    EXPECT_FALSE(delegate.launchSteps().contains(QStringLiteral("firstRun")));
}

TEST_F(PasscodeTest, ANotificationClickedUnderTheRelockOpensAfterTheUnlock)
{
    markDataModelUpdateDone();
    storePasscode(QStringLiteral("2468"));
    auto clock = std::make_shared<platform::core::ManualClock>();
    platform::core::ScopedClock scopedClock(clock);
    AppDelegate delegate(factory());
    delegate.applicationWillFinishLaunching();
    delegate.applicationDidFinishLaunching();
    delegate.applicationDidBecomeActive();
    enter(prompt(delegate), QStringLiteral("2468"));
    ASSERT_TRUE(delegate.isLaunchComplete());

    delegate.applicationWillResignActive();
    clock->advance(5000);
    delegate.applicationDidBecomeActive();
    ASSERT_NE(prompt(delegate), nullptr);
    delegate.userNotificationCenterDidActivateNotification({{QStringLiteral("kToDoAlertPersonGUIDKey"), QStringLiteral("X")}});
    // The lock stays, and so does its prompt.
    EXPECT_NE(prompt(delegate), nullptr);
    EXPECT_TRUE(delegate.launchSteps().contains(QStringLiteral("notificationDeferred")));
}

} // namespace
