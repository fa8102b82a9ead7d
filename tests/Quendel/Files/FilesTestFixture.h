#pragma once

#include "Quendel/FreshHome.h"
#include "Quendel/Journal/JournalFixture.h"

#include "QuendelKit/Entities/FileAttachments.h"
#include "QuendelKit/Settings/SharedSettingController.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

namespace files_test {

// A store with two contacts in an empty home, and a folder of the user's own files to drop from.
class FilesPaneTest : public journal_test::JournalStoreTest
{
protected:
    void SetUp() override
    {
        quendel::test::startWithEmptyHome();
        platform::ui::AlertPresenter::shared().setBlockingForbidden(true);
        journal_test::JournalStoreTest::SetUp();
        ASSERT_TRUE(sources.isValid());
    }

    QString source(const QString &name, const QByteArray &bytes)
    {
        const QString path = sources.filePath(name);
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly)) << path.toStdString();
        file.write(bytes);
        return path;
    }

    static QByteArray readFile(const QString &path)
    {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    // The files of the attachments folder.
    static QStringList storedFiles()
    {
        const QString folder =
            SharedSettingController::sharedSettings().localFileAttachmentsDirectoryURL().toLocalFile();
        return QDir(folder).entryList(QDir::Files | QDir::Hidden);
    }

    // A contact's files by the names the user sees, oldest first.
    static QStringList shownNames(Person *person)
    {
        QList<FileAttachments *> files = person->attachments();
        std::sort(files.begin(), files.end(), [](FileAttachments *a, FileAttachments *b) {
            return a->createdAt() < b->createdAt();
        });
        QStringList names;
        for (FileAttachments *file : files)
            names << file->fileCheckName();
        return names;
    }

    static QByteArray contentOf(FileAttachments *file) { return readFile(file->fullFileURL().toLocalFile()); }

    static FileAttachments *fileNamed(Person *person, const QString &name)
    {
        for (FileAttachments *file : person->attachments())
            if (file->fileCheckName() == name)
                return file;
        return nullptr;
    }

    QTemporaryDir sources;
};

} // namespace files_test
