#include "Classes/Sync/ContactsSyncController.h"

#include "QuendelKit/AddressBook/VCardAddressBookBridge.h"
#include "QuendelKit/Entities/Person.h"
#include "QuendelKit/Infra/QDLog.h"
#include "QuendelKit/Settings/DataPlistValues.h"
#include "QuendelKit/Settings/SharedSettingController.h"

#include "platform/core/Dispatch.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

using platform::core::BlockOperation;
using platform::core::NotificationCenter;
using platform::core::Operation;
using platform::core::ScopedObserver;
using platform::store::ContextPtr;
using platform::store::ManagedObjectContext;

void ContactsPermissionsLoader::requestContactsPermissionWithCompletionHandler(
    const std::function<void(int)> &handler) const
{
    const QFileInfo root(m_book ? m_book->rootPath() : QString());
    handler(root.isDir() && root.isReadable() ? 1 : 2);
}

ContactsSyncController::ContactsSyncController(ContextPtr mainContext,
                                               std::shared_ptr<platform::contacts::AddressBook> book,
                                               std::shared_ptr<VCardAddressBookBridge> bridge)
    : m_mainContext(std::move(mainContext))
    , m_book(std::move(book))
    , m_bridge(std::move(bridge))
    , m_permissions(m_book)
    , m_queue(QStringLiteral("QDContactsSyncQueue"))
{
    // One pass at a time: two passes over the same private context would step on each other.
    m_queue.setMaxConcurrentOperationCount(1);
    m_backgroundContext = ManagedObjectContext::create(ManagedObjectContext::ConcurrencyType::PrivateQueue);
    m_backgroundContext->setName(QStringLiteral("ContactsSyncControllerPrivateContext"));
    m_backgroundContext->setParentContext(m_mainContext);
    m_observers.emplace_back(QStringLiteral("CloudKitUploadBeginningNotification"), nullptr,
                             [this](const platform::core::Notification &) { cloudKitProcessStart(); });
    m_observers.emplace_back(QStringLiteral("CloudKitUploadCompleteNotification"), nullptr,
                             [this](const platform::core::Notification &) { cloudKitProcessFinished(); });
    m_observers.emplace_back(QStringLiteral("RestoreDBPreparationNotification"), nullptr,
                             [this](const platform::core::Notification &) { prepareForDBRestore(); });
}

ContactsSyncController::~ContactsSyncController()
{
    m_observers.clear();
    if (m_bookConnection)
        QObject::disconnect(m_bookConnection);
    if (m_changeTimer)
        m_changeTimer->deleteLater();
    m_queue.cancelAllOperations();
}

std::shared_ptr<ContactsSyncController> ContactsSyncController::makeForLaunch(const ContextPtr &mainContext)
{
    auto book = platform::contacts::AddressBook::shared();
    auto bridge = VCardAddressBookBridge::installed();
    if (!bridge || bridge->addressBook() != book)
        bridge = VCardAddressBookBridge::installFor(book);
    auto controller = std::make_shared<ContactsSyncController>(mainContext, book, bridge);
    controller->watchAddressBookChanges();
    return controller;
}

void ContactsSyncController::operationsForLoadingContactImagesAndLinksWithInitialDependentOperation(
    const std::shared_ptr<Operation> &dependency, std::function<void(bool)> completion)
{
    const std::weak_ptr<ContactsSyncController> weak = weak_from_this();
    auto load = BlockOperation::create([weak, completion = std::move(completion)] {
        auto self = weak.lock();
        if (!self) {
            if (completion)
                completion(false);
            return;
        }
        self->loadContactImagesAndLinksWithCompletionBlock(completion);
    });
    load->setName(QStringLiteral("LoadContactImagesAndLinks"));
    if (dependency)
        load->addDependency(dependency);
    m_queue.addOperation(load);
}

