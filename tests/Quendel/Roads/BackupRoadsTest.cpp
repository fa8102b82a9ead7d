#include "RoadsFixture.h"

#include "Classes/Backups/BackupFile.h"

#include "platform/core/StandardPaths.h"
#include "platform/ui/FilePanel.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFileInfo>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QTabBar>
#include <QTabWidget>
#include <QToolButton>

using namespace roads;
using platform::ui::FilePanelAnswer;
using platform::ui::FilePanelPresenter;

namespace {

class BackupRoadsTest : public RoadTest
{
protected:
    void SetUp() override
    {
        RoadTest::SetUp();
        FilePanelPresenter::shared().clearAnswers();
        FilePanelPresenter::shared().clearShownPanels();
        FilePanelPresenter::shared().setBlockingForbidden(true);
    }


    bool listShows(const QString &text)
    {
        return QTest::qWaitFor([&] { return rowWithText(contactsList(), text).isValid(); }, 5000);
    }

    void addContact(const QString &first, const QString &last, const QString &phone = {})
    {
        QList<SheetField> more;
        if (!phone.isEmpty())
            more << SheetField{QStringLiteral("Phones new"), phone};
        addContactThroughTheSheet(first, last, more);
    }

    // The numbers shown on the Info page of the contact in that row.
    QStringList phonesOf(const QString &row)
    {
        clickRow(contactsList(), row);
        click(widgetNamed<QPushButton>(QStringLiteral("Info")));
        settle();
        QStringList numbers;
        QStringList seen;
        for (const QString &name : namesStartingWith(QStringLiteral("Phones "), window())) {
            if (name == QLatin1String("Phones new") || name.endsWith(QLatin1String(" label")) || seen.contains(name))
                continue;
            seen << name;
            if (auto *field = widgetNamed<QLineEdit>(name))
                numbers << field->text();
        }
        return numbers;
    }

    // Preferences… in the File menu; the window with its Backups pane.
    // The backups sit in the Manage Data pane.
    QWidget *openPreferences() { return openPreferencesPane(QStringLiteral("Manage Data")); }

