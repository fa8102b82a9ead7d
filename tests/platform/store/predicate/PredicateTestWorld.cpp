#include "PredicateTestWorld.h"

#include <QTimeZone>

#include <algorithm>

namespace predicate_test {

namespace {

AttributeDescription attribute(const QString &name, AttributeType type)
{
    AttributeDescription a;
    a.name = name;
    a.type = type;
    return a;
}

RelationshipDescription relationship(const QString &name, const QString &destination, const QString &inverse, bool toMany)
{
    RelationshipDescription r;
    r.name = name;
    r.destinationEntityName = destination;
    r.inverseName = inverse;
    r.toMany = toMany;
    return r;
}

QString sqlType(AttributeType type)
{
    switch (type) {
    case AttributeType::String:
    case AttributeType::Decimal:
        return QStringLiteral("TEXT");
    case AttributeType::Integer16:
    case AttributeType::Integer32:
    case AttributeType::Integer64:
    case AttributeType::Boolean:
        return QStringLiteral("INTEGER");
    case AttributeType::Double:
    case AttributeType::Date:
        return QStringLiteral("REAL");
    case AttributeType::Binary:
    case AttributeType::Transformable:
        return QStringLiteral("BLOB");
    }
    return {};
}

QDateTime utc(int y, int m, int d)
{
    return QDateTime(QDate(y, m, d), QTime(12, 0), QTimeZone::utc());
}

} // namespace

World::World()
{
    using T = AttributeType;
    EntityDescription person(QStringLiteral("Person"));
    person.addAttribute(attribute("firstName", T::String))
        .addAttribute(attribute("lastName", T::String))
        .addAttribute(attribute("nickname", T::String))
        .addAttribute(attribute("guid", T::String))
        .addAttribute(attribute("age", T::Integer32))
        .addAttribute(attribute("height", T::Double))
        .addAttribute(attribute("isPrivate", T::Boolean))
        .addAttribute(attribute("remotelyDeleted", T::Boolean))
        .addAttribute(attribute("birthday", T::Date))
        .addAttribute(attribute("balance", T::Decimal))
        .addAttribute(attribute("photo", T::Binary));
    AttributeDescription distance = attribute("distance", T::Double);
    distance.transient = true;
    person.addAttribute(distance);
    person.addRelationship(relationship("emails", "Email", "person", true))
        .addRelationship(relationship("todos", "ToDo", "person", true))
        .addRelationship(relationship("groups", "Group", "members", true))
        .addRelationship(relationship("info", "Info", "person", false));
    model.addEntity(std::move(person));

    EntityDescription email(QStringLiteral("Email"));
    email.addAttribute(attribute("address", T::String)).addAttribute(attribute("label", T::String));
    email.addRelationship(relationship("person", "Person", "emails", false));
    model.addEntity(std::move(email));

    EntityDescription todo(QStringLiteral("ToDo"));
    todo.addAttribute(attribute("title", T::String))
        .addAttribute(attribute("completed", T::Boolean))
        .addAttribute(attribute("start", T::Date))
        .addAttribute(attribute("remotelyDeleted", T::Boolean));
    todo.addRelationship(relationship("person", "Person", "todos", false));
    model.addEntity(std::move(todo));

    // "Group" is an SQL keyword: the compiler must quote it.
    EntityDescription group(QStringLiteral("Group"));
    group.addAttribute(attribute("name", T::String)).addAttribute(attribute("order", T::Integer32));
    group.addRelationship(relationship("members", "Person", "groups", true));
    model.addEntity(std::move(group));

    EntityDescription info(QStringLiteral("Info"));
    info.addAttribute(attribute("job", T::String));
    info.addRelationship(relationship("person", "Person", "info", false));
    model.addEntity(std::move(info));

    // People. Nicknames probe UTF-16 order: U+1F600 (a surrogate pair) sorts below U+E000 and U+FF21 in
    // UTF-16 but above them in UTF-8.
    Obj &ann = add("Person", "ann", 1);
    ann.values = {{"firstName", "Ann"}, {"lastName", "Smith"}, {"nickname", QString::fromUtf8("a\xF0\x9F\x98\x80" "b")},
                  {"guid", "A-1"}, {"age", 30}, {"height", 1.7}, {"isPrivate", false}, {"remotelyDeleted", false},
                  {"birthday", utc(1990, 5, 1)}, {"balance", "12.50"}, {"photo", QByteArray("\x01\x02", 2)}};
    Obj &bob = add("Person", "bob", 2);
    bob.values = {{"firstName", "Bob"}, {"lastName", "smith"}, {"nickname", QString(QChar(u'a')) + QChar(0xE000)},
                  {"guid", "B-2"}, {"age", 45}, {"height", 1.8}, {"isPrivate", true},
                  {"balance", "10"}, {"photo", QByteArray("\x01\x03", 2)}};
    Obj &elodie = add("Person", "elodie", 3);
    elodie.values = {{"firstName", QString::fromUtf8("\xC3\x89lodie")}, {"lastName", "Durand"},
                     {"nickname", QString(QChar(u'a')) + QChar(0xFF21)}, {"guid", "C*3"},
                     {"remotelyDeleted", true}, {"birthday", utc(2001, 1, 1)}, {"balance", "9.999"}};
    Obj &zoe = add("Person", "zoe", 4);
    zoe.values = {{"firstName", QString::fromUtf8("E\xCC\x81milie")}, {"lastName", "Zola"}, {"nickname", "b"},
                  {"age", 22}, {"height", 1.6}, {"isPrivate", false}, {"remotelyDeleted", false}};
    add("Person", "nobody", 5);

    Obj &annWork = add("Email", "annWork", 11);
    annWork.values = {{"address", "ann@x.org"}, {"label", "work"}};
    Obj &annHome = add("Email", "annHome", 12);
    annHome.values = {{"address", "ANN@home.org"}, {"label", "home"}};
    Obj &bobMail = add("Email", "bobMail", 13);
    bobMail.values = {{"address", "bob@x.org"}, {"label", "home"}};
    Obj &orphanMail = add("Email", "orphanMail", 14);
    orphanMail.values = {{"address", "nobody@x.org"}};
    link(annWork, "person", ann);
    link(annHome, "person", ann);
    link(bobMail, "person", bob);

    Obj &call = add("ToDo", "call", 21);
    call.values = {{"title", "Call"}, {"completed", false}, {"start", utc(2024, 1, 10)}};
    Obj &write = add("ToDo", "write", 22);
    write.values = {{"title", "Write"}, {"completed", true}, {"start", utc(2024, 2, 1)}, {"remotelyDeleted", false}};
    Obj &plan = add("ToDo", "plan", 23);
    plan.values = {{"title", "Plan"}, {"remotelyDeleted", true}};
    Obj &orphan = add("ToDo", "orphan", 24);
    orphan.values = {{"title", "Orphan"}, {"completed", false}, {"start", utc(2024, 3, 1)}};
    link(call, "person", ann);
    link(write, "person", ann);
    link(plan, "person", bob);

    Obj &friends = add("Group", "friends", 31);
    friends.values = {{"name", "Friends"}, {"order", 1}};
    Obj &work = add("Group", "work", 32);
    work.values = {{"name", "Work"}, {"order", 2}};
    Obj &empty = add("Group", "empty", 33);
    empty.values = {{"name", "Empty"}, {"order", 3}};
    link(friends, "members", ann);
    link(friends, "members", bob);
    link(work, "members", bob);

    Obj &annInfo = add("Info", "annInfo", 41);
    annInfo.values = {{"job", "Engineer"}};
    Obj &elodieInfo = add("Info", "elodieInfo", 42);
    elodieInfo.values = {{"job", QString::fromUtf8("M\xC3\xA9" "decin")}};
    link(annInfo, "person", ann);
    link(elodieInfo, "person", elodie);

    QString problem;
    if (!model.validate(&problem))
        qFatal("test model: %s", qPrintable(problem));
    sqlite3_open(":memory:", &db);
    if (!registerCollations(db, &problem))
        qFatal("collations: %s", qPrintable(problem));
}

World::~World()
{
    sqlite3_close(db);
}

Obj &World::add(const QString &entity, const QString &name, qint64 pk)
{
    Obj &o = objects.emplace_back();
    o.ent = model.entity(entity);
    o.name = name;
    o.pk = pk;
    return o;
}

void World::link(Obj &from, const QString &relationshipName, Obj &to)
{
    auto connect = [](Obj &a, const RelationshipDescription &r, Obj &b) {
        auto &list = a.related[r.name];
        if (!r.toMany)
            list.clear();
        if (std::find(list.begin(), list.end(), &b) == list.end())
            list.push_back(&b);
    };
    const RelationshipDescription *r = from.ent->relationship(relationshipName);
    connect(from, *r, to);
    if (const RelationshipDescription *inverse = to.ent->relationship(r->inverseName))
        connect(to, *inverse, from);
}

Obj &World::named(const QString &name)
{
    for (Obj &o : objects) {
        if (o.name == name)
            return o;
    }
    qFatal("no object %s", qPrintable(name));
}

static void exec(sqlite3 *db, const QString &sql)
{
    char *error = nullptr;
    if (sqlite3_exec(db, sql.toUtf8().constData(), nullptr, nullptr, &error) != SQLITE_OK)
        qFatal("%s: %s", qPrintable(sql), error);
}

void World::writeDatabase()
{
    using namespace platform::store::schema;
    for (const auto &entity : model.entities()) {
        QStringList columns{QStringLiteral("pk INTEGER PRIMARY KEY")};
        for (const auto &a : entity->attributes()) {
            if (!a.transient)
                columns << quoteIdentifier(columnName(a)) + QLatin1Char(' ') + sqlType(a.type);
        }
        for (const auto &r : entity->relationships()) {
            if (!r.toMany)
                columns << quoteIdentifier(foreignKeyColumnName(r)) + QLatin1String(" INTEGER");
            const EntityDescription *destination = model.entity(r.destinationEntityName);
            if (usesJoinTable(r, destination->relationship(r.inverseName))) {
                exec(db, QStringLiteral("CREATE TABLE IF NOT EXISTS %1 (%2 INTEGER, %3 INTEGER, PRIMARY KEY (%2, %3))")
                             .arg(quoteIdentifier(joinTableName(r, *entity)), quoteIdentifier(joinSourceColumn(r, *entity)),
                                  quoteIdentifier(joinDestinationColumn(r, *entity))));
            }
        }
        exec(db, QStringLiteral("CREATE TABLE %1 (%2)").arg(quoteIdentifier(tableName(*entity)), columns.join(", ")));
    }
    for (const Obj &o : objects) {
        if (o.pk <= 0)
            continue;
        QStringList names{QStringLiteral("pk")};
        QVariantList values{o.pk};
        for (const auto &a : o.ent->attributes()) {
            if (a.transient)
                continue;
            names << quoteIdentifier(columnName(a));
            values << toSqlValue(o.values.value(a.name), a);
        }
        for (const auto &r : o.ent->relationships()) {
            const auto members = o.related.value(r.name);
            if (!r.toMany) {
                names << quoteIdentifier(foreignKeyColumnName(r));
                values << (members.empty() ? QVariant() : QVariant(members.front()->pk));
                continue;
            }
            const EntityDescription *destination = model.entity(r.destinationEntityName);
            if (!usesJoinTable(r, destination->relationship(r.inverseName)))
                continue;
            for (const Obj *m : members) {
                exec(db, QStringLiteral("INSERT OR IGNORE INTO %1 (%2, %3) VALUES (%4, %5)")
                             .arg(quoteIdentifier(joinTableName(r, *o.ent)), quoteIdentifier(joinSourceColumn(r, *o.ent)),
                                  quoteIdentifier(joinDestinationColumn(r, *o.ent)))
                             .arg(o.pk)
                             .arg(m->pk));
            }
        }
        QStringList marks;
        for (int i = 0; i < values.size(); ++i)
            marks << QStringLiteral("?");
        const QByteArray sql = QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)")
                                   .arg(quoteIdentifier(tableName(*o.ent)), names.join(", "), marks.join(", "))
                                   .toUtf8();
        sqlite3_stmt *statement = nullptr;
        if (sqlite3_prepare_v2(db, sql.constData(), -1, &statement, nullptr) != SQLITE_OK)
            qFatal("%s: %s", sql.constData(), sqlite3_errmsg(db));
        for (int i = 0; i < values.size(); ++i)
            bindSqlValue(statement, i + 1, values[i]);
        if (sqlite3_step(statement) != SQLITE_DONE)
            qFatal("insert: %s", sqlite3_errmsg(db));
        sqlite3_finalize(statement);
    }
}

