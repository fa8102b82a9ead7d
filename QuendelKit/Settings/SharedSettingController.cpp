#include "Settings/SharedSettingController.h"

#include "Infra/QDLog.h"
#include "Settings/SettingsLog.h"

#include "platform/core/Dispatch.h"
#include "platform/core/FileModes.h"
#include "platform/core/PropertyList.h"
#include "platform/core/StandardPaths.h"
#include "platform/core/UserDefaults.h"
#include "platform/keychain/Keychain.h"
#include "platform/kvstore/KeyValueStore.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

using platform::core::PropertyList;
using platform::core::QDError;
using platform::core::StandardPaths;
using platform::core::UserDefaults;
namespace K = QDSettingsKeys;

namespace {

std::mutex g_servicesMutex;
std::shared_ptr<SettingsEnvironment> g_environment;
std::shared_ptr<SettingsContactsBridge> g_contactsBridge;

QString joinPath(const QString &folder, const QString &name)
{
    if (folder.isNull())
        return QString();
    return QDir(folder).filePath(name);
}

} // namespace

SharedSettingController &SharedSettingController::sharedSettings()
{
    // Made once, whoever asks first and from whatever thread; never released.
    static SharedSettingController *const instance = new SharedSettingController();
    return *instance;
}

void SharedSettingController::setEnvironment(std::shared_ptr<SettingsEnvironment> environment)
{
    std::lock_guard lock(g_servicesMutex);
    g_environment = std::move(environment);
}

std::shared_ptr<SettingsEnvironment> SharedSettingController::environment()
{
    std::lock_guard lock(g_servicesMutex);
    if (!g_environment)
        g_environment = std::make_shared<SettingsEnvironment>();
    return g_environment;
}

void SharedSettingController::setContactsBridge(std::shared_ptr<SettingsContactsBridge> bridge)
{
    std::lock_guard lock(g_servicesMutex);
    g_contactsBridge = std::move(bridge);
}

std::shared_ptr<SettingsContactsBridge> SharedSettingController::contactsBridge()
{
    std::lock_guard lock(g_servicesMutex);
    if (!g_contactsBridge)
        g_contactsBridge = std::make_shared<SettingsContactsBridge>();
    return g_contactsBridge;
}

SharedSettingController::SharedSettingController()
    : m_dictionaryQueue(platform::core::DispatchQueue::concurrent(QStringLiteral("com.quendel.dictionaryQueue"))),
      m_imageCacheQueue(platform::core::DispatchQueue::concurrent(QStringLiteral("com.quendel.imageQueue")))
{
    // This system has no shared application-group container; the data folder is the only home.
    settingsLog(QStringLiteral("containerURL = nil"));

    // The user may keep the store shared with the other computers in a folder that a sync service mirrors.
    const QString sharedFolder = UserDefaults::standardUserDefaults()->stringForKey(K::SharedStoreFolderDefaultsKey);
    if (!sharedFolder.isEmpty())
        platform::kvstore::KeyValueStore::setDefaultFolder(sharedFolder);

    const QUrl folder = applicationSupportDirectoryURL();
    {
        std::lock_guard lock(m_mutex);
        m_applicationSupportPath = folder.isEmpty() ? QString() : folder.toLocalFile();
    }
    loadDataPlist();
    setPlistFilePath(dataFilePath(K::DataPlistFileName));
}

SharedSettingController::~SharedSettingController()
{
    m_observers.clear();
}

void SharedSettingController::loadDataPlist()
{
    const QString path = dataFilePathWithTransfer(K::DataPlistFileName);
    if (path.isNull()) {
        dataPlistValues().replace({});
        return;
    }
    QDError error;
    const std::optional<QVariantMap> values = PropertyList::readDictionaryFile(path, &error);
    if (values) {
        dataPlistValues().replace(*values);
        return;
    }
    dataPlistValues().replace({});
    if (error.code() == PropertyList::FileNotFoundError) {
        // No settings yet: this is the first run of an installation. The launch clears what an earlier
        // installation may have left outside the data folder, then turns the flag off.
        dataPlistValues().setValue(K::FirstTimeDownloadKey, true);
        return;
    }
    keepUnreadableFile(path, error, QStringLiteral("data-plist-read"), QStringLiteral("Settings Could Not Be Read"),
                       QStringLiteral("data-plist-blocked"), QStringLiteral("the default settings are used"));
}

