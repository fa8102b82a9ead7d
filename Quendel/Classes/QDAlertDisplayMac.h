#pragma once

#include "QuendelKit/Settings/QDAlertDisplay.h"

#include "platform/ui/AlertPresenter.h"

#include <functional>
#include <memory>

class QWidget;

// The application's alert service: what the kit and the application must tell the user, as alerts of
// the application's alert presenter (so tests can answer them ahead). Installed as the kit's alert
// service at launch; every call builds a new alert, nothing is queued or merged.
class QDAlertDisplayMac : public QDAlertDisplay
{
public:
    // The one instance (made on first use, safe from any thread).
    static std::shared_ptr<QDAlertDisplayMac> sharedAlert();
    // Makes it the kit's alert service as well.
    static void install();

    // Application-modal alert with one default button; returns once it was dismissed. Null texts show
    // as empty. Called off the main thread it waits for the main thread to show it.
    void showAlertWithTitle(const QString &title, const QString &message) override;
    // The same alert as a sheet on `window`; returns at once.
    void showAlertWithTitle(const QString &title, const QString &message, QWidget *window);
    // The same modal alert; `delegate` gets the answer once it was dismissed.
    void showAlertWithTitle(const QString &title, const QString &message,
                            const std::function<void(const platform::ui::AlertResult &)> &delegate);
    // Title "Error" over the error's description.
    void showAlertWithError(const platform::core::QDError &error);
    // Shows nothing; one error-level log line.
    void showCoreDataError(const QString &errorString, const platform::core::QDError &error) override;

    static platform::ui::AlertSpec alertSpec(const QString &title, const QString &message);
};
