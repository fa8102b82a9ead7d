#include "Mac/Journal/MacCreateNewFieldWindowController.h"

#include "Classes/QDAlertDisplayMac.h"
#include "SharedAppGlobals.h"

#include "QuendelKit/Entities/CurrencyData.h"
#include "QuendelKit/Entities/FieldValidation.h"
#include "QuendelKit/Entities/FormFieldType.h"
#include "QuendelKit/Entities/FormFields.h"
#include "QuendelKit/Entities/FormFieldsList.h"

#include "platform/core/Clock.h"
#include "platform/core/NotificationCenter.h"
#include "platform/ui/Sheet.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDateTimeEdit>
#include <QEvent>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QStyledItemDelegate>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>

using platform::store::ManagedObjectContext;
using platform::store::ManagedObjectID;

namespace {
const char *const TypeTitles[] = {"Text", "List", "Number", "Date", "Currency"};
}

// The in-place editor of a list value's title. Its text must pass the editor's check before it is
// stored; a refused text stays in a reopened editor, and Escape leaves the editing with the title as it was.
class FieldListValueDelegate : public QStyledItemDelegate
{
public:
    FieldListValueDelegate(MacCreateNewFieldWindowController *owner, QListWidget *view)
        : QStyledItemDelegate(view), m_owner(owner), m_view(view)
    {
        connect(this, &QAbstractItemDelegate::closeEditor, this,
                [this](QWidget *, QAbstractItemDelegate::EndEditHint hint) {
                    if (hint == QAbstractItemDelegate::RevertModelCache && !m_reopening)
                        m_owner->m_failedValidation = false;
                    m_open = nullptr;
                });
    }

    QWidget *createEditor(QWidget *parent, const QStyleOptionViewItem &option, const QModelIndex &index) const override
    {
        QWidget *editor = QStyledItemDelegate::createEditor(parent, option, index);
        editor->setAccessibleName(QStringLiteral("List value"));
        m_open = editor;
        m_openRow = index.row();
        return editor;
    }

    void setEditorData(QWidget *editor, const QModelIndex &index) const override
    {
        if (auto *line = qobject_cast<QLineEdit *>(editor); line && !m_refusedText.isNull()) {
            line->setText(m_refusedText);
            line->selectAll();
            m_refusedText = QString();
            return;
        }
        QStyledItemDelegate::setEditorData(editor, index);
    }

    void setModelData(QWidget *editor, QAbstractItemModel *model, const QModelIndex &index) const override
    {
        auto *line = qobject_cast<QLineEdit *>(editor);
        if (!line)
            return;
        const QString text = line->text();
        if (!m_owner->listValueShouldEndEditing(index.row(), text)) {
            // The refused text comes back in a new editor on the same row.
            m_refusedText = text;
            m_reopening = true;
            const QPersistentModelIndex again(index);
            QTimer::singleShot(0, m_view, [this, again] {
                m_reopening = false;
                if (again.isValid())
                    m_view->edit(again);
            });
            return;
        }
        model->setData(index, text, Qt::DisplayRole);
    }

    // Runs the check of an open editor as if it was left; false when the text was refused.
    bool finishEditing()
    {
        auto *line = qobject_cast<QLineEdit *>(m_open.data());
        if (!line)
            return !m_reopening;
        const int row = m_openRow;
        const QString text = line->text();
        if (!m_owner->listValueShouldEndEditing(row, text))
            return false;
        if (QListWidgetItem *item = m_view->item(row))
            item->setText(text);
        QWidget *editor = m_open;
        m_open = nullptr;
        emit const_cast<FieldListValueDelegate *>(this)->closeEditor(editor, QAbstractItemDelegate::NoHint);
        return true;
    }

private:
    MacCreateNewFieldWindowController *m_owner;
    QListWidget *m_view;
    mutable QPointer<QWidget> m_open;
    mutable int m_openRow = -1;
    mutable QString m_refusedText;
    mutable bool m_reopening = false;
};

MacCreateNewFieldWindowController::MacCreateNewFieldWindowController(ContextPtr mainContext, FormFields *fieldObject,
                                                                     QWidget *parent)
    : QWidget(parent), m_mainContext(std::move(mainContext)), m_fieldObject(fieldObject)
{
    setObjectName(NibName);
    setAccessibleName(QStringLiteral("Field editor"));
    loadView();
    awakeFromNib();
}

MacCreateNewFieldWindowController::~MacCreateNewFieldWindowController() = default;

