#include "Mac/Preferences/PreferencesControllerWindowController.h"

#include "AppDelegate.h"
#include "SharedAppGlobals.h"

#include "Classes/CalendarLinkBridge.h"
#include "Classes/PasscodeLock.h"
#include "Classes/QDAlertDisplayMac.h"
#include "Mac/Email/EmailTemplatesPreferencesPane.h"
#include "Mac/Preferences/BackupsPreferencesPane.h"
#include "Mac/Preferences/ManageDataPreferencesPane.h"
#include "Mac/Reports/ReportExportPane.h"
#include "Mac/Shell/CoreDataControllerMac.h"
#include "Mac/Shell/MacEnterPasswordController.h"
#include "Mac/Shell/PlainTextLabel.h"

#include "QuendelKit/Entities/Person.h"
#include "QuendelKit/Infra/QDLog.h"
#include "QuendelKit/Settings/DataPlistValues.h"
#include "QuendelKit/Settings/SharedSettingController.h"

#include "platform/core/UserDefaults.h"
#include "platform/maps/Geocoder.h"
#include "platform/ui/AlertPresenter.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTabWidget>
#include <QTimeEdit>
#include <QUrl>
#include <QVBoxLayout>

using platform::core::UserDefaults;
using platform::ui::AlertPresenter;
using platform::ui::AlertSpec;

namespace {

void logPreferencesAction(const QString &action)
{
    SharedAppGlobals::sharedAppGlobals().logAnalyticsEvent(QStringLiteral("PreferencesAction"),
                                                           {{QStringLiteral("Action"), action}});
}

QComboBox *popUp(const QString &name, const QStringList &items, QWidget *parent)
{
    auto *box = new QComboBox(parent);
    box->addItems(items);
    box->setAccessibleName(name);
    return box;
}

QCheckBox *checkBox(const QString &title, QWidget *parent)
{
    auto *box = new QCheckBox(title, parent);
    box->setAccessibleName(title);
    return box;
}

// A setting of the data plist written now, with its mirror for the other devices.
void storeMirrored(const QList<std::pair<QString, QVariant>> &values)
{
    for (const auto &[key, value] : values)
        SharedSettingController::sharedSettings().updatePlistAndKVSWithKey(key, value);
}

// The address of a geocoding web service the user typed: empty, or an http(s) address with a host.
bool isAcceptableServiceAddress(const QString &text, QString *why)
{
    if (text.isEmpty())
        return true;
    const QUrl url(text, QUrl::StrictMode);
    if (!url.isValid() || url.host().isEmpty()) {
        *why = QStringLiteral("This is not a web address. Enter an address such as https://geocoder.example.org, or "
                              "leave the field empty to find places offline.");
        return false;
    }
    const QString scheme = url.scheme().toLower();
    if (scheme != QLatin1String("https") && scheme != QLatin1String("http")) {
        *why = QStringLiteral("The address must start with https:// or http://.");
        return false;
    }
    return true;
}

} // namespace

PreferencesControllerWindowController::PreferencesControllerWindowController(AppDelegate *appdelegate, QWidget *parent)
    : QWidget(parent, Qt::Window), m_appdelegate(appdelegate)
{
    setWindowTitle(WindowTitle);
    setAccessibleName(WindowTitle);
    setObjectName(QStringLiteral("PreferencesController"));
    auto *layout = new QVBoxLayout(this);
    m_tabs = new QTabWidget(this);
    m_tabs->setObjectName(QStringLiteral("preferencesTabView"));
    m_tabs->setAccessibleName(QStringLiteral("Preferences panes"));
    layout->addWidget(m_tabs);
    setMinimumWidth(560);

    m_displayPreferencesObject.setDelegate(this);
    addPane(makeGeneralPane(), QStringLiteral("General"));
    addPane(makeToDosPane(), QStringLiteral("To-dos"));
    addPane(makeManageDataPane(), QStringLiteral("Manage Data"));
    addPane(makeSyncPane(), QStringLiteral("Sync"));
    makeReportPane();
    m_templatesPane = new EmailTemplatesPreferencesPane(this);
    addPane(m_templatesPane, EmailTemplatesPreferencesPane::PaneTitle);
    QPointer<PreferencesControllerWindowController> self(this);
    m_restoreObserver = platform::core::ScopedObserver(CoreDataControllerMac::RestoreDBNotification, nullptr,
                                                       [self](const platform::core::Notification &) {
                                                           if (self)
                                                               self->makeReportPane();
                                                       });
    checkSettings();
}

