#pragma once

#include "QuendelKit/Entities/NSManagedObjectQDBase.h"

#include "platform/store/FetchRequest.h"

#include <QDateTime>
#include <QList>
#include <QString>
#include <QVariant>

#include <atomic>

class Emails;
class FileAttachments;
class Log;
class PersonAddress;
class PersonDate;
class PersonImage;
class PersonInfo;
class PersonRelationships;
class PersonSocial;
class PersonWebsite;
class Phones;
class PrivateGroups;
class ToDo;
class UserFields;

// A contact: a person or a company, with its name parts, derived names, details and journal.
class Person : public NSManagedObjectQDBase
{
public:
    static inline const QString EntityName = QStringLiteral("Person");

    // A new request for every record of the entity: no predicate, order or limit.
    static platform::store::FetchRequest fetchRequest();

    QString firstName() const;
    void setFirstName(const QString &value);
    QString lastName() const;
    void setLastName(const QString &value);
    QString prefixName() const;
    void setPrefixName(const QString &value);
    QString suffixName() const;
    void setSuffixName(const QString &value);
    QString companyName() const;
    void setCompanyName(const QString &value);
    QString compositeName() const;
    void setCompositeName(const QString &value);
    QString displayName() const;
    void setDisplayName(const QString &value);
    QString normalizedDisplayName() const;
    void setNormalizedDisplayName(const QString &value);
    QString normalizedSectionLetter() const;
    void setNormalizedSectionLetter(const QString &value);
    QString sectionLetter() const;
    void setSectionLetter(const QString &value);
    QString normalizedCompanyName() const;
    void setNormalizedCompanyName(const QString &value);
    QString notesField() const;
    void setNotesField(const QString &value);
    QString guid() const;
    void setGuid(const QString &value);
    bool isContactPrivate() const;
    void setIsContactPrivate(bool value);
    QString localIdentifier() const;
    void setLocalIdentifier(const QString &value);
    QVariant privateImage() const;
    void setPrivateImage(const QVariant &value);
    QDateTime recordAddedDate() const;
    void setRecordAddedDate(const QDateTime &value);
    QDateTime recordModifiedDate() const;
    void setRecordModifiedDate(const QDateTime &value);
    qint64 flags() const;
    void setFlags(qint64 value);
    qint64 personFlags() const;
    void setPersonFlags(qint64 value);

    PersonInfo *personinfo() const;
    void setPersoninfo(PersonInfo *object);
    PersonImage *fullimage() const;
    void setFullimage(PersonImage *object);
    QList<Emails *> emails() const;
    void setEmails(const QList<Emails *> &objects);
    void addEmailsObject(Emails *object);
    void removeEmailsObject(Emails *object);
    QList<Phones *> phones() const;
    void setPhones(const QList<Phones *> &objects);
    void addPhonesObject(Phones *object);
    void removePhonesObject(Phones *object);
    QList<PersonAddress *> addresses() const;
    void setAddresses(const QList<PersonAddress *> &objects);
    void addAddressesObject(PersonAddress *object);
    void removeAddressesObject(PersonAddress *object);
    QList<PersonWebsite *> websites() const;
    void setWebsites(const QList<PersonWebsite *> &objects);
    void addWebsitesObject(PersonWebsite *object);
    void removeWebsitesObject(PersonWebsite *object);
    QList<PersonDate *> personDates() const;
    void setPersonDates(const QList<PersonDate *> &objects);
    void addPersonDatesObject(PersonDate *object);
    void removePersonDatesObject(PersonDate *object);
    QList<PersonSocial *> socialLinks() const;
    void setSocialLinks(const QList<PersonSocial *> &objects);
    void addSocialLinksObject(PersonSocial *object);
    void removeSocialLinksObject(PersonSocial *object);
    QList<PersonRelationships *> relationships() const;
    void setRelationships(const QList<PersonRelationships *> &objects);
    void addRelationshipsObject(PersonRelationships *object);
    void removeRelationshipsObject(PersonRelationships *object);
    QList<UserFields *> userfields() const;
    void setUserfields(const QList<UserFields *> &objects);
    void addUserfieldsObject(UserFields *object);
    void removeUserfieldsObject(UserFields *object);
    QList<Log *> logs() const;
    void setLogs(const QList<Log *> &objects);
    void addLogsObject(Log *object);
    void removeLogsObject(Log *object);
    QList<ToDo *> todos() const;
    void setTodos(const QList<ToDo *> &objects);
    void addTodosObject(ToDo *object);
    void removeTodosObject(ToDo *object);
    QList<FileAttachments *> attachments() const;
    void setAttachments(const QList<FileAttachments *> &objects);
    void addAttachmentsObject(FileAttachments *object);
    void removeAttachmentsObject(FileAttachments *object);
    QList<PrivateGroups *> privategroup() const;
    void setPrivategroup(const QList<PrivateGroups *> &objects);
    void addPrivategroupObject(PrivateGroups *object);
    void removePrivategroupObject(PrivateGroups *object);
    QList<ToDo *> completedtodos() const;
    void setCompletedtodos(const QList<ToDo *> &objects);
    void addCompletedtodosObject(ToDo *object);
    void removeCompletedtodosObject(ToDo *object);

    // Kept on the object only, read and written from any thread: no system contact could be found for this
    // contact, so the address-book bridge does not search again.
    bool dontReloadRecord() const { return m_dontReloadRecord.load(); }
    void setDontReloadRecord(bool dontReload) { m_dontReloadRecord.store(dontReload); }

private:
    std::atomic<bool> m_dontReloadRecord{false};
};
