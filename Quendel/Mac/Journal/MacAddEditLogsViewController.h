#pragma once

#include "Mac/Journal/MacAddEditCommonController.h"

#include "platform/store/ManagedObjectID.h"

class Log;
class ToDo;

// Adds, edits or clones one log, or turns a to-do into a log. The log lives in the editor's private child
// context of the main context; Save saves that context and then the main context, on the main thread, and
// reports the result to the owner. A save that fails keeps the editor open with its edits and says why.
class MacAddEditLogsViewController : public MacAddEditCommonController
{
    Q_OBJECT
public:
    static inline const QString AddLogTitle = QStringLiteral("Add Log");
    static inline const QString EditLogTitle = QStringLiteral("Edit Log");
    static inline const QString PrivateContextName = QStringLiteral("MacAddEditLogsPrivateContext");
    static inline const QString ReviewNagKey = QStringLiteral("ReviewNag");

    // A log to edit or to clone (in the main context), or null for a new one.
    MacAddEditLogsViewController(Log *log, bool isClone, QWidget *parent = nullptr);
    // A new log made from a to-do.
    MacAddEditLogsViewController(Log *log, ToDo *todo, QWidget *parent = nullptr);
    ~MacAddEditLogsViewController() override;

    // The log being edited, a record of the private context, once set up.
    Log *existingLog() const { return m_existingLog; }
    bool isClone() const { return m_isClone; }
    bool dateChanged() const { return m_dateChanged; }

    void awakeFromNib() override;

    void dateButtonClicked(QWidget *sender) override;
    void timeButtonClicked(QWidget *sender) override;
    void datePickerChanged(QWidget *sender) override;
    void timePickerChanged(QWidget *sender) override;
    void titleButtonClicked(QWidget *sender) override;
    void locationButtonClicked(QWidget *sender) override;
    void saveButtonPressed(QWidget *sender) override;

    // Choices of the pickers.
    bool respondsToSelectedLogTitle() const override { return true; }
    void selectedLogTitle(LogTitle *title, bool shouldClosePopover) override;
    void selectedLocationItem(Location *location) override;

    // The date shown and stored; for the owner's and the tests' use.
    QDateTime logDate() const;
    void setLogDateFromEditor(const QDateTime &date);

protected:
    platform::store::ManagedObject *editedRecord() const override;

private:
    void makeRecord();
    void refreshFields();

    platform::store::ManagedObjectID m_sourceLogID;
    platform::store::ManagedObjectID m_todoID;
    Log *m_existingLog = nullptr;
    bool m_isClone = false;
    bool m_dateChanged = false;
};
