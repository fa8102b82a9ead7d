#include "RoadsFixture.h"

#include "platform/contacts/AddressBook.h"
#include "platform/core/StandardPaths.h"
#include "platform/ui/FilePanel.h"

#include <QDir>
#include <QFile>

#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QRegularExpression>
#include <QToolButton>

using namespace roads;
using platform::ui::AlertAnswer;
using platform::ui::AlertPresenter;

namespace {

class GroupRoadsTest : public AddressBookRoadTest
{
protected:

    QPushButton *groupButton() { return widgetNamed<QPushButton>(QStringLiteral("Group")); }

    // The contacts the list shows, without the section titles and the footer.
    QStringList listedContacts()
    {
        QStringList names;
        for (const QString &row : rowTexts(contactsList())) {
            static const QRegularExpression footer(QStringLiteral("^\\d+ contacts?$"), QRegularExpression::CaseInsensitiveOption);
            if (row.contains(QLatin1Char(' ')) && !footer.match(row).hasMatch())
                names << row;
        }
        return names;
    }

    bool listIs(const QStringList &expected)
    {
        const bool shown = QTest::qWaitFor([&] { return listedContacts() == expected; }, 5000);
        if (!shown)
            ADD_FAILURE() << "list: " << rowTexts(contactsList()).join('|').toStdString() << "; wanted "
                          << expected.join('|').toStdString();
        return shown;
    }

    void chooseInGroupMenu(const QString &title)
    {
        click(groupButton());
        choosePoppedUpItem(title);
    }

    // "New Private Group", its name answered ahead, and the members ticked in the picker.
    void makePrivateGroup(const QString &name, const QStringList &members)
    {
        AlertPresenter::shared().setNextAnswer(AlertAnswer::withText(0, name));
        chooseInGroupMenu(QStringLiteral("New Private Group"));
        platform::ui::Sheet *picker = nullptr;
        ASSERT_TRUE(QTest::qWaitFor([&] { return (picker = sheetOver(window())) != nullptr; }, 5000));
        auto *list = widgetNamed<QAbstractItemView>(QStringLiteral("Group Members"), picker);
        for (const QString &member : members)
            clickRow(list, member);
        click(widgetNamed<QPushButton>(QStringLiteral("Done"), picker));
        ASSERT_TRUE(QTest::qWaitFor([&] { return !sheetOver(window()); }, 5000));
    }

    // Opens a contact's Info tab and clicks its groups row of one kind ("Private Groups" or "Public
    // Groups"); answers the popover's check box of `group`.
    QCheckBox *groupBoxInPopover(const QString &contact, const QString &kind, const QString &group)
    {
        clickRow(contactsList(), contact);
        click(widgetNamed<QPushButton>(QStringLiteral("Info")));
        QWidget *row = widgetNamed<QWidget>(QStringLiteral("Groups ") + kind);
        if (!row)
            return nullptr;
        click(row);
        QCheckBox *box = nullptr;
        (void)QTest::qWaitFor([&] { return (box = widgetNamed<QCheckBox>(group)) != nullptr; }, 3000);
        return box;
    }

    QString groupsRowText(const QString &kind)
    {
        auto *row = widgetNamed<QLineEdit>(QStringLiteral("Groups ") + kind);
        return row ? row->text() : QString();
    }

    // The address book's card of the group named `name`, as written in its file.
    QString groupCardText(const QString &name) const
    {
        const QDir folder(collection());
        for (const QString &file : folder.entryList({QStringLiteral("*.vcf")}, QDir::Files)) {
            QFile card(folder.filePath(file));
            if (!card.open(QIODevice::ReadOnly))
                continue;
            const QString text = QString::fromUtf8(card.readAll());
            if (text.contains(QStringLiteral("KIND:group")) && text.contains(QStringLiteral("FN:") + name))
                return text;
        }
        return {};
    }

    // The unique identifier of a contact's card, found by its name.
    QString cardIdOf(const QString &name) const
    {
        const QDir folder(collection());
        for (const QString &file : folder.entryList({QStringLiteral("*.vcf")}, QDir::Files)) {
            QFile card(folder.filePath(file));
            if (card.open(QIODevice::ReadOnly) && QString::fromUtf8(card.readAll()).contains(QStringLiteral("FN:") + name))
                return QFileInfo(file).completeBaseName();
        }
        return {};
    }

