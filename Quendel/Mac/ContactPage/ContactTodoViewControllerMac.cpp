#include "Mac/ContactPage/ContactTodoViewControllerMac.h"

#include "Mac/Contacts/AddContactWindowController.h"
#include "Mac/Shell/CustomNSOutlineView.h"
#include "Mac/Journal/MacAddEditLogsViewController.h"
#include "Mac/Journal/MacAddEditTodosViewController.h"
#include "Classes/ToDo_Category.h"

#include "QuendelKit/Entities/Person.h"
#include "QuendelKit/Entities/ToDo.h"
#include "QuendelKit/Entities/ToDoTitle.h"

#include "platform/core/Dispatch.h"
#include "platform/store/StoreNotifications.h"
#include "platform/core/UserDefaults.h"
#include "platform/ui/AlertPresenter.h"
#include "platform/ui/Popover.h"

#include <QFontMetrics>
#include <QKeyEvent>
#include <QLabel>
#include <QLocale>
#include <QPointer>

ContactTodoViewControllerMac::ContactTodoViewControllerMac(Person *person, QWidget *parent)
    : CommonOutlineViewController(NibName, person, parent)
{
    setObjectName(NibName);
    m_source = std::make_unique<ToDosListDataSource>(contextOf(person), person);
    m_listModel = showListDataSource(
        m_source.get(), this,
        [](const CommonListData &row) {
            auto *todo = dynamic_cast<ToDo *>(row.dataObject());
            if (!todo)
                return QString();
            return datedRowText(todo->todoStartDate(), todo->todotitle() ? todo->todotitle()->title() : QString(),
                                todo->todoNote());
        },
        QStringLiteral("No ToDos"));
    outlineView()->setAccessibleName(QStringLiteral("ToDos"));
    m_listModel->setRowCheckHandler([this](const QModelIndex &index) { checkboxSelected(index); });
    // A row whose to-do changed in place (a new date in the same section) shows its new texts.
    if (const auto context = contextOf(person))
        m_didSaveObserver = platform::core::ScopedObserver(
            platform::store::ManagedObjectContextDidSaveNotification, context.get(),
            [this](const platform::core::Notification &) { outlineView()->viewport()->update(); });
    setupContextMenu();
    awakeFromNib();
}

ContactTodoViewControllerMac::~ContactTodoViewControllerMac()
{
    detachListDataSource();
}

ToDo *ContactTodoViewControllerMac::todoAt(const QModelIndex &index) const
{
    CommonListData *item = m_listModel->itemForIndex(index);
    return item && !item->isGroup() ? dynamic_cast<ToDo *>(item->dataObject()) : nullptr;
}

int ContactTodoViewControllerMac::heightOfRowByItem(const QModelIndex &index) const
{
    CommonListData *item = m_listModel->itemForIndex(index);
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
    auto *controller = new AddContactWindowController(AddContactWindowController::WindowNibName, this);
    controller->setContentViewController(editor);
    m_addWindowController = controller;
    controller->beginSheetOnWindow(this);
    // The log editor holds its own copy of the to-do's texts, so the to-do is done as the sheet opens.
    markTodoAsComplete(index);
}

// ---- Editor ----

void ContactTodoViewControllerMac::doubleClickAction(const QModelIndex &index)
{
    if (todoAt(index))
        displayPopoverWithItem(index, true);
}

