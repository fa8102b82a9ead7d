#pragma once

#include <QDateTime>
#include <QList>
#include <QString>

#include <memory>

namespace platform::store {
class ManagedObject;
}

class TitlesSidebarItem;
using TitlesSidebarItemPtr = std::shared_ptr<TitlesSidebarItem>;

// One entry of the titles sidebar: a group header (DATE or TITLES), a date range, or a title record.
class TitlesSidebarItem
{
public:
    QString title;
    QString tooltipString;
    QString imageIcon; // a theme icon name
    bool isGroup = false;
    QList<TitlesSidebarItemPtr> children;
    QDateTime startDate; // both null for "All"
    QDateTime endDate;
    platform::store::ManagedObject *managedObject = nullptr;

    // For a log title, the number of logs that carry it; for a to-do title, its open to-dos; 0 otherwise.
    qint64 numberOfItems() const;

    static TitlesSidebarItemPtr dateHeaderItem(const QString &title, const QList<TitlesSidebarItemPtr> &children);
    static TitlesSidebarItemPtr dateItemWithSidebarTitle(const QString &title, const QString &icon,
                                                         const QDateTime &start, const QDateTime &end,
                                                         const QString &tooltip);
    static TitlesSidebarItemPtr itemWithSidebarTitle(const QString &title);
};
