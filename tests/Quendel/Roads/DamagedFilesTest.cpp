// Each file the program reads, damaged one at a time in a home the program made itself: what the user is
// told, which file is kept, what is written. Every row runs the program as main does in processes of its
// own (the settings object lives once per process, so a damaged file only reaches a program that starts
// after the damage): one start to make the home, then the damage, then the start under test.

#include "RoadsFixture.h"

#include "Classes/CoreDataControllerShared.h"
#include "QuendelKit/Settings/PasscodeLaunchCheck.h"

#include "platform/core/PropertyList.h"
#include "platform/keychain/Keychain.h"

#include <QCryptographicHash>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>

#include <sqlite3.h>

using namespace roads;

namespace {

const char *const kHomeVar = "QUENDEL_ROW_HOME";
const char *const kPhaseVar = "QUENDEL_ROW_PHASE";
const char *const kReportVar = "QUENDEL_ROW_REPORT";

// The folders of a home laid out as the test support lays out its own.
struct Home
{
    QString root;
    QString dataFolder() const { return root + QStringLiteral("/data/com.quendel.QuendelMac"); }
    QString dataFile(const QString &name) const { return dataFolder() + QLatin1Char('/') + name; }
    QString keychain() const { return root + QStringLiteral("/config/Quendel/keychain"); }
    QString sharedStore() const { return root + QStringLiteral("/data/QuendelSharedStore/KeyValueStore.json"); }

    void pointProcessHere() const
    {
        for (const char *sub : {"data", "cache", "config", "Documents", "runtime"})
            QDir(root).mkpath(QString::fromLatin1(sub));
        qputenv("HOME", root.toUtf8());
        qputenv("XDG_DATA_HOME", (root + QStringLiteral("/data")).toUtf8());
        qputenv("XDG_CACHE_HOME", (root + QStringLiteral("/cache")).toUtf8());
        qputenv("XDG_CONFIG_HOME", (root + QStringLiteral("/config")).toUtf8());
        qputenv("XDG_DOCUMENTS_DIR", (root + QStringLiteral("/Documents")).toUtf8());
        qputenv("XDG_RUNTIME_DIR", (root + QStringLiteral("/runtime")).toUtf8());
        qunsetenv("QUENDEL_KVSTORE_FOLDER");
    }
};

QByteArray bytesOf(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void writeBytes(const QString &path, const QByteArray &bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(bytes);
}

QStringList keptAside(const QString &path)
{
    const QFileInfo info(path);
    return QDir(info.absolutePath()).entryList({info.fileName() + QStringLiteral(".damaged-*")}, QDir::Files);
}

void setDataPlistValue(const Home &home, const QString &key, const QVariant &value)
{
    QVariantMap plist =
        platform::core::PropertyList::readDictionaryFile(home.dataFile(QStringLiteral("data.plist"))).value_or(QVariantMap());
    plist.insert(key, value);
    ASSERT_TRUE(platform::core::PropertyList::writeFile(plist, home.dataFile(QStringLiteral("data.plist"))));
}

// What a start under test showed and did, as the child program reports it.
struct Report
{
    QStringList alertTitles;
    QStringList alertTexts;
    QStringList steps;
    QList<int> exits;
    bool launchComplete = false;

    bool told(const QString &title, const QString &fragment = {}) const
    {
        for (int i = 0; i < alertTitles.size(); ++i) {
            if (alertTitles[i] == title && alertTexts[i].contains(fragment))
                return true;
        }
        return false;
    }
    std::string shown() const { return alertTitles.join(QStringLiteral(" | ")).toStdString(); }
};

Report runChild(const Home &home, const QString &phase)
{
    QTemporaryDir reportDir;
    const QString reportPath = reportDir.filePath(QStringLiteral("report.json"));
    QProcess child;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QString::fromLatin1(kHomeVar), home.root);
    env.insert(QString::fromLatin1(kPhaseVar), phase);
    env.insert(QString::fromLatin1(kReportVar), reportPath);
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    child.setProcessEnvironment(env);
    child.setProcessChannelMode(QProcess::MergedChannels);
    child.start(QCoreApplication::applicationFilePath(),
                {QStringLiteral("--gtest_filter=DamagedFilesChild.DISABLED_StartInTheGivenHome"),
                 QStringLiteral("--gtest_also_run_disabled_tests")});
    const bool finished = child.waitForFinished(90000);
    const QByteArray output = child.readAll();
    EXPECT_TRUE(finished && child.exitStatus() == QProcess::NormalExit && child.exitCode() == 0)
        << phase.toStdString() << " start failed:\n"
        << output.right(4000).constData();
    Report report;
    const QJsonObject root = QJsonDocument::fromJson(bytesOf(reportPath)).object();
    for (const QJsonValue &alert : root.value(QStringLiteral("alerts")).toArray()) {
        report.alertTitles << alert.toObject().value(QStringLiteral("title")).toString();
        report.alertTexts << alert.toObject().value(QStringLiteral("text")).toString();
    }
    for (const QJsonValue &step : root.value(QStringLiteral("steps")).toArray())
        report.steps << step.toString();
    for (const QJsonValue &code : root.value(QStringLiteral("exits")).toArray())
        report.exits << code.toInt();
    report.launchComplete = root.value(QStringLiteral("launchComplete")).toBool();
    return report;
}

struct Row
{
    const char *name;
    // Damages the home the first start made; returns the bytes (or state) to compare afterwards.
    std::function<void(const Home &)> damage;
    std::function<void(const Home &, const Report &)> check;
};

} // namespace

