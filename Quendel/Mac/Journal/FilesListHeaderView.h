#pragma once

#include <QWidget>

class QLabel;

// The header of one contact's section in the collection of files: the contact's name.
class FilesListHeaderView : public QWidget
{
    Q_OBJECT
public:
    explicit FilesListHeaderView(QWidget *parent = nullptr);
    QLabel *nameTitle() const { return m_nameTitle; }

private:
    QLabel *m_nameTitle = nullptr;
};
