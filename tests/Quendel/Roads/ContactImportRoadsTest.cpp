#include "RoadsFixture.h"

#include <QToolButton>

#include "platform/contacts/AddressBook.h"
#include "platform/core/StandardPaths.h"
#include "platform/ui/FilePanel.h"

#include <QDialog>
#include <QDir>
#include <QFile>
#include <QPushButton>
#include <QThread>
#include <QTreeWidget>

using namespace roads;

namespace {

QByteArray fixture(const QString &name)
{
    QFile file(qEnvironmentVariable("QUENDEL_TEST_DATA") + QStringLiteral("/contacts/") + name);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

class ContactImportRoadsTest : public AddressBookRoadTest
{
protected:
    // A field on show whose text is `text`.
    bool fieldShows(const QString &text)
    {
        for (QLineEdit *field : window()->findChildren<QLineEdit *>())
            if (field->isVisible() && field->text() == text)
                return true;
        return false;
    }
    QLineEdit *fieldNamedStarting(const QString &prefix)
    {
        for (const QString &name : namesStartingWith(prefix, window()))
            if (!name.endsWith(QLatin1String(" label")) && !name.endsWith(QLatin1String(" new")))
                if (auto *field = qobject_cast<QLineEdit *>(widgetsNamed(name, window()).value(0)))
                    return field;
        return nullptr;
    }
    void checkRow(QAbstractItemView *list, const QString &text)
    {
        clickRow(list, text);
    }
};

} // namespace

TEST_F(ContactImportRoadsTest, CardsWrittenByAnotherProgramAreImportedAndStayInStepBothWays)
{
    const QString ada = collection() + QStringLiteral("/ada-lovelace-0001.vcf");       // picture, custom label
    const QString northwind = collection() + QStringLiteral("/northwind.vcf");          // a company
    const QString juergen = collection() + QStringLiteral("/juergen.vcf");
    writeAsAnotherProgram(ada, fixture(QStringLiteral("grouped-labels-v3.vcf")));
    writeAsAnotherProgram(northwind, fixture(QStringLiteral("company-v4.vcf")));
    writeAsAnotherProgram(juergen, fixture(QStringLiteral("quoted-printable-v21.vcf")));
    start();

    click(widgetNamed<QToolButton>(QStringLiteral("Add")));
    choosePoppedUpItem(QStringLiteral("Import Contacts"));
    auto *dialog = widgetNamed<QDialog>(QStringLiteral("Import Contacts"));
    ASSERT_NE(dialog, nullptr);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(dialog));
    auto *list = widgetNamed<QAbstractItemView>(QStringLiteral("Contacts to import"), dialog);
    ASSERT_NE(list, nullptr);
    const QStringList offered = rowTexts(list);
    EXPECT_TRUE(offered.contains(QStringLiteral("Lady Ada King Lovelace"))) << offered.join('|').toStdString();
    EXPECT_TRUE(offered.contains(QStringLiteral("Northwind Trading"))) << offered.join('|').toStdString();
    EXPECT_TRUE(offered.contains(QStringLiteral("Jürgen Müller"))) << offered.join('|').toStdString();

    // The search narrows the list; Select All checks only what is shown.
    typeInto(widgetNamed<QLineEdit>(QStringLiteral("Search contacts to import"), dialog), QStringLiteral("NORTHWIND"), false);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !rowWithText(list, QStringLiteral("Lovelace")).isValid(); }, 2000));
    click(widgetNamed<QPushButton>(QStringLiteral("Select All"), dialog));
    auto *search = widgetNamed<QLineEdit>(QStringLiteral("Search contacts to import"), dialog);
    QTest::keyClick(search, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(search, Qt::Key_Backspace);
    ASSERT_TRUE(QTest::qWaitFor([&] { return rowWithText(list, QStringLiteral("Lovelace")).isValid(); }, 2000));
    checkRow(list, QStringLiteral("Lady Ada King Lovelace"));
    click(widgetNamed<QPushButton>(QStringLiteral("Import"), dialog));
    ASSERT_TRUE(QTest::qWaitFor([&] { return widgetsNamed(QStringLiteral("Import Contacts")).isEmpty(); }, 5000));

    ASSERT_TRUE(listShows(QStringLiteral("Ada Lovelace")));
    ASSERT_TRUE(listShows(QStringLiteral("Northwind Trading")));
    EXPECT_FALSE(rowWithText(contactsList(), QStringLiteral("Müller")).isValid());

    // A phone edited in the program reaches the card file.
    clickRow(contactsList(), QStringLiteral("Northwind Trading"));
    click(widgetNamed<QPushButton>(QStringLiteral("Info")));
    click(widgetNamed<QPushButton>(QStringLiteral("Edit")));
    QLineEdit *phone = fieldNamedStarting(QStringLiteral("Phones "));
    ASSERT_NE(phone, nullptr);
    EXPECT_EQ(phone->text(), QStringLiteral("+1-555-0100"));
    replaceText(phone, QStringLiteral("+1-555-0199"));
    click(widgetNamed<QPushButton>(QStringLiteral("Done")));
    ASSERT_TRUE(QTest::qWaitFor([&] { return readFile(northwind).contains("+1-555-0199"); }, 5000))
        << readFile(northwind).constData();
    EXPECT_TRUE(readFile(northwind).contains("X-CUSTOM-THING")); // the other program's line survives
    EXPECT_TRUE(fieldShows(QStringLiteral("info@northwind.example")));

    // An e-mail changed in the card file by another program reaches the contact page.
    QByteArray card = readFile(northwind);
    card.replace("info@northwind.example", "sales@northwind.example");
    const qsizetype rev = card.indexOf("REV:");
    ASSERT_GE(rev, 0);
    card.replace(rev, card.indexOf('\r', rev) - rev, "REV:20991231T000000Z");
    writeAsAnotherProgram(northwind, card);
    ASSERT_TRUE(QTest::qWaitFor([&] { return fieldShows(QStringLiteral("sales@northwind.example")); }, 15000));
}

