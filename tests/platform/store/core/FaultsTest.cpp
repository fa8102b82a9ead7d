#include "StoreFixture.h"

#include "platform/store/SortDescriptor.h"

#include <QTemporaryDir>

using namespace storetest;

namespace {

const QString kPerson = QStringLiteral("Person");
const QString kName = QStringLiteral("name");
const QString kAge = QStringLiteral("age");

// Ann (age 30, score 1.5, two phones, partner Bob), Bob (age 40) and Cy (age 50), saved, then a fresh main
// context on the same file so nothing is registered yet.
struct World
{
    QTemporaryDir dir;
    Store s;
    ManagedObjectID ann, bob, cy;

    World()
    {
        {
            Store setup = openStore(dir.filePath(QStringLiteral("faults.sqlite")));
            ManagedObject *a = insertPerson(setup.main, QStringLiteral("Ann"), 30);
            a->setValue(QStringLiteral("score"), 1.5);
            a->setValue(QStringLiteral("photo"), QByteArray("photo"));
            ManagedObject *b = insertPerson(setup.main, QStringLiteral("Bob"), 40);
            ManagedObject *c = insertPerson(setup.main, QStringLiteral("Cy"), 50);
            a->setRelatedObject(QStringLiteral("partner"), b);
            for (const char *number : {"111", "222"}) {
                ManagedObject *phone = setup.main->insertNewObject(QStringLiteral("Phone"));
                phone->setValue(kName, QString::fromLatin1(number));
                phone->setRelatedObject(QStringLiteral("person"), a);
            }
            EXPECT_TRUE(setup.main->save());
            ann = a->objectID();
            bob = b->objectID();
            cy = c->objectID();
        }
        s = openStore(dir.filePath(QStringLiteral("faults.sqlite")));
        // The same records under the model the store is open with now.
        for (ManagedObjectID *id : {&ann, &bob, &cy})
            *id = ManagedObjectID::makePermanent(s.model->entity(kPerson), id->primaryKey(), s.store->identifier());
    }

    ContextPtr sibling() const
    {
        auto context = ManagedObjectContext::create(ManagedObjectContext::ConcurrencyType::MainQueue);
        context->setPersistentStoreCoordinator(s.coordinator);
        return context;
    }

    // Every person as a fault holding its name only, by name.
    QHash<QString, ManagedObject *> faults(const ContextPtr &context, const QStringList &prefetched = {kName})
    {
        FetchRequest request(kPerson);
        request.setReturnsObjectsAsFaults(true);
        request.setPropertiesToFetch(prefetched);
        QHash<QString, ManagedObject *> byName;
        for (ManagedObject *object : context->executeFetchRequest(request))
            byName.insert(object->value(kName).toString(), object);
        return byName;
    }
};

QStringList phoneNames(const ManagedObject *person)
{
    QStringList names;
    for (ManagedObject *phone : person->relatedObjects(QStringLiteral("phones")))
        names << phone->value(kName).toString();
    names.sort();
    return names;
}

} // namespace

