#include "QuendelKit/Entities/EntityStoreFixture.h"

#include "QuendelKit/Settings/DataPlistValues.h"
#include "QuendelKit/Settings/SettingsServices.h"
#include "QuendelKit/Settings/SharedSettingController.h"

#include <gtest/gtest.h>

using quendel::test::CapturingLogger;
using quendel::test::EntityStoreTest;

namespace {

// The name parts of one contact; a null text is a part never set.
struct NameParts
{
    QString prefix, first, middle, last, suffix, nickname, company, email;
};

struct NameCase
{
    const char *label;
    NameParts parts;
    qint64 displayOrder;
    qint64 sortOrder;
    QString displayName;
    QString sortingName; // normalised
    QString section;
};

const QString acuteE = QStringLiteral("E\u0301"); // É decomposed
const QString lowerAcuteE = QStringLiteral("e\u0301");

NameParts allFive()
{
    return {QStringLiteral("Dr."),
            QStringLiteral("Ann"),
            QStringLiteral("Marie"),
            QStringLiteral("Lee"),
            QStringLiteral("Jr."),
            {},
            {},
            {}};
}

class PersonNamesTest : public EntityStoreTest
{
protected:
    void SetUp() override
    {
        EntityStoreTest::SetUp();
        setOrders(0, 0);
    }
    void TearDown() override
    {
        dataPlistValues().remove(Person::DisplayOrderSettingKey);
        dataPlistValues().remove(Person::SortOrderSettingKey);
        EntityStoreTest::TearDown();
    }

    static void setOrders(qint64 displayOrder, qint64 sortOrder)
    {
        dataPlistValues().setValue(Person::DisplayOrderSettingKey, displayOrder);
        dataPlistValues().setValue(Person::SortOrderSettingKey, sortOrder);
    }

    // A contact filled the way the editors fill one: the parts that do not recompute first, then the first
    // and last name, whose setters derive the names.
    Person *contact(const NameParts &parts)
    {
        Person *person = insert<Person>();
        if (!parts.middle.isNull() || !parts.nickname.isNull()) {
            auto *info = insert<PersonInfo>();
            info->setMiddleName(parts.middle);
            info->setNickname(parts.nickname);
            person->setPersoninfo(info);
        }
        if (!parts.email.isNull()) {
            auto *email = insert<Emails>();
            email->setEmailAddress(parts.email);
            person->addEmailsObject(email);
        }
        person->setPrefixName(parts.prefix);
        person->setSuffixName(parts.suffix);
        person->setCompanyName(parts.company);
        person->setFirstName(parts.first);
        person->setLastName(parts.last);
        return person;
    }
};

} // namespace

