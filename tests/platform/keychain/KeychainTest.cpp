#include "platform/keychain/Keychain.h"

#include "support/TempHome.h"

#include <QDir>
#include <QFile>
#include <QLockFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <thread>

using namespace platform::keychain;

namespace {

Item makeItem(const QString &service, const QString &account, const QByteArray &data, const QString &label = {})
{
    Item item;
    item.service = service;
    item.account = account;
    item.data = data;
    item.label = label;
    return item;
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll();
}

void writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(bytes);
}

int modeOf(const QString &path)
{
    struct stat st;
    if (::stat(QFile::encodeName(path).constData(), &st) != 0)
        return -1;
    return int(st.st_mode & 0777);
}

class KeychainTest : public ::testing::Test
{
protected:
    QTemporaryDir m_dir;
    QString path() const { return m_dir.filePath(QStringLiteral("cfg/Quendel/keychain")); }
};

TEST_F(KeychainTest, DefaultFileLiesInTheConfigHome)
{
    EXPECT_EQ(Keychain::defaultFilePath(), quendel::test::processHome().configHome() + "/Quendel/keychain");
    EXPECT_EQ(Keychain().filePath(), Keychain::defaultFilePath());
}

TEST_F(KeychainTest, SaveFindReplaceRemove)
{
    Keychain keychain(path());
    Item found;
    EXPECT_EQ(keychain.find("Quendel", "pin", &found), ItemNotFound);
    EXPECT_EQ(keychain.remove("Quendel", "pin"), ItemNotFound);

    const QByteArray binary("a\nb\0c\tend", 9);
    ASSERT_EQ(keychain.save(makeItem("Quendel", "pin", "1234", "Passcode")), Success);
    ASSERT_EQ(keychain.save(makeItem("LocalUUID", "pin", binary)), Success);

    ASSERT_EQ(keychain.find("Quendel", "pin", &found), Success);
    EXPECT_EQ(found.data, QByteArray("1234"));
    EXPECT_EQ(found.label, QStringLiteral("Passcode"));
    EXPECT_TRUE(found.created.isValid());
    EXPECT_EQ(found.created.timeSpec(), Qt::UTC);
    ASSERT_EQ(keychain.find("LocalUUID", "pin", &found), Success);
    EXPECT_EQ(found.data, binary);
    EXPECT_TRUE(found.label.isNull());

    ASSERT_EQ(keychain.save(makeItem("Quendel", "pin", "9999")), Success);
    std::vector<Item> all;
    ASSERT_EQ(keychain.findAll(QString(), &all), Success);
    ASSERT_EQ(all.size(), 2u);
    ASSERT_EQ(keychain.findAll("Quendel", &all), Success);
    ASSERT_EQ(all.size(), 1u);
    EXPECT_EQ(all[0].data, QByteArray("9999"));

    EXPECT_EQ(keychain.remove("Quendel", "pin"), Success);
    EXPECT_EQ(keychain.find("Quendel", "pin", &found), ItemNotFound);
    EXPECT_EQ(keychain.findAll("Quendel", &all), ItemNotFound);
    EXPECT_EQ(keychain.find("LocalUUID", "pin", &found), Success);
}

TEST_F(KeychainTest, FileIsPrivate)
{
    Keychain keychain(path());
    ASSERT_EQ(keychain.save(makeItem("Quendel", "pin", "1234")), Success);
    EXPECT_EQ(modeOf(path()), 0600);
    EXPECT_EQ(modeOf(QFileInfo(path()).path()), 0700);

    // A file someone opened up is private again after the next write.
    QFile::setPermissions(path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadOther);
    ASSERT_EQ(keychain.save(makeItem("Quendel", "pin", "5678")), Success);
    EXPECT_EQ(modeOf(path()), 0600);
}

struct Damage
{
    const char *name;
    std::function<QByteArray(const QByteArray &)> apply;
    bool lostSecond; // the second item ("B") can no longer be read
    int damagedLines = 1;
};

TEST_F(KeychainTest, DamagedFileKeepsReadableItemsAndReportsTheRest)
{
    const Damage damages[] = {
        {"changed character in one item",
         [](const QByteArray &f) {
             QList<QByteArray> lines = f.split('\n');
             lines[2][30] = lines[2][30] == 'x' ? 'y' : 'x';
             return lines.join('\n');
         },
         true},
        {"garbage line", [](const QByteArray &f) { return f + "\x01\x02 not an item\n"; }, false},
        {"cut off in the middle of the last item", [](const QByteArray &f) { return f.left(f.size() - 20); }, true},
        {"checksum of a line that is not JSON",
         [](const QByteArray &f) {
             const QByteArray payload("{broken");
             return f + "0000000000000000\t" + payload + "\n";
         },
         false},
        {"header lost (not damage: the items are whole)",
         [](const QByteArray &f) { return f.mid(f.indexOf('\n') + 1); }, false, 0},
    };
    for (const Damage &damage : damages) {
        SCOPED_TRACE(damage.name);
        QFile::remove(path());
        Keychain keychain(path());
        ASSERT_EQ(keychain.save(makeItem("S", "A", "first")), Success);
        ASSERT_EQ(keychain.save(makeItem("S", "B", "second")), Success);
        const QByteArray damaged = damage.apply(readFile(path()));
        writeFile(path(), damaged);

        Item item;
        EXPECT_EQ(keychain.find("S", "A", &item), Success);
        EXPECT_EQ(item.data, QByteArray("first"));
        if (damage.lostSecond) {
            EXPECT_EQ(keychain.find("S", "B", &item), DamagedFile);
        } else {
            EXPECT_EQ(keychain.find("S", "B", &item), Success);
            EXPECT_EQ(item.data, QByteArray("second"));
        }
        // A missing item may be on the damaged line, so the answer is the damage, not "not found".
        EXPECT_EQ(keychain.find("S", "C", &item), damage.damagedLines ? DamagedFile : ItemNotFound);
        int damagedLines = 0;
        std::vector<Item> all;
        EXPECT_EQ(keychain.findAll("S", &all, &damagedLines), Success);
        EXPECT_EQ(damagedLines, damage.damagedLines);
        EXPECT_EQ(all.size(), damage.lostSecond ? 1u : 2u);

        // Writing goes on, and the damaged text is carried over as it was.
        ASSERT_EQ(keychain.save(makeItem("S", "C", "third")), Success);
        EXPECT_EQ(keychain.find("S", "C", &item), Success);
        EXPECT_EQ(keychain.find("S", "A", &item), Success);
        EXPECT_EQ(modeOf(path()), 0600);
        const QByteArray after = readFile(path());
        for (const QByteArray &line : damaged.split('\n')) {
            if (!line.isEmpty() && line != Keychain::FileHeader) {
                EXPECT_TRUE(after.contains(line)) << line.constData();
            }
        }
    }
}

