// Matching a contact to the contact store by its display name, filling and refreshing it from a store
// contact, reconciling its detail lists, and filling a new store contact from it.

#include "QuendelKit/AddressBook/VCardAddressBookBridge.h"
#include "QuendelKit/Entities/EntityStoreFixture.h"

#include "QuendelKit/Entities/Emails.h"
#include "QuendelKit/Entities/Person.h"
#include "QuendelKit/Entities/PersonAddress.h"
#include "QuendelKit/Entities/PersonImage.h"
#include "QuendelKit/Entities/PersonInfo.h"
#include "QuendelKit/Entities/PersonWebsite.h"
#include "QuendelKit/Entities/Phones.h"
#include "QuendelKit/Settings/DataPlistValues.h"
#include "QuendelKit/Settings/SharedSettingController.h"

#include "platform/core/UserDefaults.h"

#include <QBuffer>
#include <QImage>
#include <QTemporaryDir>

using namespace quendel::test;
namespace ab = platform::contacts;
using Kind = PersonAddressBookBridge::DetailKind;
using Bridge = VCardAddressBookBridge;

namespace {

ab::MultiValue labelled(const QList<QPair<QString, QString>> &entries)
{
    ab::MultiValue mv;
    for (const auto &[label, value] : entries)
        mv.add(value, label);
    return mv;
}

QByteArray png(QColor colour, int side = 8)
{
    QImage image(side, side, QImage::Format_RGB32);
    image.fill(colour);
    QByteArray data;
    QBuffer buffer(&data);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return data;
}

class ContactStoreTest : public EntityStoreTest
{
protected:
    void SetUp() override
    {
        EntityStoreTest::SetUp();
        book = std::make_shared<ab::AddressBook>(folder.path() + QStringLiteral("/contacts"));
        ASSERT_TRUE(book->load());
        bridge = Bridge::installFor(book);
        dedupeMatchingIDs().clear();
        dataPlistValues().setValue(Person::DisplayOrderSettingKey, 0);
    }
    void TearDown() override
    {
        dedupeMatchingIDs().clear();
        PersonAddressBookBridge::install(nullptr);
        SharedSettingController::setContactsBridge(nullptr);
        EntityStoreTest::TearDown();
    }

    ab::ContactRecord storeContact(const std::function<void(ab::ContactRecord &)> &fill)
    {
        ab::ContactRecord r;
        fill(r);
        book->setRecord(r);
        EXPECT_TRUE(book->save());
        return *book->recordForUniqueId(r.uniqueId());
    }

    static ab::ContactRecord named(const QString &first, const QString &last)
    {
        ab::ContactRecord r;
        r.setStringValue(ab::property::FirstName, first);
        r.setStringValue(ab::property::LastName, last);
        return r;
    }

    Person *person(const QString &first, const QString &last, const std::function<void(Person *)> &fill = {})
    {
        auto *p = insert<Person>();
        p->setIsContactPrivate(false);
        if (!first.isNull())
            p->setFirstName(first);
        if (!last.isNull())
            p->setLastName(last);
        if (fill)
            fill(p);
        save(context);
        return p;
    }

    // The contact imported from a store contact and saved, as the vCard import leaves it.
    Person *imported(const ab::ContactRecord &contact, bool isPrivate = false)
    {
        Person *p = bridge->makeNewPersonWithContact(contact, isPrivate, context.get());
        p->setContactIdentifier(contact.uniqueId()); // under its saved identifier
        return p;
    }

    QStringList phonesOf(const Person *p) const
    {
        QStringList out;
        for (Phones *phone : p->phones())
            if (!phone->isDeleted())
                out << phone->label() + QLatin1Char('=') + phone->phoneNumber();
        out.sort();
        return out;
    }

