#include "QuendelKit/Entities/EntityStoreFixture.h"

#include "Classes/Reports/ReportingController.h"

#include "QuendelKit/Entities/ExportText.h"
#include "QuendelKit/Entities/FieldFormatters.h"
#include "QuendelKit/Entities/PersonAddressBookBridge.h"

#include "platform/core/Dispatch.h"

#include <QCoreApplication>
#include <QFile>
#include <QLocale>

#include <gtest/gtest.h>

using quendel::test::EntityStoreTest;

namespace {

QDateTime local(int month, int day, int hour, int minute, int second = 0)
{
    return QDateTime(QDate(2026, month, day), QTime(hour, minute, second), Qt::LocalTime).toUTC();
}

QString csv(const QString &value)
{
    return NSManagedObjectQDBase::escapeString(value);
}

// Links contacts to system records by the keys a test gives them.
class KeyedBridge : public PersonAddressBookBridge
{
public:
    QString macUniqueIdentifier(const Person &person) override { return keys.value(&person); }
    void setMacUniqueIdentifier(Person &person, const QString &key) override { keys.insert(&person, key); }
    QHash<const Person *, QString> keys;
};

class ReportingControllerTest : public EntityStoreTest
{
protected:
    void SetUp() override
    {
        previousLocale = QLocale();
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
        EntityStoreTest::SetUp();
        clock->set(local(12, 8, 10, 15));
        PersonAddressBookBridge::install(std::make_shared<KeyedBridge>());
    }
    void TearDown() override
    {
        PersonAddressBookBridge::install(nullptr);
        QLocale::setDefault(previousLocale);
        EntityStoreTest::TearDown();
    }

    Person *person(const QString &name, const QString &company = QString())
    {
        Person *contact = insert<Person>();
        contact->setDisplayName(name);
        if (!company.isNull())
            contact->setCompanyName(company);
        return contact;
    }

    Log *log(Person *owner, const QDateTime &when, const QString &note = QString(), const QString &title = QString(),
             const QString &place = QString())
    {
        Log *entry = insert<Log>();
        entry->setPerson(owner);
        entry->setLogDate(when);
        entry->setLogNote(note);
        if (!title.isNull()) {
            auto *logTitle = insert<LogTitle>();
            logTitle->setTitle(title);
            entry->setTitle(logTitle);
        }
        if (!place.isNull()) {
            auto *location = insert<Location>();
            location->setLocationName(place);
            entry->setLogLocation(location);
        }
        return entry;
    }

    ToDo *todo(Person *owner, const QDateTime &start, bool done, const QString &note = QString())
    {
        ToDo *task = insert<ToDo>();
        task->setPerson(owner);
        task->setTodoStartDate(start);
        task->setTodoStatus(done ? 1 : 0);
        task->setTodoNote(note);
        return task;
    }

    static QStringList notes(const QList<Log *> &logs)
    {
        QStringList out;
        for (const Log *entry : logs)
            out.append(entry->logNote());
        return out;
    }
    static QStringList notes(const QList<ToDo *> &todos)
    {
        QStringList out;
        for (const ToDo *task : todos)
            out.append(task->todoNote());
        return out;
    }

    QLocale previousLocale;
};

TEST_F(ReportingControllerTest, DefaultRangeStartsSevenDaysBackAndUsesTheAmericanDayFormat)
{
    ReportingController report(context.get());
    EXPECT_EQ(report.dateRangeTo(), local(12, 8, 10, 15));
    EXPECT_EQ(report.dateRangeFrom(), local(12, 1, 0, 0));
    EXPECT_EQ(report.dateFormat(), QStringLiteral("MM/dd/yyyy"));
    EXPECT_EQ(report.formatDay(local(12, 1, 0, 0)), QStringLiteral("12/01/2026"));
    EXPECT_EQ(report.getEndDateForDate(local(12, 8, 23, 59)), local(12, 9, 0, 0));

    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedKingdom));
    ReportingController british(context.get());
    EXPECT_EQ(british.dateFormat(), QLocale().dateFormat(QLocale::ShortFormat));
    EXPECT_EQ(british.dateRangeFrom(), local(12, 1, 0, 0));
}

