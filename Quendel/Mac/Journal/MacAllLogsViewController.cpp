#include "Mac/Journal/MacAllLogsViewController.h"

#include "AppDelegate.h"
#include "Classes/EmailHandoff.h"
#include "Mac/Contacts/AddContactWindowController.h"
#include "Mac/Journal/MacAddEditLogsViewController.h"
#include "Mac/Journal/QDListItemModel.h"
#include "Mac/Shell/CustomNSOutlineView.h"
#include "Mac/Shell/PlainTextLabel.h"
#include "SharedAppGlobals.h"

#include "QuendelKit/Entities/Log.h"
#include "QuendelKit/Entities/LogTitle.h"
#include "QuendelKit/Entities/Person.h"
#include "QuendelKit/Entities/PrivateGroups.h"

#include "platform/core/Dispatch.h"
#include "platform/core/UserDefaults.h"
#include "platform/store/ManagedObjectContext.h"
#include "platform/store/StoreNotifications.h"
#include "platform/ui/AlertPresenter.h"
#include "platform/ui/Popover.h"

#include <QContextMenuEvent>
#include <QFontMetrics>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLocale>
#include <QMenu>
#include <QVBoxLayout>

using platform::store::ManagedObject;
using platform::store::Predicate;

namespace {

const QString LogDateKey = QStringLiteral("logDate");

bool defaultsSay(const QString &key)
{
    auto defaults = platform::core::UserDefaults::standardUserDefaults();
    return defaults->objectForKey(key).isValid() && defaults->boolForKey(key);
}

} // namespace

MacAllLogsViewController::MacAllLogsViewController(ContextPtr context, QWidget *parent)
    : MainWindowManagerViewController(NibName, context, parent)
{
    setObjectName(NibName);
    setWindowTitle(QStringLiteral("Quendel - Logs"));
    m_source = std::make_unique<LogsListDataSource>(context, nullptr);
}

MacAllLogsViewController::~MacAllLogsViewController()
{
    m_listeners.clear();
    if (m_source)
        m_source->setDelegate(nullptr);
}

void MacAllLogsViewController::loadView()
{
    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    m_sidebar = new TitlesSidebarController(TitlesSidebarController::LogTitleEntity, managedObjectContext(), this);
    m_sidebar->setDelegate(this);
    m_sidebar->setMinimumWidth(220);
    m_sidebar->setMaximumWidth(300);
    layout->addWidget(m_sidebar);

    m_mainOuterView = new QWidget(this);
    m_mainOuterView->setObjectName(QStringLiteral("mainOuterView"));
    auto *main = new QVBoxLayout(m_mainOuterView);
    main->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_mainOuterView, 1);

    m_outline = new CustomNSOutlineView(m_mainOuterView);
    m_outline->setObjectName(QStringLiteral("allLogsOutlineView"));
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
        auto *log = dynamic_cast<Log *>(row.dataObject());
        if (!log)
            return QString();
        QStringList parts{QLocale().toString(log->logDate().toLocalTime(), QLocale::ShortFormat)};
        if (const Person *person = log->person(); person && !person->displayName().isEmpty())
            parts << person->displayName();
        if (const LogTitle *title = log->title(); title && !title->title().isEmpty())
            parts << title->title();
        QString text = parts.join(QStringLiteral(" \u00b7 "));
        if (!log->logNote().isEmpty())
            text += QLatin1Char('\n') + log->logNote();
        return text;
    });
    m_model->setRowHeight([this](const QModelIndex &index) { return heightOfRowByItem(index); });
    m_model->setForwardDelegate(this);
    m_outline->setModel(m_model);
    main->addWidget(m_outline);
    m_filler = new PlainTextLabel(FillerText, m_mainOuterView);
    m_filler->setObjectName(QStringLiteral("fillerText"));
    m_filler->setAlignment(Qt::AlignCenter);
    m_filler->hide();
    main->addWidget(m_filler);
    setFillerTextView(m_filler);

    auto *menu = new QMenu(this);
    menu->setObjectName(QStringLiteral("cellContextMenu"));
    menu->setAccessibleName(QStringLiteral("Log menu"));
    QAction *contact = menu->addAction(QStringLiteral("Show Contact"), this, [this] { showContactPage(targetIndex()); });
    QAction *reassign = menu->addAction(QStringLiteral("Reassign"), this, [this] { reassignMenuItemSelected(); });
    QAction *clone = menu->addAction(QStringLiteral("Clone"), this, [this] { cloneObject(nullptr); });
    QAction *email = menu->addAction(QStringLiteral("Email"), this, [this] { emailMenuItemSelected(); });
    QAction *remove = menu->addAction(QStringLiteral("Delete"), this, [this] { performDelete(nullptr); });
    m_outline->setMenu(menu);
    m_outline->viewport()->installEventFilter(this);
    connect(menu, &QMenu::aboutToShow, this, [this, contact, reassign, clone, email, remove] {
        const bool onLog = logAt(targetIndex()) != nullptr;
        for (QAction *action : {contact, reassign, clone, email, remove})
            action->setEnabled(onLog);
    });
    connect(menu, &QMenu::aboutToHide, this,
            [this] { QMetaObject::invokeMethod(this, [this] { m_clickedIndex = QModelIndex(); }, Qt::QueuedConnection); });
    connect(m_outline, &QAbstractItemView::doubleClicked, this, &MacAllLogsViewController::doubleClickAction);
    if (managedObjectContext())
        m_didSaveObserver = platform::core::ScopedObserver(
            platform::store::ManagedObjectContextDidSaveNotification, managedObjectContext().get(),
            [this](const platform::core::Notification &) { m_outline->viewport()->update(); });
}