void PreferencesControllerWindowController::makeReportPane()
{
    platform::store::ContextPtr context = m_appdelegate ? m_appdelegate->managedObjectContext() : nullptr;
    if (m_reportPane && context == m_reportContext)
        return;
    const bool shown = m_reportPane && m_tabs->currentWidget() == m_reportPane;
    if (m_reportPane) {
        m_tabs->removeTab(m_tabs->indexOf(m_reportPane));
        delete m_reportPane;
    }
    m_reportContext = context;
    m_reportPane = new ReportExportPane(context.get(), this);
    if (m_groupTitle)
        m_reportPane->setGroupProvider(m_groupTitle, m_groupContacts);
    m_tabs->insertTab(ExportTabIndex, m_reportPane, QStringLiteral("Export"));
    if (shown)
        m_tabs->setCurrentWidget(m_reportPane);
}

void PreferencesControllerWindowController::setReportGroupProvider(std::function<QString()> title,
                                                                   std::function<QList<Person *>()> contacts)
{
    m_groupTitle = std::move(title);
    m_groupContacts = std::move(contacts);
    m_reportPane->setGroupProvider(m_groupTitle, m_groupContacts);
}

PreferencesControllerWindowController::~PreferencesControllerWindowController()
{
    m_displayPreferencesObject.setDelegate(nullptr);
}

AppDelegate *PreferencesControllerWindowController::appdelegate() const
{
    return m_appdelegate.data();
}

int PreferencesControllerWindowController::addPane(QWidget *pane, const QString &title)
{
    return m_tabs->addTab(pane, title);
}

// ---- Panes ----

QWidget *PreferencesControllerWindowController::makeGeneralPane()
{
    auto *pane = new QWidget;
    auto *layout = new QVBoxLayout(pane);

    auto *contacts = new QGroupBox(QStringLiteral("Contacts list"), pane);
    auto *contactsForm = new QFormLayout(contacts);
    m_sortOrderButton = popUp(QStringLiteral("Sort contacts by"),
                              {QStringLiteral("First Name"), QStringLiteral("Last Name"), QStringLiteral("Company")},
                              contacts);
    m_displayOrderButton =
        popUp(QStringLiteral("Show names as"), {QStringLiteral("First Last"), QStringLiteral("Last, First")}, contacts);
    m_sortOrderProgressIndicator = new QProgressBar(contacts);
    m_sortOrderProgressIndicator->setRange(0, 0);
    m_sortOrderProgressIndicator->setMaximumWidth(80);
    m_sortOrderProgressIndicator->setAccessibleName(QStringLiteral("Applying the display settings"));
    m_sortOrderProgressIndicator->hide();
    auto *sortRow = new QHBoxLayout;
    sortRow->addWidget(m_sortOrderButton, 1);
    sortRow->addWidget(m_sortOrderProgressIndicator);
    contactsForm->addRow(QStringLiteral("Sort by:"), sortRow);
    contactsForm->addRow(QStringLiteral("Show names as:"), m_displayOrderButton);
    connect(m_sortOrderButton, &QComboBox::activated, this, &PreferencesControllerWindowController::sortOrderButtonChanged);
    connect(m_displayOrderButton, &QComboBox::activated, this,
            &PreferencesControllerWindowController::displayOrderButtonChanged);
    layout->addWidget(contacts);

    auto *calls = new QGroupBox(QStringLiteral("Phone calls"), pane);
    auto *callsForm = new QFormLayout(calls);
    m_phoneOptionsButton = popUp(QStringLiteral("Call phone numbers with"),
                                 {QStringLiteral("Skype"), QStringLiteral("FaceTime"), QStringLiteral("Phone")}, calls);
    // The third way hands the call to another device, which this system cannot do.
    m_phoneOptionsButton->removeItem(2);
    callsForm->addRow(QStringLiteral("Call with:"), m_phoneOptionsButton);
    connect(m_phoneOptionsButton, &QComboBox::activated, this,
            &PreferencesControllerWindowController::phoneOptionsButtonChanged);
    layout->addWidget(calls);

    auto *passcode = new QGroupBox(QStringLiteral("Passcode lock"), pane);
    auto *passcodeForm = new QFormLayout(passcode);
    m_passcodeButton = new QPushButton(QStringLiteral("None"), passcode);
    m_passcodeButton->setAccessibleName(QStringLiteral("Passcode"));
    m_passcodeButton->setAutoDefault(false);
    passcodeForm->addRow(QStringLiteral("Passcode:"), m_passcodeButton);
    m_passcodeRequiredLabel = new QLabel(QStringLiteral("Require passcode:"), passcode);
    m_passcodeRequiredPopupButton = popUp(QStringLiteral("Require passcode"), {}, passcode);
    passcodeForm->addRow(m_passcodeRequiredLabel, m_passcodeRequiredPopupButton);
    connect(m_passcodeButton, &QPushButton::clicked, this, &PreferencesControllerWindowController::passcodeButtonPressed);
    connect(m_passcodeRequiredPopupButton, &QComboBox::activated, this,
            &PreferencesControllerWindowController::selectedPasscodeTimeoutValue);
    layout->addWidget(passcode);

    auto *map = new QGroupBox(QStringLiteral("Map"), pane);
    auto *mapForm = new QFormLayout(map);
    m_geocoderAddressField = new QLineEdit(map);
    m_geocoderAddressField->setAccessibleName(QStringLiteral("Address lookup service"));
    m_geocoderAddressField->setPlaceholderText(QStringLiteral("None: places are found offline"));
    m_geocoderAddressField->setToolTip(
        QStringLiteral("The web address of a geocoding service that finds contacts' addresses on the map.\n"
                       "Leave it empty to find them offline, by city, without sending addresses anywhere."));
    mapForm->addRow(QStringLiteral("Address lookup:"), m_geocoderAddressField);
    m_geocoderStatusLabel = new PlainTextLabel(map);
    m_geocoderStatusLabel->setWordWrap(true);
    m_geocoderStatusLabel->setAccessibleName(QStringLiteral("Address lookup status"));
    mapForm->addRow(QString(), m_geocoderStatusLabel);
    connect(m_geocoderAddressField, &QLineEdit::editingFinished, this,
            &PreferencesControllerWindowController::geocoderAddressEdited);
    layout->addWidget(map);
    layout->addStretch();
    return pane;
}

