#include "FieldsFixture.h"

#include "Mac/Journal/MacCreateNewFieldWindowController.h"

#include "platform/core/NotificationCenter.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDateTimeEdit>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSignalSpy>

using namespace quendel::test;

namespace {

struct RecordingDelegate : MacCreateNewFieldWCDelegate
{
    int done = 0;
    int cancelled = 0;
    void doneButtonPressed() override { ++done; }
    void cancelButtonPressed() override { ++cancelled; }
};

class FieldEditorTest : public FieldsTest
{
protected:
    // A new-field editor on the fixture's context, filled in as the user would.
    std::unique_ptr<MacCreateNewFieldWindowController> newEditor(const QString &name, int typeItem)
    {
        auto editor = std::make_unique<MacCreateNewFieldWindowController>(context, nullptr);
        editor->setDelegate(&delegate);
        editor->fieldNameTextField()->setText(name);
        editor->fieldTypePopupButton()->setCurrentIndex(typeItem);
        editor->fieldTypePopupSelected(typeItem);
        return editor;
    }

    RecordingDelegate delegate;
};

// What the favourite flag and the default of each type come to when Done is pressed.
TEST_F(FieldEditorTest, EachTypeChecksAndStoresItsDefault)
{
    using E = MacCreateNewFieldWindowController;
    struct Case
    {
        int typeItem;
        QString typed;
        bool favourite;
        QStringList alerts; // empty: the field is stored
        QString storedDefault; // formFieldDefaultValue, or the amount for a currency field
    };
    const QList<Case> cases = {
        {E::NumberItem, QString(), true, {QStringLiteral("Field not saved")}, QString()},
        {E::NumberItem, QStringLiteral("abc"), false, {QStringLiteral("Number Format Error")}, QString()},
        {E::NumberItem, QStringLiteral("12.5"), true, {}, QStringLiteral("12.5")},
        {E::TextItem, QString(), true, {}, QStringLiteral("")},
        {E::TextItem, QStringLiteral("<b>x</b>"), false, {}, QStringLiteral("<b>x</b>")},
        {E::CurrencyItem, QString(), true, {}, QStringLiteral("0")},
        {E::CurrencyItem, QStringLiteral("abc"), false, {QStringLiteral("Currency Format Error")}, QString()},
        {E::CurrencyItem, QStringLiteral("7.25"), false, {}, QStringLiteral("7.25")},
        {E::DateItem, QString(), true, {}, QStringLiteral("86400.000000")},
    };
    clock->set(QDateTime::fromSecsSinceEpoch(86400, Qt::UTC));
    int n = 0;
    for (const Case &c : cases) {
        SCOPED_TRACE(n);
        clearAlerts();
        const QString name = QStringLiteral("Field %1").arg(++n);
        auto editor = newEditor(name, c.typeItem);
        if (c.typeItem == E::DateItem)
            editor->defaultDatePicker()->setDateTime(QDateTime::fromSecsSinceEpoch(86400, Qt::UTC).toLocalTime());
        editor->defaultValueTextField()->setText(c.typed);
        if (c.favourite)
            editor->favoriteButton()->click();
        const bool stored = editor->doneButtonPressed();
        EXPECT_EQ(alertTitles(), c.alerts);
        EXPECT_EQ(stored, c.alerts.isEmpty());
        platform::store::ContextPtr fresh;
        const QStringList names = fieldNames(fresh);
        ASSERT_EQ(names.contains(name), c.alerts.isEmpty()) << names.join(QLatin1Char(',')).toStdString();
        if (!c.alerts.isEmpty())
            continue;
        FormFields *field = FormFields::loadAllFormFieldsInContext(fresh.get()).last();
        EXPECT_EQ(field->isAlwaysVisible(), c.favourite);
        if (c.typeItem == E::CurrencyItem) {
            ASSERT_NE(field->currencydefault(), nullptr);
            EXPECT_EQ(field->currencydefault()->currencyValue(), c.storedDefault);
        } else {
            EXPECT_EQ(field->formFieldDefaultValue(), c.storedDefault);
        }
    }
    EXPECT_EQ(alertMessages().isEmpty(), true);
}

TEST_F(FieldEditorTest, DoneChecksNameTypeValuesAndDuplicatesInOrder)
{
    storedField(QStringLiteral("Color"), FormFieldType::TextTypeName);

    auto noName = newEditor(QString(), MacCreateNewFieldWindowController::TextItem);
    EXPECT_FALSE(noName->doneButtonPressed());
    EXPECT_EQ(alertTitles(), QStringList{QStringLiteral("No Name")});

    clearAlerts();
    auto taken = newEditor(QStringLiteral("Color"), MacCreateNewFieldWindowController::TextItem);
    EXPECT_FALSE(taken->doneButtonPressed());
    EXPECT_EQ(alertMessages(), QStringList{QStringLiteral("Field name already exists")});
    // Letter case makes another name.
    clearAlerts();
    taken->fieldNameTextField()->setText(QStringLiteral("color"));
    EXPECT_TRUE(taken->doneButtonPressed());
    EXPECT_TRUE(alertTitles().isEmpty());

    clearAlerts();
    auto emptyList = newEditor(QStringLiteral("Stage"), MacCreateNewFieldWindowController::ListItem);
    EXPECT_FALSE(emptyList->doneButtonPressed());
    EXPECT_EQ(alertMessages(), QStringList{QStringLiteral("Please add some values to the Field List")});

    // A taken name and an empty value: both alerts, one after the other.
    clearAlerts();
    auto both = newEditor(QStringLiteral("Color"), MacCreateNewFieldWindowController::ListItem);
    both->addListValueObjectWithText(QStringLiteral(""));
    EXPECT_FALSE(both->doneButtonPressed());
    EXPECT_EQ(alertMessages(), (QStringList{QStringLiteral("Field name already exists"),
                                            QStringLiteral("One of the List values is empty")}));
    EXPECT_EQ(delegate.done, 1);
}

TEST_F(FieldEditorTest, ANewFieldSortsLastAndAnExistingOneKeepsItsName)
{
    FormFields *kept = storedField(QStringLiteral("Region"), FormFieldType::ListTypeName, {QStringLiteral("North")});
    kept->setFormFieldDisplayOrder(7);
    save(context);

    auto editor = std::make_unique<MacCreateNewFieldWindowController>(context, kept);
    EXPECT_TRUE(editor->existingObject());
    EXPECT_FALSE(editor->fieldTypePopupButton()->isEnabled());
    EXPECT_EQ(editor->fieldTypePopupButton()->currentText(), QStringLiteral("List"));
    EXPECT_EQ(editor->viewHeightConstraint(), MacCreateNewFieldWindowController::ExpandedViewHeight);
    // Keeping its own name is no clash.
    EXPECT_TRUE(editor->doneButtonPressed());
    EXPECT_TRUE(alertTitles().isEmpty());

    auto added = newEditor(QStringLiteral("Score"), MacCreateNewFieldWindowController::NumberItem);
    EXPECT_EQ(added->viewHeightConstraint(), MacCreateNewFieldWindowController::ShrunkViewHeight);
    EXPECT_EQ(added->fieldListTableHeightConstraint(), MacCreateNewFieldWindowController::ShrunkTableHeight);
    EXPECT_EQ(added->fieldObject()->formFieldDisplayOrder(), 8);
    ASSERT_TRUE(added->doneButtonPressed());
    platform::store::ContextPtr fresh;
    EXPECT_EQ(fieldNames(fresh), (QStringList{QStringLiteral("Region"), QStringLiteral("Score")}));
}

TEST_F(FieldEditorTest, ListValuesMustBeUniqueAndNonEmptyButMayKeepTheirOwnTitle)
{
    auto editor = newEditor(QStringLiteral("Stage"), MacCreateNewFieldWindowController::ListItem);
    EXPECT_EQ(editor->viewHeightConstraint(), MacCreateNewFieldWindowController::ExpandedViewHeight);
    editor->addListValueObjectWithText(QStringLiteral("Lead"));
    editor->addListValueObjectWithText(QStringLiteral("Won"));
    // The popup lists the values before its separator and "None".
    EXPECT_EQ(editor->defaultListPicker()->itemText(0), QStringLiteral("Lead"));
    EXPECT_EQ(editor->defaultListPicker()->itemText(1), QStringLiteral("Won"));
    EXPECT_EQ(editor->defaultListPicker()->itemText(editor->defaultListPicker()->count() - 1), QStringLiteral("None"));

    struct Case
    {
        int row;
        QString text;
        bool accepted;
        QStringList alerts;
    };
    const QList<Case> cases = {
        {1, QStringLiteral("Won"), true, {}},                                        // its own title
        {1, QStringLiteral("Lead"), false, {QStringLiteral("List Value Already Exists")}},
        {0, QString(), false, {QStringLiteral("List Value Empty")}},
        {0, QStringLiteral("Prospect"), true, {}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.text.toStdString());
        clearAlerts();
        EXPECT_EQ(editor->listValueShouldEndEditing(c.row, c.text), c.accepted);
        EXPECT_EQ(editor->failedValidation(), !c.accepted);
        EXPECT_EQ(alertTitles(), c.alerts);
    }
    EXPECT_EQ(editor->defaultListPicker()->itemText(0), QStringLiteral("Prospect"));
    EXPECT_EQ(orderedTitles(editor->fieldObject()), (QStringList{QStringLiteral("Prospect"), QStringLiteral("Won")}));
}

TEST_F(FieldEditorTest, EscapeLeavesAValueCellAndAWrongTitleStaysInItsEditor)
{
    auto editor = newEditor(QStringLiteral("Stage"), MacCreateNewFieldWindowController::ListItem);
    editor->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(editor.get()));
    editor->addListValueObjectWithText(QStringLiteral("Lead"));
    editor->listPlusButtonPressed();
    QListWidget *list = editor->fieldListTableView();
    ASSERT_EQ(list->count(), 2);
    auto *cell = list->findChild<QLineEdit *>();
    ASSERT_NE(cell, nullptr);
    QTest::keyClicks(cell, QStringLiteral("Lead"));
    QTest::keyClick(cell, Qt::Key_Return);
    QCoreApplication::processEvents();
    EXPECT_EQ(alertTitles(), QStringList{QStringLiteral("List Value Already Exists")});
    QTRY_VERIFY(list->findChild<QLineEdit *>() && list->findChild<QLineEdit *>()->isVisible());
    cell = list->findChild<QLineEdit *>();
    EXPECT_EQ(cell->text(), QStringLiteral("Lead"));
    // Escape ends the editing; the value keeps its empty title, which Done still refuses.
    QTest::keyClick(cell, Qt::Key_Escape);
    QCoreApplication::processEvents();
    EXPECT_FALSE(editor->failedValidation());
    clearAlerts();
    EXPECT_FALSE(editor->doneButtonPressed());
    EXPECT_EQ(alertMessages(), QStringList{QStringLiteral("One of the List values is empty")});
}

