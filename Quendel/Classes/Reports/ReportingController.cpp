#include "Classes/Reports/ReportingController.h"

#include "QuendelKit/Entities/ExportText.h"
#include "QuendelKit/Entities/FieldFormatters.h"
#include "QuendelKit/Entities/FormFields.h"
#include "QuendelKit/Entities/Location.h"
#include "QuendelKit/Entities/Log.h"
#include "QuendelKit/Entities/LogTitle.h"
#include "QuendelKit/Entities/NSManagedObjectQDBase.h"
#include "QuendelKit/Entities/Person.h"
#include "QuendelKit/Entities/ToDo.h"
#include "QuendelKit/Entities/ToDoTitle.h"

#include "platform/core/Clock.h"
#include "platform/core/Dispatch.h"
#include "platform/store/FetchRequest.h"
#include "platform/store/ManagedObjectContext.h"
#include "platform/store/SortDescriptor.h"

#include <QLocale>
#include <QSaveFile>

using platform::core::QDError;
using platform::store::FetchRequest;
using platform::store::Predicate;
using platform::store::SortDescriptor;

namespace {

const QString StorePageURL = QStringLiteral("https://quendel.app/mac");

QString orEmpty(const QString &value)
{
    return value.isNull() ? QString(QLatin1String("")) : value;
}

QStringList noteLines(const QString &note)
{
    QString unified = note;
    unified.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    for (const QChar c : {QChar(0x000D), QChar(0x000B), QChar(0x000C), QChar(0x0085), QChar(0x2028), QChar(0x2029)})
        unified.replace(c, QLatin1Char('\n'));
    return unified.split(QLatin1Char('\n'));
}

template <typename T> QList<T *> fetchAll(platform::store::ManagedObjectContext *context, const FetchRequest &request)
{
    QList<T *> found;
    QDError error;
    for (platform::store::ManagedObject *object : context->executeFetchRequest(request, &error)) {
        if (auto *typed = dynamic_cast<T *>(object))
            found.append(typed);
    }
    // A failed fetch gives an empty part of the report rather than half of it.
    if (error)
        found.clear();
    return found;
}

} // namespace

ReportingController::ReportingController(platform::store::ManagedObjectContext *context) : m_context(context)
{
    const QLocale locale;
    m_dateFormat = locale.name() == QLatin1String("en_US") ? QStringLiteral("MM/dd/yyyy")
                                                           : locale.dateFormat(QLocale::ShortFormat);
    refreshDateRange();
}

QString ReportingController::formatDay(const QDateTime &date) const
{
    return QLocale().toString(date.toLocalTime().date(), m_dateFormat);
}

void ReportingController::refreshDateRange()
{
    const QDateTime now = platform::core::Clock::now();
    m_dateRangeTo = now;
    // The day is taken from the date itself: reading a short printed date back could land in another century.
    m_dateRangeFrom = now.toLocalTime().date().addDays(-7).startOfDay().toUTC();
}

QDateTime ReportingController::getEndDateForDate(const QDateTime &date) const
{
    return date.toLocalTime().date().addDays(1).startOfDay().toUTC();
}

std::optional<Predicate> ReportingController::getPredicateForPersons(bool throughPerson) const
{
    const QString keyPath = throughPerson ? QStringLiteral("person") : QStringLiteral("self");
    switch (m_contactsFilterType) {
    case FilterGroup:
        return Predicate::inObjects(keyPath, m_selectedContacts);
    case FilterSelected:
        if (m_selectedContacts.isEmpty())
            return std::nullopt;
        return Predicate::inObjects(keyPath, m_selectedContacts);
    default:
        return std::nullopt;
    }
}

bool ReportingController::selectionExcludesEverything() const
{
    // Picking contacts and then none must not widen the report to every contact.
    return m_contactsFilterType == FilterSelected && m_selectedContacts.isEmpty();
}

Predicate ReportingController::makePredicateForLogsReport() const
{
    std::vector<Predicate> parts;
    if (m_dateFilter) {
        parts.push_back(Predicate::greater(QStringLiteral("logDate"), m_dateRangeFrom));
        parts.push_back(Predicate::less(QStringLiteral("logDate"), getEndDateForDate(m_dateRangeTo)));
    }
    if (auto persons = getPredicateForPersons(true))
        parts.push_back(*persons);
    return Predicate::andOf(std::move(parts));
}

