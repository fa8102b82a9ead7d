#include "platform/store/Model.h"

#include "platform/store/StoreCoordinator.h"

#include <QMutex>
#include <QMutexLocker>

namespace platform::store {

EntityDescription::EntityDescription(QString name, Factory factory)
    : m_name(std::move(name)), m_factory(std::move(factory))
{
}

EntityDescription &EntityDescription::addAttribute(AttributeDescription attribute)
{
    attribute.index = int(m_attributes.size());
    m_attributeIndex.insert(attribute.name, attribute.index);
    m_attributes.push_back(std::move(attribute));
    return *this;
}

EntityDescription &EntityDescription::addRelationship(RelationshipDescription relationship)
{
    relationship.index = int(m_relationships.size());
    m_relationshipIndex.insert(relationship.name, relationship.index);
    m_relationships.push_back(std::move(relationship));
    return *this;
}

const AttributeDescription *EntityDescription::attribute(const QString &name) const
{
    const int i = attributeIndex(name);
    return i < 0 ? nullptr : &m_attributes[size_t(i)];
}

const RelationshipDescription *EntityDescription::relationship(const QString &name) const
{
    const int i = relationshipIndex(name);
    return i < 0 ? nullptr : &m_relationships[size_t(i)];
}

const EntityDescription *EntityDescription::destinationEntity(const RelationshipDescription &relationship) const
{
    return m_model ? m_model->entity(relationship.destinationEntityName) : nullptr;
}

const RelationshipDescription *EntityDescription::inverseRelationship(const RelationshipDescription &relationship) const
{
    if (relationship.inverseName.isEmpty())
        return nullptr;
    const EntityDescription *destination = destinationEntity(relationship);
    return destination ? destination->relationship(relationship.inverseName) : nullptr;
}

ManagedObjectModel::ManagedObjectModel(QString name, int version) : m_name(std::move(name)), m_version(version) {}

EntityDescription &ManagedObjectModel::addEntity(EntityDescription entity)
{
    auto owned = std::make_unique<EntityDescription>(std::move(entity));
    owned->m_index = int(m_entities.size());
    owned->m_model = this;
    EntityDescription *raw = owned.get();
    m_byName.insert(raw->name(), raw);
    m_entities.push_back(std::move(owned));
    return *raw;
}

const EntityDescription *ManagedObjectModel::entity(const QString &name) const
{
    return m_byName.value(name, nullptr);
}

bool ManagedObjectModel::validate(QString *problem) const
{
    auto fail = [problem](const QString &text) {
        if (problem)
            *problem = text;
        return false;
    };
    for (const auto &entity : m_entities) {
        for (const auto &attribute : entity->attributes()) {
            if (entity->relationship(attribute.name))
                return fail(QStringLiteral("%1.%2 is both an attribute and a relationship").arg(entity->name(), attribute.name));
            if (attribute.type == AttributeType::Transformable && attribute.valueTransformerName.isEmpty())
                return fail(QStringLiteral("%1.%2 is transformable without a value transformer").arg(entity->name(), attribute.name));
        }
        for (const auto &relationship : entity->relationships()) {
            const EntityDescription *destination = entity->destinationEntity(relationship);
            if (!destination)
                return fail(QStringLiteral("%1.%2 names the unknown entity %3")
                                .arg(entity->name(), relationship.name, relationship.destinationEntityName));
            if (relationship.inverseName.isEmpty())
                continue;
            const RelationshipDescription *inverse = destination->relationship(relationship.inverseName);
            if (!inverse)
                return fail(QStringLiteral("%1.%2 names the unknown inverse %3.%4")
                                .arg(entity->name(), relationship.name, destination->name(), relationship.inverseName));
            if (inverse->destinationEntityName != entity->name() || inverse->inverseName != relationship.name)
                return fail(QStringLiteral("%1.%2 and its inverse %3.%4 disagree")
                                .arg(entity->name(), relationship.name, destination->name(), inverse->name));
        }
    }
    return true;
}

bool ManagedObjectModel::isConfigurationCompatibleWithStoreMetadata(const QVariantMap &metadata) const
{
    return metadata.value(StoreModelNameKey).toString() == m_name
        && metadata.value(StoreModelVersionKey).toInt() == m_version;
}

bool ManagedObjectModel::canMigrateStoreWithMetadata(const QVariantMap &metadata) const
{
    bool ok = false;
    const int version = metadata.value(StoreModelVersionKey).toInt(&ok);
    return ok && metadata.value(StoreModelNameKey).toString() == m_name && version <= m_version;
}

namespace {
QMutex g_transformerMutex;
QHash<QString, std::shared_ptr<ValueTransformer>> &transformers()
{
    static QHash<QString, std::shared_ptr<ValueTransformer>> table;
    return table;
}
} // namespace

void ValueTransformer::setValueTransformer(const QString &name, std::shared_ptr<ValueTransformer> transformer)
{
    QMutexLocker lock(&g_transformerMutex);
    if (transformer)
        transformers().insert(name, std::move(transformer));
    else
        transformers().remove(name);
}

std::optional<QByteArray> ValueTransformer::checkedTransformedValue(const QVariant &value,
                                                                   platform::core::QDError *) const
{
    return transformedValue(value);
}

std::shared_ptr<ValueTransformer> ValueTransformer::valueTransformer(const QString &name)
{
    QMutexLocker lock(&g_transformerMutex);
    return transformers().value(name);
}

} // namespace platform::store