TEST_F(PersonNamesTest, NamesAndSectionsFollowTheOrdersWithTheirFallbacks)
{
    const NameParts companyOnly{{}, {}, {}, {}, {}, {}, QStringLiteral("Acme Ltd"), {}};
    const NameParts emailOnly{{}, {}, {}, {}, {}, {}, {}, QStringLiteral("zed@example.com")};
    const NameParts nothing;
    const NameParts accented{{}, QStringLiteral("Émile"), {}, QStringLiteral("Zola"), {}, {}, {}, {}};
    const NameParts withNickname{{}, QStringLiteral("Robert"), {}, QStringLiteral("Smith"),
                                 {}, QStringLiteral("Bob"),    {}, {}};
    const NameParts noMiddle{{}, QStringLiteral("Ann"), {}, QStringLiteral("Lee"), {}, {}, {}, {}};
    const NameParts personAtCompany{{}, QStringLiteral("Ann"),  {}, QStringLiteral("Lee"), {},
                                    {}, QStringLiteral("Acme"), {}};
    const NameParts digitCompany{{}, {}, {}, {}, {}, {}, QStringLiteral("3M"), {}};
    const NameParts punctuation{{}, QStringLiteral("'Tis"), {}, {}, {}, {}, {}, {}};

    const std::vector<NameCase> cases = {
        {"all five parts, first name first", allFive(), 0, 0, QStringLiteral("Dr. Ann Marie Lee Jr."),
         QStringLiteral("ann marie lee"), QStringLiteral("A")},
        {"all five parts, last name first", allFive(), 1, 1, QStringLiteral("Dr. Lee Marie Ann Jr."),
         QStringLiteral("lee marie ann"), QStringLiteral("L")},
        {"display and sort orders apart", allFive(), 1, 0, QStringLiteral("Dr. Lee Marie Ann Jr."),
         QStringLiteral("ann marie lee"), QStringLiteral("A")},
        {"a missing part leaves no double space", noMiddle, 0, 0, QStringLiteral("Ann Lee"), QStringLiteral("ann lee"),
         QStringLiteral("A")},
        {"company only", companyOnly, 0, 0, QStringLiteral("Acme Ltd"), QStringLiteral("acme ltd"),
         QStringLiteral("A")},
        {"company only, by last name", companyOnly, 1, 1, QStringLiteral("Acme Ltd"), QStringLiteral("acme ltd"),
         QStringLiteral("A")},
        {"company only, sectioned by company", companyOnly, 0, 2, QStringLiteral("Acme Ltd"),
         QStringLiteral("acme ltd"), QStringLiteral("Acme Ltd")},
        {"person at a company, sectioned by company", personAtCompany, 0, 2, QStringLiteral("Ann Lee"),
         QStringLiteral("ann lee"), QStringLiteral("Acme")},
        {"person without a company, sectioned by company", noMiddle, 0, 2, QStringLiteral("Ann Lee"),
         QStringLiteral("ann lee"), QStringLiteral("#")},
        {"e-mail only", emailOnly, 0, 0, QStringLiteral("zed@example.com"), QStringLiteral("zed@example.com"),
         QStringLiteral("Z")},
        {"nothing at all", nothing, 0, 0, QStringLiteral("No Name"), QStringLiteral("no name"), QStringLiteral("N")},
        {"nothing at all, sectioned by company", nothing, 0, 2, QStringLiteral("No Name"), QStringLiteral("no name"),
         QStringLiteral("#")},
        {"an unknown display order takes no parts", noMiddle, 7, 0, QStringLiteral("No Name"),
         QStringLiteral("ann lee"), QStringLiteral("A")},
        {"accented first letter", accented, 0, 0, QStringLiteral("Émile Zola"),
         lowerAcuteE + QStringLiteral("mile zola"), QStringLiteral("#")},
        {"accented name sorted by its plain last name", accented, 0, 1, QStringLiteral("Émile Zola"),
         QStringLiteral("zola ") + lowerAcuteE + QStringLiteral("mile"), QStringLiteral("Z")},
        {"nickname after the names, by last name", withNickname, 0, 1, QStringLiteral("Robert Smith"),
         QStringLiteral("smith robert bob"), QStringLiteral("S")},
        {"nickname after the names, by first name", withNickname, 0, 0, QStringLiteral("Robert Smith"),
         QStringLiteral("robert smith bob"), QStringLiteral("R")},
        {"begins with a digit", digitCompany, 0, 0, QStringLiteral("3M"), QStringLiteral("3m"), QStringLiteral("#")},
        {"begins with punctuation", punctuation, 0, 0, QStringLiteral("'Tis"), QStringLiteral("'tis"),
         QStringLiteral("#")},
    };

    for (const NameCase &c : cases) {
        SCOPED_TRACE(c.label);
        setOrders(c.displayOrder, c.sortOrder);
        Person *person = contact(c.parts);
        // Prefix, suffix, middle name and company do not recompute by themselves.
        person->remakeDisplayName();
        person->remakeSortingName();
        EXPECT_EQ(person->makeDisplayName(), c.displayName);
        EXPECT_EQ(person->displayName(), c.displayName);
        EXPECT_EQ(person->normalizedDisplayName(), c.sortingName);
        EXPECT_EQ(person->normalizedSectionLetter(), c.section);
    }
}

TEST_F(PersonNamesTest, AnUpperCaseAccentAndItsDecomposedFormGiveOneSortingName)
{
    Person *composed = contact({{}, QStringLiteral("\u00C9lodie"), {}, {}, {}, {}, {}, {}});
    Person *decomposed = contact({{}, acuteE + QStringLiteral("lodie"), {}, {}, {}, {}, {}, {}});
    EXPECT_EQ(composed->normalizedDisplayName(), decomposed->normalizedDisplayName());
    EXPECT_EQ(composed->normalizedDisplayName(), lowerAcuteE + QStringLiteral("lodie"));
}

