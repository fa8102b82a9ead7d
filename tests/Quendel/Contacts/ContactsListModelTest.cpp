#include "ContactsFixture.h"

#include "Mac/Contacts/ContactsListItemModel.h"

#include <QAbstractItemModelTester>
#include <QSignalSpy>

namespace {

using namespace contacts_test;
using Kind = ContactsListDisplaySource::Item::Kind;

class ContactsListModelTest : public ContactsStoreTest
{
protected:
    void SetUp() override
    {
        ContactsStoreTest::SetUp();
        for (const char *name : {"Ada Lamb", "Al Lane", "Bea Moss", "Ben Mott", "Cy Nash", "Dee North", "Eli Oak"}) {
            const QStringList parts = QString::fromLatin1(name).split(QLatin1Char(' '));
            people << addPerson(parts[0], parts[1]);
        }
        save(context);
        source = std::make_unique<ContactsListDisplaySource>();
        source->setManagedObjectContext(context);
        source->awakeFromNib();
        source->resetDatasource();
        model = std::make_unique<ContactsListItemModel>(source.get());
        tester = std::make_unique<QAbstractItemModelTester>(model.get(),
                                                            QAbstractItemModelTester::FailureReportingMode::Fatal);
        inserted = std::make_unique<QSignalSpy>(model.get(), &QAbstractItemModel::rowsInserted);
        moved = std::make_unique<QSignalSpy>(model.get(), &QAbstractItemModel::rowsMoved);
        removed = std::make_unique<QSignalSpy>(model.get(), &QAbstractItemModel::rowsRemoved);
        resets = std::make_unique<QSignalSpy>(model.get(), &QAbstractItemModel::modelReset);
    }
    void TearDown() override
    {
        inserted.reset();
        moved.reset();
        removed.reset();
        resets.reset();
        tester.reset();
        model.reset();
        source.reset();
        ContactsStoreTest::TearDown();
    }

    // The model's tree in the form sectionsOf() gives the list's sections; the footer row is checked too.
    QStringList modelSections() const
    {
        QStringList out;
        const int top = model->rowCount();
        for (int s = 0; s < top; ++s) {
            const QModelIndex section = model->index(s, 0);
            const auto kind = Kind(section.data(ContactsListItemModel::ItemKindRole).toInt());
            if (kind == Kind::Footer) {
                EXPECT_EQ(s, top - 1);
                continue;
            }
            QStringList names;
            for (int r = 0; r < model->rowCount(section); ++r) {
                const QModelIndex row = model->index(r, 0, section);
                EXPECT_EQ(row.parent(), section);
                EXPECT_EQ(row.data(ContactsListItemModel::RowIndexInSectionRole).toInt(), r);
                names << row.data().toString();
            }
            out << section.data().toString() + QStringLiteral(": ") + names.join(QStringLiteral(", "));
        }
        return out;
    }

    void rename(Person *person, const QString &first, const QString &last)
    {
        person->setFirstName(first);
        person->setLastName(last);
        person->setDisplayName(first + QLatin1Char(' ') + last);
        const QString sorting = last + QLatin1Char(' ') + first;
        person->setNormalizedDisplayName(NormalizedStringTransformer::normalizeString(sorting));
        person->setNormalizedSectionLetter(sectionKeyFor(sorting, QString(), false));
    }

    void resync()
    {
        inserted->clear();
        moved->clear();
        removed->clear();
        resets->clear();
        source->resetDatasource();
        model->synchronize();
        EXPECT_EQ(modelSections(), sectionsOf(*source));
    }

