#include "Mac/ContactPage/ContactLogsViewControllerMac.h"

#include "AppDelegate.h"

#include "Mac/Contacts/AddContactWindowController.h"
#include "Mac/Journal/CommonListCellView.h"
#include "Mac/Shell/CustomNSOutlineView.h"
#include "Mac/Journal/MacAddEditLogsViewController.h"

#include "QuendelKit/Entities/Log.h"
#include "QuendelKit/Entities/LogTitle.h"
#include "QuendelKit/Entities/Person.h"

#include "platform/core/Dispatch.h"
#include "platform/core/UserDefaults.h"
#include "platform/ui/AlertPresenter.h"
#include "platform/ui/Popover.h"

#include <QKeyEvent>
#include <QLabel>
#include <QPointer>

ContactLogsViewControllerMac::ContactLogsViewControllerMac(Person *person, QWidget *parent)
    : CommonOutlineViewController(NibName, person, parent)
{
    setObjectName(NibName);
    m_source = std::make_unique<LogsListDataSource>(contextOf(person), person);
    m_listModel = showListDataSource(
        m_source.get(), this,
        [](const CommonListData &row) {
            auto *log = dynamic_cast<Log *>(row.dataObject());
            if (!log)
                return QString();
            return datedRowText(log->logDate(), log->title() ? log->title()->title() : QString(), log->logNote());
        },
        QStringLiteral("No Logs"));
    outlineView()->setAccessibleName(QStringLiteral("Logs"));
    setupContextMenu();
    awakeFromNib();
}

ContactLogsViewControllerMac::~ContactLogsViewControllerMac()
{
    detachListDataSource();
}

Log *ContactLogsViewControllerMac::logAt(const QModelIndex &index) const
{
    CommonListData *item = m_listModel->itemForIndex(index);
    return item && !item->isGroup() ? dynamic_cast<Log *>(item->dataObject()) : nullptr;
}

int ContactLogsViewControllerMac::heightOfRowByItem(const QModelIndex &index) const
{
    CommonListData *item = m_listModel->itemForIndex(index);
    if (!item || item->isGroup())
        return HeaderRowHeight;
    if (!m_prototypeCell)
        m_prototypeCell = std::make_unique<CommonListCellView>();
    const int viewportWidth = outlineView()->viewport()->width();
    return calculateIdealHeightForCell(m_prototypeCell.get(), index, viewportWidth > 0 ? viewportWidth : width());
}

int ContactLogsViewControllerMac::calculateIdealHeightForCell(CommonListCellView *cell, const QModelIndex &index,
                                                              int cellWidth) const
{
    Log *log = logAt(index);
    const QString note = log ? log->logNote() : QString();
    if (note.isEmpty())
        return EmptyNoteRowHeight;
    QLabel *field = cell->noteTextField();
    field->setText(note);
    const int height = field->heightForWidth(std::max(1, cellWidth - NoteWidthInset));
    if (height < 18) {
        cell->notesHeightConstraint()->setConstant(17);
        return OneLineNoteRowHeight;
    }
    cell->notesHeightConstraint()->setConstant(34);
    return LongNoteRowHeight;
}

// ---- Editor ----

void ContactLogsViewControllerMac::doubleClickAction(const QModelIndex &index)
{
    if (logAt(index))
        displayPopoverWithItem(index, false);
}

