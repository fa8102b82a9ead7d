#pragma once

#include <QList>
#include <QObject>
#include <QPointer>
#include <QVariantMap>

#include <functional>

class MainWindow;
class MainWindowToolbar;
class QAction;
class QMenuBar;

// The main menu's commands that act on the section on show: the five section commands, Find, Paste,
// Delete, Preferences and Quit, plus the Dropbox commands when they are added. Their enabled states are
// worked out by validateMenuItem and pushed to the items whenever what they depend on changes (the
// passcode screen, the section on show, the Dropbox flags), since a shortcut runs an item without the
// menu being opened first.
class MainMenuCommands : public QObject
{
    Q_OBJECT
public:
    static inline const QString SaveToDropboxTitle = QStringLiteral("Save to Dropbox");
    static inline const QString FetchFromDropboxTitle = QStringLiteral("Fetch from Dropbox");

    using AnalyticsLogger = std::function<void(const QString &name, const QVariantMap &parameters)>;

    MainMenuCommands(MainWindow *window, MainWindowToolbar *toolbar, QObject *parent = nullptr);

    // Builds the "File", "Edit" and "View" menus into the bar.
    void buildMenus(QMenuBar *bar);

    QAction *sectionCommand(int index) const { return m_sections.value(index); }
    QAction *findCommand() const { return m_find; }
    QAction *pasteCommand() const { return m_paste; }
    QAction *deleteCommand() const { return m_delete; }
    QAction *preferencesCommand() const { return m_preferences; }
    QAction *quitCommand() const { return m_quit; }
    // A command added by another part of the application (the Dropbox menu) that follows the same rules.
    void addCommand(QAction *action);

    // ---- Hooks ----
    void setAnalyticsLogger(AnalyticsLogger logger) { m_analytics = std::move(logger); }
    void setPreferencesHandler(std::function<void()> handler)
    {
        m_preferencesHandler = std::move(handler);
        updateMenuStates();
    }
    void setQuitHandler(std::function<void()> handler) { m_quitHandler = std::move(handler); }
    // The Files section's paste and its own validation of menu items.
    void setFilesPasteHandler(std::function<void()> handler)
    {
        m_filesPaste = std::move(handler);
        updateMenuStates();
    }
    void setFilesValidator(std::function<bool(QAction *)> validator) { m_filesValidate = std::move(validator); }

    // ---- State the enabled states follow ----
    void setShowingPasswordScreen(bool showing);
    void setDropboxSyncEnabled(bool enabled);
    void setDropboxMenuEnable(bool enable);
    bool showingPasswordScreen() const { return m_passcode; }

    // The rules, in order: only Quit while the passcode screen is up; no Delete on the Map; Paste as the
    // text field or section part under the keyboard says; the Files section decides in Files; Paste and
    // Preferences only with a handler; Delete in Contacts as the section says;
    // elsewhere, with Dropbox sync on, its two commands follow the Dropbox flag.
    bool validateMenuItem(QAction *item) const;
    // Applies validateMenuItem to every command now.
    void updateMenuStates();

    // ---- Commands ----
    void menuCommandPressed(int index);
    void showPreferencesWindow();
    void paste();
    void performDelete();

private:
    QAction *makeAction(const QString &title, const QKeySequence &shortcut, std::function<void()> run);

    QPointer<MainWindow> m_window;
    QPointer<MainWindowToolbar> m_toolbar;
    QList<QAction *> m_sections;
    QAction *m_find = nullptr;
    QAction *m_paste = nullptr;
    QAction *m_delete = nullptr;
    QAction *m_preferences = nullptr;
    QAction *m_quit = nullptr;
    QList<QPointer<QAction>> m_all;
    bool m_passcode = false;
    bool m_dropboxSync = false;
    bool m_dropboxMenuEnable = true;
    AnalyticsLogger m_analytics;
    std::function<void()> m_preferencesHandler;
    std::function<void()> m_quitHandler;
    std::function<void()> m_filesPaste;
    std::function<bool(QAction *)> m_filesValidate;
};
