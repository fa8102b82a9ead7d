#include "platform/cloud/CloudSchema.h"

#include "platform/cloud/CloudError.h"

namespace platform::cloud {

namespace {

// The tables, written once; {id}, {blob} and {binary} stand for the few words the two dialects spell
// differently. Record names compare byte by byte on both, so paging by name gives the same pages.
const char *const TablesText = R"SQL(
CREATE TABLE IF NOT EXISTS cloud_meta (
    meta_key TEXT PRIMARY KEY,
    meta_value TEXT NOT NULL);
CREATE TABLE IF NOT EXISTS cloud_accounts (
    account TEXT PRIMARY KEY,
    user_record_name TEXT NOT NULL,
    quota_bytes BIGINT,
    used_bytes BIGINT NOT NULL DEFAULT 0);
CREATE TABLE IF NOT EXISTS cloud_zones (
    zone_id {id},
    account TEXT NOT NULL,
    db INTEGER NOT NULL,
    zone_name TEXT {binary} NOT NULL,
    owner_name TEXT {binary} NOT NULL,
    incarnation TEXT NOT NULL,
    next_seq BIGINT NOT NULL DEFAULT 1,
    floor_seq BIGINT NOT NULL DEFAULT 0,
    user_deleted INTEGER NOT NULL DEFAULT 0,
    UNIQUE (account, db, zone_name, owner_name));
CREATE TABLE IF NOT EXISTS cloud_records (
    zone_id BIGINT NOT NULL,
    record_name TEXT {binary} NOT NULL,
    account TEXT NOT NULL,
    creator TEXT NOT NULL,
    record_type TEXT {binary} NOT NULL,
    fields {blob},
    change_tag TEXT NOT NULL,
    change_seq BIGINT NOT NULL,
    created_ms BIGINT NOT NULL,
    modified_ms BIGINT NOT NULL,
    size_bytes BIGINT NOT NULL DEFAULT 0,
    deleted INTEGER NOT NULL DEFAULT 0,
    PRIMARY KEY (zone_id, record_name));
CREATE INDEX IF NOT EXISTS cloud_records_changes ON cloud_records (zone_id, change_seq);
CREATE INDEX IF NOT EXISTS cloud_records_types ON cloud_records (zone_id, record_type, record_name);
CREATE TABLE IF NOT EXISTS cloud_assets (
    account TEXT NOT NULL,
    sha256 TEXT NOT NULL,
    content {blob} NOT NULL,
    size_bytes BIGINT NOT NULL,
    PRIMARY KEY (account, sha256));
CREATE TABLE IF NOT EXISTS cloud_subscriptions (
    account TEXT NOT NULL,
    db INTEGER NOT NULL,
    subscription_id TEXT NOT NULL,
    kind INTEGER NOT NULL,
    zone_name TEXT NOT NULL,
    owner_name TEXT NOT NULL,
    alert_body TEXT NOT NULL,
    content_available INTEGER NOT NULL,
    PRIMARY KEY (account, db, subscription_id));
CREATE TABLE IF NOT EXISTS cloud_pushes (
    push_id {id},
    account TEXT NOT NULL,
    origin TEXT NOT NULL,
    db INTEGER NOT NULL,
    subscription_id TEXT NOT NULL,
    kind INTEGER NOT NULL,
    zone_name TEXT NOT NULL,
    owner_name TEXT NOT NULL,
    created_ms BIGINT NOT NULL);
CREATE INDEX IF NOT EXISTS cloud_pushes_account ON cloud_pushes (account, push_id);
CREATE TABLE IF NOT EXISTS cloud_operations (
    account TEXT NOT NULL,
    operation_id TEXT NOT NULL,
    kind INTEGER NOT NULL,
    state INTEGER NOT NULL,
    request {blob},
    result {blob},
    lease_owner TEXT,
    lease_expiry_ms BIGINT NOT NULL DEFAULT 0,
    created_ms BIGINT NOT NULL,
    PRIMARY KEY (account, operation_id));
)SQL";

// Rows of the public database belong to no account (account ''): every account reads them, only the
// account that made a record may change it.
const char *const SecurityText = R"SQL(
DO $$ BEGIN
    IF NOT EXISTS (SELECT 1 FROM pg_roles WHERE rolname = 'quendel_cloud_accounts') THEN
        CREATE ROLE quendel_cloud_accounts NOLOGIN;
    END IF;
END $$;
REVOKE ALL ON ALL TABLES IN SCHEMA public FROM PUBLIC;
GRANT USAGE ON SCHEMA public TO quendel_cloud_accounts;
GRANT SELECT ON cloud_meta TO quendel_cloud_accounts;
GRANT SELECT, UPDATE (used_bytes) ON cloud_accounts TO quendel_cloud_accounts;
GRANT SELECT, INSERT, UPDATE, DELETE ON cloud_zones, cloud_records, cloud_assets, cloud_subscriptions,
    cloud_pushes, cloud_operations TO quendel_cloud_accounts;
GRANT USAGE ON ALL SEQUENCES IN SCHEMA public TO quendel_cloud_accounts;
ALTER TABLE cloud_accounts ENABLE ROW LEVEL SECURITY;
ALTER TABLE cloud_zones ENABLE ROW LEVEL SECURITY;
ALTER TABLE cloud_records ENABLE ROW LEVEL SECURITY;
ALTER TABLE cloud_assets ENABLE ROW LEVEL SECURITY;
ALTER TABLE cloud_subscriptions ENABLE ROW LEVEL SECURITY;
ALTER TABLE cloud_pushes ENABLE ROW LEVEL SECURITY;
ALTER TABLE cloud_operations ENABLE ROW LEVEL SECURITY;
DROP POLICY IF EXISTS own_account ON cloud_accounts;
CREATE POLICY own_account ON cloud_accounts USING (account = current_user);
DROP POLICY IF EXISTS own_zones ON cloud_zones;
CREATE POLICY own_zones ON cloud_zones USING (account = current_user OR account = '')
    WITH CHECK (account = current_user OR account = '');
DROP POLICY IF EXISTS read_records ON cloud_records;
CREATE POLICY read_records ON cloud_records FOR SELECT USING (account = current_user OR account = '');
DROP POLICY IF EXISTS insert_records ON cloud_records;
CREATE POLICY insert_records ON cloud_records FOR INSERT
    WITH CHECK (account = current_user OR (account = '' AND creator = current_user));
DROP POLICY IF EXISTS update_records ON cloud_records;
CREATE POLICY update_records ON cloud_records FOR UPDATE
    USING (account = current_user OR (account = '' AND creator = current_user))
    WITH CHECK (account = current_user OR (account = '' AND creator = current_user));
DROP POLICY IF EXISTS delete_records ON cloud_records;
CREATE POLICY delete_records ON cloud_records FOR DELETE
    USING (account = current_user OR (account = '' AND creator = current_user));
DROP POLICY IF EXISTS own_assets ON cloud_assets;
CREATE POLICY own_assets ON cloud_assets USING (account = current_user OR account = '')
    WITH CHECK (account = current_user OR account = '');
DROP POLICY IF EXISTS own_subscriptions ON cloud_subscriptions;
CREATE POLICY own_subscriptions ON cloud_subscriptions USING (account = current_user)
    WITH CHECK (account = current_user);
DROP POLICY IF EXISTS own_pushes ON cloud_pushes;
CREATE POLICY own_pushes ON cloud_pushes USING (account = current_user) WITH CHECK (account = current_user);
DROP POLICY IF EXISTS own_operations ON cloud_operations;
CREATE POLICY own_operations ON cloud_operations USING (account = current_user)
    WITH CHECK (account = current_user);
)SQL";

} // namespace

