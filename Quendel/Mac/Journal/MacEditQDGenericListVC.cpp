#include "Mac/Journal/MacEditQDGenericListVC.h"

#include "Classes/QDAlertDisplayMac.h"

#include "platform/store/FetchRequest.h"
#include "platform/store/ManagedObject.h"
#include "platform/store/SortDescriptor.h"
#include "platform/ui/AlertPresenter.h"
#include "platform/ui/Sheet.h"

#include <QDropEvent>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QStackedWidget>
#include <QStyledItemDelegate>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>

using platform::store::ManagedObject;

// The in-place editor of a record's name. A refused name stays in a reopened editor; Escape leaves the
// editing with the name as it was.
class ListEditorNameDelegate : public QStyledItemDelegate
{
public:
    ListEditorNameDelegate(MacEditQDGenericListVC *owner, QTreeWidget *view)
        : QStyledItemDelegate(view), m_owner(owner), m_view(view)
    {
    }

    QWidget *createEditor(QWidget *parent, const QStyleOptionViewItem &option, const QModelIndex &index) const override
    {
        QWidget *editor = QStyledItemDelegate::createEditor(parent, option, index);
        editor->setAccessibleName(QStringLiteral("Name"));
        return editor;
    }

    void setEditorData(QWidget *editor, const QModelIndex &index) const override
    {
        if (auto *line = qobject_cast<QLineEdit *>(editor); line && !m_refusedText.isNull()) {
            line->setText(m_refusedText);
            m_refusedText = QString();
            return;
        }
        QStyledItemDelegate::setEditorData(editor, index);
    }

    void setModelData(QWidget *editor, QAbstractItemModel *model, const QModelIndex &index) const override
    {
        auto *line = qobject_cast<QLineEdit *>(editor);
        if (!line)
            return;
        const QString text = line->text();
        if (!m_owner->controlTextShouldEndEditing(index.row(), text)) {
            if (text.isEmpty())
                return;
            m_refusedText = text;
            const QPersistentModelIndex again(index);
            QTimer::singleShot(0, m_view, [this, again] {
                if (again.isValid())
                    m_view->edit(again);
            });
            return;
        }
        model->setData(index, text, Qt::DisplayRole);
    }

private:
    MacEditQDGenericListVC *m_owner;
    QTreeWidget *m_view;
    mutable QString m_refusedText;
};

ListEditorTableView::ListEditorTableView(MacEditQDGenericListVC *owner, QWidget *parent)
    : QTreeWidget(parent), m_owner(owner)
{
}

int ListEditorTableView::dropRowAt(const QPoint &pos) const
{
    const QModelIndex index = indexAt(pos);
    if (!index.isValid())
        return topLevelItemCount();
    const QRect rect = visualRect(index);
    const int margin = std::max(2, rect.height() / 4);
    if (pos.y() - rect.top() < margin)
        return index.row();
    if (rect.bottom() - pos.y() < margin)
        return index.row() + 1;
    return -1;
}

void ListEditorTableView::dragMoveEvent(QDragMoveEvent *event)
{
    if (event->source() != this || dropRowAt(event->position().toPoint()) < 0) {
        event->ignore();
        return;
    }
    QTreeWidget::dragMoveEvent(event);
    event->setDropAction(Qt::MoveAction);
    event->accept();
}

void ListEditorTableView::dropEvent(QDropEvent *event)
{
    const int dropRow = dropRowAt(event->position().toPoint());
    const int from = currentIndex().isValid() ? currentIndex().row() : -1;
    // The list never moves its own rows: the editor stores the order and shows the list again.
    event->setDropAction(Qt::IgnoreAction);
    event->accept();
    if (dropRow >= 0 && from >= 0)
        m_owner->acceptDrop(from, dropRow);
}

