#pragma once

#include "platform/cloud/RecordZoneID.h"

#include <QHashFunctions>
#include <QMetaType>
#include <QString>

namespace platform::cloud {

// Names one record: its record name, unique within its zone, and the zone. The zone may be left out (a
// reference between records of one zone names its target by record name alone).
class RecordID
{
public:
    RecordID() = default;
    explicit RecordID(QString recordName, RecordZoneID zoneID = {})
        : m_recordName(std::move(recordName)), m_zoneID(std::move(zoneID))
    {}

    bool isNull() const { return m_recordName.isEmpty(); }
    const QString &recordName() const { return m_recordName; }
    const RecordZoneID &zoneID() const { return m_zoneID; }
    bool hasZone() const { return !m_zoneID.isNull(); }

    bool operator==(const RecordID &other) const
    {
        return m_recordName == other.m_recordName && m_zoneID == other.m_zoneID;
    }
    bool operator!=(const RecordID &other) const { return !(*this == other); }

    // "name" or "name@zone:owner"; for log lines and test output.
    QString toString() const
    {
        return hasZone() ? m_recordName + QLatin1Char('@') + m_zoneID.toString() : m_recordName;
    }

private:
    QString m_recordName;
    RecordZoneID m_zoneID;
};

inline size_t qHash(const RecordID &id, size_t seed = 0)
{
    return qHashMulti(seed, id.recordName(), id.zoneID());
}

} // namespace platform::cloud

Q_DECLARE_METATYPE(platform::cloud::RecordID)
