#pragma once

#include "platform/store/Model.h"

#include <QString>

// How entities lie in SQLite. Everything that writes SQL against a store (the coordinator, the predicate
// compiler, batch requests) names tables and columns through these functions, so the layout has one owner.
//
//  - An entity is the table `"<Entity>"` with `pk INTEGER PRIMARY KEY` and one column per stored
//    (non-transient) attribute, named after the attribute.
//  - A to-one relationship is the column `"<name>_pk"` (NULL when unset), with an index.
//  - A to-many relationship whose inverse is to-one has no storage of its own: it is the destination
//    table's rows whose inverse `_pk` column holds this object's pk.
//  - A to-many relationship whose inverse is to-many (or that has no inverse) is a join table of two pk
//    columns with a primary key over both; both sides of the pair name the same table.
//  - Fetches read `FROM "<Entity>" AS t0`, so a compiled WHERE fragment may qualify root columns with
//    `t0.` (kRootAlias) or leave them bare.
namespace platform::store::schema {

inline constexpr const char *kRootAlias = "t0";
inline constexpr const char *kPrimaryKeyColumn = "pk";
inline constexpr const char *kMetadataTable = "quendel_metadata";

// Double-quotes an identifier for SQL (entity names such as "Group" are SQL keywords).
inline QString quoteIdentifier(const QString &name)
{
    QString quoted = name;
    quoted.replace(QLatin1Char('"'), QLatin1String("\"\""));
    return QLatin1Char('"') + quoted + QLatin1Char('"');
}

inline QString tableName(const EntityDescription &entity) { return entity.name(); }

inline QString columnName(const AttributeDescription &attribute) { return attribute.name; }

// The `_pk` column of a to-one relationship.
inline QString foreignKeyColumnName(const RelationshipDescription &relationship)
{
    return relationship.name + QLatin1String("_pk");
}

// Whether a to-many relationship is kept in a join table: when its inverse is to-many too, or it has none.
// `inverse` is the destination entity's relationship named by relationship.inverseName, or null.
inline bool usesJoinTable(const RelationshipDescription &relationship, const RelationshipDescription *inverse)
{
    return relationship.toMany && (!inverse || inverse->toMany);
}

namespace detail {
inline QString sideName(const QString &entity, const QString &relationship)
{
    return entity + QLatin1Char('_') + relationship;
}
} // namespace detail

// The join table of a many-to-many pair: "J_<sideA>__<sideB>" with the sides "<Entity>_<relationship>" in
// sorted order, so the relationship and its inverse give the same name. A to-many without an inverse
// names its other side "<Destination>_" (empty relationship).
inline QString joinTableName(const RelationshipDescription &relationship, const EntityDescription &entity)
{
    const QString mine = detail::sideName(entity.name(), relationship.name);
    const QString theirs = detail::sideName(relationship.destinationEntityName, relationship.inverseName);
    return mine <= theirs ? QLatin1String("J_") + mine + QLatin1String("__") + theirs
                          : QLatin1String("J_") + theirs + QLatin1String("__") + mine;
}

// The join table's column holding the pk of the object that owns `relationship` (an object of `entity`).
inline QString joinSourceColumn(const RelationshipDescription &relationship, const EntityDescription &entity)
{
    return detail::sideName(entity.name(), relationship.name) + QLatin1String("_pk");
}

// The join table's column holding the pk of the related (destination) object.
inline QString joinDestinationColumn(const RelationshipDescription &relationship, const EntityDescription &entity)
{
    QString column = detail::sideName(relationship.destinationEntityName, relationship.inverseName);
    // A relationship that is its own inverse on one entity would name both columns alike.
    if (column == detail::sideName(entity.name(), relationship.name))
        column += QLatin1String("_2");
    return column + QLatin1String("_pk");
}

} // namespace platform::store::schema
