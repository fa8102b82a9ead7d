// The picture file of a contact: writing and reading it, moving an older stored picture into it, deleting it
// with its record, and the two transformers of stored pictures.

#include "QuendelKit/CloudRecord/PersonPrivatePicture.h"
#include "QuendelKit/Entities/DeferredFileRemoval.h"
#include "QuendelKit/Entities/FileAttachments.h"
#include "QuendelKit/Entities/Person.h"
#include "QuendelKit/Entities/PersonImage.h"
#include "QuendelKit/Infra/QDLog.h"
#include "QuendelKit/Settings/SharedSettingController.h"

#include "platform/core/Clock.h"
#include "platform/store/Predicate.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QImageWriter>
#include <QSaveFile>

using platform::store::ManagedObjectContext;

namespace {

QString localPicturePath(const QString &name)
{
    return FileAttachments::isSafeFileName(name)
               ? SharedSettingController::sharedSettings().pathForPersonReferenceWithName(name)
               : QString();
}

QString cloudPicturePath(const QString &name)
{
    return FileAttachments::isSafeFileName(name)
               ? SharedSettingController::sharedSettings().urlForCloudPersonImageReferenceWithName(name).toLocalFile()
               : QString();
}

QByteArray encode(const QImage &image, const QByteArray &format, int quality = -1)
{
    if (image.isNull())
        return QByteArray();
    QByteArray data;
    QBuffer buffer(&data);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, format);
    if (quality >= 0)
        writer.setQuality(quality);
    return writer.write(image) ? data : QByteArray();
}

bool writeWhole(const QString &path, const QByteArray &data)
{
    QSaveFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(data) == data.size() && file.commit();
}

} // namespace

bool PersonImage::saveImageReferenceForData(const QByteArray &data)
{
    if (fullImageFileName().isEmpty()) {
        const Person *contact = person();
        const QString guid = contact ? contact->guid() : QString();
        if (!guid.isEmpty())
            setFullImageFileName(QStringLiteral("%1.jpg").arg(guid));
    }
    const QString name = fullImageFileName();
    const QString target = localPicturePath(name);
    if (target.isEmpty()) {
        QDLogError(QStringLiteral("PersonImage: no safe picture file name: %1").arg(name));
        return false;
    }
    // An empty picture would leave the contact with a file that shows nothing and hide the one it had.
    if (data.isEmpty()) {
        QDLogError(QStringLiteral("PersonImage: empty picture data not written"));
        return false;
    }
    QDir().mkpath(QFileInfo(target).absolutePath());
    const bool replacing = QFileInfo::exists(target);
    const bool written = writeWhole(target, data);
    // A later picture under the same name reaches the cloud as a change of the record's date alone.
    if (written && replacing)
        setModifiedAt(platform::core::Clock::now().toUTC());

    if (iCloudEnabledInApp()) {
        const QString cloud = cloudPicturePath(name);
        if (cloud.isEmpty() || !written) {
            QDLogError(QStringLiteral("error in setUbiquitous: %1").arg(cloud));
        } else {
            QDir().mkpath(QFileInfo(cloud).absolutePath());
            QFile::remove(cloud);
            if (QFile::rename(target, cloud) || (QFile::copy(target, cloud) && QFile::remove(target)))
                QDLogInfo(QStringLiteral("done setUbiquitour with fileCloudURL = %1").arg(cloud));
            else
                QDLogError(QStringLiteral("error in setUbiquitous: %1").arg(cloud));
        }
    } else if (isMigration() || SharedSettingController::sharedSettings().isDropboxEnabled()) {
        saveNewFileURLPathToDropboxPlist(target);
        setIsMigration(false);
    }
    return written;
}

QByteArray PersonImage::dataFromImageReference() const
{
    const QString name = fullImageFileName();
    if (name.isNull())
        return QByteArray();
    const QString path = iCloudEnabledInApp() ? cloudPicturePath(name) : localPicturePath(name);
    if (path.isEmpty() || !QFileInfo(path).isFile()) {
        QDLogInfo(QStringLiteral("dataForContactWithImage - file doesn't exist??"));
        return QByteArray();
    }
    return encode(QImage(path), QByteArrayLiteral("png"));
}

