// The Info tab of a contact's page as a user works it with the mouse: a double click on a value outside
// editing mode.

#include "RoadsFixture.h"

#include "Mac/ContactPage/ContactInfoViewControllerMac.h"

#include "platform/contacts/AddressBook.h"
#include "platform/core/StandardPaths.h"
#include "platform/ui/FilePanel.h"

#include <QBuffer>
#include <QCalendarWidget>
#include <QCheckBox>
#include <QDir>
#include <QImage>
#include <QLabel>
#include "platform/mail/MailHandoff.h"

#include <QPushButton>
#include <QToolButton>

using namespace roads;

namespace {

class InfoRoadsTest : public RoadTest
{
protected:
    void SetUp() override
    {
        RoadTest::SetUp();
        // The address book of this test's home, not of an earlier test's.
        platform::contacts::AddressBook::setShared(nullptr);
    }
    void TearDown() override
    {
        ContactInfoViewControllerMac::setUrlOpener({});
        platform::ui::FilePanelPresenter::shared().clearAnswers();
        platform::mail::setUrlOpener({});
        RoadTest::TearDown();
        platform::contacts::AddressBook::setShared(nullptr);
    }

    QStringList cardsInTheAddressBook() const
    {
        const QString collection =
            platform::core::StandardPaths::dataFolderPath() + QStringLiteral("/contacts/local/default");
        return QDir(collection).entryList({QStringLiteral("*.vcf")}, QDir::Files);
    }

    // Adds a contact through the toolbar's Add sheet, selects it and opens its Info page in editing mode.
    void addContactAndEditItsInfo(const QString &firstName)
    {
        addContactThroughTheSheet(firstName, QString());
        clickRow(contactsList(), firstName);
        click(widgetNamed<QPushButton>(QStringLiteral("Info")));
        click(widgetNamed<QPushButton>(QStringLiteral("Edit")));
    }

    // Clicks the item `title` of the pop-up menu on show.
    static void chooseFromPopup(const QString &title)
    {
        ASSERT_TRUE(QTest::qWaitFor([] { return QApplication::activePopupWidget() != nullptr; }, 2000));
        auto *menu = qobject_cast<QMenu *>(QApplication::activePopupWidget());
        ASSERT_NE(menu, nullptr);
        for (QAction *action : menu->actions()) {
            if (action->text() == title) {
                QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(action).center());
                settle();
                return;
            }
        }
        FAIL() << "no item " << title.toStdString();
    }


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

TEST_F(InfoRoadsTest, ADoubleClickOpensAWebAddressDialsANumberWritesAnEmailAndEditsTheNotes)
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

    // A number is dialled the way the preferences say; an address opens the e-mail draft. Neither field
    // changes.
    QList<QUrl> dialled;
    platform::mail::setUrlOpener([&](const QUrl &url) {
        dialled << url;
        return true;
    });
    for (const char *prefix : {"Phones ", "Emails "}) {
        QLineEdit *field = storedField(QString::fromLatin1(prefix));
        ASSERT_NE(field, nullptr);
        const QString before = field->text();
        doubleClick(field);
        EXPECT_EQ(app->currentIndex(), 0) << prefix;
        EXPECT_TRUE(field->isReadOnly()) << prefix;
        EXPECT_EQ(field->text(), before) << prefix;
    }
    platform::mail::setUrlOpener({});
    ASSERT_EQ(dialled.size(), 1);
    EXPECT_EQ(dialled.first().scheme(), QStringLiteral("skype"));
    platform::ui::Sheet *draft = sheetOver(window());
    ASSERT_NE(draft, nullptr);
    EXPECT_EQ(widgetNamed<QLineEdit>(QStringLiteral("Email to"), draft)->text(), QStringLiteral("zoe@example.com"));
    click(widgetNamed<QPushButton>(QStringLiteral("Cancel Email"), draft));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !sheetOver(window()); }, 5000));
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

