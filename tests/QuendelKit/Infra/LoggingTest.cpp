#include "QuendelKit/Infra/CustomLogFormatter.h"
#include "QuendelKit/Infra/QDFileLogger.h"
#include "QuendelKit/Infra/QDLogging.h"

#include "platform/core/Clock.h"
#include "support/TempHome.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cstdlib>
#include <iostream>
#include <thread>

using platform::core::ManualClock;
using platform::core::ScopedClock;

namespace {

const QDateTime kStart(QDate(2026, 3, 5), QTime(7, 8, 9, 250), Qt::UTC);

QDLogMessage messageAt(const QDateTime &utc, const QString &text, int context = QDLogContextDefault,
                       int flag = QDLogFlagInfo)
{
    QDLogMessage message;
    message.message = text;
    message.context = context;
    message.flag = flag;
    message.timestamp = utc;
    return message;
}

QByteArray readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// ---- the line formatter ----

class LocaleGuard
{
public:
    explicit LocaleGuard(const QLocale &locale) : m_saved(QLocale()) { QLocale::setDefault(locale); }
    ~LocaleGuard() { QLocale::setDefault(m_saved); }

private:
    QLocale m_saved;
};

TEST(CustomLogFormatter, OnlyContextTwoIsWrittenAsDateBarBlankText)
{
    LocaleGuard locale(QLocale(QLocale::English, QLocale::UnitedStates));
    CustomLogFormatter formatter;
    formatter.didAddToLogger(nullptr);
    EXPECT_EQ(formatter.dateFormatter().dateFormat, QStringLiteral("MM/dd/yy HH:mm:ss"));

    const QDateTime local(QDate(2026, 3, 5), QTime(17, 8, 9), Qt::LocalTime);
    EXPECT_TRUE(formatter.formatLogMessage(messageAt(local.toUTC(), "ignored", 0)).isNull());
    EXPECT_TRUE(formatter.formatLogMessage(messageAt(local.toUTC(), "ignored", 1)).isNull());
    EXPECT_EQ(formatter.formatLogMessage(messageAt(local.toUTC(), "Person updated: %1 50%", 2)),
              QStringLiteral("03/05/26 17:08:09| Person updated: %1 50%"));
    EXPECT_TRUE(formatter.timeFormatter().dateFormat.isEmpty());
}

TEST(CustomLogFormatter, DateFormatFollowsTheLocaleAndIsMadeAgainOnEachAttach)
{
    struct Case
    {
        QLocale locale;
        QString format;
    };
    const Case cases[] = {
        {QLocale(QLocale::English, QLocale::UnitedStates), "MM/dd/yy HH:mm:ss"},
        {QLocale(QLocale::English, QLocale::UnitedKingdom), "dd/MM/yy HH:mm:ss"},
        {QLocale(QLocale::German, QLocale::Germany), "dd.MM.yy HH:mm:ss"},
        {QLocale(QLocale::Japanese, QLocale::Japan), "yy/MM/dd HH:mm:ss"},
        {QLocale(QLocale::Korean, QLocale::SouthKorea), "yy. MM. dd. HH:mm:ss"},
        {QLocale(QLocale::Finnish, QLocale::Finland), "dd.MM.yy HH.mm.ss"},
        {QLocale::c(), "dd MM yy HH:mm:ss"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.locale.name().toStdString());
        EXPECT_EQ(CustomLogFormatter::localizedDateFormatFromTemplate(CustomLogFormatter::DateFormatTemplate, c.locale),
                  c.format);
    }

    auto formatter = std::make_shared<CustomLogFormatter>();
    QTemporaryDir dir;
    QDFileLogger logger(std::make_shared<QDLogFileManager>(dir.path()));
    {
        LocaleGuard locale(QLocale(QLocale::German, QLocale::Germany));
        logger.setLogFormatter(formatter);
    }
    EXPECT_EQ(formatter->dateFormatter().dateFormat, QStringLiteral("dd.MM.yy HH:mm:ss"));
    {
        LocaleGuard locale(QLocale(QLocale::English, QLocale::UnitedStates));
        logger.setLogFormatter(formatter);
    }
    EXPECT_EQ(formatter->dateFormatter().dateFormat, QStringLiteral("MM/dd/yy HH:mm:ss"));
}

// ---- file loggers: rolling by age and size, and trimming ----

class FileLoggerTest : public ::testing::Test
{
protected:
    QTemporaryDir m_dir;
    std::shared_ptr<QDLogFileManager> m_manager = std::make_shared<QDLogFileManager>(m_dir.path() + "/Logs");
};

TEST_F(FileLoggerTest, DefaultLineAndNameFormats)
{
    QDFileLogger logger(m_manager);
    EXPECT_EQ(logger.rollingFrequency(), 86400.0);
    EXPECT_EQ(logger.maximumFileSize(), 1024 * 1024);
    EXPECT_EQ(m_manager->maximumNumberOfLogFiles(), 5);
    EXPECT_EQ(m_manager->logFilesDiskQuota(), 20 * 1024 * 1024);

    logger.logMessage(messageAt(kStart, "first line"));
    logger.flush();
    const QStringList files = m_manager->sortedLogFilePaths();
    ASSERT_EQ(files.size(), 1);
    EXPECT_EQ(QFileInfo(files[0]).fileName(), QStringLiteral("Quendel 2026-03-05--07-08-09-250.log"));
    const QString expected =
        kStart.toLocalTime().toString(QStringLiteral("yyyy/MM/dd HH:mm:ss:zzz")) + QStringLiteral("  first line\n");
    EXPECT_EQ(QString::fromUtf8(readAll(files[0])), expected);
}

TEST_F(FileLoggerTest, RollsByAge)
{
    QDFileLogger logger(m_manager);
    logger.setRollingFrequency(100);
    logger.logMessage(messageAt(kStart, "a"));
    logger.logMessage(messageAt(kStart.addSecs(99), "b"));
    EXPECT_EQ(m_manager->sortedLogFilePaths().size(), 1);
    logger.logMessage(messageAt(kStart.addSecs(100), "c"));
    logger.flush();
    const QStringList files = m_manager->sortedLogFilePaths();
    ASSERT_EQ(files.size(), 2);
    EXPECT_EQ(m_manager->creationDateOfLogFile(files[0]), kStart.addSecs(100));
    EXPECT_TRUE(readAll(files[0]).endsWith("  c\n"));
    EXPECT_TRUE(readAll(files[1]).endsWith("  b\n"));
}

TEST_F(FileLoggerTest, RollsBySizeAndNumbersFilesStartedInOneMillisecond)
{
    QDFileLogger logger(m_manager);
    logger.setMaximumFileSize(100);
    const QString text(60, QLatin1Char('x')); // a line is 60 + 25 bytes: the second line fills a file
    for (int i = 0; i < 4; ++i)
        logger.logMessage(messageAt(kStart, text));
    logger.flush();
    const QStringList files = m_manager->sortedLogFilePaths();
    ASSERT_EQ(files.size(), 2);
    EXPECT_EQ(QFileInfo(files[0]).fileName(), QStringLiteral("Quendel 2026-03-05--07-08-09-250 1.log"));
    EXPECT_EQ(QFileInfo(files[1]).fileName(), QStringLiteral("Quendel 2026-03-05--07-08-09-250.log"));
    for (const QString &file : files)
        EXPECT_EQ(readAll(file).count('\n'), 2);
}

TEST_F(FileLoggerTest, KeepsAtMostTheMaximumNumberOfFilesNewestFirst)
{
    m_manager->setMaximumNumberOfLogFiles(3);
    QDFileLogger logger(m_manager);
    logger.setRollingFrequency(10);
    for (int i = 0; i < 6; ++i)
        logger.logMessage(messageAt(kStart.addSecs(10 * i), QString::number(i)));
    logger.flush();
    const QStringList files = m_manager->sortedLogFilePaths();
    ASSERT_EQ(files.size(), 3);
    EXPECT_EQ(m_manager->creationDateOfLogFile(files[0]), kStart.addSecs(50));
    EXPECT_EQ(m_manager->creationDateOfLogFile(files[2]), kStart.addSecs(30));
}

TEST_F(FileLoggerTest, DiskQuotaDeletesOldestButNeverTheCurrentFile)
{
    m_manager->setLogFilesDiskQuota(250);
    QDFileLogger logger(m_manager);
    logger.setMaximumFileSize(100);
    const QString text(75, QLatin1Char('q')); // 100-byte lines: one line per file
    for (int i = 0; i < 5; ++i)
        logger.logMessage(messageAt(kStart.addSecs(i), text));
    logger.logMessage(messageAt(kStart.addSecs(9), "last"));
    logger.flush();
    const QStringList files = m_manager->sortedLogFilePaths();
    qint64 total = 0;
    for (const QString &file : files)
        total += QFileInfo(file).size();
    EXPECT_LE(total, 250);
    ASSERT_FALSE(files.isEmpty());
    EXPECT_TRUE(readAll(files[0]).endsWith("  last\n"));

    // A single file larger than the quota is still the file being written.
    m_manager->setLogFilesDiskQuota(10);
    logger.setMaximumFileSize(0);
    logger.logMessage(messageAt(kStart.addSecs(20), text));
    logger.flush();
    EXPECT_TRUE(QFileInfo::exists(logger.currentLogFilePath()));
}

TEST_F(FileLoggerTest, NewLoggerContinuesAYoungFileAndStartsAfterAnOldOne)
{
    {
        QDFileLogger logger(m_manager);
        logger.setRollingFrequency(100);
        logger.logMessage(messageAt(kStart, "before restart"));
    }
    {
        QDFileLogger logger(m_manager);
        logger.setRollingFrequency(100);
        logger.logMessage(messageAt(kStart.addSecs(30), "after restart"));
        logger.flush();
    }
    QStringList files = m_manager->sortedLogFilePaths();
    ASSERT_EQ(files.size(), 1);
    EXPECT_EQ(readAll(files[0]).count('\n'), 2);

    auto clock = std::make_shared<ManualClock>(kStart.addSecs(500));
    ScopedClock scoped(clock);
    QDFileLogger logger(m_manager);
    logger.setRollingFrequency(100);
    const QString current = logger.currentLogFilePath();
    EXPECT_NE(current, files[0]);
    EXPECT_EQ(m_manager->creationDateOfLogFile(current), kStart.addSecs(500));
    EXPECT_EQ(m_manager->sortedLogFilePaths().size(), 2);
}

TEST_F(FileLoggerTest, RollLogFileStartsANewFileWithTheNextLine)
{
    QDFileLogger logger(m_manager);
    logger.logMessage(messageAt(kStart, "one"));
    logger.rollLogFile();
    logger.logMessage(messageAt(kStart.addSecs(1), "two"));
    logger.flush();
    EXPECT_EQ(m_manager->sortedLogFilePaths().size(), 2);
}

TEST_F(FileLoggerTest, FormatterThatSkipsWritesNothing)
{
    QDFileLogger logger(m_manager);
    logger.setLogFormatter(std::make_shared<CustomLogFormatter>());
    logger.logMessage(messageAt(kStart, "ordinary", 0));
    logger.logMessage(messageAt(kStart, "incoming", 2));
    logger.flush();
    const QStringList files = m_manager->sortedLogFilePaths();
    ASSERT_EQ(files.size(), 1);
    const QByteArray contents = readAll(files[0]);
    EXPECT_FALSE(contents.contains("ordinary"));
    EXPECT_TRUE(contents.endsWith("| incoming\n"));
    EXPECT_EQ(contents.count('\n'), 1);
}

// ---- the front end ----

class MemoryLogger : public QDLogger
{
public:
    std::mutex mutex;
    std::vector<QDLogMessage> messages;
    std::vector<QString> lines;

protected:
    void writeLine(const QDLogMessage &message, const QString &line, bool) override
    {
        std::lock_guard guard(mutex);
        messages.push_back(message);
        lines.push_back(line);
    }
};

TEST(QDLogFrontEnd, LevelsContextsSourceAndThreads)
{
    QDLogInfo("before any logger"); // goes nowhere, and must not crash
    auto clock = std::make_shared<ManualClock>(kStart);
    ScopedClock scoped(clock);

    auto everything = std::make_shared<MemoryLogger>();
    auto errorsOnly = std::make_shared<MemoryLogger>();
    QDLog::addLogger(everything);
    QDLog::addLogger(errorsOnly, QDLogFlagError);

    QDLogInfo("info line");
    QDLogIncoming("incoming line");
    QDLogVerbose("verbose line");
    const int errorLine = __LINE__ + 1;
    QDLogError("error line");
    {
        // An error line is written before the call returns.
        std::lock_guard guard(errorsOnly->mutex);
        ASSERT_EQ(errorsOnly->messages.size(), 1u);
        EXPECT_EQ(errorsOnly->messages[0].message, QStringLiteral("error line"));
        EXPECT_EQ(errorsOnly->messages[0].line, errorLine);
        EXPECT_TRUE(errorsOnly->messages[0].file.endsWith(QStringLiteral("LoggingTest.cpp")));
    }

    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([t] {
            for (int i = 0; i < 50; ++i)
                QDLogDebug(QStringLiteral("t%1 %2").arg(t).arg(i));
        });
    for (auto &thread : threads)
        thread.join();
    QDLog::flushLog();

    std::lock_guard guard(everything->mutex);
    ASSERT_EQ(everything->messages.size(), 4u + 200u);
    EXPECT_EQ(everything->messages[0].message, QStringLiteral("info line"));
    EXPECT_EQ(everything->messages[0].context, 0);
    EXPECT_EQ(everything->messages[0].timestamp, kStart);
    EXPECT_EQ(everything->messages[1].context, 2);
    EXPECT_EQ(everything->messages[1].flag, QDLogFlagInfo);
    EXPECT_EQ(everything->messages[2].flag, QDLogFlagVerbose);
    EXPECT_EQ(everything->messages[3].flag, QDLogFlagError);
    // Each thread's lines keep their order.
    for (int t = 0; t < 4; ++t) {
        int next = 0;
        for (const QDLogMessage &m : everything->messages) {
            if (m.message.startsWith(QStringLiteral("t%1 ").arg(t))) {
                EXPECT_EQ(m.message, QStringLiteral("t%1 %2").arg(t).arg(next++));
            }
        }
        EXPECT_EQ(next, 50);
    }
    QDSystemLog(QStringLiteral("a plain system line")); // standard error only
    EXPECT_EQ(everything->messages.size(), 204u);
}

// ---- the set-up: each case runs in a fresh process, because the loggers are set up once per process ----

#define CHECK_OR_FAIL(condition)                                                                                       \
    do {                                                                                                               \
        if (!(condition)) {                                                                                            \
            std::cerr << "check failed: " #condition << std::endl;                                                     \
            std::exit(1);                                                                                              \
        }                                                                                                              \
    } while (0)

void setUpOutsideUITest()
{
    qunsetenv("isUITest");
    LocaleGuard locale(QLocale(QLocale::English, QLocale::UnitedStates));
    const QString caches = quendel::test::processHome().cacheHome();
    auto clock = std::make_shared<ManualClock>(kStart);
    ScopedClock scoped(clock);

    QDLogInfo("logged before set-up");
    QDLogging::initDDLogger();
    QDLogging::initDDLogger(); // a second call changes nothing

    auto activity = QDLogging::qdFileLogger();
    auto incoming = QDLogging::incomingLogger();
    CHECK_OR_FAIL(activity && incoming);
    CHECK_OR_FAIL(activity->rollingFrequency() == 1209600.0);
    CHECK_OR_FAIL(activity->logFileManager()->maximumNumberOfLogFiles() == 20);
    CHECK_OR_FAIL(activity->maximumFileSize() == 1024 * 1024);
    CHECK_OR_FAIL(activity->logFileManager()->logFilesDiskQuota() == 20 * 1024 * 1024);
    CHECK_OR_FAIL(incoming->rollingFrequency() == 86400.0);
    CHECK_OR_FAIL(incoming->logFileManager()->maximumNumberOfLogFiles() == 5);
    CHECK_OR_FAIL(incoming->maximumFileSize() == 1024 * 1024);
    CHECK_OR_FAIL(incoming->logFileManager()->logsDirectory() == caches + "/Logs/IncomingCloudKit");
    CHECK_OR_FAIL(activity->logFileManager()->logsDirectory() == caches + "/Logs/QuendelTests");
    CHECK_OR_FAIL(std::dynamic_pointer_cast<CustomLogFormatter>(incoming->logFormatter()) != nullptr);
    CHECK_OR_FAIL(activity->logFormatter() == nullptr);

    QDLogInfo("SharedSettings: an ordinary line");
    QDLogInfo("Same text, other context", 0);
    QDLogInfo("Same text, other context", 2);
    QDLogIncoming("QDCloudKit: Person changed");
    QDLog::flushLog();

    const QByteArray incomingText = readAll(incoming->currentLogFilePath());
    const QString date = kStart.toLocalTime().toString(QStringLiteral("MM/dd/yy HH:mm:ss"));
    const QByteArray expected =
        (date + "| Same text, other context\n" + date + "| QDCloudKit: Person changed\n").toUtf8();
    if (incomingText != expected)
        std::cerr << "incoming log:\n" << incomingText.constData() << "\nexpected:\n" << expected.constData();
    CHECK_OR_FAIL(incomingText == expected);

    const QByteArray activityText = readAll(activity->currentLogFilePath());
    CHECK_OR_FAIL(!activityText.contains("logged before set-up"));
    CHECK_OR_FAIL(activityText.contains("  SharedSettings: an ordinary line\n"));
    CHECK_OR_FAIL(activityText.count("Same text, other context") == 2);
    CHECK_OR_FAIL(activityText.contains("  QDCloudKit: Person changed\n"));
    std::exit(0);
}

void setUpInUITest()
{
    qputenv("isUITest", "1");
    QDLogging::initDDLogger();
    auto activity = QDLogging::qdFileLogger();
    CHECK_OR_FAIL(activity);
    CHECK_OR_FAIL(!QDLogging::incomingLogger());
    CHECK_OR_FAIL(activity->rollingFrequency() == 86400.0);
    CHECK_OR_FAIL(activity->logFileManager()->maximumNumberOfLogFiles() == 7);
    QDLogIncoming("incoming while testing");
    QDLog::flushLog();
    CHECK_OR_FAIL(readAll(activity->currentLogFilePath()).contains("incoming while testing"));
    CHECK_OR_FAIL(!QDir(QDLogging::incomingLogsDirectory()).exists());
    std::exit(0);
}

TEST(QDLoggingDeathTest, SetUpOutsideUITestMode)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(setUpOutsideUITest(), ::testing::ExitedWithCode(0), "");
}

TEST(QDLoggingDeathTest, SetUpInUITestModeHasNoIncomingLog)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(setUpInUITest(), ::testing::ExitedWithCode(0), "");
}

} // namespace
