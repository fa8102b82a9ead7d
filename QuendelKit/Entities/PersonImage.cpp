#include "QuendelKit/Entities/PersonImage.h"

#include "QuendelKit/Entities/EntityValues.h"
#include "QuendelKit/Entities/FileAttachments.h"
#include "QuendelKit/Entities/Person.h"

using namespace entity_values;

platform::store::FetchRequest PersonImage::fetchRequest()
{
    return platform::store::FetchRequest(EntityName);
}

QString PersonImage::fullImageFileName() const
{
    return string(*this, QStringLiteral("fullImageFileName"));
}
void PersonImage::setFullImageFileName(const QString &value)
{
    setValue(QStringLiteral("fullImageFileName"), fromString(value));
}
QVariant PersonImage::fullImage() const
{
    return value(QStringLiteral("fullImage"));
}
void PersonImage::setFullImage(const QVariant &value)
{
    setValue(QStringLiteral("fullImage"), value);
}

Person *PersonImage::person() const
{
    return toOne<Person>(*this, QStringLiteral("person"));
}
void PersonImage::setPerson(Person *object)
{
    setRelatedObject(QStringLiteral("person"), object);
}

FileAttachments *PersonImage::fileattachment() const
{
    return toOne<FileAttachments>(*this, QStringLiteral("fileattachment"));
}
void PersonImage::setFileattachment(FileAttachments *object)
{
    setRelatedObject(QStringLiteral("fileattachment"), object);
}
