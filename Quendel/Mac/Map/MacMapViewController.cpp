#include "Mac/Map/MacMapViewController.h"

#include "Classes/QDAlertDisplayMac.h"

#include "QuendelKit/Entities/FormFields.h"
#include "QuendelKit/Entities/FormFieldsList.h"
#include "QuendelKit/Entities/Location.h"
#include "QuendelKit/Entities/Person.h"
#include "QuendelKit/Entities/PersonAddress.h"
#include "QuendelKit/Entities/PrivateGroups.h"
#include "QuendelKit/Entities/ToDo.h"

#include "platform/core/Dispatch.h"
#include "platform/maps/MapView.h"
#include "platform/maps/UserLocation.h"
#include "platform/store/FetchRequest.h"
#include "platform/store/ManagedObjectContext.h"

#include <QApplication>
#include <QDesktopServices>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QPainter>
#include <QPrintDialog>
#include <QPrinter>
#include <QProgressBar>
#include <QStandardItemModel>
#include <QStyledItemDelegate>
#include <QTextDocument>
#include <QToolButton>
#include <QTreeView>
#include <QUrl>
#include <QVBoxLayout>

using platform::core::Notification;
using platform::store::ManagedObject;

namespace {

constexpr int RecordRole = Qt::UserRole + 1;
constexpr int AddressRole = Qt::UserRole + 2;
constexpr int DistanceRole = Qt::UserRole + 3;
constexpr int GroupKeyRole = Qt::UserRole + 4;

// A row: the name, the address under it and the distance on the right; a group: its title.
class MapSidebarDelegate : public QStyledItemDelegate
{
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    QSize sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const override
    {
        const bool group = !index.parent().isValid();
        return QSize(option.rect.width(), group ? 22 : 50);
    }

    void paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const override
    {
        if (!index.parent().isValid()) {
            QStyleOptionViewItem header = option;
            initStyleOption(&header, index);
            header.font.setBold(true);
            header.state &= ~QStyle::State_Selected;
            QStyledItemDelegate::paint(painter, header, index);
            return;
        }
        QStyleOptionViewItem base = option;
        initStyleOption(&base, index);
        base.text.clear();
        const QWidget *view = option.widget;
        QStyle *style = view ? view->style() : QApplication::style();
        style->drawPrimitive(QStyle::PE_PanelItemViewItem, &base, painter, view);
        const bool selected = option.state & QStyle::State_Selected;
        const QPalette::ColorRole textRole = selected ? QPalette::HighlightedText : QPalette::Text;
        const QRect r = option.rect.adjusted(8, 4, -8, -4);
        const QString distance = index.data(DistanceRole).toString();
        const int distanceWidth = option.fontMetrics.horizontalAdvance(distance) + 8;
        painter->save();
        QFont bold = option.font;
        bold.setBold(true);
        painter->setFont(bold);
        painter->setPen(option.palette.color(QPalette::Active, textRole));
        const QRect nameRect(r.left(), r.top(), r.width() - distanceWidth, r.height() / 2);
        painter->drawText(nameRect, Qt::AlignLeft | Qt::AlignVCenter,
                          QFontMetrics(bold).elidedText(index.data().toString(), Qt::ElideRight, nameRect.width()));
        painter->setFont(option.font);
        painter->drawText(QRect(r.right() - distanceWidth, r.top(), distanceWidth, r.height() / 2),
                          Qt::AlignRight | Qt::AlignVCenter, distance);
        painter->setPen(option.palette.color(QPalette::Active, selected ? textRole : QPalette::PlaceholderText));
        const QRect addressRect(r.left(), r.top() + r.height() / 2, r.width(), r.height() / 2);
        painter->drawText(addressRect, Qt::AlignLeft | Qt::AlignVCenter,
                          option.fontMetrics.elidedText(index.data(AddressRole).toString(), Qt::ElideRight,
                                                        addressRect.width()));
        painter->restore();
    }
};

GeoCoordinate storedPosition(const ManagedObject *record)
{
    if (const auto *address = dynamic_cast<const PersonAddress *>(record))
        return address->coordinate();
    if (const auto *place = dynamic_cast<const Location *>(record))
        return place->coordinate();
    return {};
}

double distanceOf(const ManagedObject *record)
{
    if (const auto *address = dynamic_cast<const PersonAddress *>(record))
        return address->distance();
    if (const auto *place = dynamic_cast<const Location *>(record))
        return place->distance();
    return -1;
}

} // namespace

