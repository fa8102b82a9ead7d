#include "Mac/Shell/MainWindow.h"
#include "Mac/Shell/MainWindowManagerViewController.h"
#include "Mac/Shell/SectionSwitcher.h"

#include "platform/ui/CommandRouter.h"
#include "platform/ui/Popover.h"

#include <QAction>
#include <QLabel>
#include <QListWidget>
#include <QSignalSpy>
#include <QTest>
#include <QVBoxLayout>
#include <gtest/gtest.h>

namespace {

TEST(SectionSwitcher, SectionTable)
{
    const QList<SectionInfo> &table = SectionSwitcher::sections();
    ASSERT_EQ(table.size(), 5);
    const QStringList titles = {"Contacts", "Logs", "ToDos", "Files", "Map"};
    const QStringList controllers = {"MacContactsViewController", "MacAllLogsViewController",
                                     "MacAllTodosViewController", "MacAllFilesViewController", "MacMapViewController"};
    const QStringList controllerTitles = {"Quendel - Contacts", "Quendel - Logs", "Quendel - Todos", "Quendel - Files",
                                          "Map View"};
    const QStringList placeholders = {"Search Contacts", "Search Logs", "Search ToDos", "Search Files", "Search Map"};
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(table[i].index, i);
        EXPECT_EQ(table[i].sidebarTitle, titles[i]);
        EXPECT_EQ(table[i].controllerClass, controllers[i]);
        EXPECT_EQ(table[i].interfaceFile, controllers[i]);
        EXPECT_EQ(table[i].controllerTitle, controllerTitles[i]);
        EXPECT_EQ(table[i].searchPlaceholder, placeholders[i]);
        EXPECT_EQ(table[i].normalisesSearch, i != 0);
        EXPECT_EQ(table[i].showsAddItem, i != 4);
    }
    EXPECT_EQ(SectionSwitcher::section(5), nullptr);
    EXPECT_EQ(SectionSwitcher::section(-1), nullptr);
}

TEST(SectionSwitcher, FirstSwitchSelectsRowOneLaterAfterTheIndexAndTheSameSectionDoesNothing)
{
    SectionSwitcher switcher;
    EXPECT_EQ(switcher.currentIndex(), -1);

    // The first switch selects row 1 after 0.1 s whatever the index.
    SectionSwitcher::Selection first = switcher.planSelection(3);
    EXPECT_FALSE(first.ignored);
    EXPECT_EQ(first.sidebarRow, 1);
    EXPECT_EQ(first.sidebarDelayMs, 100);
    EXPECT_FALSE(first.leavingContacts);
    switcher.present(0);

    EXPECT_TRUE(switcher.planSelection(0).ignored);
    SectionSwitcher::Selection later = switcher.planSelection(2);
    EXPECT_EQ(later.sidebarRow, 3);
    EXPECT_EQ(later.sidebarDelayMs, 0);
    EXPECT_TRUE(later.leavingContacts);
    switcher.present(2);
    EXPECT_FALSE(switcher.planSelection(4).leavingContacts);
}

TEST(SectionSwitcher, PresentationOfEachSection)
{
    SectionSwitcher switcher;
    switcher.setRememberedSearch(1, QStringLiteral("foo"));
    switcher.setRememberedSearch(0, QStringLiteral("Ann"));

    struct Case
    {
        int index;
        bool groupSelected;
        bool addShown;
        SectionSwitcher::AddFace face;
        QString tooltip;
        QString search;
    };
    const Case cases[] = {
        {0, false, true, SectionSwitcher::AddFace::Add, QString(), QStringLiteral("Ann")},
        {0, true, true, SectionSwitcher::AddFace::Edit, QString(), QStringLiteral("Ann")},
        {1, true, true, SectionSwitcher::AddFace::Add, QStringLiteral("Add new Logs by selecting a contact"),
         QStringLiteral("foo")},
        {2, false, true, SectionSwitcher::AddFace::Add, QStringLiteral("Add new ToDos by selecting a contact"), ""},
        {3, false, true, SectionSwitcher::AddFace::Add, QStringLiteral("Add Files to your contacts"), ""},
        {4, false, false, SectionSwitcher::AddFace::None, QString(), ""},
    };
    for (const Case &c : cases) {
        switcher.setGroupSelected(c.groupSelected);
        const SectionSwitcher::Presentation p = switcher.present(c.index);
        EXPECT_EQ(switcher.currentIndex(), c.index);
        EXPECT_TRUE(p.showsSection);
        EXPECT_EQ(p.addItemShown, c.addShown) << c.index;
        EXPECT_EQ(p.addFace, c.face) << c.index;
        EXPECT_EQ(p.addToolTip, c.tooltip) << c.index;
        EXPECT_EQ(p.searchText, c.search) << c.index;
        EXPECT_FALSE(p.searchText.isNull()) << c.index; // "" rather than nothing
        EXPECT_EQ(p.searchPlaceholder, SectionSwitcher::section(c.index)->searchPlaceholder);
    }

    // An index above 4 is stored and shows nothing.
    const SectionSwitcher::Presentation beyond = switcher.present(7);
    EXPECT_FALSE(beyond.showsSection);
    EXPECT_EQ(switcher.currentIndex(), 7);

    switcher.clearRememberedSearches();
    EXPECT_TRUE(switcher.rememberedSearch(0).isNull());
}