namespace {

TEST_F(ContactImportRoadsTest, AVCardFileBecomesPrivateOrPublicContacts)
{
    start();
    const QString home = qEnvironmentVariable("HOME");
    const QString privateFile = QDir(home).filePath(QStringLiteral("friends.vcf"));
    const QString publicFile = QDir(home).filePath(QStringLiteral("colleagues.vcf"));
    writeAsAnotherProgram(privateFile, "BEGIN:VCARD\r\nVERSION:3.0\r\nN:Pryce;Pia;;;\r\nFN:Pia Pryce\r\n"
                                           "TEL;TYPE=CELL:555-0101\r\nBDAY:1990-03-03\r\nEND:VCARD\r\n"
                                           "BEGIN:VCARD\r\nVERSION:3.0\r\nN:Quinn;Quy;;;\r\nFN:Quy Quinn\r\n"
                                           "EMAIL;TYPE=HOME:quy@example.com\r\nEND:VCARD\r\n");
    writeAsAnotherProgram(publicFile, "BEGIN:VCARD\r\nVERSION:3.0\r\nN:Rowe;Rita;;;\r\nFN:Rita Rowe\r\n"
                                          "TEL;TYPE=WORK:555-0199\r\nEND:VCARD\r\n");
    const QStringList cardsBefore = QDir(collection()).entryList({QStringLiteral("*.vcf")}, QDir::Files);

    // Private: the contacts are kept here only.
    platform::ui::FilePanelPresenter::shared().setNextAnswer(platform::ui::FilePanelAnswer::choose(privateFile));
    platform::ui::AlertPresenter::shared().setNextAnswer(platform::ui::AlertAnswer::button(0));
    chooseMenuItem(window(), QStringLiteral("File"), QStringLiteral("Import vCard File…"));
    ASSERT_TRUE(listShows(QStringLiteral("Pia Pryce")));
    ASSERT_TRUE(listShows(QStringLiteral("Quy Quinn")));
    ASSERT_FALSE(platform::ui::AlertPresenter::shared().shownAlerts().isEmpty());
    EXPECT_EQ(platform::ui::AlertPresenter::shared().shownAlerts().last().spec.messageText,
              QStringLiteral("Import 2 contacts from vCard"));
    // The File menu's import is the Add menu's: the same four choices.
    EXPECT_EQ(platform::ui::AlertPresenter::shared().shownAlerts().last().spec.buttonTitles,
              (QStringList{QStringLiteral("Add Private Contacts"), QStringLiteral("Add Private Contacts (new group)"),
                           QStringLiteral("Add Public Contacts"), QStringLiteral("Cancel")}));
    EXPECT_EQ(QDir(collection()).entryList({QStringLiteral("*.vcf")}, QDir::Files), cardsBefore);
    clickRow(contactsList(), QStringLiteral("Pia Pryce"));
    click(widgetNamed<QPushButton>(QStringLiteral("Info")));
    EXPECT_TRUE(fieldShows(QStringLiteral("555-0101")));

    // Public: each contact gets its card in the address book.
    platform::ui::FilePanelPresenter::shared().setNextAnswer(platform::ui::FilePanelAnswer::choose(publicFile));
    platform::ui::AlertPresenter::shared().setNextAnswer(platform::ui::AlertAnswer::button(2));
    chooseMenuItem(window(), QStringLiteral("File"), QStringLiteral("Import vCard File…"));
    ASSERT_TRUE(listShows(QStringLiteral("Rita Rowe")));
    const QStringList cardsAfter = QDir(collection()).entryList({QStringLiteral("*.vcf")}, QDir::Files);
    ASSERT_EQ(cardsAfter.size(), cardsBefore.size() + 1);
    QByteArray written;
    for (const QString &name : cardsAfter)
        if (!cardsBefore.contains(name))
            written = readFile(collection() + QLatin1Char('/') + name);
    EXPECT_TRUE(written.contains("Rowe")) << written.constData();
    EXPECT_TRUE(written.contains("555-0199")) << written.constData();

    // A file that is no vCard is refused with an error and imports nothing.
    const QString broken = QDir(home).filePath(QStringLiteral("broken.vcf"));
    writeAsAnotherProgram(broken, "this is not a card\r\n");
    const int rowsBefore = rowTexts(contactsList()).size();
    platform::ui::FilePanelPresenter::shared().setNextAnswer(platform::ui::FilePanelAnswer::choose(broken));
    chooseMenuItem(window(), QStringLiteral("File"), QStringLiteral("Import vCard File…"));
    ASSERT_TRUE(QTest::qWaitFor(
        [] { return platform::ui::AlertPresenter::shared().shownAlerts().last().spec.messageText == QLatin1String("Error"); },
        3000));
    EXPECT_EQ(rowTexts(contactsList()).size(), rowsBefore);

    quitThroughTheMenu();
    start();
    EXPECT_TRUE(listShows(QStringLiteral("Pia Pryce")));
    EXPECT_TRUE(listShows(QStringLiteral("Rita Rowe")));
}

} // namespace
