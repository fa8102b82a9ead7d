#include "Mac/Contacts/ContactsListDisplaySource.h"

#include "SharedAppGlobals.h"

#include "QuendelKit/AddressBook/VCardAddressBookBridge.h"
#include "QuendelKit/Entities/Person.h"
#include "QuendelKit/Infra/QDLog.h"
#include "QuendelKit/Settings/DataPlistValues.h"
#include "QuendelKit/Entities/PrivateGroups.h"
#include "QuendelKit/Infra/NormalizedStringTransformer.h"
#include "QuendelKit/Settings/SharedSettingController.h"

#include "platform/contacts/AddressBook.h"
#include "platform/core/Dispatch.h"
#include "platform/core/DispatchQueue.h"
#include "platform/core/UserDefaults.h"
#include "platform/store/Collations.h"
#include "platform/store/FetchRequest.h"
#include "platform/store/StoreNotifications.h"

#include <QCoreApplication>
#include <QSet>

#include <algorithm>
#include <mutex>

using platform::store::ManagedObject;
using platform::store::Predicate;
using platform::store::StringOption;

namespace {

constexpr platform::store::StringOptions CD = StringOption::CaseInsensitive | StringOption::DiacriticInsensitive;

// A contact without a section letter (never named, or stored by another device without one) is listed
// under "#" with the others that fit no letter, rather than counted and never shown.
QString keyOf(const Person *person)
{
    const QString key = person->normalizedSectionLetter();
    return key.isEmpty() ? ContactsListDisplaySource::OtherSectionKey : key;
}

} // namespace

// One contact with what sectioning reads of it, copied on the main thread so that the filter queue never
// touches the contact itself.
struct ContactsListDisplaySource::KeyedContact
{
    Person *person = nullptr;
    qint64 pk = 0; // 0: not saved yet
    QString key;
    QString sortKey;
};

// What a filter pass hands back to the main thread.
struct ContactsListDisplaySource::PassResult
{
    quint64 generation = 0;
    quint64 contentGeneration = 0;
    bool preserveSelection = false;
    bool failed = false;
    QList<Person *> arranged;
    QHash<QString, QList<Person *>> dictionary;
    QStringList keys;
};

ContactsListDisplaySource::ContactsListDisplaySource(QObject *parent)
    : QObject(parent), m_alive(std::make_shared<bool>(true))
{
}

ContactsListDisplaySource::~ContactsListDisplaySource()
{
    for (const QMetaObject::Connection &connection : std::as_const(m_bookConnections))
        QObject::disconnect(connection);
    m_alive.reset();
}

void ContactsListDisplaySource::setManagedObjectContext(ContextPtr context)
{
    if (m_context == context)
        return;
    m_context = std::move(context);
    m_filterContext.reset();
    m_content.clear();
    m_arranged.clear();
    m_selectedPerson = nullptr;
    m_selectedObjects.clear();
    m_keyedContent.reset();
    ++m_contentGeneration;
    ++m_passGeneration; // results computed for the old context are dropped
    observeContext();
}

void ContactsListDisplaySource::observeContext()
{
    m_changeObserver.reset();
    if (!m_context)
        return;
    m_changeObserver = platform::core::ScopedObserver(
        platform::store::ManagedObjectContextObjectsDidChangeNotification, m_context.get(),
        [this](const platform::core::Notification &notification) { contextObjectsChanged(notification); });
}

// ---- Array of contacts ----

void ContactsListDisplaySource::setFilterPredicate(std::optional<Predicate> predicate)
{
    m_filterPredicate = std::move(predicate);
    if (!m_filterPredicate) {
        m_arranged = m_content;
        return;
    }
    QList<Person *> arranged;
    bool fetched = false;
    if (m_context) {
        m_context->performAndWait([&] {
            platform::store::FetchRequest request(Person::EntityName);
            request.setPredicate(*m_filterPredicate);
            platform::core::QDError error;
            const QList<platform::store::ManagedObjectID> ids = m_context->executeFetchRequestForIDs(request, &error);
            if (!error.isNull())
                return;
            const QSet<platform::store::ManagedObjectID> matching(ids.begin(), ids.end());
            for (Person *person : std::as_const(m_content)) {
                if (matching.contains(person->objectID()))
                    arranged.append(person);
            }
            fetched = true;
        });
    }
    if (!fetched) {
        // The store could not answer; the contacts themselves still can.
        arranged.clear();
        for (Person *person : std::as_const(m_content)) {
            if (m_filterPredicate->evaluate(*person))
                arranged.append(person);
        }
    }
    m_arranged = arranged;
}

