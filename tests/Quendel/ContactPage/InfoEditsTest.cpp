// The Info page's edits of one kind of detail each: labels, country, picture, privacy and birthday, and
// its copy and context menu.

#include "ContactPageFixture.h"

#include "Mac/ContactPage/ContactInfoTableCellViewMac.h"
#include "Mac/ContactPage/CountrySelectionViewControllerMac.h"
#include "Mac/Shell/CustomNSOutlineView.h"

#include "QuendelKit/AddressBook/VCardAddressBookBridge.h"
#include "QuendelKit/Entities/Emails.h"
#include "QuendelKit/Entities/PersonAddress.h"
#include "QuendelKit/Entities/PersonInfo.h"
#include "QuendelKit/Entities/Phones.h"
#include "QuendelKit/Settings/SharedSettingController.h"

#include "platform/ui/FilePanel.h"
#include "platform/ui/Popover.h"

#include <QBuffer>
#include <QCalendarWidget>
#include <QClipboard>
#include <QComboBox>
#include <QGuiApplication>
#include <QImage>
#include <QListWidget>
#include <QMenu>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>

using namespace quendel::test;
using namespace contact_info;
namespace ab = platform::contacts;

namespace {

class RecordingCountryDelegate : public CountrySelectionDelegate
{
public:
    void changedCountryWithNewCountry(const QString &country) override { chosen << country; }
    QStringList chosen;
};

class RecordingHost : public ContactPageDelegate
{
public:
    KeyDelegateKinds keyDelegateKinds() const override { return KeyDelegateKind::MacContactsViewController; }
    void makeCallUsingNumber(const QString &number) override { calls << number; }
    void contactUpdateListView() override { ++listUpdates; }
    QStringList calls;
    int listUpdates = 0;
};

class InfoEditsTest : public ContactPageTest
{
protected:
    void TearDown() override
    {
        PersonAddressBookBridge::install(nullptr);
        SharedSettingController::setContactsBridge(nullptr);
        platform::ui::FilePanelPresenter::shared().clearAnswers();
        ContactPageTest::TearDown();
    }

    void installAddressBook()
    {
        book = std::make_shared<ab::AddressBook>(folder.path() + QStringLiteral("/contacts"));
        ASSERT_TRUE(book->load());
        bridge = VCardAddressBookBridge::installFor(book);
    }

    ContactInfoTableCellViewMac *editingCell(ContactInfoViewControllerMac &page, const ContactInfoRowPtr &row)
    {
        return dynamic_cast<ContactInfoTableCellViewMac *>(page.cellForRow(row));
    }

    int rowNumberOf(ContactInfoViewControllerMac &page, const ContactInfoRowPtr &row)
    {
        return page.outlineView()->rowForIndex(page.indexForRow(row));
    }

    QByteArray pngOf(QColor colour)
    {
        QImage image(8, 8, QImage::Format_RGB32);
        image.fill(colour);
        QByteArray data;
        QBuffer buffer(&data);
        buffer.open(QIODevice::WriteOnly);
        image.save(&buffer, "PNG");
        return data;
    }

