#include "Mac/Journal/TitlesSidebarController.h"

#include "Mac/Shell/ThemeIcons.h"

#include "QuendelKit/Entities/LogTitle.h"
#include "QuendelKit/Entities/ToDoTitle.h"

#include "platform/core/Clock.h"
#include "platform/core/Dispatch.h"
#include "platform/store/SortDescriptor.h"
#include "platform/store/StoreNotifications.h"
#include "platform/ui/AlertPresenter.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QDropEvent>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QPainter>
#include <QPushButton>
#include <QStandardItemModel>
#include <QStyledItemDelegate>
#include <QTimer>
#include <QVBoxLayout>

using platform::store::ManagedObject;

namespace {

enum Kind { GroupKind = 0, DateKind = 1, TitleKind = 2 };
constexpr int KindRole = Qt::UserRole + 0x7310;
constexpr int RecordRole = Qt::UserRole + 0x7311;

const QString TitleKey = QStringLiteral("title");
const QString DisplayOrderKey = QStringLiteral("displayOrder");

QString stringType(const QString &entity)
{
    return entity == TitlesSidebarController::LogTitleEntity
               ? QStringLiteral("com.morvane.Quendel.CustomLogTitleString")
               : QStringLiteral("com.morvane.Quendel.CustomTodoTitleString");
}

QString pathType(const QString &entity)
{
    return entity == TitlesSidebarController::LogTitleEntity
               ? QStringLiteral("com.morvane.Quendel.CustomLogTitleIndexPath")
               : QStringLiteral("com.morvane.Quendel.CustomTodoTitleIndexPath");
}

QString textOf(const ManagedObject *record)
{
    return record ? record->value(TitleKey).toString() : QString();
}

QDateTime shifted(const QDateTime &when, int days, int months)
{
    return when.toLocalTime().addDays(days).addMonths(months).toUTC();
}

// The sidebar's rows, which carry their title text and position when dragged.
class SidebarModel : public QStandardItemModel
{
public:
    SidebarModel(QString entity, QObject *parent) : QStandardItemModel(parent), m_entity(std::move(entity)) {}

    QStringList mimeTypes() const override
    {
        return {stringType(m_entity), pathType(m_entity), QStringLiteral("text/plain")};
    }

    QMimeData *mimeData(const QModelIndexList &indexes) const override
    {
        if (indexes.isEmpty() || indexes.first().data(KindRole).toInt() != TitleKind)
            return nullptr;
        const QModelIndex index = indexes.first();
        auto *data = new QMimeData;
        data->setData(stringType(m_entity), index.data(Qt::DisplayRole).toString().toUtf8());
        data->setData(pathType(m_entity), QByteArray::number(index.parent().row()) + ',' + QByteArray::number(index.row()));
        data->setText(index.data(Qt::DisplayRole).toString());
        return data;
    }

    Qt::DropActions supportedDropActions() const override { return Qt::MoveAction; }

private:
    QString m_entity;
};

// Shows a title's count at the right of its row and edits the title's text in place.
class SidebarRowDelegate : public QStyledItemDelegate
{
public:
    SidebarRowDelegate(TitlesSidebarController *controller) : QStyledItemDelegate(controller), m_controller(controller) {}

    bool emptyNextEdit = false;

    void paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const override
    {
        QStyledItemDelegate::paint(painter, option, index);
        if (index.data(KindRole).toInt() != TitleKind)
            return;
        painter->save();
        painter->setPen(option.palette.color(option.state & QStyle::State_Selected ? QPalette::HighlightedText
                                                                                    : QPalette::PlaceholderText));
        painter->drawText(option.rect.adjusted(0, 0, -8, 0), Qt::AlignRight | Qt::AlignVCenter,
                          index.data(TitlesSidebarController::CountRole).toString());
        painter->restore();
    }

    void setEditorData(QWidget *editor, const QModelIndex &index) const override
    {
        if (auto *field = qobject_cast<QLineEdit *>(editor)) {
            field->setAccessibleName(QStringLiteral("Title text"));
            field->setText(emptyNextEdit ? QString() : index.data(Qt::EditRole).toString());
        }
    }

