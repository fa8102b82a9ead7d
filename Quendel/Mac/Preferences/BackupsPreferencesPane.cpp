#include "Mac/Preferences/BackupsPreferencesPane.h"

#include "AppDelegate.h"
#include "Classes/Backups/BackupFile.h"
#include "Classes/Backups/DBFileRestore.h"
#include "Classes/Backups/QDAutomaticBackupController.h"
#include "Mac/Preferences/PreferencesControllerWindowController.h"
#include "SharedAppGlobals.h"

#include "QuendelKit/Infra/QDLog.h"
#include "QuendelKit/Settings/DataPlistValues.h"
#include "QuendelKit/Settings/SettingsFormat.h"
#include "QuendelKit/Settings/SharedSettingController.h"

#include "platform/core/DateComponents.h"
#include "platform/core/Dispatch.h"
#include "platform/core/KeyedArchive.h"
#include "platform/ui/AlertPresenter.h"
#include "platform/ui/FilePanel.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFormLayout>
#include <QGroupBox>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QUrl>
#include <QVBoxLayout>

using platform::core::DateComponents;
using platform::ui::AlertPresenter;
using platform::ui::AlertResult;
using platform::ui::AlertSpec;
using platform::ui::FilePanelAnswer;
using platform::ui::FilePanelPresenter;
using platform::ui::FilePanelSpec;

namespace {

const qint64 MaximumChoices[] = {5, 10, 20};

void logPreferencesAction(const QString &action)
{
    SharedAppGlobals::sharedAppGlobals().logAnalyticsEvent(QStringLiteral("PreferencesAction"),
                                                           {{QStringLiteral("Action"), action}});
}

// Shows a file or folder in the file browser; there is none to show it in on a screenless platform.
void reveal(const QString &folder)
{
    if (QGuiApplication::platformName() == QLatin1String("offscreen"))
        return;
    QDesktopServices::openUrl(QUrl::fromLocalFile(folder));
}

} // namespace

BackupsPreferencesPane::BackupsPreferencesPane(PreferencesControllerWindowController *window)
    : QWidget(window), m_window(window)
{
    setAccessibleName(QStringLiteral("Backups"));
    auto *column = new QVBoxLayout(this);

    auto *backups = new QGroupBox(QStringLiteral("Back up and restore"), this);
    auto *backupsForm = new QFormLayout(backups);
    m_lastBackupMadeLabel = new QPushButton(NoneText, backups);
    m_lastBackupMadeLabel->setFlat(true);
    m_lastBackupMadeLabel->setAccessibleName(QStringLiteral("Last backup"));
    m_lastBackupMadeLabel->setToolTip(QStringLiteral("Show the backups folder"));
    connect(m_lastBackupMadeLabel, &QPushButton::clicked, this, [this] { backupLabelPressed(); });
    backupsForm->addRow(QStringLiteral("Last backup:"), m_lastBackupMadeLabel);

    auto *buttons = new QHBoxLayout;
    m_backupDataButton = new QPushButton(QStringLiteral("Back Up Now"), backups);
    m_backupDataButton->setAccessibleName(QStringLiteral("Back Up Now"));
    connect(m_backupDataButton, &QPushButton::clicked, this, [this] { backupDataButtonSelected(); });
    m_restoreDataButton = new QPushButton(QStringLiteral("Restore from Backup…"), backups);
    m_restoreDataButton->setAccessibleName(QStringLiteral("Restore from Backup"));
    connect(m_restoreDataButton, &QPushButton::clicked, this, [this] { restoreDataButtonSelected(); });
    buttons->addWidget(m_backupDataButton);
    buttons->addWidget(m_restoreDataButton);
    buttons->addStretch();
    backupsForm->addRow(buttons);

    m_backupProgressIndicator = new QProgressBar(backups);
    m_backupProgressIndicator->setRange(0, 0);
    m_backupProgressIndicator->setTextVisible(false);
    m_backupProgressIndicator->setAccessibleName(QStringLiteral("Backup progress"));
    m_backupProgressIndicator->setVisible(false);
    backupsForm->addRow(m_backupProgressIndicator);
    column->addWidget(backups);

    auto *automatic = new QGroupBox(QStringLiteral("Automatic backups"), this);
    auto *automaticForm = new QFormLayout(automatic);
    m_enableAutoBackupsCheckbox = new QCheckBox(QStringLiteral("Back up automatically"), automatic);
    m_enableAutoBackupsCheckbox->setAccessibleName(QStringLiteral("Back up automatically"));
    connect(m_enableAutoBackupsCheckbox, &QCheckBox::clicked, this, [this] { enableAutoBackupsChanged(); });
    automaticForm->addRow(m_enableAutoBackupsCheckbox);
    m_backupIntervalBox = new QComboBox(automatic);
    m_backupIntervalBox->addItems({QStringLiteral("Hourly"), QStringLiteral("Daily"), QStringLiteral("Weekly")});
    m_backupIntervalBox->setAccessibleName(QStringLiteral("Backup interval"));
    connect(m_backupIntervalBox, &QComboBox::activated, this, [this](int index) { backupFrequencyChanged(index); });
    automaticForm->addRow(QStringLiteral("How often:"), m_backupIntervalBox);
    m_maximumBackupsBox = new QComboBox(automatic);
    m_maximumBackupsBox->addItems({QStringLiteral("5 backups"), QStringLiteral("10 backups"), QStringLiteral("20 backups")});
    m_maximumBackupsBox->setAccessibleName(QStringLiteral("Backups to keep"));
    connect(m_maximumBackupsBox, &QComboBox::activated, this, [this](int index) { maximumBackupsChanged(index); });
    automaticForm->addRow(QStringLiteral("Keep:"), m_maximumBackupsBox);
    column->addWidget(automatic);
    column->addStretch();
}