bool MacAllLogsViewController::eventFilter(QObject *watched, QEvent *event)
{
    // The row under the mouse is the one the menu's commands act on, and it becomes the selected row.
    if (m_outline && watched == m_outline->viewport() && event->type() == QEvent::ContextMenu) {
        m_clickedIndex = m_outline->indexAt(static_cast<QContextMenuEvent *>(event)->pos());
        if (logAt(m_clickedIndex))
            m_outline->selectionModel()->setCurrentIndex(m_clickedIndex, QItemSelectionModel::ClearAndSelect
                                                                             | QItemSelectionModel::Rows);
    }
    return MainWindowManagerViewController::eventFilter(watched, event);
}

void MacAllLogsViewController::awakeFromNib()
{
    if (m_observing)
        return;
    m_observing = true;
    QPointer<MacAllLogsViewController> self(this);
    const auto listen = [self](const QString &name, void (MacAllLogsViewController::*handler)(const platform::core::Notification &)) {
        return platform::core::ScopedObserver(name, nullptr, [self, handler](const platform::core::Notification &n) {
            platform::core::dispatchAsyncMain([self, handler, n] {
                if (self)
                    (self.data()->*handler)(n);
            });
        });
    };
    // The application delegate passes the restore notices on to every section; the group change comes here.
    m_listeners.push_back(listen(GroupChangeNotification, &MacAllLogsViewController::groupChangedNotification));
    platform::core::dispatchAsyncMain([self] {
        if (!self || !self->m_source)
            return;
        SharedAppGlobals::sharedAppGlobals().logAnalyticsEvent(QStringLiteral("MainWindowLoad"),
                                                               {{QStringLiteral("Page"), QStringLiteral("MacAllLogs")}});
        self->m_source->setDelegate(self->m_model);
        self->m_source->initializeObserver();
    });
}

Log *MacAllLogsViewController::logAt(const QModelIndex &index) const
{
    CommonListData *item = m_model ? m_model->itemForIndex(index) : nullptr;
    return item && !item->isGroup() ? dynamic_cast<Log *>(item->dataObject()) : nullptr;
}

QModelIndex MacAllLogsViewController::targetIndex() const
{
    return QDListItemModel::clickedOrSelectedRow(m_outline, m_clickedIndex);
}

int MacAllLogsViewController::heightOfRowByItem(const QModelIndex &index) const
{
    CommonListData *item = m_model->itemForIndex(index);
    if (!item || item->isGroup())
        return HeaderRowHeight;
    Log *log = logAt(index);
    const QString note = log ? log->logNote() : QString();
    return QDListItemModel::noteNeedsLongRow(note, font(), m_outline->viewport()->width() - NoteWidthInset)
               ? LongRowHeight
               : ShortRowHeight;
}

// ---- Filters ----

void MacAllLogsViewController::applyFilters()
{
    m_source->setPredicateAndUpdateList(combinedFilterPredicate());
}

void MacAllLogsViewController::searchResultsWithString(const QString &text)
{
    if (text.isEmpty())
        setSearchPredicate(std::nullopt);
    else
        setSearchPredicate(m_source->baseSearchPredicateWithSearch(text));
    applyFilters();
}

void MacAllLogsViewController::selectedDateRangeWithStartDate(const QDateTime &start, const QDateTime &end)
{
    if (start.isValid() && end.isValid()) {
        // Both bounds are left out.
        setDateFilterPredicate(Predicate::andOf({Predicate::greater(LogDateKey, start), Predicate::less(LogDateKey, end)}));
    } else {
        setDateFilterPredicate(std::nullopt);
        if (!start.isValid() && !end.isValid())
            setTitleFilterPredicate(std::nullopt);
    }
    applyFilters();
}

