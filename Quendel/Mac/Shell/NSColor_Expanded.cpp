#include "Mac/Shell/NSColor_Expanded.h"

QColor NSColor_Expanded::colorWithHexString(const QString &text)
{
    QStringView rest(text);
    if (rest.startsWith(QLatin1Char('#')))
        rest = rest.mid(1);
    qsizetype i = 0;
    while (i < rest.size() && rest.at(i).isSpace())
        ++i;
    if (i + 1 < rest.size() && rest.at(i) == QLatin1Char('0')
        && (rest.at(i + 1) == QLatin1Char('x') || rest.at(i + 1) == QLatin1Char('X')))
        i += 2;
    quint64 value = 0;
    bool any = false;
    for (; i < rest.size(); ++i) {
        const char16_t c = rest.at(i).unicode();
        int digit = -1;
        if (c >= u'0' && c <= u'9')
            digit = c - u'0';
        else if (c >= u'a' && c <= u'f')
            digit = c - u'a' + 10;
        else if (c >= u'A' && c <= u'F')
            digit = c - u'A' + 10;
        if (digit < 0)
            break;
        any = true;
        // Too large a number reads as the largest one, as an unsigned 32-bit scan does.
        value = qMin<quint64>(value * 16 + quint64(digit), 0xFFFFFFFFull);
    }
    if (!any)
        return QColor();
    return colorWithRGBHex(quint32(value));
}

QColor NSColor_Expanded::colorWithRGBHex(quint32 hex)
{
    const float red = float((hex >> 16) & 0xFF) / 255.0f;
    const float green = float((hex >> 8) & 0xFF) / 255.0f;
    const float blue = float(hex & 0xFF) / 255.0f;
    return QColor::fromRgbF(red, green, blue, 1.0f);
}
