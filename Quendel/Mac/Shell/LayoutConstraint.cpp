#include "Mac/Shell/LayoutConstraint.h"

#include <QBoxLayout>
#include <QSpacerItem>

LayoutConstraint::LayoutConstraint(QWidget *widget, Kind kind, int constant)
    : m_kind(kind), m_constant(constant), m_widget(widget)
{
    apply();
}

LayoutConstraint::LayoutConstraint(QBoxLayout *layout, QSpacerItem *spacer, int constant)
    : m_kind(Kind::Spacing), m_constant(constant), m_layout(layout), m_spacer(spacer)
{
    apply();
}

void LayoutConstraint::setConstant(int constant)
{
    if (constant == m_constant)
        return;
    m_constant = constant;
    apply();
}

void LayoutConstraint::apply()
{
    const int value = qMax(0, m_constant);
    switch (m_kind) {
    case Kind::Width:
        if (m_widget)
            m_widget->setFixedWidth(value);
        break;
    case Kind::Height:
        if (m_widget)
            m_widget->setFixedHeight(value);
        break;
    case Kind::Spacing:
        if (m_spacer && m_layout) {
            const bool horizontal = m_layout->direction() == QBoxLayout::LeftToRight
                || m_layout->direction() == QBoxLayout::RightToLeft;
            if (horizontal)
                m_spacer->changeSize(value, 0, QSizePolicy::Fixed, QSizePolicy::Minimum);
            else
                m_spacer->changeSize(0, value, QSizePolicy::Minimum, QSizePolicy::Fixed);
            m_layout->invalidate();
        }
        break;
    }
}
