#include "platform/zip/ZipArchive.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRandomGenerator>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <zip.h>

using platform::zip::ZipArchive;
using platform::zip::ZipEntry;

namespace {

struct ToolRun
{
    int code = -1;
    QString out;
};

ToolRun run(const QString &program, const QStringList &arguments, const QString &folder = QString())
{
    QProcess process;
    if (!folder.isEmpty())
        process.setWorkingDirectory(folder);
    process.start(program, arguments);
    process.waitForFinished(60000);
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
            QString::fromUtf8(process.readAllStandardOutput() + process.readAllStandardError())};
}

void writeFile(const QString &path, const QByteArray &bytes, const QDateTime &modified = {})
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
    if (modified.isValid())
        file.setFileTime(modified, QFileDevice::FileModificationTime);
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

class ZipArchiveTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        if (QStandardPaths::findExecutable(QStringLiteral("zip")).isEmpty()
            || QStandardPaths::findExecutable(QStringLiteral("unzip")).isEmpty())
            FAIL() << "the zip and unzip tools are needed (scripts/install-deps installs them)";
        src = dir.filePath(QStringLiteral("src"));
        // A store-like file that compresses well, a small text, a name outside ASCII.
        writeFile(src + QStringLiteral("/data.db"), QByteArray(200000, 'q') + QByteArray("tail"), stamp);
        writeFile(src + QStringLiteral("/note.txt"), "hello backup\n", stamp.addSecs(-3600));
        writeFile(src + QStringLiteral("/Zoë résumé.pdf"), QByteArray("%PDF-1.4 ") + QByteArray(5000, '\x01'),
                  stamp.addDays(-2));
        writeFile(src + QStringLiteral("/BackupInfo.xml"), "<?xml version=\"1.0\"?>\n<BackupData/>\n", stamp);
    }

    // Our archive of the four files in a fixed order, with or without a password.
    QString makeArchive(const QString &password = QString())
    {
        const QString path = dir.filePath(password.isEmpty() ? QStringLiteral("plain.zip") : QStringLiteral("locked.zip"));
        ZipArchive zip;
        EXPECT_TRUE(password.isEmpty() ? zip.CreateZipFile2(path) : zip.CreateZipFile2(path, password));
        for (const QString &name : order)
            EXPECT_TRUE(zip.addFileToZip(src + QLatin1Char('/') + name, name)) << zip.lastError().toString().toStdString();
        EXPECT_TRUE(zip.CloseZipFile2()) << zip.lastError().toString().toStdString();
        return path;
    }

    QTemporaryDir dir;
    QString src;
    const QDateTime stamp = QDateTime(QDate(2025, 3, 14), QTime(15, 9, 26));
    const QStringList order = {QStringLiteral("data.db"), QStringLiteral("note.txt"), QStringLiteral("Zoë résumé.pdf"),
                               QStringLiteral("BackupInfo.xml")};
};

TEST_F(ZipArchiveTest, OurArchivesOpenWithTheUnzipToolWithAndWithoutAPassword)
{
    for (const QString &password : {QString(), QStringLiteral("4711")}) {
        SCOPED_TRACE(password.toStdString());
        const QString archive = makeArchive(password);

        // Members in the order they were added, names in UTF-8.
        const ToolRun names = run(QStringLiteral("unzip"), {QStringLiteral("-Z1"), archive});
        EXPECT_EQ(names.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts), order);
        // Deflated, and encrypted exactly when there is a password.
        const ToolRun verbose = run(QStringLiteral("zipinfo"), {QStringLiteral("-v"), archive});
        EXPECT_EQ(verbose.out.count(QStringLiteral("compression method:                             deflated")), 4);
        EXPECT_EQ(verbose.out.count(QStringLiteral("file security status:                           encrypted")),
                  password.isEmpty() ? 0 : 4);

        const QString out = dir.filePath(QStringLiteral("unzipped"));
        QDir(out).removeRecursively();
        QStringList args = {QStringLiteral("-q"), QStringLiteral("-o")};
        if (!password.isEmpty())
            args << QStringLiteral("-P") << password;
        args << archive << QStringLiteral("-d") << out;
        ASSERT_EQ(run(QStringLiteral("unzip"), args).code, 0);
        for (const QString &name : order) {
            EXPECT_EQ(readFile(out + QLatin1Char('/') + name), readFile(src + QLatin1Char('/') + name)) << name.toStdString();
            // The member's time is the file's own (zip keeps two-second steps).
            EXPECT_LE(qAbs(QFileInfo(out + QLatin1Char('/') + name).lastModified().secsTo(
                          QFileInfo(src + QLatin1Char('/') + name).lastModified())),
                      2);
        }
        if (!password.isEmpty()) {
            const ToolRun wrong = run(QStringLiteral("unzip"), {QStringLiteral("-P"), QStringLiteral("1234"), QStringLiteral("-t"), archive});
            EXPECT_NE(wrong.code, 0);
            EXPECT_TRUE(wrong.out.contains(QStringLiteral("incorrect password"))) << wrong.out.toStdString();
        }
    }
}

