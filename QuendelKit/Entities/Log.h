#pragma once

#include "QuendelKit/Entities/NSManagedObjectQDBase.h"

#include "platform/store/FetchRequest.h"

#include <QDateTime>
#include <QList>
#include <QString>
#include <QVariant>

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
};
