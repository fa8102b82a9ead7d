#include "platform/contacts/ContactRecord.h"
#include "platform/contacts/VCard.h"

#include <QFile>
#include <QRandomGenerator>
#include <gtest/gtest.h>

using namespace platform::contacts;
using platform::core::QDError;

namespace {

QByteArray fixture(const QString &name)
{
    QFile file(qEnvironmentVariable("QUENDEL_TEST_DATA") + QStringLiteral("/contacts/") + name);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll();
}

ContactRecord readOne(const QByteArray &data, const QString &fallback = QStringLiteral("fallback"))
{
    QDError error;
    const QList<VCard> cards = VCardCodec::read(data, &error);
    EXPECT_TRUE(error.isNull()) << error.toString().toStdString();
    EXPECT_EQ(cards.size(), 1);
    return ContactRecord::fromVCard(cards.value(0), fallback);
}

QStringList labels(const MultiValue &mv)
{
    QStringList out;
    for (const MultiValueEntry &e : mv.entries)
        out << e.label;
    return out;
}

QStringList values(const MultiValue &mv)
{
    QStringList out;
    for (const MultiValueEntry &e : mv.entries)
        out << e.value.toString();
    return out;
}

const QByteArray OnePixelPng = QByteArray::fromBase64(
    "iVBORw0KGgoAAAANSUhEUgAAAAEAAAABCAYAAAAfFcSJAAAADUlEQVR42mP8z8BQDwAEhQGAhKmMIQAAAABJRU5ErkJggg==");

} // namespace

TEST(VCardCodec, ReadsGroupedLabelsFoldedPhotoAndYearlessBirthday)
{
    const ContactRecord r = readOne(fixture(QStringLiteral("grouped-labels-v3.vcf")));
    EXPECT_EQ(r.uniqueId(), QStringLiteral("ada-lovelace-0001"));
    EXPECT_EQ(r.stringValue(property::FirstName), QStringLiteral("Ada"));
    EXPECT_EQ(r.stringValue(property::LastName), QStringLiteral("Lovelace"));
    EXPECT_EQ(r.stringValue(property::MiddleName), QStringLiteral("King"));
    EXPECT_EQ(r.stringValue(property::Title), QStringLiteral("Lady"));
    EXPECT_TRUE(r.stringValue(property::Suffix).isNull());
    EXPECT_EQ(r.stringValue(property::Organization), QStringLiteral("Analytical Engines Ltd"));
    EXPECT_EQ(r.stringValue(property::Department), QStringLiteral("Research"));
    EXPECT_EQ(r.stringValue(property::JobTitle), QStringLiteral("Mathematician"));
    EXPECT_EQ(r.stringValue(property::Nickname), QStringLiteral("Countess"));
    EXPECT_EQ(r.stringValue(property::Note), QStringLiteral("First line\nSecond, with comma; and semicolon"));
    EXPECT_EQ(values(r.multiValue(property::Phone)), (QStringList{"+44 20 7946 0018", "07700 900123"}));
    EXPECT_EQ(labels(r.multiValue(property::Phone)), (QStringList{"home fax", "mobile"}));
    EXPECT_EQ(labels(r.multiValue(property::Email)), (QStringList{"lab", "work"}));
    const QVariantMap address = r.multiValue(property::Address).entries.value(0).value.toMap();
    EXPECT_EQ(address.value(address_key::Street).toString(), QStringLiteral("12 St James, Square"));
    EXPECT_EQ(address.value(address_key::ZIP).toString(), QStringLiteral("SW1Y 4JH"));
    EXPECT_EQ(r.multiValue(property::Address).entries.value(0).label, QStringLiteral("home"));
    ASSERT_TRUE(r.birthday().has_value());
    EXPECT_FALSE(r.birthday()->hasYear());
    EXPECT_EQ(r.birthday()->month, 12);
    EXPECT_EQ(r.birthday()->day, 10);
    EXPECT_EQ(r.imageData(), OnePixelPng);
    EXPECT_FALSE(r.thumbnailImageData().isEmpty());
    EXPECT_EQ(r.modificationDate(), QDateTime(QDate(2024, 3, 1), QTime(10, 20, 30), Qt::UTC));
    EXPECT_EQ(r.creationDate(), r.modificationDate());
    EXPECT_FALSE(r.isCompany());
}

