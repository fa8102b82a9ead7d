#include "Mac/Journal/MacAddEditLogsViewController.h"

#include "SharedAppGlobals.h"

#include "QuendelKit/Entities/Location.h"
#include "QuendelKit/Entities/Log.h"
#include "QuendelKit/Entities/LogTitle.h"
#include "QuendelKit/Entities/Person.h"
#include "QuendelKit/Entities/ToDo.h"
#include "QuendelKit/Entities/ToDoTitle.h"
#include "QuendelKit/Settings/SharedSettingController.h"

#include "platform/core/Clock.h"
#include "platform/core/Dispatch.h"
#include "platform/core/UserDefaults.h"
#include "platform/store/FetchRequest.h"
#include "platform/ui/AlertPresenter.h"

#include <QCalendarWidget>
#include <QDateEdit>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QTimeEdit>

using platform::store::ContextPtr;
using platform::store::ManagedObject;
using platform::store::ManagedObjectContext;

namespace {

const QString Breadcrumb2a = QStringLiteral("HockeyDebug-2a");
const QString Breadcrumb2b = QStringLiteral("HockeyDebug-2b");
const QString BreadcrumbLogsCount = QStringLiteral("HockeyDebug-LogsCount");

// A to-do as a log: its date, note, location and the log title of the same text.
template <typename T> Log *logFromToDo(T *todo, ManagedObjectContext *context)
{
    if constexpr (requires(T & t) { t.makeCloneForLogInContext(context); }) {
        return todo->makeCloneForLogInContext(context);
    } else {
        auto *log = context->insertNewObject<Log>(Log::EntityName);
        log->setLogDate(todo->todoStartDate().isValid() ? todo->todoStartDate() : platform::core::Clock::now());
        log->setLogNote(todo->todoNote());
        log->setLogLocation(MacAddEditCommonController::inContext<Location>(context, todo->todoLocation()));
        if (ToDoTitle *title = todo->todotitle()) {
            for (LogTitle *candidate : LogTitle::loadAllLogTitlesInContext(context))
                if (candidate->title() == title->title()) {
                    log->setTitle(candidate);
                    break;
                }
        }
        return log;
    }
}

} // namespace

MacAddEditLogsViewController::MacAddEditLogsViewController(Log *log, bool isClone, QWidget *parent)
    : MacAddEditCommonController(parent), m_isClone(isClone)
{
    setObjectName(QStringLiteral("MacAddEditLogsViewController"));
    if (log) {
        m_sourceLogID = log->objectID();
        setRecordMainContext(sharedContextOf(log));
    }
}

MacAddEditLogsViewController::MacAddEditLogsViewController(Log *log, ToDo *todo, QWidget *parent)
    : MacAddEditLogsViewController(log, false, parent)
{
    if (todo) {
        m_todoID = todo->objectID();
        if (!hasRecordMainContext())
            setRecordMainContext(sharedContextOf(todo));
    }
}

MacAddEditLogsViewController::~MacAddEditLogsViewController()
{
    auto defaults = platform::core::UserDefaults::standardUserDefaults();
    defaults->removeObjectForKey(Breadcrumb2a);
    defaults->removeObjectForKey(Breadcrumb2b);
}

ManagedObject *MacAddEditLogsViewController::editedRecord() const
{
    return m_existingLog;
}

void MacAddEditLogsViewController::awakeFromNib()
{
    if (isLoaded())
        return;
    MacAddEditCommonController::awakeFromNib();
    auto defaults = platform::core::UserDefaults::standardUserDefaults();
    defaults->setInteger(1, Breadcrumb2a);

    setUpPrivateContext(PrivateContextName);

    setWindowTitle((m_sourceLogID.isNull() || m_isClone || !m_todoID.isNull()) ? AddLogTitle : EditLogTitle);
    makeRecord();
    refreshFields();

    if (title() == AddLogTitle) {
        QPointer<MacAddEditLogsViewController> self(this);
        platform::core::dispatchAfter(500, [self] {
            if (self)
                self->notesTextView()->setFocus(Qt::OtherFocusReason);
        });
    }
    defaults->setInteger(defaults->integerForKey(BreadcrumbLogsCount) + 1, BreadcrumbLogsCount);
    defaults->setInteger(2, Breadcrumb2a);
}

void MacAddEditLogsViewController::makeRecord()
{
    const ContextPtr context = privateContext();
    auto defaults = platform::core::UserDefaults::standardUserDefaults();
    qint64 step = 5;
    context->performAndWait([&] {
        if (m_isClone && !m_sourceLogID.isNull()) {
            auto *source = dynamic_cast<Log *>(context->objectWithID(m_sourceLogID));
            if (source) {
                m_existingLog = dynamic_cast<Log *>(source->makeCloneOfObjectWithContext(context.get()));
                if (m_existingLog) {
                    // The copy is a record of its own, never the cloud twin of its source.
                    m_existingLog->setCloudKitFields(QByteArray());
                    m_existingLog->setCloudKitRemotelyDeleted(false);
                    m_existingLog->setTitle(source->title());
                    m_existingLog->setLogLocation(source->logLocation());
                }
            }
            step = 2;
        } else if (!m_todoID.isNull()) {
            if (auto *todo = dynamic_cast<ToDo *>(context->objectWithID(m_todoID)))
                m_existingLog = logFromToDo(todo, context.get());
            step = 3;
        } else if (!m_sourceLogID.isNull()) {
            m_existingLog = dynamic_cast<Log *>(context->objectWithID(m_sourceLogID));
            step = 4;
        }
        if (!m_existingLog) {
            m_existingLog = context->insertNewObject<Log>(Log::EntityName);
            m_existingLog->setLogDate(platform::core::Clock::now());
        }
        if (!m_existingLog->person() && detailPerson())
            m_existingLog->setPerson(inContext<Person>(context.get(), detailPerson()));
    });
    defaults->setInteger(step, Breadcrumb2b);
}

