#include "Mac/Contacts/MacContactsViewController.h"

#include "Mac/Contacts/ContactDataCellView.h"
#include "Mac/Contacts/ContactsCustomFieldMenu.h"
#include "Mac/Contacts/ContactsListItemModel.h"
#include "Mac/Contacts/ContactsListRowView.h"
#include "Classes/QDAlertDisplayMac.h"
#include "Mac/Shell/CustomNSOutlineViewWithDelegates.h"
#include "Mac/Shell/PlainTextLabel.h"
#include "Mac/Shell/ThemeIcons.h"

#include "Classes/Sync/ContactsSyncController.h"

#include "QuendelKit/AddressBook/VCardAddressBookBridge.h"
#include "QuendelKit/Entities/Person.h"
#include "QuendelKit/Infra/QDLog.h"
#include "QuendelKit/Settings/DataPlistValues.h"
#include "QuendelKit/Settings/SharedSettingController.h"

#include "platform/core/UserDefaults.h"
#include "platform/ui/AlertPresenter.h"
#include "platform/ui/CommandRouter.h"

#include "platform/core/Dispatch.h"
#include "platform/core/NotificationCenter.h"

#include <QApplication>
#include <QFontMetrics>
#include <QFrame>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QPixmap>
#include <QPushButton>
#include <QToolButton>
#include <QResizeEvent>
#include <QVBoxLayout>

using Kind = ContactsListDisplaySource::Item::Kind;

namespace {

// The page a tab shows until its own controller is supplied.
class PlaceholderTab : public ContactPageTab
{
public:
    explicit PlaceholderTab(const QString &className) : m_view(new QWidget)
    {
        m_view->setObjectName(className);
    }
    ~PlaceholderTab() override { delete m_view.data(); }
    QWidget *view() override { return m_view; }

private:
    QPointer<QWidget> m_view;
};

struct TabDescription
{
    const char *title;
    const char *stripImage;
    const char *controllerClass;
};

constexpr TabDescription kTabs[MacContactsViewController::TabCount] = {
    {"Logs", "Logs-tab-all", "ContactLogsViewControllerMac"},
    {"ToDos", "Todo-tab-all", "ContactTodoViewControllerMac"},
    {"Files", "Files-tab-all", "ContactFilesViewControllerMac"},
    {"Fields", "Fields-tab-all", "ContactFieldsViewControllerMac"},
    {"Info", "Info-tab-all", "ContactInfoViewControllerMac"},
};

} // namespace

MacContactsViewController::MacContactsViewController(ContextPtr context, QWidget *parent)
    : MainWindowManagerViewController(QStringLiteral("MacContactsViewController"), std::move(context), parent)
{
    setWindowTitle(QStringLiteral("Quendel - Contacts"));
    m_contactsListSource = new ContactsListDisplaySource(this);
    m_contactsListSource->setManagedObjectContext(managedObjectContext());
}

MacContactsViewController::~MacContactsViewController()
{
    m_contactsListSource->setDelegate(nullptr);
    for (TabParts &tab : m_tabs) {
        delete tab.controller;
        tab.controller = nullptr;
    }
}

void MacContactsViewController::setFilterQueue(std::shared_ptr<platform::core::DispatchQueue> queue)
{
    m_contactsListSource->setFilterQueue(std::move(queue));
}

void MacContactsViewController::logEvent(const QString &name, const QVariantMap &parameters)
{
    if (m_analytics)
        m_analytics(name, parameters);
}

// ---- Views ----

