#pragma once

#include "QDListDataSource.h"

#include "platform/core/Timer.h"

#include <memory>

class TimerTarget;
class TodoListCellView;
class ToDo;

// The open to-dos of one contact or of everyone: sections "0" Overdue, "1" Next 7 Days and "2" Upcoming,
// rows by start date, earliest first. Every 10 seconds the rows are re-sectioned against the current time,
// so a to-do changes section when its day comes without any save.
class ToDosListDataSource : public QDListDataSource
{
public:
    static inline const QString ToDoEntityName = QStringLiteral("ToDo");
    static constexpr qint64 DateThresholdIntervalMs = 10'000;

    ToDosListDataSource(platform::store::ContextPtr context, Person *person);
    ~ToDosListDataSource() override;

    std::optional<platform::store::Predicate> getBasePredicateForClass() const override;
    platform::store::Predicate baseSearchPredicateWithSearch(const QString &search) const override;
    bool checkForChangedKeys(platform::store::ManagedObject *object) const override;
    bool shouldRemoveObjectFromSource(platform::store::ManagedObject *object) const override;
    bool postCloudCheckToRemoveObjectFromSource(platform::store::ManagedObject *object) const override;

    // The day check the timer runs.
    void checkDateTimerFired();
    const std::shared_ptr<platform::core::Timer> &dateThresholdTimer() const { return m_timer; }

    // Collapses the icons of a to-do cell that do not apply to the to-do.
    static void setupConstraintsForTableCell(TodoListCellView *cell, ToDo *todo);

private:
    class Receiver;
    std::shared_ptr<Receiver> m_receiver;
    std::shared_ptr<TimerTarget> m_timerTarget;
    std::shared_ptr<platform::core::Timer> m_timer;
};
