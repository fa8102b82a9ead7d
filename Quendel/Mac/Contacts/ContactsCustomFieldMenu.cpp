#include "Mac/Contacts/ContactsCustomFieldMenu.h"

#include "Classes/QDAlertDisplayMac.h"
#include "Mac/Contacts/ContactsListDisplaySource.h"
#include "Mac/Contacts/ContactsListItemModel.h"
#include "Mac/Shell/PlainTextLabel.h"

#include "QuendelKit/Entities/FormFieldType.h"
#include "QuendelKit/Entities/FormFields.h"
#include "QuendelKit/Entities/FormFieldsList.h"
#include "QuendelKit/Entities/Person.h"
#include "QuendelKit/Entities/UserFields.h"

#include "platform/ui/Sheet.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QCalendarWidget>
#include <QContextMenuEvent>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QMetaMethod>
#include <QMenu>
#include <QPushButton>
#include <QVBoxLayout>
#include <QWidgetAction>

#include <algorithm>

using platform::store::ManagedObjectContext;

ContactsCustomFieldMenu::ContactsCustomFieldMenu(QAbstractItemView *list, ContextProvider context,
                                                 SelectionProvider selection, QWidget *window, QObject *parent)
    : QObject(parent), m_list(list), m_context(std::move(context)), m_selection(std::move(selection)), m_window(window)
{
    m_menu = new QMenu(window);
    m_menu->setAccessibleName(QStringLiteral("Contact options"));
    m_duplicate = m_menu->addAction(DuplicateTitle);
    m_delete = m_menu->addAction(DeleteTitle);
    m_fieldsItem = m_menu->addAction(FieldsItemTitle);
    m_fieldsItem->setMenu(new QMenu(FieldsItemTitle, m_menu));
    connect(m_menu, &QMenu::aboutToShow, this, [this] { menuNeedsUpdate(m_menu); });
    connect(m_duplicate, &QAction::triggered, this, &ContactsCustomFieldMenu::duplicateRequested);
    connect(m_delete, &QAction::triggered, this, &ContactsCustomFieldMenu::deleteRequested);
    if (m_list) {
        // The row under a right-click, noted before the list opens the menu.
        m_list->viewport()->installEventFilter(this);
    }
}

ContactsCustomFieldMenu::~ContactsCustomFieldMenu() = default;

bool ContactsCustomFieldMenu::eventFilter(QObject *watched, QEvent *event)
{
    if (m_list && watched == m_list->viewport() && event->type() == QEvent::ContextMenu) {
        const QModelIndex index = m_list->indexAt(static_cast<QContextMenuEvent *>(event)->pos());
        m_clickedRow = index.isValid() ? index.row() : -1;
        m_clickedIndex = index;
    }
    return QObject::eventFilter(watched, event);
}

bool ContactsCustomFieldMenu::clickedOnContactOrNothing() const
{
    if (!m_clickedIndex.isValid())
        return true;
    return m_clickedIndex.data(ContactsListItemModel::PersonRole).value<void *>() != nullptr;
}

bool ContactsCustomFieldMenu::validateMenuItem(QAction *item) const
{
    if (item == m_duplicate) {
        // Duplicating is offered where the section takes it up.
        if (!isSignalConnected(QMetaMethod::fromSignal(&ContactsCustomFieldMenu::duplicateRequested)))
            return false;
        if (m_selection && m_selection().size() > 1)
            return false;
    }
    return clickedOnContactOrNothing();
}

void ContactsCustomFieldMenu::menuNeedsUpdate(QMenu *menu)
{
    if (menu != m_menu)
        return;
    ManagedObjectContext *context = m_context ? m_context() : nullptr;
    auto *submenu = new QMenu(FieldsItemTitle, m_menu);
    submenu->setAccessibleName(FieldsItemTitle);
    const QList<FormFields *> fields = context ? FormFields::loadAllFormFieldsInContext(context) : QList<FormFields *>();
    if (fields.isEmpty()) {
        QAction *none = submenu->addAction(NoFieldsTitle);
        none->setEnabled(false);
    } else {
        for (FormFields *field : fields) {
            if (!field->formFieldName().isEmpty())
                submenu->addAction(getMenuItemForField(field, submenu));
        }
    }
    QMenu *old = m_fieldsItem->menu();
    m_fieldsItem->setMenu(submenu);
    if (old)
        old->deleteLater();
    for (QAction *item : m_menu->actions())
        item->setEnabled(validateMenuItem(item));
}

