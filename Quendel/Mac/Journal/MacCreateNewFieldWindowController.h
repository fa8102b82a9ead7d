#pragma once

#include "platform/store/ManagedObjectContext.h"
#include "platform/ui/Sheet.h"
#include "platform/store/ManagedObjectID.h"

#include <QList>
#include <QPointer>
#include <QWidget>

#include <memory>

class FieldListValueDelegate;
class FieldValidation;
class FormFieldType;
class FormFields;
class FormFieldsList;
class QCheckBox;
class QComboBox;
class QDateTimeEdit;
class QLabel;
class QLineEdit;
class QListWidget;
class QListWidgetItem;
class QPushButton;
class QScrollArea;


// The owner of a field editor hears how it ended, after its sheet has closed.
class MacCreateNewFieldWCDelegate
{
public:
    virtual ~MacCreateNewFieldWCDelegate() = default;
    virtual void doneButtonPressed() {}
    virtual void cancelButtonPressed() {}
};

// The editor of one custom field definition: its name, its type (fixed once the field exists), a default
// that suits the type, the favourite flag, and for a list field its values with their order and the
// default among them. It works in a private child context of the context it is given; Done checks the
// field, then stores it in both contexts. The widget is the editor's content: it runs in a sheet of its
// own (beginSheetOnWindow) or inside another sheet that shows it in place of its own content.
class MacCreateNewFieldWindowController : public QWidget
{
    Q_OBJECT
public:
    using ContextPtr = std::shared_ptr<platform::store::ManagedObjectContext>;

    static inline const QString NibName = QStringLiteral("MacCreateNewFieldWindowController");
    static inline const QString PrivateContextName = QStringLiteral("MacCreateNewFieldPrivateContext");
    static inline const QString FormFieldListDragType = QStringLiteral("com.morvane.Quendel.FormFieldList");
    static inline const QString UpdatedPinColorUserFieldNotification = QStringLiteral("UpdatedPinColorUserField");
    static inline const QString DefaultPinColorChangeKey = QStringLiteral("DefaultPinColorChange");
    static inline const QString NoneItemTitle = QStringLiteral("None");

    // Positions of the type pop-up's items.
    enum TypeItem { TextItem = 0, ListItem = 1, NumberItem = 2, DateItem = 3, CurrencyItem = 4 };
    static constexpr int ShrunkViewHeight = 235;
    static constexpr int ShrunkTableHeight = 2;
    static constexpr int ExpandedViewHeight = 635;
    static constexpr int ExpandedTableHeight = 382;
    static constexpr int ListLayoutThreshold = 190;
    static constexpr int ViewWidth = 480;

    // `fieldObject` null: a new field. The field may live in `mainContext` or be null.
    MacCreateNewFieldWindowController(ContextPtr mainContext, FormFields *fieldObject, QWidget *parent = nullptr);
    ~MacCreateNewFieldWindowController() override;

    MacCreateNewFieldWCDelegate *delegate() const { return m_delegate; }
    void setDelegate(MacCreateNewFieldWCDelegate *delegate) { m_delegate = delegate; }

    // Shows the editor in a sheet of its own over `window`.
    void beginSheetOnWindow(QWidget *window);
    platform::ui::Sheet *sheet() const { return m_sheet; }

    // ---- Actions ----
    // True when the field was stored and the editor ended.
    bool doneButtonPressed();
    void cancelButtonPressed();
    void fieldTypePopupSelected(int index);
    void selectedDefaultListItem(int popupIndex);
    void listPlusButtonPressed();
    void listMinusButtonPressed();
    void favoriteButtonSelected();

    // ---- End-of-editing checks (true: the text may stand) ----
    bool defaultValueShouldEndEditing();
    bool listValueShouldEndEditing(int row, const QString &text);
    // A value row dropped between rows at `dropRow` (rows as before the move); true when the new order
    // was stored.
    bool acceptDrop(int fromRow, int dropRow);

    FormFieldsList *addListValueObjectWithText(const QString &title);
    void refreshDefaultListPopup();
    void saveDefaultValueField();
    void shrinkWindowToHideList();
    void expandWindowToShowList();

