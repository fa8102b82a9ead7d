#include "FilesTestFixture.h"

#include "Classes/FileDropImport.h"

#include <QMimeData>
#include <QUrl>

using files_test::FilesPaneTest;

namespace {

QStringList sorted(QStringList list)
{
    list.sort();
    return list;
}

} // namespace

TEST(FileDropImportNames, HostileAndOddNamesBecomeOnePlainName)
{
    struct Case
    {
        QString given;
        QString expected;
    };
    const Case cases[] = {
        {QStringLiteral("Report.pdf"), QStringLiteral("Report.pdf")},
        {QStringLiteral(".."), QStringLiteral("File")},
        {QStringLiteral("."), QStringLiteral("File")},
        {QString(), QStringLiteral("File")},
        {QStringLiteral("../../etc/passwd"), QStringLiteral(".._.._etc_passwd")},
        {QStringLiteral("a\\b.txt"), QStringLiteral("a_b.txt")},
        {QStringLiteral("bad\nname\r\t\x01.txt"), QStringLiteral("badname.txt")},
        {QStringLiteral("  spaced.txt  "), QStringLiteral("spaced.txt")},
        {QStringLiteral("\x7f\x1b"), QStringLiteral("File")},
        {QStringLiteral("right\u202Etxt.exe"), QStringLiteral("righttxt.exe")},
        {QStringLiteral("nul") + QChar(0) + QStringLiteral(".txt"), QStringLiteral("nul.txt")},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.given.toStdString());
        const QString clean = FileDropImport::sanitizedFileName(c.given);
        EXPECT_EQ(clean, c.expected);
        EXPECT_TRUE(FileAttachments::isSafeFileName(clean));
    }
}

TEST(FileDropImportNames, VeryLongNamesAreCutKeepingTheExtensionAndWholeCharacters)
{
    const QString longAscii = QString(300, QLatin1Char('a')) + QStringLiteral(".pdf");
    const QString cut = FileDropImport::sanitizedFileName(longAscii);
    EXPECT_LE(cut.toUtf8().size(), FileDropImport::MaxNameBytes);
    EXPECT_TRUE(cut.endsWith(QStringLiteral(".pdf")));
    EXPECT_TRUE(cut.startsWith(QStringLiteral("aaaa")));

    // Four bytes a character: the cut never splits one.
    QString emoji;
    for (int i = 0; i < 100; ++i)
        emoji += QString::fromUtf8("\xF0\x9F\x93\x84");
    const QString cutEmoji = FileDropImport::sanitizedFileName(emoji + QStringLiteral(".txt"));
    EXPECT_LE(cutEmoji.toUtf8().size(), FileDropImport::MaxNameBytes);
    EXPECT_TRUE(cutEmoji.endsWith(QStringLiteral(".txt")));
    EXPECT_EQ(QString::fromUtf8(cutEmoji.toUtf8()), cutEmoji) << "no broken surrogate pair";
    EXPECT_EQ((cutEmoji.size() - 4) % 2, 0);

    // A silly long "extension" is not kept as one.
    const QString dots = QStringLiteral("x.") + QString(300, QLatin1Char('b'));
    EXPECT_LE(FileDropImport::sanitizedFileName(dots).toUtf8().size(), FileDropImport::MaxNameBytes);
}

TEST(FileDropImportNames, MailMessagesAreNamedAfterTheirDecodedSubject)
{
    struct Case
    {
        QByteArray message;
        QString expected;
    };
    const Case cases[] = {
        {"From: a@example.org\r\nSubject: Lunch on Friday\r\n\r\nBody", QStringLiteral("Lunch on Friday.eml")},
        {"Subject: =?UTF-8?B?R3LDvMOfZSBhdXMgS8O2bG4=?=\n\nHi", QStringLiteral("Grüße aus Köln.eml")},
        {"Subject: =?iso-8859-1?Q?Caf=E9_au_lait?=\n\n", QStringLiteral("Café au lait.eml")},
        {"Subject: A long\r\n subject line\r\n\r\n", QStringLiteral("A long subject line.eml")},
        {"Subject: ../../secret/plans\n\n", QStringLiteral(".._.._secret_plans.eml")},
        {"Subject: \x01\x02\n\n", QStringLiteral("Message.eml")},
        {"From: a@example.org\n\nSubject: not a header", QStringLiteral("Message.eml")},
        {QByteArray(), QStringLiteral("Message.eml")},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.message.toStdString());
        EXPECT_EQ(FileDropImport::mailMessageFileName(c.message), c.expected);
    }
    const QByteArray longSubject = "Subject: " + QByteArray(400, 'z') + "\n\n";
    const QString name = FileDropImport::mailMessageFileName(longSubject);
    EXPECT_LE(name.toUtf8().size(), FileDropImport::MaxNameBytes);
    EXPECT_TRUE(name.endsWith(QStringLiteral(".eml")));
}

