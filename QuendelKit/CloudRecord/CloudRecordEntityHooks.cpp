// The fields that the kit's entities add to, or keep out of, their cloud records.

#include "QuendelKit/CloudRecord/NSManagedObjectQDBase+CloudRecord.h"
#include "QuendelKit/CloudRecord/PersonPrivatePicture.h"
#include "QuendelKit/Entities/AllEntities.h"
#include "QuendelKit/Infra/QDLog.h"
#include "QuendelKit/Settings/SharedSettingController.h"

#include "platform/core/DateComponents.h"
#include "platform/core/KeyedArchive.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QLocale>

using platform::cloud::Asset;
using platform::cloud::FieldValue;
using CloudLocation = platform::cloud::Location;
using platform::cloud::Record;
using platform::core::KeyedArchive;
using ChangedKeys = CloudRecordHooks::ChangedKeys;
using CR = NSManagedObjectQDBaseCloudRecord;

namespace {

const QString LatitudeKey = QStringLiteral("latitude");
const QString LongitudeKey = QStringLiteral("longitude");
const QString LocalIdentifierKey = QStringLiteral("localIdentifier");
const QString ModifiedAtKey = QStringLiteral("modifiedAt");
const QString FileNameKey = QStringLiteral("fileName");
const QString FullImageFileNameKey = QStringLiteral("fullImageFileName");

bool isWholeOrChanged(const ChangedKeys &changedKeys, std::initializer_list<QString> keys)
{
    if (!changedKeys)
        return true;
    for (const QString &key : keys) {
        if (changedKeys->contains(key))
            return true;
    }
    return false;
}

QString stringValue(const platform::store::ManagedObject &object, const QString &key)
{
    const QVariant value = object.value(key);
    return value.isValid() && !value.isNull() ? value.toString() : QString();
}

// A file name that arrives in a record names a file inside one of our folders, nothing else.
bool isSafeFileName(const QString &name)
{
    return !name.isEmpty() && name != QLatin1String(".") && name != QLatin1String("..") &&
           !name.contains(QLatin1Char('/')) && !name.contains(QLatin1Char('\\')) && !name.contains(QChar(0));
}

QString picturePath(const QString &name)
{
    if (!isSafeFileName(name)) {
        QDLogError(QStringLiteral("PersonImage: picture file name refused: %1").arg(name));
        return QString();
    }
    const QString folder = SharedSettingController::sharedSettings().localPersonImagesDirectoryURL().toLocalFile();
    return folder.isEmpty() ? QString() : QDir(folder).filePath(name);
}

// Where the attachment's file is kept now: the older shared store's folder while that store is in use,
// else the local folder.
QString attachmentFilePath(const QString &name)
{
    if (!isSafeFileName(name))
        return QString();
    SharedSettingController &settings = SharedSettingController::sharedSettings();
    if (iCloudEnabledInApp())
        return settings.urlForCloudAttachmentWithName(name).toLocalFile();
    return settings.pathForAttachmentWithName(name);
}

// Puts the received file at the target: whatever was there goes; the incoming copy replaces it only once it
// is complete, so a failed copy never leaves half a file behind. A record that names a file which never
// arrived leaves the local file alone; a record without one removes it, so the missing-files list fetches it.
void replaceWithReceivedFile(const QString &target, const Record &record, const QString &logPrefix)
{
    const FieldValue field = record.value(CR::FileAssetField);
    const bool namesAsset = field.kind() == FieldValue::Kind::Asset;
    const QString source = namesAsset ? field.toAsset().localFilePath() : QString();
    const bool haveSource = !source.isEmpty() && QFileInfo(source).isFile();
    if (namesAsset && !haveSource) {
        // The download of the file failed or went away: the copy here is the only good one left.
        QDLogError(QStringLiteral("🚨🚨 %1 - the received file is missing; kept the local file at URL = %2 🚨🚨")
                       .arg(logPrefix, target));
        return;
    }
    if (haveSource) {
        const QString staging = target + QStringLiteral(".incoming");
        QFile::remove(staging);
        if (!QFile::copy(source, staging)) {
            QDLogError(QStringLiteral("🚨🚨 %1 - error copying item to URL = %2 🚨🚨").arg(logPrefix, target));
            QFile::remove(staging);
            return;
        }
        if (QFileInfo::exists(target) && !QFile::remove(target))
            QDLogError(QStringLiteral("🚨🚨 %1: error removing existing item at URL = %2 🚨🚨").arg(logPrefix, target));
        if (!QFile::rename(staging, target)) {
            QDLogError(QStringLiteral("🚨🚨 %1 - error copying item to URL = %2 🚨🚨").arg(logPrefix, target));
            QFile::remove(staging);
        }
        return;
    }
    if (QFileInfo::exists(target) && !QFile::remove(target))
        QDLogError(QStringLiteral("🚨🚨 %1: error removing existing item at URL = %2 🚨🚨").arg(logPrefix, target));
}

// ---- Archived values (repeat, alert offset, template properties) ----

void writeArchivedField(NSManagedObjectQDBase &object, Record &record, const ChangedKeys &changedKeys,
                        const QString &key, bool nullMarkerIsEmpty)
{
    const QVariant value = object.value(key);
    const bool empty = !value.isValid() || (nullMarkerIsEmpty && platform::core::isNullMarker(value));
    const bool keyChanged = changedKeys && changedKeys->contains(key);
    if (!empty && (!changedKeys || keyChanged)) {
        platform::core::QDError error;
        const QByteArray archive = KeyedArchive::archive(value, &error);
        if (archive.isEmpty()) {
            QDLogError(QStringLiteral("%1: %2 cannot be archived: %3").arg(object.entityName(), key, error.toString()));
            return;
        }
        record.setValue(key, archive);
    } else if (keyChanged) {
        record.removeValue(key);
    }
}

void readArchivedField(NSManagedObjectQDBase &object, const Record &record, const QString &key)
{
    if (!record.hasField(key))
        return;
    const FieldValue field = record.value(key);
    platform::core::QDError error;
    const std::optional<QVariant> value =
        field.kind() == FieldValue::Kind::Bytes ? KeyedArchive::unarchive(field.toBytes(), &error) : std::nullopt;
    if (!value) {
        QDLogError(QStringLiteral("%1: field %2 of %3 cannot be read; kept the current value. %4")
                       .arg(object.entityName(), key, record.recordID().recordName(), error.toString()));
        return;
    }
    object.setValue(key, *value);
}

CloudRecordHooks archivedFieldHooks(const QString &key, QStringList removed, bool nullMarkerIsEmpty)
{
    CloudRecordHooks hooks;
    hooks.removeAttributesFromSyncFields = std::move(removed);
    hooks.extendedCKRecordFromManagedObjectWithRecord =
        [key, nullMarkerIsEmpty](NSManagedObjectQDBase &object, Record &record, const ChangedKeys &changedKeys) {
            writeArchivedField(object, record, changedKeys, key, nullMarkerIsEmpty);
        };
    hooks.extendedManagedObjectWithCKRecord = [key](NSManagedObjectQDBase &object, const Record &record) {
        readArchivedField(object, record, key);
    };
    return hooks;
}

// ---- Positions (addresses and saved places) ----

CloudRecordHooks positionHooks(QStringList removed)
{
    CloudRecordHooks hooks;
    hooks.removeAttributesFromSyncFields = std::move(removed);
    hooks.extendedCKRecordFromManagedObjectWithRecord = [](NSManagedObjectQDBase &object, Record &record,
                                                           const ChangedKeys &changedKeys) {
        if (!isWholeOrChanged(changedKeys, {LatitudeKey, LongitudeKey}))
            return;
        record.setValue(CR::LocationObjectField,
                        CloudLocation(object.value(LatitudeKey).toDouble(), object.value(LongitudeKey).toDouble()));
    };
    hooks.extendedManagedObjectWithCKRecord = [](NSManagedObjectQDBase &object, const Record &record) {
        const FieldValue field = record.value(CR::LocationObjectField);
        const CloudLocation location =
            field.kind() == FieldValue::Kind::Location ? field.toLocation() : CloudLocation();
        object.setValue(LatitudeKey, location.latitude());
        object.setValue(LongitudeKey, location.longitude());
    };
    return hooks;
}

// ---- Contacts ----

CloudRecordHooks personHooks()
{
    CloudRecordHooks hooks;
    hooks.removeAttributesFromSyncFields = {CR::PrivateImageField, LocalIdentifierKey};
    hooks.extendedCKRecordFromManagedObjectWithRecord = [](NSManagedObjectQDBase &object, Record &record,
                                                           const ChangedKeys &changedKeys) {
        if (!isWholeOrChanged(changedKeys, {CR::PrivateImageField}))
            return;
        const QVariant picture = object.value(CR::PrivateImageField);
        if (PersonPrivatePicture::imageFromValue(picture).isNull()) {
            const bool hasData = picture.isValid() && !picture.toByteArray().isEmpty();
            if (hasData)
                QDLogError(QStringLiteral("Person: the private picture cannot be read; not sent"));
            else if (changedKeys)
                record.removeValue(CR::PrivateImageField);
            return;
        }
        const std::optional<QByteArray> data = PersonPrivatePicture::generateCompressedImage(picture);
        if (!data) {
            QDLogError(QStringLiteral("Person: the private picture stays above %1 bytes at the smallest size; not sent")
                           .arg(PersonPrivatePicture::MaxRecordPictureSize));
            return;
        }
        QDLogInfo(QStringLiteral("Person: extendedCKRecordFromManagedObjectWithRecord: image size: %1")
                      .arg(QLocale::c().formattedDataSize(data->size())));
        record.setValue(CR::PrivateImageField, *data);
    };
    hooks.extendedManagedObjectWithCKRecord = [](NSManagedObjectQDBase &object, const Record &record) {
        if (!record.hasField(CR::PrivateImageField))
            return;
        const FieldValue field = record.value(CR::PrivateImageField);
        const QByteArray data = field.kind() == FieldValue::Kind::Bytes ? field.toBytes() : QByteArray();
        const QImage image = data.isEmpty() ? QImage() : QImage::fromData(data);
        if (image.isNull()) {
            QDLogError(QStringLiteral("Person: received privateImage holds no picture; kept the current one"));
            return;
        }
        object.setValue(CR::PrivateImageField, data);
        QDLogInfo(QStringLiteral("privateImage set = %1x%2 picture, %3 bytes")
                      .arg(image.width())
                      .arg(image.height())
                      .arg(data.size()));
    };
    // The display and sorting names take the middle name and nickname from the contact's further fields,
    // which a download links only after every record is filled.
    hooks.didUpdateReferencesFromRecord = [](NSManagedObjectQDBase &object) {
        Person *person = dynamic_cast<Person *>(&object);
        if (!person || !person->personinfo())
            return;
        person->remakeDisplayName();
        person->remakeSortingName();
    };
    hooks.setReceivedAttribute = [](NSManagedObjectQDBase &object, const QString &key, const QVariant &value) {
        Person *person = dynamic_cast<Person *>(&object);
        if (!person)
            return false;
        const QString text = value.isValid() && !value.isNull() ? value.toString() : QString();
        if (key == QLatin1String("firstName")) {
            person->setFirstName(text);
            return true;
        }
        if (key == QLatin1String("lastName")) {
            person->setLastName(text);
            return true;
        }
        return false;
    };
    return hooks;
}

// ---- Contact pictures ----

CloudRecordHooks personImageHooks()
{
    CloudRecordHooks hooks;
    hooks.removeAttributesFromSyncFields = {QStringLiteral("fullImage")};
    hooks.extendedCKRecordFromManagedObjectWithRecord = [](NSManagedObjectQDBase &object, Record &record,
                                                           const ChangedKeys &changedKeys) {
        const QString name = stringValue(object, FullImageFileNameKey);
        if (name.isEmpty() || !object.relatedObject(QStringLiteral("person")))
            return;
        // A new picture under the same name changes only the save date, and must still carry the file.
        const bool onlyModifiedAt = changedKeys && *changedKeys == QStringList{ModifiedAtKey};
        if (changedKeys && !changedKeys->contains(FullImageFileNameKey) && !onlyModifiedAt)
            return;
        const QString path = picturePath(name);
        if (!path.isEmpty() && QFileInfo(path).isFile())
            record.setValue(CR::FileAssetField, Asset(QUrl::fromLocalFile(path)));
    };
    hooks.extendedManagedObjectWithCKRecord = [](NSManagedObjectQDBase &object, const Record &record) {
        const QString name = stringValue(object, FullImageFileNameKey);
        if (name.isEmpty())
            return;
        const QString target = picturePath(name);
        if (!target.isEmpty())
            replaceWithReceivedFile(target, record, QStringLiteral("PersonImage: extendedManagedObjectWithCKRecord"));
    };
    return hooks;
}

// ---- File attachments ----

CloudRecordHooks fileAttachmentHooks()
{
    CloudRecordHooks hooks;
    hooks.extendedCKRecordFromManagedObjectWithRecord = [](NSManagedObjectQDBase &object, Record &record,
                                                           const ChangedKeys &changedKeys) {
        // Only a new record carries the file; later changes are to the record's values.
        if (changedKeys)
            return;
        const QString path = attachmentFilePath(stringValue(object, FileNameKey));
        if (!path.isEmpty() && QFileInfo(path).isFile())
            record.setValue(CR::FileAssetField, Asset(QUrl::fromLocalFile(path)));
    };
    hooks.extendedManagedObjectWithCKRecord = [](NSManagedObjectQDBase &object, const Record &record) {
        QString name = stringValue(object, FileNameKey);
        if (name.isEmpty())
            name = record.value(FileNameKey).toString();
        if (name.isEmpty())
            return;
        if (!isSafeFileName(name)) {
            QDLogError(QStringLiteral("FileAttachments: file name refused: %1").arg(name));
            return;
        }
        const QString target = SharedSettingController::sharedSettings().pathForAttachmentWithName(name);
        if (!target.isEmpty())
            replaceWithReceivedFile(target, record,
                                    QStringLiteral("FileAttachments: extendedManagedObjectWithCKRecord"));
    };
    return hooks;
}

CloudRecordHooks keepOut(QStringList removed)
{
    CloudRecordHooks hooks;
    hooks.removeAttributesFromSyncFields = std::move(removed);
    return hooks;
}

} // namespace

