#include "Mac/Contacts/ContactsListRowView.h"

#include "Mac/Contacts/ContactDataCellView.h"
#include "Mac/Contacts/ContactsListDisplaySource.h"
#include "Mac/Contacts/ContactsListItemModel.h"

#include <QAbstractItemView>
#include <QHash>
#include <QLayout>
#include <QLinearGradient>
#include <QPainter>
#include <QPixmap>

using Kind = ContactsListDisplaySource::Item::Kind;

ContactsListRowView::Background ContactsListRowView::background() const
{
    if (isTableFooter)
        return Background::White;
    if (isHeader)
        return Background::HeaderImage;
    return rowIndex % 2 == 1 ? Background::RowAImage : Background::White;
}

QImage ContactsListRowView::namedImage(const QString &name)
{
    static QHash<QString, QImage> images;
    auto it = images.find(name);
    if (it != images.end())
        return *it;
    QImage image(8, 17, QImage::Format_ARGB32_Premultiplied);
    QPainter painter(&image);
    if (name == QLatin1String("headerView")) {
        QLinearGradient gradient(0, 0, 0, 17);
        gradient.setColorAt(0, QColor(236, 238, 242));
        gradient.setColorAt(1, QColor(214, 218, 226));
        painter.fillRect(image.rect(), gradient);
    } else {
        painter.fillRect(image.rect(), QColor(244, 246, 250));
    }
    painter.end();
    return *images.insert(name, image);
}

void ContactsListRowView::drawBackgroundInRect(QPainter *painter, const QRect &bounds) const
{
    switch (background()) {
    case Background::White:
        painter->fillRect(bounds, Qt::white);
        break;
    case Background::HeaderImage:
        painter->drawImage(bounds, namedImage(QStringLiteral("headerView")));
        break;
    case Background::RowAImage:
        painter->drawImage(bounds, namedImage(QStringLiteral("rowA")));
        break;
    }
}

QColor ContactsListRowView::selectionColor(bool emphasized)
{
    if (emphasized) {
        QColor color = QPalette().color(QPalette::Active, QPalette::Highlight);
        color.setAlphaF(0.9f);
        return color;
    }
    return QColor::fromRgbF(0.333f, 0.333f, 0.333f, 0.8f);
}

bool ContactsListRowView::drawSelectionInRect(QPainter *painter, const QRect &bounds, SelectionHighlightStyle style,
                                              bool emphasized)
{
    if (style != SelectionHighlightStyle::Regular)
        return false;
    painter->save();
    painter->setCompositionMode(QPainter::CompositionMode_SourceOver);
    painter->fillRect(bounds, selectionColor(emphasized));
    painter->restore();
    return true;
}

ContactsListRowDelegate::ContactsListRowDelegate(QObject *parent)
    : QStyledItemDelegate(parent), m_cell(new ContactDataCellView)
{
    // Shown, but never on screen, so that its layout follows each size it is given.
    m_cell->setAttribute(Qt::WA_DontShowOnScreen);
    m_cell->show();
}

ContactsListRowDelegate::~ContactsListRowDelegate()
{
    delete m_cell;
}

ContactsListRowView ContactsListRowDelegate::rowViewForIndex(const QModelIndex &index)
{
    ContactsListRowView row;
    const auto kind = Kind(index.data(ContactsListItemModel::ItemKindRole).toInt());
    row.isHeader = kind == Kind::Section;
    row.isTableFooter = kind == Kind::Footer;
    if (kind == Kind::Contact)
        row.rowIndex = unsigned(index.data(ContactsListItemModel::RowIndexInSectionRole).toInt());
    return row;
}

void ContactsListRowDelegate::paint(QPainter *painter, const QStyleOptionViewItem &option,
                                    const QModelIndex &index) const
{
    const ContactsListRowView row = rowViewForIndex(index);
    // The row spans the whole width, including the indentation the tree leaves on the left.
    QRect bounds = option.rect;
    bounds.setLeft(0);
    row.drawBackgroundInRect(painter, bounds);
    const bool selected = option.state.testFlag(QStyle::State_Selected);
    const bool emphasized = option.widget && option.widget->hasFocus();
    if (selected)
        ContactsListRowView::drawSelectionInRect(painter, bounds, m_highlight, emphasized);

    const auto kind = Kind(index.data(ContactsListItemModel::ItemKindRole).toInt());
    painter->save();
    painter->setPen(selected ? Qt::white : Qt::black);
    if (kind == Kind::Section) {
        QFont font = painter->font();
        font.setBold(true);
        painter->setFont(font);
        painter->drawText(bounds.adjusted(8, 0, -8, 0), Qt::AlignVCenter | Qt::AlignLeft,
                          index.data(Qt::DisplayRole).toString());
    } else if (kind == Kind::Footer) {
        painter->setPen(Qt::darkGray);
        painter->drawText(bounds.adjusted(8, 4, -8, -4), Qt::AlignCenter | Qt::TextWordWrap,
                          index.data(Qt::DisplayRole).toString());
    } else if (kind == Kind::Contact) {
        auto *person = static_cast<Person *>(index.data(ContactsListItemModel::PersonRole).value<void *>());
        m_cell->configureForPerson(person);
        QPalette palette = m_cell->palette();
        palette.setColor(QPalette::WindowText, selected ? Qt::white : Qt::black);
        m_cell->setPalette(palette);
        m_cell->resize(bounds.size());
        if (QLayout *layout = m_cell->layout())
            layout->activate();
        // Drawn into a picture first: rendering a widget straight into another widget's painter does not
        // keep the row's place.
        const qreal ratio = painter->device() ? painter->device()->devicePixelRatioF() : 1.0;
        QPixmap picture(bounds.size() * ratio);
        picture.setDevicePixelRatio(ratio);
        picture.fill(Qt::transparent);
        m_cell->render(&picture, QPoint(), QRegion(), QWidget::DrawChildren);
        painter->drawPixmap(bounds.topLeft(), picture);
    }
    painter->restore();
}

QSize ContactsListRowDelegate::sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const
{
    const QVariant hint = index.data(Qt::SizeHintRole);
    if (hint.isValid())
        return QSize(option.rect.width(), hint.toSize().height());
    return QStyledItemDelegate::sizeHint(option, index);
}
