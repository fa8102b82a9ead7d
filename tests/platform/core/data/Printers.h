#pragma once

#include <QDebug>
#include <QVariant>

#include <ostream>

// Readable failure output for QVariant comparisons.
inline void PrintTo(const QVariant &value, std::ostream *os)
{
    QString text;
    QDebug(&text) << value;
    *os << text.toStdString();
}

inline void PrintTo(const QString &value, std::ostream *os)
{
    *os << '"' << value.toStdString() << '"';
}

inline void PrintTo(const QByteArray &value, std::ostream *os)
{
    *os << value.toHex().toStdString();
}
