#pragma once

#include <QLabel>

// The application's labels show their text exactly as given. Names, titles, notes, addresses and file names
// arrive from imports and other devices: read as markup, "<img src=...>" would load a local file (one naming an
// endless device never finishes loading), "<table>" would break the row and "&amp;" would lose characters.
// The format is set before any text, so not even the first text is ever read as markup.
class PlainTextLabel : public QLabel
{
public:
    explicit PlainTextLabel(QWidget *parent = nullptr) : QLabel(parent) { setTextFormat(Qt::PlainText); }
    explicit PlainTextLabel(const QString &text, QWidget *parent = nullptr) : QLabel(parent)
    {
        setTextFormat(Qt::PlainText);
        setText(text);
    }
};
