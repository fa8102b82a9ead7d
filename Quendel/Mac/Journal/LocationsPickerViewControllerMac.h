#pragma once

#include "Mac/Journal/TitlesPickerViewControllerMac.h"

class QLabel;
class QPushButton;

// What the editors receive from the locations picker.
class LocationPickerDelegate
{
public:
    virtual ~LocationPickerDelegate() = default;
    // A location, or null to remove the record's location.
    virtual void selectedLocationItem(Location *location) = 0;
    virtual void selectedAddNewLocation() = 0;
};

// The saved locations with their names and addresses, with buttons to add a new one and to remove the
// record's location.
class LocationsPickerViewControllerMac : public TitlesPickerViewControllerMac
{
    Q_OBJECT
public:
    LocationsPickerViewControllerMac(platform::store::ContextPtr context, Location *selectedLocation,
                                     QWidget *parent = nullptr);
    ~LocationsPickerViewControllerMac() override;

    Location *locationObject() const { return m_locationObject; }
    QLabel *emptyLabel() const { return m_emptyLabel; }
    QPushButton *removeButton() const { return m_removeButton; }
    QPushButton *newLocationButton() const { return m_newLocationButton; }

    LocationPickerDelegate *locationDelegate() const { return m_locationDelegate; }
    void setLocationDelegate(LocationPickerDelegate *delegate) { m_locationDelegate = delegate; }

    // The two lines a row shows: the name (or "<no name>") and the address.
    QString nameTextForRow(int row) const;
    QString addressTextForRow(int row) const;

    void singleAction(int row) override;
    void enterKeyWasPressed() override;
    void removeButtonPressed();
    void newLocationButtonClicked();

protected:
    void fillRow(int row) override;

private:
    Location *m_locationObject = nullptr;
    LocationPickerDelegate *m_locationDelegate = nullptr;
    QLabel *m_emptyLabel = nullptr;
    QPushButton *m_removeButton = nullptr;
    QPushButton *m_newLocationButton = nullptr;
    bool m_locationPickerLoaded = false;
};
