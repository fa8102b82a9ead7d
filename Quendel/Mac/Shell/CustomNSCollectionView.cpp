#include "Mac/Shell/CustomNSCollectionView.h"

#include "platform/ui/AlertPresenter.h"

#include <QDropEvent>
#include <QFileInfo>
#include <QKeyEvent>
#include <QMimeData>
#include <QUrl>

CustomNSCollectionView::CustomNSCollectionView(QWidget *parent) : QListView(parent)
{
    setFocusPolicy(Qt::StrongFocus);
    setViewMode(QListView::IconMode);
}

KeyRoutingDelegate *CustomNSCollectionView::routingDelegate() const
{
    return dynamic_cast<KeyRoutingDelegate *>(m_delegate.data());
}

bool CustomNSCollectionView::routeKey(QKeyEvent *event)
{
    KeyRoutingDelegate *delegate = routingDelegate();
    const KeyDelegateKinds kinds = delegate ? delegate->keyDelegateKinds() : KeyDelegateKinds();
    return KeyRouter::perform(KeyRouter::collectionView(kinds, KeyInfo::fromEvent(event)), delegate, event);
}

bool CustomNSCollectionView::event(QEvent *event)
{
    // The panes see Tab too before it moves the focus.
    if (event->type() == QEvent::KeyPress) {
        auto *key = static_cast<QKeyEvent *>(event);
        if ((key->key() == Qt::Key_Tab || key->key() == Qt::Key_Backtab) && routeKey(key))
            return true;
    }
    return QListView::event(event);
}

void CustomNSCollectionView::keyPressEvent(QKeyEvent *event)
{
    if (routeKey(event)) {
        event->accept();
        return;
    }
    QListView::keyPressEvent(event);
}

bool CustomNSCollectionView::checkForDirectoryInDragPasteboard(const QMimeData *data)
{
    if (!data || !data->hasUrls())
        return false;
    const QList<QUrl> urls = data->urls();
    for (const QUrl &url : urls) {
        if (!url.isLocalFile())
            continue;
        const QFileInfo info(url.toLocalFile());
        if (info.exists() && info.isDir())
            return true;
    }
    return false;
}

bool CustomNSCollectionView::prepareForDragOperation(const QMimeData *data)
{
    if (!checkForDirectoryInDragPasteboard(data))
        return true;
    platform::ui::AlertSpec alert;
    alert.messageText = QStringLiteral("Folders cannot be imported");
    alert.informativeText = QStringLiteral("You cannot import folders into Quendel");
    platform::ui::AlertPresenter::shared().runModal(alert);
    return false;
}

void CustomNSCollectionView::dropEvent(QDropEvent *event)
{
    if (!prepareForDragOperation(event->mimeData())) {
        event->ignore();
        return;
    }
    QListView::dropEvent(event);
}

void CustomNSCollectionView::showEvent(QShowEvent *event)
{
    QListView::showEvent(event);
    m_isCurrentlyVisible = true;
}

void CustomNSCollectionView::hideEvent(QHideEvent *event)
{
    QListView::hideEvent(event);
    m_isCurrentlyVisible = false;
}
