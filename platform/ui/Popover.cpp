#include "platform/ui/Popover.h"

#include <QApplication>
#include <QCloseEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QScreen>
#include <QVBoxLayout>

namespace platform::ui {

namespace {

QRect rectOnEdge(const QRect &anchor, const QSize &size, Popover::Edge edge)
{
    // The exact middle; QRect::center() rounds down by one on even sizes.
    const QPoint centre(anchor.x() + anchor.width() / 2, anchor.y() + anchor.height() / 2);
    switch (edge) {
    case Popover::Edge::Top:
        return QRect(QPoint(centre.x() - size.width() / 2, anchor.top() - Popover::Gap - size.height()), size);
    case Popover::Edge::Bottom:
        return QRect(QPoint(centre.x() - size.width() / 2, anchor.bottom() + 1 + Popover::Gap), size);
    case Popover::Edge::Left:
        return QRect(QPoint(anchor.left() - Popover::Gap - size.width(), centre.y() - size.height() / 2), size);
    case Popover::Edge::Right:
        return QRect(QPoint(anchor.right() + 1 + Popover::Gap, centre.y() - size.height() / 2), size);
    }
    return QRect(anchor.bottomLeft(), size);
}

Popover::Edge opposite(Popover::Edge edge)
{
    switch (edge) {
    case Popover::Edge::Top:
        return Popover::Edge::Bottom;
    case Popover::Edge::Bottom:
        return Popover::Edge::Top;
    case Popover::Edge::Left:
        return Popover::Edge::Right;
    case Popover::Edge::Right:
        return Popover::Edge::Left;
    }
    return edge;
}

bool fitsAlongEdge(const QRect &rect, Popover::Edge edge, const QRect &area)
{
    if (edge == Popover::Edge::Top || edge == Popover::Edge::Bottom)
        return rect.top() >= area.top() && rect.bottom() <= area.bottom();
    return rect.left() >= area.left() && rect.right() <= area.right();
}

} // namespace

Popover::Popover(QWidget *parent) : QWidget(parent, Qt::Tool | Qt::FramelessWindowHint)
{
    setObjectName(QStringLiteral("popover"));
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(1, 1, 1, 1);
    layout->setSpacing(0);
}

Popover::~Popover()
{
    if (m_filtering && qApp)
        qApp->removeEventFilter(this);
}

void Popover::setContentWidget(QWidget *content)
{
    if (m_content == content)
        return;
    delete m_content;
    m_content = content;
    if (content)
        layout()->addWidget(content);
}

QWidget *Popover::takeContentWidget()
{
    QWidget *content = m_content;
    if (content) {
        layout()->removeWidget(content);
        content->setParent(nullptr);
    }
    m_content = nullptr;
    return content;
}

void Popover::setContentSize(const QSize &size)
{
    if (m_content)
        m_content->setFixedSize(size);
    adjustSize();
}

QRect Popover::placement(const QRect &anchorRect, const QSize &size, Edge preferredEdge, const QRect &screenArea,
                         Edge *usedEdge)
{
    Edge edge = preferredEdge;
    QRect rect = rectOnEdge(anchorRect, size, edge);
    if (screenArea.isValid() && !fitsAlongEdge(rect, edge, screenArea)) {
        const QRect other = rectOnEdge(anchorRect, size, opposite(edge));
        if (fitsAlongEdge(other, opposite(edge), screenArea)) {
            edge = opposite(edge);
            rect = other;
        }
    }
    if (screenArea.isValid()) {
        // Slide along the edge so the whole popover stays on the screen.
        if (edge == Edge::Top || edge == Edge::Bottom) {
            const int x = qBound(screenArea.left(), rect.left(), qMax(screenArea.left(), screenArea.right() + 1 - size.width()));
            rect.moveLeft(x);
        } else {
            const int y = qBound(screenArea.top(), rect.top(), qMax(screenArea.top(), screenArea.bottom() + 1 - size.height()));
            rect.moveTop(y);
        }
    }
    if (usedEdge)
        *usedEdge = edge;
    return rect;
}

void Popover::showRelativeTo(const QRect &rect, QWidget *anchor, Edge preferredEdge)
{
    if (!anchor)
        return;
    if (m_anchor && m_anchor != anchor)
        disconnect(m_anchor, nullptr, this, nullptr);
    m_anchor = anchor;
    connect(anchor, &QObject::destroyed, this, &Popover::closePopover, Qt::UniqueConnection);
    if (!parentWidget())
        setParent(anchor->window(), windowFlags());

    const QRect local = rect.isEmpty() ? anchor->rect() : rect;
    const QRect global(anchor->mapToGlobal(local.topLeft()), local.size());
    const QScreen *screen = anchor->screen();
    const QRect area = screen ? screen->availableGeometry() : QRect();
    adjustSize();
    const QRect geometry = placement(global, size().expandedTo(minimumSizeHint()), preferredEdge, area, &m_shownEdge);

    const bool wasShown = m_shown;
    if (!wasShown)
        emit willShow();
    setGeometry(geometry);
    show();
    raise();
    activateWindow();
    if (m_content) {
        QWidget *focus = m_content->focusWidget() ? m_content->focusWidget() : m_content.data();
        focus->setFocus(Qt::PopupFocusReason);
    }
    if (!m_filtering) {
        qApp->installEventFilter(this);
        m_filtering = true;
    }
    m_shown = true;
    if (!wasShown)
        emit didShow();
}

void Popover::closePopover()
{
    if (m_shown)
        close();
}

void Popover::closeEvent(QCloseEvent *event)
{
    if (!m_shown) {
        QWidget::closeEvent(event);
        return;
    }
    emit willClose();
    event->accept();
    finishClose();
}

void Popover::finishClose()
{
    if (m_filtering) {
        qApp->removeEventFilter(this);
        m_filtering = false;
    }
    m_shown = false;
    emit didClose();
}

void Popover::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier
        && m_behavior != Behavior::ApplicationDefined) {
        closePopover();
        event->accept();
        return;
    }
    QWidget::keyPressEvent(event);
}

bool Popover::ownsWidget(const QWidget *widget) const
{
    // Windows opened from the content (dialogs, menus, pickers) hang below it in the parent chain.
    for (const QWidget *w = widget; w; w = w->parentWidget()) {
        if (w == this)
            return true;
    }
    return false;
}

bool Popover::eventFilter(QObject *watched, QEvent *event)
{
    if (!m_shown || m_behavior == Behavior::ApplicationDefined)
        return false;
    const QEvent::Type type = event->type();
    if (type != QEvent::MouseButtonPress && type != QEvent::NonClientAreaMouseButtonPress)
        return false;
    auto *widget = qobject_cast<QWidget *>(watched);
    if (!widget || ownsWidget(widget))
        return false;
    // A modal window (an alert raised while the popover is up) is not an outside click.
    if (widget->window()->windowModality() != Qt::NonModal || QApplication::activeModalWidget())
        return false;
    if (m_behavior == Behavior::Semitransient && (!m_anchor || widget->window() != m_anchor->window()))
        return false;
    // Closed once the press has been delivered, so the click still does what it was aimed at.
    QMetaObject::invokeMethod(this, &Popover::closePopover, Qt::QueuedConnection);
    return false;
}

} // namespace platform::ui