QAction *ContactsCustomFieldMenu::getMenuItemForField(FormFields *field, QMenu *submenu)
{
    auto *item = new QAction(field->formFieldName(), submenu);
    item->setData(QVariant::fromValue(static_cast<void *>(field)));
    if (field->fieldtype() && field->fieldtype()->isFieldTypeList()) {
        auto *items = new QMenu(field->formFieldName(), submenu);
        QList<FormFieldsList *> values = field->fieldslist();
        std::stable_sort(values.begin(), values.end(), [](FormFieldsList *a, FormFieldsList *b) {
            return a->fieldsListDisplayOrder() < b->fieldsListDisplayOrder();
        });
        for (FormFieldsList *value : values) {
            QAction *choice = items->addAction(value->title());
            choice->setData(QVariant::fromValue(static_cast<void *>(value)));
            connect(choice, &QAction::triggered, this, [this, choice] { formfieldListItemMenuSelected(choice); });
        }
        item->setMenu(items);
        return item;
    }
    connect(item, &QAction::triggered, this, [this, item] { formfieldMenuSelected(item); });
    return item;
}

bool ContactsCustomFieldMenu::saveContext(ManagedObjectContext *context)
{
    platform::core::QDError error;
    if (context->save(&error))
        return true;
    // The values do not stay half-set in the context; the user learns that they were not stored.
    context->rollback();
    QDAlertDisplayMac::sharedAlert()->showAlertWithTitle(
        QStringLiteral("Error"), QStringLiteral("There was an error creating User Field - %1").arg(error.code()));
    return false;
}

void ContactsCustomFieldMenu::formfieldListItemMenuSelected(QAction *item)
{
    auto *choice = static_cast<FormFieldsList *>(item->data().value<void *>());
    ManagedObjectContext *context = m_context ? m_context() : nullptr;
    FormFields *field = choice ? choice->targetfield() : nullptr;
    if (!context || !field)
        return;
    const QList<Person *> people = m_selection ? m_selection() : QList<Person *>();
    if (people.isEmpty())
        return;
    for (Person *person : people) {
        UserFields *value = UserFields::userFieldForFormField(field, person);
        if (!value) {
            value = context->insertNewObject<UserFields>(UserFields::EntityName);
            if (!value)
                continue;
            value->setPerson(person);
            value->setFormfield(field);
        }
        value->setListvalue(choice);
        value->setFieldValue(choice->title());
    }
    saveContext(context);
}

void ContactsCustomFieldMenu::formfieldMenuSelected(QAction *item)
{
    auto *field = static_cast<FormFields *>(item->data().value<void *>());
    if (!field)
        return;
    m_createChosenField = field;
    m_pickedDate = QDate();
    const FormFieldType *type = field->fieldtype();
    const bool isDate = type && type->isFieldTypeDate();

    auto *content = new QWidget;
    auto *layout = new QVBoxLayout(content);
    auto *message = new PlainTextLabel(QStringLiteral("Enter value for field %1").arg(field->formFieldName()), content);
    layout->addWidget(message);
    auto *row = new QHBoxLayout;
    auto *input = new QLineEdit(content);
    input->setAccessibleName(QStringLiteral("Field value"));
    input->setFixedSize(300, 24);
    const QString fallback = field->getDefaultValueString();
    input->setText(fallback.isEmpty() || isDate ? QString() : fallback);
    row->addWidget(input);
    m_inputFieldTextField = input;
    if (isDate) {
        input->setReadOnly(true);
        input->setPlaceholderText(QStringLiteral("Choose a date"));
        const QString seconds = field->formFieldDefaultValue();
        m_pickedDate = QDate();
        auto *choose = new QPushButton(QStringLiteral("Choose Date…"), content);
        choose->setAccessibleName(QStringLiteral("Choose date"));
        connect(choose, &QPushButton::clicked, this, [this] { datePickerForFormFieldFromAlertSelected(); });
        row->addWidget(choose);
        auto *calendar = new QCalendarWidget;
        calendar->setAccessibleName(QStringLiteral("Date picker"));
        calendar->setSelectedDate(seconds.isEmpty()
                                      ? QDate::currentDate()
                                      : QDateTime::fromMSecsSinceEpoch(qint64(seconds.toDouble() * 1000.0), Qt::UTC)
                                            .toLocalTime()
                                            .date());
        m_datePicker = calendar;
        connect(calendar, &QCalendarWidget::clicked, this, &ContactsCustomFieldMenu::datePickerChangedValue);
        connect(calendar, &QCalendarWidget::activated, this, &ContactsCustomFieldMenu::datePickerChangedValue);
        auto *popover = new QMenu(content);
        auto *holder = new QWidgetAction(popover);
        holder->setDefaultWidget(calendar);
        popover->addAction(holder);
        m_fieldsDatePopover = popover;
    }
    layout->addLayout(row);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    auto *cancel = new QPushButton(QStringLiteral("Cancel"), content);
    cancel->setAccessibleName(QStringLiteral("Cancel"));
    auto *done = new QPushButton(QStringLiteral("Done"), content);
    done->setAccessibleName(QStringLiteral("Done"));
    done->setDefault(true);
    buttons->addWidget(cancel);
    buttons->addWidget(done);
    layout->addLayout(buttons);

    auto *sheet = new platform::ui::Sheet(m_window ? m_window->window() : nullptr);
    sheet->setWindowTitle(QStringLiteral("Set Field"));
    sheet->setContentWidget(content);
    m_valueSheet = sheet;
    connect(cancel, &QPushButton::clicked, sheet, [sheet] { sheet->endSheet(platform::ui::ModalResponseCancel); });
    connect(done, &QPushButton::clicked, sheet, [this, sheet] {
        if (valueSheetDone())
            sheet->endSheet(platform::ui::ModalResponseOK);
    });
    if (m_window)
        sheet->beginSheet(m_window);
    else
        sheet->beginModal();
    input->setFocus();
}

