#include "FilesTestFixture.h"

#include "Mac/ContactPage/ContactFilesViewControllerMac.h"
#include "Mac/Journal/FileCollectionItem.h"
#include "Mac/Journal/FilePreviewWindow.h"
#include "Mac/Journal/FilesCollectionController.h"
#include "Mac/Journal/FilesGridModel.h"
#include "Mac/Shell/CustomNSCollectionView.h"

#include "platform/core/UserDefaults.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QDropEvent>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QTest>
#include <QUrl>

using files_test::FilesPaneTest;

namespace {

FileAttachments *attach(Person *person, const QString &path, platform::store::ManagedObjectContext *context)
{
    platform::core::QDError error;
    EXPECT_TRUE(FileAttachments::createFileAttachmentWithURL(QUrl::fromLocalFile(path), person, context, &error))
        << error.toString().toStdString();
    for (FileAttachments *file : person->attachments())
        if (file->fileCheckName() == QFileInfo(path).fileName())
            return file;
    return nullptr;
}

void settle()
{
    for (int i = 0; i < 3; ++i)
        QCoreApplication::processEvents();
}

// Drags `data` from outside the program over the grid and lets it go at `pos`.
void dropOn(CustomNSCollectionView *grid, QMimeData *data, QPoint pos)
{
    QWidget *target = grid->viewport();
    QDragEnterEvent enter(pos, Qt::CopyAction, data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &enter);
    QDragMoveEvent move(pos, Qt::CopyAction, data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &move);
    QDropEvent drop(QPointF(pos), Qt::CopyAction, data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &drop);
    settle();
}

QStringList gridNames(FilesGridModel *grid)
{
    QStringList names;
    for (int row = 0; row < grid->rowCount(); ++row)
        names << grid->index(row).data().toString();
    return names;
}

} // namespace

TEST_F(FilesPaneTest, AnItemRenamesInPlaceKeepingItsExtension)
{
    FileAttachments *file = attach(alice, source(QStringLiteral("Quarterly.pdf"), "%PDF"), context.get());
    ASSERT_NE(file, nullptr);
    FileCollectionItem item(file);
    EXPECT_FALSE(item.isEditing());
    EXPECT_EQ(item.startEditingFilename(), QStringLiteral("Quarterly"));
    EXPECT_TRUE(item.isEditing());
    EXPECT_EQ(item.originalName(), QStringLiteral("Quarterly.pdf"));

    // Escape gives the full name back.
    EXPECT_EQ(item.cancelOperation(), QStringLiteral("Quarterly.pdf"));
    EXPECT_FALSE(item.isEditing());

    // An empty name keeps the edit going.
    item.startEditingFilename();
    platform::core::QDError error;
    EXPECT_FALSE(item.textShouldEndEditing(QStringLiteral("   "), &error));
    EXPECT_TRUE(item.isEditing());
    EXPECT_TRUE(error.isNull());

    struct Case
    {
        QString typed;
        QString stored;
    };
    const Case cases[] = {
        {QStringLiteral("Annual"), QStringLiteral("Annual.pdf")},
        {QStringLiteral("Summary.txt"), QStringLiteral("Summary.pdf")},
        {QStringLiteral("Two\nlines\x01"), QStringLiteral("Twolines.pdf")},
        {QStringLiteral("../../escape"), QStringLiteral(".._.._escape.pdf")},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.typed.toStdString());
        item.startEditingFilename();
        ASSERT_TRUE(item.textShouldEndEditing(c.typed, &error)) << error.toString().toStdString();
        EXPECT_FALSE(item.isEditing());
        EXPECT_EQ(item.controlTextDidEndEditing(), c.stored);
        EXPECT_EQ(file->fileRenamedName(), c.stored);
        EXPECT_EQ(contentOf(file), QByteArray("%PDF"));
    }
    EXPECT_EQ(storedFiles().size(), 1);

    EXPECT_EQ(FileCollectionItem::nameWithoutExtension(QStringLiteral(".profile")), QStringLiteral(".profile"));
    EXPECT_EQ(FileCollectionItem::nameWithoutExtension(QStringLiteral("a.b.c")), QStringLiteral("a.b"));
    const QStringList longer = FileCollectionItem::menuCommands(true);
    const QStringList shorter = FileCollectionItem::menuCommands(false);
    EXPECT_TRUE(longer.contains(FileCollectionItem::ReassignCommand));
    EXPECT_TRUE(longer.contains(FileCollectionItem::GoToContactCommand));
    EXPECT_FALSE(shorter.contains(FileCollectionItem::ReassignCommand));
    EXPECT_FALSE(shorter.contains(FileCollectionItem::GoToContactCommand));
}

