#include "Mac/Shell/GroupMembersPicker.h"

#include "Mac/Contacts/AddContactWindowController.h"

#include "QuendelKit/Entities/Person.h"

#include <QCollator>
#include <QDialogButtonBox>
#include <QLabel>
#include <QPointer>
#include <QHeaderView>
#include <QTreeWidget>
#include <QPushButton>
#include <QShortcut>
#include <QVBoxLayout>

#include <algorithm>

using platform::store::ManagedObjectID;

QList<Person *> GroupMembersPicker::peopleOf(const platform::store::ContextPtr &context)
{
    QList<Person *> people = context ? Person::getAllPersonsWithContext(context.get()) : QList<Person *>();
    people.erase(std::remove_if(people.begin(), people.end(), [](Person *p) { return !p || p->isDeleted(); }), people.end());
    QCollator collator;
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    std::stable_sort(people.begin(), people.end(),
                     [&](Person *a, Person *b) { return collator.compare(a->displayName(), b->displayName()) < 0; });
    return people;
}

GroupMembersPicker::GroupMembersPicker(const platform::store::ContextPtr &context, const QString &title,
                                       const QList<ManagedObjectID> &current, bool linkedOnly)
    : m_initial(current)
{
    auto *layout = new QVBoxLayout(this);
    auto *heading = new QLabel(title, this);
    heading->setTextFormat(Qt::PlainText);
    layout->addWidget(heading);
    m_list = new QTreeWidget(this);
    m_list->setAccessibleName(QStringLiteral("Group Members"));
    m_list->setHeaderHidden(true);
    m_list->setRootIsDecorated(false);
    m_list->setColumnCount(1);
    m_list->setMinimumSize(320, 300);
    for (Person *person : peopleOf(context)) {
        if (linkedOnly && person->macUniqueIdentifier().isEmpty())
            continue;
        auto *row = new QTreeWidgetItem(m_list, {person->displayName()});
        // The whole row is the switch: a click anywhere on it, or the space bar, ticks or clears it.
        row->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
        row->setCheckState(0, current.contains(person->objectID()) ? Qt::Checked : Qt::Unchecked);
        m_ids << person->objectID();
    }
    const auto toggle = [](QTreeWidgetItem *row) {
        if (row)
            row->setCheckState(0, row->checkState(0) == Qt::Checked ? Qt::Unchecked : Qt::Checked);
    };
    connect(m_list, &QTreeWidget::itemClicked, this, toggle);
    auto *space = new QShortcut(QKeySequence(Qt::Key_Space), m_list, nullptr, nullptr, Qt::WidgetShortcut);
    connect(space, &QShortcut::activated, this, [this, toggle] { toggle(m_list->currentItem()); });
    layout->addWidget(m_list);
    if (m_ids.isEmpty()) {
        auto *none = new QLabel(linkedOnly ? QStringLiteral("No contacts linked to the address book")
                                           : QStringLiteral("No contacts"), this);
        layout->addWidget(none);
    }
}

QList<ManagedObjectID> GroupMembersPicker::checked() const
{
    QList<ManagedObjectID> ids;
    for (int i = 0; i < m_list->topLevelItemCount(); ++i) {
        if (m_list->topLevelItem(i)->checkState(0) == Qt::Checked)
            ids << m_ids.value(i);
    }
    return ids;
}

GroupMembersPicker *GroupMembersPicker::open(const platform::store::ContextPtr &context, QWidget *window,
                                             const QString &title, const QList<ManagedObjectID> &current,
                                             Completion completion, bool linkedOnly)
{
    auto *picker = new GroupMembersPicker(context, title, current, linkedOnly);
    auto *buttons = new QDialogButtonBox(picker);
    QPushButton *done = buttons->addButton(QStringLiteral("Done"), QDialogButtonBox::AcceptRole);
    done->setAccessibleName(QStringLiteral("Done"));
    done->setDefault(true);
    QPushButton *cancel = buttons->addButton(QStringLiteral("Cancel"), QDialogButtonBox::RejectRole);
    cancel->setAccessibleName(QStringLiteral("Cancel"));
    picker->layout()->addWidget(buttons);

    auto *controller = new AddContactWindowController(AddContactWindowController::WindowNibName);
    controller->setContentViewController(picker);
    platform::ui::Sheet *sheet = controller->window();
    QObject::connect(done, &QPushButton::clicked, sheet, [sheet] { sheet->endSheet(platform::ui::ModalResponseOK); });
    QObject::connect(cancel, &QPushButton::clicked, sheet, [sheet] { sheet->endSheet(platform::ui::ModalResponseCancel); });
    QPointer<GroupMembersPicker> guard(picker);
    controller->beginSheetOnWindow(window, [guard, controller, completion](int code) {
        controller->deleteLater();
        if (!completion)
            return;
        if (!guard || code != platform::ui::ModalResponseOK) {
            completion(false, {});
            return;
        }
        const QList<ManagedObjectID> members = guard->checked();
        QList<ManagedObjectID> before = guard->m_initial;
        bool changed = members.size() != before.size();
        for (const ManagedObjectID &id : members)
            changed = changed || !before.contains(id);
        completion(changed, members);
    });
    return picker;
}
