#include "platform/maps/Gazetteer.h"

// GLib names a struct member "signals", which Qt defines as a keyword.
#pragma push_macro("signals")
#undef signals
#include <geonames/geonames.h>
#pragma pop_macro("signals")

#include <QRegularExpression>

#include <mutex>

namespace platform::maps {

double distanceMetres(const Coordinate &from, const Coordinate &to)
{
    constexpr double earthRadius = 6371008.8;
    constexpr double rad = M_PI / 180.0;
    const double dLat = (to.latitude - from.latitude) * rad;
    const double dLon = (to.longitude - from.longitude) * rad;
    const double a = std::sin(dLat / 2) * std::sin(dLat / 2) +
                     std::cos(from.latitude * rad) * std::cos(to.latitude * rad) * std::sin(dLon / 2) * std::sin(dLon / 2);
    return 2 * earthRadius * std::atan2(std::sqrt(a), std::sqrt(std::max(0.0, 1 - a)));
}

QString Gazetteer::fold(const QString &text)
{
    const QString decomposed = text.normalized(QString::NormalizationForm_KD);
    QString out;
    out.reserve(decomposed.size());
    bool blank = false;
    for (const QChar c : decomposed) {
        if (c.category() == QChar::Mark_NonSpacing || c.category() == QChar::Mark_Enclosing)
            continue;
        if (c.isLetterOrNumber()) {
            if (blank && !out.isEmpty())
                out += QLatin1Char(' ');
            blank = false;
            out += c.toLower();
        } else if (c == QLatin1Char('\'')) {
            continue;
        } else {
            blank = true;
        }
    }
    // A few letters have no decomposition.
    out.replace(QChar(0x00DF), QLatin1String("ss"));
    out.replace(QChar(0x00F8), QLatin1Char('o'));
    out.replace(QChar(0x00E6), QLatin1String("ae"));
    out.replace(QChar(0x0142), QLatin1Char('l'));
    return out;
}

Gazetteer::Gazetteer(QList<City> cities) : m_cities(std::move(cities))
{
    m_folded.reserve(m_cities.size());
    for (int i = 0; i < m_cities.size(); ++i) {
        const City &c = m_cities.at(i);
        m_folded.append({fold(c.state), fold(c.country), c.countryCode.toUpper()});
        m_byName[fold(c.name)].append(i);
    }
}

std::shared_ptr<const Gazetteer> Gazetteer::shared()
{
    static std::once_flag once;
    static std::shared_ptr<const Gazetteer> table;
    std::call_once(once, [] {
        QList<City> cities;
        const int n = geonames_get_n_cities();
        cities.reserve(std::max(0, n));
        for (int i = 0; i < n; ++i) {
            GeonamesCity *c = geonames_get_city(i);
            if (!c)
                continue;
            cities.append({QString::fromUtf8(geonames_city_get_name(c)), QString::fromUtf8(geonames_city_get_state(c)),
                           QString::fromUtf8(geonames_city_get_country(c)),
                           QString::fromUtf8(geonames_city_get_country_code(c)),
                           {geonames_city_get_latitude(c), geonames_city_get_longitude(c)},
                           geonames_city_get_population(c)});
            geonames_city_free(c);
        }
        table = std::make_shared<const Gazetteer>(std::move(cities));
    });
    return table;
}

namespace {

// A region typed as "Zurich" names the gazetteer's "Canton of Zurich"; "Bavaria" names "Bavaria".
bool regionMatches(const QString &folded, const QString &typed)
{
    if (typed.isEmpty() || folded.isEmpty())
        return false;
    if (folded == typed)
        return true;
    return folded.endsWith(QLatin1Char(' ') + typed) || folded.startsWith(typed + QLatin1Char(' '));
}

bool countryMatches(const QString &folded, const QString &typed)
{
    if (typed.isEmpty())
        return false;
    if (folded == typed || regionMatches(folded, typed))
        return true;
    // Common short forms of the long names the gazetteer uses.
    static const QHash<QString, QStringList> aliases = {
        {QStringLiteral("united states of america"), {QStringLiteral("usa"), QStringLiteral("us"), QStringLiteral("united states"), QStringLiteral("america")}},
        {QStringLiteral("united kingdom"), {QStringLiteral("uk"), QStringLiteral("great britain"), QStringLiteral("england"), QStringLiteral("scotland"), QStringLiteral("wales")}},
    };
    return aliases.value(folded).contains(typed);
}

} // namespace

int Gazetteer::bestOf(const QList<int> &candidates, const QString &state, const QString &country, const QString &code,
                      int *score) const
{
    int best = -1;
    int bestScore = -1;
    for (int index : candidates) {
        const Entry &e = m_folded.at(index);
        int s = 0;
        if (!code.isEmpty() && e.code == code)
            s += 4;
        else if (!country.isEmpty() && countryMatches(e.country, country))
            s += 4;
        if (!state.isEmpty() && regionMatches(e.state, state))
            s += 2;
        if (s > bestScore || (s == bestScore && m_cities.at(index).population > m_cities.at(best).population)) {
            best = index;
            bestScore = s;
        }
    }
    if (score)
        *score = bestScore;
    return best;
}

std::optional<Gazetteer::City> Gazetteer::match(const QString &city, const QString &state, const QString &country,
                                                const QString &countryCode) const
{
    const QList<int> candidates = m_byName.value(fold(city));
    if (candidates.isEmpty())
        return std::nullopt;
    const QString code = countryCode.trimmed().toUpper();
    const QString foldedCountry = fold(country);
    int score = 0;
    const int best = bestOf(candidates, fold(state), foldedCountry, code, &score);
    // A country that was given and matches no candidate rules the city out (a "Paris" asked for in Canada
    // is not the one in France), unless it was a name the gazetteer may spell otherwise and no code.
    if (!code.isEmpty() && score < 4) {
        bool anyCode = false;
        for (int index : candidates)
            anyCode = anyCode || m_folded.at(index).code == code;
        if (!anyCode)
            return std::nullopt;
    }
    return m_cities.at(best);
}

std::optional<Gazetteer::City> Gazetteer::matchText(const QString &text) const
{
    static const QRegularExpression digits(QStringLiteral("\\d+"));
    QStringList parts;
    for (QString part : text.split(QRegularExpression(QStringLiteral("[,\\n;]")), Qt::SkipEmptyParts)) {
        part = fold(part.remove(digits));
        if (!part.isEmpty())
            parts << part;
    }
    if (parts.isEmpty())
        return std::nullopt;
    int best = -1;
    int bestScore = -1;
    for (int i = 0; i < parts.size(); ++i) {
        const QList<int> candidates = m_byName.value(parts.at(i));
        if (candidates.isEmpty())
            continue;
        // The other parts may name the region or the country; score each candidate on them.
        for (int index : candidates) {
            const Entry &e = m_folded.at(index);
            int s = 0;
            for (int j = 0; j < parts.size(); ++j) {
                if (j == i)
                    continue;
                if (countryMatches(e.country, parts.at(j)) || e.code == parts.at(j).toUpper())
                    s += 4;
                else if (regionMatches(e.state, parts.at(j)))
                    s += 2;
            }
            if (s > bestScore || (s == bestScore && m_cities.at(index).population > m_cities.at(best).population)) {
                best = index;
                bestScore = s;
            }
        }
    }
    if (best < 0)
        return std::nullopt;
    return m_cities.at(best);
}

std::optional<Gazetteer::City> Gazetteer::nearest(const Coordinate &coordinate, double maxMetres) const
{
    int best = -1;
    double bestDistance = maxMetres;
    for (int i = 0; i < m_cities.size(); ++i) {
        // A cheap bound first: one degree of latitude is about 111 km.
        if (std::fabs(m_cities.at(i).coordinate.latitude - coordinate.latitude) * 111000.0 > bestDistance)
            continue;
        const double d = distanceMetres(coordinate, m_cities.at(i).coordinate);
        if (d <= bestDistance) {
            bestDistance = d;
            best = i;
        }
    }
    if (best < 0)
        return std::nullopt;
    return m_cities.at(best);
}

} // namespace platform::maps
