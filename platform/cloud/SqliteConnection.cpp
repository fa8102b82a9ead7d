#include "platform/cloud/SqliteConnection.h"

#include "platform/cloud/CloudError.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <sqlite3.h>

namespace platform::cloud {

using platform::core::QDError;

std::unique_ptr<SqliteConnection> SqliteConnection::open(const QString &path, const QString &account, QDError *error)
{
    const QFileInfo info(path);
    const bool newFolder = !QFileInfo::exists(info.absolutePath());
    if (!QDir().mkpath(info.absolutePath())) {
        platform::core::setError(error, CloudErrors::make(BadContainer,
                                                          QStringLiteral("The cloud database folder %1 cannot be made.")
                                                              .arg(info.absolutePath())));
        return nullptr;
    }
    if (newFolder)
        QFile::setPermissions(info.absolutePath(),
                              QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    if (!info.exists()) {
        // Other users of the machine must not read the account's data: the file is made private before
        // SQLite writes anything into it.
        QFile file(path);
        if (file.open(QIODevice::WriteOnly | QIODevice::NewOnly))
            file.close();
        QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    }
    std::unique_ptr<SqliteConnection> connection(new SqliteConnection);
    connection->m_path = path;
    connection->m_account = account;
    const int rc = sqlite3_open_v2(QFile::encodeName(path).constData(), &connection->m_db,
                                   SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX, nullptr);
    if (rc != SQLITE_OK) {
        platform::core::setError(error, connection->lastError(QStringLiteral("open")));
        return nullptr;
    }
    sqlite3_busy_timeout(connection->m_db, 15000);
    sqlite3_extended_result_codes(connection->m_db, 1);
    if (!connection->execScript(QStringLiteral("PRAGMA journal_mode=WAL; PRAGMA synchronous=NORMAL;"), error))
        return nullptr;
    QList<SqlRow> rows;
    if (!connection->exec(QStringLiteral("PRAGMA quick_check"), {}, &rows, error))
        return nullptr;
    if (rows.isEmpty() || sqlText(rows.first().value(0)) != QStringLiteral("ok")) {
        platform::core::setError(error, CloudErrors::make(BadDatabase,
                                                          QStringLiteral("The cloud database %1 is damaged.").arg(path)));
        return nullptr;
    }
    return connection;
}

SqliteConnection::~SqliteConnection()
{
    for (sqlite3_stmt *statement : std::as_const(m_statements))
        sqlite3_finalize(statement);
    if (m_db)
        sqlite3_close_v2(m_db);
}

QDError SqliteConnection::lastError(const QString &what) const
{
    const int code = m_db ? sqlite3_extended_errcode(m_db) : SQLITE_CANTOPEN;
    const QString message = m_db ? QString::fromUtf8(sqlite3_errmsg(m_db)) : QStringLiteral("cannot open");
    const QString text = QStringLiteral("The cloud database failed (%1): %2").arg(what, message);
    switch (code & 0xff) {
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
        // Another client holds the file longer than the busy timeout: worth trying again shortly.
        return CloudErrors::withRetryAfter(ServiceUnavailable, 1.0, text);
    case SQLITE_CORRUPT:
    case SQLITE_NOTADB:
        return CloudErrors::make(BadDatabase, text);
    case SQLITE_CANTOPEN:
    case SQLITE_IOERR:
    case SQLITE_FULL:
    case SQLITE_READONLY:
        return CloudErrors::make(ServiceUnavailable, text);
    default:
        return CloudErrors::make(InternalError, text);
    }
}

namespace {

class SqliteRowView final : public SqlRowView
{
public:
    explicit SqliteRowView(sqlite3_stmt *statement) : m_statement(statement) {}
    bool isNull(int column) const override { return sqlite3_column_type(m_statement, column) == SQLITE_NULL; }
    qint64 integer(int column) const override { return sqlite3_column_int64(m_statement, column); }
    QByteArrayView bytes(int column) const override
    {
        const void *data = sqlite3_column_type(m_statement, column) == SQLITE_BLOB
                               ? sqlite3_column_blob(m_statement, column)
                               : static_cast<const void *>(sqlite3_column_text(m_statement, column));
        return QByteArrayView(static_cast<const char *>(data), sqlite3_column_bytes(m_statement, column));
    }

private:
    sqlite3_stmt *m_statement;
};

} // namespace

sqlite3_stmt *SqliteConnection::prepare(const QString &sql, const QList<SqlValue> &params, QDError *error)
{
    sqlite3_stmt *statement = m_statements.value(sql);
    if (!statement) {
        const QByteArray text = sql.toUtf8();
        if (sqlite3_prepare_v3(m_db, text.constData(), int(text.size()), SQLITE_PREPARE_PERSISTENT, &statement,
                               nullptr) != SQLITE_OK) {
            platform::core::setError(error, lastError(QStringLiteral("prepare")));
            return nullptr;
        }
        m_statements.insert(sql, statement);
    }
    sqlite3_reset(statement);
    // Parameters left out are null; when every one is given, each is bound below anyway.
    if (params.size() < sqlite3_bind_parameter_count(statement))
        sqlite3_clear_bindings(statement);
    for (int i = 0; i < params.size(); ++i) {
        const SqlValue &value = params[i];
        const int index = i + 1;
        if (const qint64 *v = std::get_if<qint64>(&value))
            sqlite3_bind_int64(statement, index, *v);
        else if (const double *v = std::get_if<double>(&value))
            sqlite3_bind_double(statement, index, *v);
        else if (const QString *v = std::get_if<QString>(&value)) {
            const QByteArray utf8 = v->toUtf8();
            sqlite3_bind_text(statement, index, utf8.constData(), int(utf8.size()), SQLITE_TRANSIENT);
        } else if (const QByteArray *v = std::get_if<QByteArray>(&value))
            sqlite3_bind_blob(statement, index, v->constData(), int(v->size()), SQLITE_TRANSIENT);
        else
            sqlite3_bind_null(statement, index);
    }
    return statement;
}

bool SqliteConnection::stepRows(sqlite3_stmt *statement, const std::function<bool()> &onRow, QDError *error)
{
    for (;;) {
        const int rc = sqlite3_step(statement);
        if (rc == SQLITE_DONE)
            break;
        if (rc != SQLITE_ROW) {
            const QDError failure = lastError(QStringLiteral("step"));
            sqlite3_reset(statement);
            return platform::core::setError(error, failure);
        }
        if (!onRow())
            break;
    }
    sqlite3_reset(statement);
    return true;
}

bool SqliteConnection::exec(const QString &sql, const QList<SqlValue> &params, QList<SqlRow> *rows, QDError *error)
{
    sqlite3_stmt *statement = prepare(sql, params, error);
    if (!statement)
        return false;
    return stepRows(
        statement,
        [&] {
            if (!rows)
                return true;
            SqlRow row;
            const int columns = sqlite3_column_count(statement);
            row.reserve(columns);
            for (int c = 0; c < columns; ++c) {
                switch (sqlite3_column_type(statement, c)) {
                case SQLITE_INTEGER: row.append(qint64(sqlite3_column_int64(statement, c))); break;
                case SQLITE_FLOAT: row.append(sqlite3_column_double(statement, c)); break;
                case SQLITE_TEXT:
                    row.append(QString::fromUtf8(reinterpret_cast<const char *>(sqlite3_column_text(statement, c)),
                                                 sqlite3_column_bytes(statement, c)));
                    break;
                case SQLITE_BLOB: {
                    const void *data = sqlite3_column_blob(statement, c);
                    row.append(QByteArray(static_cast<const char *>(data), sqlite3_column_bytes(statement, c)));
                    break;
                }
                default: row.append(std::monostate()); break;
                }
            }
            rows->append(row);
            return true;
        },
        error);
}

bool SqliteConnection::query(const QString &sql, const QList<SqlValue> &params,
                             const std::function<bool(const SqlRowView &row)> &row, QDError *error)
{
    sqlite3_stmt *statement = prepare(sql, params, error);
    if (!statement)
        return false;
    const SqliteRowView view(statement);
    return stepRows(statement, [&] { return row(view); }, error);
}

bool SqliteConnection::execScript(const QString &sql, QDError *error)
{
    char *message = nullptr;
    if (sqlite3_exec(m_db, sql.toUtf8().constData(), nullptr, nullptr, &message) != SQLITE_OK) {
        const QDError failure = lastError(QStringLiteral("script"));
        sqlite3_free(message);
        return platform::core::setError(error, failure);
    }
    return true;
}

bool SqliteConnection::beginWrite(QDError *error)
{
    return exec(QStringLiteral("BEGIN IMMEDIATE"), {}, error);
}

bool SqliteConnection::beginRead(QDError *error)
{
    return exec(QStringLiteral("BEGIN"), {}, error);
}

bool SqliteConnection::commit(QDError *error)
{
    if (exec(QStringLiteral("COMMIT"), {}, error))
        return true;
    rollback();
    return false;
}

void SqliteConnection::rollback()
{
    if (!sqlite3_get_autocommit(m_db))
        exec(QStringLiteral("ROLLBACK"), {}, nullptr);
}

bool SqliteConnection::takeChangeSignal()
{
    // data_version moves whenever another connection commits to the file.
    QList<SqlRow> rows;
    if (!exec(QStringLiteral("PRAGMA data_version"), {}, &rows, nullptr) || rows.isEmpty())
        return false;
    const qint64 version = sqlInt(rows.first().value(0));
    const bool changed = m_dataVersion != -1 && version != m_dataVersion;
    m_dataVersion = version;
    return changed;
}

} // namespace platform::cloud
