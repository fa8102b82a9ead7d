#pragma once

#include "platform/store/ManagedObjectID.h"
#include "platform/store/Model.h"
#include "platform/store/Predicate.h"

#include <QList>
#include <QSet>
#include <QStringList>
#include <QVariant>
#include <QVariantMap>
#include <QVarLengthArray>

#include <memory>
#include <vector>

namespace platform::store {

class ManagedObjectContext;

// Which attributes a fault holds: per attribute, its place among the fault's values, or -1 when the record
// has to be read for it. One plan serves every fault of a fetch.
struct FaultPlan
{
    std::vector<int> slotOf;
};

// One record in one context. Entity classes derive from it and are registered on their EntityDescription
// (its factory); objects are created only by a context (insertNewObject, fetches, objectWithID) and belong
// to it: they live until the context is reset or destroyed, and are used only on that context's queue.
//
// Values:
//  - value(key) / setValue(key, v) read and write an attribute (QVariant as described in Model.h) or a
//    relationship (a to-one as QVariant::fromValue<ManagedObject *>, a to-many as ObjectList). setValue is
//    tracked: the key becomes a changed key, the object becomes updated, the context's objects-did-change
//    notice will carry it, and the inverse relationship is kept in step.
//  - setPrimitiveValue(key, v) writes without tracking: no changed key, no notice, no update by itself. An
//    object that is saved anyway (inserted, updated, being saved) writes the value; a clean object keeps it
//    in memory only. Values computed inside willSave use it, so stamping never marks a record changed again.
//  - Transient attributes live on the object only and are never stored.
//  - Setting a value equal to the current one changes nothing.
//
// Relationships are loaded on first use from the context's parent or store, and every edit keeps the
// inverse in step (to-one set, to-many add/remove/set, and the many-to-many pair).
//
// A fault (see FetchRequest::returnsObjectsAsFaults) holds its identity and a few attributes only; reading
// anything else of it, or changing it, first reads its whole record and wakes it (awakeFromFetch), after
// which it is an ordinary object. Callers see the same values either way.
class ManagedObject : public PredicateSubject
{
public:
    using ObjectList = QList<ManagedObject *>;

    ManagedObject();
    virtual ~ManagedObject();
    ManagedObject(const ManagedObject &) = delete;
    ManagedObject &operator=(const ManagedObject &) = delete;

    const EntityDescription *entity() const override { return m_entity; }
    // Null once the object was removed from its context (reset, a rollback of its insertion, or after the
    // save that deleted it).
    ManagedObjectContext *managedObjectContext() const { return m_context; }
    const ManagedObjectID &objectID() const { return m_id; }

    // Attributes and relationships by name. Unknown keys read as an invalid QVariant and are ignored (with a
    // warning) when written.
    QVariant value(const QString &key) const;
    void setValue(const QString &key, QVariant value);
    QVariant primitiveValue(const QString &key) const { return value(key); }
    void setPrimitiveValue(const QString &key, QVariant value);

    // Attributes by their index in the entity (AttributeDescription::index): the fast path for entity classes.
    const QVariant &attributeValue(int index) const
    {
        return m_fault ? faultAttributeValue(index) : m_values[size_t(index)];
    }
    void setAttributeValue(int index, QVariant value);
    void setPrimitiveAttributeValue(int index, QVariant value);

    // To-one relationships.
    ManagedObject *relatedObject(const QString &key) const;
    void setRelatedObject(const QString &key, ManagedObject *object);
    // To-many relationships, in the order the objects were added (stable while loaded).
    ObjectList relatedObjects(const QString &key) const;
    void addRelatedObject(const QString &key, ManagedObject *object);
    void removeRelatedObject(const QString &key, ManagedObject *object);
    void setRelatedObjects(const QString &key, const ObjectList &objects);
    // Without loading them: the identifiers of a relationship's destination objects.
    QList<ManagedObjectID> objectIDsForRelationship(const QString &key) const;

    // Change state, as of the context's pending changes.
    bool isInserted() const { return m_state == State::Inserted; }
    bool isUpdated() const { return m_state == State::Updated; }
    bool isDeleted() const { return m_state == State::Deleted || m_state == State::InsertedDeleted; }
    bool hasChanges() const { return m_state != State::Clean; }
    // Whether the object still waits for its record (see above).
    bool isFault() const { return m_fault != nullptr; }
    // The keys changed by tracked setters since the last save, fetch or refresh.
    QStringList changedKeys() const;
    // The changed keys with their new values (relationships as in value()).
    QVariantMap changedValues() const;
    // The values as last saved or fetched, for the given keys (all stored attributes and to-one
    // relationships when empty). A new object has none.
    QVariantMap committedValues(const QStringList &keys = {}) const;
    // Whether the key holds a change not yet saved.
    bool hasChangedKey(const QString &key) const;

