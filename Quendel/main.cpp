#include "ApplicationMain.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    ApplicationMain program;
    if (!program.start())
        return program.exitCode();
    return app.exec();
}
