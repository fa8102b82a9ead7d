#pragma once

#include "QuendelKit/Entities/NSManagedObjectQDBase.h"

#include "platform/store/FetchRequest.h"

#include <QList>
#include <QString>
#include <QVariant>

class Log;
class Person;
class PersonImage;
class ToDo;

// A file attached to a contact, a log entry or a to-do.
class FileAttachments : public NSManagedObjectQDBase
{
public:
    static inline const QString EntityName = QStringLiteral("FileAttachments");

    // A new request for every record of the entity: no predicate, order or limit.
    static platform::store::FetchRequest fetchRequest();

    QString fileName() const;
    void setFileName(const QString &value);
    QString fileRenamedName() const;
    void setFileRenamedName(const QString &value);
    QString fileNameNormalized() const;
    void setFileNameNormalized(const QString &value);
    QString fileExtension() const;
    void setFileExtension(const QString &value);
    QString fileExternalURL() const;
    void setFileExternalURL(const QString &value);
    QString fileNote() const;
    void setFileNote(const QString &value);
    QString folderName() const;
    void setFolderName(const QString &value);
    qint64 fileSize() const;
    void setFileSize(qint64 value);
    qint64 fileStatus() const;
    void setFileStatus(qint64 value);
    qint64 fileType() const;
    void setFileType(qint64 value);
    QVariant fileProperties() const;
    void setFileProperties(const QVariant &value);
    QVariant fileThumbnailData() const;
    void setFileThumbnailData(const QVariant &value);

    Person *person() const;
    void setPerson(Person *object);
    Log *log() const;
    void setLog(Log *object);
    ToDo *todo() const;
    void setTodo(ToDo *object);
    QList<PersonImage *> personimages() const;
    void setPersonimages(const QList<PersonImage *> &objects);
    void addPersonimagesObject(PersonImage *object);
    void removePersonimagesObject(PersonImage *object);
};
