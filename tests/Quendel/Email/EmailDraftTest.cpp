#include "QuendelKit/Entities/EntityStoreFixture.h"

#include "Mac/Email/CustomNSTextViewWithPlaceholder.h"
#include "Mac/Email/FilePickerViewController.h"
#include "Mac/Email/MacAddEditEmailTemplateVC.h"
#include "Mac/Email/MacEmailDraftViewController.h"

#include "QuendelKit/Entities/EmailTemplate.h"

#include "platform/ui/AlertPresenter.h"

#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QSignalSpy>
#include <QTest>
#include <QTextBlock>
#include <QTreeWidget>
#include <gtest/gtest.h>

using quendel::test::EntityStoreTest;
using platform::ui::AlertAnswer;
using platform::ui::AlertPresenter;

namespace {

TEST(EmailDraftText, MissingTagsMessage)
{
    EXPECT_EQ(MacEmailDraftViewController::missingTagsMessage(1),
              QStringLiteral("Contact information is missing 1 tag\nWhat would you like to do?"));
    EXPECT_EQ(MacEmailDraftViewController::missingTagsMessage(3),
              QStringLiteral("Contact information is missing 3 tags\nWhat would you like to do?"));
}

TEST(EmailDraftText, PlaceholderIsNotTheUsersText)
{
    CustomNSTextViewWithPlaceholder view;
    view.setPlaceholderText(QStringLiteral("hint"));
    view.show();
    EXPECT_EQ(view.toPlainText(), QStringLiteral("hint"));
    EXPECT_EQ(view.text(), QString());
    // Focus alone keeps the hint; typing replaces it instead of adding to it.
    view.setFocus();
    EXPECT_TRUE(view.isShowingPlaceholder());
    QTest::keyClicks(&view, QStringLiteral("ab"));
    EXPECT_EQ(view.text(), QStringLiteral("ab"));
    // Tab moves on and enters nothing.
    QTest::keyClick(&view, Qt::Key_Tab);
    EXPECT_EQ(view.text(), QStringLiteral("ab"));

    CustomNSTextViewWithPlaceholder clicked;
    clicked.setPlaceholderText(QStringLiteral("hint"));
    clicked.show();
    QTest::mouseClick(clicked.viewport(), Qt::LeftButton);
    EXPECT_EQ(clicked.toPlainText(), QString());
    EXPECT_FALSE(clicked.isShowingPlaceholder());
}

class EmailDraftTest : public EntityStoreTest
{
protected:
    void SetUp() override
    {
        EntityStoreTest::SetUp();
        AlertPresenter::shared().setBlockingForbidden(true);
        AlertPresenter::shared().clearAnswers();
        AlertPresenter::shared().clearShownAlerts();
        person = insert<Person>();
        person->setFirstName(QStringLiteral("Ann"));
        emailTemplate = insert<EmailTemplate>();
        emailTemplate->setTemplateName(QStringLiteral("Welcome"));
        const QString first = QStringLiteral("<$Person.firstName$>");
        const QString company = QStringLiteral("<$Person.companyName$>");
        const QString last = QStringLiteral("<$Person.lastName$>");
        emailTemplate->setTemplateProperties(QVariantMap{
            {EmailTemplate::TextKey, QStringLiteral("Dear %1 of %2, %2 and %3.").arg(first, company, last)},
            {EmailTemplate::MappingKey, QVariantMap{{first, QStringLiteral("Person.firstName")},
                                                    {company, QStringLiteral("Person.companyName")},
                                                    {last, QStringLiteral("Person.lastName")}}},
            {EmailTemplate::SubjectTextKey, QStringLiteral("For %1").arg(company)},
            {EmailTemplate::SubjectMappingKey, QVariantMap{{company, QStringLiteral("Person.companyName")}}},
        });
    }
    void TearDown() override
    {
        AlertPresenter::shared().clearAnswers();
        EntityStoreTest::TearDown();
    }
    void choose(MacEmailDraftViewController &draft, int button)
    {
        AlertPresenter::shared().setNextAnswer(AlertAnswer::button(button));
        draft.selectedTemplate(emailTemplate);
        QTest::qWait(10);
        QCoreApplication::processEvents();
    }
    Person *person = nullptr;
    EmailTemplate *emailTemplate = nullptr;
};

TEST_F(EmailDraftTest, EveryAnswerOfTheMissingTagsQuestion)
{
    const struct
    {
        const char *name;
        int button;
        QString body;
        QString subject;
    } cases[] = {
        {"highlight", 0, QStringLiteral("Dear Ann of <$Person.companyName$>, <$Person.companyName$> and <$Person.lastName$>."),
         QStringLiteral("For <$Person.companyName$>")},
        {"remove", 1, QStringLiteral("Dear Ann of ,  and ."), QStringLiteral("For ")},
        {"remove text", 2, QString(), QString()},
        {"continue", 3, QStringLiteral("Dear Ann of <$Person.companyName$>, <$Person.companyName$> and <$Person.lastName$>."),
         QStringLiteral("For <$Person.companyName$>")},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        AlertPresenter::shared().clearShownAlerts();
        MacEmailDraftViewController draft({QStringLiteral("ann@example.org")}, person);
        draft.show();
        EXPECT_TRUE(draft.emailTextView()->isShowingPlaceholder());
        choose(draft, c.button);
        ASSERT_EQ(AlertPresenter::shared().shownAlerts().size(), 1);
        const platform::ui::AlertSpec spec = AlertPresenter::shared().shownAlerts().first().spec;
        EXPECT_EQ(spec.messageText, QStringLiteral("Missing Tags"));
        // Two tags of the body (one of them twice) and one of the subject.
        EXPECT_EQ(spec.informativeText, MacEmailDraftViewController::missingTagsMessage(3));
        EXPECT_EQ(draft.body(), c.body);
        EXPECT_EQ(draft.subject(), c.subject);
        EXPECT_EQ(draft.templateName(), QStringLiteral("Welcome"));
        if (c.button == 0) {
            // Every occurrence of a missing tag is red, the filled value is not.
            const QString text = draft.emailTextView()->toPlainText();
            QTextCursor cursor(draft.emailTextView()->document());
            int red = 0;
            for (int i = 0; i < text.size(); ++i) {
                cursor.setPosition(i + 1);
                if (cursor.charFormat().foreground().color() == QColor(Qt::red))
                    ++red;
            }
            EXPECT_EQ(red, 2 * int(QStringLiteral("<$Person.companyName$>").size())
                               + int(QStringLiteral("<$Person.lastName$>").size()));
        }
    }
}

TEST_F(EmailDraftTest, NoQuestionWhenEveryTagHasAValueAndAnEmptyBodyStaysEmpty)
{
    person->setCompanyName(QStringLiteral("Acme"));
    person->setLastName(QStringLiteral("Lee"));
    MacEmailDraftViewController draft({QStringLiteral("ann@example.org")}, person);
    choose(draft, 3);
    EXPECT_TRUE(AlertPresenter::shared().shownAlerts().isEmpty());
    EXPECT_EQ(draft.body(), QStringLiteral("Dear Ann of Acme, Acme and Lee."));
    EXPECT_EQ(draft.subject(), QStringLiteral("For Acme"));

    EmailTemplate *empty = insert<EmailTemplate>();
    empty->setTemplateProperties(QVariantMap());
    draft.selectedTemplate(empty);
    EXPECT_EQ(draft.body(), QString());
    EXPECT_FALSE(draft.emailTextView()->isShowingPlaceholder());
}

TEST_F(EmailDraftTest, DoneAndCancelEndOnceAndTheCountFollowsTheFiles)
{
    MacEmailDraftViewController draft({QStringLiteral("a@x.org"), QStringLiteral("b@y.org")}, person);
    QSignalSpy finished(&draft, &MacEmailDraftViewController::finished);
    EXPECT_EQ(draft.emailAddresses().size(), 2);
    EXPECT_TRUE(draft.emailAddressText()->isReadOnly());
    auto *file = insert<FileAttachments>();
    draft.selectedFileAttachments() << file;
    draft.updateFileSelection();
    EXPECT_EQ(draft.attachmentsCountLabel()->text(), QStringLiteral("1 Attachment"));
    draft.selectedFileAttachments().clear();
    draft.updateFileSelection();
    EXPECT_EQ(draft.attachmentsCountLabel()->text(), QStringLiteral("0 Attachments"));
    draft.saveButtonPressed();
    draft.cancelButtonPressed();
    ASSERT_EQ(finished.size(), 1);
    EXPECT_TRUE(finished.first().first().toBool());
}

TEST_F(EmailDraftTest, EditorKeepsOnlyTheMappingsOfTagsStillInTheText)
{
    ASSERT_TRUE(context->save());
    MacAddEditEmailTemplateVC editor(nullptr, context);
    editor.show();
    editor.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&editor));
    editor.templateNameTextField()->setText(QStringLiteral("Tagged"));
    const NameValue first = NameValue::nameValueList().value(QStringLiteral("Person")).at(0);
    const NameValue last = NameValue::nameValueList().value(QStringLiteral("Person")).at(1);
    // Two tags into the body, then one of them deleted again; one tag into the subject at the cursor.
    editor.emailTextView()->setFocus();
    editor.addFieldsButtonPressed();
    editor.addMergeTag(first);
    editor.addMergeTag(last);
    QString body = editor.emailTextView()->text();
    body.remove(EmailTemplate::tagText(last));
    editor.emailTextView()->setText(body + QStringLiteral(" and ") + EmailTemplate::tagText(first));
    editor.templateSubjectTextField()->setText(QStringLiteral("Hi !"));
    editor.templateSubjectTextField()->setFocus();
    editor.templateSubjectTextField()->setCursorPosition(3);
    // The menu ends the subject's editing; the tag still goes where the cursor was.
    editor.addFieldsButtonPressed();
    if (QWidget *popup = QApplication::activePopupWidget())
        popup->close();
    editor.addMergeTag(first);
    EXPECT_EQ(editor.templateSubjectTextField()->text(), QStringLiteral("Hi <$Person.firstName$>!"));
    ASSERT_TRUE(editor.doneButtonPressed());

    auto fresh = newContext();
    const QList<platform::store::ManagedObject *> all = fresh->executeFetchRequest(EmailTemplate::fetchRequest());
    EmailTemplate *stored = nullptr;
    for (auto *object : all) {
        auto *t = dynamic_cast<EmailTemplate *>(object);
        if (t && t->templateName() == QLatin1String("Tagged"))
            stored = t;
    }
    ASSERT_NE(stored, nullptr);
    const QVariantMap properties = stored->templateProperties().toMap();
    EXPECT_EQ(properties.value(EmailTemplate::TextKey).toString(),
              QStringLiteral("<$Person.firstName$> and <$Person.firstName$>"));
    EXPECT_EQ(properties.value(EmailTemplate::MappingKey).toMap().keys(), QStringList{QStringLiteral("<$Person.firstName$>")});
    EXPECT_EQ(properties.value(EmailTemplate::SubjectMappingKey).toMap().keys(),
              QStringList{QStringLiteral("<$Person.firstName$>")});
    // One template was there before: the new one comes second.
    EXPECT_EQ(stored->displayOrder(), 1);
}

