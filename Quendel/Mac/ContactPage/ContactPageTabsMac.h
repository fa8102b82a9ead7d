#pragma once

#include "Mac/ContactPage/ContactPageDelegate.h"
#include "Mac/Contacts/MacContactsViewController.h"

#include <QList>
#include <QPointer>
#include <QWidget>

#include <memory>

class CommonListViewMac;
class ContactInfoViewControllerMac;
class Person;
class QButtonGroup;
class QPushButton;
class QStackedWidget;

namespace platform::store {
class ManagedObjectContext;
}

// One pane of a contact's page as the Contacts section hosts it: the Logs, ToDos, Files, Fields or Info
// tab. The section's requests reach the pane's own operations; the section
// owns the adapter, and the pane's widget goes into the section's view.
class ContactPagePane : public ContactPageTab
{
public:
    explicit ContactPagePane(CommonListViewMac *pane);
    ~ContactPagePane() override;

    CommonListViewMac *pane() const { return m_pane; }
    QWidget *view() override;
    void setContactsDelegate(ContactPageDelegate *controller) override;
    void showAddLogContactSheet(QObject *sender) override;
    void showAddTodoContactSheet(QObject *sender) override;
    void showAddFilesOptions(QObject *sender) override;
    void showAddFieldsOptions(QObject *sender) override;
    bool canAddRecords() const override;
    QAbstractItemView *listView() const override;
    void deleteSelectedRecord() override;
    bool canPaste() const override;
    void paste(QObject *sender) override;
    void editButtonSelected(QObject *sender) override;
    bool isEditing() const override;
    void stopEditingContact() override;
    void setBoxWidth(int width) override;

    // The section's tab factory: the Logs (1), ToDos (2), Files (3), Fields (4) and Info (5) tabs of the
    // contact. `mainContext` is the store's main context (the application's when null).
    static MacContactsViewController::TabFactory
    tabFactory(std::shared_ptr<platform::store::ManagedObjectContext> mainContext = {});

private:
    QPointer<CommonListViewMac> m_pane;
};

// A contact's page: the five tab buttons (Logs, ToDos, Files, Fields, Info) over the pane of the chosen
// tab. Tabs are numbered as every caller names them: 1 Logs, 2 ToDos, 3 Files, 4 Fields, 5 Info. Each pane
// is made the first time its tab is chosen and kept.
class ContactPageTabsMac : public QWidget
{
    Q_OBJECT
public:
    enum Tab { LogsTab = 1, ToDosTab = 2, FilesTab = 3, FieldsTab = 4, InfoTab = 5 };
    using ContextPtr = std::shared_ptr<platform::store::ManagedObjectContext>;

    // `host` receives the panes' requests; `mainContext` is the store's main context (the application's
    // when null).
    explicit ContactPageTabsMac(ContactPageDelegate *host, ContextPtr mainContext = {}, QWidget *parent = nullptr);
    ~ContactPageTabsMac() override;

    // Shows `person` on tab `tab` (1 to 5; any other number keeps the current tab). Panes of another
    // contact are dropped. A null person empties the page.
    void showContact(Person *person, int tab);
    Person *person() const { return m_person; }
    void selectTab(int tab);
    int currentTab() const { return m_currentTab; }

    QPushButton *tabButton(int tab) const;
    // The pane of a tab, made when needed; null for a number outside 1 to 5 or without a contact.
    CommonListViewMac *paneForTab(int tab);
    ContactInfoViewControllerMac *infoPage();

    // The add-contact page for a new contact, private or not, ready to be shown in a sheet.
    static ContactInfoViewControllerMac *makeAddContactPage(bool isPrivate, ContextPtr mainContext = {},
                                                            QWidget *parent = nullptr);
    // The clone page of `source`.
    static ContactInfoViewControllerMac *makeClonePage(Person *source, ContextPtr mainContext = {},
                                                       QWidget *parent = nullptr);

signals:
    void tabChanged(int tab);

private:
    void dropPanes();

    ContactPageDelegate *m_host = nullptr;
    ContextPtr m_mainContext;
    Person *m_person = nullptr;
    int m_currentTab = LogsTab;
    QList<QPushButton *> m_buttons;
    QButtonGroup *m_group = nullptr;
    QStackedWidget *m_stack = nullptr;
    QWidget *m_emptyPage = nullptr;
    QList<QPointer<CommonListViewMac>> m_panes; // index tab - 1
};
