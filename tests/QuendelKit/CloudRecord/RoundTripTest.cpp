#include "CloudRecordFixture.h"

#include "QuendelKit/CloudRecord/PersonPrivatePicture.h"

#include "platform/core/DateComponents.h"

#include <QBuffer>
#include <QImage>

#include <map>

using namespace quendel::test;
using platform::cloud::FieldValue;
using platform::cloud::Record;
using platform::store::AttributeDescription;
using platform::store::AttributeType;
using platform::store::EntityDescription;
using platform::store::ManagedObject;
using platform::store::RelationshipDescription;
using CR = NSManagedObjectQDBaseCloudRecord;
using MO = ManagedObjectCloudKit;

namespace {

QByteArray smallPng()
{
    QImage image(8, 6, QImage::Format_ARGB32);
    image.fill(QColor(200, 30, 40));
    image.setPixelColor(1, 2, QColor(0, 0, 255));
    QByteArray data;
    QBuffer buffer(&data);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return data;
}

platform::core::DateComponents components(platform::core::DateComponents::Field field, qint64 value)
{
    platform::core::DateComponents c;
    c.setValue(field, value);
    return c;
}

// Transformable attributes whose value is meant to travel (by the generic copy or an entity's own field).
const std::map<QString, QVariant> &travellingTransformables()
{
    static const std::map<QString, QVariant> values = {
        {QStringLiteral("todoRepeatInterval"), components(platform::core::DateComponents::Day, 7).toVariant()},
        {QStringLiteral("alertInterval"), components(platform::core::DateComponents::Minute, -15).toVariant()},
        {QStringLiteral("templateProperties"),
         QVariantMap{{QStringLiteral("Text"), QStringLiteral("Dear <$Person.firstName$>")},
                     {QStringLiteral("Mapping"),
                      QVariantMap{{QStringLiteral("<$Person.firstName$>"), QStringLiteral("Person.firstName")}}}}},
        {QStringLiteral("localNotification"), QStringLiteral("notification-1")},
        {QStringLiteral("privateImage"), smallPng()},
    };
    return values;
}

// Kept out of the generic copy but carried by the entity's own field.
bool carriedByHook(const QString &entity, const QString &attribute)
{
    static const QSet<QString> carried = {
        QStringLiteral("Person.privateImage"),     QStringLiteral("PersonAddress.latitude"),
        QStringLiteral("PersonAddress.longitude"), QStringLiteral("Location.latitude"),
        QStringLiteral("Location.longitude"),      QStringLiteral("ToDo.todoRepeatInterval"),
        QStringLiteral("ToDoAlert.alertInterval"), QStringLiteral("EmailTemplate.templateProperties"),
    };
    return carried.contains(entity + QLatin1Char('.') + attribute);
}

QVariant sampleValue(const EntityDescription &entity, const AttributeDescription &attribute, int n)
{
    switch (attribute.type) {
    case AttributeType::String:
        return QStringLiteral("%1 %2 ü").arg(entity.name(), attribute.name);
    case AttributeType::Integer16:
    case AttributeType::Integer32:
    case AttributeType::Integer64:
        return qint64(10 + n);
    case AttributeType::Boolean:
        return true;
    case AttributeType::Double:
        return 12.5 + n;
    case AttributeType::Decimal:
        return QStringLiteral("1234.5678");
    case AttributeType::Date:
        return QDateTime(QDate(2023, 7, 8), QTime(9, 10, 11, 120), Qt::UTC).addSecs(61 * n);
    case AttributeType::Binary:
        return QByteArray("bytes of ") + attribute.name.toUtf8();
    case AttributeType::Transformable: {
        const auto it = travellingTransformables().find(attribute.name);
        if (it != travellingTransformables().end())
            return it->second;
        // A value no record can hold.
        return QVariantMap{{QStringLiteral("opaque"), n}};
    }
    }
    return {};
}

bool isCloudEntity(const EntityDescription &entity)
{
    return entity.attribute(QStringLiteral("cloudKitID")) != nullptr;
}

QStringList relatedIDs(const ManagedObject *object, const RelationshipDescription &relationship)
{
    QStringList ids;
    if (!relationship.toMany) {
        if (const ManagedObject *related = object->relatedObject(relationship.name))
            ids.append(related->value(QStringLiteral("cloudKitID")).toString());
    } else {
        for (const ManagedObject *related : object->relatedObjects(relationship.name))
            ids.append(related->value(QStringLiteral("cloudKitID")).toString());
    }
    ids.sort();
    return ids;
}

void expectSameValue(const AttributeDescription &attribute, const QVariant &sent, const QVariant &received)
{
    switch (attribute.type) {
    case AttributeType::Integer16:
    case AttributeType::Integer32:
    case AttributeType::Integer64:
        EXPECT_EQ(received.toLongLong(), sent.toLongLong());
        break;
    case AttributeType::Boolean:
        EXPECT_EQ(received.toBool(), sent.toBool());
        break;
    case AttributeType::Double:
        EXPECT_DOUBLE_EQ(received.toDouble(), sent.toDouble());
        break;
    case AttributeType::Date:
        EXPECT_EQ(received.toDateTime(), sent.toDateTime());
        break;
    default:
        if (attribute.name == QLatin1String("privateImage")) {
            const QImage a = QImage::fromData(sent.toByteArray()).convertToFormat(QImage::Format_ARGB32);
            const QImage b = QImage::fromData(received.toByteArray()).convertToFormat(QImage::Format_ARGB32);
            EXPECT_FALSE(b.isNull());
            EXPECT_EQ(a, b);
        } else {
            EXPECT_EQ(received, sent);
        }
    }
}

} // namespace

