#include "Classes/PasscodeLock.h"

#include "QuendelKit/Infra/QDLog.h"
#include "QuendelKit/Infra/QDSSKeychain.h"
#include "QuendelKit/Settings/DataPlistValues.h"
#include "QuendelKit/Settings/PasscodeLaunchCheck.h"
#include "QuendelKit/Settings/SharedSettingController.h"

#include "platform/core/UserDefaults.h"

using platform::core::QDError;
using platform::core::UserDefaults;

namespace PasscodeLock {

namespace {

// The launch keeps a flag of whether the lock is on, so that a keychain it cannot read keeps the program
// locked; every change of the passcode keeps it in step.
void recordLockOn(bool on)
{
    DataPlistValues &plist = dataPlistValues();
    if (plist.contains(PasscodeLaunchCheck::PinEnabledKey) && plist.boolValue(PasscodeLaunchCheck::PinEnabledKey) == on)
        return;
    plist.setValue(PasscodeLaunchCheck::PinEnabledKey, on);
    SharedSettingController::sharedSettings().saveDataPlist();
}

} // namespace

QList<qint64> supportedTimeValues()
{
    return {0, 60, 120, 300, 900};
}

QStringList supportedTimeStrings()
{
    return {QStringLiteral("Immediately"), QStringLiteral("After 1 minute"), QStringLiteral("After 2 minutes"),
            QStringLiteral("After 5 minutes"), QStringLiteral("After 15 minutes")};
}

int indexOfInterval(const QVariant &stored)
{
    if (!stored.isValid() || stored.isNull())
        return 0;
    bool ok = false;
    const qint64 value = stored.toLongLong(&ok);
    if (!ok)
        return -1;
    if (value == 0)
        return 0;
    return int(supportedTimeValues().indexOf(value));
}

bool requiresPasscode(bool passwordExists, qint64 intervalSeconds, const QDateTime &enteredBackground,
                      const QDateTime &now)
{
    if (!passwordExists)
        return false;
    const qint64 backgroundMs = enteredBackground.isValid() ? enteredBackground.toMSecsSinceEpoch() : 0;
    // A negative interval is no interval: the lock never waits longer than asked.
    const qint64 intervalMs = qMax<qint64>(0, intervalSeconds) * 1000;
    return now.toMSecsSinceEpoch() > backgroundMs + intervalMs;
}

Entry EntryCheck::check(const QString &typed, const QString &stored)
{
    if (!stored.isNull() && typed == stored)
        return Entry::Accepted;
    ++m_retryCount;
    return Entry::Rejected;
}

CreateResult createPasscode(const QString &first, const QString &second, const QString &hint)
{
    CreateResult result;
    result.errorTitle = QStringLiteral("Passcode not saved");
    if (first.isEmpty() || second.isEmpty()) {
        result.errorText = QStringLiteral("Passcode field is empty");
        return result;
    }
    if (first != second) {
        result.errorText = QStringLiteral("Passcodes don't match");
        return result;
    }
    QDError error;
    if (!QDSSKeychain::setPassword(first, QDSSKeychain::PasscodeService, QDSSKeychain::ItemAccount, &error)) {
        result.errorText = error.localizedDescription().isEmpty() ? QStringLiteral("Generic Error")
                                                                  : error.localizedDescription();
        QDLogError(QStringLiteral("🚨🚨 Passcode: not saved: %1 🚨🚨").arg(result.errorText));
        return result;
    }
    UserDefaults::standardUserDefaults()->setObject(hint, HintKey);
    recordLockOn(true);
    result.saved = true;
    result.errorTitle.clear();
    return result;
}

bool removePasscode()
{
    QDError error;
    if (!QDSSKeychain::deletePasswordForService(QDSSKeychain::PasscodeService, QDSSKeychain::ItemAccount, &error)) {
        QDLogError(QStringLiteral("🚨🚨 Passcode: could not be removed: %1 🚨🚨").arg(error.localizedDescription()));
        return false;
    }
    recordLockOn(false);
    return true;
}

bool passcodeExists()
{
    return !storedPasscode().isNull();
}

QString storedPasscode()
{
    return QDSSKeychain::passwordForService(QDSSKeychain::PasscodeService, QDSSKeychain::ItemAccount);
}

} // namespace PasscodeLock