void MacAddEditLogsViewController::refreshFields()
{
    QDateTime date;
    QString note;
    QString titleText;
    QString locationName;
    privateContext()->performAndWait([&] {
        date = m_existingLog->logDate();
        note = m_existingLog->logNote();
        titleText = m_existingLog->title() ? m_existingLog->title()->title() : QString();
        locationName = m_existingLog->logLocation() ? m_existingLog->logLocation()->locationName() : QString();
    });
    setupDateFieldWithDate(date);
    setupNotesFieldWithNote(note);
    setupNameField();
    setupTitleFieldWithString(titleText);
    setupLocationFieldWithLocation(locationName);
}

QDateTime MacAddEditLogsViewController::logDate() const
{
    QDateTime date;
    if (m_existingLog)
        privateContext()->performAndWait([&] { date = m_existingLog->logDate(); });
    return date;
}

void MacAddEditLogsViewController::setLogDateFromEditor(const QDateTime &date)
{
    privateContext()->performAndWait([&] { m_existingLog->setLogDate(date); });
    setupDateFieldWithDate(date);
    m_dateChanged = true;
}

// ---- Pickers ----

void MacAddEditLogsViewController::dateButtonClicked(QWidget *sender)
{
    datePickerButton()->setToolTip(QString());
    const QDate date = logDate().toLocalTime().date();
    datePicker()->setSelectedDate(date);
    datePickerTextual()->setDate(date);
    MacAddEditCommonController::dateButtonClicked(sender);
}

void MacAddEditLogsViewController::timeButtonClicked(QWidget *sender)
{
    timePicker()->setTime(logDate().toLocalTime().time());
    MacAddEditCommonController::timeButtonClicked(sender);
}

void MacAddEditLogsViewController::datePickerChanged(QWidget *sender)
{
    const QDate picked = isDatePickerTextMode() ? datePickerTextual()->date() : datePicker()->selectedDate();
    QDateTime local = logDate().toLocalTime();
    if (!local.isValid())
        local = platform::core::Clock::now().toLocalTime();
    local.setDate(picked);
    setLogDateFromEditor(local.toUTC());
    if (!isDatePickerTextMode() && datePopover())
        datePopover()->closePopover();
}

void MacAddEditLogsViewController::timePickerChanged(QWidget *)
{
    const QTime picked = timePicker()->time();
    QDateTime local = logDate().toLocalTime();
    if (!local.isValid())
        local = platform::core::Clock::now().toLocalTime();
    local.setTime(QTime(picked.hour(), picked.minute(), 0));
    setLogDateFromEditor(local.toUTC());
}

void MacAddEditLogsViewController::titleButtonClicked(QWidget *sender)
{
    LogTitle *current = nullptr;
    privateContext()->performAndWait([&] { current = m_existingLog->title(); });
    if (titleViewController())
        titleViewController()->deleteLater();
    setTitleViewController(new TitlesPickerViewControllerMac(LogTitle::EntityName, privateContext(), current));
    MacAddEditCommonController::titleButtonClicked(sender);
}

void MacAddEditLogsViewController::selectedLogTitle(LogTitle *title, bool shouldClosePopover)
{
    titlePickerButton()->setToolTip(QString());
    QString text;
    privateContext()->performAndWait([&] {
        m_existingLog->setTitle(title);
        text = title ? title->title() : QString();
    });
    setupTitleFieldWithString(text);
    if (shouldClosePopover && titlesPopover())
        titlesPopover()->closePopover();
}

void MacAddEditLogsViewController::locationButtonClicked(QWidget *sender)
{
    Location *current = nullptr;
    privateContext()->performAndWait([&] { current = m_existingLog->logLocation(); });
    if (locationsPicker())
        locationsPicker()->deleteLater();
    setLocationsPicker(new LocationsPickerViewControllerMac(privateContext(), current));
    MacAddEditCommonController::locationButtonClicked(sender);
}

void MacAddEditLogsViewController::selectedLocationItem(Location *location)
{
    locationPickerButton()->setToolTip(QString());
    QString name;
    privateContext()->performAndWait([&] {
        m_existingLog->setLogLocation(location);
        name = location ? location->locationName() : QString();
    });
    setupLocationFieldWithLocation(name);
    if (locationPopover())
        locationPopover()->closePopover();
}

// ---- Ending ----

void MacAddEditLogsViewController::saveButtonPressed(QWidget *sender)
{
    MacAddEditCommonController::saveButtonPressed(sender);
    const bool adding = title() == AddLogTitle;
    QVariantMap result;
    platform::core::QDError error;
    bool saved = false;
    const QString note = notesTextView()->toPlainText();
    privateContext()->performAndWait([&] {
        m_existingLog->setLogNote(note.isNull() ? QString::fromLatin1("") : note);
        saved = saveRecordThroughMainContext(adding, m_dateChanged, result, error);
    });

    if (!saved) {
        const QString reason = error.localizedDescription();
        showSaveFailure(reason.isEmpty() ? QStringLiteral("The log could not be saved. Please try again.") : reason);
        return;
    }

    if (adding && SharedSettingController::sharedSettings().shouldShowReviewPromptForAddedLog()) {
        result.insert(ReviewNagKey, true);
        SharedAppGlobals::sharedAppGlobals().logAnalyticsEvent(QStringLiteral("ShouldPromptForReview"));
    }
    SharedAppGlobals::sharedAppGlobals().logAnalyticsEvent(
        QStringLiteral("SaveNewLogs"),
        {{QStringLiteral("Title"), adding ? QStringLiteral("AddLog") : QStringLiteral("EditLog")}});
    finishSave(result);
}
