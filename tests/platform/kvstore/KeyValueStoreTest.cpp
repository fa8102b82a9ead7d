#include "platform/kvstore/KeyValueStore.h"
#include "platform/core/NotificationCenter.h"
#include "support/TempHome.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <gtest/gtest.h>

using namespace platform::kvstore;
using platform::core::Notification;
using platform::core::NotificationCenter;
using platform::core::ScopedObserver;

namespace {

// Collects the store's change notices.
struct NoticeLog
{
    explicit NoticeLog(const KeyValueStore *store)
        : observer(DidChangeExternallyNotification, store, [this](const Notification &n) {
              reasons << n.userInfo.value(ChangeReasonKey).toInt();
              keys << n.userInfo.value(ChangedKeysKey).toStringList();
          })
    {}
    bool waitFor(int count, int ms = 5000)
    {
        QElapsedTimer t;
        t.start();
        while (reasons.size() < count && t.elapsed() < ms) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
            QThread::msleep(5);
        }
        return reasons.size() >= count;
    }
    QList<int> reasons;
    QList<QStringList> keys;
    ScopedObserver observer;
};

QString storePath(const QTemporaryDir &dir)
{
    return QDir(dir.path()).filePath(KeyValueStore::FileName);
}

} // namespace

TEST(KeyValueStore, TypedValuesSurviveAReopen)
{
    QTemporaryDir dir;
    const QDateTime when = QDateTime(QDate(2024, 2, 29), QTime(13, 45, 10, 250), Qt::UTC);
    const QVariantMap nested{{"n", 3}, {"$odd", "looks tagged"}};
    const QVariantMap tagLike{{"$date", "not a date"}};
    {
        KeyValueStore store(storePath(dir));
        store.setString("s", "text");
        store.setLongLong("i", 42);
        store.setDouble("r", 2.0);
        store.setBool("b", true);
        store.setObject("d", when);
        store.setObject("bytes", QByteArray("\x00\x01\xff", 3));
        store.setObject("list", QVariantList{1, "two", 3.5});
        store.setObject("dict", nested);
        store.setObject("tagLike", tagLike);
        store.setObject("deep", QVariantMap{{"x", QVariantList{QVariantMap{{"deep", 1.25}}}}});
    }
    KeyValueStore again(storePath(dir));
    EXPECT_EQ(again.string("s"), "text");
    EXPECT_EQ(again.object("i").typeId(), QMetaType::LongLong);
    EXPECT_EQ(again.longLong("i"), 42);
    EXPECT_EQ(again.object("r").typeId(), QMetaType::Double);
    EXPECT_EQ(again.doubleValue("r"), 2.0);
    EXPECT_EQ(again.object("b").typeId(), QMetaType::Bool);
    EXPECT_TRUE(again.boolValue("b"));
    EXPECT_EQ(again.date("d"), when);
    EXPECT_EQ(again.data("bytes"), QByteArray("\x00\x01\xff", 3));
    EXPECT_EQ(again.array("list"), (QVariantList{1, "two", 3.5}));
    EXPECT_EQ(again.dictionary("dict"), nested);
    EXPECT_EQ(again.dictionary("tagLike"), tagLike);
    EXPECT_EQ(again.dictionary("deep").value("x").toList().first().toMap().value("deep").toDouble(), 1.25);
    // A typed read of another type gives the type's empty value rather than a conversion.
    EXPECT_TRUE(again.string("i").isNull());
    EXPECT_FALSE(again.date("s").isValid());
}

TEST(KeyValueStore, EnumeratesAndRemovesKeys)
{
    QTemporaryDir dir;
    KeyValueStore store(storePath(dir));
    store.setLongLong("deviceUUID_A", 1);
    store.setLongLong("deviceUUID_B", 2);
    store.setLongLong("other", 3);
    EXPECT_EQ(store.keys(), (QStringList{"deviceUUID_A", "deviceUUID_B", "other"}));
    store.removeObject("deviceUUID_A");
    store.setObject("deviceUUID_B", QVariant());
    EXPECT_EQ(store.keys(), QStringList{"other"});
    EXPECT_FALSE(store.contains("deviceUUID_A"));
    EXPECT_TRUE(store.synchronize());
    EXPECT_EQ(KeyValueStore(storePath(dir)).keys(), QStringList{"other"});
}

TEST(KeyValueStore, TwoWritersKeepEachOthersKeysAndSynchronizeAnnouncesTheirs)
{
    QTemporaryDir dir;
    KeyValueStore first(storePath(dir));
    KeyValueStore second(storePath(dir));
    NoticeLog firstNotices(&first);
    first.setLongLong("a", 1);
    second.setLongLong("b", 2);
    second.removeObject("never-there");
    EXPECT_TRUE(second.contains("a")) << "a write takes in what others wrote";
    EXPECT_TRUE(first.synchronize());
    EXPECT_EQ(first.longLong("b"), 2);
    ASSERT_TRUE(firstNotices.waitFor(1));
    EXPECT_EQ(firstNotices.reasons.first(), int(ServerChange));
    EXPECT_TRUE(firstNotices.keys.first().contains("b"));
    EXPECT_EQ(KeyValueStore(storePath(dir)).keys(), (QStringList{"a", "b"}));
}

