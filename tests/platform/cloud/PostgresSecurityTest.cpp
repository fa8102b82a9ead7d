#include "PostgresTestCluster.h"

#include "platform/cloud/CloudError.h"
#include "platform/cloud/CloudServiceFactory.h"
#include "platform/cloud/PostgresConnection.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace platform::cloud;
using platform::core::QDError;

namespace quendel::test {
namespace {

// One account must never reach another's rows on a shared server, whatever statements it sends.
class PostgresSecurity : public ::testing::Test
{
protected:
    void SetUp() override
    {
        QString why;
        m_cluster = PostgresTestCluster::shared(&why);
        if (!m_cluster && PostgresTestCluster::required())
            FAIL() << "PostgreSQL backing required but not available: " << why.toStdString();
        if (!m_cluster)
            GTEST_SKIP() << "PostgreSQL backing not tested: " << why.toStdString();
        static int round = 0;
        ++round;
        m_alice = QStringLiteral("sec_alice_%1").arg(round);
        m_bob = QStringLiteral("sec_bob_%1").arg(round);
        SqlCloudService::Options options;
        options.assetCacheFolder = m_dir.filePath(QStringLiteral("cache"));
        QDError error;
        m_aliceService = CloudServiceFactory::openBacking(m_cluster->accountURL(m_alice, QStringLiteral("alice-pw")),
                                                          options, &error);
        ASSERT_TRUE(m_aliceService) << error.toString().toStdString();
        const RecordZoneID zone(QStringLiteral("Data"));
        ASSERT_TRUE(m_aliceService->saveZones(DatabaseScope::Private, {zone}).error.isNull());
        Record record(QStringLiteral("Person"), RecordID(QStringLiteral("Person.Secret"), zone));
        record.setValue(QStringLiteral("note"), QStringLiteral("alice only"));
        ModifyRecordsRequest request;
        request.recordsToSave = {record};
        ASSERT_TRUE(m_aliceService->modifyRecords(request).error.isNull());
        m_bobURL = m_cluster->accountURL(m_bob, QStringLiteral("bob-pw"));
        m_bobConnection = PostgresConnection::open(m_bobURL, &error);
        ASSERT_TRUE(m_bobConnection) << error.toString().toStdString();
    }

    qint64 count(const QString &sql, const QList<SqlValue> &params = {})
    {
        QList<SqlRow> rows;
        QDError error;
        EXPECT_TRUE(m_bobConnection->exec(sql, params, &rows, &error)) << error.toString().toStdString();
        return rows.isEmpty() ? -1 : sqlInt(rows.first().value(0));
    }

    QTemporaryDir m_dir;
    PostgresTestCluster *m_cluster = nullptr;
    QString m_alice, m_bob, m_bobURL;
    std::shared_ptr<SqlCloudService> m_aliceService;
    std::unique_ptr<PostgresConnection> m_bobConnection;
};

TEST_F(PostgresSecurity, AnotherAccountSeesNoneOfTheRows)
{
    for (const char *table : {"cloud_records", "cloud_zones", "cloud_subscriptions", "cloud_operations", "cloud_pushes"}) {
        EXPECT_EQ(count(QStringLiteral("SELECT COUNT(*) FROM %1 WHERE account = ?").arg(QLatin1String(table)), {m_alice}), 0)
            << table;
    }
    EXPECT_EQ(count(QStringLiteral("SELECT COUNT(*) FROM cloud_accounts")), 1);
    EXPECT_EQ(count(QStringLiteral("SELECT COUNT(*) FROM cloud_records WHERE record_name = 'Person.Secret'")), 0);
}

TEST_F(PostgresSecurity, AnotherAccountCannotWriteOrTakeOverTheRows)
{
    QDError error;
    // Rows claiming to be alice's are refused outright.
    EXPECT_FALSE(m_bobConnection->exec(
        QStringLiteral("INSERT INTO cloud_zones (account, db, zone_name, owner_name, incarnation) VALUES (?, 2, 'X', "
                       "'o', 'i')"),
        {m_alice}, &error));
    EXPECT_TRUE(CloudErrors::isCloudError(error, PermissionFailure)) << error.toString().toStdString();
    // Updates and deletes of alice's rows touch nothing.
    QList<SqlRow> rows;
    ASSERT_TRUE(m_bobConnection->exec(QStringLiteral("UPDATE cloud_records SET fields = NULL WHERE account = ? "
                                                     "RETURNING record_name"),
                                      {m_alice}, &rows, &error));
    EXPECT_TRUE(rows.isEmpty());
    ASSERT_TRUE(m_bobConnection->exec(QStringLiteral("DELETE FROM cloud_records WHERE account = ? RETURNING record_name"),
                                      {m_alice}, &rows, &error));
    EXPECT_TRUE(rows.isEmpty());
    // Moving his own row over to alice is refused too.
    EXPECT_FALSE(m_bobConnection->exec(QStringLiteral("UPDATE cloud_accounts SET account = ? WHERE account = ?"),
                                       {m_alice, m_bob}, &error));
    // He can neither become alice nor raise his own quota.
    EXPECT_FALSE(m_bobConnection->execScript(QStringLiteral("SET ROLE \"%1\"").arg(m_alice), &error));
    EXPECT_FALSE(m_bobConnection->exec(QStringLiteral("UPDATE cloud_accounts SET quota_bytes = NULL WHERE account = ?"),
                                       {m_bob}, &error));
    EXPECT_TRUE(CloudErrors::isCloudError(error, PermissionFailure));
    EXPECT_FALSE(m_bobConnection->execScript(QStringLiteral("ALTER TABLE cloud_records DISABLE ROW LEVEL SECURITY"), &error));

    // Alice's record is untouched.
    const FetchRecordsResult fetched =
        m_aliceService->fetchRecords(DatabaseScope::Private, {RecordID(QStringLiteral("Person.Secret"),
                                                                       RecordZoneID(QStringLiteral("Data")))});
    ASSERT_EQ(fetched.records.size(), 1);
    EXPECT_EQ(fetched.records.first().value(QStringLiteral("note")).toString(), QStringLiteral("alice only"));
}

TEST_F(PostgresSecurity, LoggingInAsAnotherAccountNeedsItsPassword)
{
    QDError error;
    QString url = m_bobURL;
    url.replace(m_bob + QStringLiteral(":bob-pw"), m_alice + QStringLiteral(":bob-pw"));
    SqlCloudService::Options options;
    options.assetCacheFolder = m_dir.filePath(QStringLiteral("cache2"));
    EXPECT_FALSE(CloudServiceFactory::openBacking(url, options, &error));
    EXPECT_TRUE(CloudErrors::isCloudError(error, NotAuthenticated)) << error.toString().toStdString();
    // A role the administrator never made is refused the same way.
    url.replace(m_alice, QStringLiteral("nobody_here"));
    EXPECT_FALSE(CloudServiceFactory::openBacking(url, options, &error));
    EXPECT_TRUE(CloudErrors::isCloudError(error, NotAuthenticated)) << error.toString().toStdString();
}

TEST_F(PostgresSecurity, AnUnreachableServerIsANetworkError)
{
    QDError error;
    SqlCloudService::Options options;
    EXPECT_FALSE(CloudServiceFactory::openBacking(
        QStringLiteral("postgresql://x:y@/quendel?host=%1&connect_timeout=2").arg(m_dir.filePath(QStringLiteral("none"))),
        options, &error));
    EXPECT_TRUE(CloudErrors::isCloudError(error, NetworkUnavailable)) << error.toString().toStdString();
}

} // namespace
} // namespace quendel::test
