#include "ShellFixture.h"

#include "Classes/CoreDataControllerShared.h"
#include "Classes/ToDosListDataSource.h"
#include "Mac/ContactPage/ContactLogsViewControllerMac.h"
#include "Mac/ContactPage/ContactPageTabsMac.h"
#include "Mac/ContactPage/ContactTodoViewControllerMac.h"
#include "Mac/Contacts/ContactsListDisplaySource.h"
#include "Mac/Contacts/ContactsListItemModel.h"
#include "Mac/Contacts/MacContactsViewController.h"
#include "Mac/Journal/MacAddEditLogsViewController.h"
#include "Mac/Journal/QDListItemModel.h"
#include "Mac/Shell/CustomNSOutlineView.h"
#include "Mac/Shell/CustomNSOutlineViewWithDelegates.h"

#include "QuendelKit/Entities/Location.h"
#include "QuendelKit/Entities/Log.h"
#include "QuendelKit/Entities/LogTitle.h"
#include "QuendelKit/Entities/Person.h"
#include "QuendelKit/Entities/ToDo.h"
#include "QuendelKit/Entities/ToDoTitle.h"
#include "QuendelKit/QuendelModel.h"

#include "platform/core/StandardPaths.h"
#include "platform/store/ManagedObjectContext.h"
#include "platform/store/StoreCoordinator.h"
#include "platform/ui/Popover.h"

#include <QApplication>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>

#include <sys/resource.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <thread>

using namespace shell_test;

namespace {

using Kind = ContactsListDisplaySource::Item::Kind;

// Values that arrive from imports and other devices and must be shown as the characters they are.
struct HostileValue
{
    const char *what;
    QString text;
};

const QList<HostileValue> &hostileValues()
{
    static const QList<HostileValue> values = {
        {"image of an endless device", QStringLiteral("<img src=\"/dev/zero\">")},
        {"heading", QStringLiteral("<h1>Heading</h1>after")},
        {"table", QStringLiteral("<table><tr><td>cell</td><td>cell</td></tr></table>")},
        {"entities", QStringLiteral("Tom &amp; Jerry &lt;b&gt; &#65;")},
        {"right-to-left", QStringLiteral("\u202Eabc\u202C \u05E9\u05DC\u05D5\u05DD \u0645\u0631\u062D\u0628\u0627")},
        {"combining marks", QStringLiteral("Zo\u0308e\u0301\u0301\u0301\u0336")},
        {"NUL", QStringLiteral("before") + QChar(u'\0') + QStringLiteral("after")},
        {"100k characters", QStringLiteral("<b>") + QString(100000, QLatin1Char('w'))},
    };
    return values;
}

QString hostile(qsizetype i)
{
    return hostileValues().at(i % hostileValues().size()).text;
}

// While a case runs: a hang ends the process with a message, and a read that never ends runs out of address
// space instead of taking the machine's memory.
class HangGuard
{
public:
    explicit HangGuard(std::chrono::seconds limit)
    {
        getrlimit(RLIMIT_AS, &m_saved);
        rlimit capped = m_saved;
        const rlim_t cap = rlim_t(12) << 30;
        if (capped.rlim_cur == RLIM_INFINITY || capped.rlim_cur > cap)
            capped.rlim_cur = cap;
        setrlimit(RLIMIT_AS, &capped);
        m_thread = std::thread([this, limit] {
            std::unique_lock lock(m_mutex);
            if (!m_done.wait_for(lock, limit, [this] { return m_finished; })) {
                std::fputs("HostileDataTest: the application hung\n", stderr);
                std::_Exit(3);
            }
        });
    }
    ~HangGuard()
    {
        {
            std::lock_guard lock(m_mutex);
            m_finished = true;
        }
        m_done.notify_all();
        m_thread.join();
        setrlimit(RLIMIT_AS, &m_saved);
    }

private:
    rlimit m_saved{};
    std::mutex m_mutex;
    std::condition_variable m_done;
    bool m_finished = false;
    std::thread m_thread;
};

class HostileDataTest : public ShellTest
{
protected:
    struct Seeded
    {
        QString displayName;
        QString companyName;
        QString notes;
        QString logTitle;
        QString logNote;
        QString locationName;
        QString todoTitle;
        QString todoNote;
    };