TEST_F(ReportingControllerTest, SelectionRules)
{
    Person *ann = person(QStringLiteral("Ann"));
    Person *bob = person(QStringLiteral("Bob"));
    log(ann, local(12, 1, 0, 0, 0), QStringLiteral("first instant"));
    log(ann, local(12, 1, 0, 0, 1), QStringLiteral("a second later"));
    log(bob, local(12, 8, 23, 59), QStringLiteral("last minute"));
    log(bob, local(12, 9, 0, 0), QStringLiteral("next day"));
    todo(ann, local(12, 3, 9, 0), false, QStringLiteral("open"));
    todo(ann, local(12, 3, 9, 0), true, QStringLiteral("done"));
    todo(bob, local(11, 3, 9, 0), false, QStringLiteral("open long ago"));
    save(context);

    struct Case
    {
        const char *name;
        unsigned format;
        unsigned filter;
        QList<Person *> selected;
        bool dates;
        QStringList logs;
        QStringList todos;
        QStringList contacts;
    };
    const QList<Case> cases = {
        {"range edges", 0, 0, {}, true, {"a second later", "last minute"}, {}, {}},
        {"no date filter", 0, 0, {}, false, {"first instant", "a second later", "last minute", "next day"}, {}, {}},
        {"to-dos only open, in range", 1, 0, {}, true, {}, {"open"}, {}},
        {"to-dos only open, all dates", 1, 0, {}, false, {}, {"open long ago", "open"}, {}},
        {"both kinds", 2, 0, {}, true, {"a second later", "last minute"}, {"open"}, {}},
        {"picked contact", 2, 2, {bob}, false, {"last minute", "next day"}, {"open long ago"}, {}},
        {"empty group: logs", 2, 1, {}, false, {}, {}, {}},
        {"empty group: contacts", 3, 1, {}, false, {}, {}, {}},
        {"group", 3, 1, {ann}, false, {}, {}, {"Ann"}},
        {"all contacts", 3, 0, {}, true, {}, {}, {"Ann", "Bob"}},
        // Picking contacts and then none gives an empty report, not every contact's records.
        {"picked none: logs", 0, 2, {}, false, {}, {}, {}},
        {"picked none: contacts", 3, 2, {}, false, {}, {}, {}},
    };
    for (const Case &c : cases) {
        ReportingController report(context.get());
        report.setFormatType(c.format);
        report.setContactsFilterType(c.filter);
        report.setSelectedContacts(c.selected);
        report.setDateFilter(c.dates);
        report.runFetchRequests();
        EXPECT_EQ(notes(report.allLogsReturned()), c.logs) << c.name;
        EXPECT_EQ(notes(report.allTodosReturned()), c.todos) << c.name;
        QStringList names;
        for (const Person *contact : report.allContactsReturned())
            names.append(contact->displayName());
        EXPECT_EQ(names, c.contacts) << c.name;
    }
}

TEST_F(ReportingControllerTest, OrderByDateOrNameInEitherDirection)
{
    Person *ann = person(QStringLiteral("Ann"));
    Person *bob = person(QStringLiteral("Bob"));
    log(ann, local(12, 2, 9, 0), QStringLiteral("ann early"));
    log(bob, local(12, 2, 9, 0), QStringLiteral("bob early"));
    log(ann, local(12, 5, 9, 0), QStringLiteral("ann late"));
    save(context);

    ReportingController report(context.get());
    report.setSortAscending(false);
    report.runFetchRequests();
    EXPECT_EQ(notes(report.allLogsReturned()), QStringList({"ann late", "bob early", "ann early"}));

    report.setSortAttribute(ReportingController::SortByContactName);
    report.setSortAscending(true);
    report.runFetchRequests();
    EXPECT_EQ(notes(report.allLogsReturned()), QStringList({"ann early", "ann late", "bob early"}));
}

TEST_F(ReportingControllerTest, CsvTextOfLogsAndToDosEscapesEveryValue)
{
    Person *zoe = person(QStringLiteral("Zoë Ångström"), QStringLiteral("Acme, Inc."));
    Person *quoted = person(QStringLiteral("Bob \"the Builder\""));
    const QDateTime when = local(12, 2, 9, 30);
    log(zoe, when, QStringLiteral("line one\nline two"), QStringLiteral("Call"), QStringLiteral("Café"));
    log(quoted, when.addSecs(60), QStringLiteral("plain"));
    todo(zoe, when, false, QStringLiteral("say \"hi\", then go"));
    save(context);

    ReportingController report(context.get());
    report.setFormatType(ReportingController::FormatLogsAndToDos);
    report.setDateFilter(true);
    report.runFetchRequests();

    const QString date1 = csv(ExportText::longDateMediumTime(when));
    const QString date2 = csv(ExportText::longDateMediumTime(when.addSecs(60)));
    ASSERT_TRUE(date1.startsWith(QLatin1Char('"'))); // the long date holds commas
    const QString expected =
        QStringLiteral("Logs\n"
                       "Date,Contact,Company,Title,Location,Note\n") +
        date1 + QStringLiteral(",Zoë Ångström,\"Acme, Inc.\",Call,Café,\"line one\nline two\"\n") + date2 +
        QStringLiteral(",\"Bob \"\"the Builder\"\"\",,,,plain\n"
                       "Date,Contact,Company,Title,Location,Status,Note\n") +
        date1 + QStringLiteral(",Zoë Ångström,\"Acme, Inc.\",,,Incomplete,\"say \"\"hi\"\", then go\"\n");
    EXPECT_EQ(report.formatReportForCSV(), expected);
}

