#pragma once

#include <QMetaType>
#include <QUrl>

namespace platform::cloud {

// A file carried by a record. On the way up it names the local file to send; on the way down it names the
// local copy that the service downloaded, which the receiver copies where it needs it. Files never pass
// through a record's memory.
class Asset
{
public:
    Asset() = default;
    explicit Asset(QUrl fileURL) : m_fileURL(std::move(fileURL)) {}

    bool isNull() const { return m_fileURL.isEmpty(); }
    const QUrl &fileURL() const { return m_fileURL; }
    // The local path of the file; empty when the URL is not a local file.
    QString localFilePath() const { return m_fileURL.isLocalFile() ? m_fileURL.toLocalFile() : QString(); }

    bool operator==(const Asset &other) const { return m_fileURL == other.m_fileURL; }
    bool operator!=(const Asset &other) const { return !(*this == other); }

private:
    QUrl m_fileURL;
};

} // namespace platform::cloud

Q_DECLARE_METATYPE(platform::cloud::Asset)
