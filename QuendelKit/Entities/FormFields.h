#pragma once

#include "QuendelKit/Entities/NSManagedObjectQDBase.h"

#include "platform/store/FetchRequest.h"

#include <QList>
#include <QString>

class CurrencyData;
class FormFieldType;
class FormFieldsList;
class UserFields;

// The definition of a custom field that every contact can fill in.
class FormFields : public NSManagedObjectQDBase
{
public:
    static inline const QString EntityName = QStringLiteral("FormFields");

    // A new request for every record of the entity: no predicate, order or limit.
    static platform::store::FetchRequest fetchRequest();

    QString formFieldName() const;
    void setFormFieldName(const QString &value);
    QString formFieldDefaultValue() const;
    void setFormFieldDefaultValue(const QString &value);
    QString formFieldProperty() const;
    void setFormFieldProperty(const QString &value);
    qint64 formFieldDisplayOrder() const;
    void setFormFieldDisplayOrder(qint64 value);
    bool isAlwaysVisible() const;
    void setIsAlwaysVisible(bool value);

    FormFieldType *fieldtype() const;
    void setFieldtype(FormFieldType *object);
    QList<FormFieldsList *> fieldslist() const;
    void setFieldslist(const QList<FormFieldsList *> &objects);
    void addFieldslistObject(FormFieldsList *object);
    void removeFieldslistObject(FormFieldsList *object);
    FormFieldsList *listdefault() const;
    void setListdefault(FormFieldsList *object);
    CurrencyData *currencydefault() const;
    void setCurrencydefault(CurrencyData *object);
    QList<UserFields *> userfields() const;
    void setUserfields(const QList<UserFields *> &objects);
    void addUserfieldsObject(UserFields *object);
    void removeUserfieldsObject(UserFields *object);
};