void ContactsListDisplaySource::awakeFromNib()
{
    if (m_loadedArrayController)
        return;
    m_loadedArrayController = true;
    refetchArrayController();
    platform::core::UserDefaults::standardUserDefaults()->setInteger(qint64(m_arranged.size()), NumberOfContactsKey);
    m_recentlySavedRecords.clear();
}

void ContactsListDisplaySource::refetchArrayController()
{
    if (m_context) {
        m_context->performAndWait([&] {
            platform::core::QDError error;
            // Every contact is listed but only the rows on show read more than their name and section, so
            // the rest of each record loads when it is first used.
            platform::store::FetchRequest request = Person::fetchRequest();
            request.setReturnsObjectsAsFaults(true);
            request.setPropertiesToFetch({QStringLiteral("displayName"), QStringLiteral("normalizedDisplayName"),
                                          QStringLiteral("normalizedSectionLetter"), QStringLiteral("companyName"),
                                          QStringLiteral("isContactPrivate")});
            const QList<ManagedObject *> objects = m_context->executeFetchRequest(request, &error);
            if (!error.isNull())
                return; // the list stays as it was
            QList<Person *> people;
            people.reserve(objects.size());
            for (ManagedObject *object : objects) {
                if (auto *person = dynamic_cast<Person *>(object))
                    people.append(person);
            }
            m_content = people;
            m_keyedContent.reset();
            ++m_contentGeneration;
            ++m_passGeneration;
        });
        setFilterPredicate(m_filterPredicate);
    }
    renewFooter();
}

void ContactsListDisplaySource::renewFooter()
{
    m_text = FooterText();
    m_text.footerText =
        m_arranged.isEmpty() ? QStringLiteral("No contacts") : QStringLiteral("%1 Contacts").arg(m_arranged.size());
}

// ---- Tree ----

qsizetype ContactsListDisplaySource::numberOfChildrenInItem(const Item &item) const
{
    switch (item.kind) {
    case Item::Kind::None:
        return m_alphabetsUsed.size() + (m_selectionStyle == SelectionStyle::MainList ? 1 : 0);
    case Item::Kind::Section:
        return m_contactsDictionary.value(item.key).size();
    default:
        return 0;
    }
}

ContactsListDisplaySource::Item ContactsListDisplaySource::childAtIndex(qsizetype index, const Item &item) const
{
    Item child;
    if (index < 0)
        return child;
    if (item.kind == Item::Kind::None) {
        if (index < m_alphabetsUsed.size()) {
            child.kind = Item::Kind::Section;
            child.key = m_alphabetsUsed.at(index);
        } else if (index == m_alphabetsUsed.size() && m_selectionStyle == SelectionStyle::MainList) {
            child.kind = Item::Kind::Footer;
        }
    } else if (item.kind == Item::Kind::Section) {
        const auto it = m_contactsDictionary.constFind(item.key);
        if (it != m_contactsDictionary.cend() && index < it->size()) {
            child.kind = Item::Kind::Contact;
            child.key = item.key;
            child.person = it->at(index);
        }
    }
    return child;
}

bool ContactsListDisplaySource::locateContact(const Person *person, QString *key, qsizetype *row) const
{
    if (!person)
        return false;
    const QString k = keyOf(person);
    auto find = [&](const QString &candidate) {
        const auto it = m_contactsDictionary.constFind(candidate);
        if (it == m_contactsDictionary.cend())
            return false;
        const qsizetype at = it->indexOf(const_cast<Person *>(person));
        if (at < 0)
            return false;
        if (key)
            *key = candidate;
        if (row)
            *row = at;
        return true;
    };
    if (find(k))
        return true;
    // The contact's key may have changed since the sections were built.
    for (const QString &candidate : m_alphabetsUsed) {
        if (candidate != k && find(candidate))
            return true;
    }
    return false;
}

// ---- Sections ----

std::vector<ContactsListDisplaySource::KeyedContact>
ContactsListDisplaySource::keyedContacts(const QList<Person *> &people) const
{
    std::vector<KeyedContact> keyed;
    keyed.reserve(size_t(people.size()));
    for (Person *person : people) {
        KeyedContact entry;
        entry.person = person;
        const platform::store::ManagedObjectID &id = person->objectID();
        entry.pk = id.isTemporaryID() ? 0 : id.primaryKey();
        entry.key = keyOf(person);
        entry.sortKey = person->normalizedDisplayName();
        keyed.push_back(std::move(entry));
    }
    return keyed;
}

std::shared_ptr<const std::vector<ContactsListDisplaySource::KeyedContact>> ContactsListDisplaySource::keyedContent()
{
    if (!m_keyedContent)
        m_keyedContent = std::make_shared<const std::vector<KeyedContact>>(keyedContacts(m_content));
    return m_keyedContent;
}

