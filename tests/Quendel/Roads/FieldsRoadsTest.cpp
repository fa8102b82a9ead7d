#include "RoadsFixture.h"

#include <QComboBox>
#include <QContextMenuEvent>
#include <QListWidget>
#include <QPushButton>
#include <QTabWidget>
#include <QToolButton>
#include <QTreeWidget>

using namespace roads;

namespace {

class FieldsRoadsTest : public RoadTest
{
protected:
    void addContact(const QString &first, const QString &last) { addContactThroughTheSheet(first, last); }

    // The popup menu on show (a menu opened by a button or a right-click).
    static QMenu *openMenu()
    {
        QMenu *menu = nullptr;
        (void)QTest::qWaitFor([&] {
            menu = qobject_cast<QMenu *>(QApplication::activePopupWidget());
            return menu != nullptr;
        }, 3000);
        return menu;
    }

    static QAction *actionTitled(QMenu *menu, const QString &title)
    {
        if (!menu)
            return nullptr;
        for (QAction *action : menu->actions())
            if (action->text() == title)
                return action;
        return nullptr;
    }

    // Picks `title` in the popup menu on show.
    static void pick(const QString &title)
    {
        QMenu *menu = openMenu();
        ASSERT_NE(menu, nullptr) << "no menu for " << title.toStdString();
        QAction *action = actionTitled(menu, title);
        ASSERT_NE(action, nullptr) << title.toStdString();
        ASSERT_TRUE(action->isEnabled()) << title.toStdString();
        menu->hide();
        action->trigger();
        settle();
    }

    // Steps a pop-up button to the item `title` with the arrow keys, as a keyboard user does.
    static void chooseInPopup(QComboBox *popup, const QString &title)
    {
        ASSERT_NE(popup, nullptr);
        const int target = popup->findText(title);
        ASSERT_GE(target, 0) << title.toStdString();
        activateWindowOf(popup);
        popup->setFocus(Qt::TabFocusReason);
        for (int guard = 0; popup->currentIndex() != target && guard < 20; ++guard)
            QTest::keyClick(popup, popup->currentIndex() < target ? Qt::Key_Down : Qt::Key_Up);
        settle();
        ASSERT_EQ(popup->currentText(), title);
    }

    // A new list value typed into the editor's value list.
    static void addListValue(QWidget *editor, const QString &title)
    {
        click(widgetNamed<QPushButton>(QStringLiteral("Add list value"), editor));
        QLineEdit *cell = nullptr;
        ASSERT_TRUE(QTest::qWaitFor([&] {
            const QList<QWidget *> found = widgetsNamed(QStringLiteral("List value"), editor);
            cell = found.isEmpty() ? nullptr : qobject_cast<QLineEdit *>(found.first());
            return cell != nullptr;
        }, 3000));
        QTest::keyClicks(cell, title);
        QTest::keyClick(cell, Qt::Key_Return);
        settle();
    }

