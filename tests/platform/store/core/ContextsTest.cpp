#include "StoreFixture.h"

#include "platform/core/DispatchQueue.h"
#include "platform/store/SortDescriptor.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>

#include <atomic>
#include <thread>

using namespace storetest;
using Type = ManagedObjectContext::ConcurrencyType;

namespace {
const QString kPerson = QStringLiteral("Person");

ContextPtr sibling(const Store &s, Type type = Type::MainQueue)
{
    auto context = ManagedObjectContext::create(type);
    context->setPersistentStoreCoordinator(s.coordinator);
    return context;
}

ContextPtr childOf(const ContextPtr &parent, Type type = Type::MainQueue)
{
    auto context = ManagedObjectContext::create(type);
    context->setParentContext(parent);
    return context;
}

ManagedObject *personNamed(const ContextPtr &context, const QString &name)
{
    FetchRequest request(kPerson);
    request.setPredicate(Predicate::equal(QStringLiteral("name"), name));
    return context->executeFetchRequest(request).value(0);
}

QStringList names(const QList<ManagedObject *> &objects)
{
    QStringList result;
    for (ManagedObject *object : objects)
        result << object->value(QStringLiteral("name")).toString();
    return result;
}
} // namespace

TEST(StoreNotices, WillSaveAndDidSaveCarryObjectsAndChangedKeys)
{
    Store s = openStore(QString());
    ManagedObject *ann = insertPerson(s.main, QStringLiteral("Ann"));
    ManagedObject *bob = insertPerson(s.main, QStringLiteral("Bob"));
    ASSERT_TRUE(s.main->save());

    NoticeRecorder willSave(ManagedObjectContextWillSaveNotification, s.main.get());
    NoticeRecorder didSave(ManagedObjectContextDidSaveNotification, s.main.get());
    int insertedSeenInWillSave = -1;
    platform::core::ScopedObserver peek(ManagedObjectContextWillSaveNotification, s.main.get(),
                                        [&](const platform::core::Notification &) {
                                            insertedSeenInWillSave = int(s.main->insertedObjects().size());
                                        });
    ann->setValue(QStringLiteral("age"), 5);
    ann->setValue(QStringLiteral("score"), 1.5);
    s.main->deleteObject(bob);
    ManagedObject *cy = insertPerson(s.main, QStringLiteral("Cy"));
    const ManagedObjectID temporary = cy->objectID();
    ASSERT_TRUE(s.main->save());

    ASSERT_EQ(willSave.notices.size(), 1u);
    EXPECT_EQ(insertedSeenInWillSave, 1);
    ASSERT_EQ(didSave.notices.size(), 1u);
    const auto &info = didSave.notices[0].userInfo;
    EXPECT_EQ(info.value(InsertedObjectsKey).value<ManagedObject::ObjectList>(), ManagedObject::ObjectList{cy});
    EXPECT_EQ(info.value(UpdatedObjectsKey).value<ManagedObject::ObjectList>(), ManagedObject::ObjectList{ann});
    EXPECT_EQ(info.value(DeletedObjectsKey).value<ManagedObject::ObjectList>(), ManagedObject::ObjectList{bob});
    auto changes = SaveChanges::fromNotification(didSave.notices[0]);
    ASSERT_TRUE(changes);
    QStringList keys = changes->changedKeysFor(ann->objectID());
    keys.sort();
    EXPECT_EQ(keys, (QStringList{QStringLiteral("age"), QStringLiteral("score")}));
    ASSERT_EQ(changes->inserted.size(), 1u);
    EXPECT_EQ(changes->inserted[0].previousID, temporary);
    EXPECT_FALSE(changes->inserted[0].objectID.isTemporaryID());

    // A save with nothing to save posts nothing.
    ASSERT_TRUE(s.main->save());
    EXPECT_EQ(didSave.notices.size(), 1u);
}

