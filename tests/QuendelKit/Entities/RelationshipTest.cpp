#include "EntityStoreFixture.h"

#include <gtest/gtest.h>

using platform::store::DeleteRule;
using platform::store::ManagedObject;
using platform::store::ManagedObjectID;

namespace {

struct RelationshipCase
{
    const char *entity;
    const char *name;
    const char *destination;
    bool toMany;
    const char *inverse;
    DeleteRule rule;
};

constexpr DeleteRule Cascade = DeleteRule::Cascade;
constexpr DeleteRule Nullify = DeleteRule::Nullify;

// Every relationship of the model. The catalogue fixes names, targets and kinds; the delete rules say that a
// contact takes everything recorded about it along, a to-do its alerts, calendar link and voice note, a log
// its voice note, a field its choices, currency default and values, a value its amount. The last four rows
// are the inverses of the references the catalogue declares without one: to-many, so they never reach a
// cloud record, and there so that a deleted record leaves no reference to nothing behind.
const std::vector<RelationshipCase> relationshipTable = {
    {"Person", "personinfo", "PersonInfo", false, "person", Cascade},
    {"Person", "fullimage", "Images", false, "person", Cascade},
    {"Person", "emails", "Emails", true, "person", Cascade},
    {"Person", "phones", "Phones", true, "person", Cascade},
    {"Person", "addresses", "PersonAddress", true, "person", Cascade},
    {"Person", "websites", "PersonWebsite", true, "person", Cascade},
    {"Person", "personDates", "PersonDate", true, "person", Cascade},
    {"Person", "socialLinks", "PersonSocial", true, "person", Cascade},
    {"Person", "relationships", "PersonRelationships", true, "person", Cascade},
    {"Person", "userfields", "UserFields", true, "person", Cascade},
    {"Person", "logs", "Log", true, "person", Cascade},
    {"Person", "todos", "ToDo", true, "person", Cascade},
    {"Person", "attachments", "FileAttachments", true, "person", Cascade},
    {"Person", "privategroup", "PrivateGroups", true, "members", Nullify},
    {"PersonInfo", "person", "Person", false, "personinfo", Nullify},
    {"Emails", "person", "Person", false, "emails", Nullify},
    {"Phones", "person", "Person", false, "phones", Nullify},
    {"PersonWebsite", "person", "Person", false, "websites", Nullify},
    {"PersonAddress", "person", "Person", false, "addresses", Nullify},
    {"PersonDate", "person", "Person", false, "personDates", Nullify},
    {"PersonSocial", "person", "Person", false, "socialLinks", Nullify},
    {"PersonRelationships", "person", "Person", false, "relationships", Nullify},
    {"Images", "person", "Person", false, "fullimage", Nullify},
    {"Images", "fileattachment", "FileAttachments", false, "personimages", Nullify},
    {"Log", "person", "Person", false, "logs", Nullify},
    {"Log", "title", "LogTitle", false, "log", Nullify},
    {"Log", "logLocation", "Location", false, "logFromLocation", Nullify},
    {"Log", "logvoice", "VoiceNote", false, "log", Cascade},
    {"LogTitle", "log", "Log", true, "title", Nullify},
    {"ToDoTitle", "todo", "ToDo", true, "todotitle", Nullify},
    {"ToDo", "person", "Person", false, "todos", Nullify},
    {"ToDo", "completedperson", "Person", false, "completedtodos", Nullify},
    {"ToDo", "todotitle", "ToDoTitle", false, "todo", Nullify},
    {"ToDo", "todoLocation", "Location", false, "todoFromLocation", Nullify},
    {"ToDo", "calendarLink", "ToDoCalendarLink", false, "todo", Cascade},
    {"ToDo", "todovoice", "VoiceNote", false, "todo", Cascade},
    {"ToDo", "alert", "ToDoAlert", true, "todo", Cascade},
    {"ToDoAlert", "todo", "ToDo", false, "alert", Nullify},
    {"ToDoCalendarLink", "todo", "ToDo", false, "calendarLink", Nullify},
    {"FileAttachments", "person", "Person", false, "attachments", Nullify},
    {"FileAttachments", "log", "Log", false, "attachments", Nullify},
    {"FileAttachments", "todo", "ToDo", false, "attachments", Nullify},
    {"Location", "logFromLocation", "Log", true, "logLocation", Nullify},
    {"Location", "todoFromLocation", "ToDo", true, "todoLocation", Nullify},
    {"FormFields", "fieldtype", "FormFieldType", false, "formfield", Nullify},
    {"FormFields", "fieldslist", "FormFieldsList", true, "targetfield", Cascade},
    {"FormFields", "listdefault", "FormFieldsList", false, "targetdefault", Nullify},
    {"FormFields", "currencydefault", "CurrencyData", false, "formfield", Cascade},
    {"FormFields", "userfields", "UserFields", true, "formfield", Cascade},
    {"FormFieldType", "formfield", "FormFields", true, "fieldtype", Nullify},
    {"FormFieldsList", "targetfield", "FormFields", false, "fieldslist", Nullify},
    {"FormFieldsList", "targetdefault", "FormFields", false, "listdefault", Nullify},
    {"FormFieldsList", "userfield", "UserFields", true, "listvalue", Nullify},
    {"UserFields", "person", "Person", false, "userfields", Nullify},
    {"UserFields", "formfield", "FormFields", false, "userfields", Nullify},
    {"UserFields", "listvalue", "FormFieldsList", false, "userfield", Nullify},
    {"UserFields", "currencyvalue", "CurrencyData", false, "userfield", Cascade},
    {"CurrencyData", "formfield", "FormFields", false, "currencydefault", Nullify},
    {"CurrencyData", "userfield", "UserFields", false, "currencyvalue", Nullify},
    {"PrivateGroups", "members", "Person", true, "privategroup", Nullify},
    {"VoiceNote", "log", "Log", false, "logvoice", Nullify},
    {"VoiceNote", "todo", "ToDo", false, "todovoice", Nullify},
    {"Person", "completedtodos", "ToDo", true, "completedperson", Nullify},
    {"Log", "attachments", "FileAttachments", true, "log", Nullify},
    {"ToDo", "attachments", "FileAttachments", true, "todo", Nullify},
    {"FileAttachments", "personimages", "Images", true, "fileattachment", Nullify},
};

std::string label(const RelationshipCase &c)
{
    return std::string(c.entity) + "." + c.name;
}

bool holds(const ManagedObject *owner, const char *relationship, bool toMany, const ManagedObject *object)
{
    const QString key = QString::fromLatin1(relationship);
    return toMany ? owner->relatedObjects(key).contains(const_cast<ManagedObject *>(object))
                  : owner->relatedObject(key) == object;
}

bool isEmpty(const ManagedObject *owner, const char *relationship, bool toMany)
{
    const QString key = QString::fromLatin1(relationship);
    return toMany ? owner->relatedObjects(key).isEmpty() : owner->relatedObject(key) == nullptr;
}

} // namespace

