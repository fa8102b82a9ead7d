#pragma once

#include <QDialog>
#include <QPointer>

#include <functional>

namespace platform::ui {

// The codes a sheet ends with when it is not an alert (alerts answer 1000 + the button's position).
inline constexpr int ModalResponseOK = 1;
inline constexpr int ModalResponseCancel = 0;

// A dialog attached to one window: window-modal, shown without a nested event loop, ended by its own
// code (or its caller) with a response code that reaches the completion exactly once. Escape and the
// window's close button end it with ModalResponseCancel.
class Sheet : public QDialog
{
    Q_OBJECT
public:
    using Completion = std::function<void(int returnCode)>;

    explicit Sheet(QWidget *parent = nullptr);
    ~Sheet() override;

    // The one widget the sheet shows; the sheet takes it over. A later call replaces (and deletes) the
    // previous content.
    void setContentWidget(QWidget *content);
    QWidget *contentWidget() const { return m_content; }

    // Attaches the sheet to the top-level window of `window` and shows it window-modally; returns at once.
    void beginSheet(QWidget *window, Completion completion = {});
    // Shows the sheet application-modally (no window to attach to); returns at once.
    void beginModal(Completion completion = {});
    // Ends the sheet: hides it, then runs the completion with the code. A second end does nothing.
    void endSheet(int returnCode);

    bool isActive() const { return m_active; }
    // The window the sheet is attached to; null for an application-modal one.
    QWidget *sheetParent() const { return m_sheetParent; }
    int returnCode() const { return m_returnCode; }

    // By default an ended sheet deletes itself once the completion has run (later, from the event loop,
    // so the completion may still read it).
    void setDeleteOnEnd(bool on) { m_deleteOnEnd = on; }
    bool deleteOnEnd() const { return m_deleteOnEnd; }

    // The active sheets attached to `window`'s top-level window, oldest first.
    static QList<Sheet *> attachedSheets(const QWidget *window);
    // The most recently begun active sheet of that window, or null.
    static Sheet *attachedSheet(const QWidget *window);

signals:
    void sheetEnded(int returnCode);

public slots:
    void done(int returnCode) override;

protected:
    void showEvent(QShowEvent *event) override;

private:
    void start(Qt::WindowModality modality, Completion completion);
    void placeOnParent();

    QPointer<QWidget> m_content;
    QPointer<QWidget> m_sheetParent;
    Completion m_completion;
    bool m_active = false;
    bool m_deleteOnEnd = true;
    int m_returnCode = ModalResponseCancel;
};

} // namespace platform::ui