TEST(StoreNotices, ObjectsDidChangeArrivesFromTheEventLoop)
{
    Store s = openStore(QString());
    NoticeRecorder changed(ManagedObjectContextObjectsDidChangeNotification, s.main.get());
    ManagedObject *ann = insertPerson(s.main, QStringLiteral("Ann"));
    EXPECT_TRUE(changed.notices.empty());
    QCoreApplication::processEvents();
    ASSERT_EQ(changed.notices.size(), 1u);
    EXPECT_EQ(changed.notices[0].userInfo.value(InsertedObjectsKey).value<ManagedObject::ObjectList>(),
              ManagedObject::ObjectList{ann});
}

TEST(StoreContexts, ChildSavePushesIntoParentWithoutWriting)
{
    Store s = openStore(QString());
    ManagedObject *ann = insertPerson(s.main, QStringLiteral("Ann"), 30);
    ASSERT_TRUE(s.main->save());

    auto child = childOf(s.main);
    NoticeRecorder childSaved(ManagedObjectContextDidSaveNotification, child.get());
    NoticeRecorder mainSaved(ManagedObjectContextDidSaveNotification, s.main.get());
    ManagedObject *childAnn = child->objectWithID(ann->objectID());
    ASSERT_TRUE(childAnn);
    EXPECT_NE(childAnn, ann);
    childAnn->setValue(QStringLiteral("age"), 31);
    ManagedObject *phone = child->insertNewObject(QStringLiteral("Phone"));
    phone->setValue(QStringLiteral("name"), QStringLiteral("555"));
    phone->setRelatedObject(QStringLiteral("person"), childAnn);
    ManagedObject *bob = insertPerson(child, QStringLiteral("Bob"));

    // The child sees the parent's unsaved state and its own pending objects in fetches.
    ann->setValue(QStringLiteral("score"), 7.0);
    FetchRequest all(kPerson);
    all.setSortDescriptors({SortDescriptor(QStringLiteral("name"))});
    EXPECT_EQ(names(child->executeFetchRequest(all)), (QStringList{QStringLiteral("Ann"), QStringLiteral("Bob")}));

    ASSERT_TRUE(child->save());
    EXPECT_EQ(childSaved.notices.size(), 1u);
    EXPECT_TRUE(mainSaved.notices.empty());
    EXPECT_TRUE(bob->objectID().isTemporaryID());
    // The parent now holds the changes, unsaved.
    EXPECT_EQ(ann->value(QStringLiteral("age")).toLongLong(), 31);
    EXPECT_TRUE(ann->isUpdated());
    EXPECT_EQ(ann->relatedObjects(QStringLiteral("phones")).size(), 1);
    EXPECT_EQ(s.main->insertedObjects().size(), 2);
    auto reader = sibling(s);
    EXPECT_EQ(reader->countForFetchRequest(FetchRequest(kPerson)), 1);

    ASSERT_TRUE(s.main->save());
    ASSERT_EQ(mainSaved.notices.size(), 1u);
    EXPECT_EQ(reader->countForFetchRequest(FetchRequest(kPerson)), 2);
    ManagedObject *readAnn = personNamed(reader, QStringLiteral("Ann"));
    ASSERT_TRUE(readAnn);
    EXPECT_EQ(readAnn->value(QStringLiteral("age")).toLongLong(), 31);
    EXPECT_EQ(names(readAnn->relatedObjects(QStringLiteral("phones"))), QStringList{QStringLiteral("555")});

    // The child's own object, still under its temporary identifier, reaches the saved record.
    bob->setValue(QStringLiteral("age"), 50);
    ASSERT_TRUE(child->save());
    ASSERT_TRUE(s.main->save());
    reader->reset();
    EXPECT_EQ(personNamed(reader, QStringLiteral("Bob"))->value(QStringLiteral("age")).toLongLong(), 50);
    EXPECT_EQ(reader->countForFetchRequest(FetchRequest(kPerson)), 2);

    // A deletion in a child reaches the parent as a deletion.
    ManagedObject *childBob = personNamed(child, QStringLiteral("Bob"));
    ASSERT_TRUE(childBob);
    child->deleteObject(childBob);
    ASSERT_TRUE(child->save());
    EXPECT_EQ(s.main->deletedObjects().size(), 1);
    ASSERT_TRUE(s.main->save());
    EXPECT_EQ(reader->countForFetchRequest(FetchRequest(kPerson)), 1);
}

