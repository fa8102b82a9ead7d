#include "Mac/Journal/MacAllFilesViewController.h"

#include "AppDelegate.h"
#include "Mac/Journal/FilesCollectionController.h"
#include "Mac/Journal/FilesGridModel.h"
#include "Mac/Shell/CustomNSCollectionView.h"
#include "Mac/Shell/PlainTextLabel.h"
#include "SharedAppGlobals.h"

#include "QuendelKit/Entities/FileAttachments.h"
#include "QuendelKit/Entities/Person.h"
#include "QuendelKit/Entities/PrivateGroups.h"
#include "QuendelKit/Infra/QDLog.h"

#include "platform/core/Dispatch.h"
#include "platform/store/ManagedObjectContext.h"

#include <QKeyEvent>
#include <QVBoxLayout>

using platform::core::Notification;

MacAllFilesViewController::MacAllFilesViewController(ContextPtr context, QWidget *parent)
    : MainWindowManagerViewController(NibName, context, parent)
{
    setObjectName(NibName);
    setWindowTitle(QStringLiteral("Quendel - Files"));
    m_controller = new FilesCollectionController(std::move(context), nullptr, true, this);
    m_openContactPage = [](Person *person, int tab) {
        if (AppDelegate *delegate = AppDelegate::instance())
            delegate->switchToContactsPageWithPerson(person, tab);
    };
}

MacAllFilesViewController::~MacAllFilesViewController() = default;

FilesListDataSource *MacAllFilesViewController::filesListDataSource() const
{
    return m_controller->filesListDataSource();
}

CustomNSCollectionView *MacAllFilesViewController::filesCollection() const
{
    return m_controller->filesCollection();
}

void MacAllFilesViewController::loadView()
{
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    CustomNSCollectionView *collection = m_controller->filesCollection();
    collection->setObjectName(QStringLiteral("filesCollection"));
    collection->setAccessibleName(QStringLiteral("All Files"));
    collection->setDelegate(this);
    layout->addWidget(collection);
    m_filler = new PlainTextLabel(FillerText, this);
    m_filler->setObjectName(QStringLiteral("fillerText"));
    m_filler->setAlignment(Qt::AlignCenter);
    m_filler->hide();
    layout->addWidget(m_filler);
    setFillerTextView(m_filler);

    // A drop lands on the contact of the section it falls in; with no section there is no contact to take.
    QPointer<MacAllFilesViewController> self(this);
    m_controller->setDropTarget([self](int section, Person **person) {
        if (!self || section < 0)
            return false;
        *person = self->m_controller->gridModel()->personOfSection(section);
        return true;
    });
    m_controller->setGoToContactHandler([self](Person *person) {
        if (self)
            self->goToContactPage(person);
    });
    m_controller->setChangeHandler([self] {
        if (self)
            self->refreshFiller();
    });
}

void MacAllFilesViewController::awakeFromNib()
{
    if (m_observing)
        return;
    m_observing = true;
    QDLogInfo(QStringLiteral("MacAllFiles page - awakeFromNib"));
    m_observers.emplace_back(GroupChangeNotification, nullptr,
                             [this](const Notification &notification) { groupChangedNotification(notification); });
    QPointer<MacAllFilesViewController> self(this);
    platform::core::dispatchAsyncMain([self] {
        if (!self)
            return;
        SharedAppGlobals::sharedAppGlobals().logAnalyticsEvent(QStringLiteral("MainWindowLoad"),
                                                               {{QStringLiteral("Page"), QStringLiteral("AllFiles")}});
        self->m_controller->initializeObserver();
        self->refreshFiller();
    });
}

void MacAllFilesViewController::refreshFiller()
{
    if (!m_filler)
        return;
    const bool empty = m_controller->fileCount() == 0 && !combinedFilterPredicate().has_value();
    m_filler->setVisible(empty);
    setShowingFillerText(empty);
}

void MacAllFilesViewController::applyFilters()
{
    if (FilesListDataSource *source = filesListDataSource())
        source->setPredicateAndUpdateList(combinedFilterPredicate());
}

void MacAllFilesViewController::searchResultsWithString(const QString &text)
{
    if (text.isEmpty())
        setSearchPredicate(std::nullopt);
    else
        setSearchPredicate(filesListDataSource()->baseSearchPredicateWithSearch(text));
    applyFilters();
}

void MacAllFilesViewController::groupChangedNotification(const Notification &notification)
{
    const QVariantMap &info = notification.userInfo;
    if (info.contains(QStringLiteral("GroupChangePrivate"))) {
        auto *group = dynamic_cast<PrivateGroups *>(
            info.value(QStringLiteral("GroupChangePrivate")).value<platform::store::ManagedObject *>());
        setContactsFilterPredicate(group ? std::optional<Predicate>(predicateForPrivateGroup(group)) : std::nullopt);
    } else if (info.contains(QStringLiteral("GroupChangePublic"))) {
        setContactsFilterPredicate(predicateForPublicGroup(info.value(QStringLiteral("GroupChangePublic")).toStringList()));
    } else {
        setContactsFilterPredicate(std::nullopt);
    }
    applyFilters();
}

void MacAllFilesViewController::prepareForDBRestore(const Notification &)
{
    setSearchPredicate(std::nullopt);
    setManagedObjectContext(nullptr);
}

void MacAllFilesViewController::databaseRestoredNotification(const Notification &notification)
{
    auto *context = static_cast<platform::store::ManagedObjectContext *>(const_cast<void *>(notification.object));
    if (!context)
        return;
    setManagedObjectContext(context->shared_from_this());
    m_controller->replaceContext(context->shared_from_this());
    refreshFiller();
}

void MacAllFilesViewController::performDelete(QObject *)
{
    m_controller->deleteSelectedRow();
}

void MacAllFilesViewController::keyDown(QKeyEvent *event)
{
    if (!m_controller->keyDown(event))
        event->ignore();
}

void MacAllFilesViewController::handleRightKeyFromSidebar()
{
    const QList<QModelIndex> files = m_controller->gridModel()->allFiles();
    if (files.isEmpty())
        return;
    filesCollection()->setFocus();
    m_controller->selectIndex(files.first());
}

void MacAllFilesViewController::goToContactPage(Person *person)
{
    if (person && m_openContactPage)
        m_openContactPage(person, ContactPageFilesTab);
}

void MacAllFilesViewController::updateCollectionView()
{
    filesCollection()->viewport()->update();
}