    QTemporaryDir folder;
    std::shared_ptr<ab::AddressBook> book;
    std::shared_ptr<VCardAddressBookBridge> bridge;
};

TEST(CountryPicker, SearchNarrowsTheListIgnoringCaseAndAccents)
{
    const QStringList names = {QStringLiteral("Canada"), QStringLiteral("C\u00f4te d'Ivoire"),
                               QStringLiteral("Germany"), QStringLiteral("Niger"), QStringLiteral("Nigeria")};
    const struct
    {
        const char *text;
        QStringList expected;
    } cases[] = {
        {"", names},
        {"   ", names},
        {"GER", {QStringLiteral("Germany"), QStringLiteral("Niger"), QStringLiteral("Nigeria")}},
        {"cote", {QStringLiteral("C\u00f4te d'Ivoire")}},
        {"C\u00d4TE D", {QStringLiteral("C\u00f4te d'Ivoire")}},
        {" nigeria ", {QStringLiteral("Nigeria")}},
        {"atlantis", {}},
    };
    for (const auto &c : cases)
        EXPECT_EQ(CountrySelectionViewControllerMac::countriesMatching(names, QString::fromUtf8(c.text)), c.expected)
            << c.text;
}

TEST(CountryPicker, OpensOnTheCurrentCountryAndHandsTheChoiceOver)
{
    const QStringList all = PersonAddress::sortedListOfCountryNames();
    ASSERT_TRUE(all.contains(QStringLiteral("Germany")));

    // No country, or one that is not listed: nothing selected, the list at its top.
    for (const QString &current : {QString(), QStringLiteral("Atlantis")}) {
        CountrySelectionViewControllerMac picker(current);
        EXPECT_EQ(picker.allCountriesList(), all);
        EXPECT_TRUE(picker.selectedCountry().isEmpty()) << current.toStdString();
        RecordingCountryDelegate delegate;
        picker.setDelegate(&delegate);
        QTest::keyClick(picker.sourceTableView(), Qt::Key_Return);
        EXPECT_TRUE(delegate.chosen.isEmpty()) << "Return without a row hands nothing over";
    }

    CountrySelectionViewControllerMac picker(QStringLiteral("Germany"));
    RecordingCountryDelegate delegate;
    picker.setDelegate(&delegate);
    picker.resize(260, 320);
    picker.show();
    EXPECT_EQ(picker.selectedCountry(), QStringLiteral("Germany"));

    // Typing narrows the list; the first match is offered, Return in the field takes it.
    QTest::keyClicks(picker.searchField(), QStringLiteral("united k"));
    EXPECT_EQ(picker.shownCountries(), QStringList{QStringLiteral("United Kingdom")});
    QTest::keyClick(picker.searchField(), Qt::Key_Return);
    EXPECT_EQ(delegate.chosen, QStringList{QStringLiteral("United Kingdom")});

    // Other keys hand nothing over; a click and a double click on a row hand its name over alike.
    picker.searchField()->clear();
    QTest::keyClick(picker.sourceTableView(), Qt::Key_A);
    EXPECT_EQ(delegate.chosen.size(), 1);
    QListWidget *list = picker.sourceTableView();
    QListWidgetItem *canada = list->findItems(QStringLiteral("Canada"), Qt::MatchExactly).value(0);
    ASSERT_NE(canada, nullptr);
    list->scrollToItem(canada);
    const QPoint centre = list->visualItemRect(canada).center();
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, centre);
    QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, centre);
    ASSERT_GE(delegate.chosen.size(), 3);
    EXPECT_EQ(delegate.chosen.at(1), QStringLiteral("Canada"));
    EXPECT_EQ(delegate.chosen.last(), QStringLiteral("Canada"));
}

