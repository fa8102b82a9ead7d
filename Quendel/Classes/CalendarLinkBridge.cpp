#include "Classes/CalendarLinkBridge.h"

#include "QuendelKit/Entities/Location.h"
#include "QuendelKit/Entities/Person.h"
#include "QuendelKit/Entities/ToDo.h"
#include "QuendelKit/Entities/ToDoCalendarLink.h"
#include "QuendelKit/Infra/QDLog.h"

#include "platform/core/Clock.h"
#include "platform/core/Dispatch.h"
#include "platform/core/NotificationCenter.h"
#include "platform/core/StandardPaths.h"
#include "platform/core/UserDefaults.h"
#include "platform/store/ManagedObjectContext.h"

#include <QDir>

#include <mutex>

using platform::calendar::Event;
using platform::calendar::EventStore;

namespace {

std::mutex g_storeMutex;
std::shared_ptr<EventStore> g_store;

QString contactName(const ToDo *todo)
{
    const Person *person = todo ? todo->person() : nullptr;
    return person ? person->displayName() : QString();
}

QString locationText(const ToDo *todo)
{
    const Location *location = todo ? todo->todoLocation() : nullptr;
    if (!location)
        return QString();
    return !location->locationAddress().isEmpty() ? location->locationAddress() : location->locationName();
}

} // namespace

QString CalendarLinkBridge::calendarRootPath()
{
    const QString set = platform::core::UserDefaults::standardUserDefaults()->stringForKey(CalendarFolderKey);
    if (!set.isEmpty())
        return set;
    return QDir(platform::core::StandardPaths::dataFolderPath()).filePath(QStringLiteral("calendars"));
}

EventStore::AuthorizationStatus CalendarLinkBridge::authorizationStatus()
{
    return EventStore::authorizationStatus(calendarRootPath());
}

std::shared_ptr<EventStore> CalendarLinkBridge::globalEventStore()
{
    std::lock_guard lock(g_storeMutex);
    const QString root = calendarRootPath();
    if (g_store && g_store->rootPath() != root)
        g_store.reset();
    // Made on the main thread, where its folder watching gets its events.
    if (!g_store && platform::core::isMainThread() &&
        EventStore::authorizationStatus(root) == EventStore::AuthorizationStatus::Authorized)
        g_store = std::make_shared<EventStore>(root);
    return g_store;
}

void CalendarLinkBridge::resetGlobalEventStore()
{
    std::lock_guard lock(g_storeMutex);
    g_store.reset();
}

bool CalendarLinkBridge::requestAccess(QString *error)
{
    const bool before = authorizationStatus() == EventStore::AuthorizationStatus::Authorized;
    const bool granted = EventStore::requestAccess(calendarRootPath(), error);
    if (granted && !before)
        platform::core::NotificationCenter::defaultCenter().post(AuthorizationChangedNotification);
    return granted;
}

QString CalendarLinkBridge::defaultCalendarIdentifier()
{
    const std::shared_ptr<EventStore> store = globalEventStore();
    if (!store)
        return QString();
    const std::optional<platform::calendar::Calendar> calendar = store->defaultCalendarForNewEvents();
    return calendar ? calendar->calendarIdentifier : QString();
}

bool CalendarLinkBridge::validateStartAndEndDateForCalendar(const ToDoCalendarLink &link)
{
    const ToDo *todo = link.todo();
    return todo && todo->todoStartDate().isValid() && link.calendarEndDate().isValid() &&
           todo->todoStartDate() <= link.calendarEndDate();
}

