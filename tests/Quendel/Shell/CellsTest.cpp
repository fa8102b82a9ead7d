#include "Mac/Journal/CommonListCellView.h"
#include "Mac/Journal/CommonListTableRowView.h"
#include "Mac/Shell/CustomNSCollectionView.h"
#include "Mac/Shell/CustomNSScrollView.h"
#include "Mac/Shell/MacManageDataCellView.h"
#include "Mac/Shell/NSColor_Expanded.h"
#include "Mac/Shell/QDCustomTextField.h"
#include "Mac/Shell/TableCellWithCollectionView.h"

#include <QImage>
#include <QLabel>
#include <QListView>
#include <QPainter>
#include <QPointer>
#include <QStandardItemModel>
#include <QTest>
#include <QVBoxLayout>
#include <gtest/gtest.h>

namespace {

TEST(NSColorExpanded, HexStringsAndNumbers)
{
    const QColor orange = NSColor_Expanded::colorWithHexString(QStringLiteral("#FF8000"));
    ASSERT_TRUE(orange.isValid());
    EXPECT_EQ(orange, NSColor_Expanded::colorWithHexString(QStringLiteral("FF8000")));
    EXPECT_EQ(orange.red(), 255);
    EXPECT_EQ(orange.green(), 128);
    EXPECT_EQ(orange.blue(), 0);
    EXPECT_EQ(orange.alpha(), 255);
    EXPECT_NEAR(orange.greenF(), 128.0 / 255.0, 1e-4);

    struct Case
    {
        const char *text;
        bool valid;
        QRgb rgb;
    };
    const Case cases[] = {
        {"#", false, 0},
        {"", false, 0},
        {"xyz", false, 0},
        {"#G00000", false, 0},
        {"1FF8000", true, qRgb(255, 128, 0)}, // the bit above the colour's 24 is ignored
        {"0x0000ff", true, qRgb(0, 0, 255)},
        {"abc", true, qRgb(0, 0x0a, 0xbc)},
        {"12zz", true, qRgb(0, 0, 0x12)}, // reads as far as the digits go
        {"123456789", true, qRgb(255, 255, 255)}, // too large reads as the largest number
    };
    for (const Case &c : cases) {
        const QColor color = NSColor_Expanded::colorWithHexString(QString::fromLatin1(c.text));
        EXPECT_EQ(color.isValid(), c.valid) << c.text;
        if (c.valid) {
            EXPECT_EQ(color.rgb(), c.rgb) << c.text;
        }
    }
    EXPECT_EQ(NSColor_Expanded::colorWithRGBHex(0xFF336699u).rgb(), qRgb(0x33, 0x66, 0x99));
}

QImage blank(int w, int h)
{
    QImage image(w, h, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    return image;
}

TEST(CommonListTableRowView, SelectionIsARoundedBlueInsetAndEveryRowHasATopLine)
{
    QImage image = blank(100, 30);
    {
        QPainter painter(&image);
        CommonListTableRowView::drawSelectionInRect(&painter, QRectF(0, 0, 100, 30));
    }
    EXPECT_EQ(image.pixelColor(50, 15).rgb(), qRgb(51, 128, 255));
    EXPECT_EQ(image.pixelColor(1, 15).alpha(), 0);  // inside the 2.5-point margin
    EXPECT_EQ(image.pixelColor(50, 1).alpha(), 0);
    EXPECT_EQ(image.pixelColor(3, 3).alpha() < 255, true); // the rounded corner

    QImage line = blank(100, 30);
    {
        QPainter painter(&line);
        CommonListTableRowView::drawTopLine(&painter, QRectF(0, 0, 100, 30));
    }
    EXPECT_EQ(line.pixelColor(50, 0).rgb(), qRgb(204, 204, 204));
    EXPECT_EQ(line.pixelColor(50, 1).alpha(), 0);
}

TEST(CommonListTableRowView, DelegateDrawsTheSelectionOnlyWhenTheListHighlights)
{
    QStandardItemModel model;
    model.appendRow(new QStandardItem(QString()));
    QListView view;
    view.setModel(&model);
    CommonListTableRowView rows;

    auto render = [&](bool selected) {
        QStyleOptionViewItem option;
        option.initFrom(&view);
        option.rect = QRect(0, 0, 120, 40);
        option.widget = &view;
        if (selected)
            option.state |= QStyle::State_Selected;
        else
            option.state &= ~QStyle::State_Selected;
        QImage image = blank(120, 40);
        QPainter painter(&image);
        rows.paint(&painter, option, model.index(0, 0));
        painter.end();
        return image;
    };
    EXPECT_EQ(render(true).pixelColor(60, 20).rgb(), qRgb(51, 128, 255));
    EXPECT_NE(render(false).pixelColor(60, 20).rgb(), qRgb(51, 128, 255));
    EXPECT_EQ(render(false).pixelColor(60, 0).rgb(), qRgb(204, 204, 204));

    rows.setSelectionHighlightStyle(CommonListTableRowView::SelectionHighlightStyle::None);
    const QImage none = render(true);
    EXPECT_NE(none.pixelColor(60, 20).rgb(), qRgb(51, 128, 255));
    EXPECT_EQ(none.pixelColor(60, 0).rgb(), qRgb(204, 204, 204));
}

TEST(CommonListCellView, ListSourcesAdjustTheTitleRowMeasures)
{
    CommonListCellView cell;
    cell.textField()->setText(QStringLiteral("Meeting"));
    cell.locationTextField()->setText(QStringLiteral("Berlin"));
    cell.resize(400, 60);
    cell.show();
    QCoreApplication::processEvents();

    auto gap = [&] { return cell.locationIconView()->x() - (cell.textField()->x() + cell.textField()->width()); };
    EXPECT_EQ(cell.titleToLocationIconConstraint()->constant(), 12);
    EXPECT_EQ(gap(), 12);
    cell.titleToLocationIconConstraint()->setConstant(0);
    cell.locationIconWidthConstraint()->setConstant(0);
    cell.locationIconToLabelConstraint()->setConstant(0);
    cell.layout()->activate();
    EXPECT_EQ(gap(), 0);
    EXPECT_EQ(cell.locationIconView()->width(), 0);
    EXPECT_EQ(cell.locationTextField()->x(), cell.textField()->x() + cell.textField()->width());

    cell.notesHeightConstraint()->setConstant(34);
    EXPECT_EQ(cell.noteTextField()->height(), 34);
    EXPECT_FALSE(cell.isLastRowInSection());
    cell.setIsLastRowInSection(true);
    EXPECT_TRUE(cell.isLastRowInSection());
}

TEST(SmallCells, TwoLineCellAndCellWithCollection)
{
    MacManageDataCellView dataCell;
    dataCell.mainField()->setText(QStringLiteral("Clients"));
    dataCell.detailField()->setText(QStringLiteral("12 contacts"));
    dataCell.show();
    QCoreApplication::processEvents();
    EXPECT_LT(dataCell.mainField()->y(), dataCell.detailField()->y());

    QPointer<CustomNSCollectionView> collection;
    {
        TableCellWithCollectionView cell;
        collection = cell.collectionViewCell();
        ASSERT_NE(collection, nullptr);
        EXPECT_EQ(cell.insideScrollView()->widget(), collection.data());
    } // going away without anything registered on it is fine
    EXPECT_TRUE(collection.isNull());
}

TEST(QDCustomTextField, WidthFollowsTheTextOnlyWhileEditing)
{
    QWidget window;
    auto *layout = new QVBoxLayout(&window);
    auto *other = new QLineEdit;
    auto *field = new QDCustomTextField;
    field->setText(QStringLiteral("Acme"));
    layout->addWidget(other);
    layout->addWidget(field);
    window.show();
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    other->setFocus();

    // Never edited: computed once, then kept even when the text is set from outside.
    const QSize first = field->sizeHint();
    EXPECT_TRUE(field->hasLastIntrinsicSize());
    field->setText(QStringLiteral("Acme Corporation International Holdings"));
    EXPECT_EQ(field->sizeHint(), first);

    field->setFocus();
    field->selectAll();
    QTest::keyClicks(field, QStringLiteral("AB"));
    EXPECT_TRUE(field->isEditing());
    const int narrow = field->sizeHint().width();
    QTest::keyClicks(field, QStringLiteral(" Corporation of the North"));
    const int wide = field->sizeHint().width();
    EXPECT_GT(wide, narrow);
    EXPECT_GE(wide - narrow, field->fontMetrics().horizontalAdvance(QStringLiteral(" Corporation of the North")) - 2);

    // Editing ends: the width it had at the end stays.
    QTest::keyClick(field, Qt::Key_Return);
    EXPECT_FALSE(field->isEditing());
    other->setFocus();
    EXPECT_EQ(field->sizeHint().width(), wide);
}

} // namespace