MacEditQDGenericListVC::MacEditQDGenericListVC(ContextPtr context, const QString &nibName, const QString &entityName,
                                               const QString &nameKey, const QString &sortingKey, QWidget *parent)
    : QWidget(parent), m_context(std::move(context)), m_entityName(entityName), m_nameKey(nameKey),
      m_sortingKey(sortingKey)
{
    setObjectName(nibName);
    setAccessibleName(QStringLiteral("List editor"));
    auto *outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    m_stack = new QStackedWidget(this);
    outer->addWidget(m_stack);
    m_listView = new QWidget(m_stack);
    m_stack->addWidget(m_listView);
    auto *layout = new QVBoxLayout(m_listView);
    m_tableView = new ListEditorTableView(this, m_listView);
    m_tableView->setAccessibleName(entityName);
    m_tableView->setHeaderHidden(true);
    m_tableView->setRootIsDecorated(false);
    m_tableView->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_tableView->setSelectionMode(QAbstractItemView::SingleSelection);
    m_tableView->setContextMenuPolicy(Qt::CustomContextMenu);
    m_nameDelegate = new ListEditorNameDelegate(this, m_tableView);
    m_tableView->setItemDelegateForColumn(0, m_nameDelegate);
    layout->addWidget(m_tableView);
    auto *buttons = new QHBoxLayout;
    m_addButton = new QPushButton(QStringLiteral("+"), m_listView);
    m_addButton->setAccessibleName(QStringLiteral("Add"));
    m_deleteButton = new QPushButton(QStringLiteral("−"), m_listView);
    m_deleteButton->setAccessibleName(QStringLiteral("Delete"));
    m_doneButton = new QPushButton(QStringLiteral("Done"), m_listView);
    m_doneButton->setAccessibleName(QStringLiteral("Done"));
    buttons->addWidget(m_addButton);
    buttons->addWidget(m_deleteButton);
    buttons->addStretch();
    buttons->addWidget(m_doneButton);
    layout->addLayout(buttons);
    resize(420, 360);

    m_contextMenu = new QMenu(this);
    QAction *remove = m_contextMenu->addAction(QStringLiteral("Delete"));
    connect(remove, &QAction::triggered, this, [this] {
        deleteSelectedListItem();
        m_clickedRow = -1;
    });
    connect(m_contextMenu, &QMenu::aboutToHide, this, [this] {
        QTimer::singleShot(0, this, [this] { m_clickedRow = -1; });
    });
    connect(m_tableView, &QWidget::customContextMenuRequested, this, [this](const QPoint &at) {
        const QModelIndex index = m_tableView->indexAt(at);
        if (!index.isValid())
            return;
        m_clickedRow = index.row();
        m_contextMenu->popup(m_tableView->viewport()->mapToGlobal(at));
    });
    connect(m_addButton, &QPushButton::clicked, this, [this] { addButtonPressed(); });
    connect(m_deleteButton, &QPushButton::clicked, this, &MacEditQDGenericListVC::deleteSelectedListItem);
    connect(m_doneButton, &QPushButton::clicked, this, &MacEditQDGenericListVC::doneButtonSelected);
    connect(m_tableView, &QTreeWidget::itemDoubleClicked, this, [this] { doubleClickAction(); });
    awakeFromNib();
}

MacEditQDGenericListVC::~MacEditQDGenericListVC() = default;

void MacEditQDGenericListVC::awakeFromNib()
{
    if (m_loadedWindowController)
        return;
    m_loadedWindowController = true;
    m_tableView->setColumnCount(columnCount());
    reloadRecords();
    m_tableView->setDragEnabled(true);
    m_tableView->setAcceptDrops(true);
    m_tableView->setDropIndicatorShown(true);
    m_tableView->setDragDropMode(QAbstractItemView::InternalMove);
    m_tableView->setDefaultDropAction(Qt::MoveAction);
    if (m_entityName == QLatin1String("PrivateGroups")) {
        // Private groups are made with their members, from the group menu.
        m_addButton->hide();
    }
}

void MacEditQDGenericListVC::beginSheetOnWindow(QWidget *window)
{
    auto *sheet = new platform::ui::Sheet(window ? window->window() : nullptr);
    sheet->setWindowTitle(QStringLiteral("Edit List"));
    sheet->setContentWidget(this);
    m_sheet = sheet;
    if (window)
        sheet->beginSheet(window);
    else
        sheet->beginModal();
}

QString MacEditQDGenericListVC::nameOf(const ManagedObject *record) const
{
    return record ? record->value(m_nameKey).toString() : QString();
}

QStringList MacEditQDGenericListVC::names() const
{
    QStringList list;
    for (const ManagedObject *record : m_records)
        list << nameOf(record);
    return list;
}

void MacEditQDGenericListVC::reloadRecords()
{
    m_records.clear();
    if (m_context) {
        platform::store::FetchRequest request(m_entityName);
        request.setSortDescriptors({platform::store::SortDescriptor(m_sortingKey, true)});
        m_context->performAndWait([&] { m_records = m_context->executeFetchRequest(request); });
    }
    const int current = m_tableView->currentIndex().isValid() ? m_tableView->currentIndex().row() : -1;
    m_tableView->clear();
    for (int row = 0; row < m_records.size(); ++row) {
        auto *item = new QTreeWidgetItem(m_tableView);
        item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsEditable | Qt::ItemIsDragEnabled);
        fillRow(item, m_records[row], row);
    }
    if (current >= 0 && current < m_records.size())
        m_tableView->setCurrentItem(m_tableView->topLevelItem(current));
    afterReload();
}

void MacEditQDGenericListVC::fillRow(QTreeWidgetItem *item, ManagedObject *record, int)
{
    item->setText(0, nameOf(record));
}

bool MacEditQDGenericListVC::checkTextAgainstExistingObjectsNameKey(const QString &text, ManagedObject *except) const
{
    return std::any_of(m_records.cbegin(), m_records.cend(),
                       [&](ManagedObject *record) { return record != except && nameOf(record) == text; });
}