TEST_F(InfoEditsTest, LabelMenusListTheirLabelsAndAChoiceIsStoredAtOnce)
{
    const struct
    {
        QString section;
        QStringList labels;
    } menus[] = {
        {PhonesKey,
         {"work", "home", "iPhone", "mobile", "main", "home fax", "work fax", "pager"}},
        {EmailsKey, {"work", "home", "other"}},
        {AddressesKey, {"home", "work", "other"}},
        {URLsKey, {"home page", "work", "home", "other"}},
        {NotesKey, {}},
        {GroupsKey, {}},
    };
    for (const auto &m : menus)
        EXPECT_EQ(ContactInfoViewControllerMac::labelTitlesForSection(m.section), m.labels) << m.section.toStdString();

    Person *person = storedPerson(QStringLiteral("Ann"), [this](Person *p) {
        p->addPhoneNumberWithNumber(QStringLiteral("555-0100"), QStringLiteral("mobile"), context.get());
    });
    ContactInfoViewControllerMac page(person, false, false, context);
    page.resize(700, 600);
    page.show();
    page.editButtonSelected();

    // The stored number's pop-up offers the eight labels with its own chosen; a choice is saved at once.
    ContactInfoTableCellViewMac *stored = editingCell(page, page.model().rows(PhonesKey).first());
    ASSERT_NE(stored, nullptr);
    QComboBox *popup = stored->popupTitleButton();
    QStringList offered;
    for (int i = 0; i < popup->count(); ++i)
        offered << popup->itemText(i);
    EXPECT_EQ(offered, ContactInfoViewControllerMac::labelTitlesForSection(PhonesKey));
    EXPECT_EQ(popup->currentText(), QStringLiteral("mobile"));
    popup->setCurrentIndex(offered.indexOf(QStringLiteral("pager")));
    emit popup->activated(popup->currentIndex());
    EXPECT_FALSE(context->hasChanges());
    platform::store::ContextPtr fresh = newContext();
    auto *reread = dynamic_cast<Person *>(fresh->objectWithID(person->objectID()));
    ASSERT_EQ(reread->phones().size(), 1);
    EXPECT_EQ(reread->phones().first()->label(), QStringLiteral("pager"));

    // The empty row stores nothing on a label choice; its number takes the label when it is stored.
    ContactInfoTableCellViewMac *empty = editingCell(page, page.model().rows(PhonesKey).last());
    ASSERT_NE(empty, nullptr);
    empty->popupTitleButton()->setCurrentText(QStringLiteral("main"));
    emit empty->popupTitleButton()->activated(empty->popupTitleButton()->currentIndex());
    EXPECT_EQ(person->phones().size(), 1);
    empty->valueField()->setFocus();
    QTest::keyClicks(empty->valueField(), QStringLiteral("555-0199"));
    QTest::keyClick(empty->valueField(), Qt::Key_Return);
    QTest::qWait(20);
    ASSERT_EQ(person->phones().size(), 2);
    QStringList labels;
    for (Phones *phone : person->phones())
        labels << phone->label();
    labels.sort();
    EXPECT_EQ(labels, (QStringList{"main", "pager"}));
}

TEST_F(InfoEditsTest, TheCountryButtonOpensThePickerAndTheChoiceIsTheAddressCountry)
{
    Person *person = storedPerson(QStringLiteral("Ann"), [this](Person *p) {
        auto *address = insert<PersonAddress>();
        address->setStreet(QStringLiteral("1 Main St"));
        address->setCountry(QStringLiteral("United States"));
        address->setAddressLabel(QStringLiteral("home"));
        address->setPerson(p);
    });
    ContactInfoViewControllerMac page(person, false, false, context);
    page.resize(800, 700);
    page.show();
    page.editButtonSelected();
    const ContactInfoRowPtr row = page.model().rows(AddressesKey).first();
    ContactInfoTableCellViewMac *cell = editingCell(page, row);
    ASSERT_NE(cell, nullptr);

    cell->countryFieldButton()->click();
    CountrySelectionViewControllerMac *picker = page.countrySelectionController();
    ASSERT_NE(picker, nullptr);
    EXPECT_EQ(picker->currentCountry(), QStringLiteral("United States"));
    EXPECT_EQ(picker->selectedCountry(), QStringLiteral("United States"));
    // The button closes the popover on show instead of opening a second one.
    cell->countryFieldButton()->click();
    EXPECT_FALSE(page.mypopover()->isShown());

    cell->countryFieldButton()->click();
    picker = page.countrySelectionController();
    ASSERT_NE(picker, nullptr);
    QTest::keyClicks(picker->searchField(), QStringLiteral("United Kingdom"));
    QTest::keyClick(picker->searchField(), Qt::Key_Return);
    QTest::qWait(20);
    EXPECT_FALSE(page.mypopover()->isShown());
    cell = editingCell(page, row);
    ASSERT_NE(cell, nullptr);
    EXPECT_EQ(cell->addressCountryField()->text(), QStringLiteral("United Kingdom"));
    EXPECT_EQ(cell->addressStateField()->placeholderText(), QStringLiteral("County"));
    auto *address = dynamic_cast<PersonAddress *>(row->record);
    EXPECT_EQ(address->country(), QStringLiteral("United Kingdom"));
    EXPECT_EQ(address->countryCode().toUpper(), QStringLiteral("GB"));

    // The empty row only shows the chosen country; no address is made from it alone.
    const ContactInfoRowPtr emptyRow = page.model().rows(AddressesKey).last();
    ASSERT_TRUE(emptyRow->placeholder);
    editingCell(page, emptyRow)->countryFieldButton()->click();
    page.changedCountryWithNewCountry(QStringLiteral("Canada"));
    EXPECT_EQ(editingCell(page, emptyRow)->addressCountryField()->text(), QStringLiteral("Canada"));
    EXPECT_EQ(person->addresses().size(), 1);
}

