#include "Mac/Shell/MacManageDataCellView.h"

#include "Mac/Shell/PlainTextLabel.h"

#include <QLabel>
#include <QVBoxLayout>

MacManageDataCellView::MacManageDataCellView(QWidget *parent) : QWidget(parent)
{
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(6, 3, 6, 3);
    layout->setSpacing(1);
    m_mainField = new PlainTextLabel;
    m_mainField->setObjectName(QStringLiteral("mainField"));
    m_detailField = new PlainTextLabel;
    m_detailField->setObjectName(QStringLiteral("detailField"));
    QFont small = m_detailField->font();
    small.setPointSizeF(small.pointSizeF() * 0.85);
    m_detailField->setFont(small);
    m_detailField->setForegroundRole(QPalette::PlaceholderText);
    layout->addWidget(m_mainField);
    layout->addWidget(m_detailField);
}
