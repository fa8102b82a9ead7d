#pragma once

#include "platform/notify/NotificationCenter.h"

#include <QFrame>
#include <QHash>
#include <QPointer>

class QVBoxLayout;

// Where due notifications show when the desktop has no notification service: a panel in the top right corner
// of the program's main window, one entry per notification with its title, text, its action button and a
// button that dismisses it.
class InAppNotifier : public QObject, public platform::notify::DesktopNotifier
{
    Q_OBJECT
public:
    static inline const QString PanelName = QStringLiteral("Notifications");
    static inline const QString DismissTitle = QStringLiteral("Dismiss");

    InAppNotifier();
    ~InAppNotifier() override;

    void show(const platform::notify::ScheduledNotification &notification) override;
    void withdraw(const QString &identifier) override;

    QWidget *panel() const { return m_panel; }
    int shownCount() const { return int(m_entries.size()); }

private:
    QWidget *hostWindow() const;
    void placePanel();

    QPointer<QFrame> m_panel;
    QVBoxLayout *m_layout = nullptr;
    QHash<QString, QPointer<QWidget>> m_entries;
};
