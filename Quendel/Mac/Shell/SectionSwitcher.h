#pragma once

#include <QList>
#include <QMetaType>
#include <QString>

// One of the five sections of the main window.
struct SectionInfo
{
    int index = -1;
    QString sidebarTitle;
    QString controllerClass;
    QString interfaceFile;
    QString controllerTitle;
    QString searchPlaceholder;
    QString addButtonToolTip; // null: the Contacts section's comes from the group state, the Map has no Add item
    bool showsAddItem = true;
    bool normalisesSearch = true; // the remembered search is the normalised text (all but Contacts)
};

// The rules of switching between sections, apart from the window: which section is on show, the search
// text each one remembers, and what a switch changes in the sidebar, the toolbar and the search field.
class SectionSwitcher
{
public:
    static constexpr int Contacts = 0;
    static constexpr int Logs = 1;
    static constexpr int ToDos = 2;
    static constexpr int Files = 3;
    static constexpr int Map = 4;
    static constexpr int SectionCount = 5;

    static const QList<SectionInfo> &sections();
    // Null for an index outside 0-4.
    static const SectionInfo *section(int index);

    enum class AddFace { None, Add, Edit };

    // What selectItemAtIndex does.
    struct Selection
    {
        bool ignored = false;       // the section is already on show: nothing at all happens
        int sidebarRow = -1;        // the sidebar row to select
        int sidebarDelayMs = 0;     // 100 on the first switch after launch, else the next pass of the loop
        bool leavingContacts = false;
    };

    // What changeViewControllersWithIndex changes.
    struct Presentation
    {
        int index = -1;
        bool showsSection = false; // false above 4: only the sidebar reloads
        bool addItemShown = true;
        AddFace addFace = AddFace::None;
        QString addToolTip;        // null: left as it is
        QString searchText;
        QString searchPlaceholder;
    };

    int currentIndex() const { return m_currentIndex; }

    Selection planSelection(int index) const;
    // Stores the index as the current one and says how the window shows it.
    Presentation present(int index);

    // The last search text of each section (null: none).
    QString rememberedSearch(int index) const;
    void setRememberedSearch(int index, const QString &text);
    void clearRememberedSearches();

    // A group other than "All Contacts" is chosen in the group menu.
    bool groupSelected() const { return m_groupSelected; }
    void setGroupSelected(bool selected) { m_groupSelected = selected; }

private:
    int m_currentIndex = -1;
    QString m_search[SectionCount];
    bool m_groupSelected = false;
};

Q_DECLARE_METATYPE(SectionSwitcher::Presentation)
