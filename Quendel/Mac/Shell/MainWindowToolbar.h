#pragma once

#include "Mac/Shell/SectionSwitcher.h"

#include <QHash>
#include <QObject>
#include <QPointer>
#include <QStringList>
#include <QVariantMap>

#include <functional>

class MainWindow;
class QAction;
class QLineEdit;
class QToolBar;
class QToolButton;
class QTreeView;

// The main window's toolbar and the application's handling of it: from left to right the sync activity
// view, a flexible space, the contact-group pop-up, the Add button and the search field. Everything acts on
// the section on show. The application's delegate makes one for its window and wires the hooks.
class MainWindowToolbar : public QObject
{
    Q_OBJECT
public:
    static inline const QString ActivityIndicatorViewIdentifier = QStringLiteral("ActivityIndicatorViewIdentifier");
    static inline const QString FlexibleSpaceIdentifier = QStringLiteral("NSToolbarFlexibleSpaceItem");
    static inline const QString ContactsGroupIdentifier = QStringLiteral("ContactsGroupIdentifier");
    static inline const QString AddIdentifier = QStringLiteral("AddIdentifier");
    static inline const QString SearchBarIdentifier = QStringLiteral("SearchBarIdentifier");
    static inline const QString ContactsAddIdentifier = QStringLiteral("ContactsAddIdentifier");
    static inline const QString ContactsEditIdentifier = QStringLiteral("ContactsEditIdentifier");
    static inline const QString CustomSpaceIdentifier = QStringLiteral("CustomSpace");
    static inline const QString EditToolTip =
        QStringLiteral("Edit selected Group\n\nYou can only add new contacts with \"All Contacts\" selected");
    static inline const QString AddToolTip = QStringLiteral("Add or import contacts to list");

    // What the Add button does in each section.
    struct AddHandlers
    {
        std::function<void()> editContactsGroup;           // Contacts with a group chosen
        std::function<void(QWidget *anchor)> addContacts;  // Contacts: the "Add Contact" menu
        std::function<void(QWidget *anchor)> newLogs;
        std::function<void(QWidget *anchor)> newTodos;
        std::function<void(QWidget *anchor)> newFiles;
        std::function<void()> printMap;
    };
    using AnalyticsLogger = std::function<void(const QString &name, const QVariantMap &parameters)>;

    explicit MainWindowToolbar(MainWindow *window, QObject *parent = nullptr);
    ~MainWindowToolbar() override;

    QToolBar *toolBar() const { return m_toolBar; }
    QAction *addItemButton() const { return m_addItem; }
    QToolButton *addContactsButton() const { return m_addButton; }
    QLineEdit *searchField() const { return m_searchField; }
    QWidget *groupSelectionButton() const { return m_groupButton; }
    // The group pop-up made by the group menu; the toolbar shows it in place of its empty stand-in.
    void setGroupSelectionButton(QWidget *button);

    void setAddHandlers(AddHandlers handlers)
    {
        m_handlers = std::move(handlers);
        refreshAddButtonState();
    }
    // Whether the Add button has something to do in the section on show.
    bool hasAddHandler() const;
    void setAnalyticsLogger(AnalyticsLogger logger) { m_analytics = std::move(logger); }
    void setSectionListProvider(std::function<QTreeView *(int index)> provider) { m_listFor = std::move(provider); }
    void setFilesRightKeyHandler(std::function<void()> handler) { m_filesRightKey = std::move(handler); }
    void setSidebarWidthProvider(std::function<int()> provider) { m_sidebarWidth = std::move(provider); }

    // ---- Toolbar delegate ----
    static QStringList toolbarDefaultItemIdentifiers();
    static QStringList toolbarAllowedItemIdentifiers() { return toolbarDefaultItemIdentifiers(); }
    // A plain item for an identifier the window does not supply itself; null for an unknown one.
    QAction *itemForItemIdentifier(const QString &identifier);
    bool validateToolbarItem(QAction *) const { return true; }
    void toolbarWillAddItem(QAction *item);
    // The identifiers of the items now in the toolbar, in order.
    QStringList itemIdentifiers() const;
    // Puts the Add item back just before the search field when it is missing.
    void ensureAddItem();
    void removeAddItem();

    // ---- The Add button ----
    void changeAddButtonToEdit();
    void changeAddButtonToAdd();
    bool showsEditFace() const;
    void addItemButtonPressed(QObject *sender);

    // ---- Search ----
    void controlTextDidChange(const QString &text);
    // The field's commands: only "moveDown:" is taken (into the section's list); true when taken.
    bool doCommandBySelector(const QString &command);
    void findButtonPressed();

    // What a section switch changes here.
    void applyPresentation(const SectionSwitcher::Presentation &presentation);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void refreshAddButtonState();
    QAction *addWidgetItem(const QString &identifier, QWidget *widget);
    void logEvent(const QString &name, const QVariantMap &parameters);
    int currentIndex() const;

    QPointer<MainWindow> m_window;
    QToolBar *m_toolBar = nullptr;
    QAction *m_addItem = nullptr;
    QToolButton *m_addButton = nullptr;
    QLineEdit *m_searchField = nullptr;
    QAction *m_searchItem = nullptr;
    QPointer<QWidget> m_groupButton;
    QAction *m_groupItem = nullptr;
    QHash<QAction *, QString> m_identifiers;
    AddHandlers m_handlers;
    AnalyticsLogger m_analytics;
    std::function<QTreeView *(int)> m_listFor;
    std::function<void()> m_filesRightKey;
    std::function<int()> m_sidebarWidth;
    bool m_applyingSearchText = false;
};
