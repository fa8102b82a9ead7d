#include "Mac/Shell/MainMenuCommands.h"

#include "Mac/Shell/MainWindow.h"
#include "Mac/Shell/MainWindowManagerViewController.h"
#include "Mac/Shell/MainWindowToolbar.h"
#include "Mac/Shell/SectionSwitcher.h"

#include "platform/ui/CommandRouter.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QMenu>
#include <QMenuBar>

namespace {

const QString PasteCommandName = QStringLiteral("paste:");

// What takes Paste where the keyboard is: a text field, or a section part that answers it (a contact's
// Files tab); null when nothing short of the application would.
QObject *pasteResponder()
{
    platform::ui::CommandRouter &router = platform::ui::CommandRouter::shared();
    QObject *target = router.targetForCommand(PasteCommandName);
    return target == router.applicationResponder() ? nullptr : target;
}

} // namespace

MainMenuCommands::MainMenuCommands(MainWindow *window, MainWindowToolbar *toolbar, QObject *parent)
    : QObject(parent), m_window(window), m_toolbar(toolbar)
{
    for (int i = 0; i < SectionSwitcher::SectionCount; ++i) {
        const SectionInfo *info = SectionSwitcher::section(i);
        m_sections << makeAction(info ? info->sidebarTitle : QString(), QKeySequence(Qt::CTRL | Qt::Key(Qt::Key_1 + i)),
                                 [this, i] { menuCommandPressed(i); });
        m_sections.last()->setObjectName(QStringLiteral("menu_cmd%1Pressed").arg(i + 1));
    }
    m_find = makeAction(QStringLiteral("Find"), QKeySequence::Find, [this] {
        if (m_toolbar)
            m_toolbar->findButtonPressed();
    });
    m_paste = makeAction(QStringLiteral("Paste"), QKeySequence::Paste, [this] { paste(); });
    m_delete = makeAction(QStringLiteral("Delete"), QKeySequence::Delete, [this] { performDelete(); });
    m_preferences = makeAction(QStringLiteral("Preferences…"), QKeySequence::Preferences,
                               [this] { showPreferencesWindow(); });
    m_quit = makeAction(QStringLiteral("Quit Quendel"), QKeySequence::Quit, [this] {
        if (m_quitHandler)
            m_quitHandler();
    });
    m_quit->setObjectName(QStringLiteral("quitPressed"));
    if (m_window) {
        connect(m_window, &MainWindow::sectionPresented, this, [this] { updateMenuStates(); });
        // The shortcuts work while the window is on show, with or without a menu bar.
        for (const QPointer<QAction> &action : std::as_const(m_all))
            m_window->addAction(action);
    }
    // Paste follows the keyboard and what the clipboard holds; its shortcut only runs while it is enabled.
    if (auto *app = qobject_cast<QApplication *>(QCoreApplication::instance())) {
        connect(app, &QApplication::focusChanged, this, &MainMenuCommands::updateMenuStates);
        connect(QApplication::clipboard(), &QClipboard::dataChanged, this, &MainMenuCommands::updateMenuStates);
    }
    updateMenuStates();
}

QAction *MainMenuCommands::makeAction(const QString &title, const QKeySequence &shortcut, std::function<void()> run)
{
    auto *action = new QAction(title, this);
    action->setShortcut(shortcut);
    action->setShortcutContext(Qt::WindowShortcut);
    connect(action, &QAction::triggered, this, [this, action, run = std::move(run)] {
        // A shortcut may reach an item whose state was not yet refreshed; the rules decide once more.
        if (validateMenuItem(action))
            run();
    });
    m_all << action;
    return action;
}

void MainMenuCommands::addCommand(QAction *action)
{
    if (!action)
        return;
    m_all << action;
    if (m_window)
        m_window->addAction(action);
    updateMenuStates();
}

