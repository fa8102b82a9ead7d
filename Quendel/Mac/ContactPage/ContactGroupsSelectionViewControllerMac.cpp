#include "Mac/ContactPage/ContactGroupsSelectionViewControllerMac.h"

#include "Classes/QDAlertDisplayMac.h"
#include "Mac/Shell/PlainTextLabel.h"

#include "QuendelKit/AddressBook/VCardAddressBookBridge.h"
#include "QuendelKit/Entities/Person.h"
#include "QuendelKit/Entities/PrivateGroups.h"
#include "QuendelKit/Infra/QDLog.h"

#include "platform/store/ManagedObjectContext.h"

#include <QCheckBox>
#include <QCollator>
#include <QHBoxLayout>
#include <QListWidget>
#include <QVBoxLayout>

#include <algorithm>

using platform::contacts::ContactRecord;

ContactGroupsSelectionViewControllerMac::ContactGroupsSelectionViewControllerMac(Person *person,
                                                                                 bool isLoadingPrivateGroups,
                                                                                 QWidget *parent)
    : CommonListViewMac(NibName, person, parent), m_isPrivateGroupsLoaded(isLoadingPrivateGroups)
{
    setAccessibleName(isLoadingPrivateGroups ? QStringLiteral("Private Groups") : QStringLiteral("Public Groups"));
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(4, 4, 4, 4);
    m_table = new QListWidget(this);
    m_table->setObjectName(QStringLiteral("sourceTableView"));
    m_table->setAccessibleName(accessibleName());
    // Rows are never selected: only their check boxes react.
    m_table->setSelectionMode(QAbstractItemView::NoSelection);
    m_table->setFocusPolicy(Qt::NoFocus);
    layout->addWidget(m_table);
    setScrollView(m_table);
    m_loadedArrayController = true;
    if (isLoadingPrivateGroups)
        loadPrivateGroups();
    else
        loadAddressBookGroups();
    makeRows();
}

ContactGroupsSelectionViewControllerMac::~ContactGroupsSelectionViewControllerMac() = default;

void ContactGroupsSelectionViewControllerMac::loadPrivateGroups()
{
    Person *person = detailPerson();
    platform::store::ManagedObjectContext *context = person ? person->managedObjectContext() : nullptr;
    if (!context)
        return;
    context->performAndWait([&] {
        m_privateGroups = PrivateGroups::loadAllPrivateGroupsWithMOC(context);
        m_selectedPrivateGroups = person->privategroup();
    });
}

void ContactGroupsSelectionViewControllerMac::loadAddressBookGroups()
{
    Person *person = detailPerson();
    const auto bridge = VCardAddressBookBridge::installed();
    m_book = bridge ? bridge->addressBook() : nullptr;
    if (!person || !m_book)
        return;
    if (platform::store::ManagedObjectContext *context = person->managedObjectContext())
        context->performAndWait([&] { m_recordId = person->macUniqueIdentifier(); });
    if (m_recordId.isEmpty() || !m_book->recordForUniqueId(m_recordId))
        return;
    // The groups of the account that holds the contact's card.
    const QString account = m_book->accountPathForRecord(m_recordId);
    for (const ContactRecord &group : m_book->groups()) {
        const QString groupAccount = m_book->accountPathForRecord(group.uniqueId());
        if (!groupAccount.isEmpty() && groupAccount == account)
            m_bookGroups << group;
    }
    QCollator collator;
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    std::stable_sort(m_bookGroups.begin(), m_bookGroups.end(), [&](const ContactRecord &a, const ContactRecord &b) {
        return collator.compare(a.groupName(), b.groupName()) < 0;
    });
    for (const ContactRecord &group : m_book->parentGroups(m_recordId))
        m_selectedGroupIds << group.uniqueId();
}

int ContactGroupsSelectionViewControllerMac::groupCount() const
{
    return int(m_isPrivateGroupsLoaded ? m_privateGroups.size() : m_bookGroups.size());
}

QStringList ContactGroupsSelectionViewControllerMac::groupTitles() const
{
    QStringList titles;
    if (m_isPrivateGroupsLoaded) {
        for (PrivateGroups *group : m_privateGroups) {
            QString name;
            if (auto *context = group->managedObjectContext())
                context->performAndWait([&] { name = group->groupName(); });
            titles << name;
        }
    } else {
        for (const ContactRecord &group : m_bookGroups)
            titles << group.groupName();
    }
    return titles;
}

bool ContactGroupsSelectionViewControllerMac::isGroupSelected(int row) const
{
    if (row < 0 || row >= groupCount())
        return false;
    return m_isPrivateGroupsLoaded ? m_selectedPrivateGroups.contains(m_privateGroups.at(row))
                                   : m_selectedGroupIds.contains(m_bookGroups.at(row).uniqueId());
}

QCheckBox *ContactGroupsSelectionViewControllerMac::checkBoxAtRow(int row) const
{
    QListWidgetItem *item = m_table->item(row);
    QWidget *cell = item ? m_table->itemWidget(item) : nullptr;
    return cell ? cell->findChild<QCheckBox *>() : nullptr;
}

