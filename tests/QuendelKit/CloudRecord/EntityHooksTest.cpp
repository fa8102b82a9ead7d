#include "CloudRecordFixture.h"

#include "QuendelKit/CloudRecord/PersonPrivatePicture.h"

#include "platform/core/DateComponents.h"
#include "platform/core/KeyedArchive.h"
#include "platform/core/Timer.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QRandomGenerator>

using namespace quendel::test;
using platform::cloud::Asset;
using platform::cloud::FieldValue;
using CloudLocation = platform::cloud::Location;
using platform::cloud::Record;
using platform::cloud::RecordID;
using platform::core::DateComponents;
using platform::core::KeyedArchive;
using CR = NSManagedObjectQDBaseCloudRecord;
using MO = ManagedObjectCloudKit;

namespace {

QByteArray encode(const QImage &image, const char *format)
{
    QByteArray data;
    QBuffer buffer(&data);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, format);
    return data;
}

QImage noiseImage(int width, int height)
{
    QImage image(width, height, QImage::Format_RGB32);
    QRandomGenerator random(7);
    for (int y = 0; y < height; ++y) {
        auto *line = reinterpret_cast<QRgb *>(image.scanLine(y));
        for (int x = 0; x < width; ++x)
            line[x] = random.generate() | 0xff000000u;
    }
    return image;
}

bool isPng(const QByteArray &data)
{
    return data.startsWith("\x89PNG");
}
bool isJpeg(const QByteArray &data)
{
    return data.startsWith("\xff\xd8");
}

void writeFile(const QString &path, const QByteArray &content)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate)) << path.toStdString();
    file.write(content);
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

DateComponents dayRepeat(qint64 days)
{
    DateComponents c;
    c.setDay(days);
    return c;
}

Record received(const NSManagedObjectQDBase *object)
{
    Record record(
        object->entityName(),
        RecordID(object->cloudKitID().isEmpty() ? object->entityName() + QStringLiteral(".R") : object->cloudKitID(),
                 CloudRecordTest::privateZone()));
    record.setRecordChangeTag(QStringLiteral("s1"));
    return record;
}

} // namespace

TEST_F(CloudRecordTest, EntitiesKeepTheirAttributesOutOfTheGenericCopy)
{
    struct Case
    {
        const char *entity;
        QStringList removed;
    };
    const Case cases[] = {
        {"Person", {"privateImage", "localIdentifier"}},
        {"PersonAddress", {"latitude", "localIdentifier", "longitude"}},
        {"Location", {"longitude", "latitude"}},
        {"Images", {"fullImage"}},
        {"FileAttachments", {}},
        {"ToDo", {"todoRepeatInterval"}},
        {"ToDoAlert", {"alertIdentifier", "alertInterval"}},
        {"EmailTemplate", {"templateProperties"}},
        {"Log", {"logProperties", "attributedLogNote"}},
        {"Emails", {"localIdentifier"}},
        {"Phones", {"localIdentifier"}},
        {"PersonWebsite", {"localIdentifier"}},
        {"ToDoCalendarLink", {"calendarUUID"}},
        {"PersonInfo", {}},
        {"UserFields", {}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.entity);
        auto *object = dynamic_cast<NSManagedObjectQDBase *>(context->insertNewObject(QString::fromLatin1(c.entity)));
        ASSERT_NE(object, nullptr);
        QStringList removed = object->removeAttributesFromSyncFields();
        EXPECT_EQ(CR::removeAttributesFromSyncFields(object), removed);
        QStringList expected = c.removed;
        removed.sort();
        expected.sort();
        EXPECT_EQ(removed, expected);

        // Values of the kept-out attributes never appear under their own names, on insert or on update.
        for (const QString &name : c.removed) {
            if (object->entity()->attribute(name)->type == platform::store::AttributeType::String)
                object->setValue(name, QStringLiteral("kept here"));
        }
        save(context);
        // Carried by the entity in a form of its own, under the same name.
        const QSet<QString> carried = {QStringLiteral("todoRepeatInterval"), QStringLiteral("alertInterval"),
                                       QStringLiteral("templateProperties"), QStringLiteral("privateImage")};
        const Record complete = CR::recordToInsert(object, privateZone());
        markUploaded(object);
        const Record update = CR::recordToUpdate(object, c.removed);
        for (const QString &name : c.removed) {
            if (carried.contains(name))
                continue;
            EXPECT_FALSE(complete.hasField(name)) << name.toStdString();
            EXPECT_FALSE(update.changedKeys().contains(name)) << name.toStdString();
        }
    }
}

