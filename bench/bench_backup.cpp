// A backup of a store with 20,000 contacts and 200 MB of attachments, against the zip tool packing the same
// store file and attachment folder at its default level (-6) in the same run; and the restore of that archive
// against the unzip tool unpacking it.
//
// Figures (printed last; best of the repetitions):
//   backup-ms            our full archive: store copy, members, description
//   zip-ms               zip -6 -r of the store file and the attachment folder
//   backup-zip-ratio     backup-ms / zip-ms
//   restore-ms           our restore of the archive (unpack, check, swap, reload)
//   unzip-ms             unzip of the same archive
//   restore-unzip-ratio  restore-ms / unzip-ms
//
// QUENDEL_BENCH_ATTACHMENT_MB sets the attachment total (default 200).

#include "Classes/Backups/BackupFile.h"
#include "Classes/Backups/DBFileRestore.h"
#include "Mac/Shell/CoreDataControllerMac.h"
#include "SharedAppGlobals.h"

#include "QuendelKit/Settings/DataPlistValues.h"
#include "QuendelKit/Settings/SharedSettingController.h"

#include "platform/core/StandardPaths.h"
#include "platform/store/ManagedObject.h"
#include "platform/store/ManagedObjectContext.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>

namespace {

constexpr int kContacts = 20000;
constexpr int kFileMB = 2;
constexpr int kRepeats = 2;

std::shared_ptr<CoreDataControllerMac> g_controller;
QString g_archive;
QString g_work;
double g_backupMs = 1e12, g_zipMs = 1e12, g_restoreMs = 1e12, g_unzipMs = 1e12;

QString dataFolder()
{
    return platform::core::StandardPaths::dataFolder();
}

// Attachments like a user's: about half text-like (compresses), half already compressed (does not).
QByteArray fileContent(int index)
{
    QByteArray bytes;
    bytes.reserve(kFileMB * 1024 * 1024);
    QRandomGenerator random(quint32(index + 1));
    if (index % 2 == 0) {
        static const char *words[] = {"meeting ", "contract ", "invoice ", "lunch ", "call ", "project ",
                                      "Quendel ", "notes ", "follow-up ", "2026 "};
        while (bytes.size() < kFileMB * 1024 * 1024)
            bytes += words[random.bounded(10)];
    } else {
        bytes.resize(kFileMB * 1024 * 1024);
        random.fillRange(reinterpret_cast<quint32 *>(bytes.data()), bytes.size() / 4);
    }
    bytes.truncate(kFileMB * 1024 * 1024);
    return bytes;
}

bool fillStore(int attachmentMB)
{
    g_controller = std::make_shared<CoreDataControllerMac>([] {});
    auto context = g_controller->managedObjectContext();
    if (!context)
        return false;
    const QString attachments = SharedSettingController::sharedSettings().localFileAttachmentsDirectoryURL().toLocalFile();
    const int files = std::max(1, attachmentMB / kFileMB);
    bool ok = true;
    context->performAndWait([&] {
        platform::core::QDError error;
        for (int i = 0; i < kContacts; ++i) {
            platform::store::ManagedObject *person = context->insertNewObject(QStringLiteral("Person"));
            person->setValue(QStringLiteral("firstName"), QStringLiteral("First%1").arg(i));
            person->setValue(QStringLiteral("lastName"), QStringLiteral("Last%1").arg(i % 977));
            person->setValue(QStringLiteral("displayName"), QStringLiteral("First%1 Last%2").arg(i).arg(i % 977));
            person->setValue(QStringLiteral("notesField"), QStringLiteral("Met at the fair in spring; call back about the offer %1.").arg(i));
            if (i < files) {
                const QString name = QStringLiteral("attachment-%1.%2").arg(i).arg(i % 2 ? QStringLiteral("jpg") : QStringLiteral("txt"));
                platform::store::ManagedObject *file = context->insertNewObject(QStringLiteral("FileAttachments"));
                file->setValue(QStringLiteral("fileName"), name);
                file->setRelatedObject(QStringLiteral("person"), person);
                QFile out(QDir(attachments).filePath(name));
                if (!out.open(QIODevice::WriteOnly) || out.write(fileContent(i)) < 0)
                    ok = false;
            }
            if (i % 2000 == 1999 && !context->save(&error))
                ok = false;
        }
        ok = context->save(&error) && ok;
        context->reset();
    });
    return ok;
}

double runTool(const QString &program, const QStringList &arguments, const QString &folder)
{
    QProcess process;
    process.setWorkingDirectory(folder);
    QElapsedTimer timer;
    timer.start();
    process.start(program, arguments);
    if (!process.waitForFinished(600000) || process.exitCode() != 0)
        return -1;
    return double(timer.nsecsElapsed()) / 1e6;
}

void BM_Backup(benchmark::State &state)
{
    for (auto _ : state) {
        QElapsedTimer timer;
        timer.start();
        BackupFile backup;
        QString made;
        backup.createBackupForBackupType(BackupTypeFull, SharedAppGlobals::sharedAppGlobals().persistentCoordinatorForDatabaseUpdate(),
                                         [&](const QString &path, qint64, qint64) { made = path; });
        const double ms = double(timer.nsecsElapsed()) / 1e6;
        if (made.isEmpty()) {
            state.SkipWithError("no archive was made");
            break;
        }
        const QString kept = QDir(g_work).filePath(QStringLiteral("ours.zip"));
        QFile::remove(kept);
        QFile::rename(made, kept);
        g_archive = kept;
        state.SetIterationTime(ms / 1000.0);
        g_backupMs = std::min(g_backupMs, ms);
    }
}

void BM_Zip(benchmark::State &state)
{
    for (auto _ : state) {
        const QString out = QDir(g_work).filePath(QStringLiteral("tool.zip"));
        QFile::remove(out);
        const double ms = runTool(QStringLiteral("zip"),
                                  {QStringLiteral("-q"), QStringLiteral("-6"), QStringLiteral("-r"), out,
                                   QStringLiteral("Quendel.sqlite"), QStringLiteral("FileAttachments")},
                                  dataFolder());
        if (ms < 0) {
            state.SkipWithError("zip failed");
            break;
        }
        state.SetIterationTime(ms / 1000.0);
        g_zipMs = std::min(g_zipMs, ms);
    }
}

void BM_Restore(benchmark::State &state)
{
    for (auto _ : state) {
        QElapsedTimer timer;
        timer.start();
        DBFileRestore restore;
        restore.setStoreController(g_controller);
        const int result = restore.restore_db_file(g_archive, RestoreTypeFile);
        const double ms = double(timer.nsecsElapsed()) / 1e6;
        if (result != RestoreResultSuccess) {
            state.SkipWithError("the restore failed");
            break;
        }
        state.SetIterationTime(ms / 1000.0);
        g_restoreMs = std::min(g_restoreMs, ms);
    }
}

void BM_Unzip(benchmark::State &state)
{
    for (auto _ : state) {
        const QString out = QDir(g_work).filePath(QStringLiteral("unzipped"));
        QDir(out).removeRecursively();
        const double ms = runTool(QStringLiteral("unzip"), {QStringLiteral("-q"), QStringLiteral("-o"), g_archive,
                                                            QStringLiteral("-d"), out},
                                  g_work);
        if (ms < 0) {
            state.SkipWithError("unzip failed");
            break;
        }
        state.SetIterationTime(ms / 1000.0);
        g_unzipMs = std::min(g_unzipMs, ms);
    }
}

} // namespace

