#include "Mac/Shell/ContactGroupMenu.h"

#include "Classes/QDAlertDisplayMac.h"
#include "Mac/Contacts/AddContactWindowController.h"
#include "Mac/Journal/SelectContactsViewControllerMac.h"
#include "Mac/Shell/MainWindow.h"
#include "Mac/Shell/MainWindowToolbar.h"
#include "Mac/Shell/PrivateGroupsListEditor.h"
#include "Mac/Shell/ThemeIcons.h"

#include "QuendelKit/Entities/Person.h"
#include "QuendelKit/Entities/PrivateGroups.h"
#include "QuendelKit/Infra/QDLog.h"

#include "platform/contacts/AddressBook.h"
#include "platform/ui/AlertPresenter.h"

#include <QCollator>
#include <QMap>
#include <QMenu>
#include <QTimer>

#include <algorithm>

using platform::store::ManagedObjectID;
using Kind = GroupMenuEntry::Kind;

// ---- The button ----

GroupSelectionButton::GroupSelectionButton(QWidget *parent) : QPushButton(parent)
{
    setObjectName(QStringLiteral("groupSelectionButton"));
    setAccessibleName(QStringLiteral("Group"));
    setToolTip(QStringLiteral("Show the contacts of one group"));
    setMinimumWidth(140);
    // The arrow on the right says a menu drops down.
    setIcon(ThemeIcons::icon(QStringLiteral("go-down")));
    setIconSize(QSize(10, 10));
    setLayoutDirection(Qt::RightToLeft);
    setEnabled(false);
    connect(this, &QPushButton::clicked, this, &GroupSelectionButton::showGroupMenu);
}

void GroupSelectionButton::setGroupMenu(QMenu *menu)
{
    if (m_menu && m_menu != menu)
        m_menu->deleteLater();
    m_menu = menu;
    if (m_menu) {
        m_menu->setParent(this, m_menu->windowFlags());
        // Only the button puts its arrow on the right; the menu reads left to right.
        m_menu->setLayoutDirection(Qt::LeftToRight);
    }
    selectItem(itemAtIndex(0));
}

QAction *GroupSelectionButton::itemAtIndex(int index) const
{
    return m_menu ? m_menu->actions().value(index) : nullptr;
}

void GroupSelectionButton::selectItem(QAction *item)
{
    if (item && (!m_menu || !m_menu->actions().contains(item)))
        return;
    m_selected = item;
    setText(item ? item->text() : QString());
    if (m_menu) {
        for (QAction *action : m_menu->actions())
            action->setChecked(action == item);
    }
}

void GroupSelectionButton::showGroupMenu()
{
    if (!m_menu)
        return;
    // Drops down without a nested event loop; the chosen item's action does the rest.
    m_menu->popup(mapToGlobal(QPoint(0, height())), m_selected);
}

// ---- The menu ----

ContactGroupMenu::ContactGroupMenu(MainWindow *window, MainWindowToolbar *toolbar, ContextProvider context,
                                   BookProvider book, QObject *parent)
    : QObject(parent), m_window(window), m_toolbar(toolbar), m_context(std::move(context)), m_book(std::move(book))
{
    m_button = new GroupSelectionButton;
}

ContactGroupMenu::~ContactGroupMenu()
{
    // Once the toolbar shows the button it owns it; until then it is ours.
    if (m_button && !m_button->parent())
        delete m_button.data();
}

void ContactGroupMenu::logEvent(const QString &name, const QVariantMap &parameters)
{
    if (m_analytics)
        m_analytics(name, parameters);
}

QWidget *ContactGroupMenu::sheetWindow() const
{
    return m_window;
}

QAction *ContactGroupMenu::addItem(QMenu *menu, const QString &title, const GroupMenuEntry &entry, bool enabled)
{
    auto *item = menu->addAction(title);
    item->setData(QVariant::fromValue(entry));
    item->setEnabled(enabled);
    item->setCheckable(entry.kind == Kind::AllContacts || entry.isGroup());
    if (enabled)
        connect(item, &QAction::triggered, this, [this, item] { itemTriggered(item); });
    return item;
}