// A section that counts its set-up and answers Delete while its list has a current row.
class TestSection : public MainWindowManagerViewController
{
public:
    explicit TestSection(const QString &name) : MainWindowManagerViewController(name, nullptr) {}

    int loads = 0;
    int awakes = 0;
    QStringList calls;
    QListWidget *list = nullptr;
    QPointer<platform::ui::Popover> importPopover;
    bool answersDelete = true;

    void awakeFromNib() override { ++awakes; }
    bool validateMenuItem(QAction *) override { return list && list->currentRow() >= 0; }
    void performDelete(QObject *) override { calls << "delete:"; }
    void popoverDidClose(platform::ui::Popover *) override { calls << "popoverDidClose:"; }
    platform::ui::Popover *importContactsPopover() const override { return importPopover; }

protected:
    void loadView() override
    {
        ++loads;
        auto *layout = new QVBoxLayout(this);
        list = new QListWidget;
        list->addItems({QStringLiteral("one"), QStringLiteral("two")});
        layout->addWidget(list);
    }
    bool handlesDeleteCommand() const override { return answersDelete; }
};

class MainWindowTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        window.setSectionFactory([this](int index) -> MainWindowManagerViewController * {
            ++created[index];
            if (index == SectionSwitcher::Contacts) {
                contacts = new TestSection(QStringLiteral("MacContactsViewController"));
                return contacts;
            }
            if (index == SectionSwitcher::Map) {
                map = new TestSection(QStringLiteral("MacMapViewController"));
                map->answersDelete = false;
                return map;
            }
            return nullptr; // not built yet
        });
        window.resize(1300, 800);
        window.show();
    }

    MainWindow window;
    int created[5] = {0, 0, 0, 0, 0};
    TestSection *contacts = nullptr;
    TestSection *map = nullptr;
};

// A switch within the first tenth of a second must not be undone by the launch's late sidebar mark, which
// would select Contacts in the sidebar and so take the user back there.
TEST_F(MainWindowTest, ASwitchRightAfterLaunchIsNotUndoneByTheDelayedSidebarMark)
{
    QSignalSpy rows(&window, &MainWindow::sidebarRowSelectionRequested);
    window.selectItemAtIndex(0);
    window.selectItemAtIndex(1);
    QTest::qWait(300);
    EXPECT_EQ(window.currentIndex(), 1);
    ASSERT_EQ(rows.count(), 1);
    EXPECT_EQ(rows.takeFirst().at(0).toInt(), 2);
}

