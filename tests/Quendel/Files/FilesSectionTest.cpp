#include "FilesTestFixture.h"

#include "Mac/Journal/FileCollectionItem.h"
#include "Mac/Journal/FilesCollectionController.h"
#include "Mac/Journal/FilesGridModel.h"
#include "Mac/Journal/MacAllFilesViewController.h"
#include "Mac/Shell/CustomNSCollectionView.h"

#include "platform/core/NotificationCenter.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QDropEvent>
#include <QMenu>
#include <QMimeData>
#include <QTest>
#include <QUrl>

using files_test::FilesPaneTest;

namespace {

void settle()
{
    for (int i = 0; i < 3; ++i)
        QCoreApplication::processEvents();
}

QStringList gridTexts(FilesGridModel *grid)
{
    QStringList names;
    for (int row = 0; row < grid->rowCount(); ++row)
        names << grid->index(row).data().toString();
    return names;
}

void dropAt(CustomNSCollectionView *grid, QMimeData *data, QPoint pos)
{
    QDragEnterEvent enter(pos, Qt::CopyAction, data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(grid->viewport(), &enter);
    QDragMoveEvent move(pos, Qt::CopyAction, data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(grid->viewport(), &move);
    QDropEvent drop(QPointF(pos), Qt::CopyAction, data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(grid->viewport(), &drop);
    settle();
}

} // namespace

TEST_F(FilesPaneTest, TheFilesSectionTakesADropForTheContactOfTheSectionItLandsOnAndMovesFiles)
{
    platform::core::QDError error;
    ASSERT_TRUE(FileAttachments::createFileAttachmentWithArray({source(QStringLiteral("a.txt"), "a")}, alice,
                                                               context.get(), true, &error));
    ASSERT_TRUE(FileAttachments::createFileAttachmentWithArray({source(QStringLiteral("b.txt"), "b")}, bob,
                                                               context.get(), true, &error));
    ASSERT_TRUE(FileAttachments::createFileAttachmentWithArray({source(QStringLiteral("loose.txt"), "l")}, nullptr,
                                                               context.get(), true, &error));
    MacAllFilesViewController section(context);
    section.setContactPageOpener([](Person *, int) {});
    section.loadViewIfNeeded();
    section.awakeFromNib();
    section.resize(800, 600);
    section.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&section));
    FilesGridModel *grid = section.filesController()->gridModel();
    ASSERT_TRUE(QTest::qWaitFor([&] { return grid->rowCount() == 6; }, 3000)) << gridTexts(grid).join(QLatin1Char('|')).toStdString();
    EXPECT_EQ(gridTexts(grid), (QStringList{QStringLiteral("Alice"), QStringLiteral("a.txt"), QStringLiteral("Bob"),
                                            QStringLiteral("b.txt"), QStringLiteral("Unassigned"), QStringLiteral("loose.txt")}));

    // Dropped on Bob's file: Bob's.
    CustomNSCollectionView *view = section.filesCollection();
    auto *data = new QMimeData;
    data->setUrls({QUrl::fromLocalFile(source(QStringLiteral("for bob.txt"), "fb"))});
    dropAt(view, data, view->visualRect(grid->index(3)).center());
    delete data;
    ASSERT_TRUE(QTest::qWaitFor([&] { return bob->attachments().size() == 2; }, 3000));
    EXPECT_EQ(alice->attachments().size(), 1);

    // Right-clicking a file selects it and offers the longer menu.
    const QModelIndex aliceFile = grid->indexForFile(fileNamed(alice, QStringLiteral("a.txt")));
    const QRect rect = view->visualRect(aliceFile);
    QContextMenuEvent click(QContextMenuEvent::Mouse, rect.center(), view->viewport()->mapToGlobal(rect.center()));
    QApplication::sendEvent(view->viewport(), &click);
    settle();
    EXPECT_EQ(section.filesController()->selectedFile(), fileNamed(alice, QStringLiteral("a.txt")));
    auto *menu = view->findChild<QMenu *>(QStringLiteral("fileItemMenu"));
    ASSERT_NE(menu, nullptr);
    QStringList titles;
    for (QAction *action : menu->actions())
        titles << action->text();
    EXPECT_EQ(titles, FileCollectionItem::menuCommands(true));
    menu->close();

    // The picker names Bob: the file moves to him.
    FileAttachments *moving = fileNamed(alice, QStringLiteral("a.txt"));
    section.showReassignPopover(moving);
    section.finishedSelectPopoverController(nullptr, {bob->objectID()}, true);
    settle();
    EXPECT_EQ(moving->person(), bob);
    EXPECT_FALSE(context->hasChanges());
    ASSERT_TRUE(QTest::qWaitFor([&] { return !gridTexts(grid).contains(QStringLiteral("Alice")); }, 3000))
        << gridTexts(grid).join(QLatin1Char('|')).toStdString();

    // An empty report of the picker changes nothing; a finished download of a file refreshes it in place.
    section.finishedSelectPopoverController(nullptr, {}, false);
    platform::core::NotificationCenter::defaultCenter().post(
        NSManagedObjectQDBase::CloudFileDownloadedNotification, nullptr,
        {{NSManagedObjectQDBase::DownloadedFileKey, QVariant::fromValue(static_cast<NSManagedObjectQDBase *>(moving))}});
    settle();
    EXPECT_EQ(bob->attachments().size(), 3);

    // The search narrows the grid to matching files.
    section.searchResultsWithString(QStringLiteral("loose"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return grid->rowCount() == 2; }, 3000)) << gridTexts(grid).join(QLatin1Char('|')).toStdString();
    section.searchResultsWithString(QString());
    EXPECT_TRUE(QTest::qWaitFor([&] { return grid->rowCount() == 6; }, 3000)) << gridTexts(grid).join(QLatin1Char('|')).toStdString();
}
