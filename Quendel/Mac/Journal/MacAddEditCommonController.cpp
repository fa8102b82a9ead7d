#include "Mac/Journal/MacAddEditCommonController.h"

#include "Mac/Shell/PlainTextLabel.h"
#include "SharedAppGlobals.h"
#include "QuendelKit/Entities/Person.h"

#include "platform/ui/AlertPresenter.h"
#include "platform/ui/Sheet.h"

#include <QApplication>
#include <QCalendarWidget>
#include <QDateEdit>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLocale>
#include <QMainWindow>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimeEdit>
#include <QVBoxLayout>

using platform::ui::Popover;

namespace {

const char *const DisabledTextColor = "color: palette(text);";
const char *const PlaceholderTextColor = "color: palette(mid);";

bool isControlShiftD(const QKeyEvent *event)
{
    const Qt::KeyboardModifiers mods = event->modifiers();
    return mods.testFlag(Qt::ControlModifier) && mods.testFlag(Qt::ShiftModifier) && event->key() == Qt::Key_D;
}

} // namespace

// ---- AddEditLogsView ----

AddEditLogsView::AddEditLogsView(QWidget *parent) : NSViewWithResponder(parent)
{
    setFocusPolicy(Qt::StrongFocus);
}

bool AddEditLogsView::handleKeyDown(QKeyEvent *event)
{
    if (isControlShiftD(event) && m_viewDelegate)
        m_viewDelegate->switchDatePickerMode();
    if (m_keyWasPressed)
        return false;
    switch (event->key()) {
    case Qt::Key_Up:
    case Qt::Key_Left:
        if (m_viewDelegate)
            m_viewDelegate->leftKeyWasPressed();
        return true;
    case Qt::Key_Down:
    case Qt::Key_Right:
        if (m_viewDelegate)
            m_viewDelegate->rightKeyWasPressed();
        return true;
    case Qt::Key_Space:
        if (m_viewDelegate)
            m_viewDelegate->spaceBarPressed();
        return true;
    default:
        break;
    }
    // Modifier keys alone are not typing.
    if (event->key() != Qt::Key_Shift && event->key() != Qt::Key_Control && event->key() != Qt::Key_Alt &&
        event->key() != Qt::Key_Meta)
        m_keyWasPressed = true;
    return false;
}

bool AddEditLogsView::handleKeyUp(QKeyEvent *event)
{
    if (isControlShiftD(event) && !event->isAutoRepeat()) {
        if (m_viewDelegate)
            m_viewDelegate->switchDatePickerMode();
        return true;
    }
    return false;
}

void AddEditLogsView::keyPressEvent(QKeyEvent *event)
{
    if (handleKeyDown(event)) {
        event->accept();
        return;
    }
    NSViewWithResponder::keyPressEvent(event);
}

void AddEditLogsView::keyReleaseEvent(QKeyEvent *event)
{
    if (handleKeyUp(event)) {
        event->accept();
        return;
    }
    NSViewWithResponder::keyReleaseEvent(event);
}

// ---- MacAddEditCommonController ----

