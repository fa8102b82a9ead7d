#pragma once

#include <QColor>
#include <QStyledItemDelegate>

class ContactDataCellView;
class QPainter;

// The look of one row of the contacts lists (the Contacts section, the contact pickers, the import
// list): letter headers on the "headerView" picture, odd rows of a section on "rowA", even rows and the
// footer plain white, a flat selection and no separators.
class ContactsListRowView
{
public:
    enum class SelectionHighlightStyle { None, Regular, SourceList };

    unsigned rowIndex = 0;
    bool isHeader = false;
    bool isTableFooter = false;

    // What the background of this row is made of (for tests and for drawing).
    enum class Background { White, HeaderImage, RowAImage };
    Background background() const;

    void drawBackgroundInRect(QPainter *painter, const QRect &bounds) const;
    // Draws the selection of a selected row; `emphasized`: the list has the focus. Returns false when the
    // style's own selection is to be drawn instead.
    static bool drawSelectionInRect(QPainter *painter, const QRect &bounds, SelectionHighlightStyle style,
                                    bool emphasized);
    static QColor selectionColor(bool emphasized);

    // The application's row pictures by name ("headerView", "rowA").
    static QImage namedImage(const QString &name);
};

// Paints the rows and cells of a contacts list from the model's roles: section keys, contacts through a
// ContactDataCellView, and the footer's wrapped text.
class ContactsListRowDelegate : public QStyledItemDelegate
{
    Q_OBJECT
public:
    explicit ContactsListRowDelegate(QObject *parent = nullptr);
    ~ContactsListRowDelegate() override;

    void setSelectionHighlightStyle(ContactsListRowView::SelectionHighlightStyle style) { m_highlight = style; }

    // The row view the list's delegate would make for the item.
    static ContactsListRowView rowViewForIndex(const QModelIndex &index);

    void paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const override;
    QSize sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const override;

    // The cell used to draw contact rows (one, filled for each row drawn).
    ContactDataCellView *cell() const { return m_cell; }

private:
    ContactsListRowView::SelectionHighlightStyle m_highlight = ContactsListRowView::SelectionHighlightStyle::Regular;
    ContactDataCellView *m_cell = nullptr;
};
