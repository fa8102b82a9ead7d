#include "Mac/ContactPage/ContactFieldsViewControllerMac.h"

#include "Classes/QDAlertDisplayMac.h"
#include "Mac/Shell/PlainTextLabel.h"

#include "QuendelKit/Entities/CurrencyData.h"
#include "QuendelKit/Entities/FormFieldType.h"
#include "QuendelKit/Entities/FormFields.h"
#include "QuendelKit/Entities/FormFieldsList.h"
#include "QuendelKit/Entities/Person.h"
#include "QuendelKit/Entities/UserFields.h"

#include "platform/core/UserDefaults.h"
#include "platform/store/ManagedObjectContext.h"
#include "platform/store/StoreNotifications.h"
#include "platform/ui/AlertPresenter.h"

#include <QAction>
#include <QApplication>
#include <QCalendarWidget>
#include <QComboBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QSet>
#include <QTableWidget>
#include <QTimer>
#include <QVBoxLayout>
#include <QWidgetAction>

#include <algorithm>

using platform::store::ManagedObjectContext;
using platform::store::ManagedObjectID;

namespace {
const char *const FieldIDProperty = "quendelFieldID";

bool isFieldEntity(const ManagedObjectID &id)
{
    const QString name = id.entity() ? id.entity()->name() : QString();
    return name == UserFields::EntityName || name == FormFields::EntityName || name == FormFieldsList::EntityName
        || name == CurrencyData::EntityName;
}

QString typeNameOf(const FormFields *field)
{
    return field && field->fieldtype() ? field->fieldtype()->fieldTypeName() : QString();
}
} // namespace

ContactFieldsViewControllerMac::ContactFieldsViewControllerMac(Person *person, QWidget *parent)
    : CommonListViewMac(NibName, person, parent)
{
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    m_sourceTableView = new QTableWidget(0, 1, this);
    m_sourceTableView->setAccessibleName(QStringLiteral("Fields"));
    m_sourceTableView->horizontalHeader()->setVisible(false);
    m_sourceTableView->horizontalHeader()->setStretchLastSection(true);
    m_sourceTableView->verticalHeader()->setVisible(false);
    m_sourceTableView->verticalHeader()->setDefaultSectionSize(RowHeight);
    m_sourceTableView->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_sourceTableView->setSelectionMode(QAbstractItemView::SingleSelection);
    m_sourceTableView->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_sourceTableView->setShowGrid(false);
    m_sourceTableView->setContextMenuPolicy(Qt::CustomContextMenu);
    layout->addWidget(m_sourceTableView);
    setScrollView(m_sourceTableView);

    auto *filler = new PlainTextLabel(QStringLiteral("No Fields"));
    filler->setAlignment(Qt::AlignCenter);
    setFillerText(filler);

    auto *menu = new QMenu(this);
    QAction *remove = menu->addAction(QStringLiteral("Delete"));
    setContextMenu(menu);
    connect(remove, &QAction::triggered, this, [this] { deleteSelectedRow(); });
    connect(m_sourceTableView, &QWidget::customContextMenuRequested, this, [this, menu](const QPoint &at) {
        const int row = m_sourceTableView->rowAt(at.y());
        if (row < 0)
            return;
        m_sourceTableView->selectRow(row);
        menu->popup(m_sourceTableView->viewport()->mapToGlobal(at));
    });
    connect(m_sourceTableView, &QAbstractItemView::doubleClicked, this,
            [this](const QModelIndex &index) { doubleClickAction(index.row()); });

    m_dateMenu = new QMenu(this);
    m_datePicker = new QCalendarWidget(m_dateMenu);
    m_datePicker->setAccessibleName(QStringLiteral("Date picker"));
    auto *pickerAction = new QWidgetAction(m_dateMenu);
    pickerAction->setDefaultWidget(m_datePicker);
    m_dateMenu->addAction(pickerAction);
    awakeFromNib();
}

ContactFieldsViewControllerMac::~ContactFieldsViewControllerMac() = default;

