#include "QuendelKit/Entities/FileAttachments.h"

#include "QuendelKit/Entities/EntityValues.h"
#include "QuendelKit/Infra/NormalizedStringTransformer.h"
#include "QuendelKit/Entities/Log.h"
#include "QuendelKit/Entities/Person.h"
#include "QuendelKit/Entities/PersonImage.h"
#include "QuendelKit/Entities/ToDo.h"

using namespace entity_values;

platform::store::FetchRequest FileAttachments::fetchRequest()
{
    return platform::store::FetchRequest(EntityName);
}

QString FileAttachments::fileName() const
{
    return string(*this, QStringLiteral("fileName"));
}
void FileAttachments::setFileName(const QString &value)
{
    setValue(QStringLiteral("fileName"), fromString(value));
}
QString FileAttachments::fileRenamedName() const
{
    return string(*this, QStringLiteral("fileRenamedName"));
}
void FileAttachments::setFileRenamedName(const QString &value)
{
    setValue(QStringLiteral("fileRenamedName"), fromString(value));
    setFileNameNormalized(value.isNull() ? QString() : NormalizedStringTransformer::normalizeString(value));
}
QString FileAttachments::fileNameNormalized() const
{
    return string(*this, QStringLiteral("fileNameNormalized"));
}
void FileAttachments::setFileNameNormalized(const QString &value)
{
    setValue(QStringLiteral("fileNameNormalized"), fromString(value));
}
QString FileAttachments::fileExtension() const
{
    return string(*this, QStringLiteral("fileExtension"));
}
void FileAttachments::setFileExtension(const QString &value)
{
    setValue(QStringLiteral("fileExtension"), fromString(value));
}
QString FileAttachments::fileExternalURL() const
{
    return string(*this, QStringLiteral("fileExternalURL"));
}
void FileAttachments::setFileExternalURL(const QString &value)
{
    setValue(QStringLiteral("fileExternalURL"), fromString(value));
}
QString FileAttachments::fileNote() const
{
    return string(*this, QStringLiteral("fileNote"));
}
void FileAttachments::setFileNote(const QString &value)
{
    setValue(QStringLiteral("fileNote"), fromString(value));
}
QString FileAttachments::folderName() const
{
    return string(*this, QStringLiteral("folderName"));
}
void FileAttachments::setFolderName(const QString &value)
{
    setValue(QStringLiteral("folderName"), fromString(value));
}
qint64 FileAttachments::fileSize() const
{
    return integer(*this, QStringLiteral("fileSize"));
}
void FileAttachments::setFileSize(qint64 value)
{
    setValue(QStringLiteral("fileSize"), QVariant(value));
}
qint64 FileAttachments::fileStatus() const
{
    return integer(*this, QStringLiteral("fileStatus"));
}
void FileAttachments::setFileStatus(qint64 value)
{
    setValue(QStringLiteral("fileStatus"), QVariant(value));
}
qint64 FileAttachments::fileType() const
{
    return integer(*this, QStringLiteral("fileType"));
}
void FileAttachments::setFileType(qint64 value)
{
    setValue(QStringLiteral("fileType"), QVariant(value));
}
QVariant FileAttachments::fileProperties() const
{
    return value(QStringLiteral("fileProperties"));
}
void FileAttachments::setFileProperties(const QVariant &value)
{
    setValue(QStringLiteral("fileProperties"), value);
}
QVariant FileAttachments::fileThumbnailData() const
{
    return value(QStringLiteral("fileThumbnailData"));
}
void FileAttachments::setFileThumbnailData(const QVariant &value)
{
    setValue(QStringLiteral("fileThumbnailData"), value);
}

Person *FileAttachments::person() const
{
    return toOne<Person>(*this, QStringLiteral("person"));
}
void FileAttachments::setPerson(Person *object)
{
    setRelatedObject(QStringLiteral("person"), object);
}

Log *FileAttachments::log() const
{
    return toOne<Log>(*this, QStringLiteral("log"));
}
void FileAttachments::setLog(Log *object)
{
    setRelatedObject(QStringLiteral("log"), object);
}

ToDo *FileAttachments::todo() const
{
    return toOne<ToDo>(*this, QStringLiteral("todo"));
}
void FileAttachments::setTodo(ToDo *object)
{
    setRelatedObject(QStringLiteral("todo"), object);
}

QList<PersonImage *> FileAttachments::personimages() const
{
    return toMany<PersonImage>(*this, QStringLiteral("personimages"));
}
void FileAttachments::setPersonimages(const QList<PersonImage *> &objects)
{
    setRelatedObjects(QStringLiteral("personimages"), objectList(objects));
}
void FileAttachments::addPersonimagesObject(PersonImage *object)
{
    addRelatedObject(QStringLiteral("personimages"), object);
}
void FileAttachments::removePersonimagesObject(PersonImage *object)
{
    removeRelatedObject(QStringLiteral("personimages"), object);
}
