#pragma once

#include "platform/cloud/FieldValue.h"
#include "platform/store/ManagedObject.h"
#include "platform/store/Model.h"

#include <QVariant>

#include <optional>

// How a stored attribute value becomes a record field and back. Numbers travel as integers or doubles,
// booleans as 0 or 1, decimals as their exact text, dates in UTC; transformable values travel only when they
// already are a kind a record holds (a string, bytes, a number, a date).
namespace cloud_record_values {

// The field for the attribute's current value: Null when the value is empty, nullopt when a record
// cannot hold it.
std::optional<platform::cloud::FieldValue>
fieldValueOfAttribute(const platform::store::ManagedObject &object,
                      const platform::store::AttributeDescription &attribute);

// The attribute value for a received field; nullopt when the field's kind does not fit the attribute (a
// newer device's field of another kind is ignored rather than stored as something else).
std::optional<QVariant> attributeValueOfField(const platform::cloud::FieldValue &field,
                                              const platform::store::AttributeDescription &attribute);

} // namespace cloud_record_values
