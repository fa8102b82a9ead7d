#pragma once

#include "Mac/Shell/KeyRouting.h"

#include <QListView>
#include <QPointer>

class QMimeData;

// The grid of attached files (the Files section and a contact's Files tab). The file panes take every key
// of it themselves; a drop that holds a folder is refused as a whole, with an alert.
class CustomNSCollectionView : public QListView
{
    Q_OBJECT
public:
    explicit CustomNSCollectionView(QWidget *parent = nullptr);

    void setDelegate(QObject *delegate) { m_delegate = delegate; }
    QObject *delegate() const { return m_delegate; }
    KeyRoutingDelegate *routingDelegate() const;

    bool acceptsFirstResponder() const { return true; }
    // The view is on show in a window; the file panes paste into it only then.
    bool isCurrentlyVisible() const { return m_isCurrentlyVisible; }

    // Accepts the drop unless it holds a folder; a refused drop is explained to the user.
    bool prepareForDragOperation(const QMimeData *data);
    // True at the first dragged path that exists and is a folder.
    static bool checkForDirectoryInDragPasteboard(const QMimeData *data);

protected:
    bool event(QEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void dropEvent(QDropEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;

private:
    bool routeKey(QKeyEvent *event);

    QPointer<QObject> m_delegate;
    bool m_isCurrentlyVisible = false;
};
