#include "QDListDataSource.h"

#include "CoreDataControllerShared.h"

#include "QuendelKit/Entities/Person.h"

#include "platform/store/FetchRequest.h"
#include "platform/store/StoreNotifications.h"

#include <QCollator>
#include <QDateTime>

#include <algorithm>

using platform::store::ManagedObject;
using platform::store::ManagedObjectID;
using platform::store::Predicate;

namespace {

const QString PersonKey = QStringLiteral("person");
const QString FileAttachmentsEntity = QStringLiteral("FileAttachments");

bool isNilValue(const QVariant &value)
{
    return !value.isValid() || value.isNull();
}

// Nil goes first; dates by instant, numbers by value, anything else as text.
int compareValues(const QVariant &a, const QVariant &b)
{
    const bool aNil = isNilValue(a);
    const bool bNil = isNilValue(b);
    if (aNil || bNil)
        return aNil == bNil ? 0 : (aNil ? -1 : 1);
    if (a.metaType().id() == QMetaType::QDateTime || b.metaType().id() == QMetaType::QDateTime) {
        const QDateTime x = a.toDateTime();
        const QDateTime y = b.toDateTime();
        return x < y ? -1 : (y < x ? 1 : 0);
    }
    bool aNumber = false;
    bool bNumber = false;
    const double x = a.toDouble(&aNumber);
    const double y = b.toDouble(&bNumber);
    if (aNumber && bNumber && a.metaType().id() != QMetaType::QString && b.metaType().id() != QMetaType::QString)
        return x < y ? -1 : (y < x ? 1 : 0);
    return QString::compare(a.toString(), b.toString());
}

// Records stored earlier come first; a record not stored yet comes after every stored one.
int compareStoredOrder(const ManagedObjectID &a, const ManagedObjectID &b)
{
    const bool aTemporary = a.isNull() || a.isTemporaryID();
    const bool bTemporary = b.isNull() || b.isTemporaryID();
    if (aTemporary != bTemporary)
        return aTemporary ? 1 : -1;
    if (aTemporary)
        return a.temporaryNumber() < b.temporaryNumber() ? -1 : (b.temporaryNumber() < a.temporaryNumber() ? 1 : 0);
    return a.primaryKey() < b.primaryKey() ? -1 : (b.primaryKey() < a.primaryKey() ? 1 : 0);
}

QList<ManagedObjectID> idsFromValue(const QVariant &value)
{
    QList<ManagedObjectID> ids;
    if (value.canConvert<QList<ManagedObjectID>>() && value.metaType() == QMetaType::fromType<QList<ManagedObjectID>>())
        return value.value<QList<ManagedObjectID>>();
    if (value.metaType().id() == QMetaType::QVariantList) {
        for (const QVariant &entry : value.toList())
            if (entry.metaType() == QMetaType::fromType<ManagedObjectID>())
                ids.append(entry.value<ManagedObjectID>());
    }
    return ids;
}

} // namespace

QDListDataSource::QDListDataSource(platform::store::ContextPtr context, Person *person, const QString &entityName,
                                   const QString &sectionKey, const QString &dateKey, bool ascending)
    : m_context(std::move(context)), m_detailPerson(person),
      m_detailPersonID(person ? person->objectID() : ManagedObjectID()), m_entityName(entityName),
      m_sectionKey(sectionKey), m_dateKey(dateKey), m_ascending(ascending)
{}

QDListDataSource::~QDListDataSource()
{
    stopListeners();
}

// ---- Loading ----

void QDListDataSource::initializeObserver()
{
    startContextListeners();
    m_loaded = false;
    m_fetchPredicate = getBasePredicateForClass();
    // The fetch is synchronous, so its arrangement is there at once, empty or not.
    fetchArrangedObjects();
    if (!m_loaded) {
        m_loaded = true;
        setupListView();
    }
}

bool QDListDataSource::fetchArrangedObjects()
{
    m_arranged.clear();
    m_fetchError = platform::core::QDError();
    if (!m_context)
        return false;
    platform::store::FetchRequest request(m_entityName);
    std::vector<Predicate> parts;
    if (m_fetchPredicate)
        parts.push_back(*m_fetchPredicate);
    if (m_filterPredicate)
        parts.push_back(*m_filterPredicate);
    if (!parts.empty())
        request.setPredicate(parts.size() == 1 ? parts.front() : Predicate::andOf(parts));
    bool ok = true;
    m_context->performAndWait([&] {
        platform::core::QDError error;
        const QList<ManagedObject *> objects = m_context->executeFetchRequest(request, &error);
        if (!error.isNull()) {
            m_fetchError = error;
            ok = false;
            return;
        }
        m_arranged = objects;
    });
    return ok;
}