void MacCreateNewFieldWindowController::loadView()
{
    auto *layout = new QVBoxLayout(this);
    auto *form = new QFormLayout;
    m_fieldNameTextField = new QLineEdit(this);
    m_fieldNameTextField->setAccessibleName(QStringLiteral("Field name"));
    m_fieldNameTextField->setPlaceholderText(QStringLiteral("Field name"));
    form->addRow(QStringLiteral("Name:"), m_fieldNameTextField);

    m_fieldTypePopupButton = new QComboBox(this);
    m_fieldTypePopupButton->setAccessibleName(QStringLiteral("Field type"));
    for (const char *title : TypeTitles)
        m_fieldTypePopupButton->addItem(QString::fromLatin1(title));
    form->addRow(QStringLiteral("Type:"), m_fieldTypePopupButton);

    auto *defaults = new QWidget(this);
    auto *defaultsLayout = new QHBoxLayout(defaults);
    defaultsLayout->setContentsMargins(0, 0, 0, 0);
    m_defaultValueTextField = new QLineEdit(defaults);
    m_defaultValueTextField->setAccessibleName(QStringLiteral("Default value"));
    m_defaultValueTextField->installEventFilter(this);
    m_defaultDatePicker = new QDateTimeEdit(defaults);
    m_defaultDatePicker->setAccessibleName(QStringLiteral("Default date"));
    m_defaultDatePicker->setCalendarPopup(true);
    m_defaultListPicker = new QComboBox(defaults);
    m_defaultListPicker->setAccessibleName(QStringLiteral("Default list value"));
    defaultsLayout->addWidget(m_defaultValueTextField);
    defaultsLayout->addWidget(m_defaultDatePicker);
    defaultsLayout->addWidget(m_defaultListPicker);
    form->addRow(QStringLiteral("Default:"), defaults);

    m_favoriteButton = new QCheckBox(QStringLiteral("Favorite: show on every contact"), this);
    m_favoriteButton->setAccessibleName(QStringLiteral("Favorite"));
    form->addRow(QString(), m_favoriteButton);
    layout->addLayout(form);

    m_listLabel = new QLabel(QStringLiteral("List Values"), this);
    layout->addWidget(m_listLabel);
    m_fieldListScrollView = new QWidget(this);
    auto *listLayout = new QVBoxLayout(m_fieldListScrollView);
    listLayout->setContentsMargins(0, 0, 0, 0);
    m_fieldListTableView = new QListWidget(m_fieldListScrollView);
    m_fieldListTableView->setObjectName(QStringLiteral("ListCell"));
    m_fieldListTableView->setAccessibleName(QStringLiteral("List values"));
    m_fieldListTableView->setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed);
    m_listDelegate = new FieldListValueDelegate(this, m_fieldListTableView);
    m_fieldListTableView->setItemDelegate(m_listDelegate);
    listLayout->addWidget(m_fieldListTableView);
    auto *buttons = new QHBoxLayout;
    m_fieldListPlusButton = new QPushButton(QStringLiteral("+"), m_fieldListScrollView);
    m_fieldListPlusButton->setAccessibleName(QStringLiteral("Add list value"));
    m_fieldListMinusButton = new QPushButton(QStringLiteral("−"), m_fieldListScrollView);
    m_fieldListMinusButton->setAccessibleName(QStringLiteral("Remove list value"));
    buttons->addWidget(m_fieldListPlusButton);
    buttons->addWidget(m_fieldListMinusButton);
    buttons->addStretch();
    listLayout->addLayout(buttons);
    layout->addWidget(m_fieldListScrollView, 1);

    layout->addStretch();
    auto *bottom = new QHBoxLayout;
    bottom->addStretch();
    m_cancelButton = new QPushButton(QStringLiteral("Cancel"), this);
    m_cancelButton->setAccessibleName(QStringLiteral("Cancel"));
    m_doneButton = new QPushButton(QStringLiteral("Done"), this);
    m_doneButton->setAccessibleName(QStringLiteral("Done"));
    m_doneButton->setDefault(true);
    bottom->addWidget(m_cancelButton);
    bottom->addWidget(m_doneButton);
    layout->addLayout(bottom);
    setFixedWidth(ViewWidth);

    connect(m_doneButton, &QPushButton::clicked, this, [this] { doneButtonPressed(); });
    connect(m_cancelButton, &QPushButton::clicked, this, &MacCreateNewFieldWindowController::cancelButtonPressed);
    connect(m_fieldTypePopupButton, &QComboBox::activated, this, &MacCreateNewFieldWindowController::fieldTypePopupSelected);
    connect(m_defaultListPicker, &QComboBox::activated, this, &MacCreateNewFieldWindowController::selectedDefaultListItem);
    connect(m_fieldListPlusButton, &QPushButton::clicked, this, &MacCreateNewFieldWindowController::listPlusButtonPressed);
    connect(m_fieldListMinusButton, &QPushButton::clicked, this, &MacCreateNewFieldWindowController::listMinusButtonPressed);
    connect(m_favoriteButton, &QCheckBox::clicked, this, &MacCreateNewFieldWindowController::favoriteButtonSelected);
    connect(m_defaultValueTextField, &QLineEdit::editingFinished, this, [this] {
        if (!m_checkingDefault && !m_ended)
            defaultValueShouldEndEditing();
    });
    connect(m_fieldListTableView->model(), &QAbstractItemModel::rowsMoved, this,
            [this](const QModelIndex &, int start, int, const QModelIndex &, int row) {
                if (!m_reloadingTable)
                    acceptDrop(start, row);
            });
}

