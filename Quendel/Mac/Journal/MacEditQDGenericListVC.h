#pragma once

#include "platform/store/ManagedObjectContext.h"
#include "platform/ui/Sheet.h"

#include <QList>
#include <QPointer>
#include <QTreeWidget>
#include <QWidget>

#include <memory>

class QLabel;
class QMenu;
class QPushButton;
class QStackedWidget;
class ListEditorNameDelegate;
class MacEditQDGenericListVC;

namespace platform::store {
class ManagedObject;
}

// Told when the user is done with a list editor.
class MacEditQDGenericListDelegate
{
public:
    virtual ~MacEditQDGenericListDelegate() = default;
    virtual void doneEditPrivateGroupsList() {}
};

// The list of a list editor: a drop between rows moves the dragged row there; the editor stores the new
// order and the list is shown again from the records.
class ListEditorTableView : public QTreeWidget
{
    Q_OBJECT
public:
    explicit ListEditorTableView(MacEditQDGenericListVC *owner, QWidget *parent = nullptr);
    // The row a drop at `pos` lands before (the row count for after the last); -1 for a drop onto a row.
    int dropRowAt(const QPoint &pos) const;

protected:
    void dropEvent(QDropEvent *event) override;
    void dragMoveEvent(QDragMoveEvent *event) override;

private:
    MacEditQDGenericListVC *m_owner;
};

// The editor of a named, ordered list of one entity's records (private groups, log titles, to-do titles),
// working directly in the context it is given: add a record by a unique name, rename one in place, delete
// one, and drag the list into a new order. Renames, deletions and reorders are saved at once; an added
// record waits in the context for its next save.
class MacEditQDGenericListVC : public QWidget
{
    Q_OBJECT
public:
    using ContextPtr = std::shared_ptr<platform::store::ManagedObjectContext>;

    static inline const QString NibName = QStringLiteral("MacEditQDGenericListVC");
    static inline const QString CustomTitleDragTypePrefix = QStringLiteral("com.morvane.Quendel.CustomTitleString");

    MacEditQDGenericListVC(ContextPtr context, const QString &nibName, const QString &entityName,
                           const QString &nameKey, const QString &sortingKey, QWidget *parent = nullptr);
    ~MacEditQDGenericListVC() override;

    void setDelegate(MacEditQDGenericListDelegate *delegate) { m_delegate = delegate; }
    MacEditQDGenericListDelegate *delegate() const { return m_delegate; }

    // Shows the editor in a sheet over `window`.
    void beginSheetOnWindow(QWidget *window);
    platform::ui::Sheet *sheet() const { return m_sheet; }

    // ---- Actions ----
    virtual void addButtonPressed();
    void deleteSelectedListItem();
    void doneButtonSelected();
    virtual void doubleClickAction();

    // Inserts a new record named `text` after the last one; false (with its alert) for an empty name or
    // one already listed.
    bool addRecordWithName(const QString &text);
    // True when a listed record other than `except` is named `text` (exact comparison).
    bool checkTextAgainstExistingObjectsNameKey(const QString &text, platform::store::ManagedObject *except = nullptr) const;
    // The end of a rename of row `row`; false keeps the editing open.
    bool controlTextShouldEndEditing(int row, const QString &text);
    // A row dropped before row `dropRow` (rows as before the move); true when the new order was stored.
    bool acceptDrop(int fromRow, int dropRow);

    // ---- State ----
    QList<platform::store::ManagedObject *> arrangedObjects() const { return m_records; }
    QStringList names() const;
    QString entityName() const { return m_entityName; }
    QString nameKey() const { return m_nameKey; }
    QString sortingKey() const { return m_sortingKey; }
    platform::store::ManagedObjectContext *context() const { return m_context.get(); }
    QTreeWidget *tableView() const { return m_tableView; }
    QPushButton *addButton() const { return m_addButton; }
    QPushButton *deleteButton() const { return m_deleteButton; }
    QPushButton *doneButton() const { return m_doneButton; }
    // The row a right-click opened the context menu on (-1: none).
    int clickedRow() const { return m_clickedRow; }

    // Fetches the records again and shows them.
    void reloadRecords();

protected:
    virtual int columnCount() const { return 1; }
    // Fills row `row`'s item from its record.
    virtual void fillRow(QTreeWidgetItem *item, platform::store::ManagedObject *record, int row);
    virtual void afterReload() {}
    QString nameOf(const platform::store::ManagedObject *record) const;
    // Saves the context; a failure is rolled back, reported, and the list shown again.
    bool saveContext();
    void awakeFromNib();

    ContextPtr m_context;
    QString m_entityName;
    QString m_nameKey;
    QString m_sortingKey;
    QList<platform::store::ManagedObject *> m_records;
    QPointer<platform::ui::Sheet> m_sheet;
    QStackedWidget *m_stack = nullptr;
    QWidget *m_listView = nullptr;
    ListEditorTableView *m_tableView = nullptr;
    QPushButton *m_addButton = nullptr;
    QPushButton *m_deleteButton = nullptr;
    QPushButton *m_doneButton = nullptr;
    QMenu *m_contextMenu = nullptr;

private:
    friend class ListEditorNameDelegate;

    MacEditQDGenericListDelegate *m_delegate = nullptr;
    ListEditorNameDelegate *m_nameDelegate = nullptr;
    bool m_loadedWindowController = false;
    int m_clickedRow = -1;
};
