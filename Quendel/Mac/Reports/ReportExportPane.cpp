#include "Mac/Reports/ReportExportPane.h"

#include "Classes/EmailHandoff.h"

#include "QuendelKit/Entities/ExportText.h"
#include "QuendelKit/Infra/QDLog.h"

#include "platform/core/Clock.h"
#include "platform/core/UserDefaults.h"
#include "platform/store/ManagedObjectContext.h"
#include "platform/ui/AlertPresenter.h"
#include "platform/ui/Popover.h"

#include "QuendelKit/Entities/Person.h"

#include <QAbstractTextDocumentLayout>
#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLocale>
#include <QPainter>
#include <QPdfWriter>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QStandardItemModel>
#include <QStandardPaths>
#include <QTextDocument>
#include <QVBoxLayout>

namespace {

QString documentsFolder()
{
    QString folder = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    QDir().mkpath(folder);
    return folder;
}

} // namespace

ReportExportPane::ReportExportPane(platform::store::ManagedObjectContext *context, QWidget *parent)
    : QWidget(parent), m_report(context), m_context(context)
{
    setWindowTitle(QStringLiteral("Export Report"));
    setAccessibleName(QStringLiteral("Export Report"));

    m_exportTypeSegment = new QComboBox(this);
    m_exportTypeSegment->addItems({QStringLiteral("Logs"), QStringLiteral("ToDos"), QStringLiteral("Logs and ToDos"),
                                   QStringLiteral("Contacts")});
    m_exportTypeSegment->setAccessibleName(QStringLiteral("Export type"));

    m_exportFormatButton = new QComboBox(this);
    m_exportFormatButton->addItems({QStringLiteral("Email"), QStringLiteral("CSV"), QStringLiteral("Print")});
    m_exportFormatButton->setAccessibleName(QStringLiteral("Export format"));
    m_exportFormatButton->setCurrentIndex(1);

    m_exportSelectContacts = new QComboBox(this);
    m_exportSelectContacts->addItems(
        {QStringLiteral("All Contacts"), QStringLiteral("Current Group"), QStringLiteral("Selected Contacts")});
    m_exportSelectContacts->setAccessibleName(QStringLiteral("Export contacts"));
    m_exportContactsSelectionButton = new QPushButton(this);
    m_exportContactsSelectionButton->setObjectName(QStringLiteral("exportContactsSelectionButton"));
    m_exportContactsSelectionButton->setAccessibleName(QStringLiteral("Choose contacts"));
    m_exportContactsSelectionButton->hide();
    updateSelectedContactsTitle();

    m_exportSelectDates = new QComboBox(this);
    m_exportSelectDates->addItems({QStringLiteral("All Dates"), QStringLiteral("Date Range")});
    m_exportSelectDates->setAccessibleName(QStringLiteral("Export dates"));
    m_fromDate = new QDateEdit(this);
    m_fromDate->setCalendarPopup(true);
    m_fromDate->setAccessibleName(QStringLiteral("Report start date"));
    m_toDate = new QDateEdit(this);
    m_toDate->setCalendarPopup(true);
    m_toDate->setAccessibleName(QStringLiteral("Report end date"));
    m_fromDate->setDate(m_report.dateRangeFrom().toLocalTime().date());
    m_toDate->setDate(m_report.dateRangeTo().toLocalTime().date());
    auto *range = new QWidget(this);
    auto *rangeLayout = new QHBoxLayout(range);
    rangeLayout->setContentsMargins(0, 0, 0, 0);
    rangeLayout->addWidget(m_fromDate);
    rangeLayout->addWidget(new QLabel(QStringLiteral("to"), range));
    rangeLayout->addWidget(m_toDate);
    m_fromDate->setVisible(false);
    m_toDate->setVisible(false);

    m_exportSortOrder = new QComboBox(this);
    m_exportSortOrder->addItems({QStringLiteral("Date"), QStringLiteral("Contact Name")});
    m_exportSortOrder->setAccessibleName(QStringLiteral("Sort by"));
    m_ascending = new QRadioButton(QStringLiteral("Ascending"), this);
    m_ascending->setAccessibleName(QStringLiteral("Ascending"));
    m_descending = new QRadioButton(QStringLiteral("Descending"), this);
    m_descending->setAccessibleName(QStringLiteral("Descending"));
    m_ascending->setChecked(true);
    auto *direction = new QWidget(this);
    auto *directionLayout = new QHBoxLayout(direction);
    directionLayout->setContentsMargins(0, 0, 0, 0);
    directionLayout->addWidget(m_ascending);
    directionLayout->addWidget(m_descending);
    directionLayout->addStretch();

    m_splitColumnsCheckbox = new QCheckBox(QStringLiteral("Split columns for mailing lists"), this);
    m_splitColumnsCheckbox->setAccessibleName(QStringLiteral("Split columns"));
    m_splitColumnsCheckbox->setChecked(
        platform::core::UserDefaults::standardUserDefaults()->boolForKey(SplitColumnsDefaultsKey));

    m_exportProgressIndicator = new QProgressBar(this);
    m_exportProgressIndicator->setRange(0, 0);
    m_exportProgressIndicator->setAccessibleName(QStringLiteral("Export progress"));
    m_exportProgressIndicator->setVisible(false);
    m_exportButton = new QPushButton(QStringLiteral("Export"), this);
    m_exportButton->setAccessibleName(QStringLiteral("Export"));

    auto *form = new QFormLayout;
    form->addRow(QStringLiteral("Export:"), m_exportTypeSegment);
    form->addRow(QStringLiteral("Contacts:"), m_exportSelectContacts);
    form->addRow(QString(), m_exportContactsSelectionButton);
    form->addRow(QStringLiteral("Dates:"), m_exportSelectDates);
    form->addRow(QString(), range);
    form->addRow(QStringLiteral("Sort by:"), m_exportSortOrder);
    form->addRow(QString(), direction);
    form->addRow(QStringLiteral("Format:"), m_exportFormatButton);
    form->addRow(QString(), m_splitColumnsCheckbox);
    auto *buttons = new QHBoxLayout;
    buttons->addWidget(m_exportProgressIndicator);
    buttons->addStretch();
    buttons->addWidget(m_exportButton);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addStretch();
    layout->addLayout(buttons);

    connect(m_exportTypeSegment, &QComboBox::currentIndexChanged, this, [this] { reportTypeSegmentSwitched(); });
    connect(m_exportFormatButton, &QComboBox::currentIndexChanged, this, [this] { updateSplitColumnsBox(); });
    connect(m_exportSelectContacts, &QComboBox::currentIndexChanged, this, [this] { reportSelectContactsPressed(); });
    connect(m_exportContactsSelectionButton, &QPushButton::clicked, this,
            [this] { reportSelectContactsButtonPressed(); });
    connect(m_exportSelectDates, &QComboBox::currentIndexChanged, this, [this] { reportSelectDatePopoverPressed(); });
    connect(m_fromDate, &QDateEdit::dateChanged, this, [this] { dateRangeSelected(); });
    connect(m_toDate, &QDateEdit::dateChanged, this, [this] { dateRangeSelected(); });
    connect(m_splitColumnsCheckbox, &QCheckBox::toggled, this, [](bool on) {
        platform::core::UserDefaults::standardUserDefaults()->setBool(on, SplitColumnsDefaultsKey);
    });
    connect(m_exportButton, &QPushButton::clicked, this, [this] { reportExportButtonPressed(); });
    reportTypeSegmentSwitched();
}