    // ---- State ----
    bool existingObject() const { return m_existingObject; }
    bool isPinColor() const { return m_isPinColor; }
    bool failedValidation() const { return m_failedValidation; }
    bool pinColorChangedDefaultValue() const { return m_pinColorChangedDefaultValue; }
    FormFields *fieldObject() const { return m_fieldObject; }
    platform::store::ManagedObjectContext *privateContext() const { return m_privateContext.get(); }
    ContextPtr mainContext() const { return m_mainContext; }
    QList<FormFieldsList *> listValueArray() const { return m_listValueArray; }
    int viewHeightConstraint() const { return m_viewHeight; }
    int fieldListTableHeightConstraint() const { return m_tableHeight; }
    qint32 validationType() const;

    QLineEdit *fieldNameTextField() const { return m_fieldNameTextField; }
    QComboBox *fieldTypePopupButton() const { return m_fieldTypePopupButton; }
    QLineEdit *defaultValueTextField() const { return m_defaultValueTextField; }
    QDateTimeEdit *defaultDatePicker() const { return m_defaultDatePicker; }
    QComboBox *defaultListPicker() const { return m_defaultListPicker; }
    QCheckBox *favoriteButton() const { return m_favoriteButton; }
    QPushButton *fieldListPlusButton() const { return m_fieldListPlusButton; }
    QPushButton *fieldListMinusButton() const { return m_fieldListMinusButton; }
    QListWidget *fieldListTableView() const { return m_fieldListTableView; }

signals:
    // The editor ended: true for Done, false for Cancel.
    void finished(bool done);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    friend class FieldListValueDelegate;

    void loadView();
    void awakeFromNib();
    void selectedFieldTypeText();
    void selectedFieldTypeList();
    void selectedFieldTypeNumber();
    void selectedFieldTypeDate();
    void selectedFieldTypeCurrency();
    void handleSelectionTypeWithString(const QString &typeName);
    void showDefaultTextField();
    void showDefaultDateField();
    void showDefaultListButton();
    void resizeWindow();
    void reloadListTable();
    void beginEditing();
    // Pushes the private context's changes into the main context, remembering what went there so that
    // Cancel can take it back. False when the save failed (nothing moved).
    bool pushPrivateChanges();
    void discardPushedChanges();
    void endEditor(bool done);
    void showAlert(const QString &title, const QString &message);

    ContextPtr m_mainContext;
    ContextPtr m_privateContext;
    std::unique_ptr<FieldValidation> m_fieldValidation;
    FieldListValueDelegate *m_listDelegate = nullptr;
    bool m_checkingDefault = false;
    FormFields *m_fieldObject = nullptr;
    MacCreateNewFieldWCDelegate *m_delegate = nullptr;
    QList<FormFieldType *> m_listOfTypes;
    QList<FormFields *> m_existingFields;
    QList<FormFieldsList *> m_listValueArray;
    QList<platform::store::ManagedObjectID> m_pushedInserted;
    QList<platform::store::ManagedObjectID> m_pushedChanged;
    QPointer<platform::ui::Sheet> m_sheet;

    bool m_alreadyLoadedView = false;
    bool m_existingObject = false;
    bool m_isPinColor = false;
    bool m_failedValidation = false;
    bool m_pinColorChangedDefaultValue = false;
    bool m_ended = false;
    bool m_refreshingPopup = false;
    bool m_reloadingTable = false;
    int m_viewHeight = ExpandedViewHeight;
    int m_tableHeight = ExpandedTableHeight;

    QLineEdit *m_fieldNameTextField = nullptr;
    QComboBox *m_fieldTypePopupButton = nullptr;
    QLineEdit *m_defaultValueTextField = nullptr;
    QDateTimeEdit *m_defaultDatePicker = nullptr;
    QComboBox *m_defaultListPicker = nullptr;
    QCheckBox *m_favoriteButton = nullptr;
    QLabel *m_listLabel = nullptr;
    QPushButton *m_fieldListMinusButton = nullptr;
    QPushButton *m_fieldListPlusButton = nullptr;
    QListWidget *m_fieldListTableView = nullptr;
    QWidget *m_fieldListScrollView = nullptr;
    QPushButton *m_doneButton = nullptr;
    QPushButton *m_cancelButton = nullptr;
};
