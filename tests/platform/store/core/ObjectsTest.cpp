#include "StoreFixture.h"

#include "platform/store/Predicate.h"
#include "platform/store/SortDescriptor.h"

#include <QDateTime>
#include <QTemporaryDir>

using namespace storetest;

namespace {

QString storePath(const QTemporaryDir &dir) { return dir.filePath(QStringLiteral("Test.sqlite")); }

} // namespace

TEST(StoreIdentity, TemporaryBecomesPermanentAndUriIsStable)
{
    QTemporaryDir dir;
    const QString path = storePath(dir);
    QUrl uri;
    QString storeUuid;
    {
        Store s = openStore(path);
        ASSERT_TRUE(s.store);
        storeUuid = s.store->identifier();
        ManagedObject *ann = insertPerson(s.main, QStringLiteral("Ann"));
        const ManagedObjectID temporary = ann->objectID();
        EXPECT_TRUE(temporary.isTemporaryID());
        EXPECT_EQ(s.main->objectWithID(temporary), ann);
        QDError error;
        ASSERT_TRUE(s.main->save(&error)) << error.toString().toStdString();
        EXPECT_FALSE(ann->objectID().isTemporaryID());
        EXPECT_NE(ann->objectID(), temporary);
        // The old identifier still finds the saved object in its context.
        EXPECT_EQ(s.main->objectWithID(temporary), ann);
        uri = ann->objectID().URIRepresentation();
        EXPECT_EQ(uri.scheme(), QStringLiteral("x-quendel"));
        EXPECT_EQ(uri.toString(), QStringLiteral("x-quendel://%1/Person/p%2").arg(storeUuid).arg(ann->objectID().primaryKey()));
        EXPECT_EQ(s.coordinator->managedObjectIDForURIRepresentation(uri), ann->objectID());
    }
    // Reopened, the file keeps its UUID, so the URI still names the same record.
    Store again = openStore(path);
    ASSERT_TRUE(again.store);
    EXPECT_EQ(again.store->identifier(), storeUuid);
    const ManagedObjectID id = again.coordinator->managedObjectIDForURIRepresentation(uri);
    ASSERT_FALSE(id.isNull());
    ManagedObject *ann = again.main->existingObjectWithID(id);
    ASSERT_TRUE(ann);
    EXPECT_EQ(ann->value(QStringLiteral("name")).toString(), QStringLiteral("Ann"));
    EXPECT_EQ(ann->objectID().URIRepresentation(), uri);
    // One record is one object per context.
    EXPECT_EQ(again.main->objectWithID(id), ann);
    // URIs of another store or a malformed path name nothing.
    EXPECT_TRUE(again.coordinator->managedObjectIDForURIRepresentation(QUrl(QStringLiteral("x-quendel://other/Person/p1"))).isNull());
    EXPECT_TRUE(again.coordinator->managedObjectIDForURIRepresentation(QUrl(QStringLiteral("x-quendel://%1/Nope/p1").arg(storeUuid))).isNull());
    QDError error;
    EXPECT_EQ(again.main->existingObjectWithID(ManagedObjectID::makePermanent(id.entity(), 999, storeUuid), &error), nullptr);
    EXPECT_EQ(error.code(), StoreErrorObjectNotFound);
}

