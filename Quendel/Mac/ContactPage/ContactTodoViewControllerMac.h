#pragma once

#include "Mac/ContactPage/CommonOutlineViewController.h"
#include "Mac/Journal/MacAddEditCommonController.h"
#include "Mac/Journal/QDListItemModel.h"

#include "Classes/ToDosListDataSource.h"

#include "platform/core/NotificationCenter.h"

#include <QPointer>

#include <memory>

class AddContactWindowController;
class ToDo;

// The ToDos tab of a contact's page: the contact's open to-dos in the Overdue, Next 7 Days and Upcoming
// sections, earliest first, re-sectioned as their days come. It adds, edits and clones to-dos in the to-do
// editor, completes one from its row's check box (offering a log for it first), deletes a to-do (asking
// first unless the user turned the question off) and opens a new log made from a to-do.
class ContactTodoViewControllerMac : public CommonOutlineViewController,
                                     public AddEditViewControllerDelegate,
                                     public QDListDataSourceDelegate
{
    Q_OBJECT
public:
    static inline const QString NibName = QStringLiteral("ContactTodoViewControllerMac");
    static inline const QString DeleteToDoDefaultsKey = QStringLiteral("defaults_delete_todo");
    static inline const QString CopyToDoToDiaryDefaultsKey = QStringLiteral("defaults_copy_todo_to_diary");
    static constexpr int TurnOffSwitchDelayMs = 500;
    static constexpr int EmptyNoteRowHeight = 70;
    static constexpr int LongNoteRowHeight = 80;
    static constexpr int NoteWidthInset = 45;

    explicit ContactTodoViewControllerMac(Person *person, QWidget *parent = nullptr);
    ~ContactTodoViewControllerMac() override;

    ToDosListDataSource *todoListDataSource() const { return m_source.get(); }
    QDListItemModel *listModel() const { return m_listModel; }

    KeyDelegateKinds keyDelegateKinds() const override
    {
        return KeyDelegateKind::CommonListViewMac | KeyDelegateKind::ContactTodoViewControllerMac;
    }

    int heightOfRowByItem(const QModelIndex &index) const override;

    void spaceBarPressedWithEvent(QKeyEvent *event) override;
    void doubleClickAction(const QModelIndex &index) override;
    void displayPopoverWithItem(const QModelIndex &index, bool replaceExistingPopover);
    void showAddTodoContactSheet(QObject *sender) override;
    void cloneObject(QObject *sender);
    bool canCloneRecords() const override { return true; }
    void cloneMenuItemSelected() override { cloneObject(nullptr); }
    // The row's check box was ticked: the offer of a log, or completion at once when the user said so.
    void checkboxSelected(const QModelIndex &index);
    // Completes the row's to-do, or moves a repeating one on to its next date; the box goes off shortly after.
    void markTodoAsComplete(const QModelIndex &index);
    // A new log for the to-do of `index`, in an editor sheet.
    void displayAddTodoIntoLogWithItem(const QModelIndex &index);
    void addTodoIntoLogFromKeyboard();
    void deleteSelectedTodo();
    void deleteMenuItem() { deleteSelectedRow(); }

    // AddEditViewControllerDelegate
    void finishedViewController(MacAddEditCommonController *editor, const std::optional<QVariantMap> &changes) override;
    void rightButtonCalledInPopoverController(MacAddEditCommonController *editor) override;
    void leftButtonCalledInPopoverController(MacAddEditCommonController *editor) override;

    // QDListDataSourceDelegate (after the item model has applied the change)
    void updatedSourceObjects() override;
    void insertedNewSectionToSource(CommonListData *header, qint64 headerIndex) override;
    void addedObject(CommonListData *, CommonListData *, qint64) override {}
    void deletedSection(CommonListData *, qint64) override {}
    void deletedObjectItem(CommonListData *, qint64, quint64) override {}
    void moveObjectInSection(CommonListData *, qint64, qint64) override {}
    void moveObjectFromSection(CommonListData *fromHeader, CommonListData *toHeader, qint64 fromHeaderIndex,
                               qint64 toHeaderIndex, qint64 fromIndexInSection, qint64 toIndexInSection) override;

private:
    ToDo *todoAt(const QModelIndex &index) const;
    QModelIndex adjacentDataRow(int direction) const;
    void openEditorSheet(ToDo *todo, bool isClone, Person *person);
    void turnOffSwitchLater(const QModelIndex &index);

    std::unique_ptr<ToDosListDataSource> m_source;
    QDListItemModel *m_listModel = nullptr;
    QPointer<AddContactWindowController> m_addWindowController;
    platform::core::ScopedObserver m_didSaveObserver;
};