    void setModelData(QWidget *editor, QAbstractItemModel *, const QModelIndex &index) const override
    {
        auto *field = qobject_cast<QLineEdit *>(editor);
        auto *record = static_cast<ManagedObject *>(index.data(RecordRole).value<void *>());
        if (field && record)
            m_controller->renameTitle(record, field->text());
    }

private:
    TitlesSidebarController *m_controller;
};

} // namespace

// ---- The outline ----

TitlesSidebarOutlineView::TitlesSidebarOutlineView(TitlesSidebarController *controller, QWidget *parent)
    : QTreeView(parent), m_controller(controller)
{
    setDragEnabled(true);
    setAcceptDrops(true);
    setDropIndicatorShown(true);
    setDragDropMode(QAbstractItemView::InternalMove);
    setDefaultDropAction(Qt::MoveAction);
}

void TitlesSidebarOutlineView::mousePressEvent(QMouseEvent *event)
{
    // A click outside every row clears the choice.
    if (!indexAt(event->position().toPoint()).isValid()) {
        m_controller->clearSelection();
        return;
    }
    QTreeView::mousePressEvent(event);
}

void TitlesSidebarOutlineView::dragMoveEvent(QDragMoveEvent *event)
{
    QTreeView::dragMoveEvent(event);
    const QModelIndex target = indexAt(event->position().toPoint());
    const bool onTitles = target.isValid() && (target.data(KindRole).toInt() == TitleKind
                                               || (target.data(KindRole).toInt() == GroupKind && target.row() == 1));
    if (event->source() != this || !onTitles)
        event->ignore();
}

void TitlesSidebarOutlineView::dropEvent(QDropEvent *event)
{
    const QString entity = m_controller->entityName();
    const QList<QByteArray> path = event->mimeData()->data(pathType(entity)).split(',');
    const QModelIndex target = indexAt(event->position().toPoint());
    event->setDropAction(Qt::IgnoreAction);
    event->accept();
    if (event->source() != this || path.size() != 2 || !target.isValid())
        return;
    const int from = path.at(1).toInt();
    int dropIndex = -1;
    if (target.data(KindRole).toInt() == TitleKind) {
        const QRect rect = visualRect(target);
        dropIndex = event->position().toPoint().y() < rect.center().y() ? target.row() : target.row() + 1;
    } else if (target.data(KindRole).toInt() == GroupKind && target.row() == 1) {
        dropIndex = 0;
    }
    if (dropIndex >= 0)
        m_controller->moveTitle(from, dropIndex);
}

// ---- The controller ----

TitlesSidebarController::TitlesSidebarController(const QString &entityName, ContextPtr context, QWidget *parent)
    : QWidget(parent), m_entityName(entityName), m_context(std::move(context))
{
    setObjectName(QStringLiteral("TitlesSidebarController"));
    buildView();
    observeContext();
    m_dateThresholdTimer = new QTimer(this);
    m_dateThresholdTimer->setInterval(DateTimerIntervalMs);
    connect(m_dateThresholdTimer, &QTimer::timeout, this, &TitlesSidebarController::checkDateTimerFired);
    m_dateThresholdTimer->start();
    setupSidebarForTitlesWithFirstTime(true);
}

TitlesSidebarController::~TitlesSidebarController()
{
    m_dateThresholdTimer->stop();
}

