#include "support/TempHome.h"

#include <QDir>
#include <cstdlib>

namespace quendel::test {

namespace {
const char *const kVars[6] = {"HOME", "XDG_DATA_HOME", "XDG_CACHE_HOME", "XDG_CONFIG_HOME", "XDG_DOCUMENTS_DIR",
                              "XDG_RUNTIME_DIR"};
}

TempHome::TempHome() : m_dir(QDir::tempPath() + QStringLiteral("/quendel-test-XXXXXX"))
{
    for (int i = 0; i < 6; ++i)
        m_saved[i] = qgetenv(kVars[i]);
    QDir root(m_dir.path());
    for (const char *sub : {"data", "cache", "config", "Documents", "runtime"})
        root.mkpath(QString::fromLatin1(sub));
    QFile::setPermissions(root.filePath(QStringLiteral("runtime")),
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    qputenv("HOME", m_dir.path().toUtf8());
    qputenv("XDG_DATA_HOME", dataHome().toUtf8());
    qputenv("XDG_CACHE_HOME", cacheHome().toUtf8());
    qputenv("XDG_CONFIG_HOME", configHome().toUtf8());
    qputenv("XDG_DOCUMENTS_DIR", documents().toUtf8());
    qputenv("XDG_RUNTIME_DIR", root.filePath(QStringLiteral("runtime")).toUtf8());
}

TempHome::~TempHome()
{
    for (int i = 0; i < 6; ++i) {
        if (m_saved[i].isNull())
            qunsetenv(kVars[i]);
        else
            qputenv(kVars[i], m_saved[i]);
    }
}

QString TempHome::dataHome() const { return m_dir.path() + QStringLiteral("/data"); }
QString TempHome::cacheHome() const { return m_dir.path() + QStringLiteral("/cache"); }
QString TempHome::configHome() const { return m_dir.path() + QStringLiteral("/config"); }
QString TempHome::documents() const { return m_dir.path() + QStringLiteral("/Documents"); }

} // namespace quendel::test
