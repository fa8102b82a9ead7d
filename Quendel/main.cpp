#include <QApplication>
#include <QMainWindow>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QCoreApplication::setOrganizationDomain(QStringLiteral("quendel.com"));
    QCoreApplication::setApplicationName(QStringLiteral("Quendel"));

    QMainWindow window;
    window.setObjectName(QStringLiteral("mainWindow"));
    window.setWindowTitle(QStringLiteral("Quendel"));
    window.resize(1100, 720);
    window.show();
    return app.exec();
}