void ContactGroupsSelectionViewControllerMac::makeRows()
{
    const QStringList titles = groupTitles();
    for (int row = 0; row < titles.size(); ++row) {
        auto *item = new QListWidgetItem(m_table);
        item->setFlags(Qt::ItemIsEnabled);
        item->setSizeHint(QSize(0, RowHeight));
        // A group's name is shown as it is written: a check box title takes no markup and no mnemonic.
        QString title = titles.at(row);
        // The cell holds the box at its own width: a click beside the name does nothing.
        auto *cell = new QWidget(m_table);
        cell->setObjectName(QStringLiteral("GroupCell"));
        auto *cellLayout = new QHBoxLayout(cell);
        cellLayout->setContentsMargins(6, 0, 6, 0);
        auto *box = new QCheckBox(title.replace(QLatin1Char('&'), QStringLiteral("&&")), cell);
        cellLayout->addWidget(box);
        cellLayout->addStretch(1);
        box->setObjectName(QStringLiteral("groupCheckBox"));
        box->setProperty("tag", 1);
        box->setAccessibleName(titles.at(row));
        box->setChecked(isGroupSelected(row));
        connect(box, &QCheckBox::clicked, this, [this, box](bool on) {
            for (int i = 0; i < m_table->count(); ++i) {
                if (checkBoxAtRow(i) == box) {
                    checkBoxSelected(i, on);
                    return;
                }
            }
        });
        m_table->setItemWidget(item, cell);
    }
}

void ContactGroupsSelectionViewControllerMac::awakeFromNib()
{
    CommonListViewMac::awakeFromNib();
    if (groupCount() > 0 || fillerText())
        return;
    auto *filler = new PlainTextLabel(m_isPrivateGroupsLoaded ? NoPrivateGroupsText : NoPublicGroupsText);
    filler->setObjectName(QStringLiteral("fillerText"));
    filler->setAlignment(Qt::AlignCenter);
    filler->setWordWrap(true);
    addTextFieldForFillerText(filler, m_table);
    setShowingFillerText(true);
}

void ContactGroupsSelectionViewControllerMac::checkBoxSelected(int row, bool on)
{
    if (row < 0 || row >= groupCount())
        return;
    const bool saved = m_isPrivateGroupsLoaded ? changePrivateGroup(row, on) : changeAddressBookGroup(row, on);
    if (saved && m_delegate)
        m_delegate->changedGroupSelectionWithIsPrivate(m_isPrivateGroupsLoaded);
}

bool ContactGroupsSelectionViewControllerMac::changePrivateGroup(int row, bool on)
{
    PrivateGroups *group = m_privateGroups.at(row);
    Person *person = detailPerson();
    platform::store::ManagedObjectContext *context = group ? group->managedObjectContext() : nullptr;
    if (!context || !person)
        return false;
    bool saved = false;
    platform::core::QDError error;
    context->performAndWait([&] {
        if (on) {
            group->addMembersObject(person);
            if (!m_selectedPrivateGroups.contains(group))
                m_selectedPrivateGroups << group;
        } else {
            group->removeMembersObject(person);
            m_selectedPrivateGroups.removeAll(group);
        }
        saved = m_defersSave || context->save(&error);
        if (!saved)
            context->rollback();
    });
    if (!saved) {
        // Nothing was kept: the box and the list go back to what the store holds.
        context->performAndWait([&] { m_selectedPrivateGroups = person->privategroup(); });
        failedChange(row, on, error.localizedDescription());
    }
    return saved;
}

bool ContactGroupsSelectionViewControllerMac::changeAddressBookGroup(int row, bool on)
{
    const QString groupId = m_bookGroups.at(row).uniqueId();
    std::optional<ContactRecord> group = m_book ? m_book->recordForUniqueId(groupId) : std::nullopt;
    if (!group || m_recordId.isEmpty() || !m_book->recordForUniqueId(m_recordId)) {
        failedChange(row, on, QStringLiteral("The group or the contact's card is no longer in the address book."));
        return false;
    }
    if (on)
        group->addMember(m_recordId);
    else
        group->removeMember(m_recordId);
    m_book->setRecord(*group);
    platform::core::QDError error;
    if (m_book->hasUnsavedChanges() && !m_book->save(&error)) {
        m_book->revert();
        failedChange(row, on, error.localizedDescription());
        return false;
    }
    m_bookGroups[row] = *group;
    if (on && !m_selectedGroupIds.contains(groupId))
        m_selectedGroupIds << groupId;
    else if (!on)
        m_selectedGroupIds.removeAll(groupId);
    return true;
}

void ContactGroupsSelectionViewControllerMac::failedChange(int row, bool on, const QString &detail)
{
    QDLogError(QStringLiteral("ContactGroupsSelection: the membership change could not be saved: %1").arg(detail));
    if (QCheckBox *box = checkBoxAtRow(row))
        box->setChecked(isGroupSelected(row));
    QDAlertDisplayMac::sharedAlert()->showAlertWithTitle(
        QStringLiteral("Group Not Changed"),
        QStringLiteral("The contact could not be %1 the group\n%2").arg(on ? QStringLiteral("added to") : QStringLiteral("removed from"), detail),
        window());
}
