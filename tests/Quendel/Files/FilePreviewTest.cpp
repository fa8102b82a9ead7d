#include "Mac/Journal/FilePreviewWindow.h"

#include <QFile>
#include <QImage>
#include <QPainter>
#include <QPdfWriter>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

namespace {

QString write(const QTemporaryDir &dir, const QString &name, const QByteArray &bytes)
{
    const QString path = dir.filePath(name);
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
    return path;
}

} // namespace

TEST(FilePreview, PicturesDocumentsAndTextShowInTheWindowAndOtherKindsGoToTheDesktop)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString picture = dir.filePath(QStringLiteral("photo.png"));
    QImage image(40, 30, QImage::Format_RGB32);
    image.fill(Qt::blue);
    ASSERT_TRUE(image.save(picture));
    const QString document = dir.filePath(QStringLiteral("letter.pdf"));
    {
        QPdfWriter writer(document);
        QPainter painter(&writer);
        painter.drawText(100, 100, QStringLiteral("Dear Ada"));
    }
    const QString text = write(dir, QStringLiteral("notes.txt"), "plain words");
    const QString damaged = write(dir, QStringLiteral("broken.pdf"), "%PDF-1.4 nothing more");
    const QString other = write(dir, QStringLiteral("data.bin"), QByteArray("\x00\x01\x02\x03\xff", 5));

    struct Case
    {
        QString path;
        FilePreviewWindow::Kind shown;
    };
    const Case cases[] = {
        {picture, FilePreviewWindow::Kind::Image}, {document, FilePreviewWindow::Kind::Pdf},
        {text, FilePreviewWindow::Kind::Text},     {damaged, FilePreviewWindow::Kind::Other},
        {other, FilePreviewWindow::Kind::Other},   {dir.filePath(QStringLiteral("missing.txt")), FilePreviewWindow::Kind::None},
    };
    FilePreviewWindow *window = FilePreviewWindow::shared();
    for (const Case &c : cases) {
        SCOPED_TRACE(c.path.toStdString());
        window->showFile(c.path, QStringLiteral("Shown name"));
        EXPECT_EQ(window->currentKind(), c.shown);
        EXPECT_EQ(window->windowTitle(), QStringLiteral("Shown name"));
    }

    // A kind the window cannot show is opened by the desktop's application from the window's button.
    QList<QUrl> opened;
    FilePreviewWindow::setUrlOpener([&](const QUrl &url) {
        opened << url;
        return true;
    });
    window->showFile(other, QStringLiteral("data.bin"));
    QPushButton *open = nullptr;
    for (QPushButton *button : window->findChildren<QPushButton *>())
        if (button->accessibleName() == FilePreviewWindow::OpenButtonTitle)
            open = button;
    ASSERT_NE(open, nullptr);
    ASSERT_TRUE(open->isEnabled());
    QTest::mouseClick(open, Qt::LeftButton);
    FilePreviewWindow::setUrlOpener({});
    EXPECT_EQ(opened, QList<QUrl>{QUrl::fromLocalFile(other)});

    // Left and right ask for the neighbouring file; Escape closes.
    QList<int> steps;
    window->setStepHandler([&](int direction) { steps << direction; });
    QTest::keyClick(window, Qt::Key_Right);
    QTest::keyClick(window, Qt::Key_Left);
    EXPECT_EQ(steps, (QList<int>{1, -1}));
    QTest::keyClick(window, Qt::Key_Escape);
    EXPECT_FALSE(window->isVisible());
    window->setStepHandler({});
}
