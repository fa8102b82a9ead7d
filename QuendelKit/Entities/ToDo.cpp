#include "QuendelKit/Entities/ToDo.h"

#include "QuendelKit/Entities/EntityValues.h"
#include "QuendelKit/Entities/FileAttachments.h"
#include "QuendelKit/Entities/Location.h"
#include "QuendelKit/Entities/Person.h"
#include "QuendelKit/Entities/ToDoAlert.h"
#include "QuendelKit/Entities/ToDoCalendarLink.h"
#include "QuendelKit/Entities/ToDoTitle.h"

using namespace entity_values;

platform::store::FetchRequest ToDo::fetchRequest()
{
    return platform::store::FetchRequest(EntityName);
}

QString ToDo::todoNote() const
{
    return string(*this, QStringLiteral("todoNote"));
}
void ToDo::setTodoNote(const QString &value)
{
    setValue(QStringLiteral("todoNote"), fromString(value));
}
QString ToDo::todoSectionTitle() const
{
    return string(*this, QStringLiteral("todoSectionTitle"));
}
void ToDo::setTodoSectionTitle(const QString &value)
{
    setValue(QStringLiteral("todoSectionTitle"), fromString(value));
}
QString ToDo::sectionKey() const
{
    return string(*this, QStringLiteral("sectionKey"));
}
void ToDo::setSectionKey(const QString &value)
{
    setValue(QStringLiteral("sectionKey"), fromString(value));
}
QVariant ToDo::attributedToDoNote() const
{
    return value(QStringLiteral("attributedToDoNote"));
}
void ToDo::setAttributedToDoNote(const QVariant &value)
{
    setValue(QStringLiteral("attributedToDoNote"), value);
}
QVariant ToDo::todoProperties() const
{
    return value(QStringLiteral("todoProperties"));
}
void ToDo::setTodoProperties(const QVariant &value)
{
    setValue(QStringLiteral("todoProperties"), value);
}
QVariant ToDo::todoRepeatInterval() const
{
    return value(QStringLiteral("todoRepeatInterval"));
}
void ToDo::setTodoRepeatInterval(const QVariant &value)
{
    setValue(QStringLiteral("todoRepeatInterval"), value);
}
QDateTime ToDo::todoStartDate() const
{
    return date(*this, QStringLiteral("todoStartDate"));
}
void ToDo::setTodoStartDate(const QDateTime &value)
{
    setValue(QStringLiteral("todoStartDate"), fromDate(value));
}
QDateTime ToDo::todoEndDate() const
{
    return date(*this, QStringLiteral("todoEndDate"));
}
void ToDo::setTodoEndDate(const QDateTime &value)
{
    setValue(QStringLiteral("todoEndDate"), fromDate(value));
}
QDateTime ToDo::todoCompletedDate() const
{
    return date(*this, QStringLiteral("todoCompletedDate"));
}
void ToDo::setTodoCompletedDate(const QDateTime &value)
{
    setValue(QStringLiteral("todoCompletedDate"), fromDate(value));
}
qint64 ToDo::todoStatus() const
{
    return integer(*this, QStringLiteral("todoStatus"));
}
bool ToDo::isCalendarEventSet() const
{
    return boolean(*this, QStringLiteral("isCalendarEventSet"));
}
void ToDo::setIsCalendarEventSet(bool value)
{
    setValue(QStringLiteral("isCalendarEventSet"), QVariant(value));
}
bool ToDo::isFullDay() const
{
    return boolean(*this, QStringLiteral("isFullDay"));
}
void ToDo::setIsFullDay(bool value)
{
    setValue(QStringLiteral("isFullDay"), QVariant(value));
}
bool ToDo::isMultiTodo() const
{
    return boolean(*this, QStringLiteral("isMultiTodo"));
}
void ToDo::setIsMultiTodo(bool value)
{
    setValue(QStringLiteral("isMultiTodo"), QVariant(value));
}
qint64 ToDo::todoAction() const
{
    return integer(*this, QStringLiteral("todoAction"));
}
void ToDo::setTodoAction(qint64 value)
{
    setValue(QStringLiteral("todoAction"), QVariant(value));
}
qint64 ToDo::todoFlags() const
{
    return integer(*this, QStringLiteral("todoFlags"));
}
void ToDo::setTodoFlags(qint64 value)
{
    setValue(QStringLiteral("todoFlags"), QVariant(value));
}
qint64 ToDo::todoPriority() const
{
    return integer(*this, QStringLiteral("todoPriority"));
}
void ToDo::setTodoPriority(qint64 value)
{
    setValue(QStringLiteral("todoPriority"), QVariant(value));
}

Person *ToDo::person() const
{
    return toOne<Person>(*this, QStringLiteral("person"));
}
void ToDo::setPerson(Person *object)
{
    setRelatedObject(QStringLiteral("person"), object);
}

Person *ToDo::completedperson() const
{
    return toOne<Person>(*this, QStringLiteral("completedperson"));
}
void ToDo::setCompletedperson(Person *object)
{
    setRelatedObject(QStringLiteral("completedperson"), object);
}

ToDoTitle *ToDo::todotitle() const
{
    return toOne<ToDoTitle>(*this, QStringLiteral("todotitle"));
}
void ToDo::setTodotitle(ToDoTitle *object)
{
    setRelatedObject(QStringLiteral("todotitle"), object);
}

Location *ToDo::todoLocation() const
{
    return toOne<Location>(*this, QStringLiteral("todoLocation"));
}
void ToDo::setTodoLocation(Location *object)
{
    setRelatedObject(QStringLiteral("todoLocation"), object);
}

ToDoCalendarLink *ToDo::calendarLink() const
{
    return toOne<ToDoCalendarLink>(*this, QStringLiteral("calendarLink"));
}
void ToDo::setCalendarLink(ToDoCalendarLink *object)
{
    setRelatedObject(QStringLiteral("calendarLink"), object);
}

NSManagedObjectQDBase *ToDo::todovoice() const
{
    return toOne<NSManagedObjectQDBase>(*this, QStringLiteral("todovoice"));
}
void ToDo::setTodovoice(NSManagedObjectQDBase *object)
{
    setRelatedObject(QStringLiteral("todovoice"), object);
}

QList<ToDoAlert *> ToDo::alert() const
{
    return toMany<ToDoAlert>(*this, QStringLiteral("alert"));
}
void ToDo::setAlert(const QList<ToDoAlert *> &objects)
{
    setRelatedObjects(QStringLiteral("alert"), objectList(objects));
}
void ToDo::addAlertObject(ToDoAlert *object)
{
    addRelatedObject(QStringLiteral("alert"), object);
}
void ToDo::removeAlertObject(ToDoAlert *object)
{
    removeRelatedObject(QStringLiteral("alert"), object);
}

QList<FileAttachments *> ToDo::attachments() const
{
    return toMany<FileAttachments>(*this, QStringLiteral("attachments"));
}
void ToDo::setAttachments(const QList<FileAttachments *> &objects)
{
    setRelatedObjects(QStringLiteral("attachments"), objectList(objects));
}
void ToDo::addAttachmentsObject(FileAttachments *object)
{
    addRelatedObject(QStringLiteral("attachments"), object);
}
void ToDo::removeAttachmentsObject(FileAttachments *object)
{
    removeRelatedObject(QStringLiteral("attachments"), object);
}
