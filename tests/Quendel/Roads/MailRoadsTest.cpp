// E-mails, calls and messages as a user sends them: a template written in the Preferences, the e-mail draft
// sheet of a contact, the Call button, and the report sent by e-mail. The desktop's mail program is a
// stand-in command on PATH that writes down what it was given.

#include "RoadsFixture.h"

#include "QuendelKit/Infra/QDFileLogger.h"
#include "QuendelKit/Settings/SharedSettingController.h"

#include "platform/core/UserDefaults.h"
#include "platform/mail/MailHandoff.h"

#include <QComboBox>
#include <QContextMenuEvent>
#include <QFile>
#include <QFileInfo>
#include <QListWidget>
#include <QPushButton>
#include <QTabBar>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QToolButton>

using namespace roads;

namespace {

class MailRoadsTest : public RoadTest
{
protected:
    void SetUp() override
    {
        RoadTest::SetUp();
        m_savedPath = qgetenv("PATH");
        qputenv("PATH", m_bin.path().toLocal8Bit() + ':' + m_savedPath);
        writeMailCommand(0);
        platform::mail::MailHandoff::shared().setCommandName(platform::mail::MailHandoff::defaultCommandName());
        platform::mail::setUrlOpener([this](const QUrl &url) {
            m_opened << url;
            return m_acceptUrls;
        });
    }

    void TearDown() override
    {
        platform::mail::setUrlOpener({});
        qputenv("PATH", m_savedPath);
        platform::ui::AlertPresenter::shared().clearAnswers();
        RoadTest::TearDown();
    }

    // The stand-in for the desktop's e-mail command: one argument a line into args.txt, then `exitCode`.
    void writeMailCommand(int exitCode)
    {
        QFile script(m_bin.filePath(QStringLiteral("xdg-email")));
        ASSERT_TRUE(script.open(QIODevice::WriteOnly | QIODevice::Truncate));
        script.write(QStringLiteral("#!/bin/sh\nfor a in \"$@\"; do printf '%s\\n' \"$a\"; done > \"%1\"\nexit %2\n")
                         .arg(argsPath())
                         .arg(exitCode)
                         .toUtf8());
        script.close();
        script.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        QFile::remove(argsPath());
    }
    QString argsPath() const { return m_bin.filePath(QStringLiteral("args.txt")); }
    QStringList handedArguments()
    {
        EXPECT_TRUE(QTest::qWaitFor([this] { return QFile::exists(argsPath()); }, 10000));
        QTest::qWait(100);
        QFile file(argsPath());
        if (!file.open(QIODevice::ReadOnly))
            return {};
        QStringList lines = QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'));
        if (!lines.isEmpty() && lines.last().isEmpty())
            lines.removeLast();
        return lines;
    }


    void addContact(const QString &first, const QString &last, const QString &email, const QString &phone)
    {
        QList<SheetField> more;
        if (!email.isEmpty())
            more << SheetField{QStringLiteral("Emails new"), email};
        if (!phone.isEmpty())
            more << SheetField{QStringLiteral("Phones new"), phone};
        addContactThroughTheSheet(first, last, more);
    }

    // Picks `title` from the pop-up menu on show.
    void chooseFromPopup(const QString &title)
    {
        ASSERT_TRUE(QTest::qWaitFor([] { return qobject_cast<QMenu *>(QApplication::activePopupWidget()); }, 3000));
        auto *menu = qobject_cast<QMenu *>(QApplication::activePopupWidget());
        QAction *chosen = nullptr;
        QStringList titles;
        for (QAction *action : menu->actions()) {
            titles << action->text();
            if (action->text().contains(title) && action->isEnabled())
                chosen = action;
        }
        ASSERT_NE(chosen, nullptr) << title.toStdString() << " not in " << titles.join(QLatin1Char('|')).toStdString();
        menu->setActiveAction(chosen);
        QTest::keyClick(menu, Qt::Key_Return);
        settle();
    }

    QStringList logRows()
    {
        click(widgetNamed<QPushButton>(QStringLiteral("Logs")));
        auto *logs = widgetNamed<QAbstractItemView>(QStringLiteral("Logs"));
        QTest::qWait(50);
        settle();
        return rowTexts(logs);
    }

    bool alertShown(const QString &title)
    {
        for (const platform::ui::ShownAlert &alert : platform::ui::AlertPresenter::shared().shownAlerts()) {
            if (alert.spec.messageText == title)
                return true;
        }
        return false;
    }

