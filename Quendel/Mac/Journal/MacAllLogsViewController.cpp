#include "Mac/Journal/MacAllLogsViewController.h"

#include "Mac/Journal/MacAddEditLogsViewController.h"

#include "QuendelKit/Entities/Log.h"
#include "QuendelKit/Entities/LogTitle.h"

MacAllLogsViewController::MacAllLogsViewController(ContextPtr context, QWidget *parent)
    : JournalSectionViewController(
          Setup{
              .nibName = NibName,
              .windowTitle = QStringLiteral("Quendel - Logs"),
              .titleEntity = TitlesSidebarController::LogTitleEntity,
              .dateKey = QStringLiteral("logDate"),
              .titleKey = QStringLiteral("title"),
              .listName = ListName,
              .outlineName = QStringLiteral("allLogsOutlineView"),
              .fillerText = FillerText,
              .menuName = QStringLiteral("Log menu"),
              .emailLastInMenu = false,
              .recordNoun = QStringLiteral("Log"),
              .deleteDefaultsKey = DeleteLogDefaultsKey,
              .emailSubjectFormat = EmailSubjectFormat,
              .noteWidthInset = NoteWidthInset,
              .contactPageTab = ContactPageLogsTab,
              .loadPageName = QStringLiteral("MacAllLogs"),
              .addEventName = QStringLiteral("ShowAddLog"),
              .addEventPage = QStringLiteral("AllLogs"),
              .followsGroupChange = true,
          },
          std::make_unique<LogsListDataSource>(context, nullptr), context, parent)
{
}

MacAllLogsViewController::~MacAllLogsViewController() = default;

Log *MacAllLogsViewController::reassignObject() const
{
    return static_cast<Log *>(reassignRecord());
}

bool MacAllLogsViewController::isRecord(const platform::store::ManagedObject *object) const
{
    return dynamic_cast<const Log *>(object) != nullptr;
}

JournalSectionViewController::RecordFacts MacAllLogsViewController::factsOf(platform::store::ManagedObject *record) const
{
    auto *log = static_cast<Log *>(record);
    const LogTitle *title = log->title();
    return {log->logDate(), log->person(), title ? title->title() : QString(), log->logNote()};
}

void MacAllLogsViewController::setPersonOf(platform::store::ManagedObject *record, Person *person)
{
    static_cast<Log *>(record)->setPerson(person);
}

void MacAllLogsViewController::addRecordToEmailBody(platform::store::ManagedObject *record, QString &body) const
{
    static_cast<Log *>(record)->addLogToEmailBody(body);
}

MacAddEditCommonController *MacAllLogsViewController::makeEditor(platform::store::ManagedObject *record, bool isClone)
{
    return new MacAddEditLogsViewController(static_cast<Log *>(record), isClone);
}
