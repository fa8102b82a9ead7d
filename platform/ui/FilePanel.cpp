#include "platform/ui/FilePanel.h"

#include <QFileDialog>
#include <QTimer>

namespace platform::ui {

namespace {

QString nameFilter(const FilePanelSpec &spec)
{
    if (spec.allowedExtensions.isEmpty())
        return QString();
    QStringList patterns;
    for (const QString &extension : spec.allowedExtensions)
        patterns << QStringLiteral("*.") + extension;
    return QStringLiteral("%1 (%2)").arg(spec.allowedExtensions.join(QStringLiteral(", ")).toUpper(),
                                         patterns.join(QLatin1Char(' ')));
}

QFileDialog *makeDialog(const FilePanelSpec &spec, QWidget *parent)
{
    auto *dialog = new QFileDialog(parent, spec.title, spec.directory);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setAcceptMode(spec.save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog->setFileMode(spec.save                       ? QFileDialog::AnyFile
                        : spec.allowsMultipleSelection ? QFileDialog::ExistingFiles
                                                       : QFileDialog::ExistingFile);
    if (!spec.prompt.isEmpty())
        dialog->setLabelText(QFileDialog::Accept, spec.prompt);
    const QString filter = nameFilter(spec);
    if (!filter.isEmpty())
        dialog->setNameFilter(filter);
    if (spec.save && !spec.allowedExtensions.isEmpty())
        dialog->setDefaultSuffix(spec.allowedExtensions.first());
    if (!spec.nameFieldText.isEmpty())
        dialog->selectFile(spec.nameFieldText);
    return dialog;
}

} // namespace

FilePanelPresenter &FilePanelPresenter::shared()
{
    static FilePanelPresenter *presenter = new FilePanelPresenter;
    return *presenter;
}

void FilePanelPresenter::runOpenPanel(const FilePanelSpec &spec, QWidget *parent, Completion completion)
{
    present(spec, parent, false, std::move(completion));
}

void FilePanelPresenter::beginSaveSheet(const FilePanelSpec &spec, QWidget *window, Completion completion)
{
    present(spec, window, true, std::move(completion));
}

void FilePanelPresenter::present(const FilePanelSpec &spec, QWidget *parent, bool asSheet, Completion completion)
{
    m_shown << spec;
    if (!m_answers.empty()) {
        const FilePanelAnswer answer = m_answers.front();
        m_answers.pop_front();
        QTimer::singleShot(0, this, [answer, completion = std::move(completion)] {
            if (completion)
                completion(answer);
        });
        return;
    }
    QFileDialog *dialog = makeDialog(spec, asSheet ? parent : nullptr);
    if (asSheet)
        dialog->setWindowModality(Qt::WindowModal);
    auto done = std::make_shared<bool>(false);
    connect(dialog, &QFileDialog::finished, this, [dialog, done, completion = std::move(completion)](int result) {
        if (*done)
            return;
        *done = true;
        const QStringList files = dialog->selectedFiles();
        const FilePanelAnswer answer = result == QDialog::Accepted && !files.isEmpty() ? FilePanelAnswer::chooseMany(files)
                                                                                      : FilePanelAnswer::cancel();
        QTimer::singleShot(0, [answer, completion] {
            if (completion)
                completion(answer);
        });
    });
    dialog->open();
}

FilePanelAnswer FilePanelPresenter::runOpenPanelBlocking(const FilePanelSpec &spec)
{
    m_shown << spec;
    if (!m_answers.empty()) {
        const FilePanelAnswer answer = m_answers.front();
        m_answers.pop_front();
        return answer;
    }
    if (m_blockingForbidden)
        return FilePanelAnswer::cancel();
    QFileDialog *dialog = makeDialog(spec, nullptr);
    dialog->setAttribute(Qt::WA_DeleteOnClose, false);
    const int result = dialog->exec();
    const QStringList files = dialog->selectedFiles();
    delete dialog;
    return result == QDialog::Accepted && !files.isEmpty() ? FilePanelAnswer::chooseMany(files) : FilePanelAnswer::cancel();
}

} // namespace platform::ui
