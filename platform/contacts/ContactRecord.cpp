#include "platform/contacts/ContactRecord.h"

#include <QBuffer>
#include <QCryptographicHash>
#include <QImage>
#include <QUuid>

namespace platform::contacts {

namespace {

const QString EntryIdParameter = QStringLiteral("X-ENTRY-ID");
const QString LabelParameter = QStringLiteral("X-LABEL");
const QString CreatedProperty = QStringLiteral("X-QUENDEL-CREATED");

QString newUid()
{
    return QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper();
}

QString vcardName(const QString &multiValueName)
{
    if (multiValueName == property::Phone)
        return QStringLiteral("TEL");
    if (multiValueName == property::Email)
        return QStringLiteral("EMAIL");
    if (multiValueName == property::URLs)
        return QStringLiteral("URL");
    if (multiValueName == property::Address)
        return QStringLiteral("ADR");
    return QString();
}

// Labels we spell with TYPE values; every other label travels in our X-LABEL parameter.
struct LabelTypes
{
    const char *label;
    QStringList types;
};

const QList<LabelTypes> &labelTable(const QString &name)
{
    static const QList<LabelTypes> phones = {
        {"mobile", {QStringLiteral("cell")}},
        {"home", {QStringLiteral("home")}},
        {"work", {QStringLiteral("work")}},
        {"main", {QStringLiteral("main")}},
        {"home fax", {QStringLiteral("home"), QStringLiteral("fax")}},
        {"work fax", {QStringLiteral("work"), QStringLiteral("fax")}},
        {"pager", {QStringLiteral("pager")}},
        {"other", {QStringLiteral("other")}},
    };
    static const QList<LabelTypes> others = {
        {"home", {QStringLiteral("home")}},
        {"work", {QStringLiteral("work")}},
        {"other", {QStringLiteral("other")}},
    };
    return name == QLatin1String("TEL") ? phones : others;
}

// TYPE values that say nothing about the label.
bool isNeutralType(const QString &type)
{
    static const QStringList neutral = {QStringLiteral("voice"), QStringLiteral("pref"), QStringLiteral("internet"),
                                        QStringLiteral("x400"), QStringLiteral("text"), QStringLiteral("msg"),
                                        QStringLiteral("postal"), QStringLiteral("parcel"), QStringLiteral("dom"),
                                        QStringLiteral("intl")};
    return neutral.contains(type);
}

// "_$!<HomeFAX>!$_" as some programs write their standard labels in an X-ABLABEL line of the same group.
QString labelFromGroupedText(const QString &text)
{
    if (text.startsWith(QLatin1String("_$!<")) && text.endsWith(QLatin1String(">!$_"))) {
        QString inner = text.mid(4, text.size() - 8);
        if (inner.compare(QLatin1String("HomePage"), Qt::CaseInsensitive) == 0)
            return QStringLiteral("home page");
        if (inner.endsWith(QLatin1String("FAX"), Qt::CaseInsensitive))
            return inner.left(inner.size() - 3).toLower() + QStringLiteral(" fax");
        return inner.toLower();
    }
    return text;
}

QString readLabel(const VCard &card, const VCardProperty &p)
{
    const QStringList custom = p.parameterValues(LabelParameter);
    if (!custom.isEmpty())
        return custom.first();
    if (!p.group.isEmpty()) {
        for (const VCardProperty &other : card.properties)
            if (other.group.compare(p.group, Qt::CaseInsensitive) == 0 && other.name == QLatin1String("X-ABLABEL"))
                return labelFromGroupedText(VCardCodec::unescape(other.value));
    }
    QStringList types;
    for (const QString &t : p.types())
        if (!isNeutralType(t))
            types << t;
    types.sort();
    for (const LabelTypes &entry : labelTable(p.name)) {
        QStringList wanted = entry.types;
        wanted.sort();
        if (wanted == types)
            return QString::fromLatin1(entry.label);
    }
    if (p.name == QLatin1String("TEL")) {
        if (types.contains(QLatin1String("cell")))
            return QStringLiteral("mobile");
        if (types.contains(QLatin1String("fax")))
            return types.contains(QLatin1String("home")) ? QStringLiteral("home fax") : QStringLiteral("work fax");
        if (types.contains(QLatin1String("pager")))
            return QStringLiteral("pager");
    }
    if (types.contains(QLatin1String("work")))
        return QStringLiteral("work");
    if (types.contains(QLatin1String("home")))
        return QStringLiteral("home");
    return QStringLiteral("other");
}

void writeLabel(VCard &card, VCardProperty &p, const QString &label)
{
    if (!p.group.isEmpty()) {
        for (VCardProperty &other : card.properties) {
            if (other.group.compare(p.group, Qt::CaseInsensitive) == 0 && other.name == QLatin1String("X-ABLABEL")) {
                other.value = VCardCodec::escape(label);
                return;
            }
        }
    }
    QStringList kept;
    for (const QString &t : p.types())
        if (t == QLatin1String("pref") || (p.name == QLatin1String("TEL") && t == QLatin1String("voice")))
            kept << t;
    p.removeParameter(LabelParameter);
    for (const LabelTypes &entry : labelTable(p.name)) {
        if (label == QLatin1String(entry.label)) {
            p.setParameter(QStringLiteral("TYPE"), entry.types + kept);
            return;
        }
    }
    p.setParameter(QStringLiteral("TYPE"), kept);
    p.setParameter(LabelParameter, {label});
}

QVariantMap addressFromValue(const QString &raw, const VCardProperty &p)
{
    const QStringList c = VCardCodec::splitComponents(raw);
    QVariantMap map;
    auto put = [&](const QString &key, qsizetype i) {
        if (!c.value(i).isEmpty())
            map.insert(key, c.value(i));
    };
    put(address_key::Street, 2);
    put(address_key::City, 3);
    put(address_key::State, 4);
    put(address_key::ZIP, 5);
    put(address_key::Country, 6);
    const QStringList cc = p.parameterValues(QStringLiteral("CC"));
    if (!cc.isEmpty() && !cc.first().isEmpty())
        map.insert(address_key::CountryCode, cc.first().toLower());
    return map;
}


// Entry identifiers of the card's properties of one name, in file order: ours where written, otherwise
// derived from what the line holds so that the same file gives the same identifiers every time.
QStringList entryIdentifiers(const VCard &card, const QString &name, const QString &uid)
{
    QStringList ids;
    QHash<QString, int> seen;
    for (const VCardProperty &p : card.properties) {
        if (p.name != name)
            continue;
        const QStringList own = p.parameterValues(EntryIdParameter);
        if (!own.isEmpty() && !own.first().isEmpty() && !ids.contains(own.first())) {
            ids << own.first();
            continue;
        }
        const QString key = name + QLatin1Char('\n') + p.value;
        const int occurrence = seen[key]++;
        QCryptographicHash hash(QCryptographicHash::Sha1);
        hash.addData(uid.toUtf8());
        hash.addData(QByteArrayView("\n"));
        hash.addData(key.toUtf8());
        hash.addData(QByteArray::number(occurrence));
        QString id = QStringLiteral("E") + QString::fromLatin1(hash.result().toHex().left(16)).toUpper();
        while (ids.contains(id))
            id += QLatin1Char('X');
        ids << id;
    }
    return ids;
}

QDateTime parseTimestamp(QString text)
{
    text = text.trimmed();
    if (text.isEmpty())
        return {};
    for (const char *format : {"yyyyMMdd'T'HHmmss'Z'", "yyyyMMdd'T'HHmmss", "yyyy-MM-dd'T'HH:mm:ss'Z'",
                               "yyyy-MM-dd'T'HH:mm:ss.zzz'Z'", "yyyy-MM-dd'T'HH:mm:ss", "yyyyMMdd", "yyyy-MM-dd"}) {
        QDateTime dt = QDateTime::fromString(text, QString::fromLatin1(format));
        if (dt.isValid()) {
            dt.setTimeSpec(Qt::UTC);
            return dt;
        }
    }
    QDateTime dt = QDateTime::fromString(text, Qt::ISODateWithMs);
    return dt.isValid() ? dt.toUTC() : QDateTime();
}

QString formatTimestamp(const QDateTime &dt)
{
    return dt.toUTC().toString(QStringLiteral("yyyyMMdd'T'HHmmss'Z'"));
}

std::optional<PartialDate> parseBirthday(const VCardProperty &p)
{
    QString text = p.value.trimmed();
    const qsizetype t = text.indexOf(QLatin1Char('T'));
    if (t > 0)
        text = text.left(t);
    PartialDate date;
    if (text.startsWith(QLatin1String("--"))) {
        const QString rest = QString(text.mid(2)).remove(QLatin1Char('-'));
        if (rest.size() != 4)
            return std::nullopt;
        date.month = rest.left(2).toInt();
        date.day = rest.mid(2).toInt();
    } else {
        const QString digits = QString(text).remove(QLatin1Char('-'));
        if (digits.size() != 8)
            return std::nullopt;
        bool ok = false;
        date.year = digits.left(4).toInt(&ok);
        if (!ok)
            return std::nullopt;
        date.month = digits.mid(4, 2).toInt();
        date.day = digits.mid(6, 2).toInt();
        // Some programs store "no year" as 1604 and say so in a parameter.
        if (p.hasParameter(QStringLiteral("X-APPLE-OMIT-YEAR")))
            date.year = 0;
    }
    if (!date.isValid())
        return std::nullopt;
    return date;
}

QString formatBirthday(const PartialDate &d)
{
    if (!d.hasYear())
        return QStringLiteral("--%1%2").arg(d.month, 2, 10, QLatin1Char('0')).arg(d.day, 2, 10, QLatin1Char('0'));
    return QStringLiteral("%1%2%3")
        .arg(d.year, 4, 10, QLatin1Char('0'))
        .arg(d.month, 2, 10, QLatin1Char('0'))
        .arg(d.day, 2, 10, QLatin1Char('0'));
}

QByteArray decodePhoto(const VCardProperty &p)
{
    const QString v = p.value.trimmed();
    if (v.startsWith(QLatin1String("data:"), Qt::CaseInsensitive)) {
        const qsizetype comma = v.indexOf(QLatin1Char(','));
        if (comma < 0 || !v.left(comma).contains(QLatin1String(";base64"), Qt::CaseInsensitive))
            return {};
        return QByteArray::fromBase64(v.mid(comma + 1).toLatin1());
    }
    for (const QString &e : p.parameterValues(QStringLiteral("ENCODING")))
        if (e.compare(QLatin1String("b"), Qt::CaseInsensitive) == 0 ||
            e.compare(QLatin1String("BASE64"), Qt::CaseInsensitive) == 0)
            return QByteArray::fromBase64(v.toLatin1());
    return {};
}

QString imageMimeSubtype(const QByteArray &data)
{
    if (data.startsWith("\x89PNG"))
        return QStringLiteral("png");
    if (data.startsWith("GIF8"))
        return QStringLiteral("gif");
    return QStringLiteral("jpeg");
}

void setText(VCard &card, const QString &name, const QString &value)
{
    if (value.isEmpty()) {
        card.removeAll(name);
        return;
    }
    if (VCardProperty *p = card.property(name)) {
        if (VCardCodec::unescape(p->value) != value)
            p->value = VCardCodec::escape(value);
        return;
    }
    card.properties.append({QString(), name, {}, VCardCodec::escape(value)});
}

QVariant entryValue(const QString &name, const VCardProperty &p)
{
    if (name == property::Address)
        return addressFromValue(p.value, p);
    QString text = VCardCodec::unescape(p.value).trimmed();
    if (name == property::Phone && text.startsWith(QLatin1String("tel:"), Qt::CaseInsensitive))
        text = text.mid(4);
    if (name == property::Email && text.startsWith(QLatin1String("mailto:"), Qt::CaseInsensitive))
        text = text.mid(7);
    return text;
}

void setEntryValue(const QString &name, VCardProperty &p, const QVariant &value)
{
    if (name != property::Address) {
        p.value = VCardCodec::escape(value.toString());
        p.removeParameter(QStringLiteral("VALUE"));
        return;
    }
    QStringList c = VCardCodec::splitComponents(p.value);
    while (c.size() < 7)
        c << QString();
    const QVariantMap map = value.toMap();
    c[2] = map.value(address_key::Street).toString();
    c[3] = map.value(address_key::City).toString();
    c[4] = map.value(address_key::State).toString();
    c[5] = map.value(address_key::ZIP).toString();
    c[6] = map.value(address_key::Country).toString();
    p.value = VCardCodec::joinComponents(c);
    const QString cc = map.value(address_key::CountryCode).toString();
    p.setParameter(QStringLiteral("CC"), cc.isEmpty() ? QStringList() : QStringList{cc});
    // A LABEL parameter spells the old address out; it would contradict the new one.
    p.removeParameter(QStringLiteral("LABEL"));
}

bool isV4(const VCard &card)
{
    return card.version.startsWith(QLatin1Char('4'));
}

} // namespace

QString MultiValue::add(const QVariant &value, const QString &label)
{
    const QString id = QStringLiteral("E") + QUuid::createUuid().toString(QUuid::Id128).left(16).toUpper();
    entries.append({id, label, value});
    return id;
}

bool MultiValue::remove(qsizetype index)
{
    if (index < 0 || index >= entries.size())
        return false;
    entries.removeAt(index);
    return true;
}

bool MultiValue::replaceValue(qsizetype index, const QVariant &value)
{
    if (index < 0 || index >= entries.size())
        return false;
    entries[index].value = value;
    return true;
}

bool MultiValue::replaceLabel(qsizetype index, const QString &label)
{
    if (index < 0 || index >= entries.size())
        return false;
    entries[index].label = label;
    return true;
}

qsizetype MultiValue::indexForIdentifier(const QString &identifier) const
{
    for (qsizetype i = 0; i < entries.size(); ++i)
        if (entries.at(i).identifier == identifier)
            return i;
    return -1;
}

ContactRecord::ContactRecord() : m_uid(newUid())
{
    m_card.version = QStringLiteral("4.0");
    m_created = QDateTime::currentDateTimeUtc();
    m_modified = m_created;
}

ContactRecord ContactRecord::newGroup(const QString &name)
{
    ContactRecord r;
    r.m_kind = Kind::Group;
    r.m_groupName = name;
    return r;
}

ContactRecord ContactRecord::fromVCard(const VCard &card, const QString &fallbackUid)
{
    ContactRecord r;
    r.m_card = card;
    r.m_created = QDateTime();
    r.m_modified = QDateTime();
    if (const VCardProperty *uid = card.property(QStringLiteral("UID"))) {
        QString value = uid->value.trimmed();
        if (value.startsWith(QLatin1String("urn:uuid:"), Qt::CaseInsensitive))
            value = value.mid(9);
        if (!value.isEmpty())
            r.m_uid = value;
        else if (!fallbackUid.isEmpty())
            r.m_uid = fallbackUid;
    } else if (!fallbackUid.isEmpty()) {
        r.m_uid = fallbackUid;
    }

    QString kind;
    if (const VCardProperty *p = card.property(QStringLiteral("KIND")))
        kind = p->value.trimmed().toLower();
    else if (const VCardProperty *p = card.property(QStringLiteral("X-ADDRESSBOOKSERVER-KIND")))
        kind = p->value.trimmed().toLower();
    if (kind == QLatin1String("group"))
        r.m_kind = Kind::Group;
    else if (kind == QLatin1String("org"))
        r.m_kind = Kind::Organization;
    else if (const VCardProperty *p = card.property(QStringLiteral("X-ABSHOWAS")))
        r.m_kind = p->value.trimmed().compare(QLatin1String("COMPANY"), Qt::CaseInsensitive) == 0 ? Kind::Organization
                                                                                                 : Kind::Individual;

    if (const VCardProperty *p = card.property(QStringLiteral("N"))) {
        const QStringList c = VCardCodec::splitComponents(p->value);
        r.m_last = c.value(0);
        r.m_first = c.value(1);
        r.m_middle = c.value(2);
        r.m_prefix = c.value(3);
        r.m_suffix = c.value(4);
    }
    if (const VCardProperty *p = card.property(QStringLiteral("FN")))
        r.m_groupName = VCardCodec::unescape(p->value);
    if (const VCardProperty *p = card.property(QStringLiteral("ORG"))) {
        const QStringList c = VCardCodec::splitComponents(p->value);
        r.m_organization = c.value(0);
        r.m_department = c.value(1);
    }
    if (const VCardProperty *p = card.property(QStringLiteral("NICKNAME")))
        r.m_nickname = VCardCodec::splitComponents(p->value, QLatin1Char(',')).value(0);
    if (const VCardProperty *p = card.property(QStringLiteral("TITLE")))
        r.m_jobTitle = VCardCodec::unescape(p->value);
    if (const VCardProperty *p = card.property(QStringLiteral("NOTE")))
        r.m_note = VCardCodec::unescape(p->value);
    if (const VCardProperty *p = card.property(QStringLiteral("BDAY")))
        r.m_birthday = parseBirthday(*p);
    if (const VCardProperty *p = card.property(QStringLiteral("REV")))
        r.m_modified = parseTimestamp(p->value);
    if (const VCardProperty *p = card.property(CreatedProperty))
        r.m_created = parseTimestamp(p->value);
    if (!r.m_created.isValid())
        r.m_created = r.m_modified;
    if (const VCardProperty *p = card.property(QStringLiteral("PHOTO")))
        r.m_image = decodePhoto(*p);

    for (const QString &name : {property::Phone, property::Email, property::URLs, property::Address}) {
        const QString vname = vcardName(name);
        const QStringList ids = entryIdentifiers(card, vname, r.m_uid);
        MultiValue mv;
        qsizetype i = 0;
        for (const VCardProperty &p : card.properties) {
            if (p.name != vname)
                continue;
            MultiValueEntry entry;
            entry.identifier = ids.value(i++);
            entry.label = readLabel(card, p);
            entry.value = entryValue(name, p);
            mv.entries << entry;
        }
        if (name == property::Phone)
            r.m_phones = mv;
        else if (name == property::Email)
            r.m_emails = mv;
        else if (name == property::URLs)
            r.m_urls = mv;
        else
            r.m_addresses = mv;
    }

    for (const VCardProperty &p : card.properties) {
        if (p.name != QLatin1String("MEMBER") && p.name != QLatin1String("X-ADDRESSBOOKSERVER-MEMBER"))
            continue;
        QString member = p.value.trimmed();
        if (member.startsWith(QLatin1String("urn:uuid:"), Qt::CaseInsensitive))
            member = member.mid(9);
        if (!member.isEmpty() && !r.m_members.contains(member))
            r.m_members << member;
    }
    return r;
}

VCard ContactRecord::toVCard() const
{
    VCard card = m_card;
    if (card.version.isEmpty())
        card.version = QStringLiteral("4.0");
    // We never write 2.1's encodings, so what we write is 3.0.
    if (card.version.startsWith(QLatin1Char('2')))
        card.version = QStringLiteral("3.0");
    const ContactRecord original = fromVCard(m_card, m_uid);

    if (VCardProperty *uid = card.property(QStringLiteral("UID"))) {
        if (original.m_uid != m_uid)
            uid->value = m_uid;
    } else {
        card.properties.prepend({QString(), QStringLiteral("UID"), {}, m_uid});
    }

    // Kind.
    card.removeAll(QStringLiteral("X-ADDRESSBOOKSERVER-KIND"));
    if (m_kind == Kind::Individual) {
        if (VCardProperty *p = card.property(QStringLiteral("KIND")); p && original.m_kind != Kind::Individual)
            card.removeAll(QStringLiteral("KIND"));
        if (original.m_kind == Kind::Organization)
            card.removeAll(QStringLiteral("X-ABSHOWAS"));
    } else {
        const QString value = m_kind == Kind::Group ? QStringLiteral("group") : QStringLiteral("org");
        if (VCardProperty *p = card.property(QStringLiteral("KIND")))
            p->value = value;
        else
            card.properties.append({QString(), QStringLiteral("KIND"), {}, value});
    }

    // Names.
    const QStringList names = {m_last, m_first, m_middle, m_prefix, m_suffix};
    const QStringList originalNames = {original.m_last, original.m_first, original.m_middle, original.m_prefix,
                                       original.m_suffix};
    bool namesChanged = names != originalNames;
    if (m_kind != Kind::Group) {
        if (VCardProperty *p = card.property(QStringLiteral("N"))) {
            if (namesChanged) {
                QStringList c = VCardCodec::splitComponents(p->value);
                while (c.size() < 5)
                    c << QString();
                for (int i = 0; i < 5; ++i)
                    c[i] = names.at(i);
                p->value = VCardCodec::joinComponents(c);
            }
        } else {
            card.properties.append({QString(), QStringLiteral("N"), {}, VCardCodec::joinComponents(names)});
        }
    }
    QString formatted = m_kind == Kind::Group ? m_groupName : fullName(1);
    if (formatted.isEmpty())
        formatted = m_organization;
    if (formatted.isEmpty() && !m_emails.entries.isEmpty())
        formatted = m_emails.entries.first().value.toString();
    if (VCardProperty *fn = card.property(QStringLiteral("FN"))) {
        const bool keep = !namesChanged && m_organization == original.m_organization &&
                          m_groupName == original.m_groupName && !fn->value.isEmpty();
        if (!keep && !formatted.isEmpty())
            fn->value = VCardCodec::escape(formatted);
    } else {
        card.properties.append({QString(), QStringLiteral("FN"), {}, VCardCodec::escape(formatted)});
    }

    // Organisation and department.
    if (m_organization != original.m_organization || m_department != original.m_department) {
        if (m_organization.isEmpty() && m_department.isEmpty()) {
            card.removeAll(QStringLiteral("ORG"));
        } else {
            QStringList c;
            if (const VCardProperty *p = card.property(QStringLiteral("ORG")))
                c = VCardCodec::splitComponents(p->value);
            while (c.size() < 2)
                c << QString();
            c[0] = m_organization;
            c[1] = m_department;
            while (c.size() > 1 && c.last().isEmpty())
                c.removeLast();
            if (VCardProperty *p = card.property(QStringLiteral("ORG")))
                p->value = VCardCodec::joinComponents(c);
            else
                card.properties.append({QString(), QStringLiteral("ORG"), {}, VCardCodec::joinComponents(c)});
        }
    }
    if (m_nickname != original.m_nickname)
        setText(card, QStringLiteral("NICKNAME"), m_nickname);
    if (m_jobTitle != original.m_jobTitle)
        setText(card, QStringLiteral("TITLE"), m_jobTitle);
    if (m_note != original.m_note)
        setText(card, QStringLiteral("NOTE"), m_note);

    if (m_birthday != original.m_birthday) {
        card.removeAll(QStringLiteral("BDAY"));
        if (m_birthday && m_birthday->isValid())
            card.properties.append({QString(), QStringLiteral("BDAY"), {}, formatBirthday(*m_birthday)});
    }
    if (m_modified.isValid()) {
        if (VCardProperty *p = card.property(QStringLiteral("REV")))
            p->value = formatTimestamp(m_modified);
        else
            card.properties.append({QString(), QStringLiteral("REV"), {}, formatTimestamp(m_modified)});
    }
    if (m_created.isValid() && m_created != original.m_created) {
        card.removeAll(CreatedProperty);
        card.properties.append({QString(), CreatedProperty, {}, formatTimestamp(m_created)});
    }

    if (m_image != original.m_image) {
        card.removeAll(QStringLiteral("PHOTO"));
        if (!m_image.isEmpty()) {
            const QString subtype = imageMimeSubtype(m_image);
            if (isV4(card))
                card.properties.append({QString(), QStringLiteral("PHOTO"), {},
                                        QStringLiteral("data:image/%1;base64,").arg(subtype) +
                                            QString::fromLatin1(m_image.toBase64())});
            else
                card.properties.append({QString(), QStringLiteral("PHOTO"),
                                        {{QStringLiteral("ENCODING"), {QStringLiteral("b")}},
                                         {QStringLiteral("TYPE"), {subtype.toUpper()}}},
                                        QString::fromLatin1(m_image.toBase64())});
        }
    }

    // Multi-values: lines matched to entries by identifier are updated in place, lines whose entry is gone
    // removed, new entries appended after the last line of their kind.
    for (const QString &name : {property::Phone, property::Email, property::URLs, property::Address}) {
        const QString vname = vcardName(name);
        const MultiValue wanted = multiValue(name);
        const QStringList ids = entryIdentifiers(card, vname, m_uid);
        QStringList kept;
        qsizetype i = 0;
        for (qsizetype k = 0; k < card.properties.size(); ++k) {
            if (card.properties.at(k).name != vname)
                continue;
            const QString id = ids.value(i++);
            const qsizetype at = wanted.indexForIdentifier(id);
            if (at < 0 || kept.contains(id))
                continue;
            kept << id;
            const MultiValueEntry &entry = wanted.entries.at(at);
            VCardProperty &p = card.properties[k];
            if (entryValue(name, p) != entry.value)
                setEntryValue(name, p, entry.value);
            if (readLabel(card, p) != entry.label)
                writeLabel(card, p, entry.label);
            p.setParameter(EntryIdParameter, {entry.identifier});
        }
        QList<VCardProperty> out;
        qsizetype lastIndex = -1;
        QStringList written;
        i = 0;
        for (const VCardProperty &p : std::as_const(card.properties)) {
            if (p.name != vname) {
                out << p;
                continue;
            }
            const QString id = ids.value(i++);
            if (!kept.contains(id) || written.contains(id))
                continue;
            written << id;
            out << p;
            lastIndex = out.size() - 1;
        }
        QList<VCardProperty> added;
        for (const MultiValueEntry &entry : wanted.entries) {
            if (written.contains(entry.identifier))
                continue;
            VCardProperty p{QString(), vname, {}, QString()};
            setEntryValue(name, p, entry.value);
            VCard scratch;
            writeLabel(scratch, p, entry.label);
            p.setParameter(EntryIdParameter, {entry.identifier});
            added << p;
            written << entry.identifier;
        }
        if (lastIndex < 0)
            out += added;
        else
            for (qsizetype a = 0; a < added.size(); ++a)
                out.insert(lastIndex + 1 + a, added.at(a));
        card.properties = out;
    }

    if (m_kind == Kind::Group && m_members != original.m_members) {
        card.removeAll(QStringLiteral("X-ADDRESSBOOKSERVER-MEMBER"));
        card.removeAll(QStringLiteral("MEMBER"));
        for (const QString &member : m_members)
            card.properties.append({QString(), QStringLiteral("MEMBER"), {}, QStringLiteral("urn:uuid:") + member});
    }
    return card;
}

void ContactRecord::setCompany(bool company)
{
    if (m_kind == Kind::Group)
        return;
    m_kind = company ? Kind::Organization : Kind::Individual;
}

QString ContactRecord::stringValue(const QString &name) const
{
    auto orNull = [](const QString &s) { return s.isEmpty() ? QString() : s; };
    if (name == property::FirstName)
        return orNull(m_first);
    if (name == property::LastName)
        return orNull(m_last);
    if (name == property::MiddleName)
        return orNull(m_middle);
    if (name == property::Title)
        return orNull(m_prefix);
    if (name == property::Suffix)
        return orNull(m_suffix);
    if (name == property::Organization)
        return orNull(m_organization);
    if (name == property::Department)
        return orNull(m_department);
    if (name == property::JobTitle)
        return orNull(m_jobTitle);
    if (name == property::Nickname)
        return orNull(m_nickname);
    if (name == property::Note)
        return orNull(m_note);
    if (name == property::UID)
        return m_uid;
    return QString();
}

void ContactRecord::setStringValue(const QString &name, const QString &value)
{
    const QString v = value.isNull() ? QString() : value;
    if (name == property::FirstName)
        m_first = v;
    else if (name == property::LastName)
        m_last = v;
    else if (name == property::MiddleName)
        m_middle = v;
    else if (name == property::Title)
        m_prefix = v;
    else if (name == property::Suffix)
        m_suffix = v;
    else if (name == property::Organization)
        m_organization = v;
    else if (name == property::Department)
        m_department = v;
    else if (name == property::JobTitle)
        m_jobTitle = v;
    else if (name == property::Nickname)
        m_nickname = v;
    else if (name == property::Note)
        m_note = v;
}

QVariant ContactRecord::valueForProperty(const QString &name) const
{
    if (name == property::Birthday)
        return m_birthday ? QVariant::fromValue(*m_birthday) : QVariant();
    if (name == property::CreationDate)
        return m_created;
    if (name == property::ModificationDate)
        return m_modified;
    if (name == property::Flags)
        return flags();
    if (name == property::Phone || name == property::Email || name == property::URLs || name == property::Address)
        return QVariant::fromValue(multiValue(name));
    const QString s = stringValue(name);
    return s.isNull() ? QVariant() : QVariant(s);
}

MultiValue ContactRecord::multiValue(const QString &name) const
{
    if (name == property::Phone)
        return m_phones;
    if (name == property::Email)
        return m_emails;
    if (name == property::URLs)
        return m_urls;
    if (name == property::Address)
        return m_addresses;
    return {};
}

void ContactRecord::setMultiValue(const QString &name, const MultiValue &value)
{
    if (name == property::Phone)
        m_phones = value;
    else if (name == property::Email)
        m_emails = value;
    else if (name == property::URLs)
        m_urls = value;
    else if (name == property::Address)
        m_addresses = value;
}

QByteArray ContactRecord::thumbnailImageData(int side) const
{
    if (m_image.isEmpty())
        return {};
    QImage image;
    if (!image.loadFromData(m_image))
        return {};
    QByteArray out;
    QBuffer buffer(&out);
    buffer.open(QIODevice::WriteOnly);
    image.scaled(side, side, Qt::KeepAspectRatio, Qt::SmoothTransformation).save(&buffer, "PNG");
    return out;
}

bool ContactRecord::addMember(const QString &uid)
{
    if (uid.isEmpty() || m_members.contains(uid))
        return false;
    m_members << uid;
    return true;
}

bool ContactRecord::removeMember(const QString &uid)
{
    return m_members.removeAll(uid) > 0;
}

QString ContactRecord::fullName(int nameOrder) const
{
    if (m_kind == Kind::Group)
        return m_groupName;
    QStringList parts;
    auto add = [&](const QString &s) {
        if (!s.trimmed().isEmpty())
            parts << s.trimmed();
    };
    if (nameOrder == 2) {
        add(m_prefix);
        add(m_last);
        add(m_first);
        add(m_middle);
        add(m_suffix);
    } else {
        add(m_prefix);
        add(m_first);
        add(m_middle);
        add(m_last);
        add(m_suffix);
    }
    if (m_kind == Kind::Organization && !m_organization.isEmpty())
        return m_organization;
    if (!parts.isEmpty())
        return parts.join(QLatin1Char(' '));
    if (!m_organization.isEmpty())
        return m_organization;
    // A card with a formatted name only.
    return m_groupName;
}

QString ContactRecord::localizedLabel(const QString &label)
{
    return labelFromGroupedText(label);
}

QString ContactRecord::addressText(const QVariantMap &address)
{
    QStringList parts;
    for (const QString &key : {address_key::Street, address_key::City, address_key::State, address_key::ZIP,
                               address_key::Country}) {
        const QString v = address.value(key).toString().trimmed();
        if (!v.isEmpty())
            parts << v;
    }
    return parts.join(QStringLiteral(", "));
}

bool ContactRecord::operator==(const ContactRecord &other) const
{
    return toVCard() == other.toVCard();
}

} // namespace platform::contacts