Predicate ReportingController::makePredicateForTodoReport() const
{
    std::vector<Predicate> parts;
    parts.push_back(Predicate::isFalseOrNil(QStringLiteral("todoStatus")));
    if (m_dateFilter) {
        parts.push_back(Predicate::greater(QStringLiteral("todoStartDate"), m_dateRangeFrom));
        parts.push_back(Predicate::less(QStringLiteral("todoStartDate"), getEndDateForDate(m_dateRangeTo)));
    }
    if (auto persons = getPredicateForPersons(true))
        parts.push_back(*persons);
    return Predicate::andOf(std::move(parts));
}

void ReportingController::runFetchRequests()
{
    m_allLogsReturned.clear();
    m_allTodosReturned.clear();
    m_allContactsReturned.clear();
    if (selectionExcludesEverything())
        return;

    const QString name = QStringLiteral("person.displayName");
    if (m_formatType == FormatLogs || m_formatType == FormatLogsAndToDos) {
        FetchRequest request(Log::EntityName);
        request.setPredicate(makePredicateForLogsReport());
        const QString date = QStringLiteral("logDate");
        if (m_exportToNotes || m_sortAttribute == SortByContactName)
            request.setSortDescriptors({SortDescriptor(name, m_sortAscending), SortDescriptor(date, m_sortAscending)});
        else
            request.setSortDescriptors({SortDescriptor(date, m_sortAscending), SortDescriptor(name, m_sortAscending)});
        m_allLogsReturned = fetchAll<Log>(m_context, request);
    }
    if (m_formatType == FormatToDos || m_formatType == FormatLogsAndToDos) {
        FetchRequest request(ToDo::EntityName);
        request.setPredicate(makePredicateForTodoReport());
        request.setSortDescriptors({SortDescriptor(
            m_sortAttribute == SortByContactName ? name : QStringLiteral("todoStartDate"), m_sortAscending)});
        m_allTodosReturned = fetchAll<ToDo>(m_context, request);
    }
    if (m_formatType == FormatContacts) {
        FetchRequest request(Person::EntityName);
        if (auto persons = getPredicateForPersons(false))
            request.setPredicate(*persons);
        request.setSortDescriptors({SortDescriptor(QStringLiteral("displayName"), m_sortAscending)});
        m_allContactsReturned = fetchAll<Person>(m_context, request);
    }
}

QString ReportingController::subjectForDate(const QDateTime &now)
{
    return QStringLiteral("Quendel - Exported Data on %1").arg(DateFormatter::mediumDate(now));
}

QString ReportingController::formatReportForHTML() const
{
    const auto html = ExportText::escapeHTML;
    QString body = QStringLiteral("<h4> <b>Quendel - Exported Data </b></h4>");
    body += QStringLiteral("<h4> <b>Report Date: </b> %1</h4>")
                .arg(html(ExportText::longDateMediumTime(platform::core::Clock::now())));
    switch (m_contactsFilterType) {
    case FilterGroup:
        body += QStringLiteral("<h4> Contacts: Selected Group: %1 </h4>").arg(html(m_selectContactGroupTitle));
        break;
    case FilterSelected:
        body += QStringLiteral("<h4> Contacts: Selected %1 Contacts </h4>").arg(m_selectedContacts.size());
        break;
    default:
        body += QStringLiteral("<h4> Contacts: All </h4>");
    }
    if (m_dateFilter)
        body += QStringLiteral("<h4> Selected Dates: %1 to %2 </h4>")
                    .arg(html(formatDay(m_dateRangeFrom)), html(formatDay(m_dateRangeTo)));
    if (!m_allLogsReturned.isEmpty()) {
        body += QStringLiteral("<h4> <b> --- Logs --- </b> <br></h4>");
        for (const Log *log : m_allLogsReturned)
            log->addLogToEmailBody(body);
    }
    if (!m_allTodosReturned.isEmpty()) {
        body += QStringLiteral("<h4> <b> --- ToDos --- </b> <br></h4>");
        for (const ToDo *todo : m_allTodosReturned)
            addTodoToEmailBody(*todo, body);
    }
    for (const Person *person : m_allContactsReturned)
        person->addPersonDataToEmailBody(body);
    body += QStringLiteral("<br><br>Prepared using <a href=\"%1\">Quendel for Mac</a>").arg(StorePageURL);
    return body;
}

