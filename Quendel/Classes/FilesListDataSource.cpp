#include "FilesListDataSource.h"

#include "QuendelKit/Entities/Person.h"

using platform::store::ManagedObject;
using platform::store::Predicate;
using platform::store::StringOption;

namespace {
const QString DisplayNameKey = QStringLiteral("displayName");
}

FilesListDataSource::FilesListDataSource(platform::store::ContextPtr context, Person *person)
    : QDListDataSource(std::move(context), person, FilesEntityName, QStringLiteral("person.displayName"),
                       QStringLiteral("createdAt"), true)
{}

Predicate FilesListDataSource::baseSearchPredicateWithSearch(const QString &search) const
{
    const platform::store::StringOptions cd = StringOption::CaseInsensitive | StringOption::DiacriticInsensitive;
    return Predicate::orOf({Predicate::contains(QStringLiteral("fileNameNormalized"), search),
                            Predicate::contains(QStringLiteral("fileName"), search, cd),
                            Predicate::contains(QStringLiteral("person.normalizedDisplayName"), search)});
}

bool FilesListDataSource::checkForEntities(ManagedObject *object) const
{
    return QDListDataSource::checkForEntities(object) || dynamic_cast<Person *>(object) != nullptr;
}

bool FilesListDataSource::checkForChangedKeys(ManagedObject *object) const
{
    return QDListDataSource::checkForChangedKeys(object) || object->changedKeys().contains(DisplayNameKey);
}

void FilesListDataSource::updateObjectInSource(ManagedObject *object)
{
    auto *person = dynamic_cast<Person *>(object);
    if (!person) {
        if (isListedEntity(object))
            QDListDataSource::updateObjectInSource(object);
        return;
    }
    if (!person->changedKeys().contains(DisplayNameKey))
        return;
    const QString previousName = person->committedValues({DisplayNameKey}).value(DisplayNameKey).toString();
    QList<CommonListDataPtr> headers = headersArray();
    qsizetype found = -1;
    for (qsizetype i = 0; i < headers.size(); ++i)
        if (headers.at(i)->headerTitle() == previousName) {
            found = i;
            break;
        }
    if (found < 0)
        return;
    QString newName = person->displayName();
    if (newName.isNull())
        newName = UnassignedSectionTitle;
    // Sections are keyed by name: when the section also holds files of a namesake, or the new name has a
    // section already, renaming the section in place would move the wrong files or make two sections of
    // one name, so the list is built again instead.
    bool sharedSection = false;
    for (const CommonListDataPtr &row : headers.at(found)->children()) {
        const ManagedObject *owner =
            row->dataObject() ? row->dataObject()->relatedObject(QStringLiteral("person")) : nullptr;
        sharedSection = sharedSection || owner != person;
    }
    bool nameTaken = false;
    for (qsizetype i = 0; i < headers.size(); ++i)
        nameTaken = nameTaken || (i != found && headers.at(i)->headerTitle() == newName);
    if (sharedSection || nameTaken) {
        setupListView();
        return;
    }
    const CommonListDataPtr header = headers.takeAt(found);
    headers.insert(insertionIndexForHeaderTitle(headers, newName), header);
    setHeadersArray(headers);
    header->setHeaderTitle(newName);
    if (delegate())
        delegate()->updatedSourceObjects();
}
