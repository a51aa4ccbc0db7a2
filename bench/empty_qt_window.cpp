// Shows one empty window of the main window's size and waits: the start-up
// and idle floor of any Qt Widgets program on the same display.
#include <QApplication>
#include <QWidget>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QWidget window;
    window.setWindowTitle(QStringLiteral("empty"));
    window.resize(244, 303);
    window.show();
    return app.exec();
}