void ContactFieldsViewControllerMac::awakeFromNib()
{
    CommonListViewMac::awakeFromNib();
    Person *person = detailPerson();
    ManagedObjectContext *context = person ? person->managedObjectContext() : nullptr;
    if (m_loadedArrayController || !context)
        return;
    m_loadedArrayController = true;
    connect(m_datePicker, &QCalendarWidget::clicked, this, &ContactFieldsViewControllerMac::dateSelected);
    connect(m_datePicker, &QCalendarWidget::activated, this, &ContactFieldsViewControllerMac::dateSelected);
    fetchUsingArrayController();
    m_derivativeObserver = platform::core::ScopedObserver(
        UpdatedUserFieldDerivativeObjectNotification, nullptr,
        [this](const platform::core::Notification &note) { reloadAfterSyncWithDerivativeFieldDone(note); });
    m_cloudObserver = platform::core::ScopedObserver(
        CloudKitChangeForObjectIDNotification, nullptr,
        [this](const platform::core::Notification &note) { cloudKitNotificationForUpdatedObjects(note); });
    // Values set elsewhere (the Contacts section's field menu, another editor) reach the rows when the
    // contact's context saves them.
    m_saveObserver = platform::core::ScopedObserver(
        platform::store::ManagedObjectContextDidSaveNotification, context,
        [this](const platform::core::Notification &note) { mainContextDidSave(note); });
}

// ---- Rows ----

void ContactFieldsViewControllerMac::fetchUsingArrayController()
{
    Person *person = detailPerson();
    ManagedObjectContext *context = person ? person->managedObjectContext() : nullptr;
    m_rows.clear();
    if (context) {
        context->performAndWait([&] {
            for (platform::store::ManagedObject *object :
                 context->executeFetchRequest(FormFields::fetchRequestForFieldsPageWithPerson(person)))
                if (auto *field = dynamic_cast<FormFields *>(object))
                    m_rows.append(field);
        });
    }
    reloadTable();
}

void ContactFieldsViewControllerMac::reloadTable()
{
    m_rebuilding = true;
    const int selected = m_sourceTableView->currentRow();
    m_sourceTableView->clearContents();
    m_sourceTableView->setRowCount(int(m_rows.size()));
    for (int row = 0; row < m_rows.size(); ++row) {
        // The cell's own widgets show the name and the value; the item only carries the row.
        auto *item = new QTableWidgetItem;
        item->setData(Qt::AccessibleTextRole, m_rows[row]->formFieldName());
        item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
        m_sourceTableView->setItem(row, 0, item);
        m_sourceTableView->setCellWidget(row, 0, makeCell(row, m_rows[row]));
    }
    if (selected >= 0 && selected < m_rows.size())
        m_sourceTableView->selectRow(selected);
    m_rebuilding = false;
    m_dontReloadTableView = false;
    if (m_rows.isEmpty()) {
        if (!showingFillerText() && fillerText())
            addTextFieldForFillerText(fillerText(), m_sourceTableView->viewport());
    } else if (showingFillerText()) {
        removeFillerText();
    }
}

QString ContactFieldsViewControllerMac::rowText(int row) const
{
    FormFields *field = m_rows.value(row);
    if (!field)
        return QString();
    QString text;
    if (UserFields *value = UserFields::userFieldForFormField(field, detailPerson()))
        text = value->getFormattedStringValue();
    else
        text = field->getDefaultValueString();
    return text.isNull() ? QStringLiteral("") : text;
}

