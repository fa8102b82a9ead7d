#pragma once

#include "QDLog.h"

namespace spdlog::sinks {
class sink;
}

// Lines on standard error, coloured by level when it is a terminal:
// "yyyy-MM-dd HH:mm:ss.zzz <application>[<process>:<thread>] text".
class QDConsoleLogger : public QDLogger
{
public:
    // The one console logger of the process.
    static std::shared_ptr<QDConsoleLogger> sharedInstance();

    QDConsoleLogger();
    ~QDConsoleLogger() override;

    bool colorsEnabled() const { return m_colorsEnabled; }
    void setColorsEnabled(bool enabled);
    void flush() override;

protected:
    void writeLine(const QDLogMessage &message, const QString &line, bool formatted) override;

private:
    std::shared_ptr<spdlog::sinks::sink> m_sink;
    std::shared_ptr<spdlog::sinks::sink> m_plainSink;
    std::atomic<bool> m_colorsEnabled{false};
};
