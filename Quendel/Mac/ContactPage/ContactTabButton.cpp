#include "Mac/ContactPage/ContactTabButton.h"

#include "Mac/Shell/KeyRouting.h"

#include <QAbstractButton>
#include <QKeyEvent>

ContactTabButton::ContactTabButton(const QString &text, QWidget *parent) : QPushButton(text, parent)
{
    setFocusPolicy(Qt::StrongFocus);
}

void ContactTabButton::keyPressEvent(QKeyEvent *event)
{
    if (m_next && !qobject_cast<ContactTabButton *>(m_next.data()) && m_delegate)
        m_delegate->recalculateResponders();
    const KeyInfo key = KeyInfo::fromEvent(event);
    switch (key.key) {
    case KeyInfo::Space:
        if (m_delegate)
            m_delegate->addButtonWasKeyed();
        event->accept();
        return;
    case KeyInfo::DownArrow:
        if (m_delegate)
            m_delegate->subviewPressedDownButton();
        event->accept();
        return;
    case KeyInfo::LeftArrow:
        if (auto *previous = qobject_cast<QAbstractButton *>(m_previous.data()))
            previous->click();
        else if (m_delegate)
            m_delegate->subviewPressedLeftButton();
        event->accept();
        return;
    case KeyInfo::RightArrow:
        if (auto *next = qobject_cast<QAbstractButton *>(m_next.data()))
            next->click();
        event->accept();
        return;
    default:
        QPushButton::keyPressEvent(event);
    }
}