void ContactsCustomFieldMenu::datePickerForFormFieldFromAlertSelected()
{
    if (!m_fieldsDatePopover || !m_inputFieldTextField)
        return;
    m_fieldsDatePopover->popup(m_inputFieldTextField->mapToGlobal(QPoint(0, m_inputFieldTextField->height())));
}

void ContactsCustomFieldMenu::datePickerChangedValue(const QDate &date)
{
    m_pickedDate = date;
    if (m_inputFieldTextField)
        m_inputFieldTextField->setText(
            DateFormatter::mediumDate(QDateTime(date, QTime(0, 0), Qt::LocalTime)));
    if (m_fieldsDatePopover && m_fieldsDatePopover->isVisible())
        m_fieldsDatePopover->hide();
}

bool ContactsCustomFieldMenu::valueSheetDone()
{
    FormFields *field = m_createChosenField;
    ManagedObjectContext *context = m_context ? m_context() : nullptr;
    if (!field || !context || !m_inputFieldTextField)
        return true;
    const QString text = m_inputFieldTextField->text();
    if (text.isEmpty()) {
        QDAlertDisplayMac::sharedAlert()->showAlertWithTitle(QStringLiteral("Empty value"),
                                                             QStringLiteral("Please enter a valid value"));
        return true;
    }
    const FormFieldType *type = field->fieldtype();
    const bool isDate = type && type->isFieldTypeDate();
    if (type && (type->isFieldTypeCurrency() || type->isFieldTypeNumber())) {
        const bool currency = type->isFieldTypeCurrency();
        NumberFormatter &formatter =
            currency ? field->fieldValidation().currencyFormatter() : field->fieldValidation().numberFormatter();
        if (formatter.numberFromString(text).isNull()) {
            QApplication::beep();
            if (currency)
                QDAlertDisplayMac::sharedAlert()->showAlertWithTitle(
                    QStringLiteral("Currency Formatting Error"),
                    QStringLiteral("Wrong currency format. Please type a valid amount"));
            else
                QDAlertDisplayMac::sharedAlert()->showAlertWithTitle(QStringLiteral("Number Formatting Error"),
                                                                     QStringLiteral("Please type a valid number"));
            // The text stays in the field for the user to mend.
            return false;
        }
    }
    const QList<Person *> people = m_selection ? m_selection() : QList<Person *>();
    for (Person *person : people) {
        UserFields *value = UserFields::userFieldForFormField(field, person);
        if (!value) {
            value = context->insertNewObject<UserFields>(UserFields::EntityName);
            if (!value)
                continue;
            value->setPerson(person);
            value->setFormfield(field);
            value->setupDefaultValue();
        }
        if (isDate) {
            const QDate day = m_pickedDate.isValid() ? m_pickedDate : (m_datePicker ? m_datePicker->selectedDate() : QDate());
            value->setDateValue(QDateTime(day, QTime(0, 0), Qt::LocalTime).toUTC());
        } else {
            value->saveFieldWithText(text);
        }
    }
    saveContext(context);
    return true;
}
