#include "Mac/ContactPage/CommonOutlineViewController.h"

#include "Classes/EmailHandoff.h"
#include "Classes/QDAlertDisplayMac.h"
#include "Classes/ToDo_Category.h"
#include "QuendelKit/Entities/Log.h"
#include "QuendelKit/Entities/ToDo.h"
#include "Mac/Shell/CustomNSOutlineView.h"
#include "Mac/Journal/QDListItemModel.h"
#include "Classes/QDListDataSource.h"
#include "Mac/Shell/PlainTextLabel.h"
#include "QuendelKit/Entities/Person.h"
#include "platform/core/Dispatch.h"

#include "platform/store/ManagedObject.h"
#include "platform/store/ManagedObjectContext.h"

#include <QAction>
#include <QContextMenuEvent>
#include <QLabel>
#include <QLocale>
#include <QMenu>
#include <QStandardItemModel>
#include <QVBoxLayout>

std::shared_ptr<platform::store::ManagedObjectContext> CommonOutlineViewController::contextOf(Person *person)
{
    if (!person || !person->managedObjectContext())
        return nullptr;
    return person->managedObjectContext()->shared_from_this();
}

CommonOutlineViewController::CommonOutlineViewController(const QString &nibName, Person *person, QWidget *parent)
    : CommonListViewMac(nibName, person, parent)
{
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    m_outlineView = new CustomNSOutlineView(this);
    m_outlineView->setObjectName(QStringLiteral("outlineView"));
    m_outlineView->setHeaderHidden(true);
    m_outlineView->setRootIsDecorated(false);
    m_outlineView->setItemsExpandable(false);
    m_outlineView->setUniformRowHeights(false);
    m_outlineView->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_model = new QStandardItemModel(this);
    m_outlineView->setModel(m_model);
    m_outlineView->setDelegate(this);
    layout->addWidget(m_outlineView);
    setScrollView(m_outlineView);
}

CommonOutlineViewController::~CommonOutlineViewController() = default;

void CommonOutlineViewController::awakeFromNib()
{
    connect(m_outlineView, &QAbstractItemView::doubleClicked, this, &CommonOutlineViewController::doubleClickAction,
            Qt::UniqueConnection);
    CommonListViewMac::awakeFromNib();
    if (!m_listSource || m_loadedArrayController || !detailPerson() || !detailPerson()->managedObjectContext())
        return;
    m_loadedArrayController = true;
    QPointer<CommonOutlineViewController> self(this);
    platform::core::dispatchAsyncMain([self] {
        if (!self || !self->m_listSource)
            return;
        self->m_listSource->setDelegate(self->m_listSourceModel);
        self->m_listSource->initializeObserver();
    });
}

QStandardItem *CommonOutlineViewController::appendSection(const QString &title)
{
    auto *item = new QStandardItem(title);
    item->setData(true, CustomNSOutlineView::ItemIsTitleRole);
    item->setFlags(Qt::ItemIsEnabled);
    item->setSizeHint(QSize(0, HeaderRowHeight));
    m_model->appendRow(item);
    return item;
}

QStandardItem *CommonOutlineViewController::appendRow(QStandardItem *section, const QString &text,
                                                      platform::store::ManagedObject *record)
{
    auto *item = new QStandardItem(text);
    item->setData(QVariant::fromValue(record), DataObjectRole);
    item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
    item->setSizeHint(QSize(0, DataRowHeight));
    section->appendRow(item);
    return item;
}

bool CommonOutlineViewController::isGroupItem(const QModelIndex &index)
{
    return index.data(CustomNSOutlineView::ItemIsTitleRole).toBool();
}

int CommonOutlineViewController::heightOfRowByItem(const QModelIndex &index) const
{
    return isGroupItem(index) ? HeaderRowHeight : DataRowHeight;
}

int CommonOutlineViewController::targetRow() const
{
    if (m_clickedRow >= 0)
        return m_clickedRow;
    const QModelIndex current =
        m_outlineView->selectionModel() ? m_outlineView->selectionModel()->currentIndex() : QModelIndex();
    if (!m_outlineView->selectionModel() || !m_outlineView->selectionModel()->isSelected(current))
        return -1;
    return m_outlineView->rowForIndex(current);
}

void CommonOutlineViewController::deleteSelectedRow()
{
    const int row = targetRow();
    if (row < 0)
        return;
    const QModelIndex index = m_outlineView->indexForRow(row);
    if (!index.isValid())
        return;
    auto *record = index.data(DataObjectRole).value<platform::store::ManagedObject *>();
    if (record && record->managedObjectContext()) {
        platform::store::ManagedObjectContext *context = record->managedObjectContext();
        context->deleteObject(record);
        platform::core::QDError error;
        if (!context->save(&error))
            QDAlertDisplayMac::sharedAlert()->showAlertWithError(error);
    }
    checkIfDeletedLastRow();
}

void CommonOutlineViewController::emailMenuItemSelected()
{
    const int row = targetRow();
    if (row < 0)
        return;
    const QModelIndex index = m_outlineView->indexForRow(row);
    auto *record = index.isValid() ? index.data(DataObjectRole).value<platform::store::ManagedObject *>() : nullptr;
    QString body;
    QString subject;
    if (auto *log = dynamic_cast<Log *>(record)) {
        log->addLogToEmailBody(body);
        subject = QStringLiteral("Quendel Log - %1").arg(log->person() ? log->person()->displayName() : QString());
    } else if (auto *todo = dynamic_cast<ToDo *>(record)) {
        ToDo_Category::addTodoToEmailBody(*todo, body);
        subject = QStringLiteral("Quendel ToDo - %1").arg(todo->person() ? todo->person()->displayName() : QString());
    } else {
        return;
    }
    EmailHandoff::sendEmail(subject, body, {}, {}, true, false);
}

