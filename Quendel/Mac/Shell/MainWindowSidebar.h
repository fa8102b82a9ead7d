#pragma once

#include "Mac/Shell/KeyRouting.h"

#include <QHash>
#include <QObject>
#include <QPointer>
#include <QStringList>

#include <functional>

class CustomNSOutlineView;
class MainWindow;
class QMimeData;
class QModelIndex;
class QStandardItemModel;
class QTreeView;
class SidebarTableCellView;

// The sidebar of the main window and the application's handling of it: one hidden header row and a row
// per section (Contacts, Logs, ToDos, Files, Map). Choosing a row switches the section before the row is
// selected; files dropped on "Files" go to the Files section while it is on show; the right arrow moves into
// the section's list and Tab to the toolbar's group pop-up. The application's delegate makes one, hands it
// the window and the hooks below, and places outlineView() in the window's sidebar area.
class MainWindowSidebar : public QObject, public KeyRoutingDelegate
{
    Q_OBJECT
public:
    static inline const QString MenuKey = QStringLiteral("Menu");

    struct Row
    {
        QString title;
        QString imageName;
        QString toolTip;
    };
    static const QList<Row> &sectionRows();

    explicit MainWindowSidebar(MainWindow *window, QObject *parent = nullptr);
    ~MainWindowSidebar() override;

    CustomNSOutlineView *outlineView() const { return m_outline; }
    QStandardItemModel *model() const { return m_model; }

    // Hooks.
    void setShowingPasswordScreenProvider(std::function<bool()> provider) { m_passcodeShown = std::move(provider); }
    // The section's list for the right arrow and the search field's down arrow (Logs, ToDos, Map).
    void setSectionListProvider(std::function<QTreeView *(int index)> provider) { m_listFor = std::move(provider); }
    // The Files section's own handling of the right arrow.
    void setFilesRightKeyHandler(std::function<void()> handler) { m_filesRightKey = std::move(handler); }
    // Files dropped on the "Files" row while the Files section is on show.
    void setFilesDropHandler(std::function<bool(const QMimeData *)> handler) { m_filesDrop = std::move(handler); }
    // Where Tab (group pop-up) and Shift-Tab (search field) move the focus.
    void setTabTargets(QWidget *groupSelectionButton, QWidget *searchField);

    // Builds the rows once; the outline shows every row, opened.
    void buildSidebarItems();
    const QStringList &sidebarKeys() const { return m_keys; }
    const QHash<QString, QStringList> &sidebarItems() const { return m_items; }

    // Asked before the outline selects a row; a section row switches the section first.
    bool shouldSelectItem(const QModelIndex &index);

    // Drops.
    bool validateDrop(const QMimeData *data, const QModelIndex &proposedItem) const;
    bool acceptDrop(const QMimeData *data);
    static bool checkForDirectoryInDragPasteboard(const QMimeData *data);

    // Keys.
    KeyDelegateKinds keyDelegateKinds() const override { return KeyDelegateKind::AppDelegate; }
    void mainSidebarRightKeyWasPressed(QKeyEvent *event) override;
    void tabKeyPressedOnSidebarWithShift(bool shift) override;
    void leftKeyTomakeSidebarFirstResponder() override;
    // Gives the list the focus and, when nothing is selected there, selects its row 1 (the first row under
    // its first section title).
    static void selectOutlineViewOnRight(QTreeView *outline);
    void selectFirstRowInSidebarWithIndex(int row);

    // The cell of a row (0 is the header).
    SidebarTableCellView *cellForRow(int row) const;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void recolourCells();

    QPointer<MainWindow> m_window;
    CustomNSOutlineView *m_outline = nullptr;
    QStandardItemModel *m_model = nullptr;
    QStringList m_keys;
    QHash<QString, QStringList> m_items;
    std::function<bool()> m_passcodeShown;
    std::function<QTreeView *(int)> m_listFor;
    std::function<void()> m_filesRightKey;
    std::function<bool(const QMimeData *)> m_filesDrop;
    QPointer<QWidget> m_groupButton;
    QPointer<QWidget> m_searchField;
};
