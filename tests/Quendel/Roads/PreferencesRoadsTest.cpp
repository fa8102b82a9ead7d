// The general panes of the preferences: display settings reach the contacts list at once, the report
// export is one of the panes, the geocoding service address refuses what is not a web address.

#include "RoadsFixture.h"

#include "platform/core/UserDefaults.h"
#include "platform/maps/Geocoder.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QTabWidget>
#include <QToolButton>

using namespace roads;

namespace {

class PreferencesRoadsTest : public RoadTest
{
protected:
    void addContact(const QString &first, const QString &last) { addContactThroughTheSheet(first, last); }

    // Picks an item of a pop-up as the user does.
    static void choose(QComboBox *box, const QString &item)
    {
        ASSERT_NE(box, nullptr);
        const int index = box->findText(item);
        ASSERT_GE(index, 0) << item.toStdString();
        activateWindowOf(box);
        box->setCurrentIndex(index);
        emit box->activated(index);
        settle();
    }

    static void showTab(QWidget *preferences, const QString &title)
    {
        auto *tabs = widgetNamed<QTabWidget>(QStringLiteral("Preferences panes"), preferences);
        ASSERT_NE(tabs, nullptr);
        for (int i = 0; i < tabs->count(); ++i) {
            if (tabs->tabText(i) == title) {
                tabs->setCurrentIndex(i);
                settle();
                return;
            }
        }
        ADD_FAILURE() << "no pane " << title.toStdString();
    }
};

TEST_F(PreferencesRoadsTest, TheNameOrderAndSortOrderReachTheContactsListAtOnce)
{
    start();
    addContact(QStringLiteral("Ann"), QStringLiteral("Zeller"));
    addContact(QStringLiteral("Bob"), QStringLiteral("Adams"));
    QStringList rows = rowTexts(contactsList());
    ASSERT_LT(rows.indexOf(QStringLiteral("Ann Zeller")), rows.indexOf(QStringLiteral("Bob Adams")));

    QWidget *preferences = openPreferencesWindow();
    ASSERT_NE(preferences, nullptr);
    choose(widgetNamed<QComboBox>(QStringLiteral("Show names as"), preferences), QStringLiteral("Last, First"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return rowWithText(contactsList(), QStringLiteral("Zeller Ann")).isValid(); }, 5000));
    choose(widgetNamed<QComboBox>(QStringLiteral("Sort contacts by"), preferences), QStringLiteral("Last Name"));
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            rows = rowTexts(contactsList());
            const qsizetype adams = rows.indexOf(QStringLiteral("Adams Bob"));
            return adams >= 0 && adams < rows.indexOf(QStringLiteral("Zeller Ann"));
        },
        5000))
        << rows.join(QLatin1String(" | ")).toStdString();
    // The pop-ups come back once the settings are written.
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return widgetNamed<QComboBox>(QStringLiteral("Sort contacts by"), preferences)->isEnabled(); }, 5000));
    quitThroughTheMenu();

    // Kept for the next start.
    start();
    EXPECT_TRUE(rowWithText(contactsList(), QStringLiteral("Zeller Ann")).isValid());
    preferences = openPreferencesWindow();
    EXPECT_EQ(widgetNamed<QComboBox>(QStringLiteral("Show names as"), preferences)->currentText(), QStringLiteral("Last, First"));
    EXPECT_EQ(widgetNamed<QComboBox>(QStringLiteral("Sort contacts by"), preferences)->currentText(), QStringLiteral("Last Name"));
    quitThroughTheMenu();
}

TEST_F(PreferencesRoadsTest, ConfirmationBoxesShowAskingAndTheMapServiceTakesOnlyWebAddresses)
{
    start();
    QWidget *preferences = openPreferencesWindow();
    ASSERT_NE(preferences, nullptr);
    auto defaults = platform::core::UserDefaults::standardUserDefaults();

    showTab(preferences, QStringLiteral("To-dos"));
    auto *deleteLogs = widgetNamed<QCheckBox>(QStringLiteral("Deleting a log"), preferences);
    ASSERT_NE(deleteLogs, nullptr);
    EXPECT_TRUE(deleteLogs->isChecked());
    click(deleteLogs);
    EXPECT_FALSE(deleteLogs->isChecked());
    EXPECT_TRUE(defaults->boolForKey(QStringLiteral("defaults_delete_log")));
    choose(widgetNamed<QComboBox>(QStringLiteral("Default to-do day"), preferences), QStringLiteral("In a week"));
    EXPECT_EQ(dataPlistValues().integerValue(QStringLiteral("todo_setting_default_day")), 3);

    showTab(preferences, QStringLiteral("General"));
    auto *service = widgetNamed<QLineEdit>(QStringLiteral("Address lookup service"), preferences);
    auto *status = widgetNamed<QLabel>(QStringLiteral("Address lookup status"), preferences);
    ASSERT_NE(service, nullptr);
    ASSERT_NE(status, nullptr);
    typeInto(service, QStringLiteral("ftp://maps.example.org"));
    EXPECT_TRUE(defaults->stringForKey(platform::maps::Geocoder::ServiceURLKey).isEmpty());
    EXPECT_TRUE(status->text().contains(QStringLiteral("https://")));
    replaceText(service, QStringLiteral("https://geocoder.example.org/search"));
    EXPECT_EQ(defaults->stringForKey(platform::maps::Geocoder::ServiceURLKey), QStringLiteral("https://geocoder.example.org/search"));
    // Emptied: back to finding places offline.
    QTest::mouseClick(service, Qt::LeftButton, {}, service->rect().center());
    QTest::keyClick(service, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(service, Qt::Key_Backspace);
    QTest::keyClick(service, Qt::Key_Return);
    settle();
    EXPECT_FALSE(defaults->objectForKey(platform::maps::Geocoder::ServiceURLKey).isValid());

    // The sync is off, and its button waits for the sync panes.
    showTab(preferences, QStringLiteral("Sync"));
    auto *sync = widgetNamed<QPushButton>(QStringLiteral("Sync mode"), preferences);
    ASSERT_NE(sync, nullptr);
    EXPECT_EQ(sync->text(), QStringLiteral("None"));
    EXPECT_FALSE(sync->isEnabled());

    // Export Report… in the File menu opens its pane in this window.
    chooseMenuItem(window(), QStringLiteral("File"), QStringLiteral("Export Report…"));
    EXPECT_NE(widgetNamed(QStringLiteral("Export Report"), preferences), nullptr);
    quitThroughTheMenu();
}

} // namespace
