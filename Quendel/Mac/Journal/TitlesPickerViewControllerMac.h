#pragma once

#include "Mac/Shell/KeyRouting.h"

#include "platform/store/ManagedObjectContext.h"

#include <QList>
#include <QWidget>

class CustomNSTableView;
class Location;
class LogTitle;
class QLineEdit;
class QStandardItemModel;
class ToDoTitle;

// What the editors receive from the titles picker; each operation is optional (does nothing by default).
class TitlesPickerDelegate
{
public:
    virtual ~TitlesPickerDelegate() = default;
    virtual bool respondsToSelectedLogTitle() const { return false; }
    virtual void selectedLogTitle(LogTitle *title, bool shouldClosePopover) {}
    virtual bool respondsToSelectedToDoTitle() const { return false; }
    virtual void selectedToDoTitle(ToDoTitle *title, bool shouldClosePopover) {}
};

// The list of one title entity ("LogTitle" or "ToDoTitle") in display order, read from the editor's
// private context: a click or Return picks a title, and text typed into the field below becomes a new
// title at the end of the list (stored only when the editor saves).
class TitlesPickerViewControllerMac : public QWidget, public KeyRoutingDelegate
{
    Q_OBJECT
public:
    TitlesPickerViewControllerMac(const QString &entityName, platform::store::ContextPtr context,
                                  platform::store::ManagedObject *existingObject, QWidget *parent = nullptr);
    ~TitlesPickerViewControllerMac() override;

    const QString &entityName() const { return m_entityName; }
    const platform::store::ContextPtr &context() const { return m_context; }
    platform::store::ManagedObject *existingObject() const { return m_existingObject; }
    CustomNSTableView *sourceTableView() const { return m_table; }
    QLineEdit *newTitleField() const { return m_newTitleField; }
    // The records listed, in display order.
    const QList<platform::store::ManagedObject *> &arrangedObjects() const { return m_arranged; }
    // Row height × rows + 30.
    int heightForPopover() const { return m_heightForPopover; }

    TitlesPickerDelegate *delegate() const { return m_delegate; }
    void setDelegate(TitlesPickerDelegate *delegate) { m_delegate = delegate; }

    // A click on a row (-1: on empty space).
    virtual void singleAction(int row);
    void enterKeyWasPressed() override;
    void selectTitle(platform::store::ManagedObject *title, bool close);
    // The end of an edit in the new-title field: a non-empty text becomes a new title.
    bool controlTextShouldEndEditing();
    void controlTextDidEndEditing();

    KeyDelegateKinds keyDelegateKinds() const override { return KeyDelegateKind::TitlesPickerViewControllerMac; }

protected:
    // The one-time set-up: fetch, measure, select the current record.
    void awakeFromNib();
    virtual void fillRow(int row);
    int selectedRow() const;
    void selectRow(int row);
    QStandardItemModel *tableModel() const { return m_model; }
    QWidget *footer() const { return m_footer; }

private:
    QString m_entityName;
    platform::store::ContextPtr m_context;
    platform::store::ManagedObject *m_existingObject = nullptr;
    TitlesPickerDelegate *m_delegate = nullptr;
    CustomNSTableView *m_table = nullptr;
    QStandardItemModel *m_model = nullptr;
    QLineEdit *m_newTitleField = nullptr;
    QWidget *m_footer = nullptr;
    QList<platform::store::ManagedObject *> m_arranged;
    int m_heightForPopover = 30;
    bool m_loadedArrayController = false;
};
