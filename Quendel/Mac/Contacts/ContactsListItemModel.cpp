#include "Mac/Contacts/ContactsListItemModel.h"

#include "Mac/Contacts/ContactsListDisplaySource.h"
#include "Mac/Shell/CustomNSOutlineView.h"

#include "QuendelKit/Entities/Person.h"

#include <QSize>

using Kind = ContactsListDisplaySource::Item::Kind;

ContactsListItemModel::ContactsListItemModel(ContactsListDisplaySource *source, QObject *parent)
    : QAbstractItemModel(parent), m_source(source)
{
    takeTarget();
}

quintptr ContactsListItemModel::idForKey(const QString &key)
{
    auto it = m_ids.find(key);
    if (it == m_ids.end())
        it = m_ids.insert(key, m_nextId++);
    return *it;
}

int ContactsListItemModel::sectionRowForId(quintptr id) const
{
    return m_rowOfId.value(id, -1);
}

void ContactsListItemModel::reindexSections()
{
    m_rowOfId.clear();
    for (int i = 0; i < m_sections.size(); ++i)
        m_rowOfId.insert(m_sections[i].id, i);
}

void ContactsListItemModel::takeTarget()
{
    m_sections.clear();
    if (m_source) {
        for (const QString &key : m_source->alphabetsUsed()) {
            Section section;
            section.key = key;
            section.id = idForKey(key);
            section.contacts = m_source->contactsDictionary().value(key);
            m_sections.append(section);
        }
    }
    reindexSections();
}

void ContactsListItemModel::reload()
{
    beginResetModel();
    takeTarget();
    endResetModel();
}

bool ContactsListItemModel::hasFooter() const
{
    return m_source && m_source->selectionStyle() == ContactsListDisplaySource::SelectionStyle::MainList;
}

void ContactsListItemModel::synchronize()
{
    if (!m_source)
        return;
    const QStringList &keys = m_source->alphabetsUsed();
    const auto &dictionary = m_source->contactsDictionary();
    if (step(keys, dictionary, true) > MaxSteps) {
        reload();
        return;
    }
    step(keys, dictionary, false);
    footerChanged();
}