QWidget *ContactFieldsViewControllerMac::makeCell(int row, FormFields *field)
{
    auto *cell = new QWidget;
    auto *layout = new QHBoxLayout(cell);
    layout->setContentsMargins(6, 2, 6, 2);
    auto *name = new PlainTextLabel(field->formFieldName(), cell);
    name->setEnabled(false);
    name->setToolTip(QStringLiteral("Field Type: %1").arg(typeNameOf(field)));
    name->setMinimumWidth(140);
    layout->addWidget(name);
    const QString text = rowText(row);
    const FormFieldType *type = field->fieldtype();
    QWidget *control = nullptr;
    if (type && type->isFieldTypeList()) {
        auto *popup = new QComboBox(cell);
        QList<FormFieldsList *> items = field->fieldslist();
        std::stable_sort(items.begin(), items.end(), [](FormFieldsList *a, FormFieldsList *b) {
            return a->fieldsListDisplayOrder() < b->fieldsListDisplayOrder();
        });
        for (FormFieldsList *item : items)
            popup->addItem(item->title());
        popup->setCurrentIndex(popup->findText(text));
        connect(popup, &QComboBox::activated, this, [this, popup] {
            const int at = rowOfControl(popup);
            if (at >= 0)
                popupButtonChanged(at);
        });
        control = popup;
    } else if (type && type->isFieldTypeDate()) {
        auto *button = new QPushButton(text, cell);
        connect(button, &QPushButton::clicked, this, [this, button] {
            const int at = rowOfControl(button);
            if (at >= 0)
                dateFieldSelected(at);
        });
        control = button;
    } else {
        auto *edit = new QLineEdit(text, cell);
        connect(edit, &QLineEdit::editingFinished, this, [this, edit] {
            if (m_rebuilding)
                return;
            const int at = rowOfControl(edit);
            if (at >= 0)
                controlTextShouldEndEditing(at);
        });
        control = edit;
    }
    control->setAccessibleName(field->formFieldName());
    control->setProperty(FieldIDProperty, QVariant::fromValue(field->objectID()));
    layout->addWidget(control, 1);
    if (row == 0)
        cell->setToolTip(FirstRowToolTip);
    return cell;
}

QWidget *ContactFieldsViewControllerMac::valueControlForRow(int row) const
{
    QWidget *cell = m_sourceTableView->cellWidget(row, 0);
    if (!cell)
        return nullptr;
    for (QWidget *child : cell->findChildren<QWidget *>())
        if (child->property(FieldIDProperty).isValid())
            return child;
    return nullptr;
}

int ContactFieldsViewControllerMac::rowOfControl(const QWidget *control) const
{
    for (int row = 0; row < m_sourceTableView->rowCount(); ++row)
        if (valueControlForRow(row) == control)
            return row;
    return -1;
}

int ContactFieldsViewControllerMac::rowOfField(const ManagedObjectID &id) const
{
    for (int row = 0; row < m_rows.size(); ++row)
        if (m_rows[row]->objectID() == id)
            return row;
    return -1;
}

// ---- Adding ----

QList<ContactFieldsViewControllerMac::AddFieldMenuEntry> ContactFieldsViewControllerMac::addFieldMenuEntries(Person *person)
{
    QList<AddFieldMenuEntry> entries;
    ManagedObjectContext *context = person ? person->managedObjectContext() : nullptr;
    if (!context)
        return entries;
    const QList<FormFields *> all = FormFields::loadAllFormFieldsInContext(context);
    const QList<FormFields *> notAdded = FormFields::loadAllFormFieldsNotAddedToPerson(person, context);
    context->performAndWait([&] {
        for (FormFields *field : all) {
            if (field->formFieldName().isEmpty())
                continue;
            AddFieldMenuEntry entry;
            entry.title = field->formFieldName();
            entry.fieldID = field->objectID();
            entry.tag = field->formFieldDisplayOrder();
            entry.enabled = !field->isAlwaysVisible() && notAdded.contains(field);
            entries.append(entry);
        }
    });
    AddFieldMenuEntry newField;
    newField.title = QStringLiteral("New Field");
    if (all.size() == 1)
        newField.toolTip = NewFieldToolTip;
    entries.append(newField);
    return entries;
}

void ContactFieldsViewControllerMac::showAddFieldsOptions(QObject *sender)
{
    auto *menu = new QMenu(QStringLiteral("Add Field"), this);
    menu->setAccessibleName(QStringLiteral("Add Field"));
    menu->setToolTipsVisible(true);
    const QList<AddFieldMenuEntry> entries = addFieldMenuEntries(detailPerson());
    for (const AddFieldMenuEntry &entry : entries) {
        if (entry.fieldID.isNull()) {
            menu->addSeparator();
            QAction *action = menu->addAction(entry.title);
            action->setToolTip(entry.toolTip);
            connect(action, &QAction::triggered, this, [this] { newFieldSelected(); });
            continue;
        }
        QAction *action = menu->addAction(entry.title);
        action->setData(entry.tag);
        action->setEnabled(entry.enabled);
        const ManagedObjectID id = entry.fieldID;
        // The action carries the field itself: display orders may repeat after a sync.
        connect(action, &QAction::triggered, this, [this, id] {
            Person *person = detailPerson();
            ManagedObjectContext *context = person ? person->managedObjectContext() : nullptr;
            FormFields *field = nullptr;
            if (context)
                context->performAndWait([&] { field = dynamic_cast<FormFields *>(context->objectWithID(id)); });
            if (field)
                createUserFieldWithFormField(field, true);
        });
    }
    connect(menu, &QMenu::aboutToHide, menu, &QObject::deleteLater);
    auto *anchor = qobject_cast<QWidget *>(sender);
    const QPoint at = anchor ? anchor->mapToGlobal(QPoint(0, anchor->height())) : mapToGlobal(QPoint(0, 0));
    menu->popup(at);
}

