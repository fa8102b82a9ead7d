#pragma once

#include "Classes/LaunchServices.h"
#include "Classes/PasscodeLock.h"

#include <QPointer>

#include <functional>
#include <memory>

class QLabel;
class QLineEdit;
class QPushButton;

namespace platform::ui {
class Sheet;
}

// The passcode prompt, a sheet on a window. As the lock screen it has no Cancel and cannot be sent away
// (Escape and the close button do nothing); the right passcode ends it. The preferences show it with a
// Cancel button before the passcode is changed or removed. In restore mode the typed text is handed on
// unchecked, for the password of a backup archive.
class MacEnterPasswordController : public PasscodeSheetService,
                                   public std::enable_shared_from_this<MacEnterPasswordController>
{
public:
    static inline const QString IncorrectPasswordTitle = QStringLiteral("Incorrect password");
    static inline const QString FieldName = QStringLiteral("Passcode");
    static inline const QString DoneButtonName = QStringLiteral("Unlock");
    static inline const QString HintName = QStringLiteral("Passcode hint");

    MacEnterPasswordController();
    ~MacEnterPasswordController() override;

    // Set before the sheet is shown.
    void setShowCancelButton(bool show) { m_showCancelButton = show; }
    void setIsFileRestore(bool restore) { m_isFileRestore = restore; }
    void setSuccessBlock(std::function<void()> block) { m_successBlock = std::move(block); }
    void setRestoreBlock(std::function<void(const QString &typed)> block) { m_restoreBlock = std::move(block); }

    // `ended` runs once when the sheet ends, by the right passcode or by Cancel (never after close()).
    void beginSheet(QWidget *window, std::function<void()> ended) override;
    bool isAttached() const override;
    bool isWindowLoaded() const override;
    QWidget *sheetWindow() const override;
    void close() override;

    // Checks what the field holds (Return in the field and the button do this).
    void confirmPassword();
    void cancelButtonPressed();
    void closePasswordWindow();

    qint64 retryCount() const { return m_check.retryCount(); }
    bool hintShown() const;
    QLineEdit *passcodeEnterField() const { return m_field; }

private:
    void windowDidLoad();

    QPointer<platform::ui::Sheet> m_sheet;
    QLineEdit *m_field = nullptr;
    QPushButton *m_cancelButton = nullptr;
    QLabel *m_hintLabel = nullptr;
    bool m_showCancelButton = false;
    bool m_isFileRestore = false;
    std::function<void()> m_successBlock;
    std::function<void(const QString &)> m_restoreBlock;
    std::function<void()> m_ended;
    PasscodeLock::EntryCheck m_check;
};

// The sheet that creates a passcode: the passcode twice and an optional hint.
class MacCreatePasswordController : public std::enable_shared_from_this<MacCreatePasswordController>
{
public:
    static inline const QString FirstFieldName = QStringLiteral("New passcode");
    static inline const QString SecondFieldName = QStringLiteral("Repeat passcode");
    static inline const QString HintFieldName = QStringLiteral("Passcode hint");

    MacCreatePasswordController();
    ~MacCreatePasswordController();

    // `ended` runs once when the sheet ends, saved or cancelled.
    void beginSheet(QWidget *window, std::function<void()> ended);
    bool isAttached() const;
    QWidget *sheetWindow() const;

    void doneButtonPressed();
    void cancelButtonPressed();
    void closePasswordWindow();

private:
    QPointer<platform::ui::Sheet> m_sheet;
    QLineEdit *m_firstPasswordField = nullptr;
    QLineEdit *m_secondPasswordField = nullptr;
    QLineEdit *m_hintField = nullptr;
    std::function<void()> m_ended;
};
