#pragma once

#include "Mac/Shell/KeyRouting.h"

#include <QString>
#include <QStringList>

class PersonAddress;

// What the contact page's panes ask of the Contacts section that hosts them, besides the keys
// (`subviewPressedUpButton` hands the keyboard back to the pane's tab button). The section controller
// implements it and hands itself to each pane (`setContactsDelegate`).
class ContactPageDelegate : public KeyRoutingDelegate
{
public:
    // The shown contact's name changed: the list shows the new name.
    virtual void contactUpdateName() {}
    // The shown contact's picture or privacy changed: the list draws its row anew.
    virtual void contactUpdateListView() {}
    // A double click on an e-mail address or a phone number of the Info page.
    virtual void showEmailDraftPageWithEmails(const QStringList &) {}
    virtual void makeCallUsingNumber(const QString &) {}
    // A double click on a postal address: the Map section shows it.
    virtual void switchToMapWithPersonAddress(PersonAddress *) {}
};