TEST(StoreFaults, PrefetchedValuesNeedNoRecordAndTheRestLoadOnFirstUse)
{
    World w;
    hookLog().clear();
    auto people = w.faults(w.s.main);
    ASSERT_EQ(people.size(), 3);
    ManagedObject *ann = people.value(QStringLiteral("Ann"));
    ASSERT_TRUE(ann);
    EXPECT_TRUE(ann->isFault());
    EXPECT_EQ(ann->objectID(), w.ann);
    EXPECT_FALSE(ann->hasChanges());
    // Reading the names woke no one: a fault wakes when its record comes.
    EXPECT_TRUE(hookLog().isEmpty()) << hookLog().join(u' ').toStdString();

    // The same object whatever asks for it.
    EXPECT_EQ(w.s.main->objectWithID(w.ann), ann);
    EXPECT_EQ(w.s.main->objectRegisteredForID(w.ann), ann);

    EXPECT_EQ(ann->value(kAge).toLongLong(), 30);
    EXPECT_FALSE(ann->isFault());
    EXPECT_EQ(hookLog(), QStringList{QStringLiteral("awakeFromFetch:Ann")});
    EXPECT_EQ(ann->value(QStringLiteral("score")).toDouble(), 1.5);
    EXPECT_EQ(ann->value(QStringLiteral("photo")).toByteArray(), QByteArray("photo"));
    EXPECT_EQ(ann->value(kName).toString(), QStringLiteral("Ann"));
    EXPECT_TRUE(ann->value(QStringLiteral("active")).toBool());
    EXPECT_FALSE(ann->value(QStringLiteral("scratch")).isValid());
    EXPECT_FALSE(ann->hasChanges());

    // Relationships come with the record: a to-one to another fault, a to-many, and the inverse kept.
    ManagedObject *bob = people.value(QStringLiteral("Bob"));
    EXPECT_TRUE(bob->isFault());
    EXPECT_EQ(ann->relatedObject(QStringLiteral("partner")), bob);
    EXPECT_EQ(phoneNames(ann), (QStringList{QStringLiteral("111"), QStringLiteral("222")}));
    EXPECT_EQ(bob->relatedObject(QStringLiteral("partner")), ann);
    EXPECT_FALSE(bob->isFault());

    // Each way into a fault wakes it with the stored values.
    ManagedObject *cy = people.value(QStringLiteral("Cy"));
    EXPECT_TRUE(cy->isFault());
    EXPECT_EQ(cy->committedValues({kAge}).value(kAge).toLongLong(), 50);
    EXPECT_FALSE(cy->isFault());
}

TEST(StoreFaults, AFaultingFetchKeepsObjectsTheContextHoldsAndPredicatesAndOrderStillApply)
{
    World w;
    ManagedObject *whole = w.s.main->existingObjectWithID(w.bob);
    ASSERT_TRUE(whole);
    whole->setValue(kAge, 99); // pending, not saved

    FetchRequest request(kPerson);
    request.setReturnsObjectsAsFaults(true);
    request.setPropertiesToFetch({kName, QStringLiteral("no such key")});
    request.setPredicate(Predicate::greater(kAge, qint64(35)));
    request.setSortDescriptors({SortDescriptor(kAge, false)});
    const auto found = w.s.main->executeFetchRequest(request);
    ASSERT_EQ(found.size(), 2);
    EXPECT_EQ(found[0], whole);
    EXPECT_FALSE(found[0]->isFault());
    EXPECT_EQ(found[0]->value(kAge).toLongLong(), 99);
    EXPECT_EQ(found[1]->value(kName).toString(), QStringLiteral("Cy"));
    EXPECT_EQ(found[1]->value(kAge).toLongLong(), 50);
}

TEST(StoreFaults, ChangingOrDeletingAFaultSavesOnlyWhatChanged)
{
    World w;
    {
        auto people = w.faults(w.s.main);
        ManagedObject *ann = people.value(QStringLiteral("Ann"));
        ManagedObject *cy = people.value(QStringLiteral("Cy"));
        ManagedObject *bob = people.value(QStringLiteral("Bob"));
        ann->setValue(kName, QStringLiteral("Anna"));
        EXPECT_FALSE(ann->isFault());
        EXPECT_EQ(ann->changedKeys(), QStringList{kName});
        EXPECT_EQ(ann->committedValues({kName, kAge}).value(kName).toString(), QStringLiteral("Ann"));
        // A relationship edit from the other side wakes the fault it reaches.
        bob->setRelatedObject(QStringLiteral("partner"), cy);
        EXPECT_FALSE(cy->isFault());
        w.s.main->deleteObject(ann); // cascades to the phones
        ASSERT_TRUE(w.s.main->save());
    }
    auto fresh = w.sibling();
    FetchRequest request(kPerson);
    request.setSortDescriptors({SortDescriptor(kName, true)});
    const auto left = fresh->executeFetchRequest(request);
    ASSERT_EQ(left.size(), 2);
    EXPECT_EQ(left[0]->value(kName).toString(), QStringLiteral("Bob"));
    EXPECT_EQ(left[0]->value(kAge).toLongLong(), 40);
    EXPECT_EQ(left[0]->relatedObject(QStringLiteral("partner")), left[1]);
    EXPECT_EQ(left[1]->value(kAge).toLongLong(), 50);
    EXPECT_TRUE(fresh->executeFetchRequest(FetchRequest(QStringLiteral("Phone"))).isEmpty());
}

