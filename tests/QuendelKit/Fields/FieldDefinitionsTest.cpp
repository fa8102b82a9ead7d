#include "QuendelKit/Entities/EntityStoreFixture.h"

#include "platform/core/KeyedArchive.h"
#include "platform/core/NotificationCenter.h"

#include <gtest/gtest.h>

using platform::store::ContextPtr;
using quendel::test::EntityStoreTest;

namespace {

class FieldDefinitionsTest : public EntityStoreTest
{
protected:
    QVariantMap metadata()
    {
        return coordinator->metadataForPersistentStore(coordinator->persistentStores().first());
    }
    FormFields *field(const QString &name, const QString &typeName)
    {
        FormFieldType::loadAllFormFieldTypesInContext(context.get());
        FormFields *made = insert<FormFields>();
        made->setFormFieldName(name);
        made->setFieldtype(FormFieldType::formFieldTypeForType(typeName, context.get()));
        return made;
    }
    QStringList titles(const QList<FormFieldsList *> &items)
    {
        QStringList result;
        for (const FormFieldsList *item : items)
            result.append(item->title());
        return result;
    }
};

} // namespace

TEST_F(FieldDefinitionsTest, SeedingGivesFiveTypesInOrderAndMarksTheStore)
{
    const QList<FormFieldType *> types = FormFieldType::loadAllFormFieldTypesInContext(context.get());
    QStringList names;
    for (const FormFieldType *type : types)
        names.append(type->fieldTypeName());
    EXPECT_EQ(names, FormFieldType::seededTypeNames());
    for (qsizetype i = 1; i < types.size(); ++i)
        EXPECT_LT(types[i - 1]->createdAt(), types[i]->createdAt());
    EXPECT_EQ(metadata().value(QStringLiteral("AddFormFieldTypeValues")).toInt(), 1);
    EXPECT_EQ(FormFieldType::countForAllFormFieldsTypeWithMOC(context.get()), 5);

    // Seeding again adds nothing and still marks the store.
    EXPECT_TRUE(FormFieldType::createFormFieldTypesIfNoneExistsInContext(context.get()));
    EXPECT_EQ(FormFieldType::countForAllFormFieldsTypeWithMOC(context.get()), 5);

    const struct
    {
        QString lookup;
        QString found;
    } cases[] = {{QStringLiteral("list"), QStringLiteral("List")},
                 {QStringLiteral("CURRENCY"), QStringLiteral("Currency")},
                 {QStringLiteral("Colour"), QString()}};
    for (const auto &c : cases) {
        FormFieldType *type = FormFields::formFieldTypeForType(c.lookup, context.get());
        EXPECT_EQ(type ? type->fieldTypeName() : QString(), c.found) << c.lookup.toStdString();
    }
    FormFieldType *list = FormFieldType::getFormFieldTypeForListInContext(context.get());
    ASSERT_NE(list, nullptr);
    EXPECT_TRUE(list->isFieldTypeList());
    EXPECT_FALSE(list->isFieldTypeText());
}

TEST_F(FieldDefinitionsTest, TypeTestsAreExactButValidationFallsBackToText)
{
    const struct
    {
        QString name;
        qint32 validation;
    } cases[] = {
        {QStringLiteral("Text"), 1},     {QStringLiteral("Number"), 2}, {QStringLiteral("Currency"), 3},
        {QStringLiteral("Date"), 4},     {QStringLiteral("List"), 5},   {QStringLiteral("list"), 1},
        {QStringLiteral("Colour"), 1},   {QString(), 1},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name.toStdString());
        FormFieldType *type = insert<FormFieldType>();
        type->setFieldTypeName(c.name);
        FormFields *made = insert<FormFields>();
        made->setFieldtype(type);
        EXPECT_EQ(made->fieldValidation().validationType(), c.validation);
    }
    FormFields *untyped = insert<FormFields>();
    EXPECT_EQ(untyped->fieldValidation().validationType(), 1);
    // Retyping follows the validation object once it exists.
    FormFieldType *number = insert<FormFieldType>();
    number->setFieldTypeName(QStringLiteral("Number"));
    untyped->setFieldtype(number);
    EXPECT_EQ(untyped->fieldValidation().validationType(), 2);
}

