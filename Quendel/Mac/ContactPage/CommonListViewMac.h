#pragma once

#include "Mac/ContactPage/ContactPageDelegate.h"

#include "platform/core/NotificationCenter.h"

#include <QAbstractScrollArea>
#include <QMenu>
#include <QPointer>
#include <QWidget>

class Person;

namespace platform::ui {
class Popover;
}

// The base of every pane of a contact's page (the Logs, ToDos, Files, Fields and Info tabs, the group
// popover): the contact shown, the host section, the pane's popover, the filler shown in place of an empty
// list, the context menu, and the hand-back of the keyboard to the host when the list runs out of rows.
class CommonListViewMac : public QWidget, public KeyRoutingDelegate
{
    Q_OBJECT
public:
    static inline const QString PasswordScreenWillShowNotification =
        QStringLiteral("PasswordScreenWillShowNotification");

    CommonListViewMac(const QString &nibName, Person *person, QWidget *parent = nullptr);
    ~CommonListViewMac() override;

    QString nibName() const { return m_nibName; }
    Person *detailPerson() const { return m_detailPerson; }
    void setDetailPerson(Person *person) { m_detailPerson = person; }

    KeyDelegateKinds keyDelegateKinds() const override { return KeyDelegateKind::CommonListViewMac; }
    ContactPageDelegate *contactsDelegate() const override { return m_contactsDelegate; }
    void setContactsDelegate(ContactPageDelegate *delegate) { m_contactsDelegate = delegate; }

    QAbstractScrollArea *scrollView() const { return m_scrollView; }
    void setScrollView(QAbstractScrollArea *view) { m_scrollView = view; }
    platform::ui::Popover *mypopover() const;
    void setMypopover(platform::ui::Popover *popover);
    QMenu *contextMenu() const { return m_contextMenu; }
    void setContextMenu(QMenu *menu) { m_contextMenu = menu; }
    QWidget *fillerText() const { return m_fillerText; }
    void setFillerText(QWidget *filler) { m_fillerText = filler; }
    bool showingFillerText() const { return m_showingFillerText; }
    void setShowingFillerText(bool showing) { m_showingFillerText = showing; }

    // The pane's one-time set-up; may be called more than once. Subclasses call the inherited one first.
    virtual void awakeFromNib();

    // A new popover with `content`, semi-transient, the pane not keeping it.
    platform::ui::Popover *createPopoverWithViewController(QWidget *content);

    // Whether the pane's list has its first row selected; panes with a list answer.
    bool hasTableviewFirstSelection() const override { return false; }
    // The number of rows of the pane's list; -1 when the pane has none (counts as empty).
    virtual int arrangedObjectCount() const { return -1; }
    // After a delete: with no rows left the keyboard goes back to the tab button.
    void checkIfDeletedLastRow();

    // Puts the filler over `mainView`: flush left, full width, one point below its top, at least 40 tall.
    void addTextFieldForFillerText(QWidget *filler, QWidget *mainView);
    void removeFillerText();

    void passwordScreenWillShowNotification();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    // The one-time list set-up of the subclasses.
    bool m_loadedArrayController = false;

private:
    void placeFiller();

    QString m_nibName;
    Person *m_detailPerson = nullptr;
    ContactPageDelegate *m_contactsDelegate = nullptr;
    QPointer<QAbstractScrollArea> m_scrollView;
    QPointer<platform::ui::Popover> m_mypopover;
    QPointer<QMenu> m_contextMenu;
    QPointer<QWidget> m_fillerText;
    QPointer<QWidget> m_fillerHost;
    bool m_showingFillerText = false;
    bool m_loadedAwakeFromNib = false;
    platform::core::ScopedObserver m_passwordObserver;
};