    void closePopover()
    {
        if (QWidget *focus = QApplication::activePopupWidget() ? QApplication::activePopupWidget() : QApplication::activeWindow())
            QTest::keyClick(focus, Qt::Key_Escape);
        settle();
    }

    QString shownContact() const
    {
        auto *label = window()->findChild<QLabel *>(QStringLiteral("displayNameLabel"));
        return label && label->isVisible() ? label->text() : QString();
    }
};

} // namespace

TEST_F(GroupRoadsTest, AChosenGroupNarrowsTheListItsNameIsEditedAndItsRemovalShowsEveryoneAgain)
{
    start();
    addContactThroughTheSheet(QStringLiteral("Ann"), QStringLiteral("Adams"));
    addContactThroughTheSheet(QStringLiteral("Bob"), QStringLiteral("Brown"));
    addContactThroughTheSheet(QStringLiteral("Cleo"), QStringLiteral("Carter"), {}, true);
    ASSERT_EQ(groupButton()->text(), QStringLiteral("All Contacts"));

    // A new private group with Ann and Cleo: it is chosen at once and the list narrows to them.
    makePrivateGroup(QStringLiteral("Friends"), {QStringLiteral("Ann Adams"), QStringLiteral("Cleo Carter")});
    EXPECT_EQ(groupButton()->text(), QStringLiteral("Friends"));
    ASSERT_TRUE(listIs({QStringLiteral("Ann Adams"), QStringLiteral("Cleo Carter")}))
        << rowTexts(contactsList()).join('|').toStdString();
    // While a group is chosen the toolbar's Add edits the group.
    EXPECT_NE(widgetNamed<QToolButton>(QStringLiteral("Edit")), nullptr);

    // "All Contacts" lists everyone again, and then the group again narrows it.
    chooseInGroupMenu(QStringLiteral("All Contacts"));
    ASSERT_TRUE(listIs({QStringLiteral("Ann Adams"), QStringLiteral("Bob Brown"), QStringLiteral("Cleo Carter")}));
    EXPECT_NE(widgetNamed<QToolButton>(QStringLiteral("Add")), nullptr);
    chooseInGroupMenu(QStringLiteral("Friends"));
    ASSERT_TRUE(listIs({QStringLiteral("Ann Adams"), QStringLiteral("Cleo Carter")}));

    // Edit: Cleo leaves the group.
    click(widgetNamed<QToolButton>(QStringLiteral("Edit")));
    platform::ui::Sheet *picker = sheetOver(window());
    ASSERT_NE(picker, nullptr);
    clickRow(widgetNamed<QAbstractItemView>(QStringLiteral("Group Members"), picker), QStringLiteral("Cleo Carter"));
    click(widgetNamed<QPushButton>(QStringLiteral("Done"), picker));
    ASSERT_TRUE(listIs({QStringLiteral("Ann Adams")})) << rowTexts(contactsList()).join('|').toStdString();

    // The group's name is edited in the private-groups list; the choice follows it.
    chooseInGroupMenu(QStringLiteral("Edit Private Groups List ..."));
    platform::ui::Sheet *editor = sheetOver(window());
    ASSERT_NE(editor, nullptr);
    auto *groups = widgetNamed<QAbstractItemView>(QStringLiteral("Private Groups List"), editor);
    clickRow(groups, QStringLiteral("Friends"));
    QTest::keyClick(groups, Qt::Key_F2);
    QWidget *field = QApplication::focusWidget();
    ASSERT_NE(qobject_cast<QLineEdit *>(field), nullptr);
    QTest::keyClick(field, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClicks(field, QStringLiteral("Close Friends"));
    QTest::keyClick(field, Qt::Key_Return);
    ASSERT_TRUE(QTest::qWaitFor([&] { return rowWithText(groups, QStringLiteral("Close Friends")).isValid(); }, 3000))
        << rowTexts(groups).join('|').toStdString();
    click(widgetNamed<QPushButton>(QStringLiteral("Done"), editor));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !sheetOver(window()); }, 5000));
    EXPECT_EQ(groupButton()->text(), QStringLiteral("Close Friends"));
    EXPECT_TRUE(listIs({QStringLiteral("Ann Adams")}));

    // Removing the chosen group brings back everyone, and Add in place of Edit.
    chooseInGroupMenu(QStringLiteral("Edit Private Groups List ..."));
    editor = sheetOver(window());
    ASSERT_NE(editor, nullptr);
    groups = widgetNamed<QAbstractItemView>(QStringLiteral("Private Groups List"), editor);
    clickRow(groups, QStringLiteral("Close Friends"));
    click(widgetNamed<QPushButton>(QStringLiteral("Remove Group"), editor));
    click(widgetNamed<QPushButton>(QStringLiteral("Done"), editor));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !sheetOver(window()); }, 5000));
    EXPECT_EQ(groupButton()->text(), QStringLiteral("All Contacts"));
    ASSERT_TRUE(listIs({QStringLiteral("Ann Adams"), QStringLiteral("Bob Brown"), QStringLiteral("Cleo Carter")}));
    EXPECT_NE(widgetNamed<QToolButton>(QStringLiteral("Add")), nullptr);

    // The groups stay across a quit and a start.
    makePrivateGroup(QStringLiteral("Neighbours"), {QStringLiteral("Bob Brown")});
    quitThroughTheMenu();
    start();
    chooseInGroupMenu(QStringLiteral("Neighbours"));
    EXPECT_TRUE(listIs({QStringLiteral("Bob Brown")}));
}

