#include "QuendelKit/Details/DetailsFixture.h"

#include <QLocale>

using namespace quendel::test;

namespace {

class PersonAddressTest : public DetailsTest
{
protected:
    PersonAddress *address(Person *person = nullptr)
    {
        auto *a = insert<PersonAddress>();
        a->setPerson(person ? person : newPerson());
        return a;
    }
};

TEST_F(PersonAddressTest, AddressTextJoinsTheFilledFieldsAndFlattensLines)
{
    struct Case
    {
        const char *street, *city, *state, *zip, *country;
        const char *text, *withoutCountry;
    };
    const Case cases[] = {
        {"1 Main St\nFloor 2", "", "CA", nullptr, "United States", "1 Main St Floor 2, CA, United States",
         "1 Main St Floor 2, CA"},
        {"A\r\nB", nullptr, nullptr, nullptr, nullptr, "A  B", "A  B"},
        {nullptr, nullptr, nullptr, nullptr, nullptr, "", ""},
        {"S", "C", "St", "Z", "Co", "S, C, St, Z, Co", "S, C, St, Z"},
    };
    for (const Case &c : cases) {
        PersonAddress *a = address();
        const auto text = [](const char *s) { return s ? QString::fromUtf8(s) : QString(); };
        a->setStreet(text(c.street));
        a->setCity(text(c.city));
        a->setState(text(c.state));
        a->setZip(text(c.zip));
        a->setValue(QStringLiteral("country"), text(c.country));
        EXPECT_EQ(a->addressString(), QString::fromUtf8(c.text)) << c.text;
        EXPECT_EQ(a->addressStringWithoutCountry(), QString::fromUtf8(c.withoutCountry)) << c.text;
        EXPECT_EQ(a->subtitle(), a->addressString());
    }
}

TEST_F(PersonAddressTest, AnAddressBookEntryWithAnEmptyCityKeepsItsSeparator)
{
    const QVariantMap entry = {{address_book::AddressStreetKey, QStringLiteral("1 Main St")},
                               {address_book::AddressCityKey, QString(QLatin1String(""))},
                               {address_book::AddressStateKey, QStringLiteral("CA")}};
    EXPECT_EQ(PersonAddress::makeAddressStringFromRecord(entry), QStringLiteral("1 Main St, , CA"));
    PersonAddress *a = address();
    a->setStreet(QStringLiteral("1 Main St"));
    a->setCity(QString(QLatin1String("")));
    a->setState(QStringLiteral("CA"));
    EXPECT_NE(a->addressString(), PersonAddress::makeAddressStringFromRecord(entry));
    const QVariantMap dictionary = a->addressInDictionaryFormat();
    EXPECT_EQ(dictionary.value(address_book::AddressCityKey).toString(), QString());
    EXPECT_TRUE(dictionary.contains(address_book::AddressCityKey));
    EXPECT_FALSE(dictionary.contains(address_book::AddressZIPKey));
}

TEST_F(PersonAddressTest, CaptionsOfTheEditFormByCountryCode)
{
    struct Case
    {
        const char *code;
        QStringList captions;
    };
    const QStringList other = {"Street", "City", "Province", "Postal Code"};
    const Case cases[] = {
        {"US", {"Street", "City", "State", "Zip"}},
        {"CA", {"Street", "Suburb", "State", "Postal Code"}},
        {"GB", {"Street", "City", "County", "Postcode"}},
        {"ca", other},
        {"FR", other},
        {nullptr, other},
    };
    for (const Case &c : cases)
        EXPECT_EQ(PersonAddress::addressFormatForCountryCode(c.code ? QString::fromLatin1(c.code) : QString()),
                  c.captions)
            << (c.code ? c.code : "nil");
}

TEST_F(PersonAddressTest, CountryNamesAndCodes)
{
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    EXPECT_EQ(PersonAddress::countryCodeFromCountryName(QStringLiteral("Canada")), QStringLiteral("CA"));
    EXPECT_EQ(PersonAddress::countryCodeFromCountryName(QStringLiteral("United Kingdom")), QStringLiteral("GB"));
    EXPECT_TRUE(PersonAddress::countryCodeFromCountryName(QStringLiteral("Kanada")).isNull());
    const QStringList names = PersonAddress::sortedListOfCountryNames();
    EXPECT_TRUE(names.contains(QStringLiteral("Canada")));
    EXPECT_LT(names.indexOf(QStringLiteral("Canada")), names.indexOf(QStringLiteral("France")));

    PersonAddress *a = address();
    a->setCountry(QStringLiteral("Canada"));
    EXPECT_EQ(a->countryCode(), QStringLiteral("CA"));
    a->setCountry(QStringLiteral("Atlantis"));
    EXPECT_TRUE(a->countryCode().isNull());
}

TEST_F(PersonAddressTest, PositionsDistancesAndPinTitles)
{
    struct Case
    {
        double latitude, longitude;
        bool valid;
    };
    const Case cases[] = {
        {0.4, 0.3, false}, {-0.5, 0, true}, {0.000001, 0.000001, false}, {0, 0, false}, {48.8, 2.3, true}};
    for (const Case &c : cases) {
        PersonAddress *a = address();
        a->setCoordinate({c.latitude, c.longitude});
        EXPECT_EQ(a->isValidCoordinate(), c.valid) << c.latitude << "," << c.longitude;
    }
    PersonAddress *nowhere = address();
    nowhere->setCoordinate({0.2, 0.2});
    nowhere->calculateDistanceForAddressWithLocation({48.8, 2.3}, true);
    EXPECT_EQ(nowhere->distance(), -1);
    PersonAddress *paris = address();
    paris->setCoordinate({48.8566, 2.3522});
    paris->calculateDistanceForAddressWithLocation({51.5074, -0.1278}, false); // London
    EXPECT_NEAR(paris->distance(), 343500, 2000);

}

TEST_F(PersonAddressTest, ThePinTitleAddsTheCompanyWhenItIsNotTheName)
{
    const struct {
        const char *displayName;
        const char *company;
        const char *title;
    } rows[] = {
        {"Ann Lee", "Acme Co", "Ann Lee - Acme Co"}, // as long as the name, yet another text
        {"Ann Lee", "Acme", "Ann Lee - Acme"},
        {"Ann Lee", "", "Ann Lee"},
        {"Acme Co", "Acme Co", "Acme Co"}, // a company listed under its own name shows it once
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.company);
        Person *person = newPerson();
        person->setDisplayName(QString::fromUtf8(row.displayName));
        person->setCompanyName(QString::fromUtf8(row.company));
        EXPECT_EQ(address(person)->title(), QString::fromUtf8(row.title));
    }
}

