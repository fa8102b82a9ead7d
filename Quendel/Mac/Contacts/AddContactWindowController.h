#pragma once

#include "platform/ui/Sheet.h"

#include <QObject>
#include <QPointer>
#include <QSize>

// The one sheet window that hosts the application's editors (log and to-do editors, the add-contact
// page, group pickers, ...). The caller makes a controller for each sheet, gives it the editor as its
// content, asks for its window and begins that window as a sheet on its own window. The window starts
// around the editor, 100 points wider than it, and can be enlarged up to 1.75 times that first size but
// never made smaller.
class AddContactWindowController : public QObject
{
    Q_OBJECT
public:
    static inline const QString WindowNibName = QStringLiteral("AddContactWindow");
    static constexpr int ExtraContentWidth = 100;
    static constexpr double MaximumGrowth = 1.75;

    explicit AddContactWindowController(const QString &windowNibName = WindowNibName, QObject *parent = nullptr);
    ~AddContactWindowController() override;

    QString windowNibName() const { return m_nibName; }

    // The editor shown in the sheet; the sheet takes it over once the window is loaded.
    QWidget *contentViewController() const { return m_content; }
    void setContentViewController(QWidget *controller) { m_content = controller; }

    // The sheet window, loaded (and sized around the editor) on first request.
    platform::ui::Sheet *window();
    bool isWindowLoaded() const { return m_window; }

    // Begins the window as a sheet on `parentWindow`'s window (the usual last step of the caller).
    void beginSheetOnWindow(QWidget *parentWindow, platform::ui::Sheet::Completion completion = {});

    // Sizes the window for an editor of `size`: the content keeps its left and top edges, is the editor's
    // width plus 100 points wide and its height high, and may later grow to 1.75 times that size.
    void resizeWindowForContentSize(const QSize &size);

protected:
    virtual void windowDidLoad();

private:
    QString m_nibName;
    QPointer<QWidget> m_content;
    QPointer<platform::ui::Sheet> m_window;
};
