// The files of attachments: their unique stored names, where they lie, attaching, renaming, deleting with
// the record, the Dropbox change list, the size text and the list of files missing on this machine.

#include "QuendelKit/Entities/DeferredFileRemoval.h"
#include "QuendelKit/Entities/ExportText.h"
#include "QuendelKit/Entities/FileAttachments.h"
#include "QuendelKit/Entities/Person.h"
#include "QuendelKit/Entities/PersonImage.h"
#include "QuendelKit/Infra/QDLog.h"
#include "QuendelKit/Settings/SharedSettingController.h"

#include "platform/core/Clock.h"
#include "platform/store/Predicate.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QIcon>
#include <QImageReader>
#include <QMimeDatabase>
#include <QPixmap>
#include <QLocale>
#include <QTemporaryDir>
#include <QUuid>

using platform::core::QDError;
using platform::store::ManagedObjectContext;
using platform::store::Predicate;

namespace {

QDError fileError(qint64 code, const QString &text)
{
    return QDError::withDescription(QuendelErrorDomain, code, text);
}

// A failed save as the attach operations report it: our domain, the save's code and details.
QDError saveFailure(const QDError &saveError)
{
    return QDError(QuendelErrorDomain, saveError.code(), saveError.userInfo());
}

bool saveContext(ManagedObjectContext *context, QDError *saveError)
{
    QDError error;
    if (context->save(&error))
        return true;
    QDLogError(QStringLiteral("Unresolved error %1, %2").arg(error.toString(), error.localizedDescription()));
    if (saveError)
        *saveError = error;
    return false;
}

QString localPath(const QString &name)
{
    return FileAttachments::isSafeFileName(name) ? SharedSettingController::sharedSettings().pathForAttachmentWithName(name)
                                                 : QString();
}

QString cloudPath(const QString &name)
{
    return FileAttachments::isSafeFileName(name)
               ? SharedSettingController::sharedSettings().urlForCloudAttachmentWithName(name).toLocalFile()
               : QString();
}

bool ensureAttachmentsFolder()
{
    const QString folder = SharedSettingController::sharedSettings().localFileAttachmentsDirectoryURL().toLocalFile();
    return !folder.isEmpty() && QDir().mkpath(folder);
}

// Moves a file, copying across file systems; the source stays when the move fails.
bool moveFile(const QString &from, const QString &to)
{
    if (QFile::rename(from, to))
        return true;
    if (!QFile::copy(from, to))
        return false;
    QFile::remove(from);
    return true;
}

} // namespace

bool FileAttachments::isSafeFileName(const QString &name)
{
    return !name.isEmpty() && name != QLatin1String(".") && name != QLatin1String("..") &&
           !name.contains(QLatin1Char('/')) && !name.contains(QLatin1Char('\\')) && !name.contains(QChar(0));
}

QString FileAttachments::setupUniqueFilenameWithName(const QString &displayName) const
{
    const QString uuid = QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper();
    const QFileInfo info(displayName);
    const QString extension = info.suffix();
    if (extension.isEmpty())
        return QStringLiteral("%1-%2").arg(displayName, uuid);
    return QStringLiteral("%1-%2.%3").arg(info.completeBaseName(), uuid, extension);
}

QUrl FileAttachments::fullFileURL() const
{
    const QString name = fileName();
    if (!isSafeFileName(name))
        return QUrl();
    const QString path = iCloudEnabledInApp() ? cloudPath(name) : localPath(name);
    return path.isEmpty() ? QUrl() : QUrl::fromLocalFile(path);
}

QString FileAttachments::fileCheckName() const
{
    const QString renamed = fileRenamedName();
    return renamed.isEmpty() ? fileName() : renamed;
}

FileAttachments *FileAttachments::setupFileAttachmentObjectWithName(const QString &displayName, Person *person,
                                                                    ManagedObjectContext *context)
{
    if (!context)
        return nullptr;
    auto *attachment = context->insertNewObject<FileAttachments>(EntityName);
    if (!attachment)
        return nullptr;
    attachment->setFileName(attachment->setupUniqueFilenameWithName(displayName));
    attachment->setPerson(person);
    attachment->setCreatedAt(platform::core::Clock::now());
    attachment->setFileRenamedName(displayName);
    return attachment;
}

