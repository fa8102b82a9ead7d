#pragma once

#include "QuendelKit/Entities/FieldValidation.h"
#include "QuendelKit/Entities/NSManagedObjectQDBase.h"

#include "platform/store/FetchRequest.h"

#include <QList>
#include <QHash>
#include <QString>
#include <QStringList>

#include <memory>

class CurrencyData;
class Person;
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

    // ---- Field definitions and "Pin Color" (FormFields+Definitions.cpp) ----

    static inline const QString PinColorFieldName = QStringLiteral("Pin Color");
    // Store metadata: the "Pin Color" field is in place.
    static inline const QString PinColorFormFieldKey = QStringLiteral("PinColorFormField");
    static constexpr int PinColorFormFieldVersion = 2;
    // Data plist (and its key-value mirror): the "Pin Color" pass has run.
    static inline const QString PinColorChangesPlistKey = QStringLiteral("kCoreDataUpdatePinColorChanges_3.9");

    // The fifteen colour names in list order, and each name's "#rrggbb" value (stored as written).
    static const QStringList &pinColorsArray();
    static const QHash<QString, QString> &pinColorsDictionary();

    // Fetches; each runs on the context's queue while the caller waits, and gives an empty list on failure.
    static QList<FormFields *> loadAllFormFieldsInContext(platform::store::ManagedObjectContext *context);
    static QList<FormFields *> loadAllUsedFieldsForReportingInContext(platform::store::ManagedObjectContext *context);
    static QList<FormFields *> loadAllFormFieldsNotAddedToPerson(Person *person,
                                                                 platform::store::ManagedObjectContext *context);
    static qint64 countForAllFormFieldsWithMOC(platform::store::ManagedObjectContext *context);
    // The request of the contact's fields tab: fields always shown, or with a value of the contact that is
    // not remotely deleted; by display order.
    static platform::store::FetchRequest fetchRequestForFieldsPageWithPerson(Person *person);
    static FormFieldType *formFieldTypeForType(const QString &name, platform::store::ManagedObjectContext *context);

    // The oldest field named "Pin Color" (letter case aside), or null.
    static FormFields *getPinColorFieldWithMOC(platform::store::ManagedObjectContext *context);
    // Its choices by display order; empty without the field or on failure.
    static QList<FormFieldsList *> fetchFormFieldListForPinColorWithMOC(platform::store::ManagedObjectContext *context);
    // Makes sure the field and its fifteen colours exist (filling missing colour values, or every value
    // when `forceUpdate`), marks the store and saves; records the pass in the data plist when all went well.
    static FormFields *createPinColorFieldIfNoneExistsWithContext(platform::store::ManagedObjectContext *context,
                                                                  bool forceUpdate);
    // Deletes every "Pin Color" field but the oldest, and saves.
    void dedupePinColorFieldWithContext(platform::store::ManagedObjectContext *context);
    // The first choice of this field with exactly that title.
    FormFieldsList *getPinColorListValueForString(const QString &colorName) const;
    // A new field of the named type after the others, named "TestName-<type>". Nothing is saved.
    static FormFields *createFormFieldType(const QString &typeName, platform::store::ManagedObjectContext *context);

    // The field's validation, typed from its type on first use.
    FieldValidation &fieldValidation();
    void updateFieldValidationTypeWithField(const FormFieldType *type);
    // The default as display text, by the field's type.
    QString getDefaultValueString();

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
    // Also retypes the field's validation.
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

private:
    std::unique_ptr<FieldValidation> m_fieldValidation;
};
