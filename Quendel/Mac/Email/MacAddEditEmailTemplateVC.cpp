#include "Mac/Email/MacAddEditEmailTemplateVC.h"

#include "Mac/Email/CustomNSTextViewWithPlaceholder.h"
#include "Mac/Shell/PlainTextLabel.h"
#include "SharedAppGlobals.h"

#include "QuendelKit/Entities/EmailTemplate.h"
#include "QuendelKit/Infra/QDLog.h"

#include "platform/ui/AlertPresenter.h"

#include <QApplication>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QVBoxLayout>

MacAddEditEmailTemplateVC::MacAddEditEmailTemplateVC(EmailTemplate *templateObject, ContextPtr mainContext,
                                                     QWidget *parent)
    : QWidget(parent), m_mainContext(std::move(mainContext))
{
    setAccessibleName(QStringLiteral("Template editor"));
    logEvent({{QStringLiteral("Action"), QStringLiteral("Start")}});

    auto *layout = new QVBoxLayout(this);
    auto *form = new QFormLayout;
    m_templateNameTextField = new QLineEdit(this);
    m_templateNameTextField->setAccessibleName(QStringLiteral("Template name"));
    m_templateSubjectTextField = new QLineEdit(this);
    m_templateSubjectTextField->setAccessibleName(QStringLiteral("Template subject"));
    form->addRow(new PlainTextLabel(QStringLiteral("Name:"), this), m_templateNameTextField);
    form->addRow(new PlainTextLabel(QStringLiteral("Subject:"), this), m_templateSubjectTextField);
    layout->addLayout(form);
    m_emailTextView = new CustomNSTextViewWithPlaceholder(this);
    m_emailTextView->setAccessibleName(QStringLiteral("Template text"));
    layout->addWidget(m_emailTextView, 1);
    auto *buttons = new QHBoxLayout;
    m_addTagsButton = new QPushButton(QStringLiteral("Add Tag"), this);
    m_addTagsButton->setAccessibleName(QStringLiteral("Add Tag"));
    // The button must not take the focus: the tag goes where the cursor is.
    m_addTagsButton->setFocusPolicy(Qt::NoFocus);
    connect(m_addTagsButton, &QPushButton::clicked, this, &MacAddEditEmailTemplateVC::addFieldsButtonPressed);
    buttons->addWidget(m_addTagsButton);
    buttons->addStretch(1);
    auto *cancel = new QPushButton(QStringLiteral("Cancel"), this);
    cancel->setAccessibleName(QStringLiteral("Cancel Template"));
    connect(cancel, &QPushButton::clicked, this, &MacAddEditEmailTemplateVC::cancelButtonPressed);
    auto *done = new QPushButton(QStringLiteral("Done"), this);
    done->setAccessibleName(QStringLiteral("Save Template"));
    done->setDefault(true);
    connect(done, &QPushButton::clicked, this, [this] { doneButtonPressed(); });
    buttons->addWidget(cancel);
    buttons->addWidget(done);
    layout->addLayout(buttons);

    // A child of the caller's context: nothing reaches the caller before Done.
    m_privateContext = platform::store::ManagedObjectContext::create(
        platform::store::ManagedObjectContext::ConcurrencyType::MainQueue);
    m_privateContext->setParentContext(m_mainContext);
    m_privateContext->setName(QStringLiteral("MacCreateEmailTemplate"));

    if (templateObject) {
        m_templateObject = dynamic_cast<EmailTemplate *>(m_privateContext->objectWithID(templateObject->objectID()));
    }
    if (m_templateObject) {
        if (!m_templateObject->templateName().isEmpty())
            m_templateNameTextField->setText(m_templateObject->templateName());
        const QVariantMap properties = m_templateObject->templateProperties().toMap();
        if (properties.contains(EmailTemplate::TextKey))
            m_emailTextView->setText(properties.value(EmailTemplate::TextKey).toString());
        else
            m_emailTextView->setPlaceholderText(BodyPlaceholder);
        if (properties.contains(EmailTemplate::SubjectTextKey))
            m_templateSubjectTextField->setText(properties.value(EmailTemplate::SubjectTextKey).toString());
        if (templateObject->templateProperties().typeId() != QMetaType::QVariantMap)
            m_templateObject->setTemplateProperties(QVariantMap());
        logEvent({{QStringLiteral("State"), QStringLiteral("EditTemplateStart")}});
    } else {
        m_templateObject = m_privateContext->insertNewObject<EmailTemplate>(EmailTemplate::EntityName);
        const qint64 count = m_privateContext->countForFetchRequest(EmailTemplate::fetchRequest());
        m_templateObject->setDisplayOrder(qMax<qint64>(0, count - 1));
        m_templateObject->setTemplateProperties(QVariantMap());
        m_emailTextView->setPlaceholderText(BodyPlaceholder);
        logEvent({{QStringLiteral("State"), QStringLiteral("NewTemplateStart")}});
    }
}

MacAddEditEmailTemplateVC::~MacAddEditEmailTemplateVC() = default;

void MacAddEditEmailTemplateVC::logEvent(const QVariantMap &parameters)
{
    SharedAppGlobals::sharedAppGlobals().logAnalyticsEvent(QStringLiteral("AddEditTemplate"), parameters);
}