TEST(KeyValueStore, AChangeOfTheFileByAnotherWriterIsNoticedWithoutAsking)
{
    QTemporaryDir dir;
    KeyValueStore watcher(storePath(dir));
    watcher.setLongLong("mine", 1);
    NoticeLog notices(&watcher);
    {
        KeyValueStore other(storePath(dir));
        other.setString("display_setting_sortOrder_kvs", "from elsewhere");
    }
    ASSERT_TRUE(notices.waitFor(1));
    EXPECT_EQ(notices.reasons.first(), int(ServerChange));
    EXPECT_EQ(notices.keys.first(), QStringList{"display_setting_sortOrder_kvs"});
    EXPECT_EQ(watcher.string("display_setting_sortOrder_kvs"), "from elsewhere");
    EXPECT_EQ(watcher.longLong("mine"), 1);
}

TEST(KeyValueStore, OwnWritesRaiseNoNotice)
{
    QTemporaryDir dir;
    KeyValueStore store(storePath(dir));
    NoticeLog notices(&store);
    store.setLongLong("k", 1);
    store.setLongLong("k", 2);
    store.synchronize();
    EXPECT_FALSE(notices.waitFor(1, 300));
}

TEST(KeyValueStore, InjectedChangesCarryEachReasonAndTheirKeys)
{
    QTemporaryDir dir;
    KeyValueStore store(storePath(dir));
    store.setLongLong("deviceUUID_X", 1);
    NoticeLog notices(&store);
    const std::pair<ChangeReason, QVariantMap> cases[] = {
        {ServerChange, {{"display_setting_sortOrder_kvs", 2}}},
        {InitialSyncChange, {{"todo_setting_default_day_kvs", 3}}},
        {QuotaViolationChange, {}},
        {AccountChange, {}},
    };
    for (const auto &[reason, values] : cases)
        store.injectExternalChange(reason, values);
    ASSERT_EQ(notices.reasons, (QList<int>{0, 1, 2, 3}));
    EXPECT_EQ(notices.keys[0], QStringList{"display_setting_sortOrder_kvs"});
    EXPECT_EQ(notices.keys[1], QStringList{"todo_setting_default_day_kvs"});
    EXPECT_TRUE(notices.keys[2].isEmpty());
    EXPECT_EQ(store.longLong("display_setting_sortOrder_kvs"), 2);
    // Injected values are on disk, as another device would have left them.
    EXPECT_EQ(KeyValueStore(storePath(dir)).longLong("todo_setting_default_day_kvs"), 3);

    store.injectExternalChange(ServerChange, {{"deviceUUID_X", QVariant()}});
    EXPECT_FALSE(store.contains("deviceUUID_X"));
    store.postExternalChange(QuotaViolationChange, {"k"});
    EXPECT_EQ(notices.reasons.last(), int(QuotaViolationChange));
    EXPECT_EQ(notices.keys.last(), QStringList{"k"});
}

// Files that are not JSON, and JSON of a layout or format number this version does not write, are kept
// aside byte for byte; the store starts again from its own view and never writes over them.
TEST(KeyValueStore, ADamagedOrForeignFileIsKeptAsideNotWrittenOver)
{
    const struct {
        const char *name;
        QByteArray contents;
    } rows[] = {
        {"not JSON", "{ this is not json"},
        {"a JSON array", R"([1, 2, 3])"},
        {"a newer format number", R"({"format": 2, "values": {"k": {"t": "i", "v": 1}}})"},
        {"a format number as text", R"({"format": "1", "values": {}})"},
        {"no format number", R"({"values": {}})"},
        {"values of another layout", R"({"format": 1, "values": [["k", 1]]})"},
        {"another layout altogether", R"({"entries": {"k": 1}})"},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.name);
        QTemporaryDir dir;
        {
            QFile f(storePath(dir));
            ASSERT_TRUE(f.open(QIODevice::WriteOnly));
            f.write(row.contents);
        }
        KeyValueStore store(storePath(dir));
        EXPECT_TRUE(store.keys().isEmpty());
        store.setLongLong("k", 7);
        const QStringList aside = QDir(dir.path()).entryList({KeyValueStore::FileName + ".damaged-*"}, QDir::Files);
        ASSERT_EQ(aside.size(), 1);
        QFile kept(QDir(dir.path()).filePath(aside.first()));
        ASSERT_TRUE(kept.open(QIODevice::ReadOnly));
        EXPECT_EQ(kept.readAll(), row.contents);
        EXPECT_EQ(KeyValueStore(storePath(dir)).longLong("k"), 7);
    }
}

