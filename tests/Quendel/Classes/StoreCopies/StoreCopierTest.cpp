#include "Classes/MCPersistentStoreMigrator.h"

#include "QuendelKit/QuendelModel.h"

#include "platform/store/FetchRequest.h"
#include "platform/store/ManagedObject.h"
#include "platform/store/ManagedObjectContext.h"
#include "platform/store/StoreCoordinator.h"

#include <QDateTime>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <map>

using namespace platform::store;
using platform::core::QDError;

namespace {

const QString IdentityKey = QStringLiteral("cloudKitID");

// The attribute that tells an entity's records apart: the cloud identity, or for the few entities without
// one their first text attribute (each record holds its own text there).
QString identityKey(const EntityDescription &entity)
{
    if (entity.attribute(IdentityKey))
        return IdentityKey;
    for (const auto &attribute : entity.attributes())
        if (attribute.type == AttributeType::String && !attribute.transient)
            return attribute.name;
    return {};
}

QString identityOf(const ManagedObject *record)
{
    return record->entity()->name() + QLatin1Char('/') + record->value(identityKey(*record->entity())).toString();
}

struct OpenStore
{
    std::shared_ptr<StoreCoordinator> coordinator;
    std::shared_ptr<PersistentStore> store;
    ContextPtr context;
};

OpenStore open(const std::shared_ptr<const ManagedObjectModel> &model, const QString &path)
{
    OpenStore s;
    s.coordinator = std::make_shared<StoreCoordinator>(model);
    QDError error;
    s.store = s.coordinator->addPersistentStore(StoreType::SQLite, path, {}, &error);
    EXPECT_TRUE(s.store) << error.toString().toStdString();
    s.context = ManagedObjectContext::create(ManagedObjectContext::ConcurrencyType::MainQueue);
    s.context->setPersistentStoreCoordinator(s.coordinator);
    return s;
}

// A value of the attribute's type that tells records and attributes apart.
QVariant sampleValue(const AttributeDescription &attribute, const QString &tag, int n)
{
    switch (attribute.type) {
    case AttributeType::String:
        return tag + QLatin1Char('.') + attribute.name;
    case AttributeType::Integer16:
    case AttributeType::Integer32:
    case AttributeType::Integer64:
        return qint64(n * 7 + 3);
    case AttributeType::Boolean:
        return true;
    case AttributeType::Double:
        return 1.25 * (n + 1);
    case AttributeType::Date:
        return QDateTime::fromMSecsSinceEpoch(1700000000000LL + n * 1000, Qt::UTC);
    case AttributeType::Decimal:
        return QStringLiteral("%1.05").arg(n + 10);
    case AttributeType::Binary:
        return (tag + QStringLiteral("-bytes")).toUtf8();
    case AttributeType::Transformable:
        return tag + QStringLiteral("-archived");
    }
    return {};
}

// Every record of every entity, by its identity: its stored values, and per relationship the identities of
// the records it reaches (sorted), all as text.
using Dump = std::map<QString, std::map<QString, QString>>;

Dump dump(const std::shared_ptr<const ManagedObjectModel> &model, const QString &path)
{
    OpenStore s = open(model, path);
    Dump result;
    for (const auto &entity : model->entities()) {
        for (ManagedObject *record : s.context->executeFetchRequest(FetchRequest(entity->name()))) {
            std::map<QString, QString> &row = result[identityOf(record)];
            for (const auto &attribute : entity->attributes()) {
                if (!attribute.transient)
                    row[attribute.name] = record->value(attribute.name).toString() +
                                          QString::fromLatin1(record->value(attribute.name).toByteArray().toHex());
            }
            for (const auto &relationship : entity->relationships()) {
                QStringList targets;
                for (const ManagedObjectID &id : record->objectIDsForRelationship(relationship.name))
                    targets << identityOf(s.context->objectWithID(id));
                targets.sort();
                row[relationship.name] = targets.join(u',');
            }
        }
    }
    return result;
}

// Two records of every entity, every attribute set, every relationship of the first record of each entity
// set to records of its destination.
void fill(const std::shared_ptr<const ManagedObjectModel> &model, const QString &path)
{
    OpenStore s = open(model, path);
    std::map<QString, std::vector<ManagedObject *>> records;
    int n = 0;
    for (const auto &entity : model->entities()) {
        for (int i = 0; i < 2; ++i) {
            ManagedObject *record = s.context->insertNewObject(entity->name());
            ASSERT_TRUE(record) << entity->name().toStdString();
            const QString tag = QStringLiteral("%1-%2").arg(entity->name()).arg(i);
            for (const auto &attribute : entity->attributes()) {
                if (!attribute.transient)
                    record->setValue(attribute.name, sampleValue(attribute, tag, ++n));
            }
            if (entity->attribute(IdentityKey))
                record->setValue(IdentityKey, tag);
            records[entity->name()].push_back(record);
        }
    }
    for (const auto &entity : model->entities()) {
        ManagedObject *record = records[entity->name()][0];
        for (const auto &relationship : entity->relationships()) {
            const auto &targets = records[relationship.destinationEntityName];
            if (relationship.toMany) {
                record->addRelatedObject(relationship.name, targets[0]);
                record->addRelatedObject(relationship.name, targets[1]);
            } else {
                record->setRelatedObject(relationship.name, targets[1]);
            }
        }
    }
    QDError error;
    ASSERT_TRUE(s.context->save(&error)) << error.toString().toStdString();
}

bool copyStore(const std::shared_ptr<const ManagedObjectModel> &model, const QString &from, const QString &to,
               unsigned batchSize)
{
    MCPersistentStoreMigrator copier(model, QUrl::fromLocalFile(from), QUrl::fromLocalFile(to));
    QDError error;
    if (!copier.beginMigration(&error))
        return false;
    bool ok = true;
    for (const auto &entity : model->entities())
        ok = copier.migrateEntityWithName(entity->name(), batchSize, true, &error) && ok;
    for (const auto &entity : model->entities())
        ok = copier.migrateRelationshipWithName(entity->name(), batchSize, true, &error) && ok;
    copier.endMigration();
    return ok;
}

} // namespace

