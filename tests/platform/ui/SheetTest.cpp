#include "platform/ui/Sheet.h"

#include <QLabel>
#include <QMainWindow>
#include <QPointer>
#include <QTest>
#include <gtest/gtest.h>

using namespace platform::ui;

namespace {

class SheetTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        window.resize(800, 600);
        window.show();
    }
    QMainWindow window;
};

TEST_F(SheetTest, BeginsWindowModallyAndEndsOnceWithTheResponseCode)
{
    auto *sheet = new Sheet;
    sheet->setContentWidget(new QLabel(QStringLiteral("Editor")));
    QList<int> codes;
    QPointer<Sheet> guard(sheet);
    sheet->beginSheet(window.centralWidget() ? window.centralWidget() : &window,
                      [&](int code) { codes.append(code); });

    EXPECT_TRUE(sheet->isVisible());
    EXPECT_TRUE(sheet->isActive());
    EXPECT_EQ(sheet->windowModality(), Qt::WindowModal);
    EXPECT_EQ(sheet->sheetParent(), &window);
    EXPECT_EQ(Sheet::attachedSheet(&window), sheet);
    EXPECT_TRUE(codes.isEmpty()); // begun without waiting

    sheet->endSheet(ModalResponseOK);
    sheet->endSheet(ModalResponseCancel);
    EXPECT_EQ(codes, QList<int>{ModalResponseOK});
    EXPECT_FALSE(sheet->isVisible());
    EXPECT_EQ(Sheet::attachedSheet(&window), nullptr);

    // Deleted from the event loop, after the completion could still read it.
    ASSERT_TRUE(guard);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_FALSE(guard);
}

TEST_F(SheetTest, EscapeEndsTheSheetWithCancel)
{
    Sheet sheet;
    sheet.setDeleteOnEnd(false);
    int code = -1;
    sheet.beginSheet(&window, [&](int c) { code = c; });
    QTest::keyClick(&sheet, Qt::Key_Escape);
    EXPECT_EQ(code, ModalResponseCancel);
    EXPECT_FALSE(sheet.isActive());
}

TEST_F(SheetTest, SheetsStackOnTheirWindowAndACompletionMayBeginTheNext)
{
    Sheet first;
    Sheet second;
    first.setDeleteOnEnd(false);
    second.setDeleteOnEnd(false);
    first.beginSheet(&window, [&](int) { second.beginSheet(&window); });
    EXPECT_EQ(Sheet::attachedSheets(&window), QList<Sheet *>{&first});
    first.endSheet(ModalResponseOK);
    EXPECT_EQ(Sheet::attachedSheets(&window), QList<Sheet *>{&second});

    // A sheet can be begun again once it has ended.
    first.beginSheet(&window);
    EXPECT_EQ(Sheet::attachedSheets(&window), (QList<Sheet *>{&second, &first}));
    first.endSheet(ModalResponseOK);
    second.endSheet(ModalResponseOK);
    EXPECT_TRUE(Sheet::attachedSheets(&window).isEmpty());
}

TEST_F(SheetTest, WithoutAWindowTheSheetIsApplicationModal)
{
    Sheet sheet;
    sheet.setDeleteOnEnd(false);
    sheet.beginSheet(nullptr);
    EXPECT_EQ(sheet.windowModality(), Qt::ApplicationModal);
    EXPECT_EQ(sheet.sheetParent(), nullptr);
    sheet.endSheet(ModalResponseOK);
}

} // namespace