    QTemporaryDir m_bin;
    QByteArray m_savedPath;
    QList<QUrl> m_opened;
    bool m_acceptUrls = true;
};

TEST_F(MailRoadsTest, ATemplateWithATagTheContactLacksIsSentWithoutItAndLogged)
{
    start();
    addContact(QStringLiteral("Ann"), QStringLiteral("Lee"), QStringLiteral("ann@example.org"), QString());

    // The template: subject and body with tags, one of them (the company) missing for Ann.
    QWidget *preferences = openPreferencesPane(QStringLiteral("Templates"));
    ASSERT_NE(preferences, nullptr);
    click(widgetNamed<QPushButton>(QStringLiteral("Add Template"), preferences));
    typeInto(widgetNamed<QLineEdit>(QStringLiteral("Template name"), preferences), QStringLiteral("Welcome"), false);
    typeInto(widgetNamed<QLineEdit>(QStringLiteral("Template subject"), preferences), QStringLiteral("Hello "), false);
    click(widgetNamed<QPushButton>(QStringLiteral("Add Tag"), preferences));
    chooseFromPopup(QStringLiteral("First Name"));
    auto *body = widgetNamed<QPlainTextEdit>(QStringLiteral("Template text"), preferences);
    typeInto(body, QStringLiteral("Dear "), false);
    click(widgetNamed<QPushButton>(QStringLiteral("Add Tag"), preferences));
    chooseFromPopup(QStringLiteral("Company Name"));
    QTest::keyClicks(body, QStringLiteral(" team"));
    click(widgetNamed<QPushButton>(QStringLiteral("Save Template"), preferences));
    auto *templates = widgetNamed<QListWidget>(QStringLiteral("Email templates list"), preferences);
    ASSERT_NE(templates, nullptr);
    ASSERT_EQ(templates->count(), 1);
    EXPECT_EQ(templates->item(0)->text(), QStringLiteral("Welcome"));
    preferences->close();
    settle();

    // The draft for Ann: the template, and the missing company taken out.
    clickRow(contactsList(), QStringLiteral("Ann"));
    click(widgetNamed<QToolButton>(QStringLiteral("Email")));
    platform::ui::Sheet *draft = sheetOver(window());
    ASSERT_NE(draft, nullptr);
    EXPECT_EQ(widgetNamed<QLineEdit>(QStringLiteral("Email to"), draft)->text(), QStringLiteral("ann@example.org"));
    click(widgetNamed<QPushButton>(QStringLiteral("Templates"), draft));
    auto *picker = widgetNamed<QListWidget>(QStringLiteral("Templates"));
    ASSERT_NE(picker, nullptr);
    ASSERT_EQ(picker->count(), 1);
    platform::ui::AlertPresenter::shared().setNextAnswer(platform::ui::AlertAnswer::button(1));
    activateWindowOf(picker);
    QTest::mouseClick(picker->viewport(), Qt::LeftButton, {}, picker->visualItemRect(picker->item(0)).center());
    settle();
    ASSERT_TRUE(QTest::qWaitFor([&] { return alertShown(QStringLiteral("Missing Tags")); }, 3000));
    QTest::qWait(50);
    settle();
    EXPECT_EQ(widgetNamed<QLineEdit>(QStringLiteral("Email subject"), draft)->text(), QStringLiteral("Hello Ann"));
    EXPECT_EQ(widgetNamed<QPlainTextEdit>(QStringLiteral("Email text"), draft)->toPlainText(), QStringLiteral("Dear  team"));

    // Send: the mail program gets it all; the contact's Logs show it.
    click(widgetNamed<QPushButton>(QStringLiteral("Send Email"), draft));
    const QStringList args = handedArguments();
    EXPECT_EQ(args, (QStringList{QStringLiteral("--utf8"), QStringLiteral("--subject"), QStringLiteral("Hello Ann"),
                                 QStringLiteral("--body"), QStringLiteral("Dear  team"),
                                 QStringLiteral("mailto:ann@example.org")}));
    ASSERT_TRUE(QTest::qWaitFor([&] { return logRows().join(QLatin1Char('|')).contains(QStringLiteral("Welcome")); }, 5000))
        << logRows().join(QLatin1Char('|')).toStdString();

    // That log goes out by e-mail from its context menu, as text.
    QFile::remove(argsPath());
    auto *logs = widgetNamed<QAbstractItemView>(QStringLiteral("Logs"));
    const QModelIndex row = rowWithText(logs, QStringLiteral("Welcome"));
    ASSERT_TRUE(row.isValid());
    const QPoint at = logs->visualRect(row).center();
    QContextMenuEvent event(QContextMenuEvent::Mouse, at, logs->viewport()->mapToGlobal(at));
    QApplication::sendEvent(logs->viewport(), &event);
    chooseFromPopup(QStringLiteral("Email"));
    const QStringList logArgs = handedArguments();
    EXPECT_EQ(logArgs.value(2), QStringLiteral("Quendel Log - Ann Lee"));
    EXPECT_TRUE(logArgs.join(QLatin1Char('\n')).contains(QStringLiteral(" team")));
    EXPECT_FALSE(logArgs.join(QLatin1Char('\n')).contains(QStringLiteral("<br>")));
    EXPECT_EQ(logArgs.last(), QStringLiteral("mailto:"));
}

TEST_F(MailRoadsTest, AnEmailTheMailProgramRefusedIsNotLogged)
{
    writeMailCommand(3);
    start();
    addContact(QStringLiteral("Bo"), QStringLiteral("Ek"), QStringLiteral("bo@example.org"), QString());
    clickRow(contactsList(), QStringLiteral("Bo"));
    const QStringList before = logRows();
    click(widgetNamed<QToolButton>(QStringLiteral("Email")));
    platform::ui::Sheet *draft = sheetOver(window());
    ASSERT_NE(draft, nullptr);
    typeInto(widgetNamed<QLineEdit>(QStringLiteral("Email subject"), draft), QStringLiteral("Lost?"), false);
    click(widgetNamed<QPushButton>(QStringLiteral("Send Email"), draft));
    handedArguments();
    ASSERT_TRUE(QTest::qWaitFor([&] { return alertShown(QStringLiteral("Cannot send email")); }, 5000));
    EXPECT_EQ(logRows(), before);
}

TEST_F(MailRoadsTest, CallHandsTheTelUrlToTheDesktopAndLogsTheCall)
{
    platform::core::UserDefaults::standardUserDefaults()->setObject(QStringLiteral("settings_phone_use_phone_url"),
                                                                    QStringLiteral("settings_dialing_options"));
    start();
    addContact(QStringLiteral("Cy"), QStringLiteral("Fox"), QString(), QStringLiteral("+1 555 0100"));
    clickRow(contactsList(), QStringLiteral("Cy"));
    auto *call = widgetNamed<QToolButton>(QStringLiteral("Call"));
    ASSERT_NE(call, nullptr);
    EXPECT_EQ(call->toolTip(), QStringLiteral("Call Contact using iPhone over WiFi; you can change this in Preferences"));

    // No program for tel: the user is told, nothing is logged.
    m_acceptUrls = false;
    click(call);
    chooseFromPopup(QStringLiteral("+1 555 0100"));
    ASSERT_EQ(m_opened.size(), 1);
    EXPECT_EQ(m_opened.first().toString(QUrl::FullyEncoded), QStringLiteral("tel:+1%20555%200100"));
    EXPECT_TRUE(alertShown(QStringLiteral("Could not dial with iPhone")));
    EXPECT_FALSE(logRows().join(QLatin1Char('|')).contains(QStringLiteral("Auto-Add from Phone")));

    m_acceptUrls = true;
    click(widgetNamed<QToolButton>(QStringLiteral("Call")));
    chooseFromPopup(QStringLiteral("+1 555 0100"));
    ASSERT_EQ(m_opened.size(), 2);
    EXPECT_EQ(m_opened.last().toString(QUrl::FullyEncoded), QStringLiteral("tel:+1%20555%200100"));
    EXPECT_TRUE(logRows().join(QLatin1Char('|')).contains(QStringLiteral("Auto-Add from Phone")))
        << logRows().join(QLatin1Char('|')).toStdString();

    // Message: the contact's one number goes to the desktop's text messages, and the message is logged.
    click(widgetNamed<QToolButton>(QStringLiteral("Message")));
    ASSERT_EQ(m_opened.size(), 3);
    EXPECT_EQ(m_opened.last().toString(QUrl::FullyEncoded), QStringLiteral("sms:+1%20555%200100"));
    EXPECT_TRUE(logRows().join(QLatin1Char('|')).contains(QStringLiteral("Auto-Add from Message")))
        << logRows().join(QLatin1Char('|')).toStdString();
    platform::core::UserDefaults::standardUserDefaults()->removeObjectForKey(QStringLiteral("settings_dialing_options"));
}

TEST_F(MailRoadsTest, TheReportGoesOutByEmail)
{
    start();
    addContact(QStringLiteral("Di"), QStringLiteral("Gu"), QString(), QString());
    chooseMenuItem(window(), QStringLiteral("File"), QStringLiteral("Export Report…"));
    QWidget *pane = widgetNamed(QStringLiteral("Export Report"));
    ASSERT_NE(pane, nullptr);
    auto *type = widgetNamed<QComboBox>(QStringLiteral("Export type"), pane);
    auto *format = widgetNamed<QComboBox>(QStringLiteral("Export format"), pane);
    ASSERT_NE(format, nullptr);
    ASSERT_NE(type, nullptr);
    // The user picks from the two pop-ups.
    type->setCurrentIndex(3);
    ASSERT_GE(format->findText(QStringLiteral("Email")), 0);
    format->setCurrentIndex(format->findText(QStringLiteral("Email")));
    click(widgetNamed<QPushButton>(QStringLiteral("Export"), pane));
    const QStringList args = handedArguments();
    ASSERT_GE(args.size(), 4);
    EXPECT_EQ(args.at(1), QStringLiteral("--subject"));
    EXPECT_TRUE(args.at(2).startsWith(QStringLiteral("Quendel - Exported Data on "))) << args.at(2).toStdString();
    EXPECT_EQ(args.at(3), QStringLiteral("--body"));
    // The mail program gets the text the report shows, not its markup.
    EXPECT_TRUE(args.join(QLatin1Char('\n')).contains(QStringLiteral("Di Gu"))) << args.join(QLatin1Char('\n')).toStdString();
    EXPECT_FALSE(args.join(QLatin1Char('\n')).contains(QStringLiteral("<h4>")));
    EXPECT_EQ(args.last(), QStringLiteral("mailto:"));
}

TEST_F(MailRoadsTest, SuggestionsAndProblemReportsGoToTheMakerByEmail)
{
    start();
    chooseMenuItem(window(), QStringLiteral("Help"), QStringLiteral("Send Suggestions…"));
    QStringList args = handedArguments();
    ASSERT_GE(args.size(), 3);
    EXPECT_EQ(args.at(2), QStringLiteral("Suggestions - Quendel for Mac"));
    EXPECT_EQ(args.last(), QStringLiteral("mailto:suggestions@quendel.app"));

    // "Yes" attaches the activity log.
    QFile::remove(argsPath());
    platform::ui::AlertPresenter::shared().setNextAnswer(platform::ui::AlertAnswer::button(0));
    chooseMenuItem(window(), QStringLiteral("Help"), QStringLiteral("Report a Problem…"));
    args = handedArguments();
    ASSERT_GE(args.size(), 3);
    EXPECT_TRUE(alertShown(QStringLiteral("Attach Logs")));
    EXPECT_EQ(args.at(2), QStringLiteral("Bug Report - Quendel for Mac"));
    EXPECT_EQ(args.last(), QStringLiteral("mailto:support@quendel.app"));
    // The activity log goes along when there is one to send.
    const std::shared_ptr<QDFileLogger> logger = SharedSettingController::sharedSettings().qdFileLogger();
    const QString logFile = logger ? logger->currentLogFilePath() : QString();
    const qsizetype attach = args.indexOf(QStringLiteral("--attach"));
    if (!logFile.isEmpty() && QFileInfo(logFile).isFile()) {
        ASSERT_GE(attach, 0) << args.join(QLatin1Char('|')).toStdString();
        EXPECT_EQ(args.at(attach + 1), QFileInfo(logFile).absoluteFilePath());
    } else {
        EXPECT_LT(attach, 0);
    }

    // The help pages open in the browser.
    chooseMenuItem(window(), QStringLiteral("Help"), QStringLiteral("Quendel Help"));
    ASSERT_EQ(m_opened.size(), 1);
    EXPECT_EQ(m_opened.first().scheme(), QStringLiteral("https"));
}

TEST_F(MailRoadsTest, AToDoGoesOutByEmailFromItsContextMenu)
{
    start();
    addContact(QStringLiteral("Eve"), QStringLiteral("Ho"), QString(), QString());
    clickRow(contactsList(), QStringLiteral("Eve"));
    click(widgetNamed<QPushButton>(QStringLiteral("ToDos")));
    click(widgetNamed<QPushButton>(QStringLiteral("Add to ToDos")));
    platform::ui::Sheet *editor = sheetOver(window());
    ASSERT_NE(editor, nullptr);
    typeInto(widgetNamed<QPlainTextEdit>(QStringLiteral("Notes"), editor), QStringLiteral("Send the offer"), false);
    click(widgetNamed<QPushButton>(QStringLiteral("Save"), editor));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !sheetOver(window()); }, 5000));

    const auto emailRow = [&](QAbstractItemView *list) {
        ASSERT_NE(list, nullptr);
        ASSERT_TRUE(QTest::qWaitFor([&] { return rowWithText(list, QStringLiteral("Send the offer")).isValid(); }, 5000));
        const QPoint at = list->visualRect(rowWithText(list, QStringLiteral("Send the offer"))).center();
        QContextMenuEvent event(QContextMenuEvent::Mouse, at, list->viewport()->mapToGlobal(at));
        QApplication::sendEvent(list->viewport(), &event);
        chooseFromPopup(QStringLiteral("Email"));
        const QStringList args = handedArguments();
        EXPECT_EQ(args.value(2), QStringLiteral("Quendel ToDo - Eve Ho"));
        EXPECT_TRUE(args.join(QLatin1Char('\n')).contains(QStringLiteral("Send the offer")));
        EXPECT_EQ(args.last(), QStringLiteral("mailto:"));
        QFile::remove(argsPath());
    };
    // From the contact's ToDos tab, and from the ToDos section.
    emailRow(widgetNamed<QAbstractItemView>(QStringLiteral("ToDos")));
    chooseMenuItem(window(), QStringLiteral("View"), QStringLiteral("ToDos"));
    emailRow(widgetNamed<QAbstractItemView>(QStringLiteral("All ToDos")));
}