TEST_F(GroupRoadsTest, AVCardFileWithTwoCardsIsImportedIntoANewGroup)
{
    start();
    addContactThroughTheSheet(QStringLiteral("Zoe"), QStringLiteral("Quill"));
    const QString file = qEnvironmentVariable("QUENDEL_TEST_DATA") + QStringLiteral("/contacts/import-two-cards.vcf");
    platform::ui::FilePanelPresenter::shared().setNextAnswer(platform::ui::FilePanelAnswer::choose(file));
    AlertPresenter::shared().setNextAnswer(AlertAnswer::button(1)); // "Add Private Contacts (new group)"
    AlertPresenter::shared().setNextAnswer(AlertAnswer::withText(0, QStringLiteral("Bakery")));
    click(widgetNamed<QToolButton>(QStringLiteral("Add")));
    choosePoppedUpItem(QStringLiteral("Import vCard File"));
    ASSERT_TRUE(listIs({QStringLiteral("Ann Archer"), QStringLiteral("Ben Baker"), QStringLiteral("Zoe Quill")}))
        << rowTexts(contactsList()).join('|').toStdString();
    const QList<platform::ui::ShownAlert> &shown = AlertPresenter::shared().shownAlerts();
    ASSERT_GE(shown.size(), 2);
    EXPECT_EQ(shown.at(shown.size() - 2).spec.messageText, QStringLiteral("Import 2 contacts from vCard"));
    EXPECT_EQ(shown.last().spec.accessoryText, QStringLiteral("import-two-cards.vcf"));

    // The new group is in the menu and holds the two cards.
    chooseInGroupMenu(QStringLiteral("Bakery"));
    EXPECT_TRUE(listIs({QStringLiteral("Ann Archer"), QStringLiteral("Ben Baker")}));
    clickRow(contactsList(), QStringLiteral("Ann Archer"));
    click(widgetNamed<QPushButton>(QStringLiteral("Info")));
    EXPECT_FALSE(namesStartingWith(QStringLiteral("Phones "), window()).isEmpty());
}

