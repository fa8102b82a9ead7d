#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>

#include <vector>

namespace platform::keychain {

// One secret, found by its service and account.
struct Item
{
    QString service;
    QString account;
    QString label; // null when none was given
    QByteArray data;
    QDateTime created;  // UTC
    QDateTime modified; // UTC
};

// Result of a keychain operation: 0 is success, anything else says what went wrong.
enum Status : qint64 {
    Success = 0,
    ItemNotFound = 4301,
    FileError = 4302,   // the file or its folder could not be read or written
    DamagedFile = 4303, // the item may be among lines of the file that cannot be read
    Busy = 4304,        // another process held the file for too long
};

// A readable message for a status; null for a status this layer never gives.
QString statusMessage(qint64 status);

// Secrets in one private file (mode 0600) outside the data folder, so they never travel with a backup of
// it. Each item is one line with its own checksum: a damaged line costs only the items written on it,
// and it is carried over untouched on every rewrite so nothing is thrown away behind the user's back.
// Writes replace the file atomically under a lock file, so two processes can share it; reads take the
// last complete version without waiting.
class Keychain
{
public:
    // The config home's "Quendel/keychain".
    static QString defaultFilePath();

    explicit Keychain(QString filePath = defaultFilePath());

    const QString &filePath() const { return m_filePath; }
    // How long a write waits for another process's lock before giving up with Busy.
    void setLockTimeoutMs(int ms) { m_lockTimeoutMs = ms; }

    // Stores the item, replacing any item of the same service and account; created and modified are
    // stamped here. One atomic rewrite: a failure leaves the previous item in place.
    Status save(const Item &item);
    // ItemNotFound when there is no such item (DamagedFile when it might be on a damaged line).
    Status remove(const QString &service, const QString &account);
    Status find(const QString &service, const QString &account, Item *out) const;
    // Every readable item of the service (of every service for a null service), in file order. Items
    // that can be read are given even when other lines are damaged; damagedLines tells how many are.
    Status findAll(const QString &service, std::vector<Item> *out, int *damagedLines = nullptr) const;

    static inline const QByteArray FileHeader = QByteArrayLiteral("QuendelKeychain 1");

private:
    struct Contents;
    Status load(Contents *contents) const;
    Status write(const Contents &contents) const;
    template <typename Change> Status modify(Change change);

    QString m_filePath;
    int m_lockTimeoutMs = 10000;
};

} // namespace platform::keychain
