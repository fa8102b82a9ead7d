#include "QuendelKit/Entities/EntityStoreFixture.h"

#include "QuendelKit/Entities/ExportText.h"

#include <QLocale>

#include <gtest/gtest.h>

using quendel::test::EntityStoreTest;

namespace {

class LogExportsTest : public EntityStoreTest
{
protected:
    void SetUp() override
    {
        EntityStoreTest::SetUp();
        previousLocale = QLocale();
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
        when = QDateTime(QDate(2024, 1, 5), QTime(15, 4, 5), Qt::LocalTime);
        date = ExportText::longDateMediumTime(when);
    }
    void TearDown() override
    {
        QLocale::setDefault(previousLocale);
        EntityStoreTest::TearDown();
    }

    Log *entry(const QString &name, const QString &company, const QString &titleText, const QString &place,
               const QString &address, const QString &note)
    {
        Person *person = insert<Person>();
        person->setValue(QStringLiteral("displayName"), name);
        person->setCompanyName(company);
        Log *log = insert<Log>();
        log->setPerson(person);
        log->setLogDate(when);
        log->setLogNote(note);
        if (!titleText.isNull()) {
            auto *title = insert<LogTitle>();
            title->setTitle(titleText);
            log->setTitle(title);
        }
        if (!place.isNull() || !address.isNull()) {
            auto *location = insert<Location>();
            location->setLocationName(place);
            location->setLocationAddress(address);
            log->setLogLocation(location);
        }
        return log;
    }

    QString html(const Log *log)
    {
        QString body = QStringLiteral("<p>");
        log->addLogToEmailBody(body);
        return body;
    }

    QLocale previousLocale;
    QDateTime when;
    QString date;
};

// The spaces Qt's locale data may put before "PM" all count as one plain space here.
QString plainSpaces(QString text)
{
    text.replace(QChar(0x202F), QLatin1Char(' '));
    text.replace(QChar(0x00A0), QLatin1Char(' '));
    return text;
}

} // namespace

TEST_F(LogExportsTest, DatesUseTheLongDateAndTheTimeWithSeconds)
{
    EXPECT_EQ(plainSpaces(date), QStringLiteral("January 5, 2024, 3:04:05 PM"));
    EXPECT_EQ(plainSpaces(ExportText::shortDateShortTime(when)), QStringLiteral("1/5/24, 3:04 PM"));
    EXPECT_TRUE(ExportText::longDateMediumTime(QDateTime()).isEmpty());
}

TEST_F(LogExportsTest, HtmlFragmentEscapesEveryValueFromTheUsersData)
{
    Log *log = entry(QStringLiteral("Ann <b>Lee</b>"), QStringLiteral("Smith & \"Sons\""), QStringLiteral("<Lunch>"),
                     QStringLiteral("Joe's"), QStringLiteral("1 <Main> St"),
                     QStringLiteral("Ate <script>alert(1)</script>\nPaid & left"));
    EXPECT_EQ(html(log), QStringLiteral("<p><br><b>Date:</b> ") + ExportText::escapeHTML(date) +
                             QStringLiteral(" <br>"
                                            "<b>Contact: </b> Ann &lt;b&gt;Lee&lt;/b&gt; <br>"
                                            "<b>Company Name: </b> Smith &amp; &quot;Sons&quot; <br>"
                                            "<b>Title:</b> &lt;Lunch&gt; <br>"
                                            "<b>Location:</b> Joe&#39;s <br>"
                                            "<b>Address:</b> 1 &lt;Main&gt; St <br>"
                                            "<b>Note:</b> Ate &lt;script&gt;alert(1)&lt;/script&gt;<br>"
                                            "Paid &amp; left<br>"));
}

TEST_F(LogExportsTest, HtmlFragmentGivesTheEmptyFormOfEachMissingPart)
{
    const QString head =
        QStringLiteral("<p><br><b>Date:</b> ") + date + QStringLiteral(" <br><b>Contact: </b> Ann <br>");
    const QString bare = head + QStringLiteral("<b>Title:</b>  <br><b>Location:</b> <br>");

    Log *noNote = entry(QStringLiteral("Ann"), {}, {}, {}, {}, {});
    EXPECT_EQ(html(noNote), bare + QStringLiteral("<b>Note:</b> <br>"));
    Log *emptyNote = entry(QStringLiteral("Ann"), {}, {}, {}, {}, QStringLiteral(""));
    EXPECT_EQ(html(emptyNote), bare + QStringLiteral("<b>Note:</b> <br>"));
    // An address without a place name is not shown.
    Log *addressOnly = entry(QStringLiteral("Ann"), {}, {}, {}, QStringLiteral("1 Main St"), QStringLiteral("a\r\nb"));
    EXPECT_EQ(html(addressOnly), bare + QStringLiteral("<b>Note:</b> a<br><br>b<br>"));
}

