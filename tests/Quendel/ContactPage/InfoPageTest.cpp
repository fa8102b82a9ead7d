#include "ContactPageFixture.h"

#include "Mac/ContactPage/ContactInfoTableCellViewMac.h"
#include "Mac/ContactPage/ContactLogsViewControllerMac.h"
#include "Mac/ContactPage/ContactPageTabsMac.h"
#include "Mac/ContactPage/ContactTodoViewControllerMac.h"
#include "Mac/Shell/CustomNSOutlineView.h"

#include "platform/ui/Sheet.h"

#include <QLabel>
#include <QMenu>
#include <QSignalSpy>
#include <QStandardItemModel>
#include <QTest>

using namespace quendel::test;
using namespace contact_info;

namespace {

class RecordingHost : public ContactPageDelegate
{
public:
    KeyDelegateKinds keyDelegateKinds() const override { return KeyDelegateKind::MacContactsViewController; }
    void subviewPressedUpButton() override { ++upPresses; }
    void contactUpdateName() override { ++nameUpdates; }
    void showEmailDraftPageWithEmails(const QStringList &emails) override { drafts.append(emails); }
    void makeCallUsingNumber(const QString &number) override { calls.append(number); }
    int upPresses = 0;
    int nameUpdates = 0;
    QStringList drafts;
    QStringList calls;
};

class RecordingAddDelegate : public QDAddContactDelegate
{
public:
    void addedNewContactWithPerson(Person *person) override { added.append(person); }
    QList<Person *> added;
};

// The sections and identifiers of the page's outline, one line per row.
QStringList outlineLines(ContactInfoViewControllerMac &page)
{
    QStringList lines;
    auto *model = qobject_cast<QStandardItemModel *>(page.outlineView()->model());
    for (int s = 0; s < model->rowCount(); ++s) {
        lines.append(model->item(s)->text());
        for (int r = 0; r < model->item(s)->rowCount(); ++r)
            lines.append(QStringLiteral("  ") + page.cellIdentifierForIndex(model->item(s)->child(r)->index()));
    }
    return lines;
}

ContactInfoTableCellViewMac *editingCell(ContactInfoViewControllerMac &page, const ContactInfoRowPtr &row)
{
    return dynamic_cast<ContactInfoTableCellViewMac *>(page.cellForRow(row));
}

void typeAndReturn(QLineEdit *field, const QString &text)
{
    field->setFocus();
    QTest::keyClicks(field, text);
    QTest::keyClick(field, Qt::Key_Return);
}

TEST_F(ContactPageTest, EditingModeTogglesTheBandButtonsKeysAndRows)
{
    Person *person = storedPerson(QStringLiteral("Ann"), [this](Person *p) {
        p->addEmailWithEmail(QStringLiteral("a@example.com"), QStringLiteral("home"), context.get());
    });
    RecordingHost host;
    ContactInfoViewControllerMac page(person, false, false, context);
    page.setContactsDelegate(&host);
    page.resize(700, 600);
    page.show();

    EXPECT_EQ(page.pageKind(), ContactInfoViewControllerMac::PageKind::Contact);
    EXPECT_EQ(page.privateContext(), context.get());
    EXPECT_EQ(page.cancelButton(), nullptr);
    EXPECT_EQ(page.editButton()->text(), QStringLiteral("Edit"));
    EXPECT_EQ(page.editButtonKeyEquivalent(), QStringLiteral("e"));
    EXPECT_EQ(page.topViewConstraint(), 0);
    EXPECT_FALSE(page.addFieldsButton()->isVisible());
    EXPECT_EQ(outlineLines(page),
              (QStringList{"Emails", "  DataCell", "Groups", "  DataCell", "  DataCell", "Notes", "  DataCell"}));
    EXPECT_EQ(page.messageLabelButton()->text(),
              QStringLiteral("Contact is not linked to any record in the Address Book"));

    page.editButtonSelected();
    EXPECT_TRUE(page.isEditingContact());
    EXPECT_EQ(page.editButton()->text(), QStringLiteral("Done"));
    EXPECT_EQ(page.editButtonKeyEquivalent(), QStringLiteral("s"));
    EXPECT_EQ(page.topViewConstraint(), ContactInfoViewControllerMac::TopViewEditingHeight);
    EXPECT_EQ(page.messageButtonConstraint(), ContactInfoViewControllerMac::MessageButtonEditingOffset);
    EXPECT_TRUE(page.addFieldsButton()->isVisible());
    EXPECT_EQ(outlineLines(page),
              (QStringList{"Phones", "  DataEditingCell", "Emails", "  DataEditingCell", "  DataEditingCell",
                           "Addresses", "  AddressEditingCell", "URLs", "  DataEditingCell", "Groups", "  DataCell",
                           "  DataCell", "Notes", "  DataCell"}));

    // A number typed on the empty phone row is stored and saved at once.
    ContactInfoTableCellViewMac *phoneCell = editingCell(page, page.model().rows(PhonesKey).last());
    ASSERT_NE(phoneCell, nullptr);
    EXPECT_EQ(phoneCell->valueField()->placeholderText(), QStringLiteral("Add"));
    phoneCell->popupTitleButton()->setCurrentText(QStringLiteral("work"));
    typeAndReturn(phoneCell->valueField(), QStringLiteral("555-0100"));
    QTest::qWait(20);
    ASSERT_EQ(page.model().rows(PhonesKey).size(), 2);
    EXPECT_TRUE(page.model().rows(PhonesKey).last()->placeholder);
    platform::store::ContextPtr fresh;
    auto *reread = dynamic_cast<Person *>((fresh = newContext())->objectWithID(person->objectID()));
    ASSERT_EQ(reread->phones().size(), 1);
    EXPECT_EQ(reread->phones().first()->phoneNumber(), QStringLiteral("555-0100"));
    EXPECT_EQ(reread->phones().first()->label(), QStringLiteral("work"));

    // Leaving editing mode stores the field being edited, saves and rebuilds from the store.
    ContactInfoTableCellViewMac *emailCell = editingCell(page, page.model().rows(EmailsKey).first());
    emailCell->valueField()->setFocus();
    emailCell->valueField()->setText(QStringLiteral("b@example.com"));
    page.editButtonSelected();
    EXPECT_FALSE(page.isEditingContact());
    EXPECT_EQ(page.editButtonKeyEquivalent(), QStringLiteral("e"));
    EXPECT_EQ(host.upPresses, 1);
    EXPECT_EQ(outlineLines(page), (QStringList{"Phones", "  DataCell", "Emails", "  DataCell", "Groups", "  DataCell",
                                               "  DataCell", "Notes", "  DataCell"}));
    fresh = newContext();
    reread = dynamic_cast<Person *>(fresh->objectWithID(person->objectID()));
    EXPECT_EQ(reread->emails().first()->emailAddress(), QStringLiteral("b@example.com"));
    EXPECT_FALSE(context->hasChanges());
}

TEST_F(ContactPageTest, RowHeightsFollowTheirContent)
{
    Person *person = storedPerson(QStringLiteral("Ann"), [this](Person *p) {
        p->addPhoneNumberWithNumber(QStringLiteral("1"), QStringLiteral("home"), context.get());
        p->addAddressWithText(QString(QLatin1String("")), QStringLiteral("street"), QString(), QString(),
                              context.get());
        p->setNotesField(QString(200, QLatin1Char('x')).replace(QLatin1Char('x'), QStringLiteral("word ")));
    });
    ContactInfoViewControllerMac page(person, false, false, context);
    page.setBoxWidth(600);
    const auto heightOf = [&](const QString &section) {
        return page.heightOfRowByItem(page.indexForRow(page.model().rows(section).first()));
    };
    auto *model = qobject_cast<QStandardItemModel *>(page.outlineView()->model());
    EXPECT_EQ(page.heightOfRowByItem(model->item(0)->index()), 30);
    EXPECT_EQ(heightOf(PhonesKey), ContactInfoViewControllerMac::StandardRowHeight);
    const int emptyAddress = heightOf(AddressesKey);
    EXPECT_GT(emptyAddress, 25);                 // measured with "None"
    EXPECT_GT(heightOf(NotesKey), emptyAddress); // long notes wrap at the box width
    page.editButtonSelected();
    EXPECT_EQ(heightOf(AddressesKey), ContactInfoViewControllerMac::AddressEditingRowHeight);
}

TEST_F(ContactPageTest, AddFieldMenuRemoveFieldAndClicks)
{
    Person *person = storedPerson(QStringLiteral("Ann"), [this](Person *p) {
        p->setPrefixName(QStringLiteral("Dr"));
        p->setNotesField(QStringLiteral("n"));
        p->setBirthdayFieldWithDate(clock->utcNow());
        p->addPhoneNumberWithNumber(QString(QLatin1String("")), QStringLiteral("home"), context.get());
        p->addEmailWithEmail(QStringLiteral("a@example.com"), QStringLiteral("home"), context.get());
    });
    RecordingHost host;
    ContactInfoViewControllerMac page(person, false, false, context);
    page.setContactsDelegate(&host);
    EXPECT_NE(page.prefixNameTextField(), nullptr); // the stored prefix shows its field

    // Outside editing mode a double click acts on the row.
    page.doubleClickAction(page.indexForRow(page.model().rows(EmailsKey).first()));
    EXPECT_EQ(host.drafts, QStringList{QStringLiteral("a@example.com")});
    page.doubleClickAction(page.indexForRow(page.model().rows(PhonesKey).first()));
    EXPECT_TRUE(host.calls.isEmpty()); // an empty number places no call

    page.editButtonSelected();
    std::unique_ptr<QMenu> menu(page.buildAddFieldMenu());
    QStringList titles;
    QList<int> tags;
    for (QAction *action : menu->actions()) {
        titles.append(action->text());
        tags.append(action->data().toInt());
    }
    EXPECT_EQ(menu->title(), QStringLiteral("Add Field"));
    EXPECT_EQ(titles, (QStringList{"Suffix", "Department", "Job Title", "Middle Name", "Nickname"}));
    EXPECT_EQ(tags, (QList<int>{0, 1, 2, 3, 4}));

    page.addPersonField(QStringLiteral("Job Title"));
    ASSERT_TRUE(page.model().sortedKeys().contains(OtherInfoKey));
    EXPECT_EQ(page.model().rows(OtherInfoKey).last()->key, QStringLiteral("Job Title"));
    page.addPersonField(QStringLiteral("Middle Name"));
    EXPECT_NE(page.middleNameTextField(), nullptr);

    // Remove: nothing on the empty row, the e-mail on its row.
    page.outlineView()->selectionModel()->select(page.indexForRow(page.model().rows(EmailsKey).last()),
                                                 QItemSelectionModel::ClearAndSelect);
    page.removeFieldsButtonPressed();
    EXPECT_EQ(page.model().rows(EmailsKey).size(), 2);
    page.outlineView()->selectionModel()->select(page.indexForRow(page.model().rows(EmailsKey).first()),
                                                 QItemSelectionModel::ClearAndSelect);
    page.removeFieldsButtonPressed();
    EXPECT_EQ(page.model().rows(EmailsKey).size(), 1);
    platform::store::ContextPtr fresh = newContext();
    EXPECT_TRUE(dynamic_cast<Person *>(fresh->objectWithID(person->objectID()))->emails().isEmpty());
}

TEST_F(ContactPageTest, WebsitesOpenOnlyAsHttpOrHttps)
{
    QList<QUrl> opened;
    ContactInfoViewControllerMac::setUrlOpener([&](const QUrl &url) {
        opened.append(url);
        return true;
    });
    Person *person = storedPerson(QStringLiteral("Ann"), [this](Person *p) {
        p->addWebsiteWithURLString(QStringLiteral("javascript:alert(1)"), QStringLiteral("home"), context.get());
        p->addWebsiteWithURLString(QStringLiteral("example.com/about"), QStringLiteral("work"), context.get());
    });
    ContactInfoViewControllerMac page(person, false, false, context);
    for (const ContactInfoRowPtr &row : page.model().rows(URLsKey))
        page.doubleClickAction(page.indexForRow(row));
    EXPECT_EQ(opened.size(), 1);
    EXPECT_EQ(opened.value(0).toString(), QStringLiteral("http://example.com/about"));
    EXPECT_FALSE(page.openWebsiteInBrowserWithString(QStringLiteral("file:///etc/passwd")));
    ContactInfoViewControllerMac::setUrlOpener({});
}

TEST_F(ContactPageTest, CancelOnTheAddPageLeavesTheStoreUnchanged)
{
    storedPerson(QStringLiteral("Existing"));
    RecordingAddDelegate delegate;
    auto *page = ContactPageTabsMac::makeAddContactPage(false, context);
    page->setAddContactDelegate(&delegate);
    EXPECT_EQ(page->privateContext()->name(), ContactInfoViewControllerMac::PrivateContextName);
    EXPECT_EQ(page->privateContext()->parentContext(), context);
    EXPECT_EQ(page->editButton()->text(), QStringLiteral("Add"));
    EXPECT_TRUE(page->isEditingContact());

    typeAndReturn(page->firstNameTextfield(), QStringLiteral("Zoe"));
    ContactInfoTableCellViewMac *phoneCell = editingCell(*page, page->model().rows(PhonesKey).last());
    typeAndReturn(phoneCell->valueField(), QStringLiteral("555"));
    QTest::qWait(20);
    ContactInfoTableCellViewMac *addressCell = editingCell(*page, page->model().rows(AddressesKey).last());
    typeAndReturn(addressCell->addressStreetField(), QStringLiteral("1 Main St"));
    QTest::qWait(20);
    EXPECT_EQ(page->model().rows(AddressesKey).size(), 2);

    QSignalSpy finished(page, &ContactInfoViewControllerMac::pageFinished);
    page->cancelButton()->click();
    EXPECT_EQ(finished.size(), 1);
    EXPECT_FALSE(finished.value(0).value(0).toBool());
    EXPECT_TRUE(delegate.added.isEmpty());
    EXPECT_FALSE(context->hasChanges());
    save(context); // a later save of the main context stores no half-made contact
    platform::store::ContextPtr fresh;
    const QList<Person *> stored = storedPersons(fresh);
    ASSERT_EQ(stored.size(), 1);
    EXPECT_EQ(stored.first()->firstName(), QStringLiteral("Existing"));
    EXPECT_EQ(Phones::fetchRequest().entityName(), QStringLiteral("Phones"));
    EXPECT_EQ(fresh->countForFetchRequest(Phones::fetchRequest()), 0);
    EXPECT_EQ(fresh->countForFetchRequest(PersonAddress::fetchRequest()), 0);
    delete page;
}

TEST_F(ContactPageTest, AddingAContactInASheetStoresItWithItsDetails)
{
    QWidget mainWindow;
    mainWindow.resize(900, 700);
    mainWindow.show();
    RecordingAddDelegate delegate;
    auto *sheet = new platform::ui::Sheet(&mainWindow);
    auto *page = ContactPageTabsMac::makeAddContactPage(true, context);
    page->setAddContactDelegate(&delegate);
    sheet->setContentWidget(page);
    int sheetCode = -1;
    sheet->beginSheet(&mainWindow, [&](int code) { sheetCode = code; });
    ASSERT_TRUE(QTest::qWaitForWindowExposed(sheet));
    EXPECT_TRUE(page->isPrivateButton()->isChecked());

    typeAndReturn(page->firstNameTextfield(), QStringLiteral("Zoe"));
    typeAndReturn(page->lastNameTextfield(), QStringLiteral("Quill"));
    typeAndReturn(editingCell(*page, page->model().rows(PhonesKey).last())->valueField(), QStringLiteral("555-0199"));
    QTest::qWait(20);
    typeAndReturn(editingCell(*page, page->model().rows(EmailsKey).last())->valueField(),
                  QStringLiteral("zoe@example.com"));
    QTest::qWait(20);
    ContactInfoTableCellViewMac *address = editingCell(*page, page->model().rows(AddressesKey).last());
    address->addressCountryField()->setText(QStringLiteral("Canada"));
    typeAndReturn(address->addressStreetField(), QStringLiteral("1 Main St"));
    QTest::qWait(20);
    EXPECT_FALSE(context->hasChanges()); // nothing reaches the main context before "Add"

    QTest::mouseClick(page->editButton(), Qt::LeftButton);
    EXPECT_EQ(sheetCode, platform::ui::ModalResponseOK);
    ASSERT_EQ(delegate.added.size(), 1);

    platform::store::ContextPtr fresh;
    const QList<Person *> stored = storedPersons(fresh);
    ASSERT_EQ(stored.size(), 1);
    Person *zoe = stored.first();
    EXPECT_EQ(zoe->firstName(), QStringLiteral("Zoe"));
    EXPECT_EQ(zoe->lastName(), QStringLiteral("Quill"));
    EXPECT_EQ(zoe->displayName(), QStringLiteral("Zoe Quill"));
    EXPECT_TRUE(zoe->isContactPrivate());
    EXPECT_FALSE(zoe->guid().isEmpty());
    ASSERT_EQ(zoe->phones().size(), 1);
    EXPECT_EQ(zoe->phones().first()->phoneNumber(), QStringLiteral("555-0199"));
    ASSERT_EQ(zoe->emails().size(), 1);
    EXPECT_EQ(zoe->emails().first()->emailAddress(), QStringLiteral("zoe@example.com"));
    ASSERT_EQ(zoe->addresses().size(), 1);
    EXPECT_EQ(zoe->addresses().first()->street(), QStringLiteral("1 Main St"));
    EXPECT_EQ(zoe->addresses().first()->country(), QStringLiteral("Canada"));
}

TEST_F(ContactPageTest, AFailedSaveKeepsTheAddPageOpenAndSaysWhy)
{
    // A main context without a store file: its saves fail.
    auto unsaved = platform::store::ManagedObjectContext::create(
        platform::store::ManagedObjectContext::ConcurrencyType::MainQueue);
    unsaved->setPersistentStoreCoordinator(std::make_shared<platform::store::StoreCoordinator>(model));
    RecordingAddDelegate delegate;
    auto *page = ContactPageTabsMac::makeAddContactPage(false, unsaved);
    page->setAddContactDelegate(&delegate);
    QSignalSpy finished(page, &ContactInfoViewControllerMac::pageFinished);
    typeAndReturn(page->firstNameTextfield(), QStringLiteral("Zoe"));
    platform::ui::AlertPresenter::shared().setNextAnswer(platform::ui::AlertAnswer::button(0));
    EXPECT_FALSE(page->doneAddNewContact());
    EXPECT_EQ(finished.size(), 0);
    EXPECT_TRUE(delegate.added.isEmpty());
    EXPECT_EQ(alertTitles(), QStringList{QStringLiteral("Could not save contact")});
    EXPECT_EQ(page->firstNameTextfield()->text(), QStringLiteral("Zoe"));

    // The new contact reached the main context before its save failed; Cancel now takes it back.
    EXPECT_FALSE(unsaved->insertedObjects().isEmpty());
    page->cancelButtonPressed();
    EXPECT_EQ(finished.size(), 1);
    EXPECT_TRUE(unsaved->insertedObjects().isEmpty());
    delete page;
}

TEST_F(ContactPageTest, TheClonePageNeedsADifferentName)
{
    Person *source = storedPerson(QStringLiteral("Ann"), [this](Person *p) {
        p->setLastName(QStringLiteral("Lee"));
        p->addPhoneNumberWithNumber(QStringLiteral("555"), QStringLiteral("home"), context.get());
        p->addWebsiteWithURLString(QStringLiteral("example.com"), QStringLiteral("home"), context.get());
    });
    const QString sourceGuid = source->guid();
    RecordingAddDelegate delegate;
    auto *page = ContactPageTabsMac::makeClonePage(source, context);
    page->setAddContactDelegate(&delegate);
    EXPECT_EQ(page->pageKind(), ContactInfoViewControllerMac::PageKind::Clone);
    EXPECT_EQ(page->originalCloneObject(), source);
    EXPECT_EQ(page->firstNameTextfield()->text(), QStringLiteral("Ann"));
    EXPECT_EQ(page->model().rows(PhonesKey).size(), 2); // the copied phone and the empty row
    EXPECT_EQ(page->model().rows(URLsKey).size(), 1);   // websites are not copied

    platform::ui::AlertPresenter::shared().setNextAnswer(platform::ui::AlertAnswer::button(0));
    EXPECT_FALSE(page->doneAddNewContact());
    EXPECT_EQ(alertTitles(), QStringList{QStringLiteral("Could not clone contact")});
    EXPECT_FALSE(context->hasChanges());

    page->firstNameTextfield()->setText(QStringLiteral("Bea"));
    emit page->firstNameTextfield()->editingFinished();
    EXPECT_TRUE(page->doneAddNewContact());
    ASSERT_EQ(delegate.added.size(), 1);
    platform::store::ContextPtr fresh;
    const QList<Person *> stored = storedPersons(fresh);
    ASSERT_EQ(stored.size(), 2);
    Person *copy = stored.first()->firstName() == QLatin1String("Bea") ? stored.first() : stored.last();
    EXPECT_EQ(copy->displayName(), QStringLiteral("Bea Lee"));
    EXPECT_EQ(copy->phones().size(), 1);
    EXPECT_NE(copy->guid(), sourceGuid);
    EXPECT_EQ(source->guid(), sourceGuid);
    delete page;
}

TEST_F(ContactPageTest, TabsShowTheInfoPageTheJournalTabsAndEmptyPanes)
{
    Person *person = storedPerson(QStringLiteral("Ann"));
    RecordingHost host;
    ContactPageTabsMac tabs(&host, context);
    tabs.showContact(person, ContactPageTabsMac::InfoTab);
    EXPECT_EQ(tabs.currentTab(), 5);
    ASSERT_NE(tabs.infoPage(), nullptr);
    EXPECT_EQ(tabs.infoPage()->detailPerson(), person);
    EXPECT_EQ(tabs.infoPage()->contactsDelegate(), &host);
    EXPECT_TRUE(tabs.tabButton(5)->isChecked());

    tabs.infoPage()->editButtonSelected();
    tabs.tabButton(2)->click(); // leaving the Info tab collapses its editing band
    EXPECT_EQ(tabs.currentTab(), 2);
    EXPECT_FALSE(tabs.infoPage()->showTopView());
    EXPECT_NE(qobject_cast<ContactTodoViewControllerMac *>(tabs.paneForTab(2)), nullptr);
    EXPECT_NE(qobject_cast<ContactLogsViewControllerMac *>(tabs.paneForTab(1)), nullptr);
    CommonListViewMac *fields = tabs.paneForTab(4);
    ASSERT_NE(fields, nullptr);
    EXPECT_TRUE(fields->showingFillerText());
    EXPECT_EQ(fields->fillerText()->geometry().top(), 1);

    auto factory = ContactPagePane::tabFactory(context);
    std::unique_ptr<ContactPageTab> info(factory(5, person));
    ASSERT_NE(info, nullptr);
    EXPECT_NE(qobject_cast<ContactInfoViewControllerMac *>(info->view()), nullptr);
    info->editButtonSelected(nullptr);
    EXPECT_TRUE(info->isEditing());
    std::unique_ptr<ContactPageTab> logs(factory(1, person));
    EXPECT_NE(qobject_cast<ContactLogsViewControllerMac *>(logs->view()), nullptr);
    EXPECT_EQ(factory(6, person), nullptr);
}

} // namespace
