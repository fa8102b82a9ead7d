#include "platform/contacts/AddressBook.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QThread>
#include <gtest/gtest.h>

using namespace platform::contacts;
using platform::core::QDError;

namespace {

QByteArray fixture(const QString &name)
{
    QFile file(qEnvironmentVariable("QUENDEL_TEST_DATA") + QStringLiteral("/contacts/") + name);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void writeFile(const QString &path, const QByteArray &data)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(data);
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool waitFor(const std::function<bool()> &done, int ms = 5000)
{
    QElapsedTimer t;
    t.start();
    while (!done() && t.elapsed() < ms) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(5);
    }
    return done();
}

QStringList uids(const QList<ContactRecord> &records)
{
    QStringList out;
    for (const ContactRecord &r : records)
        out << r.uniqueId();
    return out;
}

struct Book
{
    QTemporaryDir dir;
    std::unique_ptr<AddressBook> book;
    QString collection() const { return dir.path() + QStringLiteral("/contacts/local/default"); }
    Book()
    {
        book = std::make_unique<AddressBook>(dir.path() + QStringLiteral("/contacts"));
    }
};

} // namespace

TEST(AddressBook, EmptyRootGetsOneAccountWithOneCollection)
{
    Book b;
    QDError error;
    ASSERT_TRUE(b.book->load(&error));
    EXPECT_EQ(b.book->collectionPaths(), QStringList{b.collection()});
    EXPECT_EQ(b.book->accountPaths(), QStringList{b.dir.path() + QStringLiteral("/contacts/local")});
    EXPECT_EQ(b.book->defaultCollectionPath(), b.collection());
    EXPECT_TRUE(b.book->people().isEmpty());
}

TEST(AddressBook, SavesOneFilePerContactAtomicallyAndReadsItBack)
{
    Book b;
    ASSERT_TRUE(b.book->load());
    QSignalSpy internal(b.book.get(), &AddressBook::changedInternally);
    ContactRecord r;
    r.setStringValue(property::FirstName, QStringLiteral("Grace"));
    r.setStringValue(property::LastName, QStringLiteral("Hopper"));
    MultiValue phones;
    phones.add(QStringLiteral("+1 (555) 010-2000"), QStringLiteral("mobile"));
    r.setMultiValue(property::Phone, phones);
    b.book->setRecord(r);
    EXPECT_TRUE(b.book->hasUnsavedChanges());
    ASSERT_TRUE(b.book->save());
    EXPECT_FALSE(b.book->hasUnsavedChanges());
    const QString path = b.collection() + QLatin1Char('/') + r.uniqueId() + QStringLiteral(".vcf");
    ASSERT_TRUE(QFile::exists(path));
    EXPECT_EQ(QDir(b.collection()).entryList(QDir::Files), QStringList{r.uniqueId() + QStringLiteral(".vcf")});
    ASSERT_EQ(internal.size(), 1);
    EXPECT_EQ(internal.at(0).at(0).toStringList(), QStringList{r.uniqueId()});

    AddressBook other(b.dir.path() + QStringLiteral("/contacts"));
    ASSERT_TRUE(other.load());
    const auto back = other.recordForUniqueId(r.uniqueId());
    ASSERT_TRUE(back.has_value());
    EXPECT_EQ(back->stringValue(property::LastName), QStringLiteral("Hopper"));
    EXPECT_EQ(back->multiValue(property::Phone).entries.value(0).label, QStringLiteral("mobile"));
    EXPECT_EQ(other.collectionPathForRecord(r.uniqueId()), b.collection());
    EXPECT_EQ(other.accountPathForRecord(r.uniqueId()), b.dir.path() + QStringLiteral("/contacts/local"));

    // Our own write is not someone else's change.
    QSignalSpy external(b.book.get(), &AddressBook::changedExternally);
    b.book->rescan();
    EXPECT_EQ(external.size(), 0);

    ASSERT_TRUE(b.book->removeRecord(r.uniqueId()));
    ASSERT_TRUE(b.book->save());
    EXPECT_FALSE(QFile::exists(path));
}