void MacCreateNewFieldWindowController::awakeFromNib()
{
    if (m_alreadyLoadedView)
        return;
    m_alreadyLoadedView = true;
    m_privateContext = ManagedObjectContext::create(ManagedObjectContext::ConcurrencyType::PrivateQueue);
    m_privateContext->setParentContext(m_mainContext);
    m_privateContext->setName(PrivateContextName);
    m_fieldValidation = std::make_unique<FieldValidation>();
    ManagedObjectContext *context = m_privateContext.get();
    m_listOfTypes = FormFieldType::loadAllFormFieldTypesInContext(context);
    m_existingFields = FormFields::loadAllFormFieldsInContext(context);

    // Rows are dragged within the list only, as moves.
    m_fieldListTableView->setDragDropMode(QAbstractItemView::InternalMove);
    m_fieldListTableView->setDefaultDropAction(Qt::MoveAction);

    if (m_fieldObject) {
        m_existingObject = true;
        QString name, typeName, defaultText, currencyAmount;
        bool favourite = false;
        context->performAndWait([&] {
            m_fieldObject = dynamic_cast<FormFields *>(context->objectWithID(m_fieldObject->objectID()));
            if (!m_fieldObject)
                return;
            name = m_fieldObject->formFieldName();
            if (name.isNull())
                name = QStringLiteral("");
            typeName = m_fieldObject->fieldtype() ? m_fieldObject->fieldtype()->fieldTypeName() : QString();
            favourite = m_fieldObject->isAlwaysVisible();
            defaultText = m_fieldObject->formFieldDefaultValue();
            if (const CurrencyData *amount = m_fieldObject->currencydefault())
                currencyAmount = amount->currencyValue();
        });
        if (!m_fieldObject) {
            // The field went away before the editor opened: edit a new one instead.
            m_existingObject = false;
        } else {
            m_fieldNameTextField->setText(name);
            const int typeIndex = m_fieldTypePopupButton->findText(typeName);
            if (typeIndex >= 0)
                m_fieldTypePopupButton->setCurrentIndex(typeIndex);
            m_fieldTypePopupButton->setEnabled(false);
            m_isPinColor = name == FormFields::PinColorFieldName;
            if (m_isPinColor) {
                m_fieldListMinusButton->setEnabled(false);
                m_fieldListMinusButton->setToolTip(QStringLiteral("Cannot remove Pin Color value"));
                m_fieldListPlusButton->setEnabled(false);
                m_fieldListPlusButton->setToolTip(QStringLiteral("Cannot add Pin Color value"));
            }
            m_favoriteButton->setChecked(favourite);
            if (typeName == FormFieldType::CurrencyTypeName) {
                m_fieldValidation->setValidationType(FieldValidation::Currency);
                showDefaultTextField();
                shrinkWindowToHideList();
                if (!currencyAmount.isNull())
                    m_defaultValueTextField->setText(m_fieldValidation->defaultTextWithCurrency(currencyAmount));
            } else if (typeName == FormFieldType::NumberTypeName) {
                m_fieldValidation->setValidationType(FieldValidation::Number);
                showDefaultTextField();
                shrinkWindowToHideList();
                if (!defaultText.isNull())
                    m_defaultValueTextField->setText(m_fieldValidation->defaultTextWithNumberString(defaultText));
            } else if (typeName == FormFieldType::DateTypeName) {
                m_fieldValidation->setValidationType(FieldValidation::Date);
                showDefaultDateField();
                shrinkWindowToHideList();
                if (!defaultText.isNull())
                    m_defaultDatePicker->setDateTime(
                        QDateTime::fromMSecsSinceEpoch(qint64(defaultText.toDouble() * 1000.0), Qt::UTC).toLocalTime());
            } else if (typeName == FormFieldType::ListTypeName) {
                m_fieldValidation->setValidationType(FieldValidation::List);
                showDefaultListButton();
                expandWindowToShowList();
                reloadListTable();
            } else {
                m_fieldValidation->setValidationType(FieldValidation::Text);
                showDefaultTextField();
                shrinkWindowToHideList();
                if (!defaultText.isNull())
                    m_defaultValueTextField->setText(defaultText);
            }
            return;
        }
    }

    SharedAppGlobals::sharedAppGlobals().logAnalyticsEvent(QStringLiteral("AddFields"),
                                                           {{QStringLiteral("Action"), QStringLiteral("Start")}});
    m_existingObject = false;
    shrinkWindowToHideList();
    const qint64 order = m_existingFields.isEmpty() ? 1 : m_existingFields.last()->formFieldDisplayOrder() + 1;
    context->performAndWait([&] {
        m_fieldObject = context->insertNewObject<FormFields>(FormFields::EntityName);
        if (!m_fieldObject)
            return;
        m_fieldObject->setFormFieldDisplayOrder(order);
        m_fieldObject->setIsAlwaysVisible(false);
    });
    selectedFieldTypeText();
    m_defaultDatePicker->setDateTime(platform::core::Clock::now().toLocalTime());
    m_favoriteButton->setChecked(false);
    m_fieldNameTextField->setFocus();
}

