#include "platform/store/PredicateSql.h"

#include "platform/store/Collations.h"

#include <QDateTime>
#include <QLocale>

#include <sqlite3.h>

#include <cmath>
#include <cstring>

// Each construct appears twice below: once as SQL and once as in-memory evaluation. The two are kept side by
// side and share the value rules (stored forms, constant preparation, collations), so that a record matches
// the same predicate whether it is read from the file or held, changed, in memory.

namespace platform::store {

namespace {

// Above this many constants an IN list travels as one JSON array parameter instead of one parameter each, so
// no list meets SQLite's parameter limit.
constexpr qsizetype kJsonListThreshold = 200;

bool isOrdering(Comparison op)
{
    return op == Comparison::Less || op == Comparison::LessOrEqual || op == Comparison::Greater
        || op == Comparison::GreaterOrEqual;
}

bool isTextOperation(Comparison op)
{
    return op == Comparison::Contains || op == Comparison::BeginsWith || op == Comparison::Like;
}

bool isObjectRef(const QVariant &value)
{
    return value.metaType() == QMetaType::fromType<ObjectRef>();
}

SqlCollation comparisonCollation(AttributeType type, Comparison op)
{
    if (type == AttributeType::Decimal)
        return SqlCollation::Decimal;
    if (type == AttributeType::String && isOrdering(op))
        return SqlCollation::Utf16;
    return SqlCollation::Binary;
}

// A predicate constant made ready for one attribute: its stored form, folded when the comparison folds.
struct Constant
{
    enum State { Nil, Value, Unrepresentable } state = Nil;
    QVariant value;
};

Constant prepareConstant(const QVariant &raw, const AttributeDescription &attribute, Comparison op, StringOptions options)
{
    if (isNilConstant(raw))
        return {};
    if (isObjectRef(raw))
        return {Constant::Unrepresentable, {}};
    QVariant stored;
    if (isTextOperation(op)) {
        stored = raw.toString();
        if (stored.toString().isNull())
            return {Constant::Unrepresentable, {}};
    } else {
        bool representable = true;
        stored = toSqlValue(raw, attribute, &representable);
        if (!representable || !stored.isValid())
            return {Constant::Unrepresentable, {}};
    }
    if (attribute.type == AttributeType::String && options && stored.metaType().id() == QMetaType::QString)
        stored = foldString(stored.toString(), options);
    return {Constant::Value, stored};
}

bool compareResult(int c, Comparison op)
{
    switch (op) {
    case Comparison::Equal:
        return c == 0;
    case Comparison::NotEqual:
        return c != 0;
    case Comparison::Less:
        return c < 0;
    case Comparison::LessOrEqual:
        return c <= 0;
    case Comparison::Greater:
        return c > 0;
    case Comparison::GreaterOrEqual:
        return c >= 0;
    default:
        return false;
    }
}

const char *sqlOperator(Comparison op)
{
    switch (op) {
    case Comparison::Equal:
        return "=";
    case Comparison::NotEqual:
        return "IS NOT";
    case Comparison::Less:
        return "<";
    case Comparison::LessOrEqual:
        return "<=";
    case Comparison::Greater:
        return ">";
    case Comparison::GreaterOrEqual:
        return ">=";
    default:
        return nullptr;
    }
}

QString quote(const QString &identifier)
{
    return schema::quoteIdentifier(identifier);
}

QString jsonString(const QString &text)
{
    QString out = QStringLiteral("\"");
    for (QChar c : text) {
        if (c == u'"' || c == u'\\') {
            out += u'\\';
            out += c;
        } else if (c.unicode() < 0x20) {
            out += QStringLiteral("\\u%1").arg(int(c.unicode()), 4, 16, QLatin1Char('0'));
        } else {
            out += c;
        }
    }
    out += u'"';
    return out;
}

// The JSON array of a long IN list, or a null string when a member cannot travel as JSON unchanged.
QString jsonArray(const QVariantList &values)
{
    QStringList parts;
    parts.reserve(values.size());
    for (const QVariant &v : values) {
        switch (v.metaType().id()) {
        case QMetaType::LongLong:
            parts << QString::number(v.toLongLong());
            break;
        case QMetaType::Double: {
            const double d = v.toDouble();
            if (!std::isfinite(d))
                return {};
            QString text = QString::number(d, 'g', 17);
            if (!text.contains(u'.') && !text.contains(u'e'))
                text += QLatin1String(".0"); // keeps the member REAL, as the bound value would be
            parts << text;
            break;
        }
        case QMetaType::QString:
            if (!v.toString().isValidUtf16())
                return {};
            parts << jsonString(v.toString());
            break;
        default:
            return {};
        }
    }
    return QLatin1Char('[') + parts.join(QLatin1Char(',')) + QLatin1Char(']');
}

// ---------------------------------------------------------------------------------------------------------
// SQL

class SqlCompiler
{
public:
    explicit SqlCompiler(const ManagedObjectModel &model) : m_model(model) {}