void ContactsSyncController::loadContactImagesAndLinksWithCompletionBlock(const std::function<void(bool)> &completion)
{
    int state = 2;
    m_permissions.requestContactsPermissionWithCompletionHandler([&](int s) { state = s; });
    if (state != 1) {
        if (completion)
            completion(false);
        return;
    }
    const bool hasPublicContacts = loadContactImagesAndLinksWithPermission();
    QDLogInfo(QStringLiteral("ContactsSyncController - loadContactImagesAndLinksWithCompletionBlock finished - calling "
                             "completionHandler with hasPublicContacts = %1")
                  .arg(int(hasPublicContacts)));
    if (!hasPublicContacts) {
        if (completion)
            completion(false);
        return;
    }
    m_loadedSomePublicContacts = true;
    const std::weak_ptr<ContactsSyncController> weak = weak_from_this();
    platform::core::dispatchAsyncMain([weak, completion] {
        NotificationCenter::defaultCenter().post(NotificationContactsLinkAndImageLoadFinished);
        auto self = weak.lock();
        if (!self) {
            if (completion)
                completion(false);
            return;
        }
        self->syncPersonsListForChangeType(UpdateContactInfo, [weak, completion](bool saved) {
            platform::core::dispatchAsyncMain([weak, completion, saved] {
                NotificationCenter::defaultCenter().post(NotificationContactsInformationSyncFinished, nullptr,
                                                         {{ContactsInformationSyncSavedKey, saved}});
                auto self = weak.lock();
                if (completion)
                    completion(self && self->m_loadedSomePublicContacts.load());
            });
        });
    });
}

bool ContactsSyncController::loadContactImagesAndLinksWithPermission()
{
    const ContextPtr context = m_backgroundContext;
    if (!context)
        return false;
    const QList<Person *> people = Person::getAllNonPrivatePersonsWithContext(context.get());
    SharedSettingController::sharedSettings().loadAllContactHashesForAddressBook();
    if (people.isEmpty())
        return false;
    globalDontFetchFromDropBox = true;
    for (Person *person : people) {
        if (m_syncingContactsInBackgroundDontLoadRecord.load())
            continue;
        context->performAndWait([&] {
            if (m_isRestoringData.load())
                return;
            m_bridge->loadRecordID(*person);
            m_bridge->loadImageRecord(*person);
            context->refreshObject(person, false);
        });
    }
    return true;
}

void ContactsSyncController::syncPersonsListForChangeType(int kind, std::function<void(bool)> completion)
{
    globalDontFetchFromDropBox = true;
    m_syncingContactsInBackgroundDontLoadRecord = true;
    const std::weak_ptr<ContactsSyncController> weak = weak_from_this();
    m_queue.addOperation([weak, kind, completion = std::move(completion)] {
        auto self = weak.lock();
        if (!self) {
            if (completion)
                completion(false);
            return;
        }
        self->syncPersonsListWithContactsWithTypeOfChange(kind, completion);
    });
}

void ContactsSyncController::syncPersonsListWithContactsWithTypeOfChange(int kind,
                                                                         const std::function<void(bool)> &completion)
{
    int state = 2;
    if (!m_isRestoringData.load())
        m_permissions.requestContactsPermissionWithCompletionHandler([&](int s) { state = s; });
    if (m_isRestoringData.load() || state != 1) {
        m_syncingContactsInBackgroundDontLoadRecord = false;
        globalDontFetchFromDropBox = false;
        if (completion)
            completion(false);
        return;
    }
    const ContextPtr context = m_backgroundContext;
    const QList<Person *> people = kind == UpdateContactInfo ? Person::getAllNonPrivatePersonsWithContext(context.get())
                                                             : Person::getAllContactsInDBWithMOC(context.get());
    context->performAndWait([&] {
        for (Person *person : people) {
            if (m_isRestoringData.load())
                break;
            if (kind == RemakeSortingName) {
                person->remakeSortingName();
            } else if (kind == RemakeDisplayName) {
                person->remakeDisplayName();
            } else if (!m_bridge->checkAndUpdateContactInfo(*person)) {
                context->refreshObject(person, false);
            }
        }
    });
    finishPass(!people.isEmpty(), completion);
}

