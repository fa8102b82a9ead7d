#include "Mac/Shell/MainWindow.h"

#include "Mac/Shell/MainWindowManagerViewController.h"
#include "platform/ui/Popover.h"

#include <QHBoxLayout>
#include <QTimer>
#include <QVBoxLayout>

namespace {

// The page of a section that has no controller of its own.
class EmptySectionViewController : public MainWindowManagerViewController
{
public:
    explicit EmptySectionViewController(const SectionInfo &info)
        : MainWindowManagerViewController(info.interfaceFile, nullptr)
    {
        setWindowTitle(info.controllerTitle);
    }

protected:
    bool handlesDeleteCommand() const override { return false; }
};

} // namespace

MainWindow::MainWindow(QWidget *parent) : QMainWindow(parent)
{
    setObjectName(QStringLiteral("mainWindow"));
    setWindowTitle(QStringLiteral("Quendel"));
    auto *content = new QWidget;
    content->setObjectName(QStringLiteral("contentView"));
    auto *layout = new QHBoxLayout(content);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    m_sidebarArea = new QWidget;
    m_sidebarArea->setObjectName(QStringLiteral("sidebarScrollView"));
    m_sidebarArea->setFixedWidth(SidebarWidth);
    auto *sidebarLayout = new QVBoxLayout(m_sidebarArea);
    sidebarLayout->setContentsMargins(0, 0, 0, 0);

    m_sectionArea = new QWidget;
    m_sectionArea->setObjectName(QStringLiteral("sectionArea"));
    m_sectionLayout = new QVBoxLayout(m_sectionArea);
    m_sectionLayout->setContentsMargins(0, 0, 0, 0);
    // The placeholder stands where the first section goes.
    auto *placeholder = new QWidget;
    placeholder->setObjectName(QStringLiteral("placeholderView"));
    m_sectionLayout->addWidget(placeholder);
    m_currentView = placeholder;

    layout->addWidget(m_sidebarArea);
    layout->addWidget(m_sectionArea, 1);
    setCentralWidget(content);
}

MainWindow::~MainWindow() = default;

void MainWindow::setSidebarView(QWidget *sidebar)
{
    if (m_sidebarView == sidebar)
        return;
    delete m_sidebarView;
    m_sidebarView = sidebar;
    if (sidebar)
        m_sidebarArea->layout()->addWidget(sidebar);
}

void MainWindow::setSidebarMinimumHeight(int height)
{
    m_sidebarArea->setMinimumHeight(height);
}

void MainWindow::setMainViewMinimumHeight(int height)
{
    m_sectionArea->setMinimumHeight(height);
}

int MainWindow::minimumHeightForScaleFactor(double backingScaleFactor)
{
    return backingScaleFactor > 1.0 ? 400 : 650;
}

MainWindowManagerViewController *MainWindow::sectionController(int index) const
{
    return index >= 0 && index < SectionSwitcher::SectionCount ? m_controllers[index].data() : nullptr;
}

MainWindowManagerViewController *MainWindow::ensureSectionController(int index)
{
    const SectionInfo *info = SectionSwitcher::section(index);
    if (!info)
        return nullptr;
    if (!m_controllers[index]) {
        MainWindowManagerViewController *controller = m_factory ? m_factory(index) : nullptr;
        if (!controller)
            controller = new EmptySectionViewController(*info);
        // The window keeps every section for the rest of the process, also while it is not on show.
        controller->setParent(m_sectionArea);
        controller->hide();
        m_controllers[index] = controller;
    }
    return m_controllers[index];
}

void MainWindow::selectItemAtIndex(int index)
{
    const SectionSwitcher::Selection selection = m_switcher.planSelection(index);
    if (selection.ignored)
        return;
    const int row = selection.sidebarRow;
    // A later switch that comes before the timer has its own row to mark: marking this one then would
    // take the user back to the section just left (the first switch after launch waits 100 ms).
    QTimer::singleShot(selection.sidebarDelayMs, this, [this, row, index] {
        if (currentIndex() == index)
            emit sidebarRowSelectionRequested(row);
    });
    if (selection.leavingContacts) {
        if (MainWindowManagerViewController *contacts = sectionController(SectionSwitcher::Contacts)) {
            platform::ui::Popover *import = contacts->importContactsPopover();
            if (import && import->isShown() && import->behavior() != platform::ui::Popover::Behavior::ApplicationDefined)
                import->closePopover();
        }
    }
    changeViewControllersWithIndex(index);
}

void MainWindow::changeViewControllersWithIndex(int index)
{
    const SectionSwitcher::Presentation presentation = m_switcher.present(index);
    if (!presentation.showsSection) {
        emit sidebarReloadRequested();
        return;
    }
    MainWindowManagerViewController *controller = ensureSectionController(index);
    emit sectionPresented(presentation);
    displayVC(controller);
    emit sidebarReloadRequested();
}

void MainWindow::displayVC(MainWindowManagerViewController *controller)
{
    if (!controller)
        return;
    controller->loadViewIfNeeded();
    controller->setMinimumWidth(SectionMinimumWidth);
    if (!m_currentView) {
        m_currentView = controller;
        return;
    }
    if (m_currentView == controller)
        return;
    QWidget *old = m_currentView;
    m_sectionLayout->replaceWidget(old, controller);
    old->hide();
    // The placeholder has done its part; sections are kept by the window.
    if (old->objectName() == QLatin1String("placeholderView"))
        old->deleteLater();
    controller->show();
    m_currentView = controller;
}
