#include "QuendelKit/Entities/EmailTemplate.h"

#include <algorithm>

#include "QuendelKit/Entities/Emails.h"
#include "QuendelKit/Entities/EntityValues.h"
#include "QuendelKit/Entities/FieldFormatters.h"
#include "QuendelKit/Entities/Person.h"
#include "QuendelKit/Entities/PersonAddress.h"
#include "QuendelKit/Entities/PersonInfo.h"
#include "QuendelKit/Entities/Phones.h"

#include "platform/core/Clock.h"

#include <QLocale>

#include <optional>

using namespace entity_values;

platform::store::FetchRequest EmailTemplate::fetchRequest()
{
    return platform::store::FetchRequest(EntityName);
}

QString EmailTemplate::templateName() const
{
    return string(*this, QStringLiteral("templateName"));
}
void EmailTemplate::setTemplateName(const QString &value)
{
    setValue(QStringLiteral("templateName"), fromString(value));
}
qint64 EmailTemplate::displayOrder() const
{
    return integer(*this, QStringLiteral("displayOrder"));
}
void EmailTemplate::setDisplayOrder(qint64 value)
{
    setValue(QStringLiteral("displayOrder"), QVariant(value));
}
QVariant EmailTemplate::templateProperties() const
{
    return value(QStringLiteral("templateProperties"));
}
void EmailTemplate::setTemplateProperties(const QVariant &value)
{
    setValue(QStringLiteral("templateProperties"), value);
}

namespace {

const QString PersonEntity = QStringLiteral("Person");
const QString PersonInfoEntity = QStringLiteral("PersonInfo");
const QString EmailsEntity = QStringLiteral("Emails");
const QString PhonesEntity = QStringLiteral("Phones");
const QString AddressEntity = QStringLiteral("Address");
const QString DateEntity = QStringLiteral("Date");
const QString AnyLabel = QStringLiteral("any");

// The value of a contact detail whose label is `label` ("any": the first one).
template <typename T, typename Label, typename Value>
std::optional<QString> detailValue(const QList<T *> &records, const QString &label, Label labelOf, Value valueOf)
{
    for (const T *record : records) {
        if (label == AnyLabel || labelOf(record) == label)
            return valueOf(record);
    }
    return std::nullopt;
}

std::optional<QString> mergeValue(const Person *person, const QString &entity, const QString &key)
{
    if (entity == DateEntity) {
        const QDateTime now = platform::core::Clock::now();
        QString text = DateFormatter::mediumDate(now);
        if (key == QLatin1String("dateAndTime"))
            text += QStringLiteral(", ") + QLocale().toString(now.toLocalTime().time(), QLocale::ShortFormat);
        return text;
    }
    if (!person)
        return std::nullopt;
    if (entity == PersonEntity) {
        if (key == QLatin1String("firstName"))
            return person->firstName();
        if (key == QLatin1String("lastName"))
            return person->lastName();
        if (key == QLatin1String("companyName"))
            return person->companyName();
        if (key == QLatin1String("prefixName"))
            return person->prefixName();
        if (key == QLatin1String("suffixName"))
            return person->suffixName();
        return std::nullopt;
    }
    if (entity == PersonInfoEntity) {
        const PersonInfo *info = person->personinfo();
        if (!info)
            return std::nullopt;
        if (key == QLatin1String("middleName"))
            return info->middleName();
        if (key == QLatin1String("jobDescription"))
            return info->jobDescription();
        if (key == QLatin1String("departmentName"))
            return info->departmentName();
        return std::nullopt;
    }
    if (entity == EmailsEntity)
        return detailValue(person->emails(), key, [](const Emails *e) { return e->label(); },
                           [](const Emails *e) { return e->emailAddress(); });
    if (entity == PhonesEntity)
        return detailValue(person->phones(), key, [](const Phones *p) { return p->label(); },
                           [](const Phones *p) { return p->phoneNumber(); });
    if (entity == AddressEntity)
        return detailValue(person->addresses(), key, [](const PersonAddress *a) { return a->addressLabel(); },
                           [](const PersonAddress *a) { return a->addressStringWithoutCountry(); });
    return std::nullopt;
}

bool isKnownEntity(const QString &entity)
{
    return entity == PersonEntity || entity == PersonInfoEntity || entity == EmailsEntity || entity == PhonesEntity ||
           entity == AddressEntity || entity == DateEntity;
}

} // namespace

