#pragma once

#include <QString>

// The program's version, from the project's version in the build: the short version ("1.0.0", shown to the
// user and kept in the device list as "QDVersion") and the build number (in backup names and the launch
// log; the short version unless the build sets its own).
namespace QuendelVersion {

QString shortVersion();
QString buildNumber();
// Gives the running application its name's version, so every part that asks the application agrees.
void applyToApplication();

} // namespace QuendelVersion
