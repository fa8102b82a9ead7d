#include "CloudBackingTest.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QSignalSpy>
#include <QThread>

#include <iostream>

#include <unistd.h>

using namespace platform::cloud;
using platform::core::QDError;

namespace quendel::test {
namespace {

const RecordZoneID DataZone(QStringLiteral("QDCloudKitPrivateZoneName"));
const char *const RoleVariable = "QUENDEL_CLOUD_TEST_CHILD";

void say(const QString &line)
{
    std::cout << "child: " << line.toStdString() << std::endl;
}

// The second client of the two-process tests: this same program, started with the role in the
// environment and the service's address in QUENDEL_CLOUD_URL, as the application would find it.
TEST(CloudChildProcess, Run)
{
    const QByteArray role = qgetenv(RoleVariable);
    if (role.isEmpty())
        GTEST_SKIP() << "runs only as the second process of the two-process tests";
    SqlCloudService::Options options;
    options.pushPollMilliseconds = 20;
    options.leaseSeconds = 1;
    QDError error;
    auto service = CloudServiceFactory::open(CloudServiceFactory::serviceURL(), options, &error);
    ASSERT_TRUE(service) << error.toString().toStdString();

    if (role == "listen") {
        service->setPushesEnabled(true);
        QSignalSpy pushes(service.get(), &CloudService::notificationReceived);
        say(QStringLiteral("ready"));
        ASSERT_TRUE(pushes.wait(15000));
        const auto notification = pushes.first().first().value<CloudNotification>();
        say(QStringLiteral("push %1 %2").arg(notification.subscriptionID, notification.zoneID.zoneName()));
        const ZoneChangesResult changes = service->fetchZoneChanges(DatabaseScope::Private, DataZone, ChangeToken());
        ASSERT_TRUE(changes.error.isNull());
        QStringList names;
        for (const Record &record : changes.changedRecords)
            names.append(record.recordID().recordName() + QLatin1Char('=') +
                         record.value(QStringLiteral("firstName")).toString());
        say(QStringLiteral("changes ") + names.join(QLatin1Char(',')));
        return;
    }
    if (role == "crash" || role == "finish") {
        ModifyRecordsRequest request;
        Record record(QStringLiteral("Person"), RecordID(QStringLiteral("Person.LongLived-") + QString::fromLatin1(role), DataZone));
        record.setValue(QStringLiteral("firstName"), QStringLiteral("kept"));
        request.recordsToSave = {record};
        request.configuration.longLived = true;
        request.persisted = [&](const QString &id) {
            say(QStringLiteral("persisted ") + id);
            // Gone before the operation ran, as a client that is killed or loses power.
            if (role == "crash")
                _exit(3);
        };
        const ModifyRecordsResult result = service->modifyRecords(request);
        ASSERT_TRUE(result.error.isNull());
        say(QStringLiteral("finished"));
    }
}

class TwoProcesses : public CloudBackingTest
{
protected:
    void SetUp() override
    {
        CloudBackingTest::SetUp();
        if (IsSkipped() || HasFatalFailure())
            return;
        m_service = openInjected();
        ASSERT_TRUE(m_service);
        ASSERT_TRUE(m_service->saveZones(DatabaseScope::Private, {DataZone}).error.isNull());
    }

    void startChild(QProcess &child, const char *role)
    {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QString::fromLatin1(RoleVariable), QString::fromLatin1(role));
        environment.insert(QString::fromLatin1(CloudServiceFactory::UrlEnvironmentVariable), urlFor(QStringLiteral("alice")));
        child.setProcessEnvironment(environment);
        child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        child.start(QCoreApplication::applicationFilePath(),
                    {QStringLiteral("--gtest_filter=CloudChildProcess.Run")});
        ASSERT_TRUE(child.waitForStarted(10000));
    }

    // Waits for the child's line that starts with `prefix`; empty on a timeout.
    static QString waitForLine(QProcess &child, const QString &prefix, QString &seen)
    {
        QElapsedTimer timer;
        timer.start();
        while (timer.elapsed() < 20000) {
            while (child.canReadLine()) {
                const QString line = QString::fromUtf8(child.readLine()).trimmed();
                seen += line + QLatin1Char('\n');
                if (line.startsWith(QStringLiteral("child: ") + prefix))
                    return line.mid(7);
            }
            if (child.state() == QProcess::NotRunning && !child.canReadLine())
                return QString();
            child.waitForReadyRead(100);
        }
        return QString();
    }

