#include "PostgresTestCluster.h"

#include "platform/cloud/CloudServiceFactory.h"
#include "platform/cloud/PostgresConnection.h"

#include <QDir>
#include <QFile>
#include <QLockFile>
#include <QProcess>
#include <QStandardPaths>
#include <QUrl>

#include <gtest/gtest.h>

#include <pwd.h>
#include <unistd.h>

namespace quendel::test {

namespace {

const QString AdminPassword = QStringLiteral("admin-secret");
std::unique_ptr<PostgresTestCluster> g_cluster;
QString g_failure;
bool g_tried = false;

QString findBinDir()
{
    if (const QString initdb = QStandardPaths::findExecutable(QStringLiteral("initdb")); !initdb.isEmpty())
        return QFileInfo(QFileInfo(initdb).canonicalFilePath()).absolutePath();
    // Debian keeps the server programs out of PATH, one folder per major version.
    QDir versions(QStringLiteral("/usr/lib/postgresql"));
    QStringList entries = versions.entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name);
    std::sort(entries.begin(), entries.end(), [](const QString &a, const QString &b) { return a.toInt() > b.toInt(); });
    for (const QString &version : entries) {
        const QString bin = versions.filePath(version + QStringLiteral("/bin"));
        if (QFile::exists(bin + QStringLiteral("/initdb")) && QFile::exists(bin + QStringLiteral("/pg_ctl")))
            return bin;
    }
    return QString();
}

class ClusterEnvironment : public ::testing::Environment
{
public:
    void TearDown() override { PostgresTestCluster::stopShared(); }
};

[[maybe_unused]] ::testing::Environment *const g_environment =
    ::testing::AddGlobalTestEnvironment(new ClusterEnvironment);

} // namespace

PostgresTestCluster *PostgresTestCluster::shared(QString *whyNot)
{
    if (!g_tried) {
        g_tried = true;
        std::unique_ptr<PostgresTestCluster> cluster(new PostgresTestCluster);
        if (cluster->start(&g_failure))
            g_cluster = std::move(cluster);
    }
    if (!g_cluster && whyNot)
        *whyNot = g_failure;
    return g_cluster.get();
}

void PostgresTestCluster::stopShared()
{
    g_cluster.reset();
}

bool PostgresTestCluster::run(const QString &program, const QStringList &arguments, QString *output)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.setWorkingDirectory(m_dir.path());
    const QString path = program.startsWith(QLatin1Char('/')) ? program : m_binDir + QLatin1Char('/') + program;
    if (m_asPostgresUser)
        process.start(QStringLiteral("runuser"), QStringList{QStringLiteral("-u"), QStringLiteral("postgres"),
                                                             QStringLiteral("--"), path} + arguments);
    else
        process.start(path, arguments);
    const bool finished = process.waitForFinished(60000);
    if (output)
        *output = QString::fromLocal8Bit(process.readAll());
    return finished && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
}

bool PostgresTestCluster::start(QString *whyNot)
{
    m_binDir = findBinDir();
    if (m_binDir.isEmpty()) {
        *whyNot = QStringLiteral("PostgreSQL server programs (initdb, pg_ctl) are not installed; run "
                                 "scripts/install-deps to install the postgresql package.");
        return false;
    }
    if (!m_dir.isValid()) {
        *whyNot = QStringLiteral("no temporary folder for the test server");
        return false;
    }
    if (geteuid() == 0) {
        const passwd *user = getpwnam("postgres");
        if (!user) {
            *whyNot = QStringLiteral("running as root and there is no \"postgres\" user to run the test server as");
            return false;
        }
        m_asPostgresUser = true;
        if (chown(QFile::encodeName(m_dir.path()).constData(), user->pw_uid, user->pw_gid) != 0) {
            *whyNot = QStringLiteral("cannot hand the test server's folder to the postgres user");
            return false;
        }
    }
    // Making a cluster takes many seconds; each test program copies one made once (under a lock, shared by
    // the test programs running side by side) and starts the copy.
    if (!prepareTemplate(whyNot))
        return false;
    QString output;
    if (!run(QStringLiteral("/bin/cp"), {QStringLiteral("-a"), m_template + QStringLiteral("/data"), m_dir.path()},
             &output)) {
        *whyNot = QStringLiteral("cannot copy the template cluster: ") + output;
        return false;
    }
    if (!startServer(m_dir.path(), &output)) {
        *whyNot = QStringLiteral("the test server did not start: ") + output;
        return false;
    }
    m_running = true;
    // Picks up any change of the tables or policies since the template was made.
    platform::core::QDError error;
    if (!platform::cloud::PostgresCloudAdmin::install(adminURL(), &error)) {
        *whyNot = QStringLiteral("cannot install the cloud tables: ") + error.toString();
        return false;
    }
    return true;
}

