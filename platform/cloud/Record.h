#pragma once

#include "platform/cloud/FieldValue.h"
#include "platform/cloud/RecordID.h"
#include "platform/cloud/Reference.h"

#include "platform/core/QDError.h"

#include <QByteArray>
#include <QHash>
#include <QMetaType>
#include <QSet>
#include <QString>
#include <QStringList>

#include <optional>

namespace platform::cloud {

// One record of the cloud database: its system fields (record type, identifier with zone, change tag), an
// optional parent, and named fields.
//
// A record remembers which fields were set or removed since it was made, rebuilt from archived system fields,
// or its changes were cleared: an update sends exactly those, so a removed field (set to Null) reaches the
// service as a removal, and fields never touched stay as the service has them.
class Record
{
public:
    // Codes of the errors in QuendelCloudKitErrorDomain that decoding archived system fields reports.
    enum ErrorCode : qint64 {
        SystemFieldsNotAnArchiveError = 5101, // not an archive, or a damaged one
        SystemFieldsMalformedError = 5102,    // an archive, but not of a record's system fields
    };

    Record() = default; // the null record
    Record(QString recordType, RecordID recordID);

    bool isNull() const { return m_recordType.isEmpty() || m_recordID.isNull(); }
    const QString &recordType() const { return m_recordType; }
    const RecordID &recordID() const { return m_recordID; }

    // The service's tag of the version this record was read from; empty for a record it never saw.
    const QString &recordChangeTag() const { return m_changeTag; }
    void setRecordChangeTag(const QString &tag) { m_changeTag = tag; }

    // The record this one belongs to (for sharing); none by default.
    const std::optional<Reference> &parent() const { return m_parent; }
    void setParent(const std::optional<Reference> &parent) { m_parent = parent; }

    // Fields.
    using Field = std::pair<QString, FieldValue>;
    bool hasField(const QString &key) const { return find(key) != nullptr; }
    // Null when the record has no such field.
    FieldValue value(const QString &key) const
    {
        const FieldValue *found = find(key);
        return found ? *found : FieldValue();
    }
    // Sets the field; Null removes it. Either way the key counts as changed.
    void setValue(const QString &key, const FieldValue &value);
    void removeValue(const QString &key) { setValue(key, FieldValue()); }
    // Sets the fields a record was read with (Null ones are left out): the keys do not count as changed.
    void setStoredValues(QList<Field> &&values);
    // The fields the record holds, sorted by name.
    const QList<Field> &fields() const { return m_fields; }
    // The names of the fields the record holds, sorted.
    QStringList allKeys() const;
    // The names of the fields set or removed since the record was made or its changes were cleared, sorted.
    QStringList changedKeys() const;
    void clearChangedKeys() { m_changedKeys.clear(); }

    // The system fields as an archive of our own format (platform::core::KeyedArchive): record type,
    // record name, zone name and owner, change tag. No field values, no parent. Empty for a null record.
    QByteArray encodeSystemFields() const;
    // A record rebuilt from such an archive, with no fields and no changed keys. Damaged or foreign data
    // gives a null record and the error; it never throws.
    static Record fromEncodedSystemFields(const QByteArray &data, platform::core::QDError *error = nullptr);

    // Equal type, identifier, change tag, parent and fields (changed keys are not compared).
    bool operator==(const Record &other) const;
    bool operator!=(const Record &other) const { return !(*this == other); }

    // "Type name@zone (tag) {key: value, ...}", for test output and log lines.
    QString toDebugString() const;

private:
    QString m_recordType;
    RecordID m_recordID;
    QString m_changeTag;
    const FieldValue *find(const QString &key) const;

    std::optional<Reference> m_parent;
    // Sorted by name, without Null values: records hold a few dozen fields at most, so a sorted list is
    // quicker to fill, copy and walk than a hash, and gives the names in order without sorting.
    QList<Field> m_fields;
    QStringList m_changedKeys; // sorted, each name once
};

} // namespace platform::cloud

Q_DECLARE_METATYPE(platform::cloud::Record)
