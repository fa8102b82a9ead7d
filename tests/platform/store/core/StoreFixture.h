#pragma once

#include "platform/core/NotificationCenter.h"
#include "platform/store/ManagedObjectContext.h"
#include "platform/store/StoreCoordinator.h"

#include <QDir>
#include <QTemporaryDir>
#include <QStringList>

#include <gtest/gtest.h>

#include <memory>

namespace storetest {

using namespace platform::store;
using platform::core::QDError;

// Every hook call of a RecordingObject, as "<hook>:<name value>" (objects of every thread write to it).
QStringList &hookLog();
void logHook(const char *hook, const ManagedObject *object);

class RecordingObject : public ManagedObject
{
protected:
    void awakeFromInsert() override { logHook("awakeFromInsert", this); }
    void awakeFromFetch() override { logHook("awakeFromFetch", this); }
    void willSave() override { logHook("willSave", this); }
    void didSave() override { logHook("didSave", this); }
    void prepareForDeletion() override { logHook("prepareForDeletion", this); }
};

// Person --phones (cascade)-->> Phone --person (nullify)--> Person
// Person <<--groups (nullify)-->> Group (many-to-many)
// Folder --items (deny)-->> Item --folder (nullify)--> Folder
// Person --partner (nullify)--> Person (one-to-one, its own inverse)
// Version 2 adds Person.nickname and the entity Tag.
std::shared_ptr<ManagedObjectModel> makeModel(int version = 1);

struct Store
{
    std::shared_ptr<ManagedObjectModel> model;
    std::shared_ptr<StoreCoordinator> coordinator;
    std::shared_ptr<PersistentStore> store;
    ContextPtr main;
};

// A coordinator over the file (or in memory when path is empty) and a main-queue context on it.
Store openStore(const QString &path, int version = 1, StoreOptions options = {}, QDError *error = nullptr);

ManagedObject *insertPerson(const ContextPtr &context, const QString &name, qint64 age = 0);

// Collects every notice of one name posted by one context.
struct NoticeRecorder
{
    NoticeRecorder(const QString &name, const void *object);
    std::vector<platform::core::Notification> notices;
    platform::core::ScopedObserver observer;
};

} // namespace storetest
