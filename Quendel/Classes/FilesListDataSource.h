#pragma once

#include "QDListDataSource.h"

// The files of one contact or of everyone: a section per contact name (files of no contact under
// "Unassigned"), in alphabetical order without regard to case; rows oldest first.
class FilesListDataSource : public QDListDataSource
{
public:
    static inline const QString FilesEntityName = QStringLiteral("FileAttachments");

    FilesListDataSource(platform::store::ContextPtr context, Person *person);

    platform::store::Predicate baseSearchPredicateWithSearch(const QString &search) const override;
    bool checkForEntities(platform::store::ManagedObject *object) const override;
    bool checkForChangedKeys(platform::store::ManagedObject *object) const override;
    bool showUnassignedSection() const override { return true; }
    // A renamed contact renames and re-sorts its section; a changed file goes to the base update.
    void updateObjectInSource(platform::store::ManagedObject *object) override;
};
