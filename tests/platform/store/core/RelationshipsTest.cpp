#include "StoreFixture.h"

#include "platform/store/FetchRequest.h"
#include "platform/store/Predicate.h"
#include "platform/store/SortDescriptor.h"

#include <QTemporaryDir>

using namespace storetest;

namespace {
const QString kPerson = QStringLiteral("Person");
const QString kPhone = QStringLiteral("Phone");
const QString kGroup = QStringLiteral("Group");
const QString kFolder = QStringLiteral("Folder");
const QString kItem = QStringLiteral("Item");

ManagedObject *named(const ContextPtr &context, const QString &entity, const QString &name)
{
    ManagedObject *object = context->insertNewObject(entity);
    object->setValue(QStringLiteral("name"), name);
    return object;
}
} // namespace

TEST(StoreRelationships, ToManyWithToOneInverseKeepsBothSidesAndSurvivesReopen)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("r.sqlite"));
    ManagedObjectID annID, bobID;
    {
        Store s = openStore(path);
        ManagedObject *ann = insertPerson(s.main, QStringLiteral("Ann"));
        ManagedObject *bob = insertPerson(s.main, QStringLiteral("Bob"));
        ManagedObject *p1 = named(s.main, kPhone, QStringLiteral("1"));
        ManagedObject *p2 = named(s.main, kPhone, QStringLiteral("2"));
        ann->addRelatedObject(QStringLiteral("phones"), p1); // to-many add sets the inverse to-one
        p2->setRelatedObject(QStringLiteral("person"), ann); // to-one set adds to the inverse to-many
        EXPECT_EQ(p1->relatedObject(QStringLiteral("person")), ann);
        EXPECT_EQ(ann->relatedObjects(QStringLiteral("phones")), (QList<ManagedObject *>{p1, p2}));
        // Moving a phone takes it out of the old owner's list.
        p2->setRelatedObject(QStringLiteral("person"), bob);
        EXPECT_EQ(ann->relatedObjects(QStringLiteral("phones")), QList<ManagedObject *>{p1});
        EXPECT_EQ(bob->relatedObjects(QStringLiteral("phones")), QList<ManagedObject *>{p2});
        // Replacing the whole set clears the inverse of what left.
        bob->setRelatedObjects(QStringLiteral("phones"), {p1});
        EXPECT_EQ(p2->relatedObject(QStringLiteral("person")), nullptr);
        EXPECT_EQ(p1->relatedObject(QStringLiteral("person")), bob);
        EXPECT_TRUE(ann->relatedObjects(QStringLiteral("phones")).isEmpty());
        ann->removeRelatedObject(QStringLiteral("phones"), p1); // not a member: nothing happens
        EXPECT_EQ(p1->relatedObject(QStringLiteral("person")), bob);
        ASSERT_TRUE(s.main->save());
        annID = ann->objectID();
        bobID = bob->objectID();
    }
    Store s = openStore(path);
    auto id = [&](const ManagedObjectID &old) {
        return ManagedObjectID::makePermanent(s.model->entity(kPerson), old.primaryKey(), s.store->identifier());
    };
    ManagedObject *bob = s.main->objectWithID(id(bobID));
    ManagedObject *ann = s.main->objectWithID(id(annID));
    ASSERT_TRUE(bob && ann);
    const auto phones = bob->relatedObjects(QStringLiteral("phones"));
    ASSERT_EQ(phones.size(), 1);
    EXPECT_EQ(phones[0]->value(QStringLiteral("name")).toString(), QStringLiteral("1"));
    EXPECT_EQ(phones[0]->relatedObject(QStringLiteral("person")), bob);
    EXPECT_TRUE(ann->relatedObjects(QStringLiteral("phones")).isEmpty());
    // A loaded list follows edits of the other side made later.
    ManagedObject *p3 = named(s.main, kPhone, QStringLiteral("3"));
    p3->setRelatedObject(QStringLiteral("person"), bob);
    EXPECT_EQ(bob->relatedObjects(QStringLiteral("phones")).size(), 2);
    EXPECT_EQ(bob->changedKeys(), QStringList{QStringLiteral("phones")});
}

