#pragma once

#include "Mac/Shell/KeyRouting.h"

#include <QMenu>
#include <QPointer>
#include <QTreeView>

// A cell view that lets a click on its row reach its own text fields (the editable detail rows of a
// contact's Info page).
class TextFieldsMouseDownReceiver
{
public:
    virtual ~TextFieldsMouseDownReceiver() = default;
    virtual void mouseDownForTextFields(QMouseEvent *event) = 0;
};

// The outline of the sidebar, the contacts list, the Info page, the import list and the file picker:
// keys go to its delegate as the delegate's kind asks (see KeyRouter), a right-click on the Info page
// asks the page for the row's menu, and a click on an editable Info row reaches the row's fields.
class CustomNSOutlineView : public QTreeView
{
    Q_OBJECT
public:
    // Models mark section-title items with this role (true); they are not data rows.
    static constexpr int ItemIsTitleRole = Qt::UserRole + 0x7100;

    explicit CustomNSOutlineView(QWidget *parent = nullptr);

    // Any object; it takes part in routing when it is a KeyRoutingDelegate.
    void setDelegate(QObject *delegate) { m_delegate = delegate; }
    QObject *delegate() const { return m_delegate; }
    KeyRoutingDelegate *routingDelegate() const;

    bool acceptsFirstResponder() const { return true; }

    // The view's own context menu, used for every delegate but the Info page.
    void setMenu(QMenu *menu) { m_menu = menu; }
    QMenu *menu() const { return m_menu; }
    // The menu for a right-click at a point of the viewport.
    QMenu *menuForEvent(const QPoint &viewportPos);

    // Rows count the visible items from the top, titles included; -1 for none.
    int rowAt(const QPoint &viewportPos) const;
    int rowForIndex(const QModelIndex &index) const;
    QModelIndex indexForRow(int row) const;

protected:
    bool event(QEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void contextMenuEvent(QContextMenuEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;

private:
    // Sends the key where the delegate's kind routes it; false when the view handles it itself.
    bool routeKey(QKeyEvent *event);

    QPointer<QObject> m_delegate;
    QPointer<QMenu> m_menu;
};
