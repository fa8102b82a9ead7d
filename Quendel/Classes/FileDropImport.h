#pragma once

#include "platform/core/QDError.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

class Person;
class QMimeData;
class QWidget;

namespace platform::store {
class ManagedObjectContext;
}

// Files that come from outside (a drop from the file manager, a message dragged from a mail client, a paste)
// made into attachments of one contact. Each file is saved on its own, so one bad file neither stops the
// others nor leaves half a record behind, and every file that failed is named to the user. What arrives as
// data, and every file whose name is not fit to keep, is first written into a private temporary folder under
// one cleaned name; only that folder is ever removed, never a file of the user.
class FileDropImport
{
public:
    static inline const QString UriListMimeType = QStringLiteral("text/uri-list");
    static inline const QString MessageMimeType = QStringLiteral("message/rfc822");
    static inline const QString MessageExtension = QStringLiteral("eml");
    static inline const QString DefaultFileName = QStringLiteral("File");
    static inline const QString DefaultMessageName = QStringLiteral("Message");
    // Room for the unique suffix the store adds ("-" and a UUID) within a file system's 255-byte names.
    static constexpr int MaxNameBytes = 200;
    static constexpr int MaxExtensionLength = 16;

    struct Result
    {
        int added = 0;
        QStringList failedNames; // the names the user knows the failed files by
        platform::core::QDError lastError;
        bool ok() const { return failedNames.isEmpty(); }
    };

    // One plain file name: control characters dropped, path separators replaced, "." and ".." refused, at
    // most MaxNameBytes of UTF-8 with the extension kept; `fallback` when nothing is left.
    static QString sanitizedFileName(const QString &name, const QString &fallback = DefaultFileName);
    // The local files a drop or paste offers, in order (other URLs are left out).
    static QStringList localFilePaths(const QMimeData *data);
    // Whether the data hold anything this import takes: a local file or a mail message.
    static bool canImport(const QMimeData *data);
    // "<subject>.eml" from the message's Subject header (encoded words decoded), else "Message.eml".
    static QString mailMessageFileName(const QByteArray &message);

    // Imports every local file of the data and a mail message given as data.
    static Result importMimeData(const QMimeData *data, Person *person, platform::store::ManagedObjectContext *context);
    // Imports the files at `paths`, copied; the originals are left as they are.
    static Result importPaths(const QStringList &paths, Person *person, platform::store::ManagedObjectContext *context);

    // Tells the user of every file that failed (one alert naming them all); nothing when none failed.
    static void reportFailures(const Result &result, QWidget *window);
    static QString failureMessage(const Result &result);
};
