#include "QuendelKit/Entities/EntityStoreFixture.h"

#include "Mac/Reports/ReportExportPane.h"

#include "platform/ui/AlertPresenter.h"

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QDateEdit>
#include <QDir>
#include <QFile>
#include <QLocale>
#include <QPushButton>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTest>

#include <gtest/gtest.h>

using quendel::test::EntityStoreTest;

namespace {

template <typename T> T *named(QWidget *root, const QString &name)
{
    for (T *widget : root->findChildren<T *>()) {
        if (widget->accessibleName() == name)
            return widget;
    }
    ADD_FAILURE() << name.toStdString();
    return nullptr;
}

int pdfPages(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray bytes = file.readAll();
    return int(bytes.count("/Type /Page\n") + bytes.count("/Type /Page\r") + bytes.count("/Type /Page "));
}

class ReportExportPaneTest : public EntityStoreTest
{
protected:
    void SetUp() override
    {
        previousLocale = QLocale();
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
        EntityStoreTest::SetUp();
        platform::ui::AlertPresenter::shared().setBlockingForbidden(true);
        platform::ui::AlertPresenter::shared().clearShownAlerts();
    }
    void TearDown() override
    {
        QLocale::setDefault(previousLocale);
        EntityStoreTest::TearDown();
    }
    QLocale previousLocale;
};

TEST_F(ReportExportPaneTest, FileNameIsTheShortDateAndTimeWithoutPunctuationOrSpaces)
{
    const QDateTime when = QDateTime(QDate(2026, 12, 8), QTime(22, 15), Qt::LocalTime);
    EXPECT_EQ(ReportExportPane::createReportFileName(QStringLiteral("QuendelData"), QStringLiteral("csv"), when),
              QStringLiteral("QuendelData_128261015PM.csv"));
    EXPECT_EQ(ReportExportPane::createReportFileName(QStringLiteral("QuendelPDF"), QStringLiteral("pdf"), when),
              QStringLiteral("QuendelPDF_128261015PM.pdf"));
}

TEST_F(ReportExportPaneTest, SplitColumnsOnlyForContactsAsCsvAndRangesPickedBackwardsAreTurned)
{
    ReportExportPane pane(context.get());
    pane.show();
    auto *type = named<QComboBox>(&pane, QStringLiteral("Export type"));
    auto *format = named<QComboBox>(&pane, QStringLiteral("Export format"));
    auto *split = named<QCheckBox>(&pane, QStringLiteral("Split columns"));
    auto *dates = named<QComboBox>(&pane, QStringLiteral("Export dates"));
    ASSERT_TRUE(type && format && split && dates);
    EXPECT_EQ(format->currentText(), QStringLiteral("CSV"));
    EXPECT_FALSE(split->isVisible());
    type->setCurrentIndex(3);
    EXPECT_TRUE(split->isVisible());
    EXPECT_FALSE(dates->isEnabled());
    format->setCurrentIndex(2);
    EXPECT_FALSE(split->isVisible());
    format->setCurrentIndex(1);
    EXPECT_TRUE(split->isVisible());
    type->setCurrentIndex(0);
    EXPECT_FALSE(split->isVisible());
    EXPECT_TRUE(dates->isEnabled());

    dates->setCurrentIndex(1);
    auto *from = named<QDateEdit>(&pane, QStringLiteral("Report start date"));
    auto *to = named<QDateEdit>(&pane, QStringLiteral("Report end date"));
    ASSERT_TRUE(from && to);
    EXPECT_TRUE(from->isVisible());
    from->setDate(QDate(2026, 11, 20));
    to->setDate(QDate(2026, 11, 10));
    EXPECT_EQ(pane.reportingPreferences().dateRangeFrom(), QDate(2026, 11, 10).startOfDay().toUTC());
    EXPECT_EQ(pane.reportingPreferences().dateRangeTo(), QDate(2026, 11, 20).startOfDay().toUTC());
}

TEST_F(ReportExportPaneTest, AnEmptyCsvReportIsToldToTheUser)
{
    ReportExportPane pane(context.get());
    pane.show();
    QSignalSpy finished(&pane, &ReportExportPane::exportFinished);
    platform::ui::AlertPresenter::shared().setNextAnswer(platform::ui::AlertAnswer::button(0));
    QTest::mouseClick(named<QPushButton>(&pane, QStringLiteral("Export")), Qt::LeftButton);
    ASSERT_TRUE(finished.wait(5000));
    EXPECT_TRUE(finished.first().first().toString().isNull());
    const auto &shown = platform::ui::AlertPresenter::shared().shownAlerts();
    ASSERT_EQ(shown.size(), 1);
    EXPECT_EQ(shown.first().spec.informativeText, QStringLiteral("Exported File is empty"));
    EXPECT_TRUE(named<QPushButton>(&pane, QStringLiteral("Export"))->isEnabled());
}

TEST_F(ReportExportPaneTest, PdfPagesFollowTheLengthOfTheReport)
{
    const QString shortPath = dir.filePath(QStringLiteral("short.pdf"));
    ASSERT_TRUE(ReportExportPane::writePDF(QStringLiteral("<h4>One</h4>line<br>"), shortPath));
    EXPECT_EQ(pdfPages(shortPath), 1);

    QString longBody;
    for (int i = 0; i < 300; ++i)
        longBody += QStringLiteral("<b>Note:</b> line %1<br>").arg(i);
    const QString longPath = dir.filePath(QStringLiteral("long.pdf"));
    ASSERT_TRUE(ReportExportPane::writePDF(longBody, longPath));
    EXPECT_GE(pdfPages(longPath), 3);

    EXPECT_FALSE(ReportExportPane::writePDF(longBody, dir.filePath(QStringLiteral("missing/folder/x.pdf"))));
}

} // namespace
