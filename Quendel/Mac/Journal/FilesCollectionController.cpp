#include "Mac/Journal/FilesCollectionController.h"

#include "AppDelegate.h"
#include "Classes/QDAlertDisplayMac.h"
#include "Mac/Journal/FilePreviewWindow.h"
#include "Mac/Journal/FilesGridModel.h"
#include "Mac/Journal/QDListItemModel.h"
#include "Mac/Shell/CustomNSCollectionView.h"
#include "SharedAppGlobals.h"

#include "QuendelKit/Entities/FileAttachments.h"
#include "QuendelKit/Entities/Person.h"
#include "QuendelKit/Infra/QDLog.h"

#include "platform/core/Dispatch.h"
#include "platform/core/UserDefaults.h"
#include "platform/store/ManagedObjectContext.h"
#include "platform/ui/AlertPresenter.h"
#include "platform/ui/FilePanel.h"

#include <QContextMenuEvent>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QPainter>
#include <QStyledItemDelegate>

namespace {

bool defaultsSay(const QString &key)
{
    auto defaults = platform::core::UserDefaults::standardUserDefaults();
    return defaults->objectForKey(key).isValid() && defaults->boolForKey(key);
}

// A link kept in place of a file opens only as a web or mail address; a bare host gets "http://".
QUrl safeExternalUrl(const QString &text)
{
    QUrl url(text.trimmed());
    if (url.scheme().isEmpty())
        url = QUrl(QStringLiteral("http://") + text.trimmed());
    const QString scheme = url.scheme().toLower();
    if (!url.isValid() || (scheme != QLatin1String("http") && scheme != QLatin1String("https") &&
                           scheme != QLatin1String("mailto")))
        return QUrl();
    return url;
}

// How an item looks: a section title across the grid, or a file's picture over its name and date; a file's
// name is edited in place without its extension.
class FileItemDelegate : public QStyledItemDelegate
{
public:
    FileItemDelegate(FilesGridModel *grid, std::function<bool(FileAttachments *, const QString &)> rename,
                     QObject *parent)
        : QStyledItemDelegate(parent), m_grid(grid), m_rename(std::move(rename))
    {}

    void paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const override
    {
        if (!m_grid->isHeader(index)) {
            QStyledItemDelegate::paint(painter, option, index);
            return;
        }
        painter->save();
        QFont bold = option.font;
        bold.setBold(true);
        painter->setFont(bold);
        painter->setPen(option.palette.color(QPalette::Text));
        const QRect text = option.rect.adjusted(8, 0, -8, 0);
        painter->drawText(text, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine,
                          option.fontMetrics.elidedText(index.data().toString(), Qt::ElideRight, text.width()));
        painter->setPen(option.palette.color(QPalette::Mid));
        painter->drawLine(option.rect.bottomLeft(), option.rect.bottomRight());
        painter->restore();
    }

    QSize sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const override
    {
        const QVariant hint = index.data(Qt::SizeHintRole);
        return hint.isValid() ? hint.toSize() : QStyledItemDelegate::sizeHint(option, index);
    }

    QWidget *createEditor(QWidget *parent, const QStyleOptionViewItem &, const QModelIndex &index) const override
    {
        auto *editor = new QLineEdit(parent);
        editor->setAccessibleName(QStringLiteral("File name"));
        editor->setProperty("fileItem", QVariant::fromValue(static_cast<void *>(m_grid->fileAt(index))));
        return editor;
    }

    void setEditorData(QWidget *editor, const QModelIndex &index) const override
    {
        m_item = FileCollectionItem(m_grid->fileAt(index));
        static_cast<QLineEdit *>(editor)->setText(m_item.startEditingFilename());
    }

    void setModelData(QWidget *editor, QAbstractItemModel *, const QModelIndex &) const override
    {
        // Return has done the rename already; leaving the field any other way keeps the old name.
        Q_UNUSED(editor);
    }

