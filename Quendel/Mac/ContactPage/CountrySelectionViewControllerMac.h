#pragma once

#include <QPointer>
#include <QStringList>
#include <QWidget>

class QLineEdit;
class QListWidget;
class QListWidgetItem;

// The receiver of the country chosen in the picker.
class CountrySelectionDelegate
{
public:
    virtual ~CountrySelectionDelegate() = default;
    virtual void changedCountryWithNewCountry(const QString &country) = 0;
};

// The content of the country popover of an address row: every country name in one list, the address's
// country selected, and a search field above that narrows the list as the user types. A click, a double
// click, or Return or Enter hands the chosen name to the delegate.
class CountrySelectionViewControllerMac : public QWidget
{
    Q_OBJECT
public:
    static inline const QString NibName = QStringLiteral("CountrySelectionViewControllerMac");

    explicit CountrySelectionViewControllerMac(const QString &currentCountry, QWidget *parent = nullptr);

    CountrySelectionDelegate *delegate() const { return m_delegate; }
    void setDelegate(CountrySelectionDelegate *delegate) { m_delegate = delegate; }

    QString currentCountry() const { return m_currentCountry; }
    const QStringList &allCountriesList() const { return m_allCountriesList; }
    QListWidget *sourceTableView() const { return m_list; }
    QLineEdit *searchField() const { return m_search; }

    // The names the list shows for a search text: all of them for an empty text, otherwise those holding
    // the text, ignoring case and accents, in list order.
    static QStringList countriesMatching(const QStringList &names, const QString &text);
    QStringList shownCountries() const;
    // The shown name of the selected row (empty when none is selected).
    QString selectedCountry() const;

    void searchResultsWithString(const QString &text);
    // Hands the name of a row over (nothing for no row).
    void singleClickAction(QListWidgetItem *item);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    void selectCurrentCountry();
    void handOver(const QString &name);

    QString m_currentCountry;
    QStringList m_allCountriesList;
    CountrySelectionDelegate *m_delegate = nullptr;
    QLineEdit *m_search = nullptr;
    QListWidget *m_list = nullptr;
};
