#include "QuendelKit/Entities/CurrencyData.h"

#include "QuendelKit/Entities/EntityValues.h"
#include "QuendelKit/Entities/FormFields.h"
#include "QuendelKit/Entities/UserFields.h"

using namespace entity_values;

platform::store::FetchRequest CurrencyData::fetchRequest()
{
    return platform::store::FetchRequest(EntityName);
}

QString CurrencyData::currencyValue() const
{
    return string(*this, QStringLiteral("currencyValue"));
}
void CurrencyData::setCurrencyValue(const QString &value)
{
    setValue(QStringLiteral("currencyValue"), fromString(value));
    if (UserFields *owner = userfield())
        owner->setFieldValue(value);
}

NumberFormatter &CurrencyData::currencyFormatter()
{
    if (!m_currencyFormatter) {
        const QString identifier = localeIdentifier();
        m_currencyFormatter.emplace(NumberFormatter::Style::Currency, true,
                                    identifier.isEmpty() ? std::optional<QLocale>() : QLocale(identifier));
    }
    return *m_currencyFormatter;
}
QString CurrencyData::currencyCode() const
{
    return string(*this, QStringLiteral("currencyCode"));
}
void CurrencyData::setCurrencyCode(const QString &value)
{
    setValue(QStringLiteral("currencyCode"), fromString(value));
}
QString CurrencyData::localeIdentifier() const
{
    return string(*this, QStringLiteral("localeIdentifier"));
}
void CurrencyData::setLocaleIdentifier(const QString &value)
{
    setValue(QStringLiteral("localeIdentifier"), fromString(value));
}

FormFields *CurrencyData::formfield() const
{
    return toOne<FormFields>(*this, QStringLiteral("formfield"));
}
void CurrencyData::setFormfield(FormFields *object)
{
    setRelatedObject(QStringLiteral("formfield"), object);
}

UserFields *CurrencyData::userfield() const
{
    return toOne<UserFields>(*this, QStringLiteral("userfield"));
}
void CurrencyData::setUserfield(UserFields *object)
{
    setRelatedObject(QStringLiteral("userfield"), object);
}