QWidget *PreferencesControllerWindowController::makeToDosPane()
{
    auto *pane = new QWidget;
    auto *layout = new QVBoxLayout(pane);

    auto *todos = new QGroupBox(QStringLiteral("New to-dos"), pane);
    auto *form = new QFormLayout(todos);
    m_defaultTodoDayButton = popUp(QStringLiteral("Default to-do day"),
                                   {QStringLiteral("Today"), QStringLiteral("Tomorrow"), QStringLiteral("In 2 days"),
                                    QStringLiteral("In a week")},
                                   todos);
    m_defaultTodoTimePicker = new QTimeEdit(todos);
    m_defaultTodoTimePicker->setAccessibleName(QStringLiteral("Default to-do time"));
    m_defaultTodoTimePicker->setDisplayFormat(QStringLiteral("HH:mm"));
    m_linkToDoCalendarButton = checkBox(QStringLiteral("Add new to-dos to the calendar"), todos);
    form->addRow(QStringLiteral("Due:"), m_defaultTodoDayButton);
    form->addRow(QStringLiteral("At:"), m_defaultTodoTimePicker);
    form->addRow(QString(), m_linkToDoCalendarButton);
    connect(m_defaultTodoDayButton, &QComboBox::activated, this, &PreferencesControllerWindowController::todoDefaultDayChanged);
    connect(m_defaultTodoTimePicker, &QTimeEdit::timeChanged, this, [this] {
        if (!m_loading)
            todoDefaultTimeChanged();
    });
    connect(m_linkToDoCalendarButton, &QCheckBox::clicked, this, &PreferencesControllerWindowController::linkTodoCalendarChanged);
    layout->addWidget(todos);

    auto *confirmations = new QGroupBox(QStringLiteral("Ask before"), pane);
    auto *boxes = new QVBoxLayout(confirmations);
    m_deleteContactsCheckbox = checkBox(QStringLiteral("Deleting a contact"), confirmations);
    m_deleteLogsCheckbox = checkBox(QStringLiteral("Deleting a log"), confirmations);
    m_deleteTodosCheckbox = checkBox(QStringLiteral("Deleting a to-do"), confirmations);
    m_deleteFilesCheckbox = checkBox(QStringLiteral("Deleting a file"), confirmations);
    m_deleteFieldsCheckbox = checkBox(QStringLiteral("Deleting a field"), confirmations);
    m_todoIntoLogsChekcbox = checkBox(QStringLiteral("Adding a log when a to-do is completed"), confirmations);
    for (QCheckBox *box : {m_deleteContactsCheckbox, m_deleteLogsCheckbox, m_deleteTodosCheckbox, m_deleteFilesCheckbox,
                           m_deleteFieldsCheckbox, m_todoIntoLogsChekcbox})
        boxes->addWidget(box, 0, Qt::AlignLeft);
    layout->addWidget(confirmations);

    auto *alerts = new QGroupBox(QStringLiteral("Alerts"), pane);
    auto *alertsLayout = new QVBoxLayout(alerts);
    m_importContactsAlertCheckbox = checkBox(QStringLiteral("Tell me about new contacts to import"), alerts);
    alertsLayout->addWidget(m_importContactsAlertCheckbox, 0, Qt::AlignLeft);
    layout->addWidget(alerts);
    for (QCheckBox *box : {m_deleteContactsCheckbox, m_deleteLogsCheckbox, m_deleteTodosCheckbox, m_deleteFilesCheckbox,
                           m_deleteFieldsCheckbox, m_todoIntoLogsChekcbox, m_importContactsAlertCheckbox})
        connect(box, &QCheckBox::clicked, this, [this, box] { defaultsCheckboxSelected(box); });
    layout->addStretch();
    return pane;
}

