#pragma once

#include "CommonListData.h"

#include "platform/core/NotificationCenter.h"
#include "platform/core/QDError.h"
#include "platform/store/ManagedObjectContext.h"
#include "platform/store/Predicate.h"

#include <QList>
#include <QString>
#include <QVariant>

#include <memory>
#include <optional>
#include <vector>

class Person;

// The owner of a sectioned list, told of every change so that its view can apply exactly that change.
// Indexes of sections are positions in headersArray(), indexes of rows positions in a header's children.
class QDListDataSourceDelegate
{
public:
    virtual ~QDListDataSourceDelegate() = default;

    // The sections were rebuilt or emptied: reload everything.
    virtual void updatedSourceObjects() = 0;
    // A new section with its first row (already in headersArray at headerIndex).
    virtual void insertedNewSectionToSource(CommonListData *header, qint64 headerIndex) = 0;
    // A row was inserted at index into an existing section.
    virtual void addedObject(CommonListData *row, CommonListData *header, qint64 index) = 0;
    // A section goes (reported before it leaves headersArray when a record is deleted, after it when a
    // moved record emptied it).
    virtual void deletedSection(CommonListData *header, qint64 index) = 0;
    // A row goes; it is still in its section while this is reported.
    virtual void deletedObjectItem(CommonListData *row, qint64 section, quint64 itemIndex) = 0;
    // A row changed place within its section.
    virtual void moveObjectInSection(CommonListData *header, qint64 fromIndex, qint64 toIndex) = 0;
    // A row went to another section; toHeader may be a section made for it (not reported on its own).
    virtual void moveObjectFromSection(CommonListData *fromHeader, CommonListData *toHeader, qint64 fromHeaderIndex,
                                       qint64 toHeaderIndex, qint64 fromIndexInSection, qint64 toIndexInSection) = 0;
    // Optional: a row's record changed without moving (list of files only).
    virtual bool respondsToUpdatedSourceObject() const { return false; }
    virtual void updatedSourceObjectWithHeaderIndex(qint64 headerIndex, qint64 indexInSection, CommonListData *item) {}
};

// The records of one entity in the main context as an ordered list of sections, kept current record by
// record from the context's saves, merged cloud changes and store restores. Rows are ordered by the date
// key (records with equal dates by the order they were first stored, so a new record goes after its
// equals and a rebuild gives the same order); sections by their value. Main thread only.
class QDListDataSource
{
public:
    static inline const QString UnassignedSectionTitle = QStringLiteral("Unassigned");

    QDListDataSource(platform::store::ContextPtr context, Person *person, const QString &entityName,
                     const QString &sectionKey, const QString &dateKey, bool ascending);
    virtual ~QDListDataSource();
    QDListDataSource(const QDListDataSource &) = delete;
    QDListDataSource &operator=(const QDListDataSource &) = delete;

    // ---- State ----
    const platform::store::ContextPtr &managedObjectContext() const { return m_context; }
    Person *detailPerson() const { return m_detailPerson; }
    const platform::store::ManagedObjectID &detailPersonID() const { return m_detailPersonID; }
    const QString &entityName() const { return m_entityName; }
    const QString &sectionKey() const { return m_sectionKey; }
    const QString &dateKey() const { return m_dateKey; }
    QString dateKeyPath() const { return QStringLiteral("dataObject.%1").arg(m_dateKey); }
    bool isAscending() const { return m_ascending; }
    const QList<CommonListDataPtr> &headersArray() const { return m_headers; }
    bool loadedArrayController() const { return m_loaded; }

    QDListDataSourceDelegate *delegate() const { return m_delegate; }
    void setDelegate(QDListDataSourceDelegate *delegate) { m_delegate = delegate; }

    // The records the last fetch arranged (base and filter), kept in step with the incremental changes.
    const QList<platform::store::ManagedObject *> &arrangedObjects() const { return m_arranged; }
    const std::optional<platform::store::Predicate> &fetchPredicate() const { return m_fetchPredicate; }
    const std::optional<platform::store::Predicate> &filterPredicate() const { return m_filterPredicate; }
    // Why the last fetch failed; no error after a good one.
    const platform::core::QDError &lastFetchError() const { return m_fetchError; }

    // ---- Loading ----
    // Starts the observers and builds the list the first time (reports updatedSourceObjects). Set the
    // delegate first.
    void initializeObserver();
    // Rebuilds every section from the arranged records and reports updatedSourceObjects.
    void setupListView();
    // The owner's filter (null for none): refetches, rebuilds and reports updatedSourceObjects.
    void setPredicateAndUpdateList(std::optional<platform::store::Predicate> predicate);
    // Refetches with the current filter; the sections are not rebuilt.
    void rearrangeArrayController();

