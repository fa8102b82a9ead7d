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

TEST_F(TemplatesTest, EveryTagOfTheMenuWithAndWithoutItsValue)
{
    // A contact with every value, and the same tags against a bare contact.
    person->setCompanyName(QStringLiteral("Acme"));
    person->setPrefixName(QStringLiteral("Dr."));
    person->setSuffixName(QStringLiteral("Jr."));
    PersonInfo *info = insert<PersonInfo>();
    info->setMiddleName(QStringLiteral("Mae"));
    info->setJobDescription(QStringLiteral("Chef"));
    info->setDepartmentName(QStringLiteral("Kitchen"));
    person->setPersoninfo(info);
    addEmail(QStringLiteral("home"), QStringLiteral("ann@home.example"));
    addEmail(QStringLiteral("work"), QStringLiteral("ann@work.example"));
    for (const auto &[label, number] : {std::pair{QStringLiteral("home"), QStringLiteral("111")},
                                        std::pair{QStringLiteral("work"), QStringLiteral("222")}}) {
        Phones *phone = insert<Phones>();
        phone->setLabel(label);
        phone->setPhoneNumber(number);
        person->addPhonesObject(phone);
    }
    for (const auto &[label, street] : {std::pair{QStringLiteral("home"), QStringLiteral("1 Home Rd")},
                                        std::pair{QStringLiteral("work"), QStringLiteral("2 Work Rd")}}) {
        PersonAddress *address = insert<PersonAddress>();
        address->setAddressLabel(label);
        address->setStreet(street);
        person->addAddressesObject(address);
    }
    Person *bare = insert<Person>();

    const QHash<QString, QStringList> expected = {
        {QStringLiteral("First Name"), {QStringLiteral("Ann")}},
        {QStringLiteral("Last Name"), {QStringLiteral("Lee")}},
        {QStringLiteral("Company Name"), {QStringLiteral("Acme")}},
        {QStringLiteral("Middle Name"), {QStringLiteral("Mae")}},
        {QStringLiteral("Prefix"), {QStringLiteral("Dr.")}},
        {QStringLiteral("Suffix"), {QStringLiteral("Jr.")}},
        {QStringLiteral("Job Title"), {QStringLiteral("Chef")}},
        {QStringLiteral("Department Name"), {QStringLiteral("Kitchen")}},
        {QStringLiteral("Email (any)"), {QStringLiteral("ann@home.example"), QStringLiteral("ann@work.example")}},
        {QStringLiteral("Email (home)"), {QStringLiteral("ann@home.example")}},
        {QStringLiteral("Email (work)"), {QStringLiteral("ann@work.example")}},
        {QStringLiteral("Phone (any)"), {QStringLiteral("111"), QStringLiteral("222")}},
        {QStringLiteral("Phone (home)"), {QStringLiteral("111")}},
        {QStringLiteral("Phone (work)"), {QStringLiteral("222")}},
        {QStringLiteral("Address (any)"), {QStringLiteral("1 Home Rd"), QStringLiteral("2 Work Rd")}},
        {QStringLiteral("Address (home)"), {QStringLiteral("1 Home Rd")}},
        {QStringLiteral("Address (work)"), {QStringLiteral("2 Work Rd")}},
    };
    int checked = 0;
    for (const QString &group : NameValue::groupOrder()) {
        for (const NameValue &tag : NameValue::nameValueList().value(group)) {
            SCOPED_TRACE(tag.tagName.toStdString());
            const QString text = EmailTemplate::tagText(tag);
            const QVariantMap mapping{{text, QStringLiteral("%1.%2").arg(tag.tagEntity, tag.tagKey)}};
            QStringList missing;
            const QString filled = QStringLiteral("[") + expand(mapping, text, missing) + QStringLiteral("]");
            EXPECT_TRUE(missing.isEmpty());
            if (tag.tagEntity == QLatin1String("Date")) {
                EXPECT_TRUE(filled.contains(DateFormatter::mediumDate(platform::core::Clock::now())));
            } else {
                const QStringList choices = expected.value(tag.tagName);
                ASSERT_FALSE(choices.isEmpty());
                bool one = false;
                for (const QString &choice : choices)
                    one = one || filled.startsWith(QStringLiteral("[") + choice);
                EXPECT_TRUE(one) << filled.toStdString();
            }
            // Against a contact without values only the date tags are filled.
            QStringList bareMissing;
            const QString bareText = EmailTemplate::getTemplateTextForPerson(bare, bareMissing, mapping, text);
            if (tag.tagEntity == QLatin1String("Date")) {
                EXPECT_TRUE(bareMissing.isEmpty());
            } else {
                EXPECT_EQ(bareText, text);
                EXPECT_EQ(bareMissing, QStringList{text});
            }
            ++checked;
        }
    }
    EXPECT_EQ(checked, 19);
}

TEST_F(TemplatesTest, HostileValuesAreInsertedAsTheyStand)
{
    const QString first = QStringLiteral("<$Person.firstName$>");
    const QString last = QStringLiteral("<$Person.lastName$>");
    const QString company = QStringLiteral("<$Person.companyName$>");
    const QVariantMap mapping{{first, QStringLiteral("Person.firstName")},
                              {last, QStringLiteral("Person.lastName")},
                              {company, QStringLiteral("Person.companyName")}};
    const struct
    {
        const char *name;
        QString firstName;
        QString lastName;
        QString expanded;
        QStringList missing;
    } cases[] = {
        {"a value that reads like another tag", last, QStringLiteral("Lee"),
         QStringLiteral("<$Person.lastName$> Lee <$Person.companyName$>"), {company}},
        {"a value that reads like a missing tag", company, QStringLiteral("Lee"),
         QStringLiteral("<$Person.companyName$> Lee <$Person.companyName$>"), {company}},
        {"a value that reads like itself", first, QStringLiteral("$>"),
         QStringLiteral("<$Person.firstName$> $> <$Person.companyName$>"), {company}},
        {"markup and line breaks", QStringLiteral("<b>Ann</b>\r\nBcc: x@y.org"), QStringLiteral("&amp;"),
         QStringLiteral("<b>Ann</b>\r\nBcc: x@y.org &amp; <$Person.companyName$>"), {company}},
        {"empty values are values", QStringLiteral(""), QStringLiteral(""), QStringLiteral("  <$Person.companyName$>"),
         {company}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        person->setFirstName(c.firstName);
        person->setLastName(c.lastName);
        QStringList missing;
        EXPECT_EQ(expand(mapping, first + QStringLiteral(" ") + last + QStringLiteral(" ") + company, missing),
                  c.expanded);
        EXPECT_EQ(missing, c.missing);
    }
}
