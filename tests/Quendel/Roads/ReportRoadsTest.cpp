#include "RoadsFixture.h"

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QPushButton>
#include <QStandardPaths>
#include <QToolButton>

using namespace roads;

namespace {

// The rows of a CSV text: quoted cells may hold commas, doubled quotes and line feeds.
QList<QStringList> parseCSV(const QString &text)
{
    QList<QStringList> rows;
    QStringList row;
    QString cell;
    bool quoted = false;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (quoted) {
            if (c == QLatin1Char('"') && i + 1 < text.size() && text.at(i + 1) == QLatin1Char('"')) {
                cell += c;
                ++i;
            } else if (c == QLatin1Char('"')) {
                quoted = false;
            } else {
                cell += c;
            }
        } else if (c == QLatin1Char('"')) {
            quoted = true;
        } else if (c == QLatin1Char(',')) {
            row << cell;
            cell.clear();
        } else if (c == QLatin1Char('\n')) {
            row << cell;
            rows << row;
            row.clear();
            cell.clear();
        } else {
            cell += c;
        }
    }
    return rows;
}

class ReportRoadsTest : public RoadTest
{
protected:
    void addContact(const QString &first, const QString &last) { addContactThroughTheSheet(first, last); }

    void addLog(const QString &contact, const QString &note)
    {
        clickRow(contactsList(), contact);
        auto *logs = widgetNamed<QAbstractItemView>(QStringLiteral("Logs"));
        ASSERT_NE(logs, nullptr);
        click(widgetNamed<QPushButton>(QStringLiteral("Add to Logs")));
        platform::ui::Sheet *editor = sheetOver(window());
        ASSERT_NE(editor, nullptr);
        auto *notes = widgetNamed<QPlainTextEdit>(QStringLiteral("Notes"), editor);
        const QStringList lines = note.split(QLatin1Char('\n'));
        typeInto(notes, lines.first(), false);
        for (qsizetype i = 1; i < lines.size(); ++i) {
            QTest::keyClick(notes, Qt::Key_Return);
            QTest::keyClicks(notes, lines.at(i));
        }
        click(widgetNamed<QPushButton>(QStringLiteral("Save"), editor));
        ASSERT_TRUE(QTest::qWaitFor([&] { return !sheetOver(window()); }, 5000));
    }

    // Moves a pop-up's choice down by `steps` with the arrow key, as a user does with the keyboard.
    static void choose(QComboBox *box, const QString &item)
    {
        ASSERT_NE(box, nullptr);
        activateWindowOf(box);
        box->setFocus(Qt::TabFocusReason);
        for (int i = 0; i < box->count() && box->currentText() != item; ++i)
            QTest::keyClick(box, Qt::Key_Down);
        ASSERT_EQ(box->currentText(), item);
        settle();
    }

    static QString exported(const QString &prefix)
    {
        const QDir documents(QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation));
        const QStringList found = documents.entryList({prefix + QStringLiteral("_*")}, QDir::Files);
        return found.size() == 1 ? documents.filePath(found.first()) : QString();
    }
};

TEST_F(ReportRoadsTest, ALogsReportOfTheShownGroupIsExportedAsCsvAndPdf)
{
    start();
    addContact(QStringLiteral("Zoe"), QStringLiteral("Quill"));
    addContact(QStringLiteral("Ann"), QStringLiteral("Adams"));
    addLog(QStringLiteral("Zoe Quill"), QStringLiteral("Lunch, by the \"river\"\nthen home"));
    addLog(QStringLiteral("Ann Adams"), QStringLiteral("Tea"));

    // The search narrows the list, so the shown group is Zoe alone.
    typeInto(widgetNamed<QLineEdit>(QStringLiteral("Search")), QStringLiteral("qui"), false);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !rowWithText(contactsList(), QStringLiteral("Ann Adams")).isValid(); }, 5000));

    chooseMenuItem(window(), QStringLiteral("File"), QStringLiteral("Export Report…"));
    QWidget *pane = widgetNamed(QStringLiteral("Export Report"));
    ASSERT_NE(pane, nullptr);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(pane));
    choose(widgetNamed<QComboBox>(QStringLiteral("Export contacts"), pane), QStringLiteral("Current Group"));
    choose(widgetNamed<QComboBox>(QStringLiteral("Export dates"), pane), QStringLiteral("Date Range"));
    EXPECT_NE(widgetNamed(QStringLiteral("Report start date"), pane), nullptr);
    EXPECT_EQ(widgetNamed<QComboBox>(QStringLiteral("Export format"), pane)->currentText(), QStringLiteral("CSV"));

    auto *exportButton = widgetNamed<QPushButton>(QStringLiteral("Export"), pane);
    click(exportButton);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !exported(QStringLiteral("QuendelData")).isNull(); }, 10000));
    ASSERT_TRUE(QTest::qWaitFor([&] { return exportButton->isEnabled(); }, 5000));
    QFile csv(exported(QStringLiteral("QuendelData")));
    ASSERT_TRUE(csv.open(QIODevice::ReadOnly));
    const QList<QStringList> rows = parseCSV(QString::fromUtf8(csv.readAll()));
    ASSERT_EQ(rows.size(), 3);
    EXPECT_EQ(rows[0], QStringList{QStringLiteral("Logs")});
    EXPECT_EQ(rows[1], QStringLiteral("Date,Contact,Company,Title,Location,Note").split(QLatin1Char(',')));
    ASSERT_EQ(rows[2].size(), 6);
    EXPECT_EQ(rows[2][1], QStringLiteral("Zoe Quill"));
    EXPECT_EQ(rows[2][5], QStringLiteral("Lunch, by the \"river\"\nthen home"));

    choose(widgetNamed<QComboBox>(QStringLiteral("Export format"), pane), QStringLiteral("Print"));
    click(exportButton);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !exported(QStringLiteral("QuendelPDF")).isNull(); }, 10000));
    ASSERT_TRUE(QTest::qWaitFor([&] { return exportButton->isEnabled(); }, 5000));
    QFile pdf(exported(QStringLiteral("QuendelPDF")));
    ASSERT_TRUE(pdf.open(QIODevice::ReadOnly));
    const QByteArray bytes = pdf.readAll();
    EXPECT_TRUE(bytes.startsWith("%PDF"));
    EXPECT_EQ(bytes.count("/Type /Page\n") + bytes.count("/Type /Page\r") + bytes.count("/Type /Page "), 1)
        << "pages of the report";
    EXPECT_TRUE(platform::ui::AlertPresenter::shared().shownAlerts().isEmpty());
}

} // namespace
