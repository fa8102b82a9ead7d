#include "QuendelKit/Entities/ToDoAlert_Mac.h"

#include <mutex>

namespace {

std::mutex hooksMutex;

std::shared_ptr<ToDoAlert_Mac> &installedHooks()
{
    static std::shared_ptr<ToDoAlert_Mac> hooks = std::make_shared<ToDoAlert_Mac>();
    return hooks;
}

} // namespace

ToDoAlert_Mac &ToDoAlert_Mac::shared()
{
    std::lock_guard lock(hooksMutex);
    return *installedHooks();
}

void ToDoAlert_Mac::install(std::shared_ptr<ToDoAlert_Mac> hooks)
{
    std::lock_guard lock(hooksMutex);
    installedHooks() = hooks ? std::move(hooks) : std::make_shared<ToDoAlert_Mac>();
}
