#include "Mac/Shell/MainWindowToolbar.h"

#include "Mac/Shell/MainWindow.h"
#include "Mac/Shell/MainWindowManagerViewController.h"
#include "Mac/Shell/MainWindowSidebar.h"
#include "Mac/Shell/ThemeIcons.h"

#include "QuendelKit/Infra/NormalizedStringTransformer.h"

#include <QAction>
#include <QKeyEvent>
#include <QLineEdit>
#include <QStyle>
#include <QToolBar>
#include <QToolButton>
#include <QTreeView>
#include <QWidgetAction>

namespace {

QWidget *emptyView(int width, int height)
{
    auto *view = new QWidget;
    view->setFixedSize(width, height);
    return view;
}

} // namespace

MainWindowToolbar::MainWindowToolbar(MainWindow *window, QObject *parent) : QObject(parent), m_window(window)
{
    m_toolBar = new QToolBar;
    m_toolBar->setObjectName(QStringLiteral("toolBar"));
    m_toolBar->setMovable(false);
    m_toolBar->setFloatable(false);
    m_toolBar->setContextMenuPolicy(Qt::PreventContextMenu); // no customisation

    QWidget *activity = emptyView(200, 32);
    activity->setObjectName(ActivityIndicatorViewIdentifier);
    addWidgetItem(ActivityIndicatorViewIdentifier, activity);
    auto *space = new QWidget;
    space->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    addWidgetItem(FlexibleSpaceIdentifier, space);
    m_groupButton = emptyView(100, 32);
    m_groupItem = addWidgetItem(ContactsGroupIdentifier, m_groupButton);

    m_addButton = new QToolButton;
    m_addButton->setObjectName(QStringLiteral("addContactsButton"));
    m_addButton->setAccessibleName(QStringLiteral("Add"));
    m_addButton->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    m_addButton->setIconSize(QSize(24, 24));
    connect(m_addButton, &QToolButton::clicked, this, [this] { addItemButtonPressed(m_addButton); });
    m_addItem = new QWidgetAction(this);
    static_cast<QWidgetAction *>(m_addItem)->setDefaultWidget(m_addButton);
    m_identifiers.insert(m_addItem, AddIdentifier);
    m_toolBar->addAction(m_addItem);
    toolbarWillAddItem(m_addItem);

    m_searchField = new QLineEdit;
    m_searchField->setObjectName(QStringLiteral("searchField"));
    m_searchField->setAccessibleName(QStringLiteral("Search"));
    m_searchField->setClearButtonEnabled(true);
    m_searchField->setFixedWidth(200);
    m_searchField->installEventFilter(this);
    connect(m_searchField, &QLineEdit::textChanged, this, [this](const QString &text) {
        if (!m_applyingSearchText)
            controlTextDidChange(text);
    });
    m_searchItem = addWidgetItem(SearchBarIdentifier, m_searchField);
    changeAddButtonToAdd();

    if (m_window)
        connect(m_window, &MainWindow::sectionPresented, this, &MainWindowToolbar::applyPresentation);
}

MainWindowToolbar::~MainWindowToolbar()
{
    if (!m_toolBar->parent())
        delete m_toolBar;
}

QAction *MainWindowToolbar::addWidgetItem(const QString &identifier, QWidget *widget)
{
    QAction *action = m_toolBar->addWidget(widget);
    m_identifiers.insert(action, identifier);
    return action;
}

void MainWindowToolbar::setGroupSelectionButton(QWidget *button)
{
    if (!button)
        return;
    auto *replacement = new QWidgetAction(this);
    replacement->setDefaultWidget(button);
    m_toolBar->insertAction(m_groupItem, replacement);
    m_toolBar->removeAction(m_groupItem);
    m_identifiers.remove(m_groupItem);
    m_groupItem = replacement;
    m_identifiers.insert(replacement, ContactsGroupIdentifier);
    m_groupButton = button;
}

QStringList MainWindowToolbar::toolbarDefaultItemIdentifiers()
{
    return {ActivityIndicatorViewIdentifier, FlexibleSpaceIdentifier, ContactsGroupIdentifier, AddIdentifier,
            SearchBarIdentifier};
}