void ContactsListDisplaySource::buildSections(std::vector<KeyedContact> &contacts,
                                             QHash<QString, QList<Person *>> *dictionary, QStringList *keys)
{
    // Grouped by key, each group in name order; contacts with the same name keep the list's order.
    std::stable_sort(contacts.begin(), contacts.end(), [](const KeyedContact &a, const KeyedContact &b) {
        if (a.key != b.key)
            return a.key < b.key;
        return a.sortKey < b.sortKey;
    });
    dictionary->clear();
    keys->clear();
    for (size_t i = 0; i < contacts.size();) {
        const QString &key = contacts[i].key;
        size_t end = i;
        while (end < contacts.size() && contacts[end].key == key)
            ++end;
        QList<Person *> section;
        section.reserve(qsizetype(end - i));
        for (size_t j = i; j < end; ++j)
            section.append(contacts[j].person);
        dictionary->insert(key, section);
        keys->append(key);
        i = end;
    }
    std::stable_sort(keys->begin(), keys->end(), [](const QString &a, const QString &b) {
        return platform::store::compareLocalizedNoCase(a, b) < 0;
    });
    // Only the first position is looked at: "#" goes last when the collation put it first.
    if (!keys->isEmpty() && keys->first() == OtherSectionKey)
        keys->append(keys->takeFirst());
}

void ContactsListDisplaySource::resetDatasource()
{
    // A rebuild reads every key afresh. Unfiltered, the arranged contacts are the content, whose keys later
    // searches read again.
    m_keyedContent.reset();
    std::vector<KeyedContact> keyed =
        !m_filterPredicate && m_arranged.size() == m_content.size() ? *keyedContent() : keyedContacts(m_arranged);
    buildSections(keyed, &m_contactsDictionary, &m_alphabetsUsed);
    emit sectionsChanged();
}

void ContactsListDisplaySource::removeAllContactsFromList()
{
    m_contactsDictionary.clear();
    m_alphabetsUsed.clear();
    m_groupsPredicate.reset();
    m_searchPredicate.reset();
    ++m_passGeneration;
}

// ---- Filters ----

std::optional<Predicate> ContactsListDisplaySource::searchPredicateForText(const QString &text)
{
    if (text.isEmpty())
        return std::nullopt;
    const QString n = NormalizedStringTransformer::normalizeString(text);
    const QString &t = text;
    // A text that is no decimal number equals no stored amount.
    const QString d = text.trimmed();
    const QString userfields = QStringLiteral("userfields");
    return Predicate::orOf({
        Predicate::contains(QStringLiteral("normalizedDisplayName"), n),
        Predicate::contains(QStringLiteral("companyName"), n, CD),
        Predicate::beginsWith(QStringLiteral("personinfo.jobDescription"), t, CD),
        Predicate::beginsWith(QStringLiteral("firstName"), n, CD),
        Predicate::beginsWith(QStringLiteral("lastName"), n, CD),
        Predicate::beginsWith(QStringLiteral("personinfo.departmentName"), t, CD),
        Predicate::any(userfields, Predicate::contains(QStringLiteral("fieldValue"), n, CD)),
        Predicate::subqueryCount(userfields, Predicate::contains(QStringLiteral("formfield.formFieldName"), t, CD),
                                 platform::store::Comparison::Greater, 0),
        Predicate::subqueryCount(userfields,
                                 platform::store::isDecimalText(d)
                                     ? Predicate::equal(QStringLiteral("currencyvalue.currencyValue"), d)
                                     : Predicate::falsePredicate(),
                                 platform::store::Comparison::Greater, 0),
        Predicate::subqueryCount(userfields, Predicate::contains(QStringLiteral("listvalue.title"), t, CD),
                                 platform::store::Comparison::Greater, 0),
        Predicate::contains(QStringLiteral("displayName"), t, CD),
        Predicate::contains(QStringLiteral("notesField"), t, CD),
    });
}

std::optional<Predicate> ContactsListDisplaySource::combinedFilterPredicate() const
{
    if (!m_groupsPredicate && !m_searchPredicate)
        return std::nullopt;
    std::vector<Predicate> operands;
    if (m_groupsPredicate)
        operands.push_back(*m_groupsPredicate);
    if (m_searchPredicate)
        operands.push_back(*m_searchPredicate);
    return Predicate::andOf(std::move(operands));
}

void ContactsListDisplaySource::searchResultsWithString(const QString &text)
{
    m_searchPredicate = searchPredicateForText(text);
    filterAndRebuild(true);
}