TEST(StoreContexts, SiblingMergeAndMergePolicies)
{
    QTemporaryDir dir;
    Store s = openStore(dir.filePath(QStringLiteral("m.sqlite")));
    ManagedObject *ann = insertPerson(s.main, QStringLiteral("Ann"), 30);
    insertPerson(s.main, QStringLiteral("Bob"), 40);
    ASSERT_TRUE(s.main->save());

    auto other = sibling(s);
    ManagedObject *otherAnn = personNamed(other, QStringLiteral("Ann"));
    ManagedObject *otherBob = personNamed(other, QStringLiteral("Bob"));
    ASSERT_TRUE(otherAnn && otherBob);
    NoticeRecorder saved(ManagedObjectContextDidSaveNotification, other.get());
    otherAnn->setValue(QStringLiteral("age"), 31);
    other->deleteObject(otherBob);
    insertPerson(other, QStringLiteral("Cy"));
    ASSERT_TRUE(other->save());
    ASSERT_EQ(saved.notices.size(), 1u);

    // Main has its own pending change on another key of Ann.
    ann->setValue(QStringLiteral("score"), 2.0);
    ManagedObject *bob = personNamed(s.main, QStringLiteral("Bob"));
    EXPECT_EQ(bob, nullptr); // the fetch reads the file, which no longer has Bob
    s.main->mergeChangesFromContextDidSaveNotification(saved.notices[0]);
    EXPECT_EQ(ann->value(QStringLiteral("age")).toLongLong(), 31);
    EXPECT_EQ(ann->value(QStringLiteral("score")).toDouble(), 2.0);
    EXPECT_EQ(ann->changedKeys(), QStringList{QStringLiteral("score")});
    ASSERT_TRUE(s.main->save()); // merged: no conflict

    // Without a merge, two contexts changing one record conflict.
    otherAnn = personNamed(other, QStringLiteral("Ann"));
    other->refreshObject(otherAnn, false);
    ann->setValue(QStringLiteral("name"), QStringLiteral("Anna"));
    otherAnn->setValue(QStringLiteral("age"), 99);
    ASSERT_TRUE(other->save());
    QDError error;
    s.main->setMergePolicy(MergePolicy::Error);
    EXPECT_FALSE(s.main->save(&error));
    EXPECT_EQ(error.code(), StoreErrorMergeConflict);
    // Object-trump: my changed name wins, the other context's age stays.
    s.main->setMergePolicy(MergePolicy::ObjectTrump);
    ASSERT_TRUE(s.main->save(&error)) << error.toString().toStdString();
    EXPECT_EQ(ann->value(QStringLiteral("age")).toLongLong(), 99);
    auto reader = sibling(s);
    ManagedObject *stored = personNamed(reader, QStringLiteral("Anna"));
    ASSERT_TRUE(stored);
    EXPECT_EQ(stored->value(QStringLiteral("age")).toLongLong(), 99);
    EXPECT_EQ(stored->value(QStringLiteral("score")).toDouble(), 2.0);

    // Refresh with merge keeps pending changes; without it drops them.
    ann->setValue(QStringLiteral("age"), 1);
    s.main->refreshObject(ann, true);
    EXPECT_EQ(ann->value(QStringLiteral("age")).toLongLong(), 1);
    s.main->refreshObject(ann, false);
    EXPECT_EQ(ann->value(QStringLiteral("age")).toLongLong(), 99);
    EXPECT_FALSE(s.main->hasChanges());
}

