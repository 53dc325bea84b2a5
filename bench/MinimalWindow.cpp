// The reference for the benchmarks that watch the program from outside (idle cost, start-up):
// the least a Qt Widgets program does, built with the same compiler, flags and Qt as the
// program. One main window of the program's size with a label, shown; then the message loop.

#include <QApplication>
#include <QLabel>
#include <QMainWindow>

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    QMainWindow window;
    window.setWindowTitle(QStringLiteral("Minimal window"));
    window.setCentralWidget(new QLabel(QStringLiteral("Nothing happens here.")));
    window.resize(520, 416);
    window.show();
    return application.exec();
}