void QDListDataSource::setupListView()
{
    QList<CommonListDataPtr> headers;
    QHash<QString, qsizetype> indexOfValue;
    for (ManagedObject *object : std::as_const(m_arranged)) {
        const QString value = sectionValueFor(object);
        if (value.isNull())
            continue;
        auto found = indexOfValue.constFind(value);
        if (found == indexOfValue.cend()) {
            found = indexOfValue.insert(value, headers.size());
            headers.append(CommonListData::initWithHeaderTitle(value));
        }
        headers[*found]->children().append(CommonListData::initWithManagedObject(object));
    }
    for (const CommonListDataPtr &header : headers) {
        QList<CommonListDataPtr> &rows = header->children();
        std::stable_sort(rows.begin(), rows.end(), [this](const CommonListDataPtr &a, const CommonListDataPtr &b) {
            return compareRows(*a, *b) < 0;
        });
    }
    std::stable_sort(headers.begin(), headers.end(), [this](const CommonListDataPtr &a, const CommonListDataPtr &b) {
        return compareHeaderTitles(a->headerTitle(), b->headerTitle()) < 0;
    });
    m_headers = headers;
    if (m_delegate)
        m_delegate->updatedSourceObjects();
}

void QDListDataSource::setPredicateAndUpdateList(std::optional<Predicate> predicate)
{
    m_filterPredicate = std::move(predicate);
    fetchArrangedObjects();
    setupListView();
}

void QDListDataSource::rearrangeArrayController()
{
    fetchArrangedObjects();
}

// ---- The outline's data source ----

qint64 QDListDataSource::numberOfChildrenOfItem(const CommonListData *item) const
{
    if (!item)
        return m_headers.size();
    return item->isGroup() ? item->children().size() : 0;
}

CommonListData *QDListDataSource::childofItem(const CommonListData *item, qint64 index) const
{
    const QList<CommonListDataPtr> &list = item ? item->children() : m_headers;
    if (index < 0 || index >= list.size())
        return nullptr;
    return list.at(index).get();
}

// ---- Incremental changes ----

std::optional<platform::store::Predicate> QDListDataSource::getBasePredicateForClass() const
{
    if (!m_detailPerson)
        return std::nullopt;
    return platform::store::Predicate::equal(QStringLiteral("person"), m_detailPerson);
}

void QDListDataSource::addObjectToSource(ManagedObject *object)
{
    if (!object)
        return;
    if (!m_detailPersonID.isNull()) {
        const ManagedObject *person = object->relatedObject(QStringLiteral("person"));
        if (!person || person->objectID() != m_detailPersonID)
            return;
    }
    if (!isListedEntity(object))
        return;
    // A record can already be listed when it was fetched before its first save.
    for (const CommonListDataPtr &header : std::as_const(m_headers))
        for (const CommonListDataPtr &row : std::as_const(header->children()))
            if (row->dataObject() == object) {
                row->setDataObject(object);
                return;
            }
    if (indexPathForObjectID(object->objectID()))
        return;
    // What arrives from a save or a merge is held to the same filter as what the fetch brought.
    if (!matchesPredicates(object))
        return;
    const QString value = sectionValueFor(object);
    if (value.isNull())
        return;
    noteArranged(object);

    for (const CommonListDataPtr &header : std::as_const(m_headers)) {
        if (header->headerTitle() != value)
            continue;
        CommonListDataPtr row = CommonListData::initWithManagedObject(object);
        QList<CommonListDataPtr> children = header->children();
        const qint64 index = insertionIndexForRow(children, *row);
        children.insert(index, row);
        header->setChildren(children);
        if (m_delegate)
            m_delegate->addedObject(row.get(), header.get(), index);
        return;
    }
    CommonListDataPtr header = CommonListData::initWithHeaderTitle(value);
    const qint64 index = createNewSection(header, object);
    if (m_delegate)
        m_delegate->insertedNewSectionToSource(header.get(), index);
}

qint64 QDListDataSource::createNewSection(const CommonListDataPtr &header, ManagedObject *object)
{
    header->setChildren({CommonListData::initWithManagedObject(object)});
    QList<CommonListDataPtr> headers = m_headers;
    const qint64 index = insertionIndexForHeaderTitle(headers, header->headerTitle());
    headers.insert(index, header);
    m_headers = headers;
    return index;
}

