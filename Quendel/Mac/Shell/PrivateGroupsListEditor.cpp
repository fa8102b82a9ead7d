#include "Mac/Shell/PrivateGroupsListEditor.h"

#include "Classes/QDAlertDisplayMac.h"
#include "Mac/Contacts/AddContactWindowController.h"

#include "QuendelKit/Entities/PrivateGroups.h"
#include "QuendelKit/Infra/QDLog.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QTreeWidget>
#include <QPushButton>
#include <QVBoxLayout>

PrivateGroupsListEditor::PrivateGroupsListEditor(platform::store::ContextPtr context) : m_context(std::move(context))
{
    auto *layout = new QVBoxLayout(this);
    auto *heading = new QLabel(QStringLiteral("Private Groups"), this);
    layout->addWidget(heading);
    m_list = new QTreeWidget(this);
    m_list->setAccessibleName(QStringLiteral("Private Groups List"));
    m_list->setHeaderHidden(true);
    m_list->setRootIsDecorated(false);
    m_list->setColumnCount(1);
    m_list->setMinimumSize(300, 260);
    m_list->setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed
                            | QAbstractItemView::AnyKeyPressed);
    layout->addWidget(m_list);

    auto *row = new QHBoxLayout;
    const auto button = [&](const QString &text, const QString &name) {
        auto *b = new QPushButton(text, this);
        b->setAccessibleName(name);
        b->setAutoDefault(false);
        row->addWidget(b);
        return b;
    };
    QPushButton *add = button(QStringLiteral("+"), QStringLiteral("Add Group"));
    m_remove = button(QStringLiteral("-"), QStringLiteral("Remove Group"));
    m_up = button(QStringLiteral("Up"), QStringLiteral("Move Group Up"));
    m_down = button(QStringLiteral("Down"), QStringLiteral("Move Group Down"));
    row->addStretch();
    layout->addLayout(row);
    connect(add, &QPushButton::clicked, this, &PrivateGroupsListEditor::addGroup);
    connect(m_remove, &QPushButton::clicked, this, &PrivateGroupsListEditor::removeSelectedGroup);
    connect(m_up, &QPushButton::clicked, this, [this] { moveSelectedGroup(-1); });
    connect(m_down, &QPushButton::clicked, this, [this] { moveSelectedGroup(1); });
    connect(m_list, &QTreeWidget::itemChanged, this, [this](QTreeWidgetItem *item) { itemChanged(item); });
    connect(m_list, &QTreeWidget::currentItemChanged, this, [this] { refreshButtons(); });
    reload();
}

QList<PrivateGroups *> PrivateGroupsListEditor::groups() const
{
    return PrivateGroups::loadAllPrivateGroupsWithMOC(m_context.get());
}

void PrivateGroupsListEditor::reload(int selectRow)
{
    m_loading = true;
    m_list->clear();
    for (PrivateGroups *group : groups()) {
        auto *item = new QTreeWidgetItem(m_list, {group->groupName()});
        item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsEditable);
    }
    const int count = m_list->topLevelItemCount();
    if (count > 0)
        m_list->setCurrentItem(m_list->topLevelItem(selectRow >= 0 && selectRow < count ? selectRow : count - 1));
    m_loading = false;
    refreshButtons();
}

int PrivateGroupsListEditor::currentRow() const
{
    return m_list->currentItem() ? m_list->indexOfTopLevelItem(m_list->currentItem()) : -1;
}

void PrivateGroupsListEditor::refreshButtons()
{
    const int current = currentRow();
    m_remove->setEnabled(current >= 0);
    m_up->setEnabled(current > 0);
    m_down->setEnabled(current >= 0 && current + 1 < m_list->topLevelItemCount());
}

bool PrivateGroupsListEditor::saveOrUndo()
{
    platform::core::QDError error;
    if (m_context->save(&error))
        return true;
    m_context->rollback();
    QDLogError(QStringLiteral("Private groups list: save failed: %1").arg(error.toString()));
    QDAlertDisplayMac::sharedAlert()->showAlertWithTitle(
        QStringLiteral("Error"), QStringLiteral("The private groups could not be saved\n%1").arg(error.localizedDescription()),
        window());
    return false;
}

