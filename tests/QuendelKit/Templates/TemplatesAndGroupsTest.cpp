#include "QuendelKit/Entities/EntityStoreFixture.h"
#include "QuendelKit/Entities/FieldFormatters.h"

#include <gtest/gtest.h>

using quendel::test::EntityStoreTest;

namespace {

class TemplatesTest : public EntityStoreTest
{
protected:
    void SetUp() override
    {
        EntityStoreTest::SetUp();
        person = insert<Person>();
        person->setFirstName(QStringLiteral("Ann"));
        person->setLastName(QStringLiteral("Lee"));
        person->setCompanyName(QString());
        emailTemplate = insert<EmailTemplate>();
        emailTemplate->setTemplateProperties(QVariantMap());
    }
    void addEmail(const QString &label, const QString &address)
    {
        Emails *email = insert<Emails>();
        email->setLabel(label);
        email->setEmailAddress(address);
        person->addEmailsObject(email);
    }
    QString expand(const QVariantMap &mapping, const QString &text, QStringList &missing)
    {
        return EmailTemplate::getTemplateTextForPerson(person, missing, mapping, text);
    }
    Person *person = nullptr;
    EmailTemplate *emailTemplate = nullptr;
};

} // namespace

TEST(MergeTagTable, GroupsAndTagsInTheEditorsOrder)
{
    EXPECT_EQ(NameValue::groupOrder(), (QStringList{QStringLiteral("Person"), QStringLiteral("Email"),
                                                    QStringLiteral("Phone"), QStringLiteral("Address"),
                                                    QStringLiteral("Other")}));
    const auto &list = NameValue::nameValueList();
    int count = 0;
    for (const QString &group : NameValue::groupOrder())
        count += list.value(group).size();
    EXPECT_EQ(count, 19);
    EXPECT_EQ(list.value(QStringLiteral("Person")).value(3),
              NameValue::objectWithName(QStringLiteral("Middle Name"), QStringLiteral("PersonInfo"),
                                        QStringLiteral("middleName")));
    EXPECT_EQ(EmailTemplate::tagText(list.value(QStringLiteral("Person")).first()), QStringLiteral("<$Person.firstName$>"));
}

TEST_F(TemplatesTest, RecordingATagAddsItsMappingAndReturnsItsText)
{
    const NameValue first = NameValue::nameValueList().value(QStringLiteral("Person")).first();
    EXPECT_EQ(emailTemplate->addNewMappingToProperties(first), QStringLiteral("<$Person.firstName$>"));
    EXPECT_EQ(emailTemplate->addNewMappingToSubjectProperties(first), QStringLiteral("<$Person.firstName$>"));
    const QVariantMap properties = emailTemplate->templateProperties().toMap();
    EXPECT_EQ(properties.value(QStringLiteral("Mapping")).toMap().value(QStringLiteral("<$Person.firstName$>")),
              QStringLiteral("Person.firstName"));
    EXPECT_EQ(properties.value(QStringLiteral("SubjectMapping")).toMap().size(), 1);

    EmailTemplate *bare = insert<EmailTemplate>();
    EXPECT_EQ(bare->addNewMappingToProperties(first), QStringLiteral("<$Person.firstName$>"));
    EXPECT_FALSE(bare->templateProperties().isValid());
}

TEST_F(TemplatesTest, KnownUnknownAndHostileKeys)
{
    PersonInfo *info = insert<PersonInfo>();
    info->setJobDescription(QStringLiteral("Chef"));
    person->setPersoninfo(info);
    addEmail(QStringLiteral("work"), QStringLiteral("ann@work.example"));
    const struct
    {
        const char *name;
        QString mapping;
        QString text;
        QString expanded;
        bool missing;
    } cases[] = {
        {"first name twice", QStringLiteral("Person.firstName"), QStringLiteral("Hi <$T$>, <$T$>!"),
         QStringLiteral("Hi Ann, Ann!"), false},
        {"info key", QStringLiteral("PersonInfo.jobDescription"), QStringLiteral("<$T$>"), QStringLiteral("Chef"), false},
        {"unset company", QStringLiteral("Person.companyName"), QStringLiteral("<$T$>"), QStringLiteral("<$T$>"), true},
        {"work e-mail", QStringLiteral("Emails.work"), QStringLiteral("<$T$>"), QStringLiteral("ann@work.example"), false},
        {"home e-mail", QStringLiteral("Emails.home"), QStringLiteral("<$T$>"), QStringLiteral("<$T$>"), true},
        {"any phone without phones", QStringLiteral("Phones.any"), QStringLiteral("<$T$>"), QStringLiteral("<$T$>"), true},
        {"key outside the table", QStringLiteral("Person.guid"), QStringLiteral("<$T$>"), QStringLiteral("<$T$>"), true},
        {"hostile key", QStringLiteral("Person.managedObjectContext"), QStringLiteral("<$T$>"), QStringLiteral("<$T$>"), true},
        {"key path", QStringLiteral("PersonInfo.person.guid"), QStringLiteral("<$T$>"), QStringLiteral("<$T$>"), true},
        {"no key", QStringLiteral("Person"), QStringLiteral("<$T$>"), QStringLiteral("<$T$>"), true},
        {"unknown entity", QStringLiteral("Secret.value"), QStringLiteral("<$T$>"), QStringLiteral("<$T$>"), false},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        QStringList missing;
        EXPECT_EQ(expand({{QStringLiteral("<$T$>"), c.mapping}}, c.text, missing), c.expanded);
        EXPECT_EQ(missing, c.missing ? QStringList{QStringLiteral("<$T$>")} : QStringList());
    }
}

