#include "Settings/QuendelVersion.h"

#include <QCoreApplication>
#include <QVariant>

namespace QuendelVersion {

QString shortVersion()
{
    return QStringLiteral(QUENDEL_VERSION);
}

QString buildNumber()
{
    return QStringLiteral(QUENDEL_BUILD_NUMBER);
}

void applyToApplication()
{
    QCoreApplication::setApplicationVersion(shortVersion());
    if (QCoreApplication *application = QCoreApplication::instance())
        application->setProperty("buildNumber", buildNumber());
}

} // namespace QuendelVersion