    // A row of some entity: named by an alias in scope, or by an expression giving its pk.
    struct Row
    {
        const EntityDescription *entity = nullptr;
        QString alias;
        QString pkExpression;
    };

    struct Target
    {
        enum Kind { Self, Attribute, ToOne, ToMany } kind = Self;
        Row row;
        const AttributeDescription *attribute = nullptr;
        const RelationshipDescription *relationship = nullptr;
        const EntityDescription *destination = nullptr;
    };

    QVariantList values;
    QString problem;

    QString fail(const QString &why)
    {
        if (problem.isNull())
            problem = why;
        return QStringLiteral("0");
    }

    QString newAlias() { return QStringLiteral("s%1").arg(++m_aliases); }

    QString param(const QVariant &value)
    {
        values << value;
        return QStringLiteral("?");
    }

    QString column(const Row &row, const QString &name)
    {
        if (!row.alias.isEmpty())
            return row.alias + QLatin1Char('.') + quote(name);
        const QString a = newAlias();
        return QStringLiteral("(SELECT %1.%2 FROM %3 AS %1 WHERE %1.%4 = %5)")
            .arg(a, quote(name), quote(schema::tableName(*row.entity)), quote(QLatin1String(schema::kPrimaryKeyColumn)),
                 row.pkExpression);
    }

    QString primaryKey(const Row &row)
    {
        return row.alias.isEmpty() ? row.pkExpression : row.alias + QLatin1Char('.') + quote(QLatin1String(schema::kPrimaryKeyColumn));
    }

    bool resolve(const Row &start, const QStringList &path, Target &out)
    {
        Row row = start;
        out = Target{};
        if (path.isEmpty()) {
            out.row = row;
            return true;
        }
        for (qsizetype i = 0; i + 1 < path.size(); ++i) {
            const RelationshipDescription *relationship = row.entity->relationship(path[i]);
            if (!relationship || relationship->toMany) {
                fail(QStringLiteral("%1 is not a to-one relationship of %2").arg(path[i], row.entity->name()));
                return false;
            }
            const EntityDescription *destination = m_model.entity(relationship->destinationEntityName);
            if (!destination) {
                fail(QStringLiteral("unknown entity %1").arg(relationship->destinationEntityName));
                return false;
            }
            row = Row{destination, {}, column(row, schema::foreignKeyColumnName(*relationship))};
        }
        const QString &last = path.last();
        out.row = row;
        if (const AttributeDescription *attribute = row.entity->attribute(last)) {
            if (attribute->transient) {
                fail(QStringLiteral("%1.%2 is not stored").arg(row.entity->name(), last));
                return false;
            }
            out.kind = Target::Attribute;
            out.attribute = attribute;
            return true;
        }
        if (const RelationshipDescription *relationship = row.entity->relationship(last)) {
            out.destination = m_model.entity(relationship->destinationEntityName);
            if (!out.destination) {
                fail(QStringLiteral("unknown entity %1").arg(relationship->destinationEntityName));
                return false;
            }
            out.kind = relationship->toMany ? Target::ToMany : Target::ToOne;
            out.relationship = relationship;
            return true;
        }
        fail(QStringLiteral("%1 has no key %2").arg(row.entity->name(), last));
        return false;
    }

    QString compile(const Predicate &predicate, const Row &row)
    {
        const Predicate::Node &node = predicate.node();
        switch (node.kind) {
        case Predicate::Kind::True:
            return QStringLiteral("1");
        case Predicate::Kind::False:
            return QStringLiteral("0");
        case Predicate::Kind::And:
        case Predicate::Kind::Or: {
            const bool isAnd = node.kind == Predicate::Kind::And;
            if (node.children.empty())
                return isAnd ? QStringLiteral("1") : QStringLiteral("0");
            QStringList parts;
            for (const Predicate &child : node.children)
                parts << compile(child, row);
            return QLatin1Char('(') + parts.join(isAnd ? QLatin1String(" AND ") : QLatin1String(" OR ")) + QLatin1Char(')');
        }
        case Predicate::Kind::Not:
            // SQL's NULL (a comparison with a missing value) is false here as in memory, also under NOT.
            return QStringLiteral("NOT COALESCE(%1, 0)").arg(compile(node.children.front(), row));
        case Predicate::Kind::Compare:
            return compileComparison(node, row);
        case Predicate::Kind::Subquery:
            return compileSubquery(node, row);
        }
        return fail(QStringLiteral("unknown predicate"));
    }

