#pragma once

#include "platform/core/QDError.h"
#include "platform/store/Model.h"
#include "platform/store/StoreCoordinator.h"

#include <QHash>
#include <QString>
#include <QVariant>
#include <QVariantList>

#include <array>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

struct sqlite3;
struct sqlite3_stmt;

namespace platform::store {

class ManagedObject;

// The layout of one entity in SQL, worked out once per coordinator from the model and Schema.h.
struct EntityLayout
{
    struct Relationship
    {
        const RelationshipDescription *description = nullptr;
        const EntityDescription *destination = nullptr;
        int inverseIndex = -1;   // in the destination's relationships; -1 without an inverse
        bool toOneColumn = false; // stored as <name>_pk here
        bool joinTable = false;   // many-to-many (or to-many without inverse)
        QString joinTableName, joinSourceColumn, joinDestinationColumn; // quoted
        QString inverseColumn;   // quoted <inverse>_pk on the destination, for a to-many over a to-one inverse
    };

    const EntityDescription *entity = nullptr;
    QString table;                      // quoted
    std::vector<int> storedAttributes;  // attribute indexes that have a column
    std::vector<int> toOneRelationships; // relationship indexes that have a column
    std::vector<Relationship> relationships;
    QString selectColumns;              // "t0.pk, t0.<attr>..., t0.<rel>_pk..." in the order above
    bool hasRequired = false;           // a value or to-one a save must find set
    bool hasDeny = false;               // a relationship whose delete rule is deny
};

// What a row holds, by attribute and relationship index.
struct RowData
{
    qint64 pk = 0;
    std::vector<QVariant> values; // stored attributes set, transient ones invalid
    std::vector<qint64> toOne;    // per relationship; 0 = none (to-many entries unused)
};

// One SQLite connection and its cached statements, used under its mutex.
class Connection
{
public:
    enum Kind { Insert, InsertMany, Update, Delete, SelectByPk, MaxPk, KindCount };
    // Rows per InsertMany statement: one statement per group of new rows costs less than one per row.
    static constexpr int kRowsPerInsert = 32;
    enum RelationshipKind { ToManyRows, JoinInsert, JoinDelete, JoinDeleteAll, JoinDeleteAllInverse, ToManyIDs,
                            RelationshipKindCount };

    ~Connection();
    sqlite3 *db = nullptr;
    std::recursive_mutex mutex;

    sqlite3_stmt *entityStatement(const EntityLayout &layout, Kind kind);
    sqlite3_stmt *relationshipStatement(const EntityLayout &layout, int relationshipIndex, RelationshipKind kind);
    sqlite3_stmt *statement(const QString &sql); // cached by text
    void clearStatements();

private:
    std::vector<std::array<sqlite3_stmt *, KindCount>> m_entity;
    std::vector<std::vector<std::array<sqlite3_stmt *, RelationshipKindCount>>> m_relationship;
    QHash<QString, sqlite3_stmt *> m_byText;
};

// A save's work for the store, in the order it runs.
struct WriteBatch
{
    struct Insert
    {
        ManagedObject *object;
        qint64 pk = 0; // assigned inside the transaction
    };
    std::vector<std::vector<Insert>> insertsByEntity; // by entity index
    std::vector<ManagedObject *> updates;
    std::vector<ManagedObject *> deletes;
};

class SqliteStore
{
public:
    SqliteStore(const ManagedObjectModel &model);
    ~SqliteStore();

    bool open(StoreType type, const QString &path, const StoreOptions &options, platform::core::QDError *error);
    void close();
    bool isOpen() const { return m_writer != nullptr; }
    bool isReadOnly() const { return m_readOnly; }
    const QString &uuid() const { return m_uuid; }
    StoreType type() const { return m_type; }
    const QString &path() const { return m_path; }

    const EntityLayout &layout(const EntityDescription &entity) const { return m_layouts[size_t(entity.index())]; }
    const EntityLayout &layout(int entityIndex) const { return m_layouts[size_t(entityIndex)]; }