    void updateEditorGeometry(QWidget *editor, const QStyleOptionViewItem &option, const QModelIndex &) const override
    {
        QRect rect = option.rect;
        rect.setTop(rect.bottom() - 2 * option.fontMetrics.height() - 8);
        rect.setHeight(option.fontMetrics.height() + 8);
        editor->setGeometry(rect);
    }

protected:
    bool eventFilter(QObject *object, QEvent *event) override
    {
        auto *editor = qobject_cast<QLineEdit *>(object);
        if (editor && event->type() == QEvent::KeyPress) {
            auto *key = static_cast<QKeyEvent *>(event);
            if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
                // A name that is refused (empty, or a rename that failed and was reported) keeps the edit.
                if (m_rename(m_item.getFileObject(), editor->text())) {
                    m_item.controlTextDidEndEditing();
                    emit const_cast<FileItemDelegate *>(this)->closeEditor(editor, QAbstractItemDelegate::NoHint);
                }
                return true;
            }
            if (key->key() == Qt::Key_Escape) {
                editor->setText(m_item.cancelOperation());
                emit closeEditor(editor, QAbstractItemDelegate::RevertModelCache);
                return true;
            }
        }
        return QStyledItemDelegate::eventFilter(object, event);
    }

    void initStyleOption(QStyleOptionViewItem *option, const QModelIndex &index) const override
    {
        QStyledItemDelegate::initStyleOption(option, index);
        if (m_grid->isHeader(index))
            return;
        const QString date = index.data(FilesGridModel::DateTextRole).toString();
        if (!date.isEmpty())
            option->text += QChar(QChar::LineSeparator) + date;
        option->decorationSize = QSize(64, 64);
        option->displayAlignment = Qt::AlignHCenter | Qt::AlignTop;
        option->textElideMode = Qt::ElideMiddle;
    }

private:
    FilesGridModel *m_grid;
    std::function<bool(FileAttachments *, const QString &)> m_rename;
    mutable FileCollectionItem m_item;
};

} // namespace

FilesCollectionController::FilesCollectionController(std::shared_ptr<platform::store::ManagedObjectContext> context,
                                                     Person *person, bool isAllFilesPage, QWidget *host)
    : QObject(host), m_context(std::move(context)), m_person(person), m_isAllFilesPage(isAllFilesPage), m_host(host)
{
    m_source = std::make_unique<FilesListDataSource>(m_context, person);
    m_listModel = new QDListItemModel(m_source.get(), this);
    m_listModel->setForwardDelegate(this);
    m_grid = new FilesGridModel(m_listModel, isAllFilesPage, this);
    m_grid->setDropHandler([this](const QMimeData *data, int section) { return dropData(data, section); });

    m_collection = new CustomNSCollectionView(host);
    m_collection->setObjectName(QStringLiteral("filesCollection"));
    m_collection->setAccessibleName(QStringLiteral("Files"));
    m_collection->setViewMode(QListView::IconMode);
    m_collection->setMovement(QListView::Static);
    m_collection->setFlow(QListView::LeftToRight);
    m_collection->setWrapping(true);
    m_collection->setResizeMode(QListView::Adjust);
    m_collection->setUniformItemSizes(false);
    m_collection->setSpacing(6);
    m_collection->setWordWrap(true);
    m_collection->setIconSize(QSize(64, 64));
    m_collection->setSelectionMode(QAbstractItemView::SingleSelection);
    m_collection->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_collection->setDragDropMode(QAbstractItemView::DragDrop);
    m_collection->setDefaultDropAction(Qt::CopyAction);
    m_collection->setDragEnabled(true);
    m_collection->setAcceptDrops(true);
    m_collection->viewport()->setAcceptDrops(true);
    m_collection->setDropIndicatorShown(true);
    m_collection->setContextMenuPolicy(Qt::DefaultContextMenu);
    m_collection->setModel(m_grid);
    m_collection->setItemDelegate(new FileItemDelegate(
        m_grid, [this](FileAttachments *file, const QString &text) { return renameFile(file, text); }, m_collection));
    m_collection->viewport()->installEventFilter(this);
    m_collection->installEventFilter(this);

    connect(m_grid, &QAbstractItemModel::modelAboutToBeReset, this, [this] {
        m_selectionBeforeReload.clear();
        if (QItemSelectionModel *selection = m_collection->selectionModel())
            for (const QModelIndex &index : selection->selectedIndexes())
                if (FileAttachments *file = m_grid->fileAt(index))
                    m_selectionBeforeReload << file;
    });
    connect(m_grid, &QAbstractItemModel::modelReset, this, [this] {
        for (FileAttachments *file : std::as_const(m_selectionBeforeReload)) {
            const QModelIndex index = m_grid->indexForFile(file);
            if (index.isValid())
                selectIndex(index);
        }
        m_selectionBeforeReload.clear();
    });
    connect(m_collection, &QAbstractItemView::doubleClicked, this, &FilesCollectionController::doubleClicked);

    // A file that finished arriving from the cloud container shows its picture; a failed one changes nothing.
    QPointer<FilesCollectionController> self(this);
    m_downloadObserver = platform::core::ScopedObserver(
        NSManagedObjectQDBase::CloudFileDownloadedNotification, nullptr, [self](const platform::core::Notification &n) {
            const QVariantMap info = n.userInfo;
            platform::core::dispatchAsyncMain([self, info] {
                if (!self || info.contains(NSManagedObjectQDBase::FileDownloadErrorKey))
                    return;
                const auto *record = info.value(NSManagedObjectQDBase::DownloadedFileKey).value<NSManagedObjectQDBase *>();
                self->m_grid->refreshFile(record);
            });
        });
}

