#pragma once

#include "platform/core/QDError.h"

#include <QString>

#include <memory>

// The one place through which the kit tells the user something. The application installs its own
// (modal alerts on the main window); until then the default writes the alert to the log, so a failure
// is never silent.
class QDAlertDisplay
{
public:
    virtual ~QDAlertDisplay() = default;

    // The installed service, or the logging default.
    static std::shared_ptr<QDAlertDisplay> sharedAlert();
    // Installs the application's service; null goes back to the default.
    static void setSharedAlert(std::shared_ptr<QDAlertDisplay> alert);

    // Writes one error-level log line naming the failed step and the error; shows nothing.
    virtual void showCoreDataError(const QString &errorString, const platform::core::QDError &error);
    // A modal alert (main thread only); returns once the user dismissed it. Null texts show as empty.
    virtual void showAlertWithTitle(const QString &title, const QString &message);
};
