#pragma once

#include "platform/core/QDError.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <QByteArrayView>

#include <functional>
#include <memory>
#include <variant>

namespace platform::cloud {

// One value bound to or read from a statement.
using SqlValue = std::variant<std::monostate, qint64, double, QString, QByteArray>;
using SqlRow = QList<SqlValue>;

qint64 sqlInt(const SqlValue &value, qint64 fallback = 0);
double sqlDouble(const SqlValue &value);
QString sqlText(const SqlValue &value);
QByteArray sqlBytes(const SqlValue &value);
inline bool sqlIsNull(const SqlValue &value) { return std::holds_alternative<std::monostate>(value); }

// One row of a statement's answer, read where the connection holds it: what text() and bytes() give
// stays valid only while the row is being read.
class SqlRowView
{
public:
    virtual ~SqlRowView() = default;
    virtual bool isNull(int column) const = 0;
    virtual qint64 integer(int column) const = 0;
    // Texts as their UTF-8 bytes, byte columns as they are.
    virtual QByteArrayView bytes(int column) const = 0;
    QString text(int column) const { return QString::fromUtf8(bytes(column)); }
};

// One connection to the database that holds the cloud service's tables. The service's rules are written
// once over this; each backing adapts its statements (placeholders are written as '?') and maps its
// failures onto the service's numbered errors. Not thread-safe: its owner serialises the calls.
class SqlConnection
{
public:
    enum class Dialect { SQLite, PostgreSQL };

    virtual ~SqlConnection() = default;
    virtual Dialect dialect() const = 0;
    // The account every row this connection writes belongs to.
    virtual QString accountName() const = 0;

    virtual bool exec(const QString &sql, const QList<SqlValue> &params, QList<SqlRow> *rows,
                      platform::core::QDError *error) = 0;
    bool exec(const QString &sql, const QList<SqlValue> &params, platform::core::QDError *error)
    {
        return exec(sql, params, nullptr, error);
    }
    // Runs a statement and hands each row of its answer to `row` as it is read, with no copy of the values
    // in between; `row` answers false to stop. `row` may run other statements, but not this one.
    virtual bool query(const QString &sql, const QList<SqlValue> &params,
                       const std::function<bool(const SqlRowView &row)> &row, platform::core::QDError *error) = 0;
    // Several statements without parameters.
    virtual bool execScript(const QString &sql, platform::core::QDError *error) = 0;

    // A write transaction takes the database's write lock at once (SQLite) or runs at read committed with
    // row locks taken by forUpdate() (PostgreSQL); a read transaction sees one snapshot.
    virtual bool beginWrite(platform::core::QDError *error) = 0;
    virtual bool beginRead(platform::core::QDError *error) = 0;
    virtual bool commit(platform::core::QDError *error) = 0;
    virtual void rollback() = 0;
    // Appended to a SELECT that must lock the rows it reads until the transaction ends.
    virtual QString forUpdate() const = 0;

    virtual bool isConnected() const = 0;

    // Change pushes. A connection able to wait on a socket gives its descriptor; one that cannot is asked
    // at a short interval. takeChangeSignal answers whether another connection changed something since
    // the last call (it may answer true more often than needed, never less).
    virtual bool listen(const QString &channel, platform::core::QDError *error) = 0;
    virtual int socketDescriptor() const = 0;
    virtual bool takeChangeSignal() = 0;
    // Wakes the listeners of `channel` when the running transaction commits.
    virtual bool notify(const QString &channel, platform::core::QDError *error) = 0;
};

} // namespace platform::cloud