TEST(VCardCodec, ReadsVersionFourCompanyWithUriValuesAndDataUriPhoto)
{
    const ContactRecord r = readOne(fixture(QStringLiteral("company-v4.vcf")));
    EXPECT_EQ(r.uniqueId(), QStringLiteral("7f0c7a2e-1111-4c5d-9e11-0123456789ab"));
    EXPECT_TRUE(r.isCompany());
    EXPECT_EQ(r.flags() & 7, 1);
    EXPECT_EQ(r.fullName(), QStringLiteral("Northwind Trading"));
    EXPECT_EQ(values(r.multiValue(property::Phone)), QStringList{"+1-555-0100"});
    EXPECT_EQ(labels(r.multiValue(property::Phone)), QStringList{"work"});
    EXPECT_EQ(labels(r.multiValue(property::Email)), QStringList{"other"});
    const QVariantMap address = r.multiValue(property::Address).entries.value(0).value.toMap();
    EXPECT_EQ(address.value(address_key::CountryCode).toString(), QStringLiteral("us"));
    EXPECT_EQ(address.value(address_key::State).toString(), QStringLiteral("CA"));
    EXPECT_EQ(r.birthday(), (PartialDate{0, 4, 12}));
    EXPECT_EQ(r.imageData(), OnePixelPng);
}

TEST(VCardCodec, ReadsQuotedPrintableCharsetsAndBareParameters)
{
    const ContactRecord r = readOne(fixture(QStringLiteral("quoted-printable-v21.vcf")), QStringLiteral("file-name"));
    EXPECT_EQ(r.uniqueId(), QStringLiteral("file-name"));
    EXPECT_EQ(r.stringValue(property::FirstName), QStringLiteral("Jürgen"));
    EXPECT_EQ(r.stringValue(property::LastName), QStringLiteral("Müller"));
    EXPECT_EQ(r.stringValue(property::Note), QStringLiteral("Grüße aus Berlin\r\nzweite Zeile").remove('\r'));
    EXPECT_EQ(labels(r.multiValue(property::Phone)), (QStringList{"home", "work fax"}));
    EXPECT_EQ(values(r.multiValue(property::Email)), QStringList{"j.mueller@example.de"});
}

TEST(VCardCodec, ReadsGroupsAndCustomLabels)
{
    const ContactRecord group = readOne(fixture(QStringLiteral("group-v4.vcf")));
    EXPECT_TRUE(group.isGroup());
    EXPECT_EQ(group.groupName(), QStringLiteral("Friends"));
    EXPECT_EQ(group.memberIds(),
              (QStringList{"ada-lovelace-0001", "7f0c7a2e-1111-4c5d-9e11-0123456789ab"}));

    const ContactRecord plain = readOne(fixture(QStringLiteral("no-uid-v3.vcf")));
    EXPECT_EQ(labels(plain.multiValue(property::URLs)), QStringList{"home page"});
    EXPECT_EQ(labels(plain.multiValue(property::Phone)), QStringList{"other"});
}