bool FileAttachments::createFileAttachmentWithURL(const QUrl &source, Person *person, ManagedObjectContext *context,
                                                  QDError *error)
{
    return createFileAttachmentWithURL(source, QUrl::fromLocalFile(localPath(source.fileName())), person, context,
                                       error);
}

bool FileAttachments::createFileAttachmentWithURL(const QUrl &source, const QUrl &destination, Person *person,
                                                  ManagedObjectContext *context, QDError *error)
{
    const QString displayName = destination.fileName();
    if (!context || !isSafeFileName(displayName))
        return platform::core::setError(
            error, fileError(SaveError, QStringLiteral("There was a problem saving this file %1. Please try later").arg(displayName)));
    FileAttachments *attachment = setupFileAttachmentObjectWithName(displayName, person, context);
    const QString target = localPath(attachment->fileName());
    bool copied = true;
    if (!QFileInfo::exists(target))
        copied = ensureAttachmentsFolder() && QFile::copy(source.toLocalFile(), target);
    if (copied && saveContext(context, nullptr)) {
        attachment->saveNewFileToPlist();
        return true;
    }
    return platform::core::setError(
        error, fileError(SaveError, QStringLiteral("There was a problem saving this file %1. Please try later").arg(displayName)));
}

bool FileAttachments::createFileAttachmentWithArray(const QStringList &paths, Person *person,
                                                    ManagedObjectContext *context, bool copy, QDError *error)
{
    const QDError batchError =
        fileError(SaveError, QStringLiteral("There was a problem saving some of the files. Please try again later"));
    if (!context)
        return platform::core::setError(error, batchError);
    // A private folder of our own: a file the user named "data.plist" can never land on ours.
    std::unique_ptr<QTemporaryDir> staging;
    if (copy) {
        staging = std::make_unique<QTemporaryDir>(
            QDir(SharedSettingController::sharedSettings().applicationSupportPath()).filePath(QStringLiteral(".attach-XXXXXX")));
        if (!staging->isValid() || !ensureAttachmentsFolder())
            return platform::core::setError(error, batchError);
    }
    bool failed = false;
    QList<FileAttachments *> created;
    // Files put into the attachments folder, with where each came from when it was moved rather than copied.
    QList<QPair<QString, QString>> placed;
    for (const QString &path : paths) {
        if (failed)
            break;
        const QString displayName = QFileInfo(path).fileName();
        if (!isSafeFileName(displayName)) {
            failed = true;
            continue;
        }
        QString staged;
        if (copy) {
            staged = staging->filePath(displayName);
            QFile::remove(staged);
            if (!QFile::copy(path, staged)) {
                failed = true;
                continue;
            }
        }
        FileAttachments *attachment = setupFileAttachmentObjectWithName(displayName, person, context);
        created.append(attachment);
        const QString target = localPath(attachment->fileName());
        if (copy) {
            if (moveFile(staged, target))
                placed.append({target, QString()});
            else
                failed = true;
        } else if (path.contains(QLatin1Char('/'))) {
            if (QFile::copy(path, target))
                placed.append({target, QString()});
            else
                failed = true;
        } else {
            // A file that already lies in the attachments folder under its own name takes its stored name.
            const QString present = localPath(displayName);
            if (moveFile(present, target))
                placed.append({target, present});
            else
                failed = true;
        }
    }
    QDError saveError;
    if (!failed && saveContext(context, &saveError)) {
        for (FileAttachments *attachment : created)
            attachment->saveNewFileToPlist();
        return true;
    }
    // Nothing of a failed batch stays: its records leave the context and its files the folder (a file that
    // was moved in goes back where it lay), so no record is ever kept without its file.
    for (FileAttachments *attachment : created)
        context->deleteObject(attachment);
    for (const auto &[target, origin] : placed) {
        if (origin.isEmpty())
            QFile::remove(target);
        else
            moveFile(target, origin);
    }
    if (saveError)
        return platform::core::setError(error, saveFailure(saveError));
    return platform::core::setError(error, batchError);
}

