#pragma once

#include "platform/core/QDError.h"

#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

class CoreDataControllerShared;

enum RestoreType : int {
    RestoreTypeDropbox = 0, // the store only
    RestoreTypeFile = 1,    // the store, the attachment files and the contact pictures
};

enum RestoreResult : int {
    RestoreResultSuccess = 0,
    RestoreResultFailed = 1,
    RestoreResultWrongPassword = 2,
    RestoreResultNoDatabase = 3,
    RestoreResultCloudStore = 5,
};

// Replaces the store (and, for a file restore, the attachments and contact pictures) with those of a backup
// archive. The current data is never given up before the archive has been unpacked and its store opened and
// checked; the files of the archive are staged beside their folders, and the swap itself is a few renames
// recorded in a journal first, so a process stopped at any moment leaves either the old data or the restored
// data, whole (the next start finishes a swap the journal records).
class DBFileRestore
{
public:
    static inline const QString ExtractFolderName = QStringLiteral("extract");
    static inline const QString TemporaryStoreName = QStringLiteral("Quendel.sqlite.tmp");
    static inline const QString PreviousStoreName = QStringLiteral("Quendel.sqlite.backup");
    static inline const QString JournalName = QStringLiteral("RestoreJournal.plist");
    // Suffixes of the staged and of the replaced folders.
    static inline const QString StagedSuffix = QStringLiteral(".restore");
    static inline const QString ReplacedSuffix = QStringLiteral(".previous");
    static inline const QString RestoredKey = QStringLiteral("restored_db_on_previous");
    static inline const QString PinColorChangesKey = QStringLiteral("kCoreDataUpdatePinColorChanges_3.9");

    DBFileRestore();
    ~DBFileRestore();

    // The whole restore, on the main thread: a RestoreResult.
    int restore_db_file(const QString &path, int type, platform::core::QDError *error = nullptr);
    // The encrypted test: any member is encrypted (false also when the file is no archive).
    static bool doesFileHavePassword(const QString &path);
    // Moves contact pictures that arrived among the attachments into the pictures folder.
    void movePersonImagesIntoDirectory();

    QString pword() const { return m_pword; }
    void setPword(const QString &password) { m_pword = password; }

    // The controller whose store is replaced; the application's by default.
    void setStoreController(std::shared_ptr<CoreDataControllerShared> controller) { m_controller = std::move(controller); }

    // The folders a restore works in.
    struct Folders
    {
        QString data;
        QString attachments;
        QString pictures;
        static Folders current();
    };
    // Finishes a swap that a stopped process left recorded in its journal, and clears what an unfinished
    // restore left behind. Runs before the store is opened. False when the journal could not be carried out
    // (the files stay as they are for the next try).
    static bool recoverInterruptedRestore(const Folders &folders = Folders::current());

    // Test hook: called with the name of each step as the restore passes it.
    static void setStepHook(std::function<void(const QString &)> hook);

private:
    int doRestore(const Folders &folders, bool cloudStore, const QStringList &pictureNames);
    int failed(const QString &why, const platform::core::QDError &error = {});

    QString m_pword;
    int m_restoreType = RestoreTypeFile;
    std::shared_ptr<CoreDataControllerShared> m_controller;
    platform::core::QDError m_error;
};
