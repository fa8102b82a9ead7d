#pragma once

#include "platform/contacts/VCard.h"

#include <QDate>
#include <QDateTime>
#include <QVariant>
#include <QVariantMap>

#include <optional>

namespace platform::contacts {

// Names of a record's properties, as searches and the bridge above us name them.
namespace property {
inline const QString UID = QStringLiteral("UID");
inline const QString FirstName = QStringLiteral("First");
inline const QString LastName = QStringLiteral("Last");
inline const QString MiddleName = QStringLiteral("Middle");
inline const QString Title = QStringLiteral("Title"); // the name prefix
inline const QString Suffix = QStringLiteral("Suffix");
inline const QString Organization = QStringLiteral("Organization");
inline const QString Department = QStringLiteral("Department");
inline const QString JobTitle = QStringLiteral("JobTitle");
inline const QString Nickname = QStringLiteral("Nickname");
inline const QString Note = QStringLiteral("Note");
inline const QString Birthday = QStringLiteral("Birthday");
inline const QString Phone = QStringLiteral("Phone");
inline const QString Email = QStringLiteral("Email");
inline const QString URLs = QStringLiteral("URLs");
inline const QString Address = QStringLiteral("Address");
inline const QString Flags = QStringLiteral("ABPersonFlags");
inline const QString CreationDate = QStringLiteral("Creation");
inline const QString ModificationDate = QStringLiteral("Modification");
} // namespace property

// Keys of an address entry's dictionary.
namespace address_key {
inline const QString Street = QStringLiteral("Street");
inline const QString City = QStringLiteral("City");
inline const QString State = QStringLiteral("State");
inline const QString ZIP = QStringLiteral("ZIP");
inline const QString Country = QStringLiteral("Country");
inline const QString CountryCode = QStringLiteral("CountryCode");
} // namespace address_key

// A birthday may come without a year ("--0412"): year is 0 then.
struct PartialDate
{
    int year = 0;
    int month = 0;
    int day = 0;
    bool hasYear() const { return year != 0; }
    bool isValid() const { return QDate(hasYear() ? year : 2000, month, day).isValid(); }
    bool operator==(const PartialDate &) const = default;
};

// One entry of a multi-valued property: a phone, an e-mail, a web address (text values) or a postal
// address (a dictionary under the address_key names).
struct MultiValueEntry
{
    QString identifier;
    QString label;
    QVariant value;
    bool operator==(const MultiValueEntry &) const = default;
};

class MultiValue
{
public:
    QList<MultiValueEntry> entries;

    qsizetype count() const { return entries.size(); }
    // Appends an entry with a new identifier and answers that identifier.
    QString add(const QVariant &value, const QString &label);
    bool remove(qsizetype index);
    bool replaceValue(qsizetype index, const QVariant &value);
    bool replaceLabel(qsizetype index, const QString &label);
    qsizetype indexForIdentifier(const QString &identifier) const;
    bool operator==(const MultiValue &) const = default;
};

// One contact (or group) of the address book, read from and written to one vCard. Properties this class
// does not know stay in the card and are written back unchanged, so what other programs keep in the
// file survives our edits.
class ContactRecord
{
public:
    enum class Kind { Individual, Organization, Group };

    // A new individual with a fresh unique identifier.
    ContactRecord();
    static ContactRecord newGroup(const QString &name);
    // `fallbackUid` is used when the card has no UID (the file's base name, normally).
    static ContactRecord fromVCard(const VCard &card, const QString &fallbackUid = QString());
    // The card to write: the original properties with ours brought up to date.
    VCard toVCard() const;

    QString uniqueId() const { return m_uid; }
    Kind kind() const { return m_kind; }
    bool isGroup() const { return m_kind == Kind::Group; }
    // 1 when the record is shown as a company, 0 otherwise.
    int flags() const { return m_kind == Kind::Organization ? 1 : 0; }
    bool isCompany() const { return m_kind == Kind::Organization; }
    void setCompany(bool company);

    // Single text properties by name (see the property namespace); null when absent.
    QString stringValue(const QString &name) const;
    // Null or empty removes the value.
    void setStringValue(const QString &name, const QString &value);
    // Any property: texts, the birthday (PartialDate), dates, flags, multi-values.
    QVariant valueForProperty(const QString &name) const;

    std::optional<PartialDate> birthday() const { return m_birthday; }
    void setBirthday(std::optional<PartialDate> birthday) { m_birthday = birthday; }
    QDateTime creationDate() const { return m_created; }
    QDateTime modificationDate() const { return m_modified; }
    void setCreationDate(const QDateTime &date) { m_created = date; }
    void setModificationDate(const QDateTime &date) { m_modified = date; }

    // Phone, Email, URLs or Address.
    MultiValue multiValue(const QString &name) const;
    void setMultiValue(const QString &name, const MultiValue &value);

    QByteArray imageData() const { return m_image; }
    void setImageData(const QByteArray &data) { m_image = data; }
    // The picture scaled to fit `side` pixels (PNG); empty without a picture.
    QByteArray thumbnailImageData(int side = 96) const;

    // Groups only.
    QString groupName() const { return m_groupName; }
    void setGroupName(const QString &name) { m_groupName = name; }
    QStringList memberIds() const { return m_members; }
    bool addMember(const QString &uid);
    bool removeMember(const QString &uid);

    // Given name first (order 1) or family name first (order 2); a company's name when it has no name.
    QString fullName(int nameOrder = 1) const;

    // "home", "work", ... as shown to the user, for a raw label of any kind.
    static QString localizedLabel(const QString &label);
    // The same address as one line: the nonempty parts joined by ", ".
    static QString addressText(const QVariantMap &address);

    bool operator==(const ContactRecord &other) const;

private:
    QString m_uid;
    Kind m_kind = Kind::Individual;
    QString m_first, m_last, m_middle, m_prefix, m_suffix;
    QString m_organization, m_department, m_jobTitle, m_nickname, m_note;
    std::optional<PartialDate> m_birthday;
    QDateTime m_created, m_modified;
    MultiValue m_phones, m_emails, m_urls, m_addresses;
    QByteArray m_image;
    QString m_groupName;
    QStringList m_members;
    VCard m_card; // the card as read, for what we do not model
};

} // namespace platform::contacts

Q_DECLARE_METATYPE(platform::contacts::PartialDate)
Q_DECLARE_METATYPE(platform::contacts::MultiValue)
