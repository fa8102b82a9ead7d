#include "ContactsFixture.h"

#include "Classes/CoreDataControllerShared.h"
#include "Mac/ContactPage/CommonListViewMac.h"
#include "Mac/ContactPage/ContactPageTabsMac.h"
#include "Mac/ContactPage/ContactTabButton.h"
#include "Mac/Journal/MacAddEditLogsViewController.h"
#include "Mac/Journal/MacAddEditTodosViewController.h"
#include "Mac/Shell/CustomNSOutlineView.h"
#include "Mac/Contacts/ContactsListItemModel.h"
#include "Mac/Contacts/ContactsListRowView.h"
#include "Mac/Shell/CustomNSOutlineViewWithDelegates.h"
#include "Mac/Contacts/MacContactsViewController.h"

#include "QuendelKit/Entities/Log.h"
#include "QuendelKit/Settings/DataPlistValues.h"

#include "platform/core/Clock.h"
#include "platform/core/NotificationCenter.h"
#include "platform/store/FetchRequest.h"
#include "platform/ui/AlertPresenter.h"
#include "platform/ui/Sheet.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QToolButton>
#include <QTest>
#include <QVBoxLayout>

namespace {

using namespace contacts_test;
using Kind = ContactsListDisplaySource::Item::Kind;

class ContactsSectionWidgetTest : public ContactsStoreTest
{
protected:
    void SetUp() override
    {
        ContactsStoreTest::SetUp();
        ann = addPerson(QStringLiteral("Ann"), QStringLiteral("Adams"));
        bob = addPerson(QStringLiteral("Bob"), QStringLiteral("Brown"), QStringLiteral("Brown & Co"));
        addPerson(QString(), QString(), QStringLiteral("Acme"));
        addPerson(QStringLiteral("Cleo"), QStringLiteral("Carter"));
        save(context);

        queue = platform::core::DispatchQueue::serial(CoreDataControllerShared::FilterMainQueueLabel);
        window = std::make_unique<QWidget>();
        window->resize(1100, 700);
        auto *layout = new QVBoxLayout(window.get());
        searchField = new QLineEdit(window.get());
        layout->addWidget(searchField);
        section = new MacContactsViewController(context, window.get());
        section->setFilterQueue(queue);
        // The application's own panes, made as the running program makes them.
        section->setTabFactory([this](int tab, Person *person) {
            madeTabs.append(tab);
            return ContactPagePane::tabFactory(context)(tab, person);
        });
        section->loadViewIfNeeded();
        layout->addWidget(section, 1);
        // The toolbar's search field hands the Contacts section the text as typed.
        QObject::connect(searchField, &QLineEdit::textChanged, section,
                         [this](const QString &text) { section->searchResultsWithString(text); });
        window->show();
        QCoreApplication::processEvents(); // the set-up's queued half
    }
    void TearDown() override
    {
        window.reset();
        queue.reset();
        ContactsStoreTest::TearDown();
    }

    CustomNSOutlineViewWithDelegates *list() const { return section->contactsOutlineView(); }

    // The names on the visible contact rows, top to bottom.
    QStringList visibleContacts() const
    {
        QStringList names;
        for (QModelIndex index = list()->model()->index(0, 0); index.isValid(); index = list()->indexBelow(index)) {
            if (Kind(index.data(ContactsListItemModel::ItemKindRole).toInt()) == Kind::Contact)
                names << index.data().toString();
        }
        return names;
    }

    bool waitFor(const std::function<bool()> &condition)
    {
        QElapsedTimer timer;
        timer.start();
        while (!condition() && timer.elapsed() < 5000) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
            QThread::msleep(2);
        }
        return condition();
    }

    void clickContact(Person *person, Qt::KeyboardModifiers modifiers = {})
    {
        const QModelIndex index = section->contactsListModel()->indexForPerson(person);
        ASSERT_TRUE(index.isValid());
        const QRect rect = list()->visualRect(index);
        QTest::mouseClick(list()->viewport(), Qt::LeftButton, modifiers, rect.center());
    }

