// The messages a user meets now and then: the welcome of the first start, what is new after an update (and
// in the Help menu), and the request for a review after many logs.

#include "RoadsFixture.h"

#include "Classes/CrashReporting.h"
#include "Mac/Contacts/MacContactsViewController.h"
#include "Mac/Shell/WhatsNewPanel.h"

#include "QuendelKit/Settings/SharedSettingController.h"

#include "platform/core/PropertyList.h"
#include "platform/mail/MailHandoff.h"

#include <QDialog>
#include <QFile>
#include <QLabel>
#include <QPushButton>

using namespace roads;
using platform::ui::AlertPresenter;

namespace {

class MessagesRoadsTest : public RoadTest
{
protected:
    void SetUp() override
    {
        RoadTest::SetUp();
        platform::mail::setUrlOpener([this](const QUrl &url) {
            openedUrls << url;
            return true;
        });
    }

    void TearDown() override
    {
        RoadTest::TearDown();
        platform::mail::setUrlOpener({});
        CrashReporting::setReviewStoreURL(QString());
    }

    // No settings file yet: the home of a new installation, as the settings object finds it at start.
    static void becomeANewInstallation()
    {
        SharedSettingController &settings = SharedSettingController::sharedSettings();
        QFile::remove(settings.dataFilePath(QDSettingsKeys::DataPlistFileName));
        settings.loadDataPlist();
        settings.addValuesToPlist();
        platform::core::UserDefaults::standardUserDefaults()->registerDefaults(dataPlistValues().snapshot());
    }

    static QVariantMap storedDataPlist()
    {
        const QString path = SharedSettingController::sharedSettings().dataFilePath(QDSettingsKeys::DataPlistFileName);
        return platform::core::PropertyList::readDictionaryFile(path).value_or(QVariantMap());
    }

    static QStringList alertTitles()
    {
        QStringList titles;
        for (const platform::ui::ShownAlert &alert : AlertPresenter::shared().shownAlerts())
            titles << alert.spec.messageText;
        return titles;
    }

    // The alert sheet on show over the main window, once it is there.
    platform::ui::AlertDialog *alertSheet()
    {
        platform::ui::Sheet *sheet = nullptr;
        (void)QTest::qWaitFor([&] { return (sheet = sheetOver(window())) != nullptr; }, 3000);
        return qobject_cast<platform::ui::AlertDialog *>(sheet);
    }

    QDialog *whatsNewPanel()
    {
        QDialog *panel = nullptr;
        (void)QTest::qWaitFor([&] {
            const QList<QWidget *> found = widgetsNamed(WhatsNewPanel::AccessibleName);
            panel = found.size() == 1 ? qobject_cast<QDialog *>(found.first()) : nullptr;
            return panel != nullptr;
        }, 3000);
        return panel;
    }

    // A note added on the contact's Logs tab through the log editor.
    void addLogOnTheLogsTab(const QString &note)
    {
        click(widgetNamed<QPushButton>(QStringLiteral("Add to Logs")));
        platform::ui::Sheet *editor = sheetOver(window());
        ASSERT_NE(editor, nullptr);
        typeInto(widgetNamed<QPlainTextEdit>(QStringLiteral("Notes"), editor), note, false);
        click(widgetNamed<QPushButton>(QStringLiteral("Save"), editor));
        auto *logs = widgetNamed<QAbstractItemView>(QStringLiteral("Logs"));
        ASSERT_NE(logs, nullptr);
        ASSERT_TRUE(QTest::qWaitFor([&] { return rowWithText(logs, note).isValid(); }, 5000))
            << rowTexts(logs).join(QLatin1String(" | ")).toStdString();
        settle();
    }

