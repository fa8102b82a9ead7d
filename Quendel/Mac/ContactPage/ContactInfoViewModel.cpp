#include "Mac/ContactPage/ContactInfoViewModel.h"

#include "QuendelKit/Entities/Emails.h"
#include "QuendelKit/Entities/Person.h"
#include "QuendelKit/Entities/PersonAddress.h"
#include "QuendelKit/Entities/PersonAddressBookBridge.h"
#include "QuendelKit/Entities/PersonInfo.h"
#include "QuendelKit/Entities/PersonWebsite.h"
#include "QuendelKit/Entities/Phones.h"

#include "platform/core/Clock.h"
#include "platform/store/ManagedObjectContext.h"

using namespace contact_info;

const QStringList &ContactInfoViewModel::detailSectionKeys()
{
    static const QStringList keys = {PhonesKey, EmailsKey, AddressesKey, URLsKey};
    return keys;
}

ContactInfoViewModel::ContactInfoViewModel(platform::store::ManagedObjectContext *context, Person *person)
    : m_context(context), m_person(person)
{}

void ContactInfoViewModel::perform(const std::function<void()> &work) const
{
    if (m_context)
        m_context->performAndWait(work);
    else
        work();
}

void ContactInfoViewModel::loadContactsDataDictionary()
{
    m_dictionary.clear();
    m_sortedKeys.clear();
    if (m_person)
        m_person->addContactDetailsInfoToDictionary(m_dictionary, m_sortedKeys);
}

void ContactInfoViewModel::addEmptyValuesToDictionary()
{
    const QStringList &keys = detailSectionKeys();
    for (int i = 0; i < keys.size(); ++i) {
        if (!m_dictionary.contains(keys[i])) {
            m_dictionary.insert(keys[i], {});
            m_sortedKeys.insert(std::min<qsizetype>(i, m_sortedKeys.size()), keys[i]);
        }
    }
    for (const QString &key : keys)
        m_dictionary[key].append(ContactInfoRow::placeholderFor(key));
}

void ContactInfoViewModel::removeEmptyValuesFromDictionary()
{
    for (const QString &key : detailSectionKeys()) {
        auto it = m_dictionary.find(key);
        if (it == m_dictionary.end())
            continue;
        if (!it->isEmpty())
            it->removeLast();
        if (it->isEmpty()) {
            m_dictionary.erase(it);
            m_sortedKeys.removeAll(key);
        }
    }
}

QList<ContactInfoViewModel::Item> ContactInfoViewModel::items() const
{
    QList<Item> result;
    for (const QString &key : m_sortedKeys) {
        result.append({key, nullptr});
        for (const ContactInfoRowPtr &row : m_dictionary.value(key))
            result.append({key, row});
    }
    return result;
}

QString ContactInfoViewModel::sectionOfRow(const ContactInfoRow *row) const
{
    for (auto it = m_dictionary.cbegin(); it != m_dictionary.cend(); ++it) {
        for (const ContactInfoRowPtr &candidate : it.value()) {
            if (candidate.get() == row)
                return it.key();
        }
    }
    return QString();
}

QString ContactInfoViewModel::cellIdentifier(const Item &item, bool editing)
{
    if (item.isHeader())
        return QStringLiteral("HeaderCell");
    if (editing && (item.section == PhonesKey || item.section == EmailsKey || item.section == URLsKey))
        return QStringLiteral("DataEditingCell");
    if (editing && item.section == AddressesKey)
        return QStringLiteral("AddressEditingCell");
    if (item.section == OtherInfoKey && item.row->isEntry() && item.row->key == BirthdayTitle)
        return QStringLiteral("DateEditingCell");
    return QStringLiteral("DataCell");
}

QString ContactInfoViewModel::labelText(const ContactInfoRow &row) const
{
    QString text;
    perform([&] {
        if (auto *address = dynamic_cast<PersonAddress *>(row.record))
            text = address->addressLabel();
        else if (auto *email = dynamic_cast<Emails *>(row.record))
            text = email->label();
        else if (auto *phone = dynamic_cast<Phones *>(row.record))
            text = phone->label();
        else if (auto *website = dynamic_cast<PersonWebsite *>(row.record))
            text = website->websiteLabel();
        else if (row.isEntry())
            text = row.key;
        else
            text = QStringLiteral("undefined");
    });
    return text.isNull() ? QString(QLatin1String("")) : text;
}

