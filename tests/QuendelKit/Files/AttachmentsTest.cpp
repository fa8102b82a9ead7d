#include "FilesFixture.h"

#include <QRegularExpression>

using platform::core::QDError;
using quendel::test::FilesTest;

namespace {

const QString Uuid = QStringLiteral("[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12}");

FileAttachments *only(Person *person)
{
    const QList<FileAttachments *> all = person->attachments();
    EXPECT_EQ(all.size(), 1);
    return all.value(0);
}

QString localFile(const FileAttachments *attachment)
{
    return SharedSettingController::sharedSettings().pathForAttachmentWithName(attachment->fileName());
}

} // namespace

TEST_F(FilesTest, StoredNamesCarryANewUuidAndKeepTheExtension)
{
    struct Case
    {
        QString displayName;
        QString pattern;
    };
    const Case cases[] = {
        {QStringLiteral("Report.pdf"), QStringLiteral("^Report-%1\\.pdf$")},
        {QStringLiteral("notes"), QStringLiteral("^notes-%1$")},
        {QStringLiteral("archive.tar.gz"), QStringLiteral("^archive\\.tar-%1\\.gz$")},
        {QStringLiteral("Übersicht 2024.Docx"), QStringLiteral("^Übersicht 2024-%1\\.Docx$")},
    };
    auto *probe = insert<FileAttachments>();
    for (const Case &c : cases) {
        SCOPED_TRACE(c.displayName.toStdString());
        const QString first = probe->setupUniqueFilenameWithName(c.displayName);
        EXPECT_TRUE(QRegularExpression(c.pattern.arg(Uuid)).match(first).hasMatch()) << first.toStdString();
        EXPECT_NE(probe->setupUniqueFilenameWithName(c.displayName), first) << "every name gets a new UUID";
    }
}

TEST_F(FilesTest, AttachingOneFileCopiesItUnderItsStoredNameAndSaves)
{
    const QString picked = source(QStringLiteral("Report.pdf"), "%PDF report");
    QDError error;
    ASSERT_TRUE(FileAttachments::createFileAttachmentWithURL(QUrl::fromLocalFile(picked), person, context.get(), &error))
        << error.toString().toStdString();
    FileAttachments *attachment = only(person);
    ASSERT_NE(attachment, nullptr);
    EXPECT_FALSE(context->hasChanges()) << "the attach saves";
    EXPECT_EQ(attachment->fileRenamedName(), QStringLiteral("Report.pdf"));
    EXPECT_EQ(attachment->fileCheckName(), QStringLiteral("Report.pdf"));
    EXPECT_EQ(attachment->fileNameNormalized(), QStringLiteral("report.pdf"));
    EXPECT_EQ(attachment->createdAt(), clock->now());
    EXPECT_EQ(readFile(localFile(attachment)), QByteArray("%PDF report"));
    EXPECT_EQ(readFile(picked), QByteArray("%PDF report")) << "the user's file is copied, never moved";
    EXPECT_EQ(attachment->fullFileURL(), QUrl::fromLocalFile(localFile(attachment)));
    EXPECT_TRUE(dropboxList().isEmpty()) << "nothing is listed while the Dropbox sync is off";

    const QString missing = sources.filePath(QStringLiteral("gone.txt"));
    EXPECT_FALSE(FileAttachments::createFileAttachmentWithURL(QUrl::fromLocalFile(missing), person, context.get(), &error));
    EXPECT_EQ(error.domain(), QuendelErrorDomain);
    EXPECT_EQ(error.code(), 1001);
    EXPECT_EQ(error.localizedDescription(), QStringLiteral("There was a problem saving this file gone.txt. Please try later"));
}

