#include "platform/store/Collations.h"

#include <QCollator>
#include <QLocale>
#include <QStringView>

#include <sqlite3.h>

#include <cstring>
#include <vector>

namespace platform::store {

namespace {

// Reads UTF-8 (including the three-byte form of unpaired surrogates that toSqliteText writes) as a stream of
// UTF-16 code units. Malformed bytes read as U+FFFD, one per byte, like a lenient decoder would.
class Utf16Reader
{
public:
    Utf16Reader(const unsigned char *begin, const unsigned char *end) : m_p(begin), m_end(end) {}

    bool next(char16_t &out)
    {
        if (m_pending) {
            out = m_pending;
            m_pending = 0;
            return true;
        }
        if (m_p >= m_end)
            return false;
        const unsigned c = *m_p;
        if (c < 0x80) {
            out = char16_t(c);
            ++m_p;
            return true;
        }
        int extra = 0;
        char32_t cp = 0;
        if ((c & 0xE0) == 0xC0) {
            extra = 1;
            cp = c & 0x1F;
        } else if ((c & 0xF0) == 0xE0) {
            extra = 2;
            cp = c & 0x0F;
        } else if ((c & 0xF8) == 0xF0) {
            extra = 3;
            cp = c & 0x07;
        } else {
            out = 0xFFFD;
            ++m_p;
            return true;
        }
        if (m_end - m_p <= extra) {
            out = 0xFFFD;
            ++m_p;
            return true;
        }
        for (int i = 1; i <= extra; ++i) {
            const unsigned b = m_p[i];
            if ((b & 0xC0) != 0x80) {
                out = 0xFFFD;
                ++m_p;
                return true;
            }
            cp = (cp << 6) | (b & 0x3F);
        }
        m_p += extra + 1;
        if (cp >= 0x10000 && cp <= 0x10FFFF) {
            cp -= 0x10000;
            out = char16_t(0xD800 + (cp >> 10));
            m_pending = char16_t(0xDC00 + (cp & 0x3FF));
        } else if (cp > 0x10FFFF) {
            out = 0xFFFD;
        } else {
            out = char16_t(cp);
        }
        return true;
    }

private:
    const unsigned char *m_p;
    const unsigned char *m_end;
    char16_t m_pending = 0;
};

int utf16CollationCompare(void *, int sizeA, const void *dataA, int sizeB, const void *dataB)
{
    const auto *a = static_cast<const unsigned char *>(dataA);
    const auto *b = static_cast<const unsigned char *>(dataB);
    const int common = std::min(sizeA, sizeB);
    int i = 0;
    while (i < common && a[i] == b[i])
        ++i;
    if (i == sizeA && i == sizeB)
        return 0;
    // The texts agree up to byte i; decode from the start of the character that holds it.
    auto continuation = [](const unsigned char *s, int size, int at) { return at < size && (s[at] & 0xC0) == 0x80; };
    while (i > 0 && (continuation(a, sizeA, i) || continuation(b, sizeB, i)))
        --i;
    Utf16Reader ra(a + i, a + sizeA);
    Utf16Reader rb(b + i, b + sizeB);
    for (;;) {
        char16_t ua = 0, ub = 0;
        const bool ha = ra.next(ua);
        const bool hb = rb.next(ub);
        if (!ha || !hb)
            return ha ? 1 : (hb ? -1 : 0);
        if (ua != ub)
            return ua < ub ? -1 : 1;
    }
}

QString textOf(const void *data, int size)
{
    return fromSqliteText(static_cast<const char *>(data), size);
}

int localizedNoCaseCollationCompare(void *, int sizeA, const void *dataA, int sizeB, const void *dataB)
{
    return compareLocalizedNoCase(textOf(dataA, sizeA), textOf(dataB, sizeB));
}

int caseFoldCollationCompare(void *, int sizeA, const void *dataA, int sizeB, const void *dataB)
{
    return compareCaseFolded(textOf(dataA, sizeA), textOf(dataB, sizeB));
}

int decimalCollationCompare(void *, int sizeA, const void *dataA, int sizeB, const void *dataB)
{
    return compareDecimalText(textOf(dataA, sizeA), textOf(dataB, sizeB));
}

QString valueText(sqlite3_value *value)
{
    const auto *data = reinterpret_cast<const char *>(sqlite3_value_text(value));
    return fromSqliteText(data, sqlite3_value_bytes(value));
}

void foldFunction(sqlite3_context *context, int, sqlite3_value **argv)
{
    if (sqlite3_value_type(argv[0]) == SQLITE_NULL) {
        sqlite3_result_null(context);
        return;
    }
    const StringOptions options = StringOptions::fromInt(sqlite3_value_int(argv[1]));
    const QByteArray folded = toSqliteText(foldString(valueText(argv[0]), options));
    sqlite3_result_text(context, folded.constData(), int(folded.size()), SQLITE_TRANSIENT);
}

void likeFunction(sqlite3_context *context, int, sqlite3_value **argv)
{
    if (sqlite3_value_type(argv[0]) == SQLITE_NULL || sqlite3_value_type(argv[1]) == SQLITE_NULL) {
        sqlite3_result_null(context);
        return;
    }
    sqlite3_result_int(context, likeMatch(valueText(argv[0]), valueText(argv[1])) ? 1 : 0);
}

struct Decimal
{
    bool negative = false;
    QByteArray digits; // significant digits, no leading or trailing zeros; empty for zero
    qint64 exponent = 0; // value = 0.<digits> x 10^exponent
};

bool parseDecimal(QStringView text, Decimal &out)
{
    qsizetype i = 0;
    const qsizetype n = text.size();
    bool negative = false;
    if (i < n && (text[i] == u'+' || text[i] == u'-')) {
        negative = text[i] == u'-';
        ++i;
    }
    QByteArray digits;
    qint64 integerDigits = 0;
    bool any = false;
    while (i < n && text[i] >= u'0' && text[i] <= u'9') {
        digits += char(text[i].unicode());
        ++integerDigits;
        ++i;
        any = true;
    }
    if (i < n && text[i] == u'.') {
        ++i;
        while (i < n && text[i] >= u'0' && text[i] <= u'9') {
            digits += char(text[i].unicode());
            ++i;
            any = true;
        }
    }
    if (!any)
        return false;
    qint64 exponent = 0;
    if (i < n && (text[i] == u'e' || text[i] == u'E')) {
        ++i;
        bool negativeExponent = false;
        if (i < n && (text[i] == u'+' || text[i] == u'-')) {
            negativeExponent = text[i] == u'-';
            ++i;
        }
        bool anyExponent = false;
        while (i < n && text[i] >= u'0' && text[i] <= u'9') {
            if (exponent < 1000000000)
                exponent = exponent * 10 + (text[i].unicode() - u'0');
            ++i;
            anyExponent = true;
        }
        if (!anyExponent)
            return false;
        if (negativeExponent)
            exponent = -exponent;
    }
    if (i != n)
        return false;
    qsizetype leading = 0;
    while (leading < digits.size() && digits[leading] == '0')
        ++leading;
    qsizetype end = digits.size();
    while (end > leading && digits[end - 1] == '0')
        --end;
    out.digits = digits.mid(leading, end - leading);
    out.negative = negative && !out.digits.isEmpty();
    out.exponent = out.digits.isEmpty() ? 0 : integerDigits - leading + exponent;
    return true;
}

int compareDecimals(const Decimal &a, const Decimal &b)
{
    auto sign = [](const Decimal &d) { return d.digits.isEmpty() ? 0 : (d.negative ? -1 : 1); };
    const int sa = sign(a), sb = sign(b);
    if (sa != sb)
        return sa < sb ? -1 : 1;
    if (sa == 0)
        return 0;
    int magnitude = 0;
    if (a.exponent != b.exponent) {
        magnitude = a.exponent < b.exponent ? -1 : 1;
    } else {
        const qsizetype common = std::min(a.digits.size(), b.digits.size());
        const int c = std::memcmp(a.digits.constData(), b.digits.constData(), size_t(common));
        if (c != 0)
            magnitude = c < 0 ? -1 : 1;
        else if (a.digits.size() != b.digits.size())
            magnitude = a.digits.size() < b.digits.size() ? -1 : 1;
    }
    return sa > 0 ? magnitude : -magnitude;
}

char32_t codePointAt(const QString &s, qsizetype &i)
{
    const char16_t u = s.at(i).unicode();
    if (QChar::isHighSurrogate(u) && i + 1 < s.size() && QChar::isLowSurrogate(s.at(i + 1).unicode())) {
        const char32_t cp = QChar::surrogateToUcs4(u, s.at(i + 1).unicode());
        i += 2;
        return cp;
    }
    ++i;
    return u;
}

std::vector<char32_t> codePoints(const QString &s)
{
    std::vector<char32_t> out;
    out.reserve(size_t(s.size()));
    for (qsizetype i = 0; i < s.size();)
        out.push_back(codePointAt(s, i));
    return out;
}

} // namespace

bool registerCollations(sqlite3 *db, QString *problem)
{
    struct Collation
    {
        const char *name;
        int (*compare)(void *, int, const void *, int, const void *);
    };
    static const Collation collations[] = {
        {kUtf16Collation, utf16CollationCompare},
        {kLocalizedNoCaseCollation, localizedNoCaseCollationCompare},
        {kCaseFoldCollation, caseFoldCollationCompare},
        {kDecimalCollation, decimalCollationCompare},
    };
    for (const Collation &c : collations) {
        if (sqlite3_create_collation_v2(db, c.name, SQLITE_UTF8, nullptr, c.compare, nullptr) != SQLITE_OK) {
            if (problem)
                *problem = QStringLiteral("cannot register the collation %1: %2").arg(QLatin1String(c.name), QString::fromUtf8(sqlite3_errmsg(db)));
            return false;
        }
    }
    const int flags = SQLITE_UTF8 | SQLITE_DETERMINISTIC | SQLITE_INNOCUOUS;
    if (sqlite3_create_function_v2(db, kFoldFunction, 2, flags, nullptr, foldFunction, nullptr, nullptr, nullptr) != SQLITE_OK
        || sqlite3_create_function_v2(db, kLikeFunction, 2, flags, nullptr, likeFunction, nullptr, nullptr, nullptr) != SQLITE_OK) {
        if (problem)
            *problem = QStringLiteral("cannot register the text functions: %1").arg(QString::fromUtf8(sqlite3_errmsg(db)));
        return false;
    }
    return true;
}

int compareUtf16(const QString &a, const QString &b)
{
    const int c = QString::compare(a, b, Qt::CaseSensitive);
    return c < 0 ? -1 : (c > 0 ? 1 : 0);
}

int compareCodePoints(const QString &a, const QString &b)
{
    qsizetype i = 0, j = 0;
    while (i < a.size() && j < b.size()) {
        const char32_t ca = codePointAt(a, i);
        const char32_t cb = codePointAt(b, j);
        if (ca != cb)
            return ca < cb ? -1 : 1;
    }
    if (i < a.size())
        return 1;
    return j < b.size() ? -1 : 0;
}

int compareLocalizedNoCase(const QString &a, const QString &b)
{
    // QCollator may not be shared between threads; each thread that sorts keeps its own.
    thread_local QCollator collator = [] {
        QCollator c{QLocale()};
        c.setCaseSensitivity(Qt::CaseInsensitive);
        return c;
    }();
    const int c = collator.compare(a, b);
    return c < 0 ? -1 : (c > 0 ? 1 : 0);
}

int compareCaseFolded(const QString &a, const QString &b)
{
    return compareUtf16(foldString(a, StringOption::CaseInsensitive), foldString(b, StringOption::CaseInsensitive));
}

int compareDecimalText(const QString &a, const QString &b)
{
    Decimal da, db;
    const bool okA = parseDecimal(a, da);
    const bool okB = parseDecimal(b, db);
    if (okA && okB)
        return compareDecimals(da, db);
    if (okA != okB)
        return okA ? -1 : 1;
    return compareCodePoints(a, b);
}

bool isDecimalText(const QString &text)
{
    Decimal d;
    return parseDecimal(text, d);
}

QString foldString(const QString &text, StringOptions options)
{
    if (text.isNull() || !options)
        return text;
    QString result;
    if (options.testFlag(StringOption::DiacriticInsensitive)) {
        const QString decomposed = text.normalized(QString::NormalizationForm_D);
        result.reserve(decomposed.size());
        for (qsizetype i = 0; i < decomposed.size();) {
            const qsizetype start = i;
            const char32_t cp = codePointAt(decomposed, i);
            if (QChar::category(cp) != QChar::Mark_NonSpacing)
                result.append(decomposed.constData() + start, i - start);
        }
        result = result.normalized(QString::NormalizationForm_C);
    } else {
        result = text.normalized(QString::NormalizationForm_C);
    }
    if (options.testFlag(StringOption::CaseInsensitive))
        result = result.toCaseFolded();
    if (result.isNull())
        result = QLatin1String("");
    return result;
}

bool likeMatch(const QString &text, const QString &pattern)
{
    const std::vector<char32_t> t = codePoints(text);
    const std::vector<char32_t> p = codePoints(pattern);
    size_t ti = 0, pi = 0;
    size_t star = size_t(-1), mark = 0;
    while (ti < t.size()) {
        if (pi < p.size() && p[pi] != U'*' && (p[pi] == U'?' || p[pi] == t[ti])) {
            ++ti;
            ++pi;
        } else if (pi < p.size() && p[pi] == U'*') {
            star = pi++;
            mark = ti;
        } else if (star != size_t(-1)) {
            pi = star + 1;
            ti = ++mark;
        } else {
            return false;
        }
    }
    while (pi < p.size() && p[pi] == U'*')
        ++pi;
    return pi == p.size();
}

QByteArray toSqliteText(const QString &text)
{
    if (text.isValidUtf16())
        return text.toUtf8();
    QByteArray out;
    out.reserve(text.size() * 3);
    for (qsizetype i = 0; i < text.size();) {
        const char32_t cp = codePointAt(text, i);
        if (cp < 0x80) {
            out += char(cp);
        } else if (cp < 0x800) {
            out += char(0xC0 | (cp >> 6));
            out += char(0x80 | (cp & 0x3F));
        } else if (cp < 0x10000) {
            out += char(0xE0 | (cp >> 12));
            out += char(0x80 | ((cp >> 6) & 0x3F));
            out += char(0x80 | (cp & 0x3F));
        } else {
            out += char(0xF0 | (cp >> 18));
            out += char(0x80 | ((cp >> 12) & 0x3F));
            out += char(0x80 | ((cp >> 6) & 0x3F));
            out += char(0x80 | (cp & 0x3F));
        }
    }
    return out;
}

QString fromSqliteText(const char *data, int size)
{
    if (!data)
        return QString();
    QString out;
    out.reserve(size);
    const auto *begin = reinterpret_cast<const unsigned char *>(data);
    Utf16Reader reader(begin, begin + size);
    char16_t unit = 0;
    while (reader.next(unit))
        out.append(QChar(unit));
    if (out.isNull())
        out = QLatin1String("");
    return out;
}

} // namespace platform::store
