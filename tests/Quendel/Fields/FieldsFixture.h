#pragma once

#include "Quendel/FreshHome.h"
#include "QuendelKit/Entities/EntityStoreFixture.h"

#include "platform/ui/AlertPresenter.h"

namespace quendel::test {

// A store with its field types, a main context on it, and the alert presenter answering ahead instead
// of showing anything.
class FieldsTest : public EntityStoreTest
{
protected:
    void SetUp() override
    {
        startWithEmptyHome();
        EntityStoreTest::SetUp();
        platform::ui::AlertPresenter::shared().clearAnswers();
        platform::ui::AlertPresenter::shared().clearShownAlerts();
        platform::ui::AlertPresenter::shared().setBlockingForbidden(true);
        ASSERT_EQ(FormFieldType::loadAllFormFieldTypesInContext(context.get()).size(), 5);
    }
    void TearDown() override
    {
        platform::ui::AlertPresenter::shared().clearAnswers();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        EntityStoreTest::TearDown();
    }

    QStringList alertTitles() const
    {
        QStringList titles;
        for (const platform::ui::ShownAlert &alert : platform::ui::AlertPresenter::shared().shownAlerts())
            titles.append(alert.spec.messageText);
        return titles;
    }
    QStringList alertMessages() const
    {
        QStringList messages;
        for (const platform::ui::ShownAlert &alert : platform::ui::AlertPresenter::shared().shownAlerts())
            messages.append(alert.spec.informativeText);
        return messages;
    }
    void clearAlerts() { platform::ui::AlertPresenter::shared().clearShownAlerts(); }

    Person *storedPerson(const QString &first)
    {
        auto *person = insert<Person>();
        person->setFirstName(first);
        save(context);
        return person;
    }

    // A stored field of the named type; a list field gets `values` in that order.
    FormFields *storedField(const QString &name, const QString &typeName, const QStringList &values = {},
                            bool favourite = false, const QString &defaultValue = QString())
    {
        auto *field = insert<FormFields>();
        field->setFormFieldName(name);
        field->setFieldtype(FormFieldType::formFieldTypeForType(typeName, context.get()));
        const QList<FormFields *> all = FormFields::loadAllFormFieldsInContext(context.get());
        qint64 order = 0;
        for (FormFields *other : all)
            if (other != field)
                order = std::max(order, other->formFieldDisplayOrder());
        field->setFormFieldDisplayOrder(order + 1);
        field->setIsAlwaysVisible(favourite);
        if (!defaultValue.isNull())
            field->setFormFieldDefaultValue(defaultValue);
        qint64 at = 1;
        for (const QString &title : values) {
            auto *value = insert<FormFieldsList>();
            value->setTitle(title);
            value->setFieldsListDisplayOrder(at++);
            field->addFieldslistObject(value);
        }
        save(context);
        return field;
    }

    QStringList fieldNames(platform::store::ContextPtr &fresh)
    {
        fresh = newContext();
        QStringList names;
        for (FormFields *field : FormFields::loadAllFormFieldsInContext(fresh.get()))
            names << field->formFieldName();
        return names;
    }

    static QStringList orderedTitles(const FormFields *field)
    {
        QList<FormFieldsList *> values = field->fieldslist();
        std::stable_sort(values.begin(), values.end(), [](FormFieldsList *a, FormFieldsList *b) {
            return a->fieldsListDisplayOrder() < b->fieldsListDisplayOrder();
        });
        QStringList titles;
        for (const FormFieldsList *value : values)
            titles << value->title();
        return titles;
    }
};

} // namespace quendel::test
