#include "platform/cloud/SqlCloudService.h"

#include "platform/cloud/CloudError.h"
#include "platform/cloud/CloudSchema.h"
#include "platform/cloud/PostgresConnection.h"
#include "platform/cloud/RecordCodec.h"
#include "platform/cloud/SqliteConnection.h"

#include <QCborArray>
#include <QCborMap>
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMap>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QSet>
#include <QSaveFile>
#include <QSocketNotifier>
#include <QStandardPaths>
#include <QThread>
#include <QTimer>
#include <QUrl>
#include <QUuid>

#include <algorithm>

namespace platform::cloud {

using platform::core::QDError;
using platform::core::setError;

namespace {

constexpr qint64 MaxAssetBytes = 250LL * 1024 * 1024;
constexpr int InListSize = 64;
// Pushes are kept this long for clients that look for them.
constexpr qint64 PushLifetimeMs = 10 * 60 * 1000;

const QString RecordColumns = QStringLiteral(
    "record_name, record_type, fields, change_tag, created_ms, modified_ms, deleted, change_seq, creator, size_bytes");
enum RecordColumn { ColName, ColType, ColFields, ColTag, ColCreated, ColModified, ColDeleted, ColSeq, ColCreator, ColSize };

qint64 nowMs() { return QDateTime::currentMSecsSinceEpoch(); }

QString newIncarnation()
{
    return QString::number(QRandomGenerator::system()->generate64(), 16).rightJustified(16, QLatin1Char('0'));
}

QString changeTagFor(qint64 seq, const QString &incarnation)
{
    return QString::number(seq, 36) + QLatin1Char('-') + incarnation.left(8);
}

QByteArray encodeToken(const RecordZoneID &zone, const QString &incarnation, qint64 seq)
{
    return QCborArray{1, zone.zoneName(), zone.ownerName(), incarnation, seq}.toCborValue().toCbor();
}

struct TokenParts
{
    QString zoneName, ownerName, incarnation;
    qint64 seq = 0;
};

std::optional<TokenParts> decodeToken(const QByteArray &data)
{
    if (data.size() > 4096)
        return std::nullopt;
    QCborParserError parseError;
    const QCborValue value = QCborValue::fromCbor(data, &parseError);
    if (parseError.error != QCborError::NoError || !value.isArray())
        return std::nullopt;
    const QCborArray array = value.toArray();
    if (array.size() != 5 || array[0].toInteger() != 1 || !array[4].isInteger())
        return std::nullopt;
    return TokenParts{array[1].toString(), array[2].toString(), array[3].toString(), array[4].toInteger()};
}

QStringList fieldKeys(const QStringList &desiredKeys, bool *none)
{
    QStringList keys;
    for (const QString &key : desiredKeys) {
        if (key != RecordNameKey && key != RecordChangeTagKey)
            keys.append(key);
    }
    *none = !desiredKeys.isEmpty() && keys.isEmpty();
    return keys;
}

// Columns of one saved row, and the most rows one grouped insert holds.
constexpr int InsertColumnCount = 11;
constexpr int RowsPerInsert = 64;

// Saves rows (new, changed or revived ones alike) `rows` at a time.
QString insertRecordsStatement(int rows)
{
    QStringList groups;
    for (int i = 0; i < rows; ++i)
        groups.append(QStringLiteral("(?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, 0)"));
    return QStringLiteral("INSERT INTO cloud_records (zone_id, record_name, account, creator, record_type, fields, "
                          "change_tag, change_seq, created_ms, modified_ms, size_bytes, deleted) VALUES ") +
           groups.join(QStringLiteral(", ")) +
           QStringLiteral(" ON CONFLICT (zone_id, record_name) DO UPDATE SET record_type = excluded.record_type, "
                          "fields = excluded.fields, change_tag = excluded.change_tag, change_seq = "
                          "excluded.change_seq, created_ms = excluded.created_ms, modified_ms = excluded.modified_ms, "
                          "size_bytes = excluded.size_bytes, deleted = 0, creator = excluded.creator");
}

// The grouped inserts hold a power of two of rows each (RowsPerInsert at most), so any request needs few
// statements and few statement shapes; each text is made once.
const QString &insertRecordsStatementFor(int rows)
{
    static const QList<QString> statements = [] {
        QList<QString> texts;
        for (int rows = 1; rows <= RowsPerInsert; rows *= 2)
            texts.append(insertRecordsStatement(rows));
        return texts;
    }();
    int index = 0;
    while ((2 << index) <= rows && (2 << index) <= RowsPerInsert)
        ++index;
    return statements[index];
}

// "?, ?, ..." for IN lists of a fixed length, so each list length is prepared once.
QString placeholders(int count)
{
    QStringList marks;
    for (int i = 0; i < count; ++i)
        marks.append(QStringLiteral("?"));
    return marks.join(QStringLiteral(", "));
}

// The rows of InListSize names of one zone. PostgreSQL looks each name up in the primary key on its own:
// with the names as one IN list its planner, before the table's statistics catch up with a zone that
// grew quickly, reads the whole zone through another index instead. The parameters are the zone, then the
// names, on both.
const QString &existingRowsStatement(SqlConnection::Dialect dialect)
{
    static const QString sqlite = QStringLiteral("SELECT ") + RecordColumns +
                                  QStringLiteral(" FROM cloud_records WHERE zone_id = ? AND record_name IN (") +
                                  placeholders(InListSize) + QLatin1Char(')');
    static const QString postgres = [] {
        QStringList names;
        for (int i = 0; i < InListSize; ++i)
            names.append(QStringLiteral("($%1::text)").arg(i + 2));
        return QStringLiteral("SELECT ") + RecordColumns + QStringLiteral(" FROM (VALUES ") +
               names.join(QStringLiteral(", ")) +
               QStringLiteral(") AS wanted(name) CROSS JOIN LATERAL (SELECT ") + RecordColumns +
               QStringLiteral(" FROM cloud_records WHERE zone_id = $1 AND record_name = wanted.name OFFSET 0) AS found");
    }();
    return dialect == SqlConnection::Dialect::PostgreSQL ? postgres : sqlite;
}

} // namespace

struct SqlCloudService::ZoneRow
{
    qint64 id = 0;
    RecordZoneID zoneID;
    QString incarnation;
    qint64 nextSeq = 1;
    qint64 floorSeq = 0;
    bool userDeleted = false;
};

struct SqlCloudService::PendingAsset
{
    QString sha256;
    QByteArray content;
};

std::shared_ptr<SqlCloudService> SqlCloudService::openSqlite(const QString &path, const QString &account,
                                                             const Options &options, QDError *error)
{
    const QString name = account.isEmpty() ? QString::fromLocal8Bit(qgetenv("USER")) : account;
    std::unique_ptr<SqliteConnection> connection = SqliteConnection::open(path, name.isEmpty() ? QStringLiteral("local") : name, error);
    if (!connection || !CloudSchema::install(*connection, error))
        return nullptr;
    std::unique_ptr<SqliteConnection> pushes = SqliteConnection::open(path, connection->accountName(), error);
    if (!pushes)
        return nullptr;
    std::shared_ptr<SqlCloudService> service(new SqlCloudService);
    if (!service->initialise(std::move(connection), std::move(pushes), options, error))
        return nullptr;
    return service;
}

std::shared_ptr<SqlCloudService> SqlCloudService::openPostgres(const QString &conninfo, const Options &options,
                                                               QDError *error)
{
    std::unique_ptr<PostgresConnection> connection = PostgresConnection::open(conninfo, error);
    if (!connection)
        return nullptr;
    QList<SqlRow> rows;
    if (!connection->exec(QStringLiteral("SELECT meta_value FROM cloud_meta WHERE meta_key = 'schema'"), {}, &rows,
                          error))
        return nullptr;
    if (rows.isEmpty() || sqlInt(rows.first().value(0)) != CloudSchema::Version) {
        setError(error, CloudErrors::make(IncompatibleVersion,
                                          QStringLiteral("The cloud database server holds another schema version.")));
        return nullptr;
    }
    std::unique_ptr<PostgresConnection> pushes = PostgresConnection::open(conninfo, error);
    if (!pushes)
        return nullptr;
    std::shared_ptr<SqlCloudService> service(new SqlCloudService);
    if (!service->initialise(std::move(connection), std::move(pushes), options, error))
        return nullptr;
    return service;
}

bool SqlCloudService::initialise(std::unique_ptr<SqlConnection> connection,
                                 std::unique_ptr<SqlConnection> pushConnection, const Options &options, QDError *error)
{
    m_conn = std::move(connection);
    m_pushConn = std::move(pushConnection);
    m_dialect = m_conn->dialect();
    m_account = m_conn->accountName();
    m_clientID = QUuid::createUuid().toString(QUuid::WithoutBraces);
    m_options = options;
    if (m_options.assetCacheFolder.isEmpty())
        m_options.assetCacheFolder =
            QStandardPaths::writableLocation(QStandardPaths::CacheLocation) + QStringLiteral("/QuendelCloudAssets");
    // The account's row: its user record name is made once and is the same for every client.
    return inWrite(
        [&](QDError *e) {
            QList<SqlRow> rows;
            if (!m_conn->exec(QStringLiteral("SELECT user_record_name FROM cloud_accounts WHERE account = ?"),
                              {m_account}, &rows, e))
                return false;
            if (!rows.isEmpty())
                return true;
            if (m_dialect == SqlConnection::Dialect::PostgreSQL)
                return setError(e, CloudErrors::make(NotAuthenticated,
                                                     QStringLiteral("The account %1 is not set up on the cloud "
                                                                    "database server.")
                                                         .arg(m_account)));
            const QString name = QLatin1Char('_') + QUuid::createUuid().toString(QUuid::Id128);
            return m_conn->exec(QStringLiteral("INSERT INTO cloud_accounts (account, user_record_name) VALUES (?, ?)"),
                                {m_account, name}, e);
        },
        error);
}

SqlCloudService::~SqlCloudService() = default;

template <typename Body> bool SqlCloudService::inWrite(Body body, QDError *error)
{
    // A deadlock between two clients, or two clients making the same zone at once, is worth another try.
    for (int attempt = 0;; ++attempt) {
        QDError failure;
        if (!m_conn->beginWrite(&failure)) {
            setReachable(m_conn->isConnected());
            return setError(error, failure);
        }
        if (body(&failure) && m_conn->commit(&failure)) {
            setReachable(true);
            return true;
        }
        m_conn->rollback();
        setReachable(m_conn->isConnected());
        if (attempt < 3 && (CloudErrors::isCloudError(failure, ZoneBusy) ||
                            CloudErrors::isCloudError(failure, ConstraintViolation)))
            continue;
        return setError(error, failure);
    }
}

template <typename Body> bool SqlCloudService::inRead(Body body, QDError *error)
{
    QDError failure;
    if (!m_conn->beginRead(&failure)) {
        setReachable(m_conn->isConnected());
        return setError(error, failure);
    }
    const bool ok = body(&failure);
    if (ok)
        m_conn->commit(&failure);
    else
        m_conn->rollback();
    setReachable(m_conn->isConnected());
    if (!ok || !failure.isNull())
        return setError(error, failure);
    return true;
}

void SqlCloudService::setReachable(bool reachable)
{
    if (m_reachable.exchange(reachable) != reachable)
        QMetaObject::invokeMethod(this, [this, reachable] { emit reachabilityChanged(reachable); }, Qt::QueuedConnection);
}

bool SqlCloudService::isReachable() const
{
    return m_reachable;
}

QString SqlCloudService::rowAccount(DatabaseScope database) const
{
    return database == DatabaseScope::Public ? QString(QLatin1String("")) : m_account;
}

RecordZoneID SqlCloudService::effectiveZone(const RecordID &id) const
{
    return id.hasZone() ? id.zoneID() : RecordZoneID(DefaultZoneName);
}

AccountStatus SqlCloudService::accountStatus(QDError *error)
{
    QMutexLocker lock(&m_mutex);
    QList<SqlRow> rows;
    const bool ok = inRead(
        [&](QDError *e) {
            return m_conn->exec(QStringLiteral("SELECT 1 FROM cloud_accounts WHERE account = ?"), {m_account}, &rows, e);
        },
        error);
    if (!ok)
        return AccountStatus::CouldNotDetermine;
    return rows.isEmpty() ? AccountStatus::NoAccount : AccountStatus::Available;
}

RecordID SqlCloudService::currentUserRecordID(QDError *error)
{
    QMutexLocker lock(&m_mutex);
    QList<SqlRow> rows;
    const bool ok = inRead(
        [&](QDError *e) {
            return m_conn->exec(QStringLiteral("SELECT user_record_name FROM cloud_accounts WHERE account = ?"),
                                {m_account}, &rows, e);
        },
        error);
    if (!ok)
        return RecordID();
    if (rows.isEmpty()) {
        setError(error, CloudErrors::make(NotAuthenticated));
        return RecordID();
    }
    return RecordID(sqlText(rows.first().value(0)), RecordZoneID(DefaultZoneName));
}

std::optional<SqlCloudService::ZoneRow> SqlCloudService::findZone(DatabaseScope database, const RecordZoneID &zone,
                                                                  bool lock, QDError *error)
{
    QList<SqlRow> rows;
    if (!m_conn->exec(QStringLiteral("SELECT zone_id, incarnation, next_seq, floor_seq, user_deleted FROM cloud_zones "
                                     "WHERE account = ? AND db = ? AND zone_name = ? AND owner_name = ?") +
                          (lock ? m_conn->forUpdate() : QString()),
                      {rowAccount(database), qint64(database), zone.zoneName(), zone.ownerName()}, &rows, error))
        return std::nullopt;
    if (error)
        *error = QDError();
    if (rows.isEmpty())
        return std::nullopt;
    const SqlRow &row = rows.first();
    return ZoneRow{sqlInt(row[0]), zone, sqlText(row[1]), sqlInt(row[2]), sqlInt(row[3]), sqlInt(row[4]) != 0};
}

std::optional<SqlCloudService::ZoneRow> SqlCloudService::ensureZone(DatabaseScope database, const RecordZoneID &zone,
                                                                    QDError *error)
{
    QDError failure;
    std::optional<ZoneRow> row = findZone(database, zone, true, &failure);
    if (!failure.isNull()) {
        setError(error, failure);
        return std::nullopt;
    }
    if (row && !row->userDeleted)
        return row;
    const QString incarnation = newIncarnation();
    if (row) {
        // Saving a zone the user deleted makes it anew: tokens of the old zone no longer count.
        if (!m_conn->exec(QStringLiteral("UPDATE cloud_zones SET user_deleted = 0, incarnation = ?, floor_seq = "
                                         "next_seq - 1 WHERE zone_id = ?"),
                          {incarnation, row->id}, error))
            return std::nullopt;
    } else if (!m_conn->exec(QStringLiteral("INSERT INTO cloud_zones (account, db, zone_name, owner_name, incarnation) "
                                            "VALUES (?, ?, ?, ?, ?)"),
                             {rowAccount(database), qint64(database), zone.zoneName(), zone.ownerName(), incarnation},
                             error)) {
        return std::nullopt;
    }
    return findZone(database, zone, true, error);
}

bool SqlCloudService::addUsedBytes(qint64 delta, QDError *error)
{
    if (delta == 0)
        return true;
    return m_conn->exec(QStringLiteral("UPDATE cloud_accounts SET used_bytes = used_bytes + ? WHERE account = ?"),
                        {delta, m_account}, error);
}

bool SqlCloudService::removeZoneRecords(qint64 zoneID, DatabaseScope database, QDError *error)
{
    QList<SqlRow> rows;
    if (!m_conn->exec(QStringLiteral("SELECT COALESCE(SUM(size_bytes), 0) FROM cloud_records WHERE zone_id = ?"),
                      {zoneID}, &rows, error))
        return false;
    if (!m_conn->exec(QStringLiteral("DELETE FROM cloud_records WHERE zone_id = ?"), {zoneID}, error))
        return false;
    return database == DatabaseScope::Public || addUsedBytes(-sqlInt(rows.value(0).value(0)), error);
}

bool SqlCloudService::queuePushes(DatabaseScope database, const RecordZoneID &zone, QDError *error)
{
    if (database == DatabaseScope::Public)
        return true;
    QList<SqlRow> rows;
    if (!m_conn->exec(QStringLiteral("SELECT subscription_id, kind FROM cloud_subscriptions WHERE account = ? AND db = ? "
                                     "AND (kind = 2 OR (zone_name = ? AND owner_name = ?))"),
                      {m_account, qint64(database), zone.zoneName(), zone.ownerName()}, &rows, error))
        return false;
    if (rows.isEmpty())
        return true;
    const qint64 now = nowMs();
    for (const SqlRow &row : rows) {
        if (!m_conn->exec(QStringLiteral("INSERT INTO cloud_pushes (account, origin, db, subscription_id, kind, "
                                         "zone_name, owner_name, created_ms) VALUES (?, ?, ?, ?, ?, ?, ?, ?)"),
                          {m_account, m_clientID, qint64(database), sqlText(row[0]), sqlInt(row[1]), zone.zoneName(),
                           zone.ownerName(), now},
                          error))
            return false;
    }
    if (!m_conn->exec(QStringLiteral("DELETE FROM cloud_pushes WHERE account = ? AND created_ms < ?"),
                      {m_account, now - PushLifetimeMs}, error))
        return false;
    return m_conn->notify(PostgresConnection::channelFor(m_account), error);
}

// Zones.

ZonesResult SqlCloudService::saveZones(DatabaseScope database, const QList<RecordZoneID> &zones)
{
    QMutexLocker lock(&m_mutex);
    ZonesResult result;
    ZoneErrors failures;
    const bool ok = inWrite(
        [&](QDError *e) {
            result.zones.clear();
            failures.clear();
            for (const RecordZoneID &zone : zones) {
                if (zone.isNull()) {
                    failures.insert(zone, CloudErrors::make(InvalidArguments, QStringLiteral("A zone needs a name.")));
                    continue;
                }
                if (!ensureZone(database, zone, e))
                    return false;
                result.zones.append(RecordZone{zone});
            }
            return true;
        },
        &result.error);
    if (ok && !failures.isEmpty())
        result.error = CloudErrors::partialZones(failures);
    if (!ok)
        result.zones.clear();
    return result;
}

ZonesResult SqlCloudService::deleteZones(DatabaseScope database, const QList<RecordZoneID> &zones)
{
    QMutexLocker lock(&m_mutex);
    ZonesResult result;
    ZoneErrors failures;
    const bool ok = inWrite(
        [&](QDError *e) {
            result.deletedZoneIDs.clear();
            failures.clear();
            for (const RecordZoneID &zone : zones) {
                if (zone.zoneName() == DefaultZoneName || zone.isNull()) {
                    failures.insert(zone, CloudErrors::make(InvalidArguments,
                                                            QStringLiteral("The default zone cannot be deleted.")));
                    continue;
                }
                QDError failure;
                const std::optional<ZoneRow> row = findZone(database, zone, true, &failure);
                if (!failure.isNull())
                    return setError(e, failure);
                // Deleting a zone that is already gone succeeds, as deleting a gone record does.
                if (row) {
                    if (!removeZoneRecords(row->id, database, e) ||
                        !m_conn->exec(QStringLiteral("DELETE FROM cloud_zones WHERE zone_id = ?"), {row->id}, e) ||
                        !queuePushes(database, zone, e))
                        return false;
                }
                result.deletedZoneIDs.append(zone);
            }
            return true;
        },
        &result.error);
    if (ok && !failures.isEmpty())
        result.error = CloudErrors::partialZones(failures);
    if (!ok)
        result.deletedZoneIDs.clear();
    return result;
}

bool SqlCloudService::deleteZoneByUser(DatabaseScope database, const RecordZoneID &zone, QDError *error)
{
    QMutexLocker lock(&m_mutex);
    return inWrite(
        [&](QDError *e) {
            QDError failure;
            const std::optional<ZoneRow> row = findZone(database, zone, true, &failure);
            if (!failure.isNull())
                return setError(e, failure);
            if (!row)
                return setError(e, CloudErrors::make(ZoneNotFound));
            return removeZoneRecords(row->id, database, e) &&
                   m_conn->exec(QStringLiteral("UPDATE cloud_zones SET user_deleted = 1, incarnation = ? WHERE zone_id = ?"),
                                {newIncarnation(), row->id}, e) &&
                   queuePushes(database, zone, e);
        },
        error);
}

bool SqlCloudService::compactZoneChanges(DatabaseScope database, const RecordZoneID &zone, QDError *error)
{
    QMutexLocker lock(&m_mutex);
    return inWrite(
        [&](QDError *e) {
            QDError failure;
            const std::optional<ZoneRow> row = findZone(database, zone, true, &failure);
            if (!failure.isNull())
                return setError(e, failure);
            if (!row)
                return setError(e, CloudErrors::make(ZoneNotFound));
            return m_conn->exec(QStringLiteral("DELETE FROM cloud_records WHERE zone_id = ? AND deleted = 1"), {row->id},
                                e) &&
                   m_conn->exec(QStringLiteral("UPDATE cloud_zones SET floor_seq = next_seq - 1 WHERE zone_id = ?"),
                                {row->id}, e);
        },
        error);
}

ZonesResult SqlCloudService::fetchZones(DatabaseScope database, const QList<RecordZoneID> &zones)
{
    QMutexLocker lock(&m_mutex);
    ZonesResult result;
    ZoneErrors failures;
    inRead(
        [&](QDError *e) {
            if (zones.isEmpty()) {
                QList<SqlRow> rows;
                if (!m_conn->exec(QStringLiteral("SELECT zone_name, owner_name FROM cloud_zones WHERE account = ? AND "
                                                 "db = ? AND user_deleted = 0 ORDER BY zone_name, owner_name"),
                                  {rowAccount(database), qint64(database)}, &rows, e))
                    return false;
                bool hasDefault = false;
                for (const SqlRow &row : rows) {
                    const RecordZoneID zone(sqlText(row[0]), sqlText(row[1]));
                    hasDefault = hasDefault || zone.zoneName() == DefaultZoneName;
                    result.zones.append(RecordZone{zone});
                }
                if (!hasDefault)
                    result.zones.prepend(RecordZone{RecordZoneID(DefaultZoneName)});
                return true;
            }
            for (const RecordZoneID &zone : zones) {
                if (zone.zoneName() == DefaultZoneName) {
                    result.zones.append(RecordZone{zone});
                    continue;
                }
                QDError failure;
                const std::optional<ZoneRow> row = findZone(database, zone, false, &failure);
                if (!failure.isNull())
                    return setError(e, failure);
                if (!row)
                    failures.insert(zone, CloudErrors::make(ZoneNotFound));
                else if (row->userDeleted)
                    failures.insert(zone, CloudErrors::make(UserDeletedZone));
                else
                    result.zones.append(RecordZone{zone});
            }
            return true;
        },
        &result.error);
    if (result.error.isNull() && !failures.isEmpty())
        result.error = CloudErrors::partialZones(failures);
    return result;
}

// Assets.

QCborValue SqlCloudService::encodeAsset(const Asset &asset, QList<PendingAsset> &pending, QDError *error)
{
    const QString path = asset.localFilePath();
    QFile file(path);
    if (path.isEmpty() || !file.open(QIODevice::ReadOnly)) {
        setError(error, CloudErrors::make(AssetFileNotFound, QStringLiteral("The asset file %1 cannot be read.").arg(path)));
        return QCborValue();
    }
    const qint64 size = file.size();
    if (size > MaxAssetBytes) {
        setError(error, CloudErrors::make(LimitExceeded, QStringLiteral("The asset file %1 is too large.").arg(path)));
        return QCborValue();
    }
    const QByteArray content = file.readAll();
    if (content.size() != size) {
        setError(error, CloudErrors::make(AssetFileModified, QStringLiteral("The asset file %1 changed while it was read.")
                                                                 .arg(path)));
        return QCborValue();
    }
    const QString sha = QString::fromLatin1(QCryptographicHash::hash(content, QCryptographicHash::Sha256).toHex());
    pending.append(PendingAsset{sha, content});
    return QCborMap{{QStringLiteral("sha256"), sha}, {QStringLiteral("size"), qint64(content.size())}};
}

Asset SqlCloudService::decodeAsset(const QCborValue &stored, DatabaseScope database, QDError *error)
{
    const QCborMap map = stored.toMap();
    const QString sha = map.value(QStringLiteral("sha256")).toString();
    const qint64 size = map.value(QStringLiteral("size")).toInteger(-1);
    static const QRegularExpression hex(QStringLiteral("^[0-9a-f]{64}$"));
    if (!stored.isMap() || !hex.match(sha).hasMatch() || size < 0 || size > MaxAssetBytes) {
        setError(error, CloudErrors::make(InvalidArguments, QStringLiteral("A stored asset is damaged.")));
        return Asset();
    }
    const QString path = m_options.assetCacheFolder + QLatin1Char('/') + sha;
    const QFileInfo cached(path);
    if (cached.exists() && cached.size() == size)
        return Asset(QUrl::fromLocalFile(path));
    QList<SqlRow> rows;
    if (!m_conn->exec(QStringLiteral("SELECT content FROM cloud_assets WHERE sha256 = ? AND (account = ? OR account = ?)"),
                      {sha, m_account, rowAccount(database)}, &rows, error))
        return Asset();
    const QByteArray content = rows.isEmpty() ? QByteArray() : sqlBytes(rows.first().value(0));
    if (rows.isEmpty() || QCryptographicHash::hash(content, QCryptographicHash::Sha256).toHex() != sha.toLatin1()) {
        setError(error, CloudErrors::make(InternalError, QStringLiteral("The content of an asset is missing or damaged.")));
        return Asset();
    }
    QDir().mkpath(m_options.assetCacheFolder);
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(content) != content.size() || !file.commit()) {
        setError(error, CloudErrors::make(InternalError, QStringLiteral("The asset cannot be written to %1.").arg(path)));
        return Asset();
    }
    return Asset(QUrl::fromLocalFile(path));
}