void TitlesSidebarController::buildView()
{
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(2);
    m_outline = new TitlesSidebarOutlineView(this, this);
    m_outline->setObjectName(QStringLiteral("titlesListOutlineView"));
    m_outline->setAccessibleName(isLogTitlesType() ? QStringLiteral("Log filters") : QStringLiteral("ToDo filters"));
    m_outline->setHeaderHidden(true);
    m_outline->setRootIsDecorated(false);
    m_outline->setItemsExpandable(false);
    m_outline->setIndentation(8);
    m_outline->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_outline->setSelectionMode(QAbstractItemView::SingleSelection);
    m_model = new SidebarModel(m_entityName, this);
    m_outline->setModel(m_model);
    auto *rowDelegate = new SidebarRowDelegate(this);
    m_outline->setItemDelegate(rowDelegate);
    connect(rowDelegate, &QAbstractItemDelegate::closeEditor, this,
            [this](QWidget *, QAbstractItemDelegate::EndEditHint hint) {
                ManagedObject *record = m_editing;
                m_editing = nullptr;
                if (hint == QAbstractItemDelegate::RevertModelCache)
                    editingCancelled(record);
                if (m_rebuildPending)
                    scheduleRebuild();
            });
    connect(m_outline, &QAbstractItemView::doubleClicked, this, [this](const QModelIndex &index) {
        if (ManagedObject *record = titleAt(index))
            editTitleRow(record);
    });
    m_outline->viewport()->installEventFilter(this);
    layout->addWidget(m_outline, 1);

    m_addButton = new QPushButton(QStringLiteral("+"), this);
    m_addButton->setObjectName(QStringLiteral("addTitleButton"));
    m_addButton->setAccessibleName(QStringLiteral("Add Title"));
    m_addButton->setToolTip(QStringLiteral("Add a new title"));
    m_addButton->setFlat(true);
    connect(m_addButton, &QPushButton::clicked, this, &TitlesSidebarController::addNewTitle);
    layout->addWidget(m_addButton, 0, Qt::AlignLeft);

    m_menu = new QMenu(this);
    m_menu->setObjectName(QStringLiteral("sidebarContextMenu"));
    m_deleteAction = m_menu->addAction(QStringLiteral("Delete Title"), this, &TitlesSidebarController::deleteObject);
    m_addAction = m_menu->addAction(QStringLiteral("Add Title"), this, &TitlesSidebarController::addNewTitle);
    connect(m_menu, &QMenu::aboutToShow, this, [this] {
        const QModelIndex target = clickedOrSelectedIndex();
        const bool hasSelection = m_outline->selectionModel()->hasSelection();
        const bool notTitle = target.isValid() && target.data(KindRole).toInt() != TitleKind;
        m_deleteAction->setEnabled(!notTitle && hasSelection && titleAt(target));
        m_addAction->setEnabled(!notTitle && !hasSelection);
    });
    connect(m_menu, &QMenu::aboutToHide, this, [this] {
        QMetaObject::invokeMethod(this, [this] { m_clickedIndex = QModelIndex(); }, Qt::QueuedConnection);
    });
    // Every newly chosen entry is told once, however it was chosen (click, keys, right-click).
    connect(m_outline->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            [this](const QItemSelection &selected) {
                const QModelIndexList rows = selected.indexes();
                if (m_reporting && rows.size() == 1)
                    reportSelection(rows.first());
            });
}

