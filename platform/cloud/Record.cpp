#include "platform/cloud/Record.h"

#include "platform/core/KeyedArchive.h"

#include <QVariantMap>

#include <algorithm>

namespace platform::cloud {

using platform::core::KeyedArchive;
using platform::core::QDError;

namespace {

// Keys of the system-fields archive. The "kind" entry tells a system-fields archive apart from any other
// archive of a dictionary, and "version" lets a later layout be told apart from this one.
const QString KindKey = QStringLiteral("kind");
const QString KindValue = QStringLiteral("QDCloudRecordSystemFields");
const QString VersionKey = QStringLiteral("version");
constexpr qint64 SystemFieldsVersion = 1;
const QString RecordTypeKey = QStringLiteral("recordType");
const QString RecordNameKey = QStringLiteral("recordName");
const QString ZoneNameKey = QStringLiteral("zoneName");
const QString OwnerNameKey = QStringLiteral("ownerName");
const QString ChangeTagKey = QStringLiteral("changeTag");

Record fail(QDError *error, qint64 code, const QString &description)
{
    platform::core::setError(error, QDError::withDescription(QuendelCloudKitErrorDomain, code, description));
    return Record();
}

// The entry as a string when it is one (or absent, when allowed); nullopt for any other kind.
std::optional<QString> stringEntry(const QVariantMap &map, const QString &key, bool required)
{
    const auto it = map.constFind(key);
    if (it == map.constEnd() || !it->isValid())
        return required ? std::nullopt : std::optional<QString>(QString());
    if (it->metaType().id() != QMetaType::QString)
        return std::nullopt;
    return it->toString();
}

} // namespace

Record::Record(QString recordType, RecordID recordID)
    : m_recordType(std::move(recordType)), m_recordID(std::move(recordID))
{}

namespace {

bool fieldBefore(const Record::Field &field, const QString &key) { return field.first < key; }

} // namespace

const FieldValue *Record::find(const QString &key) const
{
    const auto it = std::lower_bound(m_fields.cbegin(), m_fields.cend(), key, fieldBefore);
    return it != m_fields.cend() && it->first == key ? &it->second : nullptr;
}

void Record::setValue(const QString &key, const FieldValue &value)
{
    if (key.isEmpty())
        return;
    const auto it = std::lower_bound(m_fields.cbegin(), m_fields.cend(), key, fieldBefore);
    const qsizetype at = it - m_fields.cbegin();
    const bool present = it != m_fields.cend() && it->first == key;
    if (value.isNull()) {
        if (present)
            m_fields.remove(at);
    } else if (present) {
        m_fields[at].second = value;
    } else {
        m_fields.insert(at, Field(key, value));
    }
    const auto changed = std::lower_bound(m_changedKeys.cbegin(), m_changedKeys.cend(), key);
    if (changed == m_changedKeys.cend() || *changed != key)
        m_changedKeys.insert(changed - m_changedKeys.cbegin(), key);
}

void Record::setStoredValues(QList<Field> &&values)
{
    // What the codec reads is already in order: taken as it is when nothing else is held.
    bool inOrder = m_fields.isEmpty();
    const Field *previous = nullptr;
    for (const Field &field : std::as_const(values)) {
        if (!inOrder)
            break;
        inOrder = !field.first.isEmpty() && !field.second.isNull() && (!previous || previous->first < field.first);
        previous = &field;
    }
    if (inOrder) {
        m_fields = std::move(values);
        return;
    }
    for (auto &[key, value] : values) {
        if (key.isEmpty() || value.isNull())
            continue;
        const auto it = std::lower_bound(m_fields.cbegin(), m_fields.cend(), key, fieldBefore);
        const qsizetype at = it - m_fields.cbegin();
        if (it != m_fields.cend() && it->first == key)
            m_fields[at].second = std::move(value);
        else
            m_fields.insert(at, Field(std::move(key), std::move(value)));
    }
}

QStringList Record::allKeys() const
{
    QStringList keys;
    keys.reserve(m_fields.size());
    for (const Field &field : m_fields)
        keys.append(field.first);
    return keys;
}

QStringList Record::changedKeys() const
{
    return m_changedKeys;
}

QByteArray Record::encodeSystemFields() const
{
    if (isNull())
        return QByteArray();
    QVariantMap map;
    map.insert(KindKey, KindValue);
    map.insert(VersionKey, SystemFieldsVersion);
    map.insert(RecordTypeKey, m_recordType);
    map.insert(RecordNameKey, m_recordID.recordName());
    if (m_recordID.hasZone()) {
        map.insert(ZoneNameKey, m_recordID.zoneID().zoneName());
        map.insert(OwnerNameKey, m_recordID.zoneID().ownerName());
    }
    if (!m_changeTag.isEmpty())
        map.insert(ChangeTagKey, m_changeTag);
    return KeyedArchive::archive(map);
}

Record Record::fromEncodedSystemFields(const QByteArray &data, QDError *error)
{
    QDError archiveError;
    const std::optional<QVariant> root = KeyedArchive::unarchive(data, &archiveError);
    if (!root) {
        return fail(
            error, SystemFieldsNotAnArchiveError,
            QStringLiteral("The record's system fields cannot be read: %1").arg(archiveError.localizedDescription()));
    }
    // Only an archive written by encodeSystemFields is accepted; any other value tree is refused, whatever
    // it holds.
    if (root->metaType().id() != QMetaType::QVariantMap)
        return fail(error, SystemFieldsMalformedError, QStringLiteral("The archive holds no record system fields."));
    const QVariantMap map = root->toMap();
    const std::optional<QString> kind = stringEntry(map, KindKey, true);
    if (!kind || *kind != KindValue)
        return fail(error, SystemFieldsMalformedError, QStringLiteral("The archive holds no record system fields."));
    const QVariant version = map.value(VersionKey);
    if (version.metaType().id() != QMetaType::LongLong || version.toLongLong() != SystemFieldsVersion)
        return fail(error, SystemFieldsMalformedError,
                    QStringLiteral("The record's system fields have an unknown layout."));

    const std::optional<QString> type = stringEntry(map, RecordTypeKey, true);
    const std::optional<QString> name = stringEntry(map, RecordNameKey, true);
    const std::optional<QString> zone = stringEntry(map, ZoneNameKey, false);
    const std::optional<QString> owner = stringEntry(map, OwnerNameKey, false);
    const std::optional<QString> tag = stringEntry(map, ChangeTagKey, false);
    if (!type || !name || !zone || !owner || !tag || type->isEmpty() || name->isEmpty() ||
        (!zone->isEmpty() && owner->isEmpty())) {
        return fail(error, SystemFieldsMalformedError, QStringLiteral("The record's system fields are incomplete."));
    }
    Record record(*type, RecordID(*name, zone->isEmpty() ? RecordZoneID() : RecordZoneID(*zone, *owner)));
    record.setRecordChangeTag(*tag);
    if (error)
        *error = QDError();
    return record;
}

bool Record::operator==(const Record &other) const
{
    return m_recordType == other.m_recordType && m_recordID == other.m_recordID && m_changeTag == other.m_changeTag &&
           m_parent == other.m_parent && m_fields == other.m_fields;
}

QString Record::toDebugString() const
{
    QStringList fields;
    for (const auto &[key, value] : m_fields)
        fields.append(key + QStringLiteral(": ") + value.toDebugString());
    return QStringLiteral("%1 %2 (%3) {%4}")
        .arg(m_recordType, m_recordID.toString(), m_changeTag, fields.join(QStringLiteral(", ")));
}

} // namespace platform::cloud