const QHash<QString, QList<NameValue>> &NameValue::nameValueList()
{
    static const QHash<QString, QList<NameValue>> list = {
        {QStringLiteral("Person"),
         {objectWithName(QStringLiteral("First Name"), PersonEntity, QStringLiteral("firstName")),
          objectWithName(QStringLiteral("Last Name"), PersonEntity, QStringLiteral("lastName")),
          objectWithName(QStringLiteral("Company Name"), PersonEntity, QStringLiteral("companyName")),
          objectWithName(QStringLiteral("Middle Name"), PersonInfoEntity, QStringLiteral("middleName")),
          objectWithName(QStringLiteral("Prefix"), PersonEntity, QStringLiteral("prefixName")),
          objectWithName(QStringLiteral("Suffix"), PersonEntity, QStringLiteral("suffixName")),
          objectWithName(QStringLiteral("Job Title"), PersonInfoEntity, QStringLiteral("jobDescription")),
          objectWithName(QStringLiteral("Department Name"), PersonInfoEntity, QStringLiteral("departmentName"))}},
        {QStringLiteral("Email"),
         {objectWithName(QStringLiteral("Email (any)"), EmailsEntity, QStringLiteral("any")),
          objectWithName(QStringLiteral("Email (home)"), EmailsEntity, QStringLiteral("home")),
          objectWithName(QStringLiteral("Email (work)"), EmailsEntity, QStringLiteral("work"))}},
        {QStringLiteral("Phone"),
         {objectWithName(QStringLiteral("Phone (any)"), PhonesEntity, QStringLiteral("any")),
          objectWithName(QStringLiteral("Phone (home)"), PhonesEntity, QStringLiteral("home")),
          objectWithName(QStringLiteral("Phone (work)"), PhonesEntity, QStringLiteral("work"))}},
        {QStringLiteral("Address"),
         {objectWithName(QStringLiteral("Address (any)"), AddressEntity, QStringLiteral("any")),
          objectWithName(QStringLiteral("Address (home)"), AddressEntity, QStringLiteral("home")),
          objectWithName(QStringLiteral("Address (work)"), AddressEntity, QStringLiteral("work"))}},
        {QStringLiteral("Other"),
         {objectWithName(QStringLiteral("Current Date"), DateEntity, QStringLiteral("date")),
          objectWithName(QStringLiteral("Current Date and Time"), DateEntity, QStringLiteral("dateAndTime"))}},
    };
    return list;
}

QStringList NameValue::groupOrder()
{
    return {QStringLiteral("Person"), QStringLiteral("Email"), QStringLiteral("Phone"), QStringLiteral("Address"),
            QStringLiteral("Other")};
}

QString EmailTemplate::tagText(const NameValue &tag)
{
    return QStringLiteral("<$%1.%2$>").arg(tag.tagEntity, tag.tagKey);
}

namespace {

QString addMapping(EmailTemplate &owner, const QString &mappingKey, const NameValue &tag)
{
    const QString text = EmailTemplate::tagText(tag);
    const QVariant stored = owner.templateProperties();
    if (stored.typeId() != QMetaType::QVariantMap)
        return text;
    QVariantMap properties = stored.toMap();
    QVariantMap mapping = properties.value(mappingKey).toMap();
    mapping.insert(text, QStringLiteral("%1.%2").arg(tag.tagEntity, tag.tagKey));
    properties.insert(mappingKey, mapping);
    owner.setTemplateProperties(properties);
    return text;
}

} // namespace

QString EmailTemplate::addNewMappingToProperties(const NameValue &tag)
{
    return addMapping(*this, MappingKey, tag);
}

QString EmailTemplate::addNewMappingToSubjectProperties(const NameValue &tag)
{
    return addMapping(*this, SubjectMappingKey, tag);
}

QString EmailTemplate::getTemplateBodyTextForPerson(const Person *person, QStringList &missingTags) const
{
    const QVariantMap properties = templateProperties().toMap();
    return getTemplateTextForPerson(person, missingTags, properties.value(MappingKey).toMap(),
                                    properties.value(TextKey).toString());
}

QString EmailTemplate::getTemplateSubjectTextForPerson(const Person *person, QStringList &missingTags) const
{
    const QVariantMap properties = templateProperties().toMap();
    return getTemplateTextForPerson(person, missingTags, properties.value(SubjectMappingKey).toMap(),
                                    properties.value(SubjectTextKey).toString());
}

QString EmailTemplate::getTemplateTextForPerson(const Person *person, QStringList &missingTags,
                                                const QVariantMap &mapping, const QString &text)
{
    // Values first, then one pass over the text: a value that itself reads like a tag (a contact named
    // "<$Person.lastName$>") is put in as it is, never expanded again or taken for a missing tag.
    QHash<QString, QString> values;
    QStringList tags;
    for (auto it = mapping.cbegin(); it != mapping.cend(); ++it) {
        if (it.key().isEmpty())
            continue;
        const QStringList parts = it.value().toString().split(QLatin1Char('.'));
        const QString entity = parts.value(0);
        const QString key = parts.value(1);
        if (!isKnownEntity(entity))
            continue;
        const std::optional<QString> value = mergeValue(person, entity, key);
        // A field the contact has never filled (null) has no value; an empty text is a value.
        if (value && !value->isNull())
            values.insert(it.key(), *value);
        else
            missingTags.append(it.key());
        tags << it.key();
    }
    if (values.isEmpty())
        return text;
    // The longer tag wins where two start at the same place.
    std::sort(tags.begin(), tags.end(), [](const QString &a, const QString &b) { return a.size() > b.size(); });
    QString result;
    result.reserve(text.size());
    qsizetype pos = 0;
    while (pos < text.size()) {
        bool replaced = false;
        for (const QString &tag : std::as_const(tags)) {
            if (QStringView(text).mid(pos).startsWith(tag)) {
                const auto value = values.constFind(tag);
                result += value != values.cend() ? *value : tag;
                pos += tag.size();
                replaced = true;
                break;
            }
        }
        if (!replaced)
            result += text.at(pos++);
    }
    return result;
}
