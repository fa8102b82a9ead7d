#include "Classes/SingleInstanceGuard.h"

#include <QDir>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

namespace {

TEST(SingleInstanceGuardTest, TheSecondHolderOfAFolderHandsOverToTheFirstUntilItIsGone)
{
    QTemporaryDir home;
    const QString folder = QDir(home.path()).filePath(QStringLiteral("data"));
    ASSERT_TRUE(QDir().mkpath(folder));

    auto first = std::make_unique<SingleInstanceGuard>(folder);
    QSignalSpy activations(first.get(), &SingleInstanceGuard::activationRequested);
    ASSERT_EQ(first->acquire(), SingleInstanceGuard::Outcome::Acquired);
    EXPECT_EQ(QFileInfo(QDir(folder).filePath(SingleInstanceGuard::LockFileName)).permissions()
                  & (QFileDevice::ReadGroup | QFileDevice::ReadOther),
              QFileDevice::Permissions());

    // The same folder written another way is the same folder.
    SingleInstanceGuard second(folder + QStringLiteral("/../data/"));
    EXPECT_EQ(SingleInstanceGuard::serverNameForFolder(folder + QStringLiteral("/../data/")),
              SingleInstanceGuard::serverNameForFolder(folder));
    EXPECT_EQ(second.acquire(), SingleInstanceGuard::Outcome::HandedOver);
    EXPECT_TRUE(activations.wait(5000));
    EXPECT_EQ(activations.count(), 1);

    // Another folder is another program's.
    const QString other = QDir(home.path()).filePath(QStringLiteral("other"));
    ASSERT_TRUE(QDir().mkpath(other));
    EXPECT_NE(SingleInstanceGuard::serverNameForFolder(other), SingleInstanceGuard::serverNameForFolder(folder));
    SingleInstanceGuard elsewhere(other);
    EXPECT_EQ(elsewhere.acquire(), SingleInstanceGuard::Outcome::Acquired);

    // Once the first is gone the folder is free again.
    first.reset();
    SingleInstanceGuard third(folder);
    EXPECT_EQ(third.acquire(), SingleInstanceGuard::Outcome::Acquired);
}

TEST(SingleInstanceGuardTest, AFolderThatIsNotThereLeavesTheLaunchToReportIt)
{
    QTemporaryDir home;
    SingleInstanceGuard guard(QDir(home.path()).filePath(QStringLiteral("missing")));
    EXPECT_EQ(guard.acquire(), SingleInstanceGuard::Outcome::Unavailable);
    EXPECT_EQ(SingleInstanceGuard(QString()).acquire(), SingleInstanceGuard::Outcome::Unavailable);
}

} // namespace
