#include "QuendelKit/Details/DetailsFixture.h"

#include "QuendelKit/Settings/DataPlistValues.h"

using namespace quendel::test;
using namespace contact_info;

namespace {

QStringList keysOf(Person *person, ContactInfoDictionary *out = nullptr)
{
    ContactInfoDictionary dictionary;
    QStringList keys;
    person->addContactDetailsInfoToDictionary(dictionary, keys);
    if (out)
        *out = dictionary;
    return keys;
}

TEST_F(DetailsTest, InfoSectionsOfContactsInATable)
{
    struct Case
    {
        const char *name;
        std::function<void(Person *)> fill;
        QStringList keys;
    };
    const Case cases[] = {
        {"notes only", [](Person *p) { p->setNotesField(QStringLiteral("n")); }, {GroupsKey, NotesKey}},
        {"e-mails only",
         [&](Person *p) {
             p->addEmailWithEmail(QStringLiteral("a@example.com"), QStringLiteral("home"), context.get());
         },
         {EmailsKey, GroupsKey, NotesKey}},
        {"everything",
         [&](Person *p) {
             p->addWebsiteWithURLString(QStringLiteral("example.com"), QStringLiteral("home page"), context.get());
             p->addAddressWithText(QStringLiteral("1 Main"), QStringLiteral("street"), QStringLiteral("home"),
                                   QStringLiteral("Canada"), context.get());
             p->addEmailWithEmail(QStringLiteral("a@example.com"), QStringLiteral("home"), context.get());
             p->addPhoneNumberWithNumber(QStringLiteral("555"), QStringLiteral("mobile"), context.get());
             p->setNewFieldForKey(QStringLiteral("personinfo.nickname"));
         },
         {PhonesKey, EmailsKey, AddressesKey, URLsKey, GroupsKey, NotesKey, OtherInfoKey}},
    };
    for (const Case &c : cases) {
        Person *person = newPerson();
        c.fill(person);
        EXPECT_EQ(keysOf(person), c.keys) << c.name;
    }
}

TEST_F(DetailsTest, GroupRowsNotesAndOtherInfo)
{
    Person *linked = newPerson();
    bridge->linked.insert(linked);
    ContactInfoDictionary dictionary;
    keysOf(linked, &dictionary);
    ASSERT_EQ(dictionary.value(GroupsKey).size(), 2);
    EXPECT_EQ(dictionary.value(GroupsKey)[0]->key, PublicGroupsKey);
    EXPECT_EQ(dictionary.value(GroupsKey)[0]->text, QStringLiteral("Friends, Work"));
    EXPECT_EQ(dictionary.value(GroupsKey)[1]->text, QStringLiteral("None"));
    EXPECT_EQ(dictionary.value(NotesKey)[0]->text, QString(QLatin1String("")));

    Person *secret = newPerson(QStringLiteral("S"), true);
    auto *g2 = insert<PrivateGroups>();
    g2->setGroupName(QStringLiteral("Second"));
    g2->setGroupDisplayOrder(2);
    auto *g1 = insert<PrivateGroups>();
    g1->setGroupName(QStringLiteral("First"));
    g1->setGroupDisplayOrder(1);
    secret->addPrivategroupObject(g2);
    secret->addPrivategroupObject(g1);
    auto *info = insert<PersonInfo>();
    secret->setPersoninfo(info);
    info->setNickname(QStringLiteral("Nick"));
    info->setJobDescription(QStringLiteral("Chef"));
    info->setBirthday(QDateTime(QDate(1990, 3, 4), QTime(12, 0), Qt::UTC));
    keysOf(secret, &dictionary);
    ASSERT_EQ(dictionary.value(GroupsKey).size(), 1);
    EXPECT_EQ(dictionary.value(GroupsKey)[0]->key, PrivateGroupsKey);
    EXPECT_EQ(dictionary.value(GroupsKey)[0]->text, QStringLiteral("First, Second"));
    QStringList other;
    for (const ContactInfoRowPtr &row : dictionary.value(OtherInfoKey))
        other.append(row->key);
    EXPECT_EQ(other, (QStringList{BirthdayTitle, QStringLiteral("Job Title"), QStringLiteral("Nickname")}));
}

TEST_F(DetailsTest, DetailRowsAreOldestFirstWithoutThoseDeletedElsewhere)
{
    Person *person = newPerson();
    Phones *late = person->addPhoneNumberWithNumber(QStringLiteral("2"), QStringLiteral("home"), context.get());
    clock->advance(-1); // no effect: creation times are set below
    Phones *early = person->addPhoneNumberWithNumber(QStringLiteral("1"), QStringLiteral("home"), context.get());
    Phones *gone = person->addPhoneNumberWithNumber(QStringLiteral("3"), QStringLiteral("home"), context.get());
    late->setCreatedAt(QDateTime(QDate(2026, 2, 1), QTime(0, 0), Qt::UTC));
    early->setCreatedAt(QDateTime(QDate(2026, 1, 1), QTime(0, 0), Qt::UTC));
    gone->setCloudKitRemotelyDeleted(true);
    ContactInfoDictionary dictionary;
    keysOf(person, &dictionary);
    ASSERT_EQ(dictionary.value(PhonesKey).size(), 2);
    EXPECT_EQ(dictionary.value(PhonesKey)[0]->record, early);
    EXPECT_EQ(dictionary.value(PhonesKey)[1]->record, late);
}

TEST_F(DetailsTest, NewDetailsOfPrivateAndLinkedContacts)
{
    Person *secret = newPerson(QStringLiteral("S"), true);
    Phones *phone = secret->addPhoneNumberWithNumber(QStringLiteral("555"), QStringLiteral("home"), context.get());
    EXPECT_EQ(phone->person(), secret);
    EXPECT_EQ(phone->createdAt(), clock->utcNow());
    EXPECT_TRUE(bridge->calls.isEmpty());

    Person *linked = newPerson();
    bridge->linked.insert(linked);
    linked->addPhoneNumberWithNumber(QStringLiteral("1"), QStringLiteral("home"), context.get());
    linked->addEmailWithEmail(QStringLiteral("a@b.c"), QStringLiteral("home"), context.get());
    PersonWebsite *site =
        linked->addWebsiteWithURLString(QStringLiteral("x.example"), QStringLiteral("work"), context.get());
    PersonAddress *address =
        linked->addAddressWithText(QStringLiteral("Town"), QStringLiteral("city"), QStringLiteral("home"),
                                   QStringLiteral("Canada"), context.get());
    EXPECT_EQ(bridge->calls, (QStringList{QStringLiteral("addPhone"), QStringLiteral("addEmail"),
                                          QStringLiteral("addWebsite"), QStringLiteral("addAddress")}));
    EXPECT_EQ(site->websiteLabel(), QStringLiteral("work"));
    EXPECT_EQ(address->city(), QStringLiteral("Town"));
    EXPECT_EQ(address->country(), QStringLiteral("Canada"));
    EXPECT_EQ(address->addressLabel(), QStringLiteral("home"));
    EXPECT_FALSE(context->hasChanges() == false); // nothing was saved by the additions
}

TEST_F(DetailsTest, AnEditedAddressFieldDiscardsThePosition)
{
    Person *unlinked = newPerson();
    PersonAddress *address = unlinked->addAddressWithText(QStringLiteral("1"), QStringLiteral("street"), QString(),
                                                          QString(), context.get());
    address->setCoordinate({40, -70});
    EXPECT_FALSE(unlinked->updatePersonAddressInAddressBook(address, QStringLiteral("street")));
    EXPECT_DOUBLE_EQ(address->latitude(), PersonAddress::DiscardedCoordinate);

    Person *linked = newPerson();
    bridge->linked.insert(linked);
    PersonAddress *other =
        linked->addAddressWithText(QStringLiteral("1"), QStringLiteral("street"), QString(), QString(), context.get());
    other->setCoordinate({40, -70});
    EXPECT_TRUE(linked->updatePersonAddressInAddressBook(other, QStringLiteral("street")));
    EXPECT_EQ(bridge->calls.last(), QStringLiteral("updateAddress:street"));
    EXPECT_DOUBLE_EQ(other->longitude(), PersonAddress::DiscardedCoordinate);
}

TEST_F(DetailsTest, OptionalFieldsAndTheirTitles)
{
    const QStringList titles = {"Prefix",     "Suffix",    "Notes",       "Birthday",
                                "Department", "Job Title", "Middle Name", "Nickname"};
    const QStringList keys = Person::supportedPersonFieldKeys();
    ASSERT_EQ(keys.size(), titles.size());
    for (int i = 0; i < keys.size(); ++i) {
        EXPECT_EQ(Person::descriptionForKey(keys[i]), titles[i]);
        EXPECT_EQ(Person::infoKeyForDescription(titles[i]), keys[i]);
    }
    EXPECT_TRUE(Person::descriptionForKey(QStringLiteral("firstName")).isNull());
    EXPECT_TRUE(Person::infoKeyForDescription(QStringLiteral("First")).isNull());

    Person *person = newPerson();
    person->setPrefixName(QStringLiteral("Dr"));
    person->setNotesField(QStringLiteral("n"));
    person->setBirthdayFieldWithDate(clock->utcNow());
    QStringList offered;
    for (const QString &key : person->fieldNotAddedToPerson())
        offered.append(Person::descriptionForKey(key));
    EXPECT_EQ(offered, (QStringList{"Suffix", "Department", "Job Title", "Middle Name", "Nickname"}));

    // An empty text counts as no value.
    person->setSuffixName(QString(QLatin1String("")));
    EXPECT_TRUE(person->fieldNotAddedToPerson().contains(QStringLiteral("suffixName")));
    person->setNewFieldForKey(QStringLiteral("personinfo.jobDescription"));
    EXPECT_EQ(person->personinfo()->jobDescription(), QString(QLatin1String("")));
    EXPECT_TRUE(person->fieldNotAddedToPerson().contains(QStringLiteral("personinfo.jobDescription")));
}

TEST_F(DetailsTest, OtherInfoRowsFollowTheirFields)
{
    Person *person = newPerson();
    ContactInfoDictionary dictionary;
    QStringList keys = keysOf(person, &dictionary);
    ASSERT_FALSE(keys.contains(OtherInfoKey));
    person->updateContactDictionaryWithOtherKey(QStringLiteral("personinfo.jobDescription"), dictionary, keys);
    EXPECT_FALSE(keys.contains(OtherInfoKey)); // no value: nothing happens
    person->setNewFieldForKey(QStringLiteral("personinfo.jobDescription"));
    person->updateContactDictionaryWithOtherKey(QStringLiteral("personinfo.jobDescription"), dictionary, keys);
    EXPECT_EQ(keys.last(), OtherInfoKey);
    ASSERT_EQ(dictionary.value(OtherInfoKey).size(), 1);
    EXPECT_EQ(dictionary.value(OtherInfoKey)[0]->key, QStringLiteral("Job Title"));
    person->updateOtherFieldsWithValue(QStringLiteral("Chef"), QStringLiteral("personinfo.jobDescription"));
    person->updateContactDictionaryWithOtherKey(QStringLiteral("personinfo.jobDescription"), dictionary, keys);
    EXPECT_EQ(dictionary.value(OtherInfoKey).size(), 1);
    EXPECT_EQ(dictionary.value(OtherInfoKey)[0]->text, QStringLiteral("Chef"));
    EXPECT_EQ(keys.count(OtherInfoKey), 1);
    person->updateContactDictionaryWithOtherKey(QStringLiteral("personinfo.birthday"), dictionary, keys);
    EXPECT_EQ(dictionary.value(OtherInfoKey).size(), 1); // no birthday yet: no entry, not today's date
}

TEST_F(DetailsTest, NameNotesAndOtherFieldsReachOnlyALinkedContact)
{
    Person *linked = newPerson();
    bridge->linked.insert(linked);
    linked->setLastName(QStringLiteral("Lee"));
    linked->updateNameFieldWithKey(address_book::LastNameProperty, QStringLiteral("Lee"));
    linked->updateNotesFieldWithText(QStringLiteral("hello"));
    linked->updateOtherFieldsWithValue(QStringLiteral("Nick"), QStringLiteral("personinfo.nickname"));
    EXPECT_EQ(bridge->calls, (QStringList{QStringLiteral("set:Last=Lee"), QStringLiteral("set:Note=hello"),
                                          QStringLiteral("set:personinfo.nickname=Nick")}));
    EXPECT_EQ(linked->notesField(), QStringLiteral("hello"));
    EXPECT_EQ(linked->personinfo()->nickname(), QStringLiteral("Nick"));
    EXPECT_EQ(linked->displayName(), QStringLiteral("Ann Lee"));

    bridge->calls.clear();
    Person *secret = newPerson(QStringLiteral("S"), true);
    secret->updateNotesFieldWithText(QStringLiteral("x"));
    secret->updateOtherFieldsWithValue(QVariant(), QStringLiteral("personinfo.nickname"));
    EXPECT_TRUE(bridge->calls.isEmpty());
}

TEST_F(DetailsTest, FetchesOfContacts)
{
    Person *b = newPerson(QStringLiteral("Bob"));
    Person *a = newPerson(QStringLiteral("Ann"));
    Person *z = newPerson(QStringLiteral("Zed"), true);
    save(context);
    EXPECT_EQ(Person::countForAllPersonsWithContext(context.get()), 3);
    newPerson(QStringLiteral("Unsaved"));
    EXPECT_EQ(Person::countForAllPersonsWithContext(context.get()), 3);
    EXPECT_EQ(Person::getAllPersonsWithContext(context.get()).size(), 3);
    const QList<Person *> all = Person::getAllContactsInDBWithMOC(context.get());
    ASSERT_EQ(all.size(), 4);
    EXPECT_EQ(all.indexOf(a) < all.indexOf(b), true);
    EXPECT_EQ(all.indexOf(b) < all.indexOf(z), true);
    const QList<Person *> linkedOnes = Person::getAllNonPrivatePersonsWithContext(context.get());
    EXPECT_FALSE(linkedOnes.contains(z));
    EXPECT_TRUE(linkedOnes.contains(a));
}

} // namespace
