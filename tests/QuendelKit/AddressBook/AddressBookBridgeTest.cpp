#include "QuendelKit/AddressBook/VCardAddressBookBridge.h"
#include "QuendelKit/Entities/EntityStoreFixture.h"

#include "QuendelKit/Entities/Emails.h"
#include "QuendelKit/Entities/Person.h"
#include "QuendelKit/Entities/PersonAddress.h"
#include "QuendelKit/Entities/PersonInfo.h"
#include "QuendelKit/Entities/PersonWebsite.h"
#include "QuendelKit/Entities/Phones.h"
#include "QuendelKit/Settings/SharedSettingController.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

using namespace quendel::test;
namespace ab = platform::contacts;
using Kind = PersonAddressBookBridge::DetailKind;

namespace {

class BridgeTest : public EntityStoreTest
{
protected:
    void SetUp() override
    {
        EntityStoreTest::SetUp();
        book = std::make_shared<ab::AddressBook>(folder.path() + QStringLiteral("/contacts"));
        ASSERT_TRUE(book->load());
        bridge = VCardAddressBookBridge::installFor(book);
    }
    void TearDown() override
    {
        PersonAddressBookBridge::install(nullptr);
        SharedSettingController::setContactsBridge(nullptr);
        EntityStoreTest::TearDown();
    }