    QTemporaryDir folder;
    std::shared_ptr<ab::AddressBook> book;
    std::shared_ptr<Bridge> bridge;
};

TEST(ContactStoreAddress, TheAddressStringLeavesOutEmptyPartsAndFlattensLines)
{
    const struct
    {
        QVariantMap address;
        const char *expected;
    } cases[] = {
        {{{ab::address_key::Street, "A\nB"}, {ab::address_key::City, "C"}, {ab::address_key::ZIP, "D"},
          {ab::address_key::Country, "E"}, {ab::address_key::CountryCode, "xx"}},
         "A B, C, D, E"},
        {{{ab::address_key::Street, "A\r\nB"}, {ab::address_key::State, ""}}, "A  B"},
        {{{ab::address_key::City, "C"}, {ab::address_key::State, "S"}}, "C, S"},
        {{}, ""},
    };
    for (const auto &c : cases)
        EXPECT_EQ(Bridge::makeAddressStringFromPostalAddress(c.address), QString::fromLatin1(c.expected));
}

TEST_F(ContactStoreTest, ASingleNameResultIsAcceptedOrRejectedByItsNamesAndHash)
{
    // The same contact in the store: its hash decides, and the de-duplication set is left alone.
    {
        const ab::ContactRecord ann = storeContact([](ab::ContactRecord &r) { r = named("Ann", "Archer"); });
        Person *p = person(QStringLiteral("Ann"), QStringLiteral("Archer"));
        const auto found = bridge->findContactRecordByDisplayName(*p);
        ASSERT_TRUE(found);
        EXPECT_EQ(found->uniqueId(), ann.uniqueId());
        EXPECT_TRUE(dedupeMatchingIDs().isEmpty());
    }
    // Another first name in the store under the same family name.
    const ab::ContactRecord bea = storeContact([](ab::ContactRecord &r) {
        r = named("Bea", "Brook");
        r.setStringValue(ab::property::Note, QStringLiteral("met in May"));
    });
    Person *bob = person(QStringLiteral("Bob"), QStringLiteral("Brook"));
    bob->setDisplayName(QStringLiteral("Brook"));
    EXPECT_FALSE(bridge->findContactRecordByDisplayName(*bob)) << "given names differ";
    dataPlistValues().setValue(Person::DisplayOrderSettingKey, 1);
    EXPECT_FALSE(bridge->findContactRecordByDisplayName(*bob)) << "orders differ, given names differ";
    dataPlistValues().setValue(Person::DisplayOrderSettingKey, 0);

    // A full name equal to the display name, ignoring case: the candidate enters the set.
    Person *bea2 = person(QStringLiteral("Bea"), QStringLiteral("Brook"));
    bea2->setDisplayName(QStringLiteral("BEA BROOK"));
    const auto found = bridge->findContactRecordByDisplayName(*bea2);
    ASSERT_TRUE(found);
    EXPECT_EQ(found->uniqueId(), bea.uniqueId());
    EXPECT_TRUE(dedupeMatchingIDs().contains(bea.uniqueId()));

    // A display name of the prefix alone is answered from the hash map only: nothing here.
    Person *title = person(QString(), QString(), [](Person *p) { p->setPrefixName(QStringLiteral("Brook")); });
    title->setDisplayName(QStringLiteral("Brook"));
    EXPECT_FALSE(bridge->findContactRecordByDisplayName(*title));
}

TEST_F(ContactStoreTest, SeveralResultsAvoidContactsAlreadyMatched)
{
    // Two store contacts whose names, note and nickname equal the contact's (their phone keeps the hashes
    // apart); the first already matched by an earlier contact: the other one is chosen.
    const auto twin = [](ab::ContactRecord &r) {
        r = named("Cy", "Cole");
        r.setStringValue(ab::property::Nickname, QStringLiteral("C"));
        r.setMultiValue(ab::property::Phone, labelled({{"work", "1"}}));
    };
    const ab::ContactRecord first = storeContact(twin);
    const ab::ContactRecord second = storeContact(twin);
    ASSERT_NE(first.uniqueId(), second.uniqueId());
    Person *cy = person(QStringLiteral("Cy"), QStringLiteral("Cole"), [this](Person *p) {
        auto *info = insert<PersonInfo>();
        info->setPerson(p);
        p->setPersoninfo(info);
        info->setValue(QStringLiteral("nickname"), QStringLiteral("C"));
    });
    cy->setDisplayName(QStringLiteral("Cy Cole"));
    dedupeMatchingIDs().insert(first.uniqueId());
    const auto chosen = bridge->findContactRecordByDisplayName(*cy);
    ASSERT_TRUE(chosen);
    EXPECT_EQ(chosen->uniqueId(), second.uniqueId());
    EXPECT_EQ(dedupeMatchingIDs(), (QSet<QString>{first.uniqueId(), second.uniqueId()}));

    // Of several results, one with the contact's hash is taken first, and then enters the set.
    dedupeMatchingIDs().clear();
    Person *same = person(QStringLiteral("Cy"), QStringLiteral("Cole"), [this](Person *p) {
        auto *info = insert<PersonInfo>();
        info->setPerson(p);
        p->setPersoninfo(info);
        info->setValue(QStringLiteral("nickname"), QStringLiteral("C"));
        p->addPhoneNumberWithNumber(QStringLiteral("1"), QStringLiteral("work"), context.get());
    });
    const auto byHash = bridge->findContactRecordByDisplayName(*same);
    ASSERT_TRUE(byHash);
    EXPECT_EQ(byHash->uniqueId(), first.uniqueId());
    EXPECT_TRUE(dedupeMatchingIDs().contains(first.uniqueId()));
    const auto next = bridge->findContactRecordByDisplayName(*same);
    ASSERT_TRUE(next);
    EXPECT_EQ(next->uniqueId(), second.uniqueId());

    // Details decide among namesakes: an organisation by its name, even when already matched.
    const ab::ContactRecord org = storeContact([](ab::ContactRecord &r) {
        r.setStringValue(ab::property::Organization, QStringLiteral("Dune Ltd"));
        r.setCompany(true);
        r.setMultiValue(ab::property::Phone, labelled({{"work", "5"}}));
    });
    dedupeMatchingIDs().insert(org.uniqueId());
    Person *dune = person(QString(), QString(), [](Person *p) { p->setCompanyName(QStringLiteral("Dune Ltd")); });
    const QList<ab::ContactRecord> namesakes = {first, org};
    const auto byCompany = bridge->filterMatchingContactsListByRecordDetails(*dune, namesakes);
    ASSERT_TRUE(byCompany);
    EXPECT_EQ(byCompany->uniqueId(), org.uniqueId());

    // The third pass: the last contact sharing the e-mail address wins.
    dedupeMatchingIDs().clear();
    const auto withMail = [](const char *note) {
        return [note](ab::ContactRecord &r) {
            r = named("Eve", "East");
            r.setStringValue(ab::property::Note, QString::fromLatin1(note));
            r.setMultiValue(ab::property::Email, labelled({{"home", "eve@example.com"}, {"work", "x@example.com"}}));
        };
    };
    const ab::ContactRecord early = storeContact(withMail("a"));
    const ab::ContactRecord late = storeContact(withMail("b"));
    Person *eve = person(QStringLiteral("Eve"), QStringLiteral("East"), [this](Person *p) {
        p->addEmailWithEmail(QStringLiteral("eve@example.com"), QStringLiteral("home"), context.get());
    });
    const auto best = bridge->filterMatchingContactsListByRecordDetails(*eve, {early, late});
    ASSERT_TRUE(best);
    EXPECT_EQ(best->uniqueId(), late.uniqueId());
}

TEST_F(ContactStoreTest, ReconciliationOfDetailListsAnswersWhatChanged)
{
    struct Case
    {
        const char *name;
        QList<QPair<QString, QString>> before;
        std::function<void(ab::MultiValue &)> change;
        QStringList after;
        int result;
    };
    const QList<Case> cases = {
        {"reformatted number", {{"work", "555 0100"}},
         [](ab::MultiValue &mv) { mv.replaceValue(0, QStringLiteral("(555) 01-00")); }, {"work=555 0100"}, 0},
        {"other digits", {{"work", "555 0100"}}, [](ab::MultiValue &mv) { mv.replaceValue(0, QStringLiteral("5550199")); },
         {"work=5550199"}, 1},
        {"relabelled", {{"work", "1"}}, [](ab::MultiValue &mv) { mv.replaceLabel(0, QStringLiteral("home")); },
         {"home=1"}, 1},
        {"two new, three stored",
         {{"a", "1"}, {"b", "2"}, {"c", "3"}},
         [](ab::MultiValue &mv) {
             mv.entries.clear();
             mv.add(QStringLiteral("8"), QStringLiteral("x"));
             mv.add(QStringLiteral("9"), QStringLiteral("y"));
         },
         {"x=8", "y=9"}, 2},
        {"all gone", {{"a", "1"}, {"b", "2"}}, [](ab::MultiValue &mv) { mv.entries.clear(); }, {}, 2},
        {"unchanged", {{"a", "1"}}, [](ab::MultiValue &) {}, {"a=1"}, 0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        ab::ContactRecord contact = storeContact([&](ab::ContactRecord &r) {
            r = named(QString::fromLatin1(c.name), QStringLiteral("Case"));
            r.setMultiValue(ab::property::Phone, labelled(c.before));
        });
        Person *p = imported(contact);
        ab::MultiValue mv = contact.multiValue(ab::property::Phone);
        c.change(mv);
        contact.setMultiValue(ab::property::Phone, mv);
        EXPECT_EQ(bridge->updateDetailsForContact(*p, contact, Kind::Phone), c.result);
        EXPECT_EQ(phonesOf(p), c.after);
    }

    // Three new numbers on a contact without any: three entries, 2.
    Person *none = person(QStringLiteral("No"), QStringLiteral("Phones"));
    ab::ContactRecord three = named("No", "Phones");
    three.setMultiValue(ab::property::Phone, labelled({{"a", "1"}, {"b", "2"}, {"c", "3"}}));
    EXPECT_EQ(bridge->updateDetailsForContact(*none, three, Kind::Phone), 2);
    EXPECT_EQ(phonesOf(none).size(), 3);
}

TEST_F(ContactStoreTest, ValueMatchesTakeIdentifiersAndNoneEqualsEmpty)
{
    SharedSettingController &settings = SharedSettingController::sharedSettings();
    Person *p = person(QStringLiteral("Val"), QStringLiteral("Match"), [this](Person *p) {
        p->addEmailWithEmail(QStringLiteral("v@example.com"), QStringLiteral("None"), context.get());
        p->addWebsiteWithURLString(QStringLiteral("https://v.example"), QStringLiteral("home"), context.get());
        p->websites().first()->setLocalIdentifier(QStringLiteral("old-id"));
    });
    ab::ContactRecord contact = named("Val", "Match");
    contact.setMultiValue(ab::property::Email, labelled({{"", "v@example.com"}}));
    contact.setMultiValue(ab::property::URLs, labelled({{"home", "https://v.example"}}));

    // An e-mail without identifier equal to a contact address takes its identifier; "None" and "" are one.
    EXPECT_EQ(bridge->updateDetailsForContact(*p, contact, Kind::Email), 0);
    EXPECT_EQ(p->emails().first()->localIdentifier(), contact.multiValue(ab::property::Email).entries.first().identifier);
    EXPECT_EQ(p->emails().first()->label(), QStringLiteral("None"));

    // A different identifier on a value match stays while the cloud sync is off, and is replaced when on.
    const QString newId = contact.multiValue(ab::property::URLs).entries.first().identifier;
    const qint64 cloudBefore = platform::core::UserDefaults::standardUserDefaults()->integerForKey(
        QStringLiteral("CloudKitUserState"));
    platform::core::UserDefaults::standardUserDefaults()->setInteger(0, QStringLiteral("CloudKitUserState"));
    ASSERT_FALSE(settings.isCloudKitEnabled());
    // Two stored URLs make the identifier list as long as the entry list only while it is complete.
    EXPECT_EQ(bridge->updateDetailsForContact(*p, contact, Kind::Website), 0);
    EXPECT_EQ(p->websites().first()->localIdentifier(), QStringLiteral("old-id"));
    platform::core::UserDefaults::standardUserDefaults()->setInteger(1, QStringLiteral("CloudKitUserState"));
    if (settings.isCloudKitEnabled()) {
        EXPECT_EQ(bridge->updateDetailsForContact(*p, contact, Kind::Website), 0);
        EXPECT_EQ(p->websites().first()->localIdentifier(), newId);
    }
    platform::core::UserDefaults::standardUserDefaults()->setInteger(cloudBefore, QStringLiteral("CloudKitUserState"));

    // An absent stored label against "None" is replaced.
    Person *q = person(QStringLiteral("Abs"), QStringLiteral("Label"), [this](Person *p) {
        p->addEmailWithEmail(QStringLiteral("a@example.com"), QString(), context.get());
    });
    ab::ContactRecord none = named("Abs", "Label");
    none.setMultiValue(ab::property::Email, labelled({{"None", "a@example.com"}}));
    EXPECT_EQ(bridge->updateDetailsForContact(*q, none, Kind::Email), 1);
    EXPECT_EQ(q->emails().first()->label(), QStringLiteral("None"));
}

TEST_F(ContactStoreTest, ImportFillsTheContactAndSplitsASingleName)
{
    const ab::ContactRecord full = storeContact([](ab::ContactRecord &r) {
        r = named("Ida", "Ives");
        r.setStringValue(ab::property::JobTitle, QStringLiteral("Pilot"));
        r.setBirthday(ab::PartialDate{1990, 3, 3});
        r.setMultiValue(ab::property::Phone, labelled({{"mobile", "1"}}));
        ab::MultiValue addresses;
        addresses.add(QVariantMap{{ab::address_key::Street, "1 Main"}, {ab::address_key::Country, "Chile"},
                                  {ab::address_key::CountryCode, "cl"}},
                      QStringLiteral("home"));
        r.setMultiValue(ab::property::Address, addresses);
        r.setImageData(png(Qt::red, 200));
    });
    Person *ida = imported(full);
    EXPECT_EQ(ida->firstName(), QStringLiteral("Ida"));
    EXPECT_EQ(ida->contactIdentifier(), full.uniqueId());
    EXPECT_EQ(phonesOf(ida), QStringList{QStringLiteral("mobile=1")});
    ASSERT_EQ(ida->addresses().size(), 1);
    EXPECT_EQ(ida->addresses().first()->countryCode().toLower(), QStringLiteral("cl"));
    ASSERT_NE(ida->personinfo(), nullptr);
    EXPECT_EQ(ida->personinfo()->jobDescription(), QStringLiteral("Pilot"));
    EXPECT_EQ(ida->personinfo()->birthday().toUTC().date(), QDate(1990, 3, 3));
    EXPECT_FALSE(ida->personImage().isEmpty());
    EXPECT_FALSE(context->hasChanges());

    // A private import keeps the picture in the store.
    Person *secret = imported(full, true);
    EXPECT_FALSE(secret->privateImage().toByteArray().isEmpty());
    ASSERT_NE(secret->fullimage(), nullptr);

    // No name parts: one word goes to the first or the last name by the display order, three words
    // give the first two; no name at all still imports under the fallback name.
    const struct
    {
        const char *formatted;
        int order;
        const char *first;
        const char *last;
    } cases[] = {{"Solo", 0, "Solo", ""}, {"Solo", 1, "", "Solo"}, {"One Two Three", 0, "One", "Two"}};
    for (const auto &c : cases) {
        dataPlistValues().setValue(Person::DisplayOrderSettingKey, c.order);
        // A card with a formatted name only, as other programs write some.
        const QByteArray text = QByteArray("BEGIN:VCARD\r\nVERSION:3.0\r\nFN:") + c.formatted +
                                "\r\nN:;;;;\r\nEND:VCARD\r\n";
        const QList<ab::VCard> cards = ab::VCardCodec::read(text);
        ASSERT_EQ(cards.size(), 1);
        const ab::ContactRecord bare = ab::ContactRecord::fromVCard(cards.first(), QStringLiteral("bare"));
        ASSERT_EQ(Bridge::formattedFullName(bare), QString::fromLatin1(c.formatted));
        Person *p = insert<Person>();
        ASSERT_TRUE(bridge->updatePersonWithContact(*p, bare));
        EXPECT_EQ(p->firstName(), QString::fromLatin1(c.first)) << c.formatted << c.order;
        EXPECT_EQ(p->lastName(), QString::fromLatin1(c.last)) << c.formatted << c.order;
    }
    Person *nobody = insert<Person>();
    EXPECT_TRUE(bridge->updatePersonWithContact(*nobody, ab::ContactRecord()));
    EXPECT_FALSE(nobody->displayName().isEmpty());
}

TEST_F(ContactStoreTest, BirthdayRuleOfARefresh)
{
    const struct
    {
        const char *name;
        std::optional<ab::PartialDate> incoming;
        QDate stored; // invalid: none stored
        bool changed;
        QDate after;
    } cases[] = {
        {"year before 1900 counts as none", ab::PartialDate{1850, 3, 3}, QDate(1990, 3, 3), false, QDate(1990, 3, 3)},
        {"stored year before 1900 differs", ab::PartialDate{1990, 3, 3}, QDate(1880, 3, 3), true, QDate(1990, 3, 3)},
        {"same date", ab::PartialDate{1990, 3, 3}, QDate(1990, 3, 3), false, QDate(1990, 3, 3)},
        {"other day", ab::PartialDate{1990, 3, 4}, QDate(1990, 3, 3), true, QDate(1990, 3, 4)},
        {"never added", ab::PartialDate{1990, 3, 3}, QDate(), false, QDate()},
        {"removed", std::nullopt, QDate(1990, 3, 3), true, QDate()},
        {"nothing either side", std::nullopt, QDate(), false, QDate()},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        Person *p = person(QStringLiteral("B"), QString::fromLatin1(c.name), [&](Person *p) {
            if (!c.stored.isValid())
                return;
            auto *info = insert<PersonInfo>();
            info->setPerson(p);
            p->setPersoninfo(info);
            info->setBirthday(QDateTime(c.stored, QTime(12, 0), Qt::UTC));
        });
        EXPECT_EQ(Bridge::checkUpdateBirthdayPropertyWithContactDateComponent(*p, c.incoming), c.changed);
        const QDateTime after = p->personinfo() ? p->personinfo()->birthday() : QDateTime();
        EXPECT_EQ(after.isValid() ? after.toUTC().date() : QDate(), c.after);
    }
}

TEST_F(ContactStoreTest, RefreshAnswersWhatKindOfChangeItTook)
{
    ab::ContactRecord contact = storeContact([](ab::ContactRecord &r) {
        r = named("Rae", "Reed");
        r.setStringValue(ab::property::Note, QStringLiteral("note"));
        r.setStringValue(ab::property::JobTitle, QStringLiteral("Chef"));
        r.setMultiValue(ab::property::Phone, labelled({{"work", "1"}}));
    });
    Person *rae = imported(contact);
    save(context);
    const auto refresh = [&](bool imageCheck = false) {
        book->setRecord(contact);
        EXPECT_TRUE(book->save());
        return bridge->checkAndUpdateContactRecordWithImageCheck(*rae, imageCheck);
    };
    EXPECT_EQ(refresh(), Bridge::RefreshNothing);

    // Only a phone added: 2, and the modification date stamped.
    clock->advanceSeconds(60);
    ab::MultiValue phones = contact.multiValue(ab::property::Phone);
    phones.add(QStringLiteral("2"), QStringLiteral("home"));
    contact.setMultiValue(ab::property::Phone, phones);
    EXPECT_EQ(refresh(), Bridge::RefreshDetailsAddedOrRemoved);
    EXPECT_EQ(rae->recordModifiedDate(), platform::core::Clock::now());

    // Only a label changed: 1.
    phones.replaceLabel(1, QStringLiteral("main"));
    contact.setMultiValue(ab::property::Phone, phones);
    EXPECT_EQ(refresh(), Bridge::RefreshChanged);

    // Only a new picture: 3, and no stamp; the same picture again is no change.
    clock->advanceSeconds(60);
    const QDateTime stamped = rae->recordModifiedDate();
    contact.setImageData(png(Qt::green));
    EXPECT_EQ(refresh(true), Bridge::RefreshPictureOnly);
    EXPECT_EQ(rae->recordModifiedDate(), stamped);
    EXPECT_EQ(refresh(true), Bridge::RefreshNothing);

    // The note removed is cleared; the job title removed stays.
    contact.setStringValue(ab::property::Note, QString());
    contact.setStringValue(ab::property::JobTitle, QString());
    EXPECT_EQ(refresh(), Bridge::RefreshChanged);
    EXPECT_TRUE(rae->notesField().isEmpty());
    ASSERT_NE(rae->personinfo(), nullptr);
    EXPECT_EQ(rae->personinfo()->jobDescription(), QStringLiteral("Chef"));

    // Without an identifier: 4, and later picture loads leave the contact alone.
    Person *loose = person(QStringLiteral("Lou"), QStringLiteral("Loose"));
    EXPECT_EQ(bridge->checkAndUpdateContactRecordWithImageCheck(*loose, true), Bridge::RefreshNoIdentifier);
    EXPECT_TRUE(loose->dontReloadRecord());
    bridge->loadReferenceImageForContactFramework(*loose);
    EXPECT_TRUE(loose->contactIdentifier().isEmpty());

    // The store contact gone: 0, and the contact is not reloaded again.
    book->removeRecord(contact.uniqueId());
    ASSERT_TRUE(book->save());
    EXPECT_EQ(bridge->checkAndUpdateContactRecordWithImageCheck(*rae, false), Bridge::RefreshNothing);
    EXPECT_TRUE(rae->dontReloadRecord());
}

TEST_F(ContactStoreTest, ThePictureLoaderLinksByNameOrGivesUp)
{
    const ab::ContactRecord pia = storeContact([](ab::ContactRecord &r) {
        r = named("Pia", "Park");
        r.setImageData(png(Qt::blue, 300));
    });
    Person *p = person(QStringLiteral("Pia"), QStringLiteral("Park"));
    bridge->loadReferenceImageForContactFramework(*p);
    EXPECT_EQ(p->contactIdentifier(), pia.uniqueId());
    EXPECT_FALSE(p->personImage().isEmpty());

    Person *nobody = person(QStringLiteral("Zed"), QStringLiteral("Zero"));
    bridge->loadReferenceImageForContactFramework(*nobody);
    EXPECT_TRUE(nobody->dontReloadRecord());

    // A stale identifier is cleared.
    Person *stale = person(QStringLiteral("Old"), QStringLiteral("Link"));
    stale->setContactIdentifier(QStringLiteral("gone"));
    bridge->loadReferenceImageForContactFramework(*stale);
    EXPECT_TRUE(stale->contactIdentifier().isEmpty());
}

TEST_F(ContactStoreTest, FillingANewStoreContactCopiesWhatTheContactHas)
{
    Person *p = person(QStringLiteral("Fay"), QStringLiteral("Field"), [this](Person *p) {
        p->setGuid(Person::makePersonGUID());
        p->setNotesField(QStringLiteral("n"));
        p->addPhoneNumberWithNumber(QStringLiteral("1"), QStringLiteral("None"), context.get());
        auto *address = insert<PersonAddress>();
        address->setCity(QStringLiteral("Lima"));
        address->setCountryCode(QStringLiteral("PE"));
        address->setAddressLabel(QStringLiteral("work"));
        address->setPerson(p);
    });
    ab::ContactRecord contact;
    contact.setMultiValue(ab::property::Email, labelled({{"home", "kept@example.com"}}));
    contact.setStringValue(ab::property::MiddleName, QStringLiteral("stale"));
    Bridge::populatePersonDataIntoMutableContact(*p, contact);
    EXPECT_EQ(contact.stringValue(ab::property::FirstName), QStringLiteral("Fay"));
    EXPECT_EQ(contact.stringValue(ab::property::Note), QStringLiteral("n"));
    EXPECT_TRUE(contact.stringValue(ab::property::MiddleName).isEmpty()) << "no PersonInfo: handed over as absent";
    EXPECT_FALSE(contact.birthday().has_value());
    ASSERT_EQ(contact.multiValue(ab::property::Phone).count(), 1);
    EXPECT_EQ(contact.multiValue(ab::property::Phone).entries.first().label, QStringLiteral("None"));
    EXPECT_EQ(contact.multiValue(ab::property::Email).entries.first().value.toString(),
              QStringLiteral("kept@example.com"))
        << "a kind the contact has none of stays as it was";
    ASSERT_EQ(contact.multiValue(ab::property::Address).count(), 1);
    const QVariantMap address = contact.multiValue(ab::property::Address).entries.first().value.toMap();
    EXPECT_EQ(address.value(ab::address_key::City).toString(), QStringLiteral("Lima"));
    EXPECT_EQ(address.value(ab::address_key::CountryCode).toString().toUpper(), QStringLiteral("PE"));

    // A birthday is copied as its date; a public contact's picture record is not.
    auto *info = insert<PersonInfo>();
    info->setPerson(p);
    p->setPersoninfo(info);
    info->setBirthday(QDateTime(QDate(1970, 7, 9), QTime(12, 0)));
    auto *picture = insert<PersonImage>();
    picture->setPerson(p);
    p->setFullimage(picture);
    picture->setFullImageFileName(QStringLiteral("some.jpg"));
    ab::ContactRecord second;
    Bridge::populatePersonDataIntoMutableContact(*p, second);
    ASSERT_TRUE(second.birthday().has_value());
    EXPECT_EQ(*second.birthday(), (ab::PartialDate{1970, 7, 9}));
    EXPECT_TRUE(second.imageData().isEmpty());
}

} // namespace
