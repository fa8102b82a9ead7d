#pragma once

#include "QuendelKit/Entities/ToDoCalendarBridge.h"

#include "platform/calendar/EventStore.h"

#include <memory>
#include <optional>

class ToDo;
class ToDoCalendarLink;

// The calendar side of to-dos' calendar links, over the calendar folders: one shared store for the process,
// made once calendar access is granted; creating, finding, updating and removing a link's event; and copying
// an event changed by another program back into its to-do.
class CalendarLinkBridge : public ToDoCalendarBridge
{
public:
    // The user default holding the calendar folder; unset: "calendars" in the data folder.
    static inline const QString CalendarFolderKey = QStringLiteral("CalendarFolderPath");
    static inline const QString RemoveOnCompleteKey = QStringLiteral("settings_remove_from_calendar_on_complete");
    static inline const QString MeetingFooter = QStringLiteral("- Meeting created using Quendel https://quendel.com");
    static inline const QString AuthorizationChangedNotification =
        QStringLiteral("EventKitCalendarAuthorizationChanged");
    static constexpr qint64 DefaultEventLengthSeconds = 3'600;
    static constexpr double SingleCandidateSeconds = 30.0;
    static constexpr double CandidateSeconds = 20.0;

    static QString calendarRootPath();
    static platform::calendar::EventStore::AuthorizationStatus authorizationStatus();
    // The store of the process once access is granted, else null.
    static std::shared_ptr<platform::calendar::EventStore> globalEventStore();
    // Makes the calendar folder when there is none; true when access is then granted.
    static bool requestAccess(QString *error = nullptr);
    // Forgets the shared store (a test's new home).
    static void resetGlobalEventStore();

    QString defaultCalendarIdentifier() override;
    bool createNewCalendarEvent(ToDoCalendarLink &link) override;
    bool updateCalendarEvent(ToDoCalendarLink &link) override;
    // Removes the link's event; true also when there was none to remove.
    static bool removeEventFromCalendar(ToDoCalendarLink &link);

    // The link's event: by its UID, then its local identifier, then in its saved time span, then (with
    // lookupOther) over a year back to two years ahead.
    static std::optional<platform::calendar::Event> fetchCalendarEvent(ToDoCalendarLink &link, bool lookupOther,
                                                                       platform::calendar::EventStore &store);
    // The link's event among candidates. An event whose UID is set and differs from the link's is never taken.
    static std::optional<platform::calendar::Event> findEventInEvents(ToDoCalendarLink &link,
                                                                      const QList<platform::calendar::Event> &events);
    // Copies the event's times, calendar and notes into the link and its to-do; true when anything changed.
    static bool updateTodoWithEvent(ToDoCalendarLink &link, const platform::calendar::Event &event);
    static bool validateStartAndEndDateForCalendar(const ToDoCalendarLink &link);
};
