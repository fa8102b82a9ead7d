#include "Mac/ContactPage/CountrySelectionViewControllerMac.h"

#include "QuendelKit/Entities/PersonAddress.h"
#include "QuendelKit/Infra/NormalizedStringTransformer.h"

#include <QKeyEvent>
#include <QLineEdit>
#include <QListWidget>
#include <QVBoxLayout>

#include <algorithm>

CountrySelectionViewControllerMac::CountrySelectionViewControllerMac(const QString &currentCountry, QWidget *parent)
    : QWidget(parent), m_currentCountry(currentCountry)
{
    setObjectName(NibName);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(6, 6, 6, 6);
    m_search = new QLineEdit(this);
    m_search->setObjectName(QStringLiteral("searchField"));
    m_search->setAccessibleName(QStringLiteral("Search countries"));
    m_search->setPlaceholderText(QStringLiteral("Search"));
    m_search->setClearButtonEnabled(true);
    m_search->installEventFilter(this);
    layout->addWidget(m_search);
    m_list = new QListWidget(this);
    m_list->setObjectName(QStringLiteral("sourceTableView"));
    m_list->setAccessibleName(QStringLiteral("Countries"));
    m_list->setSelectionMode(QAbstractItemView::SingleSelection);
    m_list->installEventFilter(this);
    layout->addWidget(m_list, 1);
    resize(260, 320);

    m_allCountriesList = PersonAddress::sortedListOfCountryNames();
    m_list->addItems(m_allCountriesList);
    selectCurrentCountry();

    connect(m_search, &QLineEdit::textChanged, this, &CountrySelectionViewControllerMac::searchResultsWithString);
    connect(m_list, &QListWidget::itemClicked, this, &CountrySelectionViewControllerMac::singleClickAction);
    connect(m_list, &QListWidget::itemDoubleClicked, this, &CountrySelectionViewControllerMac::singleClickAction);
}

namespace {

// Lower case without accents, so that "cote" finds "Côte d'Ivoire".
QString folded(const QString &text)
{
    QString out;
    for (const QChar c : NormalizedStringTransformer::normalizeString(text)) {
        if (c.category() != QChar::Mark_NonSpacing)
            out.append(c);
    }
    return out;
}

} // namespace

QStringList CountrySelectionViewControllerMac::countriesMatching(const QStringList &names, const QString &text)
{
    const QString wanted = folded(text.trimmed());
    if (wanted.isEmpty())
        return names;
    QStringList found;
    for (const QString &name : names) {
        if (folded(name).contains(wanted))
            found << name;
    }
    return found;
}

QStringList CountrySelectionViewControllerMac::shownCountries() const
{
    QStringList names;
    for (int i = 0; i < m_list->count(); ++i)
        names << m_list->item(i)->text();
    return names;
}

QString CountrySelectionViewControllerMac::selectedCountry() const
{
    const QList<QListWidgetItem *> selected = m_list->selectedItems();
    return selected.isEmpty() ? QString() : selected.first()->text();
}

void CountrySelectionViewControllerMac::searchResultsWithString(const QString &text)
{
    const QString keep = selectedCountry();
    m_list->clear();
    const QStringList shown = countriesMatching(m_allCountriesList, text);
    m_list->addItems(shown);
    // The row chosen before stays chosen while it is still shown; otherwise the first match is offered.
    const int row = shown.indexOf(keep);
    if (row >= 0)
        m_list->setCurrentRow(row);
    else if (!text.trimmed().isEmpty() && !shown.isEmpty())
        m_list->setCurrentRow(0);
    if (m_list->currentItem())
        m_list->scrollToItem(m_list->currentItem());
    else
        m_list->scrollToTop();
}

void CountrySelectionViewControllerMac::selectCurrentCountry()
{
    const int row = m_currentCountry.isEmpty() ? -1 : m_allCountriesList.indexOf(m_currentCountry);
    if (row < 0) {
        m_list->setCurrentRow(-1, QItemSelectionModel::Clear);
        m_list->scrollToTop();
        return;
    }
    m_list->setCurrentRow(row);
    m_list->scrollToItem(m_list->item(row), QAbstractItemView::PositionAtCenter);
}

void CountrySelectionViewControllerMac::singleClickAction(QListWidgetItem *item)
{
    if (item)
        handOver(item->text());
}

void CountrySelectionViewControllerMac::handOver(const QString &name)
{
    // With no row there is nothing to hand over; the popover stays open.
    if (name.isEmpty() || !m_delegate)
        return;
    m_delegate->changedCountryWithNewCountry(name);
}

bool CountrySelectionViewControllerMac::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::KeyPress && (watched == m_list || watched == m_search)) {
        auto *key = static_cast<QKeyEvent *>(event);
        if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
            handOver(selectedCountry());
            return true;
        }
        if (watched == m_search && (key->key() == Qt::Key_Down || key->key() == Qt::Key_Up) && m_list->count() > 0) {
            // The arrows walk the list while the typing stays in the search field.
            const int row = m_list->currentRow() < 0 ? 0
                            : key->key() == Qt::Key_Down
                                ? std::min(m_list->currentRow() + 1, m_list->count() - 1)
                                : std::max(m_list->currentRow() - 1, 0);
            m_list->setCurrentRow(row);
            m_list->scrollToItem(m_list->item(row));
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void CountrySelectionViewControllerMac::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        handOver(selectedCountry());
        return;
    }
    QWidget::keyPressEvent(event);
}