bool PostgresTestCluster::startServer(const QString &folder, QString *output)
{
    const QString options = QStringLiteral("-k %1 -c listen_addresses='' -p 5432 -c fsync=off -c "
                                           "full_page_writes=off -c synchronous_commit=off -c shared_buffers=16MB")
                                .arg(folder);
    return run(QStringLiteral("pg_ctl"),
               {QStringLiteral("-D"), folder + QStringLiteral("/data"), QStringLiteral("-l"),
                folder + QStringLiteral("/server.log"), QStringLiteral("-w"), QStringLiteral("-o"), options,
                QStringLiteral("start")},
               output);
}

bool PostgresTestCluster::prepareTemplate(QString *whyNot)
{
    m_template = QDir::tempPath() + QStringLiteral("/quendel-pg-template-%1-%2")
                                        .arg(geteuid())
                                        .arg(qHash(m_binDir) % 100000);
    QLockFile lock(m_template + QStringLiteral(".lock"));
    lock.setStaleLockTime(10 * 60 * 1000);
    if (!lock.tryLock(10 * 60 * 1000)) {
        *whyNot = QStringLiteral("cannot lock the template cluster");
        return false;
    }
    if (QFile::exists(m_template + QStringLiteral("/ready")))
        return true;
    QDir(m_template).removeRecursively();
    if (!QDir().mkpath(m_template) || !handOver(m_template)) {
        *whyNot = QStringLiteral("cannot make the template folder for the postgres user");
        return false;
    }
    QFile::setPermissions(m_template, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    const QString passwordFile = m_template + QStringLiteral("/pw");
    {
        QFile file(passwordFile);
        if (!file.open(QIODevice::WriteOnly)) {
            *whyNot = QStringLiteral("cannot write the password file");
            return false;
        }
        file.write(AdminPassword.toUtf8() + '\n');
    }
    handOver(passwordFile);
    QString output;
    if (!run(QStringLiteral("initdb"),
             {QStringLiteral("-D"), m_template + QStringLiteral("/data"), QStringLiteral("-U"),
              QStringLiteral("postgres"), QStringLiteral("--pwfile=") + passwordFile,
              QStringLiteral("--auth-local=scram-sha-256"), QStringLiteral("--auth-host=scram-sha-256"),
              QStringLiteral("-E"), QStringLiteral("UTF8"), QStringLiteral("--locale=C"), QStringLiteral("-N")},
             &output)) {
        *whyNot = QStringLiteral("initdb failed: ") + output;
        return false;
    }
    if (!startServer(m_template, &output)) {
        *whyNot = QStringLiteral("the template server did not start: ") + output;
        return false;
    }
    const QString socket = QString::fromLatin1(QUrl::toPercentEncoding(m_template));
    platform::core::QDError error;
    bool ok = false;
    {
        auto connection = platform::cloud::PostgresConnection::open(
            QStringLiteral("postgresql://postgres:%1@/postgres?host=%2").arg(AdminPassword, socket), &error);
        ok = connection && connection->execScript(QStringLiteral("CREATE DATABASE quendel"), &error);
    }
    ok = ok && platform::cloud::PostgresCloudAdmin::install(
                   QStringLiteral("postgresql://postgres:%1@/quendel?host=%2").arg(AdminPassword, socket), &error);
    run(QStringLiteral("pg_ctl"), {QStringLiteral("-D"), m_template + QStringLiteral("/data"), QStringLiteral("-m"),
                                   QStringLiteral("fast"), QStringLiteral("-w"), QStringLiteral("stop")},
        &output);
    if (!ok) {
        *whyNot = QStringLiteral("cannot make the template database: ") + error.toString();
        return false;
    }
    QFile ready(m_template + QStringLiteral("/ready"));
    return ready.open(QIODevice::WriteOnly);
}

bool PostgresTestCluster::handOver(const QString &path)
{
    if (!m_asPostgresUser)
        return true;
    const passwd *user = getpwnam("postgres");
    return user && chown(QFile::encodeName(path).constData(), user->pw_uid, user->pw_gid) == 0;
}

PostgresTestCluster::~PostgresTestCluster()
{
    if (m_running)
        run(QStringLiteral("pg_ctl"), {QStringLiteral("-D"), m_dir.filePath(QStringLiteral("data")),
                                       QStringLiteral("-m"), QStringLiteral("immediate"), QStringLiteral("-w"),
                                       QStringLiteral("stop")},
            nullptr);
}

QString PostgresTestCluster::adminURL() const
{
    return QStringLiteral("postgresql://postgres:%1@/quendel?host=%2")
        .arg(AdminPassword, QString::fromLatin1(QUrl::toPercentEncoding(m_dir.path())));
}

QString PostgresTestCluster::accountURL(const QString &account, const QString &password)
{
    platform::core::QDError error;
    platform::cloud::PostgresCloudAdmin::createAccount(adminURL(), account, password, &error);
    return QStringLiteral("postgresql://%1:%2@/quendel?host=%3")
        .arg(QString::fromLatin1(QUrl::toPercentEncoding(account)), QString::fromLatin1(QUrl::toPercentEncoding(password)),
             QString::fromLatin1(QUrl::toPercentEncoding(m_dir.path())));
}

} // namespace quendel::test