TEST_F(PersonNamesTest, FirstAndLastNameSettersDeriveEveryNameButOtherPartsDoNot)
{
    Person *person = insert<Person>();
    person->setFirstName(QStringLiteral("Ann"));
    EXPECT_EQ(person->displayName(), QStringLiteral("Ann"));
    person->setLastName(QStringLiteral("Lee"));
    EXPECT_EQ(person->displayName(), QStringLiteral("Ann Lee"));
    EXPECT_EQ(person->normalizedDisplayName(), QStringLiteral("ann lee"));
    EXPECT_EQ(person->normalizedSectionLetter(), QStringLiteral("A"));

    person->setPrefixName(QStringLiteral("Dr."));
    EXPECT_EQ(person->displayName(), QStringLiteral("Ann Lee")) << "the prefix waits for remakeDisplayName";
    person->remakeDisplayName();
    EXPECT_EQ(person->displayName(), QStringLiteral("Dr. Ann Lee"));

    // setDisplayName derives the sorting name and its section from the name parts.
    person->setDisplayName(QStringLiteral("Whatever"));
    EXPECT_EQ(person->normalizedDisplayName(), QStringLiteral("ann lee"));
    person->setNormalizedDisplayName(QStringLiteral("zeta"));
    EXPECT_EQ(person->normalizedSectionLetter(), QStringLiteral("Z"));
}

TEST_F(PersonNamesTest, ChangedOrdersLeaveStoredNamesUntilTheyAreRemade)
{
    Person *person = contact({{}, QStringLiteral("Ann"), {}, QStringLiteral("Lee"), {}, {}, {}, {}});
    save(context);
    setOrders(1, 1);
    EXPECT_EQ(person->displayName(), QStringLiteral("Ann Lee"));
    EXPECT_EQ(person->normalizedDisplayName(), QStringLiteral("ann lee"));

    auto logger = CapturingLogger::install();
    person->remakeSortingName();
    EXPECT_EQ(person->displayName(), QStringLiteral("Ann Lee"));
    EXPECT_EQ(person->normalizedDisplayName(), QStringLiteral("lee ann"));
    EXPECT_EQ(person->normalizedSectionLetter(), QStringLiteral("L"));
    EXPECT_TRUE(logger->lines().contains(QStringLiteral("remakeSortingName: sortingName ann lee changed to lee ann")))
        << logger->lines().join(QLatin1Char('\n')).toStdString();
    person->remakeDisplayName();
    EXPECT_EQ(person->displayName(), QStringLiteral("Lee Ann"));
}

TEST_F(PersonNamesTest, RemakeDisplayNameWritesOnlyAChange)
{
    Person *person = contact({{}, QStringLiteral("Ann"), {}, QStringLiteral("Lee"), {}, {}, {}, {}});
    save(context);
    person->remakeDisplayName();
    EXPECT_FALSE(person->hasChanges()) << "an unchanged display name is not written again";
}

TEST_F(PersonNamesTest, PrimaryEmailIsTheFirstAddressAndIsKept)
{
    Person *person = insert<Person>();
    EXPECT_TRUE(person->primaryEmail().isEmpty());
    auto *first = insert<Emails>();
    first->setEmailAddress(QStringLiteral("ann@example.com"));
    person->addEmailsObject(first);
    EXPECT_EQ(person->primaryEmail(), QStringLiteral("ann@example.com"));

    first->setEmailAddress(QStringLiteral("changed@example.com"));
    EXPECT_EQ(person->primaryEmail(), QStringLiteral("ann@example.com")) << "kept for the object's lifetime";
    person->setPrimaryEmail(QStringLiteral("set@example.com"));
    EXPECT_EQ(person->primaryEmail(), QStringLiteral("set@example.com"));
}

TEST(PersonDefaults, DefaultOrdersFollowTheAddressBook)
{
    struct LastNameFirst : SettingsEnvironment
    {
        bool addressBookFirstNameFirst() const override { return false; }
    };
    const std::shared_ptr<SettingsEnvironment> previous = SharedSettingController::environment();
    EXPECT_EQ(getDefaultContactsSortOrdering(), 0);
    EXPECT_EQ(getDefaultNameDisplayOrdering(), 0);
    SharedSettingController::setEnvironment(std::make_shared<LastNameFirst>());
    EXPECT_EQ(getDefaultNameDisplayOrdering(), 1);
    EXPECT_EQ(getDefaultContactsSortOrdering(), 0);
    SharedSettingController::setEnvironment(previous);
}