void MacContactsViewController::loadView()
{
    auto *root = new QHBoxLayout(this);
    root->setContentsMargins(0, 0, 0, 0);
    root->setSpacing(0);

    m_contactsOutlineView = new CustomNSOutlineViewWithDelegates(this);
    m_contactsOutlineView->setObjectName(QStringLiteral("contactsOutlineView"));
    m_contactsOutlineView->setAccessibleName(QStringLiteral("Contacts"));
    m_contactsOutlineView->setDelegate(this);
    m_contactsOutlineView->setHeaderHidden(true);
    m_contactsOutlineView->setRootIsDecorated(false);
    m_contactsOutlineView->setIndentation(0);
    m_contactsOutlineView->setItemsExpandable(false);
    m_contactsOutlineView->setExpandsOnDoubleClick(false);
    m_contactsOutlineView->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_contactsOutlineView->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_contactsOutlineView->setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    m_model = new ContactsListItemModel(m_contactsListSource, this);
    m_model->setFooterTextProvider([this] { return getFooterTextMessage(); });
    m_model->setFooterHeightProvider([this] { return footerRowHeight(); });
    m_rowDelegate = new ContactsListRowDelegate(this);
    m_contactsOutlineView->setItemDelegate(m_rowDelegate);
    m_contactsOutlineView->setModel(m_model);
    root->addWidget(m_contactsOutlineView);
    m_fieldsMenu = new ContactsCustomFieldMenu(
        m_contactsOutlineView, [this] { return managedObjectContext().get(); },
        [this] { return selectedContactsInList(); }, this, this);
    m_contactsOutlineView->setMenu(m_fieldsMenu->contactsContextMenu());
    connect(m_fieldsMenu, &ContactsCustomFieldMenu::duplicateRequested, this, [this] { cloneMenuItemSelected(); });
    connect(m_fieldsMenu, &ContactsCustomFieldMenu::deleteRequested, this, [this] {
        const QModelIndexList selected = m_contactsOutlineView->selectionModel()->selectedRows();
        if (selected.size() == 1)
            deleteSingleContactSelectionWithRow(m_contactsOutlineView->rowForIndex(selected.first()));
        else if (selected.size() > 1)
            deleteMultipleSelectedContacts();
    });

    m_mainContentView = new QWidget(this);
    m_mainContentView->setObjectName(QStringLiteral("mainContentView"));
    auto *content = new QVBoxLayout(m_mainContentView);
    content->setContentsMargins(0, 0, 0, 0);
    content->setSpacing(0);
    root->addWidget(m_mainContentView, 1);

    m_boxView = new QWidget(m_mainContentView);
    m_boxView->setObjectName(QStringLiteral("boxView"));
    m_boxView->setAutoFillBackground(true);
    QPalette white = m_boxView->palette();
    white.setColor(QPalette::Window, Qt::white);
    m_boxView->setPalette(white);
    auto *box = new QVBoxLayout(m_boxView);

    auto *header = new QHBoxLayout;
    m_contactLargeImage = new PlainTextLabel(m_boxView);
    m_contactLargeImage->setObjectName(QStringLiteral("contactLargeImage"));
    m_contactLargeImage->setFixedSize(64, 64);
    m_contactLargeImage->setScaledContents(true);
    header->addWidget(m_contactLargeImage);
    auto *names = new QVBoxLayout;
    m_nameField = new PlainTextLabel(m_boxView);
    m_nameField->setObjectName(QStringLiteral("nameField"));
    m_displayNameLabel = new PlainTextLabel(m_boxView);
    m_displayNameLabel->setObjectName(QStringLiteral("displayNameLabel"));
    QFont big = m_displayNameLabel->font();
    big.setPointSizeF(big.pointSizeF() * 1.5);
    big.setBold(true);
    m_displayNameLabel->setFont(big);
    m_companyNameLabel = new PlainTextLabel(m_boxView);
    m_companyNameLabel->setObjectName(QStringLiteral("companyNameLabel"));
    names->addWidget(m_nameField);
    names->addWidget(m_displayNameLabel);
    names->addWidget(m_companyNameLabel);
    header->addLayout(names, 1);
    m_contactOptionsView = new QWidget(m_boxView);
    auto *options = new QHBoxLayout(m_contactOptionsView);
    // Enabled while a contact is on show.
    const auto optionButton = [this](const QString &title, const QString &name, const QString &icon) {
        auto *button = new QToolButton(m_contactOptionsView);
        button->setText(title);
        button->setObjectName(name);
        button->setAccessibleName(title);
        button->setEnabled(false);
        ThemeIcons::setPicture(button, icon);
        return button;
    };
    m_callButton = optionButton(QStringLiteral("Call"), QStringLiteral("callButton"), QStringLiteral("call-start"));
    m_emailButton = optionButton(QStringLiteral("Email"), QStringLiteral("emailButton"), QStringLiteral("mail-message-new"));
    m_messageButton = optionButton(QStringLiteral("Message"), QStringLiteral("messageButton"), QStringLiteral("mail-send"));
    connect(m_callButton, &QToolButton::clicked, this, &MacContactsViewController::callButtonPressed);
    connect(m_emailButton, &QToolButton::clicked, this, &MacContactsViewController::emailButtonPressed);
    connect(m_messageButton, &QToolButton::clicked, this, &MacContactsViewController::messageButtonPressed);
    options->addWidget(m_callButton);
    options->addWidget(m_emailButton);
    options->addWidget(m_messageButton);
    header->addWidget(m_contactOptionsView);
    box->addLayout(header);

    m_dividerImage = new QFrame(m_boxView);
    m_dividerImage->setObjectName(QStringLiteral("dividerImage"));
    m_dividerImage->setFrameShape(QFrame::HLine);
    box->addWidget(m_dividerImage);

    m_coloredTabSwitches = new QWidget(m_boxView);
    m_coloredTabSwitches->setObjectName(QStringLiteral("coloredTabSwitches"));
    auto *strip = new QHBoxLayout(m_coloredTabSwitches);
    strip->setContentsMargins(0, 0, 0, 0);
    for (int i = 0; i < TabCount; ++i) {
        TabParts &tab = m_tabs[size_t(i)];
        const TabDescription &description = kTabs[i];
        const QString title = QString::fromLatin1(description.title);
        tab.stripImage = QString::fromLatin1(description.stripImage);
        tab.controllerClass = QString::fromLatin1(description.controllerClass);
        auto *cell = new QVBoxLayout;
        // The button shows the tab's picture; its name is the label under it.
        tab.button = new ContactTabButton(QString(), m_coloredTabSwitches);
        tab.button->setObjectName(title.toLower() + QStringLiteral("Button"));
        tab.button->setAccessibleName(title);
        tab.button->setToolTip(title);
        tab.button->setIcon(ThemeIcons::iconForImage(tab.stripImage));
        tab.button->setIconSize(QSize(28, 28));
        tab.button->setMinimumSize(56, 40);
        tab.button->setContactsDelegate(this);
        tab.label = new PlainTextLabel(title, m_coloredTabSwitches);
        tab.label->setObjectName(title.toLower() + QStringLiteral("Label"));
        tab.label->setAlignment(Qt::AlignCenter);
        tab.label->setBuddy(tab.button);
        tab.addButton = new QPushButton(i == InfoTab - 1 ? QStringLiteral("Edit") : QStringLiteral("+"),
                                        m_coloredTabSwitches);
        tab.addButton->setObjectName(QStringLiteral("add") + title + QStringLiteral("Button"));
        tab.addButton->setAccessibleName(i == InfoTab - 1 ? QStringLiteral("Edit Info") : QStringLiteral("Add to ") + title);
        tab.addButton->setEnabled(false);
        // Only the current tab shows its add button; the others keep its room, so the labels stay in line.
        QSizePolicy keepRoom = tab.addButton->sizePolicy();
        keepRoom.setRetainSizeWhenHidden(true);
        tab.addButton->setSizePolicy(keepRoom);
        cell->addWidget(tab.button, 0, Qt::AlignHCenter);
        cell->addWidget(tab.label);
        cell->addWidget(tab.addButton, 0, Qt::AlignHCenter);
        strip->addLayout(cell);
        const int index = i + 1;
        connect(tab.button, &QPushButton::clicked, this, [this, index] {
            if (m_currentSegmentState != index)
                tabButtonSelected(index);
        });
    }
    connect(m_tabs[0].addButton, &QPushButton::clicked, this, [this] { logsAddButtonPressed(m_tabs[0].addButton); });
    connect(m_tabs[1].addButton, &QPushButton::clicked, this, [this] { todosAddButtonPressed(m_tabs[1].addButton); });
    connect(m_tabs[2].addButton, &QPushButton::clicked, this, [this] { filesAddButtonPressed(m_tabs[2].addButton); });
    connect(m_tabs[3].addButton, &QPushButton::clicked, this, [this] { fieldsAddButtonPressed(m_tabs[3].addButton); });
    connect(m_tabs[4].addButton, &QPushButton::clicked, this, [this] { infoEditButtonPressed(m_tabs[4].addButton); });
    box->addWidget(m_coloredTabSwitches);
    content->addWidget(m_boxView);
    content->addStretch(1);
    recalculateResponders();

    connect(m_contactsOutlineView->selectionModel(), &QItemSelectionModel::selectionChanged, this, [this] {
        if (m_reloading)
            return;
        if (QApplication::mouseButtons() != Qt::NoButton)
            m_selectionIsChanging = true;
        outlineSelectionChanged(true);
    });
    connect(m_contactsOutlineView, &QAbstractItemView::clicked, this, [this] { selectItemAtSelectedRow(); });
    // Typing a name moves the selection without changing the page, until a click or Return.
    connect(m_contactsOutlineView, &CustomNSOutlineViewWithDelegates::typeSelectStarted, this,
            [this] { m_usingTypeSelect = true; });
    // Paste reaches the section from wherever the keyboard is in it; a text field on the way takes it first.
    platform::ui::CommandRouter::shared().addHandler(
        this, QStringLiteral("paste:"), [this](QObject *sender) { paste(sender); },
        [this](QAction *) {
            platform::ui::CommandState state;
            state.enabled = canPaste();
            return state;
        });
}

