#include "Mac/Contacts/AddContactWindowController.h"

#include <QScreen>

AddContactWindowController::AddContactWindowController(const QString &windowNibName, QObject *parent)
    : QObject(parent), m_nibName(windowNibName)
{
}

AddContactWindowController::~AddContactWindowController()
{
    // A sheet that was shown ends itself; one that never was goes with its controller.
    if (m_window && !m_window->isActive() && !m_window->isVisible())
        delete m_window.data();
}

platform::ui::Sheet *AddContactWindowController::window()
{
    if (!m_window) {
        m_window = new platform::ui::Sheet;
        m_window->setObjectName(m_nibName);
        windowDidLoad();
    }
    return m_window;
}

void AddContactWindowController::windowDidLoad()
{
    const QSize size = m_content ? m_content->size() : QSize(0, 0);
    if (m_content)
        m_window->setContentWidget(m_content);
    resizeWindowForContentSize(size);
}

void AddContactWindowController::resizeWindowForContentSize(const QSize &size)
{
    platform::ui::Sheet *sheet = window();
    const QRect current = sheet->geometry();
    // The top edge of the content stays where it was; only the size changes.
    const QRect content(current.x(), current.y(), size.width() + ExtraContentWidth, size.height());
    sheet->setMinimumSize(0, 0);
    sheet->setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
    sheet->setGeometry(content);
    const QSize frame = content.size();
    sheet->setMinimumSize(frame);
    sheet->setMaximumSize(int(MaximumGrowth * frame.width()), int(MaximumGrowth * frame.height()));
}

void AddContactWindowController::beginSheetOnWindow(QWidget *parentWindow, platform::ui::Sheet::Completion completion)
{
    window()->beginSheet(parentWindow, std::move(completion));
}
