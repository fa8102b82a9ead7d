#pragma once

#include <QPointer>
#include <QWidget>

class QBoxLayout;
class QSpacerItem;

// One adjustable measure of a cell's layout, changed by the list sources per record: the fixed width or
// height of a widget, or the gap a spacer keeps between two widgets of a row.
class LayoutConstraint
{
public:
    enum class Kind { Width, Height, Spacing };

    // A fixed width or height of `widget`.
    LayoutConstraint(QWidget *widget, Kind kind, int constant);
    // The gap of `spacer` in `layout`, along the layout's direction.
    LayoutConstraint(QBoxLayout *layout, QSpacerItem *spacer, int constant);

    Kind kind() const { return m_kind; }
    int constant() const { return m_constant; }
    void setConstant(int constant);

private:
    void apply();

    Kind m_kind;
    int m_constant = 0;
    QPointer<QWidget> m_widget;
    QBoxLayout *m_layout = nullptr;
    QSpacerItem *m_spacer = nullptr;
};