BackupsPreferencesPane::~BackupsPreferencesPane() = default;

QWidget *BackupsPreferencesPane::alertWindow() const
{
    return m_window ? static_cast<QWidget *>(m_window.data()) : window();
}

void BackupsPreferencesPane::setWorking(bool working)
{
    m_working = working;
    m_backupProgressIndicator->setVisible(working);
    m_backupDataButton->setEnabled(!working);
    m_restoreDataButton->setEnabled(!working && !iCloudEnabledInApp());
}

void BackupsPreferencesPane::setupBackupOptions()
{
    const DataPlistValues &plist = dataPlistValues();
    const bool enabled = plist.boolValue(QDAutomaticBackupController::EnabledKey);
    m_enableAutoBackupsCheckbox->setChecked(enabled);
    m_backupIntervalBox->setEnabled(enabled);
    m_maximumBackupsBox->setEnabled(enabled);

    if (plist.contains(BackupFile::LastBackupDateKey))
        updateBackupLabelString();
    else
        m_lastBackupMadeLabel->setText(NoneText);

    const DateComponents interval = QDAutomaticBackupController::storedInterval();
    auto set = [](qint64 value) { return value != DateComponents::Undefined && value != 0; };
    if (set(interval.hour()))
        m_backupIntervalBox->setCurrentIndex(0);
    else if (set(interval.day()))
        m_backupIntervalBox->setCurrentIndex(1);
    else if (set(interval.weekOfYear()))
        m_backupIntervalBox->setCurrentIndex(2);

    const qint64 limit = plist.integerValue(QDAutomaticBackupController::MaximumLimitKey);
    for (int i = 0; i < 3; ++i) {
        if (MaximumChoices[i] == limit)
            m_maximumBackupsBox->setCurrentIndex(i);
    }

    const bool restoreAllowed = !iCloudEnabledInApp();
    m_restoreDataButton->setEnabled(restoreAllowed && !m_working);
    m_restoreDataButton->setToolTip(restoreAllowed ? RestoreEnabledTooltip : RestoreDisabledTooltip);
}

void BackupsPreferencesPane::updateBackupLabelString()
{
    const QDateTime last = dataPlistValues().dateValue(BackupFile::LastBackupDateKey);
    m_lastBackupMadeLabel->setText(last.isValid() ? settingsFormatDate(last, SettingsDateStyle::Short) : NoneText);
}

void BackupsPreferencesPane::backupLabelPressed()
{
    const QString folder = BackupFile::backupFolder();
    if (!folder.isNull())
        reveal(folder);
}

void BackupsPreferencesPane::enableAutoBackupsChanged()
{
    const bool on = m_enableAutoBackupsCheckbox->isChecked();
    dataPlistValues().setValue(QDAutomaticBackupController::EnabledKey, on);
    m_backupIntervalBox->setEnabled(on);
    m_maximumBackupsBox->setEnabled(on);
    SharedSettingController::sharedSettings().saveDataPlist();
}

void BackupsPreferencesPane::backupFrequencyChanged(int index)
{
    DateComponents interval;
    interval.setHour(index == 0 ? 1 : 0);
    interval.setDay(index == 1 ? 1 : 0);
    interval.setWeekOfYear(index == 2 ? 1 : 0);
    dataPlistValues().setValue(QDAutomaticBackupController::IntervalKey,
                               platform::core::KeyedArchive::archive(interval.toVariant()));
    SharedSettingController::sharedSettings().saveDataPlist();
}