TEST_F(MainWindowTest, SwitchingShowsOneSectionAtATimeAndKeepsEachController)
{
    QSignalSpy presented(&window, &MainWindow::sectionPresented);
    QSignalSpy reloads(&window, &MainWindow::sidebarReloadRequested);
    QSignalSpy rows(&window, &MainWindow::sidebarRowSelectionRequested);
    EXPECT_EQ(window.currentIndex(), -1);
    EXPECT_EQ(window.currentView()->objectName(), QStringLiteral("placeholderView"));

    window.selectItemAtIndex(0);
    ASSERT_NE(contacts, nullptr);
    EXPECT_EQ(window.currentIndex(), 0);
    EXPECT_EQ(window.currentView(), contacts);
    EXPECT_TRUE(contacts->isVisible());
    EXPECT_EQ(contacts->loads, 1);
    EXPECT_EQ(contacts->awakes, 1);
    EXPECT_GE(contacts->minimumWidth(), MainWindow::SectionMinimumWidth);
    // The first sidebar selection waits 0.1 s.
    EXPECT_EQ(rows.count(), 0);
    ASSERT_TRUE(rows.wait(1000));
    EXPECT_EQ(rows.takeFirst().at(0).toInt(), 1);

    // A section not built yet shows an empty page of its own.
    window.selectItemAtIndex(2);
    MainWindowManagerViewController *todos = window.sectionController(2);
    ASSERT_NE(todos, nullptr);
    EXPECT_EQ(todos->objectName(), QStringLiteral("MacAllTodosViewController"));
    EXPECT_EQ(todos->windowTitle(), QStringLiteral("Quendel - Todos"));
    EXPECT_EQ(window.currentView(), todos);
    EXPECT_FALSE(contacts->isVisible());
    QTRY_COMPARE(rows.count(), 1);
    EXPECT_EQ(rows.takeFirst().at(0).toInt(), 3);

    window.selectItemAtIndex(0);
    EXPECT_EQ(window.currentView(), contacts);
    EXPECT_EQ(created[0], 1);
    EXPECT_EQ(contacts->loads, 1);
    EXPECT_EQ(contacts->awakes, 1);

    // The section on show again: no reselection, no reload, no change of the search field.
    const int presentedBefore = presented.count();
    const int reloadsBefore = reloads.count();
    window.selectItemAtIndex(0);
    QCoreApplication::processEvents();
    EXPECT_EQ(presented.count(), presentedBefore);
    EXPECT_EQ(reloads.count(), reloadsBefore);
    EXPECT_EQ(rows.count(), 1); // only the switch back to Contacts
}

TEST_F(MainWindowTest, SearchTextAndToolbarStateComeWithEachSwitch)
{
    QSignalSpy presented(&window, &MainWindow::sectionPresented);
    window.switcher().setRememberedSearch(SectionSwitcher::Logs, QStringLiteral("foo"));
    window.selectItemAtIndex(1);
    window.selectItemAtIndex(4);
    ASSERT_EQ(presented.count(), 2);
    const auto logs = presented.at(0).at(0).value<SectionSwitcher::Presentation>();
    const auto mapPresentation = presented.at(1).at(0).value<SectionSwitcher::Presentation>();
    EXPECT_EQ(logs.searchText, QStringLiteral("foo"));
    EXPECT_EQ(logs.searchPlaceholder, QStringLiteral("Search Logs"));
    EXPECT_TRUE(logs.addItemShown);
    EXPECT_FALSE(mapPresentation.addItemShown);
    EXPECT_EQ(mapPresentation.searchText, QStringLiteral(""));
}

TEST_F(MainWindowTest, IndexAboveTheSectionsOnlyReloadsTheSidebar)
{
    window.selectItemAtIndex(0);
    QSignalSpy presented(&window, &MainWindow::sectionPresented);
    QSignalSpy reloads(&window, &MainWindow::sidebarReloadRequested);
    window.changeViewControllersWithIndex(6);
    EXPECT_EQ(window.currentIndex(), 6);
    EXPECT_EQ(window.currentView(), contacts);
    EXPECT_EQ(presented.count(), 0);
    EXPECT_EQ(reloads.count(), 1);
}

TEST_F(MainWindowTest, LeavingContactsClosesItsImportPopoverUnlessTheAppControlsIt)
{
    window.selectItemAtIndex(0);
    auto *anchor = new QWidget(contacts);
    anchor->resize(20, 20);
    anchor->show();

    for (auto behavior : {platform::ui::Popover::Behavior::Semitransient,
                          platform::ui::Popover::Behavior::ApplicationDefined}) {
        window.selectItemAtIndex(0);
        auto *popover = contacts->createPopoverWithViewController(new QLabel(QStringLiteral("Import")));
        popover->setBehavior(behavior);
        contacts->importPopover = popover;
        popover->showRelativeTo(QRect(), anchor, platform::ui::Popover::Edge::Bottom);
        ASSERT_TRUE(popover->isShown());
        window.selectItemAtIndex(1);
        EXPECT_EQ(popover->isShown(), behavior == platform::ui::Popover::Behavior::ApplicationDefined);
        popover->closePopover();
    }
}

