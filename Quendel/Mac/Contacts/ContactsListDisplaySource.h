#pragma once

#include "platform/contacts/ContactRecord.h"
#include "platform/core/NotificationCenter.h"
#include "platform/core/QDError.h"
#include "platform/store/ManagedObjectContext.h"
#include "platform/store/Predicate.h"

#include <QHash>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>

#include <atomic>
#include <functional>
#include <memory>
#include <optional>

class Person;
class PrivateGroups;

namespace platform::core {
class DispatchQueue;
}
namespace platform::contacts {
class AddressBook;
}

// The footer row object of the main contacts list.
struct FooterText
{
    QString footerText;
};

// What the owner of a contacts list hears from it. Every operation has a default that stands for "not
// implemented": the list checks respondsTo...() before sending.
class ContactsListDisplaySourceDelegate
{
public:
    virtual ~ContactsListDisplaySourceDelegate() = default;

    virtual bool respondsToUpdatedSourceDictionary() const { return false; }
    // The sections were rebuilt; keep says whether the selected contact stays selected.
    virtual void updatedSourceDictionaryWithPreserveSelection(bool keep) {}

    virtual bool respondsToRemoveRow() const { return false; }
    // A row (row >= 0 under `parentKey`) or, when `sectionIndex` is neither -1 nor notFound, the whole
    // section at that index left the list. A null key or row == notFound asks for a full reload.
    virtual void removeRowWithIndex(qsizetype row, const QString &parentKey, qsizetype sectionIndex) {}

    virtual bool respondsToSelectPersonRow() const { return false; }
    virtual void selectPersonRow(qsizetype row) {}

    // People of the address book that could be imported (new since the last look, or just added by
    // another program).
    virtual void newContactsAvailable(const QList<platform::contacts::ContactRecord> &records) {}
};

// An address-book group as the list's group filters see it: its members' unique identifiers.
struct AddressBookGroupRecord
{
    QString uniqueId;
    QStringList memberUniqueIds;
};

// The model of every contacts list shown in letter sections: the listed contacts (all contacts of the
// context, narrowed by the filter), the sections built from them, the search and group filters, and the
// selected contact. A view shows the tree (section keys, their contacts, and for the main list a footer
// row) and follows the delegate calls.
//
// Searches and group filters are worked out on the filter queue when one is set (the store controller's
// "com.morvane.QDFilterMainQueue"): the store answers which contacts match and the sections are built
// there from a copy of the contacts' keys, and only the finished lists are put in place on the main
// thread. A newer filter supersedes a pass still under way. Without a queue the same work runs at once.
class ContactsListDisplaySource : public QObject
{
    Q_OBJECT
public:
    using ContextPtr = platform::store::ContextPtr;
    using Predicate = platform::store::Predicate;

    static constexpr qsizetype NotFound = -1 - 0x7fffffff;
    static inline const QString NumberOfContactsKey = QStringLiteral("kNumberOfContacts");
    static inline const QString OtherSectionKey = QStringLiteral("#");
    // Posted (no object) at the end of every pass over the address book, on the main thread. After an
    // outside change its userInfo holds the three keys below; after a name pass it has none.
    static inline const QString SyncWithAddressBookChangeNotification =
        QStringLiteral("SyncWithAddressBookChangeNotification");
    // The address-book people just added (QList<ContactRecord>).
    static inline const QString InsertedRecordsKey = QStringLiteral("kABInsertedRecords");
    // The contacts refreshed from their cards, and those whose card went (ManagedObject::ObjectList).
    static inline const QString UpdatedRecordsKey = QStringLiteral("kABUpdatedRecords");
    static inline const QString DeletedRecordsKey = QStringLiteral("kABDeletedRecords");
    static inline const QString BackgroundContextName = QStringLiteral("ContactsListBackgroundCotext");
    static inline const QString AutoImportContactsKey = QStringLiteral("auto_import_contacts");
    static inline const QString LastCheckedForNewContactsTimeKey = QStringLiteral("lastCheckedForNewContactsTime");
    static inline const QString NewContactsScanQueueLabel = QStringLiteral("com.quendel.addMultipleLoad");
    // Kinds of the background name pass.
    enum ChangeKind { RefreshFromAddressBook = 0, RemakeSortingNames = 2, RemakeDisplayNames = 3 };

