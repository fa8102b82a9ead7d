#include "platform/keychain/Keychain.h"

#include "platform/core/Clock.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLockFile>
#include <QSaveFile>
#include <QStandardPaths>

#include <mutex>
#include <set>

namespace platform::keychain {

namespace {

// Threads of one process queue here; the lock file is what keeps two processes apart.
std::mutex &processWriteMutex()
{
    static std::mutex mutex;
    return mutex;
}

const QString kService = QStringLiteral("svce");
const QString kAccount = QStringLiteral("acct");
const QString kLabel = QStringLiteral("labl");
const QString kCreated = QStringLiteral("cdat");
const QString kModified = QStringLiteral("mdat");
const QString kData = QStringLiteral("data");

QByteArray checksum(const QByteArray &payload)
{
    return QCryptographicHash::hash(payload, QCryptographicHash::Sha256).toHex().left(16);
}

QString dateText(const QDateTime &date)
{
    return date.isValid() ? date.toUTC().toString(Qt::ISODateWithMs) : QString();
}

QDateTime dateFromText(const QString &text)
{
    QDateTime date = QDateTime::fromString(text, Qt::ISODateWithMs);
    return date.isValid() ? date.toUTC() : QDateTime();
}

QByteArray encodeLine(const Item &item)
{
    QJsonObject object;
    object.insert(kService, item.service);
    object.insert(kAccount, item.account);
    if (!item.label.isNull())
        object.insert(kLabel, item.label);
    object.insert(kCreated, dateText(item.created));
    object.insert(kModified, dateText(item.modified));
    object.insert(kData, QString::fromLatin1(item.data.toBase64()));
    const QByteArray payload = QJsonDocument(object).toJson(QJsonDocument::Compact);
    return checksum(payload) + '\t' + payload;
}

bool decodeLine(const QByteArray &line, Item *item)
{
    const qsizetype tab = line.indexOf('\t');
    if (tab <= 0)
        return false;
    const QByteArray sum = line.left(tab);
    const QByteArray payload = line.mid(tab + 1);
    if (sum != checksum(payload))
        return false;
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(payload, &parseError);
    if (parseError.error != QJsonParseError::NoError || !document.isObject())
        return false;
    const QJsonObject object = document.object();
    if (!object.value(kService).isString() || !object.value(kAccount).isString() || !object.value(kData).isString())
        return false;
    const auto decoded = QByteArray::fromBase64Encoding(object.value(kData).toString().toLatin1(),
                                                        QByteArray::AbortOnBase64DecodingErrors);
    if (!decoded)
        return false;
    item->service = object.value(kService).toString();
    item->account = object.value(kAccount).toString();
    item->label = object.contains(kLabel) ? object.value(kLabel).toString() : QString();
    item->data = *decoded;
    item->created = dateFromText(object.value(kCreated).toString());
    item->modified = dateFromText(object.value(kModified).toString());
    return true;
}

bool matches(const Item &item, const QString &service, const QString &account)
{
    return item.service == service && item.account == account;
}

} // namespace

QString statusMessage(qint64 status)
{
    switch (status) {
    case Success:
        return QStringLiteral("No error.");
    case ItemNotFound:
        return QStringLiteral("The item could not be found in the keychain.");
    case FileError:
        return QStringLiteral("The keychain file could not be read or written.");
    case DamagedFile:
        return QStringLiteral("The keychain file is damaged; some of its items could not be read.");
    case Busy:
        return QStringLiteral("The keychain is in use by another program.");
    }
    return QString();
}

// The file as read: every line in order, each either an item or the raw text of a line that could not be
// read, which is written back exactly as found.
struct Keychain::Contents
{
    struct Line
    {
        bool readable = false;
        Item item;
        QByteArray raw;
    };
    std::vector<Line> lines;
    int damaged = 0;

    const Item *find(const QString &service, const QString &account) const
    {
        for (const Line &line : lines)
            if (line.readable && matches(line.item, service, account))
                return &line.item;
        return nullptr;
    }
};

QString Keychain::defaultFilePath()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QStringLiteral("/Quendel/keychain");
}

