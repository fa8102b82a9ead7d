#include "platform/maps/MapView.h"

#include "platform/maps/WebMercator.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QToolButton>
#include <QWheelEvent>

namespace platform::maps {

namespace {
constexpr int PinWidth = 14;
constexpr int PinHeight = 22;
constexpr double MinWorldPixels = 256;
constexpr double MaxWorldPixels = 256.0 * (1 << 20);
const QColor Sea(0xc6, 0xdc, 0xec);
const QColor Land(0xf2, 0xef, 0xe6);
const QColor Border(0x9a, 0x9a, 0x9a);
const QColor ProvinceBorder(0xc8, 0xc0, 0xb8);
} // namespace

MapView::MapView(QWidget *parent) : QWidget(parent)
{
    setFocusPolicy(Qt::StrongFocus);
    setMinimumSize(200, 150);
    setAccessibleName(QStringLiteral("Map"));
    setAttribute(Qt::WA_OpaquePaintEvent);

    m_infoButton = new QToolButton(this);
    m_infoButton->setText(QStringLiteral("i"));
    m_infoButton->setAccessibleName(QStringLiteral("Pin Options"));
    m_infoButton->setToolTip(QStringLiteral("Options for this pin"));
    m_infoButton->setAutoRaise(true);
    m_infoButton->hide();
    connect(m_infoButton, &QToolButton::clicked, this, [this] {
        if (!m_selected.isEmpty())
            emit calloutInfoClicked(m_selected);
    });

    m_zoomIn = new QToolButton(this);
    m_zoomIn->setText(QStringLiteral("+"));
    m_zoomIn->setAccessibleName(QStringLiteral("Zoom In"));
    m_zoomIn->setToolTip(QStringLiteral("Zoom In"));
    connect(m_zoomIn, &QToolButton::clicked, this, [this] { zoomBy(2.0); });
    m_zoomOut = new QToolButton(this);
    m_zoomOut->setText(QStringLiteral("\u2212"));
    m_zoomOut->setAccessibleName(QStringLiteral("Zoom Out"));
    m_zoomOut->setToolTip(QStringLiteral("Zoom Out"));
    connect(m_zoomOut, &QToolButton::clicked, this, [this] { zoomBy(0.5); });

    if (auto loaded = BaseMap::sharedIfLoaded()) {
        m_base = loaded;
    } else {
        QPointer<MapView> self(this);
        BaseMap::loadSharedInBackground([self] {
            if (self && !self->m_base) {
                self->m_base = BaseMap::sharedIfLoaded();
                self->update();
            }
        });
    }
}

MapView::~MapView() = default;

void MapView::setBaseMap(std::shared_ptr<const BaseMap> map)
{
    m_base = std::move(map);
    update();
}

// ---- Pins ----

void MapView::addAnnotation(const MapAnnotation &annotation)
{
    if (const auto found = m_index.constFind(annotation.key); found != m_index.constEnd()) {
        m_annotations[*found] = annotation;
    } else {
        m_index.insert(annotation.key, int(m_annotations.size()));
        m_annotations << annotation;
    }
    changed();
}

void MapView::addAnnotations(const QList<MapAnnotation> &annotations)
{
    m_annotations.reserve(m_annotations.size() + annotations.size());
    for (const MapAnnotation &a : annotations) {
        if (const auto found = m_index.constFind(a.key); found != m_index.constEnd()) {
            m_annotations[*found] = a;
        } else {
            m_index.insert(a.key, int(m_annotations.size()));
            m_annotations << a;
        }
    }
    changed();
}

bool MapView::removeAnnotation(const QString &key)
{
    const auto found = m_index.constFind(key);
    if (found == m_index.constEnd())
        return false;
    m_annotations.removeAt(*found);
    m_index.clear();
    for (int i = 0; i < m_annotations.size(); ++i)
        m_index.insert(m_annotations.at(i).key, i);
    if (m_selected == key)
        m_selected.clear();
    changed();
    return true;
}

void MapView::removeAllAnnotations()
{
    m_annotations.clear();
    m_index.clear();
    m_selected.clear();
    changed();
}

void MapView::setAnnotationColor(const QString &key, const QColor &color)
{
    if (const auto found = m_index.constFind(key); found != m_index.constEnd()) {
        m_annotations[*found].color = color;
        update();
    }
}

QList<MapAnnotation> MapView::visibleAnnotations() const
{
    QList<MapAnnotation> visible;
    for (const MapAnnotation &a : m_annotations) {
        if (visibleContains(a.coordinate))
            visible << a;
    }
    return visible;
}

void MapView::selectAnnotation(const QString &key, bool)
{
    if (!m_index.contains(key))
        return;
    m_selected = key;
    changed();
    emit annotationSelected(key);
}

void MapView::deselectAll()
{
    if (m_selected.isEmpty())
        return;
    m_selected.clear();
    changed();
    emit annotationDeselected();
}

// ---- Region ----

MapRegion MapView::region() const
{
    const double w = std::max(1, width());
    const double h = std::max(1, height());
    const Coordinate topLeft = WebMercator::unproject(m_center - QPointF(w / 2, h / 2) / m_scale);
    const Coordinate bottomRight = WebMercator::unproject(m_center + QPointF(w / 2, h / 2) / m_scale);
    MapRegion r;
    r.center = WebMercator::unproject(m_center);
    r.latitudeDelta = topLeft.latitude - bottomRight.latitude;
    r.longitudeDelta = w / m_scale * 360.0;
    return r;
}

void MapView::setRegion(const MapRegion &region, bool)
{
    const double w = std::max(1, width());
    const double h = std::max(1, height());
    m_center = WebMercator::project(region.center);
    double scale = MaxWorldPixels;
    if (region.longitudeDelta > 0)
        scale = std::min(scale, w / (region.longitudeDelta / 360.0));
    if (region.latitudeDelta > 0) {
        const double top = WebMercator::project({region.center.latitude + region.latitudeDelta / 2, 0}).y();
        const double bottom = WebMercator::project({region.center.latitude - region.latitudeDelta / 2, 0}).y();
        if (bottom - top > 0)
            scale = std::min(scale, h / (bottom - top));
    }
    m_scale = std::clamp(scale, MinWorldPixels, MaxWorldPixels);
    clampCenter();
    changed();
    emit regionChanged();
}

void MapView::setCenter(const Coordinate &center, bool)
{
    m_center = WebMercator::project(center);
    clampCenter();
    changed();
    emit regionChanged();
}

void MapView::setWorldPixels(double pixels)
{
    m_scale = std::clamp(pixels, MinWorldPixels, MaxWorldPixels);
    clampCenter();
    changed();
    emit regionChanged();
}

void MapView::zoomBy(double factor)
{
    setWorldPixels(m_scale * factor);
}

void MapView::clampCenter()
{
    const double halfH = height() / 2.0 / m_scale;
    if (halfH * 2 >= 1.0)
        m_center.setY(0.5);
    else
        m_center.setY(std::clamp(m_center.y(), halfH, 1.0 - halfH));
    // East and west wrap around.
    m_center.setX(m_center.x() - std::floor(m_center.x()));
}

QPointF MapView::pointForCoordinate(const Coordinate &coordinate) const
{
    QPointF p = WebMercator::project(coordinate);
    // The copy of the world nearest the centre.
    double dx = p.x() - m_center.x();
    dx -= std::round(dx);
    return QPointF(width() / 2.0 + dx * m_scale, height() / 2.0 + (p.y() - m_center.y()) * m_scale);
}

Coordinate MapView::coordinateForPoint(const QPointF &point) const
{
    QPointF p = m_center + (point - QPointF(width() / 2.0, height() / 2.0)) / m_scale;
    p.setX(p.x() - std::floor(p.x()));
    return WebMercator::unproject(p);
}

bool MapView::visibleContains(const Coordinate &coordinate) const
{
    return QRectF(rect()).contains(pointForCoordinate(coordinate));
}

// ---- The user's position ----

void MapView::setShowsUserLocation(bool shows)
{
    m_showsUser = shows;
    update();
}

void MapView::setUserLocation(const Coordinate &location)
{
    m_user = location;
    m_hasUser = true;
    update();
}

// ---- Drawing ----

QImage MapView::snapshot() const
{
    QImage image(size().expandedTo(QSize(1, 1)), QImage::Format_ARGB32_Premultiplied);
    QPainter painter(&image);
    paintMap(painter, image.size());
    return image;
}

void MapView::render(QPainter &painter, const QRect &target) const
{
    painter.save();
    painter.translate(target.topLeft());
    painter.setClipRect(QRect(QPoint(0, 0), target.size()));
    paintMap(painter, target.size());
    painter.restore();
}

void MapView::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    paintMap(painter, size());
}