// Every fixture read, written and read again gives the same record, and what we do not model survives.
TEST(VCardCodec, FixturesSurviveARoundTrip)
{
    for (const char *name : {"grouped-labels-v3.vcf", "company-v4.vcf", "quoted-printable-v21.vcf", "group-v4.vcf",
                             "no-uid-v3.vcf"}) {
        SCOPED_TRACE(name);
        const QByteArray data = fixture(QString::fromLatin1(name));
        ASSERT_FALSE(data.isEmpty());
        const VCard original = VCardCodec::read(data).value(0);
        const ContactRecord first = ContactRecord::fromVCard(original, QStringLiteral("fallback"));
        const QByteArray written = VCardCodec::write(first.toVCard());
        QDError error;
        const VCard reread = VCardCodec::read(written, &error).value(0);
        ASSERT_TRUE(error.isNull()) << error.toString().toStdString();
        const ContactRecord second = ContactRecord::fromVCard(reread, QStringLiteral("other-fallback"));
        EXPECT_EQ(second.uniqueId(), first.uniqueId());
        for (const QString &p : {property::FirstName, property::LastName, property::MiddleName, property::Title,
                                 property::Suffix, property::Organization, property::Department, property::JobTitle,
                                 property::Nickname, property::Note})
            EXPECT_EQ(second.stringValue(p), first.stringValue(p)) << p.toStdString();
        for (const QString &p : {property::Phone, property::Email, property::URLs, property::Address})
            EXPECT_EQ(second.multiValue(p), first.multiValue(p)) << p.toStdString();
        EXPECT_EQ(second.birthday(), first.birthday());
        EXPECT_EQ(second.imageData(), first.imageData());
        EXPECT_EQ(second.memberIds(), first.memberIds());
        EXPECT_EQ(second.kind(), first.kind());
        for (const VCardProperty &p : original.properties) {
            if (!p.name.startsWith(QLatin1String("X-")) || p.name == QLatin1String("X-ABLABEL"))
                continue;
            bool found = false;
            for (const VCardProperty &q : reread.properties)
                found = found || (q.name == p.name && q.value == p.value && q.parameters == p.parameters);
            EXPECT_TRUE(found) << p.name.toStdString();
        }
        EXPECT_EQ(reread.version, original.version == QLatin1String("2.1") ? QStringLiteral("3.0") : original.version);
    }
}

TEST(VCardCodec, WriterFoldsAtSeventyFiveOctetsWithoutSplittingCharacters)
{
    VCard card;
    const QString longNote = QString(40, QChar(0x00FC)) + QString(100, QLatin1Char('x')) + QStringLiteral("é, ;\\");
    card.properties.append({QString(), QStringLiteral("NOTE"), {}, VCardCodec::escape(longNote)});
    const QByteArray out = VCardCodec::write(card);
    for (const QByteArray &line : out.split('\n')) {
        const QByteArray l = line.endsWith('\r') ? line.chopped(1) : line;
        EXPECT_LE(l.size(), 75);
        EXPECT_FALSE(QString::fromUtf8(l).contains(QChar::ReplacementCharacter));
    }
    EXPECT_TRUE(out.endsWith("END:VCARD\r\n"));
    const VCard back = VCardCodec::read(out).value(0);
    EXPECT_EQ(VCardCodec::unescape(back.property(QStringLiteral("NOTE"))->value), longNote);
}

TEST(VCardCodec, EscapingAndComponentsTable)
{
    struct Case
    {
        const char *text;
        const char *escaped;
    };
    for (const Case &c : {Case{"a,b", "a\\,b"}, Case{"a;b", "a\\;b"}, Case{"a\\b", "a\\\\b"}, Case{"a\nb", "a\\nb"},
                          Case{"plain", "plain"}, Case{"", ""}}) {
        EXPECT_EQ(VCardCodec::escape(QString::fromUtf8(c.text)), QString::fromUtf8(c.escaped));
        EXPECT_EQ(VCardCodec::unescape(QString::fromUtf8(c.escaped)), QString::fromUtf8(c.text));
    }
    EXPECT_EQ(VCardCodec::unescape(QStringLiteral("a\\Nb")), QStringLiteral("a\nb"));
    EXPECT_EQ(VCardCodec::splitComponents(QStringLiteral("Doe;John\\;Paul;;Dr.;")),
              (QStringList{"Doe", "John;Paul", "", "Dr.", ""}));
    const QStringList parts{"a;b", "c,d", "e\\f"};
    EXPECT_EQ(VCardCodec::splitComponents(VCardCodec::joinComponents(parts)), parts);
}

TEST(VCardCodec, ParameterQuotingAndCaretEscapes)
{
    const QByteArray data = "BEGIN:VCARD\r\nVERSION:4.0\r\nX-A;X-P=\"x:y;z\";X-Q=a^'b^nc^^:v\r\nEND:VCARD\r\n";
    const VCard card = VCardCodec::read(data).value(0);
    const VCardProperty *p = card.property(QStringLiteral("X-A"));
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(p->parameterValues(QStringLiteral("X-P")), QStringList{"x:y;z"});
    EXPECT_EQ(p->parameterValues(QStringLiteral("X-Q")), QStringList{"a\"b\nc^"});
    const VCard again = VCardCodec::read(VCardCodec::write(card)).value(0);
    EXPECT_EQ(again.properties, card.properties);
}