    void openFieldsTab(const QString &contact)
    {
        clickRow(contactsList(), contact);
        click(widgetNamed<QPushButton>(QStringLiteral("Fields")));
    }
};

TEST_F(FieldsRoadsTest, AListFieldDefinedFromTheFieldsTabIsSetOnAContactAndKept)
{
    start();
    addContact(QStringLiteral("Zoe"), QStringLiteral("Quill"));
    openFieldsTab(QStringLiteral("Zoe Quill"));

    // The tab's "+" offers the defined fields and "New Field", which opens the field editor.
    QPushButton *add = widgetNamed<QPushButton>(QStringLiteral("Add to Fields"));
    click(add);
    pick(QStringLiteral("New Field"));
    platform::ui::Sheet *sheet = sheetOver(window());
    ASSERT_NE(sheet, nullptr);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(sheet));
    typeInto(widgetNamed<QLineEdit>(QStringLiteral("Field name"), sheet), QStringLiteral("Stage"), false);
    chooseInPopup(widgetNamed<QComboBox>(QStringLiteral("Field type"), sheet), QStringLiteral("List"));
    addListValue(sheet, QStringLiteral("Lead"));
    // A second "Lead" is refused and stays in its cell; Escape leaves it, and the user types another title.
    platform::ui::AlertPresenter::shared().clearShownAlerts();
    addListValue(sheet, QStringLiteral("Lead"));
    ASSERT_FALSE(platform::ui::AlertPresenter::shared().shownAlerts().isEmpty());
    EXPECT_EQ(platform::ui::AlertPresenter::shared().shownAlerts().last().spec.messageText,
              QStringLiteral("List Value Already Exists"));
    QLineEdit *cell = nullptr;
    ASSERT_TRUE(QTest::qWaitFor([&] {
        const QList<QWidget *> found = widgetsNamed(QStringLiteral("List value"), sheet);
        cell = found.isEmpty() ? nullptr : qobject_cast<QLineEdit *>(found.first());
        return cell != nullptr;
    }, 3000));
    QTest::keyClick(cell, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClicks(cell, QStringLiteral("Won"));
    QTest::keyClick(cell, Qt::Key_Return);
    settle();
    auto *values = widgetNamed<QListWidget>(QStringLiteral("List values"), sheet);
    ASSERT_NE(values, nullptr);
    ASSERT_EQ(values->count(), 2);
    EXPECT_EQ(values->item(0)->text(), QStringLiteral("Lead"));
    EXPECT_EQ(values->item(1)->text(), QStringLiteral("Won"));
    click(widgetNamed<QPushButton>(QStringLiteral("Done"), sheet));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !sheetOver(window()); }, 5000));

    // The new field is on the contact at once; the user picks its value in the row's pop-up.
    QComboBox *stage = nullptr;
    ASSERT_TRUE(QTest::qWaitFor([&] {
        const QList<QWidget *> found = widgetsNamed(QStringLiteral("Stage"));
        stage = found.isEmpty() ? nullptr : qobject_cast<QComboBox *>(found.first());
        return stage != nullptr;
    }, 3000));
    chooseInPopup(stage, QStringLiteral("Won"));

    // Kept across a quit and a start.
    quitThroughTheMenu();
    start();
    openFieldsTab(QStringLiteral("Zoe Quill"));
    auto *kept = widgetNamed<QComboBox>(QStringLiteral("Stage"));
    ASSERT_NE(kept, nullptr);
    EXPECT_EQ(kept->currentText(), QStringLiteral("Won"));

    // The field is offered no more for this contact.
    click(widgetNamed<QPushButton>(QStringLiteral("Add to Fields")));
    QMenu *menu = openMenu();
    ASSERT_NE(menu, nullptr);
    ASSERT_NE(actionTitled(menu, QStringLiteral("Stage")), nullptr);
    EXPECT_FALSE(actionTitled(menu, QStringLiteral("Stage"))->isEnabled());
    menu->hide();
    settle();
}

TEST_F(FieldsRoadsTest, TheContactsMenuSetsAListValueForTheSelectedContacts)
{
    start();
    addContact(QStringLiteral("Ann"), QStringLiteral("Adams"));
    addContact(QStringLiteral("Bob"), QStringLiteral("Brown"));
    // A list field, defined in the Fields tab of one contact.
    openFieldsTab(QStringLiteral("Ann Adams"));
    click(widgetNamed<QPushButton>(QStringLiteral("Add to Fields")));
    pick(QStringLiteral("New Field"));
    platform::ui::Sheet *sheet = sheetOver(window());
    ASSERT_NE(sheet, nullptr);
    typeInto(widgetNamed<QLineEdit>(QStringLiteral("Field name"), sheet), QStringLiteral("Region"), false);
    chooseInPopup(widgetNamed<QComboBox>(QStringLiteral("Field type"), sheet), QStringLiteral("List"));
    addListValue(sheet, QStringLiteral("North"));
    addListValue(sheet, QStringLiteral("South"));
    click(widgetNamed<QPushButton>(QStringLiteral("Done"), sheet));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !sheetOver(window()); }, 5000));

    // Right-click on Bob: Set Field > Region > South.
    QAbstractItemView *list = contactsList();
    clickRow(list, QStringLiteral("Bob Brown"));
    const QModelIndex bob = rowWithText(list, QStringLiteral("Bob Brown"));
    ASSERT_TRUE(bob.isValid());
    const QPoint at = list->visualRect(bob).center();
    QContextMenuEvent rightClick(QContextMenuEvent::Mouse, at, list->viewport()->mapToGlobal(at));
    QApplication::sendEvent(list->viewport(), &rightClick);
    settle();
    QMenu *menu = openMenu();
    ASSERT_NE(menu, nullptr);
    QAction *setField = actionTitled(menu, QStringLiteral("Set Field"));
    ASSERT_NE(setField, nullptr);
    ASSERT_TRUE(setField->isEnabled());
    QAction *region = actionTitled(setField->menu(), QStringLiteral("Region"));
    ASSERT_NE(region, nullptr);
    QAction *south = actionTitled(region->menu(), QStringLiteral("South"));
    ASSERT_NE(south, nullptr);
    menu->hide();
    south->trigger();
    settle();

    // Bob's Fields tab shows it, after a quit and a start too.
    openFieldsTab(QStringLiteral("Bob Brown"));
    auto *value = widgetNamed<QComboBox>(QStringLiteral("Region"));
    ASSERT_NE(value, nullptr);
    EXPECT_EQ(value->currentText(), QStringLiteral("South"));
    quitThroughTheMenu();
    start();
    openFieldsTab(QStringLiteral("Bob Brown"));
    value = widgetNamed<QComboBox>(QStringLiteral("Region"));
    ASSERT_NE(value, nullptr);
    EXPECT_EQ(value->currentText(), QStringLiteral("South"));
}

