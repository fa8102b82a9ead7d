#pragma once

#include "platform/core/NotificationCenter.h"

#include <QPointer>
#include <QWidget>

#include <memory>

class DBFileRestore;
class PreferencesControllerWindowController;
class QCheckBox;
class QComboBox;
class QLabel;
class QProgressBar;
class QPushButton;

// The backups pane of the preferences window: back up now and save the archive where the user likes,
// restore from an archive (asking for its passcode when it has one), the date of the last backup, and the
// automatic backups (on or off, how often, how many archives to keep).
class BackupsPreferencesPane : public QWidget
{
    Q_OBJECT
public:
    static inline const QString NoneText = QStringLiteral("None");
    static inline const QString CannotCreateBackupTitle = QStringLiteral("Cannot create backup");
    static inline const QString CannotCreateBackupMessage =
        QStringLiteral("There was a problem with creating a backup of the data. Please try again.");
    static inline const QString SaveBackupTitle = QStringLiteral("Save Quendel Backup");
    static inline const QString CannotAcceptFileTitle = QStringLiteral("Cannot accept file");
    static inline const QString CannotAcceptFileMessage =
        QStringLiteral("To restore your data, you need to upload a backup zip file");
    static inline const QString RestoreEnabledTooltip = QStringLiteral("Restore data from a previous backup");
    static inline const QString RestoreDisabledTooltip = QStringLiteral(
        "Restore Data from Backup is only available if you have iCloud sync setting turned off");
    static inline const QString PasscodeTitle = QStringLiteral("Enter the passcode of this backup");
    static inline const QString PasscodeMessage =
        QStringLiteral("The backup is protected with the passcode of the computer it was made on.");

    explicit BackupsPreferencesPane(PreferencesControllerWindowController *window);
    ~BackupsPreferencesPane() override;

    // Loads the pane from the settings.
    void setupBackupOptions();
    void updateBackupLabelString();
    void backupLabelPressed();
    void enableAutoBackupsChanged();
    void backupFrequencyChanged(int index);
    void maximumBackupsChanged(int index);
    void backupDataButtonSelected();
    void newBackupFileAvailableNotification(const platform::core::Notification &notification);
    void showSaveWindowWithFilepath(const QString &path);
    void restoreDataButtonSelected();
    // Tells the user how a restore ended.
    void handle_restore_return(int result);

    // A backup or a restore started here has not ended yet.
    bool isWorking() const { return m_working; }

private:
    void setWorking(bool working);
    void restoreChosenFile(const QString &path);
    void askForPasscode(const QString &path);
    void finishRestore(int result);
    QWidget *alertWindow() const;

    QPointer<PreferencesControllerWindowController> m_window;
    QPushButton *m_backupDataButton = nullptr;
    QPushButton *m_restoreDataButton = nullptr;
    QPushButton *m_lastBackupMadeLabel = nullptr;
    QProgressBar *m_backupProgressIndicator = nullptr;
    QCheckBox *m_enableAutoBackupsCheckbox = nullptr;
    QComboBox *m_backupIntervalBox = nullptr;
    QComboBox *m_maximumBackupsBox = nullptr;
    std::unique_ptr<DBFileRestore> m_fileRestore;
    platform::core::ScopedObserver m_backupObserver;
    bool m_working = false;
};
