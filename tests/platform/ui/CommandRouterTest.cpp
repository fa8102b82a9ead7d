#include "platform/ui/CommandRouter.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QLineEdit>
#include <QListWidget>
#include <QMainWindow>
#include <QMenu>
#include <QTest>
#include <QVBoxLayout>
#include <gtest/gtest.h>

#include <memory>

using namespace platform::ui;

namespace {

// A main window with a section (a plain widget holding a list and a text field) and a sidebar list.
class CommandRouterTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        auto *central = new QWidget;
        auto *layout = new QVBoxLayout(central);
        sidebar = new QListWidget;
        sidebar->setObjectName(QStringLiteral("sidebar"));
        section = new QWidget;
        section->setObjectName(QStringLiteral("section"));
        auto *sectionLayout = new QVBoxLayout(section);
        list = new QListWidget(section);
        list->addItems({QStringLiteral("Ann"), QStringLiteral("Bob")});
        field = new QLineEdit(section);
        sectionLayout->addWidget(list);
        sectionLayout->addWidget(field);
        layout->addWidget(sidebar);
        layout->addWidget(section);
        window.setCentralWidget(central);
        window.show();
        window.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&window));

        router().setApplicationResponder(&appDelegate);
        router().addHandler(&appDelegate, QStringLiteral("newContact:"), [this](QObject *) { calls << "app:newContact"; });
        router().addHandler(section, QStringLiteral("delete:"), [this](QObject *) { calls << "section:delete"; },
                            [this](QAction *) {
                                CommandState state;
                                state.enabled = list->currentRow() >= 0;
                                return state;
                            });
    }
    void TearDown() override { router().setApplicationResponder(nullptr); }

    static CommandRouter &router() { return CommandRouter::shared(); }

    QMainWindow window;
    QObject appDelegate;
    QListWidget *sidebar = nullptr;
    QWidget *section = nullptr;
    QListWidget *list = nullptr;
    QLineEdit *field = nullptr;
    QStringList calls;
};

TEST_F(CommandRouterTest, ChainRunsFromTheFocusWidgetUpToTheWindowThenTheApplication)
{
    list->setFocus();
    ASSERT_EQ(QApplication::focusWidget(), list);
    const QList<QObject *> chain = router().responderChain();
    ASSERT_GE(chain.size(), 4);
    EXPECT_EQ(chain.first(), list);
    EXPECT_EQ(chain.at(1), section);
    EXPECT_TRUE(chain.contains(&window));
    EXPECT_EQ(chain.last(), &appDelegate);

    // Table: command, focus, expected target, performed?
    struct Case
    {
        const char *command;
        QWidget *focus;
        QObject *target;
        bool performed;
    };
    list->setCurrentRow(0);
    const Case cases[] = {
        {"delete:", list, section, true},          // the section behind the list answers
        {"newContact:", list, &appDelegate, true}, // only the application answers
        {"delete:", sidebar, nullptr, false},      // nothing in the sidebar's chain answers
        {"newContact:", sidebar, &appDelegate, true},
        {"print:", list, nullptr, false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.command);
        c.focus->setFocus();
        EXPECT_EQ(router().targetForCommand(QString::fromLatin1(c.command)), c.target);
        EXPECT_EQ(router().sendCommand(QString::fromLatin1(c.command)), c.performed);
    }
    EXPECT_EQ(calls, (QStringList{"section:delete", "app:newContact", "app:newContact"}));
}

TEST_F(CommandRouterTest, ValidationDrivesBoundItemsAndRefusesDisabledCommands)
{
    QMenu edit(QStringLiteral("Edit"));
    QAction *remove = edit.addAction(QStringLiteral("Delete"));
    QAction *add = edit.addAction(QStringLiteral("New Contact"));
    router().bindAction(remove, QStringLiteral("delete:"));
    router().bindAction(add, QStringLiteral("newContact:"));
    router().watchMenu(&edit);

    list->setFocus();
    list->setCurrentRow(-1);
    router().revalidate();
    EXPECT_FALSE(remove->isEnabled()); // the section answers but has nothing selected
    EXPECT_TRUE(add->isEnabled());
    EXPECT_FALSE(router().sendCommand(QStringLiteral("delete:")));
    remove->trigger();
    EXPECT_TRUE(calls.isEmpty());

    list->setCurrentRow(1);
    router().revalidate();
    EXPECT_TRUE(remove->isEnabled());
    remove->trigger();
    EXPECT_EQ(calls, QStringList{"section:delete"});

    // Moving the focus out of the section takes the command away from its items at once.
    sidebar->setFocus();
    EXPECT_FALSE(remove->isEnabled());
    EXPECT_TRUE(add->isEnabled());
}