QWidget *PreferencesControllerWindowController::makeManageDataPane()
{
    auto *pane = new QWidget;
    auto *layout = new QVBoxLayout(pane);
    layout->addWidget(new ManageDataPreferencesPane(
        [this] { return m_appdelegate ? m_appdelegate->managedObjectContext() : nullptr; }, pane));
    m_backupsPane = new BackupsPreferencesPane(this);
    layout->addWidget(m_backupsPane);
    layout->addStretch();
    return pane;
}

QWidget *PreferencesControllerWindowController::makeSyncPane()
{
    auto *pane = new QWidget;
    auto *layout = new QVBoxLayout(pane);
    auto *row = new QHBoxLayout;
    row->addWidget(new QLabel(QStringLiteral("Sync:"), pane));
    m_syncButton = new QPushButton(QStringLiteral("None"), pane);
    m_syncButton->setAccessibleName(QStringLiteral("Sync mode"));
    m_syncButton->setAutoDefault(false);
    // Choosing a sync comes with a later version.
    m_syncButton->setEnabled(false);
    row->addWidget(m_syncButton);
    row->addStretch();
    layout->addLayout(row);
    m_syncMessageLabel = new PlainTextLabel(pane);
    m_syncMessageLabel->setWordWrap(true);
    m_syncMessageLabel->setAccessibleName(QStringLiteral("Sync status"));
    m_syncMessageLabel->setText(QStringLiteral("Sync is off: your journal is kept on this computer only. Make backups "
                                               "from the Manage Data pane to keep a copy elsewhere."));
    layout->addWidget(m_syncMessageLabel);
    layout->addStretch();
    return pane;
}

// ---- Loading ----

void PreferencesControllerWindowController::checkSettings()
{
    m_loading = true;
    const DataPlistValues &plist = dataPlistValues();
    const qint64 sortOrder = plist.integerValue(Person::SortOrderSettingKey);
    if (sortOrder >= 0 && sortOrder < m_sortOrderButton->count())
        m_sortOrderButton->setCurrentIndex(int(sortOrder));
    const qint64 displayOrder = plist.integerValue(Person::DisplayOrderSettingKey);
    if (displayOrder >= 0 && displayOrder < m_displayOrderButton->count())
        m_displayOrderButton->setCurrentIndex(int(displayOrder));

    const QString dialing = UserDefaults::standardUserDefaults()->stringForKey(DialingOptionsKey);
    const int dialingIndex = QStringList{PhoneUseSkype, PhoneUseFaceTime, PhoneUsePhoneURL}.indexOf(dialing);
    if (dialingIndex >= 0 && dialingIndex < m_phoneOptionsButton->count())
        m_phoneOptionsButton->setCurrentIndex(dialingIndex);

    const bool exists = PasscodeLock::passcodeExists();
    if (m_appdelegate)
        m_appdelegate->setPasswordExists(exists);
    setupDefaultToDoValues();
    setupPasswordButtons();
    setupDefaultCheckboxes();
    loadGeocoderAddress();
    m_backupsPane->setupBackupOptions();
    m_templatesPane->reloadTemplates();
    m_loading = false;
}

