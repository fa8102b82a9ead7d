#include "DefaultTitles.h"

#include "QuendelKit/Entities/LogTitle.h"
#include "QuendelKit/Entities/ToDoTitle.h"
#include "QuendelKit/Infra/QDLog.h"

using platform::core::QDError;
using platform::store::ContextPtr;

namespace DefaultTitles {

QStringList defaultLogTitles()
{
    return {QStringLiteral("Meeting"), QStringLiteral("Phone"), QStringLiteral("Email"), QStringLiteral("Message"),
            QStringLiteral("Coffee"),  QStringLiteral("Lunch"), QStringLiteral("Dinner")};
}

QStringList defaultToDoTitles()
{
    return {QStringLiteral("Birthday"), QStringLiteral("Anniversary"), QStringLiteral("Meeting"),
            QStringLiteral("Phone"),    QStringLiteral("Email"),       QStringLiteral("Coffee"),
            QStringLiteral("Lunch"),    QStringLiteral("Message")};
}

namespace {

template <typename Title> bool seed(const ContextPtr &context, const QStringList &titles, const QString &populatedLine)
{
    if (!context)
        return false;
    bool ok = true;
    context->performAndWait([&] {
        QDError error;
        const qint64 existing = context->countForFetchRequest(Title::fetchRequest(), &error);
        if (existing < 0) {
            // Seeding blind could duplicate titles the user already has; leave the list for the next launch.
            QDLogError(QStringLiteral("🚨🚨 Default %1 titles not added: the existing ones cannot be counted: %2 🚨🚨")
                           .arg(Title::EntityName, error.toString()));
            ok = false;
            return;
        }
        if (existing > 0) {
            QDSystemLog(populatedLine);
            return;
        }
        qint64 order = 0;
        for (const QString &text : titles) {
            Title *title = context->template insertNewObject<Title>(Title::EntityName);
            if (!title) {
                ok = false;
                return;
            }
            title->setTitle(text);
            title->setDisplayOrder(order++);
        }
    });
    return ok;
}

} // namespace

bool createLogTitlesForNewDatabaseWithContext(const ContextPtr &context)
{
    return seed<LogTitle>(context, defaultLogTitles(), QStringLiteral("LogTitles already populated"));
}

bool createToDoTitlesForNewDatabaseWithContext(const ContextPtr &context)
{
    return seed<ToDoTitle>(context, defaultToDoTitles(), QStringLiteral("TodoTitles already populated"));
}

} // namespace DefaultTitles