bool FileAttachments::createFileAttachmentWithFilesArray(const QStringList &paths, Person *person,
                                                         ManagedObjectContext *context, bool copy,
                                                         const QDateTime &timestamp, QDError *error)
{
    if (!context)
        return platform::core::setError(error, fileError(NamesTakenError, QString()));
    ensureAttachmentsFolder();
    QList<FileAttachments *> created;
    qint64 failedMoves = 0;
    for (const QString &path : paths) {
        const QString displayName = QFileInfo(path).fileName();
        if (!isSafeFileName(displayName)) {
            ++failedMoves;
            continue;
        }
        FileAttachments *attachment = setupFileAttachmentObjectWithName(displayName, person, context);
        if (timestamp.isValid())
            attachment->setCreatedAt(timestamp);
        if (moveFile(path, localPath(attachment->fileName())))
            created.append(attachment);
        else
            ++failedMoves;
    }
    if (!copy)
        return true;
    if (failedMoves > 0)
        return platform::core::setError(
            error, fileError(NamesTakenError,
                             QStringLiteral("%1 files could not be added since the filenames already exist").arg(failedMoves)));
    QDError saveError;
    if (!saveContext(context, &saveError))
        return platform::core::setError(error, saveFailure(saveError));
    for (FileAttachments *attachment : created)
        attachment->saveNewFileToPlist();
    return true;
}

bool FileAttachments::createFileAttachmentWithExternalFileURL(const QUrl &link, const QString &displayName,
                                                              Person *person, ManagedObjectContext *context,
                                                              QDError *error)
{
    if (!context)
        return platform::core::setError(error, fileError(SaveError, QString()));
    auto *attachment = context->insertNewObject<FileAttachments>(EntityName);
    attachment->setFileName(displayName);
    attachment->setFileRenamedName(displayName);
    attachment->setPerson(person);
    attachment->setCreatedAt(platform::core::Clock::now());
    attachment->setFileExternalURL(link.toString(QUrl::FullyEncoded));
    QDError saveError;
    if (!saveContext(context, &saveError))
        return platform::core::setError(error, saveFailure(saveError));
    return true;
}

bool FileAttachments::renameFileToNewName(const QString &newName, QDError *error)
{
    if (!isSafeFileName(newName))
        return platform::core::setError(
            error, fileError(UnsafeNameError, QStringLiteral("There was a problem renaming this file. Please try later")));
    const QString oldName = fileName();
    const QString extension = QFileInfo(oldName).suffix();
    const QString fullName = extension.isEmpty() ? newName : QStringLiteral("%1.%2").arg(newName, extension);
    if (fullName == oldName)
        return true;
    ManagedObjectContext *context = managedObjectContext();
    if (!fileExternalURL().isEmpty()) {
        setFileName(fullName);
        setFileRenamedName(fullName);
        if (!context || !context->save(nullptr))
            return platform::core::setError(
                error, fileError(SaveError, QStringLiteral("There was a problem changing the name of this External URL. Please try later")));
        return true;
    }
    const QString uniqueName = setupUniqueFilenameWithName(fullName);
    bool moved = false;
    if (!isSafeFileName(oldName)) {
        moved = false;
    } else if (iCloudEnabledInApp()) {
        const QString from = cloudPath(oldName);
        const QString to = cloudPath(uniqueName);
        moved = !from.isEmpty() && !to.isEmpty() && QFile::rename(from, to);
    } else {
        const QString from = localPath(oldName);
        const QString to = localPath(uniqueName);
        QFile::remove(to);
        moved = QFile::rename(from, to);
        if (moved && SharedSettingController::sharedSettings().isDropboxEnabled())
            saveRenamedFileToDropboxPlist(oldName, uniqueName);
    }
    if (!moved)
        return platform::core::setError(
            error, fileError(RenameError, QStringLiteral("There was a problem renaming this file. Please try later")));
    setFileName(uniqueName);
    setFileRenamedName(fullName);
    QDError saveError;
    if (!context || !context->save(&saveError)) {
        QDLogError(QStringLiteral("Unresolved error in context save: %1, %2")
                       .arg(saveError.toString(), saveError.localizedDescription()));
        return platform::core::setError(error,
                                        fileError(SaveError, QStringLiteral("There was a problem saving this file. Please try later")));
    }
    return true;
}

void FileAttachments::reassignToPerson(Person *person)
{
    if (this->person())
        setPerson(nullptr);
    setPerson(person);
    if (ManagedObjectContext *context = managedObjectContext()) {
        QDError error;
        if (!context->save(&error))
            QDLogError(QStringLiteral("error with save: %1").arg(error.toString()));
    }
}