QRectF MapView::calloutRect(const MapAnnotation &annotation, const QSize &size) const
{
    const QFontMetrics fm(font());
    QFont bold = font();
    bold.setBold(true);
    const QFontMetrics fb(bold);
    const int textWidth = std::max(fb.horizontalAdvance(annotation.title), fm.horizontalAdvance(annotation.subtitle));
    const double w = std::min(std::max(120, textWidth + 16 + 28), std::max(120, size.width() - 8));
    const double h = fm.height() * 2 + 12;
    const QPointF p = pointForCoordinate(annotation.coordinate);
    return QRectF(p.x() - w / 2, p.y() - PinHeight - h - 6, w, h);
}

void MapView::paintMap(QPainter &painter, const QSize &size) const
{
    painter.fillRect(QRect(QPoint(0, 0), size), Sea);
    const double halfW = size.width() / 2.0;
    const double halfH = size.height() / 2.0;
    const QRectF viewWorld(m_center.x() - halfW / m_scale, m_center.y() - halfH / m_scale, size.width() / m_scale,
                           size.height() / m_scale);
    if (m_base) {
        const int level = BaseMap::levelForScale(m_scale);
        painter.setRenderHint(QPainter::Antialiasing, true);
        // The world repeats east and west; draw each copy that shows.
        const int firstCopy = int(std::floor(viewWorld.left()));
        const int lastCopy = int(std::floor(viewWorld.right()));
        for (int copy = firstCopy; copy <= lastCopy; ++copy) {
            const QRectF local = viewWorld.translated(-copy, 0);
            QTransform transform;
            transform.translate(halfW, halfH);
            transform.scale(m_scale, m_scale);
            transform.translate(-m_center.x() + copy, -m_center.y());
            painter.setTransform(transform);
            QPen border(Border);
            border.setCosmetic(true);
            border.setWidthF(0.8);
            painter.setPen(border);
            painter.setBrush(Land);
            for (const BaseMap::Shape &shape : m_base->countries()) {
                if (shape.bounds.intersects(local))
                    painter.drawPath(shape.paths.at(level));
            }
            // Provinces once a country fills a good part of the view.
            if (m_scale >= 256.0 * 16) {
                QPen province(ProvinceBorder);
                province.setCosmetic(true);
                province.setWidthF(0.6);
                painter.setPen(province);
                painter.setBrush(Qt::NoBrush);
                for (const BaseMap::Shape &shape : m_base->provinces()) {
                    if (shape.bounds.intersects(local))
                        painter.drawPath(shape.paths.at(level));
                }
            }
        }
        painter.resetTransform();
    }

    // Pins: one cached picture per colour.
    painter.setRenderHint(QPainter::Antialiasing, false);
    const QRectF area(-PinWidth, -PinHeight, size.width() + 2 * PinWidth, size.height() + 2 * PinHeight);
    const auto pinImage = [this](const QColor &color) -> const QImage & {
        const QRgb key = color.rgba();
        auto found = m_pinImages.find(key);
        if (found != m_pinImages.end())
            return *found;
        QImage image(PinWidth, PinHeight, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        QPainter p(&image);
        p.setRenderHint(QPainter::Antialiasing);
        QPainterPath drop;
        drop.moveTo(PinWidth / 2.0, PinHeight - 1);
        drop.lineTo(2, PinWidth / 2.0 + 3);
        drop.arcTo(QRectF(1, 1, PinWidth - 2, PinWidth - 2), 215, -250);
        drop.closeSubpath();
        p.setPen(QPen(color.darker(150), 1));
        p.setBrush(color);
        p.drawPath(drop);
        p.setBrush(Qt::white);
        p.setPen(Qt::NoPen);
        p.drawEllipse(QPointF(PinWidth / 2.0, PinWidth / 2.0), 2.2, 2.2);
        return *m_pinImages.insert(key, image);
    };
    for (const MapAnnotation &a : m_annotations) {
        const QPointF p = pointForCoordinate(a.coordinate);
        if (!area.contains(p) || a.key == m_selected)
            continue;
        painter.drawImage(QPointF(p.x() - PinWidth / 2.0, p.y() - PinHeight), pinImage(a.color));
    }

    painter.setRenderHint(QPainter::Antialiasing, true);
    if (m_showsUser && m_hasUser) {
        const QPointF p = pointForCoordinate(m_user);
        painter.setPen(QPen(Qt::white, 2));
        painter.setBrush(QColor(0x1a, 0x73, 0xe8));
        painter.drawEllipse(p, 6, 6);
    }

    // The selected pin on top, with its callout.
    if (const auto found = m_index.constFind(m_selected); found != m_index.constEnd()) {
        const MapAnnotation &a = m_annotations.at(*found);
        const QPointF p = pointForCoordinate(a.coordinate);
        painter.drawImage(QPointF(p.x() - PinWidth / 2.0, p.y() - PinHeight), pinImage(a.color));
        if (a.showsCallout) {
            const QRectF r = calloutRect(a, size);
            painter.setPen(QPen(QColor(0, 0, 0, 60), 1));
            painter.setBrush(QColor(255, 255, 255, 245));
            painter.drawRoundedRect(r, 6, 6);
            QFont bold = font();
            bold.setBold(true);
            const QFontMetrics fm(font());
            const QRectF text = r.adjusted(8, 6, -32, -6);
            painter.setPen(palette().color(QPalette::Active, QPalette::WindowText));
            painter.setFont(bold);
            painter.drawText(QRectF(text.left(), text.top(), text.width(), fm.height()), Qt::TextSingleLine,
                             QFontMetrics(bold).elidedText(a.title, Qt::ElideRight, int(text.width())));
            painter.setFont(font());
            painter.setPen(palette().color(QPalette::Active, QPalette::PlaceholderText));
            painter.drawText(QRectF(text.left(), text.top() + fm.height(), text.width(), fm.height()),
                             Qt::TextSingleLine, fm.elidedText(a.subtitle, Qt::ElideRight, int(text.width())));
        }
    }
}

void MapView::placeCallout()
{
    const auto found = m_index.constFind(m_selected);
    if (found == m_index.constEnd() || !m_annotations.at(*found).showsCallout) {
        m_infoButton->hide();
        return;
    }
    const QRectF r = calloutRect(m_annotations.at(*found), size());
    m_infoButton->setGeometry(int(r.right() - 28), int(r.center().y() - 11), 22, 22);
    m_infoButton->setVisible(rect().intersects(r.toRect()));
    m_infoButton->raise();
}

void MapView::changed()
{
    placeCallout();
    update();
}

void MapView::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    // At least the whole world's height fills the view.
    if (m_scale < height())
        m_scale = std::min(MaxWorldPixels, double(height()));
    clampCenter();
    m_zoomIn->setGeometry(width() - 34, 8, 26, 26);
    m_zoomOut->setGeometry(width() - 34, 36, 26, 26);
    placeCallout();
}

