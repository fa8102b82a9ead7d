#pragma once

#include "Mac/ContactPage/CommonListViewMac.h"

#include <memory>

class CustomNSCollectionView;
class FileAttachments;
class FilesCollectionController;
class QLabel;

// The Files tab of a contact's page: the contact's files as a grid, oldest first, each with its picture,
// name and date. Files come in from the tab's add button (an open panel), from drops of files or mail
// messages on the grid and from a paste; a file is previewed or opened, renamed in place, and deleted after
// a question the user can turn off.
class ContactFilesViewControllerMac : public CommonListViewMac
{
    Q_OBJECT
public:
    static inline const QString NibName = QStringLiteral("ContactFilesViewControllerMac");
    static inline const QString FillerText = QStringLiteral("No Files. Drop files here or use + to add some.");

    explicit ContactFilesViewControllerMac(Person *person, QWidget *parent = nullptr);
    ~ContactFilesViewControllerMac() override;

    KeyDelegateKinds keyDelegateKinds() const override
    {
        return KeyDelegateKind::CommonListViewMac | KeyDelegateKind::ContactFilesViewControllerMac;
    }

    CustomNSCollectionView *filesCollection() const;
    FilesCollectionController *filesController() const { return m_controller; }

    void awakeFromNib() override;
    // The add button: an open panel for several files at once.
    void showAddFilesOptions(QObject *sender);
    void deleteSelectedRow();
    // The Edit menu's paste: the files on the clipboard are copied in.
    void paste(QObject *sender);
    bool canPaste() const;

    bool hasTableviewFirstSelection() const override;
    int arrangedObjectCount() const override;
    void keyDown(QKeyEvent *event) override;

private:
    void refreshFiller();

    FilesCollectionController *m_controller = nullptr;
    QLabel *m_filler = nullptr;
};