void FileAttachments::saveNewFileToPlist()
{
    const QString name = fileName();
    if (!isSafeFileName(name))
        return;
    SharedSettingController &settings = SharedSettingController::sharedSettings();
    if (iCloudEnabledInApp()) {
        ensureAttachmentsFolder();
        const QString cloud = cloudPath(name);
        if (cloud.isEmpty())
            return;
        QDir().mkpath(QFileInfo(cloud).absolutePath());
        QFile::remove(cloud);
        if (!moveFile(localPath(name), cloud)) {
            QDLogError(QStringLiteral("error in setUbiquitous: %1").arg(cloud));
            return;
        }
        QDLogInfo(QStringLiteral("done setUbiquitous with fileCloudURL = %1").arg(cloud));
        // Tells the file lists that the file is in place.
        downloadFileFromCloud();
        return;
    }
    if (settings.isDropboxEnabled())
        saveNewFileURLPathToDropboxPlist(localPath(name));
}

void FileAttachments::prepareForDeletion()
{
    NSManagedObjectQDBase::prepareForDeletion();
    const QString name = fileName();
    if (name.isEmpty() || !fileExternalURL().isEmpty() || !isSafeFileName(name))
        return;
    const bool cloud = iCloudEnabledInApp();
    if (cloud)
        stopFileDownloadWatch();
    DeferredFileRemoval::removeAfterDeletionIsSaved(*this, [name, cloud] {
        if (cloud) {
            const QString path = cloudPath(name);
            if (!path.isEmpty() && QFileInfo::exists(path) && !QFile::remove(path))
                QDLogError(QStringLiteral("saveDeletedFile: setUbiquitous ERROR: %1").arg(path));
            return;
        }
        const QString path = localPath(name);
        if (path.isEmpty() || !QFileInfo::exists(path))
            return;
        QFile::remove(path);
        if (SharedSettingController::sharedSettings().isDropboxEnabled())
            saveFileToDeleteInDropboxPlist(path);
    });
}

QUrl FileAttachments::copyFileToTempFolderWithRealName() const
{
    QString name = fileCheckName();
    if (!isSafeFileName(name))
        name = fileName();
    const QString target = SharedSettingController::sharedSettings().temporaryFilePath(isSafeFileName(name) ? name : QString());
    if (target.isEmpty())
        return QUrl();
    QFile::remove(target);
    QFile::copy(fullFileURL().toLocalFile(), target);
    return QUrl::fromLocalFile(target);
}

bool FileAttachments::showFileThumbnailForFileURL(const QUrl &url)
{
    static const QStringList shown = {QStringLiteral("PDF"), QStringLiteral("PNG"), QStringLiteral("JPG"),
                                      QStringLiteral("TXT"), QStringLiteral("RTF")};
    const QString extension = QFileInfo(url.path()).suffix();
    return !extension.isEmpty() && shown.contains(extension, Qt::CaseInsensitive);
}

QUrl FileAttachments::previewItemURL() const
{
    QUrl url;
    if (ManagedObjectContext *context = managedObjectContext())
        context->performAndWait([&] { url = fullFileURL(); });
    return url;
}

QImage FileAttachments::filePreviewImage() const
{
    const QUrl url = fullFileURL();
    if (!url.isEmpty() && showFileThumbnailForFileURL(url)) {
        QImageReader reader(url.toLocalFile());
        if (reader.canRead()) {
            QSize size = reader.size();
            if (size.isValid() && (size.width() > 1024 || size.height() > 1024))
                reader.setScaledSize(size.scaled(1024, 1024, Qt::KeepAspectRatio));
            const QImage thumbnail = reader.read();
            if (!thumbnail.isNull())
                return thumbnail;
        }
    }
    if (!qobject_cast<QGuiApplication *>(QCoreApplication::instance()))
        return QImage();
    QString iconName;
    const QString link = fileExternalURL();
    if (!link.isEmpty()) {
        iconName = link.startsWith(QLatin1String("mail")) || link.startsWith(QLatin1String("message"))
                       ? QStringLiteral("internet-mail")
                       : QStringLiteral("text-html");
    } else {
        iconName = QMimeDatabase().mimeTypeForFile(url.toLocalFile()).iconName();
    }
    QIcon icon = QIcon::fromTheme(iconName);
    if (icon.isNull())
        icon = QIcon::fromTheme(QStringLiteral("text-x-generic"));
    return icon.isNull() ? QImage() : icon.pixmap(QSize(64, 64)).toImage();
}

