#include "Mac/ContactPage/ContactInfoTableCellViewMac.h"

#include <QLocale>

#include <gtest/gtest.h>

namespace {

QStringList placeholders(const ContactInfoTableCellViewMac &cell)
{
    return {cell.addressStreetField()->placeholderText(), cell.addressCityField()->placeholderText(),
            cell.addressStateField()->placeholderText(), cell.addressZipField()->placeholderText()};
}

TEST(AddressCell, AnEmptyAddressProposesTheUsersCountryWithItsCaptions)
{
    struct Case
    {
        QLocale::Territory territory;
        const char *country;
        QStringList captions;
    };
    const Case cases[] = {
        {QLocale::UnitedStates, "United States", {"Street", "City", "State", "Zip"}},
        {QLocale::Canada, "Canada", {"Street", "Suburb", "State", "Postal Code"}},
        {QLocale::UnitedKingdom, "United Kingdom", {"Street", "City", "County", "Postcode"}},
        {QLocale::Ireland, "Ireland", {"Street", "City", "Province", "Postal Code"}},
    };
    for (const Case &c : cases) {
        QLocale::setDefault(QLocale(QLocale::English, c.territory));
        ContactInfoTableCellViewMac cell(QStringLiteral("AddressEditingCell"));
        cell.addressStreetField()->setText(QStringLiteral("left over"));
        cell.formatAddressFieldsForEmptyCell();
        EXPECT_EQ(cell.addressCountryField()->text(), QString::fromLatin1(c.country));
        EXPECT_TRUE(cell.addressStreetField()->text().isEmpty());
        EXPECT_EQ(placeholders(cell), c.captions) << c.country;
    }
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
}

TEST(AddressCell, ChoosingAnotherCountryChangesTheCaptionsAndTheFieldLookups)
{
    QLocale::setDefault(QLocale(QLocale::English, QLocale::Canada));
    ContactInfoTableCellViewMac cell(QStringLiteral("AddressEditingCell"));
    cell.formatAddressFieldsForEmptyCell();
    EXPECT_EQ(cell.textFieldForPlaceholder(QStringLiteral("Suburb")), cell.addressCityField());
    cell.addressCountryField()->setText(QStringLiteral("United Kingdom"));
    cell.updateTextFieldsForCountry(QStringLiteral("United Kingdom"));
    EXPECT_EQ(placeholders(cell), (QStringList{"Street", "City", "County", "Postcode"}));
    EXPECT_EQ(cell.textFieldForPlaceholder(QStringLiteral("Postcode")), cell.addressZipField());
    EXPECT_EQ(cell.textFieldForPlaceholder(QStringLiteral("Suburb")), nullptr);
    cell.updateTextFieldsForCountry(QStringLiteral("Nowhere"));
    EXPECT_EQ(placeholders(cell), (QStringList{"Street", "City", "Province", "Postal Code"}));

    EXPECT_EQ(cell.nextTextFieldWithCurrentField(cell.addressStreetField()), cell.addressCityField());
    EXPECT_EQ(cell.nextTextFieldWithCurrentField(cell.addressZipField()), cell.addressCountryField());
    EXPECT_EQ(cell.nextTextFieldWithCurrentField(cell.addressCountryField()), nullptr);
    EXPECT_EQ(cell.personAddressKeyForTextField(cell.addressStateField()), QStringLiteral("state"));
    EXPECT_TRUE(cell.personAddressKeyForTextField(nullptr).isNull());
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
}

} // namespace
