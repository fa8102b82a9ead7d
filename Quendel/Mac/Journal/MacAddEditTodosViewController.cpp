#include "Mac/Journal/MacAddEditTodosViewController.h"

#include "Classes/CalendarLinkBridge.h"
#include "Classes/ToDo_Category.h"
#include "Mac/Journal/ToDoCalendarLinkViewControllerMac.h"
#include "Mac/Shell/PlainTextLabel.h"
#include "SharedAppGlobals.h"

#include "QuendelKit/Entities/Location.h"
#include "QuendelKit/Entities/Person.h"
#include "QuendelKit/Entities/ToDo.h"
#include "QuendelKit/Entities/ToDoCalendarLink.h"
#include "QuendelKit/Entities/ToDoTitle.h"
#include "QuendelKit/Settings/DataPlistValues.h"

#include "platform/core/Clock.h"
#include "platform/core/Dispatch.h"
#include "platform/core/UserDefaults.h"
#include "platform/ui/AlertPresenter.h"

#include <QCalendarWidget>
#include <QDateEdit>
#include <QGridLayout>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimeEdit>

using platform::store::ContextPtr;
using platform::store::ManagedObject;
using platform::store::ManagedObjectContext;

namespace {

const QString Breadcrumb3a = QStringLiteral("HockeyDebug-3a");
const QString Breadcrumb3b = QStringLiteral("HockeyDebug-3b");
const QString BreadcrumbToDosCount = QStringLiteral("HockeyDebug-ToDosCount");
const char *const ChosenTextColor = "color: palette(text);";
const char *const PlaceholderTextColor = "color: palette(mid);";

void showChoice(QLabel *field, const QString &chosen, const QString &placeholder)
{
    const bool set = !chosen.isEmpty();
    field->setText(set ? chosen : placeholder);
    field->setStyleSheet(QString::fromLatin1(set ? ChosenTextColor : PlaceholderTextColor));
}

} // namespace

MacAddEditTodosViewController::MacAddEditTodosViewController(ToDo *todo, bool isClone, QWidget *parent)
    : MacAddEditCommonController(parent), m_isClone(isClone)
{
    setObjectName(QStringLiteral("MacAddEditTodosViewController"));
    if (todo) {
        m_sourceID = todo->objectID();
        setRecordMainContext(sharedContextOf(todo));
    }

    // The repeat, alert and calendar rows go between the location and the notes.
    auto *form = qobject_cast<QGridLayout *>(formView()->layout());
    QWidget *notes = notesTextView();
    form->removeWidget(notes);
    auto addRow = [&](int row, const QString &name, QLabel *&field, QPushButton *&button, const QString &buttonText) {
        field = new PlainTextLabel(formView());
        field->setObjectName(name);
        button = new QPushButton(buttonText, formView());
        button->setObjectName(name + QStringLiteral("Button"));
        button->setAccessibleName(buttonText);
        form->addWidget(field, row, 0);
        form->addWidget(button, row, 1);
    };
    addRow(4, QStringLiteral("repeatTextField"), m_repeatTextField, m_repeatButton, QStringLiteral("Repeat"));
    addRow(5, QStringLiteral("alertTextField"), m_alertTextField, m_alertButton, QStringLiteral("Alert"));
    addRow(6, QStringLiteral("calendarTextField"), m_calendarTextField, m_calendarButton, QStringLiteral("Calendar"));
    form->addWidget(notes, 7, 0, 1, 2);
    m_calendarTextField->setText(NoCalendarText);
    m_calendarTextField->setStyleSheet(QString::fromLatin1(PlaceholderTextColor));

    connect(m_repeatButton, &QPushButton::clicked, this, [this] { repeatButtonClicked(m_repeatButton); });
    connect(m_alertButton, &QPushButton::clicked, this, [this] { alertButtonClicked(m_alertButton); });
    connect(m_calendarButton, &QPushButton::clicked, this, [this] { calendarButtonClicked(m_calendarButton); });
}

MacAddEditTodosViewController::~MacAddEditTodosViewController()
{
    auto defaults = platform::core::UserDefaults::standardUserDefaults();
    defaults->removeObjectForKey(Breadcrumb3a);
    defaults->removeObjectForKey(Breadcrumb3b);
}

