#include "Mac/Shell/SidebarTableCellView.h"

#include "Mac/Shell/PlainTextLabel.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>

SidebarTableCellView::SidebarTableCellView(QWidget *parent) : QWidget(parent)
{
    m_image = new PlainTextLabel(this);
    m_image->setObjectName(QStringLiteral("sidebarImage"));
    m_image->setFixedSize(32, 32);
    m_text = new PlainTextLabel(this);
    m_text->setObjectName(QStringLiteral("sidebarText"));
    // Inside a list the text would otherwise take the list's text colour, not the one given here.
    m_text->setForegroundRole(QPalette::WindowText);
    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(12, 0, 8, 0);
    layout->addWidget(m_image);
    layout->addWidget(m_text, 1);
    setAttribute(Qt::WA_TranslucentBackground);
    setBackgroundStyle(false);
}

QColor SidebarTableCellView::windowFrameColor()
{
    return QColor(170, 170, 170);
}

void SidebarTableCellView::setBackgroundStyle(bool rowSelected)
{
    if (!rowSelected && m_isHeader)
        return;
    QPalette palette = m_text->palette();
    palette.setColor(QPalette::WindowText, rowSelected ? QColor(Qt::white) : windowFrameColor());
    m_text->setPalette(palette);
}

SidebarTableRowView::SidebarTableRowView(QObject *parent) : QStyledItemDelegate(parent)
{
}

QColor SidebarTableRowView::selectionColor(bool emphasized)
{
    const int level = emphasized ? 30 : 48;
    return QColor(level, level, level);
}

void SidebarTableRowView::drawSelectionInRect(QPainter *painter, const QRect &rect, bool emphasized)
{
    painter->save();
    painter->setPen(selectionColor(emphasized));
    painter->setBrush(selectionColor(emphasized));
    painter->drawRect(rect.adjusted(0, 0, -1, -1));
    painter->restore();
}

void SidebarTableRowView::paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &) const
{
    QRect bounds = option.rect;
    bounds.setLeft(0);
    if (m_style != SelectionHighlightStyle::None && option.state.testFlag(QStyle::State_Selected))
        drawSelectionInRect(painter, bounds, option.widget && option.widget->hasFocus());
}

QSize SidebarTableRowView::sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const
{
    // A section row is 55 points; the header row 0.1 point, so that in practice it is not seen.
    return QSize(option.rect.width(), index.parent().isValid() ? 55 : 1);
}
