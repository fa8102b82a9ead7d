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
// system's "postgres" user through runuser, and the folder is handed to that user.
class PostgresTestCluster
{
public:
    // The one server of this test program, started on first use; null, with the reason, when the PostgreSQL
    // programs are not installed or the server cannot start.
    static PostgresTestCluster *shared(QString *whyNot);
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

    QTemporaryDir m_dir;
    QString m_binDir;
    bool m_asPostgresUser = false;
    bool m_running = false;
};

} // namespace quendel::test
