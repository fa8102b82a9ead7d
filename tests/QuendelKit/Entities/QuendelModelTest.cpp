#include "EntityStoreFixture.h"

#include "QuendelKit/Entities/AllEntities.h"
#include "QuendelKit/Entities/ToDoAlert.h"
#include "QuendelKit/QuendelModel.h"

#include <gtest/gtest.h>

#include <functional>

using platform::store::AttributeType;
using platform::store::DeleteRule;
using platform::store::EntityDescription;
using platform::store::ManagedObject;

namespace {

struct EntityClassCase
{
    QString entityName;
    QString fetchRequestEntity;
    std::function<bool(ManagedObject *)> isItsClass;
    bool hasBase;
};

template <typename T> EntityClassCase classCase(bool hasBase = true)
{
    return {T::EntityName, T::fetchRequest().entityName(),
            [](ManagedObject *object) { return dynamic_cast<T *>(object) != nullptr; }, hasBase};
}

const std::vector<EntityClassCase> &entityClasses()
{
    static const std::vector<EntityClassCase> cases = {
        classCase<Person>(),
        classCase<PersonInfo>(),
        classCase<Emails>(),
        classCase<Phones>(),
        classCase<PersonAddress>(),
        classCase<PersonWebsite>(),
        classCase<PersonDate>(),
        classCase<PersonSocial>(),
        classCase<PersonRelationships>(),
        classCase<PersonImage>(),
        classCase<Log>(),
        classCase<LogTitle>(),
        classCase<ToDo>(),
        classCase<ToDoTitle>(),
        classCase<ToDoAlert>(),
        classCase<ToDoCalendarLink>(),
        classCase<FileAttachments>(),
        classCase<Location>(),
        classCase<FormFields>(),
        classCase<FormFieldType>(),
        classCase<FormFieldsList>(),
        classCase<UserFields>(),
        classCase<CurrencyData>(),
        classCase<PrivateGroups>(),
        classCase<EmailTemplate>(),
        classCase<QDCloudProcessItem>(false),
    };
    return cases;
}

// Every stored attribute of the catalogue as "name:kind" (S string, D date, B boolean, I integer, R double,
// C decimal, X binary data, T transformable); the five base attributes are checked separately.
const std::vector<std::pair<QString, QString>> &catalogueAttributes()
{
    static const std::vector<std::pair<QString, QString>> table = {
        {"Person", "firstName:S lastName:S prefixName:S suffixName:S companyName:S compositeName:S displayName:S "
                   "normalizedDisplayName:S normalizedSectionLetter:S sectionLetter:S normalizedCompanyName:S "
                   "notesField:S guid:S isContactPrivate:B localIdentifier:S privateImage:T recordAddedDate:D "
                   "recordModifiedDate:D flags:I personFlags:I"},
        {"PersonInfo", "middleName:S nickname:S jobDescription:S normalizedJobDescription:S departmentName:S "
                       "phoneticFirstName:S phoneticMiddleName:S phoneticLastName:S previousFamilyName:S birthday:D"},
        {"Emails", "emailAddress:S label:S localIdentifier:S"},
        {"Phones", "phoneNumber:S label:S localIdentifier:S"},
        {"PersonWebsite", "websiteURL:S websiteLabel:S localIdentifier:S"},
        {"PersonAddress", "addressLabel:S street:S city:S state:S zip:S country:S countryCode:S addressString:S "
                          "normalizedAddressString:S contactAddress:S localIdentifier:S latitude:R longitude:R "
                          "geocodeStatus:I"},
        {"PersonDate", "dateLabel:S dateValue:D localIdentifier:S"},
        {"PersonSocial", "serviceName:S socialURL:S userIdentifier:S userName:S localIdentifier:S serviceType:I"},
        {"PersonRelationships", "relationshipLabel:S relatedName:S relatedIPersonGUID:S localIdentifier:S"},
        {"Images", "fullImageFileName:S fullImage:T"},
        {"Log", "logDate:D logNote:S attributedLogNote:T logProperties:T logSectionPeriod:S sectionKey:S isMultiLog:B "
                "logFlags:I"},
        {"LogTitle", "title:S normalizedTitle:S displayOrder:I"},
        {"ToDoTitle", "title:S normalizedTitle:S displayOrder:I"},
        {"ToDo",
         "todoNote:S todoSectionTitle:S sectionKey:S attributedToDoNote:T todoProperties:T todoRepeatInterval:T "
         "todoStartDate:D todoEndDate:D todoCompletedDate:D todoStatus:I isCalendarEventSet:B isFullDay:B "
         "isMultiTodo:B todoAction:I todoFlags:I todoPriority:I"},
        {"ToDoAlert", "alertInterval:T localNotification:T alertIdentifier:S alertStatus:I"},
        {"ToDoCalendarLink", "calendarIdentifier:S calendarUUID:S ekCalendarID:S calendarTitle:S calendarEndDate:D "
                             "calendarType:I isLinkOn:B"},
        {"FileAttachments", "fileName:S fileRenamedName:S fileNameNormalized:S fileExtension:S fileExternalURL:S "
                            "fileNote:S folderName:S fileSize:I fileStatus:I fileType:I fileProperties:T "
                            "fileThumbnailData:T"},
        {"Location", "locationName:S locationAddress:S normalizedLocationName:S normalizedLocationAddress:S latitude:R "
                     "longitude:R displayOrder:I"},
        {"FormFields", "formFieldName:S formFieldDefaultValue:S formFieldProperty:S formFieldDisplayOrder:I "
                       "isAlwaysVisible:B"},
        {"FormFieldType", "fieldTypeName:S"},
        {"FormFieldsList", "title:S fieldListAlternateValue:S fieldListData:X fieldsListDisplayOrder:I"},
        {"UserFields", "fieldValue:S normalizedFieldValue:S noteField:S dateValue:D"},
        {"CurrencyData", "currencyValue:C currencyCode:S localeIdentifier:S"},
        {"PrivateGroups", "groupName:S groupDisplayOrder:I"},
        {"EmailTemplate", "templateName:S displayOrder:I templateProperties:T"},
        {"VoiceNote", "voiceData:X voiceFileName:S duration:R"},
        {"QDCloudProcessItem", "objectTableName:S objectCloudID:S objectLocalURL:S operationType:I operationStatus:I "
                               "properties:X operationErrorDetails:T dateCreated:D dateCompleted:D"},
    };
    return table;
}

char kindOf(AttributeType type)
{
    switch (type) {
    case AttributeType::String:
        return 'S';
    case AttributeType::Date:
        return 'D';
    case AttributeType::Boolean:
        return 'B';
    case AttributeType::Integer16:
    case AttributeType::Integer32:
    case AttributeType::Integer64:
        return 'I';
    case AttributeType::Double:
        return 'R';
    case AttributeType::Decimal:
        return 'C';
    case AttributeType::Binary:
        return 'X';
    case AttributeType::Transformable:
        return 'T';
    }
    return '?';
}

const QStringList baseAttributes = {"cloudKitID", "cloudKitFields", "cloudKitRemotelyDeleted", "createdAt",
                                    "modifiedAt"};

} // namespace