    enum class SelectionStyle { MainList = 0, SingleChoice = 1, MultipleChoice = 2 };

    // A tree item: a section key, a contact, or the footer.
    struct Item
    {
        enum class Kind { None, Section, Contact, Footer };
        Kind kind = Kind::None;
        QString key;
        Person *person = nullptr;
        bool isValid() const { return kind != Kind::None; }
    };

    explicit ContactsListDisplaySource(QObject *parent = nullptr);
    ~ContactsListDisplaySource() override;

    // The context whose contacts are listed (the main context); a new one after a restore.
    ContextPtr managedObjectContext() const { return m_context; }
    void setManagedObjectContext(ContextPtr context);
    // Where searches and group filters are worked out; null runs them at once on the calling thread.
    void setFilterQueue(std::shared_ptr<platform::core::DispatchQueue> queue) { m_filterQueue = std::move(queue); }
    std::shared_ptr<platform::core::DispatchQueue> filterQueue() const { return m_filterQueue; }

    SelectionStyle selectionStyle() const { return m_selectionStyle; }
    void setSelectionStyle(SelectionStyle style) { m_selectionStyle = style; }

    ContactsListDisplaySourceDelegate *delegate() const { return m_delegate; }
    void setDelegate(ContactsListDisplaySourceDelegate *delegate) { m_delegate = delegate; }

    // ---- The array of contacts ----
    // All contacts of the context, in fetch order, and those of them the filter lets through.
    const QList<Person *> &content() const { return m_content; }
    const QList<Person *> &arrangedObjects() const { return m_arranged; }
    const std::optional<Predicate> &filterPredicate() const { return m_filterPredicate; }
    // Narrows the arranged contacts now (on the calling thread).
    void setFilterPredicate(std::optional<Predicate> predicate);

    // ---- The operations of the list ----
    virtual void awakeFromNib();
    void refetchArrayController();
    qsizetype numberOfChildrenInItem(const Item &item) const;
    Item childAtIndex(qsizetype index, const Item &item) const;
    virtual void resetDatasource();
    void removeAllContactsFromList();
    virtual void searchResultsWithString(const QString &text);
    bool contactsListIsEmpty() const { return m_arranged.isEmpty(); }
    void setContactsFilterPredicateByPrivateGroup(PrivateGroups *group);
    void setContactsFilterPredicateByPublicGroup(const AddressBookGroupRecord &group);
    // The picker that adds members to an address-book group: only the contacts whose system record
    // lives in `accountLocation` (a folder path); a null location lists the public contacts.
    void setContactsFilterPredicateByGroupSource(const QString &accountLocation,
                                                 const std::function<QString(Person *)> &recordLocation);
    static Predicate makePredicateForPrivateGroup(PrivateGroups *group);
    Predicate makePredicateForPublicGroup(const AddressBookGroupRecord &group) const;
    std::optional<Predicate> combinedFilterPredicate() const;
    // The search predicate for a text; nullopt for an empty text.
    static std::optional<Predicate> searchPredicateForText(const QString &text);
    Person *selectedContactInSource() const { return m_selectedPerson; }
    void setSelectContactInSource(const QList<Person *> &people);
    const QList<Person *> &selectedObjects() const { return m_selectedObjects; }

    // ---- State ----
    const QHash<QString, QList<Person *>> &contactsDictionary() const { return m_contactsDictionary; }
    const QStringList &alphabetsUsed() const { return m_alphabetsUsed; }
    const FooterText &text() const { return m_text; }
    const std::optional<Predicate> &groupsPredicate() const { return m_groupsPredicate; }
    const std::optional<Predicate> &searchPredicate() const { return m_searchPredicate; }
    bool isRestoringData() const { return m_restoring->load(); }
    void setIsRestoringData(bool restoring) { m_restoring->store(restoring); }
    QStringList &recentlySavedRecords() { return m_recentlySavedRecords; }

