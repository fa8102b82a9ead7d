#pragma once

#include "platform/store/ManagedObject.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QVariant>

// Typed reads and writes of stored values for the entity classes. An absent value (null) reads as a null
// string, an invalid date, an empty byte array or zero, and those are written back as null, so a null
// QString and "" stay apart in the store.
namespace entity_values {

inline QString string(const platform::store::ManagedObject &object, const QString &key)
{
    const QVariant v = object.value(key);
    return v.isValid() && !v.isNull() ? v.toString() : QString();
}

inline QVariant fromString(const QString &value)
{
    return value.isNull() ? QVariant() : QVariant(value);
}

inline QDateTime date(const platform::store::ManagedObject &object, const QString &key)
{
    return object.value(key).toDateTime();
}

inline QVariant fromDate(const QDateTime &value)
{
    return value.isValid() ? QVariant(value.toUTC()) : QVariant();
}

inline QByteArray data(const platform::store::ManagedObject &object, const QString &key)
{
    return object.value(key).toByteArray();
}

inline QVariant fromData(const QByteArray &value)
{
    return value.isNull() ? QVariant() : QVariant(value);
}

inline bool boolean(const platform::store::ManagedObject &object, const QString &key)
{
    return object.value(key).toBool();
}

inline qint64 integer(const platform::store::ManagedObject &object, const QString &key)
{
    return object.value(key).toLongLong();
}

inline double real(const platform::store::ManagedObject &object, const QString &key)
{
    return object.value(key).toDouble();
}

template <typename T> T *toOne(const platform::store::ManagedObject &object, const QString &key)
{
    return dynamic_cast<T *>(object.relatedObject(key));
}

template <typename T> QList<T *> toMany(const platform::store::ManagedObject &object, const QString &key)
{
    QList<T *> result;
    const platform::store::ManagedObject::ObjectList objects = object.relatedObjects(key);
    result.reserve(objects.size());
    for (platform::store::ManagedObject *related : objects) {
        if (T *typed = dynamic_cast<T *>(related))
            result.append(typed);
    }
    return result;
}

template <typename T> platform::store::ManagedObject::ObjectList objectList(const QList<T *> &objects)
{
    platform::store::ManagedObject::ObjectList result;
    result.reserve(objects.size());
    for (T *object : objects)
        result.append(object);
    return result;
}

} // namespace entity_values
