#include "Mac/Email/MacEmailDraftViewController.h"

#include "Mac/Email/CustomNSTextViewWithPlaceholder.h"
#include "Mac/Email/FilePickerViewController.h"
#include "Mac/Email/SelectEmailTemplateVC.h"
#include "Mac/Shell/PlainTextLabel.h"
#include "SharedAppGlobals.h"

#include "QuendelKit/Entities/EmailTemplate.h"
#include "QuendelKit/Entities/Person.h"

#include "platform/ui/AlertPresenter.h"
#include "platform/ui/Popover.h"

#include <QFormLayout>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QTextCharFormat>
#include <QTextCursor>
#include <QTextDocument>
#include <QVBoxLayout>

#include <algorithm>

MacEmailDraftViewController::MacEmailDraftViewController(const QStringList &emailAddresses, Person *person,
                                                         QWidget *parent)
    : QWidget(parent), m_emailAddresses(emailAddresses), m_detailPerson(person)
{
    setAccessibleName(QStringLiteral("Email draft"));
    setAutoFillBackground(true);
    logEvent(QStringLiteral("Start"));

    auto *layout = new QVBoxLayout(this);
    auto *form = new QFormLayout;
    m_emailAddressText = new QLineEdit(this);
    m_emailAddressText->setAccessibleName(QStringLiteral("Email to"));
    // The recipients are the addresses the sheet was made for.
    m_emailAddressText->setReadOnly(true);
    m_emailAddressText->setText(m_emailAddresses.join(QStringLiteral(", ")));
    m_subjectText = new QLineEdit(this);
    m_subjectText->setAccessibleName(QStringLiteral("Email subject"));
    form->addRow(new PlainTextLabel(QStringLiteral("To:"), this), m_emailAddressText);
    form->addRow(new PlainTextLabel(QStringLiteral("Subject:"), this), m_subjectText);
    layout->addLayout(form);

    m_emailTextView = new CustomNSTextViewWithPlaceholder(this);
    m_emailTextView->setAccessibleName(QStringLiteral("Email text"));
    m_emailTextView->setPlaceholderText(BodyPlaceholder);
    m_emailTextView->setMinimumSize(420, 220);
    layout->addWidget(m_emailTextView, 1);

    auto *buttons = new QHBoxLayout;
    m_templatesButton = new QPushButton(QStringLiteral("Templates"), this);
    m_templatesButton->setAccessibleName(QStringLiteral("Templates"));
    m_attachmentsButton = new QPushButton(QStringLiteral("Attach Files"), this);
    m_attachmentsButton->setAccessibleName(QStringLiteral("Attach Files"));
    m_attachmentsCountLabel = new PlainTextLabel(this);
    m_attachmentsCountLabel->setAccessibleName(QStringLiteral("Attachments count"));
    auto *cancel = new QPushButton(QStringLiteral("Cancel"), this);
    cancel->setAccessibleName(QStringLiteral("Cancel Email"));
    m_doneButton = new QPushButton(QStringLiteral("Done"), this);
    m_doneButton->setAccessibleName(QStringLiteral("Send Email"));
    m_doneButton->setToolTip(QStringLiteral("Hand the e-mail to the mail program"));
    buttons->addWidget(m_templatesButton);
    buttons->addWidget(m_attachmentsButton);
    buttons->addWidget(m_attachmentsCountLabel);
    buttons->addStretch(1);
    buttons->addWidget(cancel);
    buttons->addWidget(m_doneButton);
    layout->addLayout(buttons);

    connect(m_templatesButton, &QPushButton::clicked, this, &MacEmailDraftViewController::templatesButtonPressed);
    connect(m_attachmentsButton, &QPushButton::clicked, this, &MacEmailDraftViewController::attachmentIconSelected);
    connect(cancel, &QPushButton::clicked, this, &MacEmailDraftViewController::cancelButtonPressed);
    connect(m_doneButton, &QPushButton::clicked, this, &MacEmailDraftViewController::saveButtonPressed);
}

MacEmailDraftViewController::~MacEmailDraftViewController()
{
    closePopovers();
}

void MacEmailDraftViewController::logEvent(const QString &action)
{
    SharedAppGlobals::sharedAppGlobals().logAnalyticsEvent(QStringLiteral("EmailDraftPage"),
                                                           {{QStringLiteral("Action"), action}});
}

QString MacEmailDraftViewController::subject() const
{
    return m_subjectText->text();
}

QString MacEmailDraftViewController::body() const
{
    // The hint is not the user's text.
    return m_emailTextView->text();
}

platform::ui::Popover *MacEmailDraftViewController::createPopoverWithViewController(QWidget *content)
{
    auto *popover = new platform::ui::Popover(this);
    popover->setBehavior(platform::ui::Popover::Behavior::Transient);
    popover->setAnimates(true);
    popover->setContentWidget(content);
    return popover;
}

void MacEmailDraftViewController::templatesButtonPressed()
{
    logEvent(QStringLiteral("TemplateButtonPressed"));
    closePopovers();
    platform::store::ContextPtr context = appMainManagedObjectContext();
    auto *picker = new SelectEmailTemplateVC(context);
    connect(picker, &SelectEmailTemplateVC::selectedTemplate, this, &MacEmailDraftViewController::selectedTemplate);
    m_templatesPopover = createPopoverWithViewController(picker);
    m_templatesPopover->showRelativeTo(QRect(), m_templatesButton, platform::ui::Popover::Edge::Bottom);
}

