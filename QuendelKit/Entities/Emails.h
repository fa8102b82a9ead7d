#pragma once

#include "QuendelKit/Entities/CloudDuplicateCheckSupport.h"
#include "QuendelKit/Entities/NSManagedObjectQDBase.h"

#include "platform/store/FetchRequest.h"

#include <QString>

class Person;

// One e-mail address of a contact. Once saved, an edit of its value (when the contact page asks for it with
// `updateValueInAddressBook`) or of its label, and its deletion (with `deleteFromAddressBook`), reach the
// linked system contact.
class Emails : public NSManagedObjectQDBase, public CloudDuplicateCheckSupport
{
public:
    static inline const QString EntityName = QStringLiteral("Emails");

    // A new request for every record of the entity: no predicate, order or limit.
    static platform::store::FetchRequest fetchRequest();

    // A new record in `context` with the three values; its contact is the caller's to set.
    static Emails *createEmailWithEmailAddress(const QString &value, const QString &label, const QString &identifier,
                                               platform::store::ManagedObjectContext *context);
    void updateEmailWithEmailAddress(const QString &value, const QString &label, const QString &identifier);

    QString emailAddress() const;
    void setEmailAddress(const QString &value);
    QString label() const;
    void setLabel(const QString &value);
    QString localIdentifier() const;
    void setLocalIdentifier(const QString &value);

    Person *person() const;
    void setPerson(Person *object);

    // Ties a record that a download inserted to the entry of the linked record with the same value and label.
    void handleCloudKitInserted() override;

    // CloudDuplicateCheckSupport
    bool checkIfDuplicateRecord() override;
    platform::store::ManagedObject *duplicateRecordToRemove() override;

protected:
    void prepareForDeletion() override;
};
