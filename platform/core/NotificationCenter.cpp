#include "platform/core/NotificationCenter.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QThread>

namespace platform::core {

NotificationCenter &NotificationCenter::defaultCenter()
{
    static NotificationCenter center;
    return center;
}

ObserverToken NotificationCenter::addObserver(const QString &name, const void *object, Handler handler)
{
    std::lock_guard lock(m_mutex);
    const ObserverToken token = m_next++;
    m_entries.push_back({token, name, object, std::make_shared<Handler>(std::move(handler))});
    return token;
}

void NotificationCenter::removeObserver(ObserverToken token)
{
    std::lock_guard lock(m_mutex);
    std::erase_if(m_entries, [token](const Entry &e) { return e.token == token; });
}

void NotificationCenter::post(const Notification &notification)
{
    // Handlers run outside the lock so they may add or remove observers, or post again.
    std::vector<std::pair<ObserverToken, std::shared_ptr<Handler>>> targets;
    {
        std::lock_guard lock(m_mutex);
        for (const Entry &e : m_entries) {
            if ((e.name.isNull() || e.name == notification.name) && (!e.object || e.object == notification.object))
                targets.emplace_back(e.token, e.handler);
        }
    }
    for (auto &[token, handler] : targets) {
        {
            // An observer removed by an earlier handler of this same post must not be called.
            std::lock_guard lock(m_mutex);
            if (std::none_of(m_entries.begin(), m_entries.end(), [t = token](const Entry &e) { return e.token == t; }))
                continue;
        }
        (*handler)(notification);
    }
}

void NotificationCenter::post(const QString &name, const void *object, const QVariantMap &userInfo)
{
    post(Notification{name, object, userInfo});
}

void NotificationCenter::postOnMain(const QString &name, const void *object, const QVariantMap &userInfo)
{
    QCoreApplication *app = QCoreApplication::instance();
    if (!app || QThread::currentThread() == app->thread()) {
        post(name, object, userInfo);
        return;
    }
    Notification n{name, object, userInfo};
    QMetaObject::invokeMethod(app, [this, n] { post(n); }, Qt::QueuedConnection);
}

ScopedObserver::ScopedObserver(const QString &name, const void *object, NotificationCenter::Handler handler,
                               NotificationCenter &center)
    : m_center(&center), m_token(center.addObserver(name, object, std::move(handler)))
{
}

ScopedObserver::ScopedObserver(ScopedObserver &&other) noexcept : m_center(other.m_center), m_token(other.m_token)
{
    other.m_center = nullptr;
    other.m_token = 0;
}

ScopedObserver &ScopedObserver::operator=(ScopedObserver &&other) noexcept
{
    if (this != &other) {
        reset();
        m_center = other.m_center;
        m_token = other.m_token;
        other.m_center = nullptr;
        other.m_token = 0;
    }
    return *this;
}

void ScopedObserver::reset()
{
    if (m_center && m_token)
        m_center->removeObserver(m_token);
    m_center = nullptr;
    m_token = 0;
}

} // namespace platform::core