MacMapViewController::MacMapViewController(ContextPtr context, QWidget *parent)
    : MainWindowManagerViewController(QStringLiteral("MacMapViewController"), context, parent), m_shared(context)
{
    setWindowTitle(QStringLiteral("Map View"));
}

MacMapViewController::~MacMapViewController()
{
    *m_alive = false;
    if (m_delegateOf && m_delegateOf->delegate() == this)
        m_delegateOf->setDelegate(nullptr);
    m_observers.clear();
}

void MacMapViewController::loadView()
{
    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    m_model = new QStandardItemModel(this);
    m_outline = new QTreeView(this);
    m_outline->setObjectName(QStringLiteral("locationsListOutlineView"));
    m_outline->setAccessibleName(QStringLiteral("Map List"));
    m_outline->setModel(m_model);
    m_outline->setHeaderHidden(true);
    m_outline->setRootIsDecorated(false);
    m_outline->setItemsExpandable(false);
    m_outline->setIndentation(0);
    m_outline->setUniformRowHeights(false);
    m_outline->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_outline->setItemDelegate(new MapSidebarDelegate(m_outline));
    m_outline->setFixedWidth(300);
    m_outline->installEventFilter(this);
    connect(m_outline, &QTreeView::doubleClicked, this, [this] { selectedLocationItem(); });
    layout->addWidget(m_outline);

    auto *right = new QWidget(this);
    auto *rightLayout = new QVBoxLayout(right);
    rightLayout->setContentsMargins(0, 0, 0, 0);
    rightLayout->setSpacing(0);
    m_mapView = new platform::maps::MapView(right);
    m_mapView->setObjectName(QStringLiteral("mapView"));
    rightLayout->addWidget(m_mapView, 1);
    connect(m_mapView, &platform::maps::MapView::calloutInfoClicked, this,
            [this](const QString &key) { calloutInfo(key); });

    m_barView = new QWidget(right);
    m_barView->setObjectName(QStringLiteral("barView"));
    m_barView->setAutoFillBackground(true);
    QPalette barPalette = m_barView->palette();
    barPalette.setColor(QPalette::Window, Qt::white);
    m_barView->setPalette(barPalette);
    auto *barLayout = new QHBoxLayout(m_barView);
    barLayout->setContentsMargins(8, 2, 8, 2);
    m_barSpinner = new QProgressBar(m_barView);
    m_barSpinner->setAccessibleName(QStringLiteral("Activity"));
    m_barSpinner->setTextVisible(false);
    m_barSpinner->setFixedSize(60, 10);
    m_barSpinner->setRange(0, 1);
    m_barMessageLabel = new QLabel(m_barView);
    m_barMessageLabel->setTextFormat(Qt::PlainText);
    m_barMessageLabel->setAccessibleName(QStringLiteral("Map Status"));
    barLayout->addWidget(m_barSpinner);
    barLayout->addWidget(m_barMessageLabel, 1);
    m_barView->setFixedHeight(0);
    rightLayout->addWidget(m_barView);
    layout->addWidget(right, 1);
}

QString MacMapViewController::barMessage() const
{
    return m_barMessageLabel ? m_barMessageLabel->text() : QString();
}

// ---- Set-up ----

