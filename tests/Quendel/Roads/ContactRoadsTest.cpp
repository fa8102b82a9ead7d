#include "RoadsFixture.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QPushButton>
#include <QToolButton>

using namespace roads;

namespace {

class ContactRoadsTest : public RoadTest
{
protected:
    bool listShows(const QString &text)
    {
        return QTest::qWaitFor([&] { return rowWithText(contactsList(), text).isValid(); }, 5000);
    }

    // The toolbar's Add, the sheet's name fields (and phone), and the sheet's Add button.
    void addContact(const QString &first, const QString &last, const QString &phone = {})
    {
        QList<SheetField> more;
        if (!phone.isEmpty())
            more << SheetField{QStringLiteral("Phones new"), phone};
        addContactThroughTheSheet(first, last, more);
    }

    // The value field of the contact's one stored phone on the Info page ("Phones <label>").
    QLineEdit *phoneField()
    {
        QStringList names;
        for (const QString &name : namesStartingWith(QStringLiteral("Phones "), window())) {
            if (name != QLatin1String("Phones new") && !name.endsWith(QLatin1String(" label")) && !names.contains(name))
                names << name;
        }
        EXPECT_EQ(names.size(), 1) << names.join(QLatin1Char(',')).toStdString();
        return names.size() == 1 ? widgetNamed<QLineEdit>(names.first()) : nullptr;
    }

    QString focusName() const
    {
        QWidget *focus = QApplication::focusWidget();
        return focus ? focus->accessibleName() : QString();
    }
};

TEST_F(ContactRoadsTest, AContactItsLogAndItsPhoneAreKeptAcrossAQuitAndAStart)
{
    start();
    addContact(QStringLiteral("Zoe"), QStringLiteral("Quill"), QStringLiteral("555-0100"));
    addContact(QStringLiteral("Ann"), QStringLiteral("Adams"));

    // Open Zoe: her page comes up on the Logs tab, with no logs yet.
    clickRow(contactsList(), QStringLiteral("Zoe Quill"));
    auto *logs = widgetNamed<QAbstractItemView>(QStringLiteral("Logs"));
    ASSERT_NE(logs, nullptr);
    EXPECT_EQ(logs->model()->rowCount(), 0);

    // The Logs tab's "+" opens the log editor in a sheet; the note typed there is saved with Save.
    click(widgetNamed<QPushButton>(QStringLiteral("Add to Logs")));
    platform::ui::Sheet *editor = sheetOver(window());
    ASSERT_NE(editor, nullptr);
    typeInto(widgetNamed<QPlainTextEdit>(QStringLiteral("Notes"), editor), QStringLiteral("Lunch by the river"), false);
    click(widgetNamed<QPushButton>(QStringLiteral("Save"), editor));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !sheetOver(window()); }, 5000));
    ASSERT_TRUE(QTest::qWaitFor([&] { return rowWithText(logs, QStringLiteral("Lunch by the river")).isValid(); }, 5000))
        << rowTexts(logs).join(QLatin1String(" | ")).toStdString();

    // The Info tab: Edit, a new number over the old one, Done.
    click(widgetNamed<QPushButton>(QStringLiteral("Info")));
    click(widgetNamed<QPushButton>(QStringLiteral("Edit")));
    QLineEdit *phone = phoneField();
    ASSERT_NE(phone, nullptr);
    EXPECT_EQ(phone->text(), QStringLiteral("555-0100"));
    replaceText(phone, QStringLiteral("555-0199"));
    click(widgetNamed<QPushButton>(QStringLiteral("Done")));
    phone = phoneField();
    ASSERT_NE(phone, nullptr);
    EXPECT_EQ(phone->text(), QStringLiteral("555-0199"));
    EXPECT_TRUE(phone->isReadOnly());

    // The search narrows the list to Zoe, and emptied brings Ann back.
    auto *search = widgetNamed<QLineEdit>(QStringLiteral("Search"));
    typeInto(search, QStringLiteral("qui"), false);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !rowWithText(contactsList(), QStringLiteral("Ann Adams")).isValid(); }, 5000));
    EXPECT_TRUE(rowWithText(contactsList(), QStringLiteral("Zoe Quill")).isValid());
    QTest::keyClick(search, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(search, Qt::Key_Backspace);
    ASSERT_TRUE(listShows(QStringLiteral("Ann Adams")));

    quitThroughTheMenu();
    start();

    // Everything is back: both contacts, Zoe's log and her new number.
    ASSERT_TRUE(listShows(QStringLiteral("Zoe Quill")));
    ASSERT_TRUE(listShows(QStringLiteral("Ann Adams")));
    clickRow(contactsList(), QStringLiteral("Zoe Quill"));
    logs = widgetNamed<QAbstractItemView>(QStringLiteral("Logs"));
    ASSERT_NE(logs, nullptr);
    ASSERT_TRUE(QTest::qWaitFor([&] { return rowWithText(logs, QStringLiteral("Lunch by the river")).isValid(); }, 5000))
        << rowTexts(logs).join(QLatin1String(" | ")).toStdString();
    click(widgetNamed<QPushButton>(QStringLiteral("Info")));
    phone = phoneField();
    ASSERT_NE(phone, nullptr);
    EXPECT_EQ(phone->text(), QStringLiteral("555-0199"));
}

