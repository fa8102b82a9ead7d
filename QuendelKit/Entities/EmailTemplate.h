#pragma once

#include "QuendelKit/Entities/NSManagedObjectQDBase.h"

#include "platform/store/FetchRequest.h"

#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>
#include <QVariant>

class Person;

// One merge tag: its name in the editor's menu and the entity and key whose value replaces it.
class NameValue
{
public:
    QString tagName;
    QString tagEntity;
    QString tagKey;

    static NameValue objectWithName(const QString &name, const QString &entity, const QString &key)
    {
        return NameValue{name, entity, key};
    }
    // Every merge tag by group ("Person", "Email", "Phone", "Address", "Other").
    static const QHash<QString, QList<NameValue>> &nameValueList();
    // The groups in the order the editor shows them.
    static QStringList groupOrder();
    bool operator==(const NameValue &other) const = default;
};

// An e-mail template with merge tags.
class EmailTemplate : public NSManagedObjectQDBase
{
public:
    static inline const QString EntityName = QStringLiteral("EmailTemplate");

    // A new request for every record of the entity: no predicate, order or limit.
    static platform::store::FetchRequest fetchRequest();

    // Keys of the properties dictionary.
    static inline const QString TextKey = QStringLiteral("Text");
    static inline const QString SubjectTextKey = QStringLiteral("SubjectText");
    static inline const QString MappingKey = QStringLiteral("Mapping");
    static inline const QString SubjectMappingKey = QStringLiteral("SubjectMapping");

    // The text a tag stands as: "<$Entity.key$>".
    static QString tagText(const NameValue &tag);
    // Records the tag for the body (or the subject) and returns its text; nothing is recorded when the
    // template has no properties yet. Nothing is saved.
    QString addNewMappingToProperties(const NameValue &tag);
    QString addNewMappingToSubjectProperties(const NameValue &tag);
    // The body (or subject) with every recorded tag replaced by the contact's value; the tags without a value
    // stay and are appended to `missingTags`. Only the keys of the merge-tag table are ever read: a mapping
    // that names any other key (templates arrive from other devices) gives no value.
    QString getTemplateBodyTextForPerson(const Person *person, QStringList &missingTags) const;
    QString getTemplateSubjectTextForPerson(const Person *person, QStringList &missingTags) const;
    static QString getTemplateTextForPerson(const Person *person, QStringList &missingTags, const QVariantMap &mapping,
                                            const QString &text);

    QString templateName() const;
    void setTemplateName(const QString &value);
    qint64 displayOrder() const;
    void setDisplayOrder(qint64 value);
    QVariant templateProperties() const;
    void setTemplateProperties(const QVariant &value);
};