ManagedObject *MacAddEditTodosViewController::editedRecord() const
{
    return m_existingTodo;
}

bool MacAddEditTodosViewController::alwaysAddToCalendar() const
{
    return dataPlistValues().integerValue(AlwaysAddToCalendarKey) == 1;
}

void MacAddEditTodosViewController::awakeFromNib()
{
    if (isLoaded())
        return;
    MacAddEditCommonController::awakeFromNib();
    auto defaults = platform::core::UserDefaults::standardUserDefaults();
    defaults->setInteger(1, Breadcrumb3a);

    setUpPrivateContext(PrivateContextName);

    setWindowTitle((m_sourceID.isNull() || m_isClone) ? AddToDoTitle : EditToDoTitle);
    makeRecord();
    refreshFields();

    if (title() == AddToDoTitle) {
        QPointer<MacAddEditTodosViewController> self(this);
        platform::core::dispatchAfter(500, [self] {
            if (self)
                self->notesTextView()->setFocus(Qt::OtherFocusReason);
        });
    }
    defaults->setInteger(defaults->integerForKey(BreadcrumbToDosCount) + 1, BreadcrumbToDosCount);
    defaults->setInteger(2, Breadcrumb3a);
}

void MacAddEditTodosViewController::makeRecord()
{
    const ContextPtr context = privateContext();
    qint64 step = 4;
    const bool autoLink = alwaysAddToCalendar();
    context->performAndWait([&] {
        if (m_isClone && !m_sourceID.isNull()) {
            auto *source = dynamic_cast<ToDo *>(context->objectWithID(m_sourceID));
            if (source) {
                m_existingTodo = dynamic_cast<ToDo *>(source->makeCloneOfObjectWithContext(context.get()));
                if (m_existingTodo) {
                    // The copy is a record of its own, never the cloud twin of its source, and it has no event.
                    m_existingTodo->setCloudKitFields(QByteArray());
                    m_existingTodo->setCloudKitRemotelyDeleted(false);
                    m_existingTodo->setIsCalendarEventSet(false);
                    m_existingTodo->setTodoStatus(0);
                    m_existingTodo->setTodotitle(source->todotitle());
                    m_existingTodo->setTodoLocation(source->todoLocation());
                }
            }
            step = 2;
        } else if (!m_sourceID.isNull()) {
            m_existingTodo = dynamic_cast<ToDo *>(context->objectWithID(m_sourceID));
            if (ToDoCalendarLink *link = m_existingTodo ? m_existingTodo->calendarLink() : nullptr) {
                const auto store = CalendarLinkBridge::globalEventStore();
                const bool found = store && CalendarLinkBridge::fetchCalendarEvent(*link, true, *store).has_value();
                m_existingTodo->setCalendarLinkString(found ? CalendarLinkedText : CalendarLinkLostText);
            }
            step = 3;
        }
        if (!m_existingTodo) {
            m_existingTodo = context->insertNewObject<ToDo>(ToDo::EntityName);
            m_existingTodo->setTodoStartDate(ToDo_Category::defaultToDoDateRelativeToToday());
            m_existingTodo->setTodoStatus(0);
            if (autoLink) {
                m_existingTodo->setCalendarLinkString(CalendarAutoLinkText);
                m_existingTodo->setIsCalendarEventSet(true);
            } else {
                m_existingTodo->setIsCalendarEventSet(false);
            }
            step = 4;
        }
        if (!m_existingTodo->person() && detailPerson())
            m_existingTodo->setPerson(inContext<Person>(context.get(), detailPerson()));
    });
    platform::core::UserDefaults::standardUserDefaults()->setInteger(step, Breadcrumb3b);
}