// ---- The contact's private picture ----

TEST_F(CloudRecordTest, PrivatePictureTravelsCompressedOnInsertAndWhenItChanged)
{
    auto *person = insert<Person>();
    const QImage picture = noiseImage(40, 30);
    person->setValue(QStringLiteral("privateImage"), encode(picture, "JPEG"));
    save(context);

    const Record complete = CR::recordToInsert(person, privateZone());
    const QByteArray sent = complete.value(QStringLiteral("privateImage")).toBytes();
    // A small picture travels in its lossless form, not as the stored bytes.
    EXPECT_TRUE(isPng(sent));
    EXPECT_EQ(QImage::fromData(sent).convertToFormat(QImage::Format_RGB32),
              QImage::fromData(encode(picture, "JPEG")).convertToFormat(QImage::Format_RGB32));

    markUploaded(person);
    const Record nameOnly = CR::recordToUpdate(person, {QStringLiteral("firstName")});
    EXPECT_FALSE(nameOnly.changedKeys().contains(QStringLiteral("privateImage")));

    const Record pictureChanged = CR::recordToUpdate(person, {QStringLiteral("privateImage")});
    EXPECT_EQ(pictureChanged.changedKeys(),
              (QStringList{QStringLiteral("modifiedAt"), QStringLiteral("privateImage")}));
    EXPECT_TRUE(isPng(pictureChanged.value(QStringLiteral("privateImage")).toBytes()));

    person->setValue(QStringLiteral("privateImage"), QVariant());
    const Record pictureRemoved = CR::recordToUpdate(person, {QStringLiteral("privateImage")});
    EXPECT_TRUE(pictureRemoved.changedKeys().contains(QStringLiteral("privateImage")));
    EXPECT_FALSE(pictureRemoved.hasField(QStringLiteral("privateImage")));

    auto *noPicture = insert<Person>();
    save(context);
    EXPECT_FALSE(CR::recordToInsert(noPicture, privateZone()).hasField(QStringLiteral("privateImage")));
}

TEST_F(CloudRecordTest, ReceivedPrivatePictureReplacesTheLocalOneOnlyWhenItIsAPicture)
{
    auto *person = insert<Person>(other);
    const QByteArray local = encode(noiseImage(4, 4), "PNG");
    person->setValue(QStringLiteral("privateImage"), local);

    Record without = received(person);
    CR::fillManagedObjectWithCKRecord(person, without);
    EXPECT_EQ(person->value(QStringLiteral("privateImage")).toByteArray(), local);

    Record damaged = received(person);
    damaged.setValue(QStringLiteral("privateImage"), QByteArray("not a picture"));
    CR::fillManagedObjectWithCKRecord(person, damaged);
    EXPECT_EQ(person->value(QStringLiteral("privateImage")).toByteArray(), local);

    const QByteArray incoming = encode(noiseImage(6, 5), "PNG");
    Record with = received(person);
    with.setValue(QStringLiteral("privateImage"), incoming);
    CR::fillManagedObjectWithCKRecord(person, with);
    EXPECT_EQ(person->value(QStringLiteral("privateImage")).toByteArray(), incoming);
}

TEST(PersonPrivatePictureTest, SmallPictureIsSentLosslessInOneStep)
{
    int steps = 0;
    const std::optional<QByteArray> data =
        PersonPrivatePicture::generateCompressedImage(encode(noiseImage(50, 50), "PNG"), {}, &steps);
    ASSERT_TRUE(data.has_value());
    EXPECT_TRUE(isPng(*data));
    EXPECT_EQ(steps, 1);
}

TEST(PersonPrivatePictureTest, LargePictureFallsBackToJpegWithinTheLimit)
{
    int steps = 0;
    const QImage large = noiseImage(1100, 1000); // about 3.3 MB of losslessly coded noise
    const std::optional<QByteArray> data =
        PersonPrivatePicture::generateCompressedImage(QVariant::fromValue(large), {}, &steps);
    ASSERT_TRUE(data.has_value());
    EXPECT_TRUE(isJpeg(*data));
    EXPECT_LE(data->size(), PersonPrivatePicture::MaxRecordPictureSize);
    EXPECT_GT(steps, 1);
}

