#pragma once

#include "QuendelKit/Entities/NSManagedObjectQDBase.h"

#include "platform/store/FetchRequest.h"

#include <QList>
#include <QString>
#include <QStringList>

class Log;

// A title that log entries can carry.
class LogTitle : public NSManagedObjectQDBase
{
public:
    static inline const QString EntityName = QStringLiteral("LogTitle");

    // A new request for every record of the entity: no predicate, order or limit.
    static platform::store::FetchRequest fetchRequest();

    // The titles a new database starts with, in display order.
    static QStringList defaultTitles();
    // Every title, by display order; empty when the fetch fails. Runs on the context's queue while the
    // caller waits.
    static QList<LogTitle *> loadAllLogTitlesInContext(platform::store::ManagedObjectContext *context);
    // A new title in `context` on the caller's thread; nothing is saved and no duplicate is looked for.
    static LogTitle *createNewLogTitleWithText(const QString &text, qint64 displayOrder,
                                               platform::store::ManagedObjectContext *context);
    // Seeds the default titles into a context that holds no log title, on the context's queue while the caller
    // waits; a list with any title is left as it is. Nothing is saved. False when the existing titles cannot
    // be read (nothing is added then, so a later attempt cannot duplicate them).
    static bool createLogTitlesForNewDatabaseWithContext(platform::store::ManagedObjectContext *context);

    QString title() const;
    void setTitle(const QString &value);
    QString normalizedTitle() const;
    void setNormalizedTitle(const QString &value);
    qint64 displayOrder() const;
    void setDisplayOrder(qint64 value);

    QList<Log *> log() const;
    void setLog(const QList<Log *> &objects);
    void addLogObject(Log *object);
    void removeLogObject(Log *object);
};
