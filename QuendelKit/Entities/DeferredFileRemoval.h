#pragma once

#include <functional>

namespace platform::store {
class ManagedObject;
}

// Removes the file of a deleted record only once the deletion is saved in a context that writes the store:
// a deletion in an editor that is then discarded, or a save that fails, leaves the file in place.
class DeferredFileRemoval
{
public:
    // Runs `removal` on the queue of the context whose save wrote the record's deletion. A record that was
    // never saved has no stored counterpart, so its deletion never reaches the store and nothing runs.
    static void removeAfterDeletionIsSaved(const platform::store::ManagedObject &object, std::function<void()> removal);
    // How many removals wait for their deletion to be saved.
    static int pendingCount();
};
