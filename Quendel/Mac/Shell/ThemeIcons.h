#pragma once

#include <QIcon>
#include <QString>

class QAbstractButton;

// The pictures of the sidebar, the toolbar and the buttons come from the desktop's icon theme, by their
// standard freedesktop names. A desktop that names no theme gets the one the program is installed with.
namespace ThemeIcons {

inline const QString InstalledThemeName = QStringLiteral("breeze");

// Makes the installed theme the one to look in when the desktop sets none, and the fallback of any other.
void installFallbackTheme();

// The theme's icon of a standard name (null when the theme has none).
QIcon icon(const QString &standardName);

// The standard icon name that stands for one of the program's image names ("Contacts-sidebar",
// "Logs-tab-all", ...); empty for a name it does not know.
QString standardNameForImage(const QString &imageName);
QIcon iconForImage(const QString &imageName);

// A button that shows a picture with its label under it (a tool button) or the picture alone.
void setPicture(QAbstractButton *button, const QString &standardName, int size = 24);

} // namespace ThemeIcons