FilesCollectionController::~FilesCollectionController()
{
    if (m_source)
        m_source->setDelegate(nullptr);
    m_listModel->setForwardDelegate(nullptr);
}

void FilesCollectionController::initializeObserver()
{
    if (m_started || !m_source)
        return;
    m_started = true;
    m_source->setDelegate(m_listModel);
    m_source->initializeObserver();
}

void FilesCollectionController::replaceContext(std::shared_ptr<platform::store::ManagedObjectContext> context)
{
    m_context = std::move(context);
    if (m_source)
        m_source->setDelegate(nullptr);
    m_previewed = nullptr;
    auto source = std::make_unique<FilesListDataSource>(m_context, m_person);
    auto *listModel = new QDListItemModel(source.get(), this);
    listModel->setForwardDelegate(this);
    auto *grid = new FilesGridModel(listModel, m_isAllFilesPage, this);
    grid->setDropHandler([this](const QMimeData *data, int section) { return dropData(data, section); });
    m_collection->setModel(grid);
    delete m_grid;
    delete m_listModel;
    m_grid = grid;
    m_listModel = listModel;
    m_source = std::move(source);
    m_started = false;
    initializeObserver();
}

void FilesCollectionController::reload()
{
    m_grid->setHeaderWidth(m_collection->viewport()->width() - 2 * m_collection->spacing() - 4);
    m_grid->reload();
    if (m_changed)
        m_changed();
}

QWidget *FilesCollectionController::window() const
{
    return m_host ? m_host->window() : nullptr;
}

int FilesCollectionController::fileCount() const
{
    return int(m_grid->allFiles().size());
}

FileAttachments *FilesCollectionController::selectedFile() const
{
    return m_grid->fileAt(selectedIndex());
}

QModelIndex FilesCollectionController::selectedIndex() const
{
    QItemSelectionModel *selection = m_collection->selectionModel();
    if (!selection)
        return {};
    const QModelIndexList selected = selection->selectedIndexes();
    return selected.isEmpty() ? QModelIndex() : selected.first();
}

