#include "Mac/Shell/MainWindowManagerViewController.h"

#include "QuendelKit/Entities/Person.h"
#include "QuendelKit/Entities/PrivateGroups.h"
#include "QuendelKit/Settings/SharedSettingController.h"

#include "platform/store/ManagedObjectContext.h"
#include "platform/ui/CommandRouter.h"
#include "platform/ui/Popover.h"

#include <QEvent>

namespace {

// Keeps a filler text where addTextFieldForFillerText put it while the views around it move or resize.
class FillerTextPlacer : public QObject
{
public:
    FillerTextPlacer(QWidget *filler, QWidget *main, QWidget *leading, QWidget *trailing)
        : QObject(filler), m_filler(filler), m_main(main), m_leading(leading), m_trailing(trailing)
    {
        for (QWidget *w : {main, leading, trailing}) {
            if (w)
                w->installEventFilter(this);
        }
        place();
    }

    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Resize || event->type() == QEvent::Move || event->type() == QEvent::Show)
            place();
        return QObject::eventFilter(watched, event);
    }

private:
    std::optional<QRect> rectOf(QWidget *view) const
    {
        if (!view || view == m_main)
            return std::nullopt;
        return QRect(view->mapTo(m_main, QPoint(0, 0)), view->size());
    }

    void place()
    {
        if (!m_filler || !m_main)
            return;
        m_filler->setGeometry(
            MainWindowManagerViewController::fillerTextRect(m_main->size(), rectOf(m_leading), rectOf(m_trailing)));
    }

    QPointer<QWidget> m_filler;
    QPointer<QWidget> m_main;
    QPointer<QWidget> m_leading;
    QPointer<QWidget> m_trailing;
};

} // namespace

MainWindowManagerViewController::MainWindowManagerViewController(const QString &nibName, ContextPtr context,
                                                                 QWidget *parent)
    : QWidget(parent), m_nibName(nibName), m_context(std::move(context))
{
    setObjectName(nibName);
    setFocusPolicy(Qt::StrongFocus);
}

MainWindowManagerViewController::~MainWindowManagerViewController() = default;

platform::ui::Popover *MainWindowManagerViewController::contentPopover() const
{
    return m_contentPopover;
}

void MainWindowManagerViewController::setContentPopover(platform::ui::Popover *popover)
{
    m_contentPopover = popover;
}

platform::ui::Popover *MainWindowManagerViewController::createPopoverWithViewController(QWidget *controller)
{
    auto *popover = new platform::ui::Popover(this);
    popover->setBehavior(platform::ui::Popover::Behavior::Transient);
    popover->setAnimates(true);
    popover->setContentWidget(controller);
    connect(popover, &platform::ui::Popover::didClose, this, [this, popover] { popoverDidClose(popover); });
    return popover;
}

QRect MainWindowManagerViewController::fillerTextRect(const QSize &mainSize, const std::optional<QRect> &leading,
                                                      const std::optional<QRect> &trailing)
{
    const int left = leading ? leading->x() + leading->width() : 0;
    const int right = trailing ? trailing->x() : mainSize.width();
    const int height = trailing ? 120 : 40;
    return QRect(left, 0, qMax(0, right - left), height);
}

void MainWindowManagerViewController::addTextFieldForFillerText(QWidget *filler, QWidget *mainView,
                                                                QWidget *leadingView, QWidget *trailingView)
{
    if (!filler || !mainView)
        return;
    filler->setParent(mainView);
    new FillerTextPlacer(filler, mainView, leadingView, trailingView);
    filler->show();
    filler->raise();
    m_showingFillerText = true;
}

void MainWindowManagerViewController::loadViewIfNeeded()
{
    if (m_viewLoaded)
        return;
    m_viewLoaded = true;
    loadView();
    if (handlesDeleteCommand()) {
        auto &router = platform::ui::CommandRouter::shared();
        router.addHandler(this, QStringLiteral("delete:"), [this](QObject *sender) { performDelete(sender); });
        router.setValidator(this, [this](const QString &, QAction *item) {
            platform::ui::CommandState state;
            state.enabled = validateMenuItem(item);
            return state;
        });
    }
    awakeFromNib();
}

std::optional<platform::store::Predicate> MainWindowManagerViewController::combinedFilterPredicate() const
{
    std::vector<Predicate> parts;
    for (const std::optional<Predicate> *filter :
         {&m_dateFilterPredicate, &m_titleFilterPredicate, &m_searchPredicate, &m_contactsFilterPredicate}) {
        if (filter->has_value())
            parts.push_back(**filter);
    }
    if (parts.empty())
        return std::nullopt;
    return Predicate::andOf(std::move(parts));
}

namespace {
platform::store::Predicate personInList(const QList<Person *> &people)
{
    std::vector<platform::store::ObjectRef> refs;
    refs.reserve(people.size());
    for (const Person *person : people)
        refs.push_back(platform::store::ObjectRef::fromObjectID(person->objectID(), person));
    return platform::store::Predicate::in(QStringLiteral("person"), refs);
}
} // namespace

platform::store::Predicate MainWindowManagerViewController::predicateForPrivateGroup(const PrivateGroups *group)
{
    return personInList(group ? group->members() : QList<Person *>());
}

platform::store::Predicate MainWindowManagerViewController::predicateForPublicGroup(
    const QStringList &memberUniqueIds) const
{
    return personInList(personsListForPublicGroup(memberUniqueIds));
}

QList<Person *> MainWindowManagerViewController::personsListForPublicGroup(const QStringList &memberUniqueIds) const
{
    QList<Person *> people;
    if (!m_context)
        return people;
    const SharedSettingController &settings = SharedSettingController::sharedSettings();
    for (const QString &uniqueId : memberUniqueIds) {
        const platform::store::ManagedObjectID objectID = settings.objectIDForContactReferenceID(uniqueId);
        if (objectID.isNull())
            continue;
        if (auto *person = dynamic_cast<Person *>(m_context->existingObjectWithID(objectID)))
            people.append(person);
    }
    return people;
}

bool MainWindowManagerViewController::saveContext()
{
    if (!m_context)
        return false;
    platform::core::QDError error;
    return m_context->save(&error);
}
