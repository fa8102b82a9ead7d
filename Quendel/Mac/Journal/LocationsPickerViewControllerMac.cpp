#include "Mac/Journal/LocationsPickerViewControllerMac.h"

#include "Mac/Shell/CustomNSTableView.h"
#include "Mac/Shell/PlainTextLabel.h"

#include "QuendelKit/Entities/Location.h"

#include "platform/core/Dispatch.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QStandardItemModel>
#include <QVBoxLayout>

LocationsPickerViewControllerMac::LocationsPickerViewControllerMac(platform::store::ContextPtr context,
                                                                   Location *selectedLocation, QWidget *parent)
    : TitlesPickerViewControllerMac(Location::EntityName, std::move(context), nullptr, parent),
      m_locationObject(selectedLocation)
{
    setObjectName(QStringLiteral("LocationsPickerViewMac"));
    newTitleField()->hide();
    m_emptyLabel = new PlainTextLabel(QStringLiteral("No saved locations"), footer());
    m_emptyLabel->setObjectName(QStringLiteral("emptyLabel"));
    m_newLocationButton = new QPushButton(QStringLiteral("New Location"), footer());
    m_newLocationButton->setObjectName(QStringLiteral("newLocationButton"));
    m_newLocationButton->setAccessibleName(QStringLiteral("New Location"));
    m_removeButton = new QPushButton(QStringLiteral("Remove Location"), footer());
    m_removeButton->setObjectName(QStringLiteral("removeButton"));
    m_removeButton->setAccessibleName(QStringLiteral("Remove Location"));
    m_removeButton->hide();
    auto *buttons = new QHBoxLayout;
    buttons->addWidget(m_newLocationButton);
    buttons->addStretch(1);
    buttons->addWidget(m_removeButton);
    auto *footerLayout = static_cast<QVBoxLayout *>(footer()->layout());
    footerLayout->addWidget(m_emptyLabel);
    footerLayout->addLayout(buttons);
    connect(m_newLocationButton, &QPushButton::clicked, this, [this] { newLocationButtonClicked(); });
    connect(m_removeButton, &QPushButton::clicked, this, [this] { removeButtonPressed(); });

    // The rows were filled by the base's set-up before this class took over; fill them again as locations.
    for (int row = 0; row < arrangedObjects().size(); ++row)
        fillRow(row);
    if (!m_locationPickerLoaded) {
        m_locationPickerLoaded = true;
        m_emptyLabel->setVisible(arrangedObjects().isEmpty());
        if (m_locationObject) {
            m_removeButton->show();
            const qsizetype row = arrangedObjects().indexOf(m_locationObject);
            QPointer<LocationsPickerViewControllerMac> self(this);
            platform::core::dispatchAsyncMain([self, row] {
                if (self && row >= 0)
                    self->selectRow(int(row));
            });
        }
    }
}

LocationsPickerViewControllerMac::~LocationsPickerViewControllerMac() = default;

QString LocationsPickerViewControllerMac::nameTextForRow(int row) const
{
    QString name;
    context()->performAndWait([&] { name = static_cast<Location *>(arrangedObjects().at(row))->locationName(); });
    return name.isEmpty() ? QStringLiteral("<no name>") : name;
}

QString LocationsPickerViewControllerMac::addressTextForRow(int row) const
{
    QString address;
    context()->performAndWait([&] { address = static_cast<Location *>(arrangedObjects().at(row))->locationAddress(); });
    return address.isEmpty() ? QString::fromLatin1("") : address;
}

void LocationsPickerViewControllerMac::fillRow(int row)
{
    if (row < 0 || row >= arrangedObjects().size())
        return;
    const QString name = nameTextForRow(row);
    const QString address = addressTextForRow(row);
    auto *item = new QStandardItem(address.isEmpty() ? name : name + QLatin1Char('\n') + address);
    item->setEditable(false);
    tableModel()->setItem(row, 0, item);
}

void LocationsPickerViewControllerMac::singleAction(int row)
{
    if (row < 0 || row >= arrangedObjects().size()) {
        sourceTableView()->clearSelection();
        return;
    }
    if (m_locationDelegate)
        m_locationDelegate->selectedLocationItem(static_cast<Location *>(arrangedObjects().at(row)));
}

void LocationsPickerViewControllerMac::enterKeyWasPressed()
{
    const int row = selectedRow();
    if (row >= 0 && row < arrangedObjects().size() && m_locationDelegate)
        m_locationDelegate->selectedLocationItem(static_cast<Location *>(arrangedObjects().at(row)));
}

void LocationsPickerViewControllerMac::removeButtonPressed()
{
    if (m_locationDelegate)
        m_locationDelegate->selectedLocationItem(nullptr);
}

void LocationsPickerViewControllerMac::newLocationButtonClicked()
{
    if (m_locationDelegate)
        m_locationDelegate->selectedAddNewLocation();
}
