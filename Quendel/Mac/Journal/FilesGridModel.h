#pragma once

#include <QAbstractListModel>
#include <QHash>
#include <QImage>
#include <QList>

#include <functional>
#include <memory>

class CommonListData;
class FileAttachments;
class Person;
class QDListItemModel;
class QTemporaryDir;

// The files of a sectioned list laid out for a grid: one flat row per section title (when titles are
// shown) followed by that section's files. The grid shows a title across its whole width, so each contact's
// files start on a line of their own. Rebuilt with reload() after every change of the list; offers the
// files to drags out as copies under their shown names, and passes drops of files and mail messages on
// with the section they landed in.
class FilesGridModel : public QAbstractListModel
{
    Q_OBJECT
public:
    enum Role { FileRole = Qt::UserRole + 1, IsHeaderRole, SectionRole, DateTextRole };

    // What a drop brought and the section it landed in (-1 without sections); answers whether it was taken.
    using DropHandler = std::function<bool(const class QMimeData *data, int section)>;
    // A new name for a file from an in-place edit; answers whether the rename was done.
    using RenameHandler = std::function<bool(FileAttachments *file, const QString &text)>;

    FilesGridModel(QDListItemModel *source, bool showsHeaders, QObject *parent = nullptr);
    ~FilesGridModel() override;

    void reload();
    void setDropHandler(DropHandler handler) { m_drop = std::move(handler); }
    void setRenameHandler(RenameHandler handler) { m_rename = std::move(handler); }
    // The width a section title takes (the grid's visible width).
    void setHeaderWidth(int width);

    FileAttachments *fileAt(const QModelIndex &index) const;
    bool isHeader(const QModelIndex &index) const;
    int sectionOf(const QModelIndex &index) const;
    int sectionCount() const;
    QString sectionTitle(int section) const;
    // The files of a section, in order.
    QList<QModelIndex> filesInSection(int section) const;
    QList<QModelIndex> allFiles() const;
    QModelIndex indexForFile(const FileAttachments *file) const;
    // The contact of a section: the contact of its first file (null for "Unassigned").
    Person *personOfSection(int section) const;
    // The section a drop at (row, parent) lands in: the one of the item dropped on, else of the item before
    // the gap, else the first.
    int sectionForDrop(int row, const QModelIndex &parent) const;

    // The picture of a file, made once per stored name.
    QImage previewImage(FileAttachments *file) const;
    // The file's stored file arrived or changed: its picture and texts are read again.
    // The record is only compared with the files of the grid, never used itself.
    void refreshFile(const class NSManagedObjectQDBase *record);
    // The shown date of a file.
    static QString dateText(const FileAttachments *file);

    int rowCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    bool setData(const QModelIndex &index, const QVariant &value, int role = Qt::EditRole) override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;

    QStringList mimeTypes() const override;
    class QMimeData *mimeData(const QModelIndexList &indexes) const override;
    bool canDropMimeData(const class QMimeData *data, Qt::DropAction action, int row, int column,
                         const QModelIndex &parent) const override;
    bool dropMimeData(const class QMimeData *data, Qt::DropAction action, int row, int column,
                      const QModelIndex &parent) override;
    Qt::DropActions supportedDropActions() const override { return Qt::CopyAction; }
    Qt::DropActions supportedDragActions() const override { return Qt::CopyAction; }

private:
    struct Entry
    {
        bool header = false;
        int section = 0;
        CommonListData *item = nullptr;
        FileAttachments *file = nullptr;
    };

    QDListItemModel *m_source;
    bool m_showsHeaders;
    int m_headerWidth = 600;
    QList<Entry> m_entries;
    QList<QString> m_titles;
    DropHandler m_drop;
    RenameHandler m_rename;
    mutable QHash<QString, QImage> m_previews;
    mutable std::unique_ptr<QTemporaryDir> m_dragCopies;
};
