#include "platform/calendar/EventStore.h"

#include "platform/core/Clock.h"

#include <QCryptographicHash>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QFileSystemWatcher>
#include <QSaveFile>
#include <QTimer>
#include <QUuid>

#include <libical/ical.h>

namespace platform::calendar {

namespace {

// libical keeps process-wide state (its time zone cache), so every call into it goes through one lock.
std::mutex &icalMutex()
{
    static std::mutex mutex;
    return mutex;
}

constexpr int RescanDelayMs = 300;
const QString IcsSuffix = QStringLiteral(".ics");

QString fromIcal(const char *text)
{
    return text ? QString::fromUtf8(text) : QString();
}

QDateTime toDateTime(icaltimetype t, icalproperty *property)
{
    if (icaltime_is_null_time(t) || !icaltime_is_valid_time(t))
        return {};
    const QDate date(t.year, t.month, t.day);
    if (t.is_date)
        return QDateTime(date, QTime(0, 0), Qt::LocalTime).toUTC();
    const QTime time(t.hour, t.minute, t.second);
    if (icaltime_is_utc(t))
        return QDateTime(date, time, Qt::UTC);
    const icaltimezone *zone = icaltime_get_timezone(t);
    if (!zone && property) {
        if (icalparameter *tzid = icalproperty_get_first_parameter(property, ICAL_TZID_PARAMETER))
            zone = icaltimezone_get_builtin_timezone(icalparameter_get_tzid(tzid));
    }
    if (zone)
        return QDateTime::fromSecsSinceEpoch(qint64(icaltime_as_timet_with_zone(t, zone)), Qt::UTC);
    // A floating time is the reader's own local time.
    return QDateTime(date, time, Qt::LocalTime).toUTC();
}

icaltimetype toIcalUtc(const QDateTime &when)
{
    return icaltime_from_timet_with_zone(time_t(when.toSecsSinceEpoch()), 0, icaltimezone_get_utc_timezone());
}

QDateTime propertyTime(icalcomponent *event, icalproperty_kind kind)
{
    icalproperty *property = icalcomponent_get_first_property(event, kind);
    if (!property)
        return {};
    return toDateTime(icalproperty_get_datetime_with_component(property, event), property);
}

// The master event of a file: the first VEVENT that is not the override of one occurrence.
icalcomponent *masterEvent(icalcomponent *root)
{
    if (!root)
        return nullptr;
    if (icalcomponent_isa(root) == ICAL_VEVENT_COMPONENT)
        return root;
    for (icalcomponent *c = icalcomponent_get_first_component(root, ICAL_VEVENT_COMPONENT); c;
         c = icalcomponent_get_next_component(root, ICAL_VEVENT_COMPONENT)) {
        if (!icalcomponent_get_first_property(c, ICAL_RECURRENCEID_PROPERTY))
            return c;
    }
    return nullptr;
}

void replaceProperty(icalcomponent *event, icalproperty_kind kind, icalproperty *replacement)
{
    while (icalproperty *old = icalcomponent_get_first_property(event, kind)) {
        icalcomponent_remove_property(event, old);
        icalproperty_free(old);
    }
    if (replacement)
        icalcomponent_add_property(event, replacement);
}

Event eventFrom(icalcomponent *vevent, const QString &calendarIdentifier)
{
    Event event;
    event.externalIdentifier = fromIcal(icalcomponent_get_uid(vevent));
    event.calendarIdentifier = calendarIdentifier;
    event.eventIdentifier = calendarIdentifier + QLatin1Char('/') + event.externalIdentifier;
    event.title = fromIcal(icalcomponent_get_summary(vevent));
    event.notes = fromIcal(icalcomponent_get_description(vevent));
    event.location = fromIcal(icalcomponent_get_location(vevent));
    event.startDate = propertyTime(vevent, ICAL_DTSTART_PROPERTY);
    event.endDate = propertyTime(vevent, ICAL_DTEND_PROPERTY);
    if (!event.endDate.isValid() && event.startDate.isValid()) {
        if (icalproperty *duration = icalcomponent_get_first_property(vevent, ICAL_DURATION_PROPERTY))
            event.endDate =
                event.startDate.addSecs(icaldurationtype_as_int(icalproperty_get_duration(duration)));
        else
            event.endDate = event.startDate;
    }
    event.creationDate = propertyTime(vevent, ICAL_CREATED_PROPERTY);
    event.lastModifiedDate = propertyTime(vevent, ICAL_LASTMODIFIED_PROPERTY);
    return event;
}

bool isSafeName(const QString &name)
{
    return !name.isEmpty() && !name.contains(QLatin1Char('/')) && !name.contains(QLatin1Char('\\')) &&
           name != QLatin1String(".") && name != QLatin1String("..");
}

} // namespace

EventStore::EventStore(const QString &rootPath, QObject *parent) : QObject(parent), m_root(rootPath)
{
    m_lastScan = snapshot();
    m_watcher = new QFileSystemWatcher(this);
    m_debounce = new QTimer(this);
    m_debounce->setSingleShot(true);
    m_debounce->setInterval(RescanDelayMs);
    connect(m_debounce, &QTimer::timeout, this, &EventStore::rescan);
    connect(m_watcher, &QFileSystemWatcher::directoryChanged, m_debounce, qOverload<>(&QTimer::start));
    connect(m_watcher, &QFileSystemWatcher::fileChanged, m_debounce, qOverload<>(&QTimer::start));
    watch();
}

EventStore::~EventStore() = default;

EventStore::AuthorizationStatus EventStore::authorizationStatus(const QString &rootPath)
{
    const QFileInfo root(rootPath);
    if (rootPath.isEmpty() || !root.exists())
        return AuthorizationStatus::NotDetermined;
    if (!root.isDir() || !root.isReadable() || !root.isWritable())
        return AuthorizationStatus::Denied;
    return AuthorizationStatus::Authorized;
}

bool EventStore::requestAccess(const QString &rootPath, QString *error)
{
    if (authorizationStatus(rootPath) == AuthorizationStatus::NotDetermined) {
        const QDir root(rootPath);
        if (!QDir().mkpath(rootPath) || !root.mkpath(DefaultCalendarIdentifier)) {
            if (error)
                *error = QStringLiteral("The calendar folder %1 could not be made.").arg(rootPath);
            return false;
        }
        QFile title(root.filePath(DefaultCalendarIdentifier + QLatin1Char('/') + DisplayNameFile));
        if (title.open(QIODevice::WriteOnly))
            title.write(DefaultCalendarTitle.toUtf8());
    }
    const bool granted = authorizationStatus(rootPath) == AuthorizationStatus::Authorized;
    if (!granted && error)
        *error = QStringLiteral("The calendar folder %1 cannot be written.").arg(rootPath);
    return granted;
}

QList<Calendar> EventStore::calendars() const
{
    std::lock_guard lock(m_mutex);
    QList<Calendar> list;
    const QDir root(m_root);
    for (const QFileInfo &folder : root.entryInfoList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name)) {
        Calendar calendar;
        calendar.calendarIdentifier = folder.fileName();
        QFile title(folder.absoluteFilePath() + QLatin1Char('/') + DisplayNameFile);
        calendar.title = title.open(QIODevice::ReadOnly) ? QString::fromUtf8(title.readAll()).trimmed() : QString();
        if (calendar.title.isEmpty())
            calendar.title = folder.fileName();
        calendar.allowsContentModifications =
            folder.isWritable() && !QFileInfo::exists(folder.absoluteFilePath() + QLatin1Char('/') + ReadOnlyFile);
        list.append(calendar);
    }
    return list;
}

