#include "QuendelKit/Entities/Log.h"

#include "QuendelKit/Entities/EntityValues.h"
#include "QuendelKit/Entities/FileAttachments.h"
#include "QuendelKit/Entities/Location.h"
#include "QuendelKit/Entities/LogTitle.h"
#include "QuendelKit/Entities/Person.h"

using namespace entity_values;

platform::store::FetchRequest Log::fetchRequest()
{
    return platform::store::FetchRequest(EntityName);
}

QDateTime Log::logDate() const
{
    return date(*this, QStringLiteral("logDate"));
}
QString Log::logNote() const
{
    return string(*this, QStringLiteral("logNote"));
}
void Log::setLogNote(const QString &value)
{
    setValue(QStringLiteral("logNote"), fromString(value));
}
QVariant Log::attributedLogNote() const
{
    return value(QStringLiteral("attributedLogNote"));
}
void Log::setAttributedLogNote(const QVariant &value)
{
    setValue(QStringLiteral("attributedLogNote"), value);
}
QVariant Log::logProperties() const
{
    return value(QStringLiteral("logProperties"));
}
void Log::setLogProperties(const QVariant &value)
{
    setValue(QStringLiteral("logProperties"), value);
}
void Log::setLogSectionPeriod(const QString &value)
{
    setValue(QStringLiteral("logSectionPeriod"), fromString(value));
}
void Log::setSectionKey(const QString &value)
{
    setValue(QStringLiteral("sectionKey"), fromString(value));
}
bool Log::isMultiLog() const
{
    return boolean(*this, QStringLiteral("isMultiLog"));
}
void Log::setIsMultiLog(bool value)
{
    setValue(QStringLiteral("isMultiLog"), QVariant(value));
}
qint64 Log::logFlags() const
{
    return integer(*this, QStringLiteral("logFlags"));
}
void Log::setLogFlags(qint64 value)
{
    setValue(QStringLiteral("logFlags"), QVariant(value));
}

Person *Log::person() const
{
    return toOne<Person>(*this, QStringLiteral("person"));
}
void Log::setPerson(Person *object)
{
    setRelatedObject(QStringLiteral("person"), object);
}

LogTitle *Log::title() const
{
    return toOne<LogTitle>(*this, QStringLiteral("title"));
}
void Log::setTitle(LogTitle *object)
{
    setRelatedObject(QStringLiteral("title"), object);
}

Location *Log::logLocation() const
{
    return toOne<Location>(*this, QStringLiteral("logLocation"));
}
void Log::setLogLocation(Location *object)
{
    setRelatedObject(QStringLiteral("logLocation"), object);
}

NSManagedObjectQDBase *Log::logvoice() const
{
    return toOne<NSManagedObjectQDBase>(*this, QStringLiteral("logvoice"));
}
void Log::setLogvoice(NSManagedObjectQDBase *object)
{
    setRelatedObject(QStringLiteral("logvoice"), object);
}

QList<FileAttachments *> Log::attachments() const
{
    return toMany<FileAttachments>(*this, QStringLiteral("attachments"));
}
void Log::setAttachments(const QList<FileAttachments *> &objects)
{
    setRelatedObjects(QStringLiteral("attachments"), objectList(objects));
}
void Log::addAttachmentsObject(FileAttachments *object)
{
    addRelatedObject(QStringLiteral("attachments"), object);
}
void Log::removeAttachmentsObject(FileAttachments *object)
{
    removeRelatedObject(QStringLiteral("attachments"), object);
}