Record SqlCloudService::recordFromRow(const SqlRow &row, const RecordZoneID &zone, DatabaseScope database,
                                      const QStringList &desiredKeys, QDError *error)
{
    Record record(sqlText(row[ColType]), RecordID(sqlText(row[ColName]), zone));
    record.setRecordChangeTag(sqlText(row[ColTag]));
    bool none = false;
    const QStringList keys = fieldKeys(desiredKeys, &none);
    if (!none) {
        const auto decoder = [this, database](const QCborValue &stored, QDError *e) {
            return decodeAsset(stored, database, e);
        };
        if (!RecordCodec::decodeFields(sqlBytes(row[ColFields]), record, decoder, keys, error))
            return Record();
    }
    record.clearChangedKeys();
    return record;
}

// Records.

ModifyRecordsResult SqlCloudService::modifyRecords(const ModifyRecordsRequest &request)
{
    if (!request.configuration.longLived)
        return runModify(request, QString());
    const QString operationID =
        request.operationID.isEmpty() ? QUuid::createUuid().toString(QUuid::WithoutBraces) : request.operationID;
    ModifyRecordsRequest kept = request;
    kept.operationID = operationID;
    QDError error;
    if (!persistOperation(operationID, LongLivedOperation::Kind::ModifyRecords, RecordCodec::encodeModifyRequest(kept),
                          &error)) {
        ModifyRecordsResult result;
        result.error = error;
        result.operationID = operationID;
        return result;
    }
    if (request.persisted)
        request.persisted(operationID);
    return runModify(kept, operationID);
}

