#pragma once

#include "Mac/ContactPage/ContactJournalTabController.h"

#include "Classes/ToDosListDataSource.h"

#include "platform/core/NotificationCenter.h"

class ToDo;

// The ToDos tab of a contact's page: the contact's open to-dos in the Overdue, Next 7 Days and Upcoming
// sections, earliest first, re-sectioned as their days come. It adds, edits and clones to-dos in the to-do
// editor, completes one from its row's check box (offering a log for it first), deletes a to-do (asking
// first unless the user turned the question off) and opens a new log made from a to-do.
class ContactTodoViewControllerMac : public ContactJournalTabController
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

    ToDosListDataSource *todoListDataSource() const { return static_cast<ToDosListDataSource *>(listDataSource()); }

    KeyDelegateKinds keyDelegateKinds() const override
    {
        return KeyDelegateKind::CommonListViewMac | KeyDelegateKind::ContactTodoViewControllerMac;
    }

    int heightOfRowByItem(const QModelIndex &index) const override;

    void spaceBarPressedWithEvent(QKeyEvent *event) override;
    void doubleClickAction(const QModelIndex &index) override;
    void showAddTodoContactSheet(QObject *sender) override;
    // The row's check box was ticked: the offer of a log, or completion at once when the user said so.
    void checkboxSelected(const QModelIndex &index);
    // Completes the row's to-do, or moves a repeating one on to its next date; the box goes off shortly after.
    void markTodoAsComplete(const QModelIndex &index);
    // A new log for the to-do of `index`, in an editor sheet.
    void displayAddTodoIntoLogWithItem(const QModelIndex &index);
    void addTodoIntoLogFromKeyboard();
    void deleteSelectedTodo();

protected:
    bool isRecord(const platform::store::ManagedObject *object) const override;
    Person *personOf(platform::store::ManagedObject *record) const override;
    MacAddEditCommonController *makeEditor(platform::store::ManagedObject *record, bool isClone) override;

private:
    ToDo *todoAt(const QModelIndex &index) const;

    platform::core::ScopedObserver m_didSaveObserver;
};