QString CloudSchema::tables(SqlConnection::Dialect dialect)
{
    QString text = QString::fromUtf8(TablesText);
    const bool sqlite = dialect == SqlConnection::Dialect::SQLite;
    text.replace(QStringLiteral("{id}"), sqlite ? QStringLiteral("INTEGER PRIMARY KEY AUTOINCREMENT")
                                                : QStringLiteral("BIGINT GENERATED BY DEFAULT AS IDENTITY PRIMARY KEY"));
    text.replace(QStringLiteral("{blob}"), sqlite ? QStringLiteral("BLOB") : QStringLiteral("BYTEA"));
    text.replace(QStringLiteral("{binary}"), sqlite ? QStringLiteral("COLLATE BINARY") : QStringLiteral("COLLATE \"C\""));
    return text;
}

QString CloudSchema::postgresSecurity()
{
    return QString::fromUtf8(SecurityText);
}

bool CloudSchema::install(SqlConnection &connection, platform::core::QDError *error)
{
    if (!connection.beginWrite(error))
        return false;
    if (!connection.execScript(tables(connection.dialect()), error)) {
        connection.rollback();
        return false;
    }
    QList<SqlRow> rows;
    if (!connection.exec(QStringLiteral("SELECT meta_value FROM cloud_meta WHERE meta_key = 'schema'"), {}, &rows,
                         error)) {
        connection.rollback();
        return false;
    }
    if (!rows.isEmpty() && sqlInt(rows.first().value(0)) > Version) {
        connection.rollback();
        return platform::core::setError(error, CloudErrors::make(IncompatibleVersion,
                                                                 QStringLiteral("The cloud database was made by a "
                                                                                "newer version of Quendel.")));
    }
    if (rows.isEmpty() &&
        !connection.exec(QStringLiteral("INSERT INTO cloud_meta (meta_key, meta_value) VALUES ('schema', ?)"),
                         {QString::number(Version)}, error)) {
        connection.rollback();
        return false;
    }
    if (connection.dialect() == SqlConnection::Dialect::PostgreSQL &&
        !connection.execScript(postgresSecurity(), error)) {
        connection.rollback();
        return false;
    }
    return connection.commit(error);
}

} // namespace platform::cloud
