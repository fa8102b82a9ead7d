#pragma once

#include "Mac/ContactPage/CommonListViewMac.h"

#include <QPointer>

class CommonListData;
class CustomNSOutlineView;
class QDListDataSource;
class QDListDataSourceDelegate;
class QDListItemModel;
class QAction;
class QModelIndex;
class QStandardItem;
class QStandardItemModel;

namespace platform::store {
class ManagedObject;
class ManagedObjectContext;
}

// A contact-page pane whose list is a sectioned outline (the Logs and ToDos tabs): section headers with
// their records under them. It gives the default cells' heights and selection rules, deletes the row under
// the mouse, keeps the filler in place of an empty list, and sends a double click to the subclass.
class CommonOutlineViewController : public CommonListViewMac
{
    Q_OBJECT
public:
    // Items of the outline: a header is marked with CustomNSOutlineView::ItemIsTitleRole; a data row holds
    // its record under this role.
    static constexpr int DataObjectRole = Qt::UserRole + 0x7200;
    static constexpr int HeaderRowHeight = 30;
    static constexpr int DataRowHeight = 80;

    CommonOutlineViewController(const QString &nibName, Person *person, QWidget *parent = nullptr);
    ~CommonOutlineViewController() override;

    CustomNSOutlineView *outlineView() const { return m_outlineView; }
    QStandardItemModel *model() const { return m_model; }

    void awakeFromNib() override;

    // Rows of the list: a new section header, and a record under it.
    QStandardItem *appendSection(const QString &title);
    QStandardItem *appendRow(QStandardItem *section, const QString &text, platform::store::ManagedObject *record);

    // The delegate answers of the outline.
    static bool isGroupItem(const QModelIndex &index);
    bool shouldSelectItem(const QModelIndex &index) const { return !isGroupItem(index); }
    virtual int heightOfRowByItem(const QModelIndex &index) const;

    // The row a context-menu click was on (-1 for none); the selection counts when there is none.
    int clickedRow() const { return m_clickedRow; }
    void setClickedRow(int row) { m_clickedRow = row; }

    // Deletes the record of the row under the mouse and saves its context at once.
    virtual void deleteSelectedRow();
    // Context-menu commands are off for a header or without a row; others are on.
    virtual bool validateMenuItem(QAction *item) const;
    bool hasTableviewFirstSelection() const override;
    int arrangedObjectCount() const override;
    // The list was rebuilt: the filler stands in for an empty list; every section is expanded.
    virtual void updatedSourceObjects();
    // Shows the filler exactly while the list is empty.
    void refreshFillerText();
    // Rows added or removed one at a time never rebuild the list, so the filler follows the model itself.
    void followModelForFillerText(QAbstractItemModel *model);

    virtual void doubleClickAction(const QModelIndex &) {}

    // The list's context menu: Clone, Delete, Email and Reassign, acting on the row right-clicked. A
    // command the tab cannot carry out stays disabled.
    QAction *cloneMenuAction() const { return m_cloneAction; }
    QAction *deleteMenuAction() const { return m_deleteAction; }
    QAction *emailMenuAction() const { return m_emailAction; }
    QAction *reassignMenuAction() const { return m_reassignAction; }
    // Runs validateMenuItem for every item of the context menu (before it shows).
    void validateContextMenu();
    virtual bool canCloneRecords() const { return false; }
    virtual void cloneMenuItemSelected() {}
    // Hands the log or to-do of the row under the mouse to the mail program.
    void emailMenuItemSelected();

protected:
    // The context a tab's list reads: the one its contact lives in, or none for a contact without one.
    static std::shared_ptr<platform::store::ManagedObjectContext> contextOf(Person *person);
    int targetRow() const;
    // Builds the context menu; called once by the tabs that have one.
    void setupContextMenu();
    bool eventFilter(QObject *watched, QEvent *event) override;

    // Shows a list data source in the outline: the pane's row heights, the filler standing in for an empty
    // list, and every change of the source passed on to `forward` after the model has applied it. The source
    // starts listing one event-loop turn after awakeFromNib, so the pane is on screen before its first fetch;
    // the pane's destructor must call detachListDataSource while the source still exists.
    QDListItemModel *showListDataSource(QDListDataSource *source, QDListDataSourceDelegate *forward,
                                        std::function<QString(const CommonListData &)> rowText,
                                        const QString &fillerText);
    void detachListDataSource();
    // A dated row: "date · title", with the note on a second line.
    static QString datedRowText(const QDateTime &date, const QString &title, const QString &note);

private:
    CustomNSOutlineView *m_outlineView = nullptr;
    QStandardItemModel *m_model = nullptr;
    QDListDataSource *m_listSource = nullptr;
    QDListItemModel *m_listSourceModel = nullptr;
    int m_clickedRow = -1;
    QAction *m_cloneAction = nullptr;
    QAction *m_deleteAction = nullptr;
    QAction *m_emailAction = nullptr;
    QAction *m_reassignAction = nullptr;
};
