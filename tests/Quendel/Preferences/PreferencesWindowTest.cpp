#include "Quendel/FreshHome.h"

#include "Classes/PasscodeLock.h"
#include "Mac/Preferences/PreferencesControllerWindowController.h"
#include "Mac/Shell/MacEnterPasswordController.h"

#include "platform/core/UserDefaults.h"
#include "platform/ui/AlertPresenter.h"
#include "platform/ui/Sheet.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

using platform::ui::AlertAnswer;
using platform::ui::AlertPresenter;

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

class PreferencesWindowTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        quendel::test::startWithEmptyHome();
        AlertPresenter::shared().setBlockingForbidden(true);
    }

    platform::ui::Sheet *sheet() const { return platform::ui::Sheet::attachedSheet(window.get()); }

    void createPasscode(const QString &passcode)
    {
        QTest::mouseClick(named<QPushButton>(window.get(), QStringLiteral("Passcode")), Qt::LeftButton);
        platform::ui::Sheet *create = sheet();
        ASSERT_NE(create, nullptr);
        named<QLineEdit>(create, MacCreatePasswordController::FirstFieldName)->setText(passcode);
        named<QLineEdit>(create, MacCreatePasswordController::SecondFieldName)->setText(passcode);
        QTest::mouseClick(named<QPushButton>(create, QStringLiteral("Save passcode")), Qt::LeftButton);
        QCoreApplication::processEvents();
    }

    QComboBox *intervalMenu() const { return named<QComboBox>(window.get(), QStringLiteral("Require passcode")); }

    std::unique_ptr<PreferencesControllerWindowController> window =
        std::make_unique<PreferencesControllerWindowController>(nullptr);
};

TEST_F(PreferencesWindowTest, TheFirstPasscodeStartsWithOneMinuteAndAChosenIntervalIsKept)
{
    auto defaults = platform::core::UserDefaults::standardUserDefaults();
    window->show();
    EXPECT_TRUE(intervalMenu()->isHidden());
    createPasscode(QStringLiteral("13"));
    EXPECT_EQ(defaults->integerForKey(PasscodeLock::IntervalKey), 60);
    EXPECT_FALSE(intervalMenu()->isHidden());
    EXPECT_EQ(intervalMenu()->currentText(), QStringLiteral("After 1 minute"));
    EXPECT_EQ(named<QPushButton>(window.get(), QStringLiteral("Passcode"))->text(), QStringLiteral("Enabled"));

    // The menu stores the seconds of the chosen title.
    intervalMenu()->setCurrentIndex(4);
    emit intervalMenu()->activated(4);
    EXPECT_EQ(defaults->integerForKey(PasscodeLock::IntervalKey), 900);

    // Stored values shown: zero and absent as "Immediately", one not offered as no choice.
    const std::pair<QVariant, int> shown[] = {{0, 0}, {QVariant(), 0}, {120, 2}, {45, -1}};
    for (const auto &[stored, index] : shown) {
        if (stored.isValid())
            defaults->setInteger(stored.toLongLong(), PasscodeLock::IntervalKey);
        else
            defaults->removeObjectForKey(PasscodeLock::IntervalKey);
        window->windowWillAppear();
        EXPECT_EQ(intervalMenu()->currentIndex(), index) << stored.toString().toStdString();
    }

    // A new passcode keeps an interval chosen before, zero included.
    defaults->setInteger(0, PasscodeLock::IntervalKey);
    ASSERT_TRUE(PasscodeLock::removePasscode());
    window->windowWillAppear();
    createPasscode(QStringLiteral("24"));
    EXPECT_EQ(defaults->integerForKey(PasscodeLock::IntervalKey), 0);
    EXPECT_TRUE(defaults->objectForKey(PasscodeLock::IntervalKey).isValid());
}

TEST_F(PreferencesWindowTest, DisablingAsksForThePasscodeAndKeepsTheInterval)
{
    auto defaults = platform::core::UserDefaults::standardUserDefaults();
    window->show();
    createPasscode(QStringLiteral("Abc"));

    // "Disable Passcode", then a wrong entry, then Cancel: nothing changes.
    AlertPresenter::shared().setNextAnswer(AlertAnswer::button(0));
    QTest::mouseClick(named<QPushButton>(window.get(), QStringLiteral("Passcode")), Qt::LeftButton);
    QCoreApplication::processEvents();
    platform::ui::Sheet *prompt = sheet();
    ASSERT_NE(prompt, nullptr);
    AlertPresenter::shared().setNextAnswer(AlertAnswer::button(0));
    auto *field = named<QLineEdit>(prompt, MacEnterPasswordController::FieldName);
    field->setText(QStringLiteral("abc"));
    QTest::keyClick(field, Qt::Key_Return);
    EXPECT_TRUE(PasscodeLock::passcodeExists());
    QTest::mouseClick(named<QPushButton>(prompt, QStringLiteral("Cancel")), Qt::LeftButton);
    EXPECT_EQ(sheet(), nullptr);
    EXPECT_TRUE(PasscodeLock::passcodeExists());

    AlertPresenter::shared().setNextAnswer(AlertAnswer::button(0));
    QTest::mouseClick(named<QPushButton>(window.get(), QStringLiteral("Passcode")), Qt::LeftButton);
    QCoreApplication::processEvents();
    prompt = sheet();
    ASSERT_NE(prompt, nullptr);
    field = named<QLineEdit>(prompt, MacEnterPasswordController::FieldName);
    field->setText(QStringLiteral("Abc"));
    QTest::keyClick(field, Qt::Key_Return);
    EXPECT_FALSE(PasscodeLock::passcodeExists());
    EXPECT_EQ(named<QPushButton>(window.get(), QStringLiteral("Passcode"))->text(), QStringLiteral("None"));
    EXPECT_TRUE(intervalMenu()->isHidden());
    EXPECT_EQ(defaults->integerForKey(PasscodeLock::IntervalKey), 60);
}

TEST_F(PreferencesWindowTest, AskBeforeBoxesShowTheOppositeOfTheirKeysAndTheImportBoxItsValue)
{
    auto defaults = platform::core::UserDefaults::standardUserDefaults();
    defaults->setBool(true, QStringLiteral("defaults_delete_file"));
    window->windowWillAppear();
    const std::pair<const char *, const char *> boxes[] = {
        {"Deleting a contact", "defaults_delete_contact"},
        {"Deleting a log", "defaults_delete_log"},
        {"Deleting a to-do", "defaults_delete_todo"},
        {"Deleting a file", "defaults_delete_file"},
        {"Deleting a field", "defaults_delete_field"},
        {"Adding a log when a to-do is completed", "defaults_copy_todo_to_diary"},
    };
    for (const auto &[title, key] : boxes) {
        auto *box = named<QCheckBox>(window.get(), QLatin1String(title));
        ASSERT_NE(box, nullptr);
        EXPECT_NE(box->isChecked(), defaults->boolForKey(QLatin1String(key))) << title;
        box->click();
        EXPECT_NE(box->isChecked(), defaults->boolForKey(QLatin1String(key))) << title;
    }
    EXPECT_FALSE(defaults->boolForKey(QStringLiteral("defaults_delete_file")));
    EXPECT_TRUE(defaults->boolForKey(QStringLiteral("defaults_delete_contact")));

    auto *import = named<QCheckBox>(window.get(), QStringLiteral("Tell me about new contacts to import"));
    EXPECT_FALSE(import->isChecked());
    import->click();
    EXPECT_TRUE(import->isChecked());
    EXPECT_TRUE(dataPlistValues().boolValue(QStringLiteral("auto_import_contacts")));
}

} // namespace