void MacContactsViewController::resizeEvent(QResizeEvent *event)
{
    MainWindowManagerViewController::resizeEvent(event);
    if (!m_contactsOutlineView)
        return;
    // The list is 250 points plus a tenth of the page beside it.
    const int total = event->size().width();
    m_contactsOutlineView->setFixedWidth(int((0.1 * total + 250.0) / 1.1));
}

void MacContactsViewController::awakeFromNib()
{
    if (m_awoken)
        return;
    m_awoken = true;
    m_contactsListSource->setDelegate(this);
    m_contactsListSource->awakeFromNib();
    QPointer<MacContactsViewController> guard(this);
    m_groupChangeObserver = platform::core::ScopedObserver(
        QStringLiteral("GroupChangeNotification"), nullptr, [guard](const platform::core::Notification &notification) {
            if (guard)
                guard->groupChangedNotification(notification);
        });
    const auto observe = [this, guard](const QString &name,
                                       void (MacContactsViewController::*handler)(const platform::core::Notification &)) {
        m_observers.emplace_back(name, nullptr, [guard, handler](const platform::core::Notification &notification) {
            if (guard)
                (guard.data()->*handler)(notification);
        });
    };
    observe(PersonCloudChangeNotification, &MacContactsViewController::personCloudUpdateNotification);
    observe(QDSettingsKeys::SortOrderNotification, &MacContactsViewController::sortOrderChanged);
    observe(QDSettingsKeys::DisplayOrderNotification, &MacContactsViewController::displayOrderChanged);
    observe(ContactsListDisplaySource::SyncWithAddressBookChangeNotification,
            &MacContactsViewController::syncWithAddressBookChangeNotification);
    observe(NotificationContactsLinkAndImageLoadFinished,
            &MacContactsViewController::contactsInitialLinkAndImageLoadNotification);
    observe(NotificationContactsInformationSyncFinished,
            &MacContactsViewController::contactsInformationSyncedNotification);
    connect(m_contactsListSource, &ContactsListDisplaySource::deleteFailed, this,
            [this](const platform::core::QDError &error) {
                QDAlertDisplayMac::sharedAlert()->showAlertWithTitle(
                    QStringLiteral("Error"), QStringLiteral("There was an error deleting contacts - %1").arg(error.code()),
                    window());
            });
    QPointer<MacContactsViewController> self(this);
    platform::core::dispatchAsyncMain([self] {
        if (!self)
            return;
        self->logEvent(QStringLiteral("MainWindowLoad"), {{QStringLiteral("Page"), QStringLiteral("MacContacts")}});
        self->reloadAllContactsAndOutlineView();
        if (Person *selected = self->m_contactsListSource->selectedContactInSource())
            self->selectPersonInOutlineView(selected);
        else
            self->disableContactDetailsPage();
        // After the list is on show, so the messages stand over it.
        self->checkAndShowFirstTimeAlert();
    });
}

// ---- List ----

QString MacContactsViewController::getFooterTextMessage() const
{
    const qsizetype count = m_contactsListSource->arrangedObjects().size();
    if (count > 0)
        return QStringLiteral("%1 contacts").arg(count);
    if (dataPlistValues().boolValue(FirstContactCreatedKey))
        return QStringLiteral("No saved contacts");
    return WelcomeText;
}

int MacContactsViewController::footerRowHeight() const
{
    const int width = m_contactsOutlineView ? m_contactsOutlineView->viewport()->width() : 250;
    const QFontMetrics metrics(m_contactsOutlineView ? m_contactsOutlineView->font() : font());
    const QRect bounds = metrics.boundingRect(QRect(0, 0, qMax(40, width - 16), 100000),
                                              Qt::AlignCenter | Qt::TextWordWrap, getFooterTextMessage());
    return bounds.height() + 8;
}

void MacContactsViewController::reloadAllContactsAndOutlineView()
{
    if (!m_model)
        return;
    m_contactsListSource->resetDatasource();
    m_reloading = true;
    m_model->reload();
    m_contactsOutlineView->expandToDepth(0);
    m_reloading = false;
}

void MacContactsViewController::reloadContactsListWithNewPersons(const QList<Person *> &persons, bool selectFirst)
{
    m_contactsListSource->refetchArrayController();
    reloadAllContactsAndOutlineView();
    SharedSettingController::sharedSettings().writeToContactsReferenceFile();
    if (selectFirst && !persons.isEmpty())
        selectContactPageWithPerson(persons.first(), LogsTab);
}

void MacContactsViewController::selectPersonInOutlineView(Person *person)
{
    if (!m_model)
        return;
    const QModelIndex index = m_model->indexForPerson(person);
    if (!index.isValid())
        return;
    m_reloading = true;
    m_contactsOutlineView->selectionModel()->select(index, QItemSelectionModel::ClearAndSelect |
                                                               QItemSelectionModel::Rows);
    m_contactsOutlineView->selectionModel()->setCurrentIndex(index, QItemSelectionModel::NoUpdate);
    m_reloading = false;
    m_contactsOutlineView->scrollTo(index);
}

