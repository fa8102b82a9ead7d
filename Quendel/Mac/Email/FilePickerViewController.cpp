#include "Mac/Email/FilePickerViewController.h"

#include "QuendelKit/Entities/FieldFormatters.h"
#include "QuendelKit/Entities/FileAttachments.h"
#include "QuendelKit/Entities/Person.h"

#include <QHeaderView>

#include <algorithm>
#include <QLineEdit>
#include <QMap>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace {
constexpr int FileIndexRole = Qt::UserRole + 0x7501;
}

FilePickerViewController::FilePickerViewController(platform::store::ContextPtr context,
                                                   QList<FileAttachments *> *selection, QWidget *parent)
    : QWidget(parent), m_context(std::move(context)), m_selection(selection)
{
    setWindowTitle(QStringLiteral("Quendel - Files"));
    setAccessibleName(QStringLiteral("File picker"));
    auto *layout = new QVBoxLayout(this);
    m_search = new QLineEdit(this);
    m_search->setPlaceholderText(QStringLiteral("Search Files"));
    m_search->setAccessibleName(QStringLiteral("Search Files"));
    m_search->setClearButtonEnabled(true);
    layout->addWidget(m_search);
    m_outline = new QTreeWidget(this);
    m_outline->setAccessibleName(QStringLiteral("Files to attach"));
    m_outline->setHeaderHidden(true);
    m_outline->setColumnCount(2);
    m_outline->setRootIsDecorated(false);
    m_outline->setItemsExpandable(false);
    m_outline->header()->setSectionResizeMode(0, QHeaderView::Stretch);
    m_outline->header()->setStretchLastSection(false);
    layout->addWidget(m_outline, 1);
    connect(m_search, &QLineEdit::textChanged, this, &FilePickerViewController::searchResultsWithString);
    connect(m_outline, &QTreeWidget::itemClicked, this, [this](QTreeWidgetItem *item) { fileSelected(item); });
    resize(360, 320);
    updatedSourceObjects();
}

void FilePickerViewController::searchResultsWithString(const QString &text)
{
    m_searchText = text.trimmed();
    updatedSourceObjects();
}

void FilePickerViewController::updatedSourceObjects()
{
    m_outline->clear();
    m_files.clear();
    if (!m_context)
        return;
    QMap<QString, QList<FileAttachments *>> byContact;
    QHash<QString, QString> titles;
    for (platform::store::ManagedObject *object : m_context->executeFetchRequest(FileAttachments::fetchRequest())) {
        auto *file = dynamic_cast<FileAttachments *>(object);
        // Links to outside files have nothing to attach.
        if (!file || !file->fileExternalURL().isEmpty())
            continue;
        const QString name = file->fileCheckName();
        const QString contact = file->person() ? file->person()->displayName() : QString();
        if (!m_searchText.isEmpty() && !name.contains(m_searchText, Qt::CaseInsensitive)
            && !contact.contains(m_searchText, Qt::CaseInsensitive))
            continue;
        const QString key = contact.toLower() + QLatin1Char('\x1f') + contact;
        titles.insert(key, contact.isEmpty() ? QStringLiteral("No Contact") : contact);
        byContact[key] << file;
    }
    for (auto it = byContact.begin(); it != byContact.end(); ++it) {
        auto *header = new QTreeWidgetItem(m_outline, {titles.value(it.key())});
        header->setFlags(Qt::ItemIsEnabled);
        QFont bold = header->font(0);
        bold.setBold(true);
        header->setFont(0, bold);
        header->setFirstColumnSpanned(true);
        std::sort(it.value().begin(), it.value().end(), [](FileAttachments *a, FileAttachments *b) {
            return a->fileCheckName().localeAwareCompare(b->fileCheckName()) < 0;
        });
        for (FileAttachments *file : std::as_const(it.value())) {
            auto *row = new QTreeWidgetItem(header, {file->fileCheckName(), DateFormatter::mediumDate(file->modifiedAt())});
            row->setData(0, FileIndexRole, int(m_files.size()));
            row->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
            row->setCheckState(0, m_selection && m_selection->contains(file) ? Qt::Checked : Qt::Unchecked);
            m_files << file;
        }
    }
    m_outline->expandAll();
}

void FilePickerViewController::fileSelected(QTreeWidgetItem *item)
{
    if (!item || !m_selection)
        return;
    const QVariant index = item->data(0, FileIndexRole);
    if (!index.isValid())
        return;
    FileAttachments *file = m_files.value(index.toInt());
    if (!file)
        return;
    if (m_selection->contains(file))
        m_selection->removeAll(file);
    else
        m_selection->append(file);
    updatedSourceObjects();
    emit updateFileSelection();
}
