#pragma once

#include "Classes/LaunchServices.h"

#include "platform/contacts/AddressBook.h"
#include "platform/core/NotificationCenter.h"
#include "platform/core/OperationQueue.h"
#include "platform/store/ManagedObjectContext.h"

#include <QObject>
#include <QPointer>
#include <QTimer>

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

class VCardAddressBookBridge;

inline const QString NotificationContactsLinkAndImageLoadFinished =
    QStringLiteral("NotificationContactsLinkAndImageLoadFinished");
// userInfo: "saved" (bool), whether the pass saved changes.
inline const QString NotificationContactsInformationSyncFinished =
    QStringLiteral("NotificationContactsInformationSyncFinished");
inline const QString ContactsInformationSyncSavedKey = QStringLiteral("saved");

// Access to the address book folder: a folder we can read is access granted (1); otherwise refused (2).
class ContactsPermissionsLoader
{
public:
    explicit ContactsPermissionsLoader(std::shared_ptr<platform::contacts::AddressBook> book) : m_book(std::move(book)) {}
    void requestContactsPermissionWithCompletionHandler(const std::function<void(int state)> &handler) const;

private:
    std::shared_ptr<platform::contacts::AddressBook> m_book;
};

// Keeps the journal's public contacts in step with the address book folder: links and pictures at launch,
// then a refresh pass over every public contact; another refresh pass a few seconds after other programs
// changed cards in the folder.
class ContactsSyncController : public ContactsRefreshService, public std::enable_shared_from_this<ContactsSyncController>
{
public:
    // Contacts taken per pass kind.
    enum ChangeKind { UpdateContactInfo = 0, RemakeSortingName = 2, RemakeDisplayName = 3 };
    static constexpr int ContactsPerReset = 100;
    static constexpr int ChangeDebounceMs = 3000;

    ContactsSyncController(platform::store::ContextPtr mainContext,
                           std::shared_ptr<platform::contacts::AddressBook> book,
                           std::shared_ptr<VCardAddressBookBridge> bridge);
    ~ContactsSyncController() override;

    // Makes the process's address book and bridge (once) and a controller on them.
    static std::shared_ptr<ContactsSyncController> makeForLaunch(const platform::store::ContextPtr &mainContext);

    void operationsForLoadingContactImagesAndLinksWithInitialDependentOperation(
        const std::shared_ptr<platform::core::Operation> &dependency, std::function<void(bool loaded)> completion) override;
    void loadContactImagesAndLinksWithCompletionBlock(const std::function<void(bool)> &completion);
    bool loadContactImagesAndLinksWithPermission();
    void syncPersonsListForChangeType(int kind, std::function<void(bool saved)> completion);
    void loadImageReferenceWithObjectIDs(const QList<platform::store::ManagedObjectID> &ids,
                                         std::function<void(bool)> completion);
    // Starts the refresh that follows other programs' changes to the folder.
    void watchAddressBookChanges();

    void cloudKitProcessStart();
    void cloudKitProcessFinished();
    void prepareForDBRestore();

    // How often the private context was reset (tests count the batches).
    int resetCount() const { return m_resetCount.load(); }
    platform::core::OperationQueue &operationQueue() { return m_queue; }

private:
    void syncPersonsListWithContactsWithTypeOfChange(int kind, const std::function<void(bool)> &completion);
    void finishPass(bool hadContacts, const std::function<void(bool)> &completion);
    void resetPrivateContext();

    platform::store::ContextPtr m_mainContext;
    platform::store::ContextPtr m_backgroundContext;
    std::shared_ptr<platform::contacts::AddressBook> m_book;
    std::shared_ptr<VCardAddressBookBridge> m_bridge;
    ContactsPermissionsLoader m_permissions;
    platform::core::OperationQueue m_queue;
    std::atomic<bool> m_isRestoringData{false};
    std::atomic<bool> m_syncingContactsInBackgroundDontLoadRecord{false};
    std::atomic<bool> m_loadedSomePublicContacts{false};
    std::atomic<int> m_resetCount{0};
    QPointer<QTimer> m_changeTimer;
    QMetaObject::Connection m_bookConnection;
    std::vector<platform::core::ScopedObserver> m_observers;
};
