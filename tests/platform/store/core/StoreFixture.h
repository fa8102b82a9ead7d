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

// Every hook call of a RecordingObject, as "<hook>:<name value>".
QStringList &hookLog();

class RecordingObject : public ManagedObject
{
protected:
    void awakeFromInsert() override { hookLog() << QStringLiteral("awakeFromInsert:") + value(QStringLiteral("name")).toString(); }
    void awakeFromFetch() override { hookLog() << QStringLiteral("awakeFromFetch:") + value(QStringLiteral("name")).toString(); }
    void willSave() override { hookLog() << QStringLiteral("willSave:") + value(QStringLiteral("name")).toString(); }
    void didSave() override { hookLog() << QStringLiteral("didSave:") + value(QStringLiteral("name")).toString(); }
    void prepareForDeletion() override
    {
        hookLog() << QStringLiteral("prepareForDeletion:") + value(QStringLiteral("name")).toString();
    }
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
