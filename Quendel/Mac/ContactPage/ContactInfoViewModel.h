#pragma once

#include "QuendelKit/Entities/ContactInfoRow.h"

#include "platform/core/QDError.h"

#include <QList>
#include <QString>
#include <QStringList>

class NSManagedObjectQDBase;
class Person;
class PersonAddress;

namespace platform::store {
class ManagedObjectContext;
}

// The Info page's rows and what an edit of them does to the contact, apart from any widget: the sections
// in their order, the empty rows of editing mode, the cell each row gets, the optional fields the add-field
// menu offers, and the storing and removing of values. Every read and write of records runs on the page's
// context (the main context on a contact's page, the private child of an add or clone page).
class ContactInfoViewModel
{
public:
    // The detail sections, in the order they lead the list in editing mode.
    static const QStringList &detailSectionKeys();

    // One line of the outline: a section header, or a row under it.
    struct Item
    {
        QString section;
        ContactInfoRowPtr row; // null for a header
        bool isHeader() const { return !row; }
    };

    ContactInfoViewModel(platform::store::ManagedObjectContext *context, Person *person);

    platform::store::ManagedObjectContext *context() const { return m_context; }
    Person *person() const { return m_person; }
    void setPerson(Person *person) { m_person = person; }

    const ContactInfoDictionary &contactDataDictionary() const { return m_dictionary; }
    ContactInfoDictionary &contactDataDictionary() { return m_dictionary; }
    const QStringList &sortedKeys() const { return m_sortedKeys; }
    QStringList &sortedKeys() { return m_sortedKeys; }
    QList<ContactInfoRowPtr> rows(const QString &section) const { return m_dictionary.value(section); }

    // Rebuilds the rows from the stored contact.
    void loadContactsDataDictionary();
    // Editing mode: the four detail sections lead the list, each ending with its empty row.
    void addEmptyValuesToDictionary();
    // Leaving it: the empty rows go, and a detail section left empty with them.
    void removeEmptyValuesFromDictionary();

    // Headers and rows in display order.
    QList<Item> items() const;
    // The section a row belongs to (empty when it is in none).
    QString sectionOfRow(const ContactInfoRow *row) const;

    // "HeaderCell", "DataCell", "DataEditingCell", "AddressEditingCell" or "DateEditingCell".
    static QString cellIdentifier(const Item &item, bool editing);
    // The text a "DataCell" shows in its label and value fields.
    QString labelText(const ContactInfoRow &row) const;
    QString valueText(const ContactInfoRow &row) const;

    // Stores the text of a row's value (a phone, an e-mail or web address, the notes, an "Other Info"
    // field). A text on an empty row makes a new detail with `label`, inserted before the empty row, and
    // returns it; an empty text on an empty row makes nothing.
    NSManagedObjectQDBase *persistValue(const ContactInfoRowPtr &row, const QString &text, const QString &label);
    // One field ("street", "city", "state", "zip", "country") of an address row. On the empty row a text
    // makes a new address with `label` and `country`, inserted before it, and returns it. On a stored
    // address, `changed` tells whether the field changed.
    PersonAddress *persistAddressField(const ContactInfoRowPtr &row, const QString &fieldKey, const QString &text,
                                       const QString &label, const QString &country, bool *changed = nullptr);
    // The label of a stored detail.
    void setRowLabel(const ContactInfoRowPtr &row, const QString &label);

    // Whether a row can be removed, and removing it (the detail deleted, an "Other Info" field cleared).
    bool canRemoveRow(const ContactInfoRowPtr &row) const;
    bool removeRow(const ContactInfoRowPtr &row);

    // The add-field menu: the titles of the optional fields without a value, in their order.
    QStringList addFieldMenuTitles() const;
    // Adds the field of that title; answers the key path added (null for an unknown title).
    QString addPersonField(const QString &title);

    // The names row: field key ("firstName", "lastName", "personinfo.middleName", "companyName",
    // "prefixName", "suffixName") to its address-book property.
    static QString addressBookPropertyForNameField(const QString &fieldKey);
    QString nameFieldValue(const QString &fieldKey) const;
    void storeNameField(const QString &fieldKey, const QString &text);

    // Saves the page's context; the error says why when it fails.
    bool save(platform::core::QDError *error = nullptr);

private:
    void perform(const std::function<void()> &work) const;
    void insertBeforePlaceholder(const QString &section, NSManagedObjectQDBase *record);

    platform::store::ManagedObjectContext *m_context = nullptr;
    Person *m_person = nullptr;
    ContactInfoDictionary m_dictionary;
    QStringList m_sortedKeys;
};