TEST(AddressBook, AnEditRightAfterOursWithTheSameSizeAndTimeIsStillSeen)
{
    // A file system keeps times in steps of milliseconds or more: another program that rewrites a card within
    // one step of our write leaves its size and time as they were.
    Book b;
    ASSERT_TRUE(b.book->load());
    ContactRecord r;
    r.setStringValue(property::FirstName, QStringLiteral("Grace"));
    b.book->setRecord(r);
    ASSERT_TRUE(b.book->save());
    const QString path = b.collection() + QLatin1Char('/') + r.uniqueId() + QStringLiteral(".vcf");
    const QDateTime written = QFileInfo(path).lastModified();
    QByteArray data = readFile(path);
    ASSERT_TRUE(data.contains("Grace"));
    data.replace("Grace", "Gracy");
    writeFile(path, data);
    {
        QFile stamped(path);
        ASSERT_TRUE(stamped.open(QIODevice::ReadWrite));
        ASSERT_TRUE(stamped.setFileTime(written, QFileDevice::FileModificationTime));
    }

    QSignalSpy external(b.book.get(), &AddressBook::changedExternally);
    b.book->rescan();
    ASSERT_EQ(external.size(), 1);
    EXPECT_EQ(external.at(0).at(1).toStringList(), QStringList{r.uniqueId()});
    EXPECT_EQ(b.book->recordForUniqueId(r.uniqueId())->stringValue(property::FirstName), QStringLiteral("Gracy"));
    // Read again and found as it was: no second report.
    b.book->rescan();
    EXPECT_EQ(external.size(), 1);
}

TEST(AddressBook, RevertDropsUnsavedChanges)
{
    Book b;
    ASSERT_TRUE(b.book->load());
    ContactRecord r;
    r.setStringValue(property::FirstName, QStringLiteral("Kept"));
    b.book->setRecord(r);
    ASSERT_TRUE(b.book->save());
    ContactRecord changed = *b.book->recordForUniqueId(r.uniqueId());
    changed.setStringValue(property::FirstName, QStringLiteral("Changed"));
    b.book->setRecord(changed);
    ContactRecord fresh;
    b.book->setRecord(fresh);
    b.book->revert();
    EXPECT_FALSE(b.book->hasUnsavedChanges());
    EXPECT_EQ(b.book->recordForUniqueId(r.uniqueId())->stringValue(property::FirstName), QStringLiteral("Kept"));
    EXPECT_FALSE(b.book->recordForUniqueId(fresh.uniqueId()).has_value());
}

TEST(AddressBook, SearchElementsTable)
{
    Book b;
    for (const char *name : {"grouped-labels-v3.vcf", "company-v4.vcf", "quoted-printable-v21.vcf", "group-v4.vcf"})
        writeFile(b.collection() + QLatin1Char('/') + QString::fromLatin1(name), fixture(QString::fromLatin1(name)));
    ASSERT_TRUE(b.book->load());
    EXPECT_EQ(b.book->people().size(), 3);
    EXPECT_EQ(b.book->groups().size(), 1);

    struct Case
    {
        QList<SearchElement> elements;
        QStringList expected;
    };
    const QString ada = QStringLiteral("ada-lovelace-0001");
    const QString northwind = QStringLiteral("7f0c7a2e-1111-4c5d-9e11-0123456789ab");
    const QList<Case> cases = {
        {{{property::LastName, QStringLiteral("LOVELACE")}}, {ada}},
        {{{property::LastName, QStringLiteral("Lovelace")}, {property::FirstName, QStringLiteral("Grace")}}, {}},
        {{{property::Phone, QStringLiteral("07700 900123")}}, {ada}},
        {{{property::Phone, QStringLiteral("15550100")}}, {northwind}},            // digits alone
        {{{property::Email, QStringLiteral("ADA@engines.example")}}, {ada}},       // any value, any case
        {{{property::Flags, 1, SearchElement::BitsSet}}, {northwind}},
        {{{property::Suffix, QString()}, {property::LastName, QStringLiteral("Lovelace")}}, {ada}}, // absent = ""
    };
    for (const Case &c : cases)
        EXPECT_EQ(uids(b.book->search(c.elements)), c.expected);
    EXPECT_EQ(uids(b.book->peopleMatchingName(QStringLiteral(" ada lovelace"))), QStringList{});
    EXPECT_EQ(uids(b.book->peopleMatchingName(QStringLiteral(" Lovelace"))), QStringList{ada});
    EXPECT_EQ(uids(b.book->peopleMatchingName(QStringLiteral("northwind"))), QStringList{northwind});
    EXPECT_EQ(uids(b.book->parentGroups(ada)), QStringList{QStringLiteral("group-friends")});
}

