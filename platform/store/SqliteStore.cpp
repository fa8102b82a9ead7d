#include "platform/store/SqliteStore.h"

#include "platform/core/KeyedArchive.h"
#include "platform/store/ManagedObject.h"
#include "platform/store/Schema.h"
#include "platform/store/Collations.h"
#include "platform/store/PredicateSql.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QSet>
#include <QTimeZone>
#include <QUuid>

#include <sqlite3.h>

#include <cmath>

namespace platform::store {

using platform::core::QDError;
using platform::core::setError;
namespace sc = schema;

namespace {

thread_local const SqliteStore *t_writingStore = nullptr;

QString q(const QString &identifier) { return sc::quoteIdentifier(identifier); }

const char *sqlType(AttributeType type)
{
    switch (type) {
    case AttributeType::String:
    case AttributeType::Decimal:
        return "TEXT";
    case AttributeType::Integer16:
    case AttributeType::Integer32:
    case AttributeType::Integer64:
    case AttributeType::Boolean:
        return "INTEGER";
    case AttributeType::Double:
    case AttributeType::Date:
        return "REAL";
    case AttributeType::Binary:
    case AttributeType::Transformable:
        return "BLOB";
    }
    return "BLOB";
}

sqlite3_stmt *prepare(sqlite3 *db, const QString &sql)
{
    sqlite3_stmt *statement = nullptr;
    const QByteArray utf8 = sql.toUtf8();
    if (sqlite3_prepare_v3(db, utf8.constData(), int(utf8.size()), SQLITE_PREPARE_PERSISTENT, &statement, nullptr)
        != SQLITE_OK) {
        qWarning("store: cannot prepare %s: %s", utf8.constData(), sqlite3_errmsg(db));
        return nullptr;
    }
    return statement;
}

QString metadataTable() { return q(QLatin1String(sc::kMetadataTable)); }

// Holds a statement for one use and resets it when done. Every use binds every parameter, and text bound in
// place is never read after the reset, so bindings need no clearing.
struct StatementUse
{
    sqlite3_stmt *statement;
    explicit StatementUse(sqlite3_stmt *s) : statement(s) {}
    ~StatementUse()
    {
        if (statement)
            sqlite3_reset(statement);
    }
};

} // namespace

// ---------------------------------------------------------------------------------------------------------
// Connection

Connection::~Connection()
{
    clearStatements();
    if (db)
        sqlite3_close_v2(db);
}

void Connection::clearStatements()
{
    for (auto &kinds : m_entity)
        for (sqlite3_stmt *s : kinds)
            sqlite3_finalize(s);
    for (auto &rels : m_relationship)
        for (auto &kinds : rels)
            for (sqlite3_stmt *s : kinds)
                sqlite3_finalize(s);
    for (sqlite3_stmt *s : std::as_const(m_byText))
        sqlite3_finalize(s);
    m_entity.clear();
    m_relationship.clear();
    m_byText.clear();
}

sqlite3_stmt *Connection::statement(const QString &sql)
{
    auto it = m_byText.constFind(sql);
    if (it != m_byText.constEnd())
        return it.value();
    if (m_byText.size() > 256) {
        for (sqlite3_stmt *s : std::as_const(m_byText))
            sqlite3_finalize(s);
        m_byText.clear();
    }
    sqlite3_stmt *s = prepare(db, sql);
    if (s)
        m_byText.insert(sql, s);
    return s;
}

sqlite3_stmt *Connection::entityStatement(const EntityLayout &layout, Kind kind)
{
    const size_t e = size_t(layout.entity->index());
    if (m_entity.size() <= e)
        m_entity.resize(e + 1, std::array<sqlite3_stmt *, KindCount>{});
    sqlite3_stmt *&slot = m_entity[e][kind];
    if (slot)
        return slot;
    QStringList columns;
    for (int a : layout.storedAttributes)
        columns << q(sc::columnName(layout.entity->attributes()[size_t(a)]));
    for (int r : layout.toOneRelationships)
        columns << q(sc::foreignKeyColumnName(layout.entity->relationships()[size_t(r)]));
    QString sql;
    switch (kind) {
    case Insert:
    case InsertMany: {
        const QStringList marks(columns.size() + 1, QStringLiteral("?"));
        const QString row = QLatin1Char('(') + marks.join(u", ") + QLatin1Char(')');
        const QStringList rows(kind == InsertMany ? kRowsPerInsert : 1, row);
        sql = QStringLiteral("INSERT INTO %1 (pk%2%3) VALUES %4")
                  .arg(layout.table, columns.isEmpty() ? QString() : QStringLiteral(", "), columns.join(u", "),
                       rows.join(u", "));
        break;
    }
    case Update: {
        QStringList sets;
        for (const QString &c : columns)
            sets << c + QStringLiteral(" = ?");
        if (sets.isEmpty())
            sets << QStringLiteral("pk = pk");
        sql = QStringLiteral("UPDATE %1 SET %2 WHERE pk = ?").arg(layout.table, sets.join(u", "));
        break;
    }
    case Delete:
        sql = QStringLiteral("DELETE FROM %1 WHERE pk = ?").arg(layout.table);
        break;
    case SelectByPk:
        sql = QStringLiteral("SELECT %1 FROM %2 AS t0 WHERE t0.pk = ?").arg(layout.selectColumns, layout.table);
        break;
    case MaxPk:
        sql = QStringLiteral("SELECT max(pk) FROM %1").arg(layout.table);
        break;
    case KindCount:
        break;
    }
    slot = prepare(db, sql);
    return slot;
}

sqlite3_stmt *Connection::relationshipStatement(const EntityLayout &layout, int relationshipIndex, RelationshipKind kind)
{
    const size_t e = size_t(layout.entity->index());
    if (m_relationship.size() <= e)
        m_relationship.resize(e + 1);
    auto &rels = m_relationship[e];
    if (rels.size() < layout.relationships.size())
        rels.resize(layout.relationships.size(), std::array<sqlite3_stmt *, RelationshipKindCount>{});
    sqlite3_stmt *&slot = rels[size_t(relationshipIndex)][kind];
    if (slot)
        return slot;
    const EntityLayout::Relationship &r = layout.relationships[size_t(relationshipIndex)];
    QString sql;
    switch (kind) {
    case ToManyIDs:
        if (r.joinTable)
            sql = QStringLiteral("SELECT %1 FROM %2 WHERE %3 = ?")
                      .arg(r.joinDestinationColumn, r.joinTableName, r.joinSourceColumn);
        else
            sql = QStringLiteral("SELECT pk FROM %1 WHERE %2 = ? ORDER BY pk")
                      .arg(q(sc::tableName(*r.destination)), r.inverseColumn);
        break;
    case JoinInsert:
        sql = QStringLiteral("INSERT OR IGNORE INTO %1 (%2, %3) VALUES (?, ?)")
                  .arg(r.joinTableName, r.joinSourceColumn, r.joinDestinationColumn);
        break;
    case JoinDelete:
        sql = QStringLiteral("DELETE FROM %1 WHERE %2 = ? AND %3 = ?")
                  .arg(r.joinTableName, r.joinSourceColumn, r.joinDestinationColumn);
        break;
    case JoinDeleteAll:
        sql = QStringLiteral("DELETE FROM %1 WHERE %2 = ?").arg(r.joinTableName, r.joinSourceColumn);
        break;
    case JoinDeleteAllInverse:
        sql = QStringLiteral("DELETE FROM %1 WHERE %2 = ?").arg(r.joinTableName, r.joinDestinationColumn);
        break;
    case ToManyRows:
    case RelationshipKindCount:
        break;
    }
    if (sql.isEmpty())
        return nullptr;
    slot = prepare(db, sql);
    return slot;
}

// ---------------------------------------------------------------------------------------------------------
// Values

QVariant SqliteStore::decodeColumn(sqlite3_stmt *s, int column, const AttributeDescription &attribute)
{
    const int type = sqlite3_column_type(s, column);
    if (type == SQLITE_NULL)
        return {};
    switch (attribute.type) {
    case AttributeType::String:
    case AttributeType::Decimal: {
        // Read as stored (UTF-8): asking SQLite for UTF-16 would convert into a buffer of its own first.
        const auto *text = reinterpret_cast<const char *>(sqlite3_column_text(s, column));
        if (!text)
            return {};
        return QString::fromUtf8(text, sqlite3_column_bytes(s, column));
    }
    case AttributeType::Integer16:
    case AttributeType::Integer32:
    case AttributeType::Integer64:
        return QVariant(qint64(sqlite3_column_int64(s, column)));
    case AttributeType::Boolean:
        return QVariant(sqlite3_column_int64(s, column) != 0);
    case AttributeType::Double:
        return QVariant(sqlite3_column_double(s, column));
    case AttributeType::Date: {
        const double seconds = sqlite3_column_double(s, column);
        return QDateTime::fromMSecsSinceEpoch(qint64(std::llround(seconds * 1000.0)), Qt::UTC);
    }
    case AttributeType::Binary: {
        const void *blob = sqlite3_column_blob(s, column);
        return QByteArray(static_cast<const char *>(blob), sqlite3_column_bytes(s, column));
    }
    case AttributeType::Transformable: {
        const void *blob = sqlite3_column_blob(s, column);
        const QByteArray data(static_cast<const char *>(blob), sqlite3_column_bytes(s, column));
        if (auto transformer = ValueTransformer::valueTransformer(attribute.valueTransformerName))
            return transformer->reverseTransformedValue(data);
        qWarning("store: no value transformer named %s", qPrintable(attribute.valueTransformerName));
        return {};
    }
    }
    return {};
}

void SqliteStore::bindPlain(sqlite3_stmt *s, int index, const QVariant &value)
{
    if (!value.isValid() || value.isNull()) {
        sqlite3_bind_null(s, index);
        return;
    }
    switch (value.metaType().id()) {
    case QMetaType::QString: {
        const QString &text = *static_cast<const QString *>(value.constData());
        sqlite3_bind_text16(s, index, text.utf16(), int(text.size() * 2), SQLITE_TRANSIENT);
        return;
    }
    case QMetaType::Bool:
        sqlite3_bind_int64(s, index, value.toBool() ? 1 : 0);
        return;
    case QMetaType::Int:
    case QMetaType::LongLong:
    case QMetaType::UInt:
    case QMetaType::ULongLong:
    case QMetaType::Short:
    case QMetaType::UShort:
    case QMetaType::Long:
    case QMetaType::ULong:
        sqlite3_bind_int64(s, index, value.toLongLong());
        return;
    case QMetaType::Double:
    case QMetaType::Float:
        sqlite3_bind_double(s, index, value.toDouble());
        return;
    case QMetaType::QDateTime:
        sqlite3_bind_double(s, index, double(value.toDateTime().toMSecsSinceEpoch()) / 1000.0);
        return;
    case QMetaType::QByteArray: {
        const QByteArray data = value.toByteArray();
        sqlite3_bind_blob(s, index, data.constData(), int(data.size()), SQLITE_TRANSIENT);
        return;
    }
    default: {
        const QString text = value.toString();
        sqlite3_bind_text16(s, index, text.utf16(), int(text.size() * 2), SQLITE_TRANSIENT);
        return;
    }
    }
}

bool SqliteStore::bindValue(sqlite3_stmt *s, int index, const QVariant &value, const AttributeDescription &attribute,
                            QDError *error)
{
    if (!value.isValid() || value.isNull()) {
        sqlite3_bind_null(s, index);
        return true;
    }
    switch (attribute.type) {
    case AttributeType::String:
    case AttributeType::Decimal:
        if (value.metaType().id() == QMetaType::QString) {
            // The object's value vector outlives the statement's use, so SQLite may read it in place.
            const QString &text = *static_cast<const QString *>(value.constData());
            sqlite3_bind_text16(s, index, text.utf16(), int(text.size() * 2), SQLITE_STATIC);
        } else {
            const QString text = value.toString();
            sqlite3_bind_text16(s, index, text.utf16(), int(text.size() * 2), SQLITE_TRANSIENT);
        }
        return true;
    case AttributeType::Integer16:
    case AttributeType::Integer32:
    case AttributeType::Integer64:
    case AttributeType::Boolean:
        sqlite3_bind_int64(s, index, value.toLongLong());
        return true;
    case AttributeType::Double:
        sqlite3_bind_double(s, index, value.toDouble());
        return true;
    case AttributeType::Date:
        sqlite3_bind_double(s, index, double(value.toDateTime().toMSecsSinceEpoch()) / 1000.0);
        return true;
    case AttributeType::Binary:
        if (value.metaType().id() == QMetaType::QByteArray) {
            const QByteArray &data = *static_cast<const QByteArray *>(value.constData());
            sqlite3_bind_blob(s, index, data.constData(), int(data.size()), SQLITE_STATIC);
        } else {
            const QByteArray data = value.toByteArray();
            sqlite3_bind_blob(s, index, data.constData(), int(data.size()), SQLITE_TRANSIENT);
        }
        return true;
    case AttributeType::Transformable: {
        auto transformer = ValueTransformer::valueTransformer(attribute.valueTransformerName);
        if (!transformer)
            return setError(error, QDError::withDescription(StoreErrorDomain, StoreErrorValidation,
                                                            QStringLiteral("No value transformer named %1 for %2")
                                                                .arg(attribute.valueTransformerName, attribute.name)));
        QDError why;
        const std::optional<QByteArray> data = transformer->checkedTransformedValue(value, &why);
        if (!data) {
            QDError failure = QDError::withDescription(
                StoreErrorDomain, StoreErrorValidation,
                QStringLiteral("The value of %1 cannot be stored: %2").arg(attribute.name, why.localizedDescription()));
            if (!why.isNull())
                failure.setUserInfoValue(QDError::UnderlyingErrorKey, QVariant::fromValue(why));
            return setError(error, failure);
        }
        sqlite3_bind_blob(s, index, data->constData(), int(data->size()), SQLITE_TRANSIENT);
        return true;
    }
    }
    return true;
}

QDError SqliteStore::sqlError(sqlite3 *db, const QString &what, qint64 code)
{
    const QString message = db ? QString::fromUtf8(sqlite3_errmsg(db)) : QStringLiteral("no database");
    QDError error = QDError::withDescription(StoreErrorDomain, code, what + QStringLiteral(": ") + message);
    if (db)
        error.setUserInfoValue(QStringLiteral("SQLiteErrorCode"), sqlite3_extended_errcode(db));
    return error;
}

// ---------------------------------------------------------------------------------------------------------
// Opening and schema

SqliteStore::SqliteStore(const ManagedObjectModel &model) : m_model(model) { buildLayouts(); }

SqliteStore::~SqliteStore() { close(); }

void SqliteStore::buildLayouts()
{
    m_layouts.clear();
    m_layouts.resize(m_model.entities().size());
    for (const auto &entityPtr : m_model.entities()) {
        const EntityDescription &entity = *entityPtr;
        EntityLayout &layout = m_layouts[size_t(entity.index())];
        layout.entity = &entity;
        layout.table = q(sc::tableName(entity));
        QStringList select{QStringLiteral("t0.pk")};
        for (const auto &attribute : entity.attributes()) {
            if (attribute.transient)
                continue;
            layout.hasRequired = layout.hasRequired || !attribute.optional;
            layout.storedAttributes.push_back(attribute.index);
            select << QStringLiteral("t0.") + q(sc::columnName(attribute));
        }
        layout.relationships.resize(entity.relationships().size());
        for (const auto &relationship : entity.relationships()) {
            EntityLayout::Relationship &r = layout.relationships[size_t(relationship.index)];
            r.description = &relationship;
            layout.hasRequired = layout.hasRequired || (!relationship.optional && !relationship.toMany);
            layout.hasDeny = layout.hasDeny || relationship.deleteRule == DeleteRule::Deny;
            r.destination = entity.destinationEntity(relationship);
            const RelationshipDescription *inverse = entity.inverseRelationship(relationship);
            r.inverseIndex = inverse ? inverse->index : -1;
            if (!relationship.toMany) {
                r.toOneColumn = true;
                layout.toOneRelationships.push_back(relationship.index);
                select << QStringLiteral("t0.") + q(sc::foreignKeyColumnName(relationship));
            } else if (sc::usesJoinTable(relationship, inverse)) {
                r.joinTable = true;
                r.joinTableName = q(sc::joinTableName(relationship, entity));
                r.joinSourceColumn = q(sc::joinSourceColumn(relationship, entity));
                r.joinDestinationColumn = q(sc::joinDestinationColumn(relationship, entity));
            } else {
                r.inverseColumn = q(sc::foreignKeyColumnName(*inverse));
            }
        }
        layout.selectColumns = select.join(u", ");
    }
}

bool SqliteStore::exec(sqlite3 *db, const QString &sql, QDError *error)
{
    char *message = nullptr;
    if (sqlite3_exec(db, sql.toUtf8().constData(), nullptr, nullptr, &message) != SQLITE_OK) {
        const QString text = QString::fromUtf8(message ? message : "error");
        sqlite3_free(message);
        return setError(error, QDError::withDescription(StoreErrorDomain, StoreErrorSql,
                                                        QStringLiteral("%1: %2").arg(sql.left(200), text)));
    }
    return true;
}

bool SqliteStore::configure(sqlite3 *db, bool writer, QDError *error)
{
    sqlite3_busy_timeout(db, m_options.busyTimeoutMs);
    sqlite3_extended_result_codes(db, 1);
    if (!registerCollations(db))
        return setError(error, sqlError(db, QStringLiteral("Cannot register the collations"), StoreErrorOpen));
    if (!exec(db, QStringLiteral("PRAGMA foreign_keys = OFF"), error))
        return false;
    if (!exec(db, m_options.durable ? QStringLiteral("PRAGMA synchronous = NORMAL") : QStringLiteral("PRAGMA synchronous = OFF"),
              error))
        return false;
    // SQLite's default page cache (2 MB) makes index upkeep of a large store go to the file for every row.
    if (!exec(db, writer ? QStringLiteral("PRAGMA cache_size = -65536") : QStringLiteral("PRAGMA cache_size = -16384"),
              error))
        return false;
    return true;
}

bool SqliteStore::switchToWal(sqlite3 *db, QDError *error)
{
    // Opening may meet a file another connection is still setting up; the busy timeout covers that.
    sqlite3_stmt *s = prepare(db, QStringLiteral("PRAGMA journal_mode = WAL"));
    if (!s)
        return setError(error, sqlError(db, QStringLiteral("The store cannot be opened"), StoreErrorOpen));
    const int rc = sqlite3_step(s);
    const QString mode =
        rc == SQLITE_ROW ? QString::fromUtf8(reinterpret_cast<const char *>(sqlite3_column_text(s, 0))) : QString();
    sqlite3_finalize(s);
    if (mode.compare(QLatin1String("wal"), Qt::CaseInsensitive) != 0)
        return setError(error, sqlError(db, QStringLiteral("The store cannot be opened"), StoreErrorOpen));
    return true;
}

bool SqliteStore::open(StoreType type, const QString &path, const StoreOptions &options, QDError *error)
{
    close();
    m_type = type;
    m_path = path;
    m_options = options;
    m_readOnly = options.readOnly && type == StoreType::SQLite;
    auto fail = [&](const QDError &e) {
        close();
        QDError withPath = e;
        withPath.setUserInfoValue(QDError::FilePathKey, path);
        return setError(error, withPath);
    };

    m_writer = std::make_unique<Connection>();
    int flags = SQLITE_OPEN_NOMUTEX;
    QByteArray name;
    if (type == StoreType::InMemory) {
        name = ":memory:";
        flags |= SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE;
    } else {
        if (m_readOnly && !QFileInfo::exists(path))
            return fail(QDError::withDescription(StoreErrorDomain, StoreErrorOpen,
                                                 QStringLiteral("The store file does not exist")));
        name = QFile::encodeName(path);
        flags |= m_readOnly ? SQLITE_OPEN_READONLY : (SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE);
    }
    if (sqlite3_open_v2(name.constData(), &m_writer->db, flags, nullptr) != SQLITE_OK)
        return fail(sqlError(m_writer->db, QStringLiteral("The store cannot be opened"), StoreErrorOpen));
    QDError inner;
    if (!configure(m_writer->db, true, &inner)) {
        inner = QDError::withDescription(StoreErrorDomain, StoreErrorOpen, inner.localizedDescription());
        return fail(inner);
    }
    if (type == StoreType::SQLite && options.checkOnOpen) {
        sqlite3_stmt *s = prepare(m_writer->db, QStringLiteral("PRAGMA quick_check"));
        if (!s)
            return fail(sqlError(m_writer->db, QStringLiteral("The store cannot be checked"), StoreErrorOpen));
        QStringList problems;
        int rc;
        while ((rc = sqlite3_step(s)) == SQLITE_ROW)
            problems << QString::fromUtf8(reinterpret_cast<const char *>(sqlite3_column_text(s, 0)));
        sqlite3_finalize(s);
        if (rc != SQLITE_DONE)
            return fail(sqlError(m_writer->db, QStringLiteral("The store cannot be checked"), StoreErrorOpen));
        if (problems != QStringList{QStringLiteral("ok")})
            return fail(QDError::withDescription(StoreErrorDomain, StoreErrorOpen,
                                                 QStringLiteral("The store file is damaged: %1")
                                                     .arg(problems.mid(0, 5).join(QStringLiteral("; ")))));
    }
    // Only a file found to be ours (or a new one) is changed: the check above and the identity check in
    // prepareSchema read, and nothing in a foreign file is touched before they pass, not even its journal mode.
    if (!prepareSchema(&inner))
        return fail(inner);
    if (type == StoreType::SQLite && !m_readOnly && !switchToWal(m_writer->db, &inner))
        return fail(QDError::withDescription(StoreErrorDomain, StoreErrorOpen, inner.localizedDescription()));
    if (type == StoreType::SQLite) {
        m_reader = std::make_unique<Connection>();
        const int readerFlags = SQLITE_OPEN_NOMUTEX | (m_readOnly ? SQLITE_OPEN_READONLY : SQLITE_OPEN_READWRITE);
        if (sqlite3_open_v2(name.constData(), &m_reader->db, readerFlags, nullptr) != SQLITE_OK)
            return fail(sqlError(m_reader->db, QStringLiteral("The store cannot be opened"), StoreErrorOpen));
        if (!configure(m_reader->db, false, &inner))
            return fail(inner);
    }
    return true;
}

void SqliteStore::close()
{
    endReadSnapshot();
    m_reader.reset();
    m_writer.reset();
    m_uuid.clear();
}

Connection &SqliteStore::readConnection()
{
    if (!m_reader || t_writingStore == this)
        return *m_writer;
    return *m_reader;
}

bool SqliteStore::prepareSchema(QDError *error)
{
    sqlite3 *db = m_writer->db;
    bool hasMetadata = false;
    bool hasAnyTable = false;
    {
        sqlite3_stmt *s = prepare(db, QStringLiteral("SELECT name FROM sqlite_master WHERE type = 'table'"));
        if (!s)
            return setError(error, sqlError(db, QStringLiteral("The store cannot be read"), StoreErrorOpen));
        int rc;
        while ((rc = sqlite3_step(s)) == SQLITE_ROW) {
            hasAnyTable = true;
            if (QString::fromUtf8(reinterpret_cast<const char *>(sqlite3_column_text(s, 0)))
                == QLatin1String(sc::kMetadataTable))
                hasMetadata = true;
        }
        sqlite3_finalize(s);
        if (rc != SQLITE_DONE)
            return setError(error, sqlError(db, QStringLiteral("The store cannot be read"), StoreErrorOpen));
    }
    QVariantMap stored;
    if (hasMetadata) {
        QDError readError;
        stored = metadata(&readError);
        if (!readError.isNull())
            return setError(error, readError);
    } else if (hasAnyTable) {
        return setError(error, QDError::withDescription(StoreErrorDomain, StoreErrorIncompatibleVersion,
                                                        QStringLiteral("The file is not a store of this program")));
    }
    if (hasMetadata) {
        if (stored.value(StoreModelNameKey).toString() != m_model.name())
            return setError(error, QDError::withDescription(StoreErrorDomain, StoreErrorIncompatibleVersion,
                                                            QStringLiteral("The store was written by another model")));
        const int version = stored.value(StoreModelVersionKey).toInt();
        if (version > m_model.version())
            return setError(error, QDError::withDescription(StoreErrorDomain, StoreErrorIncompatibleVersion,
                                                            QStringLiteral("The store was written by a newer version "
                                                                           "(%1, this is %2)")
                                                                .arg(version)
                                                                .arg(m_model.version())));
        m_uuid = stored.value(StoreUUIDKey).toString();
        if (version == m_model.version() && !m_uuid.isEmpty())
            return true;
        if (m_readOnly)
            return setError(error, QDError::withDescription(StoreErrorDomain, StoreErrorIncompatibleVersion,
                                                            QStringLiteral("A read-only store needs migration")));
        if (!m_options.migrateAutomatically)
            return setError(error, QDError::withDescription(StoreErrorDomain, StoreErrorIncompatibleVersion,
                                                            QStringLiteral("The store needs migration")));
    } else if (m_readOnly) {
        return setError(error, QDError::withDescription(StoreErrorDomain, StoreErrorOpen,
                                                        QStringLiteral("The file holds no store")));
    }

    // Create what is missing, inside one transaction, so an interrupted migration leaves the older file.
    const bool ok = writeTransaction(
        [&](Connection &c) {
            sqlite3 *d = c.db;
            if (!exec(d, QStringLiteral("CREATE TABLE IF NOT EXISTS %1 (key TEXT PRIMARY KEY, value BLOB)")
                             .arg(metadataTable()),
                      error))
                return false;
            for (const EntityLayout &layout : m_layouts) {
                QSet<QString> existing;
                bool tableExists = false;
                {
                    sqlite3_stmt *s = prepare(d, QStringLiteral("PRAGMA table_info(%1)").arg(layout.table));
                    if (!s)
                        return setError(error, sqlError(d, QStringLiteral("Migration"), StoreErrorMigration));
                    while (sqlite3_step(s) == SQLITE_ROW) {
                        tableExists = true;
                        existing.insert(QString::fromUtf8(reinterpret_cast<const char *>(sqlite3_column_text(s, 1))));
                    }
                    sqlite3_finalize(s);
                }
                const EntityDescription &entity = *layout.entity;
                QStringList columns;
                QStringList indexes;
                for (int a : layout.storedAttributes) {
                    const AttributeDescription &attribute = entity.attributes()[size_t(a)];
                    const QString column = sc::columnName(attribute);
                    if (!existing.contains(column))
                        columns << q(column) + QLatin1Char(' ') + QLatin1String(sqlType(attribute.type));
                    if (attribute.indexed)
                        indexes << column;
                }
                for (int r : layout.toOneRelationships) {
                    const QString column = sc::foreignKeyColumnName(entity.relationships()[size_t(r)]);
                    if (!existing.contains(column))
                        columns << q(column) + QStringLiteral(" INTEGER");
                    indexes << column;
                }
                if (!tableExists) {
                    columns.prepend(QStringLiteral("pk INTEGER PRIMARY KEY"));
                    if (!exec(d, QStringLiteral("CREATE TABLE %1 (%2)").arg(layout.table, columns.join(u", ")), error))
                        return false;
                } else {
                    for (const QString &column : std::as_const(columns))
                        if (!exec(d, QStringLiteral("ALTER TABLE %1 ADD COLUMN %2").arg(layout.table, column), error))
                            return false;
                }
                for (const QString &column : std::as_const(indexes)) {
                    const QString indexName = q(QStringLiteral("I_%1_%2").arg(sc::tableName(entity), column));
                    if (!exec(d, QStringLiteral("CREATE INDEX IF NOT EXISTS %1 ON %2 (%3)")
                                     .arg(indexName, layout.table, q(column)),
                              error))
                        return false;
                }
                for (const auto &r : layout.relationships) {
                    if (!r.joinTable)
                        continue;
                    if (!exec(d, QStringLiteral("CREATE TABLE IF NOT EXISTS %1 (%2 INTEGER NOT NULL, %3 INTEGER NOT "
                                                "NULL, PRIMARY KEY (%2, %3)) WITHOUT ROWID")
                                     .arg(r.joinTableName, r.joinSourceColumn, r.joinDestinationColumn),
                              error))
                        return false;
                    QString indexName = r.joinTableName;
                    indexName.chop(1);
                    indexName += QStringLiteral("_") + QString(r.joinDestinationColumn).remove(QLatin1Char('"'))
                                 + QStringLiteral("\"");
                    if (!exec(d, QStringLiteral("CREATE INDEX IF NOT EXISTS %1 ON %2 (%3)")
                                     .arg(indexName, r.joinTableName, r.joinDestinationColumn),
                              error))
                        return false;
                }
            }
            QVariantMap own;
            if (m_uuid.isEmpty())
                m_uuid = QUuid::createUuid().toString(QUuid::WithoutBraces);
            own.insert(StoreUUIDKey, m_uuid);
            own.insert(StoreModelNameKey, m_model.name());
            own.insert(StoreModelVersionKey, m_model.version());
            own.insert(StoreTypeKey, QStringLiteral("SQLite"));
            sqlite3_stmt *s = prepare(d, QStringLiteral("INSERT OR REPLACE INTO %1 (key, value) VALUES (?, ?)")
                                             .arg(metadataTable()));
            if (!s)
                return setError(error, sqlError(d, QStringLiteral("Migration"), StoreErrorMigration));
            for (auto it = own.cbegin(); it != own.cend(); ++it) {
                const QByteArray blob = platform::core::KeyedArchive::archive(it.value());
                bindPlain(s, 1, it.key());
                sqlite3_bind_blob(s, 2, blob.constData(), int(blob.size()), SQLITE_TRANSIENT);
                const int rc = sqlite3_step(s);
                sqlite3_reset(s);
                if (rc != SQLITE_DONE) {
                    sqlite3_finalize(s);
                    return setError(error, sqlError(d, QStringLiteral("Migration"), StoreErrorMigration));
                }
            }
            sqlite3_finalize(s);
            return true;
        },
        error);
    if (!ok && error && error->code() != StoreErrorMigration)
        *error = QDError::withDescription(StoreErrorDomain, StoreErrorMigration,
                                          QStringLiteral("The store cannot be brought to the current model: %1")
                                              .arg(error->localizedDescription()));
    return ok;
}

// ---------------------------------------------------------------------------------------------------------
// Metadata

namespace {
QVariantMap readMetadata(sqlite3 *db, QDError *error)
{
    QVariantMap result;
    sqlite3_stmt *s = nullptr;
    const QByteArray sql = QStringLiteral("SELECT key, value FROM %1").arg(metadataTable()).toUtf8();
    if (sqlite3_prepare_v2(db, sql.constData(), -1, &s, nullptr) != SQLITE_OK) {
        setError(error, SqliteStore::sqlError(db, QStringLiteral("The store's metadata cannot be read"),
                                              StoreErrorOpen));
        sqlite3_finalize(s);
        return {};
    }
    int rc;
    while ((rc = sqlite3_step(s)) == SQLITE_ROW) {
        const QString key = QString::fromUtf8(reinterpret_cast<const char *>(sqlite3_column_text(s, 0)));
        const QByteArray blob(static_cast<const char *>(sqlite3_column_blob(s, 1)), sqlite3_column_bytes(s, 1));
        const auto value = platform::core::KeyedArchive::unarchive(blob);
        if (value)
            result.insert(key, *value);
    }
    if (rc != SQLITE_DONE)
        setError(error, SqliteStore::sqlError(db, QStringLiteral("The store's metadata cannot be read"),
                                              StoreErrorOpen));
    sqlite3_finalize(s);
    return result;
}

bool isOwnKey(const QString &key)
{
    return key == StoreUUIDKey || key == StoreModelNameKey || key == StoreModelVersionKey || key == StoreTypeKey;
}

bool writeFreeMetadata(sqlite3 *db, const QVariantMap &metadata, QDError *error)
{
    auto run = [&](const QString &sql) {
        sqlite3_stmt *s = nullptr;
        const QByteArray utf8 = sql.toUtf8();
        if (sqlite3_prepare_v2(db, utf8.constData(), -1, &s, nullptr) != SQLITE_OK)
            return s;
        return s;
    };
    sqlite3_stmt *del = run(QStringLiteral("DELETE FROM %1 WHERE key NOT IN (?, ?, ?, ?)").arg(metadataTable()));
    sqlite3_stmt *ins = run(QStringLiteral("INSERT OR REPLACE INTO %1 (key, value) VALUES (?, ?)").arg(metadataTable()));
    bool ok = del && ins;
    if (ok) {
        SqliteStore::bindPlain(del, 1, StoreUUIDKey);
        SqliteStore::bindPlain(del, 2, StoreModelNameKey);
        SqliteStore::bindPlain(del, 3, StoreModelVersionKey);
        SqliteStore::bindPlain(del, 4, StoreTypeKey);
        ok = sqlite3_step(del) == SQLITE_DONE;
    }
    for (auto it = metadata.cbegin(); ok && it != metadata.cend(); ++it) {
        if (isOwnKey(it.key()))
            continue;
        QDError archiveError;
        const QByteArray blob = platform::core::KeyedArchive::archive(it.value(), &archiveError);
        if (!archiveError.isNull()) {
            sqlite3_finalize(del);
            sqlite3_finalize(ins);
            return setError(error, archiveError);
        }
        SqliteStore::bindPlain(ins, 1, it.key());
        sqlite3_bind_blob(ins, 2, blob.constData(), int(blob.size()), SQLITE_TRANSIENT);
        ok = sqlite3_step(ins) == SQLITE_DONE;
        sqlite3_reset(ins);
    }
    if (!ok)
        setError(error, SqliteStore::sqlError(db, QStringLiteral("The store's metadata cannot be written")));
    sqlite3_finalize(del);
    sqlite3_finalize(ins);
    return ok;
}
} // namespace

QVariantMap SqliteStore::metadata(QDError *error)
{
    Connection &c = readConnection();
    std::lock_guard lock(c.mutex);
    return readMetadata(c.db, error);
}

bool SqliteStore::setFreeMetadata(const QVariantMap &metadata, QDError *error)
{
    if (m_readOnly)
        return setError(error, QDError::withDescription(StoreErrorDomain, StoreErrorReadOnly,
                                                        QStringLiteral("The store is read-only")));
    return writeTransaction([&](Connection &c) { return writeFreeMetadata(c.db, metadata, error); }, error);
}

QVariantMap SqliteStore::readMetadataOfFile(const QString &path, QDError *error)
{
    if (!QFileInfo::exists(path)) {
        setError(error, QDError::withDescription(StoreErrorDomain, StoreErrorFile,
                                                 QStringLiteral("The store file does not exist"),
                                                 {{QDError::FilePathKey, path}}));
        return {};
    }
    sqlite3 *db = nullptr;
    if (sqlite3_open_v2(QFile::encodeName(path).constData(), &db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) {
        setError(error, sqlError(db, QStringLiteral("The store file cannot be opened"), StoreErrorOpen));
        sqlite3_close_v2(db);
        return {};
    }
    sqlite3_busy_timeout(db, 5000);
    QDError inner;
    QVariantMap result = readMetadata(db, &inner);
    sqlite3_close_v2(db);
    if (!inner.isNull()) {
        inner.setUserInfoValue(QDError::FilePathKey, path);
        setError(error, inner);
        return {};
    }
    return result;
}

bool SqliteStore::writeMetadataOfFile(const QString &path, const QVariantMap &metadata, QDError *error)
{
    sqlite3 *db = nullptr;
    if (!QFileInfo::exists(path)
        || sqlite3_open_v2(QFile::encodeName(path).constData(), &db, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK) {
        setError(error, sqlError(db, QStringLiteral("The store file cannot be opened"), StoreErrorOpen));
        sqlite3_close_v2(db);
        return false;
    }
    sqlite3_busy_timeout(db, 10000);
    QVariantMap merged = readMetadata(db, error);
    bool ok = !merged.isEmpty() && sqlite3_exec(db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr) == SQLITE_OK;
    if (ok) {
        ok = writeFreeMetadata(db, metadata, error);
        sqlite3_exec(db, ok ? "COMMIT" : "ROLLBACK", nullptr, nullptr, nullptr);
    } else {
        setError(error, QDError::withDescription(StoreErrorDomain, StoreErrorOpen,
                                                 QStringLiteral("The file holds no store")));
    }
    sqlite3_close_v2(db);
    return ok;
}

// ---------------------------------------------------------------------------------------------------------
// Reading

void SqliteStore::rowFromStatement(const EntityLayout &layout, sqlite3_stmt *s, RowData &row) const
{
    const EntityDescription &entity = *layout.entity;
    row.pk = sqlite3_column_int64(s, 0);
    row.values.assign(entity.attributes().size(), QVariant());
    row.toOne.assign(entity.relationships().size(), 0);
    int column = 1;
    for (int a : layout.storedAttributes)
        row.values[size_t(a)] = decodeColumn(s, column++, entity.attributes()[size_t(a)]);
    for (int r : layout.toOneRelationships)
        row.toOne[size_t(r)] = sqlite3_column_int64(s, column++);
}

bool SqliteStore::readRow(const EntityLayout &layout, qint64 pk, RowData &row, QDError *error)
{
    Connection &c = readConnection();
    std::lock_guard lock(c.mutex);
    sqlite3_stmt *s = c.entityStatement(layout, Connection::SelectByPk);
    if (!s) {
        setError(error, sqlError(c.db, QStringLiteral("Cannot read a record")));
        return false;
    }
    StatementUse use(s);
    sqlite3_bind_int64(s, 1, pk);
    const int rc = sqlite3_step(s);
    if (rc == SQLITE_ROW) {
        rowFromStatement(layout, s, row);
        return true;
    }
    if (rc == SQLITE_DONE)
        setError(error, QDError::withDescription(StoreErrorDomain, StoreErrorObjectNotFound,
                                                 QStringLiteral("The record does not exist")));
    else
        setError(error, sqlError(c.db, QStringLiteral("Cannot read a record")));
    return false;
}

bool SqliteStore::query(const QString &sql, const QVariantList &binds,
                        const std::function<bool(sqlite3_stmt *)> &onRow, QDError *error, bool onWriter)
{
    Connection &c = onWriter ? writeConnection() : readConnection();
    std::lock_guard lock(c.mutex);
    sqlite3_stmt *s = c.statement(sql);
    if (!s)
        return setError(error, sqlError(c.db, QStringLiteral("Cannot run a query")));
    StatementUse use(s);
    for (int i = 0; i < binds.size(); ++i)
        bindSqlValue(s, i + 1, binds[i]);
    int rc;
    while ((rc = sqlite3_step(s)) == SQLITE_ROW)
        if (!onRow(s))
            return true;
    if (rc != SQLITE_DONE)
        return setError(error, sqlError(c.db, QStringLiteral("Cannot run a query")));
    return true;
}

bool SqliteStore::queryOnce(const QString &sql, const std::function<bool(sqlite3_stmt *)> &onRow, QDError *error)
{
    Connection &c = readConnection();
    std::lock_guard lock(c.mutex);
    sqlite3_stmt *s = prepare(c.db, sql);
    if (!s)
        return setError(error, sqlError(c.db, QStringLiteral("Cannot run a query")));
    int rc;
    while ((rc = sqlite3_step(s)) == SQLITE_ROW)
        if (!onRow(s))
            break;
    const bool ok = rc == SQLITE_ROW || rc == SQLITE_DONE;
    if (!ok)
        setError(error, sqlError(c.db, QStringLiteral("Cannot run a query")));
    sqlite3_finalize(s);
    return ok;
}

bool SqliteStore::toManyKeys(const EntityLayout &layout, int relationshipIndex, qint64 pk, std::vector<qint64> &keys,
                             QDError *error)
{
    Connection &c = readConnection();
    std::lock_guard lock(c.mutex);
    sqlite3_stmt *s = c.relationshipStatement(layout, relationshipIndex, Connection::ToManyIDs);
    if (!s)
        return setError(error, sqlError(c.db, QStringLiteral("Cannot read a relationship")));
    StatementUse use(s);
    sqlite3_bind_int64(s, 1, pk);
    int rc;
    while ((rc = sqlite3_step(s)) == SQLITE_ROW)
        keys.push_back(sqlite3_column_int64(s, 0));
    if (rc != SQLITE_DONE)
        return setError(error, sqlError(c.db, QStringLiteral("Cannot read a relationship")));
    return true;
}

// ---------------------------------------------------------------------------------------------------------
// Writing

bool SqliteStore::writeTransaction(const std::function<bool(Connection &)> &fn, QDError *error)
{
    if (!m_writer)
        return setError(error, QDError::withDescription(StoreErrorDomain, StoreErrorNoStore,
                                                        QStringLiteral("The store is not open")));
    if (m_readOnly)
        return setError(error, QDError::withDescription(StoreErrorDomain, StoreErrorReadOnly,
                                                        QStringLiteral("The store is read-only")));
    Connection &c = *m_writer;
    std::lock_guard lock(c.mutex);
    if (t_writingStore == this) // nested: already inside this store's transaction
        return fn(c);
    if (sqlite3_exec(c.db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr) != SQLITE_OK)
        return setError(error, sqlError(c.db, QStringLiteral("Cannot begin a save")));
    t_writingStore = this;
    bool ok = fn(c);
    t_writingStore = nullptr;
    if (ok) {
        if (sqlite3_exec(c.db, "COMMIT", nullptr, nullptr, nullptr) != SQLITE_OK) {
            setError(error, sqlError(c.db, QStringLiteral("Cannot commit a save")));
            ok = false;
        }
    }
    if (!ok && !sqlite3_get_autocommit(c.db))
        sqlite3_exec(c.db, "ROLLBACK", nullptr, nullptr, nullptr);
    return ok;
}

namespace {
qint64 keyOf(const ManagedObject *object)
{
    if (!object)
        return 0;
    if (object->objectID().primaryKey())
        return object->objectID().primaryKey();
    return 0;
}
} // namespace

bool SqliteStore::writeBatch(Connection &c, WriteBatch &batch, QDError *error)
{
    auto fail = [&](const QString &what) { return setError(error, sqlError(c.db, what)); };
    auto targetKey = [](const ManagedObject::RelationshipSlot &slot) -> qint64 {
        if (slot.loaded) {
            if (!slot.one || slot.one->isDeleted())
                return 0;
            return slot.one->m_pendingPk ? slot.one->m_pendingPk : keyOf(slot.one);
        }
        return slot.oneID.primaryKey();
    };

    // pks for new rows, taken under the write lock so no other writer can take the same ones
    for (size_t e = 0; e < batch.insertsByEntity.size(); ++e) {
        auto &inserts = batch.insertsByEntity[e];
        if (inserts.empty())
            continue;
        const EntityLayout &layout = m_layouts[e];
        sqlite3_stmt *s = c.entityStatement(layout, Connection::MaxPk);
        if (!s)
            return fail(QStringLiteral("Cannot save"));
        qint64 next = 1;
        {
            StatementUse use(s);
            if (sqlite3_step(s) != SQLITE_ROW)
                return fail(QStringLiteral("Cannot save"));
            next = sqlite3_column_int64(s, 0) + 1;
        }
        for (auto &insert : inserts) {
            insert.pk = next++;
            insert.object->m_pendingPk = insert.pk;
        }
    }

    // A value that cannot be bound ends the batch; the caller rolls the transaction back.
    QDError bindError;
    auto bindRow = [&](sqlite3_stmt *s, const EntityLayout &layout, ManagedObject *object, int first) {
        int index = first;
        const auto &attributes = layout.entity->attributes();
        for (int a : layout.storedAttributes) {
            if (!bindValue(s, index++, object->m_values[size_t(a)], attributes[size_t(a)], &bindError))
                return -1;
        }
        for (int r : layout.toOneRelationships) {
            const qint64 key = targetKey(object->m_relationships[size_t(r)]);
            if (key)
                sqlite3_bind_int64(s, index++, key);
            else
                sqlite3_bind_null(s, index++);
        }
        return index;
    };

    for (size_t e = 0; e < batch.insertsByEntity.size(); ++e) {
        auto &inserts = batch.insertsByEntity[e];
        if (inserts.empty())
            continue;
        const EntityLayout &layout = m_layouts[e];
        sqlite3_stmt *one = c.entityStatement(layout, Connection::Insert);
        sqlite3_stmt *many = inserts.size() >= size_t(Connection::kRowsPerInsert)
                                 ? c.entityStatement(layout, Connection::InsertMany)
                                 : nullptr;
        if (!one)
            return fail(QStringLiteral("Cannot save"));
        size_t next = 0;
        while (many && inserts.size() - next >= size_t(Connection::kRowsPerInsert)) {
            StatementUse use(many);
            int index = 1;
            for (int row = 0; row < Connection::kRowsPerInsert; ++row, ++next) {
                sqlite3_bind_int64(many, index, inserts[next].pk);
                index = bindRow(many, layout, inserts[next].object, index + 1);
                if (index < 0)
                    return setError(error, bindError);
            }
            if (sqlite3_step(many) != SQLITE_DONE)
                return fail(QStringLiteral("Cannot save new records"));
        }
        for (; next < inserts.size(); ++next) {
            StatementUse use(one);
            sqlite3_bind_int64(one, 1, inserts[next].pk);
            if (bindRow(one, layout, inserts[next].object, 2) < 0)
                return setError(error, bindError);
            if (sqlite3_step(one) != SQLITE_DONE)
                return fail(QStringLiteral("Cannot save a new record"));
        }
    }
    for (ManagedObject *object : batch.updates) {
        const EntityLayout &layout = m_layouts[size_t(object->entity()->index())];
        sqlite3_stmt *s = c.entityStatement(layout, Connection::Update);
        if (!s)
            return fail(QStringLiteral("Cannot save"));
        StatementUse use(s);
        const int next = bindRow(s, layout, object, 1);
        if (next < 0)
            return setError(error, bindError);
        sqlite3_bind_int64(s, next, object->objectID().primaryKey());
        if (sqlite3_step(s) != SQLITE_DONE)
            return fail(QStringLiteral("Cannot save a changed record"));
    }
    for (ManagedObject *object : batch.deletes) {
        const EntityLayout &layout = m_layouts[size_t(object->entity()->index())];
        const qint64 pk = object->objectID().primaryKey();
        sqlite3_stmt *s = c.entityStatement(layout, Connection::Delete);
        if (!s)
            return fail(QStringLiteral("Cannot save"));
        {
            StatementUse use(s);
            sqlite3_bind_int64(s, 1, pk);
            if (sqlite3_step(s) != SQLITE_DONE)
                return fail(QStringLiteral("Cannot delete a record"));
        }
        for (size_t r = 0; r < layout.relationships.size(); ++r) {
            if (!layout.relationships[r].joinTable)
                continue;
            sqlite3_stmt *j = c.relationshipStatement(layout, int(r), Connection::JoinDeleteAll);
            if (!j)
                return fail(QStringLiteral("Cannot save"));
            StatementUse use(j);
            sqlite3_bind_int64(j, 1, pk);
            if (sqlite3_step(j) != SQLITE_DONE)
                return fail(QStringLiteral("Cannot delete a record's links"));
        }
    }

    // Join-table rows of changed many-to-many relationships, from each changed side (writing a pair twice is
    // harmless: inserts ignore duplicates and deletes of missing rows do nothing).
    auto writeJoins = [&](ManagedObject *object, bool inserted) -> bool {
        const EntityLayout &layout = m_layouts[size_t(object->entity()->index())];
        const qint64 pk = object->m_pendingPk ? object->m_pendingPk : object->objectID().primaryKey();
        const size_t attributeCount = layout.entity->attributes().size();
        for (size_t r = 0; r < layout.relationships.size(); ++r) {
            const auto &rel = layout.relationships[r];
            if (!rel.joinTable)
                continue;
            const size_t changeIndex = attributeCount + r;
            if (!inserted && !object->m_changed[changeIndex])
                continue;
            const auto &slot = object->m_relationships[r];
            if (!slot.loaded)
                continue;
            QSet<qint64> now;
            for (ManagedObject *other : slot.many) {
                if (other->isDeleted())
                    continue;
                const qint64 key = other->m_pendingPk ? other->m_pendingPk : keyOf(other);
                if (key)
                    now.insert(key);
            }
            QSet<qint64> before;
            if (!inserted && object->m_committed && r < object->m_committed->toManyKnown.size()
                && object->m_committed->toManyKnown[r]) {
                for (const ManagedObjectID &id : object->m_committed->toMany[r])
                    if (id.primaryKey())
                        before.insert(id.primaryKey());
            } else if (!inserted) {
                // Nothing known of the saved state: replace the object's side wholesale.
                sqlite3_stmt *all = c.relationshipStatement(layout, int(r), Connection::JoinDeleteAll);
                if (!all)
                    return false;
                StatementUse use(all);
                sqlite3_bind_int64(all, 1, pk);
                if (sqlite3_step(all) != SQLITE_DONE)
                    return false;
            }
            sqlite3_stmt *add = c.relationshipStatement(layout, int(r), Connection::JoinInsert);
            sqlite3_stmt *remove = c.relationshipStatement(layout, int(r), Connection::JoinDelete);
            if (!add || !remove)
                return false;
            for (qint64 key : std::as_const(now)) {
                if (before.contains(key))
                    continue;
                StatementUse use(add);
                sqlite3_bind_int64(add, 1, pk);
                sqlite3_bind_int64(add, 2, key);
                if (sqlite3_step(add) != SQLITE_DONE)
                    return false;
            }
            for (qint64 key : std::as_const(before)) {
                if (now.contains(key))
                    continue;
                StatementUse use(remove);
                sqlite3_bind_int64(remove, 1, pk);
                sqlite3_bind_int64(remove, 2, key);
                if (sqlite3_step(remove) != SQLITE_DONE)
                    return false;
            }
        }
        return true;
    };
    for (auto &inserts : batch.insertsByEntity) {
        if (inserts.empty() || m_layouts[size_t(inserts.front().object->entity()->index())].relationships.empty())
            continue;
        for (auto &insert : inserts)
            if (!writeJoins(insert.object, true))
                return fail(QStringLiteral("Cannot save a record's links"));
    }
    for (ManagedObject *object : batch.updates)
        if (!writeJoins(object, false))
            return fail(QStringLiteral("Cannot save a record's links"));
    return true;
}

// ---------------------------------------------------------------------------------------------------------
// Files

bool SqliteStore::checkpoint(QDError *error)
{
    if (m_type != StoreType::SQLite || m_readOnly || !m_writer)
        return true;
    std::lock_guard lock(m_writer->mutex);
    int logFrames = 0, checkpointed = 0;
    if (sqlite3_wal_checkpoint_v2(m_writer->db, nullptr, SQLITE_CHECKPOINT_TRUNCATE, &logFrames, &checkpointed)
        != SQLITE_OK)
        return setError(error, sqlError(m_writer->db, QStringLiteral("Cannot checkpoint the store")));
    return true;
}

bool SqliteStore::beginReadSnapshot(QDError *error)
{
    // A store without a reading connection has one connection for everything, and nothing else writes to it.
    if (!m_reader)
        return true;
    std::lock_guard lock(m_reader->mutex);
    if (m_readSnapshot)
        return true;
    if (sqlite3_exec(m_reader->db, "BEGIN DEFERRED", nullptr, nullptr, nullptr) != SQLITE_OK)
        return setError(error, sqlError(m_reader->db, QStringLiteral("The store cannot be read as one snapshot")));
    // A deferred transaction takes its snapshot at its first read.
    if (sqlite3_exec(m_reader->db, "SELECT count(*) FROM sqlite_master", nullptr, nullptr, nullptr) != SQLITE_OK) {
        const QDError failed = sqlError(m_reader->db, QStringLiteral("The store cannot be read as one snapshot"));
        sqlite3_exec(m_reader->db, "ROLLBACK", nullptr, nullptr, nullptr);
        return setError(error, failed);
    }
    m_readSnapshot = true;
    return true;
}

void SqliteStore::endReadSnapshot()
{
    if (!m_reader || !m_readSnapshot)
        return;
    std::lock_guard lock(m_reader->mutex);
    // Only reads ran in it: ending it cannot lose anything.
    if (sqlite3_exec(m_reader->db, "COMMIT", nullptr, nullptr, nullptr) != SQLITE_OK)
        sqlite3_exec(m_reader->db, "ROLLBACK", nullptr, nullptr, nullptr);
    m_readSnapshot = false;
}

namespace {
bool runBackup(sqlite3 *destination, sqlite3 *source, QDError *error)
{
    sqlite3_backup *backup = sqlite3_backup_init(destination, "main", source, "main");
    if (!backup)
        return setError(error, SqliteStore::sqlError(destination, QStringLiteral("Cannot copy the store"),
                                                     StoreErrorFile));
    int rc;
    do {
        rc = sqlite3_backup_step(backup, 1024);
        if (rc == SQLITE_BUSY || rc == SQLITE_LOCKED)
            sqlite3_sleep(5);
    } while (rc == SQLITE_OK || rc == SQLITE_BUSY || rc == SQLITE_LOCKED);
    sqlite3_backup_finish(backup);
    if (rc != SQLITE_DONE)
        return setError(error, SqliteStore::sqlError(destination, QStringLiteral("Cannot copy the store"),
                                                     StoreErrorFile));
    return true;
}
} // namespace

bool SqliteStore::copyDatabaseFile(const QString &sourcePath, const QString &destinationPath, QDError *error)
{
    sqlite3 *source = nullptr;
    sqlite3 *destination = nullptr;
    auto finish = [&](bool ok) {
        sqlite3_close_v2(source);
        sqlite3_close_v2(destination);
        return ok;
    };
    if (!QFileInfo::exists(sourcePath)
        || sqlite3_open_v2(QFile::encodeName(sourcePath).constData(), &source, SQLITE_OPEN_READONLY, nullptr)
               != SQLITE_OK)
        return finish(setError(error, QDError::withDescription(StoreErrorDomain, StoreErrorFile,
                                                               QStringLiteral("Cannot open the store to copy"),
                                                               {{QDError::FilePathKey, sourcePath}})));
    sqlite3_busy_timeout(source, 10000);
    if (sqlite3_open_v2(QFile::encodeName(destinationPath).constData(), &destination,
                        SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr)
        != SQLITE_OK)
        return finish(setError(error, sqlError(destination, QStringLiteral("Cannot create the copy"), StoreErrorFile)));
    sqlite3_busy_timeout(destination, 10000);
    if (!runBackup(destination, source, error))
        return finish(false);
    sqlite3_exec(destination, "PRAGMA journal_mode = WAL", nullptr, nullptr, nullptr);
    return finish(true);
}

bool SqliteStore::backupTo(const QString &destinationPath, QDError *error)
{
    if (!m_writer)
        return setError(error, QDError::withDescription(StoreErrorDomain, StoreErrorNoStore,
                                                        QStringLiteral("The store is not open")));
    sqlite3 *destination = nullptr;
    if (sqlite3_open_v2(QFile::encodeName(destinationPath).constData(), &destination,
                        SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr)
        != SQLITE_OK) {
        setError(error, sqlError(destination, QStringLiteral("Cannot create the copy"), StoreErrorFile));
        sqlite3_close_v2(destination);
        return false;
    }
    sqlite3_busy_timeout(destination, m_options.busyTimeoutMs);
    bool ok;
    {
        std::lock_guard lock(m_writer->mutex);
        ok = runBackup(destination, m_writer->db, error);
    }
    if (ok)
        sqlite3_exec(destination, "PRAGMA journal_mode = WAL", nullptr, nullptr, nullptr);
    sqlite3_close_v2(destination);
    return ok;
}

bool SqliteStore::restoreFrom(const QString &sourcePath, QDError *error)
{
    if (!m_writer || m_readOnly)
        return setError(error, QDError::withDescription(StoreErrorDomain, m_readOnly ? StoreErrorReadOnly
                                                                                     : StoreErrorNoStore,
                                                        QStringLiteral("The store cannot be replaced")));
    sqlite3 *source = nullptr;
    if (sqlite3_open_v2(QFile::encodeName(sourcePath).constData(), &source, SQLITE_OPEN_READONLY, nullptr)
        != SQLITE_OK) {
        setError(error, sqlError(source, QStringLiteral("Cannot open the replacement"), StoreErrorFile));
        sqlite3_close_v2(source);
        return false;
    }
    bool ok;
    {
        std::lock_guard lock(m_writer->mutex);
        if (m_reader) {
            std::lock_guard readLock(m_reader->mutex);
            m_reader->clearStatements();
        }
        m_writer->clearStatements();
        ok = runBackup(m_writer->db, source, error);
    }
    sqlite3_close_v2(source);
    if (ok) {
        // The copied file carries its own identity and may be of an older model version.
        QDError inner;
        ok = prepareSchema(&inner);
        if (!ok)
            setError(error, inner);
    }
    return ok;
}

} // namespace platform::store
