// The contact page's e-mail, message and call buttons, the choice of an address or number, the e-mail
// draft sheet and the automatic log entries they leave.
#include "Mac/Contacts/MacContactsViewController.h"

#include "Classes/ContactPageOptions.h"
#include "Classes/EmailHandoff.h"
#include "Classes/QDAlertDisplayMac.h"
#include "Mac/Contacts/AddContactWindowController.h"
#include "Mac/Contacts/ContactsListDisplaySource.h"
#include "Mac/Email/MacEmailDraftViewController.h"
#include "SharedAppGlobals.h"

#include "QuendelKit/Entities/Emails.h"
#include "QuendelKit/Entities/FileAttachments.h"
#include "QuendelKit/Entities/Person.h"
#include "QuendelKit/Entities/Phones.h"
#include "QuendelKit/Infra/QDLog.h"

#include "platform/mail/MailHandoff.h"

#include <QFileInfo>
#include <QCursor>
#include <QMenu>
#include <QPointer>
#include <QToolButton>

namespace {

void noticeAlert(const QString &title, const QString &message)
{
    QDAlertDisplayMac::sharedAlert()->showAlertWithTitle(title, message, [](const platform::ui::AlertResult &) {});
}

} // namespace

void MacContactsViewController::emailButtonPressed()
{
    SharedAppGlobals::sharedAppGlobals().logAnalyticsEvent(QStringLiteral("ContactEmailButtonPressed"));
    Person *person = m_contactsListSource->selectedContactInSource();
    if (!person)
        return;
    const QList<Emails *> emails = person->emails();
    if (emails.isEmpty()) {
        noticeAlert(QStringLiteral("No email address for contact"), QString());
        return;
    }
    if (emails.size() == 1) {
        showEmailDraftPageWithEmails({emails.first()->emailAddress()});
        return;
    }
    QList<platform::store::ManagedObject *> records;
    for (Emails *email : emails)
        records << email;
    showMenuForContactOptionsWithTitle(QStringLiteral("Email"), records, m_emailButton);
}

void MacContactsViewController::messageButtonPressed()
{
    SharedAppGlobals::sharedAppGlobals().logAnalyticsEvent(QStringLiteral("ContactMessageButtonPressed"));
    Person *person = m_contactsListSource->selectedContactInSource();
    if (!person)
        return;
    QList<platform::store::ManagedObject *> records;
    for (Phones *phone : person->phones())
        records << phone;
    for (Emails *email : person->emails())
        records << email;
    if (records.isEmpty()) {
        noticeAlert(QStringLiteral("No email or phone number for contact to send message"), QString());
        return;
    }
    if (records.size() == 1) {
        if (auto *phone = dynamic_cast<Phones *>(records.first()))
            showSharingMessagesWithRecipients({phone->phoneNumber()});
        else if (auto *email = dynamic_cast<Emails *>(records.first()))
            showSharingMessagesWithRecipients({email->emailAddress()});
        return;
    }
    showMenuForContactOptionsWithTitle(QStringLiteral("Message"), records, m_messageButton);
}

void MacContactsViewController::callButtonPressed()
{
    SharedAppGlobals::sharedAppGlobals().logAnalyticsEvent(QStringLiteral("ContactCallButtonPressed"));
    Person *person = m_contactsListSource->selectedContactInSource();
    if (!person)
        return;
    QList<platform::store::ManagedObject *> records;
    for (Phones *phone : person->phones())
        records << phone;
    if (records.isEmpty()) {
        noticeAlert(QStringLiteral("No phone number for contact"), QString());
        return;
    }
    showMenuForContactOptionsWithTitle(QStringLiteral("Phone"), records, m_callButton);
}