TEST_F(KeychainTest, WholeFileOfGarbage)
{
    QDir().mkpath(QFileInfo(path()).path());
    writeFile(path(), QByteArray("\x89PNG\r\n\x1a\n\0\0\0 binary", 20));
    Keychain keychain(path());
    Item item;
    EXPECT_EQ(keychain.find("Quendel", "pin", &item), DamagedFile);
    std::vector<Item> all;
    EXPECT_EQ(keychain.findAll(QString(), &all), DamagedFile);
    EXPECT_EQ(keychain.remove("Quendel", "pin"), DamagedFile);
    ASSERT_EQ(keychain.save(makeItem("Quendel", "pin", "1234")), Success);
    EXPECT_EQ(keychain.find("Quendel", "pin", &item), Success);
}

TEST_F(KeychainTest, TwoInstancesShareTheFile)
{
    Keychain first(path());
    Keychain second(path());
    ASSERT_EQ(first.save(makeItem("Quendel", "pin", "1")), Success);
    Item item;
    ASSERT_EQ(second.find("Quendel", "pin", &item), Success);
    EXPECT_EQ(item.data, QByteArray("1"));

    // Concurrent writers must not lose each other's items (each write re-reads under the lock).
    auto writer = [this](const QString &prefix) {
        Keychain keychain(path());
        for (int i = 0; i < 15; ++i)
            EXPECT_EQ(keychain.save(makeItem("svc", prefix + QString::number(i), "v")), Success);
    };
    std::thread a(writer, QStringLiteral("a"));
    std::thread b(writer, QStringLiteral("b"));
    a.join();
    b.join();
    std::vector<Item> all;
    ASSERT_EQ(first.findAll("svc", &all), Success);
    EXPECT_EQ(all.size(), 30u);
}

TEST_F(KeychainTest, TwoProcessesWritingAtOnceLoseNothing)
{
    Keychain keychain(path());
    ASSERT_EQ(keychain.save(makeItem("svc", "first", "v")), Success);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        Keychain other(path());
        bool ok = true;
        for (int i = 0; i < 25; ++i)
            ok = other.save(makeItem("svc", "child" + QString::number(i), "c")) == Success && ok;
        ::_exit(ok ? 0 : 1);
    }
    for (int i = 0; i < 25; ++i)
        EXPECT_EQ(keychain.save(makeItem("svc", "parent" + QString::number(i), "p")), Success);
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    std::vector<Item> all;
    int damaged = -1;
    ASSERT_EQ(keychain.findAll("svc", &all, &damaged), Success);
    EXPECT_EQ(all.size(), 51u);
    EXPECT_EQ(damaged, 0);
}

TEST_F(KeychainTest, LockHeldByAnotherWriterMakesWritesWaitThenGiveUp)
{
    Keychain keychain(path());
    ASSERT_EQ(keychain.save(makeItem("Quendel", "pin", "1")), Success);
    const QByteArray before = readFile(path());

    QLockFile other(path() + ".lock");
    ASSERT_TRUE(other.tryLock(0));
    keychain.setLockTimeoutMs(50);
    EXPECT_EQ(keychain.save(makeItem("Quendel", "pin", "2")), Busy);
    EXPECT_EQ(keychain.remove("Quendel", "pin"), Busy);
    EXPECT_EQ(readFile(path()), before);
    Item item;
    EXPECT_EQ(keychain.find("Quendel", "pin", &item), Success); // reads never wait

    other.unlock();
    EXPECT_EQ(keychain.save(makeItem("Quendel", "pin", "2")), Success);
    ASSERT_EQ(keychain.find("Quendel", "pin", &item), Success);
    EXPECT_EQ(item.data, QByteArray("2"));
}

TEST_F(KeychainTest, UnwritableFolderIsAFileError)
{
    const QString blocker = m_dir.filePath("blocked");
    writeFile(blocker, "a file where the folder should be");
    Keychain keychain(blocker + "/Quendel/keychain");
    EXPECT_EQ(keychain.save(makeItem("Quendel", "pin", "1")), FileError);
    EXPECT_FALSE(statusMessage(FileError).isEmpty());
    EXPECT_TRUE(statusMessage(-1).isNull());
}

} // namespace