TEST_F(ContactRoadsTest, TheArrowKeysMoveThroughTheListAndIntoTheTabs)
{
    start();
    addContact(QStringLiteral("Ann"), QStringLiteral("Adams"));
    addContact(QStringLiteral("Amy"), QStringLiteral("Abel"));
    addContact(QStringLiteral("Bob"), QStringLiteral("Brown"));
    QAbstractItemView *list = contactsList();
    const auto selectedText = [&] {
        const QModelIndexList rows = list->selectionModel()->selectedRows();
        return rows.size() == 1 ? rows.first().data().toString() : QString();
    };

    clickRow(list, QStringLiteral("Amy Abel"));
    EXPECT_EQ(selectedText(), QStringLiteral("Amy Abel"));
    QTest::keyClick(list, Qt::Key_Down);
    EXPECT_EQ(selectedText(), QStringLiteral("Ann Adams"));
    // Down passes over the "B" title; on the last contact it stays.
    QTest::keyClick(list, Qt::Key_Down);
    EXPECT_EQ(selectedText(), QStringLiteral("Bob Brown"));
    QTest::keyClick(list, Qt::Key_Down);
    EXPECT_EQ(selectedText(), QStringLiteral("Bob Brown"));
    QTest::keyClick(list, Qt::Key_Up);
    EXPECT_EQ(selectedText(), QStringLiteral("Ann Adams"));
    QTest::keyClick(list, Qt::Key_Up);
    QTest::keyClick(list, Qt::Key_Up);
    EXPECT_EQ(selectedText(), QStringLiteral("Amy Abel"));

    // Right goes to the current tab's button, Left on the first tab back to the list.
    QTest::keyClick(list, Qt::Key_Right);
    EXPECT_EQ(focusName(), QStringLiteral("Logs"));
    ASSERT_TRUE(qobject_cast<QAbstractButton *>(QApplication::focusWidget()));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Left);
    EXPECT_EQ(focusName(), QStringLiteral("Contacts"));
}

