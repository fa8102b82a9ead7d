#pragma once

#include <QStyledItemDelegate>

// The row look of the sectioned lists of logs and to-dos: a rounded blue selection inset from the row's
// edges and a thin grey line along the top of every row.
class CommonListTableRowView : public QStyledItemDelegate
{
    Q_OBJECT
public:
    enum class SelectionHighlightStyle { None, Regular };

    explicit CommonListTableRowView(QObject *parent = nullptr);

    void setSelectionHighlightStyle(SelectionHighlightStyle style) { m_highlight = style; }
    SelectionHighlightStyle selectionHighlightStyle() const { return m_highlight; }

    void paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const override;

    // The selection: a rounded rectangle 2.5 points inside the row's bounds, filled and stroked in blue.
    static void drawSelectionInRect(QPainter *painter, const QRectF &bounds);
    // The one-point line along the row's top edge.
    static void drawTopLine(QPainter *painter, const QRectF &frame);

    static QColor selectionColor();
    static QColor lineColor();

private:
    SelectionHighlightStyle m_highlight = SelectionHighlightStyle::Regular;
};
