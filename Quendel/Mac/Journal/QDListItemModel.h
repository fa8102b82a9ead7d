#pragma once

#include "Classes/QDListDataSource.h"

#include <QAbstractItemModel>
#include <QFont>
#include <QList>

#include <functional>

class QAbstractItemView;

// A two-level item model over a sectioned list: sections at the top, their rows beneath. It is the list
// model's delegate and turns each change it reports into the matching insert, remove, move or reset, on
// a copy of the structure of its own, so the view always sees a consistent tree whatever order the list
// model changes itself in. Calls that reach it are passed on to a second delegate (the pane) afterwards.
class QDListItemModel : public QAbstractItemModel, public QDListDataSourceDelegate
{
    Q_OBJECT
public:
    enum Role { IsGroupRole = Qt::UserRole + 1, DataObjectRole, ListDataRole };

    explicit QDListItemModel(QDListDataSource *source, QObject *parent = nullptr);
    ~QDListItemModel() override;

    QDListDataSource *source() const { return m_source; }
    void setForwardDelegate(QDListDataSourceDelegate *delegate) { m_forward = delegate; }
    // Further roles that answer like IsGroupRole and DataObjectRole, for views that ask by their own roles.
    void setRoleAliases(int groupRole, int dataObjectRole)
    {
        m_groupRoleAlias = groupRole;
        m_dataObjectRoleAlias = dataObjectRole;
    }

    // What a header or a row shows; defaults: the header's display title for its kind of list, the row's
    // date.
    void setHeaderText(std::function<QString(const CommonListData &)> text) { m_headerText = std::move(text); }
    void setRowText(std::function<QString(const CommonListData &)> text) { m_rowText = std::move(text); }
    // The height of a row or header, answered as its size hint; none by default.
    void setRowHeight(std::function<int(const QModelIndex &)> height) { m_rowHeight = std::move(height); }
    // Rows with a check box: ticking one shows it ticked and calls `ticked` with the row; the box stays ticked
    // until setRowTicked(row, false). None by default.
    void setRowCheckHandler(std::function<void(const QModelIndex &)> ticked) { m_ticked = std::move(ticked); }
    void setRowTicked(const CommonListData *row, bool ticked);
    bool setData(const QModelIndex &index, const QVariant &value, int role = Qt::EditRole) override;

    CommonListData *itemForIndex(const QModelIndex &index) const;
    QModelIndex indexForItem(const CommonListData *item) const;

    QModelIndex index(int row, int column, const QModelIndex &parent = {}) const override;
    QModelIndex parent(const QModelIndex &child) const override;
    int rowCount(const QModelIndex &parent = {}) const override;
    // The item row `direction` steps from `current` across sections, skipping section rows; invalid past either
    // end or when `current` is no item row.
    QModelIndex adjacentDataRow(const QModelIndex &current, int direction) const;
    // The row a menu acts on: the one right-clicked when there is one, else the selected current row.
    static QModelIndex clickedOrSelectedRow(const QAbstractItemView *view, const QModelIndex &clicked);
    // Whether `note`, wrapped to `width` in `font`, takes more than the one line a short row has room for.
    static bool noteNeedsLongRow(const QString &note, const QFont &font, int width);
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;

    // QDListDataSourceDelegate
    void updatedSourceObjects() override;
    void insertedNewSectionToSource(CommonListData *header, qint64 headerIndex) override;
    void addedObject(CommonListData *row, CommonListData *header, qint64 index) override;
    void deletedSection(CommonListData *header, qint64 index) override;
    void deletedObjectItem(CommonListData *row, qint64 section, quint64 itemIndex) override;
    void moveObjectInSection(CommonListData *header, qint64 fromIndex, qint64 toIndex) override;
    void moveObjectFromSection(CommonListData *fromHeader, CommonListData *toHeader, qint64 fromHeaderIndex,
                               qint64 toHeaderIndex, qint64 fromIndexInSection, qint64 toIndexInSection) override;
    bool respondsToUpdatedSourceObject() const override { return true; }
    void updatedSourceObjectWithHeaderIndex(qint64 headerIndex, qint64 indexInSection, CommonListData *item) override;

private:
    struct Section
    {
        CommonListDataPtr header;
        QList<CommonListDataPtr> rows;
    };
    int sectionOf(const CommonListData *header) const;
    void rebuild();
    QString defaultHeaderText(const CommonListData &header) const;

    QDListDataSource *m_source;
    QDListDataSourceDelegate *m_forward = nullptr;
    int m_groupRoleAlias = -1;
    int m_dataObjectRoleAlias = -1;
    QList<Section> m_sections;
    std::function<QString(const CommonListData &)> m_headerText;
    std::function<QString(const CommonListData &)> m_rowText;
    std::function<int(const QModelIndex &)> m_rowHeight;
    std::function<void(const QModelIndex &)> m_ticked;
    QList<const CommonListData *> m_tickedRows;
};
