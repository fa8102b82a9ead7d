#include "QuendelKit/Entities/EntityStoreFixture.h"

#include "QuendelKit/Entities/PersonAddressBookBridge.h"
#include "QuendelKit/Settings/DataPlistValues.h"
#include "QuendelKit/Settings/SharedSettingController.h"

#include <QRegularExpression>

#include <gtest/gtest.h>

using platform::store::ContextPtr;
using platform::store::ManagedObjectContext;
using quendel::test::CapturingLogger;
using quendel::test::EntityStoreTest;

namespace {

const QRegularExpression guidPattern(QStringLiteral("^[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12}$"));

class PersonLifecycleTest : public EntityStoreTest
{
protected:
    ContextPtr childOf(const ContextPtr &parent)
    {
        auto child = ManagedObjectContext::create(ManagedObjectContext::ConcurrencyType::MainQueue);
        child->setParentContext(parent);
        return child;
    }

    template <typename T> static QStringList texts(const QList<T *> &objects, QString (T::*read)() const)
    {
        QStringList values;
        for (const T *object : objects)
            values.append((object->*read)());
        values.sort();
        return values;
    }
};

} // namespace

TEST_F(PersonLifecycleTest, OnlyARootContextGivesANewContactItsGuid)
{
    Person *inMain = insert<Person>();
    EXPECT_TRUE(guidPattern.match(inMain->guid()).hasMatch()) << inMain->guid().toStdString();
    EXPECT_TRUE(guidPattern.match(Person::makePersonGUID()).hasMatch());
    EXPECT_NE(Person::makePersonGUID(), Person::makePersonGUID());

    ContextPtr editor = childOf(context);
    Person *draft = insert<Person>(editor);
    EXPECT_TRUE(draft->guid().isEmpty()) << "its creator names it";

    ContextPtr copyDestination = newContext(NSManagedObjectQDBase::MigrateStoreDestinationContextName);
    Person *copied = insert<Person>(copyDestination);
    EXPECT_TRUE(copied->guid().isEmpty()) << "a copied contact keeps the guid it is given";
}

TEST_F(PersonLifecycleTest, ContactsAreFoundByTheirExactGuid)
{
    Person *ann = insert<Person>();
    ann->setGuid(QStringLiteral("6F1C9B2E-0000-4000-8000-00000000A001"));
    Person *bob = insert<Person>();
    bob->setGuid(QStringLiteral("6F1C9B2E-0000-4000-8000-00000000B002"));
    save(context);

    EXPECT_EQ(Person::getContactByGUID(QStringLiteral("6F1C9B2E-0000-4000-8000-00000000B002"), context.get()), bob);
    EXPECT_EQ(Person::getContactByGUID(QStringLiteral("6F1C9B2E-0000-4000-8000-00000000A001"), context.get()), ann);
    // A guid is matched as it stands: wildcards match nothing, and neither does another case.
    EXPECT_EQ(Person::getContactByGUID(QStringLiteral("*"), context.get()), nullptr);
    EXPECT_EQ(Person::getContactByGUID(QStringLiteral("6F1C9B2E-0000-4000-8000-00000000????"), context.get()), nullptr);
    EXPECT_EQ(Person::getContactByGUID(QStringLiteral("6f1c9b2e-0000-4000-8000-00000000a001"), context.get()), nullptr);
    EXPECT_EQ(Person::getContactByGUID(QString(), context.get()), nullptr);
    EXPECT_EQ(Person::getContactByGUID(QStringLiteral("unknown"), nullptr), nullptr);
}

TEST_F(PersonLifecycleTest, CloneCopiesNamesAndContactDetailsUnderANewGuid)
{
    Person *source = insert<Person>();
    source->setFirstName(QStringLiteral("Ann"));
    source->setLastName(QStringLiteral("Lee"));
    source->setCompanyName(QStringLiteral("Acme"));
    auto *info = insert<PersonInfo>();
    info->setMiddleName(QStringLiteral("Marie"));
    source->setPersoninfo(info);
    for (const char *number : {"+1 555 0100", "+1 555 0101"}) {
        auto *phone = insert<Phones>();
        phone->setPhoneNumber(QString::fromLatin1(number));
        source->addPhonesObject(phone);
    }
    auto *email = insert<Emails>();
    email->setEmailAddress(QStringLiteral("ann@example.com"));
    source->addEmailsObject(email);
    auto *address = insert<PersonAddress>();
    address->setCity(QStringLiteral("Springfield"));
    source->addAddressesObject(address);
    auto *website = insert<PersonWebsite>();
    website->setWebsiteURL(QStringLiteral("https://example.com"));
    source->addWebsitesObject(website);
    auto *log = insert<Log>();
    source->addLogsObject(log);
    save(context);
    const QString sourceGuid = source->guid();
    const QString sourceCloudID = source->cloudKitID();

    Person *clone = source->cloneObjectWithContext(context.get());
    ASSERT_NE(clone, nullptr);
    EXPECT_NE(clone, source);
    EXPECT_TRUE(guidPattern.match(clone->guid()).hasMatch());
    EXPECT_NE(clone->guid(), sourceGuid);
    EXPECT_EQ(source->guid(), sourceGuid);
    EXPECT_TRUE(clone->cloudKitID().isNull());

    EXPECT_EQ(clone->displayName(), QStringLiteral("Ann Lee"));
    EXPECT_EQ(clone->companyName(), QStringLiteral("Acme"));
    ASSERT_NE(clone->personinfo(), nullptr);
    EXPECT_NE(clone->personinfo(), info);
    EXPECT_EQ(clone->personinfo()->middleName(), QStringLiteral("Marie"));
    EXPECT_EQ(texts(clone->phones(), &Phones::phoneNumber),
              (QStringList{QStringLiteral("+1 555 0100"), QStringLiteral("+1 555 0101")}));
    EXPECT_EQ(texts(clone->emails(), &Emails::emailAddress), QStringList{QStringLiteral("ann@example.com")});
    EXPECT_EQ(texts(clone->addresses(), &PersonAddress::city), QStringList{QStringLiteral("Springfield")});
    EXPECT_TRUE(clone->websites().isEmpty());
    EXPECT_TRUE(clone->logs().isEmpty());
    // The copies are new records; the source keeps its own.
    EXPECT_EQ(source->phones().size(), 2);
    for (const Phones *phone : clone->phones())
        EXPECT_FALSE(source->phones().contains(phone));

    save(context);
    EXPECT_NE(clone->cloudKitID(), sourceCloudID);
    EXPECT_EQ(source->guid(), sourceGuid);
}