void QDListDataSource::deleteSectionForHeaderItem(const CommonListDataPtr &header, qint64 index)
{
    if (m_delegate)
        m_delegate->deletedSection(header.get(), index);
    QList<CommonListDataPtr> headers = m_headers;
    if (index >= 0 && index < headers.size() && headers.at(index) == header)
        headers.removeAt(index);
    else
        headers.removeAll(header);
    m_headers = headers;
}

void QDListDataSource::deleteObjectFromSource(ManagedObject *object)
{
    if (!object)
        return;
    for (qint64 h = 0; h < m_headers.size(); ++h) {
        const CommonListDataPtr header = m_headers.at(h);
        for (qint64 r = 0; r < header->children().size(); ++r) {
            if (header->children().at(r)->dataObject() != object)
                continue;
            deleteObjectWithIDFromSource(header->children().at(r)->objectID());
            return;
        }
    }
    deleteObjectWithIDFromSource(object->objectID());
}

void QDListDataSource::deleteObjectWithIDFromSource(const ManagedObjectID &objectID)
{
    const auto path = indexPathForObjectID(objectID);
    if (!path)
        return;
    const auto [h, r] = *path;
    const CommonListDataPtr header = m_headers.at(h);
    const CommonListDataPtr row = header->children().at(r);
    removeArranged(row->dataObject());
    if (header->children().size() == 1) {
        deleteSectionForHeaderItem(header, h);
        return;
    }
    if (m_delegate)
        m_delegate->deletedObjectItem(row.get(), h, quint64(r));
    header->children().removeAt(r);
}

void QDListDataSource::updateObjectInSource(ManagedObject *object)
{
    if (!object)
        return;
    const auto path = indexPathForObjectID(object->objectID());
    if (!path) {
        // A record that now belongs here (given to this contact, reopened, matching the filter) is added.
        addObjectToSource(object);
        return;
    }
    const QString value = sectionValueFor(object);
    if (value.isNull() || !matchesPredicates(object)) {
        deleteObjectWithIDFromSource(object->objectID());
        return;
    }
    const auto [h, r] = *path;
    const CommonListDataPtr oldHeader = m_headers.at(h);
    const CommonListDataPtr row = oldHeader->children().at(r);
    row->setDataObject(object);
    const bool sameSection = oldHeader->headerTitle() == value;
    oldHeader->children().removeAt(r);

    if (sameSection) {
        const qint64 r2 = insertionIndexForRow(oldHeader->children(), *row);
        oldHeader->children().insert(r2, row);
        if (r2 != r) {
            if (m_delegate)
                m_delegate->moveObjectInSection(oldHeader.get(), r, r2);
        } else if (m_entityName == FileAttachmentsEntity && m_delegate && m_delegate->respondsToUpdatedSourceObject()) {
            m_delegate->updatedSourceObjectWithHeaderIndex(h, r, row.get());
        }
        return;
    }

    if (oldHeader->children().isEmpty()) {
        QList<CommonListDataPtr> headers = m_headers;
        headers.removeAt(h);
        m_headers = headers;
        if (m_delegate)
            m_delegate->deletedSection(oldHeader.get(), h);
    }
    CommonListDataPtr newHeader;
    qint64 t = -1;
    for (qint64 i = 0; i < m_headers.size(); ++i)
        if (m_headers.at(i)->headerTitle() == value) {
            newHeader = m_headers.at(i);
            t = i;
            break;
        }
    qint64 r2 = 0;
    if (!newHeader) {
        // The moved row itself opens the new section, so the view keeps one object for the record.
        newHeader = CommonListData::initWithHeaderTitle(value);
        newHeader->setChildren({row});
        QList<CommonListDataPtr> headers = m_headers;
        t = insertionIndexForHeaderTitle(headers, value);
        headers.insert(t, newHeader);
        m_headers = headers;
    } else {
        QList<CommonListDataPtr> children = newHeader->children();
        r2 = insertionIndexForRow(children, *row);
        children.insert(r2, row);
        newHeader->setChildren(children);
    }
    if (m_delegate)
        m_delegate->moveObjectFromSection(oldHeader.get(), newHeader.get(), h, t, r, r2);
}

// ---- Observers ----

void QDListDataSource::startContextListeners()
{
    stopListeners();
    if (m_context) {
        const void *sender = m_context.get();
        m_contextObservers.emplace_back(platform::store::ManagedObjectContextWillSaveNotification, sender,
                                        [this](const platform::core::Notification &n) { contextWillSave(n); });
        m_contextObservers.emplace_back(platform::store::ManagedObjectContextDidSaveNotification, sender,
                                        [this](const platform::core::Notification &n) { contextDidSave(n); });
    }
    m_globalObservers.emplace_back(CoreDataControllerBase::RefreshAllViewsAfterCloudChangesNotification, nullptr,
                                   [this](const platform::core::Notification &n) { iCloudChangeNotification(n); });
    m_globalObservers.emplace_back(CoreDataControllerShared::RestoreDBPreparationNotification, nullptr,
                                   [this](const platform::core::Notification &n) { prepareForDBRestore(n); });
    m_globalObservers.emplace_back(CoreDataControllerShared::RestoreDBNotification, nullptr,
                                   [this](const platform::core::Notification &n) { databaseRestoredNotification(n); });
}