void BackupsPreferencesPane::maximumBackupsChanged(int index)
{
    // The item's title begins with its number.
    const QString title = m_maximumBackupsBox->itemText(index);
    const qint64 limit = title.section(QLatin1Char(' '), 0, 0).toLongLong();
    dataPlistValues().setValue(QDAutomaticBackupController::MaximumLimitKey, limit);
    SharedSettingController::sharedSettings().saveDataPlist();
}

// ---- Back up now ----

void BackupsPreferencesPane::backupDataButtonSelected()
{
    QDLogInfo(QStringLiteral("Preferences: backupDataButton selected"));
    QPointer<BackupsPreferencesPane> self(this);
    m_backupObserver = platform::core::ScopedObserver(
        QDAutomaticBackupController::NewBackupAvailableNotification, nullptr,
        [self](const platform::core::Notification &notification) {
            if (self)
                self->newBackupFileAvailableNotification(notification);
        });
    logPreferencesAction(QStringLiteral("BackupSelected"));
    SharedAppGlobals::sharedAppGlobals().logAnalyticsEvent(
        QStringLiteral("PreferencesAction-Backup"),
        {{QStringLiteral("iCloudEnabled"), iCloudEnabledInApp() ? QStringLiteral("Yes") : QStringLiteral("None")}});
    setWorking(true);
    AppDelegate *delegate = m_window ? m_window->appdelegate() : nullptr;
    const std::shared_ptr<AutomaticBackupService> backups = delegate ? delegate->backupController() : nullptr;
    if (!backups) {
        // No store is open to back up: the same answer as a backup that made nothing.
        platform::core::NotificationCenter::defaultCenter().postOnMain(
            QDAutomaticBackupController::NewBackupAvailableNotification, nullptr,
            {{QDAutomaticBackupController::PathKey, QString()}});
        return;
    }
    backups->startAutomaticBackupProcessWithIsAutomatic(false);
}

void BackupsPreferencesPane::newBackupFileAvailableNotification(const platform::core::Notification &notification)
{
    const QString path = notification.userInfo.value(QDAutomaticBackupController::PathKey).toString();
    QDLogInfo(QStringLiteral("Preferences: newBackupFileAvailable - notification = %1").arg(path));
    QPointer<BackupsPreferencesPane> self(this);
    platform::core::dispatchAsyncMain([self, path] {
        if (!self)
            return;
        self->m_backupObserver.reset();
        self->setWorking(false);
        if (!path.isEmpty()) {
            self->showSaveWindowWithFilepath(path);
        } else {
            AlertSpec spec;
            spec.messageText = CannotCreateBackupTitle;
            spec.informativeText = CannotCreateBackupMessage;
            AlertPresenter::shared().runModal(spec);
        }
    });
}

void BackupsPreferencesPane::showSaveWindowWithFilepath(const QString &path)
{
    const QFileInfo archive(path);
    FilePanelSpec spec;
    spec.save = true;
    spec.title = SaveBackupTitle;
    spec.allowedExtensions = {QStringLiteral("zip")};
    spec.nameFieldText = archive.completeBaseName();
    spec.directory = archive.absolutePath();
    QPointer<BackupsPreferencesPane> self(this);
    FilePanelPresenter::shared().beginSaveSheet(spec, alertWindow(), [self, path](const FilePanelAnswer &answer) {
        if (!answer.accepted) {
            QFile::remove(path);
            return;
        }
        QString target = answer.path;
        if (QFileInfo(target).suffix() != QLatin1String("zip"))
            target += QStringLiteral(".zip");
        bool moved = QFileInfo(target).absoluteFilePath() == QFileInfo(path).absoluteFilePath();
        if (!moved) {
            // The panel asked before replacing a file of that name.
            if (QFileInfo::exists(target))
                QFile::remove(target);
            moved = QFile::rename(path, target);
            if (!moved && QFile::copy(path, target)) {
                QFile::remove(path);
                moved = true;
            }
        }
        SharedSettingController::sharedSettings().saveDataPlist();
        if (!self)
            return;
        self->updateBackupLabelString();
        if (!moved) {
            AlertSpec spec;
            spec.messageText = QStringLiteral("The backup could not be saved there");
            spec.informativeText = QStringLiteral("The backup is kept in \"%1\".").arg(QDir::toNativeSeparators(path));
            AlertPresenter::shared().runModal(spec);
            return;
        }
        reveal(QFileInfo(target).absolutePath());
    });
}

// ---- Restore ----

