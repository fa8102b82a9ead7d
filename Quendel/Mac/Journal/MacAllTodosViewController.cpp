#include "Mac/Journal/MacAllTodosViewController.h"
#include "Classes/EmailHandoff.h"

#include "AppDelegate.h"
#include "Classes/ToDo_Category.h"
#include "Mac/Contacts/AddContactWindowController.h"
#include "Mac/Journal/MacAddEditLogsViewController.h"
#include "Mac/Journal/MacAddEditTodosViewController.h"
#include "Mac/Journal/QDListItemModel.h"
#include "Mac/Shell/CustomNSOutlineView.h"
#include "Mac/Shell/PlainTextLabel.h"
#include "SharedAppGlobals.h"

#include "QuendelKit/Entities/Person.h"
#include "QuendelKit/Entities/ToDo.h"
#include "QuendelKit/Entities/ToDoTitle.h"

#include "platform/core/Dispatch.h"
#include "platform/core/UserDefaults.h"
#include "platform/store/ManagedObjectContext.h"
#include "platform/store/StoreNotifications.h"
#include "platform/ui/AlertPresenter.h"
#include "platform/ui/Popover.h"

#include <QContextMenuEvent>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QLocale>
#include <QHBoxLayout>
#include <QMenu>
#include <QVBoxLayout>

using platform::store::Predicate;

namespace {

const QString TodoStartDateKey = QStringLiteral("todoStartDate");

bool defaultsSay(const QString &key)
{
    auto defaults = platform::core::UserDefaults::standardUserDefaults();
    return defaults->objectForKey(key).isValid() && defaults->boolForKey(key);
}

} // namespace

MacAllTodosViewController::MacAllTodosViewController(ContextPtr context, QWidget *parent)
    : MainWindowManagerViewController(NibName, context, parent)
{
    setObjectName(NibName);
    setWindowTitle(QStringLiteral("Quendel - Todos"));
    m_source = std::make_unique<ToDosListDataSource>(context, nullptr);
}

MacAllTodosViewController::~MacAllTodosViewController()
{
    if (m_source)
        m_source->setDelegate(nullptr);
}

