#include "Classes/Backups/BackupInfo.h"

#include "QuendelKit/Infra/QDLog.h"
#include "QuendelKit/Settings/DataPlistValues.h"
#include "QuendelKit/Settings/SharedSettingController.h"

#include <QCoreApplication>
#include <QFile>
#include <QSaveFile>

#include <libxml/parser.h>
#include <libxml/tree.h>

#include <array>

namespace {

const std::array<const char *, 6> ElementNames = {"SaveSourcesCount",          "SaveClientVersion",
                                                 "SaveClientOS",              "SaveClientNameOrderFormat",
                                                 "SaveClientSortOrderFormat", "SaveClientTotalContacts"};

} // namespace

QString BackupInfo::bundleVersion()
{
    const QString version = QCoreApplication::applicationVersion();
    return version.isEmpty() ? QStringLiteral(QUENDEL_BUNDLE_VERSION) : version;
}

BackupInfo BackupInfo::initFromClient()
{
    BackupInfo info;
    const DataPlistValues &plist = dataPlistValues();
    info.m_sourcesCount = QString::number(0u);
    info.m_clientVersion = bundleVersion();
    info.m_OSVersion = QStringLiteral("Mac");
    info.m_nameOrderFormat = QString::number(int(plist.integerValue(QStringLiteral("display_setting_displayOrder"))));
    info.m_sortOrderFormat = QString::number(int(plist.integerValue(QStringLiteral("display_setting_sortOrder"))));
    info.m_totalContacts =
        QString::number(qMax<qint64>(0, SharedSettingController::sharedSettings().getTotalLocalContactsCount()));
    return info;
}

BackupInfo BackupInfo::initFromXMLFile(const QString &path)
{
    BackupInfo info;
    info.readDataFromFile(path);
    return info;
}

QByteArray BackupInfo::XMLData() const
{
    xmlDocPtr doc = xmlNewDoc(BAD_CAST "1.0");
    xmlNodePtr root = xmlNewNode(nullptr, BAD_CAST "BackupData");
    xmlDocSetRootElement(doc, root);
    const std::array<const QString *, 6> values = {&m_sourcesCount,    &m_clientVersion,   &m_OSVersion,
                                                   &m_nameOrderFormat, &m_sortOrderFormat, &m_totalContacts};
    for (size_t i = 0; i < ElementNames.size(); ++i) {
        // The text child escapes what the value holds, so a value is never read as markup.
        xmlNewTextChild(root, nullptr, BAD_CAST ElementNames[i], BAD_CAST values[i]->toUtf8().constData());
    }
    xmlChar *bytes = nullptr;
    int size = 0;
    xmlDocDumpMemory(doc, &bytes, &size);
    const QByteArray data(reinterpret_cast<const char *>(bytes), size);
    xmlFree(bytes);
    xmlFreeDoc(doc);
    return data;
}

bool BackupInfo::writeToPath(const QString &path) const
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        QDLogError(QStringLiteral("🚨🚨 BackupInfo: cannot write %1: %2 🚨🚨").arg(path, file.errorString()));
        return false;
    }
    const QByteArray data = XMLData();
    if (file.write(data) != data.size() || !file.commit()) {
        QDLogError(QStringLiteral("🚨🚨 BackupInfo: cannot write %1: %2 🚨🚨").arg(path, file.errorString()));
        return false;
    }
    return true;
}

QString BackupInfo::write_to_xml_file() const
{
    const QString path = SharedSettingController::sharedSettings().dataFilePath(FileName);
    if (path.isEmpty())
        return QString();
    return writeToPath(path) ? path : QString();
}

void BackupInfo::readDataFromFile(const QString &path)
{
    if (path.isNull())
        return;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return;
    // A description is a few hundred bytes; anything far larger is not one.
    const QByteArray data = file.read(1024 * 1024);
    // No network and no entity expansion: the file comes from an archive anyone could have made.
    xmlDocPtr doc = xmlReadMemory(data.constData(), int(data.size()), nullptr, nullptr,
                                  XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING);
    if (!doc)
        return;
    std::array<QString *, 6> values = {&m_sourcesCount,    &m_clientVersion,   &m_OSVersion,
                                       &m_nameOrderFormat, &m_sortOrderFormat, &m_totalContacts};
    if (xmlNodePtr root = xmlDocGetRootElement(doc)) {
        for (size_t i = 0; i < ElementNames.size(); ++i) {
            for (xmlNodePtr child = root->children; child; child = child->next) {
                if (child->type != XML_ELEMENT_NODE || xmlStrcmp(child->name, BAD_CAST ElementNames[i]) != 0)
                    continue;
                xmlChar *text = xmlNodeGetContent(child);
                *values[i] = text ? QString::fromUtf8(reinterpret_cast<const char *>(text)) : QString(QLatin1String(""));
                xmlFree(text);
                break;
            }
        }
    }
    xmlFreeDoc(doc);
}
