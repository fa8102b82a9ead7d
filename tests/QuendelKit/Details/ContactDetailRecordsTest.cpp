#include "QuendelKit/Details/DetailsFixture.h"

#include <functional>

using namespace quendel::test;

namespace {

// One kind of detail, driven through the same steps.
struct Kind
{
    const char *name;
    std::function<NSManagedObjectQDBase *(Person *, platform::store::ManagedObjectContext *)> make;
    std::function<void(NSManagedObjectQDBase *, const QString &)> setValue;
    std::function<void(NSManagedObjectQDBase *, const QString &)> setLabel;
    const char *valueCall;
    const char *labelCall;
    const char *deleteCall;
};

const QList<Kind> &kinds()
{
    static const QList<Kind> all = {
        {"phone",
         [](Person *p, auto *c) {
             auto *r = Phones::createPhoneWithPhoneNumber(QStringLiteral("111"), QStringLiteral("home"), QString(), c);
             r->setPerson(p);
             return static_cast<NSManagedObjectQDBase *>(r);
         },
         [](auto *r, const QString &v) { static_cast<Phones *>(r)->setPhoneNumber(v); },
         [](auto *r, const QString &v) { static_cast<Phones *>(r)->setLabel(v); }, "updatePhone:111",
         "updatePhoneLabel:home", "deletePhone"},
        {"email",
         [](Person *p, auto *c) {
             auto *r = Emails::createEmailWithEmailAddress(QStringLiteral("111"), QStringLiteral("home"), QString(), c);
             r->setPerson(p);
             return static_cast<NSManagedObjectQDBase *>(r);
         },
         [](auto *r, const QString &v) { static_cast<Emails *>(r)->setEmailAddress(v); },
         [](auto *r, const QString &v) { static_cast<Emails *>(r)->setLabel(v); }, "updateEmail:111",
         "updateEmailLabel:home", "deleteEmail"},
        {"website",
         [](Person *p, auto *) {
             return static_cast<NSManagedObjectQDBase *>(PersonWebsite::createPersonWebsiteWithURL(
                 QStringLiteral("111"), QStringLiteral("home"), QString(), p));
         },
         [](auto *r, const QString &v) { static_cast<PersonWebsite *>(r)->setWebsiteURL(v); },
         [](auto *r, const QString &v) { static_cast<PersonWebsite *>(r)->setWebsiteLabel(v); }, "updateWebsite:111",
         "updateWebsiteLabel:home", "deleteWebsite"},
    };
    return all;
}

TEST_F(DetailsTest, ValueEditOfANeverSavedDetailIsNotMirroredAndKeepsTheFlag)
{
    for (const Kind &kind : kinds()) {
        bridge->calls.clear();
        Person *person = newPerson();
        bridge->linked.insert(person);
        NSManagedObjectQDBase *record = kind.make(person, context.get());
        record->setUpdateValueInAddressBook(true);
        kind.setValue(record, QStringLiteral("222"));
        EXPECT_TRUE(bridge->calls.isEmpty()) << kind.name;
        EXPECT_TRUE(record->updateValueInAddressBook()) << kind.name;
    }
}

TEST_F(DetailsTest, SavedDetailOfALinkedContactMirrorsValueWithTheFlagAndLabelWithout)
{
    for (const Kind &kind : kinds()) {
        Person *person = newPerson();
        bridge->linked.insert(person);
        NSManagedObjectQDBase *record = kind.make(person, context.get());
        save(context);
        bridge->calls.clear();

        record->setUpdateValueInAddressBook(true);
        kind.setValue(record, QStringLiteral("222"));
        EXPECT_EQ(bridge->calls, QStringList{QString::fromLatin1(kind.valueCall)}) << kind.name;
        EXPECT_FALSE(record->updateValueInAddressBook()) << kind.name;

        kind.setValue(record, QStringLiteral("333")); // no flag: not mirrored
        EXPECT_EQ(bridge->calls.size(), 1) << kind.name;

        kind.setLabel(record, QStringLiteral("work"));
        EXPECT_EQ(bridge->calls.value(1), QString::fromLatin1(kind.labelCall)) << kind.name;
        bridge->calls.clear();
    }
}

TEST_F(DetailsTest, PrivateOrUnlinkedContactsMirrorNothing)
{
    for (const Kind &kind : kinds()) {
        for (bool isPrivate : {true, false}) {
            Person *person = newPerson(QStringLiteral("P"), isPrivate);
            if (isPrivate)
                bridge->linked.insert(person); // even a link is not asked for a private contact
            NSManagedObjectQDBase *record = kind.make(person, context.get());
            save(context);
            bridge->calls.clear();
            record->setUpdateValueInAddressBook(true);
            kind.setValue(record, QStringLiteral("222"));
            kind.setLabel(record, QStringLiteral("work"));
            EXPECT_TRUE(bridge->calls.isEmpty()) << kind.name << " private " << isPrivate;
        }
    }
}

TEST_F(DetailsTest, DeletionRemovesTheAddressBookEntryOnlyWhenAsked)
{
    for (const Kind &kind : kinds()) {
        Person *person = newPerson();
        bridge->linked.insert(person);
        NSManagedObjectQDBase *kept = kind.make(person, context.get());
        NSManagedObjectQDBase *removed = kind.make(person, context.get());
        save(context);
        bridge->calls.clear();
        context->deleteObject(kept);
        EXPECT_TRUE(bridge->calls.isEmpty()) << kind.name;
        removed->setDeleteFromAddressBook(true);
        context->deleteObject(removed);
        EXPECT_EQ(bridge->calls, QStringList{QString::fromLatin1(kind.deleteCall)}) << kind.name;
        save(context);
    }
}

TEST_F(DetailsTest, DuplicatesNeedTheSameContactValueAndLabel)
{
    Person *ann = newPerson(QStringLiteral("Ann"));
    Person *bob = newPerson(QStringLiteral("Bob"));
    auto phone = [&](Person *p, const char *number, const char *label) {
        auto *r = Phones::createPhoneWithPhoneNumber(QString::fromLatin1(number), QString::fromLatin1(label), QString(),
                                                     context.get());
        r->setPerson(p);
        return r;
    };
    Phones *a1 = phone(ann, "1", "home");
    phone(ann, "1", "work");
    phone(bob, "1", "home");
    EXPECT_FALSE(a1->checkIfDuplicateRecord());
    Phones *a2 = phone(ann, "1", "home");
    EXPECT_TRUE(a1->checkIfDuplicateRecord());
    EXPECT_TRUE(a2->checkIfDuplicateRecord());

    // A null value never equals another null.
    Phones *n1 = phone(ann, "", "x");
    Phones *n2 = phone(ann, "", "x");
    n1->setPhoneNumber(QString());
    n2->setPhoneNumber(QString());
    EXPECT_FALSE(n1->checkIfDuplicateRecord());

    auto site = [&](const char *label) {
        return PersonWebsite::createPersonWebsiteWithURL(QStringLiteral("http://a.example"), QString::fromLatin1(label),
                                                         QString(), ann);
    };
    PersonWebsite *homepage = site("homepage");
    site("home page");
    EXPECT_TRUE(homepage->checkIfDuplicateRecord());
    PersonWebsite *upper = PersonWebsite::createPersonWebsiteWithURL(QStringLiteral("http://b.example"),
                                                                     QStringLiteral("Homepage"), QString(), ann);
    PersonWebsite::createPersonWebsiteWithURL(QStringLiteral("http://b.example"), QStringLiteral("home page"),
                                              QString(), ann);
    EXPECT_FALSE(upper->checkIfDuplicateRecord());
    EXPECT_TRUE(PersonWebsite::checkAleternativeSpellingForLabel(QStringLiteral("Homepage")).isNull());
}

TEST_F(DetailsTest, TheNewestOfEqualDetailsIsTheOneToRemove)
{
    Person *ann = newPerson();
    QList<Emails *> emails;
    for (int i = 0; i < 3; ++i) {
        clock->advance(1000);
        auto *e = Emails::createEmailWithEmailAddress(QStringLiteral("a@example.com"), QStringLiteral("home"),
                                                      QString(), context.get());
        e->setPerson(ann);
        e->setCreatedAt(clock->utcNow());
        emails.append(e);
    }
    save(context);
    for (Emails *e : emails)
        EXPECT_EQ(e->duplicateRecordToRemove(), emails.last());

    Emails *single = Emails::createEmailWithEmailAddress(QStringLiteral("b@example.com"), QStringLiteral("home"),
                                                         QString(), context.get());
    single->setPerson(ann);
    EXPECT_EQ(single->duplicateRecordToRemove(), nullptr);
}

TEST_F(DetailsTest, ADownloadedDetailOfAPrivateContactStaysUntied)
{
    Person *person = newPerson(QStringLiteral("Ann"), true);
    bridge->linked.insert(person);
    bridge->entries = {{QStringLiteral("home"), QStringLiteral("111"), QStringLiteral("entry-1")}};
    auto *phone =
        Phones::createPhoneWithPhoneNumber(QStringLiteral("111"), QStringLiteral("home"), QString(), context.get());
    phone->setPerson(person);
    phone->handleCloudKitInserted();
    EXPECT_TRUE(phone->localIdentifier().isEmpty());
}

TEST_F(DetailsTest, WebsitesOpenOnlyAsHttpOrHttps)
{
    struct Case
    {
        const char *text;
        const char *url; // empty: refused
    };
    const Case cases[] = {
        {"example.com", "http://example.com"},
        {"  www.example.com/a?b=1 ", "http://www.example.com/a?b=1"},
        {"https://example.com", "https://example.com"},
        {"HTTP://Example.com", "http://example.com"},
        {"example.com:8080/x", "http://example.com:8080/x"},
        {"javascript:alert(1)", ""},
        {"file:///etc/passwd", ""},
        {"mailto:a@example.com", ""},
        {"ftp://example.com", ""},
        {"", ""},
        {"http://", ""},
    };
    for (const Case &c : cases) {
        const QUrl url = PersonWebsite::browsableURLFromString(QString::fromLatin1(c.text));
        if (*c.url)
            EXPECT_EQ(url.toString(), QString::fromLatin1(c.url)) << c.text;
        else
            EXPECT_FALSE(url.isValid()) << c.text;
    }
}

} // namespace
