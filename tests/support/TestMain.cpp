#include "support/TempHome.h"

#include <QApplication>
#include <gtest/gtest.h>

namespace quendel::test {
namespace {
TempHome *g_home = nullptr;
}
const TempHome &processHome() { return *g_home; }
} // namespace quendel::test

// Every test process gets its own home and a running QApplication (offscreen), so widgets,
// timers and queued dispatch to the main thread all work inside tests.
int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    // Fixtures are found the same way whether CTest or a developer starts the program.
    if (qEnvironmentVariableIsEmpty("QUENDEL_TEST_DATA"))
        qputenv("QUENDEL_TEST_DATA", QUENDEL_TEST_DATA_DIR);
    quendel::test::TempHome home;
    quendel::test::g_home = &home;
    QApplication app(argc, argv);
    QCoreApplication::setOrganizationName(QStringLiteral("QuendelTests"));
    QCoreApplication::setApplicationName(QStringLiteral("QuendelTests"));
    ::testing::InitGoogleTest(&argc, argv);
    const int rc = RUN_ALL_TESTS();
    quendel::test::g_home = nullptr;
    return rc;
}
