#include "FilesFixture.h"

#include <thread>

using quendel::test::FilesTest;
using Base = NSManagedObjectQDBase;

namespace {

class DropboxListTest : public FilesTest
{
protected:
    static QStringList list(const QString &key) { return dropboxList().value(key).toStringList(); }
    static QVariantList renames() { return dropboxList().value(Base::RenamedFilesKey).toList(); }
    static QVariantMap pair(const QString &from, const QString &to)
    {
        return {{Base::OriginalNameKey, from}, {Base::NewNameKey, to}};
    }
    static QString attachmentPath(const QString &name)
    {
        return SharedSettingController::sharedSettings().pathForAttachmentWithName(name);
    }
};

} // namespace

TEST_F(DropboxListTest, MissingKeysAreMadeByTheFirstEntryThatNeedsThem)
{
    ASSERT_TRUE(dropboxList().isEmpty());
    Base::saveFileToDeleteInDropboxPlist(attachmentPath(QStringLiteral("old.pdf")));
    EXPECT_EQ(list(Base::DeletedFilesKey), QStringList{QStringLiteral("old.pdf")}) << "a bare name";
    EXPECT_FALSE(dropboxList().contains(Base::NewFilesKey));
    Base::saveRenamedFileToDropboxPlist(QStringLiteral("a.txt"), QStringLiteral("b.txt"));
    EXPECT_EQ(renames(), QVariantList{pair(QStringLiteral("a.txt"), QStringLiteral("b.txt"))});
}

TEST_F(DropboxListTest, AFileNeverUploadedLeavesNeitherAnUploadNorADeletion)
{
    struct Case
    {
        const char *what;
        QStringList pending;  // before the deletion
        QString deleted;      // full path of the deleted file
        QStringList remaining;
    };
    const QString a = attachmentPath(QStringLiteral("a.txt"));
    const QString b = attachmentPath(QStringLiteral("b.txt"));
    const Case cases[] = {
        {"listed by full path", {a, b}, a, {b}},
        {"listed by bare name after a rename", {QStringLiteral("a.txt"), b}, a, {b}},
        {"listed twice", {a, QStringLiteral("a.txt"), a}, a, {}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        platform::core::PropertyList::writeFile(QVariantMap{{Base::NewFilesKey, c.pending}},
                                                SharedSettingController::sharedSettings().dropboxFile());
        Base::saveFileToDeleteInDropboxPlist(c.deleted);
        EXPECT_EQ(list(Base::NewFilesKey), c.remaining);
        EXPECT_FALSE(dropboxList().contains(Base::DeletedFilesKey));
    }
}

TEST_F(DropboxListTest, RenamesOfPendingAndUploadedFiles)
{
    // Pending: the upload entry takes the new bare name, and no rename is recorded.
    Base::saveNewFileURLPathToDropboxPlist(attachmentPath(QStringLiteral("A-1.txt")));
    Base::saveRenamedFileToDropboxPlist(QStringLiteral("A-1.txt"), QStringLiteral("B-2.txt"));
    EXPECT_EQ(list(Base::NewFilesKey), QStringList{QStringLiteral("B-2.txt")});
    EXPECT_FALSE(dropboxList().contains(Base::RenamedFilesKey));

    // Uploaded, renamed twice: one pair from the remote name to the latest.
    Base::saveRenamedFileToDropboxPlist(QStringLiteral("C-3.txt"), QStringLiteral("D-4.txt"));
    Base::saveRenamedFileToDropboxPlist(QStringLiteral("D-4.txt"), QStringLiteral("E-5.txt"));
    EXPECT_EQ(renames(), QVariantList{pair(QStringLiteral("C-3.txt"), QStringLiteral("E-5.txt"))});
}

TEST_F(DropboxListTest, ChangesFromManyThreadsAreAllKept)
{
    constexpr int Threads = 8;
    constexpr int PerThread = 25;
    std::vector<std::thread> writers;
    for (int t = 0; t < Threads; ++t) {
        writers.emplace_back([t] {
            for (int i = 0; i < PerThread; ++i)
                Base::saveNewFileURLPathToDropboxPlist(attachmentPath(QStringLiteral("f-%1-%2").arg(t).arg(i)));
        });
    }
    for (auto &writer : writers)
        writer.join();
    QStringList listed = list(Base::NewFilesKey);
    EXPECT_EQ(listed.size(), Threads * PerThread) << "no change may be lost to another";
    listed.removeDuplicates();
    EXPECT_EQ(listed.size(), Threads * PerThread);
}

TEST_F(DropboxListTest, ADamagedListIsLeftAsItIs)
{
    const QString path = SharedSettingController::sharedSettings().dropboxFile();
    writeFile(path, "not a property list");
    Base::saveNewFileURLPathToDropboxPlist(attachmentPath(QStringLiteral("x.txt")));
    EXPECT_EQ(readFile(path), QByteArray("not a property list"));
}
