#pragma once

#include "Settings/SharedSettingController.h"
#include "support/TempHome.h"

#include "platform/core/Clock.h"
#include "platform/core/PropertyList.h"
#include "platform/core/UserDefaults.h"
#include "platform/kvstore/KeyValueStore.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QThread>
#include <gtest/gtest.h>

#include <mutex>

namespace settings_test {

struct RecordedAlert
{
    QString title;
    QString message;
};

// Keeps what the kit wanted to show, instead of showing it.
class RecordingAlert : public QDAlertDisplay
{
public:
    void showCoreDataError(const QString &errorString, const platform::core::QDError &error) override {}
    void showAlertWithTitle(const QString &title, const QString &message) override
    {
        std::lock_guard lock(mutex);
        alerts.push_back({title, message});
    }
    std::vector<RecordedAlert> all()
    {
        std::lock_guard lock(mutex);
        return alerts;
    }
    std::mutex mutex;
    std::vector<RecordedAlert> alerts;
};

class ForegroundDelegate : public SharedSettingsDelegate
{
public:
    std::optional<bool> isApplicationBackgroundState() override { return false; }
};

class FakeEnvironment : public SettingsEnvironment
{
public:
    QString bundleDisplayName() const override { return displayName; }
    QString bundleShortVersion() const override { return version; }
    QString ubiquityContainerPath(const QString &identifier) const override { return container; }
    bool addressBookFirstNameFirst() const override { return firstNameFirst; }

    QString displayName = QStringLiteral("Quendel");
    QString version = QStringLiteral("5.1");
    QString container;
    bool firstNameFirst = true;
};

class FakeContacts : public SettingsContactsBridge
{
public:
    std::shared_ptr<QObject> makeContactStore() override
    {
        calls << QStringLiteral("makeContactStore");
        return std::make_shared<QObject>();
    }
    qint64 addressBookPeopleCount() override
    {
        calls << QStringLiteral("addressBookPeopleCount");
        return peopleCount;
    }
    QList<QPair<quint64, QString>> contactStoreHashes() override
    {
        if (scanHook)
            scanHook();
        return hashes;
    }
    QList<QPair<quint64, QString>> addressBookHashes() override { return hashes; }
    QVariant fetchContact(QObject *store, const QString &identifier) override
    {
        return store ? QVariant(QStringLiteral("contact:") + identifier) : QVariant();
    }
    QVariantList addressBookPeopleWithUniqueID(const QString &uniqueID) override
    {
        return people.value(uniqueID.toUpper());
    }
    void initDeDupeMatchingIDs() override
    {
        calls << QStringLiteral("initDeDupeMatchingIDs");
        SettingsContactsBridge::initDeDupeMatchingIDs();
    }

    qint64 peopleCount = 7;
    QList<QPair<quint64, QString>> hashes;
    QHash<QString, QVariantList> people;
    std::function<void()> scanHook;
    QStringList calls;
};

// A private home, user defaults, shared store, clock and services for every test.
class SettingsTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        qunsetenv("isUITest");
        home = std::make_unique<quendel::test::TempHome>();
        platform::core::UserDefaults::setStandardUserDefaults(nullptr);
        platform::kvstore::KeyValueStore::setDefaultFolder(home->path() + QStringLiteral("/SyncedFolder"));
        platform::kvstore::KeyValueStore::resetDefaultStore();
        alert = std::make_shared<RecordingAlert>();
        QDAlertDisplay::setSharedAlert(alert);
        env = std::make_shared<FakeEnvironment>();
        SharedSettingController::setEnvironment(env);
        contacts = std::make_shared<FakeContacts>();
        SharedSettingController::setContactsBridge(contacts);
        clock = std::make_shared<platform::core::ManualClock>(QDateTime(QDate(2026, 3, 1), QTime(12, 0), Qt::UTC));
        platform::core::Clock::setCurrent(clock);
        dataPlistValues().replace({});
    }

    void TearDown() override
    {
        qunsetenv("isUITest");
        platform::core::Clock::setCurrent(nullptr);
        QDAlertDisplay::setSharedAlert(nullptr);
        SharedSettingController::setEnvironment(nullptr);
        SharedSettingController::setContactsBridge(nullptr);
        platform::kvstore::KeyValueStore::resetDefaultStore();
        platform::kvstore::KeyValueStore::setDefaultFolder(QString());
        platform::core::UserDefaults::setStandardUserDefaults(nullptr);
        home.reset();
    }

    QString dataFolder() const { return home->dataHome() + QStringLiteral("/com.quendel.QuendelMac"); }
    QString dataFile(const QString &name) const { return dataFolder() + QLatin1Char('/') + name; }

    void writeDataPlist(const QVariantMap &values)
    {
        QDir().mkpath(dataFolder());
        ASSERT_TRUE(platform::core::PropertyList::writeFile(values, dataFile(QStringLiteral("data.plist"))));
    }
    QVariantMap readDataPlistFile() const
    {
        return platform::core::PropertyList::readDictionaryFile(dataFile(QStringLiteral("data.plist")))
            .value_or(QVariantMap());
    }
    std::shared_ptr<platform::kvstore::KeyValueStore> kvs() const
    {
        return platform::kvstore::KeyValueStore::defaultStore();
    }
    std::shared_ptr<platform::core::UserDefaults> defaults() const
    {
        return platform::core::UserDefaults::standardUserDefaults();
    }
    static void pumpEvents(int ms = 50)
    {
        QElapsedTimer t;
        t.start();
        while (t.elapsed() < ms) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
            QThread::msleep(2);
        }
    }

    std::unique_ptr<quendel::test::TempHome> home;
    std::shared_ptr<RecordingAlert> alert;
    std::shared_ptr<FakeEnvironment> env;
    std::shared_ptr<FakeContacts> contacts;
    std::shared_ptr<platform::core::ManualClock> clock;
};

} // namespace settings_test
