#pragma once

#include "QuendelKit/Entities/NSManagedObjectQDBase.h"

#include "platform/store/FetchRequest.h"

#include <QList>
#include <QString>
#include <QStringList>

class FormFields;

// The type of a custom field ("Text", "List", "Number", "Date" or "Currency").
class FormFieldType : public NSManagedObjectQDBase
{
public:
    static inline const QString EntityName = QStringLiteral("FormFieldType");

    // A new request for every record of the entity: no predicate, order or limit.
    static platform::store::FetchRequest fetchRequest();

    // ---- Field types (FormFields+Definitions.cpp) ----

    static inline const QString TextTypeName = QStringLiteral("Text");
    static inline const QString NumberTypeName = QStringLiteral("Number");
    static inline const QString ListTypeName = QStringLiteral("List");
    static inline const QString CurrencyTypeName = QStringLiteral("Currency");
    static inline const QString DateTypeName = QStringLiteral("Date");
    // The types a store is seeded with, in this order.
    static QStringList seededTypeNames() { return {TextTypeName, NumberTypeName, ListTypeName, CurrencyTypeName, DateTypeName}; }
    // Store metadata: the types have been seeded or found.
    static inline const QString AddFormFieldTypeValuesKey = QStringLiteral("AddFormFieldTypeValues");
    static constexpr int LoadLimit = 5;

    // The oldest five types; an empty store is seeded first. Runs on the context's queue while the caller
    // waits.
    static QList<FormFieldType *> loadAllFormFieldTypesInContext(platform::store::ManagedObjectContext *context);
    // Seeds the five types into a store without any, marks the store's metadata either way, and saves;
    // the save's result. Call it on the context's queue.
    static bool createFormFieldTypesIfNoneExistsInContext(platform::store::ManagedObjectContext *context);
    // The first type of that name, letter case aside; null when there is none. On the caller's thread.
    static FormFieldType *formFieldTypeForType(const QString &name, platform::store::ManagedObjectContext *context);
    // The "List" type, on the context's queue.
    static FormFieldType *getFormFieldTypeForListInContext(platform::store::ManagedObjectContext *context);
    static qint64 countForAllFormFieldsTypeWithMOC(platform::store::ManagedObjectContext *context);
    // Deletes every type of the same name as one of `types` but the oldest, and saves. Every stored type
    // takes part.
    static void dedupeFieldTypeList(const QList<FormFieldType *> &types, platform::store::ManagedObjectContext *context);

    // Exact, case-sensitive tests of the type's name.
    bool isFieldTypeText() const { return fieldTypeName() == TextTypeName; }
    bool isFieldTypeNumber() const { return fieldTypeName() == NumberTypeName; }
    bool isFieldTypeList() const { return fieldTypeName() == ListTypeName; }
    bool isFieldTypeCurrency() const { return fieldTypeName() == CurrencyTypeName; }
    bool isFieldTypeDate() const { return fieldTypeName() == DateTypeName; }

    QString fieldTypeName() const;
    void setFieldTypeName(const QString &value);

    QList<FormFields *> formfield() const;
    void setFormfield(const QList<FormFields *> &objects);
    void addFormfieldObject(FormFields *object);
    void removeFormfieldObject(FormFields *object);
};
