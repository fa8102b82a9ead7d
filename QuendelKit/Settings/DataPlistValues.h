#pragma once

#include "platform/core/QDError.h"

#include <QDateTime>
#include <QImage>
#include <QSet>
#include <QString>
#include <QVariantMap>

#include <atomic>
#include <functional>
#include <mutex>

// The program's own settings dictionary ("data.plist") in memory. Any thread may read or change it:
// every operation takes the dictionary's lock, so a reader never meets a half-changed dictionary, and
// writeToFile() writes one consistent snapshot.
class DataPlistValues
{
public:
    QVariant value(const QString &key) const;
    bool contains(const QString &key) const;
    // The usual conversions: a missing or unconvertible value reads as 0, false or a null text/date.
    qint64 integerValue(const QString &key) const;
    double doubleValue(const QString &key) const;
    bool boolValue(const QString &key) const;
    QString stringValue(const QString &key) const;
    QDateTime dateValue(const QString &key) const;

    // An invalid QVariant removes the key.
    void setValue(const QString &key, const QVariant &value);
    void remove(const QString &key);
    // Several reads and writes that must not be interleaved with anyone else's.
    void update(const std::function<void(QVariantMap &)> &change);
    void replace(const QVariantMap &values);
    QVariantMap snapshot() const;
    qsizetype count() const;

    // Writes the whole dictionary as an XML property list, atomically. Writers are serialised, and each
    // takes its snapshot only once it may write, so a later change never loses to an earlier one on disk.
    bool writeToFile(const QString &path, platform::core::QDError *error = nullptr) const;

    // The conversions readers use on a stored value: numbers, bools and numeric or "YES"/"true" texts.
    static qint64 toInteger(const QVariant &value);
    static bool toBool(const QVariant &value);

private:
    mutable std::mutex m_mutex;
    mutable std::mutex m_writeMutex;
    QVariantMap m_values;
};

// Exported state of the kit (the data plist and the caches shared with the application).
DataPlistValues &dataPlistValues();
// Full path of "data.plist"; null until the settings object was created.
QString plistFilePath();
void setPlistFilePath(const QString &path);

// Set by the application while a contact import or an address-book sync runs; the kit never reads it.
extern std::atomic<bool> globalDontFetchFromDropBox;
// Contact pictures by object-ID URI text; guarded by the settings object's imageCacheQueue.
QHash<QString, QImage> &imageCacheApp();
// Contact identifiers already matched during one import.
QSet<QString> &dedupeMatchingIDs();