void ReportExportPane::setGroupProvider(std::function<QString()> title, std::function<QList<Person *>()> contacts)
{
    m_groupTitle = std::move(title);
    m_groupContacts = std::move(contacts);
}

void ReportExportPane::reportSelectContactsPressed()
{
    QDLogInfo(QStringLiteral("Preferences: Contacts Selection changed - sender = %1, index = %2")
                  .arg(m_exportSelectContacts->accessibleName())
                  .arg(m_exportSelectContacts->currentIndex()));
    if (m_exportSelectContacts->currentIndex() == ReportingController::FilterSelected) {
        m_exportContactsSelectionButton->show();
        return;
    }
    m_selectedContactsForReport.clear();
    updateSelectedContactsTitle();
    m_exportContactsSelectionButton->hide();
}

void ReportExportPane::reportSelectContactsButtonPressed()
{
    QDLogInfo(QStringLiteral("Preferences: reportSelectContactsButtonPressed - show popover for contact selection"));
    if (!m_context)
        return;
    auto *picker = new SelectContactsViewControllerMac(m_context->shared_from_this(),
                                                       SelectContactsViewControllerMac::MultipleChoice);
    picker->setDelegate(this);
    picker->setSelectedIdentifiers(m_selectedContactsForReport);
    auto *popover = new platform::ui::Popover(this);
    popover->setBehavior(platform::ui::Popover::Behavior::Transient);
    popover->setAnimates(true);
    popover->setContentWidget(picker);
    connect(popover, &platform::ui::Popover::didClose, popover, &QObject::deleteLater);
    popover->showRelativeTo(QRect(), m_exportContactsSelectionButton, platform::ui::Popover::Edge::Bottom);
}

