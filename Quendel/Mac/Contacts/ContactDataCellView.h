#pragma once

#include <QImage>
#include <QWidget>

class Person;
class QLabel;

// The cell of a contact row: the picture, the name and company on two lines, or one centred line, and
// the check mark of a picked contact (contact pickers only).
class ContactDataCellView : public QWidget
{
    Q_OBJECT
public:
    static inline const QString DefaultPictureName = QStringLiteral("DefaultUserpic~ipad.png");

    explicit ContactDataCellView(QWidget *parent = nullptr);

    QLabel *contactName() const { return m_contactName; }
    QLabel *companyName() const { return m_companyName; }
    QLabel *centeredContactName() const { return m_centeredContactName; }
    QLabel *selectedImageView() const { return m_selectedImageView; }
    QLabel *imageView() const { return m_imageView; }

    // Fills the cell for a contact: a person with a company shows both lines; a company contact (company
    // name equal to the display name) or a person without a company shows one centred line.
    void configureForPerson(Person *person);
    // The picture the cell shows: the private picture, else the system picture, else the default one.
    static QImage pictureForPerson(Person *person);
    static QImage defaultPicture();

private:
    QLabel *m_contactName = nullptr;
    QLabel *m_companyName = nullptr;
    QLabel *m_centeredContactName = nullptr;
    QLabel *m_selectedImageView = nullptr;
    QLabel *m_imageView = nullptr;
};
