#pragma once

#include "QuendelKit/Entities/CloudDuplicateCheckSupport.h"
#include "QuendelKit/Entities/NSManagedObjectQDBase.h"

#include "platform/store/FetchRequest.h"

#include <QString>
#include <QUrl>

class Person;

// One website of a contact. Once saved, an edit of its address (when the contact page asks for it with
// `updateValueInAddressBook`) or of its label, and its deletion (with `deleteFromAddressBook`), reach the
// linked system contact.
class PersonWebsite : public NSManagedObjectQDBase, public CloudDuplicateCheckSupport
{
public:
    static inline const QString EntityName = QStringLiteral("PersonWebsite");

    // A new request for every record of the entity: no predicate, order or limit.
    static platform::store::FetchRequest fetchRequest();

    // A new record in the contact's own context, belonging to it.
    static PersonWebsite *createPersonWebsiteWithURL(const QString &url, const QString &label,
                                                     const QString &identifier, Person *person);

    QString websiteURL() const;
    void setWebsiteURL(const QString &value);
    QString websiteLabel() const;
    void setWebsiteLabel(const QString &value);
    QString localIdentifier() const;
    void setLocalIdentifier(const QString &value);

    Person *person() const;
    void setPerson(Person *object);

    // "home page" and "homepage" are two spellings of one label; anything else has no other form (null).
    static QString checkAleternativeSpellingForLabel(const QString &label);

    // The address to open in a browser: only http and https; a text without a scheme is taken as http.
    // Anything else (another scheme, an empty or malformed text) gives an invalid URL.
    static QUrl browsableURLFromString(const QString &text);

    void handleCloudKitInserted() override;

    // CloudDuplicateCheckSupport
    bool checkIfDuplicateRecord() override;
    platform::store::ManagedObject *duplicateRecordToRemove() override;

protected:
    void prepareForDeletion() override;
};
