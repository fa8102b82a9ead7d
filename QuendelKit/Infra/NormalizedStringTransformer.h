#pragma once

#include "platform/store/Predicate.h"

#include <QString>
#include <QVariant>

#include <optional>

// The one normalised form in which names and file names are searched and sorted, so that letter case and
// the encoding of an accented letter never decide whether two texts match.
class NormalizedStringTransformer
{
public:
    // Lower case (full case mapping), then canonical decomposition; accents stay as combining marks.
    // A null text gives a null text.
    static QString normalizeString(const QString &text);

    // The section letter: the first user-perceived character of the normalised text, capitalised (an
    // accented letter keeps its accent, decomposed). Null for null; an empty text gives an empty text.
    static QString normalizeStringForFirstLetter(const QString &text);

    // The bound that, in UTF-16 code-unit order, lies above every text beginning with `prefix`, so a prefix
    // search becomes the range [prefix, bound). Works on the last code unit; see the .cpp for the
    // surrogate and U+FFFF rules.
    static QString upperBoundSearchString(const QString &prefix);

    // As a value transformer: values pass unchanged one way; the other way turns a comparison
    // predicate into the range "normalizedText >= $lowBound and normalizedText < $highBound" on the
    // normalised form of its constant. Nullopt for nullopt (and for a predicate that is no comparison).
    static QVariant transformedValue(const QVariant &value) { return value; }
    static bool allowsReverseTransformation() { return true; }
    static std::optional<platform::store::Predicate>
    reverseTransformedValue(const std::optional<platform::store::Predicate> &predicate);

    static inline const QString NormalizedTextKey = QStringLiteral("normalizedText");
};
