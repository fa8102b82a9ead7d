#include "Printers.h"

#include "platform/core/StandardPaths.h"
#include "support/TempHome.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSet>
#include <QUuid>
#include <gtest/gtest.h>

using namespace platform::core;

TEST(StandardPaths, FoldersAreMadeInThePrivateHome)
{
    quendel::test::TempHome home;
    const QString expected = home.dataHome() + QStringLiteral("/com.quendel.QuendelMac");
    EXPECT_EQ(StandardPaths::dataFolderPath(), expected);
    EXPECT_FALSE(QFileInfo::exists(expected));
    QDError error;
    EXPECT_EQ(StandardPaths::dataFolder(&error), expected);
    EXPECT_TRUE(error.isNull());
    EXPECT_TRUE(QFileInfo(expected).isDir());
    EXPECT_EQ(StandardPaths::dataFolder(&error), expected); // already there: fine

    EXPECT_EQ(StandardPaths::documentsFolder(), home.documents());
    EXPECT_EQ(StandardPaths::cachesFolder(), home.cacheHome());
    EXPECT_EQ(StandardPaths::configFolder(), home.configHome());

    const QString nested = home.cacheHome() + QStringLiteral("/Logs/IncomingCloudKit");
    EXPECT_TRUE(StandardPaths::createFolder(nested));
    EXPECT_TRUE(QFileInfo(nested).isDir());
}

TEST(StandardPaths, AFileInTheWayIsReported)
{
    quendel::test::TempHome home;
    QFile blocker(StandardPaths::dataFolderPath());
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.write("not a folder");
    blocker.close();

    QDError error;
    EXPECT_TRUE(StandardPaths::dataFolder(&error).isNull());
    EXPECT_EQ(error.domain(), QuendelErrorDomain);
    EXPECT_EQ(error.code(), StandardPaths::CreateFolderError);
    EXPECT_EQ(error.userInfo().value(QDError::FilePathKey).toString(), StandardPaths::dataFolderPath());
    EXPECT_TRUE(error.localizedDescription().contains(StandardPaths::dataFolderPath()));
    EXPECT_TRUE(QFileInfo(StandardPaths::dataFolderPath()).isFile());

    // A file as a parent of the folder wanted.
    error = QDError();
    EXPECT_FALSE(StandardPaths::createFolder(StandardPaths::dataFolderPath() + QStringLiteral("/FileAttachments"),
                                             &error));
    EXPECT_EQ(error.code(), StandardPaths::CreateFolderError);
    EXPECT_FALSE(StandardPaths::createFolder(QString(), &error));
    EXPECT_EQ(error.code(), StandardPaths::NoLocationError);
}

TEST(StandardPaths, UITestSwitchFollowsTheEnvironment)
{
    const QByteArray saved = qgetenv("isUITest");
    const bool wasSet = qEnvironmentVariableIsSet("isUITest");
    qunsetenv("isUITest");
    EXPECT_FALSE(StandardPaths::isUITest());
    struct Case {
        const char *value;
        bool on;
    };
    for (const Case &c : {Case{"", true}, Case{"0", true}, Case{"false", true}, Case{"1", true}, Case{"YES", true}}) {
        qputenv("isUITest", c.value);
        EXPECT_EQ(StandardPaths::isUITest(), c.on) << "isUITest=" << c.value;
    }
    if (wasSet)
        qputenv("isUITest", saved);
    else
        qunsetenv("isUITest");
}

TEST(StandardPaths, UuidStringsAreUpperCaseAndFresh)
{
    QSet<QString> seen;
    for (int i = 0; i < 100; ++i) {
        const QString u = StandardPaths::uuidString();
        EXPECT_EQ(u.size(), 36);
        EXPECT_EQ(u, u.toUpper());
        EXPECT_FALSE(u.contains(QLatin1Char('{')));
        EXPECT_FALSE(QUuid::fromString(u).isNull());
        seen.insert(u);
    }
    EXPECT_EQ(seen.size(), 100);
}
