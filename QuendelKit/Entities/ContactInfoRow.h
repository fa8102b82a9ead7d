#pragma once

#include <QHash>
#include <QList>
#include <QString>

#include <memory>

class NSManagedObjectQDBase;

// One row of the Info list of a contact's page: a detail record (phone, e-mail, postal address, website),
// a one-entry row (a group list, the notes, an "Other Info" field: its title and text), or the empty row
// at the end of a detail section on which a new detail is typed. Rows are shared so the page can change a
// row's text in place and find it again.
struct ContactInfoRow
{
    NSManagedObjectQDBase *record = nullptr;
    QString key;  // the one entry's title; for the empty row, its section's key
    QString text; // the one entry's text
    bool placeholder = false;

    static std::shared_ptr<ContactInfoRow> forRecord(NSManagedObjectQDBase *record)
    {
        auto row = std::make_shared<ContactInfoRow>();
        row->record = record;
        return row;
    }
    static std::shared_ptr<ContactInfoRow> entry(const QString &key, const QString &text)
    {
        auto row = std::make_shared<ContactInfoRow>();
        row->key = key;
        row->text = text;
        return row;
    }
    static std::shared_ptr<ContactInfoRow> placeholderFor(const QString &sectionKey)
    {
        auto row = std::make_shared<ContactInfoRow>();
        row->key = sectionKey;
        row->placeholder = true;
        return row;
    }
    bool isEntry() const { return !record && !placeholder; }
};

using ContactInfoRowPtr = std::shared_ptr<ContactInfoRow>;
// Section key -> the section's rows.
using ContactInfoDictionary = QHash<QString, QList<ContactInfoRowPtr>>;

namespace contact_info {
inline const QString PhonesKey = QStringLiteral("Phones");
inline const QString EmailsKey = QStringLiteral("Emails");
inline const QString AddressesKey = QStringLiteral("Addresses");
inline const QString URLsKey = QStringLiteral("URLs");
inline const QString GroupsKey = QStringLiteral("Groups");
inline const QString NotesKey = QStringLiteral("Notes");
inline const QString OtherInfoKey = QStringLiteral("Other Info");
inline const QString PublicGroupsKey = QStringLiteral("Public Groups");
inline const QString PrivateGroupsKey = QStringLiteral("Private Groups");
inline const QString BirthdayTitle = QStringLiteral("Birthday");
} // namespace contact_info