Predicate ContactsListDisplaySource::makePredicateForPrivateGroup(PrivateGroups *group)
{
    return Predicate::inObjects(QStringLiteral("self"), group ? group->members() : QList<Person *>());
}

Predicate ContactsListDisplaySource::makePredicateForPublicGroup(const AddressBookGroupRecord &group) const
{
    QVariantList guids;
    for (const QString &member : group.memberUniqueIds) {
        const platform::store::ManagedObjectID id =
            SharedSettingController::sharedSettings().objectIDForContactReferenceID(member);
        if (id.isNull() || !m_context)
            continue;
        m_context->performAndWait([&] {
            auto *person = dynamic_cast<Person *>(m_context->existingObjectWithID(id));
            if (person && !person->guid().isEmpty())
                guids.append(person->guid());
        });
    }
    return Predicate::in(QStringLiteral("guid"), guids) && Predicate::equal(QStringLiteral("isContactPrivate"), false);
}

void ContactsListDisplaySource::setContactsFilterPredicateByPrivateGroup(PrivateGroups *group)
{
    if (group)
        m_groupsPredicate = makePredicateForPrivateGroup(group);
    else
        m_groupsPredicate.reset();
    filterAndRebuild(false);
}

void ContactsListDisplaySource::setContactsFilterPredicateByPublicGroup(const AddressBookGroupRecord &group)
{
    m_groupsPredicate = makePredicateForPublicGroup(group);
    filterAndRebuild(false);
}

void ContactsListDisplaySource::setContactsFilterPredicateByGroupSource(
    const QString &accountLocation, const std::function<QString(Person *)> &recordLocation)
{
    // Set on its own: the group and search filters are left as they are and not combined with it.
    if (accountLocation.isNull()) {
        setFilterPredicate(Predicate::equal(QStringLiteral("isContactPrivate"), false));
    } else {
        QList<Person *> inAccount;
        for (Person *person : std::as_const(m_arranged)) {
            const QString location = recordLocation ? recordLocation(person) : QString();
            if (!location.isNull() && location == accountLocation)
                inAccount.append(person);
        }
        setFilterPredicate(Predicate::inObjects(QStringLiteral("self"), inAccount));
    }
    resetDatasource();
    if (m_delegate && m_delegate->respondsToUpdatedSourceDictionary())
        m_delegate->updatedSourceDictionaryWithPreserveSelection(false);
}

void ContactsListDisplaySource::setSelectContactInSource(const QList<Person *> &people)
{
    m_selectedObjects = people;
    m_selectedPerson = people.size() == 1 ? people.first() : nullptr;
}

// ---- Filter passes ----

void ContactsListDisplaySource::filterAndRebuild(bool preserveSelection)
{
    m_filterPredicate = combinedFilterPredicate();
    const quint64 generation = ++m_passGeneration;
    const quint64 contentGeneration = m_contentGeneration;

    // Contacts with unsaved changes are judged here, as they are now; the store only knows their saved state.
    // Their names may have changed too, so the keys are read again.
    auto judgedHere = std::make_shared<QHash<Person *, bool>>();
    if (m_context) {
        for (ManagedObject *object : m_context->insertedObjects() + m_context->updatedObjects()) {
            auto *person = dynamic_cast<Person *>(object);
            if (!person)
                continue;
            m_keyedContent.reset();
            if (m_filterPredicate)
                judgedHere->insert(person, m_filterPredicate->evaluate(*person));
        }
    }
    const std::shared_ptr<const std::vector<KeyedContact>> keyed = keyedContent();
    auto result = std::make_shared<PassResult>();
    result->generation = generation;
    result->contentGeneration = contentGeneration;
    result->preserveSelection = preserveSelection;

    const std::optional<Predicate> predicate = m_filterPredicate;
    ContextPtr storeContext;
    if (predicate && m_context && m_context->persistentStoreCoordinator()) {
        if (!m_filterContext) {
            m_filterContext = platform::store::ManagedObjectContext::create(
                platform::store::ManagedObjectContext::ConcurrencyType::PrivateQueue);
            m_filterContext->setPersistentStoreCoordinator(m_context->persistentStoreCoordinator());
        }
        storeContext = m_filterContext;
    }

    auto work = [keyed, judgedHere, predicate, storeContext, result] {
        QSet<qint64> matching;
        if (predicate && storeContext) {
            storeContext->performAndWait([&] {
                platform::store::FetchRequest request(Person::EntityName);
                request.setPredicate(*predicate);
                platform::core::QDError error;
                const auto ids = storeContext->executeFetchRequestForIDs(request, &error);
                if (!error.isNull()) {
                    result->failed = true;
                    return;
                }
                matching.reserve(ids.size());
                for (const auto &id : ids)
                    matching.insert(id.primaryKey());
            });
            if (result->failed)
                return;
        }
        std::vector<KeyedContact> listed;
        listed.reserve(keyed->size());
        for (const KeyedContact &entry : *keyed) {
            bool include = true;
            if (predicate) {
                const auto here = judgedHere->constFind(entry.person);
                include = here != judgedHere->cend() ? *here : (entry.pk != 0 && matching.contains(entry.pk));
            }
            if (include) {
                listed.push_back(entry);
                result->arranged.append(entry.person);
            }
        }
        buildSections(listed, &result->dictionary, &result->keys);
    };

    if (m_filterQueue && (storeContext || !predicate)) {
        ++m_pendingPasses;
        std::weak_ptr<bool> alive = m_alive;
        m_filterQueue->async([this, alive, work, result] {
            work();
            platform::core::dispatchAsyncMain([this, alive, result] {
                if (alive.expired())
                    return;
                applyPassResult(result);
            });
        });
        return;
    }
    // No queue, or no store to ask: the same pass at once, judged on the contacts themselves.
    if (predicate && !storeContext) {
        for (const KeyedContact &entry : *keyed)
            judgedHere->insert(entry.person, predicate->evaluate(*entry.person));
    }
    ++m_pendingPasses;
    work();
    applyPassResult(result);
}