void MacAddEditTodosViewController::refreshFields()
{
    QDateTime date;
    QString note;
    QString titleText;
    QString locationName;
    privateContext()->performAndWait([&] {
        date = m_existingTodo->todoStartDate();
        note = m_existingTodo->todoNote();
        titleText = m_existingTodo->todotitle() ? m_existingTodo->todotitle()->title() : QString();
        locationName = m_existingTodo->todoLocation() ? m_existingTodo->todoLocation()->locationName() : QString();
    });
    setupDateFieldWithDate(date);
    setupNotesFieldWithNote(note);
    setupNameField();
    setupTitleFieldWithString(titleText);
    setupLocationFieldWithLocation(locationName);
    setupRepeatingTextField();
    setupAlertTextField();
    setupCalendarTextField();
}

void MacAddEditTodosViewController::setupRepeatingTextField()
{
    QString chosen;
    privateContext()->performAndWait([&] { chosen = ToDo_Category::repeatIntervalChosenString(*m_existingTodo); });
    showChoice(m_repeatTextField, chosen, QStringLiteral("No Repeat"));
}

void MacAddEditTodosViewController::setupAlertTextField()
{
    QString chosen;
    privateContext()->performAndWait([&] { chosen = ToDo_Category::alertChosenString(*m_existingTodo); });
    showChoice(m_alertTextField, chosen, QStringLiteral("No Alert"));
}

void MacAddEditTodosViewController::setupCalendarTextField()
{
    QString text;
    bool linked = false;
    privateContext()->performAndWait([&] {
        text = m_existingTodo->calendarLinkString();
        linked = m_existingTodo->calendarLink() != nullptr;
    });
    if (!text.isEmpty())
        m_calendarTextField->setText(text);
    m_calendarTextField->setStyleSheet(QString::fromLatin1(linked ? ChosenTextColor : PlaceholderTextColor));
}

QDateTime MacAddEditTodosViewController::todoStartDate() const
{
    QDateTime date;
    if (m_existingTodo)
        privateContext()->performAndWait([&] { date = m_existingTodo->todoStartDate(); });
    return date;
}

void MacAddEditTodosViewController::setStartDateFromDatePicker(const QDate &date)
{
    QDateTime start;
    privateContext()->performAndWait([&] {
        const QDateTime old = m_existingTodo->todoStartDate();
        QDateTime local = old.isValid() ? old.toLocalTime() : platform::core::Clock::now().toLocalTime();
        local.setDate(date);
        start = local.toUTC();
        // The linked event keeps its length.
        if (ToDoCalendarLink *link = m_existingTodo->calendarLink(); link && old.isValid()) {
            const QDateTime end = link->calendarEndDate();
            if (end.isValid())
                link->setCalendarEndDate(start.addSecs(old.secsTo(end)));
        }
        m_existingTodo->setTodoStartDate(start);
    });
    setupDateFieldWithDate(start);
}

void MacAddEditTodosViewController::setStartTimeFromTimePicker(const QTime &time)
{
    QDateTime start;
    privateContext()->performAndWait([&] {
        const QDateTime old = m_existingTodo->todoStartDate();
        QDateTime local = old.isValid() ? old.toLocalTime() : platform::core::Clock::now().toLocalTime();
        local.setTime(QTime(time.hour(), time.minute(), 0));
        start = local.toUTC();
        m_existingTodo->setTodoStartDate(start);
    });
    setupDateFieldWithDate(start);
    m_dateChanged = true;
}

// ---- Pickers ----

void MacAddEditTodosViewController::dateButtonClicked(QWidget *sender)
{
    const QDate date = todoStartDate().toLocalTime().date();
    datePicker()->setSelectedDate(date);
    datePickerTextual()->setDate(date);
    MacAddEditCommonController::dateButtonClicked(sender);
}

void MacAddEditTodosViewController::timeButtonClicked(QWidget *sender)
{
    timePicker()->setTime(todoStartDate().toLocalTime().time());
    MacAddEditCommonController::timeButtonClicked(sender);
}

void MacAddEditTodosViewController::datePickerChanged(QWidget *)
{
    datePickerButton()->setToolTip(QString());
    setStartDateFromDatePicker(isDatePickerTextMode() ? datePickerTextual()->date() : datePicker()->selectedDate());
    if (!isDatePickerTextMode() && datePopover())
        datePopover()->closePopover();
}