void ContactGroupMenu::loadContactGroupSelectionMenu()
{
    auto *menu = new QMenu(QStringLiteral("Groups"));
    menu->setAccessibleName(QStringLiteral("Groups"));
    addItem(menu, AllContactsTitle, {Kind::AllContacts, {}, {}}, true);

    const platform::store::ContextPtr context = m_context ? m_context() : nullptr;
    const QList<PrivateGroups *> privateGroups = PrivateGroups::loadAllPrivateGroupsWithMOC(context.get());
    if (!privateGroups.isEmpty()) {
        menu->addSeparator();
        addItem(menu, PrivateGroupsHeader, {Kind::Header, {}, {}}, false);
        for (PrivateGroups *group : privateGroups)
            addItem(menu, group->groupName(), {Kind::PrivateGroup, group->objectID(), {}}, true);
    }

    const std::shared_ptr<platform::contacts::AddressBook> book = m_book ? m_book() : nullptr;
    const QList<platform::contacts::ContactRecord> groups = book ? book->groups() : QList<platform::contacts::ContactRecord>();
    if (book && book != m_watchedBook.lock()) {
        disconnect(m_bookConnection);
        m_watchedBook = book;
        m_bookConnection = connect(book.get(), &platform::contacts::AddressBook::changedExternally, this,
                                   &ContactGroupMenu::addressBookChangedExternally);
    }
    m_knownGroupIds.clear();
    for (const platform::contacts::ContactRecord &group : groups)
        m_knownGroupIds.insert(group.uniqueId());
    if (!groups.isEmpty()) {
        // Sorted into the accounts that hold them; a group without an account goes under a common key.
        QMap<QString, QList<platform::contacts::ContactRecord>> sources;
        for (const platform::contacts::ContactRecord &group : groups) {
            QString key = book->accountPathForRecord(group.uniqueId());
            const bool isNew = group.uniqueId() == m_createPublicGroupId || m_recentPublicGroups.contains(group.uniqueId());
            if (key.isEmpty() && isNew)
                key = m_defaultAccountPath;
            sources[key.isEmpty() ? CommonSourceKey : key].append(group);
        }
        QString longest;
        qsizetype longestCount = 0;
        QCollator collator;
        collator.setCaseSensitivity(Qt::CaseInsensitive);
        for (auto it = sources.begin(); it != sources.end(); ++it) {
            if (m_defaultAccountPath.isEmpty() && it.value().size() > longestCount) {
                longest = it.key();
                longestCount = it.value().size();
            }
            QList<platform::contacts::ContactRecord> list = it.value();
            std::stable_sort(list.begin(), list.end(), [&](const auto &a, const auto &b) {
                return collator.compare(a.groupName(), b.groupName()) < 0;
            });
            menu->addSeparator();
            addItem(menu, PublicGroupsHeader, {Kind::Header, {}, {}}, false);
            for (const platform::contacts::ContactRecord &group : list) {
                if (!group.groupName().isEmpty())
                    addItem(menu, group.groupName(), {Kind::PublicGroup, {}, group.uniqueId()}, true);
            }
        }
        if (m_defaultAccountPath.isEmpty() && !longest.isEmpty())
            m_defaultAccountPath = longest;
    }

    menu->addSeparator();
    addItem(menu, ManageGroupsHeader, {Kind::Header, {}, {}}, false);
    addItem(menu, NewPrivateGroupTitle, {Kind::NewPrivateGroup, {}, {}}, true);
    addItem(menu, NewPublicGroupTitle, {Kind::NewPublicGroup, {}, {}}, book != nullptr);
    addItem(menu, EditPrivateGroupsTitle, {Kind::EditPrivateGroups, {}, {}}, context != nullptr);

    m_button->setEnabled(true);
    m_button->setGroupMenu(menu);
}

QList<ContactGroupMenu::ItemState> ContactGroupMenu::itemStates() const
{
    QList<ItemState> states;
    if (!m_button->groupMenu())
        return states;
    for (QAction *item : m_button->groupMenu()->actions()) {
        if (item->isSeparator())
            continue;
        states << ItemState{item->text(), item->data().value<GroupMenuEntry>().kind, item->isEnabled()};
    }
    return states;
}

QAction *ContactGroupMenu::findItem(const GroupMenuEntry &entry) const
{
    if (!m_button->groupMenu())
        return nullptr;
    for (QAction *item : m_button->groupMenu()->actions()) {
        if (!item->isSeparator() && item->data().value<GroupMenuEntry>().sameGroup(entry))
            return item;
    }
    return nullptr;
}

