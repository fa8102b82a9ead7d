#pragma once

#include "Mac/Journal/MacAddEditCommonController.h"
#include "Mac/Journal/SelectContactsViewControllerMac.h"
#include "Mac/Journal/TitlesSidebarController.h"
#include "Mac/Shell/KeyRouting.h"
#include "Mac/Shell/MainWindowManagerViewController.h"

#include "Classes/LogsListDataSource.h"

#include "platform/core/NotificationCenter.h"

#include <QModelIndex>
#include <QPointer>

#include <memory>
#include <vector>

class AddContactWindowController;
class CustomNSOutlineView;
class Log;
class LogTitle;
class QAction;
class QDListItemModel;
class QLabel;

// The Logs section of the main window: every log of every contact by month, newest first, beside the
// titles sidebar whose date ranges and titles narrow the list together with the toolbar search and group.
// A log is edited in a popover that steps through the list, added for a contact chosen in the contact
// picker, cloned, given to another contact or deleted, and its contact's page opened.
class MacAllLogsViewController : public MainWindowManagerViewController,
                                 public KeyRoutingDelegate,
                                 public AddEditViewControllerDelegate,
                                 public QDListDataSourceDelegate,
                                 public TitlesSidebarDelegate,
                                 public SelectContactPopoverDelegate
{
    Q_OBJECT
public:
    static inline const QString NibName = QStringLiteral("MacAllLogsViewController");
    static inline const QString ListName = QStringLiteral("All Logs");
    static inline const QString FillerText = QStringLiteral("No Logs");
    static inline const QString EmailSubjectFormat = QStringLiteral("Quendel Log - %1");
    static inline const QString DeleteLogDefaultsKey = QStringLiteral("defaults_delete_log");
    static inline const QString GroupChangeNotification = QStringLiteral("GroupChangeNotification");
    static constexpr int HeaderRowHeight = 30;
    static constexpr int ShortRowHeight = 77;
    static constexpr int LongRowHeight = 94;
    static constexpr int NoteWidthInset = 35;
    static constexpr int ContactPageLogsTab = 1;

    explicit MacAllLogsViewController(ContextPtr context, QWidget *parent = nullptr);
    ~MacAllLogsViewController() override;

    LogsListDataSource *logsListDataSource() const { return m_source.get(); }
    CustomNSOutlineView *allLogsOutlineView() const { return m_outline; }
    QDListItemModel *listModel() const { return m_model; }
    TitlesSidebarController *titlesSidebarController() const { return m_sidebar; }
    Log *reassignObject() const { return m_reassignObject; }

    KeyDelegateKinds keyDelegateKinds() const override
    {
        return KeyDelegateKind::CommonListViewMac | KeyDelegateKind::MacAllLogsViewController;
    }

    void awakeFromNib() override;
    void searchResultsWithString(const QString &text) override;
    void groupChangedNotification(const platform::core::Notification &notification) override;
    void prepareForDBRestore(const platform::core::Notification &notification) override;
    void databaseRestoredNotification(const platform::core::Notification &notification) override;
    void performDelete(QObject *sender) override;
    void popoverDidClose(platform::ui::Popover *popover) override;

    // TitlesSidebarDelegate
    void selectedDateRangeWithStartDate(const QDateTime &start, const QDateTime &end) override;
    void selectedTitle(platform::store::ManagedObject *title) override;

    int heightOfRowByItem(const QModelIndex &index) const;
    void doubleClickAction(const QModelIndex &index);
    void displayPopoverWithItem(const QModelIndex &index, bool replaceExistingPopover);
    void spaceBarPressedWithEvent(QKeyEvent *event) override;
    void newLogsButtonPressed(QWidget *sender);
    void cloneObject(QObject *sender);
    void reassignMenuItemSelected();
    void emailMenuItemSelected();
    void showContactPage(const QModelIndex &index);
    void deleteItem(const QModelIndex &index);
    void deselectOutlineView();

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
    Log *logAt(const QModelIndex &index) const;
    // The row a menu command acts on: the clicked row, else the selected one.
    QModelIndex targetIndex() const;
    QModelIndex adjacentDataRow(int direction) const;
    void applyFilters();
    void refreshFillerText();
    void openSheet(QWidget *editor);
    void showContactPicker(const QRect &rect, QWidget *anchor, platform::ui::Popover::Edge edge);

    std::unique_ptr<LogsListDataSource> m_source;
    TitlesSidebarController *m_sidebar = nullptr;
    QWidget *m_mainOuterView = nullptr;
    CustomNSOutlineView *m_outline = nullptr;
    QDListItemModel *m_model = nullptr;
    QLabel *m_filler = nullptr;
    QPointer<AddContactWindowController> m_addWindowController;
    QModelIndex m_clickedIndex;
    Log *m_reassignObject = nullptr;
    bool m_observing = false;
    platform::core::ScopedObserver m_didSaveObserver;
    std::vector<platform::core::ScopedObserver> m_listeners;
};
