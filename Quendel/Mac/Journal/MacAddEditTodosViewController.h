#pragma once

#include "Mac/Journal/MacAddEditCommonController.h"
#include "Mac/Journal/SelectItemPickerViewController.h"

#include "platform/store/ManagedObjectID.h"

class ToDo;
class ToDoCalendarLinkViewControllerMac;

// Adds, edits or clones one to-do: its start, title, location, notes, repeat, alert and calendar link. The
// to-do lives in the editor's private child context of the main context; Save saves that context and then
// the main context and reports the result to the owner. A save that fails or is refused keeps the editor
// open with its edits and says why.
class MacAddEditTodosViewController : public MacAddEditCommonController, public SelectItemDelegate
{
    Q_OBJECT
public:
    static inline const QString AddToDoTitle = QStringLiteral("Add ToDo");
    static inline const QString EditToDoTitle = QStringLiteral("Edit ToDo");
    static inline const QString PrivateContextName = QStringLiteral("MacAddEditToDosPrivateContext");
    static inline const QString CalendarAutoLinkText = QStringLiteral("Calendar Auto-Link");
    static inline const QString CalendarLinkedText = QStringLiteral("Calendar Linked");
    static inline const QString CalendarLinkLostText = QStringLiteral("Link can't be retrieved");
    static inline const QString NoCalendarText = QStringLiteral("No Calendar");
    static inline const QString AlwaysAddToCalendarKey = QStringLiteral("settings_always_add_new_tasks_to_calendar");
    static constexpr qint64 RepeatTag = 1;
    static constexpr qint64 AlertTag = 2;

    // A to-do to edit or to clone (in the main context), or null for a new one.
    MacAddEditTodosViewController(ToDo *todo, bool isClone, QWidget *parent = nullptr);
    ~MacAddEditTodosViewController() override;

    // The to-do being edited, a record of the private context, once set up.
    ToDo *existingTodo() const { return m_existingTodo; }
    bool isClone() const { return m_isClone; }
    bool dateChanged() const { return m_dateChanged; }
    bool calendarLinkWasChanged() const { return m_calendarLinkWasChanged; }

    QLabel *repeatTextField() const { return m_repeatTextField; }
    QLabel *alertTextField() const { return m_alertTextField; }
    QLabel *calendarTextField() const { return m_calendarTextField; }
    QPushButton *repeatButton() const { return m_repeatButton; }
    QPushButton *alertButton() const { return m_alertButton; }
    QPushButton *calendarButton() const { return m_calendarButton; }
    platform::ui::Popover *repeatPopover() const { return m_repeatPopover; }
    platform::ui::Popover *alertPopover() const { return m_alertPopover; }
    platform::ui::Popover *calendarPopover() const { return m_calendarPopover; }
    SelectItemPickerViewController *selectRepeatItem() const { return m_selectRepeatItem; }
    SelectItemPickerViewController *selectAlertItem() const { return m_selectAlertItem; }
    ToDoCalendarLinkViewControllerMac *selectCalendarLinkItem() const;

    void awakeFromNib() override;

    void dateButtonClicked(QWidget *sender) override;
    void timeButtonClicked(QWidget *sender) override;
    void datePickerChanged(QWidget *sender) override;
    void timePickerChanged(QWidget *sender) override;
    void titleButtonClicked(QWidget *sender) override;
    void locationButtonClicked(QWidget *sender) override;
    void repeatButtonClicked(QWidget *sender);
    void alertButtonClicked(QWidget *sender);
    void calendarButtonClicked(QWidget *sender);
    void saveButtonPressed(QWidget *sender) override;
    void closePopovers() override;

    // Choices of the pickers.
    bool respondsToSelectedToDoTitle() const override { return true; }
    void selectedToDoTitle(ToDoTitle *title, bool shouldClosePopover) override;
    void selectedLocationItem(Location *location) override;
    void selectedItemFromList(quint64 index, qint64 tag) override;
    // From the calendar link popover.
    void updateCalendarLinkWithEndDate(const QDateTime &endDate);
    void updateCalendarLinkSwitchWithNewState(bool on);

    // The start shown and stored. A new day moves a linked event's end with it; a new time does not.
    QDateTime todoStartDate() const;
    void setStartDateFromDatePicker(const QDate &date);
    void setStartTimeFromTimePicker(const QTime &time);

    void setupRepeatingTextField();
    void setupAlertTextField();
    void setupCalendarTextField();

protected:
    platform::store::ManagedObject *editedRecord() const override;

private:
    void makeRecord();
    void refreshFields();
    bool alwaysAddToCalendar() const;
    void showPicker(QPointer<platform::ui::Popover> &popover, QWidget *content, QWidget *anchor);

    platform::store::ManagedObjectID m_sourceID;
    ToDo *m_existingTodo = nullptr;
    bool m_isClone = false;
    bool m_dateChanged = false;
    bool m_calendarLinkWasChanged = false;

    QLabel *m_repeatTextField = nullptr;
    QLabel *m_alertTextField = nullptr;
    QLabel *m_calendarTextField = nullptr;
    QPushButton *m_repeatButton = nullptr;
    QPushButton *m_alertButton = nullptr;
    QPushButton *m_calendarButton = nullptr;
    QPointer<platform::ui::Popover> m_repeatPopover;
    QPointer<platform::ui::Popover> m_alertPopover;
    QPointer<platform::ui::Popover> m_calendarPopover;
    QPointer<SelectItemPickerViewController> m_selectRepeatItem;
    QPointer<SelectItemPickerViewController> m_selectAlertItem;
    QPointer<QWidget> m_selectCalendarLinkItem; // a ToDoCalendarLinkViewControllerMac
};
