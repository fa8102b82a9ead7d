#include "Mac/Journal/MacEditLocationsListWC.h"

#include "Classes/EmailHandoff.h"
#include "Mac/Email/MacAddEditEmailTemplateVC.h"

#include "QuendelKit/Entities/EmailTemplate.h"
#include "QuendelKit/Entities/FormFieldType.h"
#include "QuendelKit/Entities/Location.h"
#include "QuendelKit/Entities/FormFields.h"
#include "QuendelKit/Entities/Person.h"
#include "QuendelKit/Entities/UserFields.h"

#include "platform/store/ManagedObject.h"
#include "platform/ui/Sheet.h"

#include <QHeaderView>
#include <QLineEdit>
#include <QPushButton>
#include <QStackedWidget>
#include <QToolButton>
#include <QTreeWidgetItem>

#include <algorithm>

using platform::store::ManagedObject;

MacEditLocationsListWC::MacEditLocationsListWC(ContextPtr context, const QString &entityName, const QString &nameKey,
                                               const QString &sortingKey, const QString &detailKey, QWidget *parent)
    : MacEditQDGenericListVC(std::move(context), NibName, entityName, nameKey, sortingKey, parent),
      m_detailKey(detailKey)
{
    m_tableView->setColumnCount(columnCount());
    m_tableView->header()->setStretchLastSection(false);
    m_tableView->header()->setSectionResizeMode(0, QHeaderView::Stretch);
    m_tableView->header()->setSectionResizeMode(1, QHeaderView::Stretch);
    m_tableView->header()->setSectionResizeMode(2, QHeaderView::ResizeToContents);
    m_addButton->setEnabled(hasRecordEditor());
    m_emailHandOff = [](const QString &subject, const QString &html) {
        EmailHandoff::sendEmail(subject, html, {}, {}, true, false);
    };
    reloadRecords();
}

MacEditLocationsListWC::~MacEditLocationsListWC() = default;

bool MacEditLocationsListWC::hasRecordEditor() const
{
    return m_entityName == FormFieldsEntity || m_entityName == LocationEntity || m_entityName == EmailTemplateEntity;
}

QString MacEditLocationsListWC::detailText(ManagedObject *record) const
{
    if (!record)
        return QString();
    if (m_entityName == FormFieldsEntity) {
        auto *field = dynamic_cast<FormFields *>(record);
        return field && field->fieldtype() ? field->fieldtype()->fieldTypeName() : QString();
    }
    if (m_entityName == EmailTemplateEntity) {
        const QVariantMap properties = record->value(QStringLiteral("templateProperties")).toMap();
        return properties.value(m_detailKey).toString();
    }
    return record->value(m_detailKey).toString();
}

void MacEditLocationsListWC::fillRow(QTreeWidgetItem *item, ManagedObject *record, int)
{
    const QString name = nameOf(record);
    item->setText(0, name);
    item->setText(1, detailText(record));
    const QString tip = m_entityName == FormFieldsEntity ? QStringLiteral("Double-click to export Field data")
                                                         : QStringLiteral("Double-click to edit name");
    item->setToolTip(0, tip);
    item->setToolTip(1, tip);
}

void MacEditLocationsListWC::afterReload()
{
    for (int row = 0; row < m_tableView->topLevelItemCount(); ++row) {
        QTreeWidgetItem *item = m_tableView->topLevelItem(row);
        auto *disclosure = new QToolButton(m_tableView);
        disclosure->setText(QStringLiteral("›"));
        disclosure->setAccessibleName(QStringLiteral("Edit %1").arg(item->text(0)));
        disclosure->setEnabled(hasRecordEditor());
        connect(disclosure, &QToolButton::clicked, this, [this, disclosure] {
            for (int at = 0; at < m_tableView->topLevelItemCount(); ++at)
                if (m_tableView->itemWidget(m_tableView->topLevelItem(at), 2) == disclosure)
                    disclosureButtonSelected(at);
        });
        m_tableView->setItemWidget(item, 2, disclosure);
    }
}

void MacEditLocationsListWC::addButtonPressed()
{
    if (m_entityName == FormFieldsEntity)
        presentFormFieldsVCWithField(nullptr);
    else if (m_entityName == LocationEntity)
        presentAddEditLocationVCWithLocation(nullptr);
    else if (m_entityName == EmailTemplateEntity)
        presentAddEditTemplateVCWithLocation(nullptr);
}

void MacEditLocationsListWC::disclosureButtonSelected(int row)
{
    ManagedObject *record = m_records.value(row);
    if (!record)
        return;
    if (m_entityName == FormFieldsEntity)
        presentFormFieldsVCWithField(dynamic_cast<FormFields *>(record));
    else if (m_entityName == LocationEntity)
        presentAddEditLocationVCWithLocation(dynamic_cast<Location *>(record));
    else if (m_entityName == EmailTemplateEntity)
        presentAddEditTemplateVCWithLocation(dynamic_cast<EmailTemplate *>(record));
}