void PreferencesControllerWindowController::windowWillAppear()
{
    checkSettings();
    updateSyncButtonTitle();
}

void PreferencesControllerWindowController::showWindow()
{
    show();
    raise();
    activateWindow();
}

void PreferencesControllerWindowController::showWindowOnTab(int index)
{
    if (index >= 0 && index < m_tabs->count())
        m_tabs->setCurrentIndex(index);
    showWindow();
}

void PreferencesControllerWindowController::updateSyncButtonTitle()
{
    m_syncButton->setText(QStringLiteral("None"));
    m_syncButton->setToolTip(QStringLiteral("Sync Quendel data with either iCloud or Dropbox\n\nOption-click for more options"));
}

// ---- Display order ----

void PreferencesControllerWindowController::sortOrderButtonChanged(int index)
{
    logPreferencesAction(QStringLiteral("SortOrderChanged"));
    QDLogInfo(QStringLiteral("Preferences: sort order chosen = %1, index = %2").arg(m_sortOrderButton->itemText(index)).arg(index));
    m_displayPreferencesObject.sortOrderChangedWithValue(qint64(index));
}

void PreferencesControllerWindowController::displayOrderButtonChanged(int index)
{
    logPreferencesAction(QStringLiteral("DisplayOrderChanged"));
    QDLogInfo(QStringLiteral("Preferences: display order chose = %1, index = %2").arg(m_displayOrderButton->itemText(index)).arg(index));
    m_displayPreferencesObject.displayOrderChangedWithValue(qint64(index));
}

void PreferencesControllerWindowController::willBeginActivity()
{
    m_sortOrderButton->setEnabled(false);
    m_displayOrderButton->setEnabled(false);
    m_sortOrderProgressIndicator->show();
}

void PreferencesControllerWindowController::finishedActivity()
{
    m_sortOrderProgressIndicator->hide();
    m_sortOrderButton->setEnabled(true);
    m_displayOrderButton->setEnabled(true);
}

// ---- Dialing ----

void PreferencesControllerWindowController::phoneOptionsButtonChanged(int index)
{
    logPreferencesAction(QStringLiteral("PhoneOptionsChanged"));
    const QStringList values{PhoneUseSkype, PhoneUseFaceTime, PhoneUsePhoneURL};
    if (index < 0 || index >= values.size())
        return;
    UserDefaults::standardUserDefaults()->setObject(values[index], DialingOptionsKey);
}

// ---- Passcode ----

void PreferencesControllerWindowController::setupPasswordButtons()
{
    const bool exists = m_appdelegate ? m_appdelegate->passwordExists() : PasscodeLock::passcodeExists();
    m_passcodeButton->setText(exists ? QStringLiteral("Enabled") : QStringLiteral("None"));
    m_passcodeRequiredLabel->setVisible(exists);
    m_passcodeRequiredPopupButton->setVisible(exists);
    if (!exists)
        return;
    m_passcodeRequiredPopupButton->clear();
    m_passcodeRequiredPopupButton->addItems(PasscodeLock::supportedTimeStrings());
    m_passcodeRequiredPopupButton->setCurrentIndex(
        PasscodeLock::indexOfInterval(UserDefaults::standardUserDefaults()->objectForKey(PasscodeLock::IntervalKey)));
}

void PreferencesControllerWindowController::passcodeButtonPressed()
{
    const bool exists = m_appdelegate ? m_appdelegate->passwordExists() : PasscodeLock::passcodeExists();
    if (!exists) {
        showPasswordCreateSheet();
        return;
    }
    AlertSpec spec;
    spec.messageText = ChangePasscodeTitle;
    spec.buttonTitles = {QStringLiteral("Disable Passcode"), QStringLiteral("Change Passcode"), QStringLiteral("Cancel")};
    QPointer<PreferencesControllerWindowController> self(this);
    AlertPresenter::shared().beginSheet(spec, this, [self](const platform::ui::AlertResult &result) {
        if (!self)
            return;
        if (result.buttonIndex == 0)
            self->disablePasscodeSelected();
        else if (result.buttonIndex == 1)
            self->changePasscodeSelected();
    });
}

