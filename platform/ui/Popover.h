#pragma once

#include <QPointer>
#include <QRect>
#include <QWidget>

namespace platform::ui {

// A small window that points at a rectangle of another widget, on a side of that rectangle, and holds
// one content widget. It is an ordinary tool window rather than a pop-up, so a dialog opened from its
// content does not close it: only a click outside it (transient behaviour), the Escape key or a call
// to closePopover() closes it.
class Popover : public QWidget
{
    Q_OBJECT
public:
    enum class Behavior {
        ApplicationDefined, // closes only when told to
        Transient,          // also closes on a click anywhere outside it, and on Escape
        Semitransient       // also closes on a click in the window it points into, and on Escape
    };
    // The side of the anchor rectangle the popover appears on.
    enum class Edge { Top, Bottom, Left, Right };

    explicit Popover(QWidget *parent = nullptr);
    ~Popover() override;

    // The popover takes the content over; a later call replaces (and deletes) the previous one.
    void setContentWidget(QWidget *content);
    QWidget *contentWidget() const { return m_content; }
    // Takes the content back without deleting it (the popover no longer owns it).
    QWidget *takeContentWidget();

    void setBehavior(Behavior behavior) { m_behavior = behavior; }
    Behavior behavior() const { return m_behavior; }
    // Kept for callers that ask for it; the window is shown at once either way.
    void setAnimates(bool animates) { m_animates = animates; }
    bool animates() const { return m_animates; }
    void setContentSize(const QSize &size);

    // Shows the popover next to `rect` (in `anchor`'s coordinates; an empty rect means the whole
    // anchor) on the preferred edge, or on the opposite edge when the screen has no room there.
    void showRelativeTo(const QRect &rect, QWidget *anchor, Edge preferredEdge);
    bool isShown() const { return m_shown; }
    QWidget *anchor() const { return m_anchor; }
    Edge shownEdge() const { return m_shownEdge; }

    // Where a popover of `size` goes for an anchor rectangle (global coordinates) within the available
    // screen area; `usedEdge` receives the edge chosen.
    static QRect placement(const QRect &anchorRect, const QSize &size, Edge preferredEdge, const QRect &screenArea,
                           Edge *usedEdge = nullptr);
    static constexpr int Gap = 6;

public slots:
    void closePopover();

signals:
    void willShow();
    void didShow();
    void willClose();
    void didClose();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    bool ownsWidget(const QWidget *widget) const;
    void finishClose();

    QPointer<QWidget> m_content;
    QPointer<QWidget> m_anchor;
    Behavior m_behavior = Behavior::ApplicationDefined;
    Edge m_shownEdge = Edge::Bottom;
    bool m_animates = false;
    bool m_shown = false;
    bool m_filtering = false;
};

} // namespace platform::ui
