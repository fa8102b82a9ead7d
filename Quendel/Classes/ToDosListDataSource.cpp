#include "ToDosListDataSource.h"

#include "Mac/Journal/TodoListCellView.h"

#include "QuendelKit/Entities/Person.h"
#include "QuendelKit/Entities/ToDo.h"
#include "QuendelKit/Infra/TimerTarget.h"

#include "platform/core/Clock.h"

using platform::store::ManagedObject;
using platform::store::Predicate;
using platform::store::StringOption;

namespace {

const QString CompletedDateKey = QStringLiteral("todoCompletedDate");

} // namespace

// What the timer's trampoline reaches; it lives exactly as long as the source.
class ToDosListDataSource::Receiver : public TimerTargetReceiver
{
public:
    explicit Receiver(ToDosListDataSource *source) : m_source(source) {}
    void checkDateTimerFired(platform::core::Timer &) override { m_source->checkDateTimerFired(); }

private:
    ToDosListDataSource *m_source;
};

ToDosListDataSource::ToDosListDataSource(platform::store::ContextPtr context, Person *person)
    : QDListDataSource(std::move(context), person, ToDoEntityName, QStringLiteral("todoSectionTitle"),
                       QStringLiteral("todoStartDate"), true)
{
    m_receiver = std::make_shared<Receiver>(this);
    m_timerTarget = std::make_shared<TimerTarget>();
    m_timerTarget->setRealTarget(m_receiver);
    m_timer = TimerTarget::scheduledTimer(DateThresholdIntervalMs, m_timerTarget, &TimerTarget::checkDateTimerFired);
}

ToDosListDataSource::~ToDosListDataSource()
{
    if (m_timer)
        m_timer->invalidate();
    m_timer.reset();
    m_receiver.reset();
}

std::optional<Predicate> ToDosListDataSource::getBasePredicateForClass() const
{
    const Predicate open = Predicate::isFalseOrNil(QStringLiteral("todoStatus"));
    const std::optional<Predicate> contact = QDListDataSource::getBasePredicateForClass();
    return contact ? *contact && open : open;
}

Predicate ToDosListDataSource::baseSearchPredicateWithSearch(const QString &search) const
{
    const platform::store::StringOptions cd = StringOption::CaseInsensitive | StringOption::DiacriticInsensitive;
    return Predicate::orOf({Predicate::contains(QStringLiteral("todoNote"), search, cd),
                            Predicate::contains(QStringLiteral("todoLocation.locationName"), search, cd),
                            Predicate::contains(QStringLiteral("person.normalizedDisplayName"), search),
                            Predicate::beginsWith(QStringLiteral("todotitle.title"), search, cd)});
}

bool ToDosListDataSource::checkForChangedKeys(ManagedObject *object) const
{
    return QDListDataSource::checkForChangedKeys(object) || object->changedKeys().contains(CompletedDateKey);
}

bool ToDosListDataSource::shouldRemoveObjectFromSource(ManagedObject *object) const
{
    return QDListDataSource::shouldRemoveObjectFromSource(object) || object->changedKeys().contains(CompletedDateKey);
}

bool ToDosListDataSource::postCloudCheckToRemoveObjectFromSource(ManagedObject *object) const
{
    const QVariant completed = object->value(CompletedDateKey);
    return completed.isValid() && !completed.isNull();
}

void ToDosListDataSource::checkDateTimerFired()
{
    if (headersArray().isEmpty() || !managedObjectContext())
        return;
    const QDateTime now = platform::core::Clock::now();
    bool changed = false;
    managedObjectContext()->performAndWait([&] {
        for (const CommonListDataPtr &header : headersArray()) {
            // Overdue to-dos cannot move further.
            if (header->headerTitle() == ToDo::SectionOverdue)
                continue;
            for (const CommonListDataPtr &row : header->children()) {
                auto *todo = dynamic_cast<ToDo *>(row->dataObject());
                if (!todo)
                    continue;
                todo->setTimeNow(now);
                if (todo->todoSectionTitle() != header->headerTitle()) {
                    changed = true;
                    break;
                }
            }
        }
    });
    if (changed)
        setupListView();
}

void ToDosListDataSource::setupConstraintsForTableCell(TodoListCellView *cell, ToDo *todo)
{
    if (!cell || !todo)
        return;
    const bool hasTitle = todo->todotitle() != nullptr;
    const bool hasLocation = todo->todoLocation() != nullptr;
    const QVariant repeat = todo->todoRepeatInterval();
    const bool hasRepeat = repeat.isValid() && !repeat.isNull();
    const bool hasAlert = !todo->alert().isEmpty();
    const bool hasCalendar = todo->calendarLink() != nullptr;
    cell->titleToLocationIconConstraint()->setConstant(hasTitle ? 12 : 0);
    cell->locationIconWidthConstraint()->setConstant(hasLocation ? 8 : 0);
    cell->locationIconToLabelConstraint()->setConstant(hasLocation ? 4 : 0);
    cell->locationLabelToRepeatImageConstraint()->setConstant(hasLocation ? 10 : 0);
    cell->repeatImageWidthConstraint()->setConstant(hasRepeat ? 12 : 0);
    cell->repeatImageToAlarmImageConstraint()->setConstant(hasRepeat ? 8 : 0);
    cell->alarmImageWidthConstraint()->setConstant(hasAlert ? 12 : 0);
    cell->alarmImageToCalendarImageConstraint()->setConstant(hasAlert ? 8 : 0);
    cell->calendarImageWidthConstraint()->setConstant(hasCalendar ? 12 : 0);
}