    Person *ann = nullptr;
    Person *bob = nullptr;
    std::shared_ptr<platform::core::DispatchQueue> queue;
    std::unique_ptr<QWidget> window;
    QLineEdit *searchField = nullptr;
    MacContactsViewController *section = nullptr;
    QList<int> madeTabs;
};

TEST_F(ContactsSectionWidgetTest, TypingInTheSearchFieldChangesTheRows)
{
    EXPECT_EQ(visibleContacts(),
              (QStringList{QStringLiteral("Acme"), QStringLiteral("Ann Adams"), QStringLiteral("Bob Brown"),
                           QStringLiteral("Cleo Carter")}));
    EXPECT_EQ(section->contactsListModel()->footerIndex().data().toString(), QStringLiteral("4 contacts"));

    QTest::keyClicks(searchField, QStringLiteral("br"));
    ASSERT_TRUE(waitFor([&] { return visibleContacts() == QStringList{QStringLiteral("Bob Brown")}; }))
        << visibleContacts().join(QLatin1Char(',')).toStdString();
    EXPECT_EQ(section->contactsListModel()->footerIndex().data().toString(), QStringLiteral("1 contacts"));

    QTest::keyClick(searchField, Qt::Key_Backspace);
    QTest::keyClick(searchField, Qt::Key_Backspace);
    ASSERT_TRUE(waitFor([&] { return visibleContacts().size() == 4; }));

    QTest::keyClicks(searchField, QStringLiteral("zzz"));
    ASSERT_TRUE(waitFor([&] { return visibleContacts().isEmpty(); }));
    dataPlistValues().setValue(MacContactsViewController::FirstContactCreatedKey, true);
    EXPECT_EQ(section->getFooterTextMessage(), QStringLiteral("No saved contacts"));
    dataPlistValues().remove(MacContactsViewController::FirstContactCreatedKey);
    EXPECT_EQ(section->getFooterTextMessage(), MacContactsViewController::WelcomeText);
}

TEST_F(ContactsSectionWidgetTest, ClickingAContactShowsItsPageAndTwoEmptyIt)
{
    EXPECT_FALSE(section->tabButton(1)->isEnabled());
    EXPECT_EQ(section->tabStripToolTip(), MacContactsViewController::NoContactSelectedToolTip);

    clickContact(ann);
    EXPECT_EQ(section->contactsListSource()->selectedContactInSource(), ann);
    EXPECT_TRUE(section->tabButton(1)->isEnabled());
    EXPECT_EQ(section->currentSegmentState(), 1);
    EXPECT_EQ(madeTabs, QList<int>{1});
    EXPECT_EQ(section->displayNameLabel()->text(), QStringLiteral("Ann Adams"));
    EXPECT_EQ(section->tabStripImageName(), QStringLiteral("Logs-tab-all"));

    // Clicking the same contact again makes no new tab.
    clickContact(ann);
    EXPECT_EQ(madeTabs.size(), 1);

    // The ToDos tab, then another contact: it opens on ToDos, with only that tab made anew.
    section->tabButton(2)->click();
    EXPECT_EQ(section->currentSegmentState(), 2);
    clickContact(bob);
    EXPECT_EQ(madeTabs, (QList<int>{1, 2, 2}));
    EXPECT_EQ(section->tabController(1), nullptr);
    EXPECT_EQ(section->companyNameLabel()->text(), QStringLiteral("Brown & Co"));

    // The Info tab hides its add button; the others show theirs.
    section->tabButtonSelected(5);
    EXPECT_TRUE(section->addButton(5)->isHidden());
    section->tabButtonSelected(1);
    EXPECT_FALSE(section->addButton(1)->isHidden());

    // Two contacts: the page empties and its buttons are off.
    clickContact(ann, Qt::ControlModifier);
    EXPECT_EQ(section->contactsListSource()->selectedContactInSource(), nullptr);
    EXPECT_EQ(section->contactsListSource()->selectedObjects().size(), 2);
    EXPECT_FALSE(section->tabButton(3)->isEnabled());
    EXPECT_FALSE(section->callButton()->isEnabled());
    EXPECT_EQ(section->tabController(1), nullptr);
}

