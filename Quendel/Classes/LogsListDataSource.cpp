#include "LogsListDataSource.h"

#include "Mac/Journal/CommonListCellView.h"

#include "QuendelKit/Entities/Log.h"
#include "QuendelKit/Entities/Person.h"

using platform::store::Predicate;
using platform::store::StringOption;

LogsListDataSource::LogsListDataSource(platform::store::ContextPtr context, Person *person)
    : QDListDataSource(std::move(context), person, LogEntityName, QStringLiteral("logSectionPeriod"),
                       QStringLiteral("logDate"), false)
{}

Predicate LogsListDataSource::baseSearchPredicateWithSearch(const QString &search) const
{
    const platform::store::StringOptions cd = StringOption::CaseInsensitive | StringOption::DiacriticInsensitive;
    return Predicate::orOf({Predicate::contains(QStringLiteral("logNote"), search, cd),
                            Predicate::contains(QStringLiteral("logLocation.locationName"), search, cd),
                            Predicate::contains(QStringLiteral("person.normalizedDisplayName"), search),
                            Predicate::beginsWith(QStringLiteral("title.title"), search, cd)});
}

void LogsListDataSource::setupConstraintsForTableCell(CommonListCellView *cell, Log *log)
{
    if (!cell || !cell->titleToLocationIconConstraint())
        return;
    cell->titleToLocationIconConstraint()->setConstant(log && log->title() ? 12 : 0);
}
