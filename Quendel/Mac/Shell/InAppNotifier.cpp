#include "Mac/Shell/InAppNotifier.h"

#include "Mac/Shell/PlainTextLabel.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QMainWindow>
#include <QPushButton>
#include <QVBoxLayout>

using platform::notify::ScheduledNotification;

InAppNotifier::InAppNotifier() = default;

InAppNotifier::~InAppNotifier()
{
    if (m_panel)
        m_panel->deleteLater();
}

QWidget *InAppNotifier::hostWindow() const
{
    for (QWidget *top : QApplication::topLevelWidgets())
        if (qobject_cast<QMainWindow *>(top) && top->isVisible())
            return top;
    return nullptr;
}

void InAppNotifier::placePanel()
{
    QWidget *host = m_panel ? m_panel->parentWidget() : nullptr;
    if (!m_panel || !host)
        return;
    m_panel->adjustSize();
    m_panel->move(host->width() - m_panel->width() - 12, 12);
    m_panel->raise();
}

void InAppNotifier::show(const ScheduledNotification &notification)
{
    QWidget *host = hostWindow();
    if (!host)
        return;
    if (!m_panel || m_panel->parentWidget() != host) {
        if (m_panel)
            m_panel->deleteLater();
        m_entries.clear();
        m_panel = new QFrame(host);
        m_panel->setObjectName(QStringLiteral("inAppNotifications"));
        m_panel->setAccessibleName(PanelName);
        m_panel->setFrameShape(QFrame::StyledPanel);
        m_panel->setAutoFillBackground(true);
        m_layout = new QVBoxLayout(m_panel);
    }
    withdraw(notification.identifier);

    auto *entry = new QWidget(m_panel);
    auto *rows = new QVBoxLayout(entry);
    rows->setContentsMargins(4, 4, 4, 4);
    auto *title = new PlainTextLabel(notification.title, entry);
    QFont bold = title->font();
    bold.setBold(true);
    title->setFont(bold);
    rows->addWidget(title);
    if (!notification.informativeText.isEmpty())
        rows->addWidget(new PlainTextLabel(notification.informativeText, entry));
    auto *buttons = new QHBoxLayout;
    buttons->addStretch(1);
    auto *dismiss = new QPushButton(DismissTitle, entry);
    dismiss->setAccessibleName(DismissTitle);
    buttons->addWidget(dismiss);
    const QString identifier = notification.identifier;
    if (!notification.actionButtonTitle.isEmpty()) {
        auto *action = new QPushButton(notification.actionButtonTitle, entry);
        action->setAccessibleName(notification.actionButtonTitle);
        buttons->addWidget(action);
        connect(action, &QPushButton::clicked, this, [this, identifier] {
            withdraw(identifier);
            activated(identifier);
        });
    }
    connect(dismiss, &QPushButton::clicked, this, [this, identifier] { withdraw(identifier); });
    rows->addLayout(buttons);
    m_layout->addWidget(entry);
    m_entries.insert(identifier, entry);
    m_panel->show();
    placePanel();
}

void InAppNotifier::withdraw(const QString &identifier)
{
    QPointer<QWidget> entry = m_entries.take(identifier);
    if (entry) {
        entry->hide();
        entry->deleteLater();
    }
    if (m_panel && m_entries.isEmpty())
        m_panel->hide();
    else
        placePanel();
}