void FilesCollectionController::selectIndex(const QModelIndex &index)
{
    QItemSelectionModel *selection = m_collection->selectionModel();
    if (!selection)
        return;
    if (!index.isValid() || !m_grid->fileAt(index)) {
        selection->clearSelection();
        return;
    }
    selection->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect);
    m_collection->scrollTo(index);
}

void FilesCollectionController::selectFile(FileAttachments *file)
{
    selectIndex(m_grid->indexForFile(file));
}

// ---- Opening and previews ----

void FilesCollectionController::doubleClicked(const QModelIndex &index)
{
    FileAttachments *file = m_grid->fileAt(index);
    if (!file)
        return;
    selectIndex(index);
    openFile(file);
}

void FilesCollectionController::openFile(FileAttachments *file)
{
    if (!file)
        return;
    if (!file->fileExternalURL().isEmpty()) {
        const QUrl link = safeExternalUrl(file->fileExternalURL());
        if (link.isValid())
            FilePreviewWindow::openUrl(link);
        else
            QDAlertDisplayMac::sharedAlert()->showAlertWithTitle(
                QStringLiteral("Error"), QStringLiteral("This link cannot be opened."), window());
        return;
    }
    m_previewed = file;
    FilePreviewWindow *preview = FilePreviewWindow::shared();
    QPointer<FilesCollectionController> self(this);
    preview->setStepHandler([self](int direction) {
        if (self)
            self->stepPreview(direction);
    });
    preview->showFile(file->fullFileURL().toLocalFile(), file->fileCheckName());
}

bool FilesCollectionController::isPreviewShown() const
{
    FilePreviewWindow *preview = FilePreviewWindow::shared(false);
    return preview && preview->isVisible() && m_previewed;
}

void FilesCollectionController::togglePreview()
{
    FilePreviewWindow *preview = FilePreviewWindow::shared(false);
    if (preview && preview->isVisible()) {
        preview->close();
        return;
    }
    openFile(selectedFile());
}

void FilesCollectionController::stepPreview(int direction)
{
    // The preview steps through the files of one contact and stops at the first and last.
    const QModelIndex current = m_grid->indexForFile(m_previewed);
    if (!current.isValid())
        return;
    const QList<QModelIndex> files = m_grid->filesInSection(m_grid->sectionOf(current));
    const qsizetype at = files.indexOf(current);
    const qsizetype next = at + direction;
    if (at < 0 || next < 0 || next >= files.size())
        return;
    selectIndex(files.at(next));
    FileAttachments *file = m_grid->fileAt(files.at(next));
    if (file && file->fileExternalURL().isEmpty()) {
        m_previewed = file;
        FilePreviewWindow::shared()->showFile(file->fullFileURL().toLocalFile(), file->fileCheckName());
    }
}

// ---- Renaming ----

void FilesCollectionController::startEditingFilename(const QModelIndex &index)
{
    if (!m_grid->fileAt(index))
        return;
    selectIndex(index);
    m_collection->edit(index);
}

bool FilesCollectionController::renameFile(FileAttachments *file, const QString &text)
{
    if (!file)
        return false;
    FileCollectionItem item(file);
    item.startEditingFilename();
    platform::core::QDError error;
    if (item.textShouldEndEditing(text, &error)) {
        m_collection->setFocus();
        return true;
    }
    if (error)
        QDAlertDisplayMac::sharedAlert()->showAlertWithError(error);
    return false;
}

// ---- Deleting ----

