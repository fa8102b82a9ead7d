#pragma once

#include <QWidget>

class CustomNSCollectionView;
class CustomNSScrollView;

// A table cell that holds a collection in a scroll view of its own.
class TableCellWithCollectionView : public QWidget
{
    Q_OBJECT
public:
    explicit TableCellWithCollectionView(QWidget *parent = nullptr);

    CustomNSCollectionView *collectionViewCell() const { return m_collectionView; }
    CustomNSScrollView *insideScrollView() const { return m_scrollView; }

private:
    CustomNSCollectionView *m_collectionView = nullptr;
    CustomNSScrollView *m_scrollView = nullptr;
};