TEST_F(FieldEditorTest, ADropRenumbersTheValuesAndTheDefaultPopupFollows)
{
    auto editor = newEditor(QStringLiteral("Stage"), MacCreateNewFieldWindowController::ListItem);
    for (const QString &title : {QStringLiteral("A"), QStringLiteral("B"), QStringLiteral("C"), QStringLiteral("D")})
        editor->addListValueObjectWithText(title);
    EXPECT_TRUE(editor->acceptDrop(0, 3)); // A dropped between C and D
    EXPECT_EQ(orderedTitles(editor->fieldObject()),
              (QStringList{QStringLiteral("B"), QStringLiteral("C"), QStringLiteral("A"), QStringLiteral("D")}));
    QList<qint64> orders;
    for (FormFieldsList *value : editor->listValueArray())
        orders << value->fieldsListDisplayOrder();
    EXPECT_EQ(orders, (QList<qint64>{0, 1, 2, 3}));
    EXPECT_TRUE(editor->acceptDrop(3, 0)); // D to the top
    EXPECT_EQ(orderedTitles(editor->fieldObject()),
              (QStringList{QStringLiteral("D"), QStringLiteral("B"), QStringLiteral("C"), QStringLiteral("A")}));
    EXPECT_EQ(editor->defaultListPicker()->itemText(0), QStringLiteral("D"));
    // The default chosen in the popup is the value of that item.
    editor->selectedDefaultListItem(2);
    EXPECT_EQ(editor->fieldObject()->listdefault()->title(), QStringLiteral("C"));
    ASSERT_TRUE(editor->doneButtonPressed());
    platform::store::ContextPtr fresh = newContext();
    FormFields *stored = FormFields::loadAllFormFieldsInContext(fresh.get()).value(0);
    ASSERT_NE(stored, nullptr);
    EXPECT_EQ(orderedTitles(stored), (QStringList{QStringLiteral("D"), QStringLiteral("B"), QStringLiteral("C"), QStringLiteral("A")}));
    EXPECT_EQ(stored->listdefault()->title(), QStringLiteral("C"));
}