TEST_F(ContactsSectionWidgetTest, SectionKeysAndTheFooterCannotBeSelected)
{
    const QModelIndex key = section->contactsListModel()->index(0, 0);
    QTest::mouseClick(list()->viewport(), Qt::LeftButton, {}, list()->visualRect(key).center());
    EXPECT_FALSE(list()->selectionModel()->hasSelection());
    const QModelIndex footer = section->contactsListModel()->footerIndex();
    QTest::mouseClick(list()->viewport(), Qt::LeftButton, {}, list()->visualRect(footer).center());
    EXPECT_FALSE(list()->selectionModel()->hasSelection());
    EXPECT_GT(list()->visualRect(footer).height(), 0);
}

TEST_F(ContactsSectionWidgetTest, TabButtonsMoveWithTheArrowsAndSpaceAdds)
{
    section->selectContactPageWithPerson(ann, 1);
    ContactTabButton *logs = section->tabButton(1);
    EXPECT_TRUE(section->addButton(1)->isEnabled());
    QTest::keyClick(logs, Qt::Key_Right);
    EXPECT_EQ(section->currentSegmentState(), 2);
    // Space on the ToDos tab opens the to-do editor for the contact.
    EXPECT_TRUE(section->addButton(2)->isEnabled());
    QTest::keyClick(section->tabButton(2), Qt::Key_Space);
    ASSERT_EQ(platform::ui::Sheet::attachedSheets(window.get()).size(), 1);
    auto *todoEditor = qobject_cast<MacAddEditTodosViewController *>(
        platform::ui::Sheet::attachedSheets(window.get()).first()->contentWidget());
    ASSERT_NE(todoEditor, nullptr);
    EXPECT_EQ(todoEditor->detailPerson(), ann);
    QTest::mouseClick(todoEditor->cancelButton(), Qt::LeftButton);
    EXPECT_TRUE(waitFor([&] { return platform::ui::Sheet::attachedSheets(window.get()).isEmpty(); }));
    QTest::keyClick(section->tabButton(2), Qt::Key_Left);
    EXPECT_EQ(section->currentSegmentState(), 1);
    // Space on the Logs tab opens the log editor for the contact.
    QTest::keyClick(logs, Qt::Key_Space);
    ASSERT_EQ(platform::ui::Sheet::attachedSheets(window.get()).size(), 1);
    auto *editor = qobject_cast<MacAddEditLogsViewController *>(
        platform::ui::Sheet::attachedSheets(window.get()).first()->contentWidget());
    ASSERT_NE(editor, nullptr);
    EXPECT_EQ(editor->detailPerson(), ann);
    QTest::mouseClick(editor->cancelButton(), Qt::LeftButton);
    EXPECT_TRUE(waitFor([&] { return platform::ui::Sheet::attachedSheets(window.get()).isEmpty(); }));
    // Left on the first tab goes back to the list.
    QTest::keyClick(logs, Qt::Key_Left);
    EXPECT_TRUE(list()->hasFocus());
}

