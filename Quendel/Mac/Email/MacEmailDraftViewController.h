#pragma once

#include <QList>
#include <QPointer>
#include <QStringList>
#include <QWidget>

class CustomNSTextViewWithPlaceholder;
class EmailTemplate;
class FileAttachments;
class Person;
class QLabel;
class QLineEdit;
class QPushButton;

namespace platform::ui {
class Popover;
}

// The sheet where the user writes an e-mail to a contact before it goes to the mail program: recipients,
// subject, body, a template to start from and files to attach. Done and Cancel end it through finished().
class MacEmailDraftViewController : public QWidget
{
    Q_OBJECT
public:
    static inline const QString BodyPlaceholder = QStringLiteral(
        "The text that you enter on this draft page will be saved in a new Log, after the email has been sent from "
        "the Mail app");
    static inline const QString MissingTagsTitle = QStringLiteral("Missing Tags");

    MacEmailDraftViewController(const QStringList &emailAddresses, Person *person, QWidget *parent = nullptr);
    ~MacEmailDraftViewController() override;

    QStringList emailAddresses() const { return m_emailAddresses; }
    Person *detailPerson() const { return m_detailPerson; }
    QString templateName() const { return m_templateName; }
    QList<FileAttachments *> &selectedFileAttachments() { return m_selectedFileAttachments; }
    QString subject() const;
    QString body() const;

    QLineEdit *emailAddressText() const { return m_emailAddressText; }
    QLineEdit *subjectText() const { return m_subjectText; }
    CustomNSTextViewWithPlaceholder *emailTextView() const { return m_emailTextView; }
    QLabel *attachmentsCountLabel() const { return m_attachmentsCountLabel; }

    void templatesButtonPressed();
    void attachmentIconSelected();
    void selectedTemplate(EmailTemplate *emailTemplate);
    void updateFileSelection();
    void highlightMissingTagsWithBodyList(const QStringList &bodyTags, const QStringList &subjectTags);
    void removeMissingTagsWithBodyList(const QStringList &bodyTags, const QStringList &subjectTags);
    void closePopovers();
    void saveButtonPressed();
    void cancelButtonPressed();

    // "Contact information is missing 1 tag" / "... %lu tags", then "\nWhat would you like to do?".
    static QString missingTagsMessage(int count);

signals:
    void finished(bool donePressed);

private:
    void logEvent(const QString &action);
    platform::ui::Popover *createPopoverWithViewController(QWidget *content);

    QStringList m_emailAddresses;
    Person *m_detailPerson = nullptr;
    QString m_templateName;
    QList<FileAttachments *> m_selectedFileAttachments;
    QLineEdit *m_emailAddressText = nullptr;
    QLineEdit *m_subjectText = nullptr;
    CustomNSTextViewWithPlaceholder *m_emailTextView = nullptr;
    QLabel *m_attachmentsCountLabel = nullptr;
    QPushButton *m_templatesButton = nullptr;
    QPushButton *m_attachmentsButton = nullptr;
    QPushButton *m_doneButton = nullptr;
    QPointer<platform::ui::Popover> m_attachmentsPopover;
    QPointer<platform::ui::Popover> m_templatesPopover;
    bool m_ended = false;
};