TEST(PersonPrivatePictureTest, CompressionEndsWhenNothingIsSmallEnough)
{
    QList<float> factors;
    QList<bool> lossless;
    const PersonPrivatePicture::Encoder tooLarge = [&](const QImage &, bool isLossless, float factor) {
        lossless.append(isLossless);
        factors.append(factor);
        return QByteArray(int(PersonPrivatePicture::MaxRecordPictureSize) + 1, 'x');
    };
    int steps = 0;
    const std::optional<QByteArray> data =
        PersonPrivatePicture::generateCompressedImage(encode(noiseImage(8, 8), "PNG"), tooLarge, &steps);
    EXPECT_FALSE(data.has_value());
    EXPECT_EQ(steps, PersonPrivatePicture::MaxCompressionSteps);
    ASSERT_EQ(factors.size(), 11);
    // Lossless first, then JPEG from 0.9 down to about 0, never below.
    EXPECT_TRUE(lossless[0]);
    for (int i = 1; i < factors.size(); ++i) {
        EXPECT_FALSE(lossless[i]);
        EXPECT_NEAR(factors[i], 1.0 - 0.1 * i, 1e-5);
        EXPECT_GE(factors[i], 0.0f);
    }
}

TEST(PersonPrivatePictureTest, EmptyOrUnreadablePictureGivesNothing)
{
    EXPECT_FALSE(PersonPrivatePicture::generateCompressedImage(QVariant()).has_value());
    EXPECT_FALSE(PersonPrivatePicture::generateCompressedImage(QByteArray()).has_value());
    EXPECT_FALSE(PersonPrivatePicture::generateCompressedImage(QByteArray("garbage")).has_value());
}

// ---- Positions ----

TEST_F(CloudRecordTest, PositionTravelsAsOneLocationFieldWhenItChanged)
{
    for (const QString &entity : {QStringLiteral("PersonAddress"), QStringLiteral("Location")}) {
        SCOPED_TRACE(entity.toStdString());
        auto *place = dynamic_cast<NSManagedObjectQDBase *>(context->insertNewObject(entity));
        ASSERT_NE(place, nullptr);
        place->setValue(QStringLiteral("latitude"), 51.5);
        save(context);
        const Record complete = CR::recordToInsert(place, privateZone());
        EXPECT_EQ(complete.value(QStringLiteral("locationObject")).toLocation(), CloudLocation(51.5, 0.0));

        markUploaded(place);
        const QString otherKey =
            entity == QLatin1String("Location") ? QStringLiteral("locationName") : QStringLiteral("street");
        place->setValue(otherKey, QStringLiteral("somewhere"));
        EXPECT_FALSE(CR::recordToUpdate(place, {otherKey}).hasField(QStringLiteral("locationObject")));

        place->setValue(QStringLiteral("longitude"), -0.125);
        const Record moved = CR::recordToUpdate(place, {QStringLiteral("longitude")});
        EXPECT_EQ(moved.value(QStringLiteral("locationObject")).toLocation(), CloudLocation(51.5, -0.125));
        EXPECT_FALSE(moved.hasField(QStringLiteral("longitude")));

        auto *copy = dynamic_cast<NSManagedObjectQDBase *>(other->insertNewObject(entity));
        CR::fillManagedObjectWithCKRecord(copy, moved);
        EXPECT_DOUBLE_EQ(copy->value(QStringLiteral("latitude")).toDouble(), 51.5);
        EXPECT_DOUBLE_EQ(copy->value(QStringLiteral("longitude")).toDouble(), -0.125);
        // A record without the field puts the place at 0, 0.
        CR::fillManagedObjectWithCKRecord(copy, received(copy));
        EXPECT_DOUBLE_EQ(copy->value(QStringLiteral("latitude")).toDouble(), 0.0);
        EXPECT_DOUBLE_EQ(copy->value(QStringLiteral("longitude")).toDouble(), 0.0);
    }
}

// ---- Contact picture files ----

