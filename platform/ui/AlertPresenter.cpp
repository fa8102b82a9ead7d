#include "platform/ui/AlertPresenter.h"

#include <QApplication>
#include <QCheckBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>

namespace platform::ui {

QStringList AlertSpec::effectiveButtonTitles() const
{
    if (buttonTitles.isEmpty())
        return {QStringLiteral("OK")};
    return buttonTitles;
}

AlertDialog::AlertDialog(const AlertSpec &spec, QWidget *parent) : Sheet(parent), m_spec(spec)
{
    setObjectName(QStringLiteral("alertDialog"));
    setWindowTitle(spec.messageText);

    auto *content = new QWidget;
    auto *outer = new QHBoxLayout(content);
    outer->setContentsMargins(20, 16, 20, 16);
    outer->setSpacing(16);

    auto *icon = new QLabel;
    QStyle::StandardPixmap pixmap = QStyle::SP_MessageBoxWarning;
    if (spec.style == AlertStyle::Informational)
        pixmap = QStyle::SP_MessageBoxInformation;
    else if (spec.style == AlertStyle::Critical)
        pixmap = QStyle::SP_MessageBoxCritical;
    const int iconSize = style()->pixelMetric(QStyle::PM_MessageBoxIconSize, nullptr, this);
    icon->setPixmap(style()->standardIcon(pixmap, nullptr, this).pixmap(iconSize, iconSize));
    icon->setAlignment(Qt::AlignTop);
    outer->addWidget(icon, 0, Qt::AlignTop);

    auto *column = new QVBoxLayout;
    column->setSpacing(8);
    outer->addLayout(column, 1);

    auto *message = new QLabel(spec.messageText);
    message->setObjectName(QStringLiteral("messageText"));
    message->setWordWrap(true);
    message->setTextFormat(Qt::PlainText);
    QFont bold = message->font();
    bold.setBold(true);
    message->setFont(bold);
    message->setVisible(!spec.messageText.isEmpty());
    column->addWidget(message);

    auto *informative = new QLabel(spec.informativeText);
    informative->setObjectName(QStringLiteral("informativeText"));
    informative->setWordWrap(true);
    informative->setTextFormat(Qt::PlainText);
    informative->setVisible(!spec.informativeText.isEmpty());
    column->addWidget(informative);

    if (spec.hasAccessoryTextField) {
        m_accessory = new QLineEdit(spec.accessoryText);
        m_accessory->setObjectName(QStringLiteral("accessoryTextField"));
        m_accessory->setPlaceholderText(spec.accessoryPlaceholder);
        if (spec.accessoryIsSecure)
            m_accessory->setEchoMode(QLineEdit::Password);
        if (spec.accessorySize.isValid())
            m_accessory->setFixedSize(spec.accessorySize);
        column->addWidget(m_accessory);
    }

    if (spec.showsSuppressionButton) {
        m_suppression = new QCheckBox(spec.suppressionButtonTitle.isNull()
                                          ? QStringLiteral("Do not show this message again")
                                          : spec.suppressionButtonTitle);
        m_suppression->setObjectName(QStringLiteral("suppressionButton"));
        column->addWidget(m_suppression);
    }

    // The first button stands rightmost, as the default answer does on this kind of alert.
    auto *buttons = new QHBoxLayout;
    buttons->addStretch(1);
    const QStringList titles = spec.effectiveButtonTitles();
    for (int i = 0; i < titles.size(); ++i) {
        auto *button = new QPushButton(titles.at(i));
        button->setObjectName(QStringLiteral("alertButton%1").arg(i));
        button->setAutoDefault(false);
        button->setDefault(i == spec.defaultButtonIndex);
        connect(button, &QPushButton::clicked, this, [this, i] { endSheet(AlertFirstButtonReturn + i); });
        m_buttons.append(button);
    }
    for (int i = int(m_buttons.size()) - 1; i >= 0; --i)
        buttons->addWidget(m_buttons.at(i));
    column->addLayout(buttons);

    setContentWidget(content);
    if (m_accessory)
        m_accessory->setFocus();
    else
        m_buttons.first()->setFocus();
}

QPushButton *AlertDialog::button(int index) const
{
    return index >= 0 && index < m_buttons.size() ? m_buttons.at(index) : nullptr;
}

AlertResult AlertDialog::result() const
{
    AlertResult result;
    result.buttonIndex = qMax(0, returnCode() - AlertFirstButtonReturn);
    result.suppressed = m_suppression && m_suppression->isChecked();
    if (m_accessory)
        result.accessoryText = m_accessory->text();
    return result;
}

void AlertDialog::reject()
{
    // Escape and the close button mean "Cancel" only where the alert offers a Cancel button.
    for (int i = 0; i < m_buttons.size(); ++i) {
        if (m_buttons.at(i)->text().compare(QStringLiteral("Cancel"), Qt::CaseInsensitive) == 0) {
            endSheet(AlertFirstButtonReturn + i);
            return;
        }
    }
}

AlertPresenter &AlertPresenter::shared()
{
    static AlertPresenter *presenter = new AlertPresenter;
    return *presenter;
}

void AlertPresenter::setNextAnswer(const AlertAnswer &answer)
{
    m_answers.push_back(answer);
}

quint64 AlertPresenter::record(const AlertSpec &spec, bool asSheet, QWidget *window)
{
    ShownAlert shown;
    shown.id = m_nextId++;
    shown.spec = spec;
    shown.asSheet = asSheet;
    shown.window = window;
    m_shown.append(shown);
    return shown.id;
}

void AlertPresenter::finish(quint64 id, const AlertResult &result, bool ahead)
{
    for (ShownAlert &shown : m_shown) {
        if (shown.id == id) {
            shown.answered = true;
            shown.answeredAhead = ahead;
            shown.result = result;
            break;
        }
    }
    emit alertAnswered(result);
}

bool AlertPresenter::takeAnswer(const AlertSpec &spec, AlertResult *out)
{
    if (m_answers.empty())
        return false;
    const AlertAnswer answer = m_answers.front();
    m_answers.pop_front();
    const int buttons = int(spec.effectiveButtonTitles().size());
    out->buttonIndex = qBound(0, answer.buttonIndex, buttons - 1);
    out->suppressed = spec.showsSuppressionButton && answer.suppressed;
    if (spec.hasAccessoryTextField)
        out->accessoryText = answer.accessoryText.isNull() ? spec.accessoryText : answer.accessoryText;
    return true;
}

void AlertPresenter::runModal(const AlertSpec &spec, Completion completion)
{
    present(spec, nullptr, false, std::move(completion));
}

void AlertPresenter::beginSheet(const AlertSpec &spec, QWidget *window, Completion completion)
{
    present(spec, window, window != nullptr, std::move(completion));
}

void AlertPresenter::present(const AlertSpec &spec, QWidget *window, bool asSheet, Completion completion)
{
    const quint64 id = record(spec, asSheet, window ? window->window() : nullptr);
    AlertResult ahead;
    if (takeAnswer(spec, &ahead)) {
        // A real alert answers after its caller has returned; an answer set ahead does the same.
        QMetaObject::invokeMethod(
            this,
            [this, id, ahead, completion = std::move(completion)] {
                finish(id, ahead, true);
                if (completion)
                    completion(ahead);
            },
            Qt::QueuedConnection);
        return;
    }
    auto *dialog = new AlertDialog(spec);
    m_open.removeAll(QPointer<AlertDialog>());
    m_open.append(dialog);
    auto done = [this, id, dialog, completion = std::move(completion)](int) {
        const AlertResult result = dialog->result();
        m_open.removeAll(dialog);
        finish(id, result, false);
        if (completion)
            completion(result);
    };
    if (asSheet)
        dialog->beginSheet(window, std::move(done));
    else
        dialog->beginModal(std::move(done));
}

AlertResult AlertPresenter::runModalBlocking(const AlertSpec &spec)
{
    const quint64 id = record(spec, false, nullptr);
    AlertResult result;
    if (takeAnswer(spec, &result)) {
        finish(id, result, true);
        return result;
    }
    if (m_blockingForbidden) {
        result.buttonIndex = spec.defaultButtonIndex;
        result.accessoryText = spec.hasAccessoryTextField ? spec.accessoryText : QString();
        finish(id, result, false);
        return result;
    }
    AlertDialog dialog(spec);
    dialog.setDeleteOnEnd(false);
    dialog.setWindowModality(Qt::ApplicationModal);
    m_open.append(&dialog);
    dialog.exec();
    m_open.removeAll(&dialog);
    result = dialog.result();
    finish(id, result, false);
    return result;
}

QList<AlertDialog *> AlertPresenter::openAlerts() const
{
    QList<AlertDialog *> result;
    for (const QPointer<AlertDialog> &dialog : m_open) {
        if (dialog && dialog->isVisible())
            result.append(dialog.data());
    }
    return result;
}

} // namespace platform::ui
