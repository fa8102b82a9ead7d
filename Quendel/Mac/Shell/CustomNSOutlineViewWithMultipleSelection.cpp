#include "Mac/Shell/CustomNSOutlineViewWithMultipleSelection.h"

#include <QKeyEvent>

CustomNSOutlineViewWithMultipleSelection::CustomNSOutlineViewWithMultipleSelection(QWidget *parent) : QTreeView(parent)
{
    setFocusPolicy(Qt::StrongFocus);
}

KeyRoutingDelegate *CustomNSOutlineViewWithMultipleSelection::routingDelegate() const
{
    return dynamic_cast<KeyRoutingDelegate *>(m_delegate.data());
}

void CustomNSOutlineViewWithMultipleSelection::keyPressEvent(QKeyEvent *event)
{
    KeyRoutingDelegate *delegate = routingDelegate();
    const KeyDelegateKinds kinds = delegate ? delegate->keyDelegateKinds() : KeyDelegateKinds();
    if (KeyRouter::perform(KeyRouter::outlineViewWithMultipleSelection(kinds, KeyInfo::fromEvent(event)), delegate,
                           event)) {
        event->accept();
        return;
    }
    QTreeView::keyPressEvent(event);
}
