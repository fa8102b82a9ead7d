#include "platform/cloud/PostgresConnection.h"

#include "platform/cloud/CloudError.h"

#include <QCryptographicHash>

#include <libpq-fe.h>

#include <vector>

namespace platform::cloud {

using platform::core::QDError;

namespace {

// Type identifiers of the columns the service reads.
constexpr Oid BoolOid = 16;
constexpr Oid ByteaOid = 17;
constexpr Oid Int8Oid = 20;
constexpr Oid Int2Oid = 21;
constexpr Oid Int4Oid = 23;
constexpr Oid Float4Oid = 700;
constexpr Oid Float8Oid = 701;

// '?' placeholders become $1, $2... (the service's statements hold no '?' inside literals).
QByteArray numberedPlaceholders(const QString &sql)
{
    QString out;
    out.reserve(sql.size() + 16);
    int n = 0;
    for (const QChar c : sql) {
        if (c == QLatin1Char('?'))
            out += QLatin1Char('$') + QString::number(++n);
        else
            out += c;
    }
    return out.toUtf8();
}

} // namespace

std::unique_ptr<PostgresConnection> PostgresConnection::open(const QString &conninfo, QDError *error)
{
    std::unique_ptr<PostgresConnection> connection(new PostgresConnection);
    connection->m_conn = PQconnectdb(conninfo.toUtf8().constData());
    if (!connection->m_conn || PQstatus(connection->m_conn) != CONNECTION_OK) {
        const QString message = connection->m_conn ? QString::fromUtf8(PQerrorMessage(connection->m_conn)).trimmed()
                                                   : QStringLiteral("out of memory");
        // A refused login says nothing about the network; everything else means the server is out of reach.
        const bool refused = message.contains(QLatin1String("authentication failed")) ||
                             message.contains(QLatin1String("password")) ||
                             message.contains(QLatin1String("does not exist"));
        platform::core::setError(
            error, CloudErrors::make(refused ? NotAuthenticated : NetworkUnavailable,
                                     QStringLiteral("The cloud database cannot be reached: %1").arg(message)));
        return nullptr;
    }
    PQsetNoticeProcessor(connection->m_conn, [](void *, const char *) {}, nullptr);
    QList<SqlRow> rows;
    if (!connection->exec(QStringLiteral("SELECT current_user"), {}, &rows, error) || rows.isEmpty())
        return nullptr;
    connection->m_account = sqlText(rows.first().value(0));
    return connection;
}

PostgresConnection::~PostgresConnection()
{
    if (m_conn)
        PQfinish(m_conn);
}

bool PostgresConnection::isConnected() const
{
    return m_conn && PQstatus(m_conn) == CONNECTION_OK;
}

QDError PostgresConnection::failure(const QString &what, const PGresult *result) const
{
    const QString message = QString::fromUtf8(PQerrorMessage(m_conn)).trimmed();
    const QString text = QStringLiteral("The cloud database failed (%1): %2").arg(what, message);
    if (PQstatus(m_conn) != CONNECTION_OK)
        return CloudErrors::make(NetworkFailure, text);
    const char *state = result ? PQresultErrorField(result, PG_DIAG_SQLSTATE) : nullptr;
    const QByteArray sqlState(state ? state : "");
    if (sqlState == "40001" || sqlState == "40P01" || sqlState == "55P03")
        return CloudErrors::withRetryAfter(ZoneBusy, 1.0, text);
    if (sqlState == "42501")
        return CloudErrors::make(PermissionFailure, text);
    if (sqlState == "53100" || sqlState == "53200" || sqlState.startsWith("57") || sqlState.startsWith("08"))
        return CloudErrors::withRetryAfter(ServiceUnavailable, 5.0, text);
    if (sqlState == "23505" || sqlState == "23503")
        return CloudErrors::make(ConstraintViolation, text);
    return CloudErrors::make(InternalError, text);
}

bool PostgresConnection::ensureConnected(QDError *error)
{
    if (!m_conn)
        return platform::core::setError(error, CloudErrors::make(NetworkFailure));
    if (PQstatus(m_conn) == CONNECTION_OK)
        return true;
    // The server went away (restart, network): a transaction in progress is lost and reported; the next
    // call outside one logs in again.
    if (m_inTransaction)
        return platform::core::setError(error, CloudErrors::make(NetworkFailure));
    PQreset(m_conn);
    m_prepared.clear();
    if (PQstatus(m_conn) != CONNECTION_OK)
        return platform::core::setError(
            error, CloudErrors::make(NetworkUnavailable, QStringLiteral("The cloud database cannot be reached: %1")
                                                             .arg(QString::fromUtf8(PQerrorMessage(m_conn)).trimmed())));
    return true;
}

PGresult *PostgresConnection::run(const QString &sql, const QList<SqlValue> &params, int resultFormat, QDError *error)
{
    if (!ensureConnected(error))
        return nullptr;
    QByteArray name = m_prepared.value(sql);
    if (name.isEmpty()) {
        name = "q" + QByteArray::number(m_prepared.size() + 1);
        PGresult *prepared = PQprepare(m_conn, name.constData(), numberedPlaceholders(sql).constData(), 0, nullptr);
        const bool ok = prepared && PQresultStatus(prepared) == PGRES_COMMAND_OK;
        const QDError prepareError = ok ? QDError() : failure(QStringLiteral("prepare"), prepared);
        PQclear(prepared);
        if (!ok) {
            platform::core::setError(error, prepareError);
            return nullptr;
        }
        m_prepared.insert(sql, name);
    }
    std::vector<QByteArray> buffers(params.size());
    std::vector<const char *> values(params.size());
    std::vector<int> lengths(params.size());
    std::vector<int> formats(params.size());
    for (int i = 0; i < params.size(); ++i) {
        const SqlValue &value = params[i];
        formats[i] = 0;
        if (const qint64 *v = std::get_if<qint64>(&value))
            buffers[i] = QByteArray::number(*v);
        else if (const double *v = std::get_if<double>(&value))
            buffers[i] = QByteArray::number(*v, 'g', 17);
        else if (const QString *v = std::get_if<QString>(&value))
            buffers[i] = v->toUtf8();
        else if (const QByteArray *v = std::get_if<QByteArray>(&value)) {
            buffers[i] = *v;
            formats[i] = 1; // bytes go over as they are
        } else {
            values[i] = nullptr;
            lengths[i] = 0;
            continue;
        }
        values[i] = buffers[i].constData();
        lengths[i] = int(buffers[i].size());
    }
    PGresult *result = PQexecPrepared(m_conn, name.constData(), int(params.size()), values.data(), lengths.data(),
                                      formats.data(), resultFormat);
    const ExecStatusType status = result ? PQresultStatus(result) : PGRES_FATAL_ERROR;
    if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK) {
        const QDError execError = failure(QStringLiteral("statement"), result);
        PQclear(result);
        if (PQstatus(m_conn) != CONNECTION_OK)
            m_prepared.clear();
        platform::core::setError(error, execError);
        return nullptr;
    }
    return result;
}

