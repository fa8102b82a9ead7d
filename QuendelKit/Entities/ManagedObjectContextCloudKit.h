#pragma once

#include "platform/store/ManagedObject.h"
#include "platform/store/ManagedObjectContext.h"

#include <QString>

// How a context names and finds records by their cloud identity "<Entity>.<UUID>".
class ManagedObjectContextCloudKit
{
public:
    // "<entity name>.<new upper-case UUID with hyphens>"; no side effect.
    static QString generateCloudKitIDForEntityName(const QString &entityName);

    // The part before the first point; the whole identifier when it has none.
    static QString entityNameForCloudID(const QString &cloudID);

    // The record whose `cloudKitID` is the identifier, fetched on the context's queue while the caller
    // waits; null when there is none, when the identifier names no entity of the context's model, or when
    // the fetch fails.
    static platform::store::ManagedObject *objectWithCloudID(platform::store::ManagedObjectContext *context,
                                                             const QString &cloudID);
};