TEST_F(FilesTest, AttachingSeveralFilesStagesPrivatelySoProgramFilesSurvive)
{
    // Files the user happens to name like ours: none of ours may be replaced or removed.
    writeFile(QDir(dataFolder()).filePath(QStringLiteral("data.plist")), "our settings");
    writeFile(QDir(dataFolder()).filePath(QStringLiteral("Quendel.sqlite")), "our store");
    const QStringList picked = {source(QStringLiteral("data.plist"), "user plist"),
                                source(QStringLiteral("Quendel.sqlite"), "user database"),
                                source(QStringLiteral("photo.png"), "png bytes")};
    QDError error;
    ASSERT_TRUE(FileAttachments::createFileAttachmentWithArray(picked, person, context.get(), true, &error))
        << error.toString().toStdString();
    EXPECT_EQ(readFile(QDir(dataFolder()).filePath(QStringLiteral("data.plist"))), QByteArray("our settings"));
    EXPECT_EQ(readFile(QDir(dataFolder()).filePath(QStringLiteral("Quendel.sqlite"))), QByteArray("our store"));
    EXPECT_TRUE(QDir(dataFolder()).entryList({QStringLiteral(".attach-*")}, QDir::Dirs | QDir::Hidden).isEmpty())
        << "the staging folder goes when the attach ends";
    EXPECT_EQ(person->attachments().size(), 3);
    QStringList contents;
    for (FileAttachments *attachment : person->attachments())
        contents << QString::fromUtf8(readFile(localFile(attachment)));
    contents.sort();
    EXPECT_EQ(contents, (QStringList{QStringLiteral("png bytes"), QStringLiteral("user database"),
                                     QStringLiteral("user plist")}));
    for (const QString &path : picked)
        EXPECT_TRUE(QFile::exists(path)) << "copied, not moved: " << path.toStdString();
    QFile::remove(QDir(dataFolder()).filePath(QStringLiteral("data.plist")));
    QFile::remove(QDir(dataFolder()).filePath(QStringLiteral("Quendel.sqlite")));
}

TEST_F(FilesTest, ABatchWithAnUnreadableFileSavesNothing)
{
    const QStringList picked = {source(QStringLiteral("a.txt"), "a"), sources.filePath(QStringLiteral("missing.txt"))};
    QDError error;
    EXPECT_FALSE(FileAttachments::createFileAttachmentWithArray(picked, person, context.get(), true, &error));
    EXPECT_EQ(error.code(), 1001);
    EXPECT_EQ(error.localizedDescription(),
              QStringLiteral("There was a problem saving some of the files. Please try again later"));
    context->rollback();
    platform::store::ContextPtr fresh;
    EXPECT_TRUE(reread<Person>(person, fresh)->attachments().isEmpty()) << "nothing of the batch reached the store";
}

TEST_F(FilesTest, HostileNamesAreRefused)
{
    const QStringList hostile = {QString(), QStringLiteral("."), QStringLiteral(".."), QStringLiteral("../data.plist"),
                                 QStringLiteral("/etc/passwd"), QStringLiteral("a/b"), QStringLiteral("a\\b"),
                                 QStringLiteral("nul") + QChar(0) + QStringLiteral("x")};
    for (const QString &name : hostile)
        EXPECT_FALSE(FileAttachments::isSafeFileName(name)) << name.toStdString();
    for (const QString &name : {QStringLiteral("Report.pdf"), QStringLiteral(".hidden"), QStringLiteral("a..b"),
                                QStringLiteral("…"), QStringLiteral("data.plist")})
        EXPECT_TRUE(FileAttachments::isSafeFileName(name)) << name.toStdString();

    // A destination that names no plain file is refused before anything is made.
    const QString picked = source(QStringLiteral("x.txt"), "x");
    QDError error;
    EXPECT_FALSE(FileAttachments::createFileAttachmentWithURL(QUrl::fromLocalFile(picked),
                                                              QUrl::fromLocalFile(QStringLiteral("/tmp/..")), person,
                                                              context.get(), &error));
    EXPECT_EQ(error.code(), 1001);
    EXPECT_TRUE(person->attachments().isEmpty());

    // A rename to a path stays inside the folder or does not happen.
    ASSERT_TRUE(FileAttachments::createFileAttachmentWithURL(QUrl::fromLocalFile(picked), person, context.get(), &error));
    FileAttachments *attachment = only(person);
    const QString stored = attachment->fileName();
    for (const QString &name : {QStringLiteral("../escaped"), QStringLiteral("sub/dir"), QStringLiteral("..")}) {
        SCOPED_TRACE(name.toStdString());
        QDError renameError;
        EXPECT_FALSE(attachment->renameFileToNewName(name, &renameError));
        EXPECT_EQ(renameError.code(), FileAttachments::UnsafeNameError);
        EXPECT_EQ(attachment->fileName(), stored);
        EXPECT_EQ(attachment->fileRenamedName(), QStringLiteral("x.txt"));
    }
    EXPECT_EQ(attachmentFiles(), QStringList{stored});
    EXPECT_FALSE(QFile::exists(QDir(dataFolder()).filePath(QStringLiteral("escaped.txt"))));

    // A stored name that came from elsewhere and names a path locates nothing.
    attachment->setFileName(QStringLiteral("../data.plist"));
    EXPECT_TRUE(attachment->fullFileURL().isEmpty());
}

