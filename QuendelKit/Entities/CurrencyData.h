#pragma once

#include "QuendelKit/Entities/NSManagedObjectQDBase.h"

#include "platform/store/FetchRequest.h"

#include <QString>

class FormFields;
class UserFields;

// An amount in a currency, with the locale it is shown in.
class CurrencyData : public NSManagedObjectQDBase
{
public:
    static inline const QString EntityName = QStringLiteral("CurrencyData");

    // A new request for every record of the entity: no predicate, order or limit.
    static platform::store::FetchRequest fetchRequest();

    QString currencyValue() const;
    void setCurrencyValue(const QString &value);
    QString currencyCode() const;
    void setCurrencyCode(const QString &value);
    QString localeIdentifier() const;
    void setLocaleIdentifier(const QString &value);

    FormFields *formfield() const;
    void setFormfield(FormFields *object);
    UserFields *userfield() const;
    void setUserfield(UserFields *object);
};