ModifyRecordsResult SqlCloudService::runModify(const ModifyRecordsRequest &request, const QString &operationID)
{
    ModifyRecordsResult result;
    result.operationID = operationID;
    const auto finishWith = [&](const QDError &error) {
        result.savedRecords.clear();
        result.deletedRecordIDs.clear();
        result.error = error;
        if (!operationID.isEmpty()) {
            QMutexLocker lock(&m_mutex);
            storeOperationResult(operationID, RecordCodec::encodeModifyResult(result), nullptr);
        }
        return result;
    };
    const qsizetype total = request.recordsToSave.size() + request.recordIDsToDelete.size();
    if (total > m_requestLimit)
        return finishWith(CloudErrors::make(LimitExceeded,
                                            QStringLiteral("A request may hold at most %1 items.").arg(int(m_requestLimit))));
    const DatabaseScope database = request.database;

    struct Item
    {
        bool isSave = true;
        Record record;         // saves
        RecordID recordID;     // both
        RecordZoneID zone;
        QDError error;
        bool apply = false;
        bool exists = false;   // a live row is there
        SqlRow existing;
        QByteArray fields;
        qint64 oldSize = 0;
        QList<PendingAsset> assets;
        Record saved;
    };
    QList<Item> items;
    QSet<RecordID> seen;
    for (const Record &record : request.recordsToSave) {
        Item item;
        item.record = record;
        item.recordID = record.recordID();
        item.zone = effectiveZone(record.recordID());
        if (record.isNull())
            item.error = CloudErrors::make(InvalidArguments, QStringLiteral("A record needs a type and a name."));
        else if (seen.contains(RecordID(item.recordID.recordName(), item.zone)))
            item.error = CloudErrors::make(InvalidArguments, QStringLiteral("A record is named twice in one request."));
        seen.insert(RecordID(item.recordID.recordName(), item.zone));
        items.append(item);
    }
    for (const RecordID &id : request.recordIDsToDelete) {
        Item item;
        item.isSave = false;
        item.recordID = id;
        item.zone = effectiveZone(id);
        if (id.isNull())
            item.error = CloudErrors::make(InvalidArguments, QStringLiteral("A record to delete needs a name."));
        else if (seen.contains(RecordID(id.recordName(), item.zone)))
            item.error = CloudErrors::make(InvalidArguments, QStringLiteral("A record is named twice in one request."));
        seen.insert(RecordID(id.recordName(), item.zone));
        items.append(item);
    }
    if (items.isEmpty())
        return finishWith(QDError());
    QList<QDError> initialErrors;
    for (const Item &item : items)
        initialErrors.append(item.error);

    QMutexLocker lock(&m_mutex);
    const QString me = m_account;
    QDError failure;
    const bool ok = inWrite(
        [&](QDError *e) {
            // Zones in a fixed order, so two clients lock them the same way round.
            QMap<QString, QList<int>> byZone;
            // The body may run again after a deadlock: every item starts afresh.
            for (int i = 0; i < items.size(); ++i) {
                items[i].apply = false;
                items[i].exists = false;
                items[i].existing.clear();
                items[i].oldSize = 0;
                items[i].assets.clear();
                items[i].error = initialErrors[i];
                byZone[items[i].zone.toString()].append(i);
            }
            qint64 delta = 0;
            QList<std::pair<ZoneRow, QList<int>>> zonesToWrite;
            for (auto it = byZone.constBegin(); it != byZone.constEnd(); ++it) {
                const QList<int> &indexes = it.value();
                const RecordZoneID zone = items[indexes.first()].zone;
                std::optional<ZoneRow> row;
                QDError zoneError;
                if (zone.zoneName() == DefaultZoneName) {
                    row = ensureZone(database, zone, &zoneError);
                } else {
                    row = findZone(database, zone, true, &zoneError);
                }
                if (!zoneError.isNull())
                    return setError(e, zoneError);
                if (!row || row->userDeleted) {
                    for (int i : indexes) {
                        if (items[i].error.isNull())
                            items[i].error = CloudErrors::make(row ? UserDeletedZone : ZoneNotFound);
                    }
                    continue;
                }
                // The rows there now, a fixed number of names per statement.
                QHash<QString, SqlRow> existing;
                for (int start = 0; start < indexes.size(); start += InListSize) {
                    QList<SqlValue> params{row->id};
                    for (int k = 0; k < InListSize; ++k) {
                        const int i = indexes[std::min<int>(start + k, indexes.size() - 1)];
                        params.append(items[i].recordID.recordName());
                    }
                    QList<SqlRow> rows;
                    if (!m_conn->exec(existingRowsStatement(m_dialect), params, &rows, e))
                        return false;
                    for (const SqlRow &r : rows)
                        existing.insert(sqlText(r[ColName]), r);
                }
                bool anyFailed = false;
                for (int i : indexes) {
                    Item &item = items[i];
                    if (!item.error.isNull()) {
                        anyFailed = true;
                        continue;
                    }
                    const auto found = existing.constFind(item.recordID.recordName());
                    item.exists = found != existing.constEnd() && sqlInt(found.value()[ColDeleted]) == 0;
                    if (found != existing.constEnd()) {
                        item.existing = found.value();
                        item.oldSize = sqlInt(found.value()[ColSize]);
                    }
                    if (item.exists && database == DatabaseScope::Public && sqlText(item.existing[ColCreator]) != me) {
                        item.error = CloudErrors::make(PermissionFailure,
                                                       QStringLiteral("Only the account that made a public record may "
                                                                      "change it."));
                        anyFailed = true;
                        continue;
                    }
                    if (!item.isSave) {
                        item.apply = true;
                        continue;
                    }
                    if (item.exists && sqlText(item.existing[ColType]) != item.record.recordType()) {
                        item.error = CloudErrors::make(InvalidArguments,
                                                       QStringLiteral("A record cannot change its type."));
                        anyFailed = true;
                        continue;
                    }
                    if (request.savePolicy == SavePolicy::IfServerRecordUnchanged) {
                        if (item.exists && item.record.recordChangeTag() != sqlText(item.existing[ColTag])) {
                            QDError serverError;
                            const Record server = recordFromRow(item.existing, zone, database, {}, &serverError);
                            item.error = CloudErrors::serverRecordChanged(server, item.record);
                            anyFailed = true;
                            continue;
                        }
                        if (!item.exists && !item.record.recordChangeTag().isEmpty()) {
                            // The record this save was based on is gone from the server.
                            item.error = CloudErrors::make(UnknownItem);
                            anyFailed = true;
                            continue;
                        }
                    }
                    // The values to keep: the client's record, or for changed keys the server's record with the
                    // client's changes written over it.
                    Record values = item.record;
                    if (request.savePolicy == SavePolicy::ChangedKeys && item.exists) {
                        QDError serverError;
                        values = recordFromRow(item.existing, zone, database, {}, &serverError);
                        if (!serverError.isNull()) {
                            item.error = serverError;
                            anyFailed = true;
                            continue;
                        }
                        for (const QString &key : item.record.changedKeys())
                            values.setValue(key, item.record.value(key));
                        values.setParent(item.record.parent());
                    }
                    QDError encodeError;
                    const auto encoder = [this, &item](const Asset &asset, QDError *ae) {
                        return encodeAsset(asset, item.assets, ae);
                    };
                    item.fields = RecordCodec::encodeFields(values, encoder, &encodeError);
                    if (!encodeError.isNull()) {
                        item.error = encodeError;
                        anyFailed = true;
                        continue;
                    }
                    item.saved = values;
                    item.apply = true;
                }
                // A custom zone takes a request all or none.
                if (anyFailed && row->zoneID.zoneName() != DefaultZoneName) {
                    for (int i : indexes) {
                        if (items[i].error.isNull()) {
                            items[i].error = CloudErrors::make(BatchRequestFailed);
                            items[i].apply = false;
                        }
                    }
                }
                QList<int> toWrite;
                for (int i : indexes) {
                    if (!items[i].apply)
                        continue;
                    toWrite.append(i);
                    delta += items[i].isSave ? items[i].fields.size() - items[i].oldSize : -items[i].oldSize;
                }
                if (!toWrite.isEmpty())
                    zonesToWrite.append({*row, toWrite});
            }
            // New asset contents count against the quota too.
            QHash<QString, qint64> newAssets;
            for (const auto &[row, indexes] : zonesToWrite) {
                for (int i : indexes) {
                    for (const PendingAsset &asset : items[i].assets) {
                        if (newAssets.contains(asset.sha256))
                            continue;
                        QList<SqlRow> rows;
                        if (!m_conn->exec(QStringLiteral("SELECT 1 FROM cloud_assets WHERE account = ? AND sha256 = ?"),
                                          {rowAccount(database), asset.sha256}, &rows, e))
                            return false;
                        newAssets.insert(asset.sha256, rows.isEmpty() ? asset.content.size() : -1);
                    }
                }
            }
            for (qint64 size : std::as_const(newAssets))
                delta += std::max<qint64>(size, 0);
            if (delta > 0 && database != DatabaseScope::Public) {
                QList<SqlRow> rows;
                if (!m_conn->exec(QStringLiteral("SELECT quota_bytes, used_bytes FROM cloud_accounts WHERE account = ?"),
                                  {m_account}, &rows, e))
                    return false;
                if (!rows.isEmpty() && !sqlIsNull(rows.first()[0]) &&
                    sqlInt(rows.first()[1]) + delta > sqlInt(rows.first()[0]))
                    return setError(e, CloudErrors::make(QuotaExceeded));
            }
            const qint64 now = nowMs();
            // Saved rows go in groups of RowsPerInsert per statement (one round trip to the server per
            // group); what is left at the end in groups of the largest power of two that fits.
            QList<SqlValue> pendingRows;
            pendingRows.reserve(RowsPerInsert * InsertColumnCount);
            int pendingCount = 0;
            const auto flushRows = [&](bool all) {
                if (pendingCount == RowsPerInsert) {
                    if (!m_conn->exec(insertRecordsStatementFor(RowsPerInsert), pendingRows, e))
                        return false;
                    pendingRows.clear();
                    pendingCount = 0;
                }
                qsizetype from = 0;
                while (all && pendingCount > 0) {
                    int rows = 1;
                    while (rows * 2 <= pendingCount)
                        rows *= 2;
                    const qsizetype values = qsizetype(rows) * InsertColumnCount;
                    if (!m_conn->exec(insertRecordsStatementFor(rows), pendingRows.mid(from, values), e))
                        return false;
                    from += values;
                    pendingCount -= rows;
                }
                if (all)
                    pendingRows.clear();
                return true;
            };
            for (auto &[row, indexes] : zonesToWrite) {
                qint64 seq = row.nextSeq;
                for (int i : indexes) {
                    Item &item = items[i];
                    const QString tag = changeTagFor(seq, row.incarnation);
                    if (item.isSave) {
                        for (const PendingAsset &asset : std::as_const(item.assets)) {
                            if (newAssets.value(asset.sha256) < 0)
                                continue;
                            if (!m_conn->exec(QStringLiteral("INSERT INTO cloud_assets (account, sha256, content, "
                                                             "size_bytes) VALUES (?, ?, ?, ?) ON CONFLICT (account, "
                                                             "sha256) DO NOTHING"),
                                              {rowAccount(database), asset.sha256, asset.content,
                                               qint64(asset.content.size())},
                                              e))
                                return false;
                            newAssets.insert(asset.sha256, -1);
                        }
                        const bool revived = !item.existing.isEmpty();
                        const qint64 created = item.exists ? sqlInt(item.existing[ColCreated]) : now;
                        pendingRows << row.id << item.recordID.recordName() << rowAccount(database)
                                    << (revived && item.exists ? sqlText(item.existing[ColCreator]) : me)
                                    << item.record.recordType() << item.fields << tag << seq << created << now
                                    << qint64(item.fields.size());
                        ++pendingCount;
                        if (!flushRows(false))
                            return false;
                        item.saved = Record(item.record.recordType(), RecordID(item.recordID.recordName(), row.zoneID));
                        item.saved.setRecordChangeTag(tag);
                    } else if (item.exists) {
                        if (!m_conn->exec(QStringLiteral("UPDATE cloud_records SET deleted = 1, fields = NULL, "
                                                         "size_bytes = 0, change_tag = ?, change_seq = ?, modified_ms "
                                                         "= ? WHERE zone_id = ? AND record_name = ?"),
                                          {tag, seq, now, row.id, item.recordID.recordName()}, e))
                            return false;
                    } else {
                        // Already gone: nothing changes, so no change is numbered.
                        continue;
                    }
                    ++seq;
                }
                if (!flushRows(true))
                    return false;
                if (seq != row.nextSeq &&
                    (!m_conn->exec(QStringLiteral("UPDATE cloud_zones SET next_seq = ? WHERE zone_id = ?"),
                                   {seq, row.id}, e) ||
                     !queuePushes(database, row.zoneID, e)))
                    return false;
            }
            if (database != DatabaseScope::Public && !addUsedBytes(delta, e))
                return false;
            if (!operationID.isEmpty()) {
                // The result is kept in the same transaction, so a kept operation is never half done.
                ModifyRecordsResult kept;
                kept.operationID = operationID;
                RecordErrors failed;
                for (const Item &item : items) {
                    if (!item.error.isNull())
                        failed.insert(item.recordID, item.error);
                }
                if (!failed.isEmpty())
                    kept.error = CloudErrors::partial(failed);
                for (const Item &item : items) {
                    if (item.apply && item.isSave)
                        kept.savedRecords.append(item.saved);
                    else if (item.apply)
                        kept.deletedRecordIDs.append(item.recordID);
                }
                if (!storeOperationResult(operationID, RecordCodec::encodeModifyResult(kept), e))
                    return false;
            }
            return true;
        },
        &failure);
    lock.unlock();
    if (!ok)
        return finishWith(failure);
    RecordErrors failed;
    for (Item &item : items) {
        if (!item.error.isNull()) {
            failed.insert(item.recordID, item.error);
            continue;
        }
        if (!item.apply)
            continue;
        if (item.isSave) {
            // The values the server now holds: the client's, or for changed keys the merged ones.
            Record saved = request.savePolicy == SavePolicy::ChangedKeys && item.exists ? Record() : item.record;
            if (saved.isNull()) {
                QDError decodeError;
                Record merged(item.record.recordType(), item.saved.recordID());
                const auto decoder = [this, database](const QCborValue &stored, QDError *de) {
                    QMutexLocker relock(&m_mutex);
                    return decodeAsset(stored, database, de);
                };
                RecordCodec::decodeFields(item.fields, merged, decoder, {}, &decodeError);
                saved = merged;
            }
            Record out(item.record.recordType(), item.saved.recordID());
            for (const QString &key : saved.allKeys())
                out.setValue(key, saved.value(key));
            out.setParent(saved.parent());
            out.setRecordChangeTag(item.saved.recordChangeTag());
            out.clearChangedKeys();
            result.savedRecords.append(out);
        } else {
            result.deletedRecordIDs.append(item.recordID);
        }
    }
    if (!failed.isEmpty())
        result.error = CloudErrors::partial(failed);
    return result;
}

