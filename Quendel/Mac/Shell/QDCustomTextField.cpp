#include "Mac/Shell/QDCustomTextField.h"

#include <QStyle>
#include <QStyleOptionFrame>

QDCustomTextField::QDCustomTextField(QWidget *parent) : QLineEdit(parent)
{
    connect(this, &QLineEdit::textEdited, this, [this] {
        if (!m_isEditing)
            textDidBeginEditing();
        textDidChange();
    });
    connect(this, &QLineEdit::editingFinished, this, [this] {
        if (m_isEditing)
            textDidEndEditing();
    });
}

void QDCustomTextField::textDidBeginEditing()
{
    m_isEditing = true;
}

void QDCustomTextField::textDidEndEditing()
{
    m_isEditing = false;
}

void QDCustomTextField::textDidChange()
{
    m_hasLastIntrinsicSize = false;
    updateGeometry();
}

QSize QDCustomTextField::sizeHint() const
{
    return intrinsicContentSize();
}

QSize QDCustomTextField::intrinsicContentSize() const
{
    if (!m_isEditing && m_hasLastIntrinsicSize)
        return m_lastIntrinsicSize;
    QSize size = QLineEdit::sizeHint();
    // While the field is being typed in (it has the keyboard), its width is that of the text itself, plus
    // the field's own margins and frame so nothing is cut off.
    if (hasFocus()) {
        QStyleOptionFrame option;
        initStyleOption(&option);
        const QMargins textMargin = textMargins();
        const QMargins contents = contentsMargins();
        const int inner = fontMetrics().horizontalAdvance(text()) + 2 * 2 + 1 + textMargin.left() + textMargin.right()
            + contents.left() + contents.right();
        size.setWidth(style()->sizeFromContents(QStyle::CT_LineEdit, &option, QSize(inner, size.height()), this).width());
    }
    m_lastIntrinsicSize = size;
    m_hasLastIntrinsicSize = true;
    return size;
}