    // ---- The outline's data source ----
    qint64 numberOfChildrenOfItem(const CommonListData *item) const;
    CommonListData *childofItem(const CommonListData *item, qint64 index) const;

    // ---- Incremental changes ----
    // A new record joins its section; a contact's list takes only that contact's records.
    virtual void addObjectToSource(platform::store::ManagedObject *object);
    void deleteObjectFromSource(platform::store::ManagedObject *object);
    void deleteObjectWithIDFromSource(const platform::store::ManagedObjectID &objectID);
    virtual void updateObjectInSource(platform::store::ManagedObject *object);
    qint64 createNewSection(const CommonListDataPtr &header, platform::store::ManagedObject *object);
    void deleteSectionForHeaderItem(const CommonListDataPtr &header, qint64 index);

    // ---- Observers ----
    void startContextListeners();
    void stopListeners();
    void contextWillSave(const platform::core::Notification &notification);
    void contextDidSave(const platform::core::Notification &notification);
    void iCloudChangeNotification(const platform::core::Notification &notification);
    void prepareForDBRestore(const platform::core::Notification &notification);
    void databaseRestoredNotification(const platform::core::Notification &notification);

    // ---- Hooks of the list sources ----
    // A contact's list holds that contact's records only; everyone's list is not narrowed.
    virtual std::optional<platform::store::Predicate> getBasePredicateForClass() const;
    virtual platform::store::Predicate baseSearchPredicateWithSearch(const QString &search) const = 0;
    virtual bool shouldRemoveObjectFromSource(platform::store::ManagedObject *object) const;
    virtual bool postCloudCheckToRemoveObjectFromSource(platform::store::ManagedObject *object) const;
    virtual bool checkForChangedKeys(platform::store::ManagedObject *object) const;
    virtual bool checkForEntities(platform::store::ManagedObject *object) const;
    virtual bool showUnassignedSection() const { return false; }

    // ---- Helpers ----
    // The value at a key path through to-one relationships ("person.displayName"); invalid for null.
    static QVariant valueForKeyPath(const platform::store::ManagedObject *object, const QString &keyPath);
    // The section value of a record, with "Unassigned" for null when the list shows that section; null when
    // the record has no section in this list.
    QString sectionValueFor(const platform::store::ManagedObject *object) const;
    // Whether a record is of the listed entity.
    bool isListedEntity(const platform::store::ManagedObject *object) const;
    // Whether a record passes the fetch predicate and the owner's filter.
    bool matchesPredicates(const platform::store::ManagedObject *object) const;
    // Negative, zero or positive as row a goes before, with or after row b.
    int compareRows(const CommonListData &a, const CommonListData &b) const;
    // Negative, zero or positive as section title a goes before, with or after b.
    int compareHeaderTitles(const QString &a, const QString &b) const;
    // Where a row or section title goes: after every equal one.
    qint64 insertionIndexForRow(const QList<CommonListDataPtr> &rows, const CommonListData &row) const;
    qint64 insertionIndexForHeaderTitle(const QList<CommonListDataPtr> &headers, const QString &title) const;
    // The header and row index of the record with this identifier, or nullopt.
    std::optional<std::pair<qint64, qint64>> indexPathForObjectID(const platform::store::ManagedObjectID &id) const;

protected:
    void setHeadersArray(QList<CommonListDataPtr> headers) { m_headers = std::move(headers); }
    // Runs the fetch through the arranged-records list; false with lastFetchError() on failure.
    bool fetchArrangedObjects();

private:
    void removeArranged(const platform::store::ManagedObject *object);
    void noteArranged(platform::store::ManagedObject *object);

    platform::store::ContextPtr m_context;
    Person *m_detailPerson = nullptr;
    platform::store::ManagedObjectID m_detailPersonID;
    QString m_entityName;
    QString m_sectionKey;
    QString m_dateKey;
    bool m_ascending = true;
    QDListDataSourceDelegate *m_delegate = nullptr;
    bool m_loaded = false;
    QList<CommonListDataPtr> m_headers;
    QList<platform::store::ManagedObject *> m_arranged;
    std::optional<platform::store::Predicate> m_fetchPredicate;
    std::optional<platform::store::Predicate> m_filterPredicate;
    platform::core::QDError m_fetchError;
    std::vector<platform::core::ScopedObserver> m_contextObservers;
    std::vector<platform::core::ScopedObserver> m_globalObservers;
};