TEST_F(ReportingControllerTest, HtmlBodyEscapesEveryValue)
{
    Person *zoe = person(QStringLiteral("Zoë <b>"), QStringLiteral("A & B"));
    const QDateTime when = local(12, 2, 9, 30);
    log(zoe, when, QStringLiteral("1 < 2\nsecond"), QStringLiteral("Call"));
    todo(zoe, when, false, QStringLiteral("x"));
    save(context);

    ReportingController report(context.get());
    report.setFormatType(ReportingController::FormatLogsAndToDos);
    report.setContactsFilterType(ReportingController::FilterGroup);
    report.setSelectedContacts({zoe});
    report.setSelectContactGroupTitle(QStringLiteral("<Friends>"));
    report.setDateFilter(true);
    report.runFetchRequests();

    const QString date = ExportText::longDateMediumTime(when);
    const QString expected =
        QStringLiteral("<h4> <b>Quendel - Exported Data </b></h4>"
                       "<h4> <b>Report Date: </b> %1</h4>"
                       "<h4> Contacts: Selected Group: &lt;Friends&gt; </h4>"
                       "<h4> Selected Dates: 12/01/2026 to 12/08/2026 </h4>"
                       "<h4> <b> --- Logs --- </b> <br></h4>"
                       "<br><b>Date:</b> %2 <br><b>Contact: </b> Zoë &lt;b&gt; <br>"
                       "<b>Company Name: </b> A &amp; B <br><b>Title:</b> Call <br><b>Location:</b> <br>"
                       "<b>Note:</b> 1 &lt; 2<br>second<br>"
                       "<h4> <b> --- ToDos --- </b> <br></h4>"
                       "<br><b>Date:</b> %2 <br><b>Contact: </b> Zoë &lt;b&gt; <br>"
                       "<b>Company Name: </b> A &amp; B <br><b>Title:</b>  <br><b>Location:</b> <br>"
                       "<b>Status:</b> Incomplete <br><b>Note:</b> x<br>"
                       "<br><br>Prepared using <a href=\"https://quendel.app/mac\">Quendel for Mac</a>")
            .arg(ExportText::longDateMediumTime(clock->now()), date);
    EXPECT_EQ(report.formatReportForHTML(), expected);
}

TEST_F(ReportingControllerTest, ContactsCsvWithAndWithoutSplitColumns)
{
    Person *ann = person(QStringLiteral("Ann, Jr."));
    ann->addEmailWithEmail(QStringLiteral("a@example.com"), QStringLiteral("home"), context.get());
    ann->addPhoneNumberWithNumber(QStringLiteral("555 12 34"), QStringLiteral("work"), context.get());
    auto *field = insert<FormFields>();
    field->setFormFieldName(QStringLiteral("Size, \"EU\""));
    auto *value = insert<UserFields>();
    value->setPerson(ann);
    value->setFormfield(field);
    value->setFieldValue(QStringLiteral("42"));
    person(QStringLiteral("Bo"));
    save(context);

    ReportingController report(context.get());
    report.setFormatType(ReportingController::FormatContacts);
    report.runFetchRequests();
    EXPECT_EQ(report.formatReportForCSV(),
              QStringLiteral("Name,Company,Department,Job Title,Emails,Phones,Addresses,\"Size, \"\"EU\"\"\",Notes\n"
                             "\"Ann, Jr.\",,,,home:a@example.com,work:5551234,,42,\n"
                             "Bo,,,,,,,,\n"));

    report.setMailingListFormat(true);
    EXPECT_EQ(report.formatReportForCSV(),
              QStringLiteral("Name,Company,Department,Job Title,Email,Email2,Phone,Phone2,Address,Address2,"
                             "\"Size, \"\"EU\"\"\",Notes\n"
                             "\"Ann, Jr.\",,,,a@example.com,,5551234,,,,42,\n"
                             "Bo,,,,,,,,,,,\n"));
}