TEST_F(GroupRoadsTest, AClonedContactIsDeletedOnceItsQuestionIsAnswered)
{
    start();
    addContactThroughTheSheet(QStringLiteral("Zoe"), QStringLiteral("Quill"), {{QStringLiteral("Phones new"), QStringLiteral("555-0100")}});

    // Duplicate in the list's context menu opens the clone page with Zoe's details.
    rightClickRow(contactsList(), QStringLiteral("Zoe Quill"));
    choosePoppedUpItem(QStringLiteral("Duplicate"));
    platform::ui::Sheet *sheet = nullptr;
    ASSERT_TRUE(QTest::qWaitFor([&] { return (sheet = sheetOver(window())) != nullptr; }, 5000));
    auto *first = widgetNamed<QLineEdit>(QStringLiteral("First name"), sheet);
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first->text(), QStringLiteral("Zoe"));
    replaceText(first, QStringLiteral("Zia"));
    QPushButton *add = nullptr;
    for (QWidget *widget : widgetsNamed(QStringLiteral("Add"), sheet))
        add = qobject_cast<QPushButton *>(widget) ? qobject_cast<QPushButton *>(widget) : add;
    click(add);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !sheetOver(window()); }, 5000));
    ASSERT_TRUE(listIs({QStringLiteral("Zia Quill"), QStringLiteral("Zoe Quill")}))
        << rowTexts(contactsList()).join('|').toStdString();

    // "No" keeps the clone; "Delete" takes it away, and Zoe stays.
    AlertPresenter::shared().setNextAnswer(AlertAnswer::button(1));
    rightClickRow(contactsList(), QStringLiteral("Zia Quill"));
    choosePoppedUpItem(QStringLiteral("Delete"));
    EXPECT_EQ(AlertPresenter::shared().shownAlerts().last().spec.messageText, QStringLiteral("Delete Contact"));
    EXPECT_TRUE(listIs({QStringLiteral("Zia Quill"), QStringLiteral("Zoe Quill")}));
    AlertPresenter::shared().setNextAnswer(AlertAnswer::button(0));
    rightClickRow(contactsList(), QStringLiteral("Zia Quill"));
    choosePoppedUpItem(QStringLiteral("Delete"));
    ASSERT_TRUE(listIs({QStringLiteral("Zoe Quill")})) << rowTexts(contactsList()).join('|').toStdString();

    // Gone for good: not back after a quit and a start.
    quitThroughTheMenu();
    start();
    EXPECT_TRUE(listIs({QStringLiteral("Zoe Quill")}));
}

TEST_F(GroupRoadsTest, TheArrowKeysStepThroughTheListOverSectionTitlesAndIntoThePage)
{
    start();
    addContactThroughTheSheet(QStringLiteral("Ann"), QStringLiteral("Adams"));
    addContactThroughTheSheet(QStringLiteral("Abe"), QStringLiteral("Allen"));
    addContactThroughTheSheet(QStringLiteral("Bob"), QStringLiteral("Brown"));
    QAbstractItemView *list = contactsList();
    // Listed by first name: Abe Allen, Ann Adams, then Bob Brown under "B".
    clickRow(list, QStringLiteral("Abe Allen"));
    ASSERT_EQ(shownContact(), QStringLiteral("Abe Allen"));
    list->setFocus(Qt::OtherFocusReason);

    const auto press = [&](Qt::Key key) {
        QTest::keyClick(list, key);
        settle();
    };
    press(Qt::Key_Down);
    EXPECT_EQ(shownContact(), QStringLiteral("Ann Adams"));
    press(Qt::Key_Down); // over the "B" title
    EXPECT_EQ(shownContact(), QStringLiteral("Bob Brown"));
    press(Qt::Key_Down); // the last contact: nothing below but the footer
    EXPECT_EQ(shownContact(), QStringLiteral("Bob Brown"));
    press(Qt::Key_Up); // over the "B" title again
    EXPECT_EQ(shownContact(), QStringLiteral("Ann Adams"));
    press(Qt::Key_Up);
    press(Qt::Key_Up); // the first contact: only a title above it
    EXPECT_EQ(shownContact(), QStringLiteral("Abe Allen"));

    // Right moves into the page, onto the current tab's button.
    press(Qt::Key_Right);
    QWidget *focus = QApplication::focusWidget();
    ASSERT_NE(focus, nullptr);
    EXPECT_EQ(focus->accessibleName(), QStringLiteral("Logs"));
}

TEST_F(GroupRoadsTest, AGroupAnotherProgramAddsIsOfferedAndItsRemovalShowsEveryoneAgain)
{
    start();
    addContactThroughTheSheet(QStringLiteral("Ann"), QStringLiteral("Adams"));
    addContactThroughTheSheet(QStringLiteral("Bob"), QStringLiteral("Brown"), {}, true);
    // Ann's card is the one card in the address book.
    const QStringList cards = QDir(collection()).entryList({QStringLiteral("*.vcf")}, QDir::Files);
    ASSERT_EQ(cards.size(), 1) << cards.join('|').toStdString();
    const QString ann = QFileInfo(cards.first()).completeBaseName();

    // Another program adds a group holding Ann: it shows in the menu and narrows the list to her.
    const QString board = collection() + QStringLiteral("/board-group.vcf");
    writeAsAnotherProgram(board, QStringLiteral("BEGIN:VCARD\r\nVERSION:4.0\r\nUID:board-group\r\nKIND:group\r\nFN:Board\r\n"
                                                "MEMBER:urn:uuid:%1\r\nEND:VCARD\r\n").arg(ann).toUtf8());
    ASSERT_TRUE(QTest::qWaitFor([&] {
        click(groupButton());
        QMenu *shown = poppedUpMenu(500);
        bool offered = false;
        for (QAction *item : shown ? shown->actions() : QList<QAction *>())
            offered = offered || item->text() == QLatin1String("Board");
        if (shown)
            shown->close();
        settle();
        return offered;
    }, 15000));
    chooseInGroupMenu(QStringLiteral("Board"));
    ASSERT_TRUE(listIs({QStringLiteral("Ann Adams")}));

    // It removes the group again: the choice goes back to all contacts.
    ASSERT_TRUE(QFile::remove(board));
    ASSERT_TRUE(QTest::qWaitFor([&] { return groupButton()->text() == QLatin1String("All Contacts"); }, 15000))
        << groupButton()->text().toStdString();
    EXPECT_TRUE(listIs({QStringLiteral("Ann Adams"), QStringLiteral("Bob Brown")}));
    EXPECT_NE(widgetNamed<QToolButton>(QStringLiteral("Add")), nullptr);
}

