#include "SettingsFixture.h"

#include "platform/store/Model.h"

#include <latch>
#include <thread>

using namespace settings_test;
using platform::store::EntityDescription;
using platform::store::ManagedObjectID;

namespace {

const EntityDescription &personEntity()
{
    static const EntityDescription entity(QStringLiteral("Person"));
    return entity;
}

ManagedObjectID person(qint64 pk)
{
    return ManagedObjectID::makePermanent(&personEntity(), pk, QStringLiteral("3F1C0D2E-STORE"));
}

} // namespace

class CachesTest : public SettingsTest
{
protected:
    std::unique_ptr<SharedSettingController> start()
    {
        auto settings = std::make_unique<SharedSettingController>();
        settings->initializeCaches();
        return settings;
    }
    QVariantMap fileMap(const QString &name) const
    {
        return platform::core::PropertyList::readDictionaryFile(dataFile(name)).value_or(QVariantMap{{"missing", 1}});
    }
};

TEST_F(CachesTest, BothIdentifierFilesSurviveARestart)
{
    {
        auto settings = start();
        settings->setContactReferenceID("AB-1:ABPerson", person(1));
        settings->setContactUniqueIdentifer("CN-1", person(1));
        settings->setContactUniqueIdentifer("CN-2", person(2));
        ASSERT_TRUE(settings->writeToContactsReferenceFile());
    }
    EXPECT_EQ(fileMap("ContactsReferenceIdentifiers.plist"), (QVariantMap{{person(1).toString(), "AB-1:ABPerson"}}));
    EXPECT_EQ(fileMap("ContactsUniqueIdentifiers.plist").size(), 2);

    auto next = start();
    // The reverse lookup is filled only by asking for the forward entry.
    EXPECT_TRUE(next->objectIDForContactReferenceID("AB-1:ABPerson").isNull());
    EXPECT_EQ(next->contactReferenceIDForObjectID(person(1)), "AB-1:ABPerson");
    EXPECT_EQ(next->objectIDForContactReferenceID("AB-1:ABPerson"), person(1));
    EXPECT_EQ(next->contactUniqueIdentiferForObjectID(person(2)), "CN-2");
    EXPECT_EQ(next->objectIDForContactReferenceID("CN-2"), person(2));
    EXPECT_TRUE(next->contactReferenceIDForObjectID(person(3)).isNull());
}

TEST_F(CachesTest, LookupsRemovalAndEmptying)
{
    auto settings = start();
    settings->setContactReferenceID("AB-1", person(1));
    settings->setContactUniqueIdentifer("CN-1", person(1));
    settings->setContactUniqueIdentifer("CN-9", person(9));
    EXPECT_TRUE(settings->contactReferenceIDExists("AB-1"));
    EXPECT_TRUE(settings->contactReferenceIDExists("CN-9"));
    EXPECT_FALSE(settings->contactReferenceIDExists("AB-2"));

    settings->cleanupContactReferenceIDWithObjectID(person(1));
    EXPECT_TRUE(settings->contactReferenceIDForObjectID(person(1)).isNull());
    EXPECT_TRUE(settings->contactUniqueIdentiferForObjectID(person(1)).isNull());
    EXPECT_TRUE(settings->objectIDForContactReferenceID("AB-1").isNull());
    EXPECT_TRUE(settings->objectIDForContactReferenceID("CN-1").isNull());
    EXPECT_EQ(settings->objectIDForContactReferenceID("CN-9"), person(9));

    imageCacheApp().insert(person(9).toString(), QImage(1, 1, QImage::Format_RGB32));
    settings->cleanUpCaches();
    EXPECT_TRUE(imageCacheApp().isEmpty());
    EXPECT_TRUE(settings->objectIDForContactReferenceID("CN-9").isNull());
    EXPECT_EQ(fileMap("ContactsReferenceIdentifiers.plist"), QVariantMap());
    EXPECT_EQ(fileMap("ContactsUniqueIdentifiers.plist"), QVariantMap());
}

TEST_F(CachesTest, ManyThreadsLinkingAndLookingUpAtOnceLoseNothing)
{
    auto settings = start();
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < 100; ++i) {
                const qint64 pk = t * 1000 + i + 1;
                settings->setContactReferenceID(QStringLiteral("AB-%1").arg(pk), person(pk));
                settings->contactReferenceIDExists(QStringLiteral("AB-%1").arg(pk - 1));
                settings->contactReferenceIDForObjectID(person(pk));
            }
        });
    }
    for (auto &t : threads)
        t.join();
    ASSERT_TRUE(settings->writeToContactsReferenceFile());
    EXPECT_EQ(fileMap("ContactsReferenceIdentifiers.plist").size(), 400);
    EXPECT_EQ(settings->objectIDForContactReferenceID("AB-3100"), person(3100));
}