Keychain::Keychain(QString filePath) : m_filePath(std::move(filePath)) {}

Status Keychain::load(Contents *contents) const
{
    QFile file(m_filePath);
    if (!file.exists())
        return Success;
    if (!file.open(QIODevice::ReadOnly))
        return FileError;
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        return FileError;

    std::set<std::pair<QString, QString>> seen;
    bool first = true;
    for (const QByteArray &rawLine : bytes.split('\n')) {
        const bool isFirst = first;
        first = false;
        if (rawLine.isEmpty())
            continue;
        if (isFirst && rawLine == FileHeader)
            continue;
        Contents::Line line;
        line.raw = rawLine;
        line.readable = decodeLine(rawLine, &line.item);
        // A second copy of an item can only come from outside; the first stays the item, the copy is kept as text.
        if (line.readable && !seen.insert({line.item.service, line.item.account}).second)
            line.readable = false;
        if (!line.readable)
            ++contents->damaged;
        contents->lines.push_back(std::move(line));
    }
    return Success;
}

Status Keychain::write(const Contents &contents) const
{
    QByteArray bytes = FileHeader + '\n';
    for (const Contents::Line &line : contents.lines)
        bytes += (line.readable ? encodeLine(line.item) : line.raw) + '\n';

    QSaveFile file(m_filePath);
    if (!file.open(QIODevice::WriteOnly))
        return FileError;
    // The temporary file is made private before a single secret goes into it.
    if (!file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner))
        return FileError;
    if (file.write(bytes) != bytes.size())
        return FileError;
    if (!file.commit())
        return FileError;
    return Success;
}

template <typename Change> Status Keychain::modify(Change change)
{
    std::lock_guard guard(processWriteMutex());
    const QDir dir = QFileInfo(m_filePath).dir();
    if (!dir.exists()) {
        if (!QDir().mkpath(dir.path()))
            return FileError;
        QFile::setPermissions(dir.path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    }
    QLockFile lock(m_filePath + QStringLiteral(".lock"));
    if (!lock.tryLock(m_lockTimeoutMs))
        return lock.error() == QLockFile::LockFailedError ? Busy : FileError;

    Contents contents;
    if (Status status = load(&contents); status != Success)
        return status;
    if (Status status = change(contents); status != Success)
        return status;
    return write(contents);
}

Status Keychain::save(const Item &item)
{
    return modify([&](Contents &contents) {
        Item stored = item;
        stored.created = platform::core::Clock::now();
        stored.modified = stored.created;
        for (Contents::Line &line : contents.lines) {
            if (line.readable && matches(line.item, item.service, item.account)) {
                line.item = stored;
                return Success;
            }
        }
        Contents::Line line;
        line.readable = true;
        line.item = stored;
        contents.lines.push_back(std::move(line));
        return Success;
    });
}

Status Keychain::remove(const QString &service, const QString &account)
{
    return modify([&](Contents &contents) {
        for (auto it = contents.lines.begin(); it != contents.lines.end(); ++it) {
            if (it->readable && matches(it->item, service, account)) {
                contents.lines.erase(it);
                return Success;
            }
        }
        return contents.damaged > 0 ? DamagedFile : ItemNotFound;
    });
}

Status Keychain::find(const QString &service, const QString &account, Item *out) const
{
    Contents contents;
    if (Status status = load(&contents); status != Success)
        return status;
    const Item *item = contents.find(service, account);
    if (!item)
        return contents.damaged > 0 ? DamagedFile : ItemNotFound;
    if (out)
        *out = *item;
    return Success;
}

Status Keychain::findAll(const QString &service, std::vector<Item> *out, int *damagedLines) const
{
    Contents contents;
    Status status = load(&contents);
    if (damagedLines)
        *damagedLines = contents.damaged;
    if (status != Success)
        return status;
    std::vector<Item> items;
    for (const Contents::Line &line : contents.lines)
        if (line.readable && (service.isNull() || line.item.service == service))
            items.push_back(line.item);
    if (items.empty())
        return contents.damaged > 0 ? DamagedFile : ItemNotFound;
    if (out)
        *out = std::move(items);
    return Success;
}

} // namespace platform::keychain