    bool alertShown(const QString &title)
    {
        for (const platform::ui::ShownAlert &alert : platform::ui::AlertPresenter::shared().shownAlerts()) {
            if (alert.spec.messageText == title)
                return true;
        }
        return false;
    }
};

TEST_F(BackupRoadsTest, BackUpNowSavesAnArchiveAndRestoreBringsItsDataBack)
{
    start();
    // A contact with a number: the backup copies records one by one and links them again, so the number
    // must come back with its contact.
    addContact(QStringLiteral("Ann"), QStringLiteral("Lee"), QStringLiteral("555-0100"));
    QWidget *preferences = openPreferences();
    ASSERT_NE(preferences, nullptr);
    auto *lastBackup = widgetNamed<QPushButton>(QStringLiteral("Last backup"), preferences);
    ASSERT_NE(lastBackup, nullptr);
    EXPECT_EQ(lastBackup->text(), QStringLiteral("None"));

    // Back Up Now; the save panel is answered with a name of the user's own.
    const QString saved = QDir(platform::core::StandardPaths::documentsFolder()).filePath(QStringLiteral("My journal.zip"));
    FilePanelPresenter::shared().setNextAnswer(FilePanelAnswer::choose(saved));
    click(widgetNamed<QPushButton>(QStringLiteral("Back Up Now"), preferences));
    ASSERT_TRUE(QTest::qWaitFor([&] { return QFileInfo::exists(saved); }, 60000));
    ASSERT_EQ(FilePanelPresenter::shared().shownPanels().size(), 1);
    EXPECT_EQ(FilePanelPresenter::shared().shownPanels().first().title, QStringLiteral("Save Quendel Backup"));
    EXPECT_TRUE(FilePanelPresenter::shared().shownPanels().first().nameFieldText.startsWith(QStringLiteral("Quendel_Mac_v")));
    settle();
    EXPECT_NE(lastBackup->text(), QStringLiteral("None"));
    // The dated archive was moved, not copied.
    for (const QString &name : QDir(platform::core::StandardPaths::documentsFolder()).entryList({QStringLiteral("*.zip")}))
        EXPECT_FALSE(BackupFile::isFullArchiveName(name)) << name.toStdString();
    QProcess unzip;
    unzip.start(QStringLiteral("unzip"), {QStringLiteral("-Z1"), saved});
    ASSERT_TRUE(unzip.waitForFinished());
    EXPECT_EQ(QString::fromUtf8(unzip.readAllStandardOutput()).split(QLatin1Char('\n'), Qt::SkipEmptyParts),
              (QStringList{QStringLiteral("data.db"), QStringLiteral("BackupInfo.xml")}));

    // Something new after the backup, then Restore from Backup with that archive.
    window()->activateWindow();
    addContact(QStringLiteral("Bo"), QStringLiteral("Sun"));
    preferences = openPreferences();
    ASSERT_NE(preferences, nullptr);
    FilePanelPresenter::shared().setNextAnswer(FilePanelAnswer::choose(saved));
    platform::ui::AlertPresenter::shared().setNextAnswer(platform::ui::AlertAnswer::button(0));
    click(widgetNamed<QPushButton>(QStringLiteral("Restore from Backup"), preferences));
    ASSERT_TRUE(QTest::qWaitFor([&] { return alertShown(QStringLiteral("Restore Successful")); }, 30000));
    ASSERT_TRUE(listShows(QStringLiteral("Ann Lee")));
    EXPECT_TRUE(QTest::qWaitFor([&] { return !rowWithText(contactsList(), QStringLiteral("Bo Sun")).isValid(); }, 5000));
    // The restore leaves no contact chosen: the page's header keeps its height at the top, it is not
    // spread over the page the tab's view has left.
    settle();
    auto *logsTab = widgetNamed<QPushButton>(QStringLiteral("Logs"), window());
    ASSERT_NE(logsTab, nullptr);
    EXPECT_LT(logsTab->mapTo(window(), QPoint()).y(), window()->height() / 3);

    // What was restored is what the next start finds.
    quitThroughTheMenu();
    start();
    ASSERT_TRUE(listShows(QStringLiteral("Ann Lee")));
    EXPECT_FALSE(rowWithText(contactsList(), QStringLiteral("Bo Sun")).isValid());
    EXPECT_EQ(phonesOf(QStringLiteral("Ann Lee")), QStringList{QStringLiteral("555-0100")});
}

TEST_F(BackupRoadsTest, AStoreThatCannotBeOpenedAtLaunchCanBeReplacedByABackup)
{
    start();
    addContact(QStringLiteral("Ann"), QStringLiteral("Lee"));
    QWidget *preferences = openPreferences();
    ASSERT_NE(preferences, nullptr);
    const QString saved = QDir(platform::core::StandardPaths::documentsFolder()).filePath(QStringLiteral("kept.zip"));
    FilePanelPresenter::shared().setNextAnswer(FilePanelAnswer::choose(saved));
    click(widgetNamed<QPushButton>(QStringLiteral("Back Up Now"), preferences));
    ASSERT_TRUE(QTest::qWaitFor([&] { return QFileInfo::exists(saved); }, 60000));
    settle();
    quitThroughTheMenu();

    // The store file is damaged while the program is not running.
    const QString store = QDir(platform::core::StandardPaths::dataFolder()).filePath(QStringLiteral("Quendel.sqlite"));
    for (const QString &suffix : {QStringLiteral("-wal"), QStringLiteral("-shm")})
        QFile::remove(store + suffix);
    {
        QFile damaged(store);
        ASSERT_TRUE(damaged.open(QIODevice::WriteOnly | QIODevice::Truncate));
        damaged.write(QByteArray(16384, 'x'));
    }
    // The launch alert's second button, then the archive in the open panel.
    platform::ui::AlertPresenter::shared().clearShownAlerts();
    platform::ui::AlertPresenter::shared().setNextAnswer(platform::ui::AlertAnswer::button(1));
    FilePanelPresenter::shared().setNextAnswer(FilePanelAnswer::choose(saved));
    start();
    EXPECT_TRUE(exits.isEmpty());
    ASSERT_FALSE(platform::ui::AlertPresenter::shared().shownAlerts().isEmpty());
    EXPECT_EQ(platform::ui::AlertPresenter::shared().shownAlerts().first().spec.messageText,
              AppDelegate::StoreUnavailableTitle);
    ASSERT_TRUE(listShows(QStringLiteral("Ann Lee")));
}

TEST_F(BackupRoadsTest, AFileThatIsNoZipArchiveIsRefusedAndTheAutomaticOptionsAreKept)
{
    start();
    addContact(QStringLiteral("Ann"), QStringLiteral("Lee"));
    QWidget *preferences = openPreferences();
    ASSERT_NE(preferences, nullptr);

    const QString notes = QDir(platform::core::StandardPaths::documentsFolder()).filePath(QStringLiteral("notes.ZIP"));
    QFile file(notes);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.close();
    FilePanelPresenter::shared().setNextAnswer(FilePanelAnswer::choose(notes));
    platform::ui::AlertPresenter::shared().setNextAnswer(platform::ui::AlertAnswer::button(0));
    click(widgetNamed<QPushButton>(QStringLiteral("Restore from Backup"), preferences));
    ASSERT_TRUE(QTest::qWaitFor([&] { return alertShown(QStringLiteral("Cannot accept file")); }, 5000));
    EXPECT_TRUE(listShows(QStringLiteral("Ann Lee")));

    // Weekly, keep 20, then automatic backups off: the choices stay after a quit and a start.
    auto *interval = widgetNamed<QComboBox>(QStringLiteral("Backup interval"), preferences);
    auto *keep = widgetNamed<QComboBox>(QStringLiteral("Backups to keep"), preferences);
    auto *automatic = widgetNamed<QCheckBox>(QStringLiteral("Back up automatically"), preferences);
    ASSERT_TRUE(interval && keep && automatic);
    EXPECT_TRUE(automatic->isChecked());
    EXPECT_EQ(interval->currentText(), QStringLiteral("Daily"));
    EXPECT_EQ(keep->currentText(), QStringLiteral("10 backups"));
    activateWindowOf(interval);
    interval->setFocus();
    QTest::keyClick(interval, Qt::Key_Down);
    keep->setFocus();
    QTest::keyClick(keep, Qt::Key_Down);
    // On the box itself (the row is wider than the box and its label).
    QTest::mouseClick(automatic, Qt::LeftButton, {}, QPoint(8, automatic->height() / 2));
    settle();
    EXPECT_FALSE(automatic->isChecked());
    EXPECT_FALSE(interval->isEnabled());
    EXPECT_FALSE(keep->isEnabled());
    preferences->close();

    quitThroughTheMenu();
    start();
    preferences = openPreferences();
    ASSERT_NE(preferences, nullptr);
    EXPECT_FALSE(widgetNamed<QCheckBox>(QStringLiteral("Back up automatically"), preferences)->isChecked());
    EXPECT_EQ(widgetNamed<QComboBox>(QStringLiteral("Backup interval"), preferences)->currentText(), QStringLiteral("Weekly"));
    EXPECT_EQ(widgetNamed<QComboBox>(QStringLiteral("Backups to keep"), preferences)->currentText(), QStringLiteral("20 backups"));
}

} // namespace