TEST_F(InfoEditsTest, CopyAndTheOptionsMenuActOnTheRightClickedRow)
{
    Person *person = storedPerson(QStringLiteral("Ann"), [this](Person *p) {
        p->addPhoneNumberWithNumber(QStringLiteral("555-0100"), QStringLiteral("work"), context.get());
        p->setNotesField(QStringLiteral("Line one"));
    });
    RecordingHost host;
    ContactInfoViewControllerMac page(person, false, false, context);
    page.setContactsDelegate(&host);
    page.resize(700, 600);
    page.show();
    const int phoneRow = rowNumberOf(page, page.model().rows(PhonesKey).first());
    const int notesRow = rowNumberOf(page, page.model().rows(NotesKey).first());
    ASSERT_GT(phoneRow, 0);

    // Nothing selected, a section title: Copy is disabled.
    EXPECT_FALSE(page.validateCopy(false));
    QMenu *menu = page.menuForOutlineViewRightClickOnSelectedOnRow(0);
    ASSERT_NE(menu, nullptr);
    ASSERT_EQ(menu->actions().size(), 1);
    EXPECT_FALSE(menu->actions().first()->isEnabled());
    menu = page.menuForOutlineViewRightClickOnSelectedOnRow(-1);
    EXPECT_EQ(page.rightClickRow(), -1);
    EXPECT_FALSE(page.validateCopy(true));

    // A phone row: Copy and Call; Copy takes the right-clicked row even with another row selected.
    page.outlineView()->selectionModel()->select(page.outlineView()->indexForRow(notesRow),
                                                 QItemSelectionModel::ClearAndSelect);
    menu = page.menuForOutlineViewRightClickOnSelectedOnRow(phoneRow);
    QStringList titles;
    for (QAction *action : menu->actions())
        titles << action->text();
    EXPECT_EQ(titles, (QStringList{"Copy", "Call"}));
    menu->actions().at(0)->trigger();
    EXPECT_EQ(QGuiApplication::clipboard()->text(), QStringLiteral("555-0100"));
    menu->actions().at(1)->trigger();
    EXPECT_EQ(host.calls, QStringList{QStringLiteral("555-0100")});

    // The main Copy takes the selection: the notes.
    ASSERT_TRUE(page.validateCopy(false));
    page.copy(false);
    EXPECT_EQ(QGuiApplication::clipboard()->text(), QStringLiteral("Line one"));

    // In editing mode there is no menu and no Copy; the first-row answer is no there either.
    page.editButtonSelected();
    EXPECT_EQ(page.menuForOutlineViewRightClickOnSelectedOnRow(phoneRow), nullptr);
    EXPECT_FALSE(page.validateCopy(false));
    EXPECT_FALSE(page.canHandleDownButton());
    EXPECT_FALSE(page.hasTableviewFirstSelection());
}

