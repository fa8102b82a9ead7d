#include "platform/ui/AlertPresenter.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QPushButton>
#include <QTest>
#include <gtest/gtest.h>

#include <optional>

using namespace platform::ui;

namespace {

class AlertPresenterTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        presenter().clearAnswers();
        presenter().clearShownAlerts();
        presenter().setBlockingForbidden(true);
        window.resize(800, 600);
        window.show();
    }
    void TearDown() override
    {
        for (AlertDialog *dialog : presenter().openAlerts())
            dialog->endSheet(AlertFirstButtonReturn);
        QCoreApplication::processEvents();
    }
    static AlertPresenter &presenter() { return AlertPresenter::shared(); }

    static AlertSpec deleteConfirmation()
    {
        AlertSpec spec;
        spec.messageText = QStringLiteral("Delete contact?");
        spec.informativeText = QStringLiteral("This cannot be undone.");
        spec.buttonTitles = {QStringLiteral("Delete"), QStringLiteral("Cancel")};
        spec.showsSuppressionButton = true;
        return spec;
    }

    QMainWindow window;
};

TEST_F(AlertPresenterTest, AnswersSetAheadAreConsumedInOrderAfterTheCallerReturns)
{
    presenter().setNextAnswer(AlertAnswer::button(1));
    presenter().setNextAnswer(AlertAnswer::button(0, true));

    QList<AlertResult> results;
    presenter().runModal(deleteConfirmation(), [&](const AlertResult &r) { results.append(r); });
    presenter().beginSheet(deleteConfirmation(), &window, [&](const AlertResult &r) { results.append(r); });

    // Like a real alert, the answer arrives after the caller has returned.
    EXPECT_TRUE(results.isEmpty());
    EXPECT_TRUE(presenter().openAlerts().isEmpty());
    QCoreApplication::processEvents();

    ASSERT_EQ(results.size(), 2);
    EXPECT_EQ(results[0].returnCode(), AlertSecondButtonReturn);
    EXPECT_FALSE(results[0].suppressed);
    EXPECT_EQ(results[1].returnCode(), AlertFirstButtonReturn);
    EXPECT_TRUE(results[1].suppressed);
    EXPECT_EQ(presenter().pendingAnswerCount(), 0);

    const QList<ShownAlert> &shown = presenter().shownAlerts();
    ASSERT_EQ(shown.size(), 2);
    EXPECT_FALSE(shown[0].asSheet);
    EXPECT_TRUE(shown[1].asSheet);
    EXPECT_EQ(shown[1].window, &window);
    EXPECT_EQ(shown[1].spec.messageText, QStringLiteral("Delete contact?"));
    EXPECT_EQ(shown[1].spec.buttonTitles, (QStringList{QStringLiteral("Delete"), QStringLiteral("Cancel")}));
    EXPECT_TRUE(shown[0].answeredAhead && shown[1].answeredAhead);
}

TEST_F(AlertPresenterTest, SheetWithAccessoryFieldAnsweredAheadCarriesTheText)
{
    AlertSpec spec;
    spec.messageText = QStringLiteral("New group");
    spec.buttonTitles = {QStringLiteral("Create"), QStringLiteral("Cancel")};
    spec.hasAccessoryTextField = true;
    spec.accessoryText = QStringLiteral("Untitled");

    presenter().setNextAnswer(AlertAnswer::withText(0, QStringLiteral("Friends")));
    presenter().setNextAnswer(AlertAnswer::button(1)); // text left as the alert starts with it

    QList<AlertResult> results;
    presenter().beginSheet(spec, &window, [&](const AlertResult &r) { results.append(r); });
    presenter().beginSheet(spec, &window, [&](const AlertResult &r) { results.append(r); });
    QCoreApplication::processEvents();

    ASSERT_EQ(results.size(), 2);
    EXPECT_EQ(results[0].accessoryText, QStringLiteral("Friends"));
    EXPECT_EQ(results[1].returnCode(), AlertSecondButtonReturn);
    EXPECT_EQ(results[1].accessoryText, QStringLiteral("Untitled"));
    // A suppression answer on an alert without the box is not reported.
    presenter().setNextAnswer(AlertAnswer::button(0, true));
    std::optional<AlertResult> plain;
    presenter().runModal(AlertSpec(), [&](const AlertResult &r) { plain = r; });
    QCoreApplication::processEvents();
    ASSERT_TRUE(plain.has_value());
    EXPECT_FALSE(plain->suppressed);
}

