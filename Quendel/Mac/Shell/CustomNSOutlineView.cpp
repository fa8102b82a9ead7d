#include "Mac/Shell/CustomNSOutlineView.h"

#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QMenu>

CustomNSOutlineView::CustomNSOutlineView(QWidget *parent) : QTreeView(parent)
{
    setFocusPolicy(Qt::StrongFocus);
}

KeyRoutingDelegate *CustomNSOutlineView::routingDelegate() const
{
    return dynamic_cast<KeyRoutingDelegate *>(m_delegate.data());
}

bool CustomNSOutlineView::routeKey(QKeyEvent *event)
{
    KeyRoutingDelegate *delegate = routingDelegate();
    const KeyDelegateKinds kinds = delegate ? delegate->keyDelegateKinds() : KeyDelegateKinds();
    const KeyAction action = KeyRouter::outlineView(kinds, KeyInfo::fromEvent(event), [delegate] {
        return delegate && delegate->hasTableviewFirstSelection();
    });
    if (!KeyRouter::perform(action, delegate, event))
        return false;
    event->accept();
    return true;
}

bool CustomNSOutlineView::event(QEvent *event)
{
    // Tab would otherwise move the focus before the view ever sees the key.
    if (event->type() == QEvent::KeyPress) {
        auto *key = static_cast<QKeyEvent *>(event);
        if ((key->key() == Qt::Key_Tab || key->key() == Qt::Key_Backtab) && routeKey(key))
            return true;
    }
    return QTreeView::event(event);
}

void CustomNSOutlineView::keyPressEvent(QKeyEvent *event)
{
    if (routeKey(event))
        return;
    QTreeView::keyPressEvent(event);
}

int CustomNSOutlineView::rowForIndex(const QModelIndex &index) const
{
    if (!index.isValid())
        return -1;
    int row = 0;
    for (QModelIndex above = indexAbove(index.siblingAtColumn(0)); above.isValid(); above = indexAbove(above))
        ++row;
    return row;
}

QModelIndex CustomNSOutlineView::indexForRow(int row) const
{
    if (row < 0 || !model())
        return QModelIndex();
    QModelIndex index = model()->index(0, 0, rootIndex());
    for (int i = 0; i < row && index.isValid(); ++i)
        index = indexBelow(index);
    return index;
}

int CustomNSOutlineView::rowAt(const QPoint &viewportPos) const
{
    return rowForIndex(indexAt(viewportPos));
}

QMenu *CustomNSOutlineView::menuForEvent(const QPoint &viewportPos)
{
    KeyRoutingDelegate *delegate = routingDelegate();
    if (delegate && delegate->keyDelegateKinds().testFlag(KeyDelegateKind::ContactInfoViewControllerMac))
        return delegate->menuForOutlineViewRightClickOnSelectedOnRow(rowAt(viewportPos));
    return m_menu;
}

void CustomNSOutlineView::contextMenuEvent(QContextMenuEvent *event)
{
    // The event comes by way of the viewport, in its coordinates.
    if (QMenu *menu = menuForEvent(event->pos())) {
        menu->popup(event->globalPos());
        event->accept();
        return;
    }
    QTreeView::contextMenuEvent(event);
}

void CustomNSOutlineView::mousePressEvent(QMouseEvent *event)
{
    QTreeView::mousePressEvent(event);
    KeyRoutingDelegate *delegate = routingDelegate();
    if (!delegate || !delegate->keyDelegateKinds().testFlag(KeyDelegateKind::ContactInfoViewControllerMac))
        return;
    const QModelIndex index = indexAt(event->position().toPoint());
    if (!index.isValid() || index.data(ItemIsTitleRole).toBool())
        return;
    // Only a cell that already exists; none is made for the click.
    QWidget *cell = indexWidget(index.siblingAtColumn(0));
    if (!cell)
        return;
    const QString identifier = cell->objectName();
    if (identifier != QLatin1String("AddressEditingCell") && identifier != QLatin1String("DataEditingCell"))
        return;
    if (auto *receiver = dynamic_cast<TextFieldsMouseDownReceiver *>(cell))
        receiver->mouseDownForTextFields(event);
}