void MacContactsViewController::showMenuForContactOptionsWithTitle(const QString &title, const QList<platform::store::ManagedObject *> &records,
                                                                   QWidget *button)
{
    if (m_contactOptionsMenu)
        m_contactOptionsMenu->close();
    auto *menu = new QMenu(title, this);
    menu->setAccessibleName(title);
    if (title == QLatin1String("Phone")) {
        const QString preference = phonePreferenceString();
        QAction *heading = menu->addAction(QStringLiteral("Call with %1").arg(preference));
        heading->setEnabled(false);
        menu->addSeparator();
    }
    for (platform::store::ManagedObject *record : records) {
        QString label;
        QString value;
        if (auto *phone = dynamic_cast<Phones *>(record)) {
            label = phone->label();
            value = phone->phoneNumber();
        } else if (auto *email = dynamic_cast<Emails *>(record)) {
            label = email->label();
            value = email->emailAddress();
        } else {
            continue;
        }
        // "&" would be read as a shortcut mark in a menu title.
        QString text = QStringLiteral("%1: %2").arg(label, value);
        text.replace(QLatin1Char('&'), QStringLiteral("&&"));
        QAction *item = menu->addAction(text);
        item->setData(value);
        connect(item, &QAction::triggered, this, [this, title, value] { selectedRecipientForContact(title, value); });
    }
    m_contactOptionsMenu = menu;
    connect(menu, &QMenu::aboutToHide, menu, &QObject::deleteLater);
    if (menu->actions().isEmpty())
        return;
    menu->popup(button ? button->mapToGlobal(QPoint(0, button->height())) : QCursor::pos());
}

void MacContactsViewController::selectedRecipientForContact(const QString &menuTitle, const QString &value)
{
    if (menuTitle == QLatin1String("Message"))
        showSharingMessagesWithRecipients({value});
    else if (menuTitle == QLatin1String("Email"))
        showEmailDraftPageWithEmails({value});
    else if (menuTitle == QLatin1String("Phone"))
        makeCallUsingNumber(value);
}

void MacContactsViewController::showEmailDraftPageWithEmails(const QStringList &emails)
{
    Person *person = m_contactsListSource->selectedContactInSource();
    if (!person || emails.isEmpty())
        return;
    auto *draft = new MacEmailDraftViewController(emails, person);
    auto *controller = new AddContactWindowController(AddContactWindowController::WindowNibName, this);
    controller->setContentViewController(draft);
    m_emailDraftWindowController = controller;
    QPointer<MacEmailDraftViewController> draftGuard(draft);
    connect(draft, &MacEmailDraftViewController::finished, this, [this, controller, draftGuard](bool done) {
        if (draftGuard)
            finishedEmailDraftViewControllerDelegate(draftGuard, done);
        if (controller->window())
            controller->window()->endSheet(done ? platform::ui::ModalResponseOK : platform::ui::ModalResponseCancel);
        controller->deleteLater();
    });
    controller->window()->setWindowTitle(QStringLiteral("Email"));
    controller->beginSheetOnWindow(this);
}

void MacContactsViewController::finishedEmailDraftViewControllerDelegate(MacEmailDraftViewController *draft,
                                                                         bool wasDonePressed)
{
    if (!wasDonePressed || !draft)
        return;
    showSharingEmailWithRecipients(draft->emailAddresses(), draft->subject(), draft->body(),
                                   draft->selectedFileAttachments(), draft->templateName());
}

void MacContactsViewController::showSharingEmailWithRecipients(const QStringList &recipients, const QString &subject,
                                                               const QString &body,
                                                               const QList<FileAttachments *> &attachments,
                                                               const QString &templateName)
{
    QList<QUrl> copies;
    for (FileAttachments *file : attachments) {
        if (!file || !file->fullFileURL().isLocalFile())
            continue;
        const QUrl copy = file->copyFileToTempFolderWithRealName();
        // A copy that did not arrive is left out of the e-mail; the log still names the file.
        if (copy.isLocalFile() && QFileInfo(copy.toLocalFile()).isFile())
            copies << copy;
        else
            QDLogError(QStringLiteral("Email: could not copy attachment %1").arg(file->fileCheckName()));
    }
    const QString note = ContactPageOptions::createNoteForEmailDraftWithSubject(subject, body, attachments, templateName);
    QPointer<MacContactsViewController> self(this);
    const auto personID = contactIdentifier(m_contactsListSource->selectedContactInSource());
    // The copies are ours: they go once this hand-off is over.
    EmailHandoff::sendEmail(subject, body, copies, recipients, false, true, [self, personID, note](bool handedOff) {
        // Only an e-mail the mail program took is recorded as sent.
        if (self && handedOff)
            self->addAutoLogForContact(self->contactWithIdentifier(personID), note, QStringLiteral("Email"));
    });
}

