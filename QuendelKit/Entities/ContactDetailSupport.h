#pragma once

#include "QuendelKit/Entities/Person.h"
#include "QuendelKit/Entities/PersonAddressBookBridge.h"

#include "platform/store/FetchRequest.h"
#include "platform/store/ManagedObject.h"
#include "platform/store/ManagedObjectContext.h"
#include "platform/store/SortDescriptor.h"

#include <QString>

// What the four kinds of contact detail (phone, e-mail, website, postal address) share: when an edit
// reaches the linked system contact, and which of two equal details goes.
namespace contact_detail {

// A record that was never saved has no committed values; its edits are part of its creation.
inline bool wasSaved(const platform::store::ManagedObject &record)
{
    return !record.committedValues().isEmpty();
}

// A public contact linked to an address-book record. The link is not even asked for a private contact.
inline bool isLinkedPublic(Person *person)
{
    return person && !person->isContactPrivate() &&
           !PersonAddressBookBridge::shared().macUniqueIdentifier(*person).isNull();
}

// Equality of two details' texts: null never equals anything, not even null.
inline bool sameText(const QString &a, const QString &b)
{
    return !a.isNull() && !b.isNull() && a == b;
}

inline platform::store::Predicate equalOrNil(const QString &key, const QString &value)
{
    return value.isNull() ? platform::store::Predicate::isNil(key) : platform::store::Predicate::equal(key, value);
}

// The newest of the details matching `predicate` (pending changes included) when there are two or more;
// null otherwise or when the fetch fails.
inline platform::store::ManagedObject *newestOfDuplicates(platform::store::ManagedObject &record,
                                                          const platform::store::Predicate &predicate)
{
    platform::store::ManagedObjectContext *context = record.managedObjectContext();
    if (!context)
        return nullptr;
    platform::store::FetchRequest request(record.entity()->name());
    request.setPredicate(predicate);
    request.setSortDescriptors({platform::store::SortDescriptor(QStringLiteral("createdAt"), true)});
    request.setIncludesPendingChanges(true);
    platform::store::ManagedObject *result = nullptr;
    context->performAndWait([&] {
        platform::core::QDError error;
        const QList<platform::store::ManagedObject *> found = context->executeFetchRequest(request, &error);
        if (error.isNull() && found.size() >= 2)
            result = found.last();
    });
    return result;
}

} // namespace contact_detail
