#include "Mac/Journal/SelectContactsViewControllerMac.h"

#include "Mac/Contacts/ContactsListItemModel.h"
#include "Mac/Shell/CustomNSOutlineViewWithMultipleSelection.h"
#include "Mac/Shell/PlainTextLabel.h"

#include "QuendelKit/Entities/Person.h"
#include "QuendelKit/Entities/PrivateGroups.h"

#include "platform/ui/Sheet.h"

#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QStyledItemDelegate>
#include <QVBoxLayout>

using Kind = ContactsListDisplaySource::Item::Kind;

namespace {

SelectContactsViewControllerMac::GroupFilterProvider &groupFilterProvider()
{
    static SelectContactsViewControllerMac::GroupFilterProvider provider;
    return provider;
}

// A contact's row: its name (and company), with a check mark when it is among the chosen contacts.
class PickerRowDelegate : public QStyledItemDelegate
{
public:
    explicit PickerRowDelegate(SelectContactsViewControllerMac *picker)
        : QStyledItemDelegate(picker), m_picker(picker)
    {}

protected:
    void initStyleOption(QStyleOptionViewItem *option, const QModelIndex &index) const override
    {
        QStyledItemDelegate::initStyleOption(option, index);
        if (Kind(index.data(ContactsListItemModel::ItemKindRole).toInt()) != Kind::Contact) {
            option->font.setBold(true);
            return;
        }
        auto *person = static_cast<Person *>(index.data(ContactsListItemModel::PersonRole).value<void *>());
        if (!person)
            return;
        const QString company = person->companyName();
        if (!company.isNull() && !company.isEmpty())
            option->text = person->displayName() + QLatin1Char('\n') + company;
        option->features |= QStyleOptionViewItem::HasCheckIndicator;
        option->checkState = m_picker->isChosen(person) ? Qt::Checked : Qt::Unchecked;
    }

private:
    SelectContactsViewControllerMac *m_picker;
};

} // namespace

SelectContactsViewControllerMac::SelectContactsViewControllerMac(const QString &nibName, ContextPtr context,
                                                                 QWidget *parent)
    : QWidget(parent), m_context(std::move(context))
{
    setObjectName(nibName);
    buildView();
}

SelectContactsViewControllerMac::SelectContactsViewControllerMac(ContextPtr context, int selectionStyle,
                                                                 QWidget *parent)
    : QWidget(parent), m_context(std::move(context)), m_selectionStyle(selectionStyle)
{
    setObjectName(NibName);
    buildView();
}

SelectContactsViewControllerMac::~SelectContactsViewControllerMac()
{
    if (m_source)
        m_source->setDelegate(nullptr);
}

void SelectContactsViewControllerMac::buildView()
{
    setAccessibleName(QStringLiteral("Choose Contact"));
    m_source = new ContactsListDisplaySource(this);
    m_source->setManagedObjectContext(m_context);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(6, 6, 6, 6);
    layout->setSpacing(4);
    m_searchField = new QLineEdit(this);
    m_searchField->setObjectName(QStringLiteral("searchField"));
    m_searchField->setAccessibleName(QStringLiteral("Search Contacts"));
    m_searchField->setPlaceholderText(QStringLiteral("Search"));
    m_searchField->setClearButtonEnabled(true);
    m_searchField->installEventFilter(this);
    connect(m_searchField, &QLineEdit::textChanged, this, &SelectContactsViewControllerMac::searchResultsWithString);
    layout->addWidget(m_searchField);

    m_outline = new CustomNSOutlineViewWithMultipleSelection(this);
    m_outline->setObjectName(QStringLiteral("contactsOutlineView"));
    m_outline->setAccessibleName(QStringLiteral("Contacts to choose"));
    m_outline->setDelegate(this);
    m_outline->setHeaderHidden(true);
    m_outline->setRootIsDecorated(false);
    m_outline->setIndentation(0);
    m_outline->setItemsExpandable(false);
    m_outline->setExpandsOnDoubleClick(false);
    m_outline->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_outline->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_model = new ContactsListItemModel(m_source, this);
    m_outline->setModel(m_model);
    m_outline->setItemDelegate(new PickerRowDelegate(this));
    connect(m_outline, &QAbstractItemView::clicked, this, &SelectContactsViewControllerMac::singleClickAction);
    layout->addWidget(m_outline, 1);

    m_textField = new PlainTextLabel(EmptyListText, this);
    m_textField->setObjectName(QStringLiteral("textField"));
    m_textField->setAlignment(Qt::AlignCenter);
    m_textField->setMinimumHeight(90);
    m_textField->hide();
    layout->addWidget(m_textField);

    m_toolbar = new QWidget(this);
    m_toolbar->setObjectName(QStringLiteral("toolbar"));
    m_toolbar->setFixedHeight(ToolbarHeight);
    auto *bar = new QHBoxLayout(m_toolbar);
    bar->setContentsMargins(0, 0, 0, 0);
    bar->addStretch(1);
    m_cancelButton = new QPushButton(QStringLiteral("Cancel"), m_toolbar);
    m_cancelButton->setAccessibleName(QStringLiteral("Cancel"));
    m_doneButton = new QPushButton(QStringLiteral("Done"), m_toolbar);
    m_doneButton->setAccessibleName(QStringLiteral("Done"));
    m_doneButton->setDefault(true);
    bar->addWidget(m_cancelButton);
    bar->addWidget(m_doneButton);
    connect(m_doneButton, &QPushButton::clicked, this, &SelectContactsViewControllerMac::doneToolbarButtonPressed);
    connect(m_cancelButton, &QPushButton::clicked, this, &SelectContactsViewControllerMac::cancelButtonPressed);
    layout->addWidget(m_toolbar);
    resize(300, 420);
}

