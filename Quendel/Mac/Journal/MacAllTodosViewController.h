#pragma once

#include "Mac/Journal/MacAddEditCommonController.h"
#include "Mac/Journal/SelectContactsViewControllerMac.h"
#include "Mac/Journal/TitlesSidebarController.h"
#include "Mac/Shell/KeyRouting.h"
#include "Mac/Shell/MainWindowManagerViewController.h"

#include "Classes/ToDosListDataSource.h"

#include "platform/core/NotificationCenter.h"

#include <QModelIndex>
#include <QPointer>

#include <memory>

class AddContactWindowController;
class CustomNSOutlineView;
class QDListItemModel;
class QLabel;
class ToDo;
class ToDoTitle;

// The ToDos section of the main window: every open to-do of every contact in the Overdue, Next 7 Days and
// Upcoming sections, narrowed by the toolbar search, a date range and a to-do title. A to-do is ticked off
// from its row (with the offer of a log), edited in a popover that steps through the list, cloned, e-mailed
// or deleted, and its contact's page opened.
class MacAllTodosViewController : public MainWindowManagerViewController,
                                  public KeyRoutingDelegate,
                                  public AddEditViewControllerDelegate,
                                  public QDListDataSourceDelegate,
                                  public SelectContactPopoverDelegate,
                                  public TitlesSidebarDelegate
{
    Q_OBJECT
public:
    static inline const QString NibName = QStringLiteral("MacAllTodosViewController");
    static inline const QString ListName = QStringLiteral("All ToDos");
    static inline const QString FillerText = QStringLiteral("No ToDos");
    static inline const QString DeleteToDoDefaultsKey = QStringLiteral("defaults_delete_todo");
    static inline const QString CopyToDoToDiaryDefaultsKey = QStringLiteral("defaults_copy_todo_to_diary");
    static constexpr int HeaderRowHeight = 30;
    static constexpr int ShortRowHeight = 77;
    static constexpr int LongRowHeight = 94;
    static constexpr int NoteWidthInset = 65;
    static constexpr int TurnOffSwitchDelayMs = 500;
    static constexpr int ContactPageToDosTab = 2;

    explicit MacAllTodosViewController(ContextPtr context, QWidget *parent = nullptr);
    ~MacAllTodosViewController() override;

    ToDosListDataSource *todoListDataSource() const { return m_source.get(); }
    CustomNSOutlineView *allTodosOutlineView() const { return m_outline; }
    QDListItemModel *listModel() const { return m_model; }

    KeyDelegateKinds keyDelegateKinds() const override { return KeyDelegateKind::CommonListViewMac; }

    void awakeFromNib() override;
    void searchResultsWithString(const QString &text) override;
    // The sidebar's date range (both null: "All", which also clears the title) and title.
    void selectedDateRangeWithStartDate(const QDateTime &start, const QDateTime &end) override;
    void selectedTitle(platform::store::ManagedObject *title) override;
    TitlesSidebarController *titlesSidebarController() const { return m_sidebar; }
    void prepareForDBRestore(const platform::core::Notification &notification) override;
    void databaseRestoredNotification(const platform::core::Notification &notification) override;
    void performDelete(QObject *sender) override;
    void popoverDidClose(platform::ui::Popover *popover) override;

    int heightOfRowByItem(const QModelIndex &index) const;
    void doubleClickAction(const QModelIndex &index);
    void displayPopoverWithItem(const QModelIndex &index, bool replaceExistingPopover);
    void spaceBarPressedWithEvent(QKeyEvent *event) override;
    void checkboxSelected(const QModelIndex &index);
    void markTodoAsComplete(const QModelIndex &index);
    void displayAddTodoIntoLogWithItem(const QModelIndex &index);
    void cloneObject(QObject *sender);
    // The toolbar's add button: the contact picker, then the new to-do's sheet for the chosen contact.
    void newTodosButtonPressed(QWidget *sender);
    void reassignMenuItemSelected();
    ToDo *reassignObject() const { return m_reassignObject; }
    void showContactPage(const QModelIndex &index);
    void deleteTodoItem(const QModelIndex &index);

    // AddEditViewControllerDelegate
    void finishedViewController(MacAddEditCommonController *editor, const std::optional<QVariantMap> &changes) override;
    void rightButtonCalledInPopoverController(MacAddEditCommonController *editor) override;
    void leftButtonCalledInPopoverController(MacAddEditCommonController *editor) override;

    // SelectContactPopoverDelegate
    void finishedSelectPopoverController(SelectContactsViewControllerMac *picker,
                                         const QList<platform::store::ManagedObjectID> &selectedContactIDs,
                                         bool changesMade) override;

    // QDListDataSourceDelegate (after the item model has applied the change)
    void updatedSourceObjects() override;
    void insertedNewSectionToSource(CommonListData *header, qint64 headerIndex) override;
    void addedObject(CommonListData *, CommonListData *, qint64) override {}
    void deletedSection(CommonListData *, qint64) override {}
    void deletedObjectItem(CommonListData *, qint64, quint64) override {}
    void moveObjectInSection(CommonListData *, qint64, qint64) override {}
    void moveObjectFromSection(CommonListData *, CommonListData *toHeader, qint64, qint64, qint64, qint64) override;

protected:
    void loadView() override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    ToDo *todoAt(const QModelIndex &index) const;
    // The row a menu command acts on: the clicked row, else the selected one.
    QModelIndex targetIndex() const;
    QModelIndex adjacentDataRow(int direction) const;
    void applyFilters();
    void refreshFillerText();
    void turnOffSwitchLater(const QModelIndex &index);
    void openSheet(QWidget *editor);

    std::unique_ptr<ToDosListDataSource> m_source;
    TitlesSidebarController *m_sidebar = nullptr;
    CustomNSOutlineView *m_outline = nullptr;
    QDListItemModel *m_model = nullptr;
    QLabel *m_filler = nullptr;
    QPointer<AddContactWindowController> m_addWindowController;
    QModelIndex m_clickedIndex;
    ToDo *m_reassignObject = nullptr;
    bool m_observing = false;
    platform::core::ScopedObserver m_didSaveObserver;
};