void MacContactsViewController::searchResultsWithString(const QString &text)
{
    m_contactsListSource->searchResultsWithString(text);
}

void MacContactsViewController::updatedSourceDictionaryWithPreserveSelection(bool keep)
{
    if (!m_model)
        return;
    Person *selected = keep ? m_contactsListSource->selectedContactInSource() : nullptr;
    m_reloading = true;
    m_model->synchronize();
    m_contactsOutlineView->expandToDepth(0);
    if (!keep)
        m_contactsOutlineView->selectionModel()->clearSelection();
    m_reloading = false;
    if (selected)
        selectPersonInOutlineView(selected);
}

void MacContactsViewController::removeRowWithIndex(qsizetype row, const QString &parentKey, qsizetype sectionIndex)
{
    if (!m_model)
        return;
    Person *shownBefore = m_currentSegmentState != 0 ? m_contactsListSource->selectedContactInSource() : nullptr;
    const bool wasShowing = m_tabs[0].button && m_tabs[0].button->isEnabled();
    m_reloading = true;
    m_model->removeRow(row, parentKey, sectionIndex);
    m_reloading = false;
    SharedSettingController::sharedSettings().writeToContactsReferenceFile();
    // The page must not go on showing a contact that left the store.
    if (wasShowing && !shownBefore && !m_contactsListSource->selectedContactInSource()) {
        const QList<Person *> selected = selectedContactsInList();
        if (selected.size() == 1)
            selectContactPageWithPerson(selected.first(), m_currentSegmentState == 0 ? LogsTab : m_currentSegmentState);
        else
            disableContactDetailsPage();
    }
}

void MacContactsViewController::selectPersonRow(qsizetype row)
{
    if (row <= 0 || !m_contactsOutlineView)
        return;
    const int tab = m_currentSegmentState == 0 ? LogsTab : m_currentSegmentState;
    const auto personAtRow = [this](qsizetype r) { return m_model->personAt(m_contactsOutlineView->indexForRow(int(r))); };
    const QModelIndex atRow = m_contactsOutlineView->indexForRow(int(row));
    const bool atRowIsFooter = atRow.isValid() && Kind(atRow.data(ContactsListItemModel::ItemKindRole).toInt()) == Kind::Footer;
    QList<qsizetype> candidates{row, row - 1};
    if (!atRowIsFooter)
        candidates.append(row + 1);
    for (qsizetype candidate : candidates) {
        if (Person *person = personAtRow(candidate)) {
            selectContactPageWithPerson(person, tab);
            return;
        }
    }
    if (Person *person = personAtRow(row - 2))
        selectContactPageWithPerson(person, tab);
    else
        disableContactDetailsPage();
}

QList<Person *> MacContactsViewController::selectedContactsInList() const
{
    QList<Person *> people;
    if (!m_contactsOutlineView)
        return people;
    QModelIndexList rows = m_contactsOutlineView->selectionModel()->selectedRows();
    std::sort(rows.begin(), rows.end(), [this](const QModelIndex &a, const QModelIndex &b) {
        return m_contactsOutlineView->visualRect(a).top() < m_contactsOutlineView->visualRect(b).top();
    });
    for (const QModelIndex &index : rows) {
        if (Person *person = m_model->personAt(index))
            people.append(person);
    }
    return people;
}

void MacContactsViewController::outlineSelectionChanged(bool fromList)
{
    if (m_usingTypeSelect && fromList) {
        m_usingTypeSelect = false;
        return;
    }
    const QList<Person *> people = selectedContactsInList();
    const int selectedRows = m_contactsOutlineView->selectionModel()->selectedRows().size();
    if (selectedRows == 1) {
        if (people.size() == 1 && people.first() != m_contactsListSource->selectedContactInSource())
            selectDetailPersonWithItem(people.first());
    } else if (selectedRows >= 2) {
        selectDetailPersonWithMultipleItems(people);
    }
    m_usingTypeSelect = false;
}

void MacContactsViewController::selectItemAtSelectedRow()
{
    if (m_selectionIsChanging) {
        m_selectionIsChanging = false;
        return;
    }
    outlineSelectionChanged(false);
}

void MacContactsViewController::selectDetailPersonWithItem(Person *person)
{
    selectContactPageWithPerson(person, m_currentSegmentState == 0 ? LogsTab : m_currentSegmentState);
}

void MacContactsViewController::selectDetailPersonWithMultipleItems(const QList<Person *> &people)
{
    disableContactDetailsPage();
    m_contactsListSource->setSelectContactInSource(people);
}

void MacContactsViewController::showContactFromElsewhere(Person *person, int tabIndex)
{
    // A search that leaves the contact out would hide it: the list shows every contact again first.
    if (m_clearSearchField)
        m_clearSearchField();
    m_contactsListSource->searchResultsWithString(QString());
    m_contactsListSource->finishPendingWork();
    selectContactPageWithPerson(person, tabIndex);
}

void MacContactsViewController::selectContactPageWithPerson(Person *person, int tabIndex)
{
    if (!person) {
        QDLogInfo(QStringLiteral("MacContacts - disableContactPage"));
        disableContactDetailsPage();
        return;
    }
    loadViewIfNeeded();
    if (tabIndex == InfoTab) {
        if (ContactPageTab *info = m_tabs[InfoTab - 1].controller; info && info->isEditing())
            info->editButtonSelected(nullptr);
    }
    QDLogInfo(QStringLiteral("MacContacts - selectedContact"));
    m_contactsListSource->setSelectContactInSource({person});
    enableContactDetailsPage();
    tabButtonSelected(tabIndex);
    if (m_model->indexForPerson(person).isValid())
        selectPersonInOutlineView(person);
    if (!m_contactsOutlineView->hasFocus())
        m_contactsOutlineView->setFocus();
}

// ---- Page ----

ContactPageTab *MacContactsViewController::makeTab(int tab, Person *person)
{
    if (m_tabFactory) {
        if (ContactPageTab *made = m_tabFactory(tab, person))
            return made;
    }
    return new PlaceholderTab(m_tabs[size_t(tab - 1)].controllerClass);
}