int ContactsListItemModel::step(const QStringList &keys, const QHash<QString, QList<Person *>> &dictionary,
                                bool dryRun)
{
    QList<Section> copy;
    if (dryRun)
        copy = m_sections;
    QList<Section> &work = dryRun ? copy : m_sections;
    int steps = 0;
    const auto tooMany = [&] { return dryRun && steps > MaxSteps; };

    QHash<Person *, QString> target;
    for (const QString &key : keys) {
        for (Person *person : dictionary.value(key))
            target.insert(person, key);
    }
    const auto sectionIndexOf = [&](const QString &key) {
        for (int i = 0; i < work.size(); ++i) {
            if (work[i].key == key)
                return i;
        }
        return -1;
    };

    // Sections that stay must already stand in the order the target gives them; otherwise start over.
    {
        int last = -1;
        for (const Section &section : work) {
            const int at = int(keys.indexOf(section.key));
            if (at < 0)
                continue;
            if (at < last)
                return MaxSteps + 1;
            last = at;
        }
    }

    // 1. Contacts that leave the list.
    for (int s = 0; s < work.size(); ++s) {
        for (int r = int(work[s].contacts.size()) - 1; r >= 0; --r) {
            if (target.contains(work[s].contacts[r]))
                continue;
            ++steps;
            if (tooMany())
                return steps;
            if (!dryRun)
                beginRemoveRows(index(s, 0), r, r);
            work[s].contacts.removeAt(r);
            if (!dryRun)
                endRemoveRows();
        }
    }

    // 2. New sections, empty for now, each after the section before it in the target.
    for (int i = 0; i < keys.size(); ++i) {
        if (sectionIndexOf(keys[i]) >= 0)
            continue;
        const int position = i == 0 ? 0 : sectionIndexOf(keys[i - 1]) + 1;
        ++steps;
        if (tooMany())
            return steps;
        Section section;
        section.key = keys[i];
        section.id = dryRun ? 0 : idForKey(keys[i]);
        if (!dryRun)
            beginInsertRows(QModelIndex(), position, position);
        work.insert(position, section);
        if (!dryRun) {
            reindexSections();
            endInsertRows();
        }
    }

    // 3. Every section's contacts into place: moved from where they are, or inserted.
    QHash<Person *, QString> location;
    for (const Section &section : work) {
        for (Person *person : section.contacts)
            location.insert(person, section.key);
    }
    for (const QString &key : keys) {
        const QList<Person *> wanted = dictionary.value(key);
        const int s = sectionIndexOf(key);
        for (int j = 0; j < wanted.size(); ++j) {
            Person *person = wanted[j];
            if (j < work[s].contacts.size() && work[s].contacts[j] == person)
                continue;
            ++steps;
            if (tooMany())
                return steps;
            const auto from = location.constFind(person);
            if (from == location.cend()) {
                if (!dryRun)
                    beginInsertRows(index(s, 0), j, j);
                work[s].contacts.insert(j, person);
                location.insert(person, key);
                if (!dryRun)
                    endInsertRows();
                continue;
            }
            const int fromSection = sectionIndexOf(*from);
            const int fromRow = int(work[fromSection].contacts.indexOf(person));
            if (!dryRun)
                beginMoveRows(index(fromSection, 0), fromRow, fromRow, index(s, 0), j);
            work[fromSection].contacts.removeAt(fromRow);
            work[s].contacts.insert(j, person);
            location.insert(person, key);
            if (!dryRun)
                endMoveRows();
        }
    }

    // 4. Sections that are gone; their contacts have left or moved by now.
    for (int s = int(work.size()) - 1; s >= 0; --s) {
        if (keys.contains(work[s].key))
            continue;
        ++steps;
        if (tooMany())
            return steps;
        if (!dryRun)
            beginRemoveRows(QModelIndex(), s, s);
        work.removeAt(s);
        if (!dryRun) {
            reindexSections();
            endRemoveRows();
        }
    }
    return steps;
}

void ContactsListItemModel::removeRow(qsizetype row, const QString &parentKey, qsizetype sectionIndex)
{
    const int s = [&] {
        for (int i = 0; i < m_sections.size(); ++i) {
            if (m_sections[i].key == parentKey)
                return i;
        }
        return -1;
    }();
    if (row == ContactsListDisplaySource::NotFound || parentKey.isNull() || s < 0) {
        reload();
        return;
    }
    if (sectionIndex != -1 && sectionIndex != ContactsListDisplaySource::NotFound) {
        beginRemoveRows(QModelIndex(), s, s);
        m_sections.removeAt(s);
        reindexSections();
        endRemoveRows();
    } else if (row >= 0 && row < m_sections[s].contacts.size()) {
        beginRemoveRows(index(s, 0), int(row), int(row));
        m_sections[s].contacts.removeAt(row);
        endRemoveRows();
    } else {
        reload();
        return;
    }
    footerChanged();
}

void ContactsListItemModel::footerChanged()
{
    const QModelIndex footer = footerIndex();
    if (footer.isValid())
        emit dataChanged(footer, footer);
}

QModelIndex ContactsListItemModel::indexForPerson(const Person *person) const
{
    for (int s = 0; s < m_sections.size(); ++s) {
        const qsizetype r = m_sections[s].contacts.indexOf(const_cast<Person *>(person));
        if (r >= 0)
            return createIndex(int(r), 0, m_sections[s].id);
    }
    return {};
}

QModelIndex ContactsListItemModel::indexForSection(const QString &key) const
{
    for (int s = 0; s < m_sections.size(); ++s) {
        if (m_sections[s].key == key)
            return createIndex(s, 0, quintptr(0));
    }
    return {};
}

