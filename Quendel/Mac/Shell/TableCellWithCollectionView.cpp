#include "Mac/Shell/TableCellWithCollectionView.h"

#include "Mac/Shell/CustomNSCollectionView.h"
#include "Mac/Shell/CustomNSScrollView.h"

#include <QVBoxLayout>

TableCellWithCollectionView::TableCellWithCollectionView(QWidget *parent) : QWidget(parent)
{
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    m_scrollView = new CustomNSScrollView;
    m_scrollView->setObjectName(QStringLiteral("insideScrollView"));
    m_scrollView->setWidgetResizable(true);
    m_scrollView->setFrameShape(QFrame::NoFrame);
    m_collectionView = new CustomNSCollectionView;
    m_collectionView->setObjectName(QStringLiteral("collectionViewCell"));
    // The outer scroll view does the scrolling.
    m_collectionView->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_collectionView->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_scrollView->setWidget(m_collectionView);
    layout->addWidget(m_scrollView);
}
