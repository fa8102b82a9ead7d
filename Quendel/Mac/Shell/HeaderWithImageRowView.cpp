#include "Mac/Shell/HeaderWithImageRowView.h"

#include <QPainter>

HeaderWithImageRowView::HeaderWithImageRowView(QObject *parent) : CommonListTableRowView(parent) {}

void HeaderWithImageRowView::drawBackgroundInRect(QPainter *painter, const QRect &rect) const
{
    if (m_headerFromImage.isNull())
        return;
    painter->save();
    painter->setCompositionMode(QPainter::CompositionMode_SourceOver);
    painter->setOpacity(1.0);
    painter->drawImage(rect, m_headerFromImage);
    painter->restore();
}

void HeaderWithImageRowView::paint(QPainter *painter, const QStyleOptionViewItem &option,
                                   const QModelIndex &index) const
{
    painter->fillRect(option.rect, Qt::white);
    drawBackgroundInRect(painter, option.rect);
    CommonListTableRowView::paint(painter, option, index);
}