TEST(StoreRelationships, ManyToManyPairAndOneToOne)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("m.sqlite"));
    {
        Store s = openStore(path);
        ManagedObject *ann = insertPerson(s.main, QStringLiteral("Ann"));
        ManagedObject *bob = insertPerson(s.main, QStringLiteral("Bob"));
        ManagedObject *cy = insertPerson(s.main, QStringLiteral("Cy"));
        ManagedObject *work = named(s.main, kGroup, QStringLiteral("work"));
        ManagedObject *home = named(s.main, kGroup, QStringLiteral("home"));
        work->addRelatedObject(QStringLiteral("members"), ann);
        work->addRelatedObject(QStringLiteral("members"), bob);
        ann->addRelatedObject(QStringLiteral("groups"), home);
        EXPECT_EQ(ann->relatedObjects(QStringLiteral("groups")), (QList<ManagedObject *>{work, home}));
        EXPECT_EQ(home->relatedObjects(QStringLiteral("members")), QList<ManagedObject *>{ann});
        ann->setRelatedObject(QStringLiteral("partner"), bob);
        EXPECT_EQ(bob->relatedObject(QStringLiteral("partner")), ann);
        // Taking a new partner frees the old one.
        cy->setRelatedObject(QStringLiteral("partner"), bob);
        EXPECT_EQ(ann->relatedObject(QStringLiteral("partner")), nullptr);
        EXPECT_EQ(bob->relatedObject(QStringLiteral("partner")), cy);
        ASSERT_TRUE(s.main->save());

        // An edit of a saved pair writes only the difference.
        bob->removeRelatedObject(QStringLiteral("groups"), work);
        cy->addRelatedObject(QStringLiteral("groups"), work);
        ASSERT_TRUE(s.main->save());
    }
    Store s = openStore(path);
    FetchRequest groups(kGroup);
    groups.setPredicate(Predicate::equal(QStringLiteral("name"), QStringLiteral("work")));
    const auto found = s.main->executeFetchRequest(groups);
    ASSERT_EQ(found.size(), 1);
    QStringList names;
    for (ManagedObject *member : found[0]->relatedObjects(QStringLiteral("members")))
        names << member->value(QStringLiteral("name")).toString();
    names.sort();
    EXPECT_EQ(names, (QStringList{QStringLiteral("Ann"), QStringLiteral("Cy")}));
    FetchRequest bobRequest(kPerson);
    bobRequest.setPredicate(Predicate::equal(QStringLiteral("name"), QStringLiteral("Bob")));
    ManagedObject *bob = s.main->executeFetchRequest(bobRequest).value(0);
    ASSERT_TRUE(bob);
    EXPECT_TRUE(bob->relatedObjects(QStringLiteral("groups")).isEmpty());
    ASSERT_TRUE(bob->relatedObject(QStringLiteral("partner")));
    EXPECT_EQ(bob->relatedObject(QStringLiteral("partner"))->value(QStringLiteral("name")).toString(), QStringLiteral("Cy"));

    // Deleting a member drops it from the group (nullify) and its join rows.
    s.main->deleteObject(bob->relatedObject(QStringLiteral("partner")));
    EXPECT_EQ(found[0]->relatedObjects(QStringLiteral("members")).size(), 1);
    EXPECT_EQ(bob->relatedObject(QStringLiteral("partner")), nullptr);
    ASSERT_TRUE(s.main->save());
    s.main->reset();
    const auto again = s.main->executeFetchRequest(groups);
    ASSERT_EQ(again.size(), 1);
    EXPECT_EQ(again[0]->relatedObjects(QStringLiteral("members")).size(), 1);
}

