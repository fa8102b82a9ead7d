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

// ---- Applying the settings to the contacts ----

DisplaySettingsApplier::DisplaySettingsApplier(std::function<platform::store::ContextPtr()> context,
                                               std::function<void()> reloadList)
    : m_context(std::move(context)), m_reloadList(std::move(reloadList))
{
    auto handler = [this](const Notification &) {
        if (platform::core::isMainThread())
            apply();
    };
    m_sortObserver = platform::core::ScopedObserver(K::SortOrderNotification, nullptr, handler);
    m_displayObserver = platform::core::ScopedObserver(K::DisplayOrderNotification, nullptr, handler);
}

int DisplaySettingsApplier::applyDisplaySettings(platform::store::ManagedObjectContext &context)
{
    platform::core::QDError error;
    const QList<platform::store::ManagedObject *> people = context.executeFetchRequest(Person::fetchRequest(), &error);
    int changed = 0;
    for (platform::store::ManagedObject *object : people) {
        auto *person = dynamic_cast<Person *>(object);
        if (!person)
            continue;
        const QString name = person->displayName();
        const QString sorting = person->normalizedDisplayName();
        const QString section = person->normalizedSectionLetter();
        person->remakeDisplayName();
        person->remakeSortingName();
        if (name != person->displayName() || sorting != person->normalizedDisplayName() ||
            section != person->normalizedSectionLetter())
            ++changed;
    }
    if (context.hasChanges() && !context.save(&error))
        QDLogError(QStringLiteral("🚨🚨 DisplayPreferences: names could not be saved: %1 🚨🚨").arg(error.localizedDescription()));
    return changed;
}

void DisplaySettingsApplier::apply()
{
    const platform::store::ContextPtr context = m_context ? m_context() : nullptr;
    if (!context)
        return;
    const int changed = applyDisplaySettings(*context);
    QDLogInfo(QStringLiteral("DisplayPreferences: %1 contact names follow the display settings").arg(changed));
    if (m_reloadList)
        m_reloadList();
}
