#include "Mac/ContactPage/CommonListViewMac.h"

#include "platform/ui/Popover.h"

#include <QAbstractScrollArea>
#include <QEvent>

CommonListViewMac::CommonListViewMac(const QString &nibName, Person *person, QWidget *parent)
    : QWidget(parent), m_nibName(nibName), m_detailPerson(person)
{
    setObjectName(nibName);
}

CommonListViewMac::~CommonListViewMac() = default;

platform::ui::Popover *CommonListViewMac::mypopover() const
{
    return m_mypopover;
}

void CommonListViewMac::setMypopover(platform::ui::Popover *popover)
{
    m_mypopover = popover;
}

void CommonListViewMac::awakeFromNib()
{
    if (m_loadedAwakeFromNib)
        return;
    m_loadedAwakeFromNib = true;
    if (m_scrollView)
        m_scrollView->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    m_passwordObserver = platform::core::ScopedObserver(
        PasswordScreenWillShowNotification, nullptr,
        [this](const platform::core::Notification &) { passwordScreenWillShowNotification(); });
}

void CommonListViewMac::passwordScreenWillShowNotification()
{
    if (m_mypopover && m_mypopover->isShown())
        m_mypopover->closePopover();
}

platform::ui::Popover *CommonListViewMac::createPopoverWithViewController(QWidget *content)
{
    auto *popover = new platform::ui::Popover(window());
    popover->setBehavior(platform::ui::Popover::Behavior::Semitransient);
    popover->setAnimates(true);
    popover->setContentWidget(content);
    return popover;
}

void CommonListViewMac::checkIfDeletedLastRow()
{
    if (arrangedObjectCount() <= 0 && m_contactsDelegate)
        m_contactsDelegate->subviewPressedUpButton();
}

void CommonListViewMac::addTextFieldForFillerText(QWidget *filler, QWidget *mainView)
{
    if (!filler || !mainView)
        return;
    if (m_fillerHost && m_fillerHost != mainView)
        m_fillerHost->removeEventFilter(this);
    m_fillerText = filler;
    m_fillerHost = mainView;
    filler->setParent(mainView);
    mainView->installEventFilter(this);
    placeFiller();
    filler->show();
    filler->raise();
    m_showingFillerText = true;
}

void CommonListViewMac::removeFillerText()
{
    if (m_fillerText && m_fillerHost) {
        m_fillerText->hide();
        m_fillerText->setParent(nullptr);
        m_fillerHost->removeEventFilter(this);
    }
    m_fillerHost = nullptr;
    m_showingFillerText = false;
}

void CommonListViewMac::placeFiller()
{
    if (!m_fillerText || !m_fillerHost)
        return;
    const int height = std::max(40, m_fillerText->sizeHint().height());
    m_fillerText->setGeometry(0, 1, m_fillerHost->width(), height);
}

bool CommonListViewMac::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_fillerHost && event->type() == QEvent::Resize)
        placeFiller();
    return QWidget::eventFilter(watched, event);
}