QString ContactInfoViewModel::valueText(const ContactInfoRow &row) const
{
    QString text;
    perform([&] {
        if (row.record && !row.record->managedObjectContext())
            return;
        if (auto *address = dynamic_cast<PersonAddress *>(row.record))
            text = address->addressString();
        else if (auto *email = dynamic_cast<Emails *>(row.record))
            text = email->emailAddress();
        else if (auto *phone = dynamic_cast<Phones *>(row.record))
            text = phone->phoneNumber();
        else if (auto *website = dynamic_cast<PersonWebsite *>(row.record))
            text = website->websiteURL();
        else if (row.isEntry())
            text = row.text;
        else if (!row.placeholder)
            text = QStringLiteral("undefined value");
    });
    return text.isNull() ? QString(QLatin1String("")) : text;
}

void ContactInfoViewModel::insertBeforePlaceholder(const QString &section, NSManagedObjectQDBase *record)
{
    QList<ContactInfoRowPtr> &rows = m_dictionary[section];
    qsizetype at = rows.size();
    if (!rows.isEmpty() && rows.last()->placeholder)
        at = rows.size() - 1;
    rows.insert(at, ContactInfoRow::forRecord(record));
    if (!m_sortedKeys.contains(section))
        m_sortedKeys.append(section);
}

NSManagedObjectQDBase *ContactInfoViewModel::persistValue(const ContactInfoRowPtr &row, const QString &text,
                                                          const QString &label)
{
    if (!row || !m_person)
        return nullptr;
    const QString section = sectionOfRow(row.get());
    NSManagedObjectQDBase *created = nullptr;
    perform([&] {
        if (section == PhonesKey) {
            if (auto *phone = dynamic_cast<Phones *>(row->record)) {
                if (phone->phoneNumber() != text) {
                    phone->setUpdateValueInAddressBook(true);
                    phone->setPhoneNumber(text);
                }
            } else if (row->placeholder && !text.isEmpty()) {
                created = m_person->addPhoneNumberWithNumber(text, label, m_context);
            }
        } else if (section == EmailsKey) {
            if (auto *email = dynamic_cast<Emails *>(row->record)) {
                if (email->emailAddress() != text) {
                    email->setUpdateValueInAddressBook(true);
                    email->setEmailAddress(text);
                }
            } else if (row->placeholder && !text.isEmpty()) {
                created = m_person->addEmailWithEmail(text, label, m_context);
            }
        } else if (section == URLsKey) {
            if (auto *website = dynamic_cast<PersonWebsite *>(row->record)) {
                if (website->websiteURL() != text) {
                    website->setUpdateValueInAddressBook(true);
                    website->setWebsiteURL(text);
                }
            } else if (row->placeholder && !text.isEmpty()) {
                created = m_person->addWebsiteWithURLString(text, label, m_context);
            }
        } else if (section == NotesKey) {
            row->text = text;
            m_person->updateNotesFieldWithText(text);
        } else if (section == OtherInfoKey && row->isEntry()) {
            const QString keyPath = Person::infoKeyForDescription(row->key);
            if (keyPath.isNull())
                return;
            // The birthday is chosen from its date menu, never typed.
            if (keyPath == QLatin1String("personinfo.birthday"))
                return;
            m_person->updateOtherFieldsWithValue(text, keyPath);
            m_person->updateContactDictionaryWithOtherKey(keyPath, m_dictionary, m_sortedKeys);
        }
    });
    if (created)
        insertBeforePlaceholder(section, created);
    return created;
}

PersonAddress *ContactInfoViewModel::persistAddressField(const ContactInfoRowPtr &row, const QString &fieldKey,
                                                         const QString &text, const QString &label,
                                                         const QString &country, bool *changed)
{
    if (changed)
        *changed = false;
    if (!row || !m_person)
        return nullptr;
    PersonAddress *created = nullptr;
    perform([&] {
        if (auto *address = dynamic_cast<PersonAddress *>(row->record)) {
            const QVariant stored = address->value(fieldKey);
            const QString current = stored.isValid() && !stored.isNull() ? stored.toString() : QString();
            if (current == text && !current.isNull())
                return;
            if (current.isNull() && text.isEmpty())
                return;
            address->setUpdateValueInAddressBook(true);
            if (fieldKey == QLatin1String("country"))
                address->setCountry(text);
            else
                address->setValue(fieldKey, text);
            m_person->updatePersonAddressInAddressBook(address, fieldKey);
            address->setUpdateValueInAddressBook(false);
            if (changed)
                *changed = true;
        } else if (row->placeholder && !text.isEmpty()) {
            created = m_person->addAddressWithText(text, fieldKey, label, country, m_context);
        }
    });
    if (created)
        insertBeforePlaceholder(AddressesKey, created);
    return created;
}

void ContactInfoViewModel::setRowLabel(const ContactInfoRowPtr &row, const QString &label)
{
    if (!row || !row->record)
        return;
    perform([&] {
        if (auto *address = dynamic_cast<PersonAddress *>(row->record))
            address->setAddressLabel(label);
        else if (auto *email = dynamic_cast<Emails *>(row->record))
            email->setLabel(label);
        else if (auto *phone = dynamic_cast<Phones *>(row->record))
            phone->setLabel(label);
        else if (auto *website = dynamic_cast<PersonWebsite *>(row->record))
            website->setWebsiteLabel(label);
    });
}

