// The program as separate processes, as a desktop runs it: ended by a signal from the session or a
// terminal, and started a second time on the same data folder. Each child is this test program run again
// with one role; it starts the application as main does (ApplicationMain) in the parent's home and acts as
// a user. The parent only sends signals, starts processes and reads the files they leave.

#include "RoadsFixture.h"

#include "ApplicationMain.h"

#include "Classes/SingleInstanceGuard.h"

#include "QuendelKit/Entities/Phones.h"
#include "QuendelKit/QuendelModel.h"

#include "platform/core/StandardPaths.h"
#include "platform/store/FetchRequest.h"
#include "platform/store/ManagedObjectContext.h"
#include "platform/store/StoreCoordinator.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QPushButton>
#include <QToolButton>

#include <csignal>
#include <iostream>

using namespace roads;

namespace {

constexpr const char *RoleVariable = "QUENDEL_PROCESS_ROAD_ROLE";
constexpr const char *HomeVariable = "QUENDEL_PROCESS_ROAD_HOME";

void say(const QString &line)
{
    std::cout << "child: " << line.toStdString() << std::endl;
}

// The child works in the parent's home, so both see the same data folder.
void useParentHome()
{
    const QString home = qEnvironmentVariable(HomeVariable);
    qputenv("HOME", home.toUtf8());
    qputenv("XDG_DATA_HOME", (home + QStringLiteral("/data")).toUtf8());
    qputenv("XDG_CACHE_HOME", (home + QStringLiteral("/cache")).toUtf8());
    qputenv("XDG_CONFIG_HOME", (home + QStringLiteral("/config")).toUtf8());
    qputenv("XDG_DOCUMENTS_DIR", (home + QStringLiteral("/Documents")).toUtf8());
}

// A contact added through the toolbar's sheet, as a user types it.
void addContact(QMainWindow *window, const QString &first, const QString &last, const QString &phone)
{
    addContactThroughTheSheet(window, first, last, {{QStringLiteral("Phones new"), phone}});
}

// Each role runs only in a child started by a test below.
TEST(ProcessRoadChild, Run)
{
    const QByteArray role = qgetenv(RoleVariable);
    if (role.isEmpty())
        GTEST_SKIP() << "runs only as a child of the process roads";
    useParentHome();
    platform::ui::AlertPresenter::shared().setBlockingForbidden(true);

    ApplicationMain program;
    const bool started = program.start();
    say(QStringLiteral("started %1 %2").arg(started ? 1 : 0).arg(program.exitCode()));
    if (!started)
        return;
    AppDelegate *app = program.delegate();
    ASSERT_TRUE(QTest::qWaitFor([&] { return app->isLaunchComplete(); }, 20000));
    MainWindow *window = app->window();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window));

    if (role == "edit") {
        // A contact with a number, then a new number typed over it on the Info page and left there: no
        // Return, no Done.
        addContact(window, QStringLiteral("Zoe"), QStringLiteral("Quill"), QStringLiteral("555-0100"));
        clickRow(widgetNamed<QAbstractItemView>(QStringLiteral("Contacts")), QStringLiteral("Zoe Quill"));
        click(widgetNamed<QPushButton>(QStringLiteral("Info")));
        click(widgetNamed<QPushButton>(QStringLiteral("Edit")));
        // The stored number's field is named after its section and label ("Phones mobile").
        QLineEdit *phone = nullptr;
        for (const QString &name : namesStartingWith(QStringLiteral("Phones "), window)) {
            if (name == QLatin1String("Phones new") || name.endsWith(QLatin1String(" label")))
                continue;
            for (QWidget *widget : widgetsNamed(name)) {
                if (auto *field = qobject_cast<QLineEdit *>(widget))
                    phone = field;
            }
        }
        ASSERT_NE(phone, nullptr) << namesStartingWith(QStringLiteral("Phones"), window).join(QLatin1Char(',')).toStdString();
        activateWindowOf(phone);
        phone->setFocus(Qt::MouseFocusReason);
        QTest::keyClick(phone, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClicks(phone, QStringLiteral("555-0199"));
        settle();
    } else if (role == "window") {
        window->showMinimized();
        ASSERT_TRUE(QTest::qWaitFor([&] { return window->isMinimized(); }, 5000));
    }

    say(QStringLiteral("ready"));
    if (role == "window") {
        // The parent starts the program again; this window is to come forward.
        if (QTest::qWaitFor([&] { return !window->isMinimized(); }, 20000))
            say(QStringLiteral("forward"));
    } else if (role == "self-signal") {
        std::raise(SIGTERM);
    }
    // Main's event loop, until the program leaves it.
    const int code = QApplication::exec();
    say(QStringLiteral("ended %1").arg(code));
}

class ProcessRoadsTest : public RoadTest
{
protected:
    void TearDown() override
    {
        for (QProcess *child : {&m_first, &m_second}) {
            if (child->state() != QProcess::NotRunning) {
                child->kill();
                child->waitForFinished(5000);
            }
        }
        RoadTest::TearDown();
    }