bool CommonOutlineViewController::validateMenuItem(QAction *item) const
{
    if (!item || !contextMenu() || !contextMenu()->actions().contains(item))
        return true;
    // The program has no window to pick another contact for a record yet: Reassign stays disabled.
    if (item == m_reassignAction)
        return false;
    if (item == m_cloneAction && !canCloneRecords())
        return false;
    const int row = targetRow();
    if (row < 0)
        return false;
    const QModelIndex index = m_outlineView->indexForRow(row);
    return index.isValid() && !isGroupItem(index);
}

void CommonOutlineViewController::validateContextMenu()
{
    if (!contextMenu())
        return;
    for (QAction *action : contextMenu()->actions())
        action->setEnabled(validateMenuItem(action));
}

void CommonOutlineViewController::setupContextMenu()
{
    if (contextMenu())
        return;
    auto *menu = new QMenu(this);
    menu->setObjectName(QStringLiteral("contextMenu"));
    menu->setAccessibleName(QStringLiteral("Record menu"));
    m_cloneAction = menu->addAction(QStringLiteral("Clone"), this, [this] { cloneMenuItemSelected(); });
    m_deleteAction = menu->addAction(QStringLiteral("Delete"), this, [this] { deleteSelectedRow(); });
    menu->addSeparator();
    m_emailAction = menu->addAction(QStringLiteral("Email"), this, [this] { emailMenuItemSelected(); });
    m_reassignAction = menu->addAction(QStringLiteral("Reassign"));
    setContextMenu(menu);
    m_outlineView->setMenu(menu);
    // The row under the mouse is the one the commands act on, until the chosen command has run.
    m_outlineView->viewport()->installEventFilter(this);
    connect(menu, &QMenu::aboutToShow, this, &CommonOutlineViewController::validateContextMenu);
    connect(menu, &QMenu::aboutToHide, this, [this] {
        QMetaObject::invokeMethod(this, [this] { m_clickedRow = -1; }, Qt::QueuedConnection);
    });
}

bool CommonOutlineViewController::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_outlineView->viewport() && event->type() == QEvent::ContextMenu)
        m_clickedRow = m_outlineView->rowAt(static_cast<QContextMenuEvent *>(event)->pos());
    return CommonListViewMac::eventFilter(watched, event);
}

bool CommonOutlineViewController::hasTableviewFirstSelection() const
{
    if (!m_outlineView->selectionModel())
        return false;
    const QModelIndex current = m_outlineView->selectionModel()->currentIndex();
    return m_outlineView->selectionModel()->isSelected(current) && m_outlineView->rowForIndex(current) == 1;
}

int CommonOutlineViewController::arrangedObjectCount() const
{
    if (m_listSource)
        return int(m_listSource->arrangedObjects().size());
    int count = 0;
    for (int section = 0; section < m_model->rowCount(); ++section)
        count += m_model->item(section)->rowCount();
    return count;
}

void CommonOutlineViewController::updatedSourceObjects()
{
    refreshFillerText();
    m_outlineView->expandAll();
}

void CommonOutlineViewController::refreshFillerText()
{
    if (arrangedObjectCount() > 0) {
        if (showingFillerText())
            removeFillerText();
    } else if (fillerText() && !showingFillerText()) {
        addTextFieldForFillerText(fillerText(), m_outlineView);
    }
}

void CommonOutlineViewController::followModelForFillerText(QAbstractItemModel *model)
{
    connect(model, &QAbstractItemModel::rowsInserted, this, &CommonOutlineViewController::refreshFillerText);
    connect(model, &QAbstractItemModel::rowsRemoved, this, &CommonOutlineViewController::refreshFillerText);
}

QDListItemModel *CommonOutlineViewController::showListDataSource(QDListDataSource *source,
                                                                 QDListDataSourceDelegate *forward,
                                                                 std::function<QString(const CommonListData &)> rowText,
                                                                 const QString &fillerText)
{
    auto *model = new QDListItemModel(source, this);
    model->setRoleAliases(CustomNSOutlineView::ItemIsTitleRole, DataObjectRole);
    model->setRowText(std::move(rowText));
    model->setRowHeight([this](const QModelIndex &index) { return heightOfRowByItem(index); });
    model->setForwardDelegate(forward);
    m_outlineView->setModel(model);
    m_listSource = source;
    m_listSourceModel = model;
    auto *filler = new PlainTextLabel(fillerText, this);
    filler->setObjectName(QStringLiteral("fillerText"));
    filler->setAlignment(Qt::AlignCenter);
    filler->hide();
    setFillerText(filler);
    followModelForFillerText(model);
    return model;
}

void CommonOutlineViewController::detachListDataSource()
{
    if (m_listSource)
        m_listSource->setDelegate(nullptr);
    m_listSource = nullptr;
}

QString CommonOutlineViewController::datedRowText(const QDateTime &date, const QString &title, const QString &note)
{
    const QString when = QLocale().toString(date.toLocalTime(), QLocale::ShortFormat);
    QString text = title.isEmpty() ? when : when + QStringLiteral(" \u00b7 ") + title;
    if (!note.isEmpty())
        text += QLatin1Char('\n') + note;
    return text;
}
