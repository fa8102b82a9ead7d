#pragma once

#include "Mac/Journal/CommonListTableRowView.h"

#include <QImage>

// The row look of a section header in the logs and to-dos lists: white, with a picture drawn over the
// whole row when one is set, then the common row look on top.
class HeaderWithImageRowView : public CommonListTableRowView
{
    Q_OBJECT
public:
    explicit HeaderWithImageRowView(QObject *parent = nullptr);

    const QImage &headerFromImage() const { return m_headerFromImage; }
    void setHeaderFromImage(const QImage &image) { m_headerFromImage = image; }

    void paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const override;
    // The picture, whole, into the rectangle, over what is there; nothing without a picture.
    void drawBackgroundInRect(QPainter *painter, const QRect &rect) const;

private:
    QImage m_headerFromImage;
};