MacAddEditCommonController::MacAddEditCommonController(QWidget *parent) : QWidget(parent)
{
    auto *outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    m_rootView = new AddEditLogsView(this);
    m_rootView->setObjectName(QStringLiteral("AddEditLogsView"));
    m_rootView->setViewDelegate(this);
    m_rootView->setViewController(this);
    outer->addWidget(m_rootView);

    auto *rootLayout = new QVBoxLayout(m_rootView);
    m_nameField = new PlainTextLabel(m_rootView);
    m_nameField->setObjectName(QStringLiteral("nameField"));
    rootLayout->addWidget(m_nameField);

    m_formView = new QWidget(m_rootView);
    m_formView->setObjectName(QStringLiteral("formView"));
    m_formView->setAutoFillBackground(true);
    auto *form = new QGridLayout(m_formView);
    auto addRow = [&](int row, const QString &name, QLabel *&field, QPushButton *&button, const QString &buttonText) {
        field = new PlainTextLabel(m_formView);
        field->setObjectName(name);
        button = new QPushButton(buttonText, m_formView);
        button->setObjectName(name + QStringLiteral("Button"));
        button->setAccessibleName(buttonText);
        form->addWidget(field, row, 0);
        form->addWidget(button, row, 1);
    };
    addRow(0, QStringLiteral("dateTextField"), m_dateTextField, m_datePickerButton, QStringLiteral("Date"));
    addRow(1, QStringLiteral("timeTextField"), m_timeTextField, m_timePickerButton, QStringLiteral("Time"));
    addRow(2, QStringLiteral("titleTextField"), m_titleTextField, m_titlePickerButton, QStringLiteral("Title"));
    addRow(3, QStringLiteral("locationTextField"), m_locationTextField, m_locationPickerButton,
           QStringLiteral("Location"));
    m_notesTextView = new QPlainTextEdit(m_formView);
    m_notesTextView->setObjectName(QStringLiteral("notesTextView"));
    m_notesTextView->setAccessibleName(QStringLiteral("Notes"));
    // Tab and Backtab move the focus; a tab character never goes into the notes.
    m_notesTextView->setTabChangesFocus(true);
    form->addWidget(m_notesTextView, 4, 0, 1, 2);
    rootLayout->addWidget(m_formView, 1);

    auto *buttons = new QHBoxLayout;
    m_cancelButton = new QPushButton(QStringLiteral("Cancel"), m_rootView);
    m_cancelButton->setObjectName(QStringLiteral("cancelButton"));
    m_cancelButton->setAccessibleName(QStringLiteral("Cancel"));
    m_saveButton = new QPushButton(QStringLiteral("Save"), m_rootView);
    m_saveButton->setObjectName(QStringLiteral("saveButton"));
    m_saveButton->setAccessibleName(QStringLiteral("Save"));
    m_saveButton->setDefault(true);
    buttons->addStretch(1);
    buttons->addWidget(m_cancelButton);
    buttons->addWidget(m_saveButton);
    rootLayout->addLayout(buttons);

    m_datePicker = new QCalendarWidget;
    m_datePicker->setObjectName(QStringLiteral("datePicker"));
    m_datePicker->setAccessibleName(QStringLiteral("Date"));
    m_datePickerTextual = new QDateEdit;
    m_datePickerTextual->setObjectName(QStringLiteral("datePickerTextual"));
    m_datePickerTextual->setAccessibleName(QStringLiteral("Date"));
    m_timePicker = new QTimeEdit;
    m_timePicker->setObjectName(QStringLiteral("timePicker"));
    m_timePicker->setAccessibleName(QStringLiteral("Time"));
    m_datePopover = new Popover(this);
    m_datePopover->setContentWidget(m_datePicker);
    m_dateTextPopover = new Popover(this);
    m_dateTextPopover->setContentWidget(m_datePickerTextual);
    m_timePopover = new Popover(this);
    m_timePopover->setContentWidget(m_timePicker);
    for (Popover *popover : {m_datePopover.data(), m_dateTextPopover.data(), m_timePopover.data()})
        popover->setBehavior(Popover::Behavior::Transient);

    connect(m_datePickerButton, &QPushButton::clicked, this, [this] { dateButtonClicked(m_datePickerButton); });
    connect(m_timePickerButton, &QPushButton::clicked, this, [this] { timeButtonClicked(m_timePickerButton); });
    connect(m_titlePickerButton, &QPushButton::clicked, this, [this] { titleButtonClicked(m_titlePickerButton); });
    connect(m_locationPickerButton, &QPushButton::clicked, this,
            [this] { locationButtonClicked(m_locationPickerButton); });
    connect(m_saveButton, &QPushButton::clicked, this, [this] { saveButtonPressed(m_saveButton); });
    connect(m_cancelButton, &QPushButton::clicked, this, [this] { cancelButtonPressed(m_cancelButton); });
    connect(m_datePicker, &QCalendarWidget::clicked, this, [this] { datePickerChanged(m_datePicker); });
    connect(m_datePickerTextual, &QDateEdit::dateChanged, this, [this] {
        if (m_datePickerTextual->hasFocus())
            datePickerChanged(m_datePickerTextual);
    });
    connect(m_timePicker, &QTimeEdit::timeChanged, this, [this] {
        if (m_timePicker->hasFocus())
            timePickerChanged(m_timePicker);
    });
}

