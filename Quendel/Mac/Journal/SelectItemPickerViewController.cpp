#include "Mac/Journal/SelectItemPickerViewController.h"

#include "Mac/Shell/CustomNSTableView.h"

#include <QHeaderView>
#include <QStandardItemModel>
#include <QVBoxLayout>

SelectItemPickerViewController::SelectItemPickerViewController(const QStringList &items, quint64 lastIndex,
                                                               qint64 identificationTag, QWidget *parent)
    : QWidget(parent), m_items(items), m_selectedRow(qint64(lastIndex)), m_tag(identificationTag)
{
    setObjectName(identificationTag == 3 ? QStringLiteral("PinColorSelectionViewController")
                                         : QStringLiteral("SelectItemPickerViewController"));
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    m_table = new CustomNSTableView(this);
    m_table->setObjectName(QStringLiteral("tableView"));
    m_table->setAccessibleName(QStringLiteral("Choices"));
    m_table->setDelegate(this);
    m_model = new QStandardItemModel(this);
    for (int row = 0; row < m_items.size(); ++row) {
        auto *item = new QStandardItem(m_items.at(row));
        item->setEditable(false);
        item->setData(row == m_selectedRow ? Qt::Checked : Qt::Unchecked, Qt::CheckStateRole);
        item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
        m_model->appendRow(item);
    }
    m_table->setModel(m_model);
    m_table->horizontalHeader()->hide();
    m_table->horizontalHeader()->setStretchLastSection(true);
    m_table->verticalHeader()->hide();
    m_table->setSelectionMode(QAbstractItemView::SingleSelection);
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->setStyleSheet(QStringLiteral("background: transparent;"));
    layout->addWidget(m_table);
    connect(m_table, &QAbstractItemView::clicked, this,
            [this](const QModelIndex &index) { singleAction(index.isValid() ? index.row() : -1); });
}

SelectItemPickerViewController::~SelectItemPickerViewController() = default;

bool SelectItemPickerViewController::isCheckedRow(int row) const
{
    const QStandardItem *item = m_model->item(row);
    return item && item->data(Qt::CheckStateRole).toInt() == Qt::Checked;
}

void SelectItemPickerViewController::singleAction(int row)
{
    // Empty space and the current choice change nothing.
    if (row < 0 || row >= m_items.size() || row == m_selectedRow)
        return;
    if (m_delegate)
        m_delegate->selectedItemFromList(quint64(row), m_tag);
}

void SelectItemPickerViewController::enterKeyWasPressed()
{
    const QModelIndexList rows = m_table->selectionModel()->selectedRows();
    if (rows.isEmpty() || !m_delegate)
        return;
    m_delegate->selectedItemFromList(quint64(rows.first().row()), m_tag);
}
