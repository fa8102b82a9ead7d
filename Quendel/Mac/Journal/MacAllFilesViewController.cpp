#include "Mac/Journal/MacAllFilesViewController.h"

#include "AppDelegate.h"
#include "Mac/Journal/FilesCollectionController.h"
#include "Mac/Journal/FilesGridModel.h"
#include "Mac/Journal/JournalRowActions.h"
#include "Mac/Shell/CustomNSCollectionView.h"
#include "Mac/Shell/PlainTextLabel.h"
#include "SharedAppGlobals.h"

#include "QuendelKit/Entities/FileAttachments.h"
#include "QuendelKit/Entities/Person.h"
#include "QuendelKit/Infra/QDLog.h"

#include "Classes/QDAlertDisplayMac.h"

#include "platform/core/Dispatch.h"
#include "platform/store/ManagedObjectContext.h"
#include "platform/ui/Popover.h"

#include <QApplication>
#include <QClipboard>
#include <QKeyEvent>
#include <QMimeData>
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
    m_controller->setReassignHandler([self](FileAttachments *file) {
        if (self)
            self->showReassignPopover(file);
    });
    m_controller->setAddHandler([self] {
        if (self)
            self->newFilesButtonPressed(AppDelegate::instance() ? nullptr : self.data());
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
    setContactsFilterPredicate(JournalRowActions::contactsFilterForGroupChange(*this, notification, true));
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

// ---- The contact picker ----

void MacAllFilesViewController::showPicker(QWidget *anchor)
{
    JournalRowActions::showContactPicker(this, this, QRect(), anchor ? anchor : filesCollection(),
                                         platform::ui::Popover::Edge::Bottom);
}

void MacAllFilesViewController::newFilesButtonPressed(QWidget *anchor)
{
    m_savedDrop.reset();
    m_reassignFileObject = nullptr;
    showPicker(anchor);
}

void MacAllFilesViewController::showReassignPopover(FileAttachments *file)
{
    if (!file)
        return;
    m_savedDrop.reset();
    showPicker(filesCollection());
    m_reassignFileObject = file;
}

bool MacAllFilesViewController::canPaste() const
{
    const QMimeData *data = QApplication::clipboard()->mimeData();
    return data && data->hasUrls();
}

void MacAllFilesViewController::paste()
{
    if (!filesCollection()->isCurrentlyVisible())
        return;
    const QStringList paths = FileDropImport::localFilePaths(QApplication::clipboard()->mimeData());
    m_reassignFileObject = nullptr;
    showPicker(nullptr);
    // A paste with no file in it leaves the picker to the open panel.
    if (paths.isEmpty())
        return;
    m_savedDrop = std::make_unique<QMimeData>();
    QList<QUrl> urls;
    for (const QString &path : paths)
        urls << QUrl::fromLocalFile(path);
    m_savedDrop->setUrls(urls);
}

bool MacAllFilesViewController::acceptFileDrop(const QMimeData *data)
{
    if (!FileDropImport::canImport(data))
        return false;
    SharedAppGlobals::sharedAppGlobals().logAnalyticsEvent(
        QStringLiteral("AcceptNewFile"), {{QStringLiteral("Type"), QStringLiteral("Drag")}, {QStringLiteral("Page"), QStringLiteral("AllFiles")}});
    m_reassignFileObject = nullptr;
    showPicker(nullptr);
    m_savedDrop = std::make_unique<QMimeData>();
    for (const QString &format : data->formats())
        m_savedDrop->setData(format, data->data(format));
    return true;
}

void MacAllFilesViewController::popoverDidClose(platform::ui::Popover *)
{
    m_savedDrop.reset();
    m_reassignFileObject = nullptr;
}

void MacAllFilesViewController::finishedSelectPopoverController(SelectContactsViewControllerMac *,
                                                                const QList<platform::store::ManagedObjectID> &ids,
                                                                bool)
{
    if (ids.isEmpty() || !managedObjectContext())
        return;
    // A contact that cannot be found leaves the files without one.
    auto *person = dynamic_cast<Person *>(managedObjectContext()->existingObjectWithID(ids.first()));
    std::unique_ptr<QMimeData> saved = std::move(m_savedDrop);
    FileAttachments *reassign = m_reassignFileObject;
    m_reassignFileObject = nullptr;
    if (contentPopover() && contentPopover()->isShown())
        contentPopover()->closePopover();
    if (saved) {
        SharedAppGlobals::sharedAppGlobals().logAnalyticsEvent(
            QStringLiteral("SaveNewFile"),
            {{QStringLiteral("Type"), QStringLiteral("PasteOrDrag")}, {QStringLiteral("Page"), QStringLiteral("AllFiles")}});
        m_controller->importMimeData(saved.get(), person);
        return;
    }
    if (reassign) {
        if (!person)
            return;
        // A move that cannot be saved is undone and reported.
        platform::store::ManagedObjectContext *context = reassign->managedObjectContext();
        reassign->setPerson(person);
        platform::core::QDError error;
        if (context && !context->save(&error)) {
            context->rollback();
            QDAlertDisplayMac::sharedAlert()->showAlertWithError(error);
        }
        return;
    }
    SharedAppGlobals::sharedAppGlobals().logAnalyticsEvent(QStringLiteral("ShowAddFile"),
                                                           {{QStringLiteral("Page"), QStringLiteral("AllFiles")}});
    m_controller->showOpenPanelForPerson(person);
}
