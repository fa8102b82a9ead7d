#include "Mac/ContactPage/ContactLogsViewControllerMac.h"

#include "Mac/Journal/CommonListCellView.h"
#include "Mac/Shell/CustomNSOutlineView.h"
#include "Mac/Journal/MacAddEditLogsViewController.h"

#include "QuendelKit/Entities/Log.h"
#include "QuendelKit/Entities/LogTitle.h"
#include "QuendelKit/Entities/Person.h"

#include "platform/ui/Popover.h"

#include <QKeyEvent>
#include <QLabel>

ContactLogsViewControllerMac::ContactLogsViewControllerMac(Person *person, QWidget *parent)
    : ContactJournalTabController(NibName, person, parent)
{
    setObjectName(NibName);
    showRecords(
        std::make_unique<LogsListDataSource>(contextOf(person), person),
        [](const CommonListData &row) {
            auto *log = dynamic_cast<Log *>(row.dataObject());
            if (!log)
                return QString();
            return datedRowText(log->logDate(), log->title() ? log->title()->title() : QString(), log->logNote());
        },
        QStringLiteral("No Logs"), QStringLiteral("Logs"));
    setupContextMenu();
    awakeFromNib();
}

ContactLogsViewControllerMac::~ContactLogsViewControllerMac() = default;

bool ContactLogsViewControllerMac::isRecord(const platform::store::ManagedObject *object) const
{
    return dynamic_cast<const Log *>(object) != nullptr;
}

Person *ContactLogsViewControllerMac::personOf(platform::store::ManagedObject *record) const
{
    return static_cast<Log *>(record)->person();
}

MacAddEditCommonController *ContactLogsViewControllerMac::makeEditor(platform::store::ManagedObject *record,
                                                                     bool isClone)
{
    return new MacAddEditLogsViewController(static_cast<Log *>(record), isClone);
}

Log *ContactLogsViewControllerMac::logAt(const QModelIndex &index) const
{
    return static_cast<Log *>(recordAt(index));
}

int ContactLogsViewControllerMac::heightOfRowByItem(const QModelIndex &index) const
{
    CommonListData *item = listModel()->itemForIndex(index);
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

void ContactLogsViewControllerMac::showAddLogContactSheet(QObject *)
{
    openEditorSheet(nullptr, false, detailPerson());
}

// ---- Delete ----

void ContactLogsViewControllerMac::deleteSelectedLog()
{
    confirmDeleteSelectedRow(QStringLiteral("Log"), DeleteLogDefaultsKey);
}
