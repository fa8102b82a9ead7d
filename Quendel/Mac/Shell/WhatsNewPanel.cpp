#include "Mac/Shell/WhatsNewPanel.h"

#include "Mac/Shell/PlainTextLabel.h"

#include <QDialogButtonBox>
#include <QPushButton>
#include <QScrollArea>
#include <QVBoxLayout>

WhatsNewPanel::WhatsNewPanel(QWidget *parent) : QDialog(parent)
{
    setWindowTitle(WindowTitle);
    setAccessibleName(AccessibleName);
    setModal(false);
    setAttribute(Qt::WA_DeleteOnClose);

    auto *layout = new QVBoxLayout(this);
    auto *heading = new PlainTextLabel(WindowTitle, this);
    QFont headingFont = heading->font();
    headingFont.setBold(true);
    headingFont.setPointSizeF(headingFont.pointSizeF() * 1.4);
    heading->setFont(headingFont);
    layout->addWidget(heading);

    auto *text = new PlainTextLabel(documentText());
    text->setWordWrap(true);
    text->setAlignment(Qt::AlignTop | Qt::AlignLeft);
    text->setTextInteractionFlags(Qt::TextSelectableByMouse);
    text->setAccessibleName(QStringLiteral("What's new text"));
    text->setContentsMargins(4, 4, 4, 4);
    auto *scroll = new QScrollArea(this);
    scroll->setWidgetResizable(true);
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setWidget(text);
    layout->addWidget(scroll, 1);

    auto *buttons = new QDialogButtonBox(this);
    QPushButton *close = buttons->addButton(QStringLiteral("Close"), QDialogButtonBox::AcceptRole);
    close->setAccessibleName(QStringLiteral("Close"));
    close->setDefault(true);
    connect(close, &QPushButton::clicked, this, &QDialog::accept);
    layout->addWidget(buttons);
    resize(520, 560);
}

QString WhatsNewPanel::documentText()
{
    return QStringLiteral(
        "Quendel keeps the story of your business and personal relationships in one place.\n\n"
        "Contacts\nPeople and companies with their phones, e-mail addresses, addresses, birthdays and pictures. "
        "Bring them in from your address book or from vCard files, or create them by hand; keep some private.\n\n"
        "Logs\nDated notes of calls, meetings and e-mails for each contact, with titles to sort them by and a "
        "list of all logs to search and filter.\n\n"
        "ToDos\nFollow-ups with alerts and repeats, for one contact or for all, and shown in your calendar if "
        "you wish.\n\n"
        "Files and Fields\nDocuments kept with the contact they belong to, and fields of your own for whatever "
        "else you want to remember.\n\n"
        "Groups\nPrivate groups of your own, and a group menu in the toolbar that narrows every list to one "
        "group.\n\n"
        "Map\nYour contacts' addresses on the map, and a list of them by their distance from you. Addresses are "
        "found offline by city, or street by street through an address lookup service you choose in the "
        "Preferences.\n\n"
        "E-mail\nE-mails to your contacts through your own mail program, with templates that fill in each "
        "contact's details, and a log entry for each e-mail if you like.\n\n"
        "Reports and backups\nReports of your logs, to-dos and contacts to print or send, and automatic backups "
        "of all your data that you can restore from the Preferences.\n\n"
        "Passcode\nA passcode of your own that locks Quendel when you are away.\n\n"
        "For more, choose Quendel Help in the Help menu.");
}