void MacMapViewController::awakeFromNib()
{
    if (m_setUp)
        return;
    m_setUp = true;
    m_geocodeStackAreEmptyMessage = true;

    if (m_requestQueue) {
        m_delegateOf = std::dynamic_pointer_cast<CLGeocoderRequestQueue>(m_requestQueue());
        if (m_delegateOf)
            m_delegateOf->setDelegate(this);
    }

    const auto observe = [this](const QString &name, std::function<void(const Notification &)> handler) {
        QPointer<MacMapViewController> self(this);
        m_observers.emplace_back(name, nullptr, [self, handler](const Notification &n) {
            if (platform::core::isMainThread()) {
                if (self)
                    handler(n);
                return;
            }
            platform::core::dispatchAsyncMain([self, handler, n] {
                if (self)
                    handler(n);
            });
        });
    };
    observe(CLGeocoderRequestQueue::PersonAddressDidSaveNotification,
            [this](const Notification &n) { personAddressUpdated(n); });
    observe(QStringLiteral("PersonAddressCloudUpdateNotification"), [this](const Notification &n) {
        auto *address = static_cast<PersonAddress *>(const_cast<void *>(n.object));
        const QString key = n.userInfo.value(QStringLiteral("Key")).toString();
        if (!address)
            return;
        if (key == QLatin1String("insertedObjects"))
            addPersonAddressObjectToMap(address);
        else if (key == QLatin1String("deletedObjects"))
            deletePersonAddressObjectFromMap(address);
        else if (key == QLatin1String("updatedObjects"))
            updatePersonAddressObject(address);
    });
    observe(QStringLiteral("LocationDidSaveNotification"), [this](const Notification &n) { locationUpdated(n); });
    observe(QStringLiteral("UpdatedPinColorUserField"), [this](const Notification &n) {
        if (n.userInfo.contains(QStringLiteral("DefaultPinColorChange")))
            m_shared.setDefaultTintColor(m_shared.getDefaultPinColor());
        loadAllAnnotationsOnMap();
    });
    observe(GroupChangeNotification, [this](const Notification &n) { groupChangedNotification(n); });
    observe(PersonDisplayNameChangedNotification, [this](const Notification &n) {
        const auto *person = static_cast<const Person *>(n.object);
        for (PersonAddress *address : arrangedAddresses()) {
            if (address->person() == person)
                updatePersonAddressObject(address);
        }
    });

    setupSidebarDictionaryWithLoadMapPins(true);

    // The user's location.
    m_locationManager = platform::maps::UserLocationProvider::make();
    connect(m_locationManager.get(), &platform::maps::UserLocationProvider::locationUpdated, this,
            &MacMapViewController::userLocationUpdated);
    connect(m_locationManager.get(), &platform::maps::UserLocationProvider::failed, this,
            &MacMapViewController::userLocationFailed);
    connect(m_locationManager.get(), &platform::maps::UserLocationProvider::authorizationChanged, this,
            &MacMapViewController::authorizationChanged);
    if (m_locationManager->authorizationStatus() == platform::maps::UserLocationProvider::Authorized) {
        setBar(QStringLiteral("Determining Location"), true);
        showBottomBar();
    } else {
        hideBottomBar();
    }
    m_locationManager->startUpdatingLocation();
}

// ---- Records ----

QList<PersonAddress *> MacMapViewController::arrangedAddresses() const
{
    QList<PersonAddress *> result;
    const ContextPtr context = managedObjectContext();
    if (!context)
        return result;
    for (ManagedObject *object : context->executeFetchRequest(platform::store::FetchRequest(PersonAddress::EntityName))) {
        auto *address = dynamic_cast<PersonAddress *>(object);
        if (address && address->person() && passesFilters(address))
            result << address;
    }
    return result;
}

QList<Location *> MacMapViewController::arrangedLocations() const
{
    QList<Location *> result;
    const ContextPtr context = managedObjectContext();
    if (!context)
        return result;
    for (ManagedObject *object : context->executeFetchRequest(platform::store::FetchRequest(Location::EntityName))) {
        auto *place = dynamic_cast<Location *>(object);
        if (place && passesFilters(place))
            result << place;
    }
    return result;
}

bool MacMapViewController::passesFilters(ManagedObject *record) const
{
    if (auto *address = dynamic_cast<PersonAddress *>(record)) {
        if (!MapViewShared::personAddressMatchesSearch(address, m_searchText))
            return false;
        return !m_groupMembers || MapViewShared::personAddressInGroup(address, *m_groupMembers);
    }
    if (auto *place = dynamic_cast<Location *>(record)) {
        if (!MapViewShared::locationMatchesSearch(place, m_searchText))
            return false;
        return !m_groupMembers || MapViewShared::locationInGroup(place, *m_groupMembers);
    }
    return false;
}