TEST(StoreObjects, ValuesOfEveryTypeRoundTrip)
{
    QTemporaryDir dir;
    const QString path = storePath(dir);
    const QDateTime born = QDateTime::fromMSecsSinceEpoch(1234567890123, Qt::UTC);
    ManagedObjectID id;
    {
        Store s = openStore(path);
        ManagedObject *p = s.main->insertNewObject(QStringLiteral("Person"));
        EXPECT_EQ(p->value(QStringLiteral("age")).toLongLong(), 0); // default value
        EXPECT_TRUE(p->value(QStringLiteral("active")).toBool());
        p->setValue(QStringLiteral("name"), QStringLiteral("Zoë 😀"));
        p->setValue(QStringLiteral("age"), 42); // an int is kept as the attribute's 64-bit integer
        p->setValue(QStringLiteral("score"), 2.5);
        p->setValue(QStringLiteral("born"), born.toLocalTime());
        p->setValue(QStringLiteral("photo"), QByteArray("\x00\x01\x02", 3));
        p->setValue(QStringLiteral("balance"), QStringLiteral("12345678901234567890.125"));
        p->setValue(QStringLiteral("active"), false);
        p->setValue(QStringLiteral("tags"), QStringList{QStringLiteral("a"), QStringLiteral("b")});
        p->setValue(QStringLiteral("scratch"), QStringLiteral("memory only"));
        ASSERT_TRUE(s.main->save());
        id = p->objectID();
        // A null string is null, an empty string is a value.
        ManagedObject *empty = insertPerson(s.main, QString());
        empty->setValue(QStringLiteral("balance"), QStringLiteral(""));
        ASSERT_TRUE(s.main->save());
    }
    Store s = openStore(path);
    ManagedObject *p = s.main->existingObjectWithID(ManagedObjectID::makePermanent(s.model->entity(QStringLiteral("Person")), id.primaryKey(), s.store->identifier()));
    ASSERT_TRUE(p);
    EXPECT_EQ(p->value(QStringLiteral("name")).toString(), QStringLiteral("Zoë 😀"));
    EXPECT_EQ(p->value(QStringLiteral("age")).toLongLong(), 42);
    EXPECT_EQ(p->value(QStringLiteral("score")).toDouble(), 2.5);
    EXPECT_EQ(p->value(QStringLiteral("born")).toDateTime(), born);
    EXPECT_EQ(p->value(QStringLiteral("born")).toDateTime().timeSpec(), Qt::UTC);
    EXPECT_EQ(p->value(QStringLiteral("photo")).toByteArray(), QByteArray("\x00\x01\x02", 3));
    EXPECT_EQ(p->value(QStringLiteral("balance")).toString(), QStringLiteral("12345678901234567890.125"));
    EXPECT_FALSE(p->value(QStringLiteral("active")).toBool());
    EXPECT_EQ(p->value(QStringLiteral("tags")).toStringList(), (QStringList{QStringLiteral("a"), QStringLiteral("b")}));
    EXPECT_FALSE(p->value(QStringLiteral("scratch")).isValid());

    FetchRequest request(QStringLiteral("Person"));
    request.setPredicate(Predicate::isNil(QStringLiteral("name")));
    const auto nils = s.main->executeFetchRequest(request);
    ASSERT_EQ(nils.size(), 1);
    EXPECT_TRUE(nils[0]->value(QStringLiteral("name")).toString().isNull());
    EXPECT_FALSE(nils[0]->value(QStringLiteral("balance")).toString().isNull());
    EXPECT_TRUE(nils[0]->value(QStringLiteral("balance")).toString().isEmpty());
}

TEST(StoreObjects, ChangeTrackingAndPrimitiveSetters)
{
    Store s = openStore(QString());
    ManagedObject *p = insertPerson(s.main, QStringLiteral("Ann"), 30);
    EXPECT_TRUE(p->isInserted());
    EXPECT_TRUE(s.main->hasChanges());
    ASSERT_TRUE(s.main->save());
    EXPECT_FALSE(p->hasChanges());
    EXPECT_FALSE(s.main->hasChanges());

    p->setValue(QStringLiteral("name"), QStringLiteral("Ann")); // same value: nothing changes
    EXPECT_FALSE(p->hasChanges());

    p->setValue(QStringLiteral("age"), 31);
    EXPECT_TRUE(p->isUpdated());
    EXPECT_EQ(p->changedKeys(), QStringList{QStringLiteral("age")});
    EXPECT_EQ(p->changedValues().value(QStringLiteral("age")).toLongLong(), 31);
    EXPECT_EQ(p->committedValues({QStringLiteral("age")}).value(QStringLiteral("age")).toLongLong(), 30);
    EXPECT_EQ(s.main->updatedObjects(), QList<ManagedObject *>{p});

    // A primitive write is saved with the object but is no changed key.
    p->setPrimitiveValue(QStringLiteral("score"), 9.0);
    EXPECT_EQ(p->changedKeys(), QStringList{QStringLiteral("age")});
    ASSERT_TRUE(s.main->save());
    s.main->reset();
    FetchRequest all(QStringLiteral("Person"));
    const auto people = s.main->executeFetchRequest(all);
    ASSERT_EQ(people.size(), 1);
    EXPECT_EQ(people[0]->value(QStringLiteral("score")).toDouble(), 9.0);
    EXPECT_EQ(people[0]->value(QStringLiteral("age")).toLongLong(), 31);

    // On a clean object a primitive write alone schedules no save.
    people[0]->setPrimitiveValue(QStringLiteral("score"), 1.0);
    EXPECT_FALSE(s.main->hasChanges());
}

