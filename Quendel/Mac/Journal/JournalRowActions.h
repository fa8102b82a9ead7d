#pragma once

#include "platform/store/Predicate.h"
#include "platform/ui/Popover.h"
#include "platform/ui/Sheet.h"

#include <QModelIndex>
#include <QPointer>
#include <QString>

#include <functional>

class AddContactWindowController;
class MainWindowManagerViewController;
class SelectContactPopoverDelegate;
class QDListItemModel;
class QTreeView;
class QWidget;
class ToDo;

namespace platform::core {
struct Notification;
}

// The actions the journal's lists share: the Logs, ToDos and Files sections of the main window and the Logs
// and ToDos tabs of a contact's page.
namespace JournalRowActions {

// Whether the user turned a question off under `defaultsKey` ("don't ask again").
bool questionTurnedOff(const QString &defaultsKey);

// Selects and reveals the row, then shows the popover `createPopover` makes beside it.
void showBesideRow(QTreeView *outline, const QModelIndex &index,
                   const std::function<platform::ui::Popover *()> &createPopover);

// Shows an editor in a sheet on the owner's window; `holder` keeps the window controller that holds the sheet.
void openEditorSheet(QWidget *owner, QWidget *editor, QPointer<AddContactWindowController> &holder,
                     platform::ui::Sheet::Completion completion = [](int) {});

// Asks "Delete <noun>" before `remove` runs, unless the user turned the question off under `defaultsKey`;
// ticking "don't ask again" turns it off. `remove` runs only while the owner lives.
void confirmDelete(QWidget *owner, const QString &noun, const QString &defaultsKey, std::function<void()> remove);

// Completes the to-do (or moves a repeating one on); its row's box goes off shortly after, and a failed
// save is reported on the owner's window.
void markToDoDone(QWidget *owner, QDListItemModel *model, const QModelIndex &index, ToDo *todo);

// A to-do's box was ticked: the offer of a log for it, unless the user turned the offer off (then
// `complete` at once). "Add Log" runs `addLog`, "No" runs `complete`, Cancel unticks the box.
void offerLogForTickedToDo(QWidget *owner, QDListItemModel *model, const QModelIndex &index,
                           std::function<void(const QModelIndex &)> addLog,
                           std::function<void(const QModelIndex &)> complete);

// The contact picker in a new popover of the section, in place of the popover on show.
void showContactPicker(MainWindowManagerViewController *section, SelectContactPopoverDelegate *delegate,
                       const QRect &rect, QWidget *anchor, platform::ui::Popover::Edge edge);

// The contacts filter a toolbar group change asks for: the private group's or address-book group's members,
// or none for all contacts. A private group that cannot be found filters out everyone, unless
// `missingGroupShowsAll`.
std::optional<platform::store::Predicate> contactsFilterForGroupChange(const MainWindowManagerViewController &section,
                                                                      const platform::core::Notification &notification,
                                                                      bool missingGroupShowsAll);

} // namespace JournalRowActions