QAction *MainWindowToolbar::itemForItemIdentifier(const QString &identifier)
{
    QWidget *view = nullptr;
    if (identifier == ActivityIndicatorViewIdentifier)
        view = emptyView(200, 32);
    else if (identifier == ContactsEditIdentifier)
        view = emptyView(20, 20);
    else if (identifier == ContactsGroupIdentifier)
        view = emptyView(100, 32);
    else if (identifier == CustomSpaceIdentifier)
        view = emptyView(qMax(0, (m_sidebarWidth ? m_sidebarWidth() : 0) - 10), 32);
    else if (identifier == SearchBarIdentifier)
        view = emptyView(150, 32);
    else if (identifier != ContactsAddIdentifier)
        return nullptr;
    auto *item = new QWidgetAction(this);
    item->setObjectName(identifier);
    if (view)
        item->setDefaultWidget(view);
    m_identifiers.insert(item, identifier);
    return item;
}

void MainWindowToolbar::toolbarWillAddItem(QAction *item)
{
    if (m_identifiers.value(item) != AddIdentifier)
        return;
    switch (currentIndex()) {
    case SectionSwitcher::Contacts:
        item->setText(QStringLiteral("Contacts"));
        break;
    case SectionSwitcher::Logs:
        item->setText(QStringLiteral("Log"));
        break;
    case SectionSwitcher::ToDos:
        item->setText(QStringLiteral("ToDo"));
        break;
    case SectionSwitcher::Files:
        // Left alone, the label would still name the section shown before.
        item->setText(QStringLiteral("File"));
        break;
    default:
        break;
    }
    // The item's label is shown under the button's picture.
    if (!showsEditFace())
        m_addButton->setText(item->text().isEmpty() ? QStringLiteral("Add") : item->text());
    refreshAddButtonState();
}

bool MainWindowToolbar::hasAddHandler() const
{
    switch (currentIndex()) {
    case SectionSwitcher::Contacts:
        return showsEditFace() ? bool(m_handlers.editContactsGroup) : bool(m_handlers.addContacts);
    case SectionSwitcher::Logs:
        return bool(m_handlers.newLogs);
    case SectionSwitcher::ToDos:
        return bool(m_handlers.newTodos);
    case SectionSwitcher::Files:
        return bool(m_handlers.newFiles);
    case SectionSwitcher::Map:
        return bool(m_handlers.printMap);
    default:
        return false;
    }
}

void MainWindowToolbar::refreshAddButtonState()
{
    // In a section whose add command has nothing to open the button is disabled.
    m_addButton->setEnabled(hasAddHandler());
}

QStringList MainWindowToolbar::itemIdentifiers() const
{
    QStringList identifiers;
    for (QAction *action : m_toolBar->actions())
        identifiers << m_identifiers.value(action);
    return identifiers;
}

void MainWindowToolbar::ensureAddItem()
{
    if (m_toolBar->actions().contains(m_addItem))
        return;
    m_toolBar->insertAction(m_searchItem, m_addItem);
    toolbarWillAddItem(m_addItem);
}

void MainWindowToolbar::removeAddItem()
{
    m_toolBar->removeAction(m_addItem);
}

int MainWindowToolbar::currentIndex() const
{
    return m_window ? m_window->currentIndex() : -1;
}

void MainWindowToolbar::logEvent(const QString &name, const QVariantMap &parameters)
{
    if (m_analytics)
        m_analytics(name, parameters);
}

void MainWindowToolbar::changeAddButtonToEdit()
{
    if (currentIndex() != SectionSwitcher::Contacts)
        return;
    m_addButton->setIcon(ThemeIcons::icon(QStringLiteral("document-edit")));
    m_addButton->setText(QStringLiteral("Edit"));
    m_addButton->setAccessibleName(QStringLiteral("Edit"));
    m_addButton->setToolTip(EditToolTip);
    refreshAddButtonState();
}

