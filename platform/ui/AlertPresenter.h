#pragma once

#include "platform/ui/Sheet.h"

#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>

#include <deque>
#include <functional>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace platform::ui {

// Alerts answer with the position of the pressed button: 1000 for the first, 1001 for the second, ...
inline constexpr int AlertFirstButtonReturn = 1000;
inline constexpr int AlertSecondButtonReturn = 1001;
inline constexpr int AlertThirdButtonReturn = 1002;

enum class AlertStyle { Warning, Informational, Critical };

// What an alert shows. The first button is the default (Return) unless said otherwise; a button titled "Cancel" also
// answers Escape. No buttons means a single "OK".
struct AlertSpec
{
    QString messageText;     // the bold first line
    QString informativeText; // the text under it
    QStringList buttonTitles;
    // The button that Return presses; another than the first where the first must be chosen on purpose.
    int defaultButtonIndex = 0;
    AlertStyle style = AlertStyle::Warning;

    bool showsSuppressionButton = false;
    QString suppressionButtonTitle; // null: "Do not show this message again"

    bool hasAccessoryTextField = false;
    QString accessoryText;        // the field's starting text
    QString accessoryPlaceholder;
    QSize accessorySize{300, 24};
    bool accessoryIsSecure = false; // the field hides what is typed (a passcode)

    QStringList effectiveButtonTitles() const;
};

struct AlertResult
{
    int buttonIndex = 0; // 0-based position of the pressed button
    bool suppressed = false;
    QString accessoryText;

    int returnCode() const { return AlertFirstButtonReturn + buttonIndex; }
};

// A pre-set answer for the next alert: the button's position, the suppression box and the accessory
// text (null: leave the text the alert starts with).
struct AlertAnswer
{
    int buttonIndex = 0;
    bool suppressed = false;
    QString accessoryText;

    static AlertAnswer button(int index, bool suppressed = false) { return {index, suppressed, QString()}; }
    static AlertAnswer withText(int index, const QString &text) { return {index, false, text}; }
};

// One alert as it was asked for, with how it was answered.
struct ShownAlert
{
    quint64 id = 0;
    AlertSpec spec;
    bool asSheet = false;
    QPointer<QWidget> window; // the window of a sheet
    bool answeredAhead = false;
    bool answered = false;
    AlertResult result;
};

// The window of one alert. The presenter makes them; tests may press their buttons.
class AlertDialog : public Sheet
{
    Q_OBJECT
public:
    explicit AlertDialog(const AlertSpec &spec, QWidget *parent = nullptr);

    const AlertSpec &spec() const { return m_spec; }
    int buttonCount() const { return int(m_buttons.size()); }
    QPushButton *button(int index) const;
    QCheckBox *suppressionButton() const { return m_suppression; }
    QLineEdit *accessoryTextField() const { return m_accessory; }
    AlertResult result() const;

public slots:
    void reject() override;

private:
    AlertSpec m_spec;
    QList<QPushButton *> m_buttons;
    QCheckBox *m_suppression = nullptr;
    QLineEdit *m_accessory = nullptr;
};

// Shows every alert of the application: modal alerts and alerts attached to a window as sheets.
// Answers come back through a completion; nothing runs a nested event loop except runModalBlocking, and
// that one never does when an answer is waiting.
//
// For tests: answers set ahead are consumed in order, one per alert, instead of showing anything; every
// alert asked for is recorded with its answer.
class AlertPresenter : public QObject
{
    Q_OBJECT
public:
    using Completion = std::function<void(const AlertResult &)>;

    static AlertPresenter &shared();

    // An application-modal alert; returns at once, the completion runs when it is answered.
    void runModal(const AlertSpec &spec, Completion completion = {});
    // An alert attached to `window` as a window-modal sheet; returns at once. Without a window it is
    // shown application-modally.
    void beginSheet(const AlertSpec &spec, QWidget *window, Completion completion = {});
    // An application-modal alert that returns its answer. A waiting answer is returned at once; otherwise
    // a modal loop runs, unless blocking is forbidden: then the default button answers.
    AlertResult runModalBlocking(const AlertSpec &spec);

    // Answers set ahead, consumed one per alert in order.
    void setNextAnswer(const AlertAnswer &answer);
    int pendingAnswerCount() const { return int(m_answers.size()); }
    void clearAnswers() { m_answers.clear(); }

    // Tests forbid blocking so an unexpected blocking alert cannot hang them.
    void setBlockingForbidden(bool forbidden) { m_blockingForbidden = forbidden; }
    bool blockingForbidden() const { return m_blockingForbidden; }

    const QList<ShownAlert> &shownAlerts() const { return m_shown; }
    void clearShownAlerts() { m_shown.clear(); }

    // The alert windows now open, oldest first.
    QList<AlertDialog *> openAlerts() const;

signals:
    void alertAnswered(const platform::ui::AlertResult &result);

private:
    AlertPresenter() = default;
    quint64 record(const AlertSpec &spec, bool asSheet, QWidget *window);
    void finish(quint64 id, const AlertResult &result, bool ahead);
    bool takeAnswer(const AlertSpec &spec, AlertResult *out);
    void present(const AlertSpec &spec, QWidget *window, bool asSheet, Completion completion);

    std::deque<AlertAnswer> m_answers;
    QList<ShownAlert> m_shown;
    QList<QPointer<AlertDialog>> m_open;
    bool m_blockingForbidden = false;
    quint64 m_nextId = 1;
};

} // namespace platform::ui