TEST_F(ReportingControllerTest, CsvFileIsUtf8WithoutMarkAndAnEmptyReportWritesNothing)
{
    const QString path = dir.filePath(QStringLiteral("out.csv"));
    const platform::core::QDError empty = ReportingController::writeCSVText(QString(), path);
    EXPECT_EQ(empty.domain(), QuendelErrorDomain);
    EXPECT_EQ(empty.code(), 1003);
    EXPECT_EQ(empty.localizedDescription(), QStringLiteral("Exported File is empty"));
    EXPECT_FALSE(QFile::exists(path));

    person(QStringLiteral("Zoë"));
    save(context);
    ReportingController report(context.get());
    report.setFormatType(ReportingController::FormatContacts);
    bool done = false;
    platform::core::QDError result;
    report.processReportForCSVFile(path, [&](const platform::core::QDError &error) {
        result = error;
        done = true;
    });
    for (int i = 0; i < 200 && !done; ++i)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    ASSERT_TRUE(done);
    EXPECT_TRUE(result.isNull()) << result.toString().toStdString();
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray bytes = file.readAll();
    EXPECT_FALSE(bytes.startsWith("\xEF\xBB\xBF"));
    EXPECT_TRUE(bytes.endsWith("Zo\xC3\xAB,,,,,,,,\n")) << bytes.toStdString();
}

TEST_F(ReportingControllerTest, NotesTextsGroupEachContactsRecordsUnderItsKey)
{
    Person *ann = person(QStringLiteral("Ann"));
    ann->setMacUniqueIdentifier(QStringLiteral("ann-key"));
    Person *bob = person(QStringLiteral("Bob"));
    bob->setMacUniqueIdentifier(QStringLiteral("bob-key"));
    Person *unlinked = person(QStringLiteral("Cy"));
    const QDateTime first = local(12, 2, 9, 0);
    const QDateTime second = local(12, 3, 9, 0);
    log(bob, second, QStringLiteral("bob's"), QStringLiteral("Visit"), QStringLiteral("Office"));
    log(ann, second, QString());
    log(ann, first, QStringLiteral("ann's"), QStringLiteral("Call"));
    log(unlinked, first, QStringLiteral("never written"));
    todo(ann, first, false, QStringLiteral("follow up"));
    save(context);

    ReportingController report(context.get());
    report.setFormatType(ReportingController::FormatLogsAndToDos);
    QMap<QString, QString> written;
    bool answer = false;
    bool done = false;
    report.processReportForContactNotesField(
        [&](const QMap<QString, QString> &texts) {
            written = texts;
            EXPECT_TRUE(report.exportToNotes());
            return true;
        },
        [&](bool saved) {
            answer = saved;
            done = true;
        });
    for (int i = 0; i < 200 && !done; ++i)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    ASSERT_TRUE(done);
    EXPECT_TRUE(answer);
    EXPECT_FALSE(report.exportToNotes());

    const auto day = [](const QDateTime &when) { return ExportText::shortDateShortTime(when); };
    EXPECT_EQ(written.keys(), QStringList({"ann-key", "bob-key"}));
    // Sorted by contact name, then date, whatever the report's own order.
    EXPECT_EQ(written.value(QStringLiteral("ann-key")),
              QStringLiteral("- Quendel Logs - \nDate: %1\nType: Call\nNote: ann's\n\nDate: %2\n\n"
                             "- Quendel ToDos - \nDate: %1\nNote: follow up\n\n")
                  .arg(day(first), day(second)));
    EXPECT_EQ(written.value(QStringLiteral("bob-key")),
              QStringLiteral("- Quendel Logs - \nDate: %1\nType: Visit\nLocation: Office\nNote: bob's\n\n").arg(day(second)));

    QMap<QString, QString> dict;
    ReportingController::saveStringToDict(QStringLiteral("x"), QString(), dict);
    EXPECT_TRUE(dict.isEmpty());
    ReportingController::saveStringToDict(QStringLiteral("a"), QStringLiteral("k"), dict);
    ReportingController::saveStringToDict(QStringLiteral("b"), QStringLiteral("k"), dict);
    EXPECT_EQ(dict.value(QStringLiteral("k")), QStringLiteral("ab"));
}

TEST_F(ReportingControllerTest, NotesOfAContactsReportAreTheirCardsSkippingPrivateContacts)
{
    Person *ann = person(QStringLiteral("Ann"));
    ann->setMacUniqueIdentifier(QStringLiteral("ann-key"));
    Person *hidden = person(QStringLiteral("Hid"));
    hidden->setMacUniqueIdentifier(QStringLiteral("hid-key"));
    hidden->setIsContactPrivate(true);
    save(context);

    ReportingController report(context.get());
    report.setFormatType(ReportingController::FormatContacts);
    report.runFetchRequests();
    QString card;
    ann->addPersonInfoToMutableString(card);
    const QMap<QString, QString> texts = report.notesTextsForContacts();
    EXPECT_EQ(texts.keys(), QStringList({"ann-key"}));
    EXPECT_EQ(texts.value(QStringLiteral("ann-key")), card);
}

} // namespace
