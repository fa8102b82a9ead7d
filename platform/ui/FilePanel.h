#pragma once

#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>

#include <deque>
#include <functional>

class QWidget;

namespace platform::ui {

// What an open or save panel offers.
struct FilePanelSpec
{
    bool save = false;
    QString title;
    QString prompt;                 // the title of the accepting button
    QString directory;              // where the panel starts
    QString nameFieldText;          // save panels: the proposed name
    QStringList allowedExtensions;  // e.g. {"zip"}; empty: any file
    bool allowsMultipleSelection = false; // open panels: several files at once
};

struct FilePanelAnswer
{
    bool accepted = false;
    QString path;       // the first chosen file
    QStringList paths;  // every chosen file, in order

    static FilePanelAnswer choose(const QString &path) { return {true, path, {path}}; }
    static FilePanelAnswer chooseMany(const QStringList &paths) { return {true, paths.value(0), paths}; }
    static FilePanelAnswer cancel() { return {false, QString(), {}}; }
};

// Shows the application's file panels: open panels in their own window, save panels as sheets on a window.
// Answers come back through a completion on a later turn of the event loop, as from a panel the user closes.
//
// For tests: answers set ahead are consumed in order, one per panel, instead of showing anything; every
// panel asked for is recorded.
class FilePanelPresenter : public QObject
{
    Q_OBJECT
public:
    using Completion = std::function<void(const FilePanelAnswer &)>;

    static FilePanelPresenter &shared();

    void runOpenPanel(const FilePanelSpec &spec, QWidget *parent, Completion completion);
    void beginSaveSheet(const FilePanelSpec &spec, QWidget *window, Completion completion);
    // An open panel that returns its answer (for the moment before the event loop runs); a waiting answer
    // is returned at once, and with blocking forbidden an unanswered panel is cancelled.
    FilePanelAnswer runOpenPanelBlocking(const FilePanelSpec &spec);

    void setNextAnswer(const FilePanelAnswer &answer) { m_answers.push_back(answer); }
    int pendingAnswerCount() const { return int(m_answers.size()); }
    void clearAnswers() { m_answers.clear(); }
    void setBlockingForbidden(bool forbidden) { m_blockingForbidden = forbidden; }

    const QList<FilePanelSpec> &shownPanels() const { return m_shown; }
    void clearShownPanels() { m_shown.clear(); }

private:
    FilePanelPresenter() = default;
    void present(const FilePanelSpec &spec, QWidget *parent, bool asSheet, Completion completion);

    std::deque<FilePanelAnswer> m_answers;
    QList<FilePanelSpec> m_shown;
    bool m_blockingForbidden = false;
};

} // namespace platform::ui
