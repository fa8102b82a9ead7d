#pragma once

#include "platform/core/QDError.h"

#include <QString>

namespace platform::core {

// The folders the program keeps its files in, all taken from the XDG locations so that a test can move
// them into a private home. The *Folder() operations create the folder (with its parents) on demand and
// return a null QString with an error when that fails; the *Path() operations only work out the path.
class StandardPaths
{
public:
    enum ErrorCode : qint64 {
        NoLocationError = 4201,   // the environment names no such location
        CreateFolderError = 4202, // mkdir failed, or something that is not a folder stands in the way
    };

    static inline const QString DataFolderName = QStringLiteral("com.quendel.QuendelMac");
    static inline const QString UITestEnvironmentKey = QStringLiteral("isUITest");

    // The data folder: "com.quendel.QuendelMac" in the XDG data home.
    static QString dataFolderPath();
    static QString dataFolder(QDError *error = nullptr);
    // The user's Documents folder.
    static QString documentsPath();
    static QString documentsFolder(QDError *error = nullptr);
    // The XDG cache home.
    static QString cachesPath();
    static QString cachesFolder(QDError *error = nullptr);
    // The XDG config home.
    static QString configPath();
    static QString configFolder(QDError *error = nullptr);

    // Makes `path` with all missing parents; true when it already is a folder.
    static bool createFolder(const QString &path, QDError *error = nullptr);

    // Test mode: the environment holds the key "isUITest", whatever its value.
    static bool isUITest();

    // A new random UUID, upper case, without braces ("1B4E28BA-2FA1-11D2-883F-0016D3CCA427").
    static QString uuidString();
};

} // namespace platform::core