// ---- Input ----

QString MapView::annotationAt(const QPointF &point) const
{
    // The pin drawn last is on top.
    for (int i = int(m_annotations.size()) - 1; i >= 0; --i) {
        const QPointF p = pointForCoordinate(m_annotations.at(i).coordinate);
        if (QRectF(p.x() - PinWidth / 2.0 - 2, p.y() - PinHeight - 2, PinWidth + 4, PinHeight + 4).contains(point))
            return m_annotations.at(i).key;
    }
    return {};
}

void MapView::mousePressEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton)
        return QWidget::mousePressEvent(event);
    m_pressPos = event->position().toPoint();
    m_pressCenter = m_center;
    m_dragging = false;
}

void MapView::mouseMoveEvent(QMouseEvent *event)
{
    if (!(event->buttons() & Qt::LeftButton))
        return;
    const QPoint delta = event->position().toPoint() - m_pressPos;
    if (!m_dragging && delta.manhattanLength() < 4)
        return;
    m_dragging = true;
    m_center = m_pressCenter - QPointF(delta) / m_scale;
    clampCenter();
    changed();
}

void MapView::mouseReleaseEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton)
        return;
    if (m_dragging) {
        m_dragging = false;
        emit regionChanged();
        return;
    }
    const QString key = annotationAt(event->position());
    if (key.isEmpty())
        deselectAll();
    else
        selectAnnotation(key);
}