QModelIndex ContactsListItemModel::footerIndex() const
{
    return hasFooter() ? createIndex(int(m_sections.size()), 0, quintptr(0)) : QModelIndex();
}

Person *ContactsListItemModel::personAt(const QModelIndex &index) const
{
    if (!index.isValid() || index.model() != this || index.internalId() == 0)
        return nullptr;
    const int s = sectionRowForId(index.internalId());
    if (s < 0 || index.row() >= m_sections[s].contacts.size())
        return nullptr;
    return m_sections[s].contacts[index.row()];
}

QModelIndex ContactsListItemModel::index(int row, int column, const QModelIndex &parent) const
{
    if (row < 0 || column != 0)
        return {};
    if (!parent.isValid()) {
        if (row >= m_sections.size() + (hasFooter() ? 1 : 0))
            return {};
        return createIndex(row, 0, quintptr(0));
    }
    if (parent.internalId() != 0 || parent.row() >= m_sections.size())
        return {};
    const Section &section = m_sections[parent.row()];
    if (row >= section.contacts.size())
        return {};
    return createIndex(row, 0, section.id);
}

QModelIndex ContactsListItemModel::parent(const QModelIndex &child) const
{
    if (!child.isValid() || child.internalId() == 0)
        return {};
    const int s = sectionRowForId(child.internalId());
    return s < 0 ? QModelIndex() : createIndex(s, 0, quintptr(0));
}

int ContactsListItemModel::rowCount(const QModelIndex &parent) const
{
    if (!parent.isValid())
        return int(m_sections.size()) + (hasFooter() ? 1 : 0);
    if (parent.column() != 0 || parent.internalId() != 0 || parent.row() >= m_sections.size())
        return 0;
    return int(m_sections[parent.row()].contacts.size());
}

int ContactsListItemModel::columnCount(const QModelIndex &) const
{
    return 1;
}

QVariant ContactsListItemModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.model() != this)
        return {};
    const bool topLevel = index.internalId() == 0;
    const bool isFooter = topLevel && index.row() == m_sections.size();
    const Kind kind = isFooter ? Kind::Footer : (topLevel ? Kind::Section : Kind::Contact);
    Person *person = topLevel ? nullptr : personAt(index);
    switch (role) {
    case ItemKindRole:
        return int(kind);
    case PersonRole:
        return QVariant::fromValue(static_cast<void *>(person));
    case RowIndexInSectionRole:
        return topLevel ? QVariant() : QVariant(index.row());
    case SectionKeyRole:
        if (kind == Kind::Section)
            return m_sections[index.row()].key;
        if (kind == Kind::Contact)
            return m_sections[sectionRowForId(index.internalId())].key;
        return {};
    case CustomNSOutlineView::ItemIsTitleRole:
        return kind == Kind::Section;
    case Qt::DisplayRole:
    case Qt::AccessibleTextRole:
        if (kind == Kind::Section)
            return m_sections[index.row()].key;
        if (kind == Kind::Footer) {
            if (m_footerText)
                return m_footerText();
            return m_source ? m_source->text().footerText : QString();
        }
        return person ? person->displayName() : QString();
    case Qt::SizeHintRole:
        if (kind == Kind::Contact)
            return QSize(-1, ContactRowHeight);
        if (kind == Kind::Section)
            return QSize(-1, SectionRowHeight);
        return QSize(-1, m_footerHeight ? m_footerHeight() : 40);
    default:
        return {};
    }
}

Qt::ItemFlags ContactsListItemModel::flags(const QModelIndex &index) const
{
    if (!index.isValid())
        return Qt::NoItemFlags;
    // Section keys and the footer are shown but cannot be chosen. Saying which rows never hold children
    // spares a view from keeping a record for every contact row it opens.
    if (index.internalId() == 0)
        return index.row() < m_sections.size() ? Qt::ItemIsEnabled : (Qt::ItemIsEnabled | Qt::ItemNeverHasChildren);
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren;
}