TEST(StoreFaults, ChangesSavedElsewhereReachFaultsAndAGoneRecordKeepsWhatItHad)
{
    World w;
    auto people = w.faults(w.s.main, {kName, kAge});
    ManagedObject *ann = people.value(QStringLiteral("Ann"));
    ManagedObject *cy = people.value(QStringLiteral("Cy"));

    auto other = w.sibling();
    NoticeRecorder saved(ManagedObjectContextDidSaveNotification, other.get());
    other->existingObjectWithID(w.ann)->setValue(kAge, 31);
    other->existingObjectWithID(w.ann)->setValue(QStringLiteral("score"), 2.5);
    other->deleteObject(other->existingObjectWithID(w.cy));
    ASSERT_TRUE(other->save());
    ASSERT_EQ(saved.notices.size(), 1u);

    // Before the merge, a fault that wakes reads what the store holds now.
    auto peek = w.sibling();
    auto early = w.faults(peek);
    EXPECT_EQ(early.value(QStringLiteral("Ann"))->value(QStringLiteral("score")).toDouble(), 2.5);

    w.s.main->mergeChangesFromContextDidSaveNotification(saved.notices[0]);
    EXPECT_TRUE(ann->isFault());
    EXPECT_EQ(ann->value(kAge).toLongLong(), 31);
    EXPECT_TRUE(ann->isFault());
    EXPECT_EQ(ann->value(QStringLiteral("score")).toDouble(), 2.5);
    EXPECT_TRUE(cy->isDeleted() || !cy->managedObjectContext());

    // A record deleted behind a context's back: the fault still answers with what it was fetched with.
    auto stale = w.sibling();
    ManagedObject *bob = w.faults(stale).value(QStringLiteral("Bob"));
    ASSERT_TRUE(bob);
    auto remover = w.sibling();
    remover->deleteObject(remover->existingObjectWithID(w.bob));
    ASSERT_TRUE(remover->save());
    EXPECT_EQ(bob->value(kAge), QVariant());
    EXPECT_FALSE(bob->isFault());
    EXPECT_EQ(bob->value(kName).toString(), QStringLiteral("Bob"));
}

TEST(StoreFaults, AChildContextReadsAParentsFaultWhole)
{
    World w;
    ManagedObject *ann = w.faults(w.s.main).value(QStringLiteral("Ann"));
    auto child = ManagedObjectContext::create(ManagedObjectContext::ConcurrencyType::MainQueue);
    child->setParentContext(w.s.main);
    ManagedObject *mine = child->existingObjectWithID(w.ann);
    ASSERT_TRUE(mine);
    EXPECT_FALSE(mine->isFault());
    EXPECT_EQ(mine->value(kAge).toLongLong(), 30);
    EXPECT_EQ(phoneNames(mine), (QStringList{QStringLiteral("111"), QStringLiteral("222")}));
    mine->setValue(kAge, 33);
    ASSERT_TRUE(child->save());
    EXPECT_EQ(ann->value(kAge).toLongLong(), 33);
    EXPECT_TRUE(ann->hasChanges());
    ASSERT_TRUE(w.s.main->save());
    EXPECT_EQ(w.sibling()->existingObjectWithID(w.ann)->value(QStringLiteral("score")).toDouble(), 1.5);
}
