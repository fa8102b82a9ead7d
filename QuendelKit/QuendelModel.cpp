#include "QuendelKit/QuendelModel.h"

#include "QuendelKit/Entities/AllEntities.h"

#include "QuendelKit/Infra/QDLog.h"

#include "platform/core/KeyedArchive.h"

#include <QHash>
#include <QMutex>

using platform::store::AttributeDescription;
using platform::store::AttributeType;
using platform::store::DeleteRule;
using platform::store::EntityDescription;
using platform::store::ManagedObject;
using platform::store::ManagedObjectModel;
using platform::store::RelationshipDescription;

namespace {

QMutex g_factoryMutex;
QHash<QString, EntityDescription::Factory> &installedFactories()
{
    static QHash<QString, EntityDescription::Factory> factories;
    return factories;
}

template <typename T> EntityDescription::Factory factoryOf()
{
    return [] { return static_cast<ManagedObject *>(new T); };
}

EntityDescription::Factory installedOr(const QString &entityName, EntityDescription::Factory fallback)
{
    QMutexLocker lock(&g_factoryMutex);
    const auto it = installedFactories().constFind(entityName);
    return it != installedFactories().cend() ? *it : fallback;
}

class KeyedArchiveValueTransformer final : public platform::store::ValueTransformer
{
public:
    QByteArray transformedValue(const QVariant &value) const override
    {
        return checkedTransformedValue(value, nullptr).value_or(QByteArray());
    }

    std::optional<QByteArray> checkedTransformedValue(const QVariant &value,
                                                      platform::core::QDError *error) const override
    {
        platform::core::QDError why;
        QByteArray archived = platform::core::KeyedArchive::archive(value, &why);
        if (why) {
            QDLogError(QStringLiteral("QuendelModel: a transformable value cannot be archived: %1").arg(why.toString()));
            platform::core::setError(error, why);
            return std::nullopt;
        }
        return archived;
    }