    std::shared_ptr<FaultInjectingCloudService> m_service;
};

TEST_P(TwoProcesses, ASaveInOneProcessReachesTheOtherByAPushAndAFetch)
{
    Subscription zone{QStringLiteral("QDCloudKitPrivateZoneSubscription"), Subscription::Kind::RecordZone, DataZone,
                      QStringLiteral(""), true};
    ASSERT_TRUE(m_service->modifySubscriptions(DatabaseScope::Private, {zone}, {}).error.isNull());
    QProcess child;
    startChild(child, "listen");
    QString seen;
    ASSERT_FALSE(waitForLine(child, QStringLiteral("ready"), seen).isEmpty()) << seen.toStdString();

    Record record(QStringLiteral("Person"), RecordID(QStringLiteral("Person.FromParent"), DataZone));
    record.setValue(QStringLiteral("firstName"), QStringLiteral("Ada"));
    ModifyRecordsRequest request;
    request.recordsToSave = {record};
    ASSERT_TRUE(m_service->modifyRecords(request).error.isNull());

    EXPECT_EQ(waitForLine(child, QStringLiteral("push"), seen),
              QStringLiteral("push QDCloudKitPrivateZoneSubscription QDCloudKitPrivateZoneName"))
        << seen.toStdString();
    EXPECT_EQ(waitForLine(child, QStringLiteral("changes"), seen), QStringLiteral("changes Person.FromParent=Ada"))
        << seen.toStdString();
    ASSERT_TRUE(child.waitForFinished(20000));
    EXPECT_EQ(child.exitCode(), 0) << seen.toStdString();
}

TEST_P(TwoProcesses, ALongLivedOperationOutlivesTheClientThatStartedIt)
{
    // A client that finished its operation and went away: the result waits for the next client.
    QProcess finisher;
    startChild(finisher, "finish");
    QString seen;
    const QString finishedID = waitForLine(finisher, QStringLiteral("persisted"), seen).section(QLatin1Char(' '), 1);
    ASSERT_FALSE(finishedID.isEmpty()) << seen.toStdString();
    ASSERT_TRUE(finisher.waitForFinished(20000));
    QDError error;
    LongLivedOperation kept = m_service->longLivedOperation(finishedID, &error);
    ASSERT_TRUE(error.isNull()) << error.toString().toStdString();
    EXPECT_EQ(kept.state, LongLivedOperation::State::Finished);
    ASSERT_EQ(kept.modifyResult.savedRecords.size(), 1);
    ASSERT_TRUE(m_service->removeLongLivedOperation(finishedID, &error));

    // A client killed after the service kept its operation and before it ran: once its lease lapses,
    // another client runs it.
    QProcess crasher;
    startChild(crasher, "crash");
    const QString crashedID = waitForLine(crasher, QStringLiteral("persisted"), seen).section(QLatin1Char(' '), 1);
    ASSERT_FALSE(crashedID.isEmpty()) << seen.toStdString();
    ASSERT_TRUE(crasher.waitForFinished(20000));
    EXPECT_EQ(crasher.exitCode(), 3);
    EXPECT_TRUE(m_service->longLivedOperationIDs(&error).contains(crashedID));
    kept = m_service->longLivedOperation(crashedID, &error);
    EXPECT_NE(kept.state, LongLivedOperation::State::Finished);
    QThread::msleep(1200);
    EXPECT_EQ(m_service->longLivedOperation(crashedID, &error).state, LongLivedOperation::State::Pending);
    const ModifyRecordsResult resumed = m_service->resumeModifyRecords(crashedID);
    ASSERT_TRUE(resumed.error.isNull()) << resumed.error.toString().toStdString();
    ASSERT_EQ(resumed.savedRecords.size(), 1);
    EXPECT_EQ(m_service->longLivedOperation(crashedID, &error).state, LongLivedOperation::State::Finished);
    const RecordID crashedRecord(QStringLiteral("Person.LongLived-crash"), DataZone);
    const FetchRecordsResult fetched = m_service->fetchRecords(DatabaseScope::Private, {crashedRecord});
    ASSERT_EQ(fetched.records.size(), 1);
    EXPECT_EQ(fetched.records.first().value(QStringLiteral("firstName")).toString(), QStringLiteral("kept"));
}

INSTANTIATE_TEST_SUITE_P(Backings, TwoProcesses, ::testing::Values(Backing::SQLite, Backing::PostgreSQL), backingName);

} // namespace
} // namespace quendel::test