QHash<QString, CloudRecordHooks> builtInCloudRecordHooks()
{
    QHash<QString, CloudRecordHooks> hooks;
    hooks.insert(Person::EntityName, personHooks());
    hooks.insert(PersonAddress::EntityName, positionHooks({LatitudeKey, LocalIdentifierKey, LongitudeKey}));
    hooks.insert(Location::EntityName, positionHooks({LongitudeKey, LatitudeKey}));
    hooks.insert(PersonImage::EntityName, personImageHooks());
    hooks.insert(FileAttachments::EntityName, fileAttachmentHooks());
    hooks.insert(ToDo::EntityName,
                 archivedFieldHooks(CR::TodoRepeatIntervalField, {CR::TodoRepeatIntervalField}, true));
    hooks.insert(
        ToDoAlert::EntityName,
        archivedFieldHooks(CR::AlertIntervalField, {CR::AlertIntervalField, QStringLiteral("alertIdentifier")}, false));
    hooks.insert(EmailTemplate::EntityName,
                 archivedFieldHooks(CR::TemplatePropertiesField, {CR::TemplatePropertiesField}, false));
    hooks.insert(Log::EntityName, keepOut({QStringLiteral("logProperties"), QStringLiteral("attributedLogNote")}));
    hooks.insert(Emails::EntityName, keepOut({LocalIdentifierKey}));
    hooks.insert(Phones::EntityName, keepOut({LocalIdentifierKey}));
    hooks.insert(PersonWebsite::EntityName, keepOut({LocalIdentifierKey}));
    hooks.insert(ToDoCalendarLink::EntityName, keepOut({QStringLiteral("calendarUUID")}));
    return hooks;
}
