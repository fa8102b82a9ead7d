#include "Settings/DataPlistValues.h"

#include "platform/core/PropertyList.h"

using platform::core::PropertyList;
using platform::core::QDError;

QVariant DataPlistValues::value(const QString &key) const
{
    std::lock_guard lock(m_mutex);
    return m_values.value(key);
}

bool DataPlistValues::contains(const QString &key) const
{
    std::lock_guard lock(m_mutex);
    return m_values.contains(key);
}

qint64 DataPlistValues::integerValue(const QString &key) const
{
    return toInteger(value(key));
}

qint64 DataPlistValues::toInteger(const QVariant &v)
{
    if (v.typeId() == QMetaType::QString) {
        bool ok = false;
        const qint64 n = v.toString().trimmed().toLongLong(&ok);
        return ok ? n : qint64(v.toString().trimmed().toDouble());
    }
    return v.toLongLong();
}

double DataPlistValues::doubleValue(const QString &key) const
{
    return value(key).toDouble();
}

bool DataPlistValues::boolValue(const QString &key) const
{
    return toBool(value(key));
}

bool DataPlistValues::toBool(const QVariant &v)
{
    if (v.typeId() == QMetaType::QString) {
        const QString s = v.toString().trimmed();
        return s.compare(QLatin1String("YES"), Qt::CaseInsensitive) == 0 ||
               s.compare(QLatin1String("true"), Qt::CaseInsensitive) == 0 || s.toLongLong() != 0;
    }
    return v.toBool();
}

QString DataPlistValues::stringValue(const QString &key) const
{
    const QVariant v = value(key);
    return v.typeId() == QMetaType::QString ? v.toString() : QString();
}

QDateTime DataPlistValues::dateValue(const QString &key) const
{
    const QVariant v = value(key);
    return v.typeId() == QMetaType::QDateTime ? v.toDateTime() : QDateTime();
}

void DataPlistValues::setValue(const QString &key, const QVariant &value)
{
    std::lock_guard lock(m_mutex);
    if (value.isValid())
        m_values.insert(key, value);
    else
        m_values.remove(key);
}

void DataPlistValues::remove(const QString &key)
{
    std::lock_guard lock(m_mutex);
    m_values.remove(key);
}

void DataPlistValues::update(const std::function<void(QVariantMap &)> &change)
{
    std::lock_guard lock(m_mutex);
    change(m_values);
}

void DataPlistValues::replace(const QVariantMap &values)
{
    std::lock_guard lock(m_mutex);
    m_values = values;
}

QVariantMap DataPlistValues::snapshot() const
{
    std::lock_guard lock(m_mutex);
    return m_values;
}

qsizetype DataPlistValues::count() const
{
    std::lock_guard lock(m_mutex);
    return m_values.size();
}

bool DataPlistValues::writeToFile(const QString &path, QDError *error) const
{
    if (path.isEmpty()) {
        return platform::core::setError(
            error, QDError::withDescription(QuendelErrorDomain, PropertyList::FileWriteError,
                                            QStringLiteral("The settings file has no path (no data folder).")));
    }
    std::lock_guard writeLock(m_writeMutex);
    return PropertyList::writeFile(snapshot(), path, error);
}

namespace {
std::mutex g_pathMutex;
QString g_plistFilePath;
} // namespace

DataPlistValues &dataPlistValues()
{
    static DataPlistValues values;
    return values;
}

QString plistFilePath()
{
    std::lock_guard lock(g_pathMutex);
    return g_plistFilePath;
}

void setPlistFilePath(const QString &path)
{
    std::lock_guard lock(g_pathMutex);
    g_plistFilePath = path;
}

std::atomic<bool> globalDontFetchFromDropBox{false};

QHash<QString, QImage> &imageCacheApp()
{
    static QHash<QString, QImage> cache;
    return cache;
}

QSet<QString> &dedupeMatchingIDs()
{
    static QSet<QString> ids;
    return ids;
}
