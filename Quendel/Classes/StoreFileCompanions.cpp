#include "StoreFileCompanions.h"

#include "QuendelKit/Infra/QDLog.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

using platform::core::QDError;
using platform::core::setError;

namespace StoreFileCompanions {

QStringList existingCompanions(const QString &storePath)
{
    QStringList found;
    for (const QString &suffix : Suffixes) {
        const QString path = storePath + suffix;
        if (QFileInfo::exists(path))
            found << path;
    }
    return found;
}

bool setAsideOrphanedCompanions(const QString &storePath, QStringList *movedTo, QDError *error, const QDateTime &now)
{
    if (movedTo)
        movedTo->clear();
    if (QFileInfo::exists(storePath))
        return true;
    const QStringList companions = existingCompanions(storePath);
    const QString stamp = now.toUTC().toString(QStringLiteral("yyyyMMdd-HHmmss"));
    for (const QString &companion : companions) {
        const QFileInfo info(companion);
        const QDir folder = info.dir();
        const QString baseName = SetAsidePrefix + stamp + QLatin1Char('-') + info.fileName();
        QString target = folder.filePath(baseName);
        for (int n = 2; QFileInfo::exists(target); ++n)
            target = folder.filePath(SetAsidePrefix + stamp + QLatin1Char('-') + QString::number(n) + QLatin1Char('-') +
                                     info.fileName());
        QFile file(companion);
        if (!file.rename(target)) {
            QDError failure = QDError::withDescription(
                QuendelErrorDomain, SetAsideFailedErrorCode,
                QStringLiteral("The leftover file \"%1\" of an earlier store cannot be moved aside: %2")
                    .arg(info.fileName(), file.errorString()));
            failure.setUserInfoValue(QDError::FilePathKey, companion);
            QDLogError(QStringLiteral("🚨🚨 CDC: %1 🚨🚨").arg(failure.localizedDescription()));
            return setError(error, failure);
        }
        QDLogInfo(QStringLiteral("CDC: moved the leftover \"%1\" of a missing store file aside to \"%2\"")
                      .arg(info.fileName(), QFileInfo(target).fileName()));
        if (movedTo)
            movedTo->append(target);
    }
    return true;
}

} // namespace StoreFileCompanions
