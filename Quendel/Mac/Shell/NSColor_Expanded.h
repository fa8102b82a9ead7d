#pragma once

#include <QColor>
#include <QString>

// Colours from hexadecimal RGB text and numbers (map pins, picker items).
class NSColor_Expanded
{
public:
    // "#FF8000" or "FF8000" (leading blanks and a "0x" are allowed); an invalid colour when the text does
    // not start with a hexadecimal number.
    static QColor colorWithHexString(const QString &text);
    // Red from bits 16-23, green from 8-15, blue from 0-7; higher bits are ignored. Opaque.
    static QColor colorWithRGBHex(quint32 hex);
};
