#include "Mac/Shell/KeyRouting.h"

#include <QGuiApplication>
#include <QKeyEvent>

namespace {
KeyRoutingDelegate *g_applicationDelegate = nullptr;
}

KeyRoutingDelegate *KeyRoutingDelegate::applicationDelegate()
{
    return g_applicationDelegate;
}

void KeyRoutingDelegate::setApplicationDelegate(KeyRoutingDelegate *delegate)
{
    g_applicationDelegate = delegate;
}

bool KeyInfo::isCommandN() const
{
    return command && !shift && !option && !control && !capsLock && !numericPad && !function
        && charactersIgnoringModifiers == QLatin1String("n");
}

KeyInfo KeyInfo::fromEvent(const QKeyEvent *event)
{
    KeyInfo info;
    const Qt::KeyboardModifiers mods = event->modifiers();
    // The shortcut key is Control, read as `command`; Meta is read as `control`.
    info.command = mods.testFlag(Qt::ControlModifier);
    info.shift = mods.testFlag(Qt::ShiftModifier);
    info.option = mods.testFlag(Qt::AltModifier);
    info.control = mods.testFlag(Qt::MetaModifier);
    info.numericPad = mods.testFlag(Qt::KeypadModifier);
    // X11 reports Caps Lock only in the native state (its lock bit).
    if (QGuiApplication::platformName() == QLatin1String("xcb"))
        info.capsLock = (event->nativeModifiers() & 0x2) != 0;

    const int key = event->key();
    switch (key) {
    case Qt::Key_Up:
        info.key = UpArrow;
        break;
    case Qt::Key_Down:
        info.key = DownArrow;
        break;
    case Qt::Key_Left:
        info.key = LeftArrow;
        break;
    case Qt::Key_Right:
        info.key = RightArrow;
        break;
    case Qt::Key_Tab:
        info.key = Tab;
        break;
    case Qt::Key_Backtab:
        info.key = BackTab;
        break;
    case Qt::Key_Return:
        info.key = Return;
        break;
    case Qt::Key_Enter:
        info.key = Enter;
        break;
    case Qt::Key_Space:
        info.key = Space;
        break;
    case Qt::Key_Escape:
        info.key = 27;
        break;
    case Qt::Key_Backspace:
        info.key = 127;
        break;
    default:
        if (key > 0 && key < 0x10000) {
            // Qt names letter keys by their capital; Shift decides the case the routing sees.
            QChar c(static_cast<char16_t>(key));
            info.key = (info.shift || info.capsLock ? c.toUpper() : c.toLower()).unicode();
        } else if (!event->text().isEmpty()) {
            info.key = event->text().at(0).unicode();
        }
        break;
    }
    if (info.key != 0)
        info.charactersIgnoringModifiers = QString(QChar(info.key));
    return info;
}

KeyAction KeyRouter::outlineView(KeyDelegateKinds kinds, const KeyInfo &key, const FirstSelection &hasFirstSelection)
{
    if (kinds.testFlag(KeyDelegateKind::AppDelegate)) {
        if (key.key == KeyInfo::UpArrow || key.key == KeyInfo::DownArrow)
            return KeyAction::Default;
        if (key.key == KeyInfo::RightArrow)
            return KeyAction::MainSidebarRightKey;
        if (key.key == KeyInfo::Tab)
            return KeyAction::TabOnSidebar;
        return KeyAction::Drop;
    }

    bool leftArrow = false;
    if (key.isArrow()) {
        if (kinds.testFlag(KeyDelegateKind::MacContactsViewController)) {
            switch (key.key) {
            case KeyInfo::UpArrow:
                return KeyAction::UpKey;
            case KeyInfo::DownArrow:
                return KeyAction::DownKey;
            case KeyInfo::LeftArrow:
                return KeyAction::LeftKey;
            default:
                return KeyAction::RightKey;
            }
        }
        if (key.key == KeyInfo::UpArrow && kinds.testFlag(KeyDelegateKind::CommonListViewMac))
            return hasFirstSelection && hasFirstSelection() ? KeyAction::SubviewPressedUpButton : KeyAction::Default;
        leftArrow = key.key == KeyInfo::LeftArrow;
    }

    if (key.isCommandN()) {
        if (kinds.testFlag(KeyDelegateKind::MacContactsViewController))
            return KeyAction::AddButtonWasKeyed;
        if (kinds.testFlag(KeyDelegateKind::ContactLogsViewControllerMac))
            return KeyAction::ShowAddLogContactSheet;
        if (kinds.testFlag(KeyDelegateKind::ContactTodoViewControllerMac))
            return KeyAction::ShowAddTodoContactSheet;
        if (kinds.testFlag(KeyDelegateKind::ContactFieldsViewControllerMac))
            return KeyAction::ShowAddFieldsOptions;
        return KeyAction::Drop;
    }

    if (kinds.testFlag(KeyDelegateKind::ImportMultipleContactsViewController)) {
        if (key.isReturnOrEnter())
            return KeyAction::EnterKeyWasPressed;
        if (key.key == KeyInfo::Tab)
            return KeyAction::TabKeyWasPressed;
    }

    if (key.key == KeyInfo::Space
        && (kinds & (KeyDelegateKind::ContactTodoViewControllerMac | KeyDelegateKind::MacAllTodosViewController
                     | KeyDelegateKind::ContactLogsViewControllerMac | KeyDelegateKind::MacAllLogsViewController)))
        return KeyAction::SpaceBarPressed;

    if (kinds.testFlag(KeyDelegateKind::MacContactsViewController) && key.isReturnOrEnter())
        return KeyAction::EnterPressedOnContacts;

    if (leftArrow
        && (kinds & (KeyDelegateKind::MacMapViewController | KeyDelegateKind::MacAllLogsViewController
                     | KeyDelegateKind::MacAllTodosViewController)))
        return KeyAction::LeftKeyToSidebar;

    return KeyAction::Default;
}

