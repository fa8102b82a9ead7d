#include "Mac/Shell/MainWindowSidebar.h"
#include "Mac/Shell/ThemeIcons.h"

#include "Mac/Contacts/ContactsListItemModel.h"
#include "Mac/Shell/CustomNSOutlineViewWithDelegates.h"
#include "Mac/Contacts/MacContactsViewController.h"
#include "Mac/Shell/MainWindow.h"
#include "Mac/Shell/SectionSwitcher.h"
#include "Mac/Shell/SidebarTableCellView.h"

#include <QDragMoveEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QItemSelectionModel>
#include <QLabel>
#include <QMimeData>
#include <QStandardItemModel>
#include <QUrl>

namespace {

// Lets the sidebar decide, before anything is selected, whether a row may be.
class SidebarSelectionModel : public QItemSelectionModel
{
public:
    SidebarSelectionModel(QAbstractItemModel *model, MainWindowSidebar *sidebar)
        : QItemSelectionModel(model), m_sidebar(sidebar)
    {
    }

    void select(const QModelIndex &index, QItemSelectionModel::SelectionFlags command) override
    {
        if (index.isValid() && command.testFlag(QItemSelectionModel::Select) && !isSelected(index) &&
            !m_sidebar->shouldSelectItem(index))
            return;
        QItemSelectionModel::select(index, command);
    }
    void select(const QItemSelection &selection, QItemSelectionModel::SelectionFlags command) override
    {
        if (command.testFlag(QItemSelectionModel::Select)) {
            for (const QModelIndex &index : selection.indexes()) {
                if (!isSelected(index) && !m_sidebar->shouldSelectItem(index))
                    return;
            }
        }
        QItemSelectionModel::select(selection, command);
    }

private:
    MainWindowSidebar *m_sidebar;
};

} // namespace

const QList<MainWindowSidebar::Row> &MainWindowSidebar::sectionRows()
{
    static const QList<Row> rows = {
        {QStringLiteral("Contacts"), QStringLiteral("Contacts-sidebar"), QStringLiteral("Contacts List")},
        {QStringLiteral("Logs"), QStringLiteral("Logs-sidebar"), QStringLiteral("All Logs")},
        {QStringLiteral("ToDos"), QStringLiteral("Todos-sidebar"), QStringLiteral("All ToDos")},
        {QStringLiteral("Files"), QStringLiteral("Files-sidebar"), QStringLiteral("All Files")},
        {QStringLiteral("Map"), QStringLiteral("Maps-sidebar"), QStringLiteral("Maps View")},
    };
    return rows;
}

MainWindowSidebar::MainWindowSidebar(MainWindow *window, QObject *parent) : QObject(parent), m_window(window)
{
    m_outline = new CustomNSOutlineView;
    m_outline->setObjectName(QStringLiteral("sidebarView"));
    m_outline->setAccessibleName(QStringLiteral("Sections"));
    m_outline->setDelegate(this);
    m_outline->setHeaderHidden(true);
    m_outline->setRootIsDecorated(false);
    m_outline->setIndentation(0);
    m_outline->setItemsExpandable(false);
    m_outline->setSelectionMode(QAbstractItemView::SingleSelection);
    m_outline->setItemDelegate(new SidebarTableRowView(m_outline));
    m_outline->setAcceptDrops(true);
    m_outline->viewport()->setAcceptDrops(true);
    m_outline->setDragDropMode(QAbstractItemView::DropOnly);
    m_outline->viewport()->installEventFilter(this);
    // An opaque grey of white level 65/255.
    m_outline->setAutoFillBackground(true);
    QPalette palette = m_outline->palette();
    palette.setColor(QPalette::Base, QColor(65, 65, 65));
    m_outline->setPalette(palette);
    m_model = new QStandardItemModel(this);
    m_outline->setModel(m_model);
    m_outline->setSelectionModel(new SidebarSelectionModel(m_model, this));
    connect(m_outline->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &MainWindowSidebar::recolourCells);
}

