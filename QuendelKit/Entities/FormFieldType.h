#pragma once

#include "QuendelKit/Entities/NSManagedObjectQDBase.h"

#include "platform/store/FetchRequest.h"

#include <QList>
#include <QString>

class FormFields;

// The type of a custom field ("Text", "List", "Number", "Date" or "Currency").
class FormFieldType : public NSManagedObjectQDBase
{
public:
    static inline const QString EntityName = QStringLiteral("FormFieldType");

    // A new request for every record of the entity: no predicate, order or limit.
    static platform::store::FetchRequest fetchRequest();

    QString fieldTypeName() const;
    void setFieldTypeName(const QString &value);

    QList<FormFields *> formfield() const;
    void setFormfield(const QList<FormFields *> &objects);
    void addFormfieldObject(FormFields *object);
    void removeFormfieldObject(FormFields *object);
};