    // The store as another device left it, written before the application starts: one contact per hostile
    // value with a log and a to-do, and one contact stored without a section letter.
    void seedStore()
    {
        markDataModelUpdateDone();
        const QString path = QDir(platform::core::StandardPaths::dataFolderPath())
                                 .filePath(CoreDataControllerShared::LocalStoreFileName);
        auto coordinator = std::make_shared<platform::store::StoreCoordinator>(QuendelModel::create());
        platform::core::QDError error;
        ASSERT_TRUE(coordinator->addPersistentStore(platform::store::StoreType::SQLite, path, {}, &error))
            << error.toString().toStdString();
        auto context = platform::store::ManagedObjectContext::create(
            platform::store::ManagedObjectContext::ConcurrencyType::MainQueue);
        context->setPersistentStoreCoordinator(coordinator);
        const QDateTime now = QDateTime::currentDateTimeUtc();
        for (qsizetype i = 0; i < hostileValues().size(); ++i) {
            auto *person = context->insertNewObject<Person>(Person::EntityName);
            person->setCompanyName(hostile(i + 1));
            person->setFirstName(hostile(i));
            person->setNotesField(hostile(i + 2));
            auto *logTitle = context->insertNewObject<LogTitle>(LogTitle::EntityName);
            logTitle->setTitle(hostile(i + 3));
            auto *location = context->insertNewObject<Location>(Location::EntityName);
            location->setLocationName(hostile(i + 4));
            auto *log = context->insertNewObject<Log>(Log::EntityName);
            log->setLogDate(now.addDays(-1));
            log->setLogNote(hostile(i + 5));
            log->setTitle(logTitle);
            log->setLogLocation(location);
            log->setPerson(person);
            auto *todoTitle = context->insertNewObject<ToDoTitle>(ToDoTitle::EntityName);
            todoTitle->setTitle(hostile(i + 6));
            auto *todo = context->insertNewObject<ToDo>(ToDo::EntityName);
            todo->setTodoStartDate(now.addDays(1));
            todo->setTodoNote(hostile(i + 7));
            todo->setTodotitle(todoTitle);
            todo->setPerson(person);
            todo->setTodoSectionTitle(ToDo::sectionCodeFor(todo, now));
            seeded.append({hostile(i), hostile(i + 1), hostile(i + 2), hostile(i + 3), hostile(i + 5), hostile(i + 4),
                           hostile(i + 6), hostile(i + 7)});
        }
        auto *keyless = context->insertNewObject<Person>(Person::EntityName);
        keyless->setFirstName(QStringLiteral("Keyless"));
        keyless->setNormalizedSectionLetter(QString());
        seeded.append({QStringLiteral("Keyless"), {}, {}, {}, {}, {}, {}, {}});
        ASSERT_TRUE(context->save(&error)) << error.toString().toStdString();
        context.reset();
        coordinator.reset();
    }

    static QList<QModelIndex> contactRows(QTreeView *list)
    {
        QList<QModelIndex> rows;
        for (QModelIndex index = list->model()->index(0, 0); index.isValid(); index = list->indexBelow(index)) {
            if (Kind(index.data(ContactsListItemModel::ItemKindRole).toInt()) == Kind::Contact)
                rows << index;
        }
        return rows;
    }

    // Every label on screen that shows one of the values shows it as plain text, and as the value itself.
    static void expectNoLabelReadsMarkup(const char *where)
    {
        for (QWidget *top : QApplication::topLevelWidgets()) {
            QList<QLabel *> labels = top->findChildren<QLabel *>();
            if (auto *label = qobject_cast<QLabel *>(top))
                labels << label;
            for (QLabel *label : labels) {
                const QString text = label->text();
                bool userData = false;
                for (const HostileValue &value : hostileValues())
                    userData =
                        userData || (!text.isEmpty() && (value.text.contains(text) || text.contains(value.text)));
                if (!userData)
                    continue;
                EXPECT_EQ(label->textFormat(), Qt::PlainText)
                    << where << ": label " << label->objectName().toStdString() << " reads its text as markup";
            }
        }
    }

    static void clickRow(QTreeView *view, const QModelIndex &index, bool twice = false)
    {
        view->scrollTo(index);
        const QPoint at = view->visualRect(index).center();
        QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, at);
        // A double click follows a press on the same row, as a user's does.
        if (twice)
            QTest::mouseDClick(view->viewport(), Qt::LeftButton, {}, at);
    }

    // The data rows (not section headings) of a contact page list.
    static QList<QModelIndex> dataRows(QAbstractItemModel *model)
    {
        QList<QModelIndex> rows;
        for (int s = 0; s < model->rowCount(); ++s) {
            const QModelIndex section = model->index(s, 0);
            for (int r = 0; r < model->rowCount(section); ++r)
                rows << model->index(r, 0, section);
        }
        return rows;
    }

    template <typename Pane> static Pane *paneOf(MacContactsViewController *contacts, int tab)
    {
        auto *holder = dynamic_cast<ContactPagePane *>(contacts->tabController(tab));
        return holder ? qobject_cast<Pane *>(holder->pane()) : nullptr;
    }

    QList<Seeded> seeded;
};

