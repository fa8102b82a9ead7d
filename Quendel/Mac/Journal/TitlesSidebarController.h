#pragma once

#include "Mac/Journal/TitlesSidebarItem.h"

#include "platform/core/NotificationCenter.h"
#include "platform/store/ManagedObjectContext.h"

#include <QModelIndex>
#include <QPointer>
#include <QTreeView>
#include <QWidget>

#include <vector>

class QAction;
class QMenu;
class QPushButton;
class QStandardItem;
class QStandardItemModel;
class QTimer;
class TitlesSidebarController;

// The owner of a titles sidebar: the browser whose list the chosen date range and title narrow.
class TitlesSidebarDelegate
{
public:
    virtual ~TitlesSidebarDelegate() = default;
    // Both null: "All" (no date filter).
    virtual void selectedDateRangeWithStartDate(const QDateTime &start, const QDateTime &end) = 0;
    virtual void selectedTitle(platform::store::ManagedObject *title) = 0;
};

// The outline of the sidebar: title rows are dragged to a new place within it.
class TitlesSidebarOutlineView : public QTreeView
{
    Q_OBJECT
public:
    explicit TitlesSidebarOutlineView(TitlesSidebarController *controller, QWidget *parent = nullptr);

protected:
    void dropEvent(QDropEvent *event) override;
    void dragMoveEvent(QDragMoveEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;

private:
    TitlesSidebarController *m_controller;
};

// The sidebar beside the Logs and To-dos browsers: a DATE group of fixed, rolling date ranges and a TITLES
// group of the user's log or to-do titles in their display order, each title with its live count. Choosing
// an entry tells the delegate; titles are added, renamed in place, deleted and reordered by dragging.
class TitlesSidebarController : public QWidget
{
    Q_OBJECT
public:
    using ContextPtr = platform::store::ContextPtr;
    using ManagedObject = platform::store::ManagedObject;

    enum Role { CountRole = Qt::UserRole + 0x7300, GroupRole, PathGroupRole };

    static inline const QString LogTitleEntity = QStringLiteral("LogTitle");
    static inline const QString ToDoTitleEntity = QStringLiteral("ToDoTitle");
    static inline const QString DateGroupTitle = QStringLiteral("DATE");
    static inline const QString TitlesGroupTitle = QStringLiteral("TITLES");
    static inline const QString TitleAddedNotification = QStringLiteral("LogToDoTitleAddedNotification");
    static constexpr int DateTimerIntervalMs = 15000;
    static constexpr int GroupRowHeight = 34;
    static constexpr int EntryRowHeight = 24;

    TitlesSidebarController(const QString &entityName, ContextPtr context, QWidget *parent = nullptr);
    ~TitlesSidebarController() override;

    const QString &entityName() const { return m_entityName; }
    bool isLogTitlesType() const { return m_entityName == LogTitleEntity; }
    ContextPtr managedObjectContext() const { return m_context; }

    TitlesSidebarDelegate *delegate() const { return m_delegate; }
    void setDelegate(TitlesSidebarDelegate *delegate) { m_delegate = delegate; }

    // The DATE entries for the entity at the reference time; empty for an unknown entity.
    static QList<TitlesSidebarItemPtr> setupDatesinSidebarForEntity(const QString &entityName, const QDateTime &now);
    // Where a record dragged from `from` lands when dropped before row `dropIndex` of the same list.
    static int destinationRow(int from, int dropIndex);

    // The two groups, DATE first.
    const QList<TitlesSidebarItemPtr> &titlesListHeaderItems() const { return m_headerItems; }
    // The title records in display order.
    QList<ManagedObject *> arrangedTitles() const;

    void setupSidebarForTitlesWithFirstTime(bool firstTime);
    void checkDateTimerFired();

    // ---- Editing the titles ----
    // A new, empty title at the end whose text is edited at once; it is stored when the edit ends with a text.
    void addNewTitle();
    // Whether `text` may become the title of `record`: not empty and no other title holds it. `refusal`
    // receives "empty" or "duplicate".
    bool canRenameTitle(ManagedObject *record, const QString &text, QString *refusal = nullptr) const;
    // Stores a valid text and saves; a duplicate is refused with an alert and the edit starts again.
    bool renameTitle(ManagedObject *record, const QString &text);
    // The edit was left (Escape): a new title that never got a text goes away.
    void editingCancelled(ManagedObject *record);
    void deleteTitle(ManagedObject *record);
    // Moves the title at `from` to before row `dropIndex` and renumbers the list; false (with the order
    // as it was) when the save fails.
    bool moveTitle(int from, int dropIndex);

    // ---- Clicks and the menu ----
    void selectRow(const QModelIndex &index);
    void clearSelection();
    void deleteObject();
    QMenu *contextMenu() const { return m_menu; }

    // ---- Restore of the store ----
    void prepareForDBRestore();
    void databaseRestored(ContextPtr context);

    TitlesSidebarOutlineView *titlesListOutlineView() const { return m_outline; }
    QStandardItemModel *model() const { return m_model; }
    QModelIndex indexForTitle(const ManagedObject *record) const;
    ManagedObject *titleAt(const QModelIndex &index) const;
    bool isDateEntry(const QModelIndex &index) const;
    QPushButton *addButton() const { return m_addButton; }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void buildView();
    void rebuildTitles();
    void scheduleRebuild();
    void reloadModel();
    void refreshCounts();
    void reportSelection(const QModelIndex &index);
    void editTitleRow(ManagedObject *record);
    QModelIndex clickedOrSelectedIndex() const;
    void observeContext();

    QString m_entityName;
    ContextPtr m_context;
    TitlesSidebarDelegate *m_delegate = nullptr;
    QList<TitlesSidebarItemPtr> m_headerItems;
    QHash<const ManagedObject *, TitlesSidebarItemPtr> m_modelToItemMapping;
    TitlesSidebarOutlineView *m_outline = nullptr;
    QStandardItemModel *m_model = nullptr;
    QPushButton *m_addButton = nullptr;
    QMenu *m_menu = nullptr;
    QAction *m_deleteAction = nullptr;
    QAction *m_addAction = nullptr;
    QTimer *m_dateThresholdTimer = nullptr;
    QModelIndex m_clickedIndex;
    ManagedObject *m_newTitle = nullptr; // added, not yet given a text
    ManagedObject *m_editing = nullptr;
    bool m_reporting = true;
    bool m_rebuildPending = false;
    bool m_restoring = false;
    std::vector<platform::core::ScopedObserver> m_observers;
};