void ContactFieldsViewControllerMac::createUserFieldWithFormField(FormFields *field, bool)
{
    Person *person = detailPerson();
    ManagedObjectContext *context = person ? person->managedObjectContext() : nullptr;
    if (!context || !field)
        return;
    m_dontReloadTableView = true;
    const ManagedObjectID fieldID = field->objectID();
    const bool isList = field->fieldtype() && field->fieldtype()->isFieldTypeList();
    context->performAndWait([&] {
        auto *value = context->insertNewObject<UserFields>(UserFields::EntityName);
        if (!value)
            return;
        value->setPerson(person);
        value->setFormfield(field);
        value->setupDefaultValue();
    });
    saveContext();
    fetchUsingArrayController();
    QPointer<ContactFieldsViewControllerMac> self(this);
    // The new row goes into editing once it is on show; a list row is only shown.
    QTimer::singleShot(isList ? ListReloadDelayMs : BeginEditingDelayMs, this, [self, fieldID, isList] {
        if (!self || isList)
            return;
        const int row = self->rowOfField(fieldID);
        if (row < 0)
            return;
        self->m_sourceTableView->selectRow(row);
        if (auto *edit = qobject_cast<QLineEdit *>(self->valueControlForRow(row))) {
            edit->setFocus();
            edit->selectAll();
        }
    });
}

void ContactFieldsViewControllerMac::newFieldSelected()
{
    Person *person = detailPerson();
    ManagedObjectContext *context = person ? person->managedObjectContext() : nullptr;
    if (!context)
        return;
    auto *editor = new MacCreateNewFieldWindowController(context->shared_from_this(), nullptr);
    editor->setDelegate(this);
    m_createFieldWindow = editor;
    editor->beginSheetOnWindow(window());
}

void ContactFieldsViewControllerMac::doneButtonPressed()
{
    Person *person = detailPerson();
    ManagedObjectContext *context = person ? person->managedObjectContext() : nullptr;
    if (!context)
        return;
    const QList<FormFields *> all = FormFields::loadAllFormFieldsInContext(context);
    if (!all.isEmpty())
        createUserFieldWithFormField(all.last(), false);
}

void ContactFieldsViewControllerMac::cancelButtonPressed() {}

// ---- Editing ----

UserFields *ContactFieldsViewControllerMac::valueRecordForField(FormFields *field, bool withDefault)
{
    Person *person = detailPerson();
    UserFields *value = UserFields::userFieldForFormField(field, person);
    if (value || !field->isAlwaysVisible())
        return value;
    ManagedObjectContext *context = person->managedObjectContext();
    value = context->insertNewObject<UserFields>(UserFields::EntityName);
    if (!value)
        return nullptr;
    value->setPerson(person);
    value->setFormfield(field);
    if (withDefault)
        value->setupDefaultValue();
    return value;
}

bool ContactFieldsViewControllerMac::controlTextShouldEndEditing(int row)
{
    auto *edit = qobject_cast<QLineEdit *>(valueControlForRow(row));
    FormFields *field = m_rows.value(row);
    if (!edit || !field)
        return true;
    const QString text = edit->text();
    const FormFieldType *type = field->fieldtype();
    if (type && !text.isEmpty() && (type->isFieldTypeCurrency() || type->isFieldTypeNumber())) {
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
            // The text stays for the user to mend.
            edit->setFocus();
            return false;
        }
    }
    if (text == rowText(row) && UserFields::userFieldForFormField(field, detailPerson()))
        return true;
    UserFields *value = valueRecordForField(field, true);
    if (!value)
        return true;
    value->saveFieldWithText(text);
    saveContext();
    if (!m_rebuilding && m_rows.value(row) == field) {
        const QString shown = rowText(row);
        if (edit->text() != shown)
            edit->setText(shown);
    }
    return true;
}

