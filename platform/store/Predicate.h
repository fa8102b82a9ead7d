#pragma once

#include "platform/store/Collations.h"
#include "platform/store/ManagedObjectID.h"
#include "platform/store/Model.h"

#include <QMetaType>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <QVariantList>

#include <memory>
#include <optional>
#include <type_traits>
#include <vector>

namespace platform::store {

// One object as a predicate constant ("person == %@", "self IN %@"). A saved object is known by its entity
// and pk, which is all SQL can compare; an object not saved yet is known by its address in memory.
struct ObjectRef
{
    const void *object = nullptr;
    QString entityName;
    std::optional<qint64> pk;

    bool isNull() const { return !object && !pk; }
    QVariant toVariant() const { return QVariant::fromValue(*this); }

    // A saved record named by its identifier (a temporary identifier gives a reference that matches nothing).
    static ObjectRef fromObjectID(const ManagedObjectID &id, const void *object = nullptr)
    {
        ObjectRef ref;
        ref.object = object;
        if (id.entity())
            ref.entityName = id.entity()->name();
        if (!id.isNull() && !id.isTemporaryID())
            ref.pk = id.primaryKey();
        return ref;
    }

    // Two references name one object when both have pks and agree on entity and pk, or else when both point
    // at the same object in memory.
    friend bool sameObject(const ObjectRef &a, const ObjectRef &b)
    {
        if (a.pk && b.pk)
            return *a.pk == *b.pk && a.entityName == b.entityName;
        return a.object && a.object == b.object;
    }
};

// What an object shows to in-memory evaluation of predicates and sort orders: its entity, its current
// values (with pending changes), its related objects and its identity.
class PredicateSubject
{
public:
    virtual ~PredicateSubject() = default;
    virtual const EntityDescription *entity() const = 0;
    // An attribute's value as the object holds it now (QVariant as described in Model.h).
    virtual QVariant subjectValue(const QString &key) const = 0;
    // A relationship's objects: zero or one for a to-one.
    virtual std::vector<const PredicateSubject *> relatedSubjects(const QString &relationshipKey) const = 0;
    virtual ObjectRef identity() const = 0;
};

enum class Comparison { Equal, NotEqual, Less, LessOrEqual, Greater, GreaterOrEqual, Contains, BeginsWith, Like, In };

// A filter over the objects of one entity: a small immutable tree (copies share it) built with the static
// functions below. Compiles to SQL (PredicateSql.h) and evaluates in memory (evaluate) with one meaning.
//
// Key paths: an attribute ("lastName"), a to-one chain ending in an attribute or relationship
// ("person.lastName", "todo.person"), or "self"; a leading "SELF." is ignored.
//
// Meaning, in both places:
//  - A null constant makes equal/notEqual a null test ("key == nil" / "key != nil"); an ordering or text test
//    against null is false.
//  - A missing value (null attribute, unset to-one on the way) never equals, orders or contains anything, but
//    notEqual(key, v) holds for it.
//  - A constant that cannot be a value of the attribute (NaN, a text that is no decimal number) equals
//    nothing and is unequal to everything.
//  - Booleans are 0/1 numbers: equal("done", false) matches false and 0, not null; isFalseOrNil also null.
//  - Texts compare exactly, or folded with StringOptions (case, accents); ordering is UTF-16 code-unit order,
//    so key >= prefix AND key < upperBound(prefix) is exactly the prefix range. Dates compare by instant,
//    decimals by value.
//  - Objects compare by identity (ObjectRef).
class Predicate
{
public:
    enum class Kind { True, False, And, Or, Not, Compare, Subquery };

    struct Node
    {
        Kind kind = Kind::True;
        std::vector<Predicate> children; // And, Or: operands; Not: one; Subquery: the condition on each member
        QStringList keyPath;             // Compare: the left side; Subquery: the relationship
        Comparison op = Comparison::Equal;
        QVariant value;                  // Compare: constant (invalid = null), In: QVariantList; Subquery: count
        StringOptions options;
    };

    Predicate(); // TRUE

    static Predicate truePredicate();
    static Predicate falsePredicate();

