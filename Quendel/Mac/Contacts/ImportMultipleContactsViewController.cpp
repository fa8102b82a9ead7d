#include "Mac/Contacts/ImportMultipleContactsViewController.h"

#include "QuendelKit/AddressBook/VCardAddressBookBridge.h"
#include "QuendelKit/Entities/Person.h"
#include "QuendelKit/Infra/NormalizedStringTransformer.h"
#include "QuendelKit/Infra/QDLog.h"
#include "QuendelKit/Settings/DataPlistValues.h"

#include "platform/core/Dispatch.h"

#include <QCollator>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace ab = platform::contacts;

namespace {
const int IndexRole = Qt::UserRole + 1;
}

ImportContactsDisplaySource::ImportContactsDisplaySource(const QList<ab::ContactRecord> &records,
                                                         const QSet<QString> &alreadyLinked, qint64 displayOrder,
                                                         qint64 sortOrder)
{
    for (const ab::ContactRecord &record : records) {
        CheckListDataMac item;
        item.fullname = getCustomCompositeName(record, displayOrder);
        item.company = record.stringValue(ab::property::Organization);
        // A record with neither a name nor a company has nothing to show.
        if (item.fullname.isEmpty() && item.company.isEmpty())
            continue;
        item.macUniqueID = record.uniqueId();
        item.initialCharacter = calculateInitialCharacter(record, item.fullname, sortOrder);
        if (alreadyLinked.contains(item.macUniqueID)) {
            item.already_selected = true;
            item.checked = true;
        }
        m_items << item;
    }
    for (int i = 0; i < m_items.size(); ++i)
        m_current << i;
    resetDatasource();
}

QString ImportContactsDisplaySource::getCustomCompositeName(const ab::ContactRecord &record, qint64 displayOrder)
{
    QStringList order;
    if (displayOrder == 0)
        order = {ab::property::Title, ab::property::FirstName, ab::property::MiddleName, ab::property::LastName,
                 ab::property::Suffix};
    else if (displayOrder == 1)
        order = {ab::property::Title, ab::property::LastName, ab::property::FirstName, ab::property::MiddleName,
                 ab::property::Suffix};
    else
        return QString();
    QStringList parts;
    for (const QString &p : order)
        if (!record.stringValue(p).isEmpty())
            parts << record.stringValue(p);
    return parts.join(QLatin1Char(' '));
}

QString ImportContactsDisplaySource::calculateInitialCharacter(const ab::ContactRecord &record, const QString &fullname,
                                                               qint64 sortOrder)
{
    const auto firstCharacter = [](const QString &text) {
        // The first character with any combining marks that follow it.
        qsizetype end = 1;
        if (text.at(0).isHighSurrogate() && text.size() > 1)
            end = 2;
        while (end < text.size() && text.at(end).isMark())
            ++end;
        return text.left(end).normalized(QString::NormalizationForm_C).toUpper();
    };
    if (sortOrder == 2) {
        const QString company = record.stringValue(ab::property::Organization);
        return company.isEmpty() ? QStringLiteral("#") : firstCharacter(company);
    }
    if (sortOrder != 0 && sortOrder != 1)
        return QStringLiteral("#");
    QString text = record.stringValue(sortOrder == 0 ? ab::property::FirstName : ab::property::LastName);
    if (text.isEmpty())
        text = fullname;
    if (text.isEmpty())
        text = record.stringValue(ab::property::Organization);
    if (text.isEmpty())
        return QStringLiteral("#");
    const QString letter = firstCharacter(text);
    for (const QChar c : letter)
        if (!c.isUpper())
            return QStringLiteral("#");
    return letter;
}

void ImportContactsDisplaySource::resetDatasource()
{
    m_sections.clear();
    for (int index : std::as_const(m_current))
        m_sections[m_items.at(index).initialCharacter] << index;
    QStringList letters = m_sections.keys();
    QCollator collator;
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    std::sort(letters.begin(), letters.end(), [&](const QString &a, const QString &b) { return collator.compare(a, b) < 0; });
    if (letters.removeAll(QStringLiteral("#")))
        letters << QStringLiteral("#");
    m_alphabets = letters;
    for (auto it = m_sections.begin(); it != m_sections.end(); ++it)
        std::stable_sort(it->begin(), it->end(),
                         [this](int a, int b) { return m_items.at(a).fullname < m_items.at(b).fullname; });
}

