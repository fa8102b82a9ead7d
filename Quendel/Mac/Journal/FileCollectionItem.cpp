#include "Mac/Journal/FileCollectionItem.h"

#include "Classes/FileDropImport.h"

#include "QuendelKit/Entities/FileAttachments.h"
#include "QuendelKit/Infra/QDLog.h"

#include <QFileInfo>
#include <QRegularExpression>

QString FileCollectionItem::shownName() const
{
    return m_file ? m_file->fileCheckName() : QString();
}

QString FileCollectionItem::nameWithoutExtension(const QString &name)
{
    // An extension is a short run of letters and digits after the last dot, never the whole name.
    static const QRegularExpression extension(QStringLiteral("\\.[\\p{L}\\p{N}]{1,16}$"));
    const QRegularExpressionMatch match = extension.match(name);
    if (!match.hasMatch() || match.capturedStart() == 0)
        return name;
    return name.left(match.capturedStart());
}

QString FileCollectionItem::startEditingFilename()
{
    m_originalName = shownName();
    m_editing = true;
    return nameWithoutExtension(m_originalName);
}

QString FileCollectionItem::cancelOperation()
{
    m_editing = false;
    return m_originalName;
}

bool FileCollectionItem::textShouldEndEditing(const QString &text, platform::core::QDError *error)
{
    QString bare = nameWithoutExtension(text.trimmed());
    if (bare.isEmpty())
        return false;
    // A typed name is one file name: no line breaks, no path.
    bare = FileDropImport::sanitizedFileName(bare, QString());
    if (bare.isEmpty() || !m_file)
        return false;
    if (!m_file->renameFileToNewName(bare, error)) {
        QDLogInfo(QStringLiteral("FileCollectionItem - rename failed"));
        return false;
    }
    m_editing = false;
    return true;
}

QString FileCollectionItem::controlTextDidEndEditing()
{
    m_editing = false;
    if (!m_file)
        return m_originalName;
    const QString renamed = m_file->fileRenamedName();
    return renamed.isEmpty() ? shownName() : renamed;
}

QStringList FileCollectionItem::menuCommands(bool isAllFilesPage)
{
    if (isAllFilesPage)
        return {OpenCommand, RenameCommand, EmailCommand, ReassignCommand, GoToContactCommand, DeleteCommand};
    return {OpenCommand, RenameCommand, EmailCommand, DeleteCommand};
}
