// Custom field definitions: the seeded types, the built-in "Pin Color" list field, the fetches of the field
// editor, contact page and reports, and the field's validation and default text.

#include "QuendelKit/Entities/CurrencyData.h"
#include "QuendelKit/Entities/FormFieldType.h"
#include "QuendelKit/Entities/FormFields.h"
#include "QuendelKit/Entities/FormFieldsList.h"
#include "QuendelKit/Entities/Person.h"
#include "QuendelKit/Entities/UserFields.h"
#include "QuendelKit/Infra/QDLog.h"
#include "QuendelKit/Settings/SharedSettingController.h"

#include "platform/core/Clock.h"
#include "platform/core/KeyedArchive.h"
#include "platform/store/Predicate.h"
#include "platform/store/SortDescriptor.h"
#include "platform/store/StoreCoordinator.h"

#include <algorithm>

using platform::core::QDError;
using platform::store::FetchRequest;
using platform::store::ManagedObjectContext;
using platform::store::Predicate;
using platform::store::SortDescriptor;
using platform::store::StringOption;

namespace {

const QString FieldTypeNameKey = QStringLiteral("fieldTypeName");
const QString FormFieldNameKey = QStringLiteral("formFieldName");
const QString DisplayOrderKey = QStringLiteral("formFieldDisplayOrder");
const QString CreatedAtKey = QStringLiteral("createdAt");

template <typename T> QList<T *> typed(const QList<platform::store::ManagedObject *> &objects)
{
    QList<T *> result;
    for (platform::store::ManagedObject *object : objects) {
        if (T *item = dynamic_cast<T *>(object))
            result.append(item);
    }
    return result;
}

// Runs the request on the context's queue and waits; empty on failure.
template <typename T> QList<T *> fetchOnQueue(ManagedObjectContext *context, const FetchRequest &request, QDError *error = nullptr)
{
    QList<T *> result;
    if (!context)
        return result;
    context->performAndWait([&] { result = typed<T>(context->executeFetchRequest(request, error)); });
    return result;
}

FetchRequest byDisplayOrder(const std::optional<Predicate> &predicate = std::nullopt)
{
    FetchRequest request = FormFields::fetchRequest();
    if (predicate)
        request.setPredicate(*predicate);
    request.setSortDescriptors({SortDescriptor(DisplayOrderKey, true)});
    return request;
}

Predicate pinColorNamePredicate()
{
    return Predicate::equal(FormFieldNameKey, FormFields::PinColorFieldName, StringOption::CaseInsensitive);
}

// Sets one key of the metadata of the coordinator's first store; false when there is none or the write
// failed.
bool setFirstStoreMetadata(ManagedObjectContext *context, const QString &key, const QVariant &value, QDError *error)
{
    std::shared_ptr<platform::store::StoreCoordinator> coordinator = context->persistentStoreCoordinator();
    for (auto parent = context->parentContext(); !coordinator && parent; parent = parent->parentContext())
        coordinator = parent->persistentStoreCoordinator();
    if (!coordinator || coordinator->persistentStores().isEmpty())
        return false;
    const auto store = coordinator->persistentStores().first();
    QVariantMap metadata = coordinator->metadataForPersistentStore(store);
    metadata.insert(key, value);
    return coordinator->setMetadata(metadata, store, error);
}

QByteArray archivedValue(const QString &value)
{
    return platform::core::KeyedArchive::archive(value.isNull() ? QVariant() : QVariant(value));
}

} // namespace

// ---- Types ----

QList<FormFieldType *> FormFieldType::loadAllFormFieldTypesInContext(ManagedObjectContext *context)
{
    if (!context)
        return {};
    FetchRequest request = fetchRequest();
    request.setSortDescriptors({SortDescriptor(CreatedAtKey, true)});
    request.setFetchLimit(LoadLimit);
    QList<FormFieldType *> types = fetchOnQueue<FormFieldType>(context, request);
    if (types.isEmpty()) {
        bool seeded = false;
        context->performAndWait([&] { seeded = createFormFieldTypesIfNoneExistsInContext(context); });
        if (seeded)
            types = fetchOnQueue<FormFieldType>(context, request);
    }
    return types;
}

bool FormFieldType::createFormFieldTypesIfNoneExistsInContext(ManagedObjectContext *context)
{
    if (!context)
        return false;
    if (context->countForFetchRequest(fetchRequest()) == 0) {
        const QDateTime now = platform::core::Clock::now();
        int position = 0;
        for (const QString &name : seededTypeNames()) {
            auto *type = context->insertNewObject<FormFieldType>(EntityName);
            // A millisecond apart, so the order of creation is also the order of the dates.
            type->setCreatedAt(now.addMSecs(position++));
            type->setFieldTypeName(name);
        }
    } else {
        QDSystemLog(QStringLiteral("FormFieldType already populated - but still set the store metadata"));
    }
    QDError error;
    setFirstStoreMetadata(context, AddFormFieldTypeValuesKey, 1, &error);
    if (!context->save(&error)) {
        QDSystemLog(QStringLiteral("createFormFieldTypes: Unresolved error %1, %2")
                        .arg(error.toString(), error.userInfo().value(QStringLiteral("NSLocalizedDescription")).toString()));
        return false;
    }
    return true;
}

