#include "support/TempHome.h"

#include "platform/core/Dispatch.h"

#include <QApplication>
#include <gtest/gtest.h>

#include <csignal>
#include <execinfo.h>
#include <unistd.h>

namespace quendel::test {
namespace {
TempHome *g_home = nullptr;
}
const TempHome &processHome() { return *g_home; }
} // namespace quendel::test

namespace {
// A test that dies on a signal says where: the stack goes to standard error (the test's log) before the
// signal ends the process as it would have. Addresses resolve with addr2line against the test program.
void printStackAndDie(int signal)
{
    void *frames[64];
    const int count = ::backtrace(frames, 64);
    static const char header[] = "\n*** test process died on a signal; stack:\n";
    (void)!::write(STDERR_FILENO, header, sizeof header - 1);
    ::backtrace_symbols_fd(frames, count, STDERR_FILENO);
    ::raise(signal);
}

void installStackPrinter()
{
    struct sigaction action = {};
    action.sa_handler = printStackAndDie;
    action.sa_flags = SA_RESETHAND | SA_NODEFER;
    sigemptyset(&action.sa_mask);
    for (int signal : {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT})
        ::sigaction(signal, &action, nullptr);
}
} // namespace

// Every test process gets its own home and a running QApplication (offscreen), so widgets,
// timers and queued dispatch to the main thread all work inside tests.
int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    // Fixtures are found the same way whether CTest or a developer starts the program.
    if (qEnvironmentVariableIsEmpty("QUENDEL_TEST_DATA"))
        qputenv("QUENDEL_TEST_DATA", QUENDEL_TEST_DATA_DIR);
    installStackPrinter();
    quendel::test::TempHome home;
    quendel::test::g_home = &home;
    QApplication app(argc, argv);
    QCoreApplication::setOrganizationName(QStringLiteral("QuendelTests"));
    QCoreApplication::setApplicationName(QStringLiteral("QuendelTests"));
    ::testing::InitGoogleTest(&argc, argv);
    const int rc = RUN_ALL_TESTS();
    // Work a test left on the shared workers ends before the process's statics go under it.
    platform::core::waitForBackgroundWork(10000);
    quendel::test::g_home = nullptr;
    return rc;
}
