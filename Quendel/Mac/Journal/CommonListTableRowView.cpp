#include "Mac/Journal/CommonListTableRowView.h"

#include <QApplication>
#include <QPainter>
#include <QPainterPath>

CommonListTableRowView::CommonListTableRowView(QObject *parent) : QStyledItemDelegate(parent)
{
}

QColor CommonListTableRowView::selectionColor()
{
    return QColor::fromRgbF(0.2f, 0.5f, 1.0f, 1.0f);
}

QColor CommonListTableRowView::lineColor()
{
    return QColor::fromRgbF(0.8f, 0.8f, 0.8f, 1.0f);
}

void CommonListTableRowView::drawSelectionInRect(QPainter *painter, const QRectF &bounds)
{
    const QRectF inset = bounds.adjusted(2.5, 2.5, -2.5, -2.5);
    QPainterPath path;
    path.addRoundedRect(inset, 3.0, 3.0);
    painter->save();
    painter->setRenderHint(QPainter::Antialiasing, true);
    painter->setPen(QPen(selectionColor(), 1.0));
    painter->setBrush(selectionColor());
    painter->drawPath(path);
    painter->restore();
}

void CommonListTableRowView::drawTopLine(QPainter *painter, const QRectF &frame)
{
    painter->fillRect(QRectF(frame.x(), frame.y(), frame.width(), 1.0), lineColor());
}

void CommonListTableRowView::paint(QPainter *painter, const QStyleOptionViewItem &option,
                                   const QModelIndex &index) const
{
    QStyleOptionViewItem opt(option);
    initStyleOption(&opt, index);
    const bool selected = opt.state.testFlag(QStyle::State_Selected);
    if (selected && m_highlight != SelectionHighlightStyle::None)
        drawSelectionInRect(painter, opt.rect);
    // The row draws its own selection; the style's would cover it.
    opt.state &= ~QStyle::State_Selected;
    opt.state &= ~QStyle::State_HasFocus;
    const QWidget *widget = opt.widget;
    QStyle *style = widget ? widget->style() : QApplication::style();
    style->drawControl(QStyle::CE_ItemViewItem, &opt, painter, widget);
    drawTopLine(painter, opt.rect);
}