void MacAllTodosViewController::loadView()
{
    auto *outer = new QHBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->setSpacing(0);
    m_sidebar = new TitlesSidebarController(TitlesSidebarController::ToDoTitleEntity, managedObjectContext(), this);
    m_sidebar->setDelegate(this);
    m_sidebar->setMinimumWidth(220);
    m_sidebar->setMaximumWidth(300);
    outer->addWidget(m_sidebar);
    auto *mainOuterView = new QWidget(this);
    mainOuterView->setObjectName(QStringLiteral("mainOuterView"));
    outer->addWidget(mainOuterView, 1);
    auto *layout = new QVBoxLayout(mainOuterView);
    layout->setContentsMargins(0, 0, 0, 0);
    m_outline = new CustomNSOutlineView(mainOuterView);
    m_outline->setObjectName(QStringLiteral("allTodosOutlineView"));
    m_outline->setAccessibleName(ListName);
    m_outline->setHeaderHidden(true);
    m_outline->setRootIsDecorated(false);
    m_outline->setItemsExpandable(false);
    m_outline->setUniformRowHeights(false);
    m_outline->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_outline->setDelegate(this);
    m_model = new QDListItemModel(m_source.get(), this);
    m_model->setRoleAliases(CustomNSOutlineView::ItemIsTitleRole, -1);
    m_model->setRowText([](const CommonListData &row) {
        auto *todo = dynamic_cast<ToDo *>(row.dataObject());
        if (!todo)
            return QString();
        QStringList parts{QLocale().toString(todo->todoStartDate().toLocalTime(), QLocale::ShortFormat)};
        if (const Person *person = todo->person(); person && !person->displayName().isEmpty())
            parts << person->displayName();
        if (const ToDoTitle *title = todo->todotitle(); title && !title->title().isEmpty())
            parts << title->title();
        QString text = parts.join(QStringLiteral(" \u00b7 "));
        if (!todo->todoNote().isEmpty())
            text += QLatin1Char('\n') + todo->todoNote();
        return text;
    });
    m_model->setRowHeight([this](const QModelIndex &index) { return heightOfRowByItem(index); });
    m_model->setRowCheckHandler([this](const QModelIndex &index) { checkboxSelected(index); });
    m_model->setForwardDelegate(this);
    m_outline->setModel(m_model);
    layout->addWidget(m_outline);
    m_filler = new PlainTextLabel(FillerText, mainOuterView);
    m_filler->setObjectName(QStringLiteral("fillerText"));
    m_filler->setAlignment(Qt::AlignCenter);
    m_filler->hide();
    layout->addWidget(m_filler);
    setFillerTextView(m_filler);

    auto *menu = new QMenu(this);
    menu->setObjectName(QStringLiteral("cellContextMenu"));
    menu->setAccessibleName(QStringLiteral("ToDo menu"));
    QAction *contact = menu->addAction(QStringLiteral("Show Contact"), this, [this] { showContactPage(targetIndex()); });
    QAction *reassign = menu->addAction(QStringLiteral("Reassign"), this, [this] { reassignMenuItemSelected(); });
    QAction *clone = menu->addAction(QStringLiteral("Clone"), this, [this] { cloneObject(nullptr); });
    QAction *remove = menu->addAction(QStringLiteral("Delete"), this, [this] { performDelete(nullptr); });
    QAction *email = menu->addAction(QStringLiteral("Email"), this, [this] {
        if (ToDo *todo = todoAt(targetIndex())) {
            QString body;
            ToDo_Category::addTodoToEmailBody(*todo, body);
            EmailHandoff::sendEmail(
                QStringLiteral("Quendel ToDo - %1").arg(todo->person() ? todo->person()->displayName() : QString()),
                body, {}, {}, true, false);
        }
    });
    m_outline->setMenu(menu);
    m_outline->viewport()->installEventFilter(this);
    connect(menu, &QMenu::aboutToShow, this, [this, contact, reassign, clone, remove, email] {
        const bool onToDo = todoAt(targetIndex()) != nullptr;
        for (QAction *action : {contact, reassign, clone, remove, email})
            action->setEnabled(onToDo);
    });
    connect(menu, &QMenu::aboutToHide, this,
            [this] { QMetaObject::invokeMethod(this, [this] { m_clickedIndex = QModelIndex(); }, Qt::QueuedConnection); });
    connect(m_outline, &QAbstractItemView::doubleClicked, this, &MacAllTodosViewController::doubleClickAction);
    // A row whose to-do changed in place (a new date in the same section) shows its new texts.
    if (managedObjectContext())
        m_didSaveObserver = platform::core::ScopedObserver(
            platform::store::ManagedObjectContextDidSaveNotification, managedObjectContext().get(),
            [this](const platform::core::Notification &) { m_outline->viewport()->update(); });
}

bool MacAllTodosViewController::eventFilter(QObject *watched, QEvent *event)
{
    // The row under the mouse is the one the menu's commands act on, and it becomes the selected row.
    if (m_outline && watched == m_outline->viewport() && event->type() == QEvent::ContextMenu) {
        m_clickedIndex = m_outline->indexAt(static_cast<QContextMenuEvent *>(event)->pos());
        if (todoAt(m_clickedIndex))
            m_outline->selectionModel()->setCurrentIndex(m_clickedIndex, QItemSelectionModel::ClearAndSelect
                                                                             | QItemSelectionModel::Rows);
    }
    return MainWindowManagerViewController::eventFilter(watched, event);
}

void MacAllTodosViewController::awakeFromNib()
{
    if (m_observing)
        return;
    m_observing = true;
    QPointer<MacAllTodosViewController> self(this);
    platform::core::dispatchAsyncMain([self] {
        if (!self || !self->m_source)
            return;
        SharedAppGlobals::sharedAppGlobals().logAnalyticsEvent(QStringLiteral("MainWindowLoad"),
                                                               {{QStringLiteral("Page"), QStringLiteral("AllToDos")}});
        self->m_source->setDelegate(self->m_model);
        self->m_source->initializeObserver();
    });
}

ToDo *MacAllTodosViewController::todoAt(const QModelIndex &index) const
{
    CommonListData *item = m_model ? m_model->itemForIndex(index) : nullptr;
    return item && !item->isGroup() ? dynamic_cast<ToDo *>(item->dataObject()) : nullptr;
}

QModelIndex MacAllTodosViewController::targetIndex() const
{
    return QDListItemModel::clickedOrSelectedRow(m_outline, m_clickedIndex);
}