FetchRecordsResult SqlCloudService::fetchRecords(DatabaseScope database, const QList<RecordID> &recordIDs,
                                                 const QStringList &desiredKeys)
{
    QMutexLocker lock(&m_mutex);
    FetchRecordsResult result;
    RecordErrors failed;
    inRead(
        [&](QDError *e) {
            QHash<QString, std::optional<ZoneRow>> zones;
            for (const RecordID &id : recordIDs) {
                const RecordZoneID zone = effectiveZone(id);
                if (!zones.contains(zone.toString())) {
                    QDError failure;
                    zones.insert(zone.toString(), findZone(database, zone, false, &failure));
                    if (!failure.isNull())
                        return setError(e, failure);
                }
                const std::optional<ZoneRow> &row = zones.value(zone.toString());
                if (!row || row->userDeleted) {
                    failed.insert(id, CloudErrors::make(!row && zone.zoneName() != DefaultZoneName ? ZoneNotFound
                                                        : row                                     ? UserDeletedZone
                                                                                                  : UnknownItem));
                    continue;
                }
                QList<SqlRow> rows;
                if (!m_conn->exec(QStringLiteral("SELECT ") + RecordColumns +
                                      QStringLiteral(" FROM cloud_records WHERE zone_id = ? AND record_name = ? AND "
                                                     "deleted = 0"),
                                  {row->id, id.recordName()}, &rows, e))
                    return false;
                if (rows.isEmpty()) {
                    failed.insert(id, CloudErrors::make(UnknownItem));
                    continue;
                }
                QDError decodeError;
                const Record record = recordFromRow(rows.first(), zone, database, desiredKeys, &decodeError);
                if (!decodeError.isNull())
                    failed.insert(id, decodeError);
                else
                    result.records.append(record);
            }
            return true;
        },
        &result.error);
    if (result.error.isNull() && !failed.isEmpty())
        result.error = CloudErrors::partial(failed);
    return result;
}

