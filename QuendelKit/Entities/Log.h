#pragma once

#include "QuendelKit/Entities/NSManagedObjectQDBase.h"
#include "QuendelKit/Entities/StyledText.h"

#include "platform/store/FetchRequest.h"

#include <QDateTime>
#include <QList>
#include <QString>
#include <QVariant>

#include <optional>

class FileAttachments;
class Location;
class LogTitle;
class Person;

// A journal entry about a contact.
class Log : public NSManagedObjectQDBase
{
public:
    static inline const QString EntityName = QStringLiteral("Log");

    // A new request for every record of the entity: no predicate, order or limit.
    static platform::store::FetchRequest fetchRequest();

    // ---- Journal behaviour (Log+Journal.cpp) and exports (Log+Exports.cpp) ----
    // setLogDate also stores the month section value of the new date in logSectionPeriod; the getters of
    // logSectionPeriod and sectionKey fill in a missing value from logDate.

    // The cloud engine's data-sync context: a section value read there is computed, not stored.
    static inline const QString CloudKitDataSyncContextName = QStringLiteral("QDCloudKitNotificationsManagerQueue");
    // The header the report puts before the CSV rows.
    static inline const QString CSVHeader = QStringLiteral("Date,Contact,Company,Title,Location,Note\n");

    // The month section value of a date: year * 1000 + month in the local calendar and time zone, as
    // decimal text ("2024003" for March 2024); null for no date.
    static QString sectionValueForDate(const QDateTime &date);

    // A new entry in `context` with the note, dated now; no contact, nothing saved.
    static Log *createLogWithNote(const QString &note, platform::store::ManagedObjectContext *context);
    // The newest entries that belong to a contact, by creation, at most `limit` (0: all); empty when the
    // fetch fails. Runs on the context's queue while the caller waits.
    static QList<Log *> fetchRecentLogsWithContext(platform::store::ManagedObjectContext *context, int limit);

    // Takes the date, note, title and place of another entry; the contact and the rest stay.
    void cloneFromExistingLog(const Log *other);
    // Moves the entry to `person` and saves its context; a failed save is only logged.
    void reassignToPerson(Person *person) override;
    bool isLocationEmpty() const;
    bool isTitleEmpty() const;

    // The styled detail lines of the lists (the offset is accepted and has no effect).
    static std::optional<StyledText> getDetailAttributedStringWithBoldTitle(bool boldTitle, const QString &firstString,
                                                                            const QString &secondString,
                                                                            const QString &separatorString,
                                                                            double fontSize, int fontOffset);
    // The contact's name in bold, then " - " and the company when it differs from the name, at 14 points.
    std::optional<StyledText> getDetailAttributedStringForNameAndCompany() const;
    // The title, then ":  " and the note, at 13 points.
    std::optional<StyledText> getDetailAttributedStringForTitleAndNoteWithBoldTitle(bool boldTitle) const;

    // Appends the entry as an HTML fragment (every value escaped) for e-mails and reports.
    void addLogToEmailBody(QString &body) const;
    // The entry as plain text for sharing.
    QString shareLogDataString() const;
    // Appends the entry as one CSV row, every field escaped.
    void addLogToCSVBody(QString &body) const;

    // Texts for a system search index (none is fed at present).
    bool entityShouldSupportSpotlightIndex() const { return true; }
    QString referenceURLString() const;
    QString titleForIndex() const;
    QString contentDescriptionForIndex() const;
    QByteArray thumbnailDataForIndex() const { return QByteArray(); }

    QDateTime logDate() const;
    void setLogDate(const QDateTime &value);
    QString logNote() const;
    void setLogNote(const QString &value);
    QVariant attributedLogNote() const;
    void setAttributedLogNote(const QVariant &value);
    QVariant logProperties() const;
    void setLogProperties(const QVariant &value);
    QString logSectionPeriod() const;
    void setLogSectionPeriod(const QString &value);
    QString sectionKey() const;
    void setSectionKey(const QString &value);
    bool isMultiLog() const;
    void setIsMultiLog(bool value);
    qint64 logFlags() const;
    void setLogFlags(qint64 value);

    Person *person() const;
    void setPerson(Person *object);
    LogTitle *title() const;
    void setTitle(LogTitle *object);
    Location *logLocation() const;
    void setLogLocation(Location *object);
    NSManagedObjectQDBase *logvoice() const;
    void setLogvoice(NSManagedObjectQDBase *object);
    QList<FileAttachments *> attachments() const;
    void setAttachments(const QList<FileAttachments *> &objects);
    void addAttachmentsObject(FileAttachments *object);
    void removeAttachmentsObject(FileAttachments *object);

protected:
    // Keeps logSectionPeriod in step with a logDate that was written without setLogDate (not for a deleted
    // entry, nor in a whole-store copy).
    void willSave() override;
};
