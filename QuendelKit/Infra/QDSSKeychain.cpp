#include "QDSSKeychain.h"

using platform::core::QDError;

QString QDSSKeychain::passwordForService(const QString &service, const QString &account, QDError *error)
{
    SSKeychainQuery query;
    query.setService(service);
    query.setAccount(account);
    query.fetch(error);
    return query.password();
}

QVariant QDSSKeychain::passwordObjectForService(const QString &service, const QString &account, QDError *error)
{
    SSKeychainQuery query;
    query.setService(service);
    query.setAccount(account);
    query.fetch(error);
    return query.passwordObject();
}

bool QDSSKeychain::setPassword(const QString &password, const QString &service, const QString &account, QDError *error)
{
    SSKeychainQuery query;
    query.setService(service);
    query.setAccount(account);
    query.setPassword(password);
    return query.save(error);
}

bool QDSSKeychain::setPasswordObject(const QVariant &object, const QString &service, const QString &account,
                                     QDError *error)
{
    SSKeychainQuery query;
    query.setService(service);
    query.setAccount(account);
    query.setPasswordObject(object);
    return query.save(error);
}

bool QDSSKeychain::deletePasswordForService(const QString &service, const QString &account, QDError *error)
{
    SSKeychainQuery query;
    query.setService(service);
    query.setAccount(account);
    return query.deleteItem(error);
}

std::optional<QList<QVariantMap>> QDSSKeychain::accountsForService(const QString &service)
{
    SSKeychainQuery query;
    query.setService(service);
    return query.fetchAll();
}

std::optional<QList<QVariantMap>> QDSSKeychain::allAccounts()
{
    return accountsForService(QString());
}