TEST_F(FilesTest, RenamingOntoATakenNameKeepsBothFiles)
{
    QDError error;
    ASSERT_TRUE(FileAttachments::createFileAttachmentWithArray(
        {source(QStringLiteral("Plan.txt"), "first plan"), source(QStringLiteral("Draft.txt"), "second draft")}, person,
        context.get(), true, &error));
    FileAttachments *plan = nullptr;
    FileAttachments *draft = nullptr;
    for (FileAttachments *attachment : person->attachments())
        (attachment->fileRenamedName() == QStringLiteral("Plan.txt") ? plan : draft) = attachment;
    ASSERT_TRUE(plan && draft);
    const QString draftStored = draft->fileName();

    ASSERT_TRUE(draft->renameFileToNewName(QStringLiteral("Plan"), &error)) << error.toString().toStdString();
    EXPECT_EQ(draft->fileRenamedName(), QStringLiteral("Plan.txt"));
    EXPECT_NE(draft->fileName(), plan->fileName()) << "the display names match, the stored files never do";
    EXPECT_NE(draft->fileName(), draftStored);
    EXPECT_TRUE(QRegularExpression(QStringLiteral("^Plan-%1\\.txt$").arg(Uuid)).match(draft->fileName()).hasMatch());
    EXPECT_EQ(readFile(localFile(plan)), QByteArray("first plan"));
    EXPECT_EQ(readFile(localFile(draft)), QByteArray("second draft"));
    EXPECT_FALSE(QFile::exists(SharedSettingController::sharedSettings().pathForAttachmentWithName(draftStored)));
    EXPECT_EQ(attachmentFiles().size(), 2);
    EXPECT_FALSE(context->hasChanges()) << "the rename saves";

    // The same display name again still moves the file to a new stored name.
    const QString before = draft->fileName();
    ASSERT_TRUE(draft->renameFileToNewName(QStringLiteral("Plan"), &error));
    EXPECT_NE(draft->fileName(), before);
    EXPECT_EQ(readFile(localFile(draft)), QByteArray("second draft"));

    // A file that is gone cannot be renamed; the record stays as it was.
    QFile::remove(localFile(draft));
    const QString lost = draft->fileName();
    EXPECT_FALSE(draft->renameFileToNewName(QStringLiteral("Other"), &error));
    EXPECT_EQ(error.code(), 1002);
    EXPECT_EQ(error.localizedDescription(), QStringLiteral("There was a problem renaming this file. Please try later"));
    EXPECT_EQ(draft->fileName(), lost);
    EXPECT_EQ(draft->fileRenamedName(), QStringLiteral("Plan.txt"));
}

TEST_F(FilesTest, ExternalLinksAreNamesOnly)
{
    QDError error;
    ASSERT_TRUE(FileAttachments::createFileAttachmentWithExternalFileURL(
        QUrl(QStringLiteral("https://example.org/a b")), QStringLiteral("Site"), person, context.get(), &error));
    FileAttachments *link = only(person);
    EXPECT_EQ(link->fileName(), QStringLiteral("Site"));
    EXPECT_EQ(link->fileExternalURL(), QStringLiteral("https://example.org/a%20b"));
    ASSERT_TRUE(link->renameFileToNewName(QStringLiteral("Homepage"), &error));
    EXPECT_EQ(link->fileName(), QStringLiteral("Homepage"));
    EXPECT_EQ(link->fileRenamedName(), QStringLiteral("Homepage"));
    context->deleteObject(link);
    save(context);
    EXPECT_TRUE(attachmentFiles().isEmpty());
    EXPECT_TRUE(dropboxList().isEmpty());
}