FormFieldType *FormFieldType::formFieldTypeForType(const QString &name, ManagedObjectContext *context)
{
    if (!context)
        return nullptr;
    FetchRequest request = fetchRequest();
    request.setPredicate(Predicate::equal(FieldTypeNameKey, name, StringOption::CaseInsensitive));
    request.setSortDescriptors({SortDescriptor(CreatedAtKey, true)});
    return typed<FormFieldType>(context->executeFetchRequest(request)).value(0);
}

FormFieldType *FormFieldType::getFormFieldTypeForListInContext(ManagedObjectContext *context)
{
    FormFieldType *type = nullptr;
    if (context)
        context->performAndWait([&] { type = formFieldTypeForType(ListTypeName, context); });
    return type;
}

qint64 FormFieldType::countForAllFormFieldsTypeWithMOC(ManagedObjectContext *context)
{
    qint64 count = 0;
    if (context)
        context->performAndWait([&] { count = context->countForFetchRequest(fetchRequest()); });
    return count;
}

void FormFieldType::dedupeFieldTypeList(const QList<FormFieldType *> &types, ManagedObjectContext *context)
{
    if (!context)
        return;
    FetchRequest request = fetchRequest();
    request.setSortDescriptors({SortDescriptor(CreatedAtKey, true)});
    const QList<FormFieldType *> stored = typed<FormFieldType>(context->executeFetchRequest(request));
    QList<FormFieldType *> doomed;
    for (FormFieldType *received : types) {
        auto *current = received ? dynamic_cast<FormFieldType *>(context->objectWithID(received->objectID())) : nullptr;
        if (!current || current->isDeleted())
            continue;
        QList<FormFieldType *> sameName;
        for (FormFieldType *type : stored) {
            if (type->fieldTypeName() == current->fieldTypeName())
                sameName.append(type);
        }
        for (qsizetype i = 1; i < sameName.size(); ++i) {
            if (!doomed.contains(sameName[i]))
                doomed.append(sameName[i]);
        }
    }
    for (FormFieldType *type : doomed)
        context->deleteObject(type);
    QDError error;
    if (!context->save(&error))
        QDSystemLog(QStringLiteral("Unresolved error %1, %2").arg(error.toString(), error.domain()));
}

// ---- Fields ----

const QStringList &FormFields::pinColorsArray()
{
    static const QStringList colors = {
        QStringLiteral("Green"),      QStringLiteral("Blue"),  QStringLiteral("Yellow"), QStringLiteral("Orange"),
        QStringLiteral("Pink"),       QStringLiteral("Gray"),  QStringLiteral("Cyan"),   QStringLiteral("Light Green"),
        QStringLiteral("Light Blue"), QStringLiteral("Aqua"),  QStringLiteral("Magenta"), QStringLiteral("Brown"),
        QStringLiteral("Maroon"),     QStringLiteral("Mustard"), QStringLiteral("Black"),
    };
    return colors;
}

const QHash<QString, QString> &FormFields::pinColorsDictionary()
{
    static const QHash<QString, QString> values = {
        {QStringLiteral("Green"), QStringLiteral("#008000")},      {QStringLiteral("Blue"), QStringLiteral("#0000ff")},
        {QStringLiteral("Yellow"), QStringLiteral("#FFEE00")},     {QStringLiteral("Orange"), QStringLiteral("#ff8000")},
        {QStringLiteral("Pink"), QStringLiteral("#FF99DD")},       {QStringLiteral("Gray"), QStringLiteral("#808080")},
        {QStringLiteral("Cyan"), QStringLiteral("#45EFBB")},       {QStringLiteral("Light Green"), QStringLiteral("#8FEB0C")},
        {QStringLiteral("Light Blue"), QStringLiteral("#2386E1")}, {QStringLiteral("Aqua"), QStringLiteral("#4E78A0")},
        {QStringLiteral("Magenta"), QStringLiteral("#CD00CD")},    {QStringLiteral("Brown"), QStringLiteral("#8B4513")},
        {QStringLiteral("Maroon"), QStringLiteral("#BB0000")},     {QStringLiteral("Mustard"), QStringLiteral("#FFBB00")},
        {QStringLiteral("Black"), QStringLiteral("#000000")},
    };
    return values;
}

QList<FormFields *> FormFields::loadAllFormFieldsInContext(ManagedObjectContext *context)
{
    return fetchOnQueue<FormFields>(context, byDisplayOrder());
}

