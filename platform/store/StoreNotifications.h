#pragma once

#include "platform/store/ManagedObjectID.h"

#include <QList>
#include <QMetaType>
#include <QString>
#include <QStringList>
#include <QVariantMap>

#include <memory>
#include <vector>

namespace platform::core {
struct Notification;
}

namespace platform::store {

class ManagedObject;

// Notices a context posts through platform::core::NotificationCenter::defaultCenter(), on the context's own
// queue, with the context (ManagedObjectContext *) as the notification's object.
//
//  - will-save: before a save does anything; no user info. Observers may read the context's
//    insertedObjects() / updatedObjects() / deletedObjects() and each object's changedKeys().
//  - did-save: after a save succeeded. User info: "insertedObjects", "updatedObjects", "deletedObjects"
//    (each a ManagedObject::ObjectList of the saving context's objects, identifiers already permanent) and
//    "changes" (SaveChanges, below, which also works on other threads since it carries identifiers).
//  - objects-did-change: when tracked changes were made (processPendingChanges, before a save, and after a
//    merge or a child's save reached this context); the same three lists plus "changes".
inline const QString ManagedObjectContextWillSaveNotification =
    QStringLiteral("QuendelManagedObjectContextWillSaveNotification");
inline const QString ManagedObjectContextDidSaveNotification =
    QStringLiteral("QuendelManagedObjectContextDidSaveNotification");
inline const QString ManagedObjectContextObjectsDidChangeNotification =
    QStringLiteral("QuendelManagedObjectContextObjectsDidChangeNotification");

inline const QString InsertedObjectsKey = QStringLiteral("insertedObjects");
inline const QString UpdatedObjectsKey = QStringLiteral("updatedObjects");
inline const QString DeletedObjectsKey = QStringLiteral("deletedObjects");
inline const QString ChangesKey = QStringLiteral("changes");

// One object's part in a save or a change notice.
struct ObjectChange
{
    ManagedObject *object = nullptr; // of the posting context; use only on its queue
    ManagedObjectID objectID;        // permanent after a save
    ManagedObjectID previousID;      // the temporary identifier an inserted object had before the save
    QStringList changedKeys;         // for updated objects: the attributes and relationships that changed
};

// What a save (or a batch request, or a merge) changed, by identifier. Pass it to another context's
// mergeChanges() or take it from a did-save notice with fromNotification().
struct SaveChanges
{
    std::vector<ObjectChange> inserted;
    std::vector<ObjectChange> updated;
    std::vector<ObjectChange> deleted;

    bool isEmpty() const { return inserted.empty() && updated.empty() && deleted.empty(); }
    QList<ManagedObjectID> insertedIDs() const;
    QList<ManagedObjectID> updatedIDs() const;
    QList<ManagedObjectID> deletedIDs() const;
    // The changed keys of an updated record; empty when it is not among the updated.
    QStringList changedKeysFor(const ManagedObjectID &id) const;

    // The changes a did-save or objects-did-change notice carries; null when it carries none.
    static std::shared_ptr<const SaveChanges> fromNotification(const platform::core::Notification &notification);
};

} // namespace platform::store

Q_DECLARE_METATYPE(std::shared_ptr<const platform::store::SaveChanges>)
