#include "Settings/PasscodeLaunchCheck.h"

#include "Infra/QDLog.h"
#include "Infra/QDSSKeychain.h"
#include "Settings/DataPlistValues.h"
#include "Settings/SharedSettingController.h"

#include "platform/keychain/Keychain.h"

#include <QFileInfo>

using platform::core::QDError;

QString PasscodeLaunchCheck::stepName() const
{
    switch (state) {
    case State::On:
        return QStringLiteral("passcode:yes");
    case State::KeychainUnreadable:
        return QStringLiteral("passcode:unreadable");
    case State::PasscodeGone:
        return QStringLiteral("passcode:gone");
    case State::Off:
        break;
    }
    return QStringLiteral("passcode:no");
}

PasscodeLaunchCheck PasscodeLaunchCheck::run(bool firstLaunch)
{
    PasscodeLaunchCheck check;
    DataPlistValues &plist = dataPlistValues();
    // Absent means not known (written by a version that did not keep the flag): a keychain that cannot be
    // read might hold a passcode then, so it counts as on.
    const bool flagKnown = plist.contains(PinEnabledKey);
    const bool flagOn = plist.boolValue(PinEnabledKey);
    const QString keychainPath = platform::keychain::Keychain::defaultFilePath();

    QDError error;
    const QString passcode =
        QDSSKeychain::passwordForService(QDSSKeychain::PasscodeService, QDSSKeychain::ItemAccount, &error);
    bool flagWanted = flagOn;
    if (!passcode.isNull()) {
        check.state = State::On;
        flagWanted = true;
    } else if (error.isNull() || error.code() == platform::keychain::ItemNotFound) {
        flagWanted = false;
        if (flagOn) {
            // A lock with no passcode to check against could never be opened: the user's journal would be
            // lost to them. Anyone able to remove the keychain can read the data folder anyway, so the lock
            // opens, and the user hears of it once (the flag goes off with this launch).
            check.state = State::PasscodeGone;
            check.alertTitle = GoneAlertTitle;
            check.alertMessage =
                QStringLiteral("The passcode lock was on, but %1 no longer holds the passcode.\n\n"
                               "Quendel started without the lock. Set a passcode again to lock it.")
                    .arg(QFileInfo::exists(keychainPath)
                             ? QStringLiteral("the keychain \u201c%1\u201d").arg(keychainPath)
                             : QStringLiteral("the keychain \u201c%1\u201d is missing and").arg(keychainPath));
        }
    } else if (firstLaunch) {
        flagWanted = false;
    } else if (flagOn || !flagKnown) {
        check.state = State::KeychainUnreadable;
        check.keychainError = error;
        const QString reason = error.localizedDescription().isEmpty()
                                   ? platform::keychain::statusMessage(error.code())
                                   : error.localizedDescription();
        check.alertTitle = UnreadableAlertTitle;
        check.alertMessage =
            QStringLiteral("The passcode lock is on, but the keychain \u201c%1\u201d cannot be read: %2\n\n"
                           "Quendel stays locked. The keychain was left as it is: restore it from a backup or "
                           "make it readable, then start Quendel again.")
                .arg(keychainPath, reason);
    }

    if (!check.alertTitle.isEmpty())
        QDLogError(QStringLiteral("🚨🚨 Passcode: %1: %2 🚨🚨").arg(check.alertTitle, check.alertMessage));
    if (check.state != State::KeychainUnreadable && (!flagKnown || flagWanted != flagOn)) {
        // The flag follows what was found; an unreadable keychain leaves it as it was.
        plist.setValue(PinEnabledKey, flagWanted);
        SharedSettingController::sharedSettings().saveDataPlist();
    }
    return check;
}