void MacAllLogsViewController::selectedTitle(ManagedObject *title)
{
    if (title)
        setTitleFilterPredicate(Predicate::equal(QStringLiteral("title"), title));
    else
        setTitleFilterPredicate(std::nullopt);
    applyFilters();
}

void MacAllLogsViewController::groupChangedNotification(const platform::core::Notification &notification)
{
    const QVariantMap &info = notification.userInfo;
    if (info.contains(QStringLiteral("GroupChangePrivate"))) {
        auto *group = dynamic_cast<PrivateGroups *>(info.value(QStringLiteral("GroupChangePrivate")).value<ManagedObject *>());
        setContactsFilterPredicate(predicateForPrivateGroup(group));
    } else if (info.contains(QStringLiteral("GroupChangePublic"))) {
        setContactsFilterPredicate(predicateForPublicGroup(info.value(QStringLiteral("GroupChangePublic")).toStringList()));
    } else {
        setContactsFilterPredicate(std::nullopt);
    }
    applyFilters();
}

void MacAllLogsViewController::prepareForDBRestore(const platform::core::Notification &)
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

void MacAllLogsViewController::databaseRestoredNotification(const platform::core::Notification &notification)
{
    auto *context = static_cast<platform::store::ManagedObjectContext *>(const_cast<void *>(notification.object));
    if (!context)
        return;
    setManagedObjectContext(context->shared_from_this());
    if (m_sidebar)
        m_sidebar->databaseRestored(managedObjectContext());
}

// ---- List changes ----

void MacAllLogsViewController::refreshFillerText()
{
    const bool empty = m_source->arrangedObjects().isEmpty() && !combinedFilterPredicate().has_value();
    m_filler->setVisible(empty);
    m_outline->setVisible(!empty);
    setShowingFillerText(empty);
}

void MacAllLogsViewController::updatedSourceObjects()
{
    refreshFillerText();
    m_outline->expandAll();
}

void MacAllLogsViewController::insertedNewSectionToSource(CommonListData *header, qint64)
{
    if (showingFillerText())
        refreshFillerText();
    m_outline->expand(m_model->indexForItem(header));
}

void MacAllLogsViewController::moveObjectFromSection(CommonListData *, CommonListData *toHeader, qint64, qint64,
                                                     qint64, qint64)
{
    m_outline->expand(m_model->indexForItem(toHeader));
}

void MacAllLogsViewController::deselectOutlineView()
{
    if (m_outline && m_outline->selectionModel())
        m_outline->selectionModel()->clearSelection();
}

// ---- Editor ----

void MacAllLogsViewController::doubleClickAction(const QModelIndex &index)
{
    if (logAt(index))
        displayPopoverWithItem(index, true);
}

