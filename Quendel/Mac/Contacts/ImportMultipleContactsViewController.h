#pragma once

#include "platform/core/DispatchQueue.h"

#include "platform/contacts/AddressBook.h"
#include "platform/store/ManagedObjectContext.h"

#include <QDialog>
#include <QHash>
#include <QStringList>

#include <functional>
#include <memory>
#include <optional>

class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QTreeWidget;
class QTreeWidgetItem;
class VCardAddressBookBridge;

// One person of the address book offered for import.
struct CheckListDataMac
{
    QString fullname;
    QString company;
    QString initialCharacter;
    QString macUniqueID;
    bool already_selected = false;
    bool checked = false;
};

// The people of the address book in letter sections, with search and check marks (no widgets).
class ImportContactsDisplaySource
{
public:
    static constexpr int BatchSize = 500;

    // `alreadyLinked`: record identifiers of the contacts the journal already has.
    ImportContactsDisplaySource(const QList<platform::contacts::ContactRecord> &records, const QSet<QString> &alreadyLinked,
                                qint64 displayOrder, qint64 sortOrder);

    // The record's name in the display order (0: title first middle last suffix; 1: title last first middle
    // suffix; anything else: empty).
    static QString getCustomCompositeName(const platform::contacts::ContactRecord &record, qint64 displayOrder);
    static QString calculateInitialCharacter(const platform::contacts::ContactRecord &record, const QString &fullname,
                                             qint64 sortOrder);

    void searchResultsWithString(const QString &text);
    // Letters in display order ("#" last) and the items under each, sorted by full name.
    QStringList alphabetsUsed() const { return m_alphabets; }
    QList<int> itemsForLetter(const QString &letter) const { return m_sections.value(letter); }
    const CheckListDataMac &item(int index) const { return m_items.at(index); }
    // Flips one item's check mark; the checked order is kept.
    void toggle(int index);
    // Checks every shown item not checked yet.
    void selectAll();
    // The checked people not already in the journal, in the order they were checked.
    QStringList selectedIdentifiers() const;

private:
    void resetDatasource();

    QList<CheckListDataMac> m_items;
    QList<int> m_current;
    QList<int> m_selected;
    QStringList m_alphabets;
    QHash<QString, QList<int>> m_sections;
};

// The Import Contacts window: the address book's people by letter with check marks, a search, Select All,
// Import and Cancel. The import fills new journal contacts from the chosen cards in batches and reports
// their identifiers.
class ImportMultipleContactsViewController : public QDialog
{
    Q_OBJECT
public:
    // Lists every person of the address book, or only `offered` (people just found to be new) when given.
    ImportMultipleContactsViewController(platform::store::ContextPtr context,
                                         std::shared_ptr<VCardAddressBookBridge> bridge, QWidget *parent = nullptr,
                                         const std::optional<QList<platform::contacts::ContactRecord>> &offered = {});

    // Called once the import ended (identifiers of the new contacts) or was cancelled (empty).
    void setFinishedHandler(std::function<void(const QList<platform::store::ManagedObjectID> &)> handler)
    {
        m_finished = std::move(handler);
    }

    // Fills one new contact per record identifier in a private child of `mainContext`, closing a batch
    // after every BatchSize-th index and at the end: the child's save hands the batch to the main context,
    // which saves it; answers the stored contacts' identifiers in order. Runs on any thread but the main
    // context's while that one is busy; the Import button runs it on a queue of its own.
    static QList<platform::store::ManagedObjectID> importContacts(const platform::store::ContextPtr &mainContext,
                                                                  VCardAddressBookBridge &bridge,
                                                                  const QStringList &identifiers,
                                                                  QList<int> *batchSizes = nullptr);

    QProgressBar *progressIndicator() const { return m_progress; }

public slots:
    void reject() override;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void toggleRow(QTreeWidgetItem *row);
    void reloadOutline();
    void importButtonPressed();
    void cancelButtonPressed();

    platform::store::ContextPtr m_context;
    std::shared_ptr<VCardAddressBookBridge> m_bridge;
    std::unique_ptr<ImportContactsDisplaySource> m_source;
    std::function<void(const QList<platform::store::ManagedObjectID> &)> m_finished;
    QLineEdit *m_search = nullptr;
    QTreeWidget *m_outline = nullptr;
    QPushButton *m_selectAll = nullptr;
    QPushButton *m_import = nullptr;
    QPushButton *m_cancel = nullptr;
    QProgressBar *m_progress = nullptr;
    std::shared_ptr<platform::core::DispatchQueue> m_importQueue;
    bool m_done = false;
};
