#include "platform/core/FileModes.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <sys/stat.h>

using platform::core::FileModes;

namespace {
void makeFile(const QString &path, unsigned mode)
{
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("x");
    f.close();
    ASSERT_EQ(::chmod(QFile::encodeName(path).constData(), mode), 0);
}
} // namespace

TEST(FileModes, ATreeBecomesOwnerOnlyWithoutFollowingLinks)
{
    QTemporaryDir root;
    const QString tree = root.filePath("data");
    const QString outside = root.filePath("outside.txt");
    ASSERT_TRUE(QDir().mkpath(tree + "/Attachments/deeper"));
    makeFile(outside, 0644);
    ASSERT_EQ(::chmod(QFile::encodeName(root.path()).constData(), 0755), 0);
    const struct {
        QString path;
        bool folder;
        unsigned before;
        int after;
    } rows[] = {
        {tree, true, 0755, 0700},
        {tree + "/Attachments", true, 0777, 0700},
        {tree + "/Attachments/deeper", true, 0750, 0700},
        {tree + "/data.plist", false, 0644, 0600},
        {tree + "/.hidden", false, 0666, 0600},
        {tree + "/Attachments/deeper/report.pdf", false, 0604, 0600},
        {tree + "/already.sqlite", false, 0600, 0600},
    };
    for (const auto &row : rows) {
        if (row.folder)
            ASSERT_EQ(::chmod(QFile::encodeName(row.path).constData(), row.before), 0);
        else
            makeFile(row.path, row.before);
    }
    ASSERT_TRUE(QFile::link(outside, tree + "/link-out"));
    ASSERT_TRUE(QFile::link(root.path(), tree + "/Attachments/folder-link-out"));

    platform::core::QDError error;
    EXPECT_TRUE(FileModes::makeTreePrivate(tree, &error)) << error.toString().toStdString();
    for (const auto &row : rows)
        EXPECT_EQ(FileModes::mode(row.path), row.after) << row.path.toStdString();
    EXPECT_EQ(FileModes::mode(outside), 0644) << "a link's target outside is not changed";
    EXPECT_EQ(FileModes::mode(root.path()), 0755) << "a folder link is not followed";

    EXPECT_TRUE(FileModes::makeTreePrivate(root.filePath("missing")));
    EXPECT_TRUE(FileModes::makeFilePrivate(root.filePath("missing.txt")));
    EXPECT_TRUE(FileModes::makeFilePrivate(outside));
    EXPECT_EQ(FileModes::mode(outside), 0600);
}
