#pragma once

namespace platform::store {
class ManagedObject;
}

// Where the store controller hands the address records that need a position. The background geocoder
// implements it; the controller only forwards records and knows nothing of how they are worked off.
class GeocoderRequestQueue
{
public:
    virtual ~GeocoderRequestQueue() = default;

    // Queues an inserted or changed address record for geocoding. Called on the thread of the context that
    // saved the record, so an implementation moves the work to its own queue before touching the record.
    virtual void addManagedObject(platform::store::ManagedObject *record) = 0;
};
