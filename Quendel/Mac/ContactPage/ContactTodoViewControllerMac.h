#pragma once

#include "Mac/ContactPage/CommonOutlineViewController.h"
#include "Mac/Journal/MacAddEditCommonController.h"
#include "Mac/Journal/QDListItemModel.h"

#include "Classes/ToDosListDataSource.h"

#include <QPointer>

#include <memory>

class AddContactWindowController;
class ToDo;

// The ToDos tab of a contact's page: the contact's open to-dos in the Overdue, Next 7 Days and Upcoming
// sections, earliest first, re-sectioned as their days come. It deletes a to-do (asking first unless the
// user turned the question off) and opens a new log made from a to-do.
class ContactTodoViewControllerMac : public CommonOutlineViewController,
                                     public AddEditViewControllerDelegate,
                                     public QDListDataSourceDelegate
{
    Q_OBJECT
public:
    static inline const QString NibName = QStringLiteral("ContactTodoViewControllerMac");
    static inline const QString DeleteToDoDefaultsKey = QStringLiteral("defaults_delete_todo");
    static constexpr int EmptyNoteRowHeight = 70;
    static constexpr int LongNoteRowHeight = 80;
    static constexpr int NoteWidthInset = 45;

    explicit ContactTodoViewControllerMac(Person *person, QWidget *parent = nullptr);
    ~ContactTodoViewControllerMac() override;

    ToDosListDataSource *todoListDataSource() const { return m_source.get(); }
    QDListItemModel *listModel() const { return m_listModel; }

    KeyDelegateKinds keyDelegateKinds() const override
    {
        return KeyDelegateKind::CommonListViewMac | KeyDelegateKind::ContactTodoViewControllerMac;
    }

    int heightOfRowByItem(const QModelIndex &index) const override;

    void spaceBarPressedWithEvent(QKeyEvent *event) override;
    // A new log for the to-do of `index`, in an editor sheet.
    void displayAddTodoIntoLogWithItem(const QModelIndex &index);
    void addTodoIntoLogFromKeyboard();
    void deleteSelectedTodo();
    void deleteMenuItem() { deleteSelectedRow(); }

    // AddEditViewControllerDelegate
    void finishedViewController(MacAddEditCommonController *editor, const std::optional<QVariantMap> &changes) override;
    void rightButtonCalledInPopoverController(MacAddEditCommonController *) override {}
    void leftButtonCalledInPopoverController(MacAddEditCommonController *) override {}

    // QDListDataSourceDelegate (after the item model has applied the change)
    void updatedSourceObjects() override;
    void insertedNewSectionToSource(CommonListData *header, qint64 headerIndex) override;
    void addedObject(CommonListData *, CommonListData *, qint64) override {}
    void deletedSection(CommonListData *, qint64) override {}
    void deletedObjectItem(CommonListData *, qint64, quint64) override {}
    void moveObjectInSection(CommonListData *, qint64, qint64) override {}
    void moveObjectFromSection(CommonListData *fromHeader, CommonListData *toHeader, qint64 fromHeaderIndex,
                               qint64 toHeaderIndex, qint64 fromIndexInSection, qint64 toIndexInSection) override;

private:
    ToDo *todoAt(const QModelIndex &index) const;

    std::unique_ptr<ToDosListDataSource> m_source;
    QDListItemModel *m_listModel = nullptr;
    QPointer<AddContactWindowController> m_addWindowController;
};