QStringList World::queryNames(const QString &sql, const QVariantList &values, QString *problem)
{
    QStringList names;
    sqlite3_stmt *statement = nullptr;
    if (sqlite3_prepare_v2(db, sql.toUtf8().constData(), -1, &statement, nullptr) != SQLITE_OK) {
        if (problem)
            *problem = QString::fromUtf8(sqlite3_errmsg(db)) + QStringLiteral(" in ") + sql;
        return names;
    }
    for (int i = 0; i < values.size(); ++i)
        bindSqlValue(statement, i + 1, values[i]);
    int rc = SQLITE_ROW;
    while ((rc = sqlite3_step(statement)) == SQLITE_ROW) {
        const qint64 pk = sqlite3_column_int64(statement, 0);
        for (const Obj &o : objects) {
            if (o.pk == pk)
                names << o.name;
        }
    }
    if (rc != SQLITE_DONE && problem)
        *problem = QString::fromUtf8(sqlite3_errmsg(db)) + QStringLiteral(" in ") + sql;
    sqlite3_finalize(statement);
    return names;
}

QStringList World::sqlMatches(const QString &entity, const Predicate &predicate, QString *problem)
{
    const EntityDescription *e = model.entity(entity);
    const SqlPredicate compiled = compileToSql(predicate, *e, model);
    if (!compiled.ok()) {
        if (problem)
            *problem = compiled.problem;
        return {};
    }
    QStringList names = queryNames(QStringLiteral("SELECT t0.pk FROM %1 AS t0 WHERE %2")
                                       .arg(schema::quoteIdentifier(schema::tableName(*e)), compiled.where),
                                   compiled.values, problem);
    names.sort();
    return names;
}