void ContactLogsViewControllerMac::displayPopoverWithItem(const QModelIndex &index, bool replaceExistingPopover)
{
    Log *log = logAt(index);
    if (!log)
        return;
    auto *editor = new MacAddEditLogsViewController(log, false);
    editor->setDetailPerson(log->person());
    editor->setDelegate(this);
    editor->awakeFromNib();
    if (replaceExistingPopover && mypopover() && mypopover()->isShown())
        mypopover()->closePopover();
    outlineView()->selectionModel()->select(index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    outlineView()->selectionModel()->setCurrentIndex(index, QItemSelectionModel::NoUpdate);
    outlineView()->scrollTo(index);
    platform::ui::Popover *popover = createPopoverWithViewController(editor);
    setMypopover(popover);
    popover->showRelativeTo(outlineView()->visualRect(index), outlineView()->viewport(),
                            platform::ui::Popover::Edge::Right);
}

void ContactLogsViewControllerMac::spaceBarPressedWithEvent(QKeyEvent *event)
{
    const Qt::KeyboardModifiers modifiers = event->modifiers() & ~Qt::KeypadModifier;
    if (modifiers != Qt::NoModifier) {
        event->ignore();
        return;
    }
    if (mypopover() && mypopover()->isShown()) {
        mypopover()->closePopover();
        return;
    }
    const QModelIndex current =
        outlineView()->selectionModel() ? outlineView()->selectionModel()->currentIndex() : QModelIndex();
    if (current.isValid() && outlineView()->selectionModel()->isSelected(current))
        doubleClickAction(current);
}

void ContactLogsViewControllerMac::openEditorSheet(Log *log, bool isClone, Person *person)
{
    auto *editor = new MacAddEditLogsViewController(log, isClone);
    editor->setDetailPerson(person);
    editor->setDelegate(this);
    editor->awakeFromNib();
    auto *controller = new AddContactWindowController(AddContactWindowController::WindowNibName, this);
    controller->setContentViewController(editor);
    m_addWindowController = controller;
    controller->beginSheetOnWindow(this, [](int) {});
}

void ContactLogsViewControllerMac::showAddLogContactSheet(QObject *)
{
    openEditorSheet(nullptr, false, detailPerson());
}

void ContactLogsViewControllerMac::cloneObject(QObject *)
{
    const int row = targetRow();
    Log *log = row >= 0 ? logAt(outlineView()->indexForRow(row)) : nullptr;
    if (log)
        openEditorSheet(log, true, log->person());
}

void ContactLogsViewControllerMac::finishedViewController(MacAddEditCommonController *,
                                                          const std::optional<QVariantMap> &changes)
{
    if (mypopover() && mypopover()->isShown())
        mypopover()->closePopover();
    if (changes && changes->contains(MacAddEditLogsViewController::ReviewNagKey)) {
        if (AppDelegate *delegate = AppDelegate::instance())
            delegate->showReviewNagMac();
    }
}

QModelIndex ContactLogsViewControllerMac::adjacentDataRow(int direction) const
{
    const QModelIndex current =
        outlineView()->selectionModel() ? outlineView()->selectionModel()->currentIndex() : QModelIndex();
    QList<QModelIndex> rows;
    for (int s = 0; s < m_listModel->rowCount(); ++s) {
        const QModelIndex section = m_listModel->index(s, 0);
        for (int r = 0; r < m_listModel->rowCount(section); ++r)
            rows.append(m_listModel->index(r, 0, section));
    }
    const qsizetype at = rows.indexOf(current);
    const qsizetype next = at + direction;
    if (at < 0 || next < 0 || next >= rows.size())
        return {};
    return rows.at(next);
}

void ContactLogsViewControllerMac::rightButtonCalledInPopoverController(MacAddEditCommonController *)
{
    const QModelIndex next = adjacentDataRow(+1);
    if (next.isValid())
        displayPopoverWithItem(next, false);
}

void ContactLogsViewControllerMac::leftButtonCalledInPopoverController(MacAddEditCommonController *)
{
    const QModelIndex previous = adjacentDataRow(-1);
    if (previous.isValid())
        displayPopoverWithItem(previous, false);
}

// ---- Delete ----

void ContactLogsViewControllerMac::deleteSelectedLog()
{
    auto defaults = platform::core::UserDefaults::standardUserDefaults();
    if (defaults->objectForKey(DeleteLogDefaultsKey).isValid() && defaults->boolForKey(DeleteLogDefaultsKey)) {
        deleteSelectedRow();
        return;
    }
    platform::ui::AlertSpec alert;
    alert.messageText = QStringLiteral("Delete Log");
    alert.informativeText = QStringLiteral("Do you want to delete this Log from your records?");
    alert.buttonTitles = {QStringLiteral("Delete"), QStringLiteral("No")};
    alert.showsSuppressionButton = true;
    QPointer<ContactLogsViewControllerMac> self(this);
    platform::ui::AlertPresenter::shared().beginSheet(alert, window(), [self](const platform::ui::AlertResult &result) {
        if (!self)
            return;
        if (result.returnCode() == platform::ui::AlertFirstButtonReturn)
            self->deleteSelectedRow();
        if (result.suppressed)
            platform::core::UserDefaults::standardUserDefaults()->setBool(true, DeleteLogDefaultsKey);
    });
}

// ---- The list model's changes ----

void ContactLogsViewControllerMac::updatedSourceObjects()
{
    CommonOutlineViewController::updatedSourceObjects();
}

void ContactLogsViewControllerMac::insertedNewSectionToSource(CommonListData *header, qint64)
{
    outlineView()->expand(m_listModel->indexForItem(header));
}

void ContactLogsViewControllerMac::moveObjectFromSection(CommonListData *, CommonListData *toHeader, qint64, qint64,
                                                         qint64, qint64)
{
    outlineView()->expand(m_listModel->indexForItem(toHeader));
}