void ContactFieldsViewControllerMac::popupButtonChanged(int row)
{
    auto *popup = qobject_cast<QComboBox *>(valueControlForRow(row));
    FormFields *field = m_rows.value(row);
    if (!popup || !field)
        return;
    UserFields *value = valueRecordForField(field, false);
    if (!value)
        return;
    value->saveFieldWithListTitle(popup->currentText());
    saveContext();
}

void ContactFieldsViewControllerMac::dateFieldSelected(int row)
{
    auto *button = qobject_cast<QPushButton *>(valueControlForRow(row));
    FormFields *field = m_rows.value(row);
    if (!button || !field || !field->fieldtype() || !field->fieldtype()->isFieldTypeDate())
        return;
    m_sourceTableView->selectRow(row);
    QDateTime shown;
    if (UserFields *value = UserFields::userFieldForFormField(field, detailPerson()))
        shown = value->dateValue();
    else
        shown = QDateTime::fromMSecsSinceEpoch(qint64(field->formFieldDefaultValue().toDouble() * 1000.0), Qt::UTC);
    m_datePicker->setSelectedDate(shown.isValid() ? shown.toLocalTime().date() : QDate::currentDate());
    m_dateMenu->popup(button->mapToGlobal(QPoint(0, button->height())));
}

void ContactFieldsViewControllerMac::dateSelected(const QDate &date)
{
    const int row = m_sourceTableView->currentRow();
    FormFields *field = m_rows.value(row);
    if (row < 0 || !field || !date.isValid())
        return;
    m_dontReloadTableView = true;
    UserFields *value = valueRecordForField(field, false);
    if (!value)
        return;
    // The day changes; the time of day stays.
    const QDateTime before = value->dateValue().isValid() ? value->dateValue().toLocalTime() : QDateTime();
    const QTime time = before.isValid() ? before.time() : QTime(0, 0);
    value->saveFieldWithDate(QDateTime(date, time, Qt::LocalTime).toUTC());
    saveContext();
    if (m_dateMenu)
        m_dateMenu->hide();
    if (auto *button = qobject_cast<QPushButton *>(valueControlForRow(row)))
        button->setText(rowText(row));
}

void ContactFieldsViewControllerMac::doubleClickAction(int row)
{
    if (row < 0 || row >= m_rows.size()) {
        m_sourceTableView->clearSelection();
        return;
    }
    if (QWidget *control = valueControlForRow(row))
        control->setFocus();
}

// ---- Deleting ----

void ContactFieldsViewControllerMac::deleteSelectedRow()
{
    auto defaults = platform::core::UserDefaults::standardUserDefaults();
    if (defaults->objectForKey(DeleteFieldDefaultsKey).isValid() && defaults->boolForKey(DeleteFieldDefaultsKey)) {
        deleteSelectedField();
        return;
    }
    platform::ui::AlertSpec alert;
    alert.messageText = QStringLiteral("Delete Field");
    alert.informativeText = QStringLiteral("Do you want to delete this contact's Field from your records?");
    alert.buttonTitles = {QStringLiteral("Delete"), QStringLiteral("No")};
    alert.showsSuppressionButton = true;
    QPointer<ContactFieldsViewControllerMac> self(this);
    platform::ui::AlertPresenter::shared().beginSheet(alert, window(), [self](const platform::ui::AlertResult &result) {
        if (!self)
            return;
        if (result.returnCode() == platform::ui::AlertFirstButtonReturn)
            self->deleteSelectedField();
        if (result.suppressed)
            platform::core::UserDefaults::standardUserDefaults()->setBool(true, DeleteFieldDefaultsKey);
    });
}

