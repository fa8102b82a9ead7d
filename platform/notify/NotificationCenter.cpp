#include "platform/notify/NotificationCenter.h"

#include "platform/core/Clock.h"
#include "platform/core/DateComponents.h"
#include "platform/core/Timer.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>

using platform::core::DateComponents;

namespace platform::notify {

namespace {

constexpr int MaxRepeatSteps = 100'000;
const QString ScheduledKey = QStringLiteral("scheduled");
const QString DeliveredKey = QStringLiteral("delivered");

QVariantMap componentsToMap(const QVariant &value)
{
    QVariantMap map;
    if (!DateComponents::isDateComponents(value))
        return map;
    const DateComponents c = value.value<DateComponents>();
    for (int f = 0; f < DateComponents::FieldCount; ++f)
        if (c.isDefined(DateComponents::Field(f)))
            map.insert(DateComponents::fieldName(DateComponents::Field(f)), c.value(DateComponents::Field(f)));
    return map;
}

QVariant componentsFromMap(const QVariantMap &map)
{
    if (map.isEmpty())
        return {};
    DateComponents c;
    for (int f = 0; f < DateComponents::FieldCount; ++f) {
        const QString name = DateComponents::fieldName(DateComponents::Field(f));
        if (map.contains(name))
            c.setValue(DateComponents::Field(f), map.value(name).toLongLong());
    }
    return c.toVariant();
}

QDateTime addComponents(const QDateTime &date, const DateComponents &step)
{
    const auto field = [&](DateComponents::Field which) { return step.isDefined(which) ? step.value(which) : 0; };
    QDateTime local = date.toLocalTime();
    local = local.addYears(int(field(DateComponents::Year)));
    local = local.addMonths(int(field(DateComponents::Month) + 3 * field(DateComponents::Quarter)));
    local = local.addDays(field(DateComponents::Day) +
                          7 * (field(DateComponents::WeekOfMonth) + field(DateComponents::WeekOfYear)));
    local = local.addSecs(field(DateComponents::Hour) * 3600 + field(DateComponents::Minute) * 60 +
                          field(DateComponents::Second));
    return local.toUTC();
}

qsizetype indexOf(const QList<ScheduledNotification> &list, const QString &identifier)
{
    for (qsizetype i = 0; i < list.size(); ++i)
        if (list.at(i).identifier == identifier)
            return i;
    return -1;
}

} // namespace

QVariantMap ScheduledNotification::toMap() const
{
    return {{QStringLiteral("identifier"), identifier},
            {QStringLiteral("title"), title},
            {QStringLiteral("informativeText"), informativeText},
            {QStringLiteral("actionButtonTitle"), actionButtonTitle},
            {QStringLiteral("deliveryDate"), deliveryDate.toUTC().toString(Qt::ISODateWithMs)},
            {QStringLiteral("repeatInterval"), componentsToMap(repeatInterval)},
            {QStringLiteral("userInfo"), userInfo},
            {QStringLiteral("actualDeliveryDate"),
             actualDeliveryDate.isValid() ? actualDeliveryDate.toUTC().toString(Qt::ISODateWithMs) : QString()}};
}

ScheduledNotification ScheduledNotification::fromMap(const QVariantMap &map)
{
    ScheduledNotification n;
    n.identifier = map.value(QStringLiteral("identifier")).toString();
    n.title = map.value(QStringLiteral("title")).toString();
    n.informativeText = map.value(QStringLiteral("informativeText")).toString();
    n.actionButtonTitle = map.value(QStringLiteral("actionButtonTitle")).toString();
    n.deliveryDate = QDateTime::fromString(map.value(QStringLiteral("deliveryDate")).toString(), Qt::ISODateWithMs);
    n.repeatInterval = componentsFromMap(map.value(QStringLiteral("repeatInterval")).toMap());
    n.userInfo = map.value(QStringLiteral("userInfo")).toMap();
    const QString delivered = map.value(QStringLiteral("actualDeliveryDate")).toString();
    if (!delivered.isEmpty())
        n.actualDeliveryDate = QDateTime::fromString(delivered, Qt::ISODateWithMs);
    return n;
}

NotificationCenter::NotificationCenter(const QString &storePath, QObject *parent)
    : QObject(parent), m_storePath(storePath)
{
}

NotificationCenter::~NotificationCenter()
{
    if (m_timer)
        m_timer->invalidate();
}

void NotificationCenter::setNotifier(std::shared_ptr<DesktopNotifier> notifier)
{
    m_notifier = std::move(notifier);
    if (m_notifier)
        m_notifier->setActivationHandler([this](const QString &identifier) { activate(identifier); });
}

void NotificationCenter::activate(const QString &identifier)
{
    const qsizetype at = indexOf(m_delivered, identifier);
    ScheduledNotification found;
    if (at >= 0) {
        found = m_delivered.at(at);
    } else if (const qsizetype waiting = indexOf(m_scheduled, identifier); waiting >= 0) {
        // A repeating notification was shown and is already waiting for its next time.
        found = m_scheduled.at(waiting);
    } else {
        return;
    }
    if (m_activation)
        m_activation(found);
}

QDateTime NotificationCenter::nextDeliveryDate(const QDateTime &date, const QVariant &repeat, const QDateTime &now)
{
    if (!date.isValid() || !DateComponents::isDateComponents(repeat))
        return QDateTime();
    const DateComponents step = repeat.value<DateComponents>();
    QDateTime next = date;
    for (int i = 0; i < MaxRepeatSteps; ++i) {
        const QDateTime further = addComponents(next, step);
        if (!further.isValid() || further <= next)
            return QDateTime();
        next = further;
        if (next >= now)
            return next;
    }
    return QDateTime();
}

void NotificationCenter::scheduleNotification(const ScheduledNotification &notification)
{
    const qsizetype at = indexOf(m_scheduled, notification.identifier);
    if (at >= 0)
        m_scheduled.removeAt(at);
    ScheduledNotification copy = notification;
    copy.actualDeliveryDate = QDateTime();
    m_scheduled.append(copy);
    deliverDueNotifications();
}

bool NotificationCenter::removeScheduledNotification(const QString &identifier)
{
    const qsizetype at = indexOf(m_scheduled, identifier);
    if (at < 0)
        return false;
    m_scheduled.removeAt(at);
    rearm();
    persist();
    return true;
}

bool NotificationCenter::removeDeliveredNotification(const QString &identifier)
{
    const qsizetype at = indexOf(m_delivered, identifier);
    if (at < 0)
        return false;
    m_delivered.removeAt(at);
    if (m_notifier)
        m_notifier->withdraw(identifier);
    persist();
    return true;
}

void NotificationCenter::removeAllScheduledNotifications()
{
    m_scheduled.clear();
    rearm();
    persist();
}

void NotificationCenter::removeAllDeliveredNotifications()
{
    const QList<ScheduledNotification> delivered = m_delivered;
    m_delivered.clear();
    if (m_notifier)
        for (const ScheduledNotification &n : delivered)
            m_notifier->withdraw(n.identifier);
    persist();
}

void NotificationCenter::deliverDueNotifications()
{
    const QDateTime now = platform::core::Clock::now();
    QList<ScheduledNotification> due;
    for (qsizetype i = 0; i < m_scheduled.size();) {
        ScheduledNotification &waiting = m_scheduled[i];
        if (!waiting.deliveryDate.isValid() || waiting.deliveryDate > now) {
            ++i;
            continue;
        }
        ScheduledNotification shown = waiting;
        shown.actualDeliveryDate = now;
        due.append(shown);
        const QDateTime next = nextDeliveryDate(waiting.deliveryDate, waiting.repeatInterval, now.addMSecs(1));
        if (next.isValid()) {
            waiting.deliveryDate = next;
            ++i;
        } else {
            m_scheduled.removeAt(i);
        }
    }
    for (const ScheduledNotification &shown : due) {
        const qsizetype old = indexOf(m_delivered, shown.identifier);
        if (old >= 0)
            m_delivered.removeAt(old);
        m_delivered.append(shown);
        if (m_notifier)
            m_notifier->show(shown);
    }
    rearm();
    persist();
}

void NotificationCenter::rearm()
{
    if (m_timer) {
        m_timer->invalidate();
        m_timer.reset();
    }
    QDateTime earliest;
    for (const ScheduledNotification &waiting : m_scheduled)
        if (waiting.deliveryDate.isValid() && (!earliest.isValid() || waiting.deliveryDate < earliest))
            earliest = waiting.deliveryDate;
    if (!earliest.isValid())
        return;
    const qint64 wait = std::max<qint64>(0, platform::core::Clock::now().msecsTo(earliest));
    m_timer = platform::core::Timer::scheduledTimer(wait, false, this,
                                                    [this](platform::core::Timer &) { deliverDueNotifications(); });
}

void NotificationCenter::persist()
{
    if (m_storePath.isEmpty())
        return;
    QVariantList scheduled;
    for (const ScheduledNotification &n : m_scheduled)
        scheduled.append(n.toMap());
    QVariantList delivered;
    for (const ScheduledNotification &n : m_delivered)
        delivered.append(n.toMap());
    const QJsonDocument document(QJsonObject::fromVariantMap({{ScheduledKey, scheduled}, {DeliveredKey, delivered}}));
    QDir().mkpath(QFileInfo(m_storePath).absolutePath());
    QSaveFile file(m_storePath);
    if (!file.open(QIODevice::WriteOnly) || file.write(document.toJson(QJsonDocument::Compact)) < 0 || !file.commit())
        qWarning("Notifications: the list could not be written to %s", qPrintable(m_storePath));
}

bool NotificationCenter::load(QString *problem)
{
    if (m_storePath.isEmpty() || !QFileInfo::exists(m_storePath))
        return true;
    QFile file(m_storePath);
    QJsonParseError error{};
    QJsonDocument document;
    if (file.open(QIODevice::ReadOnly))
        document = QJsonDocument::fromJson(file.readAll(), &error);
    file.close();
    if (!document.isObject()) {
        // Kept for a look later; a new list starts.
        const QString aside = m_storePath + QStringLiteral(".damaged");
        QFile::remove(aside);
        QFile::rename(m_storePath, aside);
        if (problem)
            *problem = QStringLiteral("The notifications list %1 is damaged and was set aside as %2.")
                           .arg(m_storePath, aside);
        return false;
    }
    const QVariantMap root = document.object().toVariantMap();
    m_scheduled.clear();
    m_delivered.clear();
    for (const QVariant &entry : root.value(ScheduledKey).toList())
        m_scheduled.append(ScheduledNotification::fromMap(entry.toMap()));
    for (const QVariant &entry : root.value(DeliveredKey).toList())
        m_delivered.append(ScheduledNotification::fromMap(entry.toMap()));
    deliverDueNotifications();
    return true;
}

} // namespace platform::notify