QStringList World::memoryMatches(const QString &entity, const Predicate &predicate)
{
    QStringList names;
    for (const Obj &o : objects) {
        if (o.ent->name() == entity && o.pk > 0 && evaluate(predicate, o))
            names << o.name;
    }
    names.sort();
    return names;
}

QStringList World::sqlOrder(const QString &entity, const std::vector<SortDescriptor> &order, QString *problem)
{
    const EntityDescription *e = model.entity(entity);
    const SqlOrderBy compiled = compileSortToSql(order, *e, model);
    if (!compiled.ok()) {
        if (problem)
            *problem = compiled.problem;
        return {};
    }
    return queryNames(QStringLiteral("SELECT t0.pk FROM %1 AS t0 ORDER BY %2")
                          .arg(schema::quoteIdentifier(schema::tableName(*e)), compiled.orderBy),
                      {}, problem);
}

QStringList World::memoryOrder(const QString &entity, const std::vector<SortDescriptor> &order)
{
    std::vector<const PredicateSubject *> subjects;
    for (const Obj &o : objects) {
        if (o.ent->name() == entity && o.pk > 0)
            subjects.push_back(&o);
    }
    sortSubjects(subjects, order);
    QStringList names;
    for (const PredicateSubject *s : subjects)
        names << static_cast<const Obj *>(s)->name;
    return names;
}

} // namespace predicate_test
