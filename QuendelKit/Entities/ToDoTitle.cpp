#include "QuendelKit/Entities/ToDoTitle.h"

#include "QuendelKit/Entities/EntityValues.h"
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
