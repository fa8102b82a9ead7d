#include "Mac/Journal/FilesGridModel.h"

#include "Classes/FileDropImport.h"
#include "Mac/Journal/QDListItemModel.h"

#include "QuendelKit/Entities/FileAttachments.h"
#include "QuendelKit/Entities/Person.h"

#include <QApplication>
#include <QDir>
#include <QStyle>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QMimeData>
#include <QSize>
#include <QTemporaryDir>
#include <QUrl>

FilesGridModel::FilesGridModel(QDListItemModel *source, bool showsHeaders, QObject *parent)
    : QAbstractListModel(parent), m_source(source), m_showsHeaders(showsHeaders)
{
    reload();
}

FilesGridModel::~FilesGridModel() = default;

void FilesGridModel::reload()
{
    beginResetModel();
    m_entries.clear();
    m_titles.clear();
    if (m_source) {
        for (int s = 0; s < m_source->rowCount(); ++s) {
            const QModelIndex header = m_source->index(s, 0);
            m_titles << header.data().toString();
            if (m_showsHeaders)
                m_entries.append({true, s, m_source->itemForIndex(header), nullptr});
            for (int r = 0; r < m_source->rowCount(header); ++r) {
                CommonListData *row = m_source->itemForIndex(m_source->index(r, 0, header));
                auto *file = row ? dynamic_cast<FileAttachments *>(row->dataObject()) : nullptr;
                if (file)
                    m_entries.append({false, s, row, file});
            }
        }
    }
    endResetModel();
}

void FilesGridModel::setHeaderWidth(int width)
{
    if (width == m_headerWidth || width <= 0)
        return;
    m_headerWidth = width;
    if (!m_showsHeaders)
        return;
    for (int row = 0; row < m_entries.size(); ++row)
        if (m_entries.at(row).header)
            emit dataChanged(index(row), index(row), {Qt::SizeHintRole});
}

FileAttachments *FilesGridModel::fileAt(const QModelIndex &index) const
{
    if (!index.isValid() || index.model() != this || index.row() >= m_entries.size())
        return nullptr;
    return m_entries.at(index.row()).file;
}

bool FilesGridModel::isHeader(const QModelIndex &index) const
{
    return index.isValid() && index.row() < m_entries.size() && m_entries.at(index.row()).header;
}

int FilesGridModel::sectionOf(const QModelIndex &index) const
{
    return index.isValid() && index.row() < m_entries.size() ? m_entries.at(index.row()).section : -1;
}

int FilesGridModel::sectionCount() const
{
    return int(m_titles.size());
}

QString FilesGridModel::sectionTitle(int section) const
{
    return m_titles.value(section);
}

QList<QModelIndex> FilesGridModel::filesInSection(int section) const
{
    QList<QModelIndex> files;
    for (int row = 0; row < m_entries.size(); ++row)
        if (!m_entries.at(row).header && m_entries.at(row).section == section)
            files << index(row);
    return files;
}

QList<QModelIndex> FilesGridModel::allFiles() const
{
    QList<QModelIndex> files;
    for (int row = 0; row < m_entries.size(); ++row)
        if (!m_entries.at(row).header)
            files << index(row);
    return files;
}

QModelIndex FilesGridModel::indexForFile(const FileAttachments *file) const
{
    if (!file)
        return {};
    for (int row = 0; row < m_entries.size(); ++row)
        if (m_entries.at(row).file == file)
            return index(row);
    return {};
}

Person *FilesGridModel::personOfSection(int section) const
{
    for (const Entry &entry : m_entries)
        if (!entry.header && entry.section == section && entry.file)
            return entry.file->person();
    return nullptr;
}

int FilesGridModel::sectionForDrop(int row, const QModelIndex &parent) const
{
    if (m_titles.isEmpty())
        return -1;
    if (parent.isValid())
        return sectionOf(parent);
    if (row > 0 && row <= m_entries.size())
        return m_entries.at(row - 1).section;
    if (row < 0 && !m_entries.isEmpty())
        return m_entries.last().section;
    return 0;
}

void FilesGridModel::refreshFile(const NSManagedObjectQDBase *record)
{
    if (!record)
        return;
    for (int row = 0; row < m_entries.size(); ++row) {
        FileAttachments *file = m_entries.at(row).file;
        if (!file || static_cast<const NSManagedObjectQDBase *>(file) != record)
            continue;
        m_previews.remove(file->fileName() + QLatin1Char('|') + file->fileExternalURL());
        emit dataChanged(index(row), index(row));
    }
}

QString FilesGridModel::dateText(const FileAttachments *file)
{
    if (!file || !file->createdAt().isValid())
        return QString();
    return QLocale().toString(file->createdAt().toLocalTime(), QLocale::ShortFormat);
}