TEST_F(CommandRouterTest, ValidatorSetsCheckMarkAndTitleAndShortcutsFollowIt)
{
    bool sortByCompany = true;
    router().addHandler(section, QStringLiteral("toggleSort:"), [&](QObject *) { sortByCompany = !sortByCompany; });
    router().setValidator(section, [&](const QString &command, QAction *) {
        CommandState state;
        if (command == QLatin1String("toggleSort:")) {
            state.checked = sortByCompany;
            state.title = sortByCompany ? QStringLiteral("Sort by Name") : QStringLiteral("Sort by Company");
        }
        return state;
    });
    auto *toggle = new QAction(QStringLiteral("Sort"), &window);
    toggle->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_J));
    window.addAction(toggle);
    router().bindAction(toggle, QStringLiteral("toggleSort:"));

    list->setFocus();
    router().revalidate();
    EXPECT_TRUE(toggle->isChecked());
    EXPECT_EQ(toggle->text(), QStringLiteral("Sort by Name"));

    QTest::keyClick(list, Qt::Key_J, Qt::ControlModifier);
    EXPECT_FALSE(sortByCompany);
    router().revalidate();
    EXPECT_EQ(toggle->text(), QStringLiteral("Sort by Company"));

    // With the focus where nothing answers, the shortcut does nothing.
    sidebar->setFocus();
    QTest::keyClick(sidebar, Qt::Key_J, Qt::ControlModifier);
    EXPECT_FALSE(sortByCompany);
    EXPECT_FALSE(toggle->isEnabled());
}

TEST_F(CommandRouterTest, TextFieldsAnswerTheEditingCommandsBeforeTheSection)
{
    field->setText(QStringLiteral("Ann Smith"));
    field->setFocus();
    list->setCurrentRow(0);

    // With no selection the field still owns "delete:", so the section's delete stays out of reach.
    field->deselect();
    EXPECT_EQ(router().targetForCommand(QStringLiteral("delete:")), field);
    EXPECT_FALSE(router().validateCommand(QStringLiteral("delete:")).enabled);
    EXPECT_FALSE(router().sendCommand(QStringLiteral("delete:")));
    EXPECT_TRUE(calls.isEmpty());

    EXPECT_TRUE(router().sendCommand(QStringLiteral("selectAll:")));
    EXPECT_TRUE(router().sendCommand(QStringLiteral("copy:")));
    EXPECT_EQ(QApplication::clipboard()->text(), QStringLiteral("Ann Smith"));
    EXPECT_TRUE(router().sendCommand(QStringLiteral("delete:")));
    EXPECT_TRUE(field->text().isEmpty());
    EXPECT_TRUE(router().sendCommand(QStringLiteral("undo:")));
    EXPECT_EQ(field->text(), QStringLiteral("Ann Smith"));

    field->setReadOnly(true);
    field->selectAll();
    EXPECT_TRUE(router().validateCommand(QStringLiteral("copy:")).enabled);
    EXPECT_FALSE(router().validateCommand(QStringLiteral("cut:")).enabled);
    EXPECT_FALSE(router().validateCommand(QStringLiteral("paste:")).enabled);

    // An explicit handler on the field wins over its own editing.
    router().addHandler(field, QStringLiteral("paste:"), [this](QObject *) { calls << "field:paste"; });
    EXPECT_TRUE(router().sendCommand(QStringLiteral("paste:")));
    EXPECT_EQ(calls, QStringList{"field:paste"});
}

TEST_F(CommandRouterTest, NextResponderSitsRightBehindItsViewAndGoesAwayWithItsOwner)
{
    auto controller = std::make_unique<QObject>();
    router().addHandler(controller.get(), QStringLiteral("delete:"), [this](QObject *) { calls << "controller:delete"; });
    router().setNextResponder(list, controller.get());
    list->setFocus();
    list->setCurrentRow(0);

    const QList<QObject *> chain = router().responderChain();
    ASSERT_GE(chain.size(), 3);
    EXPECT_EQ(chain.at(0), list);
    EXPECT_EQ(chain.at(1), controller.get());
    EXPECT_EQ(chain.at(2), section);
    EXPECT_TRUE(router().sendCommand(QStringLiteral("delete:")));
    EXPECT_EQ(calls, QStringList{"controller:delete"});

    // Replacing the controller leaves exactly one link between the view and its parent.
    QObject other;
    router().setNextResponder(list, &other);
    EXPECT_EQ(router().responderChain().at(1), &other);
    EXPECT_EQ(router().responderChain().at(2), section);

    router().setNextResponder(list, controller.get());
    controller.reset(); // the registration and the link go with it
    EXPECT_EQ(router().targetForCommand(QStringLiteral("delete:")), section);
    EXPECT_EQ(router().responderChain().at(1), section);
}

} // namespace
