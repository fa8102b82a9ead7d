#pragma once

#include <QList>
#include <QObject>
#include <QPair>
#include <QString>
#include <QVariant>

#include <memory>
#include <optional>

// What the settings object learns about this machine and the running program. The default reads the
// real host; tests and the application may install another.
class SettingsEnvironment
{
public:
    virtual ~SettingsEnvironment() = default;

    // This computer's host name.
    virtual QString hostName() const;
    // The hardware model: the firmware's product name when it has one, else the CPU architecture.
    virtual QString hardwareModel() const;
    // The operating-system version as "major.minor.patch".
    virtual QString operatingSystemVersion() const;
    // The program's display name; null when the program has none.
    virtual QString bundleDisplayName() const;
    // The program's short version text: the application's version, else the project's.
    virtual QString bundleShortVersion() const;
    // The program's build number.
    virtual QString bundleVersion() const;
    // The user default that moves the older shared cloud store's container to another folder (one that a
    // file-sync tool keeps in step between the user's machines).
    static inline const QString ContainerFolderDefaultsKey = QStringLiteral("CloudContainerFolder");
    // The folder of the older shared cloud store's container with that identifier: the folder the user default
    // names, else one named after the identifier in the data folder; null without a data folder.
    virtual QString ubiquityContainerPath(const QString &identifier) const;
    // Sets (a null path: clears) the folder the user default names.
    static void setUbiquityContainerFolder(const QString &path);
    // The user's preferred name order in the system address book: true for first name first.
    virtual bool addressBookFirstNameFirst() const { return true; }
};

// What the settings object needs of the system contacts and address book. The address-book bridge
// installs the real one; the default knows no contacts.
class SettingsContactsBridge
{
public:
    virtual ~SettingsContactsBridge() = default;

    // A new contacts store for the process (the settings object keeps one).
    virtual std::shared_ptr<QObject> makeContactStore() { return nullptr; }
    virtual bool isContactsAccessAuthorized() const { return false; }
    // Number of contacts in the contacts store (enumerated); nothing when it cannot be enumerated.
    virtual std::optional<qint64> contactStoreCount() { return std::nullopt; }
    // Number of people in the shared system address book.
    virtual qint64 addressBookPeopleCount() { return 0; }
    // Every contact of a fresh contacts store as (de-duplication hash, contact identifier); 0 = no hash.
    virtual QList<QPair<quint64, QString>> contactStoreHashes() { return {}; }
    // Every person of the shared address book as (de-duplication hash, unique ID); 0 = no hash.
    virtual QList<QPair<quint64, QString>> addressBookHashes() { return {}; }
    // The contact with that identifier from `store`, with the keys the contact page needs; null when gone.
    virtual QVariant fetchContact(QObject *store, const QString &identifier) { return {}; }
    // The address-book people whose unique ID equals `uniqueID`, compared case-insensitively.
    virtual QVariantList addressBookPeopleWithUniqueID(const QString &uniqueID) { return {}; }
    // Starts a new import's set of matched contact identifiers (dedupeMatchingIDs).
    virtual void initDeDupeMatchingIDs();
};

// The two values the contacts list starts from; the second follows the system address book's setting.
qint64 getDefaultContactsSortOrdering();
qint64 getDefaultNameDisplayOrdering();