QAction *ContactGroupMenu::selectedGroupItem() const
{
    return findItem(m_selected);
}

PrivateGroups *ContactGroupMenu::selectedPrivateGroup() const
{
    if (m_selected.kind != Kind::PrivateGroup)
        return nullptr;
    const platform::store::ContextPtr context = m_context ? m_context() : nullptr;
    if (!context)
        return nullptr;
    auto *group = dynamic_cast<PrivateGroups *>(context->existingObjectWithID(m_selected.privateGroup));
    return group && !group->isDeleted() ? group : nullptr;
}

void ContactGroupMenu::itemTriggered(QAction *item)
{
    const GroupMenuEntry entry = item->data().value<GroupMenuEntry>();
    switch (entry.kind) {
    case Kind::AllContacts:
        allContactsSelected(item);
        break;
    case Kind::PrivateGroup:
        privateGroupSelected(item);
        break;
    case Kind::PublicGroup:
        publicGroupSelected(item);
        break;
    case Kind::NewPrivateGroup:
        newPrivateGroupSelected();
        break;
    case Kind::NewPublicGroup:
        newPublicGroupSelected();
        break;
    case Kind::EditPrivateGroups:
        editPrivateGroupsSelected();
        break;
    case Kind::Header:
        break;
    }
}

platform::core::Notification ContactGroupMenu::notificationForChoice(const GroupMenuEntry &entry) const
{
    QVariantMap info;
    if (entry.kind == Kind::PrivateGroup) {
        const platform::store::ContextPtr context = m_context ? m_context() : nullptr;
        platform::store::ManagedObject *group = context ? context->existingObjectWithID(entry.privateGroup) : nullptr;
        info.insert(GroupChangePrivateKey, QVariant::fromValue(group));
    } else if (entry.kind == Kind::PublicGroup) {
        const std::shared_ptr<platform::contacts::AddressBook> book = m_book ? m_book() : nullptr;
        const auto record = book ? book->recordForUniqueId(entry.publicGroupId) : std::nullopt;
        info.insert(GroupChangePublicKey, record ? record->memberIds() : QStringList());
        info.insert(GroupChangePublicIdKey, entry.publicGroupId);
    }
    return {GroupChangeNotification, nullptr, info};
}

void ContactGroupMenu::postChoice(const GroupMenuEntry &entry)
{
    platform::core::NotificationCenter::defaultCenter().post(notificationForChoice(entry));
}

void ContactGroupMenu::choose(QAction *item, const GroupMenuEntry &entry)
{
    m_selected = entry;
    m_button->selectItem(item);
    const bool group = entry.isGroup();
    postChoice(entry);
    if (m_window)
        m_window->switcher().setGroupSelected(group);
    if (m_toolbar) {
        if (group)
            m_toolbar->changeAddButtonToEdit();
        else
            m_toolbar->changeAddButtonToAdd();
    }
    emit choiceChanged();
}

void ContactGroupMenu::privateGroupSelected(QAction *item)
{
    if (!item)
        return;
    QDLogInfo(QStringLiteral("AppDelegate: private group selected"));
    choose(item, item->data().value<GroupMenuEntry>());
}

void ContactGroupMenu::publicGroupSelected(QAction *item)
{
    if (!item)
        return;
    QDLogInfo(QStringLiteral("AppDelegate: public group selected"));
    choose(item, item->data().value<GroupMenuEntry>());
}

void ContactGroupMenu::allContactsSelected(QAction *item)
{
    QDLogInfo(QStringLiteral("AppDelegate: all contacts selected"));
    choose(item ? item : m_button->itemAtIndex(0), {Kind::AllContacts, {}, {}});
}

// ---- New groups ----

