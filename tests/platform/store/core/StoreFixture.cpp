#include "StoreFixture.h"

#include <QMutex>
#include <QMutexLocker>

namespace storetest {

namespace {
QMutex g_hookMutex;
}

QStringList &hookLog()
{
    static QStringList log;
    return log;
}

void logHook(const char *hook, const ManagedObject *object)
{
    const QString line = QString::fromLatin1(hook) + QLatin1Char(':') + object->value(QStringLiteral("name")).toString();
    QMutexLocker lock(&g_hookMutex);
    hookLog() << line;
}

std::shared_ptr<ManagedObjectModel> makeModel(int version)
{
    auto model = std::make_shared<ManagedObjectModel>(QStringLiteral("TestModel"), version);
    auto recording = [] { return new RecordingObject; };

    EntityDescription person(QStringLiteral("Person"), recording);
    person.addAttribute({.name = QStringLiteral("name"), .type = AttributeType::String, .indexed = true});
    person.addAttribute({.name = QStringLiteral("age"), .type = AttributeType::Integer64, .defaultValue = qint64(0)});
    person.addAttribute({.name = QStringLiteral("score"), .type = AttributeType::Double});
    person.addAttribute({.name = QStringLiteral("born"), .type = AttributeType::Date});
    person.addAttribute({.name = QStringLiteral("photo"), .type = AttributeType::Binary});
    person.addAttribute({.name = QStringLiteral("balance"), .type = AttributeType::Decimal});
    person.addAttribute({.name = QStringLiteral("active"), .type = AttributeType::Boolean, .defaultValue = true});
    person.addAttribute({.name = QStringLiteral("tags"), .type = AttributeType::Transformable,
                         .valueTransformerName = QStringLiteral("TestListTransformer")});
    person.addAttribute({.name = QStringLiteral("scratch"), .type = AttributeType::String, .transient = true});
    if (version >= 2)
        person.addAttribute({.name = QStringLiteral("nickname"), .type = AttributeType::String});
    person.addRelationship({.name = QStringLiteral("phones"), .destinationEntityName = QStringLiteral("Phone"),
                            .inverseName = QStringLiteral("person"), .toMany = true, .deleteRule = DeleteRule::Cascade});
    person.addRelationship({.name = QStringLiteral("groups"), .destinationEntityName = QStringLiteral("Group"),
                            .inverseName = QStringLiteral("members"), .toMany = true});
    person.addRelationship({.name = QStringLiteral("partner"), .destinationEntityName = QStringLiteral("Person"),
                            .inverseName = QStringLiteral("partner")});
    model->addEntity(std::move(person));

    EntityDescription phone(QStringLiteral("Phone"), recording);
    phone.addAttribute({.name = QStringLiteral("name"), .type = AttributeType::String});
    phone.addRelationship({.name = QStringLiteral("person"), .destinationEntityName = QStringLiteral("Person"),
                           .inverseName = QStringLiteral("phones")});
    model->addEntity(std::move(phone));

    EntityDescription group(QStringLiteral("Group"), recording);
    group.addAttribute({.name = QStringLiteral("name"), .type = AttributeType::String});
    group.addRelationship({.name = QStringLiteral("members"), .destinationEntityName = QStringLiteral("Person"),
                           .inverseName = QStringLiteral("groups"), .toMany = true});
    model->addEntity(std::move(group));

    EntityDescription folder(QStringLiteral("Folder"), recording);
    folder.addAttribute({.name = QStringLiteral("name"), .type = AttributeType::String});
    folder.addRelationship({.name = QStringLiteral("items"), .destinationEntityName = QStringLiteral("Item"),
                            .inverseName = QStringLiteral("folder"), .toMany = true, .deleteRule = DeleteRule::Deny});
    model->addEntity(std::move(folder));

    EntityDescription item(QStringLiteral("Item"), recording);
    item.addAttribute({.name = QStringLiteral("name"), .type = AttributeType::String});
    item.addRelationship({.name = QStringLiteral("folder"), .destinationEntityName = QStringLiteral("Folder"),
                          .inverseName = QStringLiteral("items")});
    model->addEntity(std::move(item));

    if (version >= 2) {
        EntityDescription tag(QStringLiteral("Tag"), recording);
        tag.addAttribute({.name = QStringLiteral("name"), .type = AttributeType::String});
        model->addEntity(std::move(tag));
    }
    return model;
}

namespace {
class ListTransformer : public ValueTransformer
{
public:
    QByteArray transformedValue(const QVariant &value) const override
    {
        return value.toStringList().join(QLatin1Char('\n')).toUtf8();
    }
    QVariant reverseTransformedValue(const QByteArray &data) const override
    {
        return QString::fromUtf8(data).split(QLatin1Char('\n'));
    }
};
} // namespace

Store openStore(const QString &path, int version, StoreOptions options, QDError *error)
{
    static const bool registered = [] {
        ValueTransformer::setValueTransformer(QStringLiteral("TestListTransformer"), std::make_shared<ListTransformer>());
        return true;
    }();
    Q_UNUSED(registered);
    Store s;
    s.model = makeModel(version);
    s.coordinator = std::make_shared<StoreCoordinator>(s.model);
    s.store = s.coordinator->addPersistentStore(path.isEmpty() ? StoreType::InMemory : StoreType::SQLite, path,
                                                options, error);
    s.main = ManagedObjectContext::create(ManagedObjectContext::ConcurrencyType::MainQueue);
    s.main->setName(QStringLiteral("main"));
    s.main->setPersistentStoreCoordinator(s.coordinator);
    return s;
}

ManagedObject *insertPerson(const ContextPtr &context, const QString &name, qint64 age)
{
    ManagedObject *person = context->insertNewObject(QStringLiteral("Person"));
    person->setValue(QStringLiteral("name"), name);
    person->setValue(QStringLiteral("age"), age);
    return person;
}

NoticeRecorder::NoticeRecorder(const QString &name, const void *object)
    : observer(name, object, [this](const platform::core::Notification &n) { notices.push_back(n); })
{
}

} // namespace storetest