MacAddEditCommonController::~MacAddEditCommonController() = default;

void MacAddEditCommonController::showEvent(QShowEvent *event)
{
    if (!m_loaded)
        awakeFromNib();
    QWidget::showEvent(event);
}

void MacAddEditCommonController::awakeFromNib()
{
    m_loaded = true;
    const QLocale locale;
    m_datePicker->setLocale(locale);
    m_datePickerTextual->setLocale(locale);
    m_timePicker->setLocale(locale);
    m_timePicker->setDisplayFormat(locale.timeFormat(QLocale::ShortFormat));
}

bool MacAddEditCommonController::isInSheet() const
{
    const auto *sheet = qobject_cast<const platform::ui::Sheet *>(window());
    return sheet && sheet->sheetParent();
}

// ---- Field display ----

void MacAddEditCommonController::setupDateFieldWithDate(const QDateTime &date)
{
    if (!date.isValid()) {
        m_dateTextField->setText(QStringLiteral("No Date"));
        return;
    }
    const QLocale locale;
    const QDateTime local = date.toLocalTime();
    m_dateTextField->setText(locale.toString(local.date(), QLocale::ShortFormat));
    m_timeTextField->setText(locale.toString(local.time(), QLocale::ShortFormat));
}

void MacAddEditCommonController::setupNotesFieldWithNote(const QString &note)
{
    if (!note.isEmpty())
        m_notesTextView->setPlainText(note);
}

void MacAddEditCommonController::setupNameField()
{
    const QString name = m_detailPerson ? m_detailPerson->displayName() : QString();
    m_nameField->setText(name.isEmpty() ? QStringLiteral("No Name") : name);
}

void MacAddEditCommonController::setupTitleFieldWithString(const QString &text)
{
    const bool set = !text.isEmpty();
    m_titleTextField->setText(set ? text : QStringLiteral("Set Title"));
    m_titleTextField->setStyleSheet(QString::fromLatin1(set ? DisabledTextColor : PlaceholderTextColor));
}

void MacAddEditCommonController::setupLocationFieldWithLocation(const QString &locationName)
{
    const bool set = !locationName.isEmpty();
    m_locationTextField->setText(set ? locationName : QStringLiteral("Set Location"));
    m_locationTextField->setStyleSheet(QString::fromLatin1(set ? DisabledTextColor : PlaceholderTextColor));
}

// ---- Popovers ----

void MacAddEditCommonController::showPopover(Popover *popover, QWidget *content, QWidget *anchor)
{
    if (!popover)
        return;
    if (content && popover->contentWidget() != content)
        popover->setContentWidget(content);
    popover->showRelativeTo(QRect(), anchor ? anchor : this, Popover::Edge::Top);
}

Popover *MacAddEditCommonController::createPopoverWithViewController(QWidget *controller)
{
    auto *popover = new Popover(this);
    popover->setBehavior(Popover::Behavior::Transient);
    popover->setAnimates(true);
    popover->setContentWidget(controller);
    return popover;
}

void MacAddEditCommonController::dateButtonClicked(QWidget *sender)
{
    closePopovers();
    if (m_isDatePickerTextMode)
        showPopover(m_dateTextPopover, m_datePickerTextual, sender);
    else
        showPopover(m_datePopover, m_datePicker, sender);
}

void MacAddEditCommonController::timeButtonClicked(QWidget *sender)
{
    closePopovers();
    showPopover(m_timePopover, m_timePicker, sender);
}

void MacAddEditCommonController::setTitleViewController(TitlesPickerViewControllerMac *picker)
{
    m_titleViewController = picker;
}

void MacAddEditCommonController::setLocationsPicker(LocationsPickerViewControllerMac *picker)
{
    m_locationsPicker = picker;
}

