// The messages the Contacts section shows once: the welcome of an installation's first start, and the
// what's-new message of an update.
#include "Mac/Contacts/MacContactsViewController.h"

#include "Classes/QDAlertDisplayMac.h"

#include "QuendelKit/Infra/QDLog.h"
#include "QuendelKit/Settings/DataPlistValues.h"
#include "QuendelKit/Settings/SharedSettingController.h"

#include "platform/core/Clock.h"
#include "platform/ui/AlertPresenter.h"

#include <QMenu>
#include <QPointer>

QString MacContactsViewController::welcomeAlertMessage()
{
    return QStringLiteral(
               "Welcome to Quendel for Mac\n\nYou can start by creating new contacts, or importing your existing "
               "Contacts, by pressing the + button on the top-right. You can then add Logs, ToDos, Files and Fields "
               "for each contact\n\nIf you are a user of Quendel for iPhone or iPad, you can sync your data using "
               "either iCloud or Dropbox options, available from Quendel ")
           + QStringLiteral("\"Preferences\"")
           + QStringLiteral(" page.\n\nFor more information, please check out the Help section on the menu bar at the "
                            "top of your screen");
}

void MacContactsViewController::checkAndShowFirstTimeAlert()
{
    if (!m_firstRunLaunch.has_value())
        return;
    const bool firstRun = *m_firstRunLaunch;
    // Once per launch: a section made again (after a restore) does not greet the user a second time.
    m_firstRunLaunch.reset();
    if (firstRun) {
        // The launch has already removed what an earlier installation left behind (notifications, passcode)
        // and turned the settings' first-run mark off. The install date is written before the welcome waits
        // for its answer, so a program ended during the welcome still knows when it was installed.
        dataPlistValues().setValue(QDSettingsKeys::FirstTimeDownloadKey, false);
        dataPlistValues().setValue(FirstTimeDownloadDateKey, platform::core::Clock::now());
        SharedSettingController::sharedSettings().saveDataPlist();
        QDLogInfo(QStringLiteral("MacContacts: first run, showing the welcome"));
        QDAlertDisplayMac::sharedAlert()->showAlertWithTitle(WelcomeAlertTitle, welcomeAlertMessage());
        return;
    }
    if (!dataPlistValues().boolValue(WhatsNew394Key))
        checkWhatsNewMessageWithVerison(WhatsNew394Key);
}

void MacContactsViewController::checkWhatsNewMessageWithVerison(const QString &key)
{
    // Marked as shown first: the message is offered once, however it is answered.
    dataPlistValues().setValue(key, 1);
    SharedSettingController::sharedSettings().saveDataPlist();

    platform::ui::AlertSpec spec;
    spec.messageText = WhatsNewAlertTitle;
    spec.informativeText = QStringLiteral(
        "- You can now create email templates, with personalization options, to send prepared emails or message to "
        "your contacts. You can setup new templates from Preferences -> Manage Data -> Templates\n\n- You can now "
        "import contacts using vCard files, using the Import vCard File option\n\nThanks for updating Quendel. If "
        "you enjoy the free updates, please do leave a review in the App Store, and recommend us to your friends and "
        "colleagues. Each review matters a lot to us, and helps us grow and improve our app");
    spec.buttonTitles = {QStringLiteral("Review Now"), QStringLiteral("Review Later")};
    // Return means "later": the review page opens only when the user asks for it.
    spec.defaultButtonIndex = 1;
    spec.style = platform::ui::AlertStyle::Informational;
    QPointer<MacContactsViewController> self(this);
    platform::ui::AlertPresenter::shared().beginSheet(spec, window(), [self](const platform::ui::AlertResult &result) {
        if (self && result.buttonIndex == 0 && self->m_reviewHandler)
            self->m_reviewHandler();
    });
}
