#include "QuendelKit/Infra/QDSSKeychain.h"

#include "platform/keychain/Keychain.h"
#include "support/TempHome.h"

#include <QFile>

#include <gtest/gtest.h>

using platform::core::QDError;

namespace {

class QDSSKeychainTest : public ::testing::Test
{
protected:
    // Each test gets a keychain of its own.
    quendel::test::TempHome m_home;
};

TEST_F(QDSSKeychainTest, SetReadReplaceDelete)
{
    QDError error;
    ASSERT_TRUE(QDSSKeychain::setPassword("1234", "Quendel", "pin", &error)) << error.toString().toStdString();
    EXPECT_TRUE(error.isNull());
    EXPECT_EQ(QDSSKeychain::passwordForService("Quendel", "pin"), QStringLiteral("1234"));

    ASSERT_TRUE(QDSSKeychain::setPassword(QStringLiteral("p\u00E4ss \U0001F511"), "Quendel", "pin"));
    EXPECT_EQ(QDSSKeychain::passwordForService("Quendel", "pin", &error), QStringLiteral("p\u00E4ss \U0001F511"));
    const auto accounts = QDSSKeychain::accountsForService("Quendel");
    ASSERT_TRUE(accounts.has_value());
    ASSERT_EQ(accounts->size(), 1); // replaced, not added

    ASSERT_TRUE(QDSSKeychain::deletePasswordForService("Quendel", "pin", &error));
    EXPECT_TRUE(QDSSKeychain::passwordForService("Quendel", "pin").isNull());
    EXPECT_FALSE(QFile::exists(m_home.configHome() + "/Quendel/keychain.lock"));
}

TEST_F(QDSSKeychainTest, MissingItemGivesNullAndTheNotFoundStatus)
{
    QDError error;
    EXPECT_TRUE(QDSSKeychain::passwordForService("LocalUUID", "pin", &error).isNull());
    EXPECT_EQ(error.domain(), QStringLiteral("com.morvane.quendel"));
    EXPECT_EQ(error.code(), platform::keychain::ItemNotFound);
    EXPECT_EQ(error.localizedDescription(), platform::keychain::statusMessage(platform::keychain::ItemNotFound));

    error = QDError();
    EXPECT_FALSE(QDSSKeychain::deletePasswordForService("LocalUUID", "pin", &error));
    EXPECT_EQ(error.code(), platform::keychain::ItemNotFound);
    EXPECT_FALSE(QDSSKeychain::allAccounts().has_value());
}

TEST_F(QDSSKeychainTest, MissingArgumentsFailWithMinus1001AndChangeNothing)
{
    ASSERT_TRUE(QDSSKeychain::setPassword("1234", "Quendel", "pin"));
    struct Case
    {
        const char *name;
        QString password, service, account;
    };
    const Case cases[] = {
        {"nil password", QString(), "Quendel", "pin"},
        {"nil service", "x", QString(), "pin"},
        {"nil account", "x", "Quendel", QString()},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        QDError error;
        EXPECT_FALSE(QDSSKeychain::setPassword(c.password, c.service, c.account, &error));
        EXPECT_EQ(error.domain(), kSSKeychainErrorDomain);
        EXPECT_EQ(error.code(), -1001);
        EXPECT_EQ(error.localizedDescription(), QStringLiteral("Some of the arguments were invalid"));
    }
    EXPECT_EQ(QDSSKeychain::passwordForService("Quendel", "pin"), QStringLiteral("1234"));

    QDError error;
    EXPECT_TRUE(QDSSKeychain::passwordForService(QString(), "pin", &error).isNull());
    EXPECT_EQ(error.code(), -1001);
    error = QDError();
    EXPECT_FALSE(QDSSKeychain::deletePasswordForService("Quendel", QString(), &error));
    EXPECT_EQ(error.code(), -1001);
}

TEST_F(QDSSKeychainTest, EmptyPasswordIsStoredButReadsBackAsNull)
{
    QDError error;
    ASSERT_TRUE(QDSSKeychain::setPassword(QStringLiteral(""), "Quendel", "pin", &error));
    EXPECT_TRUE(QDSSKeychain::passwordForService("Quendel", "pin", &error).isNull());
    EXPECT_TRUE(error.isNull()); // the item exists: no error, just no text
}

TEST_F(QDSSKeychainTest, PasswordObjectsRoundTrip)
{
    QVariantMap object{{"n", 3}, {"s", "text"}};
    ASSERT_TRUE(QDSSKeychain::setPasswordObject(object, "Objects", "one"));
    QDError error;
    const QVariant back = QDSSKeychain::passwordObjectForService("Objects", "one", &error);
    EXPECT_TRUE(error.isNull());
    EXPECT_EQ(back.toMap().value("s").toString(), QStringLiteral("text"));
    EXPECT_EQ(back.toMap().value("n").toLongLong(), 3);
    EXPECT_FALSE(QDSSKeychain::passwordObjectForService("Objects", "two").isValid());
}

TEST_F(QDSSKeychainTest, AccountListsCarryTheAttributeKeys)
{
    SSKeychainQuery query;
    query.setService("Quendel");
    query.setAccount("pin");
    query.setLabel("Passcode");
    query.setPassword("1");
    ASSERT_TRUE(query.save());
    ASSERT_TRUE(QDSSKeychain::setPassword("U-U-I-D", "LocalUUID", "pin"));

    const auto all = QDSSKeychain::allAccounts();
    ASSERT_TRUE(all.has_value());
    ASSERT_EQ(all->size(), 2);
    const QVariantMap first = all->at(0);
    EXPECT_EQ(first.value(kSSKeychainWhereKey).toString(), QStringLiteral("Quendel"));
    EXPECT_EQ(first.value(kSSKeychainAccountKey).toString(), QStringLiteral("pin"));
    EXPECT_EQ(first.value(kSSKeychainLabelKey).toString(), QStringLiteral("Passcode"));
    EXPECT_TRUE(first.value(kSSKeychainCreatedAtKey).toDateTime().isValid());
    EXPECT_TRUE(first.value(kSSKeychainLastModifiedKey).toDateTime().isValid());
    EXPECT_FALSE(all->at(1).contains(kSSKeychainLabelKey));
    const auto devices = QDSSKeychain::accountsForService("LocalUUID");
    ASSERT_TRUE(devices.has_value());
    EXPECT_EQ(devices->size(), 1);
}

TEST_F(QDSSKeychainTest, FailedFetchLeavesTheDataAsItWas)
{
    SSKeychainQuery query;
    query.setService("Quendel");
    query.setAccount("nobody");
    query.setPasswordData("kept");
    QDError error;
    EXPECT_FALSE(query.fetch(&error));
    EXPECT_EQ(query.passwordData(), QByteArray("kept"));
    EXPECT_EQ(query.fetchAll(&error), std::nullopt);
}

TEST_F(QDSSKeychainTest, ErrorWithCode)
{
    EXPECT_TRUE(SSKeychainQuery::errorWithCode(0).isNull());
    const QDError bad = SSKeychainQuery::errorWithCode(-1001);
    EXPECT_EQ(bad.domain(), QStringLiteral("com.morvane.quendel"));
    EXPECT_EQ(bad.localizedDescription(), QStringLiteral("Some of the arguments were invalid"));
    const QDError damaged = SSKeychainQuery::errorWithCode(platform::keychain::DamagedFile);
    EXPECT_EQ(damaged.code(), platform::keychain::DamagedFile);
    EXPECT_EQ(damaged.localizedDescription(), platform::keychain::statusMessage(platform::keychain::DamagedFile));
    const QDError unknown = SSKeychainQuery::errorWithCode(77);
    EXPECT_EQ(unknown.code(), 77);
    EXPECT_FALSE(unknown.userInfo().contains(QDError::LocalizedDescriptionKey));
}

TEST_F(QDSSKeychainTest, ConstantsHaveTheirValues)
{
    EXPECT_EQ(kSSKeychainErrorDomain, QStringLiteral("com.morvane.quendel"));
    EXPECT_EQ(kSSKeychainAccountKey, QStringLiteral("acct"));
    EXPECT_EQ(kSSKeychainCreatedAtKey, QStringLiteral("cdat"));
    EXPECT_EQ(kSSKeychainClassKey, QStringLiteral("labl"));
    EXPECT_EQ(kSSKeychainDescriptionKey, QStringLiteral("desc"));
    EXPECT_EQ(kSSKeychainLabelKey, QStringLiteral("labl"));
    EXPECT_EQ(kSSKeychainLastModifiedKey, QStringLiteral("mdat"));
    EXPECT_EQ(kSSKeychainWhereKey, QStringLiteral("svce"));
}

} // namespace
