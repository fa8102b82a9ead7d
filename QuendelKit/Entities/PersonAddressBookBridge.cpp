#include "QuendelKit/Entities/PersonAddressBookBridge.h"

#include <mutex>

namespace {

std::mutex bridgeMutex;

std::shared_ptr<PersonAddressBookBridge> &installedBridge()
{
    static std::shared_ptr<PersonAddressBookBridge> bridge = std::make_shared<PersonAddressBookBridge>();
    return bridge;
}

} // namespace

PersonAddressBookBridge &PersonAddressBookBridge::shared()
{
    std::lock_guard lock(bridgeMutex);
    return *installedBridge();
}

void PersonAddressBookBridge::install(std::shared_ptr<PersonAddressBookBridge> bridge)
{
    std::lock_guard lock(bridgeMutex);
    installedBridge() = bridge ? std::move(bridge) : std::make_shared<PersonAddressBookBridge>();
}
