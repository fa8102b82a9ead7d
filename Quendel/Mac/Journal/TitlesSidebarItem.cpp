#include "Mac/Journal/TitlesSidebarItem.h"

#include "QuendelKit/Entities/LogTitle.h"
#include "QuendelKit/Entities/ToDoTitle.h"

qint64 TitlesSidebarItem::numberOfItems() const
{
    if (auto *logTitle = dynamic_cast<LogTitle *>(managedObject))
        return logTitle->log().size();
    if (auto *todoTitle = dynamic_cast<ToDoTitle *>(managedObject))
        return todoTitle->incompleteCountString().toLongLong();
    return 0;
}

TitlesSidebarItemPtr TitlesSidebarItem::dateHeaderItem(const QString &title, const QList<TitlesSidebarItemPtr> &children)
{
    auto item = std::make_shared<TitlesSidebarItem>();
    item->title = title;
    item->isGroup = true;
    item->children = children;
    return item;
}

TitlesSidebarItemPtr TitlesSidebarItem::dateItemWithSidebarTitle(const QString &title, const QString &icon,
                                                                 const QDateTime &start, const QDateTime &end,
                                                                 const QString &tooltip)
{
    auto item = itemWithSidebarTitle(title);
    item->imageIcon = icon;
    item->startDate = start;
    item->endDate = end;
    item->tooltipString = tooltip;
    return item;
}

TitlesSidebarItemPtr TitlesSidebarItem::itemWithSidebarTitle(const QString &title)
{
    auto item = std::make_shared<TitlesSidebarItem>();
    item->title = title;
    return item;
}