int MacAllTodosViewController::heightOfRowByItem(const QModelIndex &index) const
{
    CommonListData *item = m_model->itemForIndex(index);
    if (!item || item->isGroup())
        return HeaderRowHeight;
    ToDo *todo = todoAt(index);
    const QString note = todo ? todo->todoNote() : QString();
    return QDListItemModel::noteNeedsLongRow(note, font(), m_outline->viewport()->width() - NoteWidthInset)
               ? LongRowHeight
               : ShortRowHeight;
}

// ---- Filters ----

void MacAllTodosViewController::applyFilters()
{
    m_source->setPredicateAndUpdateList(combinedFilterPredicate());
}

void MacAllTodosViewController::searchResultsWithString(const QString &text)
{
    if (text.isEmpty())
        setSearchPredicate(std::nullopt);
    else
        setSearchPredicate(m_source->baseSearchPredicateWithSearch(text));
    applyFilters();
}

void MacAllTodosViewController::selectedDateRangeWithStartDate(const QDateTime &start, const QDateTime &end)
{
    if (start.isValid() && end.isValid()) {
        // Both bounds are left out.
        setDateFilterPredicate(
            Predicate::andOf({Predicate::greater(TodoStartDateKey, start), Predicate::less(TodoStartDateKey, end)}));
    } else {
        setDateFilterPredicate(std::nullopt);
        if (!start.isValid() && !end.isValid())
            setTitleFilterPredicate(std::nullopt);
    }
    applyFilters();
}

void MacAllTodosViewController::selectedTitle(platform::store::ManagedObject *title)
{
    if (title)
        setTitleFilterPredicate(Predicate::equal(QStringLiteral("todotitle"), title));
    else
        setTitleFilterPredicate(std::nullopt);
    applyFilters();
}

void MacAllTodosViewController::prepareForDBRestore(const platform::core::Notification &)
{
    if (m_outline && m_outline->selectionModel())
        m_outline->selectionModel()->clear();
    setDateFilterPredicate(std::nullopt);
    setTitleFilterPredicate(std::nullopt);
    setSearchPredicate(std::nullopt);
    setManagedObjectContext(nullptr);
    if (m_sidebar)
        m_sidebar->prepareForDBRestore();
}

void MacAllTodosViewController::databaseRestoredNotification(const platform::core::Notification &notification)
{
    auto *context = static_cast<platform::store::ManagedObjectContext *>(const_cast<void *>(notification.object));
    if (!context)
        return;
    setManagedObjectContext(context->shared_from_this());
    if (m_sidebar)
        m_sidebar->databaseRestored(managedObjectContext());
}

// ---- List changes ----

void MacAllTodosViewController::refreshFillerText()
{
    const bool empty = m_source->arrangedObjects().isEmpty() && !combinedFilterPredicate().has_value();
    m_filler->setVisible(empty);
    m_outline->setVisible(!empty);
    setShowingFillerText(empty);
}

void MacAllTodosViewController::updatedSourceObjects()
{
    refreshFillerText();
    m_outline->expandAll();
}

void MacAllTodosViewController::insertedNewSectionToSource(CommonListData *header, qint64)
{
    if (showingFillerText())
        refreshFillerText();
    m_outline->expand(m_model->indexForItem(header));
}

void MacAllTodosViewController::moveObjectFromSection(CommonListData *, CommonListData *toHeader, qint64, qint64,
                                                      qint64, qint64)
{
    m_outline->expand(m_model->indexForItem(toHeader));
}

// ---- Editor ----

void MacAllTodosViewController::doubleClickAction(const QModelIndex &index)
{
    if (todoAt(index))
        displayPopoverWithItem(index, true);
}

