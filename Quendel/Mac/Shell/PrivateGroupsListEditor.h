#pragma once

#include "platform/store/ManagedObjectContext.h"

#include <QWidget>

#include <functional>

class PrivateGroups;
class QTreeWidget;
class QTreeWidgetItem;
class QPushButton;

// The list editor of the private groups, in a sheet: the groups in display order, renamed in place (a
// double click or Return), added with "+", removed with "-", moved with "Up" and "Down". Every change
// is saved at once; one that cannot be saved is undone, reported and the list read again. "Done" ends
// the sheet, and the caller rebuilds what shows the groups.
class PrivateGroupsListEditor : public QWidget
{
    Q_OBJECT
public:
    static PrivateGroupsListEditor *open(const platform::store::ContextPtr &context, QWidget *window,
                                         std::function<void()> done);

    QTreeWidget *list() const { return m_list; }
    // The actions of the buttons.
    void addGroup();
    void removeSelectedGroup();
    void moveSelectedGroup(int step);
    bool renameGroup(int row, const QString &name);

private:
    explicit PrivateGroupsListEditor(platform::store::ContextPtr context);
    void reload(int selectRow = -1);
    QList<PrivateGroups *> groups() const;
    bool saveOrUndo();
    void itemChanged(QTreeWidgetItem *item);
    bool storeName(int row, const QString &name);
    int currentRow() const;
    void refreshButtons();

    platform::store::ContextPtr m_context;
    QTreeWidget *m_list = nullptr;
    QPushButton *m_remove = nullptr;
    QPushButton *m_up = nullptr;
    QPushButton *m_down = nullptr;
    bool m_loading = false;
};
