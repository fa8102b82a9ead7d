// Moving between the sections through the View menu: one section is marked in the sidebar at a time, and
// the toolbar's Add names what it adds in the section on show.

#include "RoadsFixture.h"

#include <QToolButton>

using namespace roads;

namespace {

class SectionsRoadsTest : public RoadTest
{
};

} // namespace

TEST_F(SectionsRoadsTest, TheViewMenuMarksOneSectionAndTheAddButtonNamesItsKind)
{
    start();
    auto *sections = widgetNamed<QAbstractItemView>(QStringLiteral("Sections"));
    ASSERT_NE(sections, nullptr);
    struct Step
    {
        const char *section;
        const char *addLabel;
    };
    // Files comes after ToDos on purpose: its label must not be the one ToDos left behind.
    for (const Step &step : {Step{"Logs", "Log"}, Step{"ToDos", "ToDo"}, Step{"Files", "File"}, Step{"Contacts", "Contacts"}}) {
        const QString section = QString::fromLatin1(step.section);
        chooseMenuItem(window(), QStringLiteral("View"), section);
        const QModelIndexList marked = sections->selectionModel()->selectedIndexes();
        ASSERT_EQ(marked.size(), 1) << step.section;
        EXPECT_EQ(marked.first().data().toString(), section);
        auto *add = widgetNamed<QToolButton>(QStringLiteral("Add"));
        ASSERT_NE(add, nullptr) << step.section;
        EXPECT_EQ(add->text(), QString::fromLatin1(step.addLabel)) << step.section;
    }
}