TEST(StoreContexts, PrivateContextWorksWhileMainReads)
{
    QTemporaryDir dir;
    Store s = openStore(dir.filePath(QStringLiteral("c.sqlite")));
    for (int i = 0; i < 100; ++i)
        insertPerson(s.main, QStringLiteral("P%1").arg(i, 4, 10, QLatin1Char('0')), i);
    ASSERT_TRUE(s.main->save());

    auto worker = sibling(s, Type::PrivateQueue);
    worker->setName(QStringLiteral("worker"));
    std::atomic<bool> done{false};
    std::atomic<bool> ok{true};
    worker->perform([&] {
        EXPECT_TRUE(worker->isOnQueue());
        for (int batch = 0; batch < 20; ++batch) {
            for (int i = 0; i < 100; ++i)
                insertPerson(worker, QStringLiteral("W%1").arg(batch * 100 + i), i);
            if (!worker->save())
                ok = false;
            worker->reset();
        }
        done = true;
    });
    EXPECT_FALSE(worker->isOnQueue());
    int reads = 0;
    QElapsedTimer timer;
    timer.start();
    while (!done && timer.elapsed() < 60000) {
        // Every read sees a whole number of saves.
        const qint64 count = s.main->countForFetchRequest(FetchRequest(kPerson));
        EXPECT_EQ((count - 100) % 100, 0);
        ++reads;
        QCoreApplication::processEvents();
    }
    ASSERT_TRUE(done);
    EXPECT_TRUE(ok);
    EXPECT_GT(reads, 0);
    EXPECT_EQ(s.main->countForFetchRequest(FetchRequest(kPerson)), 2100);

    // performAndWait from the main thread runs on the private queue and returns its work.
    qint64 counted = 0;
    worker->performAndWait([&] { counted = worker->countForFetchRequest(FetchRequest(kPerson)); });
    EXPECT_EQ(counted, 2100);

    // A private child of the main context saves through the main queue.
    auto editor = childOf(s.main, Type::PrivateQueue);
    editor->performAndWait([&] {
        insertPerson(editor, QStringLiteral("Edited"));
        EXPECT_TRUE(editor->save());
    });
    EXPECT_EQ(s.main->insertedObjects().size(), 1);
}

TEST(StoreContexts, FetchesMergePendingChanges)
{
    Store s = openStore(QString());
    insertPerson(s.main, QStringLiteral("Bea"), 20);
    insertPerson(s.main, QStringLiteral("Dan"), 40);
    ASSERT_TRUE(s.main->save());
    insertPerson(s.main, QStringLiteral("Al"), 25);
    ManagedObject *dan = personNamed(s.main, QStringLiteral("Dan"));
    dan->setValue(QStringLiteral("age"), 10);
    FetchRequest request(kPerson);
    request.setPredicate(Predicate::greaterOrEqual(QStringLiteral("age"), 20));
    request.setSortDescriptors({SortDescriptor(QStringLiteral("name"), false)});
    EXPECT_EQ(names(s.main->executeFetchRequest(request)), (QStringList{QStringLiteral("Bea"), QStringLiteral("Al")}));
    EXPECT_EQ(s.main->countForFetchRequest(request), 2);
    request.setFetchLimit(1);
    EXPECT_EQ(names(s.main->executeFetchRequest(request)), QStringList{QStringLiteral("Bea")});
    request.setFetchLimit(0);
    request.setIncludesPendingChanges(false);
    EXPECT_EQ(names(s.main->executeFetchRequest(request)), (QStringList{QStringLiteral("Dan"), QStringLiteral("Bea")}));

    // Identifiers and dictionaries.
    EXPECT_EQ(s.main->executeFetchRequestForIDs(request).size(), 2);
    FetchRequest dictionaries(kPerson);
    dictionaries.setPropertiesToFetch({QStringLiteral("name"), QStringLiteral("age")});
    dictionaries.setSortDescriptors({SortDescriptor(QStringLiteral("age"))});
    const auto rows = s.main->executeFetchRequestForDictionaries(dictionaries);
    ASSERT_EQ(rows.size(), 2);
    EXPECT_EQ(rows[0].value(QStringLiteral("name")).toString(), QStringLiteral("Bea"));
    EXPECT_EQ(rows[1].value(QStringLiteral("age")).toLongLong(), 40);
    QDError error;
    EXPECT_TRUE(s.main->executeFetchRequest(FetchRequest(QStringLiteral("Nope")), &error).isEmpty());
    EXPECT_FALSE(error.isNull());
}

