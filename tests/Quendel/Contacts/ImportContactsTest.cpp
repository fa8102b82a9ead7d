#include "Mac/Contacts/ImportMultipleContactsViewController.h"

#include "QuendelKit/AddressBook/VCardAddressBookBridge.h"
#include "QuendelKit/Entities/EntityStoreFixture.h"
#include "QuendelKit/Entities/Person.h"
#include "QuendelKit/Settings/SharedSettingController.h"

#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

using namespace quendel::test;
namespace ab = platform::contacts;

namespace {

ab::ContactRecord record(const QString &first, const QString &last, const QString &company = {})
{
    ab::ContactRecord r;
    r.setStringValue(ab::property::FirstName, first);
    r.setStringValue(ab::property::LastName, last);
    r.setStringValue(ab::property::Organization, company);
    return r;
}

QStringList shown(const ImportContactsDisplaySource &source)
{
    QStringList out;
    for (const QString &letter : source.alphabetsUsed()) {
        out << letter;
        for (int index : source.itemsForLetter(letter))
            out << source.item(index).fullname + QLatin1Char('/') + source.item(index).company;
    }
    return out;
}

} // namespace

TEST(ImportContactsDisplaySource, NamesLettersAndSections)
{
    const ab::ContactRecord titled = [] {
        ab::ContactRecord r = record(QStringLiteral("Ann"), QStringLiteral("Lee"));
        r.setStringValue(ab::property::Title, QStringLiteral("Dr."));
        r.setStringValue(ab::property::MiddleName, QStringLiteral("B"));
        r.setStringValue(ab::property::Suffix, QStringLiteral("Jr."));
        return r;
    }();
    EXPECT_EQ(ImportContactsDisplaySource::getCustomCompositeName(titled, 0), QStringLiteral("Dr. Ann B Lee Jr."));
    EXPECT_EQ(ImportContactsDisplaySource::getCustomCompositeName(titled, 1), QStringLiteral("Dr. Lee Ann B Jr."));
    EXPECT_EQ(ImportContactsDisplaySource::getCustomCompositeName(titled, 5), QString());

    struct Case
    {
        ab::ContactRecord record;
        qint64 sortOrder;
        const char *letter;
    };
    const QList<Case> cases = {
        {record(QStringLiteral("émile"), QStringLiteral("Zola")), 0, "É"},
        {record(QString(), QString(), QStringLiteral("3M")), 0, "#"},
        {record(QString(), QString(), QStringLiteral("3M")), 2, "3"},
        {record(QStringLiteral("Ann"), QStringLiteral("lee")), 1, "L"},
        {record(QStringLiteral("Ann"), QStringLiteral("\u5B8F")), 1, "#"}, // a letter without case
        {record(QStringLiteral("Ann"), QString()), 2, "#"},
        {record(QStringLiteral("Ann"), QStringLiteral("Lee")), 7, "#"},
    };
    for (const Case &c : cases)
        EXPECT_EQ(ImportContactsDisplaySource::calculateInitialCharacter(
                      c.record, ImportContactsDisplaySource::getCustomCompositeName(c.record, 0), c.sortOrder),
                  QString::fromUtf8(c.letter));

    ImportContactsDisplaySource source({record(QStringLiteral("bob"), QStringLiteral("B")),
                                        record(QStringLiteral("Bea"), QStringLiteral("C")),
                                        record(QString(), QString(), QStringLiteral("9 Lives")), record(QString(), QString()),
                                        record(QStringLiteral("Al"), QStringLiteral("A"), QStringLiteral("Acme Works"))},
                                       {}, 0, 0);
    // "#" last; within a letter a case-sensitive order; the empty record is not offered.
    EXPECT_EQ(shown(source), (QStringList{"A", "Al A/Acme Works", "B", "Bea C/", "bob B/", "#", "/9 Lives"}));
}

TEST(ImportContactsDisplaySource, SearchSelectAllAndCheckOrder)
{
    const ab::ContactRecord a = record(QStringLiteral("Al"), QStringLiteral("A"), QStringLiteral("Acme Works"));
    const ab::ContactRecord b = record(QStringLiteral("Bea"), QStringLiteral("C"));
    const ab::ContactRecord c = record(QStringLiteral("Cy"), QStringLiteral("D"), QStringLiteral("acme labs"));
    const ab::ContactRecord d = record(QStringLiteral("Di"), QStringLiteral("E"));
    ImportContactsDisplaySource source({a, b, c, d}, {d.uniqueId()}, 0, 0);
    source.toggle(1); // Bea
    source.searchResultsWithString(QStringLiteral("ACME"));
    EXPECT_EQ(shown(source), (QStringList{"A", "Al A/Acme Works", "C", "Cy D/acme labs"}));
    source.selectAll();
    source.searchResultsWithString(QString());
    EXPECT_EQ(source.alphabetsUsed().size(), 4);
    EXPECT_TRUE(source.item(1).checked); // marks survive the search
    EXPECT_TRUE(source.item(3).already_selected);
    EXPECT_EQ(source.selectedIdentifiers(), (QStringList{b.uniqueId(), a.uniqueId(), c.uniqueId()}));
    source.toggle(3); // already imported: stays as it is
    EXPECT_TRUE(source.item(3).checked);
}

