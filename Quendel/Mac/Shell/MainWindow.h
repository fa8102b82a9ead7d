#pragma once

#include "Mac/Shell/SectionSwitcher.h"

#include <QMainWindow>
#include <QPointer>

#include <functional>

class MainWindowManagerViewController;
class QHBoxLayout;
class QVBoxLayout;

// The main window: the sidebar on the left and, to its right, exactly one of the five sections. The
// application's delegate owns it, supplies the section controllers through the factory, and connects the
// signals to the sidebar and the toolbar.
class MainWindow : public QMainWindow
{
    Q_OBJECT
public:
    using SectionFactory = std::function<MainWindowManagerViewController *(int index)>;

    static constexpr int SectionMinimumWidth = 960;
    static constexpr int SidebarWidth = 200;

    explicit MainWindow(QWidget *parent = nullptr);
    ~MainWindow() override;

    SectionSwitcher &switcher() { return m_switcher; }
    const SectionSwitcher &switcher() const { return m_switcher; }
    int currentIndex() const { return m_switcher.currentIndex(); }

    // Makes a section's controller the first time it is needed. Without a factory, or when it gives
    // nothing, the section shows an empty page of its own.
    void setSectionFactory(SectionFactory factory) { m_factory = std::move(factory); }
    // Null until the section was first needed; then the same controller for the rest of the process.
    MainWindowManagerViewController *sectionController(int index) const;
    MainWindowManagerViewController *ensureSectionController(int index);

    // The one entry point for changing section (sidebar, menus, jumps, launch).
    void selectItemAtIndex(int index);
    void changeViewControllersWithIndex(int index);
    // Puts the controller's view in place of the current one.
    void displayVC(MainWindowManagerViewController *controller);
    QWidget *currentView() const { return m_currentView; }

    // The place of the sidebar; the window holds it at a fixed width.
    QWidget *sidebarArea() const { return m_sidebarArea; }
    void setSidebarView(QWidget *sidebar);
    QWidget *sidebarView() const { return m_sidebarView; }
    QWidget *sectionArea() const { return m_sectionArea; }

    // Minimum heights of the sidebar and of the section area (set at launch by the screen's scale).
    void setSidebarMinimumHeight(int height);
    void setMainViewMinimumHeight(int height);
    static int minimumHeightForScaleFactor(double backingScaleFactor);

signals:
    // selectFirstRowInSidebarWithIndex: emitted after the switch's delay, with the row to select.
    void sidebarRowSelectionRequested(int row);
    void sidebarReloadRequested();
    // The toolbar's part of a switch: the Add item, its face and tool tip, the search field's text and
    // placeholder.
    void sectionPresented(const SectionSwitcher::Presentation &presentation);

private:
    SectionSwitcher m_switcher;
    SectionFactory m_factory;
    QPointer<MainWindowManagerViewController> m_controllers[SectionSwitcher::SectionCount];
    QWidget *m_sidebarArea = nullptr;
    QPointer<QWidget> m_sidebarView;
    QWidget *m_sectionArea = nullptr;
    QVBoxLayout *m_sectionLayout = nullptr;
    QPointer<QWidget> m_currentView;
};
