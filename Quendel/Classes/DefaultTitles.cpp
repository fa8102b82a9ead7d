#include "DefaultTitles.h"

#include "QuendelKit/Entities/LogTitle.h"
#include "QuendelKit/Entities/ToDoTitle.h"

using platform::store::ContextPtr;

namespace DefaultTitles {

QStringList defaultLogTitles()
{
    return LogTitle::defaultTitles();
}

QStringList defaultToDoTitles()
{
    return ToDoTitle::defaultTitles();
}

bool createLogTitlesForNewDatabaseWithContext(const ContextPtr &context)
{
    return context && LogTitle::createLogTitlesForNewDatabaseWithContext(context.get());
}

bool createToDoTitlesForNewDatabaseWithContext(const ContextPtr &context)
{
    if (!context)
        return false;
    // The to-do list seeds on its caller's thread, so bring the call onto the context's queue.
    bool ok = false;
    context->performAndWait([&] { ok = ToDoTitle::createToDoTitlesForNewDatabaseWithContext(context.get()); });
    return ok;
}

} // namespace DefaultTitles
