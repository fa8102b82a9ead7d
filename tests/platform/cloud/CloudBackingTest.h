#pragma once

#include "PostgresTestCluster.h"

#include "platform/cloud/CloudError.h"
#include "platform/cloud/CloudServiceFactory.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace quendel::test {

enum class Backing { SQLite, PostgreSQL };

inline std::string backingName(const ::testing::TestParamInfo<Backing> &info)
{
    return info.param == Backing::SQLite ? "SQLite" : "PostgreSQL";
}

// Runs a test against one backing of the cloud service. The PostgreSQL runs skip, saying why, when the
// server programs are missing; scripts/install-deps installs them, so CI runs them every time.
class CloudBackingTest : public ::testing::TestWithParam<Backing>
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        static int tests = 0;
        m_testNumber = ++tests;
        if (GetParam() == Backing::PostgreSQL) {
            QString why;
            m_cluster = PostgresTestCluster::shared(&why);
            if (!m_cluster && PostgresTestCluster::required())
                FAIL() << "PostgreSQL backing required but not available: " << why.toStdString();
            if (!m_cluster)
                GTEST_SKIP() << "PostgreSQL backing not tested: " << why.toStdString();
        }
    }

    // On the one server of the program each test has accounts of its own, so tests run in one process
    // never see each other's rows.
    QString roleFor(const QString &account) const
    {
        return GetParam() == Backing::PostgreSQL ? account + QStringLiteral("_t") + QString::number(m_testNumber)
                                                 : account;
    }

    QString urlFor(const QString &account)
    {
        if (GetParam() == Backing::PostgreSQL)
            return m_cluster->accountURL(roleFor(account));
        return QStringLiteral("sqlite:%1?account=%2").arg(m_dir.filePath(QStringLiteral("cloud.sqlite")), account);
    }

    platform::cloud::SqlCloudService::Options options(const QString &cacheName = QStringLiteral("cache"))
    {
        platform::cloud::SqlCloudService::Options o;
        o.assetCacheFolder = m_dir.filePath(cacheName);
        o.pushPollMilliseconds = 20;
        return o;
    }

    std::shared_ptr<platform::cloud::SqlCloudService> open(const QString &account = QStringLiteral("alice"),
                                                           const QString &cacheName = QStringLiteral("cache"))
    {
        platform::core::QDError error;
        auto service = platform::cloud::CloudServiceFactory::openBacking(urlFor(account), options(cacheName), &error);
        EXPECT_TRUE(service) << error.toString().toStdString();
        return service;
    }

    std::shared_ptr<platform::cloud::FaultInjectingCloudService> openInjected(const QString &account = QStringLiteral("alice"))
    {
        platform::core::QDError error;
        auto service = platform::cloud::CloudServiceFactory::open(urlFor(account), options(), &error);
        EXPECT_TRUE(service) << error.toString().toStdString();
        return service;
    }

    // The account's storage limit, set as the server's administrator would.
    void setQuota(platform::cloud::SqlCloudService &service, std::optional<qint64> bytes)
    {
        platform::core::QDError error;
        if (GetParam() == Backing::PostgreSQL)
            ASSERT_TRUE(platform::cloud::PostgresCloudAdmin::setQuota(m_cluster->adminURL(), service.accountName(),
                                                                       bytes, &error))
                << error.toString().toStdString();
        else
            ASSERT_TRUE(service.setQuota(bytes, &error)) << error.toString().toStdString();
    }

    QTemporaryDir m_dir;
    PostgresTestCluster *m_cluster = nullptr;
    int m_testNumber = 0;
};

} // namespace quendel::test
