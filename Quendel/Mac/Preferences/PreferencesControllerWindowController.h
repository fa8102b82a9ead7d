#pragma once

#include <QPointer>
#include <QWidget>

class AppDelegate;
class BackupsPreferencesPane;
class EmailTemplatesPreferencesPane;
class QTabWidget;

// The preferences window: one window of tabbed panes. Every control writes its setting the moment it
// changes; there is no OK or Cancel. Panes are added as tabs; the window keeps its place and its panes when
// it is closed, and reloads them from their settings each time it is opened again.
class PreferencesControllerWindowController : public QWidget
{
    Q_OBJECT
public:
    static inline const QString WindowTitle = QStringLiteral("Preferences");

    explicit PreferencesControllerWindowController(AppDelegate *appdelegate, QWidget *parent = nullptr);
    ~PreferencesControllerWindowController() override;

    // Brings the window to the front, reloading every pane.
    void showWindow();
    // Sent each time the existing window is opened again.
    void windowWillAppear();
    // Loads every pane from its stores.
    void checkSettings();

    // Adds a pane as a tab; its index.
    int addPane(QWidget *pane, const QString &title);

    QTabWidget *preferencesTabView() const { return m_tabs; }
    BackupsPreferencesPane *backupsPane() const { return m_backupsPane; }
    EmailTemplatesPreferencesPane *templatesPane() const { return m_templatesPane; }
    AppDelegate *appdelegate() const;

private:
    QPointer<AppDelegate> m_appdelegate;
    QTabWidget *m_tabs = nullptr;
    BackupsPreferencesPane *m_backupsPane = nullptr;
    EmailTemplatesPreferencesPane *m_templatesPane = nullptr;
};