void MacMapViewController::setupSidebarDictionaryWithLoadMapPins(bool loadPins)
{
    ManagedObject *remembered = m_loadedMapFirstTime ? selectedRecord() : nullptr;
    LocationsListSetup::Buckets buckets;
    const QList<Location *> places = arrangedLocations();
    const QList<PersonAddress *> addresses = arrangedAddresses();
    if (m_current) {
        m_listSetup.loadLocationsFetchedObjects(places, *m_current, buckets);
        m_listSetup.loadPersonAddressFetchedObjects(addresses, *m_current, buckets);
    } else {
        // Without the user's location nothing has a distance yet.
        for (Location *place : places) {
            place->setDistance(-1);
            buckets[m_listSetup.bucketForLocation(place)] << place;
        }
        for (PersonAddress *address : addresses) {
            address->setDistance(-1);
            buckets[m_listSetup.bucketForPersonAddress(address)] << address;
        }
    }
    m_groups.clear();
    for (auto it = buckets.begin(); it != buckets.end(); ++it) {
        Group group{it.key(), it.value()};
        if (m_current)
            std::stable_sort(group.rows.begin(), group.rows.end(),
                             [](ManagedObject *a, ManagedObject *b) { return distanceOf(a) < distanceOf(b); });
        m_groups << group;
    }
    std::sort(m_groups.begin(), m_groups.end(),
              [](const Group &a, const Group &b) { return a.key.toLongLong() < b.key.toLongLong(); });

    reloadOutline();
    if (remembered)
        selectRecordInList(remembered);
    if (loadPins) {
        if (!m_loadedArrayController) {
            m_loadedArrayController = true;
            m_mapView->setShowsUserLocation(true);
        }
        loadAllAnnotationsOnMap();
    } else if (m_addressSelectedFromInfo) {
        PersonAddress *address = std::exchange(m_addressSelectedFromInfo, nullptr);
        selectRecordInList(address);
        selectedLocationItem();
    }
}

void MacMapViewController::reloadOutline()
{
    if (!m_model)
        return;
    m_model->clear();
    const HeaderValueTransformer &titles = m_listSetup.transform();
    const DistanceLabelTransformer &distances = m_listSetup.distanceTransform();
    for (const Group &group : m_groups) {
        auto *header = new QStandardItem(titles.transformedValue(group.key));
        header->setData(group.key, GroupKeyRole);
        header->setFlags(Qt::ItemIsEnabled);
        for (ManagedObject *record : group.rows) {
            QString name;
            QString address;
            if (auto *a = dynamic_cast<PersonAddress *>(record)) {
                name = a->person() ? a->person()->displayName() : QString();
                address = a->addressStringWithoutCountry();
            } else if (auto *p = dynamic_cast<Location *>(record)) {
                name = p->locationName();
                address = p->locationAddress();
                address.replace(QLatin1Char('\n'), QLatin1Char(' '));
            }
            auto *row = new QStandardItem(name);
            row->setData(QVariant::fromValue(reinterpret_cast<quintptr>(record)), RecordRole);
            row->setData(address, AddressRole);
            const double d = distanceOf(record);
            row->setData(m_current && d >= 0 ? distances.transformedValue(d) : QString(), DistanceRole);
            row->setToolTip(address);
            row->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
            header->appendRow(row);
        }
        m_model->appendRow(header);
    }
    m_outline->expandAll();
}

void MacMapViewController::loadAllAnnotationsOnMap()
{
    if (!m_mapView)
        return;
    QList<ManagedObject *> records;
    for (Location *place : arrangedLocations())
        records << place;
    for (PersonAddress *address : arrangedAddresses())
        records << address;
    const std::shared_ptr<GeocoderRequestQueue> queue = m_requestQueue ? m_requestQueue() : nullptr;
    m_mapView->removeAllAnnotations();
    m_mapView->addAnnotations(m_shared.loadAllAnnotations(records, queue.get()));
}

