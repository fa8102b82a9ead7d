#include "NormalizedStringTransformer.h"

#include <QTextBoundaryFinder>

namespace {

// Title case of one code point as a full mapping: the simple title-case mapping when it changes the
// character, otherwise the full upper-case mapping with everything after its first character lowered
// again ("ß" gives "Ss", a ligature "ﬁ" gives "Fi").
QString titleCased(char32_t codePoint)
{
    const char32_t simple = QChar::toTitleCase(codePoint);
    if (simple != codePoint)
        return QString::fromUcs4(&simple, 1);
    if (codePoint == U'\u0149') // "ŉ": its title form keeps the apostrophe and capitalises the n
        return QStringLiteral("\u02BCN");
    const QString upper = QString::fromUcs4(&codePoint, 1).toUpper();
    if (upper.isEmpty())
        return upper;
    const int firstLength = upper.at(0).isHighSurrogate() && upper.size() > 1 ? 2 : 1;
    return upper.left(firstLength) + upper.mid(firstLength).toLower();
}

} // namespace

QString NormalizedStringTransformer::normalizeString(const QString &text)
{
    if (text.isNull())
        return QString();
    return text.toLower().normalized(QString::NormalizationForm_D);
}

QString NormalizedStringTransformer::normalizeStringForFirstLetter(const QString &text)
{
    if (text.isNull())
        return QString();
    const QString normalized = normalizeString(text);
    if (normalized.isEmpty())
        return QStringLiteral("");

    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, normalized);
    finder.toStart();
    qsizetype end = finder.toNextBoundary();
    if (end <= 0)
        end = normalized.size();
    const QString sequence = normalized.left(end);

    // Capitalising a sequence touches only its first character; the marks after it are already lower case.
    const char32_t first = sequence.at(0).isHighSurrogate() && sequence.size() > 1 && sequence.at(1).isLowSurrogate()
                               ? QChar::surrogateToUcs4(sequence.at(0), sequence.at(1))
                               : sequence.at(0).unicode();
    const int firstLength = first > 0xFFFF ? 2 : 1;
    return titleCased(first) + sequence.mid(firstLength).toLower();
}

QString NormalizedStringTransformer::upperBoundSearchString(const QString &prefix)
{
    if (prefix.isEmpty())
        return prefix;

    const QString rest = prefix.left(prefix.size() - 1);
    const char16_t last = prefix.back().unicode();

    // Surrogates jump to the start of the next surrogate block rather than to the next unit, so the
    // bound never pairs a high surrogate with a unit that could complete it. U+FFFF cannot be raised;
    // it keeps its place and a U+0001 goes after it (a lone U+FFFF becomes U+0001).
    if ((last & 0xFC00) == 0xD800)
        return rest + QChar(char16_t(0xDC00));
    if ((last & 0xFC00) == 0xDC00)
        return rest + QChar(char16_t(0xE000));
    if (last == 0xFFFF) {
        if (rest.isEmpty())
            return QString(QChar(char16_t(0x0001)));
        return rest + QChar(char16_t(0xFFFF)) + QChar(char16_t(0x0001));
    }
    return rest + QChar(char16_t(last + 1));
}

std::optional<platform::store::Predicate>
NormalizedStringTransformer::reverseTransformedValue(const std::optional<platform::store::Predicate> &predicate)
{
    using platform::store::Predicate;
    if (!predicate || predicate->kind() != Predicate::Kind::Compare)
        return std::nullopt;
    const QString lowBound = normalizeString(predicate->node().value.toString());
    const QString highBound = upperBoundSearchString(lowBound);
    return Predicate::greaterOrEqual(NormalizedTextKey, lowBound) && Predicate::less(NormalizedTextKey, highBound);
}