void MacContactsViewController::setupContactScrollview(QWidget *view)
{
    auto *layout = static_cast<QVBoxLayout *>(m_mainContentView->layout());
    // The tab's view fills the page below the header box.
    if (QLayoutItem *stretch = layout->itemAt(layout->count() - 1); stretch && stretch->spacerItem())
        delete layout->takeAt(layout->count() - 1);
    view->setParent(m_mainContentView);
    layout->addWidget(view, 1);
}

void MacContactsViewController::tabButtonSelected(int index)
{
    loadViewIfNeeded();
    if (m_currentView)
        m_currentView->hide();
    if (m_currentAddButton)
        m_currentAddButton->hide();
    if (ContactPageTab *info = m_tabs[InfoTab - 1].controller; info && info->isEditing())
        info->stopEditingContact();
    if (index >= 1 && index <= TabCount) {
        TabParts &tab = m_tabs[size_t(index - 1)];
        Person *person = m_contactsListSource->selectedContactInSource();
        if (!tab.controller && person) {
            tab.controller = makeTab(index, person);
            tab.controller->setContactsDelegate(this);
            if (index == InfoTab)
                tab.controller->setBoxWidth(m_boxView->width());
            setupContactScrollview(tab.controller->view());
        }
        m_tabStripImage = tab.stripImage;
        tab.addButton->setEnabled(tab.controller && tab.controller->canAddRecords());
        m_currentView = tab.controller ? tab.controller->view() : nullptr;
        m_currentTabLabel = tab.label;
        m_currentAddButton = tab.addButton;
        tab.button->setFocus();
    }
    if (m_currentAddButton && m_currentAddButton != m_tabs[InfoTab - 1].addButton)
        m_currentAddButton->show();
    if (m_currentView)
        m_currentView->show();
    m_currentSegmentState = index;
}

void MacContactsViewController::removeCurrentOutlineViews()
{
    for (TabParts &tab : m_tabs) {
        if (!tab.controller)
            continue;
        if (QWidget *view = tab.controller->view()) {
            view->hide();
            if (m_mainContentView->layout())
                m_mainContentView->layout()->removeWidget(view);
            view->setParent(nullptr);
        }
        delete tab.controller;
        tab.controller = nullptr;
    }
    m_currentView = nullptr;
    // Without a tab's view the header box keeps its height at the top of the page.
    if (auto *layout = static_cast<QVBoxLayout *>(m_mainContentView->layout())) {
        QLayoutItem *last = layout->count() > 0 ? layout->itemAt(layout->count() - 1) : nullptr;
        if (!last || !last->spacerItem())
            layout->addStretch(1);
    }
}

void MacContactsViewController::disableContactDetailsPage()
{
    loadViewIfNeeded();
    m_contactsListSource->setSelectContactInSource({});
    m_dividerImage->hide();
    for (TabParts &tab : m_tabs) {
        tab.addButton->hide();
        tab.button->setEnabled(false);
    }
    m_callButton->setEnabled(false);
    m_emailButton->setEnabled(false);
    m_messageButton->setEnabled(false);
    m_contactLargeImage->hide();
    m_contactLargeImage->setContextMenuPolicy(Qt::NoContextMenu);
    removeCurrentOutlineViews();
    m_nameField->setToolTip(QString());
    m_contactLargeImage->setToolTip(QString());
    m_callButton->setToolTip(NoContactSelectedToolTip);
    m_emailButton->setToolTip(NoContactSelectedToolTip);
    m_messageButton->setToolTip(NoContactSelectedToolTip);
    m_coloredTabSwitches->setToolTip(NoContactSelectedToolTip);
    refreshHeaderTexts();
}

void MacContactsViewController::enableContactDetailsPage()
{
    loadViewIfNeeded();
    for (TabParts &tab : m_tabs)
        tab.button->setEnabled(true);
    m_dividerImage->show();
    removeCurrentOutlineViews();
    m_contactLargeImage->show();
    // Opening the contact in an address book has no place to go, so the tips offer only the Info tab.
    m_nameField->setToolTip(QStringLiteral("Edit name from Info tab"));
    m_contactLargeImage->setToolTip(QStringLiteral("Edit image from Info tab"));
    m_callButton->setEnabled(true);
    m_emailButton->setEnabled(true);
    m_messageButton->setEnabled(true);
    setupTooltipForPhoneButton();
    m_emailButton->setToolTip(QStringLiteral("Email contact"));
    m_messageButton->setToolTip(QStringLiteral("Message contact"));
    m_coloredTabSwitches->setToolTip(QString());
    updateLargeContactImage();
    refreshHeaderTexts();
}

QString MacContactsViewController::tabStripToolTip() const
{
    return m_coloredTabSwitches ? m_coloredTabSwitches->toolTip() : QString();
}

void MacContactsViewController::refreshHeaderTexts()
{
    Person *person = m_contactsListSource->selectedContactInSource();
    m_displayNameLabel->setText(person ? person->displayName() : QString());
    m_companyNameLabel->setText(person ? person->companyName() : QString());
}

void MacContactsViewController::updateLargeContactImage()
{
    if (!m_contactLargeImage)
        return;
    Person *person = m_contactsListSource->selectedContactInSource();
    m_contactLargeImage->setPixmap(QPixmap::fromImage(ContactDataCellView::pictureForPerson(person)));
}

void MacContactsViewController::contactUpdateListView()
{
    if (!m_model)
        return;
    const QModelIndex index = m_model->indexForPerson(m_contactsListSource->selectedContactInSource());
    if (index.isValid())
        emit m_model->dataChanged(index, index);
    updateLargeContactImage();
}

void MacContactsViewController::contactUpdateName()
{
    m_contactsListSource->resetDatasource();
    updatedSourceDictionaryWithPreserveSelection(true);
    refreshHeaderTexts();
}

void MacContactsViewController::addTextFieldForFillerText(QWidget *field, QWidget *mainView)
{
    if (!field || !mainView)
        return;
    field->setParent(mainView);
    field->setMinimumHeight(40);
    field->setGeometry(0, 160, mainView->width(), qMax(40, field->sizeHint().height()));
    field->show();
    setShowingFillerText(true);
}

ContactPageTab *MacContactsViewController::tabController(int tab) const
{
    return tab >= 1 && tab <= TabCount ? m_tabs[size_t(tab - 1)].controller : nullptr;
}