TEST_F(ZipArchiveTest, ArchivesOfTheZipToolUnpackWithTheRightPasswordOnly)
{
    const QString plain = dir.filePath(QStringLiteral("tool.zip"));
    const QString locked = dir.filePath(QStringLiteral("tool-locked.zip"));
    ASSERT_EQ(run(QStringLiteral("zip"), {QStringLiteral("-q"), QStringLiteral("-r"), plain, QStringLiteral(".")}, src).code, 0);
    ASSERT_EQ(run(QStringLiteral("zip"), {QStringLiteral("-q"), QStringLiteral("-P"), QStringLiteral("secret"),
                                          QStringLiteral("-r"), locked, QStringLiteral(".")},
                  src)
                  .code,
              0);

    struct Case
    {
        QString archive;
        QString password; // null: none
        bool unpacks;
        qint64 error;
    };
    const QList<Case> cases = {
        {plain, QString(), true, 0},
        {locked, QStringLiteral("secret"), true, 0},
        {locked, QString(), false, platform::zip::ZipErrorWrongPassword},
        {locked, QStringLiteral("wrong"), false, platform::zip::ZipErrorWrongPassword},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(QStringLiteral("%1 / %2").arg(QFileInfo(c.archive).fileName(), c.password).toStdString());
        ZipArchive zip;
        ASSERT_TRUE(c.password.isNull() ? zip.UnzipOpenFile(c.archive) : zip.UnzipOpenFile(c.archive, c.password));
        EXPECT_EQ(zip.UnzipIsEncrypted(), c.archive == locked);
        const QString out = dir.filePath(QStringLiteral("out"));
        QDir(out).removeRecursively();
        EXPECT_EQ(zip.UnzipFileTo(out, true), c.unpacks);
        if (c.unpacks) {
            for (const QString &name : order) {
                EXPECT_EQ(readFile(out + QLatin1Char('/') + name), readFile(src + QLatin1Char('/') + name));
                EXPECT_LE(qAbs(QFileInfo(out + QLatin1Char('/') + name).lastModified().secsTo(
                              QFileInfo(src + QLatin1Char('/') + name).lastModified())),
                          2);
            }
        } else {
            EXPECT_EQ(zip.lastError().code(), c.error) << zip.lastError().toString().toStdString();
        }
        EXPECT_TRUE(zip.UnzipCloseFile());
    }
}

TEST_F(ZipArchiveTest, OurOwnArchivesReadBackAndKeepTheirOrder)
{
    const QString archive = makeArchive(QStringLiteral("4711"));
    ZipArchive zip;
    ASSERT_TRUE(zip.UnzipOpenFile(archive, QStringLiteral("4711")));
    QStringList names;
    for (const ZipEntry &entry : zip.UnzipEntries()) {
        names << entry.name;
        EXPECT_TRUE(entry.encrypted);
        EXPECT_TRUE(entry.deflated);
    }
    EXPECT_EQ(names, order);
    const QString out = dir.filePath(QStringLiteral("back"));
    ASSERT_TRUE(zip.UnzipFileTo(out, true)) << zip.lastError().toString().toStdString();
    EXPECT_EQ(readFile(out + QStringLiteral("/Zoë résumé.pdf")), readFile(src + QStringLiteral("/Zoë résumé.pdf")));

    // Without overwrite an existing file stays as it is.
    writeFile(out + QStringLiteral("/note.txt"), "mine");
    ASSERT_TRUE(zip.UnzipFileTo(out, false));
    EXPECT_EQ(readFile(out + QStringLiteral("/note.txt")), QByteArray("mine"));
}

