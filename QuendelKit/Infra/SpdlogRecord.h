#pragma once

#include "QDLog.h"

#include <QByteArray>
#include <QString>

#include <spdlog/details/log_msg.h>

#include <chrono>

// What the loggers built on spdlog share: a formatted line becomes one spdlog record that keeps the message's
// own time, level and thread, so every sink stamps the line as it was logged, not as it was written.

inline spdlog::level::level_enum spdlogLevelForFlag(int flag)
{
    switch (flag) {
    case QDLogFlagError:
        return spdlog::level::err;
    case QDLogFlagWarning:
        return spdlog::level::warn;
    case QDLogFlagInfo:
        return spdlog::level::info;
    case QDLogFlagDebug:
        return spdlog::level::debug;
    default:
        return spdlog::level::trace;
    }
}

// Calls write with the record of one line; the record points into text that lives only for the call.
template <typename Write> void writeSpdlogRecord(const QDLogMessage &message, const QString &line, Write &&write)
{
    const QByteArray text = line.toUtf8();
    spdlog::details::log_msg record(
        spdlog::log_clock::time_point(std::chrono::milliseconds(message.timestamp.toMSecsSinceEpoch())),
        spdlog::source_loc{}, "", spdlogLevelForFlag(message.flag),
        spdlog::string_view_t(text.constData(), size_t(text.size())));
    record.thread_id = message.threadId;
    write(record);
}
