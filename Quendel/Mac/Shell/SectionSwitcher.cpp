#include "Mac/Shell/SectionSwitcher.h"

const QList<SectionInfo> &SectionSwitcher::sections()
{
    static const QList<SectionInfo> table = {
        {0, QStringLiteral("Contacts"), QStringLiteral("MacContactsViewController"),
         QStringLiteral("MacContactsViewController"), QStringLiteral("Quendel - Contacts"),
         QStringLiteral("Search Contacts"), QString(), true, false},
        {1, QStringLiteral("Logs"), QStringLiteral("MacAllLogsViewController"), QStringLiteral("MacAllLogsViewController"),
         QStringLiteral("Quendel - Logs"), QStringLiteral("Search Logs"),
         QStringLiteral("Add new Logs by selecting a contact"), true, true},
        {2, QStringLiteral("ToDos"), QStringLiteral("MacAllTodosViewController"),
         QStringLiteral("MacAllTodosViewController"), QStringLiteral("Quendel - Todos"), QStringLiteral("Search ToDos"),
         QStringLiteral("Add new ToDos by selecting a contact"), true, true},
        {3, QStringLiteral("Files"), QStringLiteral("MacAllFilesViewController"),
         QStringLiteral("MacAllFilesViewController"), QStringLiteral("Quendel - Files"), QStringLiteral("Search Files"),
         QStringLiteral("Add Files to your contacts"), true, true},
        {4, QStringLiteral("Map"), QStringLiteral("MacMapViewController"), QStringLiteral("MacMapViewController"),
         QStringLiteral("Map View"), QStringLiteral("Search Map"), QString(), false, true},
    };
    return table;
}

const SectionInfo *SectionSwitcher::section(int index)
{
    if (index < 0 || index >= SectionCount)
        return nullptr;
    return &sections().at(index);
}

SectionSwitcher::Selection SectionSwitcher::planSelection(int index) const
{
    Selection selection;
    if (index == m_currentIndex) {
        selection.ignored = true;
        return selection;
    }
    if (m_currentIndex == -1) {
        selection.sidebarRow = 1;
        selection.sidebarDelayMs = 100;
    } else {
        selection.sidebarRow = index + 1;
        selection.sidebarDelayMs = 0;
    }
    selection.leavingContacts = m_currentIndex == Contacts;
    return selection;
}

SectionSwitcher::Presentation SectionSwitcher::present(int index)
{
    m_currentIndex = index;
    Presentation presentation;
    presentation.index = index;
    const SectionInfo *info = section(index);
    if (!info)
        return presentation;
    presentation.showsSection = true;
    presentation.addItemShown = info->showsAddItem;
    if (index == Contacts)
        presentation.addFace = m_groupSelected ? AddFace::Edit : AddFace::Add;
    else if (info->showsAddItem)
        presentation.addFace = AddFace::Add;
    presentation.addToolTip = info->addButtonToolTip;
    const QString remembered = m_search[index];
    presentation.searchText = remembered.isNull() ? QStringLiteral("") : remembered;
    presentation.searchPlaceholder = info->searchPlaceholder;
    return presentation;
}

QString SectionSwitcher::rememberedSearch(int index) const
{
    return index >= 0 && index < SectionCount ? m_search[index] : QString();
}

void SectionSwitcher::setRememberedSearch(int index, const QString &text)
{
    if (index >= 0 && index < SectionCount)
        m_search[index] = text;
}

void SectionSwitcher::clearRememberedSearches()
{
    for (QString &text : m_search)
        text = QString();
}
