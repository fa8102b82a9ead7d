#pragma once

#include "platform/core/QDError.h"

#include <QString>

// What a launch does about the passcode lock. The keychain holds the passcode; the data plist's
// "PinEnabledDefault" remembers whether the lock is on, so a keychain that cannot be read never turns the
// lock off without a word.
struct PasscodeLaunchCheck
{
    enum class State {
        Off,                // no passcode, and none was on
        On,                 // the passcode is in the keychain
        KeychainUnreadable, // the lock is (or may be) on and the keychain cannot be read: stays locked
        PasscodeGone,       // the lock was on, yet the keychain is readable or gone and holds no passcode
    };

    static inline const QString PinEnabledKey = QStringLiteral("PinEnabledDefault");
    static inline const QString UnreadableAlertTitle = QStringLiteral("Passcode Lock: Keychain Cannot Be Read");
    static inline const QString GoneAlertTitle = QStringLiteral("Passcode Lock Turned Off");

    State state = State::Off;
    // What the user is told; empty when there is nothing to tell.
    QString alertTitle;
    QString alertMessage;
    platform::core::QDError keychainError;

    bool locked() const { return state == State::On || state == State::KeychainUnreadable; }
    // The launch step's record: "passcode:yes", "passcode:no", "passcode:unreadable" or "passcode:gone".
    QString stepName() const;

    // Reads the passcode item and brings the data plist's flag in step with what was found (saving it when
    // it changed): on with a passcode, off without one in a readable keychain, unchanged when unreadable.
    // On a first launch any passcode found belongs to an earlier installation and was just removed, so a
    // keychain that cannot be read does not lock then.
    static PasscodeLaunchCheck run(bool firstLaunch = false);
};
