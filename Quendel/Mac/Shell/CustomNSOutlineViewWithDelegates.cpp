#include "Mac/Shell/CustomNSOutlineViewWithDelegates.h"

#include "platform/core/Dispatch.h"

#include <QApplication>
#include <QItemSelectionModel>
#include <QPointer>

CustomNSOutlineViewWithDelegates::CustomNSOutlineViewWithDelegates(QWidget *parent) : CustomNSOutlineView(parent)
{
}

void CustomNSOutlineViewWithDelegates::setModel(QAbstractItemModel *model)
{
    for (const auto &connection : std::as_const(m_connections))
        disconnect(connection);
    m_connections.clear();
    CustomNSOutlineView::setModel(model);
    if (!model)
        return;
    m_connections << connect(model, &QAbstractItemModel::rowsInserted, this,
                             &CustomNSOutlineViewWithDelegates::rowsWereInserted);
    m_connections << connect(model, &QAbstractItemModel::rowsMoved, this,
                             &CustomNSOutlineViewWithDelegates::rowsWereMoved);
    m_connections << connect(model, &QAbstractItemModel::rowsAboutToBeRemoved, this,
                             &CustomNSOutlineViewWithDelegates::rowsWillBeRemoved);
    m_connections << connect(model, &QAbstractItemModel::rowsRemoved, this,
                             &CustomNSOutlineViewWithDelegates::rowsWereRemoved);
}

bool CustomNSOutlineViewWithDelegates::isSectionHeader(const QModelIndex &index) const
{
    if (!index.isValid())
        return false;
    return index.data(ItemIsTitleRole).toBool();
}

void CustomNSOutlineViewWithDelegates::rowsWereInserted(const QModelIndex &parent, int first, int last)
{
    if (!parent.isValid()) {
        // New sections: open them, at once when nobody sees it, else once they have slid in.
        for (int row = first; row <= last; ++row) {
            const QPersistentModelIndex header(model()->index(row, 0));
            if (!isCurrentlyVisible()) {
                expand(header);
                continue;
            }
            QPointer<CustomNSOutlineViewWithDelegates> self(this);
            platform::core::dispatchAfter(AnimationDelayMs, [self, header] {
                if (!self || !header.isValid())
                    return;
                self->expand(header);
                const QModelIndex firstRow = self->model()->index(0, 0, header);
                if (firstRow.isValid())
                    self->scrollTo(firstRow);
            });
        }
        return;
    }
    if (!isCurrentlyVisible())
        return;
    const QPersistentModelIndex added(model()->index(last, 0, parent));
    if (rowForIndex(added) < 1)
        return;
    QPointer<CustomNSOutlineViewWithDelegates> self(this);
    platform::core::dispatchAfter(AnimationDelayMs, [self, added] {
        if (self && added.isValid())
            self->scrollTo(added);
    });
}

void CustomNSOutlineViewWithDelegates::rowsWereMoved(const QModelIndex &, int, int end, const QModelIndex &destination,
                                                     int row)
{
    Q_UNUSED(end)
    if (destination.isValid() && !isExpanded(destination))
        expand(destination);
    if (!isCurrentlyVisible())
        return;
    const QPersistentModelIndex moved(model()->index(row, 0, destination));
    QPointer<CustomNSOutlineViewWithDelegates> self(this);
    platform::core::dispatchAfter(AnimationDelayMs, [self, moved] {
        if (self && moved.isValid())
            self->scrollTo(moved);
    });
}

void CustomNSOutlineViewWithDelegates::rowsWillBeRemoved(const QModelIndex &parent, int first, int last)
{
    m_removal = PendingRemoval();
    if (first != last)
        return;
    const QModelIndex removed = model()->index(first, 0, parent);
    m_removal.active = true;
    m_removal.wasSection = !parent.isValid();
    m_removal.formerRow = rowForIndex(removed);
    m_removal.indexInSection = first;
    // Only a removal that takes the selection (or part of it) with it moves the selection.
    const QItemSelectionModel *selection = selectionModel();
    m_removal.affectsSelection = !selection || !selection->hasSelection() || selection->isSelected(removed);
    if (m_removal.wasSection && selection) {
        for (const QModelIndex &selected : selection->selectedIndexes()) {
            if (selected.parent() == removed)
                m_removal.affectsSelection = true;
        }
    }
}

void CustomNSOutlineViewWithDelegates::rowsWereRemoved(const QModelIndex &, int, int)
{
    const PendingRemoval removal = m_removal;
    m_removal = PendingRemoval();
    if (!removal.active || removal.formerRow < 0 || !isCurrentlyVisible() || !removal.affectsSelection)
        return;
    const auto selectable = [this](int row) {
        const QModelIndex index = indexForRow(row);
        return index.isValid() && index.flags().testFlag(Qt::ItemIsSelectable);
    };
    int target = -1;
    if (removal.wasSection) {
        if (selectable(removal.formerRow + 1))
            target = removal.formerRow + 1;
        else if (selectable(removal.formerRow - 1))
            target = removal.formerRow - 1;
    } else {
        const int candidate = removal.indexInSection == 0 ? removal.formerRow : removal.formerRow - 1;
        if (selectable(candidate))
            target = candidate;
    }
    if (target < 0)
        return;
    selectRowAlone(target);
    emit selectionMovedAfterRemoval(indexForRow(target));
}

void CustomNSOutlineViewWithDelegates::selectRowAlone(int row)
{
    const QModelIndex index = indexForRow(row);
    if (!index.isValid() || !selectionModel())
        return;
    selectionModel()->select(index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    selectionModel()->setCurrentIndex(index, QItemSelectionModel::NoUpdate);
}

QModelIndex CustomNSOutlineViewWithDelegates::adjacentDataRow(int direction) const
{
    const QModelIndexList selected = selectionModel() ? selectionModel()->selectedRows() : QModelIndexList();
    const int start = selected.isEmpty() ? -1 : rowForIndex(selected.first());
    for (int step = 1; step <= 2; ++step) {
        const QModelIndex candidate = indexForRow(start + direction * step);
        if (candidate.isValid() && !isSectionHeader(candidate))
            return candidate;
    }
    QApplication::beep();
    return {};
}

QModelIndex CustomNSOutlineViewWithDelegates::nextItemInOutlineView() const
{
    return adjacentDataRow(1);
}

QModelIndex CustomNSOutlineViewWithDelegates::previousItemInOutlineView() const
{
    return adjacentDataRow(-1);
}

void CustomNSOutlineViewWithDelegates::keyboardSearch(const QString &search)
{
    emit typeSelectStarted();
    CustomNSOutlineView::keyboardSearch(search);
}
