#include "platform/core/UserDefaults.h"

#include "platform/core/KeyedArchive.h"

#include <QDir>
#include <QLocale>
#include <QRegularExpression>
#include <QSettings>
#include <QStandardPaths>

#include <cmath>
#include <limits>
#include <mutex>

namespace platform::core {

namespace {

std::mutex g_standardMutex;
std::shared_ptr<UserDefaults> g_standard;

// The INI format keeps only text, so every value is stored as text that says its own type:
// "s:" string, "b:" bool, "i:" integer, "d:" double, "t:" date (ISO 8601, UTC, milliseconds), and "a:" the
// base64 of a keyed archive for everything else (data, lists, dictionaries, date components, null marker).
// Text without one of these prefixes (a file edited by hand) is read as a plain string.
const QLatin1String StringPrefix("s:");
const QLatin1String BoolPrefix("b:");
const QLatin1String IntegerPrefix("i:");
const QLatin1String DoublePrefix("d:");
const QLatin1String DatePrefix("t:");
const QLatin1String ArchivePrefix("a:");

// The C locale, strict: "1,000" is not a number.
const QLocale &strictC()
{
    static const QLocale locale = [] {
        QLocale l = QLocale::c();
        l.setNumberOptions(QLocale::OmitGroupSeparator | QLocale::RejectGroupSeparator);
        return l;
    }();
    return locale;
}

std::optional<QString> encodeValue(const QVariant &value, QDError *error)
{
    switch (value.typeId()) {
    case QMetaType::QString:
        if (!value.toString().isNull())
            return StringPrefix + value.toString();
        break;
    case QMetaType::Bool:
        return BoolPrefix + (value.toBool() ? QLatin1Char('1') : QLatin1Char('0'));
    case QMetaType::Int:
    case QMetaType::Short:
    case QMetaType::Char:
    case QMetaType::SChar:
    case QMetaType::Long:
    case QMetaType::LongLong:
        return IntegerPrefix + QString::number(value.toLongLong());
    case QMetaType::UInt:
    case QMetaType::UShort:
    case QMetaType::UChar:
    case QMetaType::ULong:
    case QMetaType::ULongLong:
        if (value.toULongLong() <= quint64(std::numeric_limits<qint64>::max()))
            return IntegerPrefix + QString::number(value.toLongLong());
        break;
    case QMetaType::Double:
    case QMetaType::Float:
        if (std::isfinite(value.toDouble()))
            return DoublePrefix + QString::number(value.toDouble(), 'g', QLocale::FloatingPointShortest);
        break;
    case QMetaType::QDateTime:
        if (value.toDateTime().isValid())
            return DatePrefix + value.toDateTime().toUTC().toString(Qt::ISODateWithMs);
        break;
    default:
        break;
    }
    const QByteArray archived = KeyedArchive::archive(value, error);
    if (archived.isEmpty())
        return std::nullopt;
    return ArchivePrefix + QString::fromLatin1(archived.toBase64());
}

QVariant decodeValue(const QVariant &raw)
{
    if (raw.typeId() != QMetaType::QString)
        return raw;
    const QString text = raw.toString();
    const QStringView rest = QStringView(text).mid(2);
    if (text.startsWith(StringPrefix))
        return QVariant(rest.toString());
    if (text.startsWith(BoolPrefix))
        return QVariant(rest == QLatin1String("1"));
    if (text.startsWith(IntegerPrefix)) {
        bool ok = false;
        const qint64 v = rest.toLongLong(&ok);
        if (ok)
            return QVariant(v);
    } else if (text.startsWith(DoublePrefix)) {
        bool ok = false;
        const double v = strictC().toDouble(rest, &ok);
        if (ok)
            return QVariant(v);
    } else if (text.startsWith(DatePrefix)) {
        const QDateTime d = QDateTime::fromString(rest.toString(), Qt::ISODateWithMs);
        if (d.isValid())
            return QVariant(d.toUTC());
    } else if (text.startsWith(ArchivePrefix)) {
        const auto bytes =
            QByteArray::fromBase64Encoding(rest.toLatin1(), QByteArray::AbortOnBase64DecodingErrors);
        if (bytes) {
            if (auto value = KeyedArchive::unarchive(bytes.decoded))
                return *value;
        }
    }
    return QVariant(text);
}

// QSettings reads "/" and "\\" in a key as group separators; escaping them keeps every key flat, so that
// removing "a" never takes "a/b" with it.
QString escapeKey(const QString &key)
{
    QString out = key;
    out.replace(QLatin1Char('%'), QLatin1String("%25"));
    out.replace(QLatin1Char('/'), QLatin1String("%2F"));
    out.replace(QLatin1Char('\\'), QLatin1String("%5C"));
    return out;
}

QString unescapeKey(const QString &key)
{
    QString out;
    out.reserve(key.size());
    for (qsizetype i = 0; i < key.size(); ++i) {
        const QStringView code = QStringView(key).mid(i, 3);
        if (code == QLatin1String("%25")) {
            out += QLatin1Char('%');
            i += 2;
        } else if (code == QLatin1String("%2F")) {
            out += QLatin1Char('/');
            i += 2;
        } else if (code == QLatin1String("%5C")) {
            out += QLatin1Char('\\');
            i += 2;
        } else {
            out += key.at(i);
        }
    }
    return out;
}

bool isNumber(const QVariant &v)
{
    switch (v.typeId()) {
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::Short:
    case QMetaType::UShort:
    case QMetaType::Char:
    case QMetaType::SChar:
    case QMetaType::UChar:
    case QMetaType::Long:
    case QMetaType::ULong:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Double:
    case QMetaType::Float:
    case QMetaType::Bool:
        return true;
    default:
        return false;
    }
}

bool isFloating(const QVariant &v)
{
    return v.typeId() == QMetaType::Double || v.typeId() == QMetaType::Float;
}

qint64 clampToInteger(double d)
{
    if (std::isnan(d))
        return 0;
    if (d >= 9223372036854775807.0)
        return std::numeric_limits<qint64>::max();
    if (d <= -9223372036854775808.0)
        return std::numeric_limits<qint64>::min();
    return qint64(d);
}

// The leading number of a text, as a settings value typed in by hand would be read: "12abc" is 12.
qint64 leadingInteger(const QString &text)
{
    static const QRegularExpression re(QStringLiteral("^\\s*([+-]?\\d+)"));
    const auto m = re.match(text);
    if (!m.hasMatch())
        return 0;
    bool ok = false;
    const qint64 v = m.captured(1).toLongLong(&ok);
    if (ok)
        return v;
    return m.captured(1).startsWith(QLatin1Char('-')) ? std::numeric_limits<qint64>::min()
                                                      : std::numeric_limits<qint64>::max();
}

double leadingDouble(const QString &text)
{
    static const QRegularExpression re(QStringLiteral("^\\s*([+-]?(\\d+\\.?\\d*|\\.\\d+)([eE][+-]?\\d+)?)"));
    const auto m = re.match(text);
    if (!m.hasMatch())
        return 0.0;
    return strictC().toDouble(m.captured(1));
}

QDError saveError(const QString &filePath)
{
    return QDError::withDescription(
        QuendelErrorDomain, UserDefaults::FileWriteError,
        QStringLiteral("The user defaults couldn\u2019t be saved to \u201c%1\u201d.").arg(filePath),
        {{QDError::FilePathKey, filePath}});
}

} // namespace

std::shared_ptr<UserDefaults> UserDefaults::standardUserDefaults()
{
    std::lock_guard lock(g_standardMutex);
    if (!g_standard)
        g_standard = std::make_shared<UserDefaults>(standardFilePath());
    return g_standard;
}

void UserDefaults::setStandardUserDefaults(std::shared_ptr<UserDefaults> defaults)
{
    std::lock_guard lock(g_standardMutex);
    g_standard = std::move(defaults);
}

QString UserDefaults::standardFilePath()
{
    const QString config = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    return QDir(config).filePath(QStringLiteral("Quendel/Quendel.ini"));
}

UserDefaults::UserDefaults(const QString &filePath)
    : m_filePath(filePath), m_settings(std::make_unique<QSettings>(filePath, QSettings::IniFormat))
{
    // Every change is synced by hand at once; detached from any thread, the object never syncs itself from
    // an event loop behind the lock's back.
    m_settings->moveToThread(nullptr);
}

UserDefaults::~UserDefaults()
{
    QMutexLocker lock(&m_mutex);
    m_settings->sync();
}

void UserDefaults::registerDefaults(const QVariantMap &defaults)
{
    QMutexLocker lock(&m_mutex);
    for (auto it = defaults.constBegin(); it != defaults.constEnd(); ++it)
        m_registered.insert(it.key(), it.value());
}

QVariantMap UserDefaults::registeredDefaults() const
{
    QMutexLocker lock(&m_mutex);
    return m_registered;
}

QVariant UserDefaults::storedValueLocked(const QString &key) const
{
    const QVariant raw = m_settings->value(escapeKey(key));
    if (!raw.isValid())
        return QVariant();
    return decodeValue(raw);
}

QVariant UserDefaults::objectForKey(const QString &key) const
{
    if (key.isEmpty())
        return QVariant();
    QMutexLocker lock(&m_mutex);
    const QVariant stored = storedValueLocked(key);
    if (stored.isValid())
        return stored;
    return m_registered.value(key);
}

QString UserDefaults::stringForKey(const QString &key) const
{
    const QVariant v = objectForKey(key);
    if (v.typeId() == QMetaType::QString)
        return v.toString();
    if (v.typeId() == QMetaType::Bool)
        return v.toBool() ? QStringLiteral("1") : QStringLiteral("0");
    if (isFloating(v))
        return QString::number(v.toDouble(), 'g', QLocale::FloatingPointShortest);
    if (isNumber(v))
        return v.toString();
    return QString();
}

bool UserDefaults::boolForKey(const QString &key) const
{
    const QVariant v = objectForKey(key);
    if (v.typeId() == QMetaType::Bool)
        return v.toBool();
    if (isFloating(v))
        return v.toDouble() != 0.0;
    if (isNumber(v))
        return v.toLongLong() != 0 || v.toULongLong() != 0;
    if (v.typeId() == QMetaType::QString) {
        // "YES", "true" and any text that starts with a non-zero number count as true.
        QString text = v.toString().trimmed();
        if (text.isEmpty())
            return false;
        const QChar first = text.at(0).toLower();
        if (first == QLatin1Char('y') || first == QLatin1Char('t'))
            return true;
        if (first == QLatin1Char('+') || first == QLatin1Char('-'))
            text.remove(0, 1);
        for (QChar c : text) {
            if (c == QLatin1Char('0'))
                continue;
            return c >= QLatin1Char('1') && c <= QLatin1Char('9');
        }
    }
    return false;
}

qint64 UserDefaults::integerForKey(const QString &key) const
{
    const QVariant v = objectForKey(key);
    if (isFloating(v))
        return clampToInteger(v.toDouble());
    if (v.typeId() == QMetaType::ULongLong || v.typeId() == QMetaType::ULong)
        return v.toULongLong() > quint64(std::numeric_limits<qint64>::max()) ? std::numeric_limits<qint64>::max()
                                                                              : v.toLongLong();
    if (isNumber(v))
        return v.toLongLong();
    if (v.typeId() == QMetaType::QString)
        return leadingInteger(v.toString());
    return 0;
}

double UserDefaults::doubleForKey(const QString &key) const
{
    const QVariant v = objectForKey(key);
    if (isNumber(v))
        return v.toDouble();
    if (v.typeId() == QMetaType::QString)
        return leadingDouble(v.toString());
    return 0.0;
}

QDateTime UserDefaults::dateForKey(const QString &key) const
{
    const QVariant v = objectForKey(key);
    if (v.typeId() == QMetaType::QDateTime && v.toDateTime().isValid())
        return v.toDateTime().toUTC();
    return QDateTime();
}

QByteArray UserDefaults::dataForKey(const QString &key) const
{
    const QVariant v = objectForKey(key);
    if (v.typeId() == QMetaType::QByteArray)
        return v.toByteArray();
    return QByteArray();
}

QVariantList UserDefaults::arrayForKey(const QString &key) const
{
    const QVariant v = objectForKey(key);
    if (v.typeId() == QMetaType::QVariantList || v.typeId() == QMetaType::QStringList)
        return v.toList();
    return QVariantList();
}

QVariantMap UserDefaults::dictionaryForKey(const QString &key) const
{
    const QVariant v = objectForKey(key);
    if (v.typeId() == QMetaType::QVariantMap || v.typeId() == QMetaType::QVariantHash)
        return v.toMap();
    return QVariantMap();
}

bool UserDefaults::setObject(const QVariant &value, const QString &key, QDError *error)
{
    if (key.isEmpty())
        return setError(error, QDError::withDescription(QuendelErrorDomain, InvalidKeyError,
                                                        QStringLiteral("A user default needs a non-empty key.")));
    if (!value.isValid()) {
        removeObjectForKey(key);
        return true;
    }
    const auto encoded = encodeValue(value, error);
    if (!encoded)
        return false;
    QMutexLocker lock(&m_mutex);
    m_settings->setValue(escapeKey(key), *encoded);
    m_settings->sync();
    if (m_settings->status() != QSettings::NoError)
        return setError(error, saveError(m_filePath));
    return true;
}

void UserDefaults::setBool(bool value, const QString &key)
{
    setObject(QVariant(value), key);
}

void UserDefaults::setInteger(qint64 value, const QString &key)
{
    setObject(QVariant(value), key);
}

void UserDefaults::setDouble(double value, const QString &key)
{
    setObject(QVariant(value), key);
}

void UserDefaults::removeObjectForKey(const QString &key)
{
    if (key.isEmpty())
        return;
    QMutexLocker lock(&m_mutex);
    m_settings->remove(escapeKey(key));
    m_settings->sync();
}

bool UserDefaults::synchronize(QDError *error)
{
    QMutexLocker lock(&m_mutex);
    m_settings->sync();
    if (m_settings->status() == QSettings::AccessError)
        return setError(error, saveError(m_filePath));
    return true;
}

QVariantMap UserDefaults::dictionaryRepresentation() const
{
    QMutexLocker lock(&m_mutex);
    QVariantMap result = m_registered;
    const QStringList keys = m_settings->allKeys();
    for (const QString &key : keys) {
        const QVariant v = decodeValue(m_settings->value(key));
        if (v.isValid())
            result.insert(unescapeKey(key), v);
    }
    return result;
}

} // namespace platform::core
