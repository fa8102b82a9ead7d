#pragma once

#include "platform/store/ManagedObjectContext.h"

#include <QStringList>

// The titles a new database starts with, for log entries and for to-dos.
namespace DefaultTitles {

// In the order they are shown; the n-th gets display order n.
QStringList defaultLogTitles();
QStringList defaultToDoTitles();

// Inserts the default titles of each kind into the context when the context holds no title of that kind,
// on the context's queue while the caller waits. An existing list, however short, is never topped up.
// Nothing is saved: the caller saves. False when the existing titles could not be counted (nothing is
// inserted then).
bool createLogTitlesForNewDatabaseWithContext(const platform::store::ContextPtr &context);
bool createToDoTitlesForNewDatabaseWithContext(const platform::store::ContextPtr &context);

} // namespace DefaultTitles