TEST_F(FieldEditorTest, CancelTakesBackWhatTheEditorPushedIntoTheMainContext)
{
    // A new field: a removal pushes the new definition into the main context; Cancel takes it out again.
    auto editor = newEditor(QStringLiteral("Stage"), MacCreateNewFieldWindowController::ListItem);
    editor->addListValueObjectWithText(QStringLiteral("A"));
    editor->addListValueObjectWithText(QStringLiteral("B"));
    editor->fieldListTableView()->setCurrentRow(0);
    editor->listMinusButtonPressed();
    EXPECT_FALSE(context->insertedObjects().isEmpty());
    editor->cancelButtonPressed();
    EXPECT_EQ(delegate.cancelled, 1);
    EXPECT_TRUE(context->insertedObjects().isEmpty());
    EXPECT_TRUE(FormFields::loadAllFormFieldsInContext(context.get()).isEmpty());

    // An existing field: a removed value and a new order come back as they were.
    FormFields *region = storedField(QStringLiteral("Region"), FormFieldType::ListTypeName,
                                     {QStringLiteral("North"), QStringLiteral("South"), QStringLiteral("East")});
    auto existing = std::make_unique<MacCreateNewFieldWindowController>(context, region);
    existing->acceptDrop(2, 0);
    existing->fieldListTableView()->setCurrentRow(1);
    existing->listMinusButtonPressed();
    EXPECT_EQ(orderedTitles(region), (QStringList{QStringLiteral("East"), QStringLiteral("South")}));
    existing->cancelButtonPressed();
    EXPECT_EQ(orderedTitles(region),
              (QStringList{QStringLiteral("North"), QStringLiteral("South"), QStringLiteral("East")}));
    save(context);
    platform::store::ContextPtr fresh = newContext();
    EXPECT_EQ(orderedTitles(FormFields::loadAllFormFieldsInContext(fresh.get()).value(0)),
              (QStringList{QStringLiteral("North"), QStringLiteral("South"), QStringLiteral("East")}));
}

