#include "Classes/QDAlertDisplayMac.h"

#include "platform/core/Dispatch.h"

using platform::ui::AlertPresenter;
using platform::ui::AlertResult;
using platform::ui::AlertSpec;

std::shared_ptr<QDAlertDisplayMac> QDAlertDisplayMac::sharedAlert()
{
    static const std::shared_ptr<QDAlertDisplayMac> alert = std::make_shared<QDAlertDisplayMac>();
    return alert;
}

void QDAlertDisplayMac::install()
{
    QDAlertDisplay::setSharedAlert(sharedAlert());
}

AlertSpec QDAlertDisplayMac::alertSpec(const QString &title, const QString &message)
{
    AlertSpec spec;
    spec.messageText = title.isNull() ? QStringLiteral("") : title;
    spec.informativeText = message.isNull() ? QStringLiteral("") : message;
    return spec;
}

void QDAlertDisplayMac::showAlertWithTitle(const QString &title, const QString &message)
{
    const AlertSpec spec = alertSpec(title, message);
    platform::core::dispatchSyncMain([&spec] { AlertPresenter::shared().runModalBlocking(spec); });
}

void QDAlertDisplayMac::showAlertWithTitle(const QString &title, const QString &message, QWidget *window)
{
    const AlertSpec spec = alertSpec(title, message);
    platform::core::dispatchSyncMain([&spec, window] { AlertPresenter::shared().beginSheet(spec, window); });
}

void QDAlertDisplayMac::showAlertWithTitle(const QString &title, const QString &message,
                                           const std::function<void(const AlertResult &)> &delegate)
{
    const AlertSpec spec = alertSpec(title, message);
    AlertResult result;
    platform::core::dispatchSyncMain([&spec, &result] { result = AlertPresenter::shared().runModalBlocking(spec); });
    if (delegate)
        delegate(result);
}

void QDAlertDisplayMac::showAlertWithError(const platform::core::QDError &error)
{
    // A description given as empty stays empty; only a missing one gets the general text.
    const QVariantMap info = error.userInfo();
    const QString message = info.contains(platform::core::QDError::LocalizedDescriptionKey)
                                ? info.value(platform::core::QDError::LocalizedDescriptionKey).toString()
                                : error.localizedDescription();
    showAlertWithTitle(QStringLiteral("Error"), message);
}

void QDAlertDisplayMac::showCoreDataError(const QString &errorString, const platform::core::QDError &error)
{
    QDAlertDisplay::showCoreDataError(errorString, error);
}
