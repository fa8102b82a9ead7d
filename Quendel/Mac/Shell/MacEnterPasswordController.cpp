#include "Mac/Shell/MacEnterPasswordController.h"

#include "Classes/QDAlertDisplayMac.h"
#include "Mac/Shell/PlainTextLabel.h"

#include "QuendelKit/Infra/QDLog.h"

#include "platform/core/UserDefaults.h"
#include "platform/ui/AlertPresenter.h"
#include "platform/ui/Sheet.h"

#include <QFormLayout>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

using platform::ui::AlertPresenter;
using platform::ui::Sheet;

namespace {

// A sheet that only its own buttons end: the lock screen must not be sent away by Escape or by the
// window's close button.
class PasscodeSheetWindow : public Sheet
{
public:
    explicit PasscodeSheetWindow(bool cancellable) : m_cancellable(cancellable) {}
    void reject() override
    {
        if (m_cancellable)
            Sheet::reject();
    }

private:
    bool m_cancellable;
};

void showAlert(const QString &title, const QString &message)
{
    AlertPresenter::shared().runModal(QDAlertDisplayMac::alertSpec(title, message));
}

QLineEdit *secureField(const QString &name, QWidget *parent)
{
    auto *field = new QLineEdit(parent);
    field->setEchoMode(QLineEdit::Password);
    field->setAccessibleName(name);
    field->setMinimumWidth(220);
    return field;
}

} // namespace

// ---- The prompt ----

MacEnterPasswordController::MacEnterPasswordController() = default;

MacEnterPasswordController::~MacEnterPasswordController()
{
    m_ended = nullptr;
    delete m_sheet.data();
}

void MacEnterPasswordController::beginSheet(QWidget *window, std::function<void()> ended)
{
    if (isAttached())
        return;
    delete m_sheet.data();
    m_ended = std::move(ended);
    auto *sheet = new PasscodeSheetWindow(m_showCancelButton);
    sheet->setDeleteOnEnd(false);
    sheet->setObjectName(QStringLiteral("MacEnterPasswordController"));
    sheet->setAccessibleName(m_isFileRestore ? QStringLiteral("Enter the backup password")
                                             : QStringLiteral("Enter your passcode"));
    m_sheet = sheet;

    auto *content = new QWidget;
    auto *layout = new QVBoxLayout(content);
    auto *title = new PlainTextLabel(m_isFileRestore ? QStringLiteral("Enter the password of the backup")
                                                     : QStringLiteral("Enter your passcode"),
                                     content);
    QFont bold = title->font();
    bold.setBold(true);
    title->setFont(bold);
    layout->addWidget(title);
    m_field = secureField(FieldName, content);
    layout->addWidget(m_field);
    m_hintLabel = new PlainTextLabel(content);
    m_hintLabel->setAccessibleName(HintName);
    m_hintLabel->setWordWrap(true);
    layout->addWidget(m_hintLabel);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    m_cancelButton = new QPushButton(QStringLiteral("Cancel"), content);
    m_cancelButton->setAccessibleName(QStringLiteral("Cancel"));
    m_cancelButton->setAutoDefault(false);
    buttons->addWidget(m_cancelButton);
    auto *done = new QPushButton(m_isFileRestore ? QStringLiteral("OK") : QStringLiteral("Unlock"), content);
    done->setAccessibleName(m_isFileRestore ? QStringLiteral("OK") : DoneButtonName);
    done->setAutoDefault(false);
    buttons->addWidget(done);
    layout->addLayout(buttons);
    sheet->setContentWidget(content);

    std::weak_ptr<MacEnterPasswordController> weak = weak_from_this();
    // Return in the field checks the entry once; the button does the same.
    QObject::connect(m_field, &QLineEdit::returnPressed, sheet, [weak] {
        if (auto self = weak.lock())
            self->confirmPassword();
    });
    QObject::connect(done, &QPushButton::clicked, sheet, [weak] {
        if (auto self = weak.lock())
            self->confirmPassword();
    });
    QObject::connect(m_cancelButton, &QPushButton::clicked, sheet, [weak] {
        if (auto self = weak.lock())
            self->cancelButtonPressed();
    });

    windowDidLoad();
    sheet->beginSheet(window, [weak](int) {
        auto self = weak.lock();
        if (!self)
            return;
        std::function<void()> ended = std::move(self->m_ended);
        self->m_ended = nullptr;
        if (ended)
            ended();
    });
    m_field->setFocus(Qt::OtherFocusReason);
}

void MacEnterPasswordController::windowDidLoad()
{
    m_cancelButton->setVisible(m_showCancelButton);
    m_hintLabel->hide();
}

bool MacEnterPasswordController::isAttached() const
{
    return m_sheet && m_sheet->isActive();
}

bool MacEnterPasswordController::isWindowLoaded() const
{
    return !m_sheet.isNull();
}

QWidget *MacEnterPasswordController::sheetWindow() const
{
    return m_sheet;
}

void MacEnterPasswordController::close()
{
    m_ended = nullptr;
    if (m_sheet)
        m_sheet->endSheet(platform::ui::ModalResponseCancel);
}