using quendel::test::EntityStoreTest;

TEST(QuendelModelRelationships, TheModelHoldsExactlyTheTable)
{
    const auto model = QuendelModel::create();
    size_t count = 0;
    for (const auto &entity : model->entities())
        count += entity->relationships().size();
    EXPECT_EQ(count, relationshipTable.size());
    for (const RelationshipCase &c : relationshipTable) {
        SCOPED_TRACE(label(c));
        const auto *entity = model->entity(QString::fromLatin1(c.entity));
        ASSERT_NE(entity, nullptr);
        const auto *relationship = entity->relationship(QString::fromLatin1(c.name));
        ASSERT_NE(relationship, nullptr);
        EXPECT_EQ(relationship->destinationEntityName, QString::fromLatin1(c.destination));
        EXPECT_EQ(relationship->toMany, c.toMany);
        EXPECT_EQ(relationship->inverseName, QString::fromLatin1(c.inverse));
        EXPECT_EQ(relationship->deleteRule, c.rule);
    }
    // The contact and its private groups are the one many-to-many pair.
    int manyToMany = 0;
    for (const RelationshipCase &c : relationshipTable) {
        const auto *destination = model->entity(QString::fromLatin1(c.destination));
        if (c.toMany && destination->relationship(QString::fromLatin1(c.inverse))->toMany)
            ++manyToMany;
    }
    EXPECT_EQ(manyToMany, 2);
}

TEST_F(EntityStoreTest, EveryRelationshipKeepsItsInverseAndFollowsItsDeleteRule)
{
    for (const RelationshipCase &c : relationshipTable) {
        SCOPED_TRACE(label(c));
        ManagedObject *owner = context->insertNewObject(QString::fromLatin1(c.entity));
        ManagedObject *related = context->insertNewObject(QString::fromLatin1(c.destination));
        ASSERT_NE(owner, nullptr);
        ASSERT_NE(related, nullptr);
        const QString key = QString::fromLatin1(c.name);
        if (c.toMany)
            owner->addRelatedObject(key, related);
        else
            owner->setRelatedObject(key, related);

        const auto *inverse = related->entity()->relationship(QString::fromLatin1(c.inverse));
        ASSERT_NE(inverse, nullptr);
        EXPECT_TRUE(holds(owner, c.name, c.toMany, related));
        EXPECT_TRUE(holds(related, c.inverse, inverse->toMany, owner));
        save(context);

        platform::store::ContextPtr fresh = newContext();
        ManagedObject *reread = fresh->objectWithID(related->objectID());
        ASSERT_NE(reread, nullptr);
        EXPECT_TRUE(holds(reread, c.inverse, inverse->toMany, fresh->objectWithID(owner->objectID())));

        const ManagedObjectID relatedID = related->objectID();
        context->deleteObject(owner);
        save(context);

        fresh = newContext();
        ManagedObject *survivor = fresh->objectWithID(relatedID);
        if (c.rule == DeleteRule::Cascade) {
            EXPECT_EQ(survivor, nullptr);
        } else {
            ASSERT_NE(survivor, nullptr);
            EXPECT_TRUE(isEmpty(survivor, c.inverse, inverse->toMany));
            fresh->deleteObject(survivor);
            save(fresh);
        }
    }
}