    QString compileComparison(const Predicate::Node &node, const Row &row)
    {
        Target target;
        if (!resolve(row, node.keyPath, target))
            return QStringLiteral("0");
        switch (target.kind) {
        case Target::Attribute:
            return compileAttributeComparison(node, target);
        case Target::Self:
        case Target::ToOne:
            return compileObjectComparison(node, target);
        case Target::ToMany:
            break;
        }
        return fail(QStringLiteral("%1 is a to-many relationship; compare its members with any or count")
                        .arg(node.keyPath.join(QLatin1Char('.'))));
    }

    QString compileAttributeComparison(const Predicate::Node &node, const Target &target)
    {
        const AttributeDescription &attribute = *target.attribute;
        const QString value = column(target.row, schema::columnName(attribute));
        const bool folds = attribute.type == AttributeType::String && node.options;
        const QString folded = folds ? QStringLiteral("%1(%2, %3)").arg(QLatin1String(kFoldFunction), value).arg(node.options.toInt()) : value;

        if (node.op == Comparison::In) {
            QVariantList members;
            for (const QVariant &member : node.value.toList()) {
                const Constant c = prepareConstant(member, attribute, Comparison::Equal, node.options);
                if (c.state == Constant::Value)
                    members << c.value;
            }
            if (members.isEmpty())
                return QStringLiteral("0");
            const QString left = attribute.type == AttributeType::Decimal
                ? QStringLiteral("%1 COLLATE \"%2\"").arg(folded, QLatin1String(kDecimalCollation))
                : folded;
            if (members.size() > kJsonListThreshold) {
                const QString json = jsonArray(members);
                if (!json.isNull())
                    return QStringLiteral("%1 IN (SELECT value FROM json_each(%2))").arg(left, param(json));
            }
            QStringList marks;
            for (const QVariant &member : members)
                marks << param(member);
            return QStringLiteral("%1 IN (%2)").arg(left, marks.join(QLatin1String(", ")));
        }

        if (isTextOperation(node.op) && attribute.type != AttributeType::String)
            return fail(QStringLiteral("%1 is not a text").arg(attribute.name));
        if (!isTextOperation(node.op) && !sqlOperator(node.op))
            return fail(QStringLiteral("unsupported comparison on %1").arg(attribute.name));

        const Constant c = prepareConstant(node.value, attribute, node.op, node.options);
        if (c.state == Constant::Nil) {
            if (node.op == Comparison::Equal)
                return value + QLatin1String(" IS NULL");
            if (node.op == Comparison::NotEqual)
                return value + QLatin1String(" IS NOT NULL");
            return QStringLiteral("0");
        }
        if (c.state == Constant::Unrepresentable)
            return node.op == Comparison::NotEqual ? QStringLiteral("1") : QStringLiteral("0");

        switch (node.op) {
        case Comparison::Contains:
            return QStringLiteral("instr(%1, %2) > 0").arg(folded, param(c.value));
        case Comparison::BeginsWith:
            return QStringLiteral("instr(%1, %2) = 1").arg(folded, param(c.value));
        case Comparison::Like:
            return QStringLiteral("%1(%2, %3)").arg(QLatin1String(kLikeFunction), folded, param(c.value));
        default:
            break;
        }
        QString left = folded;
        if (const char *collation = sqlCollationName(comparisonCollation(attribute.type, node.op)))
            left = QStringLiteral("%1 COLLATE \"%2\"").arg(left, QLatin1String(collation));
        return QStringLiteral("%1 %2 %3").arg(left, QLatin1String(sqlOperator(node.op)), param(c.value));
    }

