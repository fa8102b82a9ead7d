#include "ContactsFixture.h"

#include "Mac/Contacts/MacContactsViewController.h"

#include "QuendelKit/AddressBook/VCardAddressBookBridge.h"
#include "QuendelKit/Entities/Phones.h"
#include "QuendelKit/Entities/PrivateGroups.h"
#include "QuendelKit/Settings/SharedSettingController.h"

#include "platform/contacts/AddressBook.h"
#include "platform/ui/AlertPresenter.h"

#include <QFile>
#include <QMenu>
#include <QTemporaryDir>
#include <QTest>

namespace {

using namespace contacts_test;
namespace ab = platform::contacts;
using platform::ui::AlertAnswer;
using platform::ui::AlertPresenter;

QString dataFile(const QString &name)
{
    return qEnvironmentVariable("QUENDEL_TEST_DATA") + QStringLiteral("/contacts/") + name;
}

class VCardImportTest : public ContactsStoreTest
{
protected:
    void SetUp() override
    {
        ContactsStoreTest::SetUp();
        AlertPresenter::shared().setBlockingForbidden(true);
        AlertPresenter::shared().clearAnswers();
        AlertPresenter::shared().clearShownAlerts();
        ASSERT_TRUE(folder.isValid());
        book = std::make_shared<ab::AddressBook>(folder.path() + QStringLiteral("/contacts"));
        ASSERT_TRUE(book->load());
        VCardAddressBookBridge::installFor(book);
        window = std::make_unique<QWidget>();
        section = new MacContactsViewController(context, window.get());
        section->loadViewIfNeeded();
        window->show();
        QCoreApplication::processEvents();
    }
    void TearDown() override
    {
        window.reset();
        PersonAddressBookBridge::install(nullptr);
        SharedSettingController::setContactsBridge(nullptr);
        AlertPresenter::shared().clearAnswers();
        ContactsStoreTest::TearDown();
    }

    // Imports the file, answering its questions in order, and waits for the alerts to be answered.
    void import(const QString &file, const QList<AlertAnswer> &answers)
    {
        for (const AlertAnswer &answer : answers)
            AlertPresenter::shared().setNextAnswer(answer);
        section->importvCardFile(dataFile(file));
        EXPECT_TRUE(QTest::qWaitFor([] { return AlertPresenter::shared().pendingAnswerCount() == 0; }, 2000));
        QTest::qWait(20);
    }

    QStringList storedNames()
    {
        platform::store::ContextPtr fresh = newContext();
        QStringList names;
        for (Person *person : Person::getAllPersonsWithContext(fresh.get()))
            names << person->displayName() + (person->isContactPrivate() ? QStringLiteral(" (private)") : QString());
        names.sort();
        return names;
    }

    QStringList alertTitles() const
    {
        QStringList titles;
        for (const platform::ui::ShownAlert &alert : AlertPresenter::shared().shownAlerts())
            titles << alert.spec.messageText;
        return titles;
    }

