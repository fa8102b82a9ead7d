#include "QuendelKit/Entities/CloudFileWatch.h"

#include <QDir>
#include <QFileInfo>

CloudFileWatch::CloudFileWatch(const QString &folder, const QString &fileName, QObject *parent)
    : QObject(parent), m_folder(folder), m_fileName(fileName)
{
    connect(&m_watcher, &QFileSystemWatcher::directoryChanged, this, [this] {
        if (m_started)
            emit didUpdate();
    });
}

void CloudFileWatch::start()
{
    if (m_started)
        return;
    m_started = true;
    m_watcher.addPath(m_folder);
}

void CloudFileWatch::stop()
{
    if (!m_started)
        return;
    m_started = false;
    if (!m_watcher.directories().isEmpty())
        m_watcher.removePaths(m_watcher.directories());
}

int CloudFileWatch::resultCount() const
{
    return QFileInfo(QDir(m_folder).filePath(m_fileName)).isFile() ? 1 : 0;
}
