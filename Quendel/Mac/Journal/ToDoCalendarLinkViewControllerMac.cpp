#include "Mac/Journal/ToDoCalendarLinkViewControllerMac.h"

#include "Classes/CalendarLinkBridge.h"
#include "Mac/Journal/MacAddEditTodosViewController.h"

#include "QuendelKit/Entities/ToDo.h"
#include "QuendelKit/Entities/ToDoCalendarLink.h"

#include "platform/ui/AlertPresenter.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDateTimeEdit>
#include <QGridLayout>
#include <QLabel>
#include <QLocale>

ToDoCalendarLinkViewControllerMac::ToDoCalendarLinkViewControllerMac(platform::store::ContextPtr context, ToDo *todo,
                                                                     QWidget *parent)
    : QWidget(parent), m_context(std::move(context)), m_todoLink(todo)
{
    setObjectName(QStringLiteral("ToDoCalendarLinkViewControllerMac"));
    setAccessibleName(QStringLiteral("Calendar link"));
    auto *layout = new QGridLayout(this);
    m_checkbox = new QCheckBox(QStringLiteral("Add to Calendar"), this);
    m_checkbox->setAccessibleName(QStringLiteral("Add to Calendar"));
    m_endDateLabel = new QLabel(QStringLiteral("End"), this);
    m_datePicker = new QDateTimeEdit(this);
    m_datePicker->setAccessibleName(QStringLiteral("End date"));
    m_datePicker->setCalendarPopup(true);
    m_datePicker->setDisplayFormat(QLocale().dateTimeFormat(QLocale::ShortFormat));
    m_calendarLabel = new QLabel(QStringLiteral("Calendar"), this);
    m_calendarList = new QComboBox(this);
    m_calendarList->setAccessibleName(QStringLiteral("Calendars"));
    layout->addWidget(m_checkbox, 0, 0, 1, 2);
    layout->addWidget(m_endDateLabel, 1, 0);
    layout->addWidget(m_datePicker, 1, 1);
    layout->addWidget(m_calendarLabel, 2, 0);
    layout->addWidget(m_calendarList, 2, 1);
    for (QWidget *control : {static_cast<QWidget *>(m_endDateLabel), static_cast<QWidget *>(m_datePicker),
                             static_cast<QWidget *>(m_calendarLabel), static_cast<QWidget *>(m_calendarList)}) {
        QSizePolicy policy = control->sizePolicy();
        policy.setRetainSizeWhenHidden(true);
        control->setSizePolicy(policy);
    }
    connect(m_checkbox, &QCheckBox::clicked, this, &ToDoCalendarLinkViewControllerMac::calendarLinkButtonClicked);
    connect(m_datePicker, &QDateTimeEdit::dateTimeChanged, this, [this] {
        if (!m_filling)
            datePickerValueChanged();
    });
    connect(m_calendarList, qOverload<int>(&QComboBox::activated), this,
            &ToDoCalendarLinkViewControllerMac::selectedCalendar);
    awakeFromNib();
}

bool ToDoCalendarLinkViewControllerMac::linkControlsShown() const
{
    return !m_datePicker->isHidden();
}

void ToDoCalendarLinkViewControllerMac::setLinkControlsShown(bool shown)
{
    for (QWidget *control : {static_cast<QWidget *>(m_endDateLabel), static_cast<QWidget *>(m_datePicker),
                             static_cast<QWidget *>(m_calendarLabel), static_cast<QWidget *>(m_calendarList)})
        control->setVisible(shown);
}

void ToDoCalendarLinkViewControllerMac::awakeFromNib()
{
    m_filling = true;
    QDateTime start;
    QDateTime end;
    QString calendar;
    bool linked = false;
    m_context->performAndWait([&] {
        start = m_todoLink->todoStartDate();
        if (ToDoCalendarLink *link = m_todoLink->calendarLink()) {
            linked = true;
            end = link->calendarEndDate();
            calendar = link->ekCalendarID();
        } else {
            end = start.addSecs(CalendarLinkBridge::DefaultEventLengthSeconds);
        }
    });
    m_checkbox->setChecked(linked);
    if (start.isValid())
        m_datePicker->setMinimumDateTime(start.toLocalTime());
    m_datePicker->setDateTime(end.toLocalTime());
    setLinkControlsShown(linked);
    if (linked)
        showCalendarOptionsInPopupWithSelection(calendar);
    m_filling = false;
}

void ToDoCalendarLinkViewControllerMac::showCalendarOptionsInPopupWithSelection(const QString &calendarIdentifier)
{
    m_calendarList->clear();
    const std::shared_ptr<platform::calendar::EventStore> store = CalendarLinkBridge::globalEventStore();
    if (!store)
        return;
    for (const platform::calendar::Calendar &calendar : store->calendars()) {
        if (!calendar.allowsContentModifications)
            continue;
        m_calendarList->addItem(calendar.title, calendar.calendarIdentifier);
        if (calendar.calendarIdentifier == calendarIdentifier)
            m_calendarList->setCurrentIndex(m_calendarList->count() - 1);
    }
}

void ToDoCalendarLinkViewControllerMac::selectedCalendar(int index)
{
    const QString identifier = m_calendarList->itemData(index).toString();
    m_context->performAndWait([&] {
        if (ToDoCalendarLink *link = m_todoLink->calendarLink())
            link->setEkCalendarID(identifier);
    });
}

void ToDoCalendarLinkViewControllerMac::calendarLinkButtonClicked(bool on)
{
    if (on) {
        QString error;
        if (!CalendarLinkBridge::requestAccess(&error)) {
            m_checkbox->setChecked(false);
            platform::ui::AlertSpec alert;
            alert.messageText = QStringLiteral("Calendar");
            alert.informativeText = error;
            platform::ui::AlertPresenter::shared().beginSheet(alert, window());
        } else {
            setLinkControlsShown(true);
            const QDateTime end = m_datePicker->dateTime().toUTC();
            m_context->performAndWait([&] {
                if (!m_todoLink->calendarLink()) {
                    ToDoCalendarLink *link =
                        ToDoCalendarLink::createNewCalendarLinkObjectWithEndDate(end, m_context.get());
                    m_todoLink->setCalendarLink(link);
                    m_todoLink->setIsCalendarEventSet(true);
                }
            });
            if (m_delegate)
                m_delegate->updateCalendarLinkWithEndDate(end);
            CalendarLinkBridge bridge;
            showCalendarOptionsInPopupWithSelection(bridge.defaultCalendarIdentifier());
        }
        if (m_delegate)
            m_delegate->updateCalendarLinkSwitchWithNewState(true);
        return;
    }
    setLinkControlsShown(false);
    bool hadLink = false;
    m_context->performAndWait([&] {
        if (m_todoLink->calendarLink()) {
            hadLink = true;
            m_todoLink->setIsCalendarEventSet(false);
        }
    });
    if (hadLink && m_delegate)
        m_delegate->updateCalendarLinkWithEndDate(QDateTime());
    if (m_delegate)
        m_delegate->updateCalendarLinkSwitchWithNewState(false);
}

void ToDoCalendarLinkViewControllerMac::datePickerValueChanged()
{
    const QDateTime end = m_datePicker->dateTime().toUTC();
    bool linked = false;
    m_context->performAndWait([&] {
        if (ToDoCalendarLink *link = m_todoLink->calendarLink()) {
            link->setCalendarEndDate(end);
            linked = true;
        }
    });
    if (linked && m_delegate)
        m_delegate->updateCalendarLinkWithEndDate(end);
}