class ImportBatchesTest : public EntityStoreTest
{
protected:
    void TearDown() override
    {
        PersonAddressBookBridge::install(nullptr);
        SharedSettingController::setContactsBridge(nullptr);
        EntityStoreTest::TearDown();
    }
};

// 1,200 people: batches close after the indices 500 and 1000 and at the end.
TEST_F(ImportBatchesTest, TwelveHundredPeopleInThreeBatches)
{
    QTemporaryDir folder;
    auto book = std::make_shared<ab::AddressBook>(folder.path() + QStringLiteral("/contacts"));
    ASSERT_TRUE(book->load());
    QStringList ids;
    for (int i = 0; i < 1200; ++i) {
        ab::ContactRecord r = record(QStringLiteral("P%1").arg(i), QStringLiteral("Q"));
        book->setRecord(r);
        ids << r.uniqueId();
    }
    ASSERT_TRUE(book->save());
    auto bridge = VCardAddressBookBridge::installFor(book);
    QList<int> batches;
    const QList<platform::store::ManagedObjectID> created =
        ImportMultipleContactsViewController::importContacts(context, *bridge, ids, &batches);
    EXPECT_EQ(batches, (QList<int>{501, 500, 199}));
    ASSERT_EQ(created.size(), 1200);
    auto *first = dynamic_cast<Person *>(context->objectWithID(created.first()));
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first->firstName(), QStringLiteral("P0"));
    EXPECT_FALSE(created.last().isTemporaryID());
    EXPECT_EQ(bridge->macUniqueIdentifier(*first), ids.first());
}

// Import in the window: the work runs off the main thread, which keeps serving events; the window holds
// still until the contacts are stored, then reports them under their stored identifiers.
TEST_F(ImportBatchesTest, TheWindowImportsInTheBackgroundAndReportsStoredContacts)
{
    QTemporaryDir folder;
    auto book = std::make_shared<ab::AddressBook>(folder.path() + QStringLiteral("/contacts"));
    ASSERT_TRUE(book->load());
    QStringList ids;
    for (int i = 0; i < 40; ++i) {
        ab::ContactRecord r = record(QStringLiteral("W%1").arg(i), QStringLiteral("Q"));
        book->setRecord(r);
        ids << r.uniqueId();
    }
    ASSERT_TRUE(book->save());
    auto bridge = VCardAddressBookBridge::installFor(book);

    auto *window = new ImportMultipleContactsViewController(context, bridge);
    QList<platform::store::ManagedObjectID> reported;
    bool finished = false;
    window->setFinishedHandler([&](const QList<platform::store::ManagedObjectID> &created) {
        reported = created;
        finished = true;
    });
    QPointer<ImportMultipleContactsViewController> alive(window);
    window->show();
    QPushButton *selectAll = nullptr;
    QPushButton *import = nullptr;
    for (QPushButton *button : window->findChildren<QPushButton *>()) {
        if (button->accessibleName() == QLatin1String("Select All"))
            selectAll = button;
        if (button->accessibleName() == QLatin1String("Import"))
            import = button;
    }
    ASSERT_NE(selectAll, nullptr);
    ASSERT_NE(import, nullptr);
    selectAll->click();
    import->click();
    // The click returns at once: the window shows it is busy and takes no second import or cancel.
    EXPECT_FALSE(import->isEnabled());
    EXPECT_TRUE(window->progressIndicator()->isVisible());
    window->reject();
    EXPECT_TRUE(alive);
    ASSERT_TRUE(QTest::qWaitFor([&] { return finished; }, 20000));
    EXPECT_EQ(reported.size(), 40);
    for (const platform::store::ManagedObjectID &id : reported) {
        EXPECT_FALSE(id.isTemporaryID());
        auto *person = dynamic_cast<Person *>(context->objectWithID(id));
        ASSERT_NE(person, nullptr);
        EXPECT_EQ(bridge->macUniqueIdentifier(*person), ids.at(person->firstName().mid(1).toInt()));
    }
    EXPECT_FALSE(context->hasChanges());
    QTest::qWait(20);
    EXPECT_FALSE(alive) << "the window closes itself";
}
