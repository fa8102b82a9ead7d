#include "ContactPageFixture.h"

#include "Mac/ContactPage/CommonOutlineViewController.h"
#include "Mac/Shell/CustomNSOutlineView.h"

#include "platform/core/NotificationCenter.h"
#include "platform/ui/Popover.h"

#include <QLabel>
#include <QMenu>
#include <QStandardItemModel>
#include <QTest>

using namespace quendel::test;

namespace {

class Host : public ContactPageDelegate
{
public:
    KeyDelegateKinds keyDelegateKinds() const override { return KeyDelegateKind::MacContactsViewController; }
    void subviewPressedUpButton() override { ++upPresses; }
    int upPresses = 0;
};

TEST_F(ContactPageTest, FillerStandsInForAnEmptyList)
{
    CommonOutlineViewController pane(QStringLiteral("ContactLogsViewControllerMac"), nullptr);
    pane.resize(400, 300);
    pane.show();
    pane.awakeFromNib();
    auto *filler = new QLabel(QStringLiteral("No logs"));
    pane.setFillerText(filler);
    pane.updatedSourceObjects();
    EXPECT_TRUE(pane.showingFillerText());
    EXPECT_EQ(filler->parentWidget(), pane.outlineView());
    EXPECT_EQ(filler->geometry().left(), 0);
    EXPECT_EQ(filler->geometry().top(), 1);
    EXPECT_EQ(filler->width(), pane.outlineView()->width());
    EXPECT_GE(filler->height(), 40);

    QStandardItem *section = pane.appendSection(QStringLiteral("Today"));
    pane.appendRow(section, QStringLiteral("row"), nullptr);
    pane.updatedSourceObjects();
    EXPECT_FALSE(pane.showingFillerText());
    EXPECT_EQ(pane.heightOfRowByItem(section->index()), 30);
    EXPECT_EQ(pane.heightOfRowByItem(section->child(0)->index()), 80);
    EXPECT_FALSE(pane.shouldSelectItem(section->index()));
    delete filler;
}

TEST_F(ContactPageTest, DeletingTheRowUnderTheMouse)
{
    Host host;
    auto *log = insert<Log>();
    auto *other = insert<Log>();
    save(context);
    CommonOutlineViewController pane(QStringLiteral("ContactLogsViewControllerMac"), nullptr);
    pane.setContactsDelegate(&host);
    QStandardItem *section = pane.appendSection(QStringLiteral("Today"));
    pane.appendRow(section, QStringLiteral("one"), log);
    pane.appendRow(section, QStringLiteral("two"), other);
    pane.outlineView()->expandAll();

    pane.deleteSelectedRow(); // no clicked and no selected row
    EXPECT_FALSE(log->isDeleted());
    EXPECT_EQ(host.upPresses, 0);
    EXPECT_FALSE(pane.hasTableviewFirstSelection());

    pane.outlineView()->selectionModel()->setCurrentIndex(section->index(), QItemSelectionModel::ClearAndSelect);
    EXPECT_FALSE(pane.hasTableviewFirstSelection()); // the header row 0
    pane.outlineView()->selectionModel()->setCurrentIndex(section->child(0)->index(),
                                                          QItemSelectionModel::ClearAndSelect);
    EXPECT_TRUE(pane.hasTableviewFirstSelection());

    // A context-menu command: off on a header, on for a row; a command of another menu is always on.
    QMenu menu;
    QAction *remove = menu.addAction(QStringLiteral("Delete"));
    pane.setContextMenu(&menu);
    QAction outside(QStringLiteral("Elsewhere"));
    pane.setClickedRow(0);
    EXPECT_FALSE(pane.validateMenuItem(remove));
    EXPECT_TRUE(pane.validateMenuItem(&outside));
    pane.setClickedRow(2);
    EXPECT_TRUE(pane.validateMenuItem(remove));

    pane.deleteSelectedRow(); // the clicked row wins over the selection
    platform::store::ContextPtr fresh = newContext();
    EXPECT_EQ(fresh->countForFetchRequest(Log::fetchRequest()), 1);
    EXPECT_EQ(host.upPresses, 0); // rows remain (the list model removes the row itself)
    section->removeRows(0, 2);
    pane.setClickedRow(-1);
    pane.checkIfDeletedLastRow();
    EXPECT_EQ(host.upPresses, 1);
}

TEST_F(ContactPageTest, ThePasscodeScreenClosesTheOpenPopover)
{
    QWidget window;
    window.resize(400, 300);
    window.show();
    auto *pane = new CommonListViewMac(QStringLiteral("Pane"), nullptr, &window);
    pane->awakeFromNib();
    pane->awakeFromNib(); // the set-up runs once however often it is called
    platform::core::NotificationCenter::defaultCenter().post(CommonListViewMac::PasswordScreenWillShowNotification);

    platform::ui::Popover *popover = pane->createPopoverWithViewController(new QLabel(QStringLiteral("editor")));
    EXPECT_EQ(popover->behavior(), platform::ui::Popover::Behavior::Semitransient);
    pane->setMypopover(popover);
    popover->showRelativeTo(QRect(), pane, platform::ui::Popover::Edge::Bottom);
    ASSERT_TRUE(popover->isShown());
    platform::core::NotificationCenter::defaultCenter().post(CommonListViewMac::PasswordScreenWillShowNotification);
    EXPECT_FALSE(popover->isShown());
}

TEST_F(ContactPageTest, AFailedSaveWhenLeavingEditingModeIsReportedAndKeepsTheEdits)
{
    auto unsaved = platform::store::ManagedObjectContext::create(
        platform::store::ManagedObjectContext::ConcurrencyType::MainQueue);
    unsaved->setPersistentStoreCoordinator(std::make_shared<platform::store::StoreCoordinator>(model));
    auto *person = unsaved->insertNewObject<Person>(Person::EntityName);
    person->setFirstName(QStringLiteral("Ann"));
    ContactInfoViewControllerMac page(person, false, false, unsaved);
    page.editButtonSelected();
    page.model().persistValue(page.model().rows(contact_info::NotesKey).first(), QStringLiteral("kept"), QString());
    platform::ui::AlertPresenter::shared().setNextAnswer(platform::ui::AlertAnswer::button(0));
    page.editButtonSelected();
    EXPECT_EQ(alertTitles(), QStringList{QStringLiteral("Could not save contact")});
    EXPECT_EQ(person->notesField(), QStringLiteral("kept"));
    EXPECT_TRUE(unsaved->hasChanges());
}

} // namespace
