#include "QuendelKit/Entities/Person.h"

#include "QuendelKit/Entities/Emails.h"
#include "QuendelKit/Entities/EntityValues.h"
#include "QuendelKit/Entities/FileAttachments.h"
#include "QuendelKit/Entities/Log.h"
#include "QuendelKit/Entities/PersonAddress.h"
#include "QuendelKit/Entities/PersonDate.h"
#include "QuendelKit/Entities/PersonImage.h"
#include "QuendelKit/Entities/PersonInfo.h"
#include "QuendelKit/Entities/PersonRelationships.h"
#include "QuendelKit/Entities/PersonSocial.h"
#include "QuendelKit/Entities/PersonWebsite.h"
#include "QuendelKit/Entities/Phones.h"
#include "QuendelKit/Entities/PrivateGroups.h"
#include "QuendelKit/Entities/ToDo.h"
#include "QuendelKit/Entities/UserFields.h"

using namespace entity_values;

platform::store::FetchRequest Person::fetchRequest()
{
    return platform::store::FetchRequest(EntityName);
}

QString Person::firstName() const
{
    return string(*this, QStringLiteral("firstName"));
}
QString Person::lastName() const
{
    return string(*this, QStringLiteral("lastName"));
}
QString Person::prefixName() const
{
    return string(*this, QStringLiteral("prefixName"));
}
void Person::setPrefixName(const QString &value)
{
    setValue(QStringLiteral("prefixName"), fromString(value));
}
QString Person::suffixName() const
{
    return string(*this, QStringLiteral("suffixName"));
}
void Person::setSuffixName(const QString &value)
{
    setValue(QStringLiteral("suffixName"), fromString(value));
}
QString Person::companyName() const
{
    return string(*this, QStringLiteral("companyName"));
}
void Person::setCompanyName(const QString &value)
{
    setValue(QStringLiteral("companyName"), fromString(value));
}
QString Person::compositeName() const
{
    return string(*this, QStringLiteral("compositeName"));
}
void Person::setCompositeName(const QString &value)
{
    setValue(QStringLiteral("compositeName"), fromString(value));
}
QString Person::displayName() const
{
    return string(*this, QStringLiteral("displayName"));
}
QString Person::normalizedDisplayName() const
{
    return string(*this, QStringLiteral("normalizedDisplayName"));
}
QString Person::normalizedSectionLetter() const
{
    return string(*this, QStringLiteral("normalizedSectionLetter"));
}
void Person::setNormalizedSectionLetter(const QString &value)
{
    setValue(QStringLiteral("normalizedSectionLetter"), fromString(value));
}
QString Person::sectionLetter() const
{
    return string(*this, QStringLiteral("sectionLetter"));
}
void Person::setSectionLetter(const QString &value)
{
    setValue(QStringLiteral("sectionLetter"), fromString(value));
}
QString Person::normalizedCompanyName() const
{
    return string(*this, QStringLiteral("normalizedCompanyName"));
}
void Person::setNormalizedCompanyName(const QString &value)
{
    setValue(QStringLiteral("normalizedCompanyName"), fromString(value));
}
QString Person::notesField() const
{
    return string(*this, QStringLiteral("notesField"));
}
void Person::setNotesField(const QString &value)
{
    setValue(QStringLiteral("notesField"), fromString(value));
}
QString Person::guid() const
{
    return string(*this, QStringLiteral("guid"));
}
void Person::setGuid(const QString &value)
{
    setValue(QStringLiteral("guid"), fromString(value));
}
bool Person::isContactPrivate() const
{
    return boolean(*this, QStringLiteral("isContactPrivate"));
}
void Person::setIsContactPrivate(bool value)
{
    setValue(QStringLiteral("isContactPrivate"), QVariant(value));
}
QString Person::localIdentifier() const
{
    return string(*this, QStringLiteral("localIdentifier"));
}
void Person::setLocalIdentifier(const QString &value)
{
    setValue(QStringLiteral("localIdentifier"), fromString(value));
}
QVariant Person::privateImage() const
{
    return value(QStringLiteral("privateImage"));
}
void Person::setPrivateImage(const QVariant &value)
{
    setValue(QStringLiteral("privateImage"), value);
}
QDateTime Person::recordAddedDate() const
{
    return date(*this, QStringLiteral("recordAddedDate"));
}
void Person::setRecordAddedDate(const QDateTime &value)
{
    setValue(QStringLiteral("recordAddedDate"), fromDate(value));
}
QDateTime Person::recordModifiedDate() const
{
    return date(*this, QStringLiteral("recordModifiedDate"));
}
void Person::setRecordModifiedDate(const QDateTime &value)
{
    setValue(QStringLiteral("recordModifiedDate"), fromDate(value));
}
qint64 Person::flags() const
{
    return integer(*this, QStringLiteral("flags"));
}
void Person::setFlags(qint64 value)
{
    setValue(QStringLiteral("flags"), QVariant(value));
}
qint64 Person::personFlags() const
{
    return integer(*this, QStringLiteral("personFlags"));
}
void Person::setPersonFlags(qint64 value)
{
    setValue(QStringLiteral("personFlags"), QVariant(value));
}