TEST_F(ContactRoadsTest, DeleteInTheEditMenuRemovesTheSelectedContactOrItsLogAfterAsking)
{
    start();
    addContact(QStringLiteral("Ann"), QStringLiteral("Adams"));
    addContact(QStringLiteral("Bob"), QStringLiteral("Brown"));
    QAbstractItemView *list = contactsList();

    // Nothing where the keyboard is: Delete is off.
    widgetNamed<QLineEdit>(QStringLiteral("Search"))->setFocus();
    QAction *deleteItem = menuItem(window(), QStringLiteral("Edit"), QStringLiteral("Delete"));
    ASSERT_NE(deleteItem, nullptr);
    EXPECT_FALSE(deleteItem->isEnabled());

    // A log of Bob's, then Delete with the Logs list in hand: "No" keeps it, "Delete" removes it.
    clickRow(list, QStringLiteral("Bob Brown"));
    click(widgetNamed<QPushButton>(QStringLiteral("Add to Logs")));
    platform::ui::Sheet *editor = sheetOver(window());
    ASSERT_NE(editor, nullptr);
    typeInto(widgetNamed<QPlainTextEdit>(QStringLiteral("Notes"), editor), QStringLiteral("Call back"), false);
    click(widgetNamed<QPushButton>(QStringLiteral("Save"), editor));
    auto *logs = widgetNamed<QAbstractItemView>(QStringLiteral("Logs"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return rowWithText(logs, QStringLiteral("Call back")).isValid(); }, 5000));
    clickRow(logs, QStringLiteral("Call back"));
    auto &alerts = platform::ui::AlertPresenter::shared();
    alerts.setNextAnswer(platform::ui::AlertAnswer::button(1));
    chooseMenuItem(window(), QStringLiteral("Edit"), QStringLiteral("Delete"));
    ASSERT_FALSE(alerts.shownAlerts().isEmpty());
    EXPECT_EQ(alerts.shownAlerts().last().spec.messageText, QStringLiteral("Delete Log"));
    EXPECT_TRUE(rowWithText(logs, QStringLiteral("Call back")).isValid());
    clickRow(logs, QStringLiteral("Call back"));
    alerts.setNextAnswer(platform::ui::AlertAnswer::button(0));
    chooseMenuItem(window(), QStringLiteral("Edit"), QStringLiteral("Delete"));
    EXPECT_TRUE(QTest::qWaitFor([&] { return !rowWithText(logs, QStringLiteral("Call back")).isValid(); }, 5000));

    // The contact itself, from the list: the question, then the row leaves the list.
    clickRow(list, QStringLiteral("Bob Brown"));
    alerts.setNextAnswer(platform::ui::AlertAnswer::button(0));
    chooseMenuItem(window(), QStringLiteral("Edit"), QStringLiteral("Delete"));
    EXPECT_EQ(alerts.shownAlerts().last().spec.messageText, QStringLiteral("Delete Contact"));
    EXPECT_TRUE(QTest::qWaitFor([&] { return !rowWithText(contactsList(), QStringLiteral("Bob Brown")).isValid(); }, 5000));
    EXPECT_TRUE(rowWithText(contactsList(), QStringLiteral("Ann Adams")).isValid());

    // Gone for good.
    quitThroughTheMenu();
    start();
    ASSERT_TRUE(listShows(QStringLiteral("Ann Adams")));
    EXPECT_FALSE(rowWithText(contactsList(), QStringLiteral("Bob Brown")).isValid());
}