bool SharedSettingController::keepUnreadableFile(const QString &path, const QDError &error, const QString &kind,
                                                 const QString &title, const QString &blockedKind,
                                                 const QString &consequence)
{
    auto block = [&] {
        std::lock_guard lock(m_failureMutex);
        m_reportedFailures.insert(blockedKind);
    };
    // A file we may not open is intact as far as we know: moving it would take the user's settings away for
    // a fault of its permissions. It stays, and nothing is written over it until it can be read again.
    if (error.code() == PropertyList::FileReadError) {
        block();
        reportFailure(kind, title, path,
                      QDError::withDescription(
                          error.domain(), error.code(),
                          QStringLiteral("%1 The file was left where it is; until it can be read, %2 and changes "
                                         "are not saved to it.")
                              .arg(error.localizedDescription(), consequence)));
        return false;
    }
    // Never write over a file we could not understand: keep it aside and start from the defaults.
    const QString aside = path + QStringLiteral(".damaged-") +
                          QDateTime::currentDateTimeUtc().toString(QStringLiteral("yyyyMMdd-HHmmss-zzz"));
    if (QFile::rename(path, aside) || (QFile::copy(path, aside) && QFile::remove(path))) {
        QDError reported = QDError::withDescription(
            error.domain(), error.code(),
            QStringLiteral("%1 The file was kept as %2 and %3.").arg(error.localizedDescription(), aside, consequence));
        reported.setUserInfoValue(QStringLiteral("KeptAsidePath"), aside);
        reportFailure(kind, title, path, reported);
        return true;
    }
    block();
    reportFailure(kind, title, path,
                  QDError::withDescription(error.domain(), error.code(),
                                           QStringLiteral("%1 The file could not be kept aside either, so it is left "
                                                          "where it is and changes are not saved to it in this "
                                                          "session.")
                                               .arg(error.localizedDescription())));
    return false;
}

bool SharedSettingController::isBlocked(const QString &blockedKind) const
{
    std::lock_guard lock(m_failureMutex);
    return m_reportedFailures.contains(blockedKind);
}

void SharedSettingController::initialize()
{
    if (m_initialized)
        return;
    m_initialized = true;

    makeFilesPrivate();
    initDDLogger();
    {
        // What went wrong before the log existed (reading the data plist) is written now.
        QStringList lines;
        {
            std::lock_guard lock(m_failureMutex);
            m_failuresReachLog = true;
            lines = std::exchange(m_unloggedFailures, {});
        }
        for (const QString &line : std::as_const(lines))
            QDLogError(line);
    }
    initializeCaches();
    initAttachmentsDirectory();
    if (!platform::core::StandardPaths::isUITest())
        observeSharedStoreFile();
    addValuesToPlist();
    if (!platform::core::StandardPaths::isUITest())
        initKVStore();
    UserDefaults::standardUserDefaults()->registerDefaults(dataPlistValues().snapshot());
    initReachability();
    contactsBridge()->initDeDupeMatchingIDs();
    {
        std::shared_ptr<QObject> store = contactsBridge()->makeContactStore();
        std::lock_guard lock(m_mutex);
        m_globalContactStore = std::move(store);
    }
    initializeDevicesList();
    setContactsHashValuesCache({});
}