std::optional<Calendar> EventStore::calendarWithIdentifier(const QString &identifier) const
{
    for (const Calendar &calendar : calendars())
        if (calendar.calendarIdentifier == identifier)
            return calendar;
    return std::nullopt;
}

std::optional<Calendar> EventStore::defaultCalendarForNewEvents()
{
    std::lock_guard lock(m_mutex);
    for (const Calendar &calendar : calendars())
        if (calendar.allowsContentModifications)
            return calendar;
    if (authorizationStatus(m_root) != AuthorizationStatus::Authorized || !QDir(m_root).mkpath(DefaultCalendarIdentifier))
        return std::nullopt;
    QFile title(QDir(m_root).filePath(DefaultCalendarIdentifier + QLatin1Char('/') + DisplayNameFile));
    if (title.open(QIODevice::WriteOnly))
        title.write(DefaultCalendarTitle.toUtf8());
    watch();
    return calendarWithIdentifier(DefaultCalendarIdentifier);
}

std::optional<Event> EventStore::readEventFile(const QString &path, const QString &calendarIdentifier)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    const QByteArray data = file.readAll();
    std::lock_guard lock(icalMutex());
    icalcomponent *root = icalparser_parse_string(data.constData());
    icalcomponent *vevent = masterEvent(root);
    std::optional<Event> event;
    if (vevent && icalcomponent_get_uid(vevent))
        event = eventFrom(vevent, calendarIdentifier);
    if (root)
        icalcomponent_free(root);
    return event;
}

QString EventStore::filePathForEvent(const Event &event) const
{
    return QDir(m_root).filePath(event.calendarIdentifier + QLatin1Char('/') + event.externalIdentifier + IcsSuffix);
}

