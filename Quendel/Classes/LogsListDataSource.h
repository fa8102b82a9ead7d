#pragma once

#include "QDListDataSource.h"

class CommonListCellView;
class Log;

// The logs of one contact (contact page) or of everyone (the logs browser): month sections newest first,
// rows newest first.
class LogsListDataSource : public QDListDataSource
{
public:
    static inline const QString LogEntityName = QStringLiteral("Log");

    LogsListDataSource(platform::store::ContextPtr context, Person *person);

    platform::store::Predicate baseSearchPredicateWithSearch(const QString &search) const override;

    // A log with a title keeps a gap between the title and the location icon.
    static void setupConstraintsForTableCell(CommonListCellView *cell, Log *log);
};