TEST_F(ZipArchiveTest, FailuresAreReportedNotHidden)
{
    // Not an archive.
    const QString junk = dir.filePath(QStringLiteral("junk.zip"));
    writeFile(junk, "this is not a zip file at all");
    ZipArchive reader;
    EXPECT_FALSE(reader.UnzipOpenFile(junk));
    EXPECT_EQ(reader.lastError().code(), platform::zip::ZipErrorOpen);
    EXPECT_FALSE(reader.UnzipOpenFile(junk, QStringLiteral("pw")));

    // A missing member file, an unsafe member name, a folder that cannot be written.
    ZipArchive writer;
    ASSERT_TRUE(writer.CreateZipFile2(dir.filePath(QStringLiteral("w.zip"))));
    EXPECT_FALSE(writer.addFileToZip(dir.filePath(QStringLiteral("missing.bin")), QStringLiteral("missing.bin")));
    EXPECT_EQ(writer.lastError().code(), platform::zip::ZipErrorAdd);
    EXPECT_FALSE(writer.addFileToZip(src + QStringLiteral("/note.txt"), QStringLiteral("../note.txt")));
    EXPECT_EQ(writer.lastError().code(), platform::zip::ZipErrorUnsafeName);

    // A file added and then removed before the close: the close fails and leaves no archive.
    writeFile(dir.filePath(QStringLiteral("gone.txt")), "soon gone");
    ASSERT_TRUE(writer.addFileToZip(dir.filePath(QStringLiteral("gone.txt")), QStringLiteral("gone.txt")));
    QFile::remove(dir.filePath(QStringLiteral("gone.txt")));
    EXPECT_FALSE(writer.CloseZipFile2());
    EXPECT_FALSE(QFileInfo::exists(dir.filePath(QStringLiteral("w.zip"))));

    const QString noFolder = dir.filePath(QStringLiteral("no/such/folder/x.zip"));
    ZipArchive nowhere;
    if (nowhere.CreateZipFile2(noFolder)) {
        nowhere.addFileToZip(src + QStringLiteral("/note.txt"), QStringLiteral("note.txt"));
        EXPECT_FALSE(nowhere.CloseZipFile2());
    }
}

TEST_F(ZipArchiveTest, MembersThatLeaveTheFolderAreRefusedBeforeAnythingIsWritten)
{
    const QStringList hostile = {QStringLiteral("../escape.txt"), QStringLiteral("a/../../escape.txt"),
                                 QStringLiteral("/tmp/escape.txt"), QStringLiteral("a\\..\\escape.txt"),
                                 QStringLiteral("C:/escape.txt")};
    for (const QString &name : hostile) {
        SCOPED_TRACE(name.toStdString());
        EXPECT_FALSE(ZipArchive::isSafeMemberName(name));
        // Made with the library itself, as a hostile tool would.
        const QString archive = dir.filePath(QStringLiteral("hostile.zip"));
        QFile::remove(archive);
        int code = 0;
        zip_t *z = zip_open(QFile::encodeName(archive).constData(), ZIP_CREATE | ZIP_TRUNCATE, &code);
        ASSERT_NE(z, nullptr);
        static const char first[] = "first";
        static const char bad[] = "bad";
        zip_file_add(z, "first.txt", zip_source_buffer(z, first, 5, 0), 0);
        zip_file_add(z, name.toUtf8().constData(), zip_source_buffer(z, bad, 3, 0), 0);
        ASSERT_EQ(zip_close(z), 0);

        const QString out = dir.filePath(QStringLiteral("inner/extract"));
        QDir(dir.filePath(QStringLiteral("inner"))).removeRecursively();
        ZipArchive zip;
        ASSERT_TRUE(zip.UnzipOpenFile(archive));
        EXPECT_FALSE(zip.UnzipFileTo(out, true));
        EXPECT_EQ(zip.lastError().code(), platform::zip::ZipErrorUnsafeName);
        EXPECT_FALSE(QFileInfo::exists(out + QStringLiteral("/first.txt")));
        EXPECT_FALSE(QFileInfo::exists(dir.filePath(QStringLiteral("inner/escape.txt"))));
        EXPECT_FALSE(QFileInfo::exists(dir.filePath(QStringLiteral("escape.txt"))));
    }
    for (const QString &name : {QStringLiteral("data.db"), QStringLiteral("sub/file.txt"), QStringLiteral("..hidden"),
                                QStringLiteral("Zoë.pdf")})
        EXPECT_TRUE(ZipArchive::isSafeMemberName(name)) << name.toStdString();
}