void ContactsListDisplaySource::applyPassResult(const std::shared_ptr<PassResult> &result)
{
    if (result->generation == 0)
        return; // already put in place (finishPendingWork ran before the queued delivery)
    const quint64 generation = result->generation;
    result->generation = 0;
    --m_pendingPasses;
    if (generation != m_passGeneration)
        return; // a newer filter superseded it
    if (result->contentGeneration != m_contentGeneration || result->failed) {
        // Contacts came or went while the pass ran (its list may name a contact that is gone), or the store
        // could not answer: work it out again here, on the contacts as they are now.
        setFilterPredicate(m_filterPredicate);
        resetDatasource();
    } else {
        m_arranged = result->arranged;
        m_contactsDictionary = std::move(result->dictionary);
        m_alphabetsUsed = std::move(result->keys);
        emit sectionsChanged();
    }
    if (m_delegate && m_delegate->respondsToUpdatedSourceDictionary())
        m_delegate->updatedSourceDictionaryWithPreserveSelection(result->preserveSelection);
}

void ContactsListDisplaySource::finishPendingWork()
{
    if (m_filterQueue)
        m_filterQueue->sync([] {});
    // The deliveries are queued on the main loop; run just those.
    while (m_pendingPasses > 0) {
        platform::core::detail::runPendingSyncMainBlocks();
        QCoreApplication::sendPostedEvents(nullptr, 0);
        if (m_pendingPasses > 0 && m_filterQueue)
            m_filterQueue->sync([] {});
    }
}

// ---- Changes in the context ----

void ContactsListDisplaySource::contextObjectsChanged(const platform::core::Notification &notification)
{
    const auto listOf = [&](const QString &key) {
        return notification.userInfo.value(key).value<platform::store::ManagedObject::ObjectList>();
    };
    bool contentChanged = false;
    for (ManagedObject *object : listOf(platform::store::DeletedObjectsKey)) {
        if (auto *person = dynamic_cast<Person *>(object)) {
            forgetPerson(person);
            contentChanged = true;
        }
    }
    for (ManagedObject *object : listOf(platform::store::InsertedObjectsKey)) {
        auto *person = dynamic_cast<Person *>(object);
        if (!person || m_content.contains(person))
            continue;
        m_content.append(person);
        if (!m_filterPredicate || m_filterPredicate->evaluate(*person))
            m_arranged.append(person);
        contentChanged = true;
    }
    for (ManagedObject *object : listOf(platform::store::UpdatedObjectsKey)) {
        if (dynamic_cast<Person *>(object))
            m_keyedContent.reset(); // its name or key may have changed
    }
    if (contentChanged) {
        m_keyedContent.reset();
        ++m_contentGeneration;
    }
}

void ContactsListDisplaySource::forgetPerson(Person *person)
{
    m_keyedContent.reset();
    m_content.removeAll(person);
    m_arranged.removeAll(person);
    m_selectedObjects.removeAll(person);
    if (m_selectedPerson == person)
        m_selectedPerson = nullptr;
    QString key;
    qsizetype row = -1;
    if (!locateContact(person, &key, &row))
        return;
    // The record is about to end; no row may keep pointing at it.
    QList<Person *> &section = m_contactsDictionary[key];
    section.removeAt(row);
    qsizetype sectionIndex = -1;
    if (section.isEmpty()) {
        sectionIndex = m_alphabetsUsed.indexOf(key);
        m_contactsDictionary.remove(key);
        m_alphabetsUsed.removeAt(sectionIndex);
    }
    emit sectionsChanged();
    if (m_delegate && m_delegate->respondsToRemoveRow())
        m_delegate->removeRowWithIndex(row, key, sectionIndex);
}