TEST(StoreRelationships, DeleteRules)
{
    struct Case
    {
        const char *what;
        bool emptyFirst;
        bool saves;
    };
    for (const Case &c : {Case{"deny with items", false, false}, Case{"deny when empty", true, true}}) {
        SCOPED_TRACE(c.what);
        Store s = openStore(QString());
        ManagedObject *folder = named(s.main, kFolder, QStringLiteral("f"));
        ManagedObject *item = named(s.main, kItem, QStringLiteral("i"));
        item->setRelatedObject(QStringLiteral("folder"), folder);
        ASSERT_TRUE(s.main->save());
        if (c.emptyFirst)
            s.main->deleteObject(item);
        s.main->deleteObject(folder);
        QDError error;
        EXPECT_EQ(s.main->save(&error), c.saves);
        if (!c.saves) {
            EXPECT_EQ(error.code(), StoreErrorDeleteDeny);
            EXPECT_EQ(error.domain(), StoreErrorDomain);
            // Nothing was written: the folder is still in the file.
            auto other = ManagedObjectContext::create(ManagedObjectContext::ConcurrencyType::MainQueue);
            other->setPersistentStoreCoordinator(s.coordinator);
            EXPECT_EQ(other->countForFetchRequest(FetchRequest(kFolder)), 1);
            EXPECT_TRUE(folder->isDeleted());
            s.main->rollback();
            EXPECT_FALSE(folder->isDeleted());
        } else {
            EXPECT_EQ(s.main->countForFetchRequest(FetchRequest(kFolder)), 0);
        }
    }

    // Nullify: deleting an item leaves the folder without it; cascade: deleting a person deletes its phones.
    Store s = openStore(QString());
    ManagedObject *folder = named(s.main, kFolder, QStringLiteral("f"));
    ManagedObject *item = named(s.main, kItem, QStringLiteral("i"));
    item->setRelatedObject(QStringLiteral("folder"), folder);
    ManagedObject *ann = insertPerson(s.main, QStringLiteral("Ann"));
    ManagedObject *phone = named(s.main, kPhone, QStringLiteral("1"));
    phone->setRelatedObject(QStringLiteral("person"), ann);
    ASSERT_TRUE(s.main->save());
    s.main->deleteObject(item);
    EXPECT_TRUE(folder->relatedObjects(QStringLiteral("items")).isEmpty());
    EXPECT_TRUE(folder->isUpdated());
    s.main->deleteObject(ann);
    EXPECT_TRUE(phone->isDeleted());
    EXPECT_EQ(s.main->deletedObjects().size(), 3);
    ASSERT_TRUE(s.main->save());
    EXPECT_EQ(s.main->countForFetchRequest(FetchRequest(kPhone)), 0);
    EXPECT_EQ(s.main->countForFetchRequest(FetchRequest(kItem)), 0);
    EXPECT_EQ(s.main->countForFetchRequest(FetchRequest(kFolder)), 1);
    EXPECT_EQ(ann->managedObjectContext(), nullptr);
}

TEST(StoreRelationships, RequiredValuesAreValidated)
{
    auto model = makeModel();
    auto strict = std::make_shared<ManagedObjectModel>(QStringLiteral("Strict"), 1);
    EntityDescription thing(QStringLiteral("Thing"));
    thing.addAttribute({.name = QStringLiteral("title"), .type = AttributeType::String, .optional = false});
    strict->addEntity(std::move(thing));
    auto coordinator = std::make_shared<StoreCoordinator>(strict);
    ASSERT_TRUE(coordinator->addPersistentStore(StoreType::InMemory, QString()));
    auto context = ManagedObjectContext::create(ManagedObjectContext::ConcurrencyType::MainQueue);
    context->setPersistentStoreCoordinator(coordinator);
    ManagedObject *t = context->insertNewObject(QStringLiteral("Thing"));
    QDError error;
    EXPECT_FALSE(context->save(&error));
    EXPECT_EQ(error.code(), StoreErrorValidation);
    t->setValue(QStringLiteral("title"), QStringLiteral("x"));
    EXPECT_TRUE(context->save(&error));
}

namespace {
QStringList namesOf(const QList<ManagedObject *> &objects)
{
    QStringList names;
    for (ManagedObject *object : objects)
        names << object->value(QStringLiteral("name")).toString();
    names.sort();
    return names;
}
} // namespace