TEST_F(CloudRecordTest, EveryEntityTravelsThroughACompleteRecordAndBack)
{
    // One record of every entity, with every attribute set and every to-one relationship pointing at the
    // record of its destination entity.
    std::map<QString, NSManagedObjectQDBase *> sent;
    for (const auto &entity : model->entities()) {
        if (!isCloudEntity(*entity))
            continue;
        auto *object = dynamic_cast<NSManagedObjectQDBase *>(context->insertNewObject(entity->name()));
        ASSERT_NE(object, nullptr) << entity->name().toStdString();
        int n = 0;
        for (const AttributeDescription &attribute : entity->attributes()) {
            if (attribute.name == QLatin1String("cloudKitID") || attribute.name == QLatin1String("cloudKitFields"))
                continue;
            object->setValue(attribute.name, sampleValue(*entity, attribute, n++));
        }
        sent[entity->name()] = object;
    }
    for (const auto &[name, object] : sent) {
        for (const RelationshipDescription &relationship : object->entity()->relationships()) {
            ManagedObject *target =
                sent.count(relationship.destinationEntityName) ? sent[relationship.destinationEntityName] : nullptr;
            ASSERT_NE(target, nullptr) << relationship.destinationEntityName.toStdString();
            if (!relationship.toMany) {
                if (!object->relatedObject(relationship.name))
                    object->setRelatedObject(relationship.name, target);
            } else if (ManagedObjectCloudKit::relationshipHasField(*object->entity(), relationship)) {
                object->addRelatedObject(relationship.name, target);
            }
        }
    }
    // The contact's derived names as its own setters make them from its parts.
    auto *person = dynamic_cast<Person *>(sent[QStringLiteral("Person")]);
    ASSERT_NE(person, nullptr);
    person->remakeDisplayName();
    person->remakeSortingName();
    save(context);

    std::map<QString, Record> records;
    for (const auto &[name, object] : sent) {
        const Record record = CR::recordToInsert(object, privateZone());
        SCOPED_TRACE(name.toStdString());
        ASSERT_FALSE(record.isNull());
        // The engine's order: the complete record, then the relationship fields.
        Record engineOrder = object->ckRecordFromManagedObjectWithRecordZoneID(privateZone());
        MO::updateCKRecordWithReferencesForRelationships(object, engineOrder);
        EXPECT_EQ(engineOrder, record);
        EXPECT_EQ(record.recordType(), name);
        EXPECT_EQ(record.recordID().recordName(), object->cloudKitID());
        EXPECT_EQ(record.recordID().zoneID(), privateZone());
        EXPECT_FALSE(record.parent().has_value());
        for (const QString &never : {QStringLiteral("cloudKitID"), QStringLiteral("cloudKitFields"),
                                     QStringLiteral("cloudKitRemotelyDeleted")})
            EXPECT_FALSE(record.hasField(never)) << never.toStdString();
        for (const QString &removed : CR::removeAttributesFromSyncFields(object)) {
            if (!carriedByHook(name, removed) || removed == QLatin1String("latitude") ||
                removed == QLatin1String("longitude")) {
                EXPECT_FALSE(record.hasField(removed)) << removed.toStdString();
            }
        }
        records[name] = record;
        if (qEnvironmentVariableIsSet("SHOW_RECORDS"))
            qInfo().noquote() << record.toDebugString();
    }

    // The other device makes every record, then resolves the references once all of them exist.
    std::map<QString, NSManagedObjectQDBase *> received;
    for (const auto &[name, record] : records) {
        auto *object = dynamic_cast<NSManagedObjectQDBase *>(other->insertNewObject(record.recordType()));
        ASSERT_NE(object, nullptr);
        object->fillManagedObjectWithCKRecord(record);
        received[name] = object;
    }
    for (const auto &[name, record] : records)
        ManagedObjectCloudKit::updateObjectWithReferencesFromRecord(received[name], record);

    for (const auto &[name, original] : sent) {
        SCOPED_TRACE(name.toStdString());
        NSManagedObjectQDBase *copy = received[name];
        EXPECT_EQ(copy->cloudKitID(), original->cloudKitID());
        EXPECT_FALSE(copy->cloudKitRemotelyDeleted());
        // The archived system fields name the record that was received.
        const Record fields = ManagedObjectCloudKit::ckRecordFromEncodedFields(copy);
        EXPECT_EQ(fields.recordID(), records[name].recordID());
        const QStringList removed = CR::removeAttributesFromSyncFields(original);
        for (const AttributeDescription &attribute : original->entity()->attributes()) {
            if (ManagedObjectCloudKit::isNeverAField(attribute))
                continue;
            SCOPED_TRACE(attribute.name.toStdString());
            const QVariant value = original->value(attribute.name);
            const bool opaque =
                attribute.type == AttributeType::Transformable && !travellingTransformables().count(attribute.name);
            if (opaque || (removed.contains(attribute.name) && !carriedByHook(name, attribute.name))) {
                EXPECT_FALSE(copy->value(attribute.name).isValid());
                continue;
            }
            expectSameValue(attribute, value, copy->value(attribute.name));
        }
        for (const RelationshipDescription &relationship : original->entity()->relationships()) {
            SCOPED_TRACE(relationship.name.toStdString());
            EXPECT_EQ(relatedIDs(copy, relationship), relatedIDs(original, relationship));
        }
    }
    save(other);
}
