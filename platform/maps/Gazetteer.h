#pragma once

#include "platform/maps/Placemark.h"

#include <QHash>
#include <QList>
#include <QString>

#include <memory>
#include <optional>

namespace platform::maps {

// A table of cities with their region, country and position, matched on the words of an address with
// case and accents folded. The shared table is the system's city gazetteer (about 24,000 cities); a test
// builds its own from a few rows.
class Gazetteer
{
public:
    struct City
    {
        QString name;
        QString state;
        QString country;
        QString countryCode;
        Coordinate coordinate;
        quint32 population = 0;
    };

    explicit Gazetteer(QList<City> cities);

    // The system's gazetteer, read once per process on first use (thread-safe). Empty when the library
    // holds no cities.
    static std::shared_ptr<const Gazetteer> shared();

    int count() const { return int(m_cities.size()); }
    const City &city(int index) const { return m_cities.at(index); }

    // The best city for an address: the city's name must match; a country code or country name, and a
    // region, narrow the candidates when any candidate matches them; the most populous one wins.
    std::optional<City> match(const QString &city, const QString &state, const QString &country,
                              const QString &countryCode) const;
    // The same for a free line of text: its comma-separated parts are tried as the city, the others as
    // region and country.
    std::optional<City> matchText(const QString &text) const;
    // The city nearest to a position, within maxMetres.
    std::optional<City> nearest(const Coordinate &coordinate, double maxMetres = 100000) const;

    // Lower case, accents and punctuation removed, runs of blanks as one blank.
    static QString fold(const QString &text);

private:
    struct Entry
    {
        QString state;
        QString country;
        QString code;
    };
    int bestOf(const QList<int> &candidates, const QString &state, const QString &country, const QString &code,
               int *score = nullptr) const;

    QList<City> m_cities;
    QList<Entry> m_folded;
    QHash<QString, QList<int>> m_byName;
};

} // namespace platform::maps