TEST_F(InfoEditsTest, MakingAContactPrivateAsksFirstAndKeepsTheCardOnRefusalOrFailure)
{
    installAddressBook();
    Person *person = storedPerson(QStringLiteral("Ann"));
    context->performAndWait([&] { ASSERT_TRUE(bridge->createABPersonRecord(*person, true, true)); });
    const QString uid = person->macUniqueIdentifier();
    ASSERT_FALSE(uid.isEmpty());
    RecordingHost host;
    ContactInfoViewControllerMac page(person, false, false, context);
    page.setContactsDelegate(&host);
    page.show();
    ASSERT_TRUE(page.isPrivateButton()->isEnabled());

    // "Cancel": the card stays, the box goes back off.
    platform::ui::AlertPresenter::shared().setNextAnswer(platform::ui::AlertAnswer::button(1));
    page.isPrivateButton()->click();
    QTest::qWait(20);
    EXPECT_EQ(alertTitles(), QStringList{QStringLiteral("Make this contact private?")});
    EXPECT_FALSE(page.isPrivateButton()->isChecked());
    EXPECT_FALSE(person->isContactPrivate());
    EXPECT_TRUE(book->recordForUniqueId(uid).has_value());

    // "Make Private": the card goes, the contact is private and saved so.
    platform::ui::AlertPresenter::shared().setNextAnswer(platform::ui::AlertAnswer::button(0));
    page.isPrivateButton()->click();
    QTest::qWait(20);
    EXPECT_TRUE(page.isPrivateButton()->isChecked());
    EXPECT_TRUE(person->isContactPrivate());
    EXPECT_TRUE(person->macUniqueIdentifier().isEmpty());
    EXPECT_FALSE(book->recordForUniqueId(uid).has_value());
    EXPECT_FALSE(context->hasChanges());
    EXPECT_GE(host.listUpdates, 1);

    // And back: a new card, no question asked.
    platform::ui::AlertPresenter::shared().clearShownAlerts();
    page.isPrivateButton()->click();
    EXPECT_TRUE(alertTitles().isEmpty());
    EXPECT_FALSE(page.isPrivateButton()->isChecked());
    EXPECT_FALSE(person->isContactPrivate());
    ASSERT_FALSE(person->macUniqueIdentifier().isEmpty());
    EXPECT_TRUE(book->recordForUniqueId(person->macUniqueIdentifier()).has_value());
}

TEST_F(InfoEditsTest, AnUnlinkedPublicContactCannotBeMadePrivate)
{
    Person *person = storedPerson(QStringLiteral("Ann"));
    ContactInfoViewControllerMac page(person, false, false, context);
    page.show();
    page.isPrivateButton()->click();
    EXPECT_EQ(alertTitles(), QStringList{QStringLiteral("Error")});
    EXPECT_EQ(platform::ui::AlertPresenter::shared().shownAlerts().first().spec.informativeText,
              QStringLiteral("Contact is not linked, so cannot be converted"));
    EXPECT_FALSE(page.isPrivateButton()->isChecked());
    EXPECT_FALSE(person->isContactPrivate());
}

TEST_F(InfoEditsTest, APictureIsReadStoredAndShownAndAnUnreadableFileChangesNothing)
{
    Person *person = storedPerson(QStringLiteral("Ann"), [](Person *p) { p->setIsContactPrivate(true); });
    ContactInfoViewControllerMac page(person, false, false, context);
    page.show();
    page.editButtonSelected();

    const QString bad = folder.filePath(QStringLiteral("notes.png"));
    QFile badFile(bad);
    ASSERT_TRUE(badFile.open(QIODevice::WriteOnly));
    badFile.write("not a picture");
    badFile.close();
    platform::ui::FilePanelPresenter::shared().setNextAnswer(platform::ui::FilePanelAnswer::choose(bad));
    page.contactImageButton()->click();
    EXPECT_TRUE(QTest::qWaitFor([&] { return !platform::ui::AlertPresenter::shared().shownAlerts().isEmpty(); }, 1000));
    EXPECT_EQ(alertTitles(), QStringList{QStringLiteral("Could not read the picture")});
    EXPECT_FALSE(person->privateImage().isValid() && !person->privateImage().toByteArray().isEmpty());

    const QString good = folder.filePath(QStringLiteral("face.png"));
    QFile goodFile(good);
    ASSERT_TRUE(goodFile.open(QIODevice::WriteOnly));
    goodFile.write(pngOf(Qt::red));
    goodFile.close();
    platform::ui::FilePanelPresenter::shared().setNextAnswer(platform::ui::FilePanelAnswer::choose(good));
    page.contactImageButton()->click();
    EXPECT_TRUE(QTest::qWaitFor([&] { return !person->privateImage().toByteArray().isEmpty(); }, 1000));
    QImage stored;
    ASSERT_TRUE(stored.loadFromData(person->privateImage().toByteArray()));
    EXPECT_EQ(stored.pixelColor(4, 4), QColor(Qt::red));
    EXPECT_FALSE(context->hasChanges());

    // Cancelled: nothing changes.
    platform::ui::FilePanelPresenter::shared().setNextAnswer(platform::ui::FilePanelAnswer::cancel());
    page.contactImageButton()->click();
    QTest::qWait(20);
    EXPECT_TRUE(stored.loadFromData(person->privateImage().toByteArray()));
}

