#pragma once

#include "QuendelKit/Entities/NSManagedObjectQDBase.h"

#include "platform/store/FetchRequest.h"

#include <QList>
#include <QString>
#include <QStringList>

class ToDo;

// A title that to-dos can carry.
class ToDoTitle : public NSManagedObjectQDBase
{
public:
    static inline const QString EntityName = QStringLiteral("ToDoTitle");

    // A new request for every record of the entity: no predicate, order or limit.
    static platform::store::FetchRequest fetchRequest();

    // The titles a new database starts with, in display order.
    static QStringList defaultTitles();
    // Every title, by display order; empty when the fetch fails. Runs on the context's queue while the
    // caller waits.
    static QList<ToDoTitle *> loadAllTodoTitlesInContext(platform::store::ManagedObjectContext *context);
    // A new title in `context`, inserted on the context's queue while the caller waits; nothing is saved and
    // no duplicate is looked for.
    static ToDoTitle *createNewToDoTitleWithText(const QString &text, qint64 displayOrder,
                                                 platform::store::ManagedObjectContext *context);
    // Seeds the default titles into a context that holds no to-do title; call it on the context's queue. A
    // list with any title is left as it is. Nothing is saved. False when the existing titles cannot be read
    // (nothing is added then, so a later attempt cannot duplicate them).
    static bool createToDoTitlesForNewDatabaseWithContext(platform::store::ManagedObjectContext *context);

    // The number of open to-dos with this title, as decimal text, counted afresh on every read. Observers
    // of it follow the `todo` set; the setter keeps a value only for them and is never read back.
    QString incompleteCountString() const;
    void setIncompleteCountString(const QString &value);
    static QStringList keyPathsForValuesAffectingIncompleteCountString();

    QString title() const;
    void setTitle(const QString &value);
    QString normalizedTitle() const;
    void setNormalizedTitle(const QString &value);
    qint64 displayOrder() const;
    void setDisplayOrder(qint64 value);

    QList<ToDo *> todo() const;
    void setTodo(const QList<ToDo *> &objects);
    void addTodoObject(ToDo *object);
    void removeTodoObject(ToDo *object);

private:
    QString m_incompleteCountString;
};
