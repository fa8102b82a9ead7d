#include "JournalFixture.h"

#include "Mac/Shell/CustomNSTableView.h"
#include "Mac/Journal/LocationsPickerViewControllerMac.h"
#include "Mac/Journal/SelectItemPickerViewController.h"
#include "Mac/Journal/TitlesPickerViewControllerMac.h"

#include <QLabel>
#include <QPushButton>

using namespace journal_test;

namespace {

struct ItemChoices : SelectItemDelegate
{
    QList<std::pair<quint64, qint64>> reported;
    void selectedItemFromList(quint64 index, qint64 tag) override { reported.append({index, tag}); }
};

struct LocationChoices : LocationPickerDelegate
{
    QList<Location *> chosen;
    int addRequests = 0;
    void selectedLocationItem(Location *location) override { chosen.append(location); }
    void selectedAddNewLocation() override { ++addRequests; }
};

} // namespace

TEST(SelectItemPicker, TheCurrentChoiceReportsOnlyFromTheKeyboard)
{
    SelectItemPickerViewController picker({QStringLiteral("None"), QStringLiteral("Daily"), QStringLiteral("Weekly")},
                                          1, 1);
    ItemChoices choices;
    picker.setDelegate(&choices);
    EXPECT_FALSE(picker.isCheckedRow(0));
    EXPECT_TRUE(picker.isCheckedRow(1));

    picker.singleAction(1);
    picker.singleAction(-1);
    EXPECT_TRUE(choices.reported.isEmpty());
    picker.singleAction(2);
    ASSERT_EQ(choices.reported.size(), 1);
    EXPECT_EQ(choices.reported.first(), (std::pair<quint64, qint64>(2, 1)));

    picker.tableView()->selectRow(1);
    picker.enterKeyWasPressed();
    ASSERT_EQ(choices.reported.size(), 2);
    EXPECT_EQ(choices.reported.last(), (std::pair<quint64, qint64>(1, 1)));
}

TEST_F(JournalStoreTest, TheTitlesPickerListsTitlesInOrderAndMeasuresItsList)
{
    TitlesPickerViewControllerMac empty(LogTitle::EntityName, context, nullptr);
    EXPECT_EQ(empty.heightForPopover(), 30);

    for (int order : {1, 0})
        LogTitle::createNewLogTitleWithText(QStringLiteral("title %1").arg(order), order, context.get());
    save();
    TitlesPickerViewControllerMac picker(LogTitle::EntityName, context, nullptr);
    ASSERT_EQ(picker.arrangedObjects().size(), 2);
    EXPECT_EQ(static_cast<LogTitle *>(picker.arrangedObjects().at(0))->title(), QStringLiteral("title 0"));
    EXPECT_GT(picker.heightForPopover(), 30);

    // Leaving the new-title field empty makes nothing.
    picker.controlTextShouldEndEditing();
    EXPECT_EQ(picker.arrangedObjects().size(), 2);
}

TEST_F(JournalStoreTest, TheLocationsPickerShowsNamesAddressesAndItsButtons)
{
    {
        LocationsPickerViewControllerMac picker(context, nullptr);
        EXPECT_FALSE(picker.emptyLabel()->isHidden());
        EXPECT_TRUE(picker.removeButton()->isHidden());
    }
    auto *named = context->insertNewObject<Location>(Location::EntityName);
    named->setLocationName(QStringLiteral("Harbour"));
    named->setLocationAddress(QStringLiteral("1 Quay Street"));
    named->setDisplayOrder(0);
    auto *unnamed = context->insertNewObject<Location>(Location::EntityName);
    unnamed->setDisplayOrder(1);
    save();

    LocationsPickerViewControllerMac picker(context, named);
    LocationChoices choices;
    picker.setLocationDelegate(&choices);
    EXPECT_TRUE(picker.emptyLabel()->isHidden());
    EXPECT_FALSE(picker.removeButton()->isHidden());
    EXPECT_EQ(picker.nameTextForRow(0), QStringLiteral("Harbour"));
    EXPECT_EQ(picker.addressTextForRow(0), QStringLiteral("1 Quay Street"));
    EXPECT_EQ(picker.nameTextForRow(1), QStringLiteral("<no name>"));
    EXPECT_TRUE(picker.addressTextForRow(1).isEmpty());

    picker.singleAction(1);
    picker.removeButtonPressed();
    picker.newLocationButtonClicked();
    ASSERT_EQ(choices.chosen.size(), 2);
    EXPECT_EQ(choices.chosen.at(0), unnamed);
    EXPECT_EQ(choices.chosen.at(1), nullptr);
    EXPECT_EQ(choices.addRequests, 1);
}