void MacAddEditTodosViewController::timePickerChanged(QWidget *)
{
    setStartTimeFromTimePicker(timePicker()->time());
}

void MacAddEditTodosViewController::titleButtonClicked(QWidget *sender)
{
    ToDoTitle *current = nullptr;
    privateContext()->performAndWait([&] { current = m_existingTodo->todotitle(); });
    if (titleViewController())
        titleViewController()->deleteLater();
    setTitleViewController(new TitlesPickerViewControllerMac(ToDoTitle::EntityName, privateContext(), current));
    MacAddEditCommonController::titleButtonClicked(sender);
}

void MacAddEditTodosViewController::selectedToDoTitle(ToDoTitle *title, bool shouldClosePopover)
{
    QString text;
    privateContext()->performAndWait([&] {
        m_existingTodo->setTodotitle(title);
        text = title ? title->title() : QString();
    });
    setupTitleFieldWithString(text);
    if (shouldClosePopover && titlesPopover())
        titlesPopover()->closePopover();
    titlePickerButton()->setToolTip(QString());
}

void MacAddEditTodosViewController::locationButtonClicked(QWidget *sender)
{
    Location *current = nullptr;
    privateContext()->performAndWait([&] { current = m_existingTodo->todoLocation(); });
    if (locationsPicker())
        locationsPicker()->deleteLater();
    setLocationsPicker(new LocationsPickerViewControllerMac(privateContext(), current));
    MacAddEditCommonController::locationButtonClicked(sender);
}

void MacAddEditTodosViewController::selectedLocationItem(Location *location)
{
    QString name;
    privateContext()->performAndWait([&] {
        m_existingTodo->setTodoLocation(location);
        name = location ? location->locationName() : QString();
    });
    setupLocationFieldWithLocation(name);
    if (locationPopover())
        locationPopover()->closePopover();
    locationPickerButton()->setToolTip(QString());
}

void MacAddEditTodosViewController::showPicker(QPointer<platform::ui::Popover> &popover, QWidget *content,
                                               QWidget *anchor)
{
    if (popover)
        popover->deleteLater();
    popover = createPopoverWithViewController(content);
    popover->showRelativeTo(QRect(), anchor ? anchor : this, platform::ui::Popover::Edge::Top);
}

void MacAddEditTodosViewController::repeatButtonClicked(QWidget *sender)
{
    qint64 chosen = 0;
    privateContext()->performAndWait([&] { chosen = ToDo_Category::repeatIntervalChosenIndex(*m_existingTodo); });
    m_selectRepeatItem =
        new SelectItemPickerViewController(ToDo_Category::supportedRepeatStrings(), quint64(chosen), RepeatTag);
    m_selectRepeatItem->setAccessibleName(QStringLiteral("Repeat choices"));
    m_selectRepeatItem->setDelegate(this);
    showPicker(m_repeatPopover, m_selectRepeatItem, sender);
}

void MacAddEditTodosViewController::alertButtonClicked(QWidget *sender)
{
    qint64 chosen = 0;
    privateContext()->performAndWait([&] { chosen = ToDo_Category::alertChosenIndex(*m_existingTodo); });
    m_selectAlertItem =
        new SelectItemPickerViewController(ToDo_Category::supportedAlertStrings(), quint64(chosen), AlertTag);
    m_selectAlertItem->setAccessibleName(QStringLiteral("Alert choices"));
    m_selectAlertItem->setDelegate(this);
    showPicker(m_alertPopover, m_selectAlertItem, sender);
}

void MacAddEditTodosViewController::selectedItemFromList(quint64 index, qint64 tag)
{
    if (tag == RepeatTag) {
        m_repeatButton->setToolTip(QString());
        if (m_repeatPopover)
            m_repeatPopover->closePopover();
        privateContext()->performAndWait(
            [&] { ToDo_Category::updateRepeatIntervalWithIndex(*m_existingTodo, qint64(index)); });
        setupRepeatingTextField();
    } else if (tag == AlertTag) {
        m_alertButton->setToolTip(QString());
        if (m_alertPopover)
            m_alertPopover->closePopover();
        privateContext()->performAndWait(
            [&] { ToDo_Category::updateAlertIntervalWithIndex(*m_existingTodo, qint64(index)); });
        setupAlertTextField();
    }
}