TEST(StoreRelationships, PrefetchingReadsTheRelatedRecordsWithTheFetch)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("p.sqlite"));
    {
        Store s = openStore(path);
        ManagedObject *ann = insertPerson(s.main, QStringLiteral("Ann"));
        ManagedObject *bob = insertPerson(s.main, QStringLiteral("Bob"));
        insertPerson(s.main, QStringLiteral("Cy"));
        for (const char *number : {"1", "2"})
            ann->addRelatedObject(QStringLiteral("phones"), named(s.main, kPhone, QString::fromLatin1(number)));
        bob->addRelatedObject(QStringLiteral("phones"), named(s.main, kPhone, QStringLiteral("3")));
        ManagedObject *work = named(s.main, kGroup, QStringLiteral("work"));
        work->addRelatedObject(QStringLiteral("members"), ann);
        work->addRelatedObject(QStringLiteral("members"), bob);
        ann->addRelatedObject(QStringLiteral("groups"), named(s.main, kGroup, QStringLiteral("home")));
        ann->setRelatedObject(QStringLiteral("partner"), bob);
        ASSERT_TRUE(s.main->save());
    }
    Store s = openStore(path);
    FetchRequest request(kPerson);
    request.setSortDescriptors({SortDescriptor(QStringLiteral("name"), true)});
    request.setRelationshipKeyPathsForPrefetching({QStringLiteral("phones"), QStringLiteral("groups"),
                                                   QStringLiteral("partner"), QStringLiteral("nothing")});
    const auto people = s.main->executeFetchRequest(request);
    ASSERT_EQ(people.size(), 3);
    // Every related record came with the fetch: three people, three phones, two groups.
    EXPECT_EQ(s.main->registeredObjects().size(), 8);
    // The lists are the store's, as loading them one by one gives.
    const QList<QStringList> phones = {{QStringLiteral("1"), QStringLiteral("2")}, {QStringLiteral("3")}, {}};
    const QList<QStringList> groups = {{QStringLiteral("home"), QStringLiteral("work")}, {QStringLiteral("work")}, {}};
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(namesOf(people[i]->relatedObjects(QStringLiteral("phones"))), phones[i]) << i;
        EXPECT_EQ(namesOf(people[i]->relatedObjects(QStringLiteral("groups"))), groups[i]) << i;
        for (ManagedObject *phone : people[i]->relatedObjects(QStringLiteral("phones")))
            EXPECT_EQ(phone->relatedObject(QStringLiteral("person")), people[i]);
    }
    EXPECT_EQ(people[0]->relatedObject(QStringLiteral("partner")), people[1]);
    EXPECT_EQ(people[1]->relatedObject(QStringLiteral("partner")), people[0]);
    EXPECT_FALSE(s.main->hasChanges());

    // An object with changes of its own keeps them: prefetching does not put the store's list over them.
    s.main->reset();
    FetchRequest bobOnly(kPerson);
    bobOnly.setPredicate(Predicate::equal(QStringLiteral("name"), QStringLiteral("Bob")));
    ManagedObject *bob = s.main->executeFetchRequest(bobOnly).value(0);
    ASSERT_TRUE(bob);
    bob->setValue(QStringLiteral("name"), QStringLiteral("Bob"));
    bob->setValue(QStringLiteral("age"), qint64(40));
    ManagedObject *fresh = named(s.main, kPhone, QStringLiteral("4"));
    fresh->setRelatedObject(QStringLiteral("person"), bob);
    const auto again = s.main->executeFetchRequest(request);
    ASSERT_EQ(again.size(), 3);
    EXPECT_EQ(again[1], bob);
    EXPECT_EQ(namesOf(bob->relatedObjects(QStringLiteral("phones"))), (QStringList{QStringLiteral("3"), QStringLiteral("4")}));
    // The others get the store's lists as before.
    ManagedObject *ann = again[0];
    EXPECT_EQ(namesOf(ann->relatedObjects(QStringLiteral("phones"))), (QStringList{QStringLiteral("1"), QStringLiteral("2")}));
}
