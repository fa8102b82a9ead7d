#include "Mac/Journal/MacAllTodosViewController.h"

#include "Classes/ToDo_Category.h"
#include "Mac/Journal/JournalRowActions.h"
#include "Mac/Journal/MacAddEditLogsViewController.h"
#include "Mac/Journal/MacAddEditTodosViewController.h"
#include "Mac/Journal/QDListItemModel.h"

#include "QuendelKit/Entities/ToDo.h"
#include "QuendelKit/Entities/ToDoTitle.h"

#include <QKeyEvent>

MacAllTodosViewController::MacAllTodosViewController(ContextPtr context, QWidget *parent)
    : JournalSectionViewController(
          Setup{
              .nibName = NibName,
              .windowTitle = QStringLiteral("Quendel - Todos"),
              .titleEntity = TitlesSidebarController::ToDoTitleEntity,
              .dateKey = QStringLiteral("todoStartDate"),
              .titleKey = QStringLiteral("todotitle"),
              .listName = ListName,
              .outlineName = QStringLiteral("allTodosOutlineView"),
              .fillerText = FillerText,
              .menuName = QStringLiteral("ToDo menu"),
              .emailLastInMenu = true,
              .recordNoun = QStringLiteral("ToDo"),
              .deleteDefaultsKey = DeleteToDoDefaultsKey,
              .emailSubjectFormat = QStringLiteral("Quendel ToDo - %1"),
              .noteWidthInset = NoteWidthInset,
              .contactPageTab = ContactPageToDosTab,
              .loadPageName = QStringLiteral("AllToDos"),
              .addEventName = QStringLiteral("ShowAddTodo"),
              .addEventPage = QStringLiteral("AllTodos"),
              .followsGroupChange = false,
          },
          std::make_unique<ToDosListDataSource>(context, nullptr), context, parent)
{
}

MacAllTodosViewController::~MacAllTodosViewController() = default;

ToDo *MacAllTodosViewController::reassignObject() const
{
    return static_cast<ToDo *>(reassignRecord());
}

ToDo *MacAllTodosViewController::todoAt(const QModelIndex &index) const
{
    return static_cast<ToDo *>(recordAt(index));
}

bool MacAllTodosViewController::isRecord(const platform::store::ManagedObject *object) const
{
    return dynamic_cast<const ToDo *>(object) != nullptr;
}

JournalSectionViewController::RecordFacts MacAllTodosViewController::factsOf(platform::store::ManagedObject *record) const
{
    auto *todo = static_cast<ToDo *>(record);
    const ToDoTitle *title = todo->todotitle();
    return {todo->todoStartDate(), todo->person(), title ? title->title() : QString(), todo->todoNote()};
}

void MacAllTodosViewController::setPersonOf(platform::store::ManagedObject *record, Person *person)
{
    static_cast<ToDo *>(record)->setPerson(person);
}

void MacAllTodosViewController::addRecordToEmailBody(platform::store::ManagedObject *record, QString &body) const
{
    ToDo_Category::addTodoToEmailBody(*static_cast<ToDo *>(record), body);
}

MacAddEditCommonController *MacAllTodosViewController::makeEditor(platform::store::ManagedObject *record, bool isClone)
{
    return new MacAddEditTodosViewController(static_cast<ToDo *>(record), isClone);
}

void MacAllTodosViewController::configureListModel(QDListItemModel *model)
{
    model->setRowCheckHandler([this](const QModelIndex &index) { checkboxSelected(index); });
}

void MacAllTodosViewController::spaceBarPressedWithEvent(QKeyEvent *event)
{
    const Qt::KeyboardModifiers modifiers = event->modifiers() & ~Qt::KeypadModifier;
    if (modifiers == Qt::AltModifier) {
        displayAddTodoIntoLogWithItem(targetIndex());
        return;
    }
    JournalSectionViewController::spaceBarPressedWithEvent(event);
}

// ---- Completion ----

void MacAllTodosViewController::markTodoAsComplete(const QModelIndex &index)
{
    JournalRowActions::markToDoDone(this, listModel(), index, todoAt(index));
}

void MacAllTodosViewController::displayAddTodoIntoLogWithItem(const QModelIndex &index)
{
    ToDo *todo = todoAt(index);
    if (!todo)
        return;
    auto *editor = new MacAddEditLogsViewController(nullptr, todo);
    editor->setDetailPerson(todo->person());
    editor->awakeFromNib();
    openSheet(editor);
    markTodoAsComplete(index);
}

void MacAllTodosViewController::checkboxSelected(const QModelIndex &index)
{
    JournalRowActions::offerLogForTickedToDo(
        this, listModel(), index, [this](const QModelIndex &row) { displayAddTodoIntoLogWithItem(row); },
        [this](const QModelIndex &row) { markTodoAsComplete(row); });
}