qint32 MacCreateNewFieldWindowController::validationType() const
{
    return m_fieldValidation->validationType();
}

void MacCreateNewFieldWindowController::beginSheetOnWindow(QWidget *window)
{
    auto *sheet = new platform::ui::Sheet(window ? window->window() : nullptr);
    sheet->setWindowTitle(m_existingObject ? QStringLiteral("Edit Field") : QStringLiteral("New Field"));
    sheet->setContentWidget(this);
    m_sheet = sheet;
    // Escape and the close button cancel the editor.
    connect(sheet, &platform::ui::Sheet::sheetEnded, this, [this](int) {
        if (!m_ended)
            cancelButtonPressed();
    });
    if (window)
        sheet->beginSheet(window);
    else
        sheet->beginModal();
    m_fieldNameTextField->setFocus();
}

// ---- Types ----

void MacCreateNewFieldWindowController::handleSelectionTypeWithString(const QString &typeName)
{
    m_privateContext->performAndWait([&] {
        if (!m_fieldObject)
            return;
        for (FormFieldType *type : m_listOfTypes) {
            if (type->fieldTypeName() == typeName) {
                m_fieldObject->setFieldtype(type);
                return;
            }
        }
    });
}

void MacCreateNewFieldWindowController::selectedFieldTypeText()
{
    handleSelectionTypeWithString(FormFieldType::TextTypeName);
    m_fieldValidation->setValidationType(FieldValidation::Text);
    showDefaultTextField();
}

void MacCreateNewFieldWindowController::selectedFieldTypeList()
{
    handleSelectionTypeWithString(FormFieldType::ListTypeName);
    m_fieldValidation->setValidationType(FieldValidation::List);
    showDefaultListButton();
}

void MacCreateNewFieldWindowController::selectedFieldTypeNumber()
{
    handleSelectionTypeWithString(FormFieldType::NumberTypeName);
    m_fieldValidation->setValidationType(FieldValidation::Number);
    showDefaultTextField();
}

void MacCreateNewFieldWindowController::selectedFieldTypeDate()
{
    handleSelectionTypeWithString(FormFieldType::DateTypeName);
    m_fieldValidation->setValidationType(FieldValidation::Date);
    showDefaultDateField();
}

void MacCreateNewFieldWindowController::selectedFieldTypeCurrency()
{
    handleSelectionTypeWithString(FormFieldType::CurrencyTypeName);
    m_fieldValidation->setValidationType(FieldValidation::Currency);
    showDefaultTextField();
}

void MacCreateNewFieldWindowController::showDefaultTextField()
{
    m_defaultValueTextField->setVisible(true);
    m_defaultDatePicker->setVisible(false);
    m_defaultListPicker->setVisible(false);
}

void MacCreateNewFieldWindowController::showDefaultDateField()
{
    m_defaultValueTextField->setVisible(false);
    m_defaultDatePicker->setVisible(true);
    m_defaultListPicker->setVisible(false);
}

void MacCreateNewFieldWindowController::showDefaultListButton()
{
    m_defaultValueTextField->setVisible(false);
    m_defaultDatePicker->setVisible(false);
    m_defaultListPicker->setVisible(true);
    refreshDefaultListPopup();
}

void MacCreateNewFieldWindowController::fieldTypePopupSelected(int index)
{
    m_defaultValueTextField->clear();
    if (index == ListItem) {
        expandWindowToShowList();
        selectedFieldTypeList();
        return;
    }
    if (m_viewHeight > ListLayoutThreshold)
        shrinkWindowToHideList();
    switch (index) {
    case TextItem:
        selectedFieldTypeText();
        break;
    case NumberItem:
        selectedFieldTypeNumber();
        break;
    case DateItem:
        selectedFieldTypeDate();
        break;
    case CurrencyItem:
        selectedFieldTypeCurrency();
        break;
    default:
        break;
    }
}

// ---- Layouts ----

void MacCreateNewFieldWindowController::shrinkWindowToHideList()
{
    m_tableHeight = ShrunkTableHeight;
    m_viewHeight = ShrunkViewHeight;
    m_listLabel->setVisible(false);
    m_fieldListMinusButton->setVisible(false);
    m_fieldListPlusButton->setVisible(false);
    m_fieldListScrollView->setVisible(false);
    resizeWindow();
}