void MacContactsViewController::showSharingMessagesWithRecipients(const QStringList &recipients)
{
    Person *person = m_contactsListSource->selectedContactInSource();
    if (recipients.isEmpty() || !person)
        return;
    const QString recipient = recipients.first();
    QPointer<MacContactsViewController> self(this);
    const auto personID = contactIdentifier(person);
    if (recipient.contains(QLatin1Char('@'))) {
        // A message to an address is an e-mail.
        EmailHandoff::sendEmail(QString(), QString(), {}, recipients, false, false, [self, personID](bool handedOff) {
            if (self && handedOff)
                self->addAutoLogForContact(self->contactWithIdentifier(personID), QString(), QStringLiteral("Message"));
        });
        return;
    }
    const QUrl url(QStringLiteral("sms:%1").arg(QString::fromLatin1(recipient.toUtf8().toPercentEncoding("+"))),
                   QUrl::StrictMode);
    if (platform::mail::openUrl(url)) {
        addAutoLogForContact(person, QString(), QStringLiteral("Message"));
        return;
    }
    noticeAlert(QStringLiteral("Cannot send message"),
                QStringLiteral("No program on this computer can send text messages. Please set one up for sms: "
                               "addresses in the desktop's settings."));
}

void MacContactsViewController::makeCallUsingNumber(const QString &number)
{
    Person *person = m_contactsListSource->selectedContactInSource();
    if (number.trimmed().isEmpty())
        return;
    const QUrl url = ContactPageOptions::URLForDialPreferencesWithNumber(number);
    if (platform::mail::openUrl(url)) {
        if (person)
            addAutoLogForContact(person, QString(), QStringLiteral("Phone"));
        return;
    }
    const auto [title, message] = ContactPageOptions::callFailureAlert();
    noticeAlert(title, message);
}

std::optional<platform::store::ManagedObjectID> MacContactsViewController::contactIdentifier(Person *person)
{
    if (!person)
        return std::nullopt;
    return person->objectID();
}

Person *MacContactsViewController::contactWithIdentifier(const std::optional<platform::store::ManagedObjectID> &id) const
{
    const platform::store::ContextPtr context = managedObjectContext();
    if (!id || !context)
        return nullptr;
    return dynamic_cast<Person *>(context->existingObjectWithID(*id));
}

bool MacContactsViewController::addAutoLogForContact(Person *person, const QString &text, const QString &titleText)
{
    if (!person)
        return false;
    platform::core::QDError error;
    if (ContactPageOptions::addAutoLogObjectWithPerson(person, text, titleText, managedObjectContext().get(), &error))
        return true;
    QDAlertDisplayMac::sharedAlert()->showCoreDataError(QStringLiteral("ContactPageOptions - AutoLog Event"), error);
    noticeAlert(QStringLiteral("Error"),
                QStringLiteral("The log entry of this %1 could not be saved - %2")
                    .arg(titleText.toLower(), error.localizedDescription()));
    return false;
}

QString MacContactsViewController::phonePreferenceString()
{
    return ContactPageOptions::phonePreferenceString();
}

void MacContactsViewController::setupTooltipForPhoneButton()
{
    if (!m_callButton)
        return;
    const QString preference = phonePreferenceString();
    m_callButton->setToolTip(preference.isEmpty()
                                 ? QStringLiteral("Call Contact")
                                 : QStringLiteral("Call Contact using %1; you can change this in Preferences").arg(preference));
}
