#include "FieldsFixture.h"

#include "Mac/Journal/MacEditLocationsListWC.h"
#include "Mac/Journal/MacEditQDGenericListVC.h"
#include "Mac/Email/MacAddEditEmailTemplateVC.h"

#include <QLineEdit>
#include <QPushButton>

using namespace quendel::test;
using platform::ui::AlertAnswer;
using platform::ui::AlertPresenter;

namespace {

class ListEditorsTest : public FieldsTest
{
protected:
    std::unique_ptr<MacEditQDGenericListVC> titlesEditor()
    {
        return std::make_unique<MacEditQDGenericListVC>(context, MacEditQDGenericListVC::NibName,
                                                        QStringLiteral("LogTitle"), QStringLiteral("title"),
                                                        QStringLiteral("displayOrder"));
    }

    void storeTitles(const QStringList &titles)
    {
        qint64 order = 1;
        for (const QString &title : titles) {
            auto *record = insert<LogTitle>();
            record->setTitle(title);
            record->setDisplayOrder(order++);
        }
        save(context);
    }

    QList<qint64> orders(const MacEditQDGenericListVC &editor) const
    {
        QList<qint64> list;
        for (platform::store::ManagedObject *record : editor.arrangedObjects())
            list << record->value(editor.sortingKey()).toLongLong();
        return list;
    }
};

TEST_F(ListEditorsTest, AddingAsksAgainUntilTheNameIsNewAndPutsItLast)
{
    auto editor = titlesEditor();
    EXPECT_TRUE(editor->arrangedObjects().isEmpty());
    // Empty, then taken, then accepted: the add alert comes back after each refusal.
    AlertPresenter &alerts = AlertPresenter::shared();
    alerts.setNextAnswer(AlertAnswer::withText(0, QString(""))); // Add with nothing typed
    alerts.setNextAnswer(AlertAnswer::button(0));                // "Empty name"
    alerts.setNextAnswer(AlertAnswer::withText(0, QStringLiteral("Meeting")));
    editor->addButtonPressed();
    QTRY_COMPARE(editor->names(), QStringList{QStringLiteral("Meeting")});
    EXPECT_EQ(alertTitles(), (QStringList{QStringLiteral("Add New Title"), QStringLiteral("Empty name"),
                                          QStringLiteral("Add New Title")}));
    EXPECT_EQ(orders(*editor), QList<qint64>{1});

    clearAlerts();
    alerts.setNextAnswer(AlertAnswer::withText(0, QStringLiteral("Meeting")));
    alerts.setNextAnswer(AlertAnswer::button(0)); // "Existing Name"
    alerts.setNextAnswer(AlertAnswer::button(1)); // Cancel ends the loop
    editor->addButtonPressed();
    QTRY_COMPARE(alerts.pendingAnswerCount(), 0);
    EXPECT_EQ(alertTitles(), (QStringList{QStringLiteral("Add New Title"), QStringLiteral("Existing Name"),
                                          QStringLiteral("Add New Title")}));
    // Letter case makes another name.
    EXPECT_TRUE(editor->addRecordWithName(QStringLiteral("meeting")));
    EXPECT_EQ(editor->names(), (QStringList{QStringLiteral("Meeting"), QStringLiteral("meeting")}));
    EXPECT_EQ(orders(*editor), (QList<qint64>{1, 2}));
}

TEST_F(ListEditorsTest, RenamesAreUniqueExceptForTheRecordItself)
{
    storeTitles({QStringLiteral("Call"), QStringLiteral("Visit")});
    auto editor = titlesEditor();
    struct Case
    {
        int row;
        QString text;
        bool accepted;
        QStringList alerts;
    };
    const QList<Case> cases = {
        {0, QStringLiteral("Call"), true, {}}, // its own unchanged name
        {0, QStringLiteral("Visit"), false, {QStringLiteral("Name exists in list")}},
        {0, QString(), false, {}}, // refused without a word
        {0, QStringLiteral("Phone call"), true, {}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.text.toStdString());
        clearAlerts();
        EXPECT_EQ(editor->controlTextShouldEndEditing(c.row, c.text), c.accepted);
        EXPECT_EQ(alertTitles(), c.alerts);
    }
    // A rename is saved at once.
    platform::store::ContextPtr fresh = newContext();
    QStringList stored;
    for (LogTitle *title : LogTitle::loadAllLogTitlesInContext(fresh.get()))
        stored << title->title();
    EXPECT_TRUE(stored.contains(QStringLiteral("Phone call"))) << stored.join(QLatin1Char(',')).toStdString();
}

TEST_F(ListEditorsTest, EscapeLeavesARenameAndARefusedNameStaysInItsEditor)
{
    storeTitles({QStringLiteral("Call"), QStringLiteral("Visit")});
    auto editor = titlesEditor();
    editor->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(editor.get()));
    editor->tableView()->setCurrentItem(editor->tableView()->topLevelItem(0));
    editor->doubleClickAction();
    const QModelIndex first = editor->tableView()->model()->index(0, 0);
    auto *field = qobject_cast<QLineEdit *>(editor->tableView()->indexWidget(first));
    ASSERT_NE(field, nullptr);
    field->selectAll();
    QTest::keyClicks(field, QStringLiteral("Visit"));
    QTest::keyClick(field, Qt::Key_Return);
    QCoreApplication::processEvents();
    EXPECT_EQ(alertTitles(), QStringList{QStringLiteral("Name exists in list")});
    QTRY_VERIFY(qobject_cast<QLineEdit *>(editor->tableView()->indexWidget(first)));
    field = qobject_cast<QLineEdit *>(editor->tableView()->indexWidget(first));
    EXPECT_EQ(field->text(), QStringLiteral("Visit"));
    QTest::keyClick(field, Qt::Key_Escape);
    QCoreApplication::processEvents();
    EXPECT_EQ(editor->names(), (QStringList{QStringLiteral("Call"), QStringLiteral("Visit")}));
}

