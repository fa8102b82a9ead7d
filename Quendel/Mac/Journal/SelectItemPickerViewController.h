#pragma once

#include "Mac/Shell/KeyRouting.h"

#include <QStringList>
#include <QWidget>

class CustomNSTableView;
class QStandardItemModel;

// The receiver of a single choice.
class SelectItemDelegate
{
public:
    virtual ~SelectItemDelegate() = default;
    virtual void selectedItemFromList(quint64 index, qint64 tag) = 0;
};

// A single-choice list of given texts with a check mark on the current choice; it reports the chosen
// index with the caller's tag (1 repeat, 2 alert, 3 pin colour).
class SelectItemPickerViewController : public QWidget, public KeyRoutingDelegate
{
    Q_OBJECT
public:
    SelectItemPickerViewController(const QStringList &items, quint64 lastIndex, qint64 identificationTag,
                                   QWidget *parent = nullptr);
    ~SelectItemPickerViewController() override;

    const QStringList &itemsArray() const { return m_items; }
    qint64 selectedRow() const { return m_selectedRow; }
    qint64 identificationTag() const { return m_tag; }
    CustomNSTableView *tableView() const { return m_table; }
    // Whether a row carries the check mark.
    bool isCheckedRow(int row) const;

    SelectItemDelegate *delegate() const { return m_delegate; }
    void setDelegate(SelectItemDelegate *delegate) { m_delegate = delegate; }

    void singleAction(int row);
    void enterKeyWasPressed() override;

    KeyDelegateKinds keyDelegateKinds() const override { return KeyDelegateKind::SelectItemPickerViewController; }

private:
    QStringList m_items;
    qint64 m_selectedRow = 0;
    qint64 m_tag = 0;
    SelectItemDelegate *m_delegate = nullptr;
    CustomNSTableView *m_table = nullptr;
    QStandardItemModel *m_model = nullptr;
};