void MacMapViewController::addRecordPin(ManagedObject *record)
{
    bool valid = false;
    if (auto *address = dynamic_cast<PersonAddress *>(record))
        valid = address->isValidCoordinate();
    else if (auto *place = dynamic_cast<Location *>(record))
        valid = place->isValidCoordinate();
    if (!valid || !m_mapView)
        return;
    // Spread over the addresses on show, so a new pin at a taken spot does not hide the other.
    QList<ManagedObject *> all;
    for (PersonAddress *a : arrangedAddresses())
        all << a;
    if (!all.contains(record))
        all << record;
    const QHash<const ManagedObject *, GeoCoordinate> spread = MapViewShared::spreadPositions(all);
    for (auto it = spread.begin(); it != spread.end(); ++it) {
        const QString key = MapViewShared::annotationKey(it.key());
        if (it.key() != record && m_mapView->hasAnnotation(key))
            m_mapView->addAnnotation(m_shared.annotationFor(it.key(), it.value()));
    }
    m_mapView->addAnnotation(m_shared.annotationFor(record, spread.value(record, storedPosition(record))));
}

void MacMapViewController::addPersonAddressObjectToMap(ManagedObject *record)
{
    if (!record || !passesFilters(record))
        return;
    QString key;
    if (auto *address = dynamic_cast<PersonAddress *>(record)) {
        if (m_current)
            address->calculateDistanceForAddressWithLocation(*m_current, m_listSetup.usesMetric());
        else
            address->setDistance(-1);
        key = m_listSetup.bucketForPersonAddress(address);
    } else if (auto *place = dynamic_cast<Location *>(record)) {
        if (m_current && (std::fabs(place->latitude()) >= Location::NoPositionThreshold ||
                          std::fabs(place->longitude()) >= Location::NoPositionThreshold))
            place->calculateDistanceForAddressWithLocation(*m_current, false);
        else
            place->setDistance(-1);
        key = m_listSetup.bucketForLocation(place);
    } else {
        return;
    }
    addRecordPin(record);
    auto group = std::find_if(m_groups.begin(), m_groups.end(), [&](const Group &g) { return g.key == key; });
    if (group != m_groups.end()) {
        const double d = distanceOf(record);
        const auto at = std::lower_bound(group->rows.begin(), group->rows.end(), d,
                                         [](ManagedObject *row, double value) { return distanceOf(row) < value; });
        group->rows.insert(at, record);
    } else {
        m_groups << Group{key, {record}};
        std::sort(m_groups.begin(), m_groups.end(),
                  [](const Group &a, const Group &b) { return a.key.toLongLong() < b.key.toLongLong(); });
    }
    reloadOutline();
}

void MacMapViewController::deletePersonAddressObjectFromMap(ManagedObject *record)
{
    for (Group &group : m_groups) {
        if (group.rows.removeOne(record)) {
            if (m_mapView)
                m_mapView->removeAnnotation(MapViewShared::annotationKey(record));
            // The emptied group stays until the list is built again.
            reloadOutline();
            return;
        }
    }
}

void MacMapViewController::updatePersonAddressObject(ManagedObject *record)
{
    for (int i = 0; i < m_groups.size();) {
        const bool found = m_groups[i].rows.removeOne(record);
        if (found && m_mapView)
            m_mapView->removeAnnotation(MapViewShared::annotationKey(record));
        if (m_groups[i].rows.isEmpty())
            m_groups.removeAt(i);
        else
            ++i;
        if (found)
            break;
    }
    addPersonAddressObjectToMap(record);
    reloadOutline();
}

void MacMapViewController::personAddressUpdated(const Notification &notification)
{
    auto *posted = static_cast<PersonAddress *>(const_cast<void *>(notification.object));
    const ContextPtr context = managedObjectContext();
    if (!posted || !context)
        return;
    PersonAddress *address = posted;
    if (posted->managedObjectContext() != context.get())
        address = dynamic_cast<PersonAddress *>(context->existingObjectWithID(posted->objectID()));
    if (!address)
        return;
    const QString key = notification.userInfo.value(QStringLiteral("Key")).toString();
    if (key == QLatin1String("insertedObjects"))
        addPersonAddressObjectToMap(address);
    else if (key == QLatin1String("deletedObjects"))
        deletePersonAddressObjectFromMap(address);
    else if (key == QLatin1String("updatedObjects") && address->temporaryState() != 4)
        updatePersonAddressObject(address);
}

