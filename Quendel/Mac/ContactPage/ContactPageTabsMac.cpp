#include "Mac/ContactPage/ContactPageTabsMac.h"

#include "Mac/ContactPage/CommonListViewMac.h"
#include "Mac/ContactPage/CommonOutlineViewController.h"
#include "Mac/Shell/CustomNSCollectionView.h"
#include "Mac/ContactPage/ContactFieldsViewControllerMac.h"
#include "Mac/Shell/CustomNSOutlineView.h"
#include "Mac/ContactPage/ContactFilesViewControllerMac.h"
#include "Mac/ContactPage/ContactInfoViewControllerMac.h"
#include "Mac/ContactPage/ContactLogsViewControllerMac.h"
#include "Mac/ContactPage/ContactTodoViewControllerMac.h"
#include "Mac/Shell/PlainTextLabel.h"

#include <QButtonGroup>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QStackedWidget>
#include <QTableWidget>
#include <QVBoxLayout>

namespace {
const char *const TabTitles[] = {"Logs", "ToDos", "Files", "Fields", "Info"};
const char *const PaneNibs[] = {"ContactLogsViewControllerMac", "ContactTodoViewControllerMac",
                                "ContactFilesViewControllerMac", "ContactFieldsViewControllerMac"};

// The pane of one tab.
CommonListViewMac *makePane(int tab, Person *person, const std::shared_ptr<platform::store::ManagedObjectContext> &mainContext,
                            QWidget *parent)
{
    switch (tab) {
    case ContactPageTabsMac::InfoTab:
        return new ContactInfoViewControllerMac(person, false, false, mainContext, parent);
    case ContactPageTabsMac::LogsTab:
        return new ContactLogsViewControllerMac(person, parent);
    case ContactPageTabsMac::ToDosTab:
        return new ContactTodoViewControllerMac(person, parent);
    case ContactPageTabsMac::FilesTab:
        return new ContactFilesViewControllerMac(person, parent);
    case ContactPageTabsMac::FieldsTab:
        return new ContactFieldsViewControllerMac(person, parent);
    default: {
        auto *pane = new CommonListViewMac(QString::fromLatin1(PaneNibs[tab - 1]), person, parent);
        auto *filler = new PlainTextLabel(QStringLiteral("Nothing here yet"));
        filler->setAlignment(Qt::AlignCenter);
        pane->addTextFieldForFillerText(filler, pane);
        pane->awakeFromNib();
        return pane;
    }
    }
}
} // namespace

ContactPageTabsMac::ContactPageTabsMac(ContactPageDelegate *host, ContextPtr mainContext, QWidget *parent)
    : QWidget(parent), m_host(host), m_mainContext(std::move(mainContext))
{
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    auto *buttons = new QHBoxLayout;
    m_group = new QButtonGroup(this);
    m_group->setExclusive(true);
    for (int tab = LogsTab; tab <= InfoTab; ++tab) {
        auto *button = new QPushButton(QString::fromLatin1(TabTitles[tab - 1]), this);
        button->setObjectName(QString::fromLatin1(TabTitles[tab - 1]) + QStringLiteral("TabButton"));
        button->setAccessibleName(QString::fromLatin1(TabTitles[tab - 1]));
        button->setCheckable(true);
        m_group->addButton(button, tab);
        buttons->addWidget(button);
        m_buttons.append(button);
        m_panes.append(nullptr);
    }
    buttons->addStretch();
    layout->addLayout(buttons);
    m_stack = new QStackedWidget(this);
    m_emptyPage = new QWidget(m_stack);
    m_stack->addWidget(m_emptyPage);
    layout->addWidget(m_stack, 1);
    connect(m_group, &QButtonGroup::idClicked, this, &ContactPageTabsMac::selectTab);
}

ContactPageTabsMac::~ContactPageTabsMac() = default;

QPushButton *ContactPageTabsMac::tabButton(int tab) const
{
    return tab >= LogsTab && tab <= InfoTab ? m_buttons[tab - 1] : nullptr;
}

void ContactPageTabsMac::dropPanes()
{
    for (QPointer<CommonListViewMac> &pane : m_panes) {
        if (pane) {
            m_stack->removeWidget(pane);
            pane->deleteLater();
        }
        pane = nullptr;
    }
}

void ContactPageTabsMac::showContact(Person *person, int tab)
{
    if (person != m_person) {
        dropPanes();
        m_person = person;
    }
    selectTab(tab >= LogsTab && tab <= InfoTab ? tab : m_currentTab);
}

CommonListViewMac *ContactPageTabsMac::paneForTab(int tab)
{
    if (tab < LogsTab || tab > InfoTab || !m_person)
        return nullptr;
    QPointer<CommonListViewMac> &pane = m_panes[tab - 1];
    if (!pane) {
        pane = makePane(tab, m_person, m_mainContext, m_stack);
        if (auto *info = qobject_cast<ContactInfoViewControllerMac *>(pane.data()))
            info->setBoxWidth(width());
        pane->setContactsDelegate(m_host);
        m_stack->addWidget(pane);
    }
    return pane;
}

ContactInfoViewControllerMac *ContactPageTabsMac::infoPage()
{
    return qobject_cast<ContactInfoViewControllerMac *>(paneForTab(InfoTab));
}

void ContactPageTabsMac::selectTab(int tab)
{
    if (tab < LogsTab || tab > InfoTab)
        return;
    // Leaving the Info tab while it edits collapses its editing band (its edits stay in place).
    if (m_currentTab == InfoTab && tab != InfoTab) {
        if (auto *info = qobject_cast<ContactInfoViewControllerMac *>(m_panes[InfoTab - 1].data());
            info && info->isEditingContact())
            info->stopEditingContact();
    }
    m_currentTab = tab;
    m_buttons[tab - 1]->setChecked(true);
    CommonListViewMac *pane = paneForTab(tab);
    m_stack->setCurrentWidget(pane ? static_cast<QWidget *>(pane) : m_emptyPage);
    emit tabChanged(tab);
}