void MapView::wheelEvent(QWheelEvent *event)
{
    const double steps = event->angleDelta().y() / 120.0;
    if (steps == 0)
        return;
    // Zoom about the point under the mouse.
    const QPointF at = event->position();
    const QPointF before = m_center + (at - QPointF(width() / 2.0, height() / 2.0)) / m_scale;
    m_scale = std::clamp(m_scale * std::pow(1.5, steps), std::max(MinWorldPixels, double(height())), MaxWorldPixels);
    m_center = before - (at - QPointF(width() / 2.0, height() / 2.0)) / m_scale;
    clampCenter();
    changed();
    emit regionChanged();
}

void MapView::keyPressEvent(QKeyEvent *event)
{
    const double step = 60.0 / m_scale;
    switch (event->key()) {
    case Qt::Key_Plus:
    case Qt::Key_Equal:
        zoomBy(2.0);
        return;
    case Qt::Key_Minus:
        zoomBy(0.5);
        return;
    case Qt::Key_Left:
        m_center.rx() -= step;
        break;
    case Qt::Key_Right:
        m_center.rx() += step;
        break;
    case Qt::Key_Up:
        m_center.ry() -= step;
        break;
    case Qt::Key_Down:
        m_center.ry() += step;
        break;
    default:
        return QWidget::keyPressEvent(event);
    }
    clampCenter();
    changed();
    emit regionChanged();
}

} // namespace platform::maps
