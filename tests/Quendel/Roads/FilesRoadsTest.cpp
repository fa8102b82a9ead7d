#include "RoadsFixture.h"

#include "Mac/Journal/FilePreviewWindow.h"

#include "platform/ui/FilePanel.h"

#include <QClipboard>
#include <QDropEvent>
#include <QFile>
#include <QListView>
#include <QMimeData>
#include <QPushButton>
#include <QTemporaryDir>
#include <QToolButton>
#include <QUrl>

using namespace roads;

namespace {

class FilesRoadsTest : public RoadTest
{
protected:
    void addContact(const QString &first, const QString &last) { addContactThroughTheSheet(first, last); }

    QString userFile(const QString &folder, const QString &name, const QByteArray &bytes)
    {
        QDir().mkpath(desktop.filePath(folder));
        const QString path = QDir(desktop.filePath(folder)).filePath(name);
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
        return path;
    }

    // The file manager drags the files over the grid and lets them go in its middle.
    static void dropFiles(QAbstractItemView *grid, const QStringList &paths)
    {
        QMimeData data;
        QList<QUrl> urls;
        for (const QString &path : paths)
            urls << QUrl::fromLocalFile(path);
        data.setUrls(urls);
        const QPoint at = grid->viewport()->rect().center();
        QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(grid->viewport(), &enter);
        QDragMoveEvent move(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(grid->viewport(), &move);
        QDropEvent drop(QPointF(at), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(grid->viewport(), &drop);
        settle();
    }

    static QStringList itemTexts(QAbstractItemView *grid)
    {
        QStringList texts;
        for (int row = 0; grid->model() && row < grid->model()->rowCount(); ++row)
            texts << grid->model()->index(row, 0).data().toString();
        return texts;
    }

    // A double click on an item, as the fixture clicks rows: a click, then the double click.
    static void doubleClickItem(QAbstractItemView *grid, const QModelIndex &index)
    {
        ASSERT_TRUE(index.isValid());
        activateWindowOf(grid);
        grid->scrollTo(index);
        const QPoint centre = grid->visualRect(index).center();
        QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, centre);
        QTest::mouseDClick(grid->viewport(), Qt::LeftButton, {}, centre);
        settle();
    }

    static QModelIndex itemWithText(QAbstractItemView *grid, const QString &text, int nth = 0)
    {
        for (int row = 0; grid->model() && row < grid->model()->rowCount(); ++row)
            if (grid->model()->index(row, 0).data().toString() == text && nth-- == 0)
                return grid->model()->index(row, 0);
        return {};
    }

    QTemporaryDir desktop;
};

TEST_F(FilesRoadsTest, FilesDroppedOnAContactsTabShowThereAndInTheFilesSectionAndPreview)
{
    start();
    addContact(QStringLiteral("Nora"), QStringLiteral("Blake"));
    clickRow(contactsList(), QStringLiteral("Nora Blake"));
    click(widgetNamed<QPushButton>(QStringLiteral("Files")));
    // The grid of the tab (a list of icons, not the tree of any file chooser left open).
    QAbstractItemView *tab = widgetNamed<QListView>(QStringLiteral("Files"));
    ASSERT_NE(tab, nullptr);
    EXPECT_TRUE(widgetNamed<QPushButton>(QStringLiteral("Add to Files"))->isEnabled());

    // Two files from two folders of the desktop, both called "notes.txt".
    const QString first = userFile(QStringLiteral("work"), QStringLiteral("notes.txt"), "meeting notes");
    dropFiles(tab, {first});
    ASSERT_TRUE(QTest::qWaitFor([&] { return itemTexts(tab).size() == 1; }, 5000));
    const QString second = userFile(QStringLiteral("home"), QStringLiteral("notes.txt"), "shopping list");
    const QByteArray binary("\x00\x01\x02\x03 a kind of its own", 23);
    const QString picture = userFile(QStringLiteral("home"), QStringLiteral("plan.xyz"), binary);
    dropFiles(tab, {second, picture});
    ASSERT_TRUE(QTest::qWaitFor([&] { return itemTexts(tab).size() == 3; }, 5000))
        << itemTexts(tab).join(QLatin1Char('|')).toStdString();
    EXPECT_EQ(itemTexts(tab), (QStringList{QStringLiteral("notes.txt"), QStringLiteral("notes.txt"),
                                           QStringLiteral("plan.xyz")}));
    EXPECT_TRUE(QFile::exists(first) && QFile::exists(second)) << "the dropped files are copied, not moved";

    // The second "notes.txt" opens in the preview with its own text.
    const QModelIndex secondItem = itemWithText(tab, QStringLiteral("notes.txt"), 1);
    doubleClickItem(tab, secondItem);
    auto *preview = widgetNamed<FilePreviewWindow>(FilePreviewWindow::AccessibleName);
    ASSERT_NE(preview, nullptr);
    EXPECT_EQ(preview->windowTitle(), QStringLiteral("notes.txt"));
    auto *text = widgetNamed<QPlainTextEdit>(QStringLiteral("Text"), preview);
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(text->toPlainText(), QStringLiteral("shopping list"));
    QTest::keyClick(preview, Qt::Key_Escape);
    settle();
    EXPECT_FALSE(preview->isVisible());

    // A kind the window cannot show goes to the desktop's application.
    QList<QUrl> opened;
    FilePreviewWindow::setUrlOpener([&](const QUrl &url) {
        opened << url;
        return true;
    });
    doubleClickItem(tab, itemWithText(tab, QStringLiteral("plan.xyz")));
    preview = widgetNamed<FilePreviewWindow>(FilePreviewWindow::AccessibleName);
    ASSERT_NE(preview, nullptr);
    click(widgetNamed<QPushButton>(FilePreviewWindow::OpenButtonTitle, preview));
    FilePreviewWindow::setUrlOpener({});
    ASSERT_EQ(opened.size(), 1);
    EXPECT_TRUE(opened.first().isLocalFile());
    QFile openedFile(opened.first().toLocalFile());
    ASSERT_TRUE(openedFile.open(QIODevice::ReadOnly));
    EXPECT_EQ(openedFile.readAll(), binary);
    preview->close();

    // The Files section lists them under the contact's name.
    chooseMenuItem(window(), QStringLiteral("View"), QStringLiteral("Files"));
    auto *all = widgetNamed<QAbstractItemView>(QStringLiteral("All Files"));
    ASSERT_NE(all, nullptr);
    ASSERT_TRUE(QTest::qWaitFor([&] { return itemTexts(all).size() == 4; }, 5000))
        << itemTexts(all).join(QLatin1Char('|')).toStdString();
    EXPECT_EQ(itemTexts(all), (QStringList{QStringLiteral("Nora Blake"), QStringLiteral("notes.txt"),
                                           QStringLiteral("notes.txt"), QStringLiteral("plan.xyz")}));

    // Kept across a quit and a start.
    quitThroughTheMenu();
    start();
    chooseMenuItem(window(), QStringLiteral("View"), QStringLiteral("Files"));
    all = widgetNamed<QAbstractItemView>(QStringLiteral("All Files"));
    ASSERT_NE(all, nullptr);
    ASSERT_TRUE(QTest::qWaitFor([&] { return itemTexts(all).size() == 4; }, 5000))
        << itemTexts(all).join(QLatin1Char('|')).toStdString();
}

// What a file manager puts on the clipboard when files are copied.
static void copyToClipboard(const QList<QUrl> &urls, const QString &text = QString())
{
    auto *data = new QMimeData;
    if (!urls.isEmpty())
        data->setUrls(urls);
    if (!text.isNull())
        data->setText(text);
    QApplication::clipboard()->setMimeData(data);
    settle();
}

TEST_F(FilesRoadsTest, FilesPastedOnAContactsTabShowThereAndInTheFilesSection)
{
    start();
    addContact(QStringLiteral("Nora"), QStringLiteral("Blake"));
    clickRow(contactsList(), QStringLiteral("Nora Blake"));
    QApplication::clipboard()->clear();
    settle();
    // Not on the Logs tab, and not on the Files tab while the clipboard holds no address.
    EXPECT_FALSE(menuItem(window(), QStringLiteral("Edit"), QStringLiteral("Paste"))->isEnabled());
    click(widgetNamed<QPushButton>(QStringLiteral("Files")));
    QAbstractItemView *tab = widgetNamed<QListView>(QStringLiteral("Files"));
    ASSERT_NE(tab, nullptr);
    copyToClipboard({}, QStringLiteral("just some words"));
    EXPECT_FALSE(menuItem(window(), QStringLiteral("Edit"), QStringLiteral("Paste"))->isEnabled());

    // Two files copied in the file manager, pasted from the Edit menu.
    const QString letter = userFile(QStringLiteral("post"), QStringLiteral("letter.txt"), "dear Nora");
    const QString invoice = userFile(QStringLiteral("post"), QStringLiteral("invoice.pdf"), "%PDF-1.4 nothing");
    copyToClipboard({QUrl::fromLocalFile(letter), QUrl::fromLocalFile(invoice)});
    // The user works in the tab's grid, not in a text field that would take the paste itself.
    activateWindowOf(tab);
    tab->setFocus();
    settle();
    chooseMenuItem(window(), QStringLiteral("Edit"), QStringLiteral("Paste"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return itemTexts(tab).size() == 2; }, 5000))
        << itemTexts(tab).join(QLatin1Char('|')).toStdString();
    EXPECT_EQ(itemTexts(tab), (QStringList{QStringLiteral("letter.txt"), QStringLiteral("invoice.pdf")}));
    EXPECT_TRUE(QFile::exists(letter) && QFile::exists(invoice)) << "pasted files are copied, not moved";

