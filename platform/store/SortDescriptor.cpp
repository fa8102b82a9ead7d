#include "platform/store/SortDescriptor.h"

#include "platform/store/PredicateSql.h"

#include <algorithm>

namespace platform::store {

namespace {

SqlCollation collationFor(SortDescriptor::Comparator comparator, AttributeType type)
{
    if (type == AttributeType::Decimal)
        return SqlCollation::Decimal;
    if (type != AttributeType::String)
        return SqlCollation::Binary;
    switch (comparator) {
    case SortDescriptor::Comparator::Default:
        return SqlCollation::Utf16;
    case SortDescriptor::Comparator::LocalizedCaseInsensitive:
        return SqlCollation::LocalizedNoCase;
    case SortDescriptor::Comparator::CaseInsensitive:
        return SqlCollation::CaseFold;
    }
    return SqlCollation::Utf16;
}

// The key path's value in stored form (NULL when an object on the way is missing), and its attribute.
QVariant storedValue(const PredicateSubject &subject, const QStringList &path, const AttributeDescription **attribute)
{
    *attribute = nullptr;
    bool valid = true;
    const PredicateSubject *current = walkToOneSteps(subject, path, &valid);
    if (!current)
        return {};
    const EntityDescription *entity = current->entity();
    const AttributeDescription *found = entity ? entity->attribute(path.last()) : nullptr;
    if (!found)
        return {};
    *attribute = found;
    return toSqlValue(current->subjectValue(found->name), *found);
}

} // namespace

int SortDescriptor::compare(const PredicateSubject &a, const PredicateSubject &b) const
{
    const QStringList path = splitAttributeKeyPath(m_keyPath);
    const AttributeDescription *attributeA = nullptr;
    const AttributeDescription *attributeB = nullptr;
    const QVariant va = storedValue(a, path, &attributeA);
    const QVariant vb = storedValue(b, path, &attributeB);
    const AttributeDescription *attribute = attributeA ? attributeA : attributeB;
    const SqlCollation collation = collationFor(m_comparator, attribute ? attribute->type : AttributeType::String);
    const int c = compareSqlValues(va, vb, collation);
    return m_ascending ? c : -c;
}

SqlOrderBy compileSortToSql(const std::vector<SortDescriptor> &descriptors, const EntityDescription &entity,
                            const ManagedObjectModel &model, const QString &rootAlias)
{
    SqlOrderBy result;
    QStringList terms;
    for (const SortDescriptor &descriptor : descriptors) {
        const SqlKeyPath key = compileKeyPathToSql(descriptor.keyPath(), entity, model, rootAlias);
        if (!key.ok()) {
            result.problem = key.problem;
            return result;
        }
        QString term = key.expression;
        if (const char *collation = sqlCollationName(collationFor(descriptor.comparator(), key.attribute->type)))
            term += QStringLiteral(" COLLATE \"%1\"").arg(QLatin1String(collation));
        term += descriptor.ascending() ? QLatin1String(" ASC") : QLatin1String(" DESC");
        terms << term;
    }
    result.orderBy = terms.join(QLatin1String(", "));
    return result;
}

int compareSubjects(const std::vector<SortDescriptor> &descriptors, const PredicateSubject &a, const PredicateSubject &b)
{
    for (const SortDescriptor &descriptor : descriptors) {
        if (const int c = descriptor.compare(a, b))
            return c;
    }
    return 0;
}

void sortSubjects(std::vector<const PredicateSubject *> &subjects, const std::vector<SortDescriptor> &descriptors)
{
    if (descriptors.empty())
        return;
    std::stable_sort(subjects.begin(), subjects.end(), [&](const PredicateSubject *a, const PredicateSubject *b) {
        return compareSubjects(descriptors, *a, *b) < 0;
    });
}

} // namespace platform::store