bool CalendarLinkBridge::createNewCalendarEvent(ToDoCalendarLink &link)
{
    ToDo *todo = link.todo();
    const std::shared_ptr<EventStore> store = globalEventStore();
    const auto refuse = [&](const QString &why) {
        QDLogError(QStringLiteral("error in creating new event: %1").arg(why));
        // Without an event the to-do has no live link: the link goes and the to-do says so.
        if (todo)
            todo->setPrimitiveValue(QStringLiteral("isCalendarEventSet"), false);
        if (platform::store::ManagedObjectContext *context = link.managedObjectContext())
            context->deleteObject(&link);
        return false;
    };
    if (!store)
        return refuse(QStringLiteral("no calendar access"));
    if (!todo || !todo->todoStartDate().isValid())
        return refuse(QStringLiteral("the to-do has no start"));
    QDLogInfo(QStringLiteral("** start createNewCalendarEvent"));
    // The event is recognised later by how close its creation is to the link's.
    if (!link.createdAt().isValid())
        link.setCreatedAt(platform::core::Clock::now());
    Event event;
    event.title = contactName(todo);
    event.startDate = todo->todoStartDate();
    event.endDate = link.calendarEndDate().isValid() ? link.calendarEndDate()
                                                      : todo->todoStartDate().addSecs(DefaultEventLengthSeconds);
    std::optional<platform::calendar::Calendar> calendar = store->calendarWithIdentifier(link.ekCalendarID());
    if (!calendar || !calendar->allowsContentModifications)
        calendar = store->defaultCalendarForNewEvents();
    if (!calendar)
        return refuse(QStringLiteral("no calendar to write to"));
    event.calendarIdentifier = calendar->calendarIdentifier;
    event.notes = todo->todoNote();
    event.location = locationText(todo);
    QString error;
    if (!store->saveEvent(event, &error))
        return refuse(error);
    QDLogInfo(QStringLiteral("success adding new event!"));
    link.setPrimitiveValue(QStringLiteral("calendarIdentifier"), event.externalIdentifier);
    link.setPrimitiveValue(QStringLiteral("calendarUUID"), event.eventIdentifier);
    if (link.ekCalendarID() != event.calendarIdentifier)
        link.setPrimitiveValue(QStringLiteral("ekCalendarID"), event.calendarIdentifier);
    if (!link.calendarEndDate().isValid())
        link.setPrimitiveValue(QStringLiteral("calendarEndDate"), event.endDate);
    return true;
}

bool CalendarLinkBridge::updateCalendarEvent(ToDoCalendarLink &link)
{
    const std::shared_ptr<EventStore> store = globalEventStore();
    ToDo *todo = link.todo();
    if (!store || !todo || !todo->isCalendarEventSet())
        return true;
    std::optional<Event> found = fetchCalendarEvent(link, true, *store);
    if (!found)
        return true;
    Event event = *found;
    bool changed = false;
    if (event.startDate != todo->todoStartDate()) {
        event.startDate = todo->todoStartDate();
        changed = true;
    }
    if (event.endDate != link.calendarEndDate() && link.calendarEndDate().isValid()) {
        event.endDate = link.calendarEndDate();
        changed = true;
    }
    if (event.notes != todo->todoNote() || todo->todoNote().isNull()) {
        if (event.notes != todo->todoNote()) {
            event.notes = todo->todoNote();
            changed = true;
        }
    }
    if (event.title != contactName(todo)) {
        event.title = contactName(todo);
        changed = true;
    }
    if (!link.ekCalendarID().isEmpty() && event.calendarIdentifier != link.ekCalendarID()) {
        // Moved to another calendar: written there, gone from the old one.
        Event old = event;
        event.calendarIdentifier = link.ekCalendarID();
        QString error;
        if (store->calendarWithIdentifier(event.calendarIdentifier) && store->saveEvent(event, &error))
            store->removeEvent(old, &error);
        link.setPrimitiveValue(QStringLiteral("calendarUUID"), event.eventIdentifier);
        return true;
    }
    const QString location = locationText(todo);
    if ((!event.location.isEmpty() || !location.isEmpty()) && event.location != location) {
        event.location = location;
        changed = true;
    }
    if (!changed) {
        QDLogInfo(QStringLiteral("updateCalendarEvent called but nothing changed; probably because of change in ical "
                                 "being updated in syncAllEvents"));
        return true;
    }
    QString error;
    const bool saved = store->saveEvent(event, &error);
    QDLogInfo(QStringLiteral("saved update to calendar = %1").arg(saved));
    if (!saved)
        QDLogError(QStringLiteral("error desc: %1").arg(error));
    return true;
}

bool CalendarLinkBridge::removeEventFromCalendar(ToDoCalendarLink &link)
{
    const std::shared_ptr<EventStore> store = globalEventStore();
    if (!store)
        return true;
    QDLogInfo(QStringLiteral("ToDoCalendarLink - removeEventFromCalendar start"));
    const std::optional<Event> event = fetchCalendarEvent(link, true, *store);
    if (!event) {
        QDLogInfo(QStringLiteral("ekEvent was nil ... could not removeEventFromCalendar"));
        return true;
    }
    QString error;
    if (store->removeEvent(*event, &error)) {
        QDLogInfo(QStringLiteral("removeEvent success!"));
        if (ToDo *todo = link.todo())
            todo->setIsCalendarEventSet(false);
    } else {
        QDLogError(error);
    }
    return true;
}

