#include "CommonListData.h"

#include <QLocale>
#include <QStringList>

namespace {

// The month names of the user's calendar, read once for the life of the process.
const QStringList &monthNames()
{
    static const QStringList names = [] {
        QStringList list;
        const QLocale locale;
        for (int month = 1; month <= 12; ++month)
            list.append(locale.monthName(month, QLocale::LongFormat));
        return list;
    }();
    return names;
}

} // namespace

CommonListData::CommonListData(platform::store::ManagedObject *object) : m_isGroup(false)
{
    setDataObject(object);
}

CommonListData::CommonListData(const QString &headerTitle) : m_isGroup(true), m_headerTitle(headerTitle) {}

void CommonListData::setDataObject(platform::store::ManagedObject *object)
{
    m_dataObject = object;
    m_objectID = object ? object->objectID() : platform::store::ManagedObjectID();
}

QString CommonListData::headerDisplayTitle() const
{
    bool ok = false;
    const qint64 period = m_headerTitle.toLongLong(&ok);
    const qint64 month = period % 1000;
    // A period whose month part is not a month has no name to show; its raw value is shown instead.
    if (!ok || month < 1 || month > 12)
        return m_headerTitle;
    return QStringLiteral("%1 %2").arg(monthNames().at(int(month - 1))).arg(period / 1000);
}

QString CommonListData::headerDisplayTodoSections() const
{
    bool ok = false;
    const int code = m_headerTitle.toInt(&ok);
    if (ok) {
        switch (code) {
        case 0:
            return QStringLiteral("Overdue");
        case 1:
            return QStringLiteral("Next 7 Days");
        case 2:
            return QStringLiteral("Upcoming");
        default:
            break;
        }
    }
    return QStringLiteral("None");
}