ZoneChangesResult SqlCloudService::fetchZoneChanges(DatabaseScope database, const RecordZoneID &zoneID,
                                                    const ChangeToken &previous, const QStringList &desiredKeys,
                                                    int resultsLimit)
{
    QMutexLocker lock(&m_mutex);
    ZoneChangesResult result;
    const RecordZoneID zone = zoneID.isNull() ? RecordZoneID(DefaultZoneName) : zoneID;
    const int limit = std::max(1, resultsLimit > 0 ? resultsLimit : int(m_pageSize));
    inRead(
        [&](QDError *e) {
            QDError failure;
            const std::optional<ZoneRow> row = findZone(database, zone, false, &failure);
            if (!failure.isNull())
                return setError(e, failure);
            if (!row) {
                if (zone.zoneName() != DefaultZoneName)
                    return setError(e, CloudErrors::make(ZoneNotFound));
                // The default zone before its first save: nothing has changed yet.
                result.changeToken = ChangeToken(encodeToken(zone, QString(), 0));
                return true;
            }
            if (row->userDeleted)
                return setError(e, CloudErrors::make(UserDeletedZone));
            qint64 after = 0;
            if (!previous.isNull()) {
                const std::optional<TokenParts> token = decodeToken(previous.data());
                // A token of another zone, of an earlier zone of this name, or from before what the zone still
                // remembers of its deletions cannot be continued.
                const bool defaultBeforeSave = token && token->incarnation.isEmpty() && token->seq == 0 &&
                                               zone.zoneName() == DefaultZoneName;
                if (!token || token->zoneName != zone.zoneName() || token->ownerName != zone.ownerName() ||
                    (!defaultBeforeSave && (token->incarnation != row->incarnation || token->seq < row->floorSeq)) ||
                    token->seq >= row->nextSeq)
                    return setError(e, CloudErrors::make(ChangeTokenExpired));
                after = token->seq;
            }
            // Only what a change carries: the record's own columns first, as recordFromRow reads them.
            enum { ChangeDeleted = ColTag + 1, ChangeSeq };
            // The index on the change sequence gives the rows in order. PostgreSQL's planner, before the
            // table's statistics catch up with a zone that grew quickly, would rather sort the whole rest of
            // the zone for every page.
            if (m_dialect == SqlConnection::Dialect::PostgreSQL &&
                !m_conn->execScript(QStringLiteral("SET LOCAL enable_sort = off"), e))
                return false;
            QList<SqlRow> rows;
            if (!m_conn->exec(QStringLiteral("SELECT record_name, record_type, fields, change_tag, deleted, change_seq "
                                             "FROM cloud_records WHERE zone_id = ? AND change_seq > ? ORDER BY "
                                             "change_seq LIMIT ?"),
                              {row->id, after, qint64(limit + 1)}, &rows, e))
                return false;
            result.moreComing = rows.size() > limit;
            if (result.moreComing)
                rows.resize(limit);
            for (const SqlRow &r : rows) {
                if (sqlInt(r[ChangeDeleted]) != 0) {
                    result.deletedRecords.append(DeletedRecord{RecordID(sqlText(r[ColName]), zone), sqlText(r[ColType])});
                    continue;
                }
                QDError decodeError;
                const Record record = recordFromRow(r, zone, database, desiredKeys, &decodeError);
                if (!decodeError.isNull())
                    return setError(e, decodeError);
                result.changedRecords.append(record);
            }
            const qint64 upTo = result.moreComing ? sqlInt(rows.last()[ChangeSeq]) : row->nextSeq - 1;
            result.changeToken = ChangeToken(encodeToken(zone, row->incarnation, upTo));
            return true;
        },
        &result.error);
    if (!result.error.isNull()) {
        result.changedRecords.clear();
        result.deletedRecords.clear();
        result.changeToken = ChangeToken();
        result.moreComing = false;
    }
    return result;
}

