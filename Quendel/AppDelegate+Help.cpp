// The Help menu: the support pages, problem reports and suggestions by e-mail, the review page and the
// recommendation to friends.
#include "AppDelegate.h"

#include "Classes/EmailHandoff.h"
#include "Mac/Shell/MainWindow.h"
#include "Mac/Shell/WhatsNewPanel.h"
#include "SharedAppGlobals.h"

#include "QuendelKit/Infra/QDFileLogger.h"
#include "QuendelKit/Settings/DataPlistValues.h"
#include "QuendelKit/Settings/SharedSettingController.h"

#include "platform/mail/MailHandoff.h"
#include "platform/ui/AlertPresenter.h"

#include <QAction>
#include <QFileInfo>
#include <QMenu>
#include <QMenuBar>
#include <QPointer>
#include <QUrl>

namespace {

void menuEvent(const QString &action)
{
    SharedAppGlobals::sharedAppGlobals().logAnalyticsEvent(QStringLiteral("AppDelegate-Menu"),
                                                           {{QStringLiteral("Action"), action}});
}

void setDataPlistFlag(const QString &key)
{
    SharedSettingController &settings = SharedSettingController::sharedSettings();
    dataPlistValues().setValue(key, 1);
    settings.saveDataPlist();
}

} // namespace

void AppDelegate::buildHelpMenu()
{
    if (!m_window)
        return;
    QMenu *help = m_window->menuBar()->addMenu(QStringLiteral("Help"));
    const auto add = [&](const QString &title, const QString &name, std::function<void()> run) {
        QAction *action = help->addAction(title);
        action->setObjectName(name);
        connect(action, &QAction::triggered, this, std::move(run));
        return action;
    };
    add(QStringLiteral("Quendel Help"), QStringLiteral("helpButtonPressed"), [this] { helpButtonPressed(); });
    add(QStringLiteral("Keyboard Shortcuts"), QStringLiteral("keyboardShortcutsPressed"),
        [this] { keyboardShortcutsPressed(); });
    add(WhatsNewMenuTitle, QStringLiteral("whatsNewPressed"), [this] { learnMoreAboutUpdatePressed(); });
    help->addSeparator();
    add(QStringLiteral("Report a Problem…"), QStringLiteral("reportProblemPressed"), [this] { reportProblemPressed(); });
    add(QStringLiteral("Send Suggestions…"), QStringLiteral("sendSuggestionsPressed"),
        [this] { sendSuggestionsPressed(); });
    help->addSeparator();
    add(QStringLiteral("Write a Review"), QStringLiteral("reviewInAppStorePressed"),
        [this] { reviewInAppStorePressed(true); });
    add(QStringLiteral("Recommend to Friends…"), QStringLiteral("referFriendsPressed"), [this] { referFriendsPressed(); });
}

void AppDelegate::helpButtonPressed()
{
    menuEvent(QStringLiteral("HelpButtonPressed"));
    platform::mail::openUrl(QUrl(SupportPageURL));
}

void AppDelegate::keyboardShortcutsPressed()
{
    menuEvent(QStringLiteral("KeyboardShortcutsPressed"));
    platform::mail::openUrl(QUrl(KeyboardShortcutsPageURL));
}

void AppDelegate::reportProblemPressed()
{
    menuEvent(QStringLiteral("ReportProblemPressed"));
    platform::ui::AlertSpec spec;
    spec.messageText = QStringLiteral("Attach Logs");
    spec.informativeText = QStringLiteral(
        "Would you like to attach user activity logs to the email? The activity logs contain only diagnostic "
        "information, and not any private information, and will help us figure out the problem more quickly");
    spec.buttonTitles = {QStringLiteral("Yes"), QStringLiteral("No")};
    platform::ui::AlertPresenter::shared().beginSheet(spec, m_window, [](const platform::ui::AlertResult &result) {
        SharedSettingController &settings = SharedSettingController::sharedSettings();
        QList<QUrl> attachments;
        if (result.buttonIndex == 0) {
            const std::shared_ptr<QDFileLogger> logger = settings.qdFileLogger();
            const QString path = logger ? logger->currentLogFilePath() : QString();
            if (!path.isEmpty() && QFileInfo(path).isFile())
                attachments << QUrl::fromLocalFile(path);
        }
        EmailHandoff::sendEmail(QStringLiteral("Bug Report - Quendel for Mac"), settings.signatureForSupportEmail(),
                                attachments, {ProblemReportAddress}, false, false);
    });
}

void AppDelegate::sendSuggestionsPressed()
{
    menuEvent(QStringLiteral("SendSuggestionsPressed"));
    EmailHandoff::sendEmail(QStringLiteral("Suggestions - Quendel for Mac"),
                            SharedSettingController::sharedSettings().signatureForSupportEmail(), {},
                            {SuggestionsAddress}, false, false);
}

void AppDelegate::reviewInAppStorePressed(bool fromMenu)
{
    SharedAppGlobals::sharedAppGlobals().logAnalyticsEvent(
        QStringLiteral("AppDelegate-ReviewInAppStorePressed"),
        {{QStringLiteral("Type"), fromMenu ? QStringLiteral("MenuItem") : QStringLiteral("Prompted")}});
    setDataPlistFlag(QStringLiteral("already_pressed_review_in_itunes_on_launch"));
    platform::mail::openUrl(QUrl(ReviewPageURL));
}

void AppDelegate::referFriendsPressed()
{
    menuEvent(QStringLiteral("ReferFriendsPressed"));
    // The hand-off carries plain text, so the store page goes as its address.
    const QString body =
        QStringLiteral("<p>Quendel is a powerful tool that will transform your business and personal relationships: "
                       "save notes of important meetings, set follow ups, create custom fields, and attach important "
                       "documents, to each of your contacts. Carry your relationship history with you, wherever you "
                       "go! Check it out: ")
        + StorePageURL;
    EmailHandoff::sendEmail(QStringLiteral("Check out \"Quendel\" on the Mac App Store"), body, {}, {}, true, false);
}

void AppDelegate::showWhatsNewMessage()
{
    recordStep(QStringLiteral("showWhatsNewMessage"));
    // Marked as shown before it is on show: the message comes once, however it is answered.
    setDataPlistFlag(WhatsNew410Key);
    platform::ui::AlertSpec spec;
    spec.messageText = WhatsNewMessageTitle;
    spec.informativeText = QStringLiteral(
        "Thanks for updating Quendel. This is an important update, with a brand-new CloudSync syncing system now "
        "available to replace the existing iCloud sync. Would you like to know more details?");
    spec.buttonTitles = {QStringLiteral("Learn More"), QStringLiteral("Not now")};
    spec.style = platform::ui::AlertStyle::Informational;
    QPointer<AppDelegate> self(this);
    platform::ui::AlertPresenter::shared().beginSheet(spec, m_window, [self](const platform::ui::AlertResult &result) {
        if (self && result.buttonIndex == 0)
            self->learnMoreAboutUpdatePressed();
    });
}

void AppDelegate::learnMoreAboutUpdatePressed()
{
    m_showWhatsNewPage = true;
    if (!m_whatsNewPanel) {
        auto *panel = new WhatsNewPanel(m_window);
        // The window ends as the panel's control does: closed, it is no longer on show.
        connect(panel, &QDialog::finished, this, [this] { m_showWhatsNewPage = false; });
        connect(panel, &QObject::destroyed, this, [this] { m_showWhatsNewPage = false; });
        m_whatsNewPanel = panel;
    }
    m_whatsNewPanel->show();
    m_whatsNewPanel->raise();
    m_whatsNewPanel->activateWindow();
}
