#include "FilesFixture.h"

#include <QBuffer>
#include <QImage>
#include <QImageWriter>

using quendel::test::FilesTest;

namespace {

// A picture whose every pixel differs, so any lossy step shows.
QImage testPicture(int width = 37, int height = 23)
{
    QImage image(width, height, QImage::Format_ARGB32);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x)
            image.setPixel(x, y, qRgba((x * 7) & 0xFF, (y * 11) & 0xFF, (x * y) & 0xFF, 255 - (x + y) % 3));
    }
    return image;
}

QByteArray encoded(const QImage &image, const char *format)
{
    QByteArray data;
    QBuffer buffer(&data);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter(&buffer, format).write(image);
    return data;
}

QImage decoded(const QByteArray &data)
{
    return QImage::fromData(data).convertToFormat(QImage::Format_ARGB32);
}

class PicturesTest : public FilesTest
{
protected:
    void SetUp() override
    {
        FilesTest::SetUp();
        person->setGuid(QStringLiteral("GUID-7"));
        picture = insert<PersonImage>();
        picture->setPerson(person);
        save(context);
    }
    QString pictureFile(const QString &name = QStringLiteral("GUID-7.jpg")) const
    {
        return QDir(picturesFolder()).filePath(name);
    }
    PersonImage *picture = nullptr;
};

} // namespace

TEST_F(PicturesTest, APictureRoundTripsLosslessly)
{
    const QImage original = testPicture();
    const QByteArray png = encoded(original, "png");
    ASSERT_TRUE(picture->saveImageReferenceForData(png));
    EXPECT_EQ(picture->fullImageFileName(), QStringLiteral("GUID-7.jpg")) << "named after the contact's guid";
    EXPECT_EQ(readFile(pictureFile()), png) << "the bytes are kept exactly as given";

    const QByteArray back = picture->dataFromImageReference();
    ASSERT_FALSE(back.isEmpty());
    EXPECT_TRUE(back.startsWith("\x89PNG")) << "read back as PNG";
    EXPECT_EQ(decoded(back), original.convertToFormat(QImage::Format_ARGB32)) << "not one pixel changed";

    // Any picture format is stored as given and read back as the same pixels.
    const QByteArray bmp = encoded(original, "bmp");
    ASSERT_TRUE(picture->saveImageReferenceForData(bmp));
    EXPECT_EQ(readFile(pictureFile()), bmp);
    EXPECT_EQ(decoded(picture->dataFromImageReference()), decoded(bmp));
}

TEST_F(PicturesTest, APictureIsNeverStoredAsEmptyBytes)
{
    EXPECT_FALSE(picture->saveImageReferenceForData(QByteArray()));
    EXPECT_FALSE(QFile::exists(pictureFile())) << "no empty file for a contact without a picture";

    const QByteArray png = encoded(testPicture(), "png");
    ASSERT_TRUE(picture->saveImageReferenceForData(png));
    EXPECT_FALSE(picture->saveImageReferenceForData(QByteArray()));
    EXPECT_EQ(readFile(pictureFile()), png) << "the picture the contact had stays";
    EXPECT_TRUE(QDir(picturesFolder()).entryList(QDir::Files | QDir::Hidden) == QStringList{QStringLiteral("GUID-7.jpg")})
        << "no half-written copies are left behind";
}

TEST_F(PicturesTest, ALaterPictureReplacesTheFileAndDatesTheRecord)
{
    ASSERT_TRUE(picture->saveImageReferenceForData(encoded(testPicture(), "png")));
    save(context);
    const QDateTime first = picture->modifiedAt();
    clock->advance(60 * 1000);
    const QByteArray second = encoded(testPicture(5, 5), "png");
    ASSERT_TRUE(picture->saveImageReferenceForData(second));
    EXPECT_EQ(readFile(pictureFile()), second);
    EXPECT_EQ(picture->modifiedAt(), clock->now().toUTC());
    EXPECT_GT(picture->modifiedAt(), first);
}

TEST_F(PicturesTest, MissingOrUnreadableFilesReadAsNoPicture)
{
    EXPECT_TRUE(picture->dataFromImageReference().isEmpty()) << "no file name yet";
    picture->setFullImageFileName(QStringLiteral("GUID-7.jpg"));
    EXPECT_TRUE(picture->dataFromImageReference().isEmpty()) << "no file";
    writeFile(pictureFile(), "not a picture at all");
    EXPECT_TRUE(picture->dataFromImageReference().isEmpty());
}

