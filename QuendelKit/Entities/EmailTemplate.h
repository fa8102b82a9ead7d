#pragma once

#include "QuendelKit/Entities/NSManagedObjectQDBase.h"

#include "platform/store/FetchRequest.h"

#include <QString>
#include <QVariant>

// An e-mail template with merge tags.
class EmailTemplate : public NSManagedObjectQDBase
{
public:
    static inline const QString EntityName = QStringLiteral("EmailTemplate");

    // A new request for every record of the entity: no predicate, order or limit.
    static platform::store::FetchRequest fetchRequest();

    QString templateName() const;
    void setTemplateName(const QString &value);
    qint64 displayOrder() const;
    void setDisplayOrder(qint64 value);
    QVariant templateProperties() const;
    void setTemplateProperties(const QVariant &value);
};