TEST_F(AlertPresenterTest, RealSheetIsWindowModalAndReportsThePressedButtonByPosition)
{
    std::optional<AlertResult> result;
    presenter().beginSheet(deleteConfirmation(), &window, [&](const AlertResult &r) { result = r; });

    const QList<AlertDialog *> open = presenter().openAlerts();
    ASSERT_EQ(open.size(), 1);
    AlertDialog *dialog = open.first();
    EXPECT_EQ(dialog->windowModality(), Qt::WindowModal);
    EXPECT_EQ(dialog->sheetParent(), &window);
    EXPECT_EQ(Sheet::attachedSheet(&window), dialog);
    EXPECT_TRUE(dialog->button(0)->isDefault());
    EXPECT_EQ(dialog->findChild<QLabel *>(QStringLiteral("messageText"))->text(), QStringLiteral("Delete contact?"));
    EXPECT_EQ(dialog->findChild<QLabel *>(QStringLiteral("informativeText"))->text(),
              QStringLiteral("This cannot be undone."));
    ASSERT_NE(dialog->suppressionButton(), nullptr);
    EXPECT_EQ(dialog->suppressionButton()->text(), QStringLiteral("Do not show this message again"));

    QTest::mouseClick(dialog->suppressionButton(), Qt::LeftButton);
    QTest::mouseClick(dialog->button(1), Qt::LeftButton);

    ASSERT_TRUE(result.has_value());
    EXPECT_EQ(result->returnCode(), AlertSecondButtonReturn);
    EXPECT_TRUE(result->suppressed);
    EXPECT_EQ(Sheet::attachedSheet(&window), nullptr);
    EXPECT_TRUE(presenter().openAlerts().isEmpty());
    ASSERT_EQ(presenter().shownAlerts().size(), 1);
    EXPECT_TRUE(presenter().shownAlerts().first().answered);
    EXPECT_FALSE(presenter().shownAlerts().first().answeredAhead);
}

TEST_F(AlertPresenterTest, EscapeAnswersCancelOnlyWhereTheAlertHasOne)
{
    // Escape picks the Cancel button wherever it stands.
    std::optional<AlertResult> withCancel;
    presenter().runModal(deleteConfirmation(), [&](const AlertResult &r) { withCancel = r; });
    ASSERT_EQ(presenter().openAlerts().size(), 1);
    QTest::keyClick(presenter().openAlerts().first(), Qt::Key_Escape);
    ASSERT_TRUE(withCancel.has_value());
    EXPECT_EQ(withCancel->returnCode(), AlertSecondButtonReturn);

    // Without one, Escape leaves the alert up, and Return takes the default (first) button.
    AlertSpec spec;
    spec.buttonTitles = {QStringLiteral("Try Again"), QStringLiteral("Continue")};
    std::optional<AlertResult> noCancel;
    presenter().runModal(spec, [&](const AlertResult &r) { noCancel = r; });
    ASSERT_EQ(presenter().openAlerts().size(), 1);
    AlertDialog *dialog = presenter().openAlerts().first();
    QTest::keyClick(dialog, Qt::Key_Escape);
    EXPECT_FALSE(noCancel.has_value());
    EXPECT_TRUE(dialog->isVisible());
    QTest::keyClick(dialog, Qt::Key_Return);
    ASSERT_TRUE(noCancel.has_value());
    EXPECT_EQ(noCancel->returnCode(), AlertFirstButtonReturn);
}