namespace {

// A row of an answer in binary form: integers in network order, texts and bytes as they are.
class PostgresRowView final : public SqlRowView
{
public:
    explicit PostgresRowView(const PGresult *result) : m_result(result) {}
    void setRow(int row) { m_row = row; }
    bool isNull(int column) const override { return PQgetisnull(m_result, m_row, column); }
    qint64 integer(int column) const override
    {
        const auto *data = reinterpret_cast<const uchar *>(PQgetvalue(m_result, m_row, column));
        const int length = PQgetlength(m_result, m_row, column);
        switch (PQftype(m_result, column)) {
        case Int8Oid:
        case Int4Oid:
        case Int2Oid:
        case BoolOid: {
            if (length < 1 || length > 8)
                return 0;
            // Sign-extended from the first byte.
            quint64 value = (data[0] & 0x80) ? ~quint64(0) : 0;
            for (int i = 0; i < length; ++i)
                value = (value << 8) | data[i];
            return qint64(value);
        }
        default: return 0;
        }
    }
    QByteArrayView bytes(int column) const override
    {
        return QByteArrayView(PQgetvalue(m_result, m_row, column), PQgetlength(m_result, m_row, column));
    }

private:
    const PGresult *m_result;
    int m_row = 0;
};

} // namespace

bool PostgresConnection::query(const QString &sql, const QList<SqlValue> &params,
                               const std::function<bool(const SqlRowView &row)> &row, QDError *error)
{
    PGresult *result = run(sql, params, 1, error);
    if (!result)
        return false;
    PostgresRowView view(result);
    const int count = PQresultStatus(result) == PGRES_TUPLES_OK ? PQntuples(result) : 0;
    for (int r = 0; r < count; ++r) {
        view.setRow(r);
        if (!row(view))
            break;
    }
    PQclear(result);
    return true;
}

