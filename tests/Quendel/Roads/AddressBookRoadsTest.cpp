// The contacts list follows the address book while the program runs: a card another program renames
// renames the contact, a new card is offered for import when the user asked so, and a deleted contact
// hands its place in the list to its neighbour.

#include "RoadsFixture.h"

#include "platform/contacts/AddressBook.h"
#include "platform/core/StandardPaths.h"

#include <QCheckBox>
#include <QDialog>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QItemSelectionModel>
#include <QLabel>
#include <QTabWidget>

using namespace roads;

namespace {

class AddressBookRoadsTest : public AddressBookRoadTest
{
protected:
    // The card file holding `text`; empty when there is none.
    QString cardHolding(const QByteArray &text) const
    {
        QDirIterator it(collection(), {QStringLiteral("*.vcf")}, QDir::Files);
        while (it.hasNext()) {
            const QString path = it.next();
            QFile file(path);
            if (file.open(QIODevice::ReadOnly) && file.readAll().contains(text))
                return path;
        }
        return {};
    }


    QStringList selectedRowTexts()
    {
        QStringList texts;
        for (const QModelIndex &index : contactsList()->selectionModel()->selectedRows())
            texts << index.data().toString();
        return texts;
    }
};

TEST_F(AddressBookRoadsTest, ACardRenamedByAnotherProgramRenamesTheContactInTheList)
{
    start();
    addContactThroughTheSheet(QStringLiteral("Nora"), QStringLiteral("Quist"));
    QString card;
    ASSERT_TRUE(QTest::qWaitFor([&] { return !(card = cardHolding("Quist")).isEmpty(); }, 5000));
    clickRow(contactsList(), QStringLiteral("Nora Quist"));

    QFile file(card);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    QByteArray data = file.readAll();
    file.close();
    data.replace("Quist", "Quill");
    const qsizetype rev = data.indexOf("REV:");
    ASSERT_GE(rev, 0);
    data.replace(rev, data.indexOf('\r', rev) - rev, "REV:20991231T000000Z");
    writeAsAnotherProgram(card, data);

    ASSERT_TRUE(listShows(QStringLiteral("Nora Quill"), 15000)) << rowTexts(contactsList()).join('|').toStdString();
    EXPECT_FALSE(rowWithText(contactsList(), QStringLiteral("Nora Quist")).isValid());
    // The contact on show stays selected, under its new name.
    EXPECT_EQ(selectedRowTexts(), QStringList{QStringLiteral("Nora Quill")});
}

TEST_F(AddressBookRoadsTest, ANewCardIsOfferedForImportOnlyOnceTheUserAskedForIt)
{
    start();
    auto &alerts = platform::ui::AlertPresenter::shared();
    const auto offers = [&] {
        int count = 0;
        for (const auto &shown : alerts.shownAlerts())
            count += shown.spec.informativeText.contains(QStringLiteral("new Contact")) ? 1 : 0;
        return count;
    };
    const QByteArray first = "BEGIN:VCARD\r\nVERSION:3.0\r\nUID:road-new-1\r\nN:Vance;Orla;;;\r\nFN:Orla Vance\r\n"
                             "REV:20991231T000000Z\r\nEND:VCARD\r\n";
    // Not asked for: a new card is not offered.
    writeAsAnotherProgram(collection() + QStringLiteral("/road-new-1.vcf"), first);
    // Long enough for the refresh that follows a change.
    QTest::qWait(5000);
    EXPECT_EQ(offers(), 0);

    // The preference that asks for the offers.
    QWidget *preferences = openPreferencesWindow();
    ASSERT_NE(preferences, nullptr);
    auto *tabs = widgetNamed<QTabWidget>(QStringLiteral("Preferences panes"), preferences);
    ASSERT_NE(tabs, nullptr);
    QCheckBox *ask = nullptr;
    for (int i = 0; i < tabs->count() && !ask; ++i) {
        tabs->setCurrentIndex(i);
        settle();
        const QList<QWidget *> found = widgetsNamed(QStringLiteral("Tell me about new contacts to import"), preferences);
        ask = found.isEmpty() ? nullptr : qobject_cast<QCheckBox *>(found.first());
    }
    ASSERT_NE(ask, nullptr);
    click(ask);
    ASSERT_TRUE(ask->isChecked());
    preferences->close();
    settle();

    // Another card arrives: the user is asked, says "Import", and picks it in the import window. The look
    // that follows the refresh then finds the first card, which is new to the program too: "No".
    alerts.setNextAnswer(platform::ui::AlertAnswer::button(0));
    alerts.setNextAnswer(platform::ui::AlertAnswer::button(1));
    const QByteArray second = "BEGIN:VCARD\r\nVERSION:3.0\r\nUID:road-new-2\r\nN:Wren;Pia;;;\r\nFN:Pia Wren\r\n"
                              "REV:20991231T000000Z\r\nEND:VCARD\r\n";
    writeAsAnotherProgram(collection() + QStringLiteral("/road-new-2.vcf"), second);
    ASSERT_TRUE(QTest::qWaitFor([&] { return offers() > 0; }, 15000));
    const QString asked = alerts.shownAlerts().last().spec.informativeText;
    EXPECT_EQ(asked, QStringLiteral("1 new Contact detected. Would you like to import it into Quendel?"));
    QDialog *dialog = nullptr;
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return (dialog = qobject_cast<QDialog *>(widgetsNamed(QStringLiteral("Import Contacts")).value(0))); }, 5000));
    auto *list = widgetNamed<QAbstractItemView>(QStringLiteral("Contacts to import"), dialog);
    ASSERT_NE(list, nullptr);
    // Only what was offered.
    EXPECT_TRUE(rowWithText(list, QStringLiteral("Pia Wren")).isValid()) << rowTexts(list).join('|').toStdString();
    EXPECT_FALSE(rowWithText(list, QStringLiteral("Orla Vance")).isValid());
    clickRow(list, QStringLiteral("Pia Wren"));
    click(widgetNamed<QPushButton>(QStringLiteral("Import"), dialog));
    ASSERT_TRUE(QTest::qWaitFor([&] { return widgetsNamed(QStringLiteral("Import Contacts")).isEmpty(); }, 5000));
    ASSERT_TRUE(listShows(QStringLiteral("Pia Wren")));

    // The refresh that follows asks about the first card only: nobody is offered twice.
    ASSERT_TRUE(QTest::qWaitFor([&] { return offers() == 2; }, 15000));
    EXPECT_EQ(alerts.shownAlerts().last().spec.informativeText,
              QStringLiteral("1 new Contact detected. Would you like to import it into Quendel?"));
    QTest::qWait(500);
    EXPECT_TRUE(widgetsNamed(QStringLiteral("Import Contacts")).isEmpty());
    EXPECT_FALSE(rowWithText(contactsList(), QStringLiteral("Orla Vance")).isValid());
}