MainWindowSidebar::~MainWindowSidebar()
{
    if (!m_outline->parent())
        delete m_outline;
}

void MainWindowSidebar::setTabTargets(QWidget *groupSelectionButton, QWidget *searchField)
{
    m_groupButton = groupSelectionButton;
    m_searchField = searchField;
}

void MainWindowSidebar::buildSidebarItems()
{
    m_keys = {MenuKey};
    QStringList titles;
    for (const Row &row : sectionRows())
        titles << row.title;
    m_items = {{MenuKey, titles}};
    m_model->clear();
    auto *menu = new QStandardItem(MenuKey);
    menu->setFlags(Qt::ItemIsEnabled | Qt::ItemIsDropEnabled);
    for (const Row &row : sectionRows()) {
        auto *item = new QStandardItem(row.title);
        item->setToolTip(row.toolTip);
        item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsDropEnabled | Qt::ItemNeverHasChildren);
        menu->appendRow(item);
    }
    m_model->appendRow(menu);
    m_outline->expandAll();
    auto *header = new SidebarTableCellView;
    header->setIsHeader(true);
    header->sidebarText()->clear();
    m_outline->setIndexWidget(m_model->index(0, 0), header);
    for (int i = 0; i < sectionRows().size(); ++i) {
        const Row &row = sectionRows()[i];
        auto *cell = new SidebarTableCellView;
        cell->sidebarText()->setText(row.title);
        cell->sidebarImage()->setObjectName(row.imageName);
        cell->sidebarImage()->setPixmap(ThemeIcons::iconForImage(row.imageName).pixmap(32, 32));
        cell->setAccessibleName(row.title);
        cell->setToolTip(row.toolTip);
        m_outline->setIndexWidget(m_model->index(i, 0, m_model->index(0, 0)), cell);
    }
    recolourCells();
}

SidebarTableCellView *MainWindowSidebar::cellForRow(int row) const
{
    const QModelIndex index = m_outline->indexForRow(row);
    return qobject_cast<SidebarTableCellView *>(m_outline->indexWidget(index));
}

void MainWindowSidebar::recolourCells()
{
    // Straight from the model: the outline may not have laid its rows out yet.
    const QModelIndex menu = m_model->index(0, 0);
    QModelIndexList indexes{menu};
    for (int i = 0; i < m_model->rowCount(menu); ++i)
        indexes << m_model->index(i, 0, menu);
    for (const QModelIndex &index : std::as_const(indexes)) {
        if (auto *cell = qobject_cast<SidebarTableCellView *>(m_outline->indexWidget(index)))
            cell->setBackgroundStyle(m_outline->selectionModel()->isSelected(index));
    }
}

bool MainWindowSidebar::shouldSelectItem(const QModelIndex &index)
{
    if (m_passcodeShown && m_passcodeShown())
        return false;
    if (!index.parent().isValid())
        return false;
    if (m_window)
        m_window->selectItemAtIndex(index.row());
    return true;
}

void MainWindowSidebar::selectFirstRowInSidebarWithIndex(int row)
{
    const QModelIndex index = m_outline->indexForRow(row);
    if (index.isValid())
        m_outline->selectionModel()->select(index, QItemSelectionModel::ClearAndSelect);
    m_outline->setFocus();
}

// ---- Drops ----

bool MainWindowSidebar::checkForDirectoryInDragPasteboard(const QMimeData *data)
{
    if (!data || !data->hasUrls())
        return false;
    for (const QUrl &url : data->urls()) {
        if (url.isLocalFile() && QFileInfo(url.toLocalFile()).isDir())
            return true;
    }
    return false;
}

bool MainWindowSidebar::validateDrop(const QMimeData *data, const QModelIndex &proposedItem) const
{
    if (checkForDirectoryInDragPasteboard(data))
        return false;
    if (!m_window || m_window->currentIndex() != SectionSwitcher::Files)
        return false;
    return proposedItem.isValid() && proposedItem.data().toString() == QLatin1String("Files");
}