    // PredicateSubject: what predicates and sort descriptors read in memory.
    QVariant subjectValue(const QString &key) const override { return value(key); }
    std::vector<const PredicateSubject *> relatedSubjects(const QString &relationshipKey) const override;
    ObjectRef identity() const override { return ObjectRef::fromObjectID(m_id, this); }

protected:
    // Hooks, each called on the context's queue. An override calls the inherited one.
    // After the object was inserted into a context (its default values are set).
    virtual void awakeFromInsert() {}
    // After the object was materialised from its store or parent; setters here are not tracked.
    virtual void awakeFromFetch() {}
    // Before its values are written by a save (also for deleted objects; use primitive setters).
    virtual void willSave() {}
    // After the save that wrote it, with its permanent identifier in place.
    virtual void didSave() {}
    // When deleteObject reaches it, directly or through a cascade, before the delete rules run.
    virtual void prepareForDeletion() {}

private:
    friend class ManagedObjectContext;
    friend class ContextEngine;
    friend class SqliteStore;
    enum class State : quint8 { Clean, Inserted, Updated, Deleted, InsertedDeleted };

    struct RelationshipSlot
    {
        ManagedObject *one = nullptr;   // resolved to-one
        ManagedObjectID oneID;          // to-one before it is resolved
        std::vector<ManagedObject *> many;
        bool loaded = false;            // to-one resolved / to-many loaded
    };
    // What the object held when it was last saved or fetched; kept only once it changes.
    struct Committed
    {
        std::vector<QVariant> values;
        std::vector<ManagedObjectID> toOne;                 // per relationship (to-one only)
        std::vector<std::vector<ManagedObjectID>> toMany;  // per relationship, when loaded before the change
        std::vector<bool> toManyKnown;
    };

    // withValues false: the caller moves a filled value vector in right after; withRelationships false: a
    // fault, whose relationships come with its record.
    void attach(const EntityDescription *entity, ManagedObjectContext *context, const ManagedObjectID &id,
                bool withValues = true, bool withRelationships = true);
    void markChanged(int changeIndex, bool tracked);
    void captureCommitted();
    void ensureLoaded(int relationshipIndex) const;
    // A fault reads its record now; nothing happens to a whole object.
    void fireFault() const
    {
        if (m_fault)
            fulfillFault();
    }
    void fulfillFault() const;
    const QVariant &faultAttributeValue(int index) const;
    // Turns a fault into a whole object with the record's values (empty: the record could not be read, the
    // fault keeps what it held) and to-one identifiers (per relationship).
    void becomeWhole(std::vector<QVariant> values, std::vector<ManagedObjectID> toOne);
    void setToOneInternal(int relationshipIndex, ManagedObject *object, bool track, bool inverse);
    void addToManyInternal(int relationshipIndex, ManagedObject *object, bool track, bool inverse);
    void removeToManyInternal(int relationshipIndex, ManagedObject *object, bool track, bool inverse);
    void clearChanges();

    const EntityDescription *m_entity = nullptr;
    ManagedObjectContext *m_context = nullptr;
    ManagedObjectID m_id;
    // By attribute index; a fault holds only its plan's attributes, in the plan's order.
    std::vector<QVariant> m_values;
    // Empty while a fault.
    mutable std::vector<RelationshipSlot> m_relationships;
    std::shared_ptr<const FaultPlan> m_fault; // null once whole
    std::unique_ptr<Committed> m_committed;
    // Which keys changed: per attribute, then per relationship. Held inline for up to 128 keys.
    struct ChangeBits
    {
        QVarLengthArray<quint64, 2> words;
        bool empty() const { return words.isEmpty(); }
        size_t size() const { return size_t(words.size()) * 64; }
        bool operator[](size_t i) const { return i / 64 < size_t(words.size()) && ((words[qsizetype(i / 64)] >> (i % 64)) & 1u); }
        void set(size_t i)
        {
            while (size_t(words.size()) <= i / 64)
                words.append(0);
            words[qsizetype(i / 64)] |= quint64(1) << (i % 64);
        }
        void clear() { words.clear(); }
    };
    ChangeBits m_changed;
    qint64 m_pendingPk = 0; // the pk a save is giving the object, until the save commits
    quint64 m_temporaryNumber = 0; // of the temporary identifier it had, if any
    State m_state = State::Clean;
    bool m_tracking = true;
    bool m_registeredChange = false;
    bool m_noticePending = false; // listed for the next objects-did-change
    quint32 m_saveGeneration = 0; // the save whose willSave already ran for the object
};

} // namespace platform::store

Q_DECLARE_METATYPE(platform::store::ManagedObject *)
Q_DECLARE_METATYPE(platform::store::ManagedObject::ObjectList)