void MacEditLocationsListWC::showEditor(QWidget *editor, int height)
{
    m_contentSize = size();
    m_stack->addWidget(editor);
    m_stack->setCurrentWidget(editor);
    resizeWindowForContentSize(std::max(editor->sizeHint().width(), 420), height);
}

void MacEditLocationsListWC::presentAddEditLocationVCWithLocation(Location *location)
{
    if (isShowingEditor())
        return;
    auto *editor = new AddLocationViewControllerMac(AddLocationViewControllerMac::NibName, m_context, m_stack);
    editor->setLocationObject(location);
    editor->setDelegate(this);
    m_addLocation = editor;
    m_contentSize = size();
    m_stack->addWidget(editor);
    m_stack->setCurrentWidget(editor);
    editor->awakeFromNib();
    const QSize hint = editor->sizeHint();
    resizeWindowForContentSize(std::max(hint.width(), 420), std::max(hint.height(), 360));
    editor->locationNameTextField()->setFocus();
}

void MacEditLocationsListWC::presentAddEditTemplateVCWithLocation(EmailTemplate *emailTemplate)
{
    if (isShowingEditor())
        return;
    auto *editor = new MacAddEditEmailTemplateVC(emailTemplate, m_context, m_stack);
    connect(editor, &MacAddEditEmailTemplateVC::doneButtonPressedSignal, this, [this] { showList(true); });
    connect(editor, &MacAddEditEmailTemplateVC::cancelButtonPressedSignal, this, [this] { showList(false); });
    m_addTemplate = editor;
    showEditor(editor, std::max(editor->sizeHint().height(), 360));
}

void MacEditLocationsListWC::addedNewLocationItem(Location *)
{
    showList(true);
}

void MacEditLocationsListWC::updatedExistingLocationItem(Location *)
{
    showList(true);
}

void MacEditLocationsListWC::backButtonSelected()
{
    showList(false);
}

void MacEditLocationsListWC::doubleClickAction()
{
    QTreeWidgetItem *item = m_tableView->currentItem();
    if (!item)
        return;
    if (m_entityName == FormFieldsEntity && m_emailHandOff) {
        auto *field = dynamic_cast<FormFields *>(m_records.value(m_tableView->indexOfTopLevelItem(item)));
        if (field)
            m_emailHandOff(ExportSubjectFormat.arg(field->formFieldName()), exportTextForField(field));
        return;
    }
    MacEditQDGenericListVC::doubleClickAction();
}

QString MacEditLocationsListWC::exportTextForField(FormFields *field)
{
    if (!field)
        return QString();
    QList<UserFields *> values = field->userfields();
    std::stable_sort(values.begin(), values.end(),
                     [](UserFields *a, UserFields *b) { return a->modifiedAt() > b->modifiedAt(); });
    QString text;
    for (UserFields *value : values) {
        const QString name = value->person() ? value->person()->displayName() : QString();
        // Names and values are the user's text, never markup.
        text += QStringLiteral("%1: %2 <br>").arg(name.toHtmlEscaped(), value->getFormattedStringValue().toHtmlEscaped());
    }
    return text;
}

bool MacEditLocationsListWC::isShowingEditor() const
{
    return m_stack->currentWidget() != m_listView;
}

void MacEditLocationsListWC::presentFormFieldsVCWithField(FormFields *field)
{
    if (isShowingEditor())
        return;
    auto *editor = new MacCreateNewFieldWindowController(m_context, field, m_stack);
    editor->setDelegate(this);
    m_fieldWC = editor;
    m_contentSize = size();
    m_stack->addWidget(editor);
    m_stack->setCurrentWidget(editor);
    const bool existingList = field && field->fieldtype() && field->fieldtype()->isFieldTypeList();
    resizeWindowForContentSize(editor->width(), existingList ? editor->viewHeightConstraint() : NewFieldEditorHeight);
    editor->fieldNameTextField()->setFocus();
}

void MacEditLocationsListWC::resizeWindowForContentSize(int width, int height)
{
    m_contentSize = QSize(width, height);
    if (QWidget *editor = m_stack->currentWidget(); editor && editor != m_listView) {
        // Inside the list's sheet the editor takes the sheet's height, not a fixed one of its own.
        editor->setMinimumHeight(0);
        editor->setMaximumHeight(QWIDGETSIZE_MAX);
    }
    if (m_sheet) {
        const QPoint topLeft = m_sheet->geometry().topLeft();
        m_sheet->resize(std::max(width, m_sheet->minimumSizeHint().width()),
                        std::max(height, m_sheet->minimumSizeHint().height()));
        m_sheet->move(topLeft);
    }
}

void MacEditLocationsListWC::showList(bool reload)
{
    QWidget *editor = m_stack->currentWidget();
    m_stack->setCurrentWidget(m_listView);
    if (editor && editor != m_listView) {
        m_stack->removeWidget(editor);
        editor->deleteLater();
    }
    resizeWindowForContentSize(420, 360);
    if (reload)
        reloadRecords();
}

void MacEditLocationsListWC::doneButtonPressed()
{
    showList(true);
}

void MacEditLocationsListWC::cancelButtonPressed()
{
    showList(false);
}
