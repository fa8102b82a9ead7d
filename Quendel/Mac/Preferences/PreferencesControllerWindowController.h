#pragma once

#include "Mac/Preferences/DisplayPreferences.h"

#include <QPointer>
#include <QWidget>

#include <functional>
#include <memory>

class AppDelegate;
class Person;
class BackupsPreferencesPane;
class EmailTemplatesPreferencesPane;
class MacCreatePasswordController;
class MacEnterPasswordController;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QTabWidget;
class QTimeEdit;
class ReportExportPane;

// The preferences window: one window of tabbed panes. Every control writes its setting the moment it
// changes; there is no OK or Cancel. The window keeps its place and its panes when it is closed, and
// reloads them from their settings each time it is opened again.
class PreferencesControllerWindowController : public QWidget, public QDDisplayPreferencesDelegate
{
    Q_OBJECT
public:
    static inline const QString WindowTitle = QStringLiteral("Preferences");
    // The tabs other parts of the program open directly.
    static constexpr int ManageDataTabIndex = 2;
    static constexpr int ExportTabIndex = 4;

    static inline const QString DialingOptionsKey = QStringLiteral("settings_dialing_options");
    static inline const QString PhoneUseSkype = QStringLiteral("settings_phone_use_skype");
    static inline const QString PhoneUseFaceTime = QStringLiteral("settings_phone_use_facetime");
    static inline const QString PhoneUsePhoneURL = QStringLiteral("settings_phone_use_phone_url");
    static inline const QString ChangePasscodeTitle = QStringLiteral("Change passcode settings?");

    explicit PreferencesControllerWindowController(AppDelegate *appdelegate, QWidget *parent = nullptr);
    ~PreferencesControllerWindowController() override;

    // Brings the window to the front, reloading every pane.
    void showWindow();
    // Opens the window on one tab.
    void showWindowOnTab(int index);
    // Sent each time the existing window is opened again.
    void windowWillAppear();
    // Loads every pane from its stores.
    void checkSettings();

    // Adds a pane as a tab; its index.
    int addPane(QWidget *pane, const QString &title);

    QTabWidget *preferencesTabView() const { return m_tabs; }
    BackupsPreferencesPane *backupsPane() const { return m_backupsPane; }
    EmailTemplatesPreferencesPane *templatesPane() const { return m_templatesPane; }
    ReportExportPane *reportExportPane() const { return m_reportPane; }
    // The group of the main window that the report export offers; kept for every new export pane.
    void setReportGroupProvider(std::function<QString()> title, std::function<QList<Person *>()> contacts);
    AppDelegate *appdelegate() const;
    DisplayPreferences &displayPreferencesObject() { return m_displayPreferencesObject; }

    // QDDisplayPreferencesDelegate
    void willBeginActivity() override;
    void finishedActivity() override;

private:
    QWidget *makeGeneralPane();
    QWidget *makeToDosPane();
    QWidget *makeManageDataPane();
    QWidget *makeSyncPane();

    void sortOrderButtonChanged(int index);
    void displayOrderButtonChanged(int index);
    void phoneOptionsButtonChanged(int index);
    void passcodeButtonPressed();
    void showPasswordCreateSheet();
    void disablePasscodeSelected();
    void changePasscodeSelected();
    void selectedPasscodeTimeoutValue(int index);
    void setupPasswordButtons();
    void setupDefaultToDoValues();
    void setupDefaultCheckboxes();
    void linkTodoCalendarChanged(bool on);
    void todoDefaultDayChanged(int index);
    void todoDefaultTimeChanged();
    void defaultsCheckboxSelected(QCheckBox *sender);
    void geocoderAddressEdited();
    void loadGeocoderAddress();
    void updateSyncButtonTitle();
    // The export pane works on the main context of the moment: a restore brings a new one.
    void makeReportPane();

    QPointer<AppDelegate> m_appdelegate;
    DisplayPreferences m_displayPreferencesObject;
    QTabWidget *m_tabs = nullptr;
    BackupsPreferencesPane *m_backupsPane = nullptr;
    EmailTemplatesPreferencesPane *m_templatesPane = nullptr;
    ReportExportPane *m_reportPane = nullptr;
    platform::store::ContextPtr m_reportContext;
    std::function<QString()> m_groupTitle;
    std::function<QList<Person *>()> m_groupContacts;
    platform::core::ScopedObserver m_restoreObserver;
    bool m_loading = false;

    QComboBox *m_sortOrderButton = nullptr;
    QComboBox *m_displayOrderButton = nullptr;
    QProgressBar *m_sortOrderProgressIndicator = nullptr;
    QComboBox *m_phoneOptionsButton = nullptr;
    QPushButton *m_passcodeButton = nullptr;
    QLabel *m_passcodeRequiredLabel = nullptr;
    QComboBox *m_passcodeRequiredPopupButton = nullptr;
    QLineEdit *m_geocoderAddressField = nullptr;
    QLabel *m_geocoderStatusLabel = nullptr;
    QComboBox *m_defaultTodoDayButton = nullptr;
    QTimeEdit *m_defaultTodoTimePicker = nullptr;
    QCheckBox *m_linkToDoCalendarButton = nullptr;
    QCheckBox *m_deleteContactsCheckbox = nullptr;
    QCheckBox *m_deleteLogsCheckbox = nullptr;
    QCheckBox *m_deleteTodosCheckbox = nullptr;
    QCheckBox *m_deleteFilesCheckbox = nullptr;
    QCheckBox *m_deleteFieldsCheckbox = nullptr;
    QCheckBox *m_todoIntoLogsChekcbox = nullptr;
    QCheckBox *m_importContactsAlertCheckbox = nullptr;
    QPushButton *m_syncButton = nullptr;
    QLabel *m_syncMessageLabel = nullptr;

    std::shared_ptr<MacCreatePasswordController> m_createPasswordController;
    std::shared_ptr<MacEnterPasswordController> m_confirmPasswordController;
};
