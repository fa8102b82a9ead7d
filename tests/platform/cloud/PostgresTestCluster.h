#pragma once

#include <QString>
#include <QTemporaryDir>

#include <memory>

namespace quendel::test {

// A private, throwaway PostgreSQL server for the tests of this program: made with initdb in a temporary
// folder, listening only on a Unix socket in that folder, with password logins, and stopped when the
// program ends. It never touches a cluster of the system.
//
// The server refuses to run as root, so when the tests run as root the server's programs run as the
// system's "postgres" user through runuser, and the folders are handed to that user. A template cluster,
// made once in the temporary folder and copied by each test program, saves running initdb every time.
class PostgresTestCluster
{
public:
    // The one server of this test program, started on first use; null, with the reason, when the PostgreSQL
    // programs are not installed or the server cannot start.
    static PostgresTestCluster *shared(QString *whyNot);
    // True where the PostgreSQL runs must not be skipped (CI sets QUENDEL_REQUIRE_POSTGRES): a missing
    // server is then a failure.
    static bool required() { return !qEnvironmentVariableIsEmpty("QUENDEL_REQUIRE_POSTGRES"); }
    // Stops the shared server (at the end of the program).
    static void stopShared();

    ~PostgresTestCluster();

    // The superuser's address, and an account's (made on first use, with its password).
    QString adminURL() const;
    QString accountURL(const QString &account, const QString &password = QStringLiteral("secret-pw"));
    QString socketFolder() const { return m_dir.path(); }

private:
    PostgresTestCluster() = default;
    bool start(QString *whyNot);
    bool run(const QString &program, const QStringList &arguments, QString *output);
    bool prepareTemplate(QString *whyNot);
    bool startServer(const QString &folder, QString *output);
    // Gives a path to the postgres user when the server runs as that user.
    bool handOver(const QString &path);

    QTemporaryDir m_dir;
    QString m_binDir;
    QString m_template;
    bool m_asPostgresUser = false;
    bool m_running = false;
};

} // namespace quendel::test
