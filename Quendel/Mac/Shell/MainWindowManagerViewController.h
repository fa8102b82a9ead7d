#pragma once

#include "platform/store/Predicate.h"

#include <QList>
#include <QPointer>
#include <QRect>
#include <QStringList>
#include <QWidget>

#include <memory>
#include <optional>

class Person;
class PrivateGroups;
class QAction;

namespace platform::core {
struct Notification;
}
namespace platform::store {
class ManagedObjectContext;
}
namespace platform::ui {
class Popover;
}

// The base of the five sections of the main window (Contacts, Logs, ToDos, Files, Map). It keeps the
// section's context, its current popover and its filler text, makes the section's popovers, and declares
// the operations every section implements; the main window calls them, the base gives them no behaviour.
class MainWindowManagerViewController : public QWidget
{
    Q_OBJECT
public:
    using ContextPtr = std::shared_ptr<platform::store::ManagedObjectContext>;
    using Predicate = platform::store::Predicate;

    // The section's interface name (its class name) and the main context it reads.
    MainWindowManagerViewController(const QString &nibName, ContextPtr context, QWidget *parent = nullptr);
    ~MainWindowManagerViewController() override;

    QString nibName() const { return m_nibName; }

    ContextPtr managedObjectContext() const { return m_context; }
    void setManagedObjectContext(ContextPtr context) { m_context = std::move(context); }

    platform::ui::Popover *contentPopover() const;
    void setContentPopover(platform::ui::Popover *popover);

    QWidget *fillerTextView() const { return m_fillerTextView; }
    void setFillerTextView(QWidget *view) { m_fillerTextView = view; }
    bool showingFillerText() const { return m_showingFillerText; }
    void setShowingFillerText(bool showing) { m_showingFillerText = showing; }

    bool acceptsFirstResponder() const { return true; }

    // The four filters of the section's list: the date range and the title of its own sidebar, the
    // toolbar search and the toolbar group. Unset means no filter.
    const std::optional<Predicate> &dateFilterPredicate() const { return m_dateFilterPredicate; }
    void setDateFilterPredicate(std::optional<Predicate> predicate) { m_dateFilterPredicate = std::move(predicate); }
    const std::optional<Predicate> &titleFilterPredicate() const { return m_titleFilterPredicate; }
    void setTitleFilterPredicate(std::optional<Predicate> predicate) { m_titleFilterPredicate = std::move(predicate); }
    const std::optional<Predicate> &searchPredicate() const { return m_searchPredicate; }
    void setSearchPredicate(std::optional<Predicate> predicate) { m_searchPredicate = std::move(predicate); }
    const std::optional<Predicate> &contactsFilterPredicate() const { return m_contactsFilterPredicate; }
    void setContactsFilterPredicate(std::optional<Predicate> predicate)
    {
        m_contactsFilterPredicate = std::move(predicate);
    }
    // The AND of the filters that are set, in the order date, title, search, group; unset when none is.
    std::optional<Predicate> combinedFilterPredicate() const;

    // Records whose contact is a member of the private group ("person IN members").
    static Predicate predicateForPrivateGroup(const PrivateGroups *group);
    // The same for an address-book group, given its members' unique identifiers in the group's order.
    Predicate predicateForPublicGroup(const QStringList &memberUniqueIds) const;
    // The stored contacts linked to those members, in the group's order; unlinked members add nothing.
    QList<Person *> personsListForPublicGroup(const QStringList &memberUniqueIds) const;

    // Saves the section's context; false when the save failed (the caller decides what to tell the user).
    bool saveContext();

    // A new transient popover around `controller`, reporting its closing to popoverDidClose. The base does
    // not keep it; the caller stores it in contentPopover.
    platform::ui::Popover *createPopoverWithViewController(QWidget *controller);

    // Puts the filler text into `mainView`: from the leading view's trailing edge (or the main view's
    // leading edge) to the trailing view's leading edge (or the main view's trailing edge), at the top,
    // 40 points high when it reaches the main view's trailing edge and 120 otherwise; it follows later
    // changes of those views. Taking it out again is the section's business.
    void addTextFieldForFillerText(QWidget *filler, QWidget *mainView, QWidget *leadingView, QWidget *trailingView);
    // The filler's place in the main view's coordinates; a missing rect stands for the main view itself.
    static QRect fillerTextRect(const QSize &mainSize, const std::optional<QRect> &leading,
                                const std::optional<QRect> &trailing);

    // The section's widgets are built the first time the window asks for them, then awakeFromNib runs once.
    bool isViewLoaded() const { return m_viewLoaded; }
    void loadViewIfNeeded();

    // The section contract.
    virtual void awakeFromNib() {}
    virtual void prepareForDBRestore(const platform::core::Notification &notification) {}
    virtual void databaseRestoredNotification(const platform::core::Notification &notification) {}
    virtual void groupChangedNotification(const platform::core::Notification &notification) {}
    virtual void searchResultsWithString(const QString &text) {}
    virtual bool validateMenuItem(QAction *item) { return true; }
    // The Delete command ("delete:") while the section's list has the focus.
    virtual void performDelete(QObject *sender) {}
    virtual void popoverDidClose(platform::ui::Popover *popover) {}
    // The Contacts section's import popover, closed when the window leaves that section.
    virtual platform::ui::Popover *importContactsPopover() const { return nullptr; }

protected:
    // Builds the section's widgets, once, the first time they are needed.
    virtual void loadView() {}
    // Whether the section answers the Delete command; the Map section does not.
    virtual bool handlesDeleteCommand() const { return true; }

private:
    QString m_nibName;
    ContextPtr m_context;
    std::optional<Predicate> m_dateFilterPredicate;
    std::optional<Predicate> m_titleFilterPredicate;
    std::optional<Predicate> m_searchPredicate;
    std::optional<Predicate> m_contactsFilterPredicate;
    QPointer<platform::ui::Popover> m_contentPopover;
    QPointer<QWidget> m_fillerTextView;
    bool m_showingFillerText = false;
    bool m_viewLoaded = false;
};