std::optional<Event> EventStore::eventWithIdentifier(const QString &identifier) const
{
    std::lock_guard lock(m_mutex);
    if (identifier.isEmpty())
        return std::nullopt;
    const qsizetype slash = identifier.indexOf(QLatin1Char('/'));
    if (slash > 0) {
        const QString calendar = identifier.left(slash);
        const QString uid = identifier.mid(slash + 1);
        if (!isSafeName(calendar) || !isSafeName(uid))
            return std::nullopt;
        return readEventFile(QDir(m_root).filePath(calendar + QLatin1Char('/') + uid + IcsSuffix), calendar);
    }
    if (!isSafeName(identifier))
        return std::nullopt;
    for (const Calendar &calendar : calendars()) {
        const QString path = QDir(m_root).filePath(calendar.calendarIdentifier + QLatin1Char('/') + identifier + IcsSuffix);
        if (QFileInfo::exists(path))
            if (auto event = readEventFile(path, calendar.calendarIdentifier))
                return event;
    }
    // Other programs may name a file otherwise than by its UID.
    for (const Calendar &calendar : calendars()) {
        const QDir folder(QDir(m_root).filePath(calendar.calendarIdentifier));
        for (const QString &name : folder.entryList({QStringLiteral("*.ics")}, QDir::Files))
            if (auto event = readEventFile(folder.filePath(name), calendar.calendarIdentifier);
                event && event->externalIdentifier == identifier)
                return event;
    }
    return std::nullopt;
}

QList<Event> EventStore::events(const QDateTime &start, const QDateTime &end, const QStringList &calendarIdentifiers) const
{
    std::lock_guard lock(m_mutex);
    QList<Event> found;
    for (const Calendar &calendar : calendars()) {
        if (!calendarIdentifiers.isEmpty() && !calendarIdentifiers.contains(calendar.calendarIdentifier))
            continue;
        const QDir folder(QDir(m_root).filePath(calendar.calendarIdentifier));
        for (const QString &name : folder.entryList({QStringLiteral("*.ics")}, QDir::Files, QDir::Name)) {
            std::optional<Event> event = readEventFile(folder.filePath(name), calendar.calendarIdentifier);
            if (!event || !event->startDate.isValid())
                continue;
            const QDateTime eventEnd = event->endDate.isValid() ? event->endDate : event->startDate;
            if (event->startDate <= end && eventEnd >= start)
                found.append(*event);
        }
    }
    return found;
}

bool EventStore::saveEvent(Event &event, QString *error)
{
    std::lock_guard lock(m_mutex);
    const auto fail = [&](const QString &why) {
        if (error)
            *error = why;
        return false;
    };
    const std::optional<Calendar> calendar = calendarWithIdentifier(event.calendarIdentifier);
    if (!calendar)
        return fail(QStringLiteral("There is no calendar \"%1\".").arg(event.calendarIdentifier));
    if (!calendar->allowsContentModifications)
        return fail(QStringLiteral("The calendar \"%1\" cannot be changed.").arg(calendar->title));
    const QDateTime now = platform::core::Clock::now();
    if (event.externalIdentifier.isEmpty()) {
        event.externalIdentifier = QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper();
        event.creationDate = QDateTime::fromSecsSinceEpoch(now.toSecsSinceEpoch(), Qt::UTC);
    }
    if (!isSafeName(event.externalIdentifier))
        return fail(QStringLiteral("The event's identifier cannot name a file."));
    event.eventIdentifier = event.calendarIdentifier + QLatin1Char('/') + event.externalIdentifier;
    event.lastModifiedDate = QDateTime::fromSecsSinceEpoch(now.toSecsSinceEpoch(), Qt::UTC);
    const QString path = filePathForEvent(event);

    QByteArray existing;
    if (QFile file(path); file.open(QIODevice::ReadOnly))
        existing = file.readAll();
    QByteArray written;
    {
        std::lock_guard icalLock(icalMutex());
        icalcomponent *root = existing.isEmpty() ? nullptr : icalparser_parse_string(existing.constData());
        icalcomponent *vevent = masterEvent(root);
        if (!vevent) {
            // A new file, or one too damaged to keep: a fresh calendar object.
            if (root)
                icalcomponent_free(root);
            root = icalcomponent_vanew(ICAL_VCALENDAR_COMPONENT, icalproperty_new_version("2.0"),
                                       icalproperty_new_prodid("-//Quendel//Quendel//EN"), (void *)nullptr);
            vevent = icalcomponent_new(ICAL_VEVENT_COMPONENT);
            icalcomponent_add_component(root, vevent);
        }
        const QByteArray uid = event.externalIdentifier.toUtf8();
        icalcomponent_set_uid(vevent, uid.constData());
        replaceProperty(vevent, ICAL_DTSTAMP_PROPERTY, icalproperty_new_dtstamp(toIcalUtc(now)));
        if (event.creationDate.isValid())
            replaceProperty(vevent, ICAL_CREATED_PROPERTY, icalproperty_new_created(toIcalUtc(event.creationDate)));
        replaceProperty(vevent, ICAL_LASTMODIFIED_PROPERTY, icalproperty_new_lastmodified(toIcalUtc(now)));
        const QByteArray title = event.title.toUtf8();
        replaceProperty(vevent, ICAL_SUMMARY_PROPERTY, icalproperty_new_summary(title.constData()));
        if (event.startDate.isValid())
            replaceProperty(vevent, ICAL_DTSTART_PROPERTY, icalproperty_new_dtstart(toIcalUtc(event.startDate)));
        replaceProperty(vevent, ICAL_DURATION_PROPERTY, nullptr);
        if (event.endDate.isValid())
            replaceProperty(vevent, ICAL_DTEND_PROPERTY, icalproperty_new_dtend(toIcalUtc(event.endDate)));
        const QByteArray notes = event.notes.toUtf8();
        replaceProperty(vevent, ICAL_DESCRIPTION_PROPERTY,
                        event.notes.isEmpty() ? nullptr : icalproperty_new_description(notes.constData()));
        const QByteArray location = event.location.toUtf8();
        replaceProperty(vevent, ICAL_LOCATION_PROPERTY,
                        event.location.isEmpty() ? nullptr : icalproperty_new_location(location.constData()));
        char *text = icalcomponent_as_ical_string_r(root);
        written = QByteArray(text);
        free(text);
        icalcomponent_free(root);
    }
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(written) != written.size() || !file.commit())
        return fail(QStringLiteral("The event could not be written to %1: %2").arg(path, file.errorString()));
    m_lastScan = snapshot();
    watch();
    return true;
}