void MacCreateNewFieldWindowController::expandWindowToShowList()
{
    m_viewHeight = ExpandedViewHeight;
    m_tableHeight = ExpandedTableHeight;
    m_listLabel->setVisible(true);
    m_fieldListMinusButton->setVisible(true);
    m_fieldListPlusButton->setVisible(true);
    m_fieldListScrollView->setVisible(true);
    resizeWindow();
}

void MacCreateNewFieldWindowController::resizeWindow()
{
    m_fieldListTableView->setFixedHeight(m_tableHeight);
    setFixedHeight(m_viewHeight);
    if (m_sheet)
        m_sheet->adjustSize();
    else if (auto *host = qobject_cast<platform::ui::Sheet *>(window()); host && static_cast<QWidget *>(host) != this)
        host->adjustSize();
}

// ---- List values ----

void MacCreateNewFieldWindowController::reloadListTable()
{
    m_reloadingTable = true;
    QStringList titles;
    m_privateContext->performAndWait([&] {
        for (FormFieldsList *value : m_listValueArray)
            titles << value->title();
    });
    m_fieldListTableView->clear();
    for (const QString &title : titles) {
        auto *item = new QListWidgetItem(title, m_fieldListTableView);
        item->setFlags(item->flags() | Qt::ItemIsEditable | Qt::ItemIsDragEnabled);
        item->setFlags(item->flags() & ~Qt::ItemIsDropEnabled);
    }
    m_reloadingTable = false;
}

void MacCreateNewFieldWindowController::refreshDefaultListPopup()
{
    QStringList titles;
    int defaultIndex = -1;
    m_privateContext->performAndWait([&] {
        m_listValueArray.clear();
        if (!m_fieldObject)
            return;
        m_listValueArray = m_fieldObject->fieldslist();
        std::stable_sort(m_listValueArray.begin(), m_listValueArray.end(), [](FormFieldsList *a, FormFieldsList *b) {
            return a->fieldsListDisplayOrder() < b->fieldsListDisplayOrder();
        });
        const FormFieldsList *chosen = m_fieldObject->listdefault();
        for (qsizetype i = 0; i < m_listValueArray.size(); ++i) {
            titles << m_listValueArray[i]->title();
            if (m_listValueArray[i] == chosen)
                defaultIndex = int(i);
        }
    });
    m_refreshingPopup = true;
    m_defaultListPicker->clear();
    for (qsizetype i = 0; i < titles.size(); ++i)
        m_defaultListPicker->addItem(titles[i], int(i));
    if (!m_isPinColor) {
        m_defaultListPicker->insertSeparator(m_defaultListPicker->count());
        m_defaultListPicker->addItem(NoneItemTitle, -1);
    }
    m_defaultListPicker->setCurrentIndex(defaultIndex >= 0 ? defaultIndex
                                                           : (m_isPinColor ? -1 : m_defaultListPicker->count() - 1));
    m_refreshingPopup = false;
}

void MacCreateNewFieldWindowController::selectedDefaultListItem(int popupIndex)
{
    const QVariant data = m_defaultListPicker->itemData(popupIndex);
    if (!data.isValid())
        return;
    const int valueIndex = data.toInt();
    FormFieldsList *chosen = valueIndex >= 0 ? m_listValueArray.value(valueIndex) : nullptr;
    m_privateContext->performAndWait([&] {
        if (m_fieldObject)
            m_fieldObject->setListdefault(chosen);
    });
    if (m_isPinColor)
        m_pinColorChangedDefaultValue = true;
}

FormFieldsList *MacCreateNewFieldWindowController::addListValueObjectWithText(const QString &title)
{
    FormFieldsList *value = nullptr;
    const qint64 order = m_listValueArray.isEmpty() ? 1 : 0;
    m_privateContext->performAndWait([&] {
        if (!m_fieldObject)
            return;
        value = m_privateContext->insertNewObject<FormFieldsList>(FormFieldsList::EntityName);
        if (!value)
            return;
        value->setTitle(title);
        value->setFieldsListDisplayOrder(m_listValueArray.isEmpty() ? order
                                                                    : m_listValueArray.last()->fieldsListDisplayOrder() + 1);
        m_fieldObject->addFieldslistObject(value);
    });
    if (!value)
        return nullptr;
    m_listValueArray.append(value);
    // The new value stands before the separator and "None".
    m_refreshingPopup = true;
    const int at = m_isPinColor ? m_defaultListPicker->count() : std::max(0, m_defaultListPicker->count() - 2);
    m_defaultListPicker->insertItem(at, title, int(m_listValueArray.size() - 1));
    m_refreshingPopup = false;
    m_reloadingTable = true;
    auto *item = new QListWidgetItem(title, m_fieldListTableView);
    item->setFlags((item->flags() | Qt::ItemIsEditable | Qt::ItemIsDragEnabled) & ~Qt::ItemIsDropEnabled);
    m_reloadingTable = false;
    return value;
}