void FilesCollectionController::deleteSelectedRow()
{
    if (!selectedFile())
        return;
    if (defaultsSay(DeleteFileDefaultsKey)) {
        deleteSelectedFile();
        return;
    }
    platform::ui::AlertSpec alert;
    alert.messageText = QStringLiteral("Delete File");
    alert.informativeText = QStringLiteral("Do you want to delete this File from your records?");
    alert.buttonTitles = {QStringLiteral("Delete"), QStringLiteral("No")};
    alert.showsSuppressionButton = true;
    QPointer<FilesCollectionController> self(this);
    FileAttachments *file = selectedFile();
    platform::ui::AlertPresenter::shared().beginSheet(alert, window(), [self, file](const platform::ui::AlertResult &result) {
        if (!self)
            return;
        if (result.returnCode() == platform::ui::AlertFirstButtonReturn && self->selectedFile() == file)
            self->deleteSelectedFile();
        if (result.suppressed)
            platform::core::UserDefaults::standardUserDefaults()->setBool(true, DeleteFileDefaultsKey);
    });
}

void FilesCollectionController::deleteSelectedFile()
{
    const QModelIndex index = selectedIndex();
    FileAttachments *file = m_grid->fileAt(index);
    if (!file || !file->managedObjectContext())
        return;
    const int section = m_grid->sectionOf(index);
    const qsizetype place = m_grid->filesInSection(section).indexOf(index);
    const QString sectionTitle = m_grid->sectionTitle(section);
    if (m_previewed == file)
        m_previewed = nullptr;
    platform::store::ManagedObjectContext *context = file->managedObjectContext();
    context->deleteObject(file);
    platform::core::QDError error;
    if (!context->save(&error)) {
        // The file stays: the record comes back and its stored file was never touched.
        context->rollback();
        reload();
        QDAlertDisplayMac::sharedAlert()->showAlertWithError(error);
        return;
    }
    // The file that took its place in the contact's files, or the one before it, or nothing.
    int newSection = -1;
    for (int s = 0; s < m_grid->sectionCount(); ++s)
        if (m_grid->sectionTitle(s) == sectionTitle)
            newSection = s;
    const QList<QModelIndex> remaining = newSection >= 0 ? m_grid->filesInSection(newSection) : QList<QModelIndex>();
    if (remaining.isEmpty()) {
        selectIndex({});
        return;
    }
    selectIndex(remaining.at(std::min<qsizetype>(place, remaining.size() - 1)));
}

// ---- E-mail ----

QUrl FilesCollectionController::temporaryCopyWithRealName(FileAttachments *file)
{
    const QString stored = file ? file->fullFileURL().toLocalFile() : QString();
    if (stored.isEmpty() || !QFileInfo(stored).isFile())
        return QUrl();
    QTemporaryDir folder(QDir(QDir::tempPath()).filePath(QStringLiteral("quendel-file-XXXXXX")));
    if (!folder.isValid())
        return QUrl();
    const QString copy = folder.filePath(FileDropImport::sanitizedFileName(file->fileCheckName()));
    if (!QFile::copy(stored, copy))
        return QUrl();
    // The copy outlives this call; the mail hand-off removes it later.
    folder.setAutoRemove(false);
    return QUrl::fromLocalFile(copy);
}

void FilesCollectionController::emailFile(FileAttachments *file)
{
    AppDelegate *delegate = AppDelegate::instance();
    if (!file || !delegate || file->fullFileURL().isEmpty())
        return;
    const QUrl copy = temporaryCopyWithRealName(file);
    if (!copy.isValid()) {
        QDAlertDisplayMac::sharedAlert()->showAlertWithTitle(
            QStringLiteral("Error"), QStringLiteral("The file \"%1\" could not be read.").arg(file->fileCheckName()), window());
        return;
    }
    const Person *person = file->person();
    delegate->sendEmailWithSubject(QStringLiteral("Quendel File - %1").arg(person ? person->displayName() : QString()),
                                   QString(), {copy}, {}, false, true);
}

// ---- Adding ----

FileDropImport::Result FilesCollectionController::importPaths(const QStringList &paths, Person *person)
{
    const FileDropImport::Result result =
        FileDropImport::importPaths(paths, person, m_context ? m_context.get() : nullptr);
    showImportResult(result);
    return result;
}