void MacMapViewController::locationUpdated(const Notification &notification)
{
    auto *posted = static_cast<Location *>(const_cast<void *>(notification.object));
    const ContextPtr context = managedObjectContext();
    if (!posted || !context)
        return;
    Location *place = posted;
    if (posted->managedObjectContext() != context.get())
        place = dynamic_cast<Location *>(context->existingObjectWithID(posted->objectID()));
    if (!place)
        return;
    const QString key = notification.userInfo.value(QStringLiteral("Key")).toString();
    if (key == QLatin1String("insertedObjects"))
        addPersonAddressObjectToMap(place);
    else if (key == QLatin1String("deletedObjects"))
        deletePersonAddressObjectFromMap(place);
    else if (key == QLatin1String("updatedObjects"))
        updatePersonAddressObject(place);
}

// ---- Selection ----

ManagedObject *MacMapViewController::recordForKey(const QString &key) const
{
    for (const Group &group : m_groups) {
        for (ManagedObject *record : group.rows) {
            if (MapViewShared::annotationKey(record) == key)
                return record;
        }
    }
    return nullptr;
}

ManagedObject *MacMapViewController::selectedRecord() const
{
    if (!m_outline)
        return nullptr;
    const QModelIndex index = m_outline->currentIndex();
    if (!index.isValid() || !index.parent().isValid())
        return nullptr;
    return reinterpret_cast<ManagedObject *>(index.data(RecordRole).value<quintptr>());
}

void MacMapViewController::selectRecordInList(ManagedObject *record)
{
    if (!m_model || !record)
        return;
    for (int g = 0; g < m_model->rowCount(); ++g) {
        QStandardItem *group = m_model->item(g);
        for (int r = 0; r < group->rowCount(); ++r) {
            if (reinterpret_cast<ManagedObject *>(group->child(r)->data(RecordRole).value<quintptr>()) == record) {
                m_outline->setCurrentIndex(group->child(r)->index());
                m_outline->scrollTo(group->child(r)->index());
                return;
            }
        }
    }
}

void MacMapViewController::selectPersonAddressInList(PersonAddress *address)
{
    if (!m_loadedMapFirstTime) {
        m_addressSelectedFromInfo = address;
        return;
    }
    selectRecordInList(address);
    selectedLocationItem();
}

void MacMapViewController::selectedLocationItem()
{
    ManagedObject *record = selectedRecord();
    if (!record || !m_mapView)
        return;
    if (auto *address = dynamic_cast<PersonAddress *>(record)) {
        if (address->geocodeStatus() != 1 || !address->isValidCoordinate())
            return;
    }
    const platform::maps::MapRegion present = m_mapView->region();
    platform::maps::MapRegion region{{}, 0.15, 0.15};
    if (present.longitudeDelta < 5)
        region = present;
    const GeoCoordinate c = storedPosition(record);
    region.center = {c.latitude, c.longitude};
    m_mapView->selectAnnotation(MapViewShared::annotationKey(record), true);
    m_mapView->setRegion(region, true);
}

void MacMapViewController::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Space) {
        selectedLocationItem();
        return;
    }
    MainWindowManagerViewController::keyPressEvent(event);
}

// ---- Callout menu ----