TEST_F(FieldsRoadsTest, ThePreferencesFieldsListRenamesAndAddsFields)
{
    start();
    QWidget *preferences = openPreferencesPane(QStringLiteral("Manage Data"));
    ASSERT_NE(preferences, nullptr);
    click(widgetNamed<QPushButton>(QStringLiteral("Fields…"), preferences));
    platform::ui::Sheet *sheet = sheetOver(preferences);
    ASSERT_NE(sheet, nullptr);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(sheet));

    // "+" shows the field editor in the sheet; Done brings the list back with the new field.
    click(widgetNamed<QPushButton>(QStringLiteral("Add"), sheet));
    typeInto(widgetNamed<QLineEdit>(QStringLiteral("Field name"), sheet), QStringLiteral("Hobby"), false);
    click(widgetNamed<QPushButton>(QStringLiteral("Done"), sheet));
    auto *list = widgetNamed<QTreeWidget>(QStringLiteral("FormFields"), sheet);
    ASSERT_NE(list, nullptr);
    // A new database holds its "Pin Color" field besides the one added.
    const auto rowNamed = [&list](const QString &name) -> QTreeWidgetItem * {
        for (int i = 0; i < list->topLevelItemCount(); ++i)
            if (list->topLevelItem(i)->text(0) == name)
                return list->topLevelItem(i);
        return nullptr;
    };
    ASSERT_EQ(list->topLevelItemCount(), 2);
    ASSERT_NE(rowNamed(QStringLiteral("Pin Color")), nullptr);
    ASSERT_NE(rowNamed(QStringLiteral("Hobby")), nullptr);
    EXPECT_EQ(rowNamed(QStringLiteral("Hobby"))->text(1), QStringLiteral("Text"));

    // Its disclosure button opens it again; a new name typed and Return (the editor's Done) keep it.
    click(widgetNamed<QToolButton>(QStringLiteral("Edit Hobby"), sheet));
    replaceText(widgetNamed<QLineEdit>(QStringLiteral("Field name"), sheet), QStringLiteral("Pastime"));
    list = widgetNamed<QTreeWidget>(QStringLiteral("FormFields"), sheet);
    ASSERT_NE(list, nullptr);
    EXPECT_NE(rowNamed(QStringLiteral("Pastime")), nullptr);
    EXPECT_EQ(rowNamed(QStringLiteral("Hobby")), nullptr);
    click(widgetNamed<QPushButton>(QStringLiteral("Done"), sheet));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !sheetOver(preferences); }, 5000));
    preferences->close();

    quitThroughTheMenu();
    start();
    addContact(QStringLiteral("Cy"), QStringLiteral("Cole"));
    openFieldsTab(QStringLiteral("Cy Cole"));
    click(widgetNamed<QPushButton>(QStringLiteral("Add to Fields")));
    pick(QStringLiteral("Pastime"));
    EXPECT_NE(widgetNamed<QLineEdit>(QStringLiteral("Pastime")), nullptr);
}

} // namespace
