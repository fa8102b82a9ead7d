#include "Mac/Journal/QDListItemModel.h"

#include <QAbstractItemView>
#include <QFontMetrics>
#include <QItemSelectionModel>
#include <QLocale>

#include <algorithm>

namespace {

CommonListDataPtr findShared(const QList<CommonListDataPtr> &list, const CommonListData *item)
{
    for (const CommonListDataPtr &entry : list)
        if (entry.get() == item)
            return entry;
    return nullptr;
}

} // namespace

QDListItemModel::QDListItemModel(QDListDataSource *source, QObject *parent)
    : QAbstractItemModel(parent), m_source(source)
{
    rebuild();
}

QDListItemModel::~QDListItemModel() = default;

void QDListItemModel::rebuild()
{
    m_sections.clear();
    if (!m_source)
        return;
    for (const CommonListDataPtr &header : m_source->headersArray())
        m_sections.append({header, header->children()});
}

int QDListItemModel::sectionOf(const CommonListData *header) const
{
    for (int i = 0; i < m_sections.size(); ++i)
        if (m_sections.at(i).header.get() == header)
            return i;
    return -1;
}

CommonListData *QDListItemModel::itemForIndex(const QModelIndex &index) const
{
    if (!index.isValid())
        return nullptr;
    if (!index.internalPointer())
        return index.row() < m_sections.size() ? m_sections.at(index.row()).header.get() : nullptr;
    const int section = sectionOf(static_cast<const CommonListData *>(index.internalPointer()));
    if (section < 0 || index.row() >= m_sections.at(section).rows.size())
        return nullptr;
    return m_sections.at(section).rows.at(index.row()).get();
}

QModelIndex QDListItemModel::indexForItem(const CommonListData *item) const
{
    if (!item)
        return {};
    for (int s = 0; s < m_sections.size(); ++s) {
        if (m_sections.at(s).header.get() == item)
            return createIndex(s, 0, nullptr);
        const QList<CommonListDataPtr> &rows = m_sections.at(s).rows;
        for (int r = 0; r < rows.size(); ++r)
            if (rows.at(r).get() == item)
                return createIndex(r, 0, m_sections.at(s).header.get());
    }
    return {};
}

QModelIndex QDListItemModel::index(int row, int column, const QModelIndex &parent) const
{
    if (column != 0 || row < 0)
        return {};
    if (!parent.isValid())
        return row < m_sections.size() ? createIndex(row, 0, nullptr) : QModelIndex();
    if (parent.internalPointer() || parent.row() >= m_sections.size())
        return {};
    const Section &section = m_sections.at(parent.row());
    return row < section.rows.size() ? createIndex(row, 0, section.header.get()) : QModelIndex();
}

QModelIndex QDListItemModel::parent(const QModelIndex &child) const
{
    if (!child.isValid() || !child.internalPointer())
        return {};
    const int section = sectionOf(static_cast<const CommonListData *>(child.internalPointer()));
    return section < 0 ? QModelIndex() : createIndex(section, 0, nullptr);
}

QModelIndex QDListItemModel::adjacentDataRow(const QModelIndex &current, int direction) const
{
    QList<QModelIndex> rows;
    for (int s = 0; s < rowCount(); ++s) {
        const QModelIndex section = index(s, 0);
        for (int r = 0; r < rowCount(section); ++r)
            rows.append(index(r, 0, section));
    }
    const qsizetype at = rows.indexOf(current);
    const qsizetype next = at + direction;
    if (at < 0 || next < 0 || next >= rows.size())
        return {};
    return rows.at(next);
}

int QDListItemModel::rowCount(const QModelIndex &parent) const
{
    if (!parent.isValid())
        return int(m_sections.size());
    if (parent.column() != 0 || parent.internalPointer() || parent.row() >= m_sections.size())
        return 0;
    return int(m_sections.at(parent.row()).rows.size());
}

int QDListItemModel::columnCount(const QModelIndex &) const
{
    return 1;
}

QString QDListItemModel::defaultHeaderText(const CommonListData &header) const
{
    const QString key = m_source ? m_source->sectionKey() : QString();
    if (key == QLatin1String("logSectionPeriod"))
        return header.headerDisplayTitle();
    if (key == QLatin1String("todoSectionTitle"))
        return header.headerDisplayTodoSections();
    return header.headerDisplayName();
}

