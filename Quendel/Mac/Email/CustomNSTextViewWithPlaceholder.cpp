#include "Mac/Email/CustomNSTextViewWithPlaceholder.h"

#include <QKeyEvent>
#include <QApplication>
#include <QPalette>

CustomNSTextViewWithPlaceholder::CustomNSTextViewWithPlaceholder(QWidget *parent) : QPlainTextEdit(parent)
{
    setTabChangesFocus(true);
    document()->setDocumentMargin(2);
}

void CustomNSTextViewWithPlaceholder::showHint(bool on)
{
    m_showing = on;
    QPalette pal = palette();
    pal.setColor(QPalette::Text, on ? QColor(Qt::lightGray) : QApplication::palette().color(QPalette::Text));
    setPalette(pal);
}

void CustomNSTextViewWithPlaceholder::setPlaceholderText(const QString &text)
{
    m_placeholder = text;
    m_placeholderSet = true;
    QPlainTextEdit::setPlainText(text);
    showHint(true);
}

void CustomNSTextViewWithPlaceholder::clearPlaceholder()
{
    if (m_showing)
        QPlainTextEdit::setPlainText(QString());
    showHint(false);
}

QString CustomNSTextViewWithPlaceholder::text() const
{
    return m_showing ? QString() : toPlainText();
}

void CustomNSTextViewWithPlaceholder::setText(const QString &text)
{
    showHint(false);
    QPlainTextEdit::setPlainText(text);
}

void CustomNSTextViewWithPlaceholder::mousePressEvent(QMouseEvent *event)
{
    if (m_showing)
        clearPlaceholder();
    QPlainTextEdit::mousePressEvent(event);
}

void CustomNSTextViewWithPlaceholder::keyPressEvent(QKeyEvent *event)
{
    // Tab moves the focus on: no tab character enters the text.
    if (tabChangesFocus() && (event->key() == Qt::Key_Tab || event->key() == Qt::Key_Backtab)
        && !(event->modifiers() & Qt::ControlModifier)) {
        focusNextPrevChild(event->key() == Qt::Key_Tab);
        event->accept();
        return;
    }
    // Typing after the keyboard brought us here must not add to the hint.
    if (m_showing && !event->text().isEmpty())
        clearPlaceholder();
    QPlainTextEdit::keyPressEvent(event);
}
