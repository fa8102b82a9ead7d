#pragma once

#include "Classes/Reports/ReportingController.h"
#include "Mac/Journal/SelectContactsViewControllerMac.h"

#include <QWidget>

#include <functional>
#include <memory>

class QCheckBox;
class QComboBox;
class QDateEdit;
class QLabel;
class QProgressBar;
class QPushButton;
class QRadioButton;

namespace platform::store {
class ManagedObjectContext;
}

// The report export pane: what to export, for which contacts and dates, in which order, and as which
// output. It copies the choices into its report before every export and writes a CSV or PDF file into the
// user's Documents folder.
class ReportExportPane : public QWidget, public SelectContactPopoverDelegate
{
    Q_OBJECT
public:
    static inline const QString SplitColumnsDefaultsKey = QStringLiteral("defaults_reporting_split_columns");
    static constexpr double PrintWidth = 700.0;

    explicit ReportExportPane(platform::store::ManagedObjectContext *context, QWidget *parent = nullptr);

    // The group shown in the main window: its title and the contacts its list shows at the moment.
    void setGroupProvider(std::function<QString()> title, std::function<QList<Person *>()> contacts);

    ReportingController &reportingPreferences() { return m_report; }

    // "<base>_<short date and time without punctuation or spaces>.<extension>".
    static QString createReportFileName(const QString &base, const QString &extension, const QDateTime &now);
    // Lays the HTML out at the print width and writes it as a PDF with margins of 50 points left, right
    // and top and none at the bottom; false with `errorText` when the file cannot be written.
    static bool writePDF(const QString &html, const QString &path, QString *errorText = nullptr);

    // The contacts picked for a report of "Selected Contacts".
    const QList<platform::store::ManagedObjectID> &selectedContactsForReport() const { return m_selectedContactsForReport; }
    void finishedSelectPopoverController(SelectContactsViewControllerMac *picker,
                                         const QList<platform::store::ManagedObjectID> &selectedContactIDs,
                                         bool changesMade) override;

signals:
    // An export finished: the file written, or null when it failed.
    void exportFinished(const QString &path);

private:
    void reportTypeSegmentSwitched();
    void updateSplitColumnsBox();
    void reportSelectDatePopoverPressed();
    void reportSelectContactsPressed();
    void reportSelectContactsButtonPressed();
    void updateSelectedContactsTitle();
    void dateRangeSelected();
    void configureReportingParameters();
    void reportExportButtonPressed();
    void finishExport(const QString &path, const QString &failure);

    ReportingController m_report;
    std::function<QString()> m_groupTitle;
    std::function<QList<Person *>()> m_groupContacts;

    QComboBox *m_exportTypeSegment = nullptr;
    QComboBox *m_exportFormatButton = nullptr;
    QComboBox *m_exportSelectContacts = nullptr;
    QPushButton *m_exportContactsSelectionButton = nullptr;
    QList<platform::store::ManagedObjectID> m_selectedContactsForReport;
    platform::store::ManagedObjectContext *m_context = nullptr;
    QComboBox *m_exportSelectDates = nullptr;
    QDateEdit *m_fromDate = nullptr;
    QDateEdit *m_toDate = nullptr;
    QComboBox *m_exportSortOrder = nullptr;
    QRadioButton *m_ascending = nullptr;
    QRadioButton *m_descending = nullptr;
    QCheckBox *m_splitColumnsCheckbox = nullptr;
    QProgressBar *m_exportProgressIndicator = nullptr;
    QPushButton *m_exportButton = nullptr;
};
