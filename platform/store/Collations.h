#pragma once

#include <QByteArray>
#include <QFlags>
#include <QString>

struct sqlite3;

namespace platform::store {

// How a text comparison treats letter case and accents. No option compares the texts as they are (what a
// search over already normalised copies wants).
enum class StringOption : quint8 {
    CaseInsensitive = 0x1,
    DiacriticInsensitive = 0x2,
};
Q_DECLARE_FLAGS(StringOptions, StringOption)
Q_DECLARE_OPERATORS_FOR_FLAGS(StringOptions)

// Names of what registerCollations adds to a connection.
inline constexpr const char *kUtf16Collation = "UTF16";                     // UTF-16 code-unit order
inline constexpr const char *kLocalizedNoCaseCollation = "LOCALIZED_NOCASE"; // the user's locale, case ignored
inline constexpr const char *kCaseFoldCollation = "CASEFOLD";              // case folded, then code-unit order
inline constexpr const char *kDecimalCollation = "DECIMAL";                // exact decimal texts by value
inline constexpr const char *kFoldFunction = "qd_fold";                     // qd_fold(text, options) -> text
inline constexpr const char *kLikeFunction = "qd_like";                     // qd_like(text, pattern) -> 0/1

// Adds the collations and functions above to one SQLite connection; every connection of a store calls it
// right after opening, before any statement that compiled predicates or sort orders produce.
bool registerCollations(sqlite3 *db, QString *problem = nullptr);

// The in-memory twins of the collations: each orders exactly as its SQL collation orders the same texts.
int compareUtf16(const QString &a, const QString &b);
// SQLite's BINARY on valid text: Unicode code-point order.
int compareCodePoints(const QString &a, const QString &b);
int compareLocalizedNoCase(const QString &a, const QString &b);
int compareCaseFolded(const QString &a, const QString &b);
// Texts that read as decimal numbers compare by value ("12.50" equals "12.5") and sort before all others,
// which compare in code-point order.
int compareDecimalText(const QString &a, const QString &b);
bool isDecimalText(const QString &text);

// The form both sides of a case- or diacritic-insensitive comparison are brought to (what qd_fold returns).
QString foldString(const QString &text, StringOptions options);
// The wildcard match of "LIKE": '*' any run of characters, '?' exactly one character, all else literal.
bool likeMatch(const QString &text, const QString &pattern);

// Text as SQLite is given it. Valid text is plain UTF-8; an unpaired surrogate (the upper bound of a prefix
// that ends inside a surrogate pair) keeps its code unit in a three-byte sequence so that the UTF16
// collation still orders it where it belongs, instead of becoming U+FFFD.
QByteArray toSqliteText(const QString &text);
QString fromSqliteText(const char *data, int size);

} // namespace platform::store