QList<FormFields *> FormFields::loadAllUsedFieldsForReportingInContext(ManagedObjectContext *context)
{
    return fetchOnQueue<FormFields>(
        context, byDisplayOrder(Predicate::count(QStringLiteral("userfields"), platform::store::Comparison::NotEqual, 0)));
}

QList<FormFields *> FormFields::loadAllFormFieldsNotAddedToPerson(Person *person, ManagedObjectContext *context)
{
    return fetchOnQueue<FormFields>(
        context, byDisplayOrder(Predicate::subqueryCount(QStringLiteral("userfields"),
                                                         Predicate::equal(QStringLiteral("person"), person),
                                                         platform::store::Comparison::Equal, 0)));
}

qint64 FormFields::countForAllFormFieldsWithMOC(ManagedObjectContext *context)
{
    qint64 count = 0;
    if (context)
        context->performAndWait([&] { count = context->countForFetchRequest(fetchRequest()); });
    return count;
}

FetchRequest FormFields::fetchRequestForFieldsPageWithPerson(Person *person)
{
    using C = platform::store::Comparison;
    const Predicate hasValue = Predicate::andOf({
        Predicate::count(QStringLiteral("userfields"), C::NotEqual, 0),
        Predicate::any(QStringLiteral("userfields"), Predicate::equal(QStringLiteral("person"), person)),
        Predicate::subqueryCount(QStringLiteral("userfields"),
                                 Predicate::notEqual(QStringLiteral("cloudKitRemotelyDeleted"), true), C::NotEqual, 0),
    });
    return byDisplayOrder(Predicate::orOf({Predicate::equal(QStringLiteral("isAlwaysVisible"), true), hasValue}));
}

FormFieldType *FormFields::formFieldTypeForType(const QString &name, ManagedObjectContext *context)
{
    return FormFieldType::formFieldTypeForType(name, context);
}

FormFields *FormFields::getPinColorFieldWithMOC(ManagedObjectContext *context)
{
    FetchRequest request = fetchRequest();
    request.setPredicate(pinColorNamePredicate());
    request.setSortDescriptors({SortDescriptor(CreatedAtKey, true)});
    return fetchOnQueue<FormFields>(context, request).value(0);
}

QList<FormFieldsList *> FormFields::fetchFormFieldListForPinColorWithMOC(ManagedObjectContext *context)
{
    FormFields *field = getPinColorFieldWithMOC(context);
    if (!field)
        return {};
    FetchRequest request = FormFieldsList::fetchRequest();
    request.setPredicate(Predicate::equal(QStringLiteral("targetfield"), field));
    request.setSortDescriptors({SortDescriptor(QStringLiteral("fieldsListDisplayOrder"), true)});
    QDError error;
    const QList<FormFieldsList *> items = fetchOnQueue<FormFieldsList>(context, request, &error);
    if (error) {
        QDSystemLog(QStringLiteral("error in fetching FieldsList = %1").arg(error.toString()));
        return {};
    }
    return items;
}

FormFields *FormFields::createPinColorFieldIfNoneExistsWithContext(ManagedObjectContext *context, bool forceUpdate)
{
    if (!context)
        return nullptr;
    FormFields *field = nullptr;
    QDError error;
    bool failed = false;
    context->performAndWait([&] {
        FetchRequest request = fetchRequest();
        request.setPredicate(pinColorNamePredicate());
        const QList<FormFields *> found = typed<FormFields>(context->executeFetchRequest(request, &error));
        if (error) {
            failed = true;
            return;
        }
        if (!found.isEmpty()) {
            field = found.first();
        } else {
            QDSystemLog(QStringLiteral("** customPostProcessingForPinColor: adding Pin Color field **"));
            field = context->insertNewObject<FormFields>(EntityName);
            field->setFormFieldName(PinColorFieldName);
            FormFieldType *list = FormFieldType::getFormFieldTypeForListInContext(context);
            // A store whose types were never seeded gets them now: a list field without its type would be
            // shown and checked as text.
            if (!list && !FormFieldType::loadAllFormFieldTypesInContext(context).isEmpty())
                list = FormFieldType::getFormFieldTypeForListInContext(context);
            field->setFieldtype(list);
        }
        const QList<FormFieldsList *> choices = fetchFormFieldListForPinColorWithMOC(context);
        const QStringList &colors = pinColorsArray();
        for (int i = 0; i < colors.size(); ++i) {
            const QString &color = colors[i];
            FormFieldsList *match = nullptr;
            for (FormFieldsList *item : choices) {
                if (item->title() == color) {
                    match = item;
                    break;
                }
            }
            if (!match) {
                FormFieldsList *item = FormFieldsList::createPinColorListItemWithString(color, i, context);
                field->addFieldslistObject(item);
                if (i == 0)
                    field->setListdefault(item);
            } else if (match->fieldListAlternateValue().isEmpty() || forceUpdate) {
                const QString value = pinColorsDictionary().value(color);
                match->setTitle(color);
                match->setFieldListAlternateValue(value);
                match->setFieldListData(archivedValue(value));
            }
        }
        setFirstStoreMetadata(context, PinColorFormFieldKey, PinColorFormFieldVersion, nullptr);
        if (!context->save(&error))
            failed = true;
    });
    if (!failed)
        SharedSettingController::sharedSettings().updatePlistAndKVSWithKey(PinColorChangesPlistKey, 1);
    else
        QDSystemLog(QStringLiteral("customPostProcessingForPinColor - error in updating metadata = %1").arg(error.toString()));
    return field;
}

