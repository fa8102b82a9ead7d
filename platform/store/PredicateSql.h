#pragma once

#include "platform/store/Model.h"
#include "platform/store/Predicate.h"
#include "platform/store/Schema.h"

#include <QString>
#include <QVariant>
#include <QVariantList>

struct sqlite3_stmt;

namespace platform::store {

// A predicate as SQL: a WHERE fragment over the entity's table (root columns qualified with the alias the
// statement gives the table, "t0" by default) and the values for its '?' parameters, in order. Needs the
// collations and functions of registerCollations on the connection.
struct SqlPredicate
{
    QString where;
    QVariantList values; // stored forms (see toSqlValue); bind them with bindSqlValue
    QString problem;     // why the predicate cannot run against this entity; null when it compiled
    bool ok() const { return problem.isNull(); }
};

SqlPredicate compileToSql(const Predicate &predicate, const EntityDescription &entity, const ManagedObjectModel &model,
                          const QString &rootAlias = QString::fromLatin1(schema::kRootAlias));

// A key path's value as an SQL expression (a column, or a sub-select along a to-one chain), with the
// attribute it ends in. Sort orders and dictionary fetches use it.
struct SqlKeyPath
{
    QString expression;
    const AttributeDescription *attribute = nullptr;
    QString problem;
    bool ok() const { return problem.isNull(); }
};

SqlKeyPath compileKeyPathToSql(const QString &keyPath, const EntityDescription &entity, const ManagedObjectModel &model,
                               const QString &rootAlias = QString::fromLatin1(schema::kRootAlias));

// The steps of a key path that ends in an attribute: a leading "self." is dropped (a lone "self" stays, as
// the name it then is).
QStringList splitAttributeKeyPath(const QString &keyPath);

// ---- Values in their stored form, shared by SQL and in-memory evaluation ----
//
// The stored form of a value is what SQLite holds: an invalid QVariant (NULL), qint64 (INTEGER), double
// (REAL), QString (TEXT) or QByteArray (BLOB). Booleans are 0/1, dates REAL seconds since the Unix epoch
// (milliseconds / 1000.0), decimals their text. Writing values with toSqlValue and bindSqlValue keeps what
// the store holds and what predicates compare the same.

// The stored form of an attribute value: null (invalid, null QString / QByteArray, invalid QDateTime) is NULL.
// *representable becomes false for a value that has no stored form of the attribute's kind (NaN, an
// unreadable number); the result is then NULL, except for a decimal attribute, which keeps an unreadable text
// as it is (such a constant still compares as unrepresentable).
QVariant toSqlValue(const QVariant &value, const AttributeDescription &attribute, bool *representable = nullptr);
QVariant toSqlValue(const QVariant &value, AttributeType type, bool *representable = nullptr);
// Binds a stored-form value (texts through toSqliteText); returns SQLite's result code.
int bindSqlValue(sqlite3_stmt *statement, int index, const QVariant &value);
// Reads a stored-form value back from a result column.
QVariant readSqlValue(sqlite3_stmt *statement, int column);

enum class SqlCollation { Binary, Utf16, Decimal, LocalizedNoCase, CaseFold };

// The name registerCollations gives a collation; null for Binary, which is SQLite's own default.
const char *sqlCollationName(SqlCollation collation);

// SQLite's ordering of two stored-form values: NULL < numbers < texts < blobs; numbers by value, texts by the
// collation, blobs bytewise.
int compareSqlValues(const QVariant &a, const QVariant &b, SqlCollation collation);

// The object a key path's last step is read from: its to-one steps walked from start in memory; null when one
// of them is unset. *valid becomes false when a step is not a to-one relationship of the object's entity (SQL
// would refuse the key path).
const PredicateSubject *walkToOneSteps(const PredicateSubject &start, const QStringList &path, bool *valid);

// Whether a constant given to a predicate means null: invalid, a null QString / QByteArray / QDateTime, or a
// null ObjectRef.
bool isNilConstant(const QVariant &value);

} // namespace platform::store