TEST_F(LogExportsTest, PlainTextLeavesOutMissingParts)
{
    Log *full = entry(QStringLiteral("Ann Lee"), QStringLiteral("Acme"), QStringLiteral("Lunch"),
                      QStringLiteral("Cafe"), QStringLiteral("1 Main St"), QStringLiteral("Soup\nSalad"));
    EXPECT_EQ(full->shareLogDataString(),
              QStringLiteral("Quendel - Exported Log\nDate: ") + date +
                  QStringLiteral("\nContact: Ann Lee\nCompany Name: Acme\nTitle: Lunch\n"
                                 "Location: Cafe\nAddress: 1 Main St\nNote: Soup\nSalad\n"));
    Log *bare = entry(QStringLiteral("Ann Lee"), {}, {}, {}, QStringLiteral("1 Main St"), {});
    EXPECT_EQ(bare->shareLogDataString(),
              QStringLiteral("Quendel - Exported Log\nDate: ") + date + QStringLiteral("\nContact: Ann Lee\n"));
}

TEST_F(LogExportsTest, CsvRowEscapesEveryField)
{
    QString body = Log::CSVHeader;
    entry(QStringLiteral("Ann Lee"), QStringLiteral("Smith, Jones"), QStringLiteral("Say \"hi\""),
          QStringLiteral("Cafe"), {}, QStringLiteral("line one\nline two"))
        ->addLogToCSVBody(body);
    entry(QStringLiteral("Bob"), {}, {}, {}, {}, {})->addLogToCSVBody(body);
    const QString quotedDate = QLatin1Char('"') + date + QLatin1Char('"');
    EXPECT_EQ(body, QStringLiteral("Date,Contact,Company,Title,Location,Note\n") + quotedDate +
                        QStringLiteral(",Ann Lee,\"Smith, Jones\",\"Say \"\"hi\"\"\",Cafe,\"line one\nline two\"\n") +
                        quotedDate + QStringLiteral(",Bob,,,,\n"));
}

TEST_F(LogExportsTest, DetailTextsAreRunsInHelveticaAtTheirSizes)
{
    const auto run = [](const QString &text, bool bold, double size) {
        return StyledTextRun{text, bold ? QStringLiteral("Helvetica-Bold") : QStringLiteral("Helvetica"), size, bold,
                             QStringLiteral("#000000")};
    };
    Log *log = entry(QStringLiteral("Ann Lee"), QStringLiteral("Acme"), QStringLiteral("Lunch"), {}, {},
                     QStringLiteral("Soup"));
    std::optional<StyledText> nameLine = log->getDetailAttributedStringForNameAndCompany();
    ASSERT_TRUE(nameLine);
    EXPECT_EQ(nameLine->runs, (QList<StyledTextRun>{run(QStringLiteral("Ann Lee"), true, 14.0),
                                                    run(QStringLiteral(" - Acme"), false, 14.0)}));
    std::optional<StyledText> titleLine = log->getDetailAttributedStringForTitleAndNoteWithBoldTitle(false);
    ASSERT_TRUE(titleLine);
    EXPECT_EQ(titleLine->runs, (QList<StyledTextRun>{run(QStringLiteral("Lunch"), false, 13.0),
                                                     run(QStringLiteral(":  Soup"), false, 13.0)}));
    EXPECT_EQ(titleLine->plainText(), QStringLiteral("Lunch:  Soup"));

    // A company that is the name itself is not repeated.
    Log *company = entry(QStringLiteral("Acme"), QStringLiteral("Acme"), {}, {}, {}, {});
    EXPECT_EQ(company->getDetailAttributedStringForNameAndCompany()->runs,
              QList<StyledTextRun>{run(QStringLiteral("Acme"), true, 14.0)});
    // No title: the note alone; neither: no line.
    EXPECT_EQ(log->getDetailAttributedStringWithBoldTitle(true, QString(), QStringLiteral("Soup"),
                                                          QStringLiteral(":  "), 13.0, 0)
                  ->runs,
              QList<StyledTextRun>{run(QStringLiteral("Soup"), false, 13.0)});
    EXPECT_FALSE(company->getDetailAttributedStringForTitleAndNoteWithBoldTitle(true));

    StyledText unsafe;
    unsafe.runs = {run(QStringLiteral("<i>A & B</i>\nnext"), true, 14.0)};
    EXPECT_EQ(unsafe.toHtml(),
              QStringLiteral("<span style=\"font-family:'Helvetica'; font-size:14pt; font-weight:bold; "
                             "color:#000000\">&lt;i&gt;A &amp; B&lt;/i&gt;<br>next</span>"));
}

TEST_F(LogExportsTest, SearchIndexTexts)
{
    Log *log = entry(QStringLiteral("Ann Lee"), {}, QStringLiteral("Lunch"), QStringLiteral("Cafe"), {},
                     QStringLiteral("Soup"));
    EXPECT_EQ(log->titleForIndex(), QStringLiteral("[Log] Ann Lee: Lunch at Cafe"));
    EXPECT_EQ(log->contentDescriptionForIndex(), ExportText::shortDateShortTime(when) + QStringLiteral(": Soup"));
    EXPECT_EQ(log->referenceURLString(), log->objectID().URIRepresentation().toString());
    Log *bare = entry(QStringLiteral("Bob"), {}, {}, {}, {}, {});
    EXPECT_EQ(bare->titleForIndex(), QStringLiteral("[Log] Bob"));
    EXPECT_EQ(bare->contentDescriptionForIndex(), ExportText::shortDateShortTime(when));
    EXPECT_TRUE(bare->entityShouldSupportSpotlightIndex());
    EXPECT_TRUE(bare->thumbnailDataForIndex().isNull());
}
