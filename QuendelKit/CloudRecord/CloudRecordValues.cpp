#include "QuendelKit/CloudRecord/CloudRecordValues.h"

using platform::cloud::FieldValue;
using platform::store::AttributeDescription;
using platform::store::AttributeType;

namespace cloud_record_values {

std::optional<FieldValue> fieldValueOfAttribute(const platform::store::ManagedObject &object,
                                                const AttributeDescription &attribute)
{
    const QVariant value = object.value(attribute.name);
    if (!value.isValid())
        return FieldValue();
    switch (attribute.type) {
    case AttributeType::String:
    case AttributeType::Decimal:
        return FieldValue(value.toString());
    case AttributeType::Integer16:
    case AttributeType::Integer32:
    case AttributeType::Integer64:
        return FieldValue(value.toLongLong());
    case AttributeType::Boolean:
        return FieldValue(value.toBool());
    case AttributeType::Double:
        return FieldValue(value.toDouble());
    case AttributeType::Date:
        return FieldValue(value.toDateTime());
    case AttributeType::Binary:
        return FieldValue(value.toByteArray());
    case AttributeType::Transformable: {
        std::optional<FieldValue> field = FieldValue::fromVariant(value);
        // References, assets and locations are the record's own vocabulary, never an attribute's value.
        if (field &&
            (field->kind() == FieldValue::Kind::Reference || field->kind() == FieldValue::Kind::ReferenceList ||
             field->kind() == FieldValue::Kind::Asset || field->kind() == FieldValue::Kind::Location))
            return std::nullopt;
        return field;
    }
    }
    return std::nullopt;
}

std::optional<QVariant> attributeValueOfField(const FieldValue &field, const AttributeDescription &attribute)
{
    using Kind = FieldValue::Kind;
    const Kind kind = field.kind();
    if (kind == Kind::Null)
        return QVariant();
    switch (attribute.type) {
    case AttributeType::String:
    case AttributeType::Decimal:
        if (kind == Kind::String)
            return QVariant(field.toString());
        return std::nullopt;
    case AttributeType::Integer16:
    case AttributeType::Integer32:
    case AttributeType::Integer64:
        if (kind == Kind::Integer || kind == Kind::Double)
            return QVariant(field.toInteger());
        return std::nullopt;
    case AttributeType::Boolean:
        if (kind == Kind::Integer || kind == Kind::Double)
            return QVariant(field.toInteger() != 0);
        return std::nullopt;
    case AttributeType::Double:
        if (kind == Kind::Integer || kind == Kind::Double)
            return QVariant(field.toDouble());
        return std::nullopt;
    case AttributeType::Date:
        if (kind == Kind::Date)
            return QVariant(field.toDate());
        return std::nullopt;
    case AttributeType::Binary:
        if (kind == Kind::Bytes)
            return QVariant(field.toBytes());
        return std::nullopt;
    case AttributeType::Transformable:
        switch (kind) {
        case Kind::String:
        case Kind::Integer:
        case Kind::Double:
        case Kind::Date:
        case Kind::Bytes:
        case Kind::StringList:
            return field.toVariant();
        default:
            return std::nullopt;
        }
    }
    return std::nullopt;
}

} // namespace cloud_record_values
