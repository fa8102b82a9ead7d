#pragma once

#include "platform/store/Collations.h"
#include "platform/store/Predicate.h"
#include "platform/store/PredicateSql.h"
#include "platform/store/Schema.h"
#include "platform/store/SortDescriptor.h"

#include <QDateTime>
#include <QHash>
#include <QStringList>

#include <sqlite3.h>

#include <deque>
#include <vector>

namespace predicate_test {

using namespace platform::store;

// A record as both a row of a real SQLite file and an object in memory.
class Obj : public PredicateSubject
{
public:
    const EntityDescription *ent = nullptr;
    qint64 pk = 0; // 0: not saved, not written to the database
    QString name;
    QHash<QString, QVariant> values;
    QHash<QString, std::vector<Obj *>> related;

    const EntityDescription *entity() const override { return ent; }
    QVariant subjectValue(const QString &key) const override { return values.value(key); }
    std::vector<const PredicateSubject *> relatedSubjects(const QString &key) const override
    {
        std::vector<const PredicateSubject *> out;
        for (Obj *o : related.value(key))
            out.push_back(o);
        return out;
    }
    ObjectRef identity() const override
    {
        ObjectRef ref;
        ref.object = this;
        ref.entityName = ent->name();
        if (pk > 0)
            ref.pk = pk;
        return ref;
    }
    ObjectRef ref() const { return identity(); }
};

// A small model shaped like the application's (one-to-many, one-to-one, many-to-many), its objects, and the
// same objects written into an in-memory SQLite database laid out as the store lays out its tables.
class World
{
public:
    World();
    ~World();
    World(const World &) = delete;
    World &operator=(const World &) = delete;

    ManagedObjectModel model{QStringLiteral("PredicateTest"), 1};
    sqlite3 *db = nullptr;

    Obj &add(const QString &entity, const QString &name, qint64 pk);
    // Sets a relationship and its inverse.
    void link(Obj &from, const QString &relationship, Obj &to);
    Obj &named(const QString &name);
    // Writes every saved object into the database (tables created first).
    void writeDatabase();

    // Names of the objects of the entity that match, in SQL and in memory (sorted, for comparison).
    QStringList sqlMatches(const QString &entity, const Predicate &predicate, QString *problem = nullptr);
    QStringList memoryMatches(const QString &entity, const Predicate &predicate);
    // Names in the order SQL and in-memory sorting give.
    QStringList sqlOrder(const QString &entity, const std::vector<SortDescriptor> &order, QString *problem = nullptr);
    QStringList memoryOrder(const QString &entity, const std::vector<SortDescriptor> &order);

    QStringList queryNames(const QString &sql, const QVariantList &values, QString *problem = nullptr);

    std::deque<Obj> objects;
};

} // namespace predicate_test
