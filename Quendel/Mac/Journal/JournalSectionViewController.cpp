#include "Mac/Journal/JournalSectionViewController.h"

#include "Mac/Journal/MacAddEditLogsViewController.h"

#include "AppDelegate.h"
#include "Classes/EmailHandoff.h"
#include "Mac/Contacts/AddContactWindowController.h"
#include "Mac/Journal/JournalRowActions.h"
#include "Mac/Journal/QDListItemModel.h"
#include "Mac/Shell/CustomNSOutlineView.h"
#include "Mac/Shell/PlainTextLabel.h"
#include "SharedAppGlobals.h"

#include "QuendelKit/Entities/Person.h"

#include "platform/core/Dispatch.h"
#include "platform/store/ManagedObjectContext.h"
#include "platform/store/StoreNotifications.h"
#include "platform/ui/Popover.h"

#include <QContextMenuEvent>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLocale>
#include <QMenu>
#include <QVBoxLayout>

using platform::store::ManagedObject;
using platform::store::Predicate;

JournalSectionViewController::JournalSectionViewController(Setup setup, std::unique_ptr<QDListDataSource> source,
                                                           ContextPtr context, QWidget *parent)
    : MainWindowManagerViewController(setup.nibName, std::move(context), parent),
      m_setup(std::move(setup)),
      m_source(std::move(source))
{
    setObjectName(m_setup.nibName);
    setWindowTitle(m_setup.windowTitle);
}

JournalSectionViewController::~JournalSectionViewController()
{
    m_listeners.clear();
    if (m_source)
        m_source->setDelegate(nullptr);
}

void JournalSectionViewController::loadView()
{
    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    m_sidebar = new TitlesSidebarController(m_setup.titleEntity, managedObjectContext(), this);
    m_sidebar->setDelegate(this);
    m_sidebar->setMinimumWidth(220);
    m_sidebar->setMaximumWidth(300);
    layout->addWidget(m_sidebar);

    auto *mainOuterView = new QWidget(this);
    mainOuterView->setObjectName(QStringLiteral("mainOuterView"));
    auto *main = new QVBoxLayout(mainOuterView);
    main->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(mainOuterView, 1);

    m_outline = new CustomNSOutlineView(mainOuterView);
    m_outline->setObjectName(m_setup.outlineName);
    m_outline->setAccessibleName(m_setup.listName);
    m_outline->setHeaderHidden(true);
    m_outline->setRootIsDecorated(false);
    m_outline->setItemsExpandable(false);
    m_outline->setUniformRowHeights(false);
    m_outline->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_outline->setDelegate(this);
    m_model = new QDListItemModel(m_source.get(), this);
    m_model->setRoleAliases(CustomNSOutlineView::ItemIsTitleRole, -1);
    m_model->setRowText([this](const CommonListData &row) {
        ManagedObject *record = row.dataObject();
        if (!isRecord(record))
            return QString();
        const RecordFacts facts = factsOf(record);
        QStringList parts{QLocale().toString(facts.date.toLocalTime(), QLocale::ShortFormat)};
        if (facts.person && !facts.person->displayName().isEmpty())
            parts << facts.person->displayName();
        if (!facts.title.isEmpty())
            parts << facts.title;
        QString text = parts.join(QStringLiteral(" \u00b7 "));
        if (!facts.note.isEmpty())
            text += QLatin1Char('\n') + facts.note;
        return text;
    });
    m_model->setRowHeight([this](const QModelIndex &index) { return heightOfRowByItem(index); });
    configureListModel(m_model);
    m_model->setForwardDelegate(this);
    m_outline->setModel(m_model);
    main->addWidget(m_outline);
    m_filler = new PlainTextLabel(m_setup.fillerText, mainOuterView);
    m_filler->setObjectName(QStringLiteral("fillerText"));
    m_filler->setAlignment(Qt::AlignCenter);
    m_filler->hide();
    main->addWidget(m_filler);
    setFillerTextView(m_filler);

    auto *menu = new QMenu(this);
    menu->setObjectName(QStringLiteral("cellContextMenu"));
    menu->setAccessibleName(m_setup.menuName);
    QAction *contact = menu->addAction(QStringLiteral("Show Contact"), this, [this] { showContactPage(targetIndex()); });
    QAction *reassign = menu->addAction(QStringLiteral("Reassign"), this, [this] { reassignMenuItemSelected(); });
    QAction *clone = menu->addAction(QStringLiteral("Clone"), this, [this] { cloneObject(nullptr); });
    QAction *email = nullptr;
    if (!m_setup.emailLastInMenu)
        email = menu->addAction(QStringLiteral("Email"), this, [this] { emailMenuItemSelected(); });
    QAction *remove = menu->addAction(QStringLiteral("Delete"), this, [this] { performDelete(nullptr); });
    if (m_setup.emailLastInMenu)
        email = menu->addAction(QStringLiteral("Email"), this, [this] { emailMenuItemSelected(); });
    m_outline->setMenu(menu);
    m_outline->viewport()->installEventFilter(this);
    connect(menu, &QMenu::aboutToShow, this, [this, contact, reassign, clone, email, remove] {
        const bool onRecord = recordAt(targetIndex()) != nullptr;
        for (QAction *action : {contact, reassign, clone, email, remove})
            action->setEnabled(onRecord);
    });
    connect(menu, &QMenu::aboutToHide, this,
            [this] { QMetaObject::invokeMethod(this, [this] { m_clickedIndex = QModelIndex(); }, Qt::QueuedConnection); });
    connect(m_outline, &QAbstractItemView::doubleClicked, this, &JournalSectionViewController::doubleClickAction);
    // A row whose record changed in place (a new date in the same section) shows its new texts.
    if (managedObjectContext())
        m_didSaveObserver = platform::core::ScopedObserver(
            platform::store::ManagedObjectContextDidSaveNotification, managedObjectContext().get(),
            [this](const platform::core::Notification &) { m_outline->viewport()->update(); });
}