bool MacEnterPasswordController::hintShown() const
{
    return m_hintLabel && !m_hintLabel->isHidden();
}

void MacEnterPasswordController::confirmPassword()
{
    if (!isAttached() || !m_field)
        return;
    const QString typed = m_field->text();
    if (m_isFileRestore && m_restoreBlock) {
        // The archive's owner judges the password and closes the sheet.
        m_restoreBlock(typed);
        return;
    }
    if (m_check.check(typed, PasscodeLock::storedPasscode()) == PasscodeLock::Entry::Accepted) {
        QDLogInfo(QStringLiteral("Passcode: accepted"));
        if (m_successBlock)
            m_successBlock();
        closePasswordWindow();
        return;
    }
    QDLogInfo(QStringLiteral("Passcode: wrong entry %1").arg(m_check.retryCount()));
    m_field->clear();
    const QString hint = platform::core::UserDefaults::standardUserDefaults()->stringForKey(PasscodeLock::HintKey);
    if (m_check.showsHint(hint)) {
        m_hintLabel->setText(hint);
        m_hintLabel->show();
    }
    showAlert(IncorrectPasswordTitle, QString());
}

void MacEnterPasswordController::cancelButtonPressed()
{
    closePasswordWindow();
}

void MacEnterPasswordController::closePasswordWindow()
{
    if (m_sheet)
        m_sheet->endSheet(platform::ui::ModalResponseOK);
}

// ---- Creating a passcode ----

MacCreatePasswordController::MacCreatePasswordController() = default;

MacCreatePasswordController::~MacCreatePasswordController()
{
    m_ended = nullptr;
    delete m_sheet.data();
}

void MacCreatePasswordController::beginSheet(QWidget *window, std::function<void()> ended)
{
    if (isAttached())
        return;
    delete m_sheet.data();
    m_ended = std::move(ended);
    auto *sheet = new Sheet;
    sheet->setDeleteOnEnd(false);
    sheet->setObjectName(QStringLiteral("MacCreatePasswordController"));
    sheet->setAccessibleName(QStringLiteral("Create a passcode"));
    m_sheet = sheet;

    auto *content = new QWidget;
    auto *layout = new QVBoxLayout(content);
    auto *title = new PlainTextLabel(QStringLiteral("Choose a passcode to lock Quendel"), content);
    QFont bold = title->font();
    bold.setBold(true);
    title->setFont(bold);
    layout->addWidget(title);
    auto *form = new QFormLayout;
    m_firstPasswordField = secureField(FirstFieldName, content);
    m_secondPasswordField = secureField(SecondFieldName, content);
    m_hintField = new QLineEdit(content);
    m_hintField->setAccessibleName(HintFieldName);
    m_hintField->setPlaceholderText(QStringLiteral("Optional"));
    form->addRow(QStringLiteral("Passcode:"), m_firstPasswordField);
    form->addRow(QStringLiteral("Repeat:"), m_secondPasswordField);
    form->addRow(QStringLiteral("Hint:"), m_hintField);
    layout->addLayout(form);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    auto *cancel = new QPushButton(QStringLiteral("Cancel"), content);
    cancel->setAccessibleName(QStringLiteral("Cancel"));
    cancel->setAutoDefault(false);
    auto *done = new QPushButton(QStringLiteral("Save"), content);
    done->setAccessibleName(QStringLiteral("Save passcode"));
    done->setAutoDefault(false);
    buttons->addWidget(cancel);
    buttons->addWidget(done);
    layout->addLayout(buttons);
    sheet->setContentWidget(content);

    std::weak_ptr<MacCreatePasswordController> weak = weak_from_this();
    QObject::connect(done, &QPushButton::clicked, sheet, [weak] {
        if (auto self = weak.lock())
            self->doneButtonPressed();
    });
    QObject::connect(cancel, &QPushButton::clicked, sheet, [weak] {
        if (auto self = weak.lock())
            self->cancelButtonPressed();
    });
    sheet->beginSheet(window, [weak](int) {
        auto self = weak.lock();
        if (!self)
            return;
        std::function<void()> ended = std::move(self->m_ended);
        self->m_ended = nullptr;
        if (ended)
            ended();
    });
    m_firstPasswordField->setFocus(Qt::OtherFocusReason);
}

bool MacCreatePasswordController::isAttached() const
{
    return m_sheet && m_sheet->isActive();
}

QWidget *MacCreatePasswordController::sheetWindow() const
{
    return m_sheet;
}

void MacCreatePasswordController::doneButtonPressed()
{
    if (!isAttached())
        return;
    const PasscodeLock::CreateResult result = PasscodeLock::createPasscode(
        m_firstPasswordField->text(), m_secondPasswordField->text(), m_hintField->text());
    if (!result.saved) {
        showAlert(result.errorTitle, result.errorText);
        return;
    }
    closePasswordWindow();
}

void MacCreatePasswordController::cancelButtonPressed()
{
    closePasswordWindow();
}

void MacCreatePasswordController::closePasswordWindow()
{
    if (m_sheet)
        m_sheet->endSheet(platform::ui::ModalResponseCancel);
}