bool ContactInfoViewModel::canRemoveRow(const ContactInfoRowPtr &row) const
{
    if (!row || row->placeholder)
        return false;
    const QString section = sectionOfRow(row.get());
    if (detailSectionKeys().contains(section))
        return row->record != nullptr;
    return section == OtherInfoKey && row->isEntry();
}

bool ContactInfoViewModel::removeRow(const ContactInfoRowPtr &row)
{
    if (!canRemoveRow(row))
        return false;
    const QString section = sectionOfRow(row.get());
    perform([&] {
        if (row->record) {
            row->record->setDeleteFromAddressBook(true);
            if (m_context)
                m_context->deleteObject(row->record);
        } else {
            m_person->updateOtherFieldsWithValue(QVariant(), Person::infoKeyForDescription(row->key));
        }
    });
    m_dictionary[section].removeAll(row);
    return true;
}

QStringList ContactInfoViewModel::addFieldMenuTitles() const
{
    QStringList titles;
    if (!m_person)
        return titles;
    for (const QString &keyPath : m_person->fieldNotAddedToPerson())
        titles.append(Person::descriptionForKey(keyPath));
    return titles;
}

QString ContactInfoViewModel::addPersonField(const QString &title)
{
    if (!m_person)
        return QString();
    QString keyPath;
    for (const QString &candidate : m_person->fieldNotAddedToPerson()) {
        if (Person::descriptionForKey(candidate) == title) {
            keyPath = candidate;
            break;
        }
    }
    if (keyPath.isNull())
        return QString();
    perform([&] {
        if (keyPath == QLatin1String("personinfo.birthday")) {
            m_person->setBirthdayFieldWithDate(platform::core::Clock::now().toUTC());
            m_person->updateContactDictionaryWithOtherKey(keyPath, m_dictionary, m_sortedKeys);
            return;
        }
        m_person->setNewFieldForKey(keyPath);
        if (keyPath == QLatin1String("notesField")) {
            m_dictionary.insert(NotesKey, {ContactInfoRow::entry(NotesKey, QString(QLatin1String("")))});
            if (!m_sortedKeys.contains(NotesKey))
                m_sortedKeys.append(NotesKey);
        } else if (keyPath != QLatin1String("prefixName") && keyPath != QLatin1String("suffixName") &&
                   keyPath != QLatin1String("personinfo.middleName")) {
            m_person->updateContactDictionaryWithOtherKey(keyPath, m_dictionary, m_sortedKeys);
        }
    });
    return keyPath;
}

QString ContactInfoViewModel::addressBookPropertyForNameField(const QString &fieldKey)
{
    static const QHash<QString, QString> properties = {
        {QStringLiteral("firstName"), address_book::FirstNameProperty},
        {QStringLiteral("lastName"), address_book::LastNameProperty},
        {QStringLiteral("personinfo.middleName"), address_book::MiddleNameProperty},
        {QStringLiteral("companyName"), address_book::OrganizationProperty},
        {QStringLiteral("prefixName"), address_book::TitleProperty},
        {QStringLiteral("suffixName"), address_book::SuffixProperty},
    };
    return properties.value(fieldKey);
}

QString ContactInfoViewModel::nameFieldValue(const QString &fieldKey) const
{
    QString text;
    perform([&] {
        if (m_person)
            text = m_person->valueForFieldKeyPath(fieldKey).toString();
    });
    return text;
}

void ContactInfoViewModel::storeNameField(const QString &fieldKey, const QString &text)
{
    const QString property = addressBookPropertyForNameField(fieldKey);
    if (property.isNull() || !m_person)
        return;
    perform([&] {
        if (fieldKey == QLatin1String("firstName"))
            m_person->setFirstName(text);
        else if (fieldKey == QLatin1String("lastName"))
            m_person->setLastName(text);
        else if (fieldKey == QLatin1String("companyName"))
            m_person->setCompanyName(text);
        else if (fieldKey == QLatin1String("prefixName"))
            m_person->setPrefixName(text);
        else if (fieldKey == QLatin1String("suffixName"))
            m_person->setSuffixName(text);
        else
            m_person->updateOtherFieldsWithValue(text, fieldKey);
        m_person->updateNameFieldWithKey(property, text);
    });
}

bool ContactInfoViewModel::save(platform::core::QDError *error)
{
    bool saved = true;
    perform([&] {
        if (m_context && m_context->hasChanges())
            saved = m_context->save(error);
    });
    return saved;
}
