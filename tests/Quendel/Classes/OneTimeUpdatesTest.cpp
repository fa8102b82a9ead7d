#include "StoreControllerFixture.h"

#include "QuendelKit/Entities/FormFieldType.h"
#include "QuendelKit/Entities/FormFields.h"
#include "QuendelKit/Entities/PersonImage.h"

#include "platform/core/UserDefaults.h"
#include "platform/store/StoreCoordinator.h"

using namespace store_controller_test;
using platform::core::UserDefaults;
using platform::store::ContextPtr;
using platform::store::StoreCoordinator;
using platform::store::StoreType;

namespace {

using C = CoreDataControllerShared;

class OneTimeUpdatesTest : public StoreControllerTest
{
protected:
    void SetUp() override
    {
        StoreControllerTest::SetUp();
        for (const QString &key : {C::RemoveAddOtherRowKey, C::DropBoxParentRevKey, C::DropboxV2MigrateTokensDoneKey,
                                   C::CountDropboxUnsavedChangesKey, FormFields::PinColorChangesPlistKey})
            dataPlistValues().remove(key);
        for (const QString &key : {C::CountAppLaunchKey, C::PersonImageMigrationStartedKey})
            UserDefaults::standardUserDefaults()->removeObjectForKey(key);
    }

    // The store file's metadata while no controller holds it.
    static QVariantMap metadata() { return StoreCoordinator::metadataForPersistentStoreOfType(StoreType::SQLite, storePath()); }
    static void setMetadata(const QVariantMap &changes, const QStringList &removed = {})
    {
        QVariantMap values = metadata();
        for (auto it = changes.cbegin(); it != changes.cend(); ++it)
            values.insert(it.key(), it.value());
        for (const QString &key : removed)
            values.remove(key);
        ASSERT_TRUE(StoreCoordinator::setMetadataForPersistentStoreOfType(values, StoreType::SQLite, storePath()));
    }

    // A launch that changes the store through the main context before the controller goes.
    static void launch(const std::function<void(const ContextPtr &)> &change = {})
    {
        TestController controller([] {});
        const ContextPtr context = controller.managedObjectContext();
        ASSERT_NE(context, nullptr);
        if (change)
            context->performAndWait([&] {
                change(context);
                if (context->hasChanges()) {
                    ASSERT_TRUE(context->save());
                }
            });
    }

    static void deleteAll(const ContextPtr &context, const QString &entityName)
    {
        for (auto *object : context->executeFetchRequest(platform::store::FetchRequest(entityName)))
            context->deleteObject(object);
    }
};

template <typename Title> void addTitle(const ContextPtr &context, const QString &text, qint64 order)
{
    auto *title = context->insertNewObject<Title>(Title::EntityName);
    title->setTitle(text);
    title->setDisplayOrder(order);
}

} // namespace

TEST_F(OneTimeUpdatesTest, ANewDatabaseGetsEveryUpdateAndEachIsMarkedDone)
{
    {
        TestController controller([] {});
        const ContextPtr context = controller.managedObjectContext();
        EXPECT_EQ(countOf(context, FormFieldType::EntityName), 5);
        context->performAndWait([&] { EXPECT_NE(FormFields::getPinColorFieldWithMOC(context.get()), nullptr); });
    }
    const QVariantMap flags = metadata();
    EXPECT_EQ(flags.value(FormFieldType::AddFormFieldTypeValuesKey).toLongLong(), 1);
    EXPECT_EQ(flags.value(FormFields::PinColorFormFieldKey).toLongLong(), 2);
    EXPECT_EQ(flags.value(C::MigratePrivateImagesKey).toLongLong(), 1);
    // The name mark waits for the launch the counter names.
    EXPECT_FALSE(flags.contains(C::NormalizePersonNameAndLetterKey));
    EXPECT_TRUE(dataPlistValues().boolValue(C::RemoveAddOtherRowKey));
    EXPECT_EQ(UserDefaults::standardUserDefaults()->integerForKey(C::PersonImageMigrationStartedKey), 2);

    // The next launch finds every flag and adds nothing.
    launch();
    TestController controller([] {});
    EXPECT_EQ(countOf(controller.managedObjectContext(), FormFieldType::EntityName), 5);
}

TEST_F(OneTimeUpdatesTest, TheFirstAddOtherTitleOfEachListGoesOnceAndTheRestAreNumberedAgain)
{
    launch([](const ContextPtr &context) {
        addTitle<LogTitle>(context, QStringLiteral("Add Other"), 2);
        addTitle<LogTitle>(context, QStringLiteral("add OTHER"), 4);
        addTitle<ToDoTitle>(context, QStringLiteral("ADD OTHER"), 0);
    });
    dataPlistValues().remove(C::RemoveAddOtherRowKey);
    {
        TestController controller([] {});
        const ContextPtr context = controller.managedObjectContext();
        // titlesInOrder checks the display orders run 0, 1, 2, ...
        const QStringList logTitles = titlesInOrder<LogTitle>(context);
        EXPECT_EQ(logTitles.size(), DefaultTitles::defaultLogTitles().size() + 1);
        EXPECT_EQ(logTitles.filter(QStringLiteral("add other"), Qt::CaseInsensitive).size(), 1);
        EXPECT_EQ(titlesInOrder<ToDoTitle>(context), DefaultTitles::defaultToDoTitles());
    }
    EXPECT_TRUE(dataPlistValues().boolValue(C::RemoveAddOtherRowKey));

    // Done once: the one left stays.
    TestController controller([] {});
    EXPECT_EQ(titlesInOrder<LogTitle>(controller.managedObjectContext()).filter(QStringLiteral("add other"),
                                                                                Qt::CaseInsensitive)
                  .size(),
              1);
}