void ContactTodoViewControllerMac::displayPopoverWithItem(const QModelIndex &index, bool replaceExistingPopover)
{
    ToDo *todo = todoAt(index);
    if (!todo)
        return;
    auto *editor = new MacAddEditTodosViewController(todo, false);
    editor->setDetailPerson(todo->person());
    editor->setDelegate(this);
    editor->awakeFromNib();
    if (replaceExistingPopover && mypopover() && mypopover()->isShown())
        mypopover()->closePopover();
    outlineView()->selectionModel()->select(index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    outlineView()->selectionModel()->setCurrentIndex(index, QItemSelectionModel::NoUpdate);
    outlineView()->scrollTo(index);
    platform::ui::Popover *popover = createPopoverWithViewController(editor);
    setMypopover(popover);
    popover->showRelativeTo(outlineView()->visualRect(index), outlineView()->viewport(),
                            platform::ui::Popover::Edge::Right);
}

void ContactTodoViewControllerMac::openEditorSheet(ToDo *todo, bool isClone, Person *person)
{
    auto *editor = new MacAddEditTodosViewController(todo, isClone);
    editor->setDetailPerson(person);
    editor->setDelegate(this);
    editor->awakeFromNib();
    auto *controller = new AddContactWindowController(AddContactWindowController::WindowNibName, this);
    controller->setContentViewController(editor);
    m_addWindowController = controller;
    controller->beginSheetOnWindow(this, [](int) {});
}

void ContactTodoViewControllerMac::showAddTodoContactSheet(QObject *)
{
    openEditorSheet(nullptr, false, detailPerson());
}

void ContactTodoViewControllerMac::cloneObject(QObject *)
{
    const int row = targetRow();
    ToDo *todo = row >= 0 ? todoAt(outlineView()->indexForRow(row)) : nullptr;
    if (todo)
        openEditorSheet(todo, true, todo->person());
}

QModelIndex ContactTodoViewControllerMac::adjacentDataRow(int direction) const
{
    const QItemSelectionModel *selection = outlineView()->selectionModel();
    return m_listModel->adjacentDataRow(selection ? selection->currentIndex() : QModelIndex(), direction);
}

void ContactTodoViewControllerMac::rightButtonCalledInPopoverController(MacAddEditCommonController *)
{
    const QModelIndex next = adjacentDataRow(+1);
    if (next.isValid())
        displayPopoverWithItem(next, false);
}

void ContactTodoViewControllerMac::leftButtonCalledInPopoverController(MacAddEditCommonController *)
{
    const QModelIndex previous = adjacentDataRow(-1);
    if (previous.isValid())
        displayPopoverWithItem(previous, false);
}

// ---- Completion ----

void ContactTodoViewControllerMac::turnOffSwitchLater(const QModelIndex &index)
{
    const CommonListData *item = m_listModel->itemForIndex(index);
    QPointer<QDListItemModel> model(m_listModel);
    platform::core::dispatchAfter(TurnOffSwitchDelayMs, [model, item] {
        if (model)
            model->setRowTicked(item, false);
    });
}

void ContactTodoViewControllerMac::markTodoAsComplete(const QModelIndex &index)
{
    ToDo *todo = todoAt(index);
    if (!todo)
        return;
    turnOffSwitchLater(index);
    if (!ToDo_Category::markDone(*todo)) {
        platform::ui::AlertSpec alert;
        alert.messageText = QStringLiteral("Unable to save");
        alert.informativeText = QStringLiteral("The ToDo could not be marked as done. Please try again.");
        platform::ui::AlertPresenter::shared().beginSheet(alert, window());
    }
}

void ContactTodoViewControllerMac::checkboxSelected(const QModelIndex &index)
{
    auto defaults = platform::core::UserDefaults::standardUserDefaults();
    if (defaults->objectForKey(CopyToDoToDiaryDefaultsKey).isValid() && defaults->boolForKey(CopyToDoToDiaryDefaultsKey)) {
        markTodoAsComplete(index);
        return;
    }
    platform::ui::AlertSpec alert;
    alert.informativeText = QStringLiteral("Do you want to add a Log for this event?");
    alert.buttonTitles = {QStringLiteral("Add Log"), QStringLiteral("No"), QStringLiteral("Cancel")};
    alert.showsSuppressionButton = true;
    QPointer<ContactTodoViewControllerMac> self(this);
    const QPersistentModelIndex row(index);
    platform::ui::AlertPresenter::shared().beginSheet(alert, window(), [self, row](const platform::ui::AlertResult &result) {
        if (!self)
            return;
        if (result.returnCode() == platform::ui::AlertFirstButtonReturn)
            self->displayAddTodoIntoLogWithItem(row);
        else if (result.returnCode() == platform::ui::AlertSecondButtonReturn)
            self->markTodoAsComplete(row);
        else
            self->m_listModel->setRowTicked(self->m_listModel->itemForIndex(row), false);
        if (result.suppressed)
            platform::core::UserDefaults::standardUserDefaults()->setBool(true, CopyToDoToDiaryDefaultsKey);
    });
}

void ContactTodoViewControllerMac::addTodoIntoLogFromKeyboard()
{
    const QModelIndex current =
        outlineView()->selectionModel() ? outlineView()->selectionModel()->currentIndex() : QModelIndex();
    displayAddTodoIntoLogWithItem(current);
}

void ContactTodoViewControllerMac::deleteSelectedTodo()
{
    auto defaults = platform::core::UserDefaults::standardUserDefaults();
    if (defaults->objectForKey(DeleteToDoDefaultsKey).isValid() && defaults->boolForKey(DeleteToDoDefaultsKey)) {
        deleteSelectedRow();
        return;
    }
    platform::ui::AlertSpec alert;
    alert.messageText = QStringLiteral("Delete ToDo");
    alert.informativeText = QStringLiteral("Do you want to delete this ToDo from your records?");
    alert.buttonTitles = {QStringLiteral("Delete"), QStringLiteral("No")};
    alert.showsSuppressionButton = true;
    QPointer<ContactTodoViewControllerMac> self(this);
    platform::ui::AlertPresenter::shared().beginSheet(alert, window(), [self](const platform::ui::AlertResult &result) {
        if (!self)
            return;
        if (result.returnCode() == platform::ui::AlertFirstButtonReturn)
            self->deleteSelectedRow();
        if (result.suppressed)
            platform::core::UserDefaults::standardUserDefaults()->setBool(true, DeleteToDoDefaultsKey);
    });
}

void ContactTodoViewControllerMac::finishedViewController(MacAddEditCommonController *,
                                                          const std::optional<QVariantMap> &)
{
    if (mypopover() && mypopover()->isShown())
        mypopover()->closePopover();
}

void ContactTodoViewControllerMac::updatedSourceObjects()
{
    CommonOutlineViewController::updatedSourceObjects();
}

void ContactTodoViewControllerMac::insertedNewSectionToSource(CommonListData *header, qint64)
{
    outlineView()->expand(m_listModel->indexForItem(header));
}

void ContactTodoViewControllerMac::moveObjectFromSection(CommonListData *, CommonListData *toHeader, qint64, qint64,
                                                         qint64, qint64)
{
    outlineView()->expand(m_listModel->indexForItem(toHeader));
}