TEST_F(PersonLifecycleTest, TheSystemContactIdentifierIsKeptInTheSettingsCache)
{
    SharedSettingController &settings = SharedSettingController::sharedSettings();
    Person *person = insert<Person>();
    person->setContactIdentifier(QStringLiteral("unsaved-id"));
    EXPECT_EQ(person->contactIdentifier(), QStringLiteral("unsaved-id"));
    save(context);
    EXPECT_TRUE(settings.contactUniqueIdentiferForObjectID(person->objectID()).isEmpty())
        << "an unsaved contact has no lasting identifier to file it under";

    person->setContactIdentifier(QStringLiteral("contact-1"));
    EXPECT_EQ(settings.contactUniqueIdentiferForObjectID(person->objectID()), QStringLiteral("contact-1"));

    ContextPtr other;
    Person *elsewhere = reread<Person>(person, other);
    ASSERT_NE(elsewhere, nullptr);
    EXPECT_EQ(elsewhere->contactIdentifier(), QStringLiteral("contact-1")) << "read from the cache on first use";

    person->setContactIdentifier(QString());
    EXPECT_TRUE(settings.contactUniqueIdentiferForObjectID(person->objectID()).isEmpty());
}

TEST_F(PersonLifecycleTest, DeletionLogsAndClearsTheCachesThatReferToTheContact)
{
    SharedSettingController &settings = SharedSettingController::sharedSettings();
    Person *person = insert<Person>();
    person->setFirstName(QStringLiteral("Ann"));
    Person *kept = insert<Person>();
    save(context);

    person->setContactIdentifier(QStringLiteral("contact-ann"));
    kept->setContactIdentifier(QStringLiteral("contact-kept"));
    const QString pictureKey = person->objectID().URIRepresentation().toString();
    const QString keptPictureKey = kept->objectID().URIRepresentation().toString();
    settings.imageCacheQueue()->syncBarrier([&] {
        imageCacheApp().insert(pictureKey, QImage(1, 1, QImage::Format_RGB32));
        imageCacheApp().insert(keptPictureKey, QImage(1, 1, QImage::Format_RGB32));
    });

    auto logger = CapturingLogger::install();
    const platform::store::ManagedObjectID id = person->objectID();
    context->deleteObject(person);
    EXPECT_TRUE(settings.contactUniqueIdentiferForObjectID(id).isEmpty());
    EXPECT_EQ(settings.contactUniqueIdentiferForObjectID(kept->objectID()), QStringLiteral("contact-kept"));
    bool pictureGone = false, keptPictureThere = false;
    settings.imageCacheQueue()->sync([&] {
        pictureGone = !imageCacheApp().contains(pictureKey);
        keptPictureThere = imageCacheApp().contains(keptPictureKey);
    });
    EXPECT_TRUE(pictureGone);
    EXPECT_TRUE(keptPictureThere);
    EXPECT_TRUE(logger->lines().contains(QStringLiteral("Person - prepareForDeletion - Ann")))
        << logger->lines().join(QLatin1Char('\n')).toStdString();
    save(context);
}

TEST_F(PersonLifecycleTest, WithoutAContactsStoreTheReferenceKeyIsTheAddressBookIdentifier)
{
    struct LinkedBridge : PersonAddressBookBridge
    {
        QString macUniqueIdentifier(const Person &) override { return QStringLiteral("AB-42:ABPerson"); }
    };
    ASSERT_EQ(SharedSettingController::sharedSettings().globalContactStore(), nullptr);
    PersonAddressBookBridge::install(std::make_shared<LinkedBridge>());
    Person *person = insert<Person>();
    person->setContactIdentifier(QStringLiteral("contact-7"));
    EXPECT_EQ(person->personReferenceKey(), QStringLiteral("AB-42:ABPerson"));
    PersonAddressBookBridge::install(nullptr);
}