TEST_F(PicturesTest, HostileNamesWriteNothingOutsideThePicturesFolder)
{
    for (const QString &name : {QStringLiteral("../data.plist"), QStringLiteral("/tmp/x.jpg"), QStringLiteral("..")}) {
        SCOPED_TRACE(name.toStdString());
        picture->setFullImageFileName(name);
        EXPECT_FALSE(picture->saveImageReferenceForData(encoded(testPicture(), "png")));
        EXPECT_TRUE(picture->dataFromImageReference().isEmpty());
    }
    EXPECT_FALSE(readFile(QDir(dataFolder()).filePath(QStringLiteral("data.plist"))).startsWith("\x89PNG"));
    auto *other = insert<Person>();
    other->setGuid(QStringLiteral("../escape"));
    auto *otherPicture = insert<PersonImage>();
    otherPicture->setPerson(other);
    EXPECT_FALSE(otherPicture->saveImageReferenceForData(encoded(testPicture(), "png")));
    EXPECT_FALSE(QFile::exists(QDir(picturesFolder()).filePath(QStringLiteral("../escape.jpg"))));
}

TEST_F(PicturesTest, MigrationMovesTheStoredPictureIntoItsFile)
{
    const QImage original = testPicture();
    struct Case
    {
        const char *what;
        QVariant stored;
        bool withContact;
        bool answer;
        bool fileWritten;
        bool storedCleared;
    };
    const Case cases[] = {
        {"a picture", QVariant(original), true, true, true, true},
        {"picture data", QVariant(encoded(original, "png")), true, true, true, true},
        {"no picture", QVariant(), true, true, false, true},
        {"no contact", QVariant(original), false, true, false, true},
        {"damaged data", QVariant(QByteArray("damaged")), true, false, false, false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        QFile::remove(pictureFile());
        platform::core::PropertyList::writeFile(QVariantMap(), SharedSettingController::sharedSettings().dropboxFile());
        auto *record = insert<PersonImage>();
        if (c.withContact)
            record->setPerson(person);
        record->setFullImage(c.stored);
        EXPECT_EQ(record->migratePersonImage(), c.answer);
        EXPECT_EQ(QFile::exists(pictureFile()), c.fileWritten);
        EXPECT_EQ(!record->fullImage().isValid() || record->fullImage().isNull(), c.storedCleared);
        if (c.fileWritten) {
            EXPECT_EQ(decoded(record->dataFromImageReference()), original.convertToFormat(QImage::Format_ARGB32));
            EXPECT_EQ(dropboxList().value(NSManagedObjectQDBase::NewFilesKey).toStringList(), QStringList{pictureFile()})
                << "every migrated picture is listed for upload, Dropbox on or off";
            EXPECT_FALSE(record->isMigration());
        }
        context->deleteObject(record);
    }
}

TEST_F(PicturesTest, TheFileGoesOnlyOnceTheDeletionIsSaved)
{
    ASSERT_TRUE(picture->saveImageReferenceForData(encoded(testPicture(), "png")));
    save(context);
    context->deleteObject(picture);
    EXPECT_TRUE(QFile::exists(pictureFile()));
    context->rollback();
    EXPECT_TRUE(QFile::exists(pictureFile()));

    PersonImage *again = person->fullimage();
    ASSERT_NE(again, nullptr);
    context->deleteObject(again);
    save(context);
    EXPECT_FALSE(QFile::exists(pictureFile()));
    EXPECT_EQ(dropboxList().value(NSManagedObjectQDBase::DeletedFilesKey).toStringList(),
              QStringList{QStringLiteral("GUID-7.jpg")})
        << "a deleted picture is recorded for Dropbox even while that sync is off";

    // A picture whose file is already gone leaves the lists alone.
    auto *orphan = insert<PersonImage>();
    orphan->setFullImageFileName(QStringLiteral("gone.jpg"));
    save(context);
    const QVariantMap before = dropboxList();
    context->deleteObject(orphan);
    save(context);
    EXPECT_EQ(dropboxList(), before);
}

TEST_F(PicturesTest, NamesOfEveryPictureFile)
{
    EXPECT_TRUE(PersonImage::loadAllImageNamesWithContext(context.get()).isEmpty());
    ASSERT_TRUE(picture->saveImageReferenceForData(encoded(testPicture(), "png")));
    save(context);
    EXPECT_EQ(PersonImage::loadAllImageNamesWithContext(context.get()), QStringList{QStringLiteral("GUID-7.jpg")});
}

TEST(PictureTransformers, FullPicturesStayLosslessSmallOnesBecomeJpeg)
{
    const QImage original = testPicture(64, 48);
    FullImageToDataTransformer full;
    const QByteArray fullData = full.transformedValue(original);
    EXPECT_TRUE(fullData.startsWith("\x89PNG"));
    EXPECT_EQ(full.reverseTransformedValue(fullData).value<QImage>().convertToFormat(QImage::Format_ARGB32),
              original.convertToFormat(QImage::Format_ARGB32));
    EXPECT_TRUE(full.transformedValue(QVariant()).isEmpty());
    EXPECT_FALSE(full.reverseTransformedValue(QByteArray("junk")).isValid());

    ImageToDataTransformer small;
    const QByteArray jpeg = small.transformedValue(original);
    EXPECT_TRUE(jpeg.startsWith("\xFF\xD8")) << "JPEG";
    EXPECT_EQ(small.reverseTransformedValue(jpeg).value<QImage>().size(), original.size());
}