    QTemporaryDir folder;
    std::shared_ptr<ab::AddressBook> book;
    std::unique_ptr<QWidget> window;
    MacContactsViewController *section = nullptr;
};

TEST_F(VCardImportTest, EachAnswerToTheQuestionAddsTheCardsItsOwnWay)
{
    struct Case
    {
        const char *name;
        QString file;
        QList<AlertAnswer> answers;
        QStringList stored;
        QStringList groups;     // private group: its members
        int newBookRecords;
        QStringList alerts;
    };
    const QString ask = QStringLiteral("Import 2 contacts from vCard");
    const QString askThree = QStringLiteral("Import 3 contacts from vCard");
    const QString prompt = QStringLiteral("Enter name for new group");
    const QList<Case> cases = {
        {"good file, private", QStringLiteral("import-two-cards.vcf"), {AlertAnswer::button(0)},
         {QStringLiteral("Ann Archer (private)"), QStringLiteral("Ben Baker (private)")}, {}, 0, {ask}},
        {"good file, private into a new group named after nothing but the user's text",
         QStringLiteral("import-two-cards.vcf"), {AlertAnswer::button(1), AlertAnswer::withText(0, QStringLiteral("Bakery"))},
         {QStringLiteral("Ann Archer (private)"), QStringLiteral("Ben Baker (private)")},
         {QStringLiteral("Bakery: Ann Archer, Ben Baker")}, 0, {ask, prompt}},
        {"good file, into the address book", QStringLiteral("import-two-cards.vcf"), {AlertAnswer::button(2)},
         {QStringLiteral("Ann Archer"), QStringLiteral("Ben Baker")}, {}, 2, {ask}},
        {"good file, cancelled", QStringLiteral("import-two-cards.vcf"), {AlertAnswer::button(3)}, {}, {}, 0, {ask}},
        {"the same card twice and a card without a name: both copies, the nameless one as the list shows it",
         QStringLiteral("import-duplicate.vcf"), {AlertAnswer::button(0)},
         {QStringLiteral("Dora Dupe (private)"), QStringLiteral("Dora Dupe (private)"), QStringLiteral("No Name (private)")},
         {}, 0, {askThree}},
        {"a truncated file: nothing imported, the user told", QStringLiteral("import-broken.vcf"), {}, {}, {}, 0,
         {QStringLiteral("Error")}},
        {"a missing file", QStringLiteral("no-such-file.vcf"), {}, {}, {}, 0, {QStringLiteral("Error")}},
        {"text that is no vCard: nothing imported, the user told", QStringLiteral("import-not-a-card.vcf"), {}, {}, {},
         0, {QStringLiteral("Error")}},
        {"a group card is no contact", QStringLiteral("group-v4.vcf"), {AlertAnswer::button(0)}, {}, {}, 0,
         {QStringLiteral("Import 0 contacts from vCard")}},
        {"a blank file still asks, and a new group is made empty", QStringLiteral("import-blank.vcf"),
         {AlertAnswer::button(1), AlertAnswer::withText(0, QStringLiteral("Nobody yet"))}, {},
         {QStringLiteral("Nobody yet: ")}, 0, {QStringLiteral("Import 0 contacts from vCard"), prompt}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        for (Person *person : Person::getAllPersonsWithContext(context.get()))
            context->deleteObject(person);
        for (PrivateGroups *group : PrivateGroups::loadAllPrivateGroupsWithMOC(context.get()))
            context->deleteObject(group);
        save(context);
        AlertPresenter::shared().clearShownAlerts();
        const qsizetype recordsBefore = book->people().size();
        const QByteArray fileBefore = [&] {
            QFile f(dataFile(c.file));
            return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
        }();

        import(c.file, c.answers);

        EXPECT_EQ(storedNames(), c.stored);
        QStringList groups;
        const platform::store::ContextPtr reader = newContext();
        for (PrivateGroups *group : PrivateGroups::loadAllPrivateGroupsWithMOC(reader.get())) {
            QStringList members;
            for (Person *member : group->members())
                members << member->displayName();
            members.sort();
            groups << group->groupName() + QStringLiteral(": ") + members.join(QStringLiteral(", "));
        }
        EXPECT_EQ(groups, c.groups);
        EXPECT_EQ(book->people().size() - recordsBefore, c.newBookRecords);
        EXPECT_EQ(alertTitles(), c.alerts);
        // The file read is never changed.
        QFile after(dataFile(c.file));
        if (after.open(QIODevice::ReadOnly)) {
            EXPECT_EQ(after.readAll(), fileBefore);
        }
    }
    // The error names the reader's code for a truncated card.
    AlertPresenter::shared().clearShownAlerts();
    import(QStringLiteral("import-broken.vcf"), {});
    ASSERT_FALSE(AlertPresenter::shared().shownAlerts().isEmpty());
    EXPECT_EQ(AlertPresenter::shared().shownAlerts().last().spec.informativeText,
              QStringLiteral("There was an error importing contacts from vcard - 4602"));
}

TEST_F(VCardImportTest, CardsKeepTheirDetailsAndAPublicContactIsLinkedToItsNewRecord)
{
    import(QStringLiteral("import-two-cards.vcf"), {AlertAnswer::button(2)});
    platform::store::ContextPtr fresh = newContext();
    Person *ann = nullptr;
    for (Person *person : Person::getAllPersonsWithContext(fresh.get())) {
        if (person->displayName() == QLatin1String("Ann Archer"))
            ann = person;
    }
    ASSERT_NE(ann, nullptr);
    ASSERT_EQ(ann->phones().size(), 1);
    EXPECT_EQ(ann->phones().first()->phoneNumber(), QStringLiteral("+41 44 555 01 01"));
    const QString link = PersonAddressBookBridge::shared().macUniqueIdentifier(*ann);
    ASSERT_FALSE(link.isEmpty());
    // A record of its own, not the identifier the card came with.
    EXPECT_NE(link, QStringLiteral("import-ann-0001"));
    ASSERT_TRUE(book->recordForUniqueId(link).has_value());
}

TEST_F(VCardImportTest, ATakenGroupNameIsAskedForAgainWithTheFileName)
{
    auto *existing = insert<PrivateGroups>();
    existing->setGroupName(QStringLiteral("Bakery"));
    existing->setGroupDisplayOrder(1);
    save(context);
    import(QStringLiteral("import-two-cards.vcf"),
           {AlertAnswer::button(1), AlertAnswer::withText(0, QStringLiteral("Bakery")), AlertAnswer::button(0),
            AlertAnswer::button(1)});
    const QList<platform::ui::ShownAlert> &shown = AlertPresenter::shared().shownAlerts();
    ASSERT_EQ(shown.size(), 4);
    EXPECT_EQ(shown.at(2).spec.messageText, QStringLiteral("Group Name Exists"));
    EXPECT_EQ(shown.at(3).spec.accessoryText, QStringLiteral("import-two-cards.vcf"));
    EXPECT_TRUE(storedNames().isEmpty());
    const platform::store::ContextPtr reader = newContext();
    EXPECT_EQ(PrivateGroups::loadAllPrivateGroupsWithMOC(reader.get()).size(), 1);
}

} // namespace
