#pragma once

#include "platform/cloud/FaultInjector.h"
#include "platform/cloud/SqlCloudService.h"

#include <memory>

namespace platform::cloud {

// Opens the cloud database service a URL names, with the fault injector in front of it:
//   "sqlite:" or "sqlite:<file>[?account=<name>]"  the embedded file (default: the shared one of this user)
//   "postgresql://<role>@<host>/<database>"        a PostgreSQL server prepared by PostgresCloudAdmin
class CloudServiceFactory
{
public:
    // The environment variable that names the service for tests and scripts; it wins over the setting.
    static inline const char *const UrlEnvironmentVariable = "QUENDEL_CLOUD_URL";
    // The user default that names the service.
    static inline const QString UrlDefaultsKey = QStringLiteral("CloudServiceURL");

    // The file every Quendel instance of this user on this machine shares.
    static QString defaultSqlitePath();
    // The URL to use: the environment variable, else `configured` (the user default), else the shared file.
    static QString serviceURL(const QString &configured = {});

    static std::shared_ptr<FaultInjectingCloudService> open(const QString &url, const SqlCloudService::Options &options,
                                                            platform::core::QDError *error);
    // The backing alone, without the injector.
    static std::shared_ptr<SqlCloudService> openBacking(const QString &url, const SqlCloudService::Options &options,
                                                        platform::core::QDError *error);
};

// Prepares a PostgreSQL server for the service, logged in as a role that may create roles: the tables,
// the row-level security, and one role per account.
class PostgresCloudAdmin
{
public:
    static bool install(const QString &adminConninfo, platform::core::QDError *error);
    // A login role for the account (its name is the account), with its account row.
    static bool createAccount(const QString &adminConninfo, const QString &account, const QString &password,
                              platform::core::QDError *error);
    static bool setQuota(const QString &adminConninfo, const QString &account, std::optional<qint64> bytes,
                         platform::core::QDError *error);
};

} // namespace platform::cloud