    // A web address is an address too, so Paste is on, but it brings no file.
    copyToClipboard({QUrl(QStringLiteral("https://example.com/page"))});
    tab->setFocus();
    settle();
    chooseMenuItem(window(), QStringLiteral("Edit"), QStringLiteral("Paste"));
    EXPECT_EQ(itemTexts(tab).size(), 2);

    // The keyboard's paste in the grid does the same.
    const QString photo = userFile(QStringLiteral("post"), QStringLiteral("photo.png"), "not really a picture");
    copyToClipboard({QUrl::fromLocalFile(photo)});
    activateWindowOf(tab);
    tab->setFocus();
    settle();
    QTest::keyClick(tab, Qt::Key_V, Qt::ControlModifier);
    ASSERT_TRUE(QTest::qWaitFor([&] { return itemTexts(tab).size() == 3; }, 5000))
        << itemTexts(tab).join(QLatin1Char('|')).toStdString();

    // The Files section lists them under the contact.
    chooseMenuItem(window(), QStringLiteral("View"), QStringLiteral("Files"));
    auto *all = widgetNamed<QAbstractItemView>(QStringLiteral("All Files"));
    ASSERT_NE(all, nullptr);
    ASSERT_TRUE(QTest::qWaitFor([&] { return itemTexts(all).size() == 4; }, 5000))
        << itemTexts(all).join(QLatin1Char('|')).toStdString();
    EXPECT_EQ(itemTexts(all), (QStringList{QStringLiteral("Nora Blake"), QStringLiteral("letter.txt"),
                                           QStringLiteral("invoice.pdf"), QStringLiteral("photo.png")}));
    QApplication::clipboard()->clear();
}

TEST_F(FilesRoadsTest, TheFilesSectionsAddButtonAsksForTheContactAndNamesEveryFileThatFailed)
{
    start();
    addContact(QStringLiteral("Ada"), QStringLiteral("Stone"));
    chooseMenuItem(window(), QStringLiteral("View"), QStringLiteral("Files"));
    auto *all = widgetNamed<QListView>(QStringLiteral("All Files"));
    ASSERT_NE(all, nullptr);

    // The open panel brings a file, a file that is gone by now and a second file.
    const QString report = userFile(QStringLiteral("docs"), QStringLiteral("report.txt"), "report");
    const QString gone = QDir(desktop.filePath(QStringLiteral("docs"))).filePath(QStringLiteral("gone.pdf"));
    const QString budget = userFile(QStringLiteral("docs"), QStringLiteral("budget.txt"), "budget");
    platform::ui::FilePanelPresenter::shared().setNextAnswer(
        platform::ui::FilePanelAnswer::chooseMany({report, gone, budget}));
    click(widgetNamed<QToolButton>(QStringLiteral("Add")));
    QAbstractItemView *picker = nullptr;
    ASSERT_TRUE(QTest::qWaitFor([&] {
        const QList<QWidget *> found = widgetsNamed(QStringLiteral("Contacts to choose"));
        picker = found.isEmpty() ? nullptr : qobject_cast<QAbstractItemView *>(found.first());
        return picker != nullptr;
    }, 3000));
    clickRow(picker, QStringLiteral("Ada Stone"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return itemTexts(all).size() == 3; }, 5000))
        << itemTexts(all).join(QLatin1Char('|')).toStdString();
    EXPECT_EQ(itemTexts(all), (QStringList{QStringLiteral("Ada Stone"), QStringLiteral("report.txt"),
                                           QStringLiteral("budget.txt")}));
    EXPECT_EQ(platform::ui::FilePanelPresenter::shared().shownPanels().last().prompt, QStringLiteral("Import"));
    ASSERT_FALSE(platform::ui::AlertPresenter::shared().shownAlerts().isEmpty());
    const QString told = platform::ui::AlertPresenter::shared().shownAlerts().last().spec.informativeText;
    EXPECT_TRUE(told.contains(QStringLiteral("gone.pdf"))) << told.toStdString();
    EXPECT_FALSE(told.contains(QStringLiteral("report.txt"))) << told.toStdString();
}

} // namespace
