#include "Mac/Shell/MainWindowManagerViewController.h"

#include "QuendelKit/Entities/EntityStoreFixture.h"
#include "QuendelKit/Settings/SharedSettingController.h"

#include <gtest/gtest.h>

namespace {

using platform::store::Predicate;

class SectionFiltersTest : public quendel::test::EntityStoreTest
{
protected:
    void SetUp() override
    {
        EntityStoreTest::SetUp();
        ann = insert<Person>();
        bob = insert<Person>();
        cid = insert<Person>();
        for (Person *person : {ann, bob, cid}) {
            Log *log = insert<Log>();
            log->setPerson(person);
            logs.append(log);
        }
        group = insert<PrivateGroups>();
        group->addMembersObject(ann);
        group->addMembersObject(bob);
        save(context);
        section = std::make_unique<MainWindowManagerViewController>(QStringLiteral("MacAllLogsViewController"), context);
    }
    void TearDown() override
    {
        section.reset();
        EntityStoreTest::TearDown();
    }

    // The people whose logs pass the predicate.
    QList<Person *> filtered(const Predicate &predicate) const
    {
        QList<Person *> people;
        for (Log *log : logs) {
            if (predicate.evaluate(*log))
                people.append(log->person());
        }
        return people;
    }

    Person *ann = nullptr;
    Person *bob = nullptr;
    Person *cid = nullptr;
    PrivateGroups *group = nullptr;
    QList<Log *> logs;
    std::unique_ptr<MainWindowManagerViewController> section;
};

TEST_F(SectionFiltersTest, CombinedFilterIsTheAndOfTheSetFiltersInOrder)
{
    EXPECT_FALSE(section->combinedFilterPredicate().has_value());

    const Predicate search = Predicate::contains(QStringLiteral("logNote"), QStringLiteral("lunch"));
    section->setSearchPredicate(search);
    const std::optional<Predicate> one = section->combinedFilterPredicate();
    ASSERT_TRUE(one.has_value());
    EXPECT_EQ(one->kind(), Predicate::Kind::And);
    ASSERT_EQ(one->node().children.size(), 1u);

    const Predicate date = Predicate::isNotNil(QStringLiteral("logDate"));
    const Predicate title = Predicate::isNotNil(QStringLiteral("logtitle"));
    const Predicate members = MainWindowManagerViewController::predicateForPrivateGroup(group);
    section->setContactsFilterPredicate(members);
    section->setTitleFilterPredicate(title);
    section->setDateFilterPredicate(date);
    const std::optional<Predicate> all = section->combinedFilterPredicate();
    ASSERT_TRUE(all.has_value());
    ASSERT_EQ(all->node().children.size(), 4u);
    EXPECT_EQ(all->node().children[0].description(), date.description());
    EXPECT_EQ(all->node().children[1].description(), title.description());
    EXPECT_EQ(all->node().children[2].description(), search.description());
    EXPECT_EQ(all->node().children[3].description(), members.description());

    section->setDateFilterPredicate(std::nullopt);
    section->setTitleFilterPredicate(std::nullopt);
    section->setSearchPredicate(std::nullopt);
    section->setContactsFilterPredicate(std::nullopt);
    EXPECT_FALSE(section->combinedFilterPredicate().has_value());
}

TEST_F(SectionFiltersTest, PrivateGroupFiltersToItsMembersRecords)
{
    EXPECT_EQ(filtered(MainWindowManagerViewController::predicateForPrivateGroup(group)), (QList<Person *>{ann, bob}));
    // Membership is read when the predicate is made; a later change needs a new predicate.
    const Predicate before = MainWindowManagerViewController::predicateForPrivateGroup(group);
    group->removeMembersObject(bob);
    EXPECT_EQ(filtered(before), (QList<Person *>{ann, bob}));
    EXPECT_EQ(filtered(MainWindowManagerViewController::predicateForPrivateGroup(group)), QList<Person *>{ann});
}

TEST_F(SectionFiltersTest, PublicGroupMembersCountOnlyWhenLinkedToStoredContacts)
{
    auto &settings = SharedSettingController::sharedSettings();
    settings.setContactReferenceID(QStringLiteral("ab-cid"), cid->objectID());
    settings.setContactReferenceID(QStringLiteral("ab-ann"), ann->objectID());

    const QStringList members = {QStringLiteral("ab-cid"), QStringLiteral("ab-nobody"), QStringLiteral("ab-ann")};
    EXPECT_EQ(section->personsListForPublicGroup(members), (QList<Person *>{cid, ann}));
    EXPECT_EQ(filtered(section->predicateForPublicGroup(members)), (QList<Person *>{ann, cid}));

    // A group of unlinked members filters the section down to nothing.
    const QStringList unlinked = {QStringLiteral("ab-x"), QStringLiteral("ab-y")};
    EXPECT_TRUE(section->personsListForPublicGroup(unlinked).isEmpty());
    EXPECT_TRUE(filtered(section->predicateForPublicGroup(unlinked)).isEmpty());
}

TEST_F(SectionFiltersTest, SaveContextReportsOnlyWhetherTheSaveWorked)
{
    insert<Person>();
    EXPECT_TRUE(section->saveContext());
    EXPECT_FALSE(context->hasChanges());
    section->setManagedObjectContext(nullptr);
    EXPECT_FALSE(section->saveContext());
}

} // namespace