TEST_F(InfoEditsTest, TheAddPagesPrivateBoxMovesThePictureWithoutTouchingTheAddressBook)
{
    installAddressBook();
    ContactInfoViewControllerMac page(nullptr, true, false, context);
    page.show();
    Person *person = page.detailPerson();
    ASSERT_TRUE(page.changeContactImage(pngOf(Qt::blue)));
    page.privateContext()->performAndWait([&] { EXPECT_FALSE(person->personImage().isEmpty()); });

    page.isPrivateButton()->click();
    page.privateContext()->performAndWait([&] {
        EXPECT_TRUE(person->isContactPrivate());
        EXPECT_TRUE(person->personImage().isEmpty());
        EXPECT_FALSE(person->privateImage().toByteArray().isEmpty());
    });
    page.isPrivateButton()->click();
    page.privateContext()->performAndWait([&] {
        EXPECT_FALSE(person->isContactPrivate());
        EXPECT_FALSE(person->personImage().isEmpty());
        EXPECT_TRUE(person->privateImage().toByteArray().isEmpty());
    });
    EXPECT_TRUE(alertTitles().isEmpty());
    EXPECT_EQ(book->people().size(), 0);
}

TEST_F(InfoEditsTest, TheBirthdayIsChosenInItsDateMenuInEditingModeOnly)
{
    Person *person = storedPerson(QStringLiteral("Ann"));
    ContactInfoViewControllerMac page(person, false, false, context);
    page.resize(700, 600);
    page.show();
    page.editButtonSelected();
    page.addPersonField(BirthdayTitle);
    ContactInfoRowPtr row;
    for (const ContactInfoRowPtr &candidate : page.model().rows(OtherInfoKey))
        if (candidate->key == BirthdayTitle)
            row = candidate;
    ASSERT_TRUE(row);
    auto *button = qobject_cast<QPushButton *>(page.cellForRow(row)->findChild<QPushButton *>(QStringLiteral("dateButton")));
    ASSERT_NE(button, nullptr);
    ASSERT_TRUE(button->isEnabled());
    button->click();
    ASSERT_NE(page.dateMenu(), nullptr);
    auto *calendar = page.dateMenu()->findChild<QCalendarWidget *>();
    ASSERT_NE(calendar, nullptr);
    emit calendar->activated(QDate(1990, 3, 3));
    page.editButtonSelected();
    platform::store::ContextPtr fresh = newContext();
    auto *reread = dynamic_cast<Person *>(fresh->objectWithID(person->objectID()));
    ASSERT_NE(reread->personinfo(), nullptr);
    EXPECT_EQ(reread->personinfo()->birthday().toLocalTime().date(), QDate(1990, 3, 3));

    // Outside editing mode the button does nothing.
    QList<ContactInfoRowPtr> other = page.model().rows(OtherInfoKey);
    ASSERT_FALSE(other.isEmpty());
    QMenu *before = page.dateMenu();
    page.birthdayButtonSelected(other.first(), nullptr);
    EXPECT_EQ(page.dateMenu(), before);
    EXPECT_FALSE(before->isVisible());
}

} // namespace
