#include "ShellFixture.h"

#include "Classes/QDAlertDisplayMac.h"

#include "platform/core/StandardPaths.h"
#include "platform/store/StoreCoordinator.h"

#include "QuendelKit/QuendelModel.h"

#include <QDir>

using namespace shell_test;
using platform::ui::AlertPresenter;

namespace {

class ServicesTest : public ShellTest
{
};

TEST_F(ServicesTest, AnalyticsEventText)
{
    struct Case
    {
        QString name;
        QVariantMap parameters;
        QString text;
    };
    const QList<Case> cases = {
        {"AppDelegate-Menu", {{"Action", "HelpButtonPressed"}}, "AppDelegate-Menu[Action-HelpButtonPressed]"},
        {"Main  Window Load", {}, "Main--Window-Load"},
        {"Report", {{"Type", "CSV file"}, {"Count", 1}}, "Report[Count-1][Type-CSV file]"},
        {"Flag", {{"On", true}}, "Flag[On-1]"},
    };
    for (const Case &c : cases)
        EXPECT_EQ(SharedAppGlobals::analyticsEventText(c.name, c.parameters), c.text);

    // The listener's events reach the sink the same way; no parameters give the bare name.
    EventLog events;
    AppDelegate delegate(factory());
    delegate.logEventWithString(QStringLiteral("Cloud Save"), {});
    delegate.logEventWithString(QStringLiteral("Cloud Save"), {{"Count", 2}});
    EXPECT_EQ(events.events(), (QStringList{"Cloud-Save", "Cloud-Save[Count-2]"}));
}

TEST_F(ServicesTest, TheSpinnerIsOneOnOffState)
{
    AppDelegate delegate(factory());
    SharedAppGlobals &globals = SharedAppGlobals::sharedAppGlobals();
    QList<bool> changes;
    QObject::connect(&delegate, &AppDelegate::activityIndicatorChanged, [&changes](bool on) { changes << on; });

    globals.hideNetworkActivityIndicator(); // before any show: nothing
    delegate.showNetworkActivityIndicator();
    delegate.showNetworkActivityIndicator();
    delegate.stopActivityIndicator();
    QCoreApplication::processEvents();
    EXPECT_FALSE(globals.isActivityAnimating());
    EXPECT_FALSE(delegate.isActivityIndicatorAnimating());
    EXPECT_EQ(changes, (QList<bool>{true, false}));
}

TEST_F(ServicesTest, DropboxStandsInForThePreUpdateBackup)
{
    SharedSettingController &settings = SharedSettingController::sharedSettings();
    SharedAppGlobals &globals = SharedAppGlobals::sharedAppGlobals();
    dataPlistValues().remove(SharedAppGlobals::MigrationCompleteKey);
    EXPECT_TRUE(globals.shouldLoadUpdatingDatabasePage());

    settings.setIsDropboxEnabled(true);
    EXPECT_FALSE(globals.shouldLoadUpdatingDatabasePage());
    EXPECT_TRUE(dataPlistValues().boolValue(SharedAppGlobals::MigrationCompleteKey));
    settings.setIsDropboxEnabled(false);
    EXPECT_FALSE(globals.shouldLoadUpdatingDatabasePage());
}

TEST_F(ServicesTest, TheBackupCoordinatorHoldsTheStoreOrIsNull)
{
    SharedSettingController::sharedSettings();
    SharedAppGlobals &globals = SharedAppGlobals::sharedAppGlobals();
    // No store file yet: nothing to back up, and no empty coordinator either.
    EXPECT_EQ(globals.persistentCoordinatorForDatabaseUpdate(), nullptr);

    const QString path =
        QDir(SharedSettingController::sharedSettings().applicationSupportPath()).filePath(QStringLiteral("Quendel.sqlite"));
    {
        platform::store::StoreCoordinator writer(QuendelModel::create());
        ASSERT_NE(writer.addPersistentStore(platform::store::StoreType::SQLite, path), nullptr);
    }
    const auto coordinator = globals.persistentCoordinatorForDatabaseUpdate();
    ASSERT_NE(coordinator, nullptr);
    EXPECT_EQ(coordinator->name(), SharedAppGlobals::BackupCoordinatorName);
    ASSERT_EQ(coordinator->persistentStores().size(), 1);
    EXPECT_TRUE(coordinator->persistentStores().first()->isReadOnly());
}

TEST_F(ServicesTest, AlertDisplay)
{
    AlertPresenter &presenter = AlertPresenter::shared();
    QDAlertDisplayMac::install();
    EXPECT_EQ(QDAlertDisplay::sharedAlert(), QDAlertDisplayMac::sharedAlert());
    const std::shared_ptr<QDAlertDisplayMac> alerts = QDAlertDisplayMac::sharedAlert();

    alerts->showAlertWithTitle(QString(), QString());
    alerts->showAlertWithError(platform::core::QDError::withDescription(QStringLiteral("QuendelErrorDomain"), 1, QString()));
    alerts->showAlertWithError(
        platform::core::QDError::withDescription(QStringLiteral("QuendelErrorDomain"), 1001, QStringLiteral("Disk full")));
    alerts->showCoreDataError(QStringLiteral("LoadLocalStore"), platform::core::QDError());
    QWidget window;
    alerts->showAlertWithTitle(QStringLiteral("Sheet"), QStringLiteral("On a window"), &window);
    int answered = -1;
    alerts->showAlertWithTitle(QStringLiteral("Ask"), QStringLiteral("Answer"),
                               [&answered](const platform::ui::AlertResult &result) { answered = result.returnCode(); });

    const auto shown = presenter.shownAlerts();
    ASSERT_EQ(shown.size(), 5);
    EXPECT_FALSE(shown[0].spec.messageText.isNull());
    EXPECT_TRUE(shown[0].spec.messageText.isEmpty());
    EXPECT_TRUE(shown[0].spec.informativeText.isEmpty());
    EXPECT_TRUE(shown[0].spec.buttonTitles.isEmpty());
    EXPECT_FALSE(shown[0].asSheet);
    EXPECT_EQ(shown[1].spec.messageText, QStringLiteral("Error"));
    EXPECT_TRUE(shown[1].spec.informativeText.isEmpty());
    EXPECT_EQ(shown[2].spec.informativeText, QStringLiteral("Disk full"));
    EXPECT_TRUE(shown[3].asSheet);
    EXPECT_EQ(shown[3].window, &window);
    EXPECT_EQ(shown[4].spec.messageText, QStringLiteral("Ask"));
    EXPECT_EQ(answered, platform::ui::AlertFirstButtonReturn);
    for (auto *open : presenter.openAlerts())
        open->endSheet(platform::ui::AlertFirstButtonReturn);

    // The settings object's delegate never reports the background state on the desktop.
    AppDelegate delegate(factory());
    EXPECT_EQ(delegate.isApplicationBackgroundState(), std::optional<bool>(false));
}

} // namespace
