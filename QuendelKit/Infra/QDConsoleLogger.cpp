#include "QDConsoleLogger.h"

#include "SpdlogRecord.h"

#include <QCoreApplication>

#include <spdlog/sinks/stdout_color_sinks.h>
#include <spdlog/sinks/stdout_sinks.h>

namespace {

std::string prefixPattern()
{
    QString name = QCoreApplication::applicationName();
    if (name.isEmpty())
        name = QStringLiteral("Quendel");
    name.replace(QLatin1Char('%'), QStringLiteral("%%"));
    return "%Y-%m-%d %H:%M:%S.%e " + name.toStdString() + "[%P:%t] ";
}

} // namespace

std::shared_ptr<QDConsoleLogger> QDConsoleLogger::sharedInstance()
{
    static const std::shared_ptr<QDConsoleLogger> logger = std::make_shared<QDConsoleLogger>();
    return logger;
}

QDConsoleLogger::QDConsoleLogger()
{
    auto colored = std::make_shared<spdlog::sinks::stderr_color_sink_mt>(spdlog::color_mode::automatic);
    colored->set_pattern(prefixPattern() + "%^%v%$");
    m_sink = colored;
    m_plainSink = std::make_shared<spdlog::sinks::stderr_sink_mt>();
    m_plainSink->set_pattern(prefixPattern() + "%v");
}

QDConsoleLogger::~QDConsoleLogger() = default;

void QDConsoleLogger::setColorsEnabled(bool enabled)
{
    m_colorsEnabled = enabled;
}

void QDConsoleLogger::flush()
{
    m_sink->flush();
    m_plainSink->flush();
}

void QDConsoleLogger::writeLine(const QDLogMessage &message, const QString &line, bool)
{
    writeSpdlogRecord(message, line, [this](const spdlog::details::log_msg &record) {
        (m_colorsEnabled ? m_sink : m_plainSink)->log(record);
    });
}
