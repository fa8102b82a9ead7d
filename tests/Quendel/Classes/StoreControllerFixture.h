#pragma once

#include "Classes/CoreDataControllerShared.h"
#include "Classes/DefaultTitles.h"
#include "Mac/Shell/CoreDataControllerMac.h"

#include "QuendelKit/Entities/LogTitle.h"
#include "QuendelKit/Entities/ToDoTitle.h"
#include "QuendelKit/Settings/DataPlistValues.h"
#include "QuendelKit/Settings/QDAlertDisplay.h"
#include "QuendelKit/Settings/SharedSettingController.h"

#include "platform/core/StandardPaths.h"
#include "platform/store/FetchRequest.h"
#include "platform/store/ManagedObjectContext.h"
#include "platform/store/SortDescriptor.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <gtest/gtest.h>

#include <memory>
#include <utility>
#include <vector>

namespace store_controller_test {

// Keeps what the program would have shown the user.
class RecordingAlert : public QDAlertDisplay
{
public:
    void showCoreDataError(const QString &errorString, const platform::core::QDError &error) override
    {
        coreDataErrors.emplace_back(errorString, error);
    }
    void showAlertWithTitle(const QString &title, const QString &message) override
    {
        alerts.emplace_back(title, message);
    }

    std::vector<std::pair<QString, platform::core::QDError>> coreDataErrors;
    std::vector<std::pair<QString, QString>> alerts;
};

// The desktop controller with the program's exit replaced by a count, so a test process survives it.
class TestController : public CoreDataControllerMac
{
public:
    using CoreDataControllerMac::CoreDataControllerMac;

    int quitRequests = 0;

protected:
    void quitAfterUnopenableStore() override { ++quitRequests; }
};

inline QString dataFolder()
{
    return platform::core::StandardPaths::dataFolder();
}

inline QString storePath()
{
    return QDir(dataFolder()).filePath(CoreDataControllerShared::LocalStoreFileName);
}

inline QByteArray fileDigest(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QCryptographicHash::hash(file.readAll(), QCryptographicHash::Sha256);
}

// How many records of an entity the context's store and unsaved changes hold.
inline qint64 countOf(const platform::store::ContextPtr &context, const QString &entityName)
{
    qint64 count = -1;
    context->performAndWait([&] { count = context->countForFetchRequest(platform::store::FetchRequest(entityName)); });
    return count;
}

template <typename Title> QStringList titlesInOrder(const platform::store::ContextPtr &context)
{
    QStringList titles;
    context->performAndWait([&] {
        platform::store::FetchRequest request = Title::fetchRequest();
        request.setSortDescriptors({platform::store::SortDescriptor(QStringLiteral("displayOrder"))});
        qint64 expectedOrder = 0;
        for (platform::store::ManagedObject *object : context->executeFetchRequest(request)) {
            auto *title = dynamic_cast<Title *>(object);
            EXPECT_NE(title, nullptr);
            if (!title)
                continue;
            EXPECT_EQ(title->displayOrder(), expectedOrder++);
            titles << title->title();
        }
    });
    return titles;
}

// Every test starts as a first launch: no store file, no one-time flags, no test environment, and an alert
// service that records.
class StoreControllerTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        qunsetenv("isUITest");
        SharedSettingController::sharedSettings();
        const QDir folder(dataFolder());
        for (const QString &name : folder.entryList(QDir::Files | QDir::Dirs | QDir::Hidden | QDir::NoDotAndDotDot)) {
            if (name.startsWith(CoreDataControllerShared::LocalStoreFileName) ||
                name.startsWith(QStringLiteral("SetAside-"))) {
                const QString path = folder.filePath(name);
                if (QFileInfo(path).isDir())
                    QDir(path).removeRecursively();
                else
                    QFile::remove(path);
            }
        }
        dataPlistValues().remove(CoreDataControllerShared::OneTimeAddToTitlesKey);
        dataPlistValues().remove(QStringLiteral("use_icloud"));
        alert = std::make_shared<RecordingAlert>();
        QDAlertDisplay::setSharedAlert(alert);
    }

    void TearDown() override
    {
        QDAlertDisplay::setSharedAlert(nullptr);
        qunsetenv("isUITest");
    }

    std::shared_ptr<RecordingAlert> alert;
};

} // namespace store_controller_test
