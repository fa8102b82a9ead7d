#include "platform/cloud/CloudServiceFactory.h"

#include "platform/cloud/CloudError.h"
#include "platform/cloud/CloudSchema.h"
#include "platform/cloud/PostgresConnection.h"

#include <QStandardPaths>
#include <QUrl>
#include <QUrlQuery>
#include <QUuid>

namespace platform::cloud {

using platform::core::QDError;
using platform::core::setError;

QString CloudServiceFactory::defaultSqlitePath()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
           QStringLiteral("/QuendelCloud/cloud.sqlite");
}

QString CloudServiceFactory::serviceURL(const QString &configured)
{
    const QString fromEnvironment = qEnvironmentVariable(UrlEnvironmentVariable);
    if (!fromEnvironment.isEmpty())
        return fromEnvironment;
    if (!configured.isEmpty())
        return configured;
    return QStringLiteral("sqlite:") + defaultSqlitePath();
}

std::shared_ptr<SqlCloudService> CloudServiceFactory::openBacking(const QString &url,
                                                                  const SqlCloudService::Options &options,
                                                                  QDError *error)
{
    if (url.startsWith(QLatin1String("sqlite:"))) {
        QString rest = url.mid(7);
        QString account;
        const qsizetype question = rest.indexOf(QLatin1Char('?'));
        if (question >= 0) {
            account = QUrlQuery(rest.mid(question + 1)).queryItemValue(QStringLiteral("account"), QUrl::FullyDecoded);
            rest = rest.left(question);
        }
        if (rest.startsWith(QLatin1String("//")))
            rest = QUrl(QStringLiteral("file:") + rest).toLocalFile();
        return SqlCloudService::openSqlite(rest.isEmpty() ? defaultSqlitePath() : rest, account, options, error);
    }
    if (url.startsWith(QLatin1String("postgresql://")) || url.startsWith(QLatin1String("postgres://")))
        return SqlCloudService::openPostgres(url, options, error);
    setError(error, CloudErrors::make(BadContainer, QStringLiteral("The cloud service address %1 is not one Quendel "
                                                                   "knows (sqlite: or postgresql://).")
                                                        .arg(url)));
    return nullptr;
}

std::shared_ptr<FaultInjectingCloudService> CloudServiceFactory::open(const QString &url,
                                                                     const SqlCloudService::Options &options,
                                                                     QDError *error)
{
    std::shared_ptr<SqlCloudService> backing = openBacking(url, options, error);
    if (!backing)
        return nullptr;
    return std::make_shared<FaultInjectingCloudService>(backing);
}

namespace {

// Role names become quoted identifiers; a role name is never pasted into a statement unquoted.
QString quotedIdentifier(const QString &name)
{
    QString inner = name;
    inner.replace(QLatin1Char('"'), QStringLiteral("\"\""));
    return QLatin1Char('"') + inner + QLatin1Char('"');
}

QString quotedLiteral(const QString &text)
{
    QString inner = text;
    inner.replace(QLatin1Char('\''), QStringLiteral("''"));
    return QLatin1Char('\'') + inner + QLatin1Char('\'');
}

} // namespace

bool PostgresCloudAdmin::install(const QString &adminConninfo, QDError *error)
{
    std::unique_ptr<PostgresConnection> connection = PostgresConnection::open(adminConninfo, error);
    return connection && CloudSchema::install(*connection, error);
}

bool PostgresCloudAdmin::createAccount(const QString &adminConninfo, const QString &account, const QString &password,
                                       QDError *error)
{
    if (account.isEmpty() || account.size() > 63 || account.contains(QChar(0)))
        return setError(error, CloudErrors::make(InvalidArguments, QStringLiteral("An account needs a role name of "
                                                                                  "at most 63 characters.")));
    std::unique_ptr<PostgresConnection> connection = PostgresConnection::open(adminConninfo, error);
    if (!connection || !connection->beginWrite(error))
        return false;
    QList<SqlRow> rows;
    bool ok = connection->exec(QStringLiteral("SELECT 1 FROM pg_roles WHERE rolname = ?"), {account}, &rows, error);
    if (ok && rows.isEmpty())
        ok = connection->execScript(QStringLiteral("CREATE ROLE %1 LOGIN PASSWORD %2")
                                        .arg(quotedIdentifier(account), quotedLiteral(password)),
                                    error);
    ok = ok && connection->execScript(QStringLiteral("GRANT %1 TO %2")
                                          .arg(CloudSchema::AccountsRole, quotedIdentifier(account)),
                                      error);
    ok = ok && connection->exec(QStringLiteral("INSERT INTO cloud_accounts (account, user_record_name) VALUES (?, ?) "
                                               "ON CONFLICT (account) DO NOTHING"),
                                {account, QLatin1Char('_') + QUuid::createUuid().toString(QUuid::Id128)}, error);
    if (!ok) {
        connection->rollback();
        return false;
    }
    return connection->commit(error);
}

bool PostgresCloudAdmin::setQuota(const QString &adminConninfo, const QString &account, std::optional<qint64> bytes,
                                  QDError *error)
{
    std::unique_ptr<PostgresConnection> connection = PostgresConnection::open(adminConninfo, error);
    return connection && connection->exec(QStringLiteral("UPDATE cloud_accounts SET quota_bytes = ? WHERE account = ?"),
                                          {bytes ? SqlValue(*bytes) : SqlValue(), account}, error);
}

} // namespace platform::cloud
