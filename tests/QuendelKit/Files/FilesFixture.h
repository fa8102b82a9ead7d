#pragma once

#include "QuendelKit/Entities/EntityStoreFixture.h"

#include "QuendelKit/Settings/DataPlistValues.h"
#include "QuendelKit/Settings/SharedSettingController.h"

#include "platform/core/PropertyList.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

namespace quendel::test {

// A store with one contact, empty attachment and picture folders, an empty Dropbox change list, and neither
// the older shared store nor the Dropbox sync switched on.
class FilesTest : public EntityStoreTest
{
protected:
    void SetUp() override
    {
        EntityStoreTest::SetUp();
        SharedSettingController &settings = SharedSettingController::sharedSettings();
        settings.initAttachmentsDirectory();
        settings.setIsDropboxEnabled(false);
        dataPlistValues().replace({});
        for (const QString &folder : {attachmentsFolder(), picturesFolder()}) {
            QDir(folder).removeRecursively();
            QDir().mkpath(folder);
        }
        ASSERT_FALSE(settings.dropboxFile().isEmpty());
        platform::core::PropertyList::writeFile(QVariantMap(), settings.dropboxFile());
        ASSERT_TRUE(sources.isValid());
        person = insert<Person>();
        person->setFirstName(QStringLiteral("Ann"));
        save(context);
    }

    void TearDown() override
    {
        SharedSettingController::sharedSettings().setIsDropboxEnabled(false);
        dataPlistValues().replace({});
        EntityStoreTest::TearDown();
    }

    static QString attachmentsFolder()
    {
        return SharedSettingController::sharedSettings().localFileAttachmentsDirectoryURL().toLocalFile();
    }
    static QString picturesFolder()
    {
        return SharedSettingController::sharedSettings().localPersonImagesDirectoryURL().toLocalFile();
    }
    static QString dataFolder() { return SharedSettingController::sharedSettings().applicationSupportPath(); }

    static QStringList attachmentFiles()
    {
        return QDir(attachmentsFolder()).entryList(QDir::Files | QDir::Hidden, QDir::Name);
    }

    static QVariantMap dropboxList()
    {
        return platform::core::PropertyList::readDictionaryFile(SharedSettingController::sharedSettings().dropboxFile())
            .value_or(QVariantMap());
    }

    static void writeFile(const QString &path, const QByteArray &bytes)
    {
        QDir().mkpath(QFileInfo(path).absolutePath());
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate)) << path.toStdString();
        file.write(bytes);
    }

    static QByteArray readFile(const QString &path)
    {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    // A file the user picks, in a folder outside the data folder.
    QString source(const QString &name, const QByteArray &bytes)
    {
        const QString path = sources.filePath(name);
        writeFile(path, bytes);
        return path;
    }

    QTemporaryDir sources;
    Person *person = nullptr;
};

} // namespace quendel::test
