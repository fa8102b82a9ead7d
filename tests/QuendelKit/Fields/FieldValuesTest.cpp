#include "QuendelKit/Entities/EntityStoreFixture.h"

#include "platform/core/NotificationCenter.h"

#include <gtest/gtest.h>

using quendel::test::EntityStoreTest;

namespace {

class LocaleScope
{
public:
    explicit LocaleScope(const QLocale &locale) : m_old(QLocale()) { QLocale::setDefault(locale); }
    ~LocaleScope() { QLocale::setDefault(m_old); }

private:
    QLocale m_old;
};

const QLocale German(QLocale::German, QLocale::Germany);
const QLocale American(QLocale::English, QLocale::UnitedStates);

class FieldValuesTest : public EntityStoreTest
{
protected:
    void SetUp() override
    {
        EntityStoreTest::SetUp();
        FormFieldType::loadAllFormFieldTypesInContext(context.get());
        person = insert<Person>();
    }
    FormFields *field(const QString &typeName, const QString &name = QStringLiteral("Field"))
    {
        FormFields *made = insert<FormFields>();
        made->setFormFieldName(name);
        made->setFieldtype(FormFieldType::formFieldTypeForType(typeName, context.get()));
        return made;
    }
    UserFields *valueOf(FormFields *definition)
    {
        UserFields *value = insert<UserFields>();
        value->setFormfield(definition);
        value->setPerson(person);
        value->setupDefaultValue();
        return value;
    }
    Person *person = nullptr;
};

} // namespace

TEST(FieldFormatters, NumbersReadAndWrittenInTwoLocales)
{
    const struct
    {
        QLocale locale;
        QString typed;
        QString plain; // null: unreadable
        QString shown;
    } cases[] = {
        {American, QStringLiteral("1,234.5"), QStringLiteral("1234.5"), QStringLiteral("1,234.5")},
        {American, QStringLiteral("12"), QStringLiteral("12"), QStringLiteral("12")},
        {American, QStringLiteral(" -0.50 "), QStringLiteral("-0.5"), QStringLiteral("-0.5")},
        {American, QStringLiteral("12.345"), QStringLiteral("12.345"), QStringLiteral("12.35")},
        {American, QStringLiteral("1.999"), QStringLiteral("1.999"), QStringLiteral("2")},
        {American, QStringLiteral("abc"), QString(), QString()},
        {American, QStringLiteral("12abc"), QString(), QString()},
        {American, QStringLiteral("$12"), QString(), QString()},
        {German, QStringLiteral("1.234,5"), QStringLiteral("1234.5"), QStringLiteral("1.234,5")},
        {German, QStringLiteral("0,25"), QStringLiteral("0.25"), QStringLiteral("0,25")},
        {German, QStringLiteral("3,"), QStringLiteral("3"), QStringLiteral("3")},
        {German, QStringLiteral("x"), QString(), QString()},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE((c.locale.name() + QLatin1Char(' ') + c.typed).toStdString());
        const NumberFormatter formatter(NumberFormatter::Style::Decimal, false, c.locale);
        const QString plain = formatter.numberFromString(c.typed);
        EXPECT_EQ(plain, c.plain);
        EXPECT_EQ(plain.isNull(), c.plain.isNull());
        if (!plain.isNull()) {
            EXPECT_EQ(formatter.stringFromNumber(plain), c.shown);
        }
    }
}

