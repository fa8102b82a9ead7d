#include "platform/ui/AlertPresenter.h"
#include "platform/ui/Popover.h"

#include <QDialog>
#include <QLineEdit>
#include <QMainWindow>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QVBoxLayout>
#include <gtest/gtest.h>

using namespace platform::ui;

namespace {

class PopoverTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        auto *central = new QWidget;
        auto *layout = new QVBoxLayout(central);
        anchorButton = new QPushButton(QStringLiteral("Add"));
        elsewhere = new QPushButton(QStringLiteral("Elsewhere"));
        layout->addWidget(anchorButton);
        layout->addWidget(elsewhere);
        window.setCentralWidget(central);
        window.resize(600, 400);
        window.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));

        popover = new Popover(&window);
        popover->setBehavior(Popover::Behavior::Transient);
        auto *content = new QWidget;
        auto *contentLayout = new QVBoxLayout(content);
        field = new QLineEdit;
        openDialog = new QPushButton(QStringLiteral("More…"));
        contentLayout->addWidget(field);
        contentLayout->addWidget(openDialog);
        popover->setContentWidget(content);
        // The content opens a dialog of its own, as a picker or an editor does.
        QObject::connect(openDialog, &QPushButton::clicked, openDialog, [this] {
            dialog = new QDialog(openDialog);
            dialog->setAttribute(Qt::WA_DeleteOnClose);
            auto *dialogLayout = new QVBoxLayout(dialog);
            dialogButton = new QPushButton(QStringLiteral("Choose"), dialog);
            dialogLayout->addWidget(dialogButton);
            dialog->open();
        });
    }

    void showPopover()
    {
        popover->showRelativeTo(QRect(), anchorButton, Popover::Edge::Bottom);
        ASSERT_TRUE(QTest::qWaitForWindowExposed(popover));
    }

    QMainWindow window;
    QPushButton *anchorButton = nullptr;
    QPushButton *elsewhere = nullptr;
    Popover *popover = nullptr;
    QLineEdit *field = nullptr;
    QPushButton *openDialog = nullptr;
    QDialog *dialog = nullptr;
    QPushButton *dialogButton = nullptr;
};

TEST_F(PopoverTest, SurvivesADialogOpenedFromInsideItAndClosesOnEscape)
{
    QSignalSpy closed(popover, &Popover::didClose);
    showPopover();
    EXPECT_TRUE(popover->isShown());
    EXPECT_TRUE(popover->isWindow());
    EXPECT_EQ(popover->windowType(), Qt::Tool);

    QTest::mouseClick(openDialog, Qt::LeftButton);
    ASSERT_NE(dialog, nullptr);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(dialog));
    QTest::mouseClick(dialogButton, Qt::LeftButton);
    QCoreApplication::processEvents();
    EXPECT_TRUE(popover->isShown());
    EXPECT_TRUE(popover->isVisible());

    // Escape inside the dialog closes the dialog, not the popover.
    QTest::keyClick(dialog, Qt::Key_Escape);
    QCoreApplication::processEvents();
    EXPECT_TRUE(popover->isShown());
    EXPECT_EQ(closed.count(), 0);

    QTest::keyClick(field, Qt::Key_Escape);
    QCoreApplication::processEvents();
    EXPECT_FALSE(popover->isShown());
    EXPECT_FALSE(popover->isVisible());
    EXPECT_EQ(closed.count(), 1);
}

TEST_F(PopoverTest, AnAlertRaisedFromTheContentDoesNotCloseIt)
{
    auto &alerts = platform::ui::AlertPresenter::shared();
    alerts.clearAnswers();
    showPopover();
    platform::ui::AlertSpec spec;
    spec.messageText = QStringLiteral("Delete this log?");
    spec.buttonTitles = {QStringLiteral("Delete"), QStringLiteral("Cancel")};
    int answered = 0;
    alerts.runModal(spec, [&](const platform::ui::AlertResult &) { ++answered; });
    ASSERT_EQ(alerts.openAlerts().size(), 1);
    QTest::mouseClick(alerts.openAlerts().first()->button(1), Qt::LeftButton);
    QCoreApplication::processEvents();
    EXPECT_EQ(answered, 1);
    EXPECT_TRUE(popover->isShown());
}

TEST_F(PopoverTest, TransientClosesOnAClickOutsideButNotOnClicksInside)
{
    QSignalSpy closed(popover, &Popover::didClose);
    showPopover();
    QTest::mouseClick(field, Qt::LeftButton);
    QCoreApplication::processEvents();
    EXPECT_TRUE(popover->isShown());

    int elsewhereClicks = 0;
    QObject::connect(elsewhere, &QPushButton::clicked, [&] { ++elsewhereClicks; });
    QTest::mouseClick(elsewhere, Qt::LeftButton);
    QCoreApplication::processEvents();
    EXPECT_FALSE(popover->isShown());
    EXPECT_EQ(closed.count(), 1);
    EXPECT_EQ(elsewhereClicks, 1); // the click still reaches what it was aimed at

    // Shown again, it closes again.
    showPopover();
    EXPECT_TRUE(popover->isShown());
    popover->closePopover();
    popover->closePopover();
    EXPECT_EQ(closed.count(), 2);
}

TEST_F(PopoverTest, ApplicationDefinedIgnoresOutsideClicksAndEscape)
{
    popover->setBehavior(Popover::Behavior::ApplicationDefined);
    showPopover();
    QTest::mouseClick(elsewhere, Qt::LeftButton);
    QTest::keyClick(field, Qt::Key_Escape);
    QCoreApplication::processEvents();
    EXPECT_TRUE(popover->isShown());
    popover->closePopover();
    EXPECT_FALSE(popover->isShown());
}

TEST_F(PopoverTest, ClosesWhenItsAnchorGoesAway)
{
    showPopover();
    delete anchorButton;
    anchorButton = nullptr;
    EXPECT_FALSE(popover->isShown());
}

TEST(PopoverPlacement, PreferredEdgeFlipsWhenTheScreenHasNoRoomAndSlidesAlongIt)
{
    const QRect screen(0, 0, 1000, 800);
    const QSize size(200, 100);
    struct Case
    {
        QRect anchor;
        Popover::Edge preferred;
        Popover::Edge used;
        QPoint topLeft;
    };
    const int g = Popover::Gap;
    const Case cases[] = {
        {QRect(400, 100, 100, 20), Popover::Edge::Bottom, Popover::Edge::Bottom, QPoint(350, 120 + g)},
        {QRect(400, 100, 100, 20), Popover::Edge::Top, Popover::Edge::Bottom, QPoint(350, 120 + g)}, // no room above
        {QRect(400, 750, 100, 20), Popover::Edge::Bottom, Popover::Edge::Top, QPoint(350, 750 - g - 100)},
        {QRect(0, 300, 40, 20), Popover::Edge::Bottom, Popover::Edge::Bottom, QPoint(0, 320 + g)}, // slid right
        {QRect(400, 300, 100, 20), Popover::Edge::Right, Popover::Edge::Right, QPoint(500 + g, 260)},
        {QRect(900, 300, 100, 20), Popover::Edge::Right, Popover::Edge::Left, QPoint(900 - g - 200, 260)},
    };
    for (const Case &c : cases) {
        Popover::Edge used;
        const QRect rect = Popover::placement(c.anchor, size, c.preferred, screen, &used);
        EXPECT_EQ(used, c.used) << c.anchor.x() << "," << c.anchor.y();
        EXPECT_EQ(rect.topLeft(), c.topLeft) << c.anchor.x() << "," << c.anchor.y();
        EXPECT_EQ(rect.size(), size);
    }
}

} // namespace
