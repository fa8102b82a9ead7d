#include "platform/cloud/SqlConnection.h"

namespace platform::cloud {

qint64 sqlInt(const SqlValue &value, qint64 fallback)
{
    if (const qint64 *v = std::get_if<qint64>(&value))
        return *v;
    if (const double *v = std::get_if<double>(&value))
        return qint64(*v);
    if (const QString *v = std::get_if<QString>(&value)) {
        bool ok = false;
        const qint64 parsed = v->toLongLong(&ok);
        return ok ? parsed : fallback;
    }
    return fallback;
}

double sqlDouble(const SqlValue &value)
{
    if (const double *v = std::get_if<double>(&value))
        return *v;
    if (const qint64 *v = std::get_if<qint64>(&value))
        return double(*v);
    return 0.0;
}

QString sqlText(const SqlValue &value)
{
    if (const QString *v = std::get_if<QString>(&value))
        return *v;
    if (const qint64 *v = std::get_if<qint64>(&value))
        return QString::number(*v);
    if (const QByteArray *v = std::get_if<QByteArray>(&value))
        return QString::fromUtf8(*v);
    return QString();
}

QByteArray sqlBytes(const SqlValue &value)
{
    if (const QByteArray *v = std::get_if<QByteArray>(&value))
        return *v;
    if (const QString *v = std::get_if<QString>(&value))
        return v->toUtf8();
    return QByteArray();
}

} // namespace platform::cloud