void FileAttachments::downloadFileFromCloud()
{
    QUrl url;
    QString name;
    if (ManagedObjectContext *context = managedObjectContext()) {
        context->performAndWait([&] {
            url = fullFileURL();
            name = fileName();
        });
    }
    if (!url.isEmpty() && !name.isEmpty())
        downloadFileWithURL(url, name);
}

bool FileAttachments::evictFileFromCloud()
{
    QDLogInfo(QStringLiteral("FileAttachments: Eviction error: %1")
                  .arg(QStringLiteral("the container keeps every file on this machine")));
    return false;
}

QString FileAttachments::stringFromFileSize(quint64 bytes)
{
    if (bytes <= 1022)
        return QStringLiteral("%1 bytes").arg(bytes);
    float value = float(bytes) / 1024.0f;
    const auto text = [](float v, const char *unit) {
        return QStringLiteral("%1 %2").arg(QString::number(double(v), 'f', 1), QLatin1String(unit));
    };
    if (value < 1023.0f)
        return text(value, "KB");
    value /= 1024.0f;
    if (value < 1023.0f)
        return text(value, "MB");
    return text(value / 1024.0f, "GB");
}

QStringList FileAttachments::loadAllFileNamesWithContext(ManagedObjectContext *context)
{
    QStringList names;
    if (!context)
        return names;
    context->performAndWait([&] {
        platform::store::FetchRequest request = fetchRequest();
        request.setPredicate(Predicate::isNotNil(QStringLiteral("fileName")));
        request.setPropertiesToFetch({QStringLiteral("fileName")});
        for (const QVariantMap &row : context->executeFetchRequestForDictionaries(request))
            names.append(row.value(QStringLiteral("fileName")).toString());
    });
    return names;
}

QList<platform::cloud::RecordID>
FileAttachments::fileAttachmentsToDownloadForCloudKitWithContext(ManagedObjectContext *context,
                                                                 const platform::cloud::RecordZoneID &zoneID)
{
    QList<platform::cloud::RecordID> missing;
    if (!context)
        return missing;
    context->performAndWait([&] {
        QDError error;
        const auto attachments = context->executeFetchRequest(fetchRequest(), &error);
        if (!error) {
            for (platform::store::ManagedObject *object : attachments) {
                auto *attachment = dynamic_cast<FileAttachments *>(object);
                if (!attachment || !attachment->fileExternalURL().isEmpty() || attachment->cloudKitID().isEmpty())
                    continue;
                const QUrl url = attachment->fullFileURL();
                if (url.isEmpty() || !QFileInfo::exists(url.toLocalFile()))
                    missing.append(platform::cloud::RecordID(attachment->cloudKitID(), zoneID));
            }
        }
        QDError imageError;
        const auto images = context->executeFetchRequest(PersonImage::fetchRequest(), &imageError);
        if (imageError)
            return;
        const QString folder = SharedSettingController::sharedSettings().localPersonImagesDirectoryURL().toLocalFile();
        for (platform::store::ManagedObject *object : images) {
            auto *image = dynamic_cast<PersonImage *>(object);
            if (!image || image->fullImageFileName().isEmpty() || image->cloudKitID().isEmpty())
                continue;
            const QString name = image->fullImageFileName();
            if (!isSafeFileName(name) || !QFileInfo::exists(QDir(folder).filePath(name)))
                missing.append(platform::cloud::RecordID(image->cloudKitID(), zoneID));
        }
    });
    return missing;
}

QString FileAttachments::referenceURLString() const
{
    return objectID().URIRepresentation().toString();
}

QString FileAttachments::titleForIndex() const
{
    const Person *contact = person();
    return QStringLiteral("[File] %1").arg(contact ? contact->displayName() : QString());
}

QString FileAttachments::contentDescriptionForIndex() const
{
    const QString renamed = fileRenamedName();
    const QString shown = renamed.isEmpty() ? fileName() : renamed;
    const QDateTime created = createdAt();
    const QString date = created.isValid() ? QLocale().toString(created.toLocalTime().date(), QLocale::ShortFormat) : QString();
    const QString path = fullFileURL().toLocalFile();
    const quint64 size = path.isEmpty() ? 0 : quint64(QFileInfo(path).size());
    return QStringLiteral("File Name: %1\nCreated Date: %2\nSize: %3").arg(shown, date, stringFromFileSize(size));
}