bool TitlesSidebarController::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_outline->viewport() && event->type() == QEvent::ContextMenu) {
        auto *menuEvent = static_cast<QContextMenuEvent *>(event);
        m_clickedIndex = m_outline->indexAt(menuEvent->pos());
        // The row under the mouse is the one the menu acts on, and it becomes the chosen one.
        if (titleAt(m_clickedIndex))
            selectRow(m_clickedIndex);
        m_menu->popup(menuEvent->globalPos());
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

void TitlesSidebarController::observeContext()
{
    m_observers.clear();
    if (!m_context)
        return;
    QPointer<TitlesSidebarController> self(this);
    const auto later = [self](const platform::core::Notification &) {
        platform::core::dispatchAsyncMain([self] {
            if (self)
                self->scheduleRebuild();
        });
    };
    m_observers.emplace_back(platform::store::ManagedObjectContextObjectsDidChangeNotification, m_context.get(), later);
    m_observers.emplace_back(platform::store::ManagedObjectContextDidSaveNotification, m_context.get(), later);
    m_observers.emplace_back(TitleAddedNotification, nullptr, later);
}

QList<TitlesSidebarItemPtr> TitlesSidebarController::setupDatesinSidebarForEntity(const QString &entityName,
                                                                                  const QDateTime &now)
{
    using Item = TitlesSidebarItem;
    const QDateTime distantPast(QDate(1, 1, 1), QTime(0, 0), Qt::UTC);
    const QDateTime distantFuture(QDate(4001, 1, 1), QTime(0, 0), Qt::UTC);
    if (entityName == LogTitleEntity)
        return {Item::dateItemWithSidebarTitle(QStringLiteral("All"), QStringLiteral("view-list-details"), {}, {},
                                               QStringLiteral("All Logs")),
                Item::dateItemWithSidebarTitle(QStringLiteral("Last Week"), QStringLiteral("view-calendar-week"),
                                               shifted(now, -7, 0), now, QStringLiteral("Logs from last week")),
                Item::dateItemWithSidebarTitle(QStringLiteral("Last Month"), QStringLiteral("view-calendar-month"),
                                               shifted(now, 0, -1), now, QStringLiteral("Logs from last month"))};
    if (entityName == ToDoTitleEntity)
        return {Item::dateItemWithSidebarTitle(QStringLiteral("All"), QStringLiteral("view-list-details"), {}, {},
                                               QStringLiteral("All ToDos")),
                Item::dateItemWithSidebarTitle(QStringLiteral("Overdue"), QStringLiteral("appointment-missed"),
                                               distantPast, now, QStringLiteral("ToDos that are overdue")),
                Item::dateItemWithSidebarTitle(QStringLiteral("Next Week"), QStringLiteral("view-calendar-week"), now,
                                               shifted(now, 7, 0), QStringLiteral("ToDos for next week")),
                Item::dateItemWithSidebarTitle(QStringLiteral("Next Month"), QStringLiteral("view-calendar-month"),
                                               now, shifted(now, 0, 1), QStringLiteral("ToDos for next month")),
                Item::dateItemWithSidebarTitle(QStringLiteral("Later"), QStringLiteral("view-calendar-upcoming-events"),
                                               shifted(now, 0, 1), distantFuture, QStringLiteral("ToDos for later"))};
    return {};
}

int TitlesSidebarController::destinationRow(int from, int dropIndex)
{
    return from < dropIndex ? dropIndex - 1 : dropIndex;
}

QList<ManagedObject *> TitlesSidebarController::arrangedTitles() const
{
    QList<ManagedObject *> titles;
    if (!m_context || m_restoring)
        return titles;
    platform::store::FetchRequest request(m_entityName);
    request.setSortDescriptors({platform::store::SortDescriptor(DisplayOrderKey, true)});
    platform::core::QDError error;
    titles = m_context->executeFetchRequest(request, &error);
    return error.isNull() ? titles : QList<ManagedObject *>();
}

void TitlesSidebarController::setupSidebarForTitlesWithFirstTime(bool firstTime)
{
    auto titlesGroup = std::make_shared<TitlesSidebarItem>();
    titlesGroup->title = TitlesGroupTitle;
    titlesGroup->isGroup = true;
    m_headerItems = {TitlesSidebarItem::dateHeaderItem(
                         DateGroupTitle, setupDatesinSidebarForEntity(m_entityName, platform::core::Clock::now())),
                     titlesGroup};
    if (firstTime) {
        rebuildTitles();
        return;
    }
    QPointer<TitlesSidebarController> self(this);
    platform::core::dispatchAfter(1000, [self] {
        if (self)
            self->rebuildTitles();
    });
}

void TitlesSidebarController::checkDateTimerFired()
{
    if (m_headerItems.isEmpty())
        return;
    // The ranges roll with the clock; a range already chosen is not sent again.
    const QList<TitlesSidebarItemPtr> fresh = setupDatesinSidebarForEntity(m_entityName, platform::core::Clock::now());
    QList<TitlesSidebarItemPtr> &dates = m_headerItems[0]->children;
    for (int i = 0; i < dates.size() && i < fresh.size(); ++i) {
        dates[i]->startDate = fresh[i]->startDate;
        dates[i]->endDate = fresh[i]->endDate;
    }
}

void TitlesSidebarController::scheduleRebuild()
{
    if (m_editing) {
        m_rebuildPending = true;
        return;
    }
    m_rebuildPending = false;
    rebuildTitles();
}

void TitlesSidebarController::rebuildTitles()
{
    if (m_headerItems.size() < 2)
        return;
    TitlesSidebarItem &group = *m_headerItems[1];
    group.children.clear();
    QHash<const ManagedObject *, TitlesSidebarItemPtr> kept;
    for (ManagedObject *record : arrangedTitles()) {
        TitlesSidebarItemPtr item = m_modelToItemMapping.value(record);
        if (!item)
            item = TitlesSidebarItem::itemWithSidebarTitle(textOf(record));
        item->title = textOf(record);
        item->managedObject = record;
        kept.insert(record, item);
        group.children.append(item);
    }
    if (m_newTitle && !kept.contains(m_newTitle))
        m_newTitle = nullptr;
    m_modelToItemMapping = kept;
    reloadModel();
}

void TitlesSidebarController::reloadModel()
{
    // Keep the chosen entry chosen without telling the delegate again.
    const QModelIndex current = m_outline->selectionModel()->currentIndex();
    const bool hadSelection = m_outline->selectionModel()->isSelected(current);
    const int currentKind = current.data(KindRole).toInt();
    const int currentRow = current.row();
    auto *currentRecord = static_cast<ManagedObject *>(current.data(RecordRole).value<void *>());

    m_reporting = false;
    m_model->clear();
    for (int g = 0; g < m_headerItems.size(); ++g) {
        const TitlesSidebarItem &header = *m_headerItems[g];
        auto *groupItem = new QStandardItem(header.title);
        groupItem->setData(GroupKind, KindRole);
        groupItem->setFlags(g == 1 ? Qt::ItemIsEnabled | Qt::ItemIsDropEnabled : Qt::ItemIsEnabled);
        groupItem->setSizeHint(QSize(-1, GroupRowHeight));
        QFont bold = groupItem->font();
        bold.setBold(true);
        groupItem->setFont(bold);
        for (const TitlesSidebarItemPtr &child : header.children) {
            auto *row = new QStandardItem(child->title);
            row->setSizeHint(QSize(-1, EntryRowHeight));
            if (g == 0) {
                row->setData(DateKind, KindRole);
                row->setIcon(ThemeIcons::icon(child->imageIcon));
                row->setToolTip(child->tooltipString);
                row->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
            } else {
                row->setData(TitleKind, KindRole);
                row->setData(QVariant::fromValue(static_cast<void *>(child->managedObject)), RecordRole);
                row->setData(child->numberOfItems(), CountRole);
                row->setData(QStringLiteral("%1, %2").arg(child->title).arg(child->numberOfItems()),
                             Qt::AccessibleDescriptionRole);
                row->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsEditable | Qt::ItemIsDragEnabled);
            }
            groupItem->appendRow(row);
        }
        m_model->appendRow(groupItem);
    }
    m_outline->expandAll();
    if (hadSelection) {
        QModelIndex again;
        if (currentKind == DateKind)
            again = m_model->index(currentRow, 0, m_model->index(0, 0));
        else if (currentKind == TitleKind)
            again = indexForTitle(currentRecord);
        if (again.isValid())
            m_outline->selectionModel()->setCurrentIndex(again, QItemSelectionModel::ClearAndSelect);
    }
    m_reporting = true;
}