QString ReportingController::formatReportForCSV() const
{
    QString text;
    if (!m_allLogsReturned.isEmpty()) {
        text += QStringLiteral("Logs\n");
        text += Log::CSVHeader;
        for (const Log *log : m_allLogsReturned)
            log->addLogToCSVBody(text);
    }
    if (!m_allTodosReturned.isEmpty()) {
        text += QStringLiteral("Date,Contact,Company,Title,Location,Status,Note\n");
        for (const ToDo *todo : m_allTodosReturned)
            adTodoToCSVBody(*todo, text);
    }
    if (!m_allContactsReturned.isEmpty()) {
        const QList<FormFields *> fields = FormFields::loadAllUsedFieldsForReportingInContext(m_context);
        QStringList names;
        for (const FormFields *field : fields)
            names.append(NSManagedObjectQDBase::escapeString(orEmpty(field->formFieldName())));
        const QString fieldNames = names.join(QLatin1Char(','));
        text += m_mailingListFormat
                    ? QStringLiteral("Name,Company,Department,Job Title,Email,Email2,Phone,Phone2,Address,Address2,%1,Notes\n")
                          .arg(fieldNames)
                    : QStringLiteral("Name,Company,Department,Job Title,Emails,Phones,Addresses,%1,Notes\n").arg(fieldNames);
        for (const Person *person : m_allContactsReturned)
            person->addPersonToCSVBody(text, fields, m_mailingListFormat);
    }
    return text;
}

void ReportingController::addTodoToEmailBody(const ToDo &todo, QString &body)
{
    const auto html = ExportText::escapeHTML;
    const Person *contact = todo.person();
    body += QStringLiteral("<br><b>Date:</b> %1 <br>").arg(html(ExportText::longDateMediumTime(todo.todoStartDate())));
    body += QStringLiteral("<b>Contact: </b> %1 <br>").arg(html(contact ? contact->displayName() : QString()));
    if (const QString company = contact ? contact->companyName() : QString(); !company.isEmpty())
        body += QStringLiteral("<b>Company Name: </b> %1 <br>").arg(html(company));
    if (const ToDoTitle *title = todo.todotitle())
        body += QStringLiteral("<b>Title:</b> %1 <br>").arg(html(title->title()));
    else
        body += QStringLiteral("<b>Title:</b>  <br>");
    const Location *location = todo.todoLocation();
    if (const QString place = location ? location->locationName() : QString(); !place.isEmpty()) {
        body += QStringLiteral("<b>Location:</b> %1 <br>").arg(html(place));
        if (const QString address = location->locationAddress(); !address.isEmpty())
            body += QStringLiteral("<b>Address:</b> %1 <br>").arg(html(address));
    } else {
        body += QStringLiteral("<b>Location:</b> <br>");
    }
    body += todo.todoStatus() != 0 ? QStringLiteral("<b>Status:</b> Complete <br>")
                                   : QStringLiteral("<b>Status:</b> Incomplete <br>");
    const QString note = todo.todoNote();
    if (note.isNull()) {
        body += QStringLiteral("<b>Note:</b> <br>");
        return;
    }
    const QStringList lines = noteLines(note);
    body += QStringLiteral("<b>Note:</b> %1<br>").arg(html(lines.first()));
    for (qsizetype i = 1; i < lines.size(); ++i)
        body += html(lines.at(i)) + QStringLiteral("<br>");
}

void ReportingController::adTodoToCSVBody(const ToDo &todo, QString &body)
{
    const auto csv = [](const QString &value) { return NSManagedObjectQDBase::escapeString(orEmpty(value)); };
    const Person *contact = todo.person();
    const Location *location = todo.todoLocation();
    const ToDoTitle *title = todo.todotitle();
    const QStringList cells = {
        csv(ExportText::longDateMediumTime(todo.todoStartDate())),
        csv(contact ? contact->displayName() : QString()),
        csv(contact ? contact->companyName() : QString()),
        csv(title ? title->title() : QString()),
        csv(location ? location->locationName() : QString()),
        todo.todoStatus() != 0 ? QStringLiteral("Complete") : QStringLiteral("Incomplete"),
        csv(todo.todoNote()),
    };
    body += cells.join(QLatin1Char(',')) + QLatin1Char('\n');
}