TEST_F(PersonAddressTest, AnUpdateFromTheAddressBookDiscardsThePosition)
{
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    PersonAddress *a = address();
    a->setStreet(QStringLiteral("Old"));
    a->setCity(QStringLiteral("Keep"));
    a->setCoordinate({40, -70});
    a->setGeocodeStatus(1);
    a->updateAddressWithAddressDictionary({{address_book::AddressStreetKey, QStringLiteral("New")},
                                           {address_book::AddressCityKey, QStringLiteral("Keep")},
                                           {address_book::AddressCountryKey, QStringLiteral("Canada")}});
    EXPECT_EQ(a->street(), QStringLiteral("New"));
    EXPECT_EQ(a->city(), QStringLiteral("Keep"));
    EXPECT_EQ(a->country(), QStringLiteral("Canada"));
    EXPECT_TRUE(a->countryCode().isNull()); // the entry gives no code: the derived one is cleared
    EXPECT_DOUBLE_EQ(a->latitude(), PersonAddress::DiscardedCoordinate);
    EXPECT_DOUBLE_EQ(a->longitude(), PersonAddress::DiscardedCoordinate);
    EXPECT_EQ(a->geocodeStatus(), 0);
}

TEST_F(PersonAddressTest, LabelChangeAndDeletionReachALinkedContact)
{
    Person *ann = newPerson();
    bridge->linked.insert(ann);
    PersonAddress *a = address(ann);
    a->setAddressLabel(QStringLiteral("home"));
    EXPECT_TRUE(bridge->calls.isEmpty()); // never saved
    save(context);
    a->setAddressLabel(QStringLiteral("work"));
    EXPECT_EQ(bridge->calls, QStringList{QStringLiteral("updateAddressLabel:home")});
    a->setDeleteFromAddressBook(true);
    context->deleteObject(a);
    EXPECT_EQ(bridge->calls.last(), QStringLiteral("deleteAddress"));
}

TEST_F(PersonAddressTest, AddressesDifferingOnlyInTheirCodeAreDuplicatesButNoneIsRemoved)
{
    Person *ann = newPerson();
    PersonAddress *a = address(ann);
    PersonAddress *b = address(ann);
    for (PersonAddress *x : {a, b}) {
        x->setStreet(QStringLiteral("1 Main St"));
        x->setAddressLabel(QStringLiteral("home"));
    }
    a->setCountryCode(QStringLiteral("US"));
    b->setCountryCode(QStringLiteral("CA"));
    EXPECT_TRUE(a->checkIfDuplicateRecord());
    EXPECT_EQ(a->duplicateRecordToRemove(), nullptr);
    b->setCountryCode(QStringLiteral("US"));
    EXPECT_NE(a->duplicateRecordToRemove(), nullptr);
}

} // namespace
