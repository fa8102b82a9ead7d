#pragma once

#include "platform/contacts/ContactRecord.h"
#include "platform/core/NotificationCenter.h"
#include "platform/store/ManagedObjectContext.h"
#include "platform/store/ManagedObjectID.h"

#include <QMetaType>
#include <QObject>
#include <QPointer>
#include <QPushButton>
#include <QSet>
#include <QStringList>

#include <functional>
#include <memory>
#include <optional>

class MainWindow;
class Person;
class SelectContactsViewControllerMac;
class MainWindowToolbar;
class PrivateGroups;
class QAction;
class QMenu;

namespace platform::contacts {
class AddressBook;
}

// What a group-menu item stands for. Every item carries it in its action's data, so a choice never
// depends on an item's title (two groups may share a name).
struct GroupMenuEntry
{
    enum class Kind { AllContacts, PrivateGroup, PublicGroup, Header, NewPrivateGroup, NewPublicGroup, EditPrivateGroups };
    Kind kind = Kind::Header;
    platform::store::ManagedObjectID privateGroup; // PrivateGroup
    QString publicGroupId;                         // PublicGroup: the address-book group's unique identifier

    bool isGroup() const { return kind == Kind::PrivateGroup || kind == Kind::PublicGroup; }
    bool sameGroup(const GroupMenuEntry &other) const
    {
        if (kind != other.kind)
            return false;
        if (kind == Kind::PrivateGroup)
            return privateGroup == other.privateGroup;
        if (kind == Kind::PublicGroup)
            return publicGroupId == other.publicGroupId;
        return true;
    }
};
Q_DECLARE_METATYPE(GroupMenuEntry)

// The toolbar's group pop-up: a button showing the chosen item's title; a click drops its menu down.
class GroupSelectionButton : public QPushButton
{
    Q_OBJECT
public:
    explicit GroupSelectionButton(QWidget *parent = nullptr);

    QMenu *groupMenu() const { return m_menu; }
    // Takes the menu over (the previous one is deleted) and shows its first item.
    void setGroupMenu(QMenu *menu);
    QAction *selectedItem() const { return m_selected; }
    void selectItem(QAction *item);
    // The menu's item at `index`, separators and headers counted; null outside the menu.
    QAction *itemAtIndex(int index) const;

private:
    void showGroupMenu();

    QMenu *m_menu = nullptr;
    QPointer<QAction> m_selected;
};

// The contact-group menu of the main window and everything done from it: choosing "All Contacts", a
// private group or an address-book group narrows every section (through "GroupChangeNotification");
// new groups are made from a name prompt; the private groups are renamed, reordered and removed in their
// list editor; the chosen group's members are edited through the Add button's Edit face. Changes from
// elsewhere (the address book, the cloud) rebuild the menu and keep the choice where they can.
//
// The current choice lives in three places kept together: the button's selected item, the chosen entry
// here and the window's "group selected" flag (the Add button's face follows it). When the chosen group
// disappears the choice becomes "All Contacts" everywhere, as if the user had chosen it.
class ContactGroupMenu : public QObject
{
    Q_OBJECT
public:
    static inline const QString GroupChangeNotification = QStringLiteral("GroupChangeNotification");
    static inline const QString GroupChangePrivateKey = QStringLiteral("GroupChangePrivate");
    static inline const QString GroupChangePublicKey = QStringLiteral("GroupChangePublic");
    static inline const QString GroupChangePublicIdKey = QStringLiteral("GroupChangePublicIdentifier");
    static inline const QString ExternalGroupRemovedKey = QStringLiteral("ExternalGroupRemoved");
    static inline const QString ExternalGroupAddedKey = QStringLiteral("ExternalGroupAdded");
    static inline const QString ExternalGroupUpdatedKey = QStringLiteral("ExternalGroupUpdated");
    static inline const QString CommonSourceKey = QStringLiteral("Common Source");

    static inline const QString AllContactsTitle = QStringLiteral("All Contacts");
    static inline const QString PrivateGroupsHeader = QStringLiteral("Private Groups");
    static inline const QString PublicGroupsHeader = QStringLiteral("Public Groups");
    static inline const QString ManageGroupsHeader = QStringLiteral("Manage Groups");
    static inline const QString NewPrivateGroupTitle = QStringLiteral("New Private Group");
    static inline const QString NewPublicGroupTitle = QStringLiteral("New Public Group");
    static inline const QString EditPrivateGroupsTitle = QStringLiteral("Edit Private Groups List ...");

    using ContextProvider = std::function<platform::store::ContextPtr()>;
    using BookProvider = std::function<std::shared_ptr<platform::contacts::AddressBook>()>;
    using AnalyticsLogger = std::function<void(const QString &name, const QVariantMap &parameters)>;
    // Opens the member picker for a group (a new one or the chosen one); null group: none.
    using MemberEditor = std::function<void(const GroupMenuEntry &group)>;

    ContactGroupMenu(MainWindow *window, MainWindowToolbar *toolbar, ContextProvider context, BookProvider book,
                     QObject *parent = nullptr);
    ~ContactGroupMenu() override;

    GroupSelectionButton *groupSelectionButton() const { return m_button; }
    void setAnalyticsLogger(AnalyticsLogger logger) { m_analytics = std::move(logger); }
    void setMemberEditor(MemberEditor editor) { m_memberEditor = std::move(editor); }

