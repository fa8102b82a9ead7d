#pragma once

#include "platform/store/ManagedObjectContext.h"

#include <QList>
#include <QWidget>

#include <functional>

class EmailTemplate;
class QLabel;
class QListWidget;

// The list of e-mail templates the draft sheet offers in a popover: name over body text, in the order
// the templates list keeps. A click on a row hands that template to the delegate.
class SelectEmailTemplateVC : public QWidget
{
    Q_OBJECT
public:
    explicit SelectEmailTemplateVC(platform::store::ContextPtr context, QWidget *parent = nullptr);

    // Every template of the context by display order.
    static QList<EmailTemplate *> fetchTemplates(platform::store::ManagedObjectContext *context);

    QListWidget *sourceTableView() const { return m_sourceTableView; }
    QLabel *emptyLabel() const { return m_emptyLabel; }
    void selectTemplate(EmailTemplate *emailTemplate);

signals:
    void selectedTemplate(EmailTemplate *emailTemplate);

private:
    platform::store::ContextPtr m_context;
    QList<EmailTemplate *> m_templates;
    QListWidget *m_sourceTableView = nullptr;
    QLabel *m_emptyLabel = nullptr;
};