TEST_F(EntityStoreTest, PrivateGroupMembershipShowsOnBothSidesWhicheverSideIsEdited)
{
    Person *ann = insert<Person>();
    Person *bob = insert<Person>();
    PrivateGroups *team = insert<PrivateGroups>();
    PrivateGroups *friends = insert<PrivateGroups>();

    ann->addPrivategroupObject(team);
    friends->addMembersObject(ann);
    team->addMembersObject(bob);
    EXPECT_EQ(team->members().size(), 2);
    EXPECT_TRUE(friends->members().contains(ann));
    EXPECT_EQ(ann->privategroup().size(), 2);
    EXPECT_TRUE(bob->privategroup().contains(team));
    save(context);

    platform::store::ContextPtr fresh;
    Person *annAgain = reread<Person>(ann, fresh);
    ASSERT_NE(annAgain, nullptr);
    EXPECT_EQ(annAgain->privategroup().size(), 2);

    team->removeMembersObject(ann);
    EXPECT_FALSE(ann->privategroup().contains(team));
    bob->removePrivategroupObject(team);
    EXPECT_TRUE(team->members().isEmpty());
}

TEST_F(EntityStoreTest, AToDoCanReferToContactsThroughPersonCompletedPersonOrBoth)
{
    Person *ann = insert<Person>();
    Person *bob = insert<Person>();
    ToDo *both = insert<ToDo>();
    ToDo *completedOnly = insert<ToDo>();
    both->setPerson(ann);
    both->setCompletedperson(ann);
    completedOnly->setCompletedperson(bob);
    EXPECT_TRUE(ann->todos().contains(both));
    EXPECT_TRUE(ann->completedtodos().contains(both));
    EXPECT_TRUE(bob->todos().isEmpty());
    EXPECT_EQ(completedOnly->person(), nullptr);
    save(context);

    platform::store::ContextPtr fresh;
    ToDo *bothAgain = reread<ToDo>(both, fresh);
    ASSERT_NE(bothAgain, nullptr);
    ASSERT_NE(bothAgain->person(), nullptr);
    EXPECT_EQ(bothAgain->person(), bothAgain->completedperson());

    // Deleting the completing contact leaves its completed to-do without a reference to nothing.
    const ManagedObjectID completedID = completedOnly->objectID();
    context->deleteObject(bob);
    save(context);
    fresh = newContext();
    auto *survivor = dynamic_cast<ToDo *>(fresh->objectWithID(completedID));
    ASSERT_NE(survivor, nullptr);
    EXPECT_EQ(survivor->completedperson(), nullptr);
}

TEST_F(EntityStoreTest, DeletingAContactTakesItsDetailsAndJournalAlong)
{
    Person *person = insert<Person>();
    Phones *phone = insert<Phones>();
    Log *log = insert<Log>();
    ToDo *todo = insert<ToDo>();
    ToDoAlert *alert = insert<ToDoAlert>();
    LogTitle *title = insert<LogTitle>();
    PrivateGroups *group = insert<PrivateGroups>();
    person->addPhonesObject(phone);
    person->addLogsObject(log);
    person->addTodosObject(todo);
    todo->addAlertObject(alert);
    log->setTitle(title);
    group->addMembersObject(person);
    save(context);

    const ManagedObjectID phoneID = phone->objectID(), logID = log->objectID(), todoID = todo->objectID(),
                          alertID = alert->objectID(), titleID = title->objectID(), groupID = group->objectID();
    context->deleteObject(person);
    save(context);

    platform::store::ContextPtr fresh = newContext();
    EXPECT_EQ(fresh->objectWithID(phoneID), nullptr);
    EXPECT_EQ(fresh->objectWithID(logID), nullptr);
    EXPECT_EQ(fresh->objectWithID(todoID), nullptr);
    EXPECT_EQ(fresh->objectWithID(alertID), nullptr);
    auto *titleAgain = dynamic_cast<LogTitle *>(fresh->objectWithID(titleID));
    ASSERT_NE(titleAgain, nullptr);
    EXPECT_TRUE(titleAgain->log().isEmpty());
    auto *groupAgain = dynamic_cast<PrivateGroups *>(fresh->objectWithID(groupID));
    ASSERT_NE(groupAgain, nullptr);
    EXPECT_TRUE(groupAgain->members().isEmpty());
}