TEST_F(GroupRoadsTest, TheInfoTabsGroupsRowPutsTheContactIntoAPrivateGroupAndTakesItOutAgain)
{
    start();
    addContactThroughTheSheet(QStringLiteral("Ann"), QStringLiteral("Adams"));
    addContactThroughTheSheet(QStringLiteral("Bob"), QStringLiteral("Brown"));
    makePrivateGroup(QStringLiteral("Friends"), {QStringLiteral("Bob Brown")});
    makePrivateGroup(QStringLiteral("Family"), {QStringLiteral("Bob Brown")});
    chooseInGroupMenu(QStringLiteral("All Contacts"));
    ASSERT_TRUE(listIs({QStringLiteral("Ann Adams"), QStringLiteral("Bob Brown")}));

    // Ann's private groups row opens the popover: both groups listed, neither ticked.
    QCheckBox *friends = groupBoxInPopover(QStringLiteral("Ann Adams"), QStringLiteral("Private Groups"), QStringLiteral("Friends"));
    ASSERT_NE(friends, nullptr) << windowsOnShow();
    EXPECT_EQ(groupsRowText(QStringLiteral("Private Groups")), QStringLiteral("None"));
    auto *family = widgetNamed<QCheckBox>(QStringLiteral("Family"));
    ASSERT_NE(family, nullptr);
    EXPECT_FALSE(friends->isChecked());
    EXPECT_FALSE(family->isChecked());

    // Ticking "Friends" puts her in at once; the row says so.
    click(friends);
    EXPECT_TRUE(friends->isChecked());
    EXPECT_EQ(groupsRowText(QStringLiteral("Private Groups")), QStringLiteral("Friends"));
    closePopover();
    chooseInGroupMenu(QStringLiteral("Friends"));
    ASSERT_TRUE(listIs({QStringLiteral("Ann Adams"), QStringLiteral("Bob Brown")}));

    // Clearing it takes her out again: the group lists Bob alone.
    friends = groupBoxInPopover(QStringLiteral("Ann Adams"), QStringLiteral("Private Groups"), QStringLiteral("Friends"));
    ASSERT_NE(friends, nullptr) << windowsOnShow();
    EXPECT_TRUE(friends->isChecked());
    click(friends);
    EXPECT_EQ(groupsRowText(QStringLiteral("Private Groups")), QStringLiteral("None"));
    closePopover();
    chooseInGroupMenu(QStringLiteral("All Contacts"));
    ASSERT_TRUE(listIs({QStringLiteral("Ann Adams"), QStringLiteral("Bob Brown")}));
    chooseInGroupMenu(QStringLiteral("Friends"));
    ASSERT_TRUE(listIs({QStringLiteral("Bob Brown")}));

    // What was saved stays after a quit and a start.
    quitThroughTheMenu();
    start();
    chooseInGroupMenu(QStringLiteral("Friends"));
    EXPECT_TRUE(listIs({QStringLiteral("Bob Brown")}));
}