TEST_F(EmailDraftTest, EditorRefusesANamelessTemplateAndCancelLeavesNothing)
{
    ASSERT_TRUE(context->save());
    const qint64 before = context->countForFetchRequest(EmailTemplate::fetchRequest());
    {
        MacAddEditEmailTemplateVC editor(nullptr, context);
        EXPECT_TRUE(editor.emailTextView()->isShowingPlaceholder());
        EXPECT_FALSE(editor.doneButtonPressed());
        ASSERT_FALSE(AlertPresenter::shared().shownAlerts().isEmpty());
        EXPECT_EQ(AlertPresenter::shared().shownAlerts().last().spec.messageText, QStringLiteral("No Name"));
        editor.cancelButtonPressed();
    }
    EXPECT_EQ(newContext()->countForFetchRequest(EmailTemplate::fetchRequest()), before);
}

} // namespace

namespace {

TEST_F(EmailDraftTest, FilePickerTogglesFilesByContactAndSearches)
{
    Person *bob = insert<Person>();
    bob->setFirstName(QStringLiteral("Bob"));
    const auto attach = [&](Person *owner, const QString &name) {
        auto *file = insert<FileAttachments>();
        file->setFileName(file->setupUniqueFilenameWithName(name));
        file->setFileRenamedName(name);
        file->setPerson(owner);
        return file;
    };
    FileAttachments *plan = attach(person, QStringLiteral("plan.pdf"));
    attach(bob, QStringLiteral("notes.txt"));
    ASSERT_TRUE(context->save());

    QList<FileAttachments *> chosen;
    FilePickerViewController picker(context, &chosen);
    QSignalSpy changed(&picker, &FilePickerViewController::updateFileSelection);
    QTreeWidget *tree = picker.allFilesOutlineView();
    ASSERT_EQ(tree->topLevelItemCount(), 2);
    QTreeWidgetItem *header = tree->topLevelItem(0);
    EXPECT_EQ(header->text(0), person->displayName());
    // A header can be neither chosen nor collapsed.
    picker.fileSelected(header);
    EXPECT_TRUE(chosen.isEmpty());
    EXPECT_EQ(changed.size(), 0);
    EXPECT_FALSE(tree->rootIsDecorated());

    picker.fileSelected(tree->topLevelItem(0)->child(0));
    ASSERT_EQ(chosen, QList<FileAttachments *>{plan});
    EXPECT_EQ(tree->topLevelItem(0)->child(0)->checkState(0), Qt::Checked);
    picker.fileSelected(tree->topLevelItem(0)->child(0));
    EXPECT_TRUE(chosen.isEmpty());
    EXPECT_EQ(changed.size(), 2);

    picker.searchResultsWithString(QStringLiteral("NOTES"));
    ASSERT_EQ(tree->topLevelItemCount(), 1);
    EXPECT_EQ(tree->topLevelItem(0)->child(0)->text(0), QStringLiteral("notes.txt"));
    picker.searchResultsWithString(QString());
    EXPECT_EQ(tree->topLevelItemCount(), 2);
}

} // namespace