void MacAddEditCommonController::titleButtonClicked(QWidget *sender)
{
    closePopovers();
    if (!m_titleViewController)
        return;
    const int viewHeight = m_titleViewController->height();
    m_titleViewController->setDelegate(this);
    if (m_titlesPopover)
        m_titlesPopover->deleteLater();
    m_titlesPopover = createPopoverWithViewController(m_titleViewController);
    m_titlesPopover->showRelativeTo(QRect(), sender ? sender : this, Popover::Edge::Top);
    int limit = 0;
    for (QWidget *top : QApplication::topLevelWidgets())
        if (auto *mainWindow = qobject_cast<QMainWindow *>(top)) {
            limit = int(0.7 * mainWindow->contentsRect().height());
            break;
        }
    const int height = std::min(std::max(viewHeight, m_titleViewController->heightForPopover()), limit);
    m_titlesPopover->setContentSize(QSize(m_titlesPopover->width(), height > 0 ? height : m_titlesPopover->height()));
}

void MacAddEditCommonController::locationButtonClicked(QWidget *sender)
{
    closePopovers();
    if (!m_locationsPicker)
        return;
    m_locationsPicker->setLocationDelegate(this);
    if (m_locationPopover)
        m_locationPopover->deleteLater();
    m_locationPopover = createPopoverWithViewController(m_locationsPicker);
    m_locationPopover->showRelativeTo(QRect(), sender ? sender : this, Popover::Edge::Top);
}

void MacAddEditCommonController::selectedAddNewLocation()
{
    if (!m_locationPopover || !m_locationsPicker)
        return;
    // The picker comes back when the user goes back from the new place.
    m_locationPopover->takeContentWidget();
    m_locationsPicker->setParent(this);
    m_locationsPicker->hide();
    m_addLocationVC = new AddLocationViewControllerMac(AddLocationViewControllerMac::NibName, m_privateContext);
    m_addLocationVC->setDelegate(this);
    m_locationPopover->setContentWidget(m_addLocationVC);
    // Clicks outside must not close the popover while an address is typed.
    m_locationPopover->setBehavior(Popover::Behavior::ApplicationDefined);
    m_locationPopover->setContentSize(m_addLocationVC->sizeHint());
}

void MacAddEditCommonController::addedNewLocationItem(Location *location)
{
    if (m_locationPopover)
        m_locationPopover->setBehavior(Popover::Behavior::Transient);
    selectedLocationItem(location);
    if (m_locationPopover && m_locationPopover->isShown())
        m_locationPopover->closePopover();
}

void MacAddEditCommonController::backButtonSelected()
{
    if (!m_locationPopover || !m_locationsPicker)
        return;
    m_locationPopover->setBehavior(Popover::Behavior::Transient);
    if (QWidget *pane = m_locationPopover->takeContentWidget())
        pane->deleteLater();
    m_locationPopover->setContentWidget(m_locationsPicker);
    m_locationsPicker->show();
}

void MacAddEditCommonController::closePopovers()
{
    for (Popover *popover : {m_datePopover.data(), m_dateTextPopover.data(), m_timePopover.data(),
                             m_titlesPopover.data(), m_locationPopover.data()})
        if (popover && popover->isShown())
            popover->closePopover();
}

void MacAddEditCommonController::switchDatePickerMode()
{
    m_isDatePickerTextMode = !m_isDatePickerTextMode;
    if ((m_datePopover && m_datePopover->isShown()) || (m_dateTextPopover && m_dateTextPopover->isShown()))
        dateButtonClicked(m_datePickerButton);
}

// ---- Ending ----

void MacAddEditCommonController::saveButtonPressed(QWidget *)
{
    closePopovers();
}

void MacAddEditCommonController::endSheetAndCloseWindow(int returnCode)
{
    if (auto *sheet = qobject_cast<platform::ui::Sheet *>(window())) {
        if (sheet->isActive())
            sheet->endSheet(returnCode);
        sheet->close();
    }
}