TEST_F(ListEditorsTest, DeleteTakesTheRightClickedRowAndADropRenumbersTheList)
{
    storeTitles({QStringLiteral("A"), QStringLiteral("B"), QStringLiteral("C"), QStringLiteral("D")});
    auto editor = titlesEditor();
    editor->tableView()->setCurrentItem(editor->tableView()->topLevelItem(0));
    // A right-click on C while A is selected.
    const QRect rowC = editor->tableView()->visualItemRect(editor->tableView()->topLevelItem(2));
    emit editor->tableView()->customContextMenuRequested(rowC.center());
    EXPECT_EQ(editor->clickedRow(), 2);
    editor->deleteSelectedListItem();
    EXPECT_EQ(editor->names(), (QStringList{QStringLiteral("A"), QStringLiteral("B"), QStringLiteral("D")}));

    EXPECT_TRUE(editor->acceptDrop(0, 2)); // A between B and D
    EXPECT_EQ(editor->names(), (QStringList{QStringLiteral("B"), QStringLiteral("A"), QStringLiteral("D")}));
    EXPECT_EQ(orders(*editor), (QList<qint64>{0, 1, 2}));
    EXPECT_TRUE(editor->acceptDrop(2, 0));
    EXPECT_EQ(editor->names(), (QStringList{QStringLiteral("D"), QStringLiteral("B"), QStringLiteral("A")}));
    EXPECT_EQ(orders(*editor), (QList<qint64>{0, 1, 2}));
    // Stored so.
    auto again = titlesEditor();
    EXPECT_EQ(again->names(), (QStringList{QStringLiteral("D"), QStringLiteral("B"), QStringLiteral("A")}));
}

TEST_F(ListEditorsTest, AFailedSaveIsRolledBackAndReported)
{
    storeTitles({QStringLiteral("Call"), QStringLiteral("Visit")});
    auto editor = titlesEditor();
    // Another context moves a title underneath the open editor, so the editor's next save clashes.
    platform::store::ContextPtr other = newContext();
    LogTitle::loadAllLogTitlesInContext(other.get()).last()->setDisplayOrder(9);
    save(other);
    EXPECT_FALSE(editor->acceptDrop(1, 0));
    EXPECT_EQ(alertTitles(), QStringList{QStringLiteral("Changes not saved")});
    EXPECT_FALSE(context->hasChanges());
    // The store keeps the other context's order.
    platform::store::ContextPtr fresh = newContext();
    QList<qint64> stored;
    for (LogTitle *title : LogTitle::loadAllLogTitlesInContext(fresh.get()))
        stored << title->displayOrder();
    EXPECT_EQ(stored, (QList<qint64>{1, 9}));
}

TEST_F(ListEditorsTest, PrivateGroupsHaveNoAddButton)
{
    MacEditQDGenericListVC groups(context, MacEditQDGenericListVC::NibName, QStringLiteral("PrivateGroups"),
                                  QStringLiteral("groupName"), QStringLiteral("groupDisplayOrder"));
    EXPECT_TRUE(groups.addButton()->isHidden());
    EXPECT_FALSE(titlesEditor()->addButton()->isHidden());
}