void PreferencesControllerWindowController::showPasswordCreateSheet()
{
    logPreferencesAction(QStringLiteral("CreatePassword"));
    m_createPasswordController = std::make_shared<MacCreatePasswordController>();
    QPointer<PreferencesControllerWindowController> self(this);
    m_createPasswordController->beginSheet(this, [self] {
        if (!self)
            return;
        const bool exists = PasscodeLock::passcodeExists();
        if (self->m_appdelegate)
            self->m_appdelegate->setPasswordExists(exists);
        const auto defaults = UserDefaults::standardUserDefaults();
        if (exists && !defaults->objectForKey(PasscodeLock::IntervalKey).isValid())
            defaults->setInteger(PasscodeLock::FirstInterval, PasscodeLock::IntervalKey);
        self->setupPasswordButtons();
    });
}

void PreferencesControllerWindowController::disablePasscodeSelected()
{
    logPreferencesAction(QStringLiteral("DisablePassword"));
    m_confirmPasswordController = std::make_shared<MacEnterPasswordController>();
    m_confirmPasswordController->setShowCancelButton(true);
    QPointer<PreferencesControllerWindowController> self(this);
    m_confirmPasswordController->setSuccessBlock([self] {
        if (!self || !PasscodeLock::removePasscode())
            return;
        if (self->m_appdelegate)
            self->m_appdelegate->setPasswordExists(false);
        self->setupPasswordButtons();
    });
    m_confirmPasswordController->beginSheet(this, {});
}

void PreferencesControllerWindowController::changePasscodeSelected()
{
    m_confirmPasswordController = std::make_shared<MacEnterPasswordController>();
    m_confirmPasswordController->setShowCancelButton(true);
    QPointer<PreferencesControllerWindowController> self(this);
    auto accepted = std::make_shared<bool>(false);
    m_confirmPasswordController->setSuccessBlock([accepted] { *accepted = true; });
    // The new passcode is asked for once the entry sheet has gone.
    m_confirmPasswordController->beginSheet(this, [self, accepted] {
        if (self && *accepted)
            self->showPasswordCreateSheet();
    });
}

void PreferencesControllerWindowController::selectedPasscodeTimeoutValue(int index)
{
    const QList<qint64> values = PasscodeLock::supportedTimeValues();
    if (index < 0 || index >= values.size())
        return;
    UserDefaults::standardUserDefaults()->setInteger(values[index], PasscodeLock::IntervalKey);
}

// ---- To-do defaults ----

void PreferencesControllerWindowController::setupDefaultToDoValues()
{
    const DataPlistValues &plist = dataPlistValues();
    m_linkToDoCalendarButton->setChecked(plist.boolValue(QStringLiteral("settings_always_add_new_tasks_to_calendar")));
    const qint64 day = plist.integerValue(QStringLiteral("todo_setting_default_day"));
    if (day >= 0 && day < m_defaultTodoDayButton->count())
        m_defaultTodoDayButton->setCurrentIndex(int(day));
    const qint64 hour = plist.contains(QStringLiteral("todo_setting_default_hour"))
                            ? plist.integerValue(QStringLiteral("todo_setting_default_hour"))
                            : 23;
    const qint64 minute = plist.integerValue(QStringLiteral("todo_setting_default_minute"));
    m_defaultTodoTimePicker->setTime(QTime(int(std::clamp<qint64>(hour, 0, 23)), int(std::clamp<qint64>(minute, 0, 59))));
}

void PreferencesControllerWindowController::linkTodoCalendarChanged(bool on)
{
    QString error;
    if (!CalendarLinkBridge::requestAccess(&error)) {
        // Nothing is stored; the user hears why.
        QDAlertDisplayMac::sharedAlert()->showAlertWithTitle(
            QStringLiteral("Calendar not available"),
            error.isEmpty() ? QStringLiteral("Quendel cannot reach the calendar.") : error, this);
        return;
    }
    storeMirrored({{QStringLiteral("settings_always_add_new_tasks_to_calendar"), qint64(on ? 1 : 0)}});
}

