#pragma once

#include "platform/cloud/SqlConnection.h"

namespace platform::cloud {

// The one set of tables both backings keep, and on PostgreSQL the roles and row-level security that keep
// each account to its own rows.
class CloudSchema
{
public:
    static constexpr int Version = 1;

    // The tables, in the connection's dialect; safe to run again.
    static QString tables(SqlConnection::Dialect dialect);
    // PostgreSQL only: the group role of all accounts, its grants and the row policies.
    static QString postgresSecurity();
    // The group role every account's role belongs to.
    static inline const QString AccountsRole = QStringLiteral("quendel_cloud_accounts");

    // Creates the tables when missing, and refuses a database whose schema is newer than this code.
    static bool install(SqlConnection &connection, platform::core::QDError *error);
};

} // namespace platform::cloud