TEST_F(OneTimeUpdatesTest, EachStorePassRunsOnlyWhenItsMetadataFlagSaysItIsDue)
{
    const struct {
        const char *name;
        QVariant fieldTypes, pinColor, images;
        bool typesMade, pinMade, imagesMoved;
    } rows[] = {
        {"only the picture move is due", 1, 2, QVariant(), false, false, true},
        {"pin colour 1 runs again", 1, 1, 1, true, true, false},
        {"pin colour 3 is done", 1, 3, 1, false, false, false},
        {"field types missing", QVariant(), 2, 0, true, false, true},
    };
    launch();
    for (const auto &row : rows) {
        SCOPED_TRACE(row.name);
        launch([](const ContextPtr &context) {
            deleteAll(context, FormFields::EntityName);
            deleteAll(context, FormFieldType::EntityName);
        });
        QVariantMap flags;
        QStringList removed;
        const auto put = [&](const QString &key, const QVariant &value) {
            if (value.isValid())
                flags.insert(key, value);
            else
                removed << key;
        };
        put(FormFieldType::AddFormFieldTypeValuesKey, row.fieldTypes);
        put(FormFields::PinColorFormFieldKey, row.pinColor);
        put(C::MigratePrivateImagesKey, row.images);
        setMetadata(flags, removed);
        UserDefaults::standardUserDefaults()->setInteger(0, C::PersonImageMigrationStartedKey);

        {
            TestController controller([] {});
            const ContextPtr context = controller.managedObjectContext();
            if (!row.pinMade) {
                EXPECT_EQ(countOf(context, FormFieldType::EntityName) > 0, row.typesMade);
            }
            context->performAndWait(
                [&] { EXPECT_EQ(FormFields::getPinColorFieldWithMOC(context.get()) != nullptr, row.pinMade); });
        }
        EXPECT_EQ(UserDefaults::standardUserDefaults()->integerForKey(C::PersonImageMigrationStartedKey),
                  row.imagesMoved ? 2 : 0);
        EXPECT_EQ(metadata().value(C::MigratePrivateImagesKey).toLongLong(), row.imagesMoved ? 1 : row.images.toLongLong());
    }
}

TEST_F(OneTimeUpdatesTest, TheNameMarkIsMadeOnlyWhenTheLaunchCounterIsOne)
{
    launch();
    UserDefaults::standardUserDefaults()->setInteger(2, C::CountAppLaunchKey);
    launch();
    EXPECT_FALSE(metadata().contains(C::NormalizePersonNameAndLetterKey));
    UserDefaults::standardUserDefaults()->setInteger(1, C::CountAppLaunchKey);
    launch();
    EXPECT_EQ(metadata().value(C::NormalizePersonNameAndLetterKey).toLongLong(), 1);
}

TEST_F(OneTimeUpdatesTest, AWaitingDropboxArchiveRunsThePictureMoveAgainUntilItsTokensAreMigrated)
{
    launch([](const ContextPtr &context) {
        for (int i = 0; i < 3; ++i)
            ASSERT_NE(context->insertNewObject(PersonImage::EntityName), nullptr);
    });
    ASSERT_EQ(metadata().value(C::MigratePrivateImagesKey).toLongLong(), 1);
    dataPlistValues().setValue(C::CountDropboxUnsavedChangesKey, qint64(4));
    dataPlistValues().setValue(C::DropBoxParentRevKey, QStringLiteral("rev-1"));
    UserDefaults::standardUserDefaults()->setInteger(0, C::PersonImageMigrationStartedKey);
    qint64 images = 0;
    {
        TestController controller([] {});
        images = countOf(controller.managedObjectContext(), PersonImage::EntityName);
    }
    EXPECT_EQ(dataPlistValues().integerValue(C::CountDropboxUnsavedChangesKey), 4 + 3);
    EXPECT_LE(images, 3);
    EXPECT_EQ(UserDefaults::standardUserDefaults()->integerForKey(C::PersonImageMigrationStartedKey), 2);

    dataPlistValues().setValue(C::DropboxV2MigrateTokensDoneKey, true);
    UserDefaults::standardUserDefaults()->setInteger(0, C::PersonImageMigrationStartedKey);
    launch();
    EXPECT_EQ(dataPlistValues().integerValue(C::CountDropboxUnsavedChangesKey), 4 + 3);
    EXPECT_EQ(UserDefaults::standardUserDefaults()->integerForKey(C::PersonImageMigrationStartedKey), 0);
}