QVariant QDListItemModel::data(const QModelIndex &index, int role) const
{
    CommonListData *item = itemForIndex(index);
    if (!item)
        return {};
    if (role == m_groupRoleAlias && role >= 0)
        return item->isGroup();
    if (role == m_dataObjectRoleAlias && role >= 0)
        return item->isGroup() ? QVariant() : QVariant::fromValue(item->dataObject());
    switch (role) {
    case Qt::DisplayRole:
        if (item->isGroup())
            return m_headerText ? m_headerText(*item) : defaultHeaderText(*item);
        if (m_rowText)
            return m_rowText(*item);
        if (item->dataObject() && m_source)
            return QLocale().toString(item->dataObject()->value(m_source->dateKey()).toDateTime().toLocalTime(),
                                      QLocale::ShortFormat);
        return QString();
    case Qt::CheckStateRole:
        if (!m_ticked || item->isGroup())
            return {};
        return m_tickedRows.contains(item) ? Qt::Checked : Qt::Unchecked;
    case Qt::SizeHintRole:
        return m_rowHeight ? QVariant(QSize(0, m_rowHeight(index))) : QVariant();
    case IsGroupRole:
        return item->isGroup();
    case DataObjectRole:
        return QVariant::fromValue(item->dataObject());
    case ListDataRole:
        return QVariant::fromValue(static_cast<void *>(item));
    default:
        return {};
    }
}

Qt::ItemFlags QDListItemModel::flags(const QModelIndex &index) const
{
    CommonListData *item = itemForIndex(index);
    if (!item)
        return Qt::NoItemFlags;
    if (item->isGroup())
        return Qt::ItemIsEnabled;
    return m_ticked ? (Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable)
                    : (Qt::ItemIsEnabled | Qt::ItemIsSelectable);
}

bool QDListItemModel::setData(const QModelIndex &index, const QVariant &value, int role)
{
    CommonListData *item = itemForIndex(index);
    if (role != Qt::CheckStateRole || !m_ticked || !item || item->isGroup())
        return false;
    // A ticked box waits for its row to leave; unticking it by hand changes nothing.
    if (value.toInt() != Qt::Checked || m_tickedRows.contains(item))
        return false;
    m_tickedRows.append(item);
    emit dataChanged(index, index, {Qt::CheckStateRole});
    // The view is still inside its mouse handling; what the tick starts (a question, a save that moves the
    // row) comes after it.
    const QPersistentModelIndex row(index);
    QMetaObject::invokeMethod(
        this,
        [this, row] {
            if (row.isValid() && m_ticked)
                m_ticked(row);
        },
        Qt::QueuedConnection);
    return true;
}

void QDListItemModel::setRowTicked(const CommonListData *row, bool ticked)
{
    if (ticked == m_tickedRows.contains(row))
        return;
    if (ticked)
        m_tickedRows.append(row);
    else
        m_tickedRows.removeAll(row);
    const QModelIndex index = indexForItem(row);
    if (index.isValid())
        emit dataChanged(index, index, {Qt::CheckStateRole});
}

// ---- Changes from the list model ----

void QDListItemModel::updatedSourceObjects()
{
    beginResetModel();
    rebuild();
    endResetModel();
    if (m_forward)
        m_forward->updatedSourceObjects();
}

void QDListItemModel::insertedNewSectionToSource(CommonListData *header, qint64 headerIndex)
{
    const CommonListDataPtr shared = m_source ? findShared(m_source->headersArray(), header) : nullptr;
    if (shared && sectionOf(header) < 0) {
        const int at = int(qBound<qint64>(0, headerIndex, m_sections.size()));
        beginInsertRows({}, at, at);
        m_sections.insert(at, {shared, shared->children()});
        endInsertRows();
    }
    if (m_forward)
        m_forward->insertedNewSectionToSource(header, headerIndex);
}

void QDListItemModel::addedObject(CommonListData *row, CommonListData *header, qint64 index)
{
    const int section = sectionOf(header);
    const CommonListDataPtr shared = findShared(header->children(), row);
    if (section >= 0 && shared) {
        const int at = int(qBound<qint64>(0, index, m_sections.at(section).rows.size()));
        beginInsertRows(createIndex(section, 0, nullptr), at, at);
        m_sections[section].rows.insert(at, shared);
        endInsertRows();
    } else {
        updatedSourceObjects();
        return;
    }
    if (m_forward)
        m_forward->addedObject(row, header, index);
}

void QDListItemModel::deletedSection(CommonListData *header, qint64 index)
{
    const int section = sectionOf(header);
    if (section >= 0) {
        beginRemoveRows({}, section, section);
        m_sections.removeAt(section);
        endRemoveRows();
    }
    if (m_forward)
        m_forward->deletedSection(header, index);
}

