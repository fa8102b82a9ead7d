#include "platform/kvstore/KeyValueStore.h"

#include "platform/core/NotificationCenter.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFileSystemWatcher>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLockFile>
#include <QLoggingCategory>
#include <QPointer>
#include <QSaveFile>
#include <QStandardPaths>
#include <QThread>
#include <QTimer>

Q_LOGGING_CATEGORY(lcKvStore, "quendel.kvstore")

namespace platform::kvstore {

namespace {

constexpr int kFormatVersion = 1;
// A writer holds the lock only for one read-merge-write; anything older belongs to a crashed process.
constexpr int kStaleLockMs = 10000;
constexpr int kLockWaitMs = 10000;
constexpr int kReloadDelayMs = 20;

std::mutex g_defaultMutex;
QString g_defaultFolder;
std::shared_ptr<KeyValueStore> g_defaultStore;
bool g_defaultMade = false;

QString folderLocked()
{
    const QString env = qEnvironmentVariable("QUENDEL_KVSTORE_FOLDER");
    if (!env.isEmpty())
        return env;
    if (!g_defaultFolder.isEmpty())
        return g_defaultFolder;
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
           QStringLiteral("/QuendelSharedStore");
}

bool sameValue(const QVariant &a, const QVariant &b)
{
    if (a.isValid() != b.isValid())
        return false;
    return !a.isValid() || a == b;
}

} // namespace

QString KeyValueStore::defaultFolder()
{
    std::lock_guard lock(g_defaultMutex);
    return folderLocked();
}

void KeyValueStore::setDefaultFolder(const QString &folder)
{
    std::lock_guard lock(g_defaultMutex);
    g_defaultFolder = folder;
}

std::shared_ptr<KeyValueStore> KeyValueStore::defaultStore()
{
    std::lock_guard lock(g_defaultMutex);
    if (!g_defaultMade) {
        g_defaultMade = true;
        auto store = std::make_shared<KeyValueStore>(QDir(folderLocked()).filePath(FileName));
        // Change notices belong on the main thread, whoever asked first.
        if (QCoreApplication *app = QCoreApplication::instance(); app && store->thread() != app->thread())
            store->moveToThread(app->thread());
        g_defaultStore = std::move(store);
    }
    return g_defaultStore;
}

void KeyValueStore::setDefaultStore(std::shared_ptr<KeyValueStore> store)
{
    std::lock_guard lock(g_defaultMutex);
    g_defaultStore = std::move(store);
    g_defaultMade = true;
}

void KeyValueStore::resetDefaultStore()
{
    std::lock_guard lock(g_defaultMutex);
    g_defaultStore.reset();
    g_defaultMade = false;
}

KeyValueStore::KeyValueStore(const QString &filePath, QObject *parent) : QObject(parent), m_filePath(filePath)
{
    QVariantMap values;
    const ReadResult r = readFile(&values);
    if (r == ReadResult::Ok) {
        m_values = values;
        m_diskSnapshot = values;
    }
    m_reloadTimer = new QTimer(this);
    m_reloadTimer->setSingleShot(true);
    m_reloadTimer->setInterval(kReloadDelayMs);
    connect(m_reloadTimer, &QTimer::timeout, this, &KeyValueStore::reloadFromDisk);
    m_watcher = new QFileSystemWatcher(this);
    connect(m_watcher, &QFileSystemWatcher::fileChanged, m_reloadTimer, qOverload<>(&QTimer::start));
    connect(m_watcher, &QFileSystemWatcher::directoryChanged, m_reloadTimer, qOverload<>(&QTimer::start));
    watch();
}

KeyValueStore::~KeyValueStore()
{
    bool havePending = false;
    {
        std::lock_guard lock(m_mutex);
        havePending = !m_pending.isEmpty();
    }
    if (havePending)
        mergeWithDisk(nullptr);
}

bool KeyValueStore::isAccountAvailable() const
{
    {
        std::lock_guard lock(m_mutex);
        if (m_accountOverride)
            return *m_accountOverride;
    }
    return QDir().mkpath(QFileInfo(m_filePath).absolutePath());
}

void KeyValueStore::setAccountAvailableOverride(std::optional<bool> available)
{
    std::lock_guard lock(m_mutex);
    m_accountOverride = available;
}

QVariant KeyValueStore::object(const QString &key) const
{
    std::lock_guard lock(m_mutex);
    return m_values.value(key);
}

bool KeyValueStore::contains(const QString &key) const
{
    std::lock_guard lock(m_mutex);
    return m_values.contains(key);
}

QString KeyValueStore::string(const QString &key) const
{
    const QVariant v = object(key);
    return v.typeId() == QMetaType::QString ? v.toString() : QString();
}

qint64 KeyValueStore::longLong(const QString &key) const
{
    return object(key).toLongLong();
}
double KeyValueStore::doubleValue(const QString &key) const
{
    return object(key).toDouble();
}
bool KeyValueStore::boolValue(const QString &key) const
{
    return object(key).toBool();
}

QDateTime KeyValueStore::date(const QString &key) const
{
    const QVariant v = object(key);
    return v.typeId() == QMetaType::QDateTime ? v.toDateTime() : QDateTime();
}

QByteArray KeyValueStore::data(const QString &key) const
{
    const QVariant v = object(key);
    return v.typeId() == QMetaType::QByteArray ? v.toByteArray() : QByteArray();
}

QVariantList KeyValueStore::array(const QString &key) const
{
    return object(key).toList();
}
QVariantMap KeyValueStore::dictionary(const QString &key) const
{
    return object(key).toMap();
}

QVariantMap KeyValueStore::dictionaryRepresentation() const
{
    std::lock_guard lock(m_mutex);
    return m_values;
}

QStringList KeyValueStore::keys() const
{
    std::lock_guard lock(m_mutex);
    return m_values.keys();
}

void KeyValueStore::setObject(const QString &key, const QVariant &value)
{
    if (key.isEmpty())
        return;
    const bool remove = !value.isValid() || value.isNull();
    {
        std::lock_guard lock(m_mutex);
        if (remove)
            m_values.remove(key);
        else
            m_values.insert(key, value);
        m_pending.insert(key, remove ? QVariant() : value);
    }
    QStringList external;
    if (mergeWithDisk(&external) && !external.isEmpty())
        announce(ServerChange, external);
}

void KeyValueStore::removeObject(const QString &key)
{
    setObject(key, QVariant());
}

bool KeyValueStore::synchronize()
{
    QStringList external;
    const bool ok = mergeWithDisk(&external);
    if (!external.isEmpty())
        announce(ServerChange, external);
    return ok;
}

void KeyValueStore::injectExternalChange(ChangeReason reason, const QVariantMap &values)
{
    // Written as another device would: straight into the file, then taken in like any outside change.
    std::unique_lock fileGuard(m_fileMutex);
    {
        QLockFile lock(m_filePath + QStringLiteral(".lock"));
        lock.setStaleLockTime(kStaleLockMs);
        QDir().mkpath(QFileInfo(m_filePath).absolutePath());
        if (lock.tryLock(kLockWaitMs)) {
            QVariantMap disk;
            readFile(&disk);
            for (auto it = values.cbegin(); it != values.cend(); ++it) {
                if (!it.value().isValid() || it.value().isNull())
                    disk.remove(it.key());
                else
                    disk.insert(it.key(), it.value());
            }
            QString why;
            if (!writeFile(disk, &why))
                qCWarning(lcKvStore) << "injected change not written:" << why;
        }
    }
    {
        std::lock_guard lock(m_mutex);
        for (auto it = values.cbegin(); it != values.cend(); ++it) {
            m_pending.remove(it.key());
            if (!it.value().isValid() || it.value().isNull()) {
                m_values.remove(it.key());
                m_diskSnapshot.remove(it.key());
            } else {
                m_values.insert(it.key(), it.value());
                m_diskSnapshot.insert(it.key(), it.value());
            }
        }
    }
    fileGuard.unlock();
    postExternalChange(reason, values.keys());
}

void KeyValueStore::postExternalChange(ChangeReason reason, const QStringList &changedKeys)
{
    core::NotificationCenter::defaultCenter().post(DidChangeExternallyNotification, this,
                                                   {{ChangeReasonKey, int(reason)}, {ChangedKeysKey, changedKeys}});
}

void KeyValueStore::announce(ChangeReason reason, const QStringList &keys)
{
    // Notices leave from the store's own thread and never from inside a caller's write, so an observer
    // that writes back into the store cannot re-enter it.
    QPointer<KeyValueStore> self(this);
    QMetaObject::invokeMethod(
        this,
        [self, reason, keys] {
            if (self)
                self->postExternalChange(reason, keys);
        },
        Qt::QueuedConnection);
}

bool KeyValueStore::mergeWithDisk(QStringList *externalKeys)
{
    std::lock_guard fileGuard(m_fileMutex);
    const QString folder = QFileInfo(m_filePath).absolutePath();
    if (!QDir().mkpath(folder)) {
        qCWarning(lcKvStore) << "cannot create the shared folder" << folder;
        return false;
    }
    QLockFile lock(m_filePath + QStringLiteral(".lock"));
    lock.setStaleLockTime(kStaleLockMs);
    if (!lock.tryLock(kLockWaitMs)) {
        qCWarning(lcKvStore) << "shared store is locked by another writer:" << m_filePath << lock.error();
        return false;
    }

    QVariantMap disk;
    const ReadResult r = readFile(&disk);
    if (r == ReadResult::Unreadable)
        return false;
    if (r == ReadResult::Damaged) {
        // Keep the damaged file for inspection rather than writing over it; start again from our view.
        const QString aside =
            m_filePath + QStringLiteral(".damaged-") + QDateTime::currentDateTimeUtc().toString("yyyyMMddHHmmsszzz");
        if (!QFile::rename(m_filePath, aside)) {
            qCWarning(lcKvStore) << "damaged shared store could not be kept aside:" << m_filePath;
            return false;
        }
        qCWarning(lcKvStore) << "damaged shared store kept aside as" << aside;
        core::NotificationCenter::defaultCenter().post(FileKeptAsideNotification, this,
                                                       {{FilePathKey, m_filePath}, {KeptAsidePathKey, aside}});
        std::lock_guard g(m_mutex);
        disk = m_values;
    }

    QStringList external;
    QVariantMap merged = disk;
    bool needWrite = false;
    {
        std::lock_guard g(m_mutex);
        // Keys another writer changed since we last looked.
        QStringList all = disk.keys() + m_diskSnapshot.keys();
        all.removeDuplicates();
        for (const QString &key : std::as_const(all)) {
            if (m_pending.contains(key))
                continue;
            const QVariant now = disk.value(key);
            if (!sameValue(now, m_diskSnapshot.value(key))) {
                external << key;
                if (now.isValid())
                    m_values.insert(key, now);
                else
                    m_values.remove(key);
            }
        }
        for (auto it = m_pending.cbegin(); it != m_pending.cend(); ++it) {
            if (!it.value().isValid()) {
                needWrite |= merged.remove(it.key()) > 0;
            } else if (!sameValue(merged.value(it.key()), it.value())) {
                merged.insert(it.key(), it.value());
                needWrite = true;
            }
        }
        if (r == ReadResult::Damaged)
            needWrite = true;
    }
    if (needWrite) {
        QString why;
        if (!writeFile(merged, &why)) {
            qCWarning(lcKvStore) << "shared store not written:" << m_filePath << why;
            std::lock_guard g(m_mutex);
            m_diskSnapshot = disk;
            if (externalKeys)
                *externalKeys = external;
            return false;
        }
    }
    {
        std::lock_guard g(m_mutex);
        m_diskSnapshot = merged;
        m_pending.clear();
    }
    if (externalKeys)
        *externalKeys = external;
    return true;
}

void KeyValueStore::reloadFromDisk()
{
    watch();
    // Our own writers hold the file mutex while they update the snapshot, so a file read here can never be
    // older than the snapshot it is compared with.
    std::unique_lock fileGuard(m_fileMutex);
    QVariantMap disk;
    const ReadResult r = readFile(&disk);
    if (r == ReadResult::Unreadable || r == ReadResult::Damaged)
        return;
    QStringList external;
    {
        std::lock_guard g(m_mutex);
        QStringList all = disk.keys() + m_diskSnapshot.keys();
        all.removeDuplicates();
        for (const QString &key : std::as_const(all)) {
            const QVariant now = disk.value(key);
            if (sameValue(now, m_diskSnapshot.value(key)))
                continue;
            if (!m_pending.contains(key)) {
                external << key;
                if (now.isValid())
                    m_values.insert(key, now);
                else
                    m_values.remove(key);
            }
        }
        m_diskSnapshot = disk;
    }
    fileGuard.unlock();
    if (!external.isEmpty())
        postExternalChange(ServerChange, external);
}

void KeyValueStore::watch()
{
    const QString folder = QFileInfo(m_filePath).absolutePath();
    if (!QFileInfo::exists(folder))
        QDir().mkpath(folder);
    const QStringList watched = m_watcher->files() + m_watcher->directories();
    if (QFileInfo::exists(folder) && !watched.contains(folder))
        m_watcher->addPath(folder);
    // An atomic replace gives the file a new inode, so the file watch is renewed after every change.
    if (QFileInfo::exists(m_filePath)) {
        if (m_watcher->files().contains(m_filePath))
            m_watcher->removePath(m_filePath);
        m_watcher->addPath(m_filePath);
    }
}

KeyValueStore::ReadResult KeyValueStore::readFile(QVariantMap *values) const
{
    values->clear();
    QFile file(m_filePath);
    if (!file.exists())
        return ReadResult::Missing;
    if (!file.open(QIODevice::ReadOnly))
        return ReadResult::Unreadable;
    const QByteArray bytes = file.readAll();
    if (bytes.trimmed().isEmpty())
        return ReadResult::Missing;
    QJsonParseError err;
    const QJsonDocument doc = QJsonDocument::fromJson(bytes, &err);
    if (err.error != QJsonParseError::NoError || !doc.isObject())
        return ReadResult::Damaged;
    // A file of another layout or format number (another version on another computer) parses, yet
    // writing our view over it would lose what it holds: it is set aside as a damaged one is.
    const QJsonObject root = doc.object();
    const QJsonValue format = root.value(QStringLiteral("format"));
    const QJsonValue valuesObject = root.value(QStringLiteral("values"));
    if (!format.isDouble() || format.toDouble() != kFormatVersion || !valuesObject.isObject())
        return ReadResult::Damaged;
    const QJsonObject stored = valuesObject.toObject();
    for (auto it = stored.begin(); it != stored.end(); ++it)
        values->insert(it.key(), decodeValue(it.value()));
    return ReadResult::Ok;
}

bool KeyValueStore::writeFile(const QVariantMap &values, QString *reason) const
{
    QJsonObject stored;
    for (auto it = values.cbegin(); it != values.cend(); ++it)
        stored.insert(it.key(), encodeValue(it.value()));
    QJsonObject root;
    root.insert(QStringLiteral("format"), kFormatVersion);
    root.insert(QStringLiteral("values"), stored);
    QSaveFile file(m_filePath);
    if (!file.open(QIODevice::WriteOnly)) {
        *reason = file.errorString();
        return false;
    }
    file.write(QJsonDocument(root).toJson(QJsonDocument::Indented));
    if (!file.commit()) {
        *reason = file.errorString();
        return false;
    }
    return true;
}

QJsonValue KeyValueStore::encodeValue(const QVariant &value)
{
    switch (value.typeId()) {
    case QMetaType::UnknownType:
    case QMetaType::Nullptr:
        return QJsonValue(QJsonValue::Null);
    case QMetaType::Bool:
        return value.toBool();
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::Short:
    case QMetaType::UShort:
    case QMetaType::Long:
    case QMetaType::ULong:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Char:
    case QMetaType::SChar:
    case QMetaType::UChar:
        return QJsonValue(value.toLongLong());
    case QMetaType::Double:
    case QMetaType::Float:
        return QJsonObject{{QStringLiteral("$real"), value.toDouble()}};
    case QMetaType::QDateTime:
        return QJsonObject{{QStringLiteral("$date"), value.toDateTime().toUTC().toString(Qt::ISODateWithMs)}};
    case QMetaType::QByteArray:
        return QJsonObject{{QStringLiteral("$data"), QString::fromLatin1(value.toByteArray().toBase64())}};
    case QMetaType::QVariantList:
    case QMetaType::QStringList: {
        QJsonArray a;
        for (const QVariant &v : value.toList())
            a.append(encodeValue(v));
        return a;
    }
    case QMetaType::QVariantMap:
    case QMetaType::QVariantHash: {
        const QVariantMap m = value.toMap();
        QJsonObject o;
        for (auto it = m.cbegin(); it != m.cend(); ++it)
            o.insert(it.key(), encodeValue(it.value()));
        // A dictionary that would read back as a tagged value is wrapped once more.
        if (o.size() == 1 && o.begin().key().startsWith(QLatin1Char('$')))
            return QJsonObject{{QStringLiteral("$dict"), o}};
        return o;
    }
    default:
        return value.toString();
    }
}

QVariant KeyValueStore::decodeValue(const QJsonValue &value)
{
    switch (value.type()) {
    case QJsonValue::Null:
    case QJsonValue::Undefined:
        return QVariant();
    case QJsonValue::Bool:
        return value.toBool();
    case QJsonValue::Double: {
        const QVariant v = value.toVariant();
        if (v.typeId() == QMetaType::LongLong || v.typeId() == QMetaType::Int)
            return v.toLongLong();
        return value.toDouble();
    }
    case QJsonValue::String:
        return value.toString();
    case QJsonValue::Array: {
        QVariantList list;
        for (const QJsonValue &v : value.toArray())
            list.append(decodeValue(v));
        return list;
    }
    case QJsonValue::Object: {
        const QJsonObject o = value.toObject();
        if (o.size() == 1) {
            const QString tag = o.begin().key();
            const QJsonValue inner = o.begin().value();
            if (tag == QLatin1String("$real"))
                return inner.toDouble();
            if (tag == QLatin1String("$date"))
                return QDateTime::fromString(inner.toString(), Qt::ISODateWithMs).toUTC();
            if (tag == QLatin1String("$data"))
                return QByteArray::fromBase64(inner.toString().toLatin1());
            if (tag == QLatin1String("$dict")) {
                QVariantMap m;
                const QJsonObject d = inner.toObject();
                for (auto it = d.begin(); it != d.end(); ++it)
                    m.insert(it.key(), decodeValue(it.value()));
                return m;
            }
        }
        QVariantMap m;
        for (auto it = o.begin(); it != o.end(); ++it)
            m.insert(it.key(), decodeValue(it.value()));
        return m;
    }
    }
    return QVariant();
}

} // namespace platform::kvstore