void MacMapViewController::calloutInfo(const QString &key)
{
    ManagedObject *record = recordForKey(key);
    if (!record)
        return;
    auto *menu = new QMenu(this);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    const GeoCoordinate c = storedPosition(record);
    const auto directions = [c] {
        const QUrl url(QStringLiteral("geo:%1,%2").arg(c.latitude, 0, 'f', 6).arg(c.longitude, 0, 'f', 6));
        if (!QDesktopServices::openUrl(url))
            QDAlertDisplayMac::sharedAlert()->showAlertWithTitle(QStringLiteral("Error"),
                                                                 QStringLiteral("Maps not available"));
    };
    if (auto *place = dynamic_cast<Location *>(record)) {
        // The Logs and ToDos sections that would show them are not part of this window yet.
        if (!place->logFromLocation().isEmpty())
            menu->addAction(QStringLiteral("View Logs"))->setEnabled(false);
        const QList<ToDo *> todos = place->todoFromLocation();
        if (std::any_of(todos.begin(), todos.end(), [](const ToDo *t) { return t->todoStatus() == 0; }))
            menu->addAction(QStringLiteral("View ToDos"))->setEnabled(false);
        menu->addAction(QStringLiteral("Directions to Contact"), this, directions);
    } else if (auto *address = dynamic_cast<PersonAddress *>(record)) {
        QMenu *colours = menu->addMenu(QStringLiteral("Change Pin Color"));
        const ContextPtr context = managedObjectContext();
        Person *person = address->person();
        for (FormFieldsList *item : FormFields::fetchFormFieldListForPinColorWithMOC(context.get())) {
            colours->addAction(item->title(), this, [this, person, item] {
                if (person && person->updateWithPinColorListItem(item))
                    loadAllAnnotationsOnMap();
            });
        }
        colours->setEnabled(!colours->isEmpty() && person);
        menu->addAction(QStringLiteral("Directions to Contact"), this, directions);
        QAction *page = menu->addAction(QStringLiteral("Show Contact Page"), this, [this, person] {
            if (m_showContactPage && person)
                m_showContactPage(person);
        });
        page->setEnabled(bool(m_showContactPage));
    }
    QWidget *button = m_mapView->calloutInfoButton();
    menu->popup(button->mapToGlobal(QPoint(0, button->height())));
}

// ---- Search, group, restore ----

void MacMapViewController::searchResultsWithString(const QString &text)
{
    m_searchText = text;
    if (isViewLoaded())
        setupSidebarDictionaryWithLoadMapPins(false);
}

void MacMapViewController::setGroupMembers(std::optional<QSet<const Person *>> members)
{
    m_groupMembers = std::move(members);
    if (!isViewLoaded())
        return;
    if (m_mapView)
        m_mapView->removeAllAnnotations();
    setupSidebarDictionaryWithLoadMapPins(true);
}

void MacMapViewController::groupChangedNotification(const Notification &notification)
{
    const QVariantMap &info = notification.userInfo;
    if (info.isEmpty()) {
        setGroupMembers(std::nullopt);
        return;
    }
    QList<Person *> people;
    if (info.contains(QStringLiteral("GroupChangePrivate"))) {
        auto *group = dynamic_cast<PrivateGroups *>(info.value(QStringLiteral("GroupChangePrivate")).value<ManagedObject *>());
        if (group)
            people = group->members();
    } else if (info.contains(QStringLiteral("GroupChangePublic"))) {
        people = personsListForPublicGroup(info.value(QStringLiteral("GroupChangePublic")).toStringList());
    } else {
        return;
    }
    QSet<const Person *> members;
    for (const Person *person : people)
        members.insert(person);
    setGroupMembers(members);
}

void MacMapViewController::prepareForDBRestore(const Notification &)
{
    if (m_mapView)
        m_mapView->removeAllAnnotations();
    setSearchPredicate(std::nullopt);
    m_addressSelectedFromInfo = nullptr;
    setManagedObjectContext(nullptr);
    if (isViewLoaded())
        setupSidebarDictionaryWithLoadMapPins(false);
}

void MacMapViewController::databaseRestoredNotification(const Notification &notification)
{
    auto *context = static_cast<platform::store::ManagedObjectContext *>(const_cast<void *>(notification.object));
    if (context)
        setManagedObjectContext(context->shared_from_this());
    if (isViewLoaded())
        setupSidebarDictionaryWithLoadMapPins(true);
}

// ---- Location and status bar ----

