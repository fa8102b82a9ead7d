#pragma once

namespace platform::store {
class ManagedObject;
}

// What a contact detail (phone, e-mail, website, postal address) answers after a download, so the cloud
// engine can drop a detail that another device added a second time.
class CloudDuplicateCheckSupport
{
public:
    virtual ~CloudDuplicateCheckSupport() = default;
    // Whether another detail of the same contact has the same value and label.
    virtual bool checkIfDuplicateRecord() = 0;
    // The detail to delete because of that, or null.
    virtual platform::store::ManagedObject *duplicateRecordToRemove() = 0;
};
