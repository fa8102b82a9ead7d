#include "QuendelKit/Entities/ToDoCalendarBridge.h"

#include <mutex>

namespace {

std::mutex bridgeMutex;

std::shared_ptr<ToDoCalendarBridge> &installedBridge()
{
    static std::shared_ptr<ToDoCalendarBridge> bridge = std::make_shared<ToDoCalendarBridge>();
    return bridge;
}

} // namespace

ToDoCalendarBridge &ToDoCalendarBridge::shared()
{
    std::lock_guard lock(bridgeMutex);
    return *installedBridge();
}

void ToDoCalendarBridge::install(std::shared_ptr<ToDoCalendarBridge> bridge)
{
    std::lock_guard lock(bridgeMutex);
    installedBridge() = bridge ? std::move(bridge) : std::make_shared<ToDoCalendarBridge>();
}
