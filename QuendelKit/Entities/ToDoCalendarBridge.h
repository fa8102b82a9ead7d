#pragma once

#include <QString>

#include <memory>

class ToDoCalendarLink;

// The calendar side of a to-do's calendar link: the default calendar for new events, and creating and
// updating the linked event. The application installs the real bridge once the calendar exists; until then
// the default has no calendar and makes no event.
class ToDoCalendarBridge
{
public:
    virtual ~ToDoCalendarBridge() = default;

    static ToDoCalendarBridge &shared();
    // Null goes back to the default.
    static void install(std::shared_ptr<ToDoCalendarBridge> bridge);

    // The identifier of the calendar new events go to; null without calendar access.
    virtual QString defaultCalendarIdentifier() { return QString(); }
    // Creates the link's event from its to-do and records its identifiers; false when nothing was made.
    virtual bool createNewCalendarEvent(ToDoCalendarLink &) { return false; }
    // Brings the linked event in line with its to-do; false when it was not found.
    virtual bool updateCalendarEvent(ToDoCalendarLink &) { return false; }
};
