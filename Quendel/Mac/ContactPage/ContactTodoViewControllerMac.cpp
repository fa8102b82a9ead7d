#include "Mac/ContactPage/ContactTodoViewControllerMac.h"

#include "Mac/Contacts/AddContactWindowController.h"
#include "Mac/Shell/CustomNSOutlineView.h"
#include "Mac/Journal/MacAddEditLogsViewController.h"

#include "QuendelKit/Entities/Person.h"
#include "QuendelKit/Entities/ToDo.h"
#include "QuendelKit/Entities/ToDoTitle.h"

#include "platform/core/Dispatch.h"
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
    if (note.isEmpty())
        return EmptyNoteRowHeight;
    const int width = std::max(1, outlineView()->viewport()->width() - NoteWidthInset);
    const QRect bounds = QFontMetrics(font()).boundingRect(QRect(0, 0, width, 1000), Qt::TextWordWrap, note);
    return bounds.height() < 18 ? EmptyNoteRowHeight : LongNoteRowHeight;
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