void QDListDataSource::stopListeners()
{
    m_contextObservers.clear();
    m_globalObservers.clear();
}

void QDListDataSource::contextWillSave(const platform::core::Notification &notification)
{
    if (!m_context || notification.object != m_context.get())
        return;
    // Taken before the save, while the records still know their changed keys.
    for (ManagedObject *object : m_context->updatedObjects()) {
        if (!checkForEntities(object) || !checkForChangedKeys(object))
            continue;
        if (shouldRemoveObjectFromSource(object)) {
            deleteObjectFromSource(object);
            // The same change can bring the record into this list (a reopened to-do, a log given to this
            // contact); the add path decides.
            if (isListedEntity(object))
                addObjectToSource(object);
        } else {
            updateObjectInSource(object);
        }
    }
    for (ManagedObject *object : m_context->deletedObjects())
        if (isListedEntity(object))
            deleteObjectFromSource(object);
}

void QDListDataSource::contextDidSave(const platform::core::Notification &notification)
{
    if (!m_context || notification.object != m_context.get())
        return;
    const auto inserted =
        notification.userInfo.value(platform::store::InsertedObjectsKey).value<ManagedObject::ObjectList>();
    for (ManagedObject *object : inserted)
        if (isListedEntity(object))
            addObjectToSource(object);
}

void QDListDataSource::iCloudChangeNotification(const platform::core::Notification &notification)
{
    if (!m_context)
        return;
    QList<ManagedObjectID> updated;
    QList<ManagedObjectID> deleted;
    QList<ManagedObjectID> inserted;
    if (const auto changes = platform::store::SaveChanges::fromNotification(notification)) {
        updated = changes->updatedIDs();
        deleted = changes->deletedIDs();
        inserted = changes->insertedIDs();
    } else {
        updated = idsFromValue(notification.userInfo.value(platform::store::UpdatedObjectsKey));
        deleted = idsFromValue(notification.userInfo.value(platform::store::DeletedObjectsKey));
        inserted = idsFromValue(notification.userInfo.value(platform::store::InsertedObjectsKey));
    }
    auto listed = [this](const ManagedObjectID &id) { return !id.isNull() && id.entityName() == m_entityName; };
    // Each identifier on its own: one that no longer resolves is skipped and the others go on.
    auto resolve = [this](const ManagedObjectID &id) -> ManagedObject * {
        ManagedObject *object = nullptr;
        m_context->performAndWait([&] { object = m_context->existingObjectWithID(id); });
        return object;
    };
    for (const ManagedObjectID &id : std::as_const(updated)) {
        if (!listed(id))
            continue;
        ManagedObject *object = resolve(id);
        if (!object)
            continue;
        if (postCloudCheckToRemoveObjectFromSource(object))
            deleteObjectFromSource(object);
        else
            updateObjectInSource(object);
    }
    // A record deleted by the merge may be gone from the context already; its row is found by identifier.
    for (const ManagedObjectID &id : std::as_const(deleted))
        if (listed(id))
            deleteObjectWithIDFromSource(id);
    for (const ManagedObjectID &id : std::as_const(inserted)) {
        if (!listed(id))
            continue;
        if (ManagedObject *object = resolve(id))
            addObjectToSource(object);
    }
}

void QDListDataSource::prepareForDBRestore(const platform::core::Notification &)
{
    m_contextObservers.clear();
    m_filterPredicate.reset();
    for (const CommonListDataPtr &header : std::as_const(m_headers))
        for (const CommonListDataPtr &row : std::as_const(header->children()))
            row->setDataObject(nullptr);
    m_arranged.clear();
    m_context.reset();
    m_detailPerson = nullptr;
    m_headers.clear();
    if (m_delegate)
        m_delegate->updatedSourceObjects();
}

void QDListDataSource::databaseRestoredNotification(const platform::core::Notification &notification)
{
    auto *raw = static_cast<platform::store::ManagedObjectContext *>(const_cast<void *>(notification.object));
    platform::store::ContextPtr context;
    if (raw) {
        try {
            context = raw->shared_from_this();
        } catch (const std::bad_weak_ptr &) {
            context.reset();
        }
    }
    stopListeners();
    m_context = context;
    fetchArrangedObjects();
    setupListView();
    startContextListeners();
}