BENCHMARK(BM_Backup)->Iterations(1)->Repetitions(kRepeats)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Zip)->Iterations(1)->Repetitions(kRepeats)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Restore)->Iterations(1)->Repetitions(kRepeats)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Unzip)->Iterations(1)->Repetitions(kRepeats)->UseManualTime()->Unit(benchmark::kMillisecond);

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    // A private home, so nothing touches the user's files.
    QTemporaryDir home;
    for (const char *sub : {"data", "config", "cache", "Documents", "work"})
        QDir(home.path()).mkpath(QString::fromLatin1(sub));
    qputenv("HOME", home.path().toUtf8());
    qputenv("XDG_DATA_HOME", (home.path() + QStringLiteral("/data")).toUtf8());
    qputenv("XDG_CONFIG_HOME", (home.path() + QStringLiteral("/config")).toUtf8());
    qputenv("XDG_CACHE_HOME", (home.path() + QStringLiteral("/cache")).toUtf8());
    qputenv("XDG_DOCUMENTS_DIR", (home.path() + QStringLiteral("/Documents")).toUtf8());
    QApplication app(argc, argv);
    QCoreApplication::setOrganizationDomain(QStringLiteral("quendel.com"));
    QCoreApplication::setApplicationName(QStringLiteral("Quendel"));
    g_work = home.path() + QStringLiteral("/work");

    SharedSettingController &settings = SharedSettingController::sharedSettings();
    settings.initAttachmentsDirectory();
    settings.addValuesToPlist();
    const int attachmentMB = qEnvironmentVariableIsSet("QUENDEL_BENCH_ATTACHMENT_MB")
                                 ? qEnvironmentVariableIntValue("QUENDEL_BENCH_ATTACHMENT_MB")
                                 : 200;
    if (!fillStore(attachmentMB)) {
        std::fprintf(stderr, "bench_backup: could not prepare the store\n");
        return 1;
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    g_controller.reset();
    std::printf("attachment-mb: %d\n", attachmentMB);
    std::printf("backup-ms: %.1f\n", g_backupMs);
    std::printf("zip-ms: %.1f\n", g_zipMs);
    std::printf("backup-zip-ratio: %.2f\n", g_backupMs / g_zipMs);
    std::printf("restore-ms: %.1f\n", g_restoreMs);
    std::printf("unzip-ms: %.1f\n", g_unzipMs);
    std::printf("restore-unzip-ratio: %.2f\n", g_restoreMs / g_unzipMs);
    return 0;
}
