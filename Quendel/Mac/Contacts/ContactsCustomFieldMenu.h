#pragma once

#include "platform/store/ManagedObjectContext.h"
#include "platform/ui/Sheet.h"

#include <QDialog>
#include <QList>
#include <QObject>
#include <QPersistentModelIndex>
#include <QCalendarWidget>
#include <QLineEdit>
#include <QMenu>
#include <QPointer>

#include <functional>

class FormFields;
class Person;
class QAction;
class QAbstractItemView;
class QCalendarWidget;
class QLineEdit;
class QMenu;
class QPushButton;


// The context menu of the contacts list: "Duplicate", "Delete" and, third, a submenu of the user's custom
// fields, rebuilt each time the menu opens. Choosing an item of a list field sets it for every selected
// contact at once; choosing any other field asks for its value in a sheet first. Items are disabled on a
// section letter or the footer row, and "Duplicate" with more than one contact selected.
class ContactsCustomFieldMenu : public QObject
{
    Q_OBJECT
public:
    using ContextProvider = std::function<platform::store::ManagedObjectContext *()>;
    using SelectionProvider = std::function<QList<Person *>()>;

    static inline const QString NoFieldsTitle = QStringLiteral("No Fields avaialable");
    static inline const QString FieldsItemTitle = QStringLiteral("Set Field");
    static inline const QString DuplicateTitle = QStringLiteral("Duplicate");
    static inline const QString DeleteTitle = QStringLiteral("Delete");
    static constexpr int FieldsItemIndex = 2;

    // `list` is the contacts list; `window` carries the value sheet.
    ContactsCustomFieldMenu(QAbstractItemView *list, ContextProvider context, SelectionProvider selection,
                            QWidget *window, QObject *parent = nullptr);
    ~ContactsCustomFieldMenu() override;

    QMenu *contactsContextMenu() const { return m_menu; }
    QAction *duplicateItem() const { return m_duplicate; }
    QAction *deleteItem() const { return m_delete; }
    QAction *fieldsItem() const { return m_fieldsItem; }

    // Rebuilds the fields submenu and the items' states.
    void menuNeedsUpdate(QMenu *menu);
    QAction *getMenuItemForField(FormFields *field, QMenu *submenu);
    void formfieldListItemMenuSelected(QAction *item);
    void formfieldMenuSelected(QAction *item);
    bool validateMenuItem(QAction *item) const;

    // The row a right-click opened the menu on (-1: none).
    int clickedRow() const { return m_clickedRow; }
    FormFields *createChosenField() const { return m_createChosenField; }
    platform::ui::Sheet *valueSheet() const { return m_valueSheet; }
    QLineEdit *inputFieldTextField() const { return m_inputFieldTextField; }

signals:
    void duplicateRequested();
    void deleteRequested();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    bool clickedOnContactOrNothing() const;
    // Stores the sheet's value for every selected contact; false when the sheet must stay open.
    bool valueSheetDone();
    void datePickerForFormFieldFromAlertSelected();
    void datePickerChangedValue(const QDate &date);
    bool saveContext(platform::store::ManagedObjectContext *context);

    QPointer<QAbstractItemView> m_list;
    ContextProvider m_context;
    SelectionProvider m_selection;
    QPointer<QWidget> m_window;
    QMenu *m_menu = nullptr;
    QAction *m_duplicate = nullptr;
    QAction *m_delete = nullptr;
    QAction *m_fieldsItem = nullptr;
    int m_clickedRow = -1;
    QPersistentModelIndex m_clickedIndex;
    FormFields *m_createChosenField = nullptr;
    QPointer<platform::ui::Sheet> m_valueSheet;
    QPointer<QLineEdit> m_inputFieldTextField;
    QPointer<QMenu> m_fieldsDatePopover;
    QPointer<QCalendarWidget> m_datePicker;
    QDate m_pickedDate;
};