    // ---- Building ----
    void loadContactGroupSelectionMenu();
    // The account whose address book had the most groups on the first build that saw any.
    QString defaultAccountPath() const { return m_defaultAccountPath; }

    // ---- Choosing ----
    void privateGroupSelected(QAction *item);
    void publicGroupSelected(QAction *item);
    void allContactsSelected(QAction *item);
    // The choice as the sections see it; AllContacts when no group is chosen.
    GroupMenuEntry selectedEntry() const { return m_selected; }
    QAction *selectedGroupItem() const;
    // What the sections were told of the current choice; a section made later starts from it.
    platform::core::Notification choiceNotification() const { return notificationForChoice(m_selected); }
    // The private group of the choice in the main context, or null.
    PrivateGroups *selectedPrivateGroup() const;
    // Narrows a contact picker to the chosen group, if any.
    void applyChoiceToPicker(SelectContactsViewControllerMac *picker) const;

    // ---- Creating and editing ----
    void newPrivateGroupSelected();
    void newPublicGroupSelected();
    // Makes the private group with these members, saves and chooses it; false (nothing kept, the user told)
    // when it could not be saved or the name is taken.
    bool createPrivateGroupWithName(const QString &name, const QList<platform::store::ManagedObjectID> &members);
    // The Add button's Edit face: the member picker for the chosen group; nothing without one.
    void editContactsGroupButtonPressed();
    // The members of a private group become exactly this list; a failed save is undone and reported.
    bool editPrivateGroup(PrivateGroups *group, const QList<platform::store::ManagedObjectID> &members);
    // The address-book group takes the chosen contacts that have a card; the listed contacts not chosen
    // leave it (those not listed keep their place). Saved at once; a failed save is undone and reported.
    bool updatePublicGroup(const QString &groupId, const QList<platform::store::ManagedObjectID> &members,
                           const QList<Person *> &listed);
    // The same for the chosen group, which is then posted again so the sections filter anew.
    void editPublicGroup(const QString &groupId, const QList<platform::store::ManagedObjectID> &members,
                         const QList<Person *> &listed);
    // The private-groups list editor, as a sheet on the main window.
    void editPrivateGroupsSelected();
    // The list editor closed or another part of the program changed the private groups.
    void doneEditPrivateGroupsList();

    // ---- Keeping in step ----
    void externalPublicGroupUpdateNotification(const platform::core::Notification &notification);
    void privateGroupUpdateCloudNotification(const platform::core::Notification &notification);
    // Finds the item of `previous` after a rebuild and makes it the choice again without telling the
    // sections; when the group is gone the choice becomes "All Contacts", and the sections are told.
    void reselectMenuItemAfterUpdate(const GroupMenuEntry &previous);
    // Another program changed cards of the address book: each group among them is announced with
    // "ExternalGroupChangeNotification" (removed, added or updated, by its unique identifier).
    void addressBookChangedExternally(const QStringList &inserted, const QStringList &updated, const QStringList &deleted);

    // ---- Inspection ----
    // The entries of the menu's items in order (separators left out), with their titles and states.
    struct ItemState
    {
        QString title;
        GroupMenuEntry::Kind kind;
        bool enabled;
    };
    QList<ItemState> itemStates() const;

signals:
    void choiceChanged();

private:
    QAction *addItem(QMenu *menu, const QString &title, const GroupMenuEntry &entry, bool enabled);
    void itemTriggered(QAction *item);
    void choose(QAction *item, const GroupMenuEntry &entry);
    platform::core::Notification notificationForChoice(const GroupMenuEntry &entry) const;
    void postChoice(const GroupMenuEntry &entry);
    QAction *findItem(const GroupMenuEntry &entry) const;
    void promptForGroupName(bool publicGroup, const QString &startText);
    void createPublicGroupWithName(const QString &name);
    void logEvent(const QString &name, const QVariantMap &parameters);
    QWidget *sheetWindow() const;
    // The member picker as a sheet on the main window: for a new group (AllContacts) or the members of
    // `group`. `finished` hears Done (with whether anything was chosen) or a cancel.
    using MemberPickerFinished = std::function<void(SelectContactsViewControllerMac *picker,
                                                    const QList<platform::store::ManagedObjectID> &members,
                                                    bool changed)>;
    void openMemberPicker(const GroupMenuEntry &group, MemberPickerFinished finished);
    std::optional<platform::contacts::ContactRecord> publicGroupRecord(const QString &uniqueId) const;

    QPointer<MainWindow> m_window;
    QPointer<MainWindowToolbar> m_toolbar;
    ContextProvider m_context;
    BookProvider m_book;
    AnalyticsLogger m_analytics;
    MemberEditor m_memberEditor;
    QPointer<GroupSelectionButton> m_button;
    GroupMenuEntry m_selected{GroupMenuEntry::Kind::AllContacts, {}, {}};
    QString m_defaultAccountPath;
    QStringList m_recentPublicGroups;
    QString m_createPublicGroupId;
    // The address book whose changes are followed, and the groups it held at the last build (a removed
    // card can no longer say it was a group).
    std::weak_ptr<platform::contacts::AddressBook> m_watchedBook;
    QMetaObject::Connection m_bookConnection;
    QSet<QString> m_knownGroupIds;
};