    // ---- The address book ----
    // The book whose changes the list follows: other programs' changes and the people we add ourselves.
    void setAddressBook(std::shared_ptr<platform::contacts::AddressBook> book);
    std::shared_ptr<platform::contacts::AddressBook> addressBook() const { return m_book; }
    // Re-derives every contact's names (kind 2 sorting, 3 display) or refreshes it from its card (any
    // other kind) in a private child of the main context on the filter queue; the result is saved through
    // the main context and the list rebuilt on the main thread. Not for the pickers, nor for an empty store.
    void syncWithPersonsListWithTypeOfChange(int kind);
    void postBackgroundContextDidSave();
    // May be sent from any thread.
    void postSyncWithContactsList();
    // Looks for address-book people created since the last look and not in the journal, when the user
    // asked to be offered them.
    void checkForNewContactsToImport();
    void notificationAddressBookChangedExternally(const QStringList &inserted, const QStringList &updated,
                                                  const QStringList &deleted);
    void notificationAddressBookChangedInternally(const QStringList &inserted);
    // Takes a contact out of its section (telling the delegate), deletes it from the store when `save`,
    // then asks the delegate to select `rowToSelect`.
    void deletePersonFromOutlineView(Person *person, bool save, qsizetype rowToSelect, const QString &parentKey);
    // A name pass or a new-contacts scan is under way.
    bool isSyncingWithAddressBook() const { return m_runningPasses > 0; }

    // The section and position of a contact in the current sections; false when it has no row.
    bool locateContact(const Person *person, QString *key, qsizetype *row) const;

    // A search or group filter is being worked out on the filter queue.
    bool isFiltering() const { return m_pendingPasses > 0; }
    // Waits for the passes under way and puts their results in place (the event loop is not run).
    void finishPendingWork();

signals:
    // The sections changed (after a rebuild, a search or a filter, or a removal).
    void sectionsChanged();
    // A contact could not be deleted from the store; it is listed again.
    void deleteFailed(const platform::core::QDError &error);

private:
    struct KeyedContact;
    struct PassResult;

    // Starts the pass for the current combined filter; `notify` is sent to the delegate once it is in place.
    void filterAndRebuild(bool preserveSelection);
    void applyPassResult(const std::shared_ptr<PassResult> &result);
    std::vector<KeyedContact> keyedContacts(const QList<Person *> &people) const;
    static void buildSections(std::vector<KeyedContact> &contacts, QHash<QString, QList<Person *>> *dictionary,
                              QStringList *keys);
    void contextObjectsChanged(const platform::core::Notification &notification);
    void forgetPerson(Person *person);
    void observeContext();
    void renewFooter();
    std::shared_ptr<const std::vector<KeyedContact>> keyedContent();

    ContextPtr m_context;
    ContextPtr m_filterContext; // private context on the same store, used only on the filter queue
    std::shared_ptr<platform::core::DispatchQueue> m_filterQueue;
    SelectionStyle m_selectionStyle = SelectionStyle::MainList;
    ContactsListDisplaySourceDelegate *m_delegate = nullptr;

    QList<Person *> m_content;
    QList<Person *> m_arranged;
    std::optional<Predicate> m_filterPredicate;
    Person *m_selectedPerson = nullptr;
    QList<Person *> m_selectedObjects;
    QHash<QString, QList<Person *>> m_contactsDictionary;
    QStringList m_alphabetsUsed;
    FooterText m_text;
    std::optional<Predicate> m_groupsPredicate;
    std::optional<Predicate> m_searchPredicate;
    QStringList m_recentlySavedRecords;
    bool m_loadedArrayController = false;

    // What sectioning reads of every listed contact, kept until the contacts or their keys change.
    std::shared_ptr<const std::vector<KeyedContact>> m_keyedContent;
    quint64 m_contentGeneration = 0;
    quint64 m_passGeneration = 0;
    int m_pendingPasses = 0;
    platform::core::ScopedObserver m_changeObserver;
    std::shared_ptr<bool> m_alive;
    // Read by a pass on the filter queue while the main thread may set it.
    std::shared_ptr<std::atomic<bool>> m_restoring = std::make_shared<std::atomic<bool>>(false);
    std::shared_ptr<platform::contacts::AddressBook> m_book;
    QList<QMetaObject::Connection> m_bookConnections;
    int m_runningPasses = 0;
};
