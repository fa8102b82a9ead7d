#include "Settings/SettingsServices.h"

#include "Settings/QuendelVersion.h"

#include "Settings/DataPlistValues.h"
#include "Settings/SharedSettingController.h"

#include "platform/core/UserDefaults.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QSysInfo>
#include <QVersionNumber>

QString SettingsEnvironment::hostName() const
{
    return QSysInfo::machineHostName();
}

QString SettingsEnvironment::hardwareModel() const
{
    // The firmware names the machine on most PCs; virtual machines and boards may not.
    for (const char *path : {"/sys/devices/virtual/dmi/id/product_name", "/sys/firmware/devicetree/base/model"}) {
        QFile f(QString::fromLatin1(path));
        if (f.open(QIODevice::ReadOnly)) {
            const QString model = QString::fromUtf8(f.readAll()).remove(QChar(0)).trimmed();
            if (!model.isEmpty())
                return model;
        }
    }
    return QSysInfo::currentCpuArchitecture();
}

QString SettingsEnvironment::operatingSystemVersion() const
{
    QVersionNumber v = QVersionNumber::fromString(QSysInfo::productVersion());
    if (v.isNull())
        v = QVersionNumber::fromString(QSysInfo::kernelVersion());
    return QStringLiteral("%1.%2.%3").arg(v.majorVersion()).arg(v.minorVersion()).arg(v.microVersion());
}

QString SettingsEnvironment::bundleDisplayName() const
{
    if (qobject_cast<QGuiApplication *>(QCoreApplication::instance()))
        return QGuiApplication::applicationDisplayName();
    return QCoreApplication::applicationName();
}

QString SettingsEnvironment::bundleShortVersion() const
{
    const QString version = QCoreApplication::applicationVersion();
    return version.isEmpty() ? QuendelVersion::shortVersion() : version;
}

QString SettingsEnvironment::bundleVersion() const
{
    return QuendelVersion::buildNumber();
}

QString SettingsEnvironment::ubiquityContainerPath(const QString &identifier) const
{
    const QString chosen =
        platform::core::UserDefaults::standardUserDefaults()->stringForKey(ContainerFolderDefaultsKey);
    if (!chosen.isEmpty())
        return QDir::cleanPath(chosen);
    if (identifier.isEmpty() || identifier.contains(QLatin1Char('/')) || identifier.startsWith(QLatin1Char('.')))
        return QString();
    const QString data = SharedSettingController::sharedSettings().applicationSupportPath();
    return data.isEmpty() ? QString() : QDir(data).filePath(identifier);
}

void SettingsEnvironment::setUbiquityContainerFolder(const QString &path)
{
    auto defaults = platform::core::UserDefaults::standardUserDefaults();
    if (path.isEmpty())
        defaults->removeObjectForKey(ContainerFolderDefaultsKey);
    else
        defaults->setObject(QDir::cleanPath(path), ContainerFolderDefaultsKey);
}

void SettingsContactsBridge::initDeDupeMatchingIDs()
{
    dedupeMatchingIDs().clear();
}

qint64 getDefaultContactsSortOrdering()
{
    return 0;
}

qint64 getDefaultNameDisplayOrdering()
{
    return SharedSettingController::environment()->addressBookFirstNameFirst() ? 0 : 1;
}
