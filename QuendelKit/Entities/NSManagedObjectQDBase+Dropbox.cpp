#include "QuendelKit/Entities/NSManagedObjectQDBase.h"
#include "QuendelKit/Infra/QDLog.h"
#include "QuendelKit/Settings/SharedSettingController.h"

#include <QFileInfo>

void NSManagedObjectQDBase::saveNewFileURLPathToDropboxPlist(const QString &path)
{
    SharedSettingController::sharedSettings().changeDropboxList([&](QVariantMap &list) {
        QVariantList files = list.value(NewFilesKey).toList();
        files.append(path);
        list.insert(NewFilesKey, files);
        return true;
    });
}

void NSManagedObjectQDBase::saveFileToDeleteInDropboxPlist(const QString &path)
{
    const QString name = QFileInfo(path).fileName();
    SharedSettingController::sharedSettings().changeDropboxList([&](QVariantMap &list) {
        QVariantList files = list.value(NewFilesKey).toList();
        const qsizetype before = files.size();
        files.removeIf([&](const QVariant &entry) {
            const QString text = entry.toString();
            return text == path || text == name;
        });
        if (files.size() != before) {
            list.insert(NewFilesKey, files);
            QDLogInfo(QStringLiteral("saveDeletedFileToPlist: deleting file from newfiles list"));
            return true;
        }
        QVariantList deleted = list.value(DeletedFilesKey).toList();
        deleted.append(name);
        list.insert(DeletedFilesKey, deleted);
        QDLogInfo(QStringLiteral("saveDeletedFileToPlist: adding file to deletedFiles list"));
        return true;
    });
}

void NSManagedObjectQDBase::saveRenamedFileToDropboxPlist(const QString &oldName, const QString &newName)
{
    SharedSettingController::sharedSettings().changeDropboxList([&](QVariantMap &list) {
        QVariantList files = list.value(NewFilesKey).toList();
        for (QVariant &entry : files) {
            if (entry.toString().contains(oldName)) {
                entry = newName;
                list.insert(NewFilesKey, files);
                return true;
            }
        }
        QVariantList renamed = list.value(RenamedFilesKey).toList();
        bool matched = false;
        for (QVariant &entry : renamed) {
            QVariantMap pair = entry.toMap();
            if (pair.value(NewNameKey).toString() == oldName) {
                pair.insert(NewNameKey, newName);
                entry = pair;
                matched = true;
            }
        }
        if (!matched)
            renamed.append(QVariantMap{{OriginalNameKey, oldName}, {NewNameKey, newName}});
        list.insert(RenamedFilesKey, renamed);
        return true;
    });
}