void SharedSettingController::makeFilesPrivate()
{
    // The journal, the settings and the secrets are the user's alone: whatever made them readable to others
    // (an older version, a copy, a restore), they are owner-only from this launch on, and so is all this
    // process creates.
    platform::core::FileModes::createPrivateFiles();
    const QString settingsFolder = QFileInfo(platform::keychain::Keychain::defaultFilePath()).absolutePath();
    const QString userDefaultsFolder = QFileInfo(UserDefaults::standardFilePath()).absolutePath();
    QStringList folders{applicationSupportPath(), settingsFolder};
    if (userDefaultsFolder != settingsFolder)
        folders << userDefaultsFolder;
    for (const QString &folder : std::as_const(folders)) {
        QDError error;
        if (!platform::core::FileModes::makeTreePrivate(folder, &error)) {
            std::lock_guard lock(m_failureMutex);
            m_unloggedFailures.append(QStringLiteral("🚨🚨 SharedSettings: %1 🚨🚨").arg(error.localizedDescription()));
        }
    }
}

bool SharedSettingController::isUITestingEnabled() const
{
    return platform::core::StandardPaths::isUITest();
}

QUrl SharedSettingController::applicationSupportDirectoryURL() const
{
    QDError error;
    const QString folder = StandardPaths::dataFolder(&error);
    if (folder.isNull()) {
        reportFailure(QStringLiteral("data-folder"), QStringLiteral("Data Folder Unavailable"),
                      StandardPaths::dataFolderPath(), error);
        return QUrl();
    }
    clearFailure(QStringLiteral("data-folder"));
    return QUrl::fromLocalFile(folder);
}

QString SharedSettingController::applicationSupportPath() const
{
    std::lock_guard lock(m_mutex);
    return m_applicationSupportPath;
}

QString SharedSettingController::dataFilePath(const QString &fileName) const
{
    return joinPath(applicationSupportPath(), fileName);
}

QString SharedSettingController::dataFilePathWithTransfer(const QString &fileName) const
{
    const QString path = dataFilePath(fileName);
    if (path.isNull() || QFileInfo::exists(path))
        return path;
    // Default files ship as resources of the kit, else of the application.
    QString copyError;
    bool copied = false;
    for (const QString &source :
         {QStringLiteral(":/QuendelKit/Resources/") + fileName, QStringLiteral(":/Resources/") + fileName}) {
        if (!QFileInfo::exists(source))
            continue;
        QFile file(source);
        if (file.copy(path)) {
            // Resources are read-only; the copy is the user's own file.
            QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
            copied = true;
            break;
        }
        copyError = file.errorString();
    }
    if (!copied) {
        settingsLog(QStringLiteral("SharedSettings dataFilePathWithTransfer: failed to COPY file - %1").arg(fileName));
        if (!copyError.isEmpty())
            settingsLog(QStringLiteral("SharedSettings dataFilePathWithTransfer: error - %1").arg(copyError));
    }
    return path;
}

QString SharedSettingController::temporaryFilePath(const QString &fileName) const
{
    return joinPath(StandardPaths::cachesPath(), fileName);
}

QString SharedSettingController::pathForAttachmentWithName(const QString &name) const
{
    const QUrl folder = localFileAttachmentsDirectoryURL();
    return folder.isEmpty() ? QString() : joinPath(folder.toLocalFile(), name);
}

QString SharedSettingController::pathForPersonReferenceWithName(const QString &name) const
{
    if (name.isEmpty())
        return QString();
    const QUrl folder = localPersonImagesDirectoryURL();
    return folder.isEmpty() ? QString() : joinPath(folder.toLocalFile(), name);
}

QString SharedSettingController::cloudBasePath() const
{
    const QVariant stored = dataPlistValues().value(QStringLiteral("iCloudStorageURL"));
    QString text = stored.typeId() == QMetaType::QUrl ? stored.toUrl().toString() : stored.toString();
    if (!text.isEmpty()) {
        const QUrl url(text);
        return url.isLocalFile() ? url.toLocalFile() : text;
    }
    return environment()->ubiquityContainerPath(K::UbiquityContainerIdentifier);
}

QUrl SharedSettingController::urlForCloudAttachmentWithName(const QString &name) const
{
    const QString base = cloudBasePath();
    if (base.isEmpty())
        return QUrl();
    return QUrl::fromLocalFile(QDir(joinPath(base, K::FileAttachmentsCloudFolder)).filePath(name));
}

