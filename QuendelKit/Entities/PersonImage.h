#pragma once

#include "QuendelKit/Entities/NSManagedObjectQDBase.h"

#include "platform/store/FetchRequest.h"
#include "platform/store/Model.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
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

    // Writes the picture file, named after the contact's guid on the first write ("<guid>.jpg" whatever the
    // data is: the bytes are kept exactly as given). The file is replaced whole, never left half written;
    // empty data is refused and the file kept. Answers whether the file was written.
    bool saveImageReferenceForData(const QByteArray &data);
    // The picture as lossless PNG data; empty when there is no file or it holds no picture.
    QByteArray dataFromImageReference() const;
    // Moves a picture that older databases kept in the record into its file; a picture without a contact is
    // dropped. Answers true when nothing is left to do.
    bool migratePersonImage();
    // Every picture file name; empty when there is none. Runs on the context's queue while the caller waits.
    static QStringList loadAllImageNamesWithContext(platform::store::ManagedObjectContext *context);
    // Waits for the picture to arrive in the older shared store's container.
    void downloadFileFromCloud();
    // The container is a folder the file-sync tool keeps whole on every machine: there is no local copy to
    // give back, so this answers false.
    bool evictFileFromCloud();

protected:
    // The file goes once the deletion is saved to the store.
    void prepareForDeletion() override;

private:
    bool m_isMigration = false;
};

// A full-size picture to data and back: lossless PNG (decoding takes any image format).
class FullImageToDataTransformer : public platform::store::ValueTransformer
{
public:
    static inline const QString TransformerName = QStringLiteral("FullImageToDataTransformer");
    QByteArray transformedValue(const QVariant &value) const override;
    QVariant reverseTransformedValue(const QByteArray &data) const override;
};

// A picture to small JPEG data (quality factor 0.1) and back.
class ImageToDataTransformer : public platform::store::ValueTransformer
{
public:
    static inline const QString TransformerName = QStringLiteral("ImageToDataTransformer");
    QByteArray transformedValue(const QVariant &value) const override;
    QVariant reverseTransformedValue(const QByteArray &data) const override;
};
