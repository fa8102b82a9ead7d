// What a user meets at start before the contacts: the lock of a passcode set in the preferences, and the
// offer to send the report of a crash.

#include "RoadsFixture.h"

#include "SharedAppGlobals.h"

#include "QuendelKit/Infra/QDSSKeychain.h"
#include "QuendelKit/Settings/SharedSettingController.h"

#include "Classes/CrashReporting.h"

#include "platform/core/PropertyList.h"
#include "platform/crash/CrashReporter.h"
#include "platform/mail/MailHandoff.h"

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QPushButton>
#include <QToolButton>
#include <QUrlQuery>

using namespace roads;

namespace {

class LaunchRoadsTest : public RoadTest
{
protected:
    // The data plist as written to disk.
    static QVariantMap storedDataPlist()
    {
        const QString path = SharedSettingController::sharedSettings().dataFilePath(QDSettingsKeys::DataPlistFileName);
        return platform::core::PropertyList::readDictionaryFile(path).value_or(QVariantMap());
    }
};

TEST_F(LaunchRoadsTest, APasscodeSetInThePreferencesLocksTheNextStartUntilItIsEntered)
{
    start();
    chooseMenuItem(window(), QStringLiteral("File"), QStringLiteral("Preferences…"));
    QWidget *preferences = nullptr;
    ASSERT_TRUE(QTest::qWaitFor([&] { return !widgetsNamed(QStringLiteral("Preferences")).isEmpty(); }, 5000));
    preferences = widgetsNamed(QStringLiteral("Preferences")).first();
    auto *passcodeButton = widgetNamed<QPushButton>(QStringLiteral("Passcode"), preferences);
    ASSERT_NE(passcodeButton, nullptr);
    EXPECT_EQ(passcodeButton->text(), QStringLiteral("None"));
    EXPECT_TRUE(widgetsNamed(QStringLiteral("Require passcode"), preferences).isEmpty());
    click(passcodeButton);

    platform::ui::Sheet *create = sheetOver(preferences);
    ASSERT_NE(create, nullptr);
    typeInto(widgetNamed<QLineEdit>(QStringLiteral("New passcode"), create), QStringLiteral("Owl&7"), false);
    typeInto(widgetNamed<QLineEdit>(QStringLiteral("Repeat passcode"), create), QStringLiteral("Owl&7"), false);
    typeInto(widgetNamed<QLineEdit>(QStringLiteral("Passcode hint"), create), QStringLiteral("bird and lucky number"), false);
    click(widgetNamed<QPushButton>(QStringLiteral("Save passcode"), create));
    EXPECT_EQ(sheetOver(preferences), nullptr);
    EXPECT_EQ(passcodeButton->text(), QStringLiteral("Enabled"));
    auto *interval = widgetNamed<QComboBox>(QStringLiteral("Require passcode"), preferences);
    ASSERT_NE(interval, nullptr);
    EXPECT_EQ(interval->currentText(), QStringLiteral("After 1 minute"));
    quitThroughTheMenu();

    // The next start stops at the lock: no contacts behind it, no section to pick.
    app = std::make_unique<AppDelegate>();
    app->setExitHandler([this](int code) { exits << code; });
    app->launch();
    settle();
    EXPECT_FALSE(app->isLaunchComplete());
    platform::ui::Sheet *lock = sheetOver(window());
    ASSERT_NE(lock, nullptr);
    EXPECT_NE(window()->findChild<QWidget *>(QStringLiteral("coverView")), nullptr);
    EXPECT_TRUE(widgetsNamed(QStringLiteral("Cancel"), lock).isEmpty());

    // A wrong passcode is refused and the lock stays.
    platform::ui::AlertPresenter::shared().setNextAnswer(platform::ui::AlertAnswer::button(0));
    auto *field = widgetNamed<QLineEdit>(QStringLiteral("Passcode"), lock);
    typeInto(field, QStringLiteral("owl&7"));
    ASSERT_FALSE(platform::ui::AlertPresenter::shared().shownAlerts().isEmpty());
    EXPECT_EQ(platform::ui::AlertPresenter::shared().shownAlerts().last().spec.messageText,
              QStringLiteral("Incorrect password"));
    EXPECT_EQ(sheetOver(window()), lock);
    EXPECT_FALSE(app->isLaunchComplete());

    // The right one opens the program.
    typeInto(field, QStringLiteral("Owl&7"));
    EXPECT_TRUE(QTest::qWaitFor([this] { return app->isLaunchComplete(); }, 30000));
    EXPECT_EQ(window()->findChild<QWidget *>(QStringLiteral("coverView")), nullptr);
    EXPECT_NE(widgetNamed<QAbstractItemView>(QStringLiteral("Contacts")), nullptr);
    quitThroughTheMenu();
}

TEST_F(LaunchRoadsTest, AfterACrashTheNextStartOffersTheReportByEmail)
{
    // The previous run died: its marker is still there, with a breadcrumb it set.
    const QString folder =
        QDir(SharedSettingController::sharedSettings().applicationSupportPath()).filePath(CrashReporting::ReportFolderName);
    QDir().mkpath(folder);
    QFile marker(QDir(folder).filePath(platform::crash::CrashReporter::MarkerFileName));
    ASSERT_TRUE(marker.open(QIODevice::WriteOnly));
    marker.write("Started: 2026-12-10T09:00:00Z (process 42)\nsignal 6\n");
    marker.close();
    platform::core::UserDefaults::standardUserDefaults()->setInteger(2, QStringLiteral("HockeyDebug-ContactsPage-B"));
    // The desktop takes the e-mail as a mailto: address.
    QStringList mails;
    platform::mail::MailHandoff::shared().setCommandName(QString());
    platform::mail::setUrlOpener([&mails](const QUrl &url) {
        const QUrlQuery query(url);
        mails << url.path() + QStringLiteral("\n") + query.queryItemValue(QStringLiteral("subject"), QUrl::FullyDecoded) +
                     QStringLiteral("\n") + query.queryItemValue(QStringLiteral("body"), QUrl::FullyDecoded);
        return true;
    });

    start();
    platform::ui::Sheet *offer = nullptr;
    ASSERT_TRUE(QTest::qWaitFor([&] { return (offer = sheetOver(window())) != nullptr; }, 5000));
    auto *alert = qobject_cast<platform::ui::AlertDialog *>(offer);
    ASSERT_NE(alert, nullptr);
    EXPECT_EQ(alert->spec().messageText, CrashReporting::OfferTitle);
    // A notification clicked now leaves the offer where it is.
    app->userNotificationCenterDidActivateNotification({{AppDelegate::ToDoAlertPersonGUIDKey, QStringLiteral("X")}});
    ASSERT_EQ(sheetOver(window()), offer);
    ASSERT_EQ(alert->button(1)->text(), CrashReporting::SendButton);
    click(alert->button(1));

    ASSERT_TRUE(QTest::qWaitFor([&] { return !mails.isEmpty(); }, 5000));
    ASSERT_EQ(mails.size(), 1);
    EXPECT_TRUE(mails[0].startsWith(AppDelegate::ProblemReportAddress + QStringLiteral("\n") + CrashReporting::ReportSubject))
        << mails[0].toStdString();
    EXPECT_TRUE(mails[0].contains(QStringLiteral("signal 6 (abort)")));
    EXPECT_TRUE(mails[0].contains(QStringLiteral("DebugKey = HockeyDebug-ContactsPage-B, Value = 2")));
    EXPECT_TRUE(QTest::qWaitFor([] { return CrashReporting::pendingReport().isEmpty(); }, 5000));
    quitThroughTheMenu();

    // A clean end leaves nothing to offer.
    start();
    settle();
    EXPECT_EQ(sheetOver(window()), nullptr);
    EXPECT_EQ(mails.size(), 1);
    platform::mail::setUrlOpener({});
    platform::mail::MailHandoff::shared().setCommandName(platform::mail::MailHandoff::defaultCommandName());
    quitThroughTheMenu();
}

} // namespace
