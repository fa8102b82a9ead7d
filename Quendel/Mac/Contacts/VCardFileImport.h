#pragma once

#include "platform/contacts/ContactRecord.h"
#include "platform/store/ManagedObjectContext.h"

#include <QList>
#include <QPointer>
#include <QWidget>

#include <functional>
#include <memory>

class Person;
class VCardAddressBookBridge;

// The import of a vCard file the user chooses: its contacts become private contacts of the journal, or
// public ones with a card of their own in the address book.
class VCardFileImport
{
public:
    using Imported = std::function<void(const QList<Person *> &)>;

    VCardFileImport(platform::store::ContextPtr context, std::shared_ptr<VCardAddressBookBridge> bridge,
                    QWidget *window, Imported imported);

    // Asks for the file, reads it and asks how its contacts are to be kept.
    void importvCardFileSelected();
    // The contacts of a file's data; false, and `errorCode` set, when it is no vCard data.
    static bool readContacts(const QByteArray &data, QList<platform::contacts::ContactRecord> *contacts,
                             int *errorCode);
    QList<Person *> importvCardListForPrivateContacts(const QList<platform::contacts::ContactRecord> &contacts);
    QList<Person *> importvCardListForPublicContacts(const QList<platform::contacts::ContactRecord> &contacts);

private:
    void askHowToImport(const QList<platform::contacts::ContactRecord> &contacts);

    platform::store::ContextPtr m_context;
    std::shared_ptr<VCardAddressBookBridge> m_bridge;
    QPointer<QWidget> m_window;
    Imported m_imported;
};