bool JournalSectionViewController::eventFilter(QObject *watched, QEvent *event)
{
    // The row under the mouse is the one the menu's commands act on, and it becomes the selected row.
    if (m_outline && watched == m_outline->viewport() && event->type() == QEvent::ContextMenu) {
        m_clickedIndex = m_outline->indexAt(static_cast<QContextMenuEvent *>(event)->pos());
        if (recordAt(m_clickedIndex))
            m_outline->selectionModel()->setCurrentIndex(m_clickedIndex, QItemSelectionModel::ClearAndSelect
                                                                             | QItemSelectionModel::Rows);
    }
    return MainWindowManagerViewController::eventFilter(watched, event);
}

void JournalSectionViewController::awakeFromNib()
{
    if (m_observing)
        return;
    m_observing = true;
    QPointer<JournalSectionViewController> self(this);
    if (m_setup.followsGroupChange) {
        // The application delegate passes the restore notices on to every section; the group change comes here.
        m_listeners.emplace_back(GroupChangeNotification, nullptr, [self](const platform::core::Notification &n) {
            platform::core::dispatchAsyncMain([self, n] {
                if (self)
                    self->groupChangedNotification(n);
            });
        });
    }
    platform::core::dispatchAsyncMain([self] {
        if (!self || !self->m_source)
            return;
        SharedAppGlobals::sharedAppGlobals().logAnalyticsEvent(QStringLiteral("MainWindowLoad"),
                                                               {{QStringLiteral("Page"), self->m_setup.loadPageName}});
        self->m_source->setDelegate(self->m_model);
        self->m_source->initializeObserver();
    });
}

ManagedObject *JournalSectionViewController::recordAt(const QModelIndex &index) const
{
    CommonListData *item = m_model ? m_model->itemForIndex(index) : nullptr;
    return item && !item->isGroup() && isRecord(item->dataObject()) ? item->dataObject() : nullptr;
}

QModelIndex JournalSectionViewController::targetIndex() const
{
    return QDListItemModel::clickedOrSelectedRow(m_outline, m_clickedIndex);
}

int JournalSectionViewController::heightOfRowByItem(const QModelIndex &index) const
{
    CommonListData *item = m_model->itemForIndex(index);
    if (!item || item->isGroup())
        return HeaderRowHeight;
    ManagedObject *record = recordAt(index);
    const QString note = record ? factsOf(record).note : QString();
    return QDListItemModel::noteNeedsLongRow(note, font(), m_outline->viewport()->width() - m_setup.noteWidthInset)
               ? LongRowHeight
               : ShortRowHeight;
}

// ---- Filters ----

void JournalSectionViewController::applyFilters()
{
    m_source->setPredicateAndUpdateList(combinedFilterPredicate());
}

void JournalSectionViewController::searchResultsWithString(const QString &text)
{
    if (text.isEmpty())
        setSearchPredicate(std::nullopt);
    else
        setSearchPredicate(m_source->baseSearchPredicateWithSearch(text));
    applyFilters();
}

