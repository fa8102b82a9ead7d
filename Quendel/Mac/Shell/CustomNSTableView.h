#pragma once

#include "Mac/Shell/KeyRouting.h"

#include <QPointer>
#include <QTableView>

// The table of the pickers and the list editors: Return and Enter confirm a picker's choice, and the up
// arrow on a pane's first row moves the focus to the page's tab buttons.
class CustomNSTableView : public QTableView
{
    Q_OBJECT
public:
    explicit CustomNSTableView(QWidget *parent = nullptr);

    void setDelegate(QObject *delegate) { m_delegate = delegate; }
    QObject *delegate() const { return m_delegate; }
    KeyRoutingDelegate *routingDelegate() const;

protected:
    void keyPressEvent(QKeyEvent *event) override;

private:
    QPointer<QObject> m_delegate;
};
