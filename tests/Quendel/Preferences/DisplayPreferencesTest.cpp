#include "QuendelKit/Entities/EntityStoreFixture.h"

#include "Mac/Preferences/DisplayPreferences.h"

#include "QuendelKit/Entities/Person.h"
#include "QuendelKit/Settings/DataPlistValues.h"
#include "QuendelKit/Settings/SharedSettingController.h"

#include "platform/core/NotificationCenter.h"
#include "platform/core/PropertyList.h"

#include <QTest>

#include <gtest/gtest.h>

using quendel::test::EntityStoreTest;

namespace {

class RecordingDelegate : public QDDisplayPreferencesDelegate
{
public:
    void willBeginActivity() override { calls << QStringLiteral("begin"); }
    void finishedActivity() override { calls << QStringLiteral("finished"); }
    QStringList calls;
};

class DisplayPreferencesTest : public EntityStoreTest
{
protected:
    static qint64 storedSortOrder()
    {
        const QString path = SharedSettingController::sharedSettings().dataFilePath(QDSettingsKeys::DataPlistFileName);
        const QVariantMap stored = platform::core::PropertyList::readDictionaryFile(path).value_or(QVariantMap());
        return stored.value(Person::SortOrderSettingKey, -1).toLongLong();
    }
};

TEST_F(DisplayPreferencesTest, TheSettingAndItsNoticeComeAtOnceTheFileInOrderAfterwards)
{
    // The settings are read at launch, before anyone can change one; read later, they would replace the change.
    SharedSettingController::sharedSettings();
    DisplayPreferences preferences;
    RecordingDelegate delegate;
    preferences.setDelegate(&delegate);
    QStringList seen;
    platform::core::ScopedObserver observer(QDSettingsKeys::SortOrderNotification, nullptr,
                                            [&](const platform::core::Notification &) {
                                                seen << QString::number(
                                                    dataPlistValues().integerValue(Person::SortOrderSettingKey));
                                            });

    preferences.sortOrderChangedWithValue(qint64(1));
    preferences.sortOrderChangedWithValue(qint64(2));
    // Observers saw each value as it was set, before anything was written.
    EXPECT_EQ(seen, (QStringList{QStringLiteral("1"), QStringLiteral("2")}));
    EXPECT_EQ(delegate.calls, (QStringList{QStringLiteral("begin"), QStringLiteral("begin")}));

    ASSERT_TRUE(QTest::qWaitFor([&] { return delegate.calls.count(QStringLiteral("finished")) == 2; }, 5000));
    EXPECT_EQ(storedSortOrder(), 2);
}

TEST_F(DisplayPreferencesTest, WorksWithoutADelegateAndStopsTellingOneThatWentAway)
{
    {
        DisplayPreferences preferences;
        preferences.displayOrderChangedWithValue(qint64(1));
        EXPECT_EQ(dataPlistValues().integerValue(Person::DisplayOrderSettingKey), 1);
    }
    auto delegate = std::make_unique<RecordingDelegate>();
    DisplayPreferences preferences;
    preferences.setDelegate(delegate.get());
    preferences.displayOrderChangedWithValue(qint64(0));
    preferences.setDelegate(nullptr);
    delegate.reset();
    QTest::qWait(100);
    EXPECT_EQ(dataPlistValues().integerValue(Person::DisplayOrderSettingKey), 0);
}

} // namespace
