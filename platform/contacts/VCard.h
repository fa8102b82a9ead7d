#pragma once

#include "platform/core/QDError.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

namespace platform::contacts {

inline const QString VCardErrorDomain = QStringLiteral("com.quendel.contacts.vcard");

// One parameter of a content line: `TYPE=home,voice` has the name "TYPE" and two values.
struct VCardParameter
{
    QString name; // upper case
    QStringList values;
    bool operator==(const VCardParameter &) const = default;
};

// One content line, unfolded and decoded into text. `value` is the value exactly as the line spells it
// (escapes kept), so a property we do not understand is written back unchanged; quoted-printable and
// foreign character sets are already decoded, since we never write them.
struct VCardProperty
{
    QString group; // "item1" of "item1.TEL", or empty
    QString name;  // upper case
    QList<VCardParameter> parameters;
    QString value;

    bool hasParameter(const QString &name) const;
    QStringList parameterValues(const QString &name) const;
    // The TYPE values, lower case, whether written as TYPE=a,b, TYPE=a;TYPE=b or a bare 2.1 parameter.
    QStringList types() const;
    void setParameter(const QString &name, const QStringList &values);
    void removeParameter(const QString &name);
    bool operator==(const VCardProperty &) const = default;
};

// One card: its properties in file order (BEGIN, END and VERSION are not among them).
struct VCard
{
    QString version = QStringLiteral("4.0");
    QList<VCardProperty> properties;

    // First property of that name (upper case), or null.
    const VCardProperty *property(const QString &name) const;
    VCardProperty *property(const QString &name);
    QList<VCardProperty> all(const QString &name) const;
    void removeAll(const QString &name);
    bool operator==(const VCard &) const = default;
};

class VCardCodec
{
public:
    enum ErrorCode : qint64 {
        NoCardError = 4601,         // no BEGIN:VCARD in the data
        UnterminatedCardError = 4602, // a card without its END:VCARD (a truncated file)
        MalformedLineError = 4603,  // a content line without a name or a colon
        TooLargeError = 4604,       // more than MaximumFileSize bytes
    };

    static constexpr qint64 MaximumFileSize = 64LL * 1024 * 1024;

    // Every card of the data. A damaged card fails the whole file with an error naming the line, so the
    // caller can set the file aside instead of losing half of a contact.
    static QList<VCard> read(const QByteArray &data, platform::core::QDError *error = nullptr);
    // One card, CRLF line ends, folded at 75 octets without splitting a character.
    static QByteArray write(const VCard &card);

    // Text values: "\n", "\,", "\;" and "\\" escapes.
    static QString unescape(const QString &raw);
    static QString escape(const QString &text);
    // A structured value (N, ADR, ORG) cut at the unescaped separators, each component unescaped.
    static QStringList splitComponents(const QString &raw, QChar separator = QLatin1Char(';'));
    static QString joinComponents(const QStringList &components, QChar separator = QLatin1Char(';'));
};

} // namespace platform::contacts
