#pragma once

#include "Mac/Journal/JournalSectionViewController.h"

#include "Classes/LogsListDataSource.h"

class Log;

// The Logs section of the main window: every log of every contact by month, newest first, beside the
// titles sidebar whose date ranges and titles narrow the list together with the toolbar search and group.
// A log is edited in a popover that steps through the list, added for a contact chosen in the contact
// picker, cloned, given to another contact or deleted, and its contact's page opened.
class MacAllLogsViewController : public JournalSectionViewController
{
    Q_OBJECT
public:
    static inline const QString NibName = QStringLiteral("MacAllLogsViewController");
    static inline const QString ListName = QStringLiteral("All Logs");
    static inline const QString FillerText = QStringLiteral("No Logs");
    static inline const QString EmailSubjectFormat = QStringLiteral("Quendel Log - %1");
    static inline const QString DeleteLogDefaultsKey = QStringLiteral("defaults_delete_log");
    static constexpr int NoteWidthInset = 35;
    static constexpr int ContactPageLogsTab = 1;

    explicit MacAllLogsViewController(ContextPtr context, QWidget *parent = nullptr);
    ~MacAllLogsViewController() override;

    LogsListDataSource *logsListDataSource() const { return static_cast<LogsListDataSource *>(listDataSource()); }
    CustomNSOutlineView *allLogsOutlineView() const { return outlineView(); }
    Log *reassignObject() const;

    KeyDelegateKinds keyDelegateKinds() const override
    {
        return KeyDelegateKind::CommonListViewMac | KeyDelegateKind::MacAllLogsViewController;
    }

    void newLogsButtonPressed(QWidget *sender) { newRecordButtonPressed(sender); }
    void deleteItem(const QModelIndex &index) { deleteRecord(index); }

protected:
    bool isRecord(const platform::store::ManagedObject *object) const override;
    RecordFacts factsOf(platform::store::ManagedObject *record) const override;
    void setPersonOf(platform::store::ManagedObject *record, Person *person) override;
    void addRecordToEmailBody(platform::store::ManagedObject *record, QString &body) const override;
    MacAddEditCommonController *makeEditor(platform::store::ManagedObject *record, bool isClone) override;
};
