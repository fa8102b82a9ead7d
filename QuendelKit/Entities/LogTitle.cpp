#include "QuendelKit/Entities/LogTitle.h"

#include "QuendelKit/Entities/EntityValues.h"
#include "QuendelKit/Entities/Log.h"
#include "QuendelKit/Entities/TitleListSupport.h"

using namespace entity_values;

platform::store::FetchRequest LogTitle::fetchRequest()
{
    return platform::store::FetchRequest(EntityName);
}

QString LogTitle::title() const
{
    return string(*this, QStringLiteral("title"));
}
void LogTitle::setTitle(const QString &value)
{
    setValue(QStringLiteral("title"), fromString(value));
}
QString LogTitle::normalizedTitle() const
{
    return string(*this, QStringLiteral("normalizedTitle"));
}
void LogTitle::setNormalizedTitle(const QString &value)
{
    setValue(QStringLiteral("normalizedTitle"), fromString(value));
}
qint64 LogTitle::displayOrder() const
{
    return integer(*this, QStringLiteral("displayOrder"));
}
void LogTitle::setDisplayOrder(qint64 value)
{
    setValue(QStringLiteral("displayOrder"), QVariant(value));
}

QList<Log *> LogTitle::log() const
{
    return toMany<Log>(*this, QStringLiteral("log"));
}
void LogTitle::setLog(const QList<Log *> &objects)
{
    setRelatedObjects(QStringLiteral("log"), objectList(objects));
}
void LogTitle::addLogObject(Log *object)
{
    addRelatedObject(QStringLiteral("log"), object);
}
void LogTitle::removeLogObject(Log *object)
{
    removeRelatedObject(QStringLiteral("log"), object);
}

QStringList LogTitle::defaultTitles()
{
    return {QStringLiteral("Meeting"), QStringLiteral("Phone"), QStringLiteral("Email"), QStringLiteral("Message"),
            QStringLiteral("Coffee"),  QStringLiteral("Lunch"), QStringLiteral("Dinner")};
}

QList<LogTitle *> LogTitle::loadAllLogTitlesInContext(platform::store::ManagedObjectContext *context)
{
    QList<LogTitle *> titles;
    if (context)
        context->performAndWait([&] { titles = title_list_support::loadAll<LogTitle>(*context); });
    return titles;
}

LogTitle *LogTitle::createNewLogTitleWithText(const QString &text, qint64 displayOrder,
                                              platform::store::ManagedObjectContext *context)
{
    return context ? title_list_support::create<LogTitle>(*context, text, displayOrder) : nullptr;
}

bool LogTitle::createLogTitlesForNewDatabaseWithContext(platform::store::ManagedObjectContext *context)
{
    bool ok = false;
    if (context)
        context->performAndWait([&] {
            ok = title_list_support::seedDefaults<LogTitle>(*context, QStringLiteral("LogTitles already populated"));
        });
    return ok;
}
