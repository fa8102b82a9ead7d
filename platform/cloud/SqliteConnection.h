#pragma once

#include "platform/cloud/SqlConnection.h"

#include <QHash>

struct sqlite3;
struct sqlite3_stmt;

namespace platform::cloud {

// The embedded backing: one SQLite file that every client of the user on this machine opens (WAL, so
// readers never wait for the writer; a busy timeout, so writers queue instead of failing).
class SqliteConnection final : public SqlConnection
{
public:
    // Opens (and creates, mode 0600 in a 0700 folder) the file. Null and the error on failure.
    static std::unique_ptr<SqliteConnection> open(const QString &path, const QString &account,
                                                  platform::core::QDError *error);
    ~SqliteConnection() override;

    Dialect dialect() const override { return Dialect::SQLite; }
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
    QString forUpdate() const override { return QString(); }
    bool isConnected() const override { return m_db != nullptr; }
    bool listen(const QString &, platform::core::QDError *) override { return true; }
    int socketDescriptor() const override { return -1; }
    bool takeChangeSignal() override;
    bool notify(const QString &, platform::core::QDError *) override { return true; }

    const QString &path() const { return m_path; }

private:
    SqliteConnection() = default;
    platform::core::QDError lastError(const QString &what) const;
    // The statement of `sql`, prepared once, reset and bound to `params`; null and the error on failure.
    sqlite3_stmt *prepare(const QString &sql, const QList<SqlValue> &params, platform::core::QDError *error);
    // Steps the prepared statement, calling onRow for each row until it answers false; resets it after.
    bool stepRows(sqlite3_stmt *statement, const std::function<bool()> &onRow, platform::core::QDError *error);

    sqlite3 *m_db = nullptr;
    QString m_path;
    QString m_account;
    QHash<QString, sqlite3_stmt *> m_statements;
    qint64 m_dataVersion = -1;
};

} // namespace platform::cloud
