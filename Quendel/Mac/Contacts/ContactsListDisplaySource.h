#pragma once

#include "platform/core/NotificationCenter.h"
#include "platform/store/ManagedObjectContext.h"
#include "platform/store/Predicate.h"

#include <QHash>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <optional>

class Person;
class PrivateGroups;

namespace platform::core {
class DispatchQueue;
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
    bool isRestoringData() const { return m_isRestoringData; }
    void setIsRestoringData(bool restoring) { m_isRestoringData = restoring; }
    QStringList &recentlySavedRecords() { return m_recentlySavedRecords; }

    // The section and position of a contact in the current sections; false when it has no row.
    bool locateContact(const Person *person, QString *key, qsizetype *row) const;

    // A search or group filter is being worked out on the filter queue.
    bool isFiltering() const { return m_pendingPasses > 0; }
    // Waits for the passes under way and puts their results in place (the event loop is not run).
    void finishPendingWork();

signals:
    // The sections changed (after a rebuild, a search or a filter, or a removal).
    void sectionsChanged();

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
    bool m_isRestoringData = false;
    QStringList m_recentlySavedRecords;
    bool m_loadedArrayController = false;

    // What sectioning reads of every listed contact, kept until the contacts or their keys change.
    std::shared_ptr<const std::vector<KeyedContact>> m_keyedContent;
    quint64 m_contentGeneration = 0;
    quint64 m_passGeneration = 0;
    int m_pendingPasses = 0;
    platform::core::ScopedObserver m_changeObserver;
    std::shared_ptr<bool> m_alive;
};
