#pragma once

#include "Mac/Journal/LocationsPickerViewControllerMac.h"
#include "Mac/Shell/NSViewWithResponder.h"
#include "Mac/Journal/TitlesPickerViewControllerMac.h"
#include "Mac/Map/AddLocationViewControllerMac.h"

#include "platform/store/ManagedObjectContext.h"
#include "platform/ui/Popover.h"

#include <QPointer>
#include <QVariantMap>
#include <QWidget>

#include <optional>

class MacAddEditCommonController;
class Person;
class QCalendarWidget;
class QDateEdit;
class QDateTime;
class QLabel;
class QPlainTextEdit;
class QPushButton;
class QTimeEdit;

// The owner of a record editor: the Logs and To-dos browsers and the contact page's Logs and ToDos tabs.
class AddEditViewControllerDelegate
{
public:
    virtual ~AddEditViewControllerDelegate() = default;
    // The editor ended: no value after Cancel, the result after Save ("Add", "Edit", "ReviewNag").
    virtual void finishedViewController(MacAddEditCommonController *editor,
                                        const std::optional<QVariantMap> &changes) = 0;
    // The user asked for the next or previous record while the editor is in a popover.
    virtual void rightButtonCalledInPopoverController(MacAddEditCommonController *editor) = 0;
    virtual void leftButtonCalledInPopoverController(MacAddEditCommonController *editor) = 0;
};

// The editor's root view: it turns the arrows, Space and Control-Shift-D into operations of its editor,
// the arrows and Space only until the first other key is typed into the editor.
class AddEditLogsView : public NSViewWithResponder
{
    Q_OBJECT
public:
    explicit AddEditLogsView(QWidget *parent = nullptr);
    MacAddEditCommonController *viewDelegate() const { return m_viewDelegate; }
    void setViewDelegate(MacAddEditCommonController *delegate) { m_viewDelegate = delegate; }
    bool keyWasPressed() const { return m_keyWasPressed; }

    // Keys the focused field leaves alone reach the view through the parent chain.
    bool handleKeyDown(QKeyEvent *event);
    bool handleKeyUp(QKeyEvent *event);

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void keyReleaseEvent(QKeyEvent *event) override;

private:
    QPointer<MacAddEditCommonController> m_viewDelegate;
    bool m_keyWasPressed = false;
};

