#include "SSKeychainQuery.h"

#include "platform/core/KeyedArchive.h"
#include "platform/keychain/Keychain.h"

using platform::core::QDError;
namespace keychain = platform::keychain;

QString SSKeychainQuery::password() const
{
    if (m_passwordData.isEmpty())
        return QString();
    return QString::fromUtf8(m_passwordData);
}

void SSKeychainQuery::setPassword(const QString &password)
{
    if (password.isNull()) {
        m_passwordData = QByteArray();
        return;
    }
    const QByteArray utf8 = password.toUtf8();
    // An empty password is still a password: it must not look like a missing one.
    m_passwordData = utf8.isNull() ? QByteArray("") : utf8;
}

QVariant SSKeychainQuery::passwordObject() const
{
    if (m_passwordData.isEmpty())
        return QVariant();
    return platform::core::KeyedArchive::unarchive(m_passwordData).value_or(QVariant());
}

void SSKeychainQuery::setPasswordObject(const QVariant &object)
{
    m_passwordData = platform::core::KeyedArchive::archive(object);
}

QDError SSKeychainQuery::errorWithCode(qint64 code)
{
    if (code == 0)
        return QDError();
    if (code == SSKeychainErrorBadArguments)
        return QDError::withDescription(kSSKeychainErrorDomain, code,
                                        QStringLiteral("Some of the arguments were invalid"));
    const QString message = keychain::statusMessage(code);
    if (message.isNull())
        return QDError(kSSKeychainErrorDomain, code);
    return QDError::withDescription(kSSKeychainErrorDomain, code, message);
}

bool SSKeychainQuery::save(QDError *error)
{
    if (m_service.isNull() || m_account.isNull() || m_passwordData.isNull())
        return platform::core::setError(error, errorWithCode(SSKeychainErrorBadArguments));
    keychain::Item item;
    item.service = m_service;
    item.account = m_account;
    item.label = m_label;
    item.data = m_passwordData;
    const keychain::Status status = keychain::Keychain().save(item);
    if (status != keychain::Success)
        return platform::core::setError(error, errorWithCode(status));
    return true;
}

bool SSKeychainQuery::deleteItem(QDError *error)
{
    if (m_service.isNull() || m_account.isNull())
        return platform::core::setError(error, errorWithCode(SSKeychainErrorBadArguments));
    const keychain::Status status = keychain::Keychain().remove(m_service, m_account);
    if (status != keychain::Success)
        return platform::core::setError(error, errorWithCode(status));
    return true;
}

bool SSKeychainQuery::fetch(QDError *error)
{
    if (m_service.isNull() || m_account.isNull())
        return platform::core::setError(error, errorWithCode(SSKeychainErrorBadArguments));
    keychain::Item item;
    const keychain::Status status = keychain::Keychain().find(m_service, m_account, &item);
    if (status != keychain::Success)
        return platform::core::setError(error, errorWithCode(status));
    m_passwordData = item.data;
    return true;
}

std::optional<QList<QVariantMap>> SSKeychainQuery::fetchAll(QDError *error) const
{
    std::vector<keychain::Item> items;
    QString service = m_service;
    const keychain::Status status = keychain::Keychain().findAll(service, &items);
    if (status != keychain::Success) {
        platform::core::setError(error, errorWithCode(status));
        return std::nullopt;
    }
    QList<QVariantMap> result;
    for (const keychain::Item &item : items) {
        QVariantMap attributes;
        attributes.insert(kSSKeychainWhereKey, item.service);
        attributes.insert(kSSKeychainAccountKey, item.account);
        if (!item.label.isNull())
            attributes.insert(kSSKeychainLabelKey, item.label);
        attributes.insert(kSSKeychainCreatedAtKey, item.created);
        attributes.insert(kSSKeychainLastModifiedKey, item.modified);
        result.append(attributes);
    }
    return result;
}
