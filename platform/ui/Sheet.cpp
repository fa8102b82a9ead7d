#include "platform/ui/Sheet.h"

#include <QApplication>
#include <QScreen>
#include <QVBoxLayout>

namespace platform::ui {

namespace {
// Every sheet ever begun and still alive, in the order they were begun.
QList<QPointer<Sheet>> &registry()
{
    static QList<QPointer<Sheet>> sheets;
    return sheets;
}
} // namespace

Sheet::Sheet(QWidget *parent) : QDialog(parent)
{
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
}

Sheet::~Sheet()
{
    registry().removeAll(QPointer<Sheet>());
    registry().removeAll(this);
}

void Sheet::setContentWidget(QWidget *content)
{
    if (m_content == content)
        return;
    delete m_content;
    m_content = content;
    if (content)
        layout()->addWidget(content);
}

void Sheet::beginSheet(QWidget *window, Completion completion)
{
    QWidget *top = window ? window->window() : nullptr;
    if (!top) {
        beginModal(std::move(completion));
        return;
    }
    m_sheetParent = top;
    if (parentWidget() != top)
        setParent(top, windowFlags() | Qt::Dialog);
    start(Qt::WindowModal, std::move(completion));
}

void Sheet::beginModal(Completion completion)
{
    m_sheetParent = nullptr;
    start(Qt::ApplicationModal, std::move(completion));
}

void Sheet::start(Qt::WindowModality modality, Completion completion)
{
    if (m_active)
        return;
    m_completion = std::move(completion);
    m_active = true;
    m_returnCode = ModalResponseCancel;
    registry().removeAll(QPointer<Sheet>());
    registry().append(this);
    // Not QDialog::open(): that one always makes the dialog window-modal.
    setWindowModality(modality);
    show();
}

void Sheet::endSheet(int returnCode)
{
    done(returnCode);
}

void Sheet::done(int returnCode)
{
    m_returnCode = returnCode;
    if (!m_active) {
        QDialog::done(returnCode);
        return;
    }
    m_active = false;
    registry().removeAll(this);
    QDialog::done(returnCode);
    // Taken out first: a completion that begins this sheet again installs a new one.
    Completion completion = std::move(m_completion);
    m_completion = nullptr;
    if (completion)
        completion(returnCode);
    emit sheetEnded(returnCode);
    if (m_deleteOnEnd && !m_active)
        deleteLater();
}

void Sheet::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    placeOnParent();
}

void Sheet::placeOnParent()
{
    // A sheet hangs from the top edge of its window, centred across it.
    if (!m_sheetParent)
        return;
    const QRect host = m_sheetParent->frameGeometry();
    const QSize size = frameGeometry().size();
    QPoint topLeft(host.x() + (host.width() - size.width()) / 2, host.y() + (host.height() - m_sheetParent->height()));
    if (const QScreen *screen = m_sheetParent->screen()) {
        const QRect area = screen->availableGeometry();
        topLeft.setX(qBound(area.left(), topLeft.x(), qMax(area.left(), area.right() - size.width())));
        topLeft.setY(qBound(area.top(), topLeft.y(), qMax(area.top(), area.bottom() - size.height())));
    }
    move(topLeft);
}

QList<Sheet *> Sheet::attachedSheets(const QWidget *window)
{
    QList<Sheet *> result;
    const QWidget *top = window ? window->window() : nullptr;
    if (!top)
        return result;
    for (const QPointer<Sheet> &sheet : registry()) {
        if (sheet && sheet->m_active && sheet->m_sheetParent == top)
            result.append(sheet.data());
    }
    return result;
}

Sheet *Sheet::attachedSheet(const QWidget *window)
{
    const QList<Sheet *> sheets = attachedSheets(window);
    return sheets.isEmpty() ? nullptr : sheets.last();
}

} // namespace platform::ui