TEST_F(FieldEditorTest, AFailedSaveIsReportedAndLeavesNothingBehind)
{
    FormFields *region = storedField(QStringLiteral("Region"), FormFieldType::ListTypeName, {QStringLiteral("North")});
    auto editor = std::make_unique<MacCreateNewFieldWindowController>(context, region);
    editor->setDelegate(&delegate);
    // Another context renames the field underneath the open editor, so the main context's save clashes.
    platform::store::ContextPtr other = newContext();
    FormFields::loadAllFormFieldsInContext(other.get()).first()->setFormFieldName(QStringLiteral("Area"));
    save(other);
    editor->fieldNameTextField()->setText(QStringLiteral("Zone"));
    editor->addListValueObjectWithText(QStringLiteral("South"));
    QSignalSpy finished(editor.get(), &MacCreateNewFieldWindowController::finished);
    EXPECT_FALSE(editor->doneButtonPressed());
    EXPECT_EQ(alertTitles(), QStringList{QStringLiteral("Field not saved")});
    // Nothing of the editor's stays in the main context.
    for (platform::store::ManagedObject *object : context->insertedObjects())
        EXPECT_EQ(dynamic_cast<FormFieldsList *>(object), nullptr) << "a half-stored value stays behind";
    EXPECT_NE(region->formFieldName(), QStringLiteral("Zone"));
    ASSERT_EQ(finished.size(), 1);
    EXPECT_FALSE(finished.first().first().toBool());
    EXPECT_EQ(delegate.done, 0);
    EXPECT_EQ(delegate.cancelled, 1);
}

