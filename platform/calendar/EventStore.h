#pragma once

#include <QDateTime>
#include <QHash>
#include <QList>
#include <QObject>
#include <QString>

#include <memory>
#include <mutex>
#include <optional>

class QFileSystemWatcher;
class QTimer;

namespace platform::calendar {

// One event of a calendar folder. `externalIdentifier` is the event's UID, the same wherever the folder is
// seen; `eventIdentifier` is "<calendar>/<UID>", this store's own.
struct Event
{
    QString eventIdentifier;
    QString externalIdentifier;
    QString calendarIdentifier;
    QString title;
    QDateTime startDate;
    QDateTime endDate;
    QString notes;
    QString location;
    QDateTime creationDate;
    QDateTime lastModifiedDate;
};

struct Calendar
{
    static constexpr int BirthdayType = 4;
    static constexpr int LocalType = 0;

    QString calendarIdentifier;
    QString title;
    bool allowsContentModifications = false;
    int type = LocalType;
};

// Calendars as folders of iCalendar files in the vdir layout: the root holds one folder per calendar (its
// name is the calendar's identifier, its "displayname" file the title), each event is "<UID>.ics" in its
// calendar's folder, read and written with libical and always replaced whole through a temporary file. Other
// programs may change the folders at any time: the store notices it and says so with storeChanged().
// Every operation takes the store's lock, so the main thread and a background queue may share one store.
class EventStore : public QObject
{
    Q_OBJECT
public:
    enum class AuthorizationStatus { NotDetermined = 0, Restricted = 1, Denied = 2, Authorized = 3 };
    static inline const QString DefaultCalendarIdentifier = QStringLiteral("calendar");
    static inline const QString DefaultCalendarTitle = QStringLiteral("Calendar");
    static inline const QString DisplayNameFile = QStringLiteral("displayname");
    static inline const QString ReadOnlyFile = QStringLiteral("read-only");

    explicit EventStore(const QString &rootPath, QObject *parent = nullptr);
    ~EventStore() override;

    // Authorized when the root is a folder the program may read and write; Denied when it exists but may not
    // be written; NotDetermined when there is no such folder yet.
    static AuthorizationStatus authorizationStatus(const QString &rootPath);
    // Makes the root (with a first calendar when it has none); true when access is then authorised.
    static bool requestAccess(const QString &rootPath, QString *error = nullptr);

    QString rootPath() const { return m_root; }
    QList<Calendar> calendars() const;
    std::optional<Calendar> calendarWithIdentifier(const QString &identifier) const;
    // The first writable calendar by identifier; made when there is none.
    std::optional<Calendar> defaultCalendarForNewEvents();

    // By "<calendar>/<UID>" or by UID alone.
    std::optional<Event> eventWithIdentifier(const QString &identifier) const;
    // Events that overlap [start, end] in the given calendars (all when empty).
    QList<Event> events(const QDateTime &start, const QDateTime &end, const QStringList &calendarIdentifiers = {}) const;
    // Writes the event. A new event (no identifier) gets a UID and its creation date; an existing file keeps
    // what it holds beyond our fields. False with a reason when the calendar may not be written.
    bool saveEvent(Event &event, QString *error = nullptr);
    bool removeEvent(const Event &event, QString *error = nullptr);

    // The path of an event's file.
    QString filePathForEvent(const Event &event) const;
    // Reads one file; nothing for a damaged file or one without an event.
    static std::optional<Event> readEventFile(const QString &path, const QString &calendarIdentifier);

    // Rescans now and reports a change when anything differs from the last scan.
    void rescan();

signals:
    // Another program (or this one) changed the folders. Delivered on the store's thread.
    void storeChanged();

private:
    void watch();
    QHash<QString, QByteArray> snapshot() const;

    QString m_root;
    mutable std::recursive_mutex m_mutex;
    QFileSystemWatcher *m_watcher = nullptr;
    QTimer *m_debounce = nullptr;
    QHash<QString, QByteArray> m_lastScan;
};

} // namespace platform::calendar
