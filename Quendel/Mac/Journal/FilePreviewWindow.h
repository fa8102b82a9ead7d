#pragma once

#include <QPointer>
#include <QUrl>
#include <QWidget>

#include <functional>

class QLabel;
class QPdfDocument;
class QPdfView;
class QPlainTextEdit;
class QPushButton;
class QScrollArea;
class QStackedWidget;

// The preview of one file: pictures, PDF documents and plain text are shown in the window; any other kind
// shows its icon and a button that opens it in the desktop's default application. Left and right step to
// the neighbouring file, Space and Escape close the window. One shared window serves the whole program.
class FilePreviewWindow : public QWidget
{
    Q_OBJECT
public:
    enum class Kind { None, Image, Pdf, Text, Other };

    static inline const QString AccessibleName = QStringLiteral("File preview");
    static inline const QString OpenButtonTitle = QStringLiteral("Open with Default Application");
    static constexpr qint64 MaxTextBytes = 2 * 1024 * 1024;

    // The shared window, made when first asked for; null when it does not exist.
    static FilePreviewWindow *shared(bool create = true);
    // How the desktop opens a file or link; QDesktopServices unless replaced.
    static void setUrlOpener(std::function<bool(const QUrl &)> opener);
    static bool openUrl(const QUrl &url);
    // What the window does with a file, by its content and name.
    static Kind kindForFile(const QString &path);

    // Shows `path` under `title` (the name the user knows it by).
    void showFile(const QString &path, const QString &title);
    Kind currentKind() const { return m_kind; }
    QString currentPath() const { return m_path; }

    // Where the arrow keys go; each answers the next file to show, or nothing.
    void setStepHandler(std::function<void(int direction)> step) { m_step = std::move(step); }

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    explicit FilePreviewWindow(QWidget *parent = nullptr);

    QStackedWidget *m_stack = nullptr;
    QScrollArea *m_imageArea = nullptr;
    QLabel *m_image = nullptr;
    QPdfView *m_pdfView = nullptr;
    QPdfDocument *m_pdf = nullptr;
    QPlainTextEdit *m_text = nullptr;
    QWidget *m_otherPage = nullptr;
    QLabel *m_otherIcon = nullptr;
    QLabel *m_otherName = nullptr;
    QPushButton *m_openButton = nullptr;
    Kind m_kind = Kind::None;
    QString m_path;
    std::function<void(int)> m_step;
};
