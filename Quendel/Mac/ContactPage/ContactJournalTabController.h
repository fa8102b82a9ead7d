#pragma once

#include "Mac/ContactPage/CommonOutlineViewController.h"
#include "Mac/Journal/MacAddEditCommonController.h"
#include "Mac/Journal/QDListItemModel.h"

#include "Classes/QDListDataSource.h"

#include "platform/ui/Sheet.h"

#include <QPointer>

#include <functional>
#include <memory>

class AddContactWindowController;

// What the Logs and ToDos tabs of a contact's page share: the contact's records from a list data source in
// sections, a record edited in the editor in a popover beside its row (stepping through the list) or added
// and cloned in an editor sheet, and a delete that asks first unless the user turned the question off.
class ContactJournalTabController : public CommonOutlineViewController,
                                    public AddEditViewControllerDelegate,
                                    public QDListDataSourceDelegate
{
    Q_OBJECT
public:
    ContactJournalTabController(const QString &nibName, Person *person, QWidget *parent = nullptr);
    ~ContactJournalTabController() override;

    QDListItemModel *listModel() const { return m_listModel; }
    QPointer<AddContactWindowController> addWindowController() const { return m_addWindowController; }

    void displayPopoverWithItem(const QModelIndex &index, bool replaceExistingPopover);
    void cloneObject(QObject *sender);
    bool canCloneRecords() const override { return true; }
    void cloneMenuItemSelected() override { cloneObject(nullptr); }
    void deleteMenuItem() { deleteSelectedRow(); }

    // AddEditViewControllerDelegate
    void finishedViewController(MacAddEditCommonController *editor, const std::optional<QVariantMap> &changes) override;
    void rightButtonCalledInPopoverController(MacAddEditCommonController *editor) override;
    void leftButtonCalledInPopoverController(MacAddEditCommonController *editor) override;

    // QDListDataSourceDelegate (after the item model has applied the change)
    void updatedSourceObjects() override;
    void insertedNewSectionToSource(CommonListData *header, qint64 headerIndex) override;
    void addedObject(CommonListData *, CommonListData *, qint64) override {}
    void deletedSection(CommonListData *, qint64) override {}
    void deletedObjectItem(CommonListData *, qint64, quint64) override {}
    void moveObjectInSection(CommonListData *, qint64, qint64) override {}
    void moveObjectFromSection(CommonListData *fromHeader, CommonListData *toHeader, qint64 fromHeaderIndex,
                               qint64 toHeaderIndex, qint64 fromIndexInSection, qint64 toIndexInSection) override;

protected:
    // Whether the object is one of the tab's records.
    virtual bool isRecord(const platform::store::ManagedObject *object) const = 0;
    virtual Person *personOf(platform::store::ManagedObject *record) const = 0;
    // A new editor of the record (null: a new record), not yet set up.
    virtual MacAddEditCommonController *makeEditor(platform::store::ManagedObject *record, bool isClone) = 0;

    // Shows the source's records in the list, under the accessible name `listName`; the tab keeps the source.
    void showRecords(std::unique_ptr<QDListDataSource> source, std::function<QString(const CommonListData &)> rowText,
                     const QString &fillerText, const QString &listName);
    QDListDataSource *listDataSource() const { return m_source.get(); }
    // The tab's record at a data row; null on a section header or outside the list.
    platform::store::ManagedObject *recordAt(const QModelIndex &index) const;
    void openEditorSheet(platform::store::ManagedObject *record, bool isClone, Person *person);
    void openSheet(QWidget *editor, platform::ui::Sheet::Completion completion);
    // Deletes the row under the mouse after asking "Delete <noun>", unless the question is turned off.
    void confirmDeleteSelectedRow(const QString &noun, const QString &defaultsKey);

private:
    // The data row after (+1) or before (-1) the selected one, passing over section headers.
    QModelIndex adjacentDataRow(int direction) const;

    std::unique_ptr<QDListDataSource> m_source;
    QDListItemModel *m_listModel = nullptr;
    QPointer<AddContactWindowController> m_addWindowController;
};