TEST(FieldFormatters, CurrencyReadingIsLenient)
{
    const struct
    {
        QLocale locale;
        QString typed;
        QString plain;
    } cases[] = {
        {American, QStringLiteral("$1,234.50"), QStringLiteral("1234.5")},
        {American, QStringLiteral("1234.5"), QStringLiteral("1234.5")},
        {American, QStringLiteral("USD 12"), QStringLiteral("12")},
        {American, QStringLiteral("($5.25)"), QStringLiteral("-5.25")},
        {American, QStringLiteral("-$3"), QStringLiteral("-3")},
        {American, QStringLiteral("lots"), QString()},
        {German, QStringLiteral("1.234,50 €"), QStringLiteral("1234.5")},
        {German, QStringLiteral("12,5€"), QStringLiteral("12.5")},
        {German, QStringLiteral("EUR 7"), QStringLiteral("7")},
        {German, QStringLiteral("€ 0,99"), QStringLiteral("0.99")},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE((c.locale.name() + QLatin1Char(' ') + c.typed).toStdString());
        const NumberFormatter formatter(NumberFormatter::Style::Currency, true, c.locale);
        EXPECT_EQ(formatter.numberFromString(c.typed), c.plain);
    }
    const NumberFormatter euro(NumberFormatter::Style::Currency, true, German);
    EXPECT_EQ(euro.stringFromNumber(QStringLiteral("12.5")), QStringLiteral("12,5\u00a0€"));
    EXPECT_EQ(euro.stringFromNumber(QStringLiteral("12")), QStringLiteral("12\u00a0€"));
    const NumberFormatter dollar(NumberFormatter::Style::Currency, true, American);
    EXPECT_EQ(dollar.stringFromNumber(QStringLiteral("1234.5")), QStringLiteral("$1,234.5"));
    EXPECT_EQ(dollar.currencyCode(), QStringLiteral("USD"));
}

TEST(FieldValidationRules, ChecksAndDefaultTexts)
{
    LocaleScope scope(American);
    FieldValidation validation;
    validation.setValidationType(FieldValidation::Number);
    EXPECT_TRUE(validation.isNumberValueValidWithString(QString()));
    EXPECT_TRUE(validation.isNumberValueValidWithString(QStringLiteral("1,000")));
    EXPECT_FALSE(validation.isNumberValueValidWithString(QStringLiteral("ten")));
    EXPECT_TRUE(validation.isCurrencyValueValidWithString(QStringLiteral("ten")));
    validation.setValidationType(FieldValidation::Text);
    EXPECT_TRUE(validation.isNumberValueValidWithString(QStringLiteral("ten")));
    validation.setValidationType(FieldValidation::Currency);
    EXPECT_FALSE(validation.isCurrencyValueValidWithString(QStringLiteral("ten")));

    EXPECT_EQ(validation.defaultTextWithNumberString(QStringLiteral("1,500")), QStringLiteral("1500"));
    EXPECT_TRUE(validation.defaultTextWithNumberString(QStringLiteral("x")).isNull());
    EXPECT_EQ(validation.defaultTextWithCurrency(QStringLiteral("10")), QStringLiteral("$10"));
    EXPECT_FALSE(validation.isCurrencySymbolAtStart());
    EXPECT_EQ(validation.defaultTextWithDateString(QString()), QStringLiteral(""));
    EXPECT_EQ(validation.defaultTextWithDateString(QStringLiteral("0")),
              DateFormatter::mediumDate(QDateTime::fromSecsSinceEpoch(0, Qt::UTC)));
    EXPECT_EQ(validation.defaultTextWithValue(QVariant(5)), QVariant(5));
    EXPECT_TRUE(validation.currencySet().contains(QLatin1Char('$')));
    EXPECT_TRUE(validation.currencySet().contains(QLatin1Char('7')));
    EXPECT_FALSE(validation.currencySet().contains(QLatin1Char('x')));

    LocaleScope german(German);
    FieldValidation euro;
    euro.setValidationType(FieldValidation::Currency);
    euro.currencyFormatter();
    EXPECT_TRUE(euro.isCurrencySymbolAtStart());
}