// ---- The address book ----

namespace {

void writeDataPlist()
{
    SharedSettingController::sharedSettings().saveDataPlist();
}

// Whether a record was made by this program (on any of the user's devices) in the last days, so that it
// is not offered back for import; only while the user's devices share their records.
bool madeByUsRecently(const platform::contacts::ContactRecord &record, const QVariantMap &recent)
{
    return recent.contains(QString::number(VCardAddressBookBridge::customHashForABRecord(record)));
}

bool devicesShareRecords()
{
    return SharedSettingController::sharedSettings().isCloudKitEnabled() || iCloudEnabledInApp();
}

} // namespace

void ContactsListDisplaySource::setAddressBook(std::shared_ptr<platform::contacts::AddressBook> book)
{
    for (const QMetaObject::Connection &connection : std::as_const(m_bookConnections))
        QObject::disconnect(connection);
    m_bookConnections.clear();
    m_book = std::move(book);
    if (!m_book)
        return;
    m_bookConnections << connect(m_book.get(), &platform::contacts::AddressBook::changedExternally, this,
                                 &ContactsListDisplaySource::notificationAddressBookChangedExternally);
    m_bookConnections << connect(m_book.get(), &platform::contacts::AddressBook::changedInternally, this,
                                 [this](const QStringList &inserted, const QStringList &, const QStringList &) {
                                     notificationAddressBookChangedInternally(inserted);
                                 });
}

void ContactsListDisplaySource::syncWithPersonsListWithTypeOfChange(int kind)
{
    // Every contact of the store is renamed, also while a search lists none of them: stored names that no
    // longer follow the settings would come back wrong once the search is emptied.
    if (m_content.isEmpty() && m_arranged.isEmpty())
        return;
    if (m_selectionStyle != SelectionStyle::MainList)
        return;
    const ContextPtr mainContext = m_context;
    if (!mainContext)
        return;
    globalDontFetchFromDropBox = true;
    ++m_runningPasses;
    const std::shared_ptr<std::atomic<bool>> restoring = m_restoring;
    const std::shared_ptr<VCardAddressBookBridge> bridge = VCardAddressBookBridge::installed();
    std::weak_ptr<bool> alive = m_alive;
    auto pass = [this, alive, kind, mainContext, restoring, bridge] {
        auto child = platform::store::ManagedObjectContext::create(
            platform::store::ManagedObjectContext::ConcurrencyType::PrivateQueue);
        child->setName(BackgroundContextName);
        child->setParentContext(mainContext);
        bool saved = false;
        child->performAndWait([&] {
            const QList<Person *> people = Person::getAllPersonsWithContext(child.get());
            for (Person *person : people) {
                if (restoring->load())
                    break;
                platform::core::QDError error;
                if (!child->existingObjectWithID(person->objectID(), &error) || !error.isNull())
                    continue;
                if (kind == RemakeDisplayNames)
                    person->remakeDisplayName();
                else if (kind == RemakeSortingNames)
                    person->remakeSortingName();
                else if (bridge)
                    bridge->checkAndUpdateContactInfo(*person);
                if (bridge) {
                    bridge->loadRecordID(*person);
                    bridge->loadImageRecord(*person);
                }
            }
            if (restoring->load() || !child->hasChanges())
                return;
            platform::core::QDError childError;
            if (!child->save(&childError))
                return;
            mainContext->performAndWait([&] {
                platform::core::QDError mainError;
                saved = mainContext->save(&mainError);
            });
        });
        child->performAndWait([&] { child->reset(); });
        platform::core::dispatchAsyncMain([this, alive, saved] {
            if (alive.expired())
                return;
            --m_runningPasses;
            if (saved)
                resetDatasource();
            postBackgroundContextDidSave();
            SharedSettingController::sharedSettings().writeToContactsReferenceFile();
        });
    };
    if (m_filterQueue)
        m_filterQueue->async(pass);
    else
        pass();
}

void ContactsListDisplaySource::postBackgroundContextDidSave()
{
    if (m_delegate && m_delegate->respondsToUpdatedSourceDictionary())
        m_delegate->updatedSourceDictionaryWithPreserveSelection(true);
    setIsRestoringData(false);
    postSyncWithContactsList();
}

