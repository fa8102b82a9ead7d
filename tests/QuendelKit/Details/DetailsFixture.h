#pragma once

#include "QuendelKit/Entities/EntityStoreFixture.h"
#include "QuendelKit/Entities/PersonAddressBookBridge.h"

#include <QSet>
#include <QStringList>

namespace quendel::test {

// An address book that links the contacts it is told to and records every write it receives.
class RecordingBridge : public PersonAddressBookBridge
{
public:
    QSet<const Person *> linked;
    QStringList calls;
    QList<Entry> entries;

    QString macUniqueIdentifier(const Person &person) override
    {
        return linked.contains(&person) ? QStringLiteral("AB-1") : QString();
    }
    std::optional<QList<Entry>> multiValueEntries(const Person &person, DetailKind) override
    {
        if (!linked.contains(&person))
            return std::nullopt;
        return entries;
    }
    QStringList loadPublicGroupsListWithNamesForContact(const Person &person) override
    {
        return linked.contains(&person) ? QStringList{QStringLiteral("Friends"), QStringLiteral("Work")}
                                        : QStringList();
    }
    bool addPersonPhoneToAddressBook(Person &, Phones &) override { return note(QStringLiteral("addPhone")); }
    bool deletePersonPhoneFromAddressBook(Person &, Phones &) override { return note(QStringLiteral("deletePhone")); }
    bool updatePersonPhoneInAddressBook(Person &, Phones &, const QString &old) override
    {
        return note(QStringLiteral("updatePhone:") + old);
    }
    bool updatePhoneLabelInAddressBook(Person &, Phones &, const QString &old) override
    {
        return note(QStringLiteral("updatePhoneLabel:") + old);
    }
    bool addPersonEmailToAddressBook(Person &, Emails &) override { return note(QStringLiteral("addEmail")); }
    bool deletePersonEmailFromAddressBook(Person &, Emails &) override { return note(QStringLiteral("deleteEmail")); }
    bool updatePersonEmailInAddressBook(Person &, Emails &, const QString &old) override
    {
        return note(QStringLiteral("updateEmail:") + old);
    }
    bool updateEmailLabelInAddressBook(Person &, Emails &, const QString &old) override
    {
        return note(QStringLiteral("updateEmailLabel:") + old);
    }
    bool addPersonAddressToAddressBook(Person &, PersonAddress &) override
    {
        return note(QStringLiteral("addAddress"));
    }
    bool deletePersonAddressFromAddressBook(Person &, PersonAddress &) override
    {
        return note(QStringLiteral("deleteAddress"));
    }
    bool updatePersonAddressInAddressBook(Person &, PersonAddress &, const QString &key) override
    {
        return note(QStringLiteral("updateAddress:") + key);
    }
    bool updatePersonAddressLabelInAddressBook(Person &, PersonAddress &, const QString &old) override
    {
        return note(QStringLiteral("updateAddressLabel:") + old);
    }
    bool addPersonWebsiteToAddressBook(Person &, PersonWebsite &) override
    {
        return note(QStringLiteral("addWebsite"));
    }
    bool deletePersonWebsiteFromAddressBook(Person &, PersonWebsite &) override
    {
        return note(QStringLiteral("deleteWebsite"));
    }
    bool updatePersonWebsiteInAddressBook(Person &, PersonWebsite &, const QString &old) override
    {
        return note(QStringLiteral("updateWebsite:") + old);
    }
    bool updatePersonWebsiteLabelInAddressBook(Person &, PersonWebsite &, const QString &old) override
    {
        return note(QStringLiteral("updateWebsiteLabel:") + old);
    }
    bool setRecordProperty(Person &, const QString &property, const QVariant &value) override
    {
        return note(QStringLiteral("set:%1=%2").arg(property, value.toString()));
    }

private:
    bool note(const QString &call)
    {
        calls.append(call);
        return true;
    }
};

class DetailsTest : public EntityStoreTest
{
protected:
    void SetUp() override
    {
        EntityStoreTest::SetUp();
        bridge = std::make_shared<RecordingBridge>();
        PersonAddressBookBridge::install(bridge);
    }
    void TearDown() override
    {
        PersonAddressBookBridge::install(nullptr);
        EntityStoreTest::TearDown();
    }

    Person *newPerson(const QString &first = QStringLiteral("Ann"), bool isPrivate = false)
    {
        auto *person = insert<Person>();
        person->setIsContactPrivate(isPrivate);
        person->setFirstName(first);
        return person;
    }

    std::shared_ptr<RecordingBridge> bridge;
};

} // namespace quendel::test
