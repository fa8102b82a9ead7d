#include "Mac/Journal/JournalRowActions.h"

#include "Classes/ToDo_Category.h"
#include "Mac/Contacts/AddContactWindowController.h"
#include "Mac/Journal/QDListItemModel.h"
#include "Mac/Journal/SelectContactsViewControllerMac.h"
#include "Mac/Shell/MainWindowManagerViewController.h"

#include "QuendelKit/Entities/PrivateGroups.h"

#include "platform/core/Dispatch.h"
#include "platform/core/NotificationCenter.h"
#include "platform/core/UserDefaults.h"
#include "platform/ui/AlertPresenter.h"
#include "platform/ui/Popover.h"

#include <QPointer>
#include <QTreeView>

namespace JournalRowActions {

namespace {

constexpr int TurnOffSwitchDelayMs = 500;
const QString CopyToDoToDiaryDefaultsKey = QStringLiteral("defaults_copy_todo_to_diary");

void turnOffQuestion(const QString &defaultsKey)
{
    platform::core::UserDefaults::standardUserDefaults()->setBool(true, defaultsKey);
}

} // namespace

bool questionTurnedOff(const QString &defaultsKey)
{
    auto defaults = platform::core::UserDefaults::standardUserDefaults();
    return defaults->objectForKey(defaultsKey).isValid() && defaults->boolForKey(defaultsKey);
}

void showBesideRow(QTreeView *outline, const QModelIndex &index,
                   const std::function<platform::ui::Popover *()> &createPopover)
{
    outline->selectionModel()->select(index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    outline->selectionModel()->setCurrentIndex(index, QItemSelectionModel::NoUpdate);
    outline->scrollTo(index);
    platform::ui::Popover *popover = createPopover();
    popover->showRelativeTo(outline->visualRect(index), outline->viewport(), platform::ui::Popover::Edge::Right);
}

void openEditorSheet(QWidget *owner, QWidget *editor, QPointer<AddContactWindowController> &holder,
                     platform::ui::Sheet::Completion completion)
{
    auto *controller = new AddContactWindowController(AddContactWindowController::WindowNibName, owner);
    controller->setContentViewController(editor);
    holder = controller;
    controller->beginSheetOnWindow(owner, std::move(completion));
}

void confirmDelete(QWidget *owner, const QString &noun, const QString &defaultsKey, std::function<void()> remove)
{
    if (questionTurnedOff(defaultsKey)) {
        remove();
        return;
    }
    platform::ui::AlertSpec alert;
    alert.messageText = QStringLiteral("Delete %1").arg(noun);
    alert.informativeText = QStringLiteral("Do you want to delete this %1 from your records?").arg(noun);
    alert.buttonTitles = {QStringLiteral("Delete"), QStringLiteral("No")};
    alert.showsSuppressionButton = true;
    QPointer<QWidget> guard(owner);
    platform::ui::AlertPresenter::shared().beginSheet(
        alert, owner->window(), [guard, defaultsKey, remove = std::move(remove)](const platform::ui::AlertResult &result) {
            if (!guard)
                return;
            if (result.returnCode() == platform::ui::AlertFirstButtonReturn)
                remove();
            if (result.suppressed)
                turnOffQuestion(defaultsKey);
        });
}

void markToDoDone(QWidget *owner, QDListItemModel *model, const QModelIndex &index, ToDo *todo)
{
    if (!todo)
        return;
    const CommonListData *item = model->itemForIndex(index);
    QPointer<QDListItemModel> guard(model);
    platform::core::dispatchAfter(TurnOffSwitchDelayMs, [guard, item] {
        if (guard)
            guard->setRowTicked(item, false);
    });
    if (!ToDo_Category::markDone(*todo)) {
        platform::ui::AlertSpec alert;
        alert.messageText = QStringLiteral("Unable to save");
        alert.informativeText = QStringLiteral("The ToDo could not be marked as done. Please try again.");
        platform::ui::AlertPresenter::shared().beginSheet(alert, owner->window());
    }
}

void offerLogForTickedToDo(QWidget *owner, QDListItemModel *model, const QModelIndex &index,
                           std::function<void(const QModelIndex &)> addLog,
                           std::function<void(const QModelIndex &)> complete)
{
    if (questionTurnedOff(CopyToDoToDiaryDefaultsKey)) {
        complete(index);
        return;
    }
    platform::ui::AlertSpec alert;
    alert.informativeText = QStringLiteral("Do you want to add a Log for this event?");
    alert.buttonTitles = {QStringLiteral("Add Log"), QStringLiteral("No"), QStringLiteral("Cancel")};
    alert.showsSuppressionButton = true;
    QPointer<QWidget> guard(owner);
    QPointer<QDListItemModel> listModel(model);
    const QPersistentModelIndex row(index);
    platform::ui::AlertPresenter::shared().beginSheet(
        alert, owner->window(),
        [guard, listModel, row, addLog = std::move(addLog), complete = std::move(complete)](
            const platform::ui::AlertResult &result) {
            if (!guard)
                return;
            if (result.returnCode() == platform::ui::AlertFirstButtonReturn)
                addLog(row);
            else if (result.returnCode() == platform::ui::AlertSecondButtonReturn)
                complete(row);
            else if (listModel)
                listModel->setRowTicked(listModel->itemForIndex(row), false);
            if (result.suppressed)
                turnOffQuestion(CopyToDoToDiaryDefaultsKey);
        });
}

void showContactPicker(MainWindowManagerViewController *section, SelectContactPopoverDelegate *delegate,
                       const QRect &rect, QWidget *anchor, platform::ui::Popover::Edge edge)
{
    if (section->contentPopover() && section->contentPopover()->isShown())
        section->contentPopover()->closePopover();
    auto *picker =
        new SelectContactsViewControllerMac(SelectContactsViewControllerMac::NibName, section->managedObjectContext());
    picker->setDelegate(delegate);
    platform::ui::Popover *popover = section->createPopoverWithViewController(picker);
    section->setContentPopover(popover);
    popover->showRelativeTo(rect, anchor, edge);
}

std::optional<platform::store::Predicate> contactsFilterForGroupChange(const MainWindowManagerViewController &section,
                                                                      const platform::core::Notification &notification,
                                                                      bool missingGroupShowsAll)
{
    const QVariantMap &info = notification.userInfo;
    if (info.contains(QStringLiteral("GroupChangePrivate"))) {
        auto *group = dynamic_cast<PrivateGroups *>(
            info.value(QStringLiteral("GroupChangePrivate")).value<platform::store::ManagedObject *>());
        if (!group && missingGroupShowsAll)
            return std::nullopt;
        return MainWindowManagerViewController::predicateForPrivateGroup(group);
    }
    if (info.contains(QStringLiteral("GroupChangePublic")))
        return section.predicateForPublicGroup(info.value(QStringLiteral("GroupChangePublic")).toStringList());
    return std::nullopt;
}

} // namespace JournalRowActions
