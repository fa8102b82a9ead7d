#pragma once

#include <QString>
#include <QVariantMap>

#include <functional>
#include <memory>
#include <mutex>
#include <vector>

namespace platform::core {

// A posted notification. `object` identifies the sender (or the object concerned) by address only:
// observers compare it, nobody dereferences it through the centre.
struct Notification
{
    QString name;
    const void *object = nullptr;
    QVariantMap userInfo;
};

using ObserverToken = quint64;

// Named notifications delivered synchronously on the posting thread, in the order observers were added.
class NotificationCenter
{
public:
    using Handler = std::function<void(const Notification &)>;

    static NotificationCenter &defaultCenter();

    // A null name observes every notification; a null object observes every sender.
    ObserverToken addObserver(const QString &name, const void *object, Handler handler);
    void removeObserver(ObserverToken token);

    void post(const Notification &notification);
    void post(const QString &name, const void *object = nullptr, const QVariantMap &userInfo = {});
    // Posts on the main thread: synchronously when already there, else queued to the main event loop.
    void postOnMain(const QString &name, const void *object = nullptr, const QVariantMap &userInfo = {});

private:
    struct Entry
    {
        ObserverToken token;
        QString name;
        const void *object;
        std::shared_ptr<Handler> handler;
    };
    std::mutex m_mutex;
    std::vector<Entry> m_entries;
    ObserverToken m_next = 1;
};

// Removes its observer when it goes away, so an owner can hold its observations as members.
class ScopedObserver
{
public:
    ScopedObserver() = default;
    ScopedObserver(const QString &name, const void *object, NotificationCenter::Handler handler,
                   NotificationCenter &center = NotificationCenter::defaultCenter());
    ~ScopedObserver() { reset(); }
    ScopedObserver(ScopedObserver &&other) noexcept;
    ScopedObserver &operator=(ScopedObserver &&other) noexcept;
    ScopedObserver(const ScopedObserver &) = delete;
    ScopedObserver &operator=(const ScopedObserver &) = delete;
    void reset();

private:
    NotificationCenter *m_center = nullptr;
    ObserverToken m_token = 0;
};

} // namespace platform::core