QUrl SharedSettingController::urlForCloudPersonImageReferenceWithName(const QString &name) const
{
    const QString base = cloudBasePath();
    if (base.isEmpty())
        return QUrl();
    const QString folder = joinPath(base, K::PersonImageReferencesCloudFolder);
    return QUrl::fromLocalFile(name.isEmpty() ? folder : QDir(folder).filePath(name));
}

void SharedSettingController::initAttachmentsDirectory()
{
    const bool testing = isUITestingEnabled();
    const QString base = applicationSupportPath();
    QUrl urls[2];
    const QString names[2] = {testing ? K::FileAttachmentsTestingFolder : K::FileAttachmentsFolder,
                              testing ? K::PersonImageReferencesTestingFolder : K::PersonImageReferencesFolder};
    for (int i = 0; i < 2; ++i) {
        if (base.isNull())
            continue;
        const QString path = joinPath(base, names[i]);
        if (!QFileInfo(path).isDir()) {
            settingsLog(QStringLiteral("Local Attachments directory Does not exist"));
            QDError error;
            if (!StandardPaths::createFolder(path, &error))
                settingsLog(error.localizedDescription());
        }
        urls[i] = QUrl::fromLocalFile(path);
    }
    std::lock_guard lock(m_mutex);
    m_localFileAttachmentsDirectoryURL = urls[0];
    m_localPersonImagesDirectoryURL = urls[1];
}

void SharedSettingController::createDirectoryAtURL(const QUrl &url) const
{
    const QString path = url.toLocalFile();
    if (path.isEmpty() || QFileInfo::exists(path))
        return;
    settingsLog(QStringLiteral("DIRECTORY DOESN'T EXIST  ... CREATE IT = %1").arg(path));
    QDError error;
    if (!StandardPaths::createFolder(path, &error))
        settingsLog(QStringLiteral("error creating directory ... %1").arg(error.toString()));
}

QString SharedSettingController::dropboxFile()
{
    std::call_once(m_dropboxOnce, [this] {
        m_dropboxFile = dataFilePath(K::DropboxFileName);
        if (!m_dropboxFile.isNull() && !QFileInfo::exists(m_dropboxFile)) {
            QDError error;
            if (!PropertyList::writeFile(QVariantMap(), m_dropboxFile, &error))
                settingsLog(error.toString());
        }
    });
    return m_dropboxFile;
}

void SharedSettingController::cleanupFileAttachmentsFileWithFilesToLoad(const QStringList &files)
{
    settingsLog(QStringLiteral("calling cleanupFileAttachmentsFileWithLoadFiles"));
    if (UserDefaults::standardUserDefaults()->integerForKey(QStringLiteral("PersonImageMigrationStarted")) == 1) {
        settingsLog(QStringLiteral("** IGNORE - migrating to new PersonImages ***"));
        return;
    }
    const QString path = dropboxFile();
    if (path.isNull())
        return;
    std::lock_guard lock(m_dropboxListMutex);
    QVariantMap list = PropertyList::readDictionaryFile(path).value_or(QVariantMap());
    list.insert(QStringLiteral("NewFilesKey"), QVariantList(files.cbegin(), files.cend()));
    list.insert(QStringLiteral("DeletedFilesKey"), QVariantList());
    list.insert(QStringLiteral("RenamedFilesKey"), QVariantList());
    QDError error;
    if (!PropertyList::writeFile(list, path, &error))
        settingsLog(error.toString());
    settingsLog(QStringLiteral("finished calling cleanupFileAttachmentsFileWithLoadFiles"));
}

