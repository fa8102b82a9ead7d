#pragma once

#include "Mac/ContactPage/CommonOutlineViewController.h"
#include "Mac/Journal/MacAddEditCommonController.h"
#include "Mac/Journal/QDListItemModel.h"

#include "Classes/LogsListDataSource.h"

#include <QPointer>

#include <memory>

class AddContactWindowController;
class CommonListCellView;
class Log;

// The Logs tab of a contact's page: the contact's logs in month sections, newest first. It opens a log in
// the log editor in a popover by its row, adds and clones logs in an editor sheet, and deletes a log,
// asking first unless the user turned the question off. New and changed rows arrive through the list
// model when the main context saves.
class ContactLogsViewControllerMac : public CommonOutlineViewController,
                                     public AddEditViewControllerDelegate,
                                     public QDListDataSourceDelegate
{
    Q_OBJECT
public:
    static inline const QString NibName = QStringLiteral("ContactLogsViewControllerMac");
    static inline const QString DeleteLogDefaultsKey = QStringLiteral("defaults_delete_log");
    static constexpr int EmptyNoteRowHeight = 70;
    static constexpr int OneLineNoteRowHeight = 70;
    static constexpr int LongNoteRowHeight = 80;
    static constexpr int NoteWidthInset = 25;

    explicit ContactLogsViewControllerMac(Person *person, QWidget *parent = nullptr);
    ~ContactLogsViewControllerMac() override;

    LogsListDataSource *logsListDataSource() const { return m_source.get(); }
    QDListItemModel *listModel() const { return m_listModel; }
    QPointer<AddContactWindowController> addWindowController() const { return m_addWindowController; }

    KeyDelegateKinds keyDelegateKinds() const override
    {
        return KeyDelegateKind::CommonListViewMac | KeyDelegateKind::ContactLogsViewControllerMac;
    }

    int heightOfRowByItem(const QModelIndex &index) const override;
    // The height a row needs for its note in a cell of width `cellWidth`.
    int calculateIdealHeightForCell(CommonListCellView *cell, const QModelIndex &index, int cellWidth) const;

    void doubleClickAction(const QModelIndex &index) override;
    void displayPopoverWithItem(const QModelIndex &index, bool replaceExistingPopover);
    void spaceBarPressedWithEvent(QKeyEvent *event) override;
    void showAddLogContactSheet(QObject *sender) override;
    void cloneObject(QObject *sender);
    bool canCloneRecords() const override { return true; }
    void cloneMenuItemSelected() override { cloneObject(nullptr); }
    void deleteSelectedLog();
    void deleteMenuItem() { deleteSelectedRow(); }

    // AddEditViewControllerDelegate
    void finishedViewController(MacAddEditCommonController *editor, const std::optional<QVariantMap> &changes) override;
    void rightButtonCalledInPopoverController(MacAddEditCommonController *editor) override;
    void leftButtonCalledInPopoverController(MacAddEditCommonController *editor) override;

    // QDListDataSourceDelegate (after the item model has applied the change)
    void updatedSourceObjects() override;
    void insertedNewSectionToSource(CommonListData *header, qint64 headerIndex) override;
    void addedObject(CommonListData *row, CommonListData *header, qint64 index) override {}
    void deletedSection(CommonListData *header, qint64 index) override {}
    void deletedObjectItem(CommonListData *row, qint64 section, quint64 itemIndex) override {}
    void moveObjectInSection(CommonListData *header, qint64 fromIndex, qint64 toIndex) override {}
    void moveObjectFromSection(CommonListData *fromHeader, CommonListData *toHeader, qint64 fromHeaderIndex,
                               qint64 toHeaderIndex, qint64 fromIndexInSection, qint64 toIndexInSection) override;

private:
    Log *logAt(const QModelIndex &index) const;
    // The data row after (+1) or before (-1) the selected one, passing over section headers.
    QModelIndex adjacentDataRow(int direction) const;
    void openEditorSheet(Log *log, bool isClone, Person *person);

    std::unique_ptr<LogsListDataSource> m_source;
    QDListItemModel *m_listModel = nullptr;
    QPointer<AddContactWindowController> m_addWindowController;
    mutable std::unique_ptr<CommonListCellView> m_prototypeCell;
};
