#include "platform/ui/CommandRouter.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QEvent>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QTextEdit>
#include <QWidget>

namespace platform::ui {

namespace {

const char *const kCommandProperty = "quendelCommand";

// The editing commands every text widget answers on its own.
template<typename Edit>
std::optional<CommandState> textEditState(const Edit *edit, const QString &command)
{
    const bool selection = edit->textCursor().hasSelection();
    const bool writable = !edit->isReadOnly();
    CommandState state;
    if (command == QLatin1String("copy:"))
        state.enabled = selection;
    else if (command == QLatin1String("cut:") || command == QLatin1String("delete:"))
        state.enabled = selection && writable;
    else if (command == QLatin1String("paste:"))
        state.enabled = writable && edit->canPaste();
    else if (command == QLatin1String("selectAll:"))
        state.enabled = !edit->document()->isEmpty();
    else if (command == QLatin1String("undo:"))
        state.enabled = writable && edit->isUndoRedoEnabled() && edit->document()->isUndoAvailable();
    else if (command == QLatin1String("redo:"))
        state.enabled = writable && edit->isUndoRedoEnabled() && edit->document()->isRedoAvailable();
    else
        return std::nullopt;
    return state;
}

template<typename Edit>
void textEditPerform(Edit *edit, const QString &command)
{
    if (command == QLatin1String("copy:"))
        edit->copy();
    else if (command == QLatin1String("cut:"))
        edit->cut();
    else if (command == QLatin1String("paste:"))
        edit->paste();
    else if (command == QLatin1String("selectAll:"))
        edit->selectAll();
    else if (command == QLatin1String("undo:"))
        edit->undo();
    else if (command == QLatin1String("redo:"))
        edit->redo();
    else if (command == QLatin1String("delete:"))
        edit->textCursor().removeSelectedText();
}

std::optional<CommandState> builtinState(const QObject *object, const QString &command)
{
    if (const auto *line = qobject_cast<const QLineEdit *>(object)) {
        const bool plain = line->echoMode() == QLineEdit::Normal;
        const bool writable = !line->isReadOnly();
        CommandState state;
        if (command == QLatin1String("copy:"))
            state.enabled = plain && line->hasSelectedText();
        else if (command == QLatin1String("cut:"))
            state.enabled = plain && writable && line->hasSelectedText();
        else if (command == QLatin1String("delete:"))
            state.enabled = writable && line->hasSelectedText();
        else if (command == QLatin1String("paste:"))
            state.enabled = writable;
        else if (command == QLatin1String("selectAll:"))
            state.enabled = !line->text().isEmpty();
        else if (command == QLatin1String("undo:"))
            state.enabled = writable && line->isUndoAvailable();
        else if (command == QLatin1String("redo:"))
            state.enabled = writable && line->isRedoAvailable();
        else
            return std::nullopt;
        return state;
    }
    if (const auto *text = qobject_cast<const QTextEdit *>(object))
        return textEditState(text, command);
    if (const auto *plain = qobject_cast<const QPlainTextEdit *>(object))
        return textEditState(plain, command);
    return std::nullopt;
}

void builtinPerform(QObject *object, const QString &command)
{
    if (auto *line = qobject_cast<QLineEdit *>(object)) {
        if (command == QLatin1String("copy:"))
            line->copy();
        else if (command == QLatin1String("cut:"))
            line->cut();
        else if (command == QLatin1String("paste:"))
            line->paste();
        else if (command == QLatin1String("selectAll:"))
            line->selectAll();
        else if (command == QLatin1String("undo:"))
            line->undo();
        else if (command == QLatin1String("redo:"))
            line->redo();
        else if (command == QLatin1String("delete:"))
            line->del();
    } else if (auto *text = qobject_cast<QTextEdit *>(object)) {
        textEditPerform(text, command);
    } else if (auto *plain = qobject_cast<QPlainTextEdit *>(object)) {
        textEditPerform(plain, command);
    }
}

} // namespace

CommandRouter::CommandRouter() = default;

CommandRouter &CommandRouter::shared()
{
    static CommandRouter *router = new CommandRouter;
    router->ensureAppHooks();
    return *router;
}

void CommandRouter::ensureAppHooks()
{
    if (m_hooked || !qApp)
        return;
    m_hooked = true;
    qApp->installEventFilter(this);
    if (auto *app = qobject_cast<QApplication *>(qApp))
        connect(app, &QApplication::focusChanged, this, [this] { revalidate(); });
}

CommandRouter::Owner &CommandRouter::ownerEntry(QObject *owner)
{
    auto it = m_owners.find(owner);
    if (it == m_owners.end()) {
        it = m_owners.insert(owner, Owner());
        connect(owner, &QObject::destroyed, this, [this, owner] { forget(owner); });
    }
    return it.value();
}

void CommandRouter::forget(QObject *owner)
{
    m_owners.remove(owner);
}

void CommandRouter::addHandler(QObject *owner, const QString &command, Perform perform, Validate validate)
{
    if (!owner || command.isEmpty())
        return;
    ownerEntry(owner).commands.insert(command, Entry{std::move(perform), std::move(validate)});
}

void CommandRouter::removeHandler(QObject *owner, const QString &command)
{
    auto it = m_owners.find(owner);
    if (it != m_owners.end())
        it->commands.remove(command);
}

void CommandRouter::removeHandlers(QObject *owner)
{
    auto it = m_owners.find(owner);
    if (it != m_owners.end())
        it->commands.clear();
}

bool CommandRouter::handles(const QObject *owner, const QString &command) const
{
    auto it = m_owners.constFind(owner);
    return it != m_owners.constEnd() && it->commands.contains(command);
}

void CommandRouter::setValidator(QObject *owner, OwnerValidate validate)
{
    if (owner)
        ownerEntry(owner).validate = std::move(validate);
}

void CommandRouter::setNextResponder(QObject *object, QObject *responder)
{
    if (!object)
        return;
    if (!responder) {
        auto it = m_owners.find(object);
        if (it != m_owners.end())
            it->next = nullptr;
        return;
    }
    ownerEntry(object).next = responder;
}

QObject *CommandRouter::nextResponder(const QObject *object) const
{
    auto it = m_owners.constFind(object);
    return it == m_owners.constEnd() ? nullptr : it->next.data();
}

void CommandRouter::setApplicationResponder(QObject *responder)
{
    m_appResponder = responder;
}

QList<QObject *> CommandRouter::responderChain(QWidget *start) const
{
    QList<QObject *> chain;
    if (!start)
        start = QApplication::focusWidget();
    if (!start)
        start = QApplication::activeWindow();
    auto append = [&chain](QObject *object) {
        if (object && !chain.contains(object))
            chain.append(object);
    };
    // A sheet's or popover's chain ends at its own window, as the window's own chain would.
    for (QWidget *widget = start; widget; widget = widget->isWindow() ? nullptr : widget->parentWidget()) {
        append(widget);
        for (QObject *next = nextResponder(widget); next && !chain.contains(next); next = nextResponder(next))
            append(next);
    }
    append(m_appResponder);
    return chain;
}

bool CommandRouter::answers(QObject *object, const QString &command) const
{
    return handles(object, command) || builtinState(object, command).has_value();
}

QObject *CommandRouter::targetForCommand(const QString &command, QWidget *start) const
{
    const QList<QObject *> chain = responderChain(start);
    for (QObject *object : chain) {
        if (answers(object, command))
            return object;
    }
    return nullptr;
}

CommandState CommandRouter::validateCommand(const QString &command, QAction *item, QWidget *start) const
{
    QObject *target = targetForCommand(command, start);
    if (!target) {
        CommandState none;
        none.enabled = false;
        return none;
    }
    auto it = m_owners.constFind(target);
    if (it != m_owners.constEnd()) {
        auto entry = it->commands.constFind(command);
        if (entry != it->commands.constEnd()) {
            if (entry->validate)
                return entry->validate(item);
            if (it->validate)
                return it->validate(command, item);
            return CommandState();
        }
    }
    return builtinState(target, command).value_or(CommandState());
}

bool CommandRouter::sendCommand(const QString &command, QObject *sender, QWidget *start)
{
    QObject *target = targetForCommand(command, start);
    if (!target)
        return false;
    if (!validateCommand(command, qobject_cast<QAction *>(sender), start).enabled)
        return false;
    auto it = m_owners.find(target);
    if (it != m_owners.end()) {
        auto entry = it->commands.find(command);
        if (entry != it->commands.end()) {
            // A copy: the handler may remove or replace its own registration.
            const Perform perform = entry->perform;
            if (perform)
                perform(sender);
            return true;
        }
    }
    builtinPerform(target, command);
    return true;
}

QString CommandRouter::commandOf(const QAction *action)
{
    return action ? action->property(kCommandProperty).toString() : QString();
}

void CommandRouter::bindAction(QAction *action, const QString &command)
{
    if (!action)
        return;
    ensureAppHooks();
    const bool known = !commandOf(action).isEmpty();
    action->setProperty(kCommandProperty, command);
    if (!known) {
        m_actions.removeAll(QPointer<QAction>());
        m_actions.append(action);
        connect(action, &QAction::triggered, this, [this, action] {
            const QString bound = commandOf(action);
            if (!bound.isEmpty())
                sendCommand(bound, action);
        });
    }
    apply(action);
}

void CommandRouter::unbindAction(QAction *action)
{
    if (!action)
        return;
    action->setProperty(kCommandProperty, QVariant());
    m_actions.removeAll(action);
}

void CommandRouter::watchMenu(QMenu *menu)
{
    if (!menu)
        return;
    connect(menu, &QMenu::aboutToShow, this, [this, menu] {
        for (QAction *action : menu->actions()) {
            if (!commandOf(action).isEmpty())
                apply(action);
        }
    });
}

void CommandRouter::apply(QAction *action)
{
    const QString command = commandOf(action);
    if (command.isEmpty())
        return;
    const CommandState state = validateCommand(command, action);
    action->setEnabled(state.enabled);
    if (state.checked.has_value()) {
        action->setCheckable(true);
        action->setChecked(*state.checked);
    }
    if (!state.title.isNull())
        action->setText(state.title);
}

void CommandRouter::revalidate()
{
    m_actions.removeAll(QPointer<QAction>());
    const QList<QPointer<QAction>> actions = m_actions;
    for (const QPointer<QAction> &action : actions) {
        if (action)
            apply(action);
    }
}

bool CommandRouter::eventFilter(QObject *watched, QEvent *event)
{
    // Shortcuts are matched against enabled actions only, so the states must be current at that moment.
    if (event->type() == QEvent::ShortcutOverride && watched == QApplication::focusObject())
        revalidate();
    return QObject::eventFilter(watched, event);
}

} // namespace platform::ui