TEST_F(ZipArchiveTest, AFolderLinkInsideTheTargetCannotLeadOut)
{
    const QString archive = dir.filePath(QStringLiteral("link.zip"));
    int code = 0;
    zip_t *z = zip_open(QFile::encodeName(archive).constData(), ZIP_CREATE | ZIP_TRUNCATE, &code);
    ASSERT_NE(z, nullptr);
    static const char bad[] = "bad";
    zip_file_add(z, "link/escape.txt", zip_source_buffer(z, bad, 3, 0), 0);
    ASSERT_EQ(zip_close(z), 0);

    const QString out = dir.filePath(QStringLiteral("linked"));
    const QString outside = dir.filePath(QStringLiteral("outside"));
    QDir().mkpath(out);
    QDir().mkpath(outside);
    ASSERT_TRUE(QFile::link(outside, out + QStringLiteral("/link")));
    ZipArchive zip;
    ASSERT_TRUE(zip.UnzipOpenFile(archive));
    EXPECT_FALSE(zip.UnzipFileTo(out, true));
    EXPECT_FALSE(QFileInfo::exists(outside + QStringLiteral("/escape.txt")));
}

} // namespace

TEST_F(ZipArchiveTest, ManyMembersOfMixedSizesComeOutWholeInOrderWithTheirModes)
{
    // Members compressed on several threads and members the library reads itself (empty, and one larger than
    // is compressed ahead) in one archive, with and without a password.
    const QString many = dir.filePath(QStringLiteral("many"));
    QStringList names;
    QRandomGenerator random(7);
    for (int i = 0; i < 40; ++i) {
        const QString name = QStringLiteral("file-%1.bin").arg(i, 2, 10, QLatin1Char('0'));
        QByteArray bytes;
        const int size = i == 5 ? 0 : int(random.bounded(1, 1024 * 1024));
        if (i % 3 == 0) {
            bytes.resize(size);
            random.fillRange(reinterpret_cast<quint32 *>(bytes.data()), size / 4);
        } else {
            while (bytes.size() < size)
                bytes += QByteArray::number(random.generate()) + ' ';
            bytes.truncate(size);
        }
        writeFile(many + QLatin1Char('/') + name, bytes);
        names << name;
    }
    const QString large = QStringLiteral("large.db");
    writeFile(many + QLatin1Char('/') + large, QByteArray(17 * 1024 * 1024, 'z') + "end");
    names.insert(20, large);
    QFile::setPermissions(many + QStringLiteral("/file-01.bin"), QFile::ReadOwner | QFile::WriteOwner);

    for (const QString &password : {QString(), QStringLiteral("4711")}) {
        SCOPED_TRACE(password.toStdString());
        const QString archive = dir.filePath(QStringLiteral("many.zip"));
        {
            ZipArchive zip;
            ASSERT_TRUE(password.isEmpty() ? zip.CreateZipFile2(archive) : zip.CreateZipFile2(archive, password));
            for (const QString &name : names)
                ASSERT_TRUE(zip.addFileToZip(many + QLatin1Char('/') + name, name));
            double last = -1;
            bool rising = true;
            zip.setWriteProgressHandler([&](double fraction) {
                rising = rising && fraction >= last;
                last = fraction;
            });
            ASSERT_TRUE(zip.CloseZipFile2()) << zip.lastError().toString().toStdString();
            EXPECT_TRUE(rising);
            EXPECT_GT(last, 0.9);
        }
        EXPECT_EQ(run(QStringLiteral("unzip"), {QStringLiteral("-Z1"), archive}).out.split(QLatin1Char('\n'), Qt::SkipEmptyParts),
                  names);
        QStringList args = {QStringLiteral("-q"), QStringLiteral("-o")};
        if (!password.isEmpty())
            args << QStringLiteral("-P") << password;
        const QString out = dir.filePath(QStringLiteral("many-out"));
        QDir(out).removeRecursively();
        ASSERT_EQ(run(QStringLiteral("unzip"), args + QStringList{archive, QStringLiteral("-d"), out}).code, 0);
        for (const QString &name : names) {
            const QString original = many + QLatin1Char('/') + name;
            EXPECT_EQ(readFile(out + QLatin1Char('/') + name), readFile(original)) << name.toStdString();
            EXPECT_EQ(QFileInfo(out + QLatin1Char('/') + name).permissions(), QFileInfo(original).permissions())
                << name.toStdString();
        }
        QFile::remove(archive);
    }
}