void QDListItemModel::deletedObjectItem(CommonListData *row, qint64 section, quint64 itemIndex)
{
    const QModelIndex found = indexForItem(row);
    if (found.isValid() && found.internalPointer()) {
        const QModelIndex parent = found.parent();
        beginRemoveRows(parent, found.row(), found.row());
        m_sections[parent.row()].rows.removeAt(found.row());
        endRemoveRows();
    }
    if (m_forward)
        m_forward->deletedObjectItem(row, section, itemIndex);
}

void QDListItemModel::moveObjectInSection(CommonListData *header, qint64 fromIndex, qint64 toIndex)
{
    const int section = sectionOf(header);
    QList<CommonListDataPtr> *rows = section >= 0 ? &m_sections[section].rows : nullptr;
    if (!rows || fromIndex < 0 || fromIndex >= rows->size() || toIndex < 0 || toIndex >= rows->size()) {
        updatedSourceObjects();
        return;
    }
    if (fromIndex != toIndex) {
        const QModelIndex parent = createIndex(section, 0, nullptr);
        // Qt counts the destination before the row leaves its place.
        const int destination = int(toIndex > fromIndex ? toIndex + 1 : toIndex);
        beginMoveRows(parent, int(fromIndex), int(fromIndex), parent, destination);
        rows->move(fromIndex, toIndex);
        endMoveRows();
    }
    if (m_forward)
        m_forward->moveObjectInSection(header, fromIndex, toIndex);
}

void QDListItemModel::moveObjectFromSection(CommonListData *fromHeader, CommonListData *toHeader,
                                            qint64 fromHeaderIndex, qint64 toHeaderIndex, qint64 fromIndexInSection,
                                            qint64 toIndexInSection)
{
    // A section the row emptied has gone already (with the row); otherwise the row leaves its section.
    const int from = sectionOf(fromHeader);
    if (from >= 0 && fromIndexInSection >= 0 && fromIndexInSection < m_sections.at(from).rows.size()) {
        beginRemoveRows(createIndex(from, 0, nullptr), int(fromIndexInSection), int(fromIndexInSection));
        m_sections[from].rows.removeAt(fromIndexInSection);
        endRemoveRows();
    }
    const int to = sectionOf(toHeader);
    if (to < 0) {
        const CommonListDataPtr shared = m_source ? findShared(m_source->headersArray(), toHeader) : nullptr;
        if (!shared) {
            updatedSourceObjects();
            return;
        }
        const int at = int(qBound<qint64>(0, toHeaderIndex, m_sections.size()));
        beginInsertRows({}, at, at);
        m_sections.insert(at, {shared, shared->children()});
        endInsertRows();
    } else {
        const CommonListDataPtr row = toIndexInSection >= 0 && toIndexInSection < toHeader->children().size()
                                          ? toHeader->children().at(toIndexInSection)
                                          : nullptr;
        if (!row) {
            updatedSourceObjects();
            return;
        }
        const int at = int(qBound<qint64>(0, toIndexInSection, m_sections.at(to).rows.size()));
        beginInsertRows(createIndex(to, 0, nullptr), at, at);
        m_sections[to].rows.insert(at, row);
        endInsertRows();
    }
    if (m_forward)
        m_forward->moveObjectFromSection(fromHeader, toHeader, fromHeaderIndex, toHeaderIndex, fromIndexInSection,
                                         toIndexInSection);
}

void QDListItemModel::updatedSourceObjectWithHeaderIndex(qint64 headerIndex, qint64 indexInSection,
                                                         CommonListData *item)
{
    const QModelIndex found = indexForItem(item);
    if (found.isValid())
        emit dataChanged(found, found);
    if (m_forward && m_forward->respondsToUpdatedSourceObject())
        m_forward->updatedSourceObjectWithHeaderIndex(headerIndex, indexInSection, item);
}

QModelIndex QDListItemModel::clickedOrSelectedRow(const QAbstractItemView *view, const QModelIndex &clicked)
{
    if (clicked.isValid())
        return clicked;
    const QItemSelectionModel *selection = view ? view->selectionModel() : nullptr;
    if (!selection || !selection->isSelected(selection->currentIndex()))
        return {};
    return selection->currentIndex();
}

bool QDListItemModel::noteNeedsLongRow(const QString &note, const QFont &font, int width)
{
    if (note.isEmpty())
        return false;
    const QRect bounds = QFontMetrics(font).boundingRect(QRect(0, 0, std::max(1, width), 1000), Qt::TextWordWrap, note);
    return bounds.height() >= 18;
}
