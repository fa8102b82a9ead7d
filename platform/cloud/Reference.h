#pragma once

#include "platform/cloud/RecordID.h"

#include <QList>
#include <QMetaType>

namespace platform::cloud {

// A link from one record to another, held in a field or as a record's parent.
class Reference
{
public:
    // What the service does to the record holding the reference when its target is deleted.
    enum class Action : quint8 {
        None,       // nothing: the reference may point at a record that no longer exists
        DeleteSelf, // the holding record is deleted with its target
    };

    Reference() = default;
    explicit Reference(RecordID recordID, Action action = Action::None)
        : m_recordID(std::move(recordID)), m_action(action)
    {}

    bool isNull() const { return m_recordID.isNull(); }
    const RecordID &recordID() const { return m_recordID; }
    Action action() const { return m_action; }

    bool operator==(const Reference &other) const
    {
        return m_recordID == other.m_recordID && m_action == other.m_action;
    }
    bool operator!=(const Reference &other) const { return !(*this == other); }

private:
    RecordID m_recordID;
    Action m_action = Action::None;
};

using ReferenceList = QList<Reference>;

} // namespace platform::cloud

Q_DECLARE_METATYPE(platform::cloud::Reference)