TEST_F(FieldDefinitionsTest, PinColorPassMakesFifteenChoicesOnceAndMendsValues)
{
    FormFields *pin = FormFields::createPinColorFieldIfNoneExistsWithContext(context.get(), false);
    ASSERT_NE(pin, nullptr);
    EXPECT_EQ(pin->formFieldName(), QStringLiteral("Pin Color"));
    ASSERT_NE(pin->fieldtype(), nullptr);
    EXPECT_EQ(pin->fieldtype()->fieldTypeName(), QStringLiteral("List"));
    const QList<FormFieldsList *> choices = FormFields::fetchFormFieldListForPinColorWithMOC(context.get());
    EXPECT_EQ(titles(choices), FormFields::pinColorsArray());
    for (int i = 0; i < choices.size(); ++i) {
        EXPECT_EQ(choices[i]->fieldsListDisplayOrder(), i);
        EXPECT_EQ(choices[i]->fieldListAlternateValue(), FormFields::pinColorsDictionary().value(choices[i]->title()));
        EXPECT_EQ(platform::core::KeyedArchive::unarchive(choices[i]->fieldListData())->toString(),
                  choices[i]->fieldListAlternateValue());
    }
    EXPECT_EQ(choices.value(2)->fieldListAlternateValue(), QStringLiteral("#FFEE00"));
    ASSERT_NE(pin->listdefault(), nullptr);
    EXPECT_EQ(pin->listdefault()->title(), QStringLiteral("Green"));
    EXPECT_EQ(metadata().value(QStringLiteral("PinColorFormField")).toInt(), 2);
    EXPECT_FALSE(context->hasChanges());

    EXPECT_EQ(FormFields::createPinColorFieldIfNoneExistsWithContext(context.get(), false), pin);
    EXPECT_EQ(FormFields::fetchFormFieldListForPinColorWithMOC(context.get()).size(), 15);

    // A missing value is filled without force; a changed one stays unless forced.
    choices[0]->setFieldListAlternateValue(QString());
    choices[1]->setFieldListAlternateValue(QStringLiteral("#123456"));
    save(context);
    FormFields::createPinColorFieldIfNoneExistsWithContext(context.get(), false);
    EXPECT_EQ(choices[0]->fieldListAlternateValue(), QStringLiteral("#008000"));
    EXPECT_EQ(choices[1]->fieldListAlternateValue(), QStringLiteral("#123456"));
    FormFields::createPinColorFieldIfNoneExistsWithContext(context.get(), true);
    EXPECT_EQ(choices[1]->fieldListAlternateValue(), QStringLiteral("#0000ff"));
    EXPECT_EQ(pin->getPinColorListValueForString(QStringLiteral("Cyan")), choices[6]);
    EXPECT_EQ(pin->getPinColorListValueForString(QStringLiteral("cyan")), nullptr);
}

TEST_F(FieldDefinitionsTest, PinColorLookupIgnoresCaseAndDedupeKeepsTheOldest)
{
    const QStringList names = {QStringLiteral("pin color"), QStringLiteral("Pin Color"), QStringLiteral("PIN COLOR")};
    QList<FormFields *> fields;
    for (const QString &name : names) {
        FormFields *made = insert<FormFields>();
        made->setFormFieldName(name);
        made->setCreatedAt(platform::core::Clock::now().addSecs(fields.size()));
        fields.append(made);
    }
    save(context);
    EXPECT_EQ(FormFields::getPinColorFieldWithMOC(context.get()), fields.first());
    fields.first()->dedupePinColorFieldWithContext(context.get());
    const QList<FormFields *> left = FormFields::loadAllFormFieldsInContext(context.get());
    EXPECT_EQ(left, QList<FormFields *>{fields.first()});
}

