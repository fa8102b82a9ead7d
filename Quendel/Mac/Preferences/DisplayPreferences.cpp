#include "Mac/Preferences/DisplayPreferences.h"

#include "QuendelKit/Entities/Person.h"
#include "QuendelKit/Infra/QDLog.h"
#include "QuendelKit/Settings/DataPlistValues.h"
#include "QuendelKit/Settings/SharedSettingController.h"

#include "platform/core/Dispatch.h"
#include "platform/core/DispatchQueue.h"

using platform::core::Notification;
using platform::core::NotificationCenter;
namespace K = QDSettingsKeys;

DisplayPreferences::DisplayPreferences() : m_changeQueue(platform::core::DispatchQueue::serial(QueueLabel)) {}

DisplayPreferences::~DisplayPreferences()
{
    *m_delegate = nullptr;
}

void DisplayPreferences::sortOrderChangedWithValue(const QVariant &value)
{
    change(Person::SortOrderSettingKey, K::SortOrderNotification, value);
}

void DisplayPreferences::displayOrderChangedWithValue(const QVariant &value)
{
    change(Person::DisplayOrderSettingKey, K::DisplayOrderNotification, value);
}

void DisplayPreferences::change(const QString &key, const QString &notification,
                                const QVariant &value)
{
    if (QDDisplayPreferencesDelegate *delegate = *m_delegate)
        delegate->willBeginActivity();
    dataPlistValues().setValue(key, value);
    // The list follows the new setting at once, before anything is written.
    NotificationCenter::defaultCenter().post(notification, nullptr);
    // Through the serial queue and back, successive changes are written in the order they were made; each
    // writes the setting as it stands then, so a later change is never undone by an earlier write.
    m_changeQueue->async([delegate = m_delegate, key] {
        platform::core::dispatchAsyncMain([delegate, key] {
            SharedSettingController::sharedSettings().updatePlistAndKVSWithKey(key, dataPlistValues().value(key));
            if (QDDisplayPreferencesDelegate *target = *delegate)
                target->finishedActivity();
        });
    });
}
