#include "QuendelKit/Details/DetailsFixture.h"

using namespace quendel::test;

namespace {

class PersonExportsTest : public DetailsTest
{
protected:
    // A contact with two e-mails, no phone and one address.
    Person *annWithDetails()
    {
        Person *ann = newPerson(QStringLiteral("Ann"));
        ann->setLastName(QStringLiteral("Lee"));
        ann->setDisplayName(QStringLiteral("Ann Lee"));
        ann->addEmailWithEmail(QStringLiteral("a@example.com"), QStringLiteral("home"), context.get());
        ann->addEmailWithEmail(QStringLiteral("b@example.com"), QStringLiteral("work"), context.get());
        ann->addAddressWithText(QStringLiteral("1 Main St, Apt 2"), QStringLiteral("street"), QStringLiteral("home"),
                                QString(), context.get());
        return ann;
    }

    FormFields *field(const QString &name)
    {
        auto *definition = insert<FormFields>();
        definition->setFormFieldName(name);
        return definition;
    }
};

TEST_F(PersonExportsTest, CsvRowWithAndWithoutMailingColumns)
{
    Person *ann = annWithDetails();
    QString row;
    ann->addPersonToCSVBody(row, {}, false);
    // The e-mail set has no order: either may come first.
    const QString emailColumn = row.contains(QStringLiteral("home:a@example.com/ work:b@example.com"))
                                    ? QStringLiteral("home:a@example.com/ work:b@example.com")
                                    : QStringLiteral("work:b@example.com/ home:a@example.com");
    EXPECT_EQ(row, QStringLiteral("Ann Lee,,,,%1,,\"home:1 Main St, Apt 2\",,\n").arg(emailColumn));

    QString mailing;
    ann->addPersonToCSVBody(mailing, {}, true);
    EXPECT_TRUE(mailing == QStringLiteral("Ann Lee,,,,a@example.com,b@example.com,,,\"1 Main St, Apt 2\",,,\n") ||
                mailing == QStringLiteral("Ann Lee,,,,b@example.com,a@example.com,,,\"1 Main St, Apt 2\",,,\n"))
        << mailing.toStdString();
}

TEST_F(PersonExportsTest, CsvEmailAndPhoneColumnsStayInPlaceWhenTheyHoldCommasOrQuotes)
{
    Person *cal = newPerson(QStringLiteral("Cal"));
    cal->setDisplayName(QStringLiteral("Cal"));
    cal->addEmailWithEmail(QStringLiteral("\"cal,x\"@example.com"), QStringLiteral("Work, main"), context.get());
    cal->addPhoneNumberWithNumber(QStringLiteral("555,12"), QStringLiteral("office"), context.get());

    QString row;
    cal->addPersonToCSVBody(row, {}, false);
    EXPECT_EQ(row, QStringLiteral("Cal,,,,\"Work, main:\"\"cal,x\"\"@example.com\",\"office:555,12\",,,\n")) << row.toStdString();

    QString mailing;
    cal->addPersonToCSVBody(mailing, {}, true);
    EXPECT_EQ(mailing, QStringLiteral("Cal,,,,\"\"\"cal,x\"\"@example.com\",,\"555,12\",,,,,\n")) << mailing.toStdString();
}

TEST_F(PersonExportsTest, CsvCustomFieldsFollowTheGivenList)
{
    Person *bob = newPerson(QStringLiteral("Bob"));
    bob->setDisplayName(QStringLiteral("Bob"));
    FormFields *first = field(QStringLiteral("A"));
    FormFields *second = field(QStringLiteral("B"));
    FormFields *third = field(QStringLiteral("C"));
    auto *value = insert<UserFields>();
    value->setPerson(bob);
    value->setFormfield(second);
    value->setFieldValue(QStringLiteral("x, y"));
    QString row;
    bob->addPersonToCSVBody(row, {first, second, third}, false);
    EXPECT_EQ(row, QStringLiteral("Bob,,,,,,,,\"x, y\",,\n"));
    EXPECT_EQ(Person::normalizedStringFromNumberForReporting(QStringLiteral(" 555 01\n00\t")), QStringLiteral("55501"
                                                                                                              "00"));
}

TEST_F(PersonExportsTest, HtmlAndPlainTextCards)
{
    Person *bare = newPerson(QStringLiteral("Cy"));
    bare->setDisplayName(QStringLiteral("Cy <b>"));
    bare->setCompanyName(QStringLiteral("Acme"));
    QString html;
    bare->addPersonDataToEmailBody(html);
    EXPECT_EQ(html, QStringLiteral("<br><b>Name: Cy &lt;b&gt; </b><br><b>Company: </b> Acme <br>"));

    Person *ann = annWithDetails();
    QString card = QStringLiteral("old text");
    ann->addPersonInfoToMutableString(card);
    EXPECT_TRUE(card.startsWith(QStringLiteral("- Quendel - Contact Info - \nName: Ann Lee\n\nEmails\n")));
    EXPECT_TRUE(card.endsWith(QStringLiteral("\nAddresses\nhome: 1 Main St, Apt 2\n")));
    EXPECT_FALSE(card.contains(QStringLiteral("old text")));
}

TEST_F(PersonExportsTest, RefreshingFurtherFieldsFromTheAddressBook)
{
    Person *ann = newPerson();
    auto *info = insert<PersonInfo>();
    info->setPerson(ann);
    EXPECT_TRUE(info->checkAndUpdateStringProperty(QStringLiteral("nickname"), QStringLiteral("Nickname"),
                                                   {{QStringLiteral("Nickname"), QStringLiteral("Annie")}}));
    EXPECT_FALSE(info->checkAndUpdateStringProperty(QStringLiteral("nickname"), QStringLiteral("Nickname"),
                                                    {{QStringLiteral("Nickname"), QStringLiteral("Annie")}}));
    EXPECT_TRUE(info->checkAndUpdateStringProperty(QStringLiteral("nickname"), QStringLiteral("Nickname"), {}));
    EXPECT_TRUE(info->nickname().isEmpty());
    EXPECT_FALSE(info->checkAndUpdateStringProperty(QStringLiteral("nickname"), QStringLiteral("Nickname"), {}));

    info->setNickname(QStringLiteral("Annie"));
    EXPECT_FALSE(
        info->checkAndUpdateStringPropertyWithContact(QStringLiteral("nickname"), QStringLiteral("nickname"), {}));
    EXPECT_EQ(info->nickname(), QStringLiteral("Annie"));
    EXPECT_TRUE(info->checkAndUpdateStringPropertyWithContact(QStringLiteral("nickname"), QStringLiteral("nickname"),
                                                              {{QStringLiteral("nickname"), QStringLiteral("Ann")}}));
    EXPECT_EQ(info->nickname(), QStringLiteral("Ann"));
}

} // namespace