void PrivateGroupsListEditor::addGroup()
{
    // A new group gets a name no other group has; the user renames it in place.
    QStringList names;
    for (PrivateGroups *group : groups())
        names << group->groupName();
    QString name = QStringLiteral("New Group");
    for (int n = 2; names.contains(name); ++n)
        name = QStringLiteral("New Group %1").arg(n);
    PrivateGroups *group = PrivateGroups::actuallyCreateNewPrivateContactsGroupWithName(name, {}, m_context.get());
    if (!group)
        return;
    const bool saved = saveOrUndo();
    reload(saved ? m_list->topLevelItemCount() : -1);
    if (saved && m_list->currentItem())
        m_list->editItem(m_list->currentItem(), 0);
}

void PrivateGroupsListEditor::removeSelectedGroup()
{
    const int row = currentRow();
    const QList<PrivateGroups *> all = groups();
    if (row < 0 || row >= all.size())
        return;
    // The members stay; only the group goes.
    m_context->deleteObject(all.at(row));
    saveOrUndo();
    reload(row);
}

void PrivateGroupsListEditor::moveSelectedGroup(int step)
{
    const int row = currentRow();
    QList<PrivateGroups *> all = groups();
    const int to = row + step;
    if (row < 0 || to < 0 || row >= all.size() || to >= all.size())
        return;
    all.move(row, to);
    for (int i = 0; i < all.size(); ++i)
        all[i]->setGroupDisplayOrder(i + 1);
    const bool saved = saveOrUndo();
    reload(saved ? to : row);
}

bool PrivateGroupsListEditor::renameGroup(int row, const QString &name)
{
    const bool renamed = storeName(row, name);
    reload(row);
    return renamed;
}

bool PrivateGroupsListEditor::storeName(int row, const QString &name)
{
    const QList<PrivateGroups *> all = groups();
    if (row < 0 || row >= all.size())
        return false;
    const QString trimmed = name.trimmed();
    if (trimmed.isEmpty()) {
        QDAlertDisplayMac::sharedAlert()->showAlertWithTitle(QStringLiteral("Empty Group Name"),
                                                             QStringLiteral("Please enter a valid name"), window());
        return false;
    }
    for (int i = 0; i < all.size(); ++i) {
        if (i != row && all[i]->groupName() == trimmed) {
            QDAlertDisplayMac::sharedAlert()->showAlertWithTitle(QStringLiteral("Group Name Exists"),
                                                                 QStringLiteral("Please enter a unique name"), window());
            return false;
        }
    }
    if (all[row]->groupName() == trimmed)
        return true;
    all[row]->setGroupName(trimmed);
    return saveOrUndo();
}

void PrivateGroupsListEditor::itemChanged(QTreeWidgetItem *item)
{
    if (m_loading)
        return;
    const int row = m_list->indexOfTopLevelItem(item);
    // The name is stored at once, so whatever the user does next sees it; the list is read again once
    // the view has finished with the item it is editing.
    storeName(row, item->text(0));
    QMetaObject::invokeMethod(this, [this, row] { reload(row); }, Qt::QueuedConnection);
}

PrivateGroupsListEditor *PrivateGroupsListEditor::open(const platform::store::ContextPtr &context, QWidget *window,
                                                       std::function<void()> done)
{
    auto *editor = new PrivateGroupsListEditor(context);
    auto *close = new QPushButton(QStringLiteral("Done"), editor);
    close->setAccessibleName(QStringLiteral("Done"));
    close->setAutoDefault(false);
    editor->layout()->addWidget(close);
    auto *controller = new AddContactWindowController(AddContactWindowController::WindowNibName);
    controller->setContentViewController(editor);
    platform::ui::Sheet *sheet = controller->window();
    QObject::connect(close, &QPushButton::clicked, sheet, [sheet] { sheet->endSheet(platform::ui::ModalResponseOK); });
    controller->beginSheetOnWindow(window, [controller, done = std::move(done)](int) {
        controller->deleteLater();
        if (done)
            done();
    });
    return editor;
}