bool PostgresConnection::exec(const QString &sql, const QList<SqlValue> &params, QList<SqlRow> *rows, QDError *error)
{
    PGresult *result = run(sql, params, 0, error);
    if (!result)
        return false;
    const ExecStatusType status = PQresultStatus(result);
    if (rows && status == PGRES_TUPLES_OK) {
        const int count = PQntuples(result);
        const int columns = PQnfields(result);
        rows->reserve(rows->size() + count);
        for (int r = 0; r < count; ++r) {
            SqlRow row;
            row.reserve(columns);
            for (int c = 0; c < columns; ++c) {
                if (PQgetisnull(result, r, c)) {
                    row.append(std::monostate());
                    continue;
                }
                const char *text = PQgetvalue(result, r, c);
                const int length = PQgetlength(result, r, c);
                switch (PQftype(result, c)) {
                case Int8Oid:
                case Int4Oid:
                case Int2Oid: row.append(QByteArray(text, length).toLongLong()); break;
                case BoolOid: row.append(qint64(text[0] == 't' ? 1 : 0)); break;
                case Float4Oid:
                case Float8Oid: row.append(QByteArray(text, length).toDouble()); break;
                case ByteaOid: {
                    size_t size = 0;
                    unsigned char *bytes = PQunescapeBytea(reinterpret_cast<const unsigned char *>(text), &size);
                    row.append(QByteArray(reinterpret_cast<const char *>(bytes), qsizetype(size)));
                    PQfreemem(bytes);
                    break;
                }
                default: row.append(QString::fromUtf8(text, length)); break;
                }
            }
            rows->append(row);
        }
    }
    PQclear(result);
    return true;
}

bool PostgresConnection::execScript(const QString &sql, QDError *error)
{
    if (!ensureConnected(error))
        return false;
    PGresult *result = PQexec(m_conn, sql.toUtf8().constData());
    const ExecStatusType status = result ? PQresultStatus(result) : PGRES_FATAL_ERROR;
    const bool ok = status == PGRES_COMMAND_OK || status == PGRES_TUPLES_OK;
    const QDError scriptError = ok ? QDError() : failure(QStringLiteral("script"), result);
    PQclear(result);
    if (!ok)
        return platform::core::setError(error, scriptError);
    return true;
}

bool PostgresConnection::beginWrite(QDError *error)
{
    m_inTransaction = false;
    m_inTransaction = execScript(QStringLiteral("BEGIN"), error);
    return m_inTransaction;
}

bool PostgresConnection::beginRead(QDError *error)
{
    m_inTransaction = false;
    m_inTransaction = execScript(QStringLiteral("BEGIN ISOLATION LEVEL REPEATABLE READ READ ONLY"), error);
    return m_inTransaction;
}

bool PostgresConnection::commit(QDError *error)
{
    m_inTransaction = false;
    if (execScript(QStringLiteral("COMMIT"), error))
        return true;
    rollback();
    return false;
}

void PostgresConnection::rollback()
{
    m_inTransaction = false;
    if (isConnected() && PQtransactionStatus(m_conn) != PQTRANS_IDLE)
        execScript(QStringLiteral("ROLLBACK"), nullptr);
}

QString PostgresConnection::channelFor(const QString &account)
{
    // Role names may hold any character; a hash keeps the channel a plain identifier.
    return QStringLiteral("quendel_push_") +
           QString::fromLatin1(QCryptographicHash::hash(account.toUtf8(), QCryptographicHash::Sha256).toHex().left(32));
}

bool PostgresConnection::listen(const QString &channel, QDError *error)
{
    return execScript(QStringLiteral("LISTEN ") + channel, error);
}

int PostgresConnection::socketDescriptor() const
{
    return m_conn ? PQsocket(m_conn) : -1;
}

bool PostgresConnection::takeChangeSignal()
{
    if (!m_conn || PQstatus(m_conn) != CONNECTION_OK || !PQconsumeInput(m_conn))
        return false;
    bool any = false;
    while (PGnotify *notification = PQnotifies(m_conn)) {
        any = true;
        PQfreemem(notification);
    }
    return any;
}

bool PostgresConnection::notify(const QString &channel, QDError *error)
{
    return exec(QStringLiteral("SELECT pg_notify(?, '')"), {channel}, error);
}

} // namespace platform::cloud