    void startChild(QProcess &child, const char *role)
    {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QString::fromLatin1(RoleVariable), QString::fromLatin1(role));
        environment.insert(QString::fromLatin1(HomeVariable), quendel::test::processHome().path());
        child.setProcessEnvironment(environment);
        child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        child.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--gtest_filter=ProcessRoadChild.Run")});
        ASSERT_TRUE(child.waitForStarted(10000));
    }

    // The child's next line starting with `prefix`; empty when it ended or timed out first.
    QString waitForLine(QProcess &child, const QString &prefix, int timeoutMs = 30000)
    {
        QElapsedTimer timer;
        timer.start();
        while (timer.elapsed() < timeoutMs) {
            while (child.canReadLine()) {
                const QString line = QString::fromUtf8(child.readLine()).trimmed();
                m_seen += line + QLatin1Char('\n');
                if (line.startsWith(QStringLiteral("child: ") + prefix))
                    return line.mid(7);
            }
            if (child.state() == QProcess::NotRunning && !child.canReadLine())
                return QString();
            child.waitForReadyRead(100);
        }
        return QString();
    }

    static void sendSignal(QProcess &child, int signalNumber) { ::kill(pid_t(child.processId()), signalNumber); }

    // The numbers stored in the store file, read afresh from disk.
    static QStringList storedPhoneNumbers()
    {
        const QString path = QDir(platform::core::StandardPaths::dataFolderPath()).filePath(QStringLiteral("Quendel.sqlite"));
        auto coordinator = std::make_shared<platform::store::StoreCoordinator>(QuendelModel::create());
        platform::core::QDError error;
        if (!coordinator->addPersistentStore(platform::store::StoreType::SQLite, path, {}, &error)) {
            ADD_FAILURE() << error.toString().toStdString();
            return {};
        }
        auto context = platform::store::ManagedObjectContext::create(
            platform::store::ManagedObjectContext::ConcurrencyType::MainQueue);
        context->setPersistentStoreCoordinator(coordinator);
        QStringList numbers;
        for (platform::store::ManagedObject *object :
             context->executeFetchRequest(platform::store::FetchRequest(Phones::EntityName), &error)) {
            if (auto *phone = dynamic_cast<Phones *>(object))
                numbers << phone->phoneNumber();
        }
        return numbers;
    }

    static qint64 writeAheadLogSize()
    {
        return QFileInfo(QDir(platform::core::StandardPaths::dataFolderPath()).filePath(QStringLiteral("Quendel.sqlite-wal")))
            .size();
    }

    QProcess m_first;
    QProcess m_second;
    QString m_seen;
};

class QuitSignalRoadTest : public ProcessRoadsTest, public ::testing::WithParamInterface<int>
{
};

TEST_P(QuitSignalRoadTest, TheSignalQuitsThroughQuitAndKeepsTheEditInProgress)
{
    startChild(m_first, "edit");
    ASSERT_FALSE(waitForLine(m_first, QStringLiteral("ready")).isEmpty()) << m_seen.toStdString();

    sendSignal(m_first, GetParam());
    EXPECT_EQ(waitForLine(m_first, QStringLiteral("ended")), QStringLiteral("ended 0")) << m_seen.toStdString();
    ASSERT_TRUE(m_first.waitForFinished(20000));
    EXPECT_EQ(m_first.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(m_first.exitCode(), 0);

    // The number typed over the old one is in the store file, and the write-ahead log was folded into it.
    EXPECT_EQ(storedPhoneNumbers(), QStringList{QStringLiteral("555-0199")});
    EXPECT_EQ(writeAheadLogSize(), 0);
}

INSTANTIATE_TEST_SUITE_P(Signals, QuitSignalRoadTest, ::testing::Values(SIGTERM, SIGINT, SIGHUP),
                         [](const ::testing::TestParamInfo<int> &info) {
                             return std::string(info.param == SIGTERM ? "SIGTERM" : info.param == SIGINT ? "SIGINT" : "SIGHUP");
                         });

TEST_F(ProcessRoadsTest, ASecondStartOnTheSameDataFolderBringsTheFirstForwardAndEnds)
{
    startChild(m_first, "window");
    ASSERT_FALSE(waitForLine(m_first, QStringLiteral("ready")).isEmpty()) << m_seen.toStdString();
    ASSERT_TRUE(QFileInfo::exists(
        QDir(platform::core::StandardPaths::dataFolderPath()).filePath(SingleInstanceGuard::LockFileName)));

    // The second start hands over and ends at once, with success, before it opens anything.
    startChild(m_second, "self-signal");
    EXPECT_EQ(waitForLine(m_second, QStringLiteral("started")), QStringLiteral("started 0 0")) << m_seen.toStdString();
    ASSERT_TRUE(m_second.waitForFinished(20000));
    EXPECT_EQ(m_second.exitCode(), 0);
    EXPECT_FALSE(waitForLine(m_first, QStringLiteral("forward")).isEmpty()) << m_seen.toStdString();

    // Once the first has quit, the folder is free: a start runs (and quits itself by a signal).
    sendSignal(m_first, SIGTERM);
    ASSERT_TRUE(m_first.waitForFinished(20000));
    EXPECT_EQ(m_first.exitCode(), 0);
    startChild(m_second, "self-signal");
    EXPECT_EQ(waitForLine(m_second, QStringLiteral("started")), QStringLiteral("started 1 0")) << m_seen.toStdString();
    EXPECT_EQ(waitForLine(m_second, QStringLiteral("ended")), QStringLiteral("ended 0")) << m_seen.toStdString();
    ASSERT_TRUE(m_second.waitForFinished(20000));
}

TEST_F(ProcessRoadsTest, AProgramKilledOutrightLeavesNoLockBehind)
{
    startChild(m_first, "window");
    ASSERT_FALSE(waitForLine(m_first, QStringLiteral("ready")).isEmpty()) << m_seen.toStdString();
    m_first.kill();
    ASSERT_TRUE(m_first.waitForFinished(20000));

    startChild(m_second, "self-signal");
    EXPECT_EQ(waitForLine(m_second, QStringLiteral("started")), QStringLiteral("started 1 0")) << m_seen.toStdString();
    EXPECT_EQ(waitForLine(m_second, QStringLiteral("ended")), QStringLiteral("ended 0")) << m_seen.toStdString();
    ASSERT_TRUE(m_second.waitForFinished(20000));
}

} // namespace
