#pragma once

#include "platform/store/ManagedObjectContext.h"

#include <QPointer>
#include <QWidget>

#include <functional>

class CustomNSTextViewWithPlaceholder;
class EmailTemplate;
class NameValue;
class QLineEdit;
class QMenu;
class QPushButton;

// The editor of one e-mail template: its name, subject and body, and the "Add Tag" menu that puts merge
// tags into the subject or the body where the cursor was. It works in a child context of the caller's, so
// Cancel leaves nothing behind; Done saves the child, then the caller's context.
class MacAddEditEmailTemplateVC : public QWidget
{
    Q_OBJECT
public:
    using ContextPtr = platform::store::ContextPtr;
    static inline const QString BodyPlaceholder = QStringLiteral(
        "Templates can be invoked when a contact is emailed or messaged. You can add Tags to customize the email "
        "for each contact");

    // A null template makes a new one.
    MacAddEditEmailTemplateVC(EmailTemplate *templateObject, ContextPtr mainContext, QWidget *parent = nullptr);
    ~MacAddEditEmailTemplateVC() override;

    EmailTemplate *templateObject() const { return m_templateObject; }
    QLineEdit *templateNameTextField() const { return m_templateNameTextField; }
    QLineEdit *templateSubjectTextField() const { return m_templateSubjectTextField; }
    CustomNSTextViewWithPlaceholder *emailTextView() const { return m_emailTextView; }
    QPushButton *addTagsButton() const { return m_addTagsButton; }

    void addFieldsButtonPressed();
    // The tag menu as it is built for the button (its actions insert the tags).
    QMenu *buildTagMenu();
    void addMergeTag(const NameValue &tag);
    // False when the name is empty (the user was told) or the save failed (the user was told).
    bool doneButtonPressed();
    void cancelButtonPressed();

signals:
    void doneButtonPressedSignal();
    void cancelButtonPressedSignal();

protected:
    void showEvent(QShowEvent *event) override;

private:
    void logEvent(const QVariantMap &parameters);

    ContextPtr m_mainContext;
    ContextPtr m_privateContext;
    EmailTemplate *m_templateObject = nullptr;
    QLineEdit *m_templateNameTextField = nullptr;
    QLineEdit *m_templateSubjectTextField = nullptr;
    CustomNSTextViewWithPlaceholder *m_emailTextView = nullptr;
    QPushButton *m_addTagsButton = nullptr;
    bool m_wasEditingSubjectField = false;
    int m_subjectCursor = 0;
    int m_subjectSelectionLength = 0;
    bool m_firstShow = true;
};