ContactTabButton *MacContactsViewController::tabButton(int tab) const
{
    return tab >= 1 && tab <= TabCount ? m_tabs[size_t(tab - 1)].button : nullptr;
}

QPushButton *MacContactsViewController::addButton(int tab) const
{
    return tab >= 1 && tab <= TabCount ? m_tabs[size_t(tab - 1)].addButton : nullptr;
}

QLabel *MacContactsViewController::tabLabel(int tab) const
{
    return tab >= 1 && tab <= TabCount ? m_tabs[size_t(tab - 1)].label : nullptr;
}

void MacContactsViewController::logsAddButtonPressed(QObject *sender)
{
    logEvent(QStringLiteral("ShowAddLog"), {{QStringLiteral("Page"), QStringLiteral("ContactPage")}});
    if (ContactPageTab *tab = tabController(LogsTab))
        tab->showAddLogContactSheet(sender);
}

void MacContactsViewController::todosAddButtonPressed(QObject *sender)
{
    logEvent(QStringLiteral("ShowAddTodo"), {{QStringLiteral("Page"), QStringLiteral("ContactPage")}});
    if (ContactPageTab *tab = tabController(ToDosTab))
        tab->showAddTodoContactSheet(sender);
}

void MacContactsViewController::filesAddButtonPressed(QObject *sender)
{
    logEvent(QStringLiteral("ShowAddFile"), {{QStringLiteral("Page"), QStringLiteral("ContactPage")}});
    if (ContactPageTab *tab = tabController(FilesTab))
        tab->showAddFilesOptions(sender);
}

void MacContactsViewController::fieldsAddButtonPressed(QObject *sender)
{
    logEvent(QStringLiteral("ShowAddField"), {{QStringLiteral("Page"), QStringLiteral("ContactPage")}});
    if (ContactPageTab *tab = tabController(FieldsTab))
        tab->showAddFieldsOptions(sender);
}

void MacContactsViewController::infoEditButtonPressed(QObject *)
{
    logEvent(QStringLiteral("EditInfoButton"), {{QStringLiteral("Page"), QStringLiteral("ContactPage")}});
    if (ContactPageTab *tab = tabController(InfoTab))
        tab->editButtonSelected(nullptr);
}

// ---- Keys ----

void MacContactsViewController::leftKeyWasPressed()
{
    if (KeyRoutingDelegate *app = KeyRoutingDelegate::applicationDelegate())
        app->leftKeyTomakeSidebarFirstResponder();
}

void MacContactsViewController::enterPressedOnContacts()
{
    m_selectionIsChanging = false;
    selectItemAtSelectedRow();
}

void MacContactsViewController::addButtonWasKeyed()
{
    switch (m_currentSegmentState) {
    case 0:
    case LogsTab:
        logsAddButtonPressed(addButton(LogsTab));
        break;
    case ToDosTab:
        todosAddButtonPressed(addButton(ToDosTab));
        break;
    case FilesTab:
        filesAddButtonPressed(addButton(FilesTab));
        break;
    case FieldsTab:
        fieldsAddButtonPressed(addButton(FieldsTab));
        break;
    case InfoTab:
        infoEditButtonPressed(addButton(InfoTab));
        break;
    default:
        break;
    }
}

void MacContactsViewController::recalculateResponders()
{
    for (int i = 0; i < TabCount; ++i) {
        ContactTabButton *button = m_tabs[size_t(i)].button;
        button->setPreviousKeyView(i > 0 ? m_tabs[size_t(i - 1)].button : nullptr);
        button->setNextKeyView(i + 1 < TabCount ? m_tabs[size_t(i + 1)].button : nullptr);
        if (i > 0)
            QWidget::setTabOrder(m_tabs[size_t(i - 1)].button, button);
    }
}

Person *MacContactsViewController::personAtRow(int row) const
{
    if (!m_model || row < 0)
        return nullptr;
    return m_model->personAt(m_contactsOutlineView->indexForRow(row));
}

void MacContactsViewController::upKeyWasPressed()
{
    if (!m_model)
        return;
    const QModelIndexList selected = m_contactsOutlineView->selectionModel()->selectedRows();
    const int row = selected.isEmpty() ? -1 : m_contactsOutlineView->rowForIndex(selected.first());
    const int tab = m_currentSegmentState == 0 ? LogsTab : m_currentSegmentState;
    // A section title above the selection is passed over.
    if (Person *above = personAtRow(row - 1))
        selectContactPageWithPerson(above, tab);
    else if (Person *beyond = personAtRow(row - 2))
        selectContactPageWithPerson(beyond, tab);
}

void MacContactsViewController::downKeyWasPressed()
{
    if (!m_model)
        return;
    const QModelIndexList selected = m_contactsOutlineView->selectionModel()->selectedRows();
    const int row = selected.isEmpty() ? -1 : m_contactsOutlineView->rowForIndex(selected.first());
    const int tab = m_currentSegmentState == 0 ? LogsTab : m_currentSegmentState;
    if (Person *below = personAtRow(row + 1)) {
        selectContactPageWithPerson(below, tab);
        return;
    }
    // A section title is passed over; the footer is never selected.
    const QModelIndex next = m_contactsOutlineView->indexForRow(row + 1);
    const bool nextIsFooter =
        next.isValid() && Kind(next.data(ContactsListItemModel::ItemKindRole).toInt()) == Kind::Footer;
    if (next.isValid() && !nextIsFooter) {
        if (Person *beyond = personAtRow(row + 2))
            selectContactPageWithPerson(beyond, tab);
    }
}

void MacContactsViewController::rightKeyWasPressed()
{
    const int tab = m_currentSegmentState == 0 ? LogsTab : m_currentSegmentState;
    ContactTabButton *button = tabButton(tab);
    // Without a contact on the page the tab buttons are off and the list keeps the keyboard.
    if (!button || !button->isEnabled())
        return;
    if (m_currentSegmentState != tab)
        tabButtonSelected(tab);
    button->setFocus(Qt::TabFocusReason);
}