void BackupsPreferencesPane::restoreDataButtonSelected()
{
    QDLogInfo(QStringLiteral("Preferences: restoreDataButtonSelected selected"));
    logPreferencesAction(QStringLiteral("RestoreSelected"));
    FilePanelSpec spec;
    spec.prompt = QStringLiteral("Restore");
    spec.title = QStringLiteral("Restore from Backup");
    spec.directory = BackupFile::backupFolder();
    QPointer<BackupsPreferencesPane> self(this);
    FilePanelPresenter::shared().runOpenPanel(spec, nullptr, [self](const FilePanelAnswer &answer) {
        if (self && answer.accepted)
            self->restoreChosenFile(answer.path);
    });
}

void BackupsPreferencesPane::restoreChosenFile(const QString &path)
{
    if (QFileInfo(path).suffix() != QLatin1String("zip")) {
        AlertSpec spec;
        spec.messageText = CannotAcceptFileTitle;
        spec.informativeText = CannotAcceptFileMessage;
        AlertPresenter::shared().runModal(spec);
        return;
    }
    m_fileRestore = std::make_unique<DBFileRestore>();
    setWorking(true);
    QPointer<BackupsPreferencesPane> self(this);
    // The indicator shows before the restore holds the main thread.
    QTimer::singleShot(1000, this, [self, path] {
        if (!self)
            return;
        if (!DBFileRestore::doesFileHavePassword(path)) {
            const int result = self->m_fileRestore->restore_db_file(path, RestoreTypeFile);
            self->finishRestore(result);
        } else {
            self->askForPasscode(path);
        }
    });
}

void BackupsPreferencesPane::askForPasscode(const QString &path)
{
    AlertSpec spec;
    spec.messageText = PasscodeTitle;
    spec.informativeText = PasscodeMessage;
    spec.buttonTitles = {QStringLiteral("Restore"), QStringLiteral("Cancel")};
    spec.hasAccessoryTextField = true;
    spec.accessoryIsSecure = true;
    spec.accessoryPlaceholder = QStringLiteral("Passcode");
    QPointer<BackupsPreferencesPane> self(this);
    AlertPresenter::shared().beginSheet(spec, alertWindow(), [self, path](const AlertResult &answer) {
        if (!self)
            return;
        if (answer.buttonIndex != 0) {
            self->setWorking(false);
            return;
        }
        QDLogInfo(QStringLiteral("Preferences: Restore with passcode: run success block"));
        self->m_fileRestore->setPword(answer.accessoryText);
        const int result = self->m_fileRestore->restore_db_file(path, RestoreTypeFile);
        if (result == RestoreResultWrongPassword) {
            // Another try, once the user has read why this one failed.
            self->handle_restore_return(result);
            QTimer::singleShot(0, self, [self, path] {
                if (self)
                    self->askForPasscode(path);
            });
            return;
        }
        self->finishRestore(result);
    });
}

void BackupsPreferencesPane::finishRestore(int result)
{
    setWorking(false);
    handle_restore_return(result);
}

void BackupsPreferencesPane::handle_restore_return(int result)
{
    auto event = [](const QString &value) {
        SharedAppGlobals::sharedAppGlobals().logAnalyticsEvent(QStringLiteral("RestoreWebServer"),
                                                               {{QStringLiteral("Result"), value}});
    };
    AlertSpec spec;
    switch (result) {
    case RestoreResultSuccess:
        event(QStringLiteral("Success"));
        spec.messageText = QStringLiteral("Restore Successful");
        AlertPresenter::shared().beginSheet(spec, alertWindow());
        return;
    case RestoreResultWrongPassword:
        event(QStringLiteral("PasswordIncorrect"));
        spec.messageText = QStringLiteral("PIN Failed");
        spec.informativeText = QStringLiteral("Please enter the correct PIN. It should be the same as the PIN number of "
                                              "the device you created the backup file on");
        break;
    case RestoreResultNoDatabase:
        event(QStringLiteral("DataDBNotFound"));
        spec.messageText = QStringLiteral("Restore Failed");
        spec.informativeText = QStringLiteral("The zip file you copied does not contain the correct data. Please make "
                                              "sure you upload the same file you downloaded through Quendel");
        break;
    case 4:
        return;
    case RestoreResultCloudStore:
        event(QStringLiteral("iCloudBackup"));
        spec.messageText = QStringLiteral("Restore Issues");
        spec.informativeText = QStringLiteral(
            "You restored using a backup containing iCloud data. You can use this data in Read-Only mode, or you can "
            "sync this data with iCloud with the same iCloud account that this was created with, after having cleaned "
            "out any previous iCloud data");
        break;
    default:
        event(QStringLiteral("InternalError"));
        spec.messageText = QStringLiteral("Restore Failed");
        spec.informativeText = QStringLiteral("Internal Error. Please contact support");
        break;
    }
    AlertPresenter::shared().runModal(spec);
}
