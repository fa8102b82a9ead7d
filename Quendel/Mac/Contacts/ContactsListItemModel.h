#pragma once

#include <QAbstractItemModel>
#include <QHash>
#include <QList>
#include <QPointer>
#include <QString>

#include <functional>

class ContactsListDisplaySource;
class Person;

// The contacts list as a Qt item model: section keys at the top level (then the footer row of the main
// list), the contacts of each section under it. It keeps its own copy of the sections and brings it to the
// list model's sections step by step, reporting each section or row that comes, moves or goes, so that
// a view can animate those changes; a change too large to be worth stepping through is a reset.
class ContactsListItemModel : public QAbstractItemModel
{
    Q_OBJECT
public:
    enum Roles {
        ItemKindRole = Qt::UserRole + 0x7200, // ContactsListDisplaySource::Item::Kind as int
        PersonRole,                          // Person * (as a void pointer)
        RowIndexInSectionRole,               // the contact's position in its section
        SectionKeyRole,
    };

    // More steps than this and the change is shown as a reset.
    static constexpr int MaxSteps = 64;

    explicit ContactsListItemModel(ContactsListDisplaySource *source, QObject *parent = nullptr);

    ContactsListDisplaySource *source() const { return m_source; }

    // The footer row's text (the section controller's message); null uses the list model's footer text.
    void setFooterTextProvider(std::function<QString()> provider) { m_footerText = std::move(provider); }
    // Rows of contacts are this high; keys and the footer as below.
    static constexpr int ContactRowHeight = 50;
    static constexpr int SectionRowHeight = 17;
    void setFooterHeightProvider(std::function<int()> provider) { m_footerHeight = std::move(provider); }

    // Starts over from the list model's sections.
    void reload();
    // Steps from the copy to the list model's sections; a reset when that would take too many steps.
    void synchronize();
    // Removes what the list model has already dropped: one row, or a whole section.
    void removeRow(qsizetype row, const QString &parentKey, qsizetype sectionIndex);
    // The footer's text or height depends on the list: tell the view to ask again.
    void footerChanged();

    QModelIndex indexForPerson(const Person *person) const;
    QModelIndex indexForSection(const QString &key) const;
    QModelIndex footerIndex() const;
    Person *personAt(const QModelIndex &index) const;
    int sectionCount() const { return int(m_sections.size()); }
    bool hasFooter() const;

    QModelIndex index(int row, int column, const QModelIndex &parent = {}) const override;
    QModelIndex parent(const QModelIndex &child) const override;
    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;

private:
    struct Section
    {
        QString key;
        quintptr id = 0;
        QList<Person *> contacts;
    };

    quintptr idForKey(const QString &key);
    int sectionRowForId(quintptr id) const;
    void reindexSections();
    // The steps from the copy to the target, applied to the copy with their signals; with dryRun only counted.
    int step(const QStringList &keys, const QHash<QString, QList<Person *>> &dictionary, bool dryRun);
    void takeTarget();

    QPointer<ContactsListDisplaySource> m_source;
    QList<Section> m_sections;
    QHash<QString, quintptr> m_ids;
    QHash<quintptr, int> m_rowOfId;
    quintptr m_nextId = 1;
    std::function<QString()> m_footerText;
    std::function<int()> m_footerHeight;
};