void FormFields::dedupePinColorFieldWithContext(ManagedObjectContext *context)
{
    if (!context)
        return;
    QList<FormFields *> pinFields;
    for (FormFields *field : loadAllFormFieldsInContext(context)) {
        if (field->formFieldName().compare(PinColorFieldName, Qt::CaseInsensitive) == 0)
            pinFields.append(field);
    }
    if (pinFields.size() >= 2) {
        std::stable_sort(pinFields.begin(), pinFields.end(),
                         [](const FormFields *a, const FormFields *b) { return a->createdAt() < b->createdAt(); });
        for (qsizetype i = 1; i < pinFields.size(); ++i)
            context->deleteObject(pinFields[i]);
    }
    QDError error;
    if (!context->save(&error))
        QDSystemLog(QStringLiteral("Unresolved error %1, %2").arg(error.toString(), error.domain()));
}

FormFieldsList *FormFields::getPinColorListValueForString(const QString &colorName) const
{
    for (FormFieldsList *item : fieldslist()) {
        if (item->title() == colorName)
            return item;
    }
    return nullptr;
}

FormFields *FormFields::createFormFieldType(const QString &typeName, ManagedObjectContext *context)
{
    FormFields *field = nullptr;
    if (!context)
        return field;
    context->performAndWait([&] {
        const qint64 count = context->countForFetchRequest(fetchRequest());
        field = context->insertNewObject<FormFields>(EntityName);
        field->setFieldtype(FormFieldType::formFieldTypeForType(typeName, context));
        field->setFormFieldName(QStringLiteral("TestName-%1").arg(typeName));
        field->setFormFieldDisplayOrder(std::max<qint64>(count, 0));
    });
    return field;
}

FieldValidation &FormFields::fieldValidation()
{
    if (!m_fieldValidation) {
        m_fieldValidation = std::make_unique<FieldValidation>();
        updateFieldValidationTypeWithField(fieldtype());
    }
    return *m_fieldValidation;
}

void FormFields::updateFieldValidationTypeWithField(const FormFieldType *type)
{
    if (!m_fieldValidation)
        return;
    const QString name = type ? type->fieldTypeName() : QString();
    qint32 validation = FieldValidation::Text;
    if (name == FormFieldType::CurrencyTypeName)
        validation = FieldValidation::Currency;
    else if (name == FormFieldType::NumberTypeName)
        validation = FieldValidation::Number;
    else if (name == FormFieldType::DateTypeName)
        validation = FieldValidation::Date;
    else if (name == FormFieldType::ListTypeName)
        validation = FieldValidation::List;
    m_fieldValidation->setValidationType(validation);
}

QString FormFields::getDefaultValueString()
{
    FieldValidation &validation = fieldValidation();
    switch (validation.validationType()) {
    case FieldValidation::Currency: {
        const CurrencyData *amount = currencydefault();
        return validation.defaultTextWithCurrency(amount ? amount->currencyValue() : QString());
    }
    case FieldValidation::Number:
        return validation.defaultTextWithNumberString(formFieldDefaultValue());
    case FieldValidation::Date:
        return validation.defaultTextWithDateString(formFieldDefaultValue());
    case FieldValidation::List:
        return listdefault() ? listdefault()->title() : QString();
    default:
        return formFieldDefaultValue();
    }
}

// ---- List choices ----

FormFieldsList *FormFieldsList::createPinColorListItemWithString(const QString &colorName, qint64 index,
                                                                 ManagedObjectContext *context)
{
    if (!context)
        return nullptr;
    auto *item = context->insertNewObject<FormFieldsList>(EntityName);
    const QString value = FormFields::pinColorsDictionary().value(colorName);
    item->setTitle(colorName);
    item->setFieldListAlternateValue(value);
    item->setFieldListData(archivedValue(value));
    item->setFieldsListDisplayOrder(index);
    return item;
}

void FormFieldsList::prepareForDeletion()
{
    NSManagedObjectQDBase::prepareForDeletion();
    for (UserFields *value : userfield())
        value->setFieldValue(QStringLiteral(""));
}