void ContactsListDisplaySource::postSyncWithContactsList()
{
    if (!platform::core::isMainThread()) {
        QPointer<ContactsListDisplaySource> self(this);
        platform::core::dispatchAsyncMain([self] {
            if (self)
                self->postSyncWithContactsList();
        });
        return;
    }
    writeDataPlist();
    platform::core::NotificationCenter::defaultCenter().post(SyncWithAddressBookChangeNotification, nullptr);
    globalDontFetchFromDropBox = false;
    checkForNewContactsToImport();
}

void ContactsListDisplaySource::checkForNewContactsToImport()
{
    if (!dataPlistValues().boolValue(AutoImportContactsKey))
        return;
    const std::shared_ptr<platform::contacts::AddressBook> book = m_book;
    ++m_runningPasses;
    std::weak_ptr<bool> alive = m_alive;
    const auto finished = [this, alive] {
        if (!alive.expired())
            --m_runningPasses;
    };
    if (!book) {
        finished();
        return;
    }
    // Read on the main thread: the caches are the main thread's.
    const auto &settings = SharedSettingController::sharedSettings();
    const QVariantMap recent = settings.recentlyAddedContacts();
    const bool shared = devicesShareRecords();
    auto queue = platform::core::DispatchQueue::serial(NewContactsScanQueueLabel);
    queue->async([this, alive, book, recent, shared, finished, queue] {
        const QDateTime lastScan = dataPlistValues().dateValue(LastCheckedForNewContactsTimeKey);
        const qint64 since = lastScan.isValid() ? lastScan.toSecsSinceEpoch() : 0;
        QList<platform::contacts::ContactRecord> candidates;
        for (const platform::contacts::ContactRecord &record : book->people()) {
            const QDateTime created = record.creationDate();
            const qint64 at = created.isValid() ? created.toSecsSinceEpoch() : 0;
            if (at > since && !SharedSettingController::sharedSettings().contactReferenceIDExists(record.uniqueId()))
                candidates.append(record);
        }
        if (!candidates.isEmpty() && !recent.isEmpty() && shared) {
            candidates.removeIf([&](const platform::contacts::ContactRecord &record) {
                return madeByUsRecently(record, recent);
            });
        }
        platform::core::dispatchAsyncMain([this, alive, candidates, finished] {
            if (!alive.expired() && !candidates.isEmpty()) {
                SharedAppGlobals::sharedAppGlobals().logAnalyticsEvent(
                    QStringLiteral("ContactsDataSource-NewContactsAlert"),
                    {{QStringLiteral("Count"), QString::number(candidates.size())}});
                if (m_delegate)
                    m_delegate->newContactsAvailable(candidates);
            }
            dataPlistValues().setValue(LastCheckedForNewContactsTimeKey, QDateTime::currentDateTimeUtc());
            writeDataPlist();
            finished();
        });
    });
}