void MacMapViewController::authorizationChanged(int status)
{
    if (status == platform::maps::UserLocationProvider::Denied) {
        m_loadedMapFirstTime = true;
    } else if (status == platform::maps::UserLocationProvider::Authorized) {
        setBar(QStringLiteral("Determining Location"), true);
        m_mapView->setShowsUserLocation(true);
        showBottomBar();
    }
}

void MacMapViewController::userLocationFailed()
{
    setBar(QStringLiteral("Unable to determine Current Location"), false);
    showBottomBar();
}

void MacMapViewController::userLocationUpdated(double latitude, double longitude)
{
    const GeoCoordinate location{latitude, longitude};
    if (!std::isfinite(latitude) || !std::isfinite(longitude) || std::fabs(latitude) > 90 || std::fabs(longitude) > 180)
        return;
    if (m_current && geodesicDistance(*m_current, location) <= 100)
        return;
    m_current = location;
    m_shared.setCurrent(location);
    if (m_mapView)
        m_mapView->setUserLocation({latitude, longitude});
    if (!m_loadedMapFirstTime) {
        m_loadedMapFirstTime = true;
        const bool waiting = m_addressSelectedFromInfo != nullptr;
        setupSidebarDictionaryWithLoadMapPins(false);
        if (m_geocodeStackAreEmptyMessage.load())
            hideBottomBar();
        if (waiting)
            return;
    }
    zoomCurrentLocation();
}

void MacMapViewController::zoomCurrentLocation()
{
    if (m_current && m_mapView)
        m_mapView->setRegion({{m_current->latitude, m_current->longitude}, 0.15, 0.15}, true);
}

void MacMapViewController::setBar(const QString &text, bool spinning)
{
    if (!m_barMessageLabel)
        return;
    m_barMessageLabel->setText(text);
    m_barSpinner->setRange(0, spinning ? 0 : 1);
}

void MacMapViewController::showBottomBar()
{
    if (!m_barView || m_barShown)
        return;
    m_barShown = true;
    m_barView->setFixedHeight(BarHeight);
}

void MacMapViewController::hideBottomBar()
{
    if (!m_barView || !m_barShown)
        return;
    m_barShown = false;
    setBar(QString(), false);
    m_barView->setFixedHeight(0);
}

void MacMapViewController::geocodeSendingRequest()
{
    QMetaObject::invokeMethod(
        this,
        [this] {
            showBottomBar();
            setBar(QStringLiteral("Processing Address Results"), true);
        },
        Qt::QueuedConnection);
}

void MacMapViewController::geocoderReceivedResponseWithStackStatus(bool idle)
{
    m_geocodeStackAreEmptyMessage = idle;
    QMetaObject::invokeMethod(
        this,
        [this, idle] {
            if (idle && m_loadedMapFirstTime)
                hideBottomBar();
        },
        Qt::QueuedConnection);
}

// ---- Print ----

std::pair<QImage, QString> MacMapViewController::printableMap() const
{
    QList<ManagedObject *> visible;
    for (const platform::maps::MapAnnotation &pin : m_mapView->visibleAnnotations()) {
        if (ManagedObject *record = recordForKey(pin.key))
            visible << record;
    }
    const QString text = m_shared.printableText(m_shared.printEntries(visible), QDateTime::currentDateTimeUtc(), QLocale());
    return {m_mapView->snapshot(), text};
}

void MacMapViewController::printMapView()
{
    if (!m_mapView)
        return;
    const auto [image, text] = printableMap();
    auto *printer = new QPrinter(QPrinter::HighResolution);
    printer->setDocName(QStringLiteral("Quendel - Map Printout"));
    auto *dialog = new QPrintDialog(printer, this);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setWindowTitle(QStringLiteral("Print Map"));
    connect(dialog, &QDialog::finished, this, [printer, image = image, text = text](int result) {
        if (result == QDialog::Accepted) {
            QTextDocument document;
            document.addResource(QTextDocument::ImageResource, QUrl(QStringLiteral("map://snapshot")), image);
            document.setHtml(QStringLiteral("<img src=\"map://snapshot\" width=\"%1\"><br><br>")
                                 .arg(std::min(image.width(), 640)) + text);
            document.print(printer);
        }
        delete printer;
    });
    dialog->open();
}