FileDropImport::Result FilesCollectionController::importMimeData(const QMimeData *data, Person *person)
{
    const FileDropImport::Result result =
        FileDropImport::importMimeData(data, person, m_context ? m_context.get() : nullptr);
    showImportResult(result);
    return result;
}

void FilesCollectionController::showImportResult(const FileDropImport::Result &result)
{
    FileDropImport::reportFailures(result, window());
}

void FilesCollectionController::showOpenPanelForPerson(Person *person)
{
    platform::ui::FilePanelSpec spec;
    spec.prompt = OpenPanelPrompt;
    spec.allowsMultipleSelection = true;
    QPointer<FilesCollectionController> self(this);
    platform::ui::FilePanelPresenter::shared().runOpenPanel(
        spec, window(), [self, person](const platform::ui::FilePanelAnswer &answer) {
            if (!self || !answer.accepted || answer.paths.isEmpty())
                return;
            const FileDropImport::Result result = self->importPaths(answer.paths, person);
            SharedAppGlobals::sharedAppGlobals().logAnalyticsEvent(
                QStringLiteral("SaveNewFile"),
                {{QStringLiteral("Type"), QStringLiteral("Import")},
                 {QStringLiteral("Page"), self->m_isAllFilesPage ? QStringLiteral("AllFiles") : QStringLiteral("ContactFiles")}});
            if (!result.ok() || result.added == 0)
                return;
            // The newest file of the contact is the one just added.
            FileAttachments *newest = nullptr;
            for (const QModelIndex &index : self->m_grid->allFiles()) {
                FileAttachments *file = self->m_grid->fileAt(index);
                if (file && file->person() == person &&
                    (!newest || file->createdAt() >= newest->createdAt()))
                    newest = file;
            }
            self->selectFile(newest);
            self->m_collection->setFocus();
        });
}

bool FilesCollectionController::dropData(const QMimeData *data, int section)
{
    Person *person = m_person;
    if (m_dropTarget && !m_dropTarget(section, &person))
        return false;
    SharedAppGlobals::sharedAppGlobals().logAnalyticsEvent(
        QStringLiteral("SaveNewFile"),
        {{QStringLiteral("Type"), QStringLiteral("Drag")},
         {QStringLiteral("Page"), m_isAllFilesPage ? QStringLiteral("AllFiles") : QStringLiteral("ContactFiles")}});
    // The drop ends before the import starts, so an alert about it does not run inside the drag.
    QPointer<FilesCollectionController> self(this);
    auto *copy = new QMimeData;
    for (const QString &format : data->formats())
        copy->setData(format, data->data(format));
    QMetaObject::invokeMethod(
        this,
        [self, copy, person] {
            std::unique_ptr<QMimeData> owned(copy);
            if (self)
                self->importMimeData(owned.get(), person);
        },
        Qt::QueuedConnection);
    return true;
}

// ---- Menu and keys ----

