// Starts the Qt event loop and quits at once: the start-up cost every Qt
// program pays, against which the whole-process benchmarks are read.
#include <QCoreApplication>
#include <QTimer>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QTimer::singleShot(0, &app, &QCoreApplication::quit);
    return app.exec();
}