void SelectContactsViewControllerMac::setGroupFilterProvider(GroupFilterProvider provider)
{
    groupFilterProvider() = std::move(provider);
}

void SelectContactsViewControllerMac::setEditPublicGroup(std::shared_ptr<platform::contacts::AddressBook> book,
                                                         const platform::contacts::ContactRecord &group)
{
    m_book = std::move(book);
    m_editPublicGroup = group;
}

void SelectContactsViewControllerMac::showEvent(QShowEvent *event)
{
    awakeFromNib();
    QWidget::showEvent(event);
}

void SelectContactsViewControllerMac::awakeFromNib()
{
    if (m_alreadyInit)
        return;
    m_alreadyInit = true;
    m_source->setDelegate(this);
    m_source->setSelectionStyle(ContactsListDisplaySource::SelectionStyle(m_selectionStyle));
    if (m_selectionStyle == MultipleChoice)
        m_outline->setSelectionMode(QAbstractItemView::MultiSelection);
    m_source->awakeFromNib();
    reloadAllContactsAndOutlineView();
    const bool editing = m_editPrivateGroup || m_editPublicGroup;
    // A new group's members are chosen from everyone, whatever the main window shows.
    if (!editing && !m_showDoneToolbar && !m_groupFilter && !m_publicGroupFilter && groupFilterProvider())
        groupFilterProvider()(this);
    if (!editing && m_groupFilter) {
        m_source->setContactsFilterPredicateByPrivateGroup(m_groupFilter);
        m_source->finishPendingWork();
    } else if (!editing && m_publicGroupFilter) {
        m_source->setContactsFilterPredicateByPublicGroup(*m_publicGroupFilter);
        m_source->finishPendingWork();
    }
    if (m_editPublicGroup) {
        // Only the contacts whose card is in the group's account can be its members.
        const std::shared_ptr<platform::contacts::AddressBook> book = m_book;
        const QString account = book ? book->accountPathForRecord(m_editPublicGroup->uniqueId()) : QString();
        const auto cardAccount = [book](Person *person) {
            const QString uid = person ? person->macUniqueIdentifier() : QString();
            return uid.isEmpty() || !book || !book->recordForUniqueId(uid) ? QString() : book->accountPathForRecord(uid);
        };
        m_source->setContactsFilterPredicateByGroupSource(account.isEmpty() ? QString() : account, cardAccount);
        const QStringList members = m_editPublicGroup->memberIds();
        for (Person *person : QList<Person *>(m_source->arrangedObjects())) {
            const QString uid = person->macUniqueIdentifier();
            if (!uid.isEmpty() && members.contains(uid) && !isChosen(person))
                selectedPersonItem(person);
        }
    } else if (m_editPrivateGroup) {
        const QList<Person *> &listed = m_source->arrangedObjects();
        for (Person *member : m_editPrivateGroup->members())
            if (listed.contains(member) && !isChosen(member))
                selectedPersonItem(member);
    }
    refreshFiller();
    m_toolbar->setVisible(m_showDoneToolbar);
    // In the group editor's sheet the list is the group's members.
    if (editing || m_showDoneToolbar)
        m_outline->setAccessibleName(QStringLiteral("Group Members"));
}