void ReportExportPane::finishedSelectPopoverController(SelectContactsViewControllerMac *,
                                                       const QList<platform::store::ManagedObjectID> &ids, bool)
{
    QDLogInfo(QStringLiteral("Preferences: contactIdentifiers count = %1").arg(ids.size()));
    m_selectedContactsForReport = ids;
    updateSelectedContactsTitle();
}

void ReportExportPane::updateSelectedContactsTitle()
{
    const qsizetype count = m_selectedContactsForReport.size();
    if (count == 0)
        m_exportContactsSelectionButton->setText(QStringLiteral("None"));
    else if (count == 1)
        m_exportContactsSelectionButton->setText(QStringLiteral("Selected 1 Contact"));
    else
        m_exportContactsSelectionButton->setText(QStringLiteral("Selected %1 Contacts").arg(count));
}

void ReportExportPane::reportTypeSegmentSwitched()
{
    const bool contacts = m_exportTypeSegment->currentIndex() == ReportingController::FormatContacts;
    m_exportSelectDates->setEnabled(!contacts);
    m_exportSortOrder->setEnabled(!contacts);
    updateSplitColumnsBox();
}

void ReportExportPane::updateSplitColumnsBox()
{
    m_splitColumnsCheckbox->setVisible(m_exportTypeSegment->currentIndex() == ReportingController::FormatContacts &&
                                       m_exportFormatButton->currentIndex() == 1);
}

void ReportExportPane::reportSelectDatePopoverPressed()
{
    const bool range = m_exportSelectDates->currentIndex() != 0;
    m_fromDate->setVisible(range);
    m_toDate->setVisible(range);
}

void ReportExportPane::dateRangeSelected()
{
    QDate from = m_fromDate->date();
    QDate to = m_toDate->date();
    // A range picked backwards still means the days between the two dates.
    if (to < from)
        std::swap(from, to);
    m_report.setDateRangeFrom(from.startOfDay().toUTC());
    m_report.setDateRangeTo(to.startOfDay().toUTC());
}

void ReportExportPane::configureReportingParameters()
{
    m_report.setFormatType(unsigned(m_exportTypeSegment->currentIndex()));
    m_report.setSelectContactGroupTitle(m_groupTitle ? m_groupTitle() : QString());
    const unsigned filter = unsigned(m_exportSelectContacts->currentIndex());
    m_report.setContactsFilterType(filter);
    if (filter == ReportingController::FilterGroup) {
        m_report.setSelectedContacts(m_groupContacts ? m_groupContacts() : QList<Person *>());
    } else if (filter == ReportingController::FilterSelected) {
        QList<Person *> people;
        for (const platform::store::ManagedObjectID &id : std::as_const(m_selectedContactsForReport))
            if (auto *person = m_context ? dynamic_cast<Person *>(m_context->existingObjectWithID(id)) : nullptr)
                people << person;
        m_report.setSelectedContacts(people);
    } else
        m_report.setSelectedContacts({});
    m_report.setDateFilter(m_exportSelectDates->currentIndex() != 0);
    m_report.setSortAttribute(m_exportSortOrder->currentIndex() != 0 ? ReportingController::SortByContactName
                                                                      : ReportingController::SortByDate);
    m_report.setSortAscending(m_ascending->isChecked());
    m_report.setMailingListFormat(m_splitColumnsCheckbox->isChecked());
}

QString ReportExportPane::createReportFileName(const QString &base, const QString &extension, const QDateTime &now)
{
    QString stamp;
    for (const QChar c : ExportText::shortDateShortTime(now)) {
        if (!c.isPunct() && !c.isSpace())
            stamp += c;
    }
    return QStringLiteral("%1_%2.%3").arg(base, stamp, extension);
}