// Edits reach the card, keep the lines of other programs and keep entry identifiers stable.
TEST(VCardCodec, EditsRewriteOnlyWhatChanged)
{
    ContactRecord r = readOne(fixture(QStringLiteral("grouped-labels-v3.vcf")));
    MultiValue phones = r.multiValue(property::Phone);
    const QString firstId = phones.entries.at(0).identifier;
    phones.replaceValue(1, QStringLiteral("07700 900999"));
    phones.replaceLabel(0, QStringLiteral("work"));
    const QString addedId = phones.add(QStringLiteral("555 0101"), QStringLiteral("my label"));
    r.setMultiValue(property::Phone, phones);
    MultiValue emails = r.multiValue(property::Email);
    emails.remove(1);
    r.setMultiValue(property::Email, emails);
    r.setStringValue(property::LastName, QStringLiteral("Byron"));
    r.setBirthday(PartialDate{1815, 12, 10});
    r.setImageData({});

    const QByteArray written = VCardCodec::write(r.toVCard());
    const VCard card = VCardCodec::read(written).value(0);
    const ContactRecord back = ContactRecord::fromVCard(card);
    EXPECT_EQ(values(back.multiValue(property::Phone)), (QStringList{"+44 20 7946 0018", "07700 900999", "555 0101"}));
    EXPECT_EQ(labels(back.multiValue(property::Phone)), (QStringList{"work", "mobile", "my label"}));
    EXPECT_EQ(back.multiValue(property::Phone).entries.at(0).identifier, firstId);
    EXPECT_EQ(back.multiValue(property::Phone).entries.at(2).identifier, addedId);
    EXPECT_EQ(values(back.multiValue(property::Email)), QStringList{"ada@engines.example"});
    EXPECT_EQ(back.stringValue(property::LastName), QStringLiteral("Byron"));
    EXPECT_EQ(VCardCodec::unescape(card.property(QStringLiteral("FN"))->value), QStringLiteral("Lady Ada King Byron"));
    EXPECT_EQ(back.birthday(), (PartialDate{1815, 12, 10}));
    EXPECT_EQ(card.property(QStringLiteral("BDAY"))->value, QStringLiteral("18151210"));
    EXPECT_EQ(card.property(QStringLiteral("PHOTO")), nullptr);
    EXPECT_NE(card.property(QStringLiteral("X-SOCIALPROFILE")), nullptr);
    EXPECT_NE(card.property(QStringLiteral("PRODID")), nullptr);
    EXPECT_TRUE(written.contains("X-LABEL=my label"));
}

TEST(VCardCodec, NewRecordsWriteVersionFourWithKindMembersAndPhoto)
{
    ContactRecord company;
    company.setCompany(true);
    company.setStringValue(property::Organization, QStringLiteral("Acme, Inc."));
    company.setImageData(OnePixelPng);
    company.setBirthday(PartialDate{0, 2, 29});
    const QByteArray out = VCardCodec::write(company.toVCard());
    EXPECT_TRUE(out.contains("KIND:org"));
    EXPECT_TRUE(out.contains("PHOTO:data:image/png;base64,"));
    EXPECT_TRUE(out.contains("BDAY:--0229"));
    const ContactRecord back = ContactRecord::fromVCard(VCardCodec::read(out).value(0));
    EXPECT_TRUE(back.isCompany());
    EXPECT_EQ(back.fullName(), QStringLiteral("Acme, Inc."));
    EXPECT_EQ(back.uniqueId(), company.uniqueId());

    ContactRecord group = ContactRecord::newGroup(QStringLiteral("Team"));
    group.addMember(company.uniqueId());
    const QByteArray groupOut = VCardCodec::write(group.toVCard());
    EXPECT_TRUE(groupOut.contains("KIND:group"));
    EXPECT_TRUE(groupOut.contains("MEMBER:urn:uuid:" + company.uniqueId().toUtf8()));
}

