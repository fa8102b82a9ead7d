#include "Mac/Journal/TitlesPickerViewControllerMac.h"

#include "Mac/Shell/CustomNSTableView.h"

#include "QuendelKit/Entities/LogTitle.h"
#include "QuendelKit/Entities/ToDoTitle.h"

#include "platform/store/FetchRequest.h"
#include "platform/store/SortDescriptor.h"

#include <QHeaderView>
#include <QLineEdit>
#include <QStandardItemModel>
#include <QVBoxLayout>

using platform::store::ManagedObject;

TitlesPickerViewControllerMac::TitlesPickerViewControllerMac(const QString &entityName,
                                                             platform::store::ContextPtr context,
                                                             ManagedObject *existingObject, QWidget *parent)
    : QWidget(parent), m_entityName(entityName), m_context(std::move(context)), m_existingObject(existingObject)
{
    setObjectName(QStringLiteral("TitlesPickerViewControllerMac"));
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    m_table = new CustomNSTableView(this);
    m_table->setObjectName(QStringLiteral("sourceTableView"));
    m_table->setAccessibleName(QStringLiteral("Titles"));
    m_table->setDelegate(this);
    m_model = new QStandardItemModel(this);
    m_table->setModel(m_model);
    m_table->horizontalHeader()->hide();
    m_table->horizontalHeader()->setStretchLastSection(true);
    m_table->verticalHeader()->hide();
    m_table->setSelectionMode(QAbstractItemView::SingleSelection);
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    layout->addWidget(m_table);
    m_footer = new QWidget(this);
    auto *footerLayout = new QVBoxLayout(m_footer);
    footerLayout->setContentsMargins(4, 4, 4, 4);
    m_newTitleField = new QLineEdit(m_footer);
    m_newTitleField->setObjectName(QStringLiteral("newTitleField"));
    m_newTitleField->setAccessibleName(QStringLiteral("New title"));
    m_newTitleField->setPlaceholderText(QStringLiteral("New Title"));
    footerLayout->addWidget(m_newTitleField);
    layout->addWidget(m_footer);

    connect(m_table, &QAbstractItemView::clicked, this,
            [this](const QModelIndex &index) { singleAction(index.isValid() ? index.row() : -1); });
    connect(m_newTitleField, &QLineEdit::editingFinished, this, [this] {
        controlTextShouldEndEditing();
        controlTextDidEndEditing();
    });
    awakeFromNib();
}

TitlesPickerViewControllerMac::~TitlesPickerViewControllerMac() = default;

void TitlesPickerViewControllerMac::awakeFromNib()
{
    if (m_loadedArrayController)
        return;
    m_loadedArrayController = true;
    if (m_context) {
        m_context->performAndWait([&] {
            platform::store::FetchRequest request(m_entityName);
            request.setSortDescriptors({platform::store::SortDescriptor(QStringLiteral("displayOrder"))});
            m_arranged = m_context->executeFetchRequest(request);
        });
    }
    m_model->setColumnCount(1);
    m_model->setRowCount(int(m_arranged.size()));
    for (int row = 0; row < m_arranged.size(); ++row)
        fillRow(row);
    m_heightForPopover = int(m_table->verticalHeader()->defaultSectionSize() * m_arranged.size() + 30);
    if (m_existingObject) {
        const qsizetype row = m_arranged.indexOf(m_existingObject);
        if (row >= 0)
            selectRow(int(row));
    }
}

void TitlesPickerViewControllerMac::fillRow(int row)
{
    if (m_entityName != LogTitle::EntityName && m_entityName != ToDoTitle::EntityName)
        return;
    QString text;
    m_context->performAndWait([&] { text = m_arranged.at(row)->value(QStringLiteral("title")).toString(); });
    auto *item = new QStandardItem(text);
    item->setEditable(false);
    m_model->setItem(row, 0, item);
}

int TitlesPickerViewControllerMac::selectedRow() const
{
    const QModelIndexList rows = m_table->selectionModel()->selectedRows();
    return rows.isEmpty() ? -1 : rows.first().row();
}

void TitlesPickerViewControllerMac::selectRow(int row)
{
    m_table->selectionModel()->select(m_model->index(row, 0),
                                      QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
}

void TitlesPickerViewControllerMac::singleAction(int row)
{
    if (row < 0 || row >= m_arranged.size()) {
        m_table->clearSelection();
        return;
    }
    selectTitle(m_arranged.at(row), true);
}

void TitlesPickerViewControllerMac::enterKeyWasPressed()
{
    const int row = selectedRow();
    if (row >= 0 && row < m_arranged.size())
        selectTitle(m_arranged.at(row), true);
}

void TitlesPickerViewControllerMac::selectTitle(ManagedObject *title, bool close)
{
    if (!m_delegate)
        return;
    if (m_entityName == LogTitle::EntityName && m_delegate->respondsToSelectedLogTitle())
        m_delegate->selectedLogTitle(dynamic_cast<LogTitle *>(title), close);
    else if (m_entityName == ToDoTitle::EntityName && m_delegate->respondsToSelectedToDoTitle())
        m_delegate->selectedToDoTitle(dynamic_cast<ToDoTitle *>(title), close);
}

bool TitlesPickerViewControllerMac::controlTextShouldEndEditing()
{
    const QString text = m_newTitleField->text();
    if (text.isEmpty() || !m_context)
        return true;
    if (m_entityName != LogTitle::EntityName && m_entityName != ToDoTitle::EntityName)
        return true;
    ManagedObject *created = nullptr;
    const qint64 order = m_arranged.size();
    m_context->performAndWait([&] {
        if (m_entityName == LogTitle::EntityName)
            created = LogTitle::createNewLogTitleWithText(text, order, m_context.get());
        else
            created = ToDoTitle::createNewToDoTitleWithText(text, order, m_context.get());
    });
    if (!created)
        return true;
    const int row = m_model->rowCount();
    m_arranged.append(created);
    m_model->insertRow(row);
    fillRow(row);
    m_table->scrollToBottom();
    selectRow(row);
    selectTitle(created, false);
    return true;
}

void TitlesPickerViewControllerMac::controlTextDidEndEditing()
{
    m_newTitleField->clear();
}
