#pragma once

#include "Classes/FileDropImport.h"
#include "Classes/FilesListDataSource.h"
#include "Mac/Journal/FileCollectionItem.h"

#include <QObject>
#include <QPointer>
#include <QUrl>

#include <functional>
#include <memory>

class CustomNSCollectionView;
class FileAttachments;
class FilesGridModel;
class Person;
class QDListItemModel;
class QKeyEvent;
class QMenu;
class QWidget;

// The grid of files that the Files section and a contact's Files tab share: the list of files kept current
// from the store, the items with their picture, name and date, selection kept across changes, previews,
// opening, in-place renaming, deleting after a question, the item menu, drops of files and mail messages,
// and adding files from an open panel. The owning pane supplies what differs (the contact of a drop, the
// commands only the Files section has) and receives the keys first.
class FilesCollectionController : public QObject, public QDListDataSourceDelegate
{
    Q_OBJECT
public:
    static inline const QString DeleteFileDefaultsKey = QStringLiteral("defaults_delete_file");
    static inline const QString OpenPanelPrompt = QStringLiteral("Import");

    // `person` null: every file in a section per contact; else that contact's files without section titles.
    FilesCollectionController(std::shared_ptr<platform::store::ManagedObjectContext> context, Person *person,
                              bool isAllFilesPage, QWidget *host);
    ~FilesCollectionController() override;

    CustomNSCollectionView *filesCollection() const { return m_collection; }
    FilesListDataSource *filesListDataSource() const { return m_source.get(); }
    FilesGridModel *gridModel() const { return m_grid; }
    bool isAllFilesPage() const { return m_isAllFilesPage; }

    // Starts the list (its first fetch); the second call does nothing.
    void initializeObserver();
    // A new list over another context (after a restore of the store).
    void replaceContext(std::shared_ptr<platform::store::ManagedObjectContext> context);

    // The contact a drop in `section` belongs to; answers false to refuse the drop.
    using DropTarget = std::function<bool(int section, Person **person)>;
    void setDropTarget(DropTarget target) { m_dropTarget = std::move(target); }
    void setGoToContactHandler(std::function<void(Person *)> handler) { m_goToContact = std::move(handler); }
    void setReassignHandler(std::function<void(FileAttachments *)> handler) { m_reassign = std::move(handler); }
    void setAddHandler(std::function<void()> handler) { m_add = std::move(handler); }
    // The list changed (the pane's filler text follows it).
    void setChangeHandler(std::function<void()> handler) { m_changed = std::move(handler); }

    FileAttachments *selectedFile() const;
    QModelIndex selectedIndex() const;
    void selectFile(FileAttachments *file);
    void selectIndex(const QModelIndex &index);
    int fileCount() const;

    // ---- Commands ----
    void doubleClicked(const QModelIndex &index);
    // Shows the file in the preview window, or opens a link.
    void openFile(FileAttachments *file);
    void togglePreview();
    bool isPreviewShown() const;
    void startEditingFilename(const QModelIndex &index);
    void deleteSelectedRow();
    // Hands a copy of the file, under the name the user knows, to the mail program.
    void emailFile(FileAttachments *file);
    // A copy of the stored file in a private temporary folder under its shown name (cleaned); empty when the
    // copy could not be made.
    static QUrl temporaryCopyWithRealName(FileAttachments *file);
    void deleteSelectedFile();
    // Adds files from an open panel to `person` (several at once); every file that failed is reported.
    void showOpenPanelForPerson(Person *person);
    FileDropImport::Result importPaths(const QStringList &paths, Person *person);
    FileDropImport::Result importMimeData(const class QMimeData *data, Person *person);
    // The menu of the file at `index` as the user opens it there (the file becomes the selection first).
    QMenu *menuForIndex(const QModelIndex &index);

    // Every key of the grid: true when it was taken.
    bool keyDown(QKeyEvent *event);

    // QDListDataSourceDelegate, after the item model applied each change.
    void updatedSourceObjects() override { reload(); }
    void insertedNewSectionToSource(CommonListData *, qint64) override { reload(); }
    void addedObject(CommonListData *, CommonListData *, qint64) override { reload(); }
    void deletedSection(CommonListData *, qint64) override { reload(); }
    void deletedObjectItem(CommonListData *, qint64, quint64) override { reload(); }
    void moveObjectInSection(CommonListData *, qint64, qint64) override { reload(); }
    void moveObjectFromSection(CommonListData *, CommonListData *, qint64, qint64, qint64, qint64) override
    {
        reload();
    }
    bool respondsToUpdatedSourceObject() const override { return true; }
    void updatedSourceObjectWithHeaderIndex(qint64, qint64, CommonListData *) override { reload(); }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void reload();
    void stepPreview(int direction);
    bool dropData(const class QMimeData *data, int section);
    bool renameFile(FileAttachments *file, const QString &text);
    void showImportResult(const FileDropImport::Result &result);
    QWidget *window() const;

    std::shared_ptr<platform::store::ManagedObjectContext> m_context;
    Person *m_person;
    bool m_isAllFilesPage;
    QPointer<QWidget> m_host;
    std::unique_ptr<FilesListDataSource> m_source;
    QDListItemModel *m_listModel = nullptr;
    FilesGridModel *m_grid = nullptr;
    CustomNSCollectionView *m_collection = nullptr;
    QPointer<QMenu> m_menu;
    FileAttachments *m_previewed = nullptr;
    bool m_started = false;
    QList<FileAttachments *> m_selectionBeforeReload;
    DropTarget m_dropTarget;
    std::function<void(Person *)> m_goToContact;
    std::function<void(FileAttachments *)> m_reassign;
    std::function<void()> m_add;
    std::function<void()> m_changed;
    platform::core::ScopedObserver m_downloadObserver;
};