QueryResult SqlCloudService::query(const QueryRequest &request)
{
    if (!request.configuration.longLived)
        return runQuery(request, QString());
    const QString operationID =
        request.operationID.isEmpty() ? QUuid::createUuid().toString(QUuid::WithoutBraces) : request.operationID;
    QueryRequest kept = request;
    kept.operationID = operationID;
    QDError error;
    if (!persistOperation(operationID, LongLivedOperation::Kind::Query, RecordCodec::encodeQueryRequest(kept), &error)) {
        QueryResult result;
        result.error = error;
        result.operationID = operationID;
        return result;
    }
    return runQuery(kept, operationID);
}

QueryResult SqlCloudService::runQuery(const QueryRequest &request, const QString &operationID)
{
    QMutexLocker lock(&m_mutex);
    QueryResult result;
    result.operationID = operationID;
    const RecordZoneID zone = request.zoneID.isNull() ? RecordZoneID(DefaultZoneName) : request.zoneID;
    const int limit = std::max(1, request.resultsLimit > 0 ? request.resultsLimit : int(m_pageSize));
    inRead(
        [&](QDError *e) {
            QString after;
            if (!request.cursor.isNull()) {
                QCborParserError parseError;
                const QCborArray cursor = QCborValue::fromCbor(request.cursor.data(), &parseError).toArray();
                if (parseError.error != QCborError::NoError || cursor.size() != 3 ||
                    cursor[0].toString() != zone.zoneName() || cursor[1].toString() != request.recordType)
                    return setError(e, CloudErrors::make(InvalidArguments, QStringLiteral("The query cursor is not one "
                                                                                          "of this query.")));
                after = cursor[2].toString();
            }
            QDError failure;
            const std::optional<ZoneRow> row = findZone(request.database, zone, false, &failure);
            if (!failure.isNull())
                return setError(e, failure);
            if (!row)
                return zone.zoneName() == DefaultZoneName ? true : setError(e, CloudErrors::make(ZoneNotFound));
            if (row->userDeleted)
                return setError(e, CloudErrors::make(UserDeletedZone));
            QList<SqlRow> rows;
            if (!m_conn->exec(QStringLiteral("SELECT ") + RecordColumns +
                                  QStringLiteral(" FROM cloud_records WHERE zone_id = ? AND record_type = ? AND deleted "
                                                 "= 0 AND record_name > ? ORDER BY record_name LIMIT ?"),
                              {row->id, request.recordType, after, qint64(limit + 1)}, &rows, e))
                return false;
            const bool more = rows.size() > limit;
            if (more)
                rows.resize(limit);
            for (const SqlRow &r : rows) {
                QDError decodeError;
                const Record record = recordFromRow(r, zone, request.database, request.desiredKeys, &decodeError);
                if (!decodeError.isNull())
                    return setError(e, decodeError);
                result.records.append(record);
            }
            if (more)
                result.cursor = QueryCursor(
                    QCborArray{zone.zoneName(), request.recordType, sqlText(rows.last()[ColName])}.toCborValue().toCbor());
            return true;
        },
        &result.error);
    if (!result.error.isNull()) {
        result.records.clear();
        result.cursor = QueryCursor();
    }
    if (!operationID.isEmpty())
        storeOperationResult(operationID, RecordCodec::encodeQueryResult(result), nullptr);
    return result;
}

