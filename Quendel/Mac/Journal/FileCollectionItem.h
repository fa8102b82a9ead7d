#pragma once

#include "platform/core/QDError.h"

#include <QString>
#include <QStringList>

class FileAttachments;

// One file of a grid of files as the user works with it: whether it is selected, and its in-place rename,
// which shows the name without its extension and always keeps the file's own extension. It serves the
// Files section and a contact's Files tab alike; which menu it offers depends on where it is.
class FileCollectionItem
{
public:
    // The commands of the item's context menu, by their titles.
    static inline const QString OpenCommand = QStringLiteral("Open");
    static inline const QString RenameCommand = QStringLiteral("Rename");
    static inline const QString EmailCommand = QStringLiteral("E-mail");
    static inline const QString ReassignCommand = QStringLiteral("Reassign…");
    static inline const QString GoToContactCommand = QStringLiteral("Show Contact");
    static inline const QString DeleteCommand = QStringLiteral("Delete");

    explicit FileCollectionItem(FileAttachments *file = nullptr) : m_file(file) {}

    FileAttachments *getFileObject() const { return m_file; }
    void setFileObject(FileAttachments *file) { m_file = file; }
    bool isAllFilesPage() const { return m_isAllFilesPage; }
    void setIsAllFilesPage(bool allFiles) { m_isAllFilesPage = allFiles; }
    bool isSelected() const { return m_selected; }
    void setSelected(bool selected) { m_selected = selected; }
    bool isEditing() const { return m_editing; }
    const QString &originalName() const { return m_originalName; }

    // The full name the item shows: the name the user gave, else the stored one.
    QString shownName() const;
    // Begins a rename: keeps the full name and answers what the field shows (the name without extension).
    QString startEditingFilename();
    // Escape: the edit ends and the field shows the full name from before.
    QString cancelOperation();
    // The typed name, without any extension the user typed, is given to the file. False (and the edit goes
    // on) for an empty name or a failed rename, whose error is in `error`.
    bool textShouldEndEditing(const QString &text, platform::core::QDError *error);
    // What the field shows once the edit ended.
    QString controlTextDidEndEditing();

    // "report.final.pdf" -> "report.final"; a name that is all extension (".profile") stays whole.
    static QString nameWithoutExtension(const QString &name);
    // The longer menu in the Files section (it also moves a file to another contact and goes to its
    // contact), the shorter one on a contact's page.
    static QStringList menuCommands(bool isAllFilesPage);

private:
    FileAttachments *m_file = nullptr;
    bool m_isAllFilesPage = false;
    bool m_selected = false;
    bool m_editing = false;
    QString m_originalName;
};
