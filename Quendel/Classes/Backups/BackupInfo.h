#pragma once

#include <QString>

// The description file "BackupInfo.xml" that ends every backup archive: which program wrote the archive and
// a few settings and counts of that moment. Nothing a restore does depends on it.
class BackupInfo
{
public:
    static inline const QString FileName = QStringLiteral("BackupInfo.xml");
    static inline const QString RootElement = QStringLiteral("BackupData");

    // Empty: every value null.
    BackupInfo() = default;
    // Filled from the running program.
    static BackupInfo initFromClient();
    // Filled from the file at path; a missing, unreadable or malformed file gives null values, and a missing
    // element leaves its value null.
    static BackupInfo initFromXMLFile(const QString &path);

    // The document's bytes: an XML 1.0 declaration without encoding, then the root with its six elements in
    // their fixed order, without indentation.
    QByteArray XMLData() const;
    // Writes the document atomically to "BackupInfo.xml" in the data folder; its path, or null on failure.
    QString write_to_xml_file() const;
    // Writes the document atomically to path; false on failure.
    bool writeToPath(const QString &path) const;
    void print() const {}

    QString sourcesCount() const { return m_sourcesCount; }
    void setSourcesCount(const QString &value) { m_sourcesCount = value; }
    QString clientVersion() const { return m_clientVersion; }
    void setClientVersion(const QString &value) { m_clientVersion = value; }
    QString OSVersion() const { return m_OSVersion; }
    void setOSVersion(const QString &value) { m_OSVersion = value; }
    QString nameOrderFormat() const { return m_nameOrderFormat; }
    void setNameOrderFormat(const QString &value) { m_nameOrderFormat = value; }
    QString sortOrderFormat() const { return m_sortOrderFormat; }
    void setSortOrderFormat(const QString &value) { m_sortOrderFormat = value; }
    QString totalContacts() const { return m_totalContacts; }
    void setTotalContacts(const QString &value) { m_totalContacts = value; }

    // The bundle version the program reports (also part of archive names).
    static QString bundleVersion();

private:
    void readDataFromFile(const QString &path);

    QString m_sourcesCount;
    QString m_clientVersion;
    QString m_OSVersion;
    QString m_nameOrderFormat;
    QString m_sortOrderFormat;
    QString m_totalContacts;
};