    // Reads go to the reader connection unless the calling thread is inside this store's write.
    Connection &readConnection();
    Connection &writeConnection() { return *m_writer; }

    QVariantMap metadata(platform::core::QDError *error = nullptr);
    bool setFreeMetadata(const QVariantMap &metadata, platform::core::QDError *error);

    bool readRow(const EntityLayout &layout, qint64 pk, RowData &row, platform::core::QDError *error = nullptr);
    // Fills row from a statement whose first columns are layout.selectColumns.
    void rowFromStatement(const EntityLayout &layout, sqlite3_stmt *statement, RowData &row) const;
    // Runs a query; onRow returns false to stop.
    bool query(const QString &sql, const QVariantList &binds, const std::function<bool(sqlite3_stmt *)> &onRow,
               platform::core::QDError *error, bool onWriter = false);
    // The same for a text that is used once (e.g. one holding a list of keys): not kept among the cached
    // statements.
    bool queryOnce(const QString &sql, const std::function<bool(sqlite3_stmt *)> &onRow,
                   platform::core::QDError *error);
    // The pks of a to-many relationship's destinations.
    bool toManyKeys(const EntityLayout &layout, int relationshipIndex, qint64 pk, std::vector<qint64> &keys,
                    platform::core::QDError *error = nullptr);

    // Runs fn inside BEGIN IMMEDIATE ... COMMIT on the writer; rolls back when fn fails.
    bool writeTransaction(const std::function<bool(Connection &)> &fn, platform::core::QDError *error);
    // The writes of a save (inside writeTransaction).
    bool writeBatch(Connection &c, WriteBatch &batch, platform::core::QDError *error);

    bool checkpoint(platform::core::QDError *error);
    // Holds one read transaction on the reading connection: until endReadSnapshot every read sees the store
    // as it was when this was called, whatever other connections commit meanwhile.
    bool beginReadSnapshot(platform::core::QDError *error);
    void endReadSnapshot();
    bool backupTo(const QString &destinationPath, platform::core::QDError *error);
    bool restoreFrom(const QString &sourcePath, platform::core::QDError *error);
    // A whole copy of one database file into another (created or overwritten), through the backup API.
    static bool copyDatabaseFile(const QString &sourcePath, const QString &destinationPath,
                                 platform::core::QDError *error);

    static QVariant decodeColumn(sqlite3_stmt *statement, int column, const AttributeDescription &attribute);
    bool switchToWal(sqlite3 *db, platform::core::QDError *error);
    // False (and the error) when the value cannot be stored as the attribute says, e.g. a transformable
    // value its transformer cannot hold.
    static bool bindValue(sqlite3_stmt *statement, int index, const QVariant &value, const AttributeDescription &attribute,
                          platform::core::QDError *error);
    static void bindPlain(sqlite3_stmt *statement, int index, const QVariant &value);
    static platform::core::QDError sqlError(sqlite3 *db, const QString &what, qint64 code = StoreErrorSql);

    // Metadata of a file no coordinator holds.
    static QVariantMap readMetadataOfFile(const QString &path, platform::core::QDError *error);
    static bool writeMetadataOfFile(const QString &path, const QVariantMap &metadata, platform::core::QDError *error);

private:
    bool configure(sqlite3 *db, bool writer, platform::core::QDError *error);
    bool prepareSchema(platform::core::QDError *error);
    void buildLayouts();
    bool exec(sqlite3 *db, const QString &sql, platform::core::QDError *error);

    const ManagedObjectModel &m_model;
    std::vector<EntityLayout> m_layouts;
    std::unique_ptr<Connection> m_writer;
    std::unique_ptr<Connection> m_reader; // null for an in-memory store (the writer serves both)
    StoreType m_type = StoreType::SQLite;
    StoreOptions m_options;
    QString m_path;
    QString m_uuid;
    bool m_readOnly = false;
    bool m_readSnapshot = false;
};

} // namespace platform::store