// ---- Hooks ----

bool QDListDataSource::shouldRemoveObjectFromSource(ManagedObject *object) const
{
    return !m_detailPersonID.isNull() && object->changedKeys().contains(PersonKey);
}

bool QDListDataSource::postCloudCheckToRemoveObjectFromSource(ManagedObject *) const
{
    return false;
}

bool QDListDataSource::checkForChangedKeys(ManagedObject *object) const
{
    const QStringList keys = object->changedKeys();
    return keys.contains(m_dateKey) || keys.contains(PersonKey);
}

bool QDListDataSource::checkForEntities(ManagedObject *object) const
{
    return isListedEntity(object);
}

// ---- Helpers ----

QVariant QDListDataSource::valueForKeyPath(const ManagedObject *object, const QString &keyPath)
{
    const QStringList parts = keyPath.split(QLatin1Char('.'));
    const ManagedObject *current = object;
    for (qsizetype i = 0; current && i + 1 < parts.size(); ++i)
        current = current->relatedObject(parts.at(i));
    if (!current)
        return {};
    return current->value(parts.constLast());
}

QString QDListDataSource::sectionValueFor(const ManagedObject *object) const
{
    const QVariant value = valueForKeyPath(object, m_sectionKey);
    if (isNilValue(value))
        return showUnassignedSection() ? UnassignedSectionTitle : QString();
    QString text = value.toString();
    if (text.isNull())
        text = QString::fromLatin1("");
    return text;
}

bool QDListDataSource::isListedEntity(const ManagedObject *object) const
{
    return object && object->entity() && object->objectID().entityName() == m_entityName;
}

bool QDListDataSource::matchesPredicates(const ManagedObject *object) const
{
    if (m_fetchPredicate && !m_fetchPredicate->evaluate(*object))
        return false;
    if (m_filterPredicate && !m_filterPredicate->evaluate(*object))
        return false;
    return true;
}

int QDListDataSource::compareRows(const CommonListData &a, const CommonListData &b) const
{
    const QVariant x = a.dataObject() ? a.dataObject()->value(m_dateKey) : QVariant();
    const QVariant y = b.dataObject() ? b.dataObject()->value(m_dateKey) : QVariant();
    const int order = compareValues(x, y);
    if (order != 0)
        return m_ascending ? order : -order;
    return compareStoredOrder(a.objectID(), b.objectID());
}

int QDListDataSource::compareHeaderTitles(const QString &a, const QString &b) const
{
    if (m_entityName == FileAttachmentsEntity) {
        QCollator collator;
        collator.setCaseSensitivity(Qt::CaseInsensitive);
        return collator.compare(a, b);
    }
    const int order = QString::compare(a, b);
    return m_ascending ? order : -order;
}

qint64 QDListDataSource::insertionIndexForRow(const QList<CommonListDataPtr> &rows, const CommonListData &row) const
{
    const auto it = std::upper_bound(rows.cbegin(), rows.cend(), &row,
                                     [this](const CommonListData *value, const CommonListDataPtr &element) {
                                         return compareRows(*value, *element) < 0;
                                     });
    return it - rows.cbegin();
}

qint64 QDListDataSource::insertionIndexForHeaderTitle(const QList<CommonListDataPtr> &headers,
                                                      const QString &title) const
{
    const auto it = std::upper_bound(headers.cbegin(), headers.cend(), title,
                                     [this](const QString &value, const CommonListDataPtr &element) {
                                         return compareHeaderTitles(value, element->headerTitle()) < 0;
                                     });
    return it - headers.cbegin();
}

std::optional<std::pair<qint64, qint64>> QDListDataSource::indexPathForObjectID(const ManagedObjectID &id) const
{
    if (id.isNull())
        return std::nullopt;
    for (qint64 h = 0; h < m_headers.size(); ++h) {
        const QList<CommonListDataPtr> &rows = m_headers.at(h)->children();
        for (qint64 r = 0; r < rows.size(); ++r)
            if (rows.at(r)->objectID() == id)
                return std::make_pair(h, r);
    }
    return std::nullopt;
}

void QDListDataSource::removeArranged(const ManagedObject *object)
{
    // By address only: the record may already be gone from its context.
    m_arranged.removeOne(const_cast<ManagedObject *>(object));
}

void QDListDataSource::noteArranged(ManagedObject *object)
{
    if (!m_arranged.contains(object))
        m_arranged.append(object);
}