TEST_F(MailRoadsTest, ATemplateIsRenamedAndDeletedAndANamelessOneIsRefused)
{
    start();
    QWidget *preferences = openPreferencesPane(QStringLiteral("Templates"));
    ASSERT_NE(preferences, nullptr);
    auto *templates = widgetNamed<QListWidget>(QStringLiteral("Email templates list"), preferences);
    ASSERT_NE(templates, nullptr);
    EXPECT_FALSE(widgetNamed<QPushButton>(QStringLiteral("Edit Template"), preferences)->isEnabled());

    // Without a name the editor stays open and says why.
    click(widgetNamed<QPushButton>(QStringLiteral("Add Template"), preferences));
    click(widgetNamed<QPushButton>(QStringLiteral("Save Template"), preferences));
    EXPECT_TRUE(alertShown(QStringLiteral("No Name")));
    typeInto(widgetNamed<QLineEdit>(QStringLiteral("Template name"), preferences), QStringLiteral("Draft"), false);
    click(widgetNamed<QPushButton>(QStringLiteral("Save Template"), preferences));
    ASSERT_EQ(templates->count(), 1);

    // Renamed through Edit.
    activateWindowOf(templates);
    QTest::mouseClick(templates->viewport(), Qt::LeftButton, {}, templates->visualItemRect(templates->item(0)).center());
    settle();
    click(widgetNamed<QPushButton>(QStringLiteral("Edit Template"), preferences));
    replaceText(widgetNamed<QLineEdit>(QStringLiteral("Template name"), preferences), QStringLiteral("Final"));
    click(widgetNamed<QPushButton>(QStringLiteral("Save Template"), preferences));
    ASSERT_EQ(templates->count(), 1);
    EXPECT_EQ(templates->item(0)->text(), QStringLiteral("Final"));

    // Deleted after the question.
    QTest::mouseClick(templates->viewport(), Qt::LeftButton, {}, templates->visualItemRect(templates->item(0)).center());
    settle();
    platform::ui::AlertPresenter::shared().setNextAnswer(platform::ui::AlertAnswer::button(0));
    click(widgetNamed<QPushButton>(QStringLiteral("Delete Template"), preferences));
    EXPECT_TRUE(QTest::qWaitFor([&] { return templates->count() == 0; }, 3000));
    EXPECT_TRUE(alertShown(QStringLiteral("Delete Template")));
}

} // namespace