    QList<QUrl> openedUrls;
};

TEST_F(MessagesRoadsTest, TheFirstStartWelcomesOnceAndTheNextStartTellsWhatIsNew)
{
    becomeANewInstallation();
    start();
    ASSERT_TRUE(QTest::qWaitFor([] { return alertTitles().contains(MacContactsViewController::WelcomeAlertTitle); }, 5000))
        << alertTitles().join(QLatin1String(" | ")).toStdString();
    const platform::ui::ShownAlert welcome = AlertPresenter::shared().shownAlerts().at(
        int(alertTitles().indexOf(MacContactsViewController::WelcomeAlertTitle)));
    EXPECT_TRUE(welcome.spec.informativeText.startsWith(QStringLiteral("Welcome to Quendel for Mac\n\n")));
    EXPECT_TRUE(welcome.spec.informativeText.contains(QStringLiteral("available from Quendel \"Preferences\" page.")));
    // The install date is kept; the first-run mark is off on disk.
    const QVariantMap stored = storedDataPlist();
    EXPECT_TRUE(stored.contains(MacContactsViewController::FirstTimeDownloadDateKey));
    EXPECT_FALSE(stored.value(QDSettingsKeys::FirstTimeDownloadKey).toBool());
    // The first start of an installation also tells what this version offers; the contacts' what's-new
    // message waits for the next start.
    EXPECT_FALSE(alertTitles().contains(MacContactsViewController::WhatsNewAlertTitle));
    platform::ui::AlertDialog *update = alertSheet();
    ASSERT_NE(update, nullptr) << windowsOnShow();
    EXPECT_EQ(update->spec().messageText, AppDelegate::WhatsNewMessageTitle);
    ASSERT_EQ(update->button(1)->text(), QStringLiteral("Not now"));
    click(update->button(1));
    EXPECT_EQ(sheetOver(window()), nullptr);
    EXPECT_TRUE(widgetsNamed(WhatsNewPanel::AccessibleName).isEmpty());
    quitThroughTheMenu();

    // The next start: no welcome, but the contacts' what's-new message; Return means "later".
    AlertPresenter::shared().clearShownAlerts();
    start();
    platform::ui::AlertDialog *whatsNew = alertSheet();
    ASSERT_NE(whatsNew, nullptr) << windowsOnShow();
    EXPECT_EQ(whatsNew->spec().messageText, MacContactsViewController::WhatsNewAlertTitle);
    EXPECT_FALSE(alertTitles().contains(MacContactsViewController::WelcomeAlertTitle));
    EXPECT_FALSE(alertTitles().contains(AppDelegate::WhatsNewMessageTitle));
    ASSERT_EQ(whatsNew->button(1)->text(), QStringLiteral("Review Later"));
    EXPECT_TRUE(whatsNew->button(1)->isDefault());
    activateWindowOf(whatsNew);
    QTest::keyClick(whatsNew, Qt::Key_Return);
    settle();
    EXPECT_EQ(sheetOver(window()), nullptr);
    EXPECT_TRUE(openedUrls.isEmpty());
    quitThroughTheMenu();

    // Each message was shown once: the third start shows none.
    AlertPresenter::shared().clearShownAlerts();
    start();
    settle();
    EXPECT_EQ(sheetOver(window()), nullptr);
    EXPECT_TRUE(alertTitles().isEmpty()) << alertTitles().join(QLatin1String(" | ")).toStdString();
    quitThroughTheMenu();
}

TEST_F(MessagesRoadsTest, AfterAnUpdateLearnMoreAndTheHelpMenuShowWhatIsNew)
{
    // Settings of an earlier version: the message of this update was never shown.
    dataPlistValues().remove(AppDelegate::WhatsNew410Key);
    SharedSettingController::sharedSettings().saveDataPlist();
    start();
    platform::ui::AlertDialog *update = alertSheet();
    ASSERT_NE(update, nullptr) << windowsOnShow();
    EXPECT_EQ(update->spec().messageText, AppDelegate::WhatsNewMessageTitle);
    EXPECT_FALSE(alertTitles().contains(MacContactsViewController::WelcomeAlertTitle));
    ASSERT_EQ(update->button(0)->text(), QStringLiteral("Learn More"));
    click(update->button(0));

    // The what's-new window stands beside the main window, which stays usable.
    QDialog *panel = whatsNewPanel();
    ASSERT_NE(panel, nullptr) << windowsOnShow();
    EXPECT_FALSE(panel->isModal());
    EXPECT_EQ(sheetOver(window()), nullptr);
    auto *text = widgetNamed<QLabel>(QStringLiteral("What's new text"), panel);
    ASSERT_NE(text, nullptr);
    EXPECT_TRUE(text->text().contains(QStringLiteral("Logs")));
    EXPECT_TRUE(widgetNamed<QAbstractItemView>(QStringLiteral("Contacts"))->isEnabled());
    if (qEnvironmentVariableIsSet("QUENDEL_WHATSNEW_SHOT"))
        panel->grab().save(qEnvironmentVariable("QUENDEL_WHATSNEW_SHOT"));
    click(widgetNamed<QPushButton>(QStringLiteral("Close"), panel));
    EXPECT_TRUE(QTest::qWaitFor([] { return widgetsNamed(WhatsNewPanel::AccessibleName).isEmpty(); }, 3000));

    // The Help menu shows it again whenever the user asks.
    chooseMenuItem(window(), QStringLiteral("Help"), AppDelegate::WhatsNewMenuTitle);
    panel = whatsNewPanel();
    ASSERT_NE(panel, nullptr) << windowsOnShow();
    // Asked twice, it is still one window.
    chooseMenuItem(window(), QStringLiteral("Help"), AppDelegate::WhatsNewMenuTitle);
    EXPECT_EQ(widgetsNamed(WhatsNewPanel::AccessibleName).size(), 1);
    click(widgetNamed<QPushButton>(QStringLiteral("Close"), panel));
    EXPECT_TRUE(QTest::qWaitFor([] { return widgetsNamed(WhatsNewPanel::AccessibleName).isEmpty(); }, 3000));
    quitThroughTheMenu();

    // Shown once: the next start goes straight to the contacts.
    AlertPresenter::shared().clearShownAlerts();
    start();
    settle();
    EXPECT_EQ(sheetOver(window()), nullptr);
    EXPECT_FALSE(alertTitles().contains(AppDelegate::WhatsNewMessageTitle));
    quitThroughTheMenu();
}

TEST_F(MessagesRoadsTest, TheReviewRequestAfterManyLogsShowsNothingWithoutAReviewPage)
{
    start();
    addContactThroughTheSheet(QStringLiteral("Zoe"), QStringLiteral("Quill"));
    clickRow(widgetNamed<QAbstractItemView>(QStringLiteral("Contacts")), QStringLiteral("Zoe Quill"));
    // 24 logs were added before: the next is the one after which a review is asked for.
    dataPlistValues().setValue(QStringLiteral("totalCountLogs"), 24);
    AlertPresenter::shared().clearShownAlerts();

    // This program has no store to review it in: nothing is asked.
    addLogOnTheLogsTab(QStringLiteral("Twenty-fifth note"));
    EXPECT_EQ(dataPlistValues().integerValue(QStringLiteral("totalCountLogs")), 25);
    EXPECT_EQ(sheetOver(window()), nullptr);
    EXPECT_TRUE(alertTitles().isEmpty()) << alertTitles().join(QLatin1String(" | ")).toStdString();
    EXPECT_TRUE(openedUrls.isEmpty());

    // A build with a review page asks at the fiftieth log; "Not now" leaves it at that.
    CrashReporting::setReviewStoreURL(QStringLiteral("https://reviews.example.org/quendel"));
    dataPlistValues().setValue(QStringLiteral("totalCountLogs"), 49);
    addLogOnTheLogsTab(QStringLiteral("Fiftieth note"));
    platform::ui::AlertDialog *request = alertSheet();
    ASSERT_NE(request, nullptr) << windowsOnShow();
    EXPECT_EQ(request->spec().messageText, QStringLiteral("Support Quendel"));
    ASSERT_EQ(request->button(1)->text(), QStringLiteral("Not now"));
    click(request->button(1));
    EXPECT_EQ(sheetOver(window()), nullptr);
    EXPECT_TRUE(openedUrls.isEmpty());

    // An ordinary log asks nothing.
    addLogOnTheLogsTab(QStringLiteral("Fifty-first note"));
    EXPECT_EQ(sheetOver(window()), nullptr);
}

} // namespace