// What the log and to-do editors share: the date, time, title and location fields with their popovers,
// the notes, the contact's name, the keys, and the ending by Save or Cancel with a report to the owner.
// The subclass edits its record in its own private child context of the main context and hands the base
// the values to show.
class MacAddEditCommonController : public QWidget,
                                   public TitlesPickerDelegate,
                                   public LocationPickerDelegate,
                                   public AddLocationItemDelegate
{
    Q_OBJECT
public:
    // The keys of a save's result: the stored record of a new one, or of an edit that changed the date.
    static inline const QString AddKey = QStringLiteral("Add");
    static inline const QString EditKey = QStringLiteral("Edit");

    explicit MacAddEditCommonController(QWidget *parent = nullptr);
    ~MacAddEditCommonController() override;

    // ---- Set by the owner before the editor is shown ----
    Person *detailPerson() const { return m_detailPerson; }
    void setDetailPerson(Person *person) { m_detailPerson = person; }
    AddEditViewControllerDelegate *delegate() const { return m_delegate; }
    void setDelegate(AddEditViewControllerDelegate *delegate) { m_delegate = delegate; }

    // The mode: "Add Log", "Edit Log", "Add ToDo" or "Edit ToDo".
    QString title() const { return windowTitle(); }

    const platform::store::ContextPtr &privateContext() const { return m_privateContext; }
    // The result of the last successful save.
    const QVariantMap &lastResult() const { return m_result; }
    bool isDatePickerTextMode() const { return m_isDatePickerTextMode; }
    // Whether the editor is shown as a sheet (else in a popover).
    bool isInSheet() const;

    // ---- Set-up; the owner calls it once its properties are set (showing the editor does it too) ----
    virtual void awakeFromNib();
    bool isLoaded() const { return m_loaded; }

    // ---- Field display ----
    void setupDateFieldWithDate(const QDateTime &date);
    void setupNotesFieldWithNote(const QString &note);
    void setupNameField();
    void setupTitleFieldWithString(const QString &text);
    void setupLocationFieldWithLocation(const QString &locationName);

    // ---- Actions ----
    virtual void dateButtonClicked(QWidget *sender);
    virtual void timeButtonClicked(QWidget *sender);
    virtual void datePickerChanged(QWidget *sender) {}
    virtual void timePickerChanged(QWidget *sender) {}
    virtual void titleButtonClicked(QWidget *sender);
    virtual void locationButtonClicked(QWidget *sender);
    virtual void saveButtonPressed(QWidget *sender);
    virtual void cancelButtonPressed(QWidget *sender);
    virtual void closePopovers();
    void switchDatePickerMode();
    void rightKeyWasPressed();
    void leftKeyWasPressed();
    void spaceBarPressed();

    // LocationPickerDelegate
    void selectedLocationItem(Location *location) override {}
    void selectedAddNewLocation() override;

    // AddLocationItemDelegate: the new place becomes the record's location.
    void addedNewLocationItem(Location *location) override;
    void backButtonSelected() override;
    AddLocationViewControllerMac *addLocationVC() const { return m_addLocationVC; }

    // ---- Widgets ----
    AddEditLogsView *rootView() const { return m_rootView; }
    QWidget *formView() const { return m_formView; }
    QLabel *dateTextField() const { return m_dateTextField; }
    QLabel *timeTextField() const { return m_timeTextField; }
    QLabel *titleTextField() const { return m_titleTextField; }
    QLabel *locationTextField() const { return m_locationTextField; }
    QLabel *nameField() const { return m_nameField; }
    QPlainTextEdit *notesTextView() const { return m_notesTextView; }
    QPushButton *datePickerButton() const { return m_datePickerButton; }
    QPushButton *timePickerButton() const { return m_timePickerButton; }
    QPushButton *titlePickerButton() const { return m_titlePickerButton; }
    QPushButton *locationPickerButton() const { return m_locationPickerButton; }
    QPushButton *saveButton() const { return m_saveButton; }
    QPushButton *cancelButton() const { return m_cancelButton; }
    QCalendarWidget *datePicker() const { return m_datePicker; }
    QDateEdit *datePickerTextual() const { return m_datePickerTextual; }
    QTimeEdit *timePicker() const { return m_timePicker; }
    platform::ui::Popover *datePopover() const { return m_datePopover; }
    platform::ui::Popover *dateTextPopover() const { return m_dateTextPopover; }
    platform::ui::Popover *timePopover() const { return m_timePopover; }
    platform::ui::Popover *titlesPopover() const { return m_titlesPopover; }
    platform::ui::Popover *locationPopover() const { return m_locationPopover; }
    TitlesPickerViewControllerMac *titleViewController() const { return m_titleViewController; }
    LocationsPickerViewControllerMac *locationsPicker() const { return m_locationsPicker; }

    // A transient popover holding `controller`.
    platform::ui::Popover *createPopoverWithViewController(QWidget *controller);

    // The context an object lives in, shared; null for none.
    static platform::store::ContextPtr sharedContextOf(const platform::store::ManagedObject *object);
    // The same record as `object`, in `context`.
    template <typename T>
    static T *inContext(platform::store::ManagedObjectContext *context, const platform::store::ManagedObject *object)
    {
        return object ? dynamic_cast<T *>(context->objectWithID(object->objectID())) : nullptr;
    }

protected:
    void showEvent(QShowEvent *event) override;

    void setPrivateContext(platform::store::ContextPtr context) { m_privateContext = std::move(context); }
    void setTitleViewController(TitlesPickerViewControllerMac *picker);
    void setLocationsPicker(LocationsPickerViewControllerMac *picker);
    // Ends the sheet the editor is shown in, if any, and closes its window.
    void endSheetAndCloseWindow(int returnCode);

    // The context the record was read from, should the application have no main context.
    void setRecordMainContext(platform::store::ContextPtr context) { m_recordMainContext = std::move(context); }
    bool hasRecordMainContext() const { return bool(m_recordMainContext); }
    // The main context: the application's, else the record's, else the contact's.
    platform::store::ContextPtr mainContext() const;
    // Makes the editor's private child context of the main context.
    void setUpPrivateContext(const QString &name);

    // The record the editor edits, in the private context; Cancel takes back what a failed save pushed of it.
    virtual platform::store::ManagedObject *editedRecord() const { return nullptr; }
    // Runs on the private context's queue: saves the private context, then the main context. On success the
    // result names the stored record under AddKey (when adding) or EditKey (when the date changed).
    bool saveRecordThroughMainContext(bool adding, bool dateChanged, QVariantMap &result,
                                      platform::core::QDError &error);
    // A save that failed: the editor stays open with its edits and the user is told why.
    void showSaveFailure(const QString &reason);
    // A save that succeeded: the editor closes and reports the result to its owner.
    void finishSave(const QVariantMap &result);

private:
    // Drops from the main context what a save pushed there before the main context's own save failed.
    void undoPushedChanges();

    void showPopover(platform::ui::Popover *popover, QWidget *content, QWidget *anchor);

    bool m_loaded = false;
    bool m_isDatePickerTextMode = false;
    platform::store::ContextPtr m_privateContext;
    platform::store::ContextPtr m_recordMainContext;
    bool m_pushedToMain = false;
    QVariantMap m_result;
    Person *m_detailPerson = nullptr;
    AddEditViewControllerDelegate *m_delegate = nullptr;

    AddEditLogsView *m_rootView = nullptr;
    QWidget *m_formView = nullptr;
    QLabel *m_dateTextField = nullptr;
    QLabel *m_timeTextField = nullptr;
    QLabel *m_titleTextField = nullptr;
    QLabel *m_locationTextField = nullptr;
    QLabel *m_nameField = nullptr;
    QPlainTextEdit *m_notesTextView = nullptr;
    QPushButton *m_datePickerButton = nullptr;
    QPushButton *m_timePickerButton = nullptr;
    QPushButton *m_titlePickerButton = nullptr;
    QPushButton *m_locationPickerButton = nullptr;
    QPushButton *m_saveButton = nullptr;
    QPushButton *m_cancelButton = nullptr;
    QCalendarWidget *m_datePicker = nullptr;
    QDateEdit *m_datePickerTextual = nullptr;
    QTimeEdit *m_timePicker = nullptr;
    QPointer<platform::ui::Popover> m_datePopover;
    QPointer<platform::ui::Popover> m_dateTextPopover;
    QPointer<platform::ui::Popover> m_timePopover;
    QPointer<platform::ui::Popover> m_titlesPopover;
    QPointer<platform::ui::Popover> m_locationPopover;
    QPointer<TitlesPickerViewControllerMac> m_titleViewController;
    QPointer<LocationsPickerViewControllerMac> m_locationsPicker;
    QPointer<AddLocationViewControllerMac> m_addLocationVC;
};
