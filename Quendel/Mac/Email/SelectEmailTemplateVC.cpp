#include "Mac/Email/SelectEmailTemplateVC.h"

#include "Mac/Shell/PlainTextLabel.h"

#include "QuendelKit/Entities/EmailTemplate.h"

#include "platform/store/SortDescriptor.h"

#include <QListWidget>
#include <QVBoxLayout>

SelectEmailTemplateVC::SelectEmailTemplateVC(platform::store::ContextPtr context, QWidget *parent)
    : QWidget(parent), m_context(std::move(context))
{
    setAccessibleName(QStringLiteral("Template picker"));
    auto *layout = new QVBoxLayout(this);
    m_sourceTableView = new QListWidget(this);
    m_sourceTableView->setAccessibleName(QStringLiteral("Templates"));
    m_sourceTableView->setWordWrap(true);
    m_emptyLabel = new PlainTextLabel(QStringLiteral("No Templates"), this);
    m_emptyLabel->setAlignment(Qt::AlignCenter);
    layout->addWidget(m_emptyLabel);
    layout->addWidget(m_sourceTableView, 1);
    m_templates = fetchTemplates(m_context.get());
    for (EmailTemplate *emailTemplate : std::as_const(m_templates)) {
        const QString name =
            emailTemplate->templateName().isEmpty() ? QStringLiteral("<no name>") : emailTemplate->templateName();
        const QString text = emailTemplate->templateProperties().toMap().value(EmailTemplate::TextKey).toString();
        // Plain text: a list item never reads markup.
        auto *item = new QListWidgetItem(name + QLatin1Char('\n') + text.section(QLatin1Char('\n'), 0, 0));
        item->setToolTip(text.left(500));
        m_sourceTableView->addItem(item);
    }
    m_emptyLabel->setVisible(m_templates.isEmpty());
    connect(m_sourceTableView, &QListWidget::itemClicked, this, [this](QListWidgetItem *item) {
        const int row = m_sourceTableView->row(item);
        if (row >= 0 && row < m_templates.size())
            selectTemplate(m_templates.at(row));
    });
    resize(300, 260);
}

QList<EmailTemplate *> SelectEmailTemplateVC::fetchTemplates(platform::store::ManagedObjectContext *context)
{
    QList<EmailTemplate *> templates;
    if (!context)
        return templates;
    platform::store::FetchRequest request = EmailTemplate::fetchRequest();
    request.setSortDescriptors({platform::store::SortDescriptor(QStringLiteral("displayOrder"), true)});
    for (platform::store::ManagedObject *object : context->executeFetchRequest(request)) {
        if (auto *emailTemplate = dynamic_cast<EmailTemplate *>(object))
            templates << emailTemplate;
    }
    return templates;
}

void SelectEmailTemplateVC::selectTemplate(EmailTemplate *emailTemplate)
{
    emit selectedTemplate(emailTemplate);
}
