#include "Mac/Preferences/PreferencesControllerWindowController.h"

#include "Mac/Preferences/BackupsPreferencesPane.h"
#include "Mac/Email/EmailTemplatesPreferencesPane.h"
#include "Mac/Preferences/ManageDataPreferencesPane.h"
#include "AppDelegate.h"

#include <QTabWidget>
#include <QVBoxLayout>

PreferencesControllerWindowController::PreferencesControllerWindowController(AppDelegate *appdelegate, QWidget *parent)
    : QWidget(parent, Qt::Window), m_appdelegate(appdelegate)
{
    setWindowTitle(WindowTitle);
    setAccessibleName(WindowTitle);
    setObjectName(QStringLiteral("PreferencesController"));
    auto *layout = new QVBoxLayout(this);
    m_tabs = new QTabWidget(this);
    m_tabs->setObjectName(QStringLiteral("preferencesTabView"));
    m_tabs->setAccessibleName(QStringLiteral("Preferences panes"));
    layout->addWidget(m_tabs);
    setMinimumWidth(480);

    m_backupsPane = new BackupsPreferencesPane(this);
    addPane(m_backupsPane, QStringLiteral("Backups"));
    addPane(new ManageDataPreferencesPane(
                [this] { return m_appdelegate ? m_appdelegate->managedObjectContext() : nullptr; }, this),
            ManageDataPreferencesPane::PaneTitle);
    m_templatesPane = new EmailTemplatesPreferencesPane(this);
    addPane(m_templatesPane, EmailTemplatesPreferencesPane::PaneTitle);
    checkSettings();
}

PreferencesControllerWindowController::~PreferencesControllerWindowController() = default;

AppDelegate *PreferencesControllerWindowController::appdelegate() const
{
    return m_appdelegate.data();
}

int PreferencesControllerWindowController::addPane(QWidget *pane, const QString &title)
{
    return m_tabs->addTab(pane, title);
}

void PreferencesControllerWindowController::checkSettings()
{
    m_backupsPane->setupBackupOptions();
    m_templatesPane->reloadTemplates();
}

void PreferencesControllerWindowController::windowWillAppear()
{
    checkSettings();
}

void PreferencesControllerWindowController::showWindow()
{
    show();
    raise();
    activateWindow();
}
