// What a user meets at start before the contacts: the lock of a stored passcode and the backup due before
// a data update, with the program's own sheets for both.

#include "RoadsFixture.h"

#include "SharedAppGlobals.h"

#include "QuendelKit/Infra/QDSSKeychain.h"
#include "QuendelKit/Settings/SharedSettingController.h"

#include "platform/core/PropertyList.h"

#include <QToolButton>

using namespace roads;

namespace {

class LaunchRoadsTest : public RoadTest
{
protected:
    // The data plist as written to disk.
    static QVariantMap storedDataPlist()
    {
        const QString path = SharedSettingController::sharedSettings().dataFilePath(QDSettingsKeys::DataPlistFileName);
        return platform::core::PropertyList::readDictionaryFile(path).value_or(QVariantMap());
    }
};

TEST_F(LaunchRoadsTest, AStoredPasscodeDoesNotShutTheUserOutOfTheirContacts)
{
    ASSERT_TRUE(QDSSKeychain::setPassword(QStringLiteral("2468"), QDSSKeychain::PasscodeService, QDSSKeychain::ItemAccount));
    start();

    // No prompt can be answered, so none holds the user at Quit: the contacts are there to work with.
    EXPECT_EQ(window()->findChild<QWidget *>(QStringLiteral("coverView")), nullptr);
    auto *list = widgetNamed<QAbstractItemView>(QStringLiteral("Contacts"));
    ASSERT_NE(list, nullptr);
    EXPECT_TRUE(list->isEnabled());
    roads::addContactThroughTheSheet(window(), QStringLiteral("Ann"), QString());
    EXPECT_TRUE(QTest::qWaitFor([&] { return rowWithText(list, QStringLiteral("Ann")).isValid(); }, 5000));

    // The passcode itself stays stored for the lock to use.
    EXPECT_EQ(QDSSKeychain::passwordForService(QDSSKeychain::PasscodeService, QDSSKeychain::ItemAccount),
              QStringLiteral("2468"));
    quitThroughTheMenu();
}

} // namespace