void ContactGroupMenu::promptForGroupName(bool publicGroup, const QString &startText)
{
    platform::ui::AlertSpec alert;
    alert.messageText = QStringLiteral("Enter name for new group");
    alert.hasAccessoryTextField = true;
    alert.accessoryText = startText;
    alert.accessoryPlaceholder = QStringLiteral("Group name");
    alert.buttonTitles = {publicGroup ? QStringLiteral("Create Group") : QStringLiteral("Create Private Group"),
                          QStringLiteral("Cancel")};
    QPointer<ContactGroupMenu> self(this);
    platform::ui::AlertPresenter::shared().beginSheet(alert, sheetWindow(), [self, publicGroup](const platform::ui::AlertResult &result) {
        if (!self || result.returnCode() != platform::ui::AlertFirstButtonReturn)
            return;
        const QString name = result.accessoryText;
        const auto again = [self, publicGroup](const QString &title, const QString &message) {
            QDAlertDisplayMac::sharedAlert()->showAlertWithTitle(title, message, [self, publicGroup](const platform::ui::AlertResult &) {
                if (self)
                    self->promptForGroupName(publicGroup, QString());
            });
        };
        if (name.trimmed().isEmpty()) {
            again(QStringLiteral("Empty Group Name"), QStringLiteral("Please enter a valid name"));
            return;
        }
        bool taken = false;
        if (publicGroup) {
            const auto book = self->m_book ? self->m_book() : nullptr;
            if (!book)
                return;
            for (const platform::contacts::ContactRecord &group : book->groups())
                taken = taken || group.groupName() == name;
        } else {
            const platform::store::ContextPtr context = self->m_context ? self->m_context() : nullptr;
            for (const PrivateGroups *group : PrivateGroups::loadAllPrivateGroupsWithMOC(context.get()))
                taken = taken || group->groupName() == name;
        }
        if (taken) {
            again(QStringLiteral("Group Name Exists"), QStringLiteral("Please enter a unique name"));
            return;
        }
        if (publicGroup) {
            self->createPublicGroupWithName(name);
            return;
        }
        // The group is made only when the user is done choosing its members.
        self->openMemberPicker({Kind::AllContacts, {}, {}},
                               [self, name](SelectContactsViewControllerMac *, const QList<ManagedObjectID> &members, bool changed) {
                                   if (!self)
                                       return;
                                   if (changed)
                                       self->createPrivateGroupWithName(name, members);
                                   else
                                       self->m_button->selectItem(self->selectedGroupItem() ? self->selectedGroupItem()
                                                                                            : self->m_button->itemAtIndex(0));
                               });
    });
}

void ContactGroupMenu::newPrivateGroupSelected()
{
    logEvent(QStringLiteral("AppDelegate-Activity"), {{QStringLiteral("Action"), QStringLiteral("NewPrivateGroupSelected")}});
    promptForGroupName(false, QString());
}

void ContactGroupMenu::newPublicGroupSelected()
{
    logEvent(QStringLiteral("AppDelegate-Activity"), {{QStringLiteral("Action"), QStringLiteral("NewPublicGroupSelected")}});
    promptForGroupName(true, QString());
}

bool ContactGroupMenu::createPrivateGroupWithName(const QString &name, const QList<ManagedObjectID> &members)
{
    QDLogInfo(QStringLiteral("AppDelegate: createPrivateGroupWithName"));
    const platform::store::ContextPtr context = m_context ? m_context() : nullptr;
    if (!context)
        return false;
    for (const PrivateGroups *group : PrivateGroups::loadAllPrivateGroupsWithMOC(context.get())) {
        if (group->groupName() == name) {
            QDAlertDisplayMac::sharedAlert()->showAlertWithTitle(QStringLiteral("Group Name Exists"),
                                                                 QStringLiteral("Please enter a unique name"), sheetWindow());
            return false;
        }
    }
    QList<Person *> people;
    for (const ManagedObjectID &id : members) {
        if (auto *person = dynamic_cast<Person *>(context->existingObjectWithID(id)); person && !person->isDeleted())
            people << person;
    }
    PrivateGroups *group = PrivateGroups::actuallyCreateNewPrivateContactsGroupWithName(name, people, context.get());
    platform::core::QDError error;
    if (!group || !context->save(&error)) {
        context->rollback();
        QDLogError(QStringLiteral("AppDelegate: the new group could not be saved: %1").arg(error.toString()));
        QDAlertDisplayMac::sharedAlert()->showAlertWithTitle(
            QStringLiteral("Can't create new group"),
            QStringLiteral("Error prevented new group from being created\n%1").arg(error.localizedDescription()), sheetWindow());
        doneEditPrivateGroupsList();
        return false;
    }
    const GroupMenuEntry created{Kind::PrivateGroup, group->objectID(), {}};
    loadContactGroupSelectionMenu();
    privateGroupSelected(findItem(created));
    return true;
}

