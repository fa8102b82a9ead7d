#pragma once

#include "platform/core/QDError.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QVariant>
#include <QVariantMap>

#include <optional>

// The error domain of keychain failures.
inline const QString kSSKeychainErrorDomain = QStringLiteral("com.morvane.quendel");

// Keys of the attribute dictionaries that account listings give.
inline const QString kSSKeychainAccountKey = QStringLiteral("acct");
inline const QString kSSKeychainCreatedAtKey = QStringLiteral("cdat");
inline const QString kSSKeychainClassKey = QStringLiteral("labl");
inline const QString kSSKeychainDescriptionKey = QStringLiteral("desc");
inline const QString kSSKeychainLabelKey = QStringLiteral("labl");
inline const QString kSSKeychainLastModifiedKey = QStringLiteral("mdat");
inline const QString kSSKeychainWhereKey = QStringLiteral("svce");

// A required field (service, account or password) was missing.
inline constexpr qint64 SSKeychainErrorBadArguments = -1001;

// One keychain operation on one generic-password item: fill in the fields, then save, delete or fetch.
// Holds no shared state, so each caller (on any thread) uses its own query.
class SSKeychainQuery
{
public:
    const QString &account() const { return m_account; }
    void setAccount(const QString &account) { m_account = account; }
    const QString &service() const { return m_service; }
    void setService(const QString &service) { m_service = service; }
    const QString &label() const { return m_label; }
    void setLabel(const QString &label) { m_label = label; }
    const QByteArray &passwordData() const { return m_passwordData; }
    void setPasswordData(const QByteArray &data) { m_passwordData = data; }

    // The password data as UTF-8 text; null when there is none or it is empty. A null password clears
    // the data, so saving it fails.
    QString password() const;
    void setPassword(const QString &password);
    // The password data as a keyed archive; an invalid QVariant when the data is empty or no archive.
    QVariant passwordObject() const;
    void setPasswordObject(const QVariant &object);

    // Replaces any item of this service and account with one holding the password data (and the label).
    bool save(platform::core::QDError *error = nullptr);
    // Removes the item of this service and account.
    bool deleteItem(platform::core::QDError *error = nullptr);
    // Reads the item's data into passwordData; on failure passwordData is left as it was.
    bool fetch(platform::core::QDError *error = nullptr);
    // Attribute dictionaries of every item of the service (of every service when it is null), or nullopt
    // with the error.
    std::optional<QList<QVariantMap>> fetchAll(platform::core::QDError *error = nullptr) const;

    // The error for a keychain status; a null error for 0.
    static platform::core::QDError errorWithCode(qint64 code);

private:
    QString m_account;
    QString m_service;
    QString m_label;
    QByteArray m_passwordData;
};
