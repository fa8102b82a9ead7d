#pragma once

#include "Mac/Contacts/ContactsListDisplaySource.h"

#include "QuendelKit/Entities/EntityStoreFixture.h"
#include "QuendelKit/Infra/NormalizedStringTransformer.h"

#include "platform/core/Dispatch.h"
#include "platform/core/DispatchQueue.h"

#include <QStringList>
#include <QThread>

#include <gtest/gtest.h>

namespace contacts_test {

// The section key a contact record keeps for its sorting name (or, sorted by company, for its company).
inline QString sectionKeyFor(const QString &sortingName, const QString &company, bool sortByCompany)
{
    if (sortByCompany)
        return company.isEmpty() ? QStringLiteral("#") : company;
    const QString first = NormalizedStringTransformer::normalizeStringForFirstLetter(sortingName);
    if (first.isEmpty())
        return QStringLiteral("#");
    for (const QChar c : first) {
        if (c.category() != QChar::Letter_Uppercase)
            return QStringLiteral("#");
    }
    return first;
}

// Records what the list tells its owner, and on which thread.
class RecordingDelegate : public ContactsListDisplaySourceDelegate
{
public:
    bool respondsToUpdatedSourceDictionary() const override { return true; }
    void updatedSourceDictionaryWithPreserveSelection(bool keep) override
    {
        updates.append(keep);
        onMainThread = onMainThread && platform::core::isMainThread();
    }
    bool respondsToRemoveRow() const override { return true; }
    void removeRowWithIndex(qsizetype row, const QString &key, qsizetype section) override
    {
        removals.append({row, key, section});
    }

    struct Removal
    {
        qsizetype row;
        QString key;
        qsizetype section;
    };
    QList<bool> updates;
    QList<Removal> removals;
    bool onMainThread = true;
};

class ContactsStoreTest : public quendel::test::EntityStoreTest
{
protected:
    // A contact as the contact record keeps it: display name, sorting name and section key.
    Person *addPerson(const QString &first, const QString &last, const QString &company = {},
                      bool sortByCompany = false)
    {
        Person *person = insert<Person>();
        person->setFirstName(first);
        person->setLastName(last);
        person->setCompanyName(company);
        QString display = QStringList({first, last}).join(QLatin1Char(' ')).trimmed();
        if (display.isEmpty())
            display = company;
        person->setDisplayName(display);
        const QString sorting = last.isEmpty() ? display : last + QLatin1Char(' ') + first;
        person->setNormalizedDisplayName(NormalizedStringTransformer::normalizeString(sorting));
        person->setNormalizedSectionLetter(sectionKeyFor(sorting, company, sortByCompany));
        return person;
    }

    // The sections as key: display names.
    static QStringList sectionsOf(const ContactsListDisplaySource &source)
    {
        QStringList out;
        for (const QString &key : source.alphabetsUsed()) {
            QStringList names;
            for (Person *person : source.contactsDictionary().value(key))
                names << person->displayName();
            out << key + QStringLiteral(": ") + names.join(QStringLiteral(", "));
        }
        return out;
    }

    static QStringList namesOf(const QList<Person *> &people)
    {
        QStringList names;
        for (Person *person : people)
            names << person->displayName();
        names.sort();
        return names;
    }
};

} // namespace contacts_test