ContactInfoViewControllerMac *ContactPageTabsMac::makeAddContactPage(bool isPrivate, ContextPtr mainContext,
                                                                     QWidget *parent)
{
    return new ContactInfoViewControllerMac(nullptr, true, isPrivate, std::move(mainContext), parent);
}

ContactInfoViewControllerMac *ContactPageTabsMac::makeClonePage(Person *source, ContextPtr mainContext, QWidget *parent)
{
    return ContactInfoViewControllerMac::createWithCloningPerson(source, std::move(mainContext), parent);
}

ContactPagePane::ContactPagePane(CommonListViewMac *pane) : m_pane(pane) {}

ContactPagePane::~ContactPagePane()
{
    if (m_pane)
        m_pane->deleteLater();
}

QWidget *ContactPagePane::view()
{
    return m_pane;
}

void ContactPagePane::setContactsDelegate(ContactPageDelegate *controller)
{
    if (m_pane)
        m_pane->setContactsDelegate(controller);
}

void ContactPagePane::showAddLogContactSheet(QObject *sender)
{
    if (auto *logs = qobject_cast<ContactLogsViewControllerMac *>(m_pane.data()))
        logs->showAddLogContactSheet(sender);
}

void ContactPagePane::showAddTodoContactSheet(QObject *sender)
{
    if (auto *todos = qobject_cast<ContactTodoViewControllerMac *>(m_pane.data()))
        todos->showAddTodoContactSheet(sender);
}

void ContactPagePane::showAddFilesOptions(QObject *sender)
{
    if (auto *files = qobject_cast<ContactFilesViewControllerMac *>(m_pane.data()))
        files->showAddFilesOptions(sender);
}

bool ContactPagePane::canAddRecords() const
{
    return qobject_cast<ContactLogsViewControllerMac *>(m_pane.data())
        || qobject_cast<ContactFilesViewControllerMac *>(m_pane.data())
        || qobject_cast<ContactTodoViewControllerMac *>(m_pane.data())
        || qobject_cast<ContactFieldsViewControllerMac *>(m_pane.data())
        || qobject_cast<ContactInfoViewControllerMac *>(m_pane.data());
}

QAbstractItemView *ContactPagePane::listView() const
{
    if (auto *outline = qobject_cast<CommonOutlineViewController *>(m_pane.data()))
        return outline->outlineView();
    if (auto *info = qobject_cast<ContactInfoViewControllerMac *>(m_pane.data()))
        return info->outlineView();
    if (auto *files = qobject_cast<ContactFilesViewControllerMac *>(m_pane.data()))
        return files->filesCollection();
    if (auto *fields = qobject_cast<ContactFieldsViewControllerMac *>(m_pane.data()))
        return fields->sourceTableView();
    return nullptr;
}

void ContactPagePane::deleteSelectedRecord()
{
    if (auto *logs = qobject_cast<ContactLogsViewControllerMac *>(m_pane.data()))
        logs->deleteSelectedLog();
    else if (auto *todos = qobject_cast<ContactTodoViewControllerMac *>(m_pane.data()))
        todos->deleteSelectedTodo();
    else if (auto *files = qobject_cast<ContactFilesViewControllerMac *>(m_pane.data()))
        files->deleteSelectedRow();
    else if (auto *fields = qobject_cast<ContactFieldsViewControllerMac *>(m_pane.data()))
        fields->deleteSelectedRow();
    else if (auto *info = qobject_cast<ContactInfoViewControllerMac *>(m_pane.data()); info && info->isEditingContact())
        info->removeFieldsButtonPressed();
}

bool ContactPagePane::canPaste() const
{
    auto *files = qobject_cast<ContactFilesViewControllerMac *>(m_pane.data());
    return files && files->canPaste();
}

void ContactPagePane::paste(QObject *sender)
{
    if (auto *files = qobject_cast<ContactFilesViewControllerMac *>(m_pane.data()))
        files->paste(sender);
}

void ContactPagePane::showAddFieldsOptions(QObject *sender)
{
    if (auto *fields = qobject_cast<ContactFieldsViewControllerMac *>(m_pane.data()))
        fields->showAddFieldsOptions(sender);
    else if (auto *info = qobject_cast<ContactInfoViewControllerMac *>(m_pane.data()))
        info->addFieldsButtonPressed();
}

void ContactPagePane::editButtonSelected(QObject *)
{
    if (auto *info = qobject_cast<ContactInfoViewControllerMac *>(m_pane.data()))
        info->editButtonSelected();
}

bool ContactPagePane::isEditing() const
{
    auto *info = qobject_cast<ContactInfoViewControllerMac *>(m_pane.data());
    return info && info->isEditingContact();
}

void ContactPagePane::stopEditingContact()
{
    if (auto *info = qobject_cast<ContactInfoViewControllerMac *>(m_pane.data()))
        info->stopEditingContact();
}

void ContactPagePane::setBoxWidth(int width)
{
    if (auto *info = qobject_cast<ContactInfoViewControllerMac *>(m_pane.data()))
        info->setBoxWidth(width);
}

MacContactsViewController::TabFactory
ContactPagePane::tabFactory(std::shared_ptr<platform::store::ManagedObjectContext> mainContext)
{
    return [mainContext](int tab, Person *person) -> ContactPageTab * {
        if (!person || tab < ContactPageTabsMac::LogsTab || tab > ContactPageTabsMac::InfoTab)
            return nullptr;
        return new ContactPagePane(makePane(tab, person, mainContext, nullptr));
    };
}
