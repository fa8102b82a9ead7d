#pragma once

#include "SSKeychainQuery.h"

// The program's two small secrets kept outside the data folder (and so outside its backups): the passcode
// (service "Quendel", account "pin") and this computer's device identifier (service "LocalUUID", account
// "pin"). Each call makes its own query, so any thread may call. Failures come back as false or null
// with an error in kSSKeychainErrorDomain; nothing is logged here.
class QDSSKeychain
{
public:
    // The stored password; null when there is none (the error then carries the not-found status) or
    // it is empty.
    static QString passwordForService(const QString &service, const QString &account,
                                      platform::core::QDError *error = nullptr);
    // The stored keyed archive, unarchived; an invalid QVariant when there is none.
    static QVariant passwordObjectForService(const QString &service, const QString &account,
                                             platform::core::QDError *error = nullptr);
    // Stores the password, replacing an existing item; a null password fails with -1001.
    static bool setPassword(const QString &password, const QString &service, const QString &account,
                            platform::core::QDError *error = nullptr);
    static bool setPasswordObject(const QVariant &object, const QString &service, const QString &account,
                                  platform::core::QDError *error = nullptr);
    static bool deletePasswordForService(const QString &service, const QString &account,
                                         platform::core::QDError *error = nullptr);
    // Attribute dictionaries of the service's items (every item for a null service); nullopt when
    // there are none or the keychain cannot be read.
    static std::optional<QList<QVariantMap>> accountsForService(const QString &service);
    static std::optional<QList<QVariantMap>> allAccounts();

    // The items the program keeps.
    static inline const QString PasscodeService = QStringLiteral("Quendel");
    static inline const QString DeviceIdentifierService = QStringLiteral("LocalUUID");
    static inline const QString ItemAccount = QStringLiteral("pin");
};
