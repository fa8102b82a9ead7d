#include "platform/cloud/CloudError.h"
#include "platform/cloud/CloudServiceFactory.h"

#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace platform::cloud;
using platform::core::QDError;

namespace {

TEST(SqliteBacking, TheSharedFileIsPrivateToTheUser)
{
    qunsetenv(CloudServiceFactory::UrlEnvironmentVariable);
    const QString url = CloudServiceFactory::serviceURL();
    EXPECT_EQ(url, QStringLiteral("sqlite:") + CloudServiceFactory::defaultSqlitePath());
    EXPECT_TRUE(CloudServiceFactory::defaultSqlitePath().endsWith(QStringLiteral("/QuendelCloud/cloud.sqlite")));
    QDError error;
    auto service = CloudServiceFactory::open(url, {}, &error);
    ASSERT_TRUE(service) << error.toString().toStdString();
    const QFileInfo file(CloudServiceFactory::defaultSqlitePath());
    EXPECT_EQ(file.permissions() & (QFileDevice::ReadGroup | QFileDevice::ReadOther | QFileDevice::WriteGroup |
                                    QFileDevice::WriteOther),
              QFileDevice::Permissions());
    const QFileInfo folder(file.absolutePath());
    EXPECT_EQ(folder.permissions() & (QFileDevice::ReadOther | QFileDevice::ExeOther | QFileDevice::ReadGroup),
              QFileDevice::Permissions());

    // The environment wins over the setting, which wins over the default.
    EXPECT_EQ(CloudServiceFactory::serviceURL(QStringLiteral("sqlite:/x.sqlite")), QStringLiteral("sqlite:/x.sqlite"));
    qputenv(CloudServiceFactory::UrlEnvironmentVariable, "sqlite:/y.sqlite");
    EXPECT_EQ(CloudServiceFactory::serviceURL(QStringLiteral("sqlite:/x.sqlite")), QStringLiteral("sqlite:/y.sqlite"));
    qunsetenv(CloudServiceFactory::UrlEnvironmentVariable);
}

TEST(SqliteBacking, ADamagedFileIsReportedAndLeftAsItWas)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("cloud.sqlite"));
    const QByteArray junk = QByteArray("SQLite format 3\0", 16) + QByteArray(8192, '\x5a');
    {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(junk);
    }
    QDError error;
    EXPECT_FALSE(CloudServiceFactory::open(QStringLiteral("sqlite:") + path, {}, &error));
    EXPECT_TRUE(CloudErrors::isCloudError(error, BadDatabase)) << error.toString().toStdString();
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), junk);
}

TEST(SqliteBacking, AnUnknownAddressIsRefused)
{
    QDError error;
    EXPECT_FALSE(CloudServiceFactory::open(QStringLiteral("ftp://example.org/cloud"), {}, &error));
    EXPECT_TRUE(CloudErrors::isCloudError(error, BadContainer));
}

TEST(SqliteBacking, AccountsShareTheFileWithoutSharingRows)
{
    QTemporaryDir dir;
    const QString base = QStringLiteral("sqlite:") + dir.filePath(QStringLiteral("cloud.sqlite"));
    QDError error;
    auto alice = CloudServiceFactory::openBacking(base + QStringLiteral("?account=alice"), {}, &error);
    auto bob = CloudServiceFactory::openBacking(base + QStringLiteral("?account=bob"), {}, &error);
    ASSERT_TRUE(alice && bob);
    EXPECT_EQ(alice->accountName(), QStringLiteral("alice"));
    const RecordZoneID zone(QStringLiteral("Z"));
    ASSERT_TRUE(alice->saveZones(DatabaseScope::Private, {zone}).error.isNull());
    EXPECT_EQ(CloudErrors::zoneErrors(bob->fetchZones(DatabaseScope::Private, {zone}).error).value(zone).code(),
              ZoneNotFound);
}

} // namespace
