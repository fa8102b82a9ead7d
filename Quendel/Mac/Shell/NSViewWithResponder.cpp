#include "Mac/Shell/NSViewWithResponder.h"

#include "platform/ui/CommandRouter.h"

#include <QCoreApplication>
#include <QKeyEvent>

NSViewWithResponder::NSViewWithResponder(QWidget *parent) : QWidget(parent)
{
}

NSViewWithResponder::~NSViewWithResponder()
{
    platform::ui::CommandRouter::shared().setNextResponder(this, nullptr);
}

void NSViewWithResponder::setViewController(QObject *controller)
{
    m_viewController = controller;
    platform::ui::CommandRouter::shared().setNextResponder(this, controller);
}

void NSViewWithResponder::keyPressEvent(QKeyEvent *event)
{
    // A controller above the view in the widget tree gets the key anyway as it travels up; any other
    // controller is offered it here, before the view's parents.
    QObject *controller = m_viewController;
    bool ancestor = false;
    for (QWidget *w = parentWidget(); w && controller; w = w->parentWidget()) {
        if (w == controller) {
            ancestor = true;
            break;
        }
    }
    if (controller && !ancestor) {
        event->ignore();
        QCoreApplication::sendEvent(controller, event);
        if (event->isAccepted())
            return;
    }
    QWidget::keyPressEvent(event);
}
