#include "platform/core/QDError.h"

namespace platform::core {

QDError::QDError(QString domain, qint64 code, QVariantMap userInfo)
    : m_domain(domain.isNull() ? QStringLiteral("") : std::move(domain)), m_code(code), m_userInfo(std::move(userInfo))
{
}

QDError QDError::withDescription(const QString &domain, qint64 code, const QString &description, QVariantMap userInfo)
{
    userInfo.insert(LocalizedDescriptionKey, description);
    return QDError(domain, code, std::move(userInfo));
}

QString QDError::localizedDescription() const
{
    const QString text = m_userInfo.value(LocalizedDescriptionKey).toString();
    if (!text.isEmpty())
        return text;
    return QStringLiteral("The operation couldn\u2019t be completed. (%1 error %2.)").arg(m_domain).arg(m_code);
}

QString QDError::toString() const
{
    if (isNull())
        return QStringLiteral("(no error)");
    return QStringLiteral("%1(%2): %3").arg(m_domain).arg(m_code).arg(localizedDescription());
}

} // namespace platform::core