    QString collection() const { return book->defaultCollectionPath(); }
    QByteArray cardFile(const QString &uid) const
    {
        QFile file(collection() + QLatin1Char('/') + uid + QStringLiteral(".vcf"));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    // The numbers on the card's phone lines (a bare search of the file would also find them in its
    // identifier or its time stamp).
    QStringList phonesOnCard(const QString &uid) const
    {
        QStringList numbers;
        for (const QByteArray &line : cardFile(uid).split('\n')) {
            if (line.startsWith("TEL"))
                numbers << QString::fromUtf8(line.mid(line.lastIndexOf(':') + 1)).trimmed();
        }
        return numbers;
    }

    ab::ContactRecord saveRecord(const std::function<void(ab::ContactRecord &)> &fill)
    {
        ab::ContactRecord r;
        fill(r);
        book->setRecord(r);
        EXPECT_TRUE(book->save());
        return *book->recordForUniqueId(r.uniqueId());
    }

    Person *importRecord(const ab::ContactRecord &record)
    {
        auto *person = insert<Person>();
        EXPECT_TRUE(bridge->updatePersonWithABRecord(*person, record));
        EXPECT_TRUE(context->save());
        bridge->setMacUniqueIdentifier(*person, record.uniqueId()); // now under the saved identifier
        return person;
    }

public:
    static ab::MultiValue values(const QList<QPair<QString, QString>> &labelled)
    {
        ab::MultiValue mv;
        for (const auto &[label, value] : labelled)
            mv.add(value, label);
        return mv;
    }

protected:
    QTemporaryDir folder;
    std::shared_ptr<ab::AddressBook> book;
    std::shared_ptr<VCardAddressBookBridge> bridge;
};

QStringList phonesOf(const Person *person)
{
    QStringList out;
    for (Phones *p : person->phones())
        if (!p->isDeleted())
            out << p->label() + QLatin1Char('=') + p->phoneNumber();
    out.sort();
    return out;
}

} // namespace

TEST(AddressBookHash, GoldenValuesAndOrderIndependence)
{
    EXPECT_EQ(VCardAddressBookBridge::textHash(QString()), 0u);
    EXPECT_EQ(VCardAddressBookBridge::textHash(QStringLiteral("")), 0u);
    // FNV-1a 64 over UTF-16 code units: shared between devices, so it must never change.
    EXPECT_EQ(VCardAddressBookBridge::textHash(QStringLiteral("a")), 0xaf63dc4c8601ec8cULL);
    EXPECT_EQ(VCardAddressBookBridge::textHash(QStringLiteral("foobar")), 0x85944171f73967e8ULL);

    ab::ContactRecord a;
    a.setStringValue(ab::property::FirstName, QStringLiteral("Ann"));
    a.setStringValue(ab::property::LastName, QStringLiteral("Lee"));
    a.setMultiValue(ab::property::Phone, BridgeTest::values({{"mobile", "1"}, {"work", "2"}}));
    ab::ContactRecord b;
    b.setStringValue(ab::property::FirstName, QStringLiteral("Lee")); // names exchanged
    b.setStringValue(ab::property::LastName, QStringLiteral("Ann"));
    b.setMultiValue(ab::property::Phone, BridgeTest::values({{"work", "2"}, {"mobile", "1"}}));
    EXPECT_EQ(VCardAddressBookBridge::customHashForABRecord(a), VCardAddressBookBridge::customHashForABRecord(b));
    EXPECT_EQ(VCardAddressBookBridge::customHashForABRecord(ab::ContactRecord()), 0u);
    ab::ContactRecord twice = a;
    twice.setMultiValue(ab::property::Phone, BridgeTest::values({{"mobile", "1"}, {"work", "2"}, {"x", "9"}, {"x", "9"}}));
    EXPECT_EQ(VCardAddressBookBridge::customHashForABRecord(twice), VCardAddressBookBridge::customHashForABRecord(a));
}

TEST_F(BridgeTest, ImportCopiesEverythingAndThePersonHashesLikeItsRecord)
{
    const ab::ContactRecord record = saveRecord([](ab::ContactRecord &r) {
        r.setStringValue(ab::property::FirstName, QStringLiteral("Ada"));
        r.setStringValue(ab::property::LastName, QStringLiteral("Lovelace"));
        r.setStringValue(ab::property::Organization, QStringLiteral("Engines"));
        r.setStringValue(ab::property::Note, QStringLiteral("note"));
        r.setStringValue(ab::property::Nickname, QStringLiteral("Countess"));
        r.setStringValue(ab::property::JobTitle, QStringLiteral("Analyst"));
        r.setBirthday(ab::PartialDate{0, 12, 10});
        r.setMultiValue(ab::property::Phone, BridgeTest::values({{"mobile", "+44 1"}, {"my label", "2"}}));
        r.setMultiValue(ab::property::Email, BridgeTest::values({{"work", "ada@example.com"}}));
        r.setMultiValue(ab::property::URLs, BridgeTest::values({{"home page", "https://ada.example"}}));
        ab::MultiValue addresses;
        addresses.add(QVariantMap{{ab::address_key::Street, "1 Main St"}, {ab::address_key::City, "London"}},
                      QStringLiteral("home"));
        r.setMultiValue(ab::property::Address, addresses);
    });
    Person *person = importRecord(record);
    EXPECT_EQ(person->firstName(), QStringLiteral("Ada"));
    EXPECT_EQ(person->companyName(), QStringLiteral("Engines"));
    EXPECT_FALSE(person->isContactPrivate());
    EXPECT_EQ(phonesOf(person), (QStringList{"mobile=+44 1", "my label=2"}));
    ASSERT_EQ(person->addresses().size(), 1);
    EXPECT_EQ(person->addresses().first()->city(), QStringLiteral("London"));
    ASSERT_NE(person->personinfo(), nullptr);
    EXPECT_EQ(person->personinfo()->nickname(), QStringLiteral("Countess"));
    EXPECT_EQ(person->personinfo()->birthday().date().month(), 12);
    EXPECT_EQ(bridge->macUniqueIdentifier(*person), record.uniqueId());
    EXPECT_EQ(person->recordModifiedDate(), record.modificationDate());
    EXPECT_EQ(VCardAddressBookBridge::customHashForPerson(*person), VCardAddressBookBridge::customHashForABRecord(record));
    EXPECT_FALSE(bridge->updatePersonWithABRecord(*insert<Person>(), std::nullopt));
}

TEST_F(BridgeTest, OneWordNameRule)
{
    const ab::ContactRecord onlyEmail = saveRecord([](ab::ContactRecord &r) {
        r.setMultiValue(ab::property::Email, BridgeTest::values({{"home", "solo@example.com"}}));
    });
    Person *person = insert<Person>();
    ASSERT_TRUE(bridge->updatePersonWithABRecord(*person, onlyEmail));
    EXPECT_EQ(person->firstName(), QStringLiteral("solo@example.com"));
    EXPECT_TRUE(person->lastName().isEmpty());
}

// The reconciliation table: identifiers first, then values, leftovers reused, the rest deleted.
TEST_F(BridgeTest, ReconciliationTable)
{
    struct Case
    {
        const char *name;
        QList<QPair<QString, QString>> before;        // the contact's phones (label, number) from a first import
        std::function<void(ab::MultiValue &)> change; // then the record changes
        QStringList after;
        bool changed;
    };
    const QList<Case> cases = {
        {"new value under the same identifier", {{"mobile", "1"}},
         [](ab::MultiValue &mv) { mv.replaceValue(0, QStringLiteral("9")); }, {"mobile=9"}, true},
        {"relabelled", {{"mobile", "1"}}, [](ab::MultiValue &mv) { mv.replaceLabel(0, QStringLiteral("work")); },
         {"work=1"}, true},
        {"one more", {{"mobile", "1"}}, [](ab::MultiValue &mv) { mv.add(QStringLiteral("2"), QStringLiteral("home")); },
         {"home=2", "mobile=1"}, true},
        {"all gone", {{"mobile", "1"}, {"home", "2"}}, [](ab::MultiValue &mv) { mv.entries.clear(); }, {}, true},
        {"unchanged", {{"mobile", "1"}, {"home", "2"}}, [](ab::MultiValue &) {}, {"home=2", "mobile=1"}, false},
        {"recreated entry reuses the leftover", {{"mobile", "1"}},
         [](ab::MultiValue &mv) {
             mv.entries.clear();
             mv.add(QStringLiteral("7"), QStringLiteral("work"));
         },
         {"work=7"}, true},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        ab::ContactRecord record = saveRecord([&](ab::ContactRecord &r) {
            r.setStringValue(ab::property::FirstName, QString::fromLatin1(c.name));
            r.setMultiValue(ab::property::Phone, values(c.before));
        });
        Person *person = importRecord(record);
        const qsizetype countBefore = person->phones().size();
        ab::MultiValue mv = record.multiValue(ab::property::Phone);
        c.change(mv);
        record.setMultiValue(ab::property::Phone, mv);
        EXPECT_EQ(bridge->updateDetailsOnFile(*person, record, Kind::Phone), c.changed);
        EXPECT_EQ(phonesOf(person), c.after);
        if (QString::fromLatin1(c.name).startsWith(QLatin1String("recreated"))) {
            EXPECT_EQ(person->phones().size(), countBefore);
        }
    }
}

TEST_F(BridgeTest, NoneAndEmptyLabelsAreOne)
{
    ab::ContactRecord record = saveRecord([&](ab::ContactRecord &r) {
        r.setStringValue(ab::property::FirstName, QStringLiteral("L"));
        r.setMultiValue(ab::property::Phone, values({{"", "1"}}));
    });
    Person *person = importRecord(record);
    person->phones().first()->setLabel(QStringLiteral("None"));
    EXPECT_FALSE(bridge->updateDetailsOnFile(*person, record, Kind::Phone));
    EXPECT_EQ(person->phones().first()->label(), QStringLiteral("None"));
}

// Edits in the journal reach the card file; another program's edit of the card reaches the contact.
TEST_F(BridgeTest, EditsTravelBothWays)
{
    const ab::ContactRecord record = saveRecord([&](ab::ContactRecord &r) {
        r.setStringValue(ab::property::FirstName, QStringLiteral("Both"));
        r.setMultiValue(ab::property::Phone, values({{"mobile", "111"}}));
        r.setMultiValue(ab::property::Email, values({{"work", "old@example.com"}}));
        r.setModificationDate(QDateTime::fromSecsSinceEpoch(1000, Qt::UTC));
    });
    Person *person = importRecord(record);
    Phones *phone = person->phones().first();
    const QString previous = phone->phoneNumber();
    phone->setPhoneNumber(QStringLiteral("222"));
    EXPECT_TRUE(bridge->updatePersonPhoneInAddressBook(*person, *phone, previous));
    EXPECT_TRUE(phonesOnCard(record.uniqueId()).contains(QStringLiteral("222")));
    EXPECT_FALSE(phonesOnCard(record.uniqueId()).contains(QStringLiteral("111")));

    Phones *added = person->addPhoneNumberWithNumber(QStringLiteral("333"), QStringLiteral("home"), context.get());
    ASSERT_NE(added, nullptr);
    EXPECT_TRUE(phonesOnCard(record.uniqueId()).contains(QStringLiteral("333")));
    EXPECT_FALSE(added->localIdentifier().isEmpty());
    EXPECT_TRUE(bridge->setRecordProperty(*person, address_book::NoteProperty, QStringLiteral("a note")));
    EXPECT_TRUE(cardFile(record.uniqueId()).contains("NOTE:a note"));
    EXPECT_TRUE(bridge->deletePersonPhoneFromAddressBook(*person, *added));
    EXPECT_FALSE(phonesOnCard(record.uniqueId()).contains(QStringLiteral("333")));
    ASSERT_TRUE(context->save());

    // Another program changes the e-mail.
    QByteArray data = cardFile(record.uniqueId());
    data.replace("old@example.com", "new@example.com");
    data.replace(QRegularExpression(QStringLiteral("REV:[0-9TZ]+")).match(QString::fromUtf8(data)).captured().toUtf8(),
                 "REV:20991231T000000Z");
    QFile file(collection() + QLatin1Char('/') + record.uniqueId() + QStringLiteral(".vcf"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(data);
    file.close();
    book->rescan();
    EXPECT_TRUE(bridge->checkAndUpdateContactInfo(*person));
    ASSERT_EQ(person->emails().size(), 1);
    EXPECT_EQ(person->emails().first()->emailAddress(), QStringLiteral("new@example.com"));
    EXPECT_EQ(person->recordModifiedDate(), QDateTime(QDate(2099, 12, 31), QTime(0, 0), Qt::UTC));
    // Nothing newer: nothing copied.
    EXPECT_FALSE(bridge->checkAndUpdateContactInfo(*person));
}

// The journal's contact is saved before its record exists; the record carries the split composite name.
TEST_F(BridgeTest, RecordCreatedAfterTheSaveWithTheSplitName)
{
    auto *person = insert<Person>();
    person->setCompositeName(QStringLiteral("Grace Hopper"));
    person->addPhoneNumberWithNumber(QStringLiteral("555"), QStringLiteral("work"), context.get());
    ASSERT_TRUE(bridge->createABPersonRecord(*person, true, true));
    EXPECT_FALSE(person->objectID().isTemporaryID());
    const QString id = bridge->macUniqueIdentifier(*person);
    ASSERT_FALSE(id.isEmpty());
    const auto record = book->recordForUniqueId(id);
    ASSERT_TRUE(record.has_value());
    EXPECT_EQ(record->stringValue(ab::property::FirstName), QStringLiteral("Grace"));
    EXPECT_EQ(record->stringValue(ab::property::LastName), QStringLiteral("Hopper"));
    EXPECT_EQ(record->multiValue(ab::property::Phone).entries.value(0).identifier,
              person->phones().first()->localIdentifier());
    EXPECT_FALSE(context->hasChanges());
}

TEST_F(BridgeTest, FailedAddressBookSaveLeavesTheContactUnlinked)
{
    auto *person = insert<Person>();
    person->setFirstName(QStringLiteral("Nowhere"));
    ASSERT_TRUE(context->save());
    // A plain file where the collection folder was: nothing can be written there.
    const QString path = collection();
    ASSERT_TRUE(QDir(path).removeRecursively());
    QFile blocker(path);
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    const bool created = bridge->createABPersonRecord(*person, true, true);
    EXPECT_FALSE(created);
    EXPECT_TRUE(bridge->macUniqueIdentifier(*person).isEmpty());
    EXPECT_FALSE(book->hasUnsavedChanges());
}

TEST_F(BridgeTest, ConvertingToPrivateKeepsThePictureAndRemovesTheRecord)
{
    const QByteArray png = QByteArray::fromBase64(
        "iVBORw0KGgoAAAANSUhEUgAAAAEAAAABCAYAAAAfFcSJAAAADUlEQVR42mP8z8BQDwAEhQGAhKmMIQAAAABJRU5ErkJggg==");
    const ab::ContactRecord record = saveRecord([&](ab::ContactRecord &r) {
        r.setStringValue(ab::property::FirstName, QStringLiteral("Pic"));
        r.setImageData(png);
    });
    Person *person = importRecord(record);
    ASSERT_TRUE(bridge->convertContactToPrivate(*person));
    EXPECT_TRUE(person->isContactPrivate());
    EXPECT_EQ(person->privateImage().toByteArray(), png);
    EXPECT_FALSE(book->recordForUniqueId(record.uniqueId()).has_value());
    EXPECT_TRUE(bridge->macUniqueIdentifier(*person).isEmpty());
    EXPECT_FALSE(bridge->convertContactToPrivate(*person)); // already private
    ASSERT_TRUE(bridge->convertContactToPublic(*person));
    const auto back = book->recordForUniqueId(bridge->macUniqueIdentifier(*person));
    ASSERT_TRUE(back.has_value());
    EXPECT_EQ(back->imageData(), png);
}

TEST_F(BridgeTest, LookupByNameThenByPhoneThenGivesUp)
{
    saveRecord([&](ab::ContactRecord &r) {
        r.setStringValue(ab::property::FirstName, QStringLiteral("Sam"));
        r.setMultiValue(ab::property::Phone, values({{"mobile", "+1 (555) 123"}}));
    });
    saveRecord([&](ab::ContactRecord &r) { r.setStringValue(ab::property::FirstName, QStringLiteral("Sam")); });
    auto *byPhone = insert<Person>();
    byPhone->setFirstName(QStringLiteral("Samuel"));
    byPhone->addPhoneNumberWithNumber(QStringLiteral("+1 (555) 123"), QStringLiteral("mobile"), context.get());
    auto *nobody = insert<Person>();
    nobody->setFirstName(QStringLiteral("Nobody"));
    ASSERT_TRUE(context->save());
    EXPECT_TRUE(bridge->abRecordPerson(*byPhone).has_value());
    EXPECT_FALSE(bridge->abRecordPerson(*nobody).has_value());
    EXPECT_TRUE(nobody->dontReloadRecord());
    const auto companies = book->search({VCardAddressBookBridge::searchForCompanies()});
    EXPECT_TRUE(companies.isEmpty());
}
