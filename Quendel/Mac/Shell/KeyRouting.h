#pragma once

#include <QFlags>
#include <QString>

#include <functional>

class QKeyEvent;
class QMenu;
class QObject;

// The list views of the application pass keys to their delegate, and which message a key becomes
// depends on what kind of controller the delegate is. A controller says what it is through
// keyDelegateKinds(); a derived controller names its base's kind too (a contact's Logs tab is also a
// contact-page pane), so "is a" tests include subclasses as they should.
enum class KeyDelegateKind : quint32 {
    AppDelegate = 1u << 0,
    MacContactsViewController = 1u << 1,
    CommonListViewMac = 1u << 2,
    ContactLogsViewControllerMac = 1u << 3,
    ContactTodoViewControllerMac = 1u << 4,
    ContactFieldsViewControllerMac = 1u << 5,
    MacAllLogsViewController = 1u << 6,
    MacAllTodosViewController = 1u << 7,
    MacMapViewController = 1u << 8,
    ImportMultipleContactsViewController = 1u << 9,
    ContactInfoViewControllerMac = 1u << 10,
    SelectContactsViewControllerMac = 1u << 11,
    TitlesPickerViewControllerMac = 1u << 12,
    SelectItemPickerViewController = 1u << 13,
    ContactFilesViewControllerMac = 1u << 14,
    MacAllFilesViewController = 1u << 15,
};
Q_DECLARE_FLAGS(KeyDelegateKinds, KeyDelegateKind)
Q_DECLARE_OPERATORS_FOR_FLAGS(KeyDelegateKinds)

// What a delegate of the key-routing views answers. Each controller overrides the messages of its kind;
// the others are never sent to it.
class KeyRoutingDelegate
{
public:
    virtual ~KeyRoutingDelegate() = default;

    virtual KeyDelegateKinds keyDelegateKinds() const = 0;

    // The sidebar (the application's delegate).
    virtual void mainSidebarRightKeyWasPressed(QKeyEvent *event) {}
    virtual void tabKeyPressedOnSidebarWithShift(bool shift) {}
    virtual void leftKeyTomakeSidebarFirstResponder() {}

    // The contacts list.
    virtual void upKeyWasPressed() {}
    virtual void downKeyWasPressed() {}
    virtual void leftKeyWasPressed() {}
    virtual void rightKeyWasPressed() {}
    virtual void addButtonWasKeyed() {}
    virtual void enterPressedOnContacts() {}

    // The contact page's panes.
    virtual bool hasTableviewFirstSelection() const { return false; }
    virtual KeyRoutingDelegate *contactsDelegate() const { return nullptr; }
    virtual void subviewPressedUpButton() {}
    virtual void showAddLogContactSheet(QObject *sender) {}
    virtual void showAddTodoContactSheet(QObject *sender) {}
    virtual void showAddFieldsOptions(QObject *sender) {}
    // Space in a list of logs or to-dos; a key left ignored gets the list's own handling.
    virtual void spaceBarPressedWithEvent(QKeyEvent *event) {}
    virtual QMenu *menuForOutlineViewRightClickOnSelectedOnRow(int row) { return nullptr; }

    // Pickers and the import list.
    virtual void enterKeyWasPressed() {}
    virtual void tabKeyWasPressed() {}

    // The file panes are offered every key of their collection first; a key they leave ignored
    // (QKeyEvent::ignore) gets the collection's own handling.
    virtual void keyDown(QKeyEvent *event) {}

    // The application's delegate, which receives the keys that move the focus back to the sidebar.
    static KeyRoutingDelegate *applicationDelegate();
    static void setApplicationDelegate(KeyRoutingDelegate *delegate);
};

// A key as the routing reads it: one 16-bit character (the arrows, Tab, Return, Enter and Space have
// fixed codes) and the modifier flags.
struct KeyInfo
{
    static constexpr char16_t UpArrow = 0xF700;
    static constexpr char16_t DownArrow = 0xF701;
    static constexpr char16_t LeftArrow = 0xF702;
    static constexpr char16_t RightArrow = 0xF703;
    static constexpr char16_t Tab = 9;
    static constexpr char16_t BackTab = 0x19;
    static constexpr char16_t Return = 13;
    static constexpr char16_t Enter = 3;
    static constexpr char16_t Space = 32;

    char16_t key = 0;                     // 0 when the key gives no character
    QString charactersIgnoringModifiers; // Shift still applies
    bool command = false;
    bool shift = false;
    bool option = false;
    bool control = false;
    bool capsLock = false;
    bool numericPad = false;
    bool function = false;

    // The shortcut key (Control, read as `command`) is the only modifier and the character is "n".
    bool isCommandN() const;
    bool isArrow() const { return key >= UpArrow && key <= RightArrow; }
    bool isReturnOrEnter() const { return key == Return || key == Enter; }

    static KeyInfo fromEvent(const QKeyEvent *event);
};

// What a routed key turns into.
enum class KeyAction {
    Default, // the view's own key handling
    Drop,    // swallowed
    MainSidebarRightKey,
    TabOnSidebar,
    UpKey,
    DownKey,
    LeftKey,
    RightKey,
    SubviewPressedUpButton,
    AddButtonWasKeyed,
    ShowAddLogContactSheet,
    ShowAddTodoContactSheet,
    ShowAddFieldsOptions,
    EnterKeyWasPressed,
    TabKeyWasPressed,
    SpaceBarPressed,
    EnterPressedOnContacts,
    LeftKeyToSidebar,
    ForwardKeyDown,
};

// The routing decisions, apart from any view, so every case can be checked in a table.
class KeyRouter
{
public:
    using FirstSelection = std::function<bool()>;

    static KeyAction outlineView(KeyDelegateKinds kinds, const KeyInfo &key, const FirstSelection &hasFirstSelection);
    static KeyAction outlineViewWithMultipleSelection(KeyDelegateKinds kinds, const KeyInfo &key);
    static KeyAction tableView(KeyDelegateKinds kinds, const KeyInfo &key, const FirstSelection &hasFirstSelection);
    static KeyAction collectionView(KeyDelegateKinds kinds, const KeyInfo &key);

    // Sends the message an action stands for; false for Default (the view handles the key itself).
    static bool perform(KeyAction action, KeyRoutingDelegate *delegate, QKeyEvent *event);
};