bool MacEditQDGenericListVC::addRecordWithName(const QString &text)
{
    if (text.isEmpty()) {
        QDAlertDisplayMac::sharedAlert()->showAlertWithTitle(QStringLiteral("Empty name"),
                                                             QStringLiteral("Please enter a unique name"));
        return false;
    }
    if (checkTextAgainstExistingObjectsNameKey(text)) {
        QDAlertDisplayMac::sharedAlert()->showAlertWithTitle(QStringLiteral("Existing Name"),
                                                             QStringLiteral("Name already exists. Please enter a unique name"));
        return false;
    }
    const qint64 order = m_records.isEmpty() ? 1 : m_records.last()->value(m_sortingKey).toLongLong() + 1;
    m_context->performAndWait([&] {
        if (ManagedObject *record = m_context->insertNewObject(m_entityName)) {
            record->setValue(m_nameKey, text);
            record->setValue(m_sortingKey, order);
        }
    });
    reloadRecords();
    return true;
}

void MacEditQDGenericListVC::addButtonPressed()
{
    platform::ui::AlertSpec spec;
    spec.messageText = QStringLiteral("Add New Title");
    spec.hasAccessoryTextField = true;
    spec.accessorySize = QSize(300, 24);
    spec.buttonTitles = {QStringLiteral("Add"), QStringLiteral("Cancel")};
    QPointer<MacEditQDGenericListVC> self(this);
    platform::ui::AlertPresenter::shared().beginSheet(spec, m_sheet ? static_cast<QWidget *>(m_sheet) : this,
                                                      [self](const platform::ui::AlertResult &result) {
                                                          if (!self || result.buttonIndex != 0)
                                                              return;
                                                          if (!self->addRecordWithName(result.accessoryText))
                                                              self->addButtonPressed();
                                                      });
}

bool MacEditQDGenericListVC::controlTextShouldEndEditing(int row, const QString &text)
{
    ManagedObject *record = m_records.value(row);
    if (!record)
        return true;
    if (text.isEmpty())
        return false;
    // The record may keep its own name.
    if (checkTextAgainstExistingObjectsNameKey(text, record)) {
        QDAlertDisplayMac::sharedAlert()->showAlertWithTitle(QStringLiteral("Name exists in list"),
                                                             QStringLiteral("Please pick a different name"));
        return false;
    }
    if (nameOf(record) == text)
        return true;
    m_context->performAndWait([&] { record->setValue(m_nameKey, text); });
    saveContext();
    return true;
}

void MacEditQDGenericListVC::doubleClickAction()
{
    QTreeWidgetItem *item = m_tableView->currentItem();
    if (!item)
        return;
    m_tableView->editItem(item, 0);
}

void MacEditQDGenericListVC::deleteSelectedListItem()
{
    int row = m_clickedRow;
    if (row < 0)
        row = m_tableView->currentIndex().isValid() && m_tableView->currentItem() && m_tableView->currentItem()->isSelected()
                  ? m_tableView->currentIndex().row()
                  : -1;
    ManagedObject *record = m_records.value(row);
    if (!record)
        return;
    m_context->performAndWait([&] { m_context->deleteObject(record); });
    saveContext();
    reloadRecords();
}

bool MacEditQDGenericListVC::acceptDrop(int fromRow, int dropRow)
{
    if (fromRow < 0 || fromRow >= m_records.size() || dropRow < 0)
        return false;
    QList<ManagedObject *> reordered = m_records;
    ManagedObject *moved = reordered.takeAt(fromRow);
    const int to = std::clamp(dropRow > fromRow ? dropRow - 1 : dropRow, 0, int(reordered.size()));
    reordered.insert(to, moved);
    m_context->performAndWait([&] {
        for (qsizetype i = 0; i < reordered.size(); ++i)
            reordered[i]->setValue(m_sortingKey, qint64(i));
    });
    const bool saved = saveContext();
    reloadRecords();
    if (saved)
        m_tableView->setCurrentItem(m_tableView->topLevelItem(to));
    return saved;
}

bool MacEditQDGenericListVC::saveContext()
{
    platform::core::QDError error;
    bool saved = false;
    m_context->performAndWait([&] { saved = m_context->save(&error); });
    if (saved)
        return true;
    // Nothing stays half-changed: the list shows the stored records again, and the user learns why.
    m_context->performAndWait([&] { m_context->rollback(); });
    QDAlertDisplayMac::sharedAlert()->showAlertWithTitle(
        QStringLiteral("Changes not saved"), QStringLiteral("The list could not be saved: %1").arg(error.localizedDescription()));
    QTimer::singleShot(0, this, [this] { reloadRecords(); });
    return false;
}

void MacEditQDGenericListVC::doneButtonSelected()
{
    if (m_delegate)
        m_delegate->doneEditPrivateGroupsList();
    if (m_sheet && m_sheet->isActive())
        m_sheet->endSheet(platform::ui::ModalResponseOK);
}