TEST_F(FieldEditorTest, PinColorKeepsItsValuesAndAnnouncesANewDefault)
{
    FormFields *pins = FormFields::createPinColorFieldIfNoneExistsWithContext(context.get(), false);
    ASSERT_NE(pins, nullptr);
    auto editor = std::make_unique<MacCreateNewFieldWindowController>(context, pins);
    EXPECT_TRUE(editor->isPinColor());
    EXPECT_FALSE(editor->fieldListPlusButton()->isEnabled());
    EXPECT_FALSE(editor->fieldListMinusButton()->isEnabled());
    EXPECT_EQ(editor->fieldListMinusButton()->toolTip(), QStringLiteral("Cannot remove Pin Color value"));
    EXPECT_EQ(editor->defaultListPicker()->findText(QStringLiteral("None")), -1);
    const int blue = editor->defaultListPicker()->findText(QStringLiteral("Blue"));
    ASSERT_GE(blue, 0);

    QVariantMap announced;
    platform::core::ScopedObserver observer(MacCreateNewFieldWindowController::UpdatedPinColorUserFieldNotification,
                                            nullptr, [&](const platform::core::Notification &note) {
                                                announced = note.userInfo;
                                            });
    editor->selectedDefaultListItem(blue);
    ASSERT_TRUE(editor->doneButtonPressed());
    EXPECT_EQ(announced.value(MacCreateNewFieldWindowController::DefaultPinColorChangeKey).toString(),
              FormFields::pinColorsDictionary().value(QStringLiteral("Blue")));
}

TEST_F(FieldEditorTest, SwitchingANewListFieldToTextDropsItsValues)
{
    auto editor = newEditor(QStringLiteral("Mood"), MacCreateNewFieldWindowController::ListItem);
    editor->addListValueObjectWithText(QStringLiteral("Happy"));
    editor->fieldTypePopupButton()->setCurrentIndex(MacCreateNewFieldWindowController::TextItem);
    editor->fieldTypePopupSelected(MacCreateNewFieldWindowController::TextItem);
    EXPECT_EQ(editor->viewHeightConstraint(), MacCreateNewFieldWindowController::ShrunkViewHeight);
    ASSERT_TRUE(editor->doneButtonPressed());
    platform::store::ContextPtr fresh = newContext();
    FormFields *stored = FormFields::loadAllFormFieldsInContext(fresh.get()).value(0);
    ASSERT_NE(stored, nullptr);
    EXPECT_EQ(stored->fieldtype()->fieldTypeName(), QStringLiteral("Text"));
    EXPECT_TRUE(stored->fieldslist().isEmpty());
    EXPECT_EQ(fresh->countForFetchRequest(FormFieldsList::fetchRequest()), 0);
}

} // namespace
