#pragma once

#include <QHash>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>

#include <functional>
#include <optional>

class QAction;
class QMenu;
class QWidget;

namespace platform::ui {

// How a menu item or toolbar item of a command looks right now.
struct CommandState
{
    bool enabled = true;
    std::optional<bool> checked; // unset: the item's check mark stays as it is
    QString title;               // null: the item's title stays as it is
};

// Named commands ("copy:", "delete:", "newContact:") go to the first object of a chain that answers them:
// the focus widget, its parents up to its window, then the objects placed after any of those with
// setNextResponder, and last the application responder. Menu and toolbar items bound to a command are
// enabled only while some object of the chain answers it, and that object may refine the state.
//
// Text fields and text editors answer the standard editing commands themselves ("copy:", "cut:",
// "paste:", "selectAll:", "undo:", "redo:", "delete:") unless a handler is registered on them.
class CommandRouter : public QObject
{
    Q_OBJECT
public:
    using Perform = std::function<void(QObject *sender)>;
    using Validate = std::function<CommandState(QAction *item)>;
    using OwnerValidate = std::function<CommandState(const QString &command, QAction *item)>;

    static CommandRouter &shared();

    // `owner` answers `command`; the registration ends when the owner is destroyed. A second
    // registration of the same command on the same owner replaces the first.
    void addHandler(QObject *owner, const QString &command, Perform perform, Validate validate = {});
    void removeHandler(QObject *owner, const QString &command);
    void removeHandlers(QObject *owner);
    bool handles(const QObject *owner, const QString &command) const;

    // The validation an owner gives every command it answers without a validation of its own.
    void setValidator(QObject *owner, OwnerValidate validate);

    // Places `responder` right after `object` in every chain through `object` (a controller behind its
    // view); null removes it. The responder's own next responder, if any, follows it.
    void setNextResponder(QObject *object, QObject *responder);
    QObject *nextResponder(const QObject *object) const;

    // The last link of every chain (the application's delegate).
    void setApplicationResponder(QObject *responder);
    QObject *applicationResponder() const { return m_appResponder; }

    // The chain from `start`, or from the focus widget (else the active window) when start is null.
    QList<QObject *> responderChain(QWidget *start = nullptr) const;
    QObject *targetForCommand(const QString &command, QWidget *start = nullptr) const;
    // Performs the command on its target; false when nothing in the chain answers it or it is disabled.
    bool sendCommand(const QString &command, QObject *sender = nullptr, QWidget *start = nullptr);
    // Disabled when nothing answers; otherwise what the target says (enabled when it says nothing).
    CommandState validateCommand(const QString &command, QAction *item = nullptr, QWidget *start = nullptr) const;

    // Ties a menu or toolbar item to a command: triggering it sends the command, and its enabled state,
    // check mark and title follow the validation.
    void bindAction(QAction *action, const QString &command);
    void unbindAction(QAction *action);
    static QString commandOf(const QAction *action);
    // Validates the menu's bound items just before it opens.
    void watchMenu(QMenu *menu);
    // Validates every bound item now; also done on focus changes and before shortcuts are matched.
    void revalidate();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    struct Entry
    {
        Perform perform;
        Validate validate;
    };
    struct Owner
    {
        QHash<QString, Entry> commands;
        OwnerValidate validate;
        QPointer<QObject> next;
    };

    CommandRouter();
    Owner &ownerEntry(QObject *owner);
    void forget(QObject *owner);
    void ensureAppHooks();
    void apply(QAction *action);
    bool answers(QObject *object, const QString &command) const;

    QHash<const QObject *, Owner> m_owners;
    QPointer<QObject> m_appResponder;
    QList<QPointer<QAction>> m_actions;
    bool m_hooked = false;
};

} // namespace platform::ui
