#pragma once

#include "platform/maps/BaseMap.h"
#include "platform/maps/Placemark.h"

#include <QColor>
#include <QHash>
#include <QImage>
#include <QPointer>
#include <QWidget>

#include <memory>

class QPrinter;
class QToolButton;

namespace platform::maps {

// One pin on the map. `key` names it for the map's user; the map draws it at `coordinate`.
struct MapAnnotation
{
    QString key;
    Coordinate coordinate;
    QColor color = QColor(0x2e, 0xa0, 0x43);
    QString title;
    QString subtitle;
    bool showsCallout = true;
};

// What part of the world the map shows: its centre and its extent in degrees.
struct MapRegion
{
    Coordinate center;
    double latitudeDelta = 0;
    double longitudeDelta = 0;
};

// Our own map: the world map's countries and provinces in the Web Mercator projection, with pins, the
// callout of the selected pin (with an info button), the user's position, panning with the mouse or the
// arrow keys, zooming with the wheel, the +/- keys or the zoom buttons, and snapshots for printing. Pins
// share the same spot only when their owners put them there; the map draws what it is given.
class MapView : public QWidget
{
    Q_OBJECT
public:
    explicit MapView(QWidget *parent = nullptr);
    ~MapView() override;

    // The base map (the shared world map when none was given; it is read in the background).
    void setBaseMap(std::shared_ptr<const BaseMap> map);

    // ---- Pins ----
    void addAnnotation(const MapAnnotation &annotation);
    void addAnnotations(const QList<MapAnnotation> &annotations);
    // False when no pin had that key.
    bool removeAnnotation(const QString &key);
    void removeAllAnnotations();
    void setAnnotationColor(const QString &key, const QColor &color);
    bool hasAnnotation(const QString &key) const { return m_index.contains(key); }
    QList<MapAnnotation> annotations() const { return m_annotations; }
    // The pins inside the visible part of the map.
    QList<MapAnnotation> visibleAnnotations() const;

    void selectAnnotation(const QString &key, bool animated = false);
    void deselectAll();
    QString selectedAnnotation() const { return m_selected; }

    // ---- Region ----
    MapRegion region() const;
    void setRegion(const MapRegion &region, bool animated = false);
    void setCenter(const Coordinate &center, bool animated = false);
    // Pixels across the whole world at the present zoom.
    double worldPixels() const { return m_scale; }
    void setWorldPixels(double pixels);
    void zoomBy(double factor);
    bool visibleContains(const Coordinate &coordinate) const;
    QPointF pointForCoordinate(const Coordinate &coordinate) const;
    Coordinate coordinateForPoint(const QPointF &point) const;

    // ---- The user's position ----
    void setShowsUserLocation(bool shows);
    bool showsUserLocation() const { return m_showsUser; }
    void setUserLocation(const Coordinate &location);
    bool hasUserLocation() const { return m_hasUser; }
    Coordinate userLocation() const { return m_user; }

    // The map as it is drawn now (pins and all, without the buttons).
    QImage snapshot() const;
    // Draws the map into `painter` within `target`, as paintEvent does.
    void render(QPainter &painter, const QRect &target) const;

    QToolButton *calloutInfoButton() const { return m_infoButton; }

signals:
    void annotationSelected(const QString &key);
    void annotationDeselected();
    // The info button of the selected pin's callout.
    void calloutInfoClicked(const QString &key);
    void regionChanged();

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void wheelEvent(QWheelEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    QString annotationAt(const QPointF &point) const;
    void placeCallout();
    void clampCenter();
    void changed();
    QRectF calloutRect(const MapAnnotation &annotation, const QSize &size) const;
    void paintMap(QPainter &painter, const QSize &size) const;

    std::shared_ptr<const BaseMap> m_base;
    QList<MapAnnotation> m_annotations;
    QHash<QString, int> m_index;
    QString m_selected;
    QPointF m_center{0.5, 0.5}; // projected
    double m_scale = 512;       // pixels across the world
    bool m_showsUser = false;
    bool m_hasUser = false;
    Coordinate m_user;
    QPoint m_pressPos;
    QPointF m_pressCenter;
    bool m_dragging = false;
    QToolButton *m_infoButton = nullptr;
    QToolButton *m_zoomIn = nullptr;
    QToolButton *m_zoomOut = nullptr;
    mutable QHash<QRgb, QImage> m_pinImages;
};

} // namespace platform::maps