TEST(StoreBatch, DeleteAndUpdateBypassContextsAndReportIdentifiers)
{
    Store s = openStore(QString());
    ManagedObject *ann = insertPerson(s.main, QStringLiteral("Ann"), 10);
    ManagedObject *bob = insertPerson(s.main, QStringLiteral("Bob"), 20);
    insertPerson(s.main, QStringLiteral("Cy"), 30);
    ManagedObject *phone = s.main->insertNewObject(QStringLiteral("Phone"));
    phone->setRelatedObject(QStringLiteral("person"), bob);
    ManagedObject *work = s.main->insertNewObject(QStringLiteral("Group"));
    work->addRelatedObject(QStringLiteral("members"), bob);
    ASSERT_TRUE(s.main->save());
    NoticeRecorder saved(ManagedObjectContextDidSaveNotification, s.main.get());

    FetchRequest old(kPerson);
    old.setPredicate(Predicate::greaterOrEqual(QStringLiteral("age"), 20));
    BatchDeleteRequest deletion(old);
    deletion.setResultType(BatchResultType::ObjectIDs);
    QDError error;
    const BatchResult deleted = s.main->executeBatchDelete(deletion, &error);
    ASSERT_TRUE(deleted.ok) << error.toString().toStdString();
    EXPECT_EQ(deleted.count, 2);
    EXPECT_EQ(deleted.objectIDs.size(), 2);
    EXPECT_TRUE(deleted.objectIDs.contains(bob->objectID()));
    EXPECT_TRUE(saved.notices.empty());
    // The store no longer points at the removed rows.
    auto reader = sibling(s);
    auto phones = reader->executeFetchRequest(FetchRequest(QStringLiteral("Phone")));
    ASSERT_EQ(phones.size(), 1);
    EXPECT_EQ(phones[0]->relatedObject(QStringLiteral("person")), nullptr);
    auto groups = reader->executeFetchRequest(FetchRequest(QStringLiteral("Group")));
    ASSERT_EQ(groups.size(), 1);
    EXPECT_TRUE(groups[0]->relatedObjects(QStringLiteral("members")).isEmpty());
    // Merging the identifiers lets the main context drop them.
    s.main->mergeChanges(deleted.changes());
    EXPECT_EQ(bob->managedObjectContext(), nullptr);
    EXPECT_EQ(s.main->objectRegisteredForID(deleted.objectIDs[0]), nullptr);
    EXPECT_TRUE(work->relatedObjects(QStringLiteral("members")).isEmpty());

    BatchUpdateRequest update(kPerson);
    update.setPropertiesToUpdate({{QStringLiteral("age"), 11}});
    update.setResultType(BatchResultType::ObjectIDs);
    const BatchResult updated = s.main->executeBatchUpdate(update, &error);
    ASSERT_TRUE(updated.ok);
    EXPECT_EQ(updated.objectIDs, QList<ManagedObjectID>{ann->objectID()});
    EXPECT_EQ(ann->value(QStringLiteral("age")).toLongLong(), 10);
    s.main->mergeChanges(updated.changes());
    EXPECT_EQ(ann->value(QStringLiteral("age")).toLongLong(), 11);

    BatchDeleteRequest byID(QList<ManagedObjectID>{ann->objectID()});
    byID.setResultType(BatchResultType::Count);
    EXPECT_EQ(s.main->executeBatchDelete(byID).count, 1);
    EXPECT_EQ(reader->countForFetchRequest(FetchRequest(kPerson)), 0);
}