void ReportingController::processReportForEmail(
    std::function<void(const QString &subject, const QString &body)> completion)
{
    m_context->perform([this, completion = std::move(completion)] {
        runFetchRequests();
        const QString body = formatReportForHTML();
        const QString subject = subjectForDate(platform::core::Clock::now());
        platform::core::dispatchAsyncMain([completion, subject, body] { completion(subject, body); });
    });
}

QDError ReportingController::writeCSVText(const QString &text, const QString &path)
{
    if (text.isEmpty())
        return QDError::withDescription(QuendelErrorDomain, ExportedFileEmptyCode,
                                        QStringLiteral("Exported File is empty"));
    QSaveFile file(path);
    const QByteArray bytes = text.toUtf8();
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit()) {
        QDError error = QDError::withDescription(QStringLiteral("QFileDevice"), file.error(), file.errorString());
        error.setUserInfoValue(QDError::FilePathKey, path);
        return error;
    }
    return {};
}

void ReportingController::processReportForCSVFile(const QString &path,
                                                  std::function<void(const QDError &)> completion)
{
    m_context->perform([this, path, completion = std::move(completion)] {
        runFetchRequests();
        const QString text = formatReportForCSV();
        platform::core::dispatchAsyncMain([completion, text, path] { completion(writeCSVText(text, path)); });
    });
}

void ReportingController::saveStringToDict(const QString &text, const QString &referenceKey,
                                           QMap<QString, QString> &texts)
{
    if (referenceKey.isEmpty())
        return;
    auto found = texts.find(referenceKey);
    if (found != texts.end() && !found->isEmpty())
        found->append(text);
    else
        texts.insert(referenceKey, text);
}

QMap<QString, QString> ReportingController::notesTextsForContacts() const
{
    QMap<QString, QString> texts;
    if (m_formatType == FormatContacts) {
        for (const Person *person : m_allContactsReturned) {
            const QString key = person->personReferenceKey();
            if (key.isEmpty() || person->isContactPrivate())
                continue;
            QString card;
            person->addPersonInfoToMutableString(card);
            saveStringToDict(card, key, texts);
        }
        return texts;
    }

    struct Entry
    {
        const Person *person;
        QDateTime date;
        QString title;
        QString place;
        QString note;
    };
    const auto write = [&texts](const QList<Entry> &entries, const QString &heading) {
        QString text;
        const Person *current = nullptr;
        bool started = false;
        for (const Entry &entry : entries) {
            if (!started || entry.person != current) {
                if (started)
                    saveStringToDict(text, current ? current->personReferenceKey() : QString(), texts);
                text = heading;
                current = entry.person;
                started = true;
            }
            text += QStringLiteral("Date: %1\n").arg(ExportText::shortDateShortTime(entry.date));
            if (!entry.title.isEmpty())
                text += QStringLiteral("Type: %1\n").arg(entry.title);
            if (!entry.place.isEmpty())
                text += QStringLiteral("Location: %1\n").arg(entry.place);
            if (!entry.note.isNull())
                text += QStringLiteral("Note: %1\n").arg(entry.note);
            text += QLatin1Char('\n');
        }
        if (started)
            saveStringToDict(text, current ? current->personReferenceKey() : QString(), texts);
    };

    QList<Entry> logs;
    for (const Log *log : m_allLogsReturned) {
        const LogTitle *title = log->title();
        const Location *location = log->logLocation();
        logs.append({log->person(), log->logDate(), title ? title->title() : QString(),
                     location ? location->locationName() : QString(), log->logNote()});
    }
    QList<Entry> todos;
    for (const ToDo *todo : m_allTodosReturned) {
        const ToDoTitle *title = todo->todotitle();
        const Location *location = todo->todoLocation();
        todos.append({todo->person(), todo->todoStartDate(), title ? title->title() : QString(),
                      location ? location->locationName() : QString(), todo->todoNote()});
    }
    write(logs, QStringLiteral("- Quendel Logs - \n"));
    write(todos, QStringLiteral("- Quendel ToDos - \n"));
    return texts;
}

void ReportingController::processReportForContactNotesField(const NotesWriter &writer,
                                                            std::function<void(bool)> completion)
{
    m_context->perform([this, writer, completion = std::move(completion)] {
        m_exportToNotes = true;
        runFetchRequests();
        const QMap<QString, QString> texts = notesTextsForContacts();
        const bool saved = writer ? writer(texts) : false;
        platform::core::dispatchAsyncMain([this, completion, saved] {
            completion(saved);
            m_exportToNotes = false;
        });
    });
}