    // "key <op> constant". The constant is a QVariant of the attribute's kind (or convertible to it), an
    // ObjectRef (toVariant) for a relationship or "self", or invalid / a null QString for null.
    static Predicate compare(const QString &keyPath, Comparison op, const QVariant &value, StringOptions options = {});
    static Predicate equal(const QString &keyPath, const QVariant &value, StringOptions options = {});
    static Predicate notEqual(const QString &keyPath, const QVariant &value, StringOptions options = {});
    static Predicate equal(const QString &keyPath, const ObjectRef &object);
    static Predicate notEqual(const QString &keyPath, const ObjectRef &object);
    // The same with the object itself (its identity now); a null pointer means null. A template, so that a
    // literal 0 still means the number.
    template <typename T, std::enable_if_t<std::is_base_of_v<PredicateSubject, T>, int> = 0>
    static Predicate equal(const QString &keyPath, const T *object)
    {
        return object ? equal(keyPath, static_cast<const PredicateSubject *>(object)->identity()) : isNil(keyPath);
    }
    template <typename T, std::enable_if_t<std::is_base_of_v<PredicateSubject, T>, int> = 0>
    static Predicate notEqual(const QString &keyPath, const T *object)
    {
        return object ? notEqual(keyPath, static_cast<const PredicateSubject *>(object)->identity()) : isNotNil(keyPath);
    }
    static Predicate less(const QString &keyPath, const QVariant &value, StringOptions options = {});
    static Predicate lessOrEqual(const QString &keyPath, const QVariant &value, StringOptions options = {});
    static Predicate greater(const QString &keyPath, const QVariant &value, StringOptions options = {});
    static Predicate greaterOrEqual(const QString &keyPath, const QVariant &value, StringOptions options = {});
    static Predicate isNil(const QString &keyPath);
    static Predicate isNotNil(const QString &keyPath);
    // "key == NO OR key == nil".
    static Predicate isFalseOrNil(const QString &keyPath);
    static Predicate contains(const QString &keyPath, const QString &text, StringOptions options = {});
    static Predicate beginsWith(const QString &keyPath, const QString &text, StringOptions options = {});
    // '*' and '?' wildcards.
    static Predicate like(const QString &keyPath, const QString &pattern, StringOptions options = {});
    // "key IN list": constants, or ObjectRefs (as variants) for a relationship or "self". Nil members match nothing.
    static Predicate in(const QString &keyPath, const QVariantList &values, StringOptions options = {});
    static Predicate in(const QString &keyPath, const std::vector<ObjectRef> &objects);
    // "key IN objects" for any container of object pointers (e.g. a list of ManagedObject *).
    template <typename Container>
    static Predicate inObjects(const QString &keyPath, const Container &objects)
    {
        std::vector<ObjectRef> refs;
        for (const auto *object : objects) {
            if (object)
                refs.push_back(static_cast<const PredicateSubject *>(object)->identity());
        }
        return in(keyPath, refs);
    }

    // "SUBQUERY(relationship, $x, condition).@count <op> count": the relationship is a key path whose last
    // step is to-many (or to-one), the condition a predicate on its destination entity.
    static Predicate subqueryCount(const QString &relationshipKeyPath, const Predicate &condition, Comparison op, qint64 count);
    // "relationship.@count <op> count".
    static Predicate count(const QString &relationshipKeyPath, Comparison op, qint64 count);
    // "ANY relationship.<condition>" (also "relationship.key CONTAINS %@"): at least one member satisfies it.
    // E.g. any("emails", equal("email", x, CaseInsensitive)), any("privategroup", equal("self", group)).
    static Predicate any(const QString &relationshipKeyPath, const Predicate &condition);

    static Predicate andOf(std::vector<Predicate> operands); // empty: TRUE
    static Predicate orOf(std::vector<Predicate> operands);  // empty: FALSE
    static Predicate notOf(const Predicate &operand);

    Kind kind() const { return m_node->kind; }
    const Node &node() const { return *m_node; }

    bool evaluate(const PredicateSubject &subject) const;
    // A readable form for logs and test output.
    QString description() const;

private:
    explicit Predicate(std::shared_ptr<const Node> node) : m_node(std::move(node)) {}
    static Predicate make(Node node);
    static Predicate combine(Kind kind, std::vector<Predicate> operands);

    std::shared_ptr<const Node> m_node;
};

inline Predicate operator&&(const Predicate &a, const Predicate &b) { return Predicate::andOf({a, b}); }
inline Predicate operator||(const Predicate &a, const Predicate &b) { return Predicate::orOf({a, b}); }
inline Predicate operator!(const Predicate &a) { return Predicate::notOf(a); }

// Whether the subject satisfies the predicate, with exactly the meaning of its SQL form.
bool evaluate(const Predicate &predicate, const PredicateSubject &subject);

} // namespace platform::store

Q_DECLARE_METATYPE(platform::store::ObjectRef)
