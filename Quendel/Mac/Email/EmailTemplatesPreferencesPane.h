#pragma once

#include "Mac/Email/MacAddEditEmailTemplateVC.h"
#include "platform/store/ManagedObjectContext.h"

#include <QPointer>
#include <QWidget>

class EmailTemplate;

class QListWidget;
class QPushButton;
class QStackedWidget;

// The preferences pane of e-mail templates: the list of templates with Add, Edit and Delete, and the
// template editor in place of the list while one is edited.
class EmailTemplatesPreferencesPane : public QWidget
{
    Q_OBJECT
public:
    static inline const QString PaneTitle = QStringLiteral("Templates");

    explicit EmailTemplatesPreferencesPane(QWidget *parent = nullptr);

    // Reads the templates again (the window was opened again, or the store was replaced).
    void reloadTemplates();
    void addTemplate();
    void editTemplate(EmailTemplate *emailTemplate);
    void deleteSelectedTemplate();

    QListWidget *templatesList() const { return m_list; }
    MacAddEditEmailTemplateVC *editor() const { return m_editor; }

private:
    platform::store::ContextPtr context() const;
    void showEditor(EmailTemplate *emailTemplate);
    void closeEditor();
    EmailTemplate *selectedTemplate() const;
    void refreshButtons();

    QStackedWidget *m_stack = nullptr;
    QListWidget *m_list = nullptr;
    QPushButton *m_addButton = nullptr;
    QPushButton *m_editButton = nullptr;
    QPushButton *m_deleteButton = nullptr;
    QPointer<MacAddEditEmailTemplateVC> m_editor;
    // Identities, not records: the store may be replaced while the pane is open.
    QList<platform::store::ManagedObjectID> m_templates;
};