void MacCreateNewFieldWindowController::beginEditing()
{
    const int last = m_fieldListTableView->count() - 1;
    if (last < 0)
        return;
    m_fieldListTableView->setCurrentRow(last);
    m_fieldListTableView->editItem(m_fieldListTableView->item(last));
}

void MacCreateNewFieldWindowController::listPlusButtonPressed()
{
    if (m_isPinColor)
        return;
    // A value still being typed is checked before another one is added.
    if (!m_listDelegate->finishEditing())
        return;
    if (addListValueObjectWithText(QStringLiteral("")))
        beginEditing();
}

void MacCreateNewFieldWindowController::listMinusButtonPressed()
{
    if (m_isPinColor)
        return;
    const int row = m_fieldListTableView->currentRow();
    if (row < 0 || row >= m_listValueArray.size() || !m_fieldListTableView->item(row)
        || !m_fieldListTableView->item(row)->isSelected())
        return;
    FormFieldsList *value = m_listValueArray.takeAt(row);
    m_privateContext->performAndWait([&] { m_privateContext->deleteObject(value); });
    m_reloadingTable = true;
    delete m_fieldListTableView->takeItem(row);
    m_reloadingTable = false;
    pushPrivateChanges();
    refreshDefaultListPopup();
}

bool MacCreateNewFieldWindowController::acceptDrop(int fromRow, int dropRow)
{
    if (fromRow < 0 || fromRow >= m_listValueArray.size())
        return false;
    QList<FormFieldsList *> reordered = m_listValueArray;
    FormFieldsList *moved = reordered.takeAt(fromRow);
    int to = dropRow > fromRow ? dropRow - 1 : dropRow;
    to = std::clamp(to, 0, int(reordered.size()));
    reordered.insert(to, moved);
    QList<qint64> before;
    m_privateContext->performAndWait([&] {
        for (FormFieldsList *value : m_listValueArray)
            before << value->fieldsListDisplayOrder();
        for (qsizetype i = 0; i < reordered.size(); ++i)
            reordered[i]->setFieldsListDisplayOrder(i);
    });
    const bool saved = pushPrivateChanges();
    if (!saved) {
        // The order stays as it was, and the list shows it.
        m_privateContext->performAndWait([&] {
            for (qsizetype i = 0; i < m_listValueArray.size(); ++i)
                m_listValueArray[i]->setFieldsListDisplayOrder(before.value(i));
        });
    }
    refreshDefaultListPopup();
    QTimer::singleShot(0, this, [this] { reloadListTable(); });
    return saved;
}

// ---- Checks while typing ----

bool MacCreateNewFieldWindowController::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_defaultValueTextField && event->type() == QEvent::FocusIn && !m_isPinColor
        && m_fieldValidation->validationType() == FieldValidation::Currency
        && m_fieldValidation->isCurrencySymbolAtStart()) {
        // The user edits a bare amount.
        QString text = m_defaultValueTextField->text();
        const QString symbol = m_fieldValidation->currencyFormatter().currencySymbol();
        while (!text.isEmpty() && symbol.contains(text.front()))
            text.remove(0, 1);
        while (!text.isEmpty() && symbol.contains(text.back()))
            text.chop(1);
        m_defaultValueTextField->setText(text.trimmed());
    }
    return QWidget::eventFilter(watched, event);
}

bool MacCreateNewFieldWindowController::defaultValueShouldEndEditing()
{
    const QString text = m_defaultValueTextField->text();
    if (text.isEmpty() || m_isPinColor) {
        m_failedValidation = false;
        return true;
    }
    m_checkingDefault = true;
    bool passed = true;
    const qint32 type = m_fieldValidation->validationType();
    if (type == FieldValidation::Currency) {
        NumberFormatter &formatter = m_fieldValidation->currencyFormatter();
        const QString amount = formatter.numberFromString(text);
        if (amount.isNull()) {
            m_failedValidation = true;
            showAlert(QStringLiteral("Currency Format Error"), QStringLiteral("Please enter a valid currency value"));
            passed = false;
        } else {
            m_defaultValueTextField->setText(formatter.stringFromNumber(amount));
        }
    } else if (type == FieldValidation::Number) {
        NumberFormatter &formatter = m_fieldValidation->numberFormatter();
        const QString number = formatter.numberFromString(text);
        if (number.isNull()) {
            m_failedValidation = true;
            showAlert(QStringLiteral("Number Format Error"), QStringLiteral("Please enter a valid number"));
            passed = false;
        } else {
            m_defaultValueTextField->setText(formatter.stringFromNumber(number));
        }
    }
    if (passed)
        m_failedValidation = false;
    else
        m_defaultValueTextField->setFocus();
    m_checkingDefault = false;
    return passed;
}

