#include "Mac/Shell/ThemeIcons.h"

#include <QAbstractButton>
#include <QHash>
#include <QToolButton>

namespace ThemeIcons {

void installFallbackTheme()
{
    // The generic desktop answers "hicolor", which holds almost no action or place icons.
    const QString current = QIcon::themeName();
    if (current.isEmpty() || current == QLatin1String("hicolor"))
        QIcon::setThemeName(InstalledThemeName);
    if (QIcon::fallbackThemeName().isEmpty() || QIcon::fallbackThemeName() == QLatin1String("hicolor"))
        QIcon::setFallbackThemeName(InstalledThemeName);
}

QIcon icon(const QString &standardName)
{
    if (standardName.isEmpty())
        return {};
    return QIcon::fromTheme(standardName);
}

QString standardNameForImage(const QString &imageName)
{
    static const QHash<QString, QString> names = {
        {QStringLiteral("Contacts-sidebar"), QStringLiteral("x-office-address-book")},
        {QStringLiteral("Logs-sidebar"), QStringLiteral("x-office-document")},
        {QStringLiteral("Todos-sidebar"), QStringLiteral("office-calendar")},
        {QStringLiteral("Files-sidebar"), QStringLiteral("folder")},
        {QStringLiteral("Maps-sidebar"), QStringLiteral("applications-internet")},
        {QStringLiteral("Logs-tab-all"), QStringLiteral("x-office-document")},
        {QStringLiteral("Todo-tab-all"), QStringLiteral("view-calendar-tasks")},
        {QStringLiteral("Files-tab-all"), QStringLiteral("folder")},
        {QStringLiteral("Fields-tab-all"), QStringLiteral("x-office-spreadsheet")},
        {QStringLiteral("Info-tab-all"), QStringLiteral("dialog-information")},
    };
    return names.value(imageName);
}

QIcon iconForImage(const QString &imageName)
{
    return icon(standardNameForImage(imageName));
}

void setPicture(QAbstractButton *button, const QString &standardName, int size)
{
    if (!button)
        return;
    button->setIcon(icon(standardName));
    button->setIconSize(QSize(size, size));
    if (auto *tool = qobject_cast<QToolButton *>(button))
        tool->setToolButtonStyle(tool->text().isEmpty() ? Qt::ToolButtonIconOnly : Qt::ToolButtonTextUnderIcon);
}

} // namespace ThemeIcons
