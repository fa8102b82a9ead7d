#pragma once

#include <QString>
#include <QTemporaryDir>

namespace quendel::test {

// Points HOME and the XDG folders at a fresh temporary folder, so QStandardPaths (data, caches,
// documents, config) and everything built on it never touch the real user's files.
class TempHome
{
public:
    TempHome();
    ~TempHome();
    TempHome(const TempHome &) = delete;
    TempHome &operator=(const TempHome &) = delete;

    QString path() const { return m_dir.path(); }
    QString dataHome() const;
    QString cacheHome() const;
    QString configHome() const;
    QString documents() const;

private:
    QTemporaryDir m_dir;
    QByteArray m_saved[6];
};

// The home every test process starts in (made by the test main before QApplication exists).
const TempHome &processHome();

} // namespace quendel::test
