#pragma once

#include "Mac/ContactPage/ContactJournalTabController.h"

#include "Classes/LogsListDataSource.h"

#include <memory>

class CommonListCellView;
class Log;

// The Logs tab of a contact's page: the contact's logs in month sections, newest first. It opens a log in
// the log editor in a popover by its row, adds and clones logs in an editor sheet, and deletes a log,
// asking first unless the user turned the question off. New and changed rows arrive through the list
// model when the main context saves.
class ContactLogsViewControllerMac : public ContactJournalTabController
{
    Q_OBJECT
public:
    static inline const QString NibName = QStringLiteral("ContactLogsViewControllerMac");
    static inline const QString DeleteLogDefaultsKey = QStringLiteral("defaults_delete_log");
    static constexpr int EmptyNoteRowHeight = 70;
    static constexpr int OneLineNoteRowHeight = 70;
    static constexpr int LongNoteRowHeight = 80;
    static constexpr int NoteWidthInset = 25;

    explicit ContactLogsViewControllerMac(Person *person, QWidget *parent = nullptr);
    ~ContactLogsViewControllerMac() override;

    LogsListDataSource *logsListDataSource() const { return static_cast<LogsListDataSource *>(listDataSource()); }

    KeyDelegateKinds keyDelegateKinds() const override
    {
        return KeyDelegateKind::CommonListViewMac | KeyDelegateKind::ContactLogsViewControllerMac;
    }

    int heightOfRowByItem(const QModelIndex &index) const override;
    // The height a row needs for its note in a cell of width `cellWidth`.
    int calculateIdealHeightForCell(CommonListCellView *cell, const QModelIndex &index, int cellWidth) const;

    void doubleClickAction(const QModelIndex &index) override;
    void spaceBarPressedWithEvent(QKeyEvent *event) override;
    void showAddLogContactSheet(QObject *sender) override;
    void deleteSelectedLog();

protected:
    bool isRecord(const platform::store::ManagedObject *object) const override;
    Person *personOf(platform::store::ManagedObject *record) const override;
    MacAddEditCommonController *makeEditor(platform::store::ManagedObject *record, bool isClone) override;

private:
    Log *logAt(const QModelIndex &index) const;

    mutable std::unique_ptr<CommonListCellView> m_prototypeCell;
};
