#pragma once

#include <QPlainTextEdit>

// A text view that shows a grey hint until it is first used. The hint is not the user's text: text() is
// empty while it shows, and the first click or key press into the view takes it away.
class CustomNSTextViewWithPlaceholder : public QPlainTextEdit
{
    Q_OBJECT
public:
    explicit CustomNSTextViewWithPlaceholder(QWidget *parent = nullptr);

    void setPlaceholderText(const QString &text);
    void clearPlaceholder();
    bool placeholderSet() const { return m_placeholderSet; }
    bool isShowingPlaceholder() const { return m_showing; }
    // The user's text: empty while the hint shows.
    QString text() const;
    // Puts the user's text in (the hint goes away).
    void setText(const QString &text);
    // Tab moves the focus on instead of entering a tab character.
    void setTabMovesFocus(bool moves) { setTabChangesFocus(moves); }

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    void showHint(bool on);

    QString m_placeholder;
    bool m_placeholderSet = false;
    bool m_showing = false;
};
