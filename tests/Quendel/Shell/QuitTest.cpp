#include "ShellFixture.h"

#include "QuendelKit/Entities/Person.h"

#include <QCloseEvent>
#include <QDir>
#include <QFileInfo>

using namespace shell_test;
using platform::ui::AlertAnswer;
using platform::ui::AlertPresenter;
using Reply = AppDelegate::TerminateReply;

namespace {

class QuitTest : public ShellTest
{
protected:
    void launch(AppDelegate &delegate)
    {
        markDataModelUpdateDone();
        delegate.setExitHandler([this](int code) { exits << code; });
        delegate.applicationWillFinishLaunching();
        delegate.applicationDidFinishLaunching();
        ASSERT_TRUE(delegate.isLaunchComplete());
    }

    static void addContact(AppDelegate &delegate, const QString &guid)
    {
        auto *person = delegate.managedObjectContext()->insertNewObject<Person>(Person::EntityName);
        ASSERT_NE(person, nullptr);
        person->setGuid(guid);
    }

    // From here every save of the main context fails: the store can be read but not written.
    static void makeStoreReadOnly(AppDelegate &delegate)
    {
        const auto coordinator = delegate.persistentStoreCoordinator();
        const auto store = coordinator->persistentStores().first();
        const QString path = store->path();
        ASSERT_TRUE(coordinator->removePersistentStore(store));
        platform::store::StoreOptions options;
        options.readOnly = true;
        ASSERT_NE(coordinator->addPersistentStore(platform::store::StoreType::SQLite, path, options), nullptr);
    }
};

TEST_F(QuitTest, WithoutAStoreQuitsAtOnce)
{
    AppDelegate delegate(factory());
    EXPECT_EQ(delegate.applicationShouldTerminate(), Reply::TerminateNow);
    EXPECT_TRUE(AlertPresenter::shared().shownAlerts().isEmpty());
    EXPECT_EQ(delegate.coreDataController(), nullptr);
}

TEST_F(QuitTest, SavesPendingChangesAndQuits)
{
    AppDelegate delegate(factory());
    launch(delegate);
    EXPECT_EQ(delegate.applicationShouldTerminate(), Reply::TerminateNow);

    addContact(delegate, QStringLiteral("quit-1"));
    EXPECT_EQ(delegate.applicationShouldTerminate(), Reply::TerminateNow);
    EXPECT_FALSE(delegate.managedObjectContext()->hasChanges());
    EXPECT_TRUE(AlertPresenter::shared().shownAlerts().isEmpty());
    EXPECT_TRUE(QFileInfo::exists(
        QDir(SharedSettingController::sharedSettings().applicationSupportPath()).filePath("ContactsReferenceIdentifiers.plist")));
}

TEST_F(QuitTest, AFailedSaveAsksWhetherToQuitAnyway)
{
    struct Case
    {
        int answer;
        Reply reply;
    };
    for (const Case &c : {Case{0, Reply::TerminateNow}, Case{1, Reply::TerminateCancel}}) {
        SCOPED_TRACE(c.answer);
        AlertPresenter &presenter = AlertPresenter::shared();
        presenter.clearShownAlerts();
        AppDelegate delegate(factory());
        launch(delegate);
        makeStoreReadOnly(delegate);
        addContact(delegate, QStringLiteral("unsaved"));

        presenter.setNextAnswer(AlertAnswer::button(0)); // the save error
        presenter.setNextAnswer(AlertAnswer::button(c.answer));
        EXPECT_EQ(delegate.applicationShouldTerminate(), c.reply);

        ASSERT_EQ(presenter.shownAlerts().size(), 2);
        EXPECT_FALSE(presenter.shownAlerts()[0].spec.messageText.isEmpty());
        const platform::ui::AlertSpec &ask = presenter.shownAlerts()[1].spec;
        EXPECT_EQ(ask.messageText, QStringLiteral("Could not save changes while quitting. Quit anyway?"));
        EXPECT_EQ(ask.informativeText,
                  QStringLiteral("Quitting now will lose any changes you have made since the last successful save"));
        EXPECT_EQ(ask.buttonTitles, (QStringList{"Quit anyway", "Cancel"}));
        EXPECT_TRUE(delegate.managedObjectContext()->hasChanges());
    }
}

TEST_F(QuitTest, ClosingTheWindowQuitsOnlyWhenAllowed)
{
    AppDelegate delegate(factory());
    launch(delegate);
    makeStoreReadOnly(delegate);
    addContact(delegate, QStringLiteral("unsaved"));
    AlertPresenter &presenter = AlertPresenter::shared();

    presenter.setNextAnswer(AlertAnswer::button(0));
    presenter.setNextAnswer(AlertAnswer::button(1)); // Cancel
    QCloseEvent stay;
    QCoreApplication::sendEvent(delegate.window(), &stay);
    EXPECT_FALSE(stay.isAccepted());
    EXPECT_TRUE(exits.isEmpty());

    presenter.setNextAnswer(AlertAnswer::button(0));
    presenter.setNextAnswer(AlertAnswer::button(0)); // Quit anyway
    delegate.quitPressed();
    EXPECT_EQ(exits, QList<int>{0});
    // Once decided, nothing asks again.
    QCloseEvent leave;
    QCoreApplication::sendEvent(delegate.window(), &leave);
    EXPECT_EQ(exits, QList<int>{0});
    EXPECT_EQ(presenter.shownAlerts().size(), 4);
}

} // namespace