void MacAddEditEmailTemplateVC::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    if (!m_firstShow)
        return;
    m_firstShow = false;
    if (m_emailTextView->isShowingPlaceholder())
        m_templateNameTextField->setFocus();
    else
        m_templateSubjectTextField->setFocus();
}

QMenu *MacAddEditEmailTemplateVC::buildTagMenu()
{
    auto *menu = new QMenu(QStringLiteral("Add Tag"), this);
    menu->setAccessibleName(QStringLiteral("Add Tag"));
    for (const QString &group : NameValue::groupOrder()) {
        for (const NameValue &tag : NameValue::nameValueList().value(group)) {
            QAction *action = menu->addAction(tag.tagName);
            connect(action, &QAction::triggered, this, [this, tag] { addMergeTag(tag); });
        }
        menu->addSeparator();
    }
    return menu;
}

void MacAddEditEmailTemplateVC::addFieldsButtonPressed()
{
    QWidget *focused = QApplication::focusWidget();
    m_wasEditingSubjectField = focused == m_templateSubjectTextField;
    if (m_wasEditingSubjectField) {
        m_subjectCursor = m_templateSubjectTextField->hasSelectedText() ? m_templateSubjectTextField->selectionStart()
                                                                        : m_templateSubjectTextField->cursorPosition();
        m_subjectSelectionLength = int(m_templateSubjectTextField->selectedText().size());
    }
    // A tag needs a place to go.
    if (focused != m_templateSubjectTextField && focused != m_emailTextView)
        return;
    logEvent({{QStringLiteral("Action"), QStringLiteral("ShowAddTags")}});
    QMenu *menu = buildTagMenu();
    connect(menu, &QMenu::aboutToHide, menu, &QObject::deleteLater);
    menu->popup(m_addTagsButton->mapToGlobal(QPoint(0, m_addTagsButton->height())));
}

void MacAddEditEmailTemplateVC::addMergeTag(const NameValue &tag)
{
    logEvent({{QStringLiteral("Action"), QStringLiteral("AddedTags")}});
    if (!m_templateObject)
        return;
    if (m_wasEditingSubjectField) {
        const QString text = m_templateObject->addNewMappingToSubjectProperties(tag);
        QString subject = m_templateSubjectTextField->text();
        const int at = qBound(0, m_subjectCursor, int(subject.size()));
        subject.replace(at, qMin(m_subjectSelectionLength, int(subject.size()) - at), text);
        m_templateSubjectTextField->setText(subject);
        m_templateSubjectTextField->setCursorPosition(at + int(text.size()));
        m_subjectCursor = at + int(text.size());
        m_subjectSelectionLength = 0;
        m_templateSubjectTextField->setFocus();
    } else {
        const QString text = m_templateObject->addNewMappingToProperties(tag);
        m_emailTextView->clearPlaceholder();
        m_emailTextView->textCursor().insertText(text);
        m_emailTextView->setFocus();
    }
}

bool MacAddEditEmailTemplateVC::doneButtonPressed()
{
    if (m_templateNameTextField->text().isEmpty()) {
        platform::ui::AlertSpec spec;
        spec.messageText = QStringLiteral("No Name");
        spec.informativeText = QStringLiteral("Please enter a name for the template");
        platform::ui::AlertPresenter::shared().beginSheet(spec, window());
        return false;
    }
    const QString body = m_emailTextView->text();
    const QString subject = m_templateSubjectTextField->text();
    m_templateObject->setTemplateName(m_templateNameTextField->text());
    const QVariantMap old = m_templateObject->templateProperties().toMap();
    QVariantMap properties{{EmailTemplate::TextKey, body}, {EmailTemplate::SubjectTextKey, subject}};
    const auto filtered = [&](const QString &key, const QString &text) {
        if (!old.contains(key))
            return;
        QVariantMap mapping = old.value(key).toMap();
        for (auto it = mapping.begin(); it != mapping.end();) {
            if (text.contains(it.key()))
                ++it;
            else
                it = mapping.erase(it);
        }
        properties.insert(key, mapping);
    };
    filtered(EmailTemplate::MappingKey, body);
    filtered(EmailTemplate::SubjectMappingKey, subject);
    m_templateObject->setTemplateProperties(properties);

    platform::core::QDError error;
    bool saved = m_privateContext->save(&error);
    if (saved)
        saved = m_mainContext->save(&error);
    if (!saved) {
        // A template the user wrote must not vanish without a word.
        QDLogError(QStringLiteral("AddEditTemplate: save failed - %1").arg(error.localizedDescription()));
        platform::ui::AlertSpec spec;
        spec.messageText = QStringLiteral("Could not save the template");
        spec.informativeText = error.localizedDescription();
        platform::ui::AlertPresenter::shared().beginSheet(spec, window());
        return false;
    }
    logEvent({{QStringLiteral("Action"), QStringLiteral("TemplateSave")}});
    emit doneButtonPressedSignal();
    return true;
}

void MacAddEditEmailTemplateVC::cancelButtonPressed()
{
    m_privateContext->rollback();
    emit cancelButtonPressedSignal();
}
