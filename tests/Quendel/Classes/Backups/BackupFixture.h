#pragma once

#include "Quendel/FreshHome.h"

#include "Classes/Backups/BackupFile.h"
#include "Classes/Backups/BackupInfo.h"
#include "Classes/CoreDataControllerShared.h"
#include "Mac/Shell/CoreDataControllerMac.h"
#include "SharedAppGlobals.h"

#include "QuendelKit/Settings/DataPlistValues.h"
#include "QuendelKit/Settings/SharedSettingController.h"

#include "platform/core/StandardPaths.h"
#include "platform/store/FetchRequest.h"
#include "platform/store/ManagedObject.h"
#include "platform/store/ManagedObjectContext.h"
#include "platform/store/SortDescriptor.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>

#include <gtest/gtest.h>

#include <memory>

namespace backup_test {

struct ToolRun
{
    int code = -1;
    QString out;
};

inline ToolRun run(const QString &program, const QStringList &arguments)
{
    QProcess process;
    process.start(program, arguments);
    process.waitForFinished(120000);
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
            QString::fromUtf8(process.readAllStandardOutput() + process.readAllStandardError())};
}

inline QStringList membersOf(const QString &archive)
{
    return run(QStringLiteral("unzip"), {QStringLiteral("-Z1"), archive}).out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

inline void writeFile(const QString &path, const QByteArray &bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

inline QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

inline QString attachmentsFolder()
{
    return SharedSettingController::sharedSettings().localFileAttachmentsDirectoryURL().toLocalFile();
}

inline QString picturesFolder()
{
    return SharedSettingController::sharedSettings().localPersonImagesDirectoryURL().toLocalFile();
}

inline QString documents()
{
    return platform::core::StandardPaths::documentsFolder();
}

// The program's store in the data folder, opened by the desktop controller as at launch.
class StoreOwner
{
public:
    StoreOwner()
    {
        controller = std::make_shared<CoreDataControllerMac>([] {});
        context = controller->managedObjectContext();
    }

    // A contact with one attachment (its file written) and, when asked, a picture.
    void addContact(const QString &first, const QString &last, const QString &attachment = {},
                    const QString &picture = {}, bool writeFiles = true)
    {
        context->performAndWait([&] {
            platform::store::ManagedObject *person = context->insertNewObject(QStringLiteral("Person"));
            person->setValue(QStringLiteral("firstName"), first);
            person->setValue(QStringLiteral("lastName"), last);
            person->setValue(QStringLiteral("displayName"), first + QLatin1Char(' ') + last);
            if (!attachment.isEmpty()) {
                platform::store::ManagedObject *file = context->insertNewObject(QStringLiteral("FileAttachments"));
                file->setValue(QStringLiteral("fileName"), attachment);
                file->setRelatedObject(QStringLiteral("person"), person);
            }
            if (!picture.isEmpty()) {
                platform::store::ManagedObject *image = context->insertNewObject(QStringLiteral("Images"));
                image->setValue(QStringLiteral("fullImageFileName"), picture);
                image->setRelatedObject(QStringLiteral("person"), person);
            }
            platform::core::QDError error;
            EXPECT_TRUE(context->save(&error)) << error.toString().toStdString();
        });
        if (writeFiles && !attachment.isEmpty())
            writeFile(QDir(attachmentsFolder()).filePath(attachment), "attachment " + attachment.toUtf8());
        if (writeFiles && !picture.isEmpty())
            writeFile(QDir(picturesFolder()).filePath(picture), "picture " + picture.toUtf8());
    }

    QStringList contactNames()
    {
        QStringList names;
        context->performAndWait([&] {
            platform::store::FetchRequest request(QStringLiteral("Person"));
            request.setSortDescriptors({platform::store::SortDescriptor(QStringLiteral("displayName"))});
            for (platform::store::ManagedObject *person : context->executeFetchRequest(request))
                names << person->value(QStringLiteral("displayName")).toString();
        });
        return names;
    }

    std::shared_ptr<CoreDataControllerMac> controller;
    platform::store::ContextPtr context;
};

class BackupTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        qunsetenv("isUITest");
        quendel::test::startWithEmptyHome();
    }
};

} // namespace backup_test
