#pragma once

#include "Mac/ContactPage/CommonListViewMac.h"
#include "Mac/Journal/MacCreateNewFieldWindowController.h"

#include "platform/core/NotificationCenter.h"
#include "platform/store/ManagedObjectID.h"

#include <QList>
#include <QPointer>

#include <memory>

class FormFields;
class QAction;
class QCalendarWidget;
class QMenu;
class QTableWidget;
class UserFields;

// The Fields tab of a contact's page: one row per custom field the contact has a value for, and one for
// every favourite field (shown with its default until the contact has a value of its own). Each row edits
// the value in place with a control that suits the field's type; the tab's add button offers the fields
// not yet on the contact and the editor of a new field; Delete takes a value away from the contact. It
// works in the contact's own context and saves it after every change.
class ContactFieldsViewControllerMac : public CommonListViewMac, public MacCreateNewFieldWCDelegate
{
    Q_OBJECT
public:
    static inline const QString NibName = QStringLiteral("ContactFieldsViewControllerMac");
    static inline const QString DeleteFieldDefaultsKey = QStringLiteral("defaults_delete_field");
    static inline const QString UpdatedUserFieldDerivativeObjectNotification =
        QStringLiteral("UpdatedUserFieldDerivativeObject");
    static inline const QString CloudKitChangeForObjectIDNotification = QStringLiteral("kCloudKitChangeForObjectID");
    static inline const QString FirstRowToolTip =
        QStringLiteral("You can edit Field attributes in Preferences -> Manage Data");
    static inline const QString NewFieldToolTip =
        QStringLiteral("Create new Field and attach it to this contact, or any other contact");
    static constexpr int RowHeight = 40;
    static constexpr int ListReloadDelayMs = 100;
    static constexpr int BeginEditingDelayMs = 200;

    // One entry of the add-field menu: a field (enabled when it can be added) or, last, "New Field".
    struct AddFieldMenuEntry
    {
        QString title;
        platform::store::ManagedObjectID fieldID; // null for "New Field"
        qint64 tag = 0;
        bool enabled = true;
        QString toolTip;
    };

    explicit ContactFieldsViewControllerMac(Person *person, QWidget *parent = nullptr);
    ~ContactFieldsViewControllerMac() override;

    void awakeFromNib() override;
    KeyDelegateKinds keyDelegateKinds() const override
    {
        return KeyDelegateKind::CommonListViewMac | KeyDelegateKind::ContactFieldsViewControllerMac;
    }

    // ---- Rows ----
    void fetchUsingArrayController();
    QList<FormFields *> arrangedObjects() const { return m_rows; }
    int arrangedObjectCount() const override { return int(m_rows.size()); }
    QTableWidget *sourceTableView() const { return m_sourceTableView; }
    // The value control (a line edit, a pop-up or a date button) of row `row`.
    QWidget *valueControlForRow(int row) const;
    // The text a row shows: the contact's value, else the field's default.
    QString rowText(int row) const;

    // ---- Adding ----
    static QList<AddFieldMenuEntry> addFieldMenuEntries(Person *person);
    void showAddFieldsOptions(QObject *sender) override;
    void newFieldSelected();
    void createUserFieldWithFormField(FormFields *field, bool insert);
    MacCreateNewFieldWindowController *createFieldWindow() const { return m_createFieldWindow; }

    // MacCreateNewFieldWCDelegate
    void doneButtonPressed() override;
    void cancelButtonPressed() override;

    // ---- Editing ----
    // The end of editing of a row's text control; always lets the editing end unless the text does not
    // read as the field's number or amount.
    bool controlTextShouldEndEditing(int row);
    void popupButtonChanged(int row);
    void dateFieldSelected(int row);
    void dateSelected(const QDate &date);
    void doubleClickAction(int row);

    // ---- Deleting ----
    void deleteSelectedRow();
    void deleteSelectedField();

    void selectFirstField();
    bool hasTableviewFirstSelection() const override;

    void reloadAfterSyncWithDerivativeFieldDone(const platform::core::Notification &notification);
    void cloudKitNotificationForUpdatedObjects(const platform::core::Notification &notification);

private:
    void reloadTable();
    QWidget *makeCell(int row, FormFields *field);
    int rowOfControl(const QWidget *control) const;
    // The contact's value of `field`, made (from the field's default when `withDefault`) for a favourite
    // field; null when the contact has none and the field is no favourite.
    UserFields *valueRecordForField(FormFields *field, bool withDefault);
    // Saves the contact's context; a failure is rolled back and reported.
    bool saveContext();
    void mainContextDidSave(const platform::core::Notification &notification);
    int rowOfField(const platform::store::ManagedObjectID &id) const;

    QTableWidget *m_sourceTableView = nullptr;
    QList<FormFields *> m_rows;
    QPointer<MacCreateNewFieldWindowController> m_createFieldWindow;
    QPointer<QMenu> m_dateMenu;
    QCalendarWidget *m_datePicker = nullptr;
    bool m_dontReloadTableView = false;
    bool m_selfSaving = false;
    bool m_refetchQueued = false;
    bool m_rebuilding = false;
    platform::core::ScopedObserver m_derivativeObserver;
    platform::core::ScopedObserver m_cloudObserver;
    platform::core::ScopedObserver m_saveObserver;
};
