#pragma once

#include "QuendelKit/Entities/NSManagedObjectQDBase.h"

#include "platform/store/FetchRequest.h"

#include <QByteArray>
#include <QList>
#include <QString>

class FormFields;
class UserFields;

// One choice of a list field.
class FormFieldsList : public NSManagedObjectQDBase
{
public:
    static inline const QString EntityName = QStringLiteral("FormFieldsList");

    // A new request for every record of the entity: no predicate, order or limit.
    static platform::store::FetchRequest fetchRequest();

    // A new "Pin Color" choice at `index` with the colour's value (none for a name not in the table); it is
    // not attached to a field. Nothing is saved.
    static FormFieldsList *createPinColorListItemWithString(const QString &colorName, qint64 index,
                                                            platform::store::ManagedObjectContext *context);

    QString title() const;
    void setTitle(const QString &value);
    QString fieldListAlternateValue() const;
    void setFieldListAlternateValue(const QString &value);
    QByteArray fieldListData() const;
    void setFieldListData(const QByteArray &value);
    qint64 fieldsListDisplayOrder() const;
    void setFieldsListDisplayOrder(qint64 value);

    FormFields *targetfield() const;
    void setTargetfield(FormFields *object);
    FormFields *targetdefault() const;
    void setTargetdefault(FormFields *object);
    QList<UserFields *> userfield() const;
    void setUserfield(const QList<UserFields *> &objects);
    void addUserfieldObject(UserFields *object);
    void removeUserfieldObject(UserFields *object);

protected:
    // The values that chose this item lose their text.
    void prepareForDeletion() override;
};