TEST_F(FieldValuesTest, NewValuesTakeTheirFieldsDefaults)
{
    LocaleScope scope(German);
    UserFields *number = valueOf(field(QStringLiteral("Number")));
    EXPECT_EQ(number->fieldValue(), QStringLiteral("0"));
    UserFields *text = valueOf(field(QStringLiteral("Text")));
    EXPECT_EQ(text->fieldValue(), QStringLiteral(""));
    EXPECT_FALSE(text->fieldValue().isNull());
    UserFields *list = valueOf(field(QStringLiteral("List")));
    EXPECT_TRUE(list->fieldValue().isNull());
    EXPECT_EQ(list->listvalue(), nullptr);
    UserFields *date = valueOf(field(QStringLiteral("Date")));
    EXPECT_EQ(date->dateValue(), platform::core::Clock::now());
    EXPECT_EQ(date->fieldValue(), DateFormatter::mediumDate(platform::core::Clock::now()));

    UserFields *amount = valueOf(field(QStringLiteral("Currency")));
    ASSERT_NE(amount->currencyvalue(), nullptr);
    EXPECT_EQ(amount->currencyvalue()->localeIdentifier(), QStringLiteral("de_DE"));
    EXPECT_EQ(amount->currencyvalue()->currencyCode(), QStringLiteral("EUR"));
    EXPECT_EQ(amount->currencyvalue()->currencyValue(), QStringLiteral("0"));
    EXPECT_EQ(amount->fieldValue(), QStringLiteral("0"));

    FormFields *withDefaults = field(QStringLiteral("Number"));
    withDefaults->setFormFieldDefaultValue(QStringLiteral("1.5"));
    EXPECT_EQ(valueOf(withDefaults)->fieldValue(), QStringLiteral("1.5"));
    FormFields *dated = field(QStringLiteral("Date"));
    dated->setFormFieldDefaultValue(QStringLiteral("86400"));
    EXPECT_EQ(valueOf(dated)->dateValue(), QDateTime::fromSecsSinceEpoch(86400, Qt::UTC));
    FormFields *sized = field(QStringLiteral("List"));
    FormFieldsList *medium = insert<FormFieldsList>();
    medium->setTitle(QStringLiteral("Medium"));
    sized->addFieldslistObject(medium);
    sized->setListdefault(medium);
    UserFields *chosen = valueOf(sized);
    EXPECT_EQ(chosen->listvalue(), medium);
    EXPECT_EQ(chosen->getFormattedStringValue(), QStringLiteral("Medium"));
}

TEST_F(FieldValuesTest, CurrencyDefaultKeepsItsOwnLocale)
{
    FormFields *price = field(QStringLiteral("Currency"));
    CurrencyData *fallback = insert<CurrencyData>();
    fallback->setLocaleIdentifier(QStringLiteral("de_DE"));
    fallback->setCurrencyCode(QStringLiteral("EUR"));
    fallback->setCurrencyValue(QStringLiteral("12.5"));
    price->setCurrencydefault(fallback);
    LocaleScope scope(American);
    UserFields *value = valueOf(price);
    EXPECT_EQ(value->fieldValue(), QStringLiteral("12.5"));
    EXPECT_EQ(value->getFormattedStringValue(), QStringLiteral("12,5\u00a0€"));
    EXPECT_EQ(price->getDefaultValueString(), QStringLiteral("$12.5"));
    value->saveFieldWithText(QStringLiteral("1.234,56 €"));
    EXPECT_EQ(value->currencyvalue()->currencyValue(), QStringLiteral("1234.56"));
    EXPECT_EQ(value->getFormattedStringValue(), QStringLiteral("1.234,56\u00a0€"));
    value->saveFieldWithText(QStringLiteral("letters"));
    EXPECT_EQ(value->currencyvalue()->currencyValue(), QStringLiteral("0"));
    EXPECT_EQ(value->fieldValue(), QStringLiteral("0"));
}