PersonInfo *Person::personinfo() const
{
    return toOne<PersonInfo>(*this, QStringLiteral("personinfo"));
}
void Person::setPersoninfo(PersonInfo *object)
{
    setRelatedObject(QStringLiteral("personinfo"), object);
}

PersonImage *Person::fullimage() const
{
    return toOne<PersonImage>(*this, QStringLiteral("fullimage"));
}
void Person::setFullimage(PersonImage *object)
{
    setRelatedObject(QStringLiteral("fullimage"), object);
}

QList<Emails *> Person::emails() const
{
    return toMany<Emails>(*this, QStringLiteral("emails"));
}
void Person::setEmails(const QList<Emails *> &objects)
{
    setRelatedObjects(QStringLiteral("emails"), objectList(objects));
}
void Person::addEmailsObject(Emails *object)
{
    addRelatedObject(QStringLiteral("emails"), object);
}
void Person::removeEmailsObject(Emails *object)
{
    removeRelatedObject(QStringLiteral("emails"), object);
}

QList<Phones *> Person::phones() const
{
    return toMany<Phones>(*this, QStringLiteral("phones"));
}
void Person::setPhones(const QList<Phones *> &objects)
{
    setRelatedObjects(QStringLiteral("phones"), objectList(objects));
}
void Person::addPhonesObject(Phones *object)
{
    addRelatedObject(QStringLiteral("phones"), object);
}
void Person::removePhonesObject(Phones *object)
{
    removeRelatedObject(QStringLiteral("phones"), object);
}

QList<PersonAddress *> Person::addresses() const
{
    return toMany<PersonAddress>(*this, QStringLiteral("addresses"));
}
void Person::setAddresses(const QList<PersonAddress *> &objects)
{
    setRelatedObjects(QStringLiteral("addresses"), objectList(objects));
}
void Person::addAddressesObject(PersonAddress *object)
{
    addRelatedObject(QStringLiteral("addresses"), object);
}
void Person::removeAddressesObject(PersonAddress *object)
{
    removeRelatedObject(QStringLiteral("addresses"), object);
}

QList<PersonWebsite *> Person::websites() const
{
    return toMany<PersonWebsite>(*this, QStringLiteral("websites"));
}
void Person::setWebsites(const QList<PersonWebsite *> &objects)
{
    setRelatedObjects(QStringLiteral("websites"), objectList(objects));
}
void Person::addWebsitesObject(PersonWebsite *object)
{
    addRelatedObject(QStringLiteral("websites"), object);
}
void Person::removeWebsitesObject(PersonWebsite *object)
{
    removeRelatedObject(QStringLiteral("websites"), object);
}

QList<PersonDate *> Person::personDates() const
{
    return toMany<PersonDate>(*this, QStringLiteral("personDates"));
}
void Person::setPersonDates(const QList<PersonDate *> &objects)
{
    setRelatedObjects(QStringLiteral("personDates"), objectList(objects));
}
void Person::addPersonDatesObject(PersonDate *object)
{
    addRelatedObject(QStringLiteral("personDates"), object);
}
void Person::removePersonDatesObject(PersonDate *object)
{
    removeRelatedObject(QStringLiteral("personDates"), object);
}

