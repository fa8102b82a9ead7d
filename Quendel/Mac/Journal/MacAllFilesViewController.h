#pragma once

#include "Mac/Shell/KeyRouting.h"
#include "Mac/Shell/MainWindowManagerViewController.h"

#include "platform/core/NotificationCenter.h"

#include <functional>
#include <vector>

class CustomNSCollectionView;
class FileAttachments;
class FilesCollectionController;
class FilesListDataSource;
class QLabel;

// The Files section of the main window: every file of every contact in one grid, a section per contact
// under the contact's name (files of no contact under "Unassigned"), narrowed by the toolbar search and the
// chosen group. Files are previewed or opened, renamed in place, deleted after a question, and their
// contact's page opened; files and mail messages dropped on a contact's section become that contact's.
class MacAllFilesViewController : public MainWindowManagerViewController, public KeyRoutingDelegate
{
    Q_OBJECT
public:
    static inline const QString NibName = QStringLiteral("MacAllFilesViewController");
    static inline const QString FillerText = QStringLiteral("No Files");
    static inline const QString GroupChangeNotification = QStringLiteral("GroupChangeNotification");
    static constexpr int ContactPageFilesTab = 3;

    explicit MacAllFilesViewController(ContextPtr context, QWidget *parent = nullptr);
    ~MacAllFilesViewController() override;

    KeyDelegateKinds keyDelegateKinds() const override { return KeyDelegateKind::MacAllFilesViewController; }

    FilesListDataSource *filesListDataSource() const;
    CustomNSCollectionView *filesCollection() const;
    FilesCollectionController *filesController() const { return m_controller; }

    void awakeFromNib() override;
    void searchResultsWithString(const QString &text) override;
    void groupChangedNotification(const platform::core::Notification &notification) override;
    void prepareForDBRestore(const platform::core::Notification &notification) override;
    void databaseRestoredNotification(const platform::core::Notification &notification) override;
    void performDelete(QObject *sender) override;
    void keyDown(QKeyEvent *event) override;
    // The right arrow from the sidebar: the first file becomes the selection.
    void handleRightKeyFromSidebar();
    void goToContactPage(Person *person);
    // Reloads the grid (files that finished arriving show their pictures).
    void updateCollectionView();

    // Opens a contact's page on its Files tab; the application's delegate unless replaced.
    void setContactPageOpener(std::function<void(Person *, int)> opener) { m_openContactPage = std::move(opener); }

protected:
    void loadView() override;

private:
    void applyFilters();
    void refreshFiller();

    FilesCollectionController *m_controller = nullptr;
    QLabel *m_filler = nullptr;
    bool m_observing = false;
    std::function<void(Person *, int)> m_openContactPage;
    std::vector<platform::core::ScopedObserver> m_observers;
};