bool EventStore::removeEvent(const Event &event, QString *error)
{
    std::lock_guard lock(m_mutex);
    const std::optional<Calendar> calendar = calendarWithIdentifier(event.calendarIdentifier);
    if (!calendar || !calendar->allowsContentModifications || !isSafeName(event.externalIdentifier)) {
        if (error)
            *error = QStringLiteral("The event cannot be removed from its calendar.");
        return false;
    }
    QString path = filePathForEvent(event);
    if (!QFileInfo::exists(path)) {
        // Named otherwise by another program: found by its UID.
        const QDir folder(QDir(m_root).filePath(event.calendarIdentifier));
        for (const QString &name : folder.entryList({QStringLiteral("*.ics")}, QDir::Files))
            if (auto found = readEventFile(folder.filePath(name), event.calendarIdentifier);
                found && found->externalIdentifier == event.externalIdentifier)
                path = folder.filePath(name);
    }
    if (!QFile::remove(path)) {
        if (error)
            *error = QStringLiteral("The event file %1 could not be removed.").arg(path);
        return false;
    }
    m_lastScan = snapshot();
    return true;
}

QHash<QString, QByteArray> EventStore::snapshot() const
{
    QHash<QString, QByteArray> files;
    QDirIterator it(m_root, {QStringLiteral("*.ics")}, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        QFile file(path);
        if (file.open(QIODevice::ReadOnly))
            files.insert(path, QCryptographicHash::hash(file.readAll(), QCryptographicHash::Sha1));
    }
    return files;
}

void EventStore::watch()
{
    if (!m_watcher || !QFileInfo(m_root).isDir())
        return;
    QStringList folders{m_root};
    for (const QFileInfo &folder : QDir(m_root).entryInfoList(QDir::Dirs | QDir::NoDotAndDotDot))
        folders << folder.absoluteFilePath();
    const QStringList watched = m_watcher->directories();
    for (const QString &folder : folders)
        if (!watched.contains(folder))
            m_watcher->addPath(folder);
    // A file rewritten in place changes no folder, so the files are watched too.
    const QStringList watchedFiles = m_watcher->files();
    QStringList files;
    for (const QString &folder : folders.mid(1))
        for (const QFileInfo &file : QDir(folder).entryInfoList({QStringLiteral("*.ics")}, QDir::Files))
            if (!watchedFiles.contains(file.absoluteFilePath()))
                files << file.absoluteFilePath();
    if (!files.isEmpty())
        m_watcher->addPaths(files);
}

void EventStore::rescan()
{
    QHash<QString, QByteArray> now;
    {
        std::lock_guard lock(m_mutex);
        watch();
        now = snapshot();
        if (now == m_lastScan)
            return;
        m_lastScan = now;
    }
    emit storeChanged();
}

} // namespace platform::calendar
