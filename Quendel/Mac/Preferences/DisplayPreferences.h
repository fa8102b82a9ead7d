#pragma once

#include "platform/core/NotificationCenter.h"
#include "platform/store/ManagedObjectContext.h"

#include <QVariant>

#include <functional>
#include <memory>

namespace platform::core {
class DispatchQueue;
}

// The window's side of a display-settings change: told before the work starts and once it is written.
class QDDisplayPreferencesDelegate
{
public:
    virtual ~QDDisplayPreferencesDelegate() = default;
    virtual void willBeginActivity() {}
    virtual void finishedActivity() {}
};

// The two display settings of the contacts list, the sort order and the name order. A change is in the
// settings and announced at once, so the list follows it; writing the file and the mirror for other
// devices follows in the order the changes were made.
class DisplayPreferences
{
public:
    static inline const QString QueueLabel = QStringLiteral("com.quendel.displaySettings");

    DisplayPreferences();
    ~DisplayPreferences();

    // Not owned; may be null.
    void setDelegate(QDDisplayPreferencesDelegate *delegate) { *m_delegate = delegate; }

    void sortOrderChangedWithValue(const QVariant &value);
    void displayOrderChangedWithValue(const QVariant &value);

private:
    void change(const QString &key, const QString &notification, const QVariant &value);

    std::shared_ptr<platform::core::DispatchQueue> m_changeQueue;
    // Shared with the queued work, which must not reach a delegate that went away.
    std::shared_ptr<QDDisplayPreferencesDelegate *> m_delegate = std::make_shared<QDDisplayPreferencesDelegate *>(nullptr);
};