    QString compileObjectComparison(const Predicate::Node &node, const Target &target)
    {
        const bool self = target.kind == Target::Self;
        const EntityDescription *entity = self ? target.row.entity : target.destination;
        const QString value = self ? primaryKey(target.row) : column(target.row, schema::foreignKeyColumnName(*target.relationship));

        if (node.op == Comparison::In) {
            QStringList keys;
            for (const QVariant &member : node.value.toList()) {
                if (!isObjectRef(member))
                    continue;
                const ObjectRef ref = member.value<ObjectRef>();
                if (ref.pk && ref.entityName == entity->name())
                    keys << QString::number(*ref.pk);
            }
            if (keys.isEmpty())
                return QStringLiteral("0");
            return QStringLiteral("%1 IN (%2)").arg(value, keys.join(QLatin1String(", ")));
        }
        if (node.op != Comparison::Equal && node.op != Comparison::NotEqual)
            return fail(QStringLiteral("objects compare only with ==, != and IN (%1)").arg(node.keyPath.join(QLatin1Char('.'))));
        const bool equal = node.op == Comparison::Equal;
        if (isNilConstant(node.value)) {
            if (self)
                return equal ? QStringLiteral("0") : QStringLiteral("1");
            return value + (equal ? QLatin1String(" IS NULL") : QLatin1String(" IS NOT NULL"));
        }
        if (!isObjectRef(node.value))
            return fail(QStringLiteral("%1 compares with an object reference").arg(node.keyPath.isEmpty() ? QStringLiteral("self") : node.keyPath.join(QLatin1Char('.'))));
        const ObjectRef ref = node.value.value<ObjectRef>();
        // A record on file can only refer to saved objects of the relationship's entity.
        if (!ref.pk || ref.entityName != entity->name())
            return equal ? QStringLiteral("0") : QStringLiteral("1");
        return QStringLiteral("%1 %2 %3").arg(value, equal ? QLatin1String("=") : QLatin1String("IS NOT"), param(qint64(*ref.pk)));
    }