TEST_F(FilesPaneTest, DroppedFilesAreCopiedUnderCleanNamesAndTheUsersFilesStay)
{
    const QString plain = source(QStringLiteral("Plan.txt"), "the plan");
    const QString odd = source(QStringLiteral("odd\tname\x01.txt"), "odd");
    const QString longName = source(QString(240, QLatin1Char('L')) + QStringLiteral(".txt"), "long");
    auto *data = new QMimeData;
    data->setUrls({QUrl::fromLocalFile(plain), QUrl::fromLocalFile(odd), QUrl::fromLocalFile(longName),
                   QUrl(QStringLiteral("https://example.org/not-a-file.txt"))});
    const FileDropImport::Result result = FileDropImport::importMimeData(data, alice, context.get());
    delete data;
    EXPECT_TRUE(result.ok()) << result.failedNames.join(QLatin1Char('|')).toStdString();
    EXPECT_EQ(result.added, 3);
    EXPECT_FALSE(context->hasChanges()) << "each file is saved";
    const QStringList names = shownNames(alice);
    ASSERT_EQ(names.size(), 3);
    EXPECT_TRUE(names.contains(QStringLiteral("Plan.txt")));
    EXPECT_TRUE(names.contains(QStringLiteral("oddname.txt")));
    for (const QString &name : names)
        EXPECT_LE(name.toUtf8().size(), FileDropImport::MaxNameBytes) << name.toStdString();
    EXPECT_EQ(contentOf(fileNamed(alice, QStringLiteral("oddname.txt"))), QByteArray("odd"));
    EXPECT_EQ(storedFiles().size(), 3);
    for (const QString &path : {plain, odd, longName})
        EXPECT_TRUE(QFile::exists(path)) << "the user's own file is never moved or removed";
}

TEST_F(FilesPaneTest, EveryFileThatFailsIsReportedAndLeavesNothingBehind)
{
    const QString good = source(QStringLiteral("good.txt"), "good");
    const QString missing = sources.filePath(QStringLiteral("gone.pdf"));
    const QString folder = sources.filePath(QStringLiteral("a folder"));
    QDir().mkpath(folder);
    const FileDropImport::Result result = FileDropImport::importPaths({missing, good, folder}, bob, context.get());
    EXPECT_EQ(result.added, 1);
    EXPECT_EQ(result.failedNames, (QStringList{QStringLiteral("gone.pdf"), QStringLiteral("a folder")}));
    EXPECT_FALSE(result.lastError.isNull());
    EXPECT_EQ(shownNames(bob), QStringList{QStringLiteral("good.txt")});
    EXPECT_TRUE(context->insertedObjects().isEmpty()) << "no half-made record waits for the next save";
    EXPECT_EQ(storedFiles().size(), 1);

    const QString message = FileDropImport::failureMessage(result);
    EXPECT_TRUE(message.contains(QStringLiteral("gone.pdf")));
    EXPECT_TRUE(message.contains(QStringLiteral("a folder")));
    FileDropImport::reportFailures(result, nullptr);
    ASSERT_FALSE(platform::ui::AlertPresenter::shared().shownAlerts().isEmpty());
    EXPECT_EQ(platform::ui::AlertPresenter::shared().shownAlerts().last().spec.informativeText, message);
}

TEST_F(FilesPaneTest, ABatchThatFailsHalfWayIsRolledBackWithItsFiles)
{
    const QString first = source(QStringLiteral("first.txt"), "1");
    platform::core::QDError error;
    EXPECT_FALSE(FileAttachments::createFileAttachmentWithArray({first, sources.filePath(QStringLiteral("nope.txt"))},
                                                                alice, context.get(), true, &error));
    EXPECT_FALSE(error.isNull());
    EXPECT_TRUE(context->insertedObjects().isEmpty());
    EXPECT_TRUE(alice->attachments().isEmpty());
    EXPECT_TRUE(storedFiles().isEmpty()) << "the copy already placed goes with its record";
    save();
    EXPECT_TRUE(alice->attachments().isEmpty());
}

TEST_F(FilesPaneTest, AMailMessageDroppedAsDataBecomesAnEmlFileOfTheContact)
{
    const QByteArray message = "From: zoe@example.org\r\nSubject: Meeting notes\r\n\r\nSee you at 10.\r\n";
    auto *data = new QMimeData;
    data->setData(FileDropImport::MessageMimeType, message);
    EXPECT_TRUE(FileDropImport::canImport(data));
    const FileDropImport::Result result = FileDropImport::importMimeData(data, alice, context.get());
    delete data;
    EXPECT_TRUE(result.ok());
    EXPECT_EQ(shownNames(alice), QStringList{QStringLiteral("Meeting notes.eml")});
    EXPECT_EQ(contentOf(fileNamed(alice, QStringLiteral("Meeting notes.eml"))), message);

    // An .eml file from the file manager is a file like any other; the documents folder is never searched.
    const QString eml = source(QStringLiteral("Invoice.eml"), "Subject: Invoice\n\nPay");
    const QString documents = quendel::test::processHome().documents();
    const QString stranger = QDir(documents).filePath(QStringLiteral("someone else.eml"));
    QFile(stranger).open(QIODevice::WriteOnly);
    auto *fileDrop = new QMimeData;
    fileDrop->setUrls({QUrl::fromLocalFile(eml)});
    EXPECT_TRUE(FileDropImport::importMimeData(fileDrop, alice, context.get()).ok());
    delete fileDrop;
    EXPECT_EQ(sorted(shownNames(alice)), (QStringList{QStringLiteral("Invoice.eml"), QStringLiteral("Meeting notes.eml")}));
    EXPECT_TRUE(QFile::exists(eml));
    EXPECT_TRUE(QFile::exists(stranger)) << "a message file we did not receive is never touched";

    auto *nothing = new QMimeData;
    nothing->setText(QStringLiteral("just text"));
    EXPECT_FALSE(FileDropImport::canImport(nothing));
    EXPECT_EQ(FileDropImport::importMimeData(nothing, alice, context.get()).added, 0);
    delete nothing;
}
