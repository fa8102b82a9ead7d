#include "QuendelKit/Entities/Log.h"

#include "QuendelKit/Entities/EntityValues.h"
#include "QuendelKit/Entities/Location.h"
#include "QuendelKit/Entities/LogTitle.h"
#include "QuendelKit/Entities/Person.h"
#include "QuendelKit/Infra/QDLog.h"

#include "platform/core/Clock.h"
#include "platform/store/Predicate.h"
#include "platform/store/SortDescriptor.h"

using namespace entity_values;
using platform::store::ManagedObjectContext;

namespace {

const QString LogDateKey = QStringLiteral("logDate");
const QString LogSectionPeriodKey = QStringLiteral("logSectionPeriod");
const QString SectionKeyKey = QStringLiteral("sectionKey");

} // namespace

QString Log::sectionValueForDate(const QDateTime &date)
{
    if (!date.isValid())
        return QString();
    const QDate local = date.toLocalTime().date();
    return QString::number(qint64(local.year()) * 1000 + local.month());
}

void Log::setLogDate(const QDateTime &value)
{
    setValue(LogDateKey, fromDate(value));
    setLogSectionPeriod(sectionValueForDate(logDate()));
}

QString Log::logSectionPeriod() const
{
    const QString stored = string(*this, LogSectionPeriodKey);
    if (!stored.isNull())
        return stored;
    const QString computed = sectionValueForDate(logDate());
    const ManagedObjectContext *context = managedObjectContext();
    // The data-sync context only reads; a whole-store copy keeps the copied values as they are.
    if (!computed.isNull() && context && context->name() != CloudKitDataSyncContextName &&
        !isInMigrateStoreDestinationContext())
        const_cast<Log *>(this)->setPrimitiveValue(LogSectionPeriodKey, computed);
    return computed;
}

QString Log::sectionKey() const
{
    const QString stored = string(*this, SectionKeyKey);
    if (!stored.isNull())
        return stored;
    const QString computed = sectionValueForDate(logDate());
    // Written once, on first read: the key keeps the month the entry was first listed under.
    if (!computed.isNull() && managedObjectContext() && !isInMigrateStoreDestinationContext())
        const_cast<Log *>(this)->setPrimitiveValue(SectionKeyKey, computed);
    return computed;
}

void Log::willSave()
{
    NSManagedObjectQDBase::willSave();
    if (isDeleted() || isInMigrateStoreDestinationContext())
        return;
    const QString section = sectionValueForDate(logDate());
    const QString stored = string(*this, LogSectionPeriodKey);
    if (section != stored || section.isNull() != stored.isNull())
        setPrimitiveValue(LogSectionPeriodKey, fromString(section));
}

Log *Log::createLogWithNote(const QString &note, ManagedObjectContext *context)
{
    if (!context)
        return nullptr;
    Log *log = context->insertNewObject<Log>(EntityName);
    if (!log)
        return nullptr;
    log->setLogNote(note);
    log->setLogDate(platform::core::Clock::now());
    return log;
}

QList<Log *> Log::fetchRecentLogsWithContext(ManagedObjectContext *context, int limit)
{
    QList<Log *> recent;
    if (!context)
        return recent;
    context->performAndWait([&] {
        platform::store::FetchRequest request = fetchRequest();
        request.setPredicate(platform::store::Predicate::isNotNil(QStringLiteral("person")));
        request.setSortDescriptors({platform::store::SortDescriptor(CreatedAtKey, false)});
        request.setFetchLimit(qMax(limit, 0));
        platform::core::QDError error;
        const QList<platform::store::ManagedObject *> found = context->executeFetchRequest(request, &error);
        if (!error.isNull()) {
            QDSystemLog(QStringLiteral("fetchRecentLogsWithContext: %1").arg(error.toString()));
            return;
        }
        for (platform::store::ManagedObject *object : found) {
            if (auto *log = dynamic_cast<Log *>(object))
                recent.append(log);
        }
    });
    return recent;
}

void Log::cloneFromExistingLog(const Log *other)
{
    if (!other)
        return;
    // A relationship can only point within one context: take the other entry's title and place as this
    // context knows them.
    const auto here = [this, other](platform::store::ManagedObject *related) -> platform::store::ManagedObject * {
        if (!related || other->managedObjectContext() == managedObjectContext())
            return related;
        ManagedObjectContext *context = managedObjectContext();
        if (!context || related->objectID().isTemporaryID())
            return nullptr;
        return context->objectWithID(related->objectID());
    };
    setLogDate(other->logDate());
    setLogNote(other->logNote());
    setTitle(dynamic_cast<LogTitle *>(here(other->title())));
    setLogLocation(dynamic_cast<Location *>(here(other->logLocation())));
}

void Log::reassignToPerson(Person *person)
{
    if (Person *current = this->person())
        current->removeLogsObject(this);
    if (person)
        person->addLogsObject(this);
    ManagedObjectContext *context = managedObjectContext();
    if (!context)
        return;
    platform::core::QDError error;
    if (!context->save(&error))
        QDSystemLog(QStringLiteral("error with save: %1").arg(error.localizedDescription()));
}

bool Log::isLocationEmpty() const
{
    return logLocation() == nullptr;
}

bool Log::isTitleEmpty() const
{
    return title() == nullptr;
}
