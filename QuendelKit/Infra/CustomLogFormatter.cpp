#include "CustomLogFormatter.h"

#include <map>
#include <vector>

namespace {

struct Token
{
    bool field = false;
    QChar letter; // of a field; 'a' for an AM/PM marker
    QString text;
    bool dropped = false;
};

bool isFieldLetter(QChar c)
{
    return QStringLiteral("dMyhHmszt").contains(c);
}

// Splits a Qt date-time pattern into fields and literal text (quotes resolved into literals).
std::vector<Token> tokenize(const QString &pattern)
{
    std::vector<Token> tokens;
    auto appendLiteral = [&](const QString &text) {
        if (!tokens.empty() && !tokens.back().field)
            tokens.back().text += text;
        else
            tokens.push_back({false, QChar(), text});
    };
    for (qsizetype i = 0; i < pattern.size();) {
        const QChar c = pattern.at(i);
        if (c == QLatin1Char('\'')) {
            qsizetype end = pattern.indexOf(QLatin1Char('\''), i + 1);
            if (end < 0)
                end = pattern.size();
            appendLiteral(end == i + 1 ? QStringLiteral("'") : pattern.mid(i + 1, end - i - 1));
            i = end + 1;
            continue;
        }
        if (c == QLatin1Char('A') || c == QLatin1Char('a')) {
            const bool twoLetters = i + 1 < pattern.size() && pattern.at(i + 1).toLower() == QLatin1Char('p');
            tokens.push_back({true, QLatin1Char('a'), pattern.mid(i, twoLetters ? 2 : 1)});
            i += twoLetters ? 2 : 1;
            continue;
        }
        if (isFieldLetter(c)) {
            qsizetype end = i;
            while (end < pattern.size() && pattern.at(end) == c)
                ++end;
            tokens.push_back({true, c, pattern.mid(i, end - i)});
            i = end;
            continue;
        }
        appendLiteral(QString(c));
        ++i;
    }
    return tokens;
}

} // namespace

QString CustomLogFormatter::DateFormatter::stringFromDate(const QDateTime &date) const
{
    if (dateFormat.isEmpty() || !date.isValid())
        return QStringLiteral("");
    return locale.toString(date.toLocalTime(), dateFormat);
}

QString CustomLogFormatter::localizedDateFormatFromTemplate(const QString &dateTemplate, const QLocale &locale)
{
    // What the template asks for, by kind of field.
    std::map<QChar, QString> wanted;
    for (const Token &token : tokenize(dateTemplate))
        if (token.field && token.letter != QLatin1Char('a'))
            wanted[token.letter == QLatin1Char('h') ? QLatin1Char('H') : token.letter] = token.text;
    const bool twentyFourHours = wanted.count(QLatin1Char('H')) && !dateTemplate.contains(QLatin1Char('h'));

    std::vector<Token> tokens = tokenize(locale.dateTimeFormat(QLocale::ShortFormat));
    for (Token &token : tokens) {
        if (!token.field)
            continue;
        QChar kind = token.letter == QLatin1Char('h') ? QLatin1Char('H') : token.letter;
        if (kind == QLatin1Char('a')) {
            token.dropped = twentyFourHours || !wanted.count(QLatin1Char('H'));
            continue;
        }
        // A weekday ("ddd", "dddd") is not the day of the month.
        if (kind == QLatin1Char('d') && token.text.size() > 2) {
            token.dropped = true;
            continue;
        }
        const auto it = wanted.find(kind);
        if (it == wanted.end()) {
            token.dropped = true;
            continue;
        }
        token.text = it->second;
        if (kind == QLatin1Char('H') && !twentyFourHours)
            token.text = QString(it->second.size(), QLatin1Char('h'));
    }

    // Seconds the locale's short pattern leaves out go after the minutes, with the hour-minute separator.
    const bool hasSeconds = std::any_of(tokens.begin(), tokens.end(),
                                        [](const Token &t) { return t.field && t.letter == QLatin1Char('s'); });
    if (wanted.count(QLatin1Char('s')) && !hasSeconds) {
        for (size_t i = 0; i < tokens.size(); ++i) {
            if (!(tokens[i].field && tokens[i].letter == QLatin1Char('m')))
                continue;
            QString separator = QStringLiteral(":");
            if (i >= 2 && !tokens[i - 1].field && tokens[i - 2].field &&
                (tokens[i - 2].letter == QLatin1Char('h') || tokens[i - 2].letter == QLatin1Char('H')))
                separator = tokens[i - 1].text;
            tokens.insert(tokens.begin() + qsizetype(i) + 1, {true, QLatin1Char('s'), wanted[QLatin1Char('s')]});
            tokens.insert(tokens.begin() + qsizetype(i) + 1, {false, QChar(), separator});
            break;
        }
    }

    // A dropped field takes one separator with it: a blank after it, else the text before it, else the
    // text after it.
    for (size_t i = 0; i < tokens.size(); ++i) {
        if (!tokens[i].field || !tokens[i].dropped)
            continue;
        const bool blankAfter = i + 1 < tokens.size() && !tokens[i + 1].field && tokens[i + 1].text.trimmed().isEmpty();
        if (blankAfter)
            tokens[i + 1].dropped = true;
        else if (i > 0 && !tokens[i - 1].field && !tokens[i - 1].dropped)
            tokens[i - 1].dropped = true;
        else if (i + 1 < tokens.size() && !tokens[i + 1].field)
            tokens[i + 1].dropped = true;
    }

    QString result;
    for (const Token &token : tokens) {
        if (token.dropped)
            continue;
        if (token.field)
            result += token.text;
        else if (token.text.contains(QLatin1Char('\'')) ||
                 std::any_of(token.text.begin(), token.text.end(), [](QChar c) { return c.isLetter(); }))
            result += QLatin1Char('\'') + QString(token.text).replace(QStringLiteral("'"), QStringLiteral("''")) +
                      QLatin1Char('\'');
        else
            result += token.text;
    }
    return result.trimmed();
}

void CustomLogFormatter::didAddToLogger(QDLogger *)
{
    DateFormatter formatter;
    formatter.locale = QLocale();
    formatter.dateFormat = localizedDateFormatFromTemplate(DateFormatTemplate, formatter.locale);
    std::lock_guard guard(m_mutex);
    m_dateFormatter = formatter;
}

QString CustomLogFormatter::formatLogMessage(const QDLogMessage &message)
{
    if (message.context != QDLogContextIncomingChanges)
        return QString();
    std::lock_guard guard(m_mutex);
    return QStringLiteral("%1| %2").arg(m_dateFormatter.stringFromDate(message.timestamp), message.message);
}

CustomLogFormatter::DateFormatter CustomLogFormatter::dateFormatter() const
{
    std::lock_guard guard(m_mutex);
    return m_dateFormatter;
}

CustomLogFormatter::DateFormatter CustomLogFormatter::timeFormatter() const
{
    std::lock_guard guard(m_mutex);
    return m_timeFormatter;
}