void ContactGroupMenu::createPublicGroupWithName(const QString &name)
{
    const auto book = m_book ? m_book() : nullptr;
    if (!book)
        return;
    platform::contacts::ContactRecord group = platform::contacts::ContactRecord::newGroup(name);
    book->setRecord(group);
    platform::core::QDError error;
    if (book->hasUnsavedChanges() && !book->save(&error)) {
        book->revert();
        QDAlertDisplayMac::sharedAlert()->showAlertWithTitle(
            QStringLiteral("Can't create new group"),
            QStringLiteral("Error prevented new group from being created\n%1").arg(error.localizedDescription()), sheetWindow());
        return;
    }
    m_createPublicGroupId = group.uniqueId();
    m_recentPublicGroups << group.uniqueId();
    const GroupMenuEntry created{Kind::PublicGroup, {}, group.uniqueId()};
    const GroupMenuEntry previous = m_selected;
    loadContactGroupSelectionMenu();
    reselectMenuItemAfterUpdate(previous);
    m_createPublicGroupId.clear();
    // The group exists from now on; the members come from the picker, over the contacts of its account.
    QPointer<ContactGroupMenu> self(this);
    openMemberPicker(created, [self, created](SelectContactsViewControllerMac *, const QList<ManagedObjectID> &members, bool changed) {
        if (!self)
            return;
        if (changed)
            self->updatePublicGroup(created.publicGroupId, members, {});
        self->publicGroupSelected(self->findItem(created));
    });
}

// ---- Editing ----

void ContactGroupMenu::editContactsGroupButtonPressed()
{
    QDLogInfo(QStringLiteral("AppDelegate: editContactsGroupButtonPressed"));
    logEvent(QStringLiteral("AppDelegate-Activity"), {{QStringLiteral("Action"), QStringLiteral("EditContactsGroupButtonPressed")}});
    const platform::store::ContextPtr context = m_context ? m_context() : nullptr;
    if (!context || !m_selected.isGroup() || !selectedGroupItem()) {
        // The chosen group is gone: nothing left to edit.
        allContactsSelected(nullptr);
        return;
    }
    const GroupMenuEntry entry = m_selected;
    if (entry.kind == Kind::PrivateGroup ? !selectedPrivateGroup() : !publicGroupRecord(entry.publicGroupId)) {
        allContactsSelected(nullptr);
        return;
    }
    QPointer<ContactGroupMenu> self(this);
    openMemberPicker(entry, [self, entry](SelectContactsViewControllerMac *picker, const QList<ManagedObjectID> &members,
                                          bool changed) {
        if (!self || !changed)
            return;
        if (entry.kind == Kind::PrivateGroup) {
            if (PrivateGroups *group = self->selectedPrivateGroup())
                self->editPrivateGroup(group, members);
            return;
        }
        // Those listed and left unchosen leave the group; those the picker did not list keep their place.
        self->editPublicGroup(entry.publicGroupId, members, picker ? picker->contactsListSource()->arrangedObjects()
                                                                   : QList<Person *>());
    });
}

void ContactGroupMenu::applyChoiceToPicker(SelectContactsViewControllerMac *picker) const
{
    if (!picker || !selectedGroupItem())
        return;
    if (m_selected.kind == Kind::PrivateGroup) {
        if (PrivateGroups *group = selectedPrivateGroup())
            picker->setContactsGroupFilter(group);
    } else if (m_selected.kind == Kind::PublicGroup) {
        const auto record = publicGroupRecord(m_selected.publicGroupId);
        picker->setContactsGroupFilter(AddressBookGroupRecord{m_selected.publicGroupId, record ? record->memberIds() : QStringList()});
    }
}

std::optional<platform::contacts::ContactRecord> ContactGroupMenu::publicGroupRecord(const QString &uniqueId) const
{
    const auto book = m_book ? m_book() : nullptr;
    std::optional<platform::contacts::ContactRecord> record = book ? book->recordForUniqueId(uniqueId) : std::nullopt;
    return record && record->isGroup() ? record : std::nullopt;
}