TEST_F(ContactsSectionWidgetTest, TheRealPanesTakeAddDeleteAndTheKeysBetweenTabButtonAndList)
{
    auto *log = insert<Log>();
    log->setLogNote(QStringLiteral("Met at the fair"));
    log->setLogDate(platform::core::Clock::now());
    log->setPerson(ann);
    save(context);
    section->selectContactPageWithPerson(ann, 1);
    ContactPageTab *tab = section->tabController(1);
    ASSERT_NE(tab, nullptr);
    EXPECT_TRUE(tab->canAddRecords());
    auto *logsList = qobject_cast<CustomNSOutlineView *>(tab->listView());
    ASSERT_NE(logsList, nullptr);
    ASSERT_TRUE(waitFor([&] { return logsList->model()->rowCount() == 1; }));

    // Down from the tab button selects the first log and hands the list the keyboard; Up gives it back.
    section->tabButton(1)->setFocus();
    QTest::keyClick(section->tabButton(1), Qt::Key_Down);
    EXPECT_TRUE(logsList->hasFocus());
    ASSERT_EQ(logsList->selectionModel()->selectedRows().size(), 1);
    EXPECT_TRUE(logsList->selectionModel()->selectedRows().first().data().toString().contains(QStringLiteral("fair")));
    QTest::keyClick(logsList, Qt::Key_Up);
    EXPECT_TRUE(section->tabButton(1)->hasFocus());
    EXPECT_FALSE(logsList->selectionModel()->hasSelection());

    // Delete with the list in hand asks first; "Delete" removes the log from the store.
    QTest::keyClick(section->tabButton(1), Qt::Key_Down);
    auto &alerts = platform::ui::AlertPresenter::shared();
    alerts.clearShownAlerts();
    alerts.setNextAnswer(platform::ui::AlertAnswer::button(0));
    EXPECT_TRUE(section->validateMenuItem(nullptr));
    section->performDelete(nullptr);
    ASSERT_EQ(alerts.shownAlerts().size(), 1);
    EXPECT_EQ(alerts.shownAlerts().first().spec.messageText, QStringLiteral("Delete Log"));
    EXPECT_TRUE(waitFor([&] { return logsList->model()->rowCount() == 0; }));
    EXPECT_EQ(context->countForFetchRequest(platform::store::FetchRequest(Log::EntityName)), 0);

    // The ToDos, Files and Fields tabs add too.
    for (int adds : {2, 3, 4}) {
        section->tabButtonSelected(adds);
        ASSERT_NE(section->tabController(adds), nullptr);
        EXPECT_TRUE(section->tabController(adds)->canAddRecords()) << adds;
        EXPECT_TRUE(section->addButton(adds)->isEnabled()) << adds;
    }
}

TEST_F(ContactsSectionWidgetTest, DeletingTheShownContactMovesThePageOn)
{
    section->selectContactPageWithPerson(bob, 1);
    context->deleteObject(bob);
    context->processPendingChanges();
    save(context);
    EXPECT_NE(section->contactsListSource()->selectedContactInSource(), bob);
    EXPECT_FALSE(visibleContacts().contains(QStringLiteral("Bob Brown")));
}

TEST_F(ContactsSectionWidgetTest, CloudChangesAddRemoveAndRefreshTheListsContacts)
{
    auto &center = platform::core::NotificationCenter::defaultCenter();
    using List = platform::store::ManagedObject::ObjectList;
    const QString name = MacContactsViewController::PersonCloudChangeNotification;

    // From another context than the section's: not this list's business.
    Person *dan = addPerson(QStringLiteral("Dan"), QStringLiteral("Dunn"));
    save(context);
    auto other = newContext();
    center.post(name, other.get(), {{MacContactsViewController::AddedContactsKey, QVariant::fromValue(List{dan})}});
    EXPECT_NE(section->contactsListSource()->selectedContactInSource(), dan);

    // Added: listed, and the first shown on its Logs tab.
    center.post(name, context.get(), {{MacContactsViewController::AddedContactsKey, QVariant::fromValue(List{dan})}});
    ASSERT_TRUE(waitFor([&] { return visibleContacts().contains(QStringLiteral("Dan Dunn")); }));
    EXPECT_EQ(section->contactsListSource()->selectedContactInSource(), dan);
    EXPECT_EQ(section->currentSegmentState(), int(MacContactsViewController::LogsTab));

    // Deleted while on show: the page empties and the row goes, also when the context had not yet let it go.
    center.post(name, context.get(), {{MacContactsViewController::DeletedContactsKey, QVariant::fromValue(List{dan})}});
    EXPECT_EQ(section->contactsListSource()->selectedContactInSource(), nullptr);
    EXPECT_FALSE(section->tabButton(MacContactsViewController::LogsTab)->isEnabled());
    EXPECT_FALSE(visibleContacts().contains(QStringLiteral("Dan Dunn")));

    // Updated: the list is read again.
    ann->setDisplayName(QStringLiteral("Ann Adams-Cole"));
    save(context);
    center.post(name, context.get(), {{MacContactsViewController::UpdatedContactsKey, QVariant::fromValue(List{ann})}});
    EXPECT_TRUE(visibleContacts().contains(QStringLiteral("Ann Adams-Cole")));
}