void ImportContactsDisplaySource::searchResultsWithString(const QString &text)
{
    m_current.clear();
    const QString wanted = NormalizedStringTransformer::normalizeString(text);
    for (int i = 0; i < m_items.size(); ++i) {
        const CheckListDataMac &item = m_items.at(i);
        if (wanted.isEmpty() || NormalizedStringTransformer::normalizeString(item.fullname).contains(wanted, Qt::CaseInsensitive) ||
            NormalizedStringTransformer::normalizeString(item.company).contains(wanted, Qt::CaseInsensitive))
            m_current << i;
    }
    resetDatasource();
}

void ImportContactsDisplaySource::toggle(int index)
{
    if (index < 0 || index >= m_items.size() || m_items.at(index).already_selected)
        return;
    CheckListDataMac &item = m_items[index];
    item.checked = !item.checked;
    if (item.checked)
        m_selected << index;
    else
        m_selected.removeAll(index);
}

void ImportContactsDisplaySource::selectAll()
{
    for (const QString &letter : std::as_const(m_alphabets)) {
        for (int index : m_sections.value(letter)) {
            if (!m_items.at(index).checked) {
                m_items[index].checked = true;
                m_selected << index;
            }
        }
    }
}

QStringList ImportContactsDisplaySource::selectedIdentifiers() const
{
    QStringList ids;
    for (int index : m_selected)
        if (!m_items.at(index).already_selected)
            ids << m_items.at(index).macUniqueID;
    return ids;
}

// ---------------------------------------------------------------------------------------------------------

ImportMultipleContactsViewController::ImportMultipleContactsViewController(platform::store::ContextPtr context,
                                                                           std::shared_ptr<VCardAddressBookBridge> bridge,
                                                                           QWidget *parent,
                                                                           const std::optional<QList<platform::contacts::ContactRecord>> &offered)
    : QDialog(parent), m_context(std::move(context)), m_bridge(std::move(bridge))
{
    setWindowTitle(QStringLiteral("Import Contacts"));
    setAccessibleName(QStringLiteral("Import Contacts"));
    setAttribute(Qt::WA_DeleteOnClose);
    QSet<QString> linked;
    for (Person *person : Person::getAllNonPrivatePersonsWithContext(m_context.get())) {
        const QString id = m_bridge->macUniqueIdentifier(*person);
        if (!id.isEmpty())
            linked.insert(id);
    }
    m_source = std::make_unique<ImportContactsDisplaySource>(
        offered ? *offered : m_bridge->addressBook()->people(), linked, dataPlistValues().integerValue(Person::DisplayOrderSettingKey),
        dataPlistValues().integerValue(Person::SortOrderSettingKey));

    m_search = new QLineEdit(this);
    m_search->setPlaceholderText(QStringLiteral("Search"));
    m_search->setAccessibleName(QStringLiteral("Search contacts to import"));
    m_search->setClearButtonEnabled(true);
    m_outline = new QTreeWidget(this);
    m_outline->setAccessibleName(QStringLiteral("Contacts to import"));
    m_outline->setHeaderHidden(true);
    m_outline->setRootIsDecorated(false);
    m_outline->setColumnCount(2);
    m_outline->header()->setStretchLastSection(false);
    m_outline->header()->setSectionResizeMode(0, QHeaderView::Stretch);
    m_outline->header()->setSectionResizeMode(1, QHeaderView::ResizeToContents);
    m_selectAll = new QPushButton(QStringLiteral("Select All"), this);
    m_selectAll->setAccessibleName(QStringLiteral("Select All"));
    m_import = new QPushButton(QStringLiteral("Import"), this);
    m_import->setAccessibleName(QStringLiteral("Import"));
    // Return belongs to the search field and the list, never to Import.
    m_import->setAutoDefault(false);
    m_cancel = new QPushButton(QStringLiteral("Cancel"), this);
    m_cancel->setAccessibleName(QStringLiteral("Cancel"));
    m_cancel->setAutoDefault(false);
    m_selectAll->setAutoDefault(false);

    auto *buttons = new QHBoxLayout;
    buttons->addWidget(m_selectAll);
    buttons->addStretch(1);
    buttons->addWidget(m_cancel);
    buttons->addWidget(m_import);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_search);
    layout->addWidget(m_outline, 1);
    m_progress = new QProgressBar(this);
    m_progress->setAccessibleName(QStringLiteral("Importing contacts"));
    m_progress->setRange(0, 0); // busy: the import reports no steps
    m_progress->setTextVisible(false);
    m_progress->hide();
    layout->addWidget(m_progress);
    layout->addLayout(buttons);
    resize(420, 520);

    connect(m_search, &QLineEdit::textChanged, this, [this](const QString &text) {
        m_source->searchResultsWithString(text);
        reloadOutline();
    });
    // A click on a person, or Return, Enter or Space on the selected one, flips its check mark.
    connect(m_outline, &QTreeWidget::itemClicked, this, [this](QTreeWidgetItem *row, int) { toggleRow(row); });
    m_outline->installEventFilter(this);
    connect(m_selectAll, &QPushButton::clicked, this, [this] {
        m_source->selectAll();
        reloadOutline();
    });
    connect(m_import, &QPushButton::clicked, this, &ImportMultipleContactsViewController::importButtonPressed);
    connect(m_cancel, &QPushButton::clicked, this, &ImportMultipleContactsViewController::cancelButtonPressed);
    reloadOutline();
}