TEST_F(InfoRoadsTest, ABirthdayACountryAnAddressAndAPictureAreChosenOnTheInfoPage)
{
    start();
    addContactAndEditItsInfo(QStringLiteral("Uma"));

    // A birthday: the field from the add-field menu, then a day picked in its calendar.
    click(widgetNamed<QPushButton>(QStringLiteral("Add field")));
    chooseFromPopup(QStringLiteral("Birthday"));
    click(widgetNamed<QPushButton>(QStringLiteral("Birthday")));
    ASSERT_TRUE(QTest::qWaitFor([] { return QApplication::activePopupWidget() != nullptr; }, 2000));
    auto *calendar = widgetNamed<QCalendarWidget>(QStringLiteral("Birthday date"));
    ASSERT_NE(calendar, nullptr);
    const QDate chosen = calendar->selectedDate().addMonths(-1);
    QWidget *days = calendar->focusWidget() ? calendar->focusWidget() : calendar;
    QTest::keyClick(days, Qt::Key_PageUp);
    QTest::keyClick(days, Qt::Key_Return);
    settle();
    const QString shown = QLocale().toString(chosen, QStringLiteral("MMM d, yyyy"));
    EXPECT_EQ(widgetNamed<QPushButton>(QStringLiteral("Birthday"))->text(), shown);

    // An address: a street typed, then the country chosen from the searchable list.
    typeInto(widgetNamed<QLineEdit>(QStringLiteral("Addresses new street")), QStringLiteral("1 Rue Neuve"));
    click(widgetNamed<QToolButton>(QStringLiteral("Addresses home choose country")));
    QLineEdit *search = widgetNamed<QLineEdit>(QStringLiteral("Search countries"));
    ASSERT_NE(search, nullptr);
    QTest::keyClicks(search, QStringLiteral("belg"));
    QTest::keyClick(search, Qt::Key_Return);
    settle();
    EXPECT_TRUE(widgetsNamed(QStringLiteral("Search countries")).isEmpty()) << "the popover closes";
    EXPECT_EQ(widgetNamed<QLineEdit>(QStringLiteral("Addresses home country"))->text(), QStringLiteral("Belgium"));
    replaceText(widgetNamed<QLineEdit>(QStringLiteral("Addresses home street")), QStringLiteral("2 Rue Neuve"));

    // A picture from a file.
    const QString picture = QDir(qEnvironmentVariable("HOME")).filePath(QStringLiteral("uma.png"));
    {
        QImage image(40, 40, QImage::Format_RGB32);
        image.fill(Qt::green);
        ASSERT_TRUE(image.save(picture));
    }
    platform::ui::FilePanelPresenter::shared().setNextAnswer(platform::ui::FilePanelAnswer::choose(picture));
    click(widgetNamed<QPushButton>(QStringLiteral("Change picture")));
    settle();
    click(widgetNamed<QPushButton>(QStringLiteral("Done")));
    for (const platform::ui::ShownAlert &alert : platform::ui::AlertPresenter::shared().shownAlerts())
        ADD_FAILURE() << alert.spec.messageText.toStdString() << ": " << alert.spec.informativeText.toStdString();

    // All of it is there after a restart.
    quitThroughTheMenu();
    start();
    clickRow(contactsList(), QStringLiteral("Uma"));
    click(widgetNamed<QPushButton>(QStringLiteral("Info")));
    const QStringList rows = rowTexts(widgetNamed<QAbstractItemView>(QStringLiteral("Contact details")));
    EXPECT_TRUE(rows.contains(QStringLiteral("Other Info"))) << rows.join(QLatin1Char('|')).toStdString();
    auto *birthday = widgetNamed<QPushButton>(QStringLiteral("Birthday"));
    ASSERT_NE(birthday, nullptr);
    EXPECT_EQ(birthday->text(), shown);
    EXPECT_FALSE(birthday->isEnabled()) << "chosen in editing mode only";
    QLineEdit *address = storedField(QStringLiteral("Addresses "));
    ASSERT_NE(address, nullptr);
    EXPECT_EQ(address->text(), QStringLiteral("2 Rue Neuve, Belgium"));
    // The card in the address book carries the picture.
    const QStringList cards = cardsInTheAddressBook();
    ASSERT_EQ(cards.size(), 1);
    QFile card(platform::core::StandardPaths::dataFolderPath() + QStringLiteral("/contacts/local/default/") +
               cards.first());
    ASSERT_TRUE(card.open(QIODevice::ReadOnly));
    const QByteArray text = card.readAll();
    EXPECT_TRUE(text.contains("PHOTO")) << text.constData();
    EXPECT_TRUE(text.contains("BDAY")) << text.constData();
}

TEST_F(InfoRoadsTest, MakingAContactPrivateAsksFirstThenRemovesItsCard)
{
    start();
    addContactAndEditItsInfo(QStringLiteral("Vic"));
    ASSERT_EQ(cardsInTheAddressBook().size(), 1);
    auto *isPrivate = widgetNamed<QCheckBox>(QStringLiteral("Private"));
    ASSERT_NE(isPrivate, nullptr);
    EXPECT_FALSE(isPrivate->isChecked());

    // The box is ticked where its mark is.
    const auto tick = [&] {
        activateWindowOf(isPrivate);
        QTest::mouseClick(isPrivate, Qt::LeftButton, {}, QPoint(6, isPrivate->height() / 2));
        settle();
    };

    // Cancel: nothing changes.
    platform::ui::AlertPresenter::shared().setNextAnswer(platform::ui::AlertAnswer::button(1));
    tick();
    settle();
    ASSERT_FALSE(platform::ui::AlertPresenter::shared().shownAlerts().isEmpty());
    EXPECT_EQ(platform::ui::AlertPresenter::shared().shownAlerts().last().spec.messageText,
              QStringLiteral("Make this contact private?"));
    EXPECT_FALSE(isPrivate->isChecked());
    EXPECT_EQ(cardsInTheAddressBook().size(), 1);

    // Make Private: the card leaves the address book, the contact stays here, private.
    platform::ui::AlertPresenter::shared().setNextAnswer(platform::ui::AlertAnswer::button(0));
    tick();
    settle();
    EXPECT_TRUE(isPrivate->isChecked());
    EXPECT_TRUE(cardsInTheAddressBook().isEmpty());
    click(widgetNamed<QPushButton>(QStringLiteral("Done")));

    quitThroughTheMenu();
    start();
    clickRow(contactsList(), QStringLiteral("Vic"));
    click(widgetNamed<QPushButton>(QStringLiteral("Info")));
    click(widgetNamed<QPushButton>(QStringLiteral("Edit")));
    EXPECT_TRUE(widgetNamed<QCheckBox>(QStringLiteral("Private"))->isChecked());
    EXPECT_TRUE(cardsInTheAddressBook().isEmpty());
}

} // namespace
