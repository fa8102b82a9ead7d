#include "ContactsFixture.h"

#include "Classes/CoreDataControllerShared.h"

#include "QuendelKit/Entities/CurrencyData.h"
#include "QuendelKit/Entities/FormFields.h"
#include "QuendelKit/Entities/FormFieldsList.h"
#include "QuendelKit/Entities/PersonInfo.h"
#include "QuendelKit/Entities/PrivateGroups.h"
#include "QuendelKit/Entities/UserFields.h"
#include "QuendelKit/Settings/SharedSettingController.h"

#include "platform/core/UserDefaults.h"

#include <QCoreApplication>

#include <mutex>

namespace {

using namespace contacts_test;
using Item = ContactsListDisplaySource::Item;

class ContactsListSectionsTest : public ContactsStoreTest
{
};

TEST_F(ContactsListSectionsTest, FirstLettersGiveTheSectionsWithOtherLast)
{
    addPerson(QStringLiteral("Zoë"), QString());
    addPerson(QStringLiteral("Émile"), QString());
    addPerson(QStringLiteral("Ömer"), QString());
    addPerson(QStringLiteral("123"), QString());
    addPerson(QStringLiteral("alice"), QString());
    addPerson(QStringLiteral("Жанна"), QString());
    addPerson(QStringLiteral("王"), QStringLiteral("伟"));
    addPerson(QString(), QString(), QStringLiteral("acme"));
    addPerson(QStringLiteral("Adam"), QStringLiteral("Young"));
    save(context);

    ContactsListDisplaySource source;
    source.setManagedObjectContext(context);
    source.awakeFromNib();
    source.resetDatasource();

    // Accented capitals carry a combining mark in their decomposed form, so they count as "other"; a
    // letter without case (Chinese) too. The company-only contact is filed under its company's letter.
    EXPECT_EQ(sectionsOf(source), (QStringList{
                                      QStringLiteral("A: acme, alice"),
                                      QStringLiteral("Y: Adam Young"),
                                      QStringLiteral("Z: Zoë"),
                                      QStringLiteral("Ж: Жанна"),
                                      QStringLiteral("#: 123, Émile, Ömer, 王 伟"),
                                  }));
    EXPECT_EQ(platform::core::UserDefaults::standardUserDefaults()->integerForKey(
                  ContactsListDisplaySource::NumberOfContactsKey),
              9);
}

TEST_F(ContactsListSectionsTest, SortedByCompanyEachCompanyIsASection)
{
    addPerson(QStringLiteral("Ann"), QStringLiteral("Lee"), QStringLiteral("zeta works"), true);
    addPerson(QStringLiteral("Bob"), QStringLiteral("Kay"), QStringLiteral("Acme"), true);
    addPerson(QStringLiteral("Cy"), QStringLiteral("Ash"), QStringLiteral("Acme"), true);
    addPerson(QStringLiteral("Dee"), QStringLiteral("Fox"), QString(), true);
    addPerson(QString(), QString(), QStringLiteral("Beta"), true);
    save(context);

    ContactsListDisplaySource source;
    source.setManagedObjectContext(context);
    source.awakeFromNib();
    source.resetDatasource();
    EXPECT_EQ(sectionsOf(source), (QStringList{
                                      QStringLiteral("Acme: Cy Ash, Bob Kay"),
                                      QStringLiteral("Beta: Beta"),
                                      QStringLiteral("zeta works: Ann Lee"),
                                      QStringLiteral("#: Dee Fox"),
                                  }));
}

TEST_F(ContactsListSectionsTest, TreeOfTheMainListEndsWithTheFooterAndPickersHaveNone)
{
    ContactsListDisplaySource main;
    main.setManagedObjectContext(context);
    main.awakeFromNib();
    main.resetDatasource();
    ASSERT_EQ(main.numberOfChildrenInItem(Item()), 1);
    EXPECT_EQ(main.childAtIndex(0, Item()).kind, Item::Kind::Footer);
    EXPECT_EQ(main.text().footerText, QStringLiteral("No contacts"));

    ContactsListDisplaySource picker;
    picker.setSelectionStyle(ContactsListDisplaySource::SelectionStyle::SingleChoice);
    picker.setManagedObjectContext(context);
    picker.awakeFromNib();
    picker.resetDatasource();
    EXPECT_EQ(picker.numberOfChildrenInItem(Item()), 0);

    addPerson(QStringLiteral("Ann"), QStringLiteral("Lee"));
    addPerson(QStringLiteral("Al"), QStringLiteral("Law"));
    addPerson(QString(), QString(), QStringLiteral("9 Lives"));
    Person *nameless = insert<Person>();
    nameless->setDisplayName(QStringLiteral("nameless"));
    save(context);
    // Without a section key (a contact stored by another device without one): counted, and so listed under "#"
    // with the contacts that fit no letter, after the letters.
    nameless->setNormalizedSectionLetter(QString());
    main.refetchArrayController();
    main.resetDatasource();
    EXPECT_EQ(main.text().footerText, QStringLiteral("4 Contacts"));
    ASSERT_EQ(main.numberOfChildrenInItem(Item()), 3) << sectionsOf(main).join(QLatin1Char('|')).toStdString();
    const Item section = main.childAtIndex(0, Item());
    EXPECT_EQ(section.kind, Item::Kind::Section);
    EXPECT_EQ(section.key, QStringLiteral("L"));
    EXPECT_EQ(main.numberOfChildrenInItem(section), 2);
    EXPECT_EQ(main.childAtIndex(0, section).person->displayName(), QStringLiteral("Al Law"));
    const Item other = main.childAtIndex(1, Item());
    EXPECT_EQ(other.key, ContactsListDisplaySource::OtherSectionKey);
    ASSERT_EQ(main.numberOfChildrenInItem(other), 2);
    QStringList others = {main.childAtIndex(0, other).person->displayName(),
                          main.childAtIndex(1, other).person->displayName()};
    others.sort();
    EXPECT_EQ(others, (QStringList{QStringLiteral("9 Lives"), QStringLiteral("nameless")}));
    qsizetype listed = 0;
    for (qsizetype i = 0; i + 1 < main.numberOfChildrenInItem(Item()); ++i)
        listed += main.numberOfChildrenInItem(main.childAtIndex(i, Item()));
    EXPECT_EQ(listed, 4);
    QString key;
    qsizetype row = -1;
    EXPECT_TRUE(main.locateContact(nameless, &key, &row));
    EXPECT_EQ(key, ContactsListDisplaySource::OtherSectionKey);
    EXPECT_EQ(main.childAtIndex(2, Item()).kind, Item::Kind::Footer);
    EXPECT_FALSE(main.childAtIndex(3, Item()).isValid());
    EXPECT_FALSE(main.childAtIndex(2, section).isValid());
}

// ---- Search and filters ----

class ContactsSearchTest : public ContactsStoreTest
{
protected:
    void SetUp() override
    {
        ContactsStoreTest::SetUp();
        ann = addPerson(QStringLiteral("Ann"), QStringLiteral("Smith"));
        info(ann)->setJobDescription(QStringLiteral("Manager"));
        bob = addPerson(QStringLiteral("Bob"), QStringLiteral("Stone"));
        bob->setNotesField(QStringLiteral("He is a manager of things"));
        cara = addPerson(QStringLiteral("Cara"), QStringLiteral("Jones"));
        FormFields *budget = insert<FormFields>();
        budget->setFormFieldName(QStringLiteral("Budget"));
        UserFields *amount = insert<UserFields>();
        amount->setPerson(cara);
        amount->setFormfield(budget);
        CurrencyData *value = insert<CurrencyData>();
        value->setCurrencyValue(QStringLiteral("12.5"));
        amount->setCurrencyvalue(value);
        dan = addPerson(QStringLiteral("Dan"), QStringLiteral("Miller"), QStringLiteral("Acme Ltd"));
        info(dan)->setDepartmentName(QStringLiteral("Research"));
        eve = addPerson(QStringLiteral("Eve"), QStringLiteral("Black"));
        FormFieldsList *gold = insert<FormFieldsList>();
        gold->setTitle(QStringLiteral("Gold"));
        UserFields *tier = insert<UserFields>();
        tier->setPerson(eve);
        tier->setListvalue(gold);
        UserFields *team = insert<UserFields>();
        team->setPerson(eve);
        team->setFieldValue(QStringLiteral("Blue Team"));
        emile = addPerson(QStringLiteral("Émile"), QStringLiteral("Zola"));
        save(context);

        queue = platform::core::DispatchQueue::serial(CoreDataControllerShared::FilterMainQueueLabel);
        source = std::make_unique<ContactsListDisplaySource>();
        source->setManagedObjectContext(context);
        source->setFilterQueue(queue);
        source->setDelegate(&delegate);
        source->awakeFromNib();
        source->resetDatasource();
    }
    void TearDown() override
    {
        source.reset();
        queue.reset();
        ContactsStoreTest::TearDown();
    }