void ContactFieldsViewControllerMac::deleteSelectedField()
{
    const QModelIndexList selected =
        m_sourceTableView->selectionModel() ? m_sourceTableView->selectionModel()->selectedRows() : QModelIndexList();
    const int row = selected.isEmpty() ? -1 : selected.first().row();
    FormFields *field = m_rows.value(row);
    if (!field)
        return;
    if (field->isAlwaysVisible()) {
        QDAlertDisplayMac::sharedAlert()->showAlertWithTitle(QStringLiteral("Cannot delete Field"),
                                                             QStringLiteral("Cannot delete fields marked as Favorite"));
        return;
    }
    Person *person = detailPerson();
    ManagedObjectContext *context = person->managedObjectContext();
    if (UserFields *value = UserFields::userFieldForFormField(field, person)) {
        m_dontReloadTableView = true;
        context->deleteObject(value);
        saveContext();
    }
    fetchUsingArrayController();
    checkIfDeletedLastRow();
}

void ContactFieldsViewControllerMac::selectFirstField()
{
    if (!m_rows.isEmpty()) {
        m_sourceTableView->selectRow(0);
        m_sourceTableView->setFocus();
    }
}

bool ContactFieldsViewControllerMac::hasTableviewFirstSelection() const
{
    return m_sourceTableView->currentRow() == 0 && !m_sourceTableView->selectionModel()->selectedRows().isEmpty();
}

// ---- Saving and outside changes ----

bool ContactFieldsViewControllerMac::saveContext()
{
    Person *person = detailPerson();
    ManagedObjectContext *context = person ? person->managedObjectContext() : nullptr;
    if (!context)
        return false;
    platform::core::QDError error;
    m_selfSaving = true;
    const bool saved = context->save(&error);
    m_selfSaving = false;
    if (!saved) {
        // The rows show what the store holds, and the user learns why the change did not stay.
        context->rollback();
        QDAlertDisplayMac::sharedAlert()->showAlertWithTitle(
            QStringLiteral("Error"), QStringLiteral("The field could not be saved: %1").arg(error.localizedDescription()));
        QTimer::singleShot(0, this, [this] { fetchUsingArrayController(); });
    }
    return saved;
}

void ContactFieldsViewControllerMac::mainContextDidSave(const platform::core::Notification &notification)
{
    if (m_selfSaving || m_refetchQueued)
        return;
    const auto changes = platform::store::SaveChanges::fromNotification(notification);
    if (!changes)
        return;
    bool concerned = false;
    for (const auto *list : {&changes->inserted, &changes->updated, &changes->deleted})
        for (const platform::store::ObjectChange &change : *list)
            concerned = concerned || isFieldEntity(change.objectID);
    if (!concerned)
        return;
    m_refetchQueued = true;
    QTimer::singleShot(0, this, [this] {
        m_refetchQueued = false;
        fetchUsingArrayController();
    });
}

void ContactFieldsViewControllerMac::reloadAfterSyncWithDerivativeFieldDone(const platform::core::Notification &notification)
{
    const auto *object = static_cast<const platform::store::ManagedObject *>(notification.object);
    Person *person = detailPerson();
    if (!object || !person)
        return;
    bool counts = false;
    if (const auto *value = dynamic_cast<const UserFields *>(object))
        counts = value->person() && value->person()->objectID() == person->objectID();
    else if (const auto *amount = dynamic_cast<const CurrencyData *>(object))
        counts = amount->userfield() && amount->userfield()->person()
              && amount->userfield()->person()->objectID() == person->objectID();
    else if (const auto *item = dynamic_cast<const FormFieldsList *>(object)) {
        for (const UserFields *value : item->userfield())
            counts = counts || (value->person() && value->person()->objectID() == person->objectID());
    }
    if (counts)
        fetchUsingArrayController();
}

void ContactFieldsViewControllerMac::cloudKitNotificationForUpdatedObjects(const platform::core::Notification &notification)
{
    const QVariantList deleted = notification.userInfo.value(QStringLiteral("deleted")).toList();
    if (deleted.isEmpty())
        return;
    QSet<ManagedObjectID> shown;
    for (FormFields *field : std::as_const(m_rows))
        for (const UserFields *value : field->userfields())
            shown.insert(value->objectID());
    for (const QVariant &id : deleted) {
        if (shown.contains(id.value<ManagedObjectID>())) {
            fetchUsingArrayController();
            return;
        }
    }
}