void JournalSectionViewController::selectedDateRangeWithStartDate(const QDateTime &start, const QDateTime &end)
{
    if (start.isValid() && end.isValid()) {
        // Both bounds are left out.
        setDateFilterPredicate(
            Predicate::andOf({Predicate::greater(m_setup.dateKey, start), Predicate::less(m_setup.dateKey, end)}));
    } else {
        setDateFilterPredicate(std::nullopt);
        if (!start.isValid() && !end.isValid())
            setTitleFilterPredicate(std::nullopt);
    }
    applyFilters();
}

void JournalSectionViewController::selectedTitle(ManagedObject *title)
{
    if (title)
        setTitleFilterPredicate(Predicate::equal(m_setup.titleKey, title));
    else
        setTitleFilterPredicate(std::nullopt);
    applyFilters();
}

void JournalSectionViewController::groupChangedNotification(const platform::core::Notification &notification)
{
    setContactsFilterPredicate(JournalRowActions::contactsFilterForGroupChange(*this, notification, false));
    applyFilters();
}

void JournalSectionViewController::prepareForDBRestore(const platform::core::Notification &)
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

void JournalSectionViewController::databaseRestoredNotification(const platform::core::Notification &notification)
{
    auto *context = static_cast<platform::store::ManagedObjectContext *>(const_cast<void *>(notification.object));
    if (!context)
        return;
    setManagedObjectContext(context->shared_from_this());
    if (m_sidebar)
        m_sidebar->databaseRestored(managedObjectContext());
}

// ---- List changes ----

void JournalSectionViewController::refreshFillerText()
{
    const bool empty = m_source->arrangedObjects().isEmpty() && !combinedFilterPredicate().has_value();
    m_filler->setVisible(empty);
    m_outline->setVisible(!empty);
    setShowingFillerText(empty);
}

void JournalSectionViewController::updatedSourceObjects()
{
    refreshFillerText();
    m_outline->expandAll();
}

void JournalSectionViewController::insertedNewSectionToSource(CommonListData *header, qint64)
{
    if (showingFillerText())
        refreshFillerText();
    m_outline->expand(m_model->indexForItem(header));
}

void JournalSectionViewController::moveObjectFromSection(CommonListData *, CommonListData *toHeader, qint64, qint64,
                                                         qint64, qint64)
{
    m_outline->expand(m_model->indexForItem(toHeader));
}

void JournalSectionViewController::deselectOutlineView()
{
    if (m_outline && m_outline->selectionModel())
        m_outline->selectionModel()->clearSelection();
}

// ---- Editor ----

void JournalSectionViewController::doubleClickAction(const QModelIndex &index)
{
    if (recordAt(index))
        displayPopoverWithItem(index, true);
}

void JournalSectionViewController::displayPopoverWithItem(const QModelIndex &index, bool replaceExistingPopover)
{
    ManagedObject *record = recordAt(index);
    if (!record)
        return;
    MacAddEditCommonController *editor = makeEditor(record, false);
    editor->setDetailPerson(factsOf(record).person);
    editor->setDelegate(this);
    editor->awakeFromNib();
    if (replaceExistingPopover && contentPopover() && contentPopover()->isShown())
        contentPopover()->closePopover();
    JournalRowActions::showBesideRow(m_outline, index, [&] {
        platform::ui::Popover *popover = createPopoverWithViewController(editor);
        setContentPopover(popover);
        return popover;
    });
}

void JournalSectionViewController::finishedViewController(MacAddEditCommonController *,
                                                          const std::optional<QVariantMap> &changes)
{
    if (contentPopover() && contentPopover()->isShown())
        contentPopover()->closePopover();
    // A log saved often enough asks once for a review.
    if (changes && changes->contains(MacAddEditLogsViewController::ReviewNagKey)) {
        if (AppDelegate *delegate = AppDelegate::instance())
            delegate->showReviewNagMac();
    }
}

QModelIndex JournalSectionViewController::adjacentDataRow(int direction) const
{
    const QItemSelectionModel *selection = m_outline->selectionModel();
    return m_model->adjacentDataRow(selection ? selection->currentIndex() : QModelIndex(), direction);
}

void JournalSectionViewController::rightButtonCalledInPopoverController(MacAddEditCommonController *)
{
    const QModelIndex next = adjacentDataRow(+1);
    if (next.isValid())
        displayPopoverWithItem(next, true);
}

