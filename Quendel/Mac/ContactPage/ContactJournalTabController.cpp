#include "Mac/ContactPage/ContactJournalTabController.h"

#include "Mac/Journal/MacAddEditLogsViewController.h"

#include "AppDelegate.h"

#include "Mac/Contacts/AddContactWindowController.h"
#include "Mac/Journal/JournalRowActions.h"
#include "Mac/Shell/CustomNSOutlineView.h"

#include "platform/ui/Popover.h"

ContactJournalTabController::ContactJournalTabController(const QString &nibName, Person *person, QWidget *parent)
    : CommonOutlineViewController(nibName, person, parent)
{
}

ContactJournalTabController::~ContactJournalTabController()
{
    detachListDataSource();
}

void ContactJournalTabController::showRecords(std::unique_ptr<QDListDataSource> source,
                                              std::function<QString(const CommonListData &)> rowText,
                                              const QString &fillerText, const QString &listName)
{
    m_source = std::move(source);
    m_listModel = showListDataSource(m_source.get(), this, std::move(rowText), fillerText);
    outlineView()->setAccessibleName(listName);
}

platform::store::ManagedObject *ContactJournalTabController::recordAt(const QModelIndex &index) const
{
    CommonListData *item = m_listModel->itemForIndex(index);
    return item && !item->isGroup() && isRecord(item->dataObject()) ? item->dataObject() : nullptr;
}

// ---- Editor ----

void ContactJournalTabController::displayPopoverWithItem(const QModelIndex &index, bool replaceExistingPopover)
{
    platform::store::ManagedObject *record = recordAt(index);
    if (!record)
        return;
    MacAddEditCommonController *editor = makeEditor(record, false);
    editor->setDetailPerson(personOf(record));
    editor->setDelegate(this);
    editor->awakeFromNib();
    if (replaceExistingPopover && mypopover() && mypopover()->isShown())
        mypopover()->closePopover();
    JournalRowActions::showBesideRow(outlineView(), index, [&] {
        platform::ui::Popover *popover = createPopoverWithViewController(editor);
        setMypopover(popover);
        return popover;
    });
}

void ContactJournalTabController::openSheet(QWidget *editor, platform::ui::Sheet::Completion completion)
{
    JournalRowActions::openEditorSheet(this, editor, m_addWindowController, std::move(completion));
}

void ContactJournalTabController::openEditorSheet(platform::store::ManagedObject *record, bool isClone, Person *person)
{
    MacAddEditCommonController *editor = makeEditor(record, isClone);
    editor->setDetailPerson(person);
    editor->setDelegate(this);
    editor->awakeFromNib();
    openSheet(editor, [](int) {});
}

void ContactJournalTabController::cloneObject(QObject *)
{
    const int row = targetRow();
    platform::store::ManagedObject *record = row >= 0 ? recordAt(outlineView()->indexForRow(row)) : nullptr;
    if (record)
        openEditorSheet(record, true, personOf(record));
}

void ContactJournalTabController::finishedViewController(MacAddEditCommonController *,
                                                         const std::optional<QVariantMap> &changes)
{
    if (mypopover() && mypopover()->isShown())
        mypopover()->closePopover();
    // A log saved often enough asks once for a review.
    if (changes && changes->contains(MacAddEditLogsViewController::ReviewNagKey)) {
        if (AppDelegate *delegate = AppDelegate::instance())
            delegate->showReviewNagMac();
    }
}

QModelIndex ContactJournalTabController::adjacentDataRow(int direction) const
{
    const QItemSelectionModel *selection = outlineView()->selectionModel();
    return m_listModel->adjacentDataRow(selection ? selection->currentIndex() : QModelIndex(), direction);
}

void ContactJournalTabController::rightButtonCalledInPopoverController(MacAddEditCommonController *)
{
    const QModelIndex next = adjacentDataRow(+1);
    if (next.isValid())
        displayPopoverWithItem(next, false);
}

void ContactJournalTabController::leftButtonCalledInPopoverController(MacAddEditCommonController *)
{
    const QModelIndex previous = adjacentDataRow(-1);
    if (previous.isValid())
        displayPopoverWithItem(previous, false);
}

// ---- Delete ----

void ContactJournalTabController::confirmDeleteSelectedRow(const QString &noun, const QString &defaultsKey)
{
    QPointer<ContactJournalTabController> self(this);
    JournalRowActions::confirmDelete(this, noun, defaultsKey, [self] {
        if (self)
            self->deleteSelectedRow();
    });
}

// ---- The list model's changes ----

void ContactJournalTabController::updatedSourceObjects()
{
    CommonOutlineViewController::updatedSourceObjects();
}

void ContactJournalTabController::insertedNewSectionToSource(CommonListData *header, qint64)
{
    outlineView()->expand(m_listModel->indexForItem(header));
}

void ContactJournalTabController::moveObjectFromSection(CommonListData *, CommonListData *toHeader, qint64, qint64,
                                                        qint64, qint64)
{
    outlineView()->expand(m_listModel->indexForItem(toHeader));
}
