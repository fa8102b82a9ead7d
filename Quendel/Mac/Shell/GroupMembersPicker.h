#pragma once

#include "platform/store/ManagedObjectContext.h"
#include "platform/store/ManagedObjectID.h"

#include <QList>
#include <QString>
#include <QWidget>

#include <functional>

class Person;
class QTreeWidget;

// The sheet that picks the members of a contact group: every contact with a check box (the current
// members ticked), "Done" and "Cancel". The completion gets whether the ticks changed and the ticked
// contacts, in list order.
class GroupMembersPicker : public QWidget
{
    Q_OBJECT
public:
    using Completion = std::function<void(bool changed, const QList<platform::store::ManagedObjectID> &members)>;

    // `linkedOnly`: only the contacts linked to an address-book record are offered (an address-book
    // group can hold nothing else).
    static GroupMembersPicker *open(const platform::store::ContextPtr &context, QWidget *window, const QString &title,
                                    const QList<platform::store::ManagedObjectID> &current, Completion completion,
                                    bool linkedOnly = false);
    // The contacts of the context by display name.
    static QList<Person *> peopleOf(const platform::store::ContextPtr &context);

    QTreeWidget *list() const { return m_list; }

private:
    GroupMembersPicker(const platform::store::ContextPtr &context, const QString &title,
                       const QList<platform::store::ManagedObjectID> &current, bool linkedOnly);
    QList<platform::store::ManagedObjectID> checked() const;

    QTreeWidget *m_list = nullptr;
    QList<platform::store::ManagedObjectID> m_ids;
    QList<platform::store::ManagedObjectID> m_initial;
};