bool MacCreateNewFieldWindowController::listValueShouldEndEditing(int row, const QString &text)
{
    if (text.isEmpty()) {
        m_failedValidation = true;
        showAlert(QStringLiteral("List Value Empty"), QStringLiteral("Please enter a list value"));
        return false;
    }
    FormFieldsList *edited = m_listValueArray.value(row);
    bool duplicate = false;
    m_privateContext->performAndWait([&] {
        for (FormFieldsList *value : m_listValueArray) {
            // The edited value may keep its own title.
            if (value != edited && value->title() == text)
                duplicate = true;
        }
        if (!duplicate && edited)
            edited->setTitle(text);
    });
    if (duplicate) {
        m_failedValidation = true;
        showAlert(QStringLiteral("List Value Already Exists"), QStringLiteral("Please enter a unique list value"));
        return false;
    }
    for (int i = 0; i < m_defaultListPicker->count(); ++i) {
        const QVariant data = m_defaultListPicker->itemData(i);
        if (data.isValid() && data.toInt() == row)
            m_defaultListPicker->setItemText(i, text);
    }
    m_failedValidation = false;
    return true;
}

void MacCreateNewFieldWindowController::favoriteButtonSelected()
{
    m_privateContext->performAndWait([&] {
        if (m_fieldObject)
            m_fieldObject->setIsAlwaysVisible(!m_fieldObject->isAlwaysVisible());
    });
}

// ---- Done and Cancel ----

void MacCreateNewFieldWindowController::saveDefaultValueField()
{
    if (!m_fieldObject)
        return;
    const QString text = m_defaultValueTextField->text();
    switch (m_fieldValidation->validationType()) {
    case FieldValidation::Text:
        m_fieldObject->setFormFieldDefaultValue(text.isNull() ? QStringLiteral("") : text);
        break;
    case FieldValidation::Number:
        m_fieldObject->setFormFieldDefaultValue(m_fieldValidation->numberFormatter().numberFromString(text));
        break;
    case FieldValidation::Currency: {
        CurrencyData *amount = m_fieldObject->currencydefault();
        if (!amount) {
            amount = m_privateContext->insertNewObject<CurrencyData>(CurrencyData::EntityName);
            if (!amount)
                return;
            m_fieldObject->setCurrencydefault(amount);
        }
        NumberFormatter &formatter = m_fieldValidation->currencyFormatter();
        const QString read = formatter.numberFromString(text);
        amount->setCurrencyValue(read.isNull() ? QStringLiteral("0") : read);
        amount->setLocaleIdentifier(formatter.locale().name());
        amount->setCurrencyCode(formatter.currencyCode());
        break;
    }
    case FieldValidation::Date: {
        const double seconds = double(m_defaultDatePicker->dateTime().toMSecsSinceEpoch()) / 1000.0;
        m_fieldObject->setFormFieldDefaultValue(QString::asprintf("%f", seconds));
        break;
    }
    default:
        break;
    }
}

void MacCreateNewFieldWindowController::showAlert(const QString &title, const QString &message)
{
    QDAlertDisplayMac::sharedAlert()->showAlertWithTitle(title, message);
}