TEST(StoreCopier, CopiesEveryRecordAndRelationshipOfEveryEntity)
{
    QTemporaryDir dir;
    const auto model = QuendelModel::create();
    const QString source = dir.filePath(QStringLiteral("source.sqlite"));
    fill(model, source);
    const Dump original = dump(model, source);
    ASSERT_EQ(original.size(), model->entities().size() * 2);
    // Every relationship of the model is set on some record.
    size_t relationships = 0, linked = 0;
    for (const auto &entity : model->entities()) {
        relationships += entity->relationships().size();
        for (const auto &relationship : entity->relationships())
            linked += original.at(entity->name() + QLatin1Char('/') +
                                  (identityKey(*entity) == IdentityKey ? entity->name() + QStringLiteral("-0")
                                                                       : entity->name() + QStringLiteral("-0.") +
                                                                             identityKey(*entity)))
                          .at(relationship.name)
                          .isEmpty()
                          ? 0
                          : 1;
    }
    EXPECT_GT(relationships, 50u);
    EXPECT_EQ(linked, relationships);

    // Batches of one and of three: saves and resets fall between the records, and a copy made before a
    // reset is found again by its permanent identifier when its relationships are linked.
    for (unsigned batch : {1u, 3u, MCPersistentStoreMigrator::DefaultBatchSize}) {
        const QString destination = dir.filePath(QStringLiteral("copy-%1.sqlite").arg(batch));
        ASSERT_TRUE(copyStore(model, source, destination, batch)) << batch;
        const Dump copied = dump(model, destination);
        ASSERT_EQ(copied.size(), original.size()) << batch;
        for (const auto &[key, row] : original) {
            ASSERT_TRUE(copied.count(key)) << key.toStdString();
            for (const auto &[name, value] : row)
                EXPECT_EQ(copied.at(key).at(name), value) << key.toStdString() << " " << name.toStdString();
        }
    }
    // The source was opened read-only and is as it was.
    EXPECT_EQ(dump(model, source), original);
}

TEST(StoreCopier, TheDestinationKeepsItsOwnMetadataAndTakesTheRestFromTheSource)
{
    QTemporaryDir dir;
    const auto model = QuendelModel::create();
    const QString source = dir.filePath(QStringLiteral("source.sqlite"));
    const QString destination = dir.filePath(QStringLiteral("destination.sqlite"));
    QString destinationUUID;
    {
        OpenStore s = open(model, source);
        ASSERT_TRUE(s.coordinator->setMetadata({{QStringLiteral("OneTime_MigratePrivateImages"), 1},
                                                {QStringLiteral("Shared"), QStringLiteral("source")}},
                                               s.store));
        OpenStore d = open(model, destination);
        ASSERT_TRUE(d.coordinator->setMetadata({{QStringLiteral("Shared"), QStringLiteral("destination")}}, d.store));
        destinationUUID = d.store->identifier();
    }
    ASSERT_TRUE(copyStore(model, source, destination, MCPersistentStoreMigrator::DefaultBatchSize));
    const QVariantMap metadata = StoreCoordinator::metadataForPersistentStoreOfType(StoreType::SQLite, destination);
    EXPECT_EQ(metadata.value(QStringLiteral("Shared")).toString(), QStringLiteral("destination"));
    EXPECT_EQ(metadata.value(QStringLiteral("OneTime_MigratePrivateImages")).toInt(), 1);
    EXPECT_EQ(metadata.value(StoreUUIDKey).toString(), destinationUUID);
}