TEST_F(AddressBookRoadsTest, ADeletedContactHandsItsPlaceToItsNeighbour)
{
    start();
    addContactThroughTheSheet(QStringLiteral("Ann"), QStringLiteral("Adams"));
    addContactThroughTheSheet(QStringLiteral("Bob"), QStringLiteral("Brown"));
    addContactThroughTheSheet(QStringLiteral("Cid"), QStringLiteral("Cole"));
    clickRow(contactsList(), QStringLiteral("Bob Brown"));
    auto &alerts = platform::ui::AlertPresenter::shared();
    alerts.setNextAnswer(platform::ui::AlertAnswer::button(0));
    chooseMenuItem(window(), QStringLiteral("Edit"), QStringLiteral("Delete"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !rowWithText(contactsList(), QStringLiteral("Bob Brown")).isValid(); }, 5000));
    EXPECT_EQ(selectedRowTexts(), QStringList{QStringLiteral("Cid Cole")});
    // Its page is on show.
    EXPECT_TRUE(widgetNamed<QPushButton>(QStringLiteral("Logs"))->isEnabled());
    bool named = false;
    for (QLabel *label : window()->findChildren<QLabel *>())
        named = named || (label->isVisible() && label->text() == QLatin1String("Cid Cole"));
    EXPECT_TRUE(named);
}

} // namespace