TEST_F(ContactsSectionWidgetTest, AnAddressBookPassRefreshesTheShownContactAndNewPeopleAreOfferedOnce)
{
    using List = platform::store::ManagedObject::ObjectList;
    section->selectContactPageWithPerson(ann, 1);
    ann->setDisplayName(QStringLiteral("Ann Adams-Lowe"));
    save(context);
    platform::core::NotificationCenter::defaultCenter().post(
        ContactsListDisplaySource::SyncWithAddressBookChangeNotification, nullptr,
        {{ContactsListDisplaySource::UpdatedRecordsKey, QVariant::fromValue(List{ann})}});
    EXPECT_TRUE(visibleContacts().contains(QStringLiteral("Ann Adams-Lowe")));
    const QModelIndexList selected = list()->selectionModel()->selectedRows();
    ASSERT_EQ(selected.size(), 1);
    EXPECT_EQ(selected.first().data().toString(), QStringLiteral("Ann Adams-Lowe"));
    EXPECT_EQ(section->displayNameLabel()->text(), QStringLiteral("Ann Adams-Lowe"));

    // New people: asked about only when the user wants it, each once; "Import" opens the import of those.
    auto &alerts = platform::ui::AlertPresenter::shared();
    alerts.clearShownAlerts();
    QList<QStringList> imported;
    MacContactsViewController::AddActions actions;
    actions.importOfferedContacts = [&](const QList<platform::contacts::ContactRecord> &offered) {
        QStringList names;
        for (const auto &record : offered)
            names << record.fullName();
        imported << names;
    };
    section->setAddActions(actions);
    const auto card = [](const QString &first) {
        platform::contacts::ContactRecord record;
        record.setStringValue(platform::contacts::property::FirstName, first);
        return record;
    };
    const QList<platform::contacts::ContactRecord> found{card(QStringLiteral("Eli")), card(QStringLiteral("Fay"))};
    dataPlistValues().setValue(ContactsListDisplaySource::AutoImportContactsKey, false);
    section->newContactsAvailable(found);
    EXPECT_TRUE(alerts.shownAlerts().isEmpty());
    dataPlistValues().setValue(ContactsListDisplaySource::AutoImportContactsKey, true);
    alerts.setNextAnswer(platform::ui::AlertAnswer::button(0));
    section->newContactsAvailable(found);
    ASSERT_EQ(alerts.shownAlerts().size(), 1);
    EXPECT_EQ(alerts.shownAlerts().first().spec.informativeText,
              QStringLiteral("2 new Contacts detected. Would you like to import them into Quendel?"));
    EXPECT_EQ(alerts.shownAlerts().first().spec.buttonTitles, (QStringList{"Import", "No"}));
    ASSERT_TRUE(waitFor([&] { return !imported.isEmpty(); }));
    EXPECT_EQ(imported, (QList<QStringList>{{"Eli", "Fay"}}));
    section->newContactsAvailable(found);
    EXPECT_EQ(alerts.shownAlerts().size(), 1);
    dataPlistValues().remove(ContactsListDisplaySource::AutoImportContactsKey);
}

