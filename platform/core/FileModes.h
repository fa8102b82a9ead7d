#pragma once

#include "platform/core/QDError.h"

#include <QString>

namespace platform::core {

// The user's journal, settings and secrets are readable by the user alone: folders 0700, files 0600.
class FileModes
{
public:
    enum ErrorCode : qint64 {
        ChangeModeError = 4401, // a mode could not be changed (the first such path is named)
    };

    static constexpr unsigned PrivateFolderMode = 0700;
    static constexpr unsigned PrivateFileMode = 0600;

    // Makes the folder and everything below it private. Symbolic links are neither changed nor followed, so
    // a link inside cannot lead the change outside the folder. A missing folder is fine. Goes on past a
    // failure and reports the first one.
    static bool makeTreePrivate(const QString &folder, QDError *error = nullptr);
    // Makes one file private; a missing file is fine.
    static bool makeFilePrivate(const QString &path, QDError *error = nullptr);
    // From now on this process creates its files and folders private (the process's file-creation mask).
    static void createPrivateFiles();
    // The permission bits of the path itself (not following a link); -1 when it is not there.
    static int mode(const QString &path);
};

} // namespace platform::core