bool MacCreateNewFieldWindowController::doneButtonPressed()
{
    if (m_ended)
        return false;
    // The text being edited is checked as if it was left.
    if (!m_listDelegate->finishEditing())
        return false;
    if (!m_defaultValueTextField->isHidden() && !defaultValueShouldEndEditing())
        return false;
    if (m_failedValidation)
        return false;

    const QString name = m_fieldNameTextField->text();
    QList<QPair<QString, QString>> alerts;
    bool failed = false;
    m_privateContext->performAndWait([&] {
        if (!m_fieldObject) {
            failed = true;
            return;
        }
        saveDefaultValueField();
        const FormFieldType *type = m_fieldObject->fieldtype();
        auto fail = [&](const QString &title, const QString &message) {
            alerts.append({title, message});
            failed = true;
        };
        if (name.isEmpty()) {
            fail(QStringLiteral("No Name"), QStringLiteral("Please enter name for the Field"));
        } else if (!type) {
            fail(QStringLiteral("No Type selected"), QStringLiteral("Please select a Field Type"));
        } else if (type->isFieldTypeList() && m_fieldObject->fieldslist().isEmpty()) {
            fail(QStringLiteral("Field not saved"), QStringLiteral("Please add some values to the Field List"));
        } else if (!(m_existingObject && name == m_fieldObject->formFieldName())
                   && std::any_of(m_existingFields.cbegin(), m_existingFields.cend(),
                                  [&](FormFields *other) { return other->formFieldName() == name; })) {
            fail(QStringLiteral("Field not saved"), QStringLiteral("Field name already exists"));
        } else if (m_fieldObject->isAlwaysVisible() && !m_fieldObject->currencydefault()
                   && !m_fieldObject->listdefault() && m_fieldObject->formFieldDefaultValue().isNull()) {
            fail(QStringLiteral("Field not saved"), QStringLiteral("Favorite fields need to have a default value"));
        }
        if (type && type->isFieldTypeList()
            && std::any_of(m_listValueArray.cbegin(), m_listValueArray.cend(),
                           [](FormFieldsList *value) { return value->title().isEmpty(); }))
            fail(QStringLiteral("Field not saved"), QStringLiteral("One of the List values is empty"));
    });
    for (const auto &alert : alerts)
        showAlert(alert.first, alert.second);
    if (failed)
        return false;

    QString typeName, pinColor;
    m_privateContext->performAndWait([&] {
        m_fieldObject->setFormFieldName(name);
        const FormFieldType *type = m_fieldObject->fieldtype();
        typeName = type ? type->fieldTypeName() : QString();
        if (CurrencyData *amount = m_fieldObject->currencydefault(); amount && typeName != FormFieldType::CurrencyTypeName) {
            m_privateContext->deleteObject(amount);
            m_fieldObject->setCurrencydefault(nullptr);
        }
        if (!m_existingObject && typeName != FormFieldType::ListTypeName && !m_fieldObject->fieldslist().isEmpty()) {
            for (FormFieldsList *value : m_fieldObject->fieldslist())
                m_privateContext->deleteObject(value);
            m_fieldObject->setFieldslist({});
            m_fieldObject->setListdefault(nullptr);
        }
        if (const FormFieldsList *chosen = m_fieldObject->listdefault())
            pinColor = chosen->fieldListAlternateValue();
    });
    if (!pushPrivateChanges()) {
        // The edits stay in the editor; nothing reached the main context.
        showAlert(QStringLiteral("Field not saved"), QStringLiteral("The field could not be stored. Please try again."));
        return false;
    }
    platform::core::QDError error;
    bool saved = false;
    m_mainContext->performAndWait([&] { saved = m_mainContext->save(&error); });
    if (!saved) {
        // Nothing half-stored stays behind in the main context.
        discardPushedChanges();
        showAlert(QStringLiteral("Field not saved"),
                  QStringLiteral("The field could not be stored: %1").arg(error.localizedDescription()));
        endEditor(false);
        return false;
    }
    m_pushedInserted.clear();
    m_pushedChanged.clear();
    SharedAppGlobals::sharedAppGlobals().logAnalyticsEvent(
        QStringLiteral("AddFields"), {{QStringLiteral("Action"), QStringLiteral("Saved")}, {QStringLiteral("Type"), typeName}});
    if (m_pinColorChangedDefaultValue)
        platform::core::NotificationCenter::defaultCenter().post(UpdatedPinColorUserFieldNotification, nullptr,
                                                                 {{DefaultPinColorChangeKey, pinColor}});
    endEditor(true);
    return true;
}

void MacCreateNewFieldWindowController::cancelButtonPressed()
{
    if (m_ended)
        return;
    discardPushedChanges();
    endEditor(false);
}

void MacCreateNewFieldWindowController::endEditor(bool done)
{
    m_ended = true;
    if (m_sheet && m_sheet->isActive())
        m_sheet->endSheet(done ? platform::ui::ModalResponseOK : platform::ui::ModalResponseCancel);
    emit finished(done);
    if (m_delegate) {
        if (done)
            m_delegate->doneButtonPressed();
        else
            m_delegate->cancelButtonPressed();
    }
}

bool MacCreateNewFieldWindowController::pushPrivateChanges()
{
    QList<ManagedObjectID> inserted, changed;
    bool saved = false;
    m_privateContext->performAndWait([&] {
        if (!m_privateContext->hasChanges()) {
            saved = true;
            return;
        }
        for (platform::store::ManagedObject *object : m_privateContext->insertedObjects())
            inserted << object->objectID();
        for (platform::store::ManagedObject *object : m_privateContext->updatedObjects())
            changed << object->objectID();
        for (platform::store::ManagedObject *object : m_privateContext->deletedObjects())
            changed << object->objectID();
        saved = m_privateContext->save();
    });
    if (!saved)
        return false;
    for (const ManagedObjectID &id : inserted)
        if (!m_pushedInserted.contains(id))
            m_pushedInserted << id;
    for (const ManagedObjectID &id : changed)
        if (!m_pushedInserted.contains(id) && !m_pushedChanged.contains(id))
            m_pushedChanged << id;
    return true;
}

void MacCreateNewFieldWindowController::discardPushedChanges()
{
    if (m_pushedInserted.isEmpty() && m_pushedChanged.isEmpty())
        return;
    m_mainContext->performAndWait([&] {
        for (const ManagedObjectID &id : std::as_const(m_pushedChanged))
            if (platform::store::ManagedObject *object = m_mainContext->objectRegisteredForID(id))
                m_mainContext->refreshObject(object, false);
        for (const ManagedObjectID &id : std::as_const(m_pushedInserted))
            if (platform::store::ManagedObject *object = m_mainContext->objectRegisteredForID(id);
                object && !object->isDeleted() && object->managedObjectContext())
                m_mainContext->deleteObject(object);
    });
    m_pushedInserted.clear();
    m_pushedChanged.clear();
}
