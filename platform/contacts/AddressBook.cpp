#include "platform/contacts/AddressBook.h"

#include "platform/core/StandardPaths.h"
#include "platform/core/UserDefaults.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFileSystemWatcher>
#include <QSaveFile>
#include <QThread>
#include <QTimer>

#include <algorithm>

namespace platform::contacts {

using platform::core::QDError;

namespace {

std::mutex sharedMutex;
std::shared_ptr<AddressBook> sharedBook;

QDError bookError(qint64 code, const QString &text, const QString &path = QString())
{
    QDError error = QDError::withDescription(AddressBookErrorDomain, code, text);
    if (!path.isEmpty())
        error.setUserInfoValue(QDError::FilePathKey, path);
    return error;
}

QByteArray contentHash(const QByteArray &data)
{
    return QCryptographicHash::hash(data, QCryptographicHash::Sha1);
}

QString digitsOf(const QString &text)
{
    QString digits;
    for (const QChar c : text)
        if (c.isDigit())
            digits += c;
    return digits;
}

bool sameText(const QString &a, const QString &b)
{
    return a.compare(b, Qt::CaseInsensitive) == 0;
}

} // namespace

QString AddressBook::defaultRootPath()
{
    return platform::core::StandardPaths::dataFolderPath() + QStringLiteral("/contacts");
}

std::shared_ptr<AddressBook> AddressBook::shared()
{
    std::lock_guard lock(sharedMutex);
    if (!sharedBook) {
        QString root = platform::core::UserDefaults::standardUserDefaults()->stringForKey(RootFolderKey);
        if (root.isEmpty())
            root = defaultRootPath();
        sharedBook = std::make_shared<AddressBook>(root);
        if (QCoreApplication::instance())
            sharedBook->moveToThread(QCoreApplication::instance()->thread());
        sharedBook->load();
    }
    return sharedBook;
}

void AddressBook::setShared(std::shared_ptr<AddressBook> book)
{
    std::lock_guard lock(sharedMutex);
    sharedBook = std::move(book);
}

AddressBook::AddressBook(const QString &rootPath, QObject *parent)
    : QObject(parent), m_root(QDir::cleanPath(QDir(rootPath).absolutePath()))
{
}

AddressBook::~AddressBook() = default;

QStringList AddressBook::listCollections() const
{
    QStringList collections;
    QDir root(m_root);
    for (const QString &account : root.entryList(QDir::Dirs | QDir::NoDotAndDotDot | QDir::NoSymLinks, QDir::Name)) {
        if (account.startsWith(QLatin1Char('.')))
            continue;
        QDir accountDir(root.filePath(account));
        for (const QString &collection :
             accountDir.entryList(QDir::Dirs | QDir::NoDotAndDotDot | QDir::NoSymLinks, QDir::Name)) {
            if (!collection.startsWith(QLatin1Char('.')))
                collections << QDir::cleanPath(accountDir.filePath(collection));
        }
    }
    return collections;
}

bool AddressBook::load(QDError *error)
{
    {
        QMutexLocker lock(&m_mutex);
        if (!QDir().mkpath(m_root))
            return setError(error, bookError(FolderError, QStringLiteral("The address book folder cannot be made."),
                                             m_root));
        if (listCollections().isEmpty()) {
            const QString path = m_root + QLatin1Char('/') + DefaultAccountName + QLatin1Char('/') + DefaultCollectionName;
            if (!QDir().mkpath(path))
                return setError(error,
                                bookError(FolderError, QStringLiteral("The address book folder cannot be made."), path));
        }
    }
    rescan();
    return true;
}

bool AddressBook::Entry::unchangedSince(qint64 fileSize, qint64 fileMtime) const
{
    // Two seconds covers the coarsest common step (FAT); finer file systems step a few milliseconds.
    constexpr qint64 TimestampStepMs = 2000;
    return size == fileSize && mtime == fileMtime && checkedAt - mtime > TimestampStepMs;
}

void AddressBook::rescan()
{
    QStringList inserted, updated, deleted;
    {
        QMutexLocker lock(&m_mutex);
        m_collections = listCollections();
        QHash<QString, QString> uidByPath;
        for (auto it = m_entries.cbegin(); it != m_entries.cend(); ++it)
            uidByPath.insert(it->path, it.key());
        QSet<QString> seen;
        for (const QString &collection : std::as_const(m_collections)) {
            QDir dir(collection);
            for (const QFileInfo &info : dir.entryInfoList({QStringLiteral("*.vcf")}, QDir::Files, QDir::Name)) {
                const QString path = QDir::cleanPath(info.absoluteFilePath());
                seen.insert(path);
                const QString knownUid = uidByPath.value(path);
                Entry *known = knownUid.isEmpty() ? nullptr : &m_entries[knownUid];
                const qint64 mtime = info.lastModified().toMSecsSinceEpoch();
                if (known && known->unchangedSince(info.size(), mtime))
                    continue;
                if (!known && m_damaged.contains(path) && m_damaged.value(path).startsWith(QString::number(mtime)))
                    continue;
                QFile file(path);
                if (!file.open(QIODevice::ReadOnly)) {
                    m_damaged.insert(path, QString::number(mtime) + QStringLiteral(": the file cannot be read"));
                    continue;
                }
                if (file.size() > VCardCodec::MaximumFileSize) {
                    m_damaged.insert(path, QString::number(mtime) + QStringLiteral(": the file is too large"));
                    continue;
                }
                const QByteArray data = file.readAll();
                const QByteArray hash = contentHash(data);
                if (known && known->hash == hash) {
                    known->size = info.size();
                    known->mtime = mtime;
                    known->checkedAt = QDateTime::currentMSecsSinceEpoch();
                    continue;
                }
                QDError parseError;
                const QList<VCard> cards = VCardCodec::read(data, &parseError);
                if (cards.isEmpty()) {
                    // Left in place and untouched: it may be another program's file half written, or damaged.
                    m_damaged.insert(path, QString::number(mtime) + QStringLiteral(": ") + parseError.localizedDescription());
                    qWarning("address book: %s is not a valid contact card (%s)", qPrintable(path),
                             qPrintable(parseError.localizedDescription()));
                    continue;
                }
                m_damaged.remove(path);
                Entry entry{ContactRecord::fromVCard(cards.first(), info.completeBaseName()), path, hash, info.size(),
                            mtime, QDateTime::currentMSecsSinceEpoch()};
                const QString uid = entry.record.uniqueId();
                if (known && knownUid == uid) {
                    *known = entry;
                    updated << uid;
                    continue;
                }
                if (known) {
                    m_entries.remove(knownUid);
                    deleted << knownUid;
                }
                if (m_entries.contains(uid) && m_entries.value(uid).path != path) {
                    m_damaged.insert(path, QString::number(mtime) + QStringLiteral(": another file holds the same contact"));
                    continue;
                }
                m_entries.insert(uid, entry);
                uidByPath.insert(path, uid);
                inserted << uid;
            }
        }
        for (auto it = m_entries.begin(); it != m_entries.end();) {
            if (!seen.contains(it->path) && !it->path.isEmpty() && it->hash.size()) {
                deleted << it.key();
                it = m_entries.erase(it);
            } else {
                ++it;
            }
        }
        for (auto it = m_damaged.begin(); it != m_damaged.end();) {
            if (!seen.contains(it.key()))
                it = m_damaged.erase(it);
            else
                ++it;
        }
        if (m_watcher)
            watchFoldersLocked();
    }
    if (!inserted.isEmpty() || !updated.isEmpty() || !deleted.isEmpty())
        emit changedExternally(inserted, updated, deleted);
}

void AddressBook::startWatching()
{
    QMutexLocker lock(&m_mutex);
    if (m_watcher)
        return;
    m_watcher = new QFileSystemWatcher(this);
    m_rescanTimer = new QTimer(this);
    m_rescanTimer->setSingleShot(true);
    m_rescanTimer->setInterval(150);
    connect(m_rescanTimer, &QTimer::timeout, this, &AddressBook::rescan);
    connect(m_watcher, &QFileSystemWatcher::directoryChanged, this, &AddressBook::scheduleRescan);
    connect(m_watcher, &QFileSystemWatcher::fileChanged, this, &AddressBook::scheduleRescan);
    watchFoldersLocked();
}

void AddressBook::watchFoldersLocked()
{
    QStringList wanted{m_root};
    for (const QString &collection : std::as_const(m_collections))
        wanted << QFileInfo(collection).absolutePath() << collection;
    // Editors that rewrite a file in place change no folder; watch the cards themselves too.
    for (const Entry &entry : std::as_const(m_entries))
        wanted << entry.path;
    QStringList watched = m_watcher->directories() + m_watcher->files();
    QStringList missing;
    for (const QString &path : wanted)
        if (!watched.contains(path) && QFileInfo::exists(path))
            missing << path;
    if (!missing.isEmpty())
        m_watcher->addPaths(missing);
}

void AddressBook::scheduleRescan()
{
    if (m_rescanTimer)
        m_rescanTimer->start();
}

QStringList AddressBook::accountPaths() const
{
    QMutexLocker lock(&m_mutex);
    QStringList accounts;
    for (const QString &collection : m_collections) {
        const QString account = QFileInfo(collection).absolutePath();
        if (!accounts.contains(account))
            accounts << account;
    }
    return accounts;
}

QStringList AddressBook::collectionPaths() const
{
    QMutexLocker lock(&m_mutex);
    return m_collections;
}

QString AddressBook::defaultCollectionPath() const
{
    QMutexLocker lock(&m_mutex);
    if (!m_collections.isEmpty())
        return m_collections.first();
    return m_root + QLatin1Char('/') + DefaultAccountName + QLatin1Char('/') + DefaultCollectionName;
}

QHash<QString, QString> AddressBook::damagedFiles() const
{
    QMutexLocker lock(&m_mutex);
    QHash<QString, QString> result;
    for (auto it = m_damaged.cbegin(); it != m_damaged.cend(); ++it)
        result.insert(it.key(), it.value().section(QStringLiteral(": "), 1));
    return result;
}

std::optional<ContactRecord> AddressBook::recordForUniqueId(const QString &uid) const
{
    QMutexLocker lock(&m_mutex);
    const auto it = m_entries.constFind(uid);
    if (it == m_entries.cend())
        return std::nullopt;
    return it->record;
}

QList<ContactRecord> AddressBook::sortedLocked(bool groups) const
{
    QList<const Entry *> entries;
    for (const Entry &entry : m_entries)
        if (entry.record.isGroup() == groups)
            entries << &entry;
    std::sort(entries.begin(), entries.end(), [](const Entry *a, const Entry *b) {
        if (a->path != b->path)
            return a->path < b->path;
        return a->record.uniqueId() < b->record.uniqueId();
    });
    QList<ContactRecord> records;
    records.reserve(entries.size());
    for (const Entry *entry : entries)
        records << entry->record;
    return records;
}

QList<ContactRecord> AddressBook::people() const
{
    QMutexLocker lock(&m_mutex);
    return sortedLocked(false);
}

QList<ContactRecord> AddressBook::groups() const
{
    QMutexLocker lock(&m_mutex);
    return sortedLocked(true);
}

bool AddressBook::matches(const ContactRecord &record, const SearchElement &element) const
{
    const QString &name = element.property;
    if (element.comparison == SearchElement::BitsSet) {
        const qint64 bits = element.value.toLongLong();
        return (record.valueForProperty(name).toLongLong() & bits) == bits;
    }
    if (name == property::Phone || name == property::Email || name == property::URLs) {
        const QString wanted = element.value.toString();
        const QString wantedDigits = name == property::Phone ? digitsOf(wanted) : QString();
        for (const MultiValueEntry &entry : record.multiValue(name).entries) {
            const QString value = entry.value.toString();
            if (sameText(value, wanted))
                return true;
            if (!wantedDigits.isEmpty() && digitsOf(value) == wantedDigits)
                return true;
        }
        return false;
    }
    if (name == property::Address) {
        const QVariantMap wanted = element.value.toMap();
        for (const MultiValueEntry &entry : record.multiValue(name).entries) {
            const QVariantMap value = entry.value.toMap();
            bool all = true;
            for (const QString &key : {address_key::Street, address_key::City, address_key::State, address_key::ZIP,
                                       address_key::Country})
                all = all && sameText(value.value(key).toString(), wanted.value(key).toString());
            if (all)
                return true;
        }
        return false;
    }
    // An absent text compares as the empty text.
    return sameText(record.stringValue(name), element.value.toString());
}

QList<ContactRecord> AddressBook::search(const QList<SearchElement> &elements) const
{
    QMutexLocker lock(&m_mutex);
    QList<ContactRecord> result;
    for (const ContactRecord &record : sortedLocked(false)) {
        bool all = true;
        for (const SearchElement &element : elements) {
            if (!matches(record, element)) {
                all = false;
                break;
            }
        }
        if (all)
            result << record;
    }
    return result;
}

QList<ContactRecord> AddressBook::peopleMatchingName(const QString &text) const
{
    const QString wanted = text.trimmed();
    QList<ContactRecord> result;
    if (wanted.isEmpty())
        return result;
    QMutexLocker lock(&m_mutex);
    for (const ContactRecord &record : sortedLocked(false)) {
        for (const QString &candidate : {record.fullName(1), record.fullName(2),
                                         record.stringValue(property::Organization),
                                         record.stringValue(property::Nickname)}) {
            if (candidate.contains(wanted, Qt::CaseInsensitive)) {
                result << record;
                break;
            }
        }
    }
    return result;
}

QList<ContactRecord> AddressBook::parentGroups(const QString &uid) const
{
    QMutexLocker lock(&m_mutex);
    QList<ContactRecord> result;
    for (const ContactRecord &group : sortedLocked(true))
        if (group.memberIds().contains(uid))
            result << group;
    return result;
}

QString AddressBook::collectionPathForRecord(const QString &uid) const
{
    QMutexLocker lock(&m_mutex);
    const auto it = m_entries.constFind(uid);
    if (it == m_entries.cend() || it->path.isEmpty())
        return QString();
    return QFileInfo(it->path).absolutePath();
}

QString AddressBook::accountPathForRecord(const QString &uid) const
{
    const QString collection = collectionPathForRecord(uid);
    return collection.isEmpty() ? QString() : QFileInfo(collection).absolutePath();
}

QString AddressBook::fileNameForUid(const QString &uid) const
{
    bool safe = !uid.isEmpty() && uid.size() <= 200 && !uid.startsWith(QLatin1Char('.'));
    for (const QChar c : uid)
        if (!(c.isLetterOrNumber() && c.unicode() < 128) && c != QLatin1Char('-') && c != QLatin1Char('_') &&
            c != QLatin1Char('.') && c != QLatin1Char('@'))
            safe = false;
    if (safe)
        return uid + QStringLiteral(".vcf");
    return QString::fromLatin1(QCryptographicHash::hash(uid.toUtf8(), QCryptographicHash::Sha1).toHex()) +
           QStringLiteral(".vcf");
}

void AddressBook::setRecord(const ContactRecord &record, const QString &collectionPath)
{
    QMutexLocker lock(&m_mutex);
    const QString uid = record.uniqueId();
    if (!m_pending.contains(uid))
        m_pending.insert(uid, m_entries.value(uid)); // what revert() restores; empty path: did not exist
    m_pendingRemovals.remove(uid);
    Entry &entry = m_entries[uid];
    entry.record = record;
    if (entry.path.isEmpty() || (!collectionPath.isEmpty() && QFileInfo(entry.path).absolutePath() != collectionPath)) {
        QString folder = collectionPath;
        if (folder.isEmpty())
            folder = m_collections.isEmpty() ? m_root + QLatin1Char('/') + DefaultAccountName + QLatin1Char('/') +
                                                   DefaultCollectionName
                                             : m_collections.first();
        entry.path = QDir::cleanPath(folder + QLatin1Char('/') + fileNameForUid(uid));
    }
}

bool AddressBook::removeRecord(const QString &uid)
{
    QMutexLocker lock(&m_mutex);
    if (!m_entries.contains(uid))
        return false;
    if (!m_pending.contains(uid))
        m_pending.insert(uid, m_entries.value(uid));
    m_pendingRemovals.insert(uid);
    m_entries.remove(uid);
    // Groups lose the member as well.
    for (auto it = m_entries.begin(); it != m_entries.end(); ++it) {
        if (it->record.isGroup() && it->record.memberIds().contains(uid)) {
            if (!m_pending.contains(it.key()))
                m_pending.insert(it.key(), *it);
            it->record.removeMember(uid);
        }
    }
    return true;
}

bool AddressBook::hasUnsavedChanges() const
{
    QMutexLocker lock(&m_mutex);
    return !m_pending.isEmpty();
}

bool AddressBook::save(QDError *error)
{
    QStringList inserted, updated, deleted;
    QDError first;
    {
        QMutexLocker lock(&m_mutex);
        const QStringList uids = m_pending.keys();
        for (const QString &uid : uids) {
            const Entry before = m_pending.value(uid);
            if (m_pendingRemovals.contains(uid)) {
                if (!before.path.isEmpty() && QFile::exists(before.path) && !QFile::remove(before.path)) {
                    if (first.isNull())
                        first = bookError(RemoveError, QStringLiteral("The contact card cannot be removed."), before.path);
                    continue;
                }
                m_pendingRemovals.remove(uid);
                m_pending.remove(uid);
                deleted << uid;
                continue;
            }
            Entry &entry = m_entries[uid];
            entry.record.setModificationDate(QDateTime::currentDateTimeUtc());
            const QByteArray data = VCardCodec::write(entry.record.toVCard());
            QDir().mkpath(QFileInfo(entry.path).absolutePath());
            QSaveFile file(entry.path);
            if (!file.open(QIODevice::WriteOnly) || file.write(data) != data.size() || !file.commit()) {
                if (first.isNull())
                    first = bookError(WriteError,
                                      QStringLiteral("The contact card cannot be written: %1").arg(file.errorString()),
                                      entry.path);
                continue;
            }
            if (!before.path.isEmpty() && before.path != entry.path)
                QFile::remove(before.path);
            // Read back as the rescan would, so that our own write is not reported as someone else's.
            const QFileInfo info(entry.path);
            entry.record = ContactRecord::fromVCard(VCardCodec::read(data).value(0), info.completeBaseName());
            entry.hash = contentHash(data);
            entry.size = info.size();
            entry.mtime = info.lastModified().toMSecsSinceEpoch();
            entry.checkedAt = QDateTime::currentMSecsSinceEpoch();
            (before.path.isEmpty() ? inserted : updated) << uid;
            m_pending.remove(uid);
        }
        if (m_watcher)
            watchFoldersLocked();
    }
    if (!inserted.isEmpty() || !updated.isEmpty() || !deleted.isEmpty())
        emit changedInternally(inserted, updated, deleted);
    if (!first.isNull())
        return setError(error, first);
    return true;
}

void AddressBook::revert()
{
    QMutexLocker lock(&m_mutex);
    for (auto it = m_pending.cbegin(); it != m_pending.cend(); ++it) {
        if (it->path.isEmpty())
            m_entries.remove(it.key());
        else
            m_entries.insert(it.key(), *it);
    }
    m_pending.clear();
    m_pendingRemovals.clear();
}

} // namespace platform::contacts
