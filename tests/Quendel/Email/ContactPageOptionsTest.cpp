#include "QuendelKit/Entities/EntityStoreFixture.h"

#include "Classes/ContactPageOptions.h"

#include "QuendelKit/Entities/FileAttachments.h"
#include "QuendelKit/Entities/Log.h"
#include "QuendelKit/Entities/LogTitle.h"

#include "platform/core/UserDefaults.h"

#include <gtest/gtest.h>

using quendel::test::EntityStoreTest;

namespace {

class ContactPageOptionsTest : public EntityStoreTest
{
protected:
    void TearDown() override
    {
        setDialing(QString());
        EntityStoreTest::TearDown();
    }
    static void setDialing(const QString &option)
    {
        auto defaults = platform::core::UserDefaults::standardUserDefaults();
        if (option.isNull())
            defaults->removeObjectForKey(ContactPageOptions::DialingOptionKey);
        else
            defaults->setObject(option, ContactPageOptions::DialingOptionKey);
    }
    FileAttachments *file(const QString &name, const QString &renamed)
    {
        auto *attachment = insert<FileAttachments>();
        attachment->setFileName(name);
        attachment->setFileRenamedName(renamed);
        return attachment;
    }
    LogTitle *title(const QString &text, qint64 order)
    {
        return LogTitle::createNewLogTitleWithText(text, order, context.get());
    }
};

TEST_F(ContactPageOptionsTest, NoteOfAnEmail)
{
    const QList<FileAttachments *> two{file(QStringLiteral("a-UUID.txt"), QStringLiteral("a")),
                                       file(QStringLiteral("b.txt"), QString())};
    const QList<FileAttachments *> one{two.first()};
    const struct
    {
        const char *name;
        QString subject;
        QString body;
        QList<FileAttachments *> files;
        QString templateName;
        QString note;
    } cases[] = {
        {"nothing", QString(), QString(), {}, QStringLiteral("T"), QString()},
        {"nothing but files", QString(), QString(), two, QString(), QString()},
        {"subject and body", QStringLiteral("Hi"), QStringLiteral("Text"), {}, QString(), QStringLiteral("Hi: Text")},
        {"body only", QString(), QStringLiteral("Text"), {}, QString(), QStringLiteral("Text")},
        {"one file", QStringLiteral("Hi"), QString(), one, QString(),
         QStringLiteral("Hi (1 Attachment)\n\nAttachments:\n- a\n")},
        {"the example", QStringLiteral("Hi"), QStringLiteral("Text"), two, QStringLiteral("T"),
         QStringLiteral("[Template Name = T]\nHi (2 Attachments): Text\n\nAttachments:\n- a\n- b.txt\n")},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        const QString note = ContactPageOptions::createNoteForEmailDraftWithSubject(c.subject, c.body, c.files,
                                                                                    c.templateName);
        EXPECT_EQ(note, c.note);
        EXPECT_EQ(note.isNull(), c.note.isNull());
    }
}

TEST_F(ContactPageOptionsTest, DialUrlsForEveryPreferenceAndHostileNumbers)
{
    const struct
    {
        const char *name;
        QString option;
        QString number;
        QString url;
        int setting;
        QString label;
    } cases[] = {
        {"phone url keeps the number as typed", ContactPageOptions::UsePhoneURL, QStringLiteral("+1 (555) 010-0"),
         QStringLiteral("tel:+1%20%28555%29%20010-0"), 0, QStringLiteral("iPhone over WiFi")},
        {"skype normalises", ContactPageOptions::UseSkype, QStringLiteral("+1 (555) 010-0"),
         QStringLiteral("skype:+15550100?call"), 1, QStringLiteral("Skype")},
        {"facetime normalises", ContactPageOptions::UseFacetime, QStringLiteral("+1 (555) 010-0"),
         QStringLiteral("facetime-audio:+15550100"), 2, QStringLiteral("Facetime Audio")},
        {"absent means skype", QString(), QStringLiteral("123"), QStringLiteral("skype:123?call"), 1,
         QStringLiteral("Skype")},
        {"unknown means tel", QStringLiteral("settings_phone_use_pigeon"), QStringLiteral("123"),
         QStringLiteral("tel:123"), 0, QString()},
        {"no query or fragment from a number", ContactPageOptions::UsePhoneURL,
         QStringLiteral("555?body=x#frag&y=1"), QStringLiteral("tel:555%3Fbody%3Dx%23frag%26y%3D1"), 0,
         QStringLiteral("iPhone over WiFi")},
        {"skype number with symbols", ContactPageOptions::UseSkype, QStringLiteral("555=1/2"),
         QStringLiteral("skype:555%3D12?call"), 1, QStringLiteral("Skype")},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        setDialing(c.option);
        const QUrl url = ContactPageOptions::URLForDialPreferencesWithNumber(c.number);
        EXPECT_TRUE(url.isValid());
        EXPECT_EQ(url.toString(QUrl::FullyEncoded), c.url);
        EXPECT_EQ(ContactPageOptions::phoneOptionSetting(), c.setting);
        EXPECT_EQ(ContactPageOptions::phonePreferenceString(), c.label);
    }
}

TEST_F(ContactPageOptionsTest, AutomaticLogTakesTheFirstMatchingTitle)
{
    Person *person = insert<Person>();
    title(QStringLiteral("Meeting"), 0);
    LogTitle *sms = title(QStringLiteral("SMS"), 1);
    title(QStringLiteral("Message"), 2);
    LogTitle *email = title(QStringLiteral("Email"), 3);
    ASSERT_TRUE(context->save());

    const struct
    {
        const char *name;
        QString text;
        QString titleText;
        LogTitle *title;
        QString note;
    } cases[] = {
        {"email with a note", QStringLiteral("Hi: Text"), QStringLiteral("Email"), email, QStringLiteral("Hi: Text")},
        {"email without a note", QString(), QStringLiteral("Email"), email, QStringLiteral("Auto-Add from Email")},
        {"a message takes SMS when it comes first", QString(), QStringLiteral("Message"), sms,
         QStringLiteral("Auto-Add from Message")},
        {"a call without a title", QString(), QStringLiteral("Phone"), nullptr, QStringLiteral("Auto-Add from Phone")},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        platform::core::QDError error;
        Log *log = ContactPageOptions::addAutoLogObjectWithPerson(person, c.text, c.titleText, context.get(), &error);
        ASSERT_NE(log, nullptr) << error.toString().toStdString();
        EXPECT_EQ(log->person(), person);
        EXPECT_EQ(log->title(), c.title);
        EXPECT_EQ(log->logNote(), c.note);
        EXPECT_FALSE(context->hasChanges());
    }
}

} // namespace
