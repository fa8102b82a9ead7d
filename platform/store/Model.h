#pragma once

#include "platform/core/QDError.h"

#include <QHash>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <QVariantMap>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace platform::store {

class ManagedObject;
class ManagedObjectModel;

// How a value is kept on an object (QVariant) and in SQLite:
//  String QString / TEXT, Integer16/32/64 qint64 / INTEGER, Boolean bool / INTEGER, Double double / REAL,
//  Decimal the exact decimal text as QString / TEXT, Date QDateTime (UTC) / REAL seconds since the Unix epoch,
//  Binary QByteArray / BLOB, Transformable any QVariant turned into bytes by a named ValueTransformer / BLOB.
enum class AttributeType { String, Integer16, Integer32, Integer64, Boolean, Double, Decimal, Date, Binary, Transformable };

enum class DeleteRule { Nullify, Cascade, Deny, NoAction };

struct AttributeDescription
{
    QString name{};
    AttributeType type = AttributeType::String;
    bool optional = true;
    bool transient = false; // kept on the object only, never stored
    QVariant defaultValue{}; // given to a new object on insert
    QString valueTransformerName{};
    int index = -1; // position in the entity's value vector; set by the model
    bool indexed = false; // the store keeps an SQL index on the column
};

struct RelationshipDescription
{
    QString name{};
    QString destinationEntityName{};
    QString inverseName{};
    bool toMany = false;
    bool ordered = false;
    DeleteRule deleteRule = DeleteRule::Nullify;
    bool optional = true;
    int index = -1; // position among the entity's relationships; set by the model
};

// The run-time description of one entity. Built once per model; objects keep their values in a vector
// indexed by AttributeDescription::index, and lookups by name go through here.
class EntityDescription
{
public:
    using Factory = std::function<ManagedObject *()>;

    EntityDescription(QString name, Factory factory = {});

    const QString &name() const { return m_name; }
    // The object of this entity's class; a plain ManagedObject when no class was registered.
    const Factory &factory() const { return m_factory; }

    EntityDescription &addAttribute(AttributeDescription attribute);
    EntityDescription &addRelationship(RelationshipDescription relationship);

    const std::vector<AttributeDescription> &attributes() const { return m_attributes; }
    const std::vector<RelationshipDescription> &relationships() const { return m_relationships; }
    const AttributeDescription *attribute(const QString &name) const;
    const RelationshipDescription *relationship(const QString &name) const;
    int attributeIndex(const QString &name) const { return m_attributeIndex.value(name, -1); }
    int relationshipIndex(const QString &name) const { return m_relationshipIndex.value(name, -1); }

    // Position of the entity in its model (set when added); -1 before.
    int index() const { return m_index; }
    // The model the entity belongs to; null before it was added.
    const ManagedObjectModel *model() const { return m_model; }
    // The inverse of one of this entity's relationships, on its destination entity; null when it has none.
    const RelationshipDescription *inverseRelationship(const RelationshipDescription &relationship) const;
    const EntityDescription *destinationEntity(const RelationshipDescription &relationship) const;

private:
    friend class ManagedObjectModel;
    int m_index = -1;
    const ManagedObjectModel *m_model = nullptr;
    QString m_name;
    Factory m_factory;
    std::vector<AttributeDescription> m_attributes;
    std::vector<RelationshipDescription> m_relationships;
    QHash<QString, int> m_attributeIndex;
    QHash<QString, int> m_relationshipIndex;
};

// A named, versioned set of entities. A store file records the version it was last opened with; opening
// it with a later model adds the new tables and columns (additive migration only).
class ManagedObjectModel
{
public:
    ManagedObjectModel(QString name, int version);

    const QString &name() const { return m_name; }
    int version() const { return m_version; }

    EntityDescription &addEntity(EntityDescription entity);
    const EntityDescription *entity(const QString &name) const;
    const std::vector<std::unique_ptr<EntityDescription>> &entities() const { return m_entities; }

    // Checks that every relationship's destination and inverse exist and agree; call once after building.
    bool validate(QString *problem = nullptr) const;

    // Whether a store whose metadata is given was written with this model and version, so it opens without
    // migration.
    bool isConfigurationCompatibleWithStoreMetadata(const QVariantMap &metadata) const;
    // Whether such a store can be opened with this model, migrating it additively when older.
    bool canMigrateStoreWithMetadata(const QVariantMap &metadata) const;

private:
    QString m_name;
    int m_version;
    std::vector<std::unique_ptr<EntityDescription>> m_entities;
    QHash<QString, EntityDescription *> m_byName;
};

// Turns a transformable attribute's value into bytes and back; registered by name before a store opens.
class ValueTransformer
{
public:
    virtual ~ValueTransformer() = default;
    virtual QByteArray transformedValue(const QVariant &value) const = 0;
    virtual QVariant reverseTransformedValue(const QByteArray &data) const = 0;
    // The bytes, or nullopt with the reason when the value cannot be held; a save then fails rather than
    // storing bytes that do not give the value back. The default trusts transformedValue.
    virtual std::optional<QByteArray> checkedTransformedValue(const QVariant &value,
                                                              platform::core::QDError *error) const;

    static void setValueTransformer(const QString &name, std::shared_ptr<ValueTransformer> transformer);
    static std::shared_ptr<ValueTransformer> valueTransformer(const QString &name);
};

} // namespace platform::store