void MainMenuCommands::buildMenus(QMenuBar *bar)
{
    QMenu *file = bar->addMenu(QStringLiteral("File"));
    file->addAction(m_preferences);
    file->addSeparator();
    file->addAction(m_quit);
    QMenu *edit = bar->addMenu(QStringLiteral("Edit"));
    edit->addAction(m_paste);
    edit->addAction(m_delete);
    edit->addSeparator();
    edit->addAction(m_find);
    QMenu *view = bar->addMenu(QStringLiteral("View"));
    for (QAction *action : std::as_const(m_sections))
        view->addAction(action);
    for (QMenu *menu : {file, edit, view})
        connect(menu, &QMenu::aboutToShow, this, &MainMenuCommands::updateMenuStates);
}

void MainMenuCommands::setShowingPasswordScreen(bool showing)
{
    m_passcode = showing;
    updateMenuStates();
}

void MainMenuCommands::setDropboxSyncEnabled(bool enabled)
{
    m_dropboxSync = enabled;
    updateMenuStates();
}

void MainMenuCommands::setDropboxMenuEnable(bool enable)
{
    m_dropboxMenuEnable = enable;
    updateMenuStates();
}

bool MainMenuCommands::validateMenuItem(QAction *item) const
{
    if (!item)
        return false;
    if (m_passcode)
        return item == m_quit;
    const int index = m_window ? m_window->currentIndex() : -1;
    if (index == SectionSwitcher::Map && item == m_delete)
        return false;
    // Paste goes where the keyboard is when something there takes it, else to the Files section.
    if (item == m_paste && pasteResponder())
        return platform::ui::CommandRouter::shared().validateCommand(PasteCommandName, item).enabled;
    if (index == SectionSwitcher::Files && item != m_quit)
        return m_filesValidate ? m_filesValidate(item) : true;
    // Preferences needs its window.
    if (item == m_paste)
        return false;
    if (item == m_preferences)
        return bool(m_preferencesHandler);
    // In Contacts, Delete needs something selected where the keyboard is.
    if (index == SectionSwitcher::Contacts && item == m_delete) {
        MainWindowManagerViewController *contacts = m_window->sectionController(SectionSwitcher::Contacts);
        return contacts && contacts->validateMenuItem(item);
    }
    if (m_dropboxSync) {
        const QString title = item->text();
        if (title == SaveToDropboxTitle || title == FetchFromDropboxTitle)
            return m_dropboxMenuEnable;
    }
    return true;
}

void MainMenuCommands::updateMenuStates()
{
    for (const QPointer<QAction> &action : std::as_const(m_all)) {
        if (action)
            action->setEnabled(validateMenuItem(action));
    }
}

void MainMenuCommands::menuCommandPressed(int index)
{
    if (m_analytics)
        m_analytics(QStringLiteral("AppDelegate-Menu"),
                    {{QStringLiteral("Action"), QStringLiteral("cmd%1Pressed").arg(index + 1)}});
    if (m_window)
        m_window->selectItemAtIndex(index);
}

void MainMenuCommands::showPreferencesWindow()
{
    if (m_analytics)
        m_analytics(QStringLiteral("ShowPreferencesWindow"), {});
    if (m_preferencesHandler)
        m_preferencesHandler();
}

void MainMenuCommands::paste()
{
    if (pasteResponder()) {
        platform::ui::CommandRouter::shared().sendCommand(PasteCommandName, m_paste);
        return;
    }
    if (m_filesPaste && m_window && m_window->currentIndex() == SectionSwitcher::Files)
        m_filesPaste();
}

void MainMenuCommands::performDelete()
{
    if (!m_window)
        return;
    if (m_window->currentIndex() == SectionSwitcher::Contacts) {
        if (MainWindowManagerViewController *contacts = m_window->sectionController(SectionSwitcher::Contacts))
            contacts->performDelete(this);
        return;
    }
    // The other sections take Delete through the command router.
    platform::ui::CommandRouter::shared().sendCommand(QStringLiteral("delete:"), this);
}
