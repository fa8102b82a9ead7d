#pragma once

#include <QStyledItemDelegate>
#include <QWidget>

class QLabel;

// The cell of a sidebar row: the section's icon and title. Its title is white on a selected row and in the
// window-frame colour otherwise; the header cell's text is left alone.
class SidebarTableCellView : public QWidget
{
    Q_OBJECT
public:
    explicit SidebarTableCellView(QWidget *parent = nullptr);

    QLabel *sidebarImage() const { return m_image; }
    QLabel *sidebarText() const { return m_text; }
    bool isHeader() const { return m_isHeader; }
    void setIsHeader(bool header) { m_isHeader = header; }

    // The row's selection changed (the cell only recolours its title).
    void setBackgroundStyle(bool rowSelected);
    static QColor windowFrameColor();

private:
    QLabel *m_image = nullptr;
    QLabel *m_text = nullptr;
    bool m_isHeader = false;
};

// The sidebar's rows: a selection of flat dark grey, darker while the sidebar has the focus.
class SidebarTableRowView : public QStyledItemDelegate
{
    Q_OBJECT
public:
    enum class SelectionHighlightStyle { None, Regular };

    explicit SidebarTableRowView(QObject *parent = nullptr);

    void setSelectionHighlightStyle(SelectionHighlightStyle style) { m_style = style; }
    // Grey of white level 30/255 while emphasised (the sidebar has the focus), 48/255 otherwise.
    static QColor selectionColor(bool emphasized);
    static void drawSelectionInRect(QPainter *painter, const QRect &rect, bool emphasized);

    void paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const override;
    QSize sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const override;

private:
    SelectionHighlightStyle m_style = SelectionHighlightStyle::Regular;
};