TEST_F(GroupRoadsTest, AnAddressBookGroupsMembersAreEditedInThePickerAndWrittenToItsCard)
{
    start();
    addContactThroughTheSheet(QStringLiteral("Ann"), QStringLiteral("Adams"));
    addContactThroughTheSheet(QStringLiteral("Bob"), QStringLiteral("Brown"));
    addContactThroughTheSheet(QStringLiteral("Cleo"), QStringLiteral("Carter"), {}, true);
    const QString ann = cardIdOf(QStringLiteral("Ann Adams"));
    const QString bob = cardIdOf(QStringLiteral("Bob Brown"));
    ASSERT_FALSE(ann.isEmpty());
    ASSERT_FALSE(bob.isEmpty());

    // A new public group: its picker offers only the contacts with a card, and Ann goes in.
    platform::ui::AlertPresenter::shared().setNextAnswer(AlertAnswer::withText(0, QStringLiteral("Team")));
    chooseInGroupMenu(QStringLiteral("New Public Group"));
    platform::ui::Sheet *picker = nullptr;
    ASSERT_TRUE(QTest::qWaitFor([&] { return (picker = sheetOver(window())) != nullptr; }, 5000));
    auto *members = widgetNamed<QAbstractItemView>(QStringLiteral("Group Members"), picker);
    ASSERT_NE(members, nullptr);
    EXPECT_TRUE(rowWithText(members, QStringLiteral("Bob Brown")).isValid());
    EXPECT_FALSE(rowWithText(members, QStringLiteral("Cleo Carter")).isValid()) << rowTexts(members).join('|').toStdString();
    clickRow(members, QStringLiteral("Ann Adams"));
    click(widgetNamed<QPushButton>(QStringLiteral("Done"), picker));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !sheetOver(window()); }, 5000));
    ASSERT_TRUE(QTest::qWaitFor([&] { return groupButton()->text() == QLatin1String("Team"); }, 5000))
        << groupButton()->text().toStdString();
    ASSERT_TRUE(listIs({QStringLiteral("Ann Adams")}));
    EXPECT_TRUE(groupCardText(QStringLiteral("Team")).contains(ann));

    // Edit: Bob joins and Ann leaves; the group's card and the list follow.
    click(widgetNamed<QToolButton>(QStringLiteral("Edit")));
    ASSERT_TRUE(QTest::qWaitFor([&] { return (picker = sheetOver(window())) != nullptr; }, 5000));
    members = widgetNamed<QAbstractItemView>(QStringLiteral("Group Members"), picker);
    clickRow(members, QStringLiteral("Bob Brown"));
    clickRow(members, QStringLiteral("Ann Adams"));
    click(widgetNamed<QPushButton>(QStringLiteral("Done"), picker));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !sheetOver(window()); }, 5000));
    ASSERT_TRUE(listIs({QStringLiteral("Bob Brown")}));
    const QString card = groupCardText(QStringLiteral("Team"));
    EXPECT_TRUE(card.contains(bob)) << card.toStdString();
    EXPECT_FALSE(card.contains(ann)) << card.toStdString();

    // Cancel leaves the group as it is.
    click(widgetNamed<QToolButton>(QStringLiteral("Edit")));
    ASSERT_TRUE(QTest::qWaitFor([&] { return (picker = sheetOver(window())) != nullptr; }, 5000));
    clickRow(widgetNamed<QAbstractItemView>(QStringLiteral("Group Members"), picker), QStringLiteral("Ann Adams"));
    click(widgetNamed<QPushButton>(QStringLiteral("Cancel"), picker));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !sheetOver(window()); }, 5000));
    EXPECT_EQ(groupCardText(QStringLiteral("Team")), card);

    // Ann's public groups row: ticking "Team" in its popover puts her card into the group as well.
    chooseInGroupMenu(QStringLiteral("All Contacts"));
    ASSERT_TRUE(listIs({QStringLiteral("Ann Adams"), QStringLiteral("Bob Brown"), QStringLiteral("Cleo Carter")}));
    QCheckBox *team = groupBoxInPopover(QStringLiteral("Ann Adams"), QStringLiteral("Public Groups"), QStringLiteral("Team"));
    ASSERT_NE(team, nullptr) << windowsOnShow();
    EXPECT_FALSE(team->isChecked());
    click(team);
    EXPECT_EQ(groupsRowText(QStringLiteral("Public Groups")), QStringLiteral("Team"));
    EXPECT_TRUE(groupCardText(QStringLiteral("Team")).contains(ann));
    closePopover();
    chooseInGroupMenu(QStringLiteral("Team"));
    EXPECT_TRUE(listIs({QStringLiteral("Ann Adams"), QStringLiteral("Bob Brown")}));
}