TEST_F(TemplatesTest, DatesAndAddressesAndSubject)
{
    PersonAddress *address = insert<PersonAddress>();
    address->setAddressLabel(QStringLiteral("home"));
    address->setStreet(QStringLiteral("1 Main St"));
    address->setCountry(QStringLiteral("Nowhere"));
    person->addAddressesObject(address);
    QStringList missing;
    const QString date = expand({{QStringLiteral("<$D$>"), QStringLiteral("Date.date")}}, QStringLiteral("<$D$>"), missing);
    EXPECT_EQ(date, DateFormatter::mediumDate(platform::core::Clock::now()));
    const QString both =
        expand({{QStringLiteral("<$D$>"), QStringLiteral("Date.dateAndTime")}}, QStringLiteral("<$D$>"), missing);
    EXPECT_TRUE(both.startsWith(date + QStringLiteral(", "))) << both.toStdString();
    EXPECT_EQ(expand({{QStringLiteral("<$A$>"), QStringLiteral("Address.home")}}, QStringLiteral("<$A$>"), missing),
              QStringLiteral("1 Main St"));
    EXPECT_TRUE(missing.isEmpty());

    emailTemplate->setTemplateProperties(QVariantMap{
        {QStringLiteral("SubjectText"), QStringLiteral("For <$Person.lastName$>")},
        {QStringLiteral("SubjectMapping"), QVariantMap{{QStringLiteral("<$Person.lastName$>"), QStringLiteral("Person.lastName")}}},
        {QStringLiteral("Text"), QStringLiteral("Dear <$Person.firstName$>")},
        {QStringLiteral("Mapping"), QVariantMap{{QStringLiteral("<$Person.firstName$>"), QStringLiteral("Person.firstName")}}},
    });
    EXPECT_EQ(emailTemplate->getTemplateSubjectTextForPerson(person, missing), QStringLiteral("For Lee"));
    EXPECT_EQ(emailTemplate->getTemplateBodyTextForPerson(person, missing), QStringLiteral("Dear Ann"));
}

TEST_F(EntityStoreTest, PrivateGroupsOrderAndUniqueNames)
{
    Person *ann = insert<Person>();
    Person *bob = insert<Person>();
    PrivateGroups *zero = PrivateGroups::createPrivateGroupWithName(QStringLiteral("Zero"), context.get());
    EXPECT_EQ(zero->groupDisplayOrder(), 0);
    zero->setGroupDisplayOrder(0);
    context->deleteObject(zero);
    save(context);

    PrivateGroups *friends =
        PrivateGroups::createNewPrivateContactsGroupWithName(QStringLiteral("Friends"), {ann, bob}, context.get());
    ASSERT_NE(friends, nullptr);
    EXPECT_EQ(friends->groupDisplayOrder(), 1);
    EXPECT_EQ(friends->members().size(), 2);
    EXPECT_FALSE(context->hasChanges());
    EXPECT_EQ(PrivateGroups::createNewPrivateContactsGroupWithName(QStringLiteral("Friends"), {}, context.get()), nullptr);
    EXPECT_FALSE(context->hasChanges());
    PrivateGroups *lower =
        PrivateGroups::createNewPrivateContactsGroupWithName(QStringLiteral("friends"), {}, context.get());
    ASSERT_NE(lower, nullptr);
    EXPECT_EQ(lower->groupDisplayOrder(), 2);
    lower->setGroupDisplayOrder(7);
    save(context);
    PrivateGroups *next = PrivateGroups::createNewPrivateContactsGroupWithName(QStringLiteral("Next"), {}, context.get());
    EXPECT_EQ(next->groupDisplayOrder(), 8);
    PrivateGroups *first = PrivateGroups::createPrivateGroupWithName(QStringLiteral("First"), context.get());
    save(context);
    const QList<PrivateGroups *> all = PrivateGroups::loadAllPrivateGroupsWithMOC(context.get());
    ASSERT_EQ(all.size(), 4);
    EXPECT_EQ(all.first(), first);
    EXPECT_EQ(all.last(), next);

    friends->updateGroupWithContactsList({bob});
    EXPECT_EQ(friends->members(), QList<Person *>{bob});
    EXPECT_FALSE(context->hasChanges());
    friends->updateGroupWithContactsList({});
    EXPECT_TRUE(friends->members().isEmpty());
    EXPECT_TRUE(ann->privategroup().isEmpty());
}