TEST(QuendelModel, IsNamedQuendelAndValidates)
{
    const auto model = QuendelModel::create();
    EXPECT_EQ(model->name(), QStringLiteral("Quendel"));
    QString problem;
    EXPECT_TRUE(model->validate(&problem)) << problem.toStdString();
    EXPECT_EQ(model->entities().size(), catalogueAttributes().size());
}

TEST(QuendelModel, EveryEntityHasTheCatalogueAttributesWithTheirKinds)
{
    const auto model = QuendelModel::create();
    for (const auto &[entityName, spec] : catalogueAttributes()) {
        SCOPED_TRACE(entityName.toStdString());
        const EntityDescription *entity = model->entity(entityName);
        ASSERT_NE(entity, nullptr);
        QStringList expected;
        for (const QString &item : spec.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
            const QString name = item.section(QLatin1Char(':'), 0, 0);
            const char kind = item.section(QLatin1Char(':'), 1, 1).at(0).toLatin1();
            expected.append(name);
            const auto *attribute = entity->attribute(name);
            ASSERT_NE(attribute, nullptr) << name.toStdString();
            EXPECT_EQ(kindOf(attribute->type), kind) << name.toStdString();
            EXPECT_FALSE(attribute->transient) << name.toStdString();
            if (attribute->type == AttributeType::Transformable) {
                // An alert's notification is kept in its own form; every other value in the keyed archive.
                const QString transformer = entityName == QStringLiteral("ToDoAlert") &&
                                                    name == QStringLiteral("localNotification")
                                                ? NotificationTransformer::TransformerName
                                                : QuendelModel::ArchiveTransformerName;
                EXPECT_EQ(attribute->valueTransformerName, transformer) << name.toStdString();
            }
        }
        const bool hasBase = entityName != QStringLiteral("QDCloudProcessItem");
        if (hasBase)
            expected += baseAttributes;
        QStringList actual;
        for (const auto &attribute : entity->attributes())
            actual.append(attribute.name);
        expected.sort();
        actual.sort();
        EXPECT_EQ(actual, expected);
    }
}

