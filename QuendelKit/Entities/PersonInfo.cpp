#include "QuendelKit/Entities/PersonInfo.h"

#include "QuendelKit/Entities/EntityValues.h"
#include "QuendelKit/Entities/Person.h"

using namespace entity_values;

platform::store::FetchRequest PersonInfo::fetchRequest()
{
    return platform::store::FetchRequest(EntityName);
}

QString PersonInfo::middleName() const
{
    return string(*this, QStringLiteral("middleName"));
}
void PersonInfo::setMiddleName(const QString &value)
{
    setValue(QStringLiteral("middleName"), fromString(value));
}
QString PersonInfo::nickname() const
{
    return string(*this, QStringLiteral("nickname"));
}
void PersonInfo::setNickname(const QString &value)
{
    setValue(QStringLiteral("nickname"), fromString(value));
}
QString PersonInfo::jobDescription() const
{
    return string(*this, QStringLiteral("jobDescription"));
}
void PersonInfo::setJobDescription(const QString &value)
{
    setValue(QStringLiteral("jobDescription"), fromString(value));
}
QString PersonInfo::normalizedJobDescription() const
{
    return string(*this, QStringLiteral("normalizedJobDescription"));
}
void PersonInfo::setNormalizedJobDescription(const QString &value)
{
    setValue(QStringLiteral("normalizedJobDescription"), fromString(value));
}
QString PersonInfo::departmentName() const
{
    return string(*this, QStringLiteral("departmentName"));
}
void PersonInfo::setDepartmentName(const QString &value)
{
    setValue(QStringLiteral("departmentName"), fromString(value));
}
QString PersonInfo::phoneticFirstName() const
{
    return string(*this, QStringLiteral("phoneticFirstName"));
}
void PersonInfo::setPhoneticFirstName(const QString &value)
{
    setValue(QStringLiteral("phoneticFirstName"), fromString(value));
}
QString PersonInfo::phoneticMiddleName() const
{
    return string(*this, QStringLiteral("phoneticMiddleName"));
}
void PersonInfo::setPhoneticMiddleName(const QString &value)
{
    setValue(QStringLiteral("phoneticMiddleName"), fromString(value));
}
QString PersonInfo::phoneticLastName() const
{
    return string(*this, QStringLiteral("phoneticLastName"));
}
void PersonInfo::setPhoneticLastName(const QString &value)
{
    setValue(QStringLiteral("phoneticLastName"), fromString(value));
}
QString PersonInfo::previousFamilyName() const
{
    return string(*this, QStringLiteral("previousFamilyName"));
}
void PersonInfo::setPreviousFamilyName(const QString &value)
{
    setValue(QStringLiteral("previousFamilyName"), fromString(value));
}
QDateTime PersonInfo::birthday() const
{
    return date(*this, QStringLiteral("birthday"));
}
void PersonInfo::setBirthday(const QDateTime &value)
{
    setValue(QStringLiteral("birthday"), fromDate(value));
}

Person *PersonInfo::person() const
{
    return toOne<Person>(*this, QStringLiteral("person"));
}
void PersonInfo::setPerson(Person *object)
{
    setRelatedObject(QStringLiteral("person"), object);
}

bool PersonInfo::checkAndUpdateStringProperty(const QString &attribute, const QString &property, const QVariantMap &record)
{
    const QString incoming = record.value(property).toString();
    const QString current = string(*this, attribute);
    if (incoming.isEmpty() && current.isEmpty())
        return false;
    if (!incoming.isEmpty() && !current.isEmpty() && incoming == current)
        return false;
    setValue(attribute, fromString(incoming));
    return true;
}

bool PersonInfo::checkAndUpdateStringPropertyWithContact(const QString &attribute, const QString &key,
                                                         const QVariantMap &contact)
{
    const QString incoming = contact.value(key).toString();
    if (incoming.isEmpty() || incoming == string(*this, attribute))
        return false;
    setValue(attribute, fromString(incoming));
    return true;
}
