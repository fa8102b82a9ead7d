#include "RoadsFixture.h"

#include <QToolButton>

#include "platform/contacts/AddressBook.h"
#include "platform/core/StandardPaths.h"

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

// Writes a card the way synchronising tools do: a temporary file renamed into place.
void writeCardAsAnotherProgram(const QString &path, const QByteArray &data)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile temp(path + QStringLiteral(".part"));
    ASSERT_TRUE(temp.open(QIODevice::WriteOnly));
    temp.write(data);
    temp.close();
    QFile::remove(path);
    ASSERT_TRUE(QFile::rename(temp.fileName(), path));
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

class ContactImportRoadsTest : public RoadTest
{
protected:
    void SetUp() override
    {
        RoadTest::SetUp();
        // The address book of this test's home, not of an earlier test's.
        platform::contacts::AddressBook::setShared(nullptr);
    }
    void TearDown() override
    {
        RoadTest::TearDown();
        platform::contacts::AddressBook::setShared(nullptr);
    }

    QString collection() const
    {
        return platform::core::StandardPaths::dataFolderPath() + QStringLiteral("/contacts/local/default");
    }
    QAbstractItemView *contactsList() { return widgetNamed<QAbstractItemView>(QStringLiteral("Contacts")); }
    bool listShows(const QString &text)
    {
        return QTest::qWaitFor([&] { return rowWithText(contactsList(), text).isValid(); }, 5000);
    }
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
    writeCardAsAnotherProgram(ada, fixture(QStringLiteral("grouped-labels-v3.vcf")));
    writeCardAsAnotherProgram(northwind, fixture(QStringLiteral("company-v4.vcf")));
    writeCardAsAnotherProgram(juergen, fixture(QStringLiteral("quoted-printable-v21.vcf")));
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
    writeCardAsAnotherProgram(northwind, card);
    ASSERT_TRUE(QTest::qWaitFor([&] { return fieldShows(QStringLiteral("sales@northwind.example")); }, 15000));
}
