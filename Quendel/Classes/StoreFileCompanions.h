#pragma once

#include "platform/core/QDError.h"

#include <QDateTime>
#include <QString>
#include <QStringList>

// The files SQLite keeps beside a store file: the write-ahead log "-wal", its index "-shm" and a rollback
// journal "-journal". They belong to one particular store file. When that file is gone, a leftover must
// never be applied to a new file created under the same name (its pages belong to the old store), and SQLite
// would delete it when the new file is made; such leftovers are therefore moved aside, kept for recovery,
// before a store is created.
namespace StoreFileCompanions {

inline const QStringList Suffixes = {QStringLiteral("-wal"), QStringLiteral("-shm"), QStringLiteral("-journal")};
// Leftovers keep their name behind this prefix and a time stamp, so nothing mistakes them for live companions
// (their names no longer begin with the store's) and they can still be handed to someone who recovers data.
inline const QString SetAsidePrefix = QStringLiteral("SetAside-");
// Code of the error (domain QuendelErrorDomain) when a leftover cannot be moved.
inline constexpr qint64 SetAsideFailedErrorCode = 4301;

// The companions of storePath that exist now.
QStringList existingCompanions(const QString &storePath);

// When no file exists at storePath, moves its existing companions into the same folder as
// "SetAside-<yyyyMMdd-HHmmss>-<name>" (with a counter when that name is taken). Does nothing while the store
// file exists. False with the error when a companion cannot be moved (then no store may be created there);
// movedTo receives the new paths.
bool setAsideOrphanedCompanions(const QString &storePath, QStringList *movedTo = nullptr,
                                platform::core::QDError *error = nullptr,
                                const QDateTime &now = QDateTime::currentDateTimeUtc());

} // namespace StoreFileCompanions
