#pragma once

#include "QuendelKit/Entities/NSManagedObjectQDBase.h"

#include "platform/store/FetchRequest.h"

#include <QString>
#include <QVariant>

class FileAttachments;
class Person;

// The full-size picture of a contact, stored as the entity "Images".
class PersonImage : public NSManagedObjectQDBase
{
public:
    static inline const QString EntityName = QStringLiteral("Images");

    // A new request for every record of the entity: no predicate, order or limit.
    static platform::store::FetchRequest fetchRequest();

    QString fullImageFileName() const;
    void setFullImageFileName(const QString &value);
    QVariant fullImage() const;
    void setFullImage(const QVariant &value);

    Person *person() const;
    void setPerson(Person *object);
    FileAttachments *fileattachment() const;
    void setFileattachment(FileAttachments *object);

    // Kept on the object only: the picture is being moved by the one-time picture migration.
    bool isMigration() const { return m_isMigration; }
    void setIsMigration(bool migration) { m_isMigration = migration; }

private:
    bool m_isMigration = false;
};
