#pragma once

#include "platform/store/ManagedObject.h"
#include "platform/store/ManagedObjectID.h"

#include <QList>
#include <QString>

#include <memory>

class CommonListData;
using CommonListDataPtr = std::shared_ptr<CommonListData>;

// One node of a sectioned list: a section header with its rows, or one row holding one record.
class CommonListData
{
public:
    // A row for a record (isGroup false).
    explicit CommonListData(platform::store::ManagedObject *object);
    // A header (isGroup true); its children are given by the list model.
    explicit CommonListData(const QString &headerTitle);

    static CommonListDataPtr initWithManagedObject(platform::store::ManagedObject *object)
    {
        return std::make_shared<CommonListData>(object);
    }
    static CommonListDataPtr initWithHeaderTitle(const QString &title)
    {
        return std::make_shared<CommonListData>(title);
    }

    bool isGroup() const { return m_isGroup; }
    const QString &headerTitle() const { return m_headerTitle; }
    void setHeaderTitle(const QString &title) { m_headerTitle = title; }

    QList<CommonListDataPtr> &children() { return m_children; }
    const QList<CommonListDataPtr> &children() const { return m_children; }
    void setChildren(QList<CommonListDataPtr> children) { m_children = std::move(children); }

    platform::store::ManagedObject *dataObject() const { return m_dataObject; }
    // Also remembers the record's identifier, which stays readable after the record itself is gone.
    void setDataObject(platform::store::ManagedObject *object);
    // The identifier of the row's record as last given (setDataObject); null on headers. It is read without
    // touching the record, which a merge may already have ended.
    const platform::store::ManagedObjectID &objectID() const { return m_objectID; }

    // Month sections: the period year × 1000 + month as "<month name> <year>".
    QString headerDisplayTitle() const;
    // To-do sections "0", "1", "2"; any other code is "None".
    QString headerDisplayTodoSections() const;
    // File sections: the contact's name as it is.
    QString headerDisplayName() const { return m_headerTitle; }

private:
    bool m_isGroup = false;
    QString m_headerTitle;
    QList<CommonListDataPtr> m_children;
    platform::store::ManagedObject *m_dataObject = nullptr;
    platform::store::ManagedObjectID m_objectID;
};
