#pragma once

#include <QHashFunctions>
#include <QMetaType>
#include <QString>
#include <QUrl>

namespace platform::store {

class EntityDescription;

// The identity of one record, valid across contexts and threads (objects are not; their identifiers are).
//
// A new object has a temporary identifier until its first save; from then on the permanent identifier names
// the entity's table and the row's pk in one store, and its URI form is stable for the life of the file.
// The two are different values: a temporary identifier never compares equal to the permanent one that
// replaced it, but contexts and the coordinator still resolve it to the saved record.
class ManagedObjectID
{
public:
    // The URI scheme of permanent identifiers: "x-quendel://<store UUID>/<Entity>/p<pk>".
    static inline const QString UriScheme = QStringLiteral("x-quendel");

    ManagedObjectID() = default; // the null identifier

    static ManagedObjectID makeTemporary(const EntityDescription *entity);
    static ManagedObjectID makePermanent(const EntityDescription *entity, qint64 primaryKey,
                                         const QString &storeIdentifier);

    bool isNull() const { return m_entity == nullptr; }
    bool isTemporaryID() const { return m_entity && m_pk == 0; }
    const EntityDescription *entity() const { return m_entity; }
    QString entityName() const;
    // The row's pk; 0 while temporary.
    qint64 primaryKey() const { return m_pk; }
    // A process-wide number that tells temporary identifiers apart; 0 for a permanent one.
    quint64 temporaryNumber() const { return m_temporary; }
    // The UUID of the store the record lives in; empty while temporary.
    const QString &storeIdentifier() const;

    // "x-quendel://<store UUID>/<Entity>/p<pk>" for a permanent identifier; a temporary one gives
    // "x-quendel:///<Entity>/t<number>", which is meaningful only inside this process.
    QUrl URIRepresentation() const;
    QString toString() const { return URIRepresentation().toString(); }

    bool operator==(const ManagedObjectID &other) const
    {
        return m_entity == other.m_entity && m_pk == other.m_pk && m_temporary == other.m_temporary
            && m_store == other.m_store;
    }
    bool operator!=(const ManagedObjectID &other) const { return !(*this == other); }

private:
    const EntityDescription *m_entity = nullptr;
    qint64 m_pk = 0;
    quint64 m_temporary = 0;
    // Store UUIDs are interned once per process, so identifiers copy and compare as plain values.
    const QString *m_store = nullptr;
};

inline size_t qHash(const ManagedObjectID &id, size_t seed = 0)
{
    return qHashMulti(seed, quintptr(id.entity()), id.primaryKey(), id.temporaryNumber());
}

} // namespace platform::store

Q_DECLARE_METATYPE(platform::store::ManagedObjectID)