ToDoCalendarLinkViewControllerMac *MacAddEditTodosViewController::selectCalendarLinkItem() const
{
    return qobject_cast<ToDoCalendarLinkViewControllerMac *>(m_selectCalendarLinkItem.data());
}

void MacAddEditTodosViewController::calendarButtonClicked(QWidget *sender)
{
    if (!m_calendarLinkWasChanged) {
        const bool autoLink = alwaysAddToCalendar();
        privateContext()->performAndWait([&] {
            if (!m_existingTodo->calendarLink() && autoLink)
                ToDo_Category::addAutoLinkCalendarEventWithContext(*m_existingTodo, privateContext().get());
        });
    }
    auto *controller = new ToDoCalendarLinkViewControllerMac(privateContext(), m_existingTodo);
    controller->setDelegate(this);
    m_selectCalendarLinkItem = controller;
    showPicker(m_calendarPopover, controller, sender);
}

void MacAddEditTodosViewController::updateCalendarLinkWithEndDate(const QDateTime &endDate)
{
    m_calendarButton->setToolTip(QString());
    privateContext()->performAndWait(
        [&] { m_existingTodo->setCalendarLinkString(endDate.isValid() ? CalendarLinkedText : NoCalendarText); });
    setupCalendarTextField();
}

void MacAddEditTodosViewController::updateCalendarLinkSwitchWithNewState(bool on)
{
    m_calendarButton->setToolTip(QString());
    m_calendarLinkWasChanged = true;
    if (on)
        return;
    privateContext()->performAndWait([&] {
        if (ToDoCalendarLink *link = m_existingTodo->calendarLink()) {
            m_existingTodo->setCalendarLink(nullptr);
            privateContext()->deleteObject(link);
        }
    });
}

void MacAddEditTodosViewController::closePopovers()
{
    MacAddEditCommonController::closePopovers();
    for (platform::ui::Popover *popover : {m_repeatPopover.data(), m_alertPopover.data(), m_calendarPopover.data()})
        if (popover && popover->isShown())
            popover->closePopover();
}

// ---- Ending ----

void MacAddEditTodosViewController::saveButtonPressed(QWidget *sender)
{
    MacAddEditCommonController::saveButtonPressed(sender);
    const bool adding = title() == AddToDoTitle;
    const bool autoLink = !m_calendarLinkWasChanged && alwaysAddToCalendar();
    QVariantMap result;
    platform::core::QDError error;
    bool refused = false;
    bool saved = false;
    const ContextPtr context = privateContext();
    const QString note = notesTextView()->toPlainText();
    context->performAndWait([&] {
        m_existingTodo->setTodoNote(note.isNull() ? QString::fromLatin1("") : note);
        if (autoLink && !m_existingTodo->calendarLink())
            ToDo_Category::addAutoLinkCalendarEventWithContext(*m_existingTodo, context.get());
        if (ToDoCalendarLink *link = m_existingTodo->calendarLink()) {
            const QDateTime end = link->calendarEndDate();
            if (end.isValid() && m_existingTodo->todoStartDate() > end) {
                refused = true;
                return;
            }
            m_existingTodo->setIsCalendarEventSet(true);
        }
        saved = saveRecordThroughMainContext(adding, m_dateChanged, result, error);
    });

    if (refused) {
        showSaveFailure(QStringLiteral("Start Date is later than calendar's End Date. Please select a "
                                       "Start Date that is earlier than the End Date"));
        return;
    }
    if (!saved) {
        const QString reason = error.localizedDescription();
        showSaveFailure(reason.isEmpty() ? QStringLiteral("The to-do could not be saved. Please try again.") : reason);
        return;
    }

    SharedAppGlobals::sharedAppGlobals().logAnalyticsEvent(
        QStringLiteral("SaveNewToDos"),
        {{QStringLiteral("Title"), adding ? QStringLiteral("AddTodo") : QStringLiteral("EditTodo")}});
    finishSave(result);
}
