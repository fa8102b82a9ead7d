#pragma once

#include "platform/core/QDError.h"
#include "platform/store/Predicate.h"

#include <QDateTime>
#include <QList>
#include <QMap>
#include <QString>

#include <functional>
#include <optional>

class Log;
class Person;
class ToDo;

namespace platform::store {
class ManagedObjectContext;
}

// The parameters of one report, the fetch of the records it covers in its order, and its outputs: an HTML
// body, a CSV text and plain texts for the notes of linked system contacts. Used on the context's queue.
class ReportingController
{
public:
    enum FormatType : unsigned { FormatLogs = 0, FormatToDos = 1, FormatLogsAndToDos = 2, FormatContacts = 3 };
    enum ContactsFilter : unsigned { FilterAll = 0, FilterGroup = 1, FilterSelected = 2 };
    enum SortAttribute : unsigned { SortByDate = 0, SortByContactName = 1 };

    static constexpr qint64 ExportedFileEmptyCode = 1003;

    explicit ReportingController(platform::store::ManagedObjectContext *context);

    platform::store::ManagedObjectContext *context() const { return m_context; }

    unsigned formatType() const { return m_formatType; }
    void setFormatType(unsigned value) { m_formatType = value; }
    unsigned contactsFilterType() const { return m_contactsFilterType; }
    void setContactsFilterType(unsigned value) { m_contactsFilterType = value; }
    const QList<Person *> &selectedContacts() const { return m_selectedContacts; }
    void setSelectedContacts(const QList<Person *> &value) { m_selectedContacts = value; }
    QString selectContactGroupTitle() const { return m_selectContactGroupTitle; }
    void setSelectContactGroupTitle(const QString &value) { m_selectContactGroupTitle = value; }
    bool dateFilter() const { return m_dateFilter; }
    void setDateFilter(bool value) { m_dateFilter = value; }
    QDateTime dateRangeFrom() const { return m_dateRangeFrom; }
    void setDateRangeFrom(const QDateTime &value) { m_dateRangeFrom = value; }
    QDateTime dateRangeTo() const { return m_dateRangeTo; }
    void setDateRangeTo(const QDateTime &value) { m_dateRangeTo = value; }
    unsigned sortAttribute() const { return m_sortAttribute; }
    void setSortAttribute(unsigned value) { m_sortAttribute = value; }
    bool sortAscending() const { return m_sortAscending; }
    void setSortAscending(bool value) { m_sortAscending = value; }
    bool mailingListFormat() const { return m_mailingListFormat; }
    void setMailingListFormat(bool value) { m_mailingListFormat = value; }
    bool exportToNotes() const { return m_exportToNotes; }
    void setExportToNotes(bool value) { m_exportToNotes = value; }

    const QList<Log *> &allLogsReturned() const { return m_allLogsReturned; }
    const QList<ToDo *> &allTodosReturned() const { return m_allTodosReturned; }
    const QList<Person *> &allContactsReturned() const { return m_allContactsReturned; }

    // The report's day format: "MM/dd/yyyy" for American English, else the locale's short date.
    QString dateFormat() const { return m_dateFormat; }
    QString formatDay(const QDateTime &date) const;

    // The range becomes the start of the day seven days ago up to now.
    void refreshDateRange();
    // The start of the day after the one `date` falls on, in local time.
    QDateTime getEndDateForDate(const QDateTime &date) const;
    // The contacts restriction through the `person` relationship or on the contact itself; none when every
    // contact counts.
    std::optional<platform::store::Predicate> getPredicateForPersons(bool throughPerson) const;
    platform::store::Predicate makePredicateForLogsReport() const;
    platform::store::Predicate makePredicateForTodoReport() const;
    // Empties the results and fetches what the report covers; a failed fetch leaves its list empty.
    void runFetchRequests();

    // The outputs over the last fetch.
    QString formatReportForHTML() const;
    QString formatReportForCSV() const;
    static QString subjectForDate(const QDateTime &now);

    // Fetch and build on the context's queue; the completion runs on the main thread.
    void processReportForEmail(std::function<void(const QString &subject, const QString &body)> completion);
    // Writes the CSV text to `path` atomically in UTF-8; an empty report writes nothing and answers
    // QuendelErrorDomain 1003 "Exported File is empty".
    void processReportForCSVFile(const QString &path, std::function<void(const platform::core::QDError &)> completion);
    static platform::core::QDError writeCSVText(const QString &text, const QString &path);

    // The export into the notes of linked system contacts: one plain text per contact reference key.
    using NotesWriter = std::function<bool(const QMap<QString, QString> &textsByReferenceKey)>;
    void processReportForContactNotesField(const NotesWriter &writer, std::function<void(bool)> completion);
    QMap<QString, QString> notesTextsForContacts() const;
    static void saveStringToDict(const QString &text, const QString &referenceKey, QMap<QString, QString> &texts);

    // The to-do's block of the HTML body and its CSV row.
    static void addTodoToEmailBody(const ToDo &todo, QString &body);
    static void adTodoToCSVBody(const ToDo &todo, QString &body);

private:
    bool selectionExcludesEverything() const;

    platform::store::ManagedObjectContext *m_context;
    unsigned m_formatType = FormatLogs;
    unsigned m_contactsFilterType = FilterAll;
    QList<Person *> m_selectedContacts;
    QString m_selectContactGroupTitle;
    bool m_dateFilter = false;
    QDateTime m_dateRangeFrom;
    QDateTime m_dateRangeTo;
    QString m_dateFormat;
    unsigned m_sortAttribute = SortByDate;
    bool m_sortAscending = true;
    bool m_mailingListFormat = false;
    bool m_exportToNotes = false;
    QList<Log *> m_allLogsReturned;
    QList<ToDo *> m_allTodosReturned;
    QList<Person *> m_allContactsReturned;
};
