// Links between contacts and their system address-book records, and the content-hash cache.
#include "Settings/SharedSettingController.h"

#include "Settings/SettingsLog.h"

#include "platform/core/PropertyList.h"
#include "platform/core/UserDefaults.h"

#include <QDir>
#include <QFileInfo>

using platform::core::DispatchQueue;
using platform::core::PropertyList;
using platform::core::QDError;
using platform::core::UserDefaults;
using platform::store::ManagedObjectID;
namespace K = QDSettingsKeys;

namespace {

// The file's text values; nullopt (and the error) when the file is there but cannot be read.
std::optional<QVariantMap> readStringMap(const QString &path, QDError *error)
{
    QVariantMap result;
    if (path.isEmpty())
        return result;
    QDError readError;
    const std::optional<QVariantMap> stored = PropertyList::readDictionaryFile(path, &readError);
    if (!stored) {
        if (readError.code() == PropertyList::FileNotFoundError)
            return result;
        *error = readError;
        return std::nullopt;
    }
    for (auto it = stored->cbegin(); it != stored->cend(); ++it) {
        if (it.value().typeId() == QMetaType::QString)
            result.insert(it.key(), it.value());
    }
    return result;
}

QString uriText(const ManagedObjectID &objectID)
{
    return objectID.URIRepresentation().toString();
}

std::mutex g_lastCheckedMutex;

} // namespace

void SharedSettingController::initializeCaches()
{
    // A link file we cannot read is kept (aside when damaged, in place when unreadable) and the user told;
    // the links start empty rather than the file being replaced without a word.
    auto load = [this](const QString &path) {
        QDError error;
        if (std::optional<QVariantMap> map = readStringMap(path, &error))
            return *map;
        keepUnreadableFile(path, error, QStringLiteral("contacts-files-read:") + path,
                           QStringLiteral("Contact Links Could Not Be Read"),
                           QStringLiteral("contacts-files-blocked:") + QFileInfo(path).fileName(),
                           QStringLiteral("the links between contacts and address-book cards start again empty"));
        return QVariantMap();
    };
    const QVariantMap references = load(dataFilePathWithTransfer(K::ContactsReferenceFileName));
    const QVariantMap uniques = load(dataFilePath(K::ContactsUniqueFileName));
    if (!m_imageCacheQueue)
        m_imageCacheQueue = DispatchQueue::concurrent(QStringLiteral("com.quendel.imageQueue"));
    if (!m_dictionaryQueue)
        m_dictionaryQueue = DispatchQueue::concurrent(QStringLiteral("com.quendel.dictionaryQueue"));
    m_imageCacheQueue->syncBarrier([] { imageCacheApp().clear(); });
    m_dictionaryQueue->syncBarrier([&] {
        m_contactReferenceIDs = references;
        m_personLookupWithID.clear();
        m_personLookupWithID.reserve(references.size());
        m_uniqueContactIdentifiersByMOID = uniques;
    });
}

void SharedSettingController::setContactReferenceID(const QString &referenceID, const ManagedObjectID &objectID)
{
    if (referenceID.isEmpty() || objectID.isNull())
        return;
    const QString key = uriText(objectID);
    m_dictionaryQueue->asyncBarrier([this, key, referenceID, objectID] {
        m_contactReferenceIDs.insert(key, referenceID);
        m_personLookupWithID.insert(referenceID, objectID);
    });
}

QString SharedSettingController::contactReferenceIDForObjectID(const ManagedObjectID &objectID)
{
    if (objectID.isNull())
        return QString();
    const QString key = uriText(objectID);
    const QString referenceID =
        m_dictionaryQueue->syncResult([&] { return m_contactReferenceIDs.value(key).toString(); });
    if (!referenceID.isEmpty())
        m_dictionaryQueue->asyncBarrier(
            [this, referenceID, objectID] { m_personLookupWithID.insert(referenceID, objectID); });
    return referenceID.isEmpty() ? QString() : referenceID;
}

void SharedSettingController::setContactUniqueIdentifer(const QString &identifier, const ManagedObjectID &objectID)
{
    if (identifier.isEmpty() || objectID.isNull())
        return;
    const QString key = uriText(objectID);
    m_dictionaryQueue->asyncBarrier([this, key, identifier, objectID] {
        m_uniqueContactIdentifiersByMOID.insert(key, identifier);
        m_personLookupWithID.insert(identifier, objectID);
    });
}

QString SharedSettingController::contactUniqueIdentiferForObjectID(const ManagedObjectID &objectID)
{
    if (objectID.isNull())
        return QString();
    const QString key = uriText(objectID);
    const QString identifier =
        m_dictionaryQueue->syncResult([&] { return m_uniqueContactIdentifiersByMOID.value(key).toString(); });
    if (!identifier.isEmpty())
        m_dictionaryQueue->asyncBarrier(
            [this, identifier, objectID] { m_personLookupWithID.insert(identifier, objectID); });
    return identifier.isEmpty() ? QString() : identifier;
}