TEST(QuendelModel, BaseAttributesHaveTheirTypes)
{
    const auto model = QuendelModel::create();
    const EntityDescription *log = model->entity(QStringLiteral("Log"));
    ASSERT_NE(log, nullptr);
    EXPECT_EQ(log->attribute(QStringLiteral("cloudKitID"))->type, AttributeType::String);
    EXPECT_EQ(log->attribute(QStringLiteral("cloudKitFields"))->type, AttributeType::Binary);
    EXPECT_EQ(log->attribute(QStringLiteral("cloudKitRemotelyDeleted"))->type, AttributeType::Boolean);
    EXPECT_EQ(log->attribute(QStringLiteral("createdAt"))->type, AttributeType::Date);
    EXPECT_EQ(log->attribute(QStringLiteral("modifiedAt"))->type, AttributeType::Date);
    // A new record has no identity, dates or cloud state until its first save.
    for (const QString &name : baseAttributes)
        EXPECT_FALSE(log->attribute(name)->defaultValue.isValid()) << name.toStdString();
}

TEST(QuendelModel, EveryEntityMakesObjectsOfItsClassAndNamesItsFetchRequest)
{
    const auto model = QuendelModel::create();
    for (const EntityClassCase &entry : entityClasses()) {
        SCOPED_TRACE(entry.entityName.toStdString());
        EXPECT_EQ(entry.fetchRequestEntity, entry.entityName);
        const EntityDescription *entity = model->entity(entry.entityName);
        ASSERT_NE(entity, nullptr);
        ASSERT_TRUE(bool(entity->factory()));
        std::unique_ptr<ManagedObject> object(entity->factory()());
        EXPECT_TRUE(entry.isItsClass(object.get()));
        EXPECT_EQ(dynamic_cast<NSManagedObjectQDBase *>(object.get()) != nullptr, entry.hasBase);
    }
    EXPECT_EQ(PersonImage::fetchRequest().entityName(), QStringLiteral("Images"));
    EXPECT_EQ(Person::fetchRequest().entityName(), QStringLiteral("Person"));
    EXPECT_FALSE(Person::fetchRequest().predicate());
    EXPECT_EQ(Person::fetchRequest().fetchLimit(), 0);
    EXPECT_TRUE(Person::fetchRequest().sortDescriptors().empty());
}

TEST(QuendelModel, VoiceNoteIsAnEntityBaseRecordUntilTheApplicationInstallsItsClass)
{
    {
        const auto model = QuendelModel::create();
        std::unique_ptr<ManagedObject> object(model->entity(QStringLiteral("VoiceNote"))->factory()());
        EXPECT_NE(dynamic_cast<NSManagedObjectQDBase *>(object.get()), nullptr);
    }
    struct AppVoiceNote : NSManagedObjectQDBase
    {
    };
    QuendelModel::setEntityClassFactory(QStringLiteral("VoiceNote"), [] { return new AppVoiceNote; });
    const auto model = QuendelModel::create();
    std::unique_ptr<ManagedObject> object(model->entity(QStringLiteral("VoiceNote"))->factory()());
    EXPECT_NE(dynamic_cast<AppVoiceNote *>(object.get()), nullptr);
    QuendelModel::setEntityClassFactory(QStringLiteral("VoiceNote"), {});
}
