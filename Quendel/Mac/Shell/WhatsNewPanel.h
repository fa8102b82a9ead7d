#pragma once

#include <QDialog>

// A window of its own beside the main window with what this version of the program offers. It stays
// open while the user works on, and ends with its Close button or the window's close.
class WhatsNewPanel : public QDialog
{
public:
    static inline const QString AccessibleName = QStringLiteral("What's New");
    static inline const QString WindowTitle = QStringLiteral("What's New in Quendel");

    explicit WhatsNewPanel(QWidget *parent = nullptr);

    // The panel's text: what this version offers.
    static QString documentText();
};