void ContactGroupMenu::openMemberPicker(const GroupMenuEntry &group, MemberPickerFinished finished)
{
    const platform::store::ContextPtr context = m_context ? m_context() : nullptr;
    if (!context)
        return;
    auto *picker = new SelectContactsViewControllerMac(context, SelectContactsViewControllerMac::MultipleChoice);
    picker->setShowDoneToolbar(true);
    if (group.kind == Kind::PrivateGroup) {
        auto *record = dynamic_cast<PrivateGroups *>(context->existingObjectWithID(group.privateGroup));
        picker->setEditPrivateGroup(record && !record->isDeleted() ? record : nullptr);
    } else if (group.kind == Kind::PublicGroup) {
        if (const auto record = publicGroupRecord(group.publicGroupId))
            picker->setEditPublicGroup(m_book ? m_book() : nullptr, *record);
    }
    // Reports once: from Done or Cancel, or, when the sheet is ended otherwise (Escape), as a cancel.
    struct Reporter : QObject, SelectContactPopoverDelegate
    {
        MemberPickerFinished finished;
        bool reported = false;
        void finishedSelectPopoverController(SelectContactsViewControllerMac *picker, const QList<ManagedObjectID> &ids,
                                             bool changesMade) override
        {
            if (reported)
                return;
            reported = true;
            if (finished)
                finished(picker, ids, changesMade);
        }
    };
    auto *reporter = new Reporter;
    reporter->setParent(picker);
    reporter->finished = std::move(finished);
    picker->setDelegate(reporter);

    auto *controller = new AddContactWindowController(AddContactWindowController::WindowNibName);
    controller->setContentViewController(picker);
    QPointer<SelectContactsViewControllerMac> guard(picker);
    QPointer<Reporter> reporterGuard(reporter);
    controller->beginSheetOnWindow(sheetWindow(), [controller, guard, reporterGuard](int) {
        controller->deleteLater();
        // Done and Cancel report after the sheet has ended; anything else ended it without a word.
        QTimer::singleShot(0, controller, [guard, reporterGuard] {
            if (reporterGuard && !reporterGuard->reported)
                reporterGuard->finishedSelectPopoverController(guard, guard ? guard->selectedIdentifiers() : QList<ManagedObjectID>(), false);
        });
    });
}

void ContactGroupMenu::editPublicGroup(const QString &groupId, const QList<ManagedObjectID> &members,
                                       const QList<Person *> &listed)
{
    updatePublicGroup(groupId, members, listed);
    publicGroupSelected(selectedGroupItem());
}

bool ContactGroupMenu::updatePublicGroup(const QString &groupId, const QList<ManagedObjectID> &members,
                                         const QList<Person *> &listed)
{
    const platform::store::ContextPtr context = m_context ? m_context() : nullptr;
    const auto book = m_book ? m_book() : nullptr;
    std::optional<platform::contacts::ContactRecord> group = publicGroupRecord(groupId);
    if (!group || !context || !book)
        return false;
    for (Person *person : listed) {
        const QString uid = person ? person->macUniqueIdentifier() : QString();
        if (!uid.isEmpty() && !members.contains(person->objectID()) && group->memberIds().contains(uid))
            group->removeMember(uid);
    }
    for (const ManagedObjectID &id : members) {
        auto *person = dynamic_cast<Person *>(context->existingObjectWithID(id));
        const QString uid = person && !person->isDeleted() ? person->macUniqueIdentifier() : QString();
        if (!uid.isEmpty() && book->recordForUniqueId(uid) && !group->memberIds().contains(uid))
            group->addMember(uid);
    }
    book->setRecord(*group);
    platform::core::QDError error;
    if (book->hasUnsavedChanges() && !book->save(&error)) {
        book->revert();
        QDAlertDisplayMac::sharedAlert()->showAlertWithTitle(
            QStringLiteral("Error"), QStringLiteral("The group's members could not be saved\n%1").arg(error.localizedDescription()),
            sheetWindow());
        return false;
    }
    return true;
}

bool ContactGroupMenu::editPrivateGroup(PrivateGroups *group, const QList<ManagedObjectID> &members)
{
    QDLogInfo(QStringLiteral("AppDelegate: editPrivateGroup"));
    logEvent(QStringLiteral("AppDelegate-Activity"), {{QStringLiteral("Action"), QStringLiteral("EditPrivateGroupButtonPressed")}});
    platform::store::ManagedObjectContext *context = group ? group->managedObjectContext() : nullptr;
    if (!context)
        return false;
    QList<Person *> people;
    for (const ManagedObjectID &id : members) {
        if (auto *person = dynamic_cast<Person *>(context->existingObjectWithID(id)); person && !person->isDeleted())
            people << person;
    }
    const QList<Person *> current = group->members();
    for (Person *member : current) {
        if (!people.contains(member))
            group->removeMembersObject(member);
    }
    for (Person *person : people) {
        if (!current.contains(person))
            group->addMembersObject(person);
    }
    platform::core::QDError error;
    if (!context->save(&error)) {
        context->rollback();
        QDAlertDisplayMac::sharedAlert()->showAlertWithTitle(
            QStringLiteral("Error"), QStringLiteral("The group's members could not be saved\n%1").arg(error.localizedDescription()),
            sheetWindow());
        doneEditPrivateGroupsList();
        return false;
    }
    privateGroupSelected(selectedGroupItem());
    return true;
}

