// The Info tab of a contact's page as a user works it with the mouse: a double click on a value outside
// editing mode.

#include "RoadsFixture.h"

#include "Mac/ContactPage/ContactInfoViewControllerMac.h"

#include <QPushButton>
#include <QToolButton>

using namespace roads;

namespace {

class InfoRoadsTest : public RoadTest
{
protected:
    void TearDown() override
    {
        ContactInfoViewControllerMac::setUrlOpener({});
        RoadTest::TearDown();
    }

    QAbstractItemView *contactsList() { return widgetNamed<QAbstractItemView>(QStringLiteral("Contacts")); }

    // The one field on show whose name starts with `prefix` and is not the empty row or a label button.
    QLineEdit *storedField(const QString &prefix)
    {
        QList<QLineEdit *> found;
        for (const QString &name : namesStartingWith(prefix, window())) {
            if (name.endsWith(QLatin1String(" new")) || name.contains(QLatin1String(" new ")) || name.endsWith(QLatin1String(" label")))
                continue;
            for (QWidget *widget : widgetsNamed(name)) {
                auto *field = qobject_cast<QLineEdit *>(widget);
                if (field && !found.contains(field))
                    found << field;
            }
        }
        EXPECT_EQ(found.size(), 1) << prefix.toStdString() << ": "
                                   << namesStartingWith(prefix, window()).join(QLatin1Char(',')).toStdString();
        return found.size() == 1 ? found.first() : nullptr;
    }

    static void doubleClick(QWidget *widget)
    {
        ASSERT_NE(widget, nullptr);
        activateWindowOf(widget);
        QTest::mouseDClick(widget, Qt::LeftButton, {}, widget->rect().center());
        settle();
    }
};

TEST_F(InfoRoadsTest, ADoubleClickOpensAWebAddressEditsTheNotesAndDoesNothingElseYet)
{
    QList<QUrl> opened;
    ContactInfoViewControllerMac::setUrlOpener([&](const QUrl &url) {
        opened << url;
        return true;
    });
    start();

    // A contact with a number, then an e-mail, a web address and notes typed on its Info page.
    addContactThroughTheSheet(QStringLiteral("Zoe"), QString(), {{QStringLiteral("Phones new"), QStringLiteral("555-0100")}});
    clickRow(contactsList(), QStringLiteral("Zoe"));
    click(widgetNamed<QPushButton>(QStringLiteral("Info")));
    click(widgetNamed<QPushButton>(QStringLiteral("Edit")));
    typeInto(widgetNamed<QLineEdit>(QStringLiteral("Emails new")), QStringLiteral("zoe@example.com"));
    typeInto(widgetNamed<QLineEdit>(QStringLiteral("URLs new")), QStringLiteral("example.com/zoe"));
    typeInto(storedField(QStringLiteral("Notes")), QStringLiteral("Met at the fair"));
    click(widgetNamed<QPushButton>(QStringLiteral("Done")));

    // The web address opens in the browser.
    doubleClick(storedField(QStringLiteral("URLs ")));
    ASSERT_EQ(opened.size(), 1);
    EXPECT_EQ(opened.first().toString(), QStringLiteral("http://example.com/zoe"));

    // A number, an e-mail address: nothing comes up, nothing changes.
    for (const char *prefix : {"Phones ", "Emails "}) {
        QLineEdit *field = storedField(QString::fromLatin1(prefix));
        ASSERT_NE(field, nullptr);
        const QString before = field->text();
        const auto windowsOnShow = [] {
            const QWidgetList tops = QApplication::topLevelWidgets();
            return std::count_if(tops.begin(), tops.end(), [](QWidget *w) { return w->isVisible(); });
        };
        const auto windowsBefore = windowsOnShow();
        doubleClick(field);
        EXPECT_EQ(sheetOver(window()), nullptr) << prefix;
        EXPECT_TRUE(platform::ui::AlertPresenter::shared().shownAlerts().isEmpty()) << prefix;
        EXPECT_EQ(app->currentIndex(), 0) << prefix;
        EXPECT_TRUE(field->isReadOnly()) << prefix;
        EXPECT_EQ(field->text(), before) << prefix;
        EXPECT_EQ(windowsOnShow(), windowsBefore) << prefix;
    }
    EXPECT_EQ(opened.size(), 1);

    // The notes become editable where they stand; what is typed there is kept.
    QLineEdit *notes = storedField(QStringLiteral("Notes"));
    ASSERT_NE(notes, nullptr);
    ASSERT_TRUE(notes->isReadOnly());
    doubleClick(notes);
    EXPECT_FALSE(notes->isReadOnly());
    QTest::keyClick(notes, Qt::Key_End);
    QTest::keyClicks(notes, QStringLiteral(" in May"));
    QTest::keyClick(notes, Qt::Key_Return);
    settle();
    EXPECT_TRUE(notes->isReadOnly());

    quitThroughTheMenu();
    start();
    clickRow(contactsList(), QStringLiteral("Zoe"));
    click(widgetNamed<QPushButton>(QStringLiteral("Info")));
    notes = storedField(QStringLiteral("Notes"));
    ASSERT_NE(notes, nullptr);
    EXPECT_EQ(notes->text(), QStringLiteral("Met at the fair in May"));
}

} // namespace