TEST_F(MainWindowTest, SectionPopoversAreTransientAndReportTheirClosing)
{
    window.selectItemAtIndex(0);
    auto *content = new QLabel(QStringLiteral("Editor"));
    platform::ui::Popover *popover = contacts->createPopoverWithViewController(content);
    EXPECT_EQ(popover->behavior(), platform::ui::Popover::Behavior::Transient);
    EXPECT_TRUE(popover->animates());
    EXPECT_EQ(popover->contentWidget(), content);
    EXPECT_EQ(contacts->contentPopover(), nullptr); // the caller stores it
    contacts->setContentPopover(popover);
    popover->showRelativeTo(QRect(0, 0, 10, 10), contacts, platform::ui::Popover::Edge::Bottom);
    popover->closePopover();
    EXPECT_EQ(contacts->calls, QStringList{"popoverDidClose:"});
    EXPECT_EQ(contacts->contentPopover(), popover);
}

TEST_F(MainWindowTest, DeleteCommandReachesTheSectionOnShowThroughTheFocusChain)
{
    auto &router = platform::ui::CommandRouter::shared();
    window.selectItemAtIndex(0);
    QWidget *list = contacts->list;
    contacts->list->setCurrentRow(-1);
    EXPECT_EQ(router.targetForCommand(QStringLiteral("delete:"), list), contacts);
    EXPECT_FALSE(router.validateCommand(QStringLiteral("delete:"), nullptr, list).enabled);
    contacts->list->setCurrentRow(1);
    EXPECT_TRUE(router.validateCommand(QStringLiteral("delete:"), nullptr, list).enabled);
    EXPECT_TRUE(router.sendCommand(QStringLiteral("delete:"), nullptr, list));
    EXPECT_EQ(contacts->calls, QStringList{"delete:"});

    // The Map answers no Delete.
    window.selectItemAtIndex(4);
    map->list->setCurrentRow(0);
    EXPECT_EQ(router.targetForCommand(QStringLiteral("delete:"), map->list), nullptr);
    EXPECT_FALSE(router.validateCommand(QStringLiteral("delete:"), nullptr, map->list).enabled);
}

TEST(MainWindowSizes, MinimumHeightsFollowTheScreenScale)
{
    EXPECT_EQ(MainWindow::minimumHeightForScaleFactor(1.0), 650);
    EXPECT_EQ(MainWindow::minimumHeightForScaleFactor(2.0), 400);
    MainWindow window;
    window.setSidebarMinimumHeight(650);
    window.setMainViewMinimumHeight(650);
    EXPECT_EQ(window.sidebarArea()->minimumHeight(), 650);
    EXPECT_EQ(window.sectionArea()->minimumHeight(), 650);
    EXPECT_GE(window.minimumSizeHint().height(), 650);
}

TEST(FillerText, PlacedBetweenItsNeighboursAtTheTop)
{
    const QSize main(1000, 600);
    struct Case
    {
        std::optional<QRect> leading;
        std::optional<QRect> trailing;
        QRect expected;
    };
    const Case cases[] = {
        {std::nullopt, std::nullopt, QRect(0, 0, 1000, 40)},
        {QRect(0, 0, 250, 600), std::nullopt, QRect(250, 0, 750, 40)},
        {QRect(0, 0, 250, 600), QRect(700, 0, 300, 600), QRect(250, 0, 450, 120)},
        {std::nullopt, QRect(700, 0, 300, 600), QRect(0, 0, 700, 120)},
    };
    for (const Case &c : cases)
        EXPECT_EQ(MainWindowManagerViewController::fillerTextRect(main, c.leading, c.trailing), c.expected);
}

TEST(FillerText, FollowsTheViewsAroundIt)
{
    TestSection section(QStringLiteral("MacAllLogsViewController"));
    section.resize(1000, 600);
    auto *sidebar = new QWidget(&section);
    sidebar->setGeometry(0, 0, 200, 600);
    auto *filler = new QLabel(QStringLiteral("No Logs"));
    section.show();
    section.addTextFieldForFillerText(filler, &section, sidebar, &section);
    EXPECT_TRUE(section.showingFillerText());
    EXPECT_EQ(filler->parentWidget(), &section);
    EXPECT_EQ(filler->geometry(), QRect(200, 0, 800, 40));
    section.resize(1200, 600);
    sidebar->setGeometry(0, 0, 300, 600);
    EXPECT_EQ(filler->geometry(), QRect(300, 0, 900, 40));
}

} // namespace