TEST_F(FilesTest, AFileGoesOnlyOnceItsDeletionIsSaved)
{
    QDError error;
    ASSERT_TRUE(FileAttachments::createFileAttachmentWithURL(QUrl::fromLocalFile(source(QStringLiteral("keep.txt"), "k")),
                                                             person, context.get(), &error));
    FileAttachments *attachment = only(person);
    const QString path = localFile(attachment);
    ASSERT_TRUE(QFile::exists(path));

    // Deleted in an editor that is then discarded: the file stays.
    {
        auto editor = platform::store::ManagedObjectContext::create(
            platform::store::ManagedObjectContext::ConcurrencyType::MainQueue);
        editor->setParentContext(context);
        editor->deleteObject(editor->objectWithID(attachment->objectID()));
        EXPECT_TRUE(QFile::exists(path));
        ASSERT_TRUE(editor->save(&error)) << "a child's save reaches only its parent";
        EXPECT_TRUE(QFile::exists(path));
        context->rollback();
    }
    EXPECT_TRUE(QFile::exists(path)) << "the deletion was never saved to the store";

    // Deleted and rolled back in the main context: the file stays.
    attachment = only(person);
    context->deleteObject(attachment);
    EXPECT_TRUE(QFile::exists(path)) << "nothing is removed before the save";
    context->rollback();
    EXPECT_TRUE(QFile::exists(path));

    // Deleted and saved, with the Dropbox sync on: the file goes and the deletion is listed.
    SharedSettingController::sharedSettings().setIsDropboxEnabled(true);
    attachment = only(person);
    const QString name = attachment->fileName();
    context->deleteObject(attachment);
    save(context);
    EXPECT_FALSE(QFile::exists(path));
    EXPECT_EQ(dropboxList().value(NSManagedObjectQDBase::DeletedFilesKey).toStringList(), QStringList{name});
}

TEST_F(FilesTest, TheDropboxListFollowsNewAndRenamedFiles)
{
    SharedSettingController::sharedSettings().setIsDropboxEnabled(true);
    QDError error;
    ASSERT_TRUE(FileAttachments::createFileAttachmentWithURL(QUrl::fromLocalFile(source(QStringLiteral("a.txt"), "a")),
                                                             person, context.get(), &error));
    FileAttachments *attachment = only(person);
    EXPECT_EQ(dropboxList().value(NSManagedObjectQDBase::NewFilesKey).toStringList(), QStringList{localFile(attachment)});
    ASSERT_TRUE(attachment->renameFileToNewName(QStringLiteral("b"), &error));
    EXPECT_EQ(dropboxList().value(NSManagedObjectQDBase::NewFilesKey).toStringList(), QStringList{attachment->fileName()})
        << "a file waiting for upload is listed under its new name";
    EXPECT_FALSE(dropboxList().contains(NSManagedObjectQDBase::RenamedFilesKey));
    context->deleteObject(attachment);
    save(context);
    EXPECT_TRUE(dropboxList().value(NSManagedObjectQDBase::NewFilesKey).toList().isEmpty());
    EXPECT_FALSE(dropboxList().contains(NSManagedObjectQDBase::DeletedFilesKey))
        << "a file never uploaded leaves neither an upload nor a deletion";
}

TEST_F(FilesTest, ReassigningMovesTheAttachmentToTheOtherContact)
{
    QDError error;
    ASSERT_TRUE(FileAttachments::createFileAttachmentWithURL(QUrl::fromLocalFile(source(QStringLiteral("a.txt"), "a")),
                                                             person, context.get(), &error));
    FileAttachments *attachment = only(person);
    auto *other = insert<Person>();
    attachment->reassignToPerson(other);
    EXPECT_FALSE(context->hasChanges());
    EXPECT_TRUE(person->attachments().isEmpty());
    EXPECT_EQ(other->attachments(), QList<FileAttachments *>{attachment});
}

TEST(FileSizeText, BytesThenOneDecimalInTheNextUnit)
{
    const std::pair<quint64, const char *> cases[] = {
        {0, "0 bytes"},          {1, "1 bytes"},
        {1022, "1022 bytes"},    {1023, "1.0 KB"},
        {1024, "1.0 KB"},        {1536, "1.5 KB"},
        {1046528, "1022.0 KB"},  {1047552, "1.0 MB"}, // 1023 KB is no longer below 1023: the next unit
        {1048576, "1.0 MB"},     {5 * 1048576ull + 524288, "5.5 MB"},
        {1073741824, "1.0 GB"},  {2199023255552ull, "2048.0 GB"},
    };
    for (const auto &[bytes, text] : cases)
        EXPECT_EQ(FileAttachments::stringFromFileSize(bytes), QString::fromLatin1(text)) << bytes;
}