void MacAllLogsViewController::displayPopoverWithItem(const QModelIndex &index, bool replaceExistingPopover)
{
    Log *log = logAt(index);
    if (!log)
        return;
    auto *editor = new MacAddEditLogsViewController(log, false);
    editor->setDetailPerson(log->person());
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

void MacAllLogsViewController::finishedViewController(MacAddEditCommonController *,
                                                      const std::optional<QVariantMap> &changes)
{
    if (contentPopover() && contentPopover()->isShown())
        contentPopover()->closePopover();
    if (changes && changes->contains(MacAddEditLogsViewController::ReviewNagKey)) {
        if (AppDelegate *delegate = AppDelegate::instance())
            delegate->showReviewNagMac();
    }
}

QModelIndex MacAllLogsViewController::adjacentDataRow(int direction) const
{
    const QItemSelectionModel *selection = m_outline->selectionModel();
    return m_model->adjacentDataRow(selection ? selection->currentIndex() : QModelIndex(), direction);
}

void MacAllLogsViewController::rightButtonCalledInPopoverController(MacAddEditCommonController *)
{
    const QModelIndex next = adjacentDataRow(+1);
    if (next.isValid())
        displayPopoverWithItem(next, true);
}

void MacAllLogsViewController::leftButtonCalledInPopoverController(MacAddEditCommonController *)
{
    const QModelIndex previous = adjacentDataRow(-1);
    if (previous.isValid())
        displayPopoverWithItem(previous, true);
}

void MacAllLogsViewController::popoverDidClose(platform::ui::Popover *)
{
    m_reassignObject = nullptr;
}

void MacAllLogsViewController::spaceBarPressedWithEvent(QKeyEvent *event)
{
    const Qt::KeyboardModifiers modifiers = event->modifiers() & ~Qt::KeypadModifier;
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

void MacAllLogsViewController::openSheet(QWidget *editor)
{
    auto *controller = new AddContactWindowController(AddContactWindowController::WindowNibName, this);
    controller->setContentViewController(editor);
    m_addWindowController = controller;
    controller->beginSheetOnWindow(this, [](int) {});
}

void MacAllLogsViewController::cloneObject(QObject *)
{
    Log *log = logAt(targetIndex());
    if (!log)
        return;
    auto *editor = new MacAddEditLogsViewController(log, true);
    editor->setDetailPerson(log->person());
    editor->setDelegate(this);
    editor->awakeFromNib();
    openSheet(editor);
}

// ---- Adding and reassigning through the contact picker ----

void MacAllLogsViewController::showContactPicker(const QRect &rect, QWidget *anchor, platform::ui::Popover::Edge edge)
{
    if (contentPopover() && contentPopover()->isShown())
        contentPopover()->closePopover();
    auto *picker = new SelectContactsViewControllerMac(SelectContactsViewControllerMac::NibName, managedObjectContext());
    picker->setDelegate(this);
    platform::ui::Popover *popover = createPopoverWithViewController(picker);
    setContentPopover(popover);
    popover->showRelativeTo(rect, anchor, edge);
}

void MacAllLogsViewController::newLogsButtonPressed(QWidget *sender)
{
    m_reassignObject = nullptr;
    showContactPicker(QRect(), sender ? sender : this, platform::ui::Popover::Edge::Bottom);
}

void MacAllLogsViewController::reassignMenuItemSelected()
{
    const QModelIndex index = targetIndex();
    Log *log = logAt(index);
    if (!log)
        return;
    showContactPicker(m_outline->visualRect(index), m_outline->viewport(), platform::ui::Popover::Edge::Right);
    m_reassignObject = log;
}

void MacAllLogsViewController::finishedSelectPopoverController(SelectContactsViewControllerMac *,
                                                               const QList<platform::store::ManagedObjectID> &ids, bool)
{
    if (ids.isEmpty() || !managedObjectContext())
        return;
    auto *person = dynamic_cast<Person *>(managedObjectContext()->existingObjectWithID(ids.first()));
    if (!person)
        return;
    if (Log *log = m_reassignObject) {
        m_reassignObject = nullptr;
        log->setPerson(person);
        if (person->managedObjectContext())
            person->managedObjectContext()->save();
        if (contentPopover() && contentPopover()->isShown())
            contentPopover()->closePopover();
        return;
    }
    if (contentPopover() && contentPopover()->isShown())
        contentPopover()->closePopover();
    SharedAppGlobals::sharedAppGlobals().logAnalyticsEvent(QStringLiteral("ShowAddLog"),
                                                           {{QStringLiteral("Page"), QStringLiteral("AllLogs")}});
    auto *editor = new MacAddEditLogsViewController(nullptr, false);
    editor->setDetailPerson(person);
    editor->setDelegate(this);
    editor->awakeFromNib();
    openSheet(editor);
}

void MacAllLogsViewController::emailMenuItemSelected()
{
    Log *log = logAt(targetIndex());
    if (!log)
        return;
    QString body;
    log->addLogToEmailBody(body);
    EmailHandoff::sendEmail(EmailSubjectFormat.arg(log->person() ? log->person()->displayName() : QString()), body,
                            {}, {}, true, false);
}

void MacAllLogsViewController::showContactPage(const QModelIndex &index)
{
    Log *log = logAt(index);
    if (!log || !log->person())
        return;
    if (AppDelegate *delegate = AppDelegate::instance())
        delegate->switchToContactsPageWithPerson(log->person(), ContactPageLogsTab);
}

// ---- Delete ----

void MacAllLogsViewController::deleteItem(const QModelIndex &index)
{
    Log *log = logAt(index);
    if (!log || !log->managedObjectContext())
        return;
    log->managedObjectContext()->deleteObject(log);
    saveContext();
}

void MacAllLogsViewController::performDelete(QObject *)
{
    const QPersistentModelIndex index(targetIndex());
    if (!logAt(index))
        return;
    if (defaultsSay(DeleteLogDefaultsKey)) {
        deleteItem(index);
        return;
    }
    platform::ui::AlertSpec alert;
    alert.messageText = QStringLiteral("Delete Log");
    alert.informativeText = QStringLiteral("Do you want to delete this Log from your records?");
    alert.buttonTitles = {QStringLiteral("Delete"), QStringLiteral("No")};
    alert.showsSuppressionButton = true;
    QPointer<MacAllLogsViewController> self(this);
    platform::ui::AlertPresenter::shared().beginSheet(alert, window(), [self, index](const platform::ui::AlertResult &result) {
        if (!self)
            return;
        if (result.returnCode() == platform::ui::AlertFirstButtonReturn)
            self->deleteItem(index);
        if (result.suppressed)
            platform::core::UserDefaults::standardUserDefaults()->setBool(true, DeleteLogDefaultsKey);
    });
}
