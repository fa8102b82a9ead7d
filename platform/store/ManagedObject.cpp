#include "platform/store/ManagedObject.h"

#include "platform/store/ContextEngine.h"
#include "platform/store/ManagedObjectContext.h"

#include <QDateTime>
#include <QTimeZone>

#include <algorithm>

namespace platform::store {

namespace {

// Brings a value to the one representation the attribute keeps, so comparisons, change detection and
// storage agree whatever type the caller passed.
QVariant normalized(QVariant &&value, const AttributeDescription &attribute)
{
    if (!value.isValid())
        return {};
    const int id = value.metaType().id();
    switch (attribute.type) {
    case AttributeType::String:
    case AttributeType::Decimal:
        if (id == QMetaType::QString)
            return static_cast<const QString *>(value.constData())->isNull() ? QVariant() : std::move(value);
        if (value.isNull())
            return {};
        return value.toString();
    case AttributeType::Integer16:
    case AttributeType::Integer32:
    case AttributeType::Integer64:
        if (id == QMetaType::LongLong)
            return std::move(value);
        if (value.isNull())
            return {};
        return QVariant(value.toLongLong());
    case AttributeType::Boolean:
        if (id == QMetaType::Bool)
            return std::move(value);
        if (value.isNull())
            return {};
        return QVariant(value.toBool());
    case AttributeType::Double:
        if (id == QMetaType::Double)
            return std::move(value);
        if (value.isNull())
            return {};
        return QVariant(value.toDouble());
    case AttributeType::Date: {
        const QDateTime date = value.toDateTime();
        if (!date.isValid())
            return {};
        if (date.timeSpec() == Qt::UTC)
            return id == QMetaType::QDateTime ? std::move(value) : QVariant(date);
        return QVariant(date.toUTC());
    }
    case AttributeType::Binary:
        if (id == QMetaType::QByteArray)
            return static_cast<const QByteArray *>(value.constData())->isNull() ? QVariant() : std::move(value);
        if (value.isNull())
            return {};
        return value.toByteArray();
    case AttributeType::Transformable:
        return std::move(value);
    }
    return std::move(value);
}

bool sameValue(const QVariant &a, const QVariant &b)
{
    if (a.isValid() != b.isValid())
        return false;
    if (!a.isValid())
        return true;
    if (a.metaType() == b.metaType() && a.metaType().id() == QMetaType::QString)
        return *static_cast<const QString *>(a.constData()) == *static_cast<const QString *>(b.constData());
    return a == b;
}

// The inverse through the store's worked-out layout when there is one (no name lookups on the hot path).
const RelationshipDescription *inverseOf(const EntityDescription *entity, ManagedObjectContext *context, int r);

template <typename T>
bool contains(const std::vector<T> &v, const T &x)
{
    return std::find(v.begin(), v.end(), x) != v.end();
}

} // namespace

namespace {
const RelationshipDescription *inverseOf(const EntityDescription *entity, ManagedObjectContext *context, int r)
{
    if (context) {
        if (const EntityLayout *layout = ContextEngine::layoutFor(context, entity)) {
            const auto &rel = layout->relationships[size_t(r)];
            return rel.inverseIndex < 0 || !rel.destination ? nullptr
                                                            : &rel.destination->relationships()[size_t(rel.inverseIndex)];
        }
    }
    return entity->inverseRelationship(entity->relationships()[size_t(r)]);
}
} // namespace

ManagedObject::ManagedObject() = default;
ManagedObject::~ManagedObject() = default;

void ManagedObject::attach(const EntityDescription *entity, ManagedObjectContext *context, const ManagedObjectID &id,
                           bool withValues, bool withRelationships)
{
    m_entity = entity;
    m_context = context;
    m_id = id;
    m_temporaryNumber = id.temporaryNumber();
    if (withValues)
        m_values.resize(entity->attributes().size());
    if (withRelationships)
        m_relationships.resize(entity->relationships().size());
}

const QVariant &ManagedObject::faultAttributeValue(int index) const
{
    const int slot = size_t(index) < m_fault->slotOf.size() ? m_fault->slotOf[size_t(index)] : -1;
    if (slot >= 0)
        return m_values[size_t(slot)];
    fulfillFault();
    return m_values[size_t(index)];
}

void ManagedObject::fulfillFault() const
{
    auto *self = const_cast<ManagedObject *>(this);
    if (m_context)
        m_context->m_engine->fulfillFault(self);
    if (m_fault)
        self->becomeWhole({}, {});
}

void ManagedObject::becomeWhole(std::vector<QVariant> values, std::vector<ManagedObjectID> toOne)
{
    const std::shared_ptr<const FaultPlan> plan = std::move(m_fault);
    m_fault.reset();
    if (!plan)
        return;
    const auto &attributes = m_entity->attributes();
    if (values.size() != attributes.size()) {
        // The record is out of reach (gone, or the object left its context): what the fault held stays.
        values.assign(attributes.size(), QVariant());
        for (size_t a = 0; a < attributes.size() && a < plan->slotOf.size(); ++a)
            if (plan->slotOf[a] >= 0 && size_t(plan->slotOf[a]) < m_values.size())
                values[a] = std::move(m_values[size_t(plan->slotOf[a])]);
    }
    for (size_t a = 0; a < attributes.size(); ++a)
        if (attributes[a].transient && attributes[a].defaultValue.isValid())
            values[a] = attributes[a].defaultValue;
    m_values = std::move(values);
    m_relationships.resize(m_entity->relationships().size());
    for (size_t r = 0; r < m_relationships.size() && r < toOne.size(); ++r)
        m_relationships[r].oneID = toOne[r];
    const bool tracking = m_tracking;
    m_tracking = false;
    awakeFromFetch();
    m_tracking = tracking;
}

QVariant ManagedObject::value(const QString &key) const
{
    if (!m_entity)
        return {};
    const int a = m_entity->attributeIndex(key);
    if (a >= 0)
        return attributeValue(a);
    const int r = m_entity->relationshipIndex(key);
    if (r < 0)
        return {};
    if (m_entity->relationships()[size_t(r)].toMany) {
        ensureLoaded(r);
        const auto &many = m_relationships[size_t(r)].many;
        return QVariant::fromValue(ObjectList(many.begin(), many.end()));
    }
    ensureLoaded(r);
    return QVariant::fromValue(m_relationships[size_t(r)].one);
}

void ManagedObject::setValue(const QString &key, QVariant value)
{
    if (!m_entity)
        return;
    const int a = m_entity->attributeIndex(key);
    if (a >= 0) {
        setAttributeValue(a, std::move(value));
        return;
    }
    const int r = m_entity->relationshipIndex(key);
    if (r < 0) {
        qWarning("store: %s has no key %s", qPrintable(m_entity->name()), qPrintable(key));
        return;
    }
    if (m_entity->relationships()[size_t(r)].toMany) {
        const ObjectList objects = value.value<ObjectList>();
        setRelatedObjects(key, objects);
    } else {
        setToOneInternal(r, value.value<ManagedObject *>(), true, true);
    }
}

void ManagedObject::setPrimitiveValue(const QString &key, QVariant value)
{
    if (!m_entity)
        return;
    const int a = m_entity->attributeIndex(key);
    if (a >= 0) {
        setPrimitiveAttributeValue(a, std::move(value));
        return;
    }
    const int r = m_entity->relationshipIndex(key);
    if (r < 0) {
        qWarning("store: %s has no key %s", qPrintable(m_entity->name()), qPrintable(key));
        return;
    }
    if (!m_entity->relationships()[size_t(r)].toMany)
        setToOneInternal(r, value.value<ManagedObject *>(), false, false);
}

void ManagedObject::setAttributeValue(int index, QVariant value)
{
    fireFault();
    QVariant v = normalized(std::move(value), m_entity->attributes()[size_t(index)]);
    if (sameValue(m_values[size_t(index)], v))
        return;
    markChanged(index, true);
    m_values[size_t(index)] = std::move(v);
}

void ManagedObject::setPrimitiveAttributeValue(int index, QVariant value)
{
    fireFault();
    QVariant v = normalized(std::move(value), m_entity->attributes()[size_t(index)]);
    if (sameValue(m_values[size_t(index)], v))
        return;
    markChanged(index, false);
    m_values[size_t(index)] = std::move(v);
}

ManagedObject *ManagedObject::relatedObject(const QString &key) const
{
    const int r = m_entity ? m_entity->relationshipIndex(key) : -1;
    if (r < 0 || m_entity->relationships()[size_t(r)].toMany)
        return nullptr;
    ensureLoaded(r);
    return m_relationships[size_t(r)].one;
}

void ManagedObject::setRelatedObject(const QString &key, ManagedObject *object)
{
    const int r = m_entity ? m_entity->relationshipIndex(key) : -1;
    if (r < 0 || m_entity->relationships()[size_t(r)].toMany) {
        qWarning("store: %s has no to-one relationship %s", m_entity ? qPrintable(m_entity->name()) : "?",
                 qPrintable(key));
        return;
    }
    setToOneInternal(r, object, true, true);
}

ManagedObject::ObjectList ManagedObject::relatedObjects(const QString &key) const
{
    const int r = m_entity ? m_entity->relationshipIndex(key) : -1;
    if (r < 0 || !m_entity->relationships()[size_t(r)].toMany)
        return {};
    ensureLoaded(r);
    const auto &many = m_relationships[size_t(r)].many;
    return ObjectList(many.begin(), many.end());
}

void ManagedObject::addRelatedObject(const QString &key, ManagedObject *object)
{
    const int r = m_entity ? m_entity->relationshipIndex(key) : -1;
    if (r < 0 || !m_entity->relationships()[size_t(r)].toMany || !object) {
        qWarning("store: cannot add to %s", qPrintable(key));
        return;
    }
    addToManyInternal(r, object, true, true);
}

void ManagedObject::removeRelatedObject(const QString &key, ManagedObject *object)
{
    const int r = m_entity ? m_entity->relationshipIndex(key) : -1;
    if (r < 0 || !m_entity->relationships()[size_t(r)].toMany || !object)
        return;
    removeToManyInternal(r, object, true, true);
}

void ManagedObject::setRelatedObjects(const QString &key, const ObjectList &objects)
{
    const int r = m_entity ? m_entity->relationshipIndex(key) : -1;
    if (r < 0 || !m_entity->relationships()[size_t(r)].toMany)
        return;
    ensureLoaded(r);
    const std::vector<ManagedObject *> current = m_relationships[size_t(r)].many;
    for (ManagedObject *old : current)
        if (!objects.contains(old))
            removeToManyInternal(r, old, true, true);
    for (ManagedObject *object : objects)
        if (object)
            addToManyInternal(r, object, true, true);
}

QList<ManagedObjectID> ManagedObject::objectIDsForRelationship(const QString &key) const
{
    const int r = m_entity ? m_entity->relationshipIndex(key) : -1;
    if (r < 0)
        return {};
    fireFault();
    const RelationshipSlot &slot = m_relationships[size_t(r)];
    QList<ManagedObjectID> ids;
    if (!m_entity->relationships()[size_t(r)].toMany) {
        if (slot.loaded) {
            if (slot.one)
                ids << slot.one->objectID();
        } else if (!slot.oneID.isNull()) {
            ids << slot.oneID;
        }
        return ids;
    }
    ensureLoaded(r);
    for (ManagedObject *object : slot.many)
        ids << object->objectID();
    return ids;
}

std::vector<const PredicateSubject *> ManagedObject::relatedSubjects(const QString &relationshipKey) const
{
    std::vector<const PredicateSubject *> result;
    const int r = m_entity ? m_entity->relationshipIndex(relationshipKey) : -1;
    if (r < 0)
        return result;
    ensureLoaded(r);
    const RelationshipSlot &slot = m_relationships[size_t(r)];
    if (!m_entity->relationships()[size_t(r)].toMany) {
        if (slot.one && !slot.one->isDeleted())
            result.push_back(slot.one);
        return result;
    }
    result.reserve(slot.many.size());
    for (ManagedObject *object : slot.many)
        if (!object->isDeleted())
            result.push_back(object);
    return result;
}

QStringList ManagedObject::changedKeys() const
{
    QStringList keys;
    if (!m_entity)
        return keys;
    const size_t attributes = m_entity->attributes().size();
    const size_t total = attributes + m_entity->relationships().size();
    for (size_t i = 0; i < total; ++i) {
        if (!m_changed[i])
            continue;
        keys << (i < attributes ? m_entity->attributes()[i].name : m_entity->relationships()[i - attributes].name);
    }
    return keys;
}

bool ManagedObject::hasChangedKey(const QString &key) const
{
    if (!m_entity)
        return false;
    int i = m_entity->attributeIndex(key);
    if (i < 0) {
        i = m_entity->relationshipIndex(key);
        if (i < 0)
            return false;
        i += int(m_entity->attributes().size());
    }
    return m_changed[size_t(i)];
}

QVariantMap ManagedObject::changedValues() const
{
    QVariantMap result;
    for (const QString &key : changedKeys())
        result.insert(key, value(key));
    return result;
}

QVariantMap ManagedObject::committedValues(const QStringList &keys) const
{
    QVariantMap result;
    if (!m_entity || isInserted() || m_state == State::InsertedDeleted)
        return result;
    fireFault();
    auto add = [&](const QString &key) {
        const int a = m_entity->attributeIndex(key);
        if (a >= 0) {
            if (m_entity->attributes()[size_t(a)].transient)
                return;
            result.insert(key, m_committed ? m_committed->values[size_t(a)] : m_values[size_t(a)]);
            return;
        }
        const int r = m_entity->relationshipIndex(key);
        if (r < 0 || m_entity->relationships()[size_t(r)].toMany)
            return;
        ManagedObjectID id;
        if (m_committed) {
            id = m_committed->toOne[size_t(r)];
        } else {
            const RelationshipSlot &slot = m_relationships[size_t(r)];
            id = slot.loaded ? (slot.one ? slot.one->objectID() : ManagedObjectID()) : slot.oneID;
        }
        result.insert(key, id.isNull() ? QVariant() : QVariant::fromValue(id));
    };
    if (keys.isEmpty()) {
        for (const auto &attribute : m_entity->attributes())
            add(attribute.name);
        for (const auto &relationship : m_entity->relationships())
            add(relationship.name);
    } else {
        for (const QString &key : keys)
            add(key);
    }
    return result;
}

// ---------------------------------------------------------------------------------------------------------

void ManagedObject::captureCommitted()
{
    if (m_committed || m_state == State::Inserted || m_state == State::InsertedDeleted)
        return;
    fireFault();
    auto committed = std::make_unique<Committed>();
    committed->values = m_values;
    const size_t count = m_relationships.size();
    committed->toOne.resize(count);
    committed->toMany.resize(count);
    committed->toManyKnown.assign(count, false);
    for (size_t r = 0; r < count; ++r) {
        const RelationshipSlot &slot = m_relationships[r];
        if (!m_entity->relationships()[r].toMany) {
            committed->toOne[r] = slot.loaded ? (slot.one ? slot.one->m_id : ManagedObjectID()) : slot.oneID;
        } else if (slot.loaded) {
            committed->toManyKnown[r] = true;
            committed->toMany[r].reserve(slot.many.size());
            for (ManagedObject *object : slot.many)
                committed->toMany[r].push_back(object->m_id);
        }
    }
    m_committed = std::move(committed);
}

void ManagedObject::markChanged(int changeIndex, bool tracked)
{
    if (!m_tracking)
        tracked = false;
    if (m_state == State::Clean)
        captureCommitted();
    if (!tracked)
        return;
    m_changed.set(size_t(changeIndex));
    if (m_state == State::Clean)
        m_state = State::Updated;
    if (m_context)
        m_context->m_engine->noteChange(this, true);
}

void ManagedObject::clearChanges()
{
    m_committed.reset();
    m_changed.clear();
    if (m_state != State::Deleted && m_state != State::InsertedDeleted)
        m_state = State::Clean;
    m_registeredChange = false;
}

void ManagedObject::ensureLoaded(int relationshipIndex) const
{
    fireFault();
    RelationshipSlot &slot = m_relationships[size_t(relationshipIndex)];
    if (slot.loaded)
        return;
    auto *self = const_cast<ManagedObject *>(this);
    if (!m_context) {
        slot.loaded = true;
        return;
    }
    if (m_entity->relationships()[size_t(relationshipIndex)].toMany) {
        m_context->m_engine->loadToMany(self, relationshipIndex);
        // Loaded after the object changed: what was loaded is what the store held.
        if (m_committed && size_t(relationshipIndex) < m_committed->toManyKnown.size()
            && !m_committed->toManyKnown[size_t(relationshipIndex)]) {
            m_committed->toManyKnown[size_t(relationshipIndex)] = true;
            auto &ids = m_committed->toMany[size_t(relationshipIndex)];
            ids.clear();
            for (ManagedObject *object : slot.many)
                ids.push_back(object->m_id);
        }
        slot.loaded = true;
        return;
    }
    slot.loaded = true;
    slot.one = slot.oneID.isNull() ? nullptr : m_context->m_engine->objectWithID(slot.oneID, nullptr);
}

void ManagedObject::setToOneInternal(int r, ManagedObject *object, bool track, bool inverse)
{
    ensureLoaded(r);
    RelationshipSlot &slot = m_relationships[size_t(r)];
    ManagedObject *old = slot.one;
    if (old == object)
        return;
    if (object && object->m_context != m_context) {
        qWarning("store: a relationship cannot join objects of different contexts");
        return;
    }
    markChanged(int(m_entity->attributes().size()) + r, track);
    slot.one = object;
    slot.oneID = object ? object->m_id : ManagedObjectID();
    if (!inverse)
        return;
    const RelationshipDescription *inverseDescription = inverseOf(m_entity, m_context, r);
    if (!inverseDescription)
        return;
    const int inv = inverseDescription->index;
    if (old) {
        if (inverseDescription->toMany) {
            old->removeToManyInternal(inv, this, track, false);
        } else {
            old->ensureLoaded(inv);
            if (old->m_relationships[size_t(inv)].one == this)
                old->setToOneInternal(inv, nullptr, track, false);
        }
    }
    if (object) {
        if (inverseDescription->toMany)
            object->addToManyInternal(inv, this, track, false);
        else
            object->setToOneInternal(inv, this, track, true); // also lets go of the object's previous partner
    }
}

void ManagedObject::addToManyInternal(int r, ManagedObject *object, bool track, bool inverse)
{
    ensureLoaded(r);
    RelationshipSlot &slot = m_relationships[size_t(r)];
    if (contains(slot.many, object))
        return;
    if (object->m_context != m_context) {
        qWarning("store: a relationship cannot join objects of different contexts");
        return;
    }
    markChanged(int(m_entity->attributes().size()) + r, track);
    if (slot.many.capacity() == 0)
        slot.many.reserve(4); // most lists are short: one allocation instead of three
    slot.many.push_back(object);
    if (!inverse)
        return;
    const RelationshipDescription *inverseDescription = inverseOf(m_entity, m_context, r);
    if (!inverseDescription)
        return;
    if (inverseDescription->toMany)
        object->addToManyInternal(inverseDescription->index, this, track, false);
    else
        object->setToOneInternal(inverseDescription->index, this, track, true);
}

void ManagedObject::removeToManyInternal(int r, ManagedObject *object, bool track, bool inverse)
{
    ensureLoaded(r);
    RelationshipSlot &slot = m_relationships[size_t(r)];
    auto it = std::find(slot.many.begin(), slot.many.end(), object);
    if (it == slot.many.end())
        return;
    markChanged(int(m_entity->attributes().size()) + r, track);
    slot.many.erase(it);
    if (!inverse)
        return;
    const RelationshipDescription *inverseDescription = inverseOf(m_entity, m_context, r);
    if (!inverseDescription)
        return;
    if (inverseDescription->toMany) {
        object->removeToManyInternal(inverseDescription->index, this, track, false);
    } else {
        object->ensureLoaded(inverseDescription->index);
        if (object->m_relationships[size_t(inverseDescription->index)].one == this)
            object->setToOneInternal(inverseDescription->index, nullptr, track, false);
    }
}

} // namespace platform::store
