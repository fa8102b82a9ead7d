#pragma once

#include "Mac/Shell/CustomNSOutlineView.h"

#include <QComboBox>
#include <QLineEdit>
#include <QPointer>
#include <QWidget>

class PersonAddress;
class QToolButton;

// The cell of an Info row being edited: a phone, e-mail or web address ("DataEditingCell": the label
// pop-up and the value field), or a postal address ("AddressEditingCell": the label pop-up and the street,
// city, state, postal-code and country fields, captioned for the address's country).
class ContactInfoTableCellViewMac : public QWidget, public TextFieldsMouseDownReceiver
{
    Q_OBJECT
public:
    static constexpr int LabelFieldTag = 1;
    static constexpr int ValueFieldTag = 2;

    ContactInfoTableCellViewMac(const QString &identifier, QWidget *parent = nullptr);

    QComboBox *popupTitleButton() const { return m_popup; }
    QLineEdit *valueField() const { return m_value; }
    QLineEdit *addressStreetField() const { return m_street; }
    QLineEdit *addressCityField() const { return m_city; }
    QLineEdit *addressStateField() const { return m_state; }
    QLineEdit *addressZipField() const { return m_zip; }
    QLineEdit *addressCountryField() const { return m_country; }
    // The button beside the country field that opens the country list.
    QToolButton *countryFieldButton() const { return m_countryButton; }

    // Fills the five fields from the address ("" for a field without a value); placeholders stay.
    void formatAddressFieldsWithAddress(PersonAddress *address);
    // An empty address: the user's own country proposed, the placeholders of its country.
    void formatAddressFieldsForEmptyCell();
    void updateTextFieldsForCountry(const QString &countryName);
    QLineEdit *textFieldForPlaceholder(const QString &placeholder) const;
    QLineEdit *nextTextFieldWithCurrentField(const QLineEdit *field) const;
    // "street", "city", "state", "zip" or "country"; null for any other field.
    QString personAddressKeyForTextField(const QLineEdit *field) const;
    QList<QLineEdit *> addressFields() const;

    void mouseDownForTextFields(QMouseEvent *event) override;

private:
    QComboBox *m_popup = nullptr;
    QLineEdit *m_value = nullptr;
    QLineEdit *m_street = nullptr;
    QLineEdit *m_city = nullptr;
    QLineEdit *m_state = nullptr;
    QLineEdit *m_zip = nullptr;
    QLineEdit *m_country = nullptr;
    QToolButton *m_countryButton = nullptr;
};
