#pragma once

#include "platform/store/ManagedObjectContext.h"

#include <QPointer>
#include <QWidget>

class MacAddEditTodosViewController;
class QCheckBox;
class QComboBox;
class QDateTimeEdit;
class QLabel;
class ToDo;

// The calendar link of a to-do in the to-do editor: a switch that links the to-do to an event, the writable
// calendar that is to hold it and the event's end. It edits the to-do in the editor's private context and
// tells the editor of every change; the event itself is made when the editor saves.
class ToDoCalendarLinkViewControllerMac : public QWidget
{
    Q_OBJECT
public:
    ToDoCalendarLinkViewControllerMac(platform::store::ContextPtr context, ToDo *todo, QWidget *parent = nullptr);

    void setDelegate(MacAddEditTodosViewController *delegate) { m_delegate = delegate; }

    QCheckBox *calendarLinkCheckboxButton() const { return m_checkbox; }
    QDateTimeEdit *datePicker() const { return m_datePicker; }
    QComboBox *calendarListButton() const { return m_calendarList; }
    // Whether the end, the calendar and their labels are on show (they are while the link is on).
    bool linkControlsShown() const;

    void awakeFromNib();
    void showCalendarOptionsInPopupWithSelection(const QString &calendarIdentifier);
    void selectedCalendar(int index);
    void calendarLinkButtonClicked(bool on);
    void datePickerValueChanged();

private:
    void setLinkControlsShown(bool shown);

    platform::store::ContextPtr m_context;
    ToDo *m_todoLink = nullptr;
    QPointer<MacAddEditTodosViewController> m_delegate;
    QCheckBox *m_checkbox = nullptr;
    QLabel *m_endDateLabel = nullptr;
    QDateTimeEdit *m_datePicker = nullptr;
    QLabel *m_calendarLabel = nullptr;
    QComboBox *m_calendarList = nullptr;
    bool m_filling = false;
};
