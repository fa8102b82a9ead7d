#pragma once

#include "Mac/Shell/CustomNSOutlineView.h"

#include <QPersistentModelIndex>

// An outline that follows its model's changes as they come instead of reloading: a new section slides in
// and opens shortly after, a new or moved row is scrolled into view, and after a removal the selection
// lands on the row that took the removed one's place (or the one above). While it is not on screen it
// only keeps in step with the model. It also finds the data rows next to the selection for the editors'
// next and previous commands.
class CustomNSOutlineViewWithDelegates : public CustomNSOutlineView
{
    Q_OBJECT
public:
    // Delayed steps (opening a new section, scrolling to a new row) run this long after the change.
    static constexpr int AnimationDelayMs = 200;

    explicit CustomNSOutlineViewWithDelegates(QWidget *parent = nullptr);

    void setModel(QAbstractItemModel *model) override;

    // The view is on screen: changes are followed with selection and scrolling; otherwise only applied.
    bool isCurrentlyVisible() const { return isVisible(); }

    // The data row below (above) the selected one, skipping one section title; null, with a beep, when
    // there is none. Neither the selection nor the scroll position changes.
    QModelIndex nextItemInOutlineView() const;
    QModelIndex previousItemInOutlineView() const;

    // A section title (a top-level item with children, or one marked as a title by the model).
    bool isSectionHeader(const QModelIndex &index) const;

    // Typing letters selects the first row whose title starts with them; the owner hears of it first.
    void keyboardSearch(const QString &search) override;

signals:
    // The selection was moved after a removal.
    void selectionMovedAfterRemoval(const QModelIndex &selected);
    // A type-to-select search is about to move the selection.
    void typeSelectStarted();

private:
    void rowsWereInserted(const QModelIndex &parent, int first, int last);
    void rowsWereMoved(const QModelIndex &source, int start, int end, const QModelIndex &destination, int row);
    void rowsWillBeRemoved(const QModelIndex &parent, int first, int last);
    void rowsWereRemoved(const QModelIndex &parent, int first, int last);
    QModelIndex adjacentDataRow(int direction) const;
    void selectRowAlone(int row);

    // What a removal under way needs once it is done.
    struct PendingRemoval
    {
        bool active = false;
        bool wasSection = false;
        int formerRow = -1;
        int indexInSection = -1;
        bool affectsSelection = false;
    };
    PendingRemoval m_removal;
    QList<QMetaObject::Connection> m_connections;
};