    QString compileSubquery(const Predicate::Node &node, const Row &row)
    {
        Target target;
        if (node.keyPath.isEmpty())
            return fail(QStringLiteral("a subquery needs a relationship"));
        if (!resolve(row, node.keyPath, target))
            return QStringLiteral("0");
        if (target.kind != Target::ToMany && target.kind != Target::ToOne)
            return fail(QStringLiteral("%1 is not a relationship").arg(node.keyPath.join(QLatin1Char('.'))));
        if (!sqlOperator(node.op))
            return fail(QStringLiteral("unsupported count comparison"));

        const RelationshipDescription &relationship = *target.relationship;
        const EntityDescription &destination = *target.destination;
        const QString member = newAlias();
        const QString pk = quote(QLatin1String(schema::kPrimaryKeyColumn));
        QString from, link;
        if (target.kind == Target::ToOne) {
            from = QStringLiteral("%1 AS %2").arg(quote(schema::tableName(destination)), member);
            link = QStringLiteral("%1.%2 = %3").arg(member, pk, column(target.row, schema::foreignKeyColumnName(relationship)));
        } else {
            const RelationshipDescription *inverse = relationship.inverseName.isEmpty() ? nullptr : destination.relationship(relationship.inverseName);
            if (!schema::usesJoinTable(relationship, inverse)) {
                from = QStringLiteral("%1 AS %2").arg(quote(schema::tableName(destination)), member);
                link = QStringLiteral("%1.%2 = %3").arg(member, quote(schema::foreignKeyColumnName(*inverse)), primaryKey(target.row));
            } else {
                const EntityDescription &owner = *target.row.entity;
                const QString join = newAlias();
                from = QStringLiteral("%1 AS %2 JOIN %3 AS %4 ON %4.%5 = %2.%6")
                           .arg(quote(schema::joinTableName(relationship, owner)), join, quote(schema::tableName(destination)), member, pk,
                                quote(schema::joinDestinationColumn(relationship, owner)));
                link = QStringLiteral("%1.%2 = %3").arg(join, quote(schema::joinSourceColumn(relationship, owner)), primaryKey(target.row));
            }
        }
        const Predicate &condition = node.children.front();
        QString where = link;
        if (condition.kind() != Predicate::Kind::True)
            where += QLatin1String(" AND ") + compile(condition, Row{&destination, member, {}});

        const qint64 n = node.value.toLongLong();
        const Comparison op = node.op;
        if ((op == Comparison::Greater && n == 0) || (op == Comparison::NotEqual && n == 0) || (op == Comparison::GreaterOrEqual && n == 1))
            return QStringLiteral("EXISTS (SELECT 1 FROM %1 WHERE %2)").arg(from, where);
        if ((op == Comparison::Equal && n == 0) || (op == Comparison::Less && n == 1) || (op == Comparison::LessOrEqual && n == 0))
            return QStringLiteral("NOT EXISTS (SELECT 1 FROM %1 WHERE %2)").arg(from, where);
        return QStringLiteral("(SELECT COUNT(*) FROM %1 WHERE %2) %3 %4")
            .arg(from, where, QLatin1String(op == Comparison::NotEqual ? "!=" : sqlOperator(op)))
            .arg(n);
    }

private:
    const ManagedObjectModel &m_model;
    int m_aliases = 0;
};

SqlCompiler::Row rootRow(const EntityDescription &entity, const QString &rootAlias)
{
    return SqlCompiler::Row{&entity, rootAlias.isEmpty() ? quote(schema::tableName(entity)) : rootAlias, {}};
}

// ---------------------------------------------------------------------------------------------------------
// In memory

bool evaluateNode(const Predicate &predicate, const PredicateSubject &subject);

bool evaluateAttribute(const Predicate::Node &node, const PredicateSubject *holder, const AttributeDescription *attribute)
{
    // The attribute's value in stored form; NULL when the object on the way is missing.
    QVariant value;
    if (holder && attribute)
        value = toSqlValue(holder->subjectValue(attribute->name), *attribute);
    if (attribute && isTextOperation(node.op) && attribute->type != AttributeType::String)
        return false;

    if (node.op == Comparison::In) {
        if (!value.isValid() || !attribute)
            return false;
        if (attribute->type == AttributeType::String && node.options)
            value = foldString(value.toString(), node.options);
        const SqlCollation collation = comparisonCollation(attribute->type, Comparison::Equal);
        for (const QVariant &member : node.value.toList()) {
            const Constant c = prepareConstant(member, *attribute, Comparison::Equal, node.options);
            if (c.state == Constant::Value && compareSqlValues(value, c.value, collation) == 0)
                return true;
        }
        return false;
    }

    if (!value.isValid()) {
        const bool nilConstant = isNilConstant(node.value);
        if (node.op == Comparison::Equal)
            return nilConstant;
        if (node.op == Comparison::NotEqual)
            return !nilConstant;
        return false;
    }
    const Constant c = prepareConstant(node.value, *attribute, node.op, node.options);
    if (c.state != Constant::Value)
        return node.op == Comparison::NotEqual;
    if (attribute->type == AttributeType::String && node.options)
        value = foldString(value.toString(), node.options);

    switch (node.op) {
    case Comparison::Contains:
        return value.toString().contains(c.value.toString());
    case Comparison::BeginsWith:
        return value.toString().startsWith(c.value.toString());
    case Comparison::Like:
        return likeMatch(value.toString(), c.value.toString());
    default:
        break;
    }
    if (!sqlOperator(node.op))
        return false;
    return compareResult(compareSqlValues(value, c.value, comparisonCollation(attribute->type, node.op)), node.op);
}

bool evaluateObject(const Predicate::Node &node, bool self, bool present, const ObjectRef &identity)
{
    if (node.op == Comparison::In) {
        if (!present)
            return false;
        for (const QVariant &member : node.value.toList()) {
            if (isObjectRef(member) && sameObject(identity, member.value<ObjectRef>()))
                return true;
        }
        return false;
    }
    if (node.op != Comparison::Equal && node.op != Comparison::NotEqual)
        return false;
    const bool equal = node.op == Comparison::Equal;
    bool same = false;
    if (isNilConstant(node.value))
        same = !self && !present;
    else if (isObjectRef(node.value))
        same = present && sameObject(identity, node.value.value<ObjectRef>());
    else
        return false;
    return equal ? same : !same;
}

bool evaluateComparison(const Predicate::Node &node, const PredicateSubject &subject)
{
    if (node.keyPath.isEmpty())
        return evaluateObject(node, true, true, subject.identity());
    bool valid = true;
    const PredicateSubject *holder = walkToOneSteps(subject, node.keyPath, &valid);
    if (!valid)
        return false;
    const QString &last = node.keyPath.last();
    if (!holder) {
        // A missing object on the way: the value is null, whatever the key names.
        if (isObjectRef(node.value) || (node.op == Comparison::In))
            return evaluateObject(node, false, false, {});
        return evaluateAttribute(node, nullptr, nullptr);
    }
    const EntityDescription *entity = holder->entity();
    if (!entity)
        return false;
    if (const AttributeDescription *attribute = entity->attribute(last))
        return !attribute->transient && evaluateAttribute(node, holder, attribute);
    if (const RelationshipDescription *relationship = entity->relationship(last)) {
        if (relationship->toMany)
            return false;
        const auto related = holder->relatedSubjects(last);
        return evaluateObject(node, false, !related.empty(), related.empty() ? ObjectRef{} : related.front()->identity());
    }
    return false;
}

bool evaluateSubquery(const Predicate::Node &node, const PredicateSubject &subject)
{
    if (node.keyPath.isEmpty() || !sqlOperator(node.op))
        return false;
    bool valid = true;
    const PredicateSubject *holder = walkToOneSteps(subject, node.keyPath, &valid);
    if (!valid)
        return false;
    qint64 matches = 0;
    if (holder) {
        const EntityDescription *entity = holder->entity();
        if (!entity || !entity->relationship(node.keyPath.last()))
            return false;
        const Predicate &condition = node.children.front();
        for (const PredicateSubject *member : holder->relatedSubjects(node.keyPath.last())) {
            if (member && evaluateNode(condition, *member))
                ++matches;
        }
    }
    return compareResult(matches < node.value.toLongLong() ? -1 : (matches > node.value.toLongLong() ? 1 : 0), node.op);
}

bool evaluateNode(const Predicate &predicate, const PredicateSubject &subject)
{
    const Predicate::Node &node = predicate.node();
    switch (node.kind) {
    case Predicate::Kind::True:
        return true;
    case Predicate::Kind::False:
        return false;
    case Predicate::Kind::And:
        for (const Predicate &child : node.children) {
            if (!evaluateNode(child, subject))
                return false;
        }
        return true;
    case Predicate::Kind::Or:
        for (const Predicate &child : node.children) {
            if (evaluateNode(child, subject))
                return true;
        }
        return false;
    case Predicate::Kind::Not:
        return !evaluateNode(node.children.front(), subject);
    case Predicate::Kind::Compare:
        return evaluateComparison(node, subject);
    case Predicate::Kind::Subquery:
        return evaluateSubquery(node, subject);
    }
    return false;
}

bool isIntegral(const QVariant &v)
{
    switch (v.metaType().id()) {
    case QMetaType::Bool:
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Short:
    case QMetaType::UShort:
    case QMetaType::Char:
    case QMetaType::SChar:
    case QMetaType::UChar:
    case QMetaType::Long:
    case QMetaType::ULong:
        return true;
    default:
        return false;
    }
}

bool isFloating(const QVariant &v)
{
    return v.metaType().id() == QMetaType::Double || v.metaType().id() == QMetaType::Float;
}

int typeRank(const QVariant &v)
{
    if (!v.isValid())
        return 0;
    if (isIntegral(v) || isFloating(v))
        return 1;
    if (v.metaType().id() == QMetaType::QByteArray)
        return 3;
    return 2;
}

// An integer-valued double within qint64 stays an integer, as SQLite's INTEGER affinity keeps it.
QVariant numberFromDouble(double d, bool *representable)
{
    if (std::isnan(d)) {
        *representable = false;
        return {};
    }
    if (std::floor(d) == d && d >= -9.2e18 && d <= 9.2e18)
        return qint64(d);
    return d;
}

} // namespace

// ---------------------------------------------------------------------------------------------------------
// Public entry points

SqlPredicate compileToSql(const Predicate &predicate, const EntityDescription &entity, const ManagedObjectModel &model,
                          const QString &rootAlias)
{
    SqlCompiler compiler(model);
    SqlPredicate result;
    result.where = compiler.compile(predicate, rootRow(entity, rootAlias));
    result.values = compiler.values;
    result.problem = compiler.problem;
    return result;
}

SqlKeyPath compileKeyPathToSql(const QString &keyPath, const EntityDescription &entity, const ManagedObjectModel &model,
                               const QString &rootAlias)
{
    SqlCompiler compiler(model);
    SqlCompiler::Target target;
    SqlKeyPath result;
    if (compiler.resolve(rootRow(entity, rootAlias), splitAttributeKeyPath(keyPath), target)) {
        if (target.kind == SqlCompiler::Target::Attribute) {
            result.attribute = target.attribute;
            result.expression = compiler.column(target.row, schema::columnName(*target.attribute));
        } else {
            compiler.fail(QStringLiteral("%1 does not name an attribute of %2").arg(keyPath, entity.name()));
        }
    }
    result.problem = compiler.problem;
    return result;
}

const PredicateSubject *walkToOneSteps(const PredicateSubject &start, const QStringList &path, bool *valid)
{
    const PredicateSubject *current = &start;
    for (qsizetype i = 0; i + 1 < path.size() && current; ++i) {
        const EntityDescription *entity = current->entity();
        const RelationshipDescription *relationship = entity ? entity->relationship(path[i]) : nullptr;
        if (!relationship || relationship->toMany) {
            *valid = false;
            return nullptr;
        }
        const auto related = current->relatedSubjects(path[i]);
        current = related.empty() ? nullptr : related.front();
    }
    return current;
}

QStringList splitAttributeKeyPath(const QString &keyPath)
{
    QStringList path = keyPath.split(QLatin1Char('.'));
    if (path.size() > 1 && path.first().compare(QLatin1String("self"), Qt::CaseInsensitive) == 0)
        path.removeFirst();
    return path;
}

const char *sqlCollationName(SqlCollation collation)
{
    switch (collation) {
    case SqlCollation::Utf16:
        return kUtf16Collation;
    case SqlCollation::Decimal:
        return kDecimalCollation;
    case SqlCollation::LocalizedNoCase:
        return kLocalizedNoCaseCollation;
    case SqlCollation::CaseFold:
        return kCaseFoldCollation;
    case SqlCollation::Binary:
        break;
    }
    return nullptr;
}

bool evaluate(const Predicate &predicate, const PredicateSubject &subject)
{
    return evaluateNode(predicate, subject);
}

bool Predicate::evaluate(const PredicateSubject &subject) const
{
    return evaluateNode(*this, subject);
}

bool isNilConstant(const QVariant &value)
{
    if (!value.isValid() || value.isNull())
        return true;
    switch (value.metaType().id()) {
    case QMetaType::QString:
        return value.toString().isNull();
    case QMetaType::QByteArray:
        return value.toByteArray().isNull();
    case QMetaType::QDateTime:
        return !value.toDateTime().isValid();
    default:
        break;
    }
    if (isObjectRef(value))
        return value.value<ObjectRef>().isNull();
    return false;
}

QVariant toSqlValue(const QVariant &value, const AttributeDescription &attribute, bool *representable)
{
    if (attribute.type != AttributeType::Transformable)
        return toSqlValue(value, attribute.type, representable);
    bool ignored = true;
    bool &ok = representable ? *representable : ignored;
    ok = true;
    if (isNilConstant(value))
        return {};
    const auto transformer = ValueTransformer::valueTransformer(attribute.valueTransformerName);
    if (!transformer) {
        ok = false;
        return {};
    }
    const QByteArray bytes = transformer->transformedValue(value);
    return bytes.isNull() ? QVariant() : QVariant(bytes);
}

QVariant toSqlValue(const QVariant &value, AttributeType type, bool *representable)
{
    bool ignored = true;
    bool &ok = representable ? *representable : ignored;
    ok = true;
    if (!value.isValid() || value.isNull())
        return {};
    if (isObjectRef(value)) {
        ok = false;
        return {};
    }
    const int id = value.metaType().id();
    switch (type) {
    case AttributeType::String: {
        const QString text = value.toString();
        if (text.isNull() && id != QMetaType::QString)
            ok = false;
        return text.isNull() ? QVariant() : QVariant(text);
    }
    case AttributeType::Integer16:
    case AttributeType::Integer32:
    case AttributeType::Integer64:
    case AttributeType::Boolean:
        if (id == QMetaType::Bool)
            return qint64(value.toBool() ? 1 : 0);
        if (isIntegral(value))
            return value.toLongLong();
        if (isFloating(value))
            return numberFromDouble(value.toDouble(), &ok);
        if (id == QMetaType::QString) {
            const QString text = value.toString().trimmed();
            bool parsed = false;
            const qint64 n = text.toLongLong(&parsed);
            if (parsed)
                return n;
            const double d = text.toDouble(&parsed);
            if (parsed)
                return numberFromDouble(d, &ok);
        }
        ok = false;
        return {};
    case AttributeType::Double: {
        bool parsed = false;
        const double d = id == QMetaType::Bool ? (value.toBool() ? 1.0 : 0.0) : value.toDouble(&parsed);
        if ((id != QMetaType::Bool && !parsed) || std::isnan(d)) {
            ok = false;
            return {};
        }
        return d;
    }
    case AttributeType::Decimal: {
        QString text;
        if (id == QMetaType::QString) {
            text = value.toString();
        } else if (isIntegral(value)) {
            text = id == QMetaType::Bool ? QString::number(value.toBool() ? 1 : 0) : QString::number(value.toLongLong());
        } else if (isFloating(value)) {
            const double d = value.toDouble();
            if (!std::isfinite(d)) {
                ok = false;
                return {};
            }
            text = QString::number(d, 'g', QLocale::FloatingPointShortest);
        } else {
            text = value.toString();
        }
        // A text that reads as no number is kept as the store keeps it (it sorts after all numbers), but as a
        // constant it matches nothing.
        if (!isDecimalText(text))
            ok = false;
        return text.isNull() ? QVariant() : QVariant(text);
    }
    case AttributeType::Date:
        if (id == QMetaType::QDateTime) {
            const QDateTime when = value.toDateTime();
            return when.isValid() ? QVariant(double(when.toMSecsSinceEpoch()) / 1000.0) : QVariant();
        }
        if (id == QMetaType::QDate) {
            const QDate day = value.toDate();
            return day.isValid() ? QVariant(double(day.startOfDay(Qt::UTC).toMSecsSinceEpoch()) / 1000.0) : QVariant();
        }
        if (isIntegral(value) || isFloating(value)) {
            const double d = value.toDouble();
            if (std::isnan(d)) {
                ok = false;
                return {};
            }
            return d;
        }
        ok = false;
        return {};
    case AttributeType::Binary:
    case AttributeType::Transformable:
        if (id == QMetaType::QByteArray) {
            const QByteArray bytes = value.toByteArray();
            return bytes.isNull() ? QVariant() : QVariant(bytes);
        }
        ok = false;
        return {};
    }
    ok = false;
    return {};
}

int bindSqlValue(sqlite3_stmt *statement, int index, const QVariant &value)
{
    if (!value.isValid() || value.isNull())
        return sqlite3_bind_null(statement, index);
    switch (value.metaType().id()) {
    case QMetaType::Double:
    case QMetaType::Float:
        return sqlite3_bind_double(statement, index, value.toDouble());
    case QMetaType::QString: {
        const QByteArray text = toSqliteText(value.toString());
        return sqlite3_bind_text(statement, index, text.constData(), int(text.size()), SQLITE_TRANSIENT);
    }
    case QMetaType::QByteArray: {
        const QByteArray bytes = value.toByteArray();
        if (bytes.isEmpty())
            return sqlite3_bind_zeroblob(statement, index, 0);
        return sqlite3_bind_blob(statement, index, bytes.constData(), int(bytes.size()), SQLITE_TRANSIENT);
    }
    case QMetaType::Bool:
        return sqlite3_bind_int64(statement, index, value.toBool() ? 1 : 0);
    default:
        break;
    }
    if (isIntegral(value))
        return sqlite3_bind_int64(statement, index, value.toLongLong());
    const QByteArray text = toSqliteText(value.toString());
    return sqlite3_bind_text(statement, index, text.constData(), int(text.size()), SQLITE_TRANSIENT);
}

QVariant readSqlValue(sqlite3_stmt *statement, int column)
{
    switch (sqlite3_column_type(statement, column)) {
    case SQLITE_INTEGER:
        return qint64(sqlite3_column_int64(statement, column));
    case SQLITE_FLOAT:
        return sqlite3_column_double(statement, column);
    case SQLITE_TEXT:
        return fromSqliteText(reinterpret_cast<const char *>(sqlite3_column_text(statement, column)),
                              sqlite3_column_bytes(statement, column));
    case SQLITE_BLOB: {
        const auto *data = static_cast<const char *>(sqlite3_column_blob(statement, column));
        const QByteArray bytes(data ? data : "", sqlite3_column_bytes(statement, column));
        return bytes;
    }
    default:
        return {};
    }
}

int compareSqlValues(const QVariant &a, const QVariant &b, SqlCollation collation)
{
    const int ra = typeRank(a), rb = typeRank(b);
    if (ra != rb)
        return ra < rb ? -1 : 1;
    switch (ra) {
    case 0:
        return 0;
    case 1: {
        if (isIntegral(a) && isIntegral(b)) {
            const qint64 x = a.toLongLong(), y = b.toLongLong();
            return x < y ? -1 : (x > y ? 1 : 0);
        }
        // long double holds every qint64 exactly, so mixed comparisons are exact as in SQLite.
        const long double x = isIntegral(a) ? (long double)a.toLongLong() : (long double)a.toDouble();
        const long double y = isIntegral(b) ? (long double)b.toLongLong() : (long double)b.toDouble();
        return x < y ? -1 : (x > y ? 1 : 0);
    }
    case 2: {
        const QString x = a.toString(), y = b.toString();
        switch (collation) {
        case SqlCollation::Binary:
            return compareCodePoints(x, y);
        case SqlCollation::Utf16:
            return compareUtf16(x, y);
        case SqlCollation::Decimal:
            return compareDecimalText(x, y);
        case SqlCollation::LocalizedNoCase:
            return compareLocalizedNoCase(x, y);
        case SqlCollation::CaseFold:
            return compareCaseFolded(x, y);
        }
        return 0;
    }
    default: {
        const QByteArray x = a.toByteArray(), y = b.toByteArray();
        const int c = std::memcmp(x.constData(), y.constData(), size_t(std::min(x.size(), y.size())));
        if (c != 0)
            return c < 0 ? -1 : 1;
        return x.size() < y.size() ? -1 : (x.size() > y.size() ? 1 : 0);
    }
    }
}

} // namespace platform::store