std::optional<Event> CalendarLinkBridge::fetchCalendarEvent(ToDoCalendarLink &link, bool lookupOther, EventStore &store)
{
    if (!link.calendarIdentifier().isEmpty())
        if (auto event = store.eventWithIdentifier(link.calendarIdentifier()))
            return event;
    if (!link.calendarUUID().isEmpty())
        if (auto event = store.eventWithIdentifier(link.calendarUUID()))
            return event;
    const ToDo *todo = link.todo();
    const QStringList calendars = store.calendarWithIdentifier(link.ekCalendarID())
                                      ? QStringList{link.ekCalendarID()}
                                      : QStringList{};
    QList<Event> candidates;
    if (todo && todo->todoStartDate().isValid() && link.calendarEndDate().isValid()) {
        candidates = store.events(todo->todoStartDate(), link.calendarEndDate(), calendars);
        if (candidates.isEmpty() && !calendars.isEmpty())
            candidates = store.events(todo->todoStartDate(), link.calendarEndDate());
    }
    std::optional<Event> found = findEventInEvents(link, candidates);
    if (!found && lookupOther && !link.calendarIdentifier().isEmpty()) {
        const QDateTime base = todo && todo->todoStartDate().isValid() ? todo->todoStartDate()
                                                                        : platform::core::Clock::now();
        QList<Event> wide;
        for (const Event &event : store.events(base.addYears(-1), base.addYears(2), calendars))
            if (event.externalIdentifier == link.calendarIdentifier())
                wide.append(event);
        found = findEventInEvents(link, wide);
    }
    return found;
}

std::optional<Event> CalendarLinkBridge::findEventInEvents(ToDoCalendarLink &link, const QList<Event> &events)
{
    const QString uid = link.calendarIdentifier();
    const QDateTime created = link.createdAt();
    const auto secondsFromLink = [&](const Event &event) {
        if (!event.creationDate.isValid() || !created.isValid())
            return -1.0;
        const qint64 eventSecs = event.creationDate.toSecsSinceEpoch();
        return std::abs(double(eventSecs) - double(created.toMSecsSinceEpoch()) / 1000.0);
    };
    // An event with an identifier of its own that is not the link's belongs to something else.
    const auto foreign = [&](const Event &event) {
        return !uid.isEmpty() && !event.externalIdentifier.isEmpty() && event.externalIdentifier != uid;
    };
    if (events.size() == 1) {
        const Event &only = events.first();
        if (!foreign(only)) {
            if (only.externalIdentifier.isEmpty() || only.externalIdentifier == uid)
                return only;
            if (!only.creationDate.isValid()) {
                if (only.title.isEmpty() || only.title == contactName(link.todo()))
                    return only;
            } else {
                const double apart = secondsFromLink(only);
                if (apart >= 0 && apart <= SingleCandidateSeconds)
                    return only;
            }
        }
    }
    if (!uid.isEmpty()) {
        QList<Event> same;
        for (const Event &event : events)
            if (event.externalIdentifier == uid)
                same.append(event);
        if (same.size() == 1)
            return same.first();
    }
    for (const Event &event : events) {
        const double apart = secondsFromLink(event);
        if (!foreign(event) && apart >= 0 && apart < CandidateSeconds)
            return event;
    }
    return std::nullopt;
}

bool CalendarLinkBridge::updateTodoWithEvent(ToDoCalendarLink &link, const Event &event)
{
    ToDo *todo = link.todo();
    if (!todo)
        return false;
    bool changed = false;
    if (event.startDate.isValid() && event.startDate != todo->todoStartDate()) {
        QDLogInfo(QStringLiteral("updateTodoWithEKEvent: update startDate"));
        todo->setTodoStartDate(event.startDate);
        changed = true;
    }
    if (event.endDate.isValid() && event.endDate != link.calendarEndDate()) {
        QDLogInfo(QStringLiteral("updateTodoWithEKEvent: update endDate"));
        link.setCalendarEndDate(event.endDate);
        changed = true;
    }
    if (!event.calendarIdentifier.isEmpty() && event.calendarIdentifier != link.ekCalendarID()) {
        QDLogInfo(QStringLiteral("updateTodoWithEKEvent: update calendar identifier"));
        link.setEkCalendarID(event.calendarIdentifier);
        changed = true;
    }
    const QString note = todo->todoNote();
    if ((!note.isEmpty() || !event.notes.isEmpty()) && event.notes != note) {
        QString copied = event.notes;
        if (copied.endsWith(MeetingFooter)) {
            QDLogInfo(QStringLiteral("remove footnote"));
            copied.chop(MeetingFooter.size());
        }
        if (copied != note) {
            QDLogInfo(QStringLiteral("updateTodoWithEKEvent: update note"));
            todo->setTodoNote(copied);
            changed = true;
        }
    }
    return changed;
}