TEST(StoreCopier, NothingIsCopiedWhenTheSourceCannotBeOpened)
{
    QTemporaryDir dir;
    const auto model = QuendelModel::create();
    MCPersistentStoreMigrator copier(model, QUrl::fromLocalFile(dir.filePath(QStringLiteral("missing.sqlite"))),
                                     QUrl::fromLocalFile(dir.filePath(QStringLiteral("destination.sqlite"))));
    QDError error;
    EXPECT_FALSE(copier.beginMigration(&error));
    EXPECT_FALSE(error.isNull());
    EXPECT_FALSE(copier.sourceContext());
    EXPECT_FALSE(copier.migrateEntityWithName(QStringLiteral("Person"), 500, true, &error));
}

TEST(StoreCopier, WhatTheApplicationSavesWhileACopyRunsStaysOutOfIt)
{
    // The application keeps the source open and saves between the copier's passes: the copy is the store as
    // it was when the copy began, with no record whose linked records were never copied.
    QTemporaryDir dir;
    const auto model = QuendelModel::create();
    const QString source = dir.filePath(QStringLiteral("source.sqlite"));
    const QString destination = dir.filePath(QStringLiteral("destination.sqlite"));
    OpenStore app = open(model, source);
    auto addContactWithFile = [&](const QString &name) {
        ManagedObject *person = app.context->insertNewObject(QStringLiteral("Person"));
        person->setValue(QStringLiteral("firstName"), name);
        ManagedObject *file = app.context->insertNewObject(QStringLiteral("FileAttachments"));
        file->setValue(QStringLiteral("fileName"), name + QStringLiteral(".pdf"));
        file->setRelatedObject(QStringLiteral("person"), person);
        return person;
    };
    ManagedObject *before = addContactWithFile(QStringLiteral("Before"));
    QDError error;
    ASSERT_TRUE(app.context->save(&error)) << error.toString().toStdString();

    MCPersistentStoreMigrator copier(model, QUrl::fromLocalFile(source), QUrl::fromLocalFile(destination));
    ASSERT_TRUE(copier.beginMigration(&error)) << error.toString().toStdString();
    ASSERT_TRUE(copier.migrateEntityWithName(QStringLiteral("Person"), 500, true, &error));

    addContactWithFile(QStringLiteral("During"));
    before->setValue(QStringLiteral("firstName"), QStringLiteral("Renamed"));
    ASSERT_TRUE(app.context->save(&error)) << error.toString().toStdString();

    bool ok = true;
    for (const auto &entity : model->entities()) {
        if (entity->name() != QStringLiteral("Person"))
            ok = copier.migrateEntityWithName(entity->name(), 500, true, &error) && ok;
    }
    for (const auto &entity : model->entities())
        ok = copier.migrateRelationshipWithName(entity->name(), 500, true, &error) && ok;
    copier.endMigration();
    ASSERT_TRUE(ok);

    OpenStore copy = open(model, destination);
    const QList<ManagedObject *> people = copy.context->executeFetchRequest(FetchRequest(QStringLiteral("Person")));
    ASSERT_EQ(people.size(), 1);
    EXPECT_EQ(people[0]->value(QStringLiteral("firstName")).toString(), QStringLiteral("Before"));
    const QList<ManagedObject *> files = copy.context->executeFetchRequest(FetchRequest(QStringLiteral("FileAttachments")));
    ASSERT_EQ(files.size(), 1);
    EXPECT_EQ(files[0]->value(QStringLiteral("fileName")).toString(), QStringLiteral("Before.pdf"));
    EXPECT_EQ(files[0]->relatedObject(QStringLiteral("person")), people[0]);

    // Once the copy is over the source's own readers see the new saves again.
    OpenStore later = open(model, source);
    EXPECT_EQ(later.context->executeFetchRequest(FetchRequest(QStringLiteral("Person"))).size(), 2);
}
