#pragma once

#include <QHashFunctions>
#include <QMetaType>
#include <QString>

namespace platform::cloud {

// Names one record zone of a database: the zone's name and the user who owns it. A default-constructed
// identifier names no zone (isNull); a record identifier without a zone carries its record name only.
class RecordZoneID
{
public:
    // The owner name that stands for the user of this database.
    static inline const QString CurrentUserOwnerName = QStringLiteral("__currentUser__");

    RecordZoneID() = default;
    explicit RecordZoneID(QString zoneName, QString ownerName = CurrentUserOwnerName)
        : m_zoneName(std::move(zoneName)), m_ownerName(std::move(ownerName))
    {}

    bool isNull() const { return m_zoneName.isEmpty(); }
    const QString &zoneName() const { return m_zoneName; }
    const QString &ownerName() const { return m_ownerName; }

    bool operator==(const RecordZoneID &other) const
    {
        // Two "no zone" values are equal whatever owner text they were given.
        if (isNull() || other.isNull())
            return isNull() == other.isNull();
        return m_zoneName == other.m_zoneName && m_ownerName == other.m_ownerName;
    }
    bool operator!=(const RecordZoneID &other) const { return !(*this == other); }

    // "zone:owner", or "" without a zone; for log lines and test output.
    QString toString() const { return isNull() ? QString() : m_zoneName + QLatin1Char(':') + m_ownerName; }

private:
    QString m_zoneName;
    QString m_ownerName;
};

inline size_t qHash(const RecordZoneID &zone, size_t seed = 0)
{
    return zone.isNull() ? ::qHash(QString(), seed) : qHashMulti(seed, zone.zoneName(), zone.ownerName());
}

} // namespace platform::cloud

Q_DECLARE_METATYPE(platform::cloud::RecordZoneID)
