#include "Mac/ContactPage/ContactTodoViewControllerMac.h"

#include "Mac/Journal/JournalRowActions.h"
#include "Mac/Journal/MacAddEditLogsViewController.h"
#include "Mac/Journal/MacAddEditTodosViewController.h"
#include "Mac/Shell/CustomNSOutlineView.h"

#include "QuendelKit/Entities/Person.h"
#include "QuendelKit/Entities/ToDo.h"
#include "QuendelKit/Entities/ToDoTitle.h"

#include "platform/store/StoreNotifications.h"
#include "platform/ui/Popover.h"

#include <QKeyEvent>

ContactTodoViewControllerMac::ContactTodoViewControllerMac(Person *person, QWidget *parent)
    : ContactJournalTabController(NibName, person, parent)
{
    setObjectName(NibName);
    showRecords(
        std::make_unique<ToDosListDataSource>(contextOf(person), person),
        [](const CommonListData &row) {
            auto *todo = dynamic_cast<ToDo *>(row.dataObject());
            if (!todo)
                return QString();
            return datedRowText(todo->todoStartDate(), todo->todotitle() ? todo->todotitle()->title() : QString(),
                                todo->todoNote());
        },
        QStringLiteral("No ToDos"), QStringLiteral("ToDos"));
    listModel()->setRowCheckHandler([this](const QModelIndex &index) { checkboxSelected(index); });
    // A row whose to-do changed in place (a new date in the same section) shows its new texts.
    if (const auto context = contextOf(person))
        m_didSaveObserver = platform::core::ScopedObserver(
            platform::store::ManagedObjectContextDidSaveNotification, context.get(),
            [this](const platform::core::Notification &) { outlineView()->viewport()->update(); });
    setupContextMenu();
    awakeFromNib();
}

ContactTodoViewControllerMac::~ContactTodoViewControllerMac() = default;

bool ContactTodoViewControllerMac::isRecord(const platform::store::ManagedObject *object) const
{
    return dynamic_cast<const ToDo *>(object) != nullptr;
}

Person *ContactTodoViewControllerMac::personOf(platform::store::ManagedObject *record) const
{
    return static_cast<ToDo *>(record)->person();
}

MacAddEditCommonController *ContactTodoViewControllerMac::makeEditor(platform::store::ManagedObject *record,
                                                                     bool isClone)
{
    return new MacAddEditTodosViewController(static_cast<ToDo *>(record), isClone);
}

ToDo *ContactTodoViewControllerMac::todoAt(const QModelIndex &index) const
{
    return static_cast<ToDo *>(recordAt(index));
}

int ContactTodoViewControllerMac::heightOfRowByItem(const QModelIndex &index) const
{
    CommonListData *item = listModel()->itemForIndex(index);
    if (!item || item->isGroup())
        return HeaderRowHeight;
    ToDo *todo = todoAt(index);
    const QString note = todo ? todo->todoNote() : QString();
    return QDListItemModel::noteNeedsLongRow(note, font(), outlineView()->viewport()->width() - NoteWidthInset)
               ? LongNoteRowHeight
               : EmptyNoteRowHeight;
}

void ContactTodoViewControllerMac::spaceBarPressedWithEvent(QKeyEvent *event)
{
    const Qt::KeyboardModifiers modifiers = event->modifiers() & ~Qt::KeypadModifier;
    if (modifiers == Qt::AltModifier) {
        addTodoIntoLogFromKeyboard();
        return;
    }
    if (modifiers != Qt::NoModifier) {
        event->ignore();
        return;
    }
    if (mypopover() && mypopover()->isShown())
        mypopover()->closePopover();
}

void ContactTodoViewControllerMac::displayAddTodoIntoLogWithItem(const QModelIndex &index)
{
    ToDo *todo = todoAt(index);
    if (!todo)
        return;
    auto *editor = new MacAddEditLogsViewController(nullptr, todo);
    editor->setDetailPerson(todo->person());
    editor->setDelegate(this);
    editor->awakeFromNib();
    openSheet(editor, {});
    // The log editor holds its own copy of the to-do's texts, so the to-do is done as the sheet opens.
    markTodoAsComplete(index);
}

// ---- Editor ----

void ContactTodoViewControllerMac::doubleClickAction(const QModelIndex &index)
{
    if (todoAt(index))
        displayPopoverWithItem(index, true);
}

void ContactTodoViewControllerMac::showAddTodoContactSheet(QObject *)
{
    openEditorSheet(nullptr, false, detailPerson());
}

// ---- Completion ----

void ContactTodoViewControllerMac::markTodoAsComplete(const QModelIndex &index)
{
    JournalRowActions::markToDoDone(this, listModel(), index, todoAt(index));
}

void ContactTodoViewControllerMac::checkboxSelected(const QModelIndex &index)
{
    JournalRowActions::offerLogForTickedToDo(
        this, listModel(), index, [this](const QModelIndex &row) { displayAddTodoIntoLogWithItem(row); },
        [this](const QModelIndex &row) { markTodoAsComplete(row); });
}

void ContactTodoViewControllerMac::addTodoIntoLogFromKeyboard()
{
    const QModelIndex current =
        outlineView()->selectionModel() ? outlineView()->selectionModel()->currentIndex() : QModelIndex();
    displayAddTodoIntoLogWithItem(current);
}

void ContactTodoViewControllerMac::deleteSelectedTodo()
{
    confirmDeleteSelectedRow(QStringLiteral("ToDo"), DeleteToDoDefaultsKey);
}