TEST(VCardCodec, DamagedInputGivesAClearError)
{
    struct Case
    {
        QByteArray data;
        qint64 code;
    };
    const QList<Case> cases = {
        {"", VCardCodec::NoCardError},
        {"hello world\n", VCardCodec::NoCardError},
        {"BEGIN:VCARD\r\nVERSION:3.0\r\nFN:Cut", VCardCodec::UnterminatedCardError},
        {"BEGIN:VCARD\r\nno colon here\r\nEND:VCARD\r\n", VCardCodec::MalformedLineError},
        {"BEGIN:VCARD\r\n;TYPE=x:v\r\nEND:VCARD\r\n", VCardCodec::MalformedLineError},
        {"END:VCARD\r\n", VCardCodec::MalformedLineError},
    };
    for (const Case &c : cases) {
        QDError error;
        EXPECT_TRUE(VCardCodec::read(c.data, &error).isEmpty()) << c.data.constData();
        EXPECT_EQ(error.code(), c.code) << c.data.constData();
        EXPECT_FALSE(error.localizedDescription().isEmpty());
    }
    QDError error;
    EXPECT_TRUE(VCardCodec::read(QByteArray(VCardCodec::MaximumFileSize + 1, 'x'), &error).isEmpty());
    EXPECT_EQ(error.code(), VCardCodec::TooLargeError);
}

// Mutated fixtures: cut short, folding broken, lines duplicated, bytes flipped, huge and malformed values.
// Nothing crashes; each file reads or fails with an error, and a later good file still reads.
TEST(VCardCodec, FuzzedFixturesNeverCrash)
{
    QList<QByteArray> seeds;
    for (const char *name : {"grouped-labels-v3.vcf", "company-v4.vcf", "quoted-printable-v21.vcf", "group-v4.vcf",
                             "no-uid-v3.vcf"})
        seeds << fixture(QString::fromLatin1(name));
    QRandomGenerator rng(20240501);
    int failures = 0;
    for (int round = 0; round < 1500; ++round) {
        QByteArray data = seeds.at(rng.bounded(int(seeds.size())));
        switch (rng.bounded(8)) {
        case 0: data.truncate(rng.bounded(int(data.size()))); break;
        case 1: { // break folding: a continuation line loses its leading blank or gains one
            const qsizetype at = data.indexOf('\n', rng.bounded(int(data.size())));
            if (at >= 0)
                data.insert(at + 1, rng.bounded(2) ? " " : "\t=");
            break;
        }
        case 2:
            for (int i = 0; i < 8; ++i)
                data[rng.bounded(int(data.size()))] = char(rng.bounded(256));
            break;
        case 3: data.replace("\r\n", rng.bounded(2) ? "\r" : "\n\n"); break;
        case 4: data.insert(data.indexOf("END:VCARD"), "NOTE:" + QByteArray(300 * 1000, 'A') + "\r\n"); break;
        case 5: data.insert(data.indexOf('\n') + 1, "PHOTO;ENCODING=b:%%%%not base64%%%%\r\nBDAY:--1399\r\nREV:x\r\n"); break;
        case 6: data.insert(data.indexOf('\n') + 1, QByteArray("X-Q;ENCODING=QUOTED-PRINTABLE:=") + "=\r\n=Z=\r\n"); break;
        default: data.replace(":", rng.bounded(2) ? ";" : "\""); break;
        }
        QDError error;
        const QList<VCard> cards = VCardCodec::read(data, &error);
        if (cards.isEmpty()) {
            ++failures;
            EXPECT_FALSE(error.isNull());
            EXPECT_FALSE(error.localizedDescription().isEmpty());
            continue;
        }
        for (const VCard &card : cards) {
            const ContactRecord r = ContactRecord::fromVCard(card, QStringLiteral("x"));
            // What we read we can write and read again.
            EXPECT_FALSE(VCardCodec::read(VCardCodec::write(r.toVCard())).isEmpty());
        }
    }
    EXPECT_GT(failures, 0);
    EXPECT_FALSE(VCardCodec::read(seeds.first()).isEmpty());
}