TEST(StoreObjects, RollbackRestoresCommittedState)
{
    Store s = openStore(QString());
    ManagedObject *ann = insertPerson(s.main, QStringLiteral("Ann"));
    ManagedObject *phone = s.main->insertNewObject(QStringLiteral("Phone"));
    phone->setValue(QStringLiteral("name"), QStringLiteral("111"));
    phone->setRelatedObject(QStringLiteral("person"), ann);
    ASSERT_TRUE(s.main->save());

    ann->setValue(QStringLiteral("name"), QStringLiteral("Changed"));
    ManagedObject *extra = s.main->insertNewObject(QStringLiteral("Phone"));
    extra->setRelatedObject(QStringLiteral("person"), ann);
    s.main->deleteObject(phone);
    EXPECT_EQ(ann->relatedObjects(QStringLiteral("phones")), QList<ManagedObject *>{extra});
    s.main->rollback();
    EXPECT_FALSE(s.main->hasChanges());
    EXPECT_EQ(ann->value(QStringLiteral("name")).toString(), QStringLiteral("Ann"));
    EXPECT_FALSE(phone->isDeleted());
    EXPECT_EQ(extra->managedObjectContext(), nullptr);
    EXPECT_EQ(ann->relatedObjects(QStringLiteral("phones")), QList<ManagedObject *>{phone});
    EXPECT_EQ(phone->relatedObject(QStringLiteral("person")), ann);
}

TEST(StoreHooks, OrderOfHooksIncludingCascade)
{
    Store s = openStore(QString());
    hookLog().clear();
    ManagedObject *ann = s.main->insertNewObject(QStringLiteral("Person"));
    ann->setValue(QStringLiteral("name"), QStringLiteral("Ann"));
    ManagedObject *phone = s.main->insertNewObject(QStringLiteral("Phone"));
    phone->setValue(QStringLiteral("name"), QStringLiteral("111"));
    phone->setRelatedObject(QStringLiteral("person"), ann);
    ASSERT_TRUE(s.main->save());
    EXPECT_EQ(hookLog(), (QStringList{QStringLiteral("awakeFromInsert:"), QStringLiteral("awakeFromInsert:"),
                                      QStringLiteral("willSave:Ann"), QStringLiteral("willSave:111"),
                                      QStringLiteral("didSave:Ann"), QStringLiteral("didSave:111")}));
    hookLog().clear();
    s.main->reset();
    FetchRequest request(QStringLiteral("Person"));
    const auto people = s.main->executeFetchRequest(request);
    ASSERT_EQ(people.size(), 1);
    EXPECT_EQ(hookLog(), QStringList{QStringLiteral("awakeFromFetch:Ann")});
    hookLog().clear();
    s.main->deleteObject(people[0]);
    // The cascade reaches the phone: its prepareForDeletion runs after the contact's.
    EXPECT_EQ(hookLog(), (QStringList{QStringLiteral("prepareForDeletion:Ann"), QStringLiteral("awakeFromFetch:111"),
                                      QStringLiteral("prepareForDeletion:111")}));
    hookLog().clear();
    ASSERT_TRUE(s.main->save());
    EXPECT_EQ(hookLog(), (QStringList{QStringLiteral("willSave:Ann"), QStringLiteral("willSave:111"),
                                      QStringLiteral("didSave:Ann"), QStringLiteral("didSave:111")}));
    EXPECT_EQ(s.main->countForFetchRequest(FetchRequest(QStringLiteral("Phone"))), 0);
    EXPECT_EQ(s.main->countForFetchRequest(FetchRequest(QStringLiteral("Person"))), 0);
}
