#include "Mac/Email/EmailTemplatesPreferencesPane.h"

#include "Mac/Email/MacAddEditEmailTemplateVC.h"
#include "Mac/Email/SelectEmailTemplateVC.h"
#include "SharedAppGlobals.h"

#include "QuendelKit/Entities/EmailTemplate.h"
#include "QuendelKit/Infra/QDLog.h"

#include "platform/ui/AlertPresenter.h"

#include <QHBoxLayout>
#include <QListWidget>
#include <QPointer>
#include <QPushButton>
#include <QStackedWidget>
#include <QVBoxLayout>

EmailTemplatesPreferencesPane::EmailTemplatesPreferencesPane(QWidget *parent) : QWidget(parent)
{
    setAccessibleName(QStringLiteral("Email templates"));
    auto *outer = new QVBoxLayout(this);
    m_stack = new QStackedWidget(this);
    outer->addWidget(m_stack);

    auto *listPage = new QWidget(m_stack);
    auto *layout = new QVBoxLayout(listPage);
    m_list = new QListWidget(listPage);
    m_list->setAccessibleName(QStringLiteral("Email templates list"));
    layout->addWidget(m_list, 1);
    auto *buttons = new QHBoxLayout;
    m_addButton = new QPushButton(QStringLiteral("+"), listPage);
    m_addButton->setAccessibleName(QStringLiteral("Add Template"));
    m_addButton->setToolTip(QStringLiteral("Add Template"));
    m_deleteButton = new QPushButton(QStringLiteral("-"), listPage);
    m_deleteButton->setAccessibleName(QStringLiteral("Delete Template"));
    m_deleteButton->setToolTip(QStringLiteral("Delete Template"));
    m_editButton = new QPushButton(QStringLiteral("Edit"), listPage);
    m_editButton->setAccessibleName(QStringLiteral("Edit Template"));
    buttons->addWidget(m_addButton);
    buttons->addWidget(m_deleteButton);
    buttons->addStretch(1);
    buttons->addWidget(m_editButton);
    layout->addLayout(buttons);
    m_stack->addWidget(listPage);

    connect(m_addButton, &QPushButton::clicked, this, &EmailTemplatesPreferencesPane::addTemplate);
    connect(m_editButton, &QPushButton::clicked, this, [this] {
        if (EmailTemplate *chosen = selectedTemplate())
            editTemplate(chosen);
    });
    connect(m_deleteButton, &QPushButton::clicked, this, &EmailTemplatesPreferencesPane::deleteSelectedTemplate);
    connect(m_list, &QListWidget::itemDoubleClicked, this, [this] {
        if (EmailTemplate *chosen = selectedTemplate())
            editTemplate(chosen);
    });
    connect(m_list, &QListWidget::itemSelectionChanged, this, &EmailTemplatesPreferencesPane::refreshButtons);
    reloadTemplates();
}

platform::store::ContextPtr EmailTemplatesPreferencesPane::context() const
{
    return appMainManagedObjectContext();
}

void EmailTemplatesPreferencesPane::reloadTemplates()
{
    if (m_editor)
        return;
    m_list->clear();
    m_templates.clear();
    for (EmailTemplate *emailTemplate : SelectEmailTemplateVC::fetchTemplates(context().get())) {
        m_templates << emailTemplate->objectID();
        m_list->addItem(emailTemplate->templateName().isEmpty() ? QStringLiteral("<no name>")
                                                                 : emailTemplate->templateName());
    }
    refreshButtons();
}

void EmailTemplatesPreferencesPane::refreshButtons()
{
    const bool chosen = selectedTemplate() != nullptr;
    m_addButton->setEnabled(bool(context()));
    m_editButton->setEnabled(chosen);
    m_deleteButton->setEnabled(chosen);
}

EmailTemplate *EmailTemplatesPreferencesPane::selectedTemplate() const
{
    const int row = m_list->currentRow();
    if (row < 0 || row >= m_templates.size() || !m_list->currentItem() || !m_list->currentItem()->isSelected())
        return nullptr;
    const platform::store::ContextPtr main = context();
    return main ? dynamic_cast<EmailTemplate *>(main->existingObjectWithID(m_templates.at(row))) : nullptr;
}

void EmailTemplatesPreferencesPane::addTemplate()
{
    showEditor(nullptr);
}

void EmailTemplatesPreferencesPane::editTemplate(EmailTemplate *emailTemplate)
{
    showEditor(emailTemplate);
}

void EmailTemplatesPreferencesPane::showEditor(EmailTemplate *emailTemplate)
{
    const platform::store::ContextPtr main = context();
    if (!main || m_editor)
        return;
    m_editor = new MacAddEditEmailTemplateVC(emailTemplate, main, m_stack);
    connect(m_editor, &MacAddEditEmailTemplateVC::doneButtonPressedSignal, this,
            &EmailTemplatesPreferencesPane::closeEditor);
    connect(m_editor, &MacAddEditEmailTemplateVC::cancelButtonPressedSignal, this,
            &EmailTemplatesPreferencesPane::closeEditor);
    m_stack->addWidget(m_editor);
    m_stack->setCurrentWidget(m_editor);
}

void EmailTemplatesPreferencesPane::closeEditor()
{
    if (m_editor) {
        m_stack->removeWidget(m_editor);
        m_editor->deleteLater();
        m_editor = nullptr;
    }
    m_stack->setCurrentIndex(0);
    reloadTemplates();
}

void EmailTemplatesPreferencesPane::deleteSelectedTemplate()
{
    EmailTemplate *chosen = selectedTemplate();
    if (!chosen)
        return;
    platform::ui::AlertSpec spec;
    spec.messageText = QStringLiteral("Delete Template");
    spec.informativeText = QStringLiteral("Do you want to delete the template \"%1\"?").arg(chosen->templateName());
    spec.buttonTitles = {QStringLiteral("Delete"), QStringLiteral("Cancel")};
    QPointer<EmailTemplatesPreferencesPane> self(this);
    const platform::store::ManagedObjectID id = chosen->objectID();
    platform::ui::AlertPresenter::shared().beginSheet(spec, window(), [self, id](const platform::ui::AlertResult &result) {
        if (!self || result.buttonIndex != 0)
            return;
        const platform::store::ContextPtr main = self->context();
        platform::store::ManagedObject *object = main ? main->objectWithID(id) : nullptr;
        if (!object)
            return;
        main->deleteObject(object);
        platform::core::QDError error;
        if (!main->save(&error)) {
            main->rollback();
            QDLogError(QStringLiteral("Templates: delete failed - %1").arg(error.localizedDescription()));
            platform::ui::AlertSpec failed;
            failed.messageText = QStringLiteral("Could not delete the template");
            failed.informativeText = error.localizedDescription();
            platform::ui::AlertPresenter::shared().beginSheet(failed, self->window());
        }
        self->reloadTemplates();
    });
}
