#pragma once

#include <QPointer>
#include <QWidget>

// A root view that puts its controller into the command chain right behind itself, so the controller
// answers the commands and keys that the view's subviews pass on (the editors' base view).
class NSViewWithResponder : public QWidget
{
    Q_OBJECT
public:
    explicit NSViewWithResponder(QWidget *parent = nullptr);
    ~NSViewWithResponder() override;

    QObject *viewController() const { return m_viewController; }
    // Replaces the previous controller in the chain; null takes it out.
    void setViewController(QObject *controller);

protected:
    void keyPressEvent(QKeyEvent *event) override;

private:
    QPointer<QObject> m_viewController;
};