TEST_F(FilesPaneTest, TheFilesTabTakesDropsRightClicksTheItemUnderTheMouseAndDeletesAfterAsking)
{
    attach(alice, source(QStringLiteral("one.txt"), "1"), context.get());
    clock->advance(60000);
    attach(alice, source(QStringLiteral("two.txt"), "2"), context.get());
    attach(bob, source(QStringLiteral("bobs.txt"), "b"), context.get());

    ContactFilesViewControllerMac tab(alice);
    tab.resize(600, 400);
    tab.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&tab));
    settle();
    FilesCollectionController *controller = tab.filesController();
    FilesGridModel *grid = controller->gridModel();
    EXPECT_EQ(gridNames(grid), (QStringList{QStringLiteral("one.txt"), QStringLiteral("two.txt")}));
    EXPECT_FALSE(tab.showingFillerText());

    // Two files dropped from the file manager, one under a name the contact already has.
    clock->advance(60000);
    auto *data = new QMimeData;
    data->setUrls({QUrl::fromLocalFile(source(QStringLiteral("three.txt"), "3")),
                   QUrl::fromLocalFile(sources.filePath(QStringLiteral("one.txt")))});
    dropOn(tab.filesCollection(), data, tab.filesCollection()->viewport()->rect().center());
    delete data;
    ASSERT_TRUE(QTest::qWaitFor([&] { return grid->rowCount() == 4; }, 3000)) << gridNames(grid).join(QLatin1Char('|')).toStdString();
    EXPECT_EQ(gridNames(grid).mid(2), (QStringList{QStringLiteral("three.txt"), QStringLiteral("one.txt")}));
    EXPECT_EQ(bob->attachments().size(), 1);

    // A right click on a file that is not selected selects it, and the menu acts on it.
    controller->selectIndex(grid->index(0));
    const QRect second = tab.filesCollection()->visualRect(grid->index(1));
    QContextMenuEvent click(QContextMenuEvent::Mouse, second.center(), tab.filesCollection()->viewport()->mapToGlobal(second.center()));
    QApplication::sendEvent(tab.filesCollection()->viewport(), &click);
    settle();
    EXPECT_EQ(controller->selectedFile()->fileCheckName(), QStringLiteral("two.txt"));
    QMenu *menu = tab.findChild<QMenu *>(QStringLiteral("fileItemMenu"));
    ASSERT_NE(menu, nullptr);
    QStringList titles;
    for (QAction *action : menu->actions())
        titles << action->text();
    EXPECT_EQ(titles, FileCollectionItem::menuCommands(false));
    menu->close();

    // Delete asks first; "No" with the box ticked keeps the file and stops the question.
    platform::ui::AlertPresenter::shared().setNextAnswer(platform::ui::AlertAnswer::button(1, true));
    tab.deleteSelectedRow();
    settle();
    EXPECT_EQ(grid->rowCount(), 4);
    EXPECT_TRUE(platform::core::UserDefaults::standardUserDefaults()->boolForKey(
        FilesCollectionController::DeleteFileDefaultsKey));
    const int alertsBefore = int(platform::ui::AlertPresenter::shared().shownAlerts().size());
    tab.deleteSelectedRow();
    settle();
    EXPECT_EQ(int(platform::ui::AlertPresenter::shared().shownAlerts().size()), alertsBefore) << "not asked again";
    EXPECT_EQ(gridNames(grid), (QStringList{QStringLiteral("one.txt"), QStringLiteral("three.txt"), QStringLiteral("one.txt")}));
    EXPECT_EQ(controller->selectedFile()->fileCheckName(), QStringLiteral("three.txt")) << "the file that took its place";
    controller->selectIndex(grid->index(2));
    tab.deleteSelectedRow();
    settle();
    EXPECT_EQ(controller->selectedFile()->fileCheckName(), QStringLiteral("three.txt")) << "the last one goes: the one before";
    EXPECT_EQ(storedFiles().size(), 3);
}

TEST_F(FilesPaneTest, ReturnRenamesTheSelectedFileAndSpaceShowsItsPreview)
{
    attach(alice, source(QStringLiteral("notes.txt"), "hello preview"), context.get());
    ContactFilesViewControllerMac tab(alice);
    tab.resize(600, 400);
    tab.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&tab));
    settle();
    FilesCollectionController *controller = tab.filesController();
    CustomNSCollectionView *grid = tab.filesCollection();
    controller->selectIndex(controller->gridModel()->index(0));
    grid->setFocus();

    QTest::keyClick(grid, Qt::Key_Return);
    auto *editor = grid->findChild<QLineEdit *>();
    ASSERT_NE(editor, nullptr);
    EXPECT_EQ(editor->text(), QStringLiteral("notes"));
    editor->selectAll();
    QTest::keyClicks(editor, QStringLiteral("minutes.doc"));
    QTest::keyClick(editor, Qt::Key_Return);
    settle();
    EXPECT_EQ(controller->gridModel()->index(0).data().toString(), QStringLiteral("minutes.txt"));

    QTest::keyClick(grid, Qt::Key_Space);
    settle();
    FilePreviewWindow *preview = FilePreviewWindow::shared(false);
    ASSERT_NE(preview, nullptr);
    EXPECT_TRUE(preview->isVisible());
    EXPECT_EQ(preview->currentKind(), FilePreviewWindow::Kind::Text);
    EXPECT_EQ(preview->windowTitle(), QStringLiteral("minutes.txt"));
    grid->activateWindow();
    QTest::keyClick(grid, Qt::Key_Space);
    settle();
    EXPECT_FALSE(preview->isVisible());
}