void MacEmailDraftViewController::attachmentIconSelected()
{
    logEvent(QStringLiteral("AttachmentButtonPressed"));
    closePopovers();
    auto *picker = new FilePickerViewController(appMainManagedObjectContext(), &m_selectedFileAttachments);
    connect(picker, &FilePickerViewController::updateFileSelection, this,
            &MacEmailDraftViewController::updateFileSelection);
    m_attachmentsPopover = createPopoverWithViewController(picker);
    m_attachmentsPopover->showRelativeTo(QRect(), m_attachmentsButton, platform::ui::Popover::Edge::Bottom);
}

QString MacEmailDraftViewController::missingTagsMessage(int count)
{
    const QString first = count == 1 ? QStringLiteral("Contact information is missing 1 tag")
                                     : QStringLiteral("Contact information is missing %1 tags").arg(count);
    return first + QStringLiteral("\nWhat would you like to do?");
}

void MacEmailDraftViewController::selectedTemplate(EmailTemplate *emailTemplate)
{
    if (!emailTemplate)
        return;
    logEvent(QStringLiteral("TemplateSelected"));
    // The picker that called us lives in the popover: close it once the call has returned.
    QMetaObject::invokeMethod(this, &MacEmailDraftViewController::closePopovers, Qt::QueuedConnection);
    m_emailTextView->clearPlaceholder();
    m_templateName = emailTemplate->templateName();

    QStringList bodyTags;
    QStringList subjectTags;
    const QString bodyText = emailTemplate->getTemplateBodyTextForPerson(m_detailPerson, bodyTags);
    const QString subjectText = emailTemplate->getTemplateSubjectTextForPerson(m_detailPerson, subjectTags);
    m_emailTextView->setText(bodyText);
    m_subjectText->setText(subjectText);
    // A tag counts where it stands in the text; a tag only recorded in the mapping is not missing.
    bodyTags.erase(std::remove_if(bodyTags.begin(), bodyTags.end(), [&](const QString &t) { return !bodyText.contains(t); }),
                   bodyTags.end());
    subjectTags.erase(
        std::remove_if(subjectTags.begin(), subjectTags.end(), [&](const QString &t) { return !subjectText.contains(t); }),
        subjectTags.end());
    const int count = int(bodyTags.size() + subjectTags.size());
    if (count == 0)
        return;
    platform::ui::AlertSpec spec;
    spec.messageText = MissingTagsTitle;
    spec.informativeText = missingTagsMessage(count);
    spec.buttonTitles = {QStringLiteral("Highlight Missing Tags"), QStringLiteral("Remove Missing Tags"),
                         QStringLiteral("Remove Email Text"), QStringLiteral("Continue")};
    QPointer<MacEmailDraftViewController> self(this);
    platform::ui::AlertPresenter::shared().beginSheet(
        spec, window(), [self, bodyTags, subjectTags](const platform::ui::AlertResult &result) {
            if (!self)
                return;
            switch (result.buttonIndex) {
            case 0:
                self->highlightMissingTagsWithBodyList(bodyTags, subjectTags);
                break;
            case 1:
                self->removeMissingTagsWithBodyList(bodyTags, subjectTags);
                break;
            case 2:
                self->m_emailTextView->setText(QString());
                self->m_subjectText->setText(QString());
                break;
            default:
                break;
            }
        });
}

void MacEmailDraftViewController::highlightMissingTagsWithBodyList(const QStringList &bodyTags,
                                                                   const QStringList &subjectTags)
{
    QTextCharFormat red;
    red.setForeground(Qt::red);
    QTextDocument *document = m_emailTextView->document();
    for (const QString &tag : bodyTags) {
        QTextCursor found = document->find(tag, 0, QTextDocument::FindCaseSensitively);
        while (!found.isNull()) {
            found.mergeCharFormat(red);
            found = document->find(tag, found, QTextDocument::FindCaseSensitively);
        }
    }
    // A line field has one colour: a subject with missing tags is shown red as a whole, and says why.
    if (!subjectTags.isEmpty()) {
        QPalette pal = m_subjectText->palette();
        pal.setColor(QPalette::Text, Qt::red);
        m_subjectText->setPalette(pal);
        m_subjectText->setToolTip(QStringLiteral("Missing: %1").arg(subjectTags.join(QStringLiteral(", "))));
    }
}

void MacEmailDraftViewController::removeMissingTagsWithBodyList(const QStringList &bodyTags,
                                                                const QStringList &subjectTags)
{
    QString bodyText = m_emailTextView->text();
    for (const QString &tag : bodyTags)
        bodyText.remove(tag);
    m_emailTextView->setText(bodyText);
    QString subjectText = m_subjectText->text();
    for (const QString &tag : subjectTags)
        subjectText.remove(tag);
    m_subjectText->setText(subjectText);
}

void MacEmailDraftViewController::updateFileSelection()
{
    logEvent(QStringLiteral("AttachmentSelected"));
    const int count = int(m_selectedFileAttachments.size());
    m_attachmentsCountLabel->setText(count == 1 ? QStringLiteral("1 Attachment")
                                                : QStringLiteral("%1 Attachments").arg(count));
}

void MacEmailDraftViewController::closePopovers()
{
    if (m_attachmentsPopover) {
        m_attachmentsPopover->close();
        m_attachmentsPopover->deleteLater();
    }
    if (m_templatesPopover) {
        m_templatesPopover->close();
        m_templatesPopover->deleteLater();
    }
}

void MacEmailDraftViewController::saveButtonPressed()
{
    if (m_ended)
        return;
    m_ended = true;
    logEvent(QStringLiteral("Next"));
    closePopovers();
    emit finished(true);
}

void MacEmailDraftViewController::cancelButtonPressed()
{
    if (m_ended)
        return;
    m_ended = true;
    closePopovers();
    emit finished(false);
}