TEST_F(ListEditorsTest, TheFieldsListOpensTheFieldEditorInPlace)
{
    FormFields *region = storedField(QStringLiteral("Region"), FormFieldType::ListTypeName, {QStringLiteral("North")});
    storedField(QStringLiteral("Age"), FormFieldType::NumberTypeName);
    MacEditLocationsListWC list(context, QStringLiteral("FormFields"), QStringLiteral("formFieldName"),
                                QStringLiteral("formFieldDisplayOrder"), QStringLiteral("fieldtype.fieldTypeName"));
    EXPECT_EQ(list.names(), (QStringList{QStringLiteral("Region"), QStringLiteral("Age")}));
    EXPECT_EQ(list.tableView()->topLevelItem(0)->text(1), QStringLiteral("List"));
    EXPECT_EQ(list.tableView()->topLevelItem(1)->text(1), QStringLiteral("Number"));
    EXPECT_EQ(list.tableView()->topLevelItem(0)->toolTip(0), QStringLiteral("Double-click to export Field data"));

    // A new field: the editor in place of the list, 215 high; Done brings the list back with the field.
    list.addButtonPressed();
    ASSERT_TRUE(list.isShowingEditor());
    EXPECT_EQ(list.contentSize().height(), MacEditLocationsListWC::NewFieldEditorHeight);
    list.fieldWC()->fieldNameTextField()->setText(QStringLiteral("Nickname"));
    ASSERT_TRUE(list.fieldWC()->doneButtonPressed());
    EXPECT_FALSE(list.isShowingEditor());
    EXPECT_EQ(list.names(), (QStringList{QStringLiteral("Region"), QStringLiteral("Age"), QStringLiteral("Nickname")}));

    // An existing list field at the full height of its editor; Cancel leaves the list as it was.
    list.disclosureButtonSelected(0);
    ASSERT_TRUE(list.isShowingEditor());
    EXPECT_EQ(list.contentSize().height(), MacCreateNewFieldWindowController::ExpandedViewHeight);
    EXPECT_EQ(list.fieldWC()->fieldObject()->objectID(), region->objectID());
    list.fieldWC()->cancelButtonPressed();
    EXPECT_FALSE(list.isShowingEditor());
}

TEST_F(ListEditorsTest, PlacesAndTemplatesOpenTheirOwnEditorsInPlace)
{
    MacEditLocationsListWC places(context, QStringLiteral("Location"), QStringLiteral("locationName"),
                                  QStringLiteral("displayOrder"), QStringLiteral("locationAddress"));
    ASSERT_TRUE(places.addButton()->isEnabled());
    places.addButtonPressed();
    ASSERT_TRUE(places.isShowingEditor());
    ASSERT_NE(places.addLocation(), nullptr);
    places.backButtonSelected();
    EXPECT_FALSE(places.isShowingEditor());

    MacEditLocationsListWC templates(context, QStringLiteral("EmailTemplate"), QStringLiteral("templateName"),
                                     QStringLiteral("displayOrder"), QStringLiteral("Text"));
    templates.addButtonPressed();
    ASSERT_TRUE(templates.isShowingEditor());
    ASSERT_NE(templates.addTemplate(), nullptr);
    templates.addTemplate()->cancelButtonPressed();
    EXPECT_FALSE(templates.isShowingEditor());
    EXPECT_TRUE(templates.arrangedObjects().isEmpty());
}

TEST_F(ListEditorsTest, AFieldsExportListsNewestValuesFirstAsPlainText)
{
    FormFields *note = storedField(QStringLiteral("Note"), FormFieldType::TextTypeName);
    EXPECT_EQ(MacEditLocationsListWC::exportTextForField(note), QString());
    Person *ann = storedPerson(QStringLiteral("Ann"));
    Person *bob = storedPerson(QStringLiteral("Bob <b>"));
    for (Person *person : {ann, bob}) {
        auto *value = insert<UserFields>();
        value->setPerson(person);
        value->setFormfield(note);
        value->setFieldValue(person == ann ? QStringLiteral("first") : QStringLiteral("a & b"));
        save(context);
        clock->advance(60'000);
        value->setModifiedAt(platform::core::Clock::now());
        save(context);
    }
    EXPECT_EQ(MacEditLocationsListWC::exportTextForField(note),
              QStringLiteral("Bob &lt;b&gt;: a &amp; b <br>Ann: first <br>"));

    MacEditLocationsListWC list(context, QStringLiteral("FormFields"), QStringLiteral("formFieldName"),
                                QStringLiteral("formFieldDisplayOrder"), QStringLiteral("fieldtype.fieldTypeName"));
    QString subject, body;
    list.setEmailHandOff([&](const QString &s, const QString &b) {
        subject = s;
        body = b;
    });
    list.tableView()->setCurrentItem(list.tableView()->topLevelItem(0));
    list.doubleClickAction();
    EXPECT_EQ(subject, QStringLiteral("Quendel Field Values - Note"));
    EXPECT_TRUE(body.startsWith(QStringLiteral("Bob &lt;b&gt;")));
}

} // namespace