    QVariant reverseTransformedValue(const QByteArray &data) const override
    {
        if (data.isEmpty())
            return {};
        platform::core::QDError error;
        const std::optional<QVariant> value = platform::core::KeyedArchive::unarchive(data, &error);
        if (!value) {
            QDLogError(
                QStringLiteral("QuendelModel: a stored transformable value cannot be read: %1").arg(error.toString()));
            return {};
        }
        return *value;
    }
};

void registerArchiveTransformer()
{
    static std::once_flag once;
    std::call_once(once, [] {
        if (!platform::store::ValueTransformer::valueTransformer(QuendelModel::ArchiveTransformerName))
            platform::store::ValueTransformer::setValueTransformer(QuendelModel::ArchiveTransformerName,
                                                                   std::make_shared<KeyedArchiveValueTransformer>());
        if (!platform::store::ValueTransformer::valueTransformer(NotificationTransformer::TransformerName))
            platform::store::ValueTransformer::setValueTransformer(NotificationTransformer::TransformerName,
                                                                   std::make_shared<NotificationTransformer>());
    });
}

AttributeDescription attribute(const char *name, AttributeType type, QVariant defaultValue = {})
{
    AttributeDescription description;
    description.name = QString::fromLatin1(name);
    description.type = type;
    description.defaultValue = std::move(defaultValue);
    if (type == AttributeType::Transformable)
        description.valueTransformerName = QuendelModel::ArchiveTransformerName;
    return description;
}

RelationshipDescription toOne(const char *name, const char *destination, const char *inverse,
                              DeleteRule rule = DeleteRule::Nullify)
{
    RelationshipDescription description;
    description.name = QString::fromLatin1(name);
    description.destinationEntityName = QString::fromLatin1(destination);
    description.inverseName = QString::fromLatin1(inverse);
    description.toMany = false;
    description.deleteRule = rule;
    return description;
}

RelationshipDescription toMany(const char *name, const char *destination, const char *inverse,
                               DeleteRule rule = DeleteRule::Nullify)
{
    RelationshipDescription description = toOne(name, destination, inverse, rule);
    description.toMany = true;
    return description;
}

constexpr AttributeType String = AttributeType::String;
constexpr AttributeType Date = AttributeType::Date;
constexpr AttributeType Boolean = AttributeType::Boolean;
constexpr AttributeType Int16 = AttributeType::Integer16;
constexpr AttributeType Int32 = AttributeType::Integer32;
constexpr AttributeType Int64 = AttributeType::Integer64;
constexpr AttributeType Double = AttributeType::Double;
constexpr AttributeType Decimal = AttributeType::Decimal;
constexpr AttributeType Binary = AttributeType::Binary;
constexpr AttributeType Transformable = AttributeType::Transformable;

// The five attributes of every record that carries an identity across devices.
EntityDescription &withBase(EntityDescription &entity)
{
    AttributeDescription cloudKitID = attribute("cloudKitID", String);
    cloudKitID.indexed = true; // records are looked up by their cloud identity on every download
    entity.addAttribute(cloudKitID);
    entity.addAttribute(attribute("cloudKitFields", Binary));
    entity.addAttribute(attribute("cloudKitRemotelyDeleted", Boolean));
    entity.addAttribute(attribute("createdAt", Date));
    entity.addAttribute(attribute("modifiedAt", Date));
    return entity;
}

template <typename T> EntityDescription &addEntity(ManagedObjectModel &model, const char *name)
{
    const QString entityName = QString::fromLatin1(name);
    return withBase(model.addEntity(EntityDescription(entityName, installedOr(entityName, factoryOf<T>()))));
}

void addStrings(EntityDescription &entity, std::initializer_list<const char *> names)
{
    for (const char *name : names)
        entity.addAttribute(attribute(name, String));
}

void addPerson(ManagedObjectModel &model)
{
    EntityDescription &e = addEntity<Person>(model, "Person");
    addStrings(e, {"firstName", "lastName", "prefixName", "suffixName", "companyName", "compositeName", "displayName",
                   "normalizedDisplayName", "normalizedSectionLetter", "sectionLetter", "normalizedCompanyName",
                   "notesField", "guid"});
    e.addAttribute(attribute("isContactPrivate", Boolean, false));
    e.addAttribute(attribute("localIdentifier", String));
    e.addAttribute(attribute("privateImage", Transformable));
    e.addAttribute(attribute("recordAddedDate", Date));
    e.addAttribute(attribute("recordModifiedDate", Date));
    e.addAttribute(attribute("flags", Int64, 0));
    e.addAttribute(attribute("personFlags", Int64, 0));

    // A contact owns everything recorded about it: deleting it takes its details and journal along.
    e.addRelationship(toOne("personinfo", "PersonInfo", "person", DeleteRule::Cascade));
    e.addRelationship(toOne("fullimage", "Images", "person", DeleteRule::Cascade));
    e.addRelationship(toMany("emails", "Emails", "person", DeleteRule::Cascade));
    e.addRelationship(toMany("phones", "Phones", "person", DeleteRule::Cascade));
    e.addRelationship(toMany("addresses", "PersonAddress", "person", DeleteRule::Cascade));
    e.addRelationship(toMany("websites", "PersonWebsite", "person", DeleteRule::Cascade));
    e.addRelationship(toMany("personDates", "PersonDate", "person", DeleteRule::Cascade));
    e.addRelationship(toMany("socialLinks", "PersonSocial", "person", DeleteRule::Cascade));
    e.addRelationship(toMany("relationships", "PersonRelationships", "person", DeleteRule::Cascade));
    e.addRelationship(toMany("userfields", "UserFields", "person", DeleteRule::Cascade));
    e.addRelationship(toMany("logs", "Log", "person", DeleteRule::Cascade));
    e.addRelationship(toMany("todos", "ToDo", "person", DeleteRule::Cascade));
    e.addRelationship(toMany("attachments", "FileAttachments", "person", DeleteRule::Cascade));
    e.addRelationship(toMany("privategroup", "PrivateGroups", "members"));
    // Inverse of the to-do's second contact reference, so a deleted contact leaves no dangling reference.
    // A to-many whose inverse is to-one never reaches a cloud record.
    e.addRelationship(toMany("completedtodos", "ToDo", "completedperson"));
}

void addContactDetails(ManagedObjectModel &model)
{
    {
        EntityDescription &e = addEntity<PersonInfo>(model, "PersonInfo");
        addStrings(e, {"middleName", "nickname", "jobDescription", "normalizedJobDescription", "departmentName",
                       "phoneticFirstName", "phoneticMiddleName", "phoneticLastName", "previousFamilyName"});
        e.addAttribute(attribute("birthday", Date));
        e.addRelationship(toOne("person", "Person", "personinfo"));
    }
    {
        EntityDescription &e = addEntity<Emails>(model, "Emails");
        addStrings(e, {"emailAddress", "label", "localIdentifier"});
        e.addRelationship(toOne("person", "Person", "emails"));
    }
    {
        EntityDescription &e = addEntity<Phones>(model, "Phones");
        addStrings(e, {"phoneNumber", "label", "localIdentifier"});
        e.addRelationship(toOne("person", "Person", "phones"));
    }
    {
        EntityDescription &e = addEntity<PersonWebsite>(model, "PersonWebsite");
        addStrings(e, {"websiteURL", "websiteLabel", "localIdentifier"});
        e.addRelationship(toOne("person", "Person", "websites"));
    }
    {
        EntityDescription &e = addEntity<PersonAddress>(model, "PersonAddress");
        addStrings(e, {"addressLabel", "street", "city", "state", "zip", "country", "countryCode", "addressString",
                       "normalizedAddressString", "contactAddress", "localIdentifier"});
        e.addAttribute(attribute("latitude", Double, 0.0));
        e.addAttribute(attribute("longitude", Double, 0.0));
        e.addAttribute(attribute("geocodeStatus", Int16, 0));
        e.addRelationship(toOne("person", "Person", "addresses"));
    }
    {
        EntityDescription &e = addEntity<PersonDate>(model, "PersonDate");
        e.addAttribute(attribute("dateLabel", String));
        e.addAttribute(attribute("dateValue", Date));
        e.addAttribute(attribute("localIdentifier", String));
        e.addRelationship(toOne("person", "Person", "personDates"));
    }
    {
        EntityDescription &e = addEntity<PersonSocial>(model, "PersonSocial");
        addStrings(e, {"serviceName", "socialURL", "userIdentifier", "userName", "localIdentifier"});
        e.addAttribute(attribute("serviceType", Int32, 0));
        e.addRelationship(toOne("person", "Person", "socialLinks"));
    }
    {
        EntityDescription &e = addEntity<PersonRelationships>(model, "PersonRelationships");
        addStrings(e, {"relationshipLabel", "relatedName", "relatedIPersonGUID", "localIdentifier"});
        e.addRelationship(toOne("person", "Person", "relationships"));
    }
    {
        EntityDescription &e = addEntity<PersonImage>(model, "Images");
        e.addAttribute(attribute("fullImageFileName", String));
        e.addAttribute(attribute("fullImage", Transformable));
        e.addRelationship(toOne("person", "Person", "fullimage"));
        e.addRelationship(toOne("fileattachment", "FileAttachments", "personimages"));
    }
}

void addJournal(ManagedObjectModel &model)
{
    {
        EntityDescription &e = addEntity<Log>(model, "Log");
        e.addAttribute(attribute("logDate", Date));
        e.addAttribute(attribute("logNote", String));
        e.addAttribute(attribute("attributedLogNote", Transformable));
        e.addAttribute(attribute("logProperties", Transformable));
        e.addAttribute(attribute("logSectionPeriod", String));
        e.addAttribute(attribute("sectionKey", String));
        e.addAttribute(attribute("isMultiLog", Boolean, false));
        e.addAttribute(attribute("logFlags", Int64, 0));
        e.addRelationship(toOne("person", "Person", "logs"));
        e.addRelationship(toOne("title", "LogTitle", "log"));
        e.addRelationship(toOne("logLocation", "Location", "logFromLocation"));
        e.addRelationship(toOne("logvoice", "VoiceNote", "log", DeleteRule::Cascade));
        // Inverse of the attachment's log reference; the files stay with their contact when the log goes.
        e.addRelationship(toMany("attachments", "FileAttachments", "log"));
    }
    {
        EntityDescription &e = addEntity<LogTitle>(model, "LogTitle");
        addStrings(e, {"title", "normalizedTitle"});
        e.addAttribute(attribute("displayOrder", Int32, 0));
        e.addRelationship(toMany("log", "Log", "title"));
    }
    {
        EntityDescription &e = addEntity<ToDoTitle>(model, "ToDoTitle");
        addStrings(e, {"title", "normalizedTitle"});
        e.addAttribute(attribute("displayOrder", Int32, 0));
        e.addRelationship(toMany("todo", "ToDo", "todotitle"));
    }
    {
        EntityDescription &e = addEntity<ToDo>(model, "ToDo");
        addStrings(e, {"todoNote", "todoSectionTitle", "sectionKey"});
        e.addAttribute(attribute("attributedToDoNote", Transformable));
        e.addAttribute(attribute("todoProperties", Transformable));
        e.addAttribute(attribute("todoRepeatInterval", Transformable));
        e.addAttribute(attribute("todoStartDate", Date));
        e.addAttribute(attribute("todoEndDate", Date));
        e.addAttribute(attribute("todoCompletedDate", Date));
        e.addAttribute(attribute("todoStatus", Int16, 0));
        e.addAttribute(attribute("isCalendarEventSet", Boolean, false));
        e.addAttribute(attribute("isFullDay", Boolean, false));
        e.addAttribute(attribute("isMultiTodo", Boolean, false));
        e.addAttribute(attribute("todoAction", Int32, 0));
        e.addAttribute(attribute("todoFlags", Int64, 0));
        e.addAttribute(attribute("todoPriority", Int16, 0));
        e.addRelationship(toOne("person", "Person", "todos"));
        e.addRelationship(toOne("completedperson", "Person", "completedtodos"));
        e.addRelationship(toOne("todotitle", "ToDoTitle", "todo"));
        e.addRelationship(toOne("todoLocation", "Location", "todoFromLocation"));
        e.addRelationship(toOne("calendarLink", "ToDoCalendarLink", "todo", DeleteRule::Cascade));
        e.addRelationship(toOne("todovoice", "VoiceNote", "todo", DeleteRule::Cascade));
        e.addRelationship(toMany("alert", "ToDoAlert", "todo", DeleteRule::Cascade));
        e.addRelationship(toMany("attachments", "FileAttachments", "todo"));
    }
    {
        EntityDescription &e = addEntity<ToDoAlert>(model, "ToDoAlert");
        e.addAttribute(attribute("alertInterval", Transformable));
        AttributeDescription notification = attribute("localNotification", Transformable);
        notification.valueTransformerName = NotificationTransformer::TransformerName;
        e.addAttribute(notification);
        e.addAttribute(attribute("alertIdentifier", String));
        e.addAttribute(attribute("alertStatus", Int16, 0));
        e.addRelationship(toOne("todo", "ToDo", "alert"));
    }
    {
        EntityDescription &e = addEntity<ToDoCalendarLink>(model, "ToDoCalendarLink");
        addStrings(e, {"calendarIdentifier", "calendarUUID", "ekCalendarID", "calendarTitle"});
        e.addAttribute(attribute("calendarEndDate", Date));
        e.addAttribute(attribute("calendarType", Int16, 0));
        e.addAttribute(attribute("isLinkOn", Boolean, false));
        e.addRelationship(toOne("todo", "ToDo", "calendarLink"));
    }
    {
        EntityDescription &e = addEntity<FileAttachments>(model, "FileAttachments");
        addStrings(e, {"fileName", "fileRenamedName", "fileNameNormalized", "fileExtension", "fileExternalURL",
                       "fileNote", "folderName"});
        e.addAttribute(attribute("fileSize", Int64, 0));
        e.addAttribute(attribute("fileStatus", Int16, 0));
        e.addAttribute(attribute("fileType", Int16, 0));
        e.addAttribute(attribute("fileProperties", Transformable));
        e.addAttribute(attribute("fileThumbnailData", Transformable));
        e.addRelationship(toOne("person", "Person", "attachments"));
        e.addRelationship(toOne("log", "Log", "attachments"));
        e.addRelationship(toOne("todo", "ToDo", "attachments"));
        e.addRelationship(toMany("personimages", "Images", "fileattachment"));
    }
    {
        EntityDescription &e = addEntity<Location>(model, "Location");
        addStrings(e, {"locationName", "locationAddress", "normalizedLocationName", "normalizedLocationAddress"});
        e.addAttribute(attribute("latitude", Double, 0.0));
        e.addAttribute(attribute("longitude", Double, 0.0));
        e.addAttribute(attribute("displayOrder", Int32, 0));
        e.addRelationship(toMany("logFromLocation", "Log", "logLocation"));
        e.addRelationship(toMany("todoFromLocation", "ToDo", "todoLocation"));
    }
    {
        // The application owns the class; without its factory the records are plain entity-base objects.
        EntityDescription &e = withBase(model.addEntity(
            EntityDescription(QStringLiteral("VoiceNote"),
                              installedOr(QStringLiteral("VoiceNote"), factoryOf<NSManagedObjectQDBase>()))));
        e.addAttribute(attribute("voiceData", Binary));
        e.addAttribute(attribute("voiceFileName", String));
        e.addAttribute(attribute("duration", Double, 0.0));
        e.addRelationship(toOne("log", "Log", "logvoice"));
        e.addRelationship(toOne("todo", "ToDo", "todovoice"));
    }
}

void addCustomFields(ManagedObjectModel &model)
{
    {
        EntityDescription &e = addEntity<FormFields>(model, "FormFields");
        addStrings(e, {"formFieldName", "formFieldDefaultValue", "formFieldProperty"});
        e.addAttribute(attribute("formFieldDisplayOrder", Int32, 0));
        e.addAttribute(attribute("isAlwaysVisible", Boolean, false));
        // A field owns its list choices, its currency default and every contact's value of it.
        e.addRelationship(toOne("fieldtype", "FormFieldType", "formfield"));
        e.addRelationship(toMany("fieldslist", "FormFieldsList", "targetfield", DeleteRule::Cascade));
        e.addRelationship(toOne("listdefault", "FormFieldsList", "targetdefault"));
        e.addRelationship(toOne("currencydefault", "CurrencyData", "formfield", DeleteRule::Cascade));
        e.addRelationship(toMany("userfields", "UserFields", "formfield", DeleteRule::Cascade));
    }
    {
        EntityDescription &e = addEntity<FormFieldType>(model, "FormFieldType");
        e.addAttribute(attribute("fieldTypeName", String));
        e.addRelationship(toMany("formfield", "FormFields", "fieldtype"));
    }
    {
        EntityDescription &e = addEntity<FormFieldsList>(model, "FormFieldsList");
        addStrings(e, {"title", "fieldListAlternateValue"});
        e.addAttribute(attribute("fieldListData", Binary));
        e.addAttribute(attribute("fieldsListDisplayOrder", Int32, 0));
        e.addRelationship(toOne("targetfield", "FormFields", "fieldslist"));
        e.addRelationship(toOne("targetdefault", "FormFields", "listdefault"));
        e.addRelationship(toMany("userfield", "UserFields", "listvalue"));
    }
    {
        EntityDescription &e = addEntity<UserFields>(model, "UserFields");
        addStrings(e, {"fieldValue", "normalizedFieldValue", "noteField"});
        e.addAttribute(attribute("dateValue", Date));
        e.addRelationship(toOne("person", "Person", "userfields"));
        e.addRelationship(toOne("formfield", "FormFields", "userfields"));
        e.addRelationship(toOne("listvalue", "FormFieldsList", "userfield"));
        e.addRelationship(toOne("currencyvalue", "CurrencyData", "userfield", DeleteRule::Cascade));
    }
    {
        EntityDescription &e = addEntity<CurrencyData>(model, "CurrencyData");
        e.addAttribute(attribute("currencyValue", Decimal));
        addStrings(e, {"currencyCode", "localeIdentifier"});
        e.addRelationship(toOne("formfield", "FormFields", "currencydefault"));
        e.addRelationship(toOne("userfield", "UserFields", "currencyvalue"));
    }
}

void addGroupsAndTemplates(ManagedObjectModel &model)
{
    {
        EntityDescription &e = addEntity<PrivateGroups>(model, "PrivateGroups");
        e.addAttribute(attribute("groupName", String));
        e.addAttribute(attribute("groupDisplayOrder", Int32, 0));
        e.addRelationship(toMany("members", "Person", "privategroup"));
    }
    {
        EntityDescription &e = addEntity<EmailTemplate>(model, "EmailTemplate");
        e.addAttribute(attribute("templateName", String));
        e.addAttribute(attribute("displayOrder", Int32, 0));
        e.addAttribute(attribute("templateProperties", Transformable));
    }
}

void addOutgoingQueue(ManagedObjectModel &model)
{
    // The outgoing queue is local bookkeeping: no identity, no time stamps, never a cloud record.
    EntityDescription &e =
        model.addEntity(EntityDescription(QStringLiteral("QDCloudProcessItem"), factoryOf<QDCloudProcessItem>()));
    addStrings(e, {"objectTableName", "objectCloudID", "objectLocalURL"});
    e.addAttribute(attribute("operationType", Int16, 0));
    e.addAttribute(attribute("operationStatus", Int16, 0));
    e.addAttribute(attribute("properties", Binary));
    e.addAttribute(attribute("operationErrorDetails", Transformable));
    e.addAttribute(attribute("dateCreated", Date));
    e.addAttribute(attribute("dateCompleted", Date));
}

} // namespace

std::shared_ptr<ManagedObjectModel> QuendelModel::create()
{
    registerArchiveTransformer();
    auto model = std::make_shared<ManagedObjectModel>(ModelName, ModelVersion);
    addPerson(*model);
    addContactDetails(*model);
    addJournal(*model);
    addCustomFields(*model);
    addGroupsAndTemplates(*model);
    addOutgoingQueue(*model);
    return model;
}

void QuendelModel::setEntityClassFactory(const QString &entityName, EntityDescription::Factory factory)
{
    QMutexLocker lock(&g_factoryMutex);
    if (factory)
        installedFactories().insert(entityName, std::move(factory));
    else
        installedFactories().remove(entityName);
}