QModelIndex TitlesSidebarController::indexForTitle(const ManagedObject *record) const
{
    const QModelIndex group = m_model->index(1, 0);
    for (int row = 0; record && row < m_model->rowCount(group); ++row) {
        const QModelIndex index = m_model->index(row, 0, group);
        if (index.data(RecordRole).value<void *>() == record)
            return index;
    }
    return {};
}

ManagedObject *TitlesSidebarController::titleAt(const QModelIndex &index) const
{
    if (!index.isValid() || index.data(KindRole).toInt() != TitleKind)
        return nullptr;
    return static_cast<ManagedObject *>(index.data(RecordRole).value<void *>());
}

bool TitlesSidebarController::isDateEntry(const QModelIndex &index) const
{
    return index.isValid() && index.data(KindRole).toInt() == DateKind;
}

void TitlesSidebarController::reportSelection(const QModelIndex &index)
{
    if (!m_delegate || !index.isValid())
        return;
    if (ManagedObject *record = titleAt(index)) {
        m_delegate->selectedTitle(record);
        return;
    }
    if (isDateEntry(index) && !m_headerItems.isEmpty() && index.row() < m_headerItems[0]->children.size()) {
        // A range chosen now ends now: a log written a moment ago belongs to "Last Week".
        checkDateTimerFired();
        const TitlesSidebarItem &entry = *m_headerItems[0]->children[index.row()];
        if (index.row() == 0)
            m_delegate->selectedDateRangeWithStartDate({}, {});
        else
            m_delegate->selectedDateRangeWithStartDate(entry.startDate, entry.endDate);
    }
}