// Started only as a child of the table below: makes the home (prepare) or starts the program in the damaged
// home (launch), and writes down what the user was shown.
TEST(DamagedFilesChild, DISABLED_StartInTheGivenHome)
{
    const QString root = qEnvironmentVariable(kHomeVar);
    ASSERT_FALSE(root.isEmpty());
    const Home home{root};
    home.pointProcessHere();
    const QString phase = qEnvironmentVariable(kPhaseVar);
    if (phase == QLatin1String("prepare"))
        quendel::test::startWithEmptyHome();
    auto &presenter = platform::ui::AlertPresenter::shared();
    presenter.setBlockingForbidden(true);
    presenter.clearShownAlerts();

    QList<int> exits;
    auto app = std::make_unique<AppDelegate>();
    app->setExitHandler([&](int code) { exits << code; });
    app->launch();
    (void)QTest::qWaitFor(
        [&] {
            return app->isLaunchComplete() || !exits.isEmpty() || app->launchFailed() ||
                   app->launchSteps().contains(QStringLiteral("presentPasscodeScreen"));
        },
        20000);
    settle();
    QTest::qWait(200);
    settle();

    QJsonObject report;
    QJsonArray alerts;
    for (const platform::ui::ShownAlert &alert : presenter.shownAlerts())
        alerts.append(QJsonObject{{QStringLiteral("title"), alert.spec.messageText},
                                  {QStringLiteral("text"), alert.spec.informativeText}});
    report.insert(QStringLiteral("alerts"), alerts);
    report.insert(QStringLiteral("steps"), QJsonArray::fromStringList(app->launchSteps()));
    report.insert(QStringLiteral("launchComplete"), app->isLaunchComplete());
    // A program that got going is quit as a user quits it, so what it writes at quit is written.
    if (app->isLaunchComplete() && exits.isEmpty()) {
        chooseMenuItem(app->window(), QStringLiteral("File"), QStringLiteral("Quit Quendel"));
        settle();
    }
    QJsonArray codes;
    for (int code : std::as_const(exits))
        codes.append(code);
    report.insert(QStringLiteral("exits"), codes);
    app.reset();
    settle();
    QFile out(qEnvironmentVariable(kReportVar));
    ASSERT_TRUE(out.open(QIODevice::WriteOnly));
    out.write(QJsonDocument(report).toJson());
}