void MainWindowToolbar::changeAddButtonToAdd()
{
    const QString label = m_addItem && !m_addItem->text().isEmpty() ? m_addItem->text() : QStringLiteral("Add");
    m_addButton->setText(label);
    m_addButton->setIcon(ThemeIcons::icon(QStringLiteral("list-add")));
    m_addButton->setAccessibleName(QStringLiteral("Add"));
    m_addButton->setToolTip(AddToolTip);
    refreshAddButtonState();
}

bool MainWindowToolbar::showsEditFace() const
{
    return m_addButton->text() == QLatin1String("Edit");
}

void MainWindowToolbar::addItemButtonPressed(QObject *)
{
    const auto action = [](const char *value) { return QVariantMap{{QStringLiteral("Action"), QString::fromLatin1(value)}}; };
    const QString event = QStringLiteral("AddToolbarButton");
    switch (currentIndex()) {
    case SectionSwitcher::Contacts:
        if (m_window && m_window->switcher().groupSelected()) {
            logEvent(event, action("EditGroup"));
            if (m_handlers.editContactsGroup)
                m_handlers.editContactsGroup();
        } else {
            logEvent(event, action("AddContact"));
            if (m_handlers.addContacts)
                m_handlers.addContacts(m_addButton);
        }
        break;
    case SectionSwitcher::Logs:
        logEvent(event, action("AddLog"));
        if (m_handlers.newLogs)
            m_handlers.newLogs(m_addButton);
        break;
    case SectionSwitcher::ToDos:
        logEvent(event, action("AddToDo"));
        if (m_handlers.newTodos)
            m_handlers.newTodos(m_addButton);
        break;
    case SectionSwitcher::Files:
        logEvent(event, action("AddFile"));
        if (m_handlers.newFiles)
            m_handlers.newFiles(m_addButton);
        break;
    case SectionSwitcher::Map:
        if (m_handlers.printMap)
            m_handlers.printMap();
        break;
    default:
        break;
    }
}

void MainWindowToolbar::controlTextDidChange(const QString &text)
{
    const int index = currentIndex();
    if (!m_window || index < 0 || index >= SectionSwitcher::SectionCount)
        return;
    // The Contacts list normalises the text itself and remembers what was typed; the other sections get,
    // and remember, the normalised form.
    const QString forSection = index == SectionSwitcher::Contacts ? text : NormalizedStringTransformer::normalizeString(text);
    m_window->switcher().setRememberedSearch(index, forSection);
    if (MainWindowManagerViewController *section = m_window->sectionController(index))
        section->searchResultsWithString(forSection);
}

bool MainWindowToolbar::doCommandBySelector(const QString &command)
{
    if (command != QLatin1String("moveDown:"))
        return false;
    const int index = currentIndex();
    if (index == SectionSwitcher::Files) {
        if (m_filesRightKey)
            m_filesRightKey();
    } else if (index >= 0 && index < SectionSwitcher::SectionCount && m_listFor) {
        MainWindowSidebar::selectOutlineViewOnRight(m_listFor(index));
    }
    return true;
}

void MainWindowToolbar::findButtonPressed()
{
    m_searchField->setFocus(Qt::ShortcutFocusReason);
}

void MainWindowToolbar::applyPresentation(const SectionSwitcher::Presentation &presentation)
{
    if (!presentation.showsSection)
        return;
    if (presentation.addItemShown)
        ensureAddItem();
    else
        removeAddItem();
    toolbarWillAddItem(m_addItem);
    if (presentation.addFace == SectionSwitcher::AddFace::Edit)
        changeAddButtonToEdit();
    else if (presentation.addFace == SectionSwitcher::AddFace::Add)
        changeAddButtonToAdd();
    if (!presentation.addToolTip.isNull())
        m_addButton->setToolTip(presentation.addToolTip);
    m_applyingSearchText = true;
    m_searchField->setText(presentation.searchText);
    m_searchField->setPlaceholderText(presentation.searchPlaceholder);
    m_applyingSearchText = false;
}

bool MainWindowToolbar::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_searchField && event->type() == QEvent::KeyPress) {
        auto *key = static_cast<QKeyEvent *>(event);
        if (key->key() == Qt::Key_Down && doCommandBySelector(QStringLiteral("moveDown:")))
            return true;
    }
    return QObject::eventFilter(watched, event);
}