TEST_F(FieldDefinitionsTest, FieldTypeDedupeKeepsTheOldestOfEachName)
{
    FormFieldType::loadAllFormFieldTypesInContext(context.get());
    QList<FormFieldType *> received;
    for (int i = 0; i < 7; ++i) {
        FormFieldType *copy = insert<FormFieldType>();
        copy->setFieldTypeName(i % 2 ? QStringLiteral("Text") : QStringLiteral("Date"));
        copy->setCreatedAt(platform::core::Clock::now().addSecs(60 + i));
        received.append(copy);
    }
    save(context);
    FormFieldType::dedupeFieldTypeList(received, context.get());
    EXPECT_EQ(FormFieldType::countForAllFormFieldsTypeWithMOC(context.get()), 5);
}

TEST_F(FieldDefinitionsTest, FetchesForTheEditorContactPageAndReports)
{
    Person *ann = insert<Person>();
    Person *bob = insert<Person>();
    FormFields *always = field(QStringLiteral("Always"), QStringLiteral("Text"));
    always->setIsAlwaysVisible(true);
    always->setFormFieldDisplayOrder(2);
    FormFields *used = field(QStringLiteral("Used"), QStringLiteral("Text"));
    used->setFormFieldDisplayOrder(1);
    FormFields *unused = field(QStringLiteral("Unused"), QStringLiteral("Text"));
    unused->setFormFieldDisplayOrder(0);
    UserFields *value = insert<UserFields>();
    value->setPerson(ann);
    value->setFormfield(used);
    save(context);

    EXPECT_EQ(FormFields::loadAllFormFieldsInContext(context.get()), (QList<FormFields *>{unused, used, always}));
    EXPECT_EQ(FormFields::loadAllUsedFieldsForReportingInContext(context.get()), QList<FormFields *>{used});
    EXPECT_EQ(FormFields::loadAllFormFieldsNotAddedToPerson(ann, context.get()), (QList<FormFields *>{unused, always}));
    EXPECT_EQ(FormFields::loadAllFormFieldsNotAddedToPerson(bob, context.get()).size(), 3);
    EXPECT_EQ(FormFields::countForAllFormFieldsWithMOC(context.get()), 3);

    const auto page = [&](Person *person) {
        QList<FormFields *> result;
        for (auto *object : context->executeFetchRequest(FormFields::fetchRequestForFieldsPageWithPerson(person)))
            result.append(dynamic_cast<FormFields *>(object));
        return result;
    };
    EXPECT_EQ(page(ann), (QList<FormFields *>{used, always}));
    EXPECT_EQ(page(bob), QList<FormFields *>{always});
    value->setCloudKitRemotelyDeleted(true);
    save(context);
    EXPECT_EQ(page(ann), QList<FormFields *>{always});

    FormFields *made = FormFields::createFormFieldType(QStringLiteral("Number"), context.get());
    EXPECT_EQ(made->formFieldName(), QStringLiteral("TestName-Number"));
    EXPECT_EQ(made->formFieldDisplayOrder(), 3);
    EXPECT_TRUE(made->fieldtype()->isFieldTypeNumber());
}

TEST_F(FieldDefinitionsTest, DeletingAChoiceEmptiesTheValuesThatUseIt)
{
    FormFields *list = field(QStringLiteral("Size"), QStringLiteral("List"));
    FormFieldsList *large = insert<FormFieldsList>();
    large->setTitle(QStringLiteral("Large"));
    list->addFieldslistObject(large);
    UserFields *value = insert<UserFields>();
    value->setFormfield(list);
    value->saveFieldWithListTitle(QStringLiteral("Large"));
    EXPECT_EQ(value->fieldValue(), QStringLiteral("Large"));
    EXPECT_EQ(value->listvalue(), large);
    context->deleteObject(large);
    EXPECT_EQ(value->fieldValue(), QStringLiteral(""));
    EXPECT_FALSE(value->fieldValue().isNull());
}
