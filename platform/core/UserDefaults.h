#pragma once

#include "platform/core/QDError.h"

#include <QDateTime>
#include <QMutex>
#include <QString>
#include <QVariant>

#include <memory>

class QSettings;

namespace platform::core {

// Per-machine settings kept in an INI file, with a registration domain of fallback values.
//
// Values keep their types across a save and a reload: strings, integers (read back as qint64), doubles,
// bools, dates (UTC, milliseconds), data, lists, dictionaries, date components and the null marker.
// Every operation may be called from any thread.
class UserDefaults
{
public:
    enum ErrorCode : qint64 {
        InvalidKeyError = 4301,
        FileWriteError = 4302,
    };

    // The process-wide instance: "Quendel/Quendel.ini" in the XDG config home, made on first use.
    static std::shared_ptr<UserDefaults> standardUserDefaults();
    // Replaces the process-wide instance (tests, a second simulated device); null makes the next
    // standardUserDefaults() call create a fresh one from the current environment.
    static void setStandardUserDefaults(std::shared_ptr<UserDefaults> defaults);
    // Where the process-wide instance keeps its file.
    static QString standardFilePath();

    // A store backed by the INI file at `filePath` (created on the first write).
    explicit UserDefaults(const QString &filePath);
    ~UserDefaults();
    UserDefaults(const UserDefaults &) = delete;
    UserDefaults &operator=(const UserDefaults &) = delete;

    QString filePath() const { return m_filePath; }

    // Merges `defaults` into the registration domain (not persisted); a key the store does not hold is
    // answered from there.
    void registerDefaults(const QVariantMap &defaults);
    QVariantMap registeredDefaults() const;

    // The stored value, else the registered one, else an invalid QVariant.
    QVariant objectForKey(const QString &key) const;
    // A string, or a number as text; null QString otherwise.
    QString stringForKey(const QString &key) const;
    // Bools and numbers (non-zero), strings "YES"/"true"/non-zero numbers; false otherwise.
    bool boolForKey(const QString &key) const;
    // Numbers, bools and numeric strings; 0 otherwise.
    qint64 integerForKey(const QString &key) const;
    double doubleForKey(const QString &key) const;
    // The date, or a null QDateTime when the value is missing or not a date.
    QDateTime dateForKey(const QString &key) const;
    // The data, or a null QByteArray when the value is missing or not data.
    QByteArray dataForKey(const QString &key) const;
    // The list, or an empty one when the value is missing or not a list.
    QVariantList arrayForKey(const QString &key) const;
    // The dictionary, or an empty one when the value is missing or not a dictionary.
    QVariantMap dictionaryForKey(const QString &key) const;

    // Stores `value` under `key` and writes the file; an invalid QVariant removes the key. Fails and changes
    // nothing for an empty key or a value the store cannot encode. When the file cannot be written it fails
    // with FileWriteError, and the value is still answered from memory for the rest of the run.
    bool setObject(const QVariant &value, const QString &key, QDError *error = nullptr);
    void setBool(bool value, const QString &key);
    void setInteger(qint64 value, const QString &key);
    void setDouble(double value, const QString &key);
    void removeObjectForKey(const QString &key);

    // Every change is written to disk at once; this also picks up changes made to the file by others.
    bool synchronize(QDError *error = nullptr);

    // Registered values overlaid with the stored ones.
    QVariantMap dictionaryRepresentation() const;

private:
    QVariant storedValueLocked(const QString &key) const;

    const QString m_filePath;
    mutable QMutex m_mutex;
    std::unique_ptr<QSettings> m_settings;
    QVariantMap m_registered;
};

} // namespace platform::core
