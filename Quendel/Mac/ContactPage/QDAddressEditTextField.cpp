#include "Mac/ContactPage/QDAddressEditTextField.h"

#include <QFocusEvent>

QDAddressEditTextField::QDAddressEditTextField(QWidget *parent) : QLineEdit(parent)
{
    connect(this, &QLineEdit::editingFinished, this, [this] {
        m_reported = true;
        m_isEditingField = false;
    });
}

void QDAddressEditTextField::focusInEvent(QFocusEvent *event)
{
    QLineEdit::focusInEvent(event);
    m_isEditingField = true;
    m_reported = false;
}

void QDAddressEditTextField::focusOutEvent(QFocusEvent *event)
{
    const bool wasEditing = m_isEditingField;
    m_reported = false;
    QLineEdit::focusOutEvent(event);
    // A pop-up of the field itself (its context menu) does not end the edit.
    if (event->reason() == Qt::PopupFocusReason)
        return;
    // The line edit reports the loss of focus only after a change; the address cell wants every end.
    if (wasEditing && !m_reported)
        emit editingFinished();
    m_isEditingField = false;
}
