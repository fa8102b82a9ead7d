#include "platform/maps/GeoPackage.h"

#include <QFileInfo>
#include <QtEndian>

#include <sqlite3.h>

#include <cstring>
#include <memory>

namespace platform::maps {

namespace {

const QString ErrorDomain = QStringLiteral("platform.maps.geopackage");

struct DbCloser
{
    void operator()(sqlite3 *db) const { sqlite3_close_v2(db); }
};
using Db = std::unique_ptr<sqlite3, DbCloser>;

struct StmtFinalizer
{
    void operator()(sqlite3_stmt *stmt) const { sqlite3_finalize(stmt); }
};
using Stmt = std::unique_ptr<sqlite3_stmt, StmtFinalizer>;

Db openDb(const QString &path, core::QDError *error)
{
    sqlite3 *raw = nullptr;
    const QByteArray uri = QFileInfo(path).absoluteFilePath().toUtf8();
    const int rc = sqlite3_open_v2(uri.constData(), &raw, SQLITE_OPEN_READONLY | SQLITE_OPEN_NOMUTEX, nullptr);
    Db db(raw);
    if (rc != SQLITE_OK) {
        core::setError(error, core::QDError::withDescription(ErrorDomain, rc,
                                                             QStringLiteral("Cannot open %1: %2").arg(path,
                                                                 QString::fromUtf8(raw ? sqlite3_errmsg(raw) : "?"))));
        return nullptr;
    }
    return db;
}

Stmt prepare(sqlite3 *db, const QString &sql)
{
    sqlite3_stmt *raw = nullptr;
    const QByteArray text = sql.toUtf8();
    if (sqlite3_prepare_v2(db, text.constData(), int(text.size()), &raw, nullptr) != SQLITE_OK)
        return nullptr;
    return Stmt(raw);
}

QString quoted(const QString &name)
{
    QString n = name;
    n.replace(QLatin1Char('"'), QLatin1String("\"\""));
    return QLatin1Char('"') + n + QLatin1Char('"');
}

// Reads well-known binary, checking every length against the bytes left.
class WkbReader
{
public:
    WkbReader(const uchar *data, qsizetype size) : m_p(data), m_end(data + size) {}

    bool geometry(Feature *out, int depth = 0)
    {
        if (depth > 4)
            return false;
        quint8 order = 0;
        if (!byte(&order) || order > 1)
            return false;
        m_little = order == 1;
        quint32 type = 0;
        if (!u32(&type))
            return false;
        // ISO dimensions (Z 1000s, M 2000s, ZM 3000s) and the extended-WKB flags.
        int dims = 2;
        if (type & 0x80000000u)
            ++dims;
        if (type & 0x40000000u)
            ++dims;
        type &= 0x0FFFFFFFu;
        if (type >= 3000) {
            dims = 4;
            type -= 3000;
        } else if (type >= 2000) {
            dims = 3;
            type -= 2000;
        } else if (type >= 1000) {
            dims = 3;
            type -= 1000;
        }
        m_dims = dims;
        switch (type) {
        case 1: { // point: kept as a one-point line
            QList<Coordinate> point;
            if (!points(1, &point))
                return false;
            out->lines << point;
            return true;
        }
        case 2: {
            QList<Coordinate> line;
            quint32 n = 0;
            if (!u32(&n) || !points(n, &line))
                return false;
            out->lines << line;
            return true;
        }
        case 3: {
            quint32 rings = 0;
            if (!u32(&rings) || rings > remaining() / 4)
                return false;
            for (quint32 r = 0; r < rings; ++r) {
                QList<Coordinate> ring;
                quint32 n = 0;
                if (!u32(&n) || !points(n, &ring))
                    return false;
                out->rings << ring;
            }
            return true;
        }
        case 4:
        case 5:
        case 6:
        case 7: {
            quint32 parts = 0;
            if (!u32(&parts) || parts > remaining() / 5)
                return false;
            for (quint32 i = 0; i < parts; ++i) {
                if (!geometry(out, depth + 1))
                    return false;
            }
            return true;
        }
        default:
            return false;
        }
    }

private:
    qsizetype remaining() const { return m_end - m_p; }
    bool byte(quint8 *out)
    {
        if (remaining() < 1)
            return false;
        *out = *m_p++;
        return true;
    }
    bool u32(quint32 *out)
    {
        if (remaining() < 4)
            return false;
        *out = m_little ? qFromLittleEndian<quint32>(m_p) : qFromBigEndian<quint32>(m_p);
        m_p += 4;
        return true;
    }
    bool f64(double *out)
    {
        if (remaining() < 8)
            return false;
        const quint64 bits = m_little ? qFromLittleEndian<quint64>(m_p) : qFromBigEndian<quint64>(m_p);
        std::memcpy(out, &bits, 8);
        m_p += 8;
        return true;
    }
    bool points(quint32 n, QList<Coordinate> *out)
    {
        if (qsizetype(n) > remaining() / (8 * m_dims))
            return false;
        out->reserve(n);
        for (quint32 i = 0; i < n; ++i) {
            double x = 0;
            double y = 0;
            double skip = 0;
            if (!f64(&x) || !f64(&y))
                return false;
            for (int d = 2; d < m_dims; ++d) {
                if (!f64(&skip))
                    return false;
            }
            out->append({y, x});
        }
        return true;
    }