TEST(StoreContexts, WritersOnOneFileTakeTurns)
{
    // Two private contexts on one coordinator and a second coordinator on the same file, all saving at once.
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("w.sqlite"));
    Store s = openStore(path);
    Store other = openStore(path);
    ASSERT_TRUE(s.store && other.store);
    std::vector<ContextPtr> writers{sibling(s, Type::PrivateQueue), sibling(s, Type::PrivateQueue),
                                    sibling(other, Type::PrivateQueue)};
    std::atomic<int> failures{0};
    for (size_t w = 0; w < writers.size(); ++w) {
        ContextPtr context = writers[w];
        context->perform([context, w, &failures] {
            for (int batch = 0; batch < 10; ++batch) {
                for (int i = 0; i < 50; ++i)
                    insertPerson(context, QStringLiteral("w%1-%2-%3").arg(w).arg(batch).arg(i));
                if (!context->save())
                    ++failures;
                context->reset();
            }
        });
    }
    for (const ContextPtr &context : writers)
        context->performAndWait([] {});
    EXPECT_EQ(failures, 0);
    auto reader = sibling(other);
    EXPECT_EQ(reader->countForFetchRequest(FetchRequest(kPerson)), 1500);
    // Every record got its own pk.
    FetchRequest dictionaries(kPerson);
    dictionaries.setPropertiesToFetch({QStringLiteral("name")});
    dictionaries.setReturnsDistinctResults(true);
    EXPECT_EQ(reader->executeFetchRequestForDictionaries(dictionaries).size(), 1500);
}

TEST(StoreContexts, ChildFetchSeesParentChangesThroughPredicates)
{
    Store s = openStore(QString());
    insertPerson(s.main, QStringLiteral("Ann"), 30);
    insertPerson(s.main, QStringLiteral("Bob"), 40);
    ASSERT_TRUE(s.main->save());
    // Unsaved in the parent: Bob becomes younger, Cy is new, Ann is deleted.
    personNamed(s.main, QStringLiteral("Bob"))->setValue(QStringLiteral("age"), 20);
    insertPerson(s.main, QStringLiteral("Cy"), 25);
    s.main->deleteObject(personNamed(s.main, QStringLiteral("Ann")));

    auto child = childOf(s.main);
    FetchRequest young(kPerson);
    young.setPredicate(Predicate::less(QStringLiteral("age"), 35));
    young.setSortDescriptors({SortDescriptor(QStringLiteral("age"))});
    EXPECT_EQ(names(child->executeFetchRequest(young)), (QStringList{QStringLiteral("Bob"), QStringLiteral("Cy")}));
    EXPECT_EQ(child->countForFetchRequest(young), 2);
    // The child's own pending change counts on top.
    ManagedObject *cy = personNamed(child, QStringLiteral("Cy"));
    ASSERT_TRUE(cy);
    cy->setValue(QStringLiteral("age"), 50);
    EXPECT_EQ(names(child->executeFetchRequest(young)), QStringList{QStringLiteral("Bob")});
}

TEST(StoreContexts, AChildDoesNotSeeARecordItsParentDeletedButHasNotSaved)
{
    Store s = openStore(QString());
    ManagedObject *ann = insertPerson(s.main, QStringLiteral("Ann"));
    ManagedObject *bob = insertPerson(s.main, QStringLiteral("Bob"));
    ann->setRelatedObject(QStringLiteral("partner"), bob);
    ASSERT_TRUE(s.main->save());

    s.main->deleteObject(bob);
    ContextPtr child = childOf(s.main);
    ManagedObject *childAnn = child->objectWithID(ann->objectID());
    ASSERT_NE(childAnn, nullptr);
    EXPECT_EQ(childAnn->relatedObject(QStringLiteral("partner")), nullptr);
    EXPECT_TRUE(names(child->executeFetchRequest(FetchRequest(kPerson))) == QStringList{QStringLiteral("Ann")});
}
