#pragma once

#include "platform/cloud/SqlConnection.h"

#include <QHash>

typedef struct pg_conn PGconn;
typedef struct pg_result PGresult;

namespace platform::cloud {

// The backing for several machines: a PostgreSQL server reached through libpq. The role the connection
// logs in as is the account; row-level security on the server keeps every other account's rows out of
// its reach.
class PostgresConnection final : public SqlConnection
{
public:
    // `conninfo` is a "postgresql://" URL or a key=value string. Null and the error on failure: an
    // unreachable server answers network unavailable (3), a refused login not authenticated (9).
    static std::unique_ptr<PostgresConnection> open(const QString &conninfo, platform::core::QDError *error);
    ~PostgresConnection() override;

    Dialect dialect() const override { return Dialect::PostgreSQL; }
    QString accountName() const override { return m_account; }
    bool exec(const QString &sql, const QList<SqlValue> &params, QList<SqlRow> *rows,
              platform::core::QDError *error) override;
    using SqlConnection::exec;
    bool query(const QString &sql, const QList<SqlValue> &params,
               const std::function<bool(const SqlRowView &row)> &row, platform::core::QDError *error) override;
    bool execScript(const QString &sql, platform::core::QDError *error) override;
    bool beginWrite(platform::core::QDError *error) override;
    bool beginRead(platform::core::QDError *error) override;
    bool commit(platform::core::QDError *error) override;
    void rollback() override;
    QString forUpdate() const override { return QStringLiteral(" FOR UPDATE"); }
    bool isConnected() const override;
    bool listen(const QString &channel, platform::core::QDError *error) override;
    int socketDescriptor() const override;
    bool takeChangeSignal() override;
    bool notify(const QString &channel, platform::core::QDError *error) override;

    // The channel name of an account's pushes: a quoted identifier of our own making, never user text.
    static QString channelFor(const QString &account);

private:
    PostgresConnection() = default;
    platform::core::QDError failure(const QString &what, const PGresult *result) const;
    bool ensureConnected(platform::core::QDError *error);
    // Runs a statement, prepared once; the answer in text (0) or binary (1) form, or null and the error.
    PGresult *run(const QString &sql, const QList<SqlValue> &params, int resultFormat, platform::core::QDError *error);

    PGconn *m_conn = nullptr;
    QString m_account;
    QHash<QString, QByteArray> m_prepared; // statement text -> prepared name
    bool m_inTransaction = false;
};

} // namespace platform::cloud