void MacContactsViewController::subviewPressedDownButton()
{
    ContactPageTab *tab = tabController(m_currentSegmentState);
    auto *list = tab ? qobject_cast<CustomNSOutlineView *>(tab->listView()) : nullptr;
    if (!list)
        return;
    // Row 1 is the first record under the first section title.
    const QModelIndex first = list->indexForRow(1);
    if (!first.isValid())
        return;
    list->selectionModel()->select(first, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    list->selectionModel()->setCurrentIndex(first, QItemSelectionModel::NoUpdate);
    list->setFocus(Qt::TabFocusReason);
}

void MacContactsViewController::subviewPressedUpButton()
{
    ContactTabButton *button = tabButton(m_currentSegmentState);
    if (!button)
        return;
    button->setFocus(Qt::TabFocusReason);
    if (ContactPageTab *tab = tabController(m_currentSegmentState); tab && tab->listView())
        tab->listView()->clearSelection();
}

void MacContactsViewController::subviewPressedLeftButton()
{
    if (m_currentSegmentState <= LogsTab && m_contactsOutlineView)
        m_contactsOutlineView->setFocus();
}

// ---- Delete ----

namespace {
bool holdsFocus(QWidget *view)
{
    QWidget *focus = QApplication::focusWidget();
    return view && focus && (focus == view || view->isAncestorOf(focus));
}
} // namespace

bool MacContactsViewController::validateMenuItem(QAction *)
{
    // Delete acts on the contacts selected in the list, or on the record selected in the tab's list.
    if (holdsFocus(m_contactsOutlineView))
        return !selectedContactsInList().isEmpty();
    ContactPageTab *tab = tabController(m_currentSegmentState);
    QAbstractItemView *list = tab ? tab->listView() : nullptr;
    if (!holdsFocus(list))
        return false;
    if (m_currentSegmentState == InfoTab)
        return tab->isEditing() && list->selectionModel() && list->selectionModel()->hasSelection();
    return list->selectionModel() && list->selectionModel()->hasSelection();
}

void MacContactsViewController::performDelete(QObject *)
{
    if (holdsFocus(m_contactsOutlineView)) {
        const QModelIndexList selected = m_contactsOutlineView->selectionModel()->selectedRows();
        if (selected.size() == 1)
            deleteSingleContactSelectionWithRow(m_contactsOutlineView->rowForIndex(selected.first()));
        else
            deleteMultipleSelectedContacts();
        return;
    }
    ContactPageTab *tab = tabController(m_currentSegmentState);
    if (tab && holdsFocus(tab->listView()))
        tab->deleteSelectedRecord();
}

bool MacContactsViewController::canPaste() const
{
    if (m_currentSegmentState != FilesTab)
        return false;
    ContactPageTab *tab = tabController(FilesTab);
    return tab && tab->canPaste();
}

void MacContactsViewController::paste(QObject *sender)
{
    if (!canPaste())
        return;
    tabController(FilesTab)->paste(sender);
}

void MacContactsViewController::deleteSingleContactSelectionWithRow(int row)
{
    Person *person = personAtRow(row);
    if (!person)
        return;
    auto defaults = platform::core::UserDefaults::standardUserDefaults();
    const auto deleteOne = [this, row](Person *chosen) {
        QString key;
        m_contactsListSource->locateContact(chosen, &key, nullptr);
        // The row left behind goes to the contact that moved up into it.
        m_contactsListSource->deletePersonFromOutlineView(chosen, true, row, key);
        SharedSettingController::sharedSettings().writeToContactsReferenceFile();
    };
    if (defaults->objectForKey(DeleteContactDefaultsKey).isValid() && defaults->boolForKey(DeleteContactDefaultsKey)) {
        deleteOne(person);
        return;
    }
    platform::ui::AlertSpec alert;
    alert.messageText = QStringLiteral("Delete Contact");
    alert.informativeText = QStringLiteral(
        "This will delete ALL data linked to this contact, including any Logs, ToDos and Files. The contact will not "
        "be deleted from the Mac Contacts app. Do you still want to delete the contact?");
    alert.buttonTitles = {QStringLiteral("Delete"), QStringLiteral("No")};
    alert.showsSuppressionButton = true;
    QPointer<MacContactsViewController> self(this);
    const platform::store::ManagedObjectID target = person->objectID();
    platform::ui::AlertPresenter::shared().beginSheet(alert, window(), [self, target, deleteOne](const platform::ui::AlertResult &result) {
        if (!self)
            return;
        const ContextPtr context = self->managedObjectContext();
        auto *chosen = context ? dynamic_cast<Person *>(context->existingObjectWithID(target)) : nullptr;
        if (result.returnCode() == platform::ui::AlertFirstButtonReturn && chosen && !chosen->isDeleted())
            deleteOne(chosen);
        if (result.suppressed)
            platform::core::UserDefaults::standardUserDefaults()->setBool(true, DeleteContactDefaultsKey);
    });
}

void MacContactsViewController::deleteMultipleSelectedContacts()
{
    deleteContacts(selectedContactsInList());
}

void MacContactsViewController::deleteContacts(const QList<Person *> &people)
{
    const ContextPtr context = managedObjectContext();
    if (!context)
        return;
    for (Person *person : people) {
        if (person && person->managedObjectContext() == context.get())
            context->deleteObject(person);
    }
    // The list follows the context: each deleted contact leaves its section at once.
    context->processPendingChanges();
    platform::core::QDError error;
    if (!context->save(&error)) {
        QDLogError(QStringLiteral("MacContacts - delete failed: %1").arg(error.toString()));
        // Nothing is left half-deleted: the contacts come back as they were stored.
        context->rollback();
        reloadAllContactsAndOutlineView();
        QDAlertDisplayMac::sharedAlert()->showAlertWithTitle(
            QStringLiteral("Error"), QStringLiteral("There was an error deleting contacts - %1").arg(error.code()), window());
    }
    SharedSettingController::sharedSettings().writeToContactsReferenceFile();
}

// ---- Store restore ----

void MacContactsViewController::prepareForDBRestore(const platform::core::Notification &)
{
    m_contactsListSource->setIsRestoringData(true);
    m_contactsListSource->removeAllContactsFromList();
    disableContactDetailsPage();
    m_contactsListSource->setManagedObjectContext(nullptr);
    setManagedObjectContext(nullptr);
    if (m_model) {
        m_reloading = true;
        m_model->reload();
        m_reloading = false;
    }
}

void MacContactsViewController::databaseRestoredNotification(const platform::core::Notification &notification)
{
    auto *context = static_cast<platform::store::ManagedObjectContext *>(const_cast<void *>(notification.object));
    ContextPtr shared = context ? context->shared_from_this() : nullptr;
    setManagedObjectContext(shared);
    m_contactsListSource->setManagedObjectContext(shared);
    m_contactsListSource->refetchArrayController();
    m_contactsListSource->setIsRestoringData(false);
    reloadAllContactsAndOutlineView();
}

// ---- Changes announced elsewhere ----

namespace {
QList<Person *> peopleUnder(const platform::core::Notification &notification, const QString &key)
{
    QList<Person *> people;
    for (platform::store::ManagedObject *object :
         notification.userInfo.value(key).value<platform::store::ManagedObject::ObjectList>()) {
        if (auto *person = dynamic_cast<Person *>(object))
            people.append(person);
    }
    return people;
}
} // namespace

void MacContactsViewController::personCloudUpdateNotification(const platform::core::Notification &notification)
{
    // Only the changes merged into the context this section shows (it follows a restore's new context).
    if (notification.object && notification.object != managedObjectContext().get())
        return;
    const QList<Person *> added = peopleUnder(notification, AddedContactsKey);
    if (!added.isEmpty())
        reloadContactsListWithNewPersons(added, true);
    const QList<Person *> deleted = peopleUnder(notification, DeletedContactsKey);
    if (!deleted.isEmpty()) {
        Person *shown = m_contactsListSource->selectedContactInSource();
        const std::optional<platform::store::ManagedObjectID> shownID = contactIdentifier(shown);
        for (Person *person : deleted) {
            if (shownID && contactIdentifier(person) == shownID)
                disableContactDetailsPage();
            QString parent;
            m_contactsListSource->locateContact(person, &parent, nullptr);
            m_contactsListSource->deletePersonFromOutlineView(person, false, -1, parent);
        }
        SharedSettingController::sharedSettings().writeToContactsReferenceFile();
    }
    if (!peopleUnder(notification, UpdatedContactsKey).isEmpty())
        reloadAllContactsAndOutlineView();
}

void MacContactsViewController::sortOrderChanged(const platform::core::Notification &)
{
    QDLogInfo(QStringLiteral("MacContacts: start SORT OrderChanged = %1")
                  .arg(dataPlistValues().integerValue(Person::SortOrderSettingKey)));
    logEvent(QStringLiteral("MacContactsPage"), {{QStringLiteral("Action"), QStringLiteral("SortOrderChange")}});
    m_contactsListSource->syncWithPersonsListWithTypeOfChange(ContactsListDisplaySource::RemakeSortingNames);
    QDLogInfo(QStringLiteral("-- end SORT OrderChanged"));
}

void MacContactsViewController::displayOrderChanged(const platform::core::Notification &)
{
    QDLogInfo(QStringLiteral("MacContacts: start DISPLAY OrderChanged = %1")
                  .arg(dataPlistValues().integerValue(Person::DisplayOrderSettingKey)));
    logEvent(QStringLiteral("MacContactsPage"), {{QStringLiteral("Action"), QStringLiteral("DisplayOrderChange")}});
    m_contactsListSource->syncWithPersonsListWithTypeOfChange(ContactsListDisplaySource::RemakeDisplayNames);
    QDLogInfo(QStringLiteral("-- end DISPLAY OrderChanged"));
}

void MacContactsViewController::syncWithAddressBookChangeNotification(const platform::core::Notification &notification)
{
    const QList<Person *> updated = peopleUnder(notification, ContactsListDisplaySource::UpdatedRecordsKey);
    if (updated.isEmpty())
        return;
    if (const auto bridge = VCardAddressBookBridge::installed()) {
        for (Person *person : updated) {
            if (!person->isDeleted())
                bridge->loadImageRecord(*person);
        }
    }
    Person *shown = m_contactsListSource->selectedContactInSource();
    reloadAllContactsAndOutlineView();
    if (!shown || !updated.contains(shown))
        return;
    ContactPageTab *info = tabController(InfoTab);
    if (info && info->isEditing())
        return;
    selectPersonInOutlineView(shown);
    updateLargeContactImage();
    refreshHeaderTexts();
}

void MacContactsViewController::contactsInitialLinkAndImageLoadNotification(const platform::core::Notification &)
{
    auto defaults = platform::core::UserDefaults::standardUserDefaults();
    defaults->setInteger(5, QStringLiteral("HockeyDebug-5"));
    updatedSourceDictionaryWithPreserveSelection(true);
    defaults->setInteger(6, QStringLiteral("HockeyDebug-5"));
    SharedSettingController::sharedSettings().writeToContactsReferenceFile();
}

void MacContactsViewController::contactsInformationSyncedNotification(const platform::core::Notification &)
{
    m_contactsListSource->postBackgroundContextDidSave();
}

void MacContactsViewController::newContactsAvailable(const QList<platform::contacts::ContactRecord> &records)
{
    if (records.isEmpty() || !dataPlistValues().boolValue(ContactsListDisplaySource::AutoImportContactsKey))
        return;
    // A change seen both as it happens and by the look that follows the refresh names the same people
    // twice: each is offered once.
    QList<platform::contacts::ContactRecord> fresh;
    for (const platform::contacts::ContactRecord &record : records) {
        if (!m_offeredRecordIds.contains(record.uniqueId()))
            fresh.append(record);
    }
    if (fresh.isEmpty())
        return;
    for (const platform::contacts::ContactRecord &record : std::as_const(fresh))
        m_offeredRecordIds.insert(record.uniqueId());
    platform::ui::AlertSpec alert;
    alert.informativeText =
        fresh.size() == 1
            ? QStringLiteral("1 new Contact detected. Would you like to import it into Quendel?")
            : QStringLiteral("%1 new Contacts detected. Would you like to import them into Quendel?").arg(fresh.size());
    alert.buttonTitles = {QStringLiteral("Import"), QStringLiteral("No")};
    QPointer<MacContactsViewController> self(this);
    platform::ui::AlertPresenter::shared().beginSheet(alert, window(), [self, fresh](const platform::ui::AlertResult &result) {
        if (!self || result.returnCode() != platform::ui::AlertFirstButtonReturn)
            return;
        if (self->m_addActions.importOfferedContacts)
            self->m_addActions.importOfferedContacts(fresh);
    });
}
