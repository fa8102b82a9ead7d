#include "Mac/Contacts/ContactDataCellView.h"

#include "Mac/Shell/PlainTextLabel.h"
#include "QuendelKit/Entities/Person.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPixmap>
#include <QVBoxLayout>

ContactDataCellView::ContactDataCellView(QWidget *parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("DataCell"));
    m_imageView = new PlainTextLabel(this);
    m_imageView->setFixedSize(36, 36);
    m_imageView->setScaledContents(true);
    m_contactName = new PlainTextLabel(this);
    m_contactName->setObjectName(QStringLiteral("contactName"));
    QFont bold = m_contactName->font();
    bold.setBold(true);
    m_contactName->setFont(bold);
    m_companyName = new PlainTextLabel(this);
    m_companyName->setObjectName(QStringLiteral("companyName"));
    m_centeredContactName = new PlainTextLabel(this);
    m_centeredContactName->setObjectName(QStringLiteral("centeredContactName"));
    m_centeredContactName->setFont(bold);
    m_selectedImageView = new PlainTextLabel(this);
    m_selectedImageView->setObjectName(QStringLiteral("selectedImageView"));
    m_selectedImageView->setFixedSize(16, 16);
    m_selectedImageView->hide();

    auto *lines = new QVBoxLayout;
    lines->setContentsMargins(0, 0, 0, 0);
    lines->setSpacing(0);
    lines->addStretch();
    lines->addWidget(m_contactName);
    lines->addWidget(m_companyName);
    lines->addWidget(m_centeredContactName);
    lines->addStretch();
    auto *row = new QHBoxLayout(this);
    row->setContentsMargins(8, 4, 8, 4);
    row->addWidget(m_imageView);
    row->addLayout(lines, 1);
    row->addWidget(m_selectedImageView);
}

QImage ContactDataCellView::defaultPicture()
{
    static const QImage picture = [] {
        QImage image(72, 72, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(Qt::NoPen);
        painter.setBrush(QColor(200, 200, 205));
        painter.drawEllipse(QRectF(0, 0, 72, 72));
        painter.setBrush(QColor(245, 245, 247));
        painter.drawEllipse(QRectF(24, 12, 24, 24));
        painter.drawEllipse(QRectF(12, 40, 48, 40));
        return image;
    }();
    return picture;
}

QImage ContactDataCellView::pictureForPerson(Person *person)
{
    if (person) {
        const QVariant stored = person->privateImage();
        QImage image;
        if (stored.canConvert<QImage>())
            image = stored.value<QImage>();
        if (image.isNull() && stored.typeId() == QMetaType::QByteArray)
            image.loadFromData(stored.toByteArray());
        if (!image.isNull())
            return image;
    }
    return defaultPicture();
}

void ContactDataCellView::configureForPerson(Person *person)
{
    const QString display = person ? person->displayName() : QString();
    const QString company = person ? person->companyName() : QString();
    m_contactName->clear();
    m_companyName->clear();
    m_centeredContactName->clear();
    if (!company.isEmpty() && company != display) {
        m_contactName->setText(display);
        m_companyName->setText(company);
    } else if (!company.isEmpty()) {
        m_centeredContactName->setText(company);
    } else {
        m_centeredContactName->setText(display);
    }
    const bool twoLines = !m_contactName->text().isEmpty();
    m_contactName->setVisible(twoLines);
    m_companyName->setVisible(twoLines);
    m_centeredContactName->setVisible(!twoLines);
    m_imageView->setPixmap(QPixmap::fromImage(pictureForPerson(person)));
}
