#include "QuendelKit/Entities/ToDoTitle.h"

#include "QuendelKit/Entities/EntityValues.h"
#include "QuendelKit/Entities/TitleListSupport.h"
#include "QuendelKit/Entities/ToDo.h"

using namespace entity_values;

platform::store::FetchRequest ToDoTitle::fetchRequest()
{
    return platform::store::FetchRequest(EntityName);
}

QString ToDoTitle::title() const
{
    return string(*this, QStringLiteral("title"));
}
void ToDoTitle::setTitle(const QString &value)
{
    setValue(QStringLiteral("title"), fromString(value));
}
QString ToDoTitle::normalizedTitle() const
{
    return string(*this, QStringLiteral("normalizedTitle"));
}
void ToDoTitle::setNormalizedTitle(const QString &value)
{
    setValue(QStringLiteral("normalizedTitle"), fromString(value));
}
qint64 ToDoTitle::displayOrder() const
{
    return integer(*this, QStringLiteral("displayOrder"));
}
void ToDoTitle::setDisplayOrder(qint64 value)
{
    setValue(QStringLiteral("displayOrder"), QVariant(value));
}

QList<ToDo *> ToDoTitle::todo() const
{
    return toMany<ToDo>(*this, QStringLiteral("todo"));
}
void ToDoTitle::setTodo(const QList<ToDo *> &objects)
{
    setRelatedObjects(QStringLiteral("todo"), objectList(objects));
}
void ToDoTitle::addTodoObject(ToDo *object)
{
    addRelatedObject(QStringLiteral("todo"), object);
}
void ToDoTitle::removeTodoObject(ToDo *object)
{
    removeRelatedObject(QStringLiteral("todo"), object);
}

QStringList ToDoTitle::defaultTitles()
{
    return {QStringLiteral("Birthday"), QStringLiteral("Anniversary"), QStringLiteral("Meeting"),
            QStringLiteral("Phone"),    QStringLiteral("Email"),       QStringLiteral("Coffee"),
            QStringLiteral("Lunch"),    QStringLiteral("Message")};
}

QList<ToDoTitle *> ToDoTitle::loadAllTodoTitlesInContext(platform::store::ManagedObjectContext *context)
{
    QList<ToDoTitle *> titles;
    if (context)
        context->performAndWait([&] { titles = title_list_support::loadAll<ToDoTitle>(*context); });
    return titles;
}

ToDoTitle *ToDoTitle::createNewToDoTitleWithText(const QString &text, qint64 displayOrder,
                                                 platform::store::ManagedObjectContext *context)
{
    ToDoTitle *title = nullptr;
    if (context)
        context->performAndWait([&] { title = title_list_support::create<ToDoTitle>(*context, text, displayOrder); });
    return title;
}

bool ToDoTitle::createToDoTitlesForNewDatabaseWithContext(platform::store::ManagedObjectContext *context)
{
    return context &&
           title_list_support::seedDefaults<ToDoTitle>(*context, QStringLiteral("TodoTitles already populated"));
}

QString ToDoTitle::incompleteCountString() const
{
    qint64 open = 0;
    for (const ToDo *todo : toMany<ToDo>(*this, QStringLiteral("todo"))) {
        const QVariant status = todo->value(QStringLiteral("todoStatus"));
        if (status.isValid() && !status.isNull() && status.toLongLong() == 0)
            ++open;
    }
    return QString::number(open);
}

void ToDoTitle::setIncompleteCountString(const QString &value)
{
    m_incompleteCountString = value;
}

QStringList ToDoTitle::keyPathsForValuesAffectingIncompleteCountString()
{
    return {QStringLiteral("todo")};
}