TEST(DamagedFiles, EachDamagedFileIsKeptAndTheUserTold)
{
    const QByteArray garbage("<?xml version=\"1.0\"?><plist><dict><key>half a fi");
    const QByteArray keychainGarbage("QuendelKeychain 1\n0000000000000000\t{\"svce\":\"Quendel\",\"acct\":\"pin\"}\n");
    const Row rows[] = {
        {"data.plist damaged",
         [&](const Home &h) { writeBytes(h.dataFile("data.plist"), garbage); },
         [&](const Home &h, const Report &r) {
             EXPECT_TRUE(r.told("Settings Could Not Be Read", h.dataFile("data.plist"))) << r.shown();
             const QStringList aside = keptAside(h.dataFile("data.plist"));
             ASSERT_EQ(aside.size(), 1);
             EXPECT_EQ(bytesOf(h.dataFile(aside.first())), garbage);
             EXPECT_TRUE(platform::core::PropertyList::readDictionaryFile(h.dataFile("data.plist")).has_value())
                 << "new settings are written beside the kept file";
             EXPECT_TRUE(r.launchComplete);
         }},
        {"data.plist unreadable",
         [&](const Home &h) {
             QFile::remove(h.dataFile("data.plist"));
             QDir().mkpath(h.dataFile("data.plist/inside"));
         },
         [&](const Home &h, const Report &r) {
             EXPECT_TRUE(r.told("Settings Could Not Be Read", "left where it is")) << r.shown();
             EXPECT_TRUE(keptAside(h.dataFile("data.plist")).isEmpty());
             EXPECT_TRUE(QFileInfo(h.dataFile("data.plist/inside")).isDir()) << "left in place, not written over";
         }},
        {"contact links damaged",
         [&](const Home &h) { writeBytes(h.dataFile("ContactsReferenceIdentifiers.plist"), garbage); },
         [&](const Home &h, const Report &r) {
             EXPECT_TRUE(r.told("Contact Links Could Not Be Read", "ContactsReferenceIdentifiers.plist")) << r.shown();
             const QStringList aside = keptAside(h.dataFile("ContactsReferenceIdentifiers.plist"));
             ASSERT_EQ(aside.size(), 1);
             EXPECT_EQ(bytesOf(h.dataFile(aside.first())), garbage);
         }},
        {"contact unique links damaged",
         [&](const Home &h) { writeBytes(h.dataFile("ContactsUniqueIdentifiers.plist"), garbage); },
         [&](const Home &h, const Report &r) {
             EXPECT_TRUE(r.told("Contact Links Could Not Be Read", "ContactsUniqueIdentifiers.plist")) << r.shown();
             const QStringList aside = keptAside(h.dataFile("ContactsUniqueIdentifiers.plist"));
             ASSERT_EQ(aside.size(), 1);
             EXPECT_EQ(bytesOf(h.dataFile(aside.first())), garbage);
         }},
        {"shared settings of another format",
         [&](const Home &h) { writeBytes(h.sharedStore(), R"({"format": 9, "values": {}})"); },
         [&](const Home &h, const Report &r) {
             EXPECT_TRUE(r.told("Shared Settings Could Not Be Read")) << r.shown();
             const QStringList aside = keptAside(h.sharedStore());
             ASSERT_EQ(aside.size(), 1);
             EXPECT_EQ(bytesOf(QFileInfo(h.sharedStore()).absolutePath() + "/" + aside.first()),
                       QByteArray(R"({"format": 9, "values": {}})"));
         }},
        {"keychain damaged while the passcode lock is on",
         [&](const Home &h) {
             setDataPlistValue(h, PasscodeLaunchCheck::PinEnabledKey, true);
             writeBytes(h.keychain(), keychainGarbage);
         },
         [&](const Home &h, const Report &r) {
             EXPECT_TRUE(r.told(PasscodeLaunchCheck::UnreadableAlertTitle, h.keychain())) << r.shown();
             EXPECT_TRUE(r.steps.contains("passcode:unreadable")) << r.steps.join(',').toStdString();
             EXPECT_TRUE(r.steps.contains("presentPasscodeScreen")) << "locked, never open without a word";
             EXPECT_EQ(bytesOf(h.keychain()), keychainGarbage) << "the keychain is left as it was";
         }},
        {"keychain unreadable while the passcode lock is on",
         [&](const Home &h) {
             setDataPlistValue(h, PasscodeLaunchCheck::PinEnabledKey, true);
             QFile::remove(h.keychain());
             QDir().mkpath(h.keychain() + "/inside");
         },
         [&](const Home &h, const Report &r) {
             EXPECT_TRUE(r.told(PasscodeLaunchCheck::UnreadableAlertTitle, h.keychain())) << r.shown();
             EXPECT_TRUE(r.steps.contains("presentPasscodeScreen")) << r.steps.join(',').toStdString();
             EXPECT_TRUE(QFileInfo(h.keychain() + "/inside").isDir());
         }},
        {"keychain deleted while the passcode lock is on",
         [&](const Home &h) {
             setDataPlistValue(h, PasscodeLaunchCheck::PinEnabledKey, true);
             QFile::remove(h.keychain());
         },
         [&](const Home &h, const Report &r) {
             EXPECT_TRUE(r.told(PasscodeLaunchCheck::GoneAlertTitle, h.keychain())) << r.shown();
             EXPECT_TRUE(r.steps.contains("passcode:gone")) << r.steps.join(',').toStdString();
             EXPECT_TRUE(r.launchComplete) << "the lock opens: no passcode is left to check against";
             const auto plist = platform::core::PropertyList::readDictionaryFile(h.dataFile("data.plist"));
             ASSERT_TRUE(plist.has_value());
             EXPECT_FALSE(plist->value(PasscodeLaunchCheck::PinEnabledKey).toBool()) << "told once, not every start";
         }},
        {"a foreign database at the store's place",
         [&](const Home &h) {
             const QString path = h.dataFile(CoreDataControllerShared::LocalStoreFileName);
             for (const QString &suffix : {QString(), QStringLiteral("-wal"), QStringLiteral("-shm")})
                 QFile::remove(path + suffix);
             sqlite3 *db = nullptr;
             ASSERT_EQ(sqlite3_open(QFile::encodeName(path).constData(), &db), SQLITE_OK);
             sqlite3_exec(db, "CREATE TABLE notes (body TEXT); INSERT INTO notes VALUES ('keep me');", nullptr,
                          nullptr, nullptr);
             sqlite3_close(db);
         },
         [&](const Home &h, const Report &r) {
             const QString path = h.dataFile(CoreDataControllerShared::LocalStoreFileName);
             EXPECT_TRUE(r.told(CoreDataControllerShared::UnopenableStoreAlertTitle, path)) << r.shown();
             EXPECT_TRUE(r.exits.contains(1)) << "the program ends: nothing could be saved";
             EXPECT_EQ(bytesOf(path).at(18), 1) << "still a rollback-journal file: nothing was switched";
             EXPECT_FALSE(QFileInfo::exists(path + "-wal"));
         }},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        QTemporaryDir dir;
        const Home home{dir.path()};
        const Report made = runChild(home, QStringLiteral("prepare"));
        ASSERT_TRUE(made.launchComplete) << "the first start makes the home";
        ASSERT_TRUE(QFileInfo::exists(home.dataFile("data.plist")));
        // The damage comes after the home was made and before the start under test.
        row.damage(home);
        const Report report = runChild(home, QStringLiteral("launch"));
        row.check(home, report);
    }
}