TEST_F(ContactRoadsTest, ControlsWithNothingToDoYetAreDisabled)
{
    start();
    // Before any contact the tab buttons and their add buttons are off.
    for (const char *tab : {"Logs", "ToDos", "Files", "Fields", "Info"})
        EXPECT_FALSE(widgetNamed<QPushButton>(QString::fromLatin1(tab))->isEnabled()) << tab;
    addContact(QStringLiteral("Zoe"), QStringLiteral("Quill"));
    clickRow(contactsList(), QStringLiteral("Zoe Quill"));

    // Calls, e-mails and messages go through the desktop; Paste has nothing to paste; Preferences has its window.
    for (const char *name : {"Call", "Email", "Message"})
        EXPECT_TRUE(widgetNamed<QToolButton>(QString::fromLatin1(name))->isEnabled()) << name;
    EXPECT_FALSE(menuItem(window(), QStringLiteral("Edit"), QStringLiteral("Paste"))->isEnabled());
    EXPECT_TRUE(menuItem(window(), QStringLiteral("File"), QStringLiteral("Preferences…"))->isEnabled());

    // Tabs: every tab's "+" adds.
    EXPECT_TRUE(widgetNamed<QPushButton>(QStringLiteral("Add to Logs"))->isEnabled());
    for (const char *tab : {"ToDos", "Files", "Fields"}) {
        click(widgetNamed<QPushButton>(QString::fromLatin1(tab)));
        auto *add = widgetNamed<QPushButton>(QStringLiteral("Add to ") + QString::fromLatin1(tab));
        ASSERT_NE(add, nullptr);
        EXPECT_TRUE(add->isEnabled()) << tab;
    }

    // Info: the address-book message stays as it is.
    click(widgetNamed<QPushButton>(QStringLiteral("Info")));
    click(widgetNamed<QPushButton>(QStringLiteral("Edit")));
    for (QWidget *message : widgetsNamed(QStringLiteral("Address book link")))
        EXPECT_FALSE(message->isEnabled());
    click(widgetNamed<QPushButton>(QStringLiteral("Done")));

    // The log editor's location picker offers a new saved location.
    click(widgetNamed<QPushButton>(QStringLiteral("Logs")));
    click(widgetNamed<QPushButton>(QStringLiteral("Add to Logs")));
    platform::ui::Sheet *editor = sheetOver(window());
    ASSERT_NE(editor, nullptr);
    click(widgetNamed<QPushButton>(QStringLiteral("Location"), editor));
    QPushButton *newLocation = nullptr;
    ASSERT_TRUE(QTest::qWaitFor([&] {
        const QList<QWidget *> found = widgetsNamed(QStringLiteral("New Location"));
        newLocation = found.isEmpty() ? nullptr : qobject_cast<QPushButton *>(found.first());
        return newLocation != nullptr;
    }, 3000));
    EXPECT_TRUE(newLocation->isEnabled());
    QTest::keyClick(newLocation->window(), Qt::Key_Escape);
    settle();
    click(widgetNamed<QPushButton>(QStringLiteral("Cancel"), editor));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !sheetOver(window()); }, 5000));

    // The Logs section adds logs through the toolbar's Add as well.
    chooseMenuItem(window(), QStringLiteral("View"), QStringLiteral("Logs"));
    EXPECT_TRUE(widgetNamed<QToolButton>(QStringLiteral("Add"))->isEnabled());
    chooseMenuItem(window(), QStringLiteral("View"), QStringLiteral("Contacts"));
    EXPECT_TRUE(widgetNamed<QToolButton>(QStringLiteral("Add"))->isEnabled());
}

TEST_F(ContactRoadsTest, EveryControlOnTheContactPageHasAName)
{
    start();
    addContact(QStringLiteral("Zoe"), QStringLiteral("Quill"), QStringLiteral("555-0100"));
    clickRow(contactsList(), QStringLiteral("Zoe Quill"));
    for (int tab = 0; tab < 5; ++tab) {
        const char *names[] = {"Logs", "ToDos", "Files", "Fields", "Info"};
        click(widgetNamed<QPushButton>(QString::fromLatin1(names[tab])));
        QStringList unnamed;
        for (QWidget *widget : window()->findChildren<QWidget *>()) {
            const bool control = qobject_cast<QAbstractButton *>(widget) || qobject_cast<QLineEdit *>(widget)
                              || qobject_cast<QAbstractItemView *>(widget) || qobject_cast<QPlainTextEdit *>(widget);
            if (control && widget->isVisible() && widget->accessibleName().isEmpty())
                unnamed << widget->objectName() + QStringLiteral(" (") + QString::fromLatin1(widget->metaObject()->className()) + QLatin1Char(')');
        }
        EXPECT_TRUE(unnamed.isEmpty()) << names[tab] << ": " << unnamed.join(QStringLiteral(", ")).toStdString();
    }
}

} // namespace
