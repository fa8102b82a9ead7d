#pragma once

#include <QString>
#include <QVariantMap>

inline const QString QuendelErrorDomain = QStringLiteral("com.quendel.errordomain");
inline const QString QuendelCloudKitErrorDomain = QStringLiteral("com.quendel.cloudkiterrordomain");

namespace platform::core {

// An error as a value: a domain, an integer code and a dictionary of details. A default-constructed
// error is "no error" (isNull), so out-parameters can be cleared and tested cheaply.
class QDError
{
public:
    static inline const QString LocalizedDescriptionKey = QStringLiteral("NSLocalizedDescription");
    static inline const QString FilePathKey = QStringLiteral("NSFilePath");
    static inline const QString UnderlyingErrorKey = QStringLiteral("NSUnderlyingError");

    QDError() = default;
    QDError(QString domain, qint64 code, QVariantMap userInfo = {});
    static QDError withDescription(const QString &domain, qint64 code, const QString &description,
                                   QVariantMap userInfo = {});

    bool isNull() const { return m_domain.isNull(); }
    explicit operator bool() const { return !isNull(); }

    const QString &domain() const { return m_domain; }
    qint64 code() const { return m_code; }
    const QVariantMap &userInfo() const { return m_userInfo; }
    void setUserInfoValue(const QString &key, const QVariant &value) { m_userInfo.insert(key, value); }

    QString localizedDescription() const;
    // "Domain(code): description", for log lines.
    QString toString() const;

    bool operator==(const QDError &other) const
    {
        return m_domain == other.m_domain && m_code == other.m_code;
    }

private:
    QString m_domain;
    qint64 m_code = 0;
    QVariantMap m_userInfo;
};

// Sets *out when the caller asked for the error; returns false so failures read `return fail(...)`.
inline bool setError(QDError *out, const QDError &error)
{
    if (out)
        *out = error;
    return false;
}

} // namespace platform::core

Q_DECLARE_METATYPE(platform::core::QDError)
