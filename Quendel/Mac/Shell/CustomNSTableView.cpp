#include "Mac/Shell/CustomNSTableView.h"

#include <QKeyEvent>

CustomNSTableView::CustomNSTableView(QWidget *parent) : QTableView(parent)
{
    setFocusPolicy(Qt::StrongFocus);
}

KeyRoutingDelegate *CustomNSTableView::routingDelegate() const
{
    return dynamic_cast<KeyRoutingDelegate *>(m_delegate.data());
}

void CustomNSTableView::keyPressEvent(QKeyEvent *event)
{
    KeyRoutingDelegate *delegate = routingDelegate();
    const KeyDelegateKinds kinds = delegate ? delegate->keyDelegateKinds() : KeyDelegateKinds();
    const KeyAction action = KeyRouter::tableView(kinds, KeyInfo::fromEvent(event), [delegate] {
        return delegate && delegate->hasTableviewFirstSelection();
    });
    if (KeyRouter::perform(action, delegate, event)) {
        event->accept();
        return;
    }
    QTableView::keyPressEvent(event);
}
