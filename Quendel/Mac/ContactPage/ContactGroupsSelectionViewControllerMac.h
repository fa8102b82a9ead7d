#pragma once

#include "Mac/ContactPage/CommonListViewMac.h"

#include "platform/contacts/AddressBook.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <memory>

class PrivateGroups;
class QCheckBox;
class QListWidget;

// Who hears that the popover changed the contact's membership of a group (and saved it).
class GroupSelectionChangesDelegate
{
public:
    virtual ~GroupSelectionChangesDelegate() = default;
    // `isPrivate`: a private group changed (true) or an address-book group (false).
    virtual void changedGroupSelectionWithIsPrivate(bool isPrivate) = 0;
};

// The group membership popover of the Info tab: every group of one kind with a check box, ticked for the
// groups the contact is in. Ticking or clearing a box changes the membership at once and saves it. The
// private kind lists the store's private groups by display order; the address-book kind lists, by name,
// the groups of the account that holds the contact's own card.
class ContactGroupsSelectionViewControllerMac : public CommonListViewMac
{
    Q_OBJECT
public:
    static inline const QString NibName = QStringLiteral("ContactGroupsSelectionViewControllerMac");
    static inline const QString NoPrivateGroupsText = QStringLiteral("No private groups yet");
    static inline const QString NoPublicGroupsText = QStringLiteral("No groups in this contact's address book");
    static constexpr int RowHeight = 30;

    ContactGroupsSelectionViewControllerMac(Person *person, bool isLoadingPrivateGroups, QWidget *parent = nullptr);
    ~ContactGroupsSelectionViewControllerMac() override;

    bool isPrivateGroupsLoaded() const { return m_isPrivateGroupsLoaded; }
    GroupSelectionChangesDelegate *delegate() const { return m_delegate; }
    void setDelegate(GroupSelectionChangesDelegate *delegate) { m_delegate = delegate; }
    // A contact still being added: private memberships stay in its page's context, saved with the contact.
    void setDefersSave(bool defers) { m_defersSave = defers; }

    // The listed groups, in display order: their count, and their titles.
    int groupCount() const;
    QStringList groupTitles() const;
    // Whether the contact is in the group of a row.
    bool isGroupSelected(int row) const;
    QListWidget *sourceTableView() const { return m_table; }
    QCheckBox *checkBoxAtRow(int row) const;

    void awakeFromNib() override;
    // A row's check box was clicked; `on` is its state after the click.
    void checkBoxSelected(int row, bool on);

private:
    void loadPrivateGroups();
    void loadAddressBookGroups();
    void makeRows();
    bool changePrivateGroup(int row, bool on);
    bool changeAddressBookGroup(int row, bool on);
    void failedChange(int row, bool on, const QString &detail);

    bool m_isPrivateGroupsLoaded = true;
    bool m_defersSave = false;
    GroupSelectionChangesDelegate *m_delegate = nullptr;
    QListWidget *m_table = nullptr;
    // Private kind: the groups and the ones holding the contact.
    QList<PrivateGroups *> m_privateGroups;
    QList<PrivateGroups *> m_selectedPrivateGroups;
    // Address-book kind: the groups and the unique identifiers of the ones holding the contact's card.
    QList<platform::contacts::ContactRecord> m_bookGroups;
    QStringList m_selectedGroupIds;
    std::shared_ptr<platform::contacts::AddressBook> m_book;
    QString m_recordId;
};