void PreferencesControllerWindowController::todoDefaultDayChanged(int index)
{
    storeMirrored({{QStringLiteral("todo_setting_default_day"), qint64(index)}});
}

void PreferencesControllerWindowController::todoDefaultTimeChanged()
{
    const QTime time = m_defaultTodoTimePicker->time();
    storeMirrored({{QStringLiteral("todo_setting_default_hour"), qint64(time.hour())},
                   {QStringLiteral("todo_setting_default_minute"), qint64(time.minute())}});
}

// ---- Confirmations ----

void PreferencesControllerWindowController::setupDefaultCheckboxes()
{
    const auto defaults = UserDefaults::standardUserDefaults();
    // The keys say "do not ask"; the boxes say "ask".
    const QList<std::pair<QCheckBox *, QString>> inverse{
        {m_deleteContactsCheckbox, QStringLiteral("defaults_delete_contact")},
        {m_deleteLogsCheckbox, QStringLiteral("defaults_delete_log")},
        {m_deleteTodosCheckbox, QStringLiteral("defaults_delete_todo")},
        {m_deleteFilesCheckbox, QStringLiteral("defaults_delete_file")},
        {m_deleteFieldsCheckbox, QStringLiteral("defaults_delete_field")},
        {m_todoIntoLogsChekcbox, QStringLiteral("defaults_copy_todo_to_diary")}};
    for (const auto &[box, key] : inverse)
        box->setChecked(!defaults->boolForKey(key));
    m_importContactsAlertCheckbox->setChecked(dataPlistValues().boolValue(QStringLiteral("auto_import_contacts")));
}

void PreferencesControllerWindowController::defaultsCheckboxSelected(QCheckBox *sender)
{
    const QList<std::pair<QCheckBox *, QString>> inverse{
        {m_deleteContactsCheckbox, QStringLiteral("defaults_delete_contact")},
        {m_deleteLogsCheckbox, QStringLiteral("defaults_delete_log")},
        {m_deleteTodosCheckbox, QStringLiteral("defaults_delete_todo")},
        {m_deleteFilesCheckbox, QStringLiteral("defaults_delete_file")},
        {m_deleteFieldsCheckbox, QStringLiteral("defaults_delete_field")},
        {m_todoIntoLogsChekcbox, QStringLiteral("defaults_copy_todo_to_diary")}};
    const auto defaults = UserDefaults::standardUserDefaults();
    for (const auto &[box, key] : inverse) {
        if (box == sender) {
            defaults->setBool(!defaults->boolForKey(key), key);
            setupDefaultCheckboxes();
            return;
        }
    }
    if (sender == m_importContactsAlertCheckbox) {
        const QString key = QStringLiteral("auto_import_contacts");
        dataPlistValues().setValue(key, !dataPlistValues().boolValue(key));
        SharedSettingController::sharedSettings().saveDataPlist();
        setupDefaultCheckboxes();
    }
}

// ---- Geocoder ----

void PreferencesControllerWindowController::loadGeocoderAddress()
{
    const QString stored = UserDefaults::standardUserDefaults()->stringForKey(platform::maps::Geocoder::ServiceURLKey);
    m_geocoderAddressField->setText(stored);
    m_geocoderStatusLabel->setText(stored.trimmed().isEmpty()
                                       ? QStringLiteral("Addresses are found offline, by city.")
                                       : QStringLiteral("Addresses are sent to this service to find them on the map."));
}

void PreferencesControllerWindowController::geocoderAddressEdited()
{
    const QString text = m_geocoderAddressField->text().trimmed();
    const auto defaults = UserDefaults::standardUserDefaults();
    if (text == defaults->stringForKey(platform::maps::Geocoder::ServiceURLKey).trimmed())
        return;
    QString why;
    if (!isAcceptableServiceAddress(text, &why)) {
        // The last good address stays in force; the field keeps what was typed so it can be corrected.
        m_geocoderStatusLabel->setText(why);
        return;
    }
    if (text.isEmpty())
        defaults->removeObjectForKey(platform::maps::Geocoder::ServiceURLKey);
    else
        defaults->setObject(text, platform::maps::Geocoder::ServiceURLKey);
    loadGeocoderAddress();
}