void SelectContactsViewControllerMac::refreshFiller()
{
    const bool empty = m_source->contactsListIsEmpty();
    if (empty && (m_groupFilter || m_publicGroupFilter))
        m_textField->setText(EmptyGroupText);
    m_textField->setVisible(empty);
}

void SelectContactsViewControllerMac::reloadAllContactsAndOutlineView()
{
    m_source->resetDatasource();
    m_model->reload();
    m_outline->expandAll();
}

void SelectContactsViewControllerMac::updatedSourceDictionaryWithPreserveSelection(bool)
{
    m_model->synchronize();
    m_outline->expandAll();
}

void SelectContactsViewControllerMac::searchResultsWithString(const QString &text)
{
    m_source->searchResultsWithString(text);
}

Person *SelectContactsViewControllerMac::personAt(const QModelIndex &index) const
{
    if (!index.isValid() || Kind(index.data(ContactsListItemModel::ItemKindRole).toInt()) != Kind::Contact)
        return nullptr;
    return static_cast<Person *>(index.data(ContactsListItemModel::PersonRole).value<void *>());
}

bool SelectContactsViewControllerMac::isChosen(const Person *person) const
{
    return person && m_selectedIdentifiers.contains(person->objectID());
}

void SelectContactsViewControllerMac::singleClickAction(const QModelIndex &index)
{
    if (Person *person = personAt(index))
        selectedPersonItem(person);
}

void SelectContactsViewControllerMac::enterKeyWasPressed()
{
    const QModelIndex current = m_outline->selectionModel() ? m_outline->selectionModel()->currentIndex() : QModelIndex();
    if (Person *person = personAt(current))
        selectedPersonItem(person);
}

void SelectContactsViewControllerMac::selectedPersonItem(Person *person)
{
    if (!person)
        return;
    m_changesWereMade = true;
    const ObjectID id = person->objectID();
    if (m_selectionStyle == MultipleChoice) {
        if (m_selectedIdentifiers.contains(id))
            m_selectedIdentifiers.removeAll(id);
        else
            m_selectedIdentifiers.append(id);
        const QModelIndex row = m_model->indexForPerson(person);
        if (row.isValid())
            m_outline->update(row);
    } else {
        // Callers act on the first contact reported: a second click must not act on the first one again.
        m_selectedIdentifiers = {id};
        m_outline->viewport()->update();
    }
    if (m_selectionStyle == SingleChoice || !m_showDoneToolbar)
        report(m_changesWereMade);
}

void SelectContactsViewControllerMac::report(bool changes)
{
    if (m_delegate)
        m_delegate->finishedSelectPopoverController(this, m_selectedIdentifiers, changes);
}

void SelectContactsViewControllerMac::endSheetIfAny()
{
    if (auto *sheet = qobject_cast<platform::ui::Sheet *>(window())) {
        if (sheet->isActive())
            sheet->endSheet(platform::ui::ModalResponseOK);
        sheet->close();
    }
}

void SelectContactsViewControllerMac::doneToolbarButtonPressed()
{
    QPointer<SelectContactsViewControllerMac> self(this);
    endSheetIfAny();
    if (self)
        report(m_changesWereMade);
}

void SelectContactsViewControllerMac::cancelButtonPressed()
{
    QPointer<SelectContactsViewControllerMac> self(this);
    endSheetIfAny();
    if (self)
        report(false);
}

bool SelectContactsViewControllerMac::eventFilter(QObject *watched, QEvent *event)
{
    // The down arrow in the search field moves on to the first contact of the list.
    if (watched == m_searchField && event->type() == QEvent::KeyPress
        && static_cast<QKeyEvent *>(event)->key() == Qt::Key_Down) {
        const QModelIndex firstSection = m_model->index(0, 0);
        const QModelIndex firstContact = m_model->index(0, 0, firstSection);
        if (firstContact.isValid()) {
            m_outline->setFocus(Qt::TabFocusReason);
            m_outline->selectionModel()->setCurrentIndex(firstContact,
                                                         QItemSelectionModel::Select | QItemSelectionModel::Rows);
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}
