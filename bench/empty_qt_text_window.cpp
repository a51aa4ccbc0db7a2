// The empty window of the main window's size with one line of text: the
// start-up floor of a window that shows text, which the empty window does not
// pay (reading the font configuration and the font list before it can map).
#include <QApplication>
#include <QLabel>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QLabel window(QStringLiteral("Tikora 2.0"));
    window.setWindowTitle(QStringLiteral("empty"));
    window.resize(244, 303);
    window.show();
    return app.exec();
}