void JournalSectionViewController::leftButtonCalledInPopoverController(MacAddEditCommonController *)
{
    const QModelIndex previous = adjacentDataRow(-1);
    if (previous.isValid())
        displayPopoverWithItem(previous, true);
}

void JournalSectionViewController::popoverDidClose(platform::ui::Popover *)
{
    m_reassignObject = nullptr;
}

void JournalSectionViewController::spaceBarPressedWithEvent(QKeyEvent *event)
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

void JournalSectionViewController::openSheet(QWidget *editor)
{
    JournalRowActions::openEditorSheet(this, editor, m_addWindowController);
}

void JournalSectionViewController::openEditor(ManagedObject *record, bool isClone, Person *person)
{
    MacAddEditCommonController *editor = makeEditor(record, isClone);
    editor->setDetailPerson(person);
    editor->setDelegate(this);
    editor->awakeFromNib();
    openSheet(editor);
}

void JournalSectionViewController::cloneObject(QObject *)
{
    if (ManagedObject *record = recordAt(targetIndex()))
        openEditor(record, true, factsOf(record).person);
}

// ---- Adding and reassigning through the contact picker ----

void JournalSectionViewController::showContactPicker(const QRect &rect, QWidget *anchor, platform::ui::Popover::Edge edge)
{
    JournalRowActions::showContactPicker(this, this, rect, anchor, edge);
}

void JournalSectionViewController::newRecordButtonPressed(QWidget *sender)
{
    m_reassignObject = nullptr;
    showContactPicker(QRect(), sender ? sender : this, platform::ui::Popover::Edge::Bottom);
}

void JournalSectionViewController::reassignMenuItemSelected()
{
    const QModelIndex index = targetIndex();
    ManagedObject *record = recordAt(index);
    if (!record)
        return;
    showContactPicker(m_outline->visualRect(index), m_outline->viewport(), platform::ui::Popover::Edge::Right);
    m_reassignObject = record;
}

void JournalSectionViewController::finishedSelectPopoverController(SelectContactsViewControllerMac *,
                                                                   const QList<platform::store::ManagedObjectID> &ids,
                                                                   bool)
{
    if (ids.isEmpty() || !managedObjectContext())
        return;
    auto *person = dynamic_cast<Person *>(managedObjectContext()->existingObjectWithID(ids.first()));
    if (!person)
        return;
    if (ManagedObject *record = m_reassignObject) {
        m_reassignObject = nullptr;
        setPersonOf(record, person);
        if (person->managedObjectContext())
            person->managedObjectContext()->save();
        if (contentPopover() && contentPopover()->isShown())
            contentPopover()->closePopover();
        return;
    }
    if (contentPopover() && contentPopover()->isShown())
        contentPopover()->closePopover();
    SharedAppGlobals::sharedAppGlobals().logAnalyticsEvent(m_setup.addEventName,
                                                           {{QStringLiteral("Page"), m_setup.addEventPage}});
    openEditor(nullptr, false, person);
}

void JournalSectionViewController::emailMenuItemSelected()
{
    ManagedObject *record = recordAt(targetIndex());
    if (!record)
        return;
    QString body;
    addRecordToEmailBody(record, body);
    Person *person = factsOf(record).person;
    EmailHandoff::sendEmail(m_setup.emailSubjectFormat.arg(person ? person->displayName() : QString()), body, {}, {},
                            true, false);
}

void JournalSectionViewController::showContactPage(const QModelIndex &index)
{
    ManagedObject *record = recordAt(index);
    Person *person = record ? factsOf(record).person : nullptr;
    if (!person)
        return;
    if (AppDelegate *delegate = AppDelegate::instance())
        delegate->switchToContactsPageWithPerson(person, m_setup.contactPageTab);
}

// ---- Delete ----

void JournalSectionViewController::deleteRecord(const QModelIndex &index)
{
    ManagedObject *record = recordAt(index);
    if (!record || !record->managedObjectContext())
        return;
    record->managedObjectContext()->deleteObject(record);
    saveContext();
}

void JournalSectionViewController::performDelete(QObject *)
{
    const QPersistentModelIndex index(targetIndex());
    if (!recordAt(index))
        return;
    QPointer<JournalSectionViewController> self(this);
    JournalRowActions::confirmDelete(this, m_setup.recordNoun, m_setup.deleteDefaultsKey, [self, index] {
        if (self)
            self->deleteRecord(index);
    });
}