void ContactGroupMenu::editPrivateGroupsSelected()
{
    const platform::store::ContextPtr context = m_context ? m_context() : nullptr;
    if (!context || !m_window)
        return;
    QPointer<ContactGroupMenu> self(this);
    PrivateGroupsListEditor::open(context, sheetWindow(), [self] {
        if (self)
            self->doneEditPrivateGroupsList();
    });
}

void ContactGroupMenu::doneEditPrivateGroupsList()
{
    const GroupMenuEntry previous = m_selected;
    loadContactGroupSelectionMenu();
    reselectMenuItemAfterUpdate(previous);
}

// ---- Keeping in step ----

void ContactGroupMenu::reselectMenuItemAfterUpdate(const GroupMenuEntry &previous)
{
    if (!previous.isGroup()) {
        m_button->selectItem(m_button->itemAtIndex(0));
        return;
    }
    bool exists = false;
    if (previous.kind == Kind::PrivateGroup) {
        m_selected = previous;
        exists = selectedPrivateGroup() != nullptr;
    } else {
        const auto book = m_book ? m_book() : nullptr;
        exists = book && book->recordForUniqueId(previous.publicGroupId);
    }
    QAction *item = exists ? findItem(previous) : nullptr;
    if (!item) {
        // The chosen group is gone: every section goes back to all contacts, and Edit back to Add.
        allContactsSelected(nullptr);
        return;
    }
    m_selected = previous;
    m_button->selectItem(item);
}

void ContactGroupMenu::externalPublicGroupUpdateNotification(const platform::core::Notification &notification)
{
    const GroupMenuEntry previous = m_selected;
    const QVariantMap &info = notification.userInfo;
    if (!info.isEmpty()) {
        const QString key = info.firstKey();
        const QString uid = info.first().toString();
        const bool current = previous.kind == Kind::PublicGroup && previous.publicGroupId == uid;
        if (key == ExternalGroupUpdatedKey && current)
            postChoice(previous); // the members may have changed: the sections filter again
    }
    loadContactGroupSelectionMenu();
    reselectMenuItemAfterUpdate(previous);
}

void ContactGroupMenu::privateGroupUpdateCloudNotification(const platform::core::Notification &notification)
{
    const GroupMenuEntry previous = m_selected;
    const auto *object = static_cast<const platform::store::ManagedObject *>(notification.object);
    const QString kind = notification.userInfo.value(QStringLiteral("Key")).toString();
    if (object && previous.kind == Kind::PrivateGroup && object->objectID() == previous.privateGroup
        && kind == QLatin1String("updated"))
        postChoice(previous);
    loadContactGroupSelectionMenu();
    reselectMenuItemAfterUpdate(previous);
}

void ContactGroupMenu::addressBookChangedExternally(const QStringList &inserted, const QStringList &updated,
                                                   const QStringList &deleted)
{
    const auto book = m_book ? m_book() : nullptr;
    if (!book)
        return;
    auto &center = platform::core::NotificationCenter::defaultCenter();
    const QString name = QStringLiteral("ExternalGroupChangeNotification");
    const auto isGroup = [&](const QString &uid) {
        const auto record = book->recordForUniqueId(uid);
        return record && record->isGroup();
    };
    // Each announcement rebuilds the menu, and with it the list of known groups.
    const QSet<QString> known = m_knownGroupIds;
    for (const QString &uid : deleted) {
        if (known.contains(uid))
            center.post(name, nullptr, {{ExternalGroupRemovedKey, uid}});
    }
    for (const QString &uid : inserted) {
        if (isGroup(uid))
            center.post(name, nullptr, {{ExternalGroupAddedKey, uid}});
    }
    for (const QString &uid : updated) {
        if (isGroup(uid))
            center.post(name, nullptr, {{ExternalGroupUpdatedKey, uid}});
    }
}
