#pragma once

#include "platform/store/ManagedObject.h"
#include "platform/store/ManagedObjectContext.h"

class Person;

// What every record offers, whether or not it derives from the entity base: the attribute clone used by the
// contact page and the editors, and the fallback for moving a record to another contact.
class NSManagedObject_Category
{
public:
    // Inserts a new record of the source's entity into `context` and copies every attribute the context's
    // entity lists, no relationship. The copy starts a cloud identity of its own: no `cloudKitID`, a new
    // `createdAt`, and none of the source's archived cloud fields or remote-deletion mark, since an update
    // built on those fields would overwrite the source's cloud record. Null when the context does not know
    // the entity.
    static platform::store::ManagedObject *makeCloneOfObjectWithContext(const platform::store::ManagedObject &source,
                                                                        platform::store::ManagedObjectContext *context);

    // Moves an entity-base record through its own override; any other record only logs.
    static void reassignToPerson(platform::store::ManagedObject &object, Person *person);

    static inline const QString ReassignFallbackLogLine =
        QStringLiteral("NSManagedObject - category: reassignToPerson");
    static void logReassignFallback();
};