bool PersonImage::migratePersonImage()
{
    const QVariant stored = fullImage();
    const bool hasPicture = stored.isValid() && !stored.isNull();
    if (!person()) {
        if (hasPicture)
            setFullImage(QVariant());
        return true;
    }
    if (!hasPicture)
        return true;
    const QByteArray data = FullImageToDataTransformer().transformedValue(stored);
    if (data.isEmpty()) {
        // Kept as it is: a picture that cannot be read now is not thrown away.
        QDLogError(QStringLiteral("PersonImage: the stored picture cannot be read; not migrated"));
        return false;
    }
    setIsMigration(true);
    const bool written = saveImageReferenceForData(data);
    if (written)
        setFullImage(QVariant());
    return written;
}

QStringList PersonImage::loadAllImageNamesWithContext(ManagedObjectContext *context)
{
    QStringList names;
    if (!context)
        return names;
    context->performAndWait([&] {
        platform::store::FetchRequest request = fetchRequest();
        request.setPredicate(platform::store::Predicate::isNotNil(QStringLiteral("fullImageFileName")));
        request.setPropertiesToFetch({QStringLiteral("fullImageFileName")});
        for (const QVariantMap &row : context->executeFetchRequestForDictionaries(request))
            names.append(row.value(QStringLiteral("fullImageFileName")).toString());
    });
    return names;
}

void PersonImage::downloadFileFromCloud()
{
    QString name;
    QString cloud;
    if (ManagedObjectContext *context = managedObjectContext()) {
        context->performAndWait([&] {
            name = fullImageFileName();
            cloud = cloudPicturePath(name);
        });
    }
    if (!cloud.isEmpty())
        downloadFileWithURL(QUrl::fromLocalFile(cloud), name);
}

bool PersonImage::evictFileFromCloud()
{
    QDLogInfo(QStringLiteral("PersonImage Eviction error: %1")
                  .arg(QStringLiteral("the container keeps every file on this machine")));
    return false;
}

void PersonImage::prepareForDeletion()
{
    NSManagedObjectQDBase::prepareForDeletion();
    QDLogInfo(QStringLiteral("Images: prepareForDeletion!"));
    const QString name = fullImageFileName();
    if (name.isEmpty() || !FileAttachments::isSafeFileName(name))
        return;
    if (iCloudEnabledInApp()) {
        stopFileDownloadWatch();
        DeferredFileRemoval::removeAfterDeletionIsSaved(*this, [name] {
            const QString path = cloudPicturePath(name);
            if (!path.isEmpty() && QFileInfo::exists(path) && !QFile::remove(path))
                QDLogError(QStringLiteral("saveDeletedFile: setUbiquitous ERROR: %1").arg(path));
        });
        return;
    }
    DeferredFileRemoval::removeAfterDeletionIsSaved(*this, [name] {
        const QString path = localPicturePath(name);
        if (path.isEmpty() || !QFileInfo::exists(path)) {
            QDLogInfo(QStringLiteral("PersonImage: prepareForDeletion: nothing to delete!"));
            return;
        }
        QFile::remove(path);
        saveFileToDeleteInDropboxPlist(path);
    });
}

QByteArray FullImageToDataTransformer::transformedValue(const QVariant &value) const
{
    const QByteArray data = encode(PersonPrivatePicture::imageFromValue(value), QByteArrayLiteral("png"));
    QDLogInfo(QStringLiteral("Images: transformedValue: FULL image size: %1").arg(data.size()));
    return data;
}

QVariant FullImageToDataTransformer::reverseTransformedValue(const QByteArray &data) const
{
    const QImage image = data.isEmpty() ? QImage() : QImage::fromData(data);
    return image.isNull() ? QVariant() : QVariant(image);
}

QByteArray ImageToDataTransformer::transformedValue(const QVariant &value) const
{
    return encode(PersonPrivatePicture::imageFromValue(value), QByteArrayLiteral("jpeg"), 10);
}

QVariant ImageToDataTransformer::reverseTransformedValue(const QByteArray &data) const
{
    const QImage image = data.isEmpty() ? QImage() : QImage::fromData(data);
    return image.isNull() ? QVariant() : QVariant(image);
}