    const uchar *m_p;
    const uchar *m_end;
    bool m_little = true;
    int m_dims = 2;
};

} // namespace

QString GeoPackage::defaultWorldMapPath()
{
    return QStringLiteral("/usr/share/qgis/resources/data/world_map.gpkg");
}

std::optional<GeoPackage> GeoPackage::open(const QString &path, core::QDError *error)
{
    if (!QFileInfo(path).isFile()) {
        core::setError(error, core::QDError::withDescription(ErrorDomain, 1, QStringLiteral("No file %1").arg(path)));
        return std::nullopt;
    }
    Db db = openDb(path, error);
    if (!db)
        return std::nullopt;
    Stmt stmt = prepare(db.get(), QStringLiteral("SELECT c.table_name, g.column_name FROM gpkg_contents c "
                                                 "JOIN gpkg_geometry_columns g ON g.table_name = c.table_name "
                                                 "WHERE c.data_type = 'features' ORDER BY c.table_name"));
    if (!stmt) {
        core::setError(error, core::QDError::withDescription(ErrorDomain, 2,
                                                             QStringLiteral("%1 is not a GeoPackage").arg(path)));
        return std::nullopt;
    }
    GeoPackage package;
    package.m_path = path;
    while (sqlite3_step(stmt.get()) == SQLITE_ROW) {
        const QString table = QString::fromUtf8(reinterpret_cast<const char *>(sqlite3_column_text(stmt.get(), 0)));
        package.m_tables << table;
        package.m_geometryColumn.insert(
            table, QString::fromUtf8(reinterpret_cast<const char *>(sqlite3_column_text(stmt.get(), 1))));
    }
    return package;
}

bool GeoPackage::decodeGeometry(const QByteArray &blob, Feature *out)
{
    const auto *p = reinterpret_cast<const uchar *>(blob.constData());
    const qsizetype size = blob.size();
    if (size < 8 || p[0] != 'G' || p[1] != 'P')
        return false;
    const quint8 flags = p[3];
    const bool little = flags & 1;
    const int envelope = (flags >> 1) & 7;
    static const int envelopeDoubles[] = {0, 4, 6, 6, 8};
    if (envelope > 4)
        return false;
    const qsizetype header = 8 + 8 * envelopeDoubles[envelope];
    if (size < header)
        return false;
    if (envelope > 0) {
        double v[4];
        for (int i = 0; i < 4; ++i) {
            const quint64 bits = little ? qFromLittleEndian<quint64>(p + 8 + 8 * i) : qFromBigEndian<quint64>(p + 8 + 8 * i);
            std::memcpy(&v[i], &bits, 8);
        }
        out->bounds = QRectF(QPointF(v[0], v[2]), QPointF(v[1], v[3]));
    }
    if (flags & 0x10) // empty geometry
        return true;
    WkbReader reader(p + header, size - header);
    if (!reader.geometry(out))
        return false;
    if (envelope == 0) {
        double minX = 180, minY = 90, maxX = -180, maxY = -90;
        for (const auto *parts : {&out->rings, &out->lines}) {
            for (const QList<Coordinate> &part : *parts) {
                for (const Coordinate &c : part) {
                    minX = std::min(minX, c.longitude);
                    maxX = std::max(maxX, c.longitude);
                    minY = std::min(minY, c.latitude);
                    maxY = std::max(maxY, c.latitude);
                }
            }
        }
        if (minX <= maxX)
            out->bounds = QRectF(QPointF(minX, minY), QPointF(maxX, maxY));
    }
    return true;
}

QList<Feature> GeoPackage::features(const QString &table, const QStringList &attributeColumns,
                                    core::QDError *error) const
{
    QList<Feature> result;
    if (!m_tables.contains(table)) {
        core::setError(error, core::QDError::withDescription(ErrorDomain, 3, QStringLiteral("No layer %1").arg(table)));
        return result;
    }
    Db db = openDb(m_path, error);
    if (!db)
        return result;
    QString sql = QStringLiteral("SELECT rowid, %1").arg(quoted(m_geometryColumn.value(table)));
    for (const QString &column : attributeColumns)
        sql += QStringLiteral(", ") + quoted(column);
    sql += QStringLiteral(" FROM ") + quoted(table);
    Stmt stmt = prepare(db.get(), sql);
    if (!stmt) {
        core::setError(error, core::QDError::withDescription(ErrorDomain, 4,
                                                             QString::fromUtf8(sqlite3_errmsg(db.get()))));
        return result;
    }
    int damaged = 0;
    while (sqlite3_step(stmt.get()) == SQLITE_ROW) {
        Feature feature;
        feature.id = sqlite3_column_int64(stmt.get(), 0);
        const auto *data = static_cast<const char *>(sqlite3_column_blob(stmt.get(), 1));
        const QByteArray blob = QByteArray::fromRawData(data, sqlite3_column_bytes(stmt.get(), 1));
        if (data && !decodeGeometry(blob, &feature)) {
            ++damaged;
            continue;
        }
        for (int i = 0; i < attributeColumns.size(); ++i) {
            const int column = i + 2;
            switch (sqlite3_column_type(stmt.get(), column)) {
            case SQLITE_INTEGER:
                feature.attributes.insert(attributeColumns.at(i), qint64(sqlite3_column_int64(stmt.get(), column)));
                break;
            case SQLITE_FLOAT:
                feature.attributes.insert(attributeColumns.at(i), sqlite3_column_double(stmt.get(), column));
                break;
            case SQLITE_NULL:
                feature.attributes.insert(attributeColumns.at(i), QVariant());
                break;
            default:
                feature.attributes.insert(attributeColumns.at(i),
                                          QString::fromUtf8(reinterpret_cast<const char *>(
                                              sqlite3_column_text(stmt.get(), column))));
            }
        }
        result << feature;
    }
    if (damaged > 0)
        core::setError(error, core::QDError::withDescription(ErrorDomain, 5,
                                                             QStringLiteral("%1 damaged geometries in %2 skipped")
                                                                 .arg(damaged).arg(table)));
    return result;
}

} // namespace platform::maps