bool SharedSettingController::changeDropboxList(const std::function<bool(QVariantMap &)> &change)
{
    const QString path = dropboxFile();
    if (path.isNull() || !QFileInfo::exists(path))
        return false;
    std::lock_guard lock(m_dropboxListMutex);
    QDError error;
    std::optional<QVariantMap> list = PropertyList::readDictionaryFile(path, &error);
    if (!list) {
        settingsLog(QStringLiteral("Dropbox change list cannot be read, left as it is: %1").arg(error.toString()));
        return false;
    }
    if (!change(*list))
        return false;
    if (!PropertyList::writeFile(*list, path, &error)) {
        settingsLog(error.toString());
        return false;
    }
    return true;
}

QUrl SharedSettingController::localFileAttachmentsDirectoryURL() const
{
    std::lock_guard lock(m_mutex);
    return m_localFileAttachmentsDirectoryURL;
}

QUrl SharedSettingController::localPersonImagesDirectoryURL() const
{
    std::lock_guard lock(m_mutex);
    return m_localPersonImagesDirectoryURL;
}

std::shared_ptr<SharedSettingsDelegate> SharedSettingController::sharedSettingsDelegate() const
{
    std::lock_guard lock(m_mutex);
    return m_delegate;
}

void SharedSettingController::setSharedSettingsDelegate(std::shared_ptr<SharedSettingsDelegate> delegate)
{
    std::lock_guard lock(m_mutex);
    m_delegate = std::move(delegate);
}

std::shared_ptr<QDReachability> SharedSettingController::reachabilityStatus() const
{
    std::lock_guard lock(m_mutex);
    return m_reachabilityStatus;
}

void SharedSettingController::setReachabilityStatus(std::shared_ptr<QDReachability> reachability)
{
    std::lock_guard lock(m_mutex);
    m_reachabilityStatus = std::move(reachability);
}

std::shared_ptr<QObject> SharedSettingController::globalContactStore() const
{
    std::lock_guard lock(m_mutex);
    return m_globalContactStore;
}

std::shared_ptr<QDFileLogger> SharedSettingController::qdFileLogger() const
{
    std::lock_guard lock(m_mutex);
    return m_qdFileLogger;
}

std::shared_ptr<QDFileLogger> SharedSettingController::incomingLogger() const
{
    std::lock_guard lock(m_mutex);
    return m_incomingLogger;
}

std::shared_ptr<platform::kvstore::KeyValueStore> SharedSettingController::keyValueStore() const
{
    return platform::kvstore::KeyValueStore::defaultStore();
}

void SharedSettingController::reportFailure(const QString &kind, const QString &title, const QString &path,
                                            const QDError &error) const
{
    {
        std::lock_guard lock(m_failureMutex);
        if (m_reportedFailures.contains(kind))
            return;
        m_reportedFailures.insert(kind);
    }
    const QString reason = error.isNull() ? QStringLiteral("unknown reason") : error.localizedDescription();
    const QString logLine = QStringLiteral("🚨🚨 SharedSettings: %1: %2: %3 🚨🚨").arg(title, path, reason);
    bool logNow = false;
    {
        std::lock_guard lock(m_failureMutex);
        logNow = m_failuresReachLog;
        if (!logNow)
            m_unloggedFailures.append(logLine);
    }
    if (logNow)
        QDLogError(logLine);
    // A file kept aside leaves the way clear for new settings; only then is there nothing left to fix.
    const bool keptAside = error.userInfo().contains(QStringLiteral("KeptAsidePath"));
    const QString message =
        QStringLiteral("%1\n\n%2").arg(path.isEmpty() ? QStringLiteral("(no path)") : path, reason) +
        (keptAside ? QString() : QStringLiteral("\n\nQuendel cannot keep your settings until this is fixed."));
    auto alert = QDAlertDisplay::sharedAlert();
    alert->showCoreDataError(title + QStringLiteral(": ") + path, error);
    if (platform::core::isMainThread())
        alert->showAlertWithTitle(title, message);
    else
        platform::core::dispatchAsyncMain([alert, title, message] { alert->showAlertWithTitle(title, message); });
}

void SharedSettingController::clearFailure(const QString &kind) const
{
    std::lock_guard lock(m_failureMutex);
    m_reportedFailures.remove(kind);
}