TEST_F(HostileDataTest, NamesTitlesAndNotesFromElsewhereAreShownAsTheCharactersTheyAre)
{
    seedStore();
    ASSERT_FALSE(HasFatalFailure());
    HangGuard guard(std::chrono::seconds(240));

    // The launch completes with every contact in the store, the one without a section letter under "#".
    AppDelegate delegate(factory());
    delegate.setExitHandler([this](int code) { exits << code; });
    delegate.launch();
    ASSERT_TRUE(delegate.isLaunchComplete());
    MacContactsViewController *contacts = delegate.contactsViewController();
    ASSERT_NE(contacts, nullptr);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(delegate.window()));
    QTreeView *list = contacts->contactsOutlineView();
    const qsizetype count = seeded.size();
    ASSERT_TRUE(QTest::qWaitFor([&] { return contactRows(list).size() == count; }))
        << contactRows(list).size() << " of " << count << " listed";
    EXPECT_EQ(contacts->contactsListSource()->text().footerText, QStringLiteral("%1 Contacts").arg(count));
    QModelIndex keylessRow;
    for (const QModelIndex &row : contactRows(list)) {
        if (row.data().toString() == QStringLiteral("Keyless"))
            keylessRow = row;
    }
    ASSERT_TRUE(keylessRow.isValid());
    EXPECT_EQ(keylessRow.parent().data().toString(), ContactsListDisplaySource::OtherSectionKey);
    list->viewport()->grab();
    expectNoLabelReadsMarkup("contacts list");

    for (qsizetype i = 0; i < hostileValues().size(); ++i) {
        SCOPED_TRACE(hostileValues().at(i).what);
        const Seeded &expected = seeded.at(i);
        QModelIndex row;
        for (const QModelIndex &candidate : contactRows(list))
            if (candidate.data().toString() == expected.displayName)
                row = candidate;
        ASSERT_TRUE(row.isValid());

        // The list row and the page header.
        clickRow(list, row);
        ASSERT_TRUE(QTest::qWaitFor([&] { return contacts->displayNameLabel()->text() == expected.displayName; }));
        EXPECT_EQ(contacts->companyNameLabel()->text(), expected.companyName);
        EXPECT_EQ(contacts->displayNameLabel()->textFormat(), Qt::PlainText);
        EXPECT_EQ(contacts->companyNameLabel()->textFormat(), Qt::PlainText);
        list->viewport()->grab();
        contacts->grab();
        expectNoLabelReadsMarkup("contact page header");

        // The Logs tab: its row, and the log's editor opened from it.
        QTest::mouseClick(contacts->tabButton(MacContactsViewController::LogsTab), Qt::LeftButton);
        auto *logs = paneOf<ContactLogsViewControllerMac>(contacts, MacContactsViewController::LogsTab);
        ASSERT_NE(logs, nullptr);
        ASSERT_TRUE(QTest::qWaitFor([&] { return dataRows(logs->outlineView()->model()).size() == 1; }));
        const QModelIndex logRow = dataRows(logs->outlineView()->model()).first();
        EXPECT_TRUE(logRow.data().toString().contains(expected.logTitle));
        EXPECT_TRUE(logRow.data().toString().contains(expected.logNote));
        logs->grab();
        clickRow(logs->outlineView(), logRow, true);
        ASSERT_TRUE(QTest::qWaitFor([&] { return logs->mypopover() && logs->mypopover()->isShown(); }));
        auto *editor = qobject_cast<MacAddEditLogsViewController *>(logs->mypopover()->contentWidget());
        ASSERT_NE(editor, nullptr);
        EXPECT_EQ(editor->nameField()->text(), expected.displayName);
        EXPECT_EQ(editor->titleTextField()->text(), expected.logTitle);
        EXPECT_EQ(editor->locationTextField()->text(), expected.locationName);
        EXPECT_EQ(editor->notesTextView()->toPlainText(), expected.logNote);
        for (QLabel *field : {editor->nameField(), editor->titleTextField(), editor->locationTextField()})
            EXPECT_EQ(field->textFormat(), Qt::PlainText) << field->objectName().toStdString();
        logs->mypopover()->grab();
        expectNoLabelReadsMarkup("log editor");
        logs->mypopover()->closePopover();

        // The ToDos tab.
        QTest::mouseClick(contacts->tabButton(MacContactsViewController::ToDosTab), Qt::LeftButton);
        auto *todos = paneOf<ContactTodoViewControllerMac>(contacts, MacContactsViewController::ToDosTab);
        ASSERT_NE(todos, nullptr);
        ASSERT_TRUE(QTest::qWaitFor([&] { return dataRows(todos->outlineView()->model()).size() == 1; }));
        const QModelIndex todoRow = dataRows(todos->outlineView()->model()).first();
        EXPECT_TRUE(todoRow.data().toString().contains(expected.todoTitle));
        EXPECT_TRUE(todoRow.data().toString().contains(expected.todoNote));
        todos->grab();

        // The Info tab: the notes are in a field as typed (a one-line field holds at most 32767 characters).
        QTest::mouseClick(contacts->tabButton(MacContactsViewController::InfoTab), Qt::LeftButton);
        QWidget *info = contacts->tabController(MacContactsViewController::InfoTab)
                            ? contacts->tabController(MacContactsViewController::InfoTab)->view()
                            : nullptr;
        ASSERT_NE(info, nullptr);
        bool notesShown = expected.notes.size() > 32767;
        ASSERT_TRUE(QTest::qWaitFor([&] {
            for (QLineEdit *field : info->findChildren<QLineEdit *>())
                notesShown = notesShown || field->text() == expected.notes;
            return notesShown;
        }));
        info->grab();
        expectNoLabelReadsMarkup("info tab");
    }
    EXPECT_TRUE(exits.isEmpty());
}

} // namespace