void SharedSettingController::cleanupContactReferenceIDWithObjectID(const ManagedObjectID &objectID)
{
    if (objectID.isNull())
        return;
    const QString key = uriText(objectID);
    m_dictionaryQueue->asyncBarrier([this, key] {
        const QString referenceID = m_contactReferenceIDs.take(key).toString();
        const QString identifier = m_uniqueContactIdentifiersByMOID.take(key).toString();
        if (!referenceID.isEmpty())
            m_personLookupWithID.remove(referenceID);
        if (!identifier.isEmpty())
            m_personLookupWithID.remove(identifier);
    });
}

bool SharedSettingController::contactReferenceIDExists(const QString &identifier) const
{
    if (identifier.isEmpty())
        return false;
    return m_dictionaryQueue->syncResult([&] {
        for (const QVariantMap *map : {&m_contactReferenceIDs, &m_uniqueContactIdentifiersByMOID}) {
            for (auto it = map->cbegin(); it != map->cend(); ++it) {
                if (it.value().toString() == identifier)
                    return true;
            }
        }
        return false;
    });
}

ManagedObjectID SharedSettingController::objectIDForContactReferenceID(const QString &identifier) const
{
    return m_dictionaryQueue->syncResult([&] { return m_personLookupWithID.value(identifier); });
}

bool SharedSettingController::writeToContactsReferenceFile()
{
    QVariantMap references, uniques;
    m_dictionaryQueue->sync([&] {
        references = m_contactReferenceIDs;
        uniques = m_uniqueContactIdentifiersByMOID;
    });
    const QUrl folder = applicationSupportDirectoryURL();
    if (folder.isEmpty())
        return false;
    const QDir dir(folder.toLocalFile());
    bool ok = true;
    for (const auto &[name, map] :
         {std::pair{K::ContactsReferenceFileName, &references}, std::pair{K::ContactsUniqueFileName, &uniques}}) {
        QDError error;
        const QString path = dir.filePath(name);
        if (isBlocked(QStringLiteral("contacts-files-blocked:") + name)) {
            ok = false;
            continue;
        }
        if (!PropertyList::writeFile(*map, path, &error)) {
            reportFailure(QStringLiteral("contacts-files"), QStringLiteral("Contact Links Could Not Be Saved"), path,
                          error);
            ok = false;
        }
    }
    if (ok)
        clearFailure(QStringLiteral("contacts-files"));
    return ok;
}

void SharedSettingController::cleanUpCaches()
{
    m_imageCacheQueue->syncBarrier([] { imageCacheApp().clear(); });
    m_dictionaryQueue->syncBarrier([this] {
        m_contactReferenceIDs.clear();
        m_uniqueContactIdentifiersByMOID.clear();
        m_personLookupWithID.clear();
    });
    writeToContactsReferenceFile();
}

void SharedSettingController::addContactIdentifiersToLastChecked(const QStringList &identifiers)
{
    std::lock_guard lock(g_lastCheckedMutex);
    auto defaults = UserDefaults::standardUserDefaults();
    QVariantList list = defaults->arrayForKey(QStringLiteral("ContactsIdentifierList"));
    for (const QString &identifier : identifiers)
        list.append(identifier);
    defaults->setObject(list, QStringLiteral("ContactsIdentifierList"));
}

void SharedSettingController::loadAllContactHashes()
{
    // Built aside and swapped in whole: until the scan is complete, lookups keep the previous one.
    QHash<quint64, QString> cache;
    for (const auto &[hash, identifier] : contactsBridge()->contactStoreHashes()) {
        if (hash != 0)
            cache.insert(hash, identifier);
    }
    setContactsHashValuesCache(cache);
}

void SharedSettingController::loadAllContactHashesForAddressBook()
{
    // Built aside and swapped in whole: until the scan is complete, lookups keep the previous one.
    QHash<quint64, QString> cache;
    for (const auto &[hash, uniqueID] : contactsBridge()->addressBookHashes()) {
        if (hash != 0)
            cache.insert(hash, uniqueID);
    }
    setContactsHashValuesCache(cache);
}

QVariant SharedSettingController::contactFromAllHashesListWithPersonHash(quint64 hash) const
{
    const QString identifier = contactsHashValuesCache().value(hash);
    if (identifier.isEmpty())
        return QVariant();
    return contactsBridge()->fetchContact(globalContactStore().get(), identifier);
}

QVariant SharedSettingController::abRecordFromAllHashesListWithPersonHash(quint64 hash) const
{
    const QString uniqueID = contactsHashValuesCache().value(hash);
    if (uniqueID.isEmpty())
        return QVariant();
    const QVariantList people = contactsBridge()->addressBookPeopleWithUniqueID(uniqueID);
    return people.size() == 1 ? people.first() : QVariant();
}

QHash<quint64, QString> SharedSettingController::contactsHashValuesCache() const
{
    std::lock_guard lock(m_hashMutex);
    return m_contactsHashValuesCache;
}

void SharedSettingController::setContactsHashValuesCache(const QHash<quint64, QString> &cache)
{
    std::lock_guard lock(m_hashMutex);
    m_contactsHashValuesCache = cache;
}