QImage FilesGridModel::previewImage(FileAttachments *file) const
{
    if (!file)
        return {};
    const QString key = file->fileName() + QLatin1Char('|') + file->fileExternalURL();
    auto found = m_previews.constFind(key);
    if (found != m_previews.constEnd())
        return *found;
    QImage image = file->filePreviewImage();
    // Without an icon theme every file still shows a picture.
    if (image.isNull())
        if (auto *app = qobject_cast<QApplication *>(QCoreApplication::instance()))
            image = app->style()->standardIcon(QStyle::SP_FileIcon).pixmap(QSize(64, 64)).toImage();
    if (!image.isNull() && (image.width() > 96 || image.height() > 96))
        image = image.scaled(96, 96, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    m_previews.insert(key, image);
    return image;
}

int FilesGridModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_entries.size());
}

QVariant FilesGridModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= m_entries.size())
        return {};
    const Entry &entry = m_entries.at(index.row());
    if (entry.header) {
        switch (role) {
        case Qt::DisplayRole:
        case Qt::AccessibleTextRole:
            return m_titles.value(entry.section);
        case Qt::SizeHintRole:
            return QSize(std::max(100, m_headerWidth), 30);
        case IsHeaderRole:
            return true;
        case SectionRole:
            return entry.section;
        default:
            return {};
        }
    }
    FileAttachments *file = entry.file;
    switch (role) {
    case Qt::DisplayRole:
    case Qt::AccessibleTextRole:
        return file->fileCheckName();
    case Qt::EditRole:
        return file->fileCheckName();
    case Qt::ToolTipRole:
        return QStringLiteral("%1\n%2").arg(file->fileCheckName(), dateText(file));
    case Qt::DecorationRole:
        return previewImage(file);
    case Qt::SizeHintRole:
        return QSize(120, 140);
    case FileRole:
        return QVariant::fromValue(static_cast<void *>(file));
    case IsHeaderRole:
        return false;
    case SectionRole:
        return entry.section;
    case DateTextRole:
        return dateText(file);
    default:
        return {};
    }
}

bool FilesGridModel::setData(const QModelIndex &index, const QVariant &value, int role)
{
    FileAttachments *file = fileAt(index);
    if (role != Qt::EditRole || !file || !m_rename)
        return false;
    if (!m_rename(file, value.toString()))
        return false;
    emit dataChanged(index, index);
    return true;
}

Qt::ItemFlags FilesGridModel::flags(const QModelIndex &index) const
{
    if (!index.isValid())
        return Qt::ItemIsDropEnabled;
    if (isHeader(index))
        return Qt::ItemIsEnabled | Qt::ItemIsDropEnabled;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsDragEnabled | Qt::ItemIsDropEnabled |
           Qt::ItemIsEditable;
}

QStringList FilesGridModel::mimeTypes() const
{
    return {FileDropImport::UriListMimeType, FileDropImport::MessageMimeType};
}

QMimeData *FilesGridModel::mimeData(const QModelIndexList &indexes) const
{
    // Other programs get copies under the names the user knows, never the stored files themselves.
    if (!m_dragCopies || !m_dragCopies->isValid())
        m_dragCopies = std::make_unique<QTemporaryDir>();
    QList<QUrl> urls;
    for (const QModelIndex &index : indexes) {
        FileAttachments *file = fileAt(index);
        if (!file || !m_dragCopies->isValid())
            continue;
        const QString stored = file->fullFileURL().toLocalFile();
        if (stored.isEmpty() || !QFileInfo::exists(stored))
            continue;
        const QString folder = m_dragCopies->filePath(QString::number(urls.size()) + QLatin1Char('-') +
                                                      QString::number(index.row()));
        QDir(folder).removeRecursively();
        if (!QDir().mkpath(folder))
            continue;
        const QString copy = QDir(folder).filePath(FileDropImport::sanitizedFileName(file->fileCheckName()));
        if (QFile::copy(stored, copy))
            urls << QUrl::fromLocalFile(copy);
    }
    if (urls.isEmpty())
        return nullptr;
    auto *data = new QMimeData;
    data->setUrls(urls);
    return data;
}

bool FilesGridModel::canDropMimeData(const QMimeData *data, Qt::DropAction action, int, int, const QModelIndex &) const
{
    return m_drop && (action == Qt::CopyAction || action == Qt::MoveAction) && FileDropImport::canImport(data);
}

bool FilesGridModel::dropMimeData(const QMimeData *data, Qt::DropAction action, int row, int column,
                                  const QModelIndex &parent)
{
    if (!canDropMimeData(data, action, row, column, parent))
        return false;
    return m_drop(data, sectionForDrop(row, parent));
}