    QList<Person *> people;
    std::unique_ptr<ContactsListDisplaySource> source;
    std::unique_ptr<ContactsListItemModel> model;
    std::unique_ptr<QAbstractItemModelTester> tester;
    std::unique_ptr<QSignalSpy> inserted, moved, removed, resets;
};

TEST_F(ContactsListModelTest, StartsWithTheSectionsAndTheFooter)
{
    EXPECT_EQ(modelSections(), sectionsOf(*source));
    EXPECT_EQ(model->rowCount(), 4 + 1);
    const QModelIndex footer = model->footerIndex();
    EXPECT_EQ(Kind(footer.data(ContactsListItemModel::ItemKindRole).toInt()), Kind::Footer);
    EXPECT_EQ(footer.data().toString(), QStringLiteral("7 Contacts"));
    // Keys and the footer cannot be chosen; contacts can.
    EXPECT_FALSE(model->flags(model->index(0, 0)).testFlag(Qt::ItemIsSelectable));
    EXPECT_FALSE(model->flags(footer).testFlag(Qt::ItemIsSelectable));
    EXPECT_TRUE(model->flags(model->index(0, 0, model->index(0, 0))).testFlag(Qt::ItemIsSelectable));
    EXPECT_EQ(model->index(0, 0).data(Qt::SizeHintRole).toSize().height(), ContactsListItemModel::SectionRowHeight);
    EXPECT_EQ(model->index(0, 0, model->index(0, 0)).data(Qt::SizeHintRole).toSize().height(),
              ContactsListItemModel::ContactRowHeight);
}

TEST_F(ContactsListModelTest, ChangesArriveAsMovesInsertsAndRemovals)
{
    // Within a section: Ada Lamb becomes Ada Loft, after Al Lane.
    rename(people[0], QStringLiteral("Ada"), QStringLiteral("Loft"));
    resync();
    EXPECT_EQ(moved->size(), 1);
    EXPECT_EQ(inserted->size() + removed->size() + resets->size(), 0);

    // To another section that exists: Bea Moss becomes Bea Nye.
    const QPersistentModelIndex bea = model->indexForPerson(people[2]);
    rename(people[2], QStringLiteral("Bea"), QStringLiteral("Nye"));
    resync();
    EXPECT_GE(moved->size(), 1);
    EXPECT_EQ(inserted->size() + removed->size() + resets->size(), 0);
    ASSERT_TRUE(bea.isValid());
    EXPECT_EQ(bea.parent().data().toString(), QStringLiteral("N"));

    // A new contact in a new section: the section, then its row.
    addPerson(QStringLiteral("Kim"), QStringLiteral("Park"));
    context->processPendingChanges();
    resync();
    ASSERT_EQ(inserted->size(), 2);
    EXPECT_FALSE(inserted->at(0).at(0).value<QModelIndex>().isValid());
    EXPECT_EQ(inserted->at(1).at(0).value<QModelIndex>().data().toString(), QStringLiteral("P"));

    // The only contact of a section is deleted: its row and its section go.
    context->deleteObject(people[6]); // Eli Oak
    context->processPendingChanges();
    resync();
    EXPECT_EQ(resets->size(), 0);
    EXPECT_GE(removed->size(), 1);
    EXPECT_FALSE(sectionsOf(*source).join(QLatin1Char('|')).contains(QStringLiteral("O:")));
    save(context);
    EXPECT_EQ(modelSections(), sectionsOf(*source));
}

TEST_F(ContactsListModelTest, LargeChangesAreAReset)
{
    for (int i = 0; i < ContactsListItemModel::MaxSteps + 10; ++i)
        addPerson(QStringLiteral("P%1").arg(i), QStringLiteral("Quill"));
    save(context);
    source->refetchArrayController();
    resync();
    EXPECT_EQ(resets->size(), 1);
    EXPECT_EQ(inserted->size(), 0);
}

TEST_F(ContactsListModelTest, RemovingARowOrASectionTheListAlreadyDropped)
{
    // As the list's deletion handling reports it.
    context->deleteObject(people[4]); // Cy Nash, N has Dee North left
    context->processPendingChanges();
    model->removeRow(0, QStringLiteral("N"), -1);
    EXPECT_EQ(modelSections(), sectionsOf(*source));
    context->deleteObject(people[5]);
    context->processPendingChanges();
    model->removeRow(0, QStringLiteral("N"), 2);
    EXPECT_EQ(modelSections(), sectionsOf(*source));
    // Nothing to go by: everything is reloaded.
    model->removeRow(ContactsListDisplaySource::NotFound, QString(), -1);
    EXPECT_EQ(resets->size(), 1);
    EXPECT_EQ(modelSections(), sectionsOf(*source));
}

} // namespace