void MacAllTodosViewController::displayPopoverWithItem(const QModelIndex &index, bool replaceExistingPopover)
{
    ToDo *todo = todoAt(index);
    if (!todo)
        return;
    auto *editor = new MacAddEditTodosViewController(todo, false);
    editor->setDetailPerson(todo->person());
    editor->setDelegate(this);
    editor->awakeFromNib();
    if (replaceExistingPopover && contentPopover() && contentPopover()->isShown())
        contentPopover()->closePopover();
    m_outline->selectionModel()->select(index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    m_outline->selectionModel()->setCurrentIndex(index, QItemSelectionModel::NoUpdate);
    m_outline->scrollTo(index);
    platform::ui::Popover *popover = createPopoverWithViewController(editor);
    setContentPopover(popover);
    popover->showRelativeTo(m_outline->visualRect(index), m_outline->viewport(), platform::ui::Popover::Edge::Right);
}

void MacAllTodosViewController::finishedViewController(MacAddEditCommonController *, const std::optional<QVariantMap> &)
{
    if (contentPopover() && contentPopover()->isShown())
        contentPopover()->closePopover();
}

QModelIndex MacAllTodosViewController::adjacentDataRow(int direction) const
{
    const QItemSelectionModel *selection = m_outline->selectionModel();
    return m_model->adjacentDataRow(selection ? selection->currentIndex() : QModelIndex(), direction);
}

void MacAllTodosViewController::rightButtonCalledInPopoverController(MacAddEditCommonController *)
{
    const QModelIndex next = adjacentDataRow(+1);
    if (next.isValid())
        displayPopoverWithItem(next, true);
}

void MacAllTodosViewController::leftButtonCalledInPopoverController(MacAddEditCommonController *)
{
    const QModelIndex previous = adjacentDataRow(-1);
    if (previous.isValid())
        displayPopoverWithItem(previous, true);
}

void MacAllTodosViewController::popoverDidClose(platform::ui::Popover *)
{
    m_reassignObject = nullptr;
}

void MacAllTodosViewController::spaceBarPressedWithEvent(QKeyEvent *event)
{
    const Qt::KeyboardModifiers modifiers = event->modifiers() & ~Qt::KeypadModifier;
    if (modifiers == Qt::AltModifier) {
        displayAddTodoIntoLogWithItem(targetIndex());
        return;
    }
    if (modifiers != Qt::NoModifier) {
        event->ignore();
        return;
    }
    if (contentPopover() && contentPopover()->isShown()) {
        contentPopover()->closePopover();
        return;
    }
    doubleClickAction(targetIndex());
}

void MacAllTodosViewController::openSheet(QWidget *editor)
{
    auto *controller = new AddContactWindowController(AddContactWindowController::WindowNibName, this);
    controller->setContentViewController(editor);
    m_addWindowController = controller;
    controller->beginSheetOnWindow(this, [](int) {});
}

void MacAllTodosViewController::cloneObject(QObject *)
{
    ToDo *todo = todoAt(targetIndex());
    if (!todo)
        return;
    auto *editor = new MacAddEditTodosViewController(todo, true);
    editor->setDetailPerson(todo->person());
    editor->setDelegate(this);
    editor->awakeFromNib();
    openSheet(editor);
}

// ---- Adding and reassigning through the contact picker ----

void MacAllTodosViewController::newTodosButtonPressed(QWidget *sender)
{
    if (contentPopover() && contentPopover()->isShown())
        contentPopover()->closePopover();
    m_reassignObject = nullptr;
    auto *picker = new SelectContactsViewControllerMac(SelectContactsViewControllerMac::NibName, managedObjectContext());
    picker->setDelegate(this);
    platform::ui::Popover *popover = createPopoverWithViewController(picker);
    setContentPopover(popover);
    popover->showRelativeTo(QRect(), sender ? sender : this, platform::ui::Popover::Edge::Bottom);
}

void MacAllTodosViewController::reassignMenuItemSelected()
{
    const QModelIndex index = targetIndex();
    ToDo *todo = todoAt(index);
    if (!todo)
        return;
    if (contentPopover() && contentPopover()->isShown())
        contentPopover()->closePopover();
    auto *picker = new SelectContactsViewControllerMac(SelectContactsViewControllerMac::NibName, managedObjectContext());
    picker->setDelegate(this);
    platform::ui::Popover *popover = createPopoverWithViewController(picker);
    setContentPopover(popover);
    m_reassignObject = todo;
    popover->showRelativeTo(m_outline->visualRect(index), m_outline->viewport(), platform::ui::Popover::Edge::Right);
}

void MacAllTodosViewController::finishedSelectPopoverController(SelectContactsViewControllerMac *,
                                                                const QList<platform::store::ManagedObjectID> &ids,
                                                                bool)
{
    if (ids.isEmpty() || !managedObjectContext())
        return;
    auto *person = dynamic_cast<Person *>(managedObjectContext()->existingObjectWithID(ids.first()));
    if (!person)
        return;
    if (ToDo *todo = m_reassignObject) {
        m_reassignObject = nullptr;
        todo->setPerson(person);
        if (person->managedObjectContext())
            person->managedObjectContext()->save();
        if (contentPopover() && contentPopover()->isShown())
            contentPopover()->closePopover();
        return;
    }
    if (contentPopover() && contentPopover()->isShown())
        contentPopover()->closePopover();
    SharedAppGlobals::sharedAppGlobals().logAnalyticsEvent(QStringLiteral("ShowAddTodo"),
                                                           {{QStringLiteral("Page"), QStringLiteral("AllTodos")}});
    auto *editor = new MacAddEditTodosViewController(nullptr, false);
    editor->setDetailPerson(person);
    editor->setDelegate(this);
    editor->awakeFromNib();
    openSheet(editor);
}

void MacAllTodosViewController::showContactPage(const QModelIndex &index)
{
    ToDo *todo = todoAt(index);
    if (!todo || !todo->person())
        return;
    if (AppDelegate *delegate = AppDelegate::instance())
        delegate->switchToContactsPageWithPerson(todo->person(), ContactPageToDosTab);
}

// ---- Completion ----

void MacAllTodosViewController::turnOffSwitchLater(const QModelIndex &index)
{
    const CommonListData *item = m_model->itemForIndex(index);
    QPointer<QDListItemModel> model(m_model);
    platform::core::dispatchAfter(TurnOffSwitchDelayMs, [model, item] {
        if (model)
            model->setRowTicked(item, false);
    });
}

void MacAllTodosViewController::markTodoAsComplete(const QModelIndex &index)
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
    if (defaultsSay(CopyToDoToDiaryDefaultsKey)) {
        markTodoAsComplete(index);
        return;
    }
    platform::ui::AlertSpec alert;
    alert.informativeText = QStringLiteral("Do you want to add a Log for this event?");
    alert.buttonTitles = {QStringLiteral("Add Log"), QStringLiteral("No"), QStringLiteral("Cancel")};
    alert.showsSuppressionButton = true;
    QPointer<MacAllTodosViewController> self(this);
    const QPersistentModelIndex row(index);
    platform::ui::AlertPresenter::shared().beginSheet(alert, window(), [self, row](const platform::ui::AlertResult &result) {
        if (!self)
            return;
        if (result.returnCode() == platform::ui::AlertFirstButtonReturn)
            self->displayAddTodoIntoLogWithItem(row);
        else if (result.returnCode() == platform::ui::AlertSecondButtonReturn)
            self->markTodoAsComplete(row);
        else
            self->m_model->setRowTicked(self->m_model->itemForIndex(row), false);
        if (result.suppressed)
            platform::core::UserDefaults::standardUserDefaults()->setBool(true, CopyToDoToDiaryDefaultsKey);
    });
}