// Subscriptions.

SubscriptionsResult SqlCloudService::fetchAllSubscriptions(DatabaseScope database)
{
    QMutexLocker lock(&m_mutex);
    SubscriptionsResult result;
    inRead(
        [&](QDError *e) {
            QList<SqlRow> rows;
            if (!m_conn->exec(QStringLiteral("SELECT subscription_id, kind, zone_name, owner_name, alert_body, "
                                             "content_available FROM cloud_subscriptions WHERE account = ? AND db = ? "
                                             "ORDER BY subscription_id"),
                              {m_account, qint64(database)}, &rows, e))
                return false;
            for (const SqlRow &row : rows) {
                Subscription subscription;
                subscription.subscriptionID = sqlText(row[0]);
                subscription.kind = Subscription::Kind(sqlInt(row[1]));
                if (subscription.kind == Subscription::Kind::RecordZone)
                    subscription.zoneID = RecordZoneID(sqlText(row[2]), sqlText(row[3]));
                subscription.alertBody = sqlText(row[4]);
                subscription.shouldSendContentAvailable = sqlInt(row[5]) != 0;
                result.subscriptions.append(subscription);
            }
            return true;
        },
        &result.error);
    return result;
}

SubscriptionsResult SqlCloudService::modifySubscriptions(DatabaseScope database, const QList<Subscription> &save,
                                                         const QStringList &deleteIDs)
{
    QMutexLocker lock(&m_mutex);
    SubscriptionsResult result;
    for (const Subscription &subscription : save) {
        if (subscription.subscriptionID.isEmpty() ||
            (subscription.kind == Subscription::Kind::RecordZone && subscription.zoneID.isNull())) {
            result.error = CloudErrors::make(InvalidArguments, QStringLiteral("A subscription needs an identifier, and "
                                                                              "a zone subscription a zone."));
            return result;
        }
    }
    const bool ok = inWrite(
        [&](QDError *e) {
            for (const Subscription &s : save) {
                if (!m_conn->exec(QStringLiteral("INSERT INTO cloud_subscriptions (account, db, subscription_id, kind, "
                                                 "zone_name, owner_name, alert_body, content_available) VALUES (?, ?, "
                                                 "?, ?, ?, ?, ?, ?) ON CONFLICT (account, db, subscription_id) DO "
                                                 "UPDATE SET kind = excluded.kind, zone_name = excluded.zone_name, "
                                                 "owner_name = excluded.owner_name, alert_body = excluded.alert_body, "
                                                 "content_available = excluded.content_available"),
                                  {m_account, qint64(database), s.subscriptionID, qint64(s.kind), s.zoneID.zoneName(),
                                   s.zoneID.ownerName(), s.alertBody.isNull() ? QStringLiteral("") : s.alertBody,
                                   qint64(s.shouldSendContentAvailable ? 1 : 0)},
                                  e))
                    return false;
            }
            for (const QString &id : deleteIDs) {
                if (!m_conn->exec(QStringLiteral("DELETE FROM cloud_subscriptions WHERE account = ? AND db = ? AND "
                                                 "subscription_id = ?"),
                                  {m_account, qint64(database), id}, e))
                    return false;
            }
            return true;
        },
        &result.error);
    if (ok) {
        result.subscriptions = save;
        result.deletedSubscriptionIDs = deleteIDs;
    }
    return result;
}

// Long-lived operations.

bool SqlCloudService::persistOperation(const QString &operationID, LongLivedOperation::Kind kind,
                                       const QByteArray &request, QDError *error)
{
    QMutexLocker lock(&m_mutex);
    return inWrite(
        [&](QDError *e) {
            QList<SqlRow> rows;
            if (!m_conn->exec(QStringLiteral("SELECT 1 FROM cloud_operations WHERE account = ? AND operation_id = ?"),
                              {m_account, operationID}, &rows, e))
                return false;
            if (!rows.isEmpty())
                return setError(e, CloudErrors::make(InvalidArguments,
                                                     QStringLiteral("An operation with this identifier is kept already.")));
            const qint64 now = nowMs();
            return m_conn->exec(QStringLiteral("INSERT INTO cloud_operations (account, operation_id, kind, state, "
                                               "request, lease_owner, lease_expiry_ms, created_ms) VALUES (?, ?, ?, 1, "
                                               "?, ?, ?, ?)"),
                                {m_account, operationID, qint64(kind), request, m_clientID,
                                 now + qint64(m_options.leaseSeconds) * 1000, now},
                                e);
        },
        error);
}

bool SqlCloudService::storeOperationResult(const QString &operationID, const QByteArray &result, QDError *error)
{
    // Called inside the operation's own transaction, or on its own when the request failed as a whole.
    return m_conn->exec(QStringLiteral("UPDATE cloud_operations SET state = 2, result = ?, lease_owner = NULL, "
                                       "lease_expiry_ms = 0 WHERE account = ? AND operation_id = ?"),
                        {result, m_account, operationID}, error);
}

std::optional<SqlRow> SqlCloudService::leaseOperation(const QString &operationID, QDError *error)
{
    QMutexLocker lock(&m_mutex);
    std::optional<SqlRow> leased;
    inWrite(
        [&](QDError *e) {
            QList<SqlRow> rows;
            if (!m_conn->exec(QStringLiteral("SELECT kind, state, request, result, lease_owner, lease_expiry_ms FROM "
                                             "cloud_operations WHERE account = ? AND operation_id = ?") +
                                  m_conn->forUpdate(),
                              {m_account, operationID}, &rows, e))
                return false;
            if (rows.isEmpty())
                return setError(e, CloudErrors::make(UnknownItem));
            const SqlRow &row = rows.first();
            const qint64 now = nowMs();
            if (sqlInt(row[1]) == 1 && sqlInt(row[5]) > now && sqlText(row[4]) != m_clientID)
                return setError(e, CloudErrors::withRetryAfter(ZoneBusy, double(sqlInt(row[5]) - now) / 1000.0,
                                                               QStringLiteral("Another client runs this operation.")));
            if (sqlInt(row[1]) != 2 &&
                !m_conn->exec(QStringLiteral("UPDATE cloud_operations SET state = 1, lease_owner = ?, lease_expiry_ms = "
                                             "? WHERE account = ? AND operation_id = ?"),
                              {m_clientID, now + qint64(m_options.leaseSeconds) * 1000, m_account, operationID}, e))
                return false;
            leased = row;
            return true;
        },
        error);
    return leased;
}

QStringList SqlCloudService::longLivedOperationIDs(QDError *error)
{
    QMutexLocker lock(&m_mutex);
    QStringList ids;
    inRead(
        [&](QDError *e) {
            QList<SqlRow> rows;
            if (!m_conn->exec(QStringLiteral("SELECT operation_id FROM cloud_operations WHERE account = ? ORDER BY "
                                             "created_ms, operation_id"),
                              {m_account}, &rows, e))
                return false;
            for (const SqlRow &row : rows)
                ids.append(sqlText(row[0]));
            return true;
        },
        error);
    return ids;
}

