#pragma once

#include "Mac/Journal/MacCreateNewFieldWindowController.h"
#include "Mac/Journal/MacEditQDGenericListVC.h"
#include "Mac/Email/MacAddEditEmailTemplateVC.h"
#include "Mac/Map/AddLocationViewControllerMac.h"

#include <QPointer>

#include <functional>

class EmailTemplate;
class FormFields;
class Location;

// The list editor of records that have an editor of their own (saved locations, custom field definitions,
// e-mail templates): each row shows a name and a detail, and the add button and a row's disclosure button
// open the record's editor in the same sheet, in place of the list. A double-click on a custom field hands
// the values the contacts have for it to the e-mail hand-off.
class MacEditLocationsListWC : public MacEditQDGenericListVC,
                               public MacCreateNewFieldWCDelegate,
                               public AddLocationItemDelegate
{
    Q_OBJECT
public:
    static inline const QString NibName = QStringLiteral("MacEditLocationsListWC");
    static inline const QString FormFieldsEntity = QStringLiteral("FormFields");
    static inline const QString LocationEntity = QStringLiteral("Location");
    static inline const QString EmailTemplateEntity = QStringLiteral("EmailTemplate");
    static inline const QString ExportSubjectFormat = QStringLiteral("Quendel Field Values - %1");
    static constexpr int NewFieldEditorHeight = 215;

    // Hands a subject and an HTML body to the user's mail program.
    using EmailHandOff = std::function<void(const QString &subject, const QString &html)>;

    MacEditLocationsListWC(ContextPtr context, const QString &entityName, const QString &nameKey,
                           const QString &sortingKey, const QString &detailKey, QWidget *parent = nullptr);
    ~MacEditLocationsListWC() override;

    QString detailKey() const { return m_detailKey; }
    // The detail text a row shows for `record`.
    QString detailText(platform::store::ManagedObject *record) const;

    void addButtonPressed() override;
    void doubleClickAction() override;
    void disclosureButtonSelected(int row);
    void presentFormFieldsVCWithField(FormFields *field);
    void presentAddEditLocationVCWithLocation(Location *location);
    void presentAddEditTemplateVCWithLocation(EmailTemplate *emailTemplate);
    void resizeWindowForContentSize(int width, int height);

    // The export of a field's values: one line per value, newest first, each "name: value <br>".
    static QString exportTextForField(FormFields *field);
    void setEmailHandOff(EmailHandOff handOff) { m_emailHandOff = std::move(handOff); }

    MacCreateNewFieldWindowController *fieldWC() const { return m_fieldWC; }
    AddLocationViewControllerMac *addLocation() const { return m_addLocation; }
    MacAddEditEmailTemplateVC *addTemplate() const { return m_addTemplate; }
    bool isShowingEditor() const;
    QSize contentSize() const { return m_contentSize; }

    // MacCreateNewFieldWCDelegate
    void doneButtonPressed() override;
    void cancelButtonPressed() override;

    // AddLocationItemDelegate
    void addedNewLocationItem(Location *location) override;
    void updatedExistingLocationItem(Location *location) override;
    void backButtonSelected() override;

protected:
    int columnCount() const override { return 3; }
    void fillRow(QTreeWidgetItem *item, platform::store::ManagedObject *record, int row) override;
    void afterReload() override;

private:
    // Whether the record kind has an editor in this program.
    bool hasRecordEditor() const;
    void showList(bool reload);
    // Shows `editor` in the sheet in place of the list, `height` high.
    void showEditor(QWidget *editor, int height);

    QString m_detailKey;
    QPointer<MacCreateNewFieldWindowController> m_fieldWC;
    QPointer<AddLocationViewControllerMac> m_addLocation;
    QPointer<MacAddEditEmailTemplateVC> m_addTemplate;
    EmailHandOff m_emailHandOff;
    QSize m_contentSize;
};
