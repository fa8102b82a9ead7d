#include "FieldsFixture.h"

#include "Mac/ContactPage/ContactFieldsViewControllerMac.h"
#include "Mac/Contacts/ContactsCustomFieldMenu.h"

#include "platform/core/UserDefaults.h"

#include <QComboBox>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QTableWidget>

using namespace quendel::test;
using platform::ui::AlertAnswer;
using platform::ui::AlertPresenter;

namespace {

class FieldsTabTest : public FieldsTest
{
protected:
    QStringList rowNames(const ContactFieldsViewControllerMac &tab) const
    {
        QStringList names;
        for (const FormFields *field : tab.arrangedObjects())
            names << field->formFieldName();
        return names;
    }
};

TEST_F(FieldsTabTest, RowsAreFavouritesAndTheContactsOwnFieldsWithTheFillerWhenNone)
{
    Person *zoe = storedPerson(QStringLiteral("Zoe"));
    FormFields *stage = storedField(QStringLiteral("Stage"), FormFieldType::ListTypeName,
                                    {QStringLiteral("Lead"), QStringLiteral("Won")});
    ContactFieldsViewControllerMac tab(zoe);
    EXPECT_TRUE(tab.arrangedObjects().isEmpty());
    EXPECT_TRUE(tab.showingFillerText());

    // Adding a field from the menu gives the contact a value and removes the filler.
    tab.createUserFieldWithFormField(stage, true);
    EXPECT_EQ(rowNames(tab), QStringList{QStringLiteral("Stage")});
    EXPECT_FALSE(tab.showingFillerText());
    auto *popup = qobject_cast<QComboBox *>(tab.valueControlForRow(0));
    ASSERT_NE(popup, nullptr);
    EXPECT_EQ(popup->count(), 2);
    EXPECT_EQ(tab.sourceTableView()->cellWidget(0, 0)->toolTip(), ContactFieldsViewControllerMac::FirstRowToolTip);
    popup->setCurrentIndex(1);
    tab.popupButtonChanged(0);
    platform::store::ContextPtr fresh = newContext();
    auto *stored = dynamic_cast<FormFields *>(fresh->objectWithID(stage->objectID()));
    ASSERT_EQ(stored->userfields().size(), 1);
    EXPECT_EQ(stored->userfields().first()->listvalue()->title(), QStringLiteral("Won"));

    // A favourite shows its default on every contact, before the contact has a value of its own.
    storedField(QStringLiteral("Tier"), FormFieldType::TextTypeName, {}, true, QStringLiteral("Bronze"));
    tab.fetchUsingArrayController();
    EXPECT_EQ(rowNames(tab), (QStringList{QStringLiteral("Stage"), QStringLiteral("Tier")}));
    EXPECT_EQ(tab.rowText(1), QStringLiteral("Bronze"));
    EXPECT_EQ(UserFields::userFieldForFormField(tab.arrangedObjects().at(1), zoe), nullptr);
    auto *edit = qobject_cast<QLineEdit *>(tab.valueControlForRow(1));
    ASSERT_NE(edit, nullptr);
    edit->setText(QStringLiteral("Gold"));
    EXPECT_TRUE(tab.controlTextShouldEndEditing(1));
    ASSERT_NE(UserFields::userFieldForFormField(tab.arrangedObjects().at(1), zoe), nullptr);
    EXPECT_EQ(tab.rowText(1), QStringLiteral("Gold"));

    // A favourite cannot be taken away.
    tab.sourceTableView()->selectRow(1);
    AlertPresenter::shared().setNextAnswer(AlertAnswer::button(0)); // Delete
    tab.deleteSelectedRow();
    QCoreApplication::processEvents();
    EXPECT_EQ(alertTitles(), (QStringList{QStringLiteral("Delete Field"), QStringLiteral("Cannot delete Field")}));
    EXPECT_EQ(rowNames(tab), (QStringList{QStringLiteral("Stage"), QStringLiteral("Tier")}));
}

TEST_F(FieldsTabTest, DeletingAsksUntilTheUserTurnsTheQuestionOff)
{
    Person *zoe = storedPerson(QStringLiteral("Zoe"));
    FormFields *note = storedField(QStringLiteral("Note"), FormFieldType::TextTypeName);
    FormFields *age = storedField(QStringLiteral("Age"), FormFieldType::NumberTypeName);
    ContactFieldsViewControllerMac tab(zoe);
    tab.createUserFieldWithFormField(note, true);
    tab.createUserFieldWithFormField(age, true);
    ASSERT_EQ(tab.arrangedObjectCount(), 2);

    // "No" with the box ticked: nothing goes, but from now on nobody asks.
    tab.sourceTableView()->selectRow(0);
    AlertPresenter::shared().setNextAnswer(AlertAnswer::button(1, true));
    tab.deleteSelectedRow();
    QCoreApplication::processEvents();
    EXPECT_EQ(tab.arrangedObjectCount(), 2);
    EXPECT_TRUE(platform::core::UserDefaults::standardUserDefaults()->boolForKey(
        ContactFieldsViewControllerMac::DeleteFieldDefaultsKey));
    clearAlerts();
    tab.sourceTableView()->selectRow(0);
    tab.deleteSelectedRow();
    EXPECT_TRUE(alertTitles().isEmpty());
    EXPECT_EQ(rowNames(tab), QStringList{QStringLiteral("Age")});
    // Only the value went; the definition stays for other contacts.
    platform::store::ContextPtr fresh;
    EXPECT_EQ(fieldNames(fresh), (QStringList{QStringLiteral("Note"), QStringLiteral("Age")}));
}

TEST_F(FieldsTabTest, UnreadableAmountsAndNumbersStayForTheUserToMend)
{
    Person *zoe = storedPerson(QStringLiteral("Zoe"));
    FormFields *price = storedField(QStringLiteral("Price"), FormFieldType::CurrencyTypeName);
    FormFields *text = storedField(QStringLiteral("Note"), FormFieldType::TextTypeName);
    ContactFieldsViewControllerMac tab(zoe);
    tab.createUserFieldWithFormField(price, true);
    tab.createUserFieldWithFormField(text, true);
    struct Case
    {
        int row;
        QString typed;
        bool accepted;
        QStringList alerts;
    };
    const QList<Case> cases = {
        {0, QStringLiteral("abc"), false, {QStringLiteral("Currency Formatting Error")}},
        {0, QStringLiteral("12.5"), true, {}},
        {1, QStringLiteral("abc"), true, {}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.typed.toStdString());
        clearAlerts();
        auto *edit = qobject_cast<QLineEdit *>(tab.valueControlForRow(c.row));
        ASSERT_NE(edit, nullptr);
        edit->setText(c.typed);
        EXPECT_EQ(tab.controlTextShouldEndEditing(c.row), c.accepted);
        EXPECT_EQ(alertTitles(), c.alerts);
        if (!c.accepted) {
            EXPECT_EQ(edit->text(), c.typed);
        }
    }
    EXPECT_EQ(UserFields::userFieldForFormField(price, zoe)->currencyvalue()->currencyValue(), QStringLiteral("12.5"));
    EXPECT_EQ(UserFields::userFieldForFormField(text, zoe)->fieldValue(), QStringLiteral("abc"));
}

TEST_F(FieldsTabTest, TheAddMenuOffersOnlyFieldsTheContactCanTake)
{
    Person *zoe = storedPerson(QStringLiteral("Zoe"));
    FormFields *only = storedField(QStringLiteral("Only"), FormFieldType::TextTypeName);
    QList<ContactFieldsViewControllerMac::AddFieldMenuEntry> entries = ContactFieldsViewControllerMac::addFieldMenuEntries(zoe);
    ASSERT_EQ(entries.size(), 2);
    EXPECT_TRUE(entries[0].enabled);
    EXPECT_EQ(entries[1].title, QStringLiteral("New Field"));
    EXPECT_EQ(entries[1].toolTip, ContactFieldsViewControllerMac::NewFieldToolTip);

    storedField(QStringLiteral("Fav"), FormFieldType::TextTypeName, {}, true, QStringLiteral("x"));
    storedField(QStringLiteral(""), FormFieldType::TextTypeName);
    ContactFieldsViewControllerMac tab(zoe);
    tab.createUserFieldWithFormField(only, true);
    entries = ContactFieldsViewControllerMac::addFieldMenuEntries(zoe);
    QStringList titles;
    QList<bool> enabled;
    for (const auto &entry : entries) {
        titles << entry.title;
        enabled << entry.enabled;
    }
    EXPECT_EQ(titles, (QStringList{QStringLiteral("Only"), QStringLiteral("Fav"), QStringLiteral("New Field")}));
    EXPECT_EQ(enabled, (QList<bool>{false, false, true}));
    EXPECT_TRUE(entries.last().toolTip.isEmpty());
}

TEST_F(FieldsTabTest, TheAddMenuAddsTheFieldChosenEvenWhenOrdersRepeat)
{
    Person *zoe = storedPerson(QStringLiteral("Zoe"));
    storedField(QStringLiteral("Alpha"), FormFieldType::TextTypeName);
    FormFields *beta = storedField(QStringLiteral("Beta"), FormFieldType::TextTypeName);
    // Two devices each made a field with the same display order.
    beta->setFormFieldDisplayOrder(1);
    save(context);
    ContactFieldsViewControllerMac tab(zoe);
    tab.showAddFieldsOptions(nullptr);
    QMenu *menu = nullptr;
    for (QMenu *candidate : tab.findChildren<QMenu *>())
        if (candidate->title() == QStringLiteral("Add Field"))
            menu = candidate;
    ASSERT_NE(menu, nullptr);
    QAction *choice = nullptr;
    for (QAction *action : menu->actions())
        if (action->text() == QStringLiteral("Beta"))
            choice = action;
    ASSERT_NE(choice, nullptr);
    menu->hide();
    choice->trigger();
    EXPECT_EQ(rowNames(tab), QStringList{QStringLiteral("Beta")});
}

TEST_F(FieldsTabTest, AValueThatCannotBeSavedIsRolledBackAndReported)
{
    Person *zoe = storedPerson(QStringLiteral("Zoe"));
    FormFields *note = storedField(QStringLiteral("Note"), FormFieldType::TextTypeName);
    ContactFieldsViewControllerMac tab(zoe);
    tab.createUserFieldWithFormField(note, true);
    // Another context changes the value underneath the tab, so the tab's next save clashes.
    platform::store::ContextPtr other = newContext();
    auto *otherNote = dynamic_cast<FormFields *>(other->objectWithID(note->objectID()));
    otherNote->userfields().first()->setFieldValue(QStringLiteral("elsewhere"));
    save(other);
    clearAlerts();
    auto *edit = qobject_cast<QLineEdit *>(tab.valueControlForRow(0));
    ASSERT_NE(edit, nullptr);
    edit->setText(QStringLiteral("here"));
    tab.controlTextShouldEndEditing(0);
    EXPECT_EQ(alertTitles(), QStringList{QStringLiteral("Error")});
    EXPECT_FALSE(context->hasChanges());
}

TEST_F(FieldsTabTest, ANewFieldFromTheTabLandsOnTheContact)
{
    Person *zoe = storedPerson(QStringLiteral("Zoe"));
    ContactFieldsViewControllerMac tab(zoe);
    tab.newFieldSelected();
    MacCreateNewFieldWindowController *editor = tab.createFieldWindow();
    ASSERT_NE(editor, nullptr);
    editor->fieldNameTextField()->setText(QStringLiteral("Hobby"));
    ASSERT_TRUE(editor->doneButtonPressed());
    EXPECT_EQ(rowNames(tab), QStringList{QStringLiteral("Hobby")});
    EXPECT_NE(UserFields::userFieldForFormField(tab.arrangedObjects().first(), zoe), nullptr);
}

TEST_F(FieldsTabTest, ValuesSetFromTheContactsMenuReachEverySelectedContact)
{
    QList<Person *> people = {storedPerson(QStringLiteral("Ann")), storedPerson(QStringLiteral("Bob")),
                              storedPerson(QStringLiteral("Cy"))};
    ContactsCustomFieldMenu empty(nullptr, [this] { return context.get(); }, [&] { return people; }, nullptr);
    empty.menuNeedsUpdate(empty.contactsContextMenu());
    ASSERT_NE(empty.fieldsItem()->menu(), nullptr);
    ASSERT_EQ(empty.fieldsItem()->menu()->actions().size(), 1);
    EXPECT_EQ(empty.fieldsItem()->menu()->actions().first()->text(), QStringLiteral("No Fields avaialable"));
    EXPECT_FALSE(empty.fieldsItem()->menu()->actions().first()->isEnabled());
    // Nobody takes up "Duplicate" here, so it is off; the fields are on.
    EXPECT_FALSE(empty.duplicateItem()->isEnabled());
    EXPECT_TRUE(empty.fieldsItem()->isEnabled());

    FormFields *stage = storedField(QStringLiteral("Stage"), FormFieldType::ListTypeName,
                                    {QStringLiteral("Lead"), QStringLiteral("Won")});
    storedField(QStringLiteral(""), FormFieldType::TextTypeName);
    FormFields *age = storedField(QStringLiteral("Age"), FormFieldType::NumberTypeName);
    // Bob has a value already; the others get new ones.
    auto *bobs = insert<UserFields>();
    bobs->setPerson(people[1]);
    bobs->setFormfield(stage);
    save(context);

    ContactsCustomFieldMenu menu(nullptr, [this] { return context.get(); }, [&] { return people; }, nullptr);
    menu.menuNeedsUpdate(menu.contactsContextMenu());
    QMenu *fields = menu.fieldsItem()->menu();
    ASSERT_EQ(fields->actions().size(), 2); // the unnamed field is left out
    EXPECT_EQ(fields->actions()[0]->text(), QStringLiteral("Stage"));
    QMenu *choices = fields->actions()[0]->menu();
    ASSERT_NE(choices, nullptr);
    ASSERT_EQ(choices->actions().size(), 2);
    choices->actions()[1]->trigger();
    platform::store::ContextPtr fresh = newContext();
    auto *stored = dynamic_cast<FormFields *>(fresh->objectWithID(stage->objectID()));
    ASSERT_EQ(stored->userfields().size(), 3);
    for (UserFields *value : stored->userfields())
        EXPECT_EQ(value->getFormattedStringValue(), QStringLiteral("Won"));

    // Another field asks for its value first; an unreadable number changes nothing.
    fields->actions()[1]->trigger();
    ASSERT_NE(menu.valueSheet(), nullptr);
    menu.inputFieldTextField()->setText(QStringLiteral("abc"));
    auto *done = [&]() -> QPushButton * {
        for (QPushButton *button : menu.valueSheet()->findChildren<QPushButton *>())
            if (button->text() == QStringLiteral("Done"))
                return button;
        return nullptr;
    }();
    ASSERT_NE(done, nullptr);
    done->click();
    EXPECT_EQ(alertTitles(), QStringList{QStringLiteral("Number Formatting Error")});
    EXPECT_TRUE(menu.valueSheet()->isActive());
    menu.inputFieldTextField()->setText(QStringLiteral("42"));
    done->click();
    QCoreApplication::processEvents();
    for (Person *person : people)
        EXPECT_EQ(UserFields::userFieldForFormField(age, person)->fieldValue(), QStringLiteral("42"));
}

} // namespace
