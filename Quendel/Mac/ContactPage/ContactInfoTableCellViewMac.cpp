#include "Mac/ContactPage/ContactInfoTableCellViewMac.h"

#include "Mac/ContactPage/QDAddressEditTextField.h"

#include "QuendelKit/Entities/PersonAddress.h"

#include "platform/store/ManagedObjectContext.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLocale>
#include <QMouseEvent>
#include <QToolButton>

namespace {
QLineEdit *makeField(QWidget *parent, const QString &name, bool addressPart = false)
{
    QLineEdit *field = addressPart ? new QDAddressEditTextField(parent) : new QLineEdit(parent);
    field->setObjectName(name);
    return field;
}
} // namespace

ContactInfoTableCellViewMac::ContactInfoTableCellViewMac(const QString &identifier, QWidget *parent) : QWidget(parent)
{
    setObjectName(identifier);
    m_popup = new QComboBox(this);
    m_popup->setObjectName(QStringLiteral("popupTitleButton"));
    if (identifier == QLatin1String("AddressEditingCell")) {
        auto *layout = new QGridLayout(this);
        layout->setContentsMargins(4, 2, 4, 2);
        m_street = makeField(this, QStringLiteral("addressStreetField"), true);
        m_city = makeField(this, QStringLiteral("addressCityField"), true);
        m_state = makeField(this, QStringLiteral("addressStateField"), true);
        m_zip = makeField(this, QStringLiteral("addressZipField"), true);
        m_country = makeField(this, QStringLiteral("addressCountryField"), true);
        layout->addWidget(m_popup, 0, 0);
        layout->addWidget(m_street, 0, 1, 1, 2);
        layout->addWidget(m_city, 1, 1);
        layout->addWidget(m_state, 1, 2);
        layout->addWidget(m_zip, 2, 1);
        // The country is chosen from the list of countries in a popover; the field shows the choice.
        m_countryButton = new QToolButton(this);
        m_countryButton->setObjectName(QStringLiteral("countryFieldButton"));
        m_countryButton->setText(QStringLiteral("\u25BE"));
        m_countryButton->setToolTip(QStringLiteral("Choose the country"));
        auto *countryBox = new QHBoxLayout;
        countryBox->setContentsMargins(0, 0, 0, 0);
        countryBox->setSpacing(2);
        countryBox->addWidget(m_country, 1);
        countryBox->addWidget(m_countryButton);
        layout->addLayout(countryBox, 2, 2);
        layout->setColumnStretch(1, 1);
        layout->setColumnStretch(2, 1);
    } else {
        auto *layout = new QHBoxLayout(this);
        layout->setContentsMargins(4, 0, 4, 0);
        m_value = makeField(this, QStringLiteral("valueField"));
        m_value->setProperty("tag", ValueFieldTag);
        layout->addWidget(m_popup);
        layout->addWidget(m_value, 1);
    }
}

QList<QLineEdit *> ContactInfoTableCellViewMac::addressFields() const
{
    if (!m_street)
        return {};
    return {m_street, m_city, m_state, m_zip, m_country};
}

void ContactInfoTableCellViewMac::formatAddressFieldsWithAddress(PersonAddress *address)
{
    if (!m_street || !address)
        return;
    const auto fill = [&] {
        m_street->setText(address->street());
        m_city->setText(address->city());
        m_state->setText(address->state());
        m_zip->setText(address->zip());
        m_country->setText(address->country());
    };
    if (address->managedObjectContext())
        address->managedObjectContext()->performAndWait(fill);
    else
        fill();
}

void ContactInfoTableCellViewMac::formatAddressFieldsForEmptyCell()
{
    if (!m_street)
        return;
    for (QLineEdit *field : {m_street, m_city, m_state, m_zip})
        field->clear();
    const QString ownCode = QLocale::territoryToCode(QLocale().territory());
    const QString name = PersonAddress::countryNameForCode(ownCode);
    m_country->setText(name);
    updateTextFieldsForCountry(name);
}

void ContactInfoTableCellViewMac::updateTextFieldsForCountry(const QString &countryName)
{
    if (!m_street)
        return;
    const QStringList format =
        PersonAddress::addressFormatForCountryCode(PersonAddress::countryCodeFromCountryName(countryName));
    m_street->setPlaceholderText(format.value(0));
    m_city->setPlaceholderText(format.value(1));
    m_state->setPlaceholderText(format.value(2));
    m_zip->setPlaceholderText(format.value(3));
}

QLineEdit *ContactInfoTableCellViewMac::textFieldForPlaceholder(const QString &placeholder) const
{
    if (!m_street)
        return nullptr;
    const QStringList format =
        PersonAddress::addressFormatForCountryCode(PersonAddress::countryCodeFromCountryName(m_country->text()));
    const QList<QLineEdit *> fields = {m_street, m_city, m_state, m_zip};
    const int index = format.indexOf(placeholder);
    return index >= 0 && index < fields.size() ? fields[index] : nullptr;
}

QLineEdit *ContactInfoTableCellViewMac::nextTextFieldWithCurrentField(const QLineEdit *field) const
{
    if (!m_street || !field)
        return nullptr;
    if (field == m_street)
        return m_city;
    if (field == m_city)
        return m_state;
    if (field == m_state)
        return m_zip;
    if (field == m_zip)
        return m_country;
    return nullptr;
}

QString ContactInfoTableCellViewMac::personAddressKeyForTextField(const QLineEdit *field) const
{
    if (!field || !m_street)
        return QString();
    if (field == m_street)
        return QStringLiteral("street");
    if (field == m_city)
        return QStringLiteral("city");
    if (field == m_state)
        return QStringLiteral("state");
    if (field == m_zip)
        return QStringLiteral("zip");
    if (field == m_country)
        return QStringLiteral("country");
    return QString();
}

void ContactInfoTableCellViewMac::mouseDownForTextFields(QMouseEvent *event)
{
    if (event->modifiers() & (Qt::ControlModifier | Qt::ShiftModifier))
        return;
    const QPoint point = mapFromGlobal(event->globalPosition().toPoint());
    for (QLineEdit *field : findChildren<QLineEdit *>()) {
        if (field->isReadOnly())
            field->setReadOnly(false);
        if (field->geometry().contains(point) && !field->hasFocus())
            field->setFocus(Qt::MouseFocusReason);
    }
}
