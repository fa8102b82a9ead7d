#include "AppDelegate.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QCoreApplication::setOrganizationDomain(QStringLiteral("quendel.com"));
    QCoreApplication::setApplicationName(QStringLiteral("Quendel"));

    AppDelegate delegate;
    delegate.launch();
    // The user was told why the program cannot run; there is nothing to wait for.
    if (delegate.launchFailed())
        return 1;
    return app.exec();
}