bool ReportExportPane::writePDF(const QString &html, const QString &path, QString *errorText)
{
    QPdfWriter writer(path);
    writer.setResolution(72);
    writer.setTitle(QFileInfo(path).fileName());
    const bool letter = QLocale().territory() == QLocale::UnitedStates || QLocale().territory() == QLocale::Canada;
    writer.setPageSize(QPageSize(letter ? QPageSize::Letter : QPageSize::A4));
    writer.setPageMargins(QMarginsF(50.0, 50.0, 50.0, 0.0), QPageLayout::Point);

    QTextDocument document;
    document.setDocumentMargin(0);
    document.setHtml(html);
    document.setTextWidth(PrintWidth);
    const QRectF paint = writer.pageLayout().paintRectPoints();
    // The laid-out width is fitted to the page width; pages follow one another down the text.
    const double scale = paint.width() / PrintWidth;
    const double pageHeight = paint.height() / scale;
    document.setPageSize(QSizeF(PrintWidth, pageHeight));
    const int pages = document.pageCount();

    QPainter painter;
    if (!painter.begin(&writer)) {
        if (errorText)
            *errorText = QStringLiteral("The file could not be written.");
        return false;
    }
    for (int page = 0; page < pages; ++page) {
        if (page > 0)
            writer.newPage();
        painter.save();
        painter.scale(scale, scale);
        painter.translate(0, -page * pageHeight);
        document.drawContents(&painter, QRectF(0, page * pageHeight, PrintWidth, pageHeight));
        painter.restore();
    }
    if (!painter.end()) {
        if (errorText)
            *errorText = QStringLiteral("The file could not be written.");
        return false;
    }
    return true;
}

void ReportExportPane::reportExportButtonPressed()
{
    configureReportingParameters();
    m_exportProgressIndicator->setVisible(true);
    m_exportButton->setEnabled(false);

    const QString format = m_exportFormatButton->currentText();
    const QDateTime now = platform::core::Clock::now();
    if (format == QLatin1String("CSV")) {
        const QString path = QDir(documentsFolder()).filePath(createReportFileName(QStringLiteral("QuendelData"),
                                                                                   QStringLiteral("csv"), now));
        QFile::remove(path);
        QPointer<ReportExportPane> self(this);
        m_report.processReportForCSVFile(path, [self, path](const platform::core::QDError &error) {
            if (self)
                self->finishExport(error ? QString() : path, error ? error.localizedDescription() : QString());
        });
        return;
    }
    if (format == QLatin1String("Print")) {
        QPointer<ReportExportPane> self(this);
        m_report.processReportForEmail([self, now](const QString &, const QString &body) {
            if (!self)
                return;
            QDLogInfo(QStringLiteral("Preferences: reportExport - finised building report"));
            const QString path = QDir(documentsFolder()).filePath(
                createReportFileName(QStringLiteral("QuendelPDF"), QStringLiteral("pdf"), now));
            QString failure;
            const bool written = writePDF(body, path, &failure);
            self->finishExport(written ? path : QString(), failure);
        });
        return;
    }
    if (format == QLatin1String("Email")) {
        QPointer<ReportExportPane> self(this);
        m_report.processReportForEmail([self](const QString &subject, const QString &body) {
            if (!self)
                return;
            QDLogInfo(QStringLiteral("Preferences: reportExport - finised building report"));
            self->m_exportProgressIndicator->setVisible(false);
            self->m_exportButton->setEnabled(true);
            EmailHandoff::sendEmail(subject, body, {}, {}, true, false);
        });
        return;
    }
    finishExport(QString(), QStringLiteral("This output is not available."));
}

void ReportExportPane::finishExport(const QString &path, const QString &failure)
{
    m_exportProgressIndicator->setVisible(false);
    m_exportButton->setEnabled(true);
    if (path.isNull()) {
        // An empty report or a failed write would otherwise pass without a word.
        platform::ui::AlertSpec spec;
        spec.messageText = QStringLiteral("Export Failed");
        spec.informativeText = failure;
        spec.buttonTitles = {QStringLiteral("OK")};
        platform::ui::AlertPresenter::shared().beginSheet(spec, window());
    }
    emit exportFinished(path);
}
