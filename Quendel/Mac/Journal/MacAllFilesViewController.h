#pragma once

#include "Mac/Journal/SelectContactsViewControllerMac.h"
#include "Mac/Shell/KeyRouting.h"
#include "Mac/Shell/MainWindowManagerViewController.h"

#include "platform/core/NotificationCenter.h"

#include <QPointer>

#include <functional>
#include <memory>
#include <vector>

class CustomNSCollectionView;
class FileAttachments;
class FilesCollectionController;
class FilesListDataSource;
class QLabel;
class QMimeData;

// The Files section of the main window: every file of every contact in one grid, a section per contact
// under the contact's name (files of no contact under "Unassigned"), narrowed by the toolbar search and the
// chosen group. Files are previewed or opened, renamed in place, deleted after a question, and their
// contact's page opened; files and mail messages dropped on a contact's section become that contact's. The
// add button, a paste and a drop on the sidebar's Files item ask for the contact with the contact picker,
// which also moves a file to another contact.
class MacAllFilesViewController : public MainWindowManagerViewController,
                                  public KeyRoutingDelegate,
                                  public SelectContactPopoverDelegate
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

    // The toolbar's add button: the contact picker, then an open panel for that contact.
    void newFilesButtonPressed(QWidget *anchor);
    // Moves a file to the contact chosen in the picker.
    void showReassignPopover(FileAttachments *file);
    // The Edit menu's paste: the files on the clipboard go to the contact chosen in the picker.
    void paste();
    bool canPaste() const;
    // Files or a mail message dropped on the sidebar's Files item: they go to the contact chosen in the picker.
    bool acceptFileDrop(const QMimeData *data);
    void popoverDidClose(platform::ui::Popover *popover) override;
    void finishedSelectPopoverController(SelectContactsViewControllerMac *picker,
                                         const QList<platform::store::ManagedObjectID> &selectedContactIDs,
                                         bool changesMade) override;
    bool hasFilesWaitingForContact() const { return bool(m_savedDrop); }

    // Opens a contact's page on its Files tab; the application's delegate unless replaced.
    void setContactPageOpener(std::function<void(Person *, int)> opener) { m_openContactPage = std::move(opener); }

protected:
    void loadView() override;

private:
    void applyFilters();
    void showPicker(QWidget *anchor);
    void refreshFiller();

    FilesCollectionController *m_controller = nullptr;
    QLabel *m_filler = nullptr;
    bool m_observing = false;
    std::function<void(Person *, int)> m_openContactPage;
    // What a paste or a sidebar drop brought, until the picker names its contact or closes.
    std::unique_ptr<QMimeData> m_savedDrop;
    FileAttachments *m_reassignFileObject = nullptr;
    std::vector<platform::core::ScopedObserver> m_observers;
};
