#pragma once

#include <QDateTime>
#include <QString>

// Dates in the user's locale and time zone, in the styles the settings texts use.
enum class SettingsDateStyle { Short, Medium };
QString settingsFormatDate(const QDateTime &when, SettingsDateStyle dateStyle);