bool MainWindowSidebar::acceptDrop(const QMimeData *data)
{
    if (!m_window || m_window->currentIndex() != SectionSwitcher::Files)
        return false;
    if (checkForDirectoryInDragPasteboard(data))
        return false;
    if (m_filesDrop)
        m_filesDrop(data);
    return true;
}

bool MainWindowSidebar::eventFilter(QObject *watched, QEvent *event)
{
    if (watched != m_outline->viewport())
        return QObject::eventFilter(watched, event);
    switch (event->type()) {
    case QEvent::DragEnter:
    case QEvent::DragMove: {
        auto *drag = static_cast<QDragMoveEvent *>(event);
        const QModelIndex proposed = m_outline->indexAt(drag->position().toPoint());
        if (validateDrop(drag->mimeData(), proposed)) {
            drag->setDropAction(Qt::CopyAction);
            drag->accept();
        } else {
            drag->ignore();
        }
        return true;
    }
    case QEvent::Drop: {
        auto *drop = static_cast<QDropEvent *>(event);
        const QModelIndex proposed = m_outline->indexAt(drop->position().toPoint());
        if (validateDrop(drop->mimeData(), proposed) && acceptDrop(drop->mimeData())) {
            drop->setDropAction(Qt::CopyAction);
            drop->accept();
        } else {
            drop->ignore();
        }
        return true;
    }
    default:
        return QObject::eventFilter(watched, event);
    }
}

// ---- Keys ----

void MainWindowSidebar::mainSidebarRightKeyWasPressed(QKeyEvent *)
{
    if (!m_window)
        return;
    const int index = m_window->currentIndex();
    switch (index) {
    case SectionSwitcher::Contacts: {
        auto *contacts = qobject_cast<MacContactsViewController *>(m_window->sectionController(index));
        if (!contacts || !contacts->contactsOutlineView())
            return;
        CustomNSOutlineView *list = contacts->contactsOutlineView();
        if (!list->selectionModel()->hasSelection()) {
            // Row 1: the first contact under the first letter.
            const QModelIndex first = list->indexForRow(1);
            auto *person = static_cast<Person *>(first.data(ContactsListItemModel::PersonRole).value<void *>());
            if (person)
                contacts->selectContactPageWithPerson(person, MacContactsViewController::LogsTab);
        } else {
            selectOutlineViewOnRight(list);
        }
        return;
    }
    case SectionSwitcher::Files:
        if (m_filesRightKey)
            m_filesRightKey();
        return;
    case SectionSwitcher::Logs:
    case SectionSwitcher::ToDos:
    case SectionSwitcher::Map:
        if (m_listFor)
            selectOutlineViewOnRight(m_listFor(index));
        return;
    default:
        return;
    }
}

void MainWindowSidebar::tabKeyPressedOnSidebarWithShift(bool shift)
{
    QWidget *target = shift ? m_searchField.data() : m_groupButton.data();
    if (target)
        target->setFocus(Qt::TabFocusReason);
}

void MainWindowSidebar::leftKeyTomakeSidebarFirstResponder()
{
    m_outline->setFocus(Qt::OtherFocusReason);
}

void MainWindowSidebar::selectOutlineViewOnRight(QTreeView *outline)
{
    if (!outline)
        return;
    outline->setFocus(Qt::OtherFocusReason);
    if (outline->selectionModel() && outline->selectionModel()->hasSelection())
        return;
    QModelIndex row = outline->model() ? outline->model()->index(0, 0, outline->rootIndex()) : QModelIndex();
    row = row.isValid() ? outline->indexBelow(row) : row;
    if (!row.isValid())
        return;
    outline->selectionModel()->select(row, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    outline->selectionModel()->setCurrentIndex(row, QItemSelectionModel::NoUpdate);
    outline->scrollTo(row);
}