QList<PersonSocial *> Person::socialLinks() const
{
    return toMany<PersonSocial>(*this, QStringLiteral("socialLinks"));
}
void Person::setSocialLinks(const QList<PersonSocial *> &objects)
{
    setRelatedObjects(QStringLiteral("socialLinks"), objectList(objects));
}
void Person::addSocialLinksObject(PersonSocial *object)
{
    addRelatedObject(QStringLiteral("socialLinks"), object);
}
void Person::removeSocialLinksObject(PersonSocial *object)
{
    removeRelatedObject(QStringLiteral("socialLinks"), object);
}

QList<PersonRelationships *> Person::relationships() const
{
    return toMany<PersonRelationships>(*this, QStringLiteral("relationships"));
}
void Person::setRelationships(const QList<PersonRelationships *> &objects)
{
    setRelatedObjects(QStringLiteral("relationships"), objectList(objects));
}
void Person::addRelationshipsObject(PersonRelationships *object)
{
    addRelatedObject(QStringLiteral("relationships"), object);
}
void Person::removeRelationshipsObject(PersonRelationships *object)
{
    removeRelatedObject(QStringLiteral("relationships"), object);
}

QList<UserFields *> Person::userfields() const
{
    return toMany<UserFields>(*this, QStringLiteral("userfields"));
}
void Person::setUserfields(const QList<UserFields *> &objects)
{
    setRelatedObjects(QStringLiteral("userfields"), objectList(objects));
}
void Person::addUserfieldsObject(UserFields *object)
{
    addRelatedObject(QStringLiteral("userfields"), object);
}
void Person::removeUserfieldsObject(UserFields *object)
{
    removeRelatedObject(QStringLiteral("userfields"), object);
}

QList<Log *> Person::logs() const
{
    return toMany<Log>(*this, QStringLiteral("logs"));
}
void Person::setLogs(const QList<Log *> &objects)
{
    setRelatedObjects(QStringLiteral("logs"), objectList(objects));
}
void Person::addLogsObject(Log *object)
{
    addRelatedObject(QStringLiteral("logs"), object);
}
void Person::removeLogsObject(Log *object)
{
    removeRelatedObject(QStringLiteral("logs"), object);
}

QList<ToDo *> Person::todos() const
{
    return toMany<ToDo>(*this, QStringLiteral("todos"));
}
void Person::setTodos(const QList<ToDo *> &objects)
{
    setRelatedObjects(QStringLiteral("todos"), objectList(objects));
}
void Person::addTodosObject(ToDo *object)
{
    addRelatedObject(QStringLiteral("todos"), object);
}
void Person::removeTodosObject(ToDo *object)
{
    removeRelatedObject(QStringLiteral("todos"), object);
}

QList<FileAttachments *> Person::attachments() const
{
    return toMany<FileAttachments>(*this, QStringLiteral("attachments"));
}
void Person::setAttachments(const QList<FileAttachments *> &objects)
{
    setRelatedObjects(QStringLiteral("attachments"), objectList(objects));
}
void Person::addAttachmentsObject(FileAttachments *object)
{
    addRelatedObject(QStringLiteral("attachments"), object);
}
void Person::removeAttachmentsObject(FileAttachments *object)
{
    removeRelatedObject(QStringLiteral("attachments"), object);
}

QList<PrivateGroups *> Person::privategroup() const
{
    return toMany<PrivateGroups>(*this, QStringLiteral("privategroup"));
}
void Person::setPrivategroup(const QList<PrivateGroups *> &objects)
{
    setRelatedObjects(QStringLiteral("privategroup"), objectList(objects));
}
void Person::addPrivategroupObject(PrivateGroups *object)
{
    addRelatedObject(QStringLiteral("privategroup"), object);
}
void Person::removePrivategroupObject(PrivateGroups *object)
{
    removeRelatedObject(QStringLiteral("privategroup"), object);
}

QList<ToDo *> Person::completedtodos() const
{
    return toMany<ToDo>(*this, QStringLiteral("completedtodos"));
}
void Person::setCompletedtodos(const QList<ToDo *> &objects)
{
    setRelatedObjects(QStringLiteral("completedtodos"), objectList(objects));
}
void Person::addCompletedtodosObject(ToDo *object)
{
    addRelatedObject(QStringLiteral("completedtodos"), object);
}
void Person::removeCompletedtodosObject(ToDo *object)
{
    removeRelatedObject(QStringLiteral("completedtodos"), object);
}