void TitlesSidebarController::selectRow(const QModelIndex &index)
{
    if (!index.isValid() || index.data(KindRole).toInt() == GroupKind)
        return;
    m_outline->selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect);
}

void TitlesSidebarController::clearSelection()
{
    m_outline->selectionModel()->clearSelection();
    m_outline->selectionModel()->setCurrentIndex(QModelIndex(), QItemSelectionModel::NoUpdate);
}

QModelIndex TitlesSidebarController::clickedOrSelectedIndex() const
{
    if (m_clickedIndex.isValid())
        return m_clickedIndex;
    const QModelIndexList rows = m_outline->selectionModel()->selectedRows();
    return rows.isEmpty() ? QModelIndex() : rows.first();
}

// ---- Editing ----

void TitlesSidebarController::editTitleRow(ManagedObject *record)
{
    const QModelIndex index = indexForTitle(record);
    if (!index.isValid())
        return;
    m_reporting = false;
    m_outline->selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect);
    m_reporting = true;
    m_outline->scrollTo(index);
    m_editing = record;
    m_outline->edit(index);
}

void TitlesSidebarController::addNewTitle()
{
    if (!m_context)
        return;
    const QList<ManagedObject *> titles = arrangedTitles();
    const qint64 order = titles.isEmpty() ? 1 : titles.last()->value(DisplayOrderKey).toLongLong() + 1;
    ManagedObject *record = m_context->insertNewObject(m_entityName);
    if (!record)
        return;
    record->setValue(TitleKey, QString());
    record->setValue(DisplayOrderKey, order);
    m_newTitle = record;
    rebuildTitles();
    QPointer<TitlesSidebarController> self(this);
    QMetaObject::invokeMethod(
        this,
        [self, record] {
            if (self && self->m_newTitle == record) {
                static_cast<SidebarRowDelegate *>(self->m_outline->itemDelegate())->emptyNextEdit = true;
                self->editTitleRow(record);
                static_cast<SidebarRowDelegate *>(self->m_outline->itemDelegate())->emptyNextEdit = false;
            }
        },
        Qt::QueuedConnection);
}

bool TitlesSidebarController::canRenameTitle(ManagedObject *record, const QString &text, QString *refusal) const
{
    if (text.trimmed().isEmpty()) {
        if (refusal)
            *refusal = QStringLiteral("empty");
        return false;
    }
    for (ManagedObject *other : arrangedTitles()) {
        // The title being renamed may keep its own text.
        if (other != record && textOf(other) == text) {
            if (refusal)
                *refusal = QStringLiteral("duplicate");
            return false;
        }
    }
    return true;
}