TEST_F(CloudRecordTest, PictureFileIsCarriedOnInsertOnNameChangeAndOnADateOnlyChange)
{
    ASSERT_FALSE(picturesFolder().isEmpty());
    const QString path = QDir(picturesFolder()).filePath(QStringLiteral("GUID-1.jpg"));
    writeFile(path, "picture bytes");
    auto *person = insert<Person>();
    auto *image = insert<PersonImage>();
    image->setValue(QStringLiteral("fullImageFileName"), QStringLiteral("GUID-1.jpg"));
    image->setRelatedObject(QStringLiteral("person"), person);
    save(context);

    const Record complete = CR::recordToInsert(image, privateZone());
    EXPECT_EQ(complete.value(QStringLiteral("fileAsset")).toAsset().localFilePath(), path);
    EXPECT_FALSE(complete.hasField(QStringLiteral("fullImage")));
    markUploaded(image);

    struct Case
    {
        const char *name;
        QStringList changedKeys;
        bool carriesFile;
    };
    const Case cases[] = {
        {"only the date", {QStringLiteral("modifiedAt")}, true},
        {"the name", {QStringLiteral("fullImageFileName"), QStringLiteral("modifiedAt")}, true},
        {"the date and another key", {QStringLiteral("modifiedAt"), QStringLiteral("person")}, false},
        {"another key", {QStringLiteral("person")}, false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(CR::recordToUpdate(image, c.changedKeys).hasField(QStringLiteral("fileAsset")), c.carriesFile);
    }

    // Without a contact, or without the file, there is nothing to carry.
    QFile::remove(path);
    EXPECT_FALSE(CR::recordToInsert(image, privateZone()).hasField(QStringLiteral("fileAsset")));
    writeFile(path, "picture bytes");
    image->setRelatedObject(QStringLiteral("person"), nullptr);
    EXPECT_FALSE(CR::recordToInsert(image, privateZone()).hasField(QStringLiteral("fileAsset")));
}

TEST_F(CloudRecordTest, ReceivedPictureFileReplacesTheLocalOneAndUnsafeNamesAreRefused)
{
    QTemporaryDir downloads;
    const QString assetPath = downloads.filePath(QStringLiteral("asset-1"));
    writeFile(assetPath, "new picture");
    const QString target = QDir(picturesFolder()).filePath(QStringLiteral("GUID-2.jpg"));
    writeFile(target, "old picture");

    auto *image = insert<PersonImage>(other);
    Record record = received(image);
    record.setValue(QStringLiteral("fullImageFileName"), QStringLiteral("GUID-2.jpg"));
    record.setValue(QStringLiteral("fileAsset"), Asset(QUrl::fromLocalFile(assetPath)));
    CR::fillManagedObjectWithCKRecord(image, record);
    EXPECT_EQ(readFile(target), QByteArray("new picture"));
    EXPECT_EQ(readFile(assetPath), QByteArray("new picture"));

    // Without the asset the local file goes, so the missing-files list fetches it later.
    record.removeValue(QStringLiteral("fileAsset"));
    CR::fillManagedObjectWithCKRecord(image, record);
    EXPECT_FALSE(QFile::exists(target));

    // A name that leads out of the pictures folder touches nothing.
    const QString outside = QDir(picturesFolder()).filePath(QStringLiteral("../outside.jpg"));
    writeFile(outside, "keep me");
    auto *evil = insert<PersonImage>(other);
    Record hostile = received(evil);
    hostile.setValue(QStringLiteral("fullImageFileName"), QStringLiteral("../outside.jpg"));
    hostile.setValue(QStringLiteral("fileAsset"), Asset(QUrl::fromLocalFile(assetPath)));
    CR::fillManagedObjectWithCKRecord(evil, hostile);
    EXPECT_EQ(readFile(outside), QByteArray("keep me"));
}

// ---- Attachment files ----

TEST_F(CloudRecordTest, AttachmentFileTravelsOnlyWithTheCompleteRecord)
{
    SharedSettingController &settings = SharedSettingController::sharedSettings();
    const QString path = settings.pathForAttachmentWithName(QStringLiteral("report-1.pdf"));
    ASSERT_FALSE(path.isEmpty());
    writeFile(path, "pdf");
    auto *file = insert<FileAttachments>();
    file->setValue(QStringLiteral("fileName"), QStringLiteral("report-1.pdf"));
    save(context);

    EXPECT_EQ(CR::recordToInsert(file, privateZone()).value(QStringLiteral("fileAsset")).toAsset().localFilePath(),
              path);
    markUploaded(file);
    EXPECT_FALSE(CR::recordToUpdate(file, {QStringLiteral("fileName")}).hasField(QStringLiteral("fileAsset")));
    EXPECT_FALSE(CR::recordToUpdate(file, {QStringLiteral("modifiedAt")}).hasField(QStringLiteral("fileAsset")));
}

TEST_F(CloudRecordTest, ReceivedAttachmentFileIsPlacedUnderItsStoredName)
{
    SharedSettingController &settings = SharedSettingController::sharedSettings();
    QTemporaryDir downloads;
    const QString assetPath = downloads.filePath(QStringLiteral("asset-2"));
    writeFile(assetPath, "the contract");

    auto *file = insert<FileAttachments>(other);
    Record record = received(file);
    record.setValue(QStringLiteral("fileName"), QStringLiteral("contract-9.txt"));
    record.setValue(QStringLiteral("fileAsset"), Asset(QUrl::fromLocalFile(assetPath)));
    CR::fillManagedObjectWithCKRecord(file, record);
    const QString target = settings.pathForAttachmentWithName(QStringLiteral("contract-9.txt"));
    EXPECT_EQ(readFile(target), QByteArray("the contract"));

    record.removeValue(QStringLiteral("fileAsset"));
    CR::fillManagedObjectWithCKRecord(file, record);
    EXPECT_FALSE(QFile::exists(target));

    const QString outside =
        QDir(settings.localFileAttachmentsDirectoryURL().toLocalFile()).filePath(QStringLiteral("../data.plist.x"));
    writeFile(outside, "program data");
    auto *evil = insert<FileAttachments>(other);
    Record hostile = received(evil);
    hostile.setValue(QStringLiteral("fileName"), QStringLiteral("../data.plist.x"));
    hostile.setValue(QStringLiteral("fileAsset"), Asset(QUrl::fromLocalFile(assetPath)));
    CR::fillManagedObjectWithCKRecord(evil, hostile);
    EXPECT_EQ(readFile(outside), QByteArray("program data"));
}

// A record naming a file whose download is missing keeps the local copy, for pictures and attachments alike.
TEST_F(CloudRecordTest, ARecordWhoseFileIsMissingKeepsTheLocalFile)
{
    SharedSettingController &settings = SharedSettingController::sharedSettings();
    QTemporaryDir downloads;
    const struct {
        const char *name;
        QString asset; // the asset's file, which is never written
    } assets[] = {
        {"a file that is not there", downloads.filePath(QStringLiteral("never-arrived"))},
        {"a folder, not a file", downloads.path()},
    };
    for (const auto &row : assets) {
        SCOPED_TRACE(row.name);
        const QString pictureTarget = QDir(picturesFolder()).filePath(QStringLiteral("GUID-7.jpg"));
        writeFile(pictureTarget, "good picture");
        auto *image = insert<PersonImage>(other);
        Record pictureRecord = received(image);
        pictureRecord.setValue(QStringLiteral("fullImageFileName"), QStringLiteral("GUID-7.jpg"));
        pictureRecord.setValue(QStringLiteral("fileAsset"), Asset(QUrl::fromLocalFile(row.asset)));
        CR::fillManagedObjectWithCKRecord(image, pictureRecord);
        EXPECT_EQ(readFile(pictureTarget), QByteArray("good picture"));

        const QString fileTarget = settings.pathForAttachmentWithName(QStringLiteral("notes-3.txt"));
        writeFile(fileTarget, "good notes");
        auto *file = insert<FileAttachments>(other);
        Record fileRecord = received(file);
        fileRecord.setValue(QStringLiteral("fileName"), QStringLiteral("notes-3.txt"));
        fileRecord.setValue(QStringLiteral("fileAsset"), Asset(QUrl::fromLocalFile(row.asset)));
        CR::fillManagedObjectWithCKRecord(file, fileRecord);
        EXPECT_EQ(readFile(fileTarget), QByteArray("good notes"));
    }
}

// ---- Archived values ----

TEST_F(CloudRecordTest, RepeatTravelsArchivedAndARepeatOfNoneRemovesTheField)
{
    auto *todo = insert<ToDo>();
    todo->setValue(QStringLiteral("todoRepeatInterval"), dayRepeat(7).toVariant());
    save(context);
    const Record complete = CR::recordToInsert(todo, privateZone());
    const std::optional<QVariant> archived =
        KeyedArchive::unarchive(complete.value(QStringLiteral("todoRepeatInterval")).toBytes());
    ASSERT_TRUE(archived.has_value());
    EXPECT_EQ(archived->value<DateComponents>(), dayRepeat(7));

    markUploaded(todo);
    EXPECT_FALSE(CR::recordToUpdate(todo, {QStringLiteral("todoNote")})
                     .changedKeys()
                     .contains(QStringLiteral("todoRepeatInterval")));
    EXPECT_TRUE(CR::recordToUpdate(todo, {QStringLiteral("todoRepeatInterval")})
                    .hasField(QStringLiteral("todoRepeatInterval")));

    todo->setValue(QStringLiteral("todoRepeatInterval"), platform::core::nullMarker());
    const Record none = CR::recordToUpdate(todo, {QStringLiteral("todoRepeatInterval")});
    EXPECT_TRUE(none.changedKeys().contains(QStringLiteral("todoRepeatInterval")));
    EXPECT_FALSE(none.hasField(QStringLiteral("todoRepeatInterval")));
    EXPECT_FALSE(CR::recordToInsert(todo, privateZone()).hasField(QStringLiteral("todoRepeatInterval")));

    // The receiver takes the field when present and keeps its own value otherwise, also when the field is
    // damaged.
    auto *copy = insert<ToDo>(other);
    CR::fillManagedObjectWithCKRecord(copy, complete);
    EXPECT_EQ(copy->value(QStringLiteral("todoRepeatInterval")).value<DateComponents>(), dayRepeat(7));
    CR::fillManagedObjectWithCKRecord(copy, received(copy));
    EXPECT_EQ(copy->value(QStringLiteral("todoRepeatInterval")).value<DateComponents>(), dayRepeat(7));
    Record damaged = received(copy);
    damaged.setValue(QStringLiteral("todoRepeatInterval"), QByteArray("QDKA\x01\x00\xff"));
    CR::fillManagedObjectWithCKRecord(copy, damaged);
    EXPECT_EQ(copy->value(QStringLiteral("todoRepeatInterval")).value<DateComponents>(), dayRepeat(7));
}

TEST_F(CloudRecordTest, AlertOffsetAndTemplatePropertiesTravelArchived)
{
    DateComponents fifteenBefore;
    fifteenBefore.setMinute(-15);
    auto *alert = insert<ToDoAlert>();
    alert->setValue(QStringLiteral("alertInterval"), fifteenBefore.toVariant());
    alert->setValue(QStringLiteral("alertIdentifier"), QStringLiteral("local only"));
    alert->setValue(QStringLiteral("localNotification"), QStringLiteral("N-1"));
    const QVariantMap properties{{QStringLiteral("Text"), QStringLiteral("Hello")},
                                 {QStringLiteral("SubjectMapping"), QVariantMap()}};
    auto *templ = insert<EmailTemplate>();
    templ->setValue(QStringLiteral("templateProperties"), properties);
    save(context);

    const Record alertRecord = CR::recordToInsert(alert, privateZone());
    EXPECT_FALSE(alertRecord.hasField(QStringLiteral("alertIdentifier")));
    EXPECT_EQ(alertRecord.value(QStringLiteral("localNotification")).toString(), QStringLiteral("N-1"));
    const Record templateRecord = CR::recordToInsert(templ, privateZone());

    auto *alertCopy = insert<ToDoAlert>(other);
    CR::fillManagedObjectWithCKRecord(alertCopy, alertRecord);
    EXPECT_EQ(alertCopy->value(QStringLiteral("alertInterval")).value<DateComponents>(), fifteenBefore);
    auto *templateCopy = insert<EmailTemplate>(other);
    CR::fillManagedObjectWithCKRecord(templateCopy, templateRecord);
    EXPECT_EQ(templateCopy->value(QStringLiteral("templateProperties")).toMap(), properties);

    // A template whose properties were emptied removes the field; the receiver keeps its own then.
    markUploaded(templ);
    templ->setValue(QStringLiteral("templateProperties"), QVariant());
    const Record emptied = CR::recordToUpdate(templ, {QStringLiteral("templateProperties")});
    EXPECT_TRUE(emptied.changedKeys().contains(QStringLiteral("templateProperties")));
    EXPECT_FALSE(emptied.hasField(QStringLiteral("templateProperties")));
    CR::fillManagedObjectWithCKRecord(templateCopy, received(templateCopy));
    EXPECT_EQ(templateCopy->value(QStringLiteral("templateProperties")).toMap(), properties);
}