// ---- Delete ----

void MacAllTodosViewController::deleteTodoItem(const QModelIndex &index)
{
    ToDo *todo = todoAt(index);
    if (!todo || !todo->managedObjectContext())
        return;
    todo->managedObjectContext()->deleteObject(todo);
    saveContext();
}

void MacAllTodosViewController::performDelete(QObject *)
{
    const QPersistentModelIndex index(targetIndex());
    if (!todoAt(index))
        return;
    if (defaultsSay(DeleteToDoDefaultsKey)) {
        deleteTodoItem(index);
        return;
    }
    platform::ui::AlertSpec alert;
    alert.messageText = QStringLiteral("Delete ToDo");
    alert.informativeText = QStringLiteral("Do you want to delete this ToDo from your records?");
    alert.buttonTitles = {QStringLiteral("Delete"), QStringLiteral("No")};
    alert.showsSuppressionButton = true;
    QPointer<MacAllTodosViewController> self(this);
    platform::ui::AlertPresenter::shared().beginSheet(alert, window(), [self, index](const platform::ui::AlertResult &result) {
        if (!self)
            return;
        if (result.returnCode() == platform::ui::AlertFirstButtonReturn)
            self->deleteTodoItem(index);
        if (result.suppressed)
            platform::core::UserDefaults::standardUserDefaults()->setBool(true, DeleteToDoDefaultsKey);
    });
}
