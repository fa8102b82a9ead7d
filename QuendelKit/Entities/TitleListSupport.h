#pragma once

#include "QuendelKit/Infra/QDLog.h"

#include "platform/store/ManagedObjectContext.h"
#include "platform/store/SortDescriptor.h"

#include <QList>
#include <QStringList>

// What the two title lists (log titles and to-do titles) do alike. Each runs on the caller's thread, which
// must be the context's queue.
namespace title_list_support {

template <typename Title> QList<Title *> loadAll(platform::store::ManagedObjectContext &context)
{
    platform::store::FetchRequest request = Title::fetchRequest();
    request.setSortDescriptors({platform::store::SortDescriptor(QStringLiteral("displayOrder"), true)});
    platform::core::QDError error;
    QList<Title *> titles;
    for (platform::store::ManagedObject *object : context.executeFetchRequest(request, &error)) {
        if (auto *title = dynamic_cast<Title *>(object))
            titles.append(title);
    }
    return error.isNull() ? titles : QList<Title *>();
}

template <typename Title>
Title *create(platform::store::ManagedObjectContext &context, const QString &text, qint64 displayOrder)
{
    Title *title = context.template insertNewObject<Title>(Title::EntityName);
    if (title) {
        title->setTitle(text);
        title->setDisplayOrder(displayOrder);
    }
    return title;
}

template <typename Title>
bool seedDefaults(platform::store::ManagedObjectContext &context, const QString &populatedLine)
{
    platform::core::QDError error;
    const qint64 existing = context.countForFetchRequest(Title::fetchRequest(), &error);
    if (existing < 0) {
        // Seeding blind could duplicate titles the user already has; leave the list for a later attempt.
        QDLogError(QStringLiteral("🚨🚨 Default %1 titles not added: the existing ones cannot be counted: %2 🚨🚨")
                       .arg(Title::EntityName, error.toString()));
        return false;
    }
    if (existing > 0) {
        QDSystemLog(populatedLine);
        return true;
    }
    qint64 order = 0;
    for (const QString &text : Title::defaultTitles()) {
        if (!create<Title>(context, text, order++))
            return false;
    }
    return true;
}

} // namespace title_list_support
