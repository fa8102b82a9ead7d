#pragma once

#include <QWidget>

class QLabel;

// A two-line cell of the list editors: the main text over a detail text.
class MacManageDataCellView : public QWidget
{
    Q_OBJECT
public:
    explicit MacManageDataCellView(QWidget *parent = nullptr);

    QLabel *mainField() const { return m_mainField; }
    QLabel *detailField() const { return m_detailField; }

private:
    QLabel *m_mainField = nullptr;
    QLabel *m_detailField = nullptr;
};
