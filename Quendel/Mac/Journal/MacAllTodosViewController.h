#pragma once

#include "Mac/Journal/JournalSectionViewController.h"

#include "Classes/ToDosListDataSource.h"

class ToDo;

// The ToDos section of the main window: every open to-do of every contact in the Overdue, Next 7 Days and
// Upcoming sections, narrowed by the toolbar search, a date range and a to-do title. A to-do is ticked off
// from its row (with the offer of a log), edited in a popover that steps through the list, cloned, e-mailed
// or deleted, and its contact's page opened.
class MacAllTodosViewController : public JournalSectionViewController
{
    Q_OBJECT
public:
    static inline const QString NibName = QStringLiteral("MacAllTodosViewController");
    static inline const QString ListName = QStringLiteral("All ToDos");
    static inline const QString FillerText = QStringLiteral("No ToDos");
    static inline const QString DeleteToDoDefaultsKey = QStringLiteral("defaults_delete_todo");
    static inline const QString CopyToDoToDiaryDefaultsKey = QStringLiteral("defaults_copy_todo_to_diary");
    static constexpr int NoteWidthInset = 65;
    static constexpr int TurnOffSwitchDelayMs = 500;
    static constexpr int ContactPageToDosTab = 2;

    explicit MacAllTodosViewController(ContextPtr context, QWidget *parent = nullptr);
    ~MacAllTodosViewController() override;

    ToDosListDataSource *todoListDataSource() const { return static_cast<ToDosListDataSource *>(listDataSource()); }
    CustomNSOutlineView *allTodosOutlineView() const { return outlineView(); }

    KeyDelegateKinds keyDelegateKinds() const override { return KeyDelegateKind::CommonListViewMac; }

    // Option-Space turns the row's to-do into a log; plain Space opens or closes its editor.
    void spaceBarPressedWithEvent(QKeyEvent *event) override;
    void checkboxSelected(const QModelIndex &index);
    void markTodoAsComplete(const QModelIndex &index);
    void displayAddTodoIntoLogWithItem(const QModelIndex &index);
    // The toolbar's add button: the contact picker, then the new to-do's sheet for the chosen contact.
    void newTodosButtonPressed(QWidget *sender) { newRecordButtonPressed(sender); }
    ToDo *reassignObject() const;
    void deleteTodoItem(const QModelIndex &index) { deleteRecord(index); }

protected:
    bool isRecord(const platform::store::ManagedObject *object) const override;
    RecordFacts factsOf(platform::store::ManagedObject *record) const override;
    void setPersonOf(platform::store::ManagedObject *record, Person *person) override;
    void addRecordToEmailBody(platform::store::ManagedObject *record, QString &body) const override;
    MacAddEditCommonController *makeEditor(platform::store::ManagedObject *record, bool isClone) override;
    void configureListModel(QDListItemModel *model) override;

private:
    ToDo *todoAt(const QModelIndex &index) const;
};