TEST(AddressBook, DamagedFilesAreListedAndLeftUntouched)
{
    Book b;
    const QString bad = b.collection() + QStringLiteral("/broken.vcf");
    const QByteArray badData = "BEGIN:VCARD\r\nVERSION:3.0\r\nFN:Half";
    writeFile(bad, badData);
    writeFile(b.collection() + QStringLiteral("/ok.vcf"), fixture(QStringLiteral("no-uid-v3.vcf")));
    ASSERT_TRUE(b.book->load());
    EXPECT_EQ(uids(b.book->people()), QStringList{QStringLiteral("ok")}); // the file name stands in for a UID
    EXPECT_EQ(b.book->damagedFiles().keys(), QStringList{bad});
    EXPECT_FALSE(b.book->damagedFiles().value(bad).isEmpty());
    ContactRecord r = b.book->people().first();
    r.setStringValue(property::Note, QStringLiteral("edited"));
    b.book->setRecord(r);
    ASSERT_TRUE(b.book->save());
    EXPECT_EQ(readFile(bad), badData);
    // A card without UID keeps its file name when written back.
    EXPECT_TRUE(readFile(b.collection() + QStringLiteral("/ok.vcf")).contains("NOTE:edited"));
}

// Another program writes, rewrites and deletes cards; the watcher reports inserted, updated, deleted.
TEST(AddressBook, WatchingReportsOtherProgramsChanges)
{
    Book b;
    ASSERT_TRUE(b.book->load());
    b.book->startWatching();
    QList<QList<QStringList>> notices;
    QObject::connect(b.book.get(), &AddressBook::changedExternally,
                     [&](const QStringList &i, const QStringList &u, const QStringList &d) { notices << QList{i, u, d}; });
    const QString path = b.collection() + QStringLiteral("/ada-lovelace-0001.vcf");
    writeFile(path + QStringLiteral(".tmp"), fixture(QStringLiteral("grouped-labels-v3.vcf")));
    QFile::rename(path + QStringLiteral(".tmp"), path);
    ASSERT_TRUE(waitFor([&] { return !notices.isEmpty(); }));
    EXPECT_EQ(notices.last().at(0), QStringList{QStringLiteral("ada-lovelace-0001")});

    QByteArray changed = fixture(QStringLiteral("grouped-labels-v3.vcf"));
    changed.replace("ada@engines.example", "ada@new.example");
    QThread::msleep(20);
    writeFile(path, changed);
    ASSERT_TRUE(waitFor([&] { return notices.size() >= 2; }));
    EXPECT_EQ(notices.last().at(1), QStringList{QStringLiteral("ada-lovelace-0001")});
    EXPECT_EQ(b.book->recordForUniqueId(QStringLiteral("ada-lovelace-0001"))
                  ->multiValue(property::Email)
                  .entries.value(0)
                  .value.toString(),
              QStringLiteral("ada@new.example"));

    QFile::remove(path);
    ASSERT_TRUE(waitFor([&] { return notices.size() >= 3; }));
    EXPECT_EQ(notices.last().at(2), QStringList{QStringLiteral("ada-lovelace-0001")});
    EXPECT_FALSE(b.book->recordForUniqueId(QStringLiteral("ada-lovelace-0001")).has_value());
}

TEST(AddressBook, UnsafeUidsGetSafeFileNamesAndRemovingAContactLeavesItsGroups)
{
    Book b;
    ASSERT_TRUE(b.book->load());
    ContactRecord r = ContactRecord::fromVCard(
        VCardCodec::read("BEGIN:VCARD\r\nVERSION:4.0\r\nUID:../../etc/passwd\r\nFN:X\r\nEND:VCARD\r\n").value(0));
    b.book->setRecord(r);
    ContactRecord group = ContactRecord::newGroup(QStringLiteral("G"));
    group.addMember(r.uniqueId());
    b.book->setRecord(group);
    ASSERT_TRUE(b.book->save());
    for (const QString &name : QDir(b.collection()).entryList(QDir::Files))
        EXPECT_FALSE(name.contains(QLatin1String("..")));
    EXPECT_EQ(QDir(b.collection()).entryList(QDir::Files).size(), 2);
    ASSERT_TRUE(b.book->removeRecord(r.uniqueId()));
    ASSERT_TRUE(b.book->save());
    EXPECT_TRUE(b.book->recordForUniqueId(group.uniqueId())->memberIds().isEmpty());
}
