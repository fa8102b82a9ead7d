#pragma once

#include <QPointer>
#include <QPushButton>

// What the tab buttons of the contact page ask of the Contacts section.
class ContactTabButtonDelegate
{
public:
    virtual ~ContactTabButtonDelegate() = default;
    // Chains the five tab buttons again before the focus leaves them.
    virtual void recalculateResponders() {}
    // Space: the add command of the current tab.
    virtual void addButtonWasKeyed() {}
    // Down arrow: into the current tab's list.
    virtual void subviewPressedDownButton() {}
    // Left arrow on the first tab: back to the contacts list.
    virtual void subviewPressedLeftButton() {}
};

// A button of the contact page's tab strip (Logs, ToDos, Files, Fields, Info). The arrows move between
// the tabs; Space and the down arrow go to the Contacts section.
class ContactTabButton : public QPushButton
{
    Q_OBJECT
public:
    explicit ContactTabButton(const QString &text, QWidget *parent = nullptr);

    void setContactsDelegate(ContactTabButtonDelegate *delegate) { m_delegate = delegate; }
    ContactTabButtonDelegate *contactsDelegate() const { return m_delegate; }

    // The key-view chain: the tab buttons point at each other; the last one at whatever follows it.
    void setNextKeyView(QWidget *view) { m_next = view; }
    QWidget *nextKeyView() const { return m_next; }
    void setPreviousKeyView(QWidget *view) { m_previous = view; }
    QWidget *previousKeyView() const { return m_previous; }

protected:
    void keyPressEvent(QKeyEvent *event) override;

private:
    ContactTabButtonDelegate *m_delegate = nullptr;
    QPointer<QWidget> m_next;
    QPointer<QWidget> m_previous;
};