TEST_F(FieldValuesTest, TypedTextByType)
{
    LocaleScope scope(American);
    UserFields *number = valueOf(field(QStringLiteral("Number")));
    number->saveFieldWithText(QStringLiteral("1,250.75"));
    EXPECT_EQ(number->fieldValue(), QStringLiteral("1250.75"));
    EXPECT_EQ(number->getFormattedStringValue(), QStringLiteral("1250.75"));
    number->saveFieldWithText(QStringLiteral("many"));
    EXPECT_TRUE(number->fieldValue().isNull());

    UserFields *text = valueOf(field(QStringLiteral("Text")));
    text->saveFieldWithText(QStringLiteral("<b>x</b>"));
    EXPECT_EQ(text->getFormattedStringValue(), QStringLiteral("<b>x</b>"));

    UserFields *date = valueOf(field(QStringLiteral("Date")));
    const QDateTime before = date->dateValue();
    date->saveFieldWithText(QStringLiteral("tomorrow"));
    EXPECT_EQ(date->dateValue(), before);
    const QDateTime picked(QDate(2024, 1, 5), QTime(12, 0), Qt::LocalTime);
    date->saveFieldWithDate(picked);
    EXPECT_EQ(date->getFormattedStringValue(), QStringLiteral("Jan 5, 2024"));
    text->saveFieldWithDate(picked);
    EXPECT_FALSE(text->dateValue().isValid());
    EXPECT_EQ(UserFields::userFieldForFormField(number->formfield(), person), number);
    EXPECT_EQ(UserFields::userFieldForFormField(number->formfield(), insert<Person>()), nullptr);
}

TEST_F(FieldValuesTest, DeletingAPinColorValuePostsOneNotice)
{
    int notices = 0;
    QVariantMap userInfo;
    platform::core::ScopedObserver observer(UserFields::UpdatedPinColorUserFieldNotification, nullptr,
                                            [&](const platform::core::Notification &notification) {
                                                ++notices;
                                                userInfo = notification.userInfo;
                                            });
    UserFields *pin = valueOf(field(QStringLiteral("List"), QStringLiteral("Pin Color")));
    UserFields *lower = valueOf(field(QStringLiteral("List"), QStringLiteral("pin color")));
    UserFields *other = valueOf(field(QStringLiteral("Text")));
    context->deleteObject(other);
    context->deleteObject(lower);
    EXPECT_EQ(notices, 0);
    context->deleteObject(pin);
    EXPECT_EQ(notices, 1);
    EXPECT_EQ(userInfo.value(QStringLiteral("Key")).toString(), QStringLiteral("deletedObjects"));
}

TEST_F(FieldValuesTest, PinColorOfAContactIsMadeThenChanged)
{
    FormFields *pin = FormFields::createPinColorFieldIfNoneExistsWithContext(context.get(), false);
    const QList<FormFieldsList *> colors = FormFields::fetchFormFieldListForPinColorWithMOC(context.get());
    EXPECT_FALSE(person->updateWithPinColorListItem(colors[1]));
    ASSERT_EQ(person->userfields().size(), 1);
    UserFields *value = person->userfields().first();
    EXPECT_EQ(value->formfield(), pin);
    EXPECT_EQ(value->fieldValue(), QStringLiteral("Blue"));
    EXPECT_FALSE(context->hasChanges());
    EXPECT_TRUE(person->updateWithPinColorListItem(colors[3]));
    EXPECT_EQ(person->userfields().size(), 1);
    EXPECT_EQ(value->listvalue(), colors[3]);
    EXPECT_EQ(value->fieldValue(), QStringLiteral("Orange"));
}

TEST_F(FieldValuesTest, ExportsUseTheFormattedValues)
{
    LocaleScope scope(American);
    FormFields *first = field(QStringLiteral("Text"), QStringLiteral("A"));
    FormFields *dated = field(QStringLiteral("Date"), QStringLiteral("B"));
    FormFields *third = field(QStringLiteral("Number"), QStringLiteral("C"));
    UserFields *date = valueOf(dated);
    date->setDateValue(QDateTime(QDate(2024, 1, 5), QTime(12, 0), Qt::LocalTime));
    QString row;
    person->addPersonToCSVBody(row, {first, dated, third}, false);
    EXPECT_TRUE(row.contains(QStringLiteral(",,1/5/24,,"))) << row.toStdString();
    QString text;
    person->addPersonInfoToMutableString(text);
    EXPECT_TRUE(text.contains(QStringLiteral("B: Jan 5, 2024\n"))) << text.toStdString();
    // The medium form is back after the CSV row.
    EXPECT_EQ(date->getFormattedStringValue(), QStringLiteral("Jan 5, 2024"));
}
