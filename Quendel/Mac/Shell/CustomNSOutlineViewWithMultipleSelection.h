#pragma once

#include "Mac/Shell/KeyRouting.h"

#include <QPointer>
#include <QTreeView>

// The outline of the contact picker: Return and Enter confirm the picker's choice.
class CustomNSOutlineViewWithMultipleSelection : public QTreeView
{
    Q_OBJECT
public:
    explicit CustomNSOutlineViewWithMultipleSelection(QWidget *parent = nullptr);

    void setDelegate(QObject *delegate) { m_delegate = delegate; }
    QObject *delegate() const { return m_delegate; }
    KeyRoutingDelegate *routingDelegate() const;

    // Set by the contact picker; the view's behaviour does not depend on it.
    bool allowsMouseDownQD() const { return m_allowsMouseDownQD; }
    void setAllowsMouseDownQD(bool allows) { m_allowsMouseDownQD = allows; }

protected:
    void keyPressEvent(QKeyEvent *event) override;

private:
    QPointer<QObject> m_delegate;
    bool m_allowsMouseDownQD = false;
};