void ImportMultipleContactsViewController::reloadOutline()
{
    const QSignalBlocker blocker(m_outline);
    m_outline->clear();
    for (const QString &letter : m_source->alphabetsUsed()) {
        auto *header = new QTreeWidgetItem(m_outline, {letter});
        header->setFlags(Qt::ItemIsEnabled);
        QFont bold = header->font(0);
        bold.setBold(true);
        header->setFont(0, bold);
        for (int index : m_source->itemsForLetter(letter)) {
            const CheckListDataMac &item = m_source->item(index);
            // Plain text: names come from other programs' files.
            QString text = item.fullname.isEmpty() ? item.company : item.fullname;
            auto *row = new QTreeWidgetItem(header, {text, item.fullname.isEmpty() ? QString() : item.company});
            row->setData(0, IndexRole, index);
            row->setData(0, Qt::AccessibleTextRole, text);
            if (item.already_selected) {
                row->setFlags(Qt::ItemIsEnabled);
                row->setText(1, QStringLiteral("Already imported"));
            } else {
                row->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
            }
            row->setCheckState(0, item.checked ? Qt::Checked : Qt::Unchecked);
        }
    }
    m_outline->expandAll();
}

void ImportMultipleContactsViewController::toggleRow(QTreeWidgetItem *row)
{
    const QVariant index = row ? row->data(0, IndexRole) : QVariant();
    if (!index.isValid() || m_done || m_source->item(index.toInt()).already_selected)
        return;
    m_source->toggle(index.toInt());
    row->setCheckState(0, m_source->item(index.toInt()).checked ? Qt::Checked : Qt::Unchecked);
}

