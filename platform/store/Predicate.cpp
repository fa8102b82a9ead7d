#include "platform/store/Predicate.h"

#include <QDateTime>

namespace platform::store {

namespace {

QStringList splitKeyPath(const QString &keyPath)
{
    QStringList path = keyPath.split(QLatin1Char('.'));
    if (!path.isEmpty() && path.first().compare(QLatin1String("self"), Qt::CaseInsensitive) == 0)
        path.removeFirst();
    return path;
}

QString operatorText(Comparison op)
{
    switch (op) {
    case Comparison::Equal:
        return QStringLiteral("==");
    case Comparison::NotEqual:
        return QStringLiteral("!=");
    case Comparison::Less:
        return QStringLiteral("<");
    case Comparison::LessOrEqual:
        return QStringLiteral("<=");
    case Comparison::Greater:
        return QStringLiteral(">");
    case Comparison::GreaterOrEqual:
        return QStringLiteral(">=");
    case Comparison::Contains:
        return QStringLiteral("CONTAINS");
    case Comparison::BeginsWith:
        return QStringLiteral("BEGINSWITH");
    case Comparison::Like:
        return QStringLiteral("LIKE");
    case Comparison::In:
        return QStringLiteral("IN");
    }
    return {};
}

QString constantText(const QVariant &value)
{
    if (!value.isValid())
        return QStringLiteral("nil");
    if (value.metaType() == QMetaType::fromType<ObjectRef>()) {
        const ObjectRef ref = value.value<ObjectRef>();
        if (ref.isNull())
            return QStringLiteral("nil");
        return ref.pk ? QStringLiteral("<%1 p%2>").arg(ref.entityName).arg(*ref.pk)
                      : QStringLiteral("<%1 %2>").arg(ref.entityName).arg(quintptr(ref.object), 0, 16);
    }
    switch (value.metaType().id()) {
    case QMetaType::QString:
        return value.toString().isNull() ? QStringLiteral("nil") : QLatin1Char('"') + value.toString() + QLatin1Char('"');
    case QMetaType::Bool:
        return value.toBool() ? QStringLiteral("YES") : QStringLiteral("NO");
    case QMetaType::QDateTime:
        return value.toDateTime().toString(Qt::ISODateWithMs);
    case QMetaType::QVariantList: {
        QStringList parts;
        for (const QVariant &member : value.toList())
            parts << constantText(member);
        return QLatin1Char('{') + parts.join(QLatin1String(", ")) + QLatin1Char('}');
    }
    default:
        return value.toString();
    }
}

} // namespace

Predicate::Predicate() : m_node(truePredicate().m_node) {}

Predicate Predicate::make(Node node)
{
    return Predicate(std::make_shared<const Node>(std::move(node)));
}

Predicate Predicate::truePredicate()
{
    static const std::shared_ptr<const Node> node = std::make_shared<const Node>(Node{});
    return Predicate(node);
}

Predicate Predicate::falsePredicate()
{
    Node node;
    node.kind = Kind::False;
    return make(std::move(node));
}

Predicate Predicate::compare(const QString &keyPath, Comparison op, const QVariant &value, StringOptions options)
{
    Node node;
    node.kind = Kind::Compare;
    node.keyPath = splitKeyPath(keyPath);
    node.op = op;
    node.value = value;
    node.options = options;
    return make(std::move(node));
}

Predicate Predicate::equal(const QString &keyPath, const QVariant &value, StringOptions options)
{
    return compare(keyPath, Comparison::Equal, value, options);
}

Predicate Predicate::notEqual(const QString &keyPath, const QVariant &value, StringOptions options)
{
    return compare(keyPath, Comparison::NotEqual, value, options);
}

Predicate Predicate::equal(const QString &keyPath, const ObjectRef &object)
{
    return compare(keyPath, Comparison::Equal, object.toVariant());
}

Predicate Predicate::notEqual(const QString &keyPath, const ObjectRef &object)
{
    return compare(keyPath, Comparison::NotEqual, object.toVariant());
}

Predicate Predicate::less(const QString &keyPath, const QVariant &value, StringOptions options)
{
    return compare(keyPath, Comparison::Less, value, options);
}

Predicate Predicate::lessOrEqual(const QString &keyPath, const QVariant &value, StringOptions options)
{
    return compare(keyPath, Comparison::LessOrEqual, value, options);
}

Predicate Predicate::greater(const QString &keyPath, const QVariant &value, StringOptions options)
{
    return compare(keyPath, Comparison::Greater, value, options);
}

Predicate Predicate::greaterOrEqual(const QString &keyPath, const QVariant &value, StringOptions options)
{
    return compare(keyPath, Comparison::GreaterOrEqual, value, options);
}

Predicate Predicate::isNil(const QString &keyPath)
{
    return compare(keyPath, Comparison::Equal, QVariant());
}

Predicate Predicate::isNotNil(const QString &keyPath)
{
    return compare(keyPath, Comparison::NotEqual, QVariant());
}

Predicate Predicate::isFalseOrNil(const QString &keyPath)
{
    return orOf({equal(keyPath, false), isNil(keyPath)});
}

Predicate Predicate::contains(const QString &keyPath, const QString &text, StringOptions options)
{
    return compare(keyPath, Comparison::Contains, text, options);
}

Predicate Predicate::beginsWith(const QString &keyPath, const QString &text, StringOptions options)
{
    return compare(keyPath, Comparison::BeginsWith, text, options);
}

Predicate Predicate::like(const QString &keyPath, const QString &pattern, StringOptions options)
{
    return compare(keyPath, Comparison::Like, pattern, options);
}

Predicate Predicate::in(const QString &keyPath, const QVariantList &values, StringOptions options)
{
    return compare(keyPath, Comparison::In, QVariant(values), options);
}

Predicate Predicate::in(const QString &keyPath, const std::vector<ObjectRef> &objects)
{
    QVariantList values;
    values.reserve(qsizetype(objects.size()));
    for (const ObjectRef &object : objects)
        values << object.toVariant();
    return in(keyPath, values);
}

Predicate Predicate::subqueryCount(const QString &relationshipKeyPath, const Predicate &condition, Comparison op, qint64 count)
{
    Node node;
    node.kind = Kind::Subquery;
    node.keyPath = splitKeyPath(relationshipKeyPath);
    node.children = {condition};
    node.op = op;
    node.value = count;
    return make(std::move(node));
}

Predicate Predicate::count(const QString &relationshipKeyPath, Comparison op, qint64 count)
{
    return subqueryCount(relationshipKeyPath, truePredicate(), op, count);
}

Predicate Predicate::any(const QString &relationshipKeyPath, const Predicate &condition)
{
    return subqueryCount(relationshipKeyPath, condition, Comparison::Greater, 0);
}

Predicate Predicate::combine(Kind kind, std::vector<Predicate> operands)
{
    Node node;
    node.kind = kind;
    for (Predicate &operand : operands) {
        // Nested operands of the same kind flatten, so chains of && / || stay one level deep.
        if (operand.kind() == kind) {
            for (const Predicate &inner : operand.node().children)
                node.children.push_back(inner);
        } else {
            node.children.push_back(std::move(operand));
        }
    }
    return make(std::move(node));
}

Predicate Predicate::andOf(std::vector<Predicate> operands)
{
    return combine(Kind::And, std::move(operands));
}

Predicate Predicate::orOf(std::vector<Predicate> operands)
{
    return combine(Kind::Or, std::move(operands));
}

Predicate Predicate::notOf(const Predicate &operand)
{
    Node node;
    node.kind = Kind::Not;
    node.children = {operand};
    return make(std::move(node));
}

QString Predicate::description() const
{
    const Node &n = node();
    switch (n.kind) {
    case Kind::True:
        return QStringLiteral("TRUEPREDICATE");
    case Kind::False:
        return QStringLiteral("FALSEPREDICATE");
    case Kind::And:
    case Kind::Or: {
        if (n.children.empty())
            return n.kind == Kind::And ? QStringLiteral("TRUEPREDICATE") : QStringLiteral("FALSEPREDICATE");
        QStringList parts;
        for (const Predicate &child : n.children)
            parts << child.description();
        return QLatin1Char('(') + parts.join(n.kind == Kind::And ? QLatin1String(" AND ") : QLatin1String(" OR ")) + QLatin1Char(')');
    }
    case Kind::Not:
        return QStringLiteral("NOT ") + n.children.front().description();
    case Kind::Compare: {
        QString options;
        if (n.options.testFlag(StringOption::CaseInsensitive))
            options += u'c';
        if (n.options.testFlag(StringOption::DiacriticInsensitive))
            options += u'd';
        const QString key = n.keyPath.isEmpty() ? QStringLiteral("SELF") : n.keyPath.join(QLatin1Char('.'));
        return QStringLiteral("%1 %2%3 %4")
            .arg(key, operatorText(n.op), options.isEmpty() ? QString() : QLatin1Char('[') + options + QLatin1Char(']'),
                 constantText(n.value));
    }
    case Kind::Subquery:
        return QStringLiteral("SUBQUERY(%1, $x, %2).@count %3 %4")
            .arg(n.keyPath.join(QLatin1Char('.')), n.children.front().description(), operatorText(n.op))
            .arg(n.value.toLongLong());
    }
    return {};
}

} // namespace platform::store