TEST_F(AlertPresenterTest, EmptyTextsShowOneOkButtonAndNoBlankLines)
{
    presenter().runModal(AlertSpec());
    ASSERT_EQ(presenter().openAlerts().size(), 1);
    AlertDialog *dialog = presenter().openAlerts().first();
    EXPECT_EQ(dialog->windowModality(), Qt::ApplicationModal);
    ASSERT_EQ(dialog->buttonCount(), 1);
    EXPECT_EQ(dialog->button(0)->text(), QStringLiteral("OK"));
    EXPECT_FALSE(dialog->findChild<QLabel *>(QStringLiteral("messageText"))->isVisible());
    EXPECT_FALSE(dialog->findChild<QLabel *>(QStringLiteral("informativeText"))->isVisible());
    EXPECT_EQ(dialog->suppressionButton(), nullptr);
    EXPECT_EQ(dialog->accessoryTextField(), nullptr);
    QTest::mouseClick(dialog->button(0), Qt::LeftButton);
    EXPECT_TRUE(presenter().openAlerts().isEmpty());
}

TEST_F(AlertPresenterTest, RealAccessoryFieldTextComesBackWithTheAnswer)
{
    AlertSpec spec;
    spec.buttonTitles = {QStringLiteral("Create"), QStringLiteral("Cancel")};
    spec.hasAccessoryTextField = true;
    std::optional<AlertResult> result;
    presenter().beginSheet(spec, &window, [&](const AlertResult &r) { result = r; });
    AlertDialog *dialog = presenter().openAlerts().value(0);
    ASSERT_NE(dialog, nullptr);
    ASSERT_NE(dialog->accessoryTextField(), nullptr);
    EXPECT_EQ(dialog->accessoryTextField()->size(), QSize(300, 24));
    QTest::keyClicks(dialog->accessoryTextField(), QStringLiteral("Clients"));
    QTest::keyClick(dialog->accessoryTextField(), Qt::Key_Return);
    ASSERT_TRUE(result.has_value());
    EXPECT_EQ(result->returnCode(), AlertFirstButtonReturn);
    EXPECT_EQ(result->accessoryText, QStringLiteral("Clients"));
}

TEST_F(AlertPresenterTest, BlockingAlertNeverBlocksATest)
{
    presenter().setNextAnswer(AlertAnswer::button(1));
    EXPECT_EQ(presenter().runModalBlocking(deleteConfirmation()).returnCode(), AlertSecondButtonReturn);

    // Nothing set ahead and blocking forbidden: the default button answers, and the record says so.
    const AlertResult fallback = presenter().runModalBlocking(deleteConfirmation());
    EXPECT_EQ(fallback.returnCode(), AlertFirstButtonReturn);
    ASSERT_EQ(presenter().shownAlerts().size(), 2);
    EXPECT_TRUE(presenter().shownAlerts()[0].answeredAhead);
    EXPECT_FALSE(presenter().shownAlerts()[1].answeredAhead);
    EXPECT_TRUE(presenter().openAlerts().isEmpty());
}

TEST_F(AlertPresenterTest, AnAlertMayMakeALaterButtonTheDefault)
{
    AlertSpec spec;
    spec.buttonTitles = {QStringLiteral("Go Now"), QStringLiteral("Later")};
    spec.defaultButtonIndex = 1;
    // Return presses "Later" on the alert on show.
    std::optional<AlertResult> pressed;
    presenter().beginSheet(spec, &window, [&](const AlertResult &r) { pressed = r; });
    ASSERT_EQ(presenter().openAlerts().size(), 1);
    AlertDialog *dialog = presenter().openAlerts().first();
    EXPECT_FALSE(dialog->button(0)->isDefault());
    EXPECT_TRUE(dialog->button(1)->isDefault());
    QTest::keyClick(dialog, Qt::Key_Return);
    ASSERT_TRUE(pressed.has_value());
    EXPECT_EQ(pressed->returnCode(), AlertSecondButtonReturn);
    // A blocking alert nobody may answer takes the same default.
    EXPECT_EQ(presenter().runModalBlocking(spec).returnCode(), AlertSecondButtonReturn);
}

} // namespace