bool ImportMultipleContactsViewController::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_outline && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent *>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter || key == Qt::Key_Space) {
            toggleRow(m_outline->currentItem());
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

QList<platform::store::ManagedObjectID> ImportMultipleContactsViewController::importContacts(
    const platform::store::ContextPtr &mainContext, VCardAddressBookBridge &bridge, const QStringList &identifiers,
    QList<int> *batchSizes)
{
    using platform::store::ManagedObjectContext;
    using platform::store::ManagedObjectID;
    // The contacts are made in a context of their own, so the main thread only takes each batch's save.
    auto importContext = ManagedObjectContext::create(ManagedObjectContext::ConcurrencyType::PrivateQueue);
    importContext->setName(QStringLiteral("ImportContactsBackgroundContext"));
    importContext->setParentContext(mainContext);

    QList<ManagedObjectID> ids;
    ids.reserve(identifiers.size());
    // The new contacts of the open batch: their identifiers in the import context, and their records.
    QList<QPair<ManagedObjectID, QString>> pending;
    // A batch's contacts reach the store with the main context's save; only then are they reported, under
    // the identifiers the store gave them, and linked to their records under those.
    const auto storeInMainContext = [&](const QList<QPair<ManagedObjectID, QString>> &batch) {
        mainContext->performAndWait([&] {
            QList<QPair<Person *, QString>> people;
            for (const auto &[id, uid] : batch)
                if (auto *person = dynamic_cast<Person *>(mainContext->objectRegisteredForID(id)))
                    people.append({person, uid});
            platform::core::QDError error;
            if (mainContext->hasChanges() && !mainContext->save(&error)) {
                // Contacts that are not in the store are not reported.
                QDLogError(QStringLiteral("ImportMultipleContacts: save failed: %1").arg(error.toString()));
                for (const auto &entry : std::as_const(people))
                    mainContext->deleteObject(entry.first);
                mainContext->processPendingChanges();
                return;
            }
            if (batchSizes)
                *batchSizes << int(people.size());
            for (const auto &[person, uid] : std::as_const(people)) {
                bridge.setMacUniqueIdentifier(*person, uid);
                ids << person->objectID();
            }
        });
    };
    const auto closeBatch = [&] {
        platform::core::QDError error;
        if (!importContext->save(&error)) {
            QDLogError(QStringLiteral("ImportMultipleContacts: batch not handed over: %1").arg(error.toString()));
            importContext->rollback();
            pending.clear();
            return;
        }
        importContext->reset();
        const QList<QPair<ManagedObjectID, QString>> batch = pending;
        pending.clear();
        return storeInMainContext(batch);
    };
    for (int i = 0; i < identifiers.size(); ++i) {
        const std::optional<ab::ContactRecord> record = bridge.addressBook()->recordForUniqueId(identifiers.at(i));
        if (!record)
            continue;
        bool close = false;
        importContext->performAndWait([&] {
            auto *person = importContext->insertNewObject<Person>(Person::EntityName);
            if (!bridge.updatePersonWithABRecord(*person, record)) {
                // A card that gives no name is not imported.
                importContext->deleteObject(person);
                return;
            }
            pending.append({person->objectID(), record->uniqueId()});
            close = i > 0 && i % ImportContactsDisplaySource::BatchSize == 0;
        });
        if (close)
            importContext->performAndWait(closeBatch);
    }
    importContext->performAndWait([&] {
        if (!pending.isEmpty() || importContext->hasChanges())
            closeBatch();
    });
    QDLogInfo(QStringLiteral("ImportMultipleContacts-addPressedWithChild: saved mainContext"));
    return ids;
}

void ImportMultipleContactsViewController::importButtonPressed()
{
    if (m_done)
        return;
    m_done = true;
    m_search->setEnabled(false);
    m_outline->setEnabled(false);
    m_selectAll->setEnabled(false);
    m_import->setEnabled(false);
    m_cancel->setEnabled(false);
    m_progress->show();
    // The checked people as they stand now; the import works on its own queue and the window stays
    // responsive, its list held still until the import ends.
    const QStringList identifiers = m_source->selectedIdentifiers();
    const platform::store::ContextPtr context = m_context;
    const std::shared_ptr<VCardAddressBookBridge> bridge = m_bridge;
    QPointer<ImportMultipleContactsViewController> self(this);
    auto finished = m_finished;
    m_importQueue = platform::core::DispatchQueue::serial(QStringLiteral("com.morvane.quendel"));
    m_importQueue->async([context, bridge, identifiers, self, finished] {
        const QList<platform::store::ManagedObjectID> ids = importContacts(context, *bridge, identifiers);
        platform::core::dispatchAsyncMain([self, finished, ids] {
            if (finished)
                finished(ids);
            if (self) {
                self->m_progress->hide();
                self->accept();
            }
        });
    });
}

void ImportMultipleContactsViewController::reject()
{
    // While contacts are being imported the window stays; it closes itself when they are in.
    if (m_importQueue && m_progress->isVisible())
        return;
    QDialog::reject();
}

void ImportMultipleContactsViewController::cancelButtonPressed()
{
    if (m_done)
        return;
    m_done = true;
    if (m_finished)
        m_finished({});
    reject();
}