void MacAddEditCommonController::cancelButtonPressed(QWidget *)
{
    if (m_pushedToMain)
        undoPushedChanges();
    closePopovers();
    if (isInSheet())
        endSheetAndCloseWindow(platform::ui::ModalResponseCancel);
    if (m_delegate)
        m_delegate->finishedViewController(this, std::nullopt);
}

// ---- Saving ----

platform::store::ContextPtr MacAddEditCommonController::sharedContextOf(const platform::store::ManagedObject *object)
{
    if (!object || !object->managedObjectContext())
        return nullptr;
    return object->managedObjectContext()->shared_from_this();
}

platform::store::ContextPtr MacAddEditCommonController::mainContext() const
{
    if (platform::store::ContextPtr context = appMainManagedObjectContext())
        return context;
    if (m_recordMainContext)
        return m_recordMainContext;
    return sharedContextOf(detailPerson());
}

void MacAddEditCommonController::setUpPrivateContext(const QString &name)
{
    const platform::store::ContextPtr parentContext = mainContext();
    auto context = platform::store::ManagedObjectContext::create(
        platform::store::ManagedObjectContext::ConcurrencyType::PrivateQueue);
    context->setParentContext(parentContext);
    context->setName(name);
    setPrivateContext(context);
}

bool MacAddEditCommonController::saveRecordThroughMainContext(bool adding, bool dateChanged, QVariantMap &result,
                                                              platform::core::QDError &error)
{
    const platform::store::ContextPtr context = privateContext();
    const platform::store::ContextPtr parentContext = context->parentContext();
    if (!context->save(&error))
        return false;
    m_pushedToMain = true;
    if (!parentContext)
        return false;
    bool saved = false;
    parentContext->performAndWait([&] {
        if (!parentContext->save(&error))
            return;
        saved = true;
        m_pushedToMain = false;
        platform::store::ManagedObject *stored = parentContext->objectWithID(editedRecord()->objectID());
        if (adding) {
            if (stored && !stored->objectID().isTemporaryID())
                result.insert(AddKey, QVariant::fromValue(stored->objectID()));
        } else if (dateChanged && stored) {
            result.insert(EditKey, QVariant::fromValue(stored->objectID()));
        }
    });
    return saved;
}

void MacAddEditCommonController::showSaveFailure(const QString &reason)
{
    platform::ui::AlertSpec alert;
    alert.messageText = QStringLiteral("Unable to save");
    alert.informativeText = reason;
    platform::ui::AlertPresenter::shared().beginSheet(alert, window());
}

void MacAddEditCommonController::finishSave(const QVariantMap &result)
{
    m_result = result;
    endSheetAndCloseWindow(platform::ui::ModalResponseOK);
    if (m_delegate)
        m_delegate->finishedViewController(this, result);
}

void MacAddEditCommonController::undoPushedChanges()
{
    const platform::store::ContextPtr parentContext = privateContext() ? privateContext()->parentContext() : nullptr;
    platform::store::ManagedObject *record = editedRecord();
    if (!parentContext || !record)
        return;
    const platform::store::ManagedObjectID id = record->objectID();
    parentContext->performAndWait([&] {
        platform::store::ManagedObject *pushed = parentContext->objectRegisteredForID(id);
        if (!pushed)
            pushed = parentContext->objectWithID(id);
        if (!pushed)
            return;
        if (pushed->isInserted())
            parentContext->deleteObject(pushed);
        else
            parentContext->refreshObject(pushed, false);
    });
    m_pushedToMain = false;
}

// ---- Keys ----

void MacAddEditCommonController::rightKeyWasPressed()
{
    if (!isInSheet() && m_delegate)
        m_delegate->rightButtonCalledInPopoverController(this);
}

void MacAddEditCommonController::leftKeyWasPressed()
{
    if (!isInSheet() && m_delegate)
        m_delegate->leftButtonCalledInPopoverController(this);
}

void MacAddEditCommonController::spaceBarPressed()
{
    if (!isInSheet())
        cancelButtonPressed(nullptr);
}
