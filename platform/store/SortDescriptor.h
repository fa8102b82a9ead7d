#pragma once

#include "platform/store/Model.h"
#include "platform/store/Predicate.h"
#include "platform/store/Schema.h"

#include <QString>

#include <vector>

namespace platform::store {

// One key of an order: an attribute key path (to-one chains allowed, "person.displayName"), a direction and
// how texts compare. Nil sorts before every value ascending and after every value descending, in SQL and in
// memory alike.
class SortDescriptor
{
public:
    enum class Comparator {
        Default,                  // numbers by value, texts in UTF-16 code-unit order, decimals by value
        LocalizedCaseInsensitive, // texts by the user's locale, ignoring case (collation LOCALIZED_NOCASE)
        CaseInsensitive,          // texts case folded, then in code-unit order (collation CASEFOLD)
    };

    SortDescriptor(QString keyPath, bool ascending = true, Comparator comparator = Comparator::Default)
        : m_keyPath(std::move(keyPath)), m_ascending(ascending), m_comparator(comparator)
    {
    }

    const QString &keyPath() const { return m_keyPath; }
    bool ascending() const { return m_ascending; }
    Comparator comparator() const { return m_comparator; }

    // Negative, zero or positive as a sorts before, with or after b under this key alone.
    int compare(const PredicateSubject &a, const PredicateSubject &b) const;

    bool operator==(const SortDescriptor &other) const
    {
        return m_keyPath == other.m_keyPath && m_ascending == other.m_ascending && m_comparator == other.m_comparator;
    }

private:
    QString m_keyPath;
    bool m_ascending = true;
    Comparator m_comparator = Comparator::Default;
};

// An order as the text after ORDER BY (empty for no descriptors). Objects that tie on every key come in no
// defined order; a caller that needs one stable order appends its own last key (the pk).
struct SqlOrderBy
{
    QString orderBy;
    QString problem;
    bool ok() const { return problem.isNull(); }
};

SqlOrderBy compileSortToSql(const std::vector<SortDescriptor> &descriptors, const EntityDescription &entity,
                            const ManagedObjectModel &model, const QString &rootAlias = QString::fromLatin1(schema::kRootAlias));

// The same order in memory: the first descriptor that tells a and b apart decides.
int compareSubjects(const std::vector<SortDescriptor> &descriptors, const PredicateSubject &a, const PredicateSubject &b);
// Stable: objects that tie keep their order.
void sortSubjects(std::vector<const PredicateSubject *> &subjects, const std::vector<SortDescriptor> &descriptors);

} // namespace platform::store