TEST(KeyValueStore, AnUnreachableFolderFailsSynchronizeAndKeepsTheChangeForLater)
{
    QTemporaryDir dir;
    // A plain file where the shared folder should be: nothing can be written below it, even as root.
    const QString folder = QDir(dir.path()).filePath("shared");
    {
        QFile blocker(folder);
        ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    }
    const QString file = QDir(folder).filePath(KeyValueStore::FileName);
    KeyValueStore store(file);
    EXPECT_FALSE(store.isAccountAvailable());
    store.setLongLong("k", 1);
    EXPECT_EQ(store.longLong("k"), 1);
    EXPECT_FALSE(store.synchronize());
    ASSERT_TRUE(QFile::remove(folder));
    EXPECT_TRUE(store.synchronize());
    EXPECT_EQ(KeyValueStore(file).longLong("k"), 1);
}

TEST(KeyValueStore, DefaultStoreLivesInTheDefaultFolderAndCanBeReplaced)
{
    KeyValueStore::resetDefaultStore();
    const QString expected = quendel::test::processHome().dataHome() + "/QuendelSharedStore";
    EXPECT_EQ(KeyValueStore::defaultFolder(), expected);
    auto store = KeyValueStore::defaultStore();
    ASSERT_TRUE(store);
    EXPECT_EQ(store->filePath(), expected + "/" + KeyValueStore::FileName);
    EXPECT_EQ(KeyValueStore::defaultStore(), store);
    EXPECT_TRUE(store->isAccountAvailable());
    store->setAccountAvailableOverride(false);
    EXPECT_FALSE(store->isAccountAvailable());

    QTemporaryDir synced;
    KeyValueStore::setDefaultFolder(synced.path());
    KeyValueStore::resetDefaultStore();
    EXPECT_EQ(KeyValueStore::defaultStore()->filePath(), storePath(synced));
    KeyValueStore::setDefaultStore(nullptr);
    EXPECT_FALSE(KeyValueStore::defaultStore());
    KeyValueStore::setDefaultFolder(QString());
    KeyValueStore::resetDefaultStore();
}

// The writer half of the two-process test: run by the test below in child processes.
TEST(KeyValueStoreChild, DISABLED_WriteKeys)
{
    const QString file = qEnvironmentVariable("QUENDEL_KVS_CHILD_FILE");
    const QString prefix = qEnvironmentVariable("QUENDEL_KVS_CHILD_PREFIX");
    ASSERT_FALSE(file.isEmpty());
    KeyValueStore store(file);
    for (int i = 0; i < 60; ++i)
        store.setLongLong(QStringLiteral("%1_%2").arg(prefix).arg(i), i);
    EXPECT_TRUE(store.synchronize());
}

TEST(KeyValueStore, TwoProcessesWritingAtOnceLoseNoKey)
{
    QTemporaryDir dir;
    const QString file = storePath(dir);
    KeyValueStore watcher(file);
    NoticeLog notices(&watcher);
    std::vector<std::unique_ptr<QProcess>> children;
    for (const char *prefix : {"first", "second"}) {
        auto p = std::make_unique<QProcess>();
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("QUENDEL_KVS_CHILD_FILE", file);
        env.insert("QUENDEL_KVS_CHILD_PREFIX", prefix);
        p->setProcessEnvironment(env);
        p->setProcessChannelMode(QProcess::MergedChannels);
        p->start(QCoreApplication::applicationFilePath(),
                 {"--gtest_also_run_disabled_tests", "--gtest_filter=KeyValueStoreChild.DISABLED_WriteKeys"});
        children.push_back(std::move(p));
    }
    for (auto &p : children) {
        ASSERT_TRUE(p->waitForFinished(120000));
        EXPECT_EQ(p->exitCode(), 0) << p->readAll().toStdString();
    }
    const QStringList keys = KeyValueStore(file).keys();
    EXPECT_EQ(keys.size(), 120);
    // A third process sees the other two's keys arrive without asking.
    QSet<QString> announced;
    QElapsedTimer t;
    t.start();
    while (announced.size() < 120 && t.elapsed() < 10000) {
        notices.waitFor(notices.reasons.size() + 1, 100);
        for (const QStringList &k : std::as_const(notices.keys))
            announced.unite(QSet<QString>(k.begin(), k.end()));
    }
    EXPECT_EQ(announced.size(), 120);
    EXPECT_EQ(watcher.keys().size(), 120);
    for (int reason : std::as_const(notices.reasons))
        EXPECT_EQ(reason, int(ServerChange));
    for (int i = 0; i < 60; ++i) {
        EXPECT_TRUE(keys.contains(QStringLiteral("first_%1").arg(i)));
        EXPECT_TRUE(keys.contains(QStringLiteral("second_%1").arg(i)));
    }
}