QMenu *FilesCollectionController::menuForIndex(const QModelIndex &index)
{
    FileAttachments *file = m_grid->fileAt(index);
    if (!file)
        return nullptr;
    // The menu acts on the file it was opened on, which is also the selection from now on.
    selectIndex(index);
    delete m_menu;
    auto *menu = new QMenu(m_collection);
    m_menu = menu;
    menu->setObjectName(QStringLiteral("fileItemMenu"));
    menu->setAccessibleName(QStringLiteral("File menu"));
    const QPersistentModelIndex row(index);
    for (const QString &command : FileCollectionItem::menuCommands(m_isAllFilesPage)) {
        QAction *action = menu->addAction(command);
        action->setObjectName(command);
        if (command == FileCollectionItem::OpenCommand) {
            connect(action, &QAction::triggered, this, [this, file] {
                QDLogInfo(QStringLiteral("FileCollectionItem - open action"));
                openFile(file);
            });
        } else if (command == FileCollectionItem::RenameCommand) {
            connect(action, &QAction::triggered, this, [this, row] {
                QDLogInfo(QStringLiteral("FileCollectionItem - renameFile action"));
                startEditingFilename(row);
            });
        } else if (command == FileCollectionItem::EmailCommand) {
            action->setEnabled(AppDelegate::instance() != nullptr && file->fileExternalURL().isEmpty());
            connect(action, &QAction::triggered, this, [this, file] {
                QDLogInfo(QStringLiteral("FileCollectionItem - emailFile action"));
                emailFile(file);
            });
        } else if (command == FileCollectionItem::ReassignCommand) {
            action->setEnabled(bool(m_reassign));
            connect(action, &QAction::triggered, this, [this, file] {
                QDLogInfo(QStringLiteral("FileCollectionItem - reassignFile action"));
                if (m_reassign)
                    m_reassign(file);
            });
        } else if (command == FileCollectionItem::GoToContactCommand) {
            action->setEnabled(bool(m_goToContact) && file->person());
            connect(action, &QAction::triggered, this, [this, file] {
                QDLogInfo(QStringLiteral("FileCollectionItem - goToContactPage action"));
                if (m_goToContact)
                    m_goToContact(file->person());
            });
        } else if (command == FileCollectionItem::DeleteCommand) {
            connect(action, &QAction::triggered, this, [this, file] {
                QDLogInfo(QStringLiteral("FileCollectionItem - delete action"));
                if (selectedFile() == file)
                    deleteSelectedRow();
            });
        }
    }
    return menu;
}

bool FilesCollectionController::keyDown(QKeyEvent *event)
{
    const Qt::KeyboardModifiers modifiers = event->modifiers() & ~Qt::KeypadModifier;
    switch (event->key()) {
    case Qt::Key_Space:
        if (modifiers != Qt::NoModifier)
            return false;
        togglePreview();
        return true;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        if (modifiers != Qt::NoModifier || isPreviewShown())
            return false;
        startEditingFilename(selectedIndex());
        return true;
    case Qt::Key_N:
        if (modifiers != Qt::ControlModifier || !m_add)
            return false;
        m_add();
        return true;
    case Qt::Key_Left:
    case Qt::Key_Right: {
        if (modifiers != Qt::NoModifier)
            return false;
        // Arrows move within the selected file's contact and stop at its ends.
        QModelIndex current = selectedIndex();
        const QList<QModelIndex> all = m_grid->allFiles();
        if (all.isEmpty())
            return true;
        if (!current.isValid()) {
            selectIndex(all.first());
            return true;
        }
        const QList<QModelIndex> files = m_grid->filesInSection(m_grid->sectionOf(current));
        const qsizetype next = files.indexOf(current) + (event->key() == Qt::Key_Left ? -1 : 1);
        if (next >= 0 && next < files.size()) {
            selectIndex(files.at(next));
            if (isPreviewShown())
                openFile(m_grid->fileAt(files.at(next)));
        }
        return true;
    }
    default:
        return false;
    }
}

bool FilesCollectionController::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_collection->viewport()) {
        switch (event->type()) {
        case QEvent::ContextMenu: {
            auto *menuEvent = static_cast<QContextMenuEvent *>(event);
            if (QMenu *menu = menuForIndex(m_collection->indexAt(menuEvent->pos())))
                menu->popup(menuEvent->globalPos());
            return true;
        }
        case QEvent::DragEnter:
        case QEvent::DragMove:
        case QEvent::Drop: {
            // A file dragged out of this grid and back in is not added a second time.
            auto *drop = static_cast<QDropEvent *>(event);
            if (drop->source() == m_collection) {
                drop->ignore();
                return true;
            }
            break;
        }
        case QEvent::Resize:
            m_grid->setHeaderWidth(m_collection->viewport()->width() - 2 * m_collection->spacing() - 4);
            break;
        default:
            break;
        }
    }
    return QObject::eventFilter(watched, event);
}
