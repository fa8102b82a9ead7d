#pragma once

#include <QFileSystemWatcher>
#include <QObject>
#include <QString>

// Watches the older cloud store's container for one file to arrive: the file-sync tool that keeps the container
// in step writes it there. A file counts as downloaded once it exists; a name is matched exactly.
class CloudFileWatch : public QObject
{
    Q_OBJECT
public:
    CloudFileWatch(const QString &folder, const QString &fileName, QObject *parent = nullptr);

    void start();
    void stop();
    bool isStarted() const { return m_started; }

    // One result while the file is there, none before.
    int resultCount() const;
    // 100 once the file is there.
    double percentDownloaded() const { return resultCount() ? 100.0 : 0.0; }
    bool isCurrent() const { return resultCount() > 0; }

    const QString &fileName() const { return m_fileName; }

signals:
    void didUpdate();

private:
    QString m_folder;
    QString m_fileName;
    QFileSystemWatcher m_watcher;
    bool m_started = false;
};