TEST_F(CachesTest, HashScansReplaceTheCacheWhole)
{
    auto settings = start();
    settings->initialize();
    contacts->hashes = {{11, "first"}, {0, "no-hash"}, {11, "later-wins"}, {12, "other"}};
    settings->loadAllContactHashes();
    EXPECT_EQ(settings->contactsHashValuesCache(), (QHash<quint64, QString>{{11, "later-wins"}, {12, "other"}}));
    EXPECT_EQ(settings->contactFromAllHashesListWithPersonHash(11).toString(), "contact:later-wins");
    EXPECT_FALSE(settings->contactFromAllHashesListWithPersonHash(99).isValid());

    contacts->people = {{"LATER-WINS", {QVariant("one")}}, {"OTHER", {QVariant("a"), QVariant("b")}}};
    settings->loadAllContactHashesForAddressBook();
    EXPECT_EQ(settings->abRecordFromAllHashesListWithPersonHash(11).toString(), "one");
    EXPECT_FALSE(settings->abRecordFromAllHashesListWithPersonHash(12).isValid()) << "two hits give none";

    // While a scan runs, lookups see the previous complete cache, never a partial one.
    std::latch scanning(1), release(1);
    contacts->scanHook = [&] {
        scanning.count_down();
        release.wait();
    };
    contacts->hashes = {{21, "new"}};
    std::thread scan([&] { settings->loadAllContactHashes(); });
    scanning.wait();
    EXPECT_EQ(settings->contactsHashValuesCache().value(11), "later-wins");
    release.count_down();
    scan.join();
    EXPECT_EQ(settings->contactsHashValuesCache(), (QHash<quint64, QString>{{21, "new"}}));
}

TEST_F(CachesTest, LastCheckedIdentifiersAreAppended)
{
    auto settings = start();
    settings->addContactIdentifiersToLastChecked({"a", "b"});
    settings->addContactIdentifiersToLastChecked({"c"});
    EXPECT_EQ(defaults()->arrayForKey("ContactsIdentifierList"), (QVariantList{"a", "b", "c"}));
}

// A contact-link file that cannot be read is never replaced by an empty one without a word: a damaged one
// is kept aside and the user told; one that cannot be opened stays in place and is not written over.
TEST_F(CachesTest, DamagedOrUnreadableLinkFilesAreKeptAndReported)
{
    const QByteArray garbage("<?xml version=\"1.0\"?><plist><dict><key>x-coredata://");
    const struct {
        const char *file;
        bool unreadable; // a folder in the file's place; otherwise damaged text
    } rows[] = {
        {"ContactsReferenceIdentifiers.plist", false},
        {"ContactsUniqueIdentifiers.plist", false},
        {"ContactsReferenceIdentifiers.plist", true},
        {"ContactsUniqueIdentifiers.plist", true},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(std::string(row.file) + (row.unreadable ? " unreadable" : " damaged"));
        QDir(dataFolder()).removeRecursively();
        QDir().mkpath(dataFolder());
        alert->alerts.clear();
        const QString path = dataFile(row.file);
        if (row.unreadable) {
            QDir().mkpath(path + "/inside");
        } else {
            QFile f(path);
            ASSERT_TRUE(f.open(QIODevice::WriteOnly));
            f.write(garbage);
        }

        auto settings = start();
        auto alerts = alert->all();
        ASSERT_EQ(alerts.size(), 1u);
        EXPECT_EQ(alerts[0].title, "Contact Links Could Not Be Read");
        EXPECT_TRUE(alerts[0].message.contains(path)) << qPrintable(alerts[0].message);
        const QStringList aside = QDir(dataFolder()).entryList({QString(row.file) + ".damaged-*"}, QDir::Files);

        settings->setContactReferenceID("AB-1:ABPerson", person(1));
        settings->setContactUniqueIdentifer("CN-1", person(1));
        settings->writeToContactsReferenceFile();
        if (row.unreadable) {
            EXPECT_TRUE(aside.isEmpty());
            EXPECT_TRUE(QFileInfo(path + "/inside").isDir()) << "left in place, never written over";
        } else {
            ASSERT_EQ(aside.size(), 1);
            QFile kept(dataFile(aside.first()));
            ASSERT_TRUE(kept.open(QIODevice::ReadOnly));
            EXPECT_EQ(kept.readAll(), garbage);
            EXPECT_TRUE(alerts[0].message.contains(aside.first())) << qPrintable(alerts[0].message);
            EXPECT_FALSE(fileMap(row.file).contains("missing")) << "a new file is written beside the kept one";
        }
    }
}
