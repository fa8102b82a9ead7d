#include "SettingsFixture.h"

#include "Settings/QuendelVersion.h"

#include <QRegularExpression>

using namespace settings_test;

// The version comes from the project's version in the build, and every place that shows it agrees: the
// application, the device entry's "QDVersion" and the support text.
TEST_F(SettingsTest, TheProgramReportsTheProjectVersionEverywhere)
{
    EXPECT_TRUE(QRegularExpression("^\\d+\\.\\d+\\.\\d+$").match(QuendelVersion::shortVersion()).hasMatch())
        << QuendelVersion::shortVersion().toStdString();
    EXPECT_FALSE(QuendelVersion::buildNumber().isEmpty());

    const QString before = QCoreApplication::applicationVersion();
    QCoreApplication::setApplicationVersion(QString());
    auto real = std::make_shared<SettingsEnvironment>();
    EXPECT_EQ(real->bundleShortVersion(), QuendelVersion::shortVersion()) << "nothing set: the project's";
    EXPECT_EQ(real->bundleVersion(), QuendelVersion::buildNumber());

    QuendelVersion::applyToApplication();
    EXPECT_EQ(QCoreApplication::applicationVersion(), QuendelVersion::shortVersion());
    EXPECT_EQ(QCoreApplication::instance()->property("buildNumber").toString(), QuendelVersion::buildNumber());
    EXPECT_EQ(real->bundleShortVersion(), QuendelVersion::shortVersion());

    SharedSettingController::setEnvironment(real);
    SharedSettingController settings;
    settings.setSharedSettingsDelegate(std::make_shared<ForegroundDelegate>());
    settings.initialize();
    bool found = false;
    for (const QString &key : kvs()->keys()) {
        if (key.startsWith("deviceUUID_")) {
            EXPECT_EQ(kvs()->dictionary(key).value("QDVersion").toString(), QuendelVersion::shortVersion());
            found = true;
        }
    }
    EXPECT_TRUE(found);
    EXPECT_TRUE(settings.signatureForSupportEmail().contains("Quendel Version: " + QuendelVersion::shortVersion()))
        << settings.signatureForSupportEmail().toStdString();
    QCoreApplication::setApplicationVersion(before);
}
