#include "Mac/ContactPage/ContactFilesViewControllerMac.h"

#include "Mac/Journal/FilesCollectionController.h"
#include "Mac/Journal/FilesGridModel.h"
#include "Mac/Shell/CustomNSCollectionView.h"
#include "Mac/Shell/PlainTextLabel.h"
#include "SharedAppGlobals.h"

#include "QuendelKit/Entities/Person.h"

#include "platform/store/ManagedObjectContext.h"

#include <QApplication>
#include <QClipboard>
#include <QKeyEvent>
#include <QMimeData>
#include <QVBoxLayout>

ContactFilesViewControllerMac::ContactFilesViewControllerMac(Person *person, QWidget *parent)
    : CommonListViewMac(NibName, person, parent)
{
    setObjectName(NibName);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    std::shared_ptr<platform::store::ManagedObjectContext> context;
    if (person && person->managedObjectContext())
        context = person->managedObjectContext()->shared_from_this();
    m_controller = new FilesCollectionController(std::move(context), person, false, this);
    CustomNSCollectionView *collection = m_controller->filesCollection();
    collection->setDelegate(this);
    layout->addWidget(collection);
    setScrollView(collection);
    m_controller->setAddHandler([this] { showAddFilesOptions(nullptr); });
    m_controller->setChangeHandler([this] { refreshFiller(); });
    m_filler = new PlainTextLabel(FillerText);
    m_filler->setObjectName(QStringLiteral("fillerText"));
    m_filler->setAlignment(Qt::AlignCenter);
    // Drops over the filler reach the grid beneath it.
    m_filler->setAttribute(Qt::WA_TransparentForMouseEvents);
    awakeFromNib();
}

ContactFilesViewControllerMac::~ContactFilesViewControllerMac()
{
    delete m_filler;
}

CustomNSCollectionView *ContactFilesViewControllerMac::filesCollection() const
{
    return m_controller->filesCollection();
}

void ContactFilesViewControllerMac::awakeFromNib()
{
    CommonListViewMac::awakeFromNib();
    if (m_loadedArrayController)
        return;
    m_loadedArrayController = true;
    m_controller->initializeObserver();
    refreshFiller();
}

void ContactFilesViewControllerMac::refreshFiller()
{
    // The filler goes with the first file and does not come back.
    if (m_controller->fileCount() > 0) {
        if (showingFillerText())
            removeFillerText();
        return;
    }
    if (!showingFillerText() && !m_filler->parent())
        addTextFieldForFillerText(m_filler, filesCollection());
}

void ContactFilesViewControllerMac::showAddFilesOptions(QObject *)
{
    m_controller->showOpenPanelForPerson(detailPerson());
}

void ContactFilesViewControllerMac::deleteSelectedRow()
{
    m_controller->deleteSelectedRow();
}

bool ContactFilesViewControllerMac::canPaste() const
{
    const QMimeData *data = QApplication::clipboard()->mimeData();
    return data && data->hasUrls();
}

void ContactFilesViewControllerMac::paste(QObject *)
{
    if (!filesCollection()->isCurrentlyVisible())
        return;
    const QStringList paths = FileDropImport::localFilePaths(QApplication::clipboard()->mimeData());
    if (paths.isEmpty())
        return;
    m_controller->importPaths(paths, detailPerson());
    SharedAppGlobals::sharedAppGlobals().logAnalyticsEvent(
        QStringLiteral("SaveNewFile"), {{QStringLiteral("Type"), QStringLiteral("Paste")}, {QStringLiteral("Page"), QStringLiteral("ContactFiles")}});
}

bool ContactFilesViewControllerMac::hasTableviewFirstSelection() const
{
    const QList<QModelIndex> files = m_controller->gridModel()->allFiles();
    const QModelIndex selected = m_controller->selectedIndex();
    return !selected.isValid() || (!files.isEmpty() && files.first() == selected);
}

int ContactFilesViewControllerMac::arrangedObjectCount() const
{
    return m_controller->fileCount();
}

void ContactFilesViewControllerMac::keyDown(QKeyEvent *event)
{
    if (m_controller->keyDown(event))
        return;
    const Qt::KeyboardModifiers modifiers = event->modifiers() & ~Qt::KeypadModifier;
    // Up from the first row (or from no row) hands the keyboard back to the tab buttons.
    if (event->key() == Qt::Key_Up && modifiers == Qt::NoModifier && hasTableviewFirstSelection()) {
        m_controller->selectIndex({});
        if (contactsDelegate())
            contactsDelegate()->subviewPressedUpButton();
        return;
    }
    event->ignore();
}
