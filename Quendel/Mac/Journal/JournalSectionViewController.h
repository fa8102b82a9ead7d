#pragma once

#include "Mac/Journal/MacAddEditCommonController.h"
#include "Mac/Journal/SelectContactsViewControllerMac.h"
#include "Mac/Journal/TitlesSidebarController.h"
#include "Mac/Shell/KeyRouting.h"
#include "Mac/Shell/MainWindowManagerViewController.h"

#include "Classes/QDListDataSource.h"

#include "platform/core/NotificationCenter.h"

#include <QDateTime>
#include <QModelIndex>
#include <QPointer>

#include <memory>
#include <vector>

class AddContactWindowController;
class CustomNSOutlineView;
class QDListItemModel;
class QLabel;

// What the Logs and ToDos sections of the main window have in common: a list of every contact's records in
// sections beside a titles sidebar, narrowed by the sidebar's date range and title, the toolbar search and
// (where the section follows it) the toolbar group. A record is edited in a popover that steps through the
// list, added for a contact chosen in the contact picker, cloned in a sheet, given to another contact,
// e-mailed or deleted, and its contact's page opened. The subclass names its record type and its editor.
class JournalSectionViewController : public MainWindowManagerViewController,
                                     public KeyRoutingDelegate,
                                     public AddEditViewControllerDelegate,
                                     public QDListDataSourceDelegate,
                                     public TitlesSidebarDelegate,
                                     public SelectContactPopoverDelegate
{
    Q_OBJECT
public:
    static inline const QString GroupChangeNotification = QStringLiteral("GroupChangeNotification");
    static constexpr int HeaderRowHeight = 30;
    static constexpr int ShortRowHeight = 77;
    static constexpr int LongRowHeight = 94;

    // The section's own names, texts and keys.
    struct Setup
    {
        QString nibName;
        QString windowTitle;
        QString titleEntity;      // the sidebar's titles
        QString dateKey;          // the record's date, for the sidebar's date range
        QString titleKey;         // the record's title relationship, for the sidebar's title
        QString listName;         // the list's accessible name
        QString outlineName;      // the list's object name
        QString fillerText;
        QString menuName;         // the row menu's accessible name
        bool emailLastInMenu = false;
        QString recordNoun;       // "Log", "ToDo": the delete question's words
        QString deleteDefaultsKey;
        QString emailSubjectFormat;
        int noteWidthInset = 0;
        int contactPageTab = 0;
        QString loadPageName;     // the analytics page of the section's load
        QString addEventName;     // the analytics event and page of the picker's add
        QString addEventPage;
        bool followsGroupChange = false;
    };

    JournalSectionViewController(Setup setup, std::unique_ptr<QDListDataSource> source, ContextPtr context,
                                 QWidget *parent = nullptr);
    ~JournalSectionViewController() override;

    QDListItemModel *listModel() const { return m_model; }
    TitlesSidebarController *titlesSidebarController() const { return m_sidebar; }

    void awakeFromNib() override;
    void searchResultsWithString(const QString &text) override;
    void groupChangedNotification(const platform::core::Notification &notification) override;
    void prepareForDBRestore(const platform::core::Notification &notification) override;
    void databaseRestoredNotification(const platform::core::Notification &notification) override;
    void performDelete(QObject *sender) override;
    void popoverDidClose(platform::ui::Popover *popover) override;

    // TitlesSidebarDelegate: both null is "All", which also clears the title.
    void selectedDateRangeWithStartDate(const QDateTime &start, const QDateTime &end) override;
    void selectedTitle(platform::store::ManagedObject *title) override;

    int heightOfRowByItem(const QModelIndex &index) const;
    void doubleClickAction(const QModelIndex &index);
    void displayPopoverWithItem(const QModelIndex &index, bool replaceExistingPopover);
    void spaceBarPressedWithEvent(QKeyEvent *event) override;
    void cloneObject(QObject *sender);
    void reassignMenuItemSelected();
    void emailMenuItemSelected();
    void showContactPage(const QModelIndex &index);
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
    // What the list shows of a record.
    struct RecordFacts
    {
        QDateTime date;
        Person *person = nullptr;
        QString title;
        QString note;
    };

    // Whether the object is one of the section's records.
    virtual bool isRecord(const platform::store::ManagedObject *object) const = 0;
    virtual RecordFacts factsOf(platform::store::ManagedObject *record) const = 0;
    virtual void setPersonOf(platform::store::ManagedObject *record, Person *person) = 0;
    virtual void addRecordToEmailBody(platform::store::ManagedObject *record, QString &body) const = 0;
    // A new editor of the record (null: a new record), not yet set up.
    virtual MacAddEditCommonController *makeEditor(platform::store::ManagedObject *record, bool isClone) = 0;
    // Called once the list model exists, before the list shows it.
    virtual void configureListModel(QDListItemModel *) {}

    void loadView() override;
    bool eventFilter(QObject *watched, QEvent *event) override;

    // The section's record at a data row; null on a section header or outside the list.
    platform::store::ManagedObject *recordAt(const QModelIndex &index) const;
    QDListDataSource *listDataSource() const { return m_source.get(); }
    CustomNSOutlineView *outlineView() const { return m_outline; }
    platform::store::ManagedObject *reassignRecord() const { return m_reassignObject; }
    // The row a menu command acts on: the clicked row, else the selected one.
    QModelIndex targetIndex() const;
    void openSheet(QWidget *editor);
    // The contact picker, for a new record or (with the record set after) a reassignment.
    void showContactPicker(const QRect &rect, QWidget *anchor, platform::ui::Popover::Edge edge);
    void newRecordButtonPressed(QWidget *sender);
    void deleteRecord(const QModelIndex &index);

private:
    QModelIndex adjacentDataRow(int direction) const;
    void applyFilters();
    void refreshFillerText();
    void openEditor(platform::store::ManagedObject *record, bool isClone, Person *person);

    Setup m_setup;
    std::unique_ptr<QDListDataSource> m_source;
    TitlesSidebarController *m_sidebar = nullptr;
    CustomNSOutlineView *m_outline = nullptr;
    QDListItemModel *m_model = nullptr;
    QLabel *m_filler = nullptr;
    QPointer<AddContactWindowController> m_addWindowController;
    QModelIndex m_clickedIndex;
    platform::store::ManagedObject *m_reassignObject = nullptr;
    bool m_observing = false;
    platform::core::ScopedObserver m_didSaveObserver;
    std::vector<platform::core::ScopedObserver> m_listeners;
};