TEST(FileThumbnails, OnlyTheFiveKindsShowTheirThumbnail)
{
    const std::pair<const char *, bool> cases[] = {
        {"a.pdf", true},  {"a.Png", true},   {"a.JPG", true}, {"a.txt", true}, {"a.rtf", true},
        {"a.jpeg", false}, {"a.docx", false}, {"pdf", false},  {"a.", false},
    };
    for (const auto &[name, shown] : cases)
        EXPECT_EQ(FileAttachments::showFileThumbnailForFileURL(QUrl::fromLocalFile(QStringLiteral("/x/") + name)), shown)
            << name;
}

TEST_F(FilesTest, MissingFilesAreListedForDownloadAttachmentsFirst)
{
    QDError error;
    ASSERT_TRUE(FileAttachments::createFileAttachmentWithArray(
        {source(QStringLiteral("here.txt"), "h"), source(QStringLiteral("gone.txt"), "g")}, person, context.get(), true,
        &error));
    ASSERT_TRUE(FileAttachments::createFileAttachmentWithExternalFileURL(QUrl(QStringLiteral("https://example.org")),
                                                                         QStringLiteral("Link"), person, context.get(),
                                                                         &error));
    FileAttachments *gone = nullptr;
    for (FileAttachments *attachment : person->attachments()) {
        if (attachment->fileRenamedName() == QStringLiteral("gone.txt"))
            gone = attachment;
    }
    ASSERT_NE(gone, nullptr);
    QFile::remove(localFile(gone));
    auto *picture = insert<PersonImage>();
    picture->setFullImageFileName(QStringLiteral("P.jpg"));
    save(context);

    const platform::cloud::RecordZoneID zone(QStringLiteral("QDCloudKitPrivateZoneName"));
    const QList<platform::cloud::RecordID> missing =
        FileAttachments::fileAttachmentsToDownloadForCloudKitWithContext(context.get(), zone);
    ASSERT_FALSE(gone->cloudKitID().isEmpty());
    EXPECT_EQ(missing, (QList<platform::cloud::RecordID>{platform::cloud::RecordID(gone->cloudKitID(), zone),
                                                          platform::cloud::RecordID(picture->cloudKitID(), zone)}));
    EXPECT_EQ(FileAttachments::loadAllFileNamesWithContext(context.get()).size(), 3);
}

TEST_F(FilesTest, PreviewsShowThePictureAtMost1024Wide)
{
    const std::pair<QSize, QSize> cases[] = {
        {QSize(40, 30), QSize(40, 30)},
        {QSize(2048, 1024), QSize(1024, 512)},
        {QSize(600, 3000), QSize(204, 1024)},
    };
    for (const auto &[size, shown] : cases) {
        QImage image(size, QImage::Format_RGB32);
        image.fill(Qt::darkCyan);
        const QString path = sources.filePath(QStringLiteral("p.png"));
        ASSERT_TRUE(image.save(path));
        QDError error;
        ASSERT_TRUE(FileAttachments::createFileAttachmentWithURL(QUrl::fromLocalFile(path), person, context.get(), &error));
        FileAttachments *attachment = person->attachments().last();
        EXPECT_EQ(attachment->filePreviewImage().size(), shown);
        EXPECT_EQ(attachment->previewItemURL(), attachment->fullFileURL());
        EXPECT_EQ(attachment->previewItemTitle(), QStringLiteral("p.png"));
        context->deleteObject(attachment);
        save(context);
    }
    // A file whose kind shows no thumbnail, or that is no picture, gets an icon (when the theme has one).
    QDError error;
    ASSERT_TRUE(FileAttachments::createFileAttachmentWithURL(QUrl::fromLocalFile(source(QStringLiteral("fake.png"), "text")),
                                                             person, context.get(), &error));
    const QImage icon = person->attachments().last()->filePreviewImage();
    EXPECT_TRUE(icon.isNull() || icon.width() <= 128) << "never the 1024 thumbnail of a file that holds no picture";
}
