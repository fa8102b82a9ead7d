#pragma once

#include "platform/store/ManagedObjectContext.h"

#include <QList>
#include <QWidget>

class FileAttachments;
class QLineEdit;
class QTreeWidget;
class QTreeWidgetItem;

// Lets the user tick files stored with any contact for an e-mail: the files by contact, a search field,
// and a tick beside every chosen file. A click on a file chooses it or gives it up again.
class FilePickerViewController : public QWidget
{
    Q_OBJECT
public:
    explicit FilePickerViewController(platform::store::ContextPtr context, QList<FileAttachments *> *selection,
                                      QWidget *parent = nullptr);

    QTreeWidget *allFilesOutlineView() const { return m_outline; }
    QLineEdit *searchField() const { return m_search; }
    void searchResultsWithString(const QString &text);
    void fileSelected(QTreeWidgetItem *item);
    void updatedSourceObjects();

signals:
    // The selection changed.
    void updateFileSelection();

private:
    platform::store::ContextPtr m_context;
    QList<FileAttachments *> *m_selection;
    QList<FileAttachments *> m_files;
    QString m_searchText;
    QTreeWidget *m_outline = nullptr;
    QLineEdit *m_search = nullptr;
};