KeyAction KeyRouter::outlineViewWithMultipleSelection(KeyDelegateKinds kinds, const KeyInfo &key)
{
    if (kinds.testFlag(KeyDelegateKind::SelectContactsViewControllerMac) && key.isReturnOrEnter())
        return KeyAction::EnterKeyWasPressed;
    return KeyAction::Default;
}

KeyAction KeyRouter::tableView(KeyDelegateKinds kinds, const KeyInfo &key, const FirstSelection &hasFirstSelection)
{
    if (key.isReturnOrEnter()
        && (kinds & (KeyDelegateKind::TitlesPickerViewControllerMac | KeyDelegateKind::SelectItemPickerViewController)))
        return KeyAction::EnterKeyWasPressed;
    if (key.key == KeyInfo::UpArrow && kinds.testFlag(KeyDelegateKind::CommonListViewMac))
        return hasFirstSelection && hasFirstSelection() ? KeyAction::SubviewPressedUpButton : KeyAction::Default;
    return KeyAction::Default;
}

KeyAction KeyRouter::collectionView(KeyDelegateKinds kinds, const KeyInfo &key)
{
    Q_UNUSED(key);
    if (kinds & (KeyDelegateKind::ContactFilesViewControllerMac | KeyDelegateKind::MacAllFilesViewController))
        return KeyAction::ForwardKeyDown;
    return KeyAction::Default;
}

bool KeyRouter::perform(KeyAction action, KeyRoutingDelegate *delegate, QKeyEvent *event)
{
    switch (action) {
    case KeyAction::Default:
        return false;
    case KeyAction::Drop:
        return true;
    case KeyAction::LeftKeyToSidebar:
        if (KeyRoutingDelegate *app = KeyRoutingDelegate::applicationDelegate())
            app->leftKeyTomakeSidebarFirstResponder();
        return true;
    case KeyAction::SubviewPressedUpButton:
        if (delegate && delegate->contactsDelegate())
            delegate->contactsDelegate()->subviewPressedUpButton();
        return true;
    default:
        break;
    }
    if (!delegate)
        return true;
    switch (action) {
    case KeyAction::MainSidebarRightKey:
        delegate->mainSidebarRightKeyWasPressed(event);
        break;
    case KeyAction::TabOnSidebar:
        delegate->tabKeyPressedOnSidebarWithShift(false);
        break;
    case KeyAction::UpKey:
        delegate->upKeyWasPressed();
        break;
    case KeyAction::DownKey:
        delegate->downKeyWasPressed();
        break;
    case KeyAction::LeftKey:
        delegate->leftKeyWasPressed();
        break;
    case KeyAction::RightKey:
        delegate->rightKeyWasPressed();
        break;
    case KeyAction::AddButtonWasKeyed:
        delegate->addButtonWasKeyed();
        break;
    case KeyAction::ShowAddLogContactSheet:
        delegate->showAddLogContactSheet(nullptr);
        break;
    case KeyAction::ShowAddTodoContactSheet:
        delegate->showAddTodoContactSheet(nullptr);
        break;
    case KeyAction::ShowAddFieldsOptions:
        delegate->showAddFieldsOptions(nullptr);
        break;
    case KeyAction::EnterKeyWasPressed:
        delegate->enterKeyWasPressed();
        break;
    case KeyAction::TabKeyWasPressed:
        delegate->tabKeyWasPressed();
        break;
    case KeyAction::SpaceBarPressed:
        if (!event)
            break;
        event->accept();
        delegate->spaceBarPressedWithEvent(event);
        return event->isAccepted();
    case KeyAction::EnterPressedOnContacts:
        delegate->enterPressedOnContacts();
        break;
    case KeyAction::ForwardKeyDown:
        if (!event)
            break;
        event->accept();
        delegate->keyDown(event);
        return event->isAccepted();
    default:
        break;
    }
    return true;
}