void ContactsListDisplaySource::notificationAddressBookChangedExternally(const QStringList &inserted,
                                                                        const QStringList &updated,
                                                                        const QStringList &deleted)
{
    QDLogInfo(QStringLiteral("- ContactsListDisplaySource:  notificationAddressBookChangedExternally called - "));
    globalDontFetchFromDropBox = true;
    QList<platform::contacts::ContactRecord> newRecords;
    ManagedObject::ObjectList updatedPersons;
    ManagedObject::ObjectList unlinkedPersons;
    const std::shared_ptr<platform::contacts::AddressBook> book = m_book;
    auto &settings = SharedSettingController::sharedSettings();

    // The contact of a card: linked, public and still in the store.
    const auto linkedPerson = [&](const QString &uid) -> Person * {
        const platform::store::ManagedObjectID id = settings.objectIDForContactReferenceID(uid);
        if (id.isNull() || !m_context)
            return nullptr;
        Person *person = nullptr;
        m_context->performAndWait([&] {
            platform::core::QDError error;
            person = dynamic_cast<Person *>(m_context->existingObjectWithID(id, &error));
        });
        if (!person || person->isDeleted() || person->isContactPrivate() || person->macUniqueIdentifier().isEmpty())
            return nullptr;
        return person;
    };
    // Groups are followed by the group menu; here only people count.
    const auto isGroup = [&](const QString &uid) {
        const auto record = book ? book->recordForUniqueId(uid) : std::nullopt;
        return record && record->isGroup();
    };

    // A card we wrote ourselves and that another program then replaced (one out, one in) is the same person.
    const bool replaced =
        deleted.size() == 1 && inserted.size() == 1 && m_recentlySavedRecords.contains(deleted.first());
    if (!deleted.isEmpty()) {
        for (const QString &uid : deleted) {
            if (isGroup(uid))
                continue;
            if (Person *person = linkedPerson(uid)) {
                // The contact stays, without its card.
                person->setMacUniqueIdentifier(QString());
                unlinkedPersons.append(person);
            }
        }
        if (!unlinkedPersons.isEmpty()) {
            writeDataPlist();
            settings.writeToContactsReferenceFile();
        }
    }
    if (!inserted.isEmpty()) {
        for (const QString &uid : inserted) {
            const auto record = book ? book->recordForUniqueId(uid) : std::nullopt;
            if (record && !record->isGroup())
                newRecords.append(*record);
        }
        if (!replaced && !newRecords.isEmpty()) {
            const QVariantMap recent = settings.recentlyAddedContacts();
            if (!recent.isEmpty() && devicesShareRecords()) {
                newRecords.removeIf([&](const platform::contacts::ContactRecord &record) {
                    return madeByUsRecently(record, recent);
                });
            }
            if (!newRecords.isEmpty() && m_delegate)
                m_delegate->newContactsAvailable(newRecords);
        }
    }
    if (!updated.isEmpty()) {
        const std::shared_ptr<VCardAddressBookBridge> bridge = VCardAddressBookBridge::installed();
        for (const QString &uid : updated) {
            if (isGroup(uid))
                continue;
            Person *person = linkedPerson(uid);
            if (person && bridge && bridge->checkAndUpdateContactInfo(*person))
                updatedPersons.append(person);
        }
        if (!updatedPersons.isEmpty()) {
            QDLogInfo(QStringLiteral("ContactsListDisplaySource: updated contacts; sending notification"));
            writeDataPlist();
            settings.writeToContactsReferenceFile();
            platform::core::QDError error;
            if (m_context && m_context->save(&error))
                QDLogInfo(QStringLiteral("ContactsListDisplaySource - context saved"));
            else if (!error.isNull())
                QDLogError(QStringLiteral("🚨🚨 ContactsListDisplaySource - error in save = %1 🚨🚨").arg(error.toString()));
        }
    }
    globalDontFetchFromDropBox = false;
    platform::core::NotificationCenter::defaultCenter().post(
        SyncWithAddressBookChangeNotification, nullptr,
        {{InsertedRecordsKey, QVariant::fromValue(newRecords)},
         {UpdatedRecordsKey, QVariant::fromValue(updatedPersons)},
         {DeletedRecordsKey, QVariant::fromValue(unlinkedPersons)}});
    m_recentlySavedRecords.clear();
}

void ContactsListDisplaySource::notificationAddressBookChangedInternally(const QStringList &inserted)
{
    for (const QString &uid : inserted) {
        const auto record = m_book ? m_book->recordForUniqueId(uid) : std::nullopt;
        if (record && !record->isGroup())
            m_recentlySavedRecords.append(uid);
    }
}

void ContactsListDisplaySource::deletePersonFromOutlineView(Person *person, bool save, qsizetype rowToSelect,
                                                           const QString &parentKey)
{
    if (!person)
        return;
    QString key;
    qsizetype index = -1;
    if (locateContact(person, &key, &index)) {
        QList<Person *> &section = m_contactsDictionary[key];
        const qsizetype sectionIndex = section.size() == 1 ? m_alphabetsUsed.indexOf(key) : -1;
        if (m_delegate && m_delegate->respondsToRemoveRow())
            m_delegate->removeRowWithIndex(index, parentKey.isNull() ? key : parentKey, sectionIndex);
        section.removeAt(index);
        if (section.isEmpty() && !key.isEmpty()) {
            m_contactsDictionary.remove(key);
            m_alphabetsUsed.removeAll(key);
        }
        emit sectionsChanged();
    }
    if (save && m_context && person->managedObjectContext() == m_context.get()) {
        m_context->deleteObject(person);
        m_context->processPendingChanges();
        platform::core::QDError error;
        if (!m_context->save(&error)) {
            // The contact is kept whole rather than left half-deleted; the list shows it again.
            QDLogError(QStringLiteral("🚨🚨 ContactsListDisplaySource - delete not saved = %1 🚨🚨").arg(error.toString()));
            m_context->rollback();
            refetchArrayController();
            resetDatasource();
            if (m_delegate && m_delegate->respondsToUpdatedSourceDictionary())
                m_delegate->updatedSourceDictionaryWithPreserveSelection(false);
            emit deleteFailed(error);
            return;
        }
    }
    if (m_delegate && m_delegate->respondsToSelectPersonRow())
        m_delegate->selectPersonRow(rowToSelect);
}