TEST(ContactsListRowViewTest, BackgroundsAlternateUnderEachHeader)
{
    ContactsListRowView row;
    row.rowIndex = 0;
    EXPECT_EQ(row.background(), ContactsListRowView::Background::White);
    row.rowIndex = 1;
    EXPECT_EQ(row.background(), ContactsListRowView::Background::RowAImage);
    row.rowIndex = 2;
    EXPECT_EQ(row.background(), ContactsListRowView::Background::White);
    row.isHeader = true;
    EXPECT_EQ(row.background(), ContactsListRowView::Background::HeaderImage);
    row.isTableFooter = true;
    row.rowIndex = 1;
    EXPECT_EQ(row.background(), ContactsListRowView::Background::White);
    EXPECT_NEAR(ContactsListRowView::selectionColor(false).alphaF(), 0.8, 0.001);
    EXPECT_NEAR(ContactsListRowView::selectionColor(true).alphaF(), 0.9, 0.001);
}

} // namespace

namespace {

TEST_F(ContactsSectionWidgetTest, TypingANameMovesTheSelectionButNotThePage)
{
    section->selectContactPageWithPerson(ann, 1);
    list()->setFocus();
    QTest::keyClicks(list(), QStringLiteral("Cle"));
    const QModelIndexList selected = list()->selectionModel()->selectedRows();
    ASSERT_EQ(selected.size(), 1);
    EXPECT_EQ(selected.first().data().toString(), QStringLiteral("Cleo Carter"));
    EXPECT_EQ(section->contactsListSource()->selectedContactInSource(), ann);
    // Return shows the contact the typing chose.
    section->enterPressedOnContacts();
    EXPECT_EQ(section->contactsListSource()->selectedContactInSource()->displayName(), QStringLiteral("Cleo Carter"));
}

TEST_F(ContactsSectionWidgetTest, AfterARemovalTheRowThatTookItsPlaceIsSelected)
{
    addPerson(QStringLiteral("Amy"), QStringLiteral("Abel"));
    save(context);
    section->reloadContactsListWithNewPersons({}, false);
    // A: Abel Amy, Acme, Adams Ann. Removing the first row selects the one that moves up into its place.
    Person *amy = section->contactsListSource()->contactsDictionary().value(QStringLiteral("A")).first();
    section->selectContactPageWithPerson(amy, 1);
    context->deleteObject(amy);
    context->processPendingChanges();
    const QModelIndexList selected = list()->selectionModel()->selectedRows();
    ASSERT_EQ(selected.size(), 1);
    EXPECT_EQ(selected.first().data().toString(), QStringLiteral("Acme"));
    EXPECT_EQ(section->contactsListSource()->selectedContactInSource()->displayName(), QStringLiteral("Acme"));
    save(context);

    // Next and previous skip the section titles.
    section->selectPersonInOutlineView(ann); // last of "A"
    EXPECT_EQ(list()->nextItemInOutlineView().data().toString(), QStringLiteral("Bob Brown"));
    EXPECT_EQ(list()->previousItemInOutlineView().data().toString(), QStringLiteral("Acme"));
    list()->selectionModel()->clearSelection();
    EXPECT_EQ(list()->nextItemInOutlineView().data().toString(), QStringLiteral("Acme"));
}

} // namespace

namespace {

TEST_F(ContactsSectionWidgetTest, ARestoreEmptiesTheListAndTheNewContextFillsIt)
{
    section->selectContactPageWithPerson(ann, 1);
    section->prepareForDBRestore({});
    EXPECT_TRUE(section->contactsListSource()->isRestoringData());
    EXPECT_TRUE(visibleContacts().isEmpty());
    EXPECT_FALSE(section->tabButton(1)->isEnabled());
    EXPECT_EQ(section->managedObjectContext(), nullptr);

    // The old context goes; the restored store is read through a new one.
    platform::store::ContextPtr restored = newContext();
    platform::core::Notification notification;
    notification.object = restored.get();
    section->databaseRestoredNotification(notification);
    EXPECT_FALSE(section->contactsListSource()->isRestoringData());
    EXPECT_EQ(section->managedObjectContext(), restored);
    EXPECT_EQ(visibleContacts().size(), 4);
    QTest::keyClicks(searchField, QStringLiteral("cle"));
    ASSERT_TRUE(waitFor([&] { return visibleContacts() == QStringList{QStringLiteral("Cleo Carter")}; }));
}

} // namespace