void ContactsSyncController::finishPass(bool hadContacts, const std::function<void(bool)> &completion)
{
    const ContextPtr context = m_backgroundContext;
    bool saved = false;
    bool work = false;
    context->performAndWait([&] {
        work = !m_isRestoringData.load() && hadContacts && context->hasChanges();
        if (!work) {
            QDLogInfo(QStringLiteral("❗️ ContactsSyncController: syncPersonsListWithContacts - nothing to save ❗️"));
            return;
        }
        platform::core::QDError error;
        if (!context->save(&error)) {
            QDLogError(QStringLiteral("🚨🚨 ContactsSyncController: syncPersonsList - exception = %1 🚨🚨")
                           .arg(error.toString()));
            return;
        }
        QDLogInfo(QStringLiteral("syncPersonsList - Private context saved"));
        bool parentSaved = false;
        m_mainContext->performAndWait([&] {
            platform::core::QDError parentError;
            parentSaved = m_mainContext->save(&parentError);
            if (!parentSaved)
                QDLogError(QStringLiteral("🚨🚨 ContactsSyncController: syncPersonsList - exception = %1 🚨🚨")
                               .arg(parentError.toString()));
        });
        if (parentSaved) {
            QDLogInfo(QStringLiteral("❗️ContactsSyncController: syncPersonsList - Parent context saved❗️"));
            saved = true;
        }
    });
    resetPrivateContext();
    platform::core::dispatchAsyncMain([completion, saved] {
        if (completion)
            completion(saved);
    });
}

void ContactsSyncController::resetPrivateContext()
{
    ++m_resetCount;
    const ContextPtr context = m_backgroundContext;
    if (context)
        context->performAndWait([context] { context->reset(); });
}

void ContactsSyncController::loadImageReferenceWithObjectIDs(const QList<platform::store::ManagedObjectID> &ids,
                                                             std::function<void(bool)> completion)
{
    const std::weak_ptr<ContactsSyncController> weak = weak_from_this();
    m_queue.addOperation([weak, ids, completion = std::move(completion)] {
        auto self = weak.lock();
        if (self) {
            const ContextPtr context = self->m_backgroundContext;
            int count = 0;
            for (const platform::store::ManagedObjectID &id : ids) {
                context->performAndWait([&] {
                    if (auto *person = dynamic_cast<Person *>(context->existingObjectWithID(id))) {
                        self->m_bridge->loadRecordID(*person);
                        self->m_bridge->loadImageRecord(*person);
                        context->refreshObject(person, false);
                    }
                });
                // Resetting every so often keeps memory flat over a large import.
                if (++count % ContactsPerReset == 0)
                    self->resetPrivateContext();
            }
            self->resetPrivateContext();
        }
        platform::core::dispatchAsyncMain([completion] {
            if (completion)
                completion(true);
        });
    });
}

void ContactsSyncController::watchAddressBookChanges()
{
    if (!m_book || m_bookConnection)
        return;
    m_book->startWatching();
    m_changeTimer = new QTimer();
    m_changeTimer->setSingleShot(true);
    m_changeTimer->setInterval(ChangeDebounceMs);
    if (QCoreApplication::instance())
        m_changeTimer->moveToThread(QCoreApplication::instance()->thread());
    const std::weak_ptr<ContactsSyncController> weak = weak_from_this();
    QObject::connect(m_changeTimer, &QTimer::timeout, m_changeTimer, [weak] {
        auto self = weak.lock();
        if (!self)
            return;
        self->syncPersonsListForChangeType(UpdateContactInfo, [](bool saved) {
            NotificationCenter::defaultCenter().postOnMain(NotificationContactsInformationSyncFinished, nullptr,
                                                           {{ContactsInformationSyncSavedKey, saved}});
        });
        SharedSettingController::sharedSettings().updateDeviceInfoDictionary();
    });
    QPointer<QTimer> timer = m_changeTimer;
    m_bookConnection = QObject::connect(m_book.get(), &platform::contacts::AddressBook::changedExternally, m_changeTimer,
                                        [timer](const QStringList &, const QStringList &, const QStringList &) {
                                            if (timer)
                                                timer->start();
                                        });
}

void ContactsSyncController::cloudKitProcessStart()
{
    QDLogInfo(QStringLiteral("ContactsSyncController: cloudKitProcessStart - setting isRestoring to YES"));
    m_isRestoringData = true;
}

void ContactsSyncController::cloudKitProcessFinished()
{
    QDLogInfo(QStringLiteral("ContactsSyncController: cloudKitProcessFinished ... set isRestoring to NO"));
    m_isRestoringData = false;
}

void ContactsSyncController::prepareForDBRestore()
{
    m_isRestoringData = true;
}