bool TitlesSidebarController::renameTitle(ManagedObject *record, const QString &text)
{
    QString refusal;
    if (!canRenameTitle(record, text, &refusal)) {
        QPointer<TitlesSidebarController> self(this);
        if (refusal == QLatin1String("duplicate")) {
            platform::ui::AlertSpec alert;
            alert.messageText = QStringLiteral("Title already exists");
            alert.informativeText = QStringLiteral("Please enter a unique title");
            platform::ui::AlertPresenter::shared().beginSheet(alert, window(), [self, record](const auto &) {
                if (!self)
                    return;
                static_cast<SidebarRowDelegate *>(self->m_outline->itemDelegate())->emptyNextEdit = true;
                self->editTitleRow(record);
                static_cast<SidebarRowDelegate *>(self->m_outline->itemDelegate())->emptyNextEdit = false;
            });
        } else {
            // An empty title is not taken: the edit goes on.
            QMetaObject::invokeMethod(
                this, [self, record] { if (self) self->editTitleRow(record); }, Qt::QueuedConnection);
        }
        return false;
    }
    if (textOf(record) != text)
        record->setValue(TitleKey, text);
    if (m_newTitle == record)
        m_newTitle = nullptr;
    if (m_context && m_context->hasChanges())
        m_context->save();
    scheduleRebuild();
    return true;
}

void TitlesSidebarController::editingCancelled(ManagedObject *record)
{
    // A title added and left without a text is not kept.
    if (record && record == m_newTitle && m_context) {
        m_newTitle = nullptr;
        m_context->deleteObject(record);
        m_context->processPendingChanges();
        scheduleRebuild();
    }
}

void TitlesSidebarController::deleteObject()
{
    if (ManagedObject *record = titleAt(clickedOrSelectedIndex()))
        deleteTitle(record);
}

void TitlesSidebarController::deleteTitle(ManagedObject *record)
{
    if (!record || !m_context)
        return;
    const bool wasChosen = titleAt(m_outline->selectionModel()->currentIndex()) == record;
    if (wasChosen)
        clearSelection();
    m_context->deleteObject(record);
    if (m_newTitle == record)
        m_newTitle = nullptr;
    if (m_context->save())
        rebuildTitles();
    if (wasChosen && m_delegate)
        m_delegate->selectedTitle(nullptr);
}

bool TitlesSidebarController::moveTitle(int from, int dropIndex)
{
    QList<ManagedObject *> titles = arrangedTitles();
    if (from < 0 || from >= titles.size() || dropIndex < 0 || dropIndex > titles.size())
        return false;
    const QList<ManagedObject *> original = titles;
    QList<QVariant> before;
    for (ManagedObject *record : original)
        before << record->value(DisplayOrderKey);
    ManagedObject *moved = titles.takeAt(from);
    titles.insert(std::min<qsizetype>(destinationRow(from, dropIndex), titles.size()), moved);
    for (int i = 0; i < titles.size(); ++i)
        if (titles[i]->value(DisplayOrderKey).toLongLong() != i)
            titles[i]->setValue(DisplayOrderKey, qint64(i));
    if (!m_context->save()) {
        // The order the user sees is the one that is stored.
        for (int i = 0; i < original.size(); ++i)
            original[i]->setValue(DisplayOrderKey, before[i]);
        rebuildTitles();
        platform::ui::AlertSpec alert;
        alert.messageText = QStringLiteral("Unable to save");
        alert.informativeText = QStringLiteral("The new order of the titles could not be saved.");
        platform::ui::AlertPresenter::shared().beginSheet(alert, window());
        return false;
    }
    rebuildTitles();
    return true;
}

// ---- Restore ----

void TitlesSidebarController::prepareForDBRestore()
{
    clearSelection();
    m_restoring = true;
    m_observers.clear();
    m_modelToItemMapping.clear();
    m_newTitle = nullptr;
    m_editing = nullptr;
    if (m_headerItems.size() > 1)
        m_headerItems[1]->children.clear();
    reloadModel();
}

void TitlesSidebarController::databaseRestored(ContextPtr context)
{
    m_context = std::move(context);
    m_restoring = false;
    observeContext();
    setupSidebarForTitlesWithFirstTime(false);
}