    PersonInfo *info(Person *person)
    {
        auto *made = insert<PersonInfo>();
        made->setPerson(person);
        return made;
    }

    QStringList search(const QString &text)
    {
        source->searchResultsWithString(text);
        source->finishPendingWork();
        QStringList listed;
        for (const QString &key : source->alphabetsUsed()) {
            for (Person *person : source->contactsDictionary().value(key))
                listed << person->displayName();
        }
        listed.sort();
        return listed;
    }

    Person *ann = nullptr;
    Person *bob = nullptr;
    Person *cara = nullptr;
    Person *dan = nullptr;
    Person *eve = nullptr;
    Person *emile = nullptr;
    RecordingDelegate delegate;
    std::shared_ptr<platform::core::DispatchQueue> queue;
    std::unique_ptr<ContactsListDisplaySource> source;
};

TEST_F(ContactsSearchTest, SearchMatchesTheFieldsAsTheyAreMeantToMatch)
{
    struct Case
    {
        const char *text;
        QStringList expected;
    };
    const QList<Case> cases = {
        // Job description, department, first and last name only match at their beginning; notes anywhere.
        {"ager", {QStringLiteral("Bob Stone")}},
        {"Mana", {QStringLiteral("Ann Smith"), QStringLiteral("Bob Stone")}},
        {"Res", {QStringLiteral("Dan Miller")}},
        {"search", {}},
        // A number finds an equal amount whatever its written form.
        {"12.50", {QStringLiteral("Cara Jones")}},
        {"12.5", {QStringLiteral("Cara Jones")}},
        {"12.6", {}},
        {"budg", {QStringLiteral("Cara Jones")}},
        {"gold", {QStringLiteral("Eve Black")}},
        {"blue t", {QStringLiteral("Eve Black")}},
        {"acme", {QStringLiteral("Dan Miller")}},
        {"JONES", {QStringLiteral("Cara Jones")}},
        // Accents and case do not decide.
        {"emile", {QStringLiteral("Émile Zola")}},
        {"ÉMILE", {QStringLiteral("Émile Zola")}},
        {"nobody", {}},
    };
    for (const Case &c : cases) {
        const QString text = QString::fromUtf8(c.text);
        EXPECT_EQ(search(text), c.expected) << c.text;
    }
    EXPECT_EQ(search(QString()).size(), 6);
}

TEST_F(ContactsSearchTest, PassesRunOnTheFilterQueueAndLandOnTheMainThread)
{
    // Hold the filter queue: nothing of a search may change the list until the queue runs it.
    std::mutex gate;
    gate.lock();
    queue->async([&] { std::lock_guard wait(gate); });
    const QList<Person *> before = source->arrangedObjects();
    source->searchResultsWithString(QStringLiteral("a"));
    source->searchResultsWithString(QStringLiteral("zo"));
    EXPECT_TRUE(source->isFiltering());
    QCoreApplication::processEvents();
    EXPECT_EQ(source->arrangedObjects(), before);
    EXPECT_TRUE(delegate.updates.isEmpty());
    gate.unlock();
    source->finishPendingWork();
    EXPECT_FALSE(source->isFiltering());
    // The superseded pass is dropped: one update, with the newest text, on the main thread.
    EXPECT_EQ(delegate.updates, QList<bool>{true});
    EXPECT_TRUE(delegate.onMainThread);
    EXPECT_EQ(namesOf(source->arrangedObjects()), QStringList{QStringLiteral("Émile Zola")});
}

TEST_F(ContactsSearchTest, GroupAndSearchCombineAndClearSeparately)
{
    PrivateGroups *group = insert<PrivateGroups>();
    group->addMembersObject(ann);
    group->addMembersObject(bob);
    group->addMembersObject(cara);
    save(context);

    source->setContactsFilterPredicateByPrivateGroup(group);
    source->finishPendingWork();
    EXPECT_EQ(delegate.updates.last(), false);
    EXPECT_EQ(namesOf(source->arrangedObjects()),
              (QStringList{QStringLiteral("Ann Smith"), QStringLiteral("Bob Stone"), QStringLiteral("Cara Jones")}));

    EXPECT_EQ(search(QStringLiteral("sm")), QStringList{QStringLiteral("Ann Smith")});
    ASSERT_TRUE(source->filterPredicate().has_value());
    EXPECT_EQ(source->filterPredicate()->kind(), platform::store::Predicate::Kind::And);
    EXPECT_EQ(source->filterPredicate()->node().children.size(), 2u);

    // An empty text removes only the search.
    EXPECT_EQ(search(QString()).size(), 3);
    EXPECT_TRUE(source->groupsPredicate().has_value());

    // The account filter stands alone until the next search or group choice.
    source->setContactsFilterPredicateByGroupSource(QString(), {});
    EXPECT_EQ(source->arrangedObjects().size(), 6);
    EXPECT_TRUE(source->groupsPredicate().has_value());

    source->setContactsFilterPredicateByPrivateGroup(nullptr);
    source->finishPendingWork();
    EXPECT_EQ(source->arrangedObjects().size(), 6);
    EXPECT_FALSE(source->filterPredicate().has_value());
}

TEST_F(ContactsSearchTest, PublicGroupListsTheLinkedPublicContacts)
{
    auto &settings = SharedSettingController::sharedSettings();
    settings.setContactReferenceID(QStringLiteral("AB-1"), ann->objectID());
    settings.setContactReferenceID(QStringLiteral("AB-2"), bob->objectID());
    ann->setGuid(QStringLiteral("guid-ann"));
    bob->setGuid(QStringLiteral("guid-bob"));
    bob->setIsContactPrivate(true);
    save(context);
    source->setContactsFilterPredicateByPublicGroup(
        {QStringLiteral("G"), {QStringLiteral("AB-1"), QStringLiteral("AB-2"), QStringLiteral("AB-unlinked")}});
    source->finishPendingWork();
    EXPECT_EQ(namesOf(source->arrangedObjects()), QStringList{QStringLiteral("Ann Smith")});
}

TEST_F(ContactsSearchTest, UnsavedContactsAreJudgedAsTheyAreNow)
{
    Person *quinn = addPerson(QStringLiteral("Quinn"), QStringLiteral("Hale"));
    bob->setNotesField(QString()); // not saved: the store still has the old note
    context->processPendingChanges();
    EXPECT_EQ(search(QStringLiteral("quinn")), QStringList{QStringLiteral("Quinn Hale")});
    EXPECT_EQ(search(QStringLiteral("ager")), QStringList{});
    Q_UNUSED(quinn)
}

TEST_F(ContactsSearchTest, ADeletedContactLeavesItsRowAndAnEmptiedSectionGoes)
{
    QString key;
    qsizetype row = -1;
    ASSERT_TRUE(source->locateContact(eve, &key, &row));
    EXPECT_EQ(key, QStringLiteral("B"));
    const qsizetype sectionIndex = source->alphabetsUsed().indexOf(key);
    source->setSelectContactInSource({eve});
    context->deleteObject(eve);
    context->processPendingChanges();
    ASSERT_EQ(delegate.removals.size(), 1);
    EXPECT_EQ(delegate.removals[0].key, QStringLiteral("B"));
    EXPECT_EQ(delegate.removals[0].section, sectionIndex);
    EXPECT_FALSE(source->alphabetsUsed().contains(QStringLiteral("B")));
    EXPECT_EQ(source->selectedContactInSource(), nullptr);
    save(context);
    // A pass started before the deletion must not bring the record back.
    EXPECT_EQ(search(QStringLiteral("e")).contains(QStringLiteral("Eve Black")), false);
}

TEST_F(ContactsSearchTest, SelectionFollowsTheChosenContacts)
{
    source->setSelectContactInSource({ann});
    EXPECT_EQ(source->selectedContactInSource(), ann);
    source->setSelectContactInSource({ann, bob});
    EXPECT_EQ(source->selectedContactInSource(), nullptr);
    EXPECT_EQ(source->selectedObjects().size(), 2);
    source->setSelectContactInSource({});
    EXPECT_EQ(source->selectedContactInSource(), nullptr);
}

} // namespace