LongLivedOperation SqlCloudService::longLivedOperation(const QString &operationID, QDError *error)
{
    QMutexLocker lock(&m_mutex);
    LongLivedOperation operation;
    QDError failure;
    inRead(
        [&](QDError *e) {
            QList<SqlRow> rows;
            if (!m_conn->exec(QStringLiteral("SELECT kind, state, request, result, lease_expiry_ms, created_ms FROM "
                                             "cloud_operations WHERE account = ? AND operation_id = ?"),
                              {m_account, operationID}, &rows, e))
                return false;
            if (rows.isEmpty())
                return setError(e, CloudErrors::make(UnknownItem));
            const SqlRow &row = rows.first();
            operation.operationID = operationID;
            operation.kind = LongLivedOperation::Kind(sqlInt(row[0]));
            const qint64 state = sqlInt(row[1]);
            operation.state = state == 2                                ? LongLivedOperation::State::Finished
                              : state == 1 && sqlInt(row[4]) > nowMs() ? LongLivedOperation::State::Executing
                                                                       : LongLivedOperation::State::Pending;
            operation.creationDate = QDateTime::fromMSecsSinceEpoch(sqlInt(row[5]), Qt::UTC);
            if (operation.kind == LongLivedOperation::Kind::ModifyRecords) {
                const auto request = RecordCodec::decodeModifyRequest(sqlBytes(row[2]), e);
                if (!request)
                    return false;
                operation.modifyRequest = *request;
                if (operation.state == LongLivedOperation::State::Finished) {
                    const auto result = RecordCodec::decodeModifyResult(sqlBytes(row[3]), e);
                    if (!result)
                        return false;
                    operation.modifyResult = *result;
                }
            } else {
                const auto request = RecordCodec::decodeQueryRequest(sqlBytes(row[2]), e);
                if (!request)
                    return false;
                operation.queryRequest = *request;
                if (operation.state == LongLivedOperation::State::Finished) {
                    const auto result = RecordCodec::decodeQueryResult(sqlBytes(row[3]), e);
                    if (!result)
                        return false;
                    operation.queryResult = *result;
                }
            }
            return true;
        },
        &failure);
    if (!failure.isNull()) {
        setError(error, failure);
        return LongLivedOperation();
    }
    if (error)
        *error = QDError();
    return operation;
}

template <typename Result, typename Request>
Result SqlCloudService::resumeOperation(const QString &operationID, LongLivedOperation::Kind kind,
                                        const QString &wrongKindText,
                                        std::optional<Request> (*decodeRequest)(const QByteArray &, QDError *),
                                        std::optional<Result> (*decodeResult)(const QByteArray &, QDError *),
                                        Result (SqlCloudService::*run)(const Request &, const QString &))
{
    Result result;
    result.operationID = operationID;
    const std::optional<SqlRow> row = leaseOperation(operationID, &result.error);
    if (!row)
        return result;
    if (sqlInt((*row)[0]) != int(kind)) {
        result.error = CloudErrors::make(InvalidArguments, wrongKindText);
        return result;
    }
    if (sqlInt((*row)[1]) == 2) {
        const auto kept = decodeResult(sqlBytes((*row)[3]), &result.error);
        return kept ? *kept : result;
    }
    const auto request = decodeRequest(sqlBytes((*row)[2]), &result.error);
    if (!request)
        return result;
    return (this->*run)(*request, operationID);
}

ModifyRecordsResult SqlCloudService::resumeModifyRecords(const QString &operationID)
{
    return resumeOperation(operationID, LongLivedOperation::Kind::ModifyRecords,
                           QStringLiteral("The operation is not a modify operation."), &RecordCodec::decodeModifyRequest,
                           &RecordCodec::decodeModifyResult, &SqlCloudService::runModify);
}

QueryResult SqlCloudService::resumeQuery(const QString &operationID)
{
    return resumeOperation(operationID, LongLivedOperation::Kind::Query, QStringLiteral("The operation is not a query."),
                           &RecordCodec::decodeQueryRequest, &RecordCodec::decodeQueryResult, &SqlCloudService::runQuery);
}

bool SqlCloudService::removeLongLivedOperation(const QString &operationID, QDError *error)
{
    QMutexLocker lock(&m_mutex);
    return inWrite(
        [&](QDError *e) {
            return m_conn->exec(QStringLiteral("DELETE FROM cloud_operations WHERE account = ? AND operation_id = ?"),
                                {m_account, operationID}, e);
        },
        error);
}

// Account settings.

bool SqlCloudService::setQuota(std::optional<qint64> bytes, QDError *error)
{
    QMutexLocker lock(&m_mutex);
    return inWrite(
        [&](QDError *e) {
            return m_conn->exec(QStringLiteral("UPDATE cloud_accounts SET quota_bytes = ? WHERE account = ?"),
                                {bytes ? SqlValue(*bytes) : SqlValue(), m_account}, e);
        },
        error);
}

qint64 SqlCloudService::usedBytes(QDError *error)
{
    QMutexLocker lock(&m_mutex);
    qint64 used = 0;
    inRead(
        [&](QDError *e) {
            QList<SqlRow> rows;
            if (!m_conn->exec(QStringLiteral("SELECT used_bytes FROM cloud_accounts WHERE account = ?"), {m_account},
                              &rows, e))
                return false;
            used = sqlInt(rows.value(0).value(0));
            return true;
        },
        error);
    return used;
}

// Pushes.

void SqlCloudService::setPushesEnabled(bool enabled)
{
    m_pushesWanted = enabled;
    stopWatching();
    if (enabled)
        startWatching();
}

void SqlCloudService::stopWatching()
{
    // Either may be the sender of the signal being handled: they go once control is back in the loop.
    if (m_pushTimer) {
        m_pushTimer->stop();
        m_pushTimer->deleteLater();
    }
    if (m_pushNotifier) {
        m_pushNotifier->setEnabled(false);
        m_pushNotifier->deleteLater();
    }
    m_pushTimer = nullptr;
    m_pushNotifier = nullptr;
}

void SqlCloudService::startWatching()
{
    const auto retry = [this] {
        QTimer::singleShot(2000, this, [this] {
            if (m_pushesWanted && !m_pushTimer && !m_pushNotifier)
                startWatching();
        });
    };
    QList<SqlRow> rows;
    if (!m_pushConn->listen(PostgresConnection::channelFor(m_account), nullptr)) {
        retry();
        return;
    }
    // Watching again after the server was away: the pushes made meanwhile are still read.
    if (!m_watchedBefore) {
        if (!m_pushConn->exec(QStringLiteral("SELECT COALESCE(MAX(push_id), 0) FROM cloud_pushes WHERE account = ?"),
                              {m_account}, &rows, nullptr)) {
            retry();
            return;
        }
        m_lastPushID = sqlInt(rows.value(0).value(0));
        m_watchedBefore = true;
    }
    m_pushConn->takeChangeSignal();
    const int socket = m_pushConn->socketDescriptor();
    if (socket >= 0) {
        m_pushNotifier = new QSocketNotifier(socket, QSocketNotifier::Read, this);
        connect(m_pushNotifier, &QSocketNotifier::activated, this, &SqlCloudService::checkPushes);
    } else {
        m_pushTimer = new QTimer(this);
        connect(m_pushTimer, &QTimer::timeout, this, &SqlCloudService::checkPushes);
        m_pushTimer->start(m_options.pushPollMilliseconds);
    }
    readPushes();
}

void SqlCloudService::checkPushes()
{
    if (!m_pushConn->isConnected()) {
        // The server went away: stop watching a dead socket and listen again once it is back.
        stopWatching();
        QTimer::singleShot(2000, this, [this] {
            if (m_pushesWanted && !m_pushTimer && !m_pushNotifier)
                startWatching();
        });
        return;
    }
    if (m_pushConn->takeChangeSignal())
        readPushes();
}

void SqlCloudService::readPushes()
{
    QList<SqlRow> rows;
    if (!m_pushConn->exec(QStringLiteral("SELECT push_id, origin, db, subscription_id, kind, zone_name, owner_name FROM "
                                         "cloud_pushes WHERE account = ? AND push_id > ? ORDER BY push_id"),
                          {m_account, m_lastPushID}, &rows, nullptr))
        return;
    for (const SqlRow &row : rows) {
        m_lastPushID = std::max(m_lastPushID, sqlInt(row[0]));
        if (sqlText(row[1]) == m_clientID)
            continue;
        CloudNotification notification;
        notification.notificationType = sqlInt(row[4]) == int(Subscription::Kind::Database)
                                            ? CloudNotification::Type::Database
                                            : CloudNotification::Type::RecordZone;
        notification.subscriptionID = sqlText(row[3]);
        notification.database = DatabaseScope(sqlInt(row[2]));
        notification.zoneID = RecordZoneID(sqlText(row[5]), sqlText(row[6]));
        emit notificationReceived(notification);
    }
}

} // namespace platform::cloud
