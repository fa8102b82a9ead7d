#include "Mac/Journal/FilePreviewWindow.h"

#include "Mac/Shell/PlainTextLabel.h"

#include <QDesktopServices>
#include <QFile>
#include <QFileInfo>
#include <QIcon>
#include <QImageReader>
#include <QKeyEvent>
#include <QMimeDatabase>
#include <QPdfDocument>
#include <QPdfView>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QStackedWidget>
#include <QVBoxLayout>

namespace {

QPointer<FilePreviewWindow> &sharedWindow()
{
    static QPointer<FilePreviewWindow> window;
    return window;
}

std::function<bool(const QUrl &)> &opener()
{
    static std::function<bool(const QUrl &)> open;
    return open;
}

} // namespace

FilePreviewWindow *FilePreviewWindow::shared(bool create)
{
    if (!sharedWindow() && create)
        sharedWindow() = new FilePreviewWindow;
    return sharedWindow();
}

void FilePreviewWindow::setUrlOpener(std::function<bool(const QUrl &)> open)
{
    opener() = std::move(open);
}

bool FilePreviewWindow::openUrl(const QUrl &url)
{
    if (opener())
        return opener()(url);
    return QDesktopServices::openUrl(url);
}

FilePreviewWindow::Kind FilePreviewWindow::kindForFile(const QString &path)
{
    const QFileInfo info(path);
    if (path.isEmpty() || !info.isFile())
        return Kind::None;
    const QMimeType type = QMimeDatabase().mimeTypeForFile(path);
    if (type.inherits(QStringLiteral("application/pdf")))
        return Kind::Pdf;
    if (type.name().startsWith(QLatin1String("image/")) && QImageReader(path).canRead())
        return Kind::Image;
    if (type.inherits(QStringLiteral("text/plain")) && !type.inherits(QStringLiteral("text/html")) &&
        !type.inherits(QStringLiteral("application/rtf")))
        return Kind::Text;
    return Kind::Other;
}

FilePreviewWindow::FilePreviewWindow(QWidget *parent) : QWidget(parent, Qt::Window)
{
    setAttribute(Qt::WA_DeleteOnClose, false);
    setObjectName(QStringLiteral("filePreviewWindow"));
    setAccessibleName(AccessibleName);
    resize(720, 640);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    m_stack = new QStackedWidget(this);
    layout->addWidget(m_stack);

    m_imageArea = new QScrollArea(m_stack);
    m_imageArea->setAlignment(Qt::AlignCenter);
    m_image = new QLabel;
    m_image->setAccessibleName(QStringLiteral("Picture"));
    m_image->setAlignment(Qt::AlignCenter);
    m_imageArea->setWidget(m_image);
    m_imageArea->setWidgetResizable(true);
    m_stack->addWidget(m_imageArea);

    m_pdf = new QPdfDocument(this);
    m_pdfView = new QPdfView(m_stack);
    m_pdfView->setAccessibleName(QStringLiteral("Document"));
    m_pdfView->setDocument(m_pdf);
    m_pdfView->setPageMode(QPdfView::PageMode::MultiPage);
    m_pdfView->setZoomMode(QPdfView::ZoomMode::FitToWidth);
    m_stack->addWidget(m_pdfView);

    m_text = new QPlainTextEdit(m_stack);
    m_text->setAccessibleName(QStringLiteral("Text"));
    m_text->setReadOnly(true);
    m_stack->addWidget(m_text);

    m_otherPage = new QWidget(m_stack);
    auto *other = new QVBoxLayout(m_otherPage);
    other->addStretch(1);
    m_otherIcon = new QLabel(m_otherPage);
    m_otherIcon->setAlignment(Qt::AlignCenter);
    other->addWidget(m_otherIcon);
    m_otherName = new PlainTextLabel(m_otherPage);
    m_otherName->setAccessibleName(QStringLiteral("File name"));
    m_otherName->setAlignment(Qt::AlignCenter);
    other->addWidget(m_otherName);
    m_openButton = new QPushButton(OpenButtonTitle, m_otherPage);
    m_openButton->setAccessibleName(OpenButtonTitle);
    other->addWidget(m_openButton, 0, Qt::AlignHCenter);
    other->addStretch(1);
    m_stack->addWidget(m_otherPage);
    connect(m_openButton, &QPushButton::clicked, this, [this] {
        if (!m_path.isEmpty())
            openUrl(QUrl::fromLocalFile(m_path));
    });
}

void FilePreviewWindow::showFile(const QString &path, const QString &title)
{
    m_path = path;
    m_kind = kindForFile(path);
    setWindowTitle(title);
    m_pdf->close();
    switch (m_kind) {
    case Kind::Image: {
        QImageReader reader(path);
        reader.setAutoTransform(true);
        const QSize size = reader.size();
        if (size.isValid() && (size.width() > 4096 || size.height() > 4096))
            reader.setScaledSize(size.scaled(4096, 4096, Qt::KeepAspectRatio));
        const QImage image = reader.read();
        m_image->setPixmap(QPixmap::fromImage(image));
        m_stack->setCurrentWidget(m_imageArea);
        break;
    }
    case Kind::Pdf:
        if (m_pdf->load(path) == QPdfDocument::Error::None) {
            m_stack->setCurrentWidget(m_pdfView);
            break;
        }
        // A damaged document is offered to the desktop's application instead.
        m_kind = Kind::Other;
        [[fallthrough]];
    case Kind::Text:
        if (m_kind == Kind::Text) {
            QFile file(path);
            if (file.open(QIODevice::ReadOnly)) {
                m_text->setPlainText(QString::fromUtf8(file.read(MaxTextBytes)));
                m_stack->setCurrentWidget(m_text);
                break;
            }
            m_kind = Kind::Other;
        }
        [[fallthrough]];
    case Kind::Other:
    case Kind::None: {
        const QIcon icon = QIcon::fromTheme(QMimeDatabase().mimeTypeForFile(path).iconName(),
                                            QIcon::fromTheme(QStringLiteral("text-x-generic")));
        m_otherIcon->setPixmap(icon.pixmap(QSize(96, 96)));
        m_otherName->setText(title);
        m_openButton->setEnabled(m_kind != Kind::None);
        m_stack->setCurrentWidget(m_otherPage);
        break;
    }
    }
    show();
    raise();
    activateWindow();
}

void FilePreviewWindow::keyPressEvent(QKeyEvent *event)
{
    switch (event->key()) {
    case Qt::Key_Left:
    case Qt::Key_Right:
        if (m_step)
            m_step(event->key() == Qt::Key_Left ? -1 : 1);
        event->accept();
        return;
    case Qt::Key_Space:
    case Qt::Key_Escape:
        close();
        event->accept();
        return;
    default:
        QWidget::keyPressEvent(event);
    }
}

void FilePreviewWindow::closeEvent(QCloseEvent *event)
{
    m_pdf->close();
    QWidget::closeEvent(event);
}
