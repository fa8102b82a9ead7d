#include "Mac/Journal/FilesListHeaderView.h"

#include "Mac/Shell/PlainTextLabel.h"

#include <QHBoxLayout>
#include <QLabel>

FilesListHeaderView::FilesListHeaderView(QWidget *parent) : QWidget(parent)
{
    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(8, 4, 8, 4);
    m_nameTitle = new PlainTextLabel(this);
    m_nameTitle->setObjectName(QStringLiteral("nameTitle"));
    QFont bold = m_nameTitle->font();
    bold.setBold(true);
    m_nameTitle->setFont(bold);
    layout->addWidget(m_nameTitle);
    layout->addStretch(1);
}
